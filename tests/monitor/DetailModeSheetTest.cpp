// The detail-mode wizard driven page by page over the simulated monitor,
// its pauses on a virtual clock: the opening reads, Cancel's restore, the
// monitor initialisation of the room-light page per model group with the
// busy value, the brightness page, the confirmation page, the skip to the
// fine adjustment and the keys the sheet hands the active page.

#include "monitor/DetailModeSheet.h"
#include "monitor/DetailModePages1.h"

#include "controls/support/StringTable.h"
#include "controls/widgets/ImageCtrl.h"
#include "core/ColorConverter.h"
#include "core/ColorProfile.h"
#include "core/MessageSink.h"
#include "core/SRGBProfile.h"

#include "tests/monitor/WizardTestSupport.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestProfiles.h"

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QKeyEvent>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

namespace {

using wizardtest::BusyValue;
using wizardtest::LoggingClock;
using wizardtest::LoggingTransport;
using Log = std::vector<std::string>;

constexpr int kStrCancelWizard = 3048;
constexpr int kStrFinishWizard = 3051;
constexpr int kStrFactoryReset = 3071;
constexpr int kStrBrightnessNoRange = 3072;

constexpr std::uint16_t kOrdinaryModel = 0x1234;
constexpr std::uint16_t kResetModel = 0x1301;
constexpr std::uint16_t kUserPresetModel = 0x1111;         // also refresh
constexpr std::uint16_t kUserPresetAutoModel = 0x1101;     // also refresh, auto setup
constexpr std::uint16_t kTwoRangeAutoModel = 0x1201;       // also refresh, auto setup
constexpr std::uint16_t kSlowResetAutoModel = 0x1401;
constexpr std::uint16_t kSlowResetModel = 0x1402;

// Answers the wizard's questions by string number (Yes unless told) and
// notes which were asked.
class ScriptedAnswers final : public IMessageSink
{
public:
    int ShowMessage(int stringId, const std::vector<std::string>&, MessageButtons buttons,
                    MessageIcon icon) override
    {
        asked.push_back(stringId);
        EXPECT_EQ(buttons, MessageButtons::YesNo) << stringId;
        EXPECT_EQ(icon, MessageIcon::Question) << stringId;
        const auto it = answers.find(stringId);
        return it == answers.end() ? kMessageYes : it->second;
    }
    std::map<int, int> answers;
    std::vector<int> asked;
};

// A stand-in for a page of the fine adjustment: notes what the sheet
// tells it.
class ProbePage final : public CDetailModePage
{
public:
    ProbePage(CDetailModeSheet& sheet, int id) : CDetailModePage(sheet, id)
    {
        edit = new QLineEdit(this);
    }
    bool OnSetActive() override
    {
        Sheet().SetWizardButtons(kWizardBack | kWizardNext);
        return true;
    }
    bool HandleWizardKey(QKeyEvent* event) override
    {
        keys.push_back(event->key());
        return true;
    }
    void OnRoomLightChosen() override { ++roomLightCalls; }
    std::vector<int> keys;
    int roomLightCalls = 0;
    QLineEdit* edit = nullptr;
};

DetailModePageEntry Probe(int id)
{
    return {id, [id](CDetailModeSheet& sheet) -> CDetailModePage* { return new ProbePage(sheet, id); }};
}

// The wizard's pages up to the confirmation page, without the white
// adjustment's pages (tests put stand-ins in their place).
std::vector<DetailModePageEntry> FirstPages()
{
    std::vector<DetailModePageEntry> pages = DetailModePages();
    std::erase_if(pages, [](const DetailModePageEntry& entry) {
        return entry.dialogId == kDetailModePage4Id || entry.dialogId == kDetailModePage5Id ||
               entry.dialogId == kDetailModePage6Id || entry.dialogId == kDetailModePage7Id;
    });
    return pages;
}

// The restore of an ordinary monitor that opened with the stock values.
const Log kStockRestore = {"set 14=5", "set 16=100", "wait 200", "set 18=95", "wait 200",
                           "set 1A=90", "wait 200",  "set 10=80", "wait 500", "set 12=50"};

const Log kStockOpening = {"get 14", "wait 100", "get 16", "wait 200", "get 18",
                           "wait 200", "get 1A", "wait 200", "get 10",  "get 12"};

class DetailModeSheetTest : public ::testing::Test
{
protected:
    DetailModeSheetTest() : file(folders.File("monitors.ini")), sink(answers) {}

    ~DetailModeSheetTest() override { sheet.reset(); }

    void Start(std::uint16_t product,
               const std::function<void(platform::SimulatedMonitorSetup&)>& edit = {})
    {
        platform::SimulatedMonitorSetup monitor = platform::DefaultSimulatedMonitor();
        monitor.edid.product = product;
        // Auto setup, as the sample monitor of resources/ has it.
        platform::SimulatedVcpCode autoSetup;
        autoSetup.code = 0x1E;
        autoSetup.maximum = 1;
        autoSetup.momentary = true;
        monitor.vcp.push_back(autoSetup);
        if (edit)
            edit(monitor);
        ASSERT_TRUE(file.Write({monitor}));
        auto t = std::make_unique<LoggingTransport>(file.Path(), displayClock, log);
        transport = t.get();
        display = std::make_unique<CDdcApiDisplay>(std::move(t), displayClock,
                                                   folders.File("no-drm"));
        display->SetProgramFolder(folders.File("program"));
        ASSERT_TRUE(display->EnumMonitors());
        ASSERT_TRUE(display->SelectMonitor(0));
        // The caller raises the busy value before the wizard.
        SetDdcBusyFlag(1);
        log.clear();
        transport->busy.clear();
    }

    void Open(std::vector<DetailModePageEntry> pages = DetailModePages())
    {
        sheet = std::make_unique<CDetailModeSheet>(std::move(pages), nullptr, sheetClock);
        sheet->SetMonitor(display.get());
        sheet->SetWizardMode();
        sheet->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
    }

    void Next() { sheet->NextButton()->click(); }
    void Back() { sheet->BackButton()->click(); }

    // From page 1, Next until the page with this id is shown.
    void GoTo(int id)
    {
        for (int i = 0; i < 4 && sheet->ActivePageId() != id; ++i)
            Next();
        ASSERT_EQ(sheet->ActivePageId(), id);
    }

    template <typename T> T* Control(int id) const
    {
        T* control = sheet->ActivePage()->findChild<T*>(QString::number(id));
        EXPECT_NE(control, nullptr) << id;
        return control;
    }

    Log Sets() const
    {
        Log out;
        std::copy_if(log.begin(), log.end(), std::back_inserter(out),
                     [](const std::string& e) { return e.rfind("set ", 0) == 0; });
        return out;
    }

    std::uint16_t Vcp(std::uint8_t code) const { return file.ReadVcp("SIM-1", code)->current; }

    testsupport::PrivateUserFolders folders;
    Log log;
    platform::VirtualClock displayClock;
    LoggingClock sheetClock{log};
    platform::SimulatedMonitorFile file;
    LoggingTransport* transport = nullptr;
    std::unique_ptr<CDdcApiDisplay> display;
    ScriptedAnswers answers;
    ScopedMessageSink sink;
    std::unique_ptr<CDetailModeSheet> sheet;
};

TEST_F(DetailModeSheetTest, OpeningReadsTheMonitorWithItsPauses)
{
    Start(kOrdinaryModel);
    Open();
    EXPECT_EQ(log, kStockOpening);
    const DetailModeSavedState& saved = sheet->Saved();
    EXPECT_EQ(saved.preset, 5);
    EXPECT_EQ(saved.red, 100);
    EXPECT_EQ(saved.green, 95);
    EXPECT_EQ(saved.blue, 90);
    EXPECT_EQ(saved.luminance, 80);
    EXPECT_EQ(saved.contrast, 50);
    EXPECT_EQ(sheet->CurrentPreset(), 5);
    EXPECT_EQ(sheet->BackTarget(), kDetailModePage5Id);
    EXPECT_EQ(sheet->ActivePageId(), kDetailModePage1Id);
    EXPECT_EQ(sheet->WizardButtons(), kWizardNext);
    EXPECT_FALSE(sheet->BackButton()->isEnabled());
    EXPECT_EQ(sheet->windowTitle(), QStringLiteral("詳細モード"));
    EXPECT_EQ(sheet->PageFont().pixelSize(), 14);
    EXPECT_FALSE(display->RefreshLuminanceFlag);
    EXPECT_TRUE(answers.asked.empty());
}

TEST_F(DetailModeSheetTest, ResetGroupIsAskedBeforeItsOpeningReset)
{
    for (const int answer : {kMessageYes, kMessageNo})
    {
        Start(kResetModel);
        answers.answers[kStrFactoryReset] = answer;
        answers.asked.clear();
        Open();
        Log expected = kStockOpening;
        if (answer == kMessageYes)
            expected.insert(expected.begin(), {"set F9=2", "wait 3000", "set 05=1"});
        EXPECT_EQ(log, expected) << answer;
        EXPECT_EQ(answers.asked, std::vector<int>{kStrFactoryReset});
        EXPECT_EQ(sheet->ResetDeclined(), answer == kMessageNo);

        // Cancel: the reset group goes back with control 12 = 1 only, unless
        // the user declined that reset: then it gets its own values back.
        log.clear();
        sheet->CancelButton()->click();
        EXPECT_FALSE(sheet->isVisible());
        EXPECT_EQ(log, answer == kMessageYes ? Log{"set 05=1"} : kStockRestore);
        sheet.reset();
    }
}

TEST_F(DetailModeSheetTest, CancelFromEachPageRestoresWhatWasRead)
{
    for (const int page : {kDetailModePage1Id, kDetailModePage2Id, kDetailModePage3Id,
                           kDetailModePage3_5Id})
    {
        Start(kOrdinaryModel);
        Open();
        GoTo(page);
        if (page == kDetailModePage3Id)
            Control<QSlider>(kIdcBrightnessBar)->setValue(0); // level 20
        // The monitor is somewhere else now (page 2 reset it and chose
        // 5000 K; page 3 moved the luminance).
        log.clear();
        answers.asked.clear();
        sheet->CancelButton()->click();
        EXPECT_EQ(answers.asked, std::vector<int>{kStrCancelWizard}) << page;
        EXPECT_FALSE(sheet->isVisible()) << page;
        EXPECT_EQ(log, kStockRestore) << page;
        const std::pair<std::uint8_t, int> stock[] = {{0x14, 5},  {0x16, 100}, {0x18, 95},
                                                      {0x1A, 90}, {0x10, 80},  {0x12, 50}};
        for (const auto& [code, value] : stock)
            EXPECT_EQ(Vcp(code), value) << page << " " << int(code);
        sheet.reset();
    }
}

TEST_F(DetailModeSheetTest, CancelAnsweredNoKeepsThePage)
{
    answers.answers[kStrCancelWizard] = kMessageNo;
    Start(kOrdinaryModel);
    Open();
    for (const int page : {kDetailModePage1Id, kDetailModePage2Id, kDetailModePage3Id,
                           kDetailModePage3_5Id})
    {
        GoTo(page);
        log.clear();
        sheet->CancelButton()->click();
        // Escape goes the same way.
        QTest::keyClick(sheet.get(), Qt::Key_Escape);
        EXPECT_TRUE(sheet->isVisible()) << page;
        EXPECT_EQ(sheet->ActivePageId(), page);
        EXPECT_TRUE(log.empty()) << page;
    }
}

TEST_F(DetailModeSheetTest, ValueThatWasNotReadIsNotWrittenBack)
{
    // The monitor has no green gain: its read fails at the opening.
    Start(kOrdinaryModel, [](platform::SimulatedMonitorSetup& m) {
        std::erase_if(m.vcp, [](const platform::SimulatedVcpCode& c) { return c.code == 0x18; });
        for (platform::SimulatedPreset& preset : m.presets)
            std::erase_if(preset.settings, [](const auto& s) { return s.first == 0x18; });
        m.capabilities.clear();
    });
    Open();
    EXPECT_FALSE(sheet->Saved().greenRead);
    EXPECT_TRUE(sheet->Saved().redRead);
    EXPECT_TRUE(sheet->Saved().contrastRead);
    log.clear();
    sheet->CancelButton()->click();
    EXPECT_EQ(log, (Log{"set 14=5", "set 16=100", "wait 200", "set 1A=90", "wait 200",
                        "set 10=80", "wait 500", "set 12=50"}));
}

// The pages re-apply the luminance of a monitor that needs it by writing
// back what they read; when the read fails (five attempts), nothing is
// written: not the full brightness a default would be.
TEST_F(DetailModeSheetTest, LuminanceReapplyWritesOnlyWhatWasRead)
{
    Start(kUserPresetModel);
    Open();
    ASSERT_TRUE(display->RefreshLuminanceFlag);
    log.clear();
    sheet->ReapplyLuminance();
    EXPECT_EQ(Sets(), (Log{"set 10=80"}));

    log.clear();
    ASSERT_TRUE(file.SetFailNext("SIM-1", 5));
    sheet->ReapplyLuminance();
    EXPECT_EQ(Sets(), Log{});
    EXPECT_EQ(Vcp(0x10), 80);
}

TEST_F(DetailModeSheetTest, RoomLightPageInitialisesEachModelGroupItsOwnWay)
{
    const Log preset4 = {"wait 1000", "set 14=4", "wait 500"};
    const Log refresh = {"get 10", "set 10=80"};
    const auto join = [](std::initializer_list<Log> parts) {
        Log out;
        for (const Log& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    const struct
    {
        const char* name;
        std::uint16_t product;
        int resetAnswer;
        Log expected;
        bool asked;
    } cases[] = {
        {"ordinary", kOrdinaryModel, kMessageYes,
         join({{"set 04=1", "wait 3000", "get 12", "set 12=50", "set F9=2"}, preset4}), true},
        {"ordinary, reset declined", kOrdinaryModel, kMessageNo,
         join({{"get 12", "set 12=50", "set F9=2"}, preset4}), true},
        {"two-range with auto setup", kTwoRangeAutoModel, kMessageYes,
         join({{"set 04=1", "wait 3000", "set 1E=1", "wait 3000", "get 12", "set 12=50",
                "set F9=2"},
               preset4, refresh}),
         true},
        {"user preset", kUserPresetModel, kMessageYes, join({{"set F9=5"}, preset4, refresh}),
         false},
        {"user preset with auto setup", kUserPresetAutoModel, kMessageYes,
         join({{"set F9=5"}, preset4, refresh}), false},
        {"slow reset with auto setup", kSlowResetAutoModel, kMessageYes,
         join({{"set 05=1", "wait 5000", "set 1E=1", "wait 5000", "set F9=1"}, preset4}), false},
        {"slow reset", kSlowResetModel, kMessageYes,
         join({{"set 05=1", "wait 5000", "set F9=1"}, preset4}), false},
        {"reset group", kResetModel, kMessageYes, preset4, false},
    };
    for (const auto& c : cases)
    {
        Start(c.product);
        answers.answers[kStrFactoryReset] = c.resetAnswer;
        Open();
        log.clear();
        answers.asked.clear();
        Next();
        ASSERT_EQ(sheet->ActivePageId(), kDetailModePage2Id) << c.name;
        EXPECT_EQ(log, c.expected) << c.name;
        EXPECT_EQ(answers.asked, c.asked ? std::vector<int>{kStrFactoryReset} : std::vector<int>{})
            << c.name;
        EXPECT_EQ(sheet->CurrentPreset(), kPreset5000K) << c.name;
        EXPECT_EQ(Vcp(0x14), 4) << c.name;
        EXPECT_EQ(BusyValue(), 0u) << c.name;
        EXPECT_EQ(sheet->WizardButtons(), kWizardBack | kWizardNext);
        sheet.reset();
    }
}

// After "はい" to the factory reset the monitor is waited for with the event
// loop stopped: the window shows the page as it is by then (not what was
// painted before the question), under the wait cursor.
TEST_F(DetailModeSheetTest, PageIsOnTheScreenWhileTheResetIsWaitedFor)
{
    Start(kOrdinaryModel);
    answers.answers[kStrFactoryReset] = kMessageYes;
    Open();
    int waits = 0;
    QImage shown;
    QImage painted;
    bool waitCursor = false;
    sheetClock.whileWaiting = [&](std::int64_t) {
        if (answers.asked.empty() || waits++ > 0)
            return;
        shown = sheet->screen()->grabWindow(sheet->winId()).toImage().convertToFormat(
            QImage::Format_RGB32);
        painted = sheet->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QCursor* cursor = QApplication::overrideCursor();
        waitCursor = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
    };
    Next();
    sheetClock.whileWaiting = nullptr;
    ASSERT_EQ(sheet->ActivePageId(), kDetailModePage2Id);
    ASSERT_EQ(answers.asked, std::vector<int>{kStrFactoryReset});
    ASSERT_GT(waits, 0);
    ASSERT_FALSE(painted.isNull());
    ASSERT_EQ(shown.size(), painted.size());
    int differing = 0;
    for (int y = 0; y < painted.height(); ++y)
        for (int x = 0; x < painted.width(); ++x)
            differing += shown.pixel(x, y) != painted.pixel(x, y) ? 1 : 0;
    EXPECT_EQ(differing, 0);
    EXPECT_TRUE(waitCursor);
}

TEST_F(DetailModeSheetTest, ZeroContrastMaximumKeepsTheContrast)
{
    Start(kOrdinaryModel, [](platform::SimulatedMonitorSetup& m) {
        for (platform::SimulatedVcpCode& c : m.vcp)
            if (c.code == 0x12)
                c.maximum = 0, c.current = 0;
    });
    Open();
    log.clear();
    Next();
    EXPECT_EQ(Sets(), (Log{"set 04=1", "set F9=2", "set 14=4"}));
}

TEST_F(DetailModeSheetTest, RoomLightPageRaisesAndLowersTheBusyValue)
{
    Start(kOrdinaryModel);
    Open(
        [] {
            auto pages = FirstPages();
            pages.push_back(Probe(kDetailModePage6Id));
            return pages;
        }());
    auto* probe = static_cast<ProbePage*>(sheet->PageById(kDetailModePage6Id));
    EXPECT_EQ(BusyValue(), 1u);
    Next();
    // After the initialisation: 0, the room light chosen and the pages told.
    EXPECT_EQ(BusyValue(), 0u);
    EXPECT_EQ(probe->roomLightCalls, 1);
    EXPECT_TRUE(Control<QRadioButton>(kIdcRadioFirst)->isChecked());

    const struct
    {
        int radio;
        int preset;
    } clicks[] = {{kIdcRadioSecond, 5}, {kIdcRadioFirst, 4}, {kIdcRadioFirst, 4}};
    int calls = 1;
    for (const auto& c : clicks)
    {
        sheet->SetGainsAdjusted(true);
        log.clear();
        transport->busy.clear();
        Control<QRadioButton>(c.radio)->click();
        EXPECT_EQ(log, (Log{"set 14=" + std::to_string(c.preset), "wait 500", "wait 500"}));
        // Busy while it talked to the monitor, free again afterwards.
        ASSERT_EQ(transport->busy.size(), 1u);
        EXPECT_EQ(transport->busy[0], 1u);
        EXPECT_EQ(BusyValue(), 0u);
        EXPECT_EQ(sheet->CurrentPreset(), c.preset);
        EXPECT_FALSE(sheet->GainsAdjusted());
        EXPECT_EQ(probe->roomLightCalls, ++calls);
        EXPECT_EQ(Vcp(0x14), c.preset);
    }
    // Leaving the page: busy again for the pages after it.
    Next();
    EXPECT_EQ(sheet->ActivePageId(), kDetailModePage3Id);
    EXPECT_EQ(BusyValue(), 1u);
    // Coming back does not initialise the monitor again.
    log.clear();
    Back();
    EXPECT_EQ(sheet->ActivePageId(), kDetailModePage2Id);
    EXPECT_TRUE(log.empty());
}

TEST_F(DetailModeSheetTest, RoomLightPageRedrawsTheChartWhenTheProfileChanges)
{
    const std::vector<std::uint8_t> srgbBytes = BuildSRGBProfileBytes();
    const std::vector<std::uint8_t> wideBytes = testsupport::WideGamutProfileBytes();
    CColorProfile srgb;
    CColorProfile wide;
    ASSERT_TRUE(srgb.OpenFromMemory(srgbBytes, "sRGB"));
    ASSERT_TRUE(wide.OpenFromMemory(wideBytes, "wide"));
    CColorConverter converter("");
    ASSERT_TRUE(converter.SetProfiles(&srgb, &srgb, &srgb));

    Start(kOrdinaryModel);
    sheet = std::make_unique<CDetailModeSheet>(DetailModePages(), nullptr, sheetClock);
    sheet->SetMonitor(display.get());
    sheet->SetConverter(&converter);
    sheet->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
    Next();
    auto* page = static_cast<CDetailModePage2*>(sheet->ActivePage());
    ASSERT_TRUE(page->ProfileWatch()->isActive());
    EXPECT_EQ(page->ProfileWatch()->interval(), 500);
    CImageCtrl* chart = page->Chart();
    ASSERT_FALSE(chart->picture().isNull());
    EXPECT_EQ(chart->path(), CDetailModeSheet::ChartPicturePath("ChartImage_big.tif").toStdString());

    // Nothing changed: the picture stays the one drawn.
    const qint64 first = chart->picture().cacheKey();
    page->OnProfileWatch();
    EXPECT_EQ(chart->picture().cacheKey(), first);

    // The monitor profile changed: the chart is drawn again for it.
    const QImage before = chart->picture();
    ASSERT_TRUE(converter.SetOutputProfile(&wide));
    ASSERT_NE(converter.GetOutputProfileName(), "");
    page->OnProfileWatch();
    EXPECT_NE(chart->picture().cacheKey(), first);
    EXPECT_NE(chart->picture(), before);
    const qint64 second = chart->picture().cacheKey();
    page->OnProfileWatch();
    EXPECT_EQ(chart->picture().cacheKey(), second);
}

TEST_F(DetailModeSheetTest, BrightnessPageMovesLuminance)
{
    Start(kOrdinaryModel);
    Open();
    GoTo(kDetailModePage3Id);
    auto* bar = Control<QSlider>(kIdcBrightnessBar);
    auto* level = Control<QLabel>(kIdcBrightnessLevel);
    // Luminance 80 of 100: level 16, four steps below the top.
    EXPECT_EQ(bar->value(), 4);
    EXPECT_EQ(level->text(), "16");
    EXPECT_TRUE(bar->invertedAppearance()); // position 0 at the top
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_EQ(sheet->WizardButtons(), kWizardBack | kWizardNext);

    const struct
    {
        int position;
        int luminance;
        const char* text;
    } moves[] = {{0, 100, "20"}, {13, 35, "7"}, {20, 0, "0"}};
    for (const auto& m : moves)
    {
        log.clear();
        bar->setValue(m.position);
        EXPECT_EQ(log, Log{"set 10=" + std::to_string(m.luminance)}) << m.position;
        EXPECT_EQ(level->text(), m.text);
    }
    // Shown again after the monitor changed elsewhere: the bar follows.
    Next();
    ASSERT_TRUE(file.FrontPanelChange("SIM-1", 0x10, 50));
    Back();
    EXPECT_EQ(bar->value(), 10);
    EXPECT_EQ(level->text(), "10");
}

TEST_F(DetailModeSheetTest, BrightnessPageRefusesAMonitorWithoutRange)
{
    Start(kOrdinaryModel, [](platform::SimulatedMonitorSetup& m) {
        for (platform::SimulatedVcpCode& c : m.vcp)
            if (c.code == 0x10)
                c.maximum = 0, c.current = 0;
    });
    Open();
    GoTo(kDetailModePage3Id);
    auto* bar = Control<QSlider>(kIdcBrightnessBar);
    EXPECT_FALSE(bar->isEnabled());
    auto* refusal = sheet->ActivePage()->findChild<QLabel*>("refusal");
    ASSERT_NE(refusal, nullptr);
    EXPECT_FALSE(refusal->isHidden());
    EXPECT_EQ(refusal->text(), LoadString(kStrBrightnessNoRange));
    EXPECT_FALSE(refusal->text().isEmpty());
    log.clear();
    bar->setValue(0);
    EXPECT_TRUE(Sets().empty());
}

TEST_F(DetailModeSheetTest, ConfirmationPageReadsAndAppliesTheAdjustment)
{
    Start(kOrdinaryModel);
    Open();
    GoTo(kDetailModePage3Id);
    Control<QSlider>(kIdcBrightnessBar)->setValue(6); // level 14: luminance 70
    log.clear();
    Next();
    EXPECT_EQ(log, (Log{"get 10", "wait 200", "get 12"}));
    EXPECT_EQ(sheet->WizardButtons(), kWizardBack | kWizardFinish);
    EXPECT_TRUE(sheet->FinishButton()->isVisible());
    EXPECT_FALSE(sheet->NextButton()->isVisible());
    EXPECT_TRUE(Control<QRadioButton>(kIdcRadioSecond)->isChecked());

    // Before: the opening state; after: the adjustment again.
    log.clear();
    Control<QRadioButton>(kIdcRadioFirst)->click();
    EXPECT_EQ(log, kStockRestore);
    log.clear();
    Control<QRadioButton>(kIdcRadioSecond)->click();
    EXPECT_EQ(log, (Log{"set 14=4", "set 10=70", "wait 500", "set 12=50"}));
    EXPECT_EQ(Vcp(0x14), 4);
    EXPECT_EQ(Vcp(0x10), 70);

    // Back goes to the brightness page.
    Back();
    EXPECT_EQ(sheet->ActivePageId(), kDetailModePage3Id);
}

TEST_F(DetailModeSheetTest, ConfirmationWithGainsReadsThemBack)
{
    for (const std::uint16_t product : {kOrdinaryModel, kResetModel})
    {
        Start(product);
        Open();
        GoTo(kDetailModePage3Id);
        sheet->SetGainsAdjusted(true);
        log.clear();
        Next();
        Log expected = {"get 10", "wait 200", "get 12"};
        if (product == kResetModel)
            expected.insert(expected.end(), {"set 14=11", "wait 500"});
        expected.insert(expected.end(), {"get 16", "wait 200", "get 18", "wait 200", "get 1A",
                                         "wait 200"});
        EXPECT_EQ(log, expected) << product;

        log.clear();
        Control<QRadioButton>(kIdcRadioSecond)->click();
        Log applied;
        if (product == kResetModel)
            applied = {"set 14=11", "wait 500"};
        const auto* page = static_cast<CDetailModePage3_5*>(sheet->ActivePage());
        for (const auto& [code, value] :
             {std::pair<const char*, int>{"16", page->ToApply().red}, {"18", page->ToApply().green},
              {"1A", page->ToApply().blue}})
        {
            applied.push_back(std::string("set ") + code + "=" + std::to_string(value));
            applied.push_back("wait 200");
        }
        applied.insert(applied.end(), {"set 10=" + std::to_string(page->ToApply().luminance),
                                       "wait 500",
                                       "set 12=" + std::to_string(page->ToApply().contrast)});
        EXPECT_EQ(log, applied) << product;
        sheet.reset();
    }
}

TEST_F(DetailModeSheetTest, FinishAsksAndStoresTheSettings)
{
    Start(kOrdinaryModel);
    Open();
    GoTo(kDetailModePage3_5Id);

    answers.answers[kStrFinishWizard] = kMessageNo;
    log.clear();
    sheet->FinishButton()->click();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->ActivePageId(), kDetailModePage3_5Id);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(file.Counters("SIM-1")->saves, 0);

    answers.answers[kStrFinishWizard] = kMessageYes;
    answers.asked.clear();
    sheet->FinishButton()->click();
    EXPECT_EQ(answers.asked, std::vector<int>{kStrFinishWizard});
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(log, (Log{"set 14=4", "set 10=80", "wait 500", "set 12=50", "save"}));
    EXPECT_EQ(file.Counters("SIM-1")->saves, 1);
}

TEST_F(DetailModeSheetTest, SkipAndFinerSettingGoToTheFineAdjustment)
{
    // Without the fine-adjustment pages the skip has nowhere to go.
    Start(kOrdinaryModel);
    Open(FirstPages());
    Control<QPushButton>(kIdcSkipSetup)->click();
    EXPECT_EQ(sheet->ActivePageId(), kDetailModePage1Id);
    sheet.reset();

    // With a stand-in page 247 (the fine-adjustment pages register in the
    // page list as this one does).
    const auto withProbe = [] {
        auto pages = FirstPages();
        pages.push_back(Probe(kDetailModePage4Id));
        return pages;
    };
    Start(kOrdinaryModel);
    Open(withProbe());
    log.clear();
    Control<QPushButton>(kIdcSkipSetup)->click();
    EXPECT_EQ(sheet->ActivePageId(), kDetailModePage4Id);
    EXPECT_TRUE(log.empty()); // room light, initialisation and brightness left out
    EXPECT_EQ(sheet->CurrentPreset(), sheet->OpeningPreset());
    EXPECT_EQ(sheet->CurrentPreset(), 5);
    // Back from 247 goes to the page before it in the order: the
    // confirmation page, whose first showing reads the monitor.
    Back();
    EXPECT_EQ(sheet->ActivePageId(), kDetailModePage3_5Id);
    sheet.reset();

    Start(kOrdinaryModel);
    Open(withProbe());
    GoTo(kDetailModePage3_5Id);
    log.clear();
    Control<QPushButton>(kIdcFinerSetting)->click();
    EXPECT_EQ(log, (Log{"set 14=4", "set 10=80", "wait 500", "set 12=50"}));
    EXPECT_EQ(sheet->ActivePageId(), kDetailModePage4Id);
}

TEST_F(DetailModeSheetTest, WizardKeysReachTheActivePageFirst)
{
    Start(kOrdinaryModel);
    Open({Probe(kDetailModePage6Id)});
    auto* probe = static_cast<ProbePage*>(sheet->ActivePage());
    probe->edit->setText("abc");
    probe->edit->setFocus();
    probe->edit->setCursorPosition(1);
    QApplication::setActiveWindow(sheet.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet.get()));
    for (const Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down,
                              Qt::Key_Return, Qt::Key_Enter})
        QTest::keyClick(probe->edit, key);
    QTest::keyClick(probe->edit, Qt::Key_X);
    EXPECT_EQ(probe->keys, (std::vector<int>{Qt::Key_Left, Qt::Key_Right, Qt::Key_Up,
                                             Qt::Key_Down, Qt::Key_Return, Qt::Key_Enter}));
    // The edit saw none of the wizard keys (its cursor did not move), but
    // the letter.
    EXPECT_EQ(probe->edit->text(), "axbc");
    EXPECT_TRUE(sheet->isVisible());
}

TEST_F(DetailModeSheetTest, PagesShowTheirTextsInThePageFont)
{
    const struct
    {
        int page;
        int control;
        int text;
    } texts[] = {
        {kDetailModePage1Id, kIdcChartSetupTitle, 24400},
        {kDetailModePage1Id, kIdcChartSetupNote, 24401},
        {kDetailModePage1Id, kIdcSkipSetup, 24402},
        {kDetailModePage2Id, kIdcRoomLightTitle, 24500},
        {kDetailModePage2Id, kIdcRadioFirst, 24501},
        {kDetailModePage2Id, kIdcRoomLightFirstNote, 24502},
        {kDetailModePage2Id, kIdcRadioSecond, 24503},
        {kDetailModePage2Id, kIdcRoomLightSecondNote, 24504},
        {kDetailModePage2Id, kIdcRoomLightHint, 24505},
        {kDetailModePage3Id, kIdcBrightnessTitle, 24600},
        {kDetailModePage3_5Id, kIdcConfirmTitle, 27300},
        {kDetailModePage3_5Id, kIdcConfirmYes, 27301},
        {kDetailModePage3_5Id, kIdcConfirmNo, 27302},
        {kDetailModePage3_5Id, kIdcConfirmFiner, 27303},
        {kDetailModePage3_5Id, kIdcFinerSetting, 27304},
        {kDetailModePage3_5Id, kIdcRadioFirst, 27305},
        {kDetailModePage3_5Id, kIdcRadioSecond, 27306},
    };
    // The texts the design gives for the pages' controls, one of each kind.
    EXPECT_EQ(LoadString(24501), QStringLiteral("昼白色"));
    EXPECT_EQ(LoadString(27304), QStringLiteral("より細かく設定"));
    Start(kOrdinaryModel);
    Open();
    for (const int page : {kDetailModePage1Id, kDetailModePage2Id, kDetailModePage3Id,
                           kDetailModePage3_5Id})
    {
        GoTo(page);
        for (const auto& t : texts)
        {
            if (t.page != page)
                continue;
            QWidget* control = sheet->ActivePage()->findChild<QWidget*>(QString::number(t.control));
            ASSERT_NE(control, nullptr) << t.control;
            const QVariant text = control->property("text");
            EXPECT_FALSE(LoadString(t.text).isEmpty()) << t.text;
            EXPECT_EQ(text.toString(), LoadString(t.text)) << t.control;
            // The page font goes on the texts the design names (not on the
            // skip button nor on the room-light hint).
            if (t.control != kIdcSkipSetup && t.control != kIdcRoomLightHint)
            {
                EXPECT_EQ(control->font().pixelSize(), 14) << t.control;
            }
        }
    }
    GoTo(kDetailModePage3_5Id);
    EXPECT_EQ(sheet->BackButton()->text(), LoadString(3074));
    EXPECT_EQ(sheet->FinishButton()->text(), LoadString(3076));
}

TEST_F(DetailModeSheetTest, SheetWithoutMonitorTouchesNothing)
{
    sheet = std::make_unique<CDetailModeSheet>(DetailModePages(), nullptr, sheetClock);
    sheet->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
    EXPECT_FALSE(sheet->IsResetModel());
    EXPECT_EQ(sheet->OpeningPreset(), 0);
    Next();
    Next();
    Next();
    EXPECT_EQ(sheet->ActivePageId(), kDetailModePage3_5Id);
    EXPECT_TRUE(static_cast<const CDetailModePage3*>(sheet->PageById(kDetailModePage3Id))
                    ->Slider()
                    .Refused());
    sheet->CancelButton()->click();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_TRUE(log.empty());
}

} // namespace
