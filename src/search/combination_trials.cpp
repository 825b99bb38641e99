// The width trials of one centre combination: its tables, the solves and
// bounds of its trials, and the sums of those that may improve.
#include "search/combination_trials.h"

#include <algorithm>
#include <cmath>

namespace peakfold::search {

namespace {

constexpr std::size_t kBlockTrials = 1024;   // trials solved at once, at most (one row at least)
constexpr int kTermsBetweenBestChecks = 32;  // terms summed between checks against the best
// Combinations between two tries of a bound that has ruled out few lately.
constexpr int kFirstPause = 16, kLongestPause = 1024;

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

// Walks `count` width combinations in the stretches between the check
// points due among them, calling `stretch(first, end)` for each and
// passing a check point between two. False when a check point finds the
// search ended.
template <class Stretch>
bool inStretches(CheckPoints& checks, TrialReceiver& receiver, std::size_t count,
                 Stretch&& stretch) {
    for (std::size_t i = 0; i < count;) {
        std::size_t end = std::min(count, i + checks.beforeDue());
        if (end == i) {
            if (checks.due() && !receiver.checkPoint()) return false;
            end = i + 1;
        } else {
            checks.pass(static_cast<int>(end - i));
        }
        stretch(i, end);
        i = end;
    }
    return true;
}

}  // namespace

void CombinationTrials::evaluate(std::size_t k1, std::size_t k2, std::size_t k3) {
    evaluated_ = terms_ = 0;
    for (SharedTables::Held& table : held_) table.reset();
    const double c1 = grid_.centres[1][k1], c2 = grid_.centres[2][k2], c3 = grid_.centres[3][k3];
    const double y1 = residualAt(setup_, c1);
    const double y2 = residualAt(setup_, c2);
    const double y3 = residualAt(setup_, c3);
    // At least one centre must lie on residual of some strength.
    if (std::floor(y1) < kStrongResidual && std::floor(y2) < kStrongResidual &&
        std::floor(y3) < kStrongResidual) {
        return;
    }
    if (n_ == 3) {
        if (bound_ && boundWorthTrying() && ruledOut(k1, k2, k3)) {
            passCheckPoints();
        } else {
            tryThree(k1, k2, k3, y1, y2, y3);
        }
    } else {
        tryOneOrTwo(k1, k2, k3, y1, y2);
    }
}

// The bound rules out most combinations on noisy data, such as a map's
// spectra, and hardly any on smooth data, whose residual the span of
// every width's Gaussians at three centres follows closely. So it is tried
// while it rules out one combination in eight or more; otherwise it is
// tried again after a pause that doubles with every try in vain (to 1024
// combinations), so that it comes back once the best has fallen far enough
// and costs next to nothing where it never helps.
bool CombinationTrials::boundWorthTrying() {
    if (boundRate_ >= 0.125 || everywhere_) return true;
    if (++sinceBoundTried_ < boundPause_) return false;
    sinceBoundTried_ = 0;
    return true;
}

// The row bound pays where it rules out some rows of most combinations: on
// smooth spectra nearly all of them once the best has fallen, on noisy
// ones few beyond those the combination bound has ruled out already. It
// is tried, and paused, as the combination bound is.
bool CombinationTrials::rowBoundWorthTrying() {
    if (rowRate_ >= 0.125 || everywhere_) return true;
    if (++sinceRowsTried_ < rowPause_) return false;
    sinceRowsTried_ = 0;
    return true;
}

void CombinationTrials::noteRowRate(std::int64_t out, std::int64_t tested) {
    const double rate = tested > 0 ? static_cast<double>(out) / static_cast<double>(tested) : 0;
    rowRate_ = 0.75 * rowRate_ + 0.25 * rate;
    if (rowRate_ >= 0.125) {
        rowPause_ = kFirstPause;
    } else if (rate < 0.125) {
        rowPause_ = std::min(2 * rowPause_, kLongestPause);
    }
}

bool CombinationTrials::ruledOut(std::size_t k1, std::size_t k2, std::size_t k3) {
    const bool out = bound_->ruledOut(k1, k2, k3, best_, boundScratch_);
    boundRate_ = 0.75 * boundRate_ + (out ? 0.25 : 0.0);
    if (boundRate_ >= 0.125) {
        boundPause_ = kFirstPause;
    } else if (!out) {
        boundPause_ = std::min(2 * boundPause_, kLongestPause);
    }
    return out;
}

// A combination ruled out as a whole still passes its check points, where
// the plain scans let events run and look for an abort.
void CombinationTrials::passCheckPoints() {
    const auto combinations = static_cast<std::int64_t>(grid_.combinations(n_));
    const std::int64_t every = setup_.widthsPerCheck;
    if (combinations > every) receiver_.checkPoints((combinations - 1) / every);
}

void CombinationTrials::setBest(double best) {
    best_ = best;
    threshold_ = n_ == 3 ? squaredThreshold(best) : best;
}

// `evaluated`: the trials evaluated up to and including this one.
void CombinationTrials::offer(std::int64_t combination, std::int64_t evaluated, Trial& t,
                              double deviation) {
    if (!(deviation < best_)) return;
    t.deviation = deviation;
    receiver_.candidate(combination, evaluated, t);
}

// The unit Gaussians of centre k of scan j at every width, followed by
// their sums with the residual and with themselves, and that sum's root,
// each of these three padded with zeros.
const double* CombinationTrials::slab(int j, std::size_t k) {
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
            if (receiver_.ended()) return false;
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
                // Only the bounds of three-Gaussian trials read the sums.
                if (n_ == 3) {
                    sums[pad + i] = innerProduct(g, g, m);
                    sums[2 * pad + i] = std::sqrt(sums[pad + i]);
                }
            }
            if (n_ == 3) sums[i] = innerProduct(grid_.R.data(), g, m);
            return true;
        },
        [&] { return receiver_.ended(); });
    if (table && lookedUp && !known) kept_.keep(j, k, table.get(), grid_.slabSize(j));
    return table.get();
}

// For centre kj of scan j and centre kk of scan k: the sums of the
// products of their unit Gaussians at every pair of widths, a row for
// each width of scan j; then the Gaussians of scan j at the other
// centre, and those of scan k at the first centre. What runs along the
// widths of scan k is padded with zeros.
const double* CombinationTrials::pairs(SharedTables& tables, SharedTables::Held& table,
                                       std::size_t key, int j, std::size_t kj, const double* gj,
                                       int k, std::size_t kk, const double* gk) {
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
            if (receiver_.ended()) return false;
            if (!lookedUp) known = kept_.find(kind, key);
            lookedUp = true;
            if (known) {
                const auto [first, end] = partValues(part);
                std::copy(known->data() + first, known->data() + end, out + first);
                return true;
            }
            if (part < rowParts) {
                const std::size_t a = 2 * static_cast<std::size_t>(part);
                innerProducts(gj + a * m, static_cast<int>(std::min<std::size_t>(2, nj - a)), gk,
                              static_cast<int>(nk), m, out + a * pad, pad);
                return true;
            }
            double* jAtK = out + nj * pad;
            double* kAtJ = jAtK + nj;
            for (std::size_t a = 0; a < nj; ++a) jAtK[a] = unitGaussian(cj, bj[a], ck);
            for (std::size_t b = 0; b < nk; ++b) kAtJ[b] = unitGaussian(ck, bk[b], cj);
            return true;
        },
        [&] { return receiver_.ended(); });
    if (table && lookedUp && !known) kept_.keep(kind, key, table.get(), grid_.pairSize(j, k));
    return table.get();
}

void CombinationTrials::tryOneOrTwo(std::size_t k1, std::size_t k2, std::size_t k3, double y1,
                                    double y2) {
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
            if (checks.due() && !receiver_.checkPoint()) return;
            if (n_ == 2) {
                if (!solveTwo(y1, y2, unitGaussian(c2, b2s[i2], c1), c, t)) continue;
            } else {
                t.A[1] = y1;
            }
            ++evaluated_;
            double sum = 0;
            if (!sumBelowBest(t, g1 + i1 * m, g2 ? g2 + i2 * m : nullptr, nullptr, sum)) continue;
            t.b = {0, b1s[i1], b2s[i2], 0};
            offer(combination, evaluated_, t, sum);
        }
    }
}

void CombinationTrials::tryThree(std::size_t k1, std::size_t k2, std::size_t k3, double y1,
                                 double y2, double y3) {
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
    if (!q12) return;
    const double *q13 = nullptr, *q23 = nullptr;
    const auto fetchThirdPairs = [&] {
        q13 = pairs(tables_.pairs13, held_[4], k1 * n3 + k3, 1, k1, s1, 3, k3, s3);
        q23 = q13 ? pairs(tables_.pairs23, held_[5], k2 * n3 + k3, 2, k2, s2, 3, k3, s3) : nullptr;
        return q23 != nullptr;
    };
    // The row bound reads the pair tables with the third centre only to
    // make its own tables; where it rules out every row they are not
    // needed at all.
    const bool tryRows = rowBound_ && rowBoundWorthTrying();
    if ((!tryRows || !rowBound_->tablesMade(k1, k2, k3)) && !fetchThirdPairs()) return;
    const CombinationTables combinationTables{s1, s2, s3, q12, q13, q23};
    const bool testRows = tryRows && rowBound_->prepare(k1, k2, k3, combinationTables, rowScratch_);
    const std::size_t rowStride = (nb2 + 7) / 8 * 8;
    std::vector<double>& rowsOut = rowScratch_.ruledOut;
    if (testRows) {
        const std::int64_t rowsRuled =
            rowBound_->rowsRuledOut(best_, combinationTables, rowScratch_);
        bound_->countRows(rowsRuled);
        noteRowRate(rowsRuled, static_cast<std::int64_t>(nb1 * nb2));
        if (rowsRuled == static_cast<std::int64_t>(nb1 * nb2)) {
            passCheckPoints();
            return;
        }
    } else {
        rowsOut.assign(nb1 * rowStride, 0.0);
    }
    if (!q23 && !fetchThirdPairs()) return;
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
        const double* rowOut = rowsOut.data() + i1 * rowStride;
        // The rows solved last: a run of rows not ruled out, a bounded one.
        std::size_t blockStart = 0, blockRows = 0;
        for (std::size_t i2 = 0; i2 < nb2; ++i2) {
            if (rowOut[i2] != 0) {
                // No trial of the row can improve: only its check points
                // pass, in the same places.
                const bool going =
                    inStretches(checks, receiver_, nb3, [&](std::size_t i3, std::size_t end) {
                        combination += static_cast<std::int64_t>(end - i3);
                    });
                if (!going) return;
                continue;
            }
            if (i2 >= blockStart + blockRows) {
                blockStart = i2;
                blockRows = 1;
                while (blockRows < rowsAtOnce && i2 + blockRows < nb2 &&
                       rowOut[i2 + blockRows] == 0) {
                    ++blockRows;
                }
                block.rows = static_cast<int>(blockRows);
                block.a = a + i2;
                block.f = f + i2;
                block.RG2 = sums2 + i2;
                block.GG2 = sums2 + p2 + i2;
                block.rootGG2 = sums2 + 2 * p2 + i2;
                block.G12 = q12 + i1 * p2 + i2;
                block.G23 = q23 + i2 * p3;
                solveBlock(block, best_, blockA_.data(), blockA_.data() + blockRows * p3,
                           blockA_.data() + 2 * blockRows * p3, blockA_.data() + 3 * blockRows * p3,
                           summaries_.data());
            }
            const std::size_t inBlock = i2 - blockStart;
            double* A1 = blockA_.data() + inBlock * p3;
            double* A2 = A1 + blockRows * p3;
            double* A3 = A2 + blockRows * p3;
            double* verdict = A3 + blockRows * p3;
            const RowSummary summary = summaries_[inBlock];
            // A trial that may improve: summed, and handed over when it does.
            const auto sumTrial = [&](std::size_t i3, std::int64_t at, std::int64_t evaluated) {
                t.A = {0, A1[i3], A2[i3], A3[i3]};
                double sum = 0;
                if (!sumBelowBest(t, s1 + i1 * m, s2 + i2 * m, s3 + i3 * m, sum)) return;
                t.b = {0, b1s[i1], b2s[i2], b3s[i3]};
                offer(at, evaluated, t, std::sqrt(sum));
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
            const bool going =
                inStretches(checks, receiver_, nb3, [&](std::size_t i3, std::size_t end) {
                    for (; i3 < end; ++i3, ++combination) {
                        evaluated_ += verdict[i3] != kDegenerate;
                        if (verdict[i3] == kMaySum) sumTrial(i3, combination, evaluated_);
                    }
                });
            if (!going) return;
        }
    }
}

// The trial's deviation sum in the plain search's order of operations.
// False as soon as the running sum shows it cannot come out below the
// best.
bool CombinationTrials::sumBelowBest(const Trial& t, const double* g1, const double* g2,
                                     const double* g3, double& sum) {
    const int m = grid_.m;
    const double A1 = t.A[1], A2 = t.A[2], A3 = t.A[3];
    const double* R = grid_.R.data();
    sum = 0;
    for (int i = 0; i < m;) {
        const int end = std::min(m, i + kTermsBetweenBestChecks);
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

}  // namespace peakfold::search
