#pragma once
// The brightness bar of the wizard's brightness pages: one level from 0 to
// 20 that the user moves until the screen looks as bright as the printed
// chart, turned into monitor luminance and contrast.
//
// Most monitors spread the 21 levels over luminance alone: one level is a
// twentieth of the luminance range. The two-range monitors cannot get dark
// enough with luminance alone, so their top sixteen levels (5..20) walk the
// luminance range in fifteen steps with contrast held at half its maximum,
// and their bottom five levels (0..4) lower contrast in fifths of that half
// with luminance at 0.
//
// A monitor that reports a maximum of 0 gives no step to walk: the bar is
// refused (Refused() and Reason()) instead of dividing by it, and nothing is
// written to the monitor from it; in particular contrast is never set to 0
// from a zero maximum, which would leave the screen black.
//
// Qt-free: the page owns the widget and forwards to this object.

#include <cstdint>

class CDisplay;

class CBrightnessSlider
{
public:
    static constexpr int kMaxLevel = 20;
    // The first level of the two-range monitors' luminance range.
    static constexpr int kTwoRangeLuminanceBase = 5;

    enum class Orientation
    {
        Vertical,   // the top is bright: position = 20 - level
        Horizontal, // position = level
    };

    enum class Reason
    {
        None,          // the bar works
        NoRange,       // the monitor reported a maximum of 0
        NotAnswered,   // the monitor did not answer the range read
    };

    explicit CBrightnessSlider(Orientation orientation = Orientation::Horizontal)
        : m_orientation(orientation)
    {
    }

    // Reads the monitor's ranges and places the level (the page's first
    // activation). twoRange: the monitor belongs to the two-range group.
    // May write contrast half or luminance 0 on a two-range monitor, as the
    // bar's level then stands for both.
    void Init(CDisplay* display, bool twoRange);
    // The user moved the bar to `level` (clamped to 0..20): writes the
    // monitor. Nothing is written while the bar is refused.
    void Move(int level);
    // The page is shown again: re-reads the current luminance (and
    // contrast) and places the bar. firstBrightnessPage: the page whose
    // dark branch stands at level 5 rather than at the contrast's level.
    void Reread(bool firstBrightnessPage);

    int Level() const { return m_level; }
    int Position() const { return PositionOfLevel(m_level, m_orientation); }
    Orientation GetOrientation() const { return m_orientation; }
    bool Refused() const { return m_reason != Reason::None; }
    Reason GetReason() const { return m_reason; }
    bool TwoRange() const { return m_twoRange; }

    static int PositionOfLevel(int level, Orientation orientation);
    static int LevelOfPosition(int position, Orientation orientation);
    // The integer part of x + 0.5.
    static int Nearest(double x);

    // What Init read and derived (for the page's tests and display).
    std::uint16_t LuminanceMax() const { return m_luminanceMax; }
    std::uint16_t ContrastHalf() const { return m_contrastHalf; }
    double LuminanceStep() const { return m_luminanceStep; }
    double ContrastStep() const { return m_contrastStep; }

private:
    void PlaceFromValues(std::uint16_t luminance, std::uint16_t contrast,
                         bool firstBrightnessPage);

    Orientation m_orientation;
    CDisplay* m_display = nullptr;
    bool m_twoRange = false;
    Reason m_reason = Reason::None;
    int m_level = 0;
    std::uint16_t m_luminanceMax = 0;
    std::uint16_t m_contrastHalf = 0;
    double m_luminanceStep = 1.0;
    double m_contrastStep = 1.0;
};
