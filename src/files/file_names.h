// The names users give for files: typed into the Get File and Save input
// boxes, chosen in a file dialog, dropped on the window or named on the
// command line. One function turns each into the files it may mean.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/state.h"
#include "ui/toolkit.h"

namespace peakfold {

// How a name reached the program.
enum class NameUse {
    Load,   // typed into Get File's input box
    Save,   // typed into Save's input box
    Exact,  // a file chosen in a dialog, dropped or named on the command line
};

// A file a name may mean: where it lies, how messages name it, and whether
// it loads as a result file.
struct NamedFile {
    std::string path;
    std::string shown;
    bool resultFile = false;
};

// The files a name means, in the order they are tried, none when it can
// name no file (empty, or holding a NUL).
// - A bare name lies in the program's folder: for Load name.pkd before
//   name.txt, for Save name.pkd.
// - A name with a folder part lies in that folder: absolute, relative to the
//   program's folder, or below $HOME when it starts with "~/".
// - For Load a name ending in .txt, .pkd, .csv, .tsv or .dat (any case) names
//   that one file; for Save a name ending in .pkd gets no second one.
// - Exact names one file as it is; it loads as a result file when it ends in
//   .pkd and as a spectrum file otherwise.
// Messages name the file as the user gave it, with the extension added.
std::vector<NamedFile> resolveName(std::string_view name, NameUse use, const std::string& folder,
                                   const std::string& home);

// Whether the name holds a folder part, so that loading or saving by it
// moves the program's folder.
bool hasFolderPart(std::string_view name);

// The folder bare names are looked up in: the folder of the last file
// opened or saved by a path, else the toolkit's current folder.
std::string programFolder(const State& s, Toolkit& ui);

// After a file was opened or saved by the path: the program's folder
// becomes the folder it lies in.
void moveProgramFolder(State& s, const std::string& path);

// The file name at the end of a path, for the window caption.
std::string fileNameOf(const std::string& path);

// The user's home folder, for names starting with "~".
std::string homeFolder();

// Folder, the platform's separator, then the name as given.
std::string pathInFolder(const std::string& folder, std::string_view fileName);

}  // namespace peakfold
