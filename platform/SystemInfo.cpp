#include "platform/SystemInfo.h"

#include "platform/FileReplace.h"

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

} // namespace platform
