#include "graph/curves.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "graph/frame.h"
#include "model/equation.h"
#include "model/numbers.h"

namespace peakfold {

// Slots 1..6 have the legend's colours 9..14; slots 7..9 repeat those of 1..3.
int slotColour(int slot) {
    return slot <= 6 ? slot + 8 : slot + 2;
}

namespace {

constexpr int kDipColour = 4;    // dark red: the negative part of a curve, mirrored
constexpr int kFirstWave = 200;  // curves span the frame, 200..1000 nm,
constexpr int kLastWave = 1000;  // whatever the fit range

double curveValue(const State& s, int slot, double x) {
    return peakValue(SlotPeak(s, slot), x);
}

bool insideValueWindow(double value) {
    return value >= 0 && value < 100;
}

void segment(Toolkit& ui, int w, double y1, double y2, int colour) {
    ui.graphLine(static_cast<float>(w), plotCoordinate(y1), static_cast<float>(w + 1),
                 plotCoordinate(y2), LineStyle::Line, colour);
}

// Segment w of a slot's curve. Only the value at its left end decides whether
// it is drawn, so a segment may climb out of the window at its right end. A
// dip is drawn upside down in dark red; a value of exactly 0 passes both
// tests and the dark red lies on top.
void curveSegment(const State& s, Toolkit& ui, int slot, int w) {
    const double y1 = curveValue(s, slot, w);
    const double y2 = curveValue(s, slot, w + 1);
    if (insideValueWindow(y1)) segment(ui, w, y1, y2, slotColour(slot));
    if (insideValueWindow(-y1)) segment(ui, w, -y1, -y2, kDipColour);
}

// Sum of every slot in use at x (a non-zero amplitude and width, kept or
// not) on the baseline.
double totalAt(const State& s, double x) {
    double total = 0;
    for (int i = 1; i <= kLastSlot; ++i) {
        if (s.EqIo[i] * s.EqW[i] != 0) total += curveValue(s, i, x);
    }
    if (inUse(s.FitBaseline)) total += baselineValue(s.FitBaseline, x);
    return total;
}

// Segments w of the baseline that are drawn: over the range it belongs to,
// with the left end inside the value window like every curve.
template <typename Draw>
void forEachBaselineSegment(const State& s, Draw draw) {
    if (!inUse(s.FitBaseline)) return;
    const int first = std::max(kFirstWave, s.FitBaseline.first);
    const int last = std::min(kLastWave, s.FitBaseline.last);
    for (int w = first; w < last; ++w) {
        if (insideValueWindow(baselineValue(s.FitBaseline, w))) draw(w);
    }
}

// The baseline under every drawing of equations, before them.
void plotBaseline(State& s, Toolkit& ui) {
    forEachBaselineSegment(s, [&](int w) {
        segment(ui, w, baselineValue(s.FitBaseline, w), baselineValue(s.FitBaseline, w + 1),
                kBaselineColour);
    });
}

}  // namespace

void List_Click(State& s, Toolkit& ui) {
    DrawGraphFrame(s, ui);
    PlotRawData(s, ui);
    const int n = LineSlot(ui.listSelectedText(Control::List));
    if (n <= 0) return;
    plotBaseline(s, ui);
    const std::string mode = ui.text(Control::PlotAll);
    if (mode == "Plot One") {
        PlotCurve(s, ui, n);
        ui.setText(Control::TryNbr, "");
    } else if (mode == "Plot All") {
        // Wavelength outside, slot inside: at each w the kept slots' segments
        // are drawn in slot order before the next w.
        for (s.Wave = kFirstWave; s.Wave < kLastWave; ++s.Wave) {
            for (int i = 1; i <= kLastSlot; ++i) {
                if (s.EqKept[i] == 1) curveSegment(s, ui, i, s.Wave);
            }
        }
        ui.setText(Control::TryNbr, "");
        PlotTotal(s, ui);
    } else {
        PlotTotal(s, ui);
    }
}

bool BaselineDrawn(const State& s) {
    bool drawn = false;
    forEachBaselineSegment(s, [&](int) { drawn = true; });
    return drawn;
}

void PlotAll_Click(State&, Toolkit& ui) {
    const std::string mode = ui.text(Control::PlotAll);
    if (mode == "Plot One") {
        ui.setText(Control::PlotAll, "Plot All");
    } else if (mode == "Plot All") {
        ui.setText(Control::PlotAll, "Plot Total");
    } else {
        ui.setText(Control::PlotAll, "Plot One");
    }
}

void PlotCurve(State& s, Toolkit& ui, int slot) {
    if (slot < 1 || slot > kLastSlot) return;
    for (s.Wave = kFirstWave; s.Wave < kLastWave; ++s.Wave) curveSegment(s, ui, slot, s.Wave);
}

namespace {

// The total at every whole wavelength the total is drawn and summed over.
using Totals = std::array<double, kLastWave - kFirstWave + 1>;

Totals totalsOf(const State& s) {
    Totals totals;
    for (int w = kFirstWave; w <= kLastWave; ++w) totals[w - kFirstWave] = totalAt(s, w);
    return totals;
}

// The sum runs over the 801 wavelengths 200..1000: the total at 1000 is
// the right end of the last segment drawn.
double deviationFigure(const State& s, const Totals& totals) {
    double S = 0;
    for (int w = kFirstWave; w <= kLastWave; ++w) {
        const double d = s.Spectrum[w] - totals[w - kFirstWave];
        S = S + d * d;
    }
    return std::floor(std::sqrt(10 * S + 0.5)) / 10;
}

}  // namespace

void PlotTotal(State& s, Toolkit& ui) {
    const Totals totals = totalsOf(s);
    for (s.Wave = kFirstWave; s.Wave < kLastWave; ++s.Wave) {
        const int w = s.Wave;
        // On a baseline the total is known over the baseline's range only.
        if (segmentBeyond(s.FitBaseline, w)) continue;
        const double T1 = totals[w - kFirstWave];
        if (insideValueWindow(T1)) segment(ui, w, T1, totals[w + 1 - kFirstWave], kTotalColour);
    }
    ui.setText(Control::TryNbr, NumText(deviationFigure(s, totals)));
}

double DeviationFigure(const State& s) { return deviationFigure(s, totalsOf(s)); }

}  // namespace peakfold
