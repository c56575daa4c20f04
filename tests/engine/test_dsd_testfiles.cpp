// The test-file writer checked against an independent reader (ffprobe and ffmpeg), so that the reader
// tests do not rest on a writer that shares their mistakes.

#include "dsd_testfiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string RunCommand(const std::string &command) {
    std::string out;
    if (FILE *p = popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::vector<uint8_t> Slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint8_t Reverse(uint8_t v) {
    uint8_t r = 0;
    for (int b = 0; b < 8; ++b) r |= static_cast<uint8_t>(((v >> b) & 1) << (7 - b));
    return r;
}

// ffprobe reads the rate, the channels and the bit order of every kind of file; ffmpeg's copy of the
// sound data holds the payload: a DFF's interleaved bytes, a DSF's blocks (whole blocks only: ffmpeg
// trims the last one).
TEST(DsdTestFiles, WrittenFilesReadBackThroughFfmpeg) {
    if (std::system("ffprobe -version >/dev/null 2>&1") != 0 ||
        std::system("ffmpeg -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffprobe/ffmpeg not installed";
    std::string tmpl = (std::filesystem::temp_directory_path() / "test_dsd_testfiles.XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    const std::filesystem::path dir = tmpl;
    std::unique_ptr<const std::filesystem::path, void (*)(const std::filesystem::path *)> cleanup(
        &dir, [](const std::filesystem::path *d) { std::filesystem::remove_all(*d); });

    struct Row {
        TestDsdKind kind;
        uint32_t rate, channels;
        const char *codec;
    };
    const Row rows[] = {
        {TestDsdKind::DsfLsb, 2'822'400, 2, "dsd_lsbf_planar"},
        {TestDsdKind::DsfMsb, 6'144'000, 6, "dsd_msbf_planar"},
        {TestDsdKind::DsfLsb, 22'579'200, 1, "dsd_lsbf_planar"},
        {TestDsdKind::Dff, 11'289'600, 2, "dsd_msbf"},
        {TestDsdKind::Dff, 22'579'200, 1, "dsd_msbf"},
        {TestDsdKind::Dff, 3'072'000, 6, "dsd_msbf"},
    };
    for (const Row &row : rows) {
        TestDsdShape shape;
        shape.kind = row.kind;
        shape.rate = row.rate;
        shape.channels = row.channels;
        shape.samples = 8 * 4096 * 3;
        shape.junk = row.kind == TestDsdKind::Dff ? 0 : 100; // ffmpeg reads a DFF's junk as chunks
        shape.seed = row.rate + row.channels;
        std::string path = (dir / (row.kind == TestDsdKind::Dff ? "t.dff" : "t.dsf")).string();
        SCOPED_TRACE(path + " " + std::to_string(row.rate) + " " + std::to_string(row.channels));
        ASSERT_TRUE(TestDsd_WriteFile(shape, path));

        std::string probe =
            RunCommand("ffprobe -v error -show_entries stream=codec_name,channels,sample_rate -of "
                       "default=nw=1 '" +
                       path + "'");
        EXPECT_NE(probe.find("codec_name=" + std::string(row.codec) + "\n"), std::string::npos) << probe;
        EXPECT_NE(probe.find("sample_rate=" + std::to_string(row.rate / 8) + "\n"), std::string::npos)
            << probe;
        EXPECT_NE(probe.find("channels=" + std::to_string(row.channels) + "\n"), std::string::npos) << probe;

        std::string raw = (dir / "out.raw").string();
        RunCommand("ffmpeg -v error -y -i '" + path + "' -map 0:a -c:a copy -f data '" + raw + "'");
        auto got = Slurp(raw);
        const uint64_t bytes = shape.samples / 8;
        ASSERT_EQ(got.size(), bytes * row.channels);
        bool same = true;
        for (uint64_t k = 0; k < bytes; ++k) {
            for (uint32_t c = 0; c < row.channels; ++c) {
                uint8_t want = TestDsd_Byte(shape.seed, c, k);
                if (row.kind == TestDsdKind::Dff)
                    same &= got[k * row.channels + c] == want;
                else {
                    uint64_t at = (k / 4096 * row.channels + c) * 4096 + k % 4096;
                    same &= got[at] == (row.kind == TestDsdKind::DsfLsb ? Reverse(want) : want);
                }
            }
        }
        EXPECT_TRUE(same);
    }
}

// Any range of the expected bytes is the same slice of the whole, whatever its alignment: later tests
// compare reads that start anywhere against it.
TEST(DsdTestFiles, ExpectedBytesOfAnyRangeAreASliceOfTheWhole) {
    for (uint32_t channels : {1u, 2u, 6u}) {
        TestDsdShape shape;
        shape.kind = TestDsdKind::Dff;
        shape.channels = channels;
        shape.dff_ids = channels == 6
                           ? std::vector<std::string>{"C   ", "MRGT", "MLFT", "LFE ", "LS  ", "RS  "}
                           : std::vector<std::string>{};
        shape.samples = 8 * 200000;
        auto whole = TestDsd_Expected(shape, 0, TestDsd_PlayLength(shape));
        for (uint64_t k : {0, 1000, 65536}) {
            uint32_t l = channels == 6 ? 2 : 0, r = channels == 6 ? 1 : channels - 1;
            EXPECT_EQ(whole[2 * k], TestDsd_Byte(shape.seed, l, k));
            EXPECT_EQ(whole[2 * k + 1], TestDsd_Byte(shape.seed, r, k));
        }
        const uint64_t ranges[][2] = {{0, 1}, {1, 1}, {1, 2}, {3, 131073}, {131071, 131075}, {399990, 10}};
        for (const auto &range : ranges) {
            auto part = TestDsd_Expected(shape, range[0], range[1]);
            EXPECT_TRUE(
                std::equal(part.begin(), part.end(), whole.begin() + static_cast<ptrdiff_t>(range[0])))
                << range[0] << "+" << range[1];
        }
    }
}

} // namespace
