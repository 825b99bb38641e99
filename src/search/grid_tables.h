// The parts of the fast search's tables that do not depend on the data:
// the unit Gaussians of every scanned centre and width over the sampled
// wavelengths, their sums of squares, and the sums of products of two
// scans' Gaussians. They depend only on the grid (the sampled wavelengths,
// the centre and width scans), so searches on one grid, such as the spectra
// of a map fitted with the same picks, compute them once and copy them
// after that. A copy holds the same doubles the computation gives. Only a
// grid searched a second time keeps its tables: most grids are searched
// once (the window's first Calculate after a load or a new pick), and
// keeping a copy would make that search slower for nothing.
#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace peakfold::search {

class CombinationGeometry;

// The tables kept for one grid, by kind of table and key within the kind.
class GridTables {
  public:
    using Table = std::shared_ptr<const std::vector<double>>;

    explicit GridTables(std::vector<double> grid) : grid_(std::move(grid)) {}
    const std::vector<double>& grid() const { return grid_; }

    // From now on the tables computed on this grid are kept.
    void keepFromNowOn() {
        std::lock_guard lock(mutex_);
        keeping_ = true;
    }

    // The table kept under (kind, key), or none.
    Table find(int kind, std::size_t key) const {
        std::lock_guard lock(mutex_);
        const auto found = tables_.find({kind, key});
        return found == tables_.end() ? nullptr : found->second;
    }

    // Keeps a copy of `size` values unless the kind and key are kept
    // already or the budget is spent; then nothing is kept.
    void keep(int kind, std::size_t key, const double* data, std::size_t size) {
        std::lock_guard lock(mutex_);
        if (!keeping_ || bytes_ + size * sizeof(double) > kBudget || tables_.count({kind, key})) {
            return;
        }
        tables_.emplace(std::make_pair(kind, key),
                        std::make_shared<const std::vector<double>>(data, data + size));
        bytes_ += size * sizeof(double);
    }

    // The geometry of the combination bound on this grid: the one kept, or
    // a fresh one from `make`, kept when the grid keeps its tables.
    template <class Make>
    std::shared_ptr<CombinationGeometry> geometry(Make&& make) {
        std::lock_guard lock(mutex_);
        if (geometry_) return geometry_;
        std::shared_ptr<CombinationGeometry> fresh = make();
        if (keeping_) geometry_ = fresh;
        return fresh;
    }

    static constexpr std::size_t kBudget = std::size_t{16} << 20;  // bytes kept for one grid

  private:
    const std::vector<double> grid_;
    mutable std::mutex mutex_;
    std::map<std::pair<int, std::size_t>, Table> tables_;
    std::size_t bytes_ = 0;
    bool keeping_ = false;
    std::shared_ptr<CombinationGeometry> geometry_;
};

// The tables of the grids searched last, shared by every search of the
// process: a batch fitting several spectra at once finds its grid here.
class GridTableCache {
  public:
    static GridTableCache& process() {
        static GridTableCache cache;
        return cache;
    }

    // The tables of `grid`, the numbers that describe it in full: those
    // kept when it was searched lately, or a fresh set that replaces the
    // grid searched longest ago. A grid met again keeps its tables.
    std::shared_ptr<GridTables> tablesOf(const std::vector<double>& grid) {
        std::lock_guard lock(mutex_);
        for (auto it = grids_.begin(); it != grids_.end(); ++it) {
            if ((*it)->grid() == grid) {
                grids_.splice(grids_.begin(), grids_, it);
                grids_.front()->keepFromNowOn();
                return grids_.front();
            }
        }
        grids_.push_front(std::make_shared<GridTables>(grid));
        if (grids_.size() > kGrids) grids_.pop_back();
        return grids_.front();
    }

  private:
    static constexpr std::size_t kGrids = 3;
    std::mutex mutex_;
    std::list<std::shared_ptr<GridTables>> grids_;  // the latest first
};

}  // namespace peakfold::search
