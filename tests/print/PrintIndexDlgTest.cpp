// The index print dialog on the real project with small generated images,
// on a machine whose CUPS answers nothing (only the PDF file printer).

#include "print/PrintIndexDlg.h"

#include "controls/support/StringTable.h"
#include "controls/widgets/UpDown.h"
#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "print/IndexImage.h"
#include "print/MyEdit.h"
#include "print/PrintImageDlg.h"
#include "print/PrinterSettings.h"
#include "tests/correction/ProjectTestSupport.h"
#include "tests/print/CupsTestServer.h"
#include "tests/print/FakePdfChooser.h"
#include "tests/print/PdfReadBack.h"
#include "tests/support/qt/WaitFor.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using testsupport::WaitFor;

namespace {

constexpr int kStrParamFileMissing = 11203;

class PrintIndexDlgTest : public projecttest::ProjectFixture
{
protected:
    PrintIndexDlgTest()
        : m_data("XDG_DATA_HOME", m_dir.Path() + "data"),
          m_cups("CUPS_SERVER", m_dir.File("no-cups.sock"))
    {
        CupsTestServer::UseServer(m_dir.File("no-cups.sock"));
        for (const char* folder : {"config", "data", "cache"})
            std::filesystem::create_directories(m_dir.File(folder));
        m_printers = std::make_unique<CSystemPrinters>();
    }
    ~PrintIndexDlgTest() override
    {
        m_dialog.reset();
        CupsTestServer::UseServer(std::string());
    }

    void AddImages(int count)
    {
        for (int i = 0; i < count; ++i)
            m_paths.push_back(AddTiff("img" + std::to_string(i) + ".tif", 80, 60));
    }

    void SetGridSetting(int columns, int rows)
    {
        CIniFile ini(GetIniFilePath());
        ini.SetInt(kPrintSection, "IndexColNum", columns);
        ini.SetInt(kPrintSection, "IndexRowNum", rows);
    }

    // Opens the dialog as exec() would, without running its loop.
    CPrintIndexDlg& Open()
    {
        m_dialog = std::make_unique<CPrintIndexDlg>(*m_project, *m_printers);
        m_dialog->Index().SetWorkerPause(std::chrono::milliseconds(1));
        EXPECT_TRUE(m_dialog->OnInitDialog());
        m_dialog->resize(900, 760);
        m_dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_dialog.get()));
        return *m_dialog;
    }

    template <class T>
    T* Control(int id)
    {
        T* control = m_dialog->findChild<T*>(QString::number(id));
        EXPECT_NE(control, nullptr) << id;
        return control;
    }

    void TypeInto(int id, const QString& text)
    {
        auto* edit = Control<QLineEdit>(id);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    bool AllCellsCached()
    {
        CIndexImage& index = m_dialog->Index();
        for (int e = 0; e < index.GetPathCount(); ++e)
        {
            const CIndexCacheData* cell = index.Cell(e, index.CorrectionMode());
            if (cell == nullptr || !cell->IsCached())
                return false;
        }
        return true;
    }

    // The preview's page: the colour at the centre of page cell n.
    QColor CellCentre(int n)
    {
        const QImage& page = m_dialog->Preview()->PageBuffer();
        const CRect r = m_dialog->Index().GetCellRect(CRect(0, 0, page.width(), page.height()), n);
        return page.pixelColor((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }

    std::vector<int> MessageIds() const
    {
        std::vector<int> ids;
        for (const auto& m : m_messages.messages)
            ids.push_back(m.stringId);
        return ids;
    }

    // The PDF printer asks for its file through this.
    void AnswerPdfName(const std::string& path) { m_pdfChooser.answer = path; }

    FakePdfChooser m_pdfChooser;
    testsupport::ScopedEnv m_data;
    testsupport::ScopedEnv m_cups;
    std::unique_ptr<CSystemPrinters> m_printers;
    std::unique_ptr<CPrintIndexDlg> m_dialog;
    std::vector<std::string> m_paths;
};

bool IsWhite(const QColor& c)
{
    return c.red() == 255 && c.green() == 255 && c.blue() == 255;
}

// A picture, not the page's white nor the grey placeholder of a cell that
// is not cached yet.
bool IsPicture(const QColor& c)
{
    return !IsWhite(c) && !(c.red() == 192 && c.green() == 192 && c.blue() == 192);
}

TEST_F(PrintIndexDlgTest, OpensOnThePdfPrinterAndTheCellsFillThePreviewAsTheyAreCached)
{
    AddImages(3);
    SetGridSetting(2, 1);
    CPrintIndexDlg& dlg = Open();
    // No printer of the machine's own: said once, the PDF printer is used.
    EXPECT_EQ(MessageIds(), std::vector<int>{kStrPrintNoPrinter});
    EXPECT_EQ(dlg.PrinterSettings().DeviceName(), kPdfPrinterName);
    EXPECT_EQ(Control<QLabel>(CPrintIndexDlg::kIdPaperSize)->text(), "[ 210.0 x 297.0 mm ]");
    EXPECT_EQ(Control<QLabel>(CPrintIndexDlg::kIdPageLabel)->text(), "1 / 2");
    EXPECT_FALSE(Control<QPushButton>(CPrintIndexDlg::kIdPrevious)->isEnabled());
    EXPECT_TRUE(Control<QPushButton>(CPrintIndexDlg::kIdNext)->isEnabled());

    // The page in printer pixels, as the job paints it.
    const PageGeometry page = dlg.PrinterSettings().GetPageGeometry();
    EXPECT_EQ(dlg.Index().PageWidth(), page.printableWidth);
    EXPECT_EQ(dlg.Index().PageHeight(), page.printableHeight);

    ASSERT_TRUE(WaitFor([&] { return AllCellsCached(); }));
    QApplication::processEvents();
    EXPECT_TRUE(IsPicture(CellCentre(0)));
    EXPECT_TRUE(IsPicture(CellCentre(1)));
    // Between the cells the page is white.
    const QImage& buffer = dlg.Preview()->PageBuffer();
    const CRect whole(0, 0, buffer.width(), buffer.height());
    const CRect first = dlg.Index().GetCellRect(whole, 0);
    const CRect second = dlg.Index().GetCellRect(whole, 1);
    ASSERT_LT(first.right, second.left);
    EXPECT_TRUE(IsWhite(buffer.pixelColor((first.right + second.left) / 2,
                                          (first.top + first.bottom) / 2)));

    // The second page holds one picture; its second cell is empty.
    Control<QPushButton>(CPrintIndexDlg::kIdNext)->click();
    EXPECT_EQ(Control<QLabel>(CPrintIndexDlg::kIdPageLabel)->text(), "2 / 2");
    EXPECT_TRUE(IsPicture(CellCentre(0)));
    EXPECT_TRUE(IsWhite(CellCentre(1)));
    EXPECT_FALSE(Control<QPushButton>(CPrintIndexDlg::kIdNext)->isEnabled());
}

// The paper is fitted whole into the preview at the smaller of the two
// scales, whatever the aspects of the paper and of the control.
TEST_F(PrintIndexDlgTest, ThePaperFitsThePreviewAtTheSmallerScale)
{
    struct Case
    {
        int paperW, paperH;
        int controlW, controlH;
    };
    const Case cases[] = {
        {2100, 2970, 400, 500},  // portrait paper, control wider than the paper
        {2100, 2970, 300, 900},  // portrait paper, narrow control
        {2970, 2100, 400, 500},  // landscape paper in a tall control
        {2970, 2100, 800, 300},  // landscape paper in a very wide control
        {1000, 1480, 500, 500},  // postcard in a square
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.paperW) + "x" + std::to_string(c.paperH) + " in " +
                     std::to_string(c.controlW) + "x" + std::to_string(c.controlH));
        CIndexPreviewCtrl preview;
        int drawn = 0;
        preview.SetPageDrawer([&](QPainter&, const CRect&) { ++drawn; });
        preview.setFixedSize(c.controlW, c.controlH);
        preview.SetPaperLayout(c.paperW, c.paperH, c.paperW - 100, c.paperH - 100, 50, 50);
        const QRect inner = preview.rect().adjusted(5, 5, -5, -5);
        const QRect paper = preview.PaperRect();
        EXPECT_TRUE(inner.contains(paper)) << paper.x() << "," << paper.y() << " "
                                           << paper.width() << "x" << paper.height();
        // One side of the paper meets the inner rectangle's.
        EXPECT_TRUE(paper.width() >= inner.width() - 1 || paper.height() >= inner.height() - 1);
        EXPECT_NEAR(static_cast<double>(paper.width()) / paper.height(),
                    static_cast<double>(c.paperW) / c.paperH, 0.02);
        // The printable area lies on the paper and the page is drawn.
        EXPECT_TRUE(paper.contains(preview.PrintableRect()));
        EXPECT_EQ(preview.PageBuffer().size(), preview.PrintableRect().size());
        EXPECT_GE(drawn, 1);
    }
}

TEST_F(PrintIndexDlgTest, APreviewThatGetsANewSizeDrawsItsPageAgainAtOnce)
{
    CIndexPreviewCtrl preview;
    preview.SetPageDrawer([](QPainter& painter, const CRect& target) {
        painter.fillRect(target.left, target.top, target.Width(), target.Height(), Qt::black);
    });
    preview.resize(300, 400);
    preview.SetPaperLayout(2100, 2970, 2000, 2870, 50, 50);
    preview.resize(500, 300);
    QApplication::processEvents();
    const QImage& page = preview.PageBuffer();
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(page.size(), preview.PrintableRect().size());
    EXPECT_EQ(page.pixelColor(page.width() / 2, page.height() / 2), QColor(Qt::black));
}

// The page that held the first picture of the current page stays in view
// when the grid changes, by the edits as by the arrows.
TEST_F(PrintIndexDlgTest, AGridChangeKeepsTheFirstPictureOfThePageInView)
{
    AddImages(5);
    SetGridSetting(2, 1);
    CPrintIndexDlg& dlg = Open();
    Control<QPushButton>(CPrintIndexDlg::kIdNext)->click();
    Control<QPushButton>(CPrintIndexDlg::kIdNext)->click();
    ASSERT_EQ(dlg.Index().CurrentPage(), 3); // cells 4 and 5

    TypeInto(CPrintIndexDlg::kIdColumns, QStringLiteral("1"));
    EXPECT_EQ(dlg.Index().Options.columns, 1);
    EXPECT_EQ(dlg.Index().CurrentPage(), 5);
    EXPECT_EQ(Control<QLabel>(CPrintIndexDlg::kIdPageLabel)->text(), "5 / 5");
    EXPECT_EQ(Control<CUpDown>(CPrintIndexDlg::kIdColumnsSpin)->GetPos(), 1);

    // The arrow of the rows: 1 x 2, cell 5 on page 3.
    Control<CUpDown>(CPrintIndexDlg::kIdRowsSpin)->Step(+1);
    EXPECT_EQ(dlg.Index().Options.rows, 2);
    EXPECT_EQ(Control<QLineEdit>(CPrintIndexDlg::kIdRows)->text(), "2");
    EXPECT_EQ(Control<QLabel>(CPrintIndexDlg::kIdPageLabel)->text(), "3 / 3");

    // A typed 11 is not taken: the grid stays.
    TypeInto(CPrintIndexDlg::kIdColumns, QStringLiteral("11"));
    EXPECT_EQ(dlg.Index().Options.columns, 1);
}

TEST_F(PrintIndexDlgTest, SettingsAreKeptForTheNextRunAndAMissingParameterFileIsDropped)
{
    AddImages(2);
    SetGridSetting(3, 2);
    const std::string param = m_dir.File("look.qzp");
    std::ofstream(param) << "[x]\n";
    {
        CPrintIndexDlg& dlg = Open();
        EXPECT_EQ(Control<QLineEdit>(CPrintIndexDlg::kIdColumns)->text(), "3");
        EXPECT_EQ(Control<QLineEdit>(CPrintIndexDlg::kIdRows)->text(), "2");
        TypeInto(CPrintIndexDlg::kIdRows, QStringLiteral("4"));
        auto* mode = Control<QComboBox>(CPrintIndexDlg::kIdCorrection);
        mode->setCurrentIndex(3);
        emit mode->activated(3);
        EXPECT_TRUE(Control<QPushButton>(CPrintIndexDlg::kIdBrowse)->isEnabled());
        dlg.SetParamFileChooser([&](const std::string&) { return param; });
        Control<QPushButton>(CPrintIndexDlg::kIdBrowse)->click();
        EXPECT_EQ(Control<QLineEdit>(CPrintIndexDlg::kIdParamFile)->text(), "look.qzp");
        Control<QPushButton>(CPrintIndexDlg::kIdClose)->click();
    }
    CIniFile ini(GetIniFilePath());
    EXPECT_EQ(ini.GetInt(kPrintSection, "IndexColNum", 0), 3);
    EXPECT_EQ(ini.GetInt(kPrintSection, "IndexRowNum", 0), 4);
    EXPECT_EQ(ini.GetString(kPrintSection, "ParamFilePath", ""), param);
    EXPECT_EQ(ini.GetString(kPrintSection, kDefaultPrinterKey, ""), kPdfPrinterName);

    // Next time: the grid and the file again; once the file is gone, not.
    CPrintIndexDlg& again = Open();
    EXPECT_EQ(again.Index().Options.rows, 4);
    EXPECT_EQ(again.Index().ParamFile(), param);
    m_dialog.reset();
    std::filesystem::remove(param);
    CPrintIndexDlg& third = Open();
    EXPECT_EQ(third.Index().ParamFile(), "");
    EXPECT_EQ(Control<QLineEdit>(CPrintIndexDlg::kIdParamFile)->text(), "");
}

// The grid read from the settings is held to the dialog's own range, 1 to
// 10 each way (a value below 1 is the default): a settings file edited by
// hand cannot make pages of billions of cells (a product that wraps round
// to no page at all) or a preview of millions of cells to paint.
TEST_F(PrintIndexDlgTest, GridFromTheSettingsIsHeldToTheDialogsRange)
{
    struct Case
    {
        const char* columnsText;
        const char* rowsText;
        int columns, rows;
    };
    const Case cases[] = {
        {"3", "2", 3, 2},
        {"0", "0", 5, 4},
        {"-7", "-2147483648", 5, 4},
        {"12", "1", 10, 1},
        {"2", "11", 2, 10},
        {"50000", "50000", 10, 10},
        {"40000", "40000", 10, 10},
        {"2147483647", "2147483647", 10, 10},
        {"99999999999999999999", "65536", 10, 10},
        {"10", "10", 10, 10},
    };
    AddImages(3);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.columnsText) + " x " + c.rowsText);
        {
            CIniFile ini(GetIniFilePath());
            ini.SetString(kPrintSection, "IndexColNum", c.columnsText);
            ini.SetString(kPrintSection, "IndexRowNum", c.rowsText);
        }
        CPrintIndexDlg& dlg = Open();
        EXPECT_EQ(dlg.Index().Options.columns, c.columns);
        EXPECT_EQ(dlg.Index().Options.rows, c.rows);
        EXPECT_EQ(Control<CUpDown>(CPrintIndexDlg::kIdColumnsSpin)->GetPos(), c.columns);
        EXPECT_EQ(Control<CUpDown>(CPrintIndexDlg::kIdRowsSpin)->GetPos(), c.rows);
        EXPECT_EQ(Control<QLineEdit>(CPrintIndexDlg::kIdColumns)->text(),
                  QString::number(c.columns));
        EXPECT_EQ(dlg.Index().PageCount(), 1);
        EXPECT_TRUE(Control<QPushButton>(CPrintIndexDlg::kIdPrint)->isEnabled());
        m_dialog.reset();
    }
}

// What the check before printing refuses: nothing is printed, the message
// says why and the control at fault gets the focus.
TEST_F(PrintIndexDlgTest, AFailedCheckStartsNoJob)
{
    struct Case
    {
        const char* what;
        int columnsSetting, rowsSetting;
        bool profilePath; // colour path by a chosen profile (none is installed)
        bool paramMode;   // correction by a parameter file that was never chosen
        int message;
        int focus;
    };
    const Case cases[] = {
        {"no printer profile to choose", 2, 1, true, false, kStrPrintNoProfile,
         CPrintIndexDlg::kIdProfile},
        {"no parameter file", 2, 1, false, true, kStrParamFileMissing, CPrintIndexDlg::kIdBrowse},
    };
    AddImages(3);
    const std::string pdf = m_dir.File("refused.pdf");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        SetGridSetting(c.columnsSetting, c.rowsSetting);
        Open();
        AnswerPdfName(pdf);
        if (!c.profilePath)
            Control<QRadioButton>(CPrintIndexDlg::kIdPathNone)->click();
        if (c.paramMode)
        {
            auto* mode = Control<QComboBox>(CPrintIndexDlg::kIdCorrection);
            mode->setCurrentIndex(3);
            emit mode->activated(3);
        }
        m_messages.messages.clear();
        Control<QPushButton>(CPrintIndexDlg::kIdPrint)->click();
        EXPECT_EQ(MessageIds(), std::vector<int>{c.message});
        EXPECT_EQ(QApplication::focusWidget(), m_dialog->findChild<QWidget*>(QString::number(c.focus)));
        EXPECT_FALSE(std::filesystem::exists(pdf));
        m_dialog.reset();
    }
}

TEST_F(PrintIndexDlgTest, PrintsEveryPageOrTheCurrentOneToThePdfPrinter)
{
    if (!HavePoppler())
        GTEST_SKIP() << "poppler-utils are not installed";
    AddImages(3);
    SetGridSetting(2, 1);
    struct Case
    {
        bool currentOnly;
        int pages;
        std::size_t images;
    };
    for (const Case c : {Case{false, 2, 3}, Case{true, 1, 2}})
    {
        SCOPED_TRACE(c.currentOnly);
        CPrintIndexDlg& dlg = Open();
        const std::string pdf = m_dir.File(c.currentOnly ? "current.pdf" : "all.pdf");
        AnswerPdfName(pdf);
        Control<QRadioButton>(CPrintIndexDlg::kIdPathNone)->click();
        if (c.currentOnly)
            Control<QRadioButton>(CPrintIndexDlg::kIdCurrentPage)->click();
        m_messages.messages.clear();
        Control<QPushButton>(CPrintIndexDlg::kIdPrint)->click();
        EXPECT_TRUE(m_messages.messages.empty());
        EXPECT_EQ(ReadPdfInfo(pdf).pages, c.pages);
        EXPECT_EQ(PdfImages(pdf).size(), c.images);
        // The worker goes on after the job.
        EXPECT_TRUE(dlg.Index().IsCacheThreadRunning() || AllCellsCached());
        m_dialog.reset();
    }
}

TEST_F(PrintIndexDlgTest, NoMarkedImageLeavesNothingToPrint)
{
    AddImages(2);
    for (const std::string& path : m_paths)
        Entry(path).m_check = 0;
    CPrintIndexDlg& dlg = Open();
    EXPECT_EQ(dlg.Index().PageCount(), 0);
    EXPECT_EQ(Control<QLabel>(CPrintIndexDlg::kIdPageLabel)->text(), "0 / 0");
    EXPECT_FALSE(Control<QPushButton>(CPrintIndexDlg::kIdPrint)->isEnabled());
    EXPECT_FALSE(Control<QPushButton>(CPrintIndexDlg::kIdNext)->isEnabled());
    // The page is still shown: white paper, nothing on it.
    const QImage& page = dlg.Preview()->PageBuffer();
    ASSERT_FALSE(page.isNull());
    EXPECT_TRUE(IsWhite(page.pixelColor(page.width() / 2, page.height() / 2)));
}

} // namespace
