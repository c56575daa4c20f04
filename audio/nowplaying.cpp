// NowPlaying and TrackQueue: the track heard and the tracks opened ahead of it.
//
// The records live in a fixed array of slots and are never changed once published, so the output
// callback moves NowPlaying by moving a slot number, and the main thread's refresh can copy the
// texts while the callback runs. Slot 0 holds what the main thread writes into NowPlaying itself;
// slots 1 on are the queue, filled in order by its one producer (the thread that opens tracks) and
// taken in order by its one consumer (AsioProc). A run opens at most six tracks of each list, and
// the queue starts again at slot 1 whenever the main thread empties it between runs, so a slot is
// never rewritten while a run could still show it.

#include "audio.h"

namespace {

constexpr uint32_t SlotCount = 16;
constexpr int SlotShift = 56;
constexpr uint64_t PlayedMask = (uint64_t{1} << SlotShift) - 1;

// --- slot 0: main thread while AsioProc is not called. Slot k >= 1: written once by the producer
//     before it publishes QueueHead past k; read by anyone who has seen k published.
TrackRecord Slots[SlotCount];
// The next slot the producer writes; it stores it with release after writing the slot.
std::atomic<uint32_t> QueueHead{1};
// The next slot the consumer takes; stored with release by AsioProc.
std::atomic<uint32_t> QueueTail{1};
// NowPlaying: the slot heard (top 8 bits) and its played count (low 56 bits) in one word, so that a
// reader takes both at once. AsioProc writes it while the output runs; the main thread otherwise.
std::atomic<uint64_t> NowPlayingWord{0};
// --- end of state

uint64_t Word(uint32_t slot, int64_t played) {
    return (uint64_t{slot} << SlotShift) | (static_cast<uint64_t>(played) & PlayedMask);
}

} // namespace

NowPlayingInfo TakeNowPlaying() {
    const uint64_t w = NowPlayingWord.load(std::memory_order_acquire);
    NowPlayingInfo info;
    info.Track = Slots[w >> SlotShift];
    info.Played = static_cast<int64_t>(w & PlayedMask);
    return info;
}

int64_t NowPlayingPlayed() {
    return static_cast<int64_t>(NowPlayingWord.load(std::memory_order_acquire) & PlayedMask);
}

void SetNowPlaying(const TrackRecord &track) {
    Slots[0] = track;
    NowPlayingWord.store(Word(0, 0), std::memory_order_release);
}

void MoveNowPlaying(int64_t played) {
    const uint64_t w = NowPlayingWord.load(std::memory_order_relaxed);
    NowPlayingWord.store(Word(static_cast<uint32_t>(w >> SlotShift), played), std::memory_order_release);
}

void EmptyNowPlaying() {
    SetNowPlaying(TrackRecord{});
}

bool QueueTrack(const TrackRecord &track) {
    const uint32_t head = QueueHead.load(std::memory_order_relaxed);
    if (head >= SlotCount) return false;
    Slots[head] = track;
    QueueHead.store(head + 1, std::memory_order_release);
    return true;
}

size_t QueuedTracks() {
    const uint32_t tail = QueueTail.load(std::memory_order_acquire);
    const uint32_t head = QueueHead.load(std::memory_order_acquire);
    return head - tail;
}

void EmptyTrackQueue() {
    // NowPlaying may sit in a queue slot that the next run will rewrite: it moves to slot 0.
    const uint64_t w = NowPlayingWord.load(std::memory_order_relaxed);
    const uint32_t slot = static_cast<uint32_t>(w >> SlotShift);
    if (slot != 0) {
        Slots[0] = Slots[slot];
        NowPlayingWord.store(Word(0, static_cast<int64_t>(w & PlayedMask)), std::memory_order_release);
    }
    QueueHead.store(1, std::memory_order_release);
    QueueTail.store(1, std::memory_order_release);
}

// Output thread. Reads only what the producer published before QueueHead, and strings not at all.
void CountPlayedBytes(int64_t bytes) {
    const uint64_t w = NowPlayingWord.load(std::memory_order_relaxed);
    uint32_t slot = static_cast<uint32_t>(w >> SlotShift);
    int64_t played = static_cast<int64_t>(w & PlayedMask) + bytes;
    uint32_t tail = QueueTail.load(std::memory_order_relaxed);
    const uint32_t head = QueueHead.load(std::memory_order_acquire);
    const uint32_t first = tail;
    // A track shorter than one call moves on at once, so the count never lags behind the sound.
    while (played >= Slots[slot].End && tail != head) {
        played -= Slots[slot].End;
        slot = tail++;
    }
    if (tail != first) QueueTail.store(tail, std::memory_order_release);
    NowPlayingWord.store(Word(slot, played), std::memory_order_release);
}
