#pragma once
// The chromaticity diagram of the monitor wizard's white-point page: a
// section of the CIE 1931 xy diagram around the daylight locus (see
// CIExyLogic.h) with a movable target point and a fixed reference point.
//
// A click moves Point to the clicked place; the arrow keys move it by 2
// pixels within the diagram, quietly; Enter commits it. A click and Enter
// post pointChanged(x, y) with the Point of that moment (queued, as a
// posted message would arrive: after the current event is handled). The
// control does not report through notify.

#include "controls/support/ColorRef.h"
#include "controls/widgets/CIExyLogic.h"
#include "controls/widgets/ControlWidget.h"

#include <QImage>

// The message number this report had as a posted window message.
inline constexpr int UWM_CIEXY_POINT_CHANGED = 0x978;

// One chromaticity.
struct CIExyPoint
{
    double x = 0.0;
    double y = 0.0;
};

class CCIExyCtrl : public CControlWidget
{
    Q_OBJECT
public:
    explicit CCIExyCtrl(QWidget* parent = nullptr);

    // The owner sets both after construction.
    CIExyPoint Point;    // the movable point
    CIExyPoint RefPoint; // the reference point

    // Point back to RefPoint, redrawn at once.
    void RestorePoint();

    // Handles Enter and the arrow keys (Qt::Key values); the wizard page
    // forwards the keys it receives here. Other keys change nothing and
    // give false.
    bool OnKeyDown(int key);

    // The mapping of the control's current size.
    CIExyMapping mapping() const { return CIExyMapping::FromClient(width(), height()); }

    void paint(QPainter& painter) const override;

signals:
    void pointChanged(double x, double y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void postPointChanged();
    void drawMarker(QPainter& painter, const CIExyPoint& point, COLORREF colour) const;
};
