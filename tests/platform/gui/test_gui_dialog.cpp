// Message boxes and the open-file dialog, answered from another thread with xdotool.

#include "gui.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

struct Box {
    std::string title, text;
    uint32_t flags;
};

TEST(GuiDialog, MessageBoxHook_RecordsBoxesInsteadOfShowingThem) {
    std::vector<Box> shown;
    SetMessageBoxHook([&shown](const std::string &title, const std::string &text, uint32_t flags) {
        shown.push_back({title, text, flags});
        return 7;
    });
    EXPECT_EQ(MessageBox("System", "Slow system #B (CPU count)", 0x1010), 7);
    // A box asked for by another thread reaches the hook as well.
    std::thread other([] { MessageBox("ASIO", "Selected device doesn't support DSD mode.", 0x1040); });
    other.join();
    SetMessageBoxHook(nullptr);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title, "System");
    EXPECT_EQ(shown[0].text, "Slow system #B (CPU count)");
    EXPECT_EQ(shown[0].flags, 0x1010u);
    EXPECT_EQ(shown[1].title, "ASIO");
}

TEST(GuiDialog, MessageBox_ShowsAModalBoxThatOkCloses) {
    std::thread answer([] {
        std::system("timeout 5 xdotool search --sync --onlyvisible --name '^System$' windowfocus --sync "
                    "key Return >/dev/null");
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageBox("System", "Slow system #C (memory status)", 0x1010), 1);
    answer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(5)); // closed by OK, not the time-out
    EXPECT_EQ(std::system("xdotool search --onlyvisible --name '^System$' >/dev/null"), 256); // gone
}

TEST(GuiDialog, OpenFileDialog_FiltersNamesInAnyCaseAndReturnsEveryChosenFile) {
    std::string dir = std::string(::testing::TempDir()) + "gui_open";
    std::system(("rm -rf '" + dir + "'; mkdir -p '" + dir + "'").c_str());
    for (const char *name : {"a.dsf", "b.DFF", "c.txt", "d.Dsf", "e.dsf.bak"})
        std::ofstream(dir + "/" + name) << "x";
    // Take every file the dialog shows in the folder.
    std::thread answer([] {
        std::system(
            "timeout 10 xdotool search --sync --onlyvisible --name '^Open Audio files$' windowfocus --sync"
            " && sleep 0.5 && xdotool key ctrl+a && sleep 0.2 && xdotool key Return");
    });
    auto files = OpenFileDialog("Open Audio files", dir, "*.DSF,*.DFF|*.DSF;*.DFF", true);
    answer.join();
    std::sort(files.begin(), files.end());
    std::vector<std::string> want = {dir + "/a.dsf", dir + "/b.DFF", dir + "/d.Dsf"};
    EXPECT_EQ(files, want);
    std::system(("rm -rf '" + dir + "'").c_str());
}

} // namespace
