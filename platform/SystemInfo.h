#pragma once
// What the running system says of itself: the kernel's names (uname(2)),
// the distribution's os-release file, its memory (sysinfo(2)) and the
// space of a file system (statvfs(3)).

#include <cstdint>
#include <string>

namespace platform {

struct KernelNames
{
    std::string system;  // "Linux"
    std::string release; // "6.1.0-13-amd64"
};

// False (names left empty) when the kernel cannot be asked.
bool ReadKernelNames(KernelNames& names);
// The text of /etc/os-release, else of /usr/lib/os-release; empty when
// neither can be read.
std::string ReadOsRelease();

// Memory in bytes: physical memory free and in all, and the swap space
// (the system's virtual memory beyond the physical) free and in all.
struct MemoryStatus
{
    std::uint64_t freeRam = 0;
    std::uint64_t totalRam = 0;
    std::uint64_t freeSwap = 0;
    std::uint64_t totalSwap = 0;
};
// False (status left as it was) when the kernel cannot be asked.
bool ReadMemoryStatus(MemoryStatus& status);

// Space in bytes of the file system that holds a path: what an ordinary
// user may still write, and its whole size.
struct DiskSpace
{
    std::uint64_t freeToCaller = 0;
    std::uint64_t total = 0;
};
// False (space left as it was) when the path cannot be queried.
bool ReadDiskSpace(const std::string& path, DiskSpace& space);

} // namespace platform
