#include "controls/widgets/TrackbarEvents.h"

#include <QSlider>

void ConnectTrackbar(QSlider* slider, QObject* context, std::function<void(TrackbarCode)> handler)
{
    QObject::connect(slider, &QSlider::valueChanged, context, [slider, handler](int) {
        if (slider->isSliderDown())
        {
            handler(TrackbarCode::ThumbTrack);
            return;
        }
        handler(TrackbarCode::Step);
        handler(TrackbarCode::EndTrack);
    });
    QObject::connect(slider, &QSlider::sliderReleased, context, [handler] {
        handler(TrackbarCode::ThumbPosition);
        handler(TrackbarCode::EndTrack);
    });
}
