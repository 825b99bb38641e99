// What the program is asked for on its command line.
#pragma once

#include <string>
#include <vector>

namespace peakfold {

struct CommandLine {
    enum class Action { Run, Help, Version, Wrong };
    Action action = Action::Run;
    std::string file;  // to open right after start-up; empty for none
};

// Reads the arguments after the program's name: --help (-h), --version, at
// most one file, "--" before a file whose name starts with "-". Anything
// else is Wrong.
CommandLine readCommandLine(const std::vector<std::string>& arguments);

// The text --help prints, and a wrong command line prints to stderr.
extern const char* const kWindowUsage;

}  // namespace peakfold
