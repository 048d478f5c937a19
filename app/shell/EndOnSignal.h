#pragma once
// SIGINT, SIGTERM and SIGHUP (a session's end, `kill`, Ctrl+C in a
// terminal) end CHROMIVEL in order, as closing its main window does but
// without the questions: no "save the list?" box, no dialog. On the event
// loop's thread, the dialogs that are open are closed as their close box
// does (a message box gives its Esc answer, a progress window is
// cancelled, any other dialog is rejected) and every event loop is told to
// end; a dialog that opens on the way out returns at once. main() then
// takes the normal way out: the main window goes (settings written, the
// DDC/CI busy value "State" set to 1, the project's temporary files
// removed) and the exit status is that of a normal end.

#include "platform/TerminationSignals.h"

#include <QObject>

class QSocketNotifier;

class CEndOnSignal : public QObject
{
public:
    // Takes the signals over until destroyed.
    CEndOnSignal();
    ~CEndOnSignal() override;
    CEndOnSignal(const CEndOnSignal&) = delete;
    CEndOnSignal& operator=(const CEndOnSignal&) = delete;

    // A signal came: the program is on its way out (main() must not start
    // its event loop after a signal that came during the start-up).
    bool IsRequested() const { return m_requested; }

private:
    void OnSignal();

    platform::TerminationSignals m_signals;
    QSocketNotifier* m_notifier = nullptr;
    bool m_requested = false;
};
