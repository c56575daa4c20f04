// Helpers shared by the files of audio/; not part of the subsystem's surface (audio.h).
#pragma once

#include "audio.h"

#include <cstdint>

// True on the audio thread (thread.cpp).
bool OnAudioThread();
// Calls the display procedure Proc (a member of PlaybackDisplay) with the arguments when there is a window to show it on and
// this is not the audio thread.
template <auto Proc, typename... Args>
void Show(Args &&...args) {
    if (Display && Display->*Proc && !OnAudioThread()) (Display->*Proc)(static_cast<Args &&>(args)...);
}
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
