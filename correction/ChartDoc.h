#pragma once
// The chart correction step, slot 2. The user photographs a colour-checker
// chart; the panel measures the XYZ of its grey-scale patches and of its
// colour patches and keeps them here, with reference values for the colour
// patches. From these tables the document prepares
//   - a grey correction: per-level XYZ gains that bring the measured greys
//     to the white's chromaticity (CGrayCorrection), and a straight line on
//     L* that can pull the darkest and lightest grey to a black and a
//     white level;
//   - 360 colour matrices, one per degree of measured hue, each the
//     least-squares map from measured to reference XYZ of the patches near
//     that hue, interpolated between the patches' hues.
// In this edition the step changes no pixel (Apply leaves the image as it
// is); parameters, comparison, persistence and the prepared corrections
// are complete.

#include "core/CIEColor.h"
#include "core/GrayCorrection.h"
#include "core/Interpolation.h"
#include "core/T2DArray.h"
#include "correction/BaseDoc.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

class CStdMatrix;

// A 3x3 matrix of nine doubles in row order (m00, m01, m02, m10, ..., m22).
class CMtx3x3
{
public:
    // All zeros.
    CMtx3x3() = default;
    // Elements (r, c) for r, c < 3 of m; missing ones (a smaller matrix)
    // are 0.
    explicit CMtx3x3(const CStdMatrix& m);
    virtual ~CMtx3x3() = default;
    CMtx3x3(const CMtx3x3&) = default;
    CMtx3x3& operator=(const CMtx3x3&) = default;

    static CMtx3x3 Identity();

    // m times (x, y, z).
    CCIEXYZ Transform(const CCIEXYZ& xyz) const;

    std::array<double, 9> m{};
};

// A measured colour and its reference, both as LCh.
struct CLChPair
{
    CCIELCh measured;
    CCIELCh reference;
};

// The persisted parameters of the chart step.
struct ChartParams
{
    // Non-zero: prepare the grey correction.
    int UseGrayScale = 1;
    // Measured XYZ of the grey patches, darkest first; 1 x 6 by default.
    T2DArray<CCIEXYZ> grayScaleTable;
    // Non-zero: the darkest grey patch is pulled to a black level.
    int AdjustBlackLevel = 0;
    // Non-zero: the lightest grey patch is pulled to a white level.
    int AdjustWhiteLevel = 0;
    // 1: prepare the colour matrices.
    int UseColorChart = 1;
    // Measured and reference XYZ of the colour patches; 3 x 6 by default.
    T2DArray<CCIEXYZ> colorChartTable;
    T2DArray<CCIEXYZ> colorChartReference;

    bool operator==(const ChartParams&) const = default;
};

// The corrections prepared from the tables for one white.
struct ChartPrepared
{
    std::vector<CMtx3x3> hueMatrixTable;
    bool grayCorrectionReady = false;
    CGrayCorrection grayCorrection;
    CLinearFunction lightnessLine;
};

class CChartDoc : public CDocOf<CChartDoc, ChartParams, ChartPrepared>
{
public:
    // The four switches, read as any integer. The patch tables follow each
    // switch that uses them in the file (see SaveParams), each with its
    // dimensions.
    static constexpr ParamDef<ChartParams> kParamTable[] = {
        {"UseGrayScale", &ChartParams::UseGrayScale, 1, 0, 1, ParamRead::AnyValue},
        {"AdjustBlackLevel", &ChartParams::AdjustBlackLevel, 0, 0, 1, ParamRead::AnyValue},
        {"AdjustWhiteLevel", &ChartParams::AdjustWhiteLevel, 0, 0, 1, ParamRead::AnyValue},
        {"UseColorChart", &ChartParams::UseColorChart, 1, 0, 1, ParamRead::AnyValue},
    };

    // The patch tables a parameter file may describe: each dimension
    // 0..64. Real charts have at most 20 grey patches and a few dozen
    // colour patches; the cap keeps a dropped file from asking for
    // millions of keys or matrices.
    static constexpr int kMaxChartDimension = 64;

    // pi and 60 degrees as the hue arithmetic of this step takes them.
    static constexpr double kPi = 3.14159265358;
    static constexpr double kSixtyDegrees = 1.0471975511933334;

    CChartDoc() = default;

    // The switches' defaults, a 1 x 6 grey scale and 3 x 6 colour tables of
    // zeros.
    static ChartParams DefaultParams();

    bool LoadParams(const CParamFileReader& file) override;
    bool SaveParams(CParamFileWriter& file) const override;
    std::string GetSectionName() const override;

    // Prepares the corrections for the accessor's white (PrepareFromWhite).
    bool PrepareApply(const CDNGTranspose* raw, CAccessRGBImageByLab& source,
                      std::vector<std::string>* details, double scale) override;

    // Changes nothing and reports no progress.
    bool Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress,
               int mode) const override;

    // The grey correction, the lightness line and the hue matrices for the
    // white W (Yn = 100).
    void PrepareFromWhite(const CCIEXYZ& white);

    // The grey-scale table becomes 1 x count (count held within
    // 0..kMaxChartDimension), every patch fill.
    void SetGrayScaleCount(int count, const CCIEXYZ& fill);
    // Both colour tables become P x Q (each held within
    // 0..kMaxChartDimension), every patch fill.
    void SetColorChartSize(int P, int Q, const CCIEXYZ& fill);

    T2DArray<CCIEXYZ> GetGrayScaleTable() const { return m_params.grayScaleTable; }
    T2DArray<CCIEXYZ> GetColorChartTable() const { return m_params.colorChartTable; }

    // The target grey scale for display: every patch made neutral at its
    // own luminance (X = Xw Y / Yw, Z = Zw Y / Yw); with a black or white
    // level set, L* moved along the line through (L1, 3 or L1) and (L2, 97
    // or L2), L1 and L2 being the first and the last patch's L*.
    void MakeGrayScaleTarget(const CCIEXYZ& white, T2DArray<CCIEXYZ>& out) const;

    // Anchor pairs (measured and reference both (50, 50, h)) for a list of
    // pairs sorted by measured hue. Two pairs or more: after each pair whose
    // hue gap G to the next (the first after the last) is 120 degrees or
    // more, 20 anchors at 21..40 degrees past it, one at G / 2, and 20 at
    // 21..40 degrees before the next, in that order (the list is not
    // sorted again). A single pair: six anchors 30, 40 and 50 degrees to
    // either side, and the list sorted by measured hue again.
    static void AddHueAnchors(std::vector<CLChPair>& pairs);

    // Same dimensions and every component equal (exact comparison).
    static bool IsEqualXYZTable(const T2DArray<CCIEXYZ>& a, const T2DArray<CCIEXYZ>& b);
    // Every patch exactly (0, 0, 0); true for an empty table.
    static bool IsZeroXYZTable(const T2DArray<CCIEXYZ>& table);

    // Prepared data (empty, 0, fresh, identity after construction, Reset
    // and every copy).
    const std::vector<CMtx3x3>& GetHueMatrixTable() const { return m_prepared.hueMatrixTable; }
    bool IsGrayCorrectionReady() const { return m_prepared.grayCorrectionReady; }
    const CGrayCorrection& GetGrayCorrection() const { return m_prepared.grayCorrection; }
    const CLinearFunction& GetLightnessLine() const { return m_prepared.lightnessLine; }

private:
    void PrepareGray(const CCIEXYZ& white);
    void PrepareColor(const CCIEXYZ& white);
};
