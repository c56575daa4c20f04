// Tags inside DSF, DFF and WavPack files: which fields and which picture the reader takes, and the
// cover file the program shows of them.

#include "helpers.h"
#include "tagged.h"

#include <sys/stat.h>

namespace {

std::string Png(const std::string &body) {
    return "\x89PNG\r\n\x1A\n" + body;
}
std::string Jpeg(const std::string &body) {
    return "\xFF\xD8\xFF\xE0" + body;
}

TestDsdShape Shape(TestDsdKind kind) {
    TestDsdShape s;
    s.kind = kind;
    s.samples = 8 * 4096;
    return s;
}

} // namespace

TEST(Tags, ReadTrackTags_TakesEachKindOfTagWhereTheFileKeepsIt) {
    const TestDsdShape dsf = Shape(TestDsdKind::DsfLsb), dff = Shape(TestDsdKind::Dff);
    const TestTagFields full = {
        "Kyrie", "Chœur", "Missa", "3/12", {{0, "image/jpeg", Jpeg("back")}, {3, "image/png", Png("front")}}};
    const TestTagFields backOnly = {"Gloria", "", "", "", {{0, "image/jpeg", Jpeg("other")}}};
    std::string pointerPastEnd = DsfWithTag(dsf, Id3v2Tag(4, full));
    pointerPastEnd.replace(20, 8, std::string("\xFF\xFF\xFF\x00\x00\x00\x00\x00", 8));
    const std::string id3Chunk = DffChunk("ID3 ", Id3v2Tag(4, full));
    std::string chunkTooLong = DffWithChunks(dff, {id3Chunk});
    chunkTooLong[chunkTooLong.size() - id3Chunk.size() + 11] += 2; // the size outgrows the form
    const TestTagFields gif = {"Credo", "", "", "", {{3, "image/gif", "GIF89a..."}}};

    struct Case {
        const char *what, *name;
        std::string bytes;
        TrackTags expected;
    };
    const std::vector<Case> cases = {
        {"DSF, ID3v2.3 in UTF-16: the front cover among two",
         "a.dsf",
         DsfWithTag(dsf, Id3v2Tag(3, full)),
         {"Kyrie", "Chœur", "Missa", 3, Png("front")}},
        {"DSF, ID3v2.4 in UTF-8: the first picture without a front cover",
         "b.DSF",
         DsfWithTag(dsf, Id3v2Tag(4, backOnly)),
         {"Gloria", "", "", 0, Jpeg("other")}},
        {"DSF without a tag", "c.dsf", DsfWithTag(dsf, ""), {}},
        {"DSF pointing past its end", "d.dsf", pointerPastEnd, {}},
        {"DFF: ID3 first, DIIN for the fields it lacks, in any chunk order",
         "e.dff",
         DffWithChunks(dff,
                       {DiinChunk("Diin title", "Diin artist"), DffChunk("ID3 ", Id3v2Tag(4, backOnly))}),
         {"Gloria", "Diin artist", "", 0, Jpeg("other")}},
        {"DFF with DIIN alone: UTF-8 kept, other bytes Latin-1, a zero ends",
         "f.dff",
         DffWithChunks(dff, {DiinChunk("Agnus Dei\xC3\xA9", std::string("Ch\xE9ur\0junk", 10))}),
         {"Agnus Dei\xC3\xA9", "Ch\xC3\xA9ur", "", 0, ""}},
        {"DFF whose chunk outgrows the form", "g.dff", chunkTooLong, {}},
        {"a picture that is neither PNG nor JPEG",
         "h.dsf",
         DsfWithTag(dsf, Id3v2Tag(3, gif)),
         {"Credo", "", "", 0, ""}},
        {"WavPack, APEv2: the front cover item",
         "i.wv",
         "wvpk" + std::string(60, '\0') + ApeTag(full),
         {"Kyrie", "Chœur", "Missa", 3, Png("front")}},
        {"WavPack with a back cover only",
         "j.wv",
         "wvpk" + std::string(60, '\0') + ApeTag(backOnly),
         {"Gloria", "", "", 0, Jpeg("other")}},
        {"an ID3v2 tag in a file of another kind", "k.wav", DsfWithTag(dsf, Id3v2Tag(4, full)), {}},
    };
    TempFolder dir;
    for (const Case &c : cases) {
        const TrackTags t = ReadTrackTags(dir.File(c.name, c.bytes));
        const TrackTags &e = c.expected;
        EXPECT_EQ(t.Title, e.Title) << c.what;
        EXPECT_EQ(t.Artist, e.Artist) << c.what;
        EXPECT_EQ(t.Album, e.Album) << c.what;
        EXPECT_EQ(t.TrackNumber, e.TrackNumber) << c.what;
        EXPECT_EQ(t.Picture, e.Picture) << c.what;
    }
    EXPECT_EQ(ReadTrackTags(dir.path + "missing.dsf").Title, "");
}

TEST(Tags, TagsOfTrack_ReadsOnceAndWritesTheCoverIntoTheCacheOnce) {
    TempFolder dir;
    setenv("XDG_CACHE_HOME", (dir.path + "cache").c_str(), 1);
    const std::string picture = Png(std::string(5000, 'x'));
    const TestTagFields fields = {"Sanctus", "", "", "", {{3, "image/png", picture}}};
    const TestDsdShape dsf = Shape(TestDsdKind::DsfLsb);
    ListEntry a = Entry("01 Sanctus", dir.File("01 Sanctus.dsf", DsfWithTag(dsf, Id3v2Tag(3, fields))));
    ListEntry b = Entry("02 Same cover", dir.File("02.dsf", DsfWithTag(dsf, Id3v2Tag(4, fields))));
    a.TrackId = 7, b.TrackId = 9;
    ClearList(1);
    AppendEntry(1, a);
    AppendEntry(1, b);

    const ShownTags first = TagsOfTrack(7);
    EXPECT_EQ(first.Tags.Title, "Sanctus");
    EXPECT_TRUE(first.Tags.Picture.empty()) << "kept in the file";
    EXPECT_EQ(first.CoverFile.rfind(dir.path + "cache/groovestone-dsd/covers/", 0), 0u) << first.CoverFile;
    EXPECT_EQ(ReadBytes(first.CoverFile), picture);
    // Read once: a change of the file is not seen while the same track is asked for.
    WriteBytes(a.Path, DsfWithTag(dsf, ""));
    EXPECT_EQ(TagsOfTrack(7).Tags.Title, "Sanctus");
    // The same picture in another file: the same cover file, not written again (a write would
    // rename a new file over it).
    struct stat before {
    }, after{};
    ASSERT_EQ(stat(first.CoverFile.c_str(), &before), 0);
    EXPECT_EQ(TagsOfTrack(9).CoverFile, first.CoverFile);
    ASSERT_EQ(stat(first.CoverFile.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(TagsOfTrack(7).Tags.Title, "") << "read anew after another track";
    EXPECT_EQ(TagsOfTrack(11).Tags.Title, "") << "no entry";
    ClearList(1);
    unsetenv("XDG_CACHE_HOME");
}
