#pragma once
// The CIE 1976 L*a*b* formula as this program computes it, defined once for
// the colour value types (CCIEXYZ::ToLab, CCIELab::ToXYZ) and the pixel
// kernel of the working images (core/LabRowKernel.h). With t the ratios
// X/Xn, Y/Yn, Z/Zn to the reference white:
//     f(t) = t^(1/3)                 for t > 0.008856 (about (6/29)^3)
//          = 7.787 t + 16/116        otherwise
//     L* = 116 f(Y/Yn) - 16          (903.29 Y/Yn at or below 0.008856)
//     a* = 500 (f(X/Xn) - f(Y/Yn)),  b* = 200 (f(Y/Yn) - f(Z/Zn)),
// and back
//     fy = (L* + 16) / 116,  fx = fy + a* / 500,  fz = fy - b* / 200,
//     t = f^3 above f = 0.206893 (f at the joint, 6/29), (f - 16/116) / 7.787
//     below.
// These are the rounded constants of the older CIE publications, kept as
// they are because stored parameters and measured values were made with
// them. The cube root is left to the caller: pow for single values, the
// table of core/Pow1by3Table.h in pixel loops.

namespace cielab {

inline constexpr double kEpsilon = 0.008856;
inline constexpr double kSlope = 7.787;
inline constexpr double kOffset = 16.0 / 116.0;
inline constexpr double kKappa = 903.29;
inline constexpr double kFJoint = 0.206893;

// The value of pi of the hue conversions (LCh), so that a hue computed in a
// pixel loop is the one CCIELab::ToLCh gives and survives Lab -> LCh -> Lab.
inline constexpr double kHuePi = 3.14159265358;

// f(t), the cube root taken only above the joint (where the table's index is
// positive). Not a number takes the linear branch.
template <class CubeRoot> inline double F(double t, const CubeRoot& root)
{
    return t > kEpsilon ? root(t) : kSlope * t + kOffset;
}

inline double FInverse(double f)
{
    return f > kFJoint ? f * f * f : (f - kOffset) / kSlope;
}

// L* of ty = Y/Yn whose f(ty) is fy.
inline double LightnessFromF(double ty, double fy)
{
    return ty > kEpsilon ? 116.0 * fy - 16.0 : kKappa * ty;
}

// L* of ty alone, the root taken only above the joint.
template <class CubeRoot> inline double Lightness(double ty, const CubeRoot& root)
{
    return ty > kEpsilon ? 116.0 * root(ty) - 16.0 : kKappa * ty;
}

inline double AFromF(double fx, double fy)
{
    return 500.0 * (fx - fy);
}

inline double BFromF(double fy, double fz)
{
    return 200.0 * (fy - fz);
}

// fx, fy, fz of L*, a*, b*.
inline double FyOf(double L)
{
    return (L + 16.0) / 116.0;
}

inline double FxOf(double fy, double a)
{
    return fy + a / 500.0;
}

inline double FzOf(double fy, double b)
{
    return fy - b / 200.0;
}

} // namespace cielab
