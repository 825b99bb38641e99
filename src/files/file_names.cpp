#include "files/file_names.h"

#include "ui/toolkit.h"

namespace peakfold {

bool staysInFolder(std::string_view name) {
#ifdef _WIN32
    constexpr std::string_view kForbidden("/\\:\0", 4);
#else
    constexpr std::string_view kForbidden("/\\\0", 3);
#endif
    return name.find_first_of(kForbidden) == std::string_view::npos;
}

std::string pathInFolder(const std::string& folder, std::string_view fileName) {
    return folder + folderSeparator() + std::string(fileName);
}

}  // namespace peakfold
