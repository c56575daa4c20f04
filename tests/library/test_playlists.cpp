// Playlist names, writing and deleting playlists on disk, loading one, and sorting a play list.

#include "helpers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>

using Playlists = LibraryTest;

namespace {

std::vector<ListEntry> Entries(const Lines &paths) {
    std::vector<ListEntry> out;
    for (const std::string &p : paths) out.push_back(Entry("", p));
    return out;
}

} // namespace

TEST_F(Playlists, ValidatePlaylistName_TrimsCutsAndRefuses) {
    PlaylistNames = {"Rock"};
    auto check = [](const std::string &typed) {
        std::string result;
        return (ValidatePlaylistName(typed, result) ? "ok " : "no ") + result;
    };
    const std::string a60(60, 'a'), y58(58, 'y'), q59(59, 'q');
    EXPECT_EQ(check("  Jazz  "), "ok Jazz");
    EXPECT_EQ(check(a60 + "b"), "ok " + a60);
    EXPECT_EQ(check("x" + y58 + " z"), "ok x" + y58 + " ");  // the cut leaves a blank
    EXPECT_EQ(check(q59 + "\xF0\x9F\x98\x80"), "ok " + q59); // no half pair
    EXPECT_EQ(check("rock"), "ok rock");
    EXPECT_EQ(check("  Rock "), std::string("no ") + DoubleNameText);
    for (std::string wrong :
         {"_Rock", "(Rock)", "    ", "\xC3\x80gua" /* U+00C0 itself */, "Two\nlines", WrongNameText})
        EXPECT_EQ(check(wrong), std::string("no ") + WrongNameText) << wrong;
    EXPECT_EQ(check("\xC3\x81gua"), "ok \xC3\x81gua"); // U+00C1
    EXPECT_EQ(check("7 days"), "ok 7 days");
}

TEST_F(Playlists, WritePlaylistFiles_CreatesBothFilesWithTheMarkThenAppendsAndLoadPlaylistReadsThem) {
    const std::string a = drive + "a.dsf", b = drive + "b.DFF", gone = drive + "gone.dsf";
    Make(drive, {"a.dsf", "b.DFF"});
    WritePlaylistFiles("zeta", Entries({a, gone}));
    EXPECT_EQ(ListFile("lpi.la"), Utf16File({"zeta"}));
    EXPECT_EQ(ListFile("lpi.lo"), Utf16File({"!zeta", "  " + a, "  " + gone}));
    WritePlaylistFiles("Alpha", Entries({b, "/m/bad\nname.dsf"}));
    EXPECT_EQ(ListFile("lpi.la"), Utf16File({"zeta", "Alpha"}));
    EXPECT_EQ(ListFile("lpi.lo"), Utf16File({"!zeta", "  " + a, "  " + gone, "!Alpha", "  " + b}));
    EXPECT_EQ(PlaylistNames, (Lines{"Alpha", "zeta"})); // sorted in memory, appended on disk

    ActiveView = ViewList2;
    FakeAdd(LoadPlaylist("zeta"));
    FakeAdd(LoadPlaylist("Alpha"));
    EXPECT_EQ(Titles(ListOf(2).Entries), (Lines{"a", "b"}));
    EXPECT_TRUE(ListOf(1).Entries.empty());
}

TEST_F(Playlists, WritePlaylistFiles_KeepsFilesEditedByHandReadable) {
    const std::string cafe16 = "\xFF\xFE" + Utf16("!Caf") + Bytes({0xE9, 0}) + Utf16("\r\n  /c.dsf");
    struct Case {
        const char *what;
        std::string old_bytes;
    } cases[] = {
        {"UTF-8 with mark", "\xEF\xBB\xBF!Caf\xC3\xA9\n  /c.dsf\n"},
        {"Windows-1252", "!Caf\xE9\r\n  /c.dsf"},
        {"UTF-16 without a last line end", cafe16},
        {"UTF-16 with an odd last byte", cafe16 + Utf16("\r\n") + "X"},
    };
    for (const Case &c : cases) {
        WriteBytes(lists + "lpi.lo", c.old_bytes);
        WritePlaylistFiles("New", Entries({"/n.dsf"}));
        EXPECT_EQ(ReadSection(lists + "lpi.lo", "New"), Lines{"/n.dsf"}) << c.what;
        EXPECT_EQ(ReadSection(lists + "lpi.lo", "Caf\xC3\xA9"), Lines{"/c.dsf"}) << c.what;
        EXPECT_EQ(ListFile("lpi.lo").substr(0, 2), "\xFF\xFE") << c.what;
    }
}

TEST_F(Playlists, DeletePlaylistFiles_DropsTheSectionsKeepsTheRestInOrder) {
    WritePlaylistFiles("one", Entries({"/1.dsf"}));
    WritePlaylistFiles("Two", Entries({"/2a.dsf", "/2b.dsf"}));
    WritePlaylistFiles("three", Entries({"/3.dsf"}));
    ASSERT_EQ(PlaylistNames, (Lines{"one", "three", "Two"}));

    ASSERT_TRUE(DeletePlaylistFiles(2)); // "Two"
    EXPECT_EQ(ListFile("lpi.lo"), Utf16File({"!one", "  /1.dsf", "!three", "  /3.dsf"}));
    EXPECT_EQ(ListFile("lpi.la"), Utf16File({"one", "three"}));
    EXPECT_EQ(PlaylistNames, (Lines{"one", "three"}));

    // Any encoding is read; duplicate sections all go, empty lines go; a missing section still
    // removes the name.
    WriteBytes(lists + "lpi.lo", "\xEF\xBB\xBF!one\n  /1.dsf\n!x\n  /x.dsf\n\n!one\n  /again.dsf\n");
    PlaylistNames = {"Ghost", "one", "x"};
    ASSERT_TRUE(DeletePlaylistFiles(1));
    EXPECT_EQ(ListFile("lpi.lo"), Utf16File({"!x", "  /x.dsf"}));
    ASSERT_TRUE(DeletePlaylistFiles(0));
    EXPECT_EQ(ListFile("lpi.lo"), Utf16File({"!x", "  /x.dsf"}));
    EXPECT_EQ(ListFile("lpi.la"), Utf16File({"x"}));
    // The last one too: both files are left with the mark alone.
    ASSERT_TRUE(DeletePlaylistFiles(0));
    EXPECT_EQ(ListFile("lpi.lo") + ListFile("lpi.la"), "\xFF\xFE\xFF\xFE");
    EXPECT_EQ(PlaylistNames, Lines{});
}

TEST_F(Playlists, FailedWritesAndDeletesLeaveFilesAndNamesAsTheyWereAndSayWhichFileAndWhy) {
    Lines many = {"!big"};
    for (int i = 0; i < 200; ++i)
        many.push_back("  /music/some/long/folder/track " + std::to_string(i) + ".dsf");
    many.insert(many.end(), {"!small", "  /s.dsf"});
    ASSERT_TRUE(WriteTextLines(lists + "lpi.lo", many));
    ASSERT_TRUE(WriteTextLines(lists + "lpi.la", {"big", "small"}));
    const std::string lo = ListFile("lpi.lo"), la = ListFile("lpi.la");
    namespace fs = std::filesystem;
    struct Case {
        const char *what;
        int deleted;       // the position deleted, or -1: "more" is written
        size_t limit;      // a file size limit (a full disk), 0 for none
        const char *block; // a list file made read-only, or "/" + the one a folder stands in for
        const char *file;  // the file and the reason the result names
        int error;
    } cases[] = {
        {"write, full disk for the tracks", -1, lo.size() / 2, "", "lpi.lo", EFBIG},
        {"write, read-only index after the tracks", -1, 0, "lpi.la", "lpi.la", EACCES},
        {"write, a folder for the index", -1, 0, "/lpi.la", "lpi.la", EISDIR},
        {"delete, full disk for the tracks after the index", 1, lo.size() / 2, "", "lpi.lo", EFBIG},
        {"delete, full disk for the index", 0, 4, "", "lpi.la", EFBIG},
        {"delete, read-only index", 0, 0, "lpi.la", "lpi.la", EACCES},
        {"delete, read-only tracks after the index", 0, 0, "lpi.lo", "lpi.lo", EACCES},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PlaylistNames = {"big", "small"};
        WriteBytes(lists + "lpi.lo", lo);
        WriteBytes(lists + "lpi.la", la);
        const std::string blocked = lists + (c.block[0] == '/' ? c.block + 1 : c.block);
        if (c.block[0] == '/') {
            fs::remove(blocked);
            fs::create_directory(blocked);
        } else if (c.block[0]) {
            fs::permissions(blocked, fs::perms::owner_read);
        }
        WriteResult result;
        {
            std::optional<FileSizeLimit> limit;
            if (c.limit) limit.emplace(c.limit);
            result = c.deleted < 0 ? WritePlaylistFiles("more", Entries({"/m.dsf"}))
                                   : DeletePlaylistFiles(size_t(c.deleted));
        }
        EXPECT_EQ(result.File + " " + std::strerror(result.Error),
                  lists + c.file + " " + std::strerror(c.error));
        EXPECT_EQ(PlaylistNames, (Lines{"big", "small"}));
        EXPECT_EQ(ListFile("lpi.lo"), lo);
        if (c.block[0] == '/') {
            fs::remove(blocked);
        } else {
            EXPECT_EQ(ListFile("lpi.la"), la);
            if (c.block[0]) fs::permissions(blocked, fs::perms::owner_read | fs::perms::owner_write);
        }
    }
}

TEST_F(Playlists, SortActiveList_ByNameIsOrdinalAndStable) {
    // Upper case before lower (b, A, a, B); equal titles keep their order; a text sorts before a longer
    // one it begins; UTF-16 order puts a pair (D83D..) before U+FF21, which code point order would not.
    const Lines titles = {"b", "A", "a", "B", "x", "\xEF\xBC\xA1", "x", "\xF0\x9F\x98\x80", "xa", "x"};
    for (size_t i = 0; i < titles.size(); ++i)
        ListOf(1).Entries.push_back(Entry(titles[i], std::to_string(i)));
    SortActiveList(1);
    std::string order;
    for (const ListEntry &e : ListOf(1).Entries) order += e.Path;
    EXPECT_EQ(order, "1320469875");

    // Only the shown play list is sorted.
    ListOf(2).Entries = {Entry("b"), Entry("a")};
    for (uint8_t view : {ViewPlaylists, ViewLibrary, ViewList1}) {
        ActiveView = view;
        SortActiveList(1);
        SortActiveList(2);
    }
    EXPECT_EQ(Titles(ListOf(2).Entries), (Lines{"b", "a"}));
    ActiveView = ViewList2;
    for (size_t n : {0, 1}) {
        ListOf(2).Entries.resize(n, Entry("only"));
        SortActiveList(1);
        SortActiveList(2);
        EXPECT_EQ(ListOf(2).Entries.size(), n);
    }
}

TEST_F(Playlists, SortActiveList_AtRandomIsAPermutationThatReachesEveryOrder) {
    const std::string abcd = "abcd";
    std::map<std::string, int> seen;
    for (int run = 0; run < 24000; ++run) {
        ListOf(1).Entries = {Entry("a"), Entry("b"), Entry("c"), Entry("d")};
        SortActiveList(2);
        std::string order;
        for (const ListEntry &e : ListOf(1).Entries) order += e.Title;
        ++seen[order];
    }
    // All 24 orders, each about 1000 times (standard deviation 31). A biased draw leaves orders out
    // (j from 0 to i - 1 makes only cycles) or makes some far likelier (j from 0 to n - 1 gives
    // orders between 750 and 1400 times).
    EXPECT_EQ(seen.size(), 24u);
    for (const auto &[order, count] : seen) {
        EXPECT_TRUE(std::is_permutation(order.begin(), order.end(), abcd.begin(), abcd.end())) << order;
        EXPECT_GT(count, 850) << order;
        EXPECT_LT(count, 1150) << order;
    }
}
