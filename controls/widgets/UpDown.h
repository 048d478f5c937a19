#pragma once
// CUpDown: the arrow pair beside an edit. It holds a position within a
// range and reports as a scroll bar does: every step (a click, or the
// auto-repeat while an arrow is held) is ThumbPosition with the new
// position; letting the arrow go is EndScroll. The owner mirrors the
// position into its edit, and takes the value over on EndScroll.
//
// Vertical: the upper arrow raises the position. Horizontal: the right
// arrow raises it. With wrap on, stepping past an end goes to the other
// end; without it the position stops at the end (still reported, so the
// owner sees the step).
//
// SetPos and SetRange write quietly: a value the program sets is never
// reported back.

#include "controls/support/NotifyMessage.h"

#include <QWidget>

class QToolButton;

class CUpDown : public QWidget, public NotifyMessageSupport<CUpDown>
{
    Q_OBJECT
    friend class NotifyMessageSupport<CUpDown>;

public:
    // The scroll codes, numbered as the scroll messages number them.
    enum Code
    {
        kThumbPosition = 4,
        kEndScroll = 8,
    };

    explicit CUpDown(Qt::Orientation orientation = Qt::Vertical, QWidget* parent = nullptr);

    void SetRange(int lower, int upper);
    int GetLower() const { return m_lower; }
    int GetUpper() const { return m_upper; }
    void SetPos(int position);
    int GetPos() const { return m_position; }
    void SetWrap(bool wrap) { m_wrap = wrap; }
    Qt::Orientation GetOrientation() const { return m_orientation; }

    // One step up (+1) or down (-1), as a click on an arrow does; reports
    // ThumbPosition. EndScroll follows when the arrow is let go.
    void Step(int direction);
    void EndScroll();

    QToolButton* UpButton() const { return m_up; }
    QToolButton* DownButton() const { return m_down; }

signals:
    void notify(int message, int code, qint64 value);

private:
    Qt::Orientation m_orientation;
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
    int m_lower = 0;
    int m_upper = 100;
    int m_position = 0;
    bool m_wrap = false;
};
