#include "app/FileView.h"

#include "app/ChromivelApp.h"
#include "app/ProgressAdapters.h"
#include "controls/FileFilter.h"
#include "controls/FileTableCtrl.h"
#include "controls/SaveAlartDlg.h"
#include "controls/SaveImageFileDlg.h"
#include "controls/StringTable.h"
#include "core/ColorProfile.h"
#include "core/ErrorRecord.h"
#include "core/GlobalSettings.h"
#include "core/IniFile.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "correction/ProjectManage.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The list's sort key shown in each of the four columns.
constexpr int kColumnOfSortKey[kSortKeyCount] = {0, -1, 1, 2, 3};

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

CFileView::CFileView(QWidget* parent) : QWidget(parent), CViewCommon(this)
{
    m_registerFolder = GetPicturesFolder();
    m_listPath = GetDocumentsFolder();

    m_list = new CFileTableCtrl(this);
    m_list->setObjectName(QStringLiteral("1021"));
    m_list->InsertColumn(0, LoadString(kStrColumnNumber), Qt::AlignRight, 40);
    m_list->InsertColumn(1, LoadString(kStrColumnFileName), Qt::AlignLeft, 170);
    m_list->InsertColumn(2, LoadString(kStrColumnLut), Qt::AlignLeft, 100);
    m_list->InsertColumn(3, LoadString(kStrColumnPath), Qt::AlignLeft, 540);
    m_list->setNotifyMessage(1);
    connect(m_list, &CFileTableCtrl::notify, this, &CFileView::onListNotify);

    auto makeLabel = [this](const char* id) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(id));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };
    m_imageLabel = makeLabel("1027");
    m_inputSpaceLabel = makeLabel("1028");
    m_displaySpaceLabel = makeLabel("1030");
    m_workingSpaceLabel = makeLabel("1319");
    m_workingSpaceLabel->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_imageLabel);
    layout->addWidget(m_inputSpaceLabel);
    layout->addWidget(m_displaySpaceLabel);
    layout->addWidget(m_workingSpaceLabel);

    LoadSettings(GetIniFilePath());
    SetDataValid();
    RefreshList();
}

CFileView::~CFileView()
{
    SaveSettings(GetIniFilePath());
}

// ---- Settings

void CFileView::LoadSettings(const std::string& iniPath)
{
    const CIniFile ini(iniPath);
    const std::string section = GetSectionName();
    m_registerFolder = ini.GetString(section, "strResistPath", m_registerFolder);
    m_saveFolder = ini.GetString(section, "strSaveFilePath", "");
    m_saveFormat = ini.GetInt(section, "nSaveFormat", 0);
    if (m_saveFormat < 0 || m_saveFormat > 2)
        m_saveFormat = 0;
    m_jpegQuality = ini.GetInt(section, "nJpegQuality", 2);
    if (m_jpegQuality < 0 || m_jpegQuality > 4)
        m_jpegQuality = 2;
    m_listPath = ini.GetString(section, "strListPath", m_listPath);
}

void CFileView::SaveSettings(const std::string& iniPath)
{
    CIniFile ini(iniPath);
    const std::string section = GetSectionName();
    ini.SetString(section, "strResistPath", m_registerFolder);
    ini.SetString(section, "strListPath", m_listPath);
}

// ---- Labels

void CFileView::SetProfileLabel(const QString& text)
{
    m_displaySpaceLabel->setText(text);
}

void CFileView::SetImageText(const QString& text)
{
    m_imageLabel->setText(text);
}

void CFileView::SetInputColorSpaceText(const QString& text)
{
    m_inputSpaceLabel->setText(text);
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

void CFileView::writeControls()
{
    // The table's entries are written by FillListRows; the labels by their
    // setters. Nothing else is shown from members.
}

// ---- The list

void CFileView::SetZoomIndex(int index)
{
    m_zoomIndex = index;
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
    case 1:
        return true;
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
    if (key < 0 || key >= kSortKeyCount || kColumnOfSortKey[key] < 0)
        return;
    m_list->SortColumn = kColumnOfSortKey[key];
    m_list->SortFlag = project->GetSortDirection(key) == kSortAscending;
    m_list->RedrawHeader();
}

void CFileView::FillListRows()
{
    CFileTableModel* model = m_list->fileModel();
    CProjectManage* project = GetProject();
    const int shown = project ? static_cast<int>(project->GetShownCount()) : 0;
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
    m_list->RowCount = project ? static_cast<int>(project->GetCount()) : 0;
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

void CFileView::onListNotify(int /*message*/, int code, qint64 value)
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    const int row = static_cast<int>(value);
    switch (code)
    {
    case 0: // activated
    case 3: // moved to by keyboard
        ShowItem(row);
        break;
    case 1: // check boxes
        for (int r = 0; r < m_list->fileModel()->rowCount(); ++r)
        {
            const CImageFileInfo* shown = m_list->fileModel()->entry(r);
            if (shown == nullptr)
                continue;
            for (std::size_t i = 0; i < project->GetCount(); ++i)
            {
                if (&project->GetItem(i) == shown)
                    project->GetItem(i).m_check = m_list->fileModel()->isChecked(r) ? 1 : 0;
            }
        }
        project->SetListChanged(true);
        break;
    case 2: // heading
        if (project->GetShownCount() > 0 && value >= 0 && value < 4)
        {
            static constexpr int kKeyOfColumn[4] = {kSortByNumber, kSortByName, kSortByLut,
                                                     kSortByFolder};
            project->SetSortKey(kKeyOfColumn[value]);
            RefreshList();
        }
        break;
    default:
        break;
    }
}

void CFileView::ShowItem(int row)
{
    CProjectManage* project = GetProject();
    const CImageFileInfo* shown = m_list->fileModel()->entry(row);
    if (project == nullptr || shown == nullptr)
        return;
    int step = std::max<int>(project->GetCurrentStep(), 0);
    if (!project->GetWorkingProfile() || project->GetCurrentStep() < 0)
        step = 7;
    for (std::size_t i = 0; i < project->GetCount(); ++i)
    {
        if (&project->GetItem(i) == shown)
        {
            LoadImage(project->GetItem(i), step);
            return;
        }
    }
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
        ShowMessage(LoadFailureMessage(entry.m_state), {}, MessageButtons::Ok, MessageIcon::Error);
        return false;
    }
    m_currentImagePath = entry.m_path;
    return true;
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
    LoadColorSpaceProfiles();
    DetachRows();
    if (project != nullptr)
    {
        project->UnloadProject();
        project->OnMonitorProfileLoaded(GetMonitorProfile(), m_colorSpaceProfile.get(),
                                        m_sRGBProfile.get());
    }
    m_currentListFile.clear();
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
    m_list->setUpdatesEnabled(false);
    m_listPath = path;
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
    if (answer == CSaveAlartDlg::kSave)
    {
        SaveListAs();
        return true;
    }
    return answer == CSaveAlartDlg::kDontSave;
}

std::vector<std::string> CFileView::Choose(FileDialogKind kind, const std::string& start,
                                           const QString& filter)
{
    if (m_chooser)
        return m_chooser(kind, start, filter);
    QFileDialog dialog(window());
    dialog.setNameFilter(filter);
    switch (kind)
    {
    case FileDialogKind::OpenImages:
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setDirectory(Text(start));
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
    }
    if (kind != FileDialogKind::OpenImages)
    {
        dialog.setDirectory(Text(GetFolderFromPath(start)));
        dialog.selectFile(Text(GetFileNameFromPath(start)));
    }
    std::vector<std::string> chosen;
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
        Choose(FileDialogKind::SaveList, m_listPath,
               FileDialogFilterFromTable(LoadString(kStrListFileFilter)));
    if (chosen.empty())
        return false;
    if (!project->SaveListFile(chosen.front()))
        return false;
    m_listPath = chosen.front();
    m_currentListFile = chosen.front();
    UpdateControls(false);
    NotifyRefresh();
    return true;
}

void CFileView::OnFileOpen()
{
    const std::vector<std::string> chosen =
        Choose(FileDialogKind::OpenImages, m_registerFolder,
               FileDialogFilterFromTable(LoadString(kStrImageFileFilter)));
    if (chosen.empty())
        return;
    m_registerFolder = chosen.size() == 1 ? chosen.front() : GetFolderFromPath(chosen.front());
    {
        CRecordErrorFile record;
        if (m_addFiles)
            m_addFiles(chosen, true);
    }
    ShowErrorFiles();
}

void CFileView::OnFolderOpen()
{
    const QString folder = QFileDialog::getExistingDirectory(
        window(), QString(), Text(GetFolderFromPath(m_registerFolder)));
    if (folder.isEmpty())
        return;
    m_registerFolder = AddBackslash(folder.toStdString());
    std::vector<std::string> files;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
    {
        const std::string path = dir.filePath(name).toStdString();
        if (IsJpegName(path))
            files.push_back(path);
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
        Choose(FileDialogKind::OpenList, m_listPath,
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
    m_saveFolder = GetFolderFromPath(path);
    m_saveFormat = format;
    m_jpegQuality = quality;
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
        ShowMessage(kStrParamFileNotFound);
        return false;
    }
    if (project->GetWorkingProfile() && project->GetCurrentStep() >= 0)
    {
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
    if (project->SaveParamFile(chosen.front()) && GetParameterPath() != nullptr)
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
    if (project->GetWorkingProfile() && project->GetCurrentStep() >= 0)
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
