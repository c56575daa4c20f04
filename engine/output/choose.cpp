// Which DSD rate a rate is, how a device takes one, and which PCM names are devices for the user.
#include "output.h"

namespace tava {

namespace {

// Names that alsa.conf and the sound servers define on top of the cards. Each either reaches the same
// hardware through conversion, mixing or routing (plug, dmix, the surround and front ends), or is no device
// at all: null throws the samples away, which is no sound device for a user. A name matches when it is the
// whole name or the part before ':' (as in "front:CARD=DAC,DEV=0").
constexpr std::array<std::string_view, 33> kFrontEnds = {
    "hw",         "plughw",     "plug",       "dmix",      "dsnoop", "dshare", "asym",
    "default",    "sysdefault", "iec958",     "spdif",     "hdmi",   "front",  "rear",
    "center_lfe", "side",       "pulse",      "pipewire",  "jack",   "oss",    "null",
    "usbstream",  "lavrate",    "samplerate", "speexrate", "speex",  "upmix",  "vdownmix",
    "a52",        "dcaenc",     "equal",      "plugequal", "modem",
};

} // namespace

int DsdRateIndex(double rate) {
    for (size_t i = 0; i < kDsdRates.size(); ++i)
        if (rate == kDsdRates[i]) return static_cast<int>(i);
    return -1;
}

std::optional<Choice> ChooseLayout(double dsdRate, uint32_t minChannels, const ProbeFn &probe) {
    if (DsdRateIndex(dsdRate) < 0) return std::nullopt;
    const auto rate = static_cast<uint32_t>(dsdRate);
    for (Packing p : kPackingOrder) {
        // Every DSD rate is a multiple of 32, so the frame rate is exact for every container.
        const uint32_t frameRate = rate / DsdBitsPerFrame(p);
        if (uint32_t channels = probe(p, frameRate, minChannels); channels >= minChannels)
            return Choice{p, frameRate, channels};
    }
    return std::nullopt;
}

bool IsDevicePcmName(std::string_view name) {
    const std::string_view base = name.substr(0, name.find(':'));
    if (base.empty() || base.starts_with("surround")) return false;
    for (std::string_view f : kFrontEnds)
        if (base == f) return false;
    return true;
}

} // namespace tava
