#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "model/equation.h"
#include "model/numbers.h"

namespace peakfold {
namespace {

TEST(NumText, WritesTheProgramsNumberForm) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0, " 0"},
        {-0.0, " 0"},
        {50, " 50"},
        {0.5, " .5"},
        {-0.5, "-.5"},
        {-0.25, "-.25"},
        {19.9, " 19.9"},
        {20 + 0.1 + 0.1, " 20.2"},
        {20 - 0.1 - 0.1, " 19.8"},
        {1.0 / 3, " .333333333333333"},
        {-3.2, "-3.2"},
        {400, " 400"},
        {0.001, " .001"},
        {0.0005, " 5E-04"},
        {-0.000123, "-1.23E-04"},
        {1e-300, " 1E-300"},
        {1.5e15, " 1.5E+15"},
        {999999999999999, " 999999999999999"},
        {999999999999999.9, " 1E+15"},
        {49.9134316274438, " 49.9134316274438"},
        {123456789.123456789, " 123456789.123457"},
    };
    for (const auto& c : cases) EXPECT_EQ(NumText(c.value), c.text) << c.value;
}

TEST(TextNum, ReadsTheNumberTheTextStartsWith) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {" 50,", 50},
        {"400\t", 400},
        {"mplitude,", 0},
        {"16 15", 1615},
        {"ge", 0},
        {" 7", 7},
        {"", 0},
        {"-.25", -0.25},
        {"+3", 3},
        {"1.5E+15", 1.5e15},
        {"2D3", 2000},
        {"5E-04", 0.0005},
        {"5E", 5},
        {"12.5abc", 12.5},
        {"1.2.3", 1.2},
        {"-", 0},
        {".", 0},
        {"3501,6", 3501},
        {"1E400", 0},
        {"1E-400", 0},
        {"\n 4 \t2", 42},
    };
    for (const auto& c : cases) EXPECT_EQ(TextNum(c.text), c.value) << c.text;
}

TEST(NumberRules, IgnoreTheUsersLocale) {
    const char* locales[] = {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "C.UTF-8"};
    for (const char* name : locales) {
        if (!std::setlocale(LC_ALL, name)) continue;
        EXPECT_EQ(NumText(12.5), " 12.5") << name;
        EXPECT_EQ(TextNum("12.5"), 12.5) << name;
        EXPECT_EQ(NumText(0.0005), " 5E-04") << name;
    }
    std::setlocale(LC_ALL, "C");
}

TEST(NumberRules, TextNumReadsBackEveryNumText) {
    const double values[] = {0.1, -7.123456, 1.0 / 3, 123456.789, 2.5e-7, 6.02e23, -1e15};
    for (double v : values) {
        const double back = TextNum(NumText(v));
        EXPECT_NEAR(back, v, std::fabs(v) * 1e-14) << v;
    }
}

TEST(Rounding, ConvertsHalvesToEvenAndClampsTo16Bits) {
    const struct {
        double value;
        int16_t whole;
    } cases[] = {
        {402.5, 402}, {403.5, 404}, {-2.5, -2}, {12.49, 12}, {1e9, 32767},
        {-1e9, -32768}, {32767.4, 32767}, {std::numeric_limits<double>::quiet_NaN(), 0},
        {std::numeric_limits<double>::infinity(), 32767},
    };
    for (const auto& c : cases) EXPECT_EQ(toInt16(c.value), c.whole) << c.value;

    EXPECT_EQ(waveIndex(300.5), 300);
    EXPECT_EQ(waveIndex(301.5), 302);
    EXPECT_EQ(waveIndex(-4), 0);
    EXPECT_EQ(waveIndex(5000), kMaxWave);
    EXPECT_EQ(waveIndex(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(Rounding, Round15HidesTheLastBitNoise) {
    EXPECT_EQ(round15(0.1 + 0.2), 0.3);
    EXPECT_EQ(round15(20 + 0.1 + 0.1), 20.2);
    EXPECT_EQ(round15(0), 0);
}

TEST(EquationLine, WritesTheNinePieces) {
    State s;
    s.EqIo[1] = 50, s.EqXo[1] = 400, s.EqW[1] = 20;
    EXPECT_EQ(EquationLine(s, 1, true), " 1> Y= 50e^-k((x- 400)/ 20)^2");
    s.EqIo[2] = -3.456, s.EqXo[2] = 512.5, s.EqW[2] = 7.25;
    EXPECT_EQ(EquationLine(s, 2, false), " 2: Y=-3.46e^-k((x- 512.5)/ 7.25)^2");
    s.EqIo[3] = 12.3456, s.EqXo[3] = 600, s.EqW[3] = 7.123456;
    EXPECT_EQ(EquationLine(s, 3, false), " 3: Y= 12.35e^-k((x- 600)/ 7.123456)^2");
}

TEST(EquationLine, RoundsOnlyTheAmplitudeToHundredthsHalvesUp) {
    const struct {
        double amplitude;
        const char* text;
    } cases[] = {{0.125, " .13"}, {0.004, " 0"}, {-0.004, " 0"}, {12.3456, " 12.35"}};
    for (const auto& c : cases) EXPECT_EQ(NumText(displayAmplitude(c.amplitude)), c.text);
}

TEST(LineSlot, FindsTheSlotOfAnEquationLineOnly) {
    const struct {
        const char* line;
        int slot;
    } cases[] = {
        {" 9: Y= 1e^-k((x- 4)/ 2)^2", 9}, {" 1> Y= 50e^-k", 1}, {"", 0}, {"No fit found.", 0},
        {" 0: Y=", 0}, {"Calculating...", 0}, {"-3: Y", 0}, {"99", 0}, {"7", 7},
    };
    for (const auto& c : cases) EXPECT_EQ(LineSlot(c.line), c.slot) << c.line;
}

TEST(GaussianValue, HalvesAtOneWidthFromTheCentre) {
    EXPECT_EQ(GaussianValue(50, 400, 20, 400), 50);
    EXPECT_NEAR(GaussianValue(50, 400, 20, 420), 25, 25e-6);
    EXPECT_NEAR(GaussianValue(50, 400, 20, 380), 25, 25e-6);
    EXPECT_EQ(GaussianValue(50, 400, 20, 420), GaussianValue(50, 400, 20, 380));
}

TEST(GaussianValue, TakesTheLimitForAZeroWidth) {
    EXPECT_EQ(GaussianValue(30, 500, 0, 500), 30);
    EXPECT_EQ(GaussianValue(30, 500, 0, 501), 0);
    EXPECT_EQ(GaussianValue(30, 500.5, 0, 500), 0);
}

TEST(TrialTable, GrowsWithoutACapAndReadsUnwrittenCellsAsZero) {
    TrialTable t;
    EXPECT_EQ(t.get(0, 1, 1), 0);
    t.set(150000, 3, TrialTable::kCentre, 812.5);
    t.set(150000, 0, 0, 2.5);
    EXPECT_EQ(t.get(150000, 3, TrialTable::kCentre), 812.5);
    EXPECT_EQ(t.get(150000, 0, 0), 2.5);
    EXPECT_EQ(t.get(149999, 3, TrialTable::kCentre), 0);
    EXPECT_EQ(t.get(150001, 1, 1), 0);
    t.clear();
    EXPECT_EQ(t.get(150000, 0, 0), 0);
}

}  // namespace
}  // namespace peakfold
