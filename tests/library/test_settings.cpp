// The settings file "lp.is": its bytes, what a damaged or foreign file loads as, and a save that never
// leaves a truncated file.

#include "library/library.h"
#include "library/settings.h"
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using Values = std::array<uint8_t, 7>;

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += char(b);
    return s;
}

const std::string Magic = Bytes({0x99, 0x3C, 0x34, 0x01});

// A ListFolder of its own for each test.
class SettingsFile : public ::testing::Test {
  protected:
    std::string base;
    void SetUp() override {
        std::string pattern = "/tmp/gs-settings-XXXXXX";
        base = std::string(mkdtemp(pattern.data())) + "/";
        EstablishListFolder(base);
    }
    void TearDown() override { std::filesystem::remove_all(base); }
    std::string Path() const { return ListFolder + SettingsFileName; }
    void Write(const std::string &bytes) const { std::ofstream(Path(), std::ios::binary) << bytes; }
    std::string Read() const {
        std::ifstream in(Path(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

} // namespace

TEST(SettingsBytes, HoldMagicUtf16NameLineEndSevenValuesAndEndMark) {
    const std::string bytes = EncodeSettings("USB DAC 2.0", {3, 1, 1, 0, 2, 1, 0});
    EXPECT_EQ(bytes.size(), 38u) << "a name of 11 characters gives 38 bytes";
    std::string expected = Magic;
    for (char c : std::string("USB DAC 2.0")) expected += std::string{c, '\0'};
    expected += Bytes({0x0D, 0, 0x0A, 0, 3, 1, 1, 0, 2, 1, 0, 0xFF});
    EXPECT_EQ(bytes, expected);

    // Outside ASCII: one UTF-16 unit per character, two for one beyond the BMP.
    const std::string other = EncodeSettings("Ц\xF0\x9F\x8E\xB5", {});
    EXPECT_EQ(other.substr(4, 6), Bytes({0x26, 0x04, 0x3C, 0xD8, 0xB5, 0xDF}));
}

TEST(SettingsBytes, ReadBackWhatWasWrittenAndZeroForWhatIsMissing) {
    std::string name;
    Values values{};
    ASSERT_TRUE(DecodeSettings(EncodeSettings("Звук 音", {1, 1, 0, 0, 1, 0, 1}), name, values));
    EXPECT_EQ(name, "Звук 音");
    EXPECT_EQ(values, (Values{1, 1, 0, 0, 1, 0, 1}));

    struct Case {
        const char *what;
        std::string bytes;
        std::string name;
        Values values;
    } cases[] = {
        {"cut after two values", Magic + Bytes({'A', 0, 0x0D, 0, 0x0A, 0, 5, 1}), "A", {5, 1, 0, 0, 0, 0, 0}},
        {"cut inside the name", Magic + Bytes({'A', 0, 'B'}), "A", {}},
        {"no line end at all", Magic + Bytes({'A', 0, 'B', 0}), "AB", {}},
        {"lone LF", Magic + Bytes({'A', 0, 0x0A, 0, 0, 1, 1, 1, 2, 0, 1}), "A", {0, 1, 1, 1, 2, 0, 1}},
        {"lone CR", Magic + Bytes({'A', 0, 0x0D, 0, 0, 1, 1, 1, 2, 0, 1}), "A", {0, 1, 1, 1, 2, 0, 1}},
        {"zero unit", Magic + Bytes({'A', 0, 0, 0, 4, 1, 1, 1, 2, 0, 1}), "A", {4, 1, 1, 1, 2, 0, 1}},
        {"empty name, one value", Magic + Bytes({0x0D, 0, 0x0A, 0, 9}), "", {9, 0, 0, 0, 0, 0, 0}},
        {"an old view value is kept", EncodeSettings("D", {0, 1, 0, 0, 5, 0, 1}), "D", {0, 1, 0, 0, 5, 0, 1}},
    };
    for (const Case &c : cases) {
        name = "unchanged";
        values.fill(7);
        ASSERT_TRUE(DecodeSettings(c.bytes, name, values)) << c.what;
        EXPECT_EQ(name, c.name) << c.what;
        EXPECT_EQ(values, c.values) << c.what;
    }
}

TEST_F(SettingsFile, ListFolderIsMadeBesideTheGivenFolder) {
    EXPECT_EQ(ListFolder, base + "lpli/");
    EXPECT_TRUE(IsDirectory(ListFolder));
}

TEST_F(SettingsFile, SaveWritesTheChosenStateAndLoadReadsItBack) {
    DeviceCaps = {0, 4, "USB DAC", {1, 1, 0, 1}};
    OutputChannel = 2;
    ViewCover = 1;
    CoverTrack = 1;
    BlendPicture = 0;
    ASSERT_TRUE(SaveSettings());
    const std::string bytes = Read();
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(bytes.size() - 8), Bytes({2, 1, 1, 0, 1, 1, 0, 0xFF}))
        << "the 22.6 MHz flag is not saved";

    SettingsLoaded = false;
    ReadSettingsFile();
    EXPECT_TRUE(SettingsLoaded);
    EXPECT_EQ(SavedDeviceName, "USB DAC");
    EXPECT_EQ(SavedSettings, (Values{2, 1, 1, 0, 1, 1, 0}));
}

TEST_F(SettingsFile, MissingShortForeignOrFolderFilesAreNotLoaded) {
    const std::string cases[] = {"", Magic, Bytes({0x99, 0x3C, 0x34, 0x00, 'A', 0, 0x0D, 0, 0x0A, 0}),
                                 Bytes({0x01, 0x34, 0x3C, 0x99, 'A', 0, 0x0D, 0, 0x0A, 0})};
    SettingsLoaded = true;
    ReadSettingsFile();
    EXPECT_FALSE(SettingsLoaded) << "missing";
    for (const std::string &bytes : cases) {
        Write(bytes);
        SettingsLoaded = true;
        ReadSettingsFile();
        EXPECT_FALSE(SettingsLoaded) << bytes.size() << " bytes";
    }
    std::filesystem::remove(Path());
    std::filesystem::create_directory(Path());
    SettingsLoaded = true;
    ReadSettingsFile();
    EXPECT_FALSE(SettingsLoaded) << "a folder";
}

TEST_F(SettingsFile, AFailedSaveLeavesTheOldFileWhole) {
    const std::string old = EncodeSettings("Old DAC", {0, 1, 1, 1, 2, 0, 1});
    Write(old);
    chmod(Path().c_str(), 0444); // refused like a read-only file on Windows, even for root
    DeviceCaps = {0, 0, "New DAC", {1, 0, 0, 0}};
    EXPECT_FALSE(SaveSettings());
    EXPECT_EQ(Read(), old);

    // A folder that is gone: nothing is written, nothing is reported.
    ListFolder = base + "gone/";
    EXPECT_FALSE(SaveSettings());
    EXPECT_FALSE(std::filesystem::exists(base + "gone"));
}
