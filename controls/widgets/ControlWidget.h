#pragma once
// Base of the owner-painted controls: a plain widget that paints through a
// public paint(QPainter&) const, so tests can paint it into a QImage, and
// that reports to its owner through notify (see NotifyMessage.h).

#include "controls/support/NotifyMessage.h"

#include <QPainter>
#include <QWidget>

class CControlWidget : public QWidget, public NotifyMessageSupport<CControlWidget>
{
    Q_OBJECT
public:
    explicit CControlWidget(QWidget* parent = nullptr);

    // Paints the whole control into painter, whose device is at least the
    // control's size, origin at the control's top-left corner.
    virtual void paint(QPainter& painter) const = 0;

    // The control painted alone into an image of its size.
    QImage renderToImage() const;

signals:
    void notify(int message, int code, qint64 value);

protected:
    void paintEvent(QPaintEvent* event) override;

};

// Restores the painter's state when it goes out of scope.
class PainterStateGuard
{
public:
    explicit PainterStateGuard(QPainter& painter) : m_painter(painter) { m_painter.save(); }
    ~PainterStateGuard() { m_painter.restore(); }
    PainterStateGuard(const PainterStateGuard&) = delete;
    PainterStateGuard& operator=(const PainterStateGuard&) = delete;

private:
    QPainter& m_painter;
};
