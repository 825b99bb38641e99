// The shared state: the one store that every handler reads and writes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "refine/refinement.h"

namespace peakfold {

constexpr int kMaxWave = 1010;       // wavelengths are indices 0..kMaxWave
constexpr int kSlotCount = 10;       // equation slots 0..9; equations live in 1..9
constexpr int kLastSlot = kSlotCount - 1;
constexpr double kShape = 0.6931472;  // k of y = Io * exp(-k * ((x - Xo) / W)^2)

using WaveArray = std::array<double, kMaxWave + 1>;
using SlotArray = std::array<double, kSlotCount>;

// Record of the fit search's improving trials, indexed (trial, gaussian, item):
// (t, 0, 0) is the deviation, (t, g, 1..3) amplitude, width and centre of
// Gaussian g = 1..3. Only those cells exist; every other cell, and every cell
// of a trial never written, reads 0. Grows with the search, without a cap.
class TrialTable {
public:
    static constexpr int kAmplitude = 1;
    static constexpr int kWidth = 2;
    static constexpr int kCentre = 3;

    void clear() { rows_.clear(); }
    double get(int trial, int gaussian, int item) const;
    void set(int trial, int gaussian, int item, double value);
    int size() const { return static_cast<int>(rows_.size()); }  // highest trial written
    bool operator==(const TrialTable&) const = default;
    size_t bytes() const { return rows_.size() * sizeof(Row); }

private:
    // Cell 0 is the deviation; cell 3 * (g - 1) + item holds (g, item).
    using Row = std::array<double, 10>;
    static int cellOf(int gaussian, int item);
    std::vector<Row> rows_;  // rows_[t - 1] is trial t
};

// The centres and widths of the trial that won a search (n = 0: none).
struct NeighbourTrial {
    int n = 0;
    std::array<double, 4> c{}, b{};
    bool operator==(const NeighbourTrial&) const = default;
};

struct State {
    SlotArray EqIo{};   // amplitude of slot i, in intensity units of Spectrum
    SlotArray EqW{};    // width (half width at half maximum, nm)
    SlotArray EqXo{};   // centre (nm)
    std::array<int16_t, kSlotCount> EqKept{};  // 1 = kept, anything else = not kept
    // The shape of slot i and a pseudo-Voigt's Lorentzian share eta; the
    // search finds Gaussians, and a slot it fills takes FitShape.
    std::array<PeakShape, kSlotCount> EqShape{};
    SlotArray EqEta{};
    PeakShape FitShape = PeakShape::Gaussian;

    WaveArray Spectrum{};
    WaveArray Residual{};  // the search's working copy, in percent of its peak
    int16_t Wave = 0;      // wavelength counter shared by several loops

    TrialTable Trials;
    std::string CalcState;  // "processing", "abort" or empty
    std::string DataName;   // last name typed when loading or saving, or the path opened
    // The folder of the last file opened or saved by a path; bare names are
    // looked up there. Empty: the toolkit's current folder.
    std::string Folder;

    // PeakX(0)..PeakW(0) is the fit range; PeakX(1..3) and PeakW(1..3) are
    // the centre guesses and half-width estimates of peaks 1..3.
    std::array<double, 4> PeakX{};
    std::array<int16_t, 4> PeakW{};

    // The last refinement, and the spectrum over its fit range as it was
    // fitted: the report shows its errors only while the listed equations,
    // the range and the data are still exactly those it refined.
    Refinement LastRefinement;
    std::vector<double> LastRefinedData;

    // The baseline under the peaks and the weights of Refine, as chosen in
    // the Fit menu (None and None as the window opens).
    Baseline FitBaseline;
    Weighting Weights = Weighting::None;
    // How the loaded percent maps onto the file's values, and the sigma of
    // each wavelength from the spectrum file's third column, in the file's
    // units (0 where there is none). SigmaProblem says why the column cannot
    // weigh a fit, naming its first bad line; empty when it can.
    SpectrumUnits Units;
    WaveArray Sigma{};
    std::string SigmaProblem = "it holds no spectrum";

    // Worker threads of Calculate's search, 0 for one per core. A program
    // that fits several spectra at once asks for fewer; the results do not
    // depend on it.
    int SearchThreads = 0;
    // A program that fits a series of spectra on one grid (peakfold-fit)
    // hands each search the centres and widths that won on the spectrum
    // before: evaluated first, that trial's deviation bounds this search's
    // answer from above, so the search can rule trials out from its start.
    // The answer does not depend on it; the intermediate records do.
    // With SearchPruning false, the search rules out no centre combination
    // as a whole and learns nothing from the neighbour: the path to compare
    // the pruned one with.
    NeighbourTrial SearchNeighbour;
    bool SearchPruning = true;

    bool operator==(const State&) const = default;
};

inline constexpr const char* kProcessing = "processing";
inline constexpr const char* kAbort = "abort";

}  // namespace peakfold
