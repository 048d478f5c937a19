#pragma once
// Colours as the controls are specified with them, and their one way into
// and out of QColor.
//
// A COLORREF is 0x00BBGGRR: red in the low byte. QColor(uint) reads
// 0xRRGGBB, so a COLORREF never goes to QColor directly, only through
// ColorFromRef.
//
// RGBColor keeps an 8-bit value v as v * 256 (the value in the high byte;
// white is 0xff00 per channel) and is shown with the high byte.

#include <QColor>

#include <cstdint>

using COLORREF = std::uint32_t;

constexpr COLORREF MakeColorRef(int r, int g, int b)
{
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

inline QColor ColorFromRef(COLORREF ref)
{
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                  static_cast<int>((ref >> 16) & 0xFF));
}

inline COLORREF RefFromColor(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return MakeColorRef(rgb.red(), rgb.green(), rgb.blue());
}

// Three unsigned 16-bit channels R, G, B.
struct RGBColor
{
    std::uint16_t r = 0;
    std::uint16_t g = 0;
    std::uint16_t b = 0;

    bool operator==(const RGBColor&) const = default;
};

// The colour shown for an RGBColor: the high byte of each channel.
inline QColor ColorFromRGBColor(const RGBColor& color)
{
    return QColor(color.r >> 8, color.g >> 8, color.b >> 8);
}

// An 8-bit colour kept the controls' way: each value in the high byte.
inline RGBColor RGBColorFromColor(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return RGBColor{static_cast<std::uint16_t>(rgb.red() << 8),
                    static_cast<std::uint16_t>(rgb.green() << 8),
                    static_cast<std::uint16_t>(rgb.blue() << 8)};
}
