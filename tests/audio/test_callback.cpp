// AsioProc against buffers set up by hand: its four cases in both directions, the track change with
// the excess carried, and the frozen count once the output has run dry.

#include "audio/audio.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Distinct bytes per buffer and position, so that a copy from the wrong place shows.
uint8_t PatternA(int64_t i) {
    return static_cast<uint8_t>(i * 7 + 1);
}
uint8_t PatternB(int64_t i) {
    return static_cast<uint8_t>(i * 13 + 100);
}

class Callback : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(ReservePlaybackMemory()); }

    void SetUp() override {
        for (auto *v : {&FillA, &ReadA, &FillB, &ReadB, &BufferSwitched, &OutputDry}) v->store(0);
        ActiveBuffer.store(ActiveA);
        EmptyTrackQueue();
        EmptyNowPlaying();
    }
    void TearDown() override {
        for (auto *v : {&FillA, &ReadA, &FillB, &ReadB, &BufferSwitched, &OutputDry}) v->store(0);
        ActiveBuffer.store(0);
        EmptyTrackQueue();
        EmptyNowPlaying();
    }

    // A chunk handed over the way the audio thread does it.
    static void Fill(bool a, int64_t bytes) {
        uint8_t *buffer = a ? BufferA : BufferB;
        for (int64_t i = 0; i < bytes; ++i) buffer[i] = a ? PatternA(i) : PatternB(i);
        (a ? ReadA : ReadB).store(0);
        (a ? FillA : FillB).store(bytes);
    }
    static TrackRecord Track(int64_t end, int32_t id) {
        TrackRecord t;
        t.End = end;
        t.TrackId = id;
        t.Title = "track " + std::to_string(id);
        t.List = 1;
        return t;
    }
    // Calls AsioProc for `length` bytes into a buffer pre-filled with 0xEE.
    std::vector<uint8_t> Call(uint32_t length, uint32_t &result) {
        std::vector<uint8_t> out(length, 0xEE);
        result = AsioProc(0, 0, out.data(), length, nullptr);
        return out;
    }
};

TEST_F(Callback, CommonPath_CopiesFromTheActiveBufferAndCounts) {
    Fill(true, 1000);
    SetNowPlaying(Track(5000, 2));
    uint32_t result = 0;
    std::vector<uint8_t> out = Call(300, result);
    EXPECT_EQ(result, 300u);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(out[i], PatternA(i)) << i;
    out = Call(300, result);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(out[i], PatternA(300 + i)) << i;
    EXPECT_EQ(ReadA.load(), 600);
    EXPECT_EQ(ActiveBuffer.load(), ActiveA);
    EXPECT_EQ(NowPlayingPlayed(), 600);
    EXPECT_EQ(OutputDry.load(), 0);
}

TEST_F(Callback, LengthSpanningTheEnd_TakesTheRestAndTheStartOfTheOtherBuffer_BothWays) {
    for (bool from_a : {true, false}) {
        SetUp();
        Fill(from_a, 1000);
        Fill(!from_a, 800);
        ActiveBuffer.store(from_a ? ActiveA : ActiveB);
        (from_a ? ReadA : ReadB).store(900);
        uint32_t result = 0;
        const std::vector<uint8_t> out = Call(250, result);
        EXPECT_EQ(result, 250u);
        for (int i = 0; i < 100; ++i) ASSERT_EQ(out[i], from_a ? PatternA(900 + i) : PatternB(900 + i)) << i;
        for (int i = 0; i < 150; ++i) ASSERT_EQ(out[100 + i], from_a ? PatternB(i) : PatternA(i)) << i;
        EXPECT_EQ(ActiveBuffer.load(), from_a ? ActiveB : ActiveA);
        EXPECT_EQ(BufferSwitched.load(), 1);
        EXPECT_EQ((from_a ? ReadB : ReadA).load(), 150);
        // The buffer left is used up: the audio thread may refill it, and draining counts it played.
        EXPECT_EQ((from_a ? ReadA : ReadB).load(), (from_a ? FillA : FillB).load());
        EXPECT_EQ(OutputDry.load(), 0);
    }
}

TEST_F(Callback, UsedUpExactlyAtTheLastCall_ContinuesAtTheStartOfTheOtherBuffer) {
    Fill(true, 600);
    Fill(false, 800);
    ReadA.store(300);
    uint32_t result = 0;
    Call(300, result); // served whole from A: nothing is missing, whether or not B is ready
    EXPECT_EQ(result, 300u);
    const std::vector<uint8_t> out = Call(200, result);
    EXPECT_EQ(result, 200u);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(out[i], PatternB(i)) << i;
    EXPECT_EQ(ActiveBuffer.load(), ActiveB);
    EXPECT_EQ(ReadB.load(), 200);
    EXPECT_EQ(OutputDry.load(), 0);
}

TEST_F(Callback, AWholeCallFromTheActiveBufferWithTheOtherNotReady_IsNotAnUnderrun) {
    Fill(true, 600);
    ReadA.store(300);
    SetNowPlaying(Track(10'000, 2));
    uint32_t result = 0;
    Call(300, result);
    EXPECT_EQ(result, 300u);
    EXPECT_EQ(OutputDry.load(), 0);
    EXPECT_EQ(NowPlayingPlayed(), 300);
    Fill(false, 500); // B arrives in time for the next call
    const std::vector<uint8_t> out = Call(100, result);
    EXPECT_EQ(result, 100u);
    EXPECT_EQ(out[0], PatternB(0));
    EXPECT_EQ(OutputDry.load(), 0);
    EXPECT_EQ(NowPlayingPlayed(), 400);
}

TEST_F(Callback, OtherBufferNotReady_ReturnsWhatIsLeftSetsOutputDryAndFreezesTheCount) {
    Fill(true, 1000);
    ReadA.store(900);
    SetNowPlaying(Track(10'000, 2));
    uint32_t result = 0;
    std::vector<uint8_t> out = Call(250, result);
    EXPECT_EQ(result, 100u);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(out[i], PatternA(900 + i)) << i;
    EXPECT_EQ(OutputDry.load(), 1);
    EXPECT_EQ(ActiveBuffer.load(), ActiveA);
    EXPECT_EQ(NowPlayingPlayed(), 0) << "the count stops at the underrun";

    // A used up, B still not ready: nothing at all.
    out = Call(250, result);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(OutputDry.load(), 1);

    // B ready later: the sound goes on, OutputDry stays and the count stays frozen.
    Fill(false, 800);
    out = Call(250, result);
    EXPECT_EQ(result, 250u);
    EXPECT_EQ(out[0], PatternB(0));
    EXPECT_EQ(OutputDry.load(), 1);
    EXPECT_EQ(NowPlayingPlayed(), 0);
}

TEST_F(Callback, NothingInEitherBuffer_ReturnsNothingAndRunsDry) {
    for (int64_t active : {int64_t{0}, ActiveA, ActiveB}) {
        SetUp();
        ActiveBuffer.store(active);
        uint32_t result = 7;
        Call(128, result);
        EXPECT_EQ(result, 0u) << active;
        EXPECT_EQ(OutputDry.load(), 1) << active;
    }
}

TEST_F(Callback, AShortOtherBuffer_GivesWhatItHoldsAndNoMore) {
    Fill(true, 100);
    Fill(false, 50); // the last chunk of the last track
    uint32_t result = 0;
    const std::vector<uint8_t> out = Call(400, result);
    EXPECT_EQ(result, 150u);
    EXPECT_EQ(out[149], PatternB(49));
    EXPECT_EQ(out[150], 0xEE) << "nothing past the chunk's end";
    EXPECT_EQ(ReadB.load(), FillB.load());
    EXPECT_EQ(OutputDry.load(), 1);
}

TEST_F(Callback, TrackChange_MovesNowPlayingPastTheEndAndCarriesTheExcess) {
    Fill(true, 100'000);
    SetNowPlaying(Track(1000, 2));
    ASSERT_TRUE(QueueTrack(Track(3000, 4)));
    ASSERT_TRUE(QueueTrack(Track(100, 6)));
    ASSERT_TRUE(QueueTrack(Track(5000, 8)));
    uint32_t result = 0;
    Call(600, result);
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, 2);
    Call(600, result); // 1200 played: 200 into the second track
    NowPlayingInfo now = TakeNowPlaying();
    EXPECT_EQ(now.Track.TrackId, 4);
    EXPECT_EQ(now.Track.Title, "track 4");
    EXPECT_EQ(now.Played, 200);
    EXPECT_EQ(QueuedTracks(), 2u);
    Call(2950, result); // 3150 into the second: past it and past the 100-byte third in one call
    now = TakeNowPlaying();
    EXPECT_EQ(now.Track.TrackId, 8);
    EXPECT_EQ(now.Played, 50);
    EXPECT_EQ(QueuedTracks(), 0u);
    // With nothing queued the count runs on past the end.
    Call(6000, result);
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, 8);
    EXPECT_EQ(NowPlayingPlayed(), 6050);
}

TEST_F(Callback, TrackChange_AcrossABufferSwitch) {
    Fill(true, 1000);
    Fill(false, 1000);
    ReadA.store(800);
    SetNowPlaying(Track(900, 2));
    ASSERT_TRUE(QueueTrack(Track(5000, 4)));
    CountPlayedBytes(800); // as if the first 800 bytes had played
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, 2);
    uint32_t result = 0;
    Call(300, result); // 200 from A, 100 from B: 1100 played, 200 into track 4
    EXPECT_EQ(result, 300u);
    EXPECT_EQ(ActiveBuffer.load(), ActiveB);
    const NowPlayingInfo now = TakeNowPlaying();
    EXPECT_EQ(now.Track.TrackId, 4);
    EXPECT_EQ(now.Played, 200);
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

TEST_F(Callback, EveryCallReleasesTheTickSemaphore) {
    while (TickSemaphore.TryWait()) {
    }
    uint32_t result = 0;
    Call(16, result);
    Call(16, result);
    EXPECT_TRUE(TickSemaphore.TryWait());
    EXPECT_TRUE(TickSemaphore.TryWait());
    EXPECT_FALSE(TickSemaphore.TryWait());
}

} // namespace
