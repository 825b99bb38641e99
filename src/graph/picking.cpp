#include "graph/picking.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "graph/frame.h"
#include "model/numbers.h"

namespace peakfold {

namespace {

constexpr int kStripColour = 6;  // the band under the frame
constexpr int kRangeColour = 7;  // the fit range and the centre marks of peaks 1 and 2
constexpr int kPeak3Colour = 8;  // the centre mark of peak 3
constexpr int16_t kEnter = 13;

// The pick that a click sets, from the caption of PeakNbr: the number in its
// last two characters, 1..3 for "Peak 1".."Peak 3", 0 for "Range". Anything
// else counts as the range, so a click never writes beyond the four picks.
int PickIndex(const Toolkit& ui) {
    const std::string caption = ui.text(Control::PeakNbr);
    const size_t from = caption.size() > 2 ? caption.size() - 2 : 0;
    const double v = TextNum(std::string_view(caption).substr(from));
    return v == 1 || v == 2 || v == 3 ? static_cast<int>(v) : 0;
}

double numberOfPeaks(const Toolkit& ui) {
    return TextNum(ui.text(Control::CalculateNbr));
}

void filledBox(Toolkit& ui, double x1, double y1, double x2, double y2, int colour) {
    ui.graphLine(plotCoordinate(x1), plotCoordinate(y1), plotCoordinate(x2), plotCoordinate(y2),
                 LineStyle::FilledBox, colour);
}

// Text positions count from 1, as the settings line is laid out. find gives
// 0 when the pattern is missing; substring gives the empty text for a start
// beyond the end or a count below 1, so no layout of the line can fail.
size_t find(std::string_view text, std::string_view pattern, long from) {
    if (from < 1) from = 1;
    if (static_cast<size_t>(from) > text.size()) return 0;
    const size_t at = text.find(pattern, static_cast<size_t>(from - 1));
    return at == std::string_view::npos ? 0 : at + 1;
}

std::string_view substring(std::string_view text, long start, long count) {
    if (start < 1 || count < 1 || static_cast<size_t>(start) > text.size()) return {};
    return text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count));
}

}  // namespace

double pickOf(float x) {
    return waveIndex(std::floor(x));
}

void Graph_MouseUp(State& s, Toolkit& ui, int16_t button, int16_t, float x, float) {
    const int i = PickIndex(ui);
    if (button == 1) s.PeakX[i] = pickOf(x);
    if (button == 2) s.PeakW[i] = toInt16(pickOf(x));
    // Every click re-estimates all three widths, whatever the number of peaks.
    for (int p = 1; p <= 3; ++p) s.PeakW[p] = EstimateHalfWidth(s, p);
    DrawPickStrip(s, ui, kDefaultColour);
    ui.setText(Control::Help,
               SettingsLine(s, static_cast<int>(std::clamp(numberOfPeaks(ui), 1.0, 3.0))));
    if (i > 0) PeakNbr_Click(s, ui);
}

void PeakNbr_Click(State&, Toolkit& ui) {
    const int v = PickIndex(ui) + 1;
    if (v > numberOfPeaks(ui)) {
        ui.setText(Control::PeakNbr, "Range");
    } else {
        ui.setText(Control::PeakNbr, "Peak " + NumText(v).substr(NumText(v).size() - 1));
    }
}

void ClearGraph_Click(State& s, Toolkit& ui) {
    DrawGraphFrame(s, ui);
    PlotRawData(s, ui);
    Graph_MouseUp(s, ui, 0, 0, 0, 0);
}

void Help_KeyPress(State& s, Toolkit& ui, int16_t key) {
    if (key != kEnter) return;
    ParseSettingsLine(s, ui.text(Control::Help));
    ui.setText(Control::Help, SettingsLine(s, 3));
    DrawGraphFrame(s, ui);
    PlotRawDots(s, ui);
    // Typed widths are drawn as read; the next click on the graph estimates them again.
    DrawPickStrip(s, ui, kRangeColour);
}

std::string SettingsLine(const State& s, int n) {
    std::string line = "Peak 1: " + NumText(s.PeakX[1]) + " - " + NumText(s.PeakW[1]);
    if (n > 1) line += " Peak 2: " + NumText(s.PeakX[2]) + " - " + NumText(s.PeakW[2]);
    if (n > 2) line += " Peak 3: " + NumText(s.PeakX[3]) + " - " + NumText(s.PeakW[3]);
    return line;
}

void ParseSettingsLine(State& s, std::string_view text) {
    // Each label is followed by one blank; a centre runs from there to its
    // dash, a width from the dash up to the "P" of the next label.
    const long L = static_cast<long>(text.size());
    const long P1 = static_cast<long>(find(text, "Peak 1:", 1)) + 8;
    const long D1 = static_cast<long>(find(text, "-", 1));
    const long P2 = static_cast<long>(find(text, "Peak 2:", 1)) + 8;
    const long D2 = static_cast<long>(find(text, "-", P2));
    const long P3 = static_cast<long>(find(text, "Peak 3:", 1)) + 8;
    const long D3 = static_cast<long>(find(text, "-", P3));
    s.PeakX[1] = TextNum(substring(text, P1, D1 - P1));
    s.PeakW[1] = toInt16(TextNum(substring(text, D1 + 1, P2 - D1 - 8)));
    s.PeakX[2] = TextNum(substring(text, P2, D2 - P2));
    s.PeakW[2] = toInt16(TextNum(substring(text, D2 + 1, P3 - D2 - 8)));
    s.PeakX[3] = TextNum(substring(text, P3, D3 - P3));
    s.PeakW[3] = toInt16(TextNum(substring(text, D3 + 1, L - D3)));
}

namespace {

// With a polynomial baseline chosen, the half-width at half height above,
// or for a dip below, the line through the fit range's ends: a peak on a
// sloping background and a dip from a plateau get the width a person would
// read off the plot. -1 when the centre lies outside the range.
int halfWidthFromTheEnds(const State& s, int c) {
    const int first = std::max(0, static_cast<int>(toInt16(s.PeakX[0])));
    const int last = std::min(static_cast<int>(s.PeakW[0]), kMaxWave);
    if (c < first || c > last || first == last) return -1;
    const std::vector<double> data(s.Spectrum.begin() + first, s.Spectrum.begin() + last + 1);
    const double y1 = endsLineAt(data, first, last, first),
                 y2 = endsLineAt(data, first, last, last);
    const auto above = [&](int x) {
        return s.Spectrum[x] - (y1 + (y2 - y1) * (x - first) / (last - first));
    };
    const double half = above(c) / 2;
    const auto beyondHalf = [&](int x) { return half >= 0 ? above(x) > half : above(x) < half; };
    const int reach = std::min(c - first, last - c);
    int w = 0;
    while (w < reach && beyondHalf(c + w) && beyondHalf(c - w)) ++w;
    return w;
}

}  // namespace

int16_t EstimateHalfWidth(const State& s, int p) {
    const double centre = roundHalfEven(s.PeakX[p]);
    // A centre beyond the array has no data around it.
    if (!(centre >= 0 && centre <= kMaxWave)) return 0;
    const int c = static_cast<int>(centre);
    const BaselineKind kind = s.FitBaseline.kind;
    if (kind != BaselineKind::None && kind != BaselineKind::Exponential) {
        const int w = halfWidthFromTheEnds(s, c);
        if (w >= 0) return static_cast<int16_t>(w);
    }
    const float h = static_cast<float>(s.Spectrum[c]);
    const float t = h / 2;
    // The walk stops where either side would leave the array: the width is
    // then the distance walked to that end.
    const int reach = std::min(c, kMaxWave - c);
    int w = 0;
    while (w < reach && s.Spectrum[c + w] > t && s.Spectrum[c - w] > t) ++w;
    return static_cast<int16_t>(w);
}

void DrawPickStrip(State& s, Toolkit& ui, int barColour) {
    const auto& X = s.PeakX;
    const auto& W = s.PeakW;
    filledBox(ui, 201, -4, 999, -9, kStripColour);
    filledBox(ui, X[0], -4, W[0], -9, kRangeColour);
    filledBox(ui, X[1] - W[1], -4, X[1] + W[1], -5, barColour);
    filledBox(ui, X[1], -4, X[1], -5, kRangeColour);
    filledBox(ui, X[2] - W[2], -6, X[2] + W[2], -7, barColour);
    filledBox(ui, X[2], -5, X[2], -7, kRangeColour);
    filledBox(ui, X[3] - W[3], -8, X[3] + W[3], -9, barColour);
    filledBox(ui, X[3], -7, X[3], -9, kPeak3Colour);
}

}  // namespace peakfold
