#include "controls/dialogs/EditChartDlg.h"

#include "controls/dialogs/DialogButtons.h"

#include "controls/widgets/ColorCheckerCtrl.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

namespace {

constexpr int kScaleMin = 50;
constexpr int kScaleMax = 150;
constexpr int kScaleStart = 100;
constexpr int kHueMin = -50;
constexpr int kHueMax = 50;

QSlider* MakeSlider(QWidget* parent, const char* id)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QString::fromLatin1(id));
    slider->setMinimumWidth(200);
    return slider;
}

} // namespace

CEditChartDlg::CEditChartDlg(QWidget* parent) : CDataDialog(parent)
{
    setWindowTitle(QStringLiteral("チャート色変更"));

    m_grid = new CColorCheckerCtrl(this);
    m_grid->setObjectName(QStringLiteral("1137"));
    m_grid->setMinimumSize(300, 200);

    m_lightnessSlider = MakeSlider(this, "1134");
    m_chromaSlider = MakeSlider(this, "1135");
    m_hueSlider = MakeSlider(this, "1136");
    auto* sliders = new QFormLayout;
    sliders->addRow(QStringLiteral("明るさ"), m_lightnessSlider);
    sliders->addRow(QStringLiteral("鮮やかさ"), m_chromaSlider);
    sliders->addRow(QStringLiteral("色合い"), m_hueSlider);

    QDialogButtonBox* buttons = MakeOkCancelButtons(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_grid, 1);
    layout->addLayout(sliders);
    layout->addWidget(buttons);

    for (QSlider* slider : {m_lightnessSlider, m_chromaSlider, m_hueSlider})
        ConnectTrackbar(slider, this, [this](TrackbarCode code) { OnTrackbar(code); });
}

void CEditChartDlg::SetColors(const T2DArray<CCIEXYZ>& colors)
{
    m_source = colors;
    m_edited = colors;
}

void CEditChartDlg::writeControls()
{
    const QSignalBlocker lightness(m_lightnessSlider);
    const QSignalBlocker chroma(m_chromaSlider);
    const QSignalBlocker hue(m_hueSlider);
    m_lightnessSlider->setRange(kScaleMin, kScaleMax);
    m_lightnessSlider->setValue(kScaleStart);
    m_chromaSlider->setRange(kScaleMin, kScaleMax);
    m_chromaSlider->setValue(kScaleStart);
    m_hueSlider->setRange(kHueMin, kHueMax);
    m_hueSlider->setValue(0);
    readControls();
    PaintGrid();
}

bool CEditChartDlg::readControls()
{
    LightnessPos = m_lightnessSlider->value();
    ChromaPos = m_chromaSlider->value();
    HuePos = m_hueSlider->value();
    return true;
}

void CEditChartDlg::accept()
{
    done(kDialogOk);
}

void CEditChartDlg::OnTrackbar(TrackbarCode code)
{
    if (code != TrackbarCode::ThumbPosition && code != TrackbarCode::EndTrack)
        return;
    readControls();
    m_edited = EditChartColors(m_source, {LightnessPos, ChromaPos, HuePos}, Converter);
    PaintGrid();
}

void CEditChartDlg::PaintGrid()
{
    m_grid->SetColors(RGBColor{65535, 65535, 65535}, EditChartGridCells(m_edited, Converter));
}
