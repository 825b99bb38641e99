// The width trials of one centre combination as a worker of the fast
// search evaluates them: the tables of unit Gaussians they read, the solves
// and bounds of three-Gaussian trials, and the deviation sums of the trials
// that may improve. What they find goes to a receiver, which hands it over
// between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "search/combination_bound.h"
#include "search/grid_tables.h"
#include "search/row_bound.h"
#include "search/search_bounds.h"
#include "search/search_steps.h"
#include "search/shared_tables.h"

namespace peakfold::search {

// The scan values and the sampled residual, the same for every worker.
struct Grid {
    Grid(const Setup& setup, int n, double Q) : n(n) {
        const Picks& p = setup.picks;
        centres = centreScans(p);
        for (int j = 1; j <= 3; ++j) widths[j] = scanValues(Q, p.w[j] + Q, Q);
        const Sampling& range = setup.deviation;
        m = range.count;
        wave.resize(m);
        R.resize(m);
        for (int k = 0; k < m; ++k) {
            wave[k] = range.at(k);
            R[k] = setup.R[range.at(k)];
        }
        RR = innerProduct(R.data(), R.data(), m);
        description.push_back(n);  // one or two Gaussians leave the bound's sums out
        description.push_back(m);
        description.insert(description.end(), wave.begin(), wave.end());
        for (int j = 1; j <= 3; ++j) {
            for (const std::vector<double>* scan : {&centres[j], &widths[j]}) {
                description.push_back(static_cast<double>(scan->size()));
                description.insert(description.end(), scan->begin(), scan->end());
            }
        }
    }

    // Entries along the widths of scan j in the tables, rounded up to whole
    // sets of eight vector lanes, the widest: a vector that reaches past the
    // last width of a row of trials stays within the table. The entries
    // beyond the widths hold zeros.
    std::size_t padded(int j) const { return (widths[j].size() + 7) / 8 * 8; }
    std::size_t slabSize(int j) const { return widths[j].size() * m + 3 * padded(j); }
    std::size_t pairSize(int j, int k) const {
        return (widths[j].size() + 1) * padded(k) + widths[j].size();
    }
    std::size_t combinations(int n) const {
        std::size_t count = widths[1].size() * widths[2].size();
        return n == 3 ? count * widths[3].size() : count;
    }

    // Whether every table the search needs fits a cache of that budget.
    bool tablesFit(std::size_t budget) const {
        for (int j = 1; j <= 3; ++j) {
            if (slabSize(j) * sizeof(double) > budget) return false;
            for (int k = j + 1; k <= 3; ++k) {
                if (pairSize(j, k) * sizeof(double) > budget) return false;
            }
        }
        return m > 0;
    }

    int n = 3;  // Gaussians a trial fits
    CentreScans centres;
    std::vector<double> widths[4];  // width scan values of Gaussians 1..3
    int m = 0;                      // sampled wavelengths
    std::vector<int> wave;
    std::vector<double> R;
    double RR = 0;
    // The wavelengths and the scans, each after its length: all that the
    // tables which do not depend on the data depend on.
    std::vector<double> description;
};

// The tables of a search, shared by its workers: the slabs of each centre
// scan and the pair tables of each two scans.
struct Tables {
    Tables(const Grid& grid, std::size_t budget)
        : slabs{SharedTables(budget, grid.slabSize(1)), SharedTables(budget, grid.slabSize(2)),
                SharedTables(budget, grid.slabSize(3))},
          pairs12(budget, grid.pairSize(1, 2)),
          pairs13(budget, grid.pairSize(1, 3)),
          pairs23(budget, grid.pairSize(2, 3)) {}

    SharedTables& slab(int j) { return slabs[j - 1]; }
    std::size_t largestBytes() const {
        std::size_t bytes =
            pairs12.largestBytes() + pairs13.largestBytes() + pairs23.largestBytes();
        for (const SharedTables& tables : slabs) bytes += tables.largestBytes();
        return bytes;
    }

    SharedTables slabs[3];
    SharedTables pairs12, pairs13, pairs23;
};

// What the trials of a centre combination report to the worker that runs
// them, and ask of it.
class TrialReceiver {
  public:
    // A check point between two width combinations has come. False when the
    // search has ended and the work is of no use.
    virtual bool checkPoint() = 0;
    // That many check points at once, with nothing evaluated between them.
    virtual bool checkPoints(std::int64_t count) {
        for (std::int64_t i = 0; i < count; ++i) {
            if (!checkPoint()) return false;
        }
        return true;
    }
    // A trial whose deviation is below the best; `evaluated` counts the
    // trials evaluated up to and including it.
    virtual void candidate(std::int64_t combination, std::int64_t evaluated, const Trial& t) = 0;
    // Whether the search has ended.
    virtual bool ended() const = 0;

  protected:
    ~TrialReceiver() = default;
};

// The trials of one centre combination after another, each against the
// best its worker knows, with the tables all workers share.
class CombinationTrials {
  public:
    // `bound`, where there is one, rules out whole centre combinations.
    CombinationTrials(const Grid& grid, const Setup& setup, int n, Tables& tables, GridTables& kept,
                      CombinationBound* bound, TrialReceiver& receiver)
        : grid_(grid),
          setup_(setup),
          n_(n),
          tables_(tables),
          kept_(kept),
          bound_(bound),
          receiver_(receiver) {
        if (bound) rowBound_.emplace(grid, *bound);
        setBest(kStartBest);
    }

    // Every width combination of centres k1, k2 and k3 of the scans, in scan
    // order, unless the combination lies on weak residual.
    void evaluate(std::size_t k1, std::size_t k2, std::size_t k3);

    // Tries both bounds on every combination, however little they have
    // ruled out lately (for tests).
    void tryBoundsEverywhere() { everywhere_ = true; }

    // The best that trials must beat from now on.
    void setBest(double best);
    double best() const { return best_; }

    // The trials evaluated and the terms summed since `evaluate` began.
    std::int64_t evaluated() const { return evaluated_; }
    std::int64_t terms() const { return terms_; }

  private:
    const double* slab(int j, std::size_t k);
    const double* pairs(SharedTables& tables, SharedTables::Held& table, std::size_t key, int j,
                        std::size_t kj, const double* gj, int k, std::size_t kk, const double* gk);
    void tryOneOrTwo(std::size_t k1, std::size_t k2, std::size_t k3, double y1, double y2);
    void tryThree(std::size_t k1, std::size_t k2, std::size_t k3, double y1, double y2, double y3);
    bool boundWorthTrying();
    bool rowBoundWorthTrying();
    void noteRowRate(std::int64_t out, std::int64_t tested);
    bool ruledOut(std::size_t k1, std::size_t k2, std::size_t k3);
    void passCheckPoints();
    bool sumBelowBest(const Trial& t, const double* g1, const double* g2, const double* g3,
                      double& sum);
    void offer(std::int64_t combination, std::int64_t evaluated, Trial& t, double deviation);

    const Grid& grid_;
    const Setup& setup_;
    const int n_;
    Tables& tables_;
    GridTables& kept_;  // what earlier searches on this grid computed
    CombinationBound* bound_;
    double boundRate_ = 0.5;  // of combinations the bound ruled out, lately
    int sinceBoundTried_ = 0, boundPause_ = 16;
    CombinationBound::Scratch boundScratch_;
    std::optional<RowBound> rowBound_;
    RowBound::Scratch rowScratch_;
    bool everywhere_ = false;
    double rowRate_ = 0.5;  // of rows the row bound ruled out, lately
    int sinceRowsTried_ = 0, rowPause_ = 16;
    TrialReceiver& receiver_;
    // The tables of the centre combination under way: slabs 1..3, then the
    // pair tables of scans 1 and 2, 1 and 3, 2 and 3.
    SharedTables::Held held_[6];
    std::vector<double> blockA_;  // amplitudes and verdicts of a block of trials
    std::vector<RowSummary> summaries_;
    double best_ = 0, threshold_ = 0;  // what a deviation and its sum must stay below
    std::int64_t evaluated_ = 0, terms_ = 0;
};

}  // namespace peakfold::search
