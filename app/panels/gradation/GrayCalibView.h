#pragma once
// CGrayCalibView: the panel of the gradation (tone) step, stack index 4,
// editing the project's gradation document (slot 4). The tone curve is
// shaped either by levels (input black, gamma and white on the slider
// below the graph and in their edits; output black and white on the slider
// beside it) or, with detailed correction on, by up to 20 points dragged
// up and down on the graph or typed by number and value. The rules of the
// thumbs and levels are in GrayCalibViewLogic.h.
//
// Every control reports to one slot, which dispatches on the control's
// message number. Drags (graph, sliders, up-downs) save one undo state on
// their first change and apply the document to the preview when they end;
// a committed edit saves one when it changes the document.

#include "app/panels/StepView.h"
#include "correction/GrayCalibDoc.h"


#include <vector>

class CEditEx;
class CGrayScaleGraphCtrl;
class CMultiSlider;
class CUpDown;
class QCheckBox;
class QGroupBox;
class QPushButton;

// Notify messages of the panel's controls.
inline constexpr int UWM_GRAYCALIB_CURVE = 0x5F4;
inline constexpr int UWM_GRAYCALIB_CTRL_501 = 0x5F5; // output levels slider
inline constexpr int UWM_GRAYCALIB_CTRL_502 = 0x5F6; // input levels slider
inline constexpr int UWM_GRAYCALIB_INLEVEL_EDIT_1 = 0x5F7;
inline constexpr int UWM_GRAYCALIB_INLEVEL_EDIT_2 = 0x5F8;
inline constexpr int UWM_GRAYCALIB_INLEVEL_EDIT_3 = 0x5F9;
inline constexpr int UWM_GRAYCALIB_OUTLEVEL_EDIT_1 = 0x5FA;
inline constexpr int UWM_GRAYCALIB_OUTLEVEL_EDIT_2 = 0x5FB;
inline constexpr int UWM_GRAYCALIB_SCALECOUNT_EDIT = 0x5FC;
inline constexpr int UWM_GRAYCALIB_SCALENO_EDIT = 0x5FD;
inline constexpr int UWM_GRAYCALIB_SCALEVALUE_EDIT = 0x5FE;

class CGrayCalibView : public CStepView
{
    Q_OBJECT
public:
    // Control IDs (object names).
    static constexpr int kIdGraph = 1059;
    static constexpr int kIdInputSlider = 1060;
    static constexpr int kIdOutputSlider = 1061;
    static constexpr int kIdInBlack = 1064;
    static constexpr int kIdInGamma = 1065;
    static constexpr int kIdInWhite = 1066;
    static constexpr int kIdOutBlack = 1067;
    static constexpr int kIdOutWhite = 1068;
    static constexpr int kIdDetailed = 1070;
    static constexpr int kIdScaleCount = 1073;
    static constexpr int kIdScaleCountSpin = 1074;
    static constexpr int kIdScaleNo = 1075;
    static constexpr int kIdScaleNoSpin = 1076;
    static constexpr int kIdScaleValue = 1078;
    static constexpr int kIdScaleValueSpin = 1079;
    static constexpr int kIdPointsFromChart = 1038;
    // The graph is this many pixels square.
    static constexpr int kGraphSide = 258;

    explicit CGrayCalibView(QWidget* parent = nullptr);
    ~CGrayCalibView() override;

    std::string GetSectionName() const override { return "GrayCalibView"; }
    // The shared entry, then the chart's grey values and the image's tone
    // histogram behind the graph.
    void OnEnterStep() override;
    // The picked L* marks its column on the graph.
    void SetSampleLab(const CCIELab& lab) override;

    CGrayCalibDoc& Document() { return static_cast<CGrayCalibDoc&>(*m_document); }
    // The point shown in the number and value edits, 1-based.
    int GetSelectedPoint() const { return m_selectedPoint; }
    const std::vector<double>& GetGrayValues() const { return m_grayValues; }
    // Sets the chart's grey values (entering the step measures them).
    void SetGrayValues(std::vector<double> values) { m_grayValues = std::move(values); }
    // Button 1038: the curve points from the chart's grey values.
    void OnPointsFromChart();

protected:
    bool readControls() override;
    void writeControls() override;

private slots:
    void onNotify(int message, int code, qint64 value);

private:
    void BuildForm();
    void OnCurve(int code);
    void OnInputSlider(int code, int index);
    void OnOutputSlider(int code, int index);
    void OnLevelEdit(int message);
    void OnUpDown(int message, int code, int position);
    // Controls into the document; when that changed it, the state before
    // is the undo state and the preview follows. Controls written back.
    void CommitControls();
    // The end of a drag: controls into the document and back, the drag's
    // edit ends, the preview follows when the drag changed something.
    void EndDrag();
    void SetSliderThumbs(const GrayCalibParams& params);
    void ShowCurve(const GrayCalibParams& params, int selected);

    int m_selectedPoint = 1;
    std::vector<double> m_grayValues;

    CGrayScaleGraphCtrl* m_graph = nullptr;
    CMultiSlider* m_inputSlider = nullptr;
    CMultiSlider* m_outputSlider = nullptr;
    CEditEx* m_inBlack = nullptr;
    CEditEx* m_inGamma = nullptr;
    CEditEx* m_inWhite = nullptr;
    CEditEx* m_outBlack = nullptr;
    CEditEx* m_outWhite = nullptr;
    QCheckBox* m_detailed = nullptr;
    CEditEx* m_scaleCount = nullptr;
    CUpDown* m_scaleCountSpin = nullptr;
    CEditEx* m_scaleNo = nullptr;
    CUpDown* m_scaleNoSpin = nullptr;
    CEditEx* m_scaleValue = nullptr;
    CUpDown* m_scaleValueSpin = nullptr;
    QPushButton* m_pointsFromChart = nullptr;
};
