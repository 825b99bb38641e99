// The names users type for files: both files live in the current folder.
#pragma once

#include <string>
#include <string_view>

namespace peakfold {

// Whether the typed name names a file of the current folder itself: it holds
// no folder separator (neither "/" nor "\", whatever the platform), no NUL
// and, on Windows, no drive colon, so it cannot reach another folder.
bool staysInFolder(std::string_view name);

// Current folder, the platform's separator, then the name as typed.
std::string pathInFolder(const std::string& folder, std::string_view fileName);

}  // namespace peakfold
