#include "controls/dialogs/HendouCustomDlg.h"

#include "controls/dialogs/DialogButtons.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <limits>

double HendouStrength(int position)
{
    return (position - CHendouCustomDlg::kNeutral) / double(CHendouCustomDlg::kNeutral);
}

double HendouRange(int position)
{
    if (position >= CHendouCustomDlg::kRangeMax)
        return std::numeric_limits<double>::max();
    return position;
}

CHendouCustomDlg::CHendouCustomDlg(QWidget* parent) : CDataDialog(parent)
{
    setWindowTitle(QStringLiteral("補正範囲設定"));

    auto* explanation = new QLabel(QStringLiteral("補正する部分の色の範囲が広い場合は値を大きく、\n"
                                                  "狭い場合は値を小さくしてください。"),
                                   this);

    m_strengthSlider = new QSlider(Qt::Horizontal, this);
    m_strengthSlider->setObjectName(QStringLiteral("1178"));
    m_strengthSlider->setRange(0, kStrengthMax);
    m_strengthSlider->setTickPosition(QSlider::TicksBelow);
    m_strengthSlider->setTickInterval(kNeutral);
    m_strengthSlider->setMinimumWidth(240);
    m_strengthText = new QLabel(this);
    m_strengthText->setObjectName(QStringLiteral("1181"));
    m_strengthText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_strengthText->setMinimumWidth(m_strengthText->fontMetrics().horizontalAdvance(QStringLiteral("-20")) + 4);

    // Present in the dialog, never shown.
    m_rangeSlider = new QSlider(Qt::Horizontal, this);
    m_rangeSlider->setObjectName(QStringLiteral("1179"));
    m_rangeSlider->setRange(0, kRangeMax);
    m_rangeSlider->hide();
    m_rangeText = new QLabel(this);
    m_rangeText->setObjectName(QStringLiteral("1182"));
    m_rangeText->hide();

    auto* scale = new QHBoxLayout;
    scale->addWidget(new QLabel(QStringLiteral("色域小"), this));
    scale->addStretch(1);
    scale->addWidget(new QLabel(QStringLiteral("標準"), this));
    scale->addStretch(1);
    scale->addWidget(new QLabel(QStringLiteral("色域大"), this));

    auto* sliderGrid = new QGridLayout;
    sliderGrid->addWidget(m_strengthSlider, 0, 0);
    sliderGrid->addWidget(m_strengthText, 0, 1);
    sliderGrid->addLayout(scale, 1, 0);

    auto* reset = new QPushButton(QStringLiteral("リセット"), this);
    reset->setObjectName(QStringLiteral("1037"));
    connect(reset, &QPushButton::clicked, this, &CHendouCustomDlg::Reset);

    QDialogButtonBox* buttons = MakeOkCancelButtons(this);
    buttons->addButton(reset, QDialogButtonBox::ResetRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addLayout(sliderGrid);
    layout->addWidget(m_rangeSlider);
    layout->addWidget(m_rangeText);
    layout->addWidget(buttons);

    for (QTimer* timer : {&m_strengthTimer, &m_rangeTimer})
    {
        timer->setSingleShot(true);
        timer->setInterval(kTimerMs);
    }
    connect(&m_strengthTimer, &QTimer::timeout, this, &CHendouCustomDlg::OnStrengthTimer);
    connect(&m_rangeTimer, &QTimer::timeout, this, &CHendouCustomDlg::OnRangeTimer);
    ConnectTrackbar(m_strengthSlider, this,
                    [this](TrackbarCode code) { OnTrackbar(Which::Strength, code); });
    ConnectTrackbar(m_rangeSlider, this, [this](TrackbarCode code) { OnTrackbar(Which::Range, code); });
}

void CHendouCustomDlg::writeControls()
{
    {
        const QSignalBlocker strength(m_strengthSlider);
        const QSignalBlocker range(m_rangeSlider);
        m_strengthSlider->setValue(StrengthPos);
        m_rangeSlider->setValue(RangePos);
    }
    readControls();
    UpdateText(Which::Strength);
    Report(Which::Strength);
    UpdateText(Which::Range);
    Report(Which::Range);
}

bool CHendouCustomDlg::readControls()
{
    StrengthPos = m_strengthSlider->value();
    RangePos = m_rangeSlider->value();
    return true;
}

void CHendouCustomDlg::accept()
{
    done(kDialogOk);
}

void CHendouCustomDlg::Reset()
{
    StrengthPos = kNeutral;
    RangePos = kNeutral;
    writeControls();
}

void CHendouCustomDlg::UpdateText(Which which)
{
    readControls();
    if (which == Which::Strength)
        m_strengthText->setText(QString::number(StrengthPos - kNeutral));
    else
        m_rangeText->setText(QString::number(RangePos));
}

void CHendouCustomDlg::Report(Which which)
{
    const int message = which == Which::Strength ? StrengthMessage : RangeMessage;
    if (message != 0)
        emit notify(message, 0, 0);
}

// A drag reports once: at the end of the track, or when a thumb-position
// event is followed by nothing for 500 ms; the end of the track stops the
// timer so that its tick does not report the same position again.
void CHendouCustomDlg::OnTrackbar(Which which, TrackbarCode code)
{
    QTimer& timer = which == Which::Strength ? m_strengthTimer : m_rangeTimer;
    bool& flag = which == Which::Strength ? StrengthTimer : RangeTimer;
    UpdateText(which);
    if (code == TrackbarCode::ThumbPosition)
    {
        flag = true;
        timer.start();
    }
    else if (code == TrackbarCode::EndTrack)
    {
        timer.stop();
        flag = false;
        Report(which);
    }
}

void CHendouCustomDlg::OnStrengthTimer()
{
    m_strengthTimer.stop();
    StrengthTimer = false;
    UpdateText(Which::Strength);
    Report(Which::Strength);
}

void CHendouCustomDlg::OnRangeTimer()
{
    m_rangeTimer.stop();
    RangeTimer = false;
    UpdateText(Which::Range);
    Report(Which::Range);
}
