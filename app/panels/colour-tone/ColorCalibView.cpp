#include "app/panels/colour-tone/ColorCalibView.h"

#include "app/panels/StepPanelControls.h"
#include "app/panels/StepPanelLogic.h"
#include "app/panels/colour-tone/ColorCalibViewLogic.h"
#include "controls/support/ResourceImages.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/ColorCircleCtrl.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/EditExLogic.h"
#include "controls/widgets/MultiSlider.h"
#include "controls/widgets/UpDown.h"
#include "core/PathUtils.h"
#include "correction/ProjectManage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace {

// The document's declaration of a parameter, found by its key when the
// program is compiled.
constexpr const ParamDef<CColorCalibData>& Param(std::string_view key)
{
    return FindParamDef(CColorCalibDoc::kParamTable, key);
}

constexpr const ParamDef<CColorCalibData>& kOffsetParam = Param("Offset");
constexpr const ParamDef<CColorCalibData>& kDirectionParam = Param("Direction");
constexpr const ParamDef<CColorCalibData>& kSatParam = Param("Sat");
constexpr const ParamDef<CColorCalibData>& kColorCountParam = Param("ColorCount");

// The panel's own limits where they are narrower than the document's: a
// chroma of 0 would flatten every colour, and fewer than three hue points
// make no correction worth the name.
constexpr double kMinChroma = 0.1;
constexpr double kMaxPointChroma = 100.0;
constexpr int kMinHueCount = 3;
// Typed hues may be anything; they are brought onto the circle.
constexpr double kAnyHue = 1.0e6;
// The hue up-downs count tenths of a degree, one past each end.
constexpr int kHueTenthsLow = -1;
constexpr int kHueTenthsHigh = 3600;

// The balance marker sits at the colour-cast target's chroma and hue.
constexpr double kMarkerLightness = 100.0;
// The reference ring of balance mode: chroma 50 from hue 0.
constexpr double kReferenceRingChroma = 50.0;
// The balance offset track is a mid grey.
constexpr std::uint16_t kOffsetTrackGrey = 0x7FFF;

constexpr int kStrWhiteBalanceTip = 3017;
constexpr int kStrOffsetTip = 3018;
constexpr int kStrDirectionTip = 3019;
constexpr int kStrCircleDetailedTip = 3020;
constexpr int kStrCircleBalanceTip = 3021;
constexpr int kIconPointsFromChart = 144;

constexpr int kSliderThickness = 18;

QString IdName(int id)
{
    return QString::number(id);
}

std::int16_t ThumbOf(double value)
{
    return static_cast<std::int16_t>(std::clamp(std::trunc(value), -32768.0, 32767.0));
}

// A value in the tenths the up-downs count and the edits show. To the
// nearest tenth, not truncated: a hue computed as 360 / n x i + phase lies
// a rounding error below its tenth as often as above it, and truncation
// would then step it by nothing.
int TenthsOf(double value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<int>(std::llround(std::clamp(value * 10.0, -1.0e9, 1.0e9)));
}

// The value an edit of the given decimals shows for a number.
double Shown(double value, int decimals)
{
    return ParseLeadingReal(FormatReal(value, decimals));
}

} // namespace

CColorCalibView::CColorCalibView(QWidget* parent)
    : CStepView(CProjectManage::kStepColorCalib - 1, std::make_unique<CColorCalibDoc>(), parent)
{
    BuildForm();
    LoadSettings(GetIniFilePath());
    SetDataValid();
    UpdateControls(false);
}

CColorCalibView::~CColorCalibView() = default;

CColorCalibDoc& CColorCalibView::Document()
{
    return static_cast<CColorCalibDoc&>(*m_document);
}

void CColorCalibView::SetMeasuredPairs(std::vector<colorcalib::MeasuredPair> pairs)
{
    m_measured = std::move(pairs);
}

void CColorCalibView::BuildForm()
{
    QVBoxLayout* form = MakeFormLayout();
    QWidget* page = form->parentWidget();

    m_circle = new CColorCircleCtrl(page);
    m_circle->setObjectName(IdName(kIdCircle));
    m_circle->setFixedSize(kCircleSide, kCircleSide);
    m_circle->setNotifyMessage(UWM_COLORCALIB_CIRCLE);
    m_circle->SetHueHistogram(std::vector<std::uint32_t>(360, 0));
    m_circle->SetMarkerLCh(CCIELCh(50.0, 0.0, 0.0));

    m_offsetSlider = new CMultiSlider(page);
    m_offsetSlider->setObjectName(IdName(kIdOffsetSlider));
    m_offsetSlider->Init(RGBColor{kOffsetTrackGrey, kOffsetTrackGrey, kOffsetTrackGrey},
                         kIconSliderThumbVertical, static_cast<std::int16_t>(kOffsetParam.maxValue),
                         {0}, true, MultiSliderStyle::Solid);
    m_offsetSlider->setFixedSize(kSliderThickness, kCircleSide);
    m_offsetSlider->setNotifyMessage(UWM_COLORCALIB_SLIDER_A);
    m_offsetSlider->setToolTip(LoadString(kStrOffsetTip));

    m_directionSlider = new CMultiSlider(page);
    m_directionSlider->setObjectName(IdName(kIdDirectionSlider));
    m_directionSlider->Init(std::nullopt, kIconSliderThumb,
                            static_cast<std::int16_t>(kDirectionParam.maxValue), {0}, false,
                            MultiSliderStyle::Hue);
    m_directionSlider->setFixedSize(kCircleSide, kSliderThickness);
    m_directionSlider->setNotifyMessage(UWM_COLORCALIB_SLIDER_B);
    m_directionSlider->setToolTip(LoadString(kStrDirectionTip));

    auto* circle = new QGridLayout;
    circle->setSpacing(2);
    circle->addWidget(m_circle, 0, 0);
    circle->addWidget(m_offsetSlider, 0, 1);
    circle->addWidget(m_directionSlider, 1, 0);
    circle->setColumnStretch(2, 1);
    form->addLayout(circle);

    auto* group = new QGroupBox(page);
    auto* grid = new QGridLayout(group);
    m_offset = MakeRealEdit(group, kIdOffset, UWM_COLORCALIB_OFFSET_EDIT, 1, kOffsetParam.minValue,
                            kOffsetParam.maxValue);
    m_direction = MakeRealEdit(group, kIdDirection, UWM_COLORCALIB_DIRECTION_EDIT, 1,
                               kDirectionParam.minValue, kDirectionParam.maxValue);
    m_hue = MakeRealEdit(group, kIdHue, UWM_COLORCALIB_HUE_EDIT, 1, -kAnyHue, kAnyHue);
    m_chroma = MakeRealEdit(group, kIdChroma, UWM_COLORCALIB_CHROMA_EDIT, 1, kMinChroma,
                            kSatParam.maxValue);
    grid->addWidget(MakeLabel(group, 1078, QStringLiteral("バランス")), 0, 0, 1, 4);
    grid->addWidget(MakeLabel(group, 1079, QStringLiteral("オフセット :")), 1, 0);
    grid->addWidget(m_offset, 1, 1);
    grid->addWidget(MakeLabel(group, 1080, QStringLiteral("方向 :")), 1, 2);
    grid->addWidget(m_direction, 1, 3);
    grid->addWidget(MakeLabel(group, 1083, QStringLiteral("色相 :")), 2, 0);
    grid->addWidget(m_hue, 2, 1);
    grid->addWidget(MakeLabel(group, 1099, QStringLiteral("彩度 :")), 2, 2);
    grid->addWidget(m_chroma, 2, 3);

    m_detailed = new QCheckBox(QStringLiteral("詳細補正"), group);
    m_detailed->setObjectName(IdName(kIdDetailed));
    m_whiteBalance = new QToolButton(group);
    m_whiteBalance->setObjectName(IdName(kIdWhiteBalance));
    m_whiteBalance->setCheckable(true);
    m_whiteBalance->setIcon(LoadIconResource(kIconWhiteBalancePicker));
    m_whiteBalance->setToolTip(LoadString(kStrWhiteBalanceTip));
    m_pointsFromChart = new QPushButton(group);
    m_pointsFromChart->setObjectName(IdName(kIdPointsFromChart));
    m_pointsFromChart->setIcon(LoadIconResource(kIconPointsFromChart));
    m_pointsFromChart->hide();
    auto* modes = new QHBoxLayout;
    modes->addWidget(m_detailed);
    modes->addStretch(1);
    modes->addWidget(m_whiteBalance);
    grid->addLayout(modes, 3, 0, 1, 4);

    const int maxCount = static_cast<int>(kColorCountParam.maxValue);
    m_hueCount = MakeIntEdit(group, kIdHueCount, UWM_COLORCALIB_HUECOUNT_EDIT, kMinHueCount, maxCount);
    m_hueCountSpin = MakeUpDown(group, kIdHueCountSpin, kMinHueCount, maxCount, false);
    m_phase = MakeRealEdit(group, kIdPhase, UWM_COLORCALIB_PHASE_EDIT, 1, -kAnyHue, kAnyHue);
    m_phaseSpin = MakeUpDown(group, kIdPhaseSpin, kHueTenthsLow, kHueTenthsHigh, true);
    m_pointNo = MakeIntEdit(group, kIdPointNo, UWM_COLORCALIB_POINTNO_EDIT, 1, 1);
    m_pointNoSpin = MakeUpDown(group, kIdPointNoSpin, 0, 2, true);
    m_pointHue = MakeRealEdit(group, kIdPointHue, UWM_COLORCALIB_POINTHUE_EDIT, 1, -kAnyHue, kAnyHue);
    m_pointHueSpin = MakeUpDown(group, kIdPointHueSpin, kHueTenthsLow, kHueTenthsHigh, true);
    m_pointChroma = MakeRealEdit(group, kIdPointChroma, UWM_COLORCALIB_POINTCHROMA_EDIT, 1, kMinChroma,
                                 kMaxPointChroma);
    m_pointChromaSpin = MakeUpDown(group, kIdPointChromaSpin, TenthsOf(kMinChroma),
                                   TenthsOf(kMaxPointChroma), false);
    grid->addWidget(MakeLabel(group, 1087, QStringLiteral("色相数 :")), 4, 0);
    grid->addLayout(EditWithUpDown(m_hueCount, m_hueCountSpin), 4, 1);
    grid->addWidget(MakeLabel(group, 1091, QStringLiteral("位相 :")), 4, 2);
    grid->addLayout(EditWithUpDown(m_phase, m_phaseSpin), 4, 3);
    grid->addWidget(MakeLabel(group, 1072, QStringLiteral("NO :")), 5, 0);
    grid->addLayout(EditWithUpDown(m_pointNo, m_pointNoSpin), 5, 1);
    grid->addWidget(MakeLabel(group, 1096, QStringLiteral("色相値 :")), 6, 0);
    grid->addLayout(EditWithUpDown(m_pointHue, m_pointHueSpin), 6, 1);
    grid->addWidget(MakeLabel(group, 1086, QStringLiteral("彩度値 :")), 6, 2);
    grid->addLayout(EditWithUpDown(m_pointChroma, m_pointChromaSpin), 6, 3);
    grid->setColumnStretch(4, 1);
    form->addWidget(group);

    AddCommonButtonRows(form);

    for (CEditEx* edit : {m_offset, m_direction, m_hue, m_chroma, m_hueCount, m_phase, m_pointNo,
                          m_pointHue, m_pointChroma})
        connect(edit, &CEditEx::notify, this, &CColorCalibView::onNotify);
    for (CUpDown* spin : {m_hueCountSpin, m_phaseSpin, m_pointNoSpin, m_pointHueSpin, m_pointChromaSpin})
        connect(spin, &CUpDown::notify, this, &CColorCalibView::onNotify);
    for (CControlWidget* control : {static_cast<CControlWidget*>(m_circle),
                                    static_cast<CControlWidget*>(m_offsetSlider),
                                    static_cast<CControlWidget*>(m_directionSlider)})
        connect(control, &CControlWidget::notify, this, &CColorCalibView::onNotify);
    connect(m_detailed, &QCheckBox::clicked, this, [this] { CommitControls(); });
    connect(m_whiteBalance, &QToolButton::clicked, this,
            [this](bool down) { OnWhiteBalanceClicked(down); });
    connect(m_pointsFromChart, &QPushButton::clicked, this, [this] { OnPointsFromChart(); });
}

// ---- Entering, leaving and picks

void CColorCalibView::OnEnterStep()
{
    m_whiteBalance->setChecked(false);
    CStepView::OnEnterStep();
    std::vector<std::uint32_t> histogram(360, 0);
    m_measured.clear();
    m_circle->Converter = nullptr;
    if (CProjectManage* project = GetProject())
    {
        std::vector<CCIELCh> measured;
        project->MeasureColorPatches(measured);
        // The project gives one colour per chart patch; it stands for the
        // point before and after alike.
        for (const CCIELCh& lch : measured)
            m_measured.push_back({lch, lch});
        if (project->IsImageReady())
        {
            m_circle->Converter = project;
            if (project->GetHueHistogram().size() == histogram.size())
                histogram = project->GetHueHistogram();
        }
    }
    m_circle->SetHueHistogram(histogram);
    UpdateControls(false);
}

void CColorCalibView::OnLeaveStep(bool commit)
{
    m_whiteBalance->setChecked(false);
    NotifyCompareOff();
    CStepView::OnLeaveStep(commit);
}

void CColorCalibView::SetSampleLab(const CCIELab& lab)
{
    m_circle->SetMarkerLab(lab);
}

void CColorCalibView::SetWhiteBalanceSample(const CCIEXYZ& xyz)
{
    CProjectManage* project = GetProject();
    if (project == nullptr || !m_whiteBalance->isChecked())
        return;
    if (!(xyz[0] > 0.1 && xyz[1] > 0.1 && xyz[2] > 0.1))
        return;
    double offset = 0.0;
    double direction = 0.0;
    if (!CColorCalibDoc::MeasureHueShift(project->GetWhiteXYZ(), xyz, offset, direction))
        return;
    SetEditRealQuiet(offset, *m_offset);
    m_offset->repaint();
    SetEditRealQuiet(direction, *m_direction);
    m_direction->repaint();
    CommitControls();
}

void CColorCalibView::OnWhiteBalanceClicked(bool down)
{
    if (down)
        NotifyCompareOn();
    else
        NotifyCompareOff();
}

// ---- Data exchange

bool CColorCalibView::readControls()
{
    m_preview = PreviewCheck()->isChecked();
    CColorCalibData data = Document().GetCalibData();
    data.Direction = m_direction->GetDouble();
    data.Offset = m_offset->GetDouble();
    data.Sat = m_chroma->GetDouble();
    data.Hue = m_hue->GetDouble();
    data.fRandamCalib = m_detailed->isChecked() ? 1 : 0;
    const int count = m_hueCount->GetInt();
    const double phase = m_phase->GetDouble();
    if (count == data.ColorCount && TenthsOf(phase) == TenthsOf(data.startHue))
    {
        // The edits show the selected point with one decimal; the point
        // keeps its exact values until different ones are typed.
        if (m_pointNo->GetInt() == m_selectedPoint && m_selectedPoint >= 1 &&
            m_selectedPoint <= CColorCalibData::kMaxColors)
        {
            CCIELCh& point = data.LchAfter[static_cast<std::size_t>(m_selectedPoint - 1)];
            const double chroma = m_pointChroma->GetDouble();
            const double hue = m_pointHue->GetDouble();
            if (chroma != Shown(point[1], m_pointChroma->Decimals))
                point[1] = chroma;
            if (hue != Shown(point[2], m_pointHue->Decimals))
                point[2] = hue;
        }
    }
    else
    {
        data.ColorCount = static_cast<std::int16_t>(count);
        data.startHue = phase;
        CColorCalibDoc::InitHueTable(data);
    }
    m_selectedPoint = std::clamp(m_pointNo->GetInt(), 1, std::max<int>(data.ColorCount, 1));
    Document().SetCalibData(data);
    return true;
}

void CColorCalibView::writeControls()
{
    const CColorCalibData data = Document().GetCalibData();
    const int count = std::clamp<int>(data.ColorCount, 1, CColorCalibData::kMaxColors);
    m_selectedPoint = std::clamp(m_selectedPoint, 1, count);

    m_directionSlider->SetPos(0, ThumbOf(data.Direction));
    m_offsetSlider->SetPos(0, ThumbOf(data.Offset));
    SetEditRealQuiet(data.Direction, *m_direction);
    SetEditRealQuiet(data.Offset, *m_offset);

    const bool detailed = data.fRandamCalib != 0;
    SetEditRealQuiet(data.Sat, *m_chroma);
    SetEditRealQuiet(data.Hue, *m_hue);
    m_chroma->setEnabled(!detailed);
    m_hue->setEnabled(!detailed);
    m_detailed->setChecked(detailed);

    SetEditIntQuiet(data.ColorCount, *m_hueCount);
    m_hueCountSpin->SetPos(data.ColorCount);
    SetEditRealQuiet(data.startHue, *m_phase);
    m_phaseSpin->SetPos(TenthsOf(data.startHue));
    m_pointNo->IntMax = count;
    m_pointNoSpin->SetRange(m_pointNoSpin->GetLower(), count + 1);
    SetEditIntQuiet(m_selectedPoint, *m_pointNo);
    m_pointNoSpin->SetPos(m_selectedPoint);

    const CCIELCh& point = data.LchAfter[static_cast<std::size_t>(m_selectedPoint - 1)];
    SetEditRealQuiet(point[1], *m_pointChroma);
    m_pointChromaSpin->SetPos(TenthsOf(point[1]));
    SetEditRealQuiet(point[2], *m_pointHue);
    m_pointHueSpin->SetPos(TenthsOf(point[2]));

    m_pointsFromChart->setEnabled(detailed && m_measured.size() >= 3);
    for (QWidget* points :
         {static_cast<QWidget*>(m_hueCount), static_cast<QWidget*>(m_hueCountSpin),
          static_cast<QWidget*>(m_phase), static_cast<QWidget*>(m_phaseSpin),
          static_cast<QWidget*>(m_pointNo), static_cast<QWidget*>(m_pointNoSpin),
          static_cast<QWidget*>(m_pointHue), static_cast<QWidget*>(m_pointHueSpin),
          static_cast<QWidget*>(m_pointChroma), static_cast<QWidget*>(m_pointChromaSpin)})
        points->setEnabled(detailed);

    m_circle->AllPointsMode = !detailed;
    ShowPoints(data);
    m_circle->setToolTip(LoadString(detailed ? kStrCircleDetailedTip : kStrCircleBalanceTip));
    ShowBalanceMarker();
    m_pointsFromChart->hide();
    SetPreview(m_preview);
}

void CColorCalibView::ShowPoints(const CColorCalibData& data)
{
    if (data.fRandamCalib != 0)
    {
        const auto count = static_cast<std::size_t>(std::clamp<int>(data.ColorCount, 0, CColorCalibData::kMaxColors));
        m_circle->SetPoints(data.ChartLchRef, data.LchBefore, data.LchAfter, count);
        SetCircleSelection(m_selectedPoint - 1);
        return;
    }
    // Balance: the reference ring, and the ring the hue turns and the
    // chroma scales.
    std::array<CCIELCh, 12> reference;
    std::array<CCIELCh, 12> turned;
    CColorCalibDoc::MakeHueCircle(reference, kReferenceRingChroma, 0.0);
    CColorCalibDoc::MakeHueCircle(turned, data.Sat, data.Hue);
    m_circle->SetPoints(reference, reference, turned, reference.size());
    SetCircleSelection(-1);
}

void CColorCalibView::SetCircleSelection(int index)
{
    if (m_circle->SelectedIndex == index)
        return;
    m_circle->SelectedIndex = static_cast<std::int16_t>(index);
    m_circle->update();
}

void CColorCalibView::ShowBalanceMarker()
{
    const CColorCalibData& data = Document().GetCalibData();
    m_circle->SetMarkerLCh(CCIELCh(kMarkerLightness, data.Offset, data.Direction));
}

double CColorCalibView::SelectedPointHue() const
{
    const CColorCalibData& data = static_cast<const CColorCalibDoc&>(*m_document).GetCalibData();
    const int index = std::clamp(m_selectedPoint, 1, CColorCalibData::kMaxColors) - 1;
    return data.LchAfter[static_cast<std::size_t>(index)][2];
}

// ---- Edits

void CColorCalibView::CommitControls()
{
    const std::unique_ptr<CBaseDoc> before = m_document->Clone();
    UpdateControls(true);
    const bool changed = !m_document->IsEqual(*before);
    if (changed)
        SaveUndoState(*before);
    UpdateControls(false);
    if (changed)
        ApplyDocument();
}

void CColorCalibView::EndDrag()
{
    const bool editing = IsEditing();
    EndEdit();
    UpdateControls(true);
    UpdateControls(false);
    if (editing)
        ApplyDocument();
}

void CColorCalibView::OnWrappedHueEdit(CEditEx& edit)
{
    const double typed = edit.GetDouble();
    const double wrapped = colorcalib::WrapHue(typed);
    if (wrapped != typed)
        SetEditRealQuiet(wrapped, edit);
    CommitControls();
}

void CColorCalibView::OnPointHueEdit()
{
    const double typed = m_pointHue->GetDouble();
    const double wrapped = colorcalib::WrapHue(typed);
    const CColorCalibData& data = Document().GetCalibData();
    if (!colorcalib::AcceptsPointHue(data.LchAfter, data.ColorCount, m_selectedPoint - 1, wrapped))
        SetEditRealQuiet(SelectedPointHue(), *m_pointHue);
    else if (wrapped != typed)
        SetEditRealQuiet(wrapped, *m_pointHue);
    CommitControls();
}

// ---- Circle, sliders and up-downs

void CColorCalibView::OnCircle(int value)
{
    if (value == 1)
    {
        EndDrag();
        return;
    }
    if (BeginEdit() == 0)
        SaveUndoState(*m_document);
    CColorCalibData data = Document().GetCalibData();
    if (data.fRandamCalib == 0)
    {
        // Balance: the turned ring's first point carries the hue and chroma.
        const std::vector<HuePoint>& ring = m_circle->HueCurve();
        if (ring.empty())
            return;
        const double chroma = colorcalib::TruncateToTenth(ring.front().r * 100.0);
        const double hue =
            colorcalib::WrapHue(colorcalib::TruncateToTenth(ring.front().theta * 180.0 / kCirclePi));
        if (chroma != m_chroma->GetDouble())
        {
            SetEditRealQuiet(chroma, *m_chroma);
            m_chroma->repaint();
        }
        if (hue != m_hue->GetDouble())
        {
            SetEditRealQuiet(hue, *m_hue);
            m_hue->repaint();
        }
        data.Sat = m_chroma->GetDouble();
        data.Hue = m_hue->GetDouble();
    }
    else
    {
        m_circle->GetHueCurve(static_cast<std::size_t>(std::max<int>(data.ColorCount, 0)),
                              data.LchAfter);
        const int grabbed = m_circle->GrabbedIndex();
        if (grabbed >= 0 && grabbed < CColorCalibData::kMaxColors)
        {
            m_selectedPoint = grabbed + 1;
            if (m_pointNo->GetInt() != m_selectedPoint)
            {
                SetEditIntQuiet(m_selectedPoint, *m_pointNo);
                m_pointNoSpin->SetPos(m_selectedPoint);
                m_pointNo->repaint();
            }
            const CCIELCh& point = data.LchAfter[static_cast<std::size_t>(grabbed)];
            if (Shown(point[1], m_pointChroma->Decimals) != m_pointChroma->GetDouble())
            {
                SetEditRealQuiet(point[1], *m_pointChroma);
                m_pointChroma->repaint();
            }
            if (Shown(point[2], m_pointHue->Decimals) != m_pointHue->GetDouble())
            {
                SetEditRealQuiet(point[2], *m_pointHue);
                m_pointHue->repaint();
            }
        }
    }
    Document().SetCalibData(data);
}

void CColorCalibView::OnSlider(int message, int code)
{
    if (code == CMultiSlider::kReleased)
    {
        EndDrag();
        return;
    }
    if (code != CMultiSlider::kDragging)
        return;
    CMultiSlider* slider = message == UWM_COLORCALIB_SLIDER_A ? m_offsetSlider : m_directionSlider;
    CEditEx* edit = message == UWM_COLORCALIB_SLIDER_A ? m_offset : m_direction;
    if (slider->Positions.empty())
        return;
    if (BeginEdit() == 0)
        SaveUndoState(*m_document);
    SetEditRealQuiet(slider->Positions.front(), *edit);
    edit->repaint();
    UpdateControls(true);
    ShowBalanceMarker();
}

void CColorCalibView::OnUpDown(int message, int code, int position)
{
    if (code == CUpDown::kEndScroll)
    {
        EndDrag();
        return;
    }
    if (code != CUpDown::kThumbPosition)
        return;
    if (message != kIdPointNoSpin && BeginEdit() == 0)
        SaveUndoState(*m_document);
    switch (message)
    {
    case kIdHueCountSpin:
    {
        SetEditIntQuiet(position, *m_hueCount);
        // The document takes the new count when the scroll ends; meanwhile
        // the circle shows the points spread anew.
        CColorCalibData spread = Document().GetCalibData();
        spread.ColorCount = static_cast<std::int16_t>(m_hueCount->GetInt());
        CColorCalibDoc::InitHueTable(spread);
        ShowPoints(spread);
        break;
    }
    case kIdPhaseSpin:
    {
        const int tenths = WrapHueTenths(position);
        m_phaseSpin->SetPos(tenths);
        SetEditRealQuiet(tenths / 10.0, *m_phase);
        CColorCalibData spread = Document().GetCalibData();
        spread.startHue = tenths / 10.0;
        CColorCalibDoc::InitHueTable(spread);
        ShowPoints(spread);
        break;
    }
    case kIdPointNoSpin:
    {
        const int number = WrapPointNumber(position, m_pointNo->IntMin, m_pointNo->IntMax);
        m_pointNoSpin->SetPos(number);
        SetEditIntQuiet(number, *m_pointNo);
        SetCircleSelection(number - 1);
        break;
    }
    case kIdPointHueSpin:
    {
        const int tenths = WrapHueTenths(position);
        const CColorCalibData& data = Document().GetCalibData();
        if (colorcalib::AcceptsPointHue(data.LchAfter, data.ColorCount, m_selectedPoint - 1,
                                        tenths / 10.0))
        {
            m_pointHueSpin->SetPos(tenths);
            SetEditRealQuiet(tenths / 10.0, *m_pointHue);
            UpdateControls(true);
            ShowPoints(Document().GetCalibData());
        }
        else
        {
            m_pointHueSpin->SetPos(TenthsOf(SelectedPointHue()));
        }
        break;
    }
    case kIdPointChromaSpin:
        SetEditRealQuiet(position / 10.0, *m_pointChroma);
        UpdateControls(true);
        ShowPoints(Document().GetCalibData());
        break;
    default:
        break;
    }
}

void CColorCalibView::OnPointsFromChart()
{
    SaveUndoState(*m_document);
    UpdateControls(true);
    CColorCalibData data = Document().GetCalibData();
    colorcalib::PointsFromMeasuredPairs(data, m_measured, m_selectedPoint);
    Document().SetCalibData(data);
    UpdateControls(false);
    ApplyDocument();
}

void CColorCalibView::onNotify(int message, int code, qint64 value)
{
    // Values the panel writes into its own controls are not edits.
    if (IsUpdating())
        return;
    switch (message)
    {
    case UWM_COLORCALIB_CIRCLE:
        OnCircle(static_cast<int>(value));
        break;
    case UWM_COLORCALIB_SLIDER_A:
    case UWM_COLORCALIB_SLIDER_B:
        OnSlider(message, code);
        break;
    case UWM_COLORCALIB_OFFSET_EDIT:
    case UWM_COLORCALIB_DIRECTION_EDIT:
    case UWM_COLORCALIB_CHROMA_EDIT:
    case UWM_COLORCALIB_HUECOUNT_EDIT:
    case UWM_COLORCALIB_POINTCHROMA_EDIT:
        CommitControls();
        break;
    case UWM_COLORCALIB_HUE_EDIT:
        OnWrappedHueEdit(*m_hue);
        break;
    case UWM_COLORCALIB_PHASE_EDIT:
        OnWrappedHueEdit(*m_phase);
        break;
    case UWM_COLORCALIB_POINTNO_EDIT:
        UpdateControls(true);
        UpdateControls(false);
        break;
    case UWM_COLORCALIB_POINTHUE_EDIT:
        OnPointHueEdit();
        break;
    case kIdHueCountSpin:
    case kIdPhaseSpin:
    case kIdPointNoSpin:
    case kIdPointHueSpin:
    case kIdPointChromaSpin:
        OnUpDown(message, code, static_cast<int>(value));
        break;
    default:
        break;
    }
}
