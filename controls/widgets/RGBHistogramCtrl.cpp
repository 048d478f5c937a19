#include "controls/widgets/RGBHistogramCtrl.h"

#include "controls/support/ColorRef.h"
#include "controls/widgets/GraphLogic.h"

#include <QMouseEvent>

#include <algorithm>

namespace {

// A column of `length` pixels rising from row `bottom`, or'ed into the
// picture.
void MergeColumn(QImage& picture, int x, int bottom, int length, QRgb color)
{
    for (int y = bottom; y > bottom - length && y >= 0; --y)
        picture.setPixel(x, y, picture.pixel(x, y) | color);
}

std::uint32_t CountAt(std::span<const std::uint32_t> counts, int i)
{
    return static_cast<std::size_t>(i) < counts.size() ? counts[static_cast<std::size_t>(i)] : 0;
}

} // namespace

CRGBHistogramCtrl::CRGBHistogramCtrl(QWidget* parent) : CControlWidget(parent)
{
    setMouseTracking(true);
}

void CRGBHistogramCtrl::SetHistograms(std::span<const std::uint32_t> r, std::span<const std::uint32_t> g,
                                      std::span<const std::uint32_t> b, std::span<const std::uint32_t> l)
{
    Bins = static_cast<std::int32_t>(r.size());
    Height = 100;
    if (Bins <= 0)
    {
        m_picture = QImage();
        update();
        return;
    }
    m_picture = QImage(Bins, Height, QImage::Format_RGB32);
    m_picture.fill(Qt::black);
    const std::int64_t scale = graphlogic::RGBHistogramScale(r, g, b, l);
    const std::span<const std::uint32_t> lists[4] = {r, g, b, l};
    const QRgb colors[4] = {ColorFromRef(0x0000FF).rgb(), ColorFromRef(0x00FF00).rgb(),
                            ColorFromRef(0xFF0000).rgb(), qRgb(255, 255, 255)};
    for (int i = 0; i < Bins; ++i)
    {
        if (Mode == 0)
        {
            // Four bands of 25 rows, each bar a quarter as high.
            for (int k = 0; k < 4; ++k)
            {
                const int bar = graphlogic::RGBBarHeight(CountAt(lists[k], i), scale);
                MergeColumn(m_picture, i, 25 * k + 24, bar / 4, colors[k]);
            }
        }
        else
        {
            for (int k = 0; k < 3; ++k)
            {
                const int bar = graphlogic::RGBBarHeight(CountAt(lists[k], i), scale);
                MergeColumn(m_picture, i, Height - 1, bar, colors[k]);
            }
        }
    }
    update();
}

void CRGBHistogramCtrl::paint(QPainter& painter) const
{
    const PainterStateGuard guard(painter);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int w = width();
    const int h = height();
    if (m_picture.isNull())
        painter.fillRect(0, 0, w, h, Qt::black);
    else
        painter.drawImage(QRect(0, 0, w, h), m_picture);
    if (!ShowMarkers || Mode != 0)
        return;
    for (int k = 0; k < 4; ++k)
    {
        const int x = static_cast<int>(w * MarkerLevels[static_cast<std::size_t>(k)] / 255.0 + 0.5);
        const int top = h * k / 4;
        const int bottom = h * (k + 1) / 4;
        if (x < w - 1)
            painter.fillRect(x + 1, top, 1, bottom - top, Qt::black);
        painter.fillRect(x, top, 1, bottom - top, ColorFromRef(0x8080FF));
    }
}

void CRGBHistogramCtrl::mouseMoveEvent(QMouseEvent* event)
{
    const int v = graphlogic::LevelAtColumn(event->position().toPoint().x(), width());
    if (v >= 0)
        sendNotify(2, v);
    CControlWidget::mouseMoveEvent(event);
}

void CRGBHistogramCtrl::mousePressEvent(QMouseEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (event->button() == Qt::LeftButton && (modifiers & (Qt::ShiftModifier | Qt::ControlModifier)))
    {
        const int v = std::max(graphlogic::LevelAtColumn(event->position().toPoint().x(), width()), 0);
        sendNotify((modifiers & Qt::ShiftModifier) ? 1 : 0, v);
    }
    CControlWidget::mousePressEvent(event);
}

void CRGBHistogramCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier))
        Mode = Mode == 0 ? 1 : 0;
    CControlWidget::mouseDoubleClickEvent(event);
}
