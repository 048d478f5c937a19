#pragma once
// CColorChangeView: the step panel of the chosen-colour correction
// (stack index 6, the project's slot 6). It edits the ten elements of its
// CColorChangeDoc: the sub-list shows one row per element (source colour,
// target colour, variation flag), and the element chosen there (the
// active element) has its hue, lightness and chroma range edited through
// three histogram bars and nine edits with their up-downs.
//
// An element comes to life when a colour picked on the preview is dropped
// on a row: on the source patch the range is built round the colour from
// the image's histograms, on either patch the colour becomes the target.
// The target patch opens the colour search, "設定..." the variation
// dialog; Ctrl-clicking the image widens the active range to take the
// colour in, Alt-clicking narrows its hue.
//
// Every change follows the panel edit pattern: one undo state per change
// or per drag (bars, up-downs), the controls read into the document and
// written back under the update guard, the document handed to the preview.

#include "app/panels/StepView.h"

#include <array>

namespace colorchangeview {
enum class Axis;
enum class Bound;
struct AxisRange;
} // namespace colorchangeview

class CColorChangeDoc;
class CColorChangeSubList;
class CEditEx;
class CHistogramGraphCtrl;
class CUpDown;
class QCheckBox;
class QLabel;
class QPushButton;
struct CLChRange;

// Notify messages of the panel's controls.
inline constexpr int UWM_COLORCHANGE_HUE_SLIDER = 0x6BC;
inline constexpr int UWM_COLORCHANGE_LIGHTNESS_SLIDER = 0x6BD;
inline constexpr int UWM_COLORCHANGE_CHROMA_SLIDER = 0x6BE;
inline constexpr int UWM_COLORCHANGE_ACTIVE_ELEMENT = 0x6C0;
inline constexpr int UWM_COLORCHANGE_SUBLIST = 0x707;
// The nine edits, hue minimum .. chroma maximum (UWM_COLORCHANGE_EDIT_776
// .. _784).
inline constexpr int UWM_COLORCHANGE_EDIT_FIRST = 0x708;

// The rows' command numbers: row i reports its source patch on
// kSourcePatchFirst + i and so on; its variation dialog reports strength
// on kStrengthFirst + i and range on kRangeFirst + i.
inline constexpr int kColorChangeSourcePatchFirst = 1729;
inline constexpr int kColorChangeTargetPatchFirst = 1739;
inline constexpr int kColorChangeArrowFirst = 1749;
inline constexpr int kColorChangeSettingsFirst = 1759;
inline constexpr int kColorChangeCheckFirst = 1769;
inline constexpr int kColorChangeStrengthFirst = 1779;
inline constexpr int kColorChangeRangeFirst = 1789;

class CColorChangeView : public CStepView
{
    Q_OBJECT
public:
    static constexpr int kStep = 5; // the project's step index; slot 6
    static constexpr int kRowCount = 10; // the document's elements

    explicit CColorChangeView(QWidget* parent = nullptr);
    ~CColorChangeView() override;

    // ---- CViewCommon
    std::string GetSectionName() const override { return "ColorChangeView"; }
    // Processes up to the step and takes the project's document (a
    // different one drops the active element), previews it and gives the
    // bars the image's histograms. Without a project the bars are empty.
    void OnEnterStep() override;
    // The affected range is shown no more; OK commits the document.
    void OnLeaveStep(bool commit) override;
    // Preview on: the document, showing the active element's affected
    // range while that is asked for; off: a default document.
    void ApplyDocument() override;

    // ---- IColorPickTarget
    // A click on the preview, with the keyboard's Alt and Ctrl as they are
    // now.
    void SetColorSample(const CCIELab& lab) override;
    // A colour picked on the preview and released over the screen point:
    // on a row's source patch it makes the element's range, on either
    // patch its target.
    void SetDragAndDropLab(const CRect& rect, const CCIELab& lab, const QPoint& screenPoint) override;

    // The sample with the given modifiers: the bars' markers move; with an
    // active element Ctrl widens its range, Alt narrows its hue (both
    // together count as neither).
    void ApplyColorSample(const CCIELab& lab, Qt::KeyboardModifiers modifiers);
    // The focused row changed (-1 none).
    void OnVWActiveChange(int row);

    int GetActiveElement() const { return m_active; }
    const CColorChangeDoc& Document() const;
    CColorChangeDoc& Document();
    bool GetOnlyInRange() const { return m_onlyInRange; }
    bool GetShowAffectedRange() const { return m_showAffected; }

    // The controls (tests find them by object name as well).
    CHistogramGraphCtrl* Bar(colorchangeview::Axis axis) const;
    CEditEx* Edit(colorchangeview::Axis axis, colorchangeview::Bound bound) const;
    CUpDown* UpDown(colorchangeview::Axis axis, colorchangeview::Bound bound) const;
    CColorChangeSubList* SubList() const { return m_subList; }

protected:
    bool readControls() override;
    void writeControls() override;
    void OnPreviewToggled(bool on) override;

private:
    struct AxisControls
    {
        CHistogramGraphCtrl* bar = nullptr;
        std::array<CEditEx*, 3> edits{};
        std::array<CUpDown*, 3> upDowns{};
    };

    void BuildForm();
    void OnNotify(int message, int code, qint64 value);
    void OnBar(colorchangeview::Axis axis, int code);
    void OnEditChanged(colorchangeview::Axis axis, colorchangeview::Bound bound);
    void OnUpDown(colorchangeview::Axis axis, colorchangeview::Bound bound, int code, int position);
    // A corrected value into its edit (quietly) and taken into the document.
    void TakeBound(colorchangeview::Axis axis, colorchangeview::Bound bound, double typed);
    void OnRowCommand(int message, int code, int row);
    void OnArrow(int row);
    void OnCheck(int row);
    void OnDelete();
    void OnSourcePatch(int row);
    void OnTargetPatchReleased(int row);
    void OnSettings(int row);
    void OnSearchColor(int code, const CCIEXYZ& xyz);

    CLChRange& Entry(int index);
    const CLChRange& Entry(int index) const;
    bool HasImage() const;
    // The working image's white (the project's input space), Y = 100.
    CCIEXYZ White() const;
    colorchangeview::AxisRange StoredRange(colorchangeview::Axis axis) const;
    AxisControls& Controls(colorchangeview::Axis axis);
    const AxisControls& Controls(colorchangeview::Axis axis) const;
    // The chroma bar's histogram: only of the pixels inside the active
    // element's hue and lightness range while only-in-range is on.
    void RefreshChromaHistogram();
    void SetBarHistograms();

    short m_active = -1;
    bool m_onlyInRange = false;
    bool m_showAffected = false;
    // A bar drag changed the range (and saved its undo state).
    bool m_barChanged = false;

    std::array<AxisControls, 3> m_axes{}; // hue, lightness, chroma
    QCheckBox* m_onlyInRangeCheck = nullptr; // 1125
    QCheckBox* m_showAffectedCheck = nullptr; // 1126
    QPushButton* m_deleteButton = nullptr;    // 1038
    QLabel* m_hendouLabel = nullptr;          // 1258, hidden
    CColorChangeSubList* m_subList = nullptr;
};
