#pragma once
// CBatchView: the batch panel, index 8 of the main window's right pane. It
// collects the options of a batch over the list entries marked for
// processing (save folder, JPEG quality, correction mode with its
// parameter file, an optional output size), checks them, and hands the run
// to the project under the batch progress dialog; the project writes the
// results and the batch log and shows the log.
//
// The options start from the "BatchView" section of the settings (read at
// construction, never written; app/batch/BatchViewLogic.h has the fallbacks) and
// live in one BatchSettings record, which UpdateControls exchanges with the
// controls. The panel has no step document: undo, redo and reset do
// nothing here.

#include "app/batch/BatchViewLogic.h"
#include "app/panels/ViewCommon.h"

#include <QWidget>

#include <string>

class CEditEx;
class CUpDown;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Strings of the panel.
inline constexpr int kStrFolderPathTooLong = 2200; // "指定のフォルダのパスが長過ぎます"
inline constexpr int kStrSaveFolderMissing = 3035; // "保存フォルダが見つかりません。"

// The notify messages of the panel's own controls.
inline constexpr int UWM_BATCH_WIDTH_EDIT = 0x4D0;
inline constexpr int UWM_BATCH_HEIGHT_EDIT = 0x4D1;
inline constexpr int UWM_BATCH_WIDTH_SPIN = 0x4D2;
inline constexpr int UWM_BATCH_HEIGHT_SPIN = 0x4D3;

class CBatchView : public QWidget, public CViewCommon
{
    Q_OBJECT
public:
    explicit CBatchView(QWidget* parent = nullptr);
    ~CBatchView() override;

    // ---- CViewCommon
    // Processes the loaded image through every step, as the file list does.
    void OnEnterStep() override;
    // The file becomes the parameter file of the "specified parameters"
    // mode, which is selected.
    bool ImportParameters(const std::string& path) override;
    std::string GetSectionName() const override { return std::string(kBatchSection); }
    // The "BatchView" section over the current options ("fPreview" is not
    // read: the panel has no preview).
    void LoadSettings(const std::string& iniPath) override;

    // ---- Commands (the buttons' handlers)
    // Checks the options and runs the batch; nothing happens when a check
    // fails (the user is told) or there is no project.
    void RunBatch();
    void ChooseSaveFolder();
    void ChooseParameterFile();
    void EditJpegOptions();

    const BatchSettings& GetSettings() const { return m_settings; }
    int GetTargetCount() const { return m_targetCount; }

protected:
    bool readControls() override;
    void writeControls() override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void onControlNotify(int message, int code, qint64 value);
    // A control changed: the controls into the options and back.
    void Exchange();

    BatchSettings m_settings;
    int m_targetCount = 0;

    QLineEdit* m_countEdit = nullptr;       // 1033
    QLineEdit* m_folderEdit = nullptr;      // 1034
    QPushButton* m_folderButton = nullptr;  // 1035
    QComboBox* m_formatCombo = nullptr;     // 1036
    QPushButton* m_optionsButton = nullptr; // 1037
    QComboBox* m_modeCombo = nullptr;       // 1038
    QLineEdit* m_paramEdit = nullptr;       // 1039
    QPushButton* m_paramButton = nullptr;   // 1210
    QPushButton* m_runButton = nullptr;     // 1032
    QCheckBox* m_sizeCheck = nullptr;       // 1298
    QLabel* m_sizeLabel = nullptr;          // 1299
    QLabel* m_widthLabel = nullptr;         // 1300
    QLabel* m_heightLabel = nullptr;        // 1301
    CEditEx* m_widthEdit = nullptr;         // 1302
    CEditEx* m_heightEdit = nullptr;        // 1303
    CUpDown* m_widthSpin = nullptr;         // 1304
    CUpDown* m_heightSpin = nullptr;        // 1305
    QPushButton* m_backButton = nullptr;    // 1209
};
