#include "app/panels/development/DNGParamView.h"

#include "app/panels/development/DNGParamViewLogic.h"
#include "app/shell/KeyState.h"
#include "controls/support/ResourceImages.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/MultiSlider.h"
#include "controls/widgets/RGBHistogramCtrl.h"
#include "controls/widgets/UpDown.h"
#include "core/PathUtils.h"
#include "correction/ProjectManage.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>
#include <cstdint>

namespace {

// Design IDs of each row's edit, arrows and slider, and the messages of
// the edit and the slider. The arrows report with their own ID.
// The document's parameter behind each row names its range.
struct RowIds
{
    int edit;
    int arrows;
    int slider;
    int editMessage;
    int sliderMessage;
    const char* param;
    const char* label;
    const char* unit;
};

constexpr std::array<RowIds, CDNGParamView::kRowCount> kRowIds = {{
    {1219, 1248, 1244, UWM_DNGPARAM_TEMPERATURE_EDIT, UWM_DNGPARAM_TEMPERATURE_SLIDER,
     "Temperature", "色温度", "K"},
    {1221, 1249, 1245, UWM_DNGPARAM_TINT_EDIT, UWM_DNGPARAM_TINT_SLIDER, "Tint", "色合い", ""},
    {1223, 1250, 1246, UWM_DNGPARAM_EXPOSURE_EDIT, UWM_DNGPARAM_EXPOSURE_SLIDER, "Exposure",
     "露出補正", "EV"},
    {1225, 1251, 1247, UWM_DNGPARAM_BLACKLEVEL_EDIT, UWM_DNGPARAM_BLACKLEVEL_SLIDER, "Shadow",
     "黒レベル", ""},
}};

constexpr int kIdHistogram = 1059;
constexpr int kIdLevelText = 1240;
constexpr int kIdPicker = 1253;
constexpr int kHistogramBins = 256;
constexpr int kSliderHeight = 22;

// The highest position of a row's slider and arrows.
int Positions(CDNGParamView::Row row)
{
    switch (row)
    {
    case CDNGParamView::kTemperature:
        return dngview::kTemperaturePositions;
    case CDNGParamView::kTint:
        return dngview::TintPositions();
    case CDNGParamView::kExposure:
        return dngview::ExposurePositions();
    default:
        return dngview::BlackLevelPositions();
    }
}

MultiSliderStyle TrackStyle(CDNGParamView::Row row)
{
    switch (row)
    {
    case CDNGParamView::kTemperature:
        return MultiSliderStyle::Temperature;
    case CDNGParamView::kTint:
        return MultiSliderStyle::Tint;
    case CDNGParamView::kExposure:
        return MultiSliderStyle::GreyRamp;
    default:
        return MultiSliderStyle::InverseGreyRamp;
    }
}

// The position of a row's value (exposure in hundredths).
int PositionOf(CDNGParamView::Row row, int value)
{
    switch (row)
    {
    case CDNGParamView::kTemperature:
        return dngview::PositionFromTemperature(value);
    case CDNGParamView::kTint:
        return dngview::PositionFromTint(value);
    case CDNGParamView::kExposure:
        return dngview::PositionFromExposure(value);
    default:
        return dngview::PositionFromBlackLevel(value);
    }
}

// The value of a slider position (arrows: see OnArrows).
int ValueOfSlider(CDNGParamView::Row row, int position)
{
    switch (row)
    {
    case CDNGParamView::kTemperature:
        return dngview::TemperatureFromPosition(position);
    case CDNGParamView::kTint:
        return dngview::TintFromPosition(position);
    case CDNGParamView::kExposure:
        return dngview::ExposureFromSliderPosition(position);
    default:
        return dngview::BlackLevelFromPosition(position);
    }
}

bool IsWhiteBalanceRow(CDNGParamView::Row row)
{
    return row == CDNGParamView::kTemperature || row == CDNGParamView::kTint;
}

} // namespace

CDNGParamView::CDNGParamView(QWidget* parent)
    : CStepView(0, std::make_unique<CDNGParamDoc>(), parent), m_keys(&SystemKeyState())
{
    setObjectName(QStringLiteral("DNGParamView"));
    QVBoxLayout* form = MakeFormLayout();
    QWidget* page = form->parentWidget();

    auto* balance = new QGroupBox(QStringLiteral("ホワイトバランス"), page);
    auto* balanceLayout = new QGridLayout(balance);
    auto* tone = new QGroupBox(QStringLiteral("露出"), page);
    auto* toneLayout = new QGridLayout(tone);

    for (int r = 0; r < kRowCount; ++r)
    {
        const Row row = static_cast<Row>(r);
        const RowIds& ids = kRowIds[static_cast<std::size_t>(r)];
        QWidget* box = IsWhiteBalanceRow(row) ? static_cast<QWidget*>(balance) : tone;
        QGridLayout* grid = IsWhiteBalanceRow(row) ? balanceLayout : toneLayout;
        const int line = (r % 2) * 2 + (IsWhiteBalanceRow(row) ? 1 : 0);

        auto* edit = new CEditEx(box);
        edit->setObjectName(QString::number(ids.edit));
        if (row == kExposure)
        {
            // Hundredths of a stop shown as stops.
            edit->Mode = EditMode::Real;
            edit->Decimals = 2;
            edit->RealMin = dngview::ParamMin(ids.param) / 100.0;
            edit->RealMax = dngview::ParamMax(ids.param) / 100.0;
        }
        else
        {
            edit->Mode = EditMode::Integer;
            edit->IntMin = dngview::ParamMin(ids.param);
            edit->IntMax = dngview::ParamMax(ids.param);
        }
        edit->setMaximumWidth(70);
        edit->setNotifyMessage(ids.editMessage);
        connect(edit, &CEditEx::notify, this, &CDNGParamView::OnNotify);
        m_edits[r] = edit;

        auto* arrows = new CUpDown(Qt::Horizontal, box);
        arrows->setObjectName(QString::number(ids.arrows));
        arrows->SetRange(0, Positions(row));
        arrows->setNotifyMessage(ids.arrows);
        connect(arrows, &CUpDown::notify, this, &CDNGParamView::OnNotify);
        m_arrows[r] = arrows;

        auto* slider = new CMultiSlider(box);
        slider->setObjectName(QString::number(ids.slider));
        slider->Init(std::nullopt, kIconSliderThumb, static_cast<std::int16_t>(Positions(row)), {0},
                     false, TrackStyle(row));
        slider->setFixedHeight(kSliderHeight);
        slider->setMinimumWidth(120);
        slider->setNotifyMessage(ids.sliderMessage);
        connect(slider, &CMultiSlider::notify, this, &CDNGParamView::OnNotify);
        m_sliders[r] = slider;

        auto* valueRow = new QHBoxLayout;
        valueRow->addWidget(edit);
        valueRow->addWidget(arrows);
        valueRow->addWidget(new QLabel(QString::fromUtf8(ids.unit), box));
        valueRow->addStretch(1);
        grid->addWidget(new QLabel(QString::fromUtf8(ids.label), box), line, 0);
        grid->addLayout(valueRow, line, 1);
        grid->addWidget(slider, line + 1, 0, 1, 2);
    }

    m_picker = new QToolButton(balance);
    m_picker->setObjectName(QString::number(kIdPicker));
    m_picker->setCheckable(true);
    m_picker->setIcon(LoadIconResource(kPickerIconId));
    m_picker->setToolTip(LoadString(kStrPickerTip));
    m_picker->setVisible(false);
    // clicked, not toggled: the panel switching it off is no user action.
    connect(m_picker, &QToolButton::clicked, this, [this](bool on) { OnPicker(on); });
    balanceLayout->addWidget(m_picker, 0, 0, 1, 2, Qt::AlignLeft);

    m_histogram = new CRGBHistogramCtrl(page);
    m_histogram->setObjectName(QString::number(kIdHistogram));
    m_histogram->setFixedHeight(110);
    m_histogram->setMinimumWidth(160);
    m_histogram->setNotifyMessage(UWM_DNGPARAM_HISTOGRAM);
    connect(m_histogram, &CRGBHistogramCtrl::notify, this, &CDNGParamView::OnNotify);
    m_levelText = new QLabel(page);
    m_levelText->setObjectName(QString::number(kIdLevelText));
    m_levelText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_levelText->setText(QString());

    form->addWidget(balance);
    form->addWidget(tone);
    form->addWidget(m_histogram);
    form->addWidget(m_levelText);
    AddCommonButtonRows(form);

    SetDataValid();
    UpdateControls(false);
    LoadSettings(GetIniFilePath());
}

CDNGParamView::~CDNGParamView() = default;

void CDNGParamView::SetKeyState(const IKeyState* keys)
{
    m_keys = keys != nullptr ? keys : &SystemKeyState();
}

// ---- Entering and leaving

void CDNGParamView::OnEnterStep()
{
    SwitchPickerOff();
    if (GetProject() != nullptr)
        CStepView::OnEnterStep();
    UpdateControls(false);
    RefreshHistogram();
    m_levelText->setText(QString());
    const Qt::KeyboardModifiers all = Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier;
    m_picker->setVisible((m_keys->modifiersDown() & all) == all);
}

void CDNGParamView::OnLeaveStep(bool commit)
{
    SwitchPickerOff();
    NotifyCompareOff();
    CStepView::OnLeaveStep(commit);
}

void CDNGParamView::SwitchPickerOff()
{
    const QSignalBlocker quiet(m_picker);
    m_picker->setChecked(false);
}

// ---- Data exchange

bool CDNGParamView::readControls()
{
    DNGParams& p = Document().GetParams();
    p.AsShot = m_asShot;
    p.Temperature = m_edits[kTemperature]->GetInt();
    p.Tint = m_edits[kTint]->GetInt();
    p.Exposure = dngview::ExposureFromStops(m_edits[kExposure]->GetDouble());
    p.Shadow = m_edits[kBlackLevel]->GetInt();
    return true;
}

void CDNGParamView::writeControls()
{
    const DNGParams& p = Document().GetParams();
    int values[kRowCount] = {p.Temperature, p.Tint, p.Exposure, p.Shadow};
    int temperature = 0;
    int tint = 0;
    if (p.AsShot != 0 && GetProject() != nullptr && GetProject()->IsImageReady() &&
        GetProject()->GetAsShotWhiteBalance(&temperature, &tint))
    {
        values[kTemperature] = dngview::RoundTemperature(temperature);
        values[kTint] = tint;
    }
    m_asShot = p.AsShot;
    for (int r = 0; r < kRowCount; ++r)
    {
        const Row row = static_cast<Row>(r);
        ShowValue(row, values[r]);
        const int position = PositionOf(row, values[r]);
        m_arrows[r]->SetPos(position);
        m_arrowPositions[r] = position;
        m_sliders[r]->SetPos(0, static_cast<std::int16_t>(position), true);
    }
}

int CDNGParamView::ShownValue(Row row) const
{
    if (row == kExposure)
        return dngview::ExposureFromStops(m_edits[row]->GetDouble());
    return m_edits[row]->GetInt();
}

int CDNGParamView::CommittedTemperature()
{
    CEditEx& edit = *m_edits[kTemperature];
    edit.NotifyEnabled = false;
    edit.ValidateAndNotify();
    edit.NotifyEnabled = true;
    const int kelvin = dngview::RoundTemperature(edit.GetInt());
    ShowValue(kTemperature, kelvin);
    return kelvin;
}

void CDNGParamView::ShowValue(Row row, int value)
{
    CEditEx& edit = *m_edits[row];
    if (row != kExposure)
    {
        SetEditIntQuiet(value, edit);
        return;
    }
    edit.NotifyEnabled = false;
    edit.SetDouble(value / 100.0);
    edit.NotifyEnabled = true;
}

// ---- Control notifications

void CDNGParamView::OnNotify(int message, int code, qint64 value)
{
    if (IsUpdating())
        return;
    if (message == UWM_DNGPARAM_HISTOGRAM)
    {
        if (code == 2)
            m_levelText->setText(QString::number(value));
        return;
    }
    for (int r = 0; r < kRowCount; ++r)
    {
        const Row row = static_cast<Row>(r);
        const RowIds& ids = kRowIds[static_cast<std::size_t>(r)];
        if (message == ids.editMessage)
            OnEditChanged(row);
        else if (message == ids.sliderMessage)
            OnSlider(row, code);
        else if (message == ids.arrows)
            OnArrows(row, code, static_cast<int>(value));
    }
}

void CDNGParamView::OnEditChanged(Row row)
{
    SaveUndoState(Document());
    if (row == kTemperature)
    {
        // Typed temperatures are decimal and go to the nearest 50 K.
        ShowValue(kTemperature, dngview::RoundTemperature(m_edits[kTemperature]->GetInt()));
    }
    if (IsWhiteBalanceRow(row))
        m_asShot = 0;
    UpdateControls(true);
    UpdateControls(false);
    ApplyDocument();
}

void CDNGParamView::OnSlider(Row row, int code)
{
    CMultiSlider& slider = *m_sliders[row];
    if (code == CMultiSlider::kDragging)
    {
        if (BeginEdit() == 0)
            SaveUndoState(Document());
        const int position = slider.Positions.empty() ? 0 : slider.Positions.front();
        ShowValue(row, ValueOfSlider(row, position));
        return;
    }
    // A release without a drag before it changes nothing.
    if (code != CMultiSlider::kReleased || !IsEditing())
        return;
    if (IsWhiteBalanceRow(row))
        m_asShot = 0;
    UpdateControls(true);
    UpdateControls(false);
    EndEdit();
    ApplyDocument();
}

void CDNGParamView::OnArrows(Row row, int code, int position)
{
    if (code == CUpDown::kThumbPosition)
    {
        if (BeginEdit() == 0)
            SaveUndoState(Document());
        int shown = 0;
        switch (row)
        {
        case kTemperature:
            // The arrows take no focus: a typed temperature may not have
            // been committed yet, and is read as its commit would take it.
            shown = dngview::StepTemperature(CommittedTemperature(),
                                             dngview::TemperatureFromPosition(position),
                                             position - m_arrowPositions[row]);
            break;
        case kTint:
            shown = dngview::TintFromPosition(position);
            break;
        case kExposure:
            shown = dngview::ExposureFromArrowPosition(position);
            break;
        default:
            shown = dngview::BlackLevelFromPosition(position);
            break;
        }
        ShowValue(row, shown);
        // The arrows stand where the shown value is, so that the next step
        // goes on from it (a temperature step may pass several positions).
        const int shownPosition = PositionOf(row, ShownValue(row));
        m_arrows[row]->SetPos(shownPosition);
        m_arrowPositions[row] = shownPosition;
        m_sliders[row]->SetPos(0, static_cast<std::int16_t>(shownPosition));
        return;
    }
    if (code != CUpDown::kEndScroll || !IsEditing())
        return;
    if (IsWhiteBalanceRow(row))
        m_asShot = 0;
    UpdateControls(true);
    UpdateControls(false);
    EndEdit();
    ApplyDocument();
}

// ---- Preview and histogram

void CDNGParamView::OnPreviewToggled(bool on)
{
    UpdateControls(true);
    m_preview = on;
    SetProjectPreviewDoc();
    RefreshHistogram();
    NotifyPreview(on);
    UpdateControls(false);
}

void CDNGParamView::ApplyDocument()
{
    if (!m_preview)
        return;
    CStepView::ApplyDocument();
    RefreshHistogram();
}

void CDNGParamView::RefreshHistogram()
{
    std::array<std::vector<std::uint32_t>, 4> bins;
    for (std::vector<std::uint32_t>& list : bins)
        list.assign(kHistogramBins, 0u);
    if (GetProject() != nullptr)
        GetProject()->DevelopRawPreview(bins[0], bins[1], bins[2], bins[3]);
    m_histogram->SetHistograms(bins[0], bins[1], bins[2], bins[3]);
    m_histogram->ShowMarkers = false;
    m_histogram->update();
}

// ---- Colour picks

void CDNGParamView::OnPicker(bool on)
{
    if (on)
        NotifyCompareOn();
    else
        NotifyCompareOff();
}

void CDNGParamView::PickWhiteBalance(const CCIEXYZ& white)
{
    if (!m_picker->isChecked())
        return;
    const std::optional<dngview::WhiteBalance> balance = dngview::WhiteBalanceFromSample(white);
    if (!balance)
    {
        QApplication::beep();
        return;
    }
    m_asShot = 0;
    ShowValue(kTemperature, balance->temperature);
    ShowValue(kTint, balance->tint);
    m_edits[kTemperature]->repaint();
    m_edits[kTint]->repaint();
    SaveUndoState(Document());
    UpdateControls(true);
    UpdateControls(false);
    ApplyDocument();
}

void CDNGParamView::ShowSampleOnHistogram(double lightness, const RGB16& pixel)
{
    m_histogram->MarkerLevels = {static_cast<std::uint8_t>(pixel.r >> 8),
                                 static_cast<std::uint8_t>(pixel.g >> 8),
                                 static_cast<std::uint8_t>(pixel.b >> 8),
                                 static_cast<std::uint8_t>(dngview::LevelFromLightness(lightness))};
    m_histogram->ShowMarkers = true;
    m_histogram->update();
}
