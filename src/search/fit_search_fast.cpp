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
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "search/coarse_clock.h"
#include "search/combination_bound.h"
#include "search/combination_trials.h"
#include "search/fit_search.h"
#include "search/grid_tables.h"
#include "search/search_steps.h"

namespace peakfold {

using namespace search;

namespace {

constexpr std::size_t kTableBytes = std::size_t{48} << 20;  // all tables of all workers
// A search of fewer trials than this is over before threads would pay off:
// the calling thread evaluates it, one centre combination at a time.
constexpr std::size_t kTrialsForThreads = std::size_t{1} << 20;
constexpr std::int64_t kStepsAhead = 64;  // centre combinations the workers may run ahead
constexpr std::int64_t kStepsTaken = 32;  // centre combinations a worker takes at once, at most
// A worker keeps its findings this long, or a little longer.
constexpr std::int64_t kHandOverMs = 2;
constexpr auto kWaitForWorkers = std::chrono::milliseconds(10);  // events run at least this often
// The scans wake for a batch of centre combinations rather than for each,
// unless the batch takes longer than this.
constexpr std::int64_t kBatch = 16;
constexpr auto kBatchWait = std::chrono::milliseconds(2);

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

    // Empty for centre combination `next`, keeping the memory held.
    void reset(std::int64_t next) {
        step = next;
        candidates.clear();
        evaluatedAtCheck.clear();
        evaluated = terms = 0;
        complete = false;
    }
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

// One worker: takes centre combinations as the scans make room, has their
// trials evaluated against the best it knows, and hands what they find
// over to the scans. It never touches the shared state or the window.
class Evaluator final : private TrialReceiver {
  public:
    Evaluator(const Grid& grid, const Setup& setup, int n, Tables& tables, GridTables& kept,
              CombinationBound* bound, Exchange& exchange)
        : grid_(grid), exchange_(exchange), tables_(tables),
          trials_(grid, setup, n, tables, kept, bound, *this) {}
    // The trials report to this very object.
    Evaluator(const Evaluator&) = delete;
    Evaluator& operator=(const Evaluator&) = delete;

    // Evaluates the next centre combination on the calling thread.
    void evaluateNext() {
        const std::size_t n2 = grid_.centres[2].size(), n3 = grid_.centres[3].size();
        std::int64_t step, applied;
        {
            std::lock_guard lock(exchange_.mutex);
            step = exchange_.nextStep++;
            applied = exchange_.applied;
            exchange_.findings(step).reset(step);
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
                    exchange_.findings(step).reset(step);
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
        lastHandOver_ = coarseMilliseconds();
        refreshBest();
        trials_.evaluate(k1, k2, k3);
        handOver(true);
    }

    // The best this worker may compare with: the scans' best, or lower
    // where its own earlier findings lie below it.
    void refreshBest() {
        const double best = std::min(exchange_.best.load(std::memory_order_relaxed), ownBest_);
        if (best != trials_.best()) trials_.setBest(best);
    }

    // At a check point the findings so far go to the scans when they have
    // waited long enough.
    bool checkPoint() override {
        pendingChecks_.push_back(trials_.evaluated());
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
                out.evaluated = trials_.evaluated();
                out.terms = trials_.terms();
                out.complete = true;
            }
            awaited = exchange_.awaited == out.step;
        }
        if (awaited) exchange_.found.notify_all();
        pending_.clear();
        pendingChecks_.clear();
        // The next combination starts the clock afresh.
        if (!complete) lastHandOver_ = coarseMilliseconds();
    }

    void candidate(std::int64_t combination, std::int64_t evaluated, const Trial& t) override {
        pending_.push_back({combination, evaluated, t});
        ownBest_ = t.deviation;
        refreshBest();
    }

    // Check points passed at once, where a combination was ruled out as a
    // whole: the findings wait for the last of them.
    bool checkPoints(std::int64_t count) override {
        if (count <= 0) return !ended();
        pendingChecks_.insert(pendingChecks_.end(), static_cast<std::size_t>(count - 1),
                              trials_.evaluated());
        return checkPoint();
    }

    bool ended() const override { return exchange_.stop.load(std::memory_order_relaxed); }

    const Grid& grid_;
    Exchange& exchange_;
    Tables& tables_;
    CombinationTrials trials_;
    std::size_t k1_ = SIZE_MAX, k2_ = SIZE_MAX;  // first and second centre of the step before
    double ownBest_ = kStartBest;                // lowest deviation this worker handed over
    StepFindings* out_ = nullptr;
    std::vector<Candidate> pending_;
    std::vector<std::int64_t> pendingChecks_;
    std::int64_t lastHandOver_ = 0;  // coarse milliseconds
};
// The centre scans on the calling thread, call for call as in the plain
// search, applying what the workers find.
class ScanDriver {
  public:
    // With `here`, that evaluator does the work on this thread, one
    // centre combination at a time, and there are no workers.
    ScanDriver(State& s, int n, double Q, const SearchProgress& progress, const Setup& setup,
               const Grid& grid, Exchange& exchange, SearchCounts& counts, Evaluator* here,
               double start)
        : s_(s), n_(n), Q_(Q), progress_(progress), setup_(setup), grid_(grid),
          exchange_(exchange), counts_(counts), here_(here), improvements_(start) {}

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
        // Copies of what the workers handed over, their memory kept from
        // one combination to the next.
        std::vector<Candidate>& candidates = candidates_;
        std::vector<std::int64_t>& evaluatedAtCheck = evaluatedAtCheck_;
        candidates.clear();
        evaluatedAtCheck.clear();
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
    std::vector<Candidate> candidates_;          // of the combination being applied
    std::vector<std::int64_t> evaluatedAtCheck_;  // likewise
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
                     const Grid& grid, int threads, int workers, double start,
                     SearchCounts& counts) {
    Exchange exchange;
    exchange.best = start;
    exchange.steps = static_cast<std::int64_t>(grid.centres[1].size() * grid.centres[2].size() *
                                               grid.centres[3].size());
    const std::size_t perStep = grid.combinations(n);
    const bool small = workers == 1 ||
                       perStep * static_cast<std::size_t>(exchange.steps) < kTrialsForThreads;
    const bool onThisThread =
        threads == 1 || (small && perStep <= static_cast<std::size_t>(setup.widthsPerCheck));
    Tables tables(grid, kindBudget(n));
    const std::shared_ptr<GridTables> kept = GridTableCache::process().tablesOf(grid.description);
    std::shared_ptr<CombinationGeometry> geometry;
    std::optional<CombinationBound> bound;
    if (n == 3 && s.SearchPruning && CombinationBound::worthwhile(grid)) {
        geometry = kept->geometry([&] { return std::make_shared<CombinationGeometry>(grid); });
        bound.emplace(grid, *geometry);
    }
    std::deque<Evaluator> evaluators;  // built in place, never moved
    for (int i = 0; i < workers; ++i) {
        evaluators.emplace_back(grid, setup, n, tables, *kept, bound ? &*bound : nullptr,
                                exchange);
    }
    std::vector<std::thread> running;
    if (!onThisThread) {
        for (Evaluator& evaluator : evaluators) {
            running.emplace_back([&evaluator] { evaluator.work(); });
        }
    }
    ScanDriver scans(s, n, Q, progress, setup, grid, exchange, counts,
                     onThisThread ? &evaluators[0] : nullptr, start);
    scans.run();
    {
        std::lock_guard lock(exchange.mutex);
        exchange.stop = true;
    }
    exchange.room.notify_all();
    for (std::thread& thread : running) thread.join();
    counts.tableBytes = tables.largestBytes();
    if (bound) {
        counts.ruledOut = bound->ruledOutCount();
        counts.rowsRuledOut = bound->rowsRuledOutCount();
    }
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
    const Grid grid(setup, n, Q);
    // Each worker may hold a table of each kind while others are dropped:
    // fewer workers where such tables would not fit. An empty fit range
    // ends at the first trial, and tables too large for one worker belong
    // to a search that would not end in a lifetime: the plain scans serve
    // both.
    int workers = workerCount(threads);
    while (workers > 1 && !tablesFit(grid, n, workers)) workers /= 2;
    const double start =
        s.SearchPruning ? startingBest(setup, n, Q, s.SearchNeighbour) : kStartBest;
    const Trial best = tablesFit(grid, n, workers)
                           ? runWithWorkers(s, n, Q, progress, setup, grid, threads, workers,
                                            start, result.counts)
                           : runPlainScans(s, n, Q, progress, setup, result.counts);
    finishSearch(s, n, setup, best, result);
    return result;
}

}  // namespace peakfold
