#include "correction/ColorChangeDoc.h"

#include "core/Clamp.h"
#include "core/ImageAccess.h"
#include "core/LabRowKernel.h"
#include "correction/LabRegion.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// The document's own value of pi.
constexpr double kPi = 3.14159265358;

constexpr std::string_view kSection = CBaseDoc::kColorChangeSection;

// Keys of one element: the element's index in three digits after the name.
std::string EntryKey(std::string_view prefix, int index, const char* suffix = "")
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", index);
    return std::string(prefix) + digits + suffix;
}

// The element's scalar values by name in its table.
constexpr const ParamDef<CLChRange>& kHendou = CColorChangeDoc::kEntryParamTable[0];
constexpr const ParamDef<CLChRange>& kEffectK = CColorChangeDoc::kEntryParamTable[1];
constexpr const ParamDef<CLChRange>& kRangeDeltaE = CColorChangeDoc::kEntryParamTable[2];

bool IsUnused(const CLChRange& entry)
{
    return entry.RectImage.right == entry.RectImage.left ||
           entry.RectImage.bottom == entry.RectImage.top;
}

// A colour of three doubles L, C, h; a missing key or a list that is not
// exactly three finite numbers gives (0, 0, 0).
CCIELCh ReadColour(const CParamFileReader& file, const std::string& key)
{
    static const std::vector<double> kZero{0.0, 0.0, 0.0};
    std::vector<double> values;
    file.GetDoubleList(kSection, key, kZero, values);
    return CCIELCh(values[0], values[1], values[2]);
}

bool WriteColour(CSaveDoc& save, const std::string& key, const CCIELCh& colour)
{
    const double values[3] = {colour[0], colour[1], colour[2]};
    return save.WriteDoubleList(key, values);
}

// Hue in degrees of (a, b), in [0, 360] (a tiny negative angle may round
// to 360 itself).
inline double HueDegrees(double a, double b)
{
    double h = std::atan2(b, a) * 180.0 / kPi;
    if (h < 0.0)
        h += 360.0;
    return h;
}

// max(0, 1 - (1 - K) d / deltaLength). K = 1 weighs every distance fully;
// a difference of length 0 has no fall-off to follow (and moves nothing).
inline double SoftWeight(double d, double k, double deltaLength)
{
    if (k == 1.0)
        return 1.0;
    if (!(deltaLength > 0.0))
        return 0.0;
    const double w = 1.0 - (1.0 - k) * d / deltaLength;
    return w > 0.0 ? w : 0.0;
}

using Box = ColorChangeBox;
using Zone = ColorChangeZone;

// Lab of the element's after colour minus Lab of its center, as the colour
// value types convert LCh.
CCIELab DeltaLab(const CLChRange& entry)
{
    const CCIELab after = entry.LChAfter.ToLab();
    const CCIELab center = entry.LChBeforCenter.ToLab();
    return CCIELab(after[0] - center[0], after[1] - center[1], after[2] - center[2]);
}

} // namespace

// ---------------------------------------------------------------------------
// The pixel loop's forms of the elements

ColorChangeBox::ColorChangeBox(const ColorChangeRecord& r)
    : minL(r.range.LChBeforMin[0]), maxL(r.range.LChBeforMax[0]), minC(r.range.LChBeforMin[1]),
      maxC(r.range.LChBeforMax[1]), minH(r.range.LChBeforMin[2]), maxH(r.range.LChBeforMax[2]),
      dL(r.deltaLab[0]), da(r.deltaLab[1]), db(r.deltaLab[2])
{}

ColorChangeZone::ColorChangeZone(const CLChRange& range, const CCIELab& delta, double length,
                                 double zoneReach)
    : dL(delta[0]), da(delta[1]), db(delta[2]), deltaLength(length), reach(zoneReach),
      k(range.HendouEffectK)
{
    const CCIELab center = CColorChangeDoc::LChToLab(range.LChBeforCenter);
    cL = center[0];
    ca = center[1];
    cb = center[2];
}

// ---------------------------------------------------------------------------
// Elements

void CColorChangeDoc::ResetEntry(CLChRange& entry)
{
    entry = CLChRange();
}

void CColorChangeDoc::CopyEntry(const CLChRange& source, CLChRange& destination)
{
    if (&source != &destination)
        destination = source;
}

void CColorChangeDoc::CopyEntries(std::span<const CLChRange, kEntryCount> source,
                                  std::span<CLChRange, kEntryCount> destination)
{
    for (std::size_t i = 0; i < source.size(); ++i)
        CopyEntry(source[i], destination[i]);
}

bool CColorChangeDoc::IsNearLCh(const CCIELCh& a, const CCIELCh& b)
{
    for (std::size_t i = 0; i < 3; ++i)
    {
        if (ClampToInteger(a[i] * 10.0, LLONG_MIN, LLONG_MAX) !=
            ClampToInteger(b[i] * 10.0, LLONG_MIN, LLONG_MAX))
            return false;
    }
    return true;
}

CCIELCh CColorChangeDoc::LabToLCh(const CCIELab& lab)
{
    const double a = lab[1];
    const double b = lab[2];
    return CCIELCh(lab[0], std::sqrt(a * a + b * b), HueDegrees(a, b));
}

CCIELab CColorChangeDoc::LChToLab(const CCIELCh& lch)
{
    const double h = lch[2] * kPi / 180.0;
    return CCIELab(lch[0], lch[1] * std::cos(h), lch[1] * std::sin(h));
}

double CColorChangeDoc::LabDistance(const CCIELab& p, const CCIELab& q)
{
    return CCIELab::DeltaE(p, q);
}

bool CColorChangeDoc::IsInLChRange(const CCIELCh& value, const CLChRange& entry)
{
    const ColorChangeRecord record{entry, CCIELab(), 0.0, 0.0};
    return Box(record).Holds(value[0], value[1], value[2]);
}

void CColorChangeDoc::WidenToCenter(CLChRange& entry)
{
    for (std::size_t i = 0; i < 2; ++i) // L and C
    {
        const double c = entry.LChBeforCenter[i];
        if (c < entry.LChBeforMin[i])
            entry.LChBeforMin[i] = c;
        else if (c > entry.LChBeforMax[i])
            entry.LChBeforMax[i] = c;
    }

    // The hue interval is stretched at the end nearer to the center, going
    // round the circle.
    double& m = entry.LChBeforMin[2];
    double& M = entry.LChBeforMax[2];
    const double c = entry.LChBeforCenter[2];
    if (m > M)
    {
        if (M < c && c < m)
        {
            if (m - c > c - M)
                M = c;
            else
                m = c;
        }
    }
    else if (c < m)
    {
        if (360.0 - M + c > m - c)
            m = c;
        else
            M = c;
    }
    else if (c > M)
    {
        if (360.0 - c + m > c - M)
            M = c;
        else
            m = c;
    }
}

double CColorChangeDoc::SoftReach(double k, double deltaLength)
{
    if (k == 1.0)
        return std::numeric_limits<double>::max();
    if (k < 0.0)
        return deltaLength * (k + 1.0);
    return deltaLength / (1.0 - k);
}

// ---------------------------------------------------------------------------
// Document

bool CColorChangeDoc::SameParams(const ColorChangeParams& x, const ColorChangeParams& y)
{
    for (int i = 0; i < kEntryCount; ++i)
    {
        const CLChRange& a = x.entries[static_cast<std::size_t>(i)];
        const CLChRange& b = y.entries[static_cast<std::size_t>(i)];
        if (!IsNearLCh(a.LChBeforMin, b.LChBeforMin) ||
            !IsNearLCh(a.LChBeforCenter, b.LChBeforCenter) ||
            !IsNearLCh(a.LChBeforMax, b.LChBeforMax) || !IsNearLCh(a.LChAfter, b.LChAfter) ||
            a.Hendou != b.Hendou || a.RectData != b.RectData || a.RectImage != b.RectImage ||
            !IsNearLCh(a.LChSetting, b.LChSetting) || a.HendouEffectK != b.HendouEffectK ||
            a.HendouRangeDeltaE != b.HendouRangeDeltaE)
            return false;
    }
    return true;
}

std::string CColorChangeDoc::GetSectionName() const
{
    return std::string(kSection);
}

void CColorChangeDoc::GetTileSize(int& width, int& height) const
{
    width = kTileWidth;
    height = kTileHeight;
}

const CLChRange& CColorChangeDoc::GetEntry(int index) const
{
    return m_params.entries[static_cast<std::size_t>(std::clamp(index, 0, kEntryCount - 1))];
}

bool CColorChangeDoc::SetEntry(int index, const CLChRange& entry)
{
    if (index < 0 || index >= kEntryCount)
        return false;
    CopyEntry(entry, m_params.entries[static_cast<std::size_t>(index)]);
    DropPrepared();
    return true;
}

void CColorChangeDoc::SetActiveElement(int index)
{
    m_params.activeElement =
        static_cast<std::int16_t>(index >= 0 && index < kEntryCount ? index : -1);
}

bool CColorChangeDoc::LoadParams(const CParamFileReader& file)
{
    if (!CBaseDoc::LoadParams(file))
        return false;
    for (int i = 0; i < kEntryCount; ++i)
    {
        CLChRange& e = m_params.entries[static_cast<std::size_t>(i)];
        CLChRange read;
        read.LChBeforMin = ReadColour(file, EntryKey("LChBeforMin", i));
        read.LChBeforCenter = ReadColour(file, EntryKey("LChBeforCenter", i));
        read.LChBeforMax = ReadColour(file, EntryKey("LChBeforMax", i));
        read.LChAfter = ReadColour(file, EntryKey("LChAfter", i));
        ReadParam(file, kSection, kHendou, read, EntryKey(kHendou.key, i));
        read.RectData.left = file.GetInt(kSection, EntryKey("RectData", i, "Left"), 0);
        read.RectData.top = file.GetInt(kSection, EntryKey("RectData", i, "Top"), 0);
        read.RectData.right = file.GetInt(kSection, EntryKey("RectData", i, "Right"), 0);
        read.RectData.bottom = file.GetInt(kSection, EntryKey("RectData", i, "Bottom"), 0);
        read.RectImage.left = file.GetInt(kSection, EntryKey("RectImage", i, "Left"), 0);
        read.RectImage.top = file.GetInt(kSection, EntryKey("RectImage", i, "Top"), 0);
        read.RectImage.right = file.GetInt(kSection, EntryKey("RectImage", i, "Right"), 0);
        read.RectImage.bottom = file.GetInt(kSection, EntryKey("RectImage", i, "Bottom"), 0);
        read.LChSetting = ReadColour(file, EntryKey("LChSetting", i));
        ReadParam(file, kSection, kEffectK, read, EntryKey(kEffectK.key, i));
        ReadParam(file, kSection, kRangeDeltaE, read, EntryKey(kRangeDeltaE.key, i));
        // Whether a soft zone takes part is the panel's, not the file's.
        read.enabled = e.enabled;
        e = read;
    }
    DropPrepared();
    return true;
}

bool CColorChangeDoc::SaveParams(CParamFileWriter& file) const
{
    if (!CBaseDoc::SaveParams(file))
        return false;
    CSaveDoc save(file);
    bool ok = true;
    for (int i = 0; i < kEntryCount; ++i)
    {
        const CLChRange& e = m_params.entries[static_cast<std::size_t>(i)];
        ok = WriteColour(save, EntryKey("LChBeforMin", i), e.LChBeforMin) && ok;
        ok = WriteColour(save, EntryKey("LChBeforCenter", i), e.LChBeforCenter) && ok;
        ok = WriteColour(save, EntryKey("LChBeforMax", i), e.LChBeforMax) && ok;
        ok = WriteColour(save, EntryKey("LChAfter", i), e.LChAfter) && ok;
        ok = WriteParam(save, kHendou, e, EntryKey(kHendou.key, i)) && ok;
        ok = save.WriteInt(EntryKey("RectData", i, "Left"), e.RectData.left) && ok;
        ok = save.WriteInt(EntryKey("RectData", i, "Top"), e.RectData.top) && ok;
        ok = save.WriteInt(EntryKey("RectData", i, "Right"), e.RectData.right) && ok;
        ok = save.WriteInt(EntryKey("RectData", i, "Bottom"), e.RectData.bottom) && ok;
        ok = save.WriteInt(EntryKey("RectImage", i, "Left"), e.RectImage.left) && ok;
        ok = save.WriteInt(EntryKey("RectImage", i, "Top"), e.RectImage.top) && ok;
        ok = save.WriteInt(EntryKey("RectImage", i, "Right"), e.RectImage.right) && ok;
        ok = save.WriteInt(EntryKey("RectImage", i, "Bottom"), e.RectImage.bottom) && ok;
        ok = WriteColour(save, EntryKey("LChSetting", i), e.LChSetting) && ok;
        ok = WriteParam(save, kEffectK, e, EntryKey(kEffectK.key, i)) && ok;
        ok = WriteParam(save, kRangeDeltaE, e, EntryKey(kRangeDeltaE.key, i)) && ok;
    }
    return ok;
}

bool CColorChangeDoc::PrepareApply(const CDNGTranspose*, CAccessRGBImageByLab&,
                                   std::vector<std::string>*, double)
{
    DropPrepared();
    for (CLChRange& entry : m_params.entries)
    {
        if (IsUnused(entry))
            continue;
        entry.enabled = 1;
        ChangeRecord record;
        record.range = entry;
        if (entry.Hendou != 0)
            WidenToCenter(record.range);
        record.deltaLab = DeltaLab(entry);
        record.deltaLength = record.deltaLab.Norm();
        if (entry.Hendou == 0)
        {
            record.reach = 0.0;
            m_prepared.plainChanges.push_back(record);
        }
        else
        {
            record.reach = SoftReach(entry.HendouEffectK, record.deltaLength);
            m_prepared.rangeChanges.push_back(record);
        }
    }

    // The pixel loop's forms: every hard range, and the soft zones that
    // move something (one whose center stays where it is does not).
    ColorChangePrepared& p = m_prepared;
    p.boxes.reserve(p.plainChanges.size());
    for (const ChangeRecord& r : p.plainChanges)
        p.boxes.emplace_back(r);
    for (const ChangeRecord& r : p.rangeChanges)
    {
        if (r.range.enabled != 0 && r.deltaLength != 0.0)
            p.zones.emplace_back(r.range, r.deltaLab, r.deltaLength, r.reach);
    }
    return true;
}

bool CColorChangeDoc::Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress,
                            int mode) const
{
    const CLabRowKernel kernel(image);
    const int active = m_params.activeElement;

    // Each pixel to Lab and, when the work changed it, back.
    auto runRows = [&](auto&& work) {
        return RunLabRegion(image, rect, kernel, progress,
                            [&](double& L, double& a, double& b) -> bool { return work(L, a, b); });
    };

    if (mode == 2 && active >= 0 && active < kEntryCount)
    {
        // The selection of the chosen element, its own range unwidened.
        const CLChRange& e = m_params.entries[static_cast<std::size_t>(active)];
        const CCIELab delta = DeltaLab(e);
        const double length = delta.Norm();
        const double reach = e.Hendou != 0 ? SoftReach(e.HendouEffectK, length) : 0.0;
        const Zone zone(e, delta, length, reach);
        const Box box(ChangeRecord{e, delta, length, reach});
        const bool soft = e.Hendou != 0;
        const bool zoneOn = e.enabled != 0;
        return runRows([&](double& L, double& a, double& b) {
            if (soft)
            {
                const double d = zone.Distance(L, a, b);
                if (d < zone.reach && zoneOn)
                {
                    L = 100.0 * SoftWeight(d, zone.k, zone.deltaLength);
                    a = 0.0;
                    b = 100.0;
                    return true;
                }
            }
            else if (box.Holds(L, std::sqrt(a * a + b * b), HueDegrees(a, b)))
            {
                L = 100.0;
                a = 0.0;
                b = 100.0;
                return true;
            }
            L *= 0.5;
            a *= 0.1;
            b *= 0.1;
            return true;
        });
    }

    const std::vector<Box>& boxes = m_prepared.boxes;
    const std::vector<Zone>& zones = m_prepared.zones;
    if (boxes.empty() && zones.empty())
        return CBaseDoc::Apply(image, rect, progress, mode);

    return runRows([&](double& L, double& a, double& b) {
        bool changed = false;
        if (!boxes.empty())
        {
            // Only the last box that holds the pixel moves it.
            const double C = std::sqrt(a * a + b * b);
            const double h = HueDegrees(a, b);
            const Box* hit = nullptr;
            for (const Box& box : boxes)
            {
                if (box.Holds(L, C, h))
                    hit = &box;
            }
            if (hit && (hit->dL != 0.0 || hit->da != 0.0 || hit->db != 0.0))
            {
                L += hit->dL;
                a += hit->da;
                b += hit->db;
                changed = true;
            }
        }
        for (const Zone& zone : zones)
        {
            const double d = zone.Distance(L, a, b);
            if (zone.reach > d)
            {
                const double w = SoftWeight(d, zone.k, zone.deltaLength);
                if (w > 0.0)
                {
                    L += zone.dL * w;
                    a += zone.da * w;
                    b += zone.db * w;
                    changed = true;
                }
            }
        }
        return changed;
    });
}
