#include "agent/ZephApp.h"

#include "agent/AgentSettings.h"
#include "platform/Folders.h"

#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end of the signal pipe of the running agent (-1: none).
volatile std::sig_atomic_t g_signalFd = -1;

extern "C" void OnTerminationSignal(int)
{
    const int fd = g_signalFd;
    if (fd < 0)
        return;
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a request to end: nothing is lost.
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    errno = savedErrno;
}

// Turns SIGINT and SIGTERM into a call on the event loop's thread: a signal
// handler may do next to nothing, so it writes one byte into a socket pair
// whose other end the event loop watches. The signals' previous handlers
// are put back on destruction.
class CStTerminationSignals
{
public:
    template <typename Slot> explicit CStTerminationSignals(Slot&& onSignal)
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds.data()) != 0)
        {
            m_fds = {-1, -1};
            return;
        }
        m_notifier = std::make_unique<QSocketNotifier>(m_fds[1], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                         [this, slot = std::forward<Slot>(onSignal)] {
                             char buffer[16];
                             while (::read(m_fds[1], buffer, sizeof buffer) > 0)
                             {}
                             slot();
                         });
        g_signalFd = m_fds[0];

        struct sigaction action = {};
        action.sa_handler = OnTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        m_installed = ::sigaction(SIGINT, &action, &m_oldInt) == 0 &&
                      ::sigaction(SIGTERM, &action, &m_oldTerm) == 0;
    }

    ~CStTerminationSignals()
    {
        if (m_installed)
        {
            ::sigaction(SIGINT, &m_oldInt, nullptr);
            ::sigaction(SIGTERM, &m_oldTerm, nullptr);
        }
        g_signalFd = -1;
        m_notifier.reset();
        for (const int fd : m_fds)
        {
            if (fd >= 0)
                ::close(fd);
        }
    }

    CStTerminationSignals(const CStTerminationSignals&) = delete;
    CStTerminationSignals& operator=(const CStTerminationSignals&) = delete;

private:
    std::array<int, 2> m_fds{-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_oldInt = {};
    struct sigaction m_oldTerm = {};
    bool m_installed = false;
};

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
    const CStTerminationSignals termination([&dialog] { dialog.OnExit(); });

    dialog.OnInitDialog();
    loop.exec();
    return kExitOk;
}
