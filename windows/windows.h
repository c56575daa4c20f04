// windows/: the two windows start-up shows before the main window when the output device must be
// chosen (and the main window's "Audio device..." shows again), the audio device window and the
// options window; and the playlist name and delete dialogs. Both run their own polling loop on the
// main thread; no other window is open meanwhile. Linux: a quick second click arrives as a double
// click; both loops take it as one more click, so that fast clicks on an option line all count.
#pragma once

#include "engine/tava.h"
#include "library/settings.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// --- The audio device window (device.cpp)

// The rows of the open device window, row i for device number i. Main thread; emptied when the window
// closes.
extern std::vector<DeviceRecord> DeviceRows;

// The caption of a device row: the first 60 characters (UTF-16 code units) of the name, and for a
// device that plays DSD 2.8 MHz, as `route` says it takes that rate: bit-perfect (natively or by DoP)
// "  dsd 2.8", then "/5.6", "/11.3", "/22.6" for each further rate it plays, then " MHz", and
// " DoP" after that when it takes DSD over PCM; converted, "  PCM 176.4 kHz 24-bit" with the PCM rate
// and word length the output gives it.
std::string DeviceCaption(const std::string &name, const std::array<uint8_t, 4> &dsd,
                          const TavaRateInfo &route);

// Opens the window titled "audio device", headed "Select audio device", still without rows. The
// program then adds a row for each device that the output library reports, as it probes them.
void OpenDeviceWindow();
// Adds the row of the next device (rows come in device order, row.Number 0, 1, ...) with its name and
// the DSD rates found for it (DeviceCaption). The row of a device without DSD 2.8 MHz is grey and
// cannot be chosen; a device that could not be opened because another program holds it shows
// busy_note after its name (Linux: "  (busy: pipewire, pid 1234)"). Nothing past MaxDevices rows.
void AddDeviceRow(const DeviceRecord &row, const TavaRateInfo &route, const std::string &busy_note);
// Says "No sound device found" in a line below the rows: no device could be opened at all.
void ShowNoDeviceFound();
// Waits for the choice: a click on a row that plays DSD 2.8 MHz sets DeviceCaps, OutputDevice and
// OutputChannel (0), closes the window and returns true. Escape, or a click on the close mark,
// closes it and returns false. Events while the pointer is outside the window are ignored.
bool RunDeviceWindow();

// --- The options window (options.cpp)

// The captions of the three option lines for a value. A value other than the listed ones reads as
// "Off" (an option of an older file).
std::string ViewCoverCaption(uint8_t value);  // "View cover:  Off" / "In the corner" / "On the vinyl's label"
std::string CoverTrackCaption(uint8_t value); // "Cover track:  Off" / "On"
std::string BlendPictureCaption(uint8_t value); // "Blend picture:  Off" / "On"

// Opens the window titled "options" with the three option lines and "Start".
void OpenOptionsWindow();
// Waits for "Start": a click on an option line changes that option (ViewCover 0 -> 1 -> 2 -> 0, any
// other value stays; CoverTrack and BlendPicture 0 -> 1, anything else -> 0) and its caption. "Start"
// closes the window and returns true; Escape closes it and returns false. Nothing is saved here.
bool RunOptionsWindow();
// Both of the above. False: Escape, and the program must end.
bool ShowOptions();

// --- The playlist dialogs (dialogs.cpp)
//
// One small window (24) serves both: borderless, 500x280, centred and kept above the others, grey on
// near-black with a frame of four lines; "OK" and "Cancel" are texts that a left press inside
// activates; Escape cancels. Each dialog polls every 20 ms until answered; events of the main window
// that come meanwhile are taken and not handled (a close request is noted: CloseRequested).

// The name dialog: "Name of playlist" over an empty text entry that has the keyboard focus. On OK the
// entry's text is checked (ValidatePlaylistName): a wrong or double name shows its message in the
// entry and the dialog stays; a good one is returned in `name`. False when cancelled.
bool AskPlaylistName(std::string &name);
// The delete dialog: "Delete playlist" over the playlist's name. True when confirmed with OK.
bool ConfirmPlaylistDelete(const std::string &name);
