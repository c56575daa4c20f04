// The DSD-to-PCM converter against the ideal and against ffmpeg's converter, on the same bits of a real
// sigma-delta modulator: tone levels from 20 Hz to 20 kHz, SNR from 20 Hz to 20 kHz, power above 30 kHz, the
// converter's own error against a float64 reference of the same filters, and CPU. Prints a table (run by
// hand; ffmpeg's column is left out where ffmpeg is missing).
//
//   bench_pcm [seconds [order]]   (default 4 s of DSD64 from a 6th-order modulator; DSD512 for the real-time
//                                 figure)
//
// The ideal is the file's own bits: the tones' levels and the in-band noise measured on the DSD stream by
// least squares and FFT. A converter's figures are the same measurements on its PCM.
#include "output.h"
#include "sdm.h"

#include <fftw3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t kDsd64 = 2822400, kDsd512 = 22579200;
// The multitone: levels across the band, each tone at -20 dBFS (10 % modulation; 50 % in all).
constexpr double kTones[] = {20, 100, 1000, 5000, 10000, 15000, 20000};
constexpr double kToneAmplitude = 0.1;
constexpr double kSnrTone = 1000, kSnrAmplitude = 0.5; // the SNR's signal: the SACD reference level

double CpuSeconds(clockid_t clock) {
    timespec t;
    clock_gettime(clock, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

double ChildrenCpu() {
    rusage u;
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Signal samples: the DSD bits as +1 / -1, or a converter's PCM.
using Signal = std::vector<double>;

Signal Bits(const std::vector<uint8_t> &bytes) {
    Signal x(bytes.size() * 8);
    for (size_t i = 0; i < x.size(); ++i) x[i] = (bytes[i / 8] >> (7 - i % 8)) & 1 ? 1.0 : -1.0;
    return x;
}

// Least-squares fit of a tone (cycles per sample) over x[from, to), whole periods of it: its amplitude;
// subtracts it when asked.
double FitTone(Signal &x, double f, size_t from, size_t to, bool subtract) {
    double s = 0, c = 0;
    for (size_t i = from; i < to; ++i) {
        const double w = 2 * M_PI * f * static_cast<double>(i);
        s += x[i] * std::sin(w), c += x[i] * std::cos(w);
    }
    s *= 2.0 / static_cast<double>(to - from), c *= 2.0 / static_cast<double>(to - from);
    if (subtract)
        for (size_t i = from; i < to; ++i) {
            const double w = 2 * M_PI * f * static_cast<double>(i);
            x[i] -= s * std::sin(w) + c * std::cos(w);
        }
    return std::hypot(s, c);
}

// Power (mean square, full scale 1) of x[from, from + n) between lo and hi Hz, by a Hann-windowed FFT; the
// mean is removed first (a DC offset is no noise of the band).
double BandPower(const Signal &x, size_t from, size_t n, double rate, double lo, double hi) {
    double *in = fftw_alloc_real(n);
    fftw_complex *out = fftw_alloc_complex(n / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(n), in, out, FFTW_ESTIMATE);
    double mean = 0, wsum = 0;
    for (size_t i = 0; i < n; ++i) mean += x[from + i];
    mean /= static_cast<double>(n);
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(i) / static_cast<double>(n));
        in[i] = (x[from + i] - mean) * w;
        wsum += w * w;
    }
    fftw_execute(plan);
    double p = 0;
    for (size_t k = 1; k <= n / 2; ++k) {
        const double f = static_cast<double>(k) * rate / static_cast<double>(n);
        if (f >= lo && f <= hi)
            p += (k == n / 2 ? 1.0 : 2.0) * (out[k][0] * out[k][0] + out[k][1] * out[k][1]);
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
    return p / (wsum * static_cast<double>(n));
}

double Db(double power) {
    return 10 * std::log10(power);
}

struct Figures {
    double levels[std::size(kTones)]; // dB against the ideal
    double snr = 0;                   // dB, 20 Hz - 20 kHz
    double above30k = 0;              // dBFS
    double cpu = 0;                   // seconds
};

// The measurements on a record at rate of the multitone (first half) and the SNR tone (second half), each
// half-length seconds, with the first settle samples of each half left out.
void Measure(Signal x, double rate, size_t halfSamples, size_t settle, Figures &fig, const Figures *ideal) {
    // Whole periods of every tone (all are multiples of 20 Hz), so that the fits see orthogonal tones.
    const auto period = static_cast<size_t>(rate / 20);
    const size_t n = (halfSamples - settle) / period * period;
    for (size_t t = 0; t < std::size(kTones); ++t) {
        const double a = FitTone(x, kTones[t] / rate, settle, settle + n, false);
        fig.levels[t] = 20 * std::log10(a / kToneAmplitude) - (ideal ? ideal->levels[t] : 0.0);
    }
    const size_t from = halfSamples + settle;
    const double a = FitTone(x, kSnrTone / rate, from, from + n, true);
    fig.snr = Db(a * a / 2) - Db(BandPower(x, from, n, rate, 20, 20000));
    fig.above30k = Db(BandPower(x, from, n, rate, 30000, rate / 2));
}

// Our converter over the pair into S32_LE at 352.8 kHz (24 significant bits, as most DACs), as the output
// thread runs it: calls of one 20 ms period.
Signal RunOurs(const std::vector<uint8_t> &pair, uint32_t dsdRate, uint32_t outRate, double &cpu) {
    constexpr uint32_t kSteps = 1764; // 20 ms at 88.2 kHz
    const uint32_t bytes = kSteps * (2 * dsdRate / 8 / tava::PcmBaseRate(dsdRate));
    std::string why;
    tava::PcmConverter *c =
        tava::PcmCreate({dsdRate, outRate, false, tava::PcmFormat::S32Le, 24, 2, 0, bytes}, why);
    if (!c) {
        std::fprintf(stderr, "bench_pcm: %s\n", why.c_str());
        std::exit(1);
    }
    std::vector<uint8_t> frames(tava::PcmMaxFrames(c) * 8);
    Signal left;
    left.reserve(pair.size() / 2 * outRate / (dsdRate / 8));
    double converting = 0;
    for (size_t at = 0; at + bytes <= pair.size(); at += bytes) {
        const double a = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const uint32_t n = tava::PcmConvert(c, pair.data() + at, bytes, false, 1.0, frames.data());
        converting += CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - a;
        for (uint32_t i = 0; i < n; ++i) {
            int32_t v;
            std::memcpy(&v, &frames[8 * i], 4);
            left.push_back(v * 0x1p-31);
        }
    }
    cpu = converting;
    tava::PcmDestroy(c);
    return left;
}

// A float64 reference of the same filters, computed the plain way: every stage a direct convolution at its
// full input rate (zeros stuffed in for the doubling ones), the bits as +1 / -1, less the response to the
// silence pattern. Left channel only.
Signal Reference(const std::vector<uint8_t> &pair, uint32_t dsdRate, uint32_t outRate) {
    const std::vector<tava::PcmStage> plan = tava::PlanPcmStages(dsdRate, outRate);
    std::vector<uint8_t> left(pair.size() / 2), silence(4, 0x69);
    for (size_t i = 0; i < left.size(); ++i) left[i] = pair[2 * i];
    // The converter starts with the silence pattern in the first stage's history.
    const size_t pad = plan[0].taps.size() / 8 + 1;
    auto firstStage = [&](const std::vector<uint8_t> &bytes) {
        std::vector<uint8_t> padded(pad, 0x69);
        padded.insert(padded.end(), bytes.begin(), bytes.end());
        const Signal bits = Bits(padded);
        const std::vector<double> &h = plan[0].taps;
        Signal y(bytes.size());
        for (size_t o = 0; o < y.size(); ++o) {
            const size_t newest = 8 * (pad + o) + 7;
            double acc = 0;
            for (size_t k = 0; k < h.size(); ++k) acc += h[k] * bits[newest - k];
            y[o] = acc;
        }
        return y;
    };
    // The silence pattern's response, a constant.
    const double offset = firstStage(silence).back();
    Signal x = firstStage(left);
    for (double &v : x) v -= offset;
    for (size_t s = 1; s < plan.size(); ++s) {
        const std::vector<double> &h = plan[s].taps;
        Signal in = x;
        if (plan[s].kind == tava::StageKind::Double) {
            in.assign(2 * x.size(), 0.0);
            for (size_t i = 0; i < x.size(); ++i) in[2 * i] = 2 * x[i];
        }
        Signal y(in.size());
        for (size_t i = 0; i < in.size(); ++i) {
            double acc = 0;
            for (size_t k = 0; k < h.size() && k <= i; ++k) acc += h[k] * in[i - k];
            y[i] = acc;
        }
        if (plan[s].kind == tava::StageKind::Halve) {
            x.assign(y.size() / 2, 0.0);
            for (size_t i = 0; i < x.size(); ++i) x[i] = y[2 * i + 1];
        } else {
            x = y;
        }
    }
    return x;
}

// ffmpeg's converter on a DSF of the pair: its PCM (352.8 kHz for DSD64, as f64) and its CPU.
bool RunFfmpeg(const std::vector<uint8_t> &pair, uint32_t dsdRate, Signal &left, double &cpu) {
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) return false;
    char dir[] = "/tmp/bench_pcm_XXXXXX";
    if (!mkdtemp(dir)) return false;
    const std::string dsf = std::string(dir) + "/x.dsf", raw = std::string(dir) + "/x.raw";
    if (!WriteDsf(dsf, dsdRate, pair)) return false;
    const double before = ChildrenCpu();
    const std::string cmd = "ffmpeg -v error -y -i " + dsf + " -f s32le " + raw;
    const bool ok = std::system(cmd.c_str()) == 0;
    cpu = ChildrenCpu() - before;
    std::FILE *f = std::fopen(raw.c_str(), "rb");
    int32_t frame[2];
    while (ok && f && std::fread(frame, 4, 2, f) == 2) left.push_back(frame[0] * 0x1p-31);
    if (f) std::fclose(f);
    std::remove(dsf.c_str());
    std::remove(raw.c_str());
    rmdir(dir);
    return ok && !left.empty();
}

} // namespace

int main(int argc, char **argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 4.0;
    const double half = seconds / 2;
    const auto halfSamples = static_cast<size_t>(half * kDsd64) / 8 * 8;

    auto signal = [&](size_t n) {
        const double t = static_cast<double>(n) / kDsd64;
        if (n < halfSamples) {
            double v = 0;
            for (double f : kTones) v += kToneAmplitude * std::sin(2 * M_PI * f * t);
            return v;
        }
        return kSnrAmplitude * std::sin(2 * M_PI * kSnrTone * t);
    };
    const int order = argc > 2 ? std::atoi(argv[2]) : 6;
    const std::vector<uint8_t> ch = SdmModulate(kDsd64, signal, 2 * halfSamples, order);
    const std::vector<uint8_t> pair = SdmPair(ch, ch);

    Figures ideal, ours, theirs;
    Measure(Bits(ch), kDsd64, halfSamples, kDsd64 / 10, ideal, nullptr);
    const Signal mine = RunOurs(pair, kDsd64, 352800, ours.cpu);
    // Our output is later than the bits by the filters' delay and the fade's held-back tail; the tones'
    // levels do not depend on it, the halves' edges are left out by the settling time.
    const double outRate = 352800;
    const size_t outHalf = halfSamples / 8, settle = 352800 / 10;
    Measure(mine, outRate, outHalf, settle, ours, &ideal);
    Signal ff;
    const bool haveFfmpeg = RunFfmpeg(pair, kDsd64, ff, theirs.cpu);
    if (haveFfmpeg) Measure(ff, outRate, outHalf, settle, theirs, &ideal);

    // The own error: the converter before dither against the reference, aligned by the held-back tail.
    double own = 0;
    {
        const size_t refBytes = std::min<size_t>(pair.size(), 2 * kDsd64 / 8 / 2) / 64 * 64; // 0.5 s
        const std::vector<uint8_t> part(pair.begin(), pair.begin() + static_cast<long>(refBytes));
        const Signal ref = Reference(part, kDsd64, 352800);
        std::string why;
        tava::PcmConverter *c = tava::PcmCreate(
            {kDsd64, 352800, false, tava::PcmFormat::S32Le, 24, 2, 0, static_cast<uint32_t>(refBytes)}, why);
        std::vector<double> out(2 * tava::PcmMaxFrames(c));
        const uint32_t n =
            tava::PcmConvertToDouble(c, part.data(), static_cast<uint32_t>(refBytes), out.data());
        tava::PcmDestroy(c);
        const size_t delay = 256 * 4; // the held-back tail, in output frames
        double err = 0;
        size_t count = 0;
        for (size_t i = delay; i < n && i - delay < ref.size(); ++i, ++count)
            err += (out[2 * i] - ref[i - delay]) * (out[2 * i] - ref[i - delay]);
        own = Db(err / std::max<size_t>(count, 1) + 1e-300);
    }

    // DSD512 against real time, on one core.
    double rt512 = 0;
    {
        const size_t samples = static_cast<size_t>(kDsd512 * 1.0);
        std::vector<uint8_t> bits(samples / 8);
        uint32_t r = 1;
        // Noise-like bits cost the converter the same as music: the tables do not look at the content.
        for (auto &b : bits) r = r * 1664525u + 1013904223u, b = static_cast<uint8_t>(r >> 24);
        double cpu = 0;
        RunOurs(SdmPair(bits, bits), kDsd512, 352800, cpu);
        rt512 = 1.0 / cpu;
    }

    std::printf("\nDSD64, %.1f s, %d. order\n%-34s %12s %12s %12s\n", seconds, order, "", "ideal", "ours",
                haveFfmpeg ? "ffmpeg" : "");
    for (size_t t = 0; t < std::size(kTones); ++t) {
        char label[64];
        std::snprintf(label, sizeof label, "level at %g Hz (dB)", kTones[t]);
        std::printf("%-34s %12.4f %12.4f", label, ideal.levels[t], ours.levels[t]);
        if (haveFfmpeg) std::printf(" %12.4f", theirs.levels[t]);
        std::printf("\n");
    }
    std::printf("%-34s %12.2f %12.2f", "SNR 20 Hz-20 kHz, -6 dBFS (dB)", ideal.snr, ours.snr);
    if (haveFfmpeg) std::printf(" %12.2f", theirs.snr);
    std::printf("\n%-34s %12.1f %12.1f", "power above 30 kHz (dBFS)", ideal.above30k, ours.above30k);
    if (haveFfmpeg) std::printf(" %12.1f", theirs.above30k);
    std::printf("\n%-34s %12s %12.1f\n", "own error vs float64 ref (dBFS)", "", own);
    std::printf("%-34s %12s %12.3f", "CPU (s)", "", ours.cpu);
    if (haveFfmpeg) std::printf(" %12.3f", theirs.cpu);
    std::printf("\n%-34s %12s %12.0f\n", "DSD512 to 352.8 kHz (x real time)", "", rt512);
    std::printf("(levels: the ideal against the modulator's input, the converters against the ideal; ours:\n"
                " S32_LE at 352.8 kHz with 24 significant bits, TPDF dither)\n");
    return 0;
}
