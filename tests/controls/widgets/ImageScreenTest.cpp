// The full-screen viewer: where the image goes, what it paints for grey
// files, the notifications of keys, clicks and the control bar, the slide
// timer with pause, the resting cursor and the interval setting; and the
// About box.

#include "controls/widgets/ImageScreen.h"
#include "controls/dialogs/SlideShowSettingDlg.h"
#include "controls/dialogs/ViewerAboutDlg.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/ImageScreenLogic.h"
#include "controls/widgets/LinkText.h"
#include "core/ImageEx.h"
#include "core/IniFile.h"
#include "tests/controls/FakePointerState.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <tiffio.h>

#include <memory>
#include <tuple>
#include <vector>

using testsupport::TempDir;

namespace {

constexpr int kMessage = 0x466;
using Notice = std::tuple<int, int, qint64>;

std::vector<Notice> Notices(const QSignalSpy& spy)
{
    std::vector<Notice> notices;
    for (const QList<QVariant>& args : spy)
        notices.emplace_back(args[0].toInt(), args[1].toInt(), args[2].toLongLong());
    return notices;
}

// A w x h image, every pixel (r, g, b) but the right half (r2, g2, b2).
CImageEx TwoColourImage(int width, int height, QRgb left, QRgb right)
{
    CImageEx image;
    EXPECT_TRUE(image.Create(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const QRgb colour = x < width / 2 ? left : right;
            std::uint8_t* pixel = image.GetPixelAddress(x, y);
            pixel[0] = static_cast<std::uint8_t>(qBlue(colour));
            pixel[1] = static_cast<std::uint8_t>(qGreen(colour));
            pixel[2] = static_cast<std::uint8_t>(qRed(colour));
        }
    return image;
}

// An 8-bit, one-sample grey TIFF: the top half `top`, the bottom half
// `bottom`.
void WriteGreyTiff(const std::string& path, int width, int height, std::uint8_t top,
                   std::uint8_t bottom)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y)
    {
        std::fill(row.begin(), row.end(), y < height / 2 ? top : bottom);
        ASSERT_EQ(TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0), 1);
    }
    TIFFClose(tiff);
}

void SendMouseMove(QWidget& widget, QPoint global)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(widget.mapFromGlobal(global)), QPointF(global),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
}

class ImageScreenTest : public testing::Test
{
protected:
    std::unique_ptr<CImageScreen> MakeScreen()
    {
        auto screen = std::make_unique<CImageScreen>(nullptr, m_dir.File("settings.ini"));
        screen->setPointerState(&m_pointer);
        screen->setNotifyMessage(kMessage);
        return screen;
    }

    TempDir m_dir;
    FakePointerState m_pointer;
};

} // namespace

TEST(ImageScreenLogicTest, FitsTheImageCentredWithItsAspect)
{
    struct Case
    {
        CRect rect;
        int width;
        int height;
        CRect fitted;
    };
    const Case cases[] = {
        {{0, 0, 1600, 1200}, 4000, 1000, {0, 400, 1600, 800}},
        {{0, 0, 1600, 1200}, 1000, 4000, {650, 0, 950, 1200}},
        {{0, 0, 1600, 1200}, 800, 600, {0, 0, 1600, 1200}},
        {{0, 0, 160, 120}, 3, 1, {0, 33, 160, 86}},
        {{10, 20, 110, 70}, 1, 1, {35, 20, 85, 70}},
        {{0, 0, 1600, 1200}, 0, 10, {}},
        {{0, 0, 0, 1200}, 10, 10, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        EXPECT_EQ(FitImageRect(c.rect, c.width, c.height), c.fitted);
    }
}

TEST(ImageScreenLogicTest, TheCursorWakesBeyondFivePixels)
{
    const std::tuple<int, int, bool> cases[] = {
        {0, 0, false}, {5, 0, false}, {0, -5, false}, {3, 4, false}, {4, 4, true}, {6, 0, true}, {-3, -5, true}};
    for (const auto& [dx, dy, wakes] : cases)
        EXPECT_EQ(IsCursorWakeMove(dx, dy), wakes) << dx << "," << dy;
}

TEST_F(ImageScreenTest, IntervalReadWithinRangeAndWrittenOnClose)
{
    const std::string ini = m_dir.File("settings.ini");
    const std::pair<int, int> cases[] = {{500, 5000}, {70000, 5000}, {999, 5000},
                                         {1000, 1000}, {60000, 60000}, {7000, 7000}};
    for (const auto& [stored, read] : cases)
    {
        CIniFile(ini).SetInt("SlideShow", "IntervaleTime", stored);
        EXPECT_EQ(MakeScreen()->m_nInterval, read) << stored;
    }
    {
        auto screen = MakeScreen();
        screen->m_nInterval = 9000;
    }
    EXPECT_EQ(CIniFile(ini).GetInt("SlideShow", "IntervaleTime", 0), 9000);
    EXPECT_EQ(CIniFile(m_dir.File("missing.ini")).GetInt("SlideShow", "IntervaleTime", 0), 0);
    EXPECT_EQ(ReadSlideInterval(m_dir.File("missing.ini")), 5000);
}

// A wide image fills the width, centred between black bands; a new image
// set with ReleaseImage replaces the picture drawn from the old one.
TEST_F(ImageScreenTest, PaintsTheImageFittedAndCentredOnBlack)
{
    auto screen = MakeScreen();
    screen->resize(160, 120);
    const CImageEx wide = TwoColourImage(40, 10, qRgb(255, 0, 0), qRgb(0, 0, 255));
    screen->SetImage(&wide);
    // Drawn 160 x 40 from row 40.
    QImage painted = screen->renderToImage();
    EXPECT_EQ(painted.pixel(80, 10), qRgb(0, 0, 0));
    EXPECT_EQ(painted.pixel(80, 39), qRgb(0, 0, 0));
    EXPECT_EQ(painted.pixel(20, 60), qRgb(255, 0, 0));
    EXPECT_EQ(painted.pixel(140, 60), qRgb(0, 0, 255));
    EXPECT_EQ(painted.pixel(20, 41), qRgb(255, 0, 0));
    EXPECT_EQ(painted.pixel(20, 78), qRgb(255, 0, 0));
    EXPECT_EQ(painted.pixel(80, 80), qRgb(0, 0, 0));
    EXPECT_EQ(painted.pixel(80, 110), qRgb(0, 0, 0));

    const CImageEx tall = TwoColourImage(10, 30, qRgb(0, 255, 0), qRgb(0, 255, 0));
    screen->SetImage(&tall);
    screen->ReleaseImage();
    // Drawn 40 x 120 from column 60.
    painted = screen->renderToImage();
    EXPECT_EQ(painted.pixel(30, 60), qRgb(0, 0, 0));
    EXPECT_EQ(painted.pixel(80, 60), qRgb(0, 255, 0));
    EXPECT_EQ(painted.pixel(61, 5), qRgb(0, 255, 0));
    EXPECT_EQ(painted.pixel(130, 60), qRgb(0, 0, 0));

    screen->SetImage(nullptr);
    painted = screen->renderToImage();
    EXPECT_EQ(painted.pixel(80, 60), qRgb(0, 0, 0));
}

// An 8-bit grey file becomes a display image of three equal bytes a pixel;
// the viewer shows those greys, not the one-byte samples read as colours.
TEST_F(ImageScreenTest, ShowsAnEightBitGreyImageGrey)
{
    const std::string path = m_dir.File("grey.tif");
    WriteGreyTiff(path, 30, 20, 0x40, 0xc0);
    CImageEx grey;
    ASSERT_TRUE(grey.Load(path));
    auto screen = MakeScreen();
    screen->resize(60, 40);
    screen->SetImage(&grey);
    const QImage painted = screen->renderToImage();
    for (const int x : {2, 29, 57})
    {
        EXPECT_EQ(painted.pixel(x, 3), qRgb(0x40, 0x40, 0x40)) << x;
        EXPECT_EQ(painted.pixel(x, 36), qRgb(0xc0, 0xc0, 0xc0)) << x;
    }
}

// Enter, Esc and the left button are posted: they reach the owner from the
// event loop, after the event, in order. Without a message nothing goes.
TEST_F(ImageScreenTest, KeysAndClicksArePostedToTheOwner)
{
    auto screen = MakeScreen();
    screen->resize(200, 150);
    screen->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(screen.get()));
    QSignalSpy spy(screen.get(), &CImageScreen::notify);

    QTest::keyClick(screen.get(), Qt::Key_Return);
    EXPECT_EQ(spy.count(), 0);
    QTest::keyClick(screen.get(), Qt::Key_Escape);
    QTest::keyClick(screen.get(), Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(screen.get(), Qt::Key_Space);
    QTest::mouseClick(screen.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 75));
    QTest::mouseClick(screen.get(), Qt::RightButton, Qt::NoModifier, QPoint(100, 75));
    QCoreApplication::processEvents();
    const std::vector<Notice> expected = {
        {kMessage, CImageScreen::kEnter, 0},
        {kMessage, CImageScreen::kEscape, 0},
        {kMessage, CImageScreen::kEnter, 0},
        {kMessage, CImageScreen::kClicked, 0},
    };
    EXPECT_EQ(Notices(spy), expected);

    spy.clear();
    screen->setNotifyMessage(0);
    QTest::keyClick(screen.get(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(ImageScreenTest, ControlBarButtonsReachTheOwnerAsDesigned)
{
    auto screen = MakeScreen();
    screen->resize(400, 300);
    screen->m_nInterval = 60000;
    screen->StartSlideShow();
    CSlideShowDlg* bar = screen->GetControlBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->size(), QSize(144, 24));
    EXPECT_EQ(bar->pos(), QPoint(400 - 144, 0));
    EXPECT_EQ(bar->button(CSlideShowDlg::kSettings)->x(), 96);
    EXPECT_EQ(bar->button(CSlideShowDlg::kClose)->x(), 120);
    EXPECT_TRUE(bar->button(CSlideShowDlg::kPlay)->isChecked());
    EXPECT_TRUE(screen->IsSlideTimerRunning());

    QSignalSpy spy(screen.get(), &CImageScreen::notify);
    // "next" is sent at once and leaves the show running.
    bar->button(CSlideShowDlg::kNext)->click();
    EXPECT_EQ(Notices(spy), (std::vector<Notice>{{kMessage, CImageScreen::kNextImage, 0}}));
    EXPECT_TRUE(screen->IsSlideTimerRunning());
    // "previous" stops the show first, then is sent at once.
    spy.clear();
    bar->button(CSlideShowDlg::kPrevious)->click();
    EXPECT_EQ(Notices(spy), (std::vector<Notice>{{kMessage, CImageScreen::kPreviousImage, 0}}));
    EXPECT_FALSE(screen->IsSlideTimerRunning());
    // "close" is posted.
    spy.clear();
    bar->button(CSlideShowDlg::kClose)->click();
    EXPECT_EQ(spy.count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(Notices(spy), (std::vector<Notice>{{kMessage, CImageScreen::kCloseShow, 0}}));
    // The slide timer's tick asks for the next image.
    spy.clear();
    screen->OnTimer(CImageScreen::kSlideTimer);
    EXPECT_EQ(Notices(spy), (std::vector<Notice>{{kMessage, CImageScreen::kNextImage, 0}}));

    // Tooltips 3038..3043 in the order of the codes.
    for (int code = CSlideShowDlg::kPlay; code <= CSlideShowDlg::kSettings; ++code)
        EXPECT_EQ(bar->button(static_cast<CSlideShowDlg::Code>(code))->toolTip(), LoadString(3038 + code));
}

// Paused, the show stays paused: neither the owner's restart after an
// image, nor "next", nor the settings dialog, nor time starts it again;
// play does.
TEST_F(ImageScreenTest, APausedShowStaysPaused)
{
    auto screen = MakeScreen();
    screen->resize(400, 300);
    screen->m_nInterval = 20;
    screen->StartSlideShow();
    CSlideShowDlg* bar = screen->GetControlBar();
    QSignalSpy spy(screen.get(), &CImageScreen::notify);

    bar->button(CSlideShowDlg::kPause)->click();
    EXPECT_TRUE(screen->IsPaused());
    EXPECT_FALSE(screen->IsSlideTimerRunning());
    EXPECT_TRUE(bar->button(CSlideShowDlg::kPause)->isChecked());
    EXPECT_FALSE(bar->button(CSlideShowDlg::kPlay)->isChecked());

    screen->StartSlideTimer();
    bar->button(CSlideShowDlg::kNext)->click();
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<CSlideShowSettingDlg*>(QApplication::activeModalWidget()))
            dialog->accept();
    });
    bar->button(CSlideShowDlg::kSettings)->click();
    EXPECT_FALSE(screen->IsSlideTimerRunning());
    QTest::qWait(100);
    EXPECT_EQ(Notices(spy), (std::vector<Notice>{{kMessage, CImageScreen::kNextImage, 0}}));

    spy.clear();
    bar->button(CSlideShowDlg::kPlay)->click();
    EXPECT_FALSE(screen->IsPaused());
    EXPECT_TRUE(screen->IsSlideTimerRunning());
    EXPECT_TRUE(QTest::qWaitFor([&] { return spy.count() > 0; }, 5000));
    EXPECT_EQ(std::get<1>(Notices(spy).front()), CImageScreen::kNextImage);
}

TEST_F(ImageScreenTest, SettingsStoreTheIntervalInWholeSeconds)
{
    const std::string ini = m_dir.File("settings.ini");
    {
        auto screen = MakeScreen();
        screen->resize(400, 300);
        screen->m_nInterval = 5000;
        screen->StartSlideShow();
        int shown = 0;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CSlideShowSettingDlg*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            auto* seconds = dialog->findChild<QSpinBox*>(QStringLiteral("1321"));
            shown = seconds->value();
            EXPECT_EQ(seconds->minimum(), 1);
            EXPECT_EQ(seconds->maximum(), 60);
            seconds->setValue(7);
            dialog->findChild<QPushButton*>(QStringLiteral("1"))->click();
        });
        screen->GetControlBar()->button(CSlideShowDlg::kSettings)->click();
        EXPECT_EQ(shown, 5);
        EXPECT_EQ(screen->m_nInterval, 7000);
        EXPECT_TRUE(screen->IsSlideTimerRunning());
    }
    EXPECT_EQ(CIniFile(ini).GetInt("SlideShow", "IntervaleTime", 0), 7000);
}

// The cursor hides with the bar when it rests from one tick to the next,
// stays hidden for moves of 5 pixels or less and comes back beyond.
TEST_F(ImageScreenTest, ARestingCursorHidesWithTheBar)
{
    auto screen = MakeScreen();
    screen->resize(400, 300);
    screen->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(screen.get()));
    const QPoint origin = screen->mapToGlobal(QPoint(200, 150));
    m_pointer.position = origin + QPoint(10, 0);
    screen->StartSlideShow();
    CSlideShowDlg* bar = screen->GetControlBar();

    m_pointer.position = origin;
    screen->OnTimer(CImageScreen::kCursorTimer);
    EXPECT_FALSE(screen->IsCursorHidden());
    screen->OnTimer(CImageScreen::kCursorTimer);
    EXPECT_TRUE(screen->IsCursorHidden());
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(screen->cursor().shape(), Qt::BlankCursor);

    SendMouseMove(*screen, origin + QPoint(3, 4));
    EXPECT_TRUE(screen->IsCursorHidden());
    SendMouseMove(*screen, origin + QPoint(-5, 0));
    EXPECT_TRUE(screen->IsCursorHidden());
    SendMouseMove(*screen, origin + QPoint(4, 4));
    EXPECT_FALSE(screen->IsCursorHidden());
    EXPECT_TRUE(bar->isVisible());
    EXPECT_NE(screen->cursor().shape(), Qt::BlankCursor);
}

TEST(ViewerAboutDlgTest, NameVersionLinksAndSystemInformation)
{
    const QString title = ProgramNameAndVersion();
    EXPECT_TRUE(title.startsWith(LoadString(kStrApplicationName) + QStringLiteral(" Version ")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral(" Version \\d+\\.\\d+\\.\\d+$")).match(title).hasMatch())
        << title.toStdString();

    {
        CViewerAboutDlg dialog;
        for (const auto& [id, address] : {std::pair{"1316", kSupportHomePage}, std::pair{"1317", kDisplayHomePage}})
        {
            auto* link = dialog.findChild<CLinkText*>(QString::fromLatin1(id));
            ASSERT_NE(link, nullptr) << id;
            EXPECT_EQ(link->LinkUrl(), QUrl(QString::fromLatin1(address)));
        }
    }

    int opened = 0;
    CViewerAboutDlg::SetSystemInfoOpener([&](QWidget*) { ++opened; });
    {
        CViewerAboutDlg dialog;
        auto* button = dialog.findChild<QPushButton*>(QStringLiteral("1315"));
        EXPECT_FALSE(button->isHidden());
        button->click();
        EXPECT_EQ(opened, 1);
    }
    CViewerAboutDlg::SetSystemInfoOpener({});
}
