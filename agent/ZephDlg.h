#pragma once
// The agent's hidden main dialog: it owns the tray icon and its menu, the
// DDC/CI link, the monitor's capabilities, the profile installer, the
// profile settings dialog and the polling state machine.
//
// The dialog is never shown. A single single-shot timer drives everything;
// which of the two jobs it runs when it fires is the "armed" state:
//   kTimerPoll   (2)  poll the monitor's New Control Value (VCP 02h) every
//                      poll interval and, when the user changed the colour
//                      preset, temperature or gamma at the monitor, have the
//                      matching profile installed;
//   kTimerSearch (10) look for a monitor (or wait for the main program to
//                      free the DDC/CI channel) once a second.
// The monitor announces through 02h only what the user changed with its own
// buttons. After the main program has held the DDC/CI channel (its monitor
// wizard writes the colour preset itself), the first poll on the free
// channel reads the settings once whatever 02h says, and has a profile
// installed only when they differ from those the profile in place was made
// for.
// With one timer, polling and searching can never run at the same time, and
// switching monitoring off stops whichever is armed: while monitoring is off
// nothing re-arms the timer; only "On" starts the search again.
//
// States after start-up (connect status):
//   2  polling   (the monitor answers and supports VCP 02h)
//   1  searching (no monitor answers, or the DDC/CI channel is busy)
//   10 idle      (the monitor lacks VCP 02h: monitoring is switched off)
//
// All work runs on the UI thread inside the timer and menu handlers. The
// handlers are public so that tests can run them directly in place of the
// timer and the tray menu.

#include "agent/DdcCiLink.h"
#include "agent/MccsCapabilities.h"
#include "agent/MonitorProbe.h"
#include "agent/ProfileInstaller.h"
#include "agent/TraceLog.h"
#include "platform/Clock.h"
#include "platform/Registry.h"
#include "platform/ddc/DdcTransport.h"

#include <QDialog>
#include <QIcon>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ProfileSettingsDlg;
class QAction;
class QActionGroup;
class QMenu;
class QSystemTrayIcon;
class QTimer;

// The agent shows two messages only: the monitor lacks VCP 02h, and easy
// mode met a monitor without a colour preset. Tests replace the function.
using AgentMessageBox = std::function<void(const std::string& text)>;

// The default: a warning box titled "ZEPH", shown without a modal loop of
// its own so that no timer or menu handler runs inside another.
void ShowAgentMessage(const std::string& text);

// The agent's icon (window and tray), drawn here: three overlapping
// primaries on a dark disc.
QIcon MakeAgentIcon();

// VCP codes the agent follows, in the order of its value arrays: the page
// (2 = answered by the link itself), the code and the name used in traces.
struct TrackedVcpCode
{
    int page;
    std::uint8_t code;
    const char* name;
};
inline constexpr std::array<TrackedVcpCode, 7> TrackedVcpCodes = {{
    {0, 0x02, "New Control Value"},
    {0, 0x0B, "ColorTemperatureIncrement"},
    {0, 0x0C, "ColorTemperatureRequest"},
    {0, 0x14, "SelectColorPreset"},
    {0, 0x72, "Gamma"},
    {2, 0xE8, "SimpleGamma"},
    {2, 0x68, "GammaSelect"},
}};

// What the agent talks to; every part may be left empty for the real one.
struct ZephEnvironment
{
    // Null: the transport of platform::CreateDdcTransport (the simulated
    // monitor when QUILLBRAKE_SIMULATED_MONITORS is set). Borrowed.
    platform::DdcTransport* transport = nullptr;
    // Null: the system clock. Borrowed.
    platform::Clock* clock = nullptr;
    // Empty: the current user's registry store.
    std::string registryPath;
    // Null: ShowAgentMessage.
    AgentMessageBox messageBox;
    // False: never show a tray icon (tests). Where the desktop has no
    // notification area there is none either way.
    bool trayIcon = true;
};

class CZEPHDlg : public QDialog
{
    Q_OBJECT

public:
    // Armed-timer values.
    static constexpr int kTimerNone = 0;
    static constexpr int kTimerPoll = 2;
    static constexpr int kTimerSearch = 10;
    static constexpr int kSearchIntervalMs = 1000;

    // Connect status (result of InitialProccessing).
    static constexpr int kStatusNotConnected = 1;
    static constexpr int kStatusPolling = 2;
    static constexpr int kStatusUnsuitable = 10;

    // Menu command IDs (the object names of the actions).
    static constexpr int kIdMonitoringOn = 32772;
    static constexpr int kIdMonitoringOff = 32773;
    static constexpr int kIdExit = 32774;
    static constexpr int kIdPollInterval1 = 32775;
    static constexpr int kIdPollInterval2 = 32776;
    static constexpr int kIdPollInterval3 = 32777;
    static constexpr int kIdProMode = 32780;
    static constexpr int kIdEasyMode = 32781;
    static constexpr int kIdProfileFormat = 32782;
    // The dialog's end code (it only ever ends by Exit).
    static constexpr int kIdCancel = 2;
    // Positions in the tray menu.
    static constexpr int kMenuPositionMode = 1;
    static constexpr int kMenuPositionAfterMode = 2;

    // The two messages.
    static constexpr const char* kMessageNoNewControlValue =
        "Connected Monitor dose not support the New Control Value of VCP.";
    static constexpr const char* kMessageNoColorPreset = "NOT_SELCOLPRESET";

    explicit CZEPHDlg(ZephEnvironment environment = ZephEnvironment(), QWidget* parent = nullptr);
    ~CZEPHDlg() override;

    // Start-up: tray icon, mode, menu checks, settings, the pro-mode profile
    // list of ZEPH.INI, then the first look for the monitor. Ends polling,
    // searching or idle.
    void OnInitDialog();

    // Finds the monitor, reads its capabilities, decides which VCP codes
    // to follow and arms the poll timer: kStatusPolling, kStatusNotConnected
    // or kStatusUnsuitable.
    int InitialProccessing();
    // One poll: 0 when the monitor was read (and any profile made), else the
    // error of the DDC/CI exchange or of the profile decision.
    int CheckNewControlValue();

    // The timer's job, by the armed state.
    void OnTimer();

    // Menu commands.
    void OnMonitoringOn();
    void OnMonitoringOff();
    void OnExit();
    void OnPollInterval(int seconds);
    void OnProMode();
    void OnEasyMode();
    void OnProfileFormat();

    // State, for the tray application and tests.
    int ArmedTimer() const { return m_armedTimer; }
    bool IsTimerRunning() const;
    int TimerIntervalMs() const;
    int ConnectStatus() const { return m_connectStatus; }
    bool IsMonitoringOn() const { return m_monitoringOn != 0; }
    int EasyMode() const { return m_easyMode; }
    int RequestedEasyMode() const { return m_requestedEasyMode; }
    bool IsInitialised() const { return m_initialised != 0; }
    bool IsProfileSelectOk() const { return m_profileSelectOk != 0; }
    int PollSeconds() const { return m_pollSeconds; }
    const CProfileInstaller::VcpValues& CurrentValues() const { return m_currentValues; }
    const CProfileInstaller::VcpValues& PreviousValues() const { return m_previousValues; }
    const std::array<int, 7>& SupportFlags() const { return m_supportFlags; }
    const ProfileSettings& SettingsInForce() const { return m_settings; }
    bool HasPendingSettings() const { return m_pendingFlag != 0; }
    const CProfileInstaller& Installer() const { return *m_installer; }

    QMenu* TrayMenu() const { return m_menu; }
    QMenu* ModeMenu() const { return m_modeMenu; }
    // Null where the desktop has no notification area (or it was not asked
    // for).
    QSystemTrayIcon* TrayIcon() const { return m_trayIcon; }
    QAction* Action(int id) const;
    ProfileSettingsDlg* SettingsDialog() const { return m_settingsDlg; }

public slots:
    // Esc and the window's close box never end the agent: only Exit does.
    void reject() override;

signals:
    // Exit was chosen: the application ends its event loop.
    void exitRequested();

private:
    void OnPollTimer();
    void OnSearchTimer();
    void OnCancel();

    void SetTimer(int id, int milliseconds);
    void KillTimer();

    void BuildMenu();
    void CreateTrayIcon();
    void CheckRadio(int id);
    void SetMenuPositionEnabled(int position, bool enabled);
    void GreyConnectionEntries();
    bool ReadDword(const char* key, std::uint32_t& value) const;
    bool IsChannelFree();
    void Trace(const std::string& text) const;
    void ShowMessage(const std::string& text) const;
    bool IsCovered(std::size_t index) const;
    void TraceValues(const char* title, const CProfileInstaller::VcpValues& values) const;

    ZephEnvironment m_environment;
    platform::RegistryStore m_registry;
    std::unique_ptr<platform::DdcTransport> m_ownedTransport;
    CTraceLog m_trace;
    std::unique_ptr<CDdcCiLink> m_link;
    std::unique_ptr<CMccsCapabilities> m_capabilities;
    std::unique_ptr<CMonitorProbe> m_probe;
    std::unique_ptr<CProfileInstaller> m_installer;
    ProfileSettingsDlg* m_settingsDlg = nullptr;
    bool m_settingsDlgRunning = false;

    QIcon m_icon;
    QTimer* m_timer = nullptr;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QMenu* m_menu = nullptr;
    QMenu* m_modeMenu = nullptr;
    QActionGroup* m_modeGroup = nullptr;
    QActionGroup* m_monitoringGroup = nullptr;
    QActionGroup* m_pollIntervalGroup = nullptr;

    int m_armedTimer = kTimerNone;
    int m_connectStatus = 0;
    int m_initialised = 0;
    std::array<int, 7> m_supportFlags{}; // index 0 unused: 02h is checked on its own
    CProfileInstaller::VcpValues m_currentValues{};
    CProfileInstaller::VcpValues m_previousValues{};
    // The values the profile in place was made for (or found to fit).
    CProfileInstaller::VcpValues m_profileValues{};
    // The main program has held the DDC/CI channel since the agent last
    // read the monitor's settings: it may have changed them.
    bool m_channelWasHeld = false;
    int m_pollSeconds = 1;
    int m_monitoringOn = 1;
    int m_easyMode = 1;
    int m_requestedEasyMode = 1;
    int m_profileSelectOk = 0;
    // Set by CheckNewControlValue when the monitor answered but the profile
    // could not be made: polling goes on, the connection is not in doubt.
    bool m_profileFailed = false;

    std::vector<std::string> m_iniKeys;
    std::vector<std::string> m_iniValues;
    int m_iniMaxIndex = -1;

    ProfileSettings m_settings;
    ProfileSettings m_pendingSettings;
    int m_pendingFlag = 0;
};
