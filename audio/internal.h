// Helpers shared by the files of audio/; not part of the subsystem's surface (audio.h).
#pragma once

#include <cstdint>

// True on the audio thread (thread.cpp).
bool OnAudioThread();
// True when drawing and window calls may be made here: the main window exists and this is not the
// audio thread (the output thread never calls these helpers).
bool MainWindowHere();
// Takes the pending window events without dispatching them, waiting 1 ms after each; does nothing
// off the main thread or without the main window.
void DrainWindowEvents();
// Waits ms milliseconds; on the main thread with the main window, its events are drained meanwhile
// so that the window stays painted.
void PauseMs(int ms);
// Stops and releases StreamHandle, waits 200 ms, and sets it to 0. Main or audio thread.
void ReleaseStream();

// The audio thread's lifetime (thread.cpp). Main thread.
void StartAudioThread();
// Waits up to ms for the audio thread to end, then, if it still runs, without limit: every wait of
// the thread is short and looks at StopThread, so it ends once it is asked to.
void JoinAudioThread(int ms);
// Chunks handed to A or B since the audio thread started (a hand-over of 0 bytes counts). Any thread.
int64_t HandOverCount();
// Both playback buffers read to their fill level. Any thread.
bool BothBuffersUsedUp();
