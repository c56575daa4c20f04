// The drive scan on folder trees built by the test, and the loads that probe tracks into a list.

#include "helpers.h"

#include "platform/files.h"

#include <cstdio>
#include <unistd.h>

using Lines = std::vector<std::string>;

namespace {

class Scan : public ::testing::Test {
  protected:
    void SetUp() override {
        drive = dir.path() + "drive/";
        lists = dir.path() + "lpli/";
        MakeFolders(drive);
        MakeFolders(lists);
        ResetModel(lists);
    }
    // Creates each path below the drive: a file, or a folder when it ends in '/'.
    void Make(const Lines &paths) {
        for (const std::string &p : paths) {
            if (p.back() == '/')
                MakeFolders(drive + p);
            else
                WriteBytes(drive + p, "DSD ");
        }
    }
    std::string AlbumIndex() { return ReadBytes(lists + "lpli1.la"); }
    std::string AlbumTracks() { return ReadBytes(lists + "lpli1.lo"); }

    TempFolder dir;
    std::string drive, lists;
};

std::string Utf16Lines(const Lines &lines) {
    std::string out = "\xFF\xFE";
    AppendUtf16Lines(out, lines);
    return out;
}

} // namespace

TEST_F(Scan, ScanLibrary_FindsAlbumFoldersPreOrderAtDepthsOneToFive) {
    struct Case {
        const char *what;
        Lines paths;
        Lines albums;
    } cases[] = {
        {"music directly in the root is no album", {"01.dsf", "02.DFF"}, {}},
        {"an album's subfolder is never entered",
         {"Music/Artist/Album/01.dsf", "Music/Artist/Album/Scans/x.dsf"},
         {"Artist : Album"}},
        {"discs of one artist",
         {"Music/Artist/CD1/a.dsf", "Music/Artist/CD2/b.dff"},
         {"Artist : CD1", "Artist : CD2"}},
        {"a folder in the root names itself", {"Album/x.Dsf"}, {"Album"}},
        {"depth 5 is found, depth 6 is not", {"A/2/3/4/5/a.dsf", "B/2/3/4/5/6/b.dsf"}, {"4 : 5"}},
        {"dot names are entered only at the first level",
         {".git/Album/x.dsf", "M/.hidden/x.dsf", "M/a/.b/x.dsf"},
         {".git : Album"}},
        {"depth first, in listing order",
         {"b/t.dsf", "a/z/t.dsf", "a/y/t.dsf", "_x/t.dsf", "Zed/t.dsf"},
         {"a : y", "a : z", "b", "Zed", "_x"}},
        {"only .dsf and .dff files make an album; dot files count",
         {"P/x.dsf.txt", "P/noext", "P/folder.dsf/", "Q/.dot.dsf", "R/s.wav"},
         {"Q"}},
        {"a folder whose name holds a line end is not entered", {"Bad\nName/x.dsf", "Good/x.dsf"}, {"Good"}},
    };
    for (const Case &c : cases) {
        TempFolder fresh;
        drive = fresh.path();
        Make(c.paths);
        LibraryOne.clear();
        std::remove((lists + "lpli1.la").c_str());
        ScanLibrary(drive, 1);
        EXPECT_EQ(LibraryOne, c.albums) << c.what;
    }
}

TEST_F(Scan, ScanLibrary_AttributesKeepTheScanOutAtEveryDepth) {
    const uint32_t attributes[] = {AttrHidden, AttrSystem, AttrReadOnly, AttrArchive,
                                   AttrHidden | AttrArchive};
    for (uint32_t attribute : attributes) {
        for (int depth = 1; depth <= 5; ++depth) {
            TempFolder fresh;
            drive = fresh.path();
            Make({"X/2/3/4/5/a.dsf", "Y/2/3/4/5/a.dsf"});
            std::string marked = drive + "X";
            for (int d = 2; d <= depth; ++d) marked += "/" + std::to_string(d);
            ASSERT_TRUE(SetFileAttributes(marked, attribute));
            ASSERT_EQ(GetFileAttributes(marked), AttrDirectory | attribute);
            ScanLibrary(drive, 1);
            EXPECT_EQ(LibraryOne, Lines{"4 : 5"}) << "attribute " << attribute << " at depth " << depth;
            EXPECT_EQ(AlbumTracks().find("/X/"), std::string::npos);
        }
    }
    // A symbolic link to a folder is a reparse point at any depth; its target is found once.
    TempFolder fresh;
    drive = fresh.path();
    Make({"Real/Album/t.dsf", "Top/"});
    ASSERT_EQ(symlink((drive + "Real").c_str(), (drive + "Link").c_str()), 0);
    ASSERT_EQ(symlink((drive + "Real/Album").c_str(), (drive + "Top/Linked").c_str()), 0);
    ScanLibrary(drive, 1);
    EXPECT_EQ(LibraryOne, Lines{"Real : Album"});
}

TEST_F(Scan, ScanLibrary_WritesBothFilesByteExactFromOneListing) {
    Make({"Music/Artist/Album/02 B.dff", "Music/Artist/Album/01 A.dsf", "Music/Artist/Album/cover.jpg",
          "Music/Artist/Album/.x.DSF", "Music/Artist/Album/Scans/s.dsf", "Solo/t.dsf"});
    ScanLibrary(drive, 1);
    const std::string a = drive + "Music/Artist/Album/";
    EXPECT_EQ(AlbumIndex(), Utf16Lines({"Artist : Album", "Solo"}));
    EXPECT_EQ(AlbumTracks(), Utf16Lines({"!Artist : Album", "  " + a + ".x.DSF", "  " + a + "01 A.dsf",
                                         "  " + a + "02 B.dff", "!Solo", "  " + drive + "Solo/t.dsf"}));
}

TEST_F(Scan, ScanLibrary_ADriveWithoutAlbumsLeavesTheLibraryAsItWas) {
    const std::string la = "\xFF\xFE" + Utf16("Old : Album\r\n"),
                      lo = "\xFF\xFE" + Utf16("!Old : Album\r\n  /x.dsf\r\n");
    WriteBytes(lists + "lpli1.la", la);
    WriteBytes(lists + "lpli1.lo", lo);
    LibraryOne = {"Old : Album"};
    for (const Lines &tree : {Lines{}, Lines{"root.dsf", "A/2/3/4/5/6/deep.dsf", ".Hidden/"}}) {
        Make(tree);
        ScanLibrary(drive, 1);
        EXPECT_EQ(AlbumIndex(), la);
        EXPECT_EQ(AlbumTracks(), lo);
        EXPECT_EQ(LibraryOne, Lines{"Old : Album"});
    }
    ScanLibrary(dir.path() + "no such drive/", 1);
    EXPECT_EQ(AlbumIndex(), la);
}

TEST_F(Scan, ScanLibrary_CutsNamesTo55UnitsAndLoadsCutTwinsAsOneAlbum) {
    const std::string long_a = std::string(60, 'a') + "1", long_b = std::string(60, 'a') + "2";
    const std::string pair = "\xF0\x9F\x98\x80"; // two UTF-16 units
    // "Art : " is 6 units; 48 more 'p' make 54, so the pair would be units 55 and 56.
    const std::string split = std::string(48, 'p') + pair + "tail";
    Make({"Art/" + long_a + "/1.dsf", "Art/" + long_a + "/2.dsf", "Art/" + long_b + "/3.dsf",
          "Art/" + split + "/4.dsf"});
    ScanLibrary(drive, 1);
    const std::string cut = "Art : " + std::string(49, 'a');
    ASSERT_EQ(LibraryOne, (Lines{cut, cut, "Art : " + std::string(48, 'p')}));
    for (const std::string &name : LibraryOne) EXPECT_LE(Utf16Length(name), 55u);

    LoadAlbum(cut, 1);
    EXPECT_EQ(ProbedPaths, (Lines{drive + "Art/" + long_a + "/1.dsf", drive + "Art/" + long_a + "/2.dsf",
                                  drive + "Art/" + long_b + "/3.dsf"}));
    EXPECT_EQ(List1.size(), 3u);
}

TEST_F(Scan, ScanLibrary_KeepsFolderNamesThatAreNotUtf8ThroughTheFiles) {
    Make({"Caf\xE9/01.dsf"});
    ScanLibrary(drive, 1);
    ASSERT_EQ(LibraryOne, Lines{"Caf\xE9"});
    LibraryOne.clear();
    LoadLibraryIndex();
    ASSERT_EQ(LibraryOne, Lines{"Caf\xE9"});
    LoadAlbum(LibraryOne[0], 1);
    ASSERT_EQ(List1.size(), 1u);
    EXPECT_EQ(List1[0].Path, drive + "Caf\xE9/01.dsf");
}

TEST_F(Scan, ScanLibraryTool_PrintsTheAlbumNames) {
    Make({"Music/Artist/CD1/a.dsf", "Music/Artist/CD2/b.dsf"});
    std::string command = std::string(SCAN_LIBRARY_PATH) + " '" + drive + "' '" + lists + "'";
    FILE *out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string text;
    char buffer[256];
    while (size_t n = fread(buffer, 1, sizeof buffer, out)) text.append(buffer, n);
    EXPECT_EQ(pclose(out), 0);
    EXPECT_EQ(text, "Artist : CD1\nArtist : CD2\n");
}

TEST_F(Scan, LoadSection_ProbesEveryPlayablePathAndKeepsTheFirstSix) {
    Lines section = {"!Big"};
    for (int i = 1; i <= 9; ++i) {
        std::string path = drive + "Big/" + std::to_string(i) + (i == 4 ? ".dsf" : ".DSF");
        WriteBytes(path, std::string(size_t(i), 'x'));
        section.push_back("  " + path);
    }
    WriteBytes(drive + "Big/empty.dsf", "");
    WriteBytes(drive + "Big/song.wav", "wave");
    WriteBytes(drive + "Big/refused.dsf", "no");
    section.insert(section.begin() + 2, {"  " + drive + "Big/missing.dsf", "  " + drive + "Big/empty.dsf",
                                         "  " + drive + "Big/song.wav", "  " + drive + "Big/refused.dsf"});
    ASSERT_TRUE(WriteTextLines(lists + "lpli1.lo", section));

    LoadAlbum("Big", 1);
    ASSERT_EQ(ProbedPaths.size(), 10u);    // nine tracks and the one the probe refuses
    EXPECT_EQ(ProbedExtensions[4], "dsf"); // track 4 as written in the path
    ASSERT_EQ(List1.size(), 6u);
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(List1[i].Title, std::to_string(i + 1));
    EXPECT_EQ(ListBytes1, 1 + 2 + 3 + 4 + 5 + 6);
    EXPECT_TRUE(List2.empty());
}

TEST_F(Scan, AppendToActiveList_GoesToTheShownListOnlyAndShowsEachEntry) {
    static std::vector<std::pair<int, size_t>> shown;
    static int events;
    shown.clear();
    events = 0;
    LibraryProcs.ShowAppendedEntry = [](int list, size_t index) { shown.emplace_back(list, index); };
    LibraryProcs.PassOneEvent = [] { ++events; };
    TrackInfo = Entry("t", "/t.dsf");
    TrackInfo.Length = 10;
    for (uint8_t view : {ViewPlaylists, ViewLibrary, ViewList2, ViewList2}) {
        ActiveView = view;
        AppendToActiveList();
    }
    TrackInfo.Title = "changed later";
    EXPECT_EQ(List1.size(), 0u);
    ASSERT_EQ(List2.size(), 2u);
    EXPECT_EQ(List2[0].Title, "t"); // a copy, not a reference to TrackInfo
    EXPECT_EQ(ListBytes2, 20);
    EXPECT_EQ(shown, (std::vector<std::pair<int, size_t>>{{2, 0}, {2, 1}}));
    EXPECT_EQ(events, 4);
}

TEST_F(Scan, AddFolderFiles_TakesTheFolderOwnMusicFilesInListingOrder) {
    for (char c = 'h'; c >= 'a'; --c) WriteBytes(drive + "Drop/" + c + ".dsf", "x");
    Make({"Drop/.hidden.dsf", "Drop/notes.txt", "Drop/Sub/z.dsf", "Drop/dir.dff/"});
    AddFolderFiles(drive + "Drop/");
    EXPECT_EQ(ProbedPaths, (Lines{drive + "Drop/a.dsf", drive + "Drop/b.dsf", drive + "Drop/c.dsf",
                                  drive + "Drop/d.dsf", drive + "Drop/e.dsf", drive + "Drop/f.dsf",
                                  drive + "Drop/g.dsf", drive + "Drop/h.dsf"}));
    EXPECT_EQ(ProbedExtensions[0], "DSF");
    ASSERT_EQ(List1.size(), 6u);
    EXPECT_EQ(List1[5].Title, "f");
}
