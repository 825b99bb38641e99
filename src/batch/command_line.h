// The command line of peakfold-fit: its options, their checks and its help.
#pragma once

#include <string>
#include <vector>

#include "batch/batch_fit.h"

namespace peakfold {

struct BatchOptions {
    FitSettings fit;
    std::vector<std::string> files;  // in the order given
    int jobs = 0;                    // files fitted at once; 0: one per core
    double timeLimit = 0;            // seconds a file's fit may search; 0: no limit
    int shard = 0, shards = 1;       // fit only every shards-th file from the shard-th
    std::string output;              // the table's file; empty: standard output
    bool quiet = false;              // no progress bar and no summary line
    bool header = true;
    bool help = false, version = false;
};

struct ParsedCommandLine {
    BatchOptions options;
    std::string error;  // what was wrong, empty when nothing
};

// The arguments after the program's name.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

// The files of the shard, in the order given.
std::vector<std::string> shardFiles(const BatchOptions& options);

extern const char* const kBatchUsage;
extern const char* const kHelp;

}  // namespace peakfold
