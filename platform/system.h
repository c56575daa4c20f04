// platform/system.h: volumes, the process snapshot, processors and memory, sound cards, special
// folders, dynamic libraries, threads and the counting semaphore.
//
// Folders are UTF-8 texts ending in '/'. Unless a procedure says otherwise it may be called from any
// thread and keeps no state between calls.
#pragma once

#include <semaphore.h>

#include <cstdint>
#include <string>
#include <vector>

// --- Volumes (volumes.cpp) --------------------------------------------------------------------

// The volume roots, in place of the drive letters C to Z: first "/" (the root file system, in the
// part of the system drive), then the user's music folder (MusicFolder) where it is a readable
// directory, then the mount point of every other mounted, readable volume of a real file system
// (MountedVolumes), in the byte order of its path. Each ends in '/' and appears once. Read afresh on
// every call, so that a drive attached meanwhile is found.
std::vector<std::string> VolumeRoots();

// The mount points of /proc/self/mountinfo's text that hold the user's files: file systems kept on
// a device or a network, not the kernel's own (proc, sysfs, tmpfs, cgroup and the like), not
// read-only images (squashfs, as snap packages mount them), not overlay layers of containers, and
// nothing under /proc, /sys or /dev, nor the boot partitions /boot and /boot/efi (Windows gives them
// no drive letter). Sorted by path, without duplicates, each ending in '/'; "/" among them if listed.
// Whether they can be read is not checked here.
std::vector<std::string> MountedVolumes(const std::string &mountinfo);

// Whether a volume is there to be read, in place of GetVolumeInformation's success: its root is a
// directory this process may list (statvfs and access).
bool VolumeReady(const std::string &root);

// --- Processes, processors, memory (processes.cpp) -------------------------------------------

// The image file name of every running process, in ascending process id, in place of a Toolhelp
// snapshot: the file name of /proc/<pid>/exe, without the " (deleted)" that Linux shows for an
// executable removed since it was started. Where that link cannot be read (another user's process,
// a kernel thread), the file name of the first word of /proc/<pid>/cmdline when /proc/<pid>/comm
// (the kernel's copy of the name, cut to 15 bytes) begins it, else comm itself.
std::vector<std::string> ProcessImageNames();

// The processors of the machine (get_nprocs_conf: every one configured, online or not).
int MachineProcessorCount();
// The processors this process may run on: the bits of the calling thread's affinity mask
// (sched_getaffinity; threads inherit it from the one that created them). 1 when it cannot be read.
int ProcessProcessorCount();
// MemTotal and MemAvailable of /proc/meminfo, in bytes. False, both 0, when they cannot be read.
bool MemoryStatus(uint64_t &total, uint64_t &available);

// --- Sound cards (soundcards.cpp) -----------------------------------------------------------
//
// proc is the folder of the kernel's process file system ("/proc/"; a test passes a tree of its own).

// An ALSA hardware PCM: card and device number.
struct HardwarePcm {
    int Card = -1; // -1: not a hardware PCM
    int Device = 0;
};
// The card and device of a hardware PCM name: "hw:2,0", "hw:2", "hw:CARD=2,DEV=1", "hw:CARD=PCH,DEV=0",
// "hw:PCH,3". A card given by its id is found through proc + "asound/<id>", the kernel's link to
// "card<N>". Card -1 for every other PCM (plug-ins, files, the sound servers' PCMs): they have no
// card of their own.
HardwarePcm ParseHardwarePcm(const std::string &pcm, const std::string &proc = "/proc/");

// The process that holds a playback device open.
struct DeviceHolder {
    int Pid = 0;      // 0: nobody (or unknown)
    std::string Name; // its name (/proc/<pid>/comm), "" when it cannot be read
};
// Who holds playback device `device` of card `card` open: the kernel shows "owner_pid : <pid>" in
// proc + "asound/card<N>/pcm<D>p/sub<S>/status" for every open substream; the first one found.
DeviceHolder SoundDeviceHolder(int card, int device, const std::string &proc = "/proc/");

// --- Special folders (system.cpp) -------------------------------------------------------------

// The user's home: $HOME when it is an absolute path, else the password database's entry; "" when
// neither is known.
std::string HomeFolder();
// In place of special folder 28 (local application data): $XDG_DATA_HOME when it is an absolute
// path, else $HOME/.local/share, else the password database's home + "/.local/share"; "" when no home
// is known. Not created here.
std::string LocalAppDataFolder();
// The folder of the running executable (/proc/self/exe), or "" when the link cannot be read.
std::string ExecutableFolder();
// The user's music folder: XDG_MUSIC_DIR of user-dirs.dirs in $XDG_CONFIG_HOME (else ~/.config),
// written there as "$HOME/..." or as an absolute path; $HOME/Music when that file does not name one;
// "" when no home is known or the file sets it to the home itself (the way to switch it off). It need
// not exist.
std::string MusicFolder();

// --- Dynamic libraries (system.cpp) -----------------------------------------------------------

// Loads a shared object, binding every symbol now (RTLD_NOW) and making its symbols visible to
// libraries loaded after it (RTLD_GLOBAL), as Windows resolves one DLL's imports from another
// already loaded. A path without '/' is taken in the current folder, as LoadLibrary would find it
// there, not in the system's library folders. Null on failure; LibraryError tells why.
void *LoadLibraryFile(const std::string &path);
// The address of an exported symbol, or null.
void *LibrarySymbol(void *library, const char *name);
// Lets the library go; it stays mapped (see LoadLibraryFile) until the program ends.
void FreeLibraryFile(void *library);
// dlerror's text for the last failure of these on this thread, or "".
std::string LibraryError();

// --- Threads and time (threads.cpp) -----------------------------------------------------------

// Lowers the calling thread to "below normal": nice 5 above the process's (its first thread's), at
// most 19. Linux keeps a nice value per thread (setpriority on the thread id). False when refused.
bool SetCurrentThreadBelowNormal();

// Sleeps at least ms milliseconds (through signals); 0 or less gives up the processor once.
void SleepMs(int ms);

// A counting semaphore as Windows has one, maximum count 2,147,483,647 (POSIX sem_t, whose maximum
// is the same). Release and TryWait never block and make no system call when no thread waits, so
// the output callback may release it.
struct Semaphore {
    static constexpr int32_t MaxCount = 2147483647;

    explicit Semaphore(int32_t initial = 0);
    ~Semaphore();
    Semaphore(const Semaphore &) = delete;
    Semaphore &operator=(const Semaphore &) = delete;

    // Adds n (at least 1) to the count. Refused (false, nothing added) when the count would pass
    // MaxCount, as ReleaseSemaphore refuses; the test and the additions are not one step, which
    // matters only for several threads releasing near the maximum.
    bool Release(int32_t n = 1);
    // Waits until the count is above 0 and takes 1.
    void Wait();
    // Takes 1 if the count is above 0.
    bool TryWait();
    // Waits at most ms milliseconds (steady clock) for the count to be above 0 and takes 1.
    bool WaitFor(int ms);

    sem_t Handle;
};
