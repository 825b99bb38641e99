// A spectrum file fitted as peakfold-fit fits it, refined at Quality 2 over
// a clicked range, with the table's fields read by column name.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "batch/batch_fit.h"

namespace peakfold {

struct Table {
    FileFit fit;
    std::string text(size_t row, const std::string& column) const {
        const std::vector<std::string> columns = fitColumns();
        const auto i = std::find(columns.begin(), columns.end(), column) - columns.begin();
        return fit.rows.at(row).at(static_cast<size_t>(i));
    }
    double at(size_t row, const std::string& column) const { return std::stod(text(row, column)); }
};

// The settings' baseline, weights and shape are chosen by `choose`.
template <typename Choose>
Table fitted(const std::string& path, std::vector<PeakPick> picks, float low, float high,
             Choose choose) {
    static const std::atomic<bool> notInterrupted{false};
    FitSettings settings;
    settings.peaks = std::move(picks);
    settings.rangeLow = low;
    settings.rangeHigh = high;
    settings.quality = "2";
    settings.refine = true;
    choose(settings);
    Table table{fitFile(path, settings, 1, notInterrupted)};
    EXPECT_EQ(table.fit.error, "");
    return table;
}

}  // namespace peakfold
