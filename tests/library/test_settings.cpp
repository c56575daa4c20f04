// The settings file "lp.is": its bytes, what a damaged or foreign file loads as, and a save that never
// leaves a truncated file.

#include "helpers.h"

#include "library/settings.h"

#include <cerrno>

namespace {

using Values = std::array<uint8_t, 7>;
const std::string Magic = Bytes({0x99, 0x3C, 0x34, 0x01});

// "name values" as DecodeSettings reads them over a stale name and values, or "refused".
std::string Decoded(const std::string &bytes) {
    std::string name = "stale";
    Values values;
    values.fill(7);
    if (!DecodeSettings(bytes, name, values)) return "refused";
    name += ' ';
    for (uint8_t v : values) name += std::to_string(v);
    return name;
}

class SettingsFile : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        EstablishListFolder(drive);
    }
    std::string Path() const { return ListFolder + SettingsFileName; }
    bool Loads() const {
        Saved.Loaded = true;
        ReadSettingsFile();
        return Saved.Loaded;
    }
};

} // namespace

TEST(SettingsBytes, HoldMagicUtf16NameLineEndSevenValuesAndEndMark) {
    EXPECT_EQ(EncodeSettings("USB DAC 2.0", {3, 1, 1, 0, 2, 1, 0}),
              Magic + Utf16("USB DAC 2.0\r\n") + Bytes({3, 1, 1, 0, 2, 1, 0, 0xFF}));
    EXPECT_EQ(Decoded(EncodeSettings("Звук 音\xF0\x9F\x8E\xB5", {1, 1, 0, 0, 5, 0, 1})),
              "Звук 音\xF0\x9F\x8E\xB5 1100501");
}

TEST(SettingsBytes, ReadWhatIsThereAndZeroForWhatIsMissing) {
    EXPECT_EQ(Decoded(Magic + Bytes({'A', 0, 0x0D, 0, 0x0A, 0, 5, 1})), "A 5100000")
        << "cut after two values";
    EXPECT_EQ(Decoded(Magic + Bytes({'A', 0, 'B'})), "A 0000000") << "cut inside the name";
    EXPECT_EQ(Decoded(Magic + Bytes({'A', 0, 'B', 0})), "AB 0000000") << "no line end at all";
    EXPECT_EQ(Decoded(Magic + Bytes({'A', 0, 0x0D, 0, 0, 1, 1, 1, 2, 0, 1})), "A 0111201") << "lone CR";
    EXPECT_EQ(Decoded(Magic + Bytes({'A', 0, 0x0A, 0, 3, 1, 1, 1, 2, 0, 1})), "A 3111201") << "lone LF";
    EXPECT_EQ(Decoded(Magic + Bytes({'A', 0, 0, 0, 4, 1, 1, 1, 2, 0, 1})), "A 4111201") << "zero unit";
    EXPECT_EQ(Decoded(Magic + Bytes({0x0D, 0, 0x0A, 0, 9})), " 9000000") << "empty name, one value";
    EXPECT_EQ(Decoded(Magic), "refused") << "too short";
    EXPECT_EQ(Decoded(Bytes({0x99, 0x3C, 0x34, 0x00, 'A', 0})), "refused") << "another magic";
    EXPECT_EQ(Decoded(Bytes({0x01, 0x34, 0x3C, 0x99, 'A', 0})), "refused") << "big-endian magic";
}

TEST_F(SettingsFile, SaveWritesTheChosenStateBesideTheGivenFolderAndLoadReadsItBack) {
    EXPECT_EQ(ListFolder, drive + "lpli/");
    DeviceCaps = {0, 4, "USB DAC", {1, 1, 0, 1}};
    OutputChannel = 2;
    ViewCover = CoverTrack = 1;
    BlendPicture = 0;
    ASSERT_TRUE(SaveSettings());
    EXPECT_EQ(ReadBytes(Path()), EncodeSettings("USB DAC", {2, 1, 1, 0, 1, 1, 0})) << "22.6 MHz is not saved";
    EXPECT_TRUE(Loads());
    EXPECT_EQ(Saved.DeviceName, "USB DAC");
    EXPECT_EQ(Saved.Values, (Values{2, 1, 1, 0, 1, 1, 0}));
}

TEST_F(SettingsFile, MissingShortForeignOrFolderFilesAreNotLoaded) {
    EXPECT_FALSE(Loads()) << "missing";
    for (const std::string &bytes :
         {std::string(), Magic, Bytes({0x99, 0x3C, 0x34, 0x00, 'A', 0, 0x0D, 0})}) {
        WriteBytes(Path(), bytes);
        EXPECT_FALSE(Loads()) << bytes.size() << " bytes";
    }
    std::filesystem::remove(Path());
    std::filesystem::create_directory(Path());
    EXPECT_FALSE(Loads()) << "a folder";
}

// Root writes through permission bits, so the folder no one can write is one of /proc, where even
// root cannot make a folder.
TEST(ListFolderPlace, BesideAWritableProgramFolderElseMadeInTheDataFolder) {
    struct Case {
        const char *what;
        std::string program;
        bool beside;
    };
    TempFolder dir;
    Make(dir.path, {"portable/", "kept/lpli/lp.is", "blocked/lpli"});
    const std::string data = dir.path + "data/"; // not there yet
    for (const Case &c : {Case{"a writable folder", dir.path + "portable/", true},
                          Case{"its lists already there", dir.path + "kept/", true},
                          Case{"a folder no one can write", "/proc/self/", false},
                          Case{"the package manager's, which root could write", "/usr/bin/", false},
                          Case{"lpli a file", dir.path + "blocked/", false}}) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(data);
        EstablishListFolder(c.program, data);
        if (ListFolder == "/usr/bin/lpli/") std::filesystem::remove(ListFolder); // a wrong one's
        EXPECT_EQ(ListFolder, c.beside ? c.program + "lpli/" : data + "Tonmark/tm20/lpli/");
        EXPECT_TRUE(std::filesystem::is_directory(ListFolder)) << "made on first use";
        EXPECT_EQ(std::filesystem::exists(data), !c.beside);
    }
}

TEST_F(SettingsFile, AFailedSaveLeavesTheOldFileWhole) {
    const std::string old = EncodeSettings("Old DAC", {0, 1, 1, 1, 2, 0, 1});
    WriteBytes(Path(), old);
    DeviceCaps = {0, 0, "New DAC with a longer name", {1, 0, 0, 0}};
    {
        FileSizeLimit limit(old.size()); // the new file fails half-way
        const WriteResult result = SaveSettings();
        EXPECT_EQ(result.File, Path());
        EXPECT_EQ(result.Error, EFBIG);
    }
    EXPECT_EQ(ReadBytes(Path()), old);
}
