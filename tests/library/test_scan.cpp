// The drive scan on folder trees built by the test, and the loads that probe tracks into a list.

#include "helpers.h"

#include "platform/files.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

using Scan = LibraryTest;

TEST_F(Scan, ScanLibrary_FindsAlbumFoldersPreOrderAtDepthsOneToFive) {
    // The album names a scan finds in a fresh tree of `paths`.
    auto albums = [&](const Lines &paths) {
        TempFolder fresh;
        Make(fresh.path, paths);
        LibraryOne.clear();
        std::remove((lists + "lpli1.la").c_str());
        ScanLibrary(fresh.path, 1); // LibraryOne is reloaded from the file written
        return LibraryOne;
    };
    EXPECT_EQ(albums({"01.dsf", "02.DFF"}), Lines{}) << "music in the root is no album";
    EXPECT_EQ(albums({"Music/Artist/Album/01.dsf", "Music/Artist/Album/Scans/x.dsf"}),
              Lines{"Artist : Album"})
        << "an album's subfolder is never entered";
    EXPECT_EQ(albums({"Music/Artist/CD1/a.dsf", "Music/Artist/CD2/b.dff", "Music/Artist/CD3/c.WV"}),
              (Lines{"Artist : CD1", "Artist : CD2", "Artist : CD3"}));
    EXPECT_EQ(albums({"Album/x.Dsf"}), Lines{"Album"}) << "a folder in the root names itself";
    EXPECT_EQ(albums({"A/2/3/4/5/a.dsf", "B/2/3/4/5/6/b.dsf"}), Lines{"4 : 5"}) << "depth 5 found, 6 not";
    EXPECT_EQ(albums({".git/Album/x.dsf", "M/.hidden/x.dsf", "M/a/.b/x.dsf"}), Lines{".git : Album"})
        << "dot names are entered only at the first level";
    EXPECT_EQ(albums({"b/t.dsf", "a/z/t.dsf", "a/y/t.dsf", "_x/t.dsf", "Zed/t.dsf"}),
              (Lines{"a : y", "a : z", "b", "Zed", "_x"}))
        << "depth first, in listing order";
    EXPECT_EQ(albums({"P/x.dsf.txt", "P/noext", "P/folder.dsf/", "Q/.dot.dsf", "R/s.wav", "S/t.wvc"}),
              Lines{"Q"})
        << "only .dsf, .dff and .wv files make an album; dot files count";
    EXPECT_EQ(albums({"Bad\nName/x.dsf", "Good/x.dsf"}), Lines{"Good"})
        << "a name with a line end is not entered";
    EXPECT_EQ(albums({"Caf\xE9/01.dsf"}), Lines{"Caf\xE9"}) << "a name that is not UTF-8 comes back";
}

TEST_F(Scan, ScanLibrary_AttributesKeepTheScanOutAtEveryDepth) {
    for (uint32_t attribute : {AttrHidden, AttrSystem, AttrReadOnly, AttrArchive, AttrHidden | AttrArchive}) {
        for (int depth = 1; depth <= 5; ++depth) {
            TempFolder fresh;
            Make(fresh.path, {"X/2/3/4/5/a.dsf", "Y/2/3/4/5/a.dsf"});
            std::string marked = fresh.path + "X";
            for (int d = 2; d <= depth; ++d) marked += "/" + std::to_string(d);
            ASSERT_TRUE(SetFileAttributes(marked, attribute));
            ScanLibrary(fresh.path, 1);
            EXPECT_EQ(LibraryOne, Lines{"4 : 5"}) << "attribute " << attribute << " at depth " << depth;
            EXPECT_EQ(ListFile("lpli1.lo").find("/X/"), std::string::npos);
        }
    }
    // A symbolic link to a folder is a reparse point at any depth; its target is found once.
    Make(drive, {"Real/Album/t.dsf", "Top/"});
    ASSERT_EQ(symlink((drive + "Real").c_str(), (drive + "Link").c_str()), 0);
    ASSERT_EQ(symlink((drive + "Real/Album").c_str(), (drive + "Top/Linked").c_str()), 0);
    ScanLibrary(drive, 1);
    EXPECT_EQ(LibraryOne, Lines{"Real : Album"});
}

TEST_F(Scan, ScanLibraryTool_WritesBothFilesByteExactFromOneListingAndPrintsTheAlbums) {
    Make(drive, {"Music/Artist/Album/02 B.dff", "Music/Artist/Album/01 A.dsf", "Music/Artist/Album/cover.jpg",
                 "Music/Artist/Album/.x.DSF", "Music/Artist/Album/Scans/s.dsf", "Solo/t.dsf"});
    FILE *out = popen((std::string(SCAN_LIBRARY_PATH) + " '" + drive + "' '" + lists + "'").c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string text;
    char buffer[256];
    while (size_t n = fread(buffer, 1, sizeof buffer, out)) text.append(buffer, n);
    EXPECT_EQ(pclose(out), 0);
    EXPECT_EQ(text, "Artist : Album\nSolo\n");
    const std::string a = drive + "Music/Artist/Album/";
    EXPECT_EQ(ListFile("lpli1.la"), Utf16File({"Artist : Album", "Solo"}));
    EXPECT_EQ(ListFile("lpli1.lo"), Utf16File({"!Artist : Album", "  " + a + ".x.DSF", "  " + a + "01 A.dsf",
                                               "  " + a + "02 B.dff", "!Solo", "  " + drive + "Solo/t.dsf"}));
}

TEST_F(Scan, ScanLibrary_ADriveWithoutAlbumsLeavesTheLibraryAsItWas) {
    const std::string la = Utf16File({"Old : Album"}), lo = Utf16File({"!Old : Album", "  /x.dsf"});
    WriteBytes(lists + "lpli1.la", la);
    WriteBytes(lists + "lpli1.lo", lo);
    LibraryOne = {"Old : Album"};
    for (const Lines &tree : {Lines{}, Lines{"root.dsf", "A/2/3/4/5/6/deep.dsf", ".Hidden/"}}) {
        Make(drive, tree);
        ScanLibrary(drive, 1);
        EXPECT_EQ(ListFile("lpli1.la"), la);
        EXPECT_EQ(ListFile("lpli1.lo"), lo);
        EXPECT_EQ(LibraryOne, Lines{"Old : Album"});
    }
    ScanLibrary(dir.path + "no such drive/", 1);
    EXPECT_EQ(ListFile("lpli1.la"), la);

    // Albums found, but the track file cannot be written (a full disk), or the index after it (made
    // read-only; the old album is still there, so the index is not written first): both files stay
    // as they were, and the result says which one failed and why.
    Make(drive, {"New/A/" + std::string(100, 'n') + ".dsf"});
    WriteResult result;
    {
        FileSizeLimit limit(60); // the new index (20 bytes) would fit, the track file does not
        result = ScanLibrary(drive, 1);
    }
    EXPECT_EQ(result.File + " " + std::strerror(result.Error), lists + "lpli1.lo " + std::strerror(EFBIG));
    Make(drive, {"Old/Album/x.dsf"});
    std::filesystem::permissions(lists + "lpli1.la", std::filesystem::perms::owner_read);
    result = ScanLibrary(drive, 1);
    EXPECT_EQ(result.File + " " + std::strerror(result.Error), lists + "lpli1.la " + std::strerror(EACCES));
    EXPECT_EQ(ListFile("lpli1.lo"), lo);
    EXPECT_EQ(ListFile("lpli1.la"), la);
    EXPECT_EQ(LibraryOne, Lines{"Old : Album"});
}

TEST_F(Scan, ScanLibrary_CutsNamesTo55UnitsAndNumbersTwinsSoEachLoadsItsOwnAlbum) {
    const std::string long_a = std::string(60, 'a') + "1", long_b = std::string(60, 'a') + "2";
    // "Art : " is 6 units; 48 more 'p' make 54, so the pair would be units 55 and 56.
    const std::string split = std::string(48, 'p') + "\xF0\x9F\x98\x80" + "tail";
    Make(drive, {"Art/" + long_a + "/1.dsf", "Art/" + long_a + "/2.dsf", "Art/" + long_b + "/3.dsf",
                 "Art/" + split + "/4.dsf", "Art/Live (2)/5.dsf", "Art/Live/6.dsf", "Box/Art/Live/7.dsf"});
    ScanLibrary(drive, 1);
    const std::string cut = "Art : " + std::string(49, 'a');
    // A cut twin and a twin of both "Art : Live" and the folder "Live (2)" take the next free number.
    const Lines names = {cut,
                         cut.substr(0, 51) + " (2)",
                         "Art : Live",
                         "Art : Live (2)",
                         "Art : " + std::string(48, 'p'),
                         "Art : Live (3)"};
    ASSERT_EQ(LibraryOne, names);
    EXPECT_EQ(ListFile("lpli1.la"), Utf16File(names));

    const Lines tracks[] = {{"Art/" + long_a + "/1.dsf", "Art/" + long_a + "/2.dsf"},
                            {"Art/" + long_b + "/3.dsf"},
                            {"Art/Live/6.dsf"},
                            {"Art/Live (2)/5.dsf"},
                            {"Art/" + split + "/4.dsf"},
                            {"Box/Art/Live/7.dsf"}};
    for (size_t k = 0; k < names.size(); ++k) {
        Lines want;
        for (const std::string &track : tracks[k]) want.push_back(drive + track);
        EXPECT_EQ(LoadAlbum(names[k], 1), want) << names[k];
    }
}

TEST_F(Scan, LoadSection_ProbesEveryPlayablePathAndKeepsTheFirstSix) {
    Lines section = {"!Big"};
    for (std::string track : {"1.DSF", "2.DSF", "missing.dsf", "empty.dsf", "song.wav", "refused.dsf",
                              "3.DSF", "4.dsf", "5.DSF", "6.DSF", "7.DSF", "8.DSF", "9.DSF"}) {
        if (track != "missing.dsf") WriteBytes(drive + track, track == "empty.dsf" ? "" : "DSD ");
        section.push_back("  " + drive + track);
    }
    ASSERT_TRUE(WriteTextLines(lists + "lpli1.lo", section));
    FakeAdd(LoadAlbum("Big", 1));
    ASSERT_EQ(ProbedPaths.size(), 10u); // nine tracks and the one the probe refuses
    ASSERT_EQ(Titles(ListOf(1).Entries), (Lines{"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(ListOf(1).Entries[3].Extension, "dsf"); // as written in the path
    EXPECT_EQ(ListOf(1).Bytes, 6 * 4);
    EXPECT_TRUE(ListOf(2).Entries.empty());
}

TEST_F(Scan, AddFolderFiles_AppendsTheFolderOwnMusicFilesToTheShownListOnly) {
    Lines expected;
    for (char c = 'h'; c >= 'a'; --c) Make(drive, {std::string("Drop/") + c + ".dsf"});
    for (char c = 'a'; c <= 'h'; ++c) expected.push_back(drive + "Drop/" + c + ".dsf");
    Make(drive, {"Drop/.hidden.dsf", "Drop/notes.txt", "Drop/Sub/z.dsf", "Drop/dir.dff/"});
    for (uint8_t view : {ViewPlaylists, ViewLibrary, ViewList2}) {
        ActiveView = view;
        ProbedPaths.clear();
        FakeAdd(AddFolderFiles(drive + "Drop"));
        EXPECT_EQ(ProbedPaths, expected);
    }
    EXPECT_TRUE(ListOf(1).Entries.empty());
    ASSERT_EQ(Titles(ListOf(2).Entries), (Lines{"a", "b", "c", "d", "e", "f"})); // views 3 and 4 take nothing
    EXPECT_EQ(ListOf(2).Entries[0].Extension, "dsf");                            // as written in the path
    EXPECT_EQ(ListOf(2).Bytes, 6 * 4);
}
