// The playback memory: the staging buffer, the spare buffer and buffers A and B, about 1.6 GB of
// address space reserved once. Pages take memory only when written, and are given back instead of
// being overwritten with zeros, so an idle player holds almost nothing.

#include "audio.h"
#include "internal.h"

#include <sys/mman.h>

// --- the pointers: main thread, written at start-up and shutdown; the rest as internal.h says
PlaybackMemory Memory;
// --- end of state

namespace {

struct Reservation {
    uint8_t **Buffer;
    size_t Size;
};
// In the order of reservation.
const Reservation Buffers[] = {
    {&Memory.StagingBuffer, PlayBufferSize},
    {&Memory.SpareBuffer, SpareBufferSize},
    {&Memory.BufferA, PlayBufferSize},
    {&Memory.BufferB, PlayBufferSize},
};

} // namespace

// Private anonymous pages read as zeros until written; MAP_NORESERVE keeps the reservation from
// counting against the system's commit limit for pages never touched.
bool ReservePlaybackMemory() {
    if (Memory.StagingBuffer) return true;
    for (const Reservation &r : Buffers) {
        void *p =
            mmap(nullptr, r.Size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED) {
            ReleasePlaybackMemory();
            return false;
        }
        *r.Buffer = static_cast<uint8_t *>(p);
    }
    return true;
}

// After MADV_DONTNEED a private anonymous page reads as zeros again and holds no memory.
void ZeroPlaybackBuffer(uint8_t *buffer) {
    for (const Reservation &r : Buffers)
        if (buffer && buffer == *r.Buffer) madvise(buffer, r.Size, MADV_DONTNEED);
}

void ReleasePlaybackMemory() {
    for (const Reservation &r : Buffers) {
        if (*r.Buffer) munmap(*r.Buffer, r.Size);
        *r.Buffer = nullptr;
    }
}
