#pragma once
// The agent's profile settings: which kind of profile it writes for the
// monitor (an ICC profile or a WCS device-model profile) and the four
// luminances a device-model profile is scaled with.
//
// The user sees only the two format buttons; the luminance edits and their
// labels exist, hidden, so that the values pass through the dialog
// unchanged. The owner sets format and luminances, runs exec() and reads them
// back: OK takes the controls' values, Cancel leaves every value as it was.
//
// Controls carry the agent's control IDs as object names: "1000" ICC, "1001"
// device model, "1002".."1005" white, red, green, blue luminance, "1" OK,
// "2" Cancel.

#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class ProfileSettingsDlg : public QDialog
{
    Q_OBJECT

public:
    // Results of exec().
    static constexpr int kIdOk = 1;
    static constexpr int kIdCancel = 2;

    // Profile formats.
    static constexpr int kFormatIcc = 0;
    static constexpr int kFormatDeviceModel = 1;

    explicit ProfileSettingsDlg(QWidget* parent = nullptr);

    void SetFormat(int format) { m_format = format; }
    int Format() const { return m_format; }

    void SetLuminances(int white, int red, int green, int blue);
    int WhiteLuminance() const { return m_white; }
    int RedLuminance() const { return m_red; }
    int GreenLuminance() const { return m_green; }
    int BlueLuminance() const { return m_blue; }

    // Writes the values into the controls, then runs the dialog: kIdOk or
    // kIdCancel.
    int exec() override;

    // Values -> controls: the format's button is checked (none for a format
    // that is neither), the luminances go into their edits.
    void writeControls();
    // Controls -> values: the checked button sets the format (no button
    // checked: the format stays); the edits give the luminances. False, with
    // nothing changed, when an edit does not hold a whole number.
    bool readControls();

public slots:
    void accept() override;
    void reject() override;

private:
    int m_format = kFormatIcc;
    QRadioButton* m_deviceModelButton = nullptr;
    QRadioButton* m_iccButton = nullptr;
    int m_blue = 0;
    int m_green = 0;
    int m_red = 0;
    int m_white = 0;

    QButtonGroup* m_formatGroup = nullptr;
    QGroupBox* m_luminanceBox = nullptr;
    QLineEdit* m_whiteEdit = nullptr;
    QLineEdit* m_redEdit = nullptr;
    QLineEdit* m_greenEdit = nullptr;
    QLineEdit* m_blueEdit = nullptr;
};
