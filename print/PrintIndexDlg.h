#pragma once
// CPrintIndexDlg: lays out and prints an index (a contact sheet) of the
// marked images of the list. The user chooses the printer with its paper,
// source and orientation; the grid (columns, rows, order, picture size);
// the captions, frames, title and page numbers; how the images are
// corrected; the colour path with the printer's profile; and whether all
// pages or only the one shown are printed. The preview shows the current
// page on a picture of the paper, drawn from the page model's cell cache
// and completed cell by cell as the cache worker finishes them.
//
// The page model is CIndexImage (print/IndexImage.h), the job PrintIndex
// (print/PrintIndexJob.h).
//
// Settings (the main settings file, section "Print"): "DefaultPrinter",
// "IndexColNum", "IndexRowNum" and "ParamFilePath", read when the dialog
// opens and written when it closes; "PrinterICCProfile"/<printer name> as
// the single-image dialog keeps it.

#include "controls/dialogs/DataDialog.h"
#include "core/Rect.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CIndexImage;
class CMyEdit;
class CPrinterSettings;
class CProjectManage;
class CSystemPrinters;
class CUpDown;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

// The page on a picture of the paper. The paper keeps its aspect and is
// fitted whole into the control (less 5 pixels a side) at the smaller of
// the two scales; the printable area sits on it at the printer's offset.
// The page itself is drawn into a buffer of the printable area's size by
// the owner's drawer, whenever the buffer is made anew, so the control
// never shows an empty page.
class CIndexPreviewCtrl : public QWidget
{
    Q_OBJECT
public:
    // Draws the whole current page into a target that starts at (0, 0).
    using PageDrawer = std::function<void(QPainter&, const CRect&)>;

    explicit CIndexPreviewCtrl(QWidget* parent = nullptr);

    void SetPageDrawer(PageDrawer drawer) { m_drawer = std::move(drawer); }
    // Paper, printable size and the printable area's offset, in any one
    // unit.
    void SetPaperLayout(int paperWidth, int paperHeight, int printableWidth, int printableHeight,
                        int offsetX, int offsetY);
    // The whole page drawn again, then shown.
    void RedrawPage();
    // Something drawn over the page as it stands (a cell that came in).
    void DrawOnPage(const PageDrawer& draw);

    const QRect& PaperRect() const { return m_paper; }
    const QRect& PrintableRect() const { return m_printable; }
    const QImage& PageBuffer() const { return m_page; }

    QSize sizeHint() const override { return {360, 480}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Relayout();

    PageDrawer m_drawer;
    int m_paperWidth = 0;
    int m_paperHeight = 0;
    int m_printableWidth = 0;
    int m_printableHeight = 0;
    int m_offsetX = 0;
    int m_offsetY = 0;
    QRect m_paper;
    QRect m_printable;
    QImage m_page;
};

class CPrintIndexDlg : public CDataDialog
{
    Q_OBJECT
public:
    enum : int
    {
        kIdPrinter = 11000,
        kIdProperties = 11001,
        kIdPaper = 11002,
        kIdBin = 11008,
        kIdPortrait = 11009,
        kIdLandscape = 11010,
        kIdPaperSize = 11015,
        kIdPathInsideDC = 11208,
        kIdPathPrinterProfile = 11209,
        kIdPrint = 11213,
        kIdAcross = 11214,
        kIdDown = 11215,
        kIdColumns = 11216,
        kIdRows = 11217,
        kIdFileName = 11218,
        kIdImageSize = 11220,
        kIdTitle = 11221,
        kIdTitleText = 11222,
        kIdPageNumber = 11223,
        kIdPrevious = 11224,
        kIdNext = 11225,
        kIdColumnsSpin = 11226,
        kIdRowsSpin = 11227,
        kIdPageLabel = 11228,
        kIdPreview = 11229,
        kIdSize = 11230,
        kIdAllPages = 11231,
        kIdCurrentPage = 11232,
        kIdFrame = 11233,
        kIdPathNone = 11235,
        kIdProfile = 11064,
        kIdAssociatedOnly = 11237,
        kIdCorrection = 1255,
        kIdParamFile = 1258,
        kIdBrowse = 1259,
        kIdClose = 1,
    };

    // The project, the installed printers (borrowed for the dialog's life)
    // and the owner window. The page model is made for the project.
    CPrintIndexDlg(CProjectManage& project, CSystemPrinters& printers, QWidget* parent = nullptr);
    ~CPrintIndexDlg() override;

    // Initialises the dialog (OnInitDialog) and runs it; kDialogCancel
    // unshown when no printer opens.
    int exec() override;
    // Stops the cache worker and keeps the settings.
    void done(int code) override;

    // False when the dialog must end at once.
    bool OnInitDialog();
    void OnPrinterChanged();
    void UpdatePaperLayout();
    void UpdatePageLabel();
    // A grid of 1..10; false (nothing changes) outside.
    bool SetColumns(int columns);
    bool SetRows(int rows);
    // The checks before printing; the first problem is shown and its
    // control gets the focus.
    bool ValidateSettings();
    void OnPrint();

    // Chooses the correction-parameter file (the open-file dialog; tests
    // put their own chooser in). Answers the chosen path, "" when none.
    using FileChooser = std::function<std::string(const std::string& current)>;
    void SetParamFileChooser(FileChooser chooser) { m_chooseParamFile = std::move(chooser); }

    CIndexImage& Index() { return *m_index; }
    CPrinterSettings& PrinterSettings() { return *m_printer; }
    CIndexPreviewCtrl* Preview() const { return m_preview; }
    const std::vector<std::string>& ProfilePaths() const { return m_profilePaths; }

private:
    void BuildControls();
    QRadioButton* MakeRadio(int id, const QString& text, QButtonGroup* group, int groupId);
    QCheckBox* MakeCheck(int id, const QString& text);
    CMyEdit* MakeGridEdit(int id, int spinId, CUpDown** spin);
    bool ChangeGrid(int value, bool columns);
    void ShowDevModeSettings();
    void SelectSavedProfile();
    void Redraw();
    void EnableProfileControls();
    void ShowParamFile();

    void onNotify(int message, int code, qint64 value);
    void OnSelchangePrinter();
    void OnProperties();
    void OnSelchangePaper();
    void OnSelchangeBin();
    void OnOrientation(bool landscape);
    void OnOrder(int order);
    void OnSize(int position);
    void OnFlag(int id, bool on);
    void OnTitleText();
    void OnPage(int step);
    void OnCorrectionMode(int mode);
    void OnBrowseParamFile();
    void OnCellReady(int entry);

    CProjectManage& m_project;
    CSystemPrinters& m_printers;
    std::unique_ptr<CPrinterSettings> m_printer;
    std::unique_ptr<CIndexImage> m_index;
    std::vector<std::string> m_profilePaths;
    FileChooser m_chooseParamFile;
    bool m_updating = false; // the dialog writes its own controls

    std::map<int, QWidget*> m_controls;
    CIndexPreviewCtrl* m_preview = nullptr;
    QComboBox* m_printerCombo = nullptr;
    QComboBox* m_paperCombo = nullptr;
    QComboBox* m_binCombo = nullptr;
    QComboBox* m_profileCombo = nullptr;
    QComboBox* m_correctionCombo = nullptr;
    QLabel* m_paperSizeText = nullptr;
    QLabel* m_pageLabel = nullptr;
    CMyEdit* m_columns = nullptr;
    CMyEdit* m_rows = nullptr;
    CUpDown* m_columnsSpin = nullptr;
    CUpDown* m_rowsSpin = nullptr;
    QSlider* m_size = nullptr;
    QLineEdit* m_titleText = nullptr;
    QLineEdit* m_paramFile = nullptr;
    QCheckBox* m_associatedOnly = nullptr;
    QPushButton* m_previous = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_print = nullptr;
    QPushButton* m_browse = nullptr;
    QButtonGroup* m_orientationGroup = nullptr;
    QButtonGroup* m_orderGroup = nullptr;
    QButtonGroup* m_rangeGroup = nullptr;
    QButtonGroup* m_pathGroup = nullptr;
};
