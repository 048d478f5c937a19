#pragma once
// CColorCalibView: the panel of the colour-tone step, stack index 5,
// editing the project's colour-tone document (slot 5). Two modes:
//   - balance: a colour cast (offset and direction, on two sliders and
//     their edits) and a ring of twelve hue points turned by a hue and
//     scaled by a chroma (dragged on the colour circle or typed);
//   - detailed correction: 3 to 24 hue points spread from a phase, each
//     with its own corrected hue and chroma, dragged on the circle or
//     typed by number. A point keeps its place in the order round the
//     circle (ColorCalibViewLogic.h).
// While the white-balance button is down the frame shows the uncorrected
// image, and a colour picked on it sets the balance that makes it neutral.
//
// Every control reports to one slot, which dispatches on the control's
// message number. Drags (circle, sliders, up-downs) save one undo state on
// their first change and apply the document to the preview when they end;
// a committed edit saves one when it changes the document.

#include "app/panels/StepView.h"

#include <vector>

class CColorCalibDoc;
struct CColorCalibData;
class CColorCircleCtrl;
class CEditEx;
class CMultiSlider;
class CUpDown;
class QCheckBox;
class QPushButton;
class QToolButton;

namespace colorcalib {
struct MeasuredPair;
}

// Notify messages of the panel's controls.
inline constexpr int UWM_COLORCALIB_CIRCLE = 0x658;
inline constexpr int UWM_COLORCALIB_SLIDER_A = 0x659; // offset
inline constexpr int UWM_COLORCALIB_SLIDER_B = 0x65A; // direction
inline constexpr int UWM_COLORCALIB_OFFSET_EDIT = 0x65B;
inline constexpr int UWM_COLORCALIB_DIRECTION_EDIT = 0x65C;
inline constexpr int UWM_COLORCALIB_HUE_EDIT = 0x65D;
inline constexpr int UWM_COLORCALIB_CHROMA_EDIT = 0x65E;
inline constexpr int UWM_COLORCALIB_HUECOUNT_EDIT = 0x65F;
inline constexpr int UWM_COLORCALIB_PHASE_EDIT = 0x660;
inline constexpr int UWM_COLORCALIB_POINTNO_EDIT = 0x661;
inline constexpr int UWM_COLORCALIB_POINTHUE_EDIT = 0x662;
inline constexpr int UWM_COLORCALIB_POINTCHROMA_EDIT = 0x663;

class CColorCalibView : public CStepView
{
    Q_OBJECT
public:
    // Control IDs (object names).
    static constexpr int kIdCircle = 1075;
    static constexpr int kIdDirectionSlider = 1076;
    static constexpr int kIdOffsetSlider = 1077;
    static constexpr int kIdOffset = 1081;
    static constexpr int kIdDirection = 1082;
    static constexpr int kIdHue = 1084;
    static constexpr int kIdChroma = 1098;
    static constexpr int kIdHueCount = 1088;
    static constexpr int kIdHueCountSpin = 1089;
    static constexpr int kIdPhase = 1092;
    static constexpr int kIdPhaseSpin = 1093;
    static constexpr int kIdPointNo = 1094;
    static constexpr int kIdPointNoSpin = 1095;
    static constexpr int kIdPointHue = 1097;
    static constexpr int kIdPointHueSpin = 1100;
    static constexpr int kIdPointChroma = 1085;
    static constexpr int kIdPointChromaSpin = 1101;
    static constexpr int kIdDetailed = 1070;
    static constexpr int kIdWhiteBalance = 1253;
    static constexpr int kIdPointsFromChart = 1090;
    // The circle is this many pixels square.
    static constexpr int kCircleSide = 258;

    explicit CColorCalibView(QWidget* parent = nullptr);
    ~CColorCalibView() override;

    std::string GetSectionName() const override { return "ColorCalibView"; }
    // The white-balance button is let go; the shared entry; the chart's
    // measured colours; the image's hue histogram on the circle.
    void OnEnterStep() override;
    // The white-balance button is let go and the comparison ended before
    // the shared leave.
    void OnLeaveStep(bool commit) override;
    // The picked colour marks the circle.
    void SetSampleLab(const CCIELab& lab) override;
    // With the white-balance button down and every component above 0.1,
    // the balance that makes the picked colour neutral.
    void SetWhiteBalanceSample(const CCIEXYZ& xyz) override;

    CColorCalibDoc& Document();
    // The point shown in the number, hue and chroma edits, 1-based.
    int GetSelectedPoint() const { return m_selectedPoint; }
    const std::vector<colorcalib::MeasuredPair>& GetMeasuredPairs() const { return m_measured; }
    void SetMeasuredPairs(std::vector<colorcalib::MeasuredPair> pairs);
    // Button 1090: the hue points from the chart's measured colours.
    void OnPointsFromChart();

protected:
    bool readControls() override;
    void writeControls() override;

private slots:
    void onNotify(int message, int code, qint64 value);

private:
    void BuildForm();
    void OnCircle(int value);
    void OnSlider(int message, int code);
    void OnWrappedHueEdit(CEditEx& edit);
    void OnPointHueEdit();
    void OnUpDown(int message, int code, int position);
    void OnWhiteBalanceClicked(bool down);
    // Controls into the document; when that changed it, the state before
    // is the undo state and the preview follows. Controls written back.
    void CommitControls();
    // The end of a drag: controls into the document and back, the drag's
    // edit ends, the preview follows when the drag changed something.
    void EndDrag();
    // The circle shows the record's points (detailed) or its two rings.
    void ShowPoints(const CColorCalibData& data);
    void ShowBalanceMarker();
    void SetCircleSelection(int index);
    // The hue of the selected point the document holds.
    double SelectedPointHue() const;

    int m_selectedPoint = 1;
    std::vector<colorcalib::MeasuredPair> m_measured;

    CColorCircleCtrl* m_circle = nullptr;
    CMultiSlider* m_offsetSlider = nullptr;
    CMultiSlider* m_directionSlider = nullptr;
    CEditEx* m_offset = nullptr;
    CEditEx* m_direction = nullptr;
    CEditEx* m_hue = nullptr;
    CEditEx* m_chroma = nullptr;
    CEditEx* m_hueCount = nullptr;
    CUpDown* m_hueCountSpin = nullptr;
    CEditEx* m_phase = nullptr;
    CUpDown* m_phaseSpin = nullptr;
    CEditEx* m_pointNo = nullptr;
    CUpDown* m_pointNoSpin = nullptr;
    CEditEx* m_pointHue = nullptr;
    CUpDown* m_pointHueSpin = nullptr;
    CEditEx* m_pointChroma = nullptr;
    CUpDown* m_pointChromaSpin = nullptr;
    QCheckBox* m_detailed = nullptr;
    QToolButton* m_whiteBalance = nullptr;
    QPushButton* m_pointsFromChart = nullptr;
};
