// The exported Tava_ASIO_* calls: device list, opening, DSD mode and rates, the channel pair, start and stop.
//
// The program calls these from its main thread, and at shutdown from its audio thread while the main thread
// waits; g_api serialises them all the same. The output thread runs the program's procedure, which must not
// call the functions that take g_api: the main thread may hold it while waiting for that very procedure to
// return. They refuse to run there (code 20); IsStarted, GetRate, ErrorGetCode and the constant ones work.
#include "output.h"
#include "tavo.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#define TAVA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace tava;

constexpr uint32_t kVersion = 0x01000000; // 1.0.0.0
constexpr uint32_t kMaxChannels = 64;     // the most device channels the host drives
constexpr uint32_t kDefaultPeriodMs = 20;
constexpr uint32_t kMinPeriodMs = 5, kMaxPeriodMs = 100;
constexpr uint32_t kResampledPeriodMs = 20; // the shortest period through the resampler

// --- written and read by the calling thread under g_api; the output thread reads none of it
std::mutex g_api;
std::vector<Device> g_devices; // the list as last enumerated; device numbers are positions in it
bool g_listed = false;         // g_devices has been enumerated
snd_pcm_t *g_pcm = nullptr;    // the open device; null while not initialised
std::string g_driver;          // its ALSA name
uint32_t g_maxChannels = 2;    // the most channels it takes
bool g_dsd = false;            // DSD mode
bool g_converts = false;       // the device converts or mixes (plug, the sound server): PCM only
bool g_usb = false;            // the device is on a USB audio card: DoP is safe

// How the device takes a DSD rate, at 2 channels: natively, by DoP, or converted to PCM.
struct Way {
    uint32_t path = TAVA_PATH_NONE;
    std::optional<Choice> dsd;    // TAVA_PATH_NATIVE, TAVA_PATH_DOP
    std::optional<PcmChoice> pcm; // TAVA_PATH_PCM
};
std::array<std::optional<Way>, kDsdRates.size()> g_ways; // per DSD rate, found when first asked
double g_volume = 1.0;                                   // the PCM path's volume
PcmConverter *g_converter = nullptr;                     // the running output's, PCM path
int g_enabled = -1;      // the enabled channel: the pair's left channel; -1 none
int g_joinedTo = -1;     // the channel that the next channel is joined to; -1 none
std::string g_errorText; // why the last failing call failed, for developers

// --- written under g_api, read without it (also from the procedure)
std::atomic<bool> g_open{false};    // g_pcm is set
std::atomic<bool> g_started{false}; // between a successful Start and Stop
std::atomic<double> g_rate{0.0};    // the rate set

// --- per calling thread: the code of its last call
thread_local int t_error = TAVO_OK;

int Ok() {
    t_error = TAVO_OK;
    return 1;
}

int Fail(int code) {
    t_error = code;
    return 0;
}

// Keeps what went wrong, with context, for developers: the interface reports only the numbers. With
// GS_TAVA_LOG set in the environment the text also goes to stderr (from the calling thread, never the output
// thread).
void Note(std::string text) {
    g_errorText = std::move(text);
    static const bool log = std::getenv("GS_TAVA_LOG") != nullptr;
    if (log) std::fprintf(stderr, "tava: %s\n", g_errorText.c_str());
}

int Fail(int code, std::string text) {
    Note(std::move(text));
    return Fail(code);
}

// The pair that flags and channel numbers of Pause and Reset refer to: -1 means all, else the enabled channel
// or the one joined to it.
bool IsPairChannel(int channel) {
    return channel == -1 || (g_enabled >= 0 && (channel == g_enabled || channel == g_enabled + 1));
}

// DSD goes only where nothing converts it on the way; DoP only to USB audio cards, the DACs that decode it.
uint32_t ProbeDsd(Packing p, uint32_t frameRate, uint32_t minChannels) {
    if (g_converts || (IsDop(p) && !g_usb)) return 0;
    return ProbeChannels(g_pcm, AlsaFormat(p), frameRate, minChannels);
}

// The device's way for DSD rate number i. The device is ours alone while open, so it does not change until
// Free.
const Way &WayFor(size_t i) {
    if (!g_ways[i]) {
        Way w;
        if ((w.dsd = ChooseLayout(kDsdRates[i], 2, ProbeDsd)))
            w.path = IsDop(w.dsd->packing) ? TAVA_PATH_DOP : TAVA_PATH_NATIVE;
        else if ((w.pcm = ProbePcm(g_pcm, kDsdRates[i], 2)))
            w.path = TAVA_PATH_PCM;
        g_ways[i] = w;
    }
    return *g_ways[i];
}

// The volume applies where the set rate goes by PCM; before a rate is set, where any does.
bool OnPcmPath() {
    const int i = DsdRateIndex(g_rate.load(std::memory_order_relaxed));
    if (g_dsd && i >= 0) return WayFor(static_cast<size_t>(i)).path == TAVA_PATH_PCM;
    for (size_t r = 0; r < kDsdRates.size(); ++r)
        if (WayFor(r).path == TAVA_PATH_PCM) return true;
    return false;
}

// Whether the open device takes rate in the current mode. DSD rates were probed by SetDSD; PCM rates are
// probed now, as 32-bit samples (the program never plays PCM, it only asks).
bool RateSupported(double rate) {
    if (g_dsd) {
        const int i = DsdRateIndex(rate);
        return i >= 0 && WayFor(static_cast<size_t>(i)).path != TAVA_PATH_NONE;
    }
    return rate >= 1 && rate <= 4e6 && rate == std::floor(rate) &&
           ProbeChannels(g_pcm, SND_PCM_FORMAT_S32_LE, static_cast<uint32_t>(rate), 2) != 0;
}

void StopOutput() {
    if (int err = OutputStop(); err < 0)
        Note(DescribeError("the output thread ended early: snd_pcm_writei", g_driver, err));
    snd_pcm_drop(g_pcm);
    PcmDestroy(g_converter);
    g_converter = nullptr;
    g_started.store(false, std::memory_order_release);
}

// Start on the PCM path: the device set up for the converter's rate and format, and a converter for it.
int StartPcm(double rate, uint32_t pairChannel, uint32_t periodMs) {
    const std::optional<PcmChoice> choice = ProbePcm(g_pcm, rate, pairChannel + 2);
    if (!choice || choice->channels > kMaxChannels)
        return Fail(TAVO_ERROR_SPEAKER, g_driver + " takes no PCM for DSD at " + std::to_string(rate) +
                                            " Hz on channels " + std::to_string(pairChannel) + "-" +
                                            std::to_string(pairChannel + 1));
    Stream stream;
    stream.layout = {Packing::DsdU8, choice->channels, pairChannel}; // unused on this path
    stream.procChannel = pairChannel;
    std::string why;
    uint32_t bits = 0;
    // The resampler gives its output in blocks of about 15 ms: longer periods keep the device's buffer
    // (four periods) well ahead of them.
    if (choice->rate.resampled) periodMs = std::max(periodMs, kResampledPeriodMs);
    if (!ConfigurePcmOutput(g_pcm, g_driver, *choice, periodMs, stream, bits, why))
        return Fail(TAVO_ERROR_DRIVER, why);
    const double base = PcmBaseRate(static_cast<uint32_t>(rate));
    // Converter steps (base-rate frames) per period: the device's period, in the base rate.
    const uint32_t steps =
        choice->rate.resampled
            ? static_cast<uint32_t>(std::lround(stream.periodFrames * base / stream.frameRate))
            : stream.periodFrames / (stream.frameRate / static_cast<uint32_t>(base));
    const PcmSetup setup{static_cast<uint32_t>(rate),
                         choice->rate.rate,
                         choice->rate.resampled,
                         choice->format,
                         bits,
                         choice->channels,
                         pairChannel,
                         std::max(steps, 1u) *
                             (2 * static_cast<uint32_t>(rate) / 8 / static_cast<uint32_t>(base))};
    g_converter = PcmCreate(setup, why);
    if (!g_converter) {
        snd_pcm_drop(g_pcm);
        return Fail(TAVO_ERROR_MEM, why);
    }
    stream.pcmConverter = g_converter;
    stream.pcmSteps = setup.maxPairBytes / PcmPairBytesPerStep(g_converter);
    stream.pcmFrameBytes = choice->channels * PcmSampleBytes(choice->format);
    OutputSetVolume(g_volume);
    if (!OutputStart(stream, why)) {
        snd_pcm_drop(g_pcm);
        PcmDestroy(g_converter);
        g_converter = nullptr;
        return Fail(TAVO_ERROR_MEM, why);
    }
    g_started.store(true, std::memory_order_release);
    return Ok();
}

} // namespace

TAVA_EXPORT int Tava_ASIO_GetDeviceInfo(uint32_t device, TavaDeviceInfo *info) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    // The list is taken afresh when the program starts asking from the first device.
    if (device == 0 || !g_listed) {
        g_devices = ListDevices();
        g_listed = true;
    }
    if (device >= g_devices.size()) return Fail(TAVO_ERROR_DEVICE);
    if (!info) return Fail(TAVO_ERROR_ILLPARAM);
    info->name = g_devices[device].name;
    info->driver = g_devices[device].driver;
    return Ok();
}

// flags: the program passes 0 to probe a device and 1 to play; both open it the same way.
TAVA_EXPORT int Tava_ASIO_Init(int device, uint32_t /*flags*/) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    if (g_pcm) return Fail(TAVO_ERROR_ALREADY);
    if (!g_listed) {
        g_devices = ListDevices();
        g_listed = true;
    }
    if (device < 0 || static_cast<size_t>(device) >= g_devices.size()) return Fail(TAVO_ERROR_DEVICE);
    const std::string driver = g_devices[static_cast<size_t>(device)].driver;
    std::string why;
    // Busy (held by another program) or gone: no free/valid driver.
    bool converts = false;
    snd_pcm_t *pcm = OpenPcm(driver, converts, why);
    if (!pcm) return Fail(TAVO_ERROR_DRIVER, why);
    g_pcm = pcm;
    g_driver = driver;
    g_converts = converts;
    g_usb = IsUsbAudioCard(driver, "/proc/");
    g_maxChannels = std::min(MaxChannels(pcm), kMaxChannels);
    g_dsd = false;
    g_ways = {};
    g_volume = 1.0;
    OutputSetVolume(1.0);
    g_rate.store(0.0, std::memory_order_relaxed);
    g_enabled = g_joinedTo = -1;
    OutputSetProc(nullptr, nullptr);
    OutputSetPaused(false);
    g_open.store(true, std::memory_order_release);
    return Ok();
}

TAVA_EXPORT int Tava_ASIO_Free(void) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    if (!g_pcm) return Fail(TAVO_ERROR_INIT);
    if (g_started.load(std::memory_order_relaxed)) StopOutput();
    OutputSetProc(nullptr, nullptr);
    OutputSetPaused(false);
    snd_pcm_close(g_pcm);
    g_pcm = nullptr;
    g_open.store(false, std::memory_order_release);
    g_driver.clear();
    g_dsd = false;
    g_enabled = g_joinedTo = -1;
    g_rate.store(0.0, std::memory_order_relaxed);
    g_volume = 1.0;
    OutputSetVolume(1.0);
    return Ok();
}

TAVA_EXPORT int Tava_ASIO_SetUnicode(int /*unicode*/) {
    return Ok();
} // texts are UTF-8 either way

TAVA_EXPORT int Tava_ASIO_SetDSD(int dsd) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    if (!g_pcm) return Fail(TAVO_ERROR_INIT);
    if ((dsd != 0) == g_dsd) return Ok();
    if (g_started.load(std::memory_order_relaxed)) return Fail(TAVO_ERROR_START);
    if (!dsd) {
        g_dsd = false;
        return Ok();
    }
    bool any = false;
    for (size_t i = 0; i < kDsdRates.size(); ++i) any = WayFor(i).path != TAVA_PATH_NONE || any;
    if (!any)
        return Fail(TAVO_ERROR_FORMAT, g_driver + " takes DSD at no rate, natively, over PCM or as PCM");
    g_dsd = true;
    return Ok();
}

TAVA_EXPORT int Tava_ASIO_CheckRate(double rate) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    if (!g_pcm) return Fail(TAVO_ERROR_INIT);
    return RateSupported(rate) ? Ok() : Fail(TAVO_ERROR_SPEAKER);
}

TAVA_EXPORT int Tava_ASIO_SetRate(double rate) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    if (!g_pcm) return Fail(TAVO_ERROR_INIT);
    if (rate == g_rate.load(std::memory_order_relaxed)) return Ok();
    // The running output keeps its rate; a new one takes a stop and a start.
    if (g_started.load(std::memory_order_relaxed)) return Fail(TAVO_ERROR_START);
    if (!RateSupported(rate)) return Fail(TAVO_ERROR_SPEAKER);
    g_rate.store(rate, std::memory_order_relaxed);
    return Ok();
}

TAVA_EXPORT double Tava_ASIO_GetRate(void) {
    if (!g_open.load(std::memory_order_acquire)) {
        Fail(TAVO_ERROR_INIT);
        return 0.0;
    }
    Ok();
    return g_rate.load(std::memory_order_relaxed);
}

TAVA_EXPORT int Tava_ASIO_ChannelEnable(int input, uint32_t channel, TavaProc proc, void *user) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    if (!g_pcm) return Fail(TAVO_ERROR_INIT);
    if (input != 0 || g_maxChannels < 2 || channel > g_maxChannels - 2)
        return Fail(TAVO_ERROR_ILLPARAM); // the pair must fit
    // The pair's place in the device frame is fixed from start to stop.
    if (g_started.load(std::memory_order_relaxed)) return Fail(TAVO_ERROR_START);
    if (!proc) {
        if (static_cast<int>(channel) == g_enabled) {
            g_enabled = -1;
            OutputSetProc(nullptr, nullptr);
            OutputSetPaused(false);
        }
        return Ok();
    }
    // One pair is served; enabling a channel makes it that pair's left channel, not paused.
    g_enabled = static_cast<int>(channel);
    OutputSetProc(proc, user);
    OutputSetPaused(false);
    return Ok();
}

TAVA_EXPORT int Tava_ASIO_ChannelJoin(int input, uint32_t channel, int channel2) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    if (!g_pcm) return Fail(TAVO_ERROR_INIT);
    if (input != 0 || channel >= g_maxChannels) return Fail(TAVO_ERROR_ILLPARAM);
    if (g_started.load(std::memory_order_relaxed)) return Fail(TAVO_ERROR_START);
    if (channel2 == -1) {
        if (g_joinedTo >= 0 && channel == static_cast<uint32_t>(g_joinedTo) + 1) g_joinedTo = -1;
        return Ok();
    }
    // Only the stereo pair of neighbouring channels is served: channel + 1 joined to channel.
    if (channel2 < 0 || channel != static_cast<uint32_t>(channel2) + 1) return Fail(TAVO_ERROR_ILLPARAM);
    g_joinedTo = channel2;
    return Ok();
}

TAVA_EXPORT int Tava_ASIO_ChannelSetFormat(int input, uint32_t channel, uint32_t format) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    if (!g_pcm) return Fail(TAVO_ERROR_INIT);
    if (input != 0 || channel >= g_maxChannels) return Fail(TAVO_ERROR_ILLPARAM);
    // Byte-interleaved DSD, most significant bit first, is what the output thread converts from; there is no
    // other.
    return format == TAVA_FORMAT_DSD_MSB ? Ok() : Fail(TAVO_ERROR_FORMAT);
}

TAVA_EXPORT int Tava_ASIO_Start(uint32_t buflen, uint32_t /*threads*/) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    if (!g_pcm) return Fail(TAVO_ERROR_INIT);
    if (g_started.load(std::memory_order_relaxed)) return Fail(TAVO_ERROR_START);
    if (g_enabled < 0) return Fail(TAVO_ERROR_NOCHAN);
    if (g_joinedTo != g_enabled)
        return Fail(TAVO_ERROR_ILLPARAM, "the enabled channel has no joined partner");
    if (!g_dsd) return Fail(TAVO_ERROR_FORMAT, "start without DSD mode: there is no PCM output");
    const double rate = g_rate.load(std::memory_order_relaxed);
    // The pair may sit above the first two channels, which takes a device frame of more channels.
    const auto pairChannel = static_cast<uint32_t>(g_enabled);
    const uint32_t periodMs = buflen ? std::clamp(buflen, kMinPeriodMs, kMaxPeriodMs) : kDefaultPeriodMs;
    const int index = DsdRateIndex(rate);
    if (index >= 0 && WayFor(static_cast<size_t>(index)).path == TAVA_PATH_PCM)
        return StartPcm(rate, pairChannel, periodMs);
    const std::optional<Choice> choice = ChooseLayout(rate, pairChannel + 2, ProbeDsd);
    if (!choice || choice->channels > kMaxChannels)
        return Fail(TAVO_ERROR_SPEAKER, g_driver + " takes no DSD at " + std::to_string(rate) +
                                            " Hz on channels " + std::to_string(pairChannel) + "-" +
                                            std::to_string(pairChannel + 1));

    Stream stream;
    stream.layout = {choice->packing, choice->channels, pairChannel};
    stream.procChannel = pairChannel;
    std::string why;
    if (!ConfigurePcm(g_pcm, g_driver, *choice, periodMs, stream, why)) return Fail(TAVO_ERROR_DRIVER, why);
    if (!OutputStart(stream, why)) {
        snd_pcm_drop(g_pcm);
        return Fail(TAVO_ERROR_MEM, why);
    }
    g_started.store(true, std::memory_order_release);
    return Ok();
}

TAVA_EXPORT int Tava_ASIO_Stop(void) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    if (!g_pcm) return Fail(TAVO_ERROR_INIT);
    if (!g_started.load(std::memory_order_relaxed)) return Fail(TAVO_ERROR_START);
    StopOutput();
    return Ok();
}

TAVA_EXPORT int Tava_ASIO_IsStarted(void) {
    if (!g_open.load(std::memory_order_acquire)) return Fail(TAVO_ERROR_INIT);
    Ok();
    return g_started.load(std::memory_order_acquire) ? 1 : 0;
}

TAVA_EXPORT int Tava_ASIO_ChannelPause(int input, uint32_t channel) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    if (!g_pcm) return Fail(TAVO_ERROR_INIT);
    if (input != 0 || channel >= g_maxChannels || !IsPairChannel(static_cast<int>(channel)))
        return Fail(TAVO_ERROR_ILLPARAM);
    OutputSetPaused(true);
    return Ok();
}

TAVA_EXPORT int Tava_ASIO_ChannelReset(int input, int channel, uint32_t flags) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    if (!g_pcm) return Fail(TAVO_ERROR_INIT);
    if (input != 0 || channel < -1) return Fail(TAVO_ERROR_ILLPARAM);
    if (!IsPairChannel(channel)) return Ok(); // nothing set on that channel
    if (flags & TAVA_RESET_PAUSE) OutputSetPaused(false);
    if (flags & TAVA_RESET_JOIN) g_joinedTo = -1;
    if (flags & TAVA_RESET_ENABLE) {
        // The program frees what the procedure uses once this returns: no call may be in flight or follow.
        // A running output goes on with silence until it is stopped.
        g_enabled = -1;
        OutputClearProc();
        OutputSetPaused(false);
    }
    return Ok();
}

TAVA_EXPORT int Tava_ASIO_ErrorGetCode(void) {
    return t_error;
}

TAVA_EXPORT uint32_t Tava_ASIO_GetVersion(void) {
    return kVersion;
}

// TAVA_FUTURE_RATE_INFO: how the open device takes a DSD rate (any rate, in DSD mode or not).
// TAVA_FUTURE_VOLUME: the PCM path's volume; kept until Free, applied by the running output from its next
// period, ramped over that period.
TAVA_EXPORT int Tava_ASIO_Future(uint32_t selector, void *param) {
    if (OnOutputThread()) return Fail(TAVO_ERROR_ILLPARAM);
    std::lock_guard lock(g_api);
    if (!g_pcm) return Fail(TAVO_ERROR_INIT);
    if (!param) return Fail(TAVO_ERROR_ILLPARAM);
    if (selector == TAVA_FUTURE_RATE_INFO) {
        auto *info = static_cast<TavaRateInfo *>(param);
        const int i = DsdRateIndex(info->rate);
        const Way none;
        const Way &w = i >= 0 ? WayFor(static_cast<size_t>(i)) : none;
        info->path = w.path;
        info->pcmRate = w.pcm ? w.pcm->rate.rate : 0;
        info->pcmBits = w.pcm ? w.pcm->bits : 0;
        return Ok();
    }
    if (selector == TAVA_FUTURE_VOLUME) {
        const double gain = *static_cast<const double *>(param);
        if (!(gain >= 0.0 && gain <= 1.0)) return Fail(TAVO_ERROR_ILLPARAM);
        if (!OnPcmPath()) return Fail(TAVO_ERROR_FORMAT, "volume: " + g_driver + " plays DSD, bit-perfect");
        g_volume = gain;
        OutputSetVolume(gain);
        return Ok();
    }
    return Fail(TAVO_ERROR_ILLPARAM);
}
