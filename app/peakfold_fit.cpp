// peakfold-fit: fits spectrum files from the command line, without a window.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "batch/batch_run.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return peakfold::runBatch(args, {std::cout, std::cerr, isatty(STDERR_FILENO) == 1},
                              peakfold::interruptFlag());
}
