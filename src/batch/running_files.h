// What the threads fitting files hand to the thread that draws the progress
// bar and writes standard error: how far each running search has come, the
// search speed measured so far, and lines to write.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace peakfold {

class RunningFiles {
  public:
    // The search of file `file`, of `steps` centre-scan steps, starts. The
    // counter given is that search's steps passed, which the fitting thread
    // raises at each step, until fitEnded.
    std::atomic<std::int64_t>& searchStarted(std::size_t file, double steps);
    // The fit of file `file` has ended; its search, if it started, covered
    // `trials` trials in `seconds`.
    void fitEnded(std::size_t file, double trials, double seconds);

    // Trials per second over the searches ended so far; none before one has
    // taken measurable time.
    std::optional<double> trialsPerSecond() const;
    // The share of its steps that each running search has passed, in the
    // order of the files.
    std::vector<double> searchesDone() const;

    // A line for standard error, written by the drawing thread.
    void addLine(std::string line);
    std::vector<std::string> takeLines();

  private:
    struct Search {
        std::atomic<std::int64_t> passed{0};
        double steps = 0;
    };
    mutable std::mutex mutex_;
    std::map<std::size_t, Search> running_;  // nodes stay put while others come and go
    double trials_ = 0, seconds_ = 0;
    std::vector<std::string> lines_;
};

}  // namespace peakfold
