#include "correction/ColorCalibDoc.h"

#include "core/Clamp.h"
#include "core/ImageAccess.h"
#include "core/LabRowKernel.h"
#include "correction/LabRegion.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <span>
#include <type_traits>
#include <variant>

namespace {

// The document's own value of pi and of a full turn.
constexpr double kPi = 3.14159265358;
constexpr double kFullTurn = 6.28318530716;

constexpr std::string_view kSection = CBaseDoc::kColorCalibSection;

double DegreesToRadians(double degrees)
{
    return degrees / 180.0 * kPi;
}

constexpr const ParamDef<CColorCalibData>& kColorCount = CColorCalibDoc::kParamTable[5];

int ClampCount(int value)
{
    return std::clamp(value, static_cast<int>(kColorCount.minValue),
                      static_cast<int>(kColorCount.maxValue));
}

std::string PointKey(const char* prefix, int index)
{
    char key[64];
    std::snprintf(key, sizeof key, "%s%03d", prefix, index);
    return key;
}

// A point of three doubles L, C, h; a missing key or a list that is not
// exactly three finite numbers keeps the point as it is.
void ReadPoint(const CParamFileReader& file, const std::string& key, CCIELCh& point)
{
    const std::vector<double> fallback{point[0], point[1], point[2]};
    std::vector<double> values;
    if (file.GetDoubleList(kSection, key, fallback, values))
        point = CCIELCh(values[0], values[1], values[2]);
}

bool WritePoint(CSaveDoc& save, const std::string& key, const CCIELCh& point)
{
    const double values[3] = {point[0], point[1], point[2]};
    return save.WriteDoubleList(key, values);
}

// Segments from the before and after points (same count, at least one).
// Segment i runs from point i to point i + 1, the last back to the first.
void BuildSegments(std::span<const CCIELCh> before, std::span<const CCIELCh> after,
                   std::vector<ColorCalibHueSegment>& segments)
{
    const std::size_t count = before.size();
    segments.assign(count, {});
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::size_t next = (i + 1) % count;
        ColorCalibHueSegment& s = segments[i];
        s.hueBefore = DegreesToRadians(before[i][2]);
        s.nextHueBefore = DegreesToRadians(before[next][2]);
        s.gapBefore = s.nextHueBefore - s.hueBefore;
        if (s.gapBefore < 0.0)
            s.gapBefore += kFullTurn;
        s.hueAfter = DegreesToRadians(after[i][2]);
        s.gapAfter = DegreesToRadians(after[next][2]) - s.hueAfter;
        if (s.gapAfter < 0.0)
            s.gapAfter += kFullTurn;

        const double startRatio = after[i][1] / before[i][1];
        const double endRatio = after[next][1] / before[next][1];
        s.chromaLine.SetPoints(CPointD(0.0, startRatio), CPointD(1.0, endRatio));
        // No width, or no chroma ratio at an end (a "before" chroma of 0):
        // the segment has no map, and its pixels stay as they are.
        s.keep = !(s.gapBefore > 0.0) || !std::isfinite(startRatio) || !std::isfinite(endRatio);
    }
}

// The hue and chroma map of one pixel (a, b in place). The segment is the
// first whose half-open interval [start, end) holds h, an interval with
// end <= start running through 0 degrees; a segment of no width holds no
// hue. Without a match (only segments of no width) the last segment is
// taken, as the points' order leaves nothing else.
inline void MapHue(std::span<const ColorCalibHueSegment> segments, double& a, double& b)
{
    double h = std::atan2(b, a);
    if (h < 0.0)
        h += kFullTurn;
    const ColorCalibHueSegment* found = &segments.back();
    for (const ColorCalibHueSegment& s : segments)
    {
        const double start = s.hueBefore;
        const double end = s.nextHueBefore;
        if (start < end ? (start <= h && h < end) : (start > end && (h >= start || h < end)))
        {
            found = &s;
            break;
        }
    }
    if (found->keep)
        return;
    double offset = h - found->hueBefore;
    if (offset < 0.0)
        offset += kFullTurn;
    const double t = offset / found->gapBefore;
    const double hue = found->hueAfter + t * found->gapAfter;
    const double chroma = std::sqrt(a * a + b * b) * found->chromaLine.GetValue(t);
    a = std::cos(hue) * chroma;
    b = std::sin(hue) * chroma;
}

} // namespace

CColorCalibData CColorCalibDoc::DefaultParams()
{
    CColorCalibData data = CDocOf::DefaultParams();
    data.startHue = kDefaultStartHue;
    InitHueTable(data);
    return data;
}

bool CColorCalibDoc::SameParams(const CColorCalibData& a, const CColorCalibData& b)
{
    if (a.Offset != b.Offset || a.Direction != b.Direction || a.fRandamCalib != b.fRandamCalib ||
        a.Sat != b.Sat || a.Hue != b.Hue || a.ColorCount != b.ColorCount)
        return false;
    for (int i = 0; i < ClampCount(a.ColorCount); ++i)
    {
        if (a.ChartLchRef[i] != b.ChartLchRef[i] || a.LchBefore[i] != b.LchBefore[i] ||
            a.LchAfter[i] != b.LchAfter[i])
            return false;
    }
    return true;
}

std::string CColorCalibDoc::GetSectionName() const
{
    return std::string(kSection);
}

void CColorCalibDoc::SetCalibData(const CColorCalibData& data)
{
    m_params = data;
    // The numbers as a file gives them: clamped into their ranges, a value
    // that is no finite number replaced by the default.
    for (const ParamDef<CColorCalibData>& param : GetParamTable())
    {
        std::visit(
            [&](auto field) {
                using Value = std::remove_reference_t<decltype(m_params.*field)>;
                if constexpr (std::is_same_v<Value, double>)
                {
                    const double value = m_params.*field;
                    m_params.*field = std::isfinite(value)
                                          ? std::clamp(value, param.minValue, param.maxValue)
                                          : param.defaultValue;
                }
            },
            param.member);
    }
    m_params.ColorCount = static_cast<std::int16_t>(ClampCount(data.ColorCount));
    DropPrepared();
}

bool CColorCalibDoc::LoadParams(const CParamFileReader& file)
{
    if (!CBaseDoc::LoadParams(file))
        return false;

    // The count is clamped by the table before it bounds the point loops.
    CColorCalibData data = DefaultParams();
    ReadParams(file, kSection, GetParamTable(), data);
    for (int i = 0; i < data.ColorCount; ++i)
    {
        ReadPoint(file, PointKey("ChartLchRef", i), data.ChartLchRef[i]);
        ReadPoint(file, PointKey("LchBefore", i), data.LchBefore[i]);
        ReadPoint(file, PointKey("LchAfter", i), data.LchAfter[i]);
    }
    // The panel's start hue is not stored: it is the first point's hue to a
    // tenth of a degree (truncated).
    data.startHue =
        static_cast<double>(ClampToInteger(data.LchBefore[0][2] * 10.0, INT16_MIN, INT16_MAX)) /
        10.0;

    m_params = data;
    DropPrepared();
    return true;
}

bool CColorCalibDoc::SaveParams(CParamFileWriter& file) const
{
    if (!CBaseDoc::SaveParams(file))
        return false;
    CSaveDoc save(file);
    bool ok = WriteParams(save, GetParamTable(), m_params);
    for (int i = 0; i < ClampCount(m_params.ColorCount); ++i)
    {
        ok = WritePoint(save, PointKey("ChartLchRef", i), m_params.ChartLchRef[i]) && ok;
        ok = WritePoint(save, PointKey("LchBefore", i), m_params.LchBefore[i]) && ok;
        ok = WritePoint(save, PointKey("LchAfter", i), m_params.LchAfter[i]) && ok;
    }
    return ok;
}

bool CColorCalibDoc::PrepareApply(const CDNGTranspose*, CAccessRGBImageByLab& source,
                                  std::vector<std::string>*, double)
{
    DropPrepared();
    ColorCalibPrepared& p = m_prepared;
    const CColorCalibData& data = m_params;
    if (data.fRandamCalib != 0)
    {
        const std::size_t count = static_cast<std::size_t>(ClampCount(data.ColorCount));
        BuildSegments(std::span(data.LchBefore).first(count), std::span(data.LchAfter).first(count),
                      p.hueSegments);
    }
    else
    {
        // Twelve points every 30 degrees of chroma 50, each turned by Hue
        // and given chroma Sat: every hue turns by Hue, every chroma scales
        // by Sat / 50.
        std::array<CCIELCh, 12> before;
        std::array<CCIELCh, 12> after;
        MakeHueCircle(before, 50.0, 0.0);
        MakeHueCircle(after, data.Sat, data.Hue);
        BuildSegments(before, after, p.hueSegments);
        p.uniform = true;
        const double angle = DegreesToRadians(data.Hue);
        p.rotateCos = std::cos(angle);
        p.rotateSin = std::sin(angle);
        p.chromaScale = data.Sat / 50.0;
    }

    const CCIEXYZ& white = source.GetWhite();
    const CCIEXYZ target = CCIELCh(100.0, data.Offset, data.Direction).ToLab().ToXYZ(white);
    for (std::size_t i = 0; i < 3; ++i)
    {
        const double gain = target[i] / white[i];
        p.whiteGain[i] = std::isfinite(gain) ? gain : 1.0;
    }
    return true;
}

bool CColorCalibDoc::Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress, int) const
{
    const ColorCalibPrepared& p = m_prepared;
    const CLabRowKernel kernel(image, p.whiteGain);

    // Each pixel: to Lab through the white gain, the hue map on (a, b), and
    // back.
    auto runRows = [&](auto&& map) {
        return RunLabRegion(image, rect, kernel, progress,
                            [&](double&, double& a, double& b) { map(a, b); });
    };

    if (p.uniform)
    {
        const double c = p.rotateCos;
        const double s = p.rotateSin;
        const double k = p.chromaScale;
        return runRows([c, s, k](double& a, double& b) {
            const double a0 = a;
            a = k * (a0 * c - b * s);
            b = k * (a0 * s + b * c);
        });
    }
    if (p.hueSegments.empty()) // not prepared: hue and chroma stay
        return runRows([](double&, double&) {});
    const std::span<const HueSegment> segments(p.hueSegments);
    return runRows([segments](double& a, double& b) { MapHue(segments, a, b); });
}

void CColorCalibDoc::InitHueTable(CColorCalibData& data)
{
    const int count = ClampCount(data.ColorCount);
    const double start = std::isfinite(data.startHue) ? data.startHue : kDefaultStartHue;
    for (int i = 0; i < count; ++i)
    {
        double hue = 360.0 / count * i + start;
        if (hue >= 360.0)
            hue -= 360.0;
        data.ChartLchRef[i] = CCIELCh(50.0, 50.0, hue);
    }
    std::stable_sort(data.ChartLchRef.begin(), data.ChartLchRef.begin() + count,
                     [](const CCIELCh& p, const CCIELCh& q) { return p[2] < q[2]; });
    for (int i = count; i < CColorCalibData::kMaxColors; ++i)
        data.ChartLchRef[i] = CCIELCh(50.0, 0.0, 0.0);
    data.LchBefore = data.ChartLchRef;
    data.LchAfter = data.ChartLchRef;
}

void CColorCalibDoc::MakeHueCircle(std::array<CCIELCh, 12>& circle, double chroma, double startHue)
{
    for (std::size_t k = 0; k < circle.size(); ++k)
    {
        double hue = startHue + 30.0 * static_cast<double>(k);
        if (hue >= 360.0)
            hue -= 360.0;
        circle[k] = CCIELCh(50.0, chroma, hue);
    }
}

void CColorCalibDoc::CopyHueTable(const CColorCalibData& source, CColorCalibData& destination)
{
    if (&source != &destination)
        destination = source;
}

bool CColorCalibDoc::MeasureHueShift(const CCIEXYZ& white, const CCIEXYZ& sample, double& chroma,
                                     double& hue)
{
    for (std::size_t i = 0; i < 3; ++i)
    {
        if (!(sample[i] > 0.0) || !std::isfinite(sample[i]) || !(white[i] > 0.0) ||
            !std::isfinite(white[i]))
            return false;
    }
    // The cast that takes S to W, applied to W: W * (W / S).
    CCIEXYZ cast(white[0] * white[0] / sample[0], white[1] * white[1] / sample[1],
                 white[2] * white[2] / sample[2]);
    const double scale = 100.0 / cast[1];
    if (!std::isfinite(scale))
        return false;
    cast = cast * scale;
    const CCIELCh lch = cast.ToLab(white).ToLCh();
    chroma = lch[1];
    hue = lch[2];
    return true;
}
