#include "core/StdMatrix.h"

#include "core/CIEColor.h"
#include "core/Clamp.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <utility>

namespace {

// A zero pivot is replaced by this small value so that the decomposition can
// go on; the inverse of such a matrix is then finite (if large) instead of
// infinite.
constexpr double kZeroPivotSubstitute = 0.00001;

// Element i of v, or 0 when v is too short (a caller error that asserts).
double Component(const CStdVector& v, std::size_t i)
{
    return i < v.GetSize() ? v[i] : 0.0;
}

// Stores three components; a vector of another size is resized to three.
void Store3(CStdVector& v, double a, double b, double c)
{
    if (v.GetSize() == 3)
    {
        v[0] = a;
        v[1] = b;
        v[2] = c;
    }
    else
    {
        const std::array<double, 3> values{a, b, c};
        v.SetData(values);
    }
}

// The nine coefficients of a 3x3 matrix hoisted into locals for the pixel
// loops; a matrix of any other shape gives the identity.
struct Coeffs3x3
{
    double m00, m01, m02, m10, m11, m12, m20, m21, m22;

    explicit Coeffs3x3(const CStdMatrix& m)
    {
        if (m.GetRows() == 3 && m.GetCols() == 3)
        {
            const std::vector<double>& d = m.GetData();
            m00 = d[0], m01 = d[1], m02 = d[2];
            m10 = d[3], m11 = d[4], m12 = d[5];
            m20 = d[6], m21 = d[7], m22 = d[8];
        }
        else
        {
            m00 = 1, m01 = 0, m02 = 0;
            m10 = 0, m11 = 1, m12 = 0;
            m20 = 0, m21 = 0, m22 = 1;
        }
    }
};

} // namespace

// --- CStdMatrix ------------------------------------------------------------

CStdMatrix::CStdMatrix(std::uint32_t rows, std::uint32_t cols)
{
    if (rows == 0 || cols == 0)
        return;
    m_rows = rows;
    m_cols = cols;
    m_data.assign(static_cast<std::size_t>(rows) * cols, 0.0);
}

CStdMatrix::CStdMatrix(std::uint32_t rows, std::uint32_t cols, std::span<const double> data)
    : CStdMatrix(rows, cols)
{
    assert(data.size() >= m_data.size() && "CStdMatrix: too few elements for the size");
    std::copy_n(data.begin(), std::min(data.size(), m_data.size()), m_data.begin());
}

CStdMatrix::CStdMatrix(std::uint32_t rows, std::uint32_t cols, std::initializer_list<double> data)
    : CStdMatrix(rows, cols, std::span<const double>(data.begin(), data.size()))
{
}

CStdMatrix::CStdMatrix(double m00, double m01, double m02, double m10, double m11, double m12,
                       double m20, double m21, double m22)
    : m_data{m00, m01, m02, m10, m11, m12, m20, m21, m22}, m_rows(3), m_cols(3)
{
}

CStdMatrix::CStdMatrix(const CStdVector& diagonal)
{
    const std::size_t n = diagonal.GetSize();
    if (n == 0)
        return;
    m_rows = m_cols = static_cast<std::uint32_t>(n);
    m_data.assign(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        m_data[i * n + i] = diagonal[i];
}

CStdMatrix CStdMatrix::Identity(std::uint32_t n)
{
    CStdMatrix m(n, n);
    for (std::uint32_t i = 0; i < m.m_rows; ++i)
        m.m_data[static_cast<std::size_t>(i) * m.m_cols + i] = 1.0;
    return m;
}

double CStdMatrix::GetAt(std::uint32_t row, std::uint32_t col) const
{
    assert(row < m_rows && col < m_cols);
    if (row >= m_rows || col >= m_cols)
        return 0.0;
    return m_data[static_cast<std::size_t>(row) * m_cols + col];
}

void CStdMatrix::SetAt(std::uint32_t row, std::uint32_t col, double value)
{
    assert(row < m_rows && col < m_cols);
    if (row >= m_rows || col >= m_cols)
        return;
    m_data[static_cast<std::size_t>(row) * m_cols + col] = value;
    m_decomposed = false;
}

void CStdMatrix::SwapElements(std::uint32_t row1, std::uint32_t col1, std::uint32_t row2,
                              std::uint32_t col2)
{
    assert(row1 < m_rows && col1 < m_cols && row2 < m_rows && col2 < m_cols);
    if (row1 >= m_rows || col1 >= m_cols || row2 >= m_rows || col2 >= m_cols)
        return;
    std::swap(m_data[static_cast<std::size_t>(row1) * m_cols + col1],
              m_data[static_cast<std::size_t>(row2) * m_cols + col2]);
    m_decomposed = false;
}

CStdMatrix CStdMatrix::operator+(const CStdMatrix& other) const
{
    assert(m_rows == other.m_rows && m_cols == other.m_cols && "matrix sum of different shapes");
    CStdMatrix result(m_rows, m_cols, m_data);
    const std::uint32_t rows = std::min(m_rows, other.m_rows);
    const std::uint32_t cols = std::min(m_cols, other.m_cols);
    for (std::uint32_t r = 0; r < rows; ++r)
        for (std::uint32_t c = 0; c < cols; ++c)
            result.m_data[static_cast<std::size_t>(r) * m_cols + c] +=
                other.m_data[static_cast<std::size_t>(r) * other.m_cols + c];
    return result;
}

CStdMatrix CStdMatrix::operator*(const CStdMatrix& other) const
{
    assert(m_cols == other.m_rows && "matrix product of mismatched shapes");
    const std::uint32_t inner = std::min(m_cols, other.m_rows);
    CStdMatrix result(m_rows, other.m_cols);
    for (std::uint32_t i = 0; i < result.m_rows; ++i)
    {
        const double* row = &m_data[static_cast<std::size_t>(i) * m_cols];
        for (std::uint32_t j = 0; j < result.m_cols; ++j)
        {
            double sum = 0.0;
            for (std::uint32_t k = 0; k < inner; ++k)
                sum += row[k] * other.m_data[static_cast<std::size_t>(k) * other.m_cols + j];
            result.m_data[static_cast<std::size_t>(i) * result.m_cols + j] = sum;
        }
    }
    return result;
}

CStdMatrix& CStdMatrix::operator*=(const CStdMatrix& other)
{
    CStdMatrix product = *this * other;
    m_data = std::move(product.m_data);
    m_rows = product.m_rows;
    m_cols = product.m_cols;
    m_decomposed = false;
    return *this;
}

CStdMatrix CStdMatrix::operator*(double k) const
{
    CStdMatrix result(m_rows, m_cols, m_data);
    result *= k;
    return result;
}

CStdMatrix& CStdMatrix::operator*=(double k)
{
    for (double& e : m_data)
        e *= k;
    m_decomposed = false;
    return *this;
}

CStdMatrix CStdMatrix::operator/(double k) const
{
    CStdMatrix result(m_rows, m_cols, m_data);
    result /= k;
    return result;
}

CStdMatrix& CStdMatrix::operator/=(double k)
{
    for (double& e : m_data)
        e /= k;
    m_decomposed = false;
    return *this;
}

CStdVector CStdMatrix::MultiplyVector(const CStdVector& v) const
{
    assert(v.GetSize() >= m_cols && "MultiplyVector: vector shorter than the row length");
    const std::size_t n = std::min<std::size_t>(m_cols, v.GetSize());
    CStdVector result(m_rows);
    for (std::uint32_t i = 0; i < m_rows; ++i)
    {
        const double* row = &m_data[static_cast<std::size_t>(i) * m_cols];
        double sum = 0.0;
        for (std::size_t j = 0; j < n; ++j)
            sum += row[j] * v[j];
        result[i] = sum;
    }
    return result;
}

CStdMatrix CStdMatrix::Transpose() const
{
    CStdMatrix result(m_cols, m_rows);
    for (std::uint32_t r = 0; r < m_rows; ++r)
        for (std::uint32_t c = 0; c < m_cols; ++c)
            result.m_data[static_cast<std::size_t>(c) * m_rows + r] =
                m_data[static_cast<std::size_t>(r) * m_cols + c];
    return result;
}

CStdVector CStdMatrix::GetRow(std::uint32_t row) const
{
    assert(row < m_rows);
    if (row >= m_rows)
        return CStdVector();
    const auto first = m_data.begin() + static_cast<std::ptrdiff_t>(row) * m_cols;
    return CStdVector(std::vector<double>(first, first + m_cols));
}

CStdVector CStdMatrix::GetColumn(std::uint32_t col) const
{
    assert(col < m_cols);
    if (col >= m_cols)
        return CStdVector();
    CStdVector result(m_rows);
    for (std::uint32_t r = 0; r < m_rows; ++r)
        result[r] = m_data[static_cast<std::size_t>(r) * m_cols + col];
    return result;
}

void CStdMatrix::AppendColumn(const CStdVector& v)
{
    m_decomposed = false;
    if (m_cols == 0)
    {
        const std::vector<double> column = v.GetData();
        *this = CStdMatrix(static_cast<std::uint32_t>(column.size()), 1, column);
        return;
    }
    assert(v.GetSize() == m_rows && "AppendColumn: column length differs from the row count");
    std::vector<double> data;
    data.reserve(static_cast<std::size_t>(m_rows) * (m_cols + 1));
    for (std::uint32_t r = 0; r < m_rows; ++r)
    {
        const auto first = m_data.begin() + static_cast<std::ptrdiff_t>(r) * m_cols;
        data.insert(data.end(), first, first + m_cols);
        data.push_back(Component(v, r));
    }
    m_data = std::move(data);
    ++m_cols;
}

// Crout's method: A = L U with a unit diagonal in L, both stored in place of A
// (L below the diagonal, U on and above it), rows reordered by partial
// pivoting. Pivoting is implicit: each candidate is weighed by the reciprocal
// of its row's largest element, so that a row scaled by a large factor does
// not win the pivot merely by being large.
double CStdMatrix::LUDecompose()
{
    m_decomposed = false;
    const std::uint32_t n = m_rows;
    if (n == 0 || m_cols != n)
        return 0.0;

    // The singular test comes first, so that a failed decomposition changes
    // nothing at all (not even the permutation).
    std::vector<double> scale(n);
    for (std::uint32_t i = 0; i < n; ++i)
    {
        double largest = 0.0;
        for (std::uint32_t j = 0; j < n; ++j)
            largest = std::max(largest, std::fabs(m_data[static_cast<std::size_t>(i) * n + j]));
        if (largest == 0.0)
            return 0.0;
        scale[i] = 1.0 / largest;
    }

    m_permutation.resize(n);
    for (std::uint32_t i = 0; i < n; ++i)
        m_permutation[i] = static_cast<double>(i);

    auto a = [this, n](std::uint32_t r, std::uint32_t c) -> double&
    { return m_data[static_cast<std::size_t>(r) * n + c]; };

    double parity = 1.0;
    for (std::uint32_t j = 0; j < n; ++j)
    {
        for (std::uint32_t i = 0; i < j; ++i)
        {
            double sum = a(i, j);
            for (std::uint32_t k = 0; k < i; ++k)
                sum -= a(i, k) * a(k, j);
            a(i, j) = sum;
        }

        // Among the rows from j down, the largest scaled candidate becomes the
        // pivot; on a tie the later row wins.
        double largest = 0.0;
        std::uint32_t pivotRow = j;
        for (std::uint32_t i = j; i < n; ++i)
        {
            double sum = a(i, j);
            for (std::uint32_t k = 0; k < j; ++k)
                sum -= a(i, k) * a(k, j);
            a(i, j) = sum;
            const double weighed = scale[i] * std::fabs(sum);
            if (weighed >= largest)
            {
                largest = weighed;
                pivotRow = i;
            }
        }

        if (pivotRow != j)
        {
            for (std::uint32_t k = 0; k < n; ++k)
                std::swap(a(pivotRow, k), a(j, k));
            parity = -parity;
            std::swap(scale[pivotRow], scale[j]);
            std::swap(m_permutation[pivotRow], m_permutation[j]);
        }

        if (a(j, j) == 0.0)
            a(j, j) = kZeroPivotSubstitute;

        if (j + 1 < n)
        {
            const double pivot = a(j, j);
            for (std::uint32_t i = j + 1; i < n; ++i)
                a(i, j) /= pivot;
        }
    }

    m_decomposed = true;
    return parity;
}

bool CStdMatrix::LUBackSubstitute(std::span<double> b) const
{
    const std::uint32_t n = m_rows;
    if (!m_decomposed || n == 0 || m_cols != n || m_permutation.size() != n || b.size() < n)
        return false;

    auto a = [this, n](std::uint32_t r, std::uint32_t c)
    { return m_data[static_cast<std::size_t>(r) * n + c]; };

    std::vector<double> x(n);
    for (std::uint32_t i = 0; i < n; ++i)
    {
        // Whole numbers stored as doubles; ClampToInteger keeps a damaged
        // entry inside the vector.
        const auto from = static_cast<std::size_t>(ClampToInteger(m_permutation[i], 0, n - 1));
        x[i] = b[from];
    }

    // Forward substitution with L (unit diagonal). Leading zeros of x stay
    // zero, so the sums start at the first non-zero entry.
    bool started = false;
    std::uint32_t first = 0;
    for (std::uint32_t i = 0; i < n; ++i)
    {
        double sum = x[i];
        if (started)
        {
            for (std::uint32_t k = first; k < i; ++k)
                sum -= a(i, k) * x[k];
        }
        else if (sum != 0.0)
        {
            started = true;
            first = i;
        }
        x[i] = sum;
    }

    // Back substitution with U.
    for (std::uint32_t i = n; i-- > 0;)
    {
        double sum = x[i];
        for (std::uint32_t k = i + 1; k < n; ++k)
            sum -= a(i, k) * x[k];
        x[i] = sum / a(i, i);
    }

    std::copy(x.begin(), x.end(), b.begin());
    return true;
}

// Column j of the inverse solves A x = e_j with the factors of A.
bool CStdMatrix::Invert()
{
    if (LUDecompose() == 0.0)
        return false;

    const std::uint32_t n = m_rows;
    std::vector<double> inverse(static_cast<std::size_t>(n) * n);
    std::vector<double> column(n);
    for (std::uint32_t j = 0; j < n; ++j)
    {
        std::fill(column.begin(), column.end(), 0.0);
        column[j] = 1.0;
        LUBackSubstitute(column);
        for (std::uint32_t i = 0; i < n; ++i)
            inverse[static_cast<std::size_t>(i) * n + j] = column[i];
    }
    m_data = std::move(inverse);
    // The elements are now the inverse, no longer the factors.
    m_decomposed = false;
    return true;
}

void CStdMatrix::Transform(const CStdVector* src, CStdVector* dst, std::size_t count) const
{
    if (m_rows != 3 || m_cols != 3)
        return;
    const Coeffs3x3 m(*this);
    for (std::size_t k = 0; k < count; ++k)
    {
        assert(src[k].GetSize() >= 3);
        const double v0 = Component(src[k], 0);
        const double v1 = Component(src[k], 1);
        const double v2 = Component(src[k], 2);
        Store3(dst[k], m.m00 * v0 + m.m01 * v1 + m.m02 * v2, m.m10 * v0 + m.m11 * v1 + m.m12 * v2,
               m.m20 * v0 + m.m21 * v1 + m.m22 * v2);
    }
}

CStdVector Multiply3x3(const CStdMatrix& m, const CStdVector& v)
{
    const std::vector<double>& d = m.GetData();
    assert(d.size() >= 9 && v.GetSize() >= 3);
    auto e = [&d](std::size_t i) { return i < d.size() ? d[i] : 0.0; };
    const double v0 = Component(v, 0);
    const double v1 = Component(v, 1);
    const double v2 = Component(v, 2);
    CStdVector r(3);
    for (std::size_t i = 0; i < 3; ++i)
        r[i] = e(3 * i) * v0 + e(3 * i + 1) * v1 + e(3 * i + 2) * v2;
    return r;
}

// --- CPresumptionMatrix ----------------------------------------------------

// The normal equations of min |M X - Y|: M (X Xt) = Y Xt.
bool CPresumptionMatrix::Presume(const CStdMatrix& X, const CStdMatrix& Y)
{
    if (X.GetCols() != Y.GetCols() || X.GetCols() == 0)
        return false;
    const CStdMatrix Xt = X.Transpose();
    CStdMatrix A = X * Xt;
    if (!A.Invert())
        return false;
    const CStdMatrix B = Y * Xt;
    CStdMatrix::operator=(B * A);
    return true;
}

// --- CRGBMatrix ------------------------------------------------------------

CRGBMatrix::CRGBMatrix() : CStdMatrix(CStdMatrix::Identity(3)) {}

CRGBMatrix::CRGBMatrix(const CStdMatrix& m) : CStdMatrix(m) {}

CRGBMatrix& CRGBMatrix::operator=(const CStdMatrix& m)
{
    CStdMatrix::operator=(m);
    return *this;
}

double CRGBMatrix::GetX(double r, double g, double b) const
{
    const Coeffs3x3 m(*this);
    return m.m00 * r + m.m01 * g + m.m02 * b;
}

double CRGBMatrix::GetY(double r, double g, double b) const
{
    const Coeffs3x3 m(*this);
    return m.m10 * r + m.m11 * g + m.m12 * b;
}

double CRGBMatrix::GetZ(double r, double g, double b) const
{
    const Coeffs3x3 m(*this);
    return m.m20 * r + m.m21 * g + m.m22 * b;
}

void CRGBMatrix::ConvertPixel(RGB16& out, const RGB16& in) const
{
    ConvertLine(&out, &in, 1);
}

void CRGBMatrix::ConvertLine(RGB16* dst, const RGB16* src, std::size_t n) const
{
    const Coeffs3x3 m(*this);
    for (std::size_t k = 0; k < n; ++k)
    {
        const double r = src[k].r;
        const double g = src[k].g;
        const double b = src[k].b;
        dst[k].r = ClampToU16(m.m00 * r + m.m01 * g + m.m02 * b);
        dst[k].g = ClampToU16(m.m10 * r + m.m11 * g + m.m12 * b);
        dst[k].b = ClampToU16(m.m20 * r + m.m21 * g + m.m22 * b);
    }
}

void CRGBMatrix::PixelToXYZ(CStdVector& xyz, const RGB16& px) const
{
    LineToXYZ(1, &px, &xyz);
}

namespace {

template <class Vector>
void LineToXYZImpl(const Coeffs3x3& m, std::size_t n, const RGB16* pixels, Vector* xyz)
{
    for (std::size_t k = 0; k < n; ++k)
    {
        const double r = pixels[k].r;
        const double g = pixels[k].g;
        const double b = pixels[k].b;
        Store3(xyz[k], m.m00 * r + m.m01 * g + m.m02 * b, m.m10 * r + m.m11 * g + m.m12 * b,
               m.m20 * r + m.m21 * g + m.m22 * b);
    }
}

template <class Vector>
void XYZLineToPixelsImpl(const Coeffs3x3& m, std::size_t n, RGB16* out, const Vector* xyz)
{
    for (std::size_t k = 0; k < n; ++k)
    {
        assert(xyz[k].GetSize() >= 3);
        const double x = Component(xyz[k], 0);
        const double y = Component(xyz[k], 1);
        const double z = Component(xyz[k], 2);
        out[k].r = ClampToU16(m.m00 * x + m.m01 * y + m.m02 * z);
        out[k].g = ClampToU16(m.m10 * x + m.m11 * y + m.m12 * z);
        out[k].b = ClampToU16(m.m20 * x + m.m21 * y + m.m22 * z);
    }
}

} // namespace

void CRGBMatrix::LineToXYZ(std::size_t n, const RGB16* pixels, CCIEXYZ* xyz) const
{
    LineToXYZImpl(Coeffs3x3(*this), n, pixels, xyz);
}

void CRGBMatrix::LineToXYZ(std::size_t n, const RGB16* pixels, CStdVector* xyz) const
{
    LineToXYZImpl(Coeffs3x3(*this), n, pixels, xyz);
}

void CRGBMatrix::LineToY(double* Y, const RGB16* pixels, std::size_t n) const
{
    const Coeffs3x3 m(*this);
    for (std::size_t k = 0; k < n; ++k)
        Y[k] = m.m10 * pixels[k].r + m.m11 * pixels[k].g + m.m12 * pixels[k].b;
}

void CRGBMatrix::XYZToPixel(RGB16& out, const CStdVector& xyz) const
{
    XYZLineToPixelsImpl(Coeffs3x3(*this), 1, &out, &xyz);
}

void CRGBMatrix::XYZLineToPixels(std::size_t n, RGB16* out, const CCIEXYZ* xyz) const
{
    XYZLineToPixelsImpl(Coeffs3x3(*this), n, out, xyz);
}

void CRGBMatrix::XYZLineToPixels(std::size_t n, RGB16* out, const CStdVector* xyz) const
{
    XYZLineToPixelsImpl(Coeffs3x3(*this), n, out, xyz);
}

bool CRGBMatrix::IsInGamut(const CStdVector& xyz, bool* inside) const
{
    assert(xyz.GetSize() >= 3);
    const Coeffs3x3 m(*this);
    const double x = Component(xyz, 0);
    const double y = Component(xyz, 1);
    const double z = Component(xyz, 2);
    const double channels[3] = {m.m00 * x + m.m01 * y + m.m02 * z,
                                m.m10 * x + m.m11 * y + m.m12 * z,
                                m.m20 * x + m.m21 * y + m.m22 * z};
    bool result = true;
    for (double c : channels)
        result = result && c > -256.0 && c < 65791.0;
    if (inside)
        *inside = result;
    return result;
}
