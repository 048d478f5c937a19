#include "controls/ResourceImages.h"

#include "controls/art/ResourceArt.h"

#include <map>

namespace {

template <class T>
const T* Find(const std::map<int, T (*)()>& makers, std::map<int, T>& cache, int id)
{
    if (auto it = cache.find(id); it != cache.end())
        return &it->second;
    const auto maker = makers.find(id);
    if (maker == makers.end())
        return nullptr;
    return &cache.emplace(id, maker->second()).first->second;
}

} // namespace

QImage LoadBitmapResource(int id)
{
    static const std::map<int, QImage (*)()> makers = {
        {kBitmapColorWheel, &MakeColorWheelBitmap},
        {kBitmapChromaticity, &MakeChromaticityBitmap},
    };
    static std::map<int, QImage> cache;
    const QImage* image = Find(makers, cache, id);
    return image != nullptr ? *image : QImage();
}

QIcon LoadIconResource(int id)
{
    static const std::map<int, QIcon (*)()> makers = {
        {kIconSliderThumb, &MakeSliderThumbIcon},
        {kIconSliderThumbVertical, &MakeSliderThumbVerticalIcon},
        {kIconFileTable, &MakeFileTableIcon},
        {kIconSortSet, &MakeSortSetIcon},
        {kIconSortClear, &MakeSortClearIcon},
    };
    static std::map<int, QIcon> cache;
    const QIcon* icon = Find(makers, cache, id);
    return icon != nullptr ? *icon : QIcon();
}

QCursor LoadCursorResource(int id)
{
    static const std::map<int, QCursor (*)()> makers = {
        {kCursorHover, &MakeHoverCursor},
        {kCursorDrag, &MakeDragCursor},
        {kCursorColorDrag, &MakeColorDragCursor},
    };
    static std::map<int, QCursor> cache;
    const QCursor* cursor = Find(makers, cache, id);
    return cursor != nullptr ? *cursor : QCursor(Qt::ArrowCursor);
}
