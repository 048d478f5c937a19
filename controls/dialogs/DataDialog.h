#pragma once
// The modal dialog of the program: the owner sets the dialog's public data,
// exec() writes it into the controls and runs the dialog, OK reads the
// controls back (a refused read keeps the dialog open) and ends with
// kDialogOk; Cancel, Esc and the close box end with kDialogCancel.
// A dialog overrides accept() or reject() only where it does more.

#include "controls/dialogs/DialogCodes.h"

#include <QDialog>

class CDataDialog : public QDialog
{
public:
    using QDialog::QDialog;

    // The dialog's data into its controls.
    virtual void writeControls() {}
    // The controls into the dialog's data; false keeps the dialog open.
    virtual bool readControls() { return true; }

    int exec() override
    {
        writeControls();
        return QDialog::exec();
    }
    void accept() override
    {
        if (readControls())
            done(kDialogOk);
    }
    void reject() override { done(kDialogCancel); }
};
