#include "controls/dialogs/EditChartLogic.h"

#include "core/ColorConverter.h"
#include "core/RGB16.h"

#include <algorithm>
#include <vector>

bool EditChartCanConvert(const CColorConverter* converter)
{
    return converter != nullptr && converter->GetInputProfile() != nullptr &&
           converter->GetWorkingProfile() != nullptr;
}

T2DArray<CCIEXYZ> EditChartColors(const T2DArray<CCIEXYZ>& source, const EditChartPositions& positions,
                                  const CColorConverter* converter)
{
    T2DArray<CCIEXYZ> edited = source;
    if (!EditChartCanConvert(converter))
        return edited;
    const double lightnessScale = positions.lightness / 100.0;
    const double chromaScale = positions.chroma / 100.0;
    const double hueShift = positions.hue / 50.0 * 30.0;
    const CCIEXYZ white = converter->GetWhiteXYZ();
    for (std::int32_t row = 0; row < source.GetRows(); ++row)
    {
        for (std::int32_t column = 0; column < source.GetColumns(); ++column)
        {
            const CCIELCh lch = source.GetAt(row, column).ToLab(white).ToLCh();
            const double lightness = std::clamp(lch[0] * lightnessScale, 0.0, 100.0);
            const double chroma = std::max(0.0, lch[1] * chromaScale);
            double hue = lch[2] + hueShift;
            if (hue >= 360.0)
                hue -= 360.0;
            else if (hue < 0.0)
                hue += 360.0;
            edited.SetAt(row, column, CCIELCh(lightness, chroma, hue).ToLab().ToXYZ(white));
        }
    }
    return edited;
}

T2DArray<RGBColor> EditChartGridCells(const T2DArray<CCIEXYZ>& colors, const CColorConverter* converter)
{
    T2DArray<RGBColor> cells;
    if (!EditChartCanConvert(converter))
    {
        cells.Resize(1, 1, RGBColor{0, 0, 0});
        return cells;
    }
    const std::vector<CCIEXYZ>& xyz = colors.GetCells();
    std::vector<RGB16> pixels(xyz.size());
    converter->XYZToOutputRGB(xyz.data(), pixels.data(), xyz.size());
    cells.Resize(colors.GetRows(), colors.GetColumns(), RGBColor{});
    std::size_t index = 0;
    for (std::int32_t row = 0; row < colors.GetRows(); ++row)
        for (std::int32_t column = 0; column < colors.GetColumns(); ++column, ++index)
            cells.SetAt(row, column, RGBColor{pixels[index].r, pixels[index].g, pixels[index].b});
    return cells;
}
