#pragma once
// The rules of the save dialogs, apart from the widgets.
//
// Save types are the image-file type codes: 0 16-bit TIFF, 1 8-bit TIFF,
// 2 JPEG. JPEG quality is a level 0..4 (the image writer turns it into the
// encoder's quality).
//
// Type and name of the save-as dialog always agree, by one rule: the
// extension the name carries decides. A name ending in ".tif"/".tiff" is
// saved as TIFF (the bit depth from the dialog's radio buttons), one ending
// in ".jpg"/".jpeg" as JPEG (the quality from its slider), whatever filter
// is chosen. A name with any other extension, or none, takes the type of
// the chosen filter (the start type while the filter names both) and gets
// that type's extension appended, so the file on disk always carries the
// extension of what it holds. Choosing the TIFF or the JPEG filter changes
// the extension of the name in the field to that filter's; choosing the
// filter of both leaves the name as QFileDialog leaves it (QFileDialog
// itself gives a name that has an extension the first pattern's, ".tif").

#include "imagefile/ImageLoadSave.h"

#include <optional>
#include <string>
#include <string_view>

enum class SaveFileKind
{
    Tiff,
    Jpeg
};

// Filters of the save-as dialog in the order of their text (string 2004).
enum class SaveFilter
{
    Tiff = 0,
    Jpeg = 1,
    Images = 2
};

inline constexpr int kJpegQualityMin = 0;
inline constexpr int kJpegQualityMax = 4;
inline constexpr int kJpegQualityDefault = 2;

// The level a quality slider opens at: the stored one, 2 when it lies
// outside 0..4.
constexpr int JpegQualityForSlider(int level)
{
    return level < kJpegQualityMin || level > kJpegQualityMax ? kJpegQualityDefault : level;
}

// The kind the name's extension names (ignoring case); none for any other.
std::optional<SaveFileKind> KindOfExtension(std::string_view name);
// The kind a save type stands for: 2 JPEG, everything else TIFF.
constexpr SaveFileKind KindOfSaveType(int saveType)
{
    return saveType == 2 ? SaveFileKind::Jpeg : SaveFileKind::Tiff;
}
// The filter that shows a save type's files.
constexpr SaveFilter FilterOfSaveType(int saveType)
{
    return KindOfSaveType(saveType) == SaveFileKind::Jpeg ? SaveFilter::Jpeg : SaveFilter::Tiff;
}

// The kind a name is saved as under the rule above.
SaveFileKind ChosenKind(std::string_view name, SaveFilter filter, int startSaveType);

// The name after the user chose filter: the extension of the TIFF or JPEG
// filter's type (folder and title kept), the name as it is for the filter
// of both.
std::string NameForFilter(const std::string& name, SaveFilter filter);

// The name saved: unchanged when its extension names its kind, else with
// the kind's extension appended.
std::string FinalSaveName(const std::string& name, SaveFileKind kind);

// The save type returned: 2 for JPEG, 1 or 0 for an 8-bit or 16-bit TIFF.
constexpr int SaveTypeOf(SaveFileKind kind, bool eightBit)
{
    return kind == SaveFileKind::Jpeg ? 2 : eightBit ? 1 : 0;
}
