#include "app/shell/FrameShell.h"

#include "app/shell/ProgressAdapters.h"
#include "controls/dialogs/ProgDlg.h"

#include <QDesktopServices>
#include <QUrl>

#include <algorithm>

namespace {

class CProgDlgProgress final : public IProjectProgress
{
public:
    CProgDlgProgress(int captionId, QWidget* owner) : m_dialog(captionId, owner)
    {
        m_dialog.SetRange(0, 100);
        m_dialog.SetStep(1);
        m_dialog.Create();
        m_dialog.SetPos(0);
    }

    void SetPosition(int percent) override { m_dialog.SetPos(std::clamp(percent, 0, 100)); }

    bool TakeCancelRequest() override
    {
        const bool cancelled = m_dialog.Cancelled;
        m_dialog.Cancelled = false;
        return cancelled;
    }

private:
    CProgDlg m_dialog;
};

} // namespace

void CFrameShell::PumpMessages()
{
    ::PumpMessages();
}

std::unique_ptr<IProjectProgress> CFrameShell::OpenProgress(int captionStringId)
{
    return std::make_unique<CProgDlgProgress>(captionStringId, m_mainWindow);
}

bool CFrameShell::OpenWithDefaultApplication(const std::string& path)
{
    if (m_opener)
        return m_opener(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}
