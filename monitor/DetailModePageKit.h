#pragma once
// What the detail-mode wizard's pages share: controls named by their
// dialog ids (the tests find them by those numbers), the page font, and
// the brightness bar that pages 3, 5 and 6 show over a CBrightnessSlider.

#include "monitor/BrightnessSlider.h"

#include <QString>

#include <initializer_list>

class CDetailModeSheet;
class CDisplay;
class QLabel;
class QRadioButton;
class QSlider;
class QWidget;

namespace detailmode {

inline QString Id(int id)
{
    return QString::number(id);
}

// Names a control by its dialog id.
template <typename Widget> Widget* Named(Widget* widget, int id)
{
    widget->setObjectName(Id(id));
    return widget;
}

// A wrapping text; id 0 leaves it unnamed.
QLabel* MakeText(QWidget* parent, int id, const QString& text);
QRadioButton* MakeRadio(QWidget* parent, int id, const QString& text);
// The sheet's page font on each of the widgets (null ones are skipped).
void SetFont(const CDetailModeSheet& sheet, std::initializer_list<QWidget*> widgets);
// The models whose brightness runs over two ranges.
bool IsTwoRangeModel(const CDisplay* display);

} // namespace detailmode

// The brightness bar: the slider, the level under it and a text that says
// the monitor gave no range (the bar is then disabled). A vertical bar
// has its brightest end at the top.
class CBrightnessBar
{
public:
    CBrightnessBar(QWidget* page, int barId, int levelId, CBrightnessSlider::Orientation orientation);

    QSlider* Bar() const { return m_bar; }
    QLabel* LevelText() const { return m_level; }
    QLabel* Refusal() const { return m_refusal; }
    const CBrightnessSlider& Slider() const { return m_slider; }

    void Init(CDisplay* display);
    // Reads the monitor's brightness again (see CBrightnessSlider::Reread).
    void Reread(bool firstBrightnessPage);
    // The user moved the bar to `position`.
    void Move(int position);

private:
    void Show();

    CBrightnessSlider m_slider;
    QSlider* m_bar = nullptr;
    QLabel* m_level = nullptr;
    QLabel* m_refusal = nullptr;
    bool m_placing = false;
};
