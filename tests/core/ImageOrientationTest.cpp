#include "core/ImageOrientation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A stored image of 3 x 2 pixels numbered 1..6, row by row,
//   1 2 3
//   4 5 6
// placed upright; rows of the result are padded to a pitch of
// `pitch` pixels so that a step mixed up with the width shows.
std::vector<int> Upright(int orientation, int pixelElements, int& width, int& height)
{
    constexpr int kWidth = 3;
    constexpr int kHeight = 2;
    const OrientationMap map = MapOrientation(orientation, kWidth, kHeight);
    width = map.uprightWidth;
    height = map.uprightHeight;
    const std::ptrdiff_t pixel = pixelElements;
    const std::ptrdiff_t pitch = (width + 2) * pixel;
    std::vector<int> out(static_cast<std::size_t>(pitch * height), 0);
    for (int n = 0; n < kHeight; ++n)
    {
        std::vector<int> row;
        for (int i = 0; i < kWidth; ++i)
        {
            for (int c = 0; c < pixelElements; ++c)
                row.push_back((n * kWidth + i + 1) * 10 + c);
        }
        const std::ptrdiff_t first = map.Start(pixel, pitch) + n * map.RowStep(pixel, pitch);
        if (pixelElements == 1)
            PlaceRow<1>(row.data(), kWidth, out.data(), first, map.ColumnStep(pixel, pitch));
        else
            PlaceRow<3>(row.data(), kWidth, out.data(), first, map.ColumnStep(pixel, pitch));
    }
    // Back to a plain list of pixel numbers, checking that the channels
    // of each pixel stayed together and in order.
    std::vector<int> numbers;
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            const int* p = out.data() + y * pitch + x * pixel;
            for (int c = 1; c < pixelElements; ++c)
                EXPECT_EQ(p[c], p[0] + c) << "orientation " << orientation;
            numbers.push_back(p[0] / 10);
        }
    }
    return numbers;
}

TEST(ImageOrientationTest, EveryOrientationPlacesAStoredImageUpright)
{
    struct Case
    {
        int orientation;
        int width, height;
        std::vector<int> upright; // pixel numbers, rows top first
    };
    const Case cases[] = {
        {1, 3, 2, {1, 2, 3, 4, 5, 6}}, {2, 3, 2, {3, 2, 1, 6, 5, 4}}, // mirrored left to right
        {3, 3, 2, {6, 5, 4, 3, 2, 1}},                                // half a turn
        {4, 3, 2, {4, 5, 6, 1, 2, 3}},                                // mirrored top to bottom
        {5, 2, 3, {1, 4, 2, 5, 3, 6}},                                // transposed
        {6, 2, 3, {4, 1, 5, 2, 6, 3}},                                // a quarter clockwise
        {7, 2, 3, {6, 3, 5, 2, 4, 1}},                                // transverse
        {8, 2, 3, {3, 6, 2, 5, 1, 4}},                                // a quarter anticlockwise
        {0, 3, 2, {1, 2, 3, 4, 5, 6}},                                // no tag
        {9, 3, 2, {1, 2, 3, 4, 5, 6}},                                // out of range
    };
    for (const Case& c : cases)
    {
        for (const int elements : {1, 3})
        {
            SCOPED_TRACE("orientation " + std::to_string(c.orientation) + ", " +
                         std::to_string(elements) + " elements a pixel");
            int width = 0;
            int height = 0;
            EXPECT_EQ(Upright(c.orientation, elements, width, height), c.upright);
            EXPECT_EQ(width, c.width);
            EXPECT_EQ(height, c.height);
        }
    }
}

} // namespace
