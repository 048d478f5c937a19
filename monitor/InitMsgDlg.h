#pragma once
// CInitMsgDlg: the introduction shown once after the main window opens,
// unless switched off. Two ways in: the image viewer (the main window
// itself, OK) or the monitor's colour-adjustment wizard (code 5); a link to
// the maker's page with the latest version; a check box that stops the
// dialog from being shown again.

#include "controls/dialogs/DialogCodes.h"
#include "controls/support/ResourceImages.h"

#include <QDialog>

class CLinkText;
class QCheckBox;
class QLabel;
class QPushButton;

class CInitMsgDlg : public QDialog
{
    Q_OBJECT
public:
    // What exec() returns.
    static constexpr int kIdOk = kDialogOk;         // start the viewer
    static constexpr int kIdCancel = kDialogCancel; // closed by the close box or Escape
    static constexpr int kIdStartWizard = 5;

    // Control numbers of the template, the widgets' objectNames.
    static constexpr int kIdcStartViewer = 1;
    static constexpr int kIdcDoNotShow = 1305;
    static constexpr int kIdcStartWizard = 1315;
    static constexpr int kIdcTunerNote = 1393;
    static constexpr int kIdcProgramLine = 1394;
    static constexpr int kIdcWizardPointer = 1395;
    static constexpr int kIdcViewerPointer = 1396;
    static constexpr int kIdcLink = 1397;

    static constexpr int kBitmapIntroduction = ::kBitmapIntroduction;
    static constexpr int kIconApplication = ::kIconApplication;

    // The maker's page with the latest version of the program.
    static constexpr const char* kMakerPage = "https://quillbrake.example/chromivel/";

    explicit CInitMsgDlg(QWidget* parent = nullptr);

    // The do-not-show-again check box, read after exec().
    bool DoNotShowAgain = false;

    void writeControls();
    bool readControls();

public slots:
    void done(int code) override;
    void reject() override;

private:
    QCheckBox* m_doNotShow = nullptr;
    CLinkText* m_link = nullptr;
};

// The main frame's start-up use of the dialog: nothing when the global
// setting SkipInitMsg is set (result 0); else the dialog, its check box
// stored into SkipInitMsg, and exec()'s code returned.
int ShowInitMsgDlg(QWidget* parent = nullptr);
