// What the engine-backed playback tests share: the engine bound from the build, a capture device of
// the tests' own ALSA configuration (set up by their main), test tracks in a temporary folder, the
// lists filled through the probe, and the check of a capture against the tracks' data.
#pragma once

#include "capture.h"

#include "audio/internal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// The test program's temporary folder, ending in '/'.
const std::string &TestFolder();

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
// does (ProbeTrack, AppendEntry, AcceptRunRate): the first list1 of them into List 1, the rest into List 2.
void AddTracks(const std::vector<TestDsdShape> &tracks, size_t list1, const std::string &folder);

// Opens "dsdcapture" as the event loop opens the chosen device (its number in the host's list, DSD
// mode), removing the capture of an earlier run. CloseCaptureDevice frees it, closing the capture.
bool OpenCaptureDevice();
void CloseCaptureDevice();

// Runs FinishPlayback whenever the audio thread asks for it (in place of timer 119) until the
// player is idle or the time is up; true when it became idle.
bool WaitUntilIdle(double seconds);

// The byte-interleaved pair of the capture of "dsdcapture" (see capture.h for judging it).
std::vector<uint8_t> CapturedPair();
