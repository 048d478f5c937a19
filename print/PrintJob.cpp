#include "print/PrintJob.h"

#include "controls/dialogs/ProgDlg.h"
#include "controls/support/EventPump.h"
#include "controls/support/WaitCursor.h"
#include "core/ColorDisplay.h"
#include "core/ColorProfile.h"
#include "core/IniFile.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "core/RGBImage.h"
#include "core/Resample.h"
#include "core/RowBands.h"
#include "core/SRGBProfile.h"
#include "print/PageGeometry.h"
#include "print/PrinterSettings.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>
#include <vector>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

constexpr const char* kPrinterProfileSection = "PrinterICCProfile";
constexpr int kStrPrintFailed = 11079;        // "印刷に失敗しました。"
constexpr int kStrChoosePrinterProfile = 11084; // "プリンタのICCプロファイルを指定してください。"
constexpr int kStrNoMemory = 11087;           // "メモリが足りません。"
constexpr int kStrConverting = 11202;         // "色変換処理中..."

PrintJobOutcome Failure(std::string detail)
{
    PrintJobOutcome outcome;
    outcome.result = PrintJobResult::Failed;
    outcome.messageId = kStrPrintFailed;
    outcome.detail = std::move(detail);
    return outcome;
}

// The conversion of the request's colour path; on failure the message the
// job shows and the reason.
struct ColourPreparation
{
    bool ok = false;
    int messageId = 0;
    std::string reason;
};

ColourPreparation PrepareConversion(const PrintImageRequest& request,
                                    const std::string& associatedProfile,
                                    CPixelConversion& conversion)
{
    PrintConversionSetup setup;
    setup.path = request.path;
    setup.chosenProfile = request.printerProfilePath;
    setup.associatedProfile = associatedProfile;
    if (request.proofWithMonitor)
        setup.proofProfile = request.monitorProfilePath;
    setup.source = request.colorSpace;
    ColourPreparation result;
    result.ok = PreparePrintConversion(setup, conversion, result.messageId, result.reason);
    return result;
}

// Ends a document that must not come out: the queue's job is cancelled,
// and a partly written PDF file removed.
void AbortDocument(QPrinter& printer, QPainter& painter)
{
    const QString file =
        printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
    printer.abort();
    if (painter.isActive())
        painter.end();
    if (!file.isEmpty())
        QFile::remove(file);
}

} // namespace

bool PreparePrintConversion(const PrintConversionSetup& setup, CPixelConversion& conversion,
                            int& messageId, std::string& reason)
{
    const auto refuse = [&](int id, std::string why) {
        messageId = id;
        reason = std::move(why);
        return false;
    };
    std::string destinationPath;
    CColorProfile proofProfile;
    const CColorProfile* proof = nullptr;
    switch (setup.path)
    {
    case PrintColorPath::PrinterProfile:
        // Without a choice, the printer's own profile (the dialogs' checks
        // normally see to a choice).
        destinationPath = setup.chosenProfile.empty() ? setup.associatedProfile : setup.chosenProfile;
        if (destinationPath.empty())
            return refuse(kStrChoosePrinterProfile, "no printer profile is chosen");
        if (!setup.proofProfile.empty())
        {
            if (!proofProfile.OpenDeviceProfile(setup.proofProfile))
                return refuse(kStrPrintConversionFailed,
                              "the monitor profile cannot be opened: " + setup.proofProfile);
            proof = &proofProfile;
        }
        break;
    case PrintColorPath::PrinterAssociated:
        if (!setup.associatedProfile.empty())
        {
            destinationPath = setup.associatedProfile;
            break;
        }
        // A printer that names no profile of its own gets sRGB, as
        // NoPrinterProfile does.
        [[fallthrough]];
    case PrintColorPath::NoPrinterProfile:
        EnsureSRGBProfileInstalled();
        destinationPath = GetSRGBProfileFileName();
        break;
    default:
        return refuse(kStrPrintConversionFailed, "unknown colour path");
    }

    CColorProfile destination;
    if (!destination.OpenDeviceProfile(destinationPath))
        return refuse(kStrPrintConversionFailed, "the profile cannot be opened: " + destinationPath);
    std::string why;
    if (!conversion.Prepare(setup.source, destination, proof, &why, PixelInput::Rgb16))
        return refuse(kStrPrintConversionFailed, why + ": " + destinationPath);
    messageId = 0;
    reason.clear();
    return true;
}

PrintDotsRect PrintDestinationRect(const PrintImageRequest& request, int dpiX, int dpiY)
{
    const PrintMargins& trim = request.trimTenthMM;
    PrintDotsRect rect;
    // Summed in doubles (exact for ints): the margins of an extreme scale
    // lie at the ends of int's range.
    rect.x = TenthMMToDots(static_cast<double>(request.originX) + trim.left, dpiX);
    rect.y = TenthMMToDots(static_cast<double>(request.originY) + trim.top, dpiY);
    rect.width =
        TenthMMToDots(static_cast<double>(request.printWidth) - trim.left - trim.right, dpiX);
    rect.height =
        TenthMMToDots(static_cast<double>(request.printHeight) - trim.top - trim.bottom, dpiY);
    return rect;
}

PrintDotsRect PrintDestinationOnPage(const PrintImageRequest& request, const PageGeometry& page)
{
    PrintDotsRect rect = PrintDestinationRect(request, page.dpiX, page.dpiY);
    // A tenth over the edge and half a tenth of rounding of the area's
    // size, in dots (at least one).
    const auto hold = [](int& start, int& size, int area, int dpi) {
        const std::int64_t slack = static_cast<std::int64_t>(std::ceil(1.5 * dpi / 254.0));
        std::int64_t first = start;
        std::int64_t last = std::int64_t{start} + std::max(size, 0);
        const bool overStart = first < 0 && first >= -slack;
        const bool overEnd = last > area && last <= std::int64_t{area} + slack;
        if (!overStart && !overEnd)
            return;
        if (last - first <= area)
        {
            // Moved onto the area whole, at the size the layout shows.
            const std::int64_t length = last - first;
            first = std::clamp<std::int64_t>(first, 0, area - length);
            last = first + length;
        }
        else
        {
            // Wider than the area: narrowed to it on the side that is near.
            if (overStart)
                first = 0;
            if (overEnd)
                last = area;
        }
        start = static_cast<int>(first);
        size = static_cast<int>(last - first);
    };
    hold(rect.x, rect.width, page.printableWidth, page.dpiX);
    hold(rect.y, rect.height, page.printableHeight, page.dpiY);
    return rect;
}

PrintDotsRect PrintDeviceRect(const PrintDotsRect& dots, int dpiX, int dpiY, int deviceDpi)
{
    if (dpiX <= 0 || dpiY <= 0 || deviceDpi <= 0)
        return {};
    const auto scale = [deviceDpi](int v, int dpi) {
        return static_cast<int>(std::llround(static_cast<double>(v) * deviceDpi / dpi));
    };
    const int left = scale(dots.x, dpiX);
    const int top = scale(dots.y, dpiY);
    // The far edges are rounded too, so that neighbouring rectangles meet.
    return {left, top, scale(dots.x + dots.width, dpiX) - left,
            scale(dots.y + dots.height, dpiY) - top};
}

int IcmMethodOfPath(PrintColorPath path)
{
    switch (path)
    {
    case PrintColorPath::PrinterAssociated:
        return 2;
    case PrintColorPath::PrinterProfile:
        return 1;
    case PrintColorPath::NoPrinterProfile:
        break;
    }
    return 3;
}

bool StorePrinterProfileChoice(const std::string& printerName, const std::string& profilePath)
{
    if (printerName.empty())
        return false;
    return CIniFile(GetIniFilePath())
        .SetString(kPrinterProfileSection, printerName, GetFileNameFromPath(profilePath));
}

std::string LoadPrinterProfileChoice(const std::string& printerName)
{
    if (printerName.empty())
        return {};
    return CIniFile(GetIniFilePath()).GetString(kPrinterProfileSection, printerName, "");
}

PrintJobOutcome PrintImageOnPrinter(QPrinter& printer, const PageGeometry& page,
                                    const std::string& associatedProfile,
                                    const PrintImageRequest& request, QWidget* progressParent)
{
    const CRGBImage* image = request.image;
    if (!image || image->IsEmpty())
        return Failure("no image");
    const PrintMargins trim{std::max(request.trimPixels.left, 0), std::max(request.trimPixels.top, 0),
                            std::max(request.trimPixels.right, 0),
                            std::max(request.trimPixels.bottom, 0)};
    const int visibleWidth = image->GetWidth() - trim.left - trim.right;
    const int visibleHeight = image->GetHeight() - trim.top - trim.bottom;
    if (visibleWidth <= 0 || visibleHeight <= 0)
        return Failure("the trimming leaves no pixel");
    if (!page.HasResolution() || printer.resolution() <= 0)
        return Failure("the printer has no resolution");
    const PrintDotsRect dots = PrintDestinationOnPage(request, page);
    if (dots.width <= 0 || dots.height <= 0)
        return Failure("the print size leaves no dot");
    // The layout's dots are relative to the printable area at the page's
    // resolution; the painter draws in the printer's own device pixels.
    const int deviceDpi = printer.resolution();
    const PrintDotsRect dest = PrintDeviceRect(dots, page.dpiX, page.dpiY, deviceDpi);
    if (dest.width <= 0 || dest.height <= 0 || dest.width > CRGBImage::kMaxDimension ||
        dest.height > CRGBImage::kMaxDimension)
        return Failure("the print size leaves no device pixel");

    const WaitCursorGuard wait;
    // Everything that can refuse is settled before the document starts, so
    // a conversion that cannot be made leaves no page (and no file) behind.
    CPixelConversion conversion;
    const ColourPreparation colour = PrepareConversion(request, associatedProfile, conversion);
    if (!colour.ok)
    {
        if (colour.messageId == kStrPrintConversionFailed)
            ShowMessage(colour.messageId, {colour.reason}, MessageButtons::Ok, MessageIcon::Error);
        else
            ShowMessage(colour.messageId, {}, MessageButtons::Ok, MessageIcon::Warning);
        return Failure(colour.reason);
    }
    ResampleAxis horizontal;
    ResampleAxis vertical;
    try
    {
        horizontal.Prepare(trim.left, visibleWidth, dest.width, image->GetWidth());
        vertical.Prepare(trim.top, visibleHeight, dest.height, image->GetHeight());
    }
    catch (const std::bad_alloc&)
    {
        ShowMessage(kStrNoMemory, {}, MessageButtons::Ok, MessageIcon::Error);
        return Failure("no memory for the resampling");
    }

    printer.setDocName(QString::fromStdString(request.documentName));
    QPainter painter;
    if (!painter.begin(&printer))
        return Failure("the document cannot be started");
    painter.setRenderHint(QPainter::LosslessImageRendering);

    // The painter starts at the sheet's corner in full-page mode and at the
    // printable area's otherwise.
    const double sx = deviceDpi / static_cast<double>(page.dpiX);
    const double sy = deviceDpi / static_cast<double>(page.dpiY);
    QPointF painterOrigin;
    if (!printer.fullPage())
        painterOrigin = printer.pageRect(QPrinter::DevicePixel).topLeft() -
                        printer.paperRect(QPrinter::DevicePixel).topLeft();
    painter.translate(std::round(page.offsetX * sx) - painterOrigin.x(),
                      std::round(page.offsetY * sy) - painterOrigin.y());

    CProgDlg progress(kStrConverting, progressParent);
    progress.SetRange(0, dest.height);
    progress.HideCancelButton();
    progress.Create();

    const RGB16* pixels = image->GetPixels();
    const std::size_t sourceStride = static_cast<std::size_t>(image->GetWidth());
    const std::size_t rowPixels = static_cast<std::size_t>(dest.width);
    const int bandRows = std::clamp(request.bandRows, 1, dest.height);
    std::vector<RGB16> resampled;
    try
    {
        resampled.resize(rowPixels * static_cast<std::size_t>(bandRows));
    }
    catch (const std::bad_alloc&)
    {
        resampled.clear();
    }
    for (int first = 0; first < dest.height; first += bandRows)
    {
        const int end = std::min(first + bandRows, dest.height);
        QImage band(dest.width, end - first, QImage::Format_BGR888);
        std::atomic<bool> memoryShort{resampled.empty() || band.isNull()};
        if (!memoryShort)
            RunRowBands(
                end - first, {},
                [&](int a, int b) {
                    RGB16* rows = resampled.data() + static_cast<std::size_t>(a) * rowPixels;
                    if (!ResampleRows(pixels, sourceStride, horizontal, vertical, dest.width,
                                      first + a, first + b, rows, rowPixels))
                    {
                        memoryShort = true;
                        return;
                    }
                    conversion.ConvertRows16(rows, rowPixels, band.scanLine(a),
                                             static_cast<int>(band.bytesPerLine()), dest.width,
                                             b - a);
                },
                static_cast<int>(request.threads));
        if (memoryShort)
        {
            progress.hide();
            ShowMessage(kStrNoMemory, {}, MessageButtons::Ok, MessageIcon::Error);
            AbortDocument(printer, painter);
            return Failure("no memory for a band");
        }
        painter.drawImage(QPoint(dest.x, dest.y + first), band);
        progress.SetPos(end);
        PumpEvents();
    }
    if (!painter.end())
        return Failure("the document cannot be completed");
    PrintJobOutcome printed;
    printed.result = PrintJobResult::Printed;
    printed.messageId = 0;
    return printed;
}

PrintJobOutcome PrintImage(CPrinterSettings& settings, const PrintImageRequest& request,
                           QWidget* progressParent)
{
    // The ticket tells the printer how colour is managed, for this job only.
    const PrintTicket before = settings.DevMode();
    const bool icm = (before.fields & kTicketIcmMethod) != 0;
    if (icm)
        settings.SetICMMethod(IcmMethodOfPath(request.path));
    QPrinter* printer = settings.CreatePrinterDC();
    if (icm)
        settings.SetICMMethod(before.icmMethod);
    if (!printer)
        return Failure("no printer can be made");
    PrintJobOutcome outcome = PrintImageOnPrinter(*printer, settings.GetPageGeometry(),
                                                  settings.AssociatedProfile(), request,
                                                  progressParent);
    if (outcome.result == PrintJobResult::Printed && request.path == PrintColorPath::PrinterProfile &&
        !request.printerProfilePath.empty())
        StorePrinterProfileChoice(settings.DeviceName(), request.printerProfilePath);
    return outcome;
}
