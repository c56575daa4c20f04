// The program's byte-interleaved pair into the device's frames. Runs on the output thread once per period:
// no allocation, no locks.
#include "output.h"

#include <bit>
#include <cstring>

namespace tava {

namespace {

// Bytes standing in for a channel outside the pair.
constexpr uint8_t kSilenceBytes[4] = {kDsdSilence, kDsdSilence, kDsdSilence, kDsdSilence};

// Writes one channel of one device frame to o. b points at the channel's oldest DSD byte of the frame; the
// next ones follow every stride bytes.
template <Packing P>
inline void PutChannel(uint8_t *o, const uint8_t *b, uint32_t stride, uint8_t marker) {
    if constexpr (P == Packing::DsdU32Be) {
        o[0] = b[0], o[1] = b[stride], o[2] = b[2 * stride], o[3] = b[3 * stride];
    } else if constexpr (P == Packing::DsdU32Le) {
        // The oldest byte is the word's most significant one, which a little-endian word stores last.
        o[3] = b[0], o[2] = b[stride], o[1] = b[2 * stride], o[0] = b[3 * stride];
    } else if constexpr (P == Packing::DsdU16Be) {
        o[0] = b[0], o[1] = b[stride];
    } else if constexpr (P == Packing::DsdU16Le) {
        o[1] = b[0], o[0] = b[stride];
    } else if constexpr (P == Packing::DsdU8) {
        o[0] = b[0];
    } else if constexpr (P == Packing::DopS32Le) {
        // Sample = marker << 24 | older << 16 | newer << 8, little-endian.
        o[0] = 0, o[1] = b[stride], o[2] = b[0], o[3] = marker;
    } else {
        static_assert(P == Packing::DopS24Le);
        // Sample = marker << 16 | older << 8 | newer in the low 3 bytes; the top byte extends the sign, as a
        // 24-bit sample held in 32 bits does.
        o[0] = b[stride], o[1] = b[0], o[2] = marker, o[3] = (marker & 0x80) ? 0xFF : 0x00;
    }
}

template <Packing P>
void Convert(const Layout &layout, const uint8_t *pair, uint8_t *out, uint32_t frames, uint8_t &marker) {
    constexpr uint32_t n = PairBytesPerFrame(P) / 2; // DSD bytes of one channel per frame
    constexpr uint32_t cb = ContainerBytes(P);
    const uint32_t left = layout.pairChannel, right = layout.pairChannel + 1;
    for (uint32_t f = 0; f < frames; ++f, pair += 2 * n) {
        for (uint32_t c = 0; c < layout.channels; ++c, out += cb) {
            if (c == left)
                PutChannel<P>(out, pair, 2, marker);
            else if (c == right)
                PutChannel<P>(out, pair + 1, 2, marker);
            else
                PutChannel<P>(out, kSilenceBytes, 1, marker);
        }
        if constexpr (IsDop(P)) marker = marker == kDopMarkerA ? kDopMarkerB : kDopMarkerA;
    }
}

// The pair's eight bytes of one frame, L0 R0 L1 R1 L2 R2 L3 R3 in memory (a little-endian word), as
// L0 L1 L2 L3 R0 R1 R2 R3: the middle bytes of each half trade places, then the middle halves of the
// word do.
inline uint64_t SplitFrame(uint64_t x) {
    x = (x & 0xFF0000FFFF0000FFull) | ((x & 0x0000FF000000FF00ull) << 8) | ((x >> 8) & 0x0000FF000000FF00ull);
    return (x & 0xFFFF00000000FFFFull) | ((x & 0x00000000FFFF0000ull) << 16) |
           ((x >> 16) & 0x00000000FFFF0000ull);
}

// A two-channel device in DSD_U32, the common case: a word per frame instead of a byte per channel
// and byte.
template <Packing P>
void ConvertStereoU32(const uint8_t *pair, uint8_t *out, uint32_t frames) {
    static_assert(P == Packing::DsdU32Be || P == Packing::DsdU32Le);
    static_assert(std::endian::native == std::endian::little,
                  "SplitFrame reads the pair as a little-endian word");
    for (uint32_t f = 0; f < frames; ++f, pair += 8, out += 8) {
        uint64_t x;
        std::memcpy(&x, pair, 8);
        x = SplitFrame(x);
        // Each channel's word with its oldest byte most significant, stored little-endian: the bytes of
        // each half reversed.
        if constexpr (P == Packing::DsdU32Le) x = std::rotl(__builtin_bswap64(x), 32);
        std::memcpy(out, &x, 8);
    }
}

} // namespace

void ConvertPair(const Layout &layout, const uint8_t *pair, uint8_t *out, uint32_t frames, uint8_t &marker) {
    const bool stereo = layout.channels == 2 && layout.pairChannel == 0;
    if (stereo && layout.packing == Packing::DsdU32Be)
        return ConvertStereoU32<Packing::DsdU32Be>(pair, out, frames);
    if (stereo && layout.packing == Packing::DsdU32Le)
        return ConvertStereoU32<Packing::DsdU32Le>(pair, out, frames);
    switch (layout.packing) {
    case Packing::DsdU32Be:
        return Convert<Packing::DsdU32Be>(layout, pair, out, frames, marker);
    case Packing::DsdU32Le:
        return Convert<Packing::DsdU32Le>(layout, pair, out, frames, marker);
    case Packing::DsdU16Be:
        return Convert<Packing::DsdU16Be>(layout, pair, out, frames, marker);
    case Packing::DsdU16Le:
        return Convert<Packing::DsdU16Le>(layout, pair, out, frames, marker);
    case Packing::DsdU8:
        return Convert<Packing::DsdU8>(layout, pair, out, frames, marker);
    case Packing::DopS32Le:
        return Convert<Packing::DopS32Le>(layout, pair, out, frames, marker);
    case Packing::DopS24Le:
        return Convert<Packing::DopS24Le>(layout, pair, out, frames, marker);
    case Packing::COUNT:
        break;
    }
}

} // namespace tava
