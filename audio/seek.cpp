// Seeking in the track heard and going back: the run is stopped (the lists keep their place) and
// started again at the entry of the track heard, its stream positioned at the byte asked for.
//
// Everything here runs on the main thread.

#include "audio.h"
#include "internal.h"

#include "library/library.h"

#include <algorithm>

namespace {

constexpr int64_t RestartAfterSeconds = 3; // Previous goes back to the track's start after this much

// The run's bytes per second of the byte-interleaved pair (the frequency is the DSD rate / 32).
int64_t BytesPerSecond() {
    return int64_t{RunFrequency()} * 8;
}

// Stops the run and plays entry `place` from byte `offset` of its track on. The pause toggle goes
// off, as after Next.
void RestartAt(EntryPlace place, int64_t offset) {
    StopPlayback(true);
    SetTransportColours(0);
    StartPlayback({place.List, static_cast<int32_t>(place.Index), offset}, false);
}

} // namespace

int64_t FrameAlignedOffset(int64_t bytes) {
    return std::max<int64_t>(bytes, 0) / OutputFrameBytes * OutputFrameBytes;
}

EntryPlace PlaceBefore(EntryPlace place, size_t list1_size) {
    if (place.Index > 0) return {place.List, place.Index - 1};
    if (place.List == 2 && list1_size > 0) return {1, list1_size - 1};
    return place; // nothing comes before the first entry of the lists
}

bool PositionStreamHeard(int64_t offset) {
    const uint32_t stream = Transport.StreamHandle.load(std::memory_order_acquire);
    offset = FrameAlignedOffset(offset);
    if (!stream || offset == 0) return false;
    const uint64_t length = EngineFn.Tavo_ChannelGetLength(stream, 0);
    if (length == UINT64_MAX || static_cast<uint64_t>(offset) > length) return false;
    if (!EngineFn.Tavo_ChannelSetPosition(stream, static_cast<uint64_t>(offset), 0)) return false;
    MoveNowPlaying(offset);
    return true;
}

bool SeekTrackHeard(int64_t offset) {
    if (PlaybackIdle()) return false;
    const NowPlayingInfo now = TakeNowPlaying();
    const EntryPlace place = FindEntry(now.Track.TrackId);
    if (place.List == 0) return false; // the entry has left the lists
    offset = FrameAlignedOffset(offset);
    if (offset >= now.Track.End) {
        // Past the end of the track heard: the next one, as N.
        TransportNext();
        return true;
    }
    RestartAt(place, offset);
    return !PlaybackIdle();
}

bool SeekBySeconds(int seconds) {
    if (PlaybackIdle()) return false;
    return SeekTrackHeard(NowPlayingPlayed() + seconds * BytesPerSecond());
}

int64_t SeekOffsetOf(int64_t microseconds) {
    return FrameAlignedOffset(static_cast<int64_t>(static_cast<double>(microseconds) / 1e6 *
                                                   static_cast<double>(BytesPerSecond())));
}

void TransportPrevious() {
    if (PlaybackIdle()) return;
    const NowPlayingInfo now = TakeNowPlaying();
    EntryPlace place = FindEntry(now.Track.TrackId);
    if (place.List == 0) return;
    if (now.Played <= RestartAfterSeconds * BytesPerSecond())
        place = PlaceBefore(place, ListOf(1).Entries.size());
    RestartAt(place, 0);
}
