#pragma once
// A snapshot of the displays of the desktop: every connected DRM connector
// with its monitor's EDID, the screen of the desktop that shows it and that
// screen's rectangle. Displays are numbered 1, 2, 3 ... in connector order.
//
// CDisplayProfile keeps which display the program works on (ini section
// "Displays", key "DisplayID") and lists the ICC profiles associated with
// it in the display-profile association store.

#include "platform/DisplayDevices.h"

#include <QObject>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class QScreen;

// UWM_MONITOR_PROFILE_FOUND: the first profile name of a listing arrived.
inline constexpr int kUwmMonitorProfileFound = 0x40E;

struct DisplayDeviceInfo
{
    QString MonitorName = QStringLiteral("Default Monitor"); // EDID name, else this
    QString DeviceID;                                        // MONITOR\QBX1234\card0-DP-1
    QString DeviceName;                                      // the connector, card0-DP-1
    std::array<std::uint8_t, 256> Edid{}; // the base block in the first 128 bytes; zero when unread
    bool EdidRead = false;                // a base block with header and checksum was read
    QRect MonitorRect;                    // empty when no screen shows the display
    QScreen* Monitor = nullptr;           // the screen showing it, or null
};

// What the join of connectors with screens looks at, apart from Qt.
struct ScreenFacts
{
    std::string name;  // QScreen::name(): "DP-1" on X11 and Wayland
    std::string model; // from the EDID where the platform reads it
    std::string serial;
};

// The screen that shows the connector: the one named as its port, else the
// one whose model and serial number are the EDID's (both not empty), else
// -1. A screen is taken by one connector only: `taken` marks those already
// given.
int MatchScreen(const platform::DrmConnector& connector, const std::string& edidName,
                const std::string& edidSerial, const std::vector<ScreenFacts>& screens,
                const std::vector<bool>& taken);

class CEnumDisplay
{
public:
    // Takes the snapshot of the connectors under `root`.
    explicit CEnumDisplay(std::string root = platform::kDrmClassFolder);
    virtual ~CEnumDisplay() = default;

    bool Enumerate();
    const DisplayDeviceInfo* FindDisplay(int id) const;
    // The display on that connector, null when there is none.
    const DisplayDeviceInfo* FindConnector(const QString& connector) const;

    // Reads and checks the EDID of the connector: false when the file
    // cannot be read or is not a base block with header and checksum (edid
    // is then all zero).
    bool ReadEdid(std::uint8_t* edid, const QString& connector) const;

    std::uint16_t GetProductCode(const QScreen* monitor) const;
    void GetDeviceID(QString& out, const QScreen* monitor) const;
    void GetDeviceName(QString& out, const QScreen* monitor) const;
    void GetEdidModelName(QString& out, const QScreen* monitor) const;
    void GetEdidSerialNumber(QString& out, const QScreen* monitor) const;
    bool GetMonitorRect(const QScreen* monitor, QRect* out) const;

    // The model code: the product code (bytes 10-11, little-endian) of a
    // monitor whose manufacturer ID is "QBX"; false and code untouched for
    // any other maker.
    static bool GetMakerProductCode(const std::uint8_t* edid, std::uint16_t* code);
    // The three letters of the manufacturer ID, each 5-bit value + 0x40
    // (so 0 gives '@').
    static QString ManufacturerId(const std::uint8_t* edid);
    // The text of the display descriptor (at 72, 90 or 108) with this tag
    // (0xFC name, 0xFF serial): 13 bytes cut before the last line feed. A
    // display descriptor starts with three zero bytes; others are passed by.
    static bool GetEdidDescriptorText(const std::uint8_t* edid, std::uint8_t tag, QString& out);

    std::map<int, DisplayDeviceInfo> Entries;
    bool Ok = false;
    int Count = 0;

private:
    const DisplayDeviceInfo* FirstWith(const QScreen* monitor) const;

    std::string m_root;
};

// The device ID under which the program reads the profile of the display
// that shows `screen`, the one the monitor wizard and the agent associate
// their profiles with:
//   1. the display of the enumeration shown on that screen (its DRM
//      connector joined with the screen): MONITOR\<PNP><product>\<connector>,
//      as the DDC/CI transports name that monitor too;
//   2. else, where the desktop's displays cannot be enumerated (no
//      /sys/class/drm: a virtual X server, the simulated monitor), and the
//      screen is the primary one (or unknown): `monitorId`, the DDC/CI
//      monitor the main window selected at start-up;
//   3. else empty: the default display ("default" in the association store).
// `primary` is the desktop's primary screen.
QString DisplayDeviceIdOf(const CEnumDisplay& displays, const QScreen* screen,
                          const QScreen* primary, const QString& monitorId);

class CDisplayProfile : public QObject
{
    Q_OBJECT
public:
    // DisplayID from the settings ini (empty path: the program's own).
    explicit CDisplayProfile(std::string iniPath = std::string(),
                             std::string root = platform::kDrmClassFolder,
                             QObject* parent = nullptr);
    ~CDisplayProfile() override; // writes DisplayID back

    // Takes a fresh snapshot of the displays and makes the display that
    // shows `screen` the one the program works on (DisplayDeviceIdOf, with
    // the DDC/CI monitor's ID `monitorId`); DisplayID becomes its number
    // when the enumeration has it. True when DeviceID changed.
    bool SelectDisplay(const QScreen* screen, const QString& monitorId);

    // Lists the profiles of the display DeviceID (platform::DisplayProfileSources:
    // colord's default for its output where the program asks colord, then
    // those associated with it, or with the default display when it has none
    // of its own). When notify is set, the
    // arrival of the first name is announced by notify
    // (kUwmMonitorProfileFound, 0, 0), posted: the receiver reads the list
    // from its event loop.
    void EnumMonitorProfiles(bool notify);
    static bool GetFirstMonitorProfile(const std::vector<QString>& names, QString& out);

    int DisplayID = 1;
    // The display's device ID (empty: the default display).
    QString DeviceID;
    CEnumDisplay EnumDisplay;
    int NotifyMessage = 0;
    std::vector<QString> ProfileNames;

signals:
    void notify(int message, int code, qint64 value);

private:
    std::string m_iniPath;
};
