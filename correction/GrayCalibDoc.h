#pragma once
// The gradation (tone) step, slot 4: a tone curve on the CIE lightness L*
// of every pixel, with a* and b* kept. The curve is either a levels
// correction (input black and white, gamma, output black and white) or a
// natural cubic spline through up to 20 points; before it is applied it
// becomes a 65536-entry table indexed by L* x 655.35.
//
// Also here: CLabRowKernel, the per-pixel RGB16 <-> L*a*b* conversion of a
// Lab accessor that the lightness steps (gradation, filter) run row by row
// on several threads.

#include "core/Clamp.h"
#include "core/GammaTable.h"
#include "core/ImageAccess.h"
#include "core/Interpolation.h"
#include "core/Pow1by3Table.h"
#include "core/RGB16.h"
#include "correction/BaseDoc.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// The gradation parameters, held alike by the gradation document and the
// curve control of its panel. Levels are on the 0..255 scale; the curve
// points on 0..1 in both directions.
struct GrayCalibParams
{
    static constexpr int kMaxScalePoints = 20;

    // Colour-temperature offset in kelvin, -6000..6000; stored and
    // compared, no part in the tone curve.
    std::int32_t OffsetTemp = 0;
    int InBlackLevel = 0;
    int InWhiteLevel = 255;
    double InGamma = 1.0;
    int OutBlackLevel = 0;
    int OutWhiteLevel = 255;
    // 1: the curve goes through the scale points; any other value: levels.
    int RandamScale = 0;
    // Points in use, 1..20.
    std::int16_t ScaleCount = 1;
    std::array<CPointD, kMaxScalePoints> ScaleTable{};

    // ScaleCount limited to the points that exist (a panel may hold any
    // value while it edits).
    int UsedScaleCount() const
    {
        return ScaleCount < 0 ? 0 : (ScaleCount > kMaxScalePoints ? kMaxScalePoints : ScaleCount);
    }
};

// RGB16 <-> L*a*b* of one pixel, exactly as the Lab accessor converts
// (core/ImageAccess.h): the accessor's RGB -> XYZ matrix, its white at
// Yn = 100 and the cube root from the 65536-entry table on the way in; on
// the way back
//     fy = (L* + 16) / 116,  fx = fy + a* / 500,  fz = fy - b* / 200,
//     X = Xn f^-1(fx), Y = Yn f^-1(fy), Z = Zn f^-1(fz),
// with f^-1(f) = f^3 above 0.206893 and (f - 16/116) / 7.787 below, then
// the inverse matrix with each channel clamped to 0..65535 and truncated.
// Unlike the accessor's line functions it holds no cursor: one kernel may
// serve any number of threads, each on its own rows.
class CLabRowKernel
{
public:
    explicit CLabRowKernel(const CAccessRGBImageByLab& access)
        : m_roots(GetPow1by3Table().GetEntries().data()),
          m_valueScale(GetPow1by3Table().GetValueScale()),
          m_indexScale(GetPow1by3Table().GetIndexScale())
    {
        Load(access.GetRGBToXYZ(), m_toXyz);
        Load(access.GetXYZToRGB(), m_toRgb);
        const CCIEXYZ& white = access.GetWhite();
        m_white = {white[0], white[1], white[2]};
        m_invWhite = {1.0 / white[0], 1.0 / white[1], 1.0 / white[2]};
    }

    void ToLab(const RGB16& px, double& L, double& a, double& b) const
    {
        const double r = px.r;
        const double g = px.g;
        const double bl = px.b;
        const double tx = (m_toXyz[0] * r + m_toXyz[1] * g + m_toXyz[2] * bl) * m_invWhite[0];
        const double ty = (m_toXyz[3] * r + m_toXyz[4] * g + m_toXyz[5] * bl) * m_invWhite[1];
        const double tz = (m_toXyz[6] * r + m_toXyz[7] * g + m_toXyz[8] * bl) * m_invWhite[2];
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
        const double t =
            (m_toXyz[3] * px.r + m_toXyz[4] * px.g + m_toXyz[5] * px.b) * m_invWhite[1];
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

    // A matrix that is not 3x3 acts as the identity, as in the accessor.
    static void Load(const CStdMatrix& m, std::array<double, 9>& out)
    {
        if (m.GetRows() == 3 && m.GetCols() == 3)
        {
            for (std::size_t i = 0; i < 9; ++i)
                out[i] = m.GetData()[i];
        }
        else
        {
            out = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        }
    }

    // t^(1/3) for t > 0.008856: the table entry below t, pow beyond it.
    double Root(double t) const
    {
        const double scaled = t * m_indexScale;
        if (scaled < static_cast<double>(CPow1by3Table::EntryCount))
            return static_cast<double>(m_roots[static_cast<std::size_t>(scaled)]) * m_valueScale;
        return std::pow(t, 1.0 / 3.0);
    }

    double F(double t) const { return t > kEpsilon ? Root(t) : kSlope * t + kOffset; }

    static double FInverse(double f) { return f > kFJoint ? f * f * f : (f - kOffset) / kSlope; }

    const std::uint32_t* m_roots;
    double m_valueScale;
    double m_indexScale;
    std::array<double, 9> m_toXyz{};
    std::array<double, 9> m_toRgb{};
    std::array<double, 3> m_white{};
    std::array<double, 3> m_invWhite{};
};

class CGrayCalibDoc : public CBaseDoc
{
public:
    // L* x 655.35 indexes the tone table (0..100 onto 0..65535).
    static constexpr double kLightnessScale = 655.35;

    CGrayCalibDoc();
    CGrayCalibDoc(const CGrayCalibDoc& other);
    CGrayCalibDoc& operator=(const CGrayCalibDoc& other);
    ~CGrayCalibDoc() override = default;

    void Reset() override;
    std::unique_ptr<CBaseDoc> Clone() const override;
    void Assign(const CBaseDoc& other) override;
    // Same class, the eight scalar fields equal (InGamma exactly) and the
    // points in use equal.
    bool IsEqual(const CBaseDoc& other) const override;

    bool LoadParams(const CParamFileReader& file) override;
    bool SaveParams(CParamFileWriter& file) const override;
    std::string GetSectionName() const override;

    // Builds the tone table from the parameters (the image plays no part).
    bool PrepareApply(const CDNGTranspose* raw, CAccessRGBImageByLab& source,
                      std::vector<std::string>* details, double scale) override;

    // Maps L* of every pixel of the rectangle (null: the whole image)
    // through the tone table. Builds the table first when PrepareApply has
    // not. False when the callback asked to stop.
    bool Apply(CAccessRGBImageByLab& image, const CRect* rect, void* user,
               ProgressCallback callback, int mode) override;

    // Point i of the first ScaleCount points becomes x = y = (i + 1) /
    // (ScaleCount + 1), the remaining ones (0, 0).
    static void InitScaleTable(GrayCalibParams& params);

    // The levels curve sampled at x = i / (n - 1) for the n = out.size()
    // entries, each y on 0..1 scaled by maxValue and truncated:
    //     x <= ib: ob;  x >= iw: ow;
    //     otherwise ob + (ow - ob) ((x - ib) / (iw - ib))^gamma,
    // with ib, iw, ob, ow the levels over 255.
    static void MakeLevelsTable(const GrayCalibParams& params, std::span<std::uint16_t> out,
                                int maxValue);

    GrayCalibParams Params;

    // The table built by the last PrepareApply (empty before, and after
    // every copy or Reset).
    const CGammaTable& GetToneTable() const { return m_toneTable; }

private:
    bool BuildToneTable();

    CGammaTable m_toneTable;
};
