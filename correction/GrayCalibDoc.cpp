#include "correction/GrayCalibDoc.h"

#include "platform/Numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr std::string_view kSection = CBaseDoc::kGrayCalibSection;

// The gamma's entry in the table: its reading has a rule of its own.
constexpr const ParamDef<GrayCalibParams>& kGamma = CGrayCalibDoc::kParamTable[3];

// The curve points live on 0..1 in both directions.
constexpr double kPointMin = 0.0;
constexpr double kPointMax = 1.0;

// "ScaleTableX007" and the like.
std::string PointKey(char axis, int index)
{
    char key[32];
    std::snprintf(key, sizeof key, "ScaleTable%c%03d", axis, index);
    return key;
}

// A point's evenly spaced default as it reads back from its "%f" text: the
// file's keys carry six decimals, and so does the default (0.333333 for a
// third), so a file that lacks a key reads like one that holds it.
double AsSixDecimals(double value)
{
    return platform::ParseDouble(platform::FormatDouble(value));
}

// The levels, valid as a group: black below white on both sides, both
// within 0..255, and a positive finite gamma.
bool LevelsValid(const GrayCalibParams& p)
{
    return p.InBlackLevel >= 0 && p.InBlackLevel < p.InWhiteLevel && p.InWhiteLevel <= 255 &&
           std::isfinite(p.InGamma) && p.InGamma > 0.0 && p.OutBlackLevel >= 0 &&
           p.OutBlackLevel < p.OutWhiteLevel && p.OutWhiteLevel <= 255;
}

} // namespace

GrayCalibParams CGrayCalibDoc::DefaultParams()
{
    GrayCalibParams params = CDocOf::DefaultParams();
    InitScaleTable(params);
    return params;
}

bool CGrayCalibDoc::SameParams(const GrayCalibParams& a, const GrayCalibParams& b)
{
    if (a.OffsetTemp != b.OffsetTemp || a.InBlackLevel != b.InBlackLevel ||
        a.InWhiteLevel != b.InWhiteLevel || a.InGamma != b.InGamma ||
        a.OutBlackLevel != b.OutBlackLevel || a.OutWhiteLevel != b.OutWhiteLevel ||
        a.RandamScale != b.RandamScale || a.ScaleCount != b.ScaleCount)
        return false;
    for (int i = 0; i < a.UsedScaleCount(); ++i)
    {
        if (!(a.ScaleTable[i] == b.ScaleTable[i]))
            return false;
    }
    return true;
}

bool CGrayCalibDoc::LoadParams(const CParamFileReader& file)
{
    if (!CBaseDoc::LoadParams(file))
        return false;

    const GrayCalibParams defaults = DefaultParams();
    GrayCalibParams p = defaults;
    ReadParams(file, kSection, GetParamTable(), p);
    // A gamma that is present but no finite number ("nan", "inf", text)
    // spoils the levels like a gamma of 0 does: NaN stands for it in the
    // group check.
    if (!file.GetValue(kSection, kGamma.key).value_or("").empty())
        p.InGamma = file.GetDouble(kSection, kGamma.key, std::numeric_limits<double>::quiet_NaN());
    if (!LevelsValid(p))
    {
        p.InBlackLevel = defaults.InBlackLevel;
        p.InWhiteLevel = defaults.InWhiteLevel;
        p.InGamma = defaults.InGamma;
        p.OutBlackLevel = defaults.OutBlackLevel;
        p.OutWhiteLevel = defaults.OutWhiteLevel;
    }

    // The count was checked whole by the table (65538 is no more a count
    // of 2 than 21 is); the points it leaves unread are evenly spaced.
    InitScaleTable(p);
    for (int i = 0; i < p.UsedScaleCount(); ++i)
    {
        CPointD& point = p.ScaleTable[i];
        point.x = file.GetDouble(
            kSection, DoubleParam{PointKey('X', i), AsSixDecimals(point.x), kPointMin, kPointMax});
        point.y = file.GetDouble(
            kSection, DoubleParam{PointKey('Y', i), AsSixDecimals(point.y), kPointMin, kPointMax});
    }

    m_params = p;
    DropPrepared();
    return true;
}

bool CGrayCalibDoc::SaveParams(CParamFileWriter& file) const
{
    if (!CBaseDoc::SaveParams(file))
        return false;
    CSaveDoc save(file);
    bool ok = WriteParams(save, GetParamTable(), m_params);
    for (int i = 0; i < m_params.UsedScaleCount(); ++i)
    {
        ok = save.WriteDouble(PointKey('X', i), m_params.ScaleTable[i].x) && ok;
        ok = save.WriteDouble(PointKey('Y', i), m_params.ScaleTable[i].y) && ok;
    }
    return ok;
}

std::string CGrayCalibDoc::GetSectionName() const
{
    return std::string(kSection);
}

void CGrayCalibDoc::InitScaleTable(GrayCalibParams& params)
{
    const int count = params.UsedScaleCount();
    for (int i = 0; i < GrayCalibParams::kMaxScalePoints; ++i)
    {
        if (i < count)
        {
            const double v = static_cast<double>(i + 1) / (count + 1);
            params.ScaleTable[i] = CPointD(v, v);
        }
        else
        {
            params.ScaleTable[i] = CPointD(0.0, 0.0);
        }
    }
}

void CGrayCalibDoc::MakeLevelsTable(const GrayCalibParams& params, std::span<std::uint16_t> out,
                                    int maxValue)
{
    const double ib = params.InBlackLevel / 255.0;
    const double iw = params.InWhiteLevel / 255.0;
    const double ob = params.OutBlackLevel / 255.0;
    const double ow = params.OutWhiteLevel / 255.0;
    const double g = params.InGamma;
    const double m = maxValue;
    const std::size_t n = out.size();
    const double last = n > 1 ? static_cast<double>(n - 1) : 1.0;
    for (std::size_t i = 0; i < n; ++i)
    {
        const double x = static_cast<double>(i) / last;
        double y;
        if (x <= ib)
            y = ob;
        else if (x >= iw)
            y = ow;
        else
            y = ob + (ow - ob) * std::pow((x - ib) / (iw - ib), g);
        // y beyond 0..1 is held at the ends; a NaN (a gamma that is no
        // number) gives 0.
        out[i] = static_cast<std::uint16_t>(ClampToInteger(std::clamp(y, 0.0, 1.0) * m, 0, 65535));
    }
}

void CGrayCalibDoc::MakeCurveTable(const GrayCalibParams& params, CGammaTable& tone)
{
    // The user's points first, then the ends: a point at x = 0 or 1 comes
    // earlier and takes the end's place.
    std::vector<CPointD> points(params.ScaleTable.begin(),
                                params.ScaleTable.begin() + params.UsedScaleCount());
    points.emplace_back(0.0, 0.0);
    points.emplace_back(1.0, 1.0);
    tone.BuildFromPoints(points);
}

bool CGrayCalibDoc::PrepareApply(const CDNGTranspose*, CAccessRGBImageByLab&,
                                 std::vector<std::string>*, double)
{
    CGammaTable& tone = m_prepared.toneTable;
    if (m_params.RandamScale == 1)
    {
        MakeCurveTable(m_params, tone);
        return !tone.IsEmpty();
    }
    std::vector<std::uint16_t> levels(CGammaTable::EntryCount);
    MakeLevelsTable(m_params, levels, 65535);
    return tone.SetTable(levels);
}

bool CGrayCalibDoc::Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress, int) const
{
    if (m_prepared.toneTable.IsEmpty())
        return false;

    const CRect region = rect ? *rect : CRect(0, 0, image.GetWidth(), image.GetHeight());
    if (region.left < 0 || region.top < 0 || region.right > image.GetWidth() ||
        region.bottom > image.GetHeight())
        return false;
    if (region.IsRectEmpty())
        return true;

    const CLockGammaTable lock(m_prepared.toneTable);
    const std::uint16_t* tone = lock.GetTable();
    const CLabRowKernel kernel(image);
    const int width = region.Width();
    RGB16* const first = PixelRow(image, region.left, region.top);
    const std::size_t stride = static_cast<std::size_t>(image.GetWidth());

    // Per pixel: L* clamped to 0..100, the entry at L* x 655.35 (truncated)
    // read back as the new L*, a* and b* kept. Each row touches only its
    // own pixels, so the rows may run on any number of threads.
    return RunRowBands(region.Height(), progress, [&](int begin, int end) {
        for (int y = begin; y < end; ++y)
        {
            RGB16* row = first + static_cast<std::size_t>(y) * stride;
            for (int x = 0; x < width; ++x)
            {
                double L;
                double a;
                double b;
                kernel.ToLab(row[x], L, a, b);
                const auto index = static_cast<std::size_t>(
                    ClampToInteger(std::clamp(L, 0.0, 100.0) * kLightnessScale, 0, 65535));
                row[x] = kernel.FromLab(tone[index] / kLightnessScale, a, b);
            }
        }
    });
}
