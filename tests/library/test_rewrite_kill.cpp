// Crash safety of the list folder: the rewrite loop (tools/rewriter) does the program's rewrites of the
// settings, the playlists and the library in a loop and is killed with SIGKILL at random moments.
// After every kill each list file must hold, byte for byte, one of the states a clean run of the
// same rewrites leaves, the program's loaders must read the files consistently, and no more than
// the one file being written when the kill came may be left beside them. At the end the real
// program starts on what survived. GS_KILL_SEED=N repeats a run's moments; GS_KILL_COUNT=N kills N
// times instead of 250.

#include "helpers.h"
#include "library/settings.h"
#include "rewrites.h"
#include "x11_probe.h"

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <set>

extern char **environ;

namespace {

const Lines ListFiles = {"lp.is", "lpi.la", "lpi.lo", "lpli1.la", "lpli1.lo"};

// What the program's loaders make of a list folder: the settings' device, and the number of tracks
// each playlist and album of the indexes hands over.
struct Loaded {
    bool settings = false;
    std::string device;
    std::map<std::string, int> playlists, albums;
    std::set<std::string> unlisted_sections; // playlist sections in "lpi.lo" whose name is not indexed
    std::set<std::string> albums_without_section;
};

Loaded LoadAll() {
    Loaded out;
    ReadSettingsFile();
    out.settings = SettingsLoaded;
    out.device = SavedDeviceName;
    PlaylistNames.clear();
    LoadPlaylistIndex();
    for (const std::string &name : PlaylistNames) {
        out.playlists[name] = static_cast<int>(LoadPlaylist(name).size());
    }
    Lines lines;
    ReadTextLines(ListFolder + PlaylistTrackFile, lines);
    for (const std::string &line : lines)
        if (!line.empty() && line[0] == '!' && !out.playlists.count(line.substr(1)))
            out.unlisted_sections.insert(line.substr(1));
    LibraryOne.clear();
    LoadLibraryIndex();
    for (const std::string &name : LibraryOne) {
        out.albums[name] = static_cast<int>(LoadAlbum(name, 1).size());
        if (ReadSection(ListFolder + AlbumTrackFile(1), name).empty())
            out.albums_without_section.insert(name);
    }
    return out;
}

// The list file whose new file (".NAME.PID-N.tmp") this is, "" for any other name.
std::string TemporaryOf(const std::string &name) {
    for (const std::string &file : ListFiles) {
        const std::string prefix = "." + file + ".";
        if (!name.starts_with(prefix) || !name.ends_with(".tmp")) continue;
        const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - 4);
        const size_t dash = middle.find('-');
        if (dash != 0 && dash != middle.npos && dash + 1 < middle.size() &&
            middle.find_first_not_of("0123456789-") == middle.npos && middle.rfind('-') == dash)
            return file;
    }
    return "";
}

// Starts the rewrite loop on root, beginning with `step`, and waits for it to have read the files back.
pid_t StartRewriter(const std::string &root, int step) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ready[1], 1);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    const std::string first = std::to_string(step);
    char *argv[] = {const_cast<char *>(REWRITER), const_cast<char *>(root.c_str()),
                    const_cast<char *>(first.c_str()), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, REWRITER, &actions, nullptr, argv, environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    pollfd p = {ready[0], POLLIN, 0};
    char byte = 0;
    if (pid > 0 && !(poll(&p, 1, 20'000) == 1 && read(ready[0], &byte, 1) == 1 && byte == 'r')) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    close(ready[0]);
    return pid;
}

} // namespace

TEST(RewriteKill, EveryListFileIsOldOrNewAfterAKillAndTheProgramStartsOnThem) {
    TempFolder dir;
    const std::string root = dir.path(), lists = root + "lpli/";
    PrepareRewriteFolders(root);

    // A clean run: every state each file passes through, and what the loaders read in each.
    std::map<std::string, std::set<std::string>> states;
    std::map<std::string, int> playlist_tracks, album_tracks;
    auto record = [&] {
        for (const std::string &name : ListFiles) states[name].insert(ReadBytes(lists + name));
        const Loaded loaded = LoadAll();
        for (const auto &[name, count] : loaded.playlists) playlist_tracks[name] = count;
        for (const auto &[name, count] : loaded.albums) album_tracks[name] = count;
    };
    record();
    std::chrono::duration<double, std::milli> stepping{};
    for (int step = 0; step < 2 * RewriteStepCount; ++step) {
        LoadRewriteState(root);
        const auto step_start = std::chrono::steady_clock::now();
        RunRewriteStep(root, step);
        stepping += std::chrono::steady_clock::now() - step_start;
        record();
    }
    const double step_ms = stepping.count() / (2 * RewriteStepCount);
    for (const std::string &name : ListFiles)
        ASSERT_EQ(states[name].size(), 2u) << name << " has its two states";
    ASSERT_EQ(playlist_tracks.size(), 4u);
    ASSERT_EQ(album_tracks.size(), 3u);

    uint64_t seed = std::random_device{}();
    if (const char *given = std::getenv("GS_KILL_SEED")) seed = std::strtoull(given, nullptr, 10);
    const int kills = std::getenv("GS_KILL_COUNT") ? std::atoi(std::getenv("GS_KILL_COUNT")) : 250;
    std::printf("seed %llu (GS_KILL_SEED=%llu repeats these kills)\n", (unsigned long long)seed,
                (unsigned long long)seed);
    std::mt19937_64 random(seed);

    int changed = 0, left_temporaries = 0, unlisted = 0;
    std::map<std::string, std::string> before;
    for (const std::string &name : ListFiles) before[name] = ReadBytes(lists + name);
    const auto start = std::chrono::steady_clock::now();
    for (int kill_number = 0; kill_number < kills; ++kill_number) {
        const int step = int(random() % RewriteStepCount);
        const int delay_us = int(random() % 30'001);
        const std::string context = "kill " + std::to_string(kill_number) + " after " +
                                    std::to_string(delay_us) + " us, first step " + std::to_string(step);
        const pid_t pid = StartRewriter(root, step);
        ASSERT_GT(pid, 0) << context << ": the rewrite loop did not start";
        usleep(useconds_t(delay_us));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << context << ": the rewrite loop ended by itself";

        std::map<std::string, int> temporaries;
        for (const auto &entry : std::filesystem::directory_iterator(lists)) {
            const std::string name = entry.path().filename().string();
            if (std::find(ListFiles.begin(), ListFiles.end(), name) != ListFiles.end()) continue;
            const std::string of = TemporaryOf(name);
            ASSERT_NE(of, "") << context << ": a stray file " << name;
            ++temporaries[of];
        }
        for (const auto &[name, count] : temporaries)
            ASSERT_EQ(count, 1) << context << ": new files of " << name << " pile up";
        left_temporaries += !temporaries.empty();
        for (const std::string &name : ListFiles) {
            const std::string bytes = ReadBytes(lists + name);
            ASSERT_TRUE(states[name].count(bytes))
                << context << ": " << name << " is neither its old nor its new bytes (" << bytes.size()
                << " bytes)";
            changed += bytes != before[name];
            before[name] = bytes;
        }
        const Loaded loaded = LoadAll();
        ASSERT_TRUE(loaded.settings) << context;
        ASSERT_EQ(loaded.device, "DSD capture") << context;
        for (const auto &[name, count] : loaded.playlists)
            ASSERT_EQ(count, playlist_tracks[name]) << context << ": playlist " << name;
        for (const std::string &name : loaded.unlisted_sections)
            ASSERT_EQ(name, ChangingPlaylist)
                << context << ": only a playlist being written or deleted may lack its name";
        unlisted += !loaded.unlisted_sections.empty();
        ASSERT_TRUE(loaded.albums_without_section.empty())
            << context << ": album " << *loaded.albums_without_section.begin()
            << " has no tracks in the track file";
        for (const auto &[name, count] : loaded.albums)
            ASSERT_EQ(count, std::filesystem::is_directory(root + "drive/" + name) ? album_tracks[name] : 0)
                << context << ": album " << name;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "%d kills survived in %.1f s (%.1f start-run-kill-check cycles per second); a clean rewrite step "
        "takes %.1f ms; %d file changes seen; after %d kills a killed write's new file lay beside the list "
        "files, after %d a playlist section had no name in the index\n",
        kills, seconds, kills / seconds, step_ms, changed, left_temporaries, unlisted);

    // The real program on what survived: it takes the saved device and the options, loads the
    // indexes and shows its main window. Named apart from the player, so that its single-instance
    // guard neither stops this copy nor a player another test starts.
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display for the start of the program";
    const std::string home = root + "home/", program = root + "groovestone-survivor";
    std::filesystem::create_directories(home);
    std::filesystem::copy_file(PROGRAM, program);
    WriteBytes(home + ".asoundrc",
               "pcm.dsdcapture { type file slave.pcm \"null\" file \"" + home +
                   "out.raw\" format \"raw\" hint { show on description \"DSD capture\" } }\n");
    std::map<std::string, std::string> survived;
    for (const std::string &name : ListFiles) survived[name] = ReadBytes(lists + name);
    XProbe x;
    const pid_t player =
        StartProgram(program, {}, {"HOME=" + home, "XDG_DATA_HOME=" + home + "data/"}, root + "stderr.txt");
    ASSERT_GT(player, 0);
    const XWindow main_window = x.WaitMapped("Groovestone DSD", 10'000);
    usleep(500'000);
    int code = -1;
    const bool ended = WaitExit(player, 0, code);
    KillProgram(player);
    EXPECT_NE(main_window, 0u) << "the main window, straight from the saved device; the program said: "
                               << ReadBytes(root + "stderr.txt");
    EXPECT_FALSE(ended) << "the program ended with " << code;
    for (const std::string &name : ListFiles) EXPECT_EQ(ReadBytes(lists + name), survived[name]) << name;
}
