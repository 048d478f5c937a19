// The manual mode driven through exec() by objectName: the model's steps
// forward and back with the buttons' states, the final page's list or
// field, the profile that Finish writes, installs and associates, the
// refusals that keep the dialog on its final page, Cancel's question, and a
// model without data or steps ending the dialog at once as a failure.

#include "monitor/ManualModeDlg.h"

#include "controls/dialogs/DialogCodes.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/ImageCtrl.h"
#include "core/CIEColor.h"
#include "core/MessageSink.h"
#include "monitor/MonitorModelData.h"
#include "platform/ColorDirectory.h"

#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

using testsupport::PrivateUserFolders;
using testsupport::RecordingMessageSink;
using testsupport::WriteTextFile;

namespace {

// The simulated monitor's model as the build lays out its data: four
// steps, the presets Native, 5000, 6500 and 9300, gamma 2.2.
constexpr int kSimulatedModel = 0x1234;
constexpr const char* kDevice = "MONITOR\\QBX1234\\SIM-1";

// A model of the test's own, in its own program folder.
constexpr int kOwnModel = 0xABCD;

template <typename T> T* Control(QWidget& dialog, int id)
{
    T* control = dialog.findChild<T*>(QString::number(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
}

QPushButton* Button(QWidget& dialog, int id)
{
    return Control<QPushButton>(dialog, id);
}

// Runs `act` on the dialog once exec() has shown it; a dialog that `act`
// leaves open is closed with code -1, so that a failing test cannot hang.
int ExecWith(CManualModeDlg& dialog, const std::function<void(CManualModeDlg&)>& act)
{
    QTimer::singleShot(0, &dialog, [&dialog, act] {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        act(dialog);
        if (dialog.isVisible())
            dialog.done(-1);
    });
    return dialog.exec();
}

struct LcmsProfileDeleter
{
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using LcmsProfile = std::unique_ptr<void, LcmsProfileDeleter>;

class ManualModeDlgTest : public ::testing::Test
{
protected:
    ManualModeDlgTest() { std::filesystem::create_directories(folders.File("program/Data/ABCD")); }

    std::unique_ptr<CManualModeDlg> SimulatedModelDialog()
    {
        auto dialog = std::make_unique<CManualModeDlg>(
            kSimulatedModel, QString::fromLatin1(kDevice), QStringLiteral("card0-DP-1"));
        dialog->SetProgramFolder(QB_SHARE_DIR);
        return dialog;
    }

    std::unique_ptr<CManualModeDlg> OwnModelDialog()
    {
        auto dialog = std::make_unique<CManualModeDlg>(kOwnModel, QString::fromLatin1(kDevice),
                                                       QStringLiteral("card0-DP-1"));
        dialog->SetProgramFolder(folders.File("program"));
        return dialog;
    }

    // The test's model: sRGB primaries, gamma 2.2, `steps` steps and the
    // given extra ini text.
    void WriteOwnModel(const std::string& settings, const std::string& extra = "")
    {
        WriteTextFile(folders.File("program/Data/ABCD/ABCD.ini"),
                      "[PrimaryColor]\nRed_x=0.64\nRed_y=0.33\nGreen_x=0.30\nGreen_y=0.60\n"
                      "Blue_x=0.15\nBlue_y=0.06\nWhite_x=0.3127\nWhite_y=0.3290\nGamma=2.2\n"
                      "[Settings]\nModelName=OwnModel\n" +
                          settings + "\n" + extra);
    }

    // The colour directory's profiles but the sRGB one every directory has.
    static std::vector<std::string> WrittenProfiles()
    {
        std::vector<std::string> names = platform::ListInstalledProfiles();
        std::erase(names, std::string(platform::kSRGBProfileFileName));
        return names;
    }

    std::string ColorDir() const { return folders.File("data/icc/"); }

    PrivateUserFolders folders;
};

// The state of the page the dialog shows.
void ExpectPage(CManualModeDlg& dialog, int step, const CMonitorModelData& model)
{
    const int count = model.StepCount();
    const bool last = step == count + 1;
    EXPECT_EQ(dialog.CurrentStep(), step);
    EXPECT_EQ(Button(dialog, CManualModeDlg::kIdcBack)->isEnabled(), step > 1) << step;
    EXPECT_EQ(Button(dialog, CManualModeDlg::kIdcCancel)->isEnabled(), !last) << step;
    EXPECT_EQ(Button(dialog, CManualModeDlg::kIdcNext)->text(),
              last ? QStringLiteral("完了") : QStringLiteral("次へ >"))
        << step;
    auto* picture = Control<CImageCtrl>(dialog, CManualModeDlg::kIdcPicture);
    EXPECT_EQ(picture->isVisible(), !last) << step;
    const QString text = Control<QLabel>(dialog, CManualModeDlg::kIdcText)->text();
    if (last)
        return;
    EXPECT_EQ(text, QString::fromStdString(model.StepText(step))) << step;
    EXPECT_FALSE(text.isEmpty()) << step;
    EXPECT_EQ(picture->path(), model.StepPicturePath(step)) << step;
    EXPECT_FALSE(picture->picture().isNull()) << step;
}

TEST_F(ManualModeDlgTest, StepsForwardAndBackThenFinishInstallsTheChosenPresetsProfile)
{
    RecordingMessageSink messages;
    ASSERT_TRUE(platform::AssociateDisplayProfile(kDevice, "Before.icm"));
    const CMonitorModelData model(kSimulatedModel, QB_SHARE_DIR);
    ASSERT_EQ(model.StepCount(), 4);

    auto dialog = SimulatedModelDialog();
    dialog->SetPreviousProfile("Before.icm");
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("色調整ウィザード（マニュアルモード）"));
    const int code = ExecWith(*dialog, [&](CManualModeDlg& d) {
        ExpectPage(d, 1, model);
        // Back does nothing on the first step.
        Button(d, CManualModeDlg::kIdcBack)->click();
        ExpectPage(d, 1, model);
        for (int step = 2; step <= 4; ++step)
        {
            QTest::mouseClick(Button(d, CManualModeDlg::kIdcNext), Qt::LeftButton);
            ExpectPage(d, step, model);
        }

        // The final page: the model's presets in order, the first chosen.
        QTest::mouseClick(Button(d, CManualModeDlg::kIdcNext), Qt::LeftButton);
        ExpectPage(d, 5, model);
        auto* presets = Control<QComboBox>(d, CManualModeDlg::kIdcPresets);
        EXPECT_TRUE(presets->isVisible());
        EXPECT_FALSE(Control<CEditEx>(d, CManualModeDlg::kIdcTemperature)->isVisible());
        QStringList texts;
        for (int i = 0; i < presets->count(); ++i)
            texts << presets->itemText(i);
        EXPECT_EQ(texts, (QStringList{"Native", "5000", "6500", "9300"}));
        EXPECT_EQ(presets->currentText(), QStringLiteral("Native"));
        EXPECT_EQ(Control<QLabel>(d, CManualModeDlg::kIdcText)->text(), LoadString(3058));

        // Back to the last step and forward again.
        QTest::mouseClick(Button(d, CManualModeDlg::kIdcBack), Qt::LeftButton);
        ExpectPage(d, 4, model);
        EXPECT_FALSE(presets->isVisible());
        QTest::mouseClick(Button(d, CManualModeDlg::kIdcNext), Qt::LeftButton);
        ExpectPage(d, 5, model);

        presets->setCurrentIndex(2);
        QTest::mouseClick(Button(d, CManualModeDlg::kIdcNext), Qt::LeftButton);
    });
    EXPECT_EQ(code, kDialogOk);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(dialog->ProfilePath(), ColorDir() + "QB-SIM24_6500K_22.icm");
    EXPECT_EQ(WrittenProfiles(), std::vector<std::string>{"QB-SIM24_6500K_22.icm"});
    // The new profile is the display's, the one it had is taken off.
    EXPECT_EQ(platform::DisplayProfiles(kDevice),
              std::vector<std::string>{"QB-SIM24_6500K_22.icm"});
}

TEST_F(ManualModeDlgTest, NativePresetGivesTheModelsOwnWhite)
{
    RecordingMessageSink messages;
    const CMonitorModelData model(kSimulatedModel, QB_SHARE_DIR);
    MonitorPrimaries primaries{};
    ASSERT_TRUE(model.LoadPrimaryColors(primaries));

    auto dialog = SimulatedModelDialog();
    const int code = ExecWith(*dialog, [](CManualModeDlg& d) {
        for (int i = 0; i < 5; ++i)
            Button(d, CManualModeDlg::kIdcNext)->click();
        EXPECT_EQ(Control<QComboBox>(d, CManualModeDlg::kIdcPresets)->currentText(),
                  QStringLiteral("Native"));
    });
    ASSERT_EQ(code, kDialogOk);
    EXPECT_EQ(dialog->ProfilePath(), ColorDir() + "QB-SIM24_NativeK_22.icm");

    LcmsProfile profile(cmsOpenProfileFromFile(dialog->ProfilePath().c_str(), "r"));
    ASSERT_TRUE(profile);
    const auto* wtpt =
        static_cast<const cmsCIEXYZ*>(cmsReadTag(profile.get(), cmsSigMediaWhitePointTag));
    ASSERT_NE(wtpt, nullptr);
    // The model's white at Y = 1, not a daylight white (D65 of the daylight
    // locus lies about 0.0008 away in x from the model's 0.3127).
    const CCIEXYZ white = CCIEYxy(1.0, primaries[kWhiteX], primaries[kWhiteY]).ToXYZ();
    EXPECT_NEAR(wtpt->X, white[0], 1e-4);
    EXPECT_NEAR(wtpt->Y, 1.0, 1e-4);
    EXPECT_NEAR(wtpt->Z, white[2], 1e-4);
}

TEST_F(ManualModeDlgTest, TypedTemperatureOutsideTheRangeIsRefusedWithTheRange)
{
    RecordingMessageSink messages;
    WriteOwnModel("Count=2");
    auto dialog = OwnModelDialog();
    const int code = ExecWith(*dialog, [&](CManualModeDlg& d) {
        Button(d, CManualModeDlg::kIdcNext)->click();
        Button(d, CManualModeDlg::kIdcNext)->click();
        ASSERT_EQ(d.CurrentStep(), 3);
        auto* field = Control<CEditEx>(d, CManualModeDlg::kIdcTemperature);
        EXPECT_TRUE(field->isVisible());
        EXPECT_FALSE(Control<QComboBox>(d, CManualModeDlg::kIdcPresets)->isVisible());
        EXPECT_EQ(field->text(), QStringLiteral("6500"));
        EXPECT_EQ(Control<QLabel>(d, CManualModeDlg::kIdcText)->text(), LoadString(3061));
        EXPECT_EQ(d.LowestTemperature(), 2600);
        EXPECT_EQ(d.HighestTemperature(), 10000);

        // Typed as the user does: the field keeps 12000 when the button
        // takes the focus, and Finish refuses it with the model's range.
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("12000"));
        QTest::mouseClick(Button(d, CManualModeDlg::kIdcNext), Qt::LeftButton);
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].stringId, 3062);
        EXPECT_EQ(messages.messages[0].args, (std::vector<std::string>{"2600", "10000"}));
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.CurrentStep(), 3);
        EXPECT_FALSE(Button(d, CManualModeDlg::kIdcCancel)->isEnabled());
        EXPECT_TRUE(WrittenProfiles().empty());

        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("5000"));
        QTest::mouseClick(Button(d, CManualModeDlg::kIdcNext), Qt::LeftButton);
    });
    EXPECT_EQ(code, kDialogOk);
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(WrittenProfiles(), std::vector<std::string>{"OwnModel_5000K_22.icm"});
    EXPECT_EQ(platform::DisplayProfiles(kDevice),
              std::vector<std::string>{"OwnModel_5000K_22.icm"});
}

TEST_F(ManualModeDlgTest, EveryRefusalOfTheProfileIsShownAndKeepsTheFinalPage)
{
    const struct
    {
        const char* what;
        std::string settings;
        std::string extra;
        int message;
        std::vector<std::string> args;
    } cases[] = {
        {"preset beyond 25000 K", "Count=1", "[ColorPreset]\nCount=1\nPreset1=30000\n", 3060, {}},
        {"preset that is no number", "Count=1", "[ColorPreset]\nCount=1\nPreset1=warm\n", 3060, {}},
        {"typed outside the model's own range",
         "Count=1",
         "[ColorPreset]\nMinTemperature=7000\nMaxTemperature=9000\n",
         3062,
         {"7000", "9000"}},
    };
    for (const auto& c : cases)
    {
        RecordingMessageSink messages;
        WriteOwnModel(c.settings, c.extra);
        auto dialog = OwnModelDialog();
        const int code = ExecWith(*dialog, [&](CManualModeDlg& d) {
            Button(d, CManualModeDlg::kIdcNext)->click();
            ASSERT_EQ(d.CurrentStep(), 2) << c.what;
            Button(d, CManualModeDlg::kIdcNext)->click();
            EXPECT_TRUE(d.isVisible()) << c.what;
            EXPECT_EQ(d.CurrentStep(), 2) << c.what;
        });
        EXPECT_EQ(code, -1) << c.what << ": closed by the test, not by Finish";
        ASSERT_EQ(messages.messages.size(), 1u) << c.what;
        EXPECT_EQ(messages.messages[0].stringId, c.message) << c.what;
        EXPECT_EQ(messages.messages[0].args, c.args) << c.what;
        EXPECT_TRUE(WrittenProfiles().empty()) << c.what;
        EXPECT_TRUE(dialog->ProfilePath().empty()) << c.what;
    }

    // A model without primaries: the general failure.
    RecordingMessageSink messages;
    WriteTextFile(folders.File("program/Data/ABCD/ABCD.ini"),
                  "[Settings]\nCount=1\nModelName=OwnModel\n");
    auto dialog = OwnModelDialog();
    ExecWith(*dialog, [](CManualModeDlg& d) {
        Button(d, CManualModeDlg::kIdcNext)->click();
        Button(d, CManualModeDlg::kIdcNext)->click();
        EXPECT_TRUE(d.isVisible());
    });
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, 3060);
    EXPECT_TRUE(WrittenProfiles().empty());
}

TEST_F(ManualModeDlgTest, ModelWithoutDataOrStepsEndsAtOnceAsAFailure)
{
    const struct
    {
        const char* what;
        const char* ini; // null: no model folder at all
    } cases[] = {
        {"no model folder", nullptr},
        {"no step count", "[Settings]\nModelName=OwnModel\n"},
        {"no steps", "[Settings]\nCount=0\nModelName=OwnModel\n"},
        {"a negative count", "[Settings]\nCount=-3\nModelName=OwnModel\n"},
    };
    for (const auto& c : cases)
    {
        std::filesystem::remove_all(folders.File("program/Data/ABCD"));
        if (c.ini != nullptr)
        {
            std::filesystem::create_directories(folders.File("program/Data/ABCD"));
            WriteTextFile(folders.File("program/Data/ABCD/ABCD.ini"), c.ini);
        }
        RecordingMessageSink messages;
        auto dialog = OwnModelDialog();
        bool shown = false;
        QTimer::singleShot(0, dialog.get(), [&] {
            shown = dialog->isVisible();
            dialog->done(-1);
        });
        const int code = dialog->exec();
        EXPECT_EQ(code, kDialogCancel) << c.what;
        EXPECT_FALSE(shown) << c.what;
        ASSERT_EQ(messages.messages.size(), 1u) << c.what;
        EXPECT_EQ(messages.messages[0].stringId, 3057) << c.what;
        EXPECT_TRUE(WrittenProfiles().empty()) << c.what;
    }
}

TEST_F(ManualModeDlgTest, CancelAsksFirstAndIsOffOnTheFinalPage)
{
    // No keeps the dialog, Yes ends it.
    for (const int answer : {kMessageNo, kMessageYes})
    {
        RecordingMessageSink messages(answer);
        auto dialog = SimulatedModelDialog();
        const int code = ExecWith(*dialog, [&](CManualModeDlg& d) {
            Button(d, CManualModeDlg::kIdcNext)->click();
            QTest::mouseClick(Button(d, CManualModeDlg::kIdcCancel), Qt::LeftButton);
            EXPECT_EQ(d.isVisible(), answer == kMessageNo);
        });
        EXPECT_EQ(code, answer == kMessageYes ? kDialogCancel : -1);
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].stringId, 3048);
        EXPECT_EQ(messages.messages[0].buttons, MessageButtons::YesNo);
    }

    // On the final page neither Escape nor the close box ends the dialog,
    // and nothing is asked.
    RecordingMessageSink messages(kMessageYes);
    auto dialog = SimulatedModelDialog();
    ExecWith(*dialog, [](CManualModeDlg& d) {
        for (int i = 0; i < 4; ++i)
            Button(d, CManualModeDlg::kIdcNext)->click();
        QTest::keyClick(&d, Qt::Key_Escape);
        d.close();
        EXPECT_TRUE(d.isVisible());
    });
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(WrittenProfiles().empty());
}

} // namespace
