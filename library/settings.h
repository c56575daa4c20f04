// library/settings.h: the settings file "lp.is" and the saved state it carries between runs: the
// chosen output device with its DSD abilities, the output channel and the three display options.
//
// Everything here is written on the main thread during start-up (the saved-device check, the device
// and options windows, LoadSettings) and only read afterwards.
#pragma once

#include "library.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

constexpr int MaxDevices = 12; // device numbers 0 to 11 are listed; the output library is not asked for more

// One output device as the device window lists it; DeviceCaps is a copy of the chosen one.
struct DeviceRecord {
    uint8_t Flag = 0;             // 0 for every listed device
    uint8_t Number = 0;           // the device's index for the output library, 0 to 11
    std::string Name;             // as the output library reports it (UTF-8)
    std::array<uint8_t, 4> Dsd{}; // 1 when DSD 2.8, 5.6, 11.3 and 22.6 MHz play natively, else 0
};

// --- The saved state (settings.cpp)
extern DeviceRecord DeviceCaps; // the chosen device; only its name and first three DSD flags are saved
extern int OutputDevice;        // its device number
extern uint8_t OutputChannel;   // first channel of the stereo pair, 0 = the first pair
extern uint8_t ViewCover;       // 0 no cover, 1 in the corner, 2 on the record's label
extern uint8_t CoverTrack;      // 1: also look for a picture of the track itself
extern uint8_t BlendPicture;    // 1: blend the corner cover with the photograph

// --- What LoadSettings read, kept apart until start-up takes it over
struct SavedState {
    bool Loaded = false;             // the file was there and began with SettingsMagic
    std::string DeviceName;          // UTF-8
    std::array<uint8_t, 7> Values{}; // channel, DSD 2.8/5.6/11.3 flags, view, track, blend
};
extern SavedState Saved;
// Whether Saved.Values holds only values the program writes (channel aside, which needs the device).
bool SavedValuesInRange();

// --- The file
//
// "lp.is" in ListFolder, little-endian: the int32 SettingsMagic (bytes 99 3C 34 01); the device
// name in UTF-16LE without a mark, ended by CR LF (0D 00 0A 00); seven bytes in the order of
// Saved.Values; the end mark FF, which is written and never read.
constexpr int32_t SettingsMagic = 20200601;
inline constexpr const char *SettingsFileName = "lp.is";

// The file's bytes for these values.
std::string EncodeSettings(std::string_view device_name, const std::array<uint8_t, 7> &values);
// Reads the file's bytes: false (name and values untouched) when they are fewer than 5 or do not
// begin with the magic. The name ends at CR LF, a lone CR, a lone LF, a zero code unit or the end;
// a value past the end reads 0, so a file cut short loads with its options off.
bool DecodeSettings(std::string_view bytes, std::string &device_name, std::array<uint8_t, 7> &values);

// ListFolder = folder + "lpli/" (folder ends in '/'); the directory is created when it is not
// there. A failure to create it is not reported: every later read then finds nothing and every
// write fails.
void EstablishListFolder(const std::string &folder);
// Where the program keeps its lists and settings. Beside the executable (program_folder + "lpli/")
// when that folder is there and writable or can be created, which keeps a copy of the program in a
// writable folder portable; else, for an installed program, data_folder + "Tonmark/tm20/lpli/",
// made with its parents when missing. A program folder under /usr (not /usr/local), the package
// manager's, is never written. Both folders end in '/'.
void EstablishListFolder(const std::string &program_folder, const std::string &data_folder);

// Establishes ListFolder beside the executable, then fills Saved.Loaded, Saved.DeviceName and
// Saved.Values from "lp.is" there (ReadSettingsFile), and waits 20 ms. Start-up, once.
// Linux: the executable's folder is that of /proc/self/exe; when lpli/ cannot be kept there, it
// lives in the XDG data folder (LocalAppDataFolder) + "Tonmark/tm20/".
void LoadSettings();
// The reading part of LoadSettings, from ListFolder + "lp.is". Nothing is reported: a missing,
// short, unreadable or foreign file leaves Saved.Loaded false.
void ReadSettingsFile();
// Writes "lp.is" from DeviceCaps, OutputChannel and the options, then waits 20 ms. The bytes go to
// a new file renamed over the old one, so a failure (a full disk, a folder that cannot be written)
// leaves the old file whole instead of a truncated one; the result names the file and the reason.
// Linux: WriteFileWhole (platform/files.h) in place of creating the file anew over the old one.
WriteResult SaveSettings();
