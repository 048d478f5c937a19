#pragma once
// How every custom control reports to its owner.
//
// The owner gives each control a message number from its own block
// (setNotifyMessage) and connects the control's notify signal to one slot
// that dispatches on the number, as a message map would. The control emits
// notify(message, code, value) synchronously, and only while its number is
// not 0; it never changes the number itself. Each control lists its codes.
//
// A Qt signal must be declared in the class that emits it, so each control
// declares
//     signals: void notify(int message, int code, qint64 value);
// and derives from NotifyMessageSupport<itself>, which holds the number and
// does the emitting. Painted controls derive from CControlWidget, which
// already does both.

#include <QObject>

template <class Control>
class NotifyMessageSupport
{
public:
    void setNotifyMessage(int message) { m_notifyMessage = message; }
    int notifyMessage() const { return m_notifyMessage; }

protected:
    ~NotifyMessageSupport() = default;

    // Emits notify when a message number is set. Returns whether it did.
    bool sendNotify(int code, qint64 value)
    {
        if (m_notifyMessage == 0)
            return false;
        emit static_cast<Control*>(this)->notify(m_notifyMessage, code, value);
        return true;
    }

private:
    int m_notifyMessage = 0;
};
