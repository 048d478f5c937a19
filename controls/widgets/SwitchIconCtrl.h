#pragma once
// CSwitchIconCtrl: one icon out of a list of (icon number, state) pairs,
// switched by state (the stage icons of the batch progress window).

#include "controls/widgets/ControlWidget.h"

#include <QIcon>

#include <functional>
#include <utility>
#include <vector>

class CSwitchIconCtrl : public CControlWidget
{
    Q_OBJECT
public:
    // Loads an icon by its resource number.
    using IconLoader = std::function<QIcon(int iconId)>;

    explicit CSwitchIconCtrl(QWidget* parent = nullptr);

    // Shows iconId for state. The first pair of a state counts.
    void AddIcon(int iconId, int state);

    // The painted area. While width or height is not positive the icon is
    // drawn at its own size (32 x 32 when it has several).
    void SetDrawSize(int width, int height);

    // Shows the icon of the first pair carrying state; a state that no pair
    // carries clears the picture. An icon is loaded only when its number
    // differs from the one shown.
    void SetState(int state);

    // The number of the icon shown; 0 for none.
    int IconId() const { return m_iconId; }

    void paint(QPainter& painter) const override;
    QSize sizeHint() const override;

    // Puts loader in place of LoadIconResource for every CSwitchIconCtrl;
    // an empty function restores it. Returns the one in place before.
    static IconLoader SetIconLoader(IconLoader loader);

private:
    QSize IconSize() const;

    std::vector<std::pair<int, int>> m_icons; // (icon number, state)
    int m_iconId = 0;
    QIcon m_icon;
    int m_width = 0;
    int m_height = 0;
};
