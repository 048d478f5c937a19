#pragma once
// The application shell's services to the project (IProjectShell): events
// pumped through PumpMessages, progress windows as CProgDlg over the main
// window, files opened with the desktop's default application.

#include "correction/ProjectServices.h"

#include <functional>
#include <memory>
#include <string>

class QWidget;

class CFrameShell final : public IProjectShell
{
public:
    // Opens a URL with the desktop; tests replace it. True when accepted.
    using Opener = std::function<bool(const std::string& path)>;

    explicit CFrameShell(QWidget* mainWindow) : m_mainWindow(mainWindow) {}

    void PumpMessages() override;
    std::unique_ptr<IProjectProgress> OpenProgress(int captionStringId) override;
    bool OpenWithDefaultApplication(const std::string& path) override;

    void SetOpener(Opener opener) { m_opener = std::move(opener); }

private:
    QWidget* m_mainWindow;
    Opener m_opener;
};
