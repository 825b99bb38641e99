// A headless toolkit whose files live in memory, keyed by their full path.
#pragma once

#include <map>
#include <string>

#include "headless_toolkit.h"

namespace peakfold {

class MemoryToolkit : public HeadlessToolkit {
public:
    std::map<std::string, std::string> files;

    MemoryToolkit() { folder = "/memory"; }

    std::string path(const std::string& fileName) const {
        return folder + folderSeparator() + fileName;
    }
    bool fileExists(const std::string& p) override { return files.count(p) != 0; }
    bool pathExists(const std::string& p) override { return files.count(p) != 0; }
    std::optional<std::string> readFile(const std::string& p, size_t maxBytes,
                                        std::string& error) override {
        const auto it = files.find(p);
        if (it == files.end()) {
            error = "no such file";
            return std::nullopt;
        }
        if (it->second.size() > maxBytes) {
            error = "too large";
            return std::nullopt;
        }
        return it->second;
    }
    std::string writeFileAtomically(const std::string& p, const std::string& content) override {
        files[p] = content;
        return {};
    }
};

}  // namespace peakfold
