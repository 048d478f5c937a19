#include "controls/dialogs/ColorSearchDlg.h"

#include "controls/dialogs/DialogButtons.h"

#include "controls/widgets/ColorPatchCtrl.h"
#include "controls/widgets/ColorValueText.h"
#include "controls/widgets/ColorValueTextLogic.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/StaticTextEx.h"
#include "core/ColorConverter.h"
#include "core/ColorSearchSettings.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <span>

namespace {

// Slider ranges of the three colour sliders.
constexpr int kLightnessMax = 100;
constexpr int kChromaMax = 150;
constexpr int kHueMax = 359;

// The six candidates in patch order 1155..1160: the offsets one step away
// from the current ones, plus before minus on each axis.
constexpr std::array<int, 6> kCandidateMessages = {
    UWM_COLORSEARCH_BRIGHTER,   UWM_COLORSEARCH_DARKER,    UWM_COLORSEARCH_MORE_VIVID,
    UWM_COLORSEARCH_LESS_VIVID, UWM_COLORSEARCH_HUE_PLUS,  UWM_COLORSEARCH_HUE_MINUS,
};

ColorSearchOffsets CandidateOffsets(const ColorSearchOffsets& current, int index, int step)
{
    ColorSearchOffsets offsets = current;
    const int delta = index % 2 == 0 ? step : -step;
    switch (index / 2)
    {
    case 0:
        offsets.lightness += delta;
        break;
    case 1:
        offsets.chroma += delta;
        break;
    default:
        offsets.hue += delta;
        break;
    }
    return offsets;
}

QSlider* MakeSlider(QWidget* parent, const char* id, int min, int max)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QString::fromLatin1(id));
    slider->setRange(min, max);
    return slider;
}

CColorPatchCtrl* MakePatch(QWidget* parent, int id)
{
    auto* patch = new CColorPatchCtrl(parent);
    patch->setObjectName(QString::number(id));
    patch->setMinimumSize(48, 32);
    return patch;
}

// A candidate patch with its caption under it.
QWidget* Captioned(QWidget* parent, QWidget* patch, const QString& caption)
{
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(patch);
    auto* label = new QLabel(caption, box);
    label->setAlignment(Qt::AlignHCenter);
    layout->addWidget(label);
    return box;
}

} // namespace

CColorSearchDlg::CColorSearchDlg(QWidget* parent)
    : CDataDialog(parent), Step(GetColorSearchSettings().Step),
      Unit(static_cast<ColorSearchUnit>(GetColorSearchSettings().Unit))
{
    setWindowTitle(QStringLiteral("色選択"));
    m_sliderTimer.setSingleShot(true);
    m_sliderTimer.setInterval(kSliderTimerMs);
    connect(&m_sliderTimer, &QTimer::timeout, this, &CColorSearchDlg::OnSliderTimer);

    for (int i = 0; i < 9; ++i)
        m_patches[i] = MakePatch(this, 1152 + i);

    // Start and result, side by side, with the colour difference.
    auto* compare = new QGridLayout;
    compare->addWidget(new QLabel(QStringLiteral("元の色"), this), 0, 0, Qt::AlignHCenter);
    compare->addWidget(new QLabel(QStringLiteral("変更後"), this), 0, 2, Qt::AlignHCenter);
    compare->addWidget(m_patches[0], 1, 0);
    m_backButton = new QPushButton(QStringLiteral(">"), this);
    m_backButton->setObjectName(QStringLiteral("1037"));
    m_backButton->setFixedWidth(32);
    compare->addWidget(m_backButton, 1, 1);
    compare->addWidget(m_patches[1], 1, 2);
    auto* differenceRow = new QHBoxLayout;
    differenceRow->addWidget(new QLabel(QStringLiteral("色差"), this));
    m_difference = new QLabel(QStringLiteral("0.00"), this);
    m_difference->setObjectName(QStringLiteral("1165"));
    m_difference->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_difference->setMinimumWidth(56);
    differenceRow->addWidget(m_difference);
    compare->addLayout(differenceRow, 2, 2, Qt::AlignRight);

    m_valueText = new CColorValueText(this);
    m_valueText->setObjectName(QStringLiteral("1161"));
    m_valueText->setMinimumSize(110, 66);
    compare->addWidget(m_valueText, 3, 0, Qt::AlignTop);

    // The result's values in the chosen unit.
    auto* values = new QGridLayout;
    for (int i = 0; i < 3; ++i)
    {
        m_labels[i] = new CStaticTextEx(this);
        m_labels[i]->setObjectName(QString::number(1162 + i));
        m_labels[i]->setMinimumWidth(24);
        m_edits[i] = new CEditEx(this);
        m_edits[i]->setObjectName(QString::number(1143 + i));
        m_edits[i]->setMaximumWidth(72);
        values->addWidget(m_labels[i], i, 0);
        values->addWidget(m_edits[i], i, 1);
        connect(m_edits[i], &QLineEdit::textChanged, this, [this] { OnEditChange(); });
    }
    auto* unitRow = new QHBoxLayout;
    unitRow->addWidget(new QLabel(QStringLiteral("表示選択"), this));
    m_unitList = new QComboBox(this);
    m_unitList->setObjectName(QStringLiteral("1147"));
    m_unitList->addItems({QStringLiteral("XYZ値"), QStringLiteral("Yxy値"), QStringLiteral("Lab値"),
                          QStringLiteral("RGB値")});
    unitRow->addWidget(m_unitList);
    values->addLayout(unitRow, 3, 0, 1, 2);
    compare->addLayout(values, 3, 1, 1, 2, Qt::AlignRight);

    // The three colour sliders.
    auto* sliders = new QGridLayout;
    m_lightnessSlider = MakeSlider(this, "1134", 0, kLightnessMax);
    m_chromaSlider = MakeSlider(this, "1135", 0, kChromaMax);
    m_hueSlider = MakeSlider(this, "1136", 0, kHueMax);
    sliders->addWidget(new QLabel(QStringLiteral("明るさ"), this), 0, 0);
    sliders->addWidget(m_lightnessSlider, 0, 1);
    sliders->addWidget(new QLabel(QStringLiteral("鮮やかさ"), this), 1, 0);
    sliders->addWidget(m_chromaSlider, 1, 1);
    sliders->addWidget(new QLabel(QStringLiteral("色合い"), this), 2, 0);
    sliders->addWidget(m_hueSlider, 2, 1);

    // The candidates around the result.
    auto* candidates = new QGridLayout;
    candidates->addWidget(Captioned(this, m_patches[7], QStringLiteral("色合い＋")), 0, 0);
    candidates->addWidget(Captioned(this, m_patches[3], QStringLiteral("明るさ＋")), 0, 1);
    candidates->addWidget(Captioned(this, m_patches[5], QStringLiteral("鮮やかさ＋")), 0, 2);
    candidates->addWidget(m_patches[2], 1, 1);
    candidates->addWidget(Captioned(this, m_patches[8], QStringLiteral("色合い－")), 2, 0);
    candidates->addWidget(Captioned(this, m_patches[4], QStringLiteral("明るさ－")), 2, 1);
    candidates->addWidget(Captioned(this, m_patches[6], QStringLiteral("鮮やかさ－")), 2, 2);

    auto* stepRow = new QHBoxLayout;
    stepRow->addWidget(new QLabel(QStringLiteral("移動量 小"), this));
    m_stepSlider = MakeSlider(this, "1151", kColorSearchStep.min, kColorSearchStep.max);
    stepRow->addWidget(m_stepSlider);
    stepRow->addWidget(new QLabel(QStringLiteral("移動量 大"), this));

    QDialogButtonBox* buttons = MakeOkCancelButtons(this);

    auto* left = new QVBoxLayout;
    left->addLayout(compare);
    left->addLayout(sliders);
    auto* right = new QVBoxLayout;
    right->addLayout(candidates);
    right->addLayout(stepRow);
    auto* body = new QHBoxLayout;
    body->addLayout(left);
    body->addSpacing(12);
    body->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addWidget(buttons);

    for (int i = 0; i < 6; ++i)
    {
        CColorPatchCtrl* patch = m_patches[3 + i];
        connect(patch, &CColorPatchCtrl::notify, this,
                [this](int message, int code, qint64) { OnCandidate(message, code); });
    }
    connect(m_backButton, &QPushButton::clicked, this, &CColorSearchDlg::OnBack);
    connect(m_unitList, &QComboBox::currentIndexChanged, this, &CColorSearchDlg::OnUnitChange);
    ConnectTrackbar(m_stepSlider, this, [this](TrackbarCode code) { OnStepTrackbar(code); });
    for (QSlider* slider : {m_lightnessSlider, m_chromaSlider, m_hueSlider})
        ConnectTrackbar(slider, this, [this](TrackbarCode code) { OnColorTrackbar(code); });
}

void CColorSearchDlg::SetStartColor(const CCIEXYZ& color)
{
    m_startColor = color;
    m_baseColor = color;
}

CCIEXYZ CColorSearchDlg::GetResultColor() const
{
    return ShiftedColor(m_baseColor, m_offsets, White());
}

CCIEXYZ CColorSearchDlg::White() const
{
    return ColorValueWhite(Converter);
}

void CColorSearchDlg::writeControls()
{
    {
        const QSignalBlocker unitBlocker(m_unitList);
        const QSignalBlocker stepBlocker(m_stepSlider);
        m_valueText->Converter = Converter;
        m_valueText->Notation = static_cast<int>(Unit);
        m_valueText->SetValue(m_baseColor);
        m_unitList->setCurrentIndex(static_cast<int>(Unit) - 1);
        m_stepSlider->setValue(Step);
        for (int i = 0; i < 6; ++i)
            m_patches[3 + i]->setNotifyMessage(kCandidateMessages[i]);
    }
    Refresh(kChanged);
}

bool CColorSearchDlg::readControls()
{
    Step = m_stepSlider->value();
    const int index = m_unitList->currentIndex();
    if (index >= 0)
        Unit = static_cast<ColorSearchUnit>(index + 1);
    return true;
}

void CColorSearchDlg::accept()
{
    readControls();
    SetColorSearchSettings({Step, static_cast<int>(Unit)});
    done(kDialogOk);
}

bool CColorSearchDlg::TryMove(const CCIEXYZ& base, const ColorSearchOffsets& offsets)
{
    if (Check && !Check(ShiftedColor(base, offsets, White())))
    {
        QApplication::beep();
        return false;
    }
    m_baseColor = base;
    m_offsets = offsets;
    return true;
}

void CColorSearchDlg::Refresh(int mode)
{
    if (m_busy)
        return;
    m_busy = true;
    const CCIEXYZ white = White();
    const CCIEXYZ result = GetResultColor();

    m_patches[0]->SetColor(ColorSearchPatchColor(m_startColor, Converter));
    m_patches[1]->SetColor(ColorSearchPatchColor(result, Converter));
    m_patches[2]->SetColor(ColorSearchPatchColor(result, Converter));
    for (int i = 0; i < 6; ++i)
    {
        const CCIEXYZ candidate = ShiftedColor(m_baseColor, CandidateOffsets(m_offsets, i, Step), white);
        m_patches[3 + i]->SetColor(ColorSearchPatchColor(candidate, Converter));
    }

    const double deltaE = CCIELab::DeltaE(m_startColor.ToLab(white), result.ToLab(white));
    m_difference->setText(QString::fromStdString(ColorSearchDifferenceText(deltaE)));

    if (m_valueText->Notation != static_cast<int>(Unit))
    {
        m_valueText->Notation = static_cast<int>(Unit);
        m_valueText->update();
    }
    m_valueText->SetValue(m_startColor);

    bool inside = true;
    if (Converter != nullptr)
        Converter->IsInInputGamut(inside, std::span<const CCIEXYZ>(&result, 1));
    SetMarkColor(!inside);

    const auto fields = ColorSearchFields(Unit);
    const auto values = ColorSearchValues(Unit, result, white, Converter);
    for (int i = 0; i < 3; ++i)
    {
        m_labels[i]->setText(QString::fromLatin1(fields[i].label));
        CEditEx* edit = m_edits[i];
        edit->Mode = fields[i].integer ? EditMode::Integer : EditMode::Real;
        edit->Decimals = static_cast<short>(fields[i].decimals);
        edit->RealMin = fields[i].min;
        edit->RealMax = fields[i].max;
        edit->IntMin = static_cast<int>(fields[i].min);
        edit->IntMax = static_cast<int>(fields[i].max);
        // The edit being typed into keeps its text.
        if (edit->hasFocus())
        {
            edit->update();
            continue;
        }
        edit->NotifyEnabled = false;
        if (fields[i].integer)
            edit->SetInt(static_cast<int>(values[i]));
        else
            edit->SetDouble(values[i]);
        edit->NotifyEnabled = true;
    }

    const ColorSearchSliders positions = ColorSearchSlidersFromLab(result.ToLab(white));
    for (auto [slider, value] : {std::pair{m_lightnessSlider, positions.lightness},
                                 std::pair{m_chromaSlider, positions.chroma},
                                 std::pair{m_hueSlider, positions.hue}})
    {
        const QSignalBlocker blocker(slider);
        slider->setValue(value);
    }

    sendNotify(mode, 0);
    m_busy = false;
}

void CColorSearchDlg::SetMarkColor(bool outside)
{
    const COLORREF color = outside ? MakeColorRef(255, 0, 0)
                                   : RefFromColor(palette().color(QPalette::WindowText));
    for (int i = 0; i < 3; ++i)
    {
        if (m_labels[i]->TextColor() != color)
            m_labels[i]->SetTextColor(color);
        if (m_edits[i]->TextColor != color)
        {
            m_edits[i]->TextColor = color;
            m_edits[i]->update();
        }
    }
}

void CColorSearchDlg::OnCandidate(int message, int code)
{
    if (m_busy)
        return;
    const auto* found = std::find(kCandidateMessages.begin(), kCandidateMessages.end(), message);
    if (found == kCandidateMessages.end())
        return;
    if (code != CColorPatchCtrl::kPressed)
    {
        Refresh(kChanged);
        return;
    }
    const int index = static_cast<int>(found - kCandidateMessages.begin());
    TryMove(m_baseColor, CandidateOffsets(m_offsets, index, Step));
    Refresh(kHeld);
}

void CColorSearchDlg::OnBack()
{
    if (m_busy)
        return;
    TryMove(m_startColor, {});
    Refresh(kChanged);
}

void CColorSearchDlg::OnEditChange()
{
    if (m_busy)
        return;
    const auto fields = ColorSearchFields(Unit);
    std::array<double, 3> values{};
    for (int i = 0; i < 3; ++i)
        values[i] = fields[i].integer ? m_edits[i]->GetInt() : m_edits[i]->GetDouble();
    TryMove(ColorSearchBaseFromValues(Unit, values, White(), Converter), {});
    Refresh(kChanged);
}

void CColorSearchDlg::OnUnitChange(int index)
{
    if (m_busy || index < 0 || index + 1 == static_cast<int>(Unit))
        return;
    Unit = static_cast<ColorSearchUnit>(index + 1);
    Refresh(kChanged);
}

void CColorSearchDlg::OnStepTrackbar(TrackbarCode code)
{
    if (m_busy || (code != TrackbarCode::EndTrack && code != TrackbarCode::ThumbPosition))
        return;
    Step = m_stepSlider->value();
    Refresh(kChanged);
}

void CColorSearchDlg::OnColorTrackbar(TrackbarCode code)
{
    if (m_busy)
        return;
    if (code == TrackbarCode::EndTrack)
    {
        SetBaseFromSliders();
    }
    else if (code == TrackbarCode::ThumbPosition)
    {
        SliderTimer = true;
        m_sliderTimer.start();
    }
}

void CColorSearchDlg::OnSliderTimer()
{
    if (SliderTimer)
        SetBaseFromSliders();
}

// The end of a drag sets the base once; the pending timer would only set
// the same base again, so it is stopped here.
void CColorSearchDlg::SetBaseFromSliders()
{
    m_sliderTimer.stop();
    SliderTimer = false;
    const ColorSearchSliders positions{m_lightnessSlider->value(), m_chromaSlider->value(),
                                       m_hueSlider->value()};
    TryMove(ColorSearchColorFromSliders(positions, White()), {});
    Refresh(kChanged);
}
