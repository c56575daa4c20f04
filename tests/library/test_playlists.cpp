// Playlist names, writing and deleting playlists on disk, loading one, and sorting a play list.

#include "helpers.h"

#include <map>

using Lines = std::vector<std::string>;

namespace {

class Playlists : public ::testing::Test {
  protected:
    void SetUp() override { ResetModel(dir.path()); }
    std::string Index() { return ReadBytes(dir.path() + "lpi.la"); }
    std::string Tracks() { return ReadBytes(dir.path() + "lpi.lo"); }
    TempFolder dir;
};

std::string Utf16Lines(const Lines &lines) {
    std::string out = "\xFF\xFE";
    AppendUtf16Lines(out, lines);
    return out;
}

std::vector<ListEntry> Entries(const Lines &paths) {
    std::vector<ListEntry> out;
    for (const std::string &p : paths) out.push_back(Entry("", p));
    return out;
}

Lines Titles(const std::vector<ListEntry> &list) {
    Lines out;
    for (const ListEntry &e : list) out.push_back(e.Title);
    return out;
}

} // namespace

TEST_F(Playlists, ValidatePlaylistName_TrimsCutsAndRefuses) {
    PlaylistNames = {"Rock"};
    const std::string a61 = std::string(60, 'a') + "b";
    struct Case {
        std::string typed;
        bool ok;
        std::string result;
    } cases[] = {
        {"  Jazz  ", true, "Jazz"},
        {a61, true, std::string(60, 'a')},
        {"x" + std::string(58, 'y') + " z", true, "x" + std::string(58, 'y') + " "}, // the cut leaves a blank
        {"rock", true, "rock"},
        {"Rock", false, DoubleNameText},
        {"  Rock ", false, DoubleNameText},
        {"-Rock", false, WrongNameText},
        {"_Rock", false, WrongNameText},
        {"(Rock)", false, WrongNameText},
        {"    ", false, WrongNameText},
        {"", false, WrongNameText},
        {"\xC3\x80gua", false, WrongNameText}, // U+00C0 itself
        {"\xC3\x81gua", true, "\xC3\x81gua"},  // U+00C1
        {"7 days", true, "7 days"},
        {WrongNameText, false, WrongNameText}, // OK pressed again on the message
        {"Two\nlines", false, WrongNameText},  // could not be stored in one line
    };
    for (const Case &c : cases) {
        std::string result;
        EXPECT_EQ(ValidatePlaylistName(c.typed, result), c.ok) << c.typed;
        EXPECT_EQ(result, c.result) << c.typed;
    }
    // A pair at units 60 and 61 is not split: the name keeps 59 units.
    std::string result;
    ASSERT_TRUE(ValidatePlaylistName(std::string(59, 'q') + "\xF0\x9F\x98\x80", result));
    EXPECT_EQ(result, std::string(59, 'q'));
}

TEST_F(Playlists, WritePlaylistFiles_CreatesBothFilesWithTheMarkThenAppendsWithout) {
    WritePlaylistFiles("zeta", Entries({"/m/a.dsf", "/m/b.dff"}));
    EXPECT_EQ(Index(), Utf16Lines({"zeta"}));
    EXPECT_EQ(Tracks(), Utf16Lines({"!zeta", "  /m/a.dsf", "  /m/b.dff"}));
    WritePlaylistFiles("Alpha", Entries({"/m/c.dsf", "/m/bad\nname.dsf"}));
    EXPECT_EQ(Index(), Utf16Lines({"zeta", "Alpha"}));
    EXPECT_EQ(Tracks(), Utf16Lines({"!zeta", "  /m/a.dsf", "  /m/b.dff", "!Alpha", "  /m/c.dsf"}));
    EXPECT_EQ(PlaylistNames, (Lines{"Alpha", "zeta"})); // sorted in memory, appended on disk
    EXPECT_EQ(ReadSection(dir.path() + "lpi.lo", "Alpha"), Lines{"/m/c.dsf"});
}

TEST_F(Playlists, WritePlaylistFiles_KeepsFilesEditedByHandReadable) {
    struct Case {
        const char *what;
        std::string old_bytes;
    } cases[] = {
        {"empty file", ""},
        {"UTF-8 with mark", "\xEF\xBB\xBF!Caf\xC3\xA9\n  /c.dsf\n"},
        {"Windows-1252", "!Caf\xE9\r\n  /c.dsf"},
        {"UTF-16 without a last line end",
         "\xFF\xFE" + Utf16("!Caf") + "\xE9" + std::string(1, '\0') + Utf16("\r\n  /c.dsf")},
        {"UTF-16 with an odd last byte",
         "\xFF\xFE" + Utf16("!Caf") + "\xE9" + std::string(1, '\0') + Utf16("\r\n  /c.dsf\r\n") + "X"},
    };
    for (const Case &c : cases) {
        WriteBytes(dir.path() + "lpi.lo", c.old_bytes);
        WritePlaylistFiles("New", Entries({"/n.dsf"}));
        EXPECT_EQ(ReadSection(dir.path() + "lpi.lo", "New"), Lines{"/n.dsf"}) << c.what;
        if (!c.old_bytes.empty()) {
            EXPECT_EQ(ReadSection(dir.path() + "lpi.lo", "Caf\xC3\xA9"), Lines{"/c.dsf"}) << c.what;
        }
        EXPECT_EQ(Tracks().substr(0, 2), "\xFF\xFE") << c.what;
    }
}

TEST_F(Playlists, DeletePlaylistFiles_DropsTheSectionsKeepsTheRestInOrder) {
    WritePlaylistFiles("one", Entries({"/1.dsf"}));
    WritePlaylistFiles("Two", Entries({"/2a.dsf", "/2b.dsf"}));
    WritePlaylistFiles("three", Entries({"/3.dsf"}));
    ASSERT_EQ(PlaylistNames, (Lines{"one", "three", "Two"}));
    static int redraws;
    redraws = 0;
    LibraryProcs.DrawListPanel = [](int, int row, int page) { redraws += row == 0 && page == 0; };

    ASSERT_TRUE(DeletePlaylistFiles(2)); // "Two"
    EXPECT_EQ(Tracks(), Utf16Lines({"!one", "  /1.dsf", "!three", "  /3.dsf"}));
    EXPECT_EQ(Index(), Utf16Lines({"one", "three"}));
    EXPECT_EQ(PlaylistNames, (Lines{"one", "three"}));
    EXPECT_EQ(redraws, 1);
    EXPECT_FALSE(DeletePlaylistFiles(2));

    // Any encoding is read; duplicate sections all go, empty lines go; a missing section still
    // removes the name.
    WriteBytes(dir.path() + "lpi.lo", "\xEF\xBB\xBF!one\n  /1.dsf\n\n!x\n  /x.dsf\n!one\n  /again.dsf\n");
    PlaylistNames = {"Ghost", "one", "x"};
    ASSERT_TRUE(DeletePlaylistFiles(1));
    EXPECT_EQ(Tracks(), Utf16Lines({"!x", "  /x.dsf"}));
    ASSERT_TRUE(DeletePlaylistFiles(0));
    EXPECT_EQ(Tracks(), Utf16Lines({"!x", "  /x.dsf"}));
    EXPECT_EQ(Index(), Utf16Lines({"x"}));
}

TEST_F(Playlists, Rewrites_AFailedWriteLeavesTheOldPlaylistFilesWhole) {
    Lines many = {"!big"};
    for (int i = 0; i < 200; ++i)
        many.push_back("  /music/some/long/folder/name/track " + std::to_string(i) + ".dsf");
    many.push_back("!small");
    many.push_back("  /s.dsf");
    ASSERT_TRUE(WriteTextLines(dir.path() + "lpi.lo", many));
    ASSERT_TRUE(WriteTextLines(dir.path() + "lpi.la", {"big", "small"}));
    PlaylistNames = {"big", "small"};
    const std::string lo = Tracks(), la = Index();
    {
        FileSizeLimit limit(lo.size() / 2);
        WritePlaylistFiles("more", Entries({"/m.dsf"})); // lpi.la is small enough, lpi.lo fails
        EXPECT_EQ(Tracks(), lo);
        EXPECT_EQ(Index(), Utf16Lines({"big", "small", "more"}));
        ASSERT_TRUE(DeletePlaylistFiles(1)); // "more": not in lpi.lo, which is rewritten and fails
        EXPECT_EQ(Tracks(), lo);
        EXPECT_EQ(Index(), Utf16Lines({"big", "small"}));
    }
    {
        FileSizeLimit limit(4);              // the mark and half a character
        ASSERT_TRUE(DeletePlaylistFiles(0)); // "big"
        EXPECT_EQ(Tracks(), lo);
        EXPECT_EQ(Index(), Utf16Lines({"big", "small"}));
    }
}

TEST_F(Playlists, LoadPlaylist_AppendsItsTracksToTheShownList) {
    WriteBytes(dir.path() + "m/a.dsf", "aa");
    WriteBytes(dir.path() + "m/b.DFF", "b");
    WritePlaylistFiles("Mix",
                       Entries({dir.path() + "m/a.dsf", dir.path() + "m/gone.dsf", dir.path() + "m/b.DFF"}));
    ActiveView = ViewList2;
    LoadPlaylist("Mix");
    EXPECT_EQ(Titles(List2), (Lines{"a", "b"}));
    EXPECT_EQ(ListBytes2, 3);
}

TEST_F(Playlists, SortActiveList_ByNameIsOrdinalAndStable) {
    List1 = {Entry("b", "1"), Entry("A", "2"), Entry("a", "3"), Entry("B", "4")};
    ListBytes1 = 77;
    SortActiveList(1);
    EXPECT_EQ(Titles(List1), (Lines{"A", "B", "a", "b"}));

    // Equal titles keep their order; a text sorts before a longer one it begins; UTF-16 order puts
    // a pair (D83D..) before U+FF21, which code point order would not.
    List1 = {Entry("x", "1"),  Entry("\xEF\xBC\xA1", "2"),
             Entry("x", "3"),  Entry("\xF0\x9F\x98\x80", "4"),
             Entry("xa", "5"), Entry("x", "6")};
    SortActiveList(1);
    Lines paths;
    for (const ListEntry &e : List1) paths.push_back(e.Path);
    EXPECT_EQ(paths, (Lines{"1", "3", "6", "5", "4", "2"}));
    EXPECT_EQ(ListBytes1, 77);

    // Only the shown play list is sorted.
    List2 = {Entry("b"), Entry("a")};
    for (uint8_t view : {ViewPlaylists, ViewLibrary, ViewList1}) {
        ActiveView = view;
        SortActiveList(1);
        SortActiveList(2);
    }
    EXPECT_EQ(Titles(List2), (Lines{"b", "a"}));
    ActiveView = ViewList2;
    for (size_t n : {0, 1}) {
        List2.resize(n, Entry("only"));
        SortActiveList(1);
        SortActiveList(2);
        EXPECT_EQ(List2.size(), n);
    }
}

TEST_F(Playlists, SortActiveList_AtRandomIsAPermutationThatReachesEveryOrder) {
    std::map<std::string, int> seen;
    const int runs = 24000;
    for (int run = 0; run < runs; ++run) {
        List1 = {Entry("a"), Entry("b"), Entry("c"), Entry("d")};
        SortActiveList(2);
        std::string order;
        for (const ListEntry &e : List1) order += e.Title;
        std::string sorted = order;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(sorted, "abcd");
        ++seen[order];
    }
    // All 24 orders, each about 1000 times (standard deviation 31). A biased draw leaves orders out
    // (j from 0 to i - 1 makes only cycles) or makes some far likelier than others (j from 0 to n - 1
    // gives orders between 750 and 1400 times).
    EXPECT_EQ(seen.size(), 24u);
    for (const auto &[order, count] : seen) {
        EXPECT_GT(count, 850) << order;
        EXPECT_LT(count, 1150) << order;
    }
}
