// The fit search with the plain search's results, records and progress
// calls, double for double, at a fraction of its cost:
// - the unit Gaussian of every scanned centre and width is computed once
//   per search over the sampled wavelengths, exactly as the plain search
//   computes it at each term;
// - a three-Gaussian trial is first bounded from below by inner products of
//   those tables and the residual; only a trial whose bound does not rule
//   out an improvement is summed, and the sum is abandoned once it can no
//   longer come out below the best;
// - worker threads evaluate the centre combinations ahead of the scans,
//   each against the best it knows, and hand back the trials that beat it.
//   The calling thread runs the scans in order, with every progress call,
//   event pump and abort check, and applies the handed-back trials as the
//   one-thread search would. The best only falls along the scans, so a
//   worker's best is never below the one the trial meets in order: every
//   trial that improves is among those handed back.
// None of this changes which trials improve, so the sequence of
// improvements is the plain search's.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "search/coarse_clock.h"
#include "search/fit_search.h"
#include "search/grid_tables.h"
#include "search/search_bounds.h"
#include "search/search_steps.h"
#include "search/shared_tables.h"

namespace peakfold {

using namespace search;

namespace {

constexpr std::size_t kTableBytes = std::size_t{48} << 20;  // all tables of all workers
// A search of fewer trials than this is over before threads would pay off:
// the calling thread evaluates it, one centre combination at a time.
constexpr std::size_t kTrialsForThreads = std::size_t{1} << 20;
constexpr std::size_t kBlockTrials = 1024;  // trials solved at once, at most (one row at least)
constexpr int kTermsPerCheck = 32;  // terms summed between checks against the best
constexpr std::int64_t kStepsAhead = 64;  // centre combinations the workers may run ahead
constexpr std::int64_t kStepsTaken = 32;  // centre combinations a worker takes at once, at most
constexpr std::int64_t kHandOverMs = 2;  // a worker keeps its findings this long, or a little longer
constexpr auto kWaitForWorkers = std::chrono::milliseconds(10);  // events run at least this often
// The scans wake for a batch of centre combinations rather than for each,
// unless the batch takes longer than this.
constexpr std::int64_t kBatch = 16;
constexpr auto kBatchWait = std::chrono::milliseconds(2);

// The smallest sum of squares whose root is not below best: comparing a
// running sum with it says exactly whether the root of the finished sum can
// still come out below best, since both the root and the sum only grow.
// Square and root are both correctly rounded, so the walks below take a
// step or two; the downward one ends at 0 at the latest (a best of 0 gives
// 0: no sum of squares comes out below it).
double squaredThreshold(double best) {
    double t = best * best;
    while (std::sqrt(t) < best) t = std::nextafter(t, kEndOfScan);
    while (t > 0) {
        const double below = std::nextafter(t, 0.0);
        if (std::sqrt(below) < best) break;
        t = below;
    }
    return t;
}

// The scan values and the sampled residual, the same for every worker.
struct Grid {
    Grid(const Setup& setup, double Q) {
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

// A trial that beat the best its worker knew, placed in the scan order of
// its centre combination.
struct Candidate {
    std::int64_t combination;  // index of its width combination
    std::int64_t evaluated;    // trials evaluated up to and including it
    Trial trial;
};

// What a worker found at one centre combination, handed over as it grows:
// the candidates in scan order and, for every abort check passed, the
// trials evaluated before it.
struct StepFindings {
    std::int64_t step = -1;  // which centre combination, in scan order
    std::vector<Candidate> candidates;
    std::vector<std::int64_t> evaluatedAtCheck;
    std::int64_t evaluated = 0, terms = 0;  // once complete
    bool complete = false;
};

// Where the workers and the scans meet. The mutex guards everything but
// the atomics.
struct Exchange {
    std::mutex mutex;
    std::condition_variable found;  // a worker handed something over
    std::condition_variable room;   // the scans moved on, or the search ends
    std::int64_t nextStep = 0;      // the next centre combination a worker takes
    std::int64_t applied = 0;       // centre combinations the scans are done with
    std::int64_t steps = 0;         // centre combinations in all
    std::int64_t awaited = -1;      // the centre combination the scans wait for
    std::vector<StepFindings> ring = std::vector<StepFindings>(kStepsAhead);
    std::atomic<bool> stop{false};
    std::atomic<double> best{kStartBest};  // the best as the scans have applied it

    StepFindings& findings(std::int64_t step) { return ring[step % kStepsAhead]; }
};

// The tables of a search, shared by its workers: the slabs of each centre
// scan and the pair tables of each two scans.
struct Tables {
    Tables(const Grid& grid, std::size_t budget)
        : slabs{SharedTables(budget, grid.slabSize(1)), SharedTables(budget, grid.slabSize(2)),
                SharedTables(budget, grid.slabSize(3))},
          pairs12(budget, grid.pairSize(1, 2)), pairs13(budget, grid.pairSize(1, 3)),
          pairs23(budget, grid.pairSize(2, 3)) {}

    SharedTables& slab(int j) { return slabs[j - 1]; }
    std::size_t largestBytes() const {
        std::size_t bytes = pairs12.largestBytes() + pairs13.largestBytes() + pairs23.largestBytes();
        for (const SharedTables& tables : slabs) bytes += tables.largestBytes();
        return bytes;
    }

    SharedTables slabs[3];
    SharedTables pairs12, pairs13, pairs23;
};

// One worker's evaluation of centre combinations, against its own best,
// with the tables all workers share. It never touches the shared state or
// the window.
class Evaluator {
  public:
    Evaluator(const Grid& grid, const Setup& setup, int n, Tables& tables, GridTables& kept,
              Exchange& exchange)
        : grid_(grid), setup_(setup), n_(n), exchange_(exchange), tables_(tables), kept_(kept) {}

    // Evaluates the next centre combination on the calling thread.
    void evaluateNext() {
        const std::size_t n2 = grid_.centres[2].size(), n3 = grid_.centres[3].size();
        std::int64_t step, applied;
        {
            std::lock_guard lock(exchange_.mutex);
            step = exchange_.nextStep++;
            applied = exchange_.applied;
            exchange_.findings(step) = StepFindings{};
            exchange_.findings(step).step = step;
        }
        const auto u = static_cast<std::size_t>(step);
        dropTablesDone(u / (n2 * n3), u / n3 % n2, applied);
        evaluate(u / (n2 * n3), u / n3 % n2, u % n3, exchange_.findings(step));
    }

    // Takes centre combinations in scan order until the search ends, a few
    // of the same first and second centre at a time.
    void work() {
        const std::size_t n2 = grid_.centres[2].size(), n3 = grid_.centres[3].size();
        const auto perPair = static_cast<std::int64_t>(n3);
        for (;;) {
            std::int64_t first, end, applied;
            {
                std::unique_lock lock(exchange_.mutex);
                exchange_.room.wait(lock, [&] {
                    return exchange_.stop || exchange_.nextStep >= exchange_.steps ||
                           exchange_.nextStep < exchange_.applied + kStepsAhead;
                });
                if (exchange_.stop || exchange_.nextStep >= exchange_.steps) return;
                first = exchange_.nextStep;
                end = std::min({first + kStepsTaken, (first / perPair + 1) * perPair,
                                exchange_.applied + kStepsAhead, exchange_.steps});
                exchange_.nextStep = end;
                applied = exchange_.applied;
                for (std::int64_t step = first; step < end; ++step) {
                    exchange_.findings(step) = StepFindings{};
                    exchange_.findings(step).step = step;
                }
            }
            const auto pair = static_cast<std::size_t>(first) / n3;  // the same for all taken
            dropTablesDone(pair / n2, pair % n2, applied);
            for (std::int64_t step = first; step < end && !ended(); ++step) {
                const auto u = static_cast<std::size_t>(step);
                evaluate(u / (n2 * n3), u / n3 % n2, u % n3, exchange_.findings(step));
            }
        }
    }

  private:
    // When this worker moves to another first or second centre: the tables
    // that only the centre combinations the scans have applied could need
    // are dropped (those of earlier first centres, and of earlier pairs of
    // first and second centres), so that their memory serves again.
    void dropTablesDone(std::size_t k1, std::size_t k2, std::int64_t applied) {
        if (k1 == k1_ && k2 == k2_) return;
        const std::size_t n2 = grid_.centres[2].size(), n3 = grid_.centres[3].size();
        const auto done = static_cast<std::size_t>(applied);
        tables_.pairs12.dropBelow(done / n3);
        if (k1 != k1_) {
            tables_.slab(1).dropBelow(done / (n2 * n3));
            tables_.pairs13.dropBelow(done / (n2 * n3) * n3);
        }
        k1_ = k1;
        k2_ = k2;
    }

    void evaluate(std::size_t k1, std::size_t k2, std::size_t k3, StepFindings& out) {
        out_ = &out;
        pending_.clear();
        pendingChecks_.clear();
        evaluated_ = terms_ = 0;
        lastHandOver_ = coarseMilliseconds();
        for (SharedTables::Held& table : held_) table.reset();
        refreshBest();
        const double c1 = grid_.centres[1][k1], c2 = grid_.centres[2][k2], c3 = grid_.centres[3][k3];
        const double y1 = residualAt(setup_, c1);
        const double y2 = residualAt(setup_, c2);
        const double y3 = residualAt(setup_, c3);
        if (!(std::floor(y1) < kStrongResidual && std::floor(y2) < kStrongResidual &&
              std::floor(y3) < kStrongResidual)) {
            if (n_ == 3) {
                tryThree(k1, k2, k3, y1, y2, y3);
            } else {
                tryOneOrTwo(k1, k2, k3, y1, y2);
            }
        }
        handOver(true);
    }

    // The best this worker may compare with: the scans' best, or lower
    // where its own earlier findings lie below it.
    void refreshBest() {
        const double best = std::min(exchange_.best.load(std::memory_order_relaxed), ownBest_);
        if (best != best_) {
            best_ = best;
            threshold_ = n_ == 3 ? squaredThreshold(best) : best;
        }
    }

    // Before every width combination: at a check point, the findings so
    // far go to the scans when they have waited long enough. False when
    // the search has ended and the work is of no use.
    bool checkPoint(CheckPoints& checks) {
        if (!checks.due()) return true;
        pendingChecks_.push_back(evaluated_);
        if (coarseMilliseconds() - lastHandOver_ >= kHandOverMs) handOver(false);
        refreshBest();
        return !ended();
    }

    void handOver(bool complete) {
        bool awaited = false;
        {
            std::lock_guard lock(exchange_.mutex);
            StepFindings& out = *out_;
            out.candidates.insert(out.candidates.end(), pending_.begin(), pending_.end());
            out.evaluatedAtCheck.insert(out.evaluatedAtCheck.end(), pendingChecks_.begin(),
                                        pendingChecks_.end());
            if (complete) {
                out.evaluated = evaluated_;
                out.terms = terms_;
                out.complete = true;
            }
            awaited = exchange_.awaited == out.step;
        }
        if (awaited) exchange_.found.notify_all();
        pending_.clear();
        pendingChecks_.clear();
        lastHandOver_ = coarseMilliseconds();
    }

    // `evaluated`: the trials evaluated up to and including this one.
    void candidate(std::int64_t combination, std::int64_t evaluated, Trial& t, double deviation) {
        if (!(deviation < best_)) return;
        t.deviation = deviation;
        pending_.push_back({combination, evaluated, t});
        ownBest_ = deviation;
        refreshBest();
    }

    // The unit Gaussians of centre k of scan j at every width, followed by
    // their sums with the residual and with themselves, and that sum's root,
    // each of these three padded with zeros.
    const double* slab(int j, std::size_t k) {
        const int m = grid_.m;
        const double c = grid_.centres[j][k];
        const std::vector<double>& widths = grid_.widths[j];
        const std::size_t nb = widths.size(), pad = grid_.padded(j);
        SharedTables::Held& table = held_[j - 1];
        // The Gaussians and their squares' sums as an earlier search on this
        // grid computed them, where it kept them: looked up only when this
        // worker fills a part of the table.
        GridTables::Table known;
        bool lookedUp = false;
        table = tables_.slab(j).get(
            k, static_cast<int>(nb),
            [&](double* out) {
                std::fill(out + nb * m, out + nb * m + 3 * pad, 0.0);
                return true;
            },
            [&](double* out, int part) {  // the width of that number
                if (ended()) return false;
                if (!lookedUp) known = kept_.find(j, k);
                lookedUp = true;
                const auto i = static_cast<std::size_t>(part);
                double* g = out + i * m;
                double* sums = out + nb * m;
                if (known) {
                    const double* from = known->data();
                    std::copy(from + i * m, from + (i + 1) * m, g);
                    sums[pad + i] = from[nb * m + pad + i];
                    sums[2 * pad + i] = from[nb * m + 2 * pad + i];
                } else {
                    for (int w = 0; w < m; ++w) g[w] = unitGaussian(c, widths[i], grid_.wave[w]);
                    sums[pad + i] = innerProduct(g, g, m);
                    sums[2 * pad + i] = std::sqrt(sums[pad + i]);
                }
                sums[i] = innerProduct(grid_.R.data(), g, m);
                return true;
            },
            [&] { return ended(); });
        if (table && lookedUp && !known) kept_.keep(j, k, table.get(), grid_.slabSize(j));
        return table.get();
    }

    // For centre kj of scan j and centre kk of scan k: the sums of the
    // products of their unit Gaussians at every pair of widths, a row for
    // each width of scan j; then the Gaussians of scan j at the other
    // centre, and those of scan k at the first centre. What runs along the
    // widths of scan k is padded with zeros.
    const double* pairs(SharedTables& tables, SharedTables::Held& table, std::size_t key, int j,
                        std::size_t kj, const double* gj, int k, std::size_t kk, const double* gk) {
        const int m = grid_.m;
        const std::vector<double>&bj = grid_.widths[j], &bk = grid_.widths[k];
        const std::size_t nj = bj.size(), nk = bk.size(), pad = grid_.padded(k);
        const double cj = grid_.centres[j][kj], ck = grid_.centres[k][kk];
        // Two rows of products a part, which then share their loads; the
        // values at the other centres are the last part.
        const int rowParts = static_cast<int>((nj + 1) / 2);
        const int kind = 10 * j + k;
        GridTables::Table known;  // as in slab: looked up by a worker that fills a part
        bool lookedUp = false;
        // The values a part writes: two rows of products, the last row part
        // the rest of the rows, the last part the values at the centres.
        const auto partValues = [&](int part) -> std::pair<std::size_t, std::size_t> {
            if (part == rowParts) return {nj * pad, grid_.pairSize(j, k)};
            const std::size_t first = 2 * static_cast<std::size_t>(part) * pad;
            return {first, std::min(first + 2 * pad, nj * pad)};
        };
        table = tables.get(
            key, rowParts + 1,
            [&](double* out) {
                std::fill(out, out + grid_.pairSize(j, k), 0.0);
                return true;
            },
            [&](double* out, int part) {
                if (ended()) return false;
                if (!lookedUp) known = kept_.find(kind, key);
                lookedUp = true;
                if (known) {
                    const auto [first, end] = partValues(part);
                    std::copy(known->data() + first, known->data() + end, out + first);
                    return true;
                }
                if (part < rowParts) {
                    const std::size_t a = 2 * static_cast<std::size_t>(part);
                    innerProducts(gj + a * m, static_cast<int>(std::min<std::size_t>(2, nj - a)),
                                  gk, static_cast<int>(nk), m, out + a * pad, pad);
                    return true;
                }
                double* jAtK = out + nj * pad;
                double* kAtJ = jAtK + nj;
                for (std::size_t a = 0; a < nj; ++a) jAtK[a] = unitGaussian(cj, bj[a], ck);
                for (std::size_t b = 0; b < nk; ++b) kAtJ[b] = unitGaussian(ck, bk[b], cj);
                return true;
            },
            [&] { return ended(); });
        if (table && lookedUp && !known) kept_.keep(kind, key, table.get(), grid_.pairSize(j, k));
        return table.get();
    }

    bool ended() const { return exchange_.stop.load(std::memory_order_relaxed); }

    void tryOneOrTwo(std::size_t k1, std::size_t k2, std::size_t k3, double y1, double y2) {
        const int m = grid_.m;
        const double c1 = grid_.centres[1][k1], c2 = grid_.centres[2][k2];
        const std::vector<double>& b1s = grid_.widths[1];
        const std::vector<double>& b2s = grid_.widths[2];
        const double* g1 = slab(1, k1);
        const double* g2 = n_ == 2 ? slab(2, k2) : nullptr;
        if (!g1 || (n_ == 2 && !g2)) return;
        CheckPoints checks(setup_.widthsPerCheck);
        std::int64_t combination = 0;
        Trial t;
        t.c = {0, c1, c2, grid_.centres[3][k3]};
        for (std::size_t i1 = 0; i1 < b1s.size(); ++i1) {
            const double c = unitGaussian(c1, b1s[i1], c2);
            for (std::size_t i2 = 0; i2 < b2s.size(); ++i2, ++combination) {
                if (!checkPoint(checks)) return;
                if (n_ == 2) {
                    if (!solveTwo(y1, y2, unitGaussian(c2, b2s[i2], c1), c, t)) continue;
                } else {
                    t.A[1] = y1;
                }
                ++evaluated_;
                double sum = 0;
                if (!sumBelowBest(t, g1 + i1 * m, g2 ? g2 + i2 * m : nullptr, nullptr, sum))
                    continue;
                t.b = {0, b1s[i1], b2s[i2], 0};
                candidate(combination, evaluated_, t, sum);
            }
        }
    }

    void tryThree(std::size_t k1, std::size_t k2, std::size_t k3, double y1, double y2, double y3) {
        const int m = grid_.m;
        const double c1 = grid_.centres[1][k1], c2 = grid_.centres[2][k2], c3 = grid_.centres[3][k3];
        const std::vector<double>& b1s = grid_.widths[1];
        const std::vector<double>& b2s = grid_.widths[2];
        const std::vector<double>& b3s = grid_.widths[3];
        const std::size_t nb1 = b1s.size(), nb2 = b2s.size(), nb3 = b3s.size();
        const double* s1 = slab(1, k1);
        const double* s2 = s1 ? slab(2, k2) : nullptr;
        const double* s3 = s2 ? slab(3, k3) : nullptr;
        if (!s3) return;
        const std::size_t n2 = grid_.centres[2].size(), n3 = grid_.centres[3].size();
        const double* q12 = pairs(tables_.pairs12, held_[3], k1 * n2 + k2, 1, k1, s1, 2, k2, s2);
        const double* q13 =
            q12 ? pairs(tables_.pairs13, held_[4], k1 * n3 + k3, 1, k1, s1, 3, k3, s3) : nullptr;
        const double* q23 =
            q13 ? pairs(tables_.pairs23, held_[5], k2 * n3 + k3, 2, k2, s2, 3, k3, s3) : nullptr;
        if (!q23) return;
        const std::size_t p1 = grid_.padded(1), p2 = grid_.padded(2), p3 = grid_.padded(3);
        const double* sums1 = s1 + nb1 * m;
        const double* sums2 = s2 + nb2 * m;
        const double* sums3 = s3 + nb3 * m;

        // The values of each trial Gaussian at the other trial centres.
        const double* c = q12 + nb1 * p2;  // G1 at c2
        const double* a = c + nb1;         // G2 at c1
        const double* d = q13 + nb1 * p3;  // G1 at c3
        const double* b = d + nb1;         // G3 at c1
        const double* f = q23 + nb2 * p3;  // G2 at c3
        const double* e = f + nb2;         // G3 at c2

        TrialBlock block;
        TrialRow& row = block.row;
        row.y1 = y1;
        row.y2 = y2;
        row.y3 = y3;
        row.m = m;
        row.sums.RR = grid_.RR;
        row.sums.rootRR = std::sqrt(grid_.RR);
        row.b = b;
        row.e = e;
        row.RG3 = sums3;
        row.GG3 = sums3 + p3;
        row.rootGG3 = sums3 + 2 * p3;
        block.count = static_cast<int>(nb3);
        block.stride = static_cast<int>(p3);
        block.a = a;
        block.f = f;
        block.RG2 = sums2;
        block.GG2 = sums2 + p2;
        block.rootGG2 = sums2 + 2 * p2;
        // Rows of second widths are solved a block at a time, a bounded one.
        const std::size_t rowsAtOnce = std::max<std::size_t>(1, kBlockTrials / p3);
        blockA_.resize(4 * std::min(nb2, rowsAtOnce) * p3);
        summaries_.resize(std::min(nb2, rowsAtOnce));
        CheckPoints checks(setup_.widthsPerCheck);
        std::int64_t combination = 0;
        Trial t;
        t.c = {0, c1, c2, c3};
        for (std::size_t i1 = 0; i1 < nb1; ++i1) {
            row.c = c[i1];
            row.d = d[i1];
            row.sums.RG[1] = sums1[i1];
            row.sums.GG[1] = sums1[p1 + i1];
            row.sums.rootGG[1] = sums1[2 * p1 + i1];
            row.G13 = q13 + i1 * p3;
            for (std::size_t i2 = 0; i2 < nb2; ++i2) {
                const std::size_t inBlock = i2 % rowsAtOnce;
                const std::size_t rows = std::min(rowsAtOnce, nb2 - (i2 - inBlock));
                double* A1 = blockA_.data() + inBlock * p3;
                double* A2 = A1 + rows * p3;
                double* A3 = A2 + rows * p3;
                double* verdict = A3 + rows * p3;
                if (inBlock == 0) {
                    block.rows = static_cast<int>(rows);
                    block.a = a + i2;
                    block.f = f + i2;
                    block.RG2 = sums2 + i2;
                    block.GG2 = sums2 + p2 + i2;
                    block.rootGG2 = sums2 + 2 * p2 + i2;
                    block.G12 = q12 + i1 * p2 + i2;
                    block.G23 = q23 + i2 * p3;
                    solveBlock(block, best_, A1, A2, A3, verdict, summaries_.data());
                }
                const RowSummary summary = summaries_[inBlock];
                // A trial that may improve: summed, and handed over when it does.
                const auto sumTrial = [&](std::size_t i3, std::int64_t at, std::int64_t evaluated) {
                    t.A = {0, A1[i3], A2[i3], A3[i3]};
                    double sum = 0;
                    if (!sumBelowBest(t, s1 + i1 * m, s2 + i2 * m, s3 + i3 * m, sum)) return;
                    t.b = {0, b1s[i1], b2s[i2], b3s[i3]};
                    candidate(at, evaluated, t, std::sqrt(sum));
                };
                if (static_cast<std::size_t>(checks.beforeDue()) >= nb3) {
                    // No check point in this row: only the trials that may
                    // improve need a look.
                    checks.pass(static_cast<int>(nb3));
                    const std::int64_t first = combination;
                    std::int64_t evaluated = evaluated_;
                    evaluated_ += summary.solvable;
                    combination += static_cast<std::int64_t>(nb3);
                    if (summary.maySum == 0) continue;
                    for (std::size_t i3 = 0; i3 < nb3; ++i3) {
                        evaluated += verdict[i3] != kDegenerate;
                        if (verdict[i3] == kMaySum) {
                            sumTrial(i3, first + static_cast<std::int64_t>(i3), evaluated);
                        }
                    }
                    continue;
                }
                // The row in stretches between check points.
                for (std::size_t i3 = 0; i3 < nb3;) {
                    std::size_t end = std::min(nb3, i3 + checks.beforeDue());
                    if (end == i3) {
                        if (!checkPoint(checks)) return;
                        end = i3 + 1;
                    } else {
                        checks.pass(static_cast<int>(end - i3));
                    }
                    for (; i3 < end; ++i3, ++combination) {
                        evaluated_ += verdict[i3] != kDegenerate;
                        if (verdict[i3] == kMaySum) sumTrial(i3, combination, evaluated_);
                    }
                }
            }
        }
    }

    // The trial's deviation sum in the plain search's order of operations.
    // False as soon as the running sum shows it cannot come out below the
    // best.
    bool sumBelowBest(const Trial& t, const double* g1, const double* g2, const double* g3,
                      double& sum) {
        const int m = grid_.m;
        const double A1 = t.A[1], A2 = t.A[2], A3 = t.A[3];
        const double* R = grid_.R.data();
        sum = 0;
        for (int i = 0; i < m;) {
            const int end = std::min(m, i + kTermsPerCheck);
            terms_ += end - i;
            if (g3) {
                for (; i < end; ++i) {
                    const double r = R[i] - (A1 * g1[i] + A2 * g2[i] + A3 * g3[i]);
                    sum += r * r;
                }
            } else if (g2) {
                for (; i < end; ++i) sum += std::fabs(R[i] - (A1 * g1[i] + A2 * g2[i]));
            } else {
                for (; i < end; ++i) sum += std::fabs(R[i] - A1 * g1[i]);
            }
            if (sum >= threshold_) return false;
        }
        return true;
    }

    const Grid& grid_;
    const Setup& setup_;
    const int n_;
    Exchange& exchange_;
    Tables& tables_;
    GridTables& kept_;  // what earlier searches on this grid computed
    std::size_t k1_ = SIZE_MAX, k2_ = SIZE_MAX;  // first and second centre of the step before
    // The tables of the centre combination under way: slabs 1..3, then the
    // pair tables of scans 1 and 2, 1 and 3, 2 and 3.
    SharedTables::Held held_[6];
    std::vector<double> blockA_;  // amplitudes and verdicts of a block of trials
    std::vector<RowSummary> summaries_;

    double best_ = kStartBest, threshold_ = squaredThreshold(kStartBest);
    double ownBest_ = kStartBest;  // lowest deviation this worker handed over
    StepFindings* out_ = nullptr;
    std::vector<Candidate> pending_;
    std::vector<std::int64_t> pendingChecks_;
    std::int64_t evaluated_ = 0, terms_ = 0;
    std::int64_t lastHandOver_ = 0;  // coarse milliseconds
};

// The centre scans on the calling thread, call for call as in the plain
// search, applying what the workers find.
class ScanDriver {
  public:
    // With `here`, that evaluator does the work on this thread, one
    // centre combination at a time, and there are no workers.
    ScanDriver(State& s, int n, double Q, const SearchProgress& progress, const Setup& setup,
               const Grid& grid, Exchange& exchange, SearchCounts& counts, Evaluator* here)
        : s_(s), n_(n), Q_(Q), progress_(progress), setup_(setup), grid_(grid),
          exchange_(exchange), counts_(counts), here_(here) {}

    void run() {
        const std::size_t n2 = grid_.centres[2].size(), n3 = grid_.centres[3].size();
        runCentreScans(
            grid_.centres, s_, progress_,
            [&](std::size_t k1, std::size_t k2, std::size_t k3) {
                return apply(static_cast<std::int64_t>((k1 * n2 + k2) * n3 + k3));
            },
            [&] { endWork(); });
    }

    const Trial& best() const { return improvements_.best(); }

  private:
    // Applies the findings of one centre combination in scan order, with
    // its abort checks at their places.
    WidthScan apply(std::int64_t step) {
        StepFindings& shared = exchange_.findings(step);
        const auto combinations = static_cast<std::int64_t>(grid_.combinations(n_));
        const std::int64_t every = setup_.widthsPerCheck;
        const std::int64_t checks = combinations > 0 ? (combinations - 1) / every : 0;
        std::vector<Candidate> candidates;
        std::vector<std::int64_t> evaluatedAtCheck;
        std::size_t next = 0;   // next candidate to apply
        std::int64_t done = 0;  // checks passed
        std::int64_t evaluated = 0, terms = 0;
        bool complete = false;
        if (here_) {
            here_->evaluateNext();
        } else {
            // Wait a little for a batch of centre combinations: waking once
            // for many costs the workers less.
            std::unique_lock lock(exchange_.mutex);
            const std::int64_t ahead = std::min(step + kBatch, exchange_.steps - 1);
            const StepFindings& last = exchange_.findings(ahead);
            exchange_.awaited = ahead;
            if (!(shared.step == step && shared.complete)) {
                exchange_.found.wait_for(lock, kBatchWait,
                                         [&] { return last.step == ahead && last.complete; });
            }
            exchange_.awaited = step;
        }
        while (!complete) {
            {
                std::unique_lock lock(exchange_.mutex);
                waitLettingEventsRun(lock, [&] {
                    if (shared.step != step) return false;  // still held by an earlier one
                    return shared.complete ||
                           static_cast<std::int64_t>(shared.evaluatedAtCheck.size()) > done ||
                           shared.candidates.size() > candidates.size();
                });
                candidates.insert(candidates.end(), shared.candidates.begin() + candidates.size(),
                                  shared.candidates.end());
                evaluatedAtCheck.insert(evaluatedAtCheck.end(),
                                        shared.evaluatedAtCheck.begin() + evaluatedAtCheck.size(),
                                        shared.evaluatedAtCheck.end());
                complete = shared.complete;
                evaluated = shared.evaluated;
                terms = shared.terms;
            }
            for (;;) {
                const std::int64_t nextCheck = done < checks ? (done + 1) * every : INT64_MAX;
                for (; next < candidates.size() && candidates[next].combination < nextCheck; ++next) {
                    if (improve(candidates[next].trial)) {
                        finishStep(candidates[next].evaluated, 0);
                        return WidthScan::QualityReached;
                    }
                }
                if (done >= static_cast<std::int64_t>(evaluatedAtCheck.size())) break;
                if (abortedAtCheck(s_, progress_, counts_)) {
                    finishStep(evaluatedAtCheck[done], 0);
                    return WidthScan::Aborted;
                }
                ++done;
            }
        }
        finishStep(evaluated, terms);
        {
            std::lock_guard lock(exchange_.mutex);
            exchange_.applied = step + 1;
        }
        exchange_.room.notify_all();
        return WidthScan::Done;
    }

    void finishStep(std::int64_t evaluated, std::int64_t terms) {
        counts_.evaluated += evaluated;
        counts_.terms += terms;
        if (evaluated > 0) s_.Wave = setup_.deviation.exitWave;
    }

    // Waits for the workers, letting events run while it waits.
    template <class Ready>
    void waitLettingEventsRun(std::unique_lock<std::mutex>& lock, Ready ready) {
        while (!exchange_.found.wait_for(lock, kWaitForWorkers, ready)) {
            lock.unlock();
            if (progress_.WhileWaiting) progress_.WhileWaiting();
            lock.lock();
        }
    }

    bool improve(const Trial& t) {
        const bool reached = improvements_.offer(s_, n_, Q_, progress_, t);
        exchange_.best.store(improvements_.bestDeviation(), std::memory_order_relaxed);
        return reached;
    }

    // After an abort or the early stop the workers' findings are of no use.
    void endWork() {
        exchange_.stop = true;
        exchange_.room.notify_all();
    }

    State& s_;
    const int n_;
    const double Q_;
    const SearchProgress& progress_;
    const Setup& setup_;
    const Grid& grid_;
    Exchange& exchange_;
    SearchCounts& counts_;
    Evaluator* here_;  // evaluates on this thread; none when workers do
    Improvements improvements_;
};

int workerCount(int threads) {
    if (threads > 0) return threads;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// The budget of one kind of table: three Gaussians use six kinds, one or
// two Gaussians the first two slabs.
std::size_t kindBudget(int n) {
    const std::size_t kinds = n == 3 ? 6 : 2;
    return kTableBytes / kinds;
}

// Whether the tables of a search fit its budgets with `workers` workers,
// each holding one table of each kind at most.
bool tablesFit(const Grid& grid, int n, int workers) {
    return grid.tablesFit(kindBudget(n) / static_cast<std::size_t>(workers));
}

// Runs the scans with `workers` threads evaluating ahead of them, or with
// none: then the calling thread evaluates, one centre combination at a time.
// It does so when asked for exactly one thread (a caller fitting many
// searches side by side), or when the search is small and no centre
// combination holds a check point. Either way the results and the progress
// calls are the same; a worker keeps the calling thread free to let events
// run inside a long centre combination.
Trial runWithWorkers(State& s, int n, double Q, const SearchProgress& progress, const Setup& setup,
                     const Grid& grid, int threads, int workers, SearchCounts& counts) {
    Exchange exchange;
    exchange.steps = static_cast<std::int64_t>(grid.centres[1].size() * grid.centres[2].size() *
                                               grid.centres[3].size());
    const std::size_t perStep = grid.combinations(n);
    const bool small = workers == 1 ||
                       perStep * static_cast<std::size_t>(exchange.steps) < kTrialsForThreads;
    const bool onThisThread =
        threads == 1 || (small && perStep <= static_cast<std::size_t>(setup.widthsPerCheck));
    Tables tables(grid, kindBudget(n));
    const std::shared_ptr<GridTables> kept = GridTableCache::process().tablesOf(grid.description);
    std::vector<Evaluator> evaluators;
    evaluators.reserve(workers);
    for (int i = 0; i < workers; ++i) evaluators.emplace_back(grid, setup, n, tables, *kept, exchange);
    std::vector<std::thread> running;
    if (!onThisThread) {
        for (Evaluator& evaluator : evaluators) {
            running.emplace_back([&evaluator] { evaluator.work(); });
        }
    }
    ScanDriver scans(s, n, Q, progress, setup, grid, exchange, counts,
                     onThisThread ? &evaluators[0] : nullptr);
    scans.run();
    {
        std::lock_guard lock(exchange.mutex);
        exchange.stop = true;
    }
    exchange.room.notify_all();
    for (std::thread& thread : running) thread.join();
    counts.tableBytes = tables.largestBytes();
    return scans.best();
}

}  // namespace

SearchResult FitSearchFast(State& s, int n, double Q, const SearchProgress& progress) {
    return FitSearchFast(s, n, Q, progress, 0);
}

SearchResult FitSearchFast(State& s, int n, double Q, const SearchProgress& progress, int threads) {
    SearchResult result;
    Setup setup;
    if (!beginSearch(s, n, Q, setup, result)) return result;
    if (!setup.canFit) {
        finishSearch(s, n, setup, Trial{}, result);
        return result;
    }
    const Grid grid(setup, Q);
    // Each worker may hold a table of each kind while others are dropped:
    // fewer workers where such tables would not fit. An empty fit range
    // ends at the first trial, and tables too large for one worker belong
    // to a search that would not end in a lifetime: the plain scans serve
    // both.
    int workers = workerCount(threads);
    while (workers > 1 && !tablesFit(grid, n, workers)) workers /= 2;
    const Trial best = tablesFit(grid, n, workers)
                           ? runWithWorkers(s, n, Q, progress, setup, grid, threads, workers,
                                            result.counts)
                           : runPlainScans(s, n, Q, progress, setup, result.counts);
    finishSearch(s, n, setup, best, result);
    return result;
}

}  // namespace peakfold
