#include "batch/running_files.h"

#include <algorithm>
#include <utility>

namespace peakfold {

std::atomic<std::int64_t>& RunningFiles::searchStarted(std::size_t file, double steps) {
    std::lock_guard lock(mutex_);
    Search& search = running_[file];
    search.steps = steps;
    return search.passed;
}

void RunningFiles::fitEnded(std::size_t file, double trials, double seconds) {
    std::lock_guard lock(mutex_);
    running_.erase(file);
    trials_ += trials;
    seconds_ += seconds;
}

std::optional<double> RunningFiles::trialsPerSecond() const {
    std::lock_guard lock(mutex_);
    if (!(seconds_ > 0)) return std::nullopt;
    return trials_ / seconds_;
}

std::vector<double> RunningFiles::searchesDone() const {
    std::lock_guard lock(mutex_);
    std::vector<double> done;
    for (const auto& [file, search] : running_) {
        const double passed = static_cast<double>(search.passed.load(std::memory_order_relaxed));
        done.push_back(search.steps > 0 ? std::min(1.0, passed / search.steps) : 0);
    }
    return done;
}

void RunningFiles::addLine(std::string line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
}

std::vector<std::string> RunningFiles::takeLines() {
    std::lock_guard lock(mutex_);
    return std::exchange(lines_, {});
}

}  // namespace peakfold
