#pragma once
// CTrimmingView: the step panel of trimming and output size (stack index
// 3). It edits the project's trimming document (slot 3): a trim frame on
// the image in image pixels, optionally held to an aspect ratio, and the
// size of the saved result in pixels or in millimetres at a resolution.
//
// The panel is also the drag item of the trim frame on the preview: its
// corners and edge centres resize the frame, a press inside moves it, and
// while the frame is free and covers the whole image a press draws a new
// one. A drag shows the frame it would give (and writes it into the frame
// edits) while the button is held; the document takes it on release. The
// rules of both faces are in TrimmingViewLogic.h.
//
// The three custom ratios come from the settings ("TrimmingView",
// "CustomRatioWidth1" .. "CustomRatioHeight3"); the panel's custom-ratio
// dialog changes them for the session only.

#include "app/panels/StepView.h"
#include "app/panels/trimming/TrimmingViewLogic.h"
#include "app/preview/BaseDragItem.h"

#include <QImage>

#include <string>

class CEditEx;
class CTrimmingDoc;
class CUpDown;
class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;

inline constexpr int UWM_TRIMMING_LEFT_EDIT = 0x590;
inline constexpr int UWM_TRIMMING_TOP_EDIT = 0x591;
inline constexpr int UWM_TRIMMING_WIDTH_EDIT = 0x592;
inline constexpr int UWM_TRIMMING_HEIGHT_EDIT = 0x593;
inline constexpr int UWM_TRIMMING_CTRL_404 = 0x594; // output width, pixels
inline constexpr int UWM_TRIMMING_CTRL_405 = 0x595; // output height, pixels
inline constexpr int UWM_TRIMMING_CTRL_406 = 0x596; // output width, millimetres
inline constexpr int UWM_TRIMMING_CTRL_407 = 0x597; // output height, millimetres
inline constexpr int UWM_TRIMMING_CTRL_408 = 0x598; // resolution

class CTrimmingView : public CStepView, public CBaseDragItem
{
    Q_OBJECT
public:
    // Control IDs (object names). An up-down reports with its own ID as its
    // message number.
    static constexpr int kIdRatioCombo = 1276;
    static constexpr int kIdCustomRatioButton = 1292;
    static constexpr int kIdLeftEdit = 1268;
    static constexpr int kIdLeftUpDown = 1270;
    static constexpr int kIdTopEdit = 1269;
    static constexpr int kIdTopUpDown = 1271;
    static constexpr int kIdWidthEdit = 1272;
    static constexpr int kIdWidthUpDown = 1274;
    static constexpr int kIdHeightEdit = 1273;
    static constexpr int kIdHeightUpDown = 1275;
    static constexpr int kIdPixelRadio = 1278;
    static constexpr int kIdMMRadio = 1279;
    static constexpr int kIdPixelWidthEdit = 1277;
    static constexpr int kIdPixelWidthUpDown = 1280;
    static constexpr int kIdPixelHeightEdit = 1281;
    static constexpr int kIdPixelHeightUpDown = 1282;
    static constexpr int kIdMMWidthEdit = 1286;
    static constexpr int kIdMMWidthUpDown = 1287;
    static constexpr int kIdMMHeightEdit = 1289;
    static constexpr int kIdMMHeightUpDown = 1290;
    static constexpr int kIdDPIEdit = 1283;
    static constexpr int kIdDPIUpDown = 1284;
    static constexpr int kIdRatioFixCheck = 1297;

    explicit CTrimmingView(QWidget* parent = nullptr);
    ~CTrimmingView() override;

    // ---- CViewCommon
    CBaseDragItem* GetDragItem() override { return this; }
    std::string GetSectionName() const override { return "TrimmingView"; }
    // The custom ratios (the preview flag of this panel is not read).
    void LoadSettings(const std::string& iniPath) override;

    CTrimmingDoc& Doc();
    const trimming::CustomRatios& GetCustomRatios() const { return m_customRatios; }

    // ---- CBaseDragItem: the trim frame
    bool HitTest(const CPoint& imagePoint, int scale) override;
    void BeginDrag(const CPoint& imagePoint, const CRect& screen, const CRect& image) override;
    void Drag(const CPoint& imagePoint, const CRect& screen, const CRect& image) override;
    void EndDrag(const CPoint& imagePoint) override;
    int GetCursorId() const override;
    void Draw(QPainter& painter, const CRect& screen, const CRect& image) const override;

    // The frame a running drag would give (empty when none).
    const CRect& GetFeedbackFrame() const { return m_feedback; }

    // The ratio list's text of a type.
    static QString RatioTypeText(int type);

protected:
    void OnDocumentReplaced() override;
    bool readControls() override;
    void writeControls() override;

private:
    // The frame's rules for the document's image and ratio type.
    trimming::FrameRules Rules() const;
    trimming::FrameRules RulesOfType(int type) const;
    CRect DocFrame() const;
    // Fits the document to the image the project holds, if any (the frame
    // on the whole image for a new size); reset: as for a new image.
    void FitToImage(bool reset);

    void SetRanges();
    void OnNotify(int message, int code, qint64 value);
    void OnEditChanged(int message);
    void OnUpDown(int id, int code, int position);
    void OnRatioTypeChanged();
    void OnCustomRatio();
    void OnSizeMode();
    void OnRatioFix();
    void OnReset();
    // Controls into the document and back.
    void TakeControls();

    // A frame size into the frame's width and height edits, the output
    // pixel edits and the millimetre edits (at the document's resolution).
    void ShowFrameSize(const trimming::FrameSize& size);
    void ShowOutputPixels(int width, int height);
    void ShowFrameEdits(const CRect& frame, bool withOutput);
    // The values shown in the frame's width and height edits.
    int ShownFrameWidth() const;
    int ShownFrameHeight() const;

    void DrawFrame(QPainter& painter, const CRect& frame, const CRect& screen, const CRect& image,
                   bool feedback) const;

    trimming::CustomRatios m_customRatios{};

    // The drag: the part hit, the press point, the frame it started from
    // and the frame last shown.
    trimming::TrimPart m_hitPart = trimming::TrimPart::None;
    CPoint m_anchor{-1, -1};
    CRect m_startFrame;
    CRect m_feedback;
    QImage m_pattern;

    QComboBox* m_ratioCombo = nullptr;
    QPushButton* m_customRatioButton = nullptr;
    CEditEx* m_leftEdit = nullptr;
    CEditEx* m_topEdit = nullptr;
    CEditEx* m_widthEdit = nullptr;
    CEditEx* m_heightEdit = nullptr;
    CUpDown* m_leftUpDown = nullptr;
    CUpDown* m_topUpDown = nullptr;
    CUpDown* m_widthUpDown = nullptr;
    CUpDown* m_heightUpDown = nullptr;
    QRadioButton* m_pixelRadio = nullptr;
    QRadioButton* m_mmRadio = nullptr;
    CEditEx* m_pixelWidthEdit = nullptr;
    CEditEx* m_pixelHeightEdit = nullptr;
    CEditEx* m_mmWidthEdit = nullptr;
    CEditEx* m_mmHeightEdit = nullptr;
    CEditEx* m_dpiEdit = nullptr;
    CUpDown* m_pixelWidthUpDown = nullptr;
    CUpDown* m_pixelHeightUpDown = nullptr;
    CUpDown* m_mmWidthUpDown = nullptr;
    CUpDown* m_mmHeightUpDown = nullptr;
    CUpDown* m_dpiUpDown = nullptr;
    QCheckBox* m_ratioFixCheck = nullptr;
};
