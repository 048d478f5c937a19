#pragma once
// The single-image print job: the visible (trimmed) part of the rendered
// 24-bit image on one page of one document, at the place and size of the
// layout, through one of three colour paths:
//   PrinterAssociated (hidden in the dialog): to the profile the printer
//     itself names (CPrinterSettings::AssociatedProfile); a printer that
//     names none is served as NoPrinterProfile;
//   PrinterProfile: to the printer profile the user chose, optionally
//     proofed against the monitor profile so that no colour leaves the
//     display's gamut;
//   NoPrinterProfile: to our sRGB profile only (nothing is converted when
//     the image already is sRGB).
// Every conversion goes through LittleCMS; a conversion that cannot be made
// stops the job with a message instead of printing unconverted colours.
//
// Layout values are tenths of a millimetre relative to the printable area
// (its top-left corner is (0, 0)); the page is painted at the printer's
// resolution.
//
// This header stays light (no LittleCMS, no <span>) so that dialog headers
// that moc reads can include it.

#include "print/PrintLayout.h" // PrintMargins

#include <string>

class CImageEx;
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
    // The rendered 24-bit image (borrowed; it outlives the job).
    const CImageEx* image = nullptr;
    // The image's colour space (borrowed); null when the image has none,
    // which is taken as sRGB.
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
    // Rows converted and drawn at a time (at least 1).
    int bandRows = 128;
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

// Where image row `row` (0..visibleRows) starts on the destination, in
// dots from its top: row x destRows / visibleRows rounded half up. A band
// of rows [a, b) covers [BandEdge(a), BandEdge(b)): consecutive bands meet
// without a gap or an overlap whatever their height, and the last ends at
// destRows. 0 without rows.
int BandEdge(int row, int visibleRows, int destRows);

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
bool PreparePrintConversion(const PrintConversionSetup& setup, CPixelConversion& conversion,
                            int& messageId, std::string& reason);

// The printer profile remembered for a printer (section "PrinterICCProfile"
// of the main settings file, key = the printer's name, value = the file
// name of the profile): written by the job after a print through the
// chosen profile, read by the dialog to preselect it. The dialog writes
// through the same function.
bool StorePrinterProfileChoice(const std::string& printerName, const std::string& profilePath);
std::string LoadPrinterProfileChoice(const std::string& printerName);
