#pragma once
// The agent's application object: one agent per user, a hidden dialog that
// does the work, and an event loop that runs until Exit.
//
// One agent per user: the agent holds a lock file in its folder
// ($XDG_CONFIG_HOME/Quillbrake/ZEPH/ZEPH.lock) for as long as it runs. A
// second agent started meanwhile finds it held and ends at once; a lock left
// by an agent that died is taken over (its process no longer exists).
//
// SIGINT, SIGTERM and SIGHUP end the agent as Exit does (a dialog open
// then is cancelled), so that the tray icon is removed and the lock
// released: on a desktop without a notification area they are the only way
// out.

#include "agent/ZephDlg.h"

#include <QLockFile>
#include <QString>

#include <memory>

// The lock of one agent: held (non-null) or already held by a running agent
// (null). path is the lock file's path; its folder must exist.
std::unique_ptr<QLockFile> AcquireAgentLock(const QString& path);

class CZEPHApp
{
public:
    // Exit codes of InitInstance.
    static constexpr int kExitOk = 0;
    // Another agent runs: this one ends without doing anything.
    static constexpr int kExitAlreadyRunning = 0;
    // The agent's folder cannot be made, so no lock can be taken.
    static constexpr int kExitNoFolder = 1;

    explicit CZEPHApp(ZephEnvironment environment = ZephEnvironment());

    // Runs the agent in the current QApplication until Exit, SIGINT,
    // SIGTERM or SIGHUP; returns at once when another agent is running.
    int InitInstance();

    // $XDG_CONFIG_HOME/Quillbrake/ZEPH/ZEPH.lock
    static QString LockFilePath();

private:
    ZephEnvironment m_environment;
};
