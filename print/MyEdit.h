#pragma once
// CMyEdit: the numeric edit of the print dialogs. It holds a whole number,
// or a fixed-point number with a few decimals held as a whole number of its
// last digit (with one decimal, 12.5 is held as 125), and the up and down
// arrow keys step that number by one unit within Minimum..Maximum.
//
// The bounds act on the arrow keys only: typed text is never clamped or
// rewritten by the control, the owning dialog checks what was typed.
//
// Notification (see NotifyMessage.h): code kChange with the new value after
// every change the user makes, by typing or by an arrow key. Texts the
// program writes (SetValue, setText) are not reported, so an owner that
// writes into its own edits never hears them back.

#include "controls/support/NotifyMessage.h"
#include "controls/widgets/EditExLogic.h"

#include <QLineEdit>

#include <string>
#include <string_view>

// 10^decimals as an integer; decimals are held to 0..9 so the power fits.
int MyEditScale(int decimals);

// The value a text stands for: Integer mode reads the leading whole number;
// Real mode reads the leading real number, times 10^decimals, truncated
// toward zero. A text typed with at most that many decimals reads exactly
// the number typed ("2.3" with one decimal is 23, although 2.3 x 10 is
// 22.999... in binary). Values beyond int saturate; a text without a
// number reads 0.
int MyEditValueFromText(EditMode mode, int decimals, std::string_view text);

// The text of a value: "%d" in Integer mode; value / 10^decimals printed
// with that many decimals in Real mode.
std::string MyEditTextFromValue(EditMode mode, int decimals, int value);

class CMyEdit : public QLineEdit, public NotifyMessageSupport<CMyEdit>
{
    Q_OBJECT
    friend class NotifyMessageSupport<CMyEdit>;

public:
    enum Code
    {
        kChange = 0,
    };

    explicit CMyEdit(QWidget* parent = nullptr);

    // Set by the owner after creating the control.
    int Maximum = 0;
    int Minimum = 0;
    EditMode Mode = EditMode::Integer; // Integer or Real (fixed-point)
    int Decimals = 0;                  // digits after the point in Real mode

    int GetValue() const;
    // Shows the value in the control's form; not reported to the owner.
    void SetValue(int value);

signals:
    void notify(int message, int code, qint64 value);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
