#include "monitor/Display.h"

#include "core/CIEColor.h"
#include "core/StdMatrix.h"
#include "monitor/EnumDisplay.h"

#include <algorithm>
#include <cmath>

// ------------------------------------------------------------ busy value

bool SetDdcBusyFlag(platform::RegistryStore& store, std::uint32_t state)
{
    return store.SetDword(kDdcBusyRegistryKey, kDdcBusyValueName, state);
}

bool SetDdcBusyFlag(std::uint32_t state)
{
    platform::RegistryStore store;
    return SetDdcBusyFlag(store, state);
}

std::optional<std::uint8_t> VcpCodeOfControl(int control)
{
    for (const DisplayControl& c : kDisplayControls)
        if (c.control == control)
            return c.vcp;
    return std::nullopt;
}

// ------------------------------------------------------------ model groups
//
// The maker's model codes (EDID product codes of monitors with the maker ID
// QBX). Runs of consecutive codes are the generations of one model line.

namespace {

constexpr std::uint16_t kResetModels[] = {
    0x1301, 0x1302, 0x1303, 0x1311, 0x1312, 0x1313, 0x1321, 0x1322, 0x1323,
};

constexpr std::uint16_t kUserPresetModels[] = {
    0x1101, 0x1102, 0x1103, 0x1104, 0x1105, 0x1106, 0x1107, 0x1108,                         // 8
    0x1111, 0x1112, 0x1113,                                                                 // 3
    0x1121, 0x1122, 0x1123, 0x1124, 0x1125, 0x1126, 0x1127, 0x1128, 0x1129, 0x112A, 0x112B, // 11
    0x1131, 0x1132, 0x1133, 0x1134,                                                         // 4
    0x1141,                                                                                 // 1
    0x1151, 0x1152, 0x1153, 0x1154, 0x1155,                                                 // 5
};

constexpr std::uint16_t kTwoRangeBrightnessModels[] = {0x1201, 0x1211, 0x1212};

constexpr std::uint16_t kRefreshModels[] = {
    0x1101, 0x1102, 0x1103, 0x1104, 0x1105, 0x1106, 0x1107, 0x1108, 0x1111, 0x1112, 0x1113, 0x1121,
    0x1122, 0x1123, 0x1124, 0x1125, 0x1126, 0x1127, 0x1128, 0x1129, 0x112A, 0x112B, 0x1131, 0x1132,
    0x1133, 0x1134, 0x1141, 0x1151, 0x1152, 0x1153, 0x1154, 0x1155, 0x1201, 0x1211, 0x1212,
};

constexpr std::uint16_t kSlowResetModels[] = {0x1401, 0x1402, 0x1403};

constexpr std::uint16_t kAutoSetupModels[] = {
    0x1101, 0x1102, 0x1103, 0x1104, 0x1105, 0x1106, 0x1107, 0x1108, 0x1141, 0x1201, 0x1401,
};

} // namespace

std::span<const std::uint16_t> ResetModelCodes()
{
    return kResetModels;
}
std::span<const std::uint16_t> UserPresetModelCodes()
{
    return kUserPresetModels;
}
std::span<const std::uint16_t> TwoRangeBrightnessModelCodes()
{
    return kTwoRangeBrightnessModels;
}
std::span<const std::uint16_t> RefreshModelCodes()
{
    return kRefreshModels;
}
std::span<const std::uint16_t> SlowResetModelCodes()
{
    return kSlowResetModels;
}
std::span<const std::uint16_t> AutoSetupModelCodes()
{
    return kAutoSetupModels;
}

bool IsModelIn(std::span<const std::uint16_t> group, int modelCode)
{
    return std::find(group.begin(), group.end(), modelCode) != group.end();
}

// ------------------------------------------------------------ CDisplay

CDisplay::CDisplay(platform::Clock& clock) : m_clock(clock) {}

CDisplay::~CDisplay() = default;

bool CDisplay::SelectMonitor(int index)
{
    if (index < 0 || index >= static_cast<int>(Monitors.size()))
        return false;
    SetDdcBusyFlag(1);
    SelectPhysicalMonitor(static_cast<unsigned>(index));
    const PhysicalMonitorInfo& m = Monitors[static_cast<std::size_t>(index)];
    ModelCode = m.ModelCode;
    DeviceID = m.DeviceID;
    AdapterName = m.AdapterName;
    MonitorRect = m.MonitorRect;
    EdidMonitorName = m.EdidMonitorName;
    EdidSerialNumber = m.EdidSerialNumber;
    const bool answered = CheckConnection();
    SetDdcBusyFlag(0);
    SelectedIndex = index;

    const CMonitorModelData model(ModelCode, m_programFolder);
    MonitorPrimaries primaries{};
    PrimariesLoaded = model.IniExists() && model.LoadPrimaryColors(primaries);
    Primaries = primaries;
    return answered;
}

void CDisplay::RefreshLuminance()
{
    m_clock.SleepMs(500);
    RewriteLuminance();
}

void CDisplay::RewriteLuminance()
{
    if (!RefreshLuminanceFlag)
        return;
    // Only a value that was read goes back: a failed read must not write
    // a default (full brightness) into the monitor.
    std::uint16_t luminance = 0;
    if (GetControlValue(kControlLuminance, &luminance))
        SetControlValue(kControlLuminance, luminance);
}

void CDisplay::GetMonitorDescriptions(std::vector<QString>& out) const
{
    for (const PhysicalMonitorInfo& m : Monitors)
        out.push_back(m.Description);
}

bool CDisplay::LoadPrimaryColors(const char* section, double out[9], const std::string& iniPath)
{
    MonitorPrimaries values{};
    const bool valid = ReadPrimaryColors(iniPath, section, values);
    std::copy(values.begin(), values.end(), out);
    return valid;
}

namespace {

CStdMatrix ColumnsOf(const CCIEXYZ& r, const CCIEXYZ& g, const CCIEXYZ& b)
{
    return CStdMatrix(r[0], g[0], b[0], r[1], g[1], b[1], r[2], g[2], b[2]);
}

CCIEXYZ XyToXYZ(double Y, double x, double y)
{
    return CCIEYxy(Y, x, y).ToXYZ();
}

} // namespace

// The monitor's primaries (x, y) and white span its colour space. With M
// the matrix of the primaries' XYZ at Y = 1 as columns, S = M^-1 W gives
// the luminances of red, green and blue that add up to the white W; the
// primaries scaled by S give M', the monitor's RGB-to-XYZ matrix. The
// target chromaticity T (at Y = 1) is linear RGB L = M'^-1 T, and the gain
// of a channel is its share of the maximum through the monitor's tone
// curve: g = L^(1/gamma) x maximum. When the largest gain exceeds the
// smallest maximum, all three are lowered by the excess so that their
// ratios hold as far as the monitor allows; a gain lowered below 0 stays 0.
bool CDisplay::ComputeWhiteGains(const double targetXy[2], std::vector<std::uint16_t>& gains,
                                 const std::vector<std::uint16_t>& maxima) const
{
    if (!PrimariesLoaded || maxima.size() < 3)
        return false;
    const auto& p = Primaries;
    CStdMatrix m =
        ColumnsOf(XyToXYZ(1, p[0], p[1]), XyToXYZ(1, p[2], p[3]), XyToXYZ(1, p[4], p[5]));
    if (!m.Invert())
        return false;
    const CStdVector s = m.MultiplyVector(XyToXYZ(1, p[6], p[7]));
    CStdMatrix scaled =
        ColumnsOf(XyToXYZ(s[0], p[0], p[1]), XyToXYZ(s[1], p[2], p[3]), XyToXYZ(s[2], p[4], p[5]));
    if (!scaled.Invert())
        return false;
    const CStdVector linear = scaled.MultiplyVector(XyToXYZ(1, targetXy[0], targetXy[1]));

    std::array<int, 3> g{};
    for (int c = 0; c < 3; ++c)
    {
        const double v = std::pow(linear[static_cast<std::size_t>(c)], 1.0 / p[8]) *
                         maxima[static_cast<std::size_t>(c)];
        g[static_cast<std::size_t>(c)] = std::isnan(v) || v <= 0.0 ? 0
                                         : v >= 65535.0            ? 65535
                                                                   : static_cast<int>(v);
    }
    const int top = *std::max_element(g.begin(), g.end());
    const int limit = *std::min_element(maxima.begin(), maxima.begin() + 3);
    if (limit < top)
        for (int& v : g)
            v = std::max(0, v - (top - limit));
    for (const int v : g)
        gains.push_back(static_cast<std::uint16_t>(v));
    return true;
}

bool CDisplay::IsResetModel() const
{
    return IsModelIn(ResetModelCodes(), ModelCode);
}
bool CDisplay::IsRefreshModel() const
{
    return IsModelIn(RefreshModelCodes(), ModelCode);
}
bool CDisplay::IsUserPresetModel() const
{
    return IsModelIn(UserPresetModelCodes(), ModelCode);
}
bool CDisplay::IsAutoSetupModel() const
{
    return IsModelIn(AutoSetupModelCodes(), ModelCode);
}

// ------------------------------------------------------------ CDdcApiDisplay

namespace {
constexpr int kAttempts = 5;
constexpr std::int64_t kPauseMs = 100;       // after every attempt
constexpr std::int64_t kSettleMs = 100;      // after a successful one
constexpr std::int64_t kSaveSettleMs = 1000; // after a successful save
} // namespace

CDdcApiDisplay::CDdcApiDisplay(platform::Clock& clock)
    : CDdcApiDisplay(platform::CreateDdcTransport(clock), clock)
{}

CDdcApiDisplay::CDdcApiDisplay(std::unique_ptr<platform::DdcTransport> transport,
                               platform::Clock& clock, std::string sysfsRoot)
    : CDisplay(clock), m_transport(std::move(transport)), m_sysfsRoot(std::move(sysfsRoot))
{}

// The program's monitor object lives as long as its main window; when it
// goes, the program is ending and the agent may not take the channel until
// the next start writes 0.
CDdcApiDisplay::~CDdcApiDisplay()
{
    SetDdcBusyFlag(1);
}

// Every physical monitor the transport lists is recorded, whether or not
// it answers and whether or not its EDID can be read: which one answers is
// for SelectMonitor to find out, so one silent monitor never hides the
// others.
bool CDdcApiDisplay::EnumMonitors()
{
    Monitors.clear();
    const CEnumDisplay displays(m_sysfsRoot);
    for (const platform::PhysicalMonitor& pm : m_transport->EnumerateMonitors())
    {
        PhysicalMonitorInfo info;
        info.Description = QString::fromStdString(pm.description);
        info.Handle = pm;
        info.DeviceID = QString::fromStdString(pm.deviceId);
        info.AdapterName = QString::fromStdString(pm.connector);

        std::array<std::uint8_t, 256> edid{};
        bool edidRead = false;
        std::vector<std::uint8_t> bytes;
        if (m_transport->GetEdid(pm, &bytes) && platform::IsValidEdidBlock(bytes))
        {
            std::copy_n(bytes.begin(), platform::kEdidBlockSize, edid.begin());
            edidRead = true;
        }
        const DisplayDeviceInfo* display = displays.FindConnector(info.AdapterName);
        if (!edidRead && display != nullptr && display->EdidRead)
        {
            edid = display->Edid;
            edidRead = true;
        }
        if (display != nullptr)
            info.MonitorRect = display->MonitorRect;
        if (edidRead)
        {
            std::uint16_t code = 0;
            if (CEnumDisplay::GetMakerProductCode(edid.data(), &code))
                info.ModelCode = code;
            CEnumDisplay::GetEdidDescriptorText(edid.data(), 0xFC, info.EdidMonitorName);
            CEnumDisplay::GetEdidDescriptorText(edid.data(), 0xFF, info.EdidSerialNumber);
        }
        Monitors.push_back(std::move(info));
    }
    return true;
}

// Up to five attempts, 100 ms after each; after the one that succeeds the
// monitor gets settleMs more before the next exchange.
template <typename Attempt> bool CDdcApiDisplay::Retry(Attempt&& attempt, std::int64_t settleMs)
{
    if (!m_handle)
        return false;
    for (int i = 0; i < kAttempts; ++i)
    {
        const bool ok = attempt(*m_handle);
        m_clock.SleepMs(kPauseMs);
        if (ok)
        {
            m_clock.SleepMs(settleMs);
            return true;
        }
    }
    return false;
}

bool CDdcApiDisplay::ReadVcp(int control, platform::VcpValue* value)
{
    const std::optional<std::uint8_t> code = VcpCodeOfControl(control);
    if (!code)
        return false;
    return Retry(
        [&](const platform::PhysicalMonitor& m) { return m_transport->GetVcp(m, *code, value); },
        kSettleMs);
}

bool CDdcApiDisplay::GetControlRange(int control, std::uint16_t* maximum, std::uint16_t* current)
{
    platform::VcpValue value;
    if (!ReadVcp(control, &value))
        return false;
    *maximum = value.maximum;
    *current = value.current;
    return true;
}

bool CDdcApiDisplay::GetControlValue(int control, std::uint16_t* current)
{
    platform::VcpValue value;
    if (!ReadVcp(control, &value))
        return false;
    *current = value.current;
    return true;
}

bool CDdcApiDisplay::GetControlMaximum(int control, std::uint16_t* maximum)
{
    platform::VcpValue value;
    if (!ReadVcp(control, &value))
        return false;
    *maximum = value.maximum;
    return true;
}

bool CDdcApiDisplay::SetControlValue(int control, int value)
{
    const std::optional<std::uint8_t> code = VcpCodeOfControl(control);
    if (!code)
        return false;
    const auto word = static_cast<std::uint16_t>(value);
    return Retry(
        [&](const platform::PhysicalMonitor& m) { return m_transport->SetVcp(m, *code, word); },
        kSettleMs);
}

bool CDdcApiDisplay::SaveSettings()
{
    return Retry(
        [&](const platform::PhysicalMonitor& m) { return m_transport->SaveCurrentSettings(m); },
        kSaveSettleMs);
}

bool CDdcApiDisplay::GetSerialNumber(QString& out)
{
    out = EdidSerialNumber;
    return true;
}

bool CDdcApiDisplay::GetModelName(QString& out)
{
    out = EdidMonitorName;
    return true;
}

bool CDdcApiDisplay::CheckConnection()
{
    std::uint16_t type = 0;
    return Retry(
        [&](const platform::PhysicalMonitor& m) {
            return m_transport->GetTechnologyType(m, &type);
        },
        kSettleMs);
}

void CDdcApiDisplay::SelectPhysicalMonitor(unsigned index)
{
    m_handle = Monitors.at(index).Handle;
}
