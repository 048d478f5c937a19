#pragma once
// The hue and chroma circle of the colour-tone panel: a colour wheel, the
// image's hue histogram as a closed curve, reference rings and spokes, the
// target colours of the correction, two colour markers and the control
// points that the user drags to bend hues and chroma (geometry in
// ColorCircleLogic.h).
//
// Dragging a control point: Shift keeps its chroma, Alt its hue, Ctrl (or
// AllPointsMode) turns and scales all points together.
//
// Markers, histogram and colours are kept as given and placed on the
// circle again whenever the control's size changes.
//
// notify codes (code, value): (0, 0) on the press that grabs a point and on
// every move while dragging; (0, 1) on the release that ends the drag.

#include "controls/widgets/ColorCircleLogic.h"
#include "controls/widgets/ControlWidget.h"
#include "core/CIEColor.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class CColorConverter;

class CColorCircleCtrl : public CControlWidget
{
    Q_OBJECT
public:
    explicit CColorCircleCtrl(QWidget* parent = nullptr);

    // Set by the owner: the colours of the control points for the monitor
    // (none: the hue swatch colours).
    const CColorConverter* Converter = nullptr;
    // Every drag moves all control points.
    bool AllPointsMode = false;
    // The control point drawn as selected, -1 for none.
    std::int16_t SelectedIndex = -1;

    // Marker1 at the pixel of (C cos h, C sin h) when L > 0, else hidden.
    void SetMarkerLCh(const CCIELCh& lch);
    // Marker2 at the pixel of the colour when L > 0 and its chroma is
    // below 100, else hidden.
    void SetMarkerLab(const CCIELab& lab);
    // One count per degree of hue (bin i is hue i degrees).
    void SetHueHistogram(const std::vector<std::uint32_t>& counts);
    // The first count entries of each list (fewer when a list is shorter):
    // source and target colours, and the control points from the curve
    // colours (r = C / 100, theta = h in radians).
    void SetPoints(std::span<const CCIELCh> source, std::span<const CCIELCh> target,
                   std::span<const CCIELCh> curve, std::size_t count);
    // Replaces the control points and repaints, unless the curve is equal.
    void SetHueCurve(const std::vector<HuePoint>& curve);
    // C = r x 100 and h in degrees of the first count control points into
    // lch (L untouched); no more than either holds.
    void GetHueCurve(std::size_t count, std::span<CCIELCh> lch) const;

    // The control's state, read-only, for owners and tests.
    bool Dragging() const { return m_dragging; }
    // The control point being dragged, -1 when none (valid while the
    // notifications of a drag are delivered; -1 again on the release).
    int GrabbedIndex() const { return m_grabbed; }
    const std::vector<HuePoint>& HueCurve() const { return m_hueCurve; }
    const std::vector<double>& PointHues() const { return m_pointHues; }
    const std::vector<CirclePixel>& SourcePoints() const { return m_sourcePoints; }
    const std::vector<CirclePixel>& TargetPoints() const { return m_targetPoints; }
    const std::vector<CirclePixel>& HistogramPoints() const { return m_histogramPoints; }
    CirclePixel Marker1() const { return m_marker1; }
    CirclePixel Marker2() const { return m_marker2; }

    CircleSquare square() const { return CircleSquare::FromClient(width(), height()); }
    // The colour control point i is painted with.
    QColor pointColor(std::size_t i) const;

    void paint(QPainter& painter) const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool dragStep(QMouseEvent* event);
    CirclePixel marker1Pixel(const CircleSquare& sq) const;
    CirclePixel marker2Pixel(const CircleSquare& sq) const;
    void placeColours(const CircleSquare& sq);
    void paintBackground(QPainter& painter, const CircleSquare& sq) const;

    // The colours and counts as the owner gave them, placed again when the
    // control's size changes.
    CCIELCh m_marker1Colour;
    CCIELab m_marker2Colour;
    std::vector<std::uint32_t> m_histogram;
    std::vector<CCIELCh> m_sourceColours;
    std::vector<CCIELCh> m_targetColours;

    bool m_dragging = false;
    int m_grabbed = -1;
    CirclePixel m_marker1;
    CirclePixel m_marker2;
    std::vector<CirclePixel> m_histogramPoints;
    std::vector<CirclePixel> m_sourcePoints;
    std::vector<CirclePixel> m_targetPoints;
    std::vector<double> m_pointHues;
    std::vector<HuePoint> m_hueCurve;

    // The wheel with everything outside the circle transparent, made at
    // the first paint, and its copy at the current square's size.
    mutable QImage m_wheel;
    mutable QImage m_scaledWheel;
};
