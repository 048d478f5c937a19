#pragma once
// The colour-tone step (slot 5). It corrects two things in CIE L*a*b*,
// keeping the lightness:
//
// 1. A colour cast, by a gain on XYZ towards a target white. The target is
//    the LCh (100, Offset, Direction) taken as Lab and turned into XYZ
//    relative to the image's white W; each pixel's XYZ is multiplied
//    component by component by g = target / W. With Offset 0, g = (1, 1, 1).
//
// 2. Hue and chroma, by a piecewise-linear map of the hue circle. The
//    circle is cut at hue points h_0 < h_1 < ... (the "before" points); the
//    segment from h_i to h_{i+1} goes onto the segment between the matching
//    "after" points H_i and H_{i+1}. For a pixel of hue h in segment i:
//        t  = (h - h_i) / (h_{i+1} - h_i)          position in the segment
//        h' = H_i + t (H_{i+1} - H_i)
//        C' = C ((1 - t) r_i + t r_{i+1}),  r_i = C(after_i) / C(before_i)
//    (hue differences taken forward round the circle). Either the points
//    are free (fRandamCalib set: up to 24 pairs edited in the panel), or
//    twelve points every 30 degrees are all turned by "Hue" and scaled in
//    chroma by Sat / 50, which rotates every hue by Hue and multiplies every
//    chroma by Sat / 50.
//
// A segment of no width (two points at one hue, or a single point) holds no
// hue; when every segment is such, or a segment ends in a "before" point of
// chroma 0 (no chroma ratio exists), the pixels that fall into it keep
// their hue and chroma.
//
// Hue arithmetic takes pi as 3.14159265358, as the colour value types do.

#include "core/CIEColor.h"
#include "core/Interpolation.h"
#include "correction/BaseDoc.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The colour-tone parameters (the panel holds a record of the same layout).
// A new record holds the reset values of the numbers and zeros in the three
// point tables; InitHueTable fills the tables.
struct CColorCalibData
{
    static constexpr int kMaxColors = 24;

    double Offset = 0.0;         // chroma of the colour-cast target, 0..99
    double Direction = 0.0;      // its hue in degrees, 0..359.9
    int fRandamCalib = 0;        // 0: uniform rotation and chroma scale; else point mapping
    double Sat = 50.0;           // chroma of the turned circle, 0..100 (50 keeps chroma)
    double Hue = 0.0;            // hue rotation in degrees, 0..359.9
    std::int16_t ColorCount = 6; // hue points in use, 1..24
    double startHue = 30.0;      // hue of the first evenly spaced point
    std::array<CCIELCh, kMaxColors> ChartLchRef; // evenly spaced reference points
    std::array<CCIELCh, kMaxColors> LchBefore;   // hue points before the correction
    std::array<CCIELCh, kMaxColors> LchAfter;    // the same points after it

    bool operator==(const CColorCalibData&) const = default;
};

// One segment of the prepared hue map, angles in radians.
struct ColorCalibHueSegment
{
    double hueBefore = 0.0;     // start of the segment on the image's hue circle
    double gapBefore = 0.0;     // forward to the next segment's hueBefore
    double nextHueBefore = 0.0; // the next segment's hueBefore (end of this one)
    double hueAfter = 0.0;      // where hueBefore goes
    double gapAfter = 0.0;      // forward to the next segment's hueAfter
    CLinearFunction chromaLine; // chroma factor over t = 0..1 inside the segment
    bool keep = false;          // no map exists: hue and chroma stay as they are
};

// What PrepareApply derives: the hue map and the white gain.
struct ColorCalibPrepared
{
    std::vector<ColorCalibHueSegment> hueSegments;
    CCIEXYZ whiteGain{1.0, 1.0, 1.0};
    // The uniform map (fRandamCalib 0) in closed form: every segment turns
    // its hues by the same angle and scales chroma by the same factor, so
    // (a, b) goes through one rotation and scale, with no angle per pixel.
    bool uniform = false;
    double rotateCos = 1.0;
    double rotateSin = 0.0;
    double chromaScale = 1.0;
};

class CColorCalibDoc : public CDocOf<CColorCalibDoc, CColorCalibData, ColorCalibPrepared>
{
public:
    // The persisted numbers: key, default and range. Values out of range in
    // a file are clamped into it; text that is not a finite number gives
    // the default. The three point tables follow, ColorCount points each.
    static constexpr ParamDef<CColorCalibData> kParamTable[] = {
        {"Offset", &CColorCalibData::Offset, 0.0, 0.0, 99.0, ParamRead::ClampInside},
        {"Direction", &CColorCalibData::Direction, 0.0, 0.0, 359.9, ParamRead::ClampInside},
        {"Sat", &CColorCalibData::Sat, 50.0, 0.0, 100.0, ParamRead::ClampInside},
        {"Hue", &CColorCalibData::Hue, 0.0, 0.0, 359.9, ParamRead::ClampInside},
        {"fRandamCalib", &CColorCalibData::fRandamCalib, 0, 0, 1, ParamRead::AnyValue},
        {"ColorCount", &CColorCalibData::ColorCount, 6, 1, CColorCalibData::kMaxColors,
         ParamRead::ClampInside},
    };
    static constexpr double kDefaultStartHue = 30.0;

    using HueSegment = ColorCalibHueSegment;

    CColorCalibDoc() = default;

    // The table's defaults, the default start hue and the evenly spaced
    // points.
    static CColorCalibData DefaultParams();
    // Equal Offset, Direction, fRandamCalib, Sat, Hue and ColorCount, and
    // the points below ColorCount of all three tables equal component by
    // component (startHue is not compared).
    static bool SameParams(const CColorCalibData& a, const CColorCalibData& b);

    bool LoadParams(const CParamFileReader& file) override;
    bool SaveParams(CParamFileWriter& file) const override;
    std::string GetSectionName() const override;

    // Builds the hue segments and the white gain for source's white.
    // Always true.
    bool PrepareApply(const CDNGTranspose* raw, CAccessRGBImageByLab& source,
                      std::vector<std::string>* details, double scale) override;

    // Corrects the rectangle (null: the whole image) in place; rows are
    // spread over the step threads. False when progress asked to stop.
    bool Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress,
               int mode) const override;

    const CColorCalibData& GetCalibData() const { return m_params; }
    // Takes the record with its numbers kept inside their ranges (as a file
    // is read); the document is no longer prepared.
    void SetCalibData(const CColorCalibData& data);

    // Prepared state (empty and (1, 1, 1) until PrepareApply).
    const std::vector<HueSegment>& GetHueSegments() const { return m_prepared.hueSegments; }
    const CCIEXYZ& GetWhiteGain() const { return m_prepared.whiteGain; }

    // For i < ColorCount the point LCh (50, 50, 360 / ColorCount * i +
    // startHue), the hue reduced by 360 once when 360 or more, sorted by hue
    // (stable); (50, 0, 0) from ColorCount on; then all 24 copied into
    // LchBefore and LchAfter.
    static void InitHueTable(CColorCalibData& data);
    // LCh (50, chroma, startHue + 30 k) for k = 0..11, the hue reduced by
    // 360 once when 360 or more.
    static void MakeHueCircle(std::array<CCIELCh, 12>& circle, double chroma, double startHue);
    static void CopyHueTable(const CColorCalibData& source, CColorCalibData& destination);
    // The colour cast that turns the sampled colour S into the neutral of
    // the white W: X = (Wx^2 / Sx, Wy^2 / Sy, Wz^2 / Sz) scaled to Y = 100,
    // as LCh relative to W; its chroma and hue (degrees) go into Offset and
    // Direction. False, the outputs untouched, when a component of S or W
    // is not a positive finite number.
    static bool MeasureHueShift(const CCIEXYZ& white, const CCIEXYZ& sample, double& chroma,
                                double& hue);
};
