// Random sequences of user actions, replayable from the printed seed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "action_player.h"

namespace peakfold {
namespace {

constexpr int kSequences = 1500;
constexpr int kStepsPerSequence = 25;

std::string replay(const ActionPlayer& player) {
    std::string text;
    for (const std::string& line : player.log()) text += "  " + line + "\n";
    return text;
}

TEST(ActionSequences, NoSequenceOfClicksBreaksTheProgram) {
    // A fresh seed each run; PEAKFOLD_SEED=N replays the sequence of seed N.
    const char* fixed = std::getenv("PEAKFOLD_SEED");
    const unsigned firstSeed = fixed ? static_cast<unsigned>(std::stoul(fixed))
                                     : std::random_device{}();
    const int sequences = fixed ? 1 : kSequences;
    int fits = 0, pumps = 0, loads = 0;
    for (int n = 0; n < sequences; ++n) {
        const unsigned seed = firstSeed + static_cast<unsigned>(n);
        std::mt19937 random(seed);
        ActionPlayer player([&](unsigned count) {
            return std::uniform_int_distribution<unsigned>(0, count - 1)(random);
        });
        for (int i = 0; i < kStepsPerSequence; ++i) {
            const std::string broken = player.step();
            ASSERT_TRUE(broken.empty()) << broken << "\nseed " << seed << ", actions:\n"
                                        << replay(player);
        }
        fits += player.ui.beeps;
        pumps += player.ui.pumps;
        loads += player.ui.windowCaption != "Form1";
    }
    // The sequences reach deep: files load, searches run and find fits.
    std::printf("%d sequences: %d loaded a file, %d fits, %d event pumps\n", sequences, loads, fits,
                pumps);
    if (!fixed) {
        EXPECT_GT(loads, sequences / 4);
        EXPECT_GT(fits, sequences / 20);
    }
}

}  // namespace
}  // namespace peakfold
