#pragma once
// One histogram (a channel or the hue) whose bins the user selects by
// dragging across it; for the hue (kind 8) the selection may wrap round the
// ends. The bars are drawn once into a picture of one column per bin and
// stretched over 85 % of the control's height.
//
// Events (code, value): (1, 0) a drag started, and each change of the
// range while it goes on; (2, 0) the drag ended. The owner reads
// RangeStart and RangeEnd.

#include "controls/support/PointerState.h"
#include "controls/widgets/ControlWidget.h"

#include <QImage>
#include <QTimer>

#include <cstdint>
#include <span>
#include <vector>

class CHistogramGraphCtrl : public CControlWidget
{
    Q_OBJECT
public:
    // Bar colours by kind: 0 and 9 red, 1 and 10 green, 2 and 11 blue, each
    // as bright as its bin number; 8 the hue swatch of the bin's hue; any
    // other kind white.
    static constexpr int kKindHue = 8;

    explicit CHistogramGraphCtrl(QWidget* parent = nullptr);

    std::int16_t AnchorBin = -1; // bin where the drag started, -1 none
    std::vector<std::uint32_t> Counts = std::vector<std::uint32_t>(256, 0);
    std::int16_t Kind = 0;
    std::int16_t RedMarker = -1; // bin marked light red, -1 none
    std::int16_t RangeStart = 0;
    std::int16_t RangeEnd = 0;
    std::int16_t GreenMarker = 0; // bin marked green

    // Copies the counts, keeps the kind, and draws the bars into a picture
    // of (bins) x (client height): bar i rises e + 1 rows from the bottom,
    // e = (H - 1) x count / scale (clipped), the scale being the second
    // highest count (graphlogic::SecondHighestScale).
    void SetHistogram(std::span<const std::uint32_t> counts, int kind);

    // Timer 1 (20 ms, running while a drag goes on): the range follows the
    // pointer while its primary button is down, otherwise the drag ends.
    void OnTimer(int id);

    // The mouse the timer polls; the system's by default. Not owned.
    void setPointerState(const IPointerState* pointer);

    const QImage& bars() const { return m_bars; }
    bool dragTimerActive() const { return m_timer1.isActive(); }

    void paint(QPainter& painter) const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void press(int x);
    void endDrag();
    int binCount() const { return static_cast<int>(Counts.size()); }

    QImage m_bars;
    QTimer m_timer1;
    const IPointerState* m_pointer;
};
