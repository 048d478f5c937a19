#include "print/PrintIndexJob.h"

#include "controls/support/EventPump.h"
#include "controls/support/MessageText.h"
#include "controls/support/StringTable.h"
#include "core/ColorDisplay.h"
#include "core/ColorProfile.h"
#include "core/ImageEx.h"
#include "core/MessageSink.h"
#include "core/RGBImage.h"
#include "core/RowBands.h"
#include "core/SRGBProfile.h"
#include "print/PrinterSettings.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The caption of the progress window.
const char* const kProgressCaption = "インデックス印刷 処理中...";

} // namespace

// ---- CPrintIndexProgDlg ------------------------------------------------

CPrintIndexProgDlg::CPrintIndexProgDlg(QWidget* owner)
    : QDialog(owner), m_stepBar(new QProgressBar(this)), m_overallBar(new QProgressBar(this)),
      m_fileText(new QLabel(this)), m_pageText(new QLabel(this)),
      m_cancelButton(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this))
{
    setObjectName(QStringLiteral("195"));
    setWindowTitle(QString::fromUtf8(kProgressCaption));
    m_stepBar->setObjectName(QStringLiteral("1255"));
    m_overallBar->setObjectName(QStringLiteral("1256"));
    m_fileText->setObjectName(QStringLiteral("1257"));
    m_pageText->setObjectName(QStringLiteral("1258"));
    m_cancelButton->setObjectName(QStringLiteral("2"));
    m_stepBar->setRange(0, 100);
    m_stepBar->setValue(0);
    m_overallBar->setRange(0, 0);
    m_overallBar->setValue(0);
    m_stepBar->setTextVisible(false);
    m_overallBar->setTextVisible(false);
    m_fileText->setTextFormat(Qt::PlainText);
    m_pageText->setTextFormat(Qt::PlainText);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancelButton);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fileText);
    layout->addWidget(m_stepBar);
    layout->addWidget(m_pageText);
    layout->addWidget(m_overallBar);
    layout->addLayout(buttons);
    setMinimumWidth(360);
    connect(m_cancelButton, &QPushButton::clicked, this, &CPrintIndexProgDlg::reject);

    for (std::size_t stage = 0; stage < m_sinks.size(); ++stage)
        m_sinks[stage] = std::make_unique<StageSink>(*this, static_cast<int>(stage));
    m_develop.load = *m_sinks[0];
    for (std::size_t step = 0; step < m_develop.steps.size(); ++step)
        m_develop.steps[step] = *m_sinks[step + 1];
}

CPrintIndexProgDlg::~CPrintIndexProgDlg() = default;

void CPrintIndexProgDlg::CreateModeless()
{
    QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    setWindowModality(owner != nullptr ? Qt::WindowModal : Qt::NonModal);
    show();
}

void CPrintIndexProgDlg::SetTotalCells(int n)
{
    m_total = std::max(n, 0);
    m_done = 0;
    m_overallBar->setRange(0, m_total);
    m_overallBar->setValue(0);
}

void CPrintIndexProgDlg::UpdatePageText()
{
    if (m_total == 0)
        return;
    const std::string text =
        FormatMessageText(LoadString(kStrIndexPageText).toStdString(),
                          {std::to_string(m_currentPage),
                           std::to_string(IndexDonePercent(m_done, m_total))});
    m_pageText->setText(QString::fromStdString(text));
}

void CPrintIndexProgDlg::SetFileName(const std::string& name)
{
    m_fileName = name;
    m_cancelTaken = false;
    m_fileText->setText(QString::fromStdString(name));
    m_stepBar->setValue(0);
}

void CPrintIndexProgDlg::SetSteps(const std::array<int, 7>& flags)
{
    m_shares = IndexStepSharesOf(flags);
}

void CPrintIndexProgDlg::SetStepText(double x, int stage)
{
    PumpEvents();
    stage = std::clamp(stage, 0, 7);
    const std::string text = FormatMessageText(
        LoadString(kStrIndexStepText).toStdString(),
        {m_fileName, LoadString(kStrIndexStageFirst + stage).toStdString()});
    m_fileText->setText(QString::fromStdString(text));
    m_stepBar->setValue(IndexStepBar(m_shares, x, stage));
}

void CPrintIndexProgDlg::SetStepProgress(int stage)
{
    PumpEvents();
    m_stepBar->setValue(IndexStepBar(m_shares, 1.0, stage));
}

bool CPrintIndexProgDlg::OnStageProgress(int stage, double value)
{
    // The load reports a fraction, the steps a percent.
    SetStepText(stage == 0 ? value : value / 100.0, stage);
    if (TakeCancel())
    {
        m_cancelTaken = true;
        return false;
    }
    return true;
}

bool CPrintIndexProgDlg::TakeCancel()
{
    PumpEvents();
    const bool cancel = m_cancel;
    m_cancel = false;
    return cancel;
}

bool CPrintIndexProgDlg::CellDone()
{
    PumpEvents();
    m_stepBar->setValue(100);
    if (m_done < m_total)
        m_overallBar->setValue(m_done + 1);
    ++m_done;
    UpdatePageText();
    return !TakeCancel();
}

void CPrintIndexProgDlg::reject()
{
    m_cancel = true;
}

void CPrintIndexProgDlg::closeEvent(QCloseEvent* event)
{
    m_cancel = true;
    event->ignore();
}

int CPrintIndexProgDlg::StepBarValue() const
{
    return m_stepBar->value();
}

int CPrintIndexProgDlg::OverallBarValue() const
{
    return m_overallBar->value();
}

int CPrintIndexProgDlg::OverallBarMaximum() const
{
    return m_overallBar->maximum();
}

QString CPrintIndexProgDlg::FileText() const
{
    return m_fileText->text();
}

QString CPrintIndexProgDlg::PageText() const
{
    return m_pageText->text();
}

// ---- CStSetPrintIndexCallback ------------------------------------------

CStSetPrintIndexCallback::CStSetPrintIndexCallback(CIndexImage& index, CPrintIndexProgDlg&)
    : m_index(index)
{
    m_index.StopCacheThread();
}

CStSetPrintIndexCallback::~CStSetPrintIndexCallback()
{
    m_index.RestartCacheThread();
}

// ---- The job -------------------------------------------------------------

int IndexPrintResultMessage(IndexPrintResult result)
{
    switch (result)
    {
    case IndexPrintResult::Cancelled:
        return kStrIndexPrintCancelled;
    case IndexPrintResult::Failed:
        return kStrIndexPrintFailed;
    case IndexPrintResult::Printed:
    case IndexPrintResult::NothingToPrint:
        break;
    }
    return 0;
}

std::string IndexDocumentName(bool titleOn, const std::string& title,
                              const std::string& applicationName, const std::string& documentText,
                              bool currentPageOnly, int currentPage)
{
    std::string name = titleOn ? title : applicationName + " " + documentText;
    if (currentPageOnly)
        name += " - P" + std::to_string(currentPage);
    return name;
}

// ---- The colour path of the cells ----------------------------------------

bool CIndexCellConversion::Prepare(PrintColorPath path, const std::string& chosenProfile,
                                   const std::string& associatedProfile, int& messageId,
                                   std::string& reason)
{
    m_conversion.reset();
    m_setup = PrintConversionSetup();
    m_setup.path = path;
    m_setup.chosenProfile = chosenProfile;
    m_setup.associatedProfile = associatedProfile;
    // The destination is tried with an sRGB source: what can refuse (the
    // profile, its class) is settled before the first page.
    CPixelConversion probe;
    return PreparePrintConversion(m_setup, probe, messageId, reason);
}

bool CIndexCellConversion::DrawCell(QPainter& painter, const CRGBImage& image,
                                    const LogColorSpace& colorSpace, const CRect& destination)
{
    if (image.IsEmpty())
        return false;
    if (!m_conversion || std::memcmp(&m_source, &colorSpace, sizeof colorSpace) != 0)
    {
        auto conversion = std::make_unique<CPixelConversion>();
        PrintConversionSetup setup = m_setup;
        setup.source = &colorSpace;
        int messageId = 0;
        std::string reason;
        if (!PreparePrintConversion(setup, *conversion, messageId, reason))
            return false;
        m_conversion = std::move(conversion);
        m_source = colorSpace;
    }
    const int width = image.GetWidth();
    QImage rows(width, image.GetHeight(), QImage::Format_BGR888);
    if (rows.isNull())
        return false;
    const RGB16* pixels = image.GetPixels();
    const std::size_t stride = static_cast<std::size_t>(width);
    RunRowBands(image.GetHeight(), {}, [&](int first, int end) {
        m_conversion->ConvertRows16(pixels + static_cast<std::size_t>(first) * stride, stride,
                                    rows.scanLine(first), static_cast<int>(rows.bytesPerLine()),
                                    width, end - first);
    });
    painter.drawImage(QRect(destination.left, destination.top, destination.Width(),
                            destination.Height()),
                      rows);
    return true;
}

namespace {

// Ends a document that must not be printed: the print run is aborted and
// a file it was writing is removed, so no partial document is left.
void AbortDocument(QPainter& painter, QPrinter& printer)
{
    printer.abort();
    if (painter.isActive())
        painter.end();
    const QString file = printer.outputFileName();
    if (!file.isEmpty())
        std::remove(file.toLocal8Bit().constData());
}

} // namespace

IndexPrintResult PrintIndexOn(CIndexImage& index, QPrinter& printer, QWidget* owner,
                              const IndexPrintRequest& request)
{
    const int count = index.GetPathCount();
    const int cellsPerPage = index.CellsPerPage();
    const int pageCount = IndexPageCount(count, cellsPerPage);
    if (!index.IsReady() || pageCount == 0)
        return IndexPrintResult::NothingToPrint;
    const int current = std::clamp(index.CurrentPage(), 1, pageCount);
    if (index.PageWidth() <= 0 || index.PageHeight() <= 0 || index.Resolution() <= 0)
        index.SetPageLayout(printer.width(), printer.height(), printer.logicalDpiY());

    // The cells' colour path, checked before anything is printed; one
    // message when it cannot be made.
    CIndexCellConversion conversion;
    int messageId = 0;
    std::string reason;
    if (!conversion.Prepare(index.ColorMode, index.PrinterProfile, request.associatedProfile,
                            messageId, reason))
    {
        ShowMessage(messageId, {reason});
        return IndexPrintResult::Failed;
    }
    index.SetCellPainter(&conversion);

    printer.setDocName(QString::fromStdString(IndexDocumentName(
        index.Options.title, index.Title, request.applicationName,
        LoadString(kStrIndexPrintDocument).toStdString(), request.currentPageOnly, current)));
    QPainter painter;
    if (!painter.begin(&printer))
    {
        index.SetCellPainter(nullptr);
        return IndexPrintResult::Failed;
    }
    // Pictures go into the document as they are, never recompressed.
    painter.setRenderHint(QPainter::LosslessImageRendering, true);

    IndexPrintResult result = IndexPrintResult::Printed;
    {
        CPrintIndexProgDlg progress(owner);
        progress.CreateModeless();
        CStSetPrintIndexCallback callbacks(index, progress);

        const int first = request.currentPageOnly ? current : 1;
        const int last = request.currentPageOnly ? current : pageCount;
        progress.SetPageCount(request.currentPageOnly ? 1 : pageCount);
        progress.SetTotalCells(request.currentPageOnly
                                   ? IndexCellsOnPage(count, cellsPerPage, current)
                                   : count);
        for (int page = first; page <= last; ++page)
        {
            progress.SetCurrentPage(page);
            progress.UpdatePageText();
            if (page > first && !printer.newPage())
            {
                result = IndexPrintResult::Failed;
                break;
            }
            bool cancelled = false;
            if (!index.PrintPage(painter, page, cancelled, &progress))
            {
                result = cancelled ? IndexPrintResult::Cancelled : IndexPrintResult::Failed;
                break;
            }
        }
        if (result != IndexPrintResult::Printed)
            AbortDocument(painter, printer);
        else if (!painter.end())
            result = IndexPrintResult::Failed;
    }
    index.SetCellPainter(nullptr);
    if (result != IndexPrintResult::Printed)
        return result;

    if (index.ColorMode == PrintColorPath::PrinterProfile && !index.PrinterProfile.empty())
        StorePrinterProfileChoice(request.printerName, index.PrinterProfile);
    return result;
}

IndexPrintResult PrintIndex(CIndexImage& index, CPrinterSettings& printer, QWidget* owner,
                            const IndexPrintRequest& request)
{
    // Nothing to print opens no printer (the PDF printer would ask for a
    // file name first).
    if (!index.IsReady() || index.PageCount() == 0)
        return IndexPrintResult::NothingToPrint;
    QPrinter* dc = printer.CreatePrinterDC();
    if (!dc)
        return IndexPrintResult::Failed;
    IndexPrintRequest named = request;
    if (named.printerName.empty())
        named.printerName = printer.DeviceName();
    if (named.associatedProfile.empty())
        named.associatedProfile = printer.AssociatedProfile();
    return PrintIndexOn(index, *dc, owner, named);
}
