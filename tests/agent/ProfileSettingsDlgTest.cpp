// The profile settings dialog: format buttons, hidden luminances, OK and
// Cancel. exec() is driven by a zero-time timer that works the controls.

#include "agent/ProfileSettingsDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <functional>

namespace {

void EnsureApplication()
{
    if (QCoreApplication::instance() != nullptr)
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_agent";
    static char* argv[] = {name, nullptr};
    // Lives as long as the test program.
    static QApplication* application = new QApplication(argc, argv);
    (void)application;
}

template <typename T> T* Control(ProfileSettingsDlg& dialog, const char* id)
{
    T* control = dialog.findChild<T*>(QString::fromLatin1(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
}

// Runs the dialog; `act` works its controls once it is running.
int RunDialog(ProfileSettingsDlg& dialog, std::function<void()> act)
{
    QTimer::singleShot(0, &dialog, std::move(act));
    return dialog.exec();
}

class ProfileSettingsDlgTest : public ::testing::Test
{
protected:
    ProfileSettingsDlgTest() { EnsureApplication(); }
};

TEST_F(ProfileSettingsDlgTest, OkGivesBackTheChosenFormatAndTheLuminances)
{
    struct Case
    {
        int formatIn;
        const char* press; // "1000", "1001" or nullptr (leave the buttons)
        int formatOut;
    };
    const Case cases[] = {
        {ProfileSettingsDlg::kFormatIcc, nullptr, ProfileSettingsDlg::kFormatIcc},
        {ProfileSettingsDlg::kFormatDeviceModel, nullptr, ProfileSettingsDlg::kFormatDeviceModel},
        {ProfileSettingsDlg::kFormatIcc, "1001", ProfileSettingsDlg::kFormatDeviceModel},
        {ProfileSettingsDlg::kFormatDeviceModel, "1000", ProfileSettingsDlg::kFormatIcc},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.formatIn);
        ProfileSettingsDlg dialog;
        dialog.SetFormat(c.formatIn);
        dialog.SetLuminances(200, 45, 130, 25);
        bool checkedAsSet = false;
        const int result = RunDialog(dialog, [&] {
            checkedAsSet = Control<QRadioButton>(dialog, "1000")->isChecked() ==
                               (c.formatIn == ProfileSettingsDlg::kFormatIcc) &&
                           Control<QRadioButton>(dialog, "1001")->isChecked() ==
                               (c.formatIn == ProfileSettingsDlg::kFormatDeviceModel);
            if (c.press != nullptr)
                Control<QRadioButton>(dialog, c.press)->click();
            Control<QPushButton>(dialog, "1")->click();
        });
        EXPECT_TRUE(checkedAsSet);
        EXPECT_EQ(result, ProfileSettingsDlg::kIdOk);
        EXPECT_EQ(dialog.Format(), c.formatOut);
        EXPECT_EQ(dialog.WhiteLuminance(), 200);
        EXPECT_EQ(dialog.RedLuminance(), 45);
        EXPECT_EQ(dialog.GreenLuminance(), 130);
        EXPECT_EQ(dialog.BlueLuminance(), 25);
    }
}

// Cancel (the button, or Esc and the close box) changes no value, whatever
// was done to the controls.
TEST_F(ProfileSettingsDlgTest, CancelChangesNothing)
{
    for (const bool byButton : {true, false})
    {
        SCOPED_TRACE(byButton);
        ProfileSettingsDlg dialog;
        dialog.SetFormat(ProfileSettingsDlg::kFormatIcc);
        dialog.SetLuminances(200, 45, 130, 25);
        const int result = RunDialog(dialog, [&] {
            Control<QRadioButton>(dialog, "1001")->click();
            Control<QLineEdit>(dialog, "1002")->setText("90");
            if (byButton)
                Control<QPushButton>(dialog, "2")->click();
            else
                dialog.reject();
        });
        EXPECT_EQ(result, ProfileSettingsDlg::kIdCancel);
        EXPECT_EQ(dialog.Format(), ProfileSettingsDlg::kFormatIcc);
        EXPECT_EQ(dialog.WhiteLuminance(), 200);
    }
}

// A format that is neither kind checks no button, and OK without a choice
// keeps it.
TEST_F(ProfileSettingsDlgTest, UnknownFormatSurvivesOkWithoutAChoice)
{
    ProfileSettingsDlg dialog;
    dialog.SetFormat(7);
    dialog.writeControls();
    EXPECT_FALSE(Control<QRadioButton>(dialog, "1000")->isChecked());
    EXPECT_FALSE(Control<QRadioButton>(dialog, "1001")->isChecked());
    ASSERT_TRUE(dialog.readControls());
    EXPECT_EQ(dialog.Format(), 7);
}

// The luminance edits are not offered to the user; a value that is not a
// whole number keeps the dialog open and the values unchanged.
TEST_F(ProfileSettingsDlgTest, LuminancesAreHiddenAndMustBeNumbers)
{
    ProfileSettingsDlg dialog;
    dialog.SetLuminances(200, 45, 130, 25);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("プロファイル形式選択"));
    EXPECT_EQ(Control<QRadioButton>(dialog, "1000")->text(), QString::fromUtf8("ICC 形式"));
    EXPECT_EQ(Control<QRadioButton>(dialog, "1001")->text(), QString::fromUtf8("CDMP 形式"));
    EXPECT_TRUE(Control<QRadioButton>(dialog, "1000")->isVisible());
    for (const char* id : {"1002", "1003", "1004", "1005"})
        EXPECT_FALSE(Control<QLineEdit>(dialog, id)->isVisible()) << id;
    for (const char* id : {"1007", "1008", "1009", "1010"})
        EXPECT_FALSE(Control<QLabel>(dialog, id)->isVisible()) << id;
    dialog.hide();

    const int result = RunDialog(dialog, [&] {
        Control<QLineEdit>(dialog, "1003")->setText("4x");
        Control<QPushButton>(dialog, "1")->click();
        EXPECT_TRUE(dialog.isVisible()) << "OK refused";
        Control<QLineEdit>(dialog, "1003")->setText("46");
        Control<QPushButton>(dialog, "1")->click();
    });
    EXPECT_EQ(result, ProfileSettingsDlg::kIdOk);
    EXPECT_EQ(dialog.RedLuminance(), 46);
    EXPECT_EQ(dialog.WhiteLuminance(), 200);
}

} // namespace
