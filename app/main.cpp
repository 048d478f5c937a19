// CHROMIVEL: the main window over the process-wide tables, settings and
// monitor profile.

#include "app/MainFrame.h"
#include "controls/QtMessageSink.h"
#include "core/ColorProfile.h"
#include "core/GlobalSettings.h"
#include "core/Pow1by3Table.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "imagefile/ImageFileInfo.h"
#include "platform/Folders.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("CHROMIVEL"));
    platform::SetApplicationName("CHROMIVEL");
    QtMessageSink messages;
    ScopedMessageSink messageSink(messages);

    LoadGlobalSettings();
    GetPow1by3Table();
    EnsureSRGBProfileInstalled();
    InitMonitorProfile();

    CommandLineFiles files;
    const QStringList arguments = QApplication::arguments();
    for (int i = 1; i < arguments.size(); ++i)
        files.paths.push_back(QFileInfo(arguments[i]).absoluteFilePath().toStdString());

    MainFrameOptions options;
    options.commandLine = [files] { return files; };
    CMainFrame frame(std::move(options));
    frame.show();
    const int code = application.exec();
    FreeMonitorProfile();
    return code;
}
