// Undo and redo through the program's own events: random click sequences
// undone to their start and redone to their end, a save after undo, an undo
// inside a running search, and the history's bound.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "action_player.h"
#include "file_test_folder.h"
#include "headless_toolkit.h"
#include "ui/history.h"

namespace peakfold {
namespace {

void choose(Toolkit& ui, MenuItem item) {
    Event e{Control::Graph, Event::Kind::Menu};
    e.item = item;
    ui.raise(e);
}

TEST(Undo, UndoingEverythingGivesTheStartAndRedoingEverythingTheEnd) {
    for (unsigned seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        ActionPlayer player([&](unsigned count) {
            return std::uniform_int_distribution<unsigned>(0, count - 1)(random);
        });
        // The first step loads the test spectrum; the start is before it.
        const Snapshot start = takeSnapshot(player.s, player.ui);
        player.ui.answers.push_back("");
        player.ui.click(Control::GetFile);
        for (int i = 0; i < 25; ++i) ASSERT_EQ(player.step(), "");
        const Snapshot end = takeSnapshot(player.s, player.ui);
        // The sequence may itself have undone steps: redo as many as undone here.
        int undone = 0;
        for (; !player.ui.undoName.empty(); ++undone) choose(player.ui, MenuItem::Undo);
        EXPECT_TRUE(takeSnapshot(player.s, player.ui) == start);
        for (int i = 0; i < undone; ++i) choose(player.ui, MenuItem::Redo);
        EXPECT_TRUE(takeSnapshot(player.s, player.ui) == end);
    }
}

// The test spectrum with its three peaks typed on the settings line.
void loadAndPick(HeadlessApp& app) {
    getFile(app, "");
    app.ui.setText(Control::Help, "Peak 1: 720 - 30 Peak 2: 775 - 20 Peak 3: 825 - 10");
    app.ui.keyPress(Control::Help, 13);
}

TEST(Undo, ASaveAfterUndoWritesWhatASaveThereWroteTheFirstTime) {
    TempFolder folder;
    HeadlessApp app;
    app.ui.folder = folder.path();
    const auto save = [&](const std::string& name) {
        app.ui.answers.push_back(name);
        app.ui.click(Control::SaveData);
        return folder.read(name + ".pkd");
    };
    loadAndPick(app);
    app.ui.click(Control::Calculate);
    const std::string first = save("first");
    app.ui.click(Control::Keep);
    app.ui.click(Control::Delete);
    app.ui.click(Control::PlotAll);
    EXPECT_EQ(app.ui.undoName, "Plot Mode");
    for (const char* undone : {"Plot Mode", "Delete", "Keep"}) {
        EXPECT_EQ(app.ui.undoName, undone);
        choose(app.ui, MenuItem::Undo);
    }
    EXPECT_EQ(app.ui.redoName, "Keep");
    EXPECT_EQ(save("again"), first);
}

TEST(Undo, DoesNothingWhileASearchRuns) {
    HeadlessApp app;
    loadAndPick(app);
    app.ui.click(Control::Add);
    Snapshot during;
    bool undone = false;
    app.ui.onPump = [&] {
        if (undone) return;
        undone = true;
        during = takeSnapshot(app.s, app.ui);
        choose(app.ui, MenuItem::Undo);
        EXPECT_TRUE(takeSnapshot(app.s, app.ui) == during);
    };
    app.ui.click(Control::Calculate);
    EXPECT_TRUE(undone);
    EXPECT_EQ(app.ui.undoName, "Calculate");
}

TEST(Undo, AFitQualityEditAsTheFirstStepGoesBack) {
    HeadlessApp app;
    app.ui.setText(Control::Quality, "5");
    app.ui.raise({Control::Quality, Event::Kind::Edited});
    EXPECT_EQ(app.ui.undoName, "Fit Quality");
    choose(app.ui, MenuItem::Undo);
    EXPECT_EQ(app.ui.text(Control::Quality), "10");
}

TEST(Undo, TheHistoryDropsItsOldestSteps) {
    HeadlessApp app;
    History history(3);
    for (int i = 0; i < 5; ++i) {
        history.step("Plot Mode", app.s, app.ui, [&] { app.ui.click(Control::PlotAll); });
    }
    EXPECT_EQ(history.steps(), 3u);
    for (int i = 0; i < 5; ++i) history.undo(app.s, app.ui);
    // Five presses from "Plot All": three undone leave the second press's mode.
    EXPECT_EQ(app.ui.text(Control::PlotAll), "Plot One");
    EXPECT_EQ(history.redoSteps(), 3u);
}

}  // namespace
}  // namespace peakfold
