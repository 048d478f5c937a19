#include "platform/DisplayDevices.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>

namespace platform {

namespace {

constexpr std::array<std::uint8_t, 8> kEdidHeader = {0x00, 0xFF, 0xFF, 0xFF,
                                                     0xFF, 0xFF, 0xFF, 0x00};

std::vector<std::uint8_t> ReadWhole(const std::filesystem::path& path, bool* ok)
{
    std::ifstream in(path, std::ios::binary);
    *ok = static_cast<bool>(in);
    if (!in)
        return {};
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    *ok = !in.bad();
    return bytes;
}

std::string FirstLine(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

} // namespace

bool HasEdidHeader(std::span<const std::uint8_t> edid)
{
    return edid.size() >= kEdidBlockSize &&
           std::equal(kEdidHeader.begin(), kEdidHeader.end(), edid.begin());
}

bool IsValidEdidBlock(std::span<const std::uint8_t> edid)
{
    if (!HasEdidHeader(edid))
        return false;
    const unsigned sum = std::accumulate(edid.begin(), edid.begin() + kEdidBlockSize, 0u);
    return (sum & 0xFF) == 0;
}

std::string EdidHardwareId(std::span<const std::uint8_t> edid)
{
    if (!HasEdidHeader(edid))
        return {};
    const unsigned word = static_cast<unsigned>(edid[8]) << 8 | edid[9];
    std::string id;
    for (const int shift : {10, 5, 0})
    {
        const unsigned letter = (word >> shift) & 0x1F;
        if (letter < 1 || letter > 26)
            return {};
        id += static_cast<char>('A' + letter - 1);
    }
    char product[8];
    std::snprintf(product, sizeof product, "%04X", static_cast<unsigned>(edid[11]) << 8 | edid[10]);
    return id + product;
}

std::string MonitorDeviceId(std::span<const std::uint8_t> edid, const std::string& connector)
{
    const std::string hardwareId = EdidHardwareId(edid);
    return "MONITOR\\" + (hardwareId.empty() ? std::string("Default_Monitor") : hardwareId) + '\\' +
           connector;
}

std::vector<DrmConnector> EnumerateDrmConnectors(const std::string& root)
{
    namespace fs = std::filesystem;
    std::vector<DrmConnector> connectors;
    std::error_code ec;
    fs::directory_iterator it(root, ec);
    if (ec)
        return connectors;
    for (const fs::directory_entry& entry : it)
    {
        const std::string name = entry.path().filename().string();
        const std::size_t dash = name.find('-');
        if (name.rfind("card", 0) != 0 || dash == std::string::npos || dash + 1 >= name.size())
            continue;
        if (!entry.is_directory(ec))
            continue;
        DrmConnector c;
        c.name = name;
        c.card = name.substr(0, dash);
        c.port = name.substr(dash + 1);
        c.connected = FirstLine(entry.path() / "status") == "connected";
        bool ok = false;
        c.edid = ReadWhole(entry.path() / "edid", &ok);
        c.edidRead = ok && !c.edid.empty();
        connectors.push_back(std::move(c));
    }
    std::sort(connectors.begin(), connectors.end(),
              [](const DrmConnector& a, const DrmConnector& b) {
                  return a.card != b.card ? a.card < b.card : a.name < b.name;
              });
    return connectors;
}

} // namespace platform
