// Start-up, exit and the help screen of the main window.
#pragma once

#include <array>
#include <string_view>

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

void Form_Load(State& s, Toolkit& ui);
void Form_Activate(State& s, Toolkit& ui);
void exitprogram_Click(State& s, Toolkit& ui);
void HelpCommand_Click(State& s, Toolkit& ui);
void HelpList_Click(State& s, Toolkit& ui);
// Help → About Peakfold: the version and the licence.
void About_Click(State& s, Toolkit& ui);

// The program's version, as the window and the command lines give it.
extern const char* const kVersion;

// The lines of the help screen, in order.
extern const std::array<std::string_view, 58> kHelpLines;

}  // namespace peakfold
