#pragma once
// The single-image print job: the visible (trimmed) part of the print copy
// on one page of one document, at the place and size of the layout,
// through one of three colour paths:
//   PrinterAssociated (hidden in the dialog): to the profile the printer
//     itself names (CPrinterSettings::AssociatedProfile); a printer that
//     names none is served as NoPrinterProfile;
//   PrinterProfile: to the printer profile the user chose, optionally
//     proofed against the monitor profile so that no colour leaves the
//     display's gamut;
//   NoPrinterProfile: to our sRGB profile only.
// Every conversion goes through LittleCMS; a conversion that cannot be made
// stops the job with a message instead of printing unconverted colours.
//
// The print copy is the working image as it stands: 16-bit linear RGB in
// the image's input primaries, described exactly by the input profile's
// linear colour-space record. It never passes through the monitor's gamut,
// so the printer gets the image's own colours (the proof against the
// monitor is the one way to limit them to the display's gamut).
//
// The page: the visible part is resampled once, with the project's area
// resampler (linear interpolation when enlarging, area averaging when
// reducing), to the destination rectangle in the printer's device pixels,
// and only then converted to the path's profile and drawn one device pixel
// per image pixel. Resampling in linear light, before the conversion, both
// averages light as it mixes on paper and converts only the pixels the
// page holds. Bands of device rows keep the memory to a band; each band's
// rows are resampled and converted on every hardware thread (the same rows
// as one thread gives).
//
// Layout values are tenths of a millimetre relative to the printable area
// (its top-left corner is (0, 0)).
//
// This header stays light (no LittleCMS, no <span>) so that dialog headers
// that moc reads can include it.

#include "print/PrintLayout.h" // PrintMargins

#include <string>

class CRGBImage;
class CPrinterSettings;
class QPrinter;
class QWidget;
struct LogColorSpace;
struct PageGeometry;

enum class PrintColorPath
{
    PrinterAssociated = 0,
    PrinterProfile = 1,
    NoPrinterProfile = 2
};

struct PrintImageRequest
{
    // The print copy (borrowed; it outlives the job and is only read).
    const CRGBImage* image = nullptr;
    // The print copy's colour space (borrowed); null is sRGB.
    const LogColorSpace* colorSpace = nullptr;
    // The monitor's profile (path, or a bare name in the colour directory);
    // the proof of PrinterProfile uses it. Empty when there is none.
    std::string monitorProfilePath;
    // Pixels trimmed off each side of the image (the preview keeps them).
    PrintMargins trimPixels;
    // The layout, in 0.1 mm: the whole image's top-left corner on the
    // printable area, its printed size, and the trim margins on paper.
    int originX = 0;
    int originY = 0;
    int printWidth = 0;
    int printHeight = 0;
    PrintMargins trimTenthMM;
    PrintColorPath path = PrintColorPath::PrinterProfile;
    // The printer profile the user chose (PrinterProfile); empty: none.
    std::string printerProfilePath;
    // Keep colours within the monitor's gamut (proof against it).
    bool proofWithMonitor = false;
    // The document's name (the image's file name).
    std::string documentName;
    // Device rows resampled, converted and drawn at a time (at least 1).
    int bandRows = 128;
    // Threads of a band (0: every hardware thread).
    unsigned threads = 0;
};

enum class PrintJobResult
{
    Printed,
    Failed,
    Cancelled
};

// What became of a job. The job itself shows what only it knows (no
// memory for a band: 11087; a colour conversion that cannot be made:
// kStrPrintConversionFailed with the reason; no printer profile: 11084);
// the caller then shows messageId, the result's own text: 11079 for
// Failed, 11089 for Cancelled, 0 (nothing) for Printed.
struct PrintJobOutcome
{
    PrintJobResult result = PrintJobResult::Failed;
    int messageId = 11079;
    // Why a job failed, as far as the job knows (already shown to the user
    // where the job showed a message); empty otherwise.
    std::string detail;
};

// "色変換を準備できないため印刷を中止しました。\n%s": printing stopped before
// the page because the colour conversion cannot be made (the reason).
inline constexpr int kStrPrintConversionFailed = 30210;

// Prints the request on the settings' printer (CreatePrinterDC). The
// progress is shown over progressParent. On Printed through
// PrinterProfile with a chosen profile, the choice is stored for the
// printer (StorePrinterProfileChoice).
PrintJobOutcome PrintImage(CPrinterSettings& settings, const PrintImageRequest& request,
                           QWidget* progressParent);

// The job on a printer made already: page is the geometry the layout was
// made on (its dpi give the dots of the destination; its offset is where
// the printable area lies on the sheet), associatedProfile the printer's
// own profile ("" when none; PrinterAssociated, and PrinterProfile
// without a chosen profile, use it). Stores no choice. PrintImage runs
// this.
PrintJobOutcome PrintImageOnPrinter(QPrinter& printer, const PageGeometry& page,
                                    const std::string& associatedProfile,
                                    const PrintImageRequest& request, QWidget* progressParent);

// The visible part of the image on the page, in printer dots relative to
// the printable area: origin + trim margin, print size - trim margins.
struct PrintDotsRect
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PrintDotsRect&) const = default;
};
PrintDotsRect PrintDestinationRect(const PrintImageRequest& request, int dpiX, int dpiY);

// The destination the job prints: PrintDestinationRect at the page's
// resolution, held on its printable area. The layout works in tenths of a
// millimetre, takes a visible part up to a tenth over an edge as lying on
// the printable area, and its sizes and the area's are rounded to tenths;
// so a destination over the area's edge by no more than those tenths come
// to in dots is moved onto the area (or, when wider than the area, narrowed
// to it). One further off stays where the user put it, cut off by the
// paper's margin.
PrintDotsRect PrintDestinationOnPage(const PrintImageRequest& request, const PageGeometry& page);

// The destination rectangle in the printer's device pixels: the layout's
// dots (at dpiX x dpiY) scaled to the device's resolution, rounded to the
// nearest pixel.
PrintDotsRect PrintDeviceRect(const PrintDotsRect& dots, int dpiX, int dpiY, int deviceDpi);

// The ICM method a colour path puts into the ticket for its job: 2
// (system) for PrinterAssociated, 1 (none: the program converts and the
// printer must not manage colour again) for PrinterProfile, 3 (driver) for
// NoPrinterProfile.
int IcmMethodOfPath(PrintColorPath path);

// The colour conversion of a print path, shared by the single-image and
// the index jobs: to the chosen printer profile (the printer's own without
// a choice; neither: 11084), optionally proofed against proofProfile (a
// monitor profile path, "" for none); to the printer's own profile for
// PrinterAssociated (sRGB when it names none); to sRGB for
// NoPrinterProfile. source: the pixels' colour space (null: sRGB). False
// with the message to show and the reason when it cannot be made.
class CPixelConversion;
struct PrintConversionSetup
{
    PrintColorPath path = PrintColorPath::PrinterProfile;
    std::string chosenProfile;
    std::string associatedProfile;
    std::string proofProfile;
    const LogColorSpace* source = nullptr;
};
// Both jobs print 16-bit copies: the conversion takes RGB16 pixels.
bool PreparePrintConversion(const PrintConversionSetup& setup, CPixelConversion& conversion,
                            int& messageId, std::string& reason);

// The printer profile remembered for a printer (section "PrinterICCProfile"
// of the main settings file, key = the printer's name, value = the file
// name of the profile): written by the job after a print through the
// chosen profile, read by the dialog to preselect it. The dialog writes
// through the same function.
bool StorePrinterProfileChoice(const std::string& printerName, const std::string& profilePath);
std::string LoadPrinterProfileChoice(const std::string& printerName);
