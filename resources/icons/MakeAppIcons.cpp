// Draws the program's icon into an icon theme folder for the desktop:
//
//   make_app_icons <output folder>
//
// writes <output folder>/hicolor/<N>x<N>/apps/chromivel.png for every side
// the program's own icon has (the drawing of controls/art, the one its
// windows show), so that the desktop entry's Icon=chromivel finds it once
// installed. Each file is written in one piece; the largest one last, so a
// failed run leaves no file the build would take as up to date. Run with
// QT_QPA_PLATFORM=offscreen: no display is needed.

#include "controls/art/ResourceArt.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QSaveFile>
#include <QString>

#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication application(argc, argv);
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: make_app_icons <output folder>\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (const int side : kApplicationIconSides)
    {
        const QString folder =
            QStringLiteral("%1/hicolor/%2x%2/apps").arg(root).arg(side);
        if (!QDir().mkpath(folder))
        {
            std::fprintf(stderr, "make_app_icons: cannot create %s\n", qPrintable(folder));
            return 1;
        }
        QSaveFile file(folder + QStringLiteral("/chromivel.png"));
        if (!file.open(QIODevice::WriteOnly) ||
            !MakeApplicationIconImage(side).save(&file, "PNG") || !file.commit())
        {
            std::fprintf(stderr, "make_app_icons: cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    return 0;
}
