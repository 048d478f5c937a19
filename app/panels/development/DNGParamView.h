#pragma once
// CDNGParamView: the step panel of the RAW development (stack index 1,
// document slot 1). White balance as shot or by colour temperature and
// tint, exposure and black level, each as an edit, an arrow pair and a
// slider; an RGB histogram of the developed preview; a white-balance
// picker that takes a neutral colour from the image (shown only when the
// step is entered with Alt, Ctrl and Shift held).
//
// While the document's AsShot is set the temperature and tint show the
// image's own white balance; any change of either switches AsShot off.
// Every change follows the panel edit pattern: one undo state per edit,
// per slider drag or per run of arrow steps, then controls into the
// document, the document back into the controls, and the preview.
// The position <-> value mappings are in DNGParamViewLogic.h.

#include "app/panels/StepView.h"
#include "correction/DNGParamDoc.h"

class CEditEx;
class CMultiSlider;
class CRGBHistogramCtrl;
class CUpDown;
class IKeyState;
class QLabel;
class QToolButton;

// Notify messages of the panel's controls.
inline constexpr int UWM_DNGPARAM_TEMPERATURE_EDIT = 0x4C8;
inline constexpr int UWM_DNGPARAM_TINT_EDIT = 0x4C9;
inline constexpr int UWM_DNGPARAM_EXPOSURE_EDIT = 0x4CA;
inline constexpr int UWM_DNGPARAM_BLACKLEVEL_EDIT = 0x4CB;
inline constexpr int UWM_DNGPARAM_HISTOGRAM = 0x4CC;
inline constexpr int UWM_DNGPARAM_TEMPERATURE_SLIDER = 0x4CD;
inline constexpr int UWM_DNGPARAM_TINT_SLIDER = 0x4CE;
inline constexpr int UWM_DNGPARAM_EXPOSURE_SLIDER = 0x4CF;
inline constexpr int UWM_DNGPARAM_BLACKLEVEL_SLIDER = 0x4D0;

class CDNGParamView : public CStepView
{
    Q_OBJECT
public:
    // The four values the panel edits, in the order of its rows.
    enum Row
    {
        kTemperature = 0,
        kTint = 1,
        kExposure = 2,
        kBlackLevel = 3,
        kRowCount = 4,
    };

    static constexpr int kPickerIconId = 194;
    static constexpr int kStrPickerTip = 3017; // "ホワイトバランス"

    explicit CDNGParamView(QWidget* parent = nullptr);
    ~CDNGParamView() override;

    // ---- CViewCommon
    std::string GetSectionName() const override { return "DNGParamView"; }
    void OnEnterStep() override;
    void OnLeaveStep(bool commit) override;
    void ApplyDocument() override;

    // ---- IColorPickTarget
    // The picked white becomes the white balance (picker on only); a
    // sample too dark or without a colour temperature beeps.
    void PickWhiteBalance(const CCIEXYZ& white) override;
    // Marks the sample's R, G, B and lightness on the histogram.
    void ShowSampleOnHistogram(double lightness, const RGB16& pixel) override;

    CDNGParamDoc& Document() { return static_cast<CDNGParamDoc&>(*m_document); }
    bool IsAsShot() const { return m_asShot != 0; }

    // The keyboard asked on entering (the system's unless a test sets one).
    void SetKeyState(const IKeyState* keys);

    // The controls, for the frame's tests and the panel's own.
    CEditEx* Edit(Row row) const { return m_edits[row]; }
    CUpDown* Arrows(Row row) const { return m_arrows[row]; }
    CMultiSlider* Slider(Row row) const { return m_sliders[row]; }
    CRGBHistogramCtrl* Histogram() const { return m_histogram; }
    QLabel* LevelText() const { return m_levelText; }
    QToolButton* Picker() const { return m_picker; }

protected:
    bool readControls() override;
    void writeControls() override;
    void OnPreviewToggled(bool on) override;

private:
    void OnNotify(int message, int code, qint64 value);
    void OnEditChanged(Row row);
    void OnSlider(Row row, int code);
    void OnArrows(Row row, int code, int position);
    void OnPicker(bool on);
    // The value of a row as the edit shows it (exposure in hundredths).
    int ShownValue(Row row) const;
    // The temperature field's value as a commit takes it (clamped to the
    // field's range, then to the nearest 50 K), written back quietly.
    int CommittedTemperature();
    // Writes a value into a row's edit without the edit reporting it.
    void ShowValue(Row row, int value);
    // The four histograms of the developed preview; the marker off.
    void RefreshHistogram();
    void SwitchPickerOff();

    CEditEx* m_edits[kRowCount] = {};
    CUpDown* m_arrows[kRowCount] = {};
    CMultiSlider* m_sliders[kRowCount] = {};
    CRGBHistogramCtrl* m_histogram = nullptr;
    QLabel* m_levelText = nullptr;
    QToolButton* m_picker = nullptr;
    const IKeyState* m_keys;
    int m_asShot = 1;
    // Where each row's arrows stood before their last step, so that a step
    // knows its direction.
    int m_arrowPositions[kRowCount] = {};
};
