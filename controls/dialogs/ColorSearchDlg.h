#pragma once
// CColorSearchDlg: finds a colour by stepping around a start colour in
// lightness, chroma and hue (nine patches: the result in the middle, one
// step either way on each axis around it), by typing it in one of four
// units, or by three sliders. Every change of the result is reported to
// the owner: notify(message, 1, 0) while a candidate patch is held, (2, 0)
// after any other change; the owner reads GetResultColor() in its slot.
//
// The result is the base colour moved by the three offsets (see
// ColorSearchLogic.h). A move proposes a new base and new offsets; an
// owner's check function may refuse the candidate, and then the dialog
// beeps and neither moves.

#include "controls/dialogs/ColorSearchLogic.h"
#include "controls/dialogs/DataDialog.h"
#include "controls/support/ColorRef.h"
#include "controls/support/NotifyMessage.h"
#include "controls/widgets/TrackbarEvents.h"
#include "core/CIEColor.h"

#include <QTimer>

#include <array>
#include <functional>

class CColorConverter;
class CColorPatchCtrl;
class CColorValueText;
class CEditEx;
class CStaticTextEx;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

// Messages of the six candidate patches.
inline constexpr int UWM_COLORSEARCH_BRIGHTER = 0x7E8;
inline constexpr int UWM_COLORSEARCH_DARKER = 0x7E9;
inline constexpr int UWM_COLORSEARCH_MORE_VIVID = 0x7EA;
inline constexpr int UWM_COLORSEARCH_LESS_VIVID = 0x7EB;
inline constexpr int UWM_COLORSEARCH_HUE_PLUS = 0x7EC;
inline constexpr int UWM_COLORSEARCH_HUE_MINUS = 0x7ED;

class CColorSearchDlg : public CDataDialog, public NotifyMessageSupport<CColorSearchDlg>
{
    Q_OBJECT
public:
    // Notification codes.
    static constexpr int kHeld = 1;
    static constexpr int kChanged = 2;
    static constexpr int kSliderTimerMs = 500;

    using CheckFunction = std::function<bool(const CCIEXYZ&)>;

    explicit CColorSearchDlg(QWidget* parent = nullptr);

    // Set by the owner before exec().
    const CColorConverter* Converter = nullptr;
    CheckFunction Check; // accepts every colour when empty

    // Sets the start colour and the base colour.
    void SetStartColor(const CCIEXYZ& color);
    CCIEXYZ GetStartColor() const { return m_startColor; }
    CCIEXYZ GetBaseColor() const { return m_baseColor; }
    ColorSearchOffsets GetOffsets() const { return m_offsets; }
    // The base moved by the offsets.
    CCIEXYZ GetResultColor() const;

    int Step;                 // 1..10, from the process-wide value
    ColorSearchUnit Unit;     // from the process-wide value
    bool SliderTimer = false; // timer 1000 is running

    // Sets up the controls from the members and refreshes (2); reports.
    void writeControls() override;
    // Step and unit from their controls. Always true.
    bool readControls() override;

    // Proposes base and offsets; commits both when the check accepts the
    // candidate, else beeps. True when committed.
    bool TryMove(const CCIEXYZ& base, const ColorSearchOffsets& offsets);
    // Rewrites every control from the result and reports mode to the owner.
    void Refresh(int mode);

    // One tick of timer 1000 (public so that tests can drive it).
    void OnSliderTimer();

signals:
    void notify(int message, int code, qint64 value);

public slots:
    // OK makes the step and unit the process-wide ones.
    void accept() override;

private:
    CCIEXYZ White() const;
    void OnCandidate(int message, int code);
    void OnBack();
    void OnEditChange();
    void OnUnitChange(int index);
    void OnStepTrackbar(TrackbarCode code);
    void OnColorTrackbar(TrackbarCode code);
    void SetBaseFromSliders();
    void SetMarkColor(bool outside);

    bool m_busy = false;
    CCIEXYZ m_startColor;
    CCIEXYZ m_baseColor;
    ColorSearchOffsets m_offsets;

    CColorValueText* m_valueText;
    std::array<CColorPatchCtrl*, 9> m_patches{}; // 1152..1160
    std::array<CStaticTextEx*, 3> m_labels{};    // 1162..1164
    std::array<CEditEx*, 3> m_edits{};           // 1143..1145
    QComboBox* m_unitList;
    QSlider* m_lightnessSlider;
    QSlider* m_chromaSlider;
    QSlider* m_hueSlider;
    QSlider* m_stepSlider;
    QLabel* m_difference;
    QPushButton* m_backButton;
    QTimer m_sliderTimer;
};
