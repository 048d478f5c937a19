#include "controls/dialogs/ProgDlg.h"

#include "controls/support/EventPump.h"
#include "controls/support/StringTable.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

int ProgressPercent(std::int64_t position, std::int64_t low, std::int64_t high)
{
    if (high == low)
        return 0;
    const std::int64_t percent = (position - low) * 100 / (high - low);
    return static_cast<int>(percent == 100 ? 100 : percent % 100);
}

int ProgressStep(int position, int step, int low, int high)
{
    const std::int64_t next = static_cast<std::int64_t>(position) + step;
    const std::int64_t range = static_cast<std::int64_t>(high) - low;
    if (range <= 0 || (next >= low && next <= high))
        return static_cast<int>(
            std::clamp<std::int64_t>(next, std::min(low, high), std::max(low, high)));
    // Past an end the bar starts over from low, carrying what went beyond.
    const std::int64_t offset = ((next - low) % range + range) % range;
    return static_cast<int>(low + offset);
}

CProgDlg::CProgDlg(int titleId, QWidget* parent)
    : QDialog(parent), TitleId(titleId), m_bar(new QProgressBar(this)),
      m_percent(new QLabel(QStringLiteral(" 0 %"), this)),
      m_cancel(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this))
{
    m_cancel->setObjectName(QStringLiteral("2"));
    m_bar->setObjectName(QStringLiteral("1003"));
    m_percent->setObjectName(QStringLiteral("1004"));

    // Enter must not reach the button: only Cancel, Esc and the close box
    // ask to stop.
    m_cancel->setAutoDefault(false);
    m_cancel->setDefault(false);
    m_bar->setTextVisible(false);
    // Wide enough for "100 %" so the layout does not move as the text grows.
    m_percent->setMinimumWidth(m_percent->fontMetrics().horizontalAdvance(QStringLiteral("100 %")) +
                               4);
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* barRow = new QHBoxLayout;
    barRow->addWidget(m_bar, 1);
    barRow->addWidget(m_percent);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_cancel);
    buttonRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(barRow);
    layout->addLayout(buttonRow);
    setMinimumWidth(280);

    connect(m_cancel, &QPushButton::clicked, this, &CProgDlg::reject);
}

void CProgDlg::HideCancelButton()
{
    m_cancel->hide();
}

bool CProgDlg::Create()
{
    m_bar->setRange(RangeMin, RangeMax);
    m_bar->setValue(RangeMin);
    if (TitleId != 0)
        setWindowTitle(LoadString(TitleId));

    QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    ParentDisabled = owner != nullptr && owner->isEnabled();
    setWindowModality(owner != nullptr ? Qt::WindowModal : Qt::NonModal);
    show();
    return true;
}

void CProgDlg::SetRange(int low, int high)
{
    RangeMin = low;
    RangeMax = high;
    m_bar->setRange(low, high);
}

void CProgDlg::SetStep(int step)
{
    StepSize = step;
}

void CProgDlg::SetPos(int position)
{
    m_bar->setValue(position);
    SetProgressPercentText(position);
}

void CProgDlg::StepIt()
{
    SetPos(ProgressStep(GetPos(), StepSize, RangeMin, RangeMax));
}

int CProgDlg::GetPos() const
{
    // A bar never set stands at its lower end.
    return m_bar->value() < m_bar->minimum() ? RangeMin : m_bar->value();
}

void CProgDlg::SetProgressPercentText(int position)
{
    const QString text = QStringLiteral("%1 %").arg(ProgressPercent(position, RangeMin, RangeMax));
    if (m_percent->text() != text)
        m_percent->setText(text);
}

void CProgDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
    {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CProgDlg::closeEvent(QCloseEvent* event)
{
    Cancelled = true;
    event->ignore();
}

void CProgDlg::reject()
{
    Cancelled = true;
}

void CProgDlg::accept() {}

bool CProgDlgSink::Report(double value)
{
    return Show(m_unit == ProgressUnit::Percent ? value / 100.0 : value);
}

bool CProgDlgSink::Report(std::int64_t done, std::int64_t total)
{
    return Show(CountFraction(done, total));
}

bool CProgDlgSink::Show(double fraction)
{
    if (!(fraction >= 0.0)) // also NaN
        fraction = 0.0;
    fraction = std::min(fraction, 1.0);
    const double low = m_dialog.RangeMin;
    const double high = m_dialog.RangeMax;
    m_dialog.SetPos(static_cast<int>(std::lround(low + fraction * (high - low))));
    PumpEvents();
    return !m_dialog.Cancelled;
}
