#include "monitor/DetailModePageKit.h"

#include "controls/support/StringTable.h"
#include "monitor/DetailModeSheet.h"
#include "monitor/Display.h"

#include <QLabel>
#include <QRadioButton>
#include <QSlider>

namespace {

constexpr int kStrBrightnessNoRange = 3072;

} // namespace

namespace detailmode {

QLabel* MakeText(QWidget* parent, int id, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    if (id != 0)
        label->setObjectName(Id(id));
    return label;
}

QRadioButton* MakeRadio(QWidget* parent, int id, const QString& text)
{
    return Named(new QRadioButton(text, parent), id);
}

void SetFont(const CDetailModeSheet& sheet, std::initializer_list<QWidget*> widgets)
{
    for (QWidget* widget : widgets)
        if (widget != nullptr)
            widget->setFont(sheet.PageFont());
}

bool IsTwoRangeModel(const CDisplay* display)
{
    return display != nullptr && IsModelIn(TwoRangeBrightnessModelCodes(), display->ModelCode);
}

} // namespace detailmode

using namespace detailmode;

CBrightnessBar::CBrightnessBar(QWidget* page, int barId, int levelId,
                               CBrightnessSlider::Orientation orientation)
    : m_slider(orientation)
{
    const bool vertical = orientation == CBrightnessSlider::Orientation::Vertical;
    m_bar = Named(new QSlider(vertical ? Qt::Vertical : Qt::Horizontal, page), barId);
    m_bar->setRange(0, CBrightnessSlider::kMaxLevel);
    m_bar->setPageStep(1);
    if (vertical)
    {
        // Position 0 at the top, as the level's brightest end.
        m_bar->setInvertedAppearance(true);
        m_bar->setInvertedControls(true);
        m_bar->setTickPosition(QSlider::TicksRight);
        m_bar->setTickInterval(1);
    }
    else
    {
        m_bar->setTickPosition(QSlider::TicksBelow);
    }
    m_level = MakeText(page, levelId, QStringLiteral("0"));
    m_level->setAlignment(Qt::AlignCenter);
    m_level->setWordWrap(false);
    m_refusal = MakeText(page, 0, LoadString(kStrBrightnessNoRange));
    m_refusal->setObjectName(QStringLiteral("refusal"));
    m_refusal->hide();
    QObject::connect(m_bar, &QSlider::valueChanged, page, [this](int position) {
        if (!m_placing)
            Move(position);
    });
}

void CBrightnessBar::Init(CDisplay* display)
{
    m_slider.Init(display, IsTwoRangeModel(display));
    Show();
}

void CBrightnessBar::Reread(bool firstBrightnessPage)
{
    m_slider.Reread(firstBrightnessPage);
    Show();
}

void CBrightnessBar::Move(int position)
{
    m_slider.Move(CBrightnessSlider::LevelOfPosition(position, m_slider.GetOrientation()));
    Show();
}

void CBrightnessBar::Show()
{
    m_placing = true;
    m_bar->setValue(m_slider.Position());
    m_placing = false;
    m_bar->setEnabled(!m_slider.Refused());
    m_refusal->setVisible(m_slider.Refused());
    m_level->setText(QString::number(m_slider.Level()));
}
