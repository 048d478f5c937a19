// The single-image print dialog: the checks before printing, the printer,
// paper, source and copies it starts with and keeps per printer, the layout
// texts it shows, what it prints into a PDF file, and the settings it keeps.

#include "print/PrintImageDlg.h"

#include "controls/widgets/UpDown.h"
#include "core/ColorProfile.h"
#include "core/ImageEx.h"
#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "core/RGBImage.h"
#include "core/SRGBProfile.h"
#include "platform/ColorDirectory.h"
#include "print/MyEdit.h"
#include "print/PrintDialogParts.h"
#include "print/PrintPreviewCtrl.h"
#include "print/PrinterSettings.h"
#include "tests/controls/dialogs/DialogDriver.h"
#include "tests/print/CupsTestServer.h"
#include "tests/print/FakePdfChooser.h"
#include "tests/print/PdfReadBack.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTest>

#include <filesystem>
#include <string>
#include <vector>

using testsupport::PrivateUserFolders;
using testsupport::RecordingMessageSink;
using testsupport::ScopedEnv;

namespace {

// ---------------------------------------------------------------------------
// The checks before printing

// A4 at 300 dpi with a 4 mm margin all round, and a 600 x 400 image printed
// at one dot per pixel: 50.8 x 33.9 mm, centred on the paper.
PageGeometry A4At300()
{
    PageGeometry page;
    page.physicalWidth = 2480;
    page.physicalHeight = 3508;
    page.offsetX = 47;
    page.offsetY = 47;
    page.printableWidth = 2480 - 94;
    page.printableHeight = 3508 - 94;
    page.dpiX = page.dpiY = 300;
    return page;
}

CPrintLayout LaidOut()
{
    CPrintLayout layout;
    layout.SetImageSize(600, 400);
    layout.SetFit(false);
    layout.UpdatePaperLayout(A4At300());
    return layout;
}

PrintSettingsInput GoodInput(const CPrintLayout& layout)
{
    PrintSettingsInput input;
    input.ratioPercent = 100.0;
    input.widthTenthMM = layout.PrintWidth();
    input.heightTenthMM = layout.PrintHeight();
    input.copies = 1;
    input.maxCopies = 9;
    input.printerProfilePath = true;
    input.profileSelected = true;
    input.leftTenthMM = 0;
    input.topTenthMM = 0;
    return input;
}

TEST(PrintImageChecks, EachProblemIsFoundInItsTurn)
{
    const CPrintLayout layout = LaidOut();
    ASSERT_EQ(layout.PrintWidth(), 508);
    ASSERT_EQ(layout.MinWidth(), 5);
    ASSERT_EQ(layout.MaxWidth(), 50800);
    ASSERT_EQ(layout.MinHeight(), 3);
    ASSERT_EQ(layout.MaxHeight(), 33867);
    const int printableWidth = layout.PrintableWidthMM();
    const int printableHeight = layout.PrintableHeightMM();

    struct Case
    {
        const char* name;
        void (*change)(PrintSettingsInput&, int printableWidth, int printableHeight);
        PrintSettingsProblem expected;
    };
    using P = PrintSettingsProblem;
    using I = PrintSettingsInput;
    const std::vector<Case> cases = {
        {"all good", [](I&, int, int) {}, P{}},
        {"ratio 0.9 %", [](I& i, int, int) { i.ratioPercent = 0.9; },
         P{kStrPrintRatioRange, {"1.0", "10000.0"}, CPrintImageDlg::kIdRatio}},
        {"ratio 1 %", [](I& i, int, int) { i.ratioPercent = 1.0; }, P{}},
        {"ratio 10000.1 %", [](I& i, int, int) { i.ratioPercent = 10000.1; },
         P{kStrPrintRatioRange, {"1.0", "10000.0"}, CPrintImageDlg::kIdRatio}},
        {"width below", [](I& i, int, int) { i.widthTenthMM = 4; },
         P{kStrPrintWidthRange, {"0.5", "5080.0"}, CPrintImageDlg::kIdWidth}},
        {"width at the top", [](I& i, int, int) { i.widthTenthMM = 50800; }, P{}},
        {"height above", [](I& i, int, int) { i.heightTenthMM = 33868; },
         P{kStrPrintHeightRange, {"0.3", "3386.7"}, CPrintImageDlg::kIdHeight}},
        {"no copies", [](I& i, int, int) { i.copies = 0; },
         P{kStrPrintCopiesRange, {"1", "9"}, CPrintImageDlg::kIdCopies}},
        {"too many copies", [](I& i, int, int) { i.copies = 10; },
         P{kStrPrintCopiesRange, {"1", "9"}, CPrintImageDlg::kIdCopies}},
        {"no profile chosen", [](I& i, int, int) { i.profileSelected = false; },
         P{kStrPrintNoProfile, {}, CPrintImageDlg::kIdProfile}},
        {"no profile needed",
         [](I& i, int, int) {
             i.printerProfilePath = false;
             i.profileSelected = false;
         },
         P{}},
        // The page: 0.1 mm over an edge is tolerated, 0.2 mm is asked about.
        {"0.1 mm over the left", [](I& i, int, int) { i.leftTenthMM = -1; }, P{}},
        {"0.2 mm over the left", [](I& i, int, int) { i.leftTenthMM = -2; },
         P{kStrPrintOutsideArea, {}, 0, true}},
        {"0.2 mm over the top", [](I& i, int, int) { i.topTenthMM = -2; },
         P{kStrPrintOutsideArea, {}, 0, true}},
        {"0.1 mm over the right", [](I& i, int w, int) { i.leftTenthMM = w - 508 + 1; }, P{}},
        {"0.2 mm over the right", [](I& i, int w, int) { i.leftTenthMM = w - 508 + 2; },
         P{kStrPrintOutsideArea, {}, 0, true}},
        {"0.2 mm over the bottom", [](I& i, int, int h) { i.topTenthMM = h - 339 + 2; },
         P{kStrPrintOutsideArea, {}, 0, true}},
        // Several problems: the first in the order wins.
        {"everything wrong",
         [](I& i, int, int) {
             i.ratioPercent = 0;
             i.widthTenthMM = 0;
             i.heightTenthMM = 0;
             i.copies = 0;
             i.profileSelected = false;
             i.leftTenthMM = -100;
         },
         P{kStrPrintRatioRange, {"1.0", "10000.0"}, CPrintImageDlg::kIdRatio}},
        {"size and copies wrong",
         [](I& i, int, int) {
             i.heightTenthMM = 0;
             i.copies = 0;
         },
         P{kStrPrintHeightRange, {"0.3", "3386.7"}, CPrintImageDlg::kIdHeight}},
        {"copies and page wrong",
         [](I& i, int, int) {
             i.copies = 0;
             i.topTenthMM = -50;
         },
         P{kStrPrintCopiesRange, {"1", "9"}, CPrintImageDlg::kIdCopies}},
    };
    for (const Case& c : cases)
    {
        PrintSettingsInput input = GoodInput(layout);
        c.change(input, printableWidth, printableHeight);
        EXPECT_EQ(CheckPrintSettings(input, layout), c.expected) << c.name;
    }
}

// ---------------------------------------------------------------------------
// The dialog

// A 300 x 200 image: a red left half and a blue right half, so a rendered
// page shows where the image lies and which way round (16-bit, in the sRGB
// record it is printed with).
CRGBImage MakeImage(int width = 300, int height = 200)
{
    CRGBImage image;
    EXPECT_TRUE(image.Create(width, height));
    RGB16* pixels = image.Lock();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const bool left = x < width / 2;
            pixels[static_cast<std::size_t>(y) * width + x] =
                RGB16{static_cast<std::uint16_t>(left ? 65535 : 0), 0,
                      static_cast<std::uint16_t>(left ? 0 : 65535)};
        }
    image.Unlock();
    return image;
}

LogColorSpace SRGBColorSpace()
{
    LogColorSpace lcs;
    CColorProfile profile;
    const std::vector<std::uint8_t> bytes = BuildSRGBProfileBytes();
    EXPECT_TRUE(profile.OpenFromMemory(bytes, "sRGB"));
    EXPECT_TRUE(profile.GetLogColorSpace(lcs, false));
    return lcs;
}

std::string ReadSetting(const char* section, const std::string& key)
{
    return CIniFile(GetIniFilePath()).GetString(section, key, "");
}

// The dialog on a machine whose CUPS answers nothing: only the PDF printer.
class PrintImageDialogWithoutCups : public testing::Test
{
protected:
    PrintImageDialogWithoutCups()
        : cups("CUPS_SERVER", folders.File("no-cups.sock")), image(MakeImage()),
          colorSpace(SRGBColorSpace())
    {
        CupsTestServer::UseServer(folders.File("no-cups.sock"));
        std::filesystem::create_directories(folders.File("config"));
        std::filesystem::create_directories(folders.File("data"));
        std::filesystem::create_directories(folders.File("cache"));
        printers = std::make_unique<CSystemPrinters>();
    }
    ~PrintImageDialogWithoutCups() override
    {
        dialog.reset();
        CupsTestServer::UseServer(std::string());
    }

    // Opens the dialog as exec() would, without running its loop.
    CPrintImageDlg& Open()
    {
        dialog = std::make_unique<CPrintImageDlg>("", image, "sample.tif", colorSpace, *printers);
        EXPECT_TRUE(dialog->OnInitDialog());
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        return *dialog;
    }

    template <class T>
    T* Control(int id)
    {
        return Child<T>(*dialog, QString::number(id).toLatin1().constData());
    }
    QString Text(int id) { return Control<QLabel>(id)->text(); }
    void ChooseInCombo(int id, const QString& text)
    {
        auto* combo = Control<QComboBox>(id);
        const int index = combo->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    void Type(int id, const QString& text)
    {
        CMyEdit* edit = Control<CMyEdit>(id);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    // The PDF printer asks for its file through this.
    void AnswerPdfName(const std::string& path) { pdfChooser.answer = path; }
    FakePdfChooser pdfChooser;
    PrivateUserFolders folders;
    ScopedEnv cups;
    RecordingMessageSink messages;
    CRGBImage image;
    LogColorSpace colorSpace;
    std::unique_ptr<CSystemPrinters> printers;
    std::unique_ptr<CPrintImageDlg> dialog;
};

TEST_F(PrintImageDialogWithoutCups, SaysSoOnceAndGoesOnWithThePdfPrinter)
{
    ASSERT_FALSE(printers->HasPrinters());
    CPrintImageDlg& dlg = Open();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, kStrPrintNoPrinter);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("印刷 [ sample.tif ]"));

    auto* printerCombo = Control<QComboBox>(CPrintImageDlg::kIdPrinter);
    ASSERT_EQ(printerCombo->count(), 1);
    EXPECT_EQ(printerCombo->currentText(), QString::fromUtf8(kPdfPrinterName));
    EXPECT_TRUE(dlg.PrinterSettings().IsPdfPrinter());
    EXPECT_GT(Control<QComboBox>(CPrintImageDlg::kIdPaper)->count(), 5);
    EXPECT_EQ(Text(CPrintImageDlg::kIdImageWidth), QStringLiteral("300"));
    EXPECT_EQ(Text(CPrintImageDlg::kIdImageHeight), QStringLiteral("200"));

    // Once a run: the printers' record lives as long as the program, and
    // the next dialog opens without the notice.
    dialog.reset();
    Open();
    EXPECT_EQ(messages.messages.size(), 1u);
}

TEST(PrintDialogParts, ThePdfFileIsNamedAfterTheImage)
{
    const struct
    {
        const char* image;
        const char* pdf;
    } cases[] = {
        {"coffee.jpg", "coffee.pdf"},
        {"/photos/Trip.2024.TIF", "Trip.2024.pdf"},
        {"scan", "scan.pdf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PdfNameFor(c.image).toStdString(), c.pdf) << c.image;
}

// Every print to the PDF printer asks for its file (the save dialog asks
// before it replaces one), offering the image's name in the folder chosen
// last: two prints leave two files; no name, no print.
TEST_F(PrintImageDialogWithoutCups, EveryPrintToThePdfPrinterAsksForItsFile)
{
    if (!HavePoppler())
        GTEST_SKIP() << "poppler-utils are not installed";
    Open();
    Control<QRadioButton>(CPrintImageDlg::kIdPathNone)->click();
    messages.messages.clear();
    const std::string first = folders.File("first.pdf");
    const std::string second = folders.File("second.pdf");
    for (const std::string& pdf : {first, second})
    {
        AnswerPdfName(pdf);
        Control<QPushButton>(CPrintImageDlg::kIdPrint)->click();
        EXPECT_EQ(ReadPdfInfo(pdf).pages, 1) << pdf;
    }
    AnswerPdfName("");
    Control<QPushButton>(CPrintImageDlg::kIdPrint)->click();
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(pdfChooser.offers, (std::vector<std::string>{"sample.pdf",
                                                           folders.File("sample.pdf"),
                                                           folders.File("sample.pdf")}));
    EXPECT_EQ(ReadPdfInfo(first).pages, 1);
}

TEST_F(PrintImageDialogWithoutCups, APaperChangeLaysThePageOutAgain)
{
    CPrintImageDlg& dlg = Open();
    ChooseInCombo(CPrintImageDlg::kIdPaper, QStringLiteral("A5"));
    EXPECT_EQ(Text(CPrintImageDlg::kIdPaperSize), QStringLiteral("[ 148.0 x 210.0 mm ]"));
    EXPECT_EQ(Text(CPrintImageDlg::kIdPhysicalWidth), QStringLiteral("1480"));
    EXPECT_EQ(Text(CPrintImageDlg::kIdPhysicalHeight), QStringLiteral("2100"));
    // Fit is on: the 3:2 image takes the whole width of the borderless
    // sheet, and the size texts are the layout's.
    const CPrintLayout& layout = dlg.Layout();
    EXPECT_NEAR(layout.PrintWidth(), 1480, 1);
    EXPECT_EQ(Control<CMyEdit>(CPrintImageDlg::kIdWidth)->text().toStdString(), layout.WidthText());
    EXPECT_EQ(Control<CMyEdit>(CPrintImageDlg::kIdHeight)->text().toStdString(),
              layout.HeightText());
    EXPECT_EQ(Control<CMyEdit>(CPrintImageDlg::kIdRatio)->text().toStdString(), layout.RatioText());
    EXPECT_EQ(Control<CMyEdit>(CPrintImageDlg::kIdLeft)->text().toStdString(), layout.LeftText());
    EXPECT_EQ(Control<CMyEdit>(CPrintImageDlg::kIdTop)->text().toStdString(), layout.TopText());

    // Landscape turns the sheet round.
    Control<QRadioButton>(CPrintImageDlg::kIdLandscape)->click();
    EXPECT_EQ(Text(CPrintImageDlg::kIdPaperSize), QStringLiteral("[ 210.0 x 148.0 mm ]"));
    EXPECT_EQ(dlg.PrinterSettings().DevMode().orientation, kTicketLandscape);
}

TEST_F(PrintImageDialogWithoutCups, TypingTheWidthLeavesItsTextAndMovesTheRest)
{
    CPrintImageDlg& dlg = Open();
    Control<QCheckBox>(CPrintImageDlg::kIdFit)->click();
    ASSERT_TRUE(Control<CMyEdit>(CPrintImageDlg::kIdWidth)->isEnabled());
    Type(CPrintImageDlg::kIdWidth, QStringLiteral("50.80"));
    // The edit keeps what is typed; the ratio and height follow the width.
    EXPECT_EQ(Control<CMyEdit>(CPrintImageDlg::kIdWidth)->text(), QStringLiteral("50.80"));
    EXPECT_EQ(dlg.Layout().PrintWidth(), 508);
    EXPECT_EQ(Control<CMyEdit>(CPrintImageDlg::kIdHeight)->text().toStdString(),
              dlg.Layout().HeightText());
    EXPECT_EQ(Control<CMyEdit>(CPrintImageDlg::kIdRatio)->text().toStdString(),
              dlg.Layout().RatioText());
    EXPECT_EQ(Control<CUpDown>(CPrintImageDlg::kIdWidthSpin)->GetPos(), 508);
    EXPECT_EQ(dlg.Guard(), CPrintImageDlg::kGuardIdle);
}

TEST_F(PrintImageDialogWithoutCups, AProblemIsShownAtItsEditAndNothingPrints)
{
    Open();
    AnswerPdfName(folders.File("never.pdf"));
    Control<QCheckBox>(CPrintImageDlg::kIdFit)->click();
    Type(CPrintImageDlg::kIdRatio, QStringLiteral("0.5"));
    messages.messages.clear();
    Control<QPushButton>(CPrintImageDlg::kIdPrint)->click();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, kStrPrintRatioRange);
    CMyEdit* ratio = Control<CMyEdit>(CPrintImageDlg::kIdRatio);
    EXPECT_EQ(QApplication::focusWidget(), ratio);
    EXPECT_EQ(ratio->selectedText(), QStringLiteral("0.5"));
    EXPECT_FALSE(std::filesystem::exists(folders.File("never.pdf")));
}

TEST_F(PrintImageDialogWithoutCups, ClosingKeepsThePrinterForNextTime)
{
    CPrintImageDlg dlg("", image, "sample.tif", colorSpace, *printers);
    const int code = RunDialog(dlg, [] {}, "1");
    EXPECT_EQ(code, kDialogOk);
    EXPECT_EQ(ReadSetting(kPrintSection, kDefaultPrinterKey), kPdfPrinterName);
}

// The bounding box of the pixels that are clearly red or clearly blue.
struct Found
{
    QRect red;
    QRect blue;
};

Found FindHalves(const QImage& page)
{
    Found found;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
        {
            const QColor c = page.pixelColor(x, y);
            if (c.red() > 160 && c.green() < 90 && c.blue() < 90)
                found.red = found.red.united(QRect(x, y, 1, 1));
            else if (c.blue() > 160 && c.red() < 90 && c.green() < 90)
                found.blue = found.blue.united(QRect(x, y, 1, 1));
        }
    return found;
}

TEST_F(PrintImageDialogWithoutCups, PrintsOnePageWithTheImageWhereTheLayoutPutsIt)
{
    if (!HavePoppler())
        GTEST_SKIP() << "poppler-utils are not installed";
    CPrintImageDlg& dlg = Open();
    const std::string pdf = folders.File("page.pdf");
    AnswerPdfName(pdf);
    ChooseInCombo(CPrintImageDlg::kIdPaper, QStringLiteral("A5"));
    // One dot per pixel at 300 dpi (25.4 x 16.9 mm), its corner 20 mm from
    // the left and 30 mm from the top of the borderless sheet.
    Control<QCheckBox>(CPrintImageDlg::kIdFit)->click();
    Control<QRadioButton>(CPrintImageDlg::kIdCustomPosition)->click();
    Type(CPrintImageDlg::kIdLeft, QStringLiteral("20.0"));
    Type(CPrintImageDlg::kIdTop, QStringLiteral("30.0"));
    Control<QRadioButton>(CPrintImageDlg::kIdPathNone)->click();
    ASSERT_EQ(dlg.Layout().PrintWidth(), 254);
    ASSERT_EQ(dlg.Layout().OriginX(), 200);
    ASSERT_EQ(dlg.Layout().OriginY(), 300);
    messages.messages.clear();

    Control<QPushButton>(CPrintImageDlg::kIdPrint)->click();
    EXPECT_TRUE(messages.messages.empty());
    ASSERT_TRUE(std::filesystem::exists(pdf));
    const PdfInfo info = ReadPdfInfo(pdf);
    EXPECT_EQ(info.pages, 1);
    EXPECT_NEAR(info.width, 420, 0.5); // A5: 148 x 210 mm
    EXPECT_NEAR(info.height, 595, 0.5);

    // Rendered at 72 dpi: a point a pixel, 1 mm = 72 / 25.4 pixels.
    const std::string png = folders.File("page");
    const QImage page = RenderPdfPage(pdf, 72, png);
    ASSERT_FALSE(page.isNull());
    const Found found = FindHalves(page);
    const double mm = 72.0 / 25.4;
    ASSERT_FALSE(found.red.isEmpty());
    ASSERT_FALSE(found.blue.isEmpty());
    EXPECT_NEAR(found.red.left(), 20.0 * mm, 1.5);
    EXPECT_NEAR(found.red.top(), 30.0 * mm, 1.5);
    EXPECT_NEAR(found.blue.right() + 1, (20.0 + 25.4) * mm, 1.5);
    EXPECT_NEAR(found.blue.bottom() + 1, (30.0 + 16.9) * mm, 1.5);
    // Red on the left, blue on the right, meeting in the middle.
    EXPECT_NEAR(found.red.right() + 1, found.blue.left(), 1.5);
    EXPECT_NEAR(found.blue.left(), (20.0 + 12.7) * mm, 1.5);
}

// An output-class profile in the colour directory.
void InstallPrinterProfile(const std::string& fileName)
{
    std::string dir;
    ASSERT_TRUE(platform::ColorDirectory(dir));
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    ASSERT_TRUE(cmsSaveProfileToFile(profile, (dir + fileName).c_str()));
    cmsCloseProfile(profile);
}

TEST_F(PrintImageDialogWithoutCups, TheProfilePrintedWithIsOfferedFirstNextTime)
{
    InstallPrinterProfile("a first.icc");
    InstallPrinterProfile("b chosen.icc");
    {
        CPrintImageDlg& dlg = Open();
        EXPECT_EQ(dlg.ProfilePaths(), (std::vector<std::string>{"a first.icc", "b chosen.icc"}));
        auto* profiles = Control<QComboBox>(CPrintImageDlg::kIdProfile);
        EXPECT_EQ(profiles->currentIndex(), -1); // nothing saved, the printer names none
        // Both are described as sRGB: chosen by place.
        profiles->setCurrentIndex(1);
        emit profiles->activated(1);
        AnswerPdfName(folders.File("profiled.pdf"));
        messages.messages.clear();
        Control<QPushButton>(CPrintImageDlg::kIdPrint)->click();
        EXPECT_TRUE(messages.messages.empty());
        EXPECT_TRUE(std::filesystem::exists(folders.File("profiled.pdf")));
        EXPECT_EQ(ReadSetting("PrinterICCProfile", kPdfPrinterName), "b chosen.icc");

        // Only the printer's own profile: the PDF printer has none.
        Control<QCheckBox>(CPrintImageDlg::kIdAssociatedOnly)->click();
        EXPECT_EQ(profiles->count(), 0);
        dialog.reset();
    }
    CPrintImageDlg& again = Open();
    EXPECT_EQ(Control<QComboBox>(CPrintImageDlg::kIdProfile)->currentIndex(), 1);
    EXPECT_EQ(again.ProfilePaths().at(1), "b chosen.icc");
}

TEST_F(PrintImageDialogWithoutCups, WithoutAProfileChosenPrintingAsksForOne)
{
    InstallPrinterProfile("a first.icc");
    Open();
    AnswerPdfName(folders.File("never.pdf"));
    messages.messages.clear();
    Control<QPushButton>(CPrintImageDlg::kIdPrint)->click();
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, kStrPrintNoProfile);
    EXPECT_EQ(QApplication::focusWidget(), Control<QComboBox>(CPrintImageDlg::kIdProfile));
    EXPECT_FALSE(std::filesystem::exists(folders.File("never.pdf")));
}

// ---------------------------------------------------------------------------
// The dialog against a private print server

// A test queue's PPD: papers with the same margin all round (points),
// sources without shown names.
struct TestPaper
{
    const char* name;
    int width, length, margin;
};

std::string TestPpd(const std::string& filter, const char* model,
                    const std::vector<TestPaper>& papers,
                    const std::vector<const char*>& sources, int dpi)
{
    std::vector<PpdPaper> ppdPapers;
    for (const TestPaper& paper : papers)
        ppdPapers.push_back({paper.name, nullptr, paper.width, paper.length, paper.margin,
                             paper.margin, paper.width - paper.margin, paper.length - paper.margin});
    std::vector<PpdSlot> sourceSlots;
    for (const char* source : sources)
        sourceSlots.push_back({source, nullptr});
    return MakeTestPpd(filter, model, ppdPapers, sourceSlots, dpi);
}

// Two queues: a studio printer (the server's default) and a proofer, with
// different papers, sources and resolutions.
const char* const kStudio = "QbStudio";
const char* const kProofer = "QbProofer";

class PrintImageDialogWithCups : public PrintImageDialogWithoutCups
{
protected:
    static void SetUpTestSuite()
    {
        if (CupsTestServer::Missing())
            return;
        s_server = new CupsTestServer;
        if (!s_server->Running())
            return;
        const std::string filter = s_server->PassThroughFilter();
        s_server->AddQueue(kProofer,
                           TestPpd(filter, "QB Proofer",
                                   {{"A4", 595, 842, 12}, {"A3", 842, 1191, 12}},
                                   {"Upper", "Lower"}, 300));
        s_server->AddQueue(kStudio,
                           TestPpd(filter, "QB Studio",
                                   {{"Letter", 612, 792, 18}, {"Postcard", 283, 420, 9}},
                                   {"Tray1", "Manual"}, 600),
                           true);
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override
    {
        if (!s_server)
            GTEST_SKIP() << "cupsd is not installed";
        ASSERT_TRUE(s_server->Running()) << s_server->Error();
        CupsTestServer::UseServer(s_server->Socket());
        printers = std::make_unique<CSystemPrinters>();
    }
    void TearDown() override { dialog.reset(); }

    void SaveDefaultPrinter(const std::string& name)
    {
        CIniFile(GetIniFilePath()).SetString(kPrintSection, kDefaultPrinterKey, name);
    }
    QString Current(int id) { return Control<QComboBox>(id)->currentText(); }

    static CupsTestServer* s_server;
};

CupsTestServer* PrintImageDialogWithCups::s_server = nullptr;

TEST_F(PrintImageDialogWithCups, OpensWithTheSavedPrinterElseTheDefault)
{
    ASSERT_TRUE(printers->HasPrinters());
    SaveDefaultPrinter(kProofer);
    Open();
    EXPECT_EQ(Current(CPrintImageDlg::kIdPrinter), QString::fromLatin1(kProofer));
    EXPECT_EQ(dialog->PrinterSettings().DeviceName(), kProofer);
    EXPECT_TRUE(messages.messages.empty()); // a real printer: nothing to say
    EXPECT_EQ(Control<QComboBox>(CPrintImageDlg::kIdPrinter)->count(), 3);
    dialog.reset();

    // A saved printer that is gone: the server's default.
    SaveDefaultPrinter("QbRemovedLongAgo");
    Open();
    EXPECT_EQ(Current(CPrintImageDlg::kIdPrinter), QString::fromLatin1(kStudio));
    EXPECT_EQ(Text(CPrintImageDlg::kIdResolutionX), QStringLiteral("600"));
    dialog->close();
    EXPECT_EQ(ReadSetting(kPrintSection, kDefaultPrinterKey), kStudio);
}

TEST_F(PrintImageDialogWithCups, APaperOfThePrinterGivesItsSizeAndMargins)
{
    SaveDefaultPrinter(kProofer);
    CPrintImageDlg& dlg = Open();
    ChooseInCombo(CPrintImageDlg::kIdPaper, QStringLiteral("A3"));
    // 842 x 1191 points with 12 points all round, at 300 dpi.
    EXPECT_EQ(Text(CPrintImageDlg::kIdPaperSize), QStringLiteral("[ 297.0 x 420.2 mm ]"));
    EXPECT_NEAR(Text(CPrintImageDlg::kIdOffsetX).toInt(), 42, 1);
    EXPECT_NEAR(Text(CPrintImageDlg::kIdPrintableWidth).toInt(), 2970 - 85, 2);
    EXPECT_EQ(Text(CPrintImageDlg::kIdResolutionY), QStringLiteral("300"));
    // Fit on, centred on the paper: the image keeps to the printable area.
    const CPrintLayout& layout = dlg.Layout();
    EXPECT_TRUE(layout.FitsPage(layout.VisibleLeft(), layout.VisibleTop()));
    EXPECT_EQ(Control<CMyEdit>(CPrintImageDlg::kIdWidth)->text().toStdString(), layout.WidthText());
}

TEST_F(PrintImageDialogWithCups, SwitchingPrintersAndBackRestoresPaperSourceAndCopies)
{
    CPrintImageDlg& dlg = Open();
    ASSERT_EQ(Current(CPrintImageDlg::kIdPrinter), QString::fromLatin1(kStudio));
    // The paper and the source the queue does not start with (the postcard,
    // manual feed), by place: CUPS orders and names them in its own way.
    auto* papers = Control<QComboBox>(CPrintImageDlg::kIdPaper);
    auto* bins = Control<QComboBox>(CPrintImageDlg::kIdBin);
    ASSERT_EQ(papers->count(), 2);
    ASSERT_EQ(bins->count(), 2);
    const QString postcardName = papers->itemText(papers->currentIndex() == 0 ? 1 : 0);
    const QString manualName = bins->itemText(bins->currentIndex() == 0 ? 1 : 0);
    ChooseInCombo(CPrintImageDlg::kIdPaper, postcardName);
    ChooseInCombo(CPrintImageDlg::kIdBin, manualName);
    Type(CPrintImageDlg::kIdCopies, QStringLiteral("3"));
    ASSERT_EQ(Control<CUpDown>(CPrintImageDlg::kIdCopiesSpin)->GetPos(), 3);
    const QString postcard = Text(CPrintImageDlg::kIdPaperSize);
    EXPECT_EQ(postcard, QStringLiteral("[ 99.8 x 148.2 mm ]"));

    ChooseInCombo(CPrintImageDlg::kIdPrinter, QString::fromLatin1(kProofer));
    EXPECT_EQ(dlg.PrinterSettings().DeviceName(), kProofer);
    // The proofer's own A4 and upper tray.
    EXPECT_EQ(Text(CPrintImageDlg::kIdPaperSize), QStringLiteral("[ 209.9 x 297.0 mm ]"));
    EXPECT_EQ(Text(CPrintImageDlg::kIdResolutionX), QStringLiteral("300"));
    EXPECT_NE(Current(CPrintImageDlg::kIdBin), manualName);
    EXPECT_EQ(Control<CMyEdit>(CPrintImageDlg::kIdCopies)->text(), QStringLiteral("1"));

    ChooseInCombo(CPrintImageDlg::kIdPrinter, QString::fromLatin1(kStudio));
    EXPECT_EQ(Current(CPrintImageDlg::kIdPaper), postcardName);
    EXPECT_EQ(Current(CPrintImageDlg::kIdBin), manualName);
    EXPECT_EQ(Control<CMyEdit>(CPrintImageDlg::kIdCopies)->text(), QStringLiteral("3"));
    EXPECT_EQ(Text(CPrintImageDlg::kIdPaperSize), postcard);
    EXPECT_EQ(dlg.Layout().RememberedScale(), 1.0);
}

} // namespace
