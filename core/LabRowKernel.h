#pragma once
// CLabRowKernel: RGB16 <-> L*a*b* of one pixel in a working space, the one
// conversion of the Lab accessor's line functions (core/ImageAccess.h) and
// of the steps that work in L*a*b* (gradation, filter, colour change, colour
// balance) and run it row by row on several threads.

#include "core/CIEColor.h"
#include "core/Clamp.h"
#include "core/LabFormula.h"
#include "core/Pow1by3Table.h"
#include "core/RGB16.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

class CAccessRGBImageByLab;
class CStdMatrix;

// The 3x3 elements of a matrix, row-major; any other shape acts as the
// identity, as it does in CRGBMatrix's pixel conversions.
std::array<double, 9> MatrixCoefficients(const CStdMatrix& m);

// The formula of core/LabFormula.h with the working space's RGB -> XYZ
// matrix M, its white at Yn = 100 and the cube root from the 65536-entry
// table on the way in,
//     (X, Y, Z) = M (R, G, B),   t = (gX X / Xn, gY Y / Yn, gZ Z / Zn),
// and on the way back X = Xn f^-1(fx), Y = Yn f^-1(fy), Z = Zn f^-1(fz),
// then the inverse matrix with each channel clamped to 0..65535 and
// truncated.
//
// g is a per-channel gain on XYZ (the colour balance's shift of the white);
// it acts on the way in only. Without one it is (1, 1, 1): a product with
// 1.0 is exact, so the plain kernel gives the accessor's values bit for bit.
// The gain is a factor of its own, not folded into 1/Xn, so that the
// rounding is the same as X g / Xn computed in that order.
//
// It holds no cursor: one kernel may serve any number of threads, each on
// its own rows.
class CLabRowKernel
{
public:
    // The accessor's matrices and white, with the process-wide table.
    explicit CLabRowKernel(const CAccessRGBImageByLab& access);
    CLabRowKernel(const CAccessRGBImageByLab& access, const CCIEXYZ& gain);
    // From the parts: the table (which must outlive the kernel), the RGB ->
    // XYZ matrix, its inverse and the white.
    CLabRowKernel(const CPow1by3Table& table, const CStdMatrix& rgbToXyz,
                  const CStdMatrix& xyzToRgb, const CCIEXYZ& white);

    void ToLab(const RGB16& px, double& L, double& a, double& b) const
    {
        const double r = px.r;
        const double g = px.g;
        const double bl = px.b;
        XYZToLab(m_toXyz[0] * r + m_toXyz[1] * g + m_toXyz[2] * bl,
                 m_toXyz[3] * r + m_toXyz[4] * g + m_toXyz[5] * bl,
                 m_toXyz[6] * r + m_toXyz[7] * g + m_toXyz[8] * bl, L, a, b);
    }

    void XYZToLab(double X, double Y, double Z, double& L, double& a, double& b) const
    {
        const double tx = X * m_gain[0] * m_invWhite[0];
        const double ty = Y * m_gain[1] * m_invWhite[1];
        const double tz = Z * m_gain[2] * m_invWhite[2];
        const auto root = [this](double t) { return Root(t); };
        const double fx = cielab::F(tx, root);
        const double fy = cielab::F(ty, root);
        const double fz = cielab::F(tz, root);
        L = cielab::LightnessFromF(ty, fy);
        a = cielab::AFromF(fx, fy);
        b = cielab::BFromF(fy, fz);
    }

    // L* alone (Y from row 1 of the matrix).
    double Lightness(const RGB16& px) const
    {
        return LightnessOfY(m_toXyz[3] * px.r + m_toXyz[4] * px.g + m_toXyz[5] * px.b);
    }

    double LightnessOfY(double Y) const
    {
        const double t = Y * m_gain[1] * m_invWhite[1];
        return cielab::Lightness(t, [this](double v) { return Root(v); });
    }

    void LabToXYZ(double L, double a, double b, double& X, double& Y, double& Z) const
    {
        const double fy = cielab::FyOf(L);
        const double fx = cielab::FxOf(fy, a);
        const double fz = cielab::FzOf(fy, b);
        X = m_white[0] * cielab::FInverse(fx);
        Y = m_white[1] * cielab::FInverse(fy);
        Z = m_white[2] * cielab::FInverse(fz);
    }

    RGB16 FromLab(double L, double a, double b) const
    {
        double X;
        double Y;
        double Z;
        LabToXYZ(L, a, b, X, Y, Z);
        return {ClampToU16(m_toRgb[0] * X + m_toRgb[1] * Y + m_toRgb[2] * Z),
                ClampToU16(m_toRgb[3] * X + m_toRgb[4] * Y + m_toRgb[5] * Z),
                ClampToU16(m_toRgb[6] * X + m_toRgb[7] * Y + m_toRgb[8] * Z)};
    }

private:
    // t^(1/3) for t > 0.008856: the table entry below t, pow beyond it.
    double Root(double t) const
    {
        const double scaled = t * m_indexScale;
        if (scaled < static_cast<double>(CPow1by3Table::EntryCount))
            return static_cast<double>(m_roots[static_cast<std::size_t>(scaled)]) * m_valueScale;
        return std::pow(t, 1.0 / 3.0);
    }

    const std::uint32_t* m_roots;
    double m_valueScale;
    double m_indexScale;
    std::array<double, 9> m_toXyz{};
    std::array<double, 9> m_toRgb{};
    std::array<double, 3> m_gain{1.0, 1.0, 1.0};
    std::array<double, 3> m_white{};
    std::array<double, 3> m_invWhite{};
};
