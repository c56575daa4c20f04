// Start-up before anything is shown: the machine checks, the family count of the single-instance
// guard, the deployment of the engine libraries and their binding, and the saved-device check.

#include "temp_dir.h"

#include "../windows/fake_engine.h"

#include "app/app.h"
#include "audio/audio.h"
#include "library/settings.h"
#include "platform/files.h"
#include "resources.h"

#include <gtest/gtest.h>

namespace {

const char *const LibraryNames[] = {"tava.so", "tavo.so", "tavd.so"};
const ResourceId LibraryResources[] = {ResTavaLibrary, ResTavoLibrary, ResTavdLibrary};

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
    EXPECT_FALSE(MemorySufficient(0, 0)) << "a failed query reads 0 bytes";
}

TEST(SingleInstanceGuard, CountsTheFamilyByExactNamesAndStopsAtTwo) {
    EXPECT_EQ(CountFamilyProcesses({"bash", "Groovestone-lp-dsd", "sleep"}), 1);
    EXPECT_EQ(CountFamilyProcesses({"Groovestone DSD", "Groovestone-lp-dsd"}), 2);
    EXPECT_EQ(CountFamilyProcesses({"Groovestone", "x_Quickbuild_Compilation_1", "Groovestone DSD"}), 2);
    EXPECT_EQ(CountFamilyProcesses({"groovestone dsd", "Groovestone DSD.exe", "Groovestone-lp-dsd"}), 1);
}

TEST(Deployment, FreshProfileGetsHiddenFolderAndHiddenSystemLibraries) {
    TempDir home;
    const std::string base = home.path + "not/yet/there/";
    DeployEngineLibraries(base);

    EXPECT_EQ(DataFolder, base + "Tonmark/tm20/");
    EXPECT_TRUE(IsDirectory(base + "Tonmark"));
    EXPECT_EQ(GetFileAttributes(base + "Tonmark") & AttrHidden, 0u) << "the maker folder is left as made";
    EXPECT_EQ(GetFileAttributes(base + "Tonmark/tm20"), AttrDirectory | AttrHidden);
    for (size_t i = 0; i < 3; ++i) {
        const std::string path = DataFolder + LibraryNames[i];
        EXPECT_EQ(ReadBytes(path), Embedded(LibraryResources[i])) << path;
        EXPECT_EQ(GetFileAttributes(path), AttrHidden | AttrSystem) << path;
    }

    // The deployed libraries are the engine: they bind.
    EXPECT_EQ(BindEngine(DataFolder), BindOk);
    UnbindEngine();
}

TEST(Deployment, RewritesOnlyFilesOfTheWrongSizeAndHidesTheDataFolderOnce) {
    TempDir home;
    const std::string data = home.path + "Tonmark/tm20/";
    std::filesystem::create_directories(data);
    const std::string tava = Embedded(ResTavaLibrary), tavo = Embedded(ResTavoLibrary);
    WriteBytes(data + "tava.so", tava.substr(1));                // one byte short
    WriteBytes(data + "tavo.so", std::string(tavo.size(), 'x')); // right size, wrong bytes
    DeployEngineLibraries(home.path);

    EXPECT_EQ(GetFileAttributes(data) & AttrHidden, AttrHidden);
    EXPECT_EQ(ReadBytes(data + "tava.so"), tava);
    EXPECT_EQ(ReadBytes(data + "tavo.so"), std::string(tavo.size(), 'x')) << "the size alone is compared";
    EXPECT_EQ(ReadBytes(data + "tavd.so"), Embedded(ResTavdLibrary));

    // A hidden data folder keeps its other attributes.
    ASSERT_TRUE(SetFileAttributes(data, AttrHidden | AttrArchive));
    WriteBytes(data + "tava.so", tava + "!"); // one byte long
    DeployEngineLibraries(home.path);
    EXPECT_EQ(GetFileAttributes(data), AttrDirectory | AttrHidden | AttrArchive);
    EXPECT_EQ(ReadBytes(data + "tava.so"), tava);
}

TEST(Deployment, SkipsAFolderNamedLikeALibraryAndBindingNamesIt) {
    TempDir home;
    const std::string data = home.path + "Tonmark/tm20/";
    std::filesystem::create_directories(data + "tavo.so");
    DeployEngineLibraries(home.path);

    EXPECT_TRUE(IsDirectory(data + "tavo.so"));
    EXPECT_EQ(ReadBytes(data + "tava.so"), Embedded(ResTavaLibrary));
    EXPECT_EQ(ReadBytes(data + "tavd.so"), Embedded(ResTavdLibrary));
    const BindResult bound = BindEngine(DataFolder);
    EXPECT_EQ(BindErrorText(bound), "Error open tavo.so");
    UnbindEngine();
}

TEST(SavedDeviceCheck, AcceptsTheNamedDeviceWhenItsThreeLowerRatesAreUnchanged) {
    const std::set<double> lower3 = {2'822'400.0, 5'644'800.0, 11'289'600.0};
    struct Case {
        const char *what;
        std::vector<FakeDevice> devices;
        std::array<uint8_t, 3> saved;
        bool accepted;
    } cases[] = {
        {"unchanged",
         {{"Other", true, true, fake::AllRates}, {"USB DAC", true, true, lower3}},
         {1, 1, 1},
         true},
        {"22.6 MHz not compared", {{"USB DAC", true, true, fake::AllRates}}, {1, 1, 1}, true},
        {"now refuses 5.6 MHz", {{"USB DAC", true, true, {2'822'400.0}}}, {1, 1, 1}, false},
        {"cannot be opened", {{"USB DAC", false, true, lower3}}, {1, 1, 1}, false},
        {"gone", {{"USB DAC 2", true, true, lower3}}, {1, 1, 1}, false},
        {"no devices", {}, {1, 1, 1}, false},
    };
    for (const Case &c : cases) {
        fake::Install(c.devices);
        SavedDeviceName = "USB DAC";
        SavedSettings = {0, c.saved[0], c.saved[1], c.saved[2], 2, 0, 1};
        DeviceCaps = {};
        OutputDevice = -1;
        EXPECT_EQ(CheckSavedDevice(), c.accepted) << c.what;
        EXPECT_EQ(fake::Open, -1) << c.what << ": no device stays open";
        if (c.accepted) {
            EXPECT_EQ(DeviceCaps.Name, "USB DAC") << c.what;
            EXPECT_EQ(OutputDevice, int(c.devices.size()) - 1) << c.what;
            EXPECT_EQ(DeviceCaps.Number, OutputDevice) << c.what;
        }
    }
}

TEST(SavedDeviceCheck, LooksAtTwelveDevicesAtMost) {
    std::vector<FakeDevice> devices(13, FakeDevice{"DAC", true, true, fake::AllRates});
    devices[12].name = "USB DAC";
    fake::Install(devices);
    SavedDeviceName = "USB DAC";
    SavedSettings = {0, 1, 1, 1, 2, 0, 1};
    EXPECT_FALSE(CheckSavedDevice());
    for (const std::string &call : fake::Calls) EXPECT_NE(call, "info 12");
}
