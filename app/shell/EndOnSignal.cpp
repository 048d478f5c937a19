#include "app/shell/EndOnSignal.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

CEndOnSignal::CEndOnSignal()
{
    if (m_signals.Descriptor() < 0)
        return;
    m_notifier = new QSocketNotifier(m_signals.Descriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CEndOnSignal::OnSignal);
}

CEndOnSignal::~CEndOnSignal()
{
    // The notifier goes before the descriptor it watches is closed.
    delete m_notifier;
    m_notifier = nullptr;
}

void CEndOnSignal::OnSignal()
{
    if (m_signals.Take() == 0)
        return;
    m_requested = true;

    // Innermost first: the dialog that holds the user, then the others.
    QList<QPointer<QWidget>> open;
    if (QWidget* modal = QApplication::activeModalWidget())
        open.append(modal);
    for (QWidget* widget : QApplication::topLevelWidgets())
    {
        if (widget->isVisible() && qobject_cast<QDialog*>(widget) != nullptr &&
            !open.contains(widget))
            open.append(widget);
    }
    for (const QPointer<QWidget>& widget : open)
    {
        if (widget && widget->isVisible())
            widget->close();
    }
    // exit, not quit: quit would ask the main window to close, and its
    // close asks whether to save the list.
    QCoreApplication::exit(0);
}
