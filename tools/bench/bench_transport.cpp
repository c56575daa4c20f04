// Time to the first byte and processor time per track, of the real program and of MPD (Debian's, when
// it is installed) side by side from one run, at DSD64 and DSD512:
//
//   build/tools/bench_transport [--runs N]   (on a display of its own: Xvfb, started here)
//
// Each player plays one track of pseudo-random DSD (warm in the page cache) into a DSD capture device
// of its own ALSA configuration (a file PCM over null, paced by the clock). The time to the first
// byte runs from the key P (ours, the real window driven through XTest, the track loaded from a
// playlist) or MPD's "play" command to the first byte of music in the capture file; the processor
// time is the process's user and system time from that moment to the track's end (ours with its
// window open and refreshing). For ours it also gives the time a close of the window takes to end
// the program, while idle and while playing. The machine's load average is printed: other work on
// the machine shows in the figures.

#include "capture.h"
#include "fixtures.h"
#include "x11_probe.h"

#include <X11/keysym.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The main window, 820x560, centred on the 1280x1024 screen; its first list row and the List 1 button.
constexpr int Left = 230, Top = 232;
constexpr int RowX = Left + 160, RowY = Top + 122 + 16, List1X = Left + 40, List1Y = Top + 283;

struct Row {
    const char *Name, *File;
    uint32_t Rate;
    double Seconds;
};
constexpr Row Rows[] = {{"DSD64, 30 s", "dsd64.dsf", 2'822'400, 30.0},
                        {"DSD512, 10 s", "dsd512.dsf", 22'579'200, 10.0}};

struct Figures {
    double FirstByte = -1; // seconds from the command to the first byte of music at the device
    double Cpu = -1;       // processor seconds for the whole track
};

double SecondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

void Sleep(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// User and system time of the process (or, with a task's stat file, of one thread), in seconds; -1
// when it is gone.
double CpuSeconds(const std::string &stat) {
    std::ifstream in(stat);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    // Fields 3 to 15 after the name: utime is the 14th of the line, stime the 15th.
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stod(field);
        if (i == 15) stime = std::stod(field);
    }
    return (utime + stime) / double(sysconf(_SC_CLK_TCK));
}
double CpuSeconds(pid_t pid) {
    return CpuSeconds("/proc/" + std::to_string(pid) + "/stat");
}

// Waits up to ms for a byte of music (neither DSD silence nor zero) in the file from offset `from`
// on; true at the first one.
bool WaitMusic(const std::string &path, size_t from, int ms) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    std::vector<char> block(1 << 16);
    while (Clock::now() < end) {
        std::ifstream in(path, std::ios::binary);
        in.seekg(std::streamoff(from));
        while (in.read(block.data(), std::streamsize(block.size())) || in.gcount() > 0) {
            const size_t got = size_t(in.gcount());
            if (std::any_of(block.begin(), block.begin() + long(got),
                            [](char c) { return c != char(0x69) && c != 0; }))
                return true;
            from += got;
        }
        Sleep(0.0005);
    }
    return false;
}

size_t FileSize(const std::string &path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : size_t(size);
}

// Reads the whole file, so that it is in the page cache.
void Warm(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> block(1 << 20);
    while (in.read(block.data(), std::streamsize(block.size()))) {
    }
}

// "lp.is" naming the device by its ASCII description, with the seven saved values.
std::string SettingsBytes(const std::string &name) {
    std::string bytes = "\x99\x3C\x34\x01";
    for (char c : name) bytes += std::string{c, '\0'};
    bytes += std::string("\x0D\x00\x0A\x00", 4);
    for (uint8_t v : {0, 1, 1, 1, 0, 0, 0}) bytes += char(v);
    return bytes + '\xFF';
}

// The real program in a folder of its own, its playlist "Bench" holding the track.
struct Ours {
    TempFolder dir;
    std::string app = dir.path + "app/", home = dir.path + "home/", capture = home + "out.raw";
    pid_t pid = -1;
    XWindow main = 0;

    explicit Ours(const std::string &track) {
        fs::create_directories(app + "lpli");
        fs::create_directories(home);
        // GS_BENCH_PROGRAM names another build of the program, e.g. a baseline to compare with.
        const char *program = std::getenv("GS_BENCH_PROGRAM");
        fs::copy_file(program ? program : PROGRAM, app + "Groovestone-lp-dsd");
        WriteCaptureConfig(home, capture);
        WriteBytes(app + "lpli/lp.is", SettingsBytes("DSD capture"));
        WriteBytes(app + "lpli/lpi.la", Utf16File({"Bench"}));
        WriteBytes(app + "lpli/lpi.lo", Utf16File({"!Bench", "  " + track}));
    }
    ~Ours() { KillProgram(pid); }

    // Starts it and waits for its main window; false when it does not come.
    bool Start(XProbe &x) {
        WindowWatch watch;
        pid = StartProgram(app + "Groovestone-lp-dsd", {},
                           {"HOME=" + home, "XDG_DATA_HOME=" + home + "data/", "NO_AT_BRIDGE=1"});
        Clock::time_point full;
        if (pid <= 0 || !watch.WaitFullOpacity("Groovestone DSD", 10'000, full)) return false;
        main = x.WaitMapped("Groovestone DSD", 5000);
        return main != 0;
    }
    // Seconds from the close request to the program's end; -1 when it has not ended within 10 s.
    double Close(XProbe &x) {
        const Clock::time_point t = Clock::now();
        x.RequestClose(main);
        int code = 0;
        if (!WaitExit(pid, 10'000, code)) return -1;
        pid = -1;
        return SecondsSince(t);
    }
};

Figures MeasureOurs(XProbe &x, const std::string &track, double seconds, double &close_idle,
                    double &close_playing) {
    Figures f;
    Ours ours(track);
    if (!ours.Start(x)) return f;
    x.DoubleClick(RowX, RowY); // the playlist into List 1
    Sleep(1.0);
    x.Click(List1X, List1Y); // shown, its first entry selected
    Sleep(0.5);
    // The focus first (a key to the window waits for it to take the focus), so that the time runs
    // from the key alone.
    x.KeyToWindow(ours.main, XK_Shift_L);
    const size_t mark = FileSize(ours.capture);
    const double cpu = CpuSeconds(ours.pid);
    // The key on a thread of its own: typing it holds the typist for the key's release.
    const Clock::time_point t = Clock::now();
    std::thread typist([&] { x.Key(XK_p); });
    const bool music = WaitMusic(ours.capture, mark, 10'000);
    f.FirstByte = SecondsSince(t);
    typist.join();
    if (!music) {
        f.FirstByte = -1;
        return f;
    }
    Sleep(seconds + 0.5 - SecondsSince(t));
    f.Cpu = CpuSeconds(ours.pid) - cpu;
    if (std::getenv("GS_BENCH_THREADS")) {
        // Where the time went: each thread's total since the start, in the order they were made.
        for (const auto &task : fs::directory_iterator("/proc/" + std::to_string(ours.pid) + "/task")) {
            const std::string tid = task.path().filename().string();
            std::fprintf(stderr, "  thread %s: %.3f s\n", tid.c_str(),
                         CpuSeconds(task.path().string() + "/stat"));
        }
    }
    Sleep(0.5);
    close_idle = ours.Close(x);

    Ours again(track);
    if (!again.Start(x)) return f;
    x.DoubleClick(RowX, RowY);
    Sleep(1.0);
    x.Click(List1X, List1Y);
    Sleep(0.5);
    const size_t mark2 = FileSize(again.capture);
    x.KeyToWindow(again.main, XK_p);
    if (WaitMusic(again.capture, mark2, 10'000)) {
        Sleep(0.5);
        close_playing = again.Close(x);
    }
    return f;
}

// A line-based client of MPD's protocol.
struct MpdClient {
    int fd = -1;
    std::string pending;

    bool Connect(int port) {
        for (int attempt = 0; attempt < 100; ++attempt, Sleep(0.05)) {
            fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(uint16_t(port));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
                return ReadReply().rfind("OK", 0) == 0;
            close(fd);
            fd = -1;
        }
        return false;
    }
    ~MpdClient() {
        if (fd >= 0) close(fd);
    }
    // The reply up to its "OK" or "ACK" line, that line included.
    std::string ReadReply() {
        std::string reply;
        for (;;) {
            const size_t nl = pending.find('\n');
            if (nl != std::string::npos) {
                const std::string line = pending.substr(0, nl);
                pending.erase(0, nl + 1);
                reply += line + "\n";
                if (line.rfind("OK", 0) == 0 || line.rfind("ACK", 0) == 0) return reply;
                continue;
            }
            char buf[4096];
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) return reply;
            pending.append(buf, size_t(n));
        }
    }
    std::string Command(const std::string &command) {
        const std::string line = command + "\n";
        if (write(fd, line.data(), line.size()) != ssize_t(line.size())) return "";
        return ReadReply();
    }
};

Figures MeasureMpd(const std::string &music, double seconds) {
    Figures f;
    TempFolder dir;
    const std::string home = dir.path + "home/", capture = home + "out.raw";
    fs::create_directories(home);
    WriteCaptureConfig(home, capture);
    const int port = 20'000 + int(getpid() % 20'000);
    WriteBytes(dir.path + "mpd.conf", "music_directory \"" + music + "\"\n" + "db_file \"" + dir.path +
                                          "db\"\n" + "pid_file \"" + dir.path + "pid\"\n" + "log_file \"" +
                                          dir.path + "log\"\n" + "bind_to_address \"127.0.0.1\"\n" +
                                          "port \"" + std::to_string(port) + "\"\n" +
                                          "audio_output {\n type \"alsa\"\n name \"capture\"\n"
                                          " device \"dsdcapture\"\n mixer_type \"none\"\n dop \"no\"\n}\n");
    const pid_t pid = StartProgram("/usr/bin/mpd", {"--no-daemon", dir.path + "mpd.conf"}, {"HOME=" + home},
                                   dir.path + "stderr.txt");
    MpdClient mpd;
    if (pid > 0 && mpd.Connect(port)) {
        mpd.Command("update");
        for (int i = 0; i < 200 && mpd.Command("status").find("updating_db") != std::string::npos; ++i)
            Sleep(0.05);
        mpd.Command("add \"/\"");
        const size_t mark = FileSize(capture);
        const double cpu = CpuSeconds(pid);
        const Clock::time_point t = Clock::now();
        mpd.Command("play");
        if (WaitMusic(capture, mark, 10'000)) {
            f.FirstByte = SecondsSince(t);
            Sleep(seconds + 0.5 - SecondsSince(t));
            f.Cpu = CpuSeconds(pid) - cpu;
        }
    }
    KillProgram(pid);
    return f;
}

std::string Cell(double value, const char *unit) {
    if (value < 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.3f %s", value, unit);
    return text;
}

} // namespace

int main(int argc, char **argv) {
    if (!std::getenv("GS_BENCH_ON_XVFB")) {
        setenv("GS_BENCH_ON_XVFB", "1", 1);
        std::vector<char *> args = {const_cast<char *>("xvfb-run"), const_cast<char *>("-a"),
                                    const_cast<char *>("-s"), const_cast<char *>("-screen 0 1280x1024x24")};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("xvfb-run", args.data());
        std::perror("xvfb-run");
        return 2;
    }
    int runs = 1;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    const bool with_mpd = access("/usr/bin/mpd", X_OK) == 0;

    TempFolder music;
    XProbe x;
    std::printf("%-14s %-28s %-28s %s\n", "track", "first byte: ours / MPD", "CPU per track: ours / MPD",
                "close: idle / playing");
    for (const Row &row : Rows) {
        const std::string track = music.path + row.File;
        if (!TestDsd_WriteFile(Shape(TestDsdKind::DsfLsb, row.Rate, row.Seconds, 1), track)) {
            std::fprintf(stderr, "cannot write %s\n", track.c_str());
            return 1;
        }
        for (int run = 0; run < runs; ++run) {
            Warm(track);
            double close_idle = -1, close_playing = -1;
            const Figures ours = MeasureOurs(x, track, row.Seconds, close_idle, close_playing);
            Figures mpd;
            if (with_mpd) {
                Warm(track);
                mpd = MeasureMpd(music.path, row.Seconds);
            }
            double load = 0;
            std::ifstream("/proc/loadavg") >> load;
            std::printf("%-14s %-28s %-28s %s / %s   (load %.2f)\n", row.Name,
                        (Cell(ours.FirstByte, "s") + " / " + Cell(mpd.FirstByte, "s")).c_str(),
                        (Cell(ours.Cpu, "s") + " / " + Cell(mpd.Cpu, "s")).c_str(),
                        Cell(close_idle, "s").c_str(), Cell(close_playing, "s").c_str(), load);
            std::fflush(stdout);
        }
    }
    return 0;
}
