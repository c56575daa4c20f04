// The kernels of the read path: interleaving two channels' bytes into left/right pairs, with the
// bits of each byte reversed for DSF files that store the oldest bit least significant. SSE2 is the
// x86-64 baseline, so the vector path needs no run-time check; the scalar loop takes the tails.

#include "dsd.h"

#include <array>
#include <emmintrin.h>

namespace {

constexpr std::array<uint8_t, 256> MakeReverseTable() {
    std::array<uint8_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v) {
        unsigned r = 0;
        for (unsigned bit = 0; bit < 8; ++bit)
            if (v & (1u << bit)) r |= 0x80u >> bit;
        t[v] = static_cast<uint8_t>(r);
    }
    return t;
}

constexpr std::array<uint8_t, 256> ReverseTable = MakeReverseTable();

// Reverses the bits of every byte: swap neighbouring bits, then pairs, then nibbles. The shifts work
// on 16-bit lanes; masking keeps bits from crossing into the neighbouring byte.
inline __m128i ReverseBits(__m128i x) {
    const __m128i m1 = _mm_set1_epi8(0x55), m2 = _mm_set1_epi8(0x33), m4 = _mm_set1_epi8(0x0F);
    __m128i lo = _mm_and_si128(x, m1);
    x = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(x, 1), m1), _mm_add_epi8(lo, lo));
    x = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(x, 2), m2), _mm_slli_epi16(_mm_and_si128(x, m2), 2));
    x = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(x, 4), m4), _mm_slli_epi16(_mm_and_si128(x, m4), 4));
    return x;
}

template <bool Reverse>
void InterleaveT(uint8_t *out, const uint8_t *left, const uint8_t *right, size_t n) {
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        __m128i l0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(left + i));
        __m128i l1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(left + i + 16));
        __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(right + i));
        __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(right + i + 16));
        if constexpr (Reverse) {
            l0 = ReverseBits(l0), l1 = ReverseBits(l1);
            r0 = ReverseBits(r0), r1 = ReverseBits(r1);
        }
        auto *o = reinterpret_cast<__m128i *>(out + 2 * i);
        _mm_storeu_si128(o + 0, _mm_unpacklo_epi8(l0, r0));
        _mm_storeu_si128(o + 1, _mm_unpackhi_epi8(l0, r0));
        _mm_storeu_si128(o + 2, _mm_unpacklo_epi8(l1, r1));
        _mm_storeu_si128(o + 3, _mm_unpackhi_epi8(l1, r1));
    }
    for (; i < n; ++i) {
        out[2 * i] = Reverse ? ReverseTable[left[i]] : left[i];
        out[2 * i + 1] = Reverse ? ReverseTable[right[i]] : right[i];
    }
}

} // namespace

void Dsd_Interleave(uint8_t *out, const uint8_t *left, const uint8_t *right, size_t n, bool reverse) {
    if (reverse)
        InterleaveT<true>(out, left, right, n);
    else
        InterleaveT<false>(out, left, right, n);
}

void Dsd_Gather(uint8_t *out, const uint8_t *in, size_t n, uint32_t stride, uint32_t left, uint32_t right) {
    for (size_t i = 0; i < n; ++i, in += stride) {
        out[2 * i] = in[left];
        out[2 * i + 1] = in[right];
    }
}
