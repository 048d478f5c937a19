#include "core/ImageOrientation.h"

OrientationMap MapOrientation(int orientation, int width, int height)
{
    const int right = width - 1;
    const int bottom = height - 1;
    // {upright width, upright height, x0, y0, x/column, y/column, x/row, y/row}
    switch (orientation)
    {
    case 2:
        return {width, height, right, 0, -1, 0, 0, 1};
    case 3:
        return {width, height, right, bottom, -1, 0, 0, -1};
    case 4:
        return {width, height, 0, bottom, 1, 0, 0, -1};
    case 5:
        return {height, width, 0, 0, 0, 1, 1, 0};
    case 6:
        return {height, width, bottom, 0, 0, 1, -1, 0};
    case 7:
        return {height, width, bottom, right, 0, -1, -1, 0};
    case 8:
        return {height, width, 0, right, 0, -1, 1, 0};
    default:
        return {width, height, 0, 0, 1, 0, 0, 1};
    }
}
