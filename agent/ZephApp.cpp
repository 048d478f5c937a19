#include "agent/ZephApp.h"

#include "agent/AgentSettings.h"
#include "agent/ColorManagerFollower.h"
#include "platform/Folders.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QPointer>
#include <QSocketNotifier>

#include <cstdio>
#include <memory>

namespace {

// Closes every dialog that is shown, as its close box does.
void CancelOpenDialogs()
{
    QList<QPointer<QWidget>> open;
    for (QWidget* widget : QApplication::topLevelWidgets())
    {
        if (widget->isVisible() && qobject_cast<QDialog*>(widget) != nullptr)
            open.append(widget);
    }
    for (const QPointer<QWidget>& widget : open)
    {
        if (widget)
            widget->close();
    }
}

} // namespace

std::unique_ptr<QLockFile> AcquireAgentLock(const QString& path)
{
    auto lock = std::make_unique<QLockFile>(path);
    // An agent runs for days: age never makes its lock stale, only the end
    // of the process that holds it does.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}

CZEPHApp::CZEPHApp(ZephEnvironment environment) : m_environment(std::move(environment)) {}

QString CZEPHApp::LockFilePath()
{
    return QString::fromStdString(AgentFolder() + "ZEPH.lock");
}

int CZEPHApp::InitInstance()
{
    // The agent has no window: closing a message box must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    if (!platform::EnsureFolder(AgentFolder()))
    {
        std::fprintf(stderr, "ZEPH: cannot create %s\n", AgentFolder().c_str());
        return kExitNoFolder;
    }
    const std::unique_ptr<QLockFile> lock = AcquireAgentLock(LockFilePath());
    if (!lock)
    {
        std::fprintf(stderr, "ZEPH is already running.\n");
        return kExitAlreadyRunning;
    }

    CZEPHDlg dialog(m_environment);
    QEventLoop loop;
    QObject::connect(&dialog, &CZEPHDlg::exitRequested, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    // SIGINT, SIGTERM and SIGHUP end the agent as Exit does, from the
    // event loop. A dialog open then (the profile settings) is cancelled,
    // so that its own loop returns and the agent's can end.
    platform::TerminationSignals termination;
    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (termination.Descriptor() >= 0)
    {
        signalNotifier =
            std::make_unique<QSocketNotifier>(termination.Descriptor(), QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &dialog,
                         [&termination, &dialog] {
                             if (termination.Take() == 0)
                                 return;
                             CancelOpenDialogs();
                             dialog.OnExit();
                         });
    }

    // A colord that starts again while the agent runs gets the displays'
    // profiles back from it.
    const CColorManagerFollower colorManager;

    dialog.OnInitDialog();
    loop.exec();
    return kExitOk;
}
