#pragma once
// The full-screen viewer's rules, apart from the window: where the image
// goes, when the resting cursor comes back, and the slide interval kept in
// the settings file.

#include "core/Rect.h"

#include <string>
#include <string_view>

// The image of w x h pixels fitted into the rectangle, aspect kept and
// centred: when the rectangle is relatively taller than the image
// (H / h > W / w) the image takes the full width and (int)(W / w * h) rows,
// centred by the integer half of the rows left over; otherwise the full
// height and (int)(H / h * w) columns, centred alike. An empty rectangle or
// image gives an empty rectangle.
CRect FitImageRect(const CRect& rect, int imageWidth, int imageHeight);

// A hidden cursor comes back once the pointer lies more than 5 pixels
// (Euclidean) from where it rested.
inline constexpr int kCursorWakeDistance = 5;
constexpr bool IsCursorWakeMove(int dx, int dy)
{
    return dx * dx + dy * dy > kCursorWakeDistance * kCursorWakeDistance;
}

// The slide interval in milliseconds: section "SlideShow", key
// "IntervaleTime", 5000 by default and whenever the stored value lies
// outside 1000..60000. The settings dialog edits it in whole seconds
// within the same range.
struct SlideIntervalSetting
{
    std::string_view section;
    std::string_view key;
    int defaultValue;
    int minValue;
    int maxValue;
};
inline constexpr SlideIntervalSetting kSlideInterval{"SlideShow", "IntervaleTime", 5000, 1000,
                                                     60000};

// Read from and written to the ini file at iniPath (the main settings file
// when empty).
int ReadSlideInterval(const std::string& iniPath = std::string());
bool WriteSlideInterval(int milliseconds, const std::string& iniPath = std::string());
