#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headless_toolkit.h"
#include "model/equation.h"

namespace peakfold {
namespace {

const std::string kNewLine1 = " 1> Y= 50e^-k((x- 400)/ 20)^2";

TEST(EquationList, AddFillsFreeSlotsInOrderUntilTheTableIsFull) {
    HeadlessApp app;
    for (int i = 1; i <= 9; ++i) app.ui.click(Control::Add);

    const auto& lines = app.ui.listLines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], kNewLine1);
    EXPECT_EQ(lines[1], " 2> Y= 50e^-k((x- 400)/ 20)^2");
    EXPECT_EQ(lines[8], " 9> Y= 50e^-k((x- 400)/ 20)^2");
    for (int i = 1; i <= 9; ++i) {
        EXPECT_EQ(app.s.EqIo[i], 50);
        EXPECT_EQ(app.s.EqW[i], 20);
        EXPECT_EQ(app.s.EqXo[i], 400);
        EXPECT_EQ(app.s.EqKept[i], 1) << "a new equation is kept from the start";
    }
    EXPECT_EQ(app.s.EqIo[0], 0) << "slot 0 never holds an equation";
    EXPECT_EQ(app.ui.listIndex(Control::List), -1) << "Add leaves the selection as it was";
    EXPECT_TRUE(app.ui.messages.empty());

    app.ui.click(Control::Add);
    EXPECT_EQ(app.ui.messages, std::vector<std::string>{"Too many Gaussians."});
    EXPECT_EQ(app.ui.listLines().size(), 9u);
}

TEST(EquationList, DeleteBlanksTheLineAndAddReusesTheFreedSlot) {
    HeadlessApp app;
    for (int i = 0; i < 4; ++i) app.ui.click(Control::Add);
    app.s.EqW[3] = 7.5;
    app.ui.clickListLine(2);  // slot 3
    app.ui.click(Control::Delete);

    EXPECT_EQ(app.ui.listLines()[2], "") << "blanked, not removed";
    EXPECT_EQ(app.ui.listLines().size(), 4u);
    EXPECT_EQ(app.s.EqIo[3], 0);
    EXPECT_EQ(app.s.EqKept[3], 0);
    EXPECT_EQ(app.s.EqW[3], 7.5) << "width and centre stay";
    EXPECT_EQ(app.s.EqXo[3], 400);
    EXPECT_EQ(app.ui.listIndex(Control::List), 0) << "Delete selects the first line";

    app.ui.click(Control::Add);
    const auto& lines = app.ui.listLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[4], " 3> Y= 50e^-k((x- 400)/ 20)^2");
    EXPECT_EQ(app.s.EqW[3], 20);
}

TEST(EquationList, KeepAndThrowRewriteTheMarkerAndTheFlag) {
    HeadlessApp app;
    app.s.EqIo[2] = -3.456;
    app.s.EqXo[2] = 512.5;
    app.s.EqW[2] = 7.25;
    app.ui.listAppend(Control::List, "Some other line");
    app.ui.listAppend(Control::List, EquationLine(app.s, 2, false));
    app.ui.clickListLine(1);

    app.ui.click(Control::Keep);
    EXPECT_EQ(app.ui.listLines()[1], " 2> Y=-3.46e^-k((x- 512.5)/ 7.25)^2");
    EXPECT_EQ(app.s.EqKept[2], 1);
    EXPECT_EQ(app.ui.listIndex(Control::List), 1) << "the line stays selected";

    app.ui.click(Control::Throw);
    EXPECT_EQ(app.ui.listLines()[1], " 2: Y=-3.46e^-k((x- 512.5)/ 7.25)^2");
    EXPECT_EQ(app.s.EqKept[2], 0);
    EXPECT_EQ(app.s.EqIo[2], -3.456) << "only the shown amplitude is rounded";
    EXPECT_EQ(app.ui.listLines()[0], "Some other line");
}

TEST(EquationList, LinesThatNameNoSlotChangeNothing) {
    // No selection, a blank line left by Delete, and the search's message.
    const struct {
        const char* line;
        bool select;
    } cases[] = {{"", false}, {"", true}, {"No fit found.", true}, {" 0: Y= 5e^-k", true}};
    const Control buttons[] = {Control::Keep, Control::Throw, Control::Delete};
    for (const auto& c : cases) {
        for (const Control button : buttons) {
            HeadlessApp app;
            app.ui.click(Control::Add);
            app.ui.listAppend(Control::List, c.line);
            if (c.select) app.ui.clickListLine(1);
            app.ui.click(button);

            EXPECT_EQ(app.ui.listLines()[0], kNewLine1) << c.line;
            EXPECT_EQ(app.ui.listLines()[1], c.line);
            EXPECT_EQ(app.s.EqIo[1], 50);
            EXPECT_EQ(app.s.EqKept[1], 1);
            if (button == Control::Delete) {
                EXPECT_EQ(app.ui.listIndex(Control::List), 0) << "Delete still selects line 0";
            }
        }
    }
}

TEST(EquationList, DeleteOnAnEmptyListSelectsNothing) {
    HeadlessApp app;
    app.ui.click(Control::Delete);
    EXPECT_TRUE(app.ui.listLines().empty());
    EXPECT_EQ(app.ui.listIndex(Control::List), -1);
    EXPECT_TRUE(app.ui.messages.empty());
}

}  // namespace
}  // namespace peakfold
