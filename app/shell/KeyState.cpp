#include "app/shell/KeyState.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QPointer>

Qt::KeyboardModifiers IKeyState::modifiersDown() const
{
    // Only a GUI application can ask the window system.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        return Qt::NoModifier;
    return QGuiApplication::queryKeyboardModifiers();
}

namespace {

class SpaceBarFilter final : public QObject, public IKeyState
{
public:
    explicit SpaceBarFilter(QObject* application) : QObject(application)
    {
        application->installEventFilter(this);
    }

    bool spaceBarDown() const override { return m_down; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type())
        {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        {
            const auto* key = static_cast<QKeyEvent*>(event);
            // A held key repeats as release and press pairs: only the last
            // real release counts.
            if (key->key() == Qt::Key_Space && !key->isAutoRepeat())
                m_down = event->type() == QEvent::KeyPress;
            break;
        }
        case QEvent::ApplicationDeactivate:
            m_down = false;
            break;
        case QEvent::ApplicationStateChange:
            if (static_cast<QApplicationStateChangeEvent*>(event)->applicationState() !=
                Qt::ApplicationActive)
                m_down = false;
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_down = false;
};

class NoKeyboard final : public IKeyState
{
public:
    bool spaceBarDown() const override { return false; }
    Qt::KeyboardModifiers modifiersDown() const override { return Qt::NoModifier; }
};

} // namespace

const IKeyState& SystemKeyState()
{
    // Made for the application and destroyed with it (its child).
    static QPointer<SpaceBarFilter> filter;
    static const NoKeyboard none;
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr)
        return none;
    if (filter.isNull() || filter->parent() != application)
        filter = new SpaceBarFilter(application);
    return *filter;
}
