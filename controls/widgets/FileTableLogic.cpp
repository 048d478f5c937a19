#include "controls/widgets/FileTableLogic.h"

#include <cstdint>

namespace filetable {

int RowHeight(int displayMode)
{
    switch (displayMode)
    {
    case 1:
        return 80;
    case 2:
        return 180;
    default:
        return kTextRowHeight;
    }
}

Box FitThumbnail(const Box& cell, int imageWidth, int imageHeight)
{
    const Box space{cell.x + 3, cell.y + kTextRowHeight, cell.width - 6, cell.height - kTextRowHeight - 3};
    if (imageWidth <= 0 || imageHeight <= 0 || space.width <= 0 || space.height <= 0)
        return {};
    // The scale that fits the whole picture in: the longer side fills its
    // side of the space unless the other side would then overflow.
    const std::int64_t byWidth = static_cast<std::int64_t>(space.width) * imageHeight;
    const std::int64_t byHeight = static_cast<std::int64_t>(space.height) * imageWidth;
    int w, h;
    if (byWidth <= byHeight)
    {
        w = space.width;
        h = static_cast<int>(byWidth / imageWidth);
    }
    else
    {
        h = space.height;
        w = static_cast<int>(byHeight / imageHeight);
    }
    if (imageWidth >= imageHeight)
        return {space.x, space.y + (space.height - h) / 2, w, h};
    return {space.x, space.y, w, h};
}

NameMarking MarkFileName(int type, int error, int state)
{
    constexpr int kCameraRaw = 4;
    constexpr int kConverterFailed = 3;
    NameMarking marking;
    if (type == kCameraRaw)
        marking.prefixString = (error != 0 && state == kConverterFailed) ? kStrConversionError : kStrConverting;
    marking.strikeOut = error != 0 && !(type == kCameraRaw && state == kConverterFailed);
    return marking;
}

int StepTarget(int current, bool up, int rowCount, int wrapRowCount)
{
    if (current < 0 || current >= rowCount)
        return -1;
    int target;
    if (up)
        target = current > 0 ? current - 1 : wrapRowCount - 1;
    else
        target = current + 1;
    return target >= 0 && target < rowCount ? target : -1;
}

} // namespace filetable
