#include "batch/ordered_pool.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace peakfold {

namespace {

constexpr std::size_t kLongestRun = 8;
// Runs are cut so that the items not yet taken make this many runs per
// worker at least: the last runs are short, and no worker is left with a
// long run while the others have nothing to do.
constexpr std::size_t kRunsPerWorker = 4;

// The number of consecutive items a worker takes at once when `remaining`
// items are not yet taken: long runs while many remain, single items near
// the end, so that every worker stays busy until the last.
std::size_t runLength(std::size_t remaining, int workers) {
    const std::size_t runs = kRunsPerWorker * static_cast<std::size_t>(workers);
    return std::clamp<std::size_t>(remaining / runs, 1, kLongestRun);
}

}  // namespace

std::size_t runOrdered(std::size_t count, int jobs, const OrderedWork& work,
                       const std::atomic<bool>& stop) {
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<char> done(count, 0);
    std::size_t next = 0;     // the first item no worker has taken
    std::size_t started = 0;  // items started, by every worker
    int running = 0;          // workers that have not yet ended
    const int threads = static_cast<int>(std::min<std::size_t>(std::max(jobs, 1), count));

    const auto worker = [&](int self) {
        for (;;) {
            std::size_t first, end;
            {
                std::lock_guard lock(mutex);
                if (next == count || stop.load()) break;
                first = next;
                next = end = first + std::min(count - first, runLength(count - first, threads));
            }
            for (std::size_t index = first; index < end; ++index) {
                std::size_t notStarted;
                {
                    std::lock_guard lock(mutex);
                    if (stop.load()) break;
                    notStarted = count - started++;
                }
                work.run(index, notStarted, self);
                {
                    std::lock_guard lock(mutex);
                    done[index] = 1;
                }
                finished.notify_all();
            }
        }
        {
            std::lock_guard lock(mutex);
            --running;
        }
        finished.notify_all();
    };

    running = threads;
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(threads));
    for (int i = 0; i < threads; ++i) pool.emplace_back(worker, i);

    std::size_t delivered = 0;
    std::unique_lock lock(mutex);
    while (delivered < count) {
        finished.wait_for(lock, work.tick, [&] { return done[delivered] || running == 0; });
        // Deliveries run unlocked, so the workers go on meanwhile.
        while (delivered < count && done[delivered]) {
            lock.unlock();
            work.deliver(delivered);
            lock.lock();
            ++delivered;
        }
        if (delivered < count && !done[delivered] && running == 0) break;  // stopped
        lock.unlock();
        if (work.whileWaiting) work.whileWaiting();
        lock.lock();
    }
    lock.unlock();
    for (std::thread& thread : pool) thread.join();
    return delivered;
}

}  // namespace peakfold
