// Start-up of the real program, measured from outside: the time from exec to the main window at full
// opacity with a valid settings file present (the splash then stays for its 800 ms timer and the
// device window is not shown), and the program's resident memory before anything has played.
//
// Run on a display of its own: tools/startup_bench/run.sh [runs] (or xvfb-run ... startup_bench PROGRAM
// [runs]). Each run starts a fresh copy of the program in a temporary folder with an ALSA
// configuration holding one DSD capture device, then closes it.

#include "capture.h"
#include "fixtures.h"
#include "x11_probe.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t ResidentTarget = 80ull << 20;

std::string SettingsFor(const std::string &name) {
    std::string bytes = "\x99\x3C\x34\x01";
    for (char c : name) bytes += std::string{c, '\0'};
    bytes += std::string("\x0D\x00\x0A\x00", 4);
    bytes += std::string("\x00\x01\x01\x01\x02\x00\x01\xFF", 8);
    return bytes;
}

struct Run {
    double startup_ms = 0;
    double resident_mb = 0;
};

bool OneRun(const std::string &program, Run &out) {
    const TempFolder folder;
    const std::string dir = folder.path, app = dir + "app/", home = dir + "home/";
    fs::create_directories(app + "lpli");
    fs::create_directories(home);
    fs::copy_file(program, app + "Groovestone-lp-dsd");
    WriteCaptureConfig(home, home + "out.raw");
    WriteBytes(app + "lpli/lp.is", SettingsFor("DSD capture"));

    bool ok = false;
    {
        WindowWatch watch;
        XProbe x;
        const auto start = Clock::now();
        const pid_t pid =
            StartProgram(app + "Groovestone-lp-dsd", {},
                         {"HOME=" + home, "XDG_DATA_HOME=" + home + ".local/share"}, dir + "stderr.txt");
        Clock::time_point full;
        if (pid > 0 && watch.WaitFullOpacity("Groovestone DSD", 10'000, full)) {
            out.startup_ms = std::chrono::duration<double, std::milli>(full - start).count();
            // After the fade the program reserves the playback memory, drains its events, waits
            // 200 ms and opens the device: measure once it waits for the user.
            usleep(1'000'000);
            out.resident_mb = double(ResidentBytes(pid)) / (1 << 20);
            if (XWindow main = x.Find("Groovestone DSD")) x.RequestClose(main);
            int code = -1;
            ok = WaitExit(pid, 5'000, code) && code == 0;
        }
        KillProgram(pid);
    }
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_bench PROGRAM [runs]\n");
        return 2;
    }
    const std::string program = fs::absolute(argv[1]).string();
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;

    std::vector<Run> results;
    // The first start writes the engine libraries to a fresh data folder like every other here, but
    // also warms the file cache; it is shown and not counted.
    Run warm;
    if (!OneRun(program, warm)) {
        std::fprintf(stderr, "the program did not come up or did not end in order\n");
        return 1;
    }
    std::printf("warm-up run: %.0f ms to full opacity, %.1f MiB resident\n", warm.startup_ms,
                warm.resident_mb);
    for (int i = 0; i < runs; ++i) {
        Run r;
        if (!OneRun(program, r)) {
            std::fprintf(stderr, "run %d failed\n", i + 1);
            return 1;
        }
        std::printf("run %2d: %.0f ms to full opacity, %.1f MiB resident\n", i + 1, r.startup_ms,
                    r.resident_mb);
        results.push_back(r);
    }
    auto stat = [&](auto field) -> std::array<double, 3> {
        std::vector<double> v;
        for (const Run &r : results) v.push_back(field(r));
        std::sort(v.begin(), v.end());
        return {v.front(), v[v.size() / 2], v.back()};
    };
    const auto ms = stat([](const Run &r) { return r.startup_ms; });
    const auto mb = stat([](const Run &r) { return r.resident_mb; });
    std::printf("\nexec to main window at full opacity (ms): min %.0f  median %.0f  max %.0f\n", ms[0], ms[1],
                ms[2]);
    std::printf("  of which the splash timer: 800 ms by design\n");
    std::printf(
        "resident memory before playback (MiB):  min %.1f  median %.1f  max %.1f  (target below %.0f)\n",
        mb[0], mb[1], mb[2], double(ResidentTarget >> 20));
    return mb[2] * (1 << 20) < double(ResidentTarget) ? 0 : 1;
}
