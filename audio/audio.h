// audio/: the engine binding, the output device (listing, probing, opening, closing) and its card,
// track opening, output and transport, the audio
// thread and its callback, and the playback memory they share.
//
// Threads. The main thread runs every procedure here unless its comment says otherwise. AudioThread
// (started per playback) reads the decoding stream into memory and opens the following tracks; the
// output host's thread calls AsioProc for every period. They meet only through the atomics below,
// the single-producer single-consumer TrackQueue, TickSemaphore and window timer 119.
#pragma once

#include "tava.h"
#include "tavd.h"
#include "tavo.h"

#include "library/library.h"
#include "library/settings.h"
#include "platform/system.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// --- The engine binding (engine.cpp) ----------------------------------------------------------

// Every engine procedure the program calls, bound by name from the deployed libraries. Written once
// by BindEngine on the main thread at start-up, before any other thread exists; read-only afterwards.
struct EngineProcs {
    decltype(&::Tavo_Init) Tavo_Init;
    decltype(&::Tavo_Free) Tavo_Free;
    decltype(&::Tavo_SetDevice) Tavo_SetDevice;
    decltype(&::Tavo_SetConfig) Tavo_SetConfig;
    decltype(&::Tavo_ErrorGetCode) Tavo_ErrorGetCode;
    decltype(&::Tavo_ChannelGetData) Tavo_ChannelGetData;
    decltype(&::Tavo_ChannelGetLength) Tavo_ChannelGetLength;
    decltype(&::Tavo_ChannelBytes2Seconds) Tavo_ChannelBytes2Seconds;
    decltype(&::Tavo_ChannelGetAttribute) Tavo_ChannelGetAttribute;
    decltype(&::Tavo_ChannelSetDevice) Tavo_ChannelSetDevice;
    decltype(&::Tavo_ChannelStop) Tavo_ChannelStop;
    decltype(&::Tavo_StreamFree) Tavo_StreamFree;
    decltype(&::Tavo_ChannelGetPosition) Tavo_ChannelGetPosition;
    decltype(&::Tavo_ChannelSetPosition) Tavo_ChannelSetPosition;
    decltype(&::Tavo_StreamGetFilePosition) Tavo_StreamGetFilePosition;
    decltype(&::Tavo_ChannelUpdate) Tavo_ChannelUpdate;
    decltype(&::Tavo_StreamCreateFile) Tavo_StreamCreateFile;

    decltype(&::Tava_ASIO_GetDeviceInfo) Tava_ASIO_GetDeviceInfo;
    decltype(&::Tava_ASIO_Init) Tava_ASIO_Init;
    decltype(&::Tava_ASIO_Free) Tava_ASIO_Free;
    decltype(&::Tava_ASIO_SetUnicode) Tava_ASIO_SetUnicode;
    decltype(&::Tava_ASIO_SetDSD) Tava_ASIO_SetDSD;
    decltype(&::Tava_ASIO_CheckRate) Tava_ASIO_CheckRate;
    decltype(&::Tava_ASIO_SetRate) Tava_ASIO_SetRate;
    decltype(&::Tava_ASIO_GetRate) Tava_ASIO_GetRate;
    decltype(&::Tava_ASIO_ChannelEnable) Tava_ASIO_ChannelEnable;
    decltype(&::Tava_ASIO_ChannelJoin) Tava_ASIO_ChannelJoin;
    decltype(&::Tava_ASIO_ChannelSetFormat) Tava_ASIO_ChannelSetFormat;
    decltype(&::Tava_ASIO_Start) Tava_ASIO_Start;
    decltype(&::Tava_ASIO_Stop) Tava_ASIO_Stop;
    decltype(&::Tava_ASIO_IsStarted) Tava_ASIO_IsStarted;
    decltype(&::Tava_ASIO_ChannelPause) Tava_ASIO_ChannelPause;
    decltype(&::Tava_ASIO_ChannelReset) Tava_ASIO_ChannelReset;
    decltype(&::Tava_ASIO_ErrorGetCode) Tava_ASIO_ErrorGetCode;
    decltype(&::Tava_ASIO_GetVersion) Tava_ASIO_GetVersion;
    decltype(&::Tava_ASIO_Future) Tava_ASIO_Future;

    decltype(&::Tavd_DSD_StreamCreateFile) Tavd_DSD_StreamCreateFile;
    decltype(&::Tavd_DSD_ErrorGetText) Tavd_DSD_ErrorGetText;
};
extern EngineProcs EngineFn;

enum BindResult {
    BindOk,
    BindNoTavo,     // tavo.so missing, not loadable, or lacking a procedure
    BindNoTava,     // likewise tava.so
    BindNoTavd,     // likewise tavd.so
    BindEngineError // the core reports an error right after binding
};

// Loads tavo.so, tava.so and tavd.so from `folder` (ending in '/') in that order and binds every
// procedure of EngineFn by name. A library that lacks one of them counts as missing, so the program
// never calls through an unbound pointer. Main thread, at start-up.
BindResult BindEngine(const std::string &folder);

// The message box text for a failed binding ("Error open tavo.so", ..., "Error Tava Library");
// empty for BindOk.
std::string BindErrorText(BindResult result);

// Unloads the libraries at shutdown; EngineFn is cleared.
void UnbindEngine();

// --- The output device's sound card (card.cpp) -------------------------------------------------

// Asks the desktop's sound server to give up the card of output device n before the device is
// opened (ReserveSoundCard of platform/reserve.h, for the card of its hardware PCM name; nothing for
// other PCMs, which have no card of their own). ReleaseSoundCard gives it back once the device is
// closed. False when the server kept the card: opening the device will then find it busy.
bool ReserveDeviceCard(int n);
// "  (busy: pipewire, pid 1234)" when another process holds output device n open (a hardware PCM);
// "" otherwise. Added to what the program shows where the device could not be opened. Any thread but
// the output thread.
std::string DeviceBusyNote(int n);

// --- The output device (device.cpp) -------------------------------------------------------------
//
// The engine's whole lifetime outside playback: its configuration at start-up, the devices listed and
// probed for the device window and the saved-device check, the output opened when the event loop
// starts and closed on the ways out. Main thread, all of them.

// The engine's configuration before anything else of it is used: Unicode texts for the output
// library, option 42 of the core. Once, as the visible start begins.
void ConfigureEngine();
// Opens device n, switches it to DSD and tests the rates in ascending order, marking each one it
// takes and stopping at the first it refuses (a device that refuses 5.6 MHz is not asked for
// 11.3 MHz); then switches DSD off and closes the device, also when opening failed. dsd starts at 0.
// A device takes a rate bit-perfect (natively or by DoP) or converted to PCM in the output
// (TavaRateInfo of the output library): one that takes DSD 2.8 MHz bit-perfect counts only the rates
// it takes bit-perfect, so that it plays exactly as before the conversion existed; one that converts
// 2.8 MHz counts the rates it converts. `route` (when given) says how it takes 2.8 MHz: path
// TAVA_PATH_NONE when it takes nothing. False when the device could not be opened. Linux: the
// device's card is reserved from the desktop's sound server for the probe and given back after it
// (ReserveDeviceCard). With `pair` 0 or more, a device without the stereo pair of channels pair and
// pair + 1 reads as taking no rate at all. While the device window fills and during the saved-device
// check.
bool ProbeDsdRates(int n, std::array<uint8_t, 4> &dsd, int pair = -1, TavaRateInfo *route = nullptr);
// Output device n as the device window lists it.
struct ListedDevice {
    DeviceRecord Row;     // its number, its name as the output library lists it, the rates it plays
    TavaRateInfo Route{}; // how it takes DSD 2.8 MHz (ProbeDsdRates)
    bool Opened = false;  // it could be opened for the probe
    std::string BusyNote; // DeviceBusyNote when it could not be opened ("  (busy: pipewire, pid 1234)")
};
// Lists and probes output device n. False past the last device the library reports and from
// MaxDevices on (library/settings.h). While the device window fills, one device after the other.
bool ListOutputDevice(int n, ListedDevice &device);
// Whether the device saved in "lp.is" is present and still plays DSD 2.8, 5.6 and 11.3 MHz exactly
// as saved (22.6 MHz is not compared). Looks through devices 0 to 11 for one named Saved.DeviceName,
// probes it and, when it matches, sets DeviceCaps and OutputDevice. Saved values the program never
// writes do not fit any device: a rate flag or option outside its range (SavedValuesInRange), a
// device without DSD 2.8 MHz, or a channel pair the device does not have. Under the splash.
bool CheckSavedDevice();
// Initialises the core (44.1 kHz, no device of its own) and opens the output (OpenOutputDevice).
// False when the device cannot be opened or refuses DSD: the program must end (AbandonOutput). At the
// start of the event loop.
bool OpenOutput();
// Opens output device OutputDevice in DSD mode; Linux: its card is reserved from the desktop's sound
// server first, for as long as the device stays open. Notes how the device takes DSD 2.8 MHz
// (OutputConverts) and gives an output that converts the volume set last (SetOutputVolume). False
// when the device cannot be opened or refuses DSD; the engine's error code says why. At the start of
// the event loop and when the user changes the device.
bool OpenOutputDevice();
// Closes the output device and gives its card back to the desktop's sound server. Playback must be
// stopped. When the user changes the device.
void CloseOutputForChange();
// The message box for the output library's last error (ShowEngineError): a device that did not open.
void ShowOutputError();
// True while the open output converts DSD to PCM (a device that takes no DSD).
bool OutputConverts();
// The gain the output applies, in [0, 1]: what SetOutputVolume set last on an output that converts,
// 1.0 on one that plays DSD bit-perfect. Main thread.
double OutputVolume();
// Sets the gain of an output that converts (clamped to [0, 1]; it holds for the rest of the run,
// also on the next device that converts). False, and nothing changed, on an output that plays DSD
// bit-perfect, which has no volume. Main thread.
bool SetOutputVolume(double gain);
// Releases the output device; nothing while the libraries are not bound. In the close sequence once
// playback has stopped, and through CloseOutputAtExit.
void CloseOutputDevice();
// Frees the core. In the close sequence, once the main window is closed.
void CloseEngineCore();
// The way out when the event loop ends without the close sequence (the main window vanished, or
// OpenOutput failed): waits for the audio thread, stops and frees the output while it still reports
// running (three tries, so that a broken output cannot hold the program forever), then frees the core.
void AbandonOutput();
// At the program's end, on every way out, also before the libraries are bound: asks a running audio
// thread to end and waits for it, closes the output device and gives its card back to the desktop's
// sound server.
void CloseOutputAtExit();

// --- The playback memory (memory.cpp) ---------------------------------------------------------

constexpr int64_t ProgramChunkSize = 81'607'680; // bytes asked of the decoder per refill
constexpr size_t PlayBufferSize = 6 * size_t{86'929'920} + 31'948'800; // 553,528,320
constexpr size_t SpareBufferSize = 31'948'800;

// The buffers (PlaybackMemory of internal.h) are reserved once and kept until the process ends:
// address space only (MAP_NORESERVE); a page takes memory when it is first written.

// Reserves the buffers in the order StagingBuffer, SpareBuffer, BufferA, BufferB, zero-filled. False
// (nothing kept) when the address space is exhausted. Main thread, once at start-up, after the main
// window has faded in; StartPlayback tries again when it finds no buffers.
bool ReservePlaybackMemory();
// Zeroes one of the four buffers by giving its pages back to the system: they read as zeros again and
// hold no memory until written; the cost is per page in use, not per byte reserved. Nothing for any
// other pointer. Main thread, while no audio thread runs and the output calls no AsioProc.
void ZeroPlaybackBuffer(uint8_t *buffer);
// Gives the four buffers back; at shutdown, once no thread uses them.
void ReleasePlaybackMemory();

// --- What playback shows (transport.cpp) --------------------------------------------------------

// Playback draws nothing itself: what it shows on the main window goes through this table, set once
// at start-up by the program (view/'s ShowPlaybackOnTurntable) when the main window stands. A null table
// means there is no window (the developers' harness, the tests): nothing is shown; a null entry is
// skipped. Every entry runs on the main thread, except PostFinish.
struct PlaybackDisplay {
    // The rate text on RateCanvas ("2.8 MHz"); an empty text leaves the bare background.
    void (*ShowRateLabel)(const std::string &text) = nullptr;
    // The four transport texts on ButtonBack; for a list other than 1 or 2 also the Play and Pause
    // texts back to ButtonText.
    void (*SetTransportColours)(int list) = nullptr;
    // The Play text in Highlight (lit) or ButtonText: it blinks while the first chunk is read.
    void (*LightPlayText)(bool lit) = nullptr;
    // The Pause text in Highlight while the pause toggle holds the output, else ButtonText.
    void (*ShowPaused)(bool paused) = nullptr;
    // The bare position bar.
    void (*ResetTimeDisplays)() = nullptr;
    // Starts the view refresh every 200 ms (timer 117) while a list plays.
    void (*StartRefresh)() = nullptr;
    // Stops the refresh and a pending finish (timers 117 and 119).
    void (*StopTimers)() = nullptr;
    // Audio thread: asks the main thread to run FinishPlayback once (timer 119). False when there is
    // nobody to ask (the main window is gone: the program is ending).
    bool (*PostFinish)() = nullptr;
    // A message box (title, text, the box's flags as the platform's MessageBox takes them): a
    // file or device playback cannot use. Any thread, the audio thread included.
    void (*ShowMessage)(const std::string &title, const std::string &text, uint32_t flags) = nullptr;
    // Waits ms milliseconds while the window takes its pending events unhandled, so that it stays
    // painted while playback waits on the main thread; a close request among them is noted.
    void (*WaitPassingEvents)(int ms) = nullptr;
    // Takes the window's pending events unhandled, without waiting.
    void (*DrainEvents)() = nullptr;
};
extern const PlaybackDisplay *Display; // main thread, before any audio thread; read by all

// --- The run (tracks.cpp, transport.cpp) ------------------------------------------------------
//
// The transport's state (TransportState of internal.h) is audio/'s own; the rest of the program
// asks through these. The chosen device (DeviceCaps, OutputDevice, OutputChannel) and the cover
// options (ViewCover, CoverTrack) are the saved state of library/settings.h. Main thread.

// The DSD rates a device is tested for, in this order: 2.8, 5.6, 11.3 and 22.6 MHz. DeviceCaps.Dsd
// has one flag per rate, in the same order.
inline constexpr double DsdRates[4] = {2'822'400.0, 5'644'800.0, 11'289'600.0, 22'579'200.0};

// True while no list plays (the transport's PlayingList is 0). Any thread.
bool PlaybackIdle();
// The run's frequency attribute (DSD rate / 32) of the first track appended since both lists were
// last emptied; 0 before.
int32_t RunFrequency();
// Both lists are empty: the next track appended sets the run's rate anew, and the rate label is
// bare.
void ResetRunRate();
// An entry of ProbeTrack has just been appended to a list: the first since both lists were last
// emptied sets the run's rate (SessionDsdRate, OutputFrequency) and the rate label. A probed entry
// that found no place in a list sets nothing.
void AcceptRunRate(const ListEntry &entry);

// --- NowPlaying and TrackQueue (nowplaying.cpp) -------------------------------------------------

// A track announced for the position display: what NowPlaying shows and what TrackQueue holds.
struct TrackRecord {
    int64_t End = 0; // the track's playback length in bytes
    std::string Album, Title;
    int32_t TrackId = 0;
    int64_t IsDsd = 0;
    std::string CoverPath, SecondCoverPath;
    int8_t List = 0; // 1 or 2
};

// NowPlaying as one consistent copy: the track heard and the bytes played of it.
struct NowPlayingInfo {
    TrackRecord Track;
    int64_t Played = 0; // bytes delivered since the track began
};

// Any thread that is not AsioProc (the view refresh every 200 ms, Next, seeking). The record and
// the played count are taken together, so the texts are never torn and the count belongs to them.
NowPlayingInfo TakeNowPlaying();
// The played count alone. Any thread.
int64_t NowPlayingPlayed();
// Writes a record into NowPlaying, played 0. Main thread, while AsioProc is not called.
void SetNowPlaying(const TrackRecord &track);
// NowPlaying with nothing in it. Main thread, while AsioProc is not called.
void EmptyNowPlaying();
// The track heard as played up to byte `played` (a seek moved its stream there). Main thread, while
// AsioProc is not called.
void MoveNowPlaying(int64_t played);
// Appends a record to TrackQueue. The queue's one producer: the thread that opens tracks (the audio
// thread while it runs). False when the queue is full, which a run of at most twelve tracks never
// makes it.
bool QueueTrack(const TrackRecord &track);
// Number of records queued and not yet taken by AsioProc. Any thread.
size_t QueuedTracks();
// Empties TrackQueue and keeps NowPlaying as it is. Main thread, while no audio thread runs and
// AsioProc is not called.
void EmptyTrackQueue();
// AsioProc's track change: adds `bytes` to the played count and, while it passes the end of the
// track heard and a record is queued, moves the queue's first record into NowPlaying with the excess
// as its played count. Output thread only (the queue's one consumer); never blocks or allocates.
void CountPlayedBytes(int64_t bytes);

// --- Track opening (tracks.cpp) ---------------------------------------------------------------

// What the probe made of a file: the entry for a list when it was accepted.
enum ProbeResult {
    ProbeAccepted,
    ProbeNotMusic,    // not DSF/DFF/WV by its extension: refused silently
    ProbeUnreadable,  // not readable as DSD: an "Error of the file" box, with Reason
    ProbeRateTooHigh, // a rate the device does not reach: a "Sample rate is too high." box
    ProbeOtherRate,   // a rate other than the run's: refused silently
};
struct ProbedTrack {
    ProbeResult Result = ProbeNotMusic;
    ListEntry Entry;    // filled when accepted
    std::string Reason; // ProbeUnreadable: why, from the engine ("not a DSD file")
    explicit operator bool() const { return Result == ProbeAccepted; }
};
// Opens the file briefly to decide whether it plays here and makes its list entry. It shows no box:
// the caller reports the refusals of the files handed in together at once. A track of a rate other
// than the run's is refused; the probe itself never sets the run's rate (AcceptRunRate does, once the
// entry is in a list). The title is the file name without its extension, in whatever case either is
// written.
ProbedTrack ProbeTrack(const std::string &path, const std::string &extension);
// True when the file opens for reading and one byte can be read. Any thread.
bool FileReadable(const std::string &path);
// Opens entry `index` of List `list` (1 or 2) as StreamHandle and announces it: to TrackQueue while
// the audio thread runs, else as NowPlaying. Without a stream (file gone, a rate other than the
// output's, the engine refusing it 17 times) NextIndex is unchanged. Main or audio thread.
void OpenTrackAt(int list, int index);
// Opens the track that follows in the lists (entry NextIndex of PlayingList, past its end List 2),
// or marks them used up (PlayingList -1). Main or audio thread.
void OpenNextTrack();
// The message box for an engine error code. Any thread. Linux: "Can't find a free/valid driver" (3)
// carries DeviceBusyNote of the chosen device where another program holds it.
void ShowEngineError(int code);
// The table of ShowEngineError: the text for a code, "Error code #" and the number for others.
std::string EngineErrorText(int code);
// The rate text on RateCanvas ("2.8 MHz"); an empty text leaves the bare background.
void ShowRateLabel(const std::string &text);
// "2.8 MHz" for 2,822,400.
std::string RateLabelText(double dsd_rate);

// --- Output and transport (transport.cpp) -------------------------------------------------------

// Where playback starts from idle: entry `Index` of List `List` (1 or 2; 0 plays nothing), the
// list shown and its selection.
struct PlayStart {
    int List = 0;
    int32_t Index = 0;
    int64_t Offset = 0; // the byte of that entry's track where playback begins (a whole output frame)
};

// Sets up the output and plays from `start` on through the lists. resume: `start` is where the
// lists go on after the track heard (an index past the list's end goes on in List 2); else exactly
// that entry. True when the output runs; false when nothing could be played (the reason was shown)
// and the player is idle.
bool StartPlayback(PlayStart start, bool resume);
// Stops the audio thread, the output and the stream. keep: NowPlaying and NextIndex stay.
void StopPlayback(bool keep);
// The end of a run, whatever ends it (Stop, Next past the last track, the last data played, an
// output that ran dry): playback stopped, the transport texts back, the player idle.
void EndRun();
// Run on timer 119: ends playback once everything buffered has played.
void FinishPlayback();
// On the view refresh's tick while a list plays: whether the output plays on, so that the position
// shows. An output that ran dry while the decoder still delivered ends the run after two seconds.
bool OutputPlaysOn();
// The transport commands of the event loop: Play (P, the Play text) from `start`, the pause toggle
// (Space runs it with space_key set, which starts playback from idle at `start`; the Pause text
// does nothing while idle), Next (N), Stop (S).
void TransportPlay(PlayStart start);
void TransportPause(bool space_key, PlayStart start = {});
void TransportNext();
void TransportStop();
// True while the pause toggle holds the output paused.
bool PlaybackPaused();
// Background of the four transport texts; for a list other than 1 or 2 also the Play and Pause
// texts back to ButtonText (and the pause toggle off).
void SetTransportColours(int list);
// The bare position bar.
void ResetTimeDisplays();
// True while AudioThread has been started and has not ended. Any thread.
bool AudioThreadRuns();

// Asks the audio thread to end, waits for it (at most 4 s) and joins it; nothing when none was
// started. A thread that does not end by then (a read stuck in the file system) is detached: the
// program is ending. At every way out of the program.
void EndAudioThread();

// --- Seeking and going back (seek.cpp) ---------------------------------------------------------
//
// A seek stops the run (NowPlaying and the lists' place kept) and starts it again at the entry of the
// track heard, its stream positioned at the byte asked for; the pause toggle goes off, as after Next.
// Main thread.

// The bytes of the widest output frame of both channels (four bytes each, DSD_U32): every seek lands
// on a multiple of it, so that the output's frames hold the same bytes as when the track plays through.
constexpr int64_t OutputFrameBytes = 8;
// `bytes` rounded down to a whole output frame; 0 for a negative count.
int64_t FrameAlignedOffset(int64_t bytes);
// The entry before `place` in the order the lists play: the one above it, past the top of List 2 the
// last of List 1 (holding list1_size entries); the first entry of the lists has none and gives itself.
EntryPlace PlaceBefore(EntryPlace place, size_t list1_size);
// Positions StreamHandle, just opened, at `offset` (rounded down to a whole frame) and NowPlaying's
// played count with it. False, and nothing moved, for offset 0, past the stream's end or without a
// stream. From StartPlayback, before the audio thread starts.
bool PositionStreamHeard(int64_t offset);
// Plays the track heard from byte `offset` on (rounded down to a whole frame); at or past its end the
// next track plays, as after Next. False while idle, when the track's entry has left the lists, or
// when playback could not start again.
bool SeekTrackHeard(int64_t offset);
// SeekTrackHeard at the position heard plus `seconds` (negative: back; before the start: the start).
bool SeekBySeconds(int seconds);
// The byte offset of a position in microseconds at the run's rate, rounded down to a whole frame.
int64_t SeekOffsetOf(int64_t microseconds);
// Back to the start of the track heard once more than 3 s of it have played, else to the start of the
// entry before it (PlaceBefore). Nothing while idle.
void TransportPrevious();

// --- The audio thread and the output callback (thread.cpp) --------------------------------------

// The audio thread: fills A, then B, then the buffer AsioProc has just left, one chunk each (a run's
// first chunk in growing parts from about a second of sound, so that playback starts at once); when
// the lists are used up it waits for the last data to play and posts timer 119.
void AudioThread();
// Reads `bytes` (a multiple of 8, at most a chunk) into StagingBuffer, opening the following tracks
// where a stream ends inside them. Audio thread.
void RefillChunk(int64_t bytes);
// The output callback (a TavaProc): copies `length` bytes from the active buffer into `buffer`,
// moves to the other buffer when one is used up, counts the bytes played and moves NowPlaying at
// track ends. Returns the bytes written. Output thread; never blocks, allocates or logs.
uint32_t AsioProc(int input, uint32_t channel, void *buffer, uint32_t length, void *user);
// Copies length bytes. Any thread.
void CopyWords(const void *source, void *destination, size_t length);
