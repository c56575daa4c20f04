// The output host's decisions and conversion: which packing a device gets, the device frames built from the
// program's pair, and DoP framing.

#include "output.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <vector>

namespace {

using tava::Packing;

// A fake device: what it takes is a packing at one frame rate with some channel counts; all: it takes every
// packing at every rate with 2 channels (or the least asked).
struct Accepts {
    Packing packing;
    uint32_t frameRate;
    std::vector<uint32_t> channels;
};

TEST(OutputLogic, ChooseLayout_TakesFirstPackingTheDeviceAcceptsAtTheExactFrameRate) {
    using P = Packing;
    using tava::Choice;
    struct Case {
        const char *what;
        bool all;
        std::vector<Accepts> accepts;
        double rate;
        uint32_t minChannels;
        std::optional<Choice> expected;
    };
    // clang-format off
    const Case cases[] = {
        {"takes everything", true, {}, 2822400, 2, Choice{P::DsdU32Be, 88200, 2}},
        {"U32_LE before U8", false, {{P::DsdU8, 352800, {2}}, {P::DsdU32Le, 88200, {2}}}, 2822400, 2,
         Choice{P::DsdU32Le, 88200, 2}},
        // U32_BE at 176,400 frames is DSD128, not DSD64: for DSD64 the device must take U16 at that rate.
        {"exact frame rate per container", false, {{P::DsdU32Be, 176400, {2}}, {P::DsdU16Le, 176400, {2}}},
         2822400, 2, Choice{P::DsdU16Le, 176400, 2}},
        {"U8 only", false, {{P::DsdU8, 352800, {2}}}, 2822400, 2, Choice{P::DsdU8, 352800, 2}},
        {"native before DoP", false, {{P::DopS32Le, 176400, {2}}, {P::DsdU8, 352800, {2}}}, 2822400, 2,
         Choice{P::DsdU8, 352800, 2}},
        {"PCM only: DoP in S32 first", false, {{P::DopS24Le, 176400, {2}}, {P::DopS32Le, 176400, {2}}},
         2822400, 2, Choice{P::DopS32Le, 176400, 2}},
        {"PCM only: DoP in S24", false, {{P::DopS24Le, 384000, {2}}}, 6144000, 2, Choice{P::DopS24Le, 384000, 2}},
        {"DoP rate too low for DSD128", false, {{P::DopS32Le, 176400, {2}}}, 5644800, 2, std::nullopt},
        {"takes nothing", false, {}, 2822400, 2, std::nullopt},
        {"not a DSD rate", true, {}, 44100, 2, std::nullopt},
        {"smallest channel count", false, {{P::DsdU32Be, 88200, {8, 4}}}, 2822400, 2, Choice{P::DsdU32Be, 88200, 4}},
        {"pair above channel 2", false, {{P::DsdU32Be, 88200, {2, 4, 8}}}, 2822400, 5, Choice{P::DsdU32Be, 88200, 8}},
        {"a format at more channels wins over a later one",
         false, {{P::DsdU32Be, 88200, {6}}, {P::DsdU32Le, 88200, {2}}}, 2822400, 2, Choice{P::DsdU32Be, 88200, 6}},
    };
    // clang-format on
    auto key = [](const std::optional<Choice> &c) {
        return c ? std::tuple(static_cast<int>(c->packing), c->frameRate, c->channels)
                 : std::tuple(-1, 0u, 0u);
    };
    for (const Case &c : cases) {
        const auto choice =
            tava::ChooseLayout(c.rate, c.minChannels, [&](Packing p, uint32_t rate, uint32_t min) {
                uint32_t best = 0;
                for (const Accepts &a : c.accepts)
                    if (a.packing == p && a.frameRate == rate)
                        for (uint32_t n : a.channels)
                            if (n >= min && (best == 0 || n < best)) best = n;
                return c.all ? std::max(2u, min) : best;
            });
        EXPECT_EQ(key(choice), key(c.expected)) << c.what;
    }
}

// Two frames of U32 worth of pair bytes: left bytes 0x10..0x17, right bytes 0x20..0x27, oldest first.
const std::vector<uint8_t> kPair = {0x10, 0x20, 0x11, 0x21, 0x12, 0x22, 0x13, 0x23,
                                    0x14, 0x24, 0x15, 0x25, 0x16, 0x26, 0x17, 0x27};

TEST(OutputLogic, ConvertPair_BuildsEachDeviceLayout) {
    struct Case {
        const char *what;
        tava::Layout layout;
        uint32_t frames;
        std::vector<uint8_t> expected;
    };
    using P = Packing;
    // clang-format off
    const Case cases[] = {
        {"U32_BE", {P::DsdU32Be, 2, 0}, 2,
         {0x10, 0x11, 0x12, 0x13, 0x20, 0x21, 0x22, 0x23, 0x14, 0x15, 0x16, 0x17, 0x24, 0x25, 0x26, 0x27}},
        {"U32_LE", {P::DsdU32Le, 2, 0}, 2,
         {0x13, 0x12, 0x11, 0x10, 0x23, 0x22, 0x21, 0x20, 0x17, 0x16, 0x15, 0x14, 0x27, 0x26, 0x25, 0x24}},
        {"U16_BE", {P::DsdU16Be, 2, 0}, 4,
         {0x10, 0x11, 0x20, 0x21, 0x12, 0x13, 0x22, 0x23, 0x14, 0x15, 0x24, 0x25, 0x16, 0x17, 0x26, 0x27}},
        {"U16_LE", {P::DsdU16Le, 2, 0}, 4,
         {0x11, 0x10, 0x21, 0x20, 0x13, 0x12, 0x23, 0x22, 0x15, 0x14, 0x25, 0x24, 0x17, 0x16, 0x27, 0x26}},
        {"U8", {P::DsdU8, 2, 0}, 8, kPair},
        {"U32_BE on channels 1-2 of 4", {P::DsdU32Be, 4, 1}, 1,
         {0x69, 0x69, 0x69, 0x69, 0x10, 0x11, 0x12, 0x13, 0x20, 0x21, 0x22, 0x23, 0x69, 0x69, 0x69, 0x69}},
        // DoP: older byte above newer byte, marker on top, the same marker on both channels of a frame.
        {"DoP S32_LE", {P::DopS32Le, 2, 0}, 4,
         {0x00, 0x11, 0x10, 0x05, 0x00, 0x21, 0x20, 0x05, 0x00, 0x13, 0x12, 0xFA, 0x00, 0x23, 0x22, 0xFA,
          0x00, 0x15, 0x14, 0x05, 0x00, 0x25, 0x24, 0x05, 0x00, 0x17, 0x16, 0xFA, 0x00, 0x27, 0x26, 0xFA}},
        {"DoP S24_LE", {P::DopS24Le, 2, 0}, 2,
         {0x11, 0x10, 0x05, 0x00, 0x21, 0x20, 0x05, 0x00, 0x13, 0x12, 0xFA, 0xFF, 0x23, 0x22, 0xFA, 0xFF}},
        // A channel outside the pair carries DoP silence, so that a DAC sees valid DoP on every channel.
        {"DoP S32_LE with a third channel", {P::DopS32Le, 3, 0}, 2,
         {0x00, 0x11, 0x10, 0x05, 0x00, 0x21, 0x20, 0x05, 0x00, 0x69, 0x69, 0x05,
          0x00, 0x13, 0x12, 0xFA, 0x00, 0x23, 0x22, 0xFA, 0x00, 0x69, 0x69, 0xFA}},
    };
    // clang-format on
    // Each case in two calls, the first of one frame: DoP markers alternate across periods too.
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> out(c.expected.size() + 4, 0xEE);
        uint8_t marker = tava::kDopMarkerA;
        tava::ConvertPair(c.layout, kPair.data(), out.data(), 1, marker);
        tava::ConvertPair(c.layout, kPair.data() + tava::PairBytesPerFrame(c.layout.packing),
                          out.data() + c.expected.size() / c.frames, c.frames - 1, marker);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.end() - 4), c.expected);
        EXPECT_EQ(std::vector<uint8_t>(out.end() - 4, out.end()), std::vector<uint8_t>(4, 0xEE))
            << "wrote past";
    }
}

} // namespace
