#include "core/LabRowKernel.h"

#include "core/ImageAccess.h"
#include "core/StdMatrix.h"

#include <vector>

std::array<double, 9> MatrixCoefficients(const CStdMatrix& m)
{
    if (m.GetRows() != 3 || m.GetCols() != 3)
        return {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const std::vector<double>& data = m.GetData();
    std::array<double, 9> out{};
    for (std::size_t i = 0; i < 9; ++i)
        out[i] = data[i];
    return out;
}

CLabRowKernel::CLabRowKernel(const CPow1by3Table& table, const CStdMatrix& rgbToXyz,
                             const CStdMatrix& xyzToRgb, const CCIEXYZ& white)
    : m_roots(table.GetEntries().data()), m_valueScale(table.GetValueScale()),
      m_indexScale(table.GetIndexScale()), m_toXyz(MatrixCoefficients(rgbToXyz)),
      m_toRgb(MatrixCoefficients(xyzToRgb))
{
    for (std::size_t i = 0; i < 3; ++i)
    {
        m_white[i] = white[i];
        m_invWhite[i] = 1.0 / white[i];
    }
}

CLabRowKernel::CLabRowKernel(const CAccessRGBImageByLab& access)
    : CLabRowKernel(GetPow1by3Table(), access.GetRGBToXYZ(), access.GetXYZToRGB(),
                    access.GetWhite())
{}

CLabRowKernel::CLabRowKernel(const CAccessRGBImageByLab& access, const CCIEXYZ& gain)
    : CLabRowKernel(access)
{
    for (std::size_t i = 0; i < 3; ++i)
        m_gain[i] = gain[i];
}
