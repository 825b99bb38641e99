// Files that open without a dialog: dropped on the main window, or named on
// the command line.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace peakfold {

class Toolkit;

// Lets the window take drops of local files. The first file dropped goes to
// open once the drop has ended; when several are dropped, a message says
// that one file is opened at a time.
void acceptFileDrops(QWidget& window, Toolkit& ui, std::function<void(const std::string&)> open);

struct QtApp;

// Opens the file named on the command line as File -> Open does, once the
// event loop runs, so the window is up before any message about the file.
void openWhenStarted(QtApp& app, const std::string& file);

}  // namespace peakfold
