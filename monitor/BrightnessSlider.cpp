#include "monitor/BrightnessSlider.h"

#include "monitor/Display.h"

#include <algorithm>

namespace {


// Luminance steps of the ordinary monitors, and of the two-range monitors'
// upper range; contrast steps of the two-range monitors' lower range.
constexpr double kLuminanceSteps = 20.0;
constexpr double kTwoRangeLuminanceSteps = 15.0;
constexpr double kTwoRangeContrastSteps = 5.0;

int ClampLevel(int level)
{
    return std::clamp(level, 0, CBrightnessSlider::kMaxLevel);
}

} // namespace

int CBrightnessSlider::Nearest(double x)
{
    return static_cast<int>(x + 0.5);
}

int CBrightnessSlider::PositionOfLevel(int level, Orientation orientation)
{
    level = ClampLevel(level);
    return orientation == Orientation::Vertical ? kMaxLevel - level : level;
}

int CBrightnessSlider::LevelOfPosition(int position, Orientation orientation)
{
    position = ClampLevel(position);
    return orientation == Orientation::Vertical ? kMaxLevel - position : position;
}

void CBrightnessSlider::Init(CDisplay* display, bool twoRange)
{
    m_display = display;
    m_twoRange = twoRange;
    m_level = 0;
    m_reason = Reason::None;
    if (display == nullptr) {
        m_reason = Reason::NotAnswered;
        return;
    }
    std::uint16_t luminanceMax = 0;
    std::uint16_t luminance = 0;
    if (!display->GetControlRange(kControlLuminance, &luminanceMax, &luminance)) {
        m_reason = Reason::NotAnswered;
        return;
    }
    m_luminanceMax = luminanceMax;
    if (!twoRange) {
        if (luminanceMax == 0) {
            m_reason = Reason::NoRange;
            return;
        }
        m_luminanceStep = luminanceMax / kLuminanceSteps;
        m_level = ClampLevel(Nearest(luminance / m_luminanceStep));
        return;
    }
    std::uint16_t contrastMax = 0;
    std::uint16_t contrast = 0;
    if (!display->GetControlRange(kControlContrast, &contrastMax, &contrast)) {
        m_reason = Reason::NotAnswered;
        return;
    }
    m_contrastHalf = static_cast<std::uint16_t>(contrastMax / 2);
    // Both ranges are needed: a zero luminance maximum gives no upper
    // steps, a contrast maximum below 2 no lower ones (and writing its half
    // would set contrast 0, a black screen).
    if (luminanceMax == 0 || m_contrastHalf == 0) {
        m_reason = Reason::NoRange;
        return;
    }
    m_luminanceStep = luminanceMax / kTwoRangeLuminanceSteps;
    m_contrastStep = m_contrastHalf / kTwoRangeContrastSteps;
    if (contrast >= m_contrastHalf || luminance != 0) {
        display->SetControlValue(kControlContrast, m_contrastHalf);
    } else {
        display->SetControlValue(kControlLuminance, 0);
    }
    PlaceFromValues(luminance, contrast, false);
}

// Where the bar stands for the monitor's luminance (and, on two-range
// monitors, contrast). On a two-range monitor any luminance above 0, or a
// contrast at half or more, is the upper range.
void CBrightnessSlider::PlaceFromValues(std::uint16_t luminance, std::uint16_t contrast,
                                        bool firstBrightnessPage)
{
    if (!m_twoRange) {
        m_level = ClampLevel(Nearest(luminance / m_luminanceStep));
        return;
    }
    if (contrast >= m_contrastHalf || luminance != 0)
        m_level = ClampLevel(Nearest(luminance / m_luminanceStep) + kTwoRangeLuminanceBase);
    else if (firstBrightnessPage)
        m_level = kTwoRangeLuminanceBase;
    else
        m_level = ClampLevel(Nearest(contrast / m_contrastStep));
}

void CBrightnessSlider::Move(int level)
{
    m_level = ClampLevel(level);
    if (Refused() || m_display == nullptr)
        return;
    CDisplay& display = *m_display;
    if (!m_twoRange) {
        display.SetControlValue(kControlLuminance, Nearest(m_level * m_luminanceStep));
    } else if (m_level >= kTwoRangeLuminanceBase) {
        display.SetControlValue(kControlLuminance,
                                Nearest((m_level - kTwoRangeLuminanceBase) * m_luminanceStep));
        display.SetControlValue(kControlContrast, m_contrastHalf);
    } else {
        display.SetControlValue(kControlContrast, Nearest(m_level * m_contrastStep));
        display.SetControlValue(kControlLuminance, 0);
    }
}

void CBrightnessSlider::Reread(bool firstBrightnessPage)
{
    if (Refused() || m_display == nullptr)
        return;
    std::uint16_t luminance = 0;
    if (!m_display->GetControlValue(kControlLuminance, &luminance))
        return;
    std::uint16_t contrast = 0;
    if (m_twoRange && !m_display->GetControlValue(kControlContrast, &contrast))
        return;
    PlaceFromValues(luminance, contrast, firstBrightnessPage);
}
