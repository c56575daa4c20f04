// What the engine-backed playback tests share: the engine bound from the build, a capture device of
// the tests' own ALSA configuration (set up by their main), test tracks in a temporary folder, the
// lists filled through the probe, and the check of a capture against the tracks' data.
#pragma once

#include "dsd_testfiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// The test program's temporary folder, ending in '/'.
const std::string &TestFolder();

// A track of about `seconds`, three samples of a byte longer than whole bytes: not a whole number
// of periods.
TestDsdShape Shape(TestDsdKind kind, uint32_t rate, double seconds, uint32_t seed, uint32_t channels = 2);
// Writes a test track under TestFolder() + name (folders made as needed); its path, "" on failure.
std::string WriteTrack(const TestDsdShape &shape, const std::string &name);

// The player as the program leaves it at start: lists empty, List 1 shown, no session rate, no
// stream, the program's chunk size, the device taking every DSD rate, the engine core initialised,
// message boxes recorded in Messages ("title|text" each).
void ResetPlayer();
extern std::vector<std::string> Messages;

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetPlayer(); }
    void TearDown() override { ResetPlayer(); }
};

// Writes the tracks into the folder as 0.dsf, 1.dff... and probes them into the lists as the program
// does (ProbeTrack, AppendToActiveList): the first list1 of them into List 1, the rest into List 2.
void AddTracks(const std::vector<TestDsdShape> &tracks, size_t list1, const std::string &folder);

// Opens "dsdcapture" as the event loop opens the chosen device (its number in the host's list, DSD
// mode), removing the capture of an earlier run. CloseCaptureDevice frees it, closing the capture.
bool OpenCaptureDevice();
void CloseCaptureDevice();

// Runs FinishPlayback whenever the audio thread asks for it (in place of timer 119) until the
// player is idle or the time is up; true when it became idle.
bool WaitUntilIdle(double seconds);

// The byte-interleaved pair as the program delivered it, from the DSD_U32_BE stereo capture.
std::vector<uint8_t> CapturedPair();
// The playback bytes of the tracks, one after the other.
std::vector<uint8_t> ExpectedBytes(const std::vector<TestDsdShape> &tracks);
// Empty when `pair` is DSD silence (0x69), then exactly the expected bytes, then only silence;
// otherwise what is wrong, with the offset.
std::string CheckCapture(const std::vector<uint8_t> &pair, const std::vector<uint8_t> &expected);
inline std::string CheckCapture(const std::vector<uint8_t> &pair, const std::vector<TestDsdShape> &tracks) {
    return CheckCapture(pair, ExpectedBytes(tracks));
}
// For a capture of silence, then the start of `data`, then anything: how much of data that is, and
// the rest of the capture in `after`.
size_t HeardPart(const std::vector<uint8_t> &pair, const std::vector<uint8_t> &data,
                 std::vector<uint8_t> &after);
