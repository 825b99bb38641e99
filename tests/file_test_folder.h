// A temporary folder for the file tests, set as the headless program's
// current folder and removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "headless_toolkit.h"

namespace peakfold {

class TempFolder {
  public:
    TempFolder() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("peakfold-files-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string path() const { return path_.string(); }
    std::string pathOf(const std::string& name) const { return (path_ / name).string(); }

    void write(const std::string& name, const std::string& content) const {
        std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
        out << content;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            result.push_back(entry.path().filename().string());
        }
        return result;
    }

  private:
    std::filesystem::path path_;
};

// Answers the input box with the name and clicks "Get File".
inline void getFile(HeadlessApp& app, const std::string& name) {
    app.ui.answers.push_back(name);
    app.ui.click(Control::GetFile);
}

// The raw-data segments (colour 7 lines) drawn from draw call `from` on.
inline std::vector<DrawCall> rawSegments(const HeadlessToolkit& ui, size_t from = 0) {
    std::vector<DrawCall> segments;
    for (size_t i = from; i < ui.draws.size(); ++i) {
        const DrawCall& d = ui.draws[i];
        if (d.kind == DrawCall::Kind::Line && d.colour == 7) segments.push_back(d);
    }
    return segments;
}

}  // namespace peakfold
