// The fast search as it stood before worker threads and vector lanes: one
// thread, one trial at a time, each bounded and, where the bound allows an
// improvement, summed. Kept here unchanged, apart from names, so that one
// run of the benchmark measures today's search against it.
#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <vector>

#include "search_before.h"

#include "search/fit_search.h"
#include "search/search_bounds.h"
#include "search/search_steps.h"

namespace peakfold {

using namespace search;

namespace {

constexpr std::size_t kCacheBytes = std::size_t{32} << 20;  // per table cache
constexpr int kTermsPerCheck = 32;  // terms summed between checks against the best

// Tables indexed by a key, filled on first use. When a new entry would take
// the cache over its budget, the entries held so far are dropped first.
class TableCache {
  public:
    template <class Fill>
    const std::vector<double>& get(std::size_t key, std::size_t size, Fill&& fill) {
        auto found = entries_.find(key);
        if (found != entries_.end()) return found->second;
        if (bytes_ + size * sizeof(double) > kCacheBytes) clear();
        std::vector<double>& entry = entries_[key];
        entry.resize(size);
        fill(entry.data());
        bytes_ += size * sizeof(double);
        return entry;
    }
    void clear() {
        entries_.clear();
        bytes_ = 0;
    }
    std::size_t bytes() const { return bytes_; }

  private:
    std::unordered_map<std::size_t, std::vector<double>> entries_;
    std::size_t bytes_ = 0;
};

double dot(const double* x, const double* y, int m) {
    // Four running sums; the bound allows any order of summation.
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int i = 0;
    for (; i + 4 <= m; i += 4) {
        s0 += x[i] * y[i];
        s1 += x[i + 1] * y[i + 1];
        s2 += x[i + 2] * y[i + 2];
        s3 += x[i + 3] * y[i + 3];
    }
    for (; i < m; ++i) s0 += x[i] * y[i];
    return (s0 + s1) + (s2 + s3);
}

// The lower bound on a trial's deviation of search_bounds.h, in the order
// of operations of that time.
double deviationLowerBoundBefore(const TrialSums& t, double A1, double A2, double A3, int m) {
    constexpr double u = std::numeric_limits<double>::epsilon() / 2;
    const double S = t.RR - 2 * (A1 * t.RG[1] + A2 * t.RG[2] + A3 * t.RG[3]) +
                     (A1 * A1 * t.GG[1] + A2 * A2 * t.GG[2] + A3 * A3 * t.GG[3]) +
                     2 * (A1 * A2 * t.G12 + A1 * A3 * t.G13 + A2 * A3 * t.G23);
    const double a1 = std::fabs(A1), a2 = std::fabs(A2), a3 = std::fabs(A3);
    const double rootT = t.rootRR + a1 * t.rootGG[1] + a2 * t.rootGG[2] + a3 * t.rootGG[3];
    const double spread = 1 + a1 + a2 + a3;
    const double low = S - (2 * (m + 32) * u * rootT * rootT + m * 1e-300 * spread * spread);
    if (!(low > 0)) return 0;
    const double bound = (std::sqrt(low) - 14 * u * rootT - 1e-100) * (1 - 2 * (m + 8) * u);
    return bound > 0 ? bound : 0;
}

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

class FastSearch {
  public:
    FastSearch(State& s, int n, double Q, const SearchProgress& progress, const Setup& setup,
               SearchCounts& counts)
        : s_(s), n_(n), Q_(Q), progress_(progress), setup_(setup), counts_(counts) {
        const Picks& p = setup.picks;
        for (int j = 1; j <= 3; ++j) {
            centres_[j] =
                scanValues(p.x[j] - kCentreSpan * p.w[j], p.x[j] + kCentreSpan * p.w[j], 1);
            widths_[j] = scanValues(Q, p.w[j] + Q, Q);
        }
        const Sampling& range = setup.deviation;
        m_ = range.count;
        wave_.resize(m_);
        R_.resize(m_);
        for (int k = 0; k < m_; ++k) {
            wave_[k] = range.at(k);
            R_[k] = setup.R[range.at(k)];
        }
        RR_ = dot(R_.data(), R_.data(), m_);
        threshold_ = thresholdFor(bestDeviation_);
    }

    // Whether every table the search needs fits its cache; when not, the
    // plain search does the work instead.
    bool tablesFit() const {
        for (int j = 1; j <= 3; ++j) {
            if (slabSize(j) * sizeof(double) > kCacheBytes) return false;
            for (int k = j + 1; k <= 3; ++k) {
                if (widths_[j].size() * widths_[k].size() * sizeof(double) > kCacheBytes)
                    return false;
            }
        }
        return m_ > 0;
    }

    // The centre scans, call for call as in the plain search.
    void run() {
        const std::size_t n1 = centres_[1].size(), n2 = centres_[2].size(), n3 = centres_[3].size();
        int colour2 = 0, colour3 = 0;
        bool aborted = false;
        for (std::size_t k1 = 0; k1 < n1 && !aborted; ++k1) {
            showScanPoint(centres_[1][k1], -5, 14);
            colour2 = colour2 == 10 ? 8 : 10;
            slabs_[1].clear();  // each first centre is scanned once
            pairs13_.clear();
            for (std::size_t k2 = 0; k2 < n2 && !aborted; ++k2) {
                showScanPoint(centres_[2][k2], -7, colour2);
                colour3 = colour3 == 12 ? 8 : 12;
                pairs12_.clear();
                for (std::size_t k3 = 0; k3 < n3; ++k3) {
                    if (progress_.PumpEvents) progress_.PumpEvents();
                    if (aborted) continue;
                    if (s_.CalcState == kAbort) {
                        aborted = true;
                        continue;
                    }
                    showScanPoint(centres_[3][k3], -9, colour3);
                    const WidthScan scan = tryWidths(k1, k2, k3);
                    if (scan == WidthScan::QualityReached) return;
                    aborted = scan == WidthScan::Aborted;
                }
            }
        }
    }

    const Trial& best() const { return best_; }

  private:
    std::size_t slabSize(int j) const { return widths_[j].size() * (m_ + 3); }

    // The unit Gaussians of centre k of scan j at every width, followed by
    // their sums with the residual and with themselves, and that sum's root.
    const double* slab(int j, std::size_t k) {
        const std::vector<double>& table = slabs_[j].get(k, slabSize(j), [&](double* out) {
            const double c = centres_[j][k];
            const std::size_t nb = widths_[j].size();
            for (std::size_t i = 0; i < nb; ++i) {
                letEventsRun();
                double* g = out + i * m_;
                for (int w = 0; w < m_; ++w) g[w] = unitGaussian(c, widths_[j][i], wave_[w]);
                double* sums = out + nb * m_;
                sums[i] = dot(R_.data(), g, m_);
                sums[nb + i] = dot(g, g, m_);
                sums[2 * nb + i] = std::sqrt(sums[nb + i]);
            }
        });
        noteMemory();
        return table.data();
    }

    // Sums of the products of the unit Gaussians of two scans at every pair
    // of their widths.
    const double* pairs(TableCache& cache, std::size_t key, int j, const double* gj, int k,
                        const double* gk) {
        const std::size_t nj = widths_[j].size(), nk = widths_[k].size();
        const std::vector<double>& table = cache.get(key, nj * nk, [&](double* out) {
            for (std::size_t a = 0; a < nj; ++a) {
                letEventsRun();
                for (std::size_t b = 0; b < nk; ++b)
                    out[a * nk + b] = dot(gj + a * m_, gk + b * m_, m_);
            }
        });
        noteMemory();
        return table.data();
    }

    void noteMemory() {
        std::size_t bytes = pairs12_.bytes() + pairs13_.bytes() + pairs23_.bytes();
        for (int j = 1; j <= 3; ++j) bytes += slabs_[j].bytes();
        counts_.tableBytes = std::max(counts_.tableBytes, bytes);
    }

    double thresholdFor(double best) const { return n_ == 3 ? squaredThreshold(best) : best; }

    void letEventsRun() {
        if (progress_.LetEventsRun) progress_.LetEventsRun();
    }

    WidthScan tryWidths(std::size_t k1, std::size_t k2, std::size_t k3) {
        const double c1 = centres_[1][k1], c2 = centres_[2][k2], c3 = centres_[3][k3];
        const double y1 = residualAt(setup_, c1);
        const double y2 = residualAt(setup_, c2);
        const double y3 = residualAt(setup_, c3);
        if (std::floor(y1) < kStrongResidual && std::floor(y2) < kStrongResidual &&
            std::floor(y3) < kStrongResidual) {
            return WidthScan::Done;
        }
        const std::int64_t evaluatedBefore = counts_.evaluated;
        const WidthScan scan =
            n_ == 3 ? tryThree(k1, k2, k3, y1, y2, y3) : tryOneOrTwo(k1, k2, k3, y1, y2);
        if (counts_.evaluated != evaluatedBefore) s_.Wave = setup_.deviation.exitWave;
        return scan;
    }

    WidthScan tryOneOrTwo(std::size_t k1, std::size_t k2, std::size_t k3, double y1, double y2) {
        const double c1 = centres_[1][k1], c2 = centres_[2][k2];
        const std::vector<double>& b1s = widths_[1];
        const std::vector<double>& b2s = widths_[2];
        const double* g1 = slab(1, k1);
        const double* g2 = n_ == 2 ? slab(2, k2) : nullptr;
        CheckPoints checks(setup_.widthsPerCheck);
        Trial t;
        t.c = {0, c1, c2, centres_[3][k3]};
        for (std::size_t i1 = 0; i1 < b1s.size(); ++i1) {
            const double c = unitGaussian(c1, b1s[i1], c2);
            for (std::size_t i2 = 0; i2 < b2s.size(); ++i2) {
                if (checks.due() && abortedAtCheck(s_, progress_, counts_)) return WidthScan::Aborted;
                if (n_ == 2) {
                    if (!solveTwo(y1, y2, unitGaussian(c2, b2s[i2], c1), c, t)) continue;
                } else {
                    t.A[1] = y1;
                }
                ++counts_.evaluated;
                double sum = 0;
                if (!sumBelowBest(t, g1 + i1 * m_, g2 ? g2 + i2 * m_ : nullptr, nullptr, sum))
                    continue;
                t.b = {0, b1s[i1], b2s[i2], 0};
                if (improve(t, sum)) return WidthScan::QualityReached;
            }
        }
        return WidthScan::Done;
    }

    WidthScan tryThree(std::size_t k1, std::size_t k2, std::size_t k3, double y1, double y2, double y3) {
        const double c1 = centres_[1][k1], c2 = centres_[2][k2], c3 = centres_[3][k3];
        const std::vector<double>& b1s = widths_[1];
        const std::vector<double>& b2s = widths_[2];
        const std::vector<double>& b3s = widths_[3];
        const std::size_t nb1 = b1s.size(), nb2 = b2s.size(), nb3 = b3s.size();
        const double* s1 = slab(1, k1);
        const double* s2 = slab(2, k2);
        const double* s3 = slab(3, k3);
        const double* q12 = pairs(pairs12_, 0, 1, s1, 2, s2);
        const double* q13 = pairs(pairs13_, k3, 1, s1, 3, s3);
        const double* q23 = pairs(pairs23_, k2 * centres_[3].size() + k3, 2, s2, 3, s3);
        const double* sums1 = s1 + nb1 * m_;
        const double* sums2 = s2 + nb2 * m_;
        const double* sums3 = s3 + nb3 * m_;

        // The values of each trial Gaussian at the other trial centres.
        cross_.resize(2 * (nb1 + nb2 + nb3));
        double* c = cross_.data();  // G1 at c2
        double* d = c + nb1;        // G1 at c3
        double* a = d + nb1;        // G2 at c1
        double* f = a + nb2;        // G2 at c3
        double* b = f + nb2;        // G3 at c1
        double* e = b + nb3;        // G3 at c2
        for (std::size_t i = 0; i < nb1; ++i) {
            c[i] = unitGaussian(c1, b1s[i], c2);
            d[i] = unitGaussian(c1, b1s[i], c3);
        }
        for (std::size_t i = 0; i < nb2; ++i) {
            a[i] = unitGaussian(c2, b2s[i], c1);
            f[i] = unitGaussian(c2, b2s[i], c3);
        }
        for (std::size_t i = 0; i < nb3; ++i) {
            b[i] = unitGaussian(c3, b3s[i], c1);
            e[i] = unitGaussian(c3, b3s[i], c2);
        }

        TrialSums sums;
        sums.RR = RR_;
        sums.rootRR = std::sqrt(RR_);
        CheckPoints checks(setup_.widthsPerCheck);
        Trial t;
        t.c = {0, c1, c2, c3};
        for (std::size_t i1 = 0; i1 < nb1; ++i1) {
            sums.RG[1] = sums1[i1];
            sums.GG[1] = sums1[nb1 + i1];
            sums.rootGG[1] = sums1[2 * nb1 + i1];
            for (std::size_t i2 = 0; i2 < nb2; ++i2) {
                sums.RG[2] = sums2[i2];
                sums.GG[2] = sums2[nb2 + i2];
                sums.rootGG[2] = sums2[2 * nb2 + i2];
                sums.G12 = q12[i1 * nb2 + i2];
                for (std::size_t i3 = 0; i3 < nb3; ++i3) {
                    if (checks.due() && abortedAtCheck(s_, progress_, counts_))
                        return WidthScan::Aborted;
                    if (!solveThree(y1, y2, y3, a[i2], b[i3], c[i1], d[i1], e[i3], f[i2], t)) {
                        continue;
                    }
                    ++counts_.evaluated;
                    sums.RG[3] = sums3[i3];
                    sums.GG[3] = sums3[nb3 + i3];
                    sums.rootGG[3] = sums3[2 * nb3 + i3];
                    sums.G13 = q13[i1 * nb3 + i3];
                    sums.G23 = q23[i2 * nb3 + i3];
                    if (deviationLowerBoundBefore(sums, t.A[1], t.A[2], t.A[3], m_) >= bestDeviation_) {
                        continue;
                    }
                    double sum = 0;
                    if (!sumBelowBest(t, s1 + i1 * m_, s2 + i2 * m_, s3 + i3 * m_, sum)) continue;
                    t.b = {0, b1s[i1], b2s[i2], b3s[i3]};
                    if (improve(t, std::sqrt(sum))) return WidthScan::QualityReached;
                }
            }
        }
        return WidthScan::Done;
    }

    // The trial's deviation sum in the plain search's order of operations.
    // False as soon as the running sum shows it cannot come out below the
    // best.
    bool sumBelowBest(const Trial& t, const double* g1, const double* g2, const double* g3,
                      double& sum) {
        const double A1 = t.A[1], A2 = t.A[2], A3 = t.A[3];
        const double* R = R_.data();
        sum = 0;
        for (int i = 0; i < m_;) {
            const int end = std::min(m_, i + kTermsPerCheck);
            counts_.terms += end - i;
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

    bool improve(Trial& t, double deviation) {
        if (!(deviation < bestDeviation_)) return false;
        t.deviation = deviation;
        bestDeviation_ = deviation;
        threshold_ = thresholdFor(bestDeviation_);
        best_ = t;
        recordTrial(s_, n_, trial_, t);
        if (progress_.ShowBest) progress_.ShowBest(trial_, bestDeviation_);
        ++trial_;
        return bestDeviation_ < Q_;
    }

    void showScanPoint(double x, double y, int colour) {
        if (progress_.ShowScanPoint) progress_.ShowScanPoint(x, y, colour);
    }

    State& s_;
    const int n_;
    const double Q_;
    const SearchProgress& progress_;
    const Setup& setup_;
    SearchCounts& counts_;

    std::vector<double> centres_[4], widths_[4];  // scan values of Gaussians 1..3
    int m_ = 0;                                   // sampled wavelengths
    std::vector<int> wave_;
    std::vector<double> R_;
    double RR_ = 0;
    TableCache slabs_[4];
    TableCache pairs12_, pairs13_, pairs23_;
    std::vector<double> cross_;

    Trial best_;
    double bestDeviation_ = kStartBest;
    double threshold_ = 0;
    int trial_ = 1;
};

}  // namespace

SearchResult FitSearchBefore(State& s, int n, double Q, const SearchProgress& progress) {
    SearchResult result;
    Setup setup;
    if (!beginSearch(s, n, Q, setup, result)) return result;
    if (!setup.canFit) {
        finishSearch(s, n, setup, Trial{}, result);
        return result;
    }
    FastSearch scans(s, n, Q, progress, setup, result.counts);
    if (!scans.tablesFit()) {
        // An empty fit range ends at the first trial, and tables too large
        // to hold belong to a search that would not end in a lifetime: the
        // plain scans serve both.
        finishSearch(s, n, setup, runPlainScans(s, n, Q, progress, setup, result.counts), result);
        return result;
    }
    scans.run();
    finishSearch(s, n, setup, scans.best(), result);
    return result;
}

}  // namespace peakfold
