// The transport soak: the real program (its window, engine, audio thread and output) runs cycles of
// Play, Next, Pause, Pause, Stop, Clear and the reload of a playlist, each step run on the main thread
// through the procedures the keys and a double-click on a playlist name use, and its memory, open
// files, threads and playback memory are watched from cycle to cycle.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" soak_transport [--cycles N]   (default 1000)
//
// The tool is two processes. The supervisor writes short tracks of the four DSD rates, four
// playlists of them (one rate each, loaded in turn so that the run goes through every rate), the
// settings for a DSD capture device of its own ALSA configuration, copies this executable into that
// folder and starts the copy as the player. The player (RunProgram with EventLoopDriver set) runs the
// steps between two events, waits for each step's effect, measures, prints the report and closes as
// the user would. Each step done sends a byte to the supervisor, which counts a step that takes too
// long as a hang and kills the player; a player that crashes, or ends without its verdict (another
// player running makes it leave at once), fails the run. Exit code 0 when every check holds.

#include "app/app.h"
#include "audio/audio.h"
#include "audio/internal.h"
#include "dsd_testfiles.h"
#include "library/library.h"
#include "library/settings.h"
#include "ui/objects.h"
#include "view/view.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool Sanitized = true; // slower, and the sanitizer's own allocations make RSS meaningless
#else
constexpr bool Sanitized = false;
#endif

constexpr int TracksPerList = 3;
constexpr double TrackSeconds = 0.6;
constexpr int64_t RssGrowthLimitKb = 2048;
constexpr int WarmUpCycles = 20;
constexpr int StepBoundMs = Sanitized ? 40'000 : 10'000; // the longest wait for one step's effect
constexpr const char *ChildCyclesVariable = "GS_SOAK_CYCLES";
constexpr const char *ChildProgressVariable = "GS_SOAK_PROGRESS_FD";

// The playlists in the order of PlaylistNames (sorted by name): one rate each.
struct SoakList {
    const char *name;
    uint32_t rate;
};
constexpr SoakList Lists[] = {
    {"Soak 1 DSD64", 2'822'400},
    {"Soak 2 DSD128", 5'644'800},
    {"Soak 3 DSD256", 11'289'600},
    {"Soak 4 DSD512", 22'579'200},
};
constexpr int ListCount = int(std::size(Lists));

using Clock = std::chrono::steady_clock;

// ------------------------------------------------------------------------------------------------
// The player's side: runs on the main thread of the program, from the event loop.

struct Sample {
    int64_t rss_kb = 0, vm_kb = 0;
    int fds = 0, threads = 0;
    size_t playback_resident = 0; // bytes of the playback buffers in memory
};

enum Step { StepLoad, StepPlay, StepNext, StepPause, StepResume, StepStop, StepClear, Step_COUNT };
constexpr const char *StepNames[Step_COUNT] = {"reload",      "Play", "Next", "Pause",
                                               "Pause again", "Stop", "Clear"};

struct Soak {
    int cycles = 0;
    int progress_fd = -1;
    int cycle = 0; // 1-based; 0 while the first playlist loads
    Step step = StepLoad;
    bool started = false; // the step's command has run; its effect is awaited
    Clock::time_point deadline{}, began{};
    int32_t first_track = 0; // the TrackId heard after Play
    int64_t played_mark = 0; // bytes played when Pause was undone
    Clock::time_point step_began{};
    bool settling = false; // the figures of an idle player are measured until they hold still
    Clock::time_point settle_next{}, settle_end{};
    Sample last; // the latest figures of the idle player
    double step_ms[Step_COUNT] = {};
    int step_count[Step_COUNT] = {};
    // Idle with a playlist loaded: before the first Play, after cycle 1, after the warm-up, at the end;
    // the largest figures of those and of every Stop.
    Sample first, start, warm, end, max;
    std::vector<std::string> first_fds, first_threads, start_fds, start_threads, end_fds, end_threads;
    std::vector<Sample> after_stop; // one per cycle
    size_t resident_while_playing = 0;
    std::vector<std::string> failures;
};
Soak S; // main thread

int64_t StatusKb(const char *field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
            return std::atoll(line.c_str() + n + 1);
    return -1;
}

int CountEntries(const char *folder) {
    DIR *d = opendir(folder);
    if (!d) return -1;
    int n = 0;
    while (dirent *e = readdir(d))
        if (e->d_name[0] != '.') ++n;
    closedir(d);
    return n;
}

// What each open descriptor refers to and each thread's name, sorted: told when a count differs.
std::vector<std::string> Describe(const std::string &folder, bool threads) {
    std::vector<std::string> all;
    DIR *d = opendir(folder.c_str());
    if (!d) return all;
    const int own = dirfd(d);
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.' || (!threads && std::atoi(e->d_name) == own)) continue;
        const std::string path = folder + e->d_name;
        std::string text;
        if (threads) {
            std::ifstream(path + "/comm") >> text;
        } else {
            char target[512];
            const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
            text = std::string(e->d_name) + " " + std::string(target, size_t(std::max<ssize_t>(n, 0)));
        }
        all.push_back(text);
    }
    closedir(d);
    std::sort(all.begin(), all.end());
    return all;
}

// The entries of `a` that `b` lacks.
std::string Missing(const std::vector<std::string> &a, const std::vector<std::string> &b) {
    std::vector<std::string> only;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(only));
    std::string text;
    for (const std::string &x : only) text += (text.empty() ? "" : ", ") + x;
    return text.empty() ? "-" : text;
}

// The pages of the four playback buffers that are in memory, in bytes.
size_t PlaybackResident() {
    const long page = sysconf(_SC_PAGESIZE);
    const std::pair<uint8_t *, size_t> buffers[] = {{Memory.StagingBuffer, PlayBufferSize},
                                                    {Memory.SpareBuffer, SpareBufferSize},
                                                    {Memory.BufferA, PlayBufferSize},
                                                    {Memory.BufferB, PlayBufferSize}};
    size_t resident = 0;
    std::vector<unsigned char> map;
    for (auto [buffer, size] : buffers) {
        if (!buffer) continue;
        map.resize((size + size_t(page) - 1) / size_t(page));
        if (mincore(buffer, size, map.data()) != 0) continue;
        for (unsigned char m : map) resident += (m & 1) ? size_t(page) : 0;
    }
    return resident;
}

Sample Measure() {
    Sample s;
    s.rss_kb = StatusKb("VmRSS");
    s.vm_kb = StatusKb("VmSize");
    s.fds = CountEntries("/proc/self/fd") - 1; // less the one reading the folder
    s.threads = CountEntries("/proc/self/task");
    s.playback_resident = PlaybackResident();
    return s;
}

void TakeMax(Sample &max, const Sample &s) {
    max.rss_kb = std::max(max.rss_kb, s.rss_kb);
    max.vm_kb = std::max(max.vm_kb, s.vm_kb);
    max.fds = std::max(max.fds, s.fds);
    max.threads = std::max(max.threads, s.threads);
    max.playback_resident = std::max(max.playback_resident, s.playback_resident);
}

void SendProgress(char c) {
    if (S.progress_fd >= 0 && write(S.progress_fd, &c, 1) != 1) S.progress_fd = -1;
}

int ListOfCycle(int cycle) {
    return (cycle - 1) % ListCount;
}

// The Lists button, then the procedure a double-click on a playlist name runs. The program
// asks the decoder for 81 MB per refill, which would take a short playlist whole at Play: the lists
// would count as used up at once and Next would stop. A quarter of a second of the list's rate per
// refill (set while idle, as the playback tests set it) keeps Next moving to the next track and
// switches the buffers several times per track.
void ReloadPlaylist(int list) {
    Memory.ChunkSize = int64_t(Lists[list].rate) / 16 / 8 * 8;
    ShowNames(ViewPlaylists);
    ChoosePanelRow(list + 1);
}

void RunStep() {
    switch (S.step) {
    case StepLoad:
        ReloadPlaylist(ListOfCycle(S.cycle + 1));
        break;
    case StepPlay:
        RunCommand(CmdPlay);
        break;
    case StepNext:
        RunCommand(CmdNext);
        break;
    case StepPause:
        RunCommand(CmdPlayPause);
        break;
    case StepResume:
        RunCommand(CmdPlayPause);
        S.played_mark = NowPlayingPlayed();
        break;
    case StepStop:
        RunCommand(CmdStop);
        break;
    case StepClear:
        RunCommand(CmdEmptyBoth);
        break;
    case Step_COUNT:
        break;
    }
}

int8_t Playing() {
    return Transport.PlayingList.load(std::memory_order_acquire);
}

// Whether the step's effect is there.
bool StepDone() {
    switch (S.step) {
    case StepLoad:
        return int(ListOf(1).Entries.size()) == TracksPerList && ListOf(2).Entries.empty() &&
               ActiveView == ViewList1 &&
               Transport.SessionDsdRate == int32_t(Lists[ListOfCycle(S.cycle + 1)].rate);
    case StepPlay:
        // The output takes the first track's bytes.
        if (Playing() == 0 || NowPlayingPlayed() == 0) return false;
        S.first_track = TakeNowPlaying().Track.TrackId;
        return S.first_track != 0;
    case StepNext: {
        const NowPlayingInfo now = TakeNowPlaying();
        return Playing() != 0 && now.Track.TrackId != 0 && now.Track.TrackId != S.first_track &&
               now.Played > 0;
    }
    case StepPause:
        return PlaybackPaused();
    case StepResume:
        // Playing on, or played out meanwhile.
        return !PlaybackPaused() && (NowPlayingPlayed() != S.played_mark || Playing() == 0);
    case StepStop:
        return Playing() == 0 && !AudioThreadRuns() && Transport.StreamHandle.load() == 0;
    case StepClear:
        return ListOf(1).Entries.empty() && ListOf(2).Entries.empty() && Transport.SessionDsdRate == 0;
    case Step_COUNT:
        break;
    }
    return false;
}

void Fail(const std::string &what) {
    S.failures.push_back(what);
}

std::string Mb(int64_t kb) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", double(kb) / 1024.0);
    return text;
}

// The cycle whose end the growth of memory is counted from.
int WarmCycle() {
    return std::min(WarmUpCycles, S.cycles / 2);
}

void Report() {
    const double seconds = std::chrono::duration<double>(Clock::now() - S.began).count();
    const int done = int(S.after_stop.size());
    std::printf("\nTransport soak: %d of %d cycles of Play, Next, Pause, Pause, Stop, Clear, reload\n", done,
                S.cycles);
    std::printf(
        "over playlists of DSD64, DSD128, DSD256 and DSD512 tracks of %.1f s, one rate per cycle in turn\n",
        TrackSeconds);
    std::printf("%.1f s in all, %.0f ms per cycle%s; mean ms per step:", seconds,
                done ? seconds * 1000.0 / done : 0.0, Sanitized ? " (sanitizer build)" : "");
    for (int step = StepPlay; step <= Step_COUNT; ++step) {
        const int k = step % Step_COUNT;
        std::printf(" %s %.0f", StepNames[k], S.step_count[k] ? S.step_ms[k] / S.step_count[k] : 0.0);
    }
    std::printf("\n\nidle, with a playlist loaded:\n");
    const Sample *columns[] = {&S.first, &S.start, &S.warm, &S.end, &S.max};
    std::printf("                       %14s %12s %12s %12s %12s\n", "before Play", "cycle 1",
                ("cycle " + std::to_string(WarmCycle())).c_str(),
                ("cycle " + std::to_string(S.cycles)).c_str(), "max");
    std::printf("resident (VmRSS)       ");
    for (const Sample *c : columns) std::printf(c == columns[0] ? "%14s" : " %12s", Mb(c->rss_kb).c_str());
    std::printf("\naddress space (VmSize) ");
    for (const Sample *c : columns) std::printf(c == columns[0] ? "%14s" : " %12s", Mb(c->vm_kb).c_str());
    std::printf("\nopen file descriptors  ");
    for (const Sample *c : columns) std::printf(c == columns[0] ? "%14d" : " %12d", c->fds);
    std::printf("\nthreads                ");
    for (const Sample *c : columns) std::printf(c == columns[0] ? "%14d" : " %12d", c->threads);
    std::printf("\n(the max also counts the samples after each Stop)\n");
    if (S.first.fds != S.start.fds || S.first.threads != S.start.threads)
        std::printf("the first cycle: new descriptors %s; threads gone %s, new %s\n",
                    Missing(S.start_fds, S.first_fds).c_str(),
                    Missing(S.first_threads, S.start_threads).c_str(),
                    Missing(S.start_threads, S.first_threads).c_str());
    std::printf("\nresident growth after cycle %d: %lld kB (limit %lld kB)%s\n", WarmCycle(),
                static_cast<long long>(S.end.rss_kb - S.warm.rss_kb),
                static_cast<long long>(RssGrowthLimitKb),
                Sanitized ? ", not checked: the sanitizer's allocator holds on to freed memory" : "");
    size_t kept = 0;
    int kept_cycles = 0;
    for (const Sample &s : S.after_stop) {
        kept = std::max(kept, s.playback_resident);
        kept_cycles += s.playback_resident > 0;
    }
    std::printf(
        "playback memory: %.1f MB reserved; in memory after Stop: at most %zu bytes, kept in %d of %d "
        "cycles; after Next: up to %.1f MB\n",
        double(3 * PlayBufferSize + SpareBufferSize) / 1e6, kept, kept_cycles, done,
        double(S.resident_while_playing) / 1e6);
    if (S.failures.empty())
        std::printf("\nPASS\n");
    else
        for (const std::string &f : S.failures) std::printf("FAIL: %s\n", f.c_str());
    std::fflush(stdout);
}

// The checks, against the idle player after the first cycle: its first playback opens what the
// output keeps for the rest of the run (the capture device's file).
void Judge() {
    if (!Sanitized && S.end.rss_kb - S.warm.rss_kb >= RssGrowthLimitKb)
        Fail("resident memory grew by " + std::to_string(S.end.rss_kb - S.warm.rss_kb) + " kB after cycle " +
             std::to_string(WarmCycle()));
    if (S.end.fds != S.start.fds)
        Fail("open file descriptors: " + std::to_string(S.start.fds) + " after cycle 1, " +
             std::to_string(S.end.fds) + " at the end (gone: " + Missing(S.start_fds, S.end_fds) +
             "; new: " + Missing(S.end_fds, S.start_fds) + ")");
    if (S.end.threads != S.start.threads)
        Fail("threads: " + std::to_string(S.start.threads) + " after cycle 1, " +
             std::to_string(S.end.threads) + " at the end (gone: " + Missing(S.start_threads, S.end_threads) +
             "; new: " + Missing(S.end_threads, S.start_threads) + ")");
    for (size_t i = 0; i < S.after_stop.size(); ++i)
        if (S.after_stop[i].playback_resident > 0) {
            Fail("the playback memory kept " + std::to_string(S.after_stop[i].playback_resident) +
                 " bytes after Stop in cycle " + std::to_string(i + 1));
            break;
        }
    if (S.resident_while_playing == 0) Fail("the playback memory was never seen in use while playing");
}

// Ends the run: the report, the verdict to the supervisor, then the way out the close button takes.
[[noreturn]] void Finish() {
    EventLoopDriver = nullptr;
    if (S.failures.empty()) Judge();
    Report();
    SendProgress(S.failures.empty() ? 'P' : 'F');
    CloseSequence();
}

// Goes on from the reload that ends cycle S.cycle, keeping the figures of the cycles the report shows.
void NextCycle() {
    const Sample s = S.last;
    S.settling = false;
    if (S.cycle == 0) {
        S.first = s;
        S.first_fds = Describe("/proc/self/fd/", false);
        S.first_threads = Describe("/proc/self/task/", true);
    }
    if (S.cycle == 1) {
        S.start = s;
        S.start_fds = Describe("/proc/self/fd/", false);
        S.start_threads = Describe("/proc/self/task/", true);
    }
    if (S.cycle == WarmCycle()) S.warm = s;
    if (S.cycle == S.cycles) {
        S.end = s;
        S.end_fds = Describe("/proc/self/fd/", false);
        S.end_threads = Describe("/proc/self/task/", true);
        Finish();
    }
    ++S.cycle;
    S.step = StepPlay;
}

// Threads that the window system or a library starts for a moment come and go while the player is
// idle: a figure the report keeps is taken once two measurements 100 ms apart agree on the counts,
// for at most two seconds. False while that is not yet so (the driver measures again later).
bool Settled(const Sample &s) {
    const Clock::time_point now = Clock::now();
    if (!S.settling) {
        S.settling = true;
        S.settle_end = now + std::chrono::seconds(2);
    } else if ((s.fds == S.last.fds && s.threads == S.last.threads) || now >= S.settle_end) {
        S.last = s;
        return true;
    }
    S.last = s;
    S.settle_next = now + std::chrono::milliseconds(100);
    return false;
}

// The event loop's driver: runs the current step once, then waits (returning to the loop, which
// handles the window's events meanwhile) until its effect is there.
void Drive() {
    const Clock::time_point now = Clock::now();
    if (S.settling) {
        if (now >= S.settle_next && Settled(Measure())) NextCycle();
        return;
    }
    if (!S.started) {
        S.started = true;
        S.step_began = now;
        if (S.cycle == 0) S.began = now;
        RunStep();
        S.deadline = Clock::now() + std::chrono::milliseconds(StepBoundMs);
    }
    if (!StepDone()) {
        if (Clock::now() > S.deadline) {
            const NowPlayingInfo heard = TakeNowPlaying();
            Fail(std::string(StepNames[S.step]) + " in cycle " + std::to_string(std::max(S.cycle, 1)) +
                 " took effect not within " + std::to_string(StepBoundMs / 1000) + " s (playing list " +
                 std::to_string(Playing()) + ", track " + std::to_string(heard.Track.TrackId) + ", " +
                 std::to_string(heard.Played) + " bytes played, list 1 of " +
                 std::to_string(ListOf(1).Entries.size()) + (PlaybackPaused() ? ", paused)" : ")"));
            Finish();
        }
        return;
    }
    S.started = false;
    S.step_ms[S.step] += std::chrono::duration<double, std::milli>(Clock::now() - S.step_began).count();
    ++S.step_count[S.step];
    SendProgress('s');

    if (S.step == StepNext) S.resident_while_playing = std::max(S.resident_while_playing, PlaybackResident());
    if (S.step == StepStop) {
        const Sample s = Measure();
        S.after_stop.push_back(s);
        TakeMax(S.max, s);
    }
    if (S.step == StepLoad) {
        // A cycle ends with the next one's playlist loaded: the player idle, as before the first Play.
        const Sample s = Measure();
        TakeMax(S.max, s);
        const bool kept = S.cycle <= 1 || S.cycle == WarmCycle() || S.cycle == S.cycles;
        if (!kept) S.last = s;
        if (!kept || Settled(s)) NextCycle();
        return;
    }
    S.step = S.step == StepClear ? StepLoad : Step(S.step + 1);
}

[[noreturn]] void RunPlayer(char *program, int cycles, int progress_fd) {
    S.cycles = cycles;
    S.progress_fd = progress_fd;
    fcntl(progress_fd, F_SETFD, FD_CLOEXEC);
    EventLoopDriver = Drive;
    char *argv[] = {program, nullptr};
    RunProgram(1, argv); // arguments would be files to add
}

// ------------------------------------------------------------------------------------------------
// The supervisor's side.

void WriteBytes(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A list file as the program writes it: UTF-16LE with its mark, CR LF after every line.
std::string ListFile(const std::vector<std::string> &lines) {
    std::string bytes = "\xFF\xFE";
    for (const std::string &line : lines)
        for (char c : line + "\r\n") bytes += std::string{c, '\0'};
    return bytes;
}

// The folder of the run: the player's copy with its lists and settings, a home folder whose ALSA
// configuration adds the capture device, and the tracks.
bool Prepare(const std::string &dir, std::string &program) {
    const std::string app = dir + "app/", home = dir + "home/", music = dir + "music/";
    for (const std::string &d : {app + "lpli", home, music}) fs::create_directories(d);
    program = app + "soak_transport"; // any name but the player's, which its single-instance guard counts
    std::error_code ec;
    fs::copy_file("/proc/self/exe", program, ec);
    if (ec) {
        std::fprintf(stderr, "cannot copy the executable: %s\n", ec.message().c_str());
        return false;
    }
    fs::permissions(program, fs::perms::owner_all, ec);
    WriteBytes(home + ".asoundrc",
               "pcm.dsdcapture { type file slave.pcm \"null\" file \"" + home +
                   "out.raw\" format \"raw\" hint { show on description \"DSD capture\" } }\n");
    WriteBytes(app + "lpli/" + SettingsFileName, EncodeSettings("DSD capture", {0, 1, 1, 1, 0, 0, 0}));

    std::vector<std::string> names, sections;
    const TestDsdKind kinds[] = {TestDsdKind::DsfLsb, TestDsdKind::Dff, TestDsdKind::DsfMsb};
    for (int l = 0; l < ListCount; ++l) {
        names.push_back(Lists[l].name);
        sections.push_back(std::string("!") + Lists[l].name);
        for (int t = 0; t < TracksPerList; ++t) {
            TestDsdShape shape;
            shape.kind = kinds[t];
            shape.rate = Lists[l].rate;
            shape.samples = uint64_t(TrackSeconds * Lists[l].rate) / 8 * 8;
            shape.seed = uint32_t(10 * l + t + 1);
            const std::string path = music + "r" + std::to_string(l) + "t" + std::to_string(t) +
                                     (shape.kind == TestDsdKind::Dff ? ".dff" : ".dsf");
            if (!TestDsd_WriteFile(shape, path)) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                return false;
            }
            sections.push_back("  " + path);
        }
    }
    WriteBytes(app + "lpli/" + PlaylistIndexFile, ListFile(names));
    WriteBytes(app + "lpli/" + PlaylistTrackFile, ListFile(sections));
    return true;
}

int Supervise(int cycles) {
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "soak_transport needs a display: run it under xvfb-run\n");
        return 2;
    }
    char pattern[] = "/tmp/gs-soak-XXXXXX";
    if (!mkdtemp(pattern)) return 2;
    const std::string dir = std::string(pattern) + "/", home = dir + "home/";
    std::string program;
    int result = 1;
    int progress[2];
    if (Prepare(dir, program) && pipe(progress) == 0) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(progress[0]);
            setenv("HOME", home.c_str(), 1);
            setenv("XDG_DATA_HOME", (home + "data").c_str(), 1);
            setenv("XDG_CONFIG_HOME", (home + "config").c_str(), 1);
            setenv(ChildCyclesVariable, std::to_string(cycles).c_str(), 1);
            setenv(ChildProgressVariable, std::to_string(progress[1]).c_str(), 1);
            execl(program.c_str(), program.c_str(), nullptr);
            _exit(127);
        }
        close(progress[1]);
        // The start (splash, device check, fade-in) and every step after it send a byte in time.
        const int start_bound_ms = Sanitized ? 120'000 : 30'000, step_bound_ms = StepBoundMs + 30'000;
        int steps = 0;
        char verdict = 0;
        bool hung = false;
        for (;;) {
            pollfd p{progress[0], POLLIN, 0};
            const int ready = poll(&p, 1, steps == 0 ? start_bound_ms : step_bound_ms);
            if (ready == 0) {
                hung = true;
                break;
            }
            char c = 0;
            if (ready < 0 || read(progress[0], &c, 1) != 1) break; // the player has ended
            if (c == 's') ++steps;
            if (c == 'P' || c == 'F') verdict = c;
        }
        close(progress[0]);
        if (hung) {
            const int step = steps == 0 ? -1 : (steps - 1) % Step_COUNT;
            std::fprintf(stderr, "FAIL: the player hung %s (no step done for %d s); killed\n",
                         steps == 0
                             ? "at its start"
                             : ("after step " + std::to_string(steps) + " (" + StepNames[step] + ")").c_str(),
                         step_bound_ms / 1000);
            kill(pid, SIGKILL);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (hung) {
        } else if (WIFSIGNALED(status)) {
            std::fprintf(stderr, "FAIL: the player crashed (signal %d) after %d steps\n", WTERMSIG(status),
                         steps);
        } else if (WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "FAIL: the player ended with exit code %d\n", WEXITSTATUS(status));
        } else if (verdict == 0) {
            std::fprintf(stderr,
                         "FAIL: the player ended after %d steps without a verdict (is another player "
                         "running?)\n",
                         steps);
        } else {
            std::error_code ec;
            const auto heard = fs::file_size(home + "out.raw", ec);
            std::printf("the capture device received %.1f MB\n", ec ? 0.0 : double(heard) / 1e6);
            result = verdict == 'P' ? 0 : 1;
        }
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return result;
}

} // namespace

int main(int argc, char **argv) {
    if (const char *cycles = std::getenv(ChildCyclesVariable)) {
        const char *fd = std::getenv(ChildProgressVariable);
        const int progress_fd = fd ? std::atoi(fd) : -1;
        unsetenv(ChildCyclesVariable);
        unsetenv(ChildProgressVariable);
        RunPlayer(argv[0], std::atoi(cycles), progress_fd);
    }
    int cycles = 1000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cycles") == 0 && i + 1 < argc)
            cycles = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--cycles N]\n", argv[0]);
            return 2;
        }
    }
    if (cycles < 2) cycles = 2;
    return Supervise(cycles);
}
