// Saving and loading many times in a row on the real disk leaves no file
// open and no stray temporary file, and every round trip gives the same file.
#include <gtest/gtest.h>

#include <filesystem>

#include "file_test_folder.h"

namespace peakfold {
namespace {

int openFileCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

TEST(SaveLoadCycles, AThousandRoundTripsLeaveNoOpenFilesAndTheSameFile) {
    TempFolder folder;
    HeadlessApp app;
    app.ui.folder = folder.path();
    getFile(app, "");  // the test spectrum
    app.ui.click(Control::Add);
    app.ui.answers.push_back("cycle");
    app.ui.click(Control::SaveData);
    ASSERT_FALSE(folder.read("cycle.pkd").empty());
    std::string first;

    const int openBefore = openFileCount();
    for (int i = 0; i < 1000; ++i) {
        getFile(app, "cycle");
        ASSERT_EQ(app.ui.listCount(Control::List), 1) << "round " << i;
        app.ui.clickListLine(0);
        app.ui.answers.push_back("cycle");
        app.ui.click(Control::SaveData);
        // The first load rescales the test spectrum's tiny negative tail to
        // 0; from then on the file comes back as it was written.
        if (i == 0) first = folder.read("cycle.pkd");
    }
    EXPECT_EQ(openFileCount(), openBefore);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"cycle.pkd"});
    EXPECT_TRUE(app.ui.messages.empty()) << app.ui.messages.front();
    EXPECT_EQ(folder.read("cycle.pkd"), first);
}

}  // namespace
}  // namespace peakfold
