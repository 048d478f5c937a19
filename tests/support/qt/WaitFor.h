#pragma once
// Waiting in a test for something the event loop brings about (a thread's
// result posted back, a window shown): events are processed until the
// condition holds, at most timeoutMs.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

namespace testsupport {

template <typename Condition> bool WaitFor(Condition condition, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition())
    {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(10);
    }
    return true;
}

} // namespace testsupport
