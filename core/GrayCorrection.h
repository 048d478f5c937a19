#pragma once
// Grey correction of measured colours. A photographed chart's grey patches
// rarely share the chromaticity of the reference white: the camera and the
// light leave a tint that also changes with the level. The table holds, for
// every luminance level from 0.0 to 199.9 in steps of 0.1, the XYZ gains
// that turn a grey measured at that level into a grey of the white's
// chromaticity:
//
//     gain X(Y) = (Y / X of the grey at Y) * (Xw / Yw)
//     gain Y(Y) = 1
//     gain Z(Y) = (Y / Z of the grey at Y) * (Zw / Yw)
//
// with the grey's X and Z at levels between patches found by straight-line
// interpolation of the patch ratios (held flat beyond the darkest and the
// brightest usable patch). A grey P thus comes out as
// (P.Y * Xw / Yw, P.Y, P.Y * Zw / Yw).

#include "core/CIEColor.h"

#include <cstddef>
#include <span>
#include <vector>

class CGrayCorrection
{
public:
    // Number of table entries: levels 0.0 .. 199.9 in steps of 0.1.
    static constexpr int kTableSize = 2000;
    static constexpr double kLevelStep = 0.1;

    CGrayCorrection() = default;
    CGrayCorrection(const CGrayCorrection&) = default;
    CGrayCorrection& operator=(const CGrayCorrection&) = default;
    CGrayCorrection(CGrayCorrection&&) = default;
    CGrayCorrection& operator=(CGrayCorrection&&) = default;
    virtual ~CGrayCorrection() = default;

    // Builds the table from the reference white and the measured grey
    // patches (in chart order; of two patches with the same Y the first
    // counts). Patches whose Y is not above the threshold (5.0) are too
    // dark to carry a reliable tint and are passed by. False, with the
    // table left as it was, when no patch is usable.
    bool Build(const CCIEXYZ& white, std::span<const CCIEXYZ> patches);

    // Multiplies X, Y and Z by the gains of the level of xyz's Y (clamped
    // to 0 .. 199.9; NaN takes the first entry). Does nothing while the
    // table has never been built.
    void Apply(CCIEXYZ& xyz) const;

    // The entry Apply uses for a level: the level clamped to 0 .. 199.9
    // (NaN as 0) divided by 0.1 in double precision and truncated, so 0.3
    // (0.3 / 0.1 = 2.9999999999999996) takes entry 2.
    static std::size_t GetEntryIndex(double level);

    bool IsBuilt() const { return !m_table.empty(); }
    const std::vector<CCIEXYZ>& GetTable() const { return m_table; }
    const CCIEXYZ& GetReference() const { return m_reference; }
    int GetSelector() const { return m_selector; }
    double GetThreshold() const { return m_threshold; }

private:
    std::vector<CCIEXYZ> m_table;
    CCIEXYZ m_reference{1.0, 1.0, 1.0};
    int m_selector = 1; // the component of a colour that picks the entry: Y
    double m_threshold = 5.0;
};
