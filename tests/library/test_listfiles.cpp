// The list file reader and writer, the index files and the section reader, on files written byte by
// byte.

#include "helpers.h"

using ListFiles = LibraryTest;

TEST_F(ListFiles, ReadTextLines_DecodesEveryEncodingAndLineEnd) {
    const std::string bom16 = "\xFF\xFE", bom8 = "\xEF\xBB\xBF";
    struct Case {
        const char *what;
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"UTF-16LE, CR LF, lone CR and LF, last line without end",
         bom16 + Utf16("ab\r\ncd\re\nf"),
         {"ab", "cd", "e", "f"}},
        {"UTF-16LE, blanks kept, empty lines dropped",
         bom16 + Utf16("\r\n  x \r\n\r\n\r\r\n\n\ny"),
         {"  x ", "y"}},
        {"UTF-16LE, a zero unit ends the line",
         bom16 + Utf16("ab") + Bytes({0, 0}) + Utf16("cd"),
         {"ab", "cd"}},
        {"UTF-16LE, Latin-1 and a surrogate pair",
         bom16 + Bytes({0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE, 0x0D, 0, 0x0A, 0}),
         {"\xC3\xA9\xF0\x9F\x98\x80"}},
        {"UTF-16LE, an odd last byte is no character", bom16 + Utf16("ab") + Bytes({0x41}), {"ab"}},
        {"UTF-8 with mark", bom8 + "caf\xC3\xA9\nx\r\ny\rz", {"caf\xC3\xA9", "x", "y", "z"}},
        {"UTF-8, a zero byte ends the line", bom8 + std::string("a\0b", 3), {"a", "b"}},
        {"Windows-1252 without mark",
         Bytes({'c', 0xE9, 0x80, '\r', '\n', 0x9F, 0x81, 0x8A, '\n', '\n'}),
         {"c\xC3\xA9\xE2\x82\xAC", "\xC5\xB8\xC2\x81\xC5\xA0"}},
        {"only a mark", bom16, {}},
    };
    for (const Case &c : cases) {
        WriteBytes(lists + "f", c.bytes);
        Lines lines{"stale"};
        EXPECT_TRUE(ReadTextLines(lists + "f", lines)) << c.what;
        EXPECT_EQ(lines, c.lines) << c.what;
    }
    Lines lines{"stale"};
    EXPECT_FALSE(ReadTextLines(lists + "missing", lines));
    EXPECT_TRUE(lines.empty());
    for (std::string mark : {Bytes({0xFE, 0xFF}), Bytes({0xFF, 0xFE, 0, 0}), Bytes({0, 0, 0xFE, 0xFF})}) {
        WriteBytes(lists + "f", mark + Utf16("abc"));
        EXPECT_FALSE(ReadTextLines(lists + "f", lines));
    }
}

TEST_F(ListFiles, Writer_WritesMarkAndCrLfAndKeepsNamesThatAreNotUtf8) {
    const std::string path = lists + "out";
    ASSERT_TRUE(WriteTextLines(path, {"A", "\xC3\xA9\xF0\x9F\x98\x80", ""}));
    EXPECT_EQ(ReadBytes(path), Bytes({0xFF, 0xFE, 'A',  0,    0x0D, 0,    0x0A, 0,    0xE9, 0,    0x3D,
                                      0xD8, 0x00, 0xDE, 0x0D, 0,    0x0A, 0,    0x0D, 0,    0x0A, 0}));

    // A Linux file name in Latin-1 bytes, a stray continuation byte, an overlong form, a cut sequence
    // and an encoded surrogate come back byte for byte.
    Lines odd = {"/m/Caf\xE9/01.dsf", "x\x80y", "\xC0\xAF", "\xE2\x82", "\xED\xA0\x80"};
    ASSERT_TRUE(WriteTextLines(path, odd));
    Lines back;
    ASSERT_TRUE(ReadTextLines(path, back));
    EXPECT_EQ(back, odd);
}

TEST_F(ListFiles, IndexFiles_LoadSkipsEmptyLinesKeepsBlanksAndSaveWritesEvenNoName) {
    const std::string la = lists + "lpi.la";
    PlaylistNames = {"kept"};
    LoadPlaylistIndex(); // missing
    EXPECT_EQ(PlaylistNames, Lines{"kept"});
    WriteBytes(la, "");
    LoadPlaylistIndex(); // zero bytes
    EXPECT_EQ(PlaylistNames, Lines{"kept"});

    // Sorted without regard to case (É after e, Zulu before _x); equal names in different case keep
    // the file's order.
    WriteBytes(la, "\xEF\xBB\xBF"
                   "beta\n\n b \nZulu\n\xC3\x89t\xC3\xA9\nAlpha\nalpha\n_x\nEcho\n");
    LoadPlaylistIndex();
    EXPECT_EQ(PlaylistNames,
              (Lines{" b ", "Alpha", "alpha", "beta", "Echo", "Zulu", "_x", "\xC3\x89t\xC3\xA9"}));

    WriteBytes(lists + "lpli1.la", "Artist : Album\r\n\r\nB : C\r\n");
    LibraryOne = {"old"};
    LoadLibraryIndex();
    EXPECT_EQ(LibraryOne, (Lines{"Artist : Album", "B : C"})); // file order, unsorted

    WriteBytes(la, "old");
    PlaylistNames = {"b", "A"};
    EXPECT_TRUE(SavePlaylistIndex());
    EXPECT_EQ(ReadBytes(la), Utf16File({"b", "A"}));
    // No name left: the mark alone, which loads as no playlists.
    PlaylistNames.clear();
    EXPECT_TRUE(SavePlaylistIndex());
    EXPECT_EQ(ReadBytes(la), "\xFF\xFE");
    PlaylistNames = {"stale"};
    LoadPlaylistIndex();
    EXPECT_EQ(PlaylistNames, Lines{});
}

TEST_F(ListFiles, ReadSection_TakesDuplicateSectionsInFileOrderAndNeverHeaders) {
    const std::string lo = lists + "lpi.lo";
    // A line that begins with a surrogate pair is no header: dropping one unit would split the pair.
    WriteBytes(lo, Utf16File({"  /before", "\xF0\x9F\x98\x80Rock", "  /pair.dsf", "!Rock", "  /a.dsf", "  ",
                              "xy/edited.dsf", "", "!Jazz", "  /j.dsf", "!rock", "  /lower.dsf", "!Rock",
                              "!Rock", "  /b.dsf"}));
    EXPECT_EQ(ReadSection(lo, "Rock"), (Lines{"/a.dsf", "/edited.dsf", "/b.dsf"}));
    EXPECT_EQ(ReadSection(lo, "Jazz"), Lines{"/j.dsf"});
    EXPECT_TRUE(ReadSection(lo, "Blues").empty());
    EXPECT_TRUE(ReadSection(lists + "missing", "Rock").empty());

    // Sections apart in a file of mostly line ends, in each encoding.
    const std::string ends(100000, '\n');
    for (const std::string &bytes :
         {"!Rock" + ends + "  /c.dsf" + ends + "!Jazz\r\n  /j.dsf",
          "\xFF\xFE" + Utf16("!Rock" + ends + "  /c.dsf" + ends + "!Jazz\r\n  /j.dsf")}) {
        WriteBytes(lo, bytes);
        EXPECT_EQ(ReadSection(lo, "Rock"), Lines{"/c.dsf"});
        EXPECT_EQ(ReadSection(lo, "Jazz"), Lines{"/j.dsf"});
    }

    WriteBytes(lo, "  /a.dsf\r\n  /b.dsf\r\n"); // no header at all
    EXPECT_TRUE(ReadSection(lo, "a.dsf").empty());
    EXPECT_TRUE(ReadSection(lo, "/a.dsf").empty());
}

// The lists kept across starts come back as written, paths with a line feed and bytes that are not
// UTF-8 included, through the file and through SaveListsWhenChanged, which writes only on a change.
// Any damage (every cut, any changed byte, a byte more, fields out of range under a good checksum) is
// refused whole.
TEST_F(ListFiles, SavedLists_RoundTripAndRefuseAnyDamage) {
    SavedLists saved;
    saved.View = ViewLibrary;
    saved.Paths[0] = {"/music/a.dsf", std::string("/music/line\nfeed.dff"), "/music/\xE9t\xE9.dsf"};
    saved.Paths[1] = {std::string(4000, 'x')};
    const std::string bytes = EncodeSavedLists(saved);
    SavedLists back;
    ASSERT_TRUE(ParseSavedLists(bytes, back));
    EXPECT_EQ(back.View, saved.View);
    EXPECT_EQ(back.Paths, saved.Paths);

    auto refused = [&](const std::string &damaged) {
        SavedLists read;
        read.View = ViewList2;
        read.Paths[0] = {"stale"};
        return !ParseSavedLists(damaged, read) && read.View == ViewPlaylists && read.Paths[0].empty();
    };
    for (size_t cut = 0; cut < bytes.size(); cut += cut < 64 ? 1 : 997)
        EXPECT_TRUE(refused(bytes.substr(0, cut))) << cut;
    for (size_t at : {size_t{0}, size_t{8}, size_t{9}, size_t{12}, bytes.size() / 2, bytes.size() - 1}) {
        std::string changed = bytes;
        changed[at] = char(changed[at] ^ 0x10);
        EXPECT_TRUE(refused(changed)) << at;
    }
    EXPECT_TRUE(refused(bytes + '\0'));
    SavedLists wrong = saved;
    wrong.View = 5;
    EXPECT_TRUE(refused(EncodeSavedLists(wrong)));
    wrong = saved;
    wrong.Paths[1].assign(MaxListEntries + 1, "/m.dsf");
    EXPECT_TRUE(refused(EncodeSavedLists(wrong)));
    wrong = saved;
    wrong.Paths[1].push_back("");
    EXPECT_TRUE(refused(EncodeSavedLists(wrong)));

    // The program's lists through the file; nothing written while nothing changes.
    ListEntry entry = Entry("a", "/music/a.dsf");
    AppendEntry(2, entry);
    ActiveView = ViewList2;
    SaveListsWhenChanged();
    const std::string file = lists + SavedListsFile;
    ASSERT_TRUE(ReadSavedLists(back));
    EXPECT_EQ(back.View, ViewList2);
    EXPECT_EQ(back.Paths, (std::array<std::vector<std::string>, 2>{{{}, {"/music/a.dsf"}}}));
    std::filesystem::remove(file);
    SaveListsWhenChanged();
    EXPECT_FALSE(std::filesystem::exists(file)) << "unchanged";
    ClearList(2);
    SaveListsWhenChanged();
    ASSERT_TRUE(ReadSavedLists(back));
    EXPECT_TRUE(back.Paths[1].empty());
}
