// The DSD-to-PCM converter: the program's byte-interleaved pair through the stages of PlanPcmStages, a fade
// and the volume at the base rate, the resampler where the device takes no rate of the DSD's family, then
// TPDF dither to the device's word length.
//
// Gain: 0 dB. A DSD bit is +1 or -1 and every stage has DC gain 1, so full modulation reads full scale and a
// 50 % modulation sine (the SACD reference level) reads -6 dBFS; legal signals never reach the clip guard.
//
// Exact silence: the first stage's tables have the response to the DSD silence pattern 0x69 taken out (it
// is a constant, a few parts in 1e7 at most, since 0x69 has only components at multiples of the byte rate,
// where the filter stops), so silence gives exact zeros through every stage; zero samples skip the dither.
// Same input after PcmReset gives the same bytes: the dither's generator restarts and draws only for
// samples that are not zero.
//
// Runs on the output thread once per period: no allocation, no locks (the buffers are sized at PcmCreate).
#include "output.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace tava {

namespace {

// The fade at pause, resume and stop: this many base-rate frames (about 3 ms), held back so that the fade
// ends where the music does.
constexpr uint32_t kFadeFrames = 256;

struct Stage {
    StageKind kind;
    std::vector<double> taps; // FromBits, LowPass: all; Halve, Double: the odd-offset ones from the centre
    double centre = 0;        // LowPass: the centre tap
    size_t history = 0;       // input samples kept from call to call
    std::array<std::vector<double>, 2> in; // per channel: history, then this call's input
};

// Fills the pair's channel c of n DSD bytes (every other byte of pair) into the first stage's byte buffer.
void TakeBytes(std::vector<uint8_t> &buf, size_t history, const uint8_t *pair, size_t n, int c) {
    uint8_t *b = buf.data() + history;
    for (size_t i = 0; i < n; ++i) b[i] = pair[2 * i + c];
}

} // namespace

struct PcmConverter {
    PcmSetup setup;
    std::vector<std::array<double, 256>> tables; // FromBits: per byte of history, newest first
    std::array<std::vector<uint8_t>, 2> bytes;   // per channel: history bytes, then this call's
    std::vector<Stage> stages;                   // after FromBits, up to the low-pass, then Double
    size_t doubleFrom = 0;                       // index in stages of the first Double stage
    uint32_t stepBytes = 0;                      // pair bytes per base-rate frame
    uint32_t maxSteps = 0;                       // base-rate frames per call at most
    uint32_t outFactor = 1;                      // frames after the Double stages per base-rate frame
    // The fade: base-rate samples held back, with whether each came from silence.
    std::array<std::vector<double>, 2> held;
    std::vector<uint8_t> heldSilent;
    double envelope = 1.0;                  // the fade's gain now
    double volume = 1.0;                    // the volume reached at the end of the last call
    std::array<std::vector<double>, 2> out; // the last stage's output, per channel
    std::vector<double> interleaved;        // the resampler's input, then
    std::vector<double> resampled;          // its output
    soxr_t soxr = nullptr;
    uint64_t dither = 0; // the generator's state
};

namespace {

constexpr uint64_t kDitherSeed = 0x9E3779B97F4A7C15ull;

// Uniform in [0, 1): xorshift64*, the top 53 bits.
double Uniform(uint64_t &s) {
    s ^= s >> 12, s ^= s << 25, s ^= s >> 27;
    return static_cast<double>((s * 2685821657736338717ull) >> 11) * 0x1p-53;
}

// One channel through the first stage: n bytes in, n samples out.
void FromBits(const PcmConverter &c, const uint8_t *b, size_t n, double *y) {
    const size_t taps = c.tables.size();
    for (size_t i = 0; i < n; ++i) y[i] = c.tables[0][b[taps - 1 + i]];
    for (size_t j = 1; j < taps; ++j) {
        const double *t = c.tables[j].data();
        const uint8_t *bj = b + taps - 1 - j;
        for (size_t i = 0; i < n; ++i) y[i] += t[bj[i]];
    }
}

// x points at the stage's input buffer (history first); n new samples. Returns the samples written to y.
size_t RunStage(const Stage &s, const double *x, size_t n, double *y) {
    const double *g = s.taps.data();
    const size_t h = s.history;
    switch (s.kind) {
    case StageKind::Halve: {
        // Newest input at i = h + 2o + 1; centre at i - c, c = h / 2.
        const size_t half = s.taps.size(), c = h / 2;
        for (size_t o = 0; o < n / 2; ++o) {
            const double *m = x + h + 2 * o + 1 - c;
            double acc = 0.5 * m[0];
            for (size_t j = 0; j < half; ++j)
                acc += g[j] * (m[2 * j + 1] + m[-static_cast<ptrdiff_t>(2 * j + 1)]);
            y[o] = acc;
        }
        return n / 2;
    }
    case StageKind::LowPass: {
        const size_t half = h / 2;
        for (size_t o = 0; o < n; ++o) {
            const double *newest = x + h + o, *oldest = x + o;
            double acc = s.centre * newest[-static_cast<ptrdiff_t>(half)];
            for (size_t k = 0; k < half; ++k) acc += g[k] * (newest[-static_cast<ptrdiff_t>(k)] + oldest[k]);
            y[o] = acc;
        }
        return n;
    }
    case StageKind::Double: {
        // h = 2K + 1. y[2p] = sum of 2 g_j (x[p-K+j] + x[p-K-1-j]), y[2p+1] = x[p-K].
        const size_t half = s.taps.size(), k = h / 2;
        for (size_t p = 0; p < n; ++p) {
            const double *m = x + h + p - k;
            double acc = 0.0;
            for (size_t j = 0; j < half; ++j) acc += g[j] * (m[j] + m[-static_cast<ptrdiff_t>(j + 1)]);
            y[2 * p] = acc;
            y[2 * p + 1] = m[0];
        }
        return 2 * n;
    }
    case StageKind::FromBits:
        break;
    }
    return 0;
}

// The stage's input buffer after n samples: its last history samples become the history.
void KeepHistory(std::vector<double> &in, size_t history, size_t n) {
    std::memmove(in.data(), in.data() + n, history * sizeof(double));
}

// The fade and volume on the base-rate samples of this call (n per channel in x[c]), through the held-back
// tail; the first n held samples come out in y[c].
void FadeAndVolume(PcmConverter &c, const std::array<double *, 2> &x, size_t n, bool silent, double gain,
                   const std::array<double *, 2> &y) {
    const size_t L = kFadeFrames;
    for (int ch = 0; ch < 2; ++ch) std::memcpy(c.held[ch].data() + L, x[ch], n * sizeof(double));
    std::memset(c.heldSilent.data() + L, silent ? 1 : 0, n);
    const double step = 1.0 / L, from = c.volume, dv = (gain - from) / static_cast<double>(n);
    for (size_t i = 0; i < n; ++i) {
        // Down ahead of the first silent sample, so that it is reached at zero; up once music comes again.
        const double target = c.heldSilent[i] || c.heldSilent[i + L] ? 0.0 : 1.0;
        c.envelope =
            target > c.envelope ? std::min(target, c.envelope + step) : std::max(target, c.envelope - step);
        const double g = c.envelope * (from + dv * static_cast<double>(i + 1));
        y[0][i] = c.held[0][i] * g;
        y[1][i] = c.held[1][i] * g;
    }
    c.volume = gain;
    for (int ch = 0; ch < 2; ++ch) std::memmove(c.held[ch].data(), c.held[ch].data() + n, L * sizeof(double));
    std::memmove(c.heldSilent.data(), c.heldSilent.data() + n, L);
}

// Through every stage and the fade: n base-rate frames' worth of pair bytes in; returns the frames in c.out.
size_t Filter(PcmConverter &c, const uint8_t *pair, uint32_t bytes, bool silent, double gain) {
    bytes = std::min(bytes, c.maxSteps * c.stepBytes) / c.stepBytes * c.stepBytes; // whole steps that fit
    const size_t perChannel = bytes / 2, firstHistory = c.tables.size() - 1;
    size_t n = perChannel;
    for (int ch = 0; ch < 2; ++ch) {
        TakeBytes(c.bytes[ch], firstHistory, pair, perChannel, ch);
        Stage &next = c.stages.front();
        FromBits(c, c.bytes[ch].data(), perChannel, next.in[ch].data() + next.history);
        std::memmove(c.bytes[ch].data(), c.bytes[ch].data() + perChannel, firstHistory);
    }
    for (size_t i = 0; i < c.stages.size(); ++i) {
        Stage &s = c.stages[i];
        size_t produced = 0;
        std::array<double *, 2> dest;
        for (int ch = 0; ch < 2; ++ch) {
            if (i + 1 == c.doubleFrom)
                dest[ch] = c.out[ch].data(); // the low-pass: to the fade first
            else if (i + 1 < c.stages.size())
                dest[ch] = c.stages[i + 1].in[ch].data() + c.stages[i + 1].history;
            else
                dest[ch] = c.out[ch].data();
            produced = RunStage(s, s.in[ch].data(), n, dest[ch]);
            KeepHistory(s.in[ch], s.history, n);
        }
        n = produced;
        if (i + 1 == c.doubleFrom) {
            std::array<double *, 2> faded = dest;
            if (i + 1 < c.stages.size())
                for (int ch = 0; ch < 2; ++ch)
                    faded[ch] = c.stages[i + 1].in[ch].data() + c.stages[i + 1].history;
            FadeAndVolume(c, dest, n, silent, gain, faded);
        }
    }
    return n;
}

// Device samples from a signal in [-1, 1): TPDF dither of one step at the device's word length, rounded,
// clipped, left-aligned in the container.
void Pack(PcmConverter &c, const std::array<const double *, 2> &x, size_t stride, size_t frames,
          uint8_t *out) {
    const PcmSetup &s = c.setup;
    const uint32_t bits = s.format == PcmFormat::S32Le ? std::min(s.bits, 32u) : std::min(s.bits, 24u);
    const double scale = std::ldexp(1.0, static_cast<int>(bits) - 1), top = scale - 1.0;
    const uint32_t sampleBytes = PcmSampleBytes(s.format);
    const int shift = (s.format == PcmFormat::S32Le ? 32 : 24) - static_cast<int>(bits);
    const size_t frameBytes = static_cast<size_t>(sampleBytes) * s.channels;
    std::memset(out, 0, frames * frameBytes);
    for (size_t f = 0; f < frames; ++f) {
        for (int ch = 0; ch < 2; ++ch) {
            const double v = x[ch][f * stride];
            if (v == 0.0) continue; // exact silence stays exact, without dither
            double q = std::floor(v * scale + Uniform(c.dither) - Uniform(c.dither) + 0.5);
            q = std::clamp(q, -scale, top);
            const auto word = static_cast<uint32_t>(static_cast<int32_t>(q) * (int64_t{1} << shift));
            uint8_t *o = out + f * frameBytes + (s.pairChannel + ch) * sampleBytes;
            if (s.format == PcmFormat::S24_3Le) {
                o[0] = word & 0xFF, o[1] = (word >> 8) & 0xFF, o[2] = (word >> 16) & 0xFF;
            } else if (s.format == PcmFormat::S24Le) {
                const uint32_t w = (word & 0x800000) ? (word | 0xFF000000u) : (word & 0xFFFFFFu);
                std::memcpy(o, &w, 4); // the host is little-endian, as x86-64 and ARM Linux are
            } else {
                std::memcpy(o, &word, 4);
            }
        }
    }
}

} // namespace

PcmConverter *PcmCreate(const PcmSetup &setup, std::string &why) {
    const double base = PcmBaseRate(setup.dsdRate);
    const uint32_t planRate = setup.resampled ? static_cast<uint32_t>(base) : setup.deviceRate;
    std::vector<PcmStage> plan = PlanPcmStages(setup.dsdRate, planRate);
    if (plan.empty()) {
        why = "no conversion from DSD at " + std::to_string(setup.dsdRate) + " Hz to PCM at " +
              std::to_string(setup.deviceRate) + " Hz";
        return nullptr;
    }
    try {
        auto c = std::make_unique<PcmConverter>();
        c->setup = setup;
        c->stepBytes = 2 * setup.dsdRate / 8 / static_cast<uint32_t>(base);
        c->maxSteps = std::max(1u, setup.maxPairBytes / c->stepBytes);
        c->outFactor = planRate / static_cast<uint32_t>(base);

        // The first stage's tables: for the byte j bytes back, the sum of its 8 taps times +1 or -1 per bit
        // (the most significant bit is the oldest), less what the silence pattern gives there.
        const std::vector<double> &h = plan.front().taps;
        c->tables.resize(h.size() / 8);
        for (size_t j = 0; j < c->tables.size(); ++j) {
            for (int b = 0; b < 256; ++b) {
                double sum = 0.0;
                for (int bit = 0; bit < 8; ++bit) sum += h[8 * j + bit] * (((b >> bit) & 1) ? 1.0 : -1.0);
                c->tables[j][b] = sum;
            }
            const double silence = c->tables[j][kDsdSilence];
            for (double &t : c->tables[j]) t -= silence;
        }
        const size_t firstHistory = c->tables.size() - 1;
        size_t n = static_cast<size_t>(c->maxSteps) * c->stepBytes / 2; // samples entering the next stage
        for (int ch = 0; ch < 2; ++ch) c->bytes[ch].assign(firstHistory + n, kDsdSilence);
        for (size_t i = 1; i < plan.size(); ++i) {
            const PcmStage &p = plan[i];
            Stage s;
            s.kind = p.kind;
            const size_t len = p.taps.size(), centre = len / 2;
            if (p.kind == StageKind::LowPass) {
                s.taps.assign(p.taps.begin(), p.taps.begin() + static_cast<long>(centre));
                s.centre = p.taps[centre];
                s.history = len - 1;
            } else {
                // The odd offsets from the centre; doubled for interpolation, whose zeros take half the gain.
                for (size_t j = centre + 1; j < len; j += 2)
                    s.taps.push_back(p.taps[j] * (p.kind == StageKind::Double ? 2.0 : 1.0));
                s.history = p.kind == StageKind::Double ? len / 2 : len - 1;
            }
            for (int ch = 0; ch < 2; ++ch) s.in[ch].assign(s.history + n, 0.0);
            if (p.kind == StageKind::LowPass) c->doubleFrom = c->stages.size() + 1;
            n = p.kind == StageKind::Halve ? n / 2 : p.kind == StageKind::Double ? 2 * n : n;
            c->stages.push_back(std::move(s));
        }
        const size_t steps = c->maxSteps;
        for (int ch = 0; ch < 2; ++ch) {
            c->held[ch].assign(kFadeFrames + steps, 0.0);
            c->out[ch].assign(steps * c->outFactor, 0.0);
        }
        c->heldSilent.assign(kFadeFrames + steps, 0);
        if (setup.resampled) {
            c->interleaved.assign(2 * steps, 0.0);
            c->resampled.assign(2 * (PcmMaxFrames(c.get())), 0.0);
            const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
            const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
            const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
            soxr_error_t err = nullptr;
            c->soxr = soxr_create(base, setup.deviceRate, 2, &err, &io, &quality, &runtime);
            if (!c->soxr) {
                why = std::string("soxr_create failed: ") + (err ? err : "?");
                return nullptr;
            }
        }
        PcmReset(c.get());
        return c.release();
    } catch (const std::bad_alloc &) {
        why = "no memory for the converter";
        return nullptr;
    }
}

void PcmDestroy(PcmConverter *c) {
    if (c && c->soxr) soxr_delete(c->soxr);
    delete c;
}

void PcmReset(PcmConverter *c) {
    for (int ch = 0; ch < 2; ++ch) {
        std::fill(c->bytes[ch].begin(), c->bytes[ch].end(), kDsdSilence);
        for (Stage &s : c->stages) std::fill(s.in[ch].begin(), s.in[ch].end(), 0.0);
        std::fill(c->held[ch].begin(), c->held[ch].end(), 0.0);
    }
    std::fill(c->heldSilent.begin(), c->heldSilent.end(), 0);
    c->envelope = 1.0;
    c->volume = 1.0;
    c->dither = kDitherSeed;
    if (c->soxr) {
        // The resampler sets itself up on its first input: give it that here, on the calling thread, so that
        // the output thread's calls find it ready and never allocate. Zeros in, zeros out.
        soxr_clear(c->soxr);
        std::fill(c->interleaved.begin(), c->interleaved.end(), 0.0);
        size_t done = 0, made = 0;
        // A few calls of the largest size: its buffers grow on the first ones.
        for (int i = 0; i < 8; ++i)
            soxr_process(c->soxr, c->interleaved.data(), c->interleaved.size() / 2, &done,
                         c->resampled.data(), c->resampled.size() / 2, &made);
    }
}

uint32_t PcmPairBytesPerStep(const PcmConverter *c) {
    return c->stepBytes;
}

uint32_t PcmMaxFrames(const PcmConverter *c) {
    if (!c->setup.resampled) return c->maxSteps * c->outFactor;
    const double base = PcmBaseRate(c->setup.dsdRate);
    return static_cast<uint32_t>(std::ceil(c->maxSteps * c->setup.deviceRate / base)) + 1024;
}

uint32_t PcmConvert(PcmConverter *c, const uint8_t *pair, uint32_t bytes, bool silent, double gain,
                    uint8_t *out) {
    const size_t n = Filter(*c, pair, bytes, silent, std::clamp(gain, 0.0, 1.0));
    if (!c->soxr) {
        Pack(*c, {c->out[0].data(), c->out[1].data()}, 1, n, out);
        return static_cast<uint32_t>(n);
    }
    for (size_t i = 0; i < n; ++i)
        c->interleaved[2 * i] = c->out[0][i], c->interleaved[2 * i + 1] = c->out[1][i];
    size_t done = 0, made = 0;
    soxr_process(c->soxr, c->interleaved.data(), n, &done, c->resampled.data(), c->resampled.size() / 2,
                 &made);
    Pack(*c, {c->resampled.data(), c->resampled.data() + 1}, 2, made, out);
    return static_cast<uint32_t>(made);
}

uint32_t PcmConvertToDouble(PcmConverter *c, const uint8_t *pair, uint32_t bytes, double *out) {
    const size_t n = Filter(*c, pair, bytes, false, 1.0);
    for (size_t i = 0; i < n; ++i) out[2 * i] = c->out[0][i], out[2 * i + 1] = c->out[1][i];
    return static_cast<uint32_t>(n);
}

} // namespace tava
