#pragma once
// The displays of the desktop as the kernel's DRM subsystem shows them, and
// the EDID facts both programs name a monitor by.
//
// Every connector of every graphics card is a folder
// /sys/class/drm/card<N>-<port> holding "status" ("connected",
// "disconnected", "unknown"), "enabled" and the monitor's EDID as the binary
// file "edid" (empty when nothing is connected). The root folder is a
// parameter so that tests can build a tree of their own.
//
// Device IDs: a monitor is named MONITOR\<maker><product>\<connector>, for
// example MONITOR\QBX1234\card0-DP-1: the three EDID maker letters, the
// product code as four upper-case hexadecimal digits, and the connector.
// A monitor whose EDID has no maker letters is "Default_Monitor". The
// DDC/CI transports, the display enumeration and the display-profile
// association store all use this one form.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

inline constexpr std::size_t kEdidBlockSize = 128;

// The fixed 8-byte pattern that opens every EDID base block.
bool HasEdidHeader(std::span<const std::uint8_t> edid);

// A base block that can be trusted: at least 128 bytes, the header, and a
// checksum that makes the 128 bytes add up to 0 modulo 256.
bool IsValidEdidBlock(std::span<const std::uint8_t> edid);

// "QBX1234": the maker letters (bytes 8-9, three 5-bit letters, 1 = 'A')
// and the product code (bytes 10-11, little-endian) as four upper-case
// hexadecimal digits. Empty without the header or when a letter is not A-Z.
std::string EdidHardwareId(std::span<const std::uint8_t> edid);

// MONITOR\<hardware id>\<connector>, with "Default_Monitor" for an EDID
// without a hardware id.
std::string MonitorDeviceId(std::span<const std::uint8_t> edid, const std::string& connector);

// One DRM connector.
struct DrmConnector
{
    std::string name;       // "card0-DP-1"
    std::string card;       // "card0"
    std::string port;       // "DP-1": the name display servers give the output
    bool connected = false; // status reads "connected"
    bool edidRead = false;  // the edid file could be read and was not empty
    std::vector<std::uint8_t> edid;
};

inline constexpr const char* kDrmClassFolder = "/sys/class/drm";

// The connectors under root, ordered by card and then by connector name
// (the kernel numbers them so, and a stable order keeps display numbers
// stable between runs). Folders that are not connectors (card0,
// renderD128, version) are left out. Empty when root cannot be read.
std::vector<DrmConnector> EnumerateDrmConnectors(const std::string& root = kDrmClassFolder);

} // namespace platform
