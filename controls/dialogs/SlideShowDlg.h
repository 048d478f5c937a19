#pragma once
// The slide show's control bar: six picture buttons in a row of 144 x 24
// pixels (play, pause, previous, next, settings, close) that report their
// code to the owner through notify (message, code, 0). Play and pause
// show which of the two is in force: the one last pressed stays pushed in
// (play at the start).

#include "controls/support/NotifyMessage.h"

#include <QAbstractButton>
#include <QImage>
#include <QWidget>

// A button drawn with two pictures, raised and pressed in (the latter also
// while a checkable button is checked).
class CSlideShowButton : public QAbstractButton
{
    Q_OBJECT
public:
    CSlideShowButton(int upBitmap, int downBitmap, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_up;
    QImage m_down;
};

class CSlideShowDlg : public QWidget, public NotifyMessageSupport<CSlideShowDlg>
{
    Q_OBJECT
public:
    enum Code
    {
        kPlay = 0,
        kPause = 1,
        kPrevious = 2,
        kNext = 3,
        kClose = 4,
        kSettings = 5
    };

    explicit CSlideShowDlg(QWidget* parent = nullptr);

    // The button of a code, for the owner's state and for tests.
    CSlideShowButton* button(Code code) const;

signals:
    void notify(int message, int code, qint64 value);

private:
    CSlideShowButton* m_buttons[6] = {};
};
