#include "controls/widgets/ColorValueTextLogic.h"

#include "core/ColorConverter.h"
#include "core/RGB16.h"

#include <cstdio>

namespace {

std::string Format(const char* format, double v)
{
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

std::string FormatInt(int v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d", v);
    return text;
}

} // namespace

CCIEXYZ ColorValueWhite(const CColorConverter* converter)
{
    if (converter != nullptr)
        return converter->GetWhiteXYZ();
    return CCIEXYZ(95.043, 100.0, 108.879);
}

std::array<ColorValueLine, 3> BuildColorValueLines(int notation, const CCIEXYZ& value, bool showValues,
                                                   const CColorConverter* converter)
{
    std::array<ColorValueLine, 3> lines;
    static constexpr const char* kLabels[4][3] = {
        {"X :", "Y :", "Z :"}, {"Y :", "x :", "y :"}, {"L :", "a :", "b :"}, {"R :", "G :", "B :"}};
    if (notation < 1 || notation > 4)
        return lines;
    for (std::size_t i = 0; i < 3; ++i)
        lines[i].label = kLabels[notation - 1][i];
    if (!showValues)
        return lines;
    switch (notation)
    {
    case 1:
        for (std::size_t i = 0; i < 3; ++i)
            lines[i].value = Format("%.1f", value[i]);
        break;
    case 2: {
        const CCIEYxy yxy = value.ToYxy();
        lines[0].value = Format("%.1f", yxy[0]);
        lines[1].value = Format("%.3f", yxy[1]);
        lines[2].value = Format("%.3f", yxy[2]);
        break;
    }
    case 3: {
        const CCIELab lab = value.ToLab(ColorValueWhite(converter));
        for (std::size_t i = 0; i < 3; ++i)
            lines[i].value = Format("%.1f", lab[i]);
        break;
    }
    case 4:
        if (converter != nullptr)
        {
            RGB16 rgb{};
            converter->XYZToInputRGB(value, rgb);
            lines[0].value = FormatInt(rgb.r >> 8);
            lines[1].value = FormatInt(rgb.g >> 8);
            lines[2].value = FormatInt(rgb.b >> 8);
        }
        break;
    default:
        break;
    }
    return lines;
}

bool ColorValueOutOfRange(const CCIEXYZ& value, const CColorConverter* converter)
{
    if (converter == nullptr)
        return false;
    bool inside = false;
    converter->IsInInputGamut(inside, std::span<const CCIEXYZ>(&value, 1));
    return !inside;
}
