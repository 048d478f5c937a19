#pragma once
// CManualModeDlg: the manual mode of the monitor adjustment, for one of the
// maker's monitors that cannot be driven over DDC/CI. The user adjusts the
// monitor with its own menu, led through the model's steps one by one (a
// picture and an instruction each, from the model data of
// monitor/MonitorModelData.h), then says which colour temperature was
// chosen on the monitor: one of the model's presets from a list, or a
// typed number when the model has no presets. Finish writes, installs and
// associates the matching monitor profile (monitor/MonitorProfile.h).
//
// Pages: steps 1..count show picture and text; page count + 1 is the final
// page, where the preset list or the temperature field takes the
// picture's place, Next reads "完了" and Cancel is disabled.
//
// exec() returns kDialogOk once a profile was written, kDialogCancel after a
// confirmed Cancel, and kDialogCancel at once (after message 3057) when the
// model has no data or no steps: the adjustment did not happen.

#include <QDialog>
#include <QString>

#include <string>

class CColorConverter;
class CEditEx;
// monitor/MonitorProfile.h (not included here: moc cannot read it).
enum class MonitorTemperatureMode;
class CImageCtrl;
class QComboBox;
class QLabel;
class QPushButton;

class CManualModeDlg : public QDialog
{
    Q_OBJECT
public:
    // Control numbers of template 275, the widgets' objectNames.
    static constexpr int kIdcCancel = 2;
    static constexpr int kIdcBack = 1314;
    static constexpr int kIdcNext = 1315;
    static constexpr int kIdcTemperature = 1321;
    static constexpr int kIdcPresets = 1362;
    static constexpr int kIdcText = 1390;
    static constexpr int kIdcPicture = 1391;

    // The temperature field's notify message (its reports are not acted on:
    // the field is read when the profile is written).
    static constexpr int UWM_MANUALMODE_CTRL = 0x9DC;

    // The temperature the field shows first when the model has no presets.
    static constexpr int kInitialKelvin = 6500;

    CManualModeDlg(int modelCode, const QString& deviceId, const QString& adapterName,
                   QWidget* parent = nullptr);
    ~CManualModeDlg() override;

    // ---- Set by the caller before exec()
    // The project's colour converter, through which the step pictures are
    // shown (not owned; none: the pictures keep their own values).
    void SetConverter(const CColorConverter* converter) { m_converter = converter; }
    const CColorConverter* Converter() const { return m_converter; }
    // The program data folder the model data is read from (empty: the
    // installed one).
    void SetProgramFolder(std::string folder) { m_programFolder = std::move(folder); }
    // The display's profile before the adjustment (the first of the main
    // window's display-profile list), taken off the display once the new
    // one is on; empty: the display's default in the association store.
    void SetPreviousProfile(std::string name) { m_previousProfile = std::move(name); }

    // Initialises the dialog (model data, presets, first step) and runs
    // it; see the top of the file for the codes.
    int exec() override;

    // ---- State, for the owner and the tests
    int ModelCode() const { return m_modelCode; }
    const QString& DeviceID() const { return m_deviceId; }
    const QString& AdapterName() const { return m_adapterName; }
    // The page shown: 1..count the steps, count + 1 the final page.
    int CurrentStep() const { return m_step; }
    int StepCount() const { return m_stepCount; }
    MonitorTemperatureMode TemperatureMode() const { return m_mode; }
    int LowestTemperature() const { return m_lowest; }
    int HighestTemperature() const { return m_highest; }
    // The instruction shown in 1390.
    const QString& Text() const { return m_text; }
    // The profile written by Finish (its path in the colour directory).
    const std::string& ProfilePath() const { return m_profilePath; }

    // "Settings"/"Count" of the model ini; -1 when the model folder is
    // missing or the key is absent.
    int GetStepCount() const;

    // ---- The buttons
    void OnNext();
    void OnBack();
    // Cancel, Esc and the close box: the question 3048, Yes ends the
    // dialog. Nothing while Cancel is disabled (the final page).
    void reject() override;

private:
    // Model data, presets and the first step; false (after message 3057)
    // when the model has no data or no steps.
    bool OnInitDialog();
    // Picture and text of the current step.
    void ShowStep();
    // The preset list from the model's presets, or the temperature field
    // with the model's range when it has none.
    void LoadColorPresets();
    // Writes the profile of the chosen temperature; every refusal is shown
    // with its message and keeps the dialog on the final page.
    bool CreateMonitorProfile();
    bool IsFinalPage() const { return m_step == m_stepCount + 1; }
    // The final page's controls in place of the picture, or back.
    void ShowFinalControls(bool shown);
    void writeControls();

    int m_modelCode;
    QString m_deviceId;
    QString m_adapterName;
    const CColorConverter* m_converter = nullptr;
    std::string m_programFolder;
    std::string m_previousProfile;
    std::string m_profilePath;

    int m_step = 1;
    int m_stepCount = 0;
    QString m_text;
    MonitorTemperatureMode m_mode; // Preset until the model says otherwise
    int m_lowest = 2600;
    int m_highest = 10000;
    bool m_initialised = false;

    QLabel* m_textLabel = nullptr;         // 1390
    CImageCtrl* m_picture = nullptr;       // 1391
    QComboBox* m_presets = nullptr;        // 1362
    CEditEx* m_temperature = nullptr;      // 1321
    QPushButton* m_backButton = nullptr;   // 1314
    QPushButton* m_nextButton = nullptr;   // 1315
    QPushButton* m_cancelButton = nullptr; // 2
};
