#include "controls/widgets/UpDown.h"

#include <QBoxLayout>
#include <QToolButton>

#include <algorithm>

CUpDown::CUpDown(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), m_orientation(orientation)
{
    const bool vertical = orientation == Qt::Vertical;
    auto* layout = vertical ? static_cast<QBoxLayout*>(new QVBoxLayout(this))
                            : static_cast<QBoxLayout*>(new QHBoxLayout(this));
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_up = new QToolButton(this);
    m_down = new QToolButton(this);
    m_up->setArrowType(vertical ? Qt::UpArrow : Qt::RightArrow);
    m_down->setArrowType(vertical ? Qt::DownArrow : Qt::LeftArrow);
    for (QToolButton* button : {m_up, m_down})
    {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        if (vertical)
            button->setFixedSize(16, 11);
        else
            button->setFixedSize(14, 20);
    }
    // Horizontal arrows read left to right: decrease, then increase.
    if (vertical)
    {
        layout->addWidget(m_up);
        layout->addWidget(m_down);
    }
    else
    {
        layout->addWidget(m_down);
        layout->addWidget(m_up);
    }
    // A step on pressing (and on each repeat while held, which Qt reports
    // as pressed again), the end on letting go.
    connect(m_up, &QToolButton::pressed, this, [this] { Step(+1); });
    connect(m_down, &QToolButton::pressed, this, [this] { Step(-1); });
    connect(m_up, &QToolButton::released, this, [this] { EndScroll(); });
    connect(m_down, &QToolButton::released, this, [this] { EndScroll(); });
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CUpDown::SetRange(int lower, int upper)
{
    m_lower = std::min(lower, upper);
    m_upper = std::max(lower, upper);
    m_position = std::clamp(m_position, m_lower, m_upper);
}

void CUpDown::SetPos(int position)
{
    m_position = std::clamp(position, m_lower, m_upper);
}

void CUpDown::Step(int direction)
{
    int next = m_position + (direction >= 0 ? 1 : -1);
    if (next > m_upper)
        next = m_wrap ? m_lower : m_upper;
    else if (next < m_lower)
        next = m_wrap ? m_upper : m_lower;
    m_position = next;
    sendNotify(kThumbPosition, m_position);
}

void CUpDown::EndScroll()
{
    // An auto-repeating arrow releases between its repeats: only the
    // final release (the button no longer held) ends the scroll.
    if (m_up->isDown() || m_down->isDown())
        return;
    sendNotify(kEndScroll, m_position);
}
