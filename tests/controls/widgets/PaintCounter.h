#pragma once
// Counts the paint events a widget receives, to tell a repaint from none.

#include <QEvent>
#include <QObject>

class PaintCounter final : public QObject
{
public:
    explicit PaintCounter(QObject* watched) { watched->installEventFilter(this); }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }

    int count = 0;
};
