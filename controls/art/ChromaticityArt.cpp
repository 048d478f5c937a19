#include "controls/art/ResourceArt.h"

QImage MakeChromaticityBitmap()
{
    QImage image(80, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}
