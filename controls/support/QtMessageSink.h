#pragma once
// The GUI's message sink: every message that the layers below the windows
// (and the windows themselves) show by string number becomes a modal
// QMessageBox titled with the application's name. The program registers one
// for its run with a ScopedMessageSink (core/MessageSink.h); tests register
// a recording sink instead.
//
// Call it on the user-interface thread, as every widget.

#include "core/MessageSink.h"

#include <QMessageBox>
#include <QString>

#include <string>
#include <vector>

class QtMessageSink : public IMessageSink
{
public:
    // Shows the box over the active window and waits for the answer.
    int ShowMessage(int stringId, const std::vector<std::string>& args, MessageButtons buttons,
                    MessageIcon icon) override;

    // The text of the box: the table's text of the number with the
    // arguments filled in (controls/support/MessageText.h); for a number the table
    // lacks, "(message N)" with the arguments under it.
    static QString MessageText(int stringId, const std::vector<std::string>& args);
    // The title of every box: the application's name, string 3024.
    static QString MessageTitle();
};

// The buttons of a box with the given choice, in the order shown; the first
// is the default button, as in the design's boxes.
QMessageBox::StandardButtons MessageBoxButtons(MessageButtons buttons);
// The text a standard button of the boxes shows: the texts the design's
// boxes read and its messages name ("［いいえ］を選択し", "［キャンセル］"),
// OK, キャンセル, はい(&Y), いいえ(&N); empty for another button.
QString MessageButtonText(QMessageBox::StandardButton button);
QMessageBox::Icon MessageBoxIcon(MessageIcon icon);
// The button that Esc and the title bar's close box stand for: Cancel where
// there is one, else No, else OK.
QMessageBox::StandardButton MessageEscapeButton(MessageButtons buttons);
// The answer code (kMessageOk ...) of a clicked button; a box closed without
// a button answers as its escape button.
int MessageAnswer(QMessageBox::StandardButton clicked, MessageButtons buttons);
