// A second CHROMIVEL process for the single-instance tests, run with the
// test's private folders in its environment.
//
//   app_instance_helper start <marker> [argument...]
//       starts as the program does (CChromivelApp::InitInstance with the
//       arguments, the helper's own path first); a main window, if one is
//       ever made, writes the marker file. Exits with the start's code.
//   app_instance_helper crash-holding-lock <application name>
//       takes the instance lock and serves, then ends at once without
//       releasing anything, as a crashed instance would.

#include "app/shell/ChromivelApp.h"
#include "app/shell/SingleInstance.h"

#include <QApplication>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 64;
    QApplication application(argc, argv);
    const QStringList all = QApplication::arguments();

    if (std::strcmp(argv[1], "crash-holding-lock") == 0)
    {
        CSingleInstance instance(all.at(2));
        const bool first = instance.Acquire() == CSingleInstance::Start::First &&
                           instance.HoldsLock() && instance.IsServing();
        std::fflush(nullptr);
        std::_Exit(first ? 0 : 2);
    }
    if (std::strcmp(argv[1], "start") == 0)
    {
        const QString marker = all.at(2);
        QStringList arguments{all.at(0)};
        arguments += all.mid(3);
        CChromivelApp& app = CChromivelApp::Instance();
        const bool running = app.InitInstance(arguments, [&marker] {
            QFile file(marker);
            file.open(QIODevice::WriteOnly);
            return new QWidget;
        });
        if (running)
        {
            app.ExitInstance();
            return 3; // became the first instance: not what the test set up
        }
        return app.ExitInstance();
    }
    return 64;
}
