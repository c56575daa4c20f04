// The device list: the cards' playback PCMs, then the PCMs of the ALSA configuration that describe
// themselves. Main thread only.
#include "output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace tava {

namespace {

// --- main thread: every name and driver text handed out so far. Never shrinks, so the pointers in
//     TavaDeviceInfo stay valid while the library is loaded, also across a new enumeration.
std::set<std::string, std::less<>> g_texts;

const char *Intern(std::string_view text) {
    auto it = g_texts.find(text);
    if (it == g_texts.end()) it = g_texts.emplace(text).first;
    return it->c_str();
}

void Add(std::vector<Device> &list, std::string_view name, std::string_view driver) {
    for (const Device &d : list)
        if (driver == d.driver) return;
    list.push_back({Intern(name), Intern(driver)});
}

// "USB DAC: USB Audio (hw:2,0)" for every card's device that has a playback stream.
void ListCards(std::vector<Device> &list) {
    snd_ctl_card_info_t *cardInfo;
    snd_pcm_info_t *pcmInfo;
    snd_ctl_card_info_alloca(&cardInfo);
    snd_pcm_info_alloca(&pcmInfo);
    int card = -1;
    while (snd_card_next(&card) >= 0 && card >= 0) {
        char ctlName[32];
        std::snprintf(ctlName, sizeof ctlName, "hw:%d", card);
        snd_ctl_t *ctl;
        if (snd_ctl_open(&ctl, ctlName, 0) < 0) continue;
        if (snd_ctl_card_info(ctl, cardInfo) >= 0) {
            int device = -1;
            while (snd_ctl_pcm_next_device(ctl, &device) >= 0 && device >= 0) {
                snd_pcm_info_set_device(pcmInfo, static_cast<unsigned>(device));
                snd_pcm_info_set_subdevice(pcmInfo, 0);
                snd_pcm_info_set_stream(pcmInfo, SND_PCM_STREAM_PLAYBACK);
                if (snd_ctl_pcm_info(ctl, pcmInfo) < 0) continue; // capture only
                char driver[32];
                std::snprintf(driver, sizeof driver, "hw:%d,%d", card, device);
                std::string name = snd_ctl_card_info_get_name(cardInfo);
                name += ": ";
                name += snd_pcm_info_get_name(pcmInfo);
                name += " (";
                name += driver;
                name += ")";
                Add(list, name, driver);
            }
        }
        snd_ctl_close(ctl);
    }
}

// The configured PCMs with a description that are outputs and not front ends of the cards. The name shown
// is the description's first line (the rest says what the PCM is for).
void ListConfigured(std::vector<Device> &list) {
    void **hints;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0) return;
    for (void **h = hints; *h; ++h) {
        char *name = snd_device_name_get_hint(*h, "NAME");
        char *desc = snd_device_name_get_hint(*h, "DESC");
        char *ioid = snd_device_name_get_hint(*h, "IOID"); // null when the PCM plays and records
        if (name && desc && *desc && (!ioid || std::strcmp(ioid, "Output") == 0) && IsDevicePcmName(name)) {
            const std::string_view d = desc;
            Add(list, d.substr(0, d.find('\n')), name);
        }
        std::free(name);
        std::free(desc);
        std::free(ioid);
    }
    snd_device_name_free_hint(hints);
}

} // namespace

std::vector<Device> ListDevices() {
    std::vector<Device> list;
    ListCards(list);
    ListConfigured(list);
    return list;
}

} // namespace tava
