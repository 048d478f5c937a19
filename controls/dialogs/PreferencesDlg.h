#pragma once
// The preferences dialog (template 131, "環境設定") and the functions the
// shell calls around it.
//
// This edition shows three settings: the colour engine (check box 1305:
// conversions through LittleCMS, UseOsCmm = 1, or through the program's own
// tone tables and matrices, 0), the display to talk to over DDC/CI (list
// 1362) and whether the introduction screen is skipped (1405). The colour
// spaces, the sampling size, the outside converter and the RAW extensions
// keep their controls, created hidden, so that their values pass through
// the dialog unchanged; a hidden list without a selection leaves its value
// as it was.

#include "controls/dialogs/MonitorList.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Picks an existing file to open: (parent, title, start path, filter in
// QFileDialog's form) -> the chosen path, empty when the user cancelled.
using OpenFileChooser =
    std::function<QString(QWidget*, const QString&, const QString&, const QString&)>;
// Replaces the chooser (tests); an empty function puts QFileDialog back.
void SetOpenFileChooser(OpenFileChooser chooser);

class CNewProjectDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CNewProjectDlg(QWidget* parent = nullptr);

    // The working copy, set by the owner before exec() and read after OK.
    std::string INProfile;
    std::string WcsProfile;
    std::vector<std::string> RawExtensions;
    int InMode = 0;  // 0 working space, 1 INProfile, 2 profile of InFilePath
    int WcsMode = 0; // 0 WcsProfile, 1 profile of WcsFilePath
    std::string InFilePath;
    std::string WcsFilePath;
    int InProfileIndex = 0;
    int WcsProfileIndex = 0;
    int AverageSize = 1;
    std::string DNGConvPath;
    std::string ConverterVersion;
    std::string RawExtText;
    int UseOsCmm = 0;         // check box 1305
    bool OsCmmEnabled = true; // 1305 can be changed
    int DisplayIndex = 0;
    int SkipInitMsg = 0;
    IMonitorList* Monitor = nullptr; // not owned; may be null

    // Runs the dialog: 1 after OK, 2 after Cancel (0 when the dialog was
    // deleted while it ran).
    int exec() override;

    // The controls into the working copy and back. A list without a
    // selection leaves its value alone.
    bool readControls();
    void writeControls();
    // Enables the profile lists and file controls for the chosen modes,
    // takes the selected profile names, and enables OK exactly when the
    // choice can be used; returns that.
    bool UpdateControlStates();
    // The RAW extension text: "*" and each built-in extension joined by
    // ";", then ";*" and each of the user's.
    static std::string BuildRawExtText(const std::vector<std::string>& userExtensions);

    void accept() override;
    void reject() override;

private:
    void initDialog();
    void buildLayout();
    void buildHiddenControls();
    void onModeClicked();
    void onBrowseImage(bool input);
    void onBrowseConverter();
    void onEditRawExtensions();
    void onResetMessages();

    bool m_initialised = false;

    // Visible.
    QCheckBox* m_useOsCmm = nullptr;    // 1305
    QComboBox* m_display = nullptr;     // 1362
    QCheckBox* m_skipInitMsg = nullptr; // 1405
    QPushButton* m_ok = nullptr;        // 1
    QPushButton* m_cancel = nullptr;    // 2

    // Created hidden.
    QLabel* m_note = nullptr;                 // -1
    QButtonGroup* m_inModes = nullptr;        // 1166, 1167, 1168
    QComboBox* m_inProfiles = nullptr;        // 1169
    QLineEdit* m_inFile = nullptr;            // 1170
    QPushButton* m_inBrowse = nullptr;        // 1171
    QButtonGroup* m_wcsModes = nullptr;       // 1172, 1173
    QComboBox* m_wcsProfiles = nullptr;       // 1174
    QLineEdit* m_wcsFile = nullptr;           // 1175
    QPushButton* m_wcsBrowse = nullptr;       // 1176
    QComboBox* m_averageSize = nullptr;       // 1177
    QGroupBox* m_converterGroup = nullptr;    // 1259
    QLabel* m_converterLabel = nullptr;       // 1262
    QLineEdit* m_converterPath = nullptr;     // 1178
    QPushButton* m_converterBrowse = nullptr; // 1179
    QLabel* m_versionLabel = nullptr;         // 1260
    QLineEdit* m_version = nullptr;           // 1180
    QLabel* m_rawExtLabel = nullptr;          // 1265
    QLineEdit* m_rawExt = nullptr;            // 1264
    QPushButton* m_rawExtEdit = nullptr;      // 1181
    QPushButton* m_resetMessages = nullptr;   // 1206
    QLineEdit* m_lutFile = nullptr;           // 1321
    QPushButton* m_lutBrowse = nullptr;       // 1315
    QPushButton* m_lutClear = nullptr;        // 1314
};

// Runs the preferences for the process-wide record. ownPathUsable tells
// whether the program's own conversion can drive the monitor profile;
// without it the colour engine stays LittleCMS while it is LittleCMS (1305
// ticked and greyed). monitor may be null. refreshMonitorProfile is the
// main frame's refresh of its monitor conversion, called when the colour
// engine changed (it may itself set UseOsCmm back to 1, and that value is
// kept). 1 after OK, with the record, UseOsCmm and the monitor's selection
// updated; 0 after Cancel, with nothing changed.
int RunPreferencesDialog(QWidget* owner, bool ownPathUsable, IMonitorList* monitor,
                         const std::function<void()>& refreshMonitorProfile = {});
