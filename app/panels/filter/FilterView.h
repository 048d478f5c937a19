#pragma once
// CFilterView: the step panel of the sharpening filter (stack index 7). It
// edits the project's filter document (slot 7): the blur radius, the amount
// and the threshold of the unsharp mask, each with an edit and a trackbar.
// The radius and amount trackbars run on the non-linear scale of
// FilterViewLogic.h, so that small values get most of the travel.
//
// A trackbar drag is one edit: its first move saves the undo state, every
// move writes the trackbar's edit, and the end of the drag takes the edits
// into the document and previews it. A drag whose end is never reported
// is taken 500 ms after its last thumb-position report.

#include "app/panels/StepView.h"
#include "controls/widgets/TrackbarEvents.h"

#include <string>

class CEditEx;
class CFilterDoc;
class QLabel;
class QSlider;
class QTimer;

inline constexpr int UWM_FILTER_RADIUS_EDIT = 0x720;
inline constexpr int UWM_FILTER_AMOUNT_EDIT = 0x721;
inline constexpr int UWM_FILTER_THRESHOLD_EDIT = 0x722;

class CFilterView : public CStepView
{
    Q_OBJECT
public:
    // Control IDs (object names).
    static constexpr int kIdRadiusEdit = 1212;
    static constexpr int kIdRadiusTrackbar = 1211;
    static constexpr int kIdAmountEdit = 1215;
    static constexpr int kIdAmountTrackbar = 1213;
    static constexpr int kIdThresholdEdit = 1216;
    static constexpr int kIdThresholdTrackbar = 1214;
    static constexpr int kIdAmountLabel = 1217;
    static constexpr int kIdThresholdLabel = 1218;
    // The timer that takes a drag whose end was not reported.
    static constexpr int kTrackTimer = 1;
    static constexpr int kTrackTimerMs = 500;

    explicit CFilterView(QWidget* parent = nullptr);
    ~CFilterView() override;

    std::string GetSectionName() const override { return "FilterView"; }
    void OnLeaveStep(bool commit) override;

    CFilterDoc& Doc();

    // A trackbar (1211, 1213, 1214) reports: every report but the end
    // writes the trackbar's edit (the first of a drag saving the undo
    // state); a thumb-position report (re)starts the timer; the end stops
    // it and takes the edits.
    void OnTrackbar(int id, TrackbarCode code);
    // The timer ran out: the drag is taken as if it had ended.
    void OnTimer(int id);

protected:
    bool readControls() override;
    void writeControls() override;

private:
    void OnNotify(int message, int code, qint64 value);
    void SetEditFromTrackbar(int id);
    // The edits into the document and back, the drag ended, the preview.
    void TakeDrag();

    CEditEx* m_radiusEdit = nullptr;
    CEditEx* m_amountEdit = nullptr;
    CEditEx* m_thresholdEdit = nullptr;
    QSlider* m_radiusTrackbar = nullptr;
    QSlider* m_amountTrackbar = nullptr;
    QSlider* m_thresholdTrackbar = nullptr;
    QLabel* m_amountLabel = nullptr;
    QLabel* m_thresholdLabel = nullptr;
    QTimer* m_trackTimer = nullptr;
};
