// The probe that admits tracks to the lists, the play-time open, and the choice of the next track.

#include "helpers.h"

#include "audio/audio.h"
#include "library/library.h"
#include "library/settings.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

constexpr uint32_t Dsd64 = 2'822'400, Dsd128 = 5'644'800;
constexpr TestDsdKind Dsf = TestDsdKind::DsfLsb;

class Tracks : public PlayerTest {
  protected:
    // As the audio thread does it when a stream has ended: the stream goes, then the next track
    // opens, with the tick that the running output provides already there.
    static void OpenNext() {
        if (const uint32_t stream = Transport.StreamHandle.exchange(0)) EngineFn.Tavo_StreamFree(stream);
        Transport.TickSemaphore.Release();
        OpenNextTrack();
    }
    // Whether the open stream starts with the track's bytes.
    static bool StreamStartsWith(const TestDsdShape &track) {
        std::vector<uint8_t> bytes(64);
        return EngineFn.Tavo_ChannelGetData(Transport.StreamHandle.load(), bytes.data(), 64) == 64 &&
               bytes == TestDsd_Expected(track, 0, 64);
    }
    // Count short tracks of 2.8 MHz, list1 of them in List 1, the rest in List 2.
    static std::vector<TestDsdShape> AddShortTracks(const std::string &folder, size_t count, size_t list1) {
        std::vector<TestDsdShape> shapes;
        for (uint32_t i = 0; i < count; ++i) shapes.push_back(Shape(Dsf, Dsd64, 0.05, 20 + i));
        AddTracks(shapes, list1, folder);
        return shapes;
    }
};

TEST_F(Tracks, Probe_MakesTheEntryFromTheFileAndItsFolders) {
    // A mono file of 61 seconds: the stream doubles it into a stereo pair.
    const TestDsdShape shape = Shape(Dsf, Dsd64, 61.0, 3, 1);
    const std::string path = WriteTrack(shape, "Artist/Album One/01 First.dsf");
    ProbedTrack probe = ProbeTrack(path, "dsf");
    ASSERT_TRUE(probe);
    const ListEntry &TrackInfo = probe.Entry;
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
    // The run's rate comes with the entry's place in a list, not with the probe.
    EXPECT_EQ(Transport.SessionDsdRate + Transport.OutputFrequency, 0);
    AcceptRunRate(TrackInfo);
    EXPECT_EQ(Transport.SessionDsdRate, 2'822'400);
    EXPECT_EQ(Transport.OutputFrequency, 88'200);

    // The next accepted track gets an id 2 higher; one refused for its extension uses none, silently.
    const int32_t first = TrackInfo.TrackId;
    EXPECT_GT(first, 0);
    EXPECT_EQ(first % 2, 0);
    const std::string dff =
        WriteTrack(Shape(TestDsdKind::Dff, Dsd64, 0.2, 4), "Artist/Album One/02 Second.DFF");
    EXPECT_EQ(ProbeTrack(dff, "wav").Result, ProbeNotMusic);
    EXPECT_TRUE(Messages.empty());
    probe = ProbeTrack(dff, "DFF");
    ASSERT_TRUE(probe);
    EXPECT_EQ(TrackInfo.TrackId, first + 2);
    EXPECT_EQ(TrackInfo.Title, "02 Second");
    EXPECT_EQ(TrackInfo.DurationText, "  0:00");

    // The title never keeps the extension, whatever the case of the name or of the extension given.
    const std::pair<const char *, const char *> names[] = {
        {"03 Third.dsf", "DSF"}, {"04 Fourth.DSF", "dsf"}, {"05 Fifth.Dsf", "dSF"}, {"06 dsf.dsf", "DsF"}};
    for (const auto &[name, extension] : names) {
        probe = ProbeTrack(WriteTrack(Shape(Dsf, Dsd64, 0.1, 5), std::string("Artist/Album One/") + name),
                           extension);
        ASSERT_TRUE(probe) << name;
        EXPECT_EQ(TrackInfo.Title, std::string(name).substr(0, std::strlen(name) - 4));
        EXPECT_EQ(TrackInfo.DisplayTitle, TrackInfo.Title);
    }
}

// The probe shows no box itself: its caller reports the refusals of the files handed in together.
TEST_F(Tracks, Probe_RefusesUnreadableFilesWithTheirReasonAndRatesTooHighAndAnotherRate) {
    const std::string junk = TestFolder() + "r/junk.dsf";
    std::filesystem::create_directories(TestFolder() + "r");
    std::ofstream(junk) << "not a DSD file at all, but long enough to be looked at........";
    ProbedTrack refused = ProbeTrack(junk, "dsf");
    EXPECT_EQ(refused.Result, ProbeUnreadable);
    EXPECT_EQ(refused.Reason, "not a DSD file");
    // A pipe named like a track is refused at once, never waited on.
    const std::string pipe = TestFolder() + "r/pipe.dsf";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(FileReadable(pipe));
    refused = ProbeTrack(pipe, "dsf");
    EXPECT_EQ(refused.Result, ProbeUnreadable);
    EXPECT_EQ(refused.Reason, "the file cannot be opened");

    const std::string dsd64 = WriteTrack(Shape(Dsf, Dsd64, 0.1, 6), "r/64.dsf");
    const std::string dsd128 = WriteTrack(Shape(Dsf, Dsd128, 0.1, 7), "r/128.dsf");
    // A device that plays only 2.8 MHz: a 5.6 MHz file is too high; without DSD, every file is.
    DeviceCaps.Dsd = {1, 0, 0, 0};
    EXPECT_EQ(ProbeTrack(dsd128, "dsf").Result, ProbeRateTooHigh);
    DeviceCaps.Dsd = {0, 0, 0, 0};
    EXPECT_EQ(ProbeTrack(dsd64, "dsf").Result, ProbeRateTooHigh);
    EXPECT_EQ(Transport.SessionDsdRate, 0) << "a refused track sets no rate";

    // After a 2.8 MHz track, a 5.6 MHz one the device plays is refused without a word...
    DeviceCaps.Dsd = {1, 1, 0, 0};
    ProbedTrack probe = ProbeTrack(dsd64, "dsf");
    ASSERT_TRUE(probe);
    EXPECT_TRUE(ProbeTrack(dsd128, "dsf")) << "a probe whose entry went nowhere sets no rate";
    AcceptRunRate(probe.Entry);
    EXPECT_EQ(ProbeTrack(dsd128, "dsf").Result, ProbeOtherRate);
    EXPECT_TRUE(Messages.empty());
    // ...until both lists have been emptied, which resets the session rate.
    ResetRunRate();
    probe = ProbeTrack(dsd128, "dsf");
    ASSERT_TRUE(probe);
    AcceptRunRate(probe.Entry);
    EXPECT_EQ(Transport.SessionDsdRate, 5'644'800);
    EXPECT_EQ(Transport.OutputFrequency, 176'400);
}

TEST_F(Tracks, Probe_LooksUpCoversOnlyWhenShown) {
    const std::string with = WriteTrack(Shape(Dsf, Dsd64, 0.1, 8), "c/With/01.dsf");
    std::ofstream(TestFolder() + "c/With/cover.png") << "png";
    const std::string without = WriteTrack(Shape(Dsf, Dsd64, 0.1, 9), "c/Without/01.dsf");
    ViewCover = 2;
    EXPECT_EQ(ProbeTrack(with, "dsf").Entry.CoverPath, TestFolder() + "c/With/cover.png");
    EXPECT_EQ(ProbeTrack(without, "dsf").Entry.CoverPath, "");
    ViewCover = 0;
    EXPECT_EQ(ProbeTrack(with, "dsf").Entry.CoverPath, "");
}

TEST_F(Tracks, OpenNextTrack_GoesFromTheSelectionThroughList1IntoList2AndEnds) {
    const std::vector<TestDsdShape> shapes = AddShortTracks("n", 4, 3);

    // From idle, StartPlayback opens the entry it is given; the following ones come from the lists.
    Transport.PlayingList.store(1);
    Transport.TickSemaphore.Release();
    OpenTrackAt(1, 1);
    EXPECT_EQ(Transport.PlayingList.load(), 1);
    EXPECT_EQ(Transport.NextIndex.load(), 2);
    NowPlayingInfo now = TakeNowPlaying();
    EXPECT_EQ(now.Track.TrackId, ListOf(1).Entries[1].TrackId);
    EXPECT_EQ(now.Track.End, static_cast<int64_t>(TestDsd_PlayLength(shapes[1])));
    EXPECT_TRUE(StreamStartsWith(shapes[1]));

    OpenNext();
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, ListOf(1).Entries[2].TrackId);
    EXPECT_TRUE(StreamStartsWith(shapes[2]));
    // Past List 1's last entry: List 2 from its start.
    OpenNext();
    EXPECT_EQ(Transport.PlayingList.load(), 2);
    EXPECT_EQ(Transport.NextIndex.load(), 1);
    now = TakeNowPlaying();
    EXPECT_EQ(now.Track.TrackId, ListOf(2).Entries[0].TrackId);
    EXPECT_EQ(now.Track.List, 2);
    EXPECT_TRUE(StreamStartsWith(shapes[3]));
    // Past List 2's last: the lists are used up and nothing opens.
    OpenNext();
    EXPECT_EQ(Transport.PlayingList.load(), -1);
    EXPECT_EQ(Transport.StreamHandle.load(), 0u);
    EXPECT_EQ(TakeNowPlaying().Track.TrackId, ListOf(2).Entries[0].TrackId);
}

TEST_F(Tracks, OpenNextTrack_EndsAfterList1WhenList2IsEmptyAndIgnoresAnIndexPastTheEnd) {
    AddShortTracks("e", 1, 1);
    Transport.PlayingList.store(1);
    Transport.NextIndex.store(3);
    OpenNext();
    EXPECT_EQ(Transport.PlayingList.load(), 1) << "an index past the end changes nothing";
    EXPECT_EQ(Transport.StreamHandle.load(), 0u);
    Transport.NextIndex.store(1);
    OpenNext();
    EXPECT_EQ(Transport.PlayingList.load(), -1);

    // Idle: nothing follows.
    Transport.PlayingList.store(0);
    OpenNext();
    EXPECT_EQ(Transport.PlayingList.load(), 0);
    EXPECT_EQ(Transport.StreamHandle.load(), 0u);
}

TEST_F(Tracks, OpenTrackAt_OpensNothingForAVanishedFileOrAnotherRateWithoutAWord) {
    const TestDsdShape shape = AddShortTracks("v", 1, 1)[0];
    std::filesystem::remove(TestFolder() + "v/0.dsf");
    Transport.PlayingList.store(1);
    OpenNext();
    EXPECT_EQ(Transport.StreamHandle.load(), 0u);
    EXPECT_EQ(Transport.NextIndex.load(), 0);

    WriteTrack(shape, "v/0.dsf");
    Transport.OutputDsdRate.store(5'644'800.0f); // the output runs at another rate
    OpenNext();
    EXPECT_EQ(Transport.StreamHandle.load(), 0u);
    Transport.OutputDsdRate.store(2'822'400.0f);
    OpenNext();
    EXPECT_NE(Transport.StreamHandle.load(), 0u);
    EXPECT_EQ(Transport.NextIndex.load(), 1);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Tracks, FileReadable_NeedsOneByte) {
    std::ofstream(TestFolder() + "empty").close();
    std::ofstream(TestFolder() + "one") << "x";
    EXPECT_FALSE(FileReadable(TestFolder() + "empty"));
    EXPECT_FALSE(FileReadable(TestFolder()));
    EXPECT_FALSE(FileReadable(TestFolder() + "missing"));
    EXPECT_TRUE(FileReadable(TestFolder() + "one"));
}

TEST(EngineErrors, UnknownCodesShowTheirNumberAndRatesRoundToOneDecimal) {
    Messages.clear();
    ShowEngineError(-1);
    ShowEngineError(77);
    EXPECT_EQ(Messages, (std::vector<std::string>{"Error|Some other mystery error", "Error|Error code #77"}));
    EXPECT_EQ(RateLabelText(11'289'600), "11.3 MHz");
    EXPECT_EQ(RateLabelText(22'579'200), "22.6 MHz");
}

} // namespace
