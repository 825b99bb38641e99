#include <gtest/gtest.h>

#include <cmath>

#include <algorithm>
#include <array>
#include <atomic>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch_fit.h"
#include "batch/batch_run.h"
#include "file_test_folder.h"
#include "files/result_file.h"
#include "graph/picking.h"
#include "headless_toolkit.h"
#include "refine/refine.h"
#include "refine/report.h"

namespace peakfold {
namespace {

const std::atomic<bool> kNotInterrupted{false};

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = runBatch(args, {out, err, false}, kNotInterrupted);
    return {status, out.str(), err.str()};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

// The fit the window gives for the same settings: Get File, clicks on the
// graph (or the settings line typed and Enter), Fit Quality, Calculate,
// Refine and Save, each through the program's dispatch as a user's events
// arrive.
std::vector<std::vector<std::string>> windowFit(const std::string& stem, const FitSettings& f,
                                                const TempFolder& saveTo) {
    HeadlessApp app;
    app.ui.folder = PEAKFOLD_DATA_DIR;
    const std::string n = std::to_string(f.peaks.size());
    while (app.ui.text(Control::CalculateNbr) != n) app.ui.click(Control::CalculateNbr);
    getFile(app, stem);
    std::string typed;
    for (size_t k = 0; k < f.peaks.size(); ++k) {
        if (f.peaks[k].halfWidth.empty()) {
            app.ui.mouseUp(Control::Graph, 1, 0, std::stof(f.peaks[k].centre), 50);
        } else {
            typed += "Peak " + std::to_string(k + 1) + ": " + f.peaks[k].centre + " - " +
                     f.peaks[k].halfWidth + " ";
        }
    }
    if (f.rangeLow) {
        app.ui.mouseUp(Control::Graph, 1, 0, *f.rangeLow, 50);
        app.ui.mouseUp(Control::Graph, 2, 0, *f.rangeHigh, 50);
    }
    if (!typed.empty()) {
        app.ui.setText(Control::Help, typed);
        app.ui.keyPress(Control::Help, 13);
    }
    app.ui.setText(Control::Quality, f.quality);
    app.ui.click(Control::Calculate);
    Refinement r;
    if (f.refine) {
        Event refineItem{Control::Graph, Event::Kind::Menu};
        refineItem.item = MenuItem::Refine;
        app.ui.raise(refineItem);
        r = app.s.LastRefinement;
    } else {
        const SavedRows range = savedRows(app.s);
        r = describe(app.s.Spectrum, range.first, range.last,
                     listedPeaks(app.s, static_cast<int>(f.peaks.size())));
        r.units = app.s.Units;
    }
    r = inOwnUnits(r);
    std::vector<std::vector<std::string>> rows;
    for (const PeakEstimate& peak : r.peaks) {
        std::vector<std::string> row = reportRow(peak, r.hasErrors);
        const FitStatistics& f = r.statistics;
        row.insert(row.end(), {std::to_string(f.points), std::to_string(f.parameters),
                               fullPrecision(f.ssr), fullPrecision(f.reducedChiSquare),
                               fullPrecision(f.rSquared)});
        row.push_back(app.ui.text(Control::TryNbr));
        row.push_back(fullPrecision(f.chiSquare));
        row.insert(row.end(), kBaselineColumns.size(), "");
        row.insert(row.end(), {fullPrecision(r.units.scale), fullPrecision(r.units.offset)});
        row.emplace_back();
        rows.push_back(row);
    }
    app.ui.folder = saveTo.path();
    app.ui.answers.push_back(stem);
    app.ui.click(Control::SaveData);
    return rows;
}

TEST(BatchFit, GivesTheWindowsFitAndResultFile) {
    struct Case {
        std::string stem;
        FitSettings settings;
    };
    FitSettings clicks{{{"697", ""}, {"636", ""}, {"590", ""}}, 550.f, 800.f, "2", true, ""};
    FitSettings typed{{{"469", "10"}, {"499.5", "12"}, {"535", "20"}}, {}, {}, "10", false, ""};
    FitSettings oneClick{{{"724", ""}}, {}, {}, "10", true, ""};
    const Case cases[] = {{"rhodamine800_dmso_abs_overlap", clicks},
                          {"bpea_hexane_fluorescence_3peaks", typed},
                          {"led740_awkward_comma_decimal", oneClick}};
    for (Case c : cases) {
        SCOPED_TRACE(c.stem);
        TempFolder batchSaves, windowSaves;
        c.settings.saveFolder = batchSaves.path();
        const FileFit fit = fitFile(dataFile(c.stem + ".txt"), c.settings, 1, kNotInterrupted);
        EXPECT_EQ(fit.error, "");
        ASSERT_FALSE(fit.rows.empty());
        EXPECT_EQ(fit.rows, windowFit(c.stem, c.settings, windowSaves));
        EXPECT_EQ(batchSaves.read(c.stem + ".pkd"), windowSaves.read(c.stem + ".pkd"));
    }
}

TEST(BatchRun, RefusesBadCommandLinesAndReportsBadFiles) {
    TempFolder folder;
    folder.write("flat.txt", "500\t1\n501\t1\n");
    const std::string good = dataFile("rhodamine800_dmso_abs_overlap.txt");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;  // in the error output, or in the error column of the table
    };
    const Case cases[] = {
        {{"--peak", "697", "--colour", good}, 2, "unknown option --colour"},
        {{good}, 2, "no --peak"},
        {{"--peak=1", "--peak=2", "--peak=3", "--peak=4", good}, 2, "more than three peaks"},
        {{"--peak", "697", "--range", "800:550", good}, 2, "bad range 800:550"},
        {{"--peak", "697", "--quality", "0.5", good}, 2, "bad quality 0.5"},
        {{"--peak", "697", "--shard", "2/2", good}, 2, "bad --shard 2/2"},
        {{"--peak", "697", "--time-limit", "0", good}, 2, "bad --time-limit 0"},
        {{"--peak", "697", "--time-limit", "soon", good}, 2, "bad --time-limit soon"},
        {{"--peak", "697", "--baseline", "cubic", good}, 2, "bad --baseline cubic"},
        {{"--peak", "697", "--weights", "poisson", good}, 2, "bad --weights poisson"},
        {{"--peak", "697", "--shape", "bad", good}, 2, "unknown shape bad: give gaussian"},
        {{"--peak", "600@bad", good}, 2, "--peak 600@bad: unknown shape bad"},
        {{"--peak", "697"}, 2, "no FILE"},
        {{"--peak", "697", good, folder.pathOf("missing.txt")}, 1, ",File not found"},
        {{"--peak", "697", folder.pathOf("flat.txt"), good},
         1,
         "are equal, so they cannot be scaled to 0..100."},
        {{"--peak", "697", good}, 0, ""},
    };
    for (const Case& c : cases) {
        const Outcome r = run(c.args);
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE((r.err + r.out).find(c.message), std::string::npos) << r.err << r.out;
        // A bad file costs its own row only: the good one is fitted all the same.
        if (c.status < 2) {
            EXPECT_NE(r.out.find(good + ",1,"), std::string::npos);
        }
    }
}

TEST(BatchRun, AFileWithoutSigmaGetsAnErrorRowAndTheNextIsFitted) {
    TempFolder folder;
    std::string with, without;
    for (int w = 500; w <= 600; ++w) {
        const std::string y = std::to_string(100 * std::exp(-0.01 * (w - 550) * (w - 550)) + 5);
        without += std::to_string(w) + "\t" + y + "\n";
        with += std::to_string(w) + "\t" + y + "\t0.5\n";
    }
    folder.write("without.txt", without);
    folder.write("with.txt", with);
    const Outcome r = run({"--peak", "550", "--weights", "column", "--refine", "--quiet",
                           folder.pathOf("without.txt"), folder.pathOf("with.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("without.txt has no σ"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(folder.pathOf("with.txt") + ",1,"), std::string::npos) << r.out;
}

TEST(BatchRun, RowsDoNotDependOnJobsOrShards) {
    std::vector<std::string> args{"--peak", "697", "--peak", "636:20", "--quality", "4", "--quiet"};
    for (const char* name : {"rhodamine800_dmso_abs_overlap.txt", "gold_nanoparticle_plasmon_abs.txt",
                             "white_led_blue_plus_phosphor.txt", "red_laser_diode_narrow.txt",
                             "led740_raw_counts_offset.txt"}) {
        args.push_back(dataFile(name));
    }
    std::vector<std::string> oneJob = args, twoJobs = args;
    oneJob.insert(oneJob.begin(), {"--jobs", "1"});
    twoJobs.insert(twoJobs.begin(), {"--jobs", "2"});
    const std::string table = run(oneJob).out;
    EXPECT_EQ(run(twoJobs).out, table);

    std::vector<std::string> sharded{lines(table).front()};
    for (const char* shard : {"0/3", "1/3", "2/3"}) {
        std::vector<std::string> part = args;
        part.insert(part.begin(), {"--shard", shard, "--no-header"});
        for (const std::string& line : lines(run(part).out)) sharded.push_back(line);
    }
    std::vector<std::string> whole = lines(table);
    std::sort(whole.begin() + 1, whole.end());
    std::sort(sharded.begin() + 1, sharded.end());
    EXPECT_EQ(sharded, whole);
}

TEST(BatchFit, SearchSizeCountsTheScansOfThePeaksFitted) {
    struct Case {
        int n;
        double Q;
        std::array<int16_t, 4> w;
        double steps, trials;  // counted by hand from the scans
    };
    const Case cases[] = {
        // 594..606; widths 2..22: peaks 2 and 3 are not scanned.
        {1, 2, {0, 20, 10, 30}, 13, 13 * 11},
        // and 697..703 with widths 2..12, 791..809 with widths 2..32.
        {3, 2, {0, 20, 10, 30}, 13 * 7 * 19, 13 * 7 * 19 * 11.0 * 6 * 16},
        // The widest picks at the finest quality: some 1e27 trials.
        {3, 0.51, {0, 32767, 32767, 32767}, 19661.0 * 19661 * 19661, std::pow(19661.0 * 64250, 3)},
    };
    for (const Case& c : cases) {
        State s;
        s.PeakX = {0, 600, 700, 800};
        s.PeakW = c.w;
        const SearchSize size = searchSize(s, c.n, c.Q);
        EXPECT_DOUBLE_EQ(size.steps, c.steps);
        EXPECT_NEAR(size.trials / c.trials, 1, 1e-4);
    }
}

// Three peaks at 450, 600 and 750 nm, each of half-width `halfWidth`.
std::string threePeaks(double halfWidth) {
    std::string text;
    for (int w = 200; w <= 1000; ++w) {
        double y = 1;
        for (const double c : {450.0, 600.0, 750.0}) {
            y += 100 * std::exp(-0.6931472 * (w - c) * (w - c) / (halfWidth * halfWidth));
        }
        text += std::to_string(w) + "\t" + std::to_string(y) + "\n";
    }
    return text;
}

TEST(BatchRun, TheTimeLimitStopsALongSearchAndTheNextFileIsFitted) {
    TempFolder folder;
    folder.write("broad.txt", threePeaks(300));  // half-widths of hundreds of nm
    folder.write("narrow.txt", threePeaks(8));
    const std::string broad = folder.pathOf("broad.txt"), narrow = folder.pathOf("narrow.txt");
    const std::vector<std::string> picks{"--peak", "450",       "--peak", "600",    "--peak",
                                         "750",    "--quality", "1",      "--jobs", "1"};
    std::vector<std::string> limited = picks, alone = picks;
    limited.insert(limited.end(), {"--time-limit", "0.2", broad, narrow});
    alone.push_back(narrow);
    const Outcome r = run(limited);
    EXPECT_EQ(r.status, 1);
    const std::vector<std::string> table = lines(r.out);
    ASSERT_GE(table.size(), 3u);
    EXPECT_EQ(table[1].rfind(broad + ",,"), 0u) << table[1];
    EXPECT_NE(table[1].find(",search stopped at the time limit of 0.2 s"), std::string::npos);
    // The file fitted within the limit has the rows it has without one.
    const std::vector<std::string> withoutLimit = lines(run(alone).out);
    EXPECT_EQ(std::vector<std::string>(table.begin() + 2, table.end()),
              std::vector<std::string>(withoutLimit.begin() + 1, withoutLimit.end()));
    // Only the long search is named before it starts.
    EXPECT_NE(r.err.find("broad.txt: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" trials, about "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("narrow.txt: "), std::string::npos) << r.err;
}

TEST(BatchRun, CtrlCStartsNoFurtherFile) {
    TempFolder saves;
    const std::atomic<bool> interrupted{true};
    std::ostringstream out, err;
    const std::vector<std::string> args{"--peak", "697", "--save", saves.path(),
                                        dataFile("rhodamine800_dmso_abs_overlap.txt")};
    EXPECT_EQ(runBatch(args, {out, err, false}, interrupted), 130);
    EXPECT_EQ(lines(out.str()).size(), 1u);  // the header alone
    EXPECT_TRUE(saves.names().empty());
}

}  // namespace
}  // namespace peakfold
