#include "controls/widgets/EditEx.h"

#include <QAbstractButton>
#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPalette>

#include <memory>

namespace {

constexpr int kCommitDelayMs = 1000;

// Sets a flag for the length of a scope.
class FlagScope
{
public:
    explicit FlagScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagScope() { m_flag = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
};

// A character the field's filter leaves alone: control characters other
// than backspace (Esc, Tab, the line feeds) go on to the dialog.
bool IsPassedControlChar(char32_t ch)
{
    return ch != 8 && (ch < 0x20 || ch == 0x7F);
}

// The Paste entry of a line edit's standard context menu: named
// "edit-paste" by newer Qt versions; before that, the entry whose text ends
// with the paste shortcut (the text itself is translated).
QAction* FindPasteAction(const QMenu& menu)
{
    const QString shortcut =
        QLatin1Char('\t') + QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
    for (QAction* action : menu.actions())
    {
        if (action->objectName() == QLatin1String("edit-paste") ||
            (!action->isSeparator() && action->text().endsWith(shortcut)))
            return action;
    }
    return nullptr;
}

QString WindowText(const QWidget* window)
{
    if (const auto* edit = qobject_cast<const QLineEdit*>(window))
        return edit->text();
    if (const auto* label = qobject_cast<const QLabel*>(window))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(window))
        return button->text();
    return {};
}

} // namespace

CEditEx::CEditEx(QWidget* parent)
    : QLineEdit(parent), TextColor(RefFromColor(palette().color(QPalette::Text))),
      BackColor(RefFromColor(palette().color(QPalette::Base)))
{
    // A drop would put text in past the filter; the field takes none.
    setAcceptDrops(false);
    m_commitTimer.setSingleShot(true);
    m_commitTimer.setInterval(kCommitDelayMs);
    connect(&m_commitTimer, &QTimer::timeout, this, &CEditEx::OnCommitTimer);
}

void CEditEx::SetWindowText(const QString& text)
{
    QLineEdit::setText(text);
    if (!m_selfUpdate)
        ValidateAndNotify();
}

void CEditEx::ValidateAndNotify()
{
    const QString current = text();
    const EditExLimits limits{Decimals, RealMin, RealMax, IntMin, IntMax};
    const QString candidate =
        QString::fromStdString(ValidatedEditText(Mode, current.toStdString(), limits));
    if (candidate != current)
    {
        FlagScope selfUpdate(m_selfUpdate);
        QLineEdit::setText(candidate);
    }
    // A write from the owner's notify slot is validated above but not
    // reported again: the owner is still handling the first report.
    if (NotifyEnabled && !m_notifying)
    {
        FlagScope notifying(m_notifying);
        sendNotify(0, 0);
    }
}

void CEditEx::SetDouble(double value)
{
    SetWindowText(QString::fromStdString(FormatReal(value, Decimals)));
}

double CEditEx::GetDouble() const
{
    return ParseLeadingReal(text().toStdString());
}

void CEditEx::SetInt(int value)
{
    SetWindowText(QString::number(value));
}

int CEditEx::GetInt() const
{
    return SaturateToInt(ParseLeadingInteger(text().toStdString()));
}

void CEditEx::SetInt(QWidget* window, int value)
{
    const QString text = QString::number(value);
    if (auto* editEx = qobject_cast<CEditEx*>(window))
        editEx->SetWindowText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(window))
        edit->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(window))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(window))
        button->setText(text);
}

int CEditEx::GetInt(const QWidget* window)
{
    return SaturateToInt(ParseLeadingInteger(WindowText(window).toStdString()));
}

bool CEditEx::TakesChar(char32_t ch) const
{
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int end = hasSelectedText() ? selectionEnd() : cursorPosition();
    return EditExTakesChar(Mode, ch, text().startsWith(QLatin1Char('-')), start, end,
                           ExcludedChars.toStdU32String());
}

bool CEditEx::TakesPaste(QClipboard::Mode mode) const
{
    if (Mode != EditMode::CharFilter || ExcludedChars.isEmpty())
        return true;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr)
        return true;
    return EditExTakesPaste(clipboard->text(mode).toStdU32String(), ExcludedChars.toStdU32String());
}

void CEditEx::Paste(QClipboard::Mode mode)
{
    if (isReadOnly() || !TakesPaste(mode))
        return;
    if (mode == QClipboard::Clipboard)
        QLineEdit::paste();
    else if (const QClipboard* clipboard = QGuiApplication::clipboard())
        insert(clipboard->text(mode));
    ValidateAndNotify();
}

void CEditEx::RestartCommitTimer()
{
    if (CommitTimer)
        m_commitTimer.start();
}

void CEditEx::OnCommitTimer()
{
    ValidateAndNotify();
}

void CEditEx::keyPressEvent(QKeyEvent* event)
{
    // Enter commits here and goes no further: the dialog's default button
    // is not pressed.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
    {
        ValidateAndNotify();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste))
    {
        Paste();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Delete)
    {
        QLineEdit::keyPressEvent(event);
        RestartCommitTimer();
        return;
    }
    // With Alt or Ctrl held the key is a command, not a character.
    if (event->modifiers() & (Qt::AltModifier | Qt::ControlModifier))
    {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const std::u32string typed = event->key() == Qt::Key_Backspace ? std::u32string(1, char32_t{8})
                                                                   : event->text().toStdU32String();
    if (typed.empty() || IsPassedControlChar(typed.front()))
    {
        QLineEdit::keyPressEvent(event);
        return;
    }
    for (char32_t ch : typed)
    {
        if (!TakesChar(ch))
        {
            event->accept(); // dropped without a sound
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
    RestartCommitTimer();
}

void CEditEx::inputMethodEvent(QInputMethodEvent* event)
{
    // Text composed by an input method is typed text too: a commit holding
    // a character the filter refuses is dropped whole.
    const QString commit = event->commitString();
    if (commit.isEmpty())
    {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    for (char32_t ch : commit.toStdU32String())
    {
        if (!TakesChar(ch))
        {
            QInputMethodEvent withoutCommit(event->preeditString(), event->attributes());
            QLineEdit::inputMethodEvent(&withoutCommit);
            event->accept();
            return;
        }
    }
    QLineEdit::inputMethodEvent(event);
    RestartCommitTimer();
}

void CEditEx::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    // Posted, so that a click that gave the focus does not place the caret
    // over the selection afterwards.
    if (SelectAllOnFocus)
        QTimer::singleShot(0, this, &QLineEdit::selectAll);
}

void CEditEx::focusOutEvent(QFocusEvent* event)
{
    // A popup (the context menu) takes the focus only for a moment: that is
    // no commit point.
    if (!CommitTimer && event->reason() != Qt::PopupFocusReason)
        ValidateAndNotify();
    QLineEdit::focusOutEvent(event);
}

void CEditEx::mousePressEvent(QMouseEvent* event)
{
    if (ForwardLButtonDown && event->button() == Qt::LeftButton)
        emit lButtonDownForwarded(event->position().toPoint(), event->modifiers());
    QLineEdit::mousePressEvent(event);
}

void CEditEx::mouseReleaseEvent(QMouseEvent* event)
{
    // The middle button pastes the X11 selection: the same check as a paste.
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (event->button() == Qt::MiddleButton && clipboard != nullptr &&
        clipboard->supportsSelection())
    {
        Paste(QClipboard::Selection);
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void CEditEx::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu(createStandardContextMenu());
    if (QAction* paste = FindPasteAction(*menu))
    {
        paste->disconnect();
        connect(paste, &QAction::triggered, this, [this] { Paste(); });
    }
    menu->exec(event->globalPos());
}

void CEditEx::ApplyColors()
{
    const QColor text = ColorFromRef(TextColor);
    const QColor back = ColorFromRef(BackColor);
    QPalette colors = palette();
    if (colors.color(QPalette::Text) == text && colors.color(QPalette::Base) == back)
        return;
    colors.setColor(QPalette::Text, text);
    colors.setColor(QPalette::Base, back);
    setPalette(colors);
}

void CEditEx::paintEvent(QPaintEvent* event)
{
    ApplyColors();
    QLineEdit::paintEvent(event);
}
