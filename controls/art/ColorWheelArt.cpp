#include "controls/art/ResourceArt.h"

QImage MakeColorWheelBitmap()
{
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}
