#include "app/filelist/FileView.h"

#include "app/shell/ChromivelApp.h"
#include "app/shell/MainFrameLogic.h"
#include "app/shell/ProgressAdapters.h"
#include "controls/dialogs/BrowseDir.h"
#include "controls/dialogs/PreferencesDlg.h"
#include "controls/dialogs/SaveAlartDlg.h"
#include "controls/dialogs/SaveImageFileDlg.h"
#include "controls/dialogs/ViewerAboutDlg.h"
#include "controls/support/FileFilter.h"
#include "controls/support/ResourceImages.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/FileTableCtrl.h"
#include "core/ColorProfile.h"
#include "core/ErrorRecord.h"
#include "core/GlobalSettings.h"
#include "core/ImageEx.h"
#include "core/IniFile.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "core/TempFiles.h"
#include "correction/ProjectManage.h"
#include "imagefile/LoadThumbnail.h"
#include "imagefile/ReloadCache.h"
#include "monitor/DetailModeSheet.h"
#include "monitor/Display.h"
#include "monitor/ManualModeDlg.h"
#include "platform/Clock.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace {

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

bool IsJpegName(const std::string& path)
{
    std::string ext = GetFileExtFromPath(path);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; });
    return ext == ".jpg" || ext == ".jpeg";
}

// The DDC/CI busy value around the detail-mode wizard: 1 from the
// object's construction, 0 again on every way out of its scope (an
// exception included), so that the agent never finds the channel held by
// a wizard that has ended. Dismiss() leaves the value as it is, for a
// wizard that the program's shutdown interrupted: the monitor object's end
// has written the shutdown's value then.
class DdcBusyScope
{
public:
    DdcBusyScope() { SetDdcBusyFlag(1); }
    ~DdcBusyScope()
    {
        if (m_active)
            SetDdcBusyFlag(0);
    }
    DdcBusyScope(const DdcBusyScope&) = delete;
    DdcBusyScope& operator=(const DdcBusyScope&) = delete;
    void Dismiss() { m_active = false; }

private:
    bool m_active = true;
};

// A flag of an object set for the scope and cleared on the way out, as
// long as the object still exists then.
class FlagScope
{
public:
    FlagScope(QObject* owner, bool& flag) : m_owner(owner), m_flag(flag) { m_flag = true; }
    ~FlagScope()
    {
        if (m_owner)
            m_flag = false;
    }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    QPointer<QObject> m_owner;
    bool& m_flag;
};

// Waits in a local event loop that a timer ends: the windows keep
// painting and answering meanwhile.
void WaitInEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int InRange(int value, int low, int high, int fallback)
{
    return value < low || value > high ? fallback : value;
}

// The texts of the thumbnail-size combo (display modes 0..2) and of the
// zoom combo (index 0 fits the image to the window; 1..12 are the zoom
// table of ZoomFactorForIndex).
const char* const kThumbnailSizeTexts[] = {"なし", "小", "大"};
const char* const kZoomTexts[] = {"全体表示", "400%", "300%", "200%", "150%", "100%", "67%",
                                  "50%",      "33%",  "25%",  "17%",  "13%",  "6%"};

// A thumbnail read from the cache (rows of blue, green, red) as a QImage.
QImage ToQImage(const CImageEx& image)
{
    const int width = image.GetWidth();
    const int height = image.GetHeight();
    if (width <= 0 || height <= 0)
        return {};
    QImage out(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
    {
        const std::uint8_t* p = image.GetPixelAddress(0, y);
        auto* q = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < width; ++x, p += 3)
            q[x] = qRgb(p[2], p[1], p[0]);
    }
    return out;
}

} // namespace

int LoadFailureMessage(int loadState)
{
    switch (loadState)
    {
    case kLoadStateNoMemory:
        return kStrNoMemory;
    case kLoadStateConverter:
        return kStrConverterFailed;
    default:
        return kStrOpenFailed;
    }
}

FileViewSettings ReadFileViewSettings(const std::string& iniPath, const std::string& picturesFolder,
                                      const std::string& documentsFolder)
{
    static constexpr const char* kSection = "FileView";
    const CIniFile ini(iniPath);
    FileViewSettings s;
    s.showThumbnail = InRange(ini.GetInt(kSection, "nShowThumbnail", 1), 0, 2, 1);
    s.copyPath = ini.GetString(kSection, "strCopyPath", picturesFolder);
    s.registerPath = ini.GetString(kSection, "strResistPath", picturesFolder);
    s.saveFolder = ini.GetString(kSection, "strSaveFilePath", "");
    s.saveFormat = InRange(ini.GetInt(kSection, "nSaveFormat", 0), 0, 2, 0);
    s.jpegQuality = InRange(ini.GetInt(kSection, "nJpegQuality", 2), 0, 4, 2);
    s.listPath = ini.GetString(kSection, "strListPath", documentsFolder);
    return s;
}

void WriteFileViewSettings(const std::string& iniPath, const FileViewSettings& settings)
{
    static constexpr const char* kSection = "FileView";
    CIniFile ini(iniPath);
    ini.SetInt(kSection, "nShowThumbnail", settings.showThumbnail);
    ini.SetString(kSection, "strResistPath", settings.registerPath);
    ini.SetString(kSection, "strListPath", settings.listPath);
}

int SortKeyOfColumn(int column)
{
    static constexpr int kKeyOfColumn[4] = {kSortByNumber, kSortByName, kSortByLut, kSortByFolder};
    return column >= 0 && column < 4 ? kKeyOfColumn[column] : -1;
}

int ColumnOfSortKey(int key)
{
    static constexpr int kColumnOfKey[kSortKeyCount] = {0, -1, 1, 2, 3};
    return key >= 0 && key < kSortKeyCount ? kColumnOfKey[key] : -1;
}

std::string ConvertedDngName(const std::string& rawPath, const std::string& convertedFile)
{
    std::string name = GetFolderFromPath(convertedFile) + GetFileTitleFromPath(rawPath) + ".dng";
    MakeUniqueFileName(name);
    return name;
}

// ---- Construction

CFileView::CFileView(QWidget* parent)
    : QWidget(parent), CViewCommon(this), m_thumbnailLoader(std::make_unique<CLoadThumbnail>())
{
    LoadSettings(GetIniFilePath());
    CreateControls();
    m_screenShow = std::make_unique<CScreenShow>(*this);
    SetDataValid();
    StartThumbnailLoader();
    m_list->SetItemHeight(m_settings.showThumbnail);
    UpdateControls(false);
    RefreshList();
}

CFileView::~CFileView()
{
    SaveSettings(GetIniFilePath());
    // The views go while the panel still exists; the thumbnail worker is
    // waited for only so long: a file that does not answer must not hold
    // the window open.
    m_screenShow.reset();
    m_thumbnailLoader->Stop(kThumbnailStopLimit);
}

QToolButton* CFileView::MakeButton(int id, int icon, int tip, const QString& text)
{
    auto* button = new QToolButton(this);
    button->setObjectName(QString::number(id));
    if (icon != 0)
    {
        button->setIcon(LoadIconResource(icon));
        button->setIconSize(QSize(24, 24));
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    if (!text.isEmpty())
    {
        button->setText(text);
        if (icon != 0)
            button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    button->setAutoRaise(false);
    button->setToolTip(LoadString(tip));
    return button;
}

void CFileView::CreateControls()
{
    m_list = new CFileTableCtrl(this);
    m_list->setObjectName(QStringLiteral("1021"));
    m_list->InsertColumn(0, LoadString(kStrColumnNumber), Qt::AlignRight, kNumberColumnWidth);
    m_list->InsertColumn(1, LoadString(kStrColumnFileName), Qt::AlignLeft, 170);
    m_list->InsertColumn(2, LoadString(kStrColumnLut), Qt::AlignLeft, 100);
    m_list->InsertColumn(3, LoadString(kStrColumnPath), Qt::AlignLeft, 540);
    m_list->ThumbnailProvider = [this](int row) { return GetThumbnail(row); };
    m_list->setNotifyMessage(1);
    connect(m_list, &CFileTableCtrl::notify, this,
            [this](int, int code, qint64 value) { OnListNotify(code, value); });

    m_addButton = MakeButton(1002, kIconAddFiles, kStrTipAdd, {});
    m_deleteButton = MakeButton(1001, kIconDeleteFiles, kStrTipDelete, {});
    m_loadButton = MakeButton(1014, kIconLoadList, kStrTipLoadList, {});
    m_saveButton = MakeButton(1006, kIconSaveList, kStrTipSaveList, {});
    m_preferencesButton = MakeButton(1308, kIconPreferences, kStrTipPreferences, {});
    m_wizardButton = MakeButton(1392, kIconMonitorWizard, kStrTipMonitorWizard, {});
    m_helpButton = MakeButton(1389, kIconHelp, kStrTipHelp, {});
    m_aboutButton = MakeButton(1309, kIconAbout, kStrTipAbout, {});
    m_showButton = MakeButton(1000, 0, kStrTipShow, QStringLiteral("表示"));
    m_previousButton = MakeButton(1313, kIconPreviousImage, kStrTipPrevious, {});
    m_nextButton = MakeButton(1314, kIconNextImage, kStrTipNext, {});
    m_fullScreenButton = MakeButton(1315, kIconFullScreen, kStrTipFullScreen, {});
    m_slideShowButton = MakeButton(1320, kIconSlideShow, kStrTipSlideShow, {});

    connect(m_addButton, &QToolButton::clicked, this, &CFileView::OnFileOpen);
    connect(m_deleteButton, &QToolButton::clicked, this, &CFileView::OnDeleteFiles);
    connect(m_loadButton, &QToolButton::clicked, this, &CFileView::OnLoadList);
    connect(m_saveButton, &QToolButton::clicked, this, &CFileView::OnSaveList);
    connect(m_preferencesButton, &QToolButton::clicked, this, &CFileView::OnPreferences);
    connect(m_wizardButton, &QToolButton::clicked, this, &CFileView::RunMonitorWizard);
    connect(m_helpButton, &QToolButton::clicked, this, &CFileView::OnHelp);
    connect(m_aboutButton, &QToolButton::clicked, this, &CFileView::OnAbout);
    connect(m_showButton, &QToolButton::clicked, this, &CFileView::OnShow);
    connect(m_previousButton, &QToolButton::clicked, this, &CFileView::OnPrevious);
    connect(m_nextButton, &QToolButton::clicked, this, &CFileView::OnNext);
    connect(m_fullScreenButton, &QToolButton::clicked, this, &CFileView::OnFullScreen);
    connect(m_slideShowButton, &QToolButton::clicked, this, &CFileView::OnSlideShow);

    // Combos as narrow as their shortest useful line, so that the panel fits
    // the right pane's 320 pixels.
    auto makeCombo = [this](int id, int tip, int characters) {
        auto* combo = new QComboBox(this);
        combo->setObjectName(QString::number(id));
        combo->setToolTip(LoadString(tip));
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setMinimumContentsLength(characters);
        return combo;
    };
    m_thumbnailCombo = makeCombo(1242, kStrTipThumbnailSize, 2);
    for (const char* text : kThumbnailSizeTexts)
        m_thumbnailCombo->addItem(QString::fromUtf8(text));
    m_zoomCombo = makeCombo(1022, kStrTipZoom, 4);
    for (const char* text : kZoomTexts)
        m_zoomCombo->addItem(QString::fromUtf8(text));
    m_lutCombo = makeCombo(1322, kStrTipLut, 8);
    m_lutCombo->addItem(Text(std::string(kNoLutName)));
    connect(m_thumbnailCombo, &QComboBox::currentIndexChanged, this, [this] {
        if (!IsUpdating())
            OnThumbnailSizeChanged();
    });
    connect(m_zoomCombo, &QComboBox::currentIndexChanged, this, [this] {
        if (!IsUpdating())
            OnZoomChanged();
    });
    connect(m_lutCombo, &QComboBox::currentIndexChanged, this, [this] {
        if (!IsUpdating())
            OnLutChanged();
    });

    auto makeLabel = [this](int id, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QString::number(id));
        return label;
    };
    auto makeValue = [this](int id) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::number(id));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setMinimumWidth(40);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        return label;
    };
    m_imageLabel = makeValue(1027);
    m_inputSpaceLabel = makeValue(1028);
    m_displaySpaceLabel = makeValue(1030);
    m_workingSpaceLabel = makeValue(1319);
    QLabel* imageCaption = makeLabel(1310, QStringLiteral("画像:"));
    QLabel* inputCaption = makeLabel(1311, QStringLiteral("入力色空間:"));
    QLabel* displayCaption = makeLabel(1318, QStringLiteral("表示色空間:"));
    QLabel* lutCaption = makeLabel(1323, QStringLiteral("色補正:"));
    QLabel* thumbnailCaption = makeLabel(-1, QStringLiteral("サムネイル:"));
    QLabel* zoomCaption = makeLabel(-1, QStringLiteral("表示倍率:"));
    thumbnailCaption->setObjectName(QString());
    zoomCaption->setObjectName(QString());
    m_workingSpaceLabel->hide();

    // The list's own commands along the top; the list fills the middle;
    // below it what concerns the image shown: showing and stepping, the
    // view's settings and the image's colour spaces.
    auto* top = new QHBoxLayout;
    top->setSpacing(2);
    for (QToolButton* b : {m_addButton, m_deleteButton})
        top->addWidget(b);
    top->addSpacing(6);
    for (QToolButton* b : {m_loadButton, m_saveButton})
        top->addWidget(b);
    top->addStretch(1);
    for (QToolButton* b : {m_preferencesButton, m_wizardButton, m_helpButton, m_aboutButton})
        top->addWidget(b);

    auto* steps = new QHBoxLayout;
    steps->setSpacing(2);
    steps->addWidget(m_showButton);
    steps->addSpacing(6);
    for (QToolButton* b : {m_previousButton, m_nextButton})
        steps->addWidget(b);
    steps->addStretch(1);
    for (QToolButton* b : {m_fullScreenButton, m_slideShowButton})
        steps->addWidget(b);

    auto* settings = new QGridLayout;
    settings->setHorizontalSpacing(6);
    settings->setVerticalSpacing(3);
    settings->addWidget(thumbnailCaption, 0, 0);
    settings->addWidget(m_thumbnailCombo, 0, 1);
    settings->addWidget(zoomCaption, 0, 2);
    settings->addWidget(m_zoomCombo, 0, 3);
    settings->addWidget(lutCaption, 1, 0);
    settings->addWidget(m_lutCombo, 1, 1, 1, 3);
    settings->setColumnStretch(1, 1);
    settings->setColumnStretch(3, 2);

    auto* info = new QGridLayout;
    info->setHorizontalSpacing(6);
    info->setVerticalSpacing(1);
    info->addWidget(imageCaption, 0, 0);
    info->addWidget(m_imageLabel, 0, 1);
    info->addWidget(inputCaption, 1, 0);
    info->addWidget(m_inputSpaceLabel, 1, 1);
    info->addWidget(displayCaption, 2, 0);
    info->addWidget(m_displaySpaceLabel, 2, 1);
    info->addWidget(m_workingSpaceLabel, 3, 1);
    info->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addLayout(steps);
    layout->addLayout(settings);
    layout->addLayout(info);
}

void CFileView::StartThumbnailLoader()
{
    // The worker's announcement becomes a call on the panel's own thread;
    // the loader guarantees that it no longer calls once it is stopped.
    m_thumbnailLoader->Start([this] {
        QMetaObject::invokeMethod(this, &CFileView::OnThumbnailReady, Qt::QueuedConnection);
    });
}

void CFileView::SetProject(CProjectManage* project)
{
    CViewCommon::SetProject(project);
    m_updating = 1;
    CStFlag guard(m_updating);
    m_lutCombo->clear();
    m_lutCombo->addItem(Text(std::string(kNoLutName)));
    if (project != nullptr)
    {
        for (const std::string& name : project->GetLUTNames())
            m_lutCombo->addItem(Text(name));
    }
    m_lutIndex = 0;
    m_lutCombo->setCurrentIndex(0);
}

void CFileView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    SyncData(true);
}

void CFileView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    SyncData(false);
}

// ---- Settings

void CFileView::LoadSettings(const std::string& iniPath)
{
    m_settings = ReadFileViewSettings(iniPath, GetPicturesFolder(), GetDocumentsFolder());
}

void CFileView::SaveSettings(const std::string& iniPath)
{
    WriteFileViewSettings(iniPath, m_settings);
}

// ---- Labels

void CFileView::SetProfileLabel(const QString& text)
{
    m_displaySpaceLabel->setText(text);
    m_displaySpaceLabel->setToolTip(text);
}

void CFileView::SetImageText(const QString& text)
{
    m_imageLabel->setText(text);
}

void CFileView::SetInputColorSpaceText(const QString& text)
{
    m_inputSpaceLabel->setText(text);
    m_inputSpaceLabel->setToolTip(text);
}

void CFileView::SetWorkingColorSpaceText(const QString& text)
{
    m_workingSpaceLabel->setText(text);
}

QString CFileView::GetImageText() const
{
    return m_imageLabel->text();
}

QString CFileView::GetInputColorSpaceText() const
{
    return m_inputSpaceLabel->text();
}

QString CFileView::GetDisplayColorSpaceText() const
{
    return m_displaySpaceLabel->text();
}

QString CFileView::GetWorkingColorSpaceText() const
{
    return m_workingSpaceLabel->text();
}

// ---- Data exchange

bool CFileView::readControls()
{
    if (m_thumbnailCombo->currentIndex() >= 0)
        m_settings.showThumbnail = m_thumbnailCombo->currentIndex();
    if (m_zoomCombo->currentIndex() >= 0)
        m_zoomIndex = m_zoomCombo->currentIndex();
    if (m_lutCombo->currentIndex() >= 0)
        m_lutIndex = m_lutCombo->currentIndex();
    if (CProjectManage* project = GetProject())
        project->SetDisplayFilter(kShowAll);
    return true;
}

void CFileView::writeControls()
{
    const CProjectManage* project = GetProject();
    // Images can be registered and shown only once the project can convert
    // them (its working and input profiles are set).
    const bool ready = project != nullptr && project->GetInputProfile() != nullptr &&
                       project->GetWorkingProfile() != nullptr;
    m_showButton->setEnabled(ready);
    m_addButton->setEnabled(ready);
    m_deleteButton->setEnabled(ready);
    m_loadButton->setEnabled(true);
    m_thumbnailCombo->setCurrentIndex(m_settings.showThumbnail);
    m_zoomCombo->setCurrentIndex(std::clamp(m_zoomIndex, 0, m_zoomCombo->count() - 1));
    if (m_lutIndex >= 0 && m_lutIndex < m_lutCombo->count())
        m_lutCombo->setCurrentIndex(m_lutIndex);
}

// ---- The list

void CFileView::SetZoomIndex(int index)
{
    m_zoomIndex = index;
    UpdateControls(false);
    Notify(PanelNotify::ZoomChanged);
}

std::string CFileView::GetCurrentLutName() const
{
    const CProjectManage* project = GetProject();
    if (project == nullptr || m_lutIndex <= 0 ||
        m_lutIndex > static_cast<int>(project->GetLUTNames().size()))
        return std::string(kNoLutName);
    return project->GetLUTNames()[static_cast<std::size_t>(m_lutIndex - 1)];
}

std::string CFileView::GetListTitle() const
{
    return m_currentListFile.empty() ? std::string() : GetFileNameFromPath(m_currentListFile);
}

bool CFileView::IsCommandEnabled(int index) const
{
    switch (index)
    {
    case 0:
        return m_loadButton->isEnabled();
    case 1:
        return m_saveButton->isEnabled();
    case 43:
    case 44:
    case 47:
        return GetProject() != nullptr;
    default:
        return false;
    }
}

void CFileView::UpdateSortMark()
{
    CProjectManage* project = GetProject();
    if (project == nullptr || project->GetShownCount() == 0)
        return;
    const int key = project->GetSortKey();
    const int column = ColumnOfSortKey(key);
    if (column < 0)
        return;
    m_list->SortColumn = column;
    m_list->SortFlag = project->GetSortDirection(key) == kSortAscending;
    m_list->RedrawHeader();
}

void CFileView::FillListRows()
{
    CFileTableModel* model = m_list->fileModel();
    CProjectManage* project = GetProject();
    const int shown = project ? static_cast<int>(project->GetShownCount()) : 0;
    // At least the 40 rows; rows beyond them exist only for entries.
    model->setRowTotal(std::max(kFileListMinimumRows, shown));
    for (int row = 0; row < model->rowCount(); ++row)
    {
        const CImageFileInfo* entry =
            row < shown ? project->GetShownItem(static_cast<std::size_t>(row)) : nullptr;
        if (entry == nullptr)
        {
            model->setRow(row, nullptr, QStringList(), false);
            continue;
        }
        const QStringList texts = {
            QString::asprintf("%3d", entry->m_number + 1),
            Text(GetFileNameFromPath(entry->m_path)),
            Text(entry->m_lutName),
            Text(GetFolderFromPath(entry->m_path)),
        };
        model->setRow(row, entry, texts, entry->m_check != 0);
    }
    if (project == nullptr)
    {
        m_list->RowCount = 0;
        return;
    }
    // The number column widens to the largest number in the list (the
    // entries are numbered 1..count), never below its own width, so that
    // 100 and above are not cut.
    const int numberWidth = std::max(
        kNumberColumnWidth,
        m_list->firstColumnWidthFor(
            QString::asprintf("%3d", static_cast<int>(project->GetCount()))));
    if (m_list->columnWidth(0) < numberWidth)
        m_list->setColumnWidth(0, numberWidth);
    // Camera RAW files are converted in the background as soon as they are
    // listed, shown or not, so that their entries become DNG files.
    for (std::size_t i = 0; i < project->GetCount(); ++i)
    {
        const CImageFileInfo& entry = project->GetItem(i);
        if (IsRawExtension(GetFileExtFromPath(entry.m_path)) && entry.m_error == 0 &&
            entry.m_state != kLoadStateConverter)
            m_thumbnailLoader->RequestThumbnail(entry.m_path);
    }
    m_list->RowCount = static_cast<int>(project->GetCount());
}

void CFileView::DetachRows()
{
    CFileTableModel* model = m_list->fileModel();
    for (int row = 0; row < model->rowCount(); ++row)
        model->setEntry(row, nullptr);
}

void CFileView::RefreshList()
{
    if (GetProject() == nullptr && !isVisible())
        return;
    UpdateSortMark();
    FillListRows();
    UpdateControls(true);
    UpdateControls(false);
}

CImageFileInfo* CFileView::EntryOfRow(int row) const
{
    CProjectManage* project = GetProject();
    const CImageFileInfo* shown = m_list->fileModel()->entry(row);
    if (project == nullptr || shown == nullptr)
        return nullptr;
    for (std::size_t i = 0; i < project->GetCount(); ++i)
    {
        if (&project->GetItem(i) == shown)
            return &project->GetItem(i);
    }
    return nullptr;
}

int CFileView::RowOfPath(const std::string& path) const
{
    const CFileTableModel* model = m_list->fileModel();
    for (int row = 0; row < model->rowCount(); ++row)
    {
        const CImageFileInfo* entry = model->entry(row);
        if (entry != nullptr && entry->m_path == path)
            return row;
    }
    return -1;
}

std::vector<int> CFileView::SelectedRows() const
{
    std::vector<int> rows;
    if (m_list->selectionModel() == nullptr)
        return rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CFileView::SelectLutOfEntry(const CImageFileInfo& entry)
{
    const int line = m_lutCombo->findText(Text(entry.m_lutName));
    m_updating = 1;
    CStFlag guard(m_updating);
    m_lutCombo->setCurrentIndex(line < 0 ? 0 : line);
}

void CFileView::OnListNotify(int code, qint64 value)
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    const int row = static_cast<int>(value);
    switch (code)
    {
    case 0: // activated
        if (const CImageFileInfo* entry = EntryOfRow(row))
            SelectLutOfEntry(*entry);
        UpdateControls(true);
        ShowItem(row);
        break;
    case 1: // check boxes
    {
        const CFileTableModel* model = m_list->fileModel();
        for (int r = 0; r < model->rowCount(); ++r)
        {
            if (CImageFileInfo* entry = EntryOfRow(r))
                entry->m_check = model->isChecked(r) ? 1 : 0;
        }
        project->SetListChanged(true);
        UpdateControls(true);
        // A filtered list changes its rows when a mark changes.
        if (project->GetDisplayFilter() != kShowAll)
        {
            DetachRows();
            FillListRows();
        }
        UpdateControls(false);
        break;
    }
    case 2: // heading
        if (project->GetShownCount() > 0 && SortKeyOfColumn(row) >= 0)
        {
            DetachRows();
            project->SetSortKey(SortKeyOfColumn(row));
            UpdateSortMark();
            FillListRows();
        }
        break;
    case 3: // moved to by keyboard
        ShowItem(row);
        break;
    case 4: // clicked
        if (const CImageFileInfo* entry = EntryOfRow(row))
            SelectLutOfEntry(*entry);
        UpdateControls(true);
        break;
    default:
        break;
    }
}

void CFileView::ShowItem(int row)
{
    CProjectManage* project = GetProject();
    CImageFileInfo* entry = EntryOfRow(row);
    if (project == nullptr || entry == nullptr)
        return;
    int step = std::max<int>(project->GetCurrentStep(), 0);
    if (project->GetInputProfile() == nullptr || project->GetWorkingProfile() == nullptr ||
        project->GetCurrentStep() < 0)
        step = CProjectManage::kStepCount;
    UpdateControls(true);
    if (m_lutIndex >= 0 && m_lutIndex <= static_cast<int>(project->GetLUTCount()))
        project->SetLUTIndex(m_lutIndex);
    LoadImage(*entry, step);
}

void CFileView::OnShow()
{
    const std::vector<int> rows = SelectedRows();
    if (!rows.empty())
        ShowItem(rows.front());
}

bool CFileView::LoadImage(CImageFileInfo& entry, int step)
{
    CProjectManage* project = GetProject();
    if (project == nullptr || entry.m_path == m_currentImagePath)
        return project != nullptr;
    bool loaded = false;
    {
        CSetupCallbackForFileLoad progress(project, window());
        loaded = project->LoadImage(entry, false) == 1;
    }
    if (loaded)
    {
        CSetupCallbackForViewChange progress(project, window(), step, false);
        project->ProcessToStep(step, project->GetCompareMode(), false);
    }
    FillListRows();
    NotifyRefresh();
    if (entry.m_error != 0 || !loaded)
    {
        // The project dropped its image: no entry is shown any more, so
        // choosing any entry again, this one too, loads it.
        m_currentImagePath.clear();
        ShowMessage(LoadFailureMessage(entry.m_state), {}, MessageButtons::Ok, MessageIcon::Error);
        return false;
    }
    m_currentImagePath = entry.m_path;
    return true;
}

void CFileView::OnDeleteFiles()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    const std::vector<int> rows = SelectedRows();
    std::vector<std::string> paths;
    for (int row : rows)
    {
        if (const CImageFileInfo* entry = EntryOfRow(row))
        {
            paths.push_back(entry->m_path);
            if (entry->m_path == m_currentImagePath)
                m_currentImagePath.clear();
        }
    }
    if (paths.empty())
        return;
    DetachRows();
    project->RemoveFiles(paths);
    FillListRows();
    UpdateControls(true);
    UpdateControls(false);
    m_list->clearSelection();
    if (!m_currentImagePath.empty() && m_list->SelectItemByPath(m_currentImagePath) >= 0)
    {
        if (const CImageFileInfo* current = EntryOfRow(RowOfPath(m_currentImagePath)))
            SelectLutOfEntry(*current);
        UpdateControls(true);
    }
    NotifyRefresh();
}

// ---- The monitor wizard

void CFileView::RunMonitorWizard()
{
    // The pause before the detail-mode wizard keeps the window answering:
    // a second press meanwhile must not start a second wizard.
    if (m_wizardRunning)
        return;
    CDisplay* monitor = m_hooks.monitor ? m_hooks.monitor() : nullptr;
    if (monitor == nullptr)
        return;
    // The frame's flag from start-up decides, not the monitor's state now:
    // a monitor that answered then gets the detail-mode wizard even when it
    // has been switched off since.
    if (m_hooks.monitorAnswered && m_hooks.monitorAnswered())
        RunDetailModeWizard(*monitor);
    else
        RunManualMode(*monitor);
}

void CFileView::RunDetailModeWizard(CDisplay& monitor)
{
    QPointer<CFileView> self(this);
    const FlagScope running(this, m_wizardRunning);
    DdcBusyScope busy;
    if (m_wizardPause)
        m_wizardPause(kWizardPauseMs);
    else
        WaitInEventLoop(kWizardPauseMs);
    if (!self)
    {
        busy.Dismiss();
        return;
    }
    CDetailModeSheet sheet(window(),
                           m_wizardClock != nullptr ? *m_wizardClock : platform::SystemClock());
    sheet.SetMonitor(&monitor);
    sheet.SetConverter(GetProject());
    sheet.SetWizardMode();
    sheet.exec();
}

void CFileView::RunManualMode(CDisplay& monitor)
{
    const int modelCode = static_cast<std::uint16_t>(monitor.ModelCode);
    if (modelCode == 0)
        return;
    const FlagScope running(this, m_wizardRunning);
    CManualModeDlg dialog(modelCode, monitor.DeviceID, monitor.AdapterName, window());
    dialog.SetConverter(GetProject());
    if (m_hooks.displayProfile)
        dialog.SetPreviousProfile(m_hooks.displayProfile());
    dialog.exec();
}

// ---- Buttons

void CFileView::OnPreferences()
{
    if (m_hooks.preferences)
    {
        m_hooks.preferences();
        return;
    }
    if (RunPreferencesDialog(window(), false, nullptr) != 0)
        ClearReloadImageCache();
}

void CFileView::OnAbout()
{
    if (m_hooks.about)
    {
        m_hooks.about();
        return;
    }
    CViewerAboutDlg dialog(window());
    dialog.exec();
}

void CFileView::OnHelp()
{
    if (m_hooks.help)
        m_hooks.help();
    else
        CChromivelApp::Instance().OnHelp(window());
}

void CFileView::OnPrevious()
{
    m_list->SelectPrevItem();
}

void CFileView::OnNext()
{
    m_list->SelectNextItem();
}

void CFileView::OnFullScreen()
{
    m_screenShow->OnFullScreen();
}

void CFileView::OnSlideShow()
{
    m_screenShow->OnSlideShow();
}

void CFileView::RefreshScreenImage()
{
    m_screenShow->RefreshScreenImage();
}

void CFileView::SetCachePaused(bool paused)
{
    m_screenShow->SetPaused(paused);
}

bool CFileView::IsCachePaused() const
{
    return m_screenShow->IsPaused();
}

void CFileView::OnThumbnailSizeChanged()
{
    UpdateControls(true);
    m_list->SetItemHeight(m_settings.showThumbnail);
}

void CFileView::OnZoomChanged()
{
    UpdateControls(true);
    Notify(PanelNotify::ZoomChanged);
    UpdateControls(false);
}

void CFileView::OnLutChanged()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    m_list->setUpdatesEnabled(false);
    const int before = m_lutIndex;
    UpdateControls(true);
    const std::string name = GetCurrentLutName();
    bool currentSelected = false;
    for (int row : SelectedRows())
    {
        if (CImageFileInfo* entry = EntryOfRow(row))
        {
            entry->m_lutName = name;
            currentSelected = currentSelected || entry->m_path == m_currentImagePath;
        }
    }
    if (m_lutIndex != before)
        project->SetListChanged(true);
    if (currentSelected && !m_currentImagePath.empty())
    {
        if (m_lutIndex >= 0 && m_lutIndex <= static_cast<int>(project->GetLUTCount()))
            project->SetLUTIndex(m_lutIndex);
        project->RefreshDisplayConversion();
        RefreshScreenImage();
    }
    FillListRows();
    m_list->setUpdatesEnabled(true);
    m_list->viewport()->update();
}

// ---- Thumbnails

QImage CFileView::GetThumbnail(int row)
{
    const CImageFileInfo* entry = m_list->fileModel()->entry(row);
    if (entry == nullptr)
        return {};
    const auto known = m_thumbnailImages.find(entry->m_path);
    if (known != m_thumbnailImages.end())
        return known->second;
    bool hasThumbnail = false;
    if (HasCachedThumbnail(entry->m_path, &hasThumbnail) != 0)
    {
        CImageEx image;
        QImage picture;
        if (hasThumbnail && LoadCachedThumbnail(entry->m_path, image) != 0)
            picture = ToQImage(image);
        m_thumbnailImages[entry->m_path] = picture;
        return picture;
    }
    m_thumbnailLoader->RequestThumbnail(entry->m_path);
    return {};
}

bool CFileView::ApplyThumbnailResult(const std::string& path, const std::string& thumbnailFile,
                                     const std::string& dngFile, int convertFailed)
{
    CProjectManage* project = GetProject();
    CImageFileInfo* entry = nullptr;
    if (project != nullptr)
    {
        for (std::size_t i = 0; i < project->GetCount() && entry == nullptr; ++i)
        {
            if (project->GetItem(i).m_path == path)
                entry = &project->GetItem(i);
        }
    }
    // An entry being loaded keeps its file: the conversion's result is
    // dropped and made again later.
    if (entry == nullptr || ((!dngFile.empty() || convertFailed != 0) && IsLoading(path)))
        return false;

    if (convertFailed != 0)
    {
        if (entry->m_type == kImageFileRaw)
        {
            entry->m_error = 1;
            entry->m_state = kLoadStateConverter;
        }
        // Nothing to show for it; the cache remembers that, so that painting
        // does not ask again.
        AddReloadThumbnail(std::string(), path);
        m_thumbnailImages.erase(path);
        return false;
    }
    if (dngFile.empty())
    {
        m_thumbnailImages.erase(path);
        return AddReloadThumbnail(thumbnailFile, path);
    }

    // A camera RAW file converted: the DNG takes its name and its place.
    const int row = RowOfPath(path);
    const std::string named = ConvertedDngName(path, dngFile);
    if (std::rename(dngFile.c_str(), named.c_str()) != 0)
        return false;
    // The record is read again from the DNG; where the probe does not take
    // DNG files, the entry keeps what it knew and only moves to the DNG.
    CImageFileInfo renamed = *entry;
    if (renamed.ReadInfo(named) == 1)
    {
        *entry = renamed;
    }
    else
    {
        entry->m_path = named;
        entry->m_type = kImageFileDng;
        entry->m_detectedType = kImageFileDng;
    }
    m_thumbnailImages.erase(named);
    AddReloadThumbnail(thumbnailFile, named);
    if (row >= 0)
    {
        CFileTableModel* model = m_list->fileModel();
        model->setEntry(row, entry);
        model->setText(row, 1, Text(GetFileNameFromPath(named)));
        model->setText(row, 3, Text(GetFolderFromPath(named)));
    }
    return true;
}

void CFileView::OnThumbnailReady()
{
    std::string path;
    std::string thumbnailFile;
    std::string dngFile;
    int convertFailed = 0;
    bool any = false;
    while (m_thumbnailLoader->TakeResult(path, thumbnailFile, dngFile, convertFailed))
    {
        any = true;
        const bool used = ApplyThumbnailResult(path, thumbnailFile, dngFile, convertFailed);
        if (!used)
        {
            if (!thumbnailFile.empty())
                std::remove(thumbnailFile.c_str());
            if (!dngFile.empty())
                std::remove(dngFile.c_str());
        }
    }
    if (!any)
        return;
    // The rows in sight paint their new pictures and names.
    m_list->viewport()->update();
    UpdateControls(false);
}

// ---- The full-screen view's questions

std::vector<CImageFileInfo> CFileView::ScreenEntries() const
{
    std::vector<CImageFileInfo> entries;
    const CFileTableModel* model = m_list->fileModel();
    for (int row = 0; row < model->rowCount(); ++row)
    {
        const CImageFileInfo* entry = model->entry(row);
        if (entry == nullptr)
            break;
        entries.push_back(*entry);
    }
    return entries;
}

int CFileView::ScreenFirstSelectedRow() const
{
    const std::vector<int> rows = SelectedRows();
    return rows.empty() ? -1 : rows.front();
}

bool CFileView::ScreenEnsureImageLoaded()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return false;
    if (m_currentImagePath.empty())
    {
        const int row = ScreenFirstSelectedRow();
        if (row < 0)
            return false;
        ShowItem(row);
    }
    return project->IsImageReady();
}

QRect CFileView::ScreenMonitorRect() const
{
    return m_hooks.monitorRect ? m_hooks.monitorRect() : QRect();
}

// ---- Colour spaces and lists

void CFileView::LoadColorSpaceProfiles()
{
    m_colorSpaceProfile.reset();
    m_sRGBProfile.reset();
    std::string inProfile, wcsProfile, inFilePath, wcsFilePath;
    int inMode = 0, wcsMode = 0;
    if (!GetColorSpaceSettings(inProfile, wcsProfile, inMode, wcsMode, inFilePath, wcsFilePath))
        return;
    auto working = std::make_unique<CColorProfile>();
    const std::string workingPath =
        wcsMode == 1 && !wcsFilePath.empty() ? wcsFilePath : FindProfileByDescription(wcsProfile);
    EnsureSRGBProfileInstalled();
    auto sRGB = std::make_unique<CColorProfile>();
    if (workingPath.empty() || !working->Open(workingPath) ||
        !sRGB->Open(GetSRGBProfileFileName()))
        return;
    m_colorSpaceProfile = std::move(working);
    m_sRGBProfile = std::move(sRGB);
}

void CFileView::NewList()
{
    CProjectManage* project = GetProject();
    m_thumbnailLoader->ClearAll();
    m_thumbnailImages.clear();
    LoadColorSpaceProfiles();
    DetachRows();
    if (project != nullptr)
    {
        project->UnloadProject();
        project->OnMonitorProfileLoaded(GetMonitorProfile(), m_colorSpaceProfile.get(),
                                        m_sRGBProfile.get());
    }
    m_currentListFile.clear();
    // The project has no image any more: the entry shown before loads again
    // when it is chosen.
    m_currentImagePath.clear();
    RefreshList();
    UpdateControls(false);
    NotifyRefresh();
}

void CFileView::LoadList(const std::string& path)
{
    CProjectManage* project = GetProject();
    if (project == nullptr || !QuerySaveList())
        return;
    m_thumbnailLoader->ClearAll();
    m_thumbnailImages.clear();
    m_list->setUpdatesEnabled(false);
    m_settings.listPath = path;
    m_currentListFile = path;
    m_currentImagePath.clear();
    LoadColorSpaceProfiles();
    DetachRows();
    bool opened = false;
    {
        CSetupCallbackForFileListLoad progress(project, window());
        opened = project->OpenListFile(path, GetMonitorProfile(), m_colorSpaceProfile.get(),
                                       m_sRGBProfile.get());
    }
    if (opened)
    {
        RefreshList();
        UpdateControls(false);
        NotifyRefresh();
    }
    else
    {
        NewList();
    }
    m_list->setUpdatesEnabled(true);
    m_list->viewport()->update();
}

bool CFileView::QuerySaveList()
{
    CProjectManage* project = GetProject();
    if (project == nullptr || project->GetCount() == 0 ||
        !(project->IsListChanged() || project->IsModified()))
        return true;
    const bool showNote = project->CountType4() > 0;
    int answer = CSaveAlartDlg::kCancel;
    if (m_saveQuestion)
    {
        answer = m_saveQuestion(showNote);
    }
    else
    {
        CSaveAlartDlg dialog(window());
        dialog.m_bShowConvertNote = showNote ? 1 : 0;
        answer = dialog.exec();
    }
    // Save counts only when the list was written: a cancelled or failed
    // save keeps the window, and the question comes again.
    if (answer == CSaveAlartDlg::kSave)
        return SaveListAs();
    return answer == CSaveAlartDlg::kDontSave;
}

std::vector<std::string> CFileView::Choose(FileDialogKind kind, const std::string& start,
                                           const QString& filter)
{
    if (m_chooser)
        return m_chooser(kind, start, filter);
    std::vector<std::string> chosen;
    if (kind == FileDialogKind::OpenFolder)
    {
        CBrowseDir browse(window());
        browse.SetInitialFolder(Text(start));
        if (browse.Browse())
            chosen.push_back(browse.GetFolderPath().toStdString());
        return chosen;
    }
    QFileDialog dialog(window());
    // The patterns match whatever the letter case (cameras write
    // "IMG_0001.JPG"), as extensions are compared everywhere else.
    UseNameFilters(dialog, filter);
    switch (kind)
    {
    case FileDialogKind::OpenImages:
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setDirectory(Text(GetFolderFromPath(start)));
        dialog.setDefaultSuffix(LoadString(kStrImageExtension));
        // The dialog starts on the combined image filter, TIFF and JPEG
        // files together.
        if (const QStringList names = dialog.nameFilters(); names.size() >= kImageFilterIndex)
            dialog.selectNameFilter(names[kImageFilterIndex - 1]);
        break;
    case FileDialogKind::OpenList:
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(LoadString(kStrListFileExtension));
        break;
    case FileDialogKind::SaveList:
    case FileDialogKind::SaveParameters:
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(LoadString(kind == FileDialogKind::SaveList
                                               ? kStrListFileExtension
                                               : kStrParamFileExtension));
        break;
    case FileDialogKind::OpenFolder:
        break;
    }
    if (kind != FileDialogKind::OpenImages)
    {
        dialog.setDirectory(Text(GetFolderFromPath(start)));
        dialog.selectFile(Text(GetFileNameFromPath(start)));
    }
    if (dialog.exec() != QDialog::Accepted)
        return chosen;
    for (const QString& file : dialog.selectedFiles())
        chosen.push_back(file.toStdString());
    return chosen;
}

bool CFileView::SaveListAs()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return false;
    const std::vector<std::string> chosen =
        Choose(FileDialogKind::SaveList, m_settings.listPath,
               FileDialogFilterFromTable(LoadString(kStrListFileFilter)));
    if (chosen.empty())
        return false;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool saved = project->SaveListFile(chosen.front());
    QApplication::restoreOverrideCursor();
    if (!saved)
        return false;
    m_settings.listPath = chosen.front();
    m_currentListFile = chosen.front();
    UpdateControls(false);
    NotifyRefresh();
    return true;
}

void CFileView::OnFileOpen()
{
    const std::vector<std::string> chosen =
        Choose(FileDialogKind::OpenImages, m_settings.registerPath,
               FileDialogFilterFromTable(LoadString(kStrImageFileFilter)));
    if (chosen.empty())
        return;
    m_settings.registerPath =
        chosen.size() == 1 ? chosen.front() : GetFolderFromPath(chosen.front());
    {
        CRecordErrorFile record;
        if (m_addFiles)
            m_addFiles(chosen, true);
    }
    ShowErrorFiles();
}

void CFileView::OnFolderOpen()
{
    const std::vector<std::string> chosen =
        Choose(FileDialogKind::OpenFolder, GetFolderFromPath(m_settings.registerPath), QString());
    if (chosen.empty())
        return;
    const QString folder = Text(chosen.front());
    m_settings.registerPath = AddBackslash(chosen.front());
    std::vector<std::string> files;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const QDir dir(folder);
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        {
            const std::string path = dir.filePath(name).toStdString();
            if (IsJpegName(path))
                files.push_back(path);
        }
        QApplication::restoreOverrideCursor();
    }
    {
        CRecordErrorFile record;
        // A folder only registers its files, even a single one.
        if (!files.empty() && m_addFiles)
            m_addFiles(files, false);
    }
    ShowErrorFiles();
}

void CFileView::OnLoadList()
{
    const std::vector<std::string> chosen =
        Choose(FileDialogKind::OpenList, m_settings.listPath,
               FileDialogFilterFromTable(LoadString(kStrListFileFilter)));
    if (!chosen.empty())
        LoadList(chosen.front());
}

void CFileView::OnSaveList()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    if (project->CountType4() > 0 &&
        ShowMessage(kStrListHasConverting, {}, MessageButtons::OkCancel) != kMessageOk)
        return;
    SaveListAs();
}

void CFileView::SaveImage(int format, int quality, const std::string& path)
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    m_settings.saveFolder = GetFolderFromPath(path);
    m_settings.saveFormat = format;
    m_settings.jpegQuality = quality;
    CSetupCallbackForFileSave progress(project, window());
    project->SaveCorrectedImage(path, format, quality);
}

// ---- Parameters

bool CFileView::ImportParameters(const std::string& path)
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return false;
    const int step = std::max<int>(project->GetCurrentStep(), 0);
    const int mode = project->GetCompareMode();
    if (GetParameterPath() != nullptr)
        *GetParameterPath() = path;
    if (!project->LoadParamFile(path))
    {
        ShowMessage(kStrParamFileNotFound, {}, MessageButtons::Ok, MessageIcon::Warning);
        return false;
    }
    if (project->IsImageReady())
    {
        // The file's trimming was set up on some other image: it is fitted to
        // the image after the last enabled step that can change its size.
        int width = 0;
        int height = 0;
        if (project->GetStepImageSize(CProjectManage::kStepChart, width, height))
        {
            // An image without a resolution counts as 300 dpi.
            CTrimmingDoc trimming;
            trimming.Assign(project->GetTrimmingDoc());
            trimming.SetOriginalSize(false, width, height,
                                     static_cast<int>(project->GetImageDPI()));
            project->CommitTrimmingDoc(trimming);
        }
        CSetupCallbackForViewChange progress(project, window(), step, true);
        project->ProcessToStep(step, mode, true);
    }
    NotifyRefresh();
    return true;
}

void CFileView::ExportParameters()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    const std::string start = GetParameterPath() ? *GetParameterPath() : std::string();
    const std::vector<std::string> chosen =
        Choose(FileDialogKind::SaveParameters, start,
               FileDialogFilterFromTable(LoadString(kStrParamFileFilter)));
    if (chosen.empty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool saved = project->SaveParamFile(chosen.front());
    QApplication::restoreOverrideCursor();
    if (saved && GetParameterPath() != nullptr)
        *GetParameterPath() = chosen.front();
    UpdateControls(false);
}

void CFileView::ResetAllParameters()
{
    CProjectManage* project = GetProject();
    if (project == nullptr ||
        ShowMessage(kStrResetParameters, {}, MessageButtons::OkCancel) != kMessageOk)
        return;
    const int step = std::max<int>(project->GetCurrentStep(), 0);
    const int mode = project->GetCompareMode();
    for (int slot = 1; slot <= CProjectManage::kStepCount; ++slot)
    {
        if (CBaseDoc* doc = project->GetDoc(slot))
            doc->Reset();
    }
    if (project->IsImageReady())
    {
        CSetupCallbackForViewChange progress(project, window(), step, false);
        project->ProcessToStep(step, mode, true);
    }
    NotifyRefresh();
}

void CFileView::OnEnterStep()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    if (project->GetCurrentStep() >= 0)
    {
        CSetupCallbackForViewChange progress(project, window(), m_reprocessStep, false);
        project->ProcessToStep(m_reprocessStep, project->GetCompareMode(), false);
    }
    UpdateSortMark();
    FillListRows();
}
