#include "agent/ZephDlg.h"

#include "agent/AgentSettings.h"
#include "agent/ProfileSettingsDlg.h"
#include "platform/Numbers.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

#include <utility>

namespace {

constexpr std::uint16_t kNotRead = CProfileInstaller::kNotRead;
// VCP 02h reads 2 when the user changed a setting at the monitor.
constexpr std::uint16_t kNewControlValueChanged = 2;
constexpr std::uint16_t kNewControlValueAcknowledged = 1;
constexpr int kCapabilityKeyNewControlValue = 0x02;

std::string Int(long long value)
{
    return platform::FormatInt(value);
}

QString Utf8(const char* text)
{
    return QString::fromUtf8(text);
}

QPixmap DrawAgentIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 44, 52));
    painter.drawEllipse(QRectF(0.5, 0.5, size - 1.0, size - 1.0));

    // Three primaries overlapping additively, as on the monitor itself.
    painter.setCompositionMode(QPainter::CompositionMode_Plus);
    const double r = size * 0.26;
    const double c = size / 2.0;
    const double d = size * 0.14;
    const QPointF centres[3] = {{c, c - d}, {c - d, c + d * 0.7}, {c + d, c + d * 0.7}};
    const QColor colours[3] = {QColor(200, 30, 30), QColor(30, 180, 30), QColor(40, 60, 220)};
    for (int i = 0; i < 3; ++i)
    {
        painter.setBrush(colours[i]);
        painter.drawEllipse(centres[i], r, r);
    }
    return pixmap;
}

} // namespace

void ShowAgentMessage(const std::string& text)
{
    // No modal loop: the agent's handlers never run inside one another. The
    // box deletes itself when closed.
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("ZEPH"),
                                QString::fromStdString(text), QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

QIcon MakeAgentIcon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(DrawAgentIcon(size));
    return icon;
}

CZEPHDlg::CZEPHDlg(ZephEnvironment environment, QWidget* parent)
    : QDialog(parent), m_environment(std::move(environment)),
      m_registry(m_environment.registryPath.empty()
                     ? platform::RegistryStore()
                     : platform::RegistryStore(m_environment.registryPath))
{
    setObjectName(QStringLiteral("102"));
    setWindowTitle(QStringLiteral("ZEPH"));

    platform::Clock& clock =
        m_environment.clock != nullptr ? *m_environment.clock : platform::SystemClock();
    platform::DdcTransport* transport = m_environment.transport;
    if (transport == nullptr)
    {
        m_ownedTransport = platform::CreateDdcTransport(clock);
        transport = m_ownedTransport.get();
    }
    m_link = std::make_unique<CDdcCiLink>(*transport, clock, m_registry, CTraceLog());
    m_capabilities = std::make_unique<CMccsCapabilities>(m_link.get());
    m_probe = std::make_unique<CMonitorProbe>(*m_link, *m_capabilities, m_trace);
    m_installer = std::make_unique<CProfileInstaller>(*m_probe, *m_capabilities, m_trace);
    m_settingsDlg = new ProfileSettingsDlg(this);

    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &CZEPHDlg::OnTimer);

    m_currentValues.fill(kNotRead);
    m_previousValues.fill(kNotRead);
    m_profileValues.fill(kNotRead);
    BuildMenu();
}

CZEPHDlg::~CZEPHDlg()
{
    if (m_timer != nullptr)
        m_timer->stop();
    // The icon leaves the notification area at once, not when Qt gets round
    // to deleting the children.
    if (m_trayIcon != nullptr)
        m_trayIcon->hide();
}

void CZEPHDlg::BuildMenu()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("129"));
    auto makeAction = [this](int id, const char* text, QMenu* menu) {
        auto* action = new QAction(Utf8(text), this);
        action->setObjectName(QString::number(id));
        if (menu != nullptr)
            menu->addAction(action);
        return action;
    };

    QAction* format = makeAction(kIdProfileFormat, "プロファイル形式選択", m_menu);
    connect(format, &QAction::triggered, this, &CZEPHDlg::OnProfileFormat);

    m_modeMenu = m_menu->addMenu(Utf8("モード設定"));
    m_modeMenu->setObjectName(QStringLiteral("mode"));
    m_modeGroup = new QActionGroup(this);
    QAction* pro = makeAction(kIdProMode, "プロモード", m_modeMenu);
    QAction* easy = makeAction(kIdEasyMode, "かんたんモード", m_modeMenu);
    for (QAction* action : {pro, easy})
    {
        action->setCheckable(true);
        m_modeGroup->addAction(action);
    }
    connect(pro, &QAction::triggered, this, &CZEPHDlg::OnProMode);
    connect(easy, &QAction::triggered, this, &CZEPHDlg::OnEasyMode);

    m_menu->addSeparator();
    m_monitoringGroup = new QActionGroup(this);
    QAction* on = makeAction(kIdMonitoringOn, "オン", m_menu);
    QAction* off = makeAction(kIdMonitoringOff, "オフ", m_menu);
    for (QAction* action : {on, off})
    {
        action->setCheckable(true);
        m_monitoringGroup->addAction(action);
    }
    connect(on, &QAction::triggered, this, &CZEPHDlg::OnMonitoringOn);
    connect(off, &QAction::triggered, this, &CZEPHDlg::OnMonitoringOff);

    m_menu->addSeparator();
    QAction* exit = makeAction(kIdExit, "終了", m_menu);
    connect(exit, &QAction::triggered, this, &CZEPHDlg::OnExit);

    // The poll-interval commands exist without a menu entry.
    m_pollIntervalGroup = new QActionGroup(this);
    for (int seconds = 1; seconds <= 3; ++seconds)
    {
        QAction* action = makeAction(kIdPollInterval1 + seconds - 1, "", nullptr);
        action->setCheckable(true);
        m_pollIntervalGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, seconds] { OnPollInterval(seconds); });
    }
}

void CZEPHDlg::CreateTrayIcon()
{
    if (!m_environment.trayIcon)
        return;
    if (!QSystemTrayIcon::isSystemTrayAvailable())
    {
        Trace("No notification area: running without a tray icon\n");
        return;
    }
    m_trayIcon = new QSystemTrayIcon(m_icon, this);
    m_trayIcon->setToolTip(QStringLiteral("ZEPH"));
    m_trayIcon->setContextMenu(m_menu);
    m_trayIcon->show();
}

QAction* CZEPHDlg::Action(int id) const
{
    return findChild<QAction*>(QString::number(id));
}

void CZEPHDlg::CheckRadio(int id)
{
    if (QAction* action = Action(id))
        action->setChecked(true);
}

void CZEPHDlg::SetMenuPositionEnabled(int position, bool enabled)
{
    const QList<QAction*> entries = m_menu->actions();
    if (position >= 0 && position < entries.size())
        entries[position]->setEnabled(enabled);
}

void CZEPHDlg::GreyConnectionEntries()
{
    Action(kIdMonitoringOn)->setEnabled(false);
    Action(kIdMonitoringOff)->setEnabled(false);
    SetMenuPositionEnabled(kMenuPositionMode, false);
    SetMenuPositionEnabled(kMenuPositionAfterMode, false);
}

bool CZEPHDlg::IsTimerRunning() const
{
    return m_timer->isActive();
}

int CZEPHDlg::TimerIntervalMs() const
{
    return m_timer->interval();
}

void CZEPHDlg::SetTimer(int id, int milliseconds)
{
    m_armedTimer = id;
    m_timer->start(milliseconds);
}

void CZEPHDlg::KillTimer()
{
    m_timer->stop();
    m_armedTimer = kTimerNone;
}

bool CZEPHDlg::ReadDword(const char* key, std::uint32_t& value) const
{
    return ReadRegistryDword(m_registry, key, kStateValueName, value) == 0;
}

bool CZEPHDlg::IsChannelFree()
{
    return m_link->CheckChannelFree() == 0;
}

void CZEPHDlg::Trace(const std::string& text) const
{
    m_trace.Write(text);
}

void CZEPHDlg::ShowMessage(const std::string& text) const
{
    if (m_environment.messageBox)
        m_environment.messageBox(text);
    else
        ShowAgentMessage(text);
}

void CZEPHDlg::OnInitDialog()
{
    m_icon = MakeAgentIcon();
    setWindowIcon(m_icon);
    // One agent per user is made sure of before the dialog exists (the
    // application's lock file); the dialog itself is never shown.
    CreateTrayIcon();

    m_easyMode = ReadStartMode(m_registry, AgentIniPath()) == 1 ? 0 : 1;
    m_requestedEasyMode = m_easyMode;
    m_profileSelectOk = 0;

    m_pollSeconds = 1;
    CheckRadio(kIdPollInterval1 + m_pollSeconds - 1);
    CheckRadio(kIdMonitoringOn);
    CheckRadio(m_easyMode != 0 ? kIdEasyMode : kIdProMode);

    m_settings = ProfileSettings();
    m_pendingFlag = 0;
    m_monitoringOn = 1;

    m_iniKeys.clear();
    m_iniValues.clear();
    m_iniMaxIndex = ReadIniSection("COLOR_PROFILE_SELECT", AgentIniPath(), m_iniKeys, m_iniValues);
    Trace("MaxIndex = " + Int(m_iniMaxIndex) + "\n");
    for (int i = 0; i <= m_iniMaxIndex; ++i)
        Trace(Int(i) + ":" + m_iniKeys[i] + " = " + m_iniValues[i] + "\n");

    m_initialised = 0;
    m_supportFlags.fill(0);
    m_connectStatus = 0;

    // The channel counts as busy until the main program says it is free,
    // which it first does once its monitor layer exists. On an account
    // where CHROMIVEL never ran the value is missing, and the agent waits:
    // said once here, as the retries below only repeat that they wait.
    std::uint32_t busy = 0;
    if (!ReadDword(kDdcCiRegistryKey, busy))
    {
        Trace(std::string("DDC/CI busy value ") + kDdcCiRegistryKey + " \"" + kStateValueName +
              "\" missing: the monitor is left alone until CHROMIVEL has run once on this "
              "account\n");
    }

    m_connectStatus = InitialProccessing();
    Trace("MonitorConnectStatus = " + Int(m_connectStatus) + "\n");
    if (m_connectStatus == kStatusNotConnected)
    {
        Trace("Serch Monitor Start･････＞\n");
        SetTimer(kTimerSearch, kSearchIntervalMs);
    }
}

int CZEPHDlg::InitialProccessing()
{
    m_previousValues.fill(kNotRead);

    const int status = m_probe->GetCapabilityString();
    Trace("MonitorConnectStatus = " + Int(status) + "\n");
    if (status != kStatusPolling)
        return status;

    Action(kIdMonitoringOn)->setEnabled(true);
    Action(kIdMonitoringOff)->setEnabled(true);

    int newControlValueSupported = 0;
    if (m_capabilities->IsParsed())
    {
        newControlValueSupported =
            m_capabilities->IsVcpSupported(kCapabilityKeyNewControlValue) == 1 ? 1 : 0;
        Trace("NEW_CONTROL_VALUE(02h) = " + Int(newControlValueSupported) + "\n");
    }
    else
    {
        VcpReply reply;
        if (m_link->ReadNewControlValue(reply) != 0)
        {
            Trace("DDC/CI Error :InitialProccessing(1)\n");
            return kStatusNotConnected;
        }
        if (reply.codeType == 0)
        {
            Trace("NewControlValue : Support\n");
            newControlValueSupported = 1;
        }
    }
    if (newControlValueSupported != 1)
    {
        Trace("NewControlValue : Not_Support\n");
        OnMonitoringOff();
        ShowMessage(kMessageNoNewControlValue);
        Trace(std::string(kMessageNoNewControlValue) + "\n");
        return kStatusUnsuitable;
    }

    if (m_installer->SelectProfileFromIni(m_iniKeys, m_iniValues, m_iniMaxIndex) == 1)
    {
        SetMenuPositionEnabled(kMenuPositionMode, true);
        m_profileSelectOk = 1;
        Trace("Profile Setting Select OK!!\n");
    }
    else
    {
        // Without a prepared profile for every preset only easy mode can
        // work, whatever the registry asks for.
        SetMenuPositionEnabled(kMenuPositionMode, false);
        m_profileSelectOk = 0;
        m_easyMode = 1;
        m_requestedEasyMode = 1;
        CheckRadio(kIdEasyMode);
        Trace("Profile Setting Select NG!!\n");
    }
    SetMenuPositionEnabled(kMenuPositionAfterMode, true);

    for (std::size_t i = 1; i < TrackedVcpCodes.size(); ++i)
    {
        const TrackedVcpCode& tracked = TrackedVcpCodes[i];
        if (m_capabilities->IsParsed())
        {
            m_supportFlags[i] =
                m_capabilities->IsVcpSupported(tracked.page * 256 + tracked.code) == 1 ? 1 : 0;
            Trace("contein status " + Int(static_cast<long long>(i)) + " : " +
                  Int(m_supportFlags[i]) + "\n");
        }
        else
        {
            VcpReply reply;
            if (m_link->GetVcpChecked(tracked.page, tracked.code, reply) != 0)
            {
                Trace("DDC/CI Error :InitialProccessing(2_" + Int(static_cast<long long>(i)) +
                      ")\n");
                return kStatusNotConnected;
            }
            m_supportFlags[i] = reply.codeType == 0 ? 1 : 0;
            Trace("contein status " + Int(static_cast<long long>(i)) + " : " +
                  platform::FormatDouble(reply.current) + "\n");
        }
    }

    Trace("Porling_Start:PorringTime = " + Int(m_pollSeconds) + "\n");
    if (m_monitoringOn != 0)
        SetTimer(kTimerPoll, m_pollSeconds * 1000);
    return kStatusPolling;
}

bool CZEPHDlg::IsCovered(std::size_t index) const
{
    // Easy mode follows everything that shapes the profile; pro mode only
    // the colour preset, which picks the user's file.
    return m_easyMode != 0 || index == CProfileInstaller::kSelectColorPreset;
}

void CZEPHDlg::TraceValues(const char* title, const CProfileInstaller::VcpValues& values) const
{
    using P = CProfileInstaller;
    Trace(std::string(title) +
          "\nColorTemperatureIncrement = " + Int(values[P::kColorTemperatureIncrement]) +
          "\nColorTemperatureRequest = " + Int(values[P::kColorTemperatureRequest]) + "\nGamma = " +
          Int(values[P::kGamma]) + "\nSelectColorPreset = " + Int(values[P::kSelectColorPreset]) +
          "\nSimpleGamma = " + Int(values[P::kSimpleGamma]) +
          "\nGammaSelect = " + Int(values[P::kGammaSelect]) + "\n");
}

int CZEPHDlg::CheckNewControlValue()
{
    m_profileFailed = false;
    m_currentValues.fill(kNotRead);
    if (m_link->TakeChannelWasHeld())
        m_channelWasHeld = true;

    VcpReply reply;
    int result = m_link->ReadNewControlValue(reply);
    if (result != 0)
    {
        Trace("DDC/CI Error : CheckNewControlValue(1)\n");
        return result;
    }
    m_currentValues[CProfileInstaller::kNewControlValue] = reply.current;
    Trace("NewControlValue = " + Int(reply.current) + "\n");

    // The monitor sets 02h for changes made with its own buttons only. What
    // the main program wrote while it held the channel (the monitor wizard
    // choosing a preset, say) it does not announce: once the channel is
    // free again, the settings are read once and compared with those the
    // profile in place was made for.
    const bool afterMainProgram =
        reply.current != kNewControlValueChanged && m_initialised != 0;
    if (afterMainProgram)
    {
        if (!m_channelWasHeld)
            return 0;
        Trace("DDCCI RELEASE BY REGISTRY:READ_VCP\n");
    }
    else
    {
        result = m_link->WriteNewControlValue(kNewControlValueAcknowledged);
        if (result != 0)
        {
            Trace("DDC/CI Error : CheckNewControlValue(2)\n");
            return result;
        }
    }

    for (std::size_t i = 1; i < TrackedVcpCodes.size(); ++i)
    {
        if (m_supportFlags[i] != 1 || !IsCovered(i))
            continue;
        VcpReply value;
        result = m_link->GetVcpChecked(TrackedVcpCodes[i].page, TrackedVcpCodes[i].code, value);
        if (result != 0)
        {
            Trace("DDC/CI Error : CheckNewControlValue(3)\n");
            return result;
        }
        m_currentValues[i] = value.current;
    }
    m_channelWasHeld = false;

    // After the main program's work the comparison is with the profile in
    // place: the previous values were cleared when the agent found the
    // monitor again, and 02h itself shapes no profile.
    const CProfileInstaller::VcpValues& old = afterMainProgram ? m_profileValues : m_previousValues;
    int changed = 0;
    for (std::size_t i = 0; i < TrackedVcpCodes.size(); ++i)
    {
        if (afterMainProgram && i == CProfileInstaller::kNewControlValue)
            continue;
        if (IsCovered(i) && m_currentValues[i] != old[i])
            ++changed;
    }
    // A new gamma may come with a new gamma description in the
    // capabilities.
    if (IsCovered(CProfileInstaller::kGamma) &&
        m_currentValues[CProfileInstaller::kGamma] != old[CProfileInstaller::kGamma])
    {
        result = m_capabilities->Fetch();
        if (result != 0)
        {
            Trace("DDC/CI Error : CheckNewControlValue(4)\n");
            return result;
        }
    }

    if (changed != 0 || m_initialised == 0)
    {
        Trace("ChangeColorProfile_Start\n");
        TraceValues("CurrentVal", m_currentValues);
        TraceValues("OldVal", old);

        // The profile belongs to the monitor that answers now (its ID comes
        // from its EDID, which may have been unreadable at start-up).
        platform::PhysicalMonitor monitor;
        if (m_link->GetPrimaryMonitor(monitor) == 0)
            m_installer->SetDeviceId(monitor.deviceId);

        ProfileSettings settings = m_settings;
        settings.easyMode = m_easyMode;
        settings.gammaSelectSupported = m_supportFlags[CProfileInstaller::kGammaSelect] == 1;
        result = m_installer->InstallColorProfile(m_currentValues, settings);
        if (result != 0)
        {
            // The previous values stay: the same change is still to be acted on.
            m_profileFailed = true;
            if (result == CProfileInstaller::kResultNoColorPreset)
            {
                // Monitoring goes off first, so that nothing polls (and
                // nothing shows this again) until the user switches it on.
                OnMonitoringOff();
                ShowMessage(kMessageNoColorPreset);
            }
            else if (m_installer->RetryAdvised())
            {
                // The monitor will not announce this change again: without
                // this, the profile would wait for the user's next change.
                m_initialised = 0;
            }
            return result;
        }
    }
    else if (afterMainProgram)
    {
        Trace("NO_CHANGE_COLOR_PROFILE\n");
    }

    m_previousValues = m_currentValues;
    m_profileValues = m_currentValues;
    m_initialised = 1;
    return 0;
}

void CZEPHDlg::OnTimer()
{
    switch (m_armedTimer)
    {
    case kTimerPoll:
        OnPollTimer();
        break;
    case kTimerSearch:
        OnSearchTimer();
        break;
    default:
        break;
    }
}

void CZEPHDlg::OnPollTimer()
{
    KillTimer();
    Trace("CHECK_NEW_CONTROL_VALUE\n");
    if (m_monitoringOn == 0)
        return;

    m_easyMode = m_requestedEasyMode;
    if (m_pendingFlag != 0)
    {
        m_settings = m_pendingSettings;
        m_pendingFlag = 0;
    }

    std::uint32_t mode = 0;
    if (ReadDword(kModeRegistryKey, mode) && m_profileSelectOk == 1)
        m_requestedEasyMode = mode == 1 ? 0 : 1;
    CheckRadio(m_requestedEasyMode != 0 ? kIdEasyMode : kIdProMode);
    m_easyMode = m_requestedEasyMode;

    if (!IsChannelFree())
    {
        GreyConnectionEntries();
        SetTimer(kTimerSearch, kSearchIntervalMs);
        Trace("SET_TIMER:DDCCI INHIBIT BY REGISTRY\n");
        return;
    }

    if (CheckNewControlValue() == 0 || (m_profileFailed && m_monitoringOn != 0))
    {
        // Also after a failed profile decision: the monitor answered, so
        // polling goes on (and retries where that can help).
        SetTimer(kTimerPoll, m_pollSeconds * 1000);
        Trace("SET_TIMER:CHECK_NEW_CONTROL_VALUE:" + Int(m_pollSeconds) + "\n");
        return;
    }
    if (m_monitoringOn == 0)
        return; // switched off on the way (no colour preset): it stays off

    GreyConnectionEntries();
    m_connectStatus = InitialProccessing();
    Trace("MonitorConnectStatus = " + Int(m_connectStatus) + "\n");
    if (m_connectStatus == kStatusNotConnected && m_monitoringOn != 0)
    {
        Trace("NOT_CONNECT:OnTimer\n");
        SetTimer(kTimerSearch, kSearchIntervalMs);
        Trace("SET_TIMER:SEARCH_MONITOR\n");
    }
}

void CZEPHDlg::OnSearchTimer()
{
    KillTimer();
    Trace("SEARCH_MONITOR\n");
    if (m_monitoringOn == 0)
        return;

    if (!IsChannelFree())
    {
        SetTimer(kTimerSearch, kSearchIntervalMs);
        Trace("SET_TIMER:DDCCI INHIBIT BY REGISTRY\n");
        return;
    }
    m_connectStatus = InitialProccessing();
    if (m_connectStatus == kStatusNotConnected && m_monitoringOn != 0)
    {
        SetTimer(kTimerSearch, kSearchIntervalMs);
        Trace("SET_TIMER:SEARCH_MONITOR\n");
    }
}

void CZEPHDlg::OnMonitoringOn()
{
    if (m_monitoringOn != 0)
        return;
    m_initialised = 0;
    m_monitoringOn = 1;
    CheckRadio(kIdMonitoringOn);
    SetTimer(kTimerSearch, kSearchIntervalMs);
}

void CZEPHDlg::OnMonitoringOff()
{
    if (m_monitoringOn == 0)
        return;
    // Whichever job is armed stops: a search left running would find the
    // monitor and start polling again behind the user's back.
    KillTimer();
    m_monitoringOn = 0;
    CheckRadio(kIdMonitoringOff);
    SetMenuPositionEnabled(kMenuPositionMode, false);
}

void CZEPHDlg::OnExit()
{
    OnCancel();
}

void CZEPHDlg::OnCancel()
{
    KillTimer();
    emit exitRequested();
    QDialog::done(kIdCancel);
}

void CZEPHDlg::reject()
{
    // Not the way out: Exit from the tray menu is.
}

void CZEPHDlg::OnPollInterval(int seconds)
{
    if (seconds < 1 || seconds > 3)
        return;
    m_pollSeconds = seconds;
    CheckRadio(kIdPollInterval1 + seconds - 1);
    if (m_monitoringOn != 0)
        SetTimer(kTimerPoll, seconds * 1000);
    Trace("SET_TIMER:SEARCH_MONITOR:" + Int(seconds) + "\n");
}

void CZEPHDlg::OnProMode()
{
    CheckRadio(kIdProMode);
    m_requestedEasyMode = 0;
    WriteRegistryDword(m_registry, kModeRegistryKey, kStateValueName, 1);
    Trace("Radio Check:Select\n");
}

void CZEPHDlg::OnEasyMode()
{
    CheckRadio(kIdEasyMode);
    m_requestedEasyMode = 1;
    WriteRegistryDword(m_registry, kModeRegistryKey, kStateValueName, 0);
    Trace("Radio Check:Generate\n");
}

void CZEPHDlg::OnProfileFormat()
{
    if (m_settingsDlgRunning)
    {
        m_settingsDlg->raise();
        m_settingsDlg->activateWindow();
        return;
    }
    // Settings accepted but not yet taken over are the ones to show.
    const ProfileSettings shown = m_pendingFlag != 0 ? m_pendingSettings : m_settings;
    m_settingsDlg->SetFormat(shown.format);
    m_settingsDlg->SetLuminances(shown.whiteLuminance, shown.redLuminance, shown.greenLuminance,
                                 shown.blueLuminance);

    m_settingsDlgRunning = true;
    const int result = m_settingsDlg->exec();
    m_settingsDlgRunning = false;
    if (result != ProfileSettingsDlg::kIdOk)
        return; // Cancel: nothing changes and nothing is rebuilt

    m_pendingSettings = shown;
    m_pendingSettings.format = m_settingsDlg->Format();
    m_pendingSettings.whiteLuminance = m_settingsDlg->WhiteLuminance();
    m_pendingSettings.redLuminance = m_settingsDlg->RedLuminance();
    m_pendingSettings.greenLuminance = m_settingsDlg->GreenLuminance();
    m_pendingSettings.blueLuminance = m_settingsDlg->BlueLuminance();
    m_pendingFlag = 1;
    // The next successful poll makes the profile anew in the new format.
    m_initialised = 0;
    m_previousValues.fill(kNotRead);
    m_profileValues.fill(kNotRead);
}
