#include "app/shell/SingleInstance.h"

#include "app/shell/ForwardMessage.h"
#include "platform/Folders.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// A connection that has not delivered its message by then is dropped: a
// second start sends everything at once.
constexpr int kConnectionMs = 10000;
// Connections served at the same time; more are closed at once.
constexpr int kMaxOpenConnections = 16;
// How long a second start waits for its bytes to be taken.
constexpr int kWriteMs = 10000;
// Pause between two connection attempts while the first instance starts.
constexpr int kRetryPauseMs = 50;

QString UserSuffix()
{
    return QStringLiteral("-") + QString::number(platform::CurrentUserId());
}

} // namespace

QString InstanceFolder()
{
    std::string folder = platform::RuntimeHome();
    if (folder.empty())
    {
        folder = platform::CacheHome() + platform::kMakerName + "/";
        platform::EnsureFolder(folder);
    }
    return QString::fromStdString(folder);
}

QString InstanceLockPath(const QString& applicationName)
{
    return InstanceFolder() + applicationName + QStringLiteral(" MUTEX") + UserSuffix() +
           QStringLiteral(".lock");
}

QString InstanceServerPath(const QString& applicationName)
{
    return InstanceFolder() + applicationName + UserSuffix() + QStringLiteral(".socket");
}

std::vector<std::string> MakeForwardArguments(const QStringList& arguments,
                                              const QString& workingFolder)
{
    const QDir folder(workingFolder);
    std::vector<std::string> result;
    result.reserve(static_cast<std::size_t>(arguments.size()));
    for (const QString& argument : arguments)
    {
        if (argument.startsWith(QLatin1Char('-')) || argument.isEmpty())
            result.push_back(argument.toStdString());
        else
            result.push_back(folder.absoluteFilePath(argument).toStdString());
    }
    return result;
}

CSingleInstance::CSingleInstance(QString applicationName, QObject* parent)
    : QObject(parent), m_applicationName(std::move(applicationName))
{
}

CSingleInstance::~CSingleInstance()
{
    Release();
}

CSingleInstance::Start CSingleInstance::Acquire()
{
    if (m_lock)
        return Start::First;
    auto lock = std::make_unique<QLockFile>(InstanceLockPath(m_applicationName));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
    {
        if (lock->error() == QLockFile::LockFailedError)
            return Start::Second;
        qWarning("CHROMIVEL: the instance lock %s cannot be made; running without it",
                 qPrintable(InstanceLockPath(m_applicationName)));
        return Start::First;
    }
    m_lock = std::move(lock);

    // Only the holder of the lock serves, so a socket file that is there
    // now was left by a crashed instance.
    const QString path = InstanceServerPath(m_applicationName);
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] { OnNewConnection(); });
    if (!m_server->listen(path))
    {
        qWarning("CHROMIVEL: cannot serve %s: %s", qPrintable(path),
                 qPrintable(m_server->errorString()));
        delete m_server;
        m_server = nullptr;
    }
    return Start::First;
}

bool CSingleInstance::HoldsLock() const
{
    return m_lock != nullptr;
}

bool CSingleInstance::IsServing() const
{
    return m_server != nullptr && m_server->isListening();
}

void CSingleInstance::SetRequestHandler(RequestHandler handler)
{
    m_handler = std::move(handler);
}

void CSingleInstance::OnNewConnection()
{
    while (m_server != nullptr && m_server->hasPendingConnections())
    {
        QLocalSocket* socket = m_server->nextPendingConnection();
        if (m_openConnections >= kMaxOpenConnections)
        {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_openConnections;

        struct Connection
        {
            std::string received;
            bool finished = false;
        };
        auto state = std::make_shared<Connection>();
        const auto finish = [this, socket, state] {
            if (state->finished)
                return;
            state->finished = true;
            --m_openConnections;
            socket->abort();
            socket->deleteLater();
        };
        const auto take = [this, socket, state, finish] {
            if (state->finished)
                return;
            const QByteArray bytes = socket->readAll();
            state->received.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
            std::vector<std::string> arguments;
            switch (DecodeForwardMessage(state->received, arguments))
            {
            case ForwardDecode::Incomplete:
                return;
            case ForwardDecode::Malformed:
                finish();
                return;
            case ForwardDecode::Complete:
                finish();
                if (m_handler)
                    m_handler(arguments);
                return;
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, take);
        // What is still buffered counts; a message cut short does not.
        connect(socket, &QLocalSocket::disconnected, this, [take, finish] {
            take();
            finish();
        });
        QTimer::singleShot(kConnectionMs, socket, finish);
        if (socket->bytesAvailable() > 0)
            take();
    }
}

bool CSingleInstance::Forward(const std::vector<std::string>& arguments, int connectMs) const
{
    const std::optional<std::string> message = EncodeForwardMessage(FitForwardArguments(arguments));
    if (!message)
        return false;

    const QString path = InstanceServerPath(m_applicationName);
    QLocalSocket socket;
    const QDeadlineTimer connectDeadline(std::max(connectMs, 0));
    for (;;)
    {
        socket.connectToServer(path);
        if (socket.waitForConnected(static_cast<int>(connectDeadline.remainingTime())))
            break;
        socket.abort();
        if (connectDeadline.hasExpired())
            return false;
        QThread::msleep(static_cast<unsigned long>(
            std::min<qint64>(kRetryPauseMs, connectDeadline.remainingTime())));
    }

    if (socket.write(message->data(), static_cast<qint64>(message->size())) !=
        static_cast<qint64>(message->size()))
        return false;
    const QDeadlineTimer writeDeadline(kWriteMs);
    while (socket.bytesToWrite() > 0)
    {
        if (writeDeadline.hasExpired() ||
            !socket.waitForBytesWritten(static_cast<int>(writeDeadline.remainingTime())))
            return false;
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(1000);
    return true;
}

void CSingleInstance::Release()
{
    if (m_server != nullptr)
    {
        // Connections still open go with their server, unheard.
        for (QLocalSocket* socket : m_server->findChildren<QLocalSocket*>())
            socket->disconnect(this);
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    if (m_lock)
    {
        m_lock->unlock();
        m_lock.reset();
    }
}
