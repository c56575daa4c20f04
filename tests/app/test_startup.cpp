// Start-up before anything is shown: the machine checks, the single-instance guard's count, the
// deployment of the engine libraries and their binding, and the saved-device check.

#include "fixtures.h"

#include "../windows/fake_engine.h"

#include "app/app.h"
#include "audio/audio.h"
#include "library/settings.h"
#include "platform/files.h"
#include "resources.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::string Embedded(ResourceId id) {
    const ResourceBytes r = Resource(id);
    return std::string(reinterpret_cast<const char *>(r.data), r.size);
}

} // namespace

TEST(MachineChecks, PassAtExactlyTheMinimaAndFailBelow) {
    EXPECT_TRUE(ProcessorsSufficient(2, 1));
    EXPECT_FALSE(ProcessorsSufficient(1, 1));
    EXPECT_FALSE(ProcessorsSufficient(8, 0));
    EXPECT_TRUE(MemorySufficient(3'984'588'800, 2'726'297'600));
    EXPECT_FALSE(MemorySufficient(3'984'588'799, 2'726'297'600));
    EXPECT_FALSE(MemorySufficient(3'984'588'800, 2'726'297'599));
}

TEST(SingleInstanceGuard, CountsTheFamilyByExactNamesAndStopsAtTwo) {
    EXPECT_EQ(CountFamilyProcesses({"bash", "Groovestone-lp-dsd", "sleep"}), 1);
    EXPECT_EQ(CountFamilyProcesses({"Groovestone", "x_Quickbuild_Compilation_1", "Groovestone DSD"}), 2);
    EXPECT_EQ(CountFamilyProcesses({"groovestone dsd", "Groovestone DSD.exe", "Groovestone-lp-dsd"}), 1);
}

TEST(Deployment, FreshProfileGetsHiddenFolderAndHiddenSystemLibrariesThatBind) {
    TempFolder home;
    const std::string base = home.path + "not/yet/there/";
    const std::string data = DeployEngineLibraries(base);

    EXPECT_EQ(data, base + "Tonmark/tm20/");
    EXPECT_EQ(GetFileAttributes(base + "Tonmark"), AttrDirectory) << "the maker folder is left as made";
    EXPECT_EQ(GetFileAttributes(data), AttrDirectory | AttrHidden);
    for (auto [file, id] :
         {std::pair{"tava.so", ResTavaLibrary}, {"tavo.so", ResTavoLibrary}, {"tavd.so", ResTavdLibrary}}) {
        EXPECT_EQ(ReadBytes(data + file), Embedded(id)) << file;
        EXPECT_EQ(GetFileAttributes(data + file), AttrHidden | AttrSystem) << file;
    }
    EXPECT_EQ(BindEngine(data), BindOk);
    UnbindEngine();
}

TEST(Deployment, RewritesFilesOfOtherBytesAndSkipsAFolderNamedLikeALibrary) {
    TempFolder home;
    const std::string data = home.path + "Tonmark/tm20/";
    std::filesystem::create_directories(data + "tavo.so");
    const std::string tava = Embedded(ResTavaLibrary), tavd = Embedded(ResTavdLibrary);
    WriteBytes(data + "tava.so", tava.substr(1));                // one byte short
    std::string flipped = tavd;
    flipped[flipped.size() / 2] ^= 0x01;
    WriteBytes(data + "tavd.so", flipped); // right size, one bit changed
    EXPECT_EQ(DeployEngineLibraries(home.path), data);

    EXPECT_EQ(GetFileAttributes(data) & AttrHidden, AttrHidden);
    EXPECT_EQ(ReadBytes(data + "tava.so"), tava);
    EXPECT_EQ(ReadBytes(data + "tavd.so"), tavd) << "the bytes are compared, not the size alone";
    EXPECT_TRUE(IsDirectory(data + "tavo.so"));
    EXPECT_EQ(BindErrorText(BindEngine(data)), "Error open tavo.so");
    UnbindEngine();

    // A hidden data folder keeps its other attributes.
    ASSERT_TRUE(SetFileAttributes(data, AttrHidden | AttrArchive));
    WriteBytes(data + "tava.so", tava + "!"); // one byte long
    DeployEngineLibraries(home.path);
    EXPECT_EQ(GetFileAttributes(data), AttrDirectory | AttrHidden | AttrArchive);
    EXPECT_EQ(ReadBytes(data + "tava.so"), tava);
}

TEST(SavedDeviceCheck, AcceptsTheNamedDeviceAmongTheFirstTwelveWhenItsRatesAndChannelsFitTheSavedValues) {
    const std::set<double> lower3 = {2'822'400.0, 5'644'800.0, 11'289'600.0};
    std::vector<FakeDevice> thirteen(13, FakeDevice{"DAC", true, true, fake::AllRates});
    thirteen[12].name = "USB DAC";
    // The saved bytes: channel, DSD 2.8/5.6/11.3 flags, view, cover track, blend.
    constexpr std::array<uint8_t, 7> usual = {0, 1, 1, 1, 2, 0, 1};
    auto with = [&](size_t i, uint8_t v) {
        std::array<uint8_t, 7> saved = usual;
        saved[i] = v;
        return saved;
    };
    struct Case {
        const char *what;
        std::vector<FakeDevice> devices;
        std::array<uint8_t, 7> saved;
        bool accepted;
    } cases[] = {
        {"unchanged", {{"Other", true, true, fake::AllRates}, {"USB DAC", true, true, lower3}}, usual, true},
        {"22.6 MHz not compared", {{"USB DAC", true, true, fake::AllRates}}, usual, true},
        {"now refuses 5.6 MHz", {{"USB DAC", true, true, {2'822'400.0}}}, usual, false},
        {"now takes 5.6 MHz too", {{"USB DAC", true, true, lower3}}, {0, 1, 0, 0, 2, 0, 1}, false},
        {"cannot be opened", {{"USB DAC", false, true, lower3}}, usual, false},
        {"gone", {{"USB DAC 2", true, true, lower3}}, usual, false},
        {"thirteenth", thirteen, usual, false},
        {"second pair of four channels", {{"USB DAC", true, true, lower3, 4}}, with(0, 2), true},
        {"second pair of two channels", {{"USB DAC", true, true, lower3, 2}}, with(0, 2), false},
        {"last channel alone", {{"USB DAC", true, true, lower3, 4}}, with(0, 3), false},
        {"no DSD at all, as saved", {{"USB DAC", true, false, {}}}, {0, 0, 0, 0, 2, 0, 1}, false},
        {"rate flag 2", {{"USB DAC", true, true, lower3}}, with(3, 2), false},
        {"view 3", {{"USB DAC", true, true, lower3}}, with(4, 3), false},
        {"cover track 2", {{"USB DAC", true, true, lower3}}, with(5, 2), false},
        {"blend 255", {{"USB DAC", true, true, lower3}}, with(6, 255), false},
    };
    for (const Case &c : cases) {
        fake::Install(c.devices);
        SavedDeviceName = "USB DAC";
        SavedSettings = c.saved;
        DeviceCaps = {};
        OutputDevice = -1;
        EXPECT_EQ(CheckSavedDevice(), c.accepted) << c.what;
        EXPECT_EQ(fake::Open, -1) << c.what << ": no device stays open";
        for (const std::string &call : fake::Calls) EXPECT_NE(call, "info 12") << c.what;
        if (c.accepted) {
            EXPECT_EQ(DeviceCaps.Name, "USB DAC") << c.what;
            EXPECT_EQ(OutputDevice, int(c.devices.size()) - 1) << c.what;
            EXPECT_EQ(DeviceCaps.Number, OutputDevice) << c.what;
        }
    }
}
