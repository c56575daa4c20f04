// AsioProc against buffers set up by hand: its four cases in both directions, the track change with
// the excess carried, and the frozen count once the output has run dry.

#include "audio/audio.h"
#include "audio/internal.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Distinct bytes per buffer and position, so that a copy from the wrong place shows.
uint8_t Pattern(bool a, int64_t i) {
    return static_cast<uint8_t>(a ? i * 7 + 1 : i * 13 + 100);
}

void ResetBuffers() {
    for (auto *v : {&Memory.FillA, &Memory.ReadA, &Memory.FillB, &Memory.ReadB, &Memory.ActiveBuffer,
                    &Memory.BufferSwitched, &Memory.OutputDry})
        v->store(0);
    EmptyTrackQueue();
    EmptyNowPlaying();
}

// A chunk handed over the way the audio thread does it.
void Fill(bool a, int64_t bytes) {
    for (int64_t i = 0; i < bytes; ++i) (a ? Memory.BufferA : Memory.BufferB)[i] = Pattern(a, i);
    (a ? Memory.ReadA : Memory.ReadB).store(0);
    (a ? Memory.FillA : Memory.FillB).store(bytes);
}

TrackRecord Track(int64_t end, int32_t id) {
    TrackRecord t;
    t.End = end;
    t.TrackId = id;
    t.Title = "track " + std::to_string(id);
    t.List = 1;
    return t;
}

class Callback : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(ReservePlaybackMemory()); }
    void SetUp() override { ResetBuffers(); }
    void TearDown() override { ResetBuffers(); }
};

TEST_F(Callback, CopiesFromTheActiveBufferThenTheOtherWhenReadyAndCountsOnlyWhatNeverRanDry) {
    struct Segment {
        bool a; // else B
        int64_t from, n;
    };
    constexpr bool A = true, B = false;
    const struct Case {
        const char *what;
        int64_t active, fill_a, read_a, fill_b, read_b, dry; // before; a buffer is ready at read 0
        uint32_t length;
        std::vector<Segment> copied; // in order; the rest of the call's buffer untouched
        int64_t active_after, dry_after, switched;
    } cases[] = {
        // clang-format off
        {"common",        ActiveA, 1000, 0,    0,    0,   0, 300, {{A, 0, 300}},                ActiveA, 0, 0},
        {"common on B",   ActiveB, 0,    0,    1000, 300, 0, 300, {{B, 300, 300}},              ActiveB, 0, 0},
        {"across A end",  ActiveA, 1000, 900,  800,  0,   0, 250, {{A, 900, 100}, {B, 0, 150}}, ActiveB, 0, 1},
        {"across B end",  ActiveB, 800,  0,    1000, 900, 0, 250, {{B, 900, 100}, {A, 0, 150}}, ActiveA, 0, 1},
        {"A exact, no B", ActiveA, 600,  300,  0,    0,   0, 300, {{A, 300, 300}},              ActiveA, 0, 0},
        {"A used, B",     ActiveA, 600,  600,  500,  0,   0, 100, {{B, 0, 100}},                ActiveB, 0, 1},
        {"B not ready",   ActiveA, 1000, 900,  0,    0,   0, 250, {{A, 900, 100}},              ActiveA, 1, 0},
        {"A used, no B",  ActiveA, 1000, 1000, 0,    0,   0, 250, {},                           ActiveA, 1, 0},
        {"short chunk",   ActiveA, 100,  0,    50,   0,   0, 400, {{A, 0, 100}, {B, 0, 50}},    ActiveB, 1, 1},
        {"dry, B ready",  ActiveA, 1000, 1000, 800,  0,   1, 250, {{B, 0, 250}},                ActiveB, 1, 1},
        {"nothing on A",  ActiveA, 0,    0,    0,    0,   0, 128, {},                           ActiveA, 1, 0},
        {"nothing on B",  ActiveB, 0,    0,    0,    0,   0, 128, {},                           ActiveB, 1, 0},
        {"never started", 0,       0,    0,    0,    0,   0, 128, {},                           0,       1, 0},
        // clang-format on
    };
    for (const Case &c : cases) {
        ResetBuffers();
        Fill(true, c.fill_a);
        Fill(false, c.fill_b);
        Memory.ReadA.store(c.read_a);
        Memory.ReadB.store(c.read_b);
        Memory.ActiveBuffer.store(c.active);
        Memory.OutputDry.store(c.dry);
        SetNowPlaying(Track(100'000, 2));
        while (Transport.TickSemaphore.TryWait()) {
        }

        std::vector<uint8_t> out(c.length, 0xEE);
        const uint32_t result = AsioProc(0, 0, out.data(), c.length, nullptr);
        size_t at = 0;
        int64_t read_after[2] = {c.read_b, c.read_a}; // [a]
        for (const Segment &s : c.copied) {
            for (int64_t i = 0; i < s.n; ++i, ++at)
                ASSERT_EQ(out[at], Pattern(s.a, s.from + i)) << c.what << " " << at;
            read_after[s.a] = s.from + s.n;
        }
        EXPECT_EQ(result, at) << c.what;
        for (; at < out.size(); ++at) ASSERT_EQ(out[at], 0xEE) << c.what << " " << at;
        EXPECT_EQ(Memory.ReadA.load(), read_after[1]) << c.what;
        EXPECT_EQ(Memory.ReadB.load(), read_after[0]) << c.what;
        EXPECT_EQ(Memory.ActiveBuffer.load(), c.active_after) << c.what;
        EXPECT_EQ(Memory.OutputDry.load(), c.dry_after) << c.what;
        EXPECT_EQ(Memory.BufferSwitched.load(), c.switched) << c.what;
        EXPECT_EQ(NowPlayingPlayed(), c.dry_after ? 0 : int64_t{result}) << c.what << ": counted";
        EXPECT_TRUE(Transport.TickSemaphore.TryWait()) << c.what << ": every call releases one tick";
        EXPECT_FALSE(Transport.TickSemaphore.TryWait()) << c.what;
    }
}

TEST_F(Callback, TrackChange_MovesNowPlayingPastTheEndAndCarriesTheExcess) {
    Fill(true, 100'000);
    Memory.ActiveBuffer.store(ActiveA);
    SetNowPlaying(Track(1000, 2));
    for (auto [end, id] : {std::pair{3000, 4}, {100, 6}, {5000, 8}}) ASSERT_TRUE(QueueTrack(Track(end, id)));
    std::vector<uint8_t> out(6000);
    AsioProc(0, 0, out.data(), 600, nullptr);
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, 2);
    AsioProc(0, 0, out.data(), 600, nullptr); // 1200 played: 200 into the second track
    NowPlayingInfo now = TakeNowPlaying();
    EXPECT_EQ(now.Track.TrackId, 4);
    EXPECT_EQ(now.Track.Title, "track 4");
    EXPECT_EQ(now.Played, 200);
    EXPECT_EQ(QueuedTracks(), 2u);
    AsioProc(0, 0, out.data(), 2950, nullptr); // 3150 into the second: past it and the 100-byte third
    now = TakeNowPlaying();
    EXPECT_EQ(now.Track.TrackId, 8);
    EXPECT_EQ(now.Played, 50);
    EXPECT_EQ(QueuedTracks(), 0u);
    // With nothing queued the count runs on past the end.
    AsioProc(0, 0, out.data(), 6000, nullptr);
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, 8);
    EXPECT_EQ(NowPlayingPlayed(), 6050);
}

TEST_F(Callback, EmptyingTheQueueKeepsNowPlaying) {
    SetNowPlaying(Track(100, 2));
    ASSERT_TRUE(QueueTrack(Track(100, 4)));
    ASSERT_TRUE(QueueTrack(Track(100, 6)));
    CountPlayedBytes(150); // now in track 4, a queue slot
    EmptyTrackQueue();
    EXPECT_EQ(QueuedTracks(), 0u);
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, 4);
    EXPECT_EQ(NowPlayingPlayed(), 50);
    // The next run's records do not overwrite it.
    ASSERT_TRUE(QueueTrack(Track(100, 10)));
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, 4);
}

} // namespace
