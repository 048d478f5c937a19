#include "platform/SystemInfo.h"

#include "platform/FileReplace.h"

#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

namespace platform {

bool ReadKernelNames(KernelNames& names)
{
    struct utsname kernel
    {};
    if (::uname(&kernel) != 0)
        return false;
    names.system = kernel.sysname;
    names.release = kernel.release;
    return true;
}

std::string ReadOsRelease()
{
    std::string text;
    if (!ReadFileContents("/etc/os-release", &text) || text.empty())
    {
        text.clear();
        if (!ReadFileContents("/usr/lib/os-release", &text))
            text.clear();
    }
    return text;
}

bool ReadMemoryStatus(MemoryStatus& status)
{
    struct sysinfo info
    {};
    if (::sysinfo(&info) != 0)
        return false;
    // The counts are in units of mem_unit bytes (1 on most systems).
    const std::uint64_t unit = info.mem_unit != 0 ? info.mem_unit : 1;
    status.freeRam = static_cast<std::uint64_t>(info.freeram) * unit;
    status.totalRam = static_cast<std::uint64_t>(info.totalram) * unit;
    status.freeSwap = static_cast<std::uint64_t>(info.freeswap) * unit;
    status.totalSwap = static_cast<std::uint64_t>(info.totalswap) * unit;
    return true;
}

bool ReadDiskSpace(const std::string& path, DiskSpace& space)
{
    struct statvfs fs
    {};
    if (path.empty() || ::statvfs(path.c_str(), &fs) != 0)
        return false;
    // Block counts are in fragment-size units; f_bavail leaves out the
    // blocks reserved for the superuser.
    const std::uint64_t unit = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
    space.freeToCaller = static_cast<std::uint64_t>(fs.f_bavail) * unit;
    space.total = static_cast<std::uint64_t>(fs.f_blocks) * unit;
    return true;
}

} // namespace platform
