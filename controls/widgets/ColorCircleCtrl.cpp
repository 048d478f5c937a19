#include "controls/widgets/ColorCircleCtrl.h"

#include "controls/support/ColorRef.h"
#include "controls/support/ResourceImages.h"
#include "core/ColorConverter.h"
#include "core/HueSwatch.h"
#include "core/RGB16.h"

#include <QMouseEvent>
#include <QPolygon>
#include <QResizeEvent>

#include <algorithm>

namespace {

constexpr COLORREF kGreyColour = 0x9F9F9F;    // rings, spokes, targets, the dragged curve
constexpr COLORREF kMarker2Colour = 0x7F7FFF; // light red

// Rings of the circle, in chroma, and the spokes' spacing in degrees.
constexpr double kRings[] = {25.0, 50.0, 75.0};
constexpr int kSpokeStep = 30;
// The histogram is drawn only when it has a point for every degree.
constexpr std::size_t kHistogramBins = 360;

// The lightness and chroma of the colour that shows a control point's hue.
constexpr double kPointLightness = 65.0;
constexpr double kPointChroma = 100.0;

QPoint ToQPoint(const CirclePixel& p)
{
    return QPoint(p.x, p.y);
}

bool IsShown(const CirclePixel& marker)
{
    return !(marker == CirclePixel{});
}

QPolygon ToPolygon(const std::vector<CirclePixel>& pixels)
{
    QPolygon polygon;
    polygon.reserve(static_cast<qsizetype>(pixels.size()));
    for (const CirclePixel& p : pixels)
        polygon << ToQPoint(p);
    return polygon;
}

QPen SolidPen(const QColor& colour, int width)
{
    QPen pen(colour);
    pen.setWidth(width);
    return pen;
}

// The wheel picture with its key colour (the first pixel) made transparent,
// so that the window's background shows round the circle.
QImage MaskedWheel()
{
    QImage wheel =
        LoadBitmapResource(kBitmapColorWheel).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (wheel.isNull())
        return wheel;
    const QRgb key = wheel.pixel(0, 0);
    for (int y = 0; y < wheel.height(); ++y)
    {
        auto* row = reinterpret_cast<QRgb*>(wheel.scanLine(y));
        for (int x = 0; x < wheel.width(); ++x)
            if (row[x] == key)
                row[x] = 0;
    }
    return wheel;
}

} // namespace

CColorCircleCtrl::CColorCircleCtrl(QWidget* parent) : CControlWidget(parent)
{
    setMouseTracking(true);
}

// Marker1's pixel: hidden without lightness.
CirclePixel CColorCircleCtrl::marker1Pixel(const CircleSquare& sq) const
{
    const CCIELCh& lch = m_marker1Colour;
    return lch[0] > 0.0 ? sq.ChromaHuePixel(lch[1], lch[2]) : CirclePixel{};
}

// Marker2's pixel: hidden without lightness and from chroma 100 on.
CirclePixel CColorCircleCtrl::marker2Pixel(const CircleSquare& sq) const
{
    const CCIELCh lch = m_marker2Colour.ToLCh();
    return m_marker2Colour[0] > 0.0 && lch[1] < 100.0 ? sq.ChromaHuePixel(lch[1], lch[2])
                                                      : CirclePixel{};
}

void CColorCircleCtrl::SetMarkerLCh(const CCIELCh& lch)
{
    m_marker1Colour = lch;
    const CirclePixel pixel = marker1Pixel(square());
    if (pixel == m_marker1)
        return;
    m_marker1 = pixel;
    update();
}

void CColorCircleCtrl::SetMarkerLab(const CCIELab& lab)
{
    m_marker2Colour = lab;
    const CirclePixel pixel = marker2Pixel(square());
    if (pixel == m_marker2)
        return;
    m_marker2 = pixel;
    update();
}

void CColorCircleCtrl::SetHueHistogram(const std::vector<std::uint32_t>& counts)
{
    m_histogram = counts;
    m_histogramPoints = HistogramCurve(square(), counts);
    update();
}

void CColorCircleCtrl::SetPoints(std::span<const CCIELCh> source, std::span<const CCIELCh> target,
                                 std::span<const CCIELCh> curve, std::size_t count)
{
    const std::size_t n = std::min({count, source.size(), target.size(), curve.size()});
    m_sourceColours.assign(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(n));
    m_targetColours.assign(target.begin(), target.begin() + static_cast<std::ptrdiff_t>(n));
    placeColours(square());
    m_pointHues.resize(n);
    std::vector<HuePoint> points(n);
    for (std::size_t k = 0; k < n; ++k)
    {
        m_pointHues[k] = target[k][2];
        points[k] = HuePoint{curve[k][1] / 100.0, ReduceAngle(curve[k][2] * kCirclePi / 180.0)};
    }
    SetHueCurve(points);
    update();
}

void CColorCircleCtrl::placeColours(const CircleSquare& sq)
{
    const auto place = [&sq](const std::vector<CCIELCh>& colours,
                             std::vector<CirclePixel>& pixels) {
        pixels.resize(colours.size());
        for (std::size_t k = 0; k < colours.size(); ++k)
            pixels[k] = sq.ChromaHuePixel(colours[k][1], colours[k][2]);
    };
    place(m_sourceColours, m_sourcePoints);
    place(m_targetColours, m_targetPoints);
}

void CColorCircleCtrl::resizeEvent(QResizeEvent* event)
{
    // The pixels follow the square: the owner sets colours once, before or
    // after the layout gives the control its size.
    const CircleSquare sq = square();
    m_marker1 = marker1Pixel(sq);
    m_marker2 = marker2Pixel(sq);
    m_histogramPoints = HistogramCurve(sq, m_histogram);
    placeColours(sq);
    CControlWidget::resizeEvent(event);
}

void CColorCircleCtrl::SetHueCurve(const std::vector<HuePoint>& curve)
{
    if (curve == m_hueCurve)
        return;
    m_hueCurve = curve;
    update();
}

void CColorCircleCtrl::GetHueCurve(std::size_t count, std::span<CCIELCh> lch) const
{
    const std::size_t n = std::min({count, m_hueCurve.size(), lch.size()});
    for (std::size_t i = 0; i < n; ++i)
    {
        lch[i][1] = m_hueCurve[i].r * 100.0;
        lch[i][2] = m_hueCurve[i].theta * 180.0 / kCirclePi;
    }
}

QColor CColorCircleCtrl::pointColor(std::size_t i) const
{
    // A point the owner gave no hue for (a curve set on its own) shows the
    // hue it stands at.
    const double hue = i < m_pointHues.size()  ? m_pointHues[i]
                       : i < m_hueCurve.size() ? m_hueCurve[i].theta * 180.0 / kCirclePi
                                               : 0.0;
    RGB16 pixel{0, 0, 0};
    if (Converter != nullptr)
    {
        const CCIEXYZ xyz = CCIELCh(kPointLightness, kPointChroma, hue).ToLab().ToXYZ();
        Converter->XYZToOutputRGB(&xyz, &pixel, 1);
    }
    else
    {
        HueSwatchColor(pixel, hue);
    }
    return QColor(pixel.r >> 8, pixel.g >> 8, pixel.b >> 8);
}

bool CColorCircleCtrl::dragStep(QMouseEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers();
    const QPoint at = event->position().toPoint();
    const CircleDragKeys keys =
        MakeCircleDragKeys(mods.testFlag(Qt::ShiftModifier), mods.testFlag(Qt::AltModifier),
                           mods.testFlag(Qt::ControlModifier) || AllPointsMode);
    return m_grabbed >= 0 && DragHueCurve(square(), m_hueCurve, static_cast<std::size_t>(m_grabbed),
                                          at.x(), at.y(), keys);
}

void CColorCircleCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_dragging)
    {
        CControlWidget::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    const int hit = HitHueCurve(square(), m_hueCurve, at.x(), at.y());
    if (hit >= 0)
    {
        m_dragging = true;
        m_grabbed = hit;
        setCursor(LoadCursorResource(kCursorDrag));
        dragStep(event);
        update();
        sendNotify(0, 0);
    }
    CControlWidget::mousePressEvent(event);
}

void CColorCircleCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void CColorCircleCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
    {
        dragStep(event);
        sendNotify(0, 0);
        repaint();
    }
    else
    {
        const QPoint at = event->position().toPoint();
        if (HitHueCurve(square(), m_hueCurve, at.x(), at.y()) >= 0)
            setCursor(LoadCursorResource(kCursorHover));
        else
            unsetCursor();
    }
    CControlWidget::mouseMoveEvent(event);
}

void CColorCircleCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_dragging)
    {
        m_dragging = false;
        unsetCursor();
        dragStep(event);
        m_grabbed = -1;
        update();
        sendNotify(0, 1);
    }
    CControlWidget::mouseReleaseEvent(event);
}

void CColorCircleCtrl::paintBackground(QPainter& painter, const CircleSquare& sq) const
{
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (sq.side <= 0)
        return;
    if (m_wheel.isNull())
        m_wheel = MaskedWheel();
    if (m_wheel.isNull())
        return;
    if (m_scaledWheel.width() != sq.side)
        m_scaledWheel =
            m_wheel.scaled(sq.side, sq.side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(QPoint(sq.left, sq.top), m_scaledWheel);
}

void CColorCircleCtrl::paint(QPainter& painter) const
{
    PainterStateGuard guard(painter);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const CircleSquare sq = square();
    paintBackground(painter, sq);
    if (sq.side <= 0)
        return;
    painter.setBrush(Qt::NoBrush);

    if (m_histogramPoints.size() == kHistogramBins)
    {
        painter.setPen(SolidPen(Qt::black, 0));
        painter.drawPolygon(ToPolygon(m_histogramPoints));
    }

    const QPen grey = SolidPen(ColorFromRef(kGreyColour), 1);
    painter.setPen(grey);
    const CirclePixel centre = sq.ToPixel(0.0, 0.0);
    for (const double ring : kRings)
    {
        const int radius = sq.ToPixel(ring, 0.0).x - centre.x;
        painter.drawEllipse(ToQPoint(centre), radius, radius);
    }
    for (int degrees = 0; degrees < 360; degrees += kSpokeStep)
        painter.drawLine(ToQPoint(centre), ToQPoint(sq.ChromaHuePixel(100.0, degrees)));

    if (m_targetPoints.size() >= 3)
    {
        const QColor greyColour = ColorFromRef(kGreyColour);
        for (std::size_t i = 0; i < m_targetPoints.size(); ++i)
        {
            const CirclePixel& p = m_targetPoints[i];
            const CirclePixel& q = m_targetPoints[(i + 1) % m_targetPoints.size()];
            painter.setPen(grey);
            painter.drawLine(ToQPoint(p), ToQPoint(q));
            painter.fillRect(QRect(p.x - 3, p.y - 3, 6, 6), greyColour);
        }
    }

    if (IsShown(m_marker1))
    {
        // A white dot over a black one offset down and right: readable on
        // any colour of the wheel.
        const CirclePixel& m = m_marker1;
        painter.setPen(Qt::black);
        painter.setBrush(Qt::black);
        painter.drawEllipse(QRect(m.x - 3, m.y - 3, 10, 10));
        painter.setPen(Qt::white);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRect(m.x - 5, m.y - 5, 10, 10));
        painter.setBrush(Qt::NoBrush);
    }

    std::vector<CirclePixel> pixels;
    pixels.reserve(m_hueCurve.size());
    for (const HuePoint& p : m_hueCurve)
        pixels.push_back(sq.PointPixel(p));
    if (!m_dragging)
    {
        if (pixels.size() >= 2)
        {
            for (std::size_t i = 0; i < pixels.size(); ++i)
            {
                const QPoint p = ToQPoint(pixels[i]);
                const QPoint q = ToQPoint(pixels[(i + 1) % pixels.size()]);
                painter.setPen(SolidPen(Qt::black, 0));
                painter.drawLine(p + QPoint(1, 1), q + QPoint(1, 1));
                painter.setPen(SolidPen(Qt::white, 0));
                painter.drawLine(p, q);
            }
        }
        for (std::size_t i = 0; i < pixels.size(); ++i)
        {
            const int half = AllPointsMode ? 2 : static_cast<int>(i) == SelectedIndex ? 4 : 3;
            const CirclePixel& p = pixels[i];
            painter.fillRect(QRect(p.x - half + 2, p.y - half + 2, 2 * half, 2 * half), Qt::black);
            painter.fillRect(QRect(p.x - half, p.y - half, 2 * half, 2 * half), pointColor(i));
        }
    }
    else if (!pixels.empty())
    {
        QPen dotted = SolidPen(ColorFromRef(kGreyColour), 1);
        dotted.setStyle(Qt::DotLine);
        painter.setPen(dotted);
        painter.drawPolygon(ToPolygon(pixels));
    }

    if (IsShown(m_marker2))
    {
        const CirclePixel& m = m_marker2;
        for (const auto& [colour, lift] :
             {std::pair{QColor(Qt::black), 0}, std::pair{ColorFromRef(kMarker2Colour), 1}})
        {
            painter.setPen(SolidPen(colour, 2));
            painter.drawLine(m.x - 3, m.y - 2 - lift, m.x + 4, m.y + 5 - lift);
            painter.drawLine(m.x + 4, m.y - 2 - lift, m.x - 3, m.y + 5 - lift);
        }
    }
}
