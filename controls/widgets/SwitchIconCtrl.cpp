#include "controls/widgets/SwitchIconCtrl.h"

#include "controls/support/ResourceImages.h"

namespace {

constexpr int kNaturalIconSide = 32;

CSwitchIconCtrl::IconLoader& Loader()
{
    static CSwitchIconCtrl::IconLoader loader;
    return loader;
}

} // namespace

CSwitchIconCtrl::CSwitchIconCtrl(QWidget* parent) : CControlWidget(parent) {}

void CSwitchIconCtrl::AddIcon(int iconId, int state)
{
    m_icons.emplace_back(iconId, state);
}

void CSwitchIconCtrl::SetDrawSize(int width, int height)
{
    m_width = width;
    m_height = height;
    updateGeometry();
    update();
}

void CSwitchIconCtrl::SetState(int state)
{
    int iconId = 0;
    for (const auto& [id, iconState] : m_icons)
    {
        if (iconState == state)
        {
            iconId = id;
            break;
        }
    }
    if (iconId == m_iconId)
        return;
    m_iconId = iconId;
    if (iconId == 0)
        m_icon = QIcon();
    else
        m_icon = Loader() ? Loader()(iconId) : LoadIconResource(iconId);
    update();
}

QSize CSwitchIconCtrl::IconSize() const
{
    if (m_width > 0 && m_height > 0)
        return QSize(m_width, m_height);
    return m_icon.actualSize(QSize(kNaturalIconSide, kNaturalIconSide));
}

void CSwitchIconCtrl::paint(QPainter& painter) const
{
    if (m_icon.isNull())
        return;
    const QRect area(QPoint(0, 0), IconSize());
    PainterStateGuard guard(painter);
    painter.setClipRect(area);
    m_icon.paint(&painter, area);
}

QSize CSwitchIconCtrl::sizeHint() const
{
    if (m_width > 0 && m_height > 0)
        return QSize(m_width, m_height);
    return QSize(kNaturalIconSide, kNaturalIconSide);
}

CSwitchIconCtrl::IconLoader CSwitchIconCtrl::SetIconLoader(IconLoader loader)
{
    return std::exchange(Loader(), std::move(loader));
}
