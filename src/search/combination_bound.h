// A lower bound on the deviation of every three-Gaussian trial of a centre
// combination at once: the residual's distance from the span of all the
// Gaussians of the combination's three centres, every width of each. Where
// it is not below the best, no trial of the combination can improve, and
// none of them needs solving. The proof is in combination_bound.cpp.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

namespace peakfold::search {

struct Grid;

// Values computed once, by whichever thread needs one first, and read by
// every thread after that.
template <class T>
class OnceSlots {
  public:
    explicit OnceSlots(std::size_t count) : values_(count), states_(count) {}

    template <class Make>
    const T& get(std::size_t i, Make&& make) {
        std::atomic<int>& state = states_[i];
        if (state.load(std::memory_order_acquire) == kReady) return values_[i];
        int empty = kEmpty;
        if (state.compare_exchange_strong(empty, kBusy, std::memory_order_acquire)) {
            values_[i] = make();
            state.store(kReady, std::memory_order_release);
        } else {
            while (state.load(std::memory_order_acquire) != kReady) std::this_thread::yield();
        }
        return values_[i];
    }

    // Whether slot i is made already.
    bool made(std::size_t i) const { return states_[i].load(std::memory_order_acquire) == kReady; }

  private:
    static constexpr int kEmpty = 0, kBusy = 1, kReady = 2;
    std::vector<T> values_;
    std::vector<std::atomic<int>> states_;
};

// What the bound needs that depends only on the grid (the sampled
// wavelengths and the scans), so that the searches of a map share it.
class CombinationGeometry {
  public:
    explicit CombinationGeometry(const Grid& grid);

    // The Gaussians of one centre at every width of its scan: an
    // orthonormal basis of their span, and how far any of them lies from
    // it, relative to its norm.
    struct Centre {
        bool usable = false;
        int count = 0;  // Gaussians
        int rank = 0;
        double tau = 0;
        double orthonormality = 1;         // bounds |rows times rows - I| entry by entry
        std::vector<double> rows;          // rank rows of m values
        std::vector<double> gram;          // rows times rows, rank x rank
        std::vector<double> coefficients;  // per Gaussian: on the rows, over its norm
    };
    // Two centres of different scans: their bases' products, and a bound
    // on the cosine between any Gaussian of one and any of the other.
    struct Pair {
        std::vector<double> cross;  // rank of the first x rank of the second
        double cosine = 1;
    };
    // One centre combination: the Cholesky factor of its three bases'
    // Gram matrix and the constants of the bound.
    struct Combination {
        bool usable = false;
        int rank = 0;
        std::vector<double> factor;  // lower triangle, row by row
        double inflation = 0;        // covers the factor's and the solve's rounding
        double zetaPerNorm = 0;      // the coefficients' rounding, per unit of |R|
        double spread = 0;           // s: sum |A_j| |g_j| <= s |sum A_j g_j|
        double tau = 0;              // the largest of the three centres'
    };

    // Centre k3 = n3 (one past the last) of scan 3 stands for all its
    // centres at once: the combination (k1, k2, n3) holds every
    // combination of k1 and k2.
    const Centre& centre(int j, std::size_t k);
    const Combination& combination(std::size_t k1, std::size_t k2, std::size_t k3);
    int m() const { return m_; }

    // A table of a first or second centre's Gaussians against a third
    // centre's basis, for the row bound: slot (j, kj, k3) for j = 1 or 2,
    // made by `make` once. Empty where it would exceed the geometry's
    // budget, which `bytes` says it needs.
    template <class Make>
    const std::vector<double>& rowTable(int j, std::size_t kj, std::size_t k3, std::size_t bytes,
                                        Make&& make) {
        OnceSlots<std::vector<double>>& slots = j == 1 ? rowTables13_ : rowTables23_;
        return slots.get(kj * n3_ + k3, [&] {
            const auto size = static_cast<std::int64_t>(bytes);
            if (rowTableBytes_.fetch_add(size, std::memory_order_relaxed) + size > kRowTableBudget) {
                return std::vector<double>();
            }
            return make();
        });
    }

    bool rowTableMade(int j, std::size_t kj, std::size_t k3) const {
        return (j == 1 ? rowTables13_ : rowTables23_).made(kj * n3_ + k3);
    }

  private:
    Centre makeCentre(int j, std::size_t k) const;
    const Pair& pair(int j, std::size_t kj, int k, std::size_t kk);
    Pair makePair(int j, std::size_t kj, int k, std::size_t kk);
    Combination makeCombination(std::size_t k1, std::size_t k2, std::size_t k3);

    int m_ = 0;
    std::vector<int> wave_;
    std::vector<double> centres_[4], widths_[4];
    std::size_t n1_ = 0, n2_ = 0, n3_ = 0;  // centres of each scan
    OnceSlots<Centre> centres1_, centres2_, centres3_;
    OnceSlots<Pair> pairs12_, pairs13_, pairs23_;
    OnceSlots<Combination> combinations_, pairCombinations_;
    OnceSlots<std::vector<double>> rowTables13_, rowTables23_;
    std::atomic<std::int64_t> factorBytes_{0}, rowTableBytes_{0};
    static constexpr std::int64_t kRowTableBudget = std::int64_t{32} << 20;  // bytes
};

// The bound on one search's residual.
class CombinationBound {
  public:
    static constexpr int kLargestRank =
        160;  // of a combination: larger ones cost more than they save

    // What one worker keeps between combinations: the part of the solve
    // that only the first two centres decide, reused while they stay.
    struct Scratch {
        std::size_t k1 = SIZE_MAX, k2 = SIZE_MAX;
        double rowBound = 0;  // of every combination of k1 and k2
        int solved = 0;       // leading entries of y that hold for k1 and k2
        int ruledOut = 0;     // combinations this worker ruled out
        double y[kLargestRank];
    };

    CombinationBound(const Grid& grid, CombinationGeometry& geometry);

    // True when no trial of the combination can come out below best.
    bool ruledOut(std::size_t k1, std::size_t k2, std::size_t k3, double best, Scratch& scratch);
    std::int64_t ruledOutCount() const { return ruledOut_.load(std::memory_order_relaxed); }
    // Rows of trials that the row bound ruled out, counted by its users.
    void countRows(std::int64_t rows) { rowsRuledOut_.fetch_add(rows, std::memory_order_relaxed); }
    std::int64_t rowsRuledOutCount() const { return rowsRuledOut_.load(std::memory_order_relaxed); }

    // Whether the bound pays for its cost on a search of that grid.
    static bool worthwhile(const Grid& grid);

    // The residual on the basis of centre k of scan j.
    const std::vector<double>& coefficients(int j, std::size_t k);
    // An upper bound on |R|.
    double normR() const { return normR_; }
    CombinationGeometry& geometry() { return geometry_; }
    const CombinationGeometry& geometry() const { return geometry_; }

  private:
    // The bound of combination (k1, k2, k3), 0 where it cannot be had.
    double lowerBound(std::size_t k1, std::size_t k2, std::size_t k3, Scratch& scratch);

    const Grid& grid_;
    CombinationGeometry& geometry_;
    double RRlow_ = 0, normR_ = 0;
    OnceSlots<std::vector<double>> z1_, z2_, z3_;  // the residual on each centre's basis
    std::atomic<std::int64_t> ruledOut_{0}, rowsRuledOut_{0};
};

}  // namespace peakfold::search
