// The engine core's table and lifecycle, driven through a fake add-on stream.

#include "tavo.h"
#include "tavo_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// A stream of `length` bytes whose byte i is i mod 251, counting its closes; reads take delayMs.
struct FakeStream {
    uint64_t length;
    std::atomic<int> *closes;
    uint64_t pos = 0;
    int delayMs = 0;
    std::atomic<bool> inRead{false};
};

int32_t FakeRead(void *state, void *buffer, uint32_t length) {
    auto *s = static_cast<FakeStream *>(state);
    s->inRead = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(s->delayMs));
    uint64_t n = std::min<uint64_t>(length, s->length - s->pos);
    for (uint64_t i = 0; i < n; ++i)
        static_cast<uint8_t *>(buffer)[i] = static_cast<uint8_t>((s->pos + i) % 251);
    s->pos += n;
    s->inRead = false;
    return static_cast<int32_t>(n);
}

int FakeSeek(void *state, uint64_t pos) {
    static_cast<FakeStream *>(state)->pos = pos;
    return 1;
}

uint64_t FakeFilePosition(void *state) {
    return 1000 + static_cast<FakeStream *>(state)->pos;
}

void FakeClose(void *state) {
    auto *s = static_cast<FakeStream *>(state);
    s->closes->fetch_add(1);
    delete s;
}

const TavoStreamProcs FakeProcs = {FakeRead, FakeSeek, FakeFilePosition, FakeClose};

TavoHandle Register(uint64_t length, std::atomic<int> &closes, FakeStream **out = nullptr) {
    auto *s = new FakeStream{length, &closes};
    if (out) *out = s;
    TavoStreamInfo info{length, length / 2.0, 88200.0f, 2822400.0f, length + 92, 1};
    return TavoStream_Register(&FakeProcs, s, &info);
}

class Core : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(Tavo_Init(0, 44100, 0x1000, nullptr, nullptr), 1); }
    void TearDown() override { Tavo_Free(); }
    std::atomic<int> closes{0};
};

TEST(CoreLifecycle, InitFreeAndTheirErrorCodes) {
    EXPECT_EQ(Tavo_Free(), 0);
    EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_INIT);
    EXPECT_EQ(Tavo_SetDevice(0), 0);
    EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_INIT);

    std::atomic<int> closes{0};
    EXPECT_EQ(Register(10, closes), 0u) << "a stream needs an initialised core";
    EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_INIT);
    EXPECT_EQ(closes.load(), 1) << "a refused stream is closed, not leaked";

    EXPECT_EQ(Tavo_Init(5, 44100, 0x1000, nullptr, nullptr), 0);
    EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_DEVICE);
    ASSERT_EQ(Tavo_Init(0, 44100, 0x1000, nullptr, nullptr), 1);
    EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_OK);
    EXPECT_EQ(Tavo_Init(0, 44100, 0x1000, nullptr, nullptr), 0);
    EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_ALREADY);
    // Error codes are per thread: another thread's success leaves this thread's failure.
    std::thread([] {
        EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_OK);
        EXPECT_EQ(Tavo_SetDevice(0), 1);
    }).join();
    EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_ALREADY);
    EXPECT_EQ(Tavo_StreamCreateFile(0, "/nonexistent.wav", 0, 0, 0), 0u);
    EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_FILEFORM);
    EXPECT_EQ(Tavo_Free(), 1);
}

// Pulls, lengths, attributes and file positions as the stream gives them (the reader's tests cover the same
// through real streams); what the core adds: positions, whole-frame seeks inside the stream, stops.
TEST_F(Core, DataPullsLengthsAttributesAndPositions) {
    TavoHandle h = Register(1000, closes);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Tavo_ChannelGetLength(h, 0), 1000u);
    EXPECT_EQ(Tavo_ChannelGetLength(h, 1), UINT64_MAX);
    EXPECT_DOUBLE_EQ(Tavo_ChannelBytes2Seconds(h, 1000), 2.0);
    float v = 0;
    EXPECT_EQ(Tavo_ChannelGetAttribute(h, TAVO_ATTRIB_DSDRATE, &v), 1);
    EXPECT_EQ(v, 2822400.0f);
    EXPECT_EQ(Tavo_ChannelGetAttribute(h, 2, &v), 0);
    EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_ILLPARAM);
    EXPECT_EQ(Tavo_ChannelSetDevice(h, 0), 1);

    std::vector<uint8_t> buf(700);
    EXPECT_EQ(Tavo_ChannelGetData(h, buf.data(), 700), 700);
    EXPECT_EQ(Tavo_ChannelGetPosition(h, 0), 700u);
    EXPECT_EQ(Tavo_StreamGetFilePosition(h, 0), 1700u);
    EXPECT_EQ(Tavo_StreamGetFilePosition(h, 2), 1092u);
    EXPECT_EQ(Tavo_ChannelGetData(h, buf.data(), 700), 300) << "fewer bytes at the end";
    EXPECT_EQ(buf[299], 999 % 251);
    EXPECT_EQ(Tavo_ChannelGetData(h, buf.data(), 700), 0) << "nothing past the end";
    EXPECT_EQ(Tavo_ChannelSetPosition(h, 3, 0), 0) << "only whole frames";
    EXPECT_EQ(Tavo_ChannelSetPosition(h, 1002, 0), 0) << "not past the end";
    ASSERT_EQ(Tavo_ChannelSetPosition(h, 500, 0), 1);
    EXPECT_EQ(Tavo_ChannelGetPosition(h, 0), 500u);
    EXPECT_EQ(Tavo_ChannelGetData(h, buf.data(), 2), 2);
    EXPECT_EQ(buf[0], 500 % 251);
    EXPECT_EQ(Tavo_ChannelStop(h), 1);
    EXPECT_EQ(Tavo_ChannelGetData(h, buf.data(), 10), 0) << "a stopped stream delivers nothing";
}

TEST_F(Core, FreedHandlesAreDeadAndNeverReused) {
    TavoHandle a = Register(10, closes), b = Register(10, closes);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_EQ(Tavo_StreamFree(a), 1);
    EXPECT_EQ(closes.load(), 1);
    EXPECT_EQ(Tavo_StreamFree(a), 0);
    EXPECT_EQ(Tavo_ErrorGetCode(), TAVO_ERROR_ILLPARAM);
    uint8_t byte;
    EXPECT_EQ(Tavo_ChannelGetData(a, &byte, 1), -1);
    EXPECT_EQ(Tavo_ChannelGetLength(a, 0), UINT64_MAX);
    EXPECT_EQ(Tavo_ChannelGetLength(0, 0), UINT64_MAX);
    TavoHandle c = Register(10, closes);
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);

    // Tavo_Free closes every stream still open.
    EXPECT_EQ(Tavo_Free(), 1);
    EXPECT_EQ(closes.load(), 3);
    EXPECT_EQ(Tavo_ChannelGetLength(b, 0), UINT64_MAX);
    ASSERT_EQ(Tavo_Init(0, 44100, 0x1000, nullptr, nullptr), 1);
    EXPECT_EQ(Tavo_ChannelGetLength(c, 0), UINT64_MAX) << "a new run does not revive old handles";
}

// The audio thread may be inside a data pull when the main thread frees the stream: the stream
// must outlive that pull and close right after it.
TEST_F(Core, FreeDuringAReadClosesAfterTheRead) {
    FakeStream *s = nullptr;
    TavoHandle h = Register(1 << 20, closes, &s);
    ASSERT_NE(h, 0u);
    s->delayMs = 200;
    std::vector<uint8_t> buf(1 << 20);
    std::atomic<int32_t> got{0};
    std::thread reader([&] { got = Tavo_ChannelGetData(h, buf.data(), 1 << 20); });
    while (!s->inRead) std::this_thread::yield();
    EXPECT_EQ(Tavo_StreamFree(h), 1);
    EXPECT_EQ(closes.load(), 0) << "closed under a running read";
    reader.join();
    EXPECT_EQ(got.load(), 1 << 20);
    EXPECT_EQ(closes.load(), 1);
}

} // namespace
