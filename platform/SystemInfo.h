#pragma once
// What the running system says of itself: the kernel's names (uname(2))
// and the distribution's os-release file.

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

} // namespace platform
