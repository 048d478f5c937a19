#include "controls/dialogs/PreferencesDlg.h"

#include "controls/support/FileFilter.h"

#include "controls/dialogs/RawSettingsDlg.h"
#include "controls/support/StringTable.h"
#include "core/GlobalSettings.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "core/UseOsCmm.h"
#include "imagefile/DNGConverter.h"
#include "platform/Text.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

constexpr int kCancelCode = 2;

// String numbers.
constexpr int kStrImageFilter = 2004;   // TIFF and JPEG filters
constexpr int kStrExeFilter = 2010;     // program filter
constexpr int kStrNoProfile = 1001;     // the image has no profile
constexpr int kStrResetMessages = 1011; // reset the message settings?
constexpr int kStrNotAConverter = 1016; // not the converter program
constexpr int kStrOldConverter = 1023;  // converter version below 3.2
constexpr int kStrNoDdcDisplay = 3050;  // display without DDC/CI, choose it?

constexpr char kConverterFileName[] = "Adobe DNG Converter.exe";

OpenFileChooser& CurrentOpenFileChooser()
{
    static OpenFileChooser chooser;
    return chooser;
}

QString ChooseFileToOpen(QWidget* parent, const QString& title, const QString& start,
                         const QString& filter)
{
    if (const OpenFileChooser& chooser = CurrentOpenFileChooser())
        return chooser(parent, title, start, filter);
    QFileDialog dialog(parent, title, start);
    dialog.setFileMode(QFileDialog::ExistingFile);
    UseNameFilters(dialog, filter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QPushButton* MakeButton(const QString& text, const char* id, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(id));
    return button;
}

template <class Widget> Widget* Hidden(Widget* widget, const char* id)
{
    widget->setObjectName(QLatin1String(id));
    widget->hide();
    return widget;
}

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

void SetOpenFileChooser(OpenFileChooser chooser)
{
    CurrentOpenFileChooser() = std::move(chooser);
}

CNewProjectDlg::CNewProjectDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("131"));
    setWindowTitle(QStringLiteral("環境設定"));
    buildLayout();
    buildHiddenControls();
}

void CNewProjectDlg::buildLayout()
{
    auto* engineGroup = new QGroupBox(QStringLiteral("色変換方式"), this);
    m_useOsCmm = new QCheckBox(QStringLiteral("カラー変換に LittleCMS を使用する"), engineGroup);
    m_useOsCmm->setObjectName(QStringLiteral("1305"));
    auto* engineLayout = new QVBoxLayout(engineGroup);
    engineLayout->addWidget(m_useOsCmm);

    auto* displayGroup = new QGroupBox(QStringLiteral("ディスプレイ"), this);
    m_display = new QComboBox(displayGroup);
    m_display->setObjectName(QStringLiteral("1362"));
    m_display->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_display->setMinimumContentsLength(24);
    auto* displayLayout = new QVBoxLayout(displayGroup);
    displayLayout->addWidget(m_display);

    m_skipInitMsg = new QCheckBox(QStringLiteral("［はじめに］画面を表示しない"), this);
    m_skipInitMsg->setObjectName(QStringLiteral("1405"));

    m_ok = MakeButton(QStringLiteral("OK"), "1", this);
    m_ok->setDefault(true);
    m_cancel = MakeButton(QStringLiteral("キャンセル"), "2", this);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(m_ok, QDialogButtonBox::AcceptRole);
    buttons->addButton(m_cancel, QDialogButtonBox::RejectRole);
    connect(m_ok, &QPushButton::clicked, this, &CNewProjectDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CNewProjectDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(engineGroup);
    layout->addWidget(displayGroup);
    layout->addWidget(m_skipInitMsg);
    layout->addStretch(1);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CNewProjectDlg::buildHiddenControls()
{
    // The template creates these without the visible style: they carry
    // their values through the dialog and are never shown.
    m_note = Hidden(new QLabel(this), "-1");

    m_inModes = new QButtonGroup(this);
    const char* inIds[] = {"1166", "1167", "1168"};
    for (int mode = 0; mode < 3; ++mode)
        m_inModes->addButton(Hidden(new QRadioButton(this), inIds[mode]), mode);
    m_inProfiles = Hidden(new QComboBox(this), "1169");
    m_inFile = Hidden(new QLineEdit(this), "1170");
    m_inFile->setReadOnly(true);
    m_inBrowse = Hidden(new QPushButton(QStringLiteral("参照..."), this), "1171");

    m_wcsModes = new QButtonGroup(this);
    const char* wcsIds[] = {"1172", "1173"};
    for (int mode = 0; mode < 2; ++mode)
        m_wcsModes->addButton(Hidden(new QRadioButton(this), wcsIds[mode]), mode);
    m_wcsProfiles = Hidden(new QComboBox(this), "1174");
    m_wcsFile = Hidden(new QLineEdit(this), "1175");
    m_wcsFile->setReadOnly(true);
    m_wcsBrowse = Hidden(new QPushButton(QStringLiteral("参照..."), this), "1176");

    m_averageSize = Hidden(new QComboBox(this), "1177");

    m_converterGroup =
        Hidden(new QGroupBox(QStringLiteral("DNG変換設定 （Windows2000/XPのみ）"), this), "1259");
    m_converterLabel = Hidden(new QLabel(QStringLiteral("DNG Converterパス"), this), "1262");
    m_converterPath = Hidden(new QLineEdit(this), "1178");
    m_converterPath->setReadOnly(true);
    m_converterBrowse = Hidden(new QPushButton(QStringLiteral("参照..."), this), "1179");
    m_versionLabel = Hidden(new QLabel(QStringLiteral("バージョン"), this), "1260");
    m_version = Hidden(new QLineEdit(this), "1180");
    m_version->setReadOnly(true);
    m_rawExtLabel = Hidden(new QLabel(QStringLiteral("RAWファイル拡張子"), this), "1265");
    m_rawExt = Hidden(new QLineEdit(this), "1264");
    m_rawExt->setReadOnly(true);
    m_rawExtEdit = Hidden(new QPushButton(QStringLiteral("編集..."), this), "1181");

    m_resetMessages = Hidden(new QPushButton(QStringLiteral("初期化する"), this), "1206");
    m_lutFile = Hidden(new QLineEdit(this), "1321");
    m_lutBrowse = Hidden(new QPushButton(QStringLiteral("..."), this), "1315");
    m_lutClear = Hidden(new QPushButton(QStringLiteral("クリア"), this), "1314");

    connect(m_inModes, &QButtonGroup::idClicked, this, [this] { onModeClicked(); });
    connect(m_wcsModes, &QButtonGroup::idClicked, this, [this] { onModeClicked(); });
    connect(m_inBrowse, &QPushButton::clicked, this, [this] { onBrowseImage(true); });
    connect(m_wcsBrowse, &QPushButton::clicked, this, [this] { onBrowseImage(false); });
    connect(m_converterBrowse, &QPushButton::clicked, this, [this] { onBrowseConverter(); });
    connect(m_rawExtEdit, &QPushButton::clicked, this, [this] { onEditRawExtensions(); });
    connect(m_resetMessages, &QPushButton::clicked, this, [this] { onResetMessages(); });
}

int CNewProjectDlg::exec()
{
    initDialog();
    return QDialog::exec();
}

void CNewProjectDlg::initDialog()
{
    if (m_initialised)
        return;
    m_initialised = true;

    // The installed profiles, in both lists in alphabetical order.
    std::vector<std::pair<std::string, std::string>> installed;
    EnumInstalledProfiles(installed);
    QStringList descriptions;
    for (const auto& [file, description] : installed)
        descriptions.append(Q(description));
    std::stable_sort(descriptions.begin(), descriptions.end(),
                     [](const QString& a, const QString& b) {
                         return QString::compare(a, b, Qt::CaseInsensitive) < 0;
                     });
    if (!descriptions.isEmpty())
    {
        m_inProfiles->addItems(descriptions);
        m_wcsProfiles->addItems(descriptions);
        if (INProfile.empty())
            INProfile = GetSRGBProfileDescription();
        if (WcsProfile.empty())
            WcsProfile = GetSRGBProfileDescription();
        InProfileIndex = std::max(
            0, m_inProfiles->findText(Q(INProfile), Qt::MatchExactly | Qt::MatchCaseSensitive));
        WcsProfileIndex = std::max(
            0, m_wcsProfiles->findText(Q(WcsProfile), Qt::MatchExactly | Qt::MatchCaseSensitive));
    }

    // The converter controls stay hidden; a converter that no longer
    // passes the check is forgotten.
    if (!DNGConvPath.empty() && !CheckDngConverter(DNGConvPath, ConverterVersion))
    {
        DNGConvPath.clear();
        ConverterVersion.clear();
    }
    RawExtText = BuildRawExtText(RawExtensions);

    writeControls();
    UpdateControlStates();
    m_useOsCmm->setEnabled(OsCmmEnabled);

    // The displays, numbered from 1; the one in use selected.
    m_display->clear();
    const std::vector<std::string> monitors =
        Monitor != nullptr ? Monitor->GetMonitorDescriptions() : std::vector<std::string>();
    for (std::size_t i = 0; i < monitors.size(); ++i)
        m_display->addItem(QStringLiteral("%1: %2").arg(i + 1).arg(Q(monitors[i])));
    if (monitors.empty())
    {
        m_display->setEnabled(false);
    }
    else
    {
        const int current = Monitor->GetCurrentMonitorIndex();
        m_display->setCurrentIndex(current >= 0 && current < m_display->count() ? current : -1);
    }
}

std::string CNewProjectDlg::BuildRawExtText(const std::vector<std::string>& userExtensions)
{
    std::string text;
    BuildBuiltinRawFilter(text);
    for (const std::string& ext : userExtensions)
        text += ";*" + ext;
    return text;
}

bool CNewProjectDlg::readControls()
{
    InMode = std::max(0, m_inModes->checkedId());
    WcsMode = std::max(0, m_wcsModes->checkedId());
    InFilePath = m_inFile->text().toStdString();
    WcsFilePath = m_wcsFile->text().toStdString();
    // Lists without a selection (the sampling list has no items at all)
    // keep what the record held.
    if (m_inProfiles->currentIndex() >= 0)
        InProfileIndex = m_inProfiles->currentIndex();
    if (m_wcsProfiles->currentIndex() >= 0)
        WcsProfileIndex = m_wcsProfiles->currentIndex();
    if (m_averageSize->currentIndex() >= 0)
        AverageSize = m_averageSize->currentIndex();
    DNGConvPath = m_converterPath->text().toStdString();
    ConverterVersion = m_version->text().toStdString();
    RawExtText = m_rawExt->text().toStdString();
    UseOsCmm = m_useOsCmm->isChecked() ? 1 : 0;
    if (m_display->currentIndex() >= 0)
        DisplayIndex = m_display->currentIndex();
    SkipInitMsg = m_skipInitMsg->isChecked() ? 1 : 0;
    return true;
}

void CNewProjectDlg::writeControls()
{
    if (QAbstractButton* button = m_inModes->button(InMode))
        button->setChecked(true);
    if (QAbstractButton* button = m_wcsModes->button(WcsMode))
        button->setChecked(true);
    m_inFile->setText(Q(InFilePath));
    m_wcsFile->setText(Q(WcsFilePath));
    if (InProfileIndex < m_inProfiles->count())
        m_inProfiles->setCurrentIndex(InProfileIndex);
    if (WcsProfileIndex < m_wcsProfiles->count())
        m_wcsProfiles->setCurrentIndex(WcsProfileIndex);
    if (AverageSize < m_averageSize->count())
        m_averageSize->setCurrentIndex(AverageSize);
    m_converterPath->setText(Q(DNGConvPath));
    m_version->setText(Q(ConverterVersion));
    m_rawExt->setText(Q(RawExtText));
    m_useOsCmm->setChecked(UseOsCmm != 0);
    if (DisplayIndex >= 0 && DisplayIndex < m_display->count())
        m_display->setCurrentIndex(DisplayIndex);
    m_skipInitMsg->setChecked(SkipInitMsg != 0);
}

bool CNewProjectDlg::UpdateControlStates()
{
    const bool haveProfiles = m_inProfiles->count() > 0;
    m_inProfiles->setEnabled(InMode == 1 && haveProfiles);
    m_inFile->setEnabled(InMode == 2);
    m_inBrowse->setEnabled(InMode == 2);
    m_wcsProfiles->setEnabled(WcsMode == 0 && haveProfiles);
    m_wcsFile->setEnabled(WcsMode == 1);
    m_wcsBrowse->setEnabled(WcsMode == 1);
    // A list with nothing selected leaves the stored description as it is.
    if (m_inProfiles->currentIndex() >= 0)
        INProfile = m_inProfiles->currentText().toStdString();
    if (m_wcsProfiles->currentIndex() >= 0)
        WcsProfile = m_wcsProfiles->currentText().toStdString();

    const bool inValid = InMode == 1   ? haveProfiles
                         : InMode == 2 ? ImageFileHasProfile(InFilePath)
                                       : true;
    const bool wcsValid = WcsMode == 0 ? haveProfiles : ImageFileHasProfile(WcsFilePath);
    const bool valid = inValid && wcsValid;
    m_ok->setEnabled(valid);
    return valid;
}

void CNewProjectDlg::onModeClicked()
{
    readControls();
    UpdateControlStates();
    writeControls();
}

void CNewProjectDlg::onBrowseImage(bool input)
{
    readControls();
    std::string& path = input ? InFilePath : WcsFilePath;
    const QString chosen = ChooseFileToOpen(this, QString(), Q(path),
                                            FileDialogFilterFromTable(LoadString(kStrImageFilter)));
    if (!chosen.isEmpty())
    {
        if (ImageFileHasProfile(chosen.toStdString()))
            path = chosen.toStdString();
        else
            ShowMessage(kStrNoProfile, {}, MessageButtons::Ok, MessageIcon::Error);
    }
    UpdateControlStates();
    writeControls();
}

void CNewProjectDlg::onBrowseConverter()
{
    const QString chosen = ChooseFileToOpen(this, m_converterLabel->text(), Q(DNGConvPath),
                                            FileDialogFilterFromTable(LoadString(kStrExeFilter)));
    if (chosen.isEmpty())
        return;
    const std::string path = chosen.toStdString();
    std::string version;
    if (CheckDngConverter(path, version))
    {
        DNGConvPath = path;
        ConverterVersion = version;
        writeControls();
        return;
    }
    const bool converterName =
        platform::EqualsNoCase(GetFileNameFromPath(path), kConverterFileName);
    ShowMessage(converterName ? kStrOldConverter : kStrNotAConverter, {}, MessageButtons::Ok,
                MessageIcon::Error);
}

void CNewProjectDlg::onEditRawExtensions()
{
    readControls();
    QPointer<CEditRAWExtDlg> editor = new CEditRAWExtDlg(this);
    GetBuiltinRawExtensions(editor->BuiltinExtensions);
    editor->UserExtensions = RawExtensions;
    const int result = editor->exec();
    if (!editor)
        return;
    const std::unique_ptr<CEditRAWExtDlg> owned(editor.data());
    if (result != QDialog::Accepted)
        return;
    RawExtensions = editor->UserExtensions;
    RawExtText = BuildRawExtText(RawExtensions);
    writeControls();
}

void CNewProjectDlg::onResetMessages()
{
    // The design asks and does nothing more.
    ShowMessage(kStrResetMessages, {}, MessageButtons::OkCancel, MessageIcon::Question);
}

void CNewProjectDlg::accept()
{
    if (!readControls())
        return;
    if (Monitor != nullptr)
    {
        const int previous = Monitor->GetCurrentMonitorIndex();
        if (!Monitor->SelectMonitor(m_display->currentIndex()) &&
            ShowMessage(kStrNoDdcDisplay, {}, MessageButtons::YesNo, MessageIcon::Question) !=
                kMessageYes)
        {
            Monitor->SelectMonitor(previous);
            return;
        }
    }
    if (UpdateControlStates())
        done(QDialog::Accepted);
    else
        writeControls();
}

void CNewProjectDlg::reject()
{
    done(kCancelCode);
}

int RunPreferencesDialog(QWidget* owner, bool ownPathUsable, IMonitorList* monitor,
                         const std::function<void()>& refreshMonitorProfile)
{
    GlobalSettings settings = GetGlobalSettings();
    const int storedUseOsCmm = UseOsCmm.load();

    // On the heap: an owner that goes away while the dialog runs takes it
    // along, and the pointer then tells so.
    QPointer<CNewProjectDlg> dialog = new CNewProjectDlg(owner);
    dialog->INProfile = settings.INProfile;
    dialog->WcsProfile = settings.WcsProfile;
    dialog->InMode = settings.InMode;
    dialog->WcsMode = settings.WcsMode;
    dialog->InFilePath = settings.InFilePath;
    dialog->WcsFilePath = settings.WcsFilePath;
    dialog->AverageSize = settings.AverageSize;
    dialog->DNGConvPath = settings.DNGConvPath;
    dialog->RawExtensions = settings.RawExtensions;
    dialog->UseOsCmm = storedUseOsCmm;
    dialog->DisplayIndex = settings.DisplayIndex;
    dialog->SkipInitMsg = settings.SkipInitMsg;
    dialog->Monitor = monitor;
    // The own path cannot drive this monitor profile: LittleCMS stays.
    dialog->OsCmmEnabled = ownPathUsable || storedUseOsCmm != 1;

    const int result = dialog->exec();
    if (!dialog)
        return 0;
    const std::unique_ptr<CNewProjectDlg> owned(dialog.data());
    if (result != QDialog::Accepted)
        return 0;

    // The record may have changed while the dialog ran (the frame's
    // monitor refresh): only the dialog's fields are replaced.
    settings = GetGlobalSettings();
    settings.INProfile = dialog->INProfile;
    settings.WcsProfile = dialog->WcsProfile;
    settings.InMode = dialog->InMode;
    settings.WcsMode = dialog->WcsMode;
    settings.InFilePath = dialog->InFilePath;
    settings.WcsFilePath = dialog->WcsFilePath;
    settings.AverageSize = dialog->AverageSize;
    settings.DNGConvPath = dialog->DNGConvPath;
    settings.RawExtensions = dialog->RawExtensions;
    settings.DisplayIndex = dialog->DisplayIndex;
    settings.SkipInitMsg = dialog->SkipInitMsg;
    SetGlobalSettings(settings);

    // The new engine is stored first, so that the frame's refresh sees it;
    // the refresh may put LittleCMS back when the own path cannot drive
    // the monitor profile, and its value is the one kept.
    if (dialog->UseOsCmm != storedUseOsCmm)
    {
        UseOsCmm = dialog->UseOsCmm;
        if (refreshMonitorProfile)
            refreshMonitorProfile();
    }
    if (monitor != nullptr)
        monitor->SelectMonitor(settings.DisplayIndex);
    return 1;
}
