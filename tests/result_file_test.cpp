#include "files/result_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "file_test_folder.h"
#include "files/file_text.h"
#include "headless_toolkit.h"
#include "model/equation.h"
#include "model/numbers.h"

namespace peakfold {
namespace {

struct Saver {
    TempFolder folder;
    HeadlessApp app;
    Saver() {
        app.ui.folder = folder.path();
        app.ui.setText(Control::CalculateNbr, "3");
    }
    State& s() { return app.s; }
    HeadlessToolkit& ui() { return app.ui; }

    void slot(int i, double io, double xo, double w, bool kept = false) {
        s().EqIo[i] = io;
        s().EqXo[i] = xo;
        s().EqW[i] = w;
        s().EqKept[i] = kept ? 1 : 0;
    }
    void range(double left, int16_t right) {
        s().PeakX[0] = left;
        s().PeakW[0] = right;
    }
    // Saves under the name and gives the lines of the file written.
    std::vector<std::string> save(const std::string& name = "fit") {
        ui().answers.push_back(name);
        ui().click(Control::SaveData);
        const std::string content = folder.read(name + ".pkd");
        std::vector<std::string> lines;
        for (std::string_view line : splitLines(content)) lines.emplace_back(line);
        return lines;
    }
};

TEST(ResultFile, WritesTheWorkedExampleByteForByte) {
    Saver f;
    f.slot(1, 50, 400, 20, true);
    f.ui().setText(Control::CalculateNbr, "1");
    f.ui().setText(Control::TryNbr, " 2.5");
    f.range(400, 401);
    f.s().Spectrum[400] = 100;
    f.s().Spectrum[401] = 99.5;
    f.ui().answers.push_back("example");
    f.ui().click(Control::SaveData);

    EXPECT_EQ(f.folder.read("example.pkd"),
              "Peakfold Data of form y=A*exp(-k*((x-c)/b)^2),k=,0.6931472,ZK 2004\r\n"
              "Amplitude, 50\r\n"
              "Peak Location, 400\r\n"
              "Peak Width, 20\r\n"
              "RMS=, 2.5\r\n"
              "Wavelength,Data,Equation, 1: Y= 50e^-k((x- 400)/ 20)^2,\r\n"
              " 400, 100, 50, 50\r\n"
              " 401, 99.5, 49.9134316274438, 49.9134316274438\r\n");
    ASSERT_EQ(f.ui().prompts.size(), 1u);
    EXPECT_EQ(f.ui().prompts[0],
              "Enter a filename. Only first 1 equations plus equations marked with > will be "
              "saved. Use Keep to mark equations.");
    EXPECT_EQ(f.s().DataName, "example");
    EXPECT_TRUE(f.ui().messages.empty());
    EXPECT_EQ(f.folder.names(), std::vector<std::string>{"example.pkd"});  // no temporary left
}

// Slots 1..n plus the kept ones, each only when its amplitude does not round
// to 0.0 at tenths.
TEST(ResultFile, SavesTheFirstNSlotsAndTheKeptOnesWithAnAmplitude) {
    const struct {
        const char* label;
        int slot;
        double amplitude;
        bool kept;
        bool saved;
    } cases[] = {
        {"unkept slot 3 at 0.04", 3, 0.04, false, false},
        {"unkept slot 3 at 0.05", 3, 0.05, false, true},
        {"unkept slot 3 at -0.06", 3, -0.06, false, true},
        {"unkept slot 3 at -0.05", 3, -0.05, false, false},
        {"empty slot 2", 2, 0, false, false},
        {"kept slot 7", 7, 5, true, true},
        {"unkept slot 7", 7, 5, false, false},
        {"kept slot 9 at 0.04", 9, 0.04, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Saver f;
        f.slot(1, 50, 400, 20);
        f.slot(c.slot, c.amplitude, 600, 10, c.kept);
        f.range(400, 402);
        const std::vector<std::string> lines = f.save();
        ASSERT_EQ(lines.size(), 9u);
        const std::string amplitudes =
            c.saved ? "Amplitude, 50," + NumText(c.amplitude) : std::string("Amplitude, 50");
        EXPECT_EQ(lines[1], amplitudes);
        const std::string slotText = NumText(c.slot) + ": Y=";
        EXPECT_EQ(lines[5].find(slotText) != std::string::npos, c.saved) << lines[5];
        const auto fields = std::count(lines[6].begin(), lines[6].end(), ',') + 1;
        EXPECT_EQ(fields, c.saved ? 5 : 4) << lines[6];
        EXPECT_EQ(lines[6].rfind(" 400, 0, 50, 50", 0), 0u) << lines[6];
    }
}

TEST(ResultFile, KeepsTheFullAmplitudeAndShowsTheRoundedOneInTheEquation) {
    Saver f;
    f.slot(2, 12.3456, 512.5, 7.25, true);
    f.range(1, 0);
    const std::vector<std::string> lines = f.save();
    ASSERT_EQ(lines.size(), 6u);  // a range running backwards writes no rows
    EXPECT_EQ(lines[1], "Amplitude, 12.3456");
    EXPECT_EQ(lines[2], "Peak Location, 512.5");
    EXPECT_EQ(lines[3], "Peak Width, 7.25");
    EXPECT_EQ(lines[5], "Wavelength,Data,Equation, 2: Y= 12.35e^-k((x- 512.5)/ 7.25)^2,");
}

TEST(ResultFile, WithNoSavedSlotTheRowsHoldAZeroTotal) {
    Saver f;
    f.ui().setText(Control::TryNbr, "");
    f.range(500, 501);
    f.s().Spectrum[501] = 42;
    const std::vector<std::string> lines = f.save();
    const std::vector<std::string> expected{
        "Peakfold Data of form y=A*exp(-k*((x-c)/b)^2),k=,0.6931472,ZK 2004",
        "Amplitude",
        "Peak Location",
        "Peak Width",
        "RMS=,",
        "Wavelength,Data,Equation,",
        " 500, 0, 0",
        " 501, 42, 0"};
    EXPECT_EQ(lines, expected);
}

TEST(ResultFile, RowsStayInsideTheArrayAndAZeroWidthUsesItsLimit) {
    Saver f;
    f.slot(1, 10, 3, 0);
    f.range(-5.5, 2000);
    const std::vector<std::string> lines = f.save();
    ASSERT_EQ(lines.size(), 6u + kMaxWave + 1);
    EXPECT_EQ(lines[6], " 0, 0, 0, 0");
    EXPECT_EQ(lines[9], " 3, 0, 10, 10");
    EXPECT_EQ(lines.back(), " 1010, 0, 0, 0");
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find("NaN"), std::string::npos);
        EXPECT_EQ(line.find("Inf"), std::string::npos);
    }
}

TEST(ResultFile, CancelWritesNothingButStillSwitchesToPlotAll) {
    Saver f;
    f.s().DataName = "before";
    f.ui().setText(Control::PlotAll, "Plot One");
    f.ui().click(Control::SaveData);  // no answer: the input box was cancelled
    EXPECT_EQ(f.ui().text(Control::PlotAll), "Plot All");
    EXPECT_EQ(f.ui().prompts.size(), 1u);
    EXPECT_TRUE(f.folder.names().empty());
    EXPECT_EQ(f.s().DataName, "before");
    EXPECT_TRUE(f.ui().messages.empty());
}

TEST(ResultFile, SavingTwiceLeavesOnlyTheSecondFile) {
    Saver f;
    f.slot(1, 50, 400, 20);
    f.range(400, 410);
    f.save("twice");
    f.range(400, 401);
    const std::vector<std::string> lines = f.save("twice");
    EXPECT_EQ(lines.size(), 8u);
    EXPECT_EQ(f.folder.names(), std::vector<std::string>{"twice.pkd"});
}

// A save that cannot be written says so, keeps any earlier file of that name,
// leaves no partial file and keeps DataName; the program goes on.
TEST(ResultFile, FailuresShowAMessageAndKeepTheEarlierFile) {
    const struct {
        const char* label;
        std::string name;
        bool missingFolder;
    } cases[] = {
        {"name the system refuses", std::string(300, 'n'), false},
        {"folder that does not exist", "fit", true},
        {"folder in the way of the file", "blocked", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Saver f;
        std::filesystem::create_directory(f.folder.pathOf("sub"));
        std::filesystem::create_directory(f.folder.pathOf("blocked.pkd"));
        f.folder.write("sub/fit.pkd", "earlier");
        if (c.missingFolder) f.ui().folder = f.folder.pathOf("missing");
        f.s().DataName = "before";
        f.slot(1, 50, 400, 20);
        f.range(400, 401);
        f.ui().answers.push_back(c.name);
        f.ui().click(Control::SaveData);
        ASSERT_EQ(f.ui().messages.size(), 1u);
        EXPECT_NE(f.ui().messages[0].find("Nothing was saved"), std::string::npos);
        EXPECT_EQ(f.s().DataName, "before");
        EXPECT_EQ(f.folder.read("sub/fit.pkd"), "earlier");
        EXPECT_TRUE(std::filesystem::is_directory(f.folder.pathOf("blocked.pkd")));
        EXPECT_EQ(f.folder.names().size(), 2u);  // sub and blocked.pkd, no partial file
        EXPECT_FALSE(f.ui().ended);
    }
}

// Save, then Get File of that name: the saved equations come back kept in
// slots 1..m and the data column over the same range.
TEST(ResultFile, RoundTripBringsTheEquationsBackKeptAndTheDataOverTheSameRange) {
    Saver f;
    f.ui().answers.push_back("");
    f.ui().click(Control::GetFile);  // the test spectrum
    const WaveArray before = f.s().Spectrum;
    f.slot(2, 40.123456789, 720, 30);
    f.slot(3, 0.04, 600, 5);  // chosen but not saved
    f.slot(5, 1.0 / 3, 775.5, 20.25, true);
    f.slot(8, 9, 500, 9);  // neither among the first 3 nor kept
    f.save("roundtrip");

    getFile(f.app, "roundtrip");
    const State& s = f.s();
    EXPECT_TRUE(f.ui().messages.empty());
    EXPECT_EQ(s.PeakX[0], 350);
    EXPECT_EQ(s.PeakW[0], 1001);
    EXPECT_EQ(f.ui().windowCaption, "Peakfold Program          roundtrip.pkd           ZK 2004");
    const struct {
        double io, xo, w;
    } expected[] = {{0, 0, 0}, {40.123456789, 720, 30}, {1.0 / 3, 775.5, 20.25}};
    for (int i = 0; i <= kLastSlot; ++i) {
        SCOPED_TRACE(i);
        const bool loaded = i == 1 || i == 2;
        EXPECT_EQ(s.EqKept[i], loaded ? 1 : 0);
        EXPECT_NEAR(s.EqIo[i], loaded ? expected[i].io : 0, 1e-14);
        EXPECT_EQ(s.EqXo[i], loaded ? expected[i].xo : 0);
        EXPECT_EQ(s.EqW[i], loaded ? expected[i].w : 0);
    }
    const std::vector<std::string> listed{EquationLine(s, 1, true), EquationLine(s, 2, true)};
    EXPECT_EQ(f.ui().listLines(), listed);
    EXPECT_EQ(listed[0], " 1> Y= 40.12e^-k((x- 720)/ 30)^2");
    for (int w = 0; w <= kMaxWave; ++w) ASSERT_NEAR(s.Spectrum[w], before[w], 1e-12) << w;
}

TEST(ResultFile, LoadsWithEveryLineEndAndSplitsEachParameterLineFromItsOwnStart) {
    // "Peak Location,4,6" is exactly as long as "Amplitude, 50, 25".
    const std::string lines[] = {
        "title",   "Amplitude, 50, 25",         "Peak Location,4,6", "Peak Width, 2,3",
        "RMS=, 1", "Wavelength,Data,Equation,", " 400, 10, 0",       " 401, 30, 0"};
    for (const char* lineEnd : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(lineEnd));
        TempFolder folder;
        HeadlessApp app;
        app.ui.folder = folder.path();
        std::string content;
        for (const std::string& line : lines) content += line + lineEnd;
        folder.write("ends.pkd", content);
        getFile(app, "ends");
        const State& s = app.s;
        EXPECT_EQ(s.EqIo[1], 50);
        EXPECT_EQ(s.EqIo[2], 25);
        EXPECT_EQ(s.EqXo[1], 4);
        EXPECT_EQ(s.EqXo[2], 6);
        EXPECT_EQ(s.EqW[1], 2);
        EXPECT_EQ(s.EqW[2], 3);
        EXPECT_EQ(s.EqKept[1], 1);
        EXPECT_EQ(s.EqKept[2], 1);
        EXPECT_EQ(s.EqKept[3], 0);
        EXPECT_EQ(app.ui.listLines(), (std::vector<std::string>{" 1> Y= 50e^-k((x- 4)/ 2)^2",
                                                                " 2> Y= 25e^-k((x- 6)/ 3)^2"}));
        EXPECT_EQ(s.Spectrum[400], 0);
        EXPECT_EQ(s.Spectrum[401], 100);
        EXPECT_EQ(s.PeakX[0], 400);
        EXPECT_EQ(s.PeakW[0], 401);
        EXPECT_TRUE(app.ui.messages.empty());
    }
}

TEST(ResultFile, LoadingSkipsBrokenRowsAndKeepsNineNumbersALine) {
    TempFolder folder;
    HeadlessApp app;
    app.ui.folder = folder.path();
    folder.write(
        "odd.pkd",
        "title\n"
        "Amplitude,1,2,3,4,5,6,7,8,9,10,11\n"
        "Peak Loc,100,200\n"  // as long as a line of one more field: read from its own start
        "Peak Width,5,6,\n"
        "RMS=,\n"
        "Wavelength,Data,Equation,\n"
        " 500, 10\n"     // one comma: skipped
        " 501\n"         // none: skipped
        "Total, 3, 4\n"  // no wavelength: skipped
        " 502, 20, 0\n"
        "-1, 99, 0\n"  // outside the array
        " 1010, 30, 0\n"
        " 1011, 99, 0\n"  // outside the array
        " 503, 25, 0\n");
    getFile(app, "odd");
    const State& s = app.s;
    EXPECT_EQ(s.EqKept[0], 0);
    for (int i = 1; i <= kLastSlot; ++i) {
        EXPECT_EQ(s.EqKept[i], 1);
        EXPECT_EQ(s.EqIo[i], i);
    }
    EXPECT_EQ(s.EqXo[1], 100);
    EXPECT_EQ(s.EqXo[2], 200);
    EXPECT_EQ(s.EqW[2], 6);
    EXPECT_EQ(s.EqW[3], 0);
    EXPECT_EQ(app.ui.listLines().size(), 9u);
    EXPECT_EQ(s.PeakX[0], 502);
    EXPECT_EQ(s.PeakW[0], 1010);  // the highest wavelength read, not the last row's
    EXPECT_EQ(s.Spectrum[500], 0);
    EXPECT_EQ(s.Spectrum[502], 0);
    EXPECT_EQ(s.Spectrum[503], 50);
    EXPECT_EQ(s.Spectrum[1010], 100);
    EXPECT_EQ(s.Spectrum[504], 100 * (0 - 20.0) / 10);  // unfilled, rescaled with the rest
    ASSERT_EQ(app.ui.messages.size(), 1u);
    EXPECT_NE(app.ui.messages[0].find("2 rows"), std::string::npos) << app.ui.messages[0];
    EXPECT_NE(app.ui.messages[0].find("0 to 1010"), std::string::npos) << app.ui.messages[0];
}

}  // namespace
}  // namespace peakfold
