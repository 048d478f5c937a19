#pragma once
// The wait cursor over the whole application for as long as the guard
// lives (the design's CWaitCursor).

#include <QApplication>

class WaitCursorGuard
{
public:
    WaitCursorGuard() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursorGuard() { QApplication::restoreOverrideCursor(); }
    WaitCursorGuard(const WaitCursorGuard&) = delete;
    WaitCursorGuard& operator=(const WaitCursorGuard&) = delete;
};
