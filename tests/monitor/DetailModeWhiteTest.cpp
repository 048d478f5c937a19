// The detail-mode wizard's white adjustment and last pages, driven page by
// page against the simulated monitor on a virtual clock: the way chosen on
// page 4 and where Back leads, the candidate pictures' clicks and the gains
// they write, the diagram's points, the refusals (no point, no model data,
// no gain range), the resets, and the last page's apply, Finish and the
// stored diagram point.
//
// The simulated monitor stores gains but has no light of its own: its
// white is worked out here from its gains with the model's data (the
// sRGB primaries with the D65 white at full gains, gamma 2.2), the same
// screen model the gains are computed from.

#include "monitor/DetailModePages4to7.h"

#include "controls/support/StringTable.h"
#include "controls/widgets/CIExyCtrl.h"
#include "controls/widgets/ImageCtrl.h"
#include "core/CIEColor.h"
#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "core/StdMatrix.h"
#include "monitor/Display.h"
#include "platform/ddc/SimulatedMonitors.h"

#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

using platform::SimulatedExchange;
using testsupport::PrivateUserFolders;
using testsupport::RecordingMessageSink;

namespace {

constexpr std::uint8_t kVcpRed = 0x16;
constexpr std::uint8_t kVcpGreen = 0x18;
constexpr std::uint8_t kVcpBlue = 0x1A;
constexpr std::uint8_t kVcpPreset = 0x14;
constexpr std::uint8_t kVcpLuminance = 0x10;
constexpr std::uint8_t kVcpContrast = 0x12;

// The xy of the simulated monitor's white for its gains: each channel's
// light (gain / maximum) ^ gamma times that primary's share of the native
// white, added up.
WhiteXy MonitorWhite(double r, double g, double b, double maximum = 100.0)
{
    const double p[9] = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290, 2.2};
    const auto xyz = [](double Y, double x, double y) { return CCIEYxy(Y, x, y).ToXYZ(); };
    const CCIEXYZ prim[3] = {xyz(1, p[0], p[1]), xyz(1, p[2], p[3]), xyz(1, p[4], p[5])};
    CStdMatrix m(prim[0][0], prim[1][0], prim[2][0], prim[0][1], prim[1][1], prim[2][1],
                 prim[0][2], prim[1][2], prim[2][2]);
    EXPECT_TRUE(m.Invert());
    const CStdVector share = m.MultiplyVector(xyz(1, p[6], p[7]));
    const double light[3] = {std::pow(r / maximum, p[8]), std::pow(g / maximum, p[8]),
                             std::pow(b / maximum, p[8])};
    double sum[3] = {0, 0, 0};
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 3; ++k)
            sum[k] += light[c] * share[static_cast<std::size_t>(c)] * prim[c][static_cast<std::size_t>(k)];
    const CCIEYxy yxy = CCIEXYZ(sum[0], sum[1], sum[2]).ToYxy();
    return {yxy[1], yxy[2]};
}

class DetailModeWhiteTest : public ::testing::Test
{
protected:
    DetailModeWhiteTest() : file(folders.File("monitors.ini"))
    {
        std::filesystem::create_directories(
            std::filesystem::path(GetIniFilePath()).parent_path());
    }

    ~DetailModeWhiteTest() override
    {
        sheet.reset();
        display.reset();
    }

    // The stock simulated monitor as model `product`, with or without the
    // model's data.
    void StartMonitor(std::uint16_t product = 0x1234, bool modelData = true)
    {
        platform::SimulatedMonitorSetup setup = platform::DefaultSimulatedMonitor();
        setup.edid.product = product;
        StartMonitor(setup, modelData);
    }

    void StartMonitor(const platform::SimulatedMonitorSetup& setup, bool modelData)
    {
        ASSERT_TRUE(file.Write({setup}));
        if (modelData) {
            char code[8];
            std::snprintf(code, sizeof code, "%04X", setup.edid.product);
            const std::filesystem::path folder = folders.File("program/Data/") + code;
            std::filesystem::create_directories(folder);
            std::filesystem::copy_file(
                std::string(QB_SOURCE_DIR) + "/resources/monitor-data/1234/1234.ini",
                folder / (std::string(code) + ".ini"));
        }
        auto t = std::make_unique<platform::SimulatedDdcTransport>(file.Path(), clock);
        transport = t.get();
        display = std::make_unique<CDdcApiDisplay>(std::move(t), clock, folders.File("no-drm"));
        display->SetProgramFolder(folders.File("program/"));
        ASSERT_TRUE(display->EnumMonitors());
        ASSERT_TRUE(display->SelectMonitor(0));
    }

    // The whole wizard over the monitor, shown, on page 4.
    void OpenSheet()
    {
        sheet = std::make_unique<CDetailModeSheet>(nullptr, clock);
        sheet->SetMonitor(display.get());
        sheet->SetWizardMode();
        sheet->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
        ASSERT_TRUE(sheet->SetActivePage(kDetailModePage4Id));
    }

    void ChooseMethod(int radioId)
    {
        auto* radio = sheet->PageById(kDetailModePage4Id)->findChild<QRadioButton*>(
            QString::number(radioId));
        ASSERT_NE(radio, nullptr);
        radio->setChecked(true);
    }

    CDetailModePage5& Page5() const
    {
        return *static_cast<CDetailModePage5*>(sheet->PageById(kDetailModePage5Id));
    }
    CDetailModePage6& Page6() const
    {
        return *static_cast<CDetailModePage6*>(sheet->PageById(kDetailModePage6Id));
    }
    CDetailModePage7& Page7() const
    {
        return *static_cast<CDetailModePage7*>(sheet->PageById(kDetailModePage7Id));
    }

    std::uint16_t Vcp(std::uint8_t code) const
    {
        const auto value = file.ReadVcp("SIM-1", code);
        EXPECT_TRUE(value.has_value());
        return value ? value->current : 0;
    }
    WhiteXy WhiteNow() const { return MonitorWhite(Vcp(kVcpRed), Vcp(kVcpGreen), Vcp(kVcpBlue)); }

    // The gain writes since the log was cleared: (code, value, time).
    std::vector<SimulatedExchange> GainWrites() const
    {
        std::vector<SimulatedExchange> writes;
        for (const SimulatedExchange& e : transport->Log())
            if (e.kind == SimulatedExchange::Kind::SetVcp &&
                (e.code == kVcpRed || e.code == kVcpGreen || e.code == kVcpBlue))
                writes.push_back(e);
        return writes;
    }

    void StoreSettings(const std::string& text)
    {
        std::ofstream(GetIniFilePath()) << text;
    }

    // Posted reports (the diagram's point) arrive.
    static void Deliver() { QCoreApplication::processEvents(); }

    PrivateUserFolders folders;
    platform::VirtualClock clock;
    platform::SimulatedMonitorFile file;
    platform::SimulatedDdcTransport* transport = nullptr;
    std::unique_ptr<CDdcApiDisplay> display;
    std::unique_ptr<CDetailModeSheet> sheet;
};

TEST_F(DetailModeWhiteTest, WayOfAdjustmentChoosesThePageAndWhereLastPageGoesBack)
{
    StartMonitor();
    struct Case
    {
        int radio;
        int page;
    };
    const Case cases[] = {{kIdcMethodPictures, kDetailModePage5Id},
                          {kIdcMethodDiagram, kDetailModePage6Id}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.radio);
        OpenSheet();
        EXPECT_EQ(sheet->WizardButtons(), kWizardBack | kWizardNext);
        ChooseMethod(c.radio);
        sheet->PressNext();
        ASSERT_EQ(sheet->ActivePageId(), c.page);
        EXPECT_EQ(sheet->BackTarget(), c.page);
        sheet->PressNext();
        ASSERT_EQ(sheet->ActivePageId(), kDetailModePage7Id);
        EXPECT_EQ(sheet->WizardButtons(), kWizardBack | kWizardFinish);
        // Back from the last page returns to the page that led there.
        sheet->PressBack();
        EXPECT_EQ(sheet->ActivePageId(), c.page);
        // Both adjustment pages go back to page 4, and page 4 to the
        // confirmation page, not to the page shown before.
        sheet->PressBack();
        EXPECT_EQ(sheet->ActivePageId(), kDetailModePage4Id);
        sheet->PressBack();
        EXPECT_EQ(sheet->ActivePageId(), kDetailModePage3_5Id);
    }
    // Page 4 starts on the diagram.
    OpenSheet();
    EXPECT_EQ(static_cast<CDetailModePage4*>(sheet->PageById(kDetailModePage4Id))->Method(), 0);
}

TEST_F(DetailModeWhiteTest, PictureClicksMoveTheTargetAndWriteGainsWithTheirPauses)
{
    StartMonitor();
    OpenSheet();
    ChooseMethod(kIdcMethodPictures);
    sheet->PressNext();
    ASSERT_EQ(sheet->ActivePageId(), kDetailModePage5Id);
    CDetailModePage5& page = Page5();
    EXPECT_NEAR(page.Target().x, 0.3127, 5e-5);
    EXPECT_EQ(page.Gains().maxima, (std::array<std::uint16_t, 3>{100, 100, 100}));

    struct Case
    {
        WhiteXy from;
        int cell;
        WhiteXy to;
    };
    const Case cases[] = {
        {{0.2800, 0.3300}, 0, {0.2788, 0.3400}}, {{0.3127, 0.3290}, 1, {0.3127, 0.3390}},
        {{0.3127, 0.3290}, 2, {0.3227, 0.3390}}, {{0.3127, 0.3290}, 3, {0.3027, 0.3290}},
        {{0.3127, 0.3290}, 5, {0.3227, 0.3290}}, {{0.3127, 0.3290}, 6, {0.3027, 0.3190}},
        {{0.3127, 0.2950}, 7, {0.3127, 0.2920}}, {{0.4300, 0.3290}, 8, {0.4362, 0.3190}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cell);
        page.SetTarget(c.from);
        transport->ClearLog();
        sheet->SetGainsAdjusted(false);
        QTest::mouseClick(page.Picture(c.cell), Qt::LeftButton);
        EXPECT_NEAR(page.Target().x, c.to.x, 1e-12);
        EXPECT_NEAR(page.Target().y, c.to.y, 1e-12);
        EXPECT_TRUE(sheet->GainsAdjusted());
        EXPECT_EQ(page.LastStatus(), WhiteGainStatus::Written);

        // Red, green, blue in that order, each followed by the page's 200 ms
        // (after the exchange's own 100 ms and 100 ms).
        const std::vector<SimulatedExchange> writes = GainWrites();
        ASSERT_EQ(writes.size(), 3u);
        EXPECT_EQ(writes[0].code, kVcpRed);
        EXPECT_EQ(writes[1].code, kVcpGreen);
        EXPECT_EQ(writes[2].code, kVcpBlue);
        EXPECT_EQ(writes[1].timeMs - writes[0].timeMs, 400);
        EXPECT_EQ(writes[2].timeMs - writes[1].timeMs, 400);
        std::vector<std::uint16_t> expected;
        const double xy[2] = {c.to.x, c.to.y};
        ASSERT_TRUE(display->ComputeWhiteGains(xy, expected, {100, 100, 100}));
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(writes[i].value, std::min<std::uint16_t>(expected[i], 100));
    }

    // The centre has no action.
    transport->ClearLog();
    const WhiteXy before = page.Target();
    QTest::mouseClick(page.Picture(kCandidateCentre), Qt::LeftButton);
    EXPECT_EQ(page.Target().x, before.x);
    EXPECT_TRUE(transport->Log().empty());
}

// A user who picks, each time, the picture nearest to the white they are
// after, and stops when the centre is nearest: the monitor's white ends
// within half a step of that white (and a gain step). The wanted whites lie
// within the few hundred kelvin of the room lights around the native white:
// far from it, a gain over its maximum lowers all three gains together,
// which bends the white away from the target.
TEST_F(DetailModeWhiteTest, PictureChoicesBringTheMonitorsWhiteToTheWantedWhite)
{
    StartMonitor();
    OpenSheet();
    ChooseMethod(kIdcMethodPictures);
    sheet->PressNext();
    CDetailModePage5& page = Page5();

    const WhiteXy goals[] = {{0.3457, 0.3585}, {0.3050, 0.3200}, {0.3300, 0.3300}};
    for (const WhiteXy& goal : goals) {
        SCOPED_TRACE(goal.x);
        for (int click = 0; click < 20; ++click) {
            const WhiteXy seen = WhiteNow();
            int best = kCandidateCentre;
            double bestDistance = 1e9;
            for (int cell = 0; cell < kCandidateCount; ++cell) {
                const CandidateDirection d = CandidateDirectionOf(cell);
                const double dx = seen.x + d.dx * kCandidateStep - goal.x;
                const double dy = seen.y + d.dy * kCandidateStep - goal.y;
                const double distance = dx * dx + dy * dy;
                if (distance < bestDistance - 1e-12) {
                    bestDistance = distance;
                    best = cell;
                }
            }
            if (best == kCandidateCentre)
                break;
            QTest::mouseClick(page.Picture(best), Qt::LeftButton);
        }
        const WhiteXy white = WhiteNow();
        EXPECT_NEAR(white.x, goal.x, kCandidateStep / 2 + 0.002);
        EXPECT_NEAR(white.y, goal.y, kCandidateStep / 2 + 0.002);
    }
}

TEST_F(DetailModeWhiteTest, DiagramPointsMoveTheMonitorsWhiteThere)
{
    StoreSettings("[DetailMode]\nSetCIExy=0\n");
    StartMonitor();
    OpenSheet();
    sheet->SetCurrentPreset(5);
    ChooseMethod(kIdcMethodDiagram);
    sheet->PressNext();
    ASSERT_EQ(sheet->ActivePageId(), kDetailModePage6Id);
    CDetailModePage6& page = Page6();
    CCIExyCtrl& diagram = *page.Diagram();
    // The 6500 K light seeds the point at its white.
    EXPECT_NEAR(diagram.Point.x, 0.3127, 5e-5);
    EXPECT_NEAR(diagram.RefPoint.y, 0.3290, 5e-5);

    const WhiteXy goals[] = {{0.3457, 0.3585}, {0.3000, 0.3150}, {0.3300, 0.3400}};
    for (const WhiteXy& goal : goals) {
        SCOPED_TRACE(goal.x);
        int px = 0;
        int py = 0;
        diagram.mapping().XyToPixel(goal.x, goal.y, px, py);
        transport->ClearLog();
        QTest::mouseClick(&diagram, Qt::LeftButton, {}, QPoint(px, py));
        Deliver();
        ASSERT_EQ(GainWrites().size(), 3u);
        EXPECT_EQ(page.LastStatus(), WhiteGainStatus::Written);
        // Within a pixel of the diagram and a gain step of the monitor.
        const WhiteXy white = WhiteNow();
        EXPECT_NEAR(white.x, goal.x, 0.003);
        EXPECT_NEAR(white.y, goal.y, 0.003);
        // The gains the page shows are those written.
        EXPECT_EQ(page.findChild<QLabel*>(QString::number(kIdcGainRed))->text(),
                  QString::number(Vcp(kVcpRed)));
        EXPECT_EQ(page.findChild<QLabel*>(QString::number(kIdcGainBlue))->text(),
                  QString::number(Vcp(kVcpBlue)));
    }
}

// A stored flag without a stored point: the diagram has nothing to aim at.
// Enter is a failed measurement that writes nothing, the page says so, and
// no (0, 0) is stored at the end.
TEST_F(DetailModeWhiteTest, ConfirmedFlagWithoutStoredPointIsAFailedMeasurement)
{
    StoreSettings("[DetailMode]\nSetCIExy=1\n");
    StartMonitor();
    OpenSheet();
    ChooseMethod(kIdcMethodDiagram);
    sheet->PressNext();
    CDetailModePage6& page = Page6();
    EXPECT_EQ(page.PointSet(), 1);
    EXPECT_FALSE(page.HasPoint());
    const std::uint16_t red = Vcp(kVcpRed);
    const std::uint16_t blue = Vcp(kVcpBlue);

    transport->ClearLog();
    sheet->SetGainsAdjusted(false);
    page.Diagram()->OnKeyDown(Qt::Key_Return);
    Deliver();
    EXPECT_EQ(page.LastStatus(), WhiteGainStatus::NoPoint);
    EXPECT_TRUE(GainWrites().empty());
    EXPECT_EQ(Vcp(kVcpRed), red);
    EXPECT_EQ(Vcp(kVcpBlue), blue);
    EXPECT_NE(Vcp(kVcpRed), 0);
    EXPECT_FALSE(page.StatusText()->isHidden());
    EXPECT_EQ(page.StatusText()->text(), LoadString(3078));
    EXPECT_FALSE(page.StatusText()->text().isEmpty());
    // As with any point report, the last page reads the gains back.
    EXPECT_TRUE(sheet->GainsAdjusted());

    // A click gives the diagram its point.
    int px = 0;
    int py = 0;
    page.Diagram()->mapping().XyToPixel(0.32, 0.33, px, py);
    QTest::mouseClick(page.Diagram(), Qt::LeftButton, {}, QPoint(px, py));
    Deliver();
    EXPECT_EQ(page.LastStatus(), WhiteGainStatus::Written);
    EXPECT_EQ(GainWrites().size(), 3u);
    EXPECT_TRUE(page.StatusText()->isHidden());
}

TEST_F(DetailModeWhiteTest, NeverStoredPointIsNotWrittenAsZero)
{
    StoreSettings("[DetailMode]\nSetCIExy=1\n");
    StartMonitor();
    OpenSheet();
    ChooseMethod(kIdcMethodDiagram);
    sheet->PressNext();
    sheet.reset();
    const DetailModeSettings stored = LoadDetailModeSettings(CIniFile(GetIniFilePath()));
    EXPECT_EQ(stored.setCIExy, 1);
    EXPECT_FALSE(stored.current.has_value());
}

TEST_F(DetailModeWhiteTest, GainsAreRefusedWithoutModelDataOrGainRange)
{
    struct Case
    {
        const char* name;
        bool modelData;
        std::uint16_t greenMaximum;
        WhiteGainStatus status;
        int text;
    };
    const Case cases[] = {
        {"no model data", false, 100, WhiteGainStatus::NoModelData, 3079},
        {"green maximum 0", true, 0, WhiteGainStatus::NoGainRange, 3080},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sheet.reset();
        display.reset();
        std::filesystem::remove_all(folders.File("program"));
        platform::SimulatedMonitorSetup setup = platform::DefaultSimulatedMonitor();
        for (platform::SimulatedVcpCode& code : setup.vcp)
            if (code.code == kVcpGreen) {
                code.maximum = c.greenMaximum;
                code.current = std::min(code.current, c.greenMaximum);
            }
        StartMonitor(setup, c.modelData);
        const std::uint16_t red = Vcp(kVcpRed);
        OpenSheet();
        ChooseMethod(kIdcMethodPictures);
        sheet->PressNext();
        transport->ClearLog();
        sheet->SetGainsAdjusted(false);
        QTest::mouseClick(Page5().Picture(0), Qt::LeftButton);
        EXPECT_EQ(Page5().LastStatus(), c.status);
        EXPECT_TRUE(GainWrites().empty());
        EXPECT_EQ(Vcp(kVcpRed), red);
        EXPECT_EQ(Page5().StatusText()->text(), LoadString(c.text));
        EXPECT_FALSE(Page5().StatusText()->text().isEmpty());
        EXPECT_TRUE(sheet->GainsAdjusted());

        // The last page then applies the gains it reads back.
        sheet->PressNext();
        ASSERT_EQ(sheet->ActivePageId(), kDetailModePage7Id);
        EXPECT_EQ(Page7().ToApply().gains[0], std::optional<std::uint16_t>(red));
    }
}

TEST_F(DetailModeWhiteTest, ResetAsksAndWritesTheOpeningGains)
{
    StartMonitor();
    const std::uint16_t red = Vcp(kVcpRed);
    const std::uint16_t green = Vcp(kVcpGreen);
    const std::uint16_t blue = Vcp(kVcpBlue);
    OpenSheet();
    ChooseMethod(kIdcMethodPictures);
    sheet->PressNext();
    CDetailModePage5& page = Page5();
    QTest::mouseClick(page.Picture(6), Qt::LeftButton);
    QTest::mouseClick(page.Picture(6), Qt::LeftButton);
    ASSERT_NE(Vcp(kVcpBlue), blue);

    {
        RecordingMessageSink no(kMessageNo);
        transport->ClearLog();
        page.findChild<QPushButton*>(QString::number(kIdcPicturesReset))->click();
        ASSERT_EQ(no.messages.size(), 1u);
        EXPECT_EQ(no.messages[0].stringId, 3049);
        EXPECT_EQ(no.messages[0].buttons, MessageButtons::YesNo);
        EXPECT_TRUE(GainWrites().empty());
        EXPECT_NE(page.Target().x, ChartWhiteXy().x);
    }
    {
        RecordingMessageSink yes(kMessageYes);
        page.findChild<QPushButton*>(QString::number(kIdcPicturesReset))->click();
        ASSERT_EQ(yes.messages.size(), 1u);
        EXPECT_EQ(Vcp(kVcpRed), red);
        EXPECT_EQ(Vcp(kVcpGreen), green);
        EXPECT_EQ(Vcp(kVcpBlue), blue);
        EXPECT_DOUBLE_EQ(page.Target().x, ChartWhiteXy().x);
        EXPECT_DOUBLE_EQ(page.Target().y, ChartWhiteXy().y);
    }

    // The diagram page's reset asks the same and puts the point back.
    sheet->PressBack();
    ChooseMethod(kIdcMethodDiagram);
    sheet->PressNext();
    CDetailModePage6& diagramPage = Page6();
    int px = 0;
    int py = 0;
    diagramPage.Diagram()->mapping().XyToPixel(0.34, 0.35, px, py);
    QTest::mouseClick(diagramPage.Diagram(), Qt::LeftButton, {}, QPoint(px, py));
    Deliver();
    ASSERT_NE(Vcp(kVcpBlue), blue);
    RecordingMessageSink yes(kMessageYes);
    diagramPage.findChild<QPushButton*>(QString::number(kIdcDiagramReset))->click();
    ASSERT_EQ(yes.messages.size(), 1u);
    EXPECT_EQ(yes.messages[0].stringId, 3049);
    EXPECT_EQ(Vcp(kVcpBlue), blue);
    EXPECT_EQ(diagramPage.Diagram()->Point.x, diagramPage.Diagram()->RefPoint.x);
    EXPECT_EQ(diagramPage.findChild<QLabel*>(QString::number(kIdcGainBlue))->text(),
              QString::number(blue));
}

TEST_F(DetailModeWhiteTest, FinishOnTheLastPageAppliesSavesAndNeverAsks)
{
    StartMonitor();
    OpenSheet();
    sheet->SetCurrentPreset(4);
    ChooseMethod(kIdcMethodPictures);
    sheet->PressNext();
    QTest::mouseClick(Page5().Picture(2), Qt::LeftButton);
    const std::uint16_t red = Vcp(kVcpRed);
    const std::uint16_t blue = Vcp(kVcpBlue);
    sheet->PressNext();
    ASSERT_EQ(sheet->ActivePageId(), kDetailModePage7Id);
    EXPECT_TRUE(Page7().AfterButton()->isChecked());

    RecordingMessageSink sink(kMessageNo);
    transport->ClearLog();
    sheet->PressFinish();
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(file.Counters("SIM-1")->saves, 1);

    // Preset, gains, luminance and contrast, in that order; the preset's
    // own gains are replaced by those the wizard set.
    std::vector<std::uint8_t> order;
    for (const SimulatedExchange& e : transport->Log())
        if (e.kind == SimulatedExchange::Kind::SetVcp)
            order.push_back(e.code);
    EXPECT_EQ(order, (std::vector<std::uint8_t>{kVcpPreset, kVcpRed, kVcpGreen, kVcpBlue,
                                                kVcpLuminance, kVcpContrast}));
    EXPECT_EQ(Vcp(kVcpPreset), 4);
    EXPECT_EQ(Vcp(kVcpRed), red);
    EXPECT_EQ(Vcp(kVcpBlue), blue);
}

TEST_F(DetailModeWhiteTest, BeforeAndAfterButtonsRestoreAndApply)
{
    StartMonitor();
    const std::uint16_t blue = Vcp(kVcpBlue);
    OpenSheet();
    sheet->SetCurrentPreset(5);
    ChooseMethod(kIdcMethodPictures);
    sheet->PressNext();
    QTest::mouseClick(Page5().Picture(0), Qt::LeftButton);
    const std::uint16_t adjusted = Vcp(kVcpBlue);
    ASSERT_NE(adjusted, blue);
    sheet->PressNext();

    Page7().BeforeButton()->click();
    EXPECT_EQ(Vcp(kVcpBlue), blue);
    Page7().AfterButton()->click();
    EXPECT_EQ(Vcp(kVcpBlue), adjusted);
}

TEST_F(DetailModeWhiteTest, ConfirmedPointIsStoredAndKeptWhenComingBack)
{
    StoreSettings("[DetailMode]\nSetCIExy=0\n");
    StartMonitor();
    OpenSheet();
    sheet->SetCurrentPreset(4);
    ChooseMethod(kIdcMethodDiagram);
    sheet->PressNext();
    CDetailModePage6& page = Page6();
    EXPECT_NEAR(page.Diagram()->Point.x, 0.3457, 5e-5);
    int px = 0;
    int py = 0;
    page.Diagram()->mapping().XyToPixel(0.33, 0.34, px, py);
    QTest::mouseClick(page.Diagram(), Qt::LeftButton, {}, QPoint(px, py));
    Deliver();
    const CIExyPoint confirmed = page.Diagram()->Point;

    sheet->PressNext();
    EXPECT_EQ(page.PointSet(), 1);
    EXPECT_EQ(page.Diagram()->RefPoint.x, confirmed.x);
    // Back on the last page: the point stays where it was confirmed, not at
    // the preset's white.
    sheet->PressBack();
    ASSERT_EQ(sheet->ActivePageId(), kDetailModePage6Id);
    EXPECT_EQ(page.Diagram()->Point.x, confirmed.x);
    EXPECT_EQ(page.Diagram()->Point.y, confirmed.y);

    // A room light chosen again forgets the confirmation.
    sheet->RoomLightChosen(5);
    EXPECT_EQ(page.PointSet(), 0);
    sheet->RoomLightChosen(4);
    sheet->PressNext();

    sheet.reset();
    const DetailModeSettings stored = LoadDetailModeSettings(CIniFile(GetIniFilePath()));
    EXPECT_EQ(stored.setCIExy, 1);
    ASSERT_TRUE(stored.current.has_value());
    EXPECT_NEAR(stored.current->x, confirmed.x, 1e-6);
    EXPECT_NEAR(stored.current->y, confirmed.y, 1e-6);
}

TEST_F(DetailModeWhiteTest, ArrowKeysMoveTheDiagramPointWhateverHasTheFocus)
{
    StoreSettings("[DetailMode]\nSetCIExy=0\n");
    StartMonitor();
    OpenSheet();
    sheet->SetCurrentPreset(5);
    ChooseMethod(kIdcMethodDiagram);
    sheet->PressNext();
    CDetailModePage6& page = Page6();
    auto* reset = page.findChild<QPushButton*>(QString::number(kIdcDiagramReset));
    reset->setFocus();
    QApplication::setActiveWindow(sheet.get());
    const CIExyPoint before = page.Diagram()->Point;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    // Two pixels to the right; y stays on its pixel.
    EXPECT_NEAR(page.Diagram()->Point.x - before.x, 2 * kCIExyWidth / (page.Diagram()->width() - 2.0), 0.0006);
    EXPECT_NEAR(page.Diagram()->Point.y, before.y, kCIExyHeight / 100);

    transport->ClearLog();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    Deliver();
    EXPECT_EQ(GainWrites().size(), 3u);
    EXPECT_EQ(sheet->ActivePageId(), kDetailModePage6Id);
    sheet->hide();
}

TEST_F(DetailModeWhiteTest, DiagramAloneHidesTheRestAndComesBack)
{
    StartMonitor();
    OpenSheet();
    ChooseMethod(kIdcMethodDiagram);
    sheet->PressNext();
    CDetailModePage6& page = Page6();
    QPushButton* button = page.DiagramOnlyButton();
    EXPECT_EQ(button->text(), LoadString(3063));
    const QSize full = sheet->size();
    const QPoint diagramOnScreen = page.Diagram()->mapToGlobal(QPoint(0, 0));

    // Alone: the sheet is the diagram's width + 36 by its height + 200,
    // the diagram and its button whole inside it, and the diagram where it
    // was on the screen.
    button->click();
    EXPECT_TRUE(page.DiagramOnly());
    EXPECT_EQ(button->text(), LoadString(3064));
    EXPECT_FALSE(page.Chart()->isVisible());
    EXPECT_FALSE(sheet->ButtonRow()->isVisible());
    EXPECT_TRUE(page.Diagram()->isVisible());
    EXPECT_EQ(sheet->size(),
              QSize(page.Diagram()->width() + 36, page.Diagram()->height() + 200));
    for (QWidget* shown : {static_cast<QWidget*>(page.Diagram()), static_cast<QWidget*>(button)})
    {
        const QRect inSheet(shown->mapTo(sheet.get(), QPoint(0, 0)), shown->size());
        EXPECT_TRUE(sheet->rect().contains(inSheet)) << shown->objectName().toStdString();
    }
    EXPECT_EQ(page.Diagram()->mapToGlobal(QPoint(0, 0)), diagramOnScreen);

    // Back: the size it had, the diagram still in its place.
    button->click();
    EXPECT_FALSE(page.DiagramOnly());
    EXPECT_EQ(button->text(), LoadString(3063));
    EXPECT_TRUE(page.Chart()->isVisible());
    EXPECT_TRUE(sheet->ButtonRow()->isVisible());
    EXPECT_EQ(sheet->size(), full);
    EXPECT_EQ(page.Diagram()->mapToGlobal(QPoint(0, 0)), diagramOnScreen);

    // Once more, as the user may switch back and forth.
    button->click();
    EXPECT_EQ(sheet->size(),
              QSize(page.Diagram()->width() + 36, page.Diagram()->height() + 200));
    button->click();
    EXPECT_EQ(sheet->size(), full);
    sheet->hide();
}

} // namespace

namespace {

// A monitor of the reset group sets its gains in its user preset: the white
// pages select it (and the last page applies it) instead of the room
// light's preset.
TEST_F(DetailModeWhiteTest, ResetGroupMonitorAdjustsItsWhiteInTheUserPreset)
{
    StartMonitor(ResetModelCodes()[0]);
    RecordingMessageSink yes(kMessageYes); // the opening's reset question
    OpenSheet();
    sheet->SetCurrentPreset(5);
    transport->ClearLog();
    ChooseMethod(kIdcMethodPictures);
    sheet->PressNext();
    ASSERT_EQ(sheet->ActivePageId(), kDetailModePage5Id);

    // The user preset comes before the gain ranges are read.
    const auto& log = transport->Log();
    const auto preset = std::find_if(log.begin(), log.end(), [](const SimulatedExchange& e) {
        return e.kind == SimulatedExchange::Kind::SetVcp && e.code == kVcpPreset;
    });
    ASSERT_NE(preset, log.end());
    EXPECT_EQ(preset->value, 11);
    const auto gainRead = std::find_if(log.begin(), log.end(), [](const SimulatedExchange& e) {
        return e.kind == SimulatedExchange::Kind::GetVcp && e.code == kVcpRed;
    });
    EXPECT_LT(preset - log.begin(), gainRead - log.begin());

    QTest::mouseClick(Page5().Picture(3), Qt::LeftButton);
    const std::uint16_t blue = Vcp(kVcpBlue);
    sheet->PressNext();
    transport->ClearLog();
    sheet->PressFinish();
    EXPECT_EQ(Vcp(kVcpPreset), 11);
    EXPECT_EQ(Vcp(kVcpBlue), blue);
    EXPECT_EQ(file.Counters("SIM-1")->saves, 1);
}

} // namespace
