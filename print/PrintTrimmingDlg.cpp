#include "print/PrintTrimmingDlg.h"

#include "controls/dialogs/DialogButtons.h"
#include "controls/widgets/UpDown.h"
#include "core/MessageSink.h"
#include "print/MyEdit.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

TrimSettingCheck CheckTrimSettings(int left, int top, int right, int bottom, int widthLimit,
                                   int heightLimit)
{
    using Result = TrimSettingCheck::Result;
    const std::array<std::pair<TrimSide, int>, 4> inOrder = {{{TrimSide::Left, left},
                                                              {TrimSide::Top, top},
                                                              {TrimSide::Right, right},
                                                              {TrimSide::Bottom, bottom}}};
    for (const auto& [side, value] : inOrder)
        if (value < 0)
            return {Result::Negative, side};
    // The sums in 64 bits: two margins near the top of int must not wrap
    // round into an accepted value.
    const long long across = static_cast<long long>(left) + right;
    const long long down = static_cast<long long>(top) + bottom;
    if (across <= widthLimit && down <= heightLimit)
        return {Result::Accepted, TrimSide::Left};
    return {Result::TooLarge, TrimSide::Left};
}

CPrintTrimSettingDlg::CPrintTrimSettingDlg(QWidget* parent) : CDataDialog(parent)
{
    setWindowTitle(QStringLiteral("トリミングの設定"));

    const std::array<std::pair<int, int>, kSideCount> ids = {
        {{kIdLeft, kIdLeftSpin}, {kIdRight, kIdRightSpin}, {kIdTop, kIdTopSpin},
         {kIdBottom, kIdBottomSpin}}};
    for (int i = 0; i < kSideCount; ++i)
    {
        Side& side = m_sides[static_cast<std::size_t>(i)];
        side.edit = new CMyEdit(this);
        side.edit->setObjectName(QString::number(ids[static_cast<std::size_t>(i)].first));
        side.edit->Mode = EditMode::Real;
        side.edit->Decimals = 1;
        side.edit->Minimum = 0;
        side.edit->setAlignment(Qt::AlignRight);
        side.edit->setFixedWidth(72);
        side.edit->setNotifyMessage(ids[static_cast<std::size_t>(i)].first);
        connect(side.edit, &CMyEdit::notify, this, &CPrintTrimSettingDlg::onNotify);

        side.spin = new CUpDown(Qt::Vertical, this);
        side.spin->setObjectName(QString::number(ids[static_cast<std::size_t>(i)].second));
        side.spin->setNotifyMessage(ids[static_cast<std::size_t>(i)].second);
        connect(side.spin, &CUpDown::notify, this, &CPrintTrimSettingDlg::onNotify);
    }

    // The four sides around the picture of the image they cut: top above,
    // left and right beside each other, bottom below.
    auto* grid = new QGridLayout;
    const auto place = [&](int index, const QString& label, int row, int column) {
        const Side& side = m_sides[static_cast<std::size_t>(index)];
        auto* cell = new QHBoxLayout;
        cell->setSpacing(2);
        auto* name = new QLabel(label, this);
        name->setBuddy(side.edit);
        cell->addWidget(name);
        cell->addWidget(side.edit);
        cell->addWidget(side.spin);
        cell->addWidget(new QLabel(QStringLiteral("mm"), this));
        grid->addLayout(cell, row, column, Qt::AlignCenter);
    };
    place(kTop, QStringLiteral("上："), 0, 0);
    place(kLeft, QStringLiteral("左："), 1, 0);
    place(kRight, QStringLiteral("右："), 1, 1);
    place(kBottom, QStringLiteral("下："), 2, 0);
    grid->setHorizontalSpacing(16);

    auto* reset = new QPushButton(QStringLiteral("リセット"), this);
    reset->setObjectName(QString::number(kIdReset));
    reset->setAutoDefault(false);
    connect(reset, &QPushButton::clicked, this, &CPrintTrimSettingDlg::OnReset);

    QDialogButtonBox* buttons = MakeOkCancelButtons(this);

    auto* resetRow = new QHBoxLayout;
    resetRow->addStretch(1);
    resetRow->addWidget(reset);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("切り取るサイズ："), this));
    layout->addLayout(grid);
    layout->addLayout(resetRow);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The edits in reading order for Tab: left, right, top, bottom.
    for (int i = 0; i + 1 < kSideCount; ++i)
        setTabOrder(m_sides[static_cast<std::size_t>(i)].edit,
                    m_sides[static_cast<std::size_t>(i + 1)].edit);
}

int CPrintTrimSettingDlg::Opposite(int index)
{
    switch (index)
    {
    case kLeft:
        return kRight;
    case kRight:
        return kLeft;
    case kTop:
        return kBottom;
    default:
        return kTop;
    }
}

int CPrintTrimSettingDlg::LimitOf(int index) const
{
    return index == kLeft || index == kRight ? m_nWidthLimit : m_nHeightLimit;
}

QString* CPrintTrimSettingDlg::TextOf(int index)
{
    switch (index)
    {
    case kLeft:
        return &m_strLeft;
    case kRight:
        return &m_strRight;
    case kTop:
        return &m_strTop;
    default:
        return &m_strBottom;
    }
}

void CPrintTrimSettingDlg::SetMaximum(int index, int maximum)
{
    Side& side = m_sides[static_cast<std::size_t>(index)];
    side.edit->Maximum = maximum;
    // A spin range runs upward from 0: a maximum below 0 (the opposite
    // value already exceeds the limit) leaves the spin at 0.
    side.spin->SetRange(0, std::max(0, maximum));
}

void CPrintTrimSettingDlg::FollowOpposite(int index, int value)
{
    const int opposite = Opposite(index);
    SetMaximum(opposite, LimitOf(opposite) - value);
}

void CPrintTrimSettingDlg::writeControls()
{
    std::array<int, kSideCount> values{};
    for (int i = 0; i < kSideCount; ++i)
    {
        Side& side = m_sides[static_cast<std::size_t>(i)];
        side.edit->setText(*TextOf(i));
        values[static_cast<std::size_t>(i)] = side.edit->GetValue();
    }
    for (int i = 0; i < kSideCount; ++i)
    {
        SetMaximum(i, LimitOf(i) - values[static_cast<std::size_t>(Opposite(i))]);
        m_sides[static_cast<std::size_t>(i)].spin->SetPos(values[static_cast<std::size_t>(i)]);
    }
}

bool CPrintTrimSettingDlg::readControls()
{
    const auto value = [this](int index) {
        return m_sides[static_cast<std::size_t>(index)].edit->GetValue();
    };
    const TrimSettingCheck check = CheckTrimSettings(value(kLeft), value(kTop), value(kRight),
                                                     value(kBottom), m_nWidthLimit, m_nHeightLimit);
    switch (check.result)
    {
    case TrimSettingCheck::Result::Accepted:
        // Only accepted texts reach the caller's strings.
        for (int i = 0; i < kSideCount; ++i)
            *TextOf(i) = m_sides[static_cast<std::size_t>(i)].edit->text();
        return true;
    case TrimSettingCheck::Result::Negative:
    {
        ShowMessage(kStrTrimNotPositive, {}, MessageButtons::Ok, MessageIcon::Warning);
        const int index = check.side == TrimSide::Left    ? kLeft
                          : check.side == TrimSide::Top   ? kTop
                          : check.side == TrimSide::Right ? kRight
                                                          : kBottom;
        CMyEdit* edit = m_sides[static_cast<std::size_t>(index)].edit;
        edit->selectAll();
        edit->setFocus();
        return false;
    }
    case TrimSettingCheck::Result::TooLarge:
        ShowMessage(kStrTrimTooLarge, {}, MessageButtons::Ok, MessageIcon::Warning);
        return false;
    }
    return false;
}

void CPrintTrimSettingDlg::OnReset()
{
    for (int i = 0; i < kSideCount; ++i)
    {
        Side& side = m_sides[static_cast<std::size_t>(i)];
        side.edit->SetValue(0);
        SetMaximum(i, LimitOf(i));
        side.spin->SetPos(0);
    }
}

void CPrintTrimSettingDlg::onNotify(int message, int code, qint64 value)
{
    for (int i = 0; i < kSideCount; ++i)
    {
        Side& side = m_sides[static_cast<std::size_t>(i)];
        if (message == side.spin->notifyMessage())
        {
            // A spin step or its end: the edit shows the position and the
            // opposite side may take what is left of the limit.
            if (code != CUpDown::kThumbPosition && code != CUpDown::kEndScroll)
                return;
            const int position = static_cast<int>(value);
            side.edit->SetValue(position);
            FollowOpposite(i, position);
            return;
        }
        if (message == side.edit->notifyMessage())
        {
            const int typed = static_cast<int>(value);
            side.spin->SetPos(typed);
            FollowOpposite(i, typed);
            return;
        }
    }
}
