// Delivers control events to their handlers.
#pragma once

#include <memory>
#include <string>

#include "model/state.h"
#include "ui/history.h"
#include "ui/toolkit.h"

namespace peakfold {

void Dispatch(State& s, Toolkit& ui, const Event& event);

// The name of the step an event is, for Undo and Redo ("Calculate",
// "Delete", ...); empty for an event that changes nothing undo restores
// (Save, Export Figure, Report, Copy, Help, a list click, Cancel).
std::string StepName(const Event& event);

// Delivers an event as one step of the history, or Undo and Redo to it.
void Dispatch(State& s, Toolkit& ui, History& history, const Event& event);

// Routes the toolkit's events to Dispatch on this state, with a history of
// their steps unless no one will undo them (a batch of files). The window
// tells the history what it shows once started, so that the first step,
// even an edit already made in a text box, has a start to go back to.
std::shared_ptr<History> connect(State& s, Toolkit& ui, bool keepHistory = true);

}  // namespace peakfold
