#include "correction/LabRowKernel.h"

#include <vector>

namespace {

// A matrix that is not 3x3 acts as the identity, as in the accessor.
std::array<double, 9> Coefficients(const CStdMatrix& m)
{
    if (m.GetRows() != 3 || m.GetCols() != 3)
        return {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const std::vector<double>& data = m.GetData();
    std::array<double, 9> out{};
    for (std::size_t i = 0; i < 9; ++i)
        out[i] = data[i];
    return out;
}

} // namespace

CLabRowKernel::CLabRowKernel(const CAccessRGBImageByLab& access)
    : m_roots(GetPow1by3Table().GetEntries().data()),
      m_valueScale(GetPow1by3Table().GetValueScale()),
      m_indexScale(GetPow1by3Table().GetIndexScale()), m_toXyz(Coefficients(access.GetRGBToXYZ())),
      m_toRgb(Coefficients(access.GetXYZToRGB()))
{
    const CCIEXYZ& white = access.GetWhite();
    for (std::size_t i = 0; i < 3; ++i)
    {
        m_white[i] = white[i];
        m_invWhite[i] = 1.0 / white[i];
    }
}

CLabRowKernel::CLabRowKernel(const CAccessRGBImageByLab& access, const CCIEXYZ& gain)
    : CLabRowKernel(access)
{
    for (std::size_t i = 0; i < 3; ++i)
        m_gain[i] = gain[i];
}
