// The main window's toolbar buttons, 24 x 24 each on a transparent ground,
// drawn in the manner of the file-list panel's buttons (dark ink outlines,
// one colour per picture): opening a folder, saving the image, printing it,
// the index print, each correction step and the batch. Opening files and
// the preferences show the panel's own pictures.

#include "controls/art/ResourceArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

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
        QPainterPath head;
        head.moveTo(17, 17.5);
        head.lineTo(22, 21);
        head.lineTo(17, 24);
        head.closeSubpath();
        p.drawPath(head);
    });
}
