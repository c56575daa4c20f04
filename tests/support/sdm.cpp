// The test signals' sigma-delta modulator: an error-feedback loop around a 1-bit quantiser. With the noise
// transfer function NTF = B / A (both monic), the loop adds (B / A - 1) times the past quantisation errors to
// the input, so that the output is input + NTF x error: B's zeros on the unit circle in the audio band push
// the noise out of it, A's poles (a Butterworth set, pulled in until the NTF peaks at 1.5 or 1.3) keep the
// loop stable.
#include "sdm.h"

#include <cmath>
#include <complex>
#include <cstdio>
#include <stdexcept>

namespace {

using Complex = std::complex<double>;

// Real coefficients of prod (1 - r z^-1) over the roots, c[0] = 1.
std::vector<double> Expand(const std::vector<Complex> &roots) {
    std::vector<Complex> c{1.0};
    for (const Complex &r : roots) {
        c.push_back(0.0);
        for (size_t k = c.size() - 1; k > 0; --k) c[k] -= r * c[k - 1];
    }
    std::vector<double> real;
    for (const Complex &x : c) real.push_back(x.real());
    return real;
}

// The relative positions in the band of the noise zeros that minimise the in-band noise (Gauss-Legendre
// nodes), per order.
std::vector<double> ZeroPlaces(int order) {
    switch (order) {
    case 5:
        return {0.0, 0.538469, -0.538469, 0.906180, -0.906180};
    case 6:
        return {0.238619, -0.238619, 0.661209, -0.661209, 0.932470, -0.932470};
    case 7:
        return {0.0, 0.405845, -0.405845, 0.741531, -0.741531, 0.949108, -0.949108};
    case 8:
        return {0.183435, -0.183435, 0.525532, -0.525532, 0.796666, -0.796666, 0.960290, -0.960290};
    default:
        throw std::invalid_argument("modulator order 5 to 8");
    }
}

std::vector<Complex> ButterworthPoles(int order, double cutoff) {
    std::vector<Complex> poles;
    const double warped = std::tan(M_PI * cutoff);
    for (int k = 0; k < order; ++k) {
        const Complex s = warped * std::polar(1.0, M_PI * (2.0 * k + order + 1) / (2.0 * order));
        poles.push_back((1.0 + s) / (1.0 - s));
    }
    return poles;
}

double PeakGain(const std::vector<double> &b, const std::vector<double> &a) {
    double peak = 0.0;
    for (int i = 0; i <= 2000; ++i) {
        const Complex z = std::polar(1.0, -M_PI * i / 2000.0);
        Complex nb = 0.0, na = 0.0, zk = 1.0;
        for (size_t k = 0; k < b.size(); ++k, zk *= z) nb += b[k] * zk, na += a[k] * zk;
        peak = std::max(peak, std::abs(nb / na));
    }
    return peak;
}

} // namespace

std::vector<uint8_t> SdmModulate(uint32_t dsdRate, const std::function<double(size_t)> &signal,
                                 size_t samples, int order) {
    const double band = 20000.0 * (dsdRate % 44100 == 0 ? 1.0 : 48000.0 / 44100.0) / dsdRate;
    std::vector<Complex> zeros;
    for (double p : ZeroPlaces(order)) zeros.push_back(std::polar(1.0, 2.0 * M_PI * band * p));
    const std::vector<double> b = Expand(zeros);
    // The poles' cutoff (a fraction of the rate) for the NTF's peak: the peak grows with the cutoff. Higher
    // orders take a lower peak to stay stable at 50 % modulation.
    const double peak = order <= 6 ? 1.5 : 1.3;
    double lo = 1e-4, hi = 0.45;
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        (PeakGain(b, Expand(ButterworthPoles(order, mid))) > peak ? hi : lo) = mid;
    }
    const std::vector<double> a = Expand(ButterworthPoles(order, lo));

    const auto n = static_cast<size_t>(order);
    std::vector<double> e(n, 0.0), w(n, 0.0); // past errors and feedback, newest first
    std::vector<uint8_t> bytes((samples + 7) / 8, 0);
    for (size_t t = 0; t < bytes.size() * 8; ++t) {
        double fb = 0.0;
        for (size_t k = 0; k < n; ++k) fb += (b[k + 1] - a[k + 1]) * e[k] - a[k + 1] * w[k];
        const double u = signal(t) + fb;
        const double y = u >= 0.0 ? 1.0 : -1.0;
        for (size_t k = n - 1; k > 0; --k) e[k] = e[k - 1], w[k] = w[k - 1];
        e[0] = y - u;
        w[0] = fb;
        if (y > 0) bytes[t / 8] |= static_cast<uint8_t>(0x80 >> (t % 8));
    }
    return bytes;
}

std::vector<uint8_t> SdmPair(const std::vector<uint8_t> &left, const std::vector<uint8_t> &right) {
    std::vector<uint8_t> pair(2 * std::min(left.size(), right.size()));
    for (size_t i = 0; i < pair.size() / 2; ++i) pair[2 * i] = left[i], pair[2 * i + 1] = right[i];
    return pair;
}

bool WriteDsf(const std::string &path, uint32_t dsdRate, const std::vector<uint8_t> &pair) {
    constexpr size_t kBlock = 4096;
    const size_t perChannel = pair.size() / 2, blocks = (perChannel + kBlock - 1) / kBlock;
    const uint64_t dataSize = 12 + blocks * kBlock * 2, fileSize = 28 + 52 + dataSize;
    std::vector<uint8_t> f;
    auto put = [&](uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) f.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto id = [&](const char *s) { f.insert(f.end(), s, s + 4); };
    id("DSD "), put(28, 8), put(fileSize, 8), put(0, 8);
    id("fmt "), put(52, 8), put(1, 4), put(0, 4), put(2, 4), put(2, 4), put(dsdRate, 4), put(1, 4);
    put(perChannel * 8, 8), put(kBlock, 4), put(0, 4);
    id("data"), put(dataSize, 8);
    for (size_t b = 0; b < blocks; ++b)
        for (int ch = 0; ch < 2; ++ch)
            for (size_t i = b * kBlock; i < (b + 1) * kBlock; ++i) {
                uint8_t v = i < perChannel ? pair[2 * i + ch] : 0x69, r = 0;
                for (int bit = 0; bit < 8; ++bit) r |= static_cast<uint8_t>(((v >> bit) & 1) << (7 - bit));
                f.push_back(r);
            }
    std::FILE *out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool ok = std::fwrite(f.data(), 1, f.size(), out) == f.size();
    return std::fclose(out) == 0 && ok;
}
