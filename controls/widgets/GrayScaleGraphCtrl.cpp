#include "controls/widgets/GrayScaleGraphCtrl.h"

#include "controls/support/ColorRef.h"
#include "controls/support/ResourceImages.h"
#include "controls/widgets/GraphLogic.h"
#include "core/GammaTable.h"

#include <QMouseEvent>

#include <algorithm>

CGrayScaleGraphCtrl::CGrayScaleGraphCtrl(QWidget* parent)
    : CControlWidget(parent), m_pointer(&SystemPointerState())
{
    setMouseTracking(true);
}

void CGrayScaleGraphCtrl::setPointerState(const IPointerState* pointer)
{
    m_pointer = pointer != nullptr ? pointer : &SystemPointerState();
}

QRect CGrayScaleGraphCtrl::plotRect() const
{
    return m_background.isNull() ? rect() : m_background.rect();
}

void CGrayScaleGraphCtrl::SetBackground(std::span<const std::uint32_t> first,
                                        std::span<const std::uint32_t>,
                                        std::span<const std::uint32_t>,
                                        std::span<const std::uint32_t> fourth)
{
    const int n = static_cast<int>(first.size());
    const int clientHeight = height();
    const int rows = clientHeight - 2;
    if (n <= 0 || rows <= 0)
    {
        m_background = QImage();
        update();
        return;
    }
    // The fourth list read as n bins.
    std::vector<std::uint32_t> shown(static_cast<std::size_t>(n), 0);
    std::copy_n(fourth.begin(), std::min(fourth.size(), shown.size()), shown.begin());
    const std::int64_t scale = graphlogic::FourTimesMeanScale(shown);

    m_background = QImage(n, rows, QImage::Format_RGB32);
    m_background.fill(Qt::black);
    const QRgb white = qRgb(255, 255, 255);
    for (int i = 0; i < n; ++i)
    {
        // Bar i covers rows H - f - 3 .. H - 3, the picture's last row
        // being H - 3.
        const std::int64_t f = graphlogic::BarHeight(clientHeight - 3, shown[static_cast<std::size_t>(i)], scale);
        const std::int64_t top = std::max<std::int64_t>(clientHeight - 3 - f, 0);
        for (std::int64_t y = top; y < rows; ++y)
            m_background.setPixel(i, static_cast<int>(y), white);
    }
    update();
}

void CGrayScaleGraphCtrl::SetCurve(const GrayCalibParams& record, int selected)
{
    Params = record;
    SelectedPoint = static_cast<std::int16_t>(selected);
    const QRect plot = plotRect();
    const int w = std::max(plot.width(), 0);
    const int h = plot.height();
    const int top = std::max(h - 1, 0);
    Curve.assign(static_cast<std::size_t>(w), 0);
    PointX.clear();
    if (Params.RandamScale != 0)
    {
        CGammaTable table;
        CGrayCalibDoc::MakeCurveTable(Params, table);
        const auto entries = table.GetEntries();
        const double columns = w > 1 ? w - 1 : 1;
        for (int i = 0; i < w && !entries.empty(); ++i)
        {
            const auto index = static_cast<std::size_t>(65535.0 * i / columns);
            Curve[static_cast<std::size_t>(i)] =
                static_cast<std::int16_t>(static_cast<std::int64_t>(top) * entries[index] / 65535);
        }
        for (int k = 0; k < Params.UsedScaleCount(); ++k)
            PointX.push_back(static_cast<std::int16_t>((w > 0 ? w - 1 : 0) *
                                                       std::clamp(Params.ScaleTable[static_cast<std::size_t>(k)].x, 0.0, 1.0)));
    }
    else
    {
        std::vector<std::uint16_t> levels(static_cast<std::size_t>(w));
        CGrayCalibDoc::MakeLevelsTable(Params, levels, top);
        std::transform(levels.begin(), levels.end(), Curve.begin(),
                       [](std::uint16_t v) { return static_cast<std::int16_t>(v); });
    }
    repaint();
}

void CGrayScaleGraphCtrl::paint(QPainter& painter) const
{
    const PainterStateGuard guard(painter);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int width = this->width();
    const int height = this->height();
    painter.fillRect(0, 0, width, height, Qt::black);
    if (!m_background.isNull())
        painter.drawImage(QRect(1, 1, width - 2, height - 2), m_background);

    const QRect plot = plotRect();
    if (LevelMarker >= 0 && plot.width() > 0)
    {
        const int x = static_cast<int>(static_cast<std::int64_t>(LevelMarker) * (width - 2) / plot.width()) + 1;
        painter.fillRect(x, 0, 1, height, ColorFromRef(0x7F7FFF));
    }

    // The curve inside the frame: value v of column i at (i + 1, H - 2 - v).
    const QColor green = ColorFromRef(MakeColorRef(0, 255, 0));
    painter.setPen(QPen(green, 1));
    const int bottom = height - 2;
    for (std::size_t i = 0; i + 1 < Curve.size(); ++i)
        painter.drawLine(static_cast<int>(i) + 1, bottom - Curve[i], static_cast<int>(i) + 2,
                         bottom - Curve[i + 1]);

    if (!Curve.empty())
    {
        const int last = static_cast<int>(Curve.size()) - 1;
        for (std::size_t k = 0; k < PointX.size(); ++k)
        {
            const int c = std::clamp<int>(PointX[k], 0, last);
            const int side = static_cast<int>(k) == SelectedPoint ? 6 : 4;
            const int cx = c + 1;
            const int cy = bottom - Curve[static_cast<std::size_t>(c)];
            painter.fillRect(cx - side / 2, cy - side / 2, side, side, green);
        }
    }
}

void CGrayScaleGraphCtrl::press(const QPoint& position)
{
    const int hit = graphlogic::HitTestPoint(PointX, Curve, position.x(), position.y(), height());
    if (hit < 0)
        return;
    DragIndex = static_cast<std::int16_t>(hit);
    Level = graphlogic::LevelAtRow(position.y(), height(), plotRect().height());
    setCursor(LoadCursorResource(kCursorDrag));
    sendNotify(1, 0);
}

void CGrayScaleGraphCtrl::follow(const QPoint& position)
{
    const double level = graphlogic::LevelAtRow(position.y(), height(), plotRect().height());
    if (level != Level)
    {
        Level = level;
        sendNotify(1, 0);
    }
}

void CGrayScaleGraphCtrl::release(const QPoint& position)
{
    if (DragIndex == -1)
        return;
    Level = graphlogic::LevelAtRow(position.y(), height(), plotRect().height());
    DragIndex = -1;
    unsetCursor();
    sendNotify(2, 1);
}

void CGrayScaleGraphCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        press(event->position().toPoint());
    CControlWidget::mousePressEvent(event);
}

void CGrayScaleGraphCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        press(event->position().toPoint());
    CControlWidget::mouseDoubleClickEvent(event);
}

void CGrayScaleGraphCtrl::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (DragIndex != -1)
    {
        follow(position);
        repaint();
        return;
    }
    const bool over = graphlogic::HitTestPoint(PointX, Curve, position.x(), position.y(), height()) >= 0;
    if (over)
        setCursor(LoadCursorResource(kCursorHover));
    else
        unsetCursor();
}

void CGrayScaleGraphCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        release(event->position().toPoint());
    CControlWidget::mouseReleaseEvent(event);
}

void CGrayScaleGraphCtrl::OnTimer(int id)
{
    if (id != 0 || DragIndex == -1)
        return;
    const QPoint position = mapFromGlobal(m_pointer->globalCursorPosition());
    if (m_pointer->primaryButtonDown())
        follow(position);
    else
        release(position);
    repaint();
}
