// tavd.so, the DSF/DFF reader, through the program's interface: files written by the test-file helper
// (itself checked against ffmpeg) are opened, measured and read, and their bytes compared with the payload
// the helper put in them.

#include "dsd_testfiles.h"
#include "fixtures.h"
#include "tavd.h"
#include "tavo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t Play = 0x80200210;
constexpr uint32_t Probe = 0x80200000;

constexpr uint32_t Rates[] = {2'822'400, 5'644'800, 11'289'600, 22'579'200,
                              3'072'000, 6'144'000, 12'288'000, 24'576'000};
constexpr TestDsdKind Kinds[] = {TestDsdKind::DsfLsb, TestDsdKind::DsfMsb, TestDsdKind::Dff};

TestDsdShape Shape(TestDsdKind kind, uint32_t channels, uint64_t samples, uint32_t seed = 1) {
    TestDsdShape s;
    s.kind = kind, s.channels = channels, s.samples = samples, s.seed = seed;
    return s;
}

std::string Describe(const TestDsdShape &s) {
    const char *kinds[] = {"DSF/lsb", "DSF/msb", "DFF"};
    return std::string(kinds[static_cast<int>(s.kind)]) + " rate " + std::to_string(s.rate) + " channels " +
           std::to_string(s.channels) + " samples " + std::to_string(s.samples);
}

TavoHandle OpenMemory(const std::vector<uint8_t> &bytes, uint32_t flags = Play) {
    return Tavd_DSD_StreamCreateFile(1, bytes.data(), 0, bytes.size(), flags, 0);
}
TavoHandle OpenFile(const std::string &path, uint32_t flags = Play) {
    return Tavd_DSD_StreamCreateFile(0, path.c_str(), 0, 0, flags, 0);
}

std::string Shell(const std::string &command) {
    std::string out;
    if (FILE *p = popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}

uint8_t Reverse(uint8_t v) {
    uint8_t r = 0;
    for (int b = 0; b < 8; ++b) r |= static_cast<uint8_t>(((v >> b) & 1) << (7 - b));
    return r;
}

// Reads the stream to its end in requests of the given sizes, taken in turn; every request must
// deliver only whole frames, and the end is a read that returns 0.
std::vector<uint8_t> ReadAll(TavoHandle h, const std::vector<uint32_t> &requests) {
    std::vector<uint8_t> out, buf(*std::max_element(requests.begin(), requests.end()));
    for (size_t i = 0;; i = (i + 1) % requests.size()) {
        int32_t got = Tavo_ChannelGetData(h, buf.data(), requests[i]);
        EXPECT_GE(got, 0) << "code " << Tavo_ErrorGetCode();
        if (got <= 0) break;
        EXPECT_EQ(got % 2, 0);
        EXPECT_LE(static_cast<uint32_t>(got), requests[i]);
        out.insert(out.end(), buf.begin(), buf.begin() + got);
    }
    return out;
}

class Dsd : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_EQ(Tavo_Init(0, 44100, 0, nullptr, nullptr), 1); }
    static void TearDownTestSuite() { Tavo_Free(); }

    std::string Write(const TestDsdShape &shape, const std::string &name = "t") {
        std::string path = dir_.path + name;
        EXPECT_TRUE(TestDsd_WriteFile(shape, path));
        return path;
    }

    TempFolder dir_;
};

// The test-file writer checked against an independent reader, so that the tests below do not rest on a
// writer that shares the reader's mistakes. ffprobe gives the rate, the channels and the bit order; ffmpeg's
// copy of the sound data holds the payload: a DFF's interleaved bytes, a DSF's blocks.
TEST_F(Dsd, TestFiles_ReadBackThroughFfmpeg) {
    if (std::system("ffprobe -version >/dev/null 2>&1") || std::system("ffmpeg -version >/dev/null 2>&1"))
        GTEST_SKIP() << "ffprobe/ffmpeg not installed";
    const struct {
        TestDsdKind kind;
        uint32_t rate, channels;
        const char *codec;
    } rows[] = {
        {TestDsdKind::DsfLsb, 2'822'400, 2, "dsd_lsbf_planar"},
        {TestDsdKind::DsfMsb, 6'144'000, 6, "dsd_msbf_planar"},
        {TestDsdKind::DsfLsb, 22'579'200, 1, "dsd_lsbf_planar"},
        {TestDsdKind::Dff, 11'289'600, 2, "dsd_msbf"},
        {TestDsdKind::Dff, 22'579'200, 1, "dsd_msbf"},
        {TestDsdKind::Dff, 3'072'000, 6, "dsd_msbf"},
    };
    for (const auto &row : rows) {
        const bool dff = row.kind == TestDsdKind::Dff;
        TestDsdShape shape = Shape(row.kind, row.channels, 8 * 4096 * 3, row.rate + row.channels);
        shape.rate = row.rate;
        shape.junk = dff ? 0 : 100; // ffmpeg reads a DFF's junk as chunks
        SCOPED_TRACE(Describe(shape));
        const std::string path = Write(shape, dff ? "t.dff" : "t.dsf");
        EXPECT_EQ(
            Shell("ffprobe -v error -show_entries stream=codec_name,channels,sample_rate -of default=nw=1 '" +
                  path + "'"),
            "codec_name=" + std::string(row.codec) + "\nsample_rate=" + std::to_string(row.rate / 8) +
                "\nchannels=" + std::to_string(row.channels) + "\n");
        const std::string got = Shell("ffmpeg -v error -i '" + path + "' -map 0:a -c:a copy -f data -");
        ASSERT_EQ(got.size(), 3 * 4096 * row.channels);
        bool same = true;
        for (uint64_t k = 0; k < 3 * 4096; ++k) {
            for (uint32_t c = 0; c < row.channels; ++c) {
                const uint8_t want = TestDsd_Byte(shape.seed, c, k);
                same &= static_cast<uint8_t>(dff ? got[k * row.channels + c]
                                                 : got[(k / 4096 * row.channels + c) * 4096 + k % 4096]) ==
                        (row.kind == TestDsdKind::DsfLsb ? Reverse(want) : want);
            }
        }
        EXPECT_TRUE(same);
    }
}

// Every format at every rate with 1, 2 and 6 channels; sample counts at and around the block edges, down
// to none, some ending in a partial byte, one long enough for many reads of a file; junk after some files.
// Each is read from a file and from memory, in requests of one odd size and of many sizes by turns (odd
// ones deliver one byte less), so that reads start and end anywhere in a block. A probe stream of the same
// file is half as long and delivers no data; both give the rate and the playing time.
TEST_F(Dsd, Read_DeliversExactlyThePayloadForEveryFormatRateAndChannelCount) {
    constexpr uint64_t B = 8 * 4096; // samples in a DSF block
    const uint64_t counts[] = {0, 7, 8, 9, B - 8, B - 1, B, B + 8, 3 * B + 5, 76 * B + 8 * 257 + 3};
    const std::vector<uint32_t> patterns[] = {
        {8191}, {2, 3, 1021, 8190, 8191, 5, 8192, 8193, 7, 65537, 4093, 262147, 11, (1 << 20) + 1, 4097}};
    uint32_t index = 0;
    for (TestDsdKind kind : Kinds) {
        for (uint32_t rate : Rates) {
            for (uint32_t channels : {1u, 2u, 6u}) {
                ++index;
                TestDsdShape shape = Shape(kind, channels, counts[index % std::size(counts)], index);
                shape.rate = rate;
                shape.junk = index % 3 ? 0 : 777;
                SCOPED_TRACE(Describe(shape));
                const auto bytes = TestDsd_Bytes(shape);
                const std::string path = Write(shape);
                const uint64_t length = 2 * (shape.samples / 8);
                const double seconds = static_cast<double>(shape.samples / 8 * 8) / rate;
                const auto expected = TestDsd_Expected(shape, 0, length);
                for (const auto &requests : patterns) {
                    for (bool mem : {false, true}) {
                        SCOPED_TRACE(mem ? "memory" : "file");
                        TavoHandle h = mem ? OpenMemory(bytes) : OpenFile(path);
                        ASSERT_NE(h, 0u) << "code " << Tavo_ErrorGetCode();
                        EXPECT_EQ(Tavo_ChannelGetLength(h, 0), length);
                        EXPECT_TRUE(ReadAll(h, requests) == expected) << "requests of " << requests[0];
                        Tavo_StreamFree(h);
                    }
                }
                TavoHandle play = OpenMemory(bytes), probe = OpenMemory(bytes, Probe);
                ASSERT_NE(probe, 0u);
                EXPECT_EQ(Tavo_ChannelGetLength(probe, 0), length / 2);
                for (auto [h, bytesPlayed] : {std::pair{play, length}, std::pair{probe, length / 2}}) {
                    float freq = 0, dsd = 0;
                    ASSERT_EQ(Tavo_ChannelGetAttribute(h, TAVO_ATTRIB_FREQ, &freq), 1);
                    ASSERT_EQ(Tavo_ChannelGetAttribute(h, TAVO_ATTRIB_DSDRATE, &dsd), 1);
                    EXPECT_EQ(freq, rate / 32.0f);
                    EXPECT_EQ(dsd, static_cast<float>(rate));
                    EXPECT_NEAR(Tavo_ChannelBytes2Seconds(h, bytesPlayed), seconds, 1e-9);
                }
                uint8_t buf[64];
                EXPECT_EQ(Tavo_ChannelGetData(probe, buf, sizeof buf), -1);
                EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_NOTAVAIL);
                Tavo_StreamFree(play);
                Tavo_StreamFree(probe);
            }
        }
    }
}

// A sample count just past a block edge ends each channel of a DSF in a partial byte alone in a last
// block. The stream delivers the whole bytes before it and nothing of it; the block is still part of
// the data, so a header that counts that byte over one block fewer is a file cut short, refused. A
// DFF holds whole bytes only: the same samples as DFF deliver the same bytes.
TEST_F(Dsd, Open_APartialLastByteIsNotDeliveredButItsBlockMustBeThere) {
    constexpr uint64_t B = 8 * 4096; // samples in a DSF block
    const struct {
        TestDsdKind kind;
        uint32_t channels;
        uint64_t samples;
    } rows[] = {{TestDsdKind::DsfLsb, 1, 2 * B + 1},
                {TestDsdKind::DsfMsb, 2, 2 * B + 7},
                {TestDsdKind::Dff, 1, 2 * B + 1},
                {TestDsdKind::Dff, 2, 2 * B + 7}};
    for (const auto &row : rows) {
        TestDsdShape shape = Shape(row.kind, row.channels, row.samples, 9);
        SCOPED_TRACE(Describe(shape));
        const auto bytes = TestDsd_Bytes(shape);
        const TavoHandle h = OpenMemory(bytes);
        ASSERT_NE(h, 0u) << "code " << Tavo_ErrorGetCode();
        EXPECT_EQ(Tavo_ChannelGetLength(h, 0), 2 * (row.samples / 8));
        EXPECT_TRUE(ReadAll(h, {8191}) == TestDsd_Expected(shape, 0, 2 * (row.samples / 8)));
        Tavo_StreamFree(h);
        if (row.kind == TestDsdKind::Dff) continue;
        shape.stated_samples = row.samples;
        shape.samples = row.samples / 8 * 8;
        EXPECT_EQ(OpenMemory(TestDsd_Bytes(shape)), 0u);
        EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_FILEFORM);
    }
}

// A DFF names its channels; the stream takes front left and right wherever they are, else the first two.
TEST_F(Dsd, Read_TakesTheFrontPairOfADffByChannelId) {
    const struct {
        std::vector<std::string> ids;
        uint32_t left, right;
    } rows[] = {
        {{"SRGT", "SLFT"}, 1, 0},
        {{"C   ", "LFE ", "MLFT", "MRGT", "LS  ", "RS  "}, 2, 3},
        {{"LS  ", "MRGT", "RS  ", "MLFT"}, 3, 1},
        {{"LS  ", "RS  ", "C   "}, 0, 1},
        {{"SLFT", "C   ", "LFE "}, 0, 1}, // no right: the first two
    };
    for (const auto &row : rows) {
        TestDsdShape shape = Shape(TestDsdKind::Dff, static_cast<uint32_t>(row.ids.size()), 8 * 5000);
        shape.dff_ids = row.ids;
        SCOPED_TRACE(row.ids[0] + "," + row.ids[1]);
        auto bytes = TestDsd_Bytes(shape);
        TavoHandle h = OpenMemory(bytes);
        ASSERT_NE(h, 0u);
        auto got = ReadAll(h, {1 << 16});
        ASSERT_EQ(got.size(), 2 * 5000u);
        bool same = true;
        for (uint64_t k = 0; k < 5000; ++k)
            same &= got[2 * k] == TestDsd_Byte(shape.seed, row.left, k) &&
                    got[2 * k + 1] == TestDsd_Byte(shape.seed, row.right, k);
        EXPECT_TRUE(same);
        Tavo_StreamFree(h);
    }
}

// offset and length select a file inside a larger one (without the length, what follows it is junk, and
// ignored). A position set anywhere (block edges, mid-block, the end) reads on from exactly there, a mono
// file doubled as from the start, and the file position is that of the next left byte, counted from the
// start of the file.
TEST_F(Dsd, Open_ReadsAPartOfAFileAndSeeksInIt) {
    for (auto [kind, channels] :
         {std::pair{Kinds[0], 6u}, {Kinds[1], 6u}, {Kinds[2], 6u}, {Kinds[0], 1u}, {Kinds[2], 1u}}) {
        const TestDsdShape shape = Shape(kind, channels, 8 * (4096 * 5 + 300));
        SCOPED_TRACE(Describe(shape));
        auto inner = TestDsd_Bytes(shape);
        std::vector<uint8_t> outer(1000, 0x55);
        outer.insert(outer.end(), inner.begin(), inner.end());
        outer.insert(outer.end(), 3000, 0xAA);
        const std::string path = dir_.path + "outer";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(outer.data()), outer.size());
        const uint64_t length = TestDsd_PlayLength(shape), header = 1000 + TestDsd_HeaderSize(shape);
        for (uint64_t size : {uint64_t{inner.size()}, uint64_t{0}}) {
            TavoHandle h = Tavd_DSD_StreamCreateFile(0, path.c_str(), 1000, size, Play, 0);
            ASSERT_NE(h, 0u) << "code " << Tavo_ErrorGetCode();
            EXPECT_EQ(Tavo_StreamGetFilePosition(h, 2), size ? size : inner.size() + 3000);
            EXPECT_EQ(Tavo_StreamGetFilePosition(h, 0), header);
            for (uint64_t pos :
                 {uint64_t{8192}, uint64_t{2}, uint64_t{8190}, length - 600, uint64_t{0}, length}) {
                ASSERT_EQ(Tavo_ChannelSetPosition(h, pos, 0), 1);
                std::vector<uint8_t> buf(10000);
                int32_t got = Tavo_ChannelGetData(h, buf.data(), 10000);
                ASSERT_EQ(got, static_cast<int32_t>(std::min<uint64_t>(10000, length - pos)));
                buf.resize(static_cast<size_t>(got));
                EXPECT_TRUE(buf == TestDsd_Expected(shape, pos, buf.size())) << "at " << pos;
                // Channel 0's next byte: in block k / 4096 of a DSF.
                const uint64_t k = (pos + buf.size()) / 2;
                EXPECT_EQ(Tavo_StreamGetFilePosition(h, 0),
                          header + (kind == TestDsdKind::Dff ? channels * k
                                                             : k / 4096 * 4096 * channels + k % 4096));
            }
            Tavo_StreamFree(h);
        }
    }
}

// A header cut short anywhere, or the data cut short, is refused with 41: from memory for every cut,
// and from a file (through the length argument) for some.
TEST_F(Dsd, Open_RefusesEveryTruncatedFile) {
    for (TestDsdKind kind : Kinds) {
        for (uint32_t channels : {1u, 2u, 6u}) {
            const TestDsdShape shape = Shape(kind, channels, 8 * 9000 + 1);
            SCOPED_TRACE(Describe(shape));
            auto bytes = TestDsd_Bytes(shape);
            std::string path = Write(shape);
            std::vector<uint64_t> cuts;
            for (uint64_t cut = 0; cut <= TestDsd_HeaderSize(shape); ++cut) cuts.push_back(cut);
            for (uint64_t back : {1, 2, 4096, 8192}) cuts.push_back(bytes.size() - back);
            for (uint64_t cut : cuts) {
                // A block of exactly the cut's size, so that a read past it is caught by the sanitizers.
                std::unique_ptr<uint8_t[]> part(new uint8_t[cut]);
                std::copy(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(cut), part.get());
                EXPECT_EQ(Tavd_DSD_StreamCreateFile(1, part.get(), 0, cut, Play, 0), 0u) << "cut at " << cut;
                EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_FILEFORM) << "cut at " << cut;
                if (cut % 7 == 0 || cut > TestDsd_HeaderSize(shape)) {
                    EXPECT_EQ(Tavd_DSD_StreamCreateFile(0, path.c_str(), 0, cut ? cut : 1, Probe, 0), 0u);
                    EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_FILEFORM) << "file cut at " << cut;
                }
            }
        }
    }
}

struct Field {
    const char *what;
    size_t at;
    uint64_t value;
    int size;
    const char *chunk = ""; // DFF: the chunk the offset counts from (its size at +4, its body at +12)
};

// Offset of the first appearance of a chunk id in a DFF, from a point on.
size_t FindId(const std::vector<uint8_t> &b, const char *id, size_t from = 0) {
    for (size_t i = from; i + 4 <= b.size(); ++i)
        if (memcmp(&b[i], id, 4) == 0) return i;
    ADD_FAILURE() << "no " << id;
    return 0;
}

// One field of a valid file changed at a time; each change is refused with 41. Huge sizes catch checks that
// overflow when they add a size to an offset.
void ExpectEveryFieldRefused(const std::vector<uint8_t> &good, bool bigEndian,
                             std::initializer_list<Field> rows) {
    TavoHandle h = OpenMemory(good);
    ASSERT_NE(h, 0u);
    Tavo_StreamFree(h);
    for (const Field &row : rows) {
        auto bad = good;
        size_t at = row.at;
        // "DSD " is also the form type and the compression id: the sound data comes after the unknown chunk.
        if (bigEndian)
            at += strcmp(row.chunk, "DSD ") ? FindId(good, row.chunk)
                                            : FindId(good, "DSD ", FindId(good, "GSXT"));
        for (int i = 0; i < row.size; ++i)
            bad[at + i] = static_cast<uint8_t>(row.value >> 8 * (bigEndian ? row.size - 1 - i : i));
        EXPECT_EQ(OpenMemory(bad), 0u) << row.what;
        EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_FILEFORM) << row.what;
    }
}

TEST_F(Dsd, Open_RefusesEveryBadDsfField) {
    const auto good = TestDsd_Bytes(Shape(TestDsdKind::DsfLsb, 2, 8 * (4096 * 2 + 100)));
    const uint64_t size = good.size(), data = size - 80; // data chunk size
    // clang-format off
    ExpectEveryFieldRefused(good, false, {
        {"DSD id", 0, 0x20465344, 4}, {"DSD chunk size 27", 4, 27, 8},
        {"file size short of the header", 12, 91, 8}, {"file size past the end", 12, size + 1, 8},
        {"metadata inside the data", 20, size - 10, 8}, {"metadata at the end", 20, size, 8},
        {"fmt id", 28, 0x20746d66 + 1, 4}, {"fmt size 51", 32, 51, 8},
        {"version 2", 40, 2, 4}, {"format id 1", 44, 1, 4},
        {"channel type 0", 48, 0, 4}, {"channel type 8", 48, 8, 4}, {"mono type, 2 channels", 48, 1, 4},
        {"no channels", 52, 0, 4}, {"rate off by one", 56, 2'822'401, 4}, {"rate DSD1024", 56, 45'158'400, 4},
        {"bits 4", 60, 4, 4}, {"block size 8192", 72, 8192, 4},
        {"samples past the data", 64, 8 * (4096 * 3 + 1), 8}, {"samples huge", 64, UINT64_MAX, 8},
        {"data id", 80, 0x61746164 ^ 0x20, 4}, {"data size 11", 84, 11, 8},
        {"data short of the last block", 84, data - 1, 8}, {"data past the file", 84, data + 1, 8},
        {"data size huge", 84, UINT64_MAX - 5, 8},
    });
    // clang-format on
}

TEST_F(Dsd, Open_RefusesEveryBadDffField) {
    const auto good = TestDsd_Bytes(Shape(TestDsdKind::Dff, 2, 8 * 1000));
    const uint64_t size = good.size();
    uint64_t prop = 0;
    for (int i = 0; i < 8; ++i) prop = prop << 8 | good[FindId(good, "PROP") + 4 + i];
    // clang-format off
    ExpectEveryFieldRefused(good, true, {
        {"form id", 0, 0x46524D39, 4, "FRM8"}, {"form size 3", 4, 3, 8, "FRM8"},
        {"form past the file", 4, size - 11, 8, "FRM8"}, {"form size huge", 4, UINT64_MAX, 8, "FRM8"},
        {"form type", 12, 0x44534458, 4, "FRM8"}, {"no version first", 0, 0x46564558, 4, "FVER"},
        {"version size 5", 4, 5, 8, "FVER"}, {"version 2.0", 12, 0x02000000, 4, "FVER"},
        {"no properties", 0, 0x50524F58, 4, "PROP"}, {"properties size 3", 4, 3, 8, "PROP"},
        {"properties short of their chunks", 4, prop - 1, 8, "PROP"},
        {"properties past the form", 4, size, 8, "PROP"}, {"properties type", 0, 0x534E4458, 4, "SND "},
        {"no rate", 0, 0x46582020, 4, "FS  "}, {"rate size 8", 4, 8, 8, "FS  "}, {"rate 44100", 12, 44100, 4, "FS  "},
        {"no channels chunk", 0, 0x43484E58, 4, "CHNL"}, {"channel chunk size 1", 4, 1, 8, "CHNL"},
        {"channel chunk size huge", 4, UINT64_MAX, 8, "CHNL"}, {"no channels", 12, 0, 2, "CHNL"},
        {"7 channels", 12, 7, 2, "CHNL"}, {"3 channels, 2 ids", 12, 3, 2, "CHNL"},
        {"no compression chunk", 0, 0x434D5058, 4, "CMPR"}, {"compression size 4", 4, 4, 8, "CMPR"},
        {"unknown compression", 12, 0x4D503320, 4, "CMPR"}, {"compression name past its chunk", 16, 200, 1, "CMPR"},
        {"no sound data", 0, 0x44535820, 4, "DSD "}, {"sound data huge", 4, UINT64_MAX - 1, 8, "DSD "},
        {"sound data not whole frames", 4, 2 * 1000 - 1, 8, "DSD "},
    });
    // clang-format on
}

// A DST-compressed DFF is refused with 44, a missing file and a directory with 2.
TEST_F(Dsd, Open_RefusesDstAndUnreadableFilesWithTheirOwnCodes) {
    TestDsdShape dst = Shape(TestDsdKind::Dff, 6, 8 * 4096);
    dst.dst = true;
    const std::pair<std::string, int> rows[] = {{Write(dst), TAVO_ERROR_CODEC},
                                                {dir_.path + "missing.dsf", TAVO_ERROR_FILEOPEN},
                                                {dir_.path, TAVO_ERROR_FILEOPEN}};
    for (const auto &[path, code] : rows) {
        EXPECT_EQ(OpenFile(path, Probe), 0u) << path;
        EXPECT_EQ(Tavo_ErrorGetCode(), code) << path;
    }
}

// The reason of a refusal names what the user can see: a cut copy, a DST file, a file of another kind.
TEST_F(Dsd, Open_GivesTheReasonOfARefusal) {
    TestDsdShape dst = Shape(TestDsdKind::Dff, 2, 8 * 4096);
    dst.dst = true;
    auto cut = [&](TestDsdKind kind, uint64_t keep) {
        std::vector<uint8_t> bytes = TestDsd_Bytes(Shape(kind, 2, 8 * 4096));
        bytes.resize(keep);
        return bytes;
    };
    std::vector<uint8_t> bad_rate = TestDsd_Bytes(Shape(TestDsdKind::DsfLsb, 2, 8 * 4096));
    bad_rate[56] = 1; // the rate
    const std::pair<std::vector<uint8_t>, std::string> rows[] = {
        {TestDsd_Bytes(dst), "DST compression is not supported"},
        {cut(TestDsdKind::DsfLsb, 50), "the file is shorter than its header says"},
        {cut(TestDsdKind::DsfMsb, 8000), "the file is shorter than its header says"},
        {cut(TestDsdKind::Dff, 5000), "the file is shorter than its header says"},
        {std::vector<uint8_t>(100, 'R'), "not a DSD file"},
        {bad_rate, "its header is damaged or of a kind not supported"},
    };
    for (const auto &[bytes, reason] : rows) {
        EXPECT_EQ(OpenMemory(bytes, Probe), 0u) << reason;
        EXPECT_EQ(Tavd_DSD_ErrorGetText(), reason);
    }
    EXPECT_EQ(Tavd_DSD_ErrorGetText(), std::string(rows[5].second)) << "kept until the next open";
    EXPECT_EQ(OpenFile(dir_.path + "missing.dsf"), 0u);
    EXPECT_STREQ(Tavd_DSD_ErrorGetText(), "the file cannot be opened");
    const TavoHandle h = OpenMemory(TestDsd_Bytes(Shape(TestDsdKind::Dff, 2, 800)));
    EXPECT_NE(h, 0u);
    EXPECT_STREQ(Tavd_DSD_ErrorGetText(), "");
    Tavo_StreamFree(h);
}

// WavPack files made by `wavpack -y` from DSF and DFF files deliver the bytes of the file they were made
// from, as a file and from memory, from the start and after a seek.
TEST_F(Dsd, WavPack_DeliversTheBytesOfTheFileItWasMadeFrom) {
    int n = 0;
    for (TestDsdKind kind : Kinds) {
        for (uint32_t channels : {1u, 2u, 6u}) {
            for (uint64_t samples : {uint64_t{8 * 3001}, uint64_t{8 * 50'000}}) {
                TestDsdShape shape = Shape(kind, channels, samples, ++n);
                shape.dff_abss = false;
                shape.rate = Rates[n % std::size(Rates)];
                const std::string from =
                    Write(shape, "w" + std::to_string(n) + (kind == TestDsdKind::Dff ? ".dff" : ".dsf"));
                const std::string wv = dir_.path + "w" + std::to_string(n) + ".wv";
                ASSERT_EQ(std::system(("wavpack -q -y '" + from + "' -o '" + wv + "' 2>/dev/null").c_str()),
                          0)
                    << Describe(shape);
                const uint64_t length = TestDsd_PlayLength(shape);
                const std::vector<uint8_t> expected = TestDsd_Expected(shape, 0, size_t(length));
                std::ifstream in(wv, std::ios::binary);
                const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
                for (TavoHandle h : {OpenFile(wv), OpenMemory(bytes)}) {
                    ASSERT_NE(h, 0u) << Describe(shape) << " code " << Tavo_ErrorGetCode();
                    EXPECT_EQ(Tavo_ChannelGetLength(h, 0), length) << Describe(shape);
                    float rate = 0;
                    EXPECT_TRUE(Tavo_ChannelGetAttribute(h, TAVO_ATTRIB_DSDRATE, &rate));
                    EXPECT_EQ(rate, float(shape.rate));
                    EXPECT_TRUE(ReadAll(h, {4098, 65536}) == expected) << Describe(shape);
                    const uint64_t middle = length / 3 / 2 * 2;
                    ASSERT_EQ(Tavo_ChannelSetPosition(h, middle, 0), 1);
                    EXPECT_TRUE(ReadAll(h, {65536}) ==
                                std::vector<uint8_t>(expected.begin() + long(middle), expected.end()))
                        << Describe(shape) << " after a seek";
                    Tavo_StreamFree(h);
                }
                const TavoHandle probe = OpenFile(wv, Probe);
                EXPECT_EQ(Tavo_ChannelGetLength(probe, 0), length / 2);
                Tavo_StreamFree(probe);
            }
        }
    }
}

// Only DSD plays: a WavPack file of PCM is refused as a file of another kind is, and one cut short as
// a DSF cut short is.
TEST_F(Dsd, WavPack_RefusesPcmAndCutFiles) {
    // A second of 16-bit stereo PCM at 44.1 kHz, in a WAV file.
    std::string wav = "RIFF";
    auto le = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) wav += char(v >> (8 * i) & 0xFF);
    };
    const uint32_t data = 44100 * 4;
    le(36 + data, 4);
    wav += "WAVEfmt ";
    le(16, 4), le(1, 2), le(2, 2), le(44100, 4), le(44100 * 4, 4), le(4, 2), le(16, 2);
    wav += "data";
    le(data, 4);
    for (uint32_t i = 0; i < data; ++i) wav += char(i * 7 % 251);
    std::ofstream(dir_.path + "pcm.wav", std::ios::binary) << wav;
    TestDsdShape shape = Shape(TestDsdKind::DsfLsb, 2, 8 * 200'000);
    Write(shape, "dsd.dsf");
    ASSERT_EQ(
        std::system(("cd '" + dir_.path + "' && wavpack -q -y pcm.wav && wavpack -q -y dsd.dsf").c_str()), 0);
    std::ifstream in(dir_.path + "dsd.wv", std::ios::binary);
    std::vector<uint8_t> dsd{std::istreambuf_iterator<char>(in), {}};
    const std::pair<std::vector<uint8_t>, std::string> rows[] = {
        {{dsd.begin(), dsd.begin() + long(dsd.size() / 2)}, "the file is shorter than its header says"},
        {{dsd.begin(), dsd.begin() + 40}, "the WavPack file is damaged"},
    };
    EXPECT_EQ(OpenFile(dir_.path + "pcm.wv"), 0u);
    EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_FILEFORM);
    EXPECT_STREQ(Tavd_DSD_ErrorGetText(), "not a DSD file");
    for (const auto &[bytes, reason] : rows) {
        EXPECT_EQ(OpenMemory(bytes), 0u) << reason;
        EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_FILEFORM);
        EXPECT_EQ(Tavd_DSD_ErrorGetText(), reason);
    }
}

// Streams are independent: several read at once on their own threads each get their own bytes.
TEST_F(Dsd, Read_SeveralStreamsOnTheirOwnThreadsAtOnce) {
    std::vector<TestDsdShape> shapes;
    std::vector<std::string> paths;
    for (uint32_t i = 0; i < 4; ++i) {
        shapes.push_back(Shape(Kinds[i % 3], i % 2 ? 2 : 1, 8 * 300000, 100 + i));
        paths.push_back(Write(shapes[i], "s" + std::to_string(i)));
    }
    std::vector<int> same(shapes.size(), 0);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < shapes.size(); ++i) {
        threads.emplace_back([&, i] {
            if (TavoHandle h = OpenFile(paths[i])) {
                same[i] =
                    ReadAll(h, {40000}) == TestDsd_Expected(shapes[i], 0, TestDsd_PlayLength(shapes[i]));
                Tavo_StreamFree(h);
            }
        });
    }
    for (auto &t : threads) t.join();
    for (size_t i = 0; i < shapes.size(); ++i) EXPECT_TRUE(same[i]) << Describe(shapes[i]);
}

} // namespace
