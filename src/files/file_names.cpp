#include "files/file_names.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace peakfold {

namespace {

namespace fs = std::filesystem;

bool isSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

bool endsWithExtension(std::string_view name, std::string_view extension) {
    if (name.size() <= extension.size()) return false;
    const std::string_view end = name.substr(name.size() - extension.size());
    return std::equal(end.begin(), end.end(), extension.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

bool hasLoadableExtension(std::string_view name) {
    constexpr std::array<std::string_view, 5> kExtensions{".txt", ".pkd", ".csv", ".tsv", ".dat"};
    return std::any_of(kExtensions.begin(), kExtensions.end(),
                       [&](std::string_view e) { return endsWithExtension(name, e); });
}

bool isAbsolute(std::string_view name) {
#ifdef _WIN32
    if (name.size() >= 2 && name[1] == ':') return true;
#endif
    return !name.empty() && isSeparator(name[0]);
}

// Where a name lies on disk, before any extension is added.
std::string locate(std::string_view name, const std::string& folder, const std::string& home) {
    if (name == "~") return home;
    if (name.size() >= 2 && name[0] == '~' && isSeparator(name[1])) {
        return home + std::string(name.substr(1));
    }
    if (isAbsolute(name)) return std::string(name);
    return pathInFolder(folder, name);
}

}  // namespace

std::vector<NamedFile> resolveName(std::string_view name, NameUse use, const std::string& folder,
                                   const std::string& home) {
    if (name.empty() || name.find('\0') != std::string_view::npos) return {};
    const std::string path = locate(name, folder, home);
    const std::string shown(name);
    const bool endsInPkd = endsWithExtension(name, ".pkd");
    switch (use) {
        case NameUse::Exact:
            return {{path, shown, endsInPkd}};
        case NameUse::Save:
            if (endsInPkd) return {{path, shown, true}};
            return {{path + ".pkd", shown + ".pkd", true}};
        case NameUse::Load:
            break;
    }
    if (hasLoadableExtension(name)) return {{path, shown, endsInPkd}};
    return {{path + ".pkd", shown + ".pkd", true}, {path + ".txt", shown + ".txt", false}};
}

bool hasFolderPart(std::string_view name) {
    return name == "~" || std::any_of(name.begin(), name.end(), isSeparator);
}

std::string programFolder(const State& s, Toolkit& ui) {
    return s.Folder.empty() ? ui.currentFolder() : s.Folder;
}

void moveProgramFolder(State& s, const std::string& path) {
    const fs::path folder = fs::path(path).parent_path().lexically_normal();
    if (!folder.empty()) s.Folder = folder.string();
}

std::string fileNameOf(const std::string& path) {
    return fs::path(path).filename().string();
}

std::string homeFolder() {
#ifdef _WIN32
    const char* home = std::getenv("USERPROFILE");
#else
    const char* home = std::getenv("HOME");
#endif
    return home != nullptr ? std::string(home) : std::string();
}

std::string pathInFolder(const std::string& folder, std::string_view fileName) {
    return folder + folderSeparator() + std::string(fileName);
}

}  // namespace peakfold
