#include "controls/dialogs/BrowseDir.h"

#include "core/PathUtils.h"

#include <QFileDialog>
#include <QFileInfo>

#include <utility>

namespace {

CBrowseDir::FolderChooser& Chooser()
{
    static CBrowseDir::FolderChooser chooser;
    return chooser;
}

QString SystemFolderDialog(QWidget* owner, const QString& title, const QString& initialFolder)
{
    return QFileDialog::getExistingDirectory(owner, title, initialFolder,
                                             QFileDialog::ShowDirsOnly);
}

} // namespace

CBrowseDir::CBrowseDir(QWidget* owner)
    : Title(QStringLiteral("フォルダを選択してください。")), m_owner(owner)
{}

void CBrowseDir::SetInitialFolder(const QString& path)
{
    m_initialFolder.clear();
    if (!path.isEmpty() && QFileInfo(path).isDir())
        m_initialFolder = path;
}

bool CBrowseDir::Browse()
{
    const FolderChooser& chooser = Chooser();
    const QString chosen = chooser ? chooser(m_owner, Title, m_initialFolder)
                                   : SystemFolderDialog(m_owner, Title, m_initialFolder);
    if (chosen.isEmpty())
        return false;
    m_path = chosen;
    return true;
}

QString CBrowseDir::GetFolderPath() const
{
    return QString::fromStdString(RemoveBackslash(m_path.toStdString()));
}

CBrowseDir::FolderChooser CBrowseDir::SetFolderChooser(FolderChooser chooser)
{
    return std::exchange(Chooser(), std::move(chooser));
}
