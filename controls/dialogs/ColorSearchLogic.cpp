#include "controls/dialogs/ColorSearchLogic.h"

#include "core/ColorConverter.h"
#include "core/RGB16.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

} // namespace

CCIEXYZ ShiftedColor(const CCIEXYZ& color, const ColorSearchOffsets& offsets, const CCIEXYZ& white)
{
    const CCIELab lab = color.ToLab(white);
    const double lightness = lab[0] + offsets.lightness;
    const double chroma = std::max(0.0, std::hypot(lab[1], lab[2]) + offsets.chroma);
    const double hue = std::atan2(lab[2], lab[1]) + offsets.hue * kRadiansPerDegree;
    return CCIELab(lightness, chroma * std::cos(hue), chroma * std::sin(hue)).ToXYZ(white);
}

RGBColor ColorSearchPatchColor(const CCIEXYZ& xyz, const CColorConverter* converter)
{
    if (converter == nullptr)
        return RGBColor{65535, 65535, 65535};
    RGB16 pixel{};
    converter->XYZToOutputRGB(&xyz, &pixel, 1);
    return RGBColor{pixel.r, pixel.g, pixel.b};
}

std::array<ColorSearchField, 3> ColorSearchFields(ColorSearchUnit unit)
{
    switch (unit)
    {
    case ColorSearchUnit::XYZ:
        return {{{"X :", false, 1, 0.0, 200.0}, {"Y :", false, 1, 0.0, 200.0}, {"Z :", false, 1, 0.0, 200.0}}};
    case ColorSearchUnit::Yxy:
        return {{{"Y :", false, 1, 0.0, 200.0}, {"x :", false, 3, 0.0, 1.0}, {"y :", false, 3, 0.0, 1.0}}};
    case ColorSearchUnit::Lab:
        return {{{"L :", false, 1, 0.0, 200.0}, {"a :", false, 1, -200.0, 200.0}, {"b :", false, 1, -200.0, 200.0}}};
    case ColorSearchUnit::RGB:
        break;
    }
    return {{{"R :", true, 0, 0.0, 255.0}, {"G :", true, 0, 0.0, 255.0}, {"B :", true, 0, 0.0, 255.0}}};
}

std::array<double, 3> ColorSearchValues(ColorSearchUnit unit, const CCIEXYZ& xyz,
                                        const CCIEXYZ& white, const CColorConverter* converter)
{
    switch (unit)
    {
    case ColorSearchUnit::XYZ:
        return {xyz[0], xyz[1], xyz[2]};
    case ColorSearchUnit::Yxy:
    {
        const CCIEYxy yxy = xyz.ToYxy();
        return {yxy[0], yxy[1], yxy[2]};
    }
    case ColorSearchUnit::Lab:
    {
        const CCIELab lab = xyz.ToLab(white);
        return {lab[0], lab[1], lab[2]};
    }
    case ColorSearchUnit::RGB:
        break;
    }
    if (converter == nullptr)
        return {255.0, 255.0, 255.0};
    RGB16 pixel{};
    converter->XYZToInputRGB(xyz, pixel);
    return {double(pixel.r >> 8), double(pixel.g >> 8), double(pixel.b >> 8)};
}

CCIEXYZ ColorSearchBaseFromValues(ColorSearchUnit unit, const std::array<double, 3>& values,
                                  const CCIEXYZ& white, const CColorConverter* converter)
{
    switch (unit)
    {
    case ColorSearchUnit::XYZ:
        return CCIEXYZ(values[0], values[1], values[2]);
    case ColorSearchUnit::Yxy:
        return CCIEYxy(values[0], values[1], values[2]).ToXYZ();
    case ColorSearchUnit::Lab:
        return CCIELab(values[0], values[1], values[2]).ToXYZ(white);
    case ColorSearchUnit::RGB:
        break;
    }
    if (converter == nullptr)
        return CCIEXYZ(0.0, 0.0, 0.0);
    const auto widen = [](double v) {
        const int byte = std::clamp(static_cast<int>(v), 0, 255);
        return static_cast<std::uint16_t>(byte * 257);
    };
    const RGB16 pixel{widen(values[0]), widen(values[1]), widen(values[2])};
    CCIEXYZ xyz;
    converter->InputRGBToXYZ(pixel, xyz);
    return xyz;
}

ColorSearchSliders ColorSearchSlidersFromLab(const CCIELab& lab)
{
    ColorSearchSliders sliders;
    sliders.lightness = static_cast<int>(lab[0]);
    sliders.chroma = static_cast<int>(std::hypot(lab[1], lab[2]));
    double hue = std::atan2(lab[2], lab[1]);
    if (hue < 0.0)
        hue += 2.0 * std::numbers::pi;
    const int degrees = static_cast<int>(hue / kRadiansPerDegree);
    sliders.hue = degrees >= 0 && degrees < 360 ? degrees : 0;
    return sliders;
}

CCIEXYZ ColorSearchColorFromSliders(const ColorSearchSliders& sliders, const CCIEXYZ& white)
{
    const double hue = sliders.hue * kRadiansPerDegree;
    return CCIELab(sliders.lightness, sliders.chroma * std::cos(hue), sliders.chroma * std::sin(hue))
        .ToXYZ(white);
}

std::string ColorSearchDifferenceText(double deltaE)
{
    char text[64];
    std::snprintf(text, sizeof text, "%6.2f", deltaE);
    return text;
}
