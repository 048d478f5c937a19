#pragma once
// CFileView: the file-list panel, index 0 of the main window's right pane.
// It shows the project's image list in a CFileTableCtrl with the monitor
// profile's label and the image's information labels, and carries the
// list operations the main frame calls: a new list, opening and saving list
// files, loading an entry into the project, the save question before the
// window closes, the File commands' enable answers and the zoom choice.
//
// The panel is kept to what the frame needs; the buttons, combos, tool
// tips, thumbnails, full-screen view and slide show of the complete panel
// are not part of it.

#include "app/ViewCommon.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CColorProfile;
class CFileTableCtrl;
class CImageFileInfo;
class QLabel;

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

// The rows the table always has, filled or blank.
inline constexpr int kFileListMinimumRows = 40;

// The message of a failed load by the entry's load state: 2 -> 1013,
// 3 -> 1017, anything else 1014.
int LoadFailureMessage(int loadState);

class CFileView : public QWidget, public CViewCommon
{
    Q_OBJECT
public:
    // Chooses files: (caption-less dialog kind, start folder or path,
    // filter) -> the chosen paths, none on Cancel. Tests replace it.
    enum class FileDialogKind
    {
        OpenImages,     // one or several existing images
        OpenList,       // one existing list file
        SaveList,       // a list file to write
        SaveParameters, // a parameter file to write
    };
    using FileChooser = std::function<std::vector<std::string>(
        FileDialogKind kind, const std::string& start, const QString& filter)>;

    explicit CFileView(QWidget* parent = nullptr);
    ~CFileView() override;

    // ---- CViewCommon
    // Re-processes the loaded image up to the re-process step.
    void OnEnterStep() override;
    // Every step document takes the file's parameters; the image is
    // processed again.
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
    // failed (the user is told).
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
    // Before closing: asks to save a changed list. False = do not close.
    bool QuerySaveList();
    // The File commands' answers for command id - 32797: 0 and 1 (load
    // and save list) always, 43, 44, 47 (reset, import, export) while a
    // project is attached, nothing else.
    bool IsCommandEnabled(int index) const;
    // File > Open: the chosen images go to the frame's AddFiles.
    void OnFileOpen();
    // File > Open folder: the JPEG files of a folder (not its sub-folders).
    void OnFolderOpen();
    void OnLoadList();
    void OnSaveList();
    // Writes the corrected image and remembers folder, format and quality.
    void SaveImage(int format, int quality, const std::string& path);
    void ExportParameters();
    void ResetAllParameters();
    // The zoom choice, 0 = fit to the window, 1..12 the zoom table.
    int GetZoomIndex() const { return m_zoomIndex; }
    void SetZoomIndex(int index);
    // The step the image is processed up to when the panel is entered.
    void SetReprocessStep(int step) { m_reprocessStep = step; }
    int GetReprocessStep() const { return m_reprocessStep; }
    // The display-image cache pauses while the monitor profile changes.
    void SetCachePaused(bool paused) { m_cachePaused = paused; }
    bool IsCachePaused() const { return m_cachePaused; }
    // The full-screen view's image after a monitor change: there is no
    // full-screen view here yet, so nothing to refresh.
    void RefreshScreenImage() {}
    // The monitor-adjustment wizard does not exist yet: nothing happens.
    void RunMonitorWizard() {}
    // Where the frame's AddFiles is reached from OnFileOpen and
    // OnFolderOpen: (paths, whether a single path is also loaded).
    using AddFilesHandler = std::function<void(const std::vector<std::string>&, bool loadOne)>;
    void SetAddFilesHandler(AddFilesHandler handler)
    {
        m_addFiles = std::move(handler);
    }
    // The save-list question (CSaveAlartDlg by default): 6 save, 7 don't,
    // 2 cancel.
    void SetSaveQuestion(std::function<int(bool showConvertNote)> question)
    {
        m_saveQuestion = std::move(question);
    }
    void SetFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }

    // ---- Remembered for the frame's save command
    const std::string& GetSaveFolder() const { return m_saveFolder; }
    int GetSaveFormat() const { return m_saveFormat; }
    int GetJpegQuality() const { return m_jpegQuality; }

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
    const std::string& GetCurrentImagePath() const { return m_currentImagePath; }
    const std::string& GetCurrentListFile() const { return m_currentListFile; }

protected:
    void writeControls() override;

private:
    void onListNotify(int message, int code, qint64 value);
    // Loads the entry of a row with the project's current step (7 before
    // the first image).
    void ShowItem(int row);
    void UpdateSortMark();
    void FillListRows();
    // The working (colour-space) and sRGB profiles of the preferences;
    // both null when either cannot be opened.
    void LoadColorSpaceProfiles();
    // Save-as for the list file; true when written.
    bool SaveListAs();
    std::vector<std::string> Choose(FileDialogKind kind, const std::string& start,
                                    const QString& filter);

    CFileTableCtrl* m_list = nullptr;
    QLabel* m_imageLabel = nullptr;          // 1027
    QLabel* m_inputSpaceLabel = nullptr;     // 1028
    QLabel* m_displaySpaceLabel = nullptr;   // 1030
    QLabel* m_workingSpaceLabel = nullptr;   // 1319, hidden

    std::unique_ptr<CColorProfile> m_colorSpaceProfile;
    std::unique_ptr<CColorProfile> m_sRGBProfile;
    int m_reprocessStep = 7;
    std::string m_registerFolder; // "strResistPath"
    std::string m_saveFolder;     // "strSaveFilePath"
    int m_saveFormat = 0;         // "nSaveFormat"
    int m_jpegQuality = 2;        // "nJpegQuality"
    std::string m_listPath;       // "strListPath"
    std::string m_currentListFile;
    std::string m_currentImagePath;
    int m_zoomIndex = 0;
    int m_lutIndex = 0;
    bool m_cachePaused = false;
    AddFilesHandler m_addFiles;
    std::function<int(bool)> m_saveQuestion;
    FileChooser m_chooser;
};
