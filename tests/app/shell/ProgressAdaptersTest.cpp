// The progress adapters over the project's callback slots: dialogs opened
// on the first report only, bars and percent texts, Cancel answered at the
// next report, slots emptied when an adapter ends, and the batch window's
// stages, counts and times.

#include "app/shell/ProgressAdapters.h"

#include "controls/support/StringTable.h"
#include "controls/widgets/SwitchIconCtrl.h"
#include "correction/ProjectManage.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <tuple>
#include <vector>

namespace {

int BarOf(const QWidget* dialog)
{
    const auto* bar = dialog->findChild<QProgressBar*>(QStringLiteral("1003"));
    return bar != nullptr ? bar->value() : -1;
}

QString LabelOf(const QWidget* dialog, int control)
{
    const auto* label = dialog->findChild<QLabel*>(QString::number(control));
    return label != nullptr ? label->text() : QStringLiteral("<none>");
}

QPushButton* CancelOf(const QWidget* dialog)
{
    return dialog->findChild<QPushButton*>(QStringLiteral("2"));
}

// The number the percent label shows.
int ShownPercent(const QWidget* dialog)
{
    return LabelOf(dialog, 1004).section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty).toInt();
}

class ProgressTest : public testing::Test
{
protected:
    ProgressTest()
        : cache("XDG_CACHE_HOME", dir.Path() + "cache"),
          config("XDG_CONFIG_HOME", dir.Path() + "config")
    {
        mainWindow.resize(640, 480);
    }

    testsupport::TempDir dir;
    testsupport::ScopedEnv cache;
    testsupport::ScopedEnv config;
    CProjectManage project{std::string()};
    QWidget mainWindow;
};

TEST(ProgressPercentText, OneFormulaForEveryDialog)
{
    // (position, low, high) -> percent shown
    const std::vector<std::tuple<int, int, int, int>> table = {
        {0, 0, 100, 0},    {50, 0, 100, 50}, {100, 0, 100, 100}, {150, 0, 100, 50},
        {50, 50, 50, 0},   // a zero range never divides
        {30, 20, 40, 50},
    };
    for (const auto& [position, low, high, percent] : table)
    {
        CProgDlg dialog(0);
        dialog.SetRange(low, high);
        SetProgressPercentText(position, dialog);
        EXPECT_EQ(ShownPercent(&dialog), percent) << position << " of " << low << ".." << high;
    }
}

TEST(DurationText, HoursGoOnPastADay)
{
    const std::vector<std::pair<std::int64_t, const char*>> table = {
        {0, "00 : 00 : 00"},         {59, "00 : 00 : 59"},   {3600, "01 : 00 : 00"},
        {86399, "23 : 59 : 59"},     {86400, "24 : 00 : 00"}, {90061, "25 : 01 : 01"},
        {360000, "100 : 00 : 00"},   {-5, "00 : 00 : 00"},
    };
    for (const auto& [seconds, text] : table)
        EXPECT_EQ(FormatDuration(seconds), QString::fromUtf8(text)) << seconds;

    EXPECT_EQ(RemainingSeconds(100, 0, 5), -1); // nothing done yet: unknown
    EXPECT_EQ(RemainingSeconds(100, 2, 5), 150);
    EXPECT_EQ(RemainingSeconds(90061, 2, 5), 90061 / 2 * 3);
    EXPECT_EQ(RemainingSeconds(100, 5, 5), 0);
}

TEST(BatchPlacement, CentredButKeptOnTheDesktop)
{
    const QRect desktop(0, 0, 1920, 1080);
    const QSize size(400, 300);
    // (frame, expected top-left)
    const std::vector<std::pair<QRect, QPoint>> table = {
        {QRect(0, 0, 1920, 1080), QPoint(760, 390)},
        {QRect(1700, 900, 600, 400), QPoint(1520, 780)}, // past right and bottom
        {QRect(-500, -400, 400, 300), QPoint(0, 0)},     // negative becomes 0
        {QRect(100, 100, 200, 100), QPoint(0, 0)},       // centre left of the desktop
    };
    for (const auto& [frame, expected] : table)
        EXPECT_EQ(CenteredOnDesktop(frame, size, desktop), expected) << frame.x() << "," << frame.y();
    // A window larger than the desktop keeps its top-left corner on it.
    EXPECT_EQ(CenteredOnDesktop(QRect(0, 0, 100, 100), QSize(2500, 1200), desktop), QPoint(0, 0));
}

TEST_F(ProgressTest, AnOperationThatReportsNothingShowsNoDialog)
{
    {
        CSetupCallbackForFileLoad load(&project, &mainWindow);
        EXPECT_TRUE(static_cast<bool>(project.m_imageLoadSlot));
        EXPECT_EQ(load.Dialog(), nullptr);
    }
    EXPECT_FALSE(static_cast<bool>(project.m_imageLoadSlot));
    EXPECT_TRUE(mainWindow.findChildren<CProgDlg*>().isEmpty());
}

TEST_F(ProgressTest, AListLoadThatReportsAHundredClosesItsDialogAtOnce)
{
    CSetupCallbackForFileListLoad list(&project, &mainWindow);
    EXPECT_TRUE(project.m_listLoadSlot.Report(40.0));
    ASSERT_NE(list.Dialog(), nullptr);
    EXPECT_EQ(BarOf(list.Dialog()), 40);
    EXPECT_EQ(list.Dialog()->windowTitle(), LoadString(kStrListLoadCaption));
    EXPECT_TRUE(project.m_listLoadSlot.Report(100.0));
    EXPECT_EQ(list.Dialog(), nullptr);
    // A later report opens a new one.
    EXPECT_TRUE(project.m_listLoadSlot.Report(10.0));
    EXPECT_NE(list.Dialog(), nullptr);
}

TEST_F(ProgressTest, CancelIsAnsweredAtTheNextReportOnly)
{
    CSetupCallbackForFileLoad load(&project, &mainWindow);
    EXPECT_TRUE(project.m_imageLoadSlot.Report(0.25));
    CProgDlg* dialog = load.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->parentWidget(), &mainWindow);
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->windowTitle(), LoadString(kStrFileLoadCaption));
    EXPECT_EQ(BarOf(dialog), 25);

    CancelOf(dialog)->click();
    EXPECT_TRUE(dialog->isVisible()); // Cancel does not close it
    EXPECT_FALSE(project.m_imageLoadSlot.Report(0.5));
    EXPECT_EQ(BarOf(dialog), 50);
    EXPECT_TRUE(project.m_imageLoadSlot.Report(0.75)); // the request was taken
    // A fraction of 1 is not "100 or more": the dialog stays to the end.
    EXPECT_TRUE(project.m_imageLoadSlot.Report(1.0));
    EXPECT_EQ(load.Dialog(), dialog);
    EXPECT_EQ(ShownPercent(dialog), 100);
}

TEST_F(ProgressTest, SavingHasItsOwnCaptionAndSlot)
{
    CSetupCallbackForFileSave save(&project, &mainWindow);
    EXPECT_FALSE(static_cast<bool>(project.m_imageLoadSlot));
    EXPECT_TRUE(project.m_imageSaveSlot.Report(0.5));
    ASSERT_NE(save.Dialog(), nullptr);
    EXPECT_EQ(save.Dialog()->windowTitle(), LoadString(kStrFileSaveCaption));
}

TEST_F(ProgressTest, ALaterAdapterReplacesTheSlotsAndEitherEndEmptiesThem)
{
    auto first = std::make_unique<CSetupCallbackForFileLoad>(&project, &mainWindow);
    {
        CSetupCallbackForFileLoad second(&project, &mainWindow);
        EXPECT_TRUE(project.m_imageLoadSlot.Report(0.5));
        EXPECT_EQ(first->Dialog(), nullptr);
        EXPECT_NE(second.Dialog(), nullptr);
    }
    EXPECT_FALSE(static_cast<bool>(project.m_imageLoadSlot));
    first.reset();
    EXPECT_FALSE(static_cast<bool>(project.m_imageLoadSlot));
}

TEST_F(ProgressTest, ANullProjectMakesTheAdaptersInert)
{
    CSetupCallbackForFileListLoad list(nullptr, &mainWindow);
    CSetupCallbackForFileLoad load(nullptr, &mainWindow);
    CSetupCallbackForFileSave save(nullptr, &mainWindow);
    CSetupCallbackForViewChange change(nullptr, &mainWindow, 7, true);
    CSetupCallbackForBatch batch(nullptr, &mainWindow, mainWindow.geometry());
    EXPECT_FALSE(static_cast<bool>(project.m_imageLoadSlot));
    EXPECT_EQ(project.m_batchEntrySlot.func, nullptr);
}

TEST_F(ProgressTest, ReprocessingFillsTheBarInTwoHalvesAndNeverCancels)
{
    ScopedStepEditionPolicy policy(StepEditionPolicy::AllStepsEnabled);
    {
        CSetupCallbackForViewChange change(&project, &mainWindow, 7, true);
        // Development needs RAW data; the other steps run.
        EXPECT_EQ(change.StepFlags(), (std::array<int, 7>{0, 1, 1, 1, 1, 1, 1}));
        EXPECT_FALSE(project.m_snapshotStoreSlot.Report(0, 1)); // no dialog yet

        EXPECT_TRUE(project.m_stepSlots[3].Report(40.0));
        CViewChangeProgDlg* dialog = change.Dialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), LoadString(kStrViewChangeCaption));
        EXPECT_FALSE(CancelOf(dialog)->isVisibleTo(dialog));
        EXPECT_EQ(BarOf(dialog), 20);
        EXPECT_EQ(dialog->GetStage(), 4);
        for (int stage = 1; stage <= 7; ++stage)
            EXPECT_EQ(dialog->Marker(stage).isVisibleTo(dialog), stage == 4) << stage;
        EXPECT_EQ(dialog->StepIcon(1).IconId(), 188); // does not run
        EXPECT_EQ(dialog->StepIcon(4).IconId(), 131); // runs

        EXPECT_TRUE(project.m_snapshotStoreSlot.Report(1, 2));
        EXPECT_EQ(BarOf(dialog), 75);
        EXPECT_TRUE(project.m_snapshotStoreSlot.Report(0, 0)); // no division by zero
        EXPECT_EQ(BarOf(dialog), 50);

        dialog->Cancelled = true;
        EXPECT_TRUE(project.m_stepSlots[6].Report(100.0));
        EXPECT_EQ(BarOf(dialog), 50);
        EXPECT_EQ(dialog->GetStage(), 7);
    }
    for (const Progress& slot : project.m_stepSlots)
        EXPECT_FALSE(static_cast<bool>(slot));
    EXPECT_FALSE(static_cast<bool>(project.m_snapshotRestoreSlot));
    EXPECT_FALSE(static_cast<bool>(project.m_snapshotStoreSlot));
}

TEST_F(ProgressTest, SnapshotRestoreBlocksTheMainWindowAndClosesAtTheEnd)
{
    CSetupCallbackForViewChange change(&project, &mainWindow, 4, false);
    EXPECT_TRUE(project.m_snapshotRestoreSlot.Report(0, 0)); // an empty total counts as one
    CProgDlg* restore = change.RestoreDialog();
    ASSERT_NE(restore, nullptr);
    EXPECT_EQ(restore->parentWidget(), &mainWindow);
    EXPECT_EQ(restore->windowModality(), Qt::WindowModal);
    EXPECT_EQ(restore->windowTitle(), LoadString(kStrProcessingCaption));
    EXPECT_FALSE(CancelOf(restore)->isVisibleTo(restore));
    EXPECT_EQ(BarOf(restore), 0);

    EXPECT_TRUE(project.m_snapshotRestoreSlot.Report(1, 4));
    EXPECT_EQ(BarOf(restore), 25);
    EXPECT_EQ(ShownPercent(restore), 25);
    EXPECT_TRUE(project.m_snapshotRestoreSlot.Report(4, 4));
    EXPECT_EQ(change.RestoreDialog(), nullptr);
    EXPECT_EQ(change.Dialog(), nullptr);
}

class BatchTest : public ProgressTest
{
protected:
    BatchTest() { previousClock = CBatchProgDlg::SetClock([this] { return now; }); }
    ~BatchTest() override { CBatchProgDlg::SetClock(previousClock); }

    int NextFile(int index, int total, CImageFileInfo* entry, int status)
    {
        return project.m_batchEntrySlot.func(index, total, entry, status,
                                             project.m_batchEntrySlot.user);
    }

    std::int64_t now = 1'000'000;
    CBatchProgDlg::Clock previousClock;
};

TEST_F(BatchTest, TheNextFileOpensTheDialogAndShowsCountsAndTimes)
{
    CSetupCallbackForBatch batch(&project, &mainWindow, QRect(0, 0, 800, 600));
    EXPECT_EQ(batch.Dialog(), nullptr);

    CImageFileInfo entry;
    entry.m_path = "/photos/day/IMG_0001.tif";
    now += 90061; // the dialog starts its clock when it opens
    EXPECT_EQ(NextFile(0, 5, &entry, 0), 1);
    CBatchProgDlg* dialog = batch.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(LabelOf(dialog, 1190), QStringLiteral("  0"));
    EXPECT_EQ(LabelOf(dialog, 1191), QStringLiteral("  5"));
    EXPECT_EQ(LabelOf(dialog, 1028), QStringLiteral("IMG_0001.tif"));
    EXPECT_EQ(LabelOf(dialog, 1192), QStringLiteral("00 : 00 : 00"));
    EXPECT_EQ(LabelOf(dialog, 1029), QString());

    now += 90061;
    EXPECT_EQ(NextFile(2, 5, nullptr, 1), 1);
    EXPECT_EQ(LabelOf(dialog, 1192), QStringLiteral("25 : 01 : 01"));
    EXPECT_EQ(LabelOf(dialog, 1193), FormatDuration(90061 / 2 * 3));
    EXPECT_EQ(LabelOf(dialog, 1029), LoadString(kStrBatchSaveFailed));
    EXPECT_EQ(LabelOf(dialog, 1028), QStringLiteral("IMG_0001.tif"));
}

TEST_F(BatchTest, NoFileDoneLeavesTheRemainingTimeAlone)
{
    CSetupCallbackForBatch batch(&project, &mainWindow, QRect(0, 0, 800, 600));
    EXPECT_EQ(NextFile(0, 3, nullptr, 0), 1);
    const QString before = LabelOf(batch.Dialog(), 1193);
    now += 500;
    EXPECT_EQ(NextFile(0, 3, nullptr, 0), 1);
    EXPECT_EQ(LabelOf(batch.Dialog(), 1193), before);
    EXPECT_EQ(LabelOf(batch.Dialog(), 1192), FormatDuration(500));
}

TEST_F(BatchTest, StagesMoveTheBarAndTheCurrentIcon)
{
    CSetupCallbackForBatch batch(&project, &mainWindow, QRect(0, 0, 800, 600));
    EXPECT_EQ(NextFile(0, 1, nullptr, 0), 1);
    CBatchProgDlg* dialog = batch.Dialog();
    project.m_batchStepsSlot.func({0, 0, 1, 1, 0, 0, 0}, project.m_batchStepsSlot.user);
    EXPECT_EQ(dialog->StageIcon(5).IconId(), 180); // does not run
    EXPECT_FALSE(dialog->findChild<QLabel*>(QStringLiteral("1187"))->isEnabled());
    EXPECT_TRUE(dialog->findChild<QLabel*>(QStringLiteral("1186"))->isEnabled());

    EXPECT_TRUE(project.m_imageLoadSlot.Report(0.5)); // stage 8, a fraction
    EXPECT_EQ(BarOf(dialog), 50);
    EXPECT_EQ(dialog->StageIcon(8).IconId(), 157);
    EXPECT_TRUE(project.m_stepSlots[3].Report(30.0)); // stage 4, percent
    EXPECT_EQ(BarOf(dialog), 30);
    EXPECT_EQ(dialog->StageIcon(8).IconId(), 158);
    EXPECT_EQ(dialog->StageIcon(4).IconId(), 157);
    EXPECT_TRUE(project.m_imageSaveSlot.Report(1.0)); // stage 9
    EXPECT_EQ(BarOf(dialog), 100);
    EXPECT_EQ(dialog->StageIcon(4).IconId(), 158);
    EXPECT_EQ(dialog->StageIcon(9).IconId(), 157);
}

TEST_F(BatchTest, CancelStopsTheBatchAtTheNextReportAndTheDialogStays)
{
    {
        CSetupCallbackForBatch batch(&project, &mainWindow, QRect(0, 0, 800, 600));
        EXPECT_EQ(NextFile(0, 2, nullptr, 0), 1);
        CBatchProgDlg* dialog = batch.Dialog();
        EXPECT_EQ(CancelOf(dialog)->text(), QStringLiteral("中止"));
        CancelOf(dialog)->click();
        EXPECT_FALSE(project.m_stepSlots[4].Report(10.0));
        EXPECT_TRUE(project.m_stepSlots[4].Report(20.0));
        CancelOf(dialog)->click();
        EXPECT_EQ(NextFile(1, 2, nullptr, 0), 0);
        EXPECT_EQ(batch.Dialog(), dialog);
        EXPECT_TRUE(dialog->isVisible());
    }
    EXPECT_EQ(project.m_batchEntrySlot.func, nullptr);
    EXPECT_EQ(project.m_batchStepsSlot.func, nullptr);
    EXPECT_FALSE(static_cast<bool>(project.m_imageLoadSlot));
    EXPECT_FALSE(static_cast<bool>(project.m_imageSaveSlot));
    EXPECT_TRUE(mainWindow.findChildren<CProgDlg*>().isEmpty());
}

} // namespace
