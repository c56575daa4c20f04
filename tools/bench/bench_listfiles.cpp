// Reading large list files: peak resident memory and time of the list file reader (ReadTextLines)
// and of the section reader (ReadSection) on three 64 MiB files, each against reading the same
// bytes whole (ReadFileWhole) as the baseline, measured in the same run:
//   - line feeds only (Windows-1252, no mark): every line is empty;
//   - CR LF only in UTF-16LE behind its mark;
//   - a realistic track file in UTF-16LE: sections of an album header and ten track paths.
// Each reading runs in a child process of its own, so that its peak (getrusage) is its own; the files
// are written to the temporary folder and removed afterwards. Not a test: run by hand,
//   bench_listfiles [MiB]   (64 unless given)
// Target: the readers' peak stays within a small multiple of the text they keep, whatever the file
// holds: a file of line ends costs about its own size, never a string per line end.

#include "fixtures.h"
#include "library/library.h"
#include "platform/files.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Measure {
    double seconds = 0;
    double peak_mib = 0;
    double items = 0; // lines or paths kept
};

// Runs `work` in a child process; its time, its peak resident set and what it returns.
Measure InChild(const std::function<size_t()> &work) {
    int fds[2];
    if (pipe(fds) != 0) exit(1);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        auto start = std::chrono::steady_clock::now();
        size_t items = work();
        Measure m;
        m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        m.peak_mib = double(usage.ru_maxrss) / 1024.0;
        m.items = double(items);
        if (write(fds[1], &m, sizeof m) != ssize_t(sizeof m)) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    Measure m;
    if (read(fds[0], &m, sizeof m) != ssize_t(sizeof m)) m.seconds = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return m;
}

void AppendUtf16(std::string &out, const std::string &ascii) {
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
}

// A track file of `size` bytes or a little more: "!Artist k : Album k", then ten paths.
std::string TrackFile(size_t size) {
    std::string out = "\xFF\xFE";
    out.reserve(size + 4096);
    for (size_t album = 0; out.size() < size; ++album) {
        const std::string name =
            "Artist " + std::to_string(album % 997) + " : Album " + std::to_string(album);
        AppendUtf16(out, "!" + name + "\r\n");
        for (int track = 1; track <= 10; ++track)
            AppendUtf16(out, "  /media/music/Artist " + std::to_string(album % 997) + "/Album " +
                                 std::to_string(album) + "/" + std::to_string(track) +
                                 " A track with a title of usual length.dsf\r\n");
    }
    return out;
}

void Report(const char *what, const char *reader, const Measure &m, const Measure &base, double file_mib) {
    printf("%-26s %-14s %8.3f s %9.1f MiB  %13.2f  %21.2f  %15.0f\n", what, reader, m.seconds, m.peak_mib,
           m.peak_mib / file_mib, base.seconds > 0 ? m.seconds / base.seconds : 0.0, m.items);
}

} // namespace

int main(int argc, char **argv) {
    const size_t mib = argc > 1 ? size_t(atoi(argv[1])) : 64;
    const size_t size = mib << 20;
    const TempFolder folder;
    const std::string path = folder.path + "lpli1.lo";
    printf("%-26s %-14s %10s %13s  %13s  %21s  %15s\n", "file", "reader", "time", "peak RSS", "RSS / size",
           "time / baseline", "lines or paths");

    struct Case {
        const char *what;
        std::function<std::string()> make;
        const char *section;
    } cases[] = {
        {"line feeds", [&] { return std::string(size, '\n'); }, "Rock"},
        {"UTF-16 CR LF",
         [&] {
             std::string s = "\xFF\xFE";
             s.reserve(size + 2);
             while (s.size() < size + 2) s.append("\r\0\n\0", 4);
             return s;
         },
         "Rock"},
        {"track file (UTF-16)", [&] { return TrackFile(size); }, "Artist 3 : Album 1000"},
    };
    for (const Case &c : cases) {
        {
            const std::string bytes = c.make();
            if (!WriteFileWhole(path, bytes.data(), bytes.size())) {
                fprintf(stderr, "bench_listfiles: cannot write %s\n", path.c_str());
                return 1;
            }
        }
        const double file_mib = double(FileSize(path)) / (1 << 20);
        const Measure base = InChild([&] {
            std::string bytes;
            return ReadFileWhole(path, bytes, size_t{1} << 30) ? size_t(1) : size_t(0);
        });
        const Measure lines = InChild([&] {
            std::vector<std::string> out;
            ReadTextLines(path, out);
            return out.size();
        });
        const Measure section = InChild([&] { return ReadSection(path, c.section).size(); });
        Report(c.what, "ReadFileWhole", base, base, file_mib);
        Report(c.what, "ReadTextLines", lines, base, file_mib);
        Report(c.what, "ReadSection", section, base, file_mib);
    }
    return 0;
}
