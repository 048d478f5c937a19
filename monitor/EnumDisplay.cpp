#include "monitor/EnumDisplay.h"

#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "platform/ColorDirectory.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cstring>

namespace {

// Copies a trustworthy base block into edid (256 bytes, the rest zero);
// anything else leaves it all zero.
bool StoreEdid(const platform::DrmConnector& connector, std::uint8_t* edid)
{
    std::memset(edid, 0, 256);
    if (!connector.edidRead || !platform::IsValidEdidBlock(connector.edid))
        return false;
    std::copy_n(connector.edid.begin(), platform::kEdidBlockSize, edid);
    return true;
}

std::vector<ScreenFacts> FactsOf(const QList<QScreen*>& screens)
{
    std::vector<ScreenFacts> facts;
    for (const QScreen* s : screens)
        facts.push_back(
            {s->name().toStdString(), s->model().toStdString(), s->serialNumber().toStdString()});
    return facts;
}

} // namespace

int MatchScreen(const platform::DrmConnector& connector, const std::string& edidName,
                const std::string& edidSerial, const std::vector<ScreenFacts>& screens,
                const std::vector<bool>& taken)
{
    auto isTaken = [&](std::size_t i) { return i < taken.size() && taken[i]; };
    for (std::size_t i = 0; i < screens.size(); ++i)
        if (!isTaken(i) && !connector.port.empty() && screens[i].name == connector.port)
            return static_cast<int>(i);
    if (edidName.empty() || edidSerial.empty())
        return -1;
    for (std::size_t i = 0; i < screens.size(); ++i)
        if (!isTaken(i) && screens[i].model == edidName && screens[i].serial == edidSerial)
            return static_cast<int>(i);
    return -1;
}

CEnumDisplay::CEnumDisplay(std::string root) : m_root(std::move(root))
{
    Ok = Enumerate();
}

bool CEnumDisplay::Enumerate()
{
    Entries.clear();
    Count = 0;
    QList<QScreen*> screens;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
        screens = QGuiApplication::screens();
    const std::vector<ScreenFacts> facts = FactsOf(screens);
    std::vector<bool> taken(facts.size(), false);

    for (const platform::DrmConnector& connector : platform::EnumerateDrmConnectors(m_root))
    {
        if (!connector.connected)
            continue;
        DisplayDeviceInfo info;
        info.DeviceName = QString::fromStdString(connector.name);
        info.DeviceID =
            QString::fromStdString(platform::MonitorDeviceId(connector.edid, connector.name));
        info.EdidRead = StoreEdid(connector, info.Edid.data());
        QString name, serial;
        if (info.EdidRead)
        {
            GetEdidDescriptorText(info.Edid.data(), 0xFC, name);
            GetEdidDescriptorText(info.Edid.data(), 0xFF, serial);
            if (!name.isEmpty())
                info.MonitorName = name;
        }
        const int screen =
            MatchScreen(connector, name.toStdString(), serial.toStdString(), facts, taken);
        if (screen >= 0)
        {
            taken[static_cast<std::size_t>(screen)] = true;
            info.Monitor = screens[screen];
            info.MonitorRect = screens[screen]->geometry();
        }
        Entries.emplace(++Count, std::move(info));
    }
    return true;
}

const DisplayDeviceInfo* CEnumDisplay::FindDisplay(int id) const
{
    const auto it = Entries.find(id);
    return it == Entries.end() ? nullptr : &it->second;
}

const DisplayDeviceInfo* CEnumDisplay::FindConnector(const QString& connector) const
{
    for (const auto& [id, info] : Entries)
        if (info.DeviceName == connector)
            return &info;
    return nullptr;
}

bool CEnumDisplay::ReadEdid(std::uint8_t* edid, const QString& connector) const
{
    for (const platform::DrmConnector& c : platform::EnumerateDrmConnectors(m_root))
        if (QString::fromStdString(c.name) == connector)
            return StoreEdid(c, edid);
    std::memset(edid, 0, 256);
    return false;
}

const DisplayDeviceInfo* CEnumDisplay::FirstWith(const QScreen* monitor) const
{
    if (monitor == nullptr)
        return nullptr;
    for (const auto& [id, info] : Entries)
        if (info.Monitor == monitor)
            return &info;
    return nullptr;
}

std::uint16_t CEnumDisplay::GetProductCode(const QScreen* monitor) const
{
    if (!Ok || monitor == nullptr)
        return 0;
    for (const auto& [id, info] : Entries)
    {
        std::uint16_t code = 0;
        if (info.Monitor == monitor && info.EdidRead &&
            GetMakerProductCode(info.Edid.data(), &code))
            return code;
    }
    return 0;
}

void CEnumDisplay::GetDeviceID(QString& out, const QScreen* monitor) const
{
    const DisplayDeviceInfo* info = FirstWith(monitor);
    out = info != nullptr ? info->DeviceID : QString();
}

void CEnumDisplay::GetDeviceName(QString& out, const QScreen* monitor) const
{
    const DisplayDeviceInfo* info = FirstWith(monitor);
    out = info != nullptr ? info->DeviceName : QString();
}

void CEnumDisplay::GetEdidModelName(QString& out, const QScreen* monitor) const
{
    out.clear();
    const DisplayDeviceInfo* info = FirstWith(monitor);
    if (info != nullptr && info->EdidRead)
        GetEdidDescriptorText(info->Edid.data(), 0xFC, out);
}

void CEnumDisplay::GetEdidSerialNumber(QString& out, const QScreen* monitor) const
{
    out.clear();
    const DisplayDeviceInfo* info = FirstWith(monitor);
    if (info != nullptr && info->EdidRead)
        GetEdidDescriptorText(info->Edid.data(), 0xFF, out);
}

bool CEnumDisplay::GetMonitorRect(const QScreen* monitor, QRect* out) const
{
    const DisplayDeviceInfo* info = FirstWith(monitor);
    if (!Ok || info == nullptr)
        return false;
    *out = info->MonitorRect;
    return true;
}

QString CEnumDisplay::ManufacturerId(const std::uint8_t* edid)
{
    // Bytes 8 and 9, big-endian: three 5-bit letters, 1 = 'A'.
    const char letters[3] = {
        static_cast<char>(((edid[8] >> 2) & 31) + 0x40),
        static_cast<char>((((edid[8] & 3) << 3) | (edid[9] >> 5)) + 0x40),
        static_cast<char>((edid[9] & 31) + 0x40),
    };
    return QString::fromLatin1(letters, 3);
}

bool CEnumDisplay::GetMakerProductCode(const std::uint8_t* edid, std::uint16_t* code)
{
    if (ManufacturerId(edid) != QLatin1String("QBX"))
        return false;
    *code = static_cast<std::uint16_t>(edid[10] | edid[11] << 8);
    return true;
}

bool CEnumDisplay::GetEdidDescriptorText(const std::uint8_t* edid, std::uint8_t tag, QString& out)
{
    // The descriptor at 54 holds the preferred timing on every monitor and
    // is not looked at.
    for (const int at : {72, 90, 108})
    {
        const std::uint8_t* d = edid + at;
        if (d[0] != 0 || d[1] != 0 || d[2] != 0 || d[3] != tag)
            continue;
        const std::uint8_t* text = d + 5;
        int length = 13;
        for (int i = 12; i >= 0; --i)
            if (text[i] == 0x0A)
            {
                length = i;
                break;
            }
        out = QString::fromLatin1(reinterpret_cast<const char*>(text), length);
        return true;
    }
    return false;
}

QString DisplayDeviceIdOf(const CEnumDisplay& displays, const QScreen* screen,
                          const QScreen* primary, const QString& monitorId)
{
    if (screen != nullptr)
    {
        QString id;
        displays.GetDeviceID(id, screen);
        if (!id.isEmpty())
            return id;
    }
    // A display the enumeration knows but that shows another screen is not
    // the DDC/CI monitor's either.
    if (displays.Count == 0 && (screen == nullptr || screen == primary))
        return monitorId;
    return QString();
}

// ----------------------------------------------------------------------------

namespace {
constexpr const char* kDisplaysSection = "Displays";
constexpr const char* kDisplayIdKey = "DisplayID";
} // namespace

CDisplayProfile::CDisplayProfile(std::string iniPath, std::string root, QObject* parent)
    : QObject(parent), EnumDisplay(std::move(root)),
      m_iniPath(iniPath.empty() ? GetIniFilePath() : std::move(iniPath))
{
    DisplayID = CIniFile(m_iniPath).GetInt(kDisplaysSection, kDisplayIdKey, 1);
    // Until the main window says which display it is on: the one of that
    // number.
    if (const DisplayDeviceInfo* display = EnumDisplay.FindDisplay(DisplayID))
        DeviceID = display->DeviceID;
}

CDisplayProfile::~CDisplayProfile()
{
    CIniFile(m_iniPath).SetInt(kDisplaysSection, kDisplayIdKey, DisplayID);
}

bool CDisplayProfile::SelectDisplay(const QScreen* screen, const QString& monitorId)
{
    EnumDisplay.Enumerate();
    const QScreen* primary = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
                                 ? QGuiApplication::primaryScreen()
                                 : nullptr;
    const QString id = DisplayDeviceIdOf(EnumDisplay, screen, primary, monitorId);
    for (const auto& [number, info] : EnumDisplay.Entries)
        if (!id.isEmpty() && info.DeviceID == id)
            DisplayID = number;
    const bool changed = id != DeviceID;
    DeviceID = id;
    return changed;
}

void CDisplayProfile::EnumMonitorProfiles(bool notify)
{
    NotifyMessage = kUwmMonitorProfileFound;
    ProfileNames.clear();
    const std::vector<std::string> names = platform::DisplayProfileSources(DeviceID.toStdString());
    for (const std::string& name : names)
    {
        ProfileNames.push_back(QString::fromStdString(name));
        if (notify && ProfileNames.size() == 1)
            QMetaObject::invokeMethod(
                this, [this, message = NotifyMessage] { emit this->notify(message, 0, 0); },
                Qt::QueuedConnection);
    }
}

bool CDisplayProfile::GetFirstMonitorProfile(const std::vector<QString>& names, QString& out)
{
    if (names.empty())
        return false;
    out = names.front();
    return true;
}
