// tavd.so, the DSF/DFF reader, through the program's interface: files written by the test-file helper
// are opened, measured and read, and their bytes compared with the payload the helper put in them.

#include "dsd_testfiles.h"
#include "tavd.h"
#include "tavo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

const char *KindName(TestDsdKind k) {
    return k == TestDsdKind::DsfLsb ? "DSF/lsb" : k == TestDsdKind::DsfMsb ? "DSF/msb" : "DFF";
}

std::string Describe(const TestDsdShape &s) {
    return std::string(KindName(s.kind)) + " rate " + std::to_string(s.rate) + " channels " +
           std::to_string(s.channels) + " samples " + std::to_string(s.samples);
}

TavoHandle OpenMemory(const std::vector<uint8_t> &bytes, uint32_t flags = Play) {
    return Tavd_DSD_StreamCreateFile(1, bytes.data(), 0, bytes.size(), flags, 0);
}

// Reads the stream to its end in requests of the given sizes, taken in turn; every request must
// deliver only whole frames, and the end is a read that returns 0.
std::vector<uint8_t> ReadAll(TavoHandle h, std::vector<uint32_t> requests) {
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

    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "test_dsd.XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Write(const TestDsdShape &shape, const std::string &name = "t") {
        std::string path = (dir_ / name).string();
        EXPECT_TRUE(TestDsd_WriteFile(shape, path));
        return path;
    }

    std::filesystem::path dir_;
};

// Every format at every rate with 1, 2 and 6 channels, lengths ending inside a block (some with a
// partial last byte), some with junk after the file, half from files and half from memory.
TEST_F(Dsd, Read_DeliversExactlyThePayloadForEveryFormatRateAndChannelCount) {
    int index = 0;
    for (TestDsdKind kind : Kinds) {
        for (uint32_t rate : Rates) {
            for (uint32_t channels : {1u, 2u, 6u}) {
                ++index;
                TestDsdShape shape;
                shape.kind = kind;
                shape.rate = rate;
                shape.channels = channels;
                shape.samples = 8 * (4096 * 2 + 1000 + 37 * index) + index % 8;
                shape.junk = index % 3 == 0 ? 777 : 0;
                shape.seed = static_cast<uint32_t>(index);
                SCOPED_TRACE(Describe(shape));
                std::vector<uint8_t> bytes;
                TavoHandle h;
                if (index % 2) {
                    h = Tavd_DSD_StreamCreateFile(0, Write(shape).c_str(), 0, 0, Play, 0);
                } else {
                    bytes = TestDsd_Bytes(shape);
                    h = OpenMemory(bytes);
                }
                ASSERT_NE(h, 0u) << "code " << Tavo_ErrorGetCode();
                uint64_t length = TestDsd_PlayLength(shape);
                EXPECT_EQ(length, 2 * (shape.samples / 8));
                EXPECT_EQ(Tavo_ChannelGetLength(h, 0), length);
                std::vector<uint8_t> got = ReadAll(h, {static_cast<uint32_t>(length + 4096)});
                EXPECT_TRUE(got == TestDsd_Expected(shape, 0, length));
                Tavo_StreamFree(h);
            }
        }
    }
}

// Sample counts at and around the block edges, down to none at all.
TEST_F(Dsd, Read_StopsAtTheSampleCountAtAndAroundBlockEdges) {
    const uint64_t counts[] = {0, 7, 8, 9, 8 * 4095, 8 * 4096 - 1, 8 * 4096, 8 * 4096 + 8, 8 * 4096 * 3 + 5};
    for (TestDsdKind kind : Kinds) {
        for (uint32_t channels : {1u, 2u}) {
            for (uint64_t samples : counts) {
                TestDsdShape shape;
                shape.kind = kind;
                shape.channels = channels;
                shape.samples = samples;
                shape.junk = 4096;
                SCOPED_TRACE(Describe(shape));
                auto bytes = TestDsd_Bytes(shape);
                TavoHandle h = OpenMemory(bytes);
                ASSERT_NE(h, 0u) << "code " << Tavo_ErrorGetCode();
                EXPECT_EQ(Tavo_ChannelGetLength(h, 0), 2 * (samples / 8));
                EXPECT_TRUE(ReadAll(h, {1 << 20}) == TestDsd_Expected(shape, 0, 2 * (samples / 8)));
                Tavo_StreamFree(h);
            }
        }
    }
}

// Requests of any size, odd ones included (they deliver one byte less), ending anywhere in a block
// and spanning more than the reader reads from a file at once, give the same bytes as one request:
// read in a fixed size each, and in all the sizes by turns (so that each starts at many offsets).
TEST_F(Dsd, Read_InRequestsOfAnySizeGivesTheSameBytes) {
    const std::vector<std::vector<uint32_t>> patterns = {
        {8191},
        {8193},
        {65537},
        {262147},
        {(1 << 20) + 1},
        {2, 3, 1021, 8190, 8191, 5, 8192, 8193, 7, 65537, 4093, 262147, 11, (1 << 20) + 1, 4097}};
    std::vector<TestDsdShape> shapes(5);
    shapes[0].kind = TestDsdKind::DsfLsb, shapes[0].channels = 2;
    shapes[1].kind = TestDsdKind::DsfMsb, shapes[1].channels = 1;
    shapes[2].kind = TestDsdKind::DsfLsb, shapes[2].channels = 6;
    shapes[3].kind = TestDsdKind::Dff, shapes[3].channels = 2;
    shapes[4].kind = TestDsdKind::Dff, shapes[4].channels = 6;
    for (TestDsdShape &shape : shapes) {
        shape.samples = 8 * (300 * 1024 + 4321) + 3;
        SCOPED_TRACE(Describe(shape));
        std::string path = Write(shape);
        auto bytes = TestDsd_Bytes(shape);
        auto expected = TestDsd_Expected(shape, 0, TestDsd_PlayLength(shape));
        for (const auto &requests : patterns) {
            for (int mem : {0, 1}) {
                SCOPED_TRACE("requests from " + std::to_string(requests[0]) + (mem ? " memory" : " file"));
                TavoHandle h =
                    mem ? OpenMemory(bytes) : Tavd_DSD_StreamCreateFile(0, path.c_str(), 0, 0, Play, 0);
                ASSERT_NE(h, 0u);
                EXPECT_TRUE(ReadAll(h, requests) == expected);
                Tavo_StreamFree(h);
            }
        }
    }
}

// A DFF names its channels; the stream takes front left and right wherever they are, else the first two.
TEST_F(Dsd, Read_TakesTheFrontPairOfADffByChannelId) {
    struct Row {
        std::vector<std::string> ids;
        uint32_t left, right;
    };
    const Row rows[] = {
        {{"SRGT", "SLFT"}, 1, 0},
        {{"C   ", "LFE ", "MLFT", "MRGT", "LS  ", "RS  "}, 2, 3},
        {{"LS  ", "MRGT", "RS  ", "MLFT"}, 3, 1},
        {{"LS  ", "RS  ", "C   "}, 0, 1},
        {{"SLFT", "C   ", "LFE "}, 0, 1}, // no right: the first two
    };
    for (const Row &row : rows) {
        TestDsdShape shape;
        shape.kind = TestDsdKind::Dff;
        shape.channels = static_cast<uint32_t>(row.ids.size());
        shape.dff_ids = row.ids;
        shape.samples = 8 * 5000;
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

// Playback and probe streams: lengths, both attributes and seconds, as the program computes them.
TEST_F(Dsd, Lengths_AttributesAndSecondsAgreeInPlayAndProbeModes) {
    for (TestDsdKind kind : {TestDsdKind::DsfLsb, TestDsdKind::Dff}) {
        for (uint32_t rate : Rates) {
            TestDsdShape shape;
            shape.kind = kind;
            shape.rate = rate;
            shape.channels = 2;
            shape.samples = 8 * 123457;
            SCOPED_TRACE(Describe(shape));
            auto bytes = TestDsd_Bytes(shape);
            const double seconds = static_cast<double>(shape.samples) / rate;
            for (uint32_t flags : {Play, Probe}) {
                TavoHandle h = OpenMemory(bytes, flags);
                ASSERT_NE(h, 0u);
                EXPECT_EQ(Tavo_ErrorGetCode(), 0);
                uint64_t length = Tavo_ChannelGetLength(h, 0);
                EXPECT_EQ(length, flags == Play ? 2 * 123457u : 123457u);
                float freq = 0, dsd = 0;
                ASSERT_EQ(Tavo_ChannelGetAttribute(h, 1, &freq), 1);
                ASSERT_EQ(Tavo_ChannelGetAttribute(h, 0x14001, &dsd), 1);
                EXPECT_EQ(freq, rate / 32.0f);
                EXPECT_EQ(dsd, static_cast<float>(rate));
                EXPECT_NEAR(Tavo_ChannelBytes2Seconds(h, length), seconds, 1e-9);
                // The program doubles a probe's length and takes seconds = bytes / 8 / frequency.
                double shown = (flags == Play ? length : 2 * length) / 8.0 / freq;
                EXPECT_NEAR(shown, seconds, 1e-9);
                if (flags == Probe) {
                    uint8_t buf[64];
                    EXPECT_EQ(Tavo_ChannelGetData(h, buf, sizeof buf), -1);
                    EXPECT_EQ(Tavo_ErrorGetCode(), 37);
                }
                Tavo_StreamFree(h);
            }
        }
    }
}

// A position set anywhere (block edges, mid-block, the end) reads on from exactly there.
TEST_F(Dsd, Seek_ReadsOnFromTheNewPosition) {
    for (TestDsdKind kind : Kinds) {
        TestDsdShape shape;
        shape.kind = kind;
        shape.channels = 6;
        shape.samples = 8 * (4096 * 5 + 300);
        SCOPED_TRACE(Describe(shape));
        TavoHandle h = Tavd_DSD_StreamCreateFile(0, Write(shape).c_str(), 0, 0, Play, 0);
        ASSERT_NE(h, 0u);
        const uint64_t length = TestDsd_PlayLength(shape);
        for (uint64_t pos :
             {uint64_t{8192}, uint64_t{2}, uint64_t{8190}, length - 600, uint64_t{0}, length}) {
            ASSERT_EQ(Tavo_ChannelSetPosition(h, pos, 0), 1);
            std::vector<uint8_t> buf(10000);
            int32_t got = Tavo_ChannelGetData(h, buf.data(), 10000);
            ASSERT_EQ(got, static_cast<int32_t>(std::min<uint64_t>(10000, length - pos)));
            buf.resize(static_cast<size_t>(got));
            EXPECT_TRUE(buf == TestDsd_Expected(shape, pos, buf.size())) << "at " << pos;
        }
        Tavo_StreamFree(h);
    }
}

// offset and length select a file inside a larger one; positions in the file count from its start.
TEST_F(Dsd, Open_ReadsAPartOfAFileChosenByOffsetAndLength) {
    for (TestDsdKind kind : Kinds) {
        TestDsdShape shape;
        shape.kind = kind;
        shape.samples = 8 * 9000;
        SCOPED_TRACE(Describe(shape));
        auto inner = TestDsd_Bytes(shape);
        std::vector<uint8_t> outer(1000, 0x55);
        outer.insert(outer.end(), inner.begin(), inner.end());
        outer.insert(outer.end(), 3000, 0xAA);
        std::string path = (dir_ / "outer").string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(outer.data()), outer.size());

        TavoHandle h = Tavd_DSD_StreamCreateFile(0, path.c_str(), 1000, inner.size(), Play, 0);
        ASSERT_NE(h, 0u) << "code " << Tavo_ErrorGetCode();
        EXPECT_EQ(Tavo_StreamGetFilePosition(h, 2), inner.size());
        EXPECT_EQ(Tavo_StreamGetFilePosition(h, 0), 1000 + TestDsd_HeaderSize(shape));
        std::vector<uint8_t> buf(2 * 4097);
        ASSERT_EQ(Tavo_ChannelGetData(h, buf.data(), 2 * 4097), 2 * 4097);
        // The next left byte is byte 4097 of channel 0: in the second block of a DSF.
        uint64_t next = kind == TestDsdKind::Dff ? 4097 * 2 : 2 * 4096 + 1;
        EXPECT_EQ(Tavo_StreamGetFilePosition(h, 0), 1000 + TestDsd_HeaderSize(shape) + next);
        Tavo_StreamFree(h);
        // Without the length the junk after the file is part of the source, and ignored.
        h = Tavd_DSD_StreamCreateFile(0, path.c_str(), 1000, 0, Play, 0);
        ASSERT_NE(h, 0u);
        EXPECT_TRUE(ReadAll(h, {1 << 16}) == TestDsd_Expected(shape, 0, TestDsd_PlayLength(shape)));
        Tavo_StreamFree(h);
    }
}

// A header cut short anywhere, or the data cut short, is refused with 41: from memory for every cut,
// and from a file (through the length argument) for some.
TEST_F(Dsd, Open_RefusesEveryTruncatedFile) {
    for (TestDsdKind kind : Kinds) {
        for (uint32_t channels : {1u, 2u, 6u}) {
            TestDsdShape shape;
            shape.kind = kind;
            shape.channels = channels;
            shape.samples = 8 * 9000 + 1;
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
                EXPECT_EQ(Tavo_ErrorGetCode(), 41) << "cut at " << cut;
                if (cut % 7 == 0 || cut > TestDsd_HeaderSize(shape)) {
                    EXPECT_EQ(Tavd_DSD_StreamCreateFile(0, path.c_str(), 0, cut ? cut : 1, Probe, 0), 0u);
                    EXPECT_EQ(Tavo_ErrorGetCode(), 41) << "file cut at " << cut;
                }
            }
        }
    }
}

void PutLe(std::vector<uint8_t> &b, size_t at, uint64_t v, int size) {
    for (int i = 0; i < size; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutBe(std::vector<uint8_t> &b, size_t at, uint64_t v, int size) {
    for (int i = 0; i < size; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * (size - 1 - i)));
}

// One field of a valid DSF changed at a time; each change is refused with 41.
TEST_F(Dsd, Open_RefusesEveryBadDsfField) {
    TestDsdShape shape;
    shape.kind = TestDsdKind::DsfLsb;
    shape.samples = 8 * (4096 * 2 + 100);
    const auto good = TestDsd_Bytes(shape);
    const uint64_t size = good.size(), data = size - 80; // data chunk size
    struct Row {
        const char *what;
        size_t at;
        uint64_t value;
        int size;
    };
    const Row rows[] = {
        {"DSD id", 0, 0x20465344, 4}, // "DSF "
        {"DSD chunk size 27", 4, 27, 8},
        {"DSD chunk size huge", 4, UINT64_MAX, 8},
        {"file size 0", 12, 0, 8},
        {"file size short of the header", 12, 91, 8},
        {"file size past the end", 12, size + 1, 8},
        {"file size huge", 12, UINT64_MAX, 8},
        {"metadata inside the header", 20, 40, 8},
        {"metadata inside the data", 20, size - 10, 8},
        {"metadata at the end", 20, size, 8},
        {"metadata huge", 20, UINT64_MAX, 8},
        {"fmt id", 28, 0x20746d66 + 1, 4},
        {"fmt size 51", 32, 51, 8},
        {"fmt size huge", 32, UINT64_MAX / 2, 8},
        {"version 0", 40, 0, 4},
        {"version 2", 40, 2, 4},
        {"format id 1", 44, 1, 4},
        {"channel type 0", 48, 0, 4},
        {"channel type 8", 48, 8, 4},
        {"channel type mono with 2 channels", 48, 1, 4},
        {"channel type 5.1 with 2 channels", 48, 7, 4},
        {"no channels", 52, 0, 4},
        {"7 channels", 52, 7, 4},
        {"rate 0", 56, 0, 4},
        {"rate 44100", 56, 44100, 4},
        {"rate off by one", 56, 2'822'401, 4},
        {"rate DSD1024", 56, 45'158'400, 4},
        {"bits 0", 60, 0, 4},
        {"bits 4", 60, 4, 4},
        {"bits 16", 60, 16, 4},
        {"samples past the data", 64, 8 * (4096 * 3 + 1), 8},
        {"samples huge", 64, UINT64_MAX, 8},
        {"block size 0", 72, 0, 4},
        {"block size 4095", 72, 4095, 4},
        {"block size 8192", 72, 8192, 4},
        {"data id", 80, 0x61746164 ^ 0x20, 4},
        {"data size 0", 84, 0, 8},
        {"data size 11", 84, 11, 8},
        {"data short of the last block", 84, data - 1, 8},
        {"data past the file", 84, data + 1, 8},
        {"data size huge", 84, UINT64_MAX - 5, 8},
    };
    {
        TavoHandle h = OpenMemory(good);
        ASSERT_NE(h, 0u);
        Tavo_StreamFree(h);
    }
    for (const Row &row : rows) {
        auto bad = good;
        PutLe(bad, row.at, row.value, row.size);
        EXPECT_EQ(OpenMemory(bad), 0u) << row.what;
        EXPECT_EQ(Tavo_ErrorGetCode(), 41) << row.what;
    }
}

// Offset of the first appearance of a chunk id in a DFF's header.
size_t FindId(const std::vector<uint8_t> &b, const char *id, size_t from = 0) {
    for (size_t i = from; i + 4 <= b.size(); ++i)
        if (memcmp(&b[i], id, 4) == 0) return i;
    ADD_FAILURE() << "no " << id;
    return 0;
}

// One field of a valid DFF changed at a time; each change is refused with 41. Offsets count from the
// chunk's id (its size at +4, its body at +12).
TEST_F(Dsd, Open_RefusesEveryBadDffField) {
    TestDsdShape shape;
    shape.kind = TestDsdKind::Dff;
    shape.samples = 8 * 1000;
    const auto good = TestDsd_Bytes(shape);
    const uint64_t size = good.size();
    uint64_t prop_size = 0;
    for (int i = 0; i < 8; ++i) prop_size = prop_size << 8 | good[FindId(good, "PROP") + 4 + i];
    struct Row {
        const char *what;
        const char *chunk;
        size_t at;
        uint64_t value;
        int size;
    };
    const Row rows[] = {
        {"form id", "FRM8", 0, 0x46524D39, 4},
        {"form size 0", "FRM8", 4, 0, 8},
        {"form size 3", "FRM8", 4, 3, 8},
        {"form past the file", "FRM8", 4, size - 12 + 1, 8},
        {"form size huge", "FRM8", 4, UINT64_MAX, 8},
        {"form type", "FRM8", 12, 0x44534458, 4},
        {"no version first", "FVER", 0, 0x46564558, 4},
        {"version size 5", "FVER", 4, 5, 8},
        {"version 2.0", "FVER", 12, 0x02000000, 4},
        {"version 0.9", "FVER", 12, 0x00090000, 4},
        {"no properties", "PROP", 0, 0x50524F58, 4},
        {"properties size 3", "PROP", 4, 3, 8},
        {"properties short of their chunks", "PROP", 4, prop_size - 1, 8},
        {"properties past the form", "PROP", 4, size, 8},
        {"properties type", "SND ", 0, 0x534E4458, 4},
        {"no rate", "FS  ", 0, 0x46582020, 4},
        {"rate size 3", "FS  ", 4, 3, 8},
        {"rate size 8", "FS  ", 4, 8, 8},
        {"rate 44100", "FS  ", 12, 44100, 4},
        {"rate 0", "FS  ", 12, 0, 4},
        {"no channels chunk", "CHNL", 0, 0x43484E58, 4},
        {"channel chunk size 1", "CHNL", 4, 1, 8},
        {"channel chunk size huge", "CHNL", 4, UINT64_MAX, 8},
        {"no channels", "CHNL", 12, 0, 2},
        {"7 channels", "CHNL", 12, 7, 2},
        {"3 channels, 2 ids", "CHNL", 12, 3, 2},
        {"no compression chunk", "CMPR", 0, 0x434D5058, 4},
        {"compression size 4", "CMPR", 4, 4, 8},
        {"unknown compression", "CMPR", 12, 0x4D503320, 4},
        {"compression name past its chunk", "CMPR", 16, 200, 1},
        {"unknown chunk past the form", "GSXT", 4, size, 8},
        {"no sound data", "DSD ", 0, 0x44535820, 4},
        {"sound data past the form", "DSD ", 4, 2 * 1000 + 100, 8},
        {"sound data huge", "DSD ", 4, UINT64_MAX - 1, 8},
        {"sound data not whole frames", "DSD ", 4, 2 * 1000 - 1, 8},
    };
    {
        TavoHandle h = OpenMemory(good);
        ASSERT_NE(h, 0u);
        Tavo_StreamFree(h);
    }
    for (const Row &row : rows) {
        auto bad = good;
        // "DSD " is also the form type and the compression id: the sound data comes after the unknown chunk.
        size_t chunk = strcmp(row.chunk, "DSD ") == 0 ? FindId(good, "DSD ", FindId(good, "GSXT"))
                                                      : FindId(good, row.chunk);
        PutBe(bad, chunk + row.at, row.value, row.size);
        EXPECT_EQ(OpenMemory(bad), 0u) << row.what;
        EXPECT_EQ(Tavo_ErrorGetCode(), 41) << row.what;
    }
}

// A DST-compressed DFF is refused with 44; a missing file, a directory and an empty file with 2 or 41.
TEST_F(Dsd, Open_RefusesDstAndUnreadableFilesWithTheirOwnCodes) {
    for (uint32_t channels : {1u, 2u, 6u}) {
        TestDsdShape shape;
        shape.kind = TestDsdKind::Dff;
        shape.channels = channels;
        shape.dst = true;
        auto bytes = TestDsd_Bytes(shape);
        EXPECT_EQ(OpenMemory(bytes, Probe), 0u);
        EXPECT_EQ(Tavo_ErrorGetCode(), 44);
        EXPECT_EQ(Tavd_DSD_StreamCreateFile(0, Write(shape).c_str(), 0, 0, Play, 0), 0u);
        EXPECT_EQ(Tavo_ErrorGetCode(), 44);
    }
    EXPECT_EQ(Tavd_DSD_StreamCreateFile(0, (dir_ / "missing.dsf").c_str(), 0, 0, Probe, 0), 0u);
    EXPECT_EQ(Tavo_ErrorGetCode(), 2);
    EXPECT_EQ(Tavd_DSD_StreamCreateFile(0, dir_.c_str(), 0, 0, Probe, 0), 0u);
    EXPECT_EQ(Tavo_ErrorGetCode(), 2);
    std::ofstream(dir_ / "empty.dff").close();
    EXPECT_EQ(Tavd_DSD_StreamCreateFile(0, (dir_ / "empty.dff").c_str(), 0, 0, Probe, 0), 0u);
    EXPECT_EQ(Tavo_ErrorGetCode(), 41);
}

// Streams are independent: several read at once on their own threads each get their own bytes.
TEST_F(Dsd, Read_SeveralStreamsOnTheirOwnThreadsAtOnce) {
    std::vector<TestDsdShape> shapes(4);
    std::vector<std::string> paths;
    for (size_t i = 0; i < shapes.size(); ++i) {
        shapes[i].kind = Kinds[i % 3];
        shapes[i].channels = i % 2 ? 2 : 1;
        shapes[i].samples = 8 * 300000;
        shapes[i].seed = static_cast<uint32_t>(100 + i);
        paths.push_back(Write(shapes[i], "s" + std::to_string(i)));
    }
    std::vector<int> same(shapes.size(), 0);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < shapes.size(); ++i) {
        threads.emplace_back([&, i] {
            TavoHandle h = Tavd_DSD_StreamCreateFile(0, paths[i].c_str(), 0, 0, Play, 0);
            if (!h) return;
            std::vector<uint8_t> got, buf(40000);
            for (int32_t n; (n = Tavo_ChannelGetData(h, buf.data(), 40000)) > 0;)
                got.insert(got.end(), buf.begin(), buf.begin() + n);
            same[i] = got == TestDsd_Expected(shapes[i], 0, TestDsd_PlayLength(shapes[i]));
            Tavo_StreamFree(h);
        });
    }
    for (auto &t : threads) t.join();
    for (size_t i = 0; i < shapes.size(); ++i) EXPECT_TRUE(same[i]) << Describe(shapes[i]);
}

} // namespace
