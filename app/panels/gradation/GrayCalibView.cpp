#include "app/panels/gradation/GrayCalibView.h"

#include "app/panels/StepPanelControls.h"
#include "app/panels/StepPanelLogic.h"
#include "app/panels/gradation/GrayCalibViewLogic.h"
#include "controls/support/ResourceImages.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/GrayScaleGraphCtrl.h"
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
#include <QVBoxLayout>

#include <algorithm>
#include <string_view>

namespace {

// The document's declaration of a parameter, found by its key when the
// program is compiled.
constexpr const ParamDef<GrayCalibParams>& Param(std::string_view key)
{
    return FindParamDef(CGrayCalibDoc::kParamTable, key);
}

constexpr const ParamDef<GrayCalibParams>& kInBlackParam = Param("InBlackLevel");
constexpr const ParamDef<GrayCalibParams>& kInWhiteParam = Param("InWhiteLevel");
constexpr const ParamDef<GrayCalibParams>& kOutBlackParam = Param("OutBlackLevel");
constexpr const ParamDef<GrayCalibParams>& kOutWhiteParam = Param("OutWhiteLevel");
constexpr const ParamDef<GrayCalibParams>& kScaleCountParam = Param("ScaleCount");

// Strings of the sliders' tooltips.
constexpr int kStrInputLevelTip = 3022;
constexpr int kStrOutputLevelTip = 3023;
constexpr int kIconPointsFromChart = 144;

constexpr int kSliderThickness = 18;

QString IdName(int id)
{
    return QString::number(id);
}

} // namespace

CGrayCalibView::CGrayCalibView(QWidget* parent)
    : CStepView(CProjectManage::kStepGrayCalib - 1, std::make_unique<CGrayCalibDoc>(), parent)
{
    BuildForm();
    LoadSettings(GetIniFilePath());
    SetDataValid();
    UpdateControls(false);
}

CGrayCalibView::~CGrayCalibView() = default;

void CGrayCalibView::BuildForm()
{
    QVBoxLayout* form = MakeFormLayout();
    QWidget* page = form->parentWidget();

    m_graph = new CGrayScaleGraphCtrl(page);
    m_graph->setObjectName(IdName(kIdGraph));
    m_graph->setFixedSize(kGraphSide, kGraphSide);
    m_graph->setNotifyMessage(UWM_GRAYCALIB_CURVE);
    const std::vector<std::uint32_t> empty(256, 0);
    m_graph->SetBackground(empty, empty, empty, empty);

    m_inputSlider = new CMultiSlider(page);
    m_inputSlider->setObjectName(IdName(kIdInputSlider));
    m_inputSlider->Init(std::nullopt, kIconSliderThumb, graycalib::kMaxLevel, {0, 127, 255}, false,
                        MultiSliderStyle::GreyRamp);
    m_inputSlider->setFixedSize(kGraphSide, kSliderThickness);
    m_inputSlider->setNotifyMessage(UWM_GRAYCALIB_CTRL_502);

    m_outputSlider = new CMultiSlider(page);
    m_outputSlider->setObjectName(IdName(kIdOutputSlider));
    m_outputSlider->Init(std::nullopt, kIconSliderThumbVertical, graycalib::kMaxLevel, {0, 255}, true,
                         MultiSliderStyle::GreyRamp);
    m_outputSlider->setFixedSize(kSliderThickness, kGraphSide);
    m_outputSlider->setNotifyMessage(UWM_GRAYCALIB_CTRL_501);

    auto* curve = new QGridLayout;
    curve->setSpacing(2);
    curve->addWidget(m_graph, 0, 0);
    curve->addWidget(m_outputSlider, 0, 1);
    curve->addWidget(m_inputSlider, 1, 0);
    curve->setColumnStretch(2, 1);
    form->addLayout(curve);

    auto* group = new QGroupBox(page);
    group->setObjectName(IdName(1069));
    auto* grid = new QGridLayout(group);

    // Levels: a black edit can go no higher than one below the table's top,
    // a white one no lower than one above its bottom.
    m_inBlack = MakeIntEdit(group, kIdInBlack, UWM_GRAYCALIB_INLEVEL_EDIT_1,
                            static_cast<int>(kInBlackParam.minValue),
                            static_cast<int>(kInBlackParam.maxValue) - 1);
    m_inGamma = MakeRealEdit(group, kIdInGamma, UWM_GRAYCALIB_INLEVEL_EDIT_2, 2, graycalib::kMinGamma,
                             graycalib::kMaxGamma);
    m_inWhite = MakeIntEdit(group, kIdInWhite, UWM_GRAYCALIB_INLEVEL_EDIT_3,
                            static_cast<int>(kInWhiteParam.minValue) + 1,
                            static_cast<int>(kInWhiteParam.maxValue));
    m_outBlack = MakeIntEdit(group, kIdOutBlack, UWM_GRAYCALIB_OUTLEVEL_EDIT_1,
                             static_cast<int>(kOutBlackParam.minValue),
                             static_cast<int>(kOutBlackParam.maxValue) - 1);
    m_outWhite = MakeIntEdit(group, kIdOutWhite, UWM_GRAYCALIB_OUTLEVEL_EDIT_2,
                             static_cast<int>(kOutWhiteParam.minValue) + 1,
                             static_cast<int>(kOutWhiteParam.maxValue));
    grid->addWidget(MakeLabel(group, 1062, QStringLiteral("入力レベル :")), 0, 0);
    grid->addWidget(m_inBlack, 0, 1);
    grid->addWidget(m_inGamma, 0, 2);
    grid->addWidget(m_inWhite, 0, 3);
    grid->addWidget(MakeLabel(group, 1063, QStringLiteral("出力レベル :")), 1, 0);
    grid->addWidget(m_outBlack, 1, 1);
    grid->addWidget(m_outWhite, 1, 3);

    m_detailed = new QCheckBox(QStringLiteral("詳細補正"), group);
    m_detailed->setObjectName(IdName(kIdDetailed));
    grid->addWidget(m_detailed, 2, 0, 1, 4);

    const int maxCount = static_cast<int>(kScaleCountParam.maxValue);
    m_scaleCount = MakeIntEdit(group, kIdScaleCount, UWM_GRAYCALIB_SCALECOUNT_EDIT,
                               static_cast<int>(kScaleCountParam.minValue), maxCount);
    m_scaleCountSpin = MakeUpDown(group, kIdScaleCountSpin, static_cast<int>(kScaleCountParam.minValue),
                                  maxCount, false);
    m_scaleNo = MakeIntEdit(group, kIdScaleNo, UWM_GRAYCALIB_SCALENO_EDIT, 1, 1);
    m_scaleNoSpin = MakeUpDown(group, kIdScaleNoSpin, 0, 2, true);
    m_scaleValue = MakeIntEdit(group, kIdScaleValue, UWM_GRAYCALIB_SCALEVALUE_EDIT,
                               graycalib::kMinLevel, graycalib::kMaxLevel);
    m_scaleValueSpin = MakeUpDown(group, kIdScaleValueSpin, graycalib::kMinLevel,
                                  graycalib::kMaxLevel, false);
    grid->addWidget(MakeLabel(group, 1071, QStringLiteral("階調数 :")), 3, 0);
    grid->addLayout(EditWithUpDown(m_scaleCount, m_scaleCountSpin), 3, 1);
    grid->addWidget(MakeLabel(group, 1091, QStringLiteral("NO :")), 4, 0);
    grid->addLayout(EditWithUpDown(m_scaleNo, m_scaleNoSpin), 4, 1);
    grid->addWidget(MakeLabel(group, 1077, QStringLiteral("階調値 :")), 4, 2);
    grid->addLayout(EditWithUpDown(m_scaleValue, m_scaleValueSpin), 4, 3);

    m_pointsFromChart = new QPushButton(group);
    m_pointsFromChart->setObjectName(IdName(kIdPointsFromChart));
    m_pointsFromChart->setIcon(LoadIconResource(kIconPointsFromChart));
    m_pointsFromChart->hide();
    grid->setColumnStretch(4, 1);
    form->addWidget(group);

    AddCommonButtonRows(form);

    for (CEditEx* edit : {m_inBlack, m_inGamma, m_inWhite, m_outBlack, m_outWhite, m_scaleCount,
                          m_scaleNo, m_scaleValue})
        connect(edit, &CEditEx::notify, this, &CGrayCalibView::onNotify);
    for (CUpDown* spin : {m_scaleCountSpin, m_scaleNoSpin, m_scaleValueSpin})
        connect(spin, &CUpDown::notify, this, &CGrayCalibView::onNotify);
    for (CControlWidget* control : {static_cast<CControlWidget*>(m_graph),
                                    static_cast<CControlWidget*>(m_inputSlider),
                                    static_cast<CControlWidget*>(m_outputSlider)})
        connect(control, &CControlWidget::notify, this, &CGrayCalibView::onNotify);
    connect(m_detailed, &QCheckBox::clicked, this, [this] { CommitControls(); });
    connect(m_pointsFromChart, &QPushButton::clicked, this, [this] { OnPointsFromChart(); });
}

// ---- Entering and samples

void CGrayCalibView::OnEnterStep()
{
    CStepView::OnEnterStep();
    std::vector<std::uint32_t> histogram(256, 0);
    m_grayValues.clear();
    if (CProjectManage* project = GetProject())
    {
        project->MeasureGrayPatches(m_grayValues);
        if (project->IsImageReady() && project->GetGrayHistogram().size() == histogram.size())
            histogram = project->GetGrayHistogram();
    }
    m_graph->SetBackground(histogram, histogram, histogram, histogram);
    UpdateControls(false);
}

void CGrayCalibView::SetSampleLab(const CCIELab& lab)
{
    m_graph->LevelMarker = static_cast<std::int16_t>(graycalib::SampleMarkerBin(lab[0]));
    m_graph->repaint();
}

// ---- Data exchange

bool CGrayCalibView::readControls()
{
    m_preview = PreviewCheck()->isChecked();
    GrayCalibParams params = Document().GetParams();
    params.InBlackLevel = m_inBlack->GetInt();
    params.InWhiteLevel = m_inWhite->GetInt();
    params.InGamma = m_inGamma->GetDouble();
    params.OutBlackLevel = m_outBlack->GetInt();
    params.OutWhiteLevel = m_outWhite->GetInt();
    params.RandamScale = m_detailed->isChecked() ? 1 : 0;
    const int count = m_scaleCount->GetInt();
    if (count == params.ScaleCount)
    {
        // The value edit shows the selected point's height in 1/255 steps;
        // a point keeps its exact height until a different value is typed
        // or dragged.
        const int shown = m_scaleValue->GetInt();
        if (m_scaleNo->GetInt() == m_selectedPoint && m_selectedPoint >= 1 &&
            m_selectedPoint <= GrayCalibParams::kMaxScalePoints)
        {
            CPointD& point = params.ScaleTable[static_cast<std::size_t>(m_selectedPoint - 1)];
            if (shown != graycalib::PointValue(point.y))
                point.y = shown / 255.0;
        }
    }
    else
    {
        params.ScaleCount = static_cast<std::int16_t>(count);
        CGrayCalibDoc::InitScaleTable(params);
    }
    m_selectedPoint = std::clamp(m_scaleNo->GetInt(), 1, std::max(params.UsedScaleCount(), 1));
    Document().GetParams() = params;
    return true;
}

void CGrayCalibView::writeControls()
{
    const GrayCalibParams params = Document().GetParams();
    const int count = std::max(params.UsedScaleCount(), 1);
    m_selectedPoint = std::clamp(m_selectedPoint, 1, count);

    SetEditIntQuiet(params.InBlackLevel, *m_inBlack);
    SetEditIntQuiet(params.InWhiteLevel, *m_inWhite);
    SetEditRealQuiet(params.InGamma, *m_inGamma);
    SetEditIntQuiet(params.OutBlackLevel, *m_outBlack);
    SetEditIntQuiet(params.OutWhiteLevel, *m_outWhite);
    SetSliderThumbs(params);

    const bool detailed = params.RandamScale != 0;
    for (QWidget* levels : {static_cast<QWidget*>(m_inBlack), static_cast<QWidget*>(m_inGamma),
                            static_cast<QWidget*>(m_inWhite), static_cast<QWidget*>(m_outBlack),
                            static_cast<QWidget*>(m_outWhite), static_cast<QWidget*>(m_inputSlider),
                            static_cast<QWidget*>(m_outputSlider)})
        levels->setEnabled(!detailed);
    m_inputSlider->setToolTip(detailed ? QString() : LoadString(kStrInputLevelTip));
    m_outputSlider->setToolTip(detailed ? QString() : LoadString(kStrOutputLevelTip));

    m_detailed->setChecked(detailed);
    SetEditIntQuiet(params.ScaleCount, *m_scaleCount);
    m_scaleCountSpin->SetPos(params.ScaleCount);
    m_scaleNo->IntMax = count;
    m_scaleNoSpin->SetRange(m_scaleNoSpin->GetLower(), count + 1);
    SetEditIntQuiet(m_selectedPoint, *m_scaleNo);
    m_scaleNoSpin->SetPos(m_selectedPoint);
    const int value =
        graycalib::PointValue(params.ScaleTable[static_cast<std::size_t>(m_selectedPoint - 1)].y);
    SetEditIntQuiet(value, *m_scaleValue);
    m_scaleValueSpin->SetPos(value);

    m_pointsFromChart->setEnabled(detailed && !m_grayValues.empty());
    for (QWidget* points : {static_cast<QWidget*>(m_scaleCount), static_cast<QWidget*>(m_scaleNo),
                            static_cast<QWidget*>(m_scaleValue), static_cast<QWidget*>(m_scaleCountSpin),
                            static_cast<QWidget*>(m_scaleNoSpin), static_cast<QWidget*>(m_scaleValueSpin)})
        points->setEnabled(detailed);

    ShowCurve(params, m_selectedPoint);
    m_pointsFromChart->hide();
    SetPreview(m_preview);
}

void CGrayCalibView::SetSliderThumbs(const GrayCalibParams& params)
{
    const auto level = [](int v) { return static_cast<std::int16_t>(std::clamp(v, 0, 255)); };
    m_inputSlider->SetPos(0, level(params.InBlackLevel));
    m_inputSlider->SetPos(
        1, level(graycalib::MidFromGamma(params.InBlackLevel, params.InWhiteLevel, params.InGamma)));
    m_inputSlider->SetPos(2, level(params.InWhiteLevel));
    m_outputSlider->SetPos(0, level(params.OutBlackLevel));
    m_outputSlider->SetPos(1, level(params.OutWhiteLevel));
}

void CGrayCalibView::ShowCurve(const GrayCalibParams& params, int selected)
{
    m_graph->SetCurve(params, selected - 1);
}

// ---- Edits

void CGrayCalibView::CommitControls()
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

void CGrayCalibView::EndDrag()
{
    const bool editing = IsEditing();
    UpdateControls(true);
    UpdateControls(false);
    EndEdit();
    if (editing)
        ApplyDocument();
}

void CGrayCalibView::OnLevelEdit(int message)
{
    // The level edited keeps its distance from the other level of its pair.
    CEditEx* edit = nullptr;
    int corrected = 0;
    switch (message)
    {
    case UWM_GRAYCALIB_INLEVEL_EDIT_1:
        edit = m_inBlack;
        corrected = graycalib::BlackWithGap(m_inBlack->GetInt(), m_inWhite->GetInt());
        break;
    case UWM_GRAYCALIB_INLEVEL_EDIT_3:
        edit = m_inWhite;
        corrected = graycalib::WhiteWithGap(m_inBlack->GetInt(), m_inWhite->GetInt());
        break;
    case UWM_GRAYCALIB_OUTLEVEL_EDIT_1:
        edit = m_outBlack;
        corrected = graycalib::BlackWithGap(m_outBlack->GetInt(), m_outWhite->GetInt());
        break;
    case UWM_GRAYCALIB_OUTLEVEL_EDIT_2:
        edit = m_outWhite;
        corrected = graycalib::WhiteWithGap(m_outBlack->GetInt(), m_outWhite->GetInt());
        break;
    default:
        return;
    }
    if (corrected != edit->GetInt())
        SetEditIntQuiet(corrected, *edit);
    CommitControls();
}

// ---- Graph, sliders and up-downs

void CGrayCalibView::OnCurve(int code)
{
    if (code == 2)
    {
        EndDrag();
        return;
    }
    if (code != 1)
        return;
    if (BeginEdit() == 0)
        SaveUndoState(*m_document);
    const int index = m_graph->DragIndex;
    if (index >= 0 && index < GrayCalibParams::kMaxScalePoints)
    {
        m_selectedPoint = index + 1;
        SetEditIntQuiet(m_selectedPoint, *m_scaleNo);
        m_scaleNo->repaint();
        SetEditIntQuiet(graycalib::PointValue(m_graph->Level), *m_scaleValue);
        m_scaleValue->repaint();
    }
    UpdateControls(true);
    ShowCurve(Document().GetParams(), m_selectedPoint);
}

void CGrayCalibView::OnInputSlider(int code, int index)
{
    if (code == CMultiSlider::kReleased)
    {
        EndDrag();
        return;
    }
    if (code != CMultiSlider::kDragging || m_inputSlider->Positions.size() < 3)
        return;
    if (BeginEdit() == 0)
        SaveUndoState(*m_document);
    const std::vector<std::int16_t>& thumbs = m_inputSlider->Positions;
    int black = thumbs[0];
    int white = thumbs[2];
    if (index == 0)
    {
        black = graycalib::BlackWithGap(black, white);
        SetEditIntQuiet(black, *m_inBlack);
    }
    else if (index == 2)
    {
        white = graycalib::WhiteWithGap(black, white);
        SetEditIntQuiet(white, *m_inWhite);
    }
    const int mid = graycalib::MidInside(black, white, thumbs[1]);
    SetEditRealQuiet(graycalib::GammaFromMid(black, white, mid), *m_inGamma);
    UpdateControls(true);
    ShowCurve(Document().GetParams(), m_selectedPoint);
    SetSliderThumbs(Document().GetParams());
}

void CGrayCalibView::OnOutputSlider(int code, int index)
{
    if (code == CMultiSlider::kReleased)
    {
        EndDrag();
        return;
    }
    if (code != CMultiSlider::kDragging || m_outputSlider->Positions.size() < 2)
        return;
    if (BeginEdit() == 0)
        SaveUndoState(*m_document);
    const std::vector<std::int16_t>& thumbs = m_outputSlider->Positions;
    if (index == 0)
        SetEditIntQuiet(graycalib::BlackWithGap(thumbs[0], thumbs[1]), *m_outBlack);
    else if (index == 1)
        SetEditIntQuiet(graycalib::WhiteWithGap(thumbs[0], thumbs[1]), *m_outWhite);
    UpdateControls(true);
    ShowCurve(Document().GetParams(), m_selectedPoint);
    SetSliderThumbs(Document().GetParams());
}

void CGrayCalibView::OnUpDown(int message, int code, int position)
{
    if (code == CUpDown::kEndScroll)
    {
        EndDrag();
        return;
    }
    if (code != CUpDown::kThumbPosition)
        return;
    switch (message)
    {
    case kIdScaleValueSpin:
        if (BeginEdit() == 0)
            SaveUndoState(*m_document);
        SetEditIntQuiet(position, *m_scaleValue);
        UpdateControls(true);
        ShowCurve(Document().GetParams(), m_selectedPoint);
        break;
    case kIdScaleCountSpin:
    {
        if (BeginEdit() == 0)
            SaveUndoState(*m_document);
        SetEditIntQuiet(position, *m_scaleCount);
        // The document takes the new count when the scroll ends; meanwhile
        // the graph shows the points spread anew.
        GrayCalibParams spread = Document().GetParams();
        spread.ScaleCount = static_cast<std::int16_t>(m_scaleCount->GetInt());
        CGrayCalibDoc::InitScaleTable(spread);
        ShowCurve(spread, std::min(m_selectedPoint, std::max(spread.UsedScaleCount(), 1)));
        break;
    }
    case kIdScaleNoSpin:
    {
        const int number = WrapPointNumber(position, m_scaleNo->IntMin, m_scaleNo->IntMax);
        m_scaleNoSpin->SetPos(number);
        SetEditIntQuiet(number, *m_scaleNo);
        ShowCurve(Document().GetParams(), number);
        break;
    }
    default:
        break;
    }
}

void CGrayCalibView::OnPointsFromChart()
{
    SaveUndoState(*m_document);
    UpdateControls(true);
    graycalib::PointsFromGrayValues(Document().GetParams(), m_grayValues, m_selectedPoint);
    UpdateControls(false);
    ApplyDocument();
}

void CGrayCalibView::onNotify(int message, int code, qint64 value)
{
    // Values the panel writes into its own controls are not edits.
    if (IsUpdating())
        return;
    switch (message)
    {
    case UWM_GRAYCALIB_CURVE:
        OnCurve(code);
        break;
    case UWM_GRAYCALIB_CTRL_502:
        OnInputSlider(code, static_cast<int>(value));
        break;
    case UWM_GRAYCALIB_CTRL_501:
        OnOutputSlider(code, static_cast<int>(value));
        break;
    case UWM_GRAYCALIB_INLEVEL_EDIT_1:
    case UWM_GRAYCALIB_INLEVEL_EDIT_3:
    case UWM_GRAYCALIB_OUTLEVEL_EDIT_1:
    case UWM_GRAYCALIB_OUTLEVEL_EDIT_2:
        OnLevelEdit(message);
        break;
    case UWM_GRAYCALIB_INLEVEL_EDIT_2:
    case UWM_GRAYCALIB_SCALECOUNT_EDIT:
    case UWM_GRAYCALIB_SCALEVALUE_EDIT:
        CommitControls();
        break;
    case UWM_GRAYCALIB_SCALENO_EDIT:
        UpdateControls(true);
        UpdateControls(false);
        break;
    case kIdScaleCountSpin:
    case kIdScaleNoSpin:
    case kIdScaleValueSpin:
        OnUpDown(message, code, static_cast<int>(value));
        break;
    default:
        break;
    }
}
