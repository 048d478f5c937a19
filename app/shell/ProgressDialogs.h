#pragma once
// The progress windows of the project's long operations that show more
// than a bar: the re-processing window, with a row of step icons and a
// marker under the step that runs, and the batch window, with a stage icon
// per step, the file being processed, the count of files and the elapsed
// and remaining time. Both are CProgDlg (bar 1003, percent text 1004,
// button 2) with their rows above the bar, so they open, block their
// owner's window and raise Cancelled as every progress window does.

#include "controls/dialogs/ProgDlg.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class CSwitchIconCtrl;
class QLabel;

// Captions.
inline constexpr int kStrListLoadCaption = 2100;  // "リスト読込 処理中"
inline constexpr int kStrFileLoadCaption = 2101;  // "ファイルを開いています"
inline constexpr int kStrFileSaveCaption = 2157;  // "ファイルを保存しています"
inline constexpr int kStrViewChangeCaption = 2103; // "補正 処理中"
inline constexpr int kStrProcessingCaption = 2104; // "処理中"
inline constexpr int kStrBatchSaveFailed = 2201;   // "保存に失敗しました"

// Elapsed or remaining seconds as "HH : MM : SS". A duration, not a time
// of day: the hours go on past 24. Negative durations show as 0.
QString FormatDuration(std::int64_t seconds);

// The time still needed when done of total items took elapsed seconds:
// elapsed / done x (total - done) in integer seconds; nothing is known
// (-1) while no item is done.
std::int64_t RemainingSeconds(std::int64_t elapsed, std::int64_t done, std::int64_t total);

// Where a window of the given size goes to stand centred on rect while
// staying on the desktop: each coordinate limited to 0 .. (desktop's far
// edge - the window's size), the lower limit winning.
QPoint CenteredOnDesktop(const QRect& rect, const QSize& size, const QRect& desktop);

// The re-processing window (template 10137): stages 1..7, the steps in
// slot order. It cannot be cancelled: its button is hidden.
class CViewChangeProgDlg : public CProgDlg
{
    Q_OBJECT
public:
    explicit CViewChangeProgDlg(QWidget* parent = nullptr);

    // Each step's icon in its "runs" or "does not run" picture; flags[i]
    // is step i + 1.
    void SetStepFlags(const std::array<int, 7>& flags);
    // Moves the marker under stage 1..7; other values hide every marker.
    void SetStage(int stage);
    int GetStage() const { return m_stage; }

    const CSwitchIconCtrl& StepIcon(int stage) const { return *m_icons[stage - 1]; }
    const CSwitchIconCtrl& Marker(int stage) const { return *m_markers[stage - 1]; }

private:
    std::array<CSwitchIconCtrl*, 7> m_icons{};
    std::array<CSwitchIconCtrl*, 7> m_markers{};
    int m_stage = -1;
};

// The batch window (template 10138): stages 1..7 the steps, 8 image load,
// 9 image save. Icon states: 0 normal, 1 the step does not run (steps
// only), 2 the stage that runs.
class CBatchProgDlg : public CProgDlg
{
    Q_OBJECT
public:
    static constexpr int kStageLoad = 8;
    static constexpr int kStageSave = 9;

    // The wall clock in seconds (tests replace it; empty: the system's).
    using Clock = std::function<std::int64_t()>;
    static Clock SetClock(Clock clock);

    // The elapsed time counts from here.
    explicit CBatchProgDlg(QWidget* parent = nullptr);

    // flags[i] for step i + 1: its icon normal or "does not run", its
    // label enabled or not.
    void SetStepFlags(const std::array<int, 7>& flags);
    // The stage that runs now: the previous one's icon goes back to normal.
    void SetStage(int stage);
    int GetStage() const { return m_stage; }

    // One next-file report: counts, file name (empty for none), elapsed and
    // remaining time, and the failure of the previous save.
    void ShowFile(int done, int total, const QString& fileName, bool previousSaveFailed);

    const CSwitchIconCtrl& StageIcon(int stage) const { return *m_icons[stage - 1]; }

private:
    std::int64_t Now() const;

    std::array<CSwitchIconCtrl*, 9> m_icons{};
    std::array<QLabel*, 7> m_stepLabels{};
    QLabel* m_fileName;
    QLabel* m_message;
    QLabel* m_done;
    QLabel* m_total;
    QLabel* m_elapsed;
    QLabel* m_remaining;
    int m_stage = -1;
    std::int64_t m_start = 0;
};
