#include "files/spectrum_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "file_test_folder.h"
#include "files/file_text.h"
#include "headless_toolkit.h"
#include "model/equation.h"

namespace peakfold {
namespace {

constexpr const char* kPrompt =
    "Enter just the file name, no path or extension. [Data file should be in same folder as "
    "pkd program. .pkd or .txt is assumed.]";

struct Loader {
    TempFolder folder;
    HeadlessApp app;
    Loader() { app.ui.folder = folder.path(); }

    State& s() { return app.s; }
    HeadlessToolkit& ui() { return app.ui; }

    // Loads the name and gives the raw-data segments drawn by the load.
    std::vector<DrawCall> load(const std::string& name) {
        const size_t from = ui().draws.size();
        getFile(app, name);
        return rawSegments(ui(), from);
    }
    std::vector<DrawCall> loadText(const std::string& content, const std::string& name = "data") {
        folder.write(name + ".txt", content);
        return load(name);
    }
};

int wavelengthOfLargest(const State& s) {
    return static_cast<int>(std::max_element(s.Spectrum.begin(), s.Spectrum.end()) -
                            s.Spectrum.begin());
}

// After a load that found nothing usable: the reset state, nothing drawn.
void expectResetState(Loader& l, int16_t rangeEndBefore, const std::string& label) {
    SCOPED_TRACE(label);
    for (int i = 0; i <= kLastSlot; ++i) {
        EXPECT_EQ(l.s().EqIo[i], 0);
        EXPECT_EQ(l.s().EqXo[i], 0);
        EXPECT_EQ(l.s().EqW[i], 0);
        EXPECT_EQ(l.s().EqKept[i], 0);
    }
    EXPECT_TRUE(
        std::all_of(l.s().Spectrum.begin(), l.s().Spectrum.end(), [](double v) { return v == 0; }));
    EXPECT_TRUE(l.ui().listLines().empty());
    EXPECT_EQ(l.s().PeakX[0], 201);
    EXPECT_EQ(l.s().PeakW[0], rangeEndBefore);
}

TEST(TestSpectrum, LoadsForAnEmptyAnswerAndForCancel) {
    for (const bool cancel : {false, true}) {
        Loader l;
        l.ui().windowCaption = "caption before";
        if (!cancel) l.ui().answers.push_back("");
        const size_t from = l.ui().draws.size();
        l.ui().click(Control::GetFile);  // no answer left: the input box was cancelled
        const std::vector<DrawCall> segments = rawSegments(l.ui(), from);
        const State& s = l.s();

        ASSERT_EQ(l.ui().prompts.size(), 1u);
        EXPECT_EQ(l.ui().prompts[0], kPrompt);
        EXPECT_EQ(l.ui().windowCaption, "caption before");
        EXPECT_EQ(s.DataName, "");
        EXPECT_EQ(s.PeakX[0], 350);
        EXPECT_EQ(s.PeakW[0], 1001);
        EXPECT_EQ(wavelengthOfLargest(s), 825);
        EXPECT_NEAR(s.Spectrum[825], 100, 1e-12);
        EXPECT_NEAR(s.Spectrum[720], 79.676, 5e-4);
        EXPECT_NEAR(s.Spectrum[775], 67.244, 5e-4);
        EXPECT_EQ(s.Spectrum[350], 0);
        EXPECT_LT(s.Spectrum[1001], 0);
        EXPECT_GT(s.Spectrum[1001], -1e-40);
        EXPECT_EQ(s.Spectrum[349], 0);
        EXPECT_EQ(s.Spectrum[1002], 0);
        EXPECT_TRUE(l.ui().messages.empty());
        ASSERT_EQ(segments.size(), 651u);  // 351..1001, each ending where it is rescaled
        EXPECT_EQ(segments.front().x1, 350);
        EXPECT_EQ(segments.back().x2, 1001);
        EXPECT_EQ(segments.back().y2, static_cast<float>(s.Spectrum[1001]));
    }
}

TEST(SpectrumFile, ThreeRowsScaleToTheirOwnSpanAndCopyTheLastValue) {
    Loader l;
    const std::vector<DrawCall> segments = l.loadText("400\t10\n401\t20\n402\t30\n", "three");
    const State& s = l.s();
    EXPECT_EQ(l.ui().windowCaption, "Peakfold Program          three.txt           ZK 2004");
    EXPECT_EQ(s.DataName, "three");
    EXPECT_EQ(s.Spectrum[399], 0);
    EXPECT_EQ(s.Spectrum[400], 0);
    EXPECT_EQ(s.Spectrum[401], 50);
    EXPECT_EQ(s.Spectrum[402], 100);
    EXPECT_EQ(s.Spectrum[403], 100);
    EXPECT_EQ(s.PeakX[0], 400);
    EXPECT_EQ(s.PeakW[0], 403);
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[0].x1, 400);
    EXPECT_EQ(segments[0].y1, 0);
    EXPECT_EQ(segments[2].x2, 403);
    EXPECT_EQ(segments[2].y2, 100);
    EXPECT_TRUE(l.ui().listLines().empty());
    EXPECT_TRUE(l.ui().messages.empty());
}

// Every way of writing the rows 400: 10, 401: 20, 402: 30 that the loader
// accepts reads exactly as the plain TAB file does.
TEST(SpectrumFile, ReadsEveryWayOfWritingTheSameRows) {
    const struct {
        const char* label;
        const char* content;
    } cases[] = {
        {"LF", "400\t10\n401\t20\n402\t30\n"},
        {"CR LF", "400\t10\r\n401\t20\r\n402\t30\r\n"},
        {"CR", "400\t10\r401\t20\r402\t30\r"},
        {"no final line end", "400\t10\n401\t20\n402\t30"},
        {"heading, blank lines, trailing empty line",
         "Wavelength (nm)\tIntensity (counts)\n\n400\t10\n401\t20\n\n402\t30\n\n"},
        {"comma after the intensity", "400\t10,a\n401\t20, 7\n402\t30,\n"},
        {"decimal comma", "400\t10,0\n401\t20,0\n402\t30,0\n"},
        {"comma between the numbers", "400,10\n401, 20\n402 ,30\n"},
        {"blanks between the numbers", "400 10\n  401   20\n402 30  \n"},
        {"semicolon between the numbers", "400;10\n401;20,0\n402; 30\n"},
        {"quoted fields", "\"400\"\t\"10\"\n\"401\",\"20\"\n402\t\"30\"\n"},
        {"a further TAB column", "400\t10\t99\n401\t20\t-5\n402\t30\t0\n"},
        {"blanks around the TAB", " 400 \t 10 \n401\t20\n402\t30\n"},
        {"descending", "402\t30\n401\t20\n400\t10\n"},
        {"mixed order", "401\t20\n402\t30\n400\t10\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Loader l;
        const std::vector<DrawCall> segments = l.loadText(c.content);
        const State& s = l.s();
        EXPECT_EQ(s.Spectrum[0], 0);
        EXPECT_EQ(s.Spectrum[400], 0);
        EXPECT_EQ(s.Spectrum[401], 50);
        EXPECT_EQ(s.Spectrum[402], 100);
        EXPECT_EQ(s.Spectrum[403], 100);
        EXPECT_EQ(s.PeakX[0], 400);
        EXPECT_EQ(s.PeakW[0], 403);
        EXPECT_EQ(segments.size(), 3u);
        EXPECT_TRUE(l.ui().messages.empty());
    }
}

// The text as a spreadsheet's "Unicode Text" export writes it: UTF-16 with
// its byte-order mark, every character below 128.
std::string utf16(std::string_view text, bool littleEndian) {
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (const char c : text) {
        bytes += littleEndian ? c : '\0';
        bytes += littleEndian ? '\0' : c;
    }
    return bytes;
}

// A file and its twin with a byte-order mark or in UTF-16 load to the same
// doubles; the mark costs no row.
TEST(SpectrumFile, ReadsTheSameFileInEveryEncoding) {
    const std::string spectrum = "400\t10\r\n401\t20.5\r\n402\t30\r\n";
    const std::string result =
        "title\r\nAmplitude, 50\r\nPeak Location, 401\r\nPeak Width, 2\r\nRMS=, 1\r\n"
        "Wavelength,Data,Equation\r\n 400, 10, 0\r\n 401, 20.5, 0\r\n 402, 30, 0\r\n";
    const std::string utf8Mark = "\xEF\xBB\xBF";
    const struct {
        const char* label;
        const char* extension;
        std::string plain, twin;
    } cases[] = {
        {"UTF-8 with mark", ".txt", spectrum, utf8Mark + spectrum},
        {"UTF-16 LE with mark", ".txt", spectrum, utf16(spectrum, true)},
        {"UTF-16 BE with mark", ".txt", spectrum, utf16(spectrum, false)},
        {"comma-separated, UTF-8 mark", ".txt", spectrum,
         utf8Mark + "400,10\r\n401,20.5\r\n402,30\r\n"},
        {"result file, UTF-8 with mark", ".pkd", result, utf8Mark + result},
        {"result file, UTF-16 LE with mark", ".pkd", result, utf16(result, true)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Loader plain, twin;
        plain.folder.write(std::string("data") + c.extension, c.plain);
        twin.folder.write(std::string("data") + c.extension, c.twin);
        const std::vector<DrawCall> plainSegments = plain.load("data");
        const std::vector<DrawCall> twinSegments = twin.load("data");
        EXPECT_EQ(plain.s().PeakX[0], 400);
        EXPECT_TRUE(plain.ui().messages.empty());
        EXPECT_TRUE(twin.ui().messages.empty());
        EXPECT_EQ(twin.ui().windowCaption, plain.ui().windowCaption);
        EXPECT_EQ(twin.s().PeakX[0], plain.s().PeakX[0]);
        EXPECT_EQ(twin.s().PeakW[0], plain.s().PeakW[0]);
        EXPECT_EQ(twin.s().Spectrum, plain.s().Spectrum);
        EXPECT_EQ(twin.s().EqIo, plain.s().EqIo);
        EXPECT_EQ(twin.s().EqXo, plain.s().EqXo);
        EXPECT_EQ(twin.s().EqW, plain.s().EqW);
        EXPECT_EQ(twin.ui().listLines(), plain.ui().listLines());
        EXPECT_EQ(twinSegments.size(), plainSegments.size());
    }
}

// Small files whose rescaled values and range pin the reading rules.
TEST(SpectrumFile, ScalesTheWorkedExamples) {
    const struct {
        const char* label;
        const char* content;
        int first, end;                              // the fit range after the load
        std::vector<std::pair<int, double>> values;  // wavelength, rescaled value
    } cases[] = {
        {"2 nm steps",
         "400\t10\n402\t30\n",
         400,
         403,
         {{400, 0}, {401, 0}, {402, 100}, {403, 100}}},
        {"2 nm steps descending",
         "402\t30\n400\t10\n",
         400,
         403,
         {{400, 0}, {401, 0}, {402, 100}, {403, 100}}},
        {"negative values only: Top stays 0",
         "400\t-20\n401\t-10\n",
         400,
         402,
         {{400, 0}, {401, 50}, {402, 50}}},
        {"wavelengths round half to even",
         "402.5\t10\n403.5\t30\n",
         402,
         405,
         {{402, 0}, {403, 0}, {404, 100}, {405, 100}}},
        {"wavelengths with a decimal comma",
         "402,5\t10\n403,5\t30\n",
         402,
         405,
         {{402, 0}, {403, 0}, {404, 100}}},
        {"the last loadable wavelength fills the array end",
         "1008\t0\n1009\t10\n",
         1008,
         1010,
         {{1008, 0}, {1009, 100}, {1010, 100}}},
        {"a gap is rescaled from 0",
         "400\t10\n405\t30\n",
         400,
         406,
         {{401, 0}, {402, -50}, {404, -50}, {405, 100}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Loader l;
        l.loadText(c.content);
        EXPECT_EQ(l.s().PeakX[0], c.first);
        EXPECT_EQ(l.s().PeakW[0], c.end);
        for (const auto& [w, value] : c.values) EXPECT_EQ(l.s().Spectrum[w], value) << w;
        EXPECT_TRUE(l.ui().messages.empty());
    }
}

TEST(SpectrumFile, ResultFileOfTheSameNameComesFirst) {
    Loader l;
    l.folder.write("both.txt", "400\t10\n401\t20\n");
    l.folder.write("both.pkd",
                   "title\r\nAmplitude, 5\r\nPeak Location, 600\r\nPeak Width, 8\r\nRMS=, 1\r\n"
                   "Wavelength,Data,Equation,\r\n 600, 1, 0\r\n 601, 3, 0\r\n");
    l.load("both");
    EXPECT_EQ(l.ui().windowCaption, "Peakfold Program          both.pkd           ZK 2004");
    EXPECT_EQ(l.s().PeakX[0], 600);
    EXPECT_EQ(l.s().PeakW[0], 601);
    EXPECT_EQ(l.s().Spectrum[400], 0);
    EXPECT_EQ(l.s().Spectrum[601], 100);
}

TEST(SpectrumFile, MissingFileLeavesTheResetState) {
    Loader l;
    l.loadText("400\t10\n401\t20\n", "earlier");
    l.ui().windowCaption = "caption before";
    const int16_t rangeEnd = l.s().PeakW[0];
    const std::vector<DrawCall> segments = l.load("nothing");
    ASSERT_EQ(l.ui().messages.size(), 1u);
    EXPECT_EQ(l.ui().messages[0], "File not found");
    EXPECT_EQ(l.ui().windowCaption, "caption before");
    EXPECT_EQ(l.s().DataName, "nothing");
    EXPECT_TRUE(segments.empty());
    expectResetState(l, rangeEnd, "missing file");
}

TEST(SpectrumFile, RowsOutsideTheArrayAreSkippedAndCountedOnce) {
    Loader l;
    l.loadText("-1\t5\n400\t10\n1010\t7\n401\t20\n40000\t3\n402\t30\n1e999\t4\n-70000\t1\n",
               "wide");
    EXPECT_EQ(l.s().PeakX[0], 400);
    EXPECT_EQ(l.s().PeakW[0], 403);
    EXPECT_EQ(l.s().Spectrum[401], 50);
    EXPECT_EQ(l.s().Spectrum[1010], 0);
    ASSERT_EQ(l.ui().messages.size(), 1u);
    const std::string& message = l.ui().messages[0];
    EXPECT_NE(message.find("5 rows"), std::string::npos) << message;
    EXPECT_NE(message.find("wide.txt"), std::string::npos) << message;
    EXPECT_NE(message.find("0 to 1009"), std::string::npos) << message;
}

// Sources that yield nothing to scale: one message, the reset state, no trace.
TEST(SpectrumFile, UnloadableSourcesLeaveTheResetStateWithAMessage) {
    std::string utf32("\xFF\xFE\0\0", 4);
    for (const char c : std::string_view("400\t10\r\n401\t20\r\n")) {
        utf32 += c;
        utf32.append(3, '\0');
    }
    const struct {
        const char* label;
        const char* fileName;
        std::string content;
    } cases[] = {
        {"empty spectrum file", "x.txt", ""},
        {"only a heading and blank lines", "x.txt", "Wavelength\tIntensity\n\n\n"},
        {"single numbers without intensity", "x.txt", "400\n401\n"},
        {"every row outside the array", "x.txt", "2000\t5\n-3\t4\n"},
        {"flat spectrum", "x.txt", "400\t5\n401\t5\n402\t5\n"},
        {"flat zero spectrum", "x.txt", "400\t0\n401\t0\n"},
        {"span too wide to scale", "x.txt", "400\t-1e308\n401\t1e308\n"},
        {"UTF-16 without a mark", "x.txt", utf16("400\t10\r\n401\t20\r\n", true).substr(2)},
        {"UTF-32 with its mark", "x.txt", utf32},
        {"result file shorter than its six lines", "x.pkd", "title\r\nAmplitude, 5\r\n"},
        {"result file without data rows", "x.pkd", "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n"},
        {"result file rows without two commas", "x.pkd", "a\nb\nc\nd\ne\nf\n400, 5\n401\n"},
        {"result file with an absurd amplitude", "x.pkd",
         "a\nAmplitude, 1E300\nPeak Location, 500\nPeak Width, 5\ne\nf\n 500, 1, 1\n 501, 2, 2\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Loader l;
        l.ui().windowCaption = "caption before";
        const int16_t rangeEnd = l.s().PeakW[0];
        l.folder.write(c.fileName, c.content);
        const std::vector<DrawCall> segments = l.load("x");
        ASSERT_EQ(l.ui().messages.size(), 1u);
        EXPECT_NE(l.ui().messages[0].find(c.fileName), std::string::npos) << l.ui().messages[0];
        EXPECT_NE(l.ui().messages[0].find("Nothing was loaded."), std::string::npos);
        EXPECT_EQ(l.ui().windowCaption, "caption before");
        EXPECT_TRUE(segments.empty());
        expectResetState(l, rangeEnd, c.label);
    }
}

TEST(SpectrumFile, AMillionLinesLoad) {
    Loader l;
    std::string content;
    content.reserve(12 << 20);
    for (int i = 0; i < 1000000; ++i) content += (i % 2 ? "600\t2\r\n" : "500\t1\r\n");
    const std::vector<DrawCall> segments = l.loadText(content);
    EXPECT_EQ(l.s().PeakX[0], 500);
    EXPECT_EQ(l.s().PeakW[0], 601);
    EXPECT_EQ(l.s().Spectrum[600], 100);
    EXPECT_EQ(segments.size(), 101u);  // at most one segment per wavelength, however long the file
}

TEST(SpectrumFile, FilesBeyondTheSizeCapAreRefused) {
    Loader l;
    l.folder.write("huge.txt", "400\t10\n401\t20\n");
    std::filesystem::resize_file(l.folder.pathOf("huge.txt"), (65u << 20));
    const int16_t rangeEnd = l.s().PeakW[0];
    l.load("huge");
    ASSERT_EQ(l.ui().messages.size(), 1u);
    EXPECT_NE(l.ui().messages[0].find("Cannot read huge.txt"), std::string::npos);
    expectResetState(l, rangeEnd, "huge");
}

TEST(SpectrumFile, BinaryGarbageLoadsSanelyOrIsRefused) {
    std::mt19937 random(2004);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        std::string content(20000 + round * 3000, '\0');
        for (char& c : content) c = static_cast<char>(random());
        if (round % 2) {  // make digits, TABs and line ends common
            for (char& c : content) {
                if (static_cast<unsigned char>(c) < 128) c = "0123456789\t\n\r.,-E "[c % 19];
            }
        }
        Loader l;
        const std::vector<DrawCall> segments = l.loadText(content);
        const State& s = l.s();
        EXPECT_LE(l.ui().messages.size(), 1u);
        EXPECT_TRUE(std::all_of(s.Spectrum.begin(), s.Spectrum.end(),
                                [](double v) { return std::isfinite(v); }));
        EXPECT_GE(s.PeakX[0], 0);
        EXPECT_LE(s.PeakW[0], kMaxWave);
        for (const DrawCall& d : segments) {
            EXPECT_TRUE(std::isfinite(d.y1) && std::isfinite(d.y2));
            EXPECT_EQ(d.x2, d.x1 + 1);
        }
    }
}

// The measured spectra: the range is the data's span, the values run 0..100
// with the largest at the peak a person would name, and the trace is one
// connected line over the whole range.
TEST(SpectrumFile, LoadsTheMeasuredSpectra) {
    const struct {
        const char* file;
        int first, end;  // fit range after the load: first and last wavelength + 1
        int peak;        // wavelength of the largest value
    } cases[] = {
        {"led740_raw_counts_offset", 200, 1001, 724},
        {"led740_awkward_comma_decimal", 200, 1001, 724},
        {"white_led_blue_plus_phosphor", 200, 1001, 454},
        {"pink_filter_transmittance_dip", 350, 801, 751},
        {"red_laser_diode_narrow", 200, 994, 657},
        {"cdse_quantum_dot_pl", 350, 1001, 586},
        {"cdse_quantum_dot_pl_awkward_header_blankline", 350, 1001, 586},
        {"gold_nanoparticle_plasmon_abs", 370, 1001, 523},
        {"bpea_hexane_fluorescence_3peaks", 410, 701, 469},
        {"rhodamine800_dmso_abs_overlap", 450, 801, 697},
        {"fluorenone_thf_fluorescence_noisy", 390, 751, 482},
        {"nile_red_ethanol_abs_2nm", 360, 799, 552},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Loader l;
        std::filesystem::copy_file(dataFile(std::string(c.file) + ".txt"),
                                   l.folder.pathOf(std::string(c.file) + ".txt"));
        const std::vector<DrawCall> segments = l.load(c.file);
        const State& s = l.s();
        EXPECT_TRUE(l.ui().messages.empty());
        EXPECT_EQ(s.PeakX[0], c.first);
        EXPECT_EQ(s.PeakW[0], c.end);
        EXPECT_EQ(wavelengthOfLargest(s), c.peak);
        EXPECT_NEAR(s.Spectrum[c.peak], 100, 1e-9);
        const auto [low, high] =
            std::minmax_element(s.Spectrum.begin() + c.first, s.Spectrum.begin() + c.end + 1);
        EXPECT_NEAR(*low, 0, 1e-9);
        EXPECT_NEAR(*high, 100, 1e-9);
        EXPECT_EQ(s.Spectrum[c.first - 1], 0);
        ASSERT_EQ(segments.size(), static_cast<size_t>(c.end - c.first));
        for (size_t i = 0; i < segments.size(); ++i) {
            const int w = c.first + static_cast<int>(i) + 1;
            EXPECT_EQ(segments[i].x1, w - 1);
            EXPECT_EQ(segments[i].x2, w);
            EXPECT_EQ(segments[i].y2, static_cast<float>(s.Spectrum[w]));
        }
    }
}

TEST(SpectrumFile, AwkwardExportsReadAsTheirPlainTwins) {
    const struct {
        const char* awkward;
        const char* plain;
    } pairs[] = {
        {"led740_awkward_comma_decimal", "led740_raw_counts_offset"},
        {"cdse_quantum_dot_pl_awkward_header_blankline", "cdse_quantum_dot_pl"},
    };
    for (const auto& p : pairs) {
        SCOPED_TRACE(p.awkward);
        Loader awkward, plain;
        for (Loader* l : {&awkward, &plain}) {
            const std::string name = l == &awkward ? p.awkward : p.plain;
            std::filesystem::copy_file(dataFile(name + ".txt"), l->folder.pathOf(name + ".txt"));
            l->load(name);
        }
        EXPECT_EQ(awkward.s().PeakX[0], plain.s().PeakX[0]);
        EXPECT_EQ(awkward.s().PeakW[0], plain.s().PeakW[0]);
        for (int w = 0; w <= kMaxWave; ++w) {
            ASSERT_NEAR(awkward.s().Spectrum[w], plain.s().Spectrum[w], 1e-9) << w;
        }
    }
}

TEST(FileText, SplitsLinesAtEveryKindOfLineEnd) {
    const struct {
        const char* text;
        std::vector<std::string_view> lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\n\nb\r\n\r\n", {"a", "", "b", ""}},
        {"\r\r\n\n", {"", "", ""}},
    };
    for (const auto& c : cases) EXPECT_EQ(splitLines(c.text), c.lines) << c.text;
}

std::string bytesOf(std::initializer_list<unsigned char> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Code units beyond ASCII whose bytes read alone would be line ends or digits
// (U+0D0A, U+3034) stay one harmless character each.
TEST(FileText, DecodesUtf16ByItsMarkOneCharacterPerCodeUnit) {
    const struct {
        const char* label;
        std::string bytes, text;
    } cases[] = {
        {"no mark", "400\t10\r\n", "400\t10\r\n"},
        {"UTF-8 mark", bytesOf({0xEF, 0xBB, 0xBF, '4', '\t', '1'}), "4\t1"},
        {"UTF-8 mark only", bytesOf({0xEF, 0xBB, 0xBF}), ""},
        {"UTF-16 LE", bytesOf({0xFF, 0xFE, '4', 0, '\t', 0, '1', 0, '\r', 0, '\n', 0}), "4\t1\r\n"},
        {"UTF-16 BE", bytesOf({0xFE, 0xFF, 0, '4', 0, '\t', 0, '1', 0, '\r', 0, '\n'}), "4\t1\r\n"},
        {"UTF-16 beyond ASCII",
         bytesOf({0xFF, 0xFE, '1', 0, 0x0A, 0x0D, '4', '0', '2', 0, 0xE9, 0}), "1??2?"},
        {"UTF-16 surrogates, paired and alone",
         bytesOf({0xFE, 0xFF, 0xD8, 0x3D, 0xDE, 0x00, 0xDC, 0x00}), "???"},
        {"UTF-16 NUL", bytesOf({0xFF, 0xFE, '1', 0, 0, 0, '2', 0}), bytesOf({'1', 0, '2'})},
        {"UTF-16 odd byte count", bytesOf({0xFF, 0xFE, '1', 0, '2'}), "1?"},
        {"UTF-32 LE mark", bytesOf({0xFF, 0xFE, 0, 0, '4', 0, 0, 0}),
         bytesOf({0xFF, 0xFE, 0, 0, '4', 0, 0, 0})},
        {"mark not at the start", bytesOf({'4', 0xEF, 0xBB, 0xBF}),
         bytesOf({'4', 0xEF, 0xBB, 0xBF})},
    };
    for (const auto& c : cases) EXPECT_EQ(decodeFileText(c.bytes), c.text) << c.label;
}

TEST(FileText, ReadsDecimalCommasAndTellsHugeNumbersFromZero) {
    const struct {
        const char* field;
        bool commaMayBeDecimal;
        bool found, tooLarge;
        double value;
    } cases[] = {
        {"3501,6", true, true, false, 3501.6}, {" -0,25 ", true, true, false, -0.25},
        {"3501,6", false, true, false, 3501},  {"1,2,3", true, true, false, 1},
        {"1.5,2", true, true, false, 1.5},     {"1e999", false, true, true, 0},
        {"-1e999", false, true, true, 0},      {"0.00000e999", false, true, false, 0},
        {"1e-999", false, true, false, 0},     {"0", false, true, false, 0},
        {"Intensity", true, false, false, 0},  {",5", true, false, false, 0},
        {"", true, false, false, 0},
    };
    for (const auto& c : cases) {
        const FieldNumber n = numberIn(c.field, c.commaMayBeDecimal);
        EXPECT_EQ(n.found, c.found) << c.field;
        EXPECT_EQ(n.tooLarge, c.tooLarge) << c.field;
        EXPECT_EQ(n.value, c.value) << c.field;
    }
}

}  // namespace
}  // namespace peakfold
