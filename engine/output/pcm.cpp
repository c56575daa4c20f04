// Opening, probing and setting up an ALSA PCM. Main thread only; while the output thread runs the main thread
// leaves the PCM alone.
#include "output.h"

#include <algorithm>

namespace tava {

namespace {

constexpr std::array<snd_pcm_format_t, kPackingCount> kAlsaFormats = {
    SND_PCM_FORMAT_DSD_U32_BE, SND_PCM_FORMAT_DSD_U32_LE, SND_PCM_FORMAT_DSD_U16_BE,
    SND_PCM_FORMAT_DSD_U16_LE, SND_PCM_FORMAT_DSD_U8,     SND_PCM_FORMAT_S32_LE,
    SND_PCM_FORMAT_S24_LE};

constexpr uint32_t kPeriodsPerBuffer = 4;

// PCMs that hand the frames on unchanged: the kernel device itself, hooks around it, a copy or a file tap.
// Everything else (plug, rate, route, dmix, softvol, the sound servers' I/O plugins...) converts or mixes,
// and would no longer be bit-perfect DSD.
bool PassesFramesUnchanged(snd_pcm_type_t type) {
    switch (type) {
    case SND_PCM_TYPE_HW:
    case SND_PCM_TYPE_HOOKS:
    case SND_PCM_TYPE_COPY:
    case SND_PCM_TYPE_FILE:
    case SND_PCM_TYPE_NULL:
        return true;
    default:
        return false;
    }
}

} // namespace

snd_pcm_format_t AlsaFormat(Packing p) {
    return kAlsaFormats[static_cast<size_t>(p)];
}

std::string DescribeError(const char *what, const std::string &driver, int err) {
    return std::string(what) + " failed on " + driver + ": " + snd_strerror(err);
}

snd_pcm_format_t AlsaPcmFormat(PcmFormat f) {
    constexpr std::array<snd_pcm_format_t, kPcmFormatCount> formats = {
        SND_PCM_FORMAT_S32_LE, SND_PCM_FORMAT_S24_3LE, SND_PCM_FORMAT_S24_LE};
    return formats[static_cast<size_t>(f)];
}

snd_pcm_t *OpenPcm(const std::string &driver, bool &converts, std::string &why) {
    snd_pcm_t *pcm = nullptr;
    // A blocking open of a device that another program holds would wait in the kernel until it is free.
    int err = snd_pcm_open(&pcm, driver.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (err < 0) {
        why = DescribeError("snd_pcm_open", driver, err);
        return nullptr;
    }
    converts = !PassesFramesUnchanged(snd_pcm_type(pcm));
    if ((err = snd_pcm_nonblock(pcm, 0)) < 0) {
        why = DescribeError("snd_pcm_nonblock", driver, err);
        snd_pcm_close(pcm);
        return nullptr;
    }
    return pcm;
}

uint32_t ProbeChannels(snd_pcm_t *pcm, snd_pcm_format_t format, uint32_t rate, uint32_t minChannels) {
    snd_pcm_hw_params_t *hw;
    snd_pcm_hw_params_alloca(&hw);
    unsigned channels = minChannels;
    if (snd_pcm_hw_params_any(pcm, hw) < 0 || snd_pcm_hw_params_set_rate_resample(pcm, hw, 0) < 0 ||
        snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hw, format) < 0 ||
        snd_pcm_hw_params_set_rate(pcm, hw, rate, 0) < 0 ||
        snd_pcm_hw_params_set_channels_min(pcm, hw, &channels) < 0 ||
        snd_pcm_hw_params_set_channels_first(pcm, hw, &channels) < 0)
        return 0;
    return channels;
}

uint32_t MaxChannels(snd_pcm_t *pcm) {
    snd_pcm_hw_params_t *hw;
    snd_pcm_hw_params_alloca(&hw);
    unsigned channels = 0;
    if (snd_pcm_hw_params_any(pcm, hw) < 0 || snd_pcm_hw_params_get_channels_max(hw, &channels) < 0) return 2;
    return std::max(channels, 2u);
}

namespace {

// Sets the device up (exact rate, no resampling, interleaved writes, period near periodMs, a buffer of about
// four periods) and prepares it; fills the stream's device fields. bits gets the significant bits of a
// sample.
bool Configure(snd_pcm_t *pcm, const std::string &driver, snd_pcm_format_t format, uint32_t channels,
               uint32_t frameRate, uint32_t periodMs, Stream &stream, uint32_t &bits, std::string &why);

} // namespace

bool ConfigurePcm(snd_pcm_t *pcm, const std::string &driver, const Choice &choice, uint32_t periodMs,
                  Stream &stream, std::string &why) {
    uint32_t bits = 0;
    return Configure(pcm, driver, AlsaFormat(choice.packing), choice.channels, choice.frameRate, periodMs,
                     stream, bits, why);
}

std::optional<PcmChoice> ProbePcm(snd_pcm_t *pcm, double dsdRate, uint32_t minChannels) {
    PcmChoice choice{};
    const auto rate = ChoosePcmRate(dsdRate, [&](uint32_t r) {
        for (size_t f = 0; f < kPcmFormatCount; ++f)
            if (uint32_t n = ProbeChannels(pcm, AlsaPcmFormat(static_cast<PcmFormat>(f)), r, minChannels)) {
                choice.format = static_cast<PcmFormat>(f);
                choice.channels = n;
                return true;
            }
        return false;
    });
    if (!rate) return std::nullopt;
    choice.rate = *rate;
    // A 32-bit container may carry fewer significant bits (many DACs take 24 of them).
    snd_pcm_hw_params_t *hw;
    snd_pcm_hw_params_alloca(&hw);
    const snd_pcm_format_t format = AlsaPcmFormat(choice.format);
    int sbits = -1;
    if (snd_pcm_hw_params_any(pcm, hw) >= 0 && snd_pcm_hw_params_set_format(pcm, hw, format) >= 0)
        sbits = snd_pcm_hw_params_get_sbits(hw);
    choice.bits = static_cast<uint32_t>(sbits > 0 ? sbits : snd_pcm_format_width(format));
    return choice;
}

bool ConfigurePcmOutput(snd_pcm_t *pcm, const std::string &driver, const PcmChoice &choice, uint32_t periodMs,
                        Stream &stream, uint32_t &bits, std::string &why) {
    return Configure(pcm, driver, AlsaPcmFormat(choice.format), choice.channels, choice.rate.rate, periodMs,
                     stream, bits, why);
}

namespace {

bool Configure(snd_pcm_t *pcm, const std::string &driver, snd_pcm_format_t format, uint32_t channels,
               uint32_t frameRate, uint32_t periodMs, Stream &stream, uint32_t &bits, std::string &why) {
    auto failed = [&](int err, const char *what) {
        if (err >= 0) return false;
        why = DescribeError(what, driver, err);
        return true;
    };
    snd_pcm_hw_params_t *hw;
    snd_pcm_hw_params_alloca(&hw);
    unsigned periodUs = periodMs * 1000;
    int dir = 0;
    if (failed(snd_pcm_hw_params_any(pcm, hw), "snd_pcm_hw_params_any") ||
        failed(snd_pcm_hw_params_set_rate_resample(pcm, hw, 0), "snd_pcm_hw_params_set_rate_resample") ||
        failed(snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED),
               "snd_pcm_hw_params_set_access") ||
        failed(snd_pcm_hw_params_set_format(pcm, hw, format), "snd_pcm_hw_params_set_format") ||
        failed(snd_pcm_hw_params_set_channels(pcm, hw, channels), "snd_pcm_hw_params_set_channels") ||
        failed(snd_pcm_hw_params_set_rate(pcm, hw, frameRate, 0), "snd_pcm_hw_params_set_rate") ||
        failed(snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodUs, &dir),
               "snd_pcm_hw_params_set_period_time_near"))
        return false;
    snd_pcm_uframes_t period = 0;
    if (failed(snd_pcm_hw_params_get_period_size(hw, &period, &dir), "snd_pcm_hw_params_get_period_size"))
        return false;
    snd_pcm_uframes_t buffer = period * kPeriodsPerBuffer;
    if (failed(snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer),
               "snd_pcm_hw_params_set_buffer_size_near") ||
        failed(snd_pcm_hw_params(pcm, hw), "snd_pcm_hw_params") ||
        failed(snd_pcm_hw_params_get_period_size(hw, &period, &dir), "snd_pcm_hw_params_get_period_size") ||
        failed(snd_pcm_hw_params_get_buffer_size(hw, &buffer), "snd_pcm_hw_params_get_buffer_size"))
        return false;
    if (period == 0 || buffer < period) {
        why = driver + " gave an unusable period of " + std::to_string(period) + " frames in a buffer of " +
              std::to_string(buffer);
        return false;
    }

    // Playback starts once the buffer is full, and the thread is woken for every period that frees up.
    snd_pcm_sw_params_t *sw;
    snd_pcm_sw_params_alloca(&sw);
    if (failed(snd_pcm_sw_params_current(pcm, sw), "snd_pcm_sw_params_current") ||
        failed(snd_pcm_sw_params_set_start_threshold(pcm, sw, buffer),
               "snd_pcm_sw_params_set_start_threshold") ||
        failed(snd_pcm_sw_params_set_avail_min(pcm, sw, period), "snd_pcm_sw_params_set_avail_min") ||
        failed(snd_pcm_sw_params(pcm, sw), "snd_pcm_sw_params") ||
        failed(snd_pcm_prepare(pcm), "snd_pcm_prepare"))
        return false;

    // A 32-bit container may carry fewer significant bits (many DACs take 24 of them).
    const int sbits = snd_pcm_hw_params_get_sbits(hw);
    bits = static_cast<uint32_t>(sbits > 0 ? sbits : snd_pcm_format_width(format));
    stream.pcm = pcm;
    stream.frameRate = frameRate;
    stream.periodFrames = static_cast<uint32_t>(period);
    stream.bufferFrames = static_cast<uint32_t>(buffer);
    stream.neverBlocks = snd_pcm_type(pcm) == SND_PCM_TYPE_NULL;
    return true;
}

} // namespace

} // namespace tava
