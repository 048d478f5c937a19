#include "correction/ColorCalibDoc.h"

#include "core/Clamp.h"
#include "core/ImageAccess.h"
#include "core/LabRowKernel.h"
#include "correction/LabRegion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>

namespace {

// The document's own value of pi and of a full turn.
constexpr double kPi = 3.14159265358;
constexpr double kFullTurn = 6.28318530716;

constexpr std::string_view kSection = CBaseDoc::kColorCalibSection;

double DegreesToRadians(double degrees)
{
    return degrees / 180.0 * kPi;
}

// Out-of-range values are clamped into the range; a value that is not a
// finite number has no place in it and gives the default.
double ClampParam(double value, const DoubleParam& param)
{
    if (!std::isfinite(value))
        return param.defaultValue;
    if (value <= param.minValue)
        return param.minValue;
    if (value >= param.maxValue)
        return param.maxValue;
    return value;
}

int ClampCount(int value)
{
    return std::clamp(value, CColorCalibDoc::kColorCount.minValue,
                      CColorCalibDoc::kColorCount.maxValue);
}

std::string PointKey(const char* prefix, int index)
{
    char key[64];
    std::snprintf(key, sizeof key, "%s%03d", prefix, index);
    return key;
}

// The reset record: reset numbers and the evenly spaced points.
CColorCalibData DefaultRecord()
{
    CColorCalibData data;
    data.Offset = CColorCalibDoc::kOffset.defaultValue;
    data.Direction = CColorCalibDoc::kDirection.defaultValue;
    data.fRandamCalib = CColorCalibDoc::kRandomCalib.defaultValue;
    data.Sat = CColorCalibDoc::kSat.defaultValue;
    data.Hue = CColorCalibDoc::kHue.defaultValue;
    data.ColorCount = static_cast<std::int16_t>(CColorCalibDoc::kColorCount.defaultValue);
    data.startHue = CColorCalibDoc::kDefaultStartHue;
    CColorCalibDoc::InitHueTable(data);
    return data;
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
                   std::vector<CColorCalibDoc::HueSegment>& segments)
{
    const std::size_t count = before.size();
    segments.assign(count, {});
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::size_t next = (i + 1) % count;
        CColorCalibDoc::HueSegment& s = segments[i];
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
inline void MapHue(std::span<const CColorCalibDoc::HueSegment> segments, double& a, double& b)
{
    double h = std::atan2(b, a);
    if (h < 0.0)
        h += kFullTurn;
    const CColorCalibDoc::HueSegment* found = &segments.back();
    for (const CColorCalibDoc::HueSegment& s : segments)
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

CColorCalibDoc::CColorCalibDoc()
{
    CColorCalibDoc::Reset();
}

CColorCalibDoc::CColorCalibDoc(const CColorCalibDoc& other) : CBaseDoc(other)
{
    CopyFrom(other);
}

CColorCalibDoc& CColorCalibDoc::operator=(const CColorCalibDoc& other)
{
    CopyFrom(other);
    return *this;
}

void CColorCalibDoc::CopyFrom(const CColorCalibDoc& other)
{
    if (&other == this)
        return;
    AssignBase(other);
    m_data = other.m_data;
    ResetPrepared();
}

void CColorCalibDoc::ResetPrepared()
{
    m_hueSegments.clear();
    m_whiteGain = CCIEXYZ(1.0, 1.0, 1.0);
    m_uniform = false;
    m_rotateCos = 1.0;
    m_rotateSin = 0.0;
    m_chromaScale = 1.0;
}

void CColorCalibDoc::Reset()
{
    CBaseDoc::Reset();
    m_data = DefaultRecord();
    ResetPrepared();
}

std::unique_ptr<CBaseDoc> CColorCalibDoc::Clone() const
{
    return std::make_unique<CColorCalibDoc>(*this);
}

void CColorCalibDoc::Assign(const CBaseDoc& other)
{
    if (const auto* doc = dynamic_cast<const CColorCalibDoc*>(&other))
        CopyFrom(*doc);
}

bool CColorCalibDoc::IsEqual(const CBaseDoc& other) const
{
    const auto* doc = dynamic_cast<const CColorCalibDoc*>(&other);
    if (!doc)
        return false;
    const CColorCalibData& a = m_data;
    const CColorCalibData& b = doc->m_data;
    if (a.Offset != b.Offset || a.Direction != b.Direction || a.fRandamCalib != b.fRandamCalib ||
        a.Sat != b.Sat || a.Hue != b.Hue || a.ColorCount != b.ColorCount)
        return false;
    for (int i = 0; i < PointCount(); ++i)
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

int CColorCalibDoc::PointCount() const
{
    return ClampCount(m_data.ColorCount);
}

void CColorCalibDoc::SetCalibData(const CColorCalibData& data)
{
    m_data = data;
    m_data.Offset = ClampParam(data.Offset, kOffset);
    m_data.Direction = ClampParam(data.Direction, kDirection);
    m_data.Sat = ClampParam(data.Sat, kSat);
    m_data.Hue = ClampParam(data.Hue, kHue);
    m_data.ColorCount = static_cast<std::int16_t>(ClampCount(data.ColorCount));
    ResetPrepared();
}

bool CColorCalibDoc::LoadParams(const CParamFileReader& file)
{
    if (!CBaseDoc::LoadParams(file))
        return false;

    CColorCalibData data = DefaultRecord();
    data.Offset = ClampParam(file.GetDouble(kSection, kOffset.key, kOffset.defaultValue), kOffset);
    data.Direction =
        ClampParam(file.GetDouble(kSection, kDirection.key, kDirection.defaultValue), kDirection);
    data.Sat = ClampParam(file.GetDouble(kSection, kSat.key, kSat.defaultValue), kSat);
    data.Hue = ClampParam(file.GetDouble(kSection, kHue.key, kHue.defaultValue), kHue);
    data.fRandamCalib = file.GetInt(kSection, kRandomCalib);
    // The count bounds every table loop below: clamped before anything is
    // read with it.
    data.ColorCount = static_cast<std::int16_t>(
        ClampCount(file.GetInt(kSection, kColorCount.key, kColorCount.defaultValue)));

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

    m_data = data;
    ResetPrepared();
    return true;
}

bool CColorCalibDoc::SaveParams(CParamFileWriter& file) const
{
    if (!CBaseDoc::SaveParams(file))
        return false;
    CSaveDoc save(file);
    bool ok = save.WriteDouble(kOffset.key, m_data.Offset);
    ok = save.WriteDouble(kDirection.key, m_data.Direction) && ok;
    ok = save.WriteDouble(kSat.key, m_data.Sat) && ok;
    ok = save.WriteDouble(kHue.key, m_data.Hue) && ok;
    ok = save.WriteInt(kRandomCalib.key, m_data.fRandamCalib) && ok;
    ok = save.WriteInt(kColorCount.key, m_data.ColorCount) && ok;
    for (int i = 0; i < PointCount(); ++i)
    {
        ok = WritePoint(save, PointKey("ChartLchRef", i), m_data.ChartLchRef[i]) && ok;
        ok = WritePoint(save, PointKey("LchBefore", i), m_data.LchBefore[i]) && ok;
        ok = WritePoint(save, PointKey("LchAfter", i), m_data.LchAfter[i]) && ok;
    }
    return ok;
}

bool CColorCalibDoc::PrepareApply(const CDNGTranspose*, CAccessRGBImageByLab& source,
                                  std::vector<std::string>*, double)
{
    ResetPrepared();
    if (m_data.fRandamCalib != 0)
    {
        const std::size_t count = static_cast<std::size_t>(PointCount());
        BuildSegments(std::span(m_data.LchBefore).first(count),
                      std::span(m_data.LchAfter).first(count), m_hueSegments);
    }
    else
    {
        // Twelve points every 30 degrees of chroma 50, each turned by Hue
        // and given chroma Sat: every hue turns by Hue, every chroma scales
        // by Sat / 50.
        std::array<CCIELCh, 12> before;
        std::array<CCIELCh, 12> after;
        MakeHueCircle(before, 50.0, 0.0);
        MakeHueCircle(after, m_data.Sat, m_data.Hue);
        BuildSegments(before, after, m_hueSegments);
        m_uniform = true;
        const double angle = DegreesToRadians(m_data.Hue);
        m_rotateCos = std::cos(angle);
        m_rotateSin = std::sin(angle);
        m_chromaScale = m_data.Sat / 50.0;
    }

    const CCIEXYZ& white = source.GetWhite();
    const CCIEXYZ target = CCIELCh(100.0, m_data.Offset, m_data.Direction).ToLab().ToXYZ(white);
    for (std::size_t i = 0; i < 3; ++i)
    {
        const double gain = target[i] / white[i];
        m_whiteGain[i] = std::isfinite(gain) ? gain : 1.0;
    }
    return true;
}

bool CColorCalibDoc::Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress, int)
{
    const CLabRowKernel kernel(image, m_whiteGain);

    // Each pixel: to Lab through the white gain, the hue map on (a, b), and
    // back.
    auto runRows = [&](auto&& map) {
        return RunLabRegion(image, rect, kernel, progress,
                            [&](double&, double& a, double& b) { map(a, b); });
    };

    if (m_uniform)
    {
        const double c = m_rotateCos;
        const double s = m_rotateSin;
        const double k = m_chromaScale;
        return runRows([c, s, k](double& a, double& b) {
            const double a0 = a;
            a = k * (a0 * c - b * s);
            b = k * (a0 * s + b * c);
        });
    }
    if (m_hueSegments.empty()) // not prepared: hue and chroma stay
        return runRows([](double&, double&) {});
    const std::span<const HueSegment> segments(m_hueSegments);
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
