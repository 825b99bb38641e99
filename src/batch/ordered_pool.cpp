#include "batch/ordered_pool.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace peakfold {

std::size_t runOrdered(std::size_t count, int jobs, const OrderedWork& work,
                       const std::atomic<bool>& stop) {
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<char> done(count, 0);
    std::size_t next = 0;  // the next item to start
    int running = 0;       // workers that have not yet ended

    const auto worker = [&] {
        for (;;) {
            std::size_t index;
            {
                std::lock_guard lock(mutex);
                if (next == count || stop.load()) break;
                index = next++;
            }
            work.run(index, count - index);
            {
                std::lock_guard lock(mutex);
                done[index] = 1;
            }
            finished.notify_all();
        }
        {
            std::lock_guard lock(mutex);
            --running;
        }
        finished.notify_all();
    };

    const int threads = static_cast<int>(std::min<std::size_t>(std::max(jobs, 1), count));
    running = threads;
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(threads));
    for (int i = 0; i < threads; ++i) pool.emplace_back(worker);

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
