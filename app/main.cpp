// CHROMIVEL: the application object starts the process (or hands its
// arguments to the instance already running) and has the main window made.

#include "app/shell/ChromivelApp.h"
#include "app/shell/EndOnSignal.h"
#include "app/shell/MainFrame.h"
#include "app/shell/X11DisplayProfile.h"
#include "controls/support/QtTranslations.h"
#include "platform/ColorDirectory.h"

#include <QApplication>

#include <memory>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    InstallQtTranslations();
    // SIGINT, SIGTERM and SIGHUP end the program the way out below, as
    // closing the main window does, without its questions.
    CEndOnSignal endOnSignal;
    // The X11 desktop's profile of the main window's screen, asked for when
    // the monitor profile is loaded (nothing on other platforms).
    InstallX11DisplayProfileHook();
    // The desktop's colour settings (colord's default profile of the
    // window's output) come before the program's own association store.
    platform::SetColorManagerLookup(true);
    CChromivelApp& app = CChromivelApp::Instance();
    std::unique_ptr<CMainFrame> frame;
    const bool started =
        app.InitInstance(QApplication::arguments(), [&app, &frame]() -> QWidget* {
            MainFrameOptions options;
            options.application = &app;
            options.onUseOsCmmForced = [&app] { app.NoteUseOsCmmForced(); };
            frame = std::make_unique<CMainFrame>(std::move(options));
            return frame.get();
        });
    if (started && !endOnSignal.IsRequested())
        QApplication::exec();
    frame.reset();
    return app.ExitInstance();
}
