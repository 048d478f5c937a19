#include "controls/dialogs/SaveDialogsLogic.h"

#include "core/PathUtils.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

std::optional<SaveFileKind> KindOfExtension(std::string_view name)
{
    const std::string ext = Lower(GetFileExtFromPath(name));
    if (ext == ".tif" || ext == ".tiff")
        return SaveFileKind::Tiff;
    if (ext == ".jpg" || ext == ".jpeg")
        return SaveFileKind::Jpeg;
    return std::nullopt;
}

SaveFileKind ChosenKind(std::string_view name, SaveFilter filter, int startSaveType)
{
    if (const auto kind = KindOfExtension(name))
        return *kind;
    switch (filter)
    {
    case SaveFilter::Tiff:
        return SaveFileKind::Tiff;
    case SaveFilter::Jpeg:
        return SaveFileKind::Jpeg;
    case SaveFilter::Images:
        break;
    }
    return KindOfSaveType(startSaveType);
}

std::string NameForFilter(const std::string& name, SaveFilter filter)
{
    if (filter == SaveFilter::Images || name.empty())
        return name;
    std::string out;
    MakeOutputFileName(filter == SaveFilter::Jpeg ? 2 : 0, out, name);
    return out;
}

std::string FinalSaveName(const std::string& name, SaveFileKind kind)
{
    if (name.empty() || KindOfExtension(name) == kind)
        return name;
    return name + (kind == SaveFileKind::Jpeg ? ".jpg" : ".tif");
}
