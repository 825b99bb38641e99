#include "ui/command_line.h"

namespace peakfold {

const char* const kWindowUsage =
    "Usage: peakfold [FILE]\n"
    "Fit one to three Gaussian peaks to a spectrum.\n"
    "\n"
    "  FILE       a spectrum (.txt, .csv, .tsv, .dat or any text file of\n"
    "             wavelength and intensity rows) or a result file (.pkd),\n"
    "             opened right after start-up\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

CommandLine readCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    bool options = true;
    for (const std::string& arg : arguments) {
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "-h")) {
            return {CommandLine::Action::Help, {}};
        } else if (options && arg == "--version") {
            return {CommandLine::Action::Version, {}};
        } else if ((options && arg.size() > 1 && arg[0] == '-') || !line.file.empty()) {
            line.action = CommandLine::Action::Wrong;  // an unknown option, or a second file
        } else {
            line.file = arg;
        }
    }
    return line;
}

}  // namespace peakfold
