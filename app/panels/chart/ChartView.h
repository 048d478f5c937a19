#pragma once
// CChartView: the step panel of the chart correction (stack index 2,
// document slot 2). The user photographs a colour-checker chart, places
// the patch centres of its grey strip and of its colour patches on the
// preview with two chart items, measures them from the image, and sets or
// edits the target colours.
//
// The panel is itself the drag item the image view holds while it is
// shown: it hands a press to the grey item when the grey scale is in use
// and that item is hit, else to the colour item when the colour chart is
// in use, and draws the colour item under the grey one. It does so only
// while the preview shows the corrected image (compare mode 2).
//
// Tables are shown in four colour-checker grids through the project's
// conversion to the monitor; without an image a grid shows one cell.

#include "app/panels/StepView.h"
#include "app/panels/chart/ChartDragItem.h"
#include "correction/ChartDoc.h"

class CColorCheckerCtrl;
class CEditEx;
class CUpDown;
class IKeyState;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

// Notify messages of the panel's controls.
inline constexpr int UWM_CHART_IMAGE_CHECKER = 0x52C;
inline constexpr int UWM_CHART_TARGET_CHECKER = 0x52D;
inline constexpr int UWM_CHART_VALUE_EDIT = 0x52E;

class CChartView : public CStepView, public CBaseDragItem
{
    Q_OBJECT
public:
    static constexpr COLORREF kGrayItemColor = MakeColorRef(255, 255, 0);
    static constexpr COLORREF kColorItemColor = MakeColorRef(255, 255, 255);
    // Where the items are laid out until an image gives its own rectangle.
    static constexpr CRect kInitialImageRect{0, 0, 500, 500};

    explicit CChartView(QWidget* parent = nullptr);
    ~CChartView() override;

    // ---- CViewCommon
    std::string GetSectionName() const override { return "ChartView"; }
    CBaseDragItem* GetDragItem() override { return this; }
    // Takes the project's chart document; one whose tables the panel
    // cannot show (a grey table not of one row of 1..20 patches, colour
    // tables of a shape the chart list does not offer) starts from the
    // defaults instead.
    void OnEnterStep() override;

    // ---- CBaseDragItem
    bool HitTest(const CPoint& imagePoint, int scale) override;
    void BeginDrag(const CPoint& imagePoint, const CRect& screen, const CRect& image) override;
    void Drag(const CPoint& imagePoint, const CRect& screen, const CRect& image) override;
    void EndDrag(const CPoint& imagePoint) override;
    void Draw(QPainter& painter, const CRect& screen, const CRect& image) const override;

    CChartDoc& Document() { return static_cast<CChartDoc&>(*m_document); }
    const CChartDoc& Document() const { return static_cast<const CChartDoc&>(*m_document); }
    CChartDragItem& GrayItem() { return m_grayItem; }
    CChartDragItem& ColorItem() { return m_colorItem; }

    // The keyboard asked for Ctrl on a grid click (the system's unless a
    // test sets one).
    void SetKeyState(const IKeyState* keys);

    // The measuring and reversing buttons.
    void MeasureGray();                  // 1038
    void MeasureColor(bool asTarget);    // 1039 (current), 1054 (target)
    void ReverseColorTable(bool target); // 1056 (measured), 1057 (target)

protected:
    bool readControls() override;
    void writeControls() override;

private:
    void OnNotify(int message, int code, qint64 value);
    // A check box or the layout list changed: undo state, controls into
    // the document and back, preview.
    void OnSettingChanged();
    void OnCountEdit();
    void OnCountArrows(int code, int position);
    void OnGridClick(bool target, int row, int column);
    // Measures the item's patches into out; false without an image ready
    // in compare mode 2.
    bool Measure(const CChartDragItem& item, T2DArray<CCIEXYZ>& out);
    bool IsImageLoaded() const;
    bool IsActive() const;
    // A table through the project's conversion into a grid; one cell when
    // the table is empty or there is no image.
    void ShowTable(CColorCheckerCtrl& grid, const T2DArray<CCIEXYZ>& table);

    CChartDragItem m_grayItem;
    CChartDragItem m_colorItem;
    CChartDragItem* m_currentItem = nullptr;
    const IKeyState* m_keys;

    QCheckBox* m_grayCheck = nullptr;       // 1042
    CEditEx* m_countEdit = nullptr;          // 1043
    CUpDown* m_countArrows = nullptr;        // 1044
    QCheckBox* m_grayFreeCheck = nullptr;   // 1045
    QPushButton* m_grayMeasure = nullptr;   // 1038
    QCheckBox* m_blackCheck = nullptr;      // 1046
    QCheckBox* m_whiteCheck = nullptr;      // 1047
    CColorCheckerCtrl* m_grayMeasured = nullptr; // 1048
    CColorCheckerCtrl* m_grayTarget = nullptr;   // 1049
    QCheckBox* m_colorCheck = nullptr;      // 1050
    QComboBox* m_layoutList = nullptr;      // 1051
    QCheckBox* m_colorFreeCheck = nullptr;  // 1052
    QPushButton* m_colorMeasure = nullptr;  // 1039
    QPushButton* m_targetMeasure = nullptr; // 1054
    QToolButton* m_reverseMeasured = nullptr; // 1056
    QToolButton* m_reverseTarget = nullptr;   // 1057
    CColorCheckerCtrl* m_colorMeasured = nullptr; // 1053
    CColorCheckerCtrl* m_colorTarget = nullptr;   // 1055
    QLabel* m_hintAll = nullptr;            // 1058
    QLabel* m_hintOne = nullptr;            // 1059
};
