#include "core/GrayCorrection.h"

#include "core/Interpolation.h"

#include <algorithm>
#include <cstddef>
#include <utility>

bool CGrayCorrection::Build(const CCIEXYZ& white, std::span<const CCIEXYZ> patches)
{
    m_selector = 1;

    // Per channel, the ratio Y / channel of the grey as a function of Y.
    CInterpolation curveX;
    CInterpolation curveY;
    CInterpolation curveZ;
    bool any = false;
    for (const CCIEXYZ& p : patches)
    {
        const double Y = p[1];
        if (!(Y > m_threshold))
            continue;
        curveX.AddPoint(Y, Y / p[0]);
        curveY.AddPoint(Y, 1.0);
        curveZ.AddPoint(Y, Y / p[2]);
        any = true;
    }

    m_reference = CCIEXYZ(white[0] / white[1], 1.0, white[2] / white[1]);
    if (!any)
        return false;

    std::vector<CCIEXYZ> table;
    table.reserve(kTableSize);
    for (int i = 0; i < kTableSize; ++i)
    {
        const double level = i * kLevelStep;
        table.emplace_back(curveX.GetLinearValue(level) * m_reference[0],
                           curveY.GetLinearValue(level) * m_reference[1],
                           curveZ.GetLinearValue(level) * m_reference[2]);
    }
    m_table = std::move(table);
    return true;
}

std::size_t CGrayCorrection::GetEntryIndex(double level)
{
    constexpr double kMaxLevel = (kTableSize - 1) * kLevelStep; // 199.9
    double v = level;
    if (!(v > 0.0)) // also NaN
        v = 0.0;
    else if (v > kMaxLevel)
        v = kMaxLevel;
    // 199.9 / 0.1 rounds to exactly 1999; the bound only guards the cast.
    const std::size_t index = static_cast<std::size_t>(v / kLevelStep);
    return std::min<std::size_t>(index, kTableSize - 1);
}

void CGrayCorrection::Apply(CCIEXYZ& xyz) const
{
    if (m_table.empty())
        return;
    const CCIEXYZ& gain = m_table[GetEntryIndex(xyz[static_cast<std::size_t>(m_selector)])];
    xyz[0] *= gain[0];
    xyz[1] *= gain[1];
    xyz[2] *= gain[2];
}
