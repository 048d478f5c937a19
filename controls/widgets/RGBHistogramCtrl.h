#pragma once
// The red, green, blue and luminance histograms of an image, as four bands
// (Mode 0) or the three colours overlaid (Mode 1), drawn into a picture of
// one column per bin and 100 rows that is stretched over the control.
// Ctrl + double-click toggles Mode for the next SetHistograms.
//
// Events (code, value), value the level 0..255 under the mouse: (2, v) the
// mouse moved over the control; (1, v) Shift-click; (0, v) Ctrl-click.

#include "controls/widgets/ControlWidget.h"

#include <QImage>

#include <array>
#include <cstdint>
#include <span>

class CRGBHistogramCtrl : public CControlWidget
{
    Q_OBJECT
public:
    explicit CRGBHistogramCtrl(QWidget* parent = nullptr);

    std::int32_t Bins = 0;
    std::int32_t Height = 100;
    std::int32_t Mode = 0; // 0 four bands, 1 overlaid
    // Marker levels of the bands: R, G, B, L.
    std::array<std::uint8_t, 4> MarkerLevels{};
    bool ShowMarkers = false;

    // Bins := the length of r; a new black Bins x 100 picture drawn by Mode.
    // Colours that overlap add (bitwise or, as a merging pen). The bars
    // share one scale, the largest of the lists' 4 x mean counts.
    void SetHistograms(std::span<const std::uint32_t> r, std::span<const std::uint32_t> g,
                       std::span<const std::uint32_t> b, std::span<const std::uint32_t> l);

    const QImage& picture() const { return m_picture; }

    void paint(QPainter& painter) const override;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage m_picture;
};
