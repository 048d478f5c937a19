#include "app/panels/filter/FilterView.h"

#include "app/panels/filter/FilterViewLogic.h"
#include "controls/widgets/EditEx.h"
#include "core/PathUtils.h"
#include "correction/FilterDoc.h"

#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kFilterStep = 6; // slot 7

// The parameters' ranges, from the document's table.
constexpr const ParamDef<FilterParams>& kRadiusParam = CFilterDoc::kParamTable[0];
constexpr const ParamDef<FilterParams>& kAmountParam = CFilterDoc::kParamTable[1];
constexpr const ParamDef<FilterParams>& kThresholdParam = CFilterDoc::kParamTable[2];
static_assert(kRadiusParam.key == "Radius" && kAmountParam.key == "Amount" &&
              kThresholdParam.key == "Threshold");

// The radius is kept in tenths of a pixel and shown in pixels.
constexpr double kRadiusMin = kRadiusParam.minValue / 10.0;
constexpr double kRadiusMax = kRadiusParam.maxValue / 10.0;
constexpr int kRadiusMaxTenths = static_cast<int>(kRadiusParam.maxValue);
constexpr double kAmountMin = kAmountParam.minValue;
constexpr double kAmountMax = kAmountParam.maxValue;

CEditEx* MakeEdit(QWidget* parent, int id, EditMode mode, int message)
{
    auto* edit = new CEditEx(parent);
    edit->setObjectName(QString::number(id));
    edit->Mode = mode;
    edit->setNotifyMessage(message);
    edit->setMaximumWidth(70);
    return edit;
}

QSlider* MakeTrackbar(QWidget* parent, int id)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QString::number(id));
    slider->setRange(0, filterview::kTrackbarMax);
    slider->setPageStep(filterview::kTrackbarPage);
    return slider;
}

} // namespace

CFilterView::CFilterView(QWidget* parent)
    : CStepView(kFilterStep, std::make_unique<CFilterDoc>(), parent)
{
    QVBoxLayout* layout = MakeFormLayout();
    QWidget* form = layout->parentWidget();

    m_radiusEdit = MakeEdit(form, kIdRadiusEdit, EditMode::Real, UWM_FILTER_RADIUS_EDIT);
    m_radiusEdit->Decimals = 1;
    m_radiusEdit->RealMin = kRadiusMin;
    m_radiusEdit->RealMax = kRadiusMax;
    m_amountEdit = MakeEdit(form, kIdAmountEdit, EditMode::Integer, UWM_FILTER_AMOUNT_EDIT);
    m_amountEdit->IntMin = static_cast<int>(kAmountParam.minValue);
    m_amountEdit->IntMax = static_cast<int>(kAmountParam.maxValue);
    m_thresholdEdit =
        MakeEdit(form, kIdThresholdEdit, EditMode::Integer, UWM_FILTER_THRESHOLD_EDIT);
    m_thresholdEdit->IntMin = static_cast<int>(kThresholdParam.minValue);
    m_thresholdEdit->IntMax = static_cast<int>(kThresholdParam.maxValue);
    for (CEditEx* edit : {m_radiusEdit, m_amountEdit, m_thresholdEdit})
        connect(edit, &CEditEx::notify, this, &CFilterView::OnNotify);

    m_radiusTrackbar = MakeTrackbar(form, kIdRadiusTrackbar);
    m_amountTrackbar = MakeTrackbar(form, kIdAmountTrackbar);
    m_thresholdTrackbar = MakeTrackbar(form, kIdThresholdTrackbar);
    const std::pair<QSlider*, int> trackbars[] = {{m_radiusTrackbar, kIdRadiusTrackbar},
                                                  {m_amountTrackbar, kIdAmountTrackbar},
                                                  {m_thresholdTrackbar, kIdThresholdTrackbar}};
    for (const auto& [slider, id] : trackbars)
        ConnectTrackbar(slider, this, [this, id = id](TrackbarCode code) { OnTrackbar(id, code); });

    auto* radiusLabel = new QLabel(QStringLiteral("半径:"), form);
    m_amountLabel = new QLabel(QStringLiteral("適用量:"), form);
    m_amountLabel->setObjectName(QString::number(kIdAmountLabel));
    m_thresholdLabel = new QLabel(QStringLiteral("しきい値:"), form);
    m_thresholdLabel->setObjectName(QString::number(kIdThresholdLabel));

    auto* grid = new QGridLayout;
    int row = 0;
    for (const auto& [label, edit, slider] :
         {std::tuple<QLabel*, CEditEx*, QSlider*>{radiusLabel, m_radiusEdit, m_radiusTrackbar},
          {m_amountLabel, m_amountEdit, m_amountTrackbar},
          {m_thresholdLabel, m_thresholdEdit, m_thresholdTrackbar}})
    {
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1, Qt::AlignLeft);
        grid->addWidget(slider, row + 1, 0, 1, 2);
        grid->setRowMinimumHeight(row + 2, 8);
        row += 3;
    }
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    AddCommonButtonRows(layout);

    m_trackTimer = new QTimer(this);
    m_trackTimer->setObjectName(QString::number(kTrackTimer));
    m_trackTimer->setSingleShot(true);
    m_trackTimer->setInterval(kTrackTimerMs);
    connect(m_trackTimer, &QTimer::timeout, this, [this] { OnTimer(kTrackTimer); });

    LoadSettings(GetIniFilePath());
    SetDataValid();
    UpdateControls(false);
}

CFilterView::~CFilterView() = default;

CFilterDoc& CFilterView::Doc()
{
    return static_cast<CFilterDoc&>(*m_document);
}

void CFilterView::OnLeaveStep(bool commit)
{
    m_trackTimer->stop();
    CStepView::OnLeaveStep(commit);
}

bool CFilterView::readControls()
{
    FilterParams& params = Doc().GetParams();
    params.Radius = filterview::RadiusTenthsFromEdit(m_radiusEdit->GetDouble(), kRadiusMaxTenths);
    // A text not yet validated may lie outside the edit's range.
    params.Amount = std::clamp(m_amountEdit->GetInt(), m_amountEdit->IntMin, m_amountEdit->IntMax);
    params.Threshold =
        std::clamp(m_thresholdEdit->GetInt(), m_thresholdEdit->IntMin, m_thresholdEdit->IntMax);
    return true;
}

void CFilterView::writeControls()
{
    const FilterParams& params = Doc().GetParams();
    SetEditRealQuiet(params.Radius / 10.0, *m_radiusEdit);
    SetEditIntQuiet(params.Amount, *m_amountEdit);
    SetEditIntQuiet(params.Threshold, *m_thresholdEdit);
    {
        const QSignalBlocker radius(m_radiusTrackbar);
        const QSignalBlocker amount(m_amountTrackbar);
        const QSignalBlocker threshold(m_thresholdTrackbar);
        m_radiusTrackbar->setValue(
            filterview::NonLinearPosition(params.Radius / 10.0, kRadiusMin, kRadiusMax));
        m_amountTrackbar->setValue(
            filterview::NonLinearPosition(params.Amount, kAmountMin, kAmountMax));
        m_thresholdTrackbar->setValue(params.Threshold);
    }
    // Without a blur there is nothing to sharpen: amount and threshold wait.
    const bool sharpening = params.Radius != 0;
    for (QWidget* control :
         {static_cast<QWidget*>(m_amountLabel), static_cast<QWidget*>(m_amountEdit),
          static_cast<QWidget*>(m_amountTrackbar), static_cast<QWidget*>(m_thresholdLabel),
          static_cast<QWidget*>(m_thresholdEdit), static_cast<QWidget*>(m_thresholdTrackbar)})
        control->setEnabled(sharpening);
}

void CFilterView::OnNotify(int message, int /*code*/, qint64 /*value*/)
{
    if (IsUpdating())
        return;
    switch (message)
    {
    case UWM_FILTER_RADIUS_EDIT:
    case UWM_FILTER_AMOUNT_EDIT:
    case UWM_FILTER_THRESHOLD_EDIT:
        SaveUndoState(Doc());
        UpdateControls(true);
        UpdateControls(false);
        ApplyDocument();
        break;
    default:
        break;
    }
}

void CFilterView::SetEditFromTrackbar(int id)
{
    switch (id)
    {
    case kIdRadiusTrackbar:
        SetEditRealQuiet(
            filterview::NonLinearValue(m_radiusTrackbar->value(), kRadiusMin, kRadiusMax),
            *m_radiusEdit);
        break;
    case kIdAmountTrackbar:
        SetEditIntQuiet(static_cast<int>(filterview::NonLinearValue(m_amountTrackbar->value(),
                                                                    kAmountMin, kAmountMax)),
                        *m_amountEdit);
        break;
    case kIdThresholdTrackbar:
        SetEditIntQuiet(m_thresholdTrackbar->value(), *m_thresholdEdit);
        break;
    default:
        break;
    }
}

void CFilterView::OnTrackbar(int id, TrackbarCode code)
{
    if (code == TrackbarCode::EndTrack)
    {
        m_trackTimer->stop();
        TakeDrag();
        return;
    }
    if (BeginEdit() == 0)
        SaveUndoState(Doc());
    SetEditFromTrackbar(id);
    if (code == TrackbarCode::ThumbPosition)
        m_trackTimer->start();
}

void CFilterView::OnTimer(int id)
{
    m_trackTimer->stop();
    if (id == kTrackTimer)
        TakeDrag();
}

void CFilterView::TakeDrag()
{
    UpdateControls(true);
    UpdateControls(false);
    EndEdit();
    ApplyDocument();
}
