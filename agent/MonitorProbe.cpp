#include "agent/MonitorProbe.h"

#include "platform/Numbers.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::array<std::uint8_t, 8> kEdidHeader = {0x00, 0xFF, 0xFF, 0xFF,
                                                     0xFF, 0xFF, 0xFF, 0x00};

std::string Lf(double value)
{
    return platform::FormatDouble(value, 6);
}

std::string HexBytes(std::span<const std::uint8_t> bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes)
    {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0xF]);
    }
    return text;
}

// A chromaticity coordinate of the EDID: ten bits, the high eight in their
// own byte and the low two packed into byte 25 or 26; scaled by 1023 so
// that the largest code is 1.0.
double Coordinate(std::uint8_t high, std::uint8_t packed, int shift)
{
    const int code = high * 4 + ((packed >> shift) & 3);
    return code / 1023.0;
}

// x, y to XYZ with Y = 1; false for y = 0 or a value that is not finite.
bool ChromaticityToXyz(double x, double y, XyzTriple& xyz)
{
    if (!(y > 0.0) || !std::isfinite(x) || !std::isfinite(y))
        return false;
    xyz = XyzTriple{x / y, 1.0, (1.0 - x - y) / y};
    return std::isfinite(xyz.X) && std::isfinite(xyz.Z);
}

} // namespace

bool IsValidEdid(std::span<const std::uint8_t> edid)
{
    if (edid.size() < kEdidSize)
        return false;
    if (!std::equal(kEdidHeader.begin(), kEdidHeader.end(), edid.begin()))
        return false;
    unsigned sum = 0;
    for (std::size_t i = 0; i < kEdidSize; ++i)
        sum += edid[i];
    return (sum & 0xFF) == 0;
}

CMonitorProbe::CMonitorProbe(CDdcCiLink& link, CMccsCapabilities& capabilities, CTraceLog& trace)
    : m_link(link), m_capabilities(capabilities), m_trace(trace)
{}

int CMonitorProbe::GetCapabilityString()
{
    if (m_link.ProbeMonitors(m_probe) == 2)
        return kNotConnected;
    for (std::size_t i = 0; i < m_probe.size(); ++i)
    {
        if (m_probe[i] != 0)
        {
            m_monitorNumber = static_cast<int>(i);
            m_trace.Write("MonitorNo = " + platform::FormatInt(m_monitorNumber) + "\n");
        }
    }

    if (m_capabilities.Fetch() == 0)
    {
        m_trace.Write("GetCapabilityString_Success\n");
        m_trace.Write("GetCapabilityString:" + m_capabilities.RawText() + "\n");
        return kConnected;
    }

    m_trace.Write("GetCapabilityString_Error\n");
    VcpReply reply;
    if (m_link.ReadNewControlValue(reply) == 0)
    {
        m_trace.Write("GetNewControlValue_Success\n");
        m_newControlValueSupported = 1;
        return kConnected;
    }
    m_trace.Write("GetNewControlValue_Error\n");
    m_newControlValueSupported = 0;
    return kNotConnected;
}

int CMonitorProbe::ReadEdidFromMonitor(EdidBlock& edid)
{
    std::vector<std::uint8_t> bytes;
    if (m_link.GetEdid(bytes) != 0 || bytes.size() < kEdidSize)
        return -1;
    std::copy_n(bytes.begin(), kEdidSize, edid.begin());
    return 0;
}

int CMonitorProbe::GetEDIDFromMon()
{
    m_trace.Write("GetEDIDFromMon\n");
    EdidBlock edid{};
    if (ReadEdidFromMonitor(edid) != 0)
    {
        m_trace.Write("EDID not read\n");
        return 1;
    }
    m_trace.Write(HexBytes(edid) + "\n");
    if (!SetEdid(edid))
    {
        m_trace.Write("EDID header or checksum wrong\n");
        return 1;
    }
    return 0;
}

bool CMonitorProbe::SetEdid(std::span<const std::uint8_t> edid)
{
    if (!IsValidEdid(edid))
        return false;
    std::copy_n(edid.begin(), kEdidSize, m_edid.begin());
    return true;
}

// Bytes 8 and 9 hold three five-bit codes, big-endian after a reserved
// top bit: 0 aaaaa bb | bbb ccccc; code 1 is "A".
int CMonitorProbe::GetManufactureIDFromEDID(std::string& id)
{
    m_trace.Write("GetManufactureIDFromEDID\n");
    const int b8 = m_edid[8];
    const int b9 = m_edid[9];
    const int codes[3] = {(b8 >> 2) & 0x1F, (b8 & 3) * 8 + (b9 >> 5), b9 & 0x1F};
    std::string letters;
    for (const int code : codes)
    {
        // Codes 27 to 31 have no letter, and 0 would make a two-letter ID.
        if (code < 1 || code >= static_cast<int>(EdidLetterTable.size()))
        {
            m_trace.Write("ManufactureID invalid\n");
            return -1;
        }
        letters += EdidLetterTable[static_cast<std::size_t>(code)];
    }
    id = letters;
    m_trace.Write("ManufactureID = " + id + "\n");
    return 0;
}

int CMonitorProbe::GetProductIDFromEDID(std::string& id)
{
    m_trace.Write("GetProductIDFromEDID\n");
    static constexpr char kDigits[] = "0123456789abcdef";
    id.clear();
    for (const std::uint8_t byte : {m_edid[11], m_edid[10]})
    {
        id.push_back(kDigits[byte >> 4]);
        id.push_back(kDigits[byte & 0xF]);
    }
    m_trace.Write("PrdID = " + id + "\n");
    return 0;
}

int CMonitorProbe::GetPrimaryColorChromaticityFromEDID(XyzTriple& red, XyzTriple& green,
                                                       XyzTriple& blue)
{
    m_trace.Write("GetPrimaryColorChromaticityFromEDID\n");
    const std::uint8_t lowRG = m_edid[25];
    const std::uint8_t lowBW = m_edid[26];
    const double rx = Coordinate(m_edid[27], lowRG, 6);
    const double ry = Coordinate(m_edid[28], lowRG, 4);
    const double gx = Coordinate(m_edid[29], lowRG, 2);
    const double gy = Coordinate(m_edid[30], lowRG, 0);
    const double bx = Coordinate(m_edid[31], lowBW, 6);
    const double by = Coordinate(m_edid[32], lowBW, 4);
    m_trace.Write("Red: x=" + Lf(rx) + ", y=" + Lf(ry) + "\nGreen: x=" + Lf(gx) + ", y=" + Lf(gy) +
                  "\nBlue: x=" + Lf(bx) + ", y=" + Lf(by) + "\n");

    XyzTriple r;
    XyzTriple g;
    XyzTriple b;
    if (!ChromaticityToXyz(rx, ry, r) || !ChromaticityToXyz(gx, gy, g) ||
        !ChromaticityToXyz(bx, by, b))
    {
        m_trace.Write("Primary chromaticity invalid\n");
        return -1;
    }
    red = r;
    green = g;
    blue = b;
    m_trace.Write("Red: X=" + Lf(r.X) + ", Y=" + Lf(r.Y) + ", Z=" + Lf(r.Z) +
                  "\nGreen: X=" + Lf(g.X) + ", Y=" + Lf(g.Y) + ", Z=" + Lf(g.Z) +
                  "\nBlue: X=" + Lf(b.X) + ", Y=" + Lf(b.Y) + ", Z=" + Lf(b.Z) + "\n");
    return 0;
}

// The CIE daylight locus (CIE 15, the chromaticity of daylight D at
// correlated colour temperature T), with s = 1000 / T:
//     4000 K <= T <  7000 K:  x = -4.6070 s^3 + 2.9678 s^2 + 0.09911 s + 0.244063
//     7000 K <= T <= 25000 K: x = -2.0064 s^3 + 1.9018 s^2 + 0.24748 s + 0.237040
//     y = -3.000 x^2 + 2.870 x - 0.275
// 6500 K gives (0.3128, 0.3292), the white of D65.
int CMonitorProbe::ConvertFromColorTempIntoColorChrom(int kelvin, XyzTriple& white)
{
    if (kelvin < kMinKelvin || kelvin > kMaxKelvin)
        return kTemperatureOutOfRange;
    m_trace.Write("ConvertFromColorTempIntoColorChrom\n");
    m_trace.Write("ColorTemperature = " + platform::FormatInt(kelvin) + "\n");

    const double s = 1000.0 / kelvin;
    const double x = kelvin < 7000 ? ((-4.607 * s + 2.9678) * s + 0.09911) * s + 0.244063
                                   : ((-2.0064 * s + 1.9018) * s + 0.24748) * s + 0.23704;
    const double y = (-3.0 * x + 2.87) * x - 0.275;
    white = XyzTriple{x / y, 1.0, (1.0 - x - y) / y};
    m_trace.Write("x = " + Lf(x) + ",y = " + Lf(y) + "\n");
    m_trace.Write("X = " + Lf(white.X) + ", Y = " + Lf(white.Y) + ", Z = " + Lf(white.Z) + "\n");
    return 0;
}
