#pragma once
// The gradation (tone) step, slot 4: a tone curve on the CIE lightness L*
// of every pixel, with a* and b* kept. The curve is either a levels
// correction (input black and white, gamma, output black and white) or a
// natural cubic spline through up to 20 points; before it is applied it
// becomes a 65536-entry table indexed by L* x 655.35.

#include "core/Clamp.h"
#include "core/GammaTable.h"
#include "core/ImageAccess.h"
#include "core/Interpolation.h"
#include "core/LabRowKernel.h"
#include "core/RGB16.h"
#include "correction/BaseDoc.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
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

    bool operator==(const GrayCalibParams&) const = default;
};

// The tone table PrepareApply builds.
struct GrayCalibPrepared
{
    CGammaTable toneTable;
};

class CGrayCalibDoc : public CDocOf<CGrayCalibDoc, GrayCalibParams, GrayCalibPrepared>
{
public:
    // The scalar parameters. The five levels are read as any integer (and
    // any finite gamma) and checked as a group: a file whose levels do not
    // make a curve gets the default levels. The curve points are keyed
    // "ScaleTableX000" and the like, ScaleCount of each axis.
    static constexpr ParamDef<GrayCalibParams> kParamTable[] = {
        {"OffsetTemp", &GrayCalibParams::OffsetTemp, 0, -6000, 6000},
        {"InBlackLevel", &GrayCalibParams::InBlackLevel, 0, 0, 255, ParamRead::AnyValue},
        {"InWhiteLevel", &GrayCalibParams::InWhiteLevel, 255, 0, 255, ParamRead::AnyValue},
        {"InGamma", &GrayCalibParams::InGamma, 1.0, 0.0, std::numeric_limits<double>::max(),
         ParamRead::AnyValue},
        {"OutBlackLevel", &GrayCalibParams::OutBlackLevel, 0, 0, 255, ParamRead::AnyValue},
        {"OutWhiteLevel", &GrayCalibParams::OutWhiteLevel, 255, 0, 255, ParamRead::AnyValue},
        {"RandamScale", &GrayCalibParams::RandamScale, 0, 0, 1, ParamRead::AnyValue},
        {"ScaleCount", &GrayCalibParams::ScaleCount, 1, 1, GrayCalibParams::kMaxScalePoints},
    };

    // L* x 655.35 indexes the tone table (0..100 onto 0..65535).
    static constexpr double kLightnessScale = 655.35;

    CGrayCalibDoc() = default;

    // The table's defaults and the evenly spaced points.
    static GrayCalibParams DefaultParams();
    // The eight scalar fields equal (InGamma exactly) and the points in use
    // equal.
    static bool SameParams(const GrayCalibParams& a, const GrayCalibParams& b);

    bool LoadParams(const CParamFileReader& file) override;
    bool SaveParams(CParamFileWriter& file) const override;
    std::string GetSectionName() const override;

    // Builds the tone table from the parameters (the image plays no part).
    bool PrepareApply(const CDNGTranspose* raw, CAccessRGBImageByLab& source,
                      std::vector<std::string>* details, double scale) override;

    // Maps L* of every pixel of the rectangle (null: the whole image)
    // through the tone table. Builds the table first when PrepareApply has
    // not. False when progress asked to stop.
    bool Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress,
               int mode) const override;

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

    // The spline curve through the params' points in use, then (0, 0) and
    // (1, 1), evaluated into tone (a point at x = 0 or 1 comes earlier and
    // takes the end's place). The document's tone table in curve mode and
    // the curve control's picture are both made by it.
    static void MakeCurveTable(const GrayCalibParams& params, CGammaTable& tone);

    // The table built by the last PrepareApply (empty before, and after
    // every copy or Reset).
    const CGammaTable& GetToneTable() const { return m_prepared.toneTable; }
};
