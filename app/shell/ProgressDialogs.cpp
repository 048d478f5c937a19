#include "app/shell/ProgressDialogs.h"

#include "controls/support/ResourceImages.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/SwitchIconCtrl.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <QDateTime>

#include <algorithm>

namespace {

// Icons of both windows, drawn 16 x 16.
constexpr int kIconSide = 16;
constexpr int kIconMarker = kIconStageMarker;   // under the step that runs
constexpr int kIconCurrent = kIconStageCurrent; // batch: the stage that runs
constexpr int kIconNormal = kIconStageNormal;   // batch: a stage that runs or ran
constexpr int kIconNotRun = kIconStageNotRun;   // batch: a step that does not run

struct StepRow
{
    int iconControl;
    int markerControl;
    int runIcon;
    int notRunIcon;
    bool hidden; // the template hides the row
};

// The re-processing window's steps, in slot order.
constexpr std::array<StepRow, 7> kViewChangeRows = {{
    {1023, 1024, kIconDevelopmentRuns, kIconDevelopmentNotRun, true},
    {1013, 1017, kIconChartRuns, kIconChartNotRun, true},
    {1025, 1026, kIconTrimmingRuns, kIconTrimmingNotRun, false},
    {1014, 1018, kIconGradationRuns, kIconGradationNotRun, false},
    {1015, 1019, kIconColourToneRuns, kIconColourToneNotRun, false},
    {1016, 1020, kIconSpecifiedColourRuns, kIconSpecifiedColourNotRun, false},
    {1022, 1021, kIconFilterRuns, kIconFilterNotRun, false},
}};

struct StageRow
{
    int iconControl;
    int labelControl;
    const char* text;
    bool hidden;
};

// The batch window's stages 1..9.
const std::array<StageRow, 9> kBatchRows = {{
    {1024, 1195, "現像", true},
    {1018, 1185, "チャート補正", true},
    {1285, 1196, "トリミング、サイズ変更", false},
    {1019, 1186, "階調補正", false},
    {1020, 1187, "色調補正", false},
    {1021, 1188, "指定色補正", false},
    {1023, 1194, "フィルタ補正", false},
    {1183, 1184, "イメージロード", false},
    {1022, 1189, "イメージセーブ", false},
}};

CSwitchIconCtrl* MakeIcon(QWidget* parent, int control)
{
    auto* icon = new CSwitchIconCtrl(parent);
    icon->setObjectName(QString::number(control));
    icon->SetDrawSize(kIconSide, kIconSide);
    icon->setFixedSize(kIconSide, kIconSide);
    return icon;
}

QLabel* MakeLabel(QWidget* parent, int control, const QString& text = QString())
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::number(control));
    return label;
}

QPushButton* CancelButton(QWidget* dialog)
{
    return dialog->findChild<QPushButton*>(QStringLiteral("2"), Qt::FindDirectChildrenOnly);
}

CBatchProgDlg::Clock& BatchClock()
{
    static CBatchProgDlg::Clock clock;
    return clock;
}

} // namespace

QString FormatDuration(std::int64_t seconds)
{
    seconds = std::max<std::int64_t>(seconds, 0);
    return QStringLiteral("%1 : %2 : %3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

std::int64_t RemainingSeconds(std::int64_t elapsed, std::int64_t done, std::int64_t total)
{
    if (done <= 0)
        return -1;
    return elapsed / done * std::max<std::int64_t>(total - done, 0);
}

QPoint CenteredOnDesktop(const QRect& rect, const QSize& size, const QRect& desktop)
{
    int x = rect.left() + (rect.width() - size.width()) / 2;
    int y = rect.top() + (rect.height() - size.height()) / 2;
    x = std::max(std::min(x, desktop.left() + desktop.width() - size.width()), 0);
    y = std::max(std::min(y, desktop.top() + desktop.height() - size.height()), 0);
    return {x, y};
}

// ---- CViewChangeProgDlg

CViewChangeProgDlg::CViewChangeProgDlg(QWidget* parent) : CProgDlg(kStrViewChangeCaption, parent)
{
    StepSize = 1;
    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < kViewChangeRows.size(); ++i)
    {
        const StepRow& row = kViewChangeRows[i];
        m_icons[i] = MakeIcon(this, row.iconControl);
        m_icons[i]->AddIcon(row.runIcon, 0);
        m_icons[i]->AddIcon(row.notRunIcon, 1);
        m_icons[i]->SetState(0);
        m_icons[i]->setVisible(!row.hidden);
        m_markers[i] = MakeIcon(this, row.markerControl);
        m_markers[i]->AddIcon(kIconMarker, 0);
        m_markers[i]->SetState(0);
        m_markers[i]->hide();
        // The hidden rows take no room: the shown steps stand side by side.
        if (!row.hidden)
        {
            const int column = grid->columnCount();
            grid->addWidget(m_icons[i], 0, column, Qt::AlignCenter);
            grid->addWidget(m_markers[i], 1, column, Qt::AlignCenter);
        }
    }
    grid->setRowMinimumHeight(1, kIconSide);
    static_cast<QVBoxLayout*>(layout())->insertLayout(0, grid);
    HideCancelButton();
}

void CViewChangeProgDlg::SetStepFlags(const std::array<int, 7>& flags)
{
    for (std::size_t i = 0; i < flags.size(); ++i)
        m_icons[i]->SetState(flags[i] != 0 ? 0 : 1);
}

void CViewChangeProgDlg::SetStage(int stage)
{
    for (CSwitchIconCtrl* marker : m_markers)
        marker->hide();
    if (stage >= 1 && stage <= 7)
        m_markers[static_cast<std::size_t>(stage - 1)]->show();
    m_stage = stage;
}

// ---- CBatchProgDlg

CBatchProgDlg::Clock CBatchProgDlg::SetClock(Clock clock)
{
    Clock previous = std::move(BatchClock());
    BatchClock() = std::move(clock);
    return previous;
}

CBatchProgDlg::CBatchProgDlg(QWidget* parent)
    : CProgDlg(kStrProcessingCaption, parent), m_fileName(MakeLabel(this, 1028)),
      m_message(MakeLabel(this, 1029)), m_done(MakeLabel(this, 1190)),
      m_total(MakeLabel(this, 1191)), m_elapsed(MakeLabel(this, 1192)),
      m_remaining(MakeLabel(this, 1193))
{
    StepSize = 1;
    auto* stages = new QGridLayout;
    for (std::size_t i = 0; i < kBatchRows.size(); ++i)
    {
        const StageRow& row = kBatchRows[i];
        m_icons[i] = MakeIcon(this, row.iconControl);
        m_icons[i]->AddIcon(kIconNormal, 0);
        if (i < m_stepLabels.size())
            m_icons[i]->AddIcon(kIconNotRun, 1);
        m_icons[i]->AddIcon(kIconCurrent, 2);
        m_icons[i]->SetState(0);
        QLabel* label = MakeLabel(this, row.labelControl, QString::fromUtf8(row.text));
        if (i < m_stepLabels.size())
            m_stepLabels[i] = label;
        if (row.hidden)
        {
            m_icons[i]->hide();
            label->hide();
            continue;
        }
        const int line = stages->rowCount();
        stages->addWidget(m_icons[i], line, 0);
        stages->addWidget(label, line, 1);
    }
    stages->setColumnStretch(1, 1);

    auto* counts = new QHBoxLayout;
    counts->addWidget(m_done);
    counts->addWidget(new QLabel(QStringLiteral("/"), this));
    counts->addWidget(m_total);
    counts->addStretch(1);
    auto* times = new QGridLayout;
    times->addWidget(new QLabel(QStringLiteral("経過時間"), this), 0, 0);
    times->addWidget(m_elapsed, 0, 1);
    times->addWidget(new QLabel(QStringLiteral("残り時間"), this), 1, 0);
    times->addWidget(m_remaining, 1, 1);
    times->setColumnStretch(1, 1);

    auto* rows = new QVBoxLayout;
    rows->addLayout(stages);
    rows->addWidget(m_fileName);
    rows->addWidget(m_message);
    rows->addLayout(counts);
    rows->addLayout(times);
    static_cast<QVBoxLayout*>(layout())->insertLayout(0, rows);

    m_start = Now();
    m_elapsed->setText(FormatDuration(0));
    m_remaining->setText(FormatDuration(0));
    CancelButton(this)->setText(QStringLiteral("中止"));
}

std::int64_t CBatchProgDlg::Now() const
{
    return BatchClock() ? BatchClock()() : QDateTime::currentSecsSinceEpoch();
}

void CBatchProgDlg::SetStepFlags(const std::array<int, 7>& flags)
{
    for (std::size_t i = 0; i < flags.size(); ++i)
    {
        m_icons[i]->SetState(flags[i] != 0 ? 0 : 1);
        m_stepLabels[i]->setEnabled(flags[i] != 0);
    }
}

void CBatchProgDlg::SetStage(int stage)
{
    if (stage == m_stage || stage < 1 || stage > static_cast<int>(m_icons.size()))
        return;
    if (m_stage >= 1)
        m_icons[static_cast<std::size_t>(m_stage - 1)]->SetState(0);
    m_icons[static_cast<std::size_t>(stage - 1)]->SetState(2);
    m_stage = stage;
}

void CBatchProgDlg::ShowFile(int done, int total, const QString& fileName,
                             bool previousSaveFailed)
{
    m_done->setText(QStringLiteral("%1").arg(done, 3));
    m_total->setText(QStringLiteral("%1").arg(total, 3));
    if (!fileName.isEmpty())
        m_fileName->setText(fileName);

    const std::int64_t elapsed = Now() - m_start;
    m_elapsed->setText(FormatDuration(elapsed));
    const std::int64_t remaining = RemainingSeconds(elapsed, done, total);
    if (remaining >= 0)
        m_remaining->setText(FormatDuration(remaining));

    m_message->setText(previousSaveFailed ? LoadString(kStrBatchSaveFailed) : QString());
}
