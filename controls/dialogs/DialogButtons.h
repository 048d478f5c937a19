#pragma once
// The OK and Cancel buttons of a modal dialog, as every dialog of the
// program has them: objectNames "1" (OK, the default button) and "2"
// (Cancel, "キャンセル"), wired to the dialog's accept() and reject().

class QDialog;
class QDialogButtonBox;

QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog);
