#pragma once
// CPrintImageDlg: prints the current image on one sheet. The user chooses
// the printer with its paper, paper source, orientation and copies, places
// and sizes the image on the page (fit to the paper, a ratio, a width and
// height, centred on the paper, on the printable area or anywhere, with an
// optional trimming), chooses the colour path and the printer's profile,
// and watches the page in the preview beside the settings.
//
// The layout's state and arithmetic are CPrintLayout's; the dialog feeds it
// what the user does and writes the controls and the preview from it. The
// print job is PrintImage (print/PrintJob.h).
//
// Every handler runs under the re-entrancy guard: it does nothing while
// another handler runs, and the update routines skip the control named by
// the guard, so a value being typed is never rewritten under the caret.
// The value 11017 (the preview) stands for a change made in the preview.
//
// Settings (the main settings file): "Print"/"DefaultPrinter", the last
// printer used, read when the dialog opens and written when it closes with
// a printer open; "PrinterICCProfile"/<printer name>, the profile last
// printed with on that printer (written by the job), which the profile
// list preselects.

#include "controls/dialogs/DataDialog.h"
#include "print/PrintLayout.h"

#include <QString>

#include <map>
#include <memory>
#include <string>
#include <vector>

class CRGBImage;
class CMyEdit;
class CPrinterSettings;
class CPrintPreviewCtrl;
class CSystemPrinters;
class CUpDown;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
struct LogColorSpace;

// The dialog's texts by number.
inline constexpr int kStrPrintRatioRange = 11066;   // ratio %.1f%% .. %.1f%%
inline constexpr int kStrPrintWidthRange = 11067;   // width %.1fmm .. %.1fmm
inline constexpr int kStrPrintHeightRange = 11068;  // height %.1fmm .. %.1fmm
inline constexpr int kStrPrintCopiesRange = 11069;  // copies %d .. %d
inline constexpr int kStrPrintOutsideArea = 11070;  // part is cut off; go on?
inline constexpr int kStrPrintNoPrinter = 11072;    // install a printer first
inline constexpr int kStrPrintFailed = 11079;       // printing failed
inline constexpr int kStrPrintNoProfile = 11084;    // choose the printer's profile
inline constexpr int kStrPrintNoUsablePrinter = 11085;
inline constexpr int kStrPrintUnusablePrinter = 11086;
// (11089, cancelled, is the project's kStrPrintCancelled.)

// The settings the dialog keeps.
inline constexpr const char* kPrintSection = "Print";
inline constexpr const char* kDefaultPrinterKey = "DefaultPrinter";

// What the checks before printing found: the message to show (0: print),
// its arguments, the control whose text is at fault (0: none), and whether
// the user is asked (11070) rather than told.
struct PrintSettingsProblem
{
    int messageId = 0;
    std::vector<std::string> args;
    int controlId = 0;
    bool question = false;
    bool operator==(const PrintSettingsProblem&) const = default;
};

// The values ValidatePrintSettings reads from the dialog's texts.
struct PrintSettingsInput
{
    double ratioPercent = 100.0; // the ratio text as a number
    int widthTenthMM = 0;        // the width and height texts x 10, truncated
    int heightTenthMM = 0;
    int copies = 1;
    int maxCopies = 1;
    bool printerProfilePath = false; // the colour path needs a chosen profile
    bool profileSelected = false;
    int leftTenthMM = 0; // the visible part's corner, from the left and top texts
    int topTenthMM = 0;
};

// The checks in their order: ratio, width, height, copies, the printer
// profile, and last the question whether to print a page that overhangs
// the printable area by more than 0.1 mm.
PrintSettingsProblem CheckPrintSettings(const PrintSettingsInput& input,
                                        const CPrintLayout& layout);

class CPrintImageDlg : public CDataDialog
{
    Q_OBJECT
public:
    // Control ids (the design's).
    enum : int
    {
        kIdPrinter = 11000,
        kIdProperties = 11001,
        kIdPaper = 11002,
        kIdPaperId = 11003,
        kIdBin = 11008,
        kIdPortrait = 11009,
        kIdLandscape = 11010,
        kIdBinId = 11011,
        kIdPaperSize = 11015,
        kIdPreview = 11017,
        kIdPrint = 11018,
        kIdPhysicalWidth = 11019, // .. 11024: physical, printable size, offsets
        kIdPhysicalHeight = 11020,
        kIdPrintableWidth = 11021,
        kIdPrintableHeight = 11022,
        kIdOffsetX = 11023,
        kIdOffsetY = 11024,
        kIdLeft = 11026,
        kIdTop = 11027,
        kIdRatio = 11028,
        kIdFit = 11029,
        kIdWidth = 11030,
        kIdHeight = 11031,
        kIdImageWidth = 11032,
        kIdImageHeight = 11033,
        kIdPrintWidthDots = 11034,
        kIdPrintHeightDots = 11035,
        kIdCopies = 11036,
        kIdCentreLines = 11037,
        kIdPrintableArea = 11038,
        kIdMaskOutside = 11039,
        kIdResolutionX = 11040,
        kIdResolutionY = 11041,
        kIdRatioSpin = 11042,
        kIdWidthSpin = 11043,
        kIdHeightSpin = 11044,
        kIdLeftSpin = 11045,
        kIdTopSpin = 11046,
        kIdCopiesSpin = 11047,
        kIdCentreOfPaper = 11050,
        kIdCentreOfPrintable = 11051,
        kIdCustomPosition = 11052,
        kIdTrackers = 11054,
        kIdIcmNone = 11058, // .. 11062
        kIdIcmMethod = 11063,
        kIdProfile = 11064,
        kIdPathInsideDC = 11208,
        kIdPathPrinterProfile = 11209,
        kIdProofMonitor = 11210,
        kIdGamutWarning = 11211,
        kIdProfileText = 11212,
        kIdPathNone = 11235,
        kIdColorGroup = 11236,
        kIdAssociatedOnly = 11237,
        kIdFitWhole = 11239,
        kIdFitFill = 11240,
        kIdTrimming = 11242,
        kIdScaleMode = 11254,
        kIdTrimMode = 11255,
        kIdShowTrimmed = 11256,
        kIdClose = 1,
    };
    static constexpr int kGuardIdle = -1;

    // The monitor profile's path, the print copy (16-bit) and its file
    // name, the print copy's colour space and the installed printers: the
    // two strings are copied, the rest is borrowed for the dialog's life.
    CPrintImageDlg(const std::string& monitorProfilePath, const CRGBImage& image,
                   const std::string& imageName, const LogColorSpace& colorSpace,
                   CSystemPrinters& printers, QWidget* parent = nullptr);
    ~CPrintImageDlg() override;

    // Initialises the dialog (OnInitDialog) and runs it. Without a printer
    // that opens it shows 11085 and returns kDialogCancel unshown.
    int exec() override;
    void done(int code) override;

    // ---- Initialisation and the printer (the design's operations)
    // False when the dialog must end at once (no printer opens).
    bool OnInitDialog();
    void OnPrinterOpened();
    void RefreshPrinterControls();
    void FillPrinterList();
    void FillPaperList();
    void FillBinList();
    void EnableColorControls(bool enable);
    void ShowICMMethod();
    void SelectSavedProfile();

    // ---- The layout's controls
    void UpdatePaperLayout();
    void UpdateSizeControls();
    void UpdatePosition();
    void UpdatePositionControls();
    void EnableSizeControls(bool enable);
    void EnablePositionControls(bool enable);

    // ---- Checks and printing
    // Shows the first problem (focus and selection to its edit) and says
    // whether printing goes on.
    bool ValidatePrintSettings();
    void OnPrint();

    // ---- State for the owner and tests
    CPrinterSettings& PrinterSettings() { return *m_printer; }
    const CPrintLayout& Layout() const { return m_layout; }
    CPrintPreviewCtrl* Preview() const { return m_preview; }
    const std::vector<std::string>& ProfilePaths() const { return m_profilePaths; }
    int Guard() const { return m_guard; }

private:
    // Runs a handler body under the re-entrancy guard.
    template <class F>
    void Guarded(int id, F&& body);

    void BuildControls();
    QWidget* MakeHidden(int id, const QString& text = {});
    CMyEdit* MakeEdit(int id, int spinId, CUpDown** spin);
    QRadioButton* MakeRadio(int id, const QString& text, QButtonGroup* group, int groupId);
    QCheckBox* MakeCheck(int id, const QString& text, bool checked);
    void SetHiddenInt(int id, int value);
    void SetHiddenHex(int id, int value);
    bool IsSkipped(int id) const { return m_guard == id; }
    void RepaintPreview();
    void SyncPreviewLayout();
    // The position radio from the layout's state.
    void ShowPositionMode();
    int GetMaxCopies();

    // ---- Handlers of the message map
    void onNotify(int message, int code, qint64 value);
    void OnSelchangePrinter();
    void OnProperties();
    void OnSelchangePaper();
    void OnSelchangeBin();
    void OnOrientation(bool landscape);
    void OnFit();
    void OnFitMode(PrintFitMode mode);
    void OnPositionMode(PrintPositionMode mode);
    void OnScaleMode();
    void OnTrimMode();
    void OnTrackers();
    void OnPreviewOption(int id);
    void OnTrimmingSettings();
    void OnIcmMethod(int method);
    void OnColorPath(int path);
    void OnAssociatedOnly();
    void OnSelchangeProfile();
    void OnRatioTyped();
    void OnSizeTyped(int id);
    void OnPositionTyped(int id);
    void OnCopiesTyped();
    void OnSpin(int id, int position);
    void OnFrameChanged(const PrintRectTenthMM& rect, int handle);
    void OnTrimmingChanged(const PrintMargins& pixelMargins);

    std::string m_monitorProfilePath;
    const CRGBImage& m_image;
    std::string m_imageName;
    const LogColorSpace& m_colorSpace;
    CSystemPrinters& m_printers;
    std::unique_ptr<CPrinterSettings> m_printer;
    CPrintLayout m_layout;
    int m_guard = kGuardIdle;
    std::vector<std::string> m_profilePaths;
    QString m_selectedProfileText; // 11212

    // Controls by id, and the ones the handlers use by name.
    std::map<int, QWidget*> m_controls;
    CPrintPreviewCtrl* m_preview = nullptr;
    QComboBox* m_printerCombo = nullptr;
    QComboBox* m_paperCombo = nullptr;
    QComboBox* m_binCombo = nullptr;
    QComboBox* m_profileCombo = nullptr;
    QLabel* m_paperSizeText = nullptr;
    CMyEdit* m_ratio = nullptr;
    CMyEdit* m_width = nullptr;
    CMyEdit* m_height = nullptr;
    CMyEdit* m_left = nullptr;
    CMyEdit* m_top = nullptr;
    CMyEdit* m_copies = nullptr;
    CUpDown* m_ratioSpin = nullptr;
    CUpDown* m_widthSpin = nullptr;
    CUpDown* m_heightSpin = nullptr;
    CUpDown* m_leftSpin = nullptr;
    CUpDown* m_topSpin = nullptr;
    CUpDown* m_copiesSpin = nullptr;
    QCheckBox* m_fit = nullptr;
    QCheckBox* m_trackers = nullptr;
    QCheckBox* m_associatedOnly = nullptr;
    QCheckBox* m_proofMonitor = nullptr;
    QGroupBox* m_colorGroup = nullptr;
    QButtonGroup* m_orientationGroup = nullptr;
    QButtonGroup* m_modeGroup = nullptr;
    QButtonGroup* m_fitModeGroup = nullptr;
    QButtonGroup* m_positionGroup = nullptr;
    QButtonGroup* m_pathGroup = nullptr;
    QButtonGroup* m_icmGroup = nullptr;
    QPushButton* m_trimButton = nullptr;
    QString m_caption;
};
