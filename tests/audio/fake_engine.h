// A stand-in for the output library's device calls, installed into EngineFn: a list of devices with
// the DSD rates each takes and how (natively, by DoP or converted to PCM), and a record of the calls
// made.
#pragma once

#include "audio/audio.h"

#include <cstdio>
#include <set>
#include <string>
#include <vector>

struct FakeDevice {
    std::string name;
    bool opens = true;               // Tava_ASIO_Init succeeds
    bool dsd = true;                 // Tava_ASIO_SetDSD (1) succeeds
    std::set<double> rates;          // the DSD rates Tava_ASIO_CheckRate accepts
    uint32_t channels = 2;           // Tava_ASIO_ChannelEnable takes the pairs that fit
    std::set<double> converted = {}; // of the rates, those it takes converted to PCM
    bool dop = false;                // the others by DoP, not natively
    bool rate_info = true;           // Tava_ASIO_Future answers TAVA_FUTURE_RATE_INFO
    uint32_t pcm_rate = 176'400, pcm_bits = 24;
};

namespace fake {

inline std::vector<FakeDevice> Devices;
// "info 3", "init 3", "dsd 1", "rate 5644800", "dsd 0", "free", "volume 0.50"
inline std::vector<std::string> Calls;
inline int Open = -1; // the device opened, -1 none
inline const std::set<double> AllRates = {2'822'400.0, 5'644'800.0, 11'289'600.0, 22'579'200.0};

inline void Install(std::vector<FakeDevice> devices) {
    Devices = std::move(devices);
    Calls.clear();
    Open = -1;
    EngineFn.Tava_ASIO_GetDeviceInfo = [](uint32_t n, TavaDeviceInfo *info) {
        Calls.push_back("info " + std::to_string(n));
        if (n >= Devices.size()) return 0;
        info->name = Devices[n].name.c_str();
        info->driver = "fake";
        return 1;
    };
    EngineFn.Tava_ASIO_Init = [](int n, uint32_t) {
        Calls.push_back("init " + std::to_string(n));
        if (n < 0 || size_t(n) >= Devices.size() || !Devices[size_t(n)].opens) return 0;
        Open = n;
        return 1;
    };
    EngineFn.Tava_ASIO_Free = [] {
        Calls.push_back("free");
        const bool was_open = Open >= 0;
        Open = -1;
        return int(was_open);
    };
    EngineFn.Tava_ASIO_SetDSD = [](int on) {
        Calls.push_back("dsd " + std::to_string(on));
        return int(Open >= 0 && (!on || Devices[size_t(Open)].dsd));
    };
    EngineFn.Tava_ASIO_ChannelEnable = [](int, uint32_t channel, TavaProc, void *) {
        Calls.push_back("enable " + std::to_string(channel));
        return int(Open >= 0 && channel + 2 <= Devices[size_t(Open)].channels);
    };
    EngineFn.Tava_ASIO_CheckRate = [](double rate) {
        Calls.push_back("rate " + std::to_string(int64_t(rate)));
        return int(Open >= 0 && Devices[size_t(Open)].rates.count(rate));
    };
    EngineFn.Tava_ASIO_Future = [](uint32_t selector, void *param) {
        if (Open < 0) return 0;
        const FakeDevice &d = Devices[size_t(Open)];
        if (selector == TAVA_FUTURE_RATE_INFO && d.rate_info) {
            auto *info = static_cast<TavaRateInfo *>(param);
            const bool pcm = d.converted.count(info->rate) > 0;
            info->path = !d.rates.count(info->rate) ? TAVA_PATH_NONE
                         : pcm                      ? TAVA_PATH_PCM
                         : d.dop                    ? TAVA_PATH_DOP
                                                    : TAVA_PATH_NATIVE;
            info->pcmRate = pcm ? d.pcm_rate : 0;
            info->pcmBits = pcm ? d.pcm_bits : 0;
            return 1;
        }
        if (selector == TAVA_FUTURE_VOLUME && d.converted.count(2'822'400.0)) {
            char text[32];
            std::snprintf(text, sizeof text, "volume %.2f", *static_cast<const double *>(param));
            Calls.push_back(text);
            return 1;
        }
        return 0;
    };
}

} // namespace fake
