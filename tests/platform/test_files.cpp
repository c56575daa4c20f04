// Files, attributes, sizes, folder listings and whole-file writes of the platform layer.

#include "fixtures.h"
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <set>

namespace {

std::vector<std::string> Names(const std::vector<DirEntry> &entries) {
    std::vector<std::string> names;
    for (const DirEntry &e : entries) names.push_back(e.Name);
    return names;
}

std::vector<std::string> Listed(const std::string &folder) {
    std::vector<DirEntry> entries;
    EXPECT_TRUE(ListDirectory(folder, "*", entries));
    return Names(entries);
}

std::string Chmod(const std::string &path, mode_t mode) {
    chmod(path.c_str(), mode);
    return path;
}

std::string Link(const std::string &target, const std::string &path) {
    symlink(target.c_str(), path.c_str());
    return path;
}

// Whether the folder's file system keeps "user." extended attributes.
bool KeepsXattrs(const std::string &folder) {
    const std::string probe = folder + ".probe";
    WriteBytes(probe, "x");
    const bool kept = setxattr(probe.c_str(), "user.DOSATTRIB", "0x0", 3, 0) == 0;
    unlink(probe.c_str());
    return kept;
}

// Where the attribute tests make their folders: the temporary folder, or where it refuses "user."
// attributes (tmpfs before Linux 6.6) the current folder, which CTest makes the build folder.
std::string XattrBase() {
    static const std::string base = KeepsXattrs(TempFolder().path) ? "" : ".";
    return base;
}

TEST(Attributes, ComeFromTypeWriteBitsLinksAndDosAttrib) {
    TempFolder t(XattrBase());
    if (!KeepsXattrs(t.path)) GTEST_SKIP() << "no file system here keeps user. extended attributes";
    auto set = [](const std::string &path, uint32_t attributes) {
        EXPECT_TRUE(SetFileAttributes(path, attributes)) << path;
        return path;
    };
    auto raw = [](const std::string &path, const std::string &value) {
        setxattr(path.c_str(), "user.DOSATTRIB", value.data(), value.size(), 0);
        return path;
    };
    const std::pair<std::string, uint32_t> cases[] = {
        {t.File("plain"), 0},
        {set(t.File("library.so"), AttrHidden | AttrSystem), 0x06},
        {Chmod(t.File("locked"), 0444), AttrReadOnly},
        {set(set(t.File("was-locked"), AttrReadOnly | AttrArchive), 0), 0},
        {raw(t.File("samba"), std::string("0x22\0\0\0\3\0\3\0\0\0\x11\0\0\0", 16)), AttrHidden | AttrArchive},
        {raw(t.File("junk"), std::string("\x02\x00", 2)), 0},
        {t.Folder("dir"), AttrDirectory},
        {Chmod(t.Folder("rx-dir"), 0555), AttrDirectory}, // permission bits of a folder are access rights
        {set(t.Folder("ro-dir"), AttrReadOnly | AttrHidden), AttrDirectory | AttrReadOnly | AttrHidden},
        {Link(t.File("target"), t.path + "link"), AttrReparsePoint},
        {Link(t.Folder("target-dir"), t.path + "dir-link") + "/", AttrReparsePoint | AttrDirectory},
        {Link("nowhere", t.path + "dangling"), AttrReparsePoint},
        {t.path + "missing", AttrInvalid},
    };
    for (const auto &[path, attributes] : cases) EXPECT_EQ(GetFileAttributes(path), attributes) << path;

    // The listing agrees with GetFileAttributes entry by entry; with FolderDetails only for folders and
    // links.
    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(t.path, "*", entries));
    EXPECT_EQ(entries.size(), std::size(cases) + 1) << "every case's entry less the missing one, two targets";
    for (const DirEntry &e : entries) {
        EXPECT_EQ(e.Attributes, GetFileAttributes(t.path + e.Name)) << e.Name;
        EXPECT_EQ(e.IsDirectory, (e.Attributes & AttrDirectory) != 0) << e.Name;
        EXPECT_EQ(e.Size, FileSize(t.path + e.Name)) << e.Name;
    }
    ASSERT_TRUE(ListDirectory(t.path, "*", entries, ListDetail::FolderDetails));
    for (const DirEntry &e : entries) {
        const uint32_t attributes = GetFileAttributes(t.path + e.Name);
        EXPECT_EQ(e.Attributes, attributes & (AttrDirectory | AttrReparsePoint) ? attributes : 0u) << e.Name;
    }

    EXPECT_FALSE(SetFileAttributes(t.path + "missing", AttrHidden));
    EXPECT_FALSE(SetFileAttributes(t.path + "link", AttrHidden))
        << "Linux keeps no user. attributes on links";
}

TEST(FileSize, BytesOrMinusOneForMissingOrMinusTwoForDirectories) {
    TempFolder t;
    t.File("five", "12345");
    t.File("empty");
    t.Folder("dir");
    for (auto [target, name] : {std::pair{"five", "link"}, {"dir", "dir-link"}, {"nowhere", "dangling"}})
        Link(target, t.path + name);
    const std::pair<const char *, int64_t> cases[] = {{"five", 5},      {"empty", 0},    {"dir", -2},
                                                      {"dir/", -2},     {"link", 5},     {"dir-link", -2},
                                                      {"dangling", -1}, {"missing", -1}, {"five/", -1}};
    for (auto [name, size] : cases) EXPECT_EQ(FileSize(t.path + name), size) << name;
}

TEST(MatchesPattern, FollowsWindowsPatternRulesWithoutRegardToCase) {
    struct Case {
        const char *pattern;
        std::vector<std::string> matching, other;
    } cases[] = {
        {"*.dsf", {"Track.DSF", "a.b.dsf"}, {"a.dsfx", "a.dsf.bak"}},
        {"*.*", {"README"}, {}},
        {"*.", {"README"}, {"a.txt"}},
        {"0?.dsf", {"01.dsf", "0.dsf"}, {"011.dsf"}}, // '?' matches nothing in front of a dot
        {"a?c", {"abc"}, {"a.c"}},
        {"a?", {"a"}, {"abc"}},
        {"03 song.JPG", {"03 Song.jpg"}, {"03 Song.jpg.png", "03 Song"}},
        {"ä*.DSF", {"Ärger.dsf"}, {"Brger.dsf"}},
        {"песня.dsf", {"ПЕСНЯ.dsf"}, {}},
        {"", {}, {"x"}},
        {"*ab?", {"abcabd"}, {}},
        {"a*b*", {"ab"}, {"ba"}},
    };
    for (const Case &c : cases) {
        for (const std::string &name : c.matching)
            EXPECT_TRUE(MatchesPattern(name, c.pattern)) << name << " " << c.pattern;
        for (const std::string &name : c.other)
            EXPECT_FALSE(MatchesPattern(name, c.pattern)) << name << " " << c.pattern;
    }
}

TEST(ListDirectory, ListsMatchingEntriesInNtfsOrderWithoutDotEntries) {
    TempFolder t;
    for (const char *name : {"zeta", "_x", "B", "a", "A", "\xC3\xA9", "\xC3\x89mile", "track.DSF", "c.dsff"})
        t.File(name, "abc");
    t.Folder("Music");
    t.Folder("d.dsf");

    std::vector<DirEntry> entries;
    ASSERT_TRUE(ListDirectory(t.path, "*.*", entries));
    // Upper-cased UTF-16 order: '_' (0x5F) after 'Z', 'É' after both; names equal but for case by bytes.
    const std::vector<std::string> expected = {"A",         "a",    "B",  "c.dsff",   "d.dsf",       "Music",
                                               "track.DSF", "zeta", "_x", "\xC3\xA9", "\xC3\x89mile"};
    EXPECT_EQ(Names(entries), expected);
    for (size_t i = 1; i < expected.size(); ++i) EXPECT_TRUE(NameBefore(expected[i - 1], expected[i])) << i;

    for (ListDetail detail : {ListDetail::Everything, ListDetail::FolderDetails}) {
        ASSERT_TRUE(ListDirectory(t.path.substr(0, t.path.size() - 1), "*.dsf", entries, detail)); // no '/'
        EXPECT_EQ(Names(entries), (std::vector<std::string>{"d.dsf", "track.DSF"}));
        EXPECT_TRUE(entries[0].IsDirectory);
        EXPECT_EQ(entries[0].Size, -2);
        EXPECT_FALSE(entries[1].IsDirectory);
        EXPECT_EQ(entries[1].Size, detail == ListDetail::Everything ? 3 : -1);
    }

    ASSERT_TRUE(ListDirectory(t.path, ".*", entries));
    EXPECT_TRUE(entries.empty()) << "never . or ..";
    ASSERT_TRUE(ListDirectory(t.path, "*.wav", entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(ListDirectory(t.path + "missing/", "*.*", entries));
    EXPECT_FALSE(ListDirectory(t.path + "zeta/", "*.*", entries));
}

TEST(WriteFileWhole, ReplacesTheFileKeepingItsModeAndAttributes) {
    TempFolder t(XattrBase());
    const bool xattrs = KeepsXattrs(t.path);
    const std::string path = Chmod(t.File("lp.is", "old contents"), 0640);
    ASSERT_TRUE(!xattrs || SetFileAttributes(path, AttrHidden | AttrSystem));
    ASSERT_TRUE(WriteFileWhole(path, "new", 3));
    std::string read;
    ASSERT_TRUE(ReadFileWhole(path, read));
    EXPECT_EQ(read, "new");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(GetFileAttributes(path), xattrs ? AttrHidden | AttrSystem : 0u);

    // Through a link the target is replaced; the link stays. A new file leaves nothing beside it.
    ASSERT_TRUE(WriteFileWhole(Link("lp.is", t.path + "link"), "via link", 8));
    ASSERT_TRUE(ReadFileWhole(path, read));
    EXPECT_EQ(read, "via link");
    EXPECT_EQ(GetFileAttributes(t.path + "link") & AttrReparsePoint, AttrReparsePoint);
    ASSERT_TRUE(WriteFileWhole(t.path + "fresh", "", 0));
    EXPECT_EQ(FileSize(t.path + "fresh"), 0);
    EXPECT_EQ(Listed(t.path), (std::vector<std::string>{"fresh", "link", "lp.is"}));
}

TEST(WriteFileWhole, LeavesTheOldFileWhenTheWriteFails) {
    TempFolder t;
    const std::string path = t.File("lp.is", "old contents");
    const std::string big(1 << 20, 'x');

    // A file size limit makes the write stop half-way, as a full disk would.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(WriteFileWhole(path, big.data(), big.size()) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write must report its failure";

    // Refused outright: a folder in the way, a read-only file.
    t.Folder("tavo.so");
    EXPECT_FALSE(WriteFileWhole(t.path + "tavo.so", "x", 1));
    const std::string locked = Chmod(t.File("locked", "kept"), 0444);
    EXPECT_FALSE(WriteFileWhole(locked, "x", 1));

    std::string read;
    ASSERT_TRUE(ReadFileWhole(path, read));
    EXPECT_EQ(read, "old contents");
    ASSERT_TRUE(ReadFileWhole(locked, read));
    EXPECT_EQ(read, "kept");
    EXPECT_EQ(Listed(t.path), (std::vector<std::string>{"locked", "lp.is", "tavo.so"}))
        << "no temporary left";
}

TEST(WriteFileWhole, RemovesWhatKilledWritersOfTheSameFileLeft) {
    TempFolder t;
    const std::string path = t.File("lp.is", "old");
    const pid_t dead = fork();
    ASSERT_GE(dead, 0);
    if (dead == 0) _exit(0);
    ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
    const std::string gone = std::to_string(dead), alive = std::to_string(getppid()),
                      own = std::to_string(getpid());
    // Only the new file of a process that has ended goes; a running writer's, another file's and a
    // name of another shape stay.
    for (const std::string &name :
         {".lp.is." + gone + "-3.tmp", ".lp.is." + alive + "-0.tmp", ".lp.is." + own + "-7.tmp",
          ".lp.iss." + gone + "-1.tmp", std::string(".lp.is.x-1.tmp")})
        t.File(name, "left");
    ASSERT_TRUE(WriteFileWhole(path, "new", 3));
    const std::vector<std::string> listed = Listed(t.path);
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()),
              (std::set<std::string>{".lp.is." + alive + "-0.tmp", ".lp.is." + own + "-7.tmp",
                                     ".lp.is.x-1.tmp", ".lp.iss." + gone + "-1.tmp", "lp.is"}));
}

TEST(ReadFileWhole, RefusesFilesOverTheLimitFoldersPipesAndMissingFiles) {
    TempFolder t;
    const std::string path = t.File("ten", "0123456789");
    std::string read = "stale";
    EXPECT_TRUE(ReadFileWhole(path, read, 10));
    EXPECT_EQ(read, "0123456789");
    EXPECT_FALSE(ReadFileWhole(path, read, 9));
    EXPECT_TRUE(read.empty());
    EXPECT_FALSE(ReadFileWhole(t.path, read));
    EXPECT_FALSE(ReadFileWhole(t.path + "missing", read));
    // A pipe named like a list file is refused at once instead of waiting for a writer.
    ASSERT_EQ(mkfifo((t.path + "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(ReadFileWhole(t.path + "pipe", read));
    // Files of /proc report size 0 and still have contents.
    EXPECT_TRUE(ReadFileWhole("/proc/self/stat", read));
    EXPECT_FALSE(read.empty());
}

} // namespace
