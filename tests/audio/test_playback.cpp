// Playback through the real ALSA library into a capture file: every byte of every track, in order,
// across track ends, the List 1 to List 2 boundary and buffer switches, then only DSD silence; the
// transport commands; and the developers' harness.

#include "helpers.h"

#include "audio/audio.h"
#include "library/library.h"

#include <sys/mman.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace {

constexpr uint32_t Dsd64 = 2'822'400, Dsd128 = 5'644'800, Dsd512 = 22'579'200;
const char *const KindNames[] = {"DsfLsb", "DsfMsb", "Dff"};

// Pair bytes per second of a DSD rate.
int64_t BytesPerSecond(uint32_t rate) {
    return int64_t{rate} / 8 * 2;
}

void Wait(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Waits up to `seconds` for the condition.
template <typename Condition>
bool WaitUntil(double seconds, Condition condition) {
    for (int i = 0; i < int(seconds * 200) && !condition(); ++i) Wait(0.005);
    return condition();
}

// Waits until AsioProc has delivered data (the played count moves), at most five seconds.
bool WaitForSound() {
    for (int i = 0; i < 1000 && NowPlayingPlayed() == 0; ++i) Wait(0.005);
    return NowPlayingPlayed() != 0;
}

class Playback : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        ASSERT_TRUE(OpenCaptureDevice());
    }
    void TearDown() override {
        if (Transport.PlayingList.load() != 0) TransportStop();
        CloseCaptureDevice();
        PlayerTest::TearDown();
    }
    // Plays from idle until the player returns to idle by itself; the capture as played.
    static std::vector<uint8_t> PlayThrough(double seconds) {
        EXPECT_TRUE(StartPlayback({1, 0}, false));
        EXPECT_TRUE(WaitUntilIdle(seconds)) << "still playing after " << seconds << " s";
        CloseCaptureDevice();
        return CapturedPair();
    }
};

// Each rate and file kind: two tracks in List 1 and one in List 2, with chunks of two seconds, so
// that tracks end inside chunks, the next goes on in the same chunk, and A and B take turns. Two
// seconds leave the third chunk's refill room enough on a slow, loaded machine (a sanitizer build
// on two busy cores); with less it could run dry, which is the player's answer to a disk that cannot
// keep up, not a fault of the buffers.
class Formats : public Playback, public ::testing::WithParamInterface<std::tuple<uint32_t, TestDsdKind>> {};

TEST_P(Formats, CaptureHoldsEveryTrackInOrderThenSilence) {
    const auto [rate, kind] = GetParam();
    Memory.ChunkSize = BytesPerSecond(rate) * 2 / 8 * 8; // two seconds of sound
    const std::vector<TestDsdShape> tracks = {Shape(kind, rate, 1.4, 1), Shape(kind, rate, 1.5, 2),
                                              Shape(kind, rate, 1.2, 3)};
    AddTracks(tracks, 2, std::string("formats-") + KindNames[int(kind)] + std::to_string(rate));
    EXPECT_EQ(CheckCapture(PlayThrough(30), tracks), "");
    EXPECT_EQ(Transport.PlayingList.load(), 0);
    EXPECT_EQ(Transport.PlayState.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(AllRatesAndKinds, Formats,
                         ::testing::Combine(::testing::Values(Dsd64, Dsd128, 11'289'600u, Dsd512),
                                            ::testing::Values(TestDsdKind::DsfLsb, TestDsdKind::DsfMsb,
                                                              TestDsdKind::Dff)),
                         [](const auto &p) {
                             return std::string(KindNames[int(std::get<1>(p.param))]) + "_" +
                                    std::to_string(std::get<0>(p.param));
                         });

// The program's own chunk size: DSD512 tracks that take three chunks, so that both buffers are
// refilled while the other plays. About half a minute of sound.
TEST_F(Playback, Dsd512_ThreeProgramSizedChunks) {
    const double seconds = 1.25 * double(ProgramChunkSize) / double(BytesPerSecond(Dsd512));
    const std::vector<TestDsdShape> tracks = {Shape(TestDsdKind::DsfLsb, Dsd512, seconds, 11),
                                              Shape(TestDsdKind::Dff, Dsd512, seconds, 12)};
    AddTracks(tracks, 1, "dsd512");
    ASSERT_GT(ListOf(1).Bytes + ListOf(2).Bytes, 2 * ProgramChunkSize);
    EXPECT_EQ(CheckCapture(PlayThrough(seconds * 2 + 30), tracks), "");
}

TEST_F(Playback, PauseAndResume_LoseNothing) {
    const std::vector<TestDsdShape> tracks = {Shape(TestDsdKind::DsfMsb, Dsd64, 1.0, 21),
                                              Shape(TestDsdKind::DsfMsb, Dsd64, 1.0, 22)};
    AddTracks(tracks, 2, "pause");
    ASSERT_TRUE(StartPlayback({1, 0}, false));
    ASSERT_TRUE(WaitForSound());
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
    const std::vector<uint8_t> expected = ExpectedBytes(tracks);
    std::vector<uint8_t> after;
    const size_t heard = HeardPart(CapturedPair(), expected, after);
    ASSERT_LT(heard, expected.size());
    EXPECT_EQ(CheckCapture(after, std::vector<uint8_t>(expected.begin() + long(heard), expected.end())), "");
}

TEST_F(Playback, NextMidTrack_GoesOnWithTheTrackAfterTheOneHeard) {
    const std::vector<TestDsdShape> tracks = {Shape(TestDsdKind::DsfLsb, Dsd64, 1.5, 31),
                                              Shape(TestDsdKind::DsfLsb, Dsd64, 0.5, 32),
                                              Shape(TestDsdKind::DsfLsb, Dsd64, 0.5, 33)};
    // Chunks of 0.6 s: the first track is still being read when Next comes.
    Memory.ChunkSize = BytesPerSecond(Dsd64) * 6 / 10 / 8 * 8;
    AddTracks(tracks, 3, "next");
    ASSERT_TRUE(StartPlayback({1, 0}, false));
    ASSERT_TRUE(WaitForSound());
    Wait(0.3);
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, ListOf(1).Entries[0].TrackId);
    ASSERT_EQ(Transport.PlayingList.load(), 1);
    TransportNext();
    // The run goes on (the read-ahead may have reached the end of the lists already: -1).
    EXPECT_NE(Transport.PlayingList.load(), 0);
    ASSERT_TRUE(WaitForSound());
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, ListOf(1).Entries[1].TrackId);
    ASSERT_TRUE(WaitUntilIdle(20));
    CloseCaptureDevice();

    // Silence, part of the first track, then silence, the other two whole and silence.
    const std::vector<uint8_t> first = ExpectedBytes({tracks[0]});
    std::vector<uint8_t> after;
    const size_t heard = HeardPart(CapturedPair(), first, after);
    EXPECT_LT(heard, first.size()) << "the first track played to its end";
    EXPECT_GT(heard, first.size() / 10) << "the first track from its start";
    EXPECT_EQ(CheckCapture(after, {tracks[1], tracks[2]}), "");
}

// A seek inside the first track plays on from exactly that frame; Previous early in the first track of
// List 2 goes back to the last of List 1, and the lists play on from there.
TEST_F(Playback, SeekAndPrevious_PlayOnFromTheNewPointByteForByte) {
    const std::vector<TestDsdShape> tracks = {Shape(TestDsdKind::DsfLsb, Dsd64, 2.0, 35),
                                              Shape(TestDsdKind::Dff, Dsd64, 0.8, 36),
                                              Shape(TestDsdKind::DsfMsb, Dsd64, 0.6, 37)};
    AddTracks(tracks, 2, "seek");
    const int64_t first = ListOf(1).Entries[0].Length, second = ListOf(1).Entries[1].Length;
    const int64_t target = first * 3 / 5 / 8 * 8;
    ASSERT_TRUE(StartPlayback({1, 0}, false));
    ASSERT_TRUE(WaitForSound());
    Wait(0.2);
    ASSERT_TRUE(SeekTrackHeard(target + 5)) << "a byte count inside a frame seeks to the frame";
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, ListOf(1).Entries[0].TrackId);
    EXPECT_GE(NowPlayingPlayed(), target);
    ASSERT_TRUE(WaitUntil(10, [] { return TakeNowPlaying().Track.List == 2; }));
    TransportPrevious();
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, ListOf(1).Entries[1].TrackId);
    ASSERT_TRUE(WaitUntilIdle(20));
    CloseCaptureDevice();

    std::vector<Stretch> heard;
    const std::vector<uint8_t> expected = ExpectedBytes(tracks);
    ASSERT_EQ(FindStretches(CapturedPair(), expected, heard), "");
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[0].From, 0u);
    EXPECT_LT(heard[0].Length, size_t(target));
    EXPECT_EQ(heard[1].From, size_t(target));
    EXPECT_GT(heard[1].From + heard[1].Length, size_t(first + second)) << "on into List 2";
    EXPECT_EQ(heard[2].From, size_t(first));
    EXPECT_EQ(heard[2].From + heard[2].Length, expected.size()) << "to the end";
}

// Stopped mid-track, the player is idle and a new start plays everything cleanly again.
TEST_F(Playback, Stop_ReturnsEverythingToIdle) {
    Memory.ChunkSize = BytesPerSecond(Dsd128) / 2 / 8 * 8;
    const std::vector<TestDsdShape> tracks = {Shape(TestDsdKind::Dff, Dsd128, 1.0, 41),
                                              Shape(TestDsdKind::Dff, Dsd128, 0.5, 42)};
    AddTracks(tracks, 1, "stop");
    ASSERT_TRUE(StartPlayback({1, 0}, false));
    ASSERT_TRUE(WaitForSound());
    EXPECT_TRUE(AudioThreadRuns());
    EXPECT_EQ(Transport.OutputDsdRate.load(), 5'644'800.0f);
    TransportPause(true);
    TransportStop();
    EXPECT_EQ(Transport.PlayingList.load(), 0);
    EXPECT_EQ(Transport.PlayState.load(), 0);
    EXPECT_EQ(Transport.NextIndex.load(), 0);
    EXPECT_EQ(Transport.StreamHandle.load(), 0u);
    EXPECT_EQ(Transport.OutputDsdRate.load(), 0.0f);
    EXPECT_FALSE(AudioThreadRuns());
    EXPECT_FALSE(PlaybackPaused());
    EXPECT_EQ(EngineFn.Tava_ASIO_IsStarted(), 0);
    EXPECT_EQ(QueuedTracks(), 0u);
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, 0);
    EXPECT_EQ(NowPlayingPlayed(), 0);
    // The buffers' pages went back to the system.
    unsigned char resident = 1;
    ASSERT_EQ(mincore(Memory.BufferA, 4096, &resident), 0);
    EXPECT_EQ(resident & 1, 0);
    EXPECT_EQ(Memory.BufferA[0], 0);

    CloseCaptureDevice();
    ASSERT_TRUE(OpenCaptureDevice());
    EXPECT_EQ(CheckCapture(PlayThrough(20), tracks), "");
}

// Both lists empty: Play and Space from any view do nothing, with no message; with no list shown
// ({}) they play List 1 from its first entry, else List 2.
TEST_F(Playback, NothingToPlay_StaysIdleSilently_NoListShownPlaysTheFirstListWithEntries) {
    TransportPlay({1, 0});
    TransportPlay({});
    TransportPause(true, {});
    TransportPause(false); // from the Pause text: nothing while idle
    EXPECT_EQ(Messages, std::vector<std::string>{});
    EXPECT_EQ(Transport.PlayingList.load(), 0);
    EXPECT_EQ(Transport.PlayState.load(), 0);
    EXPECT_FALSE(AudioThreadRuns());

    AddTracks({Shape(TestDsdKind::Dff, Dsd64, 0.5, 31), Shape(TestDsdKind::Dff, Dsd64, 0.5, 32)}, 0,
              "nolist");
    TransportPlay({});
    EXPECT_FALSE(PlaybackIdle());
    EXPECT_EQ(TakeNowPlaying().Track.List, 2);
    EXPECT_EQ(Messages, std::vector<std::string>{});
}

TEST_F(Playback, NextAfterTheListsAreUsedUp_StopsAndReturnsToIdle) {
    AddTracks({Shape(TestDsdKind::DsfLsb, Dsd64, 1.5, 51)}, 1, "usedup");
    ASSERT_TRUE(StartPlayback({1, 0}, false));
    ASSERT_TRUE(WaitForSound());
    EXPECT_EQ(Transport.PlayingList.load(), -1) << "the only track is read: the lists are used up";
    TransportNext();
    EXPECT_EQ(Transport.PlayingList.load(), 0);
    EXPECT_FALSE(AudioThreadRuns());
    EXPECT_EQ(EngineFn.Tava_ASIO_IsStarted(), 0);
}

// The harness in a process of its own: its exit code, and its standard error in err.
int RunPlayFiles(const std::vector<std::string> &args, std::string &err) {
    const std::string err_file = TestFolder() + "play_files.err";
    std::string command = "'" PLAY_FILES "'";
    for (const std::string &a : args) command += " '" + a + "'";
    const int status = std::system((command + " 2>'" + err_file + "'").c_str());
    std::ifstream in(err_file);
    err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Playback, PlayFilesHarness_PlaysList1ThenList2AndExitsWhenIdle) {
    CloseCaptureDevice(); // the device is the harness's now
    const std::vector<TestDsdShape> tracks = {Shape(TestDsdKind::DsfLsb, Dsd64, 0.4, 61),
                                              Shape(TestDsdKind::Dff, Dsd64, 0.4, 62)};
    const std::string a = WriteTrack(tracks[0], "harness/a.dsf"), b = WriteTrack(tracks[1], "harness/b.dff");
    std::string err;
    // By the name the output host lists, then by the ALSA name.
    EXPECT_EQ(RunPlayFiles({"DSD capture", a, "--list2", b}, err), 0) << err;
    EXPECT_EQ(CheckCapture(CapturedPair(), tracks), "");
    EXPECT_EQ(RunPlayFiles({"dsdcapture", a, b}, err), 0) << err;
    EXPECT_EQ(CheckCapture(CapturedPair(), tracks), "");

    EXPECT_NE(RunPlayFiles({"no such device", a}, err), 0);
    EXPECT_NE(err.find("no such device"), std::string::npos) << err;
    EXPECT_NE(RunPlayFiles({"dsdcapture"}, err), 0);
    EXPECT_NE(err.find("nothing to play"), std::string::npos) << err;
}

// Tracks whose sample count ends each channel in a partial byte alone in a last DSF block, DSF and
// DFF, mono and stereo, with a DSF among them whose header counts that byte over one block fewer:
// the whole bytes of every track are heard and nothing of a partial byte, and the file cut short is
// refused, so nothing of it is heard.
TEST_F(Playback, PlayFilesHarness_PlaysTheWholeBytesOfTracksEndingInAPartialByte) {
    CloseCaptureDevice();            // the device is the harness's now
    constexpr uint64_t B = 8 * 4096; // samples in a DSF block
    std::vector<TestDsdShape> tracks;
    std::vector<std::string> args = {"dsdcapture"};
    const struct {
        TestDsdKind kind;
        uint32_t channels;
        uint64_t samples;
    } rows[] = {{TestDsdKind::DsfLsb, 1, 40 * B + 3},
                {TestDsdKind::Dff, 1, 40 * B + 3},
                {TestDsdKind::DsfMsb, 2, 40 * B + 7},
                {TestDsdKind::Dff, 2, 40 * B + 7}};
    for (const auto &row : rows) {
        tracks.push_back(Shape(row.kind, Dsd64, 0, 71 + uint32_t(tracks.size()), row.channels));
        tracks.back().samples = row.samples;
        args.push_back(WriteTrack(tracks.back(), "partial/" + std::to_string(tracks.size()) +
                                                     (row.kind == TestDsdKind::Dff ? ".dff" : ".dsf")));
    }
    TestDsdShape cut = Shape(TestDsdKind::DsfLsb, Dsd64, 0, 79);
    cut.samples = 40 * B;
    cut.stated_samples = 40 * B + 5;
    args.insert(args.begin() + 2, WriteTrack(cut, "partial/cut.dsf"));
    std::string err;
    EXPECT_EQ(RunPlayFiles(args, err), 0) << err;
    EXPECT_NE(err.find("refused: " + args[2]), std::string::npos) << err;
    EXPECT_EQ(CheckCapture(CapturedPair(), tracks), "");
}

} // namespace
