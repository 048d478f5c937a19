#pragma once
// One running CHROMIVEL per user. The first start holds a lock file and
// serves a local socket; a later start finds the lock held, connects to
// that socket, hands over its arguments (app/shell/ForwardMessage.h) and ends.
//
// The lock is taken before anything is probed, so that two starts close
// together cannot both see "nobody there" and both become the first: the
// lock file is created exclusively, and exactly one of them succeeds. A
// lock left behind by a crashed instance is stale (its process is gone)
// and QLockFile takes it over; the age of the lock never counts, since the
// first instance holds it for as long as it runs.
//
// Lock and socket live in the user's run-time folder ($XDG_RUNTIME_DIR),
// else in the per-user cache tree (~/.cache/Quillbrake/, mode 0700), never
// in the shared /tmp; the socket is made accessible to its user only. Both
// names carry the application name and the user ID.

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLocalServer;

// The folder of the lock and the socket, ending with '/'; created when it
// is the cache tree's.
QString InstanceFolder();
// <folder><application name> MUTEX-<uid>.lock
QString InstanceLockPath(const QString& applicationName);
// <folder><application name>-<uid>.socket
QString InstanceServerPath(const QString& applicationName);

// What a second start sends: its arguments in order, the program first;
// an argument that begins with "-" is a switch and goes as it is, any
// other is made absolute against the sender's working folder (the
// receiver has a working folder of its own).
std::vector<std::string> MakeForwardArguments(const QStringList& arguments,
                                              const QString& workingFolder);

class CSingleInstance : public QObject
{
public:
    enum class Start
    {
        First, // the lock is held (or could not be made at all): run
        Second // another instance holds it: forward and end
    };
    using RequestHandler = std::function<void(const std::vector<std::string>& arguments)>;

    explicit CSingleInstance(QString applicationName, QObject* parent = nullptr);
    ~CSingleInstance() override;
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Takes the lock; when this process is the first it starts serving at
    // once, so that a request arriving during the rest of the start-up
    // waits in the socket's queue. A lock file that cannot be made at all
    // (a folder without write access) does not stop the program: it runs
    // as the first, without the single-instance guard.
    Start Acquire();
    bool HoldsLock() const;
    bool IsServing() const;

    // Called with every well-formed request, in the order they complete.
    void SetRequestHandler(RequestHandler handler);

    // Second start: connects to the running instance, trying for about
    // connectMs (it may be starting still), sends the arguments (fitted to
    // the caps) and waits until every byte is written. False when no
    // instance answered or the bytes could not be written.
    bool Forward(const std::vector<std::string>& arguments, int connectMs = 1000) const;

    // Stops serving and releases the lock; nothing when not held.
    void Release();

private:
    void OnNewConnection();

    QString m_applicationName;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    RequestHandler m_handler;
    int m_openConnections = 0;
};
