// Work items run on several threads, their results handed on in the order
// of the items: the one place of the batch that deals with threads.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>

namespace peakfold {

struct OrderedWork {
    // Runs item `index` on worker `worker` (0 to jobs - 1); `notStarted` is
    // the number of items not yet started, this one included. A worker runs
    // its items one after another, in runs of consecutive items, so what it
    // learns from one item can serve the next. Items share nothing but what
    // the caller shares.
    std::function<void(std::size_t index, std::size_t notStarted, int worker)> run;
    // Called on the calling thread for each finished item, in item order,
    // as soon as it and every item before it have finished.
    std::function<void(std::size_t index)> deliver;
    // Called on the calling thread at least every `tick` while it waits.
    std::function<void()> whileWaiting;
    std::chrono::milliseconds tick{200};
};

// Runs items 0..count-1 on `jobs` worker threads. Once `stop` is true no
// further item is started, not even one of a run already taken; the items
// running finish, and those finished in order are delivered. Gives the
// number of items delivered.
std::size_t runOrdered(std::size_t count, int jobs, const OrderedWork& work,
                       const std::atomic<bool>& stop);

}  // namespace peakfold
