// The LittleCMS transform wrapper: creation, conversion of whole spans,
// in-place use, ownership on move, and the quiet failure.

#include "core/ColorTransform.h"
#include "tests/core/CoreTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

using coretest::LinearSRGBProfile;
using coretest::RandomPixels;

TEST(ColorTransform, SRGBToItselfIsNearlyTheIdentity)
{
    LcmsProfilePtr srgb(cmsCreate_sRGBProfile());
    const CColorTransform t = CColorTransform::Create(srgb.get(), srgb.get());
    ASSERT_TRUE(t.IsValid());
    const std::vector<RGB16> in = RandomPixels(500, 1);
    std::vector<RGB16> out(in.size());
    t.Translate(in.data(), out.data(), in.size());
    int worst = 0;
    for (std::size_t k = 0; k < in.size(); ++k)
    {
        worst = std::max(worst, std::abs(out[k].r - in[k].r));
        worst = std::max(worst, std::abs(out[k].g - in[k].g));
        worst = std::max(worst, std::abs(out[k].b - in[k].b));
    }
    EXPECT_LE(worst, 2 * 257); // within two 8-bit steps
}

TEST(ColorTransform, SpanInPlaceAndPixelByPixelAgree)
{
    LcmsProfilePtr srgb(cmsCreate_sRGBProfile());
    LcmsProfilePtr linearProfile = LinearSRGBProfile();
    const CColorTransform t = CColorTransform::Create(srgb.get(), linearProfile.get());
    ASSERT_TRUE(t.IsValid());

    const std::vector<RGB16> in = RandomPixels(300, 2);
    std::vector<RGB16> span(in.size());
    t.Translate(in.data(), span.data(), in.size());
    std::vector<RGB16> inPlace = in;
    t.Translate(inPlace.data(), inPlace.data(), inPlace.size());
    bool changed = false;
    for (std::size_t k = 0; k < in.size(); ++k)
    {
        RGB16 one{};
        t.Translate(&in[k], &one, 1);
        EXPECT_TRUE(one.r == span[k].r && one.g == span[k].g && one.b == span[k].b) << k;
        EXPECT_TRUE(inPlace[k].r == span[k].r && inPlace[k].g == span[k].g &&
                    inPlace[k].b == span[k].b)
            << k;
        changed = changed || span[k].g != in[k].g;
    }
    EXPECT_TRUE(changed);
    // sRGB mid grey is about 21.6% linear.
    RGB16 grey{32768, 32768, 32768};
    t.Translate(&grey, &grey, 1);
    EXPECT_NEAR(grey.g, 0.2158 * 65535, 400);
}

TEST(ColorTransform, InvalidTransformsDoNothing)
{
    const CColorTransform none;
    EXPECT_FALSE(none.IsValid());
    std::vector<RGB16> in = RandomPixels(4, 3);
    std::vector<RGB16> out(4, RGB16{1, 2, 3});
    none.Translate(in.data(), out.data(), out.size());
    for (const RGB16& p : out)
        EXPECT_TRUE(p.r == 1 && p.g == 2 && p.b == 3);

    // LittleCMS refuses a Lab profile as the output of an RGB transform in
    // this format, and a missing profile; both give an invalid object.
    LcmsProfilePtr srgb(cmsCreate_sRGBProfile());
    LcmsProfilePtr lab(cmsCreateLab4Profile(nullptr));
    EXPECT_FALSE(CColorTransform::Create(srgb.get(), lab.get()).IsValid());
    EXPECT_FALSE(CColorTransform::Create(nullptr, srgb.get()).IsValid());
}

TEST(ColorTransform, MovingHandsOverTheTransform)
{
    LcmsProfilePtr srgb(cmsCreate_sRGBProfile());
    CColorTransform a = CColorTransform::Create(srgb.get(), srgb.get());
    ASSERT_TRUE(a.IsValid());
    const cmsHTRANSFORM handle = a.Handle();
    CColorTransform b(std::move(a));
    EXPECT_FALSE(a.IsValid());
    EXPECT_EQ(b.Handle(), handle);
    CColorTransform c;
    c = std::move(b);
    EXPECT_FALSE(b.IsValid());
    EXPECT_EQ(c.Handle(), handle);
    // Assigning over a valid transform frees the old one (the sanitizer
    // would report a leak otherwise).
    c = CColorTransform::Create(srgb.get(), srgb.get());
    EXPECT_TRUE(c.IsValid());
}
