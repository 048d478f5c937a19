// The colour search dialog: its settings, the colour arithmetic by table,
// and the dialog driven through exec() by its controls' ids: candidate
// moves and their reports, a check function that refuses, typing, the
// unit list and the sliders.

#include "controls/dialogs/ColorSearchDlg.h"
#include "controls/dialogs/ColorSearchLogic.h"
#include "controls/widgets/ColorPatchCtrl.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/StaticTextEx.h"
#include "core/ColorSearchSettings.h"
#include "core/IniFile.h"
#include "tests/controls/FakePointerState.h"
#include "tests/controls/NotifySpy.h"
#include "tests/controls/SRGBConverter.h"
#include "tests/controls/dialogs/DialogDriver.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <functional>
#include <tuple>
#include <vector>

namespace {

const CCIEXYZ kD65(95.043, 100.0, 108.879);
constexpr int kOwnerMessage = 0x700;

CCIELab LabOf(const CCIEXYZ& xyz)
{
    return xyz.ToLab(kD65);
}

void ExpectNearXYZ(const CCIEXYZ& actual, const CCIEXYZ& expected, double tolerance = 1e-6)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "component " << i;
}

class ColorSearchDlgTest : public ::testing::Test
{
protected:
    void SetUp() override { m_saved = GetColorSearchSettings(); }
    void TearDown() override { SetColorSearchSettings(m_saved); }

    ColorSearchSettings m_saved;
    testsupport::RecordingMessageSink m_sink;
};

TEST(ColorSearchSettings, KeysOutsideTheirRangeGiveTheDefaults)
{
    const ColorSearchSettings saved = GetColorSearchSettings();
    struct Case
    {
        const char* step; // nullptr: no key
        const char* unit;
        int expectedStep;
        int expectedUnit;
    };
    const Case cases[] = {
        {nullptr, nullptr, 8, 4}, {"0", "1", 8, 1},  {"11", "4", 8, 4}, {"1", "5", 1, 4},
        {"10", "0", 10, 4},       {"3", "2", 3, 2},  {"abc", "-1", 8, 4},
    };
    testsupport::TempDir dir;
    for (const Case& c : cases)
    {
        const std::string path = dir.File("settings.ini");
        CIniFile ini(path);
        ini.DeleteSection(kColorSearchSection);
        if (c.step != nullptr)
            ini.SetString(kColorSearchSection, "Step", c.step);
        if (c.unit != nullptr)
            ini.SetString(kColorSearchSection, "ColorUnit", c.unit);
        LoadColorSearchSettings(path);
        EXPECT_EQ(GetColorSearchSettings().Step, c.expectedStep) << (c.step ? c.step : "none");
        EXPECT_EQ(GetColorSearchSettings().Unit, c.expectedUnit) << (c.unit ? c.unit : "none");
        SaveColorSearchSettings(path);
        EXPECT_EQ(CIniFile(path).GetString(kColorSearchSection, "Step", "none"),
                  c.step ? c.step : "none")
            << "the save writes no key";
    }
    SetColorSearchSettings(saved);
}

TEST(ColorSearchLogic, ShiftedColorMovesInLCh)
{
    struct Case
    {
        CCIELab from;
        ColorSearchOffsets offsets;
        CCIELab expected;
    };
    const Case cases[] = {
        {{50, 20, 0}, {0, 0, 0}, {50, 20, 0}},
        {{50, 20, 0}, {8, 0, 0}, {58, 20, 0}},
        {{95, 0, 0}, {10, 0, 0}, {105, 0, 0}}, // lightness is not limited
        {{50, 20, 0}, {0, 5, 0}, {50, 25, 0}},
        {{50, 0, 20}, {0, 0, 90}, {50, -20, 0}},
        {{50, 0, -20}, {0, 0, -90}, {50, -20, 0}},
        // Chroma stops at 0 in the candidate: the colour becomes neutral.
        {{50, 4, 0}, {0, -16, 0}, {50, 0, 0}},
        {{50, 3, 4}, {0, -5, 0}, {50, 0, 0}},
    };
    for (const Case& c : cases)
    {
        const CCIELab lab = LabOf(ShiftedColor(c.from.ToXYZ(kD65), c.offsets, kD65));
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(lab[i], c.expected[i], 1e-6) << "L " << c.from[0] << " a " << c.from[1] << " b "
                                                     << c.from[2] << " component " << i;
    }
}

TEST(ColorSearchLogic, SlidersFromLab)
{
    struct Case
    {
        CCIELab lab;
        ColorSearchSliders expected;
    };
    const Case cases[] = {
        {{49.9, 0, 0}, {49, 0, 0}},
        {{50, 3, 4}, {50, 5, 53}},
        {{50, 0, 20}, {50, 20, 90}},
        {{50, -20, 0}, {50, 20, 180}},
        {{50, 0, -20}, {50, 20, 270}},
        // Just below the positive a axis: a full turn less a little.
        {{50, 20, -0.01}, {50, 20, 359}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ColorSearchSlidersFromLab(c.lab), c.expected) << c.lab[1] << ", " << c.lab[2];
    // And back: the sliders' colour has the sliders' Lab.
    const CCIELab lab = LabOf(ColorSearchColorFromSliders({60, 30, 180}, kD65));
    EXPECT_NEAR(lab[0], 60, 1e-9);
    EXPECT_NEAR(lab[1], -30, 1e-9);
    EXPECT_NEAR(lab[2], 0, 1e-9);
}

TEST(ColorSearchLogic, ValuesPerUnitWithoutAConverter)
{
    const CCIEXYZ color(20.0, 30.0, 50.0);
    EXPECT_EQ(ColorSearchValues(ColorSearchUnit::XYZ, color, kD65, nullptr), (std::array<double, 3>{20, 30, 50}));
    const auto yxy = ColorSearchValues(ColorSearchUnit::Yxy, color, kD65, nullptr);
    EXPECT_NEAR(yxy[0], 30, 1e-12);
    EXPECT_NEAR(yxy[1], 0.2, 1e-12);
    EXPECT_NEAR(yxy[2], 0.3, 1e-12);
    EXPECT_EQ(ColorSearchValues(ColorSearchUnit::RGB, color, kD65, nullptr),
              (std::array<double, 3>{255, 255, 255}));
    // Typed RGB values mean nothing without a converter.
    ExpectNearXYZ(ColorSearchBaseFromValues(ColorSearchUnit::RGB, {10, 20, 30}, kD65, nullptr), CCIEXYZ());
    // Every unit reads back what it shows.
    for (ColorSearchUnit unit : {ColorSearchUnit::XYZ, ColorSearchUnit::Yxy, ColorSearchUnit::Lab})
        ExpectNearXYZ(ColorSearchBaseFromValues(unit, ColorSearchValues(unit, color, kD65, nullptr), kD65, nullptr),
                      color, 1e-9);
    EXPECT_EQ(ColorSearchPatchColor(color, nullptr), (RGBColor{65535, 65535, 65535}));
}

TEST(ColorSearchLogic, RGBUnitWidensEightBitsByMultiplyingWith257)
{
    SRGBConverter srgb;
    ASSERT_TRUE(srgb.ok);
    struct Case
    {
        int value;
        std::uint16_t widened;
    };
    const Case cases[] = {{255, 65535}, {128, 32896}, {1, 257}, {0, 0}};
    for (const Case& c : cases)
    {
        CCIEXYZ expected;
        srgb.converter.InputRGBToXYZ(RGB16{c.widened, c.widened, c.widened}, expected);
        const double v = c.value;
        ExpectNearXYZ(ColorSearchBaseFromValues(ColorSearchUnit::RGB, {v, v, v}, kD65, &srgb.converter), expected,
                      0.0);
    }
    // White typed as 255 shows as 255 again.
    const CCIEXYZ white = ColorSearchBaseFromValues(ColorSearchUnit::RGB, {255, 255, 255}, kD65, &srgb.converter);
    EXPECT_EQ(ColorSearchValues(ColorSearchUnit::RGB, white, kD65, &srgb.converter),
              (std::array<double, 3>{255, 255, 255}));
}

TEST(ColorSearchLogic, DifferenceTextIsSixCharactersWithTwoDecimals)
{
    EXPECT_EQ(ColorSearchDifferenceText(0.0), "  0.00");
    EXPECT_EQ(ColorSearchDifferenceText(12.345), " 12.35");
    EXPECT_EQ(ColorSearchDifferenceText(123.0), "123.00");
}

TEST_F(ColorSearchDlgTest, CandidateHeldRepeatsAndReleaseReportsChanged)
{
    SetColorSearchSettings({5, 3});
    CColorSearchDlg dialog;
    dialog.setNotifyMessage(kOwnerMessage);
    const CCIEXYZ start = CCIELab(50, 10, 0).ToXYZ(kD65);
    dialog.SetStartColor(start);
    QSignalSpy spy(&dialog, &CColorSearchDlg::notify);
    FakePointerState pointer;
    CCIEXYZ heldResult;

    const int code = RunDialog(
        dialog,
        [&] {
            auto* brighter = Child<CColorPatchCtrl>(dialog, "1155");
            brighter->setPointerState(pointer);
            spy.clear();
            QTest::mousePress(brighter, Qt::LeftButton, {}, brighter->rect().center());
            pointer.buttonDown = true;
            pointer.position = brighter->mapToGlobal(brighter->rect().center());
            brighter->OnRepeatTimer();
            heldResult = dialog.GetResultColor();
            QTest::mouseRelease(brighter, Qt::LeftButton, {}, brighter->rect().center());
        },
        "1");

    EXPECT_EQ(code, kDialogOk);
    const std::vector<Notification> expected = {
        {kOwnerMessage, 1, 0}, {kOwnerMessage, 1, 0}, {kOwnerMessage, 2, 0}};
    EXPECT_EQ(Notifications(spy), expected);
    EXPECT_EQ(dialog.GetOffsets(), (ColorSearchOffsets{10, 0, 0}));
    EXPECT_NEAR(LabOf(heldResult)[0], 60.0, 1e-6);
    EXPECT_NEAR(LabOf(dialog.GetResultColor())[0], 60.0, 1e-6);
    // OK makes the dialog's step and unit the process-wide ones.
    EXPECT_EQ(GetColorSearchSettings().Step, 5);
    EXPECT_EQ(GetColorSearchSettings().Unit, 3);
}

TEST_F(ColorSearchDlgTest, ARefusedMoveLeavesBaseAndOffsets)
{
    SetColorSearchSettings({8, 1});
    CColorSearchDlg dialog;
    const CCIEXYZ start = CCIELab(50, 10, 0).ToXYZ(kD65);
    dialog.SetStartColor(start);
    bool refuse = false;
    dialog.Check = [&refuse](const CCIEXYZ&) { return !refuse; };
    CCIEXYZ typedBase;
    ColorSearchOffsets movedOffsets;

    RunDialog(
        dialog,
        [&] {
            // A base of its own (typed) and a move from it.
            auto* x = Child<CEditEx>(dialog, "1143");
            x->setFocus();
            x->selectAll();
            QTest::keyClicks(x, "30");
            // Leaving the edit commits its text (rewritten as "30.0").
            Child<QComboBox>(dialog, "1147")->setFocus();
            typedBase = dialog.GetBaseColor();
            QTest::mouseClick(Child<CColorPatchCtrl>(dialog, "1157"), Qt::LeftButton);
            movedOffsets = dialog.GetOffsets();
            const CCIEXYZ result = dialog.GetResultColor();

            refuse = true;
            Child<QPushButton>(dialog, "1037")->click();
            QTest::mouseClick(Child<CColorPatchCtrl>(dialog, "1155"), Qt::LeftButton);
            auto* lightness = Child<QSlider>(dialog, "1134");
            lightness->setFocus();
            QTest::keyClick(lightness, Qt::Key_Right);
            ExpectNearXYZ(dialog.GetResultColor(), result, 0.0);
        },
        "2");

    EXPECT_NEAR(typedBase[0], 30.0, 1e-12);
    EXPECT_EQ(movedOffsets, (ColorSearchOffsets{0, 8, 0}));
    ExpectNearXYZ(dialog.GetBaseColor(), typedBase, 0.0);
    EXPECT_EQ(dialog.GetOffsets(), movedOffsets);
    // A refusal only beeps: no message is shown.
    EXPECT_TRUE(m_sink.messages.empty());
    // Cancel leaves the process-wide values.
    EXPECT_EQ(GetColorSearchSettings().Step, 8);
    EXPECT_EQ(GetColorSearchSettings().Unit, 1);
}

TEST_F(ColorSearchDlgTest, ChromaOffsetKeepsFallingWhileTheColourStaysNeutral)
{
    SetColorSearchSettings({8, 3});
    CColorSearchDlg dialog;
    dialog.SetStartColor(CCIELab(50, 4, 0).ToXYZ(kD65));
    RunDialog(
        dialog,
        [&] {
            auto* lessVivid = Child<CColorPatchCtrl>(dialog, "1158");
            QTest::mouseClick(lessVivid, Qt::LeftButton);
            QTest::mouseClick(lessVivid, Qt::LeftButton);
        },
        "1");
    EXPECT_EQ(dialog.GetOffsets(), (ColorSearchOffsets{0, -16, 0}));
    const CCIELab lab = LabOf(dialog.GetResultColor());
    EXPECT_NEAR(lab[1], 0.0, 1e-6);
    EXPECT_NEAR(lab[2], 0.0, 1e-6);
}

TEST_F(ColorSearchDlgTest, BackToStartShowsNoDifference)
{
    SetColorSearchSettings({8, 3});
    CColorSearchDlg dialog;
    const CCIEXYZ start = CCIELab(40, 10, 20).ToXYZ(kD65);
    dialog.SetStartColor(start);
    QString differenceAfterMove;
    QString differenceAfterBack;
    RunDialog(
        dialog,
        [&] {
            QTest::mouseClick(Child<CColorPatchCtrl>(dialog, "1159"), Qt::LeftButton);
            differenceAfterMove = Child<QLabel>(dialog, "1165")->text();
            Child<QPushButton>(dialog, "1037")->click();
            differenceAfterBack = Child<QLabel>(dialog, "1165")->text();
        },
        "1");
    EXPECT_NE(differenceAfterMove, QStringLiteral("  0.00"));
    EXPECT_EQ(differenceAfterBack, QStringLiteral("  0.00"));
    EXPECT_EQ(dialog.GetOffsets(), ColorSearchOffsets{});
    ExpectNearXYZ(dialog.GetResultColor(), start, 1e-9);
}

TEST_F(ColorSearchDlgTest, TypingUpdatesTheOtherControlsButNotTheEditTypedInto)
{
    SetColorSearchSettings({8, 3});
    CColorSearchDlg dialog;
    dialog.SetStartColor(CCIELab(40, 10, 20).ToXYZ(kD65));
    QString typed;
    QString other;
    int lightnessSlider = -1;
    RunDialog(
        dialog,
        [&] {
            auto* lightness = Child<CEditEx>(dialog, "1143");
            lightness->setFocus();
            lightness->selectAll();
            QTest::keyClicks(lightness, "75.5");
            typed = lightness->text();
            other = Child<CEditEx>(dialog, "1144")->text();
            lightnessSlider = Child<QSlider>(dialog, "1134")->value();
        },
        "2");
    EXPECT_EQ(typed, QStringLiteral("75.5"));
    EXPECT_EQ(other, QStringLiteral("10.0"));
    EXPECT_EQ(lightnessSlider, 75);
    EXPECT_NEAR(LabOf(dialog.GetResultColor())[0], 75.5, 1e-6);
}

TEST_F(ColorSearchDlgTest, UnitListRelabelsTheEdits)
{
    SetColorSearchSettings({8, 1});
    CColorSearchDlg dialog;
    dialog.SetStartColor(kD65);
    struct Case
    {
        int index;
        const char* labels[3];
        const char* firstValue;
    };
    const Case cases[] = {
        {1, {"Y :", "x :", "y :"}, "100.0"},
        {2, {"L :", "a :", "b :"}, "100.0"},
        {3, {"R :", "G :", "B :"}, "255"},
        {0, {"X :", "Y :", "Z :"}, "95.0"},
    };
    RunDialog(
        dialog,
        [&] {
            auto* units = Child<QComboBox>(dialog, "1147");
            for (const Case& c : cases)
            {
                units->setCurrentIndex(c.index);
                EXPECT_EQ(static_cast<int>(dialog.Unit), c.index + 1);
                for (int i = 0; i < 3; ++i)
                    EXPECT_EQ(Child<CStaticTextEx>(dialog, std::to_string(1162 + i).c_str())->text(),
                              QString::fromLatin1(c.labels[i]));
                EXPECT_EQ(Child<CEditEx>(dialog, "1143")->text(), QString::fromLatin1(c.firstValue));
            }
        },
        "1");
    EXPECT_EQ(GetColorSearchSettings().Unit, 1);
}

TEST_F(ColorSearchDlgTest, SlidersSetTheBaseAndResetTheOffsets)
{
    SetColorSearchSettings({8, 3});
    CColorSearchDlg dialog;
    // Halves keep the truncated slider positions clear of rounding.
    dialog.SetStartColor(CCIELab(50.5, 0, 20.5).ToXYZ(kD65));
    RunDialog(
        dialog,
        [&] {
            QTest::mouseClick(Child<CColorPatchCtrl>(dialog, "1157"), Qt::LeftButton);
            EXPECT_EQ(Child<QSlider>(dialog, "1135")->value(), 28);
            auto* hue = Child<QSlider>(dialog, "1136");
            // A drag acts on release only.
            hue->setSliderDown(true);
            hue->setValue(180);
            EXPECT_EQ(dialog.GetOffsets(), (ColorSearchOffsets{0, 8, 0}));
            hue->setSliderDown(false);
            EXPECT_FALSE(dialog.SliderTimer);
        },
        "1");
    EXPECT_EQ(dialog.GetOffsets(), ColorSearchOffsets{});
    const CCIELab lab = LabOf(dialog.GetResultColor());
    EXPECT_NEAR(lab[0], 50.0, 1e-6);
    EXPECT_NEAR(lab[1], -28.0, 1e-6);
    EXPECT_NEAR(lab[2], 0.0, 1e-6);
}

TEST_F(ColorSearchDlgTest, StepSliderSetsTheStep)
{
    SetColorSearchSettings({8, 3});
    CColorSearchDlg dialog;
    dialog.SetStartColor(CCIELab(50, 20, 0).ToXYZ(kD65));
    RunDialog(
        dialog,
        [&] {
            auto* step = Child<QSlider>(dialog, "1151");
            EXPECT_EQ(step->minimum(), 1);
            EXPECT_EQ(step->maximum(), 10);
            EXPECT_EQ(step->value(), 8);
            step->setFocus();
            QTest::keyClick(step, Qt::Key_Home);
            QTest::mouseClick(Child<CColorPatchCtrl>(dialog, "1155"), Qt::LeftButton);
        },
        "1");
    EXPECT_EQ(dialog.Step, 1);
    EXPECT_EQ(dialog.GetOffsets(), (ColorSearchOffsets{1, 0, 0}));
    EXPECT_EQ(GetColorSearchSettings().Step, 1);
}

TEST_F(ColorSearchDlgTest, ValuesOutsideTheInputSpaceAreMarkedRed)
{
    SRGBConverter srgb;
    ASSERT_TRUE(srgb.ok);
    SetColorSearchSettings({8, 4});
    const CCIEXYZ white = srgb.converter.GetWhiteXYZ();
    struct Case
    {
        CCIELab lab;
        bool outside;
    };
    const Case cases[] = {{{50, 0, 0}, false}, {{60, -120, 80}, true}};
    for (const Case& c : cases)
    {
        CColorSearchDlg dialog;
        dialog.Converter = &srgb.converter;
        dialog.SetStartColor(c.lab.ToXYZ(white));
        dialog.writeControls();
        const COLORREF expected = c.outside ? MakeColorRef(255, 0, 0)
                                            : RefFromColor(dialog.palette().color(QPalette::WindowText));
        EXPECT_EQ(Child<CStaticTextEx>(dialog, "1162")->TextColor(), expected) << c.outside;
        EXPECT_EQ(Child<CEditEx>(dialog, "1145")->TextColor, expected) << c.outside;
    }
}

TEST_F(ColorSearchDlgTest, PatchesShowWhiteWithoutAConverter)
{
    CColorSearchDlg dialog;
    dialog.SetStartColor(CCIELab(30, 40, 10).ToXYZ(kD65));
    dialog.writeControls();
    for (int id = 1152; id <= 1160; ++id)
        EXPECT_EQ(Child<CColorPatchCtrl>(dialog, std::to_string(id).c_str())->GetColor(),
                  (RGBColor{65535, 65535, 65535}))
            << id;
}

} // namespace
