// The Gaussian model and the one-line text form of an equation slot.
#pragma once

#include <string>
#include <string_view>

#include "model/state.h"

namespace peakfold {

// y = Io * exp(-k * ((x - Xo) / W)^2), evaluated as q = (x - Xo) / W, q * q,
// times -k, exp, times Io. A width of 0 gives the curve's limit instead of
// NaN: Io at the centre, 0 everywhere else.
double GaussianValue(double Io, double Xo, double W, double x);

// Amplitude of a slot rounded for display: to hundredths, halves upward.
double displayAmplitude(double Io);

// The peak of slot i: its amplitude, centre, half-width, shape and eta.
Peak SlotPeak(const State& s, int slot);

// " 1> Y= 50e^-k((x- 400)/ 20)^2" for a kept Gaussian slot 1; ": Y=" when not
// kept. A Lorentzian reads " 1: Y= 50/(1+((x- 400)/ 20)^2)", a pseudo-Voigt
// " 1: Y= 50pV( .5,(x- 400)/ 20)" with its eta to thousandths.
std::string EquationLine(const State& s, int slot, bool kept);
// The same with the centre and half-width to hundredths too, for a figure's
// legend, which stays narrow beside the plot after a refinement.
std::string LegendLine(const State& s, int slot, bool kept);

// The slot (1..9) a list line stands for, 0 when it stands for none.
int LineSlot(std::string_view line);

}  // namespace peakfold
