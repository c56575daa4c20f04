// Shared fixtures of the playback tests, and their main: the ALSA configuration and the engine
// binding come before any test.

#include "helpers.h"

#include "audio/audio.h"
#include "fixtures.h"
#include "library/library.h"
#include "library/settings.h"
#include "platform/files.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace fs = std::filesystem;

std::vector<std::string> Messages;

namespace {

std::string g_folder, g_capture;
std::mutex g_messages_lock;
std::atomic<bool> g_finish{false};
// No window: the audio thread's request to finish is recorded for WaitUntilIdle.
// The messages playback shows are recorded in Messages.
const PlaybackDisplay NoWindow = {
    .PostFinish =
        [] {
            g_finish.store(true, std::memory_order_release);
            return true;
        },
    .ShowMessage =
        [](const std::string &title, const std::string &text, uint32_t) {
            std::lock_guard<std::mutex> guard(g_messages_lock);
            Messages.push_back(title + "|" + text);
        },
};

bool SetUpAudioTestProgram() {
    g_capture = g_folder + "capture.raw";
    UseCaptureConfig(g_folder, g_capture);
    if (BindEngine(ENGINE_DIR) != BindOk) return false;
    Display = &NoWindow;
    return ReservePlaybackMemory();
}

} // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const TempFolder folder;
    g_folder = folder.path;
    if (!SetUpAudioTestProgram()) {
        std::fprintf(stderr, "cannot set up: engine libraries in %s, memory\n", ENGINE_DIR);
        return 2;
    }
    const int result = RUN_ALL_TESTS();
    UnbindEngine();
    return result;
}

const std::string &TestFolder() {
    return g_folder;
}

std::string WriteTrack(const TestDsdShape &shape, const std::string &name) {
    const std::string path = g_folder + name;
    fs::create_directories(fs::path(path).parent_path());
    return TestDsd_WriteFile(shape, path) ? path : "";
}

void ResetPlayer() {
    ClearList(1);
    ClearList(2);
    ActiveView = ViewList1;
    Transport.SessionDsdRate = 0;
    Transport.OutputFrequency = 0;
    DeviceCaps = DeviceRecord{};
    DeviceCaps.Dsd = {1, 1, 1, 1};
    ViewCover = CoverTrack = 0;
    OutputChannel = 0;
    Memory.ChunkSize = ProgramChunkSize;
    Transport.PlayingList.store(0);
    Transport.NextIndex.store(0);
    Transport.StreamHandle.store(0);
    Transport.OutputDsdRate.store(0);
    EmptyNowPlaying();
    EmptyTrackQueue();
    EngineFn.Tavo_Free(); // with every stream
    EngineFn.Tavo_Init(0, 44'100, 0x1000, nullptr, nullptr);
    std::lock_guard<std::mutex> guard(g_messages_lock);
    Messages.clear();
}

void AddTracks(const std::vector<TestDsdShape> &tracks, size_t list1, const std::string &folder) {
    for (size_t i = 0; i < tracks.size(); ++i) {
        const std::string ext = tracks[i].kind == TestDsdKind::Dff ? "dff" : "dsf";
        const std::string path = WriteTrack(tracks[i], folder + "/" + std::to_string(i) + "." + ext);
        const ProbedTrack probe = ProbeTrack(path, ext);
        ASSERT_TRUE(probe) << path;
        if (AppendEntry(i < list1 ? 1 : 2, probe.Entry) >= 0) AcceptRunRate(probe.Entry);
    }
}

bool OpenCaptureDevice() {
    std::error_code ec;
    fs::remove(g_capture, ec);
    TavaDeviceInfo info;
    for (uint32_t n = 0; EngineFn.Tava_ASIO_GetDeviceInfo(n, &info); ++n) {
        if (std::strcmp(info.driver, "dsdcapture") != 0) continue;
        OutputDevice = static_cast<int>(n);
        return EngineFn.Tava_ASIO_Init(static_cast<int>(n), 1) && EngineFn.Tava_ASIO_SetDSD(1);
    }
    return false;
}

void CloseCaptureDevice() {
    if (EngineFn.Tava_ASIO_IsStarted() == 1) EngineFn.Tava_ASIO_Stop();
    EngineFn.Tava_ASIO_Free();
}

bool WaitUntilIdle(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    // Like timer 119, the request stands until playback has ended: FinishPlayback does nothing while
    // the audio thread is still on its way out.
    while (Transport.PlayingList.load() != 0) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (g_finish.load(std::memory_order_acquire)) FinishPlayback();
        SleepMs(5);
    }
    g_finish.store(false, std::memory_order_release);
    return true;
}

std::vector<uint8_t> CapturedPair() {
    return PairFromCapture(ReadBytes(g_capture));
}
