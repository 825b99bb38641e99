#include "model/equation.h"

#include <cmath>

#include "model/numbers.h"

namespace peakfold {

double GaussianValue(double Io, double Xo, double W, double x) {
    if (W == 0) return x == Xo ? Io : 0;
    double q = (x - Xo) / W;
    q = q * q;
    q = q * -kShape;
    return Io * std::exp(q);
}

double displayAmplitude(double Io) { return std::floor(Io * 100 + 0.5) / 100; }

Peak SlotPeak(const State& s, int slot) {
    return {s.EqIo[slot], s.EqXo[slot], s.EqW[slot], s.EqShape[slot], s.EqEta[slot]};
}

namespace {

// The equation's text with its centre and half-width as given.
std::string equationText(const State& s, int slot, bool kept, double centre, double halfWidth) {
    const std::string head = NumText(slot) + (kept ? "> Y=" : ": Y=") +
                             NumText(displayAmplitude(s.EqIo[slot]));
    const std::string q = "(x-" + NumText(centre) + ")/" + NumText(halfWidth);
    switch (s.EqShape[slot]) {
        case PeakShape::Gaussian: break;
        case PeakShape::Lorentzian: return head + "/(1+(" + q + ")^2)";
        case PeakShape::PseudoVoigt:
            return head + "pV(" + NumText(std::floor(s.EqEta[slot] * 1000 + 0.5) / 1000) + "," + q +
                   ")";
    }
    return head + "e^-k" + "(" + q + ")^2";
}

}  // namespace

std::string EquationLine(const State& s, int slot, bool kept) {
    return equationText(s, slot, kept, s.EqXo[slot], s.EqW[slot]);
}

std::string LegendLine(const State& s, int slot, bool kept) {
    return equationText(s, slot, kept, displayAmplitude(s.EqXo[slot]),
                        displayAmplitude(s.EqW[slot]));
}

int LineSlot(std::string_view line) {
    const double slot = TextNum(line.substr(0, 2));
    // Only a whole slot number of an equation names a slot; anything else
    // (a blank line, "No fit found.", stray text) names none.
    if (slot >= 1 && slot <= kLastSlot && slot == std::floor(slot)) return static_cast<int>(slot);
    return 0;
}

}  // namespace peakfold
