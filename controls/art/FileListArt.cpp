// The buttons of the file-list panel, 24 x 24 each on a transparent
// ground: registering and removing images, loading and saving the list,
// stepping through it, the full-screen view and the slide show, the
// preferences, the manual, the about box and the monitor wizard. Dark ink
// outlines with one colour per picture, so that the row of buttons reads
// at a glance. The main window's toolbar buttons are drawn alike: opening
// a folder, saving the image, printing it, the index print, each
// correction step and the batch (opening files and the preferences show
// the panel's own pictures).

#include "controls/art/ResourceArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>
#include <initializer_list>

namespace {

// A closed outline through the points, drawn with the painter's pen and
// filled with its brush.
void FillOutline(QPainter& painter, std::initializer_list<QPointF> points)
{
    QPainterPath path;
    auto it = points.begin();
    path.moveTo(*it);
    for (++it; it != points.end(); ++it)
        path.lineTo(*it);
    path.closeSubpath();
    painter.drawPath(path);
}

constexpr int kSide = 24;
const QColor kInk(0x30, 0x30, 0x30);
const QColor kPaper(0xFA, 0xFA, 0xFA);

template <typename Draw> QIcon Picture(Draw draw)
{
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    draw(painter);
    painter.end();
    return QIcon(pixmap);
}

// A small landscape, sky and green hills, filling `area`.
void DrawLandscape(QPainter& painter, const QRectF& area)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x70, 0xA8, 0xE0));
    painter.drawRect(area);
    painter.setBrush(QColor(0x50, 0x90, 0x40));
    const double x = area.left();
    const double y = area.top();
    const double w = area.width();
    const double h = area.height();
    FillOutline(painter, {{x, y + h},
                          {x + w * 0.39, y + h * 0.3},
                          {x + w * 0.72, y + h * 0.8},
                          {x + w, y + h * 0.4},
                          {x + w, y + h}});
    painter.restore();
}

// A sheet with a folded corner: an image file.
void DrawSheet(QPainter& painter)
{
    painter.setPen(QPen(kInk, 1));
    painter.setBrush(kPaper);
    FillOutline(painter, {{4.5, 2.5}, {13.5, 2.5}, {17.5, 6.5}, {17.5, 21.5}, {4.5, 21.5}});
    painter.drawLine(QPointF(13.5, 2.5), QPointF(13.5, 6.5));
    painter.drawLine(QPointF(13.5, 6.5), QPointF(17.5, 6.5));
    DrawLandscape(painter, QRectF(6.5, 9, 9, 5));
}

// A round badge with a sign, at the lower right.
void DrawBadge(QPainter& painter, const QColor& colour, bool plus)
{
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(colour);
    painter.drawEllipse(QPointF(17, 17), 6, 6);
    painter.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(13.5, 17), QPointF(20.5, 17));
    if (plus)
        painter.drawLine(QPointF(17, 13.5), QPointF(17, 20.5));
}

// A triangle pointing left or right with a bar at its tip.
void DrawStep(QPainter& painter, bool next)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x20, 0x60, 0xC0));
    QPainterPath path;
    const double tip = next ? 17 : 7;
    const double base = next ? 6 : 18;
    path.moveTo(base, 5);
    path.lineTo(tip, 12);
    path.lineTo(base, 19);
    path.closeSubpath();
    painter.drawPath(path);
    painter.setBrush(kInk);
    painter.drawRect(QRectF(next ? 17 : 4.5, 5, 2.5, 14));
}

// A screen (monitor face) on its foot.
void DrawScreen(QPainter& painter, const QColor& face)
{
    painter.setPen(QPen(kInk, 1));
    painter.setBrush(kInk);
    painter.drawRect(QRectF(2.5, 3.5, 19, 14));
    painter.setPen(Qt::NoPen);
    painter.setBrush(face);
    painter.drawRect(QRectF(4, 5, 16, 11));
    painter.setBrush(kInk);
    painter.drawRect(QRectF(10, 17.5, 4, 2.5));
    painter.drawRect(QRectF(7, 20, 10, 1.5));
}

// The letter in a coloured disc (help, about).
void DrawLetterDisc(QPainter& painter, const QColor& colour, const QString& letter)
{
    painter.setPen(QPen(kInk, 1));
    painter.setBrush(colour);
    painter.drawEllipse(QPointF(12, 12), 9.5, 9.5);
    QFont font;
    font.setPixelSize(15);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, kSide, kSide), Qt::AlignCenter, letter);
}

// An open folder, drawn in two parts: what it holds goes between them.
void DrawFolderBack(QPainter& p)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(0xE8, 0xC0, 0x50));
    FillOutline(p, {{2.5, 8.5}, {8.5, 8.5}, {10.5, 10.5}, {18.5, 10.5}, {18.5, 20.5}, {2.5, 20.5}});
}

void DrawFolderFront(QPainter& p)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(0xF4, 0xD8, 0x78));
    FillOutline(p, {{2.5, 20.5}, {6.5, 13.5}, {22.5, 13.5}, {18.5, 20.5}});
}

// A diskette with a blank label.
void DrawDiskette(QPainter& p)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(0x30, 0x50, 0x90));
    FillOutline(p, {{3.5, 3.5}, {18.5, 3.5}, {20.5, 5.5}, {20.5, 20.5}, {3.5, 20.5}});
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xD0, 0xD0, 0xD0));
    p.drawRect(QRectF(7, 3.5, 9, 6));
    p.setBrush(kInk);
    p.drawRect(QRectF(13, 4.5, 2, 4));
    p.setBrush(kPaper);
    p.drawRect(QRectF(6, 12.5, 12, 8));
}

// A printer seen from the front, with a sheet standing out of its top; the
// sheet's face is drawn by `face` into the part that shows.
template <typename Face> void DrawPrinter(QPainter& p, Face face)
{
    const QRectF sheet(6.5, 2.5, 11, 10);
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(sheet);
    face(p, sheet.adjusted(1.5, 1.5, -1.5, -1));
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(0x90, 0x98, 0xA8));
    p.drawRoundedRect(QRectF(2.5, 10.5, 19, 8), 1.5, 1.5);
    p.setBrush(QColor(0x60, 0x68, 0x78));
    p.drawRect(QRectF(5.5, 16.5, 13, 5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x40, 0xC0, 0x40));
    p.drawEllipse(QPointF(18.5, 13), 1.2, 1.2);
}

} // namespace

QIcon MakeAddFilesIcon()
{
    return Picture([](QPainter& p) {
        DrawSheet(p);
        DrawBadge(p, QColor(0x2E, 0x9A, 0x3A), true);
    });
}

QIcon MakeDeleteFilesIcon()
{
    return Picture([](QPainter& p) {
        DrawSheet(p);
        DrawBadge(p, QColor(0xC8, 0x30, 0x30), false);
    });
}

// Three sliders with their knobs at different places.
QIcon MakePreferencesIcon()
{
    return Picture([](QPainter& p) {
        static constexpr std::array<double, 3> knobs = {8, 15, 11};
        for (int i = 0; i < 3; ++i)
        {
            const double y = 6 + 6 * i;
            p.setPen(QPen(kInk, 1.5));
            p.drawLine(QPointF(3, y), QPointF(21, y));
            p.setPen(QPen(kInk, 1));
            p.setBrush(QColor(0xE0, 0x90, 0x30));
            p.drawRect(QRectF(knobs[static_cast<std::size_t>(i)] - 2, y - 3, 4, 6));
        }
    });
}

QIcon MakeAboutIcon()
{
    return Picture(
        [](QPainter& p) { DrawLetterDisc(p, QColor(0x20, 0x60, 0xC0), QStringLiteral("i")); });
}

QIcon MakeNextImageIcon()
{
    return Picture([](QPainter& p) { DrawStep(p, true); });
}

QIcon MakePreviousImageIcon()
{
    return Picture([](QPainter& p) { DrawStep(p, false); });
}

// A screen with four arrows pointing into its corners.
QIcon MakeFullScreenIcon()
{
    return Picture([](QPainter& p) {
        DrawScreen(p, QColor(0x70, 0xA8, 0xE0));
        p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::FlatCap));
        const std::array<QPointF, 4> corners = {QPointF(5.5, 6.5), QPointF(18.5, 6.5),
                                                QPointF(5.5, 14.5), QPointF(18.5, 14.5)};
        for (const QPointF& c : corners)
        {
            const double dx = c.x() < 12 ? 1 : -1;
            const double dy = c.y() < 10 ? 1 : -1;
            p.drawLine(c, c + QPointF(3.5 * dx, 0));
            p.drawLine(c, c + QPointF(0, 2.5 * dy));
        }
    });
}

// A screen showing a play sign.
QIcon MakeSlideShowIcon()
{
    return Picture([](QPainter& p) {
        DrawScreen(p, QColor(0x50, 0x90, 0x40));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        FillOutline(p, {{10, 7}, {15.5, 10.5}, {10, 14}});
    });
}

// An open folder with an arrow coming out of it.
QIcon MakeLoadListIcon()
{
    return Picture([](QPainter& p) {
        DrawFolderBack(p);
        DrawFolderFront(p);
        p.setPen(QPen(QColor(0x20, 0x60, 0xC0), 2, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(15, 10), QPointF(15, 3));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x20, 0x60, 0xC0));
        FillOutline(p, {{11.5, 5.5}, {15, 1.5}, {18.5, 5.5}});
    });
}

// A diskette: shutter at the top, label below.
QIcon MakeSaveListIcon()
{
    return Picture([](QPainter& p) {
        DrawDiskette(p);
        p.setPen(QPen(QColor(0x90, 0x90, 0x90), 1));
        p.drawLine(QPointF(7.5, 15.5), QPointF(16.5, 15.5));
        p.drawLine(QPointF(7.5, 18), QPointF(16.5, 18));
    });
}

QIcon MakeHelpIcon()
{
    return Picture(
        [](QPainter& p) { DrawLetterDisc(p, QColor(0x2E, 0x9A, 0x3A), QStringLiteral("?")); });
}

// A screen with three colour bars: adjusting the monitor's colour.
QIcon MakeMonitorWizardIcon()
{
    return Picture([](QPainter& p) {
        DrawScreen(p, Qt::white);
        p.setPen(Qt::NoPen);
        const std::array<QColor, 3> bars = {QColor(0xD0, 0x30, 0x30), QColor(0x30, 0xA0, 0x30),
                                            QColor(0x30, 0x50, 0xD0)};
        for (std::size_t i = 0; i < bars.size(); ++i)
        {
            const double height = 4 + 2.5 * static_cast<double>(i);
            p.setBrush(bars[i]);
            p.drawRect(QRectF(5.5 + 5 * static_cast<double>(i), 15.5 - height, 3.5, height));
        }
    });
}

// An open folder with a picture in it.
QIcon MakeOpenFolderIcon()
{
    return Picture([](QPainter& p) {
        DrawFolderBack(p);
        p.setPen(QPen(kInk, 1));
        p.setBrush(kPaper);
        p.drawRect(QRectF(7.5, 4.5, 11, 9));
        DrawLandscape(p, QRectF(8.5, 5.5, 9, 7));
        DrawFolderFront(p);
    });
}

// The diskette with a picture on its label.
QIcon MakeSaveImageIcon()
{
    return Picture([](QPainter& p) {
        DrawDiskette(p);
        DrawLandscape(p, QRectF(7, 13.5, 10, 6));
    });
}

// The printer printing one picture.
QIcon MakePrintIcon()
{
    return Picture([](QPainter& p) {
        DrawPrinter(p, [](QPainter& q, const QRectF& face) { DrawLandscape(q, face); });
    });
}

// The printer printing a sheet of small pictures, two by two.
QIcon MakeIndexPrintIcon()
{
    return Picture([](QPainter& p) {
        DrawPrinter(p, [](QPainter& q, const QRectF& face) {
            const double w = (face.width() - 1) / 2;
            const double h = (face.height() - 1) / 2;
            for (int i = 0; i < 4; ++i)
            {
                const double x = face.left() + (i % 2) * (w + 1);
                const double y = face.top() + (i / 2) * (h + 1);
                DrawLandscape(q, QRectF(x, y, w, h));
            }
        });
    });
}

// The step's progress picture half as large again, so that all the
// toolbar's buttons are one size.
QIcon MakeStepCommandIcon(StepPicture step)
{
    return Picture([step](QPainter& p) {
        p.scale(kSide / 16.0, kSide / 16.0);
        DrawStepPicture(p, step);
    });
}

// Three pictures stacked, and an arrow through them: every marked image
// processed in one run.
QIcon MakeBatchIcon()
{
    return Picture([](QPainter& p) {
        for (int i = 2; i >= 0; --i)
        {
            const QRectF sheet(2.5 + 3 * i, 2.5 + 3 * i, 12, 10);
            p.setPen(QPen(kInk, 1));
            p.setBrush(kPaper);
            p.drawRect(sheet);
            DrawLandscape(p, sheet.adjusted(1.5, 1.5, -1, -1));
        }
        p.setPen(QPen(QColor(0xE0, 0x80, 0x20), 2.2, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(3, 21), QPointF(18, 21));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xE0, 0x80, 0x20));
        FillOutline(p, {{17, 17.5}, {22, 21}, {17, 24}});
    });
}
