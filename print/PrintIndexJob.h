#pragma once
// The index print job: one printer document of the index pages, every cell
// developed at the size it is printed at, on the user-interface thread,
// with a progress window (CPrintIndexProgDlg) that shows the file and the
// rendering stage of the current cell on one bar, the cells done on a
// second, and offers Cancel. CStSetPrintIndexCallback keeps the cell-cache
// worker stopped for the length of the job, so the project's development
// never runs on two threads at once.
//
// Cancel. The Cancel button (also Esc and the close box) only raises a
// flag. The next progress callback of the development takes it and
// answers "stop", or, when the cell finishes first, the page drawing takes
// it after the cell. Either way the job ends as cancelled (the caller
// shows 11089, never the failure 11079), the document is discarded and no
// further page is drawn.

#include "correction/ProjectManage.h"
#include "print/IndexImage.h"

#include <QDialog>

#include <array>
#include <memory>
#include <string>

class CPixelConversion;
class CPrinterSettings;
class QLabel;
class QPrinter;
class QProgressBar;
class QPushButton;

// Strings of the job.
inline constexpr int kStrIndexPrintDocument = 11080; // "インデックス印刷"
inline constexpr int kStrIndexPrintFailed = 11079;   // "印刷に失敗しました。"
inline constexpr int kStrIndexPrintCancelled = kStrPrintCancelled; // 11089
inline constexpr int kStrIndexStageFirst = 11091; // 11091 + stage: "イメージロード" ...
inline constexpr int kStrIndexStepText = 11200;   // "%s - %s"
inline constexpr int kStrIndexPageText = 11201;   // "%d ページを処理中 [ 全体の %d %% 終了 ]"
inline constexpr int kStrIndexChoosePrinterProfile = 11084; // "プリンタのICCプロファイルを指定してください。"

class CPrintIndexProgDlg : public QDialog, public IPrintStepProgress, public IIndexPageProgress
{
public:
    // owner: the window the dialog blocks while it exists (the index
    // dialog); none blocks nothing.
    explicit CPrintIndexProgDlg(QWidget* owner = nullptr);
    ~CPrintIndexProgDlg() override;

    // Shows the dialog modeless and window-modal over the owner's window.
    void CreateModeless();

    // The overall bar counts n cells from 0.
    void SetTotalCells(int n);
    void SetPageCount(int n) { m_pageCount = n; }
    void SetCurrentPage(int page) { m_currentPage = page; }
    // "%d ページを処理中 [ 全体の %d %% 終了 ]" with the current page and the
    // cells done; nothing without cells.
    void UpdatePageText();
    // The stage text: the file name and the stage's name; the step bar
    // goes to trunc(share x x + start[stage]).
    void SetStepText(double x, int stage);

    // ---- IIndexPageProgress
    void SetFileName(const std::string& name) override;
    bool CellDone() override;
    bool CancelTaken() const override { return m_cancelTaken; }
    IPrintStepProgress* StepProgress() override { return this; }
    const PrintDevelopProgress* DevelopProgress() const override { return &m_develop; }

    // ---- IPrintStepProgress
    void SetSteps(const std::array<int, 7>& flags) override;
    void SetStepProgress(int stage) override;

    // The development's report of stage 0 (load, fraction 0..1) or 1..7
    // (a step, percent): the stage text and bar move, events are handled,
    // and a pending cancel is taken (false: stop).
    bool OnStageProgress(int stage, double value);

    // Cancel, Esc and the close box: the flag only; the dialog stays.
    void reject() override;
    void accept() override {}
    bool IsCancelPending() const { return m_cancel; }

    // What the dialog shows (tests read these).
    int StepBarValue() const;
    int OverallBarValue() const;
    int OverallBarMaximum() const;
    int DoneCells() const { return m_done; }
    QString FileText() const;
    QString PageText() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A step bar report: pumps, then takes a pending cancel.
    bool TakeCancel();

    class StageSink final : public IProgressSink
    {
    public:
        StageSink(CPrintIndexProgDlg& dialog, int stage) : m_dialog(dialog), m_stage(stage) {}
        bool Report(double value) override { return m_dialog.OnStageProgress(m_stage, value); }

    private:
        CPrintIndexProgDlg& m_dialog;
        int m_stage;
    };

    bool m_cancel = false;
    bool m_cancelTaken = false;
    IndexStepShares m_shares;
    int m_total = 0;
    int m_done = 0;
    int m_pageCount = 0;
    int m_currentPage = 0;
    std::string m_fileName;
    std::array<std::unique_ptr<StageSink>, 8> m_sinks;
    PrintDevelopProgress m_develop;
    QProgressBar* m_stepBar;
    QProgressBar* m_overallBar;
    QLabel* m_fileText;
    QLabel* m_pageText;
    QPushButton* m_cancelButton;
};

// For the length of a job: the cell-cache worker stopped (the development
// then runs on this thread only, reporting to the progress dialog through
// the callbacks the dialog hands the development), and started again at
// the end.
class CStSetPrintIndexCallback
{
public:
    CStSetPrintIndexCallback(CIndexImage& index, CPrintIndexProgDlg& progress);
    ~CStSetPrintIndexCallback();
    CStSetPrintIndexCallback(const CStSetPrintIndexCallback&) = delete;
    CStSetPrintIndexCallback& operator=(const CStSetPrintIndexCallback&) = delete;

private:
    CIndexImage& m_index;
};

enum class IndexPrintResult
{
    Printed,
    NothingToPrint, // no page: nothing was started
    Cancelled,
    Failed
};

// The message the caller shows for a result: 0 (none), 11089 or 11079.
int IndexPrintResultMessage(IndexPrintResult result);

struct IndexPrintRequest
{
    // Only the current page (the print range "現在のページ").
    bool currentPageOnly = false;
    // The document's name without a title: the application's name.
    std::string applicationName;
    // The profile chosen for colour mode 1 is remembered for this printer.
    std::string printerName;
    // The printer's own profile ("" when it names none): the colour path
    // PrinterAssociated, and PrinterProfile without a choice, print to it.
    std::string associatedProfile;
};

// The document name: the title when it is printed, else the application
// name, a blank and documentText; " - P<page>" appended for the current
// page alone.
std::string IndexDocumentName(bool titleOn, const std::string& title,
                              const std::string& applicationName, const std::string& documentText,
                              bool currentPageOnly, int currentPage);

// The colour path of the printed cells. The cells are print copies, each
// labelled with its own input profile's linear record, so no cell's
// colours pass through the monitor's gamut. The path's destination is
// checked once a job, before anything is printed; each cell is then
// converted from its own colour space (the conversion is kept while the
// next cells share it) to the path's printer profile, or to sRGB.
class CIndexCellConversion final : public IIndexCellPainter
{
public:
    // False, with the message and the reason, when the path's conversion
    // cannot be made: the job then prints nothing rather than unconverted
    // colours.
    bool Prepare(PrintColorPath path, const std::string& chosenProfile,
                 const std::string& associatedProfile, int& messageId, std::string& reason);
    bool DrawCell(QPainter& painter, const CRGBImage& image, const LogColorSpace& colorSpace,
                  const CRect& destination) override;

private:
    PrintConversionSetup m_setup;
    LogColorSpace m_source{};
    std::unique_ptr<CPixelConversion> m_conversion;
};

// Prints the index on a printer made ready by its settings (the QPrinter is
// the settings'), one page per index page. owner: the window the progress
// dialog blocks.
IndexPrintResult PrintIndex(CIndexImage& index, CPrinterSettings& printer, QWidget* owner,
                            const IndexPrintRequest& request);
// The same on a given printer (the PDF printer, a test's QPrinter).
IndexPrintResult PrintIndexOn(CIndexImage& index, QPrinter& printer, QWidget* owner,
                              const IndexPrintRequest& request);
