// The peakfold-fit program: the command line, the table, the progress bar
// and the summary around the fit of each file.
#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

namespace peakfold {

struct BatchStreams {
    std::ostream& out;  // the table, unless --output names a file
    std::ostream& err;  // messages, the progress bar and the summary
    bool errIsTerminal = false;  // the progress bar is drawn only on a terminal
};

// Runs the program on the arguments after its name and gives its exit
// status. Once `interrupted` becomes true the running fits are cancelled,
// no further file is started and 130 is given.
int runBatch(const std::vector<std::string>& args, BatchStreams streams,
             const std::atomic<bool>& interrupted);

// A flag that Ctrl+C (SIGINT) sets; a second Ctrl+C ends the program at once.
const std::atomic<bool>& interruptFlag();

// One table line: the fields comma-separated, quoted where they hold a
// comma, a quote or a line break.
std::string csvLine(const std::vector<std::string>& fields);

}  // namespace peakfold
