// Tables that the fast search's workers build together and read together.
// A table is filled in parts; every worker that needs a table while it is
// being filled claims parts of it too, and then waits for the parts others
// hold. So each table is computed once, however many workers need it.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace peakfold::search {

// Tables of one size, indexed by a key. When a new table would take the
// tables alive over the budget, the finished ones are dropped from the
// cache; a worker still reading one keeps it until it lets go. With one
// table at most per worker in use, tables no larger than budget / workers
// keep the memory within the budget.
class SharedTables {
  public:
    SharedTables(std::size_t budget, std::size_t size) : budget_(budget), size_(size) {}
    SharedTables(const SharedTables&) = delete;
    SharedTables& operator=(const SharedTables&) = delete;

    // Holds a table for reading; empty when the search ended before the
    // table was complete.
    using Held = std::shared_ptr<const double>;

    // The table of `key`, filled where needed by `prepare(table)` once and
    // `fill(table, part)` for each part 0 .. parts - 1, which may run on
    // several threads at once. Both return false when the search has ended;
    // `ended()` says so too.
    template <class Prepare, class Fill, class Ended>
    Held get(std::size_t key, int parts, Prepare&& prepare, Fill&& fill, Ended&& ended) {
        if (ended()) return {};
        std::shared_ptr<Entry> entry = find(key);
        if (!entry) {
            makeRoom();
            auto fresh = std::make_shared<Entry>(*this, parts);
            if (!prepare(fresh->data)) return {};
            entry = insert(key, std::move(fresh));
        }
        for (int part; (part = entry->nextPart.fetch_add(1)) < entry->parts;) {
            if (!fill(entry->data, part)) return {};
            entry->partsDone.fetch_add(1, std::memory_order_release);
        }
        while (entry->partsDone.load(std::memory_order_acquire) < entry->parts) {
            if (ended()) return {};
            std::this_thread::yield();
        }
        double* data = entry->data;
        return Held(std::move(entry), data);
    }

    // Drops the finished tables of keys below `limit`, which no worker
    // will ask for again; their memory comes back once no worker holds them.
    void dropBelow(std::size_t limit) {
        std::vector<std::shared_ptr<Entry>> dropped;  // released outside the lock
        std::lock_guard lock(mutex_);
        dropFinished(dropped, [&](std::size_t key) { return key < limit; });
    }

    // Memory held for tables, in bytes, at most so far.
    std::size_t largestBytes() const {
        std::lock_guard lock(memoryMutex_);
        return blocks_.size() * size_ * sizeof(double);
    }

  private:
    struct Entry {
        Entry(SharedTables& tables, int parts) : owner(tables), parts(parts) {
            data = owner.takeBlock();
        }
        ~Entry() { owner.giveBack(data); }
        SharedTables& owner;
        const int parts;
        double* data = nullptr;
        std::atomic<int> nextPart{0}, partsDone{0};
    };

    std::shared_ptr<Entry> find(std::size_t key) {
        std::lock_guard lock(mutex_);
        auto found = entries_.find(key);
        return found == entries_.end() ? nullptr : found->second;
    }

    // Keeps `fresh` unless another worker inserted the key meanwhile.
    std::shared_ptr<Entry> insert(std::size_t key, std::shared_ptr<Entry> fresh) {
        std::lock_guard lock(mutex_);
        return entries_.try_emplace(key, std::move(fresh)).first->second;
    }

    // Drops the finished tables when one more would take those alive over
    // the budget; their memory comes back once no worker holds them.
    void makeRoom() {
        std::vector<std::shared_ptr<Entry>> dropped;  // released outside the locks
        std::lock_guard lock(mutex_);
        {
            std::lock_guard memory(memoryMutex_);
            const std::size_t alive = blocks_.size() - free_.size();
            if ((alive + 1) * size_ * sizeof(double) <= budget_) return;
        }
        dropFinished(dropped, [](std::size_t) { return true; });
    }

    // With mutex_ held: moves the finished entries whose key `which` picks
    // out of the cache into `dropped`.
    template <class Which>
    void dropFinished(std::vector<std::shared_ptr<Entry>>& dropped, Which&& which) {
        for (auto it = entries_.begin(); it != entries_.end();) {
            const Entry& entry = *it->second;
            if (which(it->first) &&
                entry.partsDone.load(std::memory_order_acquire) == entry.parts) {
                dropped.push_back(std::move(it->second));
                it = entries_.erase(it);
            } else {
                ++it;
            }
        }
    }

    double* takeBlock() {
        std::lock_guard lock(memoryMutex_);
        if (free_.empty()) {
            blocks_.push_back(std::make_unique_for_overwrite<double[]>(size_));
            return blocks_.back().get();
        }
        double* block = free_.back();
        free_.pop_back();
        return block;
    }

    void giveBack(double* block) {
        std::lock_guard lock(memoryMutex_);
        free_.push_back(block);
    }

    const std::size_t budget_, size_;
    // The memory outlives the entries, which give their blocks back.
    mutable std::mutex memoryMutex_;  // guards blocks_ and free_; taken after mutex_, never before
    std::vector<std::unique_ptr<double[]>> blocks_;
    std::vector<double*> free_;  // blocks of no table
    std::mutex mutex_;  // guards entries_
    std::unordered_map<std::size_t, std::shared_ptr<Entry>> entries_;
};

}  // namespace peakfold::search
