#include "controls/widgets/ImageScreenLogic.h"

#include "core/IniFile.h"
#include "core/PathUtils.h"

CRect FitImageRect(const CRect& rect, int imageWidth, int imageHeight)
{
    if (rect.IsRectEmpty() || imageWidth <= 0 || imageHeight <= 0)
        return CRect();
    const double width = rect.Width();
    const double height = rect.Height();
    CRect fitted = rect;
    if (height / imageHeight > width / imageWidth)
    {
        const int drawn = static_cast<int>(width / imageWidth * imageHeight);
        fitted.top += (rect.Height() - drawn) / 2;
        fitted.bottom = fitted.top + drawn;
    }
    else
    {
        const int drawn = static_cast<int>(height / imageHeight * imageWidth);
        fitted.left += (rect.Width() - drawn) / 2;
        fitted.right = fitted.left + drawn;
    }
    return fitted;
}

namespace {

std::string IniPathOr(const std::string& iniPath)
{
    return iniPath.empty() ? GetIniFilePath() : iniPath;
}

} // namespace

int ReadSlideInterval(const std::string& iniPath)
{
    const CIniFile ini(IniPathOr(iniPath));
    const int value = ini.GetInt(kSlideInterval.section, kSlideInterval.key,
                                 kSlideInterval.defaultValue);
    if (value < kSlideInterval.minValue || value > kSlideInterval.maxValue)
        return kSlideInterval.defaultValue;
    return value;
}

bool WriteSlideInterval(int milliseconds, const std::string& iniPath)
{
    CIniFile ini(IniPathOr(iniPath));
    return ini.SetInt(kSlideInterval.section, kSlideInterval.key, milliseconds);
}
