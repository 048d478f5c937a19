#pragma once
// The first four pages of the detail-mode wizard: setting up the printed
// chart, the room light (which initialises the monitor and chooses its
// colour preset), matching the brightness, and the confirmation that either
// ends the wizard or goes on to the finer white adjustment.

#include "monitor/BrightnessSlider.h"
#include "monitor/DetailModePageKit.h"
#include "monitor/DetailModeSheet.h"

#include <cstdint>
#include <string>

class CImageCtrl;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;

// Control numbers of the pages (the widgets' objectNames).
inline constexpr int kIdcChartSetupTitle = 1365;
inline constexpr int kIdcChartSetupNote = 1363;
inline constexpr int kIdcSkipSetup = 1315;
inline constexpr int kIdcRadioFirst = 1338;  // 5000 K / before adjustment
inline constexpr int kIdcRadioSecond = 1339; // 6500 K / after adjustment
inline constexpr int kIdcRoomLightTitle = 1366;
inline constexpr int kIdcRoomLightFirstNote = 1367;
inline constexpr int kIdcRoomLightSecondNote = 1368;
inline constexpr int kIdcRoomLightHint = 1369;
inline constexpr int kIdcRoomLightChart = 1345;
inline constexpr int kIdcBrightnessTitle = 1370;
inline constexpr int kIdcBrightnessLevel = 1348;
inline constexpr int kIdcBrightnessChart = 1347;
inline constexpr int kIdcBrightnessBar = 1342;
inline constexpr int kIdcConfirmTitle = 1378;
inline constexpr int kIdcConfirmYes = 1379;
inline constexpr int kIdcConfirmNo = 1380;
inline constexpr int kIdcConfirmFiner = 1384;
inline constexpr int kIdcFinerSetting = 1383;
inline constexpr int kIdcConfirmChart = 1381;

// Page 2's timer that notices a change of the monitor profile.
inline constexpr int kProfileWatchTimerId = 553;
inline constexpr int kProfileWatchIntervalMs = 500;

// The colour presets the room light chooses (VCP 14h values).
inline constexpr int kPreset5000K = 4;
inline constexpr int kPreset6500K = 5;

class CDetailModePage1 : public CDetailModePage
{
public:
    explicit CDetailModePage1(CDetailModeSheet& sheet);

    void OnInitDialog() override;
    bool OnSetActive() override;
    // The skip button: straight to the way of fine adjustment.
    void OnSkip();

private:
    QLabel* m_title = nullptr;
    QLabel* m_note = nullptr;
};

class CDetailModePage2 : public CDetailModePage
{
public:
    explicit CDetailModePage2(CDetailModeSheet& sheet);
    ~CDetailModePage2() override;

    void OnInitDialog() override;
    bool OnSetActive() override;
    bool OnKillActive() override;
    // A radio clicked: 4 for the 5000 K light, 5 for 6500 K.
    void ChoosePreset(int preset);
    // Timer 553: the chart again when the monitor profile changed.
    void OnProfileWatch();

    int RoomLight() const { return m_roomLight; }
    CImageCtrl* Chart() const { return m_chart; }
    QTimer* ProfileWatch() const { return m_timer; }

private:
    void InitializeMonitor();
    void DrawChart();

    int m_roomLight = 0;
    std::string m_profileName;
    QRadioButton* m_first = nullptr;
    QRadioButton* m_second = nullptr;
    CImageCtrl* m_chart = nullptr;
    QTimer* m_timer = nullptr;
};

class CDetailModePage3 : public CDetailModePage
{
public:
    explicit CDetailModePage3(CDetailModeSheet& sheet);

    void OnInitDialog() override;
    bool OnSetActive() override;
    // The bar moved to `position` (the top is bright).
    void OnBarMoved(int position) { m_brightness.Move(position); }

    const CBrightnessSlider& Slider() const { return m_brightness.Slider(); }
    QSlider* Bar() const { return m_brightness.Bar(); }
    QLabel* LevelText() const { return m_brightness.LevelText(); }
    CImageCtrl* Chart() const { return m_chart; }

private:
    CBrightnessBar m_brightness;
    CImageCtrl* m_chart = nullptr;
};

class CDetailModePage3_5 : public CDetailModePage
{
public:
    explicit CDetailModePage3_5(CDetailModeSheet& sheet);

    void OnInitDialog() override;
    bool OnSetActive() override;
    bool OnWizardFinish() override;
    // Writes what the wizard set (preset or gains, luminance, contrast).
    void ApplyAdjustment();
    // The button for the finer setting: applies, then the way of fine
    // adjustment.
    void OnFinerSetting();

    int BeforeAfter() const { return m_beforeAfter; }

    // What OnSetActive read, to be applied.
    struct Values
    {
        std::uint16_t luminance = 0;
        std::uint16_t contrast = 0;
        std::uint16_t red = 255;
        std::uint16_t green = 255;
        std::uint16_t blue = 255;
        bool luminanceRead = false;
        bool contrastRead = false;
        bool redRead = false;
        bool greenRead = false;
        bool blueRead = false;
    };
    const Values& ToApply() const { return m_apply; }

private:
    int m_beforeAfter = 1;
    Values m_apply;
    QRadioButton* m_before = nullptr;
    QRadioButton* m_after = nullptr;
    CImageCtrl* m_chart = nullptr;
};

// Shows a chart picture of the program's data on `control` for the sheet's
// converter and the chart white (the pages of the wizard share it).
bool ShowChartPicture(CImageCtrl& control, const CDetailModeSheet& sheet, const QString& name);
