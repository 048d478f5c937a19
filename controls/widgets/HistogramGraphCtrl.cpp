#include "controls/widgets/HistogramGraphCtrl.h"

#include "controls/support/ColorRef.h"
#include "controls/widgets/GraphLogic.h"
#include "core/HueSwatch.h"

#include <QMouseEvent>

#include <algorithm>

namespace {

QRgb BarColor(int kind, int bin)
{
    const int level = std::clamp(bin, 0, 255);
    switch (kind)
    {
    case 0:
    case 9:
        return qRgb(level, 0, 0);
    case 1:
    case 10:
        return qRgb(0, level, 0);
    case 2:
    case 11:
        return qRgb(0, 0, level);
    case CHistogramGraphCtrl::kKindHue:
        if (bin <= 255)
        {
            RGB16 swatch{};
            HueSwatchColor(swatch, bin * 360.0 / 256.0);
            return qRgb(swatch.r >> 8, swatch.g >> 8, swatch.b >> 8);
        }
        break;
    default:
        break;
    }
    return qRgb(255, 255, 255);
}

} // namespace

CHistogramGraphCtrl::CHistogramGraphCtrl(QWidget* parent)
    : CControlWidget(parent), m_pointer(&SystemPointerState())
{
    m_timer1.setInterval(20);
    connect(&m_timer1, &QTimer::timeout, this, [this] { OnTimer(1); });
}

void CHistogramGraphCtrl::setPointerState(const IPointerState* pointer)
{
    m_pointer = pointer != nullptr ? pointer : &SystemPointerState();
}

void CHistogramGraphCtrl::SetHistogram(std::span<const std::uint32_t> counts, int kind)
{
    Counts.assign(counts.begin(), counts.end());
    Kind = static_cast<std::int16_t>(kind);
    const int n = binCount();
    const int rows = height();
    if (n <= 0 || rows <= 0)
    {
        m_bars = QImage();
        update();
        return;
    }
    m_bars = QImage(n, rows, QImage::Format_RGB32);
    m_bars.fill(Qt::black);
    const std::int64_t scale = graphlogic::SecondHighestScale(Counts);
    for (int i = 0; i < n; ++i)
    {
        const std::int64_t e = graphlogic::BarHeight(rows - 1, Counts[static_cast<std::size_t>(i)], scale);
        const std::int64_t top = std::max<std::int64_t>(rows - 1 - e, 0);
        const QRgb color = BarColor(kind, i);
        for (std::int64_t y = top; y < rows; ++y)
            m_bars.setPixel(i, static_cast<int>(y), color);
    }
    update();
}

void CHistogramGraphCtrl::paint(QPainter& painter) const
{
    const PainterStateGuard guard(painter);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int w = width();
    const int h = height();
    painter.fillRect(0, 0, w, h, Qt::black);
    // 85 % of the height for the bars, with a 5 % margin below them.
    const int barHeight = h * 85 / 100;
    const int barTop = h - barHeight - h * 5 / 100 - 1;
    if (!m_bars.isNull())
        painter.drawImage(QRect(1, barTop, w - 2, barHeight), m_bars);

    const int n = binCount();
    if (isEnabled())
    {
        // The selected columns inverted in place.
        const auto columns = graphlogic::RangeToColumns({RangeStart, RangeEnd}, n, w);
        PainterStateGuard inversion(painter);
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        for (int b = 0; b < columns.count; ++b)
        {
            const auto& block = columns.blocks[b];
            if (block.last >= block.first)
                painter.fillRect(block.first, 0, block.last - block.first + 1, h, Qt::white);
        }
    }

    painter.fillRect(graphlogic::MarkerColumn(GreenMarker, n, w), 0, 1, h, ColorFromRef(0x0FFF0F));
    if (RedMarker >= 0)
        painter.fillRect(graphlogic::MarkerColumn(RedMarker, n, w), 0, 1, h, ColorFromRef(0x7F7FFF));

    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, w - 1, h - 1);
}

void CHistogramGraphCtrl::press(int x)
{
    const int bin = graphlogic::ClampBin(graphlogic::BinAt(x, binCount(), width()), binCount());
    AnchorBin = RangeStart = RangeEnd = static_cast<std::int16_t>(bin);
    sendNotify(1, 0);
    m_timer1.start();
    update();
}

void CHistogramGraphCtrl::endDrag()
{
    m_timer1.stop();
    if (AnchorBin == -1)
        return;
    AnchorBin = -1;
    sendNotify(2, 0);
}

void CHistogramGraphCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        press(event->position().toPoint().x());
    CControlWidget::mousePressEvent(event);
}

void CHistogramGraphCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        press(event->position().toPoint().x());
    CControlWidget::mouseDoubleClickEvent(event);
}

void CHistogramGraphCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        endDrag();
    CControlWidget::mouseReleaseEvent(event);
}

void CHistogramGraphCtrl::OnTimer(int id)
{
    if (id != 1 || AnchorBin == -1)
        return;
    if (m_pointer->primaryButtonDown())
    {
        const int x = mapFromGlobal(m_pointer->globalCursorPosition()).x();
        const int c = graphlogic::BinAt(x, binCount(), width());
        const auto range = graphlogic::DragRange(AnchorBin, c, binCount(), Kind == kKindHue);
        if (range.start != RangeStart || range.end != RangeEnd)
        {
            RangeStart = static_cast<std::int16_t>(range.start);
            RangeEnd = static_cast<std::int16_t>(range.end);
            sendNotify(1, 0);
        }
    }
    else
    {
        endDrag();
    }
    update();
}
