#include "core/Resample.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr RGB16 kFlat{0, 1000, 65535};

// Resamples a flat sourceWidth x sourceHeight image of kFlat to
// newWidth x newHeight and counts the pixels that are not kFlat.
int PixelsOffFlat(int sourceWidth, int sourceHeight, int newWidth, int newHeight)
{
    const std::vector<RGB16> source(static_cast<std::size_t>(sourceWidth) * sourceHeight, kFlat);
    std::vector<RGB16> out(static_cast<std::size_t>(newWidth) * newHeight);
    ResampleAxis horizontal;
    ResampleAxis vertical;
    horizontal.Prepare(0, sourceWidth, newWidth, sourceWidth);
    vertical.Prepare(0, sourceHeight, newHeight, sourceHeight);
    EXPECT_TRUE(ResampleRows(source.data(), static_cast<std::size_t>(sourceWidth), horizontal,
                             vertical, newWidth, 0, newHeight, out.data(),
                             static_cast<std::size_t>(newWidth)));
    int off = 0;
    for (const RGB16& p : out)
        off += p.r != kFlat.r || p.g != kFlat.g || p.b != kFlat.b;
    return off;
}

} // namespace

// A flat image stays flat at every ratio, up and down, in both directions:
// black, a mid grey and full scale come out exactly as they went in.
TEST(Resample, FlatImageStaysFlatAtTheseRatios)
{
    const struct
    {
        int sourceWidth, sourceHeight, newWidth, newHeight;
    } cases[] = {
        {1, 1, 9, 9},      {1, 1, 9, 1},     {1, 1, 1, 9},    {3, 1, 7, 1},
        {7, 7, 3, 3},      {9, 7, 20, 13},   {9, 7, 4, 3},    {9, 7, 5, 30},
        {100, 100, 7, 93}, {13, 17, 61, 5},  {1000, 3, 1, 1}, {3, 1000, 1, 1},
        {10, 10, 29, 31},  {61, 59, 60, 58}, {2, 2, 3, 3},    {6000, 1, 997, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PixelsOffFlat(c.sourceWidth, c.sourceHeight, c.newWidth, c.newHeight), 0)
            << c.sourceWidth << " x " << c.sourceHeight << " -> " << c.newWidth << " x "
            << c.newHeight;
}

// Every ratio of up to 80 source pixels to up to 200 new ones, across (the
// horizontal filter) and down (the vertical combination).
TEST(Resample, FlatImageStaysFlatOverASweepOfRatios)
{
    int ratios = 0;
    int failures = 0;
    for (int from = 1; from <= 80; ++from)
        for (int to = 1; to <= 200; ++to)
            for (const bool across : {true, false})
            {
                ++ratios;
                const int off =
                    across ? PixelsOffFlat(from, 1, to, 1) : PixelsOffFlat(1, from, 1, to);
                if (off != 0 && ++failures <= 5)
                    ADD_FAILURE() << from << " -> " << to << (across ? " across" : " down") << ": "
                                  << off << " pixels off";
            }
    EXPECT_EQ(failures, 0) << "of " << ratios << " ratios";
}
