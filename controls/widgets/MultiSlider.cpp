#include "controls/widgets/MultiSlider.h"

#include "controls/support/ResourceImages.h"
#include "controls/widgets/MultiSliderLogic.h"

#include <QMouseEvent>

CMultiSlider::CMultiSlider(QWidget* parent) : CControlWidget(parent)
{
    // A drag whose button-up never arrived (taken by another window) ends
    // at the next move without the left button; moves without a button
    // reach the control only with tracking on.
    setMouseTracking(true);
}

void CMultiSlider::Init(std::optional<RGBColor> trackColor, int thumbIconId, std::int16_t maximum,
                        const std::vector<std::int16_t>& positions, bool vertical,
                        MultiSliderStyle style)
{
    ThumbIcon = LoadIconResource(thumbIconId);
    Minimum = 0;
    Maximum = maximum;
    Positions = positions;
    Vertical = vertical ? 1 : 0;
    Style = style;
    if (trackColor)
        TrackColor = *trackColor;
    m_hueExtent = -1;
    HueColors.clear();
    UpdateHueGradient();
}

void CMultiSlider::SetPos(int index, std::int16_t value, bool force)
{
    if (index < 0 || static_cast<std::size_t>(index) >= Positions.size())
        return;
    if (!force && Positions[static_cast<std::size_t>(index)] == value)
        return;
    Positions[static_cast<std::size_t>(index)] = value;
    update();
}

int CMultiSlider::TrackExtent() const
{
    return Vertical != 0 ? height() : width();
}

SliderAxis CMultiSlider::Axis() const
{
    return SliderAxis{0, TrackExtent(), Minimum, Maximum, Vertical != 0};
}

void CMultiSlider::BuildHueGradient()
{
    HueColors = BuildHueRamp(TrackExtent() - kThumbSize);
    m_hueExtent = TrackExtent();
}

// The hue ramp is built for the length the track really has: Init may run
// before the owner's layout gives the control its size, and a ramp built
// for another length would squeeze or stretch the hues. So it is built (or
// built again) whenever the track's length differs from the one it was
// built for, once that length can hold a thumb.
void CMultiSlider::UpdateHueGradient()
{
    if (Style != MultiSliderStyle::Hue || TrackExtent() == m_hueExtent)
        return;
    if (TrackExtent() - kThumbSize <= 0)
        return;
    BuildHueGradient();
}

void CMultiSlider::resizeEvent(QResizeEvent* event)
{
    UpdateHueGradient();
    CControlWidget::resizeEvent(event);
}

void CMultiSlider::paintEvent(QPaintEvent* event)
{
    UpdateHueGradient();
    CControlWidget::paintEvent(event);
}

void CMultiSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Grab(event->position().toPoint());
    CControlWidget::mousePressEvent(event);
}

void CMultiSlider::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Grab(event->position().toPoint());
    CControlWidget::mouseDoubleClickEvent(event);
}

void CMultiSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (DragIndex != -1)
    {
        if ((event->buttons() & Qt::LeftButton) != 0)
            DragTo(event->position().toPoint());
        else
            Release();
    }
    CControlWidget::mouseMoveEvent(event);
}

void CMultiSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && DragIndex != -1)
        Release();
    CControlWidget::mouseReleaseEvent(event);
}

// The press takes the nearest thumb (see SliderAxis::GrabThumb) and puts
// it under the mouse, within its neighbours.
void CMultiSlider::Grab(const QPoint& point)
{
    DragIndex = -1;
    const int index = Axis().GrabThumb(Positions, Vertical != 0 ? point.y() : point.x());
    if (index < 0)
        return;
    DragIndex = static_cast<std::int16_t>(index);
    DragTo(point);
}

void CMultiSlider::DragTo(const QPoint& point)
{
    const auto index = static_cast<std::size_t>(DragIndex);
    if (index >= Positions.size())
    {
        DragIndex = -1;
        return;
    }
    const int value = Axis().PixelToValue(Vertical != 0 ? point.y() : point.x());
    Positions[index] = static_cast<std::int16_t>(ClampBetweenNeighbours(Positions, index, value));
    sendNotify(kDragging, DragIndex);
    repaint();
}

void CMultiSlider::Release()
{
    DragIndex = -1;
    sendNotify(kReleased, -1);
    update();
}

namespace {

QColor ShownColor(const RGB16& c)
{
    return QColor(ShownChannel(c.r), ShownChannel(c.g), ShownChannel(c.b));
}

QColor RampColor(MultiSliderStyle style, int level)
{
    RampRGB c;
    switch (style)
    {
    case MultiSliderStyle::GreyRamp: c = GreyRampColor(level); break;
    case MultiSliderStyle::InverseGreyRamp: c = InverseGreyRampColor(level); break;
    case MultiSliderStyle::Temperature: c = TemperatureRampColor(level); break;
    case MultiSliderStyle::Tint: c = TintRampColor(level); break;
    default: break;
    }
    return QColor(c.r, c.g, c.b);
}

} // namespace

void CMultiSlider::paint(QPainter& painter) const
{
    PainterStateGuard guard(painter);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int w = width();
    const int h = height();
    const int n = TrackExtent();
    // Line i of the track: a column for a horizontal slider, a row counted
    // from the bottom for a vertical one.
    const auto fillLine = [&](int i, const QColor& color) {
        if (Vertical != 0)
            painter.fillRect(0, n - 1 - i, w, 1, color);
        else
            painter.fillRect(i, 0, 1, h, color);
    };

    switch (Style)
    {
    case MultiSliderStyle::GreyRamp:
    case MultiSliderStyle::InverseGreyRamp:
    case MultiSliderStyle::Temperature:
    case MultiSliderStyle::Tint:
        for (int i = 0; i < n; ++i)
            fillLine(i, RampColor(Style, RampLevel(i, n)));
        break;
    case MultiSliderStyle::Hue:
        for (int i = 0; i < n; ++i)
        {
            const int index = HueRampIndex(i, n, HueColors.size());
            if (index >= 0)
                fillLine(i, ShownColor(HueColors[static_cast<std::size_t>(index)]));
        }
        break;
    case MultiSliderStyle::Solid:
        painter.fillRect(rect(), ShownColor(RGB16{TrackColor.r, TrackColor.g, TrackColor.b}));
        break;
    }

    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(0, 0, w - 1, h - 1));

    if (!isEnabled() || ThumbIcon.isNull())
        return;
    const SliderAxis axis = Axis();
    for (const std::int16_t value : Positions)
    {
        const int along = axis.ValueToPixel(value);
        const QRect box = Vertical != 0 ? QRect(w - kThumbSize, along, kThumbSize, kThumbSize)
                                        : QRect(along, 0, kThumbSize, kThumbSize);
        ThumbIcon.paint(&painter, box);
    }
}
