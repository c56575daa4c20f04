// The probe that admits tracks to the lists, the play-time open, and the choice of the next track.

#include "helpers.h"

#include "audio/audio.h"
#include "library/library.h"
#include "library/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

constexpr uint32_t Dsd64 = 2'822'400, Dsd128 = 5'644'800;

TestDsdShape Shape(uint32_t rate, double seconds, uint32_t seed, TestDsdKind kind = TestDsdKind::DsfLsb,
                 uint32_t channels = 2) {
    TestDsdShape s;
    s.kind = kind;
    s.rate = rate;
    s.channels = channels;
    s.samples = static_cast<uint64_t>(seconds * rate) / 8 * 8;
    s.seed = seed;
    return s;
}

class Tracks : public ::testing::Test {
  protected:
    void SetUp() override { ResetPlayer(); }
    void TearDown() override {
        const uint32_t stream = StreamHandle.exchange(0);
        if (stream) EngineFn.Tavo_StreamFree(stream);
        OutputDsdRate.store(0);
        ResetPlayer();
    }
    // As the audio thread does it when a stream has ended: the stream goes, then the next track
    // opens, with the tick that the running output provides already there.
    static void OpenNext() {
        if (const uint32_t stream = StreamHandle.exchange(0)) EngineFn.Tavo_StreamFree(stream);
        TickSemaphore.Release();
        OpenNextTrack();
    }
    // The first bytes the open stream delivers.
    static std::vector<uint8_t> StreamStart(size_t n) {
        std::vector<uint8_t> bytes(n);
        const int32_t got =
            EngineFn.Tavo_ChannelGetData(StreamHandle.load(), bytes.data(), static_cast<uint32_t>(n));
        bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
        return bytes;
    }
};

TEST_F(Tracks, Probe_FillsTrackInfoFromTheFileAndItsFolders) {
    // A mono file of 61 seconds: the stream doubles it into a stereo pair.
    const TestDsdShape shape = Shape(Dsd64, 61.0, 3, TestDsdKind::DsfLsb, 1);
    const std::string path = WriteTrack(shape, "Artist/Album One/01 First.dsf");
    ASSERT_TRUE(ProbeTrack(path, "dsf"));
    EXPECT_EQ(TrackInfo.Path, path);
    EXPECT_EQ(TrackInfo.Extension, "dsf");
    EXPECT_EQ(TrackInfo.Title, "01 First");
    EXPECT_EQ(TrackInfo.DisplayTitle, "01 First");
    EXPECT_EQ(TrackInfo.Album, "Album One");
    EXPECT_EQ(TrackInfo.DurationText, "  1:01");
    EXPECT_EQ(TrackInfo.Length, static_cast<int64_t>(TestDsd_PlayLength(shape)));
    EXPECT_EQ(TrackInfo.SampleRate, 88'200);
    EXPECT_EQ(TrackInfo.DsdRate, 2'822'400);
    EXPECT_EQ(TrackInfo.IsDsd, 1);
    EXPECT_EQ(SessionDsdRate, 2'822'400);
    EXPECT_EQ(OutputFrequency, 88'200);
    EXPECT_TRUE(Messages.empty());

    // The next accepted track gets an id 2 higher; a refused one uses none.
    const int32_t first = TrackInfo.TrackId;
    EXPECT_GT(first, 0);
    EXPECT_EQ(first % 2, 0);
    const std::string dff =
        WriteTrack(Shape(Dsd64, 0.2, 4, TestDsdKind::Dff), "Artist/Album One/02 Second.DFF");
    EXPECT_FALSE(ProbeTrack(dff, "wav"));
    ASSERT_TRUE(ProbeTrack(dff, "DFF"));
    EXPECT_EQ(TrackInfo.TrackId, first + 2);
    EXPECT_EQ(TrackInfo.Title, "02 Second");
    EXPECT_EQ(TrackInfo.DurationText, "  0:00");
}

TEST_F(Tracks, Probe_RefusesOtherExtensionsSilentlyAndUnreadableFilesWithAMessage) {
    const std::string good = WriteTrack(Shape(Dsd64, 0.1, 5), "a/x.dsf");
    EXPECT_FALSE(ProbeTrack(good, "wav"));
    EXPECT_EQ(TrackInfo.IsDsd, 0);
    EXPECT_TRUE(Messages.empty());

    const std::string junk = TestFolder() + "a/junk.dsf";
    std::ofstream(junk) << "not a DSD file at all, but long enough to be looked at........";
    EXPECT_FALSE(ProbeTrack(junk, "dsf"));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Error|Error of the file 'junk.dsf'");
    EXPECT_EQ(SessionDsdRate, 0) << "a refused track sets no rate";
}

TEST_F(Tracks, Probe_RateRefusals) {
    const std::string dsd64 = WriteTrack(Shape(Dsd64, 0.1, 6), "r/64.dsf");
    const std::string dsd128 = WriteTrack(Shape(Dsd128, 0.1, 7), "r/128.dsf");

    // A device that plays only 2.8 MHz: a 5.6 MHz file is too high, with its message.
    DeviceCaps.Dsd = {1, 0, 0, 0};
    EXPECT_FALSE(ProbeTrack(dsd128, "dsf"));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "DSD Native|Sample rate is too high.");
    EXPECT_EQ(SessionDsdRate, 0);

    // No DSD at all: every file is too high.
    DeviceCaps.Dsd = {0, 0, 0, 0};
    EXPECT_FALSE(ProbeTrack(dsd64, "dsf"));
    EXPECT_EQ(Messages.size(), 2u);

    // After a 2.8 MHz track, a 5.6 MHz one the device plays is refused without a word...
    DeviceCaps.Dsd = {1, 1, 0, 0};
    ASSERT_TRUE(ProbeTrack(dsd64, "dsf"));
    EXPECT_FALSE(ProbeTrack(dsd128, "dsf"));
    EXPECT_EQ(Messages.size(), 2u);
    // ...until both lists have been emptied, which resets the session rate.
    SessionDsdRate = 0;
    OutputFrequency = 0;
    ASSERT_TRUE(ProbeTrack(dsd128, "dsf"));
    EXPECT_EQ(SessionDsdRate, 5'644'800);
    EXPECT_EQ(OutputFrequency, 176'400);
}

TEST_F(Tracks, Probe_LooksUpCoversOnlyWhenShownAndNeverKeepsAnEarlierTracksCover) {
    const std::string with = WriteTrack(Shape(Dsd64, 0.1, 8), "c/With/01.dsf");
    std::ofstream(TestFolder() + "c/With/cover.png") << "png";
    const std::string without = WriteTrack(Shape(Dsd64, 0.1, 9), "c/Without/01.dsf");
    ViewCover = 2;
    ASSERT_TRUE(ProbeTrack(with, "dsf"));
    EXPECT_EQ(TrackInfo.CoverPath, TestFolder() + "c/With/cover.png");
    ASSERT_TRUE(ProbeTrack(without, "dsf"));
    EXPECT_EQ(TrackInfo.CoverPath, "");
    ViewCover = 0;
    ASSERT_TRUE(ProbeTrack(with, "dsf"));
    EXPECT_EQ(TrackInfo.CoverPath, "");
}

TEST_F(Tracks, OpenNextTrack_GoesFromTheSelectionThroughList1IntoList2AndEnds) {
    std::vector<TestDsdShape> shapes;
    std::vector<std::string> paths;
    for (uint32_t i = 0; i < 4; ++i) {
        shapes.push_back(Shape(Dsd64, 0.05, 20 + i));
        paths.push_back(WriteTrack(shapes.back(), "n/" + std::to_string(i) + ".dsf"));
    }
    ASSERT_TRUE(AddTrack(1, paths[0]));
    ASSERT_TRUE(AddTrack(1, paths[1]));
    ASSERT_TRUE(AddTrack(1, paths[2]));
    ASSERT_TRUE(AddTrack(2, paths[3]));

    // From idle, the selected entry of the list shown.
    SelectedIndex1 = 1;
    OpenNext();
    EXPECT_EQ(PlayingList.load(), 1);
    EXPECT_EQ(NextIndex.load(), 2);
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, List1[1].TrackId);
    EXPECT_EQ(TakeNowPlaying().Track.End, static_cast<int64_t>(TestDsd_PlayLength(shapes[1])));
    EXPECT_EQ(StreamStart(64), TestDsd_Expected(shapes[1], 0, 64));

    OpenNext();
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, List1[2].TrackId);
    EXPECT_EQ(StreamStart(64), TestDsd_Expected(shapes[2], 0, 64));
    // Past List 1's last entry: List 2 from its start.
    OpenNext();
    EXPECT_EQ(PlayingList.load(), 2);
    EXPECT_EQ(NextIndex.load(), 1);
    const NowPlayingInfo now = TakeNowPlaying();
    EXPECT_EQ(now.Track.TrackId, List2[0].TrackId);
    EXPECT_EQ(now.Track.List, 2);
    EXPECT_EQ(StreamStart(64), TestDsd_Expected(shapes[3], 0, 64));
    // Past List 2's last: the lists are used up and nothing opens.
    OpenNext();
    EXPECT_EQ(PlayingList.load(), -1);
    EXPECT_EQ(StreamHandle.load(), 0u);
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, List2[0].TrackId);
}

TEST_F(Tracks, OpenNextTrack_EndsAfterList1WhenList2IsEmptyAndIgnoresAnIndexPastTheEnd) {
    const std::string path = WriteTrack(Shape(Dsd64, 0.05, 30), "e/0.dsf");
    ASSERT_TRUE(AddTrack(1, path));
    PlayingList.store(1);
    NextIndex.store(3);
    OpenNext();
    EXPECT_EQ(PlayingList.load(), 1) << "an index past the end changes nothing";
    EXPECT_EQ(StreamHandle.load(), 0u);
    NextIndex.store(1);
    OpenNext();
    EXPECT_EQ(PlayingList.load(), -1);

    // Nothing to start from while a view other than the lists is shown.
    PlayingList.store(0);
    ActiveView = ViewPlaylists;
    OpenNext();
    EXPECT_EQ(PlayingList.load(), 0);
    EXPECT_EQ(StreamHandle.load(), 0u);
}

TEST_F(Tracks, OpenTrackAt_OpensNothingForAVanishedFileOrAnotherRateWithoutAWord) {
    const std::string path = WriteTrack(Shape(Dsd64, 0.05, 40), "v/0.dsf");
    ASSERT_TRUE(AddTrack(1, path));
    std::filesystem::remove(path);
    PlayingList.store(1);
    OpenNext();
    EXPECT_EQ(StreamHandle.load(), 0u);
    EXPECT_EQ(NextIndex.load(), 0);

    WriteTrack(Shape(Dsd64, 0.05, 40), "v/0.dsf");
    OutputDsdRate.store(5'644'800.0f); // the output runs at another rate
    OpenNext();
    EXPECT_EQ(StreamHandle.load(), 0u);
    OutputDsdRate.store(2'822'400.0f);
    OpenNext();
    EXPECT_NE(StreamHandle.load(), 0u);
    EXPECT_EQ(NextIndex.load(), 1);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Tracks, FindResumeIndex_PointsPastTheTrackHeardInThePlayingList) {
    for (uint32_t i = 0; i < 3; ++i)
        ASSERT_TRUE(AddTrack(i < 2 ? 1 : 2,
                             WriteTrack(Shape(Dsd64, 0.05, 50 + i), "f/" + std::to_string(i) + ".dsf")));
    TrackRecord heard;
    heard.TrackId = List1[0].TrackId;
    SetNowPlaying(heard);
    PlayingList.store(1);
    FindResumeIndex();
    EXPECT_EQ(NextIndex.load(), 1);
    // The audio thread already went on into List 2 while List 1's track is still heard.
    PlayingList.store(2);
    FindResumeIndex();
    EXPECT_EQ(NextIndex.load(), 0);
    heard.TrackId = List2[0].TrackId;
    SetNowPlaying(heard);
    FindResumeIndex();
    EXPECT_EQ(NextIndex.load(), 1);
    heard.TrackId = 99'999; // a track no longer in the lists
    SetNowPlaying(heard);
    NextIndex.store(5);
    FindResumeIndex();
    EXPECT_EQ(NextIndex.load(), 0);
}

TEST_F(Tracks, FileReadable_NeedsOneByte) {
    const std::string empty = TestFolder() + "empty.dsf";
    std::ofstream(empty).close();
    EXPECT_FALSE(FileReadable(empty));
    EXPECT_FALSE(FileReadable(TestFolder()));
    EXPECT_FALSE(FileReadable(TestFolder() + "missing.dsf"));
    std::ofstream(TestFolder() + "one") << "x";
    EXPECT_TRUE(FileReadable(TestFolder() + "one"));
}

TEST(EngineErrors, KnownCodesHaveTheirTextOthersTheirNumber) {
    Messages.clear();
    ShowEngineError(25);
    ShowEngineError(-1);
    ShowEngineError(77);
    ASSERT_EQ(Messages.size(), 3u);
    EXPECT_EQ(Messages[0], "Error|Illegal sample rate");
    EXPECT_EQ(Messages[1], "Error|Some other mystery error");
    EXPECT_EQ(Messages[2], "Error|Error code #77");
    EXPECT_EQ(RateLabelText(2'822'400), "2.8 MHz");
    EXPECT_EQ(RateLabelText(11'289'600), "11.3 MHz");
    EXPECT_EQ(RateLabelText(22'579'200), "22.6 MHz");
}

} // namespace
