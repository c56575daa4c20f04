// What the playback tests share: the engine bound from the build, a capture device of the test's own
// ALSA configuration, test tracks in a temporary folder, the lists filled through the probe, and the
// check of a capture against the tracks' data.
#pragma once

#include "dsd_testfiles.h"

#include <cstdint>
#include <string>
#include <vector>

// Once per test program, before any ALSA call: writes an ALSA configuration in a temporary folder
// that adds "dsdcapture" (a file PCM over null, with a description) and points ALSA_CONFIG_PATH at
// it; binds the engine libraries of the build. False when something is missing.
bool SetUpAudioTestProgram();
void TearDownAudioTestProgram();

// The test program's temporary folder, ending in '/', and the capture file.
const std::string &TestFolder();
const std::string &CaptureFile();

// Writes a test track under TestFolder() + name (folders made as needed); returns its path.
std::string WriteTrack(const TestDsdShape &shape, const std::string &name);

// The player as the program leaves it at start: lists empty, List 1 shown, no session rate, the
// device taking every DSD rate, the engine core initialised, message boxes recorded in Messages.
void ResetPlayer();
extern std::vector<std::string> Messages; // "title|text" of every box since ResetPlayer

// Probes the track into List `list` as the program does (ProbeTrack, AppendToActiveList); false when
// the probe refused it.
bool AddTrack(int list, const std::string &path);

// Opens the capture device as the event loop opens the chosen device (its number from the host's
// list, DSD mode). False when it is not listed or does not open.
bool OpenCaptureDevice();
// Frees it, which closes the capture file.
void CloseCaptureDevice();

// Runs FinishPlayback whenever the audio thread asks for it (in place of timer 119) until the
// player is idle or the time is up; true when it became idle.
bool WaitUntilIdle(double seconds);

// The byte-interleaved pair as the program delivered it, from a DSD_U32_BE stereo capture.
std::vector<uint8_t> CapturedPair();

// The playback bytes of the tracks, one after the other.
std::vector<uint8_t> ExpectedBytes(const std::vector<TestDsdShape> &tracks);

// Empty when `pair` is DSD silence (0x69), then exactly `expected`, then only silence; otherwise
// what is wrong, with the offset.
std::string CheckCapture(const std::vector<uint8_t> &pair, const std::vector<TestDsdShape> &tracks);
