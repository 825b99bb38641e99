#include "graph/frame.h"

#include <algorithm>
#include <cmath>

#include "model/numbers.h"

namespace peakfold {

namespace {

constexpr int kFrameColour = 8;  // dark grey: frame, grid and ticks
constexpr int kRawColour = 7;    // light grey: the raw data

// Wider than the surface on every side by many times its own size.
constexpr double kCoordinateBand = 100000;

void line(Toolkit& ui, double x1, double y1, double x2, double y2, int colour) {
    ui.graphLine(plotCoordinate(x1), plotCoordinate(y1), plotCoordinate(x2), plotCoordinate(y2),
                 LineStyle::Line, colour);
}

// The whole wavelengths from the fit range's left edge (rounded, halves to
// even) up to `last` that lie inside the array 0..`lastInside`. A range
// partly outside the array keeps only its part inside; first > last when
// nothing is left.
struct Span {
    int first = 1;
    int last = 0;
};

Span rangeInsideArray(double left, double last, int lastInside) {
    const double first = roundHalfEven(left);
    if (std::isnan(first) || std::isnan(last)) return {};
    const double from = std::max(first, 0.0);
    const double to = std::min(last, static_cast<double>(lastInside));
    if (from > to) return {};
    return {static_cast<int>(from), static_cast<int>(to)};
}

}  // namespace

float plotCoordinate(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<float>(std::clamp(value, -kCoordinateBand, kCoordinateBand));
}

void DrawGraphFrame(State& s, Toolkit& ui) {
    ui.graphClear();
    ui.graphLine(200, 0, 1000, 100, LineStyle::Box, kFrameColour);
    // Major grid every 100 nm, standing out 5 units above and below the frame.
    for (s.Wave = 200; s.Wave <= 1000; s.Wave += 100)
        line(ui, s.Wave, 105, s.Wave, -5, kFrameColour);
    // Minor ticks every 10 nm, pointing outward from the bottom and top edges.
    for (s.Wave = 200; s.Wave <= 1000; s.Wave += 10) {
        line(ui, s.Wave, 0, s.Wave, -2, kFrameColour);
        line(ui, s.Wave, 100, s.Wave, 102, kFrameColour);
    }
    // Intensity ticks every 10 units, pointing outward from the side edges.
    for (s.Wave = 0; s.Wave <= 100; s.Wave += 10) {
        line(ui, 200, s.Wave, 198, s.Wave, kFrameColour);
        line(ui, 1000, s.Wave, 1002, s.Wave, kFrameColour);
    }
}

void PlotRawData(State& s, Toolkit& ui) {
    // One segment per nanometre from w to w + 1, so the last segment starts
    // one before the right edge and ends on it.
    const Span span = rangeInsideArray(s.PeakX[0], s.PeakW[0] - 1.0, kMaxWave - 1);
    for (s.Wave = static_cast<int16_t>(span.first); s.Wave <= span.last; ++s.Wave) {
        const int w = s.Wave;
        line(ui, w, s.Spectrum[w], w + 1, s.Spectrum[w + 1], kRawColour);
    }
}

void PlotRawDots(State& s, Toolkit& ui) {
    const Span span = rangeInsideArray(s.PeakX[0], s.PeakW[0], kMaxWave);
    for (s.Wave = static_cast<int16_t>(span.first); s.Wave <= span.last; ++s.Wave) {
        const int w = s.Wave;
        ui.graphPoint(static_cast<float>(w), plotCoordinate(s.Spectrum[w]), kRawColour);
    }
}

}  // namespace peakfold
