// DSF and DFF test files. The headers are written field by field as the readers of these formats
// expect them; the payload comes from a counter-based generator, piece by piece.

#include "dsd_testfiles.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr uint32_t DsfBlock = 4096;
constexpr size_t Piece = 1 << 20; // bytes generated and written at a time

// splitmix64's finaliser over a key made of the seed, the channel and the 8-byte word index.
uint64_t Word(uint32_t seed, uint32_t channel, uint64_t word) {
    uint64_t z = word ^ (uint64_t{channel} << 52) ^ (uint64_t{seed} * 0x9E3779B97F4A7C15u);
    z += 0x9E3779B97F4A7C15u;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

// Bytes [index, index + n) of a channel, oldest bit most significant.
void FillChannel(uint32_t seed, uint32_t channel, uint64_t index, size_t n, uint8_t *out) {
    size_t i = 0;
    while (i < n) {
        uint64_t k = index + i, w = Word(seed, channel, k / 8);
        if (k % 8 == 0 && n - i >= 8) { // a whole word: byte b of the word is its b-th least significant
            for (unsigned b = 0; b < 8; ++b) out[i + b] = static_cast<uint8_t>(w >> (8 * b));
            i += 8;
            continue;
        }
        for (unsigned b = k % 8; b < 8 && i < n; ++b, ++i) out[i] = static_cast<uint8_t>(w >> (8 * b));
    }
}

struct ReverseTable {
    uint8_t t[256];
    ReverseTable() {
        for (unsigned v = 0; v < 256; ++v) {
            unsigned r = 0;
            for (unsigned b = 0; b < 8; ++b) r |= ((v >> b) & 1u) << (7 - b);
            t[v] = static_cast<uint8_t>(r);
        }
    }
};
const ReverseTable Reversed;

// Where the bytes go: a file or a vector.
struct Sink {
    FILE *file = nullptr;
    std::vector<uint8_t> *bytes = nullptr;
    bool ok = true;

    void Put(const void *p, size_t n) {
        if (bytes)
            bytes->insert(bytes->end(), static_cast<const uint8_t *>(p), static_cast<const uint8_t *>(p) + n);
        else if (ok && fwrite(p, 1, n, file) != n)
            ok = false;
    }
    void Id(const char *id) { Put(id, 4); }
    void Le(uint64_t v, int size) {
        uint8_t b[8];
        for (int i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
        Put(b, static_cast<size_t>(size));
    }
    void Be(uint64_t v, int size) {
        uint8_t b[8];
        for (int i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(v >> (8 * (size - 1 - i)));
        Put(b, static_cast<size_t>(size));
    }
};

uint64_t WholeBytes(const TestDsdShape &s) {
    return s.samples / 8;
}

// ---- DSF

uint32_t DsfChannelType(uint32_t channels) {
    constexpr uint32_t types[7] = {0, 1, 2, 3, 4, 6, 7}; // 5 channels: type 6; 6 channels: 5.1, type 7
    return types[channels];
}

uint64_t DsfBlocks(const TestDsdShape &s) {
    uint64_t bytes = s.samples / 8 + (s.samples % 8 != 0);
    return (bytes + DsfBlock - 1) / DsfBlock;
}

void WriteDsf(const TestDsdShape &s, Sink &out) {
    bool lsb = s.kind == TestDsdKind::DsfLsb;
    uint64_t data_size = 12 + DsfBlocks(s) * DsfBlock * s.channels;
    out.Id("DSD ");
    out.Le(28, 8);
    out.Le(28 + 52 + data_size, 8); // the whole file; junk after it is not counted
    out.Le(0, 8);                   // no metadata
    out.Id("fmt ");
    out.Le(52, 8);
    out.Le(1, 4); // version
    out.Le(0, 4); // raw DSD
    out.Le(DsfChannelType(s.channels), 4);
    out.Le(s.channels, 4);
    out.Le(s.rate, 4);
    out.Le(lsb ? 1 : 8, 4);
    out.Le(s.stated_samples ? s.stated_samples : s.samples, 8);
    out.Le(DsfBlock, 4);
    out.Le(0, 4);
    out.Id("data");
    out.Le(data_size, 8);

    // A group of 256 blocks of every channel at a time.
    const uint64_t whole = WholeBytes(s), blocks = DsfBlocks(s);
    const unsigned tail_bits = s.samples % 8;
    const uint64_t per_piece = Piece / (DsfBlock * s.channels);
    std::unique_ptr<uint8_t[]> buf(new uint8_t[Piece]);
    for (uint64_t b0 = 0; b0 < blocks; b0 += per_piece) {
        uint64_t nb = std::min(per_piece, blocks - b0);
        uint8_t *p = buf.get();
        for (uint64_t b = b0; b < b0 + nb; ++b) {
            for (uint32_t c = 0; c < s.channels; ++c, p += DsfBlock) {
                uint64_t k = b * DsfBlock;
                size_t n = static_cast<size_t>(std::min<uint64_t>(DsfBlock, whole > k ? whole - k : 0));
                FillChannel(s.seed, c, k, n, p);
                memset(p + n, 0, DsfBlock - n); // padding of the last block
                if (n < DsfBlock && tail_bits) {
                    // The partial last byte holds tail_bits samples, the rest of it is padding.
                    uint8_t v = TestDsd_Byte(s.seed, c, whole) & static_cast<uint8_t>(0xFF00u >> tail_bits);
                    p[n] = v;
                }
                if (lsb)
                    for (size_t i = 0; i < DsfBlock; ++i) p[i] = Reversed.t[p[i]];
            }
        }
        out.Put(buf.get(), static_cast<size_t>(p - buf.get()));
    }
}

// ---- DFF

std::vector<std::string> DffIds(const TestDsdShape &s) {
    if (!s.dff_ids.empty()) return s.dff_ids;
    switch (s.channels) {
    case 1:
        return {"C   "};
    case 2:
        return {"SLFT", "SRGT"};
    case 3:
        return {"MLFT", "MRGT", "C   "};
    case 4:
        return {"MLFT", "MRGT", "LS  ", "RS  "};
    case 5:
        return {"MLFT", "MRGT", "C   ", "LS  ", "RS  "};
    default:
        return {"MLFT", "MRGT", "C   ", "LFE ", "LS  ", "RS  "};
    }
}

constexpr char CmprNameDsd[] = "not compressed"; // 14 characters: the chunk has an odd size
constexpr char CmprNameDst[] = "DST Encoded";
constexpr uint64_t ExtraSize = 5; // an unknown chunk of odd size before and after the sound data

uint64_t Padded(uint64_t n) {
    return n + (n & 1);
}

uint64_t CmprSize(const TestDsdShape &s) {
    return 5 + strlen(s.dst ? CmprNameDst : CmprNameDsd);
}
uint64_t ChnlSize(const TestDsdShape &s) {
    return 2 + 4 * DffIds(s).size();
}
uint64_t PropSize(const TestDsdShape &s) {
    return 4 + (12 + 4) + (12 + ChnlSize(s)) + (12 + Padded(CmprSize(s))) + (s.dff_abss ? 12 + 8 : 0);
}
uint64_t SoundSize(const TestDsdShape &s) {
    return s.dst ? 6 + 12 : WholeBytes(s) * s.channels;
}

uint64_t DffHeaderSize(const TestDsdShape &s) {
    return 16 + (12 + 4) + (12 + PropSize(s)) + (12 + Padded(ExtraSize)) + 12;
}

void WriteDff(const TestDsdShape &s, Sink &out) {
    uint64_t form =
        4 + (12 + 4) + (12 + PropSize(s)) + 2 * (12 + Padded(ExtraSize)) + 12 + Padded(SoundSize(s));
    out.Id("FRM8");
    out.Be(form, 8);
    out.Id("DSD ");
    out.Id("FVER");
    out.Be(4, 8);
    out.Be(0x01050000, 4);

    out.Id("PROP");
    out.Be(PropSize(s), 8);
    out.Id("SND ");
    out.Id("FS  ");
    out.Be(4, 8);
    out.Be(s.rate, 4);
    out.Id("CHNL");
    out.Be(ChnlSize(s), 8);
    auto ids = DffIds(s);
    out.Be(ids.size(), 2);
    for (const auto &id : ids) out.Put(id.data(), 4);
    out.Id("CMPR");
    out.Be(CmprSize(s), 8);
    out.Id(s.dst ? "DST " : "DSD ");
    const char *name = s.dst ? CmprNameDst : CmprNameDsd;
    out.Be(strlen(name), 1);
    out.Put(name, strlen(name));
    if (CmprSize(s) % 2) out.Be(0, 1);
    if (s.dff_abss) {
        out.Id("ABSS"); // start time 0:00:00.0
        out.Be(8, 8);
        out.Be(0, 8);
    }

    const uint8_t extra[ExtraSize + 1] = {'e', 'x', 't', 'r', 'a', 0};
    out.Id("GSXT"); // a chunk no reader knows, to be skipped
    out.Be(ExtraSize, 8);
    out.Put(extra, Padded(ExtraSize));

    if (s.dst) {
        out.Id("DST ");
        out.Be(SoundSize(s), 8);
        out.Id("FRTE");
        out.Be(6, 8);
        out.Be(0, 4);
        out.Be(75, 2);
    } else {
        out.Id("DSD ");
        out.Be(SoundSize(s), 8);
        const uint64_t whole = WholeBytes(s);
        const size_t per_piece = Piece / s.channels;
        std::unique_ptr<uint8_t[]> chan(new uint8_t[per_piece]), buf(new uint8_t[Piece]);
        for (uint64_t k = 0; k < whole; k += per_piece) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(per_piece, whole - k));
            for (uint32_t c = 0; c < s.channels; ++c) {
                FillChannel(s.seed, c, k, n, chan.get());
                for (size_t i = 0; i < n; ++i) buf[i * s.channels + c] = chan[i];
            }
            out.Put(buf.get(), n * s.channels);
        }
    }
    if (SoundSize(s) % 2) out.Be(0, 1);
    out.Id("GSXT");
    out.Be(ExtraSize, 8);
    out.Put(extra, Padded(ExtraSize));
}

void Write(const TestDsdShape &s, Sink &out) {
    if (s.kind == TestDsdKind::Dff)
        WriteDff(s, out);
    else
        WriteDsf(s, out);
    // Junk: bytes that no header counts, as left by tag editors and broken copies.
    std::vector<uint8_t> junk(std::min<uint64_t>(s.junk, Piece));
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(0xA5 ^ i * 7);
    for (uint64_t left = s.junk; left > 0;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(left, junk.size()));
        out.Put(junk.data(), n);
        left -= n;
    }
}

// The file channels delivered as left and right, as a reader must choose them.
void FrontPair(const TestDsdShape &s, uint32_t *left, uint32_t *right) {
    *left = 0;
    *right = s.channels > 1 ? 1 : 0;
    if (s.kind != TestDsdKind::Dff) return;
    auto ids = DffIds(s);
    int l = -1, r = -1;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (l < 0 && (ids[i] == "SLFT" || ids[i] == "MLFT")) l = static_cast<int>(i);
        if (r < 0 && (ids[i] == "SRGT" || ids[i] == "MRGT")) r = static_cast<int>(i);
    }
    if (l >= 0 && r >= 0) *left = static_cast<uint32_t>(l), *right = static_cast<uint32_t>(r);
}

} // namespace

uint8_t TestDsd_Byte(uint32_t seed, uint32_t channel, uint64_t index) {
    return static_cast<uint8_t>(Word(seed, channel, index / 8) >> (8 * (index % 8)));
}

bool TestDsd_WriteFile(const TestDsdShape &shape, const std::string &path) {
    Sink out;
    out.file = fopen(path.c_str(), "wb");
    if (!out.file) return false;
    Write(shape, out);
    return fclose(out.file) == 0 && out.ok;
}

std::vector<uint8_t> TestDsd_Bytes(const TestDsdShape &shape) {
    std::vector<uint8_t> bytes;
    Sink out;
    out.bytes = &bytes;
    Write(shape, out);
    return bytes;
}

uint64_t TestDsd_HeaderSize(const TestDsdShape &shape) {
    return shape.kind == TestDsdKind::Dff ? DffHeaderSize(shape) : 92;
}

uint64_t TestDsd_PlayLength(const TestDsdShape &shape) {
    return 2 * WholeBytes(shape);
}

void TestDsd_Expected(const TestDsdShape &shape, uint64_t offset, size_t size, uint8_t *out) {
    uint32_t left, right;
    FrontPair(shape, &left, &right);
    constexpr size_t Frames = 1 << 16;
    std::unique_ptr<uint8_t[]> l(new uint8_t[Frames]), r(new uint8_t[Frames]);
    uint64_t end = offset + size;
    for (uint64_t f = offset / 2; 2 * f < end; f += Frames) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(Frames, (end + 1) / 2 - f));
        FillChannel(shape.seed, left, f, n, l.get());
        FillChannel(shape.seed, right, f, n, r.get());
        for (size_t i = 0; i < n; ++i) {
            uint64_t j = 2 * (f + i);
            if (j >= offset) out[j - offset] = l[i];
            if (j + 1 >= offset && j + 1 < end) out[j + 1 - offset] = r[i];
        }
    }
}

std::vector<uint8_t> TestDsd_Expected(const TestDsdShape &shape, uint64_t offset, size_t size) {
    std::vector<uint8_t> out(size);
    TestDsd_Expected(shape, offset, size, out.data());
    return out;
}
