// Volumes, the process snapshot, processors and memory, special folders, dynamic libraries, thread
// priority and the semaphore of the platform layer.

#include "environment.h"
#include "fixtures.h"
#include "platform/files.h"
#include "platform/system.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <thread>

namespace {

TEST(MountedVolumes, KeepsOneRootPerRealVolumeInPathOrder) {
    const std::string mountinfo =
        "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
        "27 1 8:2 /@ / rw,relatime shared:1 - btrfs /dev/sda2 rw\n"
        "28 27 8:2 /@home /home rw shared:2 - btrfs /dev/sda2 rw\n"
        "29 27 0:25 / /run rw - tmpfs tmpfs rw\n"
        "30 27 7:1 / /snap/core/123 ro - squashfs /dev/loop1 ro\n"
        "31 27 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n"
        "32 29 8:17 / /run/media/ann/My\\040Disk rw shared:5 master:2 - exfat /dev/sdb1 rw\n"
        "33 27 0:40 / /mnt/nas rw - nfs4 server:/music rw\n"
        "34 27 8:17 /Albums /albums rw - exfat /dev/sdb1 rw\n"
        "37 27 8:33 / /mnt/usb rw - vfat /dev/sdc1 rw\n"
        "38 37 8:33 / /mnt/usb rw - vfat /dev/sdc1 rw\n"
        "39 27 8:49 /part /media/z rw - ext4 /dev/sdd1 rw\n"
        "garbage line\n";
    const std::vector<std::string> expected = {"/", "/media/z/", "/mnt/nas/", "/mnt/usb/",
                                               "/run/media/ann/My Disk/"};
    EXPECT_EQ(MountedVolumes(mountinfo), expected);
}

TEST(VolumeRoots, RootFirstThenTheMusicFolderThenReadableVolumes) {
    TempFolder t;
    Environment env;
    env.Set("HOME", (t.path + "home").c_str());
    env.Set("XDG_CONFIG_HOME", nullptr);
    const std::string home = t.Folder("home") + "/", tunes = home + "Tunes/";
    t.Folder("home/.config");

    // Where user-dirs.dirs names none, ~/Music; set to the home itself, none; else as written.
    const std::pair<const char *, std::string> cases[] = {
        {nullptr, home + "Music/"},
        {"XDG_MUSIC_DIR=\"$HOME/\"\n", ""},
        {"XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n  XDG_MUSIC_DIR=\"/srv/My \\\"Music\\\"\"\n",
         "/srv/My \"Music\"/"},
        {"# written by xdg-user-dirs-update\nXDG_MUSIC_DIR=\"$HOME/Tunes\"\n", tunes},
    };
    for (const auto &[text, folder] : cases) {
        unlink((home + ".config/user-dirs.dirs").c_str());
        if (text) t.File("home/.config/user-dirs.dirs", text);
        EXPECT_EQ(MusicFolder(), folder) << (text ? text : "no file");
    }

    std::vector<std::string> roots = VolumeRoots();
    EXPECT_EQ(std::count(roots.begin(), roots.end(), tunes), 0) << "a missing music folder is left out";
    t.Folder("home/Tunes");
    roots = VolumeRoots();
    ASSERT_GE(roots.size(), 2u);
    EXPECT_EQ(roots[0], "/");
    EXPECT_EQ(roots[1], tunes);
    for (const std::string &root : roots) {
        EXPECT_EQ(root.back(), '/') << root;
        EXPECT_EQ(std::count(roots.begin(), roots.end(), root), 1) << root;
        EXPECT_TRUE(VolumeReady(root)) << root;
    }
}

TEST(ProcessImageNames, NamesEveryProcessByItsExecutableFile) {
    // The program's own name, with a blank in it, its file deleted while it runs.
    TempFolder t;
    const std::string image = t.path + "Groovestone DSD";
    std::filesystem::copy_file("/bin/sleep", image);
    chmod(image.c_str(), 0755);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(image.c_str(), "Groovestone DSD", "60", static_cast<char *>(nullptr));
        _exit(127);
    }
    auto running = [] {
        const std::vector<std::string> now = ProcessImageNames();
        return std::count(now.begin(), now.end(), "Groovestone DSD");
    };
    // Waits for the exec to have happened, not for a time.
    for (int i = 0; i < 500 && running() == 0; ++i) SleepMs(10);
    EXPECT_EQ(running(), 1);
    unlink(image.c_str());
    EXPECT_EQ(running(), 1) << "Linux shows a deleted executable as \"name (deleted)\"";
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

TEST(SoundCards, FindTheCardOfAHardwarePcmAndWhoHoldsItsDevice) {
    // A kernel tree of our own: card 3 has the id "DAC", card 0 "PCH".
    TempFolder t;
    const std::string proc = t.path;
    t.Folder("asound");
    symlink("card3", (proc + "asound/DAC").c_str());
    symlink("card0", (proc + "asound/PCH").c_str());
    for (const char *folder :
         {"asound/card0", "asound/card0/pcm0p", "asound/card0/pcm0p/sub0", "asound/card3",
          "asound/card3/pcm0p", "asound/card3/pcm0p/sub0", "asound/card3/pcm0p/sub1", "asound/card3/pcm1p",
          "asound/card3/pcm1p/sub0", "1234"})
        t.Folder(folder);
    t.File("asound/card0/pcm0p/sub0/status", "closed\n");
    t.File("asound/card3/pcm0p/sub0/status", "closed\n");
    t.File("asound/card3/pcm0p/sub1/status", "state: RUNNING\nowner_pid   : 1234\ntrigger_time: 1726.1\n");
    t.File("1234/comm", "pipewire\n");
    // Held by a process that has ended meanwhile: no name to read.
    t.File("asound/card3/pcm1p/sub0/status", "state: PREPARED\nowner_pid   : 4194304\n");

    const struct {
        const char *pcm;
        int card, device;
    } names[] = {
        {"hw:2,0", 2, 0},
        {"hw:3", 3, 0},
        {"hw:CARD=DAC,DEV=1", 3, 1},
        {"hw:CARD=PCH,DEV=0", 0, 0},
        {"hw:DAC,2", 3, 2},
        {"hw:DEV=1,CARD=11,SUBDEV=0", 11, 1},
        {"hw:CARD=Gone,DEV=0", -1, 0},
        {"hw:CARD=1,DEV=x", -1, 0},
        {"hw:CARD=../x", -1, 0},
        {"plughw:1,0", -1, 0},
        {"dsdcapture", -1, 0},
    };
    for (const auto &n : names) {
        const HardwarePcm hw = ParseHardwarePcm(n.pcm, proc);
        EXPECT_EQ(hw.Card, n.card) << n.pcm;
        if (n.card >= 0) {
            EXPECT_EQ(hw.Device, n.device) << n.pcm;
        }
    }

    const struct {
        int card, device, pid;
        const char *name;
    } holders[] = {
        {3, 0, 1234, "pipewire"}, // the second substream is the open one
        {3, 1, 4194304, ""},
        {0, 0, 0, ""}, // closed
        {5, 0, 0, ""}, // no such card
    };
    for (const auto &h : holders) {
        const DeviceHolder holder = SoundDeviceHolder(h.card, h.device, proc);
        EXPECT_EQ(holder.Pid, h.pid) << h.card << "," << h.device;
        EXPECT_EQ(holder.Name, h.name) << h.card << "," << h.device;
    }
}

TEST(Processors, CountTheMachineAndTheAffinityMask) {
    const int process = ProcessProcessorCount();
    EXPECT_GE(process, 1);
    EXPECT_LE(process, MachineProcessorCount());
    // A thread bound to one processor counts one, whatever the machine has.
    int bound = 0;
    std::thread([&bound] {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        sched_setaffinity(0, sizeof one, &one);
        bound = ProcessProcessorCount();
    }).join();
    EXPECT_EQ(bound, 1);
}

TEST(MemoryStatus, ReadsTotalAndAvailableInBytes) {
    uint64_t total = 0, available = 0;
    ASSERT_TRUE(MemoryStatus(total, available));
    // The kernel's page count, through another door: MemTotal is in kB and must come out in bytes.
    EXPECT_EQ(total,
              static_cast<uint64_t>(sysconf(_SC_PHYS_PAGES)) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)));
    EXPECT_GT(available, 0u);
    EXPECT_LE(available, total);
}

TEST(SpecialFolders, DataFolderFollowsXdgThenHomeThenPasswordDatabase) {
    const passwd *entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    const std::string account_home = entry->pw_dir;
    struct Case {
        const char *data_home, *home;
        std::string expected;
    } cases[] = {
        {"/x/data", "/h", "/x/data/"},
        {"/x/data/", "/h", "/x/data/"},
        {"relative/data", "/h", "/h/.local/share/"},
        {nullptr, "/h/", "/h/.local/share/"},
        {nullptr, nullptr, account_home + (account_home.back() == '/' ? "" : "/") + ".local/share/"},
    };
    for (const Case &c : cases) {
        Environment env;
        env.Set("XDG_DATA_HOME", c.data_home);
        env.Set("HOME", c.home);
        EXPECT_EQ(LocalAppDataFolder(), c.expected)
            << (c.data_home ? c.data_home : "-") << " " << (c.home ? c.home : "-");
    }

    EXPECT_GT(FileSize(ExecutableFolder() + program_invocation_short_name), 0);
}

TEST(DynamicLibraries, LaterLibrariesFindTheSymbolsOfEarlierOnes) {
    // The user library calls a procedure of the base library that it does not carry itself.
    EXPECT_EQ(LoadLibraryFile(PLATFORM_TEST_USER), nullptr) << "every symbol is bound at load time";
    EXPECT_NE(LibraryError(), "");

    void *base = LoadLibraryFile(PLATFORM_TEST_BASE);
    ASSERT_NE(base, nullptr) << LibraryError();
    void *user = LoadLibraryFile(PLATFORM_TEST_USER);
    ASSERT_NE(user, nullptr) << LibraryError();
    auto call = reinterpret_cast<int (*)()>(LibrarySymbol(user, "PlatformTestUser"));
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call(), 43);
    EXPECT_EQ(LibrarySymbol(user, "NoSuchProcedure"), nullptr);

    // A bare file name is looked for in the current folder, not in the system's library folders.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(FolderOf(PLATFORM_TEST_BASE).c_str()), 0);
    void *again = LoadLibraryFile(FileNameOf(PLATFORM_TEST_BASE));
    EXPECT_EQ(again, base);
    ASSERT_EQ(chdir(cwd), 0);
    FreeLibraryFile(again);
    FreeLibraryFile(user);
    FreeLibraryFile(base);
    EXPECT_EQ(LoadLibraryFile(std::string(PLATFORM_TEST_BASE) + ".missing"), nullptr);
}

TEST(Threads, BelowNormalLowersOnlyTheCallingThread) {
    const int main_nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    bool lowered = false;
    int thread_nice = 0;
    std::thread([&] {
        lowered = SetCurrentThreadBelowNormal();
        thread_nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    }).join();
    EXPECT_TRUE(lowered);
    EXPECT_EQ(thread_nice, std::min(main_nice + 5, 19));
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), main_nice);
}

TEST(Semaphore, CountsReleasesUpToTheMaximum) {
    Semaphore s;
    EXPECT_FALSE(s.TryWait());
    EXPECT_FALSE(s.WaitFor(5));
    EXPECT_TRUE(s.Release(3));
    EXPECT_FALSE(s.Release(0));
    int taken = 0;
    while (s.TryWait()) ++taken;
    EXPECT_EQ(taken, 3);

    // A release on another thread ends a wait, which takes the count.
    std::thread waiter([&] { s.Wait(); });
    EXPECT_TRUE(s.Release());
    waiter.join();
    EXPECT_FALSE(s.TryWait());
    EXPECT_TRUE(s.Release());
    EXPECT_TRUE(s.WaitFor(1000));

    Semaphore full(Semaphore::MaxCount - 1);
    EXPECT_FALSE(full.Release(2)) << "a release past the maximum is refused whole";
    EXPECT_TRUE(full.Release(1));
    EXPECT_FALSE(full.Release(1));
}

} // namespace
