#pragma once
// CMultiSlider: a slider with any number of thumbs on one track,
// horizontal (minimum at the left) or vertical (minimum at the bottom),
// whose track shows what the value means (see MultiSliderStyle). Pixel and
// value maths are in MultiSliderLogic.h.
//
// A press takes the nearest thumb and moves it to the press point; moves
// with the left button drag it; the release ends the drag. The dragged
// thumb stays between its neighbours, so the thumbs never change order.
// Notifications: (1, index of the dragged thumb) on the press and on every
// move; (2, -1) on the release. The owner reads Positions.

#include "controls/support/ColorRef.h"
#include "controls/widgets/ControlWidget.h"
#include "core/RGB16.h"

#include <QIcon>

#include <cstdint>
#include <optional>
#include <vector>

struct SliderAxis;

// How the track is painted. Values outside the list paint only the frame.
enum class MultiSliderStyle : std::int32_t
{
    GreyRamp = 1,        // RGB(l, l, l), dark at the minimum
    InverseGreyRamp = 2, // RGB(255 - l, ...), light at the minimum
    Temperature = 3,     // blue to orange
    Tint = 4,            // green to magenta
    Solid = 5,           // TrackColor
    Hue = 6,             // HueColors, the hue circle
};

class CMultiSlider : public CControlWidget
{
    Q_OBJECT
public:
    static constexpr int kDragging = 1; // value: index of the dragged thumb
    static constexpr int kReleased = 2; // value: -1

    explicit CMultiSlider(QWidget* parent = nullptr);

    // Sets the thumb icon (by resource number), the range 0..maximum, the
    // thumbs, the orientation, the style and, when given, the track colour.
    // Paints nothing. The hue ramp of the hue style is built for the
    // track's length once the control has one (see BuildHueGradient).
    void Init(std::optional<RGBColor> trackColor, int thumbIconId, std::int16_t maximum,
              const std::vector<std::int16_t>& positions, bool vertical, MultiSliderStyle style);

    // Moves thumb index to value and repaints, unless it is there already
    // and force is not set. Sends nothing. An index without a thumb does
    // nothing.
    void SetPos(int index, std::int16_t value, bool force = false);

    // HueColors := one entry per pixel of the usable track (extent - 11),
    // entry i the hue i * 360 / count. Left empty while the track is
    // shorter than a thumb.
    void BuildHueGradient();

    void paint(QPainter& painter) const override;

    QIcon ThumbIcon;
    std::vector<std::int16_t> Positions;
    std::int16_t Minimum = 0;
    std::int16_t Maximum = 100;
    std::uint8_t Vertical = 0;
    MultiSliderStyle Style = MultiSliderStyle::GreyRamp;
    RGBColor TrackColor; // full 16-bit scale
    std::vector<RGB16> HueColors;
    std::int16_t DragIndex = -1;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    SliderAxis Axis() const;
    int TrackExtent() const;
    void Grab(const QPoint& point);
    void DragTo(const QPoint& point);
    void Release();
    void UpdateHueGradient();

    // The track length HueColors was built for; -1 when not built.
    int m_hueExtent = -1;
};
