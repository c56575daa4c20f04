// The list file reader and writers, the index loaders and the section reader, on files written byte
// by byte.

#include "helpers.h"

using Lines = std::vector<std::string>;

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += char(v);
    return out;
}

class ListFiles : public ::testing::Test {
  protected:
    void SetUp() override { ResetModel(dir.path()); }
    TempFolder dir;
};

} // namespace

TEST_F(ListFiles, ReadTextLines_DecodesEveryEncodingAndLineEnd) {
    const std::string bom16 = "\xFF\xFE", bom8 = "\xEF\xBB\xBF";
    struct Case {
        const char *what;
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"UTF-16LE, CR LF", bom16 + Utf16("ab\r\ncd\r\n"), {"ab", "cd"}},
        {"UTF-16LE, lone CR and LF, last line without end", bom16 + Utf16("a\rb\nc"), {"a", "b", "c"}},
        {"UTF-16LE, empty lines and blanks kept", bom16 + Utf16("\r\n  x \r\n\r\n"), {"", "  x ", ""}},
        {"UTF-16LE, CR CR LF is two ends", bom16 + Utf16("a\r\r\nb"), {"a", "", "b"}},
        {"UTF-16LE, a zero unit ends the line",
         bom16 + Utf16("ab") + Bytes({0, 0}) + Utf16("cd\r\n"),
         {"ab", "cd"}},
        {"UTF-16LE, Latin-1 and a surrogate pair",
         bom16 + Bytes({0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE, 0x0D, 0, 0x0A, 0}),
         {"\xC3\xA9\xF0\x9F\x98\x80"}},
        {"UTF-16LE, an odd last byte is no character", bom16 + Utf16("ab") + Bytes({0x41}), {"ab"}},
        {"UTF-8 with mark", bom8 + "caf\xC3\xA9\nx\r\ny\rz", {"caf\xC3\xA9", "x", "y", "z"}},
        {"UTF-8, a zero byte ends the line", bom8 + std::string("a\0b", 3), {"a", "b"}},
        {"Windows-1252 without mark",
         Bytes({'c', 0xE9, 0x80, '\r', '\n', 0x9F, 0x81, 0x8A}),
         {"c\xC3\xA9\xE2\x82\xAC", "\xC5\xB8\xC2\x81\xC5\xA0"}},
        {"Windows-1252, blank line at the end", std::string("a\n\n"), {"a", ""}},
        {"only a mark", bom16, {}},
    };
    for (const Case &c : cases) {
        WriteBytes(dir.path() + "f", c.bytes);
        Lines lines{"stale"};
        EXPECT_TRUE(ReadTextLines(dir.path() + "f", lines)) << c.what;
        EXPECT_EQ(lines, c.lines) << c.what;
    }
    Lines lines{"stale"};
    EXPECT_FALSE(ReadTextLines(dir.path() + "missing", lines));
    EXPECT_TRUE(lines.empty());
    for (std::string mark : {Bytes({0xFE, 0xFF}), Bytes({0xFF, 0xFE, 0, 0}), Bytes({0, 0, 0xFE, 0xFF})}) {
        WriteBytes(dir.path() + "f", mark + Utf16("abc"));
        EXPECT_FALSE(ReadTextLines(dir.path() + "f", lines));
    }
}

TEST_F(ListFiles, Writer_WritesMarkAndCrLfAndKeepsNamesThatAreNotUtf8) {
    const std::string path = dir.path() + "out";
    ASSERT_TRUE(WriteTextLines(path, {"A", "\xC3\xA9\xF0\x9F\x98\x80", ""}));
    EXPECT_EQ(ReadBytes(path), Bytes({0xFF, 0xFE, 'A',  0,    0x0D, 0,    0x0A, 0,    0xE9, 0,    0x3D,
                                      0xD8, 0x00, 0xDE, 0x0D, 0,    0x0A, 0,    0x0D, 0,    0x0A, 0}));

    // A Linux file name in Latin-1 bytes, a stray continuation byte, an overlong form and a cut
    // sequence come back byte for byte.
    Lines odd = {"/m/Caf\xE9/01.dsf", "x\x80y", "\xC0\xAF", "\xE2\x82", "\xED\xA0\x80"};
    ASSERT_TRUE(WriteTextLines(path, odd));
    Lines back;
    ASSERT_TRUE(ReadTextLines(path, back));
    EXPECT_EQ(back, odd);
}

TEST_F(ListFiles, Cuts_CountUtf16UnitsAndNeverSplitAPair) {
    const std::string pair = "\xF0\x9F\x98\x80"; // U+1F600: two units
    EXPECT_EQ(Utf16Length("a" + pair + "\xC3\xA9"), 4u);
    EXPECT_EQ(CutToUnits("ab" + pair, 3), "ab");
    EXPECT_EQ(CutToUnits("ab" + pair, 4), "ab" + pair);
    EXPECT_EQ(CutToUnits("\xC3\xA9\xC3\xA9", 1), "\xC3\xA9");
    std::string rest;
    EXPECT_FALSE(DropUnits(pair + "x", 1, rest));
    EXPECT_TRUE(DropUnits(pair + "x", 2, rest));
    EXPECT_EQ(rest, "x");
}

TEST_F(ListFiles, IndexLoaders_SkipEmptyLinesKeepBlanksAndLeaveTheListOnAnEmptyFile) {
    const std::string la = dir.path() + "lpi.la";
    PlaylistNames = {"kept"};
    LoadPlaylistIndex(); // missing
    EXPECT_EQ(PlaylistNames, Lines{"kept"});
    WriteBytes(la, "");
    LoadPlaylistIndex(); // zero bytes
    EXPECT_EQ(PlaylistNames, Lines{"kept"});

    // UTF-8, sorted without regard to case (É after e, Zulu before _x); equal names in different
    // case keep the file's order.
    WriteBytes(la, "\xEF\xBB\xBF"
                   "beta\n\n b \nZulu\n\xC3\x89t\xC3\xA9\nAlpha\nalpha\n_x\nEcho\n");
    LoadPlaylistIndex();
    EXPECT_EQ(PlaylistNames,
              (Lines{" b ", "Alpha", "alpha", "beta", "Echo", "Zulu", "_x", "\xC3\x89t\xC3\xA9"}));

    WriteBytes(dir.path() + "lpli1.la", "Artist : Album\r\n\r\nB : C\r\n");
    LibraryOne = {"old"};
    LoadLibraryIndex();
    EXPECT_EQ(LibraryOne, (Lines{"Artist : Album", "B : C"})); // file order, unsorted
}

TEST_F(ListFiles, SavePlaylistIndex_RewritesInListOrderAndNeverEmptiesTheFile) {
    const std::string la = dir.path() + "lpi.la";
    WriteBytes(la, "old");
    PlaylistNames.clear();
    SavePlaylistIndex();
    EXPECT_EQ(ReadBytes(la), "old");
    PlaylistNames = {"b", "A"};
    SavePlaylistIndex();
    EXPECT_EQ(ReadBytes(la), "\xFF\xFE" + Utf16("b\r\nA\r\n"));
}

TEST_F(ListFiles, ReadSection_TakesDuplicateSectionsInFileOrderAndNeverHeaders) {
    const std::string lo = dir.path() + "lpi.lo";
    WriteBytes(lo, "\xFF\xFE" + Utf16("  /before\r\n"
                                      "!Rock\r\n"
                                      "  /a.dsf\r\n"
                                      "  \r\n"
                                      "xy/edited.dsf\r\n"
                                      "\r\n"
                                      "!Jazz\r\n"
                                      "  /j.dsf\r\n"
                                      "!rock\r\n"
                                      "  /lower.dsf\r\n"
                                      "!Rock\r\n"
                                      "!Rock\r\n"
                                      "  /b.dsf\r\n"));
    EXPECT_EQ(ReadSection(lo, "Rock"), (Lines{"/a.dsf", "/edited.dsf", "/b.dsf"}));
    EXPECT_EQ(ReadSection(lo, "Jazz"), Lines{"/j.dsf"});
    EXPECT_TRUE(ReadSection(lo, "Blues").empty());
    EXPECT_TRUE(ReadSection(dir.path() + "missing", "Rock").empty());

    WriteBytes(lo, "  /a.dsf\r\n  /b.dsf\r\n"); // no header at all
    EXPECT_TRUE(ReadSection(lo, "a.dsf").empty());
    EXPECT_TRUE(ReadSection(lo, "/a.dsf").empty());
}

TEST_F(ListFiles, Rewrites_AFailedWriteLeavesTheOldFileWhole) {
    const std::string la = dir.path() + "lpi.la";
    WriteBytes(la, "\xFF\xFE" + Utf16("old\r\n"));
    const std::string before = ReadBytes(la);
    PlaylistNames.assign(200, std::string(50, 'n'));
    {
        FileSizeLimit limit(4096); // the new file holds about 20 KB
        SavePlaylistIndex();
        EXPECT_FALSE(WriteTextLines(la, PlaylistNames));
    }
    EXPECT_EQ(ReadBytes(la), before);
    ASSERT_TRUE(WriteTextLines(la, PlaylistNames)); // and without the limit it works
    EXPECT_NE(ReadBytes(la), before);
}
