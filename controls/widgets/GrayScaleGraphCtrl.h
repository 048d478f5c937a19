#pragma once
// The gradation graph of the tone step: the tone curve drawn in green over
// the image's lightness histogram (white bars on black), with the curve's
// scale points as squares that the user drags up and down.
//
// Events (code, value): (1, 0) a point was picked up, and each change of
// Level while it is dragged; (2, 1) the point was let go. Level (0 bottom
// to 1 top) is read by the owner; see graphlogic::LevelAtRow for how a
// client row maps to it.

#include "controls/support/PointerState.h"
#include "controls/widgets/ControlWidget.h"
#include "correction/GrayCalibDoc.h"

#include <QImage>

#include <cstdint>
#include <span>
#include <vector>

class CGrayScaleGraphCtrl : public CControlWidget
{
    Q_OBJECT
public:
    explicit CGrayScaleGraphCtrl(QWidget* parent = nullptr);

    std::int16_t DragIndex = -1;   // scale point being dragged, -1 none
    double Level = 0.0;            // the dragged point's height, 0..1
    std::int16_t LevelMarker = -1; // bin marked by a light red column, -1 none
    GrayCalibParams Params;
    std::vector<std::int16_t> Curve;  // curve height in pixels per plotting column
    std::vector<std::int16_t> PointX; // plotting column of each scale point
    std::int16_t SelectedPoint = 0;   // drawn larger

    // The histogram behind the curve. Only the fourth list is shown; the
    // first gives the bin count n (the others are read as n bins, missing
    // ones 0). The picture is n x (client height - 2): bar i is f + 1 rows
    // high from the picture's bottom row, f = (H - 3) x count / scale with
    // scale = 4 x the mean count (at least 1), clipped to the picture.
    void SetBackground(std::span<const std::uint32_t> first, std::span<const std::uint32_t> second,
                       std::span<const std::uint32_t> third, std::span<const std::uint32_t> fourth);
    // Params := record, SelectedPoint := selected, and the curve for the
    // plotting width w and height h: in curve mode (RandamScale non-zero)
    // the spline table sampled at column i = 0..w - 1 and scaled to h - 1,
    // with PointX[k] = (w - 1) x x_k; otherwise the levels curve sampled
    // over w columns up to h - 1, with no points. Repaints.
    void SetCurve(const GrayCalibParams& record, int selected);

    // The design's timer 0, which an owner may drive while a point is
    // dragged (the control starts no timer itself): the level follows the
    // pointer while its primary button is down, otherwise the point is let
    // go as by a release.
    void OnTimer(int id);

    // The mouse the timer polls; the system's by default. Not owned.
    void setPointerState(const IPointerState* pointer);

    const QImage& background() const { return m_background; }
    // The plotting rectangle: the background's bounds, else the client
    // rectangle (both at the origin).
    QRect plotRect() const;

    void paint(QPainter& painter) const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void press(const QPoint& position);
    void follow(const QPoint& position);
    void release(const QPoint& position);

    QImage m_background;
    const IPointerState* m_pointer;
};
