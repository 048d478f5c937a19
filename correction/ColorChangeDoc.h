#pragma once
// The chosen-colour step (slot 6): up to ten correction elements, each a
// colour picked on the image (its LCh "center"), a range of colours around
// it and the colour the center is to become ("after"). Every pixel in an
// element's range moves by the element's Lab difference
//     delta = Lab(after) - Lab(center),   |delta| = deltaLength.
//
// The range is either
// - hard (Hendou 0): an LCh box LChBeforMin..LChBeforMax, the hue interval
//   running through 0 degrees when its maximum is below its minimum. Of all
//   hard boxes holding a pixel only the last (in element order) moves it,
//   by its full delta; or
// - soft (Hendou non-zero): a zone round the center whose fall-off follows
//   the effect factor K. A pixel at Lab distance d from the center moves by
//       w delta,   w = max(0, 1 - (1 - K) d / deltaLength),
//   while d is below the reach: deltaLength / (1 - K) for 0 <= K < 1 (where
//   w reaches 0), deltaLength (K + 1) for K < 0 (a cut-off before w falls to
//   0), and no limit for K = 1 (w = 1 everywhere). Soft zones act one after
//   the other, each on the colour the previous ones left.
// An element whose image rectangle (RectImage) is empty takes no part.
//
// With mode 2 and a chosen element, Apply shows that element's selection
// instead of correcting: selected pixels become a yellow of lightness
// 100 w, all others are dimmed.
//
// Hue arithmetic takes pi as 3.14159265358, as the colour value types do.

#include "core/CIEColor.h"
#include "core/Rect.h"
#include "correction/BaseDoc.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

// One correction element (LCh values are L, C, h with h in degrees).
struct CLChRange
{
    CCIELCh LChBeforMin;             // lower corner of the hard range
    CCIELCh LChBeforCenter;          // the picked colour
    CCIELCh LChBeforMax;             // upper corner of the hard range
    CCIELCh LChAfter;                // what the center becomes
    int Hendou = 0;                  // 0: hard LCh range; non-zero: soft zone round the center
    CRect RectData;                  // sample rectangle kept for the panel
    CRect RectImage;                 // where on the image the colour was picked; empty: unused
    CCIELCh LChSetting;              // colour setting kept for the panel
    double HendouEffectK = 0.0;      // K of the soft zone (1: unbounded reach)
    double HendouRangeDeltaE = 20.0; // colour-difference range kept for the panel
    int enabled = 1;                 // non-zero: the soft zone takes part

    bool operator==(const CLChRange&) const = default;
};

// The persisted elements, and the element chosen in the panel (copied with
// the document, neither saved nor compared).
struct ColorChangeParams
{
    static constexpr int kEntryCount = 10;

    std::array<CLChRange, kEntryCount> entries;
    std::int16_t activeElement = -1;

    bool operator==(const ColorChangeParams&) const = default;
};

// A prepared element: a copy of it (a soft zone's box widened to hold its
// center), its Lab difference and the reach of the soft zone.
struct ColorChangeRecord
{
    CLChRange range;
    CCIELab deltaLab;
    double deltaLength = 0.0;
    double reach = 0.0;
};

// The pixel loop's copy of a hard range: the box and its difference.
struct ColorChangeBox
{
    double minL, maxL, minC, maxC, minH, maxH;
    double dL, da, db;

    explicit ColorChangeBox(const ColorChangeRecord& r);

    bool Holds(double L, double C, double h) const
    {
        if (L < minL || L > maxL || C < minC || C > maxC)
            return false;
        if (maxH < minH)
            return h >= minH || h <= maxH;
        return minH <= h && h <= maxH;
    }
};

// The pixel loop's copy of a soft zone: center (Lab), difference, reach.
struct ColorChangeZone
{
    double cL, ca, cb;
    double dL, da, db;
    double deltaLength, reach, k;

    ColorChangeZone(const CLChRange& range, const CCIELab& delta, double length, double zoneReach);

    double Distance(double L, double a, double b) const
    {
        const double x = L - cL;
        const double y = a - ca;
        const double z = b - cb;
        return std::sqrt(x * x + y * y + z * z);
    }
};

// The change records of the elements in use, hard ranges and soft zones,
// and their forms for the pixel loop.
struct ColorChangePrepared
{
    std::vector<ColorChangeRecord> plainChanges;
    std::vector<ColorChangeRecord> rangeChanges;
    std::vector<ColorChangeBox> boxes;
    std::vector<ColorChangeZone> zones;
};

class CColorChangeDoc : public CDocOf<CColorChangeDoc, ColorChangeParams, ColorChangePrepared>
{
public:
    static constexpr int kEntryCount = ColorChangeParams::kEntryCount;
    static constexpr int kTileWidth = 128;
    static constexpr int kTileHeight = 64;

    // The scalar values of one element, each keyed by its name and the
    // element's index in three digits ("Hendou003"); in the file they stand
    // among the element's colours and rectangles (see SaveParams). Any value
    // that parses is kept.
    static constexpr ParamDef<CLChRange> kEntryParamTable[] = {
        {"Hendou", &CLChRange::Hendou, 0, 0, 1, ParamRead::AnyValue},
        {"HendouEffectK", &CLChRange::HendouEffectK, 0.0, std::numeric_limits<double>::lowest(),
         1.0, ParamRead::AnyValue},
        {"HendouRangeDeltaE", &CLChRange::HendouRangeDeltaE, 20.0, 0.0,
         std::numeric_limits<double>::max(), ParamRead::AnyValue},
    };
    // The document's own record has no scalar of its own.
    static constexpr std::span<const ParamDef<ColorChangeParams>> kParamTable{};

    using ChangeRecord = ColorChangeRecord;

    CColorChangeDoc() = default;

    // For every element: the four range colours and LChSetting equal to a
    // tenth (IsNearLCh), Hendou and both rectangles equal, HendouEffectK
    // and HendouRangeDeltaE exactly equal. enabled and the chosen element
    // are not compared.
    static bool SameParams(const ColorChangeParams& a, const ColorChangeParams& b);

    bool LoadParams(const CParamFileReader& file) override;
    bool SaveParams(CParamFileWriter& file) const override;
    std::string GetSectionName() const override;
    // 128 x 64.
    void GetTileSize(int& width, int& height) const override;

    // Builds the change records of the elements in use (and marks those
    // elements enabled). The elements' own ranges stay as they are: only
    // the records are widened. Always true.
    bool PrepareApply(const CDNGTranspose* raw, CAccessRGBImageByLab& source,
                      std::vector<std::string>* details, double scale) override;

    // Corrects the rectangle (null: the whole image) in place, or with mode
    // 2 and a chosen element shows its selection. Rows are spread over the
    // step threads. False when progress asked to stop.
    bool Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress,
               int mode) const override;

    std::span<const CLChRange, kEntryCount> GetEntries() const { return m_params.entries; }
    // The element at index, held inside 0..9.
    const CLChRange& GetEntry(int index) const;
    // False (nothing changed) for an index outside 0..9.
    bool SetEntry(int index, const CLChRange& entry);

    // The element chosen in the panel, -1 for none. Anything outside -1..9
    // is taken as none.
    int GetActiveElement() const { return m_params.activeElement; }
    void SetActiveElement(int index);

    // Prepared state (empty until PrepareApply).
    const std::vector<ChangeRecord>& GetPlainChanges() const { return m_prepared.plainChanges; }
    const std::vector<ChangeRecord>& GetRangeChanges() const { return m_prepared.rangeChanges; }

    static void ResetEntry(CLChRange& entry);
    static void CopyEntry(const CLChRange& source, CLChRange& destination);
    static void CopyEntries(std::span<const CLChRange, kEntryCount> source,
                            std::span<CLChRange, kEntryCount> destination);
    // L, C and h equal after multiplying by 10 and truncating.
    static bool IsNearLCh(const CCIELCh& a, const CCIELCh& b);

    // The document's colour helpers: C = sqrt(a^2 + b^2), h = atan2(b, a)
    // in degrees plus 360 when negative; and back.
    static CCIELCh LabToLCh(const CCIELab& lab);
    static CCIELab LChToLab(const CCIELCh& lch);
    static double LabDistance(const CCIELab& p, const CCIELab& q);
    // Inside the element's box: L and C within [min, max]; the hue within
    // [min, max], or outside (max, min) when max < min (through 0 degrees).
    static bool IsInLChRange(const CCIELCh& value, const CLChRange& entry);
    // The element's box widened to hold its center (the soft zone's rule):
    // L and C stretch to the center; a hue outside the interval moves the
    // nearer end of it (the shorter way round) onto the center.
    static void WidenToCenter(CLChRange& entry);
    // Distance limit of a soft zone of effect factor K whose difference has
    // length deltaLength (the largest double for K = 1).
    static double SoftReach(double k, double deltaLength);
};
