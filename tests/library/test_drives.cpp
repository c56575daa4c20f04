// The drive slots and the texts of the drive menu's items.

#include "helpers.h"

#include <set>

namespace {

std::set<std::string> Ready;
bool FakeReady(const std::string &root) {
    return Ready.count(root) > 0;
}

} // namespace

using Drives = LibraryTest;

TEST_F(Drives, BuildDriveMenu_OffersTheFirstSevenReadyVolumesInOrderAndDisablesTheRoot) {
    const Lines roots = {"/",         "/home/u/Music/", "/media/cd/", "/media/a/", "/media/b/",
                         "/media/c/", "/media/d/",      "/media/e/",  "/media/f/"};
    Ready = {"/", "/home/u/Music/", "/media/a/"}; // the optical drive is empty
    BuildDriveMenuFrom(roots, FakeReady);
    const std::string none = "not available";
    const std::array<std::string, 7> slots = {"/", "/home/u/Music/", "/media/a/", none, none, none, none};
    for (size_t k = 0; k < 7; ++k) {
        EXPECT_EQ(DriveMenuItems[k].Root, slots[k]) << k;
        EXPECT_EQ(DriveMenuItems[k].Enabled, k == 1 || k == 2) << k; // "/" is never scanned
        EXPECT_EQ(DriveMenuItems[k].Text, "Drive   " + slots[k]) << k;
    }

    Ready.insert(roots.begin(), roots.end()); // everything attached: eight volumes after "/"
    BuildDriveMenuFrom(roots, FakeReady);
    EXPECT_EQ(DriveMenuItems[2].Root, "/media/cd/");
    EXPECT_EQ(DriveMenuItems[6].Root, "/media/d/");
    for (size_t k = 0; k < 7; ++k) EXPECT_EQ(DriveMenuItems[k].Enabled, k > 0) << k;
}

TEST_F(Drives, ScanDriveSlot_ScansOnlyAVolumeOtherThanTheRoot) {
    Make(drive, {"Album/t.dsf"});
    Ready = {"/", drive};
    BuildDriveMenuFrom({"/", drive}, FakeReady);
    EXPECT_FALSE(ScanDriveSlot(0)); // "/": listed, never scanned
    EXPECT_FALSE(ScanDriveSlot(2)); // "not available"
    EXPECT_FALSE(ScanDriveSlot(7));
    EXPECT_TRUE(LibraryOne.empty());
    EXPECT_TRUE(ScanDriveSlot(1));
    EXPECT_EQ(LibraryOne, Lines{"Album"});
}
