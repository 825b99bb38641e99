#include "files/file_names.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "file_test_folder.h"
#include "headless_toolkit.h"

namespace peakfold {
namespace {

// Typed names against the files they mean, in the order they are tried
// (path, loads as a result file), for a program folder /data and home /home/u.
TEST(FileNames, TypedNamesResolveToTheirFiles) {
    using Files = std::vector<std::pair<std::string, bool>>;
    const struct {
        std::string name;
        NameUse use;
        Files files;
    } cases[] = {
        {"run3", NameUse::Load, {{"/data/run3.pkd", true}, {"/data/run3.txt", false}}},
        {"a\\b", NameUse::Load, {{"/data/a\\b.pkd", true}, {"/data/a\\b.txt", false}}},
        {"sub/run3", NameUse::Load, {{"/data/sub/run3.pkd", true}, {"/data/sub/run3.txt", false}}},
        {"~/spectra/run3",
         NameUse::Load,
         {{"/home/u/spectra/run3.pkd", true}, {"/home/u/spectra/run3.txt", false}}},
        {"run3.txt", NameUse::Load, {{"/data/run3.txt", false}}},
        {"/abs/run3.csv", NameUse::Load, {{"/abs/run3.csv", false}}},
        {"~/x.TSV", NameUse::Load, {{"/home/u/x.TSV", false}}},
        {"fit.PKD", NameUse::Load, {{"/data/fit.PKD", true}}},
        {"run3.spc", NameUse::Load, {{"/data/run3.spc.pkd", true}, {"/data/run3.spc.txt", false}}},
        {"fit", NameUse::Save, {{"/data/fit.pkd", true}}},
        {"fit.pkd", NameUse::Save, {{"/data/fit.pkd", true}}},
        {"fit.txt", NameUse::Save, {{"/data/fit.txt.pkd", true}}},
        {"/abs/scan.spc", NameUse::Exact, {{"/abs/scan.spc", false}}},
        {"/abs/fit.pkd", NameUse::Exact, {{"/abs/fit.pkd", true}}},
        {"rel/scan.txt", NameUse::Exact, {{"/data/rel/scan.txt", false}}},
        {"", NameUse::Load, {}},
        {std::string("sub\0x", 5), NameUse::Load, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Files found;
        for (const NamedFile& file : resolveName(c.name, c.use, "/data", "/home/u")) {
            found.emplace_back(file.path, file.resultFile);
        }
        EXPECT_EQ(found, c.files);
    }
}

// Get File and Save with paths on disk, one step after the other: the
// program's folder follows the last file loaded or saved by a path, and
// messages name the file as typed.
TEST(FileNames, PathsLoadAndSaveWhereTheyPointAndMoveTheProgramFolder) {
    TempFolder root;
    HeadlessApp app;
    app.ui.folder = root.path();
    ASSERT_EQ(setenv("HOME", root.path().c_str(), 1), 0);
    std::filesystem::create_directories(root.pathOf("sub/dir.txt"));
    std::filesystem::create_directories(root.pathOf("other"));
    root.write("sub/inner.txt", "400\t10\n401\t20\n");
    root.write("other/data.csv", "500,1\n501,3\n");
    app.ui.setText(Control::CalculateNbr, "3");

    const struct {
        bool save;
        std::string name;
        std::string message;  // empty: none
        std::string caption;  // file name shown after a load
        std::string folder;   // the program's folder afterwards, below root
    } steps[] = {
        {false, "sub/inner", "", "inner.txt", "sub"},
        {false, "inner", "", "inner.txt", "sub"},
        {false, "../other/data.csv", "", "data.csv", "other"},
        {true, "~/sub/out", "", "", "sub"},
        {true, "out.pkd", "", "", "sub"},
        {false, root.pathOf("sub/out.pkd"), "", "out.pkd", "sub"},
        {false, "dir.txt", "Cannot read dir.txt (it is a folder, not a file).", "", "sub"},
        {false, "~/missing/x", "File not found", "", "sub"},
        {true, "nowhere/fit", "Could not save nowhere/fit.pkd (", "", "sub"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        app.ui.messages.clear();
        app.ui.windowCaption = "before";
        app.ui.answers.push_back(step.name);
        app.ui.click(step.save ? Control::SaveData : Control::GetFile);
        if (step.message.empty()) {
            EXPECT_TRUE(app.ui.messages.empty()) << app.ui.messages.front();
        } else {
            ASSERT_EQ(app.ui.messages.size(), 1u);
            EXPECT_EQ(app.ui.messages[0].rfind(step.message, 0), 0u) << app.ui.messages[0];
        }
        if (!step.caption.empty()) {
            EXPECT_EQ(app.ui.windowCaption,
                      "Peakfold Program          " + step.caption + "           ZK 2004");
        }
        EXPECT_EQ(app.s.Folder, root.pathOf(step.folder));
    }
    EXPECT_EQ(root.read("sub/out.pkd").substr(0, 8), "Peakfold");
    EXPECT_FALSE(std::filesystem::exists(root.pathOf("sub/out.pkd.pkd")));
}

}  // namespace
}  // namespace peakfold
