// Track opening: the probe that decides whether a file plays here, the play-time open of a list
// entry, the choice of the entry that comes next, and the engine's error texts.

#include "audio.h"
#include "internal.h"

#include "library/library.h"
#include "library/settings.h"
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <mutex>

namespace {

// --- main thread: the last TrackId given; never reset while the program runs
int32_t LastTrackId = 0;

constexpr uint32_t ProbeFlags = TAVO_UNICODE | TAVO_STREAM_DECODE; // 0x80200000: measures, no data
constexpr uint32_t PlayFlags = ProbeFlags | TAVO_DSD_RAW | 0x10;   // 0x80200210: raw DSD bytes
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
    while (!Transport.TickSemaphore.WaitFor(20))
        if (OnAudioThread() && Transport.StopThread.load(std::memory_order_acquire)) return false;
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

bool PlaybackIdle() {
    return Transport.PlayingList.load(std::memory_order_acquire) == 0;
}

int32_t RunFrequency() {
    return Transport.OutputFrequency;
}

void ResetRunRate() {
    Transport.OutputFrequency = 0;
    Transport.SessionDsdRate = 0;
    ShowRateLabel("");
}

void AcceptRunRate(const ListEntry &entry) {
    if (Transport.SessionDsdRate == 0) {
        Transport.SessionDsdRate = entry.DsdRate;
        ShowRateLabel(RateLabelText(entry.DsdRate));
    }
    if (Transport.OutputFrequency == 0) Transport.OutputFrequency = entry.SampleRate;
}

ProbedTrack ProbeTrack(const std::string &path, const std::string &extension) {
    ProbedTrack probe;
    ListEntry &entry = probe.Entry;
    const int32_t maximum = MaximumRate();
    if (!IsMusicExtension(extension)) return probe;
    const TavoHandle stream = EngineFn.Tavd_DSD_StreamCreateFile(0, path.c_str(), 0, 0, ProbeFlags, 0);
    entry.IsDsd = 1;
    if (!stream) {
        const int code = EngineFn.Tavo_ErrorGetCode();
        const char *reason = EngineFn.Tavd_DSD_ErrorGetText(); // "" when the reader gave none
        probe.Reason = *reason ? reason : EngineErrorText(code);
        probe.Result = ProbeUnreadable;
        return probe;
    }
    entry.Path = path;
    entry.Extension = extension;
    const uint64_t length = EngineFn.Tavo_ChannelGetLength(stream, 0);
    const double seconds = EngineFn.Tavo_ChannelBytes2Seconds(stream, length);
    entry.DsdRate = static_cast<int32_t>(std::lround(Attribute(stream, TAVO_ATTRIB_DSDRATE)));
    entry.Length = static_cast<int64_t>(length) * 2; // the probe reports half the playback length
    if (entry.DsdRate > maximum) {
        EngineFn.Tavo_StreamFree(stream);
        probe.Result = ProbeRateTooHigh;
        return probe;
    }
    // The run's rate is only checked here: the entry may still find no place in a list.
    if (Transport.SessionDsdRate != 0 && entry.DsdRate != Transport.SessionDsdRate) {
        EngineFn.Tavo_StreamFree(stream);
        probe.Result = ProbeOtherRate;
        return probe;
    }
    entry.SampleRate = static_cast<int32_t>(Attribute(stream, TAVO_ATTRIB_FREQ));

    const std::string folder = ContainingFolder(path);
    std::string parent;
    if (folder.size() >= 4) parent = ContainingFolder(folder.substr(0, folder.size() - 1));
    std::string title = path.substr(std::min(folder.size(), path.size()));
    // The extension goes in any case: a scan or a drop may name it otherwise than the file does.
    const size_t cut = extension.size() + 1;
    if (title.size() >= cut && title[title.size() - cut] == '.' &&
        UpperAscii(title.substr(title.size() - extension.size())) == UpperAscii(extension))
        title.resize(title.size() - cut);
    std::string album = folder.compare(0, parent.size(), parent) == 0 ? folder.substr(parent.size()) : folder;
    if (!album.empty() && album.back() == '/') album.pop_back();
    entry.Title = title;
    entry.Album = album;
    entry.DisplayTitle = title;
    entry.DurationText = DurationText(seconds > 0 ? static_cast<int64_t>(seconds) : 0);
    LastTrackId += 2;
    entry.TrackId = LastTrackId;
    EngineFn.Tavo_StreamFree(stream);

    if (ViewCover != 0) {
        entry.CoverPath = FindFolderCover(path);
        if (CoverTrack == 1) entry.SecondCoverPath = FindTrackCover(path);
    }
    probe.Result = ProbeAccepted;
    return probe;
}

// Main thread (from StartPlayback) or audio thread (from RefillChunk).
void OpenTrackAt(int list, int index) {
    ReleaseStream();

    ListEntry entry;
    {
        std::lock_guard<std::mutex> guard(ListLock);
        const std::vector<ListEntry> &entries = ListOf(list).Entries;
        if (index < 0 || static_cast<size_t>(index) >= entries.size()) return; // emptied meanwhile
        entry = entries[static_cast<size_t>(index)];
    }

    TavoHandle stream = 0;
    int error = 0;
    for (int attempt = 0; attempt < OpenAttempts; ++attempt) {
        if (attempt > 0) {
            WaitWithWindow(OpenRetryMs);
            if (OnAudioThread() && Transport.StopThread.load(std::memory_order_acquire)) return;
        }
        if (!FileReadable(entry.Path)) break;
        const float running = Transport.OutputDsdRate.load(std::memory_order_relaxed);
        if (running != 0 && running != static_cast<float>(entry.DsdRate)) break;
        stream = EngineFn.Tavd_DSD_StreamCreateFile(0, entry.Path.c_str(), 0, 0, PlayFlags, 0);
        error = stream ? 0 : EngineFn.Tavo_ErrorGetCode();
        if (error == 0) break;
    }
    if (!stream) {
        if (error != 0) {
            ShowEngineError(error);
            DrainWithWindow();
        }
        return;
    }
    Transport.StreamHandle.store(stream, std::memory_order_release);
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
    Transport.NextIndex.store(index + 1, std::memory_order_release);
}

// Main thread (from StartPlayback) or audio thread (from RefillChunk).
void OpenNextTrack() {
    size_t size1, size2;
    {
        std::lock_guard<std::mutex> guard(ListLock);
        size1 = ListOf(1).Entries.size();
        size2 = ListOf(2).Entries.size();
    }
    const int32_t next = Transport.NextIndex.load(std::memory_order_acquire);
    switch (Transport.PlayingList.load(std::memory_order_acquire)) {
    case 1:
        if (next >= 0 && static_cast<size_t>(next) < size1) {
            OpenTrackAt(1, next);
        } else if (next >= 0 && static_cast<size_t>(next) == size1) {
            if (size2 == 0) {
                Transport.PlayingList.store(-1, std::memory_order_release);
            } else {
                Transport.PlayingList.store(2, std::memory_order_release);
                OpenTrackAt(2, 0);
            }
        }
        break;
    case 2:
        if (next >= 0 && static_cast<size_t>(next) < size2)
            OpenTrackAt(2, next);
        else
            Transport.PlayingList.store(-1, std::memory_order_release);
        break;
    default:
        break;
    }
    const int8_t playing = Transport.PlayingList.load(std::memory_order_acquire);
    if (playing > 0 && !OnAudioThread()) SetTransportColours(playing);
}

std::string EngineErrorText(int code) {
    struct Row {
        int Code;
        const char *Text;
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
        if (row.Code == code) return row.Text;
    return "Error code #" + std::to_string(code);
}

void ShowEngineError(int code) {
    std::string text = EngineErrorText(code);
    if (code == TAVO_ERROR_DRIVER) text += DeviceBusyNote(OutputDevice);
    ShowMessage("Error", text, 0x10); // the stop icon
}

void ShowRateLabel(const std::string &text) {
    Show<&PlaybackDisplay::ShowRateLabel>(text);
}
