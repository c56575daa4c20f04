// Start-up before anything is shown: the machine checks, the single-instance guard's count, the
// deployment of the engine libraries and their binding.

#include "fixtures.h"

#include "app/app.h"
#include "audio/audio.h"
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
    WriteBytes(data + "tava.so", tava.substr(1)); // one byte short
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

// The command line's files: relative names against the current folder, file:// URIs of this machine
// decoded, each path whole. Other URIs, files of another host and paths too long for the system are
// left out.
TEST(CommandLine, LocalPathsOfArgumentsKeepsWholeLocalPathsOnly) {
    const std::string cwd = std::filesystem::current_path().string();
    const std::string too_long = "/music/" + std::string(5000, 'x') + ".dsf";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/music/a b.dsf", "/music/a b.dsf"},
        {"rel/c.dff", cwd + "/rel/c.dff"},
        {"/music/nl\nname.dsf", "/music/nl\nname.dsf"},
        {"file:///music/a%20b.dsf", "/music/a b.dsf"},
        {"file:///music/nl%0Aname.dsf", "/music/nl\nname.dsf"},
        {"file://localhost/music/d.dsf", "/music/d.dsf"},
        {"file://otherhost/music/d.dsf", ""},
        {"http://host/music/d.dsf", ""},
        {too_long, ""},
        {"file://" + too_long, ""},
    };
    std::vector<std::string> arguments, expected;
    for (const auto &[argument, path] : cases) {
        arguments.push_back(argument);
        if (!path.empty()) expected.push_back(path);
    }
    std::vector<char *> argv;
    for (std::string &argument : arguments) argv.push_back(argument.data());
    EXPECT_EQ(LocalPathsOfArguments(int(argv.size()), argv.data()), expected);
}
