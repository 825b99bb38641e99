#include "ui/toolkit.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace peakfold {

namespace fs = std::filesystem;

char folderSeparator() { return static_cast<char>(fs::path::preferred_separator); }

std::string Toolkit::currentFolder() {
    std::error_code ec;
    const fs::path folder = fs::current_path(ec);
    return ec ? std::string(".") : folder.string();
}

bool Toolkit::pathExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

bool Toolkit::fileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::optional<std::string> Toolkit::readFile(const std::string& path, size_t maxBytes,
                                             std::string& error) {
    std::error_code ec;
    // A folder or a device named as a file is told apart from a missing
    // file in words a user knows.
    const fs::file_status status = fs::status(path, ec);
    if (!ec && fs::is_directory(status)) {
        error = "it is a folder, not a file";
        return std::nullopt;
    }
    if (!ec && !fs::is_regular_file(status)) {
        error = "it is a device or other special file, not a plain file";
        return std::nullopt;
    }
    const auto size = fs::file_size(path, ec);
    if (ec) {
        error = ec.message();
        return std::nullopt;
    }
    if (size > maxBytes) {
        error = "the file is larger than " + std::to_string(maxBytes / (1024 * 1024)) + " MB";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    std::string content;
    content.resize(size);
    in.read(content.data(), static_cast<std::streamsize>(size));
    content.resize(static_cast<size_t>(in.gcount()));
    return content;
}

std::string Toolkit::writeFileAtomically(const std::string& path, const std::string& content) {
    std::random_device random;
    const fs::path target(path);
    const fs::path temporary =
        target.parent_path() /
        ("." + target.filename().string() + ".tmp" + std::to_string(random() % 1000000));
    std::error_code ec;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return std::string("cannot create a file there: ") + std::strerror(errno);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.flush();
        if (!out) {
            const std::string reason = std::strerror(errno);
            out.close();
            fs::remove(temporary, ec);
            return "writing failed: " + reason;
        }
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        const std::string reason = ec.message();
        fs::remove(temporary, ec);
        return "cannot replace the file: " + reason;
    }
    return {};
}

}  // namespace peakfold
