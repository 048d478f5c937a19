#include "app/panels/ViewCommon.h"

#include "controls/support/FileFilter.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/EditEx.h"
#include "core/IniFile.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "correction/BaseDoc.h"
#include "correction/ParamFile.h"

#include <QFileDialog>
#include <QWidget>

namespace {

CViewCommon::ParameterFileChooser& Chooser()
{
    static CViewCommon::ParameterFileChooser chooser;
    return chooser;
}

std::optional<QString> ShowOpenDialog(QWidget* owner, const QString& folder,
                                      const QString& fileName, const QString& filter)
{
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(LoadString(kStrParamFileExtension));
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front();
}

} // namespace

CViewCommon::CViewCommon(QWidget* owner) : m_owner(owner) {}

CViewCommon::~CViewCommon() = default;

void CViewCommon::Notify(PanelNotify code)
{
    // A panel that is its own window has not been placed in the frame yet.
    if (m_owner == nullptr || m_owner->window() == m_owner)
        return;
    m_notifier.sendNotify(static_cast<int>(code), 0);
}

bool CViewCommon::ImportParameters(const std::string& path)
{
    CBaseDoc* document = GetDocument();
    if (document == nullptr)
        return false;
    // The file is read into a copy first, so that a file that cannot be
    // read leaves the document and its undo state as they were.
    CParamFileReader file;
    std::unique_ptr<CBaseDoc> loaded = document->Clone();
    if (!file.Load(path) || !loaded->LoadParams(file))
    {
        ShowMessage(kStrParamFileNotFound, {}, MessageButtons::Ok, MessageIcon::Warning);
        return false;
    }
    SaveUndoState(*document);
    document->Assign(*loaded);
    OnDocumentReplaced();
    UpdateControls(false);
    ApplyDocument();
    return true;
}

void CViewCommon::Undo()
{
    CBaseDoc* document = GetDocument();
    if (document == nullptr || m_undoDoc == nullptr)
        return;
    m_redoDoc = document->Clone();
    document->Assign(*m_undoDoc);
    m_undoDoc.reset();
    UpdateControls(false);
    ApplyDocument();
    NotifyChanged();
}

void CViewCommon::Redo()
{
    CBaseDoc* document = GetDocument();
    if (document == nullptr || m_undoDoc != nullptr || m_redoDoc == nullptr)
        return;
    m_undoDoc = document->Clone();
    document->Assign(*m_redoDoc);
    m_redoDoc.reset();
    UpdateControls(false);
    ApplyDocument();
    NotifyChanged();
}

bool CViewCommon::UpdateControls(bool save)
{
    if (m_updating != 0)
        return true;
    if (save)
        return readControls();
    m_updating = 1;
    CStFlag guard(m_updating);
    writeControls();
    return true;
}

void CViewCommon::LoadSettings(const std::string& iniPath)
{
    const std::string section = GetSectionName();
    if (section.empty())
        return;
    const CIniFile ini(iniPath);
    SetPreview(ini.GetInt(section, "fPreview", GetPreview() ? 1 : 0) != 0);
}

int CViewCommon::BeginEdit()
{
    const int was = m_editing;
    m_editing = 1;
    return was;
}

void CViewCommon::SaveUndoState(const CBaseDoc& document)
{
    m_undoDoc = document.Clone();
    m_redoDoc.reset();
    NotifyChanged();
}

void CViewCommon::SyncData(bool toControls)
{
    if (m_dataValid == 0)
        return;
    if (toControls)
    {
        UpdateControls(false);
        return;
    }
    UpdateControls(true);
    DropUndoRedo();
}

void CViewCommon::DropUndoRedo()
{
    m_undoDoc.reset();
    m_redoDoc.reset();
}

std::optional<std::string> CViewCommon::ChooseParameterFile(const std::string& start) const
{
    const QString folder = QString::fromStdString(GetFolderFromPath(start));
    const QString fileName = QString::fromStdString(GetFileNameFromPath(start));
    const QString filter = FileDialogFilterFromTable(LoadString(kStrParamFileFilter));
    const std::optional<QString> chosen =
        Chooser() ? Chooser()(m_owner, folder, fileName, filter)
                  : ShowOpenDialog(m_owner, folder, fileName, filter);
    if (!chosen)
        return std::nullopt;
    return chosen->toStdString();
}

void CViewCommon::ImportParametersDialog()
{
    const std::string current = m_parameterPath != nullptr ? *m_parameterPath : std::string();
    const std::optional<std::string> path = ChooseParameterFile(current);
    if (!path)
        return;
    if (m_parameterPath != nullptr)
        *m_parameterPath = *path;
    ImportParameters(*path);
}

void CViewCommon::ResetParameters()
{
    CBaseDoc* document = GetDocument();
    if (document == nullptr)
        return;
    SaveUndoState(*document);
    document->Reset();
    UpdateControls(false);
    ApplyDocument();
}

void CViewCommon::SetEditIntQuiet(int value, CEditEx& edit)
{
    edit.NotifyEnabled = false;
    edit.SetInt(value);
    edit.NotifyEnabled = true;
}

void CViewCommon::SetEditRealQuiet(double value, CEditEx& edit)
{
    edit.NotifyEnabled = false;
    edit.SetDouble(value);
    edit.NotifyEnabled = true;
}

CViewCommon::ParameterFileChooser CViewCommon::SetParameterFileChooser(ParameterFileChooser chooser)
{
    ParameterFileChooser previous = std::move(Chooser());
    Chooser() = std::move(chooser);
    return previous;
}
