#pragma once
// CBrowseDir: the folder chooser of the dialogs that ask for a folder.
//
// The owner sets the folder to open on, runs the chooser and reads the
// chosen path. The chooser itself is a function, the system's folder
// dialog unless a test puts its own in place, so that no test opens a real
// dialog.

#include <QString>

#include <functional>

class QWidget;

class CBrowseDir
{
public:
    // Asks for a folder: (owner window, title, folder to open on or empty)
    // -> the chosen folder, empty when the user cancelled.
    using FolderChooser =
        std::function<QString(QWidget* owner, const QString& title, const QString& initialFolder)>;

    // owner: the window the chooser is modal to; none makes it modal to the
    // whole application.
    explicit CBrowseDir(QWidget* owner = nullptr);

    QString Title;

    // The chooser opens on path when it names an existing folder; otherwise
    // it opens without one (an earlier initial folder is forgotten).
    void SetInitialFolder(const QString& path);
    QString InitialFolder() const { return m_initialFolder; }

    // Runs the chooser. True when a folder was chosen: GetFolderPath then
    // gives it; a cancel leaves the path as it was.
    bool Browse();

    // The chosen folder without its trailing '/'; the root stays "/".
    QString GetFolderPath() const;

    // Puts chooser in place of the system's folder dialog for every
    // CBrowseDir; an empty function restores the dialog. Returns the one
    // that was in place (empty for the dialog).
    static FolderChooser SetFolderChooser(FolderChooser chooser);

private:
    QWidget* m_owner;
    QString m_initialFolder;
    QString m_path;
};
