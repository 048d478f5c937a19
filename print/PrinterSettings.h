#pragma once
// The printers of the system over CUPS, and one printer opened read-only
// with the ticket of the job to be printed on it.
//
// The list holds the CUPS destinations in CUPS's order and always ends with
// the file printer kPdfPrinterName, so printing into a PDF file stays
// possible on a machine without any queue. Opening a printer copies the
// queue's defaults into a PrintTicket; nothing here ever writes the queue's
// defaults back: the ticket is applied to the job alone.

#include "correction/ProjectServices.h"
#include "print/PageGeometry.h"
#include "print/PrintTicket.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QPrinter;
class QWidget;

// The file printer at the end of every printer list.
inline constexpr const char* kPdfPrinterName = "PDF ファイル";

class CSystemPrinters : public ISystemPrinters
{
public:
    CSystemPrinters(); // enumerates (CUPS + the PDF printer)
    ~CSystemPrinters() override;

    bool EnumLocalPrinters();
    bool HasPrinters() const; // a real printer exists
    // True once, for the first dialog that asks, when no real printer
    // exists: the user hears of it once while this record lives (the
    // project keeps one for the whole run of the program).
    bool TakeNoPrinterNotice();
    const std::vector<std::string>& PrinterNames() const;
    const std::string& DefaultPrinterName() const; // "" when none
    // The tickets the dialogs kept per printer for this run.
    bool SaveDevMode(const std::string& name, const PrintTicket& ticket);
    const PrintTicket* FindSavedDevMode(const std::string& name) const;

private:
    std::vector<std::string> m_names;
    std::string m_defaultName;
    bool m_hasPrinters = false;
    bool m_noPrinterNoticed = false;
    std::map<std::string, PrintTicket> m_saved;
};

class CPrinterSettings
{
public:
    CPrinterSettings();
    ~CPrinterSettings();
    CPrinterSettings(const CPrinterSettings&) = delete;
    CPrinterSettings& operator=(const CPrinterSettings&) = delete;

    bool OpenPrinterDevMode(const std::string& name); // read-only; same name -> true, nothing reset
    bool IsOpen() const;
    bool IsPdfPrinter() const;
    const std::string& DeviceName() const;
    const PrintTicket& DevMode() const;
    bool SetDevMode(const PrintTicket& ticket);
    bool ShowProperties(QWidget* owner); // our own small dialog over the CUPS options

    const std::vector<std::pair<int, std::string>>& Papers() const;
    const std::vector<std::pair<int, std::string>>& Bins() const;
    void LoadPapers();
    void LoadPaperSizes();
    void LoadBins();
    bool ApplyDevMode(std::vector<std::pair<int, std::string>>& papers); // papers for the ticket (source), no queue change

    void SetPaperSize(int id);
    const std::string* SelectFirstPaper();
    const std::string* GetPaperName() const;
    bool SetPortrait();
    bool SetLandscape();
    void SetBin(int id);
    const std::string* GetBinName() const;
    int GetMaxCopies();
    bool SetCopies(int n);
    bool SetICMMethod(int m);

    // Null when none can be made. The job options carry the ticket's
    // source, paper and properties, and with the ICM method "none" (1) the
    // option that tells CUPS's filters not to manage colour again
    // (kCupsNoColorManagement).
    QPrinter* CreatePrinterDC();
    void SetOutputFile(const std::string& pdfPath); // PDF printer (and tests)
    const std::string& OutputFile() const;

    PageGeometry GetPageGeometry() const; // dots + dpi of the ticket's paper/orientation
    bool GetPhysicalSize(int& w, int& h);
    bool GetPhysicalSizeMM(int& w, int& h);
    bool GetPrintableSize(int& w, int& h);
    bool GetPrintableSizeMM(int& w, int& h);
    bool GetPhysicalOffset(int& x, int& y);
    bool GetPhysicalOffsetMM(int& x, int& y);
    bool GetLogPixels(int& x, int& y);
    bool DotsToTenthMM(int& x, int& y);
    bool TenthMMToDots(int& x, int& y);

    std::string AssociatedProfile() const; // the printer's own profile, "" when none

    // One page-geometry value by its device-capability index (the
    // kCaps... numbers below), computed from the ticket's paper,
    // orientation and resolution and kept until the ticket changes.
    bool GetDeviceCaps(int index, int& value);

    // The job options the properties dialog offers: those of print-quality,
    // media-type and print-color-mode that the destination supports, each
    // with its values (IPP keyword or enum number as text) and their names.
    struct JobOption
    {
        std::string name;
        std::vector<std::pair<std::string, std::string>> values; // value, shown name
        std::string defaultValue;
    };
    const std::vector<JobOption>& JobOptions() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The device-capability indices the geometry answers (their numbers are
// the ones the page layouts were written against).
inline constexpr int kCapsHorzRes = 8, kCapsVertRes = 10, kCapsLogPixelsX = 88,
                     kCapsLogPixelsY = 90, kCapsPhysicalWidth = 110, kCapsPhysicalHeight = 111,
                     kCapsPhysicalOffsetX = 112, kCapsPhysicalOffsetY = 113;

// The job option by which a job asks CUPS not to colour-manage it: the
// colour manager of cups-filters (cmGetCupsColorCalibrateMode) reads
// "cm-calibration", and its raster filters (pdftoraster, gstoraster, ...)
// then apply no printer profile. It is the only such switch the filters
// honour: print-color-mode and ColorModel choose colour or grey, not
// whether colour is managed.
inline constexpr const char* kCupsNoColorManagement = "cm-calibration";
inline constexpr int kIcmMethodNone = 1;

// The printer a dialog starts with: the saved name, else the system
// default, else the first printer that opens. Returns the index in
// printers.PrinterNames() or -1.
int OpenStartPrinter(CPrinterSettings& settings, const CSystemPrinters& printers,
                     const std::string& savedName);

// The output-class ('prtr') profiles of the colour directory, by file name.
std::vector<std::string> ListPrinterProfiles();
