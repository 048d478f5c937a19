#include "print/PrintIndexJob.h"

#include "controls/support/StringTable.h"
#include "print/PrinterSettings.h"
#include "tests/correction/ProjectTestSupport.h"
#include "tests/print/PdfReadBack.h"

#include <QImage>
#include <QPrinter>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
}

bool Exists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

class PrintIndexJobTest : public projecttest::ProjectFixture
{
protected:
    PrintIndexJobTest()
        : m_data("XDG_DATA_HOME", m_dir.Path() + "data"), m_pdf(m_dir.File("index.pdf"))
    {
        for (const char* name : {"a.tif", "b.tif", "c.tif"})
            m_paths.push_back(AddTiff(name, 80, 60));
        m_printer.setOutputFormat(QPrinter::PdfFormat);
        m_printer.setOutputFileName(QString::fromStdString(m_pdf));
        m_printer.setResolution(300);
        m_printer.setPageSize(QPageSize(QPageSize::A4));
    }

    // A model of the three images on 2 x 1 pages, laid out on the printer.
    void Build(CIndexImage& index)
    {
        index.SetWorkerPause(1ms);
        index.Options.columns = 2;
        index.Options.rows = 1;
        index.ColorMode = PrintColorPath::NoPrinterProfile;
        ASSERT_TRUE(index.Build());
        index.SetPageLayout(m_printer.width(), m_printer.height(), m_printer.resolution());
    }

    // Runs f on every pass of the event loop while the job shows its
    // progress dialog.
    void WhileProgressShows(std::function<void(CPrintIndexProgDlg&)> f)
    {
        m_watch.setInterval(0);
        QObject::connect(&m_watch, &QTimer::timeout, [this, f] {
            auto* dialog =
                dynamic_cast<CPrintIndexProgDlg*>(m_owner.findChild<QDialog*>("195"));
            if (dialog && dialog->isVisible())
                f(*dialog);
        });
        m_watch.start();
    }

    // The colour directory (the sRGB path installs its profile there).
    testsupport::ScopedEnv m_data;
    std::string m_pdf;
    std::vector<std::string> m_paths;
    QPrinter m_printer;
    QWidget m_owner;
    QTimer m_watch;
};

TEST_F(PrintIndexJobTest, PrintsOnePagePerIndexPageWithTheCellsAsImages)
{
    CIndexImage index(*m_project);
    Build(index);
    bool workerStoppedMeanwhile = true;
    WhileProgressShows([&](CPrintIndexProgDlg&) {
        workerStoppedMeanwhile = workerStoppedMeanwhile && !index.IsCacheThreadRunning();
    });

    IndexPrintRequest request;
    request.applicationName = "CHROMIVEL";
    EXPECT_EQ(PrintIndexOn(index, m_printer, &m_owner, request), IndexPrintResult::Printed);
    EXPECT_TRUE(workerStoppedMeanwhile);
    EXPECT_TRUE(index.IsCacheThreadRunning()); // started again afterwards
    EXPECT_EQ(m_owner.findChild<QDialog*>("195"), nullptr);

    ASSERT_EQ(ReadPdfInfo(m_pdf).pages, 2);
    const std::vector<PdfImage> images = PdfImages(m_pdf);
    ASSERT_EQ(images.size(), 3u);
    const int pages[] = {1, 1, 2};
    for (std::size_t i = 0; i < images.size(); ++i)
    {
        EXPECT_EQ(images[i].page, pages[i]);
        // Each cell at its own pixels (smaller than its cell), stored
        // losslessly.
        EXPECT_EQ(images[i].width, 80);
        EXPECT_EQ(images[i].height, 60);
        EXPECT_NE(images[i].encoding, "jpeg");
    }
    EXPECT_EQ(ReadPdfInfo(m_pdf).title, "CHROMIVEL " + LoadString(kStrIndexPrintDocument).toStdString());
}

// The same job through the program's own file printer, laid out on the
// page its settings give.
TEST_F(PrintIndexJobTest, PrintsToThePdfPrinter)
{
    CPrinterSettings settings;
    ASSERT_TRUE(settings.OpenPrinterDevMode(kPdfPrinterName));
    const std::string pdf = m_dir.File("pdf-printer.pdf");
    settings.SetOutputFile(pdf);
    const PageGeometry page = settings.GetPageGeometry();
    ASSERT_GT(page.printableWidth, 0);

    CIndexImage index(*m_project);
    Build(index);
    index.SetPageLayout(page.printableWidth, page.printableHeight, page.dpiY);
    EXPECT_EQ(PrintIndex(index, settings, &m_owner, {}), IndexPrintResult::Printed);
    EXPECT_EQ(ReadPdfInfo(pdf).pages, 2);
    EXPECT_EQ(PdfImages(pdf).size(), 3u);
}

TEST_F(PrintIndexJobTest, TheCurrentPageAloneCountsItsOwnCells)
{
    CIndexImage index(*m_project);
    Build(index);
    index.Options.title = true;
    index.Title = "Holiday";
    ASSERT_TRUE(index.SetPage(2));
    int total = -1;
    WhileProgressShows([&](CPrintIndexProgDlg& dialog) { total = dialog.OverallBarMaximum(); });

    // The profile printed with is remembered for the printer.
    index.ColorMode = PrintColorPath::PrinterProfile;
    index.PrinterProfile = m_dir.File("Glossy Paper.icc");
    WriteBytes(index.PrinterProfile, projecttest::WideProfileBytes());
    IndexPrintRequest request;
    request.currentPageOnly = true;
    request.printerName = "Studio";
    EXPECT_EQ(PrintIndexOn(index, m_printer, &m_owner, request), IndexPrintResult::Printed);
    EXPECT_EQ(total, 1); // the last page holds one of the three
    EXPECT_EQ(ReadPdfInfo(m_pdf).pages, 1);
    EXPECT_EQ(ReadPdfInfo(m_pdf).title, "Holiday - P2");
    EXPECT_EQ(LoadPrinterProfileChoice("Studio"), "Glossy Paper.icc");
}

// Cancel pressed while a cell develops, or after a cell: either way the
// job ends as cancelled (not failed), nothing more is drawn and the
// document is discarded.
TEST_F(PrintIndexJobTest, CancelEndsTheJobAsCancelledAndLeavesNoDocument)
{
    struct Case
    {
        const char* what;
        int pressAfterCells; // cells done when Cancel is pressed
        int doneAtTheEnd;
    };
    const Case cases[] = {
        {"during the first development", 0, 0},
        {"after the first cell", 1, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::remove(m_pdf.c_str());
        CIndexImage index(*m_project);
        Build(index);
        int done = -1;
        bool pressed = false;
        m_watch.disconnect();
        WhileProgressShows([&](CPrintIndexProgDlg& dialog) {
            done = dialog.DoneCells();
            if (!pressed && dialog.DoneCells() >= c.pressAfterCells)
            {
                pressed = true;
                dialog.reject();
            }
        });

        const IndexPrintResult result = PrintIndexOn(index, m_printer, &m_owner, {});
        m_watch.stop();
        EXPECT_TRUE(pressed);
        EXPECT_EQ(result, IndexPrintResult::Cancelled);
        EXPECT_EQ(IndexPrintResultMessage(result), kStrPrintCancelled);
        EXPECT_EQ(done, c.doneAtTheEnd);
        EXPECT_FALSE(Exists(m_pdf));
        EXPECT_TRUE(index.IsCacheThreadRunning());
    }
}

TEST_F(PrintIndexJobTest, ACellThatCannotBeDevelopedFailsTheJob)
{
    CIndexImage index(*m_project);
    Build(index);
    index.StopCacheThread();
    ASSERT_EQ(std::remove(m_paths[1].c_str()), 0);

    const IndexPrintResult result = PrintIndexOn(index, m_printer, &m_owner, {});
    EXPECT_EQ(result, IndexPrintResult::Failed);
    EXPECT_EQ(IndexPrintResultMessage(result), kStrIndexPrintFailed);
    EXPECT_FALSE(Exists(m_pdf));
}

// A colour path that cannot be prepared prints nothing (never the cells
// unconverted) and says so once, whatever the number of cells.
TEST_F(PrintIndexJobTest, AColourPathThatCannotBeMadePrintsNothing)
{
    struct Case
    {
        const char* what;
        std::string profile;
        int message;
    };
    const Case cases[] = {
        {"no profile chosen", "", 11084},
        {"a profile that does not open", m_dir.File("missing.icc"), kStrPrintConversionFailed},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        m_messages.messages.clear();
        CIndexImage index(*m_project);
        Build(index);
        index.ColorMode = PrintColorPath::PrinterProfile;
        index.PrinterProfile = c.profile;
        EXPECT_EQ(PrintIndexOn(index, m_printer, &m_owner, {}), IndexPrintResult::Failed);
        ASSERT_EQ(m_messages.messages.size(), 1u);
        EXPECT_EQ(m_messages.messages[0].stringId, c.message);
        EXPECT_FALSE(Exists(m_pdf));
    }
}

// The cells go through the chosen printer profile: a wide-gamut profile
// changes the printed pixels against the sRGB path.
TEST_F(PrintIndexJobTest, CellsAreConvertedToThePrinterProfile)
{
    const std::string profile = m_dir.File("wide.icc");
    WriteBytes(profile, projecttest::WideProfileBytes());
    const auto printedPixels = [&](PrintColorPath path) {
        std::remove(m_pdf.c_str());
        CIndexImage index(*m_project);
        Build(index);
        index.ColorMode = path;
        index.PrinterProfile = profile;
        EXPECT_EQ(PrintIndexOn(index, m_printer, &m_owner, {}), IndexPrintResult::Printed);
        const std::string prefix = m_dir.File(path == PrintColorPath::PrinterProfile ? "w" : "s");
        return FirstEmbeddedImage(m_pdf, prefix).convertToFormat(QImage::Format_RGB32);
    };
    const QImage srgb = printedPixels(PrintColorPath::NoPrinterProfile);
    const QImage wide = printedPixels(PrintColorPath::PrinterProfile);
    ASSERT_EQ(srgb.size(), QSize(80, 60));
    ASSERT_EQ(wide.size(), QSize(80, 60));
    // A saturated corner of the gradient moves inwards in the wider space.
    const QColor s = srgb.pixelColor(79, 0);
    const QColor w = wide.pixelColor(79, 0);
    EXPECT_NE(s, w);
    EXPECT_LT(w.red(), s.red() + 1);
}

TEST_F(PrintIndexJobTest, NothingMarkedPrintsNothing)
{
    for (const std::string& path : m_paths)
        Entry(path).m_check = 0;
    CIndexImage index(*m_project);
    Build(index);
    const IndexPrintResult result = PrintIndexOn(index, m_printer, &m_owner, {});
    EXPECT_EQ(result, IndexPrintResult::NothingToPrint);
    EXPECT_EQ(IndexPrintResultMessage(result), 0);
    EXPECT_FALSE(Exists(m_pdf));
}

TEST(PrintIndexProgDlgTest, BarsTextsAndTheCancelRequest)
{
    CPrintIndexProgDlg dialog;
    dialog.SetTotalCells(4);
    dialog.SetCurrentPage(2);
    dialog.SetSteps({0, 0, 0, 1, 0, 0, 0});
    dialog.SetFileName("a.tif");
    EXPECT_EQ(dialog.FileText(), QStringLiteral("a.tif"));

    // Step 4 (gradation) at 50 %: the load has 0..50, the step 50..100.
    EXPECT_TRUE(dialog.OnStageProgress(4, 50.0));
    EXPECT_EQ(dialog.FileText(), QStringLiteral("a.tif - ") + LoadString(11095));
    EXPECT_EQ(dialog.StepBarValue(), 75);
    EXPECT_TRUE(dialog.OnStageProgress(0, 0.5)); // the load reports a fraction
    EXPECT_EQ(dialog.StepBarValue(), 25);
    dialog.SetStepProgress(4);
    EXPECT_EQ(dialog.StepBarValue(), 100);

    EXPECT_TRUE(dialog.CellDone());
    EXPECT_TRUE(dialog.CellDone());
    EXPECT_EQ(dialog.OverallBarValue(), 2);
    EXPECT_EQ(dialog.OverallBarMaximum(), 4);
    EXPECT_EQ(dialog.PageText(), QStringLiteral("2 ページを処理中 [ 全体の 50 % 終了 ]"));

    // A cancel is taken once, by whichever comes first.
    dialog.reject();
    EXPECT_FALSE(dialog.CancelTaken());
    EXPECT_FALSE(dialog.OnStageProgress(1, 10.0));
    EXPECT_TRUE(dialog.CancelTaken());
    EXPECT_TRUE(dialog.OnStageProgress(1, 20.0));
    dialog.SetFileName("b.tif");
    EXPECT_FALSE(dialog.CancelTaken());
    dialog.reject();
    EXPECT_FALSE(dialog.CellDone());
    EXPECT_TRUE(dialog.CellDone());
}

TEST(PrintIndexJobNameTest, DocumentNames)
{
    EXPECT_EQ(IndexDocumentName(true, "Trip", "CHROMIVEL", "Index", false, 3), "Trip");
    EXPECT_EQ(IndexDocumentName(false, "Trip", "CHROMIVEL", "Index", false, 3),
              "CHROMIVEL Index");
    EXPECT_EQ(IndexDocumentName(false, "", "CHROMIVEL", "Index", true, 3),
              "CHROMIVEL Index - P3");
}

} // namespace
