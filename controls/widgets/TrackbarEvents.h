#pragma once
// A QSlider reporting as the dialogs' trackbars do. While the thumb is
// dragged every move is ThumbTrack; releasing it gives ThumbPosition, then
// EndTrack. A change by keyboard, page click or wheel gives Step, then
// EndTrack. A value the program writes is reported like a keyboard change:
// owners write their sliders under a QSignalBlocker.

#include <QObject>

#include <functional>

class QSlider;

enum class TrackbarCode
{
    ThumbTrack,
    ThumbPosition,
    EndTrack,
    Step,
};

// Calls handler(code) for each event of the slider, as long as context lives.
void ConnectTrackbar(QSlider* slider, QObject* context, std::function<void(TrackbarCode)> handler);
