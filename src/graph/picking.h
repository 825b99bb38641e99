// Picking peaks and the fit range on the plot, and the search-settings line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void Graph_MouseUp(State& s, Toolkit& ui, int16_t button, int16_t shift, float x, float y);
void PeakNbr_Click(State& s, Toolkit& ui);
void ClearGraph_Click(State& s, Toolkit& ui);
void Help_KeyPress(State& s, Toolkit& ui, int16_t key);

std::string SettingsLine(const State& s, int n);
void ParseSettingsLine(State& s, std::string_view text);
int16_t EstimateHalfWidth(const State& s, int p);
void DrawPickStrip(State& s, Toolkit& ui, int barColour);

// A mouse position as a pick: the whole wavelength at or below it. A button
// released beyond the edge of the plot gives the nearest end of the array, so
// a pick from the mouse always names a wavelength that has data.
double pickOf(float x);

}  // namespace peakfold
