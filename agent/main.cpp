// ZEPH, the tray agent: watches the monitor over DDC/CI and keeps a profile
// that matches its colour settings installed. It takes no arguments, runs
// until "終了" (Exit) in its tray menu, SIGINT, SIGTERM or SIGHUP, and uses
// the simulated monitor when QUILLBRAKE_SIMULATED_MONITORS names one.

#include "agent/ZephApp.h"
#include "platform/Folders.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZEPH"));
    platform::SetApplicationName("ZEPH");

    CZEPHApp agent;
    return agent.InitInstance();
}
