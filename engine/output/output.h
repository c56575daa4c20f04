// Engine naming: PascalCase types and procedures, snake_case fields and locals, g_ file state, k constants.
// The output host's insides, by concern:
//   choose.cpp   which DSD rate a rate is, how a device takes it (native DSD format or DoP, or converted to
//                PCM), which PCM names are sound devices for the user; pure decisions, no ALSA calls
//   convert.cpp  the program's byte-interleaved pair into the device's frames
//   pcm_filters.cpp  the converter's filters, designed at start in double: taps and the stage plan
//   pcm_convert.cpp  the DSD-to-PCM converter: filter stages, fades, volume, dither, the device's samples
//   devices.cpp  the device list (ALSA cards and configured PCMs)
//   pcm.cpp      opening, probing and setting up an ALSA PCM
//   thread.cpp   the output thread: calls the procedure, converts, writes, paces
//   host.cpp     the exported Tava_ASIO_* calls and the host's state
#ifndef TAVA_OUTPUT_H
#define TAVA_OUTPUT_H

#include "dsd_rates.h"
#include "tava.h"

#include <alsa/asoundlib.h>
#include <soxr.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tava {

// ---------------------------------------------------------------------------------------------------
// choose.cpp

// How a device takes DSD: natively in one of ALSA's DSD formats, or as DSD over PCM (DoP: two DSD bytes
// per channel and a marker byte in a 24-bit sample, carried in 32 bits).
enum class Packing : uint8_t {
    DsdU32Be, // 4 DSD bytes per channel and frame, oldest first in memory
    DsdU32Le, // 4 DSD bytes, oldest in the most significant byte of a little-endian word
    DsdU16Be,
    DsdU16Le,
    DsdU8,
    DopS32Le, // DoP in the top 3 bytes of a 32-bit little-endian sample
    DopS24Le, // DoP in the low 3 bytes of a 32-bit little-endian sample
    COUNT
};
inline constexpr size_t kPackingCount = static_cast<size_t>(Packing::COUNT);

// The order in which a device is asked: native formats from the widest container down, DoP last.
inline constexpr std::array<Packing, kPackingCount> kPackingOrder = {
    Packing::DsdU32Be, Packing::DsdU32Le, Packing::DsdU16Be, Packing::DsdU16Le,
    Packing::DsdU8,    Packing::DopS32Le, Packing::DopS24Le};

struct PackingInfo {
    uint32_t dsdBitsPerFrame; // DSD bits of one channel per device frame
    uint32_t containerBytes;  // bytes of one channel per device frame
    bool dop;
};

// Rows in the order of Packing.
inline constexpr std::array<PackingInfo, kPackingCount> kPackingInfo = {{
    {32, 4, false}, // DsdU32Be
    {32, 4, false}, // DsdU32Le
    {16, 2, false}, // DsdU16Be
    {16, 2, false}, // DsdU16Le
    {8, 1, false},  // DsdU8
    {16, 4, true},  // DopS32Le: 16 DSD bits of a channel in each 24-bit sample
    {16, 4, true},  // DopS24Le
}};

constexpr bool IsDop(Packing p) {
    return kPackingInfo[static_cast<size_t>(p)].dop;
}
constexpr uint32_t DsdBitsPerFrame(Packing p) {
    return kPackingInfo[static_cast<size_t>(p)].dsdBitsPerFrame;
}
constexpr uint32_t ContainerBytes(Packing p) {
    return kPackingInfo[static_cast<size_t>(p)].containerBytes;
}
// Bytes of the program's stereo pair per device frame.
constexpr uint32_t PairBytesPerFrame(Packing p) {
    return 2 * DsdBitsPerFrame(p) / 8;
}

int DsdRateIndex(double rate); // position in kDsdRates (dsd_rates.h), -1 when rate is none of them

// The smallest channel count >= minChannels at which the device takes packing p at exactly frameRate frames
// per second; 0 when it takes p at that rate at no such count.
using ProbeFn = std::function<uint32_t(Packing p, uint32_t frameRate, uint32_t minChannels)>;

struct Choice {
    Packing packing;
    uint32_t frameRate; // device frames per second
    uint32_t channels;  // device channels
};

// How the device takes dsdRate with at least minChannels channels: the first packing of kPackingOrder that it
// accepts. Nothing when the rate is not a DSD rate or the device takes it in no packing.
std::optional<Choice> ChooseLayout(double dsdRate, uint32_t minChannels, const ProbeFn &probe);

// True for PCM names offered to the user: not the hardware names (listed from the cards), not null, and
// not the per-card front ends that alsa.conf defines (plughw, dmix, front, surround...). The sound server's
// "default" and the PCMs of a user's configuration are offered.
bool IsDevicePcmName(std::string_view name);

// True when driver names a card ("hw:2,0", "hw:CARD=DAC,DEV=0") that is a USB audio card, known by
// procRoot + "asound/cardN/usbid" existing (procRoot is "/proc/" on a real system). DoP goes only there:
// a DAC that does not decode it would play the marker bytes as loud noise.
bool IsUsbAudioCard(const std::string &driver, const std::string &procRoot);

// The PCM sample formats the converter writes, the first the device takes winning.
enum class PcmFormat : uint8_t { S32Le, S24_3Le, S24Le, COUNT };
inline constexpr size_t kPcmFormatCount = static_cast<size_t>(PcmFormat::COUNT);
constexpr uint32_t PcmSampleBytes(PcmFormat f) {
    return f == PcmFormat::S24_3Le ? 3 : 4;
}

// The converter's base rate for a DSD rate: 88.2 kHz for the 44.1 kHz family, 96 kHz for the 48 kHz one. The
// steep low-pass runs there.
constexpr uint32_t PcmBaseRate(uint32_t dsdRate) {
    return dsdRate % 44100 == 0 ? 88200 : 96000;
}

// The converter's rate for dsdRate on a device: the highest of 4, 2 or 1 times the base rate that the device
// takes (352.8, 176.4 or 88.2 kHz for the 44.1 kHz family); else the first of the other family's rates, 48 or
// 44.1 kHz that it takes, reached through a resampler. takes(rate) answers for the device.
struct PcmRateChoice {
    uint32_t rate;  // device frames per second
    bool resampled; // not a whole fraction of the DSD rate
};
std::optional<PcmRateChoice> ChoosePcmRate(double dsdRate, const std::function<bool(uint32_t rate)> &takes);

// ---------------------------------------------------------------------------------------------------
// convert.cpp

inline constexpr uint8_t kDsdSilence = 0x69; // DSD idle pattern: equal ones and zeros, no DC
inline constexpr uint8_t kDopMarkerA = 0x05; // DoP markers, alternating from frame to frame
inline constexpr uint8_t kDopMarkerB = 0xFA;

struct Layout {
    Packing packing;
    uint32_t channels;    // device channels
    uint32_t pairChannel; // the device channel that takes the pair's left channel; right is the next
};

// Converts frames device frames' worth of the pair (byte-interleaved left, right; oldest bit in each byte's
// most significant bit) into out, which holds frames * channels * ContainerBytes bytes. Channels outside the
// pair carry silence. For DoP, marker is the marker of the next frame and is carried over from call to call,
// so the alternation runs on across periods.
void ConvertPair(const Layout &layout, const uint8_t *pair, uint8_t *out, uint32_t frames, uint8_t &marker);

// ---------------------------------------------------------------------------------------------------
// pcm_filters.cpp

// One FIR stage of the converter, by kind: the first stage takes the DSD bits (8 to 1), half-band stages
// halve or double the rate, the low-pass keeps it.
enum class StageKind : uint8_t { FromBits, Halve, LowPass, Double };

struct PcmStage {
    StageKind kind;
    double inRate;            // samples per second going in (bits per second for FromBits)
    std::vector<double> taps; // the whole impulse response, symmetric, DC gain 1
};

// The stages from DSD bits at dsdRate down to the base rate (PcmBaseRate) and its steep low-pass
// (20 kHz flat, 30 kHz stopped; scaled for the 48 kHz family), then up to outRate (base, twice or four
// times it). Empty when outRate is none of these.
std::vector<PcmStage> PlanPcmStages(uint32_t dsdRate, uint32_t outRate);

// A Kaiser-windowed sinc low-pass of odd length n at cutoff (a fraction of the sample rate), DC gain 1.
std::vector<double> KaiserLowPass(size_t n, double cutoff, double attenuationDb);

// ---------------------------------------------------------------------------------------------------
// pcm_convert.cpp

struct PcmSetup {
    uint32_t dsdRate;    // one of kDsdRates
    uint32_t deviceRate; // device frames per second
    bool resampled;      // deviceRate is reached through the resampler from the base rate
    PcmFormat format;
    uint32_t bits;         // significant bits of the device's sample (dither goes there)
    uint32_t channels;     // device channels
    uint32_t pairChannel;  // the device channel of the pair's left channel
    uint32_t maxPairBytes; // the most pair bytes one call converts
};

// The converter's whole state. Built on the main thread (tables and buffers), used by one thread at a time.
struct PcmConverter;

// Null when the setup is impossible (why says what) or memory runs out.
PcmConverter *PcmCreate(const PcmSetup &setup, std::string &why);
void PcmDestroy(PcmConverter *c);
// Back to the state after PcmCreate: filters empty, full gain, the dither's sequence from its start. Same
// input after a reset, same bytes out.
void PcmReset(PcmConverter *c);
// Pair bytes per converter step (one frame at the base rate; 8 for DSD64, 64 for DSD512): bytes given to
// PcmConvert are a multiple.
uint32_t PcmPairBytesPerStep(const PcmConverter *c);
// The most device frames one call with maxPairBytes can give.
uint32_t PcmMaxFrames(const PcmConverter *c);
// Output thread (or a test). Converts bytes of the pair (a multiple of PcmPairBytesPerStep, at most
// maxPairBytes) into device frames in out; returns the frames written. silent: the bytes are no music
// (paused, no procedure); the output fades out over the held-back tail and fades in again after. gain: the
// volume in [0, 1], reached by the end of this call. Silence (0x69) converts to exact zero samples.
uint32_t PcmConvert(PcmConverter *c, const uint8_t *pair, uint32_t bytes, bool silent, double gain,
                    uint8_t *out);
// As PcmConvert with gain 1, but stops before the resampler, dither and the device's layout: stereo
// interleaved doubles at the base-rate stages' output rate. For measuring the converter's own error.
uint32_t PcmConvertToDouble(PcmConverter *c, const uint8_t *pair, uint32_t bytes, double *out);

// ---------------------------------------------------------------------------------------------------
// devices.cpp

struct Device {
    const char *name;   // shown to the user; valid while the library is loaded
    const char *driver; // the ALSA PCM name; valid while the library is loaded
};

// Main thread. The cards' playback PCMs, then the configured PCMs that describe themselves and are outputs.
std::vector<Device> ListDevices();

// ---------------------------------------------------------------------------------------------------
// pcm.cpp

snd_pcm_format_t AlsaFormat(Packing p);

// "snd_pcm_hw_params failed on hw:2,0: Device or resource busy"
std::string DescribeError(const char *what, const std::string &driver, int err);

snd_pcm_format_t AlsaPcmFormat(PcmFormat f);

// Opens driver for playback without waiting for a busy device, then makes writes blocking. Returns null with
// why set on failure. converts: set to whether the PCM converts or mixes samples (plug, dmix, the sound
// servers): such a PCM is only ever used for converted PCM, never for DSD.
snd_pcm_t *OpenPcm(const std::string &driver, bool &converts, std::string &why);

// As ProbeFn, against the device; also for PCM formats (format given directly).
uint32_t ProbeChannels(snd_pcm_t *pcm, snd_pcm_format_t format, uint32_t rate, uint32_t minChannels);

// The most channels the device takes in any set-up (at least 2).
uint32_t MaxChannels(snd_pcm_t *pcm);

// Everything the output thread needs, fixed from start to stop.
struct Stream {
    snd_pcm_t *pcm = nullptr;
    Layout layout{};
    uint32_t frameRate = 0;    // device frames per second
    uint32_t periodFrames = 0; // frames per write and per call of the procedure
    uint32_t bufferFrames = 0; // device buffer
    bool neverBlocks = false;  // known from the start not to block (the null plugin): paced by the clock
    uint32_t procChannel = 0;  // the channel number the procedure is called with
    PcmConverter *pcmConverter = nullptr; // set on the PCM path; owned by the host
    uint32_t pcmSteps = 0;                // PCM path: converter steps per period (PcmPairBytesPerStep each)
    uint32_t pcmFrameBytes = 0;           // PCM path: bytes of a device frame
};

// Sets the device up for choice (exact rate, no resampling, interleaved writes, period near periodMs, a
// buffer of about four periods) and prepares it; fills stream. False with why set on failure.
bool ConfigurePcm(snd_pcm_t *pcm, const std::string &driver, const Choice &choice, uint32_t periodMs,
                  Stream &stream, std::string &why);

// How the device takes PCM for the converter: rate, format and channels; nothing when it takes no rate of
// ChoosePcmRate in a format of PcmFormat at minChannels or more.
struct PcmChoice {
    PcmRateChoice rate;
    PcmFormat format;
    uint32_t channels;
    uint32_t bits; // significant bits of a sample
};
std::optional<PcmChoice> ProbePcm(snd_pcm_t *pcm, double dsdRate, uint32_t minChannels);

// As ConfigurePcm for the converter's output; bits gets the significant bits of the device's samples.
bool ConfigurePcmOutput(snd_pcm_t *pcm, const std::string &driver, const PcmChoice &choice, uint32_t periodMs,
                        Stream &stream, uint32_t &bits, std::string &why);

// ---------------------------------------------------------------------------------------------------
// thread.cpp

// Main thread, while stopped. The procedure the next start calls; null for silence.
void OutputSetProc(TavaProc proc, void *user);
// Any thread but the output thread. Once it returns, the procedure is not called any more (a call in flight
// has returned).
void OutputClearProc();
// Any thread but the output thread. Pausing: silence and no calls; once it returns no call is in flight.
void OutputSetPaused(bool paused);
// Main thread. Allocates the period buffers and starts the output thread. False with why set on failure.
bool OutputStart(const Stream &stream, std::string &why);
// Main thread, any time. The volume the PCM path applies from its next period on.
void OutputSetVolume(double gain);
// Main thread. Ends the output thread and waits for it; on the PCM path the output first fades out and
// plays what the device holds. Returns the ALSA error that had ended it early, 0 if none.
int OutputStop();
// True on the output thread (the procedure runs there).
bool OnOutputThread();

} // namespace tava

#endif
