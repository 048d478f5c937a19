// Lays out one model's data folder in the program data folder: copies the
// model ini and draws the picture of each manual step (001.jpg ...).
//
//   make_step_pictures <model ini> <output folder>
//
// The pictures are the program's own drawings of a monitor with its
// on-screen menu: step n shows the menu with row n marked and the button
// to press ringed, in a small JPEG. The count of steps is the ini's
// "Settings"/"Count". The ini is copied last, so a failed run leaves no
// copy that the build would take as up to date. Run with
// QT_QPA_PLATFORM=offscreen: no display is needed.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QSettings>

#include <cstdio>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kMenuRows = 4;

QImage DrawStep(int step, int count)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(QColor(236, 236, 232));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // The monitor: bezel, screen, stand and the row of front buttons.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(48, 48, 52));
    p.drawRoundedRect(QRectF(30, 20, 260, 168), 8, 8);
    p.drawRect(QRectF(145, 188, 30, 22));
    p.drawRoundedRect(QRectF(105, 208, 110, 10), 4, 4);
    p.setBrush(QColor(70, 110, 160));
    p.drawRect(QRectF(40, 30, 240, 140));
    const int pressed = step == 1 || step == count ? 0 : 1;
    for (int b = 0; b < 4; ++b)
    {
        const QPointF centre(214 + b * 18, 179);
        p.setBrush(QColor(200, 200, 200));
        p.drawEllipse(centre, 4, 4);
        if (b == pressed)
        {
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(230, 60, 40), 2));
            p.drawEllipse(centre, 8, 8);
            p.setPen(Qt::NoPen);
        }
    }

    // The on-screen menu with the step's row marked.
    p.setBrush(QColor(20, 20, 24, 220));
    p.drawRect(QRectF(60, 44, 130, 112));
    for (int r = 0; r < kMenuRows; ++r)
    {
        const QRectF row(66, 50 + r * 26, 118, 20);
        p.setBrush(r + 1 == step ? QColor(240, 170, 40) : QColor(90, 90, 100));
        p.drawRect(row);
    }

    // The step number on the screen.
    QFont font("DejaVu Sans");
    font.setPixelSize(44);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(255, 255, 255));
    p.drawText(QRectF(196, 44, 80, 112), Qt::AlignCenter, QString::number(step));
    p.end();
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: make_step_pictures <model ini> <output folder>\n");
        return 2;
    }
    const QString ini = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    if (!QDir().mkpath(out.path()))
    {
        std::fprintf(stderr, "cannot create %s\n", argv[2]);
        return 1;
    }
    const QSettings settings(ini, QSettings::IniFormat);
    const int count = settings.value("Settings/Count", 0).toInt();
    for (int step = 1; step <= count; ++step)
    {
        const QString name = out.filePath(QString::asprintf("%03d.jpg", step));
        if (!DrawStep(step, count).save(name, "JPEG", 80))
        {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    QFile source(ini);
    QFile copy(out.filePath(QFileInfo(ini).fileName()));
    if (!source.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        copy.write(source.readAll()) != source.size() || !copy.flush())
    {
        std::fprintf(stderr, "cannot copy %s\n", argv[1]);
        return 1;
    }
    return 0;
}
