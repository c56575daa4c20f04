// The converter's filters: Kaiser-windowed sinc designs, computed in double when an output starts, and the
// plan of stages from DSD bits to the device's rate.
//
// The plan keeps one band, 0 to 30 kHz (for the 48 kHz family 30 x 48/44.1), free of aliases at every rate
// change, and cuts everything above it once, at the base rate (88.2 or 96 kHz), with a steep
// low-pass: flat to 20 kHz, stopped from 30 kHz. The stages before it need only protect that band, so they
// are short; the steep filter runs at the lowest rate, where it is cheapest; the half-band stages after it
// only suppress the images of a band that is already clean.
#include "output.h"

#include <cassert>
#include <cmath>

namespace tava {

namespace {

// Every stage stops at least this much: the ripple of each is 1e-7, far below the 0.05 dB the whole chain
// may deviate in the pass band, and the DSD noise around multiples of the output rate (about -20 dBFS in a
// 30 kHz band) folds in at -160 dBFS, below the modulator's own noise and the dither.
constexpr double kStopDb = 140.0;

constexpr double kKeep = 30000.0;     // the band kept free of aliases, 44.1 kHz family
constexpr double kPassEnd = 20000.0;  // flat to here
constexpr double kStopFrom = 30000.0; // stopped from here

double BesselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 200; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < sum * 1e-17) break;
    }
    return sum;
}

double KaiserBeta(double attenuationDb) {
    return attenuationDb > 50.0
               ? 0.1102 * (attenuationDb - 8.7)
               : 0.5842 * std::pow(attenuationDb - 21.0, 0.4) + 0.07886 * (attenuationDb - 21.0);
}

// Taps a Kaiser design needs for a transition of width (a fraction of the sample rate).
size_t KaiserLength(double width, double attenuationDb) {
    return static_cast<size_t>(std::ceil((attenuationDb - 7.95) / (2.285 * 2.0 * M_PI * width))) + 1;
}

// A half-band filter (cutoff at a quarter of the rate) whose transition is width wide: length 4K + 3, the
// centre tap exactly 1/2 and every other tap exactly zero, so the stage computes only the odd ones.
std::vector<double> HalfBand(double width) {
    size_t n = KaiserLength(width, kStopDb);
    while (n % 4 != 3) ++n;
    std::vector<double> h = KaiserLowPass(n, 0.25, kStopDb);
    const size_t c = n / 2;
    double odd = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const size_t d = i > c ? i - c : c - i;
        if (d % 2 == 0)
            h[i] = 0.0;
        else
            odd += h[i];
    }
    for (double &t : h) t *= 0.5 / odd;
    h[c] = 0.5;
    return h;
}

} // namespace

std::vector<double> KaiserLowPass(size_t n, double cutoff, double attenuationDb) {
    std::vector<double> h(n);
    const double beta = KaiserBeta(attenuationDb), centre = (static_cast<double>(n) - 1.0) / 2.0;
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) - centre;
        const double sinc = t == 0.0 ? 2.0 * cutoff : std::sin(2.0 * M_PI * cutoff * t) / (M_PI * t);
        const double r = centre > 0 ? t / centre : 0.0;
        h[i] = sinc * BesselI0(beta * std::sqrt(std::max(0.0, 1.0 - r * r))) / BesselI0(beta);
        sum += h[i];
    }
    for (double &t : h) t /= sum;
    return h;
}

std::vector<PcmStage> PlanPcmStages(uint32_t dsdRate, uint32_t outRate) {
    const double base = PcmBaseRate(dsdRate), scale = base / 88200.0, keep = kKeep * scale;
    if (DsdRateIndex(dsdRate) < 0 || (outRate != base && outRate != 2 * base && outRate != 4 * base))
        return {};
    std::vector<PcmStage> plan;

    // From the bits to DSD rate / 8: one output per DSD byte. Aliases land in the kept band from within
    // keep of each multiple of the new rate, so the stop band starts at rate / 8 - keep.
    const double r = dsdRate;
    size_t n = KaiserLength((r / 8 - 2 * keep) / r, kStopDb);
    n = (n + 7) / 8 * 8; // whole bytes
    plan.push_back({StageKind::FromBits, r, KaiserLowPass(n, 1.0 / 16.0, kStopDb)});

    for (double rate = r / 8; rate > base * 1.5; rate /= 2)
        plan.push_back({StageKind::Halve, rate, HalfBand((rate / 2 - 2 * keep) / rate)});

    const double width = (kStopFrom - kPassEnd) * scale / base;
    n = KaiserLength(width, kStopDb) | 1; // odd: a centre tap
    plan.push_back(
        {StageKind::LowPass, base, KaiserLowPass(n, (kStopFrom + kPassEnd) / 2 * scale / base, kStopDb)});

    for (double rate = base; rate < outRate; rate *= 2)
        plan.push_back({StageKind::Double, rate, HalfBand((rate - 2 * keep) / (2 * rate))});
    return plan;
}

} // namespace tava
