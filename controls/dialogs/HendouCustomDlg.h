#pragma once
// CHendouCustomDlg: the variation strength of one colour-change point (and
// its colour-difference range, whose slider the dialog keeps hidden). The
// owner hears every change while the dialog runs: notify(StrengthMessage,
// 0, 0) and notify(RangeMessage, 0, 0), and reads StrengthValue() or
// RangeValue() in its slot. A drag reports when the thumb is released (or
// 500 ms after the last thumb-position event); keyboard and page moves
// report at once.

#include "controls/dialogs/DataDialog.h"
#include "controls/widgets/TrackbarEvents.h"

#include <QTimer>

class QLabel;
class QSlider;

// Strength position 0..40 as -1..+1 (20 is neutral).
double HendouStrength(int position);
// Range position 0..40 as a colour difference; 41 (and above) is no limit,
// the largest double.
double HendouRange(int position);

class CHendouCustomDlg : public CDataDialog
{
    Q_OBJECT
public:
    static constexpr int kStrengthMax = 40;
    static constexpr int kRangeMax = 41;
    static constexpr int kNeutral = 20;
    static constexpr int kTimerMs = 500;

    explicit CHendouCustomDlg(QWidget* parent = nullptr);

    // Set by the owner before exec().
    int StrengthMessage = 0;
    int RangeMessage = 0;
    int StrengthPos = 0;
    int RangePos = 20;

    bool StrengthTimer = false; // timer 1178 is running
    bool RangeTimer = false;    // timer 1179 is running

    double StrengthValue() const { return HendouStrength(StrengthPos); }
    double RangeValue() const { return HendouRange(RangePos); }

    // Sliders to their ranges and positions, texts, and both reports.
    void writeControls() override;
    // The positions from the sliders. Always true.
    bool readControls() override;

    // Both sliders to the neutral position, texts and both reports.
    void Reset();

    // The ticks of the two timers (public so that tests can drive them).
    void OnStrengthTimer();
    void OnRangeTimer();

public slots:
    void accept() override;

signals:
    void notify(int message, int code, qint64 value);

private:
    enum class Which
    {
        Strength,
        Range,
    };
    void OnTrackbar(Which which, TrackbarCode code);
    void UpdateText(Which which);
    void Report(Which which);

    QSlider* m_strengthSlider; // 1178
    QSlider* m_rangeSlider;    // 1179, hidden
    QLabel* m_strengthText;    // 1181
    QLabel* m_rangeText;       // 1182, hidden
    QTimer m_strengthTimer;
    QTimer m_rangeTimer;
};
