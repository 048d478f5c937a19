#include "correction/GrayCalibDoc.h"

#include "platform/Numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr std::string_view kSection = CBaseDoc::kGrayCalibSection;

constexpr IntParam kOffsetTemp{"OffsetTemp", 0, -6000, 6000};
constexpr IntParam kScaleCount{"ScaleCount", 1, 1, GrayCalibParams::kMaxScalePoints};

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

CGrayCalibDoc::CGrayCalibDoc()
{
    CGrayCalibDoc::Reset();
}

CGrayCalibDoc::CGrayCalibDoc(const CGrayCalibDoc& other) : CBaseDoc(other), Params(other.Params) {}

CGrayCalibDoc& CGrayCalibDoc::operator=(const CGrayCalibDoc& other)
{
    if (this != &other)
    {
        CBaseDoc::operator=(other);
        Params = other.Params;
        m_toneTable.Free();
    }
    return *this;
}

void CGrayCalibDoc::Reset()
{
    CBaseDoc::Reset();
    Params = GrayCalibParams{};
    InitScaleTable(Params);
    m_toneTable.Free();
}

std::unique_ptr<CBaseDoc> CGrayCalibDoc::Clone() const
{
    return std::make_unique<CGrayCalibDoc>(*this);
}

void CGrayCalibDoc::Assign(const CBaseDoc& other)
{
    if (const auto* doc = dynamic_cast<const CGrayCalibDoc*>(&other))
        *this = *doc;
}

bool CGrayCalibDoc::IsEqual(const CBaseDoc& other) const
{
    const auto* doc = dynamic_cast<const CGrayCalibDoc*>(&other);
    if (!doc)
        return false;
    const GrayCalibParams& a = Params;
    const GrayCalibParams& b = doc->Params;
    if (a.OffsetTemp != b.OffsetTemp || a.InBlackLevel != b.InBlackLevel ||
        a.InWhiteLevel != b.InWhiteLevel || a.InGamma != b.InGamma ||
        a.OutBlackLevel != b.OutBlackLevel || a.OutWhiteLevel != b.OutWhiteLevel ||
        a.RandamScale != b.RandamScale || a.ScaleCount != b.ScaleCount)
        return false;
    for (int i = 0; i < a.UsedScaleCount(); ++i)
    {
        if (a.ScaleTable[i].x != b.ScaleTable[i].x || a.ScaleTable[i].y != b.ScaleTable[i].y)
            return false;
    }
    return true;
}

bool CGrayCalibDoc::LoadParams(const CParamFileReader& file)
{
    if (!CBaseDoc::LoadParams(file))
        return false;

    GrayCalibParams p;
    p.OffsetTemp = file.GetInt(kSection, kOffsetTemp);

    p.InBlackLevel = file.GetInt(kSection, "InBlackLevel", 0);
    p.InWhiteLevel = file.GetInt(kSection, "InWhiteLevel", 255);
    // A gamma that is present but no finite number ("nan", "inf", text)
    // spoils the levels like a gamma of 0 does: NaN stands for it in the
    // group check.
    p.InGamma = file.GetValue(kSection, "InGamma").value_or("").empty()
                    ? 1.0
                    : file.GetDouble(kSection, "InGamma", std::numeric_limits<double>::quiet_NaN());
    p.OutBlackLevel = file.GetInt(kSection, "OutBlackLevel", 0);
    p.OutWhiteLevel = file.GetInt(kSection, "OutWhiteLevel", 255);
    if (!LevelsValid(p))
    {
        const GrayCalibParams defaults;
        p.InBlackLevel = defaults.InBlackLevel;
        p.InWhiteLevel = defaults.InWhiteLevel;
        p.InGamma = defaults.InGamma;
        p.OutBlackLevel = defaults.OutBlackLevel;
        p.OutWhiteLevel = defaults.OutWhiteLevel;
    }

    p.RandamScale = file.GetInt(kSection, "RandamScale", 0);
    // The whole stored number is checked, not its low 16 bits: 65538 is no
    // more a count of 2 than 21 is.
    p.ScaleCount = static_cast<std::int16_t>(file.GetInt(kSection, kScaleCount));

    InitScaleTable(p);
    for (int i = 0; i < p.UsedScaleCount(); ++i)
    {
        CPointD& point = p.ScaleTable[i];
        point.x = file.GetDouble(
            kSection, DoubleParam{PointKey('X', i), AsSixDecimals(point.x), kPointMin, kPointMax});
        point.y = file.GetDouble(
            kSection, DoubleParam{PointKey('Y', i), AsSixDecimals(point.y), kPointMin, kPointMax});
    }

    Params = p;
    m_toneTable.Free();
    return true;
}

bool CGrayCalibDoc::SaveParams(CParamFileWriter& file) const
{
    if (!CBaseDoc::SaveParams(file))
        return false;
    CSaveDoc save(file);
    bool ok = save.WriteInt("OffsetTemp", Params.OffsetTemp);
    ok = save.WriteInt("InBlackLevel", Params.InBlackLevel) && ok;
    ok = save.WriteInt("InWhiteLevel", Params.InWhiteLevel) && ok;
    ok = save.WriteDouble("InGamma", Params.InGamma) && ok;
    ok = save.WriteInt("OutBlackLevel", Params.OutBlackLevel) && ok;
    ok = save.WriteInt("OutWhiteLevel", Params.OutWhiteLevel) && ok;
    ok = save.WriteInt("RandamScale", Params.RandamScale) && ok;
    ok = save.WriteInt("ScaleCount", Params.ScaleCount) && ok;
    for (int i = 0; i < Params.UsedScaleCount(); ++i)
    {
        ok = save.WriteDouble(PointKey('X', i), Params.ScaleTable[i].x) && ok;
        ok = save.WriteDouble(PointKey('Y', i), Params.ScaleTable[i].y) && ok;
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

bool CGrayCalibDoc::BuildToneTable()
{
    if (Params.RandamScale == 1)
    {
        // The user's points first, then the ends: a point at x = 0 or 1
        // comes earlier and takes the end's place.
        std::vector<CPointD> points(Params.ScaleTable.begin(),
                                    Params.ScaleTable.begin() + Params.UsedScaleCount());
        points.emplace_back(0.0, 0.0);
        points.emplace_back(1.0, 1.0);
        m_toneTable.BuildFromPoints(points);
        return !m_toneTable.IsEmpty();
    }
    std::vector<std::uint16_t> levels(CGammaTable::EntryCount);
    MakeLevelsTable(Params, levels, 65535);
    return m_toneTable.SetTable(levels);
}

bool CGrayCalibDoc::PrepareApply(const CDNGTranspose*, CAccessRGBImageByLab&,
                                 std::vector<std::string>*, double)
{
    return BuildToneTable();
}

bool CGrayCalibDoc::Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress, int)
{
    if (m_toneTable.IsEmpty() && !BuildToneTable())
        return false;

    const CRect region = rect ? *rect : CRect(0, 0, image.GetWidth(), image.GetHeight());
    if (region.left < 0 || region.top < 0 || region.right > image.GetWidth() ||
        region.bottom > image.GetHeight())
        return false;
    if (region.IsRectEmpty())
        return true;

    const CLockGammaTable lock(m_toneTable);
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
