// Playback through the real ALSA library into a capture file: every byte of every track, in order,
// across track ends, the List 1 to List 2 boundary and buffer switches, then only DSD silence; the
// transport commands; and the developers' harness.

#include "helpers.h"

#include "audio/audio.h"
#include "library/library.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

namespace {

constexpr uint32_t Rates[] = {2'822'400, 5'644'800, 11'289'600, 22'579'200};

// Pair bytes per second of a DSD rate.
int64_t BytesPerSecond(uint32_t rate) {
    return int64_t{rate} / 8 * 2;
}

TestDsdShape Shape(TestDsdKind kind, uint32_t rate, double seconds, uint32_t seed) {
    TestDsdShape s;
    s.kind = kind;
    s.rate = rate;
    s.samples = static_cast<uint64_t>(seconds * rate) / 8 * 8 + 8 * 3; // not a whole number of periods
    s.seed = seed;
    return s;
}

const char *KindName(TestDsdKind kind) {
    switch (kind) {
    case TestDsdKind::DsfLsb:
        return "DsfLsb";
    case TestDsdKind::DsfMsb:
        return "DsfMsb";
    case TestDsdKind::Dff:
        return "Dff";
    }
    return "";
}

void Wait(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Waits until AsioProc has delivered data (the played count moves), at most `seconds`.
bool WaitForSound(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (NowPlayingPlayed() == 0) {
        if (std::chrono::steady_clock::now() > end) return false;
        Wait(0.005);
    }
    return true;
}

class Playback : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetPlayer();
        ASSERT_TRUE(OpenCaptureDevice());
    }
    void TearDown() override {
        if (PlayingList.load() != 0) TransportStop();
        CloseCaptureDevice();
        ChunkSize = ProgramChunkSize;
        ResetPlayer();
    }
    // Writes the tracks and probes them into the lists: list1 of them into List 1, the rest into
    // List 2.
    void AddTracks(const std::vector<TestDsdShape> &tracks, size_t list1, const std::string &folder) {
        for (size_t i = 0; i < tracks.size(); ++i) {
            const char *ext = tracks[i].kind == TestDsdKind::Dff ? ".dff" : ".dsf";
            const std::string path = WriteTrack(tracks[i], folder + "/" + std::to_string(i) + ext);
            ASSERT_FALSE(path.empty());
            ASSERT_TRUE(AddTrack(i < list1 ? 1 : 2, path));
        }
    }
    // Plays from idle until the player returns to idle by itself; the capture as played.
    std::vector<uint8_t> PlayThrough(double seconds) {
        EXPECT_TRUE(StartPlayback(false));
        EXPECT_TRUE(WaitUntilIdle(seconds)) << "still playing after " << seconds << " s";
        CloseCaptureDevice();
        return CapturedPair();
    }
};

// Each rate and file kind: two tracks in List 1 and one in List 2, with chunks of about a second,
// so that tracks end inside chunks, the next goes on in the same chunk, and A and B take turns.
class Formats : public Playback, public ::testing::WithParamInterface<std::tuple<uint32_t, TestDsdKind>> {};

TEST_P(Formats, CaptureHoldsEveryTrackInOrderThenSilence) {
    const auto [rate, kind] = GetParam();
    ChunkSize = BytesPerSecond(rate) / 8 * 8; // one second of sound
    const std::vector<TestDsdShape> tracks = {Shape(kind, rate, 0.7, 1), Shape(kind, rate, 0.75, 2),
                                             Shape(kind, rate, 0.6, 3)};
    AddTracks(tracks, 2, std::string("formats-") + KindName(kind) + std::to_string(rate));
    const std::vector<uint8_t> pair = PlayThrough(30);
    EXPECT_EQ(CheckCapture(pair, tracks), "");
    EXPECT_EQ(PlayingList.load(), 0);
    EXPECT_EQ(PlayState.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(AllRatesAndKinds, Formats,
                         ::testing::Combine(::testing::ValuesIn(Rates),
                                            ::testing::Values(TestDsdKind::DsfLsb, TestDsdKind::DsfMsb,
                                                              TestDsdKind::Dff)),
                         [](const auto &param_info) {
                             return std::string(KindName(std::get<1>(param_info.param))) + "_" +
                                    std::to_string(std::get<0>(param_info.param));
                         });

// The program's own chunk size: DSD512 tracks that take three chunks, so that both buffers are
// refilled while the other plays. About half a minute of sound.
TEST_F(Playback, Dsd512_ThreeProgramSizedChunks) {
    const uint32_t rate = 22'579'200;
    const double seconds =
        1.25 * static_cast<double>(ProgramChunkSize) / static_cast<double>(BytesPerSecond(rate));
    const std::vector<TestDsdShape> tracks = {Shape(TestDsdKind::DsfLsb, rate, seconds, 11),
                                             Shape(TestDsdKind::Dff, rate, seconds, 12)};
    AddTracks(tracks, 1, "dsd512");
    ASSERT_GT(ListBytes1 + ListBytes2, 2 * ProgramChunkSize);
    const std::vector<uint8_t> pair = PlayThrough(seconds * 2 + 30);
    EXPECT_EQ(CheckCapture(pair, tracks), "");
}

TEST_F(Playback, PauseAndResume_LoseNothing) {
    const uint32_t rate = 2'822'400;
    const std::vector<TestDsdShape> tracks = {Shape(TestDsdKind::DsfMsb, rate, 1.0, 21),
                                             Shape(TestDsdKind::DsfMsb, rate, 1.0, 22)};
    AddTracks(tracks, 2, "pause");
    ASSERT_TRUE(StartPlayback(false));
    ASSERT_TRUE(WaitForSound(5));
    Wait(0.4);
    TransportPause(false);
    EXPECT_TRUE(PlaybackPaused());
    const int64_t at_pause = NowPlayingPlayed();
    Wait(0.5);
    EXPECT_EQ(NowPlayingPlayed(), at_pause) << "nothing plays while paused";
    TransportPause(true);
    EXPECT_FALSE(PlaybackPaused());
    ASSERT_TRUE(WaitUntilIdle(20));
    CloseCaptureDevice();

    // The data, in order, with one stretch of silence inserted: the pause.
    const std::vector<uint8_t> pair = CapturedPair();
    const std::vector<uint8_t> expected = ExpectedBytes(tracks);
    size_t at = 0, gaps = 0;
    bool in_gap = false;
    for (size_t i = 0; i < pair.size() && at < expected.size(); ++i) {
        if (pair[i] == expected[at]) {
            ++at;
            in_gap = false;
        } else {
            ASSERT_EQ(pair[i], 0x69) << "byte " << i << " is neither the next data byte nor silence";
            if (at > 0 && !in_gap) ++gaps;
            in_gap = true;
        }
    }
    EXPECT_EQ(at, expected.size()) << "data missing";
    EXPECT_EQ(gaps, 1u);
}

TEST_F(Playback, NextMidTrack_GoesOnWithTheTrackAfterTheOneHeard) {
    const uint32_t rate = 2'822'400;
    const std::vector<TestDsdShape> tracks = {Shape(TestDsdKind::DsfLsb, rate, 1.5, 31),
                                             Shape(TestDsdKind::DsfLsb, rate, 0.5, 32),
                                             Shape(TestDsdKind::DsfLsb, rate, 0.5, 33)};
    // Chunks of 0.6 s: the first track is still being read when Next comes. (Once the decoder has
    // read the last track, the lists count as used up and Next stops instead.)
    ChunkSize = BytesPerSecond(rate) * 6 / 10 / 8 * 8;
    AddTracks(tracks, 3, "next");
    ASSERT_TRUE(StartPlayback(false));
    ASSERT_TRUE(WaitForSound(5));
    Wait(0.3);
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, List1[0].TrackId);
    ASSERT_EQ(PlayingList.load(), 1);
    TransportNext();
    EXPECT_EQ(PlayingList.load(), 1);
    ASSERT_TRUE(WaitForSound(5));
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, List1[1].TrackId);
    ASSERT_TRUE(WaitUntilIdle(20));
    CloseCaptureDevice();

    const std::vector<uint8_t> pair = CapturedPair();
    const std::vector<uint8_t> first = ExpectedBytes({tracks[0]});
    const std::vector<uint8_t> rest = ExpectedBytes({tracks[1], tracks[2]});
    size_t begin = 0;
    while (begin + 64 <= pair.size() && std::memcmp(&pair[begin], first.data(), 64) != 0) ++begin;
    ASSERT_LT(begin + 64, pair.size()) << "the first track never played";
    size_t heard = 0;
    while (begin + heard < pair.size() && heard < first.size() && pair[begin + heard] == first[heard])
        ++heard;
    EXPECT_LT(heard, first.size()) << "the first track played to its end";
    EXPECT_GT(heard, first.size() / 10);
    size_t second = begin + heard;
    while (second + 64 <= pair.size() && std::memcmp(&pair[second], rest.data(), 64) != 0) {
        ASSERT_EQ(pair[second], 0x69) << "between the tracks only silence";
        ++second;
    }
    ASSERT_LE(second + rest.size(), pair.size());
    EXPECT_EQ(std::memcmp(&pair[second], rest.data(), rest.size()), 0) << "the following tracks whole";
    for (size_t i = second + rest.size(); i < pair.size(); ++i) ASSERT_EQ(pair[i], 0x69) << i;
}

TEST_F(Playback, Stop_ReturnsEverythingToIdle) {
    const uint32_t rate = 5'644'800;
    ChunkSize = BytesPerSecond(rate) / 2 / 8 * 8;
    const std::vector<TestDsdShape> tracks = {Shape(TestDsdKind::Dff, rate, 2.0, 41),
                                             Shape(TestDsdKind::Dff, rate, 1.0, 42)};
    AddTracks(tracks, 1, "stop");
    ASSERT_TRUE(StartPlayback(false));
    ASSERT_TRUE(WaitForSound(5));
    EXPECT_TRUE(AudioThreadRuns());
    EXPECT_EQ(OutputDsdRate.load(), 5'644'800.0f);
    TransportPause(true);
    TransportStop();
    EXPECT_EQ(PlayingList.load(), 0);
    EXPECT_EQ(PlayState.load(), 0);
    EXPECT_EQ(NextIndex.load(), 0);
    EXPECT_EQ(StreamHandle.load(), 0u);
    EXPECT_EQ(RunningFrequency.load(), 0);
    EXPECT_EQ(OutputDsdRate.load(), 0.0f);
    EXPECT_EQ(HandedBytes.load(), 0);
    EXPECT_EQ(OutputDry.load(), 0);
    EXPECT_EQ(ActiveBuffer.load(), 0);
    EXPECT_EQ(FillTarget.load(), 1);
    EXPECT_EQ(FillA.load() + ReadA.load() + FillB.load() + ReadB.load(), 0);
    EXPECT_FALSE(AudioThreadRuns());
    EXPECT_FALSE(PlaybackPaused());
    EXPECT_EQ(EngineFn.Tava_ASIO_IsStarted(), 0);
    EXPECT_EQ(QueuedTracks(), 0u);
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, 0);
    EXPECT_EQ(TakeNowPlaying().Played, 0);
    // The buffers' pages went back to the system.
    unsigned char resident = 1;
    ASSERT_EQ(mincore(BufferA, 4096, &resident), 0);
    EXPECT_EQ(resident & 1, 0);
    EXPECT_EQ(BufferA[0], 0);

    // And it plays again from the start.
    ASSERT_TRUE(StartPlayback(false));
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, List1[0].TrackId);
    TransportStop();
    EXPECT_EQ(PlayingList.load(), 0);
}

TEST_F(Playback, NothingToPlay_ShowsTheRefusalAndStaysIdle) {
    EXPECT_FALSE(StartPlayback(false));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Error|Illegal sample rate");
    EXPECT_EQ(PlayingList.load(), 0);
    EXPECT_EQ(PlayState.load(), 0);
    EXPECT_FALSE(AudioThreadRuns());
    // Pause from the Pause text does nothing while idle; Play from idle is the same refusal.
    TransportPause(false);
    EXPECT_EQ(Messages.size(), 1u);
}

TEST_F(Playback, NextAfterTheListsAreUsedUp_StopsAndReturnsToIdle) {
    const uint32_t rate = 2'822'400;
    const std::vector<TestDsdShape> tracks = {Shape(TestDsdKind::DsfLsb, rate, 1.5, 51)};
    AddTracks(tracks, 1, "usedup");
    ASSERT_TRUE(StartPlayback(false));
    ASSERT_TRUE(WaitForSound(5));
    EXPECT_EQ(PlayingList.load(), -1) << "the only track is read: the lists are used up";
    TransportNext();
    EXPECT_EQ(PlayingList.load(), 0);
    EXPECT_FALSE(AudioThreadRuns());
    EXPECT_EQ(EngineFn.Tava_ASIO_IsStarted(), 0);
}

// The harness as the tests and benchmarks run it, in a process of its own.
int RunPlayFiles(const std::vector<std::string> &args, std::string &err) {
    const std::string err_file = TestFolder() + "play_files.err";
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(PLAY_FILES));
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        if (!freopen(err_file.c_str(), "w", stderr)) _exit(126);
        execv(PLAY_FILES, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(err_file);
    err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Playback, PlayFilesHarness_PlaysList1ThenList2AndExitsWhenIdle) {
    CloseCaptureDevice(); // the device is the harness's now
    const uint32_t rate = 2'822'400;
    const std::vector<TestDsdShape> tracks = {Shape(TestDsdKind::DsfLsb, rate, 0.4, 61),
                                             Shape(TestDsdKind::Dff, rate, 0.4, 62)};
    const std::string a = WriteTrack(tracks[0], "harness/a.dsf"), b = WriteTrack(tracks[1], "harness/b.dff");
    std::string err;
    EXPECT_EQ(RunPlayFiles({"DSD capture", a, "--list2", b}, err), 0) << err;
    EXPECT_EQ(CheckCapture(CapturedPair(), tracks), "");

    // The ALSA name works as well.
    EXPECT_EQ(RunPlayFiles({"dsdcapture", a, b}, err), 0) << err;
    EXPECT_EQ(CheckCapture(CapturedPair(), tracks), "");

    EXPECT_NE(RunPlayFiles({"no such device", a}, err), 0);
    EXPECT_NE(err.find("no such device"), std::string::npos) << err;
    EXPECT_NE(RunPlayFiles({"dsdcapture"}, err), 0);
    EXPECT_NE(err.find("Illegal sample rate"), std::string::npos) << err;
}

} // namespace
