#pragma once
// The last four pages of the detail-mode wizard: the choice of how to move
// the monitor's white (page 4), the nine candidate pictures (page 5), the
// chromaticity diagram (page 6), and the last confirmation that applies the
// adjustment and has the monitor store it (page 7).

#include "monitor/BrightnessSlider.h"
#include "monitor/DetailModePageKit.h"
#include "monitor/DetailModeSheet.h"
#include "monitor/WhiteAdjustLogic.h"

#include <QMargins>
#include <QSize>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class CCIExyCtrl;
class CImageCtrl;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

// Control numbers of the pages (the widgets' objectNames).
inline constexpr int kIdcWhiteTitle = 1371;
inline constexpr int kIdcMethodDiagram = 1338;  // page 4: "直接調整する"
inline constexpr int kIdcMethodPictures = 1339; // page 4: "画像を確認しながら調整する"
inline constexpr int kIdcBeforeAdjustment = 1338; // page 7
inline constexpr int kIdcAfterAdjustment = 1339;  // page 7
inline constexpr int kIdcPicturesReset = 1361;
inline constexpr int kIdcPicturesBar = 1398;
inline constexpr int kIdcPicturesLevel = 1399;
inline constexpr int kIdcDiagramChart = 1358;
inline constexpr int kIdcDiagram = 1360;
inline constexpr int kIdcDiagramBar = 1341;
inline constexpr int kIdcDiagramLevel = 1385;
inline constexpr int kIdcGainRed = 1386;
inline constexpr int kIdcGainGreen = 1387;
inline constexpr int kIdcGainBlue = 1388;
inline constexpr int kIdcDiagramReset = 1315;
inline constexpr int kIdcDiagramOnly = 1314;
inline constexpr int kIdcLastChart = 1359;

// Page 4: pictures or diagram.
class CDetailModePage4 : public CDetailModePage
{
public:
    explicit CDetailModePage4(CDetailModeSheet& sheet);

    void OnInitDialog() override;
    bool OnSetActive() override;
    int OnWizardNext() override;
    int OnWizardBack() override;

    // 0 the diagram, 1 the pictures.
    int Method() const;

private:
    QRadioButton* m_diagram = nullptr;
    QRadioButton* m_pictures = nullptr;
};

// Page 5: the candidate pictures.
class CDetailModePage5 : public CDetailModePage
{
public:
    explicit CDetailModePage5(CDetailModeSheet& sheet);

    void OnInitDialog() override;
    bool OnSetActive() override;
    int OnWizardNext() override;
    int OnWizardBack() override;

    // A click on picture `cell` (0..8, row by row; the centre does
    // nothing).
    void OnPicture(int cell);
    // Button 1361.
    void OnReset();

    WhiteXy Target() const { return m_target; }
    void SetTarget(WhiteXy target) { m_target = target; }
    const WhiteGainRanges& Gains() const { return m_gains; }
    WhiteGainStatus LastStatus() const { return m_status; }
    CImageCtrl* Picture(int cell) const { return m_pictures[static_cast<std::size_t>(cell)]; }
    CBrightnessBar& Brightness() { return *m_brightness; }
    QLabel* StatusText() const { return m_statusText; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadCandidateImages();
    void ApplyTarget();
    void ShowStatus();

    WhiteXy m_target;
    WhiteGainRanges m_gains;
    WhiteGainStatus m_status = WhiteGainStatus::Written;
    std::array<CImageCtrl*, kCandidateCount> m_pictures{};
    std::unique_ptr<CBrightnessBar> m_brightness;
    QLabel* m_statusText = nullptr;
};

// Page 6: the chromaticity diagram.
class CDetailModePage6 : public CDetailModePage
{
public:
    explicit CDetailModePage6(CDetailModeSheet& sheet);
    // Stores the point-set flag, and the diagram's point when the page was
    // shown.
    ~CDetailModePage6() override;

    void OnInitDialog() override;
    bool OnSetActive() override;
    int OnWizardNext() override;
    int OnWizardBack() override;
    bool HandleWizardKey(QKeyEvent* event) override;
    void OnRoomLightChosen() override { m_pointSet = 0; }

    // The diagram reported its point (a click, or Enter).
    void OnPointChanged(double x, double y);
    // Button 1315.
    void OnReset();
    // Button 1314: the diagram alone, or everything again.
    void OnDiagramOnly();
    // Movable and reference point := the room light's white, unless a point
    // was confirmed.
    void SeedPoint();

    int PointSet() const { return m_pointSet; }
    bool HasPoint() const { return m_hasPoint; }
    bool DiagramOnly() const { return m_diagramOnly; }
    CCIExyCtrl* Diagram() const { return m_diagram; }
    CImageCtrl* Chart() const { return m_chart; }
    const WhiteGainRanges& Gains() const { return m_gains; }
    WhiteGainStatus LastStatus() const { return m_status; }
    CBrightnessBar& Brightness() { return *m_brightness; }
    QLabel* StatusText() const { return m_statusText; }
    QPushButton* DiagramOnlyButton() const { return m_diagramOnlyButton; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowGains(const std::array<std::uint16_t, 3>& gains);
    void ShowStatus();
    void SaveSettings(bool withPoint);

    int m_pointSet = 0;
    bool m_hasPoint = false;
    bool m_diagramOnly = false;
    // What the diagram-only view changes, to be given back.
    QSize m_sizeBeforeDiagramOnly;
    QMargins m_marginsWithOthers;
    WhiteGainRanges m_gains;
    WhiteGainStatus m_status = WhiteGainStatus::Written;
    CCIExyCtrl* m_diagram = nullptr;
    CImageCtrl* m_chart = nullptr;
    std::unique_ptr<CBrightnessBar> m_brightness;
    std::array<QLabel*, 3> m_gainTexts{};
    QLabel* m_statusText = nullptr;
    QPushButton* m_diagramOnlyButton = nullptr;
    QWidget* m_others = nullptr; // everything but the diagram and its button
};

// Page 7: the last confirmation.
class CDetailModePage7 : public CDetailModePage
{
public:
    explicit CDetailModePage7(CDetailModeSheet& sheet);

    void OnInitDialog() override;
    bool OnSetActive() override;
    int OnWizardBack() override;
    bool OnWizardFinish() override;
    // Writes the adjusted state: preset, gains, luminance, contrast.
    void ApplyAdjustment();

    // What OnSetActive read, to be applied; a value whose read failed is
    // not written.
    struct Values
    {
        std::optional<std::uint16_t> luminance;
        std::optional<std::uint16_t> contrast;
        std::array<std::optional<std::uint16_t>, 3> gains;
    };
    const Values& ToApply() const { return m_values; }
    QRadioButton* BeforeButton() const { return m_before; }
    QRadioButton* AfterButton() const { return m_after; }

private:
    Values m_values;
    CImageCtrl* m_chart = nullptr;
    QRadioButton* m_before = nullptr;
    QRadioButton* m_after = nullptr;
};
