#pragma once
// CEditEx: the numeric edit field of the panels, dialogs and the monitor
// wizard. It filters keystrokes by mode, clamps the value to its range,
// rewrites the text in a canonical form and reports to its owner.
//
// Commit points, where the text is validated and reported: Enter (which
// the field consumes, so a dialog's default button is not pressed), focus
// loss (or, with CommitTimer set, 1000 ms after the last accepted key or
// Delete), a paste, and every text the program writes through
// SetWindowText (and so SetDouble and SetInt).
//
// Notification (see NotifyMessage.h): code 0 after every validation,
// whether or not the text changed, while NotifyEnabled is set. The value is
// 0: the owner reads the field (GetDouble, GetInt) to learn the number.
// An owner that writes into the field from inside its notify slot gets
// the text validated but no second report, so it cannot recurse.

#include "controls/support/ColorRef.h"
#include "controls/support/NotifyMessage.h"
#include "controls/widgets/EditExLogic.h"

#include <QClipboard>
#include <QLineEdit>
#include <QTimer>

class QLabel;

class CEditEx : public QLineEdit, public NotifyMessageSupport<CEditEx>
{
    Q_OBJECT
public:
    explicit CEditEx(QWidget* parent = nullptr);

    // Set by the owner after construction. With the initial ranges (0, 0)
    // every value clamps to 0: an owner sets the range of the mode it uses.
    EditMode Mode = EditMode::Integer;
    short Decimals = 0; // digits after the point in Real mode (0..15 used)
    double RealMin = 0.0;
    double RealMax = 0.0;
    int IntMin = 0;
    int IntMax = 0;
    QString ExcludedChars; // CharFilter mode: characters refused when typed or pasted
    bool SelectAllOnFocus = false;
    COLORREF TextColor;              // the palette's text colour at construction
    COLORREF BackColor;              // the palette's base colour at construction
    bool CommitTimer = false;        // commit 1000 ms after the last key instead of on focus loss
    bool NotifyEnabled = true;       // cleared by owners writing a value they don't want reported
    bool ForwardLButtonDown = false; // report left-button presses through lButtonDownForwarded

    // Writes text as the program's value: sets it, then validates,
    // reformats and reports it like a typed text (no report while
    // NotifyEnabled is clear).
    void SetWindowText(const QString& text);

    // Clamps and reformats the text for the mode, rewriting it only when it
    // changes (so the caret stays), then reports.
    void ValidateAndNotify();

    // value printed with Decimals digits and written through SetWindowText.
    void SetDouble(double value);
    // The leading real number of the text; 0 when there is none.
    double GetDouble() const;
    // value printed in decimal and written through SetWindowText.
    void SetInt(int value);
    // The leading decimal integer of the text brought into int; 0 when
    // there is none.
    int GetInt() const;

    // The same for any window that shows a text: a CEditEx (through its
    // SetWindowText), another QLineEdit, a QLabel or a button. Integers are
    // read in base 10 ("012" is 12). A widget without a text reads 0 and
    // ignores a write.
    static void SetInt(QWidget* window, int value);
    static int GetInt(const QWidget* window);

    // Pastes the clipboard's text at the caret unless the mode refuses it,
    // then validates and reports. Ctrl+V, Shift+Insert and the context
    // menu's Paste come here.
    void Paste(QClipboard::Mode mode = QClipboard::Clipboard);

    // The timer of CommitTimer (single shot, 1000 ms); tests fire it.
    const QTimer& commitTimer() const { return m_commitTimer; }

signals:
    void notify(int message, int code, qint64 value);
    // A left-button press at pos (in the field's coordinates) while
    // ForwardLButtonDown is set; emitted before the field handles the press.
    void lButtonDownForwarded(const QPoint& pos, Qt::KeyboardModifiers modifiers);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool TakesChar(char32_t ch) const;
    bool TakesPaste(QClipboard::Mode mode) const;
    void RestartCommitTimer();
    void OnCommitTimer();
    void ApplyColors();

    QTimer m_commitTimer;
    bool m_selfUpdate = false; // the field is rewriting its own text
    bool m_notifying = false;  // a report is being delivered
};
