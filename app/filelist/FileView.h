#pragma once
// CFileView: the file-list panel, index 0 of the main window's right pane.
// It shows the project's image list in a CFileTableCtrl (at least 40 rows,
// blank ones below the entries), with the buttons that register and remove
// images, load and save list files, show an entry, step through the list,
// open the full-screen view and the slide show, the preferences, the about
// box, the manual and the monitor wizard; the combos of the thumbnail size,
// the preview's zoom and the entries' colour-conversion LUT; and the labels
// of the current image and the colour spaces.
//
// It also carries the list operations the main frame calls: a new list,
// opening and saving list files, loading an entry into the project, the
// save question before the window closes, the parameter file's import,
// export and reset, and the File commands' enable answers.
//
// Thumbnails: the table asks the panel for a row's picture while it paints;
// the panel answers from the reload thumbnail cache or asks its thumbnail
// loader (imagefile/LoadThumbnail.h) for one. The loader's thread hands
// each result back by a queued call to the panel's own thread
// (OnThumbnailReady), which moves the thumbnail into the cache, renames a
// camera RAW file's converted DNG beside it and repaints the row.
//
// Paths are compared exactly, byte for byte: two files whose names differ
// only in case are two files here.

#include "app/filelist/ScreenShow.h"
#include "app/panels/ViewCommon.h"

#include <QImage>
#include <QRect>
#include <QWidget>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class Clock;
}

class CColorProfile;
class CDisplay;
class CFileTableCtrl;
class CImageFileInfo;
class CLoadThumbnail;
class QComboBox;
class QLabel;
class QToolButton;

// Strings of the panel.
inline constexpr int kStrNoMonitorProfile = 1000;   // "指定なし"
inline constexpr int kStrNoMemory = 1013;           // "メモリ確保に失敗しました"
inline constexpr int kStrOpenFailed = 1014;         // "ファイルオープンに失敗しました"
inline constexpr int kStrConverterFailed = 1017;    // "DNG Converter がエラーを返しました"
inline constexpr int kStrListHasConverting = 1019;  // files still being converted are not listed
inline constexpr int kStrImageExtension = 2000;     // "tif"
inline constexpr int kStrListFileFilter = 2008;     // "リストファイル(*.cvl)|*.cvl||"
inline constexpr int kStrResetParameters = 2158;    // "補正パラメータをリセットしますか？"
inline constexpr int kStrColumnNumber = 2203;       // "NO."
inline constexpr int kStrColumnFileName = 2204;     // "ファイル名"
inline constexpr int kStrColumnPath = 2205;         // "パス"
inline constexpr int kStrColumnLut = 2206;          // "色補正"

// Tool tips of the panel's controls.
inline constexpr int kStrTipAdd = 3025;
inline constexpr int kStrTipDelete = 3026;
inline constexpr int kStrTipPreferences = 3027;
inline constexpr int kStrTipAbout = 3028;
inline constexpr int kStrTipShow = 3029;
inline constexpr int kStrTipNext = 3030;
inline constexpr int kStrTipPrevious = 3031;
inline constexpr int kStrTipFullScreen = 3032;
inline constexpr int kStrTipThumbnailSize = 3033;
inline constexpr int kStrTipZoom = 3011;
inline constexpr int kStrTipLoadList = 3044;
inline constexpr int kStrTipSaveList = 3045;
inline constexpr int kStrTipSlideShow = 3036;
inline constexpr int kStrTipLut = 3037;
inline constexpr int kStrTipHelp = 3056;
inline constexpr int kStrTipMonitorWizard = 3059;

// The add dialog's filter at start (1-based): the image filter of string
// 2004 that shows TIFF and JPEG files together.
inline constexpr int kImageFilterIndex = 3;

// The rows the table always has, filled or blank.
inline constexpr int kFileListMinimumRows = 40;
// The number column's width while the numbers fit it.
inline constexpr int kNumberColumnWidth = 40;

// The message of a failed load by the entry's load state: 2 -> 1013,
// 3 -> 1017, anything else 1014.
int LoadFailureMessage(int loadState);

// The settings of the "FileView" section, with their defaults and ranges:
// a number outside its range takes the default.
struct FileViewSettings
{
    int showThumbnail = 1; // "nShowThumbnail" 0..2
    std::string copyPath;     // "strCopyPath"
    std::string registerPath; // "strResistPath"
    std::string saveFolder;   // "strSaveFilePath"
    int saveFormat = 0;       // "nSaveFormat" 0..2
    int jpegQuality = 2;      // "nJpegQuality" 0..4
    std::string listPath;     // "strListPath"
};
// Reads the section; the folders default to the given ones.
FileViewSettings ReadFileViewSettings(const std::string& iniPath, const std::string& picturesFolder,
                                      const std::string& documentsFolder);
// Writes back only "nShowThumbnail", "strResistPath" and "strListPath".
void WriteFileViewSettings(const std::string& iniPath, const FileViewSettings& settings);

// The list's sort key for a column heading (0, 2, 3, 4 for the columns
// 0..3), -1 for any other column; and the column that shows a sort key's
// arrow, -1 for the key that no column shows (1, checked first).
int SortKeyOfColumn(int column);
int ColumnOfSortKey(int key);

// Where a camera RAW file's converted DNG goes: beside the converted file,
// named after the RAW file's title ("shot.nef" converted into
// "/dng/~t-tmp.dng" becomes "/dng/shot.dng"), made unique when that name
// exists.
std::string ConvertedDngName(const std::string& rawPath, const std::string& convertedFile);

class CFileView : public QWidget, public CViewCommon, public IScreenShowHost
{
    Q_OBJECT
public:
    // Chooses files: (dialog kind, start folder or path, filter) -> the
    // chosen paths, none on Cancel. Tests replace it.
    enum class FileDialogKind
    {
        OpenImages,     // one or several existing images
        OpenList,       // one existing list file
        SaveList,       // a list file to write
        SaveParameters, // a parameter file to write
        OpenFolder,     // an existing folder
    };
    using FileChooser = std::function<std::vector<std::string>(
        FileDialogKind kind, const std::string& start, const QString& filter)>;

    // What the panel asks of the main window (each may be left empty: the
    // panel then does the nearest thing on its own, or nothing).
    struct FrameHooks
    {
        // The preferences command (the frame's, with its monitor).
        std::function<void()> preferences;
        // The application's about box and manual.
        std::function<void()> about;
        std::function<void()> help;
        // The desktop rectangle of the monitor the frame selected; empty
        // for the primary screen.
        std::function<QRect()> monitorRect;
        // The monitor wizard's view of the frame: whether a monitor
        // answered over DDC/CI at start-up, the monitor object (none:
        // the wizard does nothing), and the display's profile now (the
        // first of the frame's display-profile list; empty: the display's
        // default in the association store).
        std::function<bool()> monitorAnswered;
        std::function<CDisplay*()> monitor;
        std::function<std::string()> displayProfile;
    };

    // The pause before the detail-mode wizard, in milliseconds.
    static constexpr int kWizardPauseMs = 1000;
    // How the panel pauses before the detail-mode wizard: by default a
    // local event loop ended by a timer, so the window keeps painting and
    // answering meanwhile. Tests replace it.
    using WizardPause = std::function<void(int ms)>;

    // The longest the panel waits for the thumbnail worker when it goes.
    static constexpr std::chrono::milliseconds kThumbnailStopLimit{2000};

    explicit CFileView(QWidget* parent = nullptr);
    ~CFileView() override;

    // ---- CViewCommon
    // The project's LUTs fill the LUT combo.
    void SetProject(CProjectManage* project) override;
    // Re-processes the loaded image up to the re-process step.
    void OnEnterStep() override;
    // Every step document takes the file's parameters (a file that cannot
    // be read is reported and changes nothing); the trimming is fitted to
    // the loaded image and the image is processed again.
    bool ImportParameters(const std::string& path) override;
    std::string GetSectionName() const override { return "FileView"; }
    void LoadSettings(const std::string& iniPath) override;
    void SaveSettings(const std::string& iniPath) override;

    // ---- What the main frame calls
    // The display colour-space label (the monitor profile's name).
    void SetProfileLabel(const QString& text);
    // An empty list with the colour spaces of the preferences.
    void NewList();
    // Opens a list file after the save question; a list that cannot be
    // opened leaves a new, empty one.
    void LoadList(const std::string& path);
    // Loads the entry into the project and processes it up to step
    // (nothing when it is the image already shown). False when the load
    // failed (the user is told, and no image is current any more).
    bool LoadImage(CImageFileInfo& entry, int step);
    // "なし" for LUT index 0 or past the project's LUTs, else that LUT's name.
    std::string GetCurrentLutName() const;
    // Sort mark, rows, then the data exchange both ways.
    void RefreshList();
    // The rows let go of their entries (their texts stay) before the
    // project's list changes under them: adding may move every entry, and
    // a new list deletes them, while the progress windows let the table
    // paint. RefreshList points them at the entries again.
    void DetachRows();
    // The current list file's name, empty for a new list.
    std::string GetListTitle() const;
    // Before closing: asks to save a changed list. False = do not close
    // (Cancel, or Save whose file dialog was cancelled or whose write
    // failed).
    bool QuerySaveList();
    // The File commands' answers for command id - 32797: 0 (load list) the
    // load button's state, 1 (save list) the save button's, 43, 44, 47
    // (reset, import, export) while a project is attached, nothing else.
    bool IsCommandEnabled(int index) const;
    // File > Open: the chosen images go to the frame's AddFiles.
    void OnFileOpen();
    // File > Open folder: the JPEG files of a folder (not its sub-folders).
    void OnFolderOpen();
    void OnLoadList();
    void OnSaveList();
    // Writes the corrected image and remembers folder, format and quality,
    // saved or not, for the next save. A failed save is told by the writer
    // (a cancel is not) and leaves the old file as it was.
    void SaveImage(int format, int quality, const std::string& path);
    void ExportParameters();
    void ResetAllParameters();
    // The zoom choice, 0 = fit to the window, 1..12 the zoom table.
    int GetZoomIndex() const { return m_zoomIndex; }
    // Sets the zoom choice and its combo and tells the frame (code 0).
    void SetZoomIndex(int index);
    // The step the image is processed up to when the panel is entered.
    void SetReprocessStep(int step) { m_reprocessStep = step; }
    int GetReprocessStep() const { return m_reprocessStep; }
    // The display-image cache pauses while the monitor profile changes.
    void SetCachePaused(bool paused);
    bool IsCachePaused() const;
    // The full-screen view's images after a monitor change.
    void RefreshScreenImage();
    // The monitor-adjustment wizard (button 1392 and the frame's start-up).
    // A monitor answered over DDC/CI at start-up (the frame's flag, not
    // the monitor's state now): the busy value 1, the pause, the
    // detail-mode wizard on the frame's monitor and the project's
    // converter, and the busy value 0 however the wizard ends. Else, for a
    // monitor with a model code, the manual mode; the busy value is left
    // alone there. While one runs, a second start does nothing.
    void RunMonitorWizard();
    void SetWizardPause(WizardPause pause) { m_wizardPause = std::move(pause); }
    // The clock of the detail-mode wizard's own pauses (null: the system's).
    void SetWizardClock(platform::Clock* clock) { m_wizardClock = clock; }
    bool IsWizardRunning() const { return m_wizardRunning; }
    // Where the frame's AddFiles is reached from OnFileOpen and
    // OnFolderOpen: (paths, whether a single path is also loaded).
    using AddFilesHandler = std::function<void(const std::vector<std::string>&, bool loadOne)>;
    void SetAddFilesHandler(AddFilesHandler handler) { m_addFiles = std::move(handler); }
    void SetFrameHooks(FrameHooks hooks) { m_hooks = std::move(hooks); }
    // The save-list question (CSaveAlartDlg by default): 6 save, 7 don't,
    // 2 cancel.
    void SetSaveQuestion(std::function<int(bool showConvertNote)> question)
    {
        m_saveQuestion = std::move(question);
    }
    void SetFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }

    // ---- The panel's buttons and combos (what their signals run)
    // Show (1000) loads the first selected row.
    void OnShow();
    // Delete (1001): the selected rows' entries leave the list.
    void OnDeleteFiles();
    void OnPreferences();
    void OnAbout();
    void OnHelp();
    void OnPrevious();
    void OnNext();
    void OnFullScreen();
    void OnSlideShow();
    void OnThumbnailSizeChanged();
    void OnZoomChanged();
    // The LUT of every selected entry becomes the combo's; a different
    // choice marks the list changed; the current image is shown through it.
    void OnLutChanged();
    // The table's notifications (codes 0..4, see controls/widgets/FileTableCtrl.h).
    void OnListNotify(int code, qint64 value);
    // Takes every finished thumbnail from the loader (the loader's ready
    // call arrives here on the panel's thread).
    void OnThumbnailReady();
    // A row's thumbnail for the table; a null image when there is none (yet:
    // the loader is asked for it).
    QImage GetThumbnail(int row);

    // ---- IScreenShowHost
    CProjectManage* ScreenProject() const override { return GetProject(); }
    QWidget* ScreenOwner() const override { return const_cast<CFileView*>(this); }
    std::vector<CImageFileInfo> ScreenEntries() const override;
    int ScreenFirstSelectedRow() const override;
    bool ScreenEnsureImageLoaded() override;
    QRect ScreenMonitorRect() const override;

    // ---- Remembered for the frame's save command
    const std::string& GetSaveFolder() const { return m_settings.saveFolder; }
    int GetSaveFormat() const { return m_settings.saveFormat; }
    int GetJpegQuality() const { return m_settings.jpegQuality; }
    const FileViewSettings& GetSettings() const { return m_settings; }

    // ---- The labels (the frame's UpdateTitle writes them)
    void SetImageText(const QString& text);
    void SetInputColorSpaceText(const QString& text);
    void SetDisplayColorSpaceText(const QString& text) { SetProfileLabel(text); }
    void SetWorkingColorSpaceText(const QString& text);
    QString GetImageText() const;
    QString GetInputColorSpaceText() const;
    QString GetDisplayColorSpaceText() const;
    QString GetWorkingColorSpaceText() const;

    CFileTableCtrl* GetListCtrl() const { return m_list; }
    CLoadThumbnail* GetThumbnailLoader() const { return m_thumbnailLoader.get(); }
    CScreenShow* GetScreenShow() const { return m_screenShow.get(); }
    const std::string& GetCurrentImagePath() const { return m_currentImagePath; }
    const std::string& GetCurrentListFile() const { return m_currentListFile; }
    int GetThumbnailSize() const { return m_settings.showThumbnail; }
    int GetLutIndex() const { return m_lutIndex; }

protected:
    bool readControls() override;
    void writeControls() override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void CreateControls();
    QToolButton* MakeButton(int id, int icon, int tip, const QString& text);
    // Loads the entry of a row with the project's current step (7 before
    // the first image).
    void ShowItem(int row);
    void UpdateSortMark();
    void FillListRows();
    // The entry of the project that a row shows, null for a blank row.
    CImageFileInfo* EntryOfRow(int row) const;
    // The row that shows the entry with this path, -1 when none does.
    int RowOfPath(const std::string& path) const;
    std::vector<int> SelectedRows() const;
    // The LUT combo shows the LUT of the entry's name (line 0 when the
    // project has no LUT of that name).
    void SelectLutOfEntry(const CImageFileInfo& entry);
    // The working (colour-space) and sRGB profiles of the preferences;
    // both null when either cannot be opened.
    void LoadColorSpaceProfiles();
    // Save-as for the list file; true when written.
    bool SaveListAs();
    // The thumbnail of the result goes into the reload cache; a converted
    // RAW file's DNG takes the entry's place. True when the result's files
    // were used.
    bool ApplyThumbnailResult(const std::string& path, const std::string& thumbnailFile,
                              const std::string& dngFile, int convertFailed);
    void StartThumbnailLoader();
    std::vector<std::string> Choose(FileDialogKind kind, const std::string& start,
                                    const QString& filter);
    void RunDetailModeWizard(CDisplay& monitor);
    void RunManualMode(CDisplay& monitor);

    CFileTableCtrl* m_list = nullptr;             // 1021
    QToolButton* m_showButton = nullptr;          // 1000
    QToolButton* m_addButton = nullptr;           // 1002
    QToolButton* m_deleteButton = nullptr;        // 1001
    QToolButton* m_loadButton = nullptr;          // 1014
    QToolButton* m_saveButton = nullptr;          // 1006
    QToolButton* m_helpButton = nullptr;          // 1389
    QToolButton* m_preferencesButton = nullptr;   // 1308
    QToolButton* m_aboutButton = nullptr;         // 1309
    QToolButton* m_wizardButton = nullptr;        // 1392
    QToolButton* m_nextButton = nullptr;          // 1314
    QToolButton* m_previousButton = nullptr;      // 1313
    QToolButton* m_fullScreenButton = nullptr;    // 1315
    QToolButton* m_slideShowButton = nullptr;     // 1320
    QComboBox* m_thumbnailCombo = nullptr;        // 1242
    QComboBox* m_zoomCombo = nullptr;             // 1022
    QComboBox* m_lutCombo = nullptr;              // 1322
    QLabel* m_imageLabel = nullptr;               // 1027
    QLabel* m_inputSpaceLabel = nullptr;          // 1028
    QLabel* m_displaySpaceLabel = nullptr;        // 1030
    QLabel* m_workingSpaceLabel = nullptr;        // 1319, hidden

    std::unique_ptr<CColorProfile> m_colorSpaceProfile;
    std::unique_ptr<CColorProfile> m_sRGBProfile;
    int m_reprocessStep = 7;
    FileViewSettings m_settings;
    std::string m_currentListFile;
    std::string m_currentImagePath;
    int m_zoomIndex = 0;
    int m_lutIndex = 0;
    std::unique_ptr<CLoadThumbnail> m_thumbnailLoader;
    // Thumbnails read from the cache, by source path: the table asks for
    // them on every paint.
    std::map<std::string, QImage> m_thumbnailImages;
    std::unique_ptr<CScreenShow> m_screenShow;
    AddFilesHandler m_addFiles;
    FrameHooks m_hooks;
    std::function<int(bool)> m_saveQuestion;
    FileChooser m_chooser;
    WizardPause m_wizardPause;
    platform::Clock* m_wizardClock = nullptr;
    bool m_wizardRunning = false;
};
