// Which DSD rate a rate is, how a device takes one, and which PCM names are devices for the user.
#include "output.h"

#include <algorithm>
#include <cctype>
#include <sys/stat.h>

namespace tava {

namespace {

// Names that alsa.conf defines on top of every card. Each reaches hardware already listed from the cards
// through conversion, mixing or routing (plug, dmix, the surround and front ends), or is no device at all:
// null throws the samples away, which is no sound device for a user. A name matches when it is the whole
// name or the part before ':' (as in "front:CARD=DAC,DEV=0"). The sound server ("default", "pulse",
// "pipewire") is not among them: it is how a desktop shares the sound card, and takes converted PCM.
constexpr std::array<std::string_view, 29> kFrontEnds = {
    "hw",     "plughw",    "plug",    "dmix",       "dsnoop",    "dshare",     "asym",  "sysdefault",
    "iec958", "spdif",     "hdmi",    "front",      "rear",      "center_lfe", "side",  "oss",
    "null",   "usbstream", "lavrate", "samplerate", "speexrate", "speex",      "upmix", "vdownmix",
    "a52",    "dcaenc",    "equal",   "plugequal",  "modem",
};

// The PCM rates of each family, highest first: DSD64 / 8, / 16, / 32 and their 48 kHz kin.
constexpr std::array<uint32_t, 3> kRates44 = {352800, 176400, 88200};
constexpr std::array<uint32_t, 3> kRates48 = {384000, 192000, 96000};

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

namespace tava {

bool IsUsbAudioCard(const std::string &driver, const std::string &procRoot) {
    // "hw:2,0", "hw:2", "hw:CARD=DAC,DEV=0", "hw:DAC,0": the card is the first argument; /proc/asound has a
    // cardN folder per card and a link named after each card's id.
    if (!driver.starts_with("hw:")) return false;
    std::string card =
        driver.substr(3, driver.find(',') == std::string::npos ? std::string::npos : driver.find(',') - 3);
    if (card.starts_with("CARD=")) card.erase(0, 5);
    if (card.empty() || card.find('/') != std::string::npos || card.starts_with(".")) return false;
    const bool number = std::all_of(card.begin(), card.end(),
                                    [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); });
    const std::string path = procRoot + "asound/" + (number ? "card" : "") + card + "/usbid";
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::optional<PcmRateChoice> ChoosePcmRate(double dsdRate, const std::function<bool(uint32_t)> &takes) {
    const int index = DsdRateIndex(dsdRate);
    if (index < 0) return std::nullopt;
    const bool family44 = static_cast<uint32_t>(dsdRate) % 44100 == 0;
    for (uint32_t rate : family44 ? kRates44 : kRates48)
        if (takes(rate)) return PcmRateChoice{rate, false};
    // A device of the other family only (HDMI and Bluetooth paths often take 48 kHz and nothing else).
    for (uint32_t rate : family44 ? kRates48 : kRates44)
        if (takes(rate)) return PcmRateChoice{rate, true};
    for (uint32_t rate : {48000u, 44100u})
        if (takes(rate)) return PcmRateChoice{rate, true};
    return std::nullopt;
}

} // namespace tava
