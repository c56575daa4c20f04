// tavo.so: the engine core. Initialisation, configuration, the stream table and every call on a
// stream handle. Streams themselves come from add-ons (tavd.so) through tavo_stream.h.
//
// Threads: the program calls in from its main thread (init, probes, frees) and from its audio thread
// (data pulls on the playback stream). The table is guarded by one mutex held only for lookups and
// changes; a stream's own calls are serialised by the stream's mutex, never under the table's, so a
// long data pull on one stream does not hold up a probe of another.

#include "tavo.h"
#include "tavo_stream.h"

#include <map>
#include <memory>
#include <mutex>

#define TAVO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Stream {
    TavoStreamProcs procs;
    void *state;
    TavoStreamInfo info;
    std::mutex lock;        // serialises the procs' calls on this stream
    uint64_t position = 0;  // bytes delivered since the start (or the last seek); under lock
    bool stopped = false;   // under lock

    Stream(const TavoStreamProcs &p, void *s, const TavoStreamInfo &i) : procs(p), state(s), info(i) {}
    ~Stream() { procs.close(state); }
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;
};

// Handles are never reused while the library is loaded, so a stale handle can never reach a new
// stream; 0 is never a handle.
constexpr size_t MaxStreams = 4096;

// --- protected by TableLock (written and read by every calling thread)
std::mutex TableLock;
std::map<TavoHandle, std::shared_ptr<Stream>> Streams;
TavoHandle LastHandle = 0;
bool Initialised = false;
uint32_t InitFrequency = 0;
std::map<uint32_t, uint32_t> Config;
// --- end of TableLock

thread_local int LastError = TAVO_OK;

int Fail(int code) {
    LastError = code;
    return 0;
}

int Succeed() {
    LastError = TAVO_OK;
    return 1;
}

// The stream for a handle, kept alive by the returned reference even if another thread frees the
// handle meanwhile; null (code 20) for an unknown handle.
std::shared_ptr<Stream> Find(TavoHandle h) {
    std::lock_guard<std::mutex> guard(TableLock);
    auto it = Streams.find(h);
    if (it == Streams.end()) {
        LastError = TAVO_ERROR_ILLPARAM;
        return nullptr;
    }
    return it->second;
}

} // namespace

TAVO_EXPORT int Tavo_Init(int device, uint32_t freq, uint32_t flags, void *window, const void *reserved) {
    (void)flags, (void)window, (void)reserved;
    // Device 0 is the "no sound" device: the engine only decodes; output goes through tava.so.
    // -1 (the default device) is taken as the same.
    if (device != 0 && device != -1) return Fail(TAVO_ERROR_DEVICE);
    if (freq == 0 || freq > 10'000'000) return Fail(TAVO_ERROR_SPEAKER);
    std::lock_guard<std::mutex> guard(TableLock);
    if (Initialised) return Fail(TAVO_ERROR_ALREADY);
    Initialised = true;
    InitFrequency = freq;
    return Succeed();
}

TAVO_EXPORT int Tavo_Free(void) {
    std::map<TavoHandle, std::shared_ptr<Stream>> released;
    {
        std::lock_guard<std::mutex> guard(TableLock);
        if (!Initialised) return Fail(TAVO_ERROR_INIT);
        Initialised = false;
        InitFrequency = 0;
        released.swap(Streams);
    }
    // Streams close here, outside the table lock; one still being read closes when its read ends.
    released.clear();
    return Succeed();
}

TAVO_EXPORT int Tavo_SetDevice(uint32_t device) {
    std::lock_guard<std::mutex> guard(TableLock);
    if (!Initialised) return Fail(TAVO_ERROR_INIT);
    if (device != 0) return Fail(TAVO_ERROR_DEVICE);
    return Succeed();
}

// Options are kept and returned; none of them changes how a decoding stream behaves.
TAVO_EXPORT uint32_t Tavo_SetConfig(uint32_t option, uint32_t value) {
    std::lock_guard<std::mutex> guard(TableLock);
    Config[option] = value;
    return Succeed();
}

TAVO_EXPORT int Tavo_ErrorGetCode(void) { return LastError; }

TAVO_EXPORT int32_t Tavo_ChannelGetData(TavoHandle h, void *buffer, uint32_t length) {
    auto s = Find(h);
    if (!s) return -1;
    if (!buffer && length) {
        LastError = TAVO_ERROR_ILLPARAM;
        return -1;
    }
    // The count is returned as a signed 32-bit number.
    if (length > INT32_MAX) length = INT32_MAX;
    std::lock_guard<std::mutex> guard(s->lock);
    if (s->stopped) {
        // A stopped decoding stream delivers nothing until it is repositioned.
        LastError = TAVO_OK;
        return 0;
    }
    int32_t got = s->procs.read(s->state, buffer, length);
    if (got < 0) return -1; // the stream has set the error code
    s->position += static_cast<uint64_t>(got);
    LastError = TAVO_OK;
    return got;
}

TAVO_EXPORT uint64_t Tavo_ChannelGetLength(TavoHandle h, uint32_t mode) {
    auto s = Find(h);
    if (!s) return UINT64_MAX;
    if (mode != TAVO_POS_BYTE) {
        LastError = TAVO_ERROR_ILLPARAM;
        return UINT64_MAX;
    }
    LastError = TAVO_OK;
    return s->info.length;
}

TAVO_EXPORT double Tavo_ChannelBytes2Seconds(TavoHandle h, uint64_t bytes) {
    auto s = Find(h);
    if (!s) return -1.0;
    if (!(s->info.bytes_per_second > 0)) {
        LastError = TAVO_ERROR_NOTAVAIL;
        return -1.0;
    }
    LastError = TAVO_OK;
    return static_cast<double>(bytes) / s->info.bytes_per_second;
}

TAVO_EXPORT int Tavo_ChannelGetAttribute(TavoHandle h, uint32_t attrib, float *value) {
    auto s = Find(h);
    if (!s) return 0;
    if (!value) return Fail(TAVO_ERROR_ILLPARAM);
    switch (attrib) {
    case TAVO_ATTRIB_FREQ: *value = s->info.frequency; return Succeed();
    case TAVO_ATTRIB_DSDRATE: *value = s->info.dsd_rate; return Succeed();
    default: return Fail(TAVO_ERROR_ILLPARAM);
    }
}

// Decoding streams play on no device; device 0 ("no sound") is the only one they take.
TAVO_EXPORT int Tavo_ChannelSetDevice(TavoHandle h, uint32_t device) {
    auto s = Find(h);
    if (!s) return 0;
    if (device != 0) return Fail(TAVO_ERROR_DEVICE);
    return Succeed();
}

TAVO_EXPORT int Tavo_ChannelStop(TavoHandle h) {
    auto s = Find(h);
    if (!s) return 0;
    std::lock_guard<std::mutex> guard(s->lock);
    s->stopped = true;
    return Succeed();
}

TAVO_EXPORT int Tavo_StreamFree(TavoHandle h) {
    std::shared_ptr<Stream> released;
    {
        std::lock_guard<std::mutex> guard(TableLock);
        auto it = Streams.find(h);
        if (it == Streams.end()) return Fail(TAVO_ERROR_ILLPARAM);
        released = std::move(it->second);
        Streams.erase(it);
    }
    return Succeed();
}

TAVO_EXPORT uint64_t Tavo_ChannelGetPosition(TavoHandle h, uint32_t mode) {
    auto s = Find(h);
    if (!s) return UINT64_MAX;
    if (mode != TAVO_POS_BYTE) {
        LastError = TAVO_ERROR_ILLPARAM;
        return UINT64_MAX;
    }
    std::lock_guard<std::mutex> guard(s->lock);
    LastError = TAVO_OK;
    return s->position;
}

TAVO_EXPORT int Tavo_ChannelSetPosition(TavoHandle h, uint64_t pos, uint32_t mode) {
    auto s = Find(h);
    if (!s) return 0;
    // Positions are whole stereo frames of the delivered data.
    if (mode != TAVO_POS_BYTE || pos > s->info.length || pos % 2 != 0) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard<std::mutex> guard(s->lock);
    if (!s->procs.seek(s->state, pos)) return 0; // the stream has set the error code
    s->position = pos;
    s->stopped = false;
    return Succeed();
}

// Mode 0: where in the file the next byte comes from; mode 2: the size of the file.
TAVO_EXPORT uint64_t Tavo_StreamGetFilePosition(TavoHandle h, uint32_t mode) {
    auto s = Find(h);
    if (!s) return UINT64_MAX;
    std::lock_guard<std::mutex> guard(s->lock);
    switch (mode) {
    case 0: LastError = TAVO_OK; return s->procs.file_position(s->state);
    case 2: LastError = TAVO_OK; return s->info.file_size;
    default: LastError = TAVO_ERROR_ILLPARAM; return UINT64_MAX;
    }
}

// Decoding streams have no playback buffer to update.
TAVO_EXPORT int Tavo_ChannelUpdate(TavoHandle h, uint32_t length) {
    (void)length;
    if (!Find(h)) return 0;
    return Fail(TAVO_ERROR_NOTAVAIL);
}

// The core reads no file format of its own: DSF and DFF are opened through tavd.so.
TAVO_EXPORT TavoHandle Tavo_StreamCreateFile(int mem, const void *file, uint64_t offset, uint64_t length,
                                             uint32_t flags) {
    (void)mem, (void)file, (void)offset, (void)length, (void)flags;
    std::lock_guard<std::mutex> guard(TableLock);
    LastError = Initialised ? TAVO_ERROR_FILEFORM : TAVO_ERROR_INIT;
    return 0;
}

TAVO_EXPORT TavoHandle TavoStream_Register(const TavoStreamProcs *procs, void *state,
                                           const TavoStreamInfo *info) {
    if (!procs || !info || !procs->read || !procs->seek || !procs->file_position || !procs->close) {
        if (procs && procs->close) procs->close(state);
        LastError = TAVO_ERROR_ILLPARAM;
        return 0;
    }
    std::shared_ptr<Stream> stream;
    try {
        stream = std::make_shared<Stream>(*procs, state, *info);
    } catch (const std::bad_alloc &) {
        procs->close(state);
        LastError = TAVO_ERROR_MEM;
        return 0;
    }
    std::lock_guard<std::mutex> guard(TableLock);
    if (!Initialised || Streams.size() >= MaxStreams || LastHandle == UINT32_MAX) {
        LastError = Initialised ? TAVO_ERROR_MEM : TAVO_ERROR_INIT;
        return 0; // the stream closes as it goes out of scope
    }
    TavoHandle h = ++LastHandle;
    Streams.emplace(h, std::move(stream));
    LastError = TAVO_OK;
    return h;
}

TAVO_EXPORT void TavoStream_SetError(int code) { LastError = code; }
