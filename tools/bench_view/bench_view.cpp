// The turntable view's costs on the main thread, each against a baseline measured in the same run:
//   tick   one refresh tick that moves only the position bar: DrawPositionBar with a moving width,
//          then the window system's repaint of the 470x28 bar (target: under 1 ms of CPU time of
//          the main thread), against the bare patch copied to the bar and repainted
//   cover  ShowCover of a 3000x3000 JPEG with the cover on the label (decode, scaling, darkening,
//          mask, burning into the panel background, panel repaint), against decoding the file alone
//   wide   ShowCover of an 8000x100 JPEG on the label, whose small height takes the scaling by
//          area: how far the peak resident size of the process rises (target: a few MB, the
//          picture's own size; an enlarged square copy of it would take 256 MB). It runs before
//          the 3000x3000 cover, as a peak that an earlier step reached hides the rise.
//
// Run on a display: xvfb-run -a -s "-screen 0 1280x1024x24" build/tools/bench_view/bench_view
// (Google Benchmark options such as --benchmark_filter=Bar or --benchmark_repetitions=5 pass through).
// The main window is built in this process as the program builds it, with the cover on the label,
// shown at full opacity. Times are CPU time of this thread; the work of the X server is not counted.
//
// The window system paints at most once per frame (GDK's frame clock, 60 per second, which may hold
// the next frame back by more than one interval after a paint): each tick first waits 40 ms, untimed,
// so that the repaint it asks for happens at once, as it does in the program, whose ticks are 200 ms
// apart. The counter "waits" counts the ticks whose repaint still had to wait for a frame (a sleep,
// which costs no CPU time but shows in the wall time).

#include "app/app.h"
#include "fixtures.h"
#include "library/library.h"
#include "library/settings.h"
#include "platform/gui.h"
#include "resources.h"
#include "ui/objects.h"
#include "ui/ui.h"
#include "view/view.h"

#include <benchmark/benchmark.h>
#include <gtk/gtk.h>
#include <jpeglib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What the bar shows while a track plays: a long title with letters outside ASCII.
const std::string Title = "Sonate für Violine und Klavier Nr. 5 F-Dur, Op. 24 – I. Allegro";

constexpr int CoverSide = 3000;
constexpr int WideWidth = 8000, WideHeight = 100;
std::string g_folder, g_jpeg, g_wide;

// The largest resident size this process has had, in KB.
long PeakResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// --- the main window's paints

// Draws of the main window and the clip of the last one, counted by a handler on its toplevel.
int g_draws = 0;
double g_clip[4] = {};

gboolean CountDraw(GtkWidget *, cairo_t *cr, gpointer) {
    ++g_draws;
    cairo_clip_extents(cr, &g_clip[0], &g_clip[1], &g_clip[2], &g_clip[3]);
    return FALSE;
}

bool WatchMainWindowDraws() {
    GList *tops = gtk_window_list_toplevels();
    bool found = false;
    for (GList *t = tops; t; t = t->next) {
        const char *title = gtk_window_get_title(GTK_WINDOW(t->data));
        if (title && std::string(title) == "Groovestone DSD") {
            g_signal_connect(t->data, "draw", G_CALLBACK(CountDraw), nullptr);
            found = true;
        }
    }
    g_list_free(tops);
    return found;
}

// Runs the window system until nothing is pending and the main window has painted since `draws`.
// Returns whether that needed a blocking wait for the next frame.
bool Repaint(int draws) {
    while (WindowEvent() != EventNone) {
    }
    bool waited = false;
    while (g_draws == draws) {
        g_main_context_iteration(nullptr, TRUE);
        waited = true;
    }
    while (WindowEvent() != EventNone) {
    }
    return waited;
}

// Untimed: lets the frame clock's pause after the last paint run out, and anything pending happen.
void WaitForFrame(benchmark::State &state) {
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    while (WindowEvent() != EventNone) {
    }
    state.ResumeTiming();
}

// --- the bar

void BM_BarTick(benchmark::State &state) {
    int width = 0, waits = 0;
    for (auto _ : state) {
        WaitForFrame(state);
        const int draws = g_draws;
        DrawPositionBar(width, Title);
        waits += Repaint(draws);
        width = (width + 7) % 471;
    }
    state.counters["waits"] = waits;
    state.SetLabel("repainted " + std::to_string(int(g_clip[2] - g_clip[0])) + "x" +
                   std::to_string(int(g_clip[3] - g_clip[1])) + " at (" + std::to_string(int(g_clip[0])) +
                   "," + std::to_string(int(g_clip[1])) + ")");
}

void BM_BareBarTick(benchmark::State &state) {
    int waits = 0;
    for (auto _ : state) {
        WaitForFrame(state);
        const int draws = g_draws;
        if (StartDrawing(CanvasOutput(PositionBar))) {
            DrawImage(PositionBarPatch, 0, 0);
            StopDrawing();
        }
        waits += Repaint(draws);
    }
    state.counters["waits"] = waits;
}

// The drawing alone, paced like the ticks; the repaint it asks for happens while the next waits.
void BM_BarDrawOnly(benchmark::State &state) {
    int width = 0;
    for (auto _ : state) {
        WaitForFrame(state);
        DrawPositionBar(width, Title);
        width = (width + 7) % 471;
    }
    while (WindowEvent() != EventNone) {
    }
}

BENCHMARK(BM_BarTick)->Unit(benchmark::kMicrosecond)->Iterations(300);
BENCHMARK(BM_BareBarTick)->Unit(benchmark::kMicrosecond)->Iterations(300);
BENCHMARK(BM_BarDrawOnly)->Unit(benchmark::kMicrosecond)->Iterations(300);

// --- the label cover

void BM_ShowCover(benchmark::State &state) {
    int waits = 0;
    for (auto _ : state) {
        WaitForFrame(state);
        const int draws = g_draws;
        ShowCover(g_jpeg);
        waits += Repaint(draws);
    }
    state.counters["waits"] = waits;
    if (CoverShown != 2) state.SkipWithError("the cover was not shown");
}

void BM_DecodeOnly(benchmark::State &state) {
    for (auto _ : state)
        if (!LoadImageFile(ScratchImage, g_jpeg)) state.SkipWithError("the JPEG does not decode");
    FreeImage(ScratchImage);
}

// The peak's rise, in MB, is the counter "peak_rise_MB".
void BM_ShowWideCover(benchmark::State &state) {
    const long before = PeakResidentKb();
    for (auto _ : state) {
        WaitForFrame(state);
        const int draws = g_draws;
        ShowCover(g_wide);
        Repaint(draws);
    }
    state.counters["peak_rise_MB"] = static_cast<double>(PeakResidentKb() - before) / 1024;
    if (CoverShown != 2) state.SkipWithError("the cover was not shown");
}

BENCHMARK(BM_ShowWideCover)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ShowCover)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->MinTime(3);

// --- set-up

// A photograph-like JPEG at quality 90: soft gradients under fine noise, so that the decoder has
// real detail to work through.
bool WriteCoverJpeg(const std::string &path, int width, int height) {
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * 3);
    uint32_t seed = 0x9E3779B9u;
    auto noise = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return static_cast<int>(seed % 49) - 24;
    };
    auto clamp = [](int v) { return static_cast<JSAMPLE>(v < 0 ? 0 : v > 255 ? 255 : v); };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int ring = ((x - 1500) * (x - 1500) + (y - 1200) * (y - 1200)) / 9000 % 256;
            row[x * 3 + 0] = clamp(x * 255 / width + noise());
            row[x * 3 + 1] = clamp(ring + noise());
            row[x * 3 + 2] = clamp(y * 255 / height + noise());
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

bool SetUpWindow() {
    if (!InitGui()) {
        std::fprintf(stderr, "bench_view needs a display (run it under xvfb-run)\n");
        return false;
    }
    const ResourceBytes font = Resource(ResCalligraphyFont);
    RegisterPrivateFont(font.data, font.size);
    AddFontAliases("TeX Gyre Chorus");
    LoadTextFonts();
    ViewCover = 2;
    BuildMainWindow();
    SetWindowOpacity(MainWindow, 255);
    ActivateWindow(MainWindow);
    HideWindow(MainWindow, false);
    if (!WatchMainWindowDraws()) {
        std::fprintf(stderr, "the main window was not found\n");
        return false;
    }
    // List 1 full and shown on the panel, as while it plays.
    for (int i = 0; i < static_cast<int>(MaxListEntries); ++i) {
        ListEntry entry;
        entry.Title = entry.DisplayTitle =
            "0" + std::to_string(i + 1) + " Nocturne in E-flat major, Op. 9 No. 2";
        entry.DurationText = "  4:3" + std::to_string(i);
        ListOf(1).Entries.push_back(entry);
    }
    ActiveView = ViewList1;
    DrawListPanel(ActiveView, 0, 0);
    // The first paints of the whole window, before anything is timed.
    for (int i = 0; i < 50; ++i) {
        while (WindowEvent() != EventNone) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool SetUpCover() {
    g_jpeg = g_folder + "cover.jpg";
    g_wide = g_folder + "wide.jpg";
    if (!WriteCoverJpeg(g_jpeg, CoverSide, CoverSide) || !WriteCoverJpeg(g_wide, WideWidth, WideHeight))
        return false;
    std::printf("cover: %dx%d JPEG of %.1f MB in %s\n", CoverSide, CoverSide, fs::file_size(g_jpeg) / 1e6,
                g_jpeg.c_str());
    return true;
}

// Keeps the CPU time per iteration of every run, by benchmark, for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred)
                times[r.run_name.function_name].push_back(r.GetAdjustedCPUTime());
        ConsoleReporter::ReportRuns(runs);
    }
    // The median over the repetitions; 0 for a benchmark that did not run.
    double Time(const std::string &name) {
        std::vector<double> &v = times[name];
        if (v.empty()) return 0;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    std::map<std::string, std::vector<double>> times;
};

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    const TempFolder folder;
    g_folder = folder.path;
    if (!SetUpWindow() || !SetUpCover()) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double tick = reporter.Time("BM_BarTick"), bare = reporter.Time("BM_BareBarTick"),
                 draw = reporter.Time("BM_BarDrawOnly");
    if (tick > 0) {
        std::printf("\nposition bar tick: %.3f ms of CPU (target: under 1 ms)", tick / 1000);
        if (bare > 0) std::printf("; %.2f x the bare patch repainted (%.3f ms)", tick / bare, bare / 1000);
        if (draw > 0) std::printf("; the drawing alone %.3f ms", draw / 1000);
        std::printf("\n");
    }
    const double cover = reporter.Time("BM_ShowCover"), decode = reporter.Time("BM_DecodeOnly");
    if (cover > 0 && decode > 0)
        std::printf("label cover from a %dx%d JPEG: %.0f ms of CPU; decoding alone %.0f ms = %.0f%% of it\n",
                    CoverSide, CoverSide, cover, decode, 100 * decode / cover);
    benchmark::Shutdown();
    return 0;
}
