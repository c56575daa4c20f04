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
// opened (ReserveSoundCard of platform/gui.h, for the card of its hardware PCM name; nothing for
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
// False when the device could not be opened. Linux: the device's card is reserved from the desktop's
// sound server for the probe and given back after it (ReserveDeviceCard). With `pair` 0 or more, a
// device without the stereo pair of channels pair and pair + 1 reads as taking no rate at all. While
// the device window fills and during the saved-device check.
bool ProbeDsdRates(int n, std::array<uint8_t, 4> &dsd, int pair = -1);
// Output device n as a row of the device window: its number, its name as the output library lists
// it and the rates ProbeDsdRates finds; busy_note is DeviceBusyNote when the device could not be
// opened ("  (busy: pipewire, pid 1234)"), else empty. False past the last device the library
// reports and from MaxDevices on (library/settings.h). While the device window fills, one device
// after the other.
bool ListOutputDevice(int n, DeviceRecord &row, std::string &busy_note);
// Whether the device saved in "lp.is" is present and still plays DSD 2.8, 5.6 and 11.3 MHz exactly
// as saved (22.6 MHz is not compared). Looks through devices 0 to 11 for one named SavedDeviceName,
// probes it and, when it matches, sets DeviceCaps and OutputDevice. Saved values the program never
// writes do not fit any device: a rate flag or option outside its range (SavedValuesInRange), a
// device without DSD 2.8 MHz, or a channel pair the device does not have. Under the splash.
bool CheckSavedDevice();
// Initialises the core (44.1 kHz, no device of its own) and opens output device OutputDevice in DSD
// mode; Linux: its card is reserved from the desktop's sound server first, for the whole run. False
// when the device cannot be opened or refuses DSD: the program must end (AbandonOutput). At the start
// of the event loop.
bool OpenOutput();
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

// Bytes asked of the decoder per refill: ProgramChunkSize in the program. Tests lower it to see many
// buffer switches in a short run (at most PlayBufferSize, a multiple of 8). Written by the main thread
// while no audio thread runs; read by the audio thread.
extern int64_t ChunkSize;

// The four buffers, reserved once by ReservePlaybackMemory and kept until the process ends: address
// space only (MAP_NORESERVE); a page takes memory when it is first written. Null before the
// reservation. The contents are handed between the threads as AudioThread and AsioProc describe.
extern uint8_t *StagingBuffer; // PlayBufferSize: the decoder's chunk, audio thread only
extern uint8_t *BufferA;       // PlayBufferSize: written by the audio thread, read by AsioProc
extern uint8_t *BufferB;       // PlayBufferSize: likewise
extern uint8_t *SpareBuffer;   // SpareBufferSize

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
// at start-up by the program (view/'s TurntableDisplay) when the main window stands. A null table
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
};
extern const PlaybackDisplay *Display; // main thread, before any audio thread; read by all

// --- The run's rate and the list selection (tracks.cpp) ---------------------------------------
//
// The chosen device (DeviceCaps, OutputDevice, OutputChannel) and the cover options (ViewCover,
// CoverTrack) are the saved state of library/settings.h.

// The selected entry of each list (0-based), where playback starts from idle. Written by the list
// panel; main thread.
extern int32_t SelectedIndex1;
extern int32_t SelectedIndex2;

// The run's rate: set by the first track accepted since both lists were last emptied; the list
// commands reset both to 0 when both lists become empty. Main thread.
extern int32_t SessionDsdRate;
extern int32_t OutputFrequency; // that track's frequency attribute (DSD rate / 32)

// --- Player state (tracks.cpp, transport.cpp, thread.cpp) ---------------------------------------
//
// Written by the main thread while no audio thread runs, else as each comment says.

// 0 idle, 1 List 1, 2 List 2, -1 both lists used up. Main thread; the audio thread when it opens the
// following track. Read by both and by the view refresh.
extern std::atomic<int8_t> PlayingList;
// 0-based index of the next entry to open in PlayingList. Written like PlayingList.
extern std::atomic<int32_t> NextIndex;
// The decoding stream being read, 0 for none. Written like PlayingList.
extern std::atomic<uint32_t> StreamHandle;
// 0 idle, 1 feeding (the decoder still delivers), 2 draining (the last data is read). Main thread;
// the audio thread sets 2.
extern std::atomic<int64_t> PlayState;
// OutputFrequency while the output is set up, else 0; the audio thread fills buffers only while it
// is above 0. Main thread.
extern std::atomic<int64_t> RunningFrequency;
// The DSD rates a device is tested for, in this order: 2.8, 5.6, 11.3 and 22.6 MHz. DeviceCaps.Dsd
// has one flag per rate, in the same order.
inline constexpr double DsdRates[4] = {2'822'400.0, 5'644'800.0, 11'289'600.0, 22'579'200.0};
// The DSD rate the output runs at, 0 when stopped; track opens refuse other rates. Main thread.
extern std::atomic<float> OutputDsdRate;
// Bytes of the last chunk handed to buffer A or B; 0 until the first hand-over. Audio thread.
extern std::atomic<int64_t> HandedBytes;
// 1 once AsioProc found the other buffer not ready; stays 1 until playback stops or starts again.
// AsioProc sets it; the main and audio threads read it.
extern std::atomic<int64_t> OutputDry;
// 1 asks the audio thread to end. Main thread.
extern std::atomic<int64_t> StopThread;

// The buffers' state. Fill: valid bytes, written by the audio thread. Read: the callback's read
// position, written by AsioProc (and set to 0 by the audio thread before a refilled buffer's fill
// level is stored). A buffer is ready when Read is 0 and Fill is above 0, used up when Read has
// reached Fill.
extern std::atomic<int64_t> FillA, ReadA, FillB, ReadB;
constexpr int64_t ActiveA = 6, ActiveB = 8;
// The buffer AsioProc reads: ActiveA or ActiveB (0 before the first start). AsioProc writes it while
// the output runs, the main thread before the output starts.
extern std::atomic<int64_t> ActiveBuffer;
// 1: the next chunk goes to A, 2: to B. Audio thread; the main thread resets it.
extern std::atomic<int64_t> FillTarget;
// Set to 1 by AsioProc when it moves to the other buffer; the audio thread clears it.
extern std::atomic<int64_t> BufferSwitched;

// Released by every AsioProc call; a track open waits on it once before it queues the track. Count 0
// at start-up; it exists before any thread.
extern Semaphore TickSemaphore;

// The view refresh's last shown track (its TrackId); 0 makes the next refresh count as a track
// change. Main thread; StopPlayback resets it.
extern int64_t ShownTrackId;

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

// Any thread that is not AsioProc (the view refresh every 200 ms, FindResumeIndex). The record and
// the played count are taken together, so the texts are never torn and the count belongs to them.
NowPlayingInfo TakeNowPlaying();
// The played count alone. Any thread.
int64_t NowPlayingPlayed();
// Writes a record into NowPlaying, played 0. Main thread, while AsioProc is not called.
void SetNowPlaying(const TrackRecord &track);
// NowPlaying with nothing in it. Main thread, while AsioProc is not called.
void EmptyNowPlaying();
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

// Opens the file briefly to decide whether it plays here and fills TrackInfo (library.h) from it.
// False when refused: not DSF/DFF or not readable as one (with "Error of the file" box), a rate the
// device does not reach ("Sample rate is too high." box), or a rate other than SessionDsdRate
// (silently). The first track accepted sets SessionDsdRate, OutputFrequency and the rate label.
bool ProbeTrack(const std::string &path, const std::string &extension);
// True when the file opens for reading and one byte can be read. Any thread.
bool FileReadable(const std::string &path);
// Opens entry `index` of List `list` (1 or 2) as StreamHandle and announces it: to TrackQueue while
// the audio thread runs, else as NowPlaying. Without a stream (file gone, a rate other than the
// output's, the engine refusing it 17 times) NextIndex is unchanged. Main or audio thread.
void OpenTrackAt(int list, int index);
// Opens the track that follows in the lists (List 1, then List 2), or marks them used up
// (PlayingList -1). Main or audio thread.
void OpenNextTrack();
// NextIndex just past the entry of the track heard (0 when it is in the other list, or gone).
void FindResumeIndex();
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

// Sets up the output and starts from the next track (resume: after the track heard). True when the
// output runs; false when nothing could be played (the reason was shown) and the player is idle.
bool StartPlayback(bool resume);
// Stops the audio thread, the output and the stream. keep: NowPlaying and NextIndex stay.
void StopPlayback(bool keep);
// Run on timer 119: ends playback once everything buffered has played.
void FinishPlayback();
// The transport commands of the event loop: Play (P, the Play text), the pause toggle (Space runs
// it with space_key set, which starts playback from idle; the Pause text does nothing while idle),
// Next (N), Stop (S).
void TransportPlay();
void TransportPause(bool space_key);
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

// Waits without limit for the audio thread to end and joins it; nothing when none was started. At
// every way out of the program, so that no thread outlives it.
void EndAudioThread();

// --- The audio thread and the output callback (thread.cpp) --------------------------------------

// The audio thread: fills A, then B, then the buffer AsioProc has just left, one chunk each; when the
// lists are used up it waits for the last data to play and posts timer 119.
void AudioThread();
// Reads one chunk into StagingBuffer, opening the following tracks where a stream ends inside it.
// Audio thread.
void RefillChunk();
// The output callback (a TavaProc): copies `length` bytes from the active buffer into `buffer`,
// moves to the other buffer when one is used up, counts the bytes played and moves NowPlaying at
// track ends. Returns the bytes written. Output thread; never blocks, allocates or logs.
uint32_t AsioProc(int input, uint32_t channel, void *buffer, uint32_t length, void *user);
// Copies length bytes. Any thread.
void CopyWords(const void *source, void *destination, size_t length);
