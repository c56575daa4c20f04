// Track opening: the probe that decides whether a file plays here, the play-time open of a list
// entry, the choice of the entry that comes next, and the engine's error texts.

#include "audio.h"
#include "internal.h"

#include "library/library.h"
#include "library/settings.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "ui/ui.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <mutex>

// --- main thread: the list panel's selection, the run's rate
int32_t SelectedIndex1 = 0;
int32_t SelectedIndex2 = 0;
int32_t SessionDsdRate = 0;
int32_t OutputFrequency = 0;
// --- main thread, and the audio thread while it runs (see audio.h)
std::atomic<int8_t> PlayingList{0};
std::atomic<int32_t> NextIndex{0};
std::atomic<uint32_t> StreamHandle{0};
// --- end of state

namespace {

// --- main thread: the last TrackId given; never reset while the program runs
int32_t LastTrackId = 0;

constexpr uint32_t ProbeFlags = TAVO_UNICODE | TAVO_STREAM_DECODE; // 0x80200000: measures, no data
constexpr uint32_t PlayFlags = ProbeFlags | TAVO_DSD_RAW | 0x10;    // 0x80200210: raw DSD bytes
constexpr int OpenAttempts = 17;
constexpr int OpenRetryMs = 120;

// The highest DSD rate the chosen device plays, 0 when it plays none.
int32_t MaximumRate() {
    for (int i = 3; i >= 0; --i)
        if (DeviceCaps.Dsd[i]) return static_cast<int32_t>(DsdRates[i]);
    return 0;
}

// The folder that holds `path`, ending in '/': characters come off the end until the rest names an
// existing folder (or is shorter than 4 characters), and the folder part of that is kept.
std::string ContainingFolder(const std::string &path) {
    std::string s = path;
    while (s.size() >= 4 && !IsDirectory(s)) s.pop_back();
    return FolderOf(s);
}

std::string DurationText(int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%3lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

float Attribute(TavoHandle stream, uint32_t which) {
    float value = 0;
    if (!EngineFn.Tavo_ChannelGetAttribute(stream, which, &value)) return 0;
    return value;
}

// Waits for one count of TickSemaphore. On the audio thread it gives up when the thread is asked
// to end, so that a paused or stopped output (no callbacks, no counts) cannot hold it.
bool WaitForTick() {
    while (!TickSemaphore.WaitFor(20))
        if (OnAudioThread() && StopThread.load(std::memory_order_acquire)) return false;
    return true;
}

} // namespace

std::string RateLabelText(double dsd_rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MHz", dsd_rate / 1'000'000.0);
    return text;
}

bool FileReadable(const std::string &path) {
    // A pipe named like a track would hold the thread until a writer came: regular files only.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    char byte;
    const bool readable = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && read(fd, &byte, 1) == 1;
    close(fd);
    return readable;
}

bool ProbeTrack(const std::string &path, const std::string &extension) {
    const int32_t maximum = MaximumRate();
    TrackInfo.IsDsd = 0;
    if (!IsMusicExtension(extension)) return false;
    const TavoHandle stream = EngineFn.Tavd_DSD_StreamCreateFile(0, path.c_str(), 0, 0, ProbeFlags, 0);
    TrackInfo.IsDsd = 1;
    if (!stream) {
        MessageBox("Error", "Error of the file '" + FileNameOf(path) + "'", 0x1010);
        return false;
    }
    TrackInfo.Path = path;
    TrackInfo.Extension = extension;
    const uint64_t length = EngineFn.Tavo_ChannelGetLength(stream, 0);
    const double seconds = EngineFn.Tavo_ChannelBytes2Seconds(stream, length);
    TrackInfo.DsdRate = static_cast<int32_t>(std::lround(Attribute(stream, TAVO_ATTRIB_DSDRATE)));
    TrackInfo.Length = static_cast<int64_t>(length) * 2; // the probe reports half the playback length
    if (TrackInfo.DsdRate > maximum) {
        MessageBox("DSD Native", "Sample rate is too high.", 0x1040);
        EngineFn.Tavo_StreamFree(stream);
        return false;
    }
    if (SessionDsdRate == 0) {
        SessionDsdRate = TrackInfo.DsdRate;
        ShowRateLabel(RateLabelText(TrackInfo.DsdRate));
    } else if (TrackInfo.DsdRate != SessionDsdRate) {
        EngineFn.Tavo_StreamFree(stream);
        return false;
    }
    TrackInfo.SampleRate = static_cast<int32_t>(Attribute(stream, TAVO_ATTRIB_FREQ));
    if (OutputFrequency == 0) OutputFrequency = TrackInfo.SampleRate;

    const std::string folder = ContainingFolder(path);
    std::string parent;
    if (folder.size() >= 4) parent = ContainingFolder(folder.substr(0, folder.size() - 1));
    std::string title = path.substr(std::min(folder.size(), path.size()));
    const std::string dot_extension = "." + extension;
    if (title.size() >= dot_extension.size() &&
        title.compare(title.size() - dot_extension.size(), dot_extension.size(), dot_extension) == 0)
        title.resize(title.size() - dot_extension.size());
    std::string album = folder.compare(0, parent.size(), parent) == 0 ? folder.substr(parent.size()) : folder;
    if (!album.empty() && album.back() == '/') album.pop_back();
    TrackInfo.Title = title;
    TrackInfo.Album = album;
    TrackInfo.DisplayTitle = title;
    TrackInfo.DurationText = DurationText(seconds > 0 ? static_cast<int64_t>(seconds) : 0);
    LastTrackId += 2;
    TrackInfo.TrackId = LastTrackId;
    EngineFn.Tavo_StreamFree(stream);

    // Paths looked up for an earlier track must not stay with this one.
    TrackInfo.CoverPath.clear();
    TrackInfo.SecondCoverPath.clear();
    if (ViewCover != 0) {
        TrackInfo.CoverPath = FindFolderCover(path);
        if (CoverTrack == 1) TrackInfo.SecondCoverPath = FindTrackCover(path);
    }
    return true;
}

// Main thread (from StartPlayback) or audio thread (from RefillChunk).
void OpenTrackAt(int list, int index) {
    ReleaseStream();

    ListEntry entry;
    {
        std::lock_guard<std::mutex> guard(ListLock);
        const std::vector<ListEntry> &entries = list == 1 ? List1 : List2;
        if (index < 0 || static_cast<size_t>(index) >= entries.size()) return; // emptied meanwhile
        entry = entries[static_cast<size_t>(index)];
    }

    TavoHandle stream = 0;
    int error = 0;
    for (int attempt = 0; attempt < OpenAttempts; ++attempt) {
        if (attempt > 0) {
            WaitPassingEvents(OpenRetryMs);
            if (OnAudioThread() && StopThread.load(std::memory_order_acquire)) return;
        }
        if (!FileReadable(entry.Path)) break;
        const float running = OutputDsdRate.load(std::memory_order_relaxed);
        if (running != 0 && running != static_cast<float>(entry.DsdRate)) break;
        stream = EngineFn.Tavd_DSD_StreamCreateFile(0, entry.Path.c_str(), 0, 0, PlayFlags, 0);
        error = stream ? 0 : EngineFn.Tavo_ErrorGetCode();
        if (error == 0) break;
    }
    if (!stream) {
        if (error != 0) {
            ShowEngineError(error);
            DrainWindowEvents();
        }
        return;
    }
    StreamHandle.store(stream, std::memory_order_release);
    EngineFn.Tavo_ChannelSetDevice(stream, 0);
    if (!WaitForTick()) return;

    TrackRecord record;
    record.End = static_cast<int64_t>(EngineFn.Tavo_ChannelGetLength(stream, 0));
    record.Album = entry.Album;
    record.Title = entry.Title;
    record.TrackId = entry.TrackId;
    record.IsDsd = entry.IsDsd;
    record.CoverPath = entry.CoverPath;
    record.SecondCoverPath = entry.SecondCoverPath;
    record.List = static_cast<int8_t>(list);
    if (AudioThreadRuns())
        QueueTrack(record);
    else
        SetNowPlaying(record);
    NextIndex.store(index + 1, std::memory_order_release);
}

// Main thread (from StartPlayback) or audio thread (from RefillChunk).
void OpenNextTrack() {
    size_t size1, size2;
    {
        std::lock_guard<std::mutex> guard(ListLock);
        size1 = List1.size();
        size2 = List2.size();
    }
    const int32_t next = NextIndex.load(std::memory_order_acquire);
    switch (PlayingList.load(std::memory_order_acquire)) {
    case 0:
        // Only StartPlayback starts from idle; the view and the selection are the main thread's.
        if (OnAudioThread()) break;
        if (ActiveView == ViewList1 && size1 > 0) {
            PlayingList.store(1, std::memory_order_release);
            OpenTrackAt(1, SelectedIndex1);
        } else if (ActiveView == ViewList2 && size2 > 0) {
            PlayingList.store(2, std::memory_order_release);
            OpenTrackAt(2, SelectedIndex2);
        }
        break;
    case 1:
        if (next >= 0 && static_cast<size_t>(next) < size1) {
            OpenTrackAt(1, next);
        } else if (next >= 0 && static_cast<size_t>(next) == size1) {
            if (size2 == 0) {
                PlayingList.store(-1, std::memory_order_release);
            } else {
                PlayingList.store(2, std::memory_order_release);
                OpenTrackAt(2, 0);
            }
        }
        break;
    case 2:
        if (next >= 0 && static_cast<size_t>(next) < size2)
            OpenTrackAt(2, next);
        else
            PlayingList.store(-1, std::memory_order_release);
        break;
    default:
        break;
    }
    const int8_t playing = PlayingList.load(std::memory_order_acquire);
    if (playing > 0 && !OnAudioThread()) SetTransportColours(playing);
}

void FindResumeIndex() {
    ResetTimeDisplays();
    NextIndex.store(0, std::memory_order_release);
    const int32_t id = TakeNowPlaying().Track.TrackId;
    const int8_t playing = PlayingList.load(std::memory_order_acquire);
    const std::vector<ListEntry> *lists[2] = {&List1, &List2};
    for (int list = 1; list <= 2; ++list) {
        const std::vector<ListEntry> &entries = *lists[list - 1];
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].TrackId != id) continue;
            NextIndex.store(list == playing ? static_cast<int32_t>(i) + 1 : 0, std::memory_order_release);
            return;
        }
    }
}

std::string EngineErrorText(int code) {
    struct Row {
        int code;
        const char *text;
    };
    static constexpr Row Texts[] = {
        {TAVO_OK, "All is OK"},
        {TAVO_ERROR_MEM, "Memory error"},
        {TAVO_ERROR_FILEOPEN, "Can't open the file"},
        {TAVO_ERROR_DRIVER, "Can't find a free/valid driver"},
        {TAVO_ERROR_FORMAT, "Unsupported sample format"},
        {TAVO_ERROR_INIT, "Tava_ASIO_Init has Not been successfully called"},
        {TAVO_ERROR_START, "Tava_ASIO_Start has/hasn't been called"},
        {TAVO_ERROR_ALREADY, "Already initialized/started"},
        {TAVO_ERROR_NOCHAN, "Can't get a free channel"},
        {TAVO_ERROR_ILLPARAM, "An illegal parameter was specified"},
        {TAVO_ERROR_DEVICE, "Illegal device number"},
        {TAVO_ERROR_SPEAKER, "Illegal sample rate"},
        {TAVO_ERROR_NOTFILE, "The stream is not a file stream"},
        {TAVO_ERROR_NOTAVAIL, "Requested data is not available"},
        {TAVO_ERROR_TIMEOUT, "Connection timedout"},
        {TAVO_ERROR_FILEFORM, "Unsupported file format"},
        {TAVO_ERROR_CODEC, "Codec is not available/supported"},
        {TAVO_ERROR_UNKNOWN, "Some other mystery error"},
    };
    for (const Row &row : Texts)
        if (row.code == code) return row.text;
    return "Error code #" + std::to_string(code);
}

void ShowEngineError(int code) {
    std::string text = EngineErrorText(code);
    if (code == TAVO_ERROR_DRIVER) text += DeviceBusyNote(OutputDevice);
    MessageBox("Error", text, MessageIconStop);
}

void ShowRateLabel(const std::string &text) {
    Show<&PlaybackDisplay::ShowRateLabel>(text);
}
