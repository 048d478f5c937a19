#pragma once
// CLabRowKernel: the per-pixel RGB16 <-> L*a*b* conversion of a Lab accessor,
// for the steps that work in L*a*b* (gradation, filter, colour change, colour
// balance) and run it row by row on several threads.

#include "core/CIEColor.h"
#include "core/Clamp.h"
#include "core/ImageAccess.h"
#include "core/Pow1by3Table.h"
#include "core/RGB16.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

// RGB16 <-> L*a*b* of one pixel, exactly as the Lab accessor converts
// (core/ImageAccess.h): the accessor's RGB -> XYZ matrix M, its white at
// Yn = 100 and the cube root from the 65536-entry table on the way in,
//     (X, Y, Z) = M (R, G, B),   t = (gX X / Xn, gY Y / Yn, gZ Z / Zn),
//     L* = 116 f(ty) - 16 (903.29 ty at or below 0.008856),
//     a* = 500 (f(tx) - f(ty)),  b* = 200 (f(ty) - f(tz)),
// f the table cube root above 0.008856 and 7.787 t + 16/116 below; on the
// way back
//     fy = (L* + 16) / 116,  fx = fy + a* / 500,  fz = fy - b* / 200,
//     X = Xn f^-1(fx), Y = Yn f^-1(fy), Z = Zn f^-1(fz),
// with f^-1(f) = f^3 above 0.206893 and (f - 16/116) / 7.787 below, then
// the inverse matrix with each channel clamped to 0..65535 and truncated.
//
// g is a per-channel gain on XYZ (the colour balance's shift of the white);
// it acts on the way in only. Without one it is (1, 1, 1): a product with
// 1.0 is exact, so the plain kernel gives the accessor's values bit for bit.
// The gain is a factor of its own, not folded into 1/Xn, so that the
// rounding is the same as X g / Xn computed in that order.
//
// Unlike the accessor's line functions it holds no cursor: one kernel may
// serve any number of threads, each on its own rows.
class CLabRowKernel
{
public:
    explicit CLabRowKernel(const CAccessRGBImageByLab& access);
    CLabRowKernel(const CAccessRGBImageByLab& access, const CCIEXYZ& gain);

    void ToLab(const RGB16& px, double& L, double& a, double& b) const
    {
        const double r = px.r;
        const double g = px.g;
        const double bl = px.b;
        const double X = m_toXyz[0] * r + m_toXyz[1] * g + m_toXyz[2] * bl;
        const double Y = m_toXyz[3] * r + m_toXyz[4] * g + m_toXyz[5] * bl;
        const double Z = m_toXyz[6] * r + m_toXyz[7] * g + m_toXyz[8] * bl;
        const double tx = X * m_gain[0] * m_invWhite[0];
        const double ty = Y * m_gain[1] * m_invWhite[1];
        const double tz = Z * m_gain[2] * m_invWhite[2];
        const double fx = F(tx);
        const double fy = F(ty);
        const double fz = F(tz);
        L = ty > kEpsilon ? 116.0 * fy - 16.0 : kKappa * ty;
        a = 500.0 * (fx - fy);
        b = 200.0 * (fy - fz);
    }

    // L* alone (Y from row 1 of the matrix).
    double Lightness(const RGB16& px) const
    {
        const double Y = m_toXyz[3] * px.r + m_toXyz[4] * px.g + m_toXyz[5] * px.b;
        const double t = Y * m_gain[1] * m_invWhite[1];
        return t > kEpsilon ? 116.0 * Root(t) - 16.0 : kKappa * t;
    }

    RGB16 FromLab(double L, double a, double b) const
    {
        const double fy = (L + 16.0) / 116.0;
        const double fx = fy + a / 500.0;
        const double fz = fy - b / 200.0;
        const double X = m_white[0] * FInverse(fx);
        const double Y = m_white[1] * FInverse(fy);
        const double Z = m_white[2] * FInverse(fz);
        return {ClampToU16(m_toRgb[0] * X + m_toRgb[1] * Y + m_toRgb[2] * Z),
                ClampToU16(m_toRgb[3] * X + m_toRgb[4] * Y + m_toRgb[5] * Z),
                ClampToU16(m_toRgb[6] * X + m_toRgb[7] * Y + m_toRgb[8] * Z)};
    }

private:
    // CIE 1976 constants as the colour value types use them.
    static constexpr double kEpsilon = 0.008856;
    static constexpr double kSlope = 7.787;
    static constexpr double kOffset = 16.0 / 116.0;
    static constexpr double kKappa = 903.29;
    static constexpr double kFJoint = 0.206893;

    // t^(1/3) for t > 0.008856: the table entry below t, pow beyond it.
    double Root(double t) const
    {
        const double scaled = t * m_indexScale;
        if (scaled < static_cast<double>(CPow1by3Table::EntryCount))
            return static_cast<double>(m_roots[static_cast<std::size_t>(scaled)]) * m_valueScale;
        return std::pow(t, 1.0 / 3.0);
    }

    // Not a number takes the linear branch, as in the accessor.
    double F(double t) const { return t > kEpsilon ? Root(t) : kSlope * t + kOffset; }

    static double FInverse(double f) { return f > kFJoint ? f * f * f : (f - kOffset) / kSlope; }

    const std::uint32_t* m_roots;
    double m_valueScale;
    double m_indexScale;
    std::array<double, 9> m_toXyz{};
    std::array<double, 9> m_toRgb{};
    std::array<double, 3> m_gain{1.0, 1.0, 1.0};
    std::array<double, 3> m_white{};
    std::array<double, 3> m_invWhite{};
};
