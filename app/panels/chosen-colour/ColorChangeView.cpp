#include "app/panels/chosen-colour/ColorChangeView.h"

#include "app/panels/StepPanelLogic.h"
#include "app/panels/chosen-colour/ColorChangeViewLogic.h"
#include "app/shell/KeyState.h"

#include "controls/dialogs/ColorSearchDlg.h"
#include "controls/dialogs/DialogCodes.h"
#include "controls/dialogs/HendouCustomDlg.h"
#include "controls/widgets/ColorChangeList.h"
#include "controls/widgets/ColorPatchCtrl.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/EditExLogic.h"
#include "controls/widgets/HistogramGraphCtrl.h"
#include "controls/widgets/UpDown.h"
#include "core/PathUtils.h"
#include "correction/ColorChangeDoc.h"
#include "correction/ProjectManage.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <vector>

using colorchangeview::Axis;
using colorchangeview::AxisRange;
using colorchangeview::Bound;

namespace {

constexpr std::array<Axis, 3> kAxes = {Axis::Hue, Axis::Lightness, Axis::Chroma};
constexpr std::array<Bound, 3> kBounds = {Bound::Minimum, Bound::Centre, Bound::Maximum};

int AxisIndex(Axis axis)
{
    return static_cast<int>(axis);
}

int BoundIndex(Bound bound)
{
    return static_cast<int>(bound);
}

// Design IDs: bars, the first edit and the first up-down of each axis.
constexpr std::array<int, 3> kBarIds = {1092, 1104, 1115};
constexpr std::array<int, 3> kEditIds = {1097, 1108, 1119};
constexpr std::array<int, 3> kUpDownIds = {1100, 1111, 1122};
constexpr std::array<int, 3> kBarMessages = {UWM_COLORCHANGE_HUE_SLIDER,
                                             UWM_COLORCHANGE_LIGHTNESS_SLIDER,
                                             UWM_COLORCHANGE_CHROMA_SLIDER};
// Histogram kinds of the bars: hue 8, lightness 6, chroma 7.
constexpr std::array<int, 3> kBarKinds = {CHistogramGraphCtrl::kKindHue, 6, 7};
// The up-downs report under their own IDs.
constexpr int kBarWidth = 256;
constexpr int kBarHeight = 40;

// The edits' ranges: hue takes any value (the panel wraps it), lightness
// and chroma their scales.
constexpr double kHueEditLimit = 99999.9;

const CCIELCh& BoundColour(const CLChRange& entry, Bound bound)
{
    switch (bound)
    {
    case Bound::Minimum:
        return entry.LChBeforMin;
    case Bound::Centre:
        return entry.LChBeforCenter;
    case Bound::Maximum:
        return entry.LChBeforMax;
    }
    return entry.LChBeforCenter;
}

CCIELCh& BoundColour(CLChRange& entry, Bound bound)
{
    return const_cast<CCIELCh&>(BoundColour(static_cast<const CLChRange&>(entry), bound));
}

double BoundValue(const CLChRange& entry, Axis axis, Bound bound)
{
    return BoundColour(entry, bound)[colorchangeview::AxisComponent(axis)];
}

// The edit's text for a value, as the edit itself would show it.
QString ShownText(double value)
{
    return QString::fromStdString(FormatReal(value, 1));
}

void SetEditDoubleQuiet(double value, CEditEx& edit)
{
    const bool was = edit.NotifyEnabled;
    edit.NotifyEnabled = false;
    edit.SetDouble(value);
    edit.NotifyEnabled = was;
}

RGBColor ToRGBColor(const RGB16& pixel)
{
    return RGBColor{pixel.r, pixel.g, pixel.b};
}

} // namespace

CColorChangeView::CColorChangeView(QWidget* parent)
    : CStepView(kStep, std::make_unique<CColorChangeDoc>(), parent)
{
    BuildForm();
    LoadSettings(GetIniFilePath());
    SetDataValid();
    UpdateControls(false);
}

CColorChangeView::~CColorChangeView() = default;

static_assert(CColorChangeView::kRowCount == CColorChangeDoc::kEntryCount);

const CColorChangeDoc& CColorChangeView::Document() const
{
    return static_cast<const CColorChangeDoc&>(*m_document);
}

CColorChangeDoc& CColorChangeView::Document()
{
    return static_cast<CColorChangeDoc&>(*m_document);
}

void CColorChangeView::BuildForm()
{
    QVBoxLayout* form = MakeFormLayout();
    QWidget* formWidget = form->parentWidget();

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    const std::array<const char*, 3> headers = {"最小", "中心", "最大"};
    for (int b = 0; b < 3; ++b)
        grid->addWidget(new QLabel(QString::fromUtf8(headers[b]), formWidget), 0, b,
                        Qt::AlignHCenter);
    const std::array<const char*, 3> axisNames = {"色相", "明度", "彩度"};
    int gridRow = 1;
    for (Axis axis : kAxes)
    {
        const int a = AxisIndex(axis);
        AxisControls& controls = m_axes[a];
        grid->addWidget(new QLabel(QString::fromUtf8(axisNames[a]), formWidget), gridRow++, 0, 1, 3);

        controls.bar = new CHistogramGraphCtrl(formWidget);
        controls.bar->setObjectName(QString::number(kBarIds[a]));
        controls.bar->setFixedSize(kBarWidth, kBarHeight);
        controls.bar->setNotifyMessage(kBarMessages[a]);
        std::vector<std::uint32_t> empty(colorchangeview::kBinCount, 0u);
        controls.bar->SetHistogram(empty, kBarKinds[a]);
        connect(controls.bar, &CHistogramGraphCtrl::notify, this, &CColorChangeView::OnNotify);
        grid->addWidget(controls.bar, gridRow++, 0, 1, 3, Qt::AlignLeft);

        for (Bound bound : kBounds)
        {
            const int b = BoundIndex(bound);
            auto* edit = new CEditEx(formWidget);
            edit->setObjectName(QString::number(kEditIds[a] + b));
            edit->Mode = EditMode::Real;
            edit->Decimals = 1;
            if (axis == Axis::Hue)
            {
                edit->RealMin = -kHueEditLimit;
                edit->RealMax = kHueEditLimit;
            }
            else
            {
                edit->RealMin = 0.0;
                edit->RealMax = colorchangeview::AxisScale(axis);
            }
            edit->setMaximumWidth(64);
            edit->setNotifyMessage(UWM_COLORCHANGE_EDIT_FIRST + a * 3 + b);
            connect(edit, &CEditEx::notify, this, &CColorChangeView::OnNotify);

            auto* upDown = new CUpDown(Qt::Vertical, formWidget);
            upDown->setObjectName(QString::number(kUpDownIds[a] + b));
            if (axis == Axis::Hue)
            {
                upDown->SetRange(-1, 3600);
                upDown->SetWrap(true);
            }
            else
            {
                upDown->SetRange(0, colorchangeview::ValueToTenths(colorchangeview::AxisScale(axis)));
            }
            upDown->setNotifyMessage(kUpDownIds[a] + b);
            connect(upDown, &CUpDown::notify, this, &CColorChangeView::OnNotify);

            controls.edits[b] = edit;
            controls.upDowns[b] = upDown;
            auto* pair = new QHBoxLayout;
            pair->setSpacing(0);
            pair->addWidget(edit);
            pair->addWidget(upDown);
            grid->addLayout(pair, gridRow, b);
        }
        ++gridRow;
    }
    // Initial values before the first refresh.
    const std::array<std::array<double, 3>, 3> initial = {{{175, 180, 185}, {45, 50, 55}, {45, 50, 55}}};
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            SetEditDoubleQuiet(initial[a][b], *m_axes[a].edits[b]);
    // The columns keep their natural width; a wider pane widens nothing.
    grid->setColumnStretch(3, 1);
    form->addLayout(grid);

    m_onlyInRangeCheck = new QCheckBox(QStringLiteral("色相/明度範囲内のデータのみ"), formWidget);
    m_onlyInRangeCheck->setObjectName(QStringLiteral("1125"));
    connect(m_onlyInRangeCheck, &QCheckBox::clicked, this, [this] {
        UpdateControls(true);
        UpdateControls(false);
    });
    form->addWidget(m_onlyInRangeCheck);

    auto* row = new QHBoxLayout;
    m_showAffectedCheck = new QCheckBox(QStringLiteral("影響範囲表示"), formWidget);
    m_showAffectedCheck->setObjectName(QStringLiteral("1126"));
    connect(m_showAffectedCheck, &QCheckBox::clicked, this, [this] {
        UpdateControls(true);
        UpdateControls(false);
        ApplyDocument();
    });
    row->addWidget(m_showAffectedCheck);
    row->addStretch(1);
    m_deleteButton = new QPushButton(QStringLiteral("削除"), formWidget);
    m_deleteButton->setObjectName(QStringLiteral("1038"));
    connect(m_deleteButton, &QPushButton::clicked, this, [this] { OnDelete(); });
    row->addWidget(m_deleteButton);
    form->addLayout(row);

    m_hendouLabel = new QLabel(QStringLiteral("変動補正"), formWidget);
    m_hendouLabel->setObjectName(QStringLiteral("1258"));
    m_hendouLabel->hide();

    m_subList = new CColorChangeSubList(formWidget);
    m_subList->setMinimumHeight(m_subList->RowHeight() * 3);
    for (int i = 0; i < kRowCount; ++i)
    {
        CColorChangeSubElement* element = m_subList->Rows[i];
        element->SetSourcePatchMessage(kColorChangeSourcePatchFirst + i);
        element->SetTargetPatchMessage(kColorChangeTargetPatchFirst + i);
        element->ArrowMessage = kColorChangeArrowFirst + i;
        element->SettingsMessage = kColorChangeSettingsFirst + i;
        element->CheckMessage = kColorChangeCheckFirst + i;
        element->ActivationMessage = UWM_COLORCHANGE_ACTIVE_ELEMENT;
    }
    connect(m_subList, &CColorChangeSubList::notify, this, &CColorChangeView::OnNotify);
    form->addWidget(m_subList, 100);

    AddCommonButtonRows(form);
}

// ---- Accessors

CHistogramGraphCtrl* CColorChangeView::Bar(Axis axis) const
{
    return Controls(axis).bar;
}

CEditEx* CColorChangeView::Edit(Axis axis, Bound bound) const
{
    return Controls(axis).edits[BoundIndex(bound)];
}

CUpDown* CColorChangeView::UpDown(Axis axis, Bound bound) const
{
    return Controls(axis).upDowns[BoundIndex(bound)];
}

CColorChangeView::AxisControls& CColorChangeView::Controls(Axis axis)
{
    return m_axes[AxisIndex(axis)];
}

const CColorChangeView::AxisControls& CColorChangeView::Controls(Axis axis) const
{
    return m_axes[AxisIndex(axis)];
}

CLChRange& CColorChangeView::Entry(int index)
{
    return Document().GetParams().entries[static_cast<std::size_t>(std::clamp(index, 0, kRowCount - 1))];
}

const CLChRange& CColorChangeView::Entry(int index) const
{
    return Document().GetEntry(index);
}

bool CColorChangeView::HasImage() const
{
    return GetProject() != nullptr && GetProject()->IsImageReady();
}

CCIEXYZ CColorChangeView::White() const
{
    return GetProject() != nullptr ? GetProject()->GetWhiteXYZ() : CCIEXYZ();
}

AxisRange CColorChangeView::StoredRange(Axis axis) const
{
    if (m_active < 0)
        return {};
    const CLChRange& entry = Entry(m_active);
    return {BoundValue(entry, axis, Bound::Minimum), BoundValue(entry, axis, Bound::Centre),
            BoundValue(entry, axis, Bound::Maximum)};
}

// ---- Steps and preview

void CColorChangeView::OnEnterStep()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
    {
        const std::vector<std::uint32_t> empty(colorchangeview::kBinCount, 0u);
        for (int a = 0; a < 3; ++a)
            m_axes[a].bar->SetHistogram(empty, kBarKinds[a]);
        return;
    }
    const std::unique_ptr<CBaseDoc> held = m_document->Clone();
    CStepView::OnEnterStep();
    if (!m_document->IsEqual(*held))
        m_active = -1;
    ApplyDocument();
    SetBarHistograms();
    UpdateControls(false);
}

void CColorChangeView::OnLeaveStep(bool commit)
{
    Document().SetActiveElement(-1);
    CStepView::OnLeaveStep(commit);
}

void CColorChangeView::ApplyDocument()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    if (!m_preview)
    {
        SetProjectPreviewDoc();
        return;
    }
    // The project keeps a member-wise clone, affected-range element
    // included.
    Document().SetActiveElement(m_showAffected ? m_active : -1);
    project->SetPreviewDoc(m_document.get());
}

void CColorChangeView::OnPreviewToggled(bool on)
{
    UpdateControls(true);
    m_preview = on;
    ApplyDocument();
    NotifyPreview(on);
    UpdateControls(false);
}

void CColorChangeView::SetBarHistograms()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    Bar(Axis::Lightness)->SetHistogram(project->GetLightnessBins(), kBarKinds[AxisIndex(Axis::Lightness)]);
    Bar(Axis::Hue)->SetHistogram(project->GetHueBins(), kBarKinds[AxisIndex(Axis::Hue)]);
    RefreshChromaHistogram();
}

void CColorChangeView::RefreshChromaHistogram()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    CHistogramGraphCtrl* bar = Bar(Axis::Chroma);
    const int kind = kBarKinds[AxisIndex(Axis::Chroma)];
    if (!m_onlyInRange || m_active < 0)
    {
        bar->SetHistogram(project->GetChromaBins(), kind);
        return;
    }
    const CLChRange& entry = Entry(m_active);
    const colorchangeview::ChromaFilterBins filter = colorchangeview::ChromaFilter(
        entry.LChBeforMin[0], entry.LChBeforMax[0], entry.LChBeforMin[2], entry.LChBeforMax[2]);
    std::vector<std::uint32_t> bins(colorchangeview::kBinCount, 0u);
    project->GetChromaHistogram(bins, filter.lightnessLow, filter.lightnessHigh, filter.hueLow,
                                filter.hueHigh);
    bar->SetHistogram(bins, kind);
}

// ---- Data exchange

bool CColorChangeView::readControls()
{
    m_onlyInRange = m_onlyInRangeCheck->isChecked();
    if (m_active >= 0)
    {
        CLChRange& entry = Entry(m_active);
        // An edit is taken over only when it shows another value than the
        // element holds: the edits show tenths, and reading back an
        // unchanged edit would round the element's own values.
        for (Axis axis : kAxes)
            for (Bound bound : kBounds)
            {
                const CEditEx& edit = *Edit(axis, bound);
                const double stored = BoundValue(entry, axis, bound);
                if (edit.text() == ShownText(stored))
                    continue;
                BoundColour(entry, bound)[colorchangeview::AxisComponent(axis)] = edit.GetDouble();
                // A new centre is no longer the colour picked there.
                if (bound == Bound::Centre)
                    entry.RectData = CRect();
            }
    }
    if (HasImage())
        for (int i = 0; i < kRowCount; ++i)
            Entry(i).Hendou = m_subList->Rows[i]->Check->isChecked() ? 1 : 0;
    m_showAffected = m_showAffectedCheck->isChecked();
    return true;
}

void CColorChangeView::writeControls()
{
    if (m_active >= 0 && Entry(m_active).RectImage.IsRectEmpty())
        m_active = -1;
    const bool active = m_active >= 0;
    const bool editable = active && Entry(m_active).Hendou == 0;

    for (const AxisControls& controls : m_axes)
    {
        controls.bar->setEnabled(editable);
        for (int b = 0; b < 3; ++b)
        {
            controls.edits[b]->setEnabled(editable);
            controls.upDowns[b]->setEnabled(editable);
        }
    }
    m_onlyInRangeCheck->setEnabled(true);
    m_showAffectedCheck->setEnabled(active);
    m_deleteButton->setEnabled(active);
    m_onlyInRangeCheck->setChecked(m_onlyInRange);
    m_showAffectedCheck->setChecked(m_showAffected);

    // Rows: the active one marked; the focus follows it inside the list.
    for (int i = 0; i < kRowCount; ++i)
        m_subList->Rows[i]->SetActive(i == m_active);
    if (active)
    {
        CColorChangeSubElement* row = m_subList->Rows[m_active];
        const QWidget* focus = QApplication::focusWidget();
        if (focus != nullptr && m_subList->isAncestorOf(focus) && !row->isAncestorOf(focus))
            row->SourcePatch->setFocus(Qt::OtherFocusReason);
    }

    for (Axis axis : kAxes)
        for (Bound bound : kBounds)
        {
            const double value = active ? BoundValue(Entry(m_active), axis, bound) : 0.0;
            SetEditDoubleQuiet(value, *Edit(axis, bound));
            UpDown(axis, bound)->SetPos(colorchangeview::ValueToTenths(value));
        }

    if (HasImage())
    {
        const CCIEXYZ white = White();
        for (int i = 0; i < kRowCount; ++i)
        {
            CColorChangeSubElement* row = m_subList->Rows[i];
            const CLChRange& entry = Entry(i);
            const bool defined = !entry.RectImage.IsRectEmpty();
            row->setEnabled(defined);
            const std::array<CCIEXYZ, 2> colours = {
                CColorChangeDoc::LChToLab(entry.LChBeforCenter).ToXYZ(white),
                CColorChangeDoc::LChToLab(entry.LChAfter).ToXYZ(white)};
            std::array<RGB16, 2> shown{};
            GetProject()->XYZToOutputRGB(colours.data(), shown.data(), shown.size());
            row->SourcePatch->SetColor(ToRGBColor(shown[0]));
            row->TargetPatch->SetColor(ToRGBColor(shown[1]));
            row->Check->setEnabled(defined);
            row->Check->setChecked(defined && entry.Hendou != 0);
            row->Settings->setEnabled(defined && entry.Hendou != 0);
        }
    }
    else
    {
        for (CColorChangeSubElement* row : m_subList->Rows)
            row->Check->setChecked(false);
    }
    for (CColorChangeSubElement* row : m_subList->Rows)
        row->update();

    RefreshChromaHistogram();

    for (Axis axis : kAxes)
    {
        CHistogramGraphCtrl* bar = Bar(axis);
        const double scale = colorchangeview::AxisScale(axis);
        if (active)
        {
            const AxisRange range = StoredRange(axis);
            bar->GreenMarker = static_cast<std::int16_t>(colorchangeview::ValueToBin(range.centre, scale));
            bar->RangeStart = static_cast<std::int16_t>(colorchangeview::ValueToBin(range.min, scale));
            bar->RangeEnd = static_cast<std::int16_t>(colorchangeview::ValueToBin(range.max, scale));
        }
        else
        {
            bar->RangeStart = 0;
            bar->RangeEnd = 0;
        }
        bar->update();
    }
}

// ---- Notifications

void CColorChangeView::OnNotify(int message, int code, qint64 value)
{
    for (int a = 0; a < 3; ++a)
    {
        if (message == kBarMessages[a])
        {
            OnBar(kAxes[a], code);
            return;
        }
        for (int b = 0; b < 3; ++b)
        {
            if (message == UWM_COLORCHANGE_EDIT_FIRST + a * 3 + b)
            {
                OnEditChanged(kAxes[a], kBounds[b]);
                return;
            }
            if (message == kUpDownIds[a] + b)
            {
                OnUpDown(kAxes[a], kBounds[b], code, static_cast<int>(value));
                return;
            }
        }
    }
    if (message == UWM_COLORCHANGE_ACTIVE_ELEMENT)
    {
        OnVWActiveChange(static_cast<int>(value));
        return;
    }
    if (message >= kColorChangeSourcePatchFirst && message < kColorChangeStrengthFirst)
        OnRowCommand(message, code, static_cast<int>(value));
}

// The bars work in bins 0..255 of their axis's scale. A press leaves the
// selection empty: it is set back from the edits, so a click changes
// nothing. A drag writes the selection into the minimum and maximum edits.
// On release a range that no longer holds its centre is taken back.
void CColorChangeView::OnBar(Axis axis, int code)
{
    if (IsUpdating())
        return;
    CHistogramGraphCtrl* bar = Bar(axis);
    const double scale = colorchangeview::AxisScale(axis);
    if (code == 1)
    {
        if (m_active < 0)
            return;
        const AxisRange stored = StoredRange(axis);
        if (bar->RangeStart == bar->RangeEnd)
        {
            bar->RangeStart = static_cast<std::int16_t>(colorchangeview::ValueToBin(stored.min, scale));
            bar->RangeEnd = static_cast<std::int16_t>(colorchangeview::ValueToBin(stored.max, scale));
            bar->update();
            return;
        }
        if (BeginEdit() == 0)
        {
            SaveUndoState(*m_document);
            m_barChanged = true;
        }
        const double min = colorchangeview::BinToValue(bar->RangeStart, scale);
        const double max = colorchangeview::BinToValue(bar->RangeEnd, scale);
        if (ShownText(min) != Edit(axis, Bound::Minimum)->text())
            SetEditDoubleQuiet(min, *Edit(axis, Bound::Minimum));
        if (ShownText(max) != Edit(axis, Bound::Maximum)->text())
            SetEditDoubleQuiet(max, *Edit(axis, Bound::Maximum));
        UpdateControls(true);
        UpdateControls(false);
        return;
    }
    if (code != 2)
        return;
    EndEdit();
    if (m_barChanged && m_active >= 0 && colorchangeview::CentreOutside(axis, StoredRange(axis)))
    {
        Undo();
        SaveUndoState(*m_document);
        UpdateControls(true);
        UpdateControls(false);
    }
    m_barChanged = false;
    ApplyDocument();
}

void CColorChangeView::TakeBound(Axis axis, Bound bound, double typed)
{
    const double corrected = colorchangeview::CorrectBound(axis, bound, typed, StoredRange(axis));
    SetEditDoubleQuiet(corrected, *Edit(axis, bound));
    UpdateControls(true);
}

void CColorChangeView::OnEditChanged(Axis axis, Bound bound)
{
    if (IsUpdating() || m_active < 0)
        return;
    const CEditEx& edit = *Edit(axis, bound);
    // A commit of an unchanged text (the focus leaving) is no change.
    if (edit.text() == ShownText(BoundValue(Entry(m_active), axis, bound)))
        return;
    SaveUndoState(*m_document);
    TakeBound(axis, bound, edit.GetDouble());
    UpdateControls(false);
    ApplyDocument();
}

// The up-downs step in tenths; a scroll saves one undo state and previews
// when it ends.
void CColorChangeView::OnUpDown(Axis axis, Bound bound, int code, int position)
{
    if (IsUpdating())
        return;
    if (code == CUpDown::kEndScroll)
    {
        if (!IsEditing())
            return;
        EndEdit();
        ApplyDocument();
        return;
    }
    if (code != CUpDown::kThumbPosition || m_active < 0)
        return;
    if (axis == Axis::Hue)
    {
        position = WrapHueTenths(position);
        UpDown(axis, bound)->SetPos(position);
    }
    if (BeginEdit() == 0)
        SaveUndoState(*m_document);
    TakeBound(axis, bound, position / 10.0);
    UpdateControls(false);
}

void CColorChangeView::OnVWActiveChange(int row)
{
    if (IsUpdating())
        return;
    UpdateControls(true);
    m_active = static_cast<short>(row >= 0 && row < kRowCount ? row : -1);
    UpdateControls(false);
    if (m_showAffected)
        ApplyDocument();
}

// ---- Colour picks

void CColorChangeView::SetColorSample(const CCIELab& lab)
{
    ApplyColorSample(lab, SystemKeyState().modifiersDown());
}

void CColorChangeView::ApplyColorSample(const CCIELab& lab, Qt::KeyboardModifiers modifiers)
{
    const CCIELCh lch = CColorChangeDoc::LabToLCh(lab);
    const std::array<int, 3> markers = colorchangeview::SampleMarkers(lch);
    for (int a = 0; a < 3; ++a)
    {
        m_axes[a].bar->RedMarker = static_cast<std::int16_t>(markers[a]);
        m_axes[a].bar->update();
    }

    bool widen = modifiers.testFlag(Qt::ControlModifier);
    bool narrow = modifiers.testFlag(Qt::AltModifier);
    if (widen && narrow)
        widen = narrow = false;
    if ((!widen && !narrow) || m_active < 0 || IsUpdating())
        return;

    const std::unique_ptr<CBaseDoc> before = m_document->Clone();
    bool changed = false;
    const auto take = [&](Axis axis, const AxisRange& was, const AxisRange& now) {
        if (!changed)
            SaveUndoState(*before);
        changed = true;
        if (now.min != was.min)
            TakeBound(axis, Bound::Minimum, now.min);
        if (now.max != was.max)
            TakeBound(axis, Bound::Maximum, now.max);
    };
    if (widen)
    {
        for (Axis axis : kAxes)
        {
            const AxisRange was = StoredRange(axis);
            const double value = lch[colorchangeview::AxisComponent(axis)];
            if (const auto now = colorchangeview::WidenBySample(axis, was, value))
                take(axis, was, *now);
        }
    }
    else
    {
        const AxisRange was = StoredRange(Axis::Hue);
        if (const auto now = colorchangeview::NarrowHueBySample(was, lch[2]))
            take(Axis::Hue, was, *now);
    }
    if (!changed)
        return;
    UpdateControls(false);
    ApplyDocument();
}

void CColorChangeView::SetDragAndDropLab(const CRect& rect, const CCIELab& lab, const QPoint& screenPoint)
{
    CProjectManage* project = GetProject();
    if (project == nullptr || IsUpdating())
        return;
    // The row whose source or target patch lies under the point, within
    // the part of the list that is shown.
    QWidget* viewport = m_subList->viewport();
    if (!viewport->isVisible() || !viewport->rect().contains(viewport->mapFromGlobal(screenPoint)))
        return;
    int row = -1;
    bool onSource = false;
    for (int i = 0; i < kRowCount && row < 0; ++i)
    {
        CColorChangeSubElement* element = m_subList->Rows[i];
        const QWidget* child = element->childAt(element->mapFromGlobal(screenPoint));
        if (child == element->SourcePatch || child == element->TargetPatch)
        {
            row = i;
            onSource = child == element->SourcePatch;
        }
    }
    if (row < 0)
        return;

    SaveUndoState(*m_document);
    UpdateControls(true);
    m_active = static_cast<short>(row);
    CLChRange& entry = Entry(row);
    const CCIELCh lch = CColorChangeDoc::LabToLCh(lab);
    if (onSource)
    {
        using colorchangeview::RangeAroundValue;
        const auto lightness = RangeAroundValue(Axis::Lightness, project->GetLightnessBins(), lch[0]);
        const auto hue = RangeAroundValue(Axis::Hue, project->GetHueBins(), lch[2]);
        std::vector<std::uint32_t> chromaBins = project->GetChromaBins();
        if (m_onlyInRange)
        {
            const auto filter = colorchangeview::ChromaFilter(lightness.min, lightness.max, hue.min, hue.max);
            chromaBins.assign(colorchangeview::kBinCount, 0u);
            project->GetChromaHistogram(chromaBins, filter.lightnessLow, filter.lightnessHigh,
                                        filter.hueLow, filter.hueHigh);
        }
        const auto chroma = RangeAroundValue(Axis::Chroma, chromaBins, lch[1]);
        entry.LChBeforMin = CCIELCh(lightness.min, chroma.min, hue.min);
        entry.LChBeforCenter = lch;
        entry.LChBeforMax = CCIELCh(lightness.max, chroma.max, hue.max);
        entry.LChSetting = lch;
        entry.RectData = rect;
        const CRGBImage& image = project->GetWorkingImage();
        entry.RectImage = CRect(0, 0, image.GetWidth(), image.GetHeight());
    }
    entry.LChAfter = lch;
    UpdateControls(false);
    ApplyDocument();
}

// ---- Rows

void CColorChangeView::OnRowCommand(int message, int code, int row)
{
    if (IsUpdating() || row < 0 || row >= kRowCount)
        return;
    if (message == kColorChangeSourcePatchFirst + row)
    {
        if (code == CColorPatchCtrl::kPressed)
            OnSourcePatch(row);
    }
    else if (message == kColorChangeTargetPatchFirst + row)
    {
        if (code == CColorPatchCtrl::kReleased)
            OnTargetPatchReleased(row);
    }
    else if (message == kColorChangeArrowFirst + row)
        OnArrow(row);
    else if (message == kColorChangeSettingsFirst + row)
        OnSettings(row);
    else if (message == kColorChangeCheckFirst + row)
        OnCheck(row);
}

void CColorChangeView::OnSourcePatch(int row)
{
    UpdateControls(true);
    m_active = static_cast<short>(row);
    UpdateControls(false);
}

void CColorChangeView::OnArrow(int row)
{
    SaveUndoState(*m_document);
    UpdateControls(true);
    CLChRange& entry = Entry(row);
    entry.LChAfter = entry.LChBeforCenter;
    m_active = static_cast<short>(row);
    UpdateControls(false);
    ApplyDocument();
}

void CColorChangeView::OnCheck(int row)
{
    // The box already shows the new state: the undo state is the document
    // before it is read.
    SaveUndoState(*m_document);
    UpdateControls(true);
    m_active = static_cast<short>(row);
    UpdateControls(false);
    ApplyDocument();
    for (const AxisControls& controls : m_axes)
        controls.bar->repaint();
}

void CColorChangeView::OnDelete()
{
    if (m_active < 0)
        return;
    SaveUndoState(*m_document);
    UpdateControls(true);
    CColorChangeDoc::ResetEntry(Entry(m_active));
    m_active = -1;
    UpdateControls(false);
    ApplyDocument();
}

// The colour search runs on the element's target; its live reports reach
// OnSearchColor. OK keeps the result with the document before the dialog
// as the undo state; anything else puts that document back.
void CColorChangeView::OnTargetPatchReleased(int row)
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    m_active = static_cast<short>(row);
    const std::unique_ptr<CBaseDoc> snapshot = m_document->Clone();
    const CCIEXYZ white = White();
    CColorSearchDlg dialog(this);
    dialog.Converter = project;
    dialog.setNotifyMessage(UWM_COLORCHANGE_SUBLIST);
    dialog.SetStartColor(CColorChangeDoc::LChToLab(Entry(row).LChAfter).ToXYZ(white));
    connect(&dialog, &CColorSearchDlg::notify, this,
            [this, &dialog](int message, int code, qint64) {
                if (message == UWM_COLORCHANGE_SUBLIST)
                    OnSearchColor(code, dialog.GetResultColor());
            });
    if (dialog.exec() == kDialogOk)
    {
        Entry(row).LChAfter = CColorChangeDoc::LabToLCh(dialog.GetResultColor().ToLab(white));
        SaveUndoState(*snapshot);
    }
    else
    {
        m_document->Assign(*snapshot);
    }
    UpdateControls(true);
    UpdateControls(false);
    ApplyDocument();
}

void CColorChangeView::OnSearchColor(int code, const CCIEXYZ& xyz)
{
    if (code != CColorSearchDlg::kChanged || m_active < 0)
        return;
    Entry(m_active).LChAfter = CColorChangeDoc::LabToLCh(xyz.ToLab(White()));
    UpdateControls(true);
    UpdateControls(false);
    ApplyDocument();
}

// The variation dialog reports its sliders live; OK keeps the final
// values with the element as it was before the dialog as the undo state,
// Cancel puts the values from before back.
void CColorChangeView::OnSettings(int row)
{
    UpdateControls(true);
    m_active = static_cast<short>(row);
    const double strengthBefore = Entry(row).HendouEffectK;
    const double rangeBefore = Entry(row).HendouRangeDeltaE;

    CHendouCustomDlg dialog(this);
    dialog.StrengthMessage = kColorChangeStrengthFirst + row;
    dialog.RangeMessage = kColorChangeRangeFirst + row;
    dialog.StrengthPos = colorchangeview::StrengthPosition(strengthBefore);
    dialog.RangePos = colorchangeview::RangePosition(rangeBefore);
    connect(&dialog, &CHendouCustomDlg::notify, this, [this, &dialog, row](int message, int, qint64) {
        UpdateControls(true);
        if (message == dialog.StrengthMessage)
            Entry(row).HendouEffectK = dialog.StrengthValue();
        else if (message == dialog.RangeMessage)
            Entry(row).HendouRangeDeltaE = dialog.RangeValue();
        UpdateControls(false);
        ApplyDocument();
    });
    if (dialog.exec() == kDialogOk)
    {
        const std::unique_ptr<CBaseDoc> undo = m_document->Clone();
        CLChRange& was = static_cast<CColorChangeDoc&>(*undo).GetParams().entries[static_cast<std::size_t>(row)];
        was.HendouEffectK = strengthBefore;
        was.HendouRangeDeltaE = rangeBefore;
        Entry(row).HendouEffectK = dialog.StrengthValue();
        Entry(row).HendouRangeDeltaE = dialog.RangeValue();
        SaveUndoState(*undo);
    }
    else
    {
        Entry(row).HendouEffectK = strengthBefore;
        Entry(row).HendouRangeDeltaE = rangeBefore;
    }
    UpdateControls(false);
    ApplyDocument();
}
