#include "controls/dialogs/SlideShowDlg.h"

#include "controls/support/ResourceImages.h"
#include "controls/support/StringTable.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPainter>

namespace {

constexpr int kButtonSide = 24;

struct ButtonRow
{
    CSlideShowDlg::Code code;
    const char* id;
    int upBitmap;
    int downBitmap;
    int tooltip;
};

// Left to right as the bar shows them; settings sits between next and
// close.
constexpr ButtonRow kButtonRows[] = {
    {CSlideShowDlg::kPlay, "1315", kBitmapSlidePlayUp, kBitmapSlidePlayDown, 3038},
    {CSlideShowDlg::kPause, "1320", kBitmapSlidePauseUp, kBitmapSlidePauseDown, 3039},
    {CSlideShowDlg::kPrevious, "1308", kBitmapSlidePreviousUp, kBitmapSlidePreviousDown, 3040},
    {CSlideShowDlg::kNext, "1309", kBitmapSlideNextUp, kBitmapSlideNextDown, 3041},
    {CSlideShowDlg::kSettings, "1324", kBitmapSlideSettingsUp, kBitmapSlideSettingsDown, 3043},
    {CSlideShowDlg::kClose, "1314", kBitmapSlideCloseUp, kBitmapSlideCloseDown, 3042},
};

} // namespace

CSlideShowButton::CSlideShowButton(int upBitmap, int downBitmap, QWidget* parent)
    : QAbstractButton(parent), m_up(LoadBitmapResource(upBitmap)),
      m_down(LoadBitmapResource(downBitmap))
{
    setFixedSize(kButtonSide, kButtonSide);
    setFocusPolicy(Qt::NoFocus);
}

QSize CSlideShowButton::sizeHint() const
{
    return {kButtonSide, kButtonSide};
}

void CSlideShowButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, isDown() || isChecked() ? m_down : m_up);
}

CSlideShowDlg::CSlideShowDlg(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* playState = new QButtonGroup(this);
    playState->setExclusive(true);
    for (const ButtonRow& row : kButtonRows)
    {
        auto* button = new CSlideShowButton(row.upBitmap, row.downBitmap, this);
        button->setObjectName(QString::fromLatin1(row.id));
        button->setToolTip(LoadString(row.tooltip));
        if (row.code == kPlay || row.code == kPause)
        {
            button->setCheckable(true);
            playState->addButton(button);
        }
        const int code = row.code;
        connect(button, &QAbstractButton::clicked, this, [this, code] { sendNotify(code, 0); });
        layout->addWidget(button);
        m_buttons[row.code] = button;
    }
    m_buttons[kPlay]->setChecked(true);
    setFixedSize(layout->sizeHint());
}

CSlideShowButton* CSlideShowDlg::button(Code code) const
{
    return m_buttons[code];
}
