#pragma once
// Dense matrices of doubles for the colour mathematics: products, transpose,
// an LU-based inverse, least-squares estimation of a colour matrix from
// sample pairs, and the 3x3 RGB <-> XYZ matrix applied to 16-bit pixels.
//
// Shape mismatches in element-wise operations and products are caller
// errors: they assert in debug builds and, in release builds, work on the
// common part only (nothing is read or written out of bounds).

#include "core/RGB16.h"
#include "core/StdVector.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

class CCIEXYZ;

class CStdMatrix
{
public:
    // 0 x 0, no data.
    CStdMatrix() = default;
    // rows x cols zeros; a size of 0 in either direction gives 0 x 0.
    CStdMatrix(std::uint32_t rows, std::uint32_t cols);
    // rows x cols from row-major data (missing trailing elements are 0).
    CStdMatrix(std::uint32_t rows, std::uint32_t cols, std::span<const double> data);
    CStdMatrix(std::uint32_t rows, std::uint32_t cols, std::initializer_list<double> data);
    // 3x3 in row order.
    CStdMatrix(double m00, double m01, double m02, double m10, double m11, double m12, double m20,
               double m21, double m22);
    // n x n diagonal matrix with d on the diagonal, n = size of d.
    explicit CStdMatrix(const CStdVector& diagonal);
    // The n x n identity (3x3 by default).
    static CStdMatrix Identity(std::uint32_t n = 3);

    CStdMatrix(const CStdMatrix&) = default;
    CStdMatrix(CStdMatrix&&) = default;
    CStdMatrix& operator=(const CStdMatrix&) = default;
    CStdMatrix& operator=(CStdMatrix&&) = default;
    virtual ~CStdMatrix() = default;

    std::uint32_t GetRows() const { return m_rows; }
    std::uint32_t GetCols() const { return m_cols; }
    // Row-major elements, element (r, c) at r * cols + c.
    const std::vector<double>& GetData() const { return m_data; }
    // Row index that ended up in each row during the last LU decomposition.
    const std::vector<double>& GetPermutation() const { return m_permutation; }
    bool IsDecomposed() const { return m_decomposed; }

    double GetAt(std::uint32_t row, std::uint32_t col) const;
    void SetAt(std::uint32_t row, std::uint32_t col, double value);
    void SwapElements(std::uint32_t row1, std::uint32_t col1, std::uint32_t row2,
                      std::uint32_t col2);

    CStdMatrix operator+(const CStdMatrix& other) const;
    // (rows x n) * (n x cols); element (i, j) is Dot(row i of this, column j of other).
    CStdMatrix operator*(const CStdMatrix& other) const;
    CStdMatrix& operator*=(const CStdMatrix& other);
    CStdMatrix operator*(double k) const;
    CStdMatrix& operator*=(double k);
    CStdMatrix operator/(double k) const;
    CStdMatrix& operator/=(double k);

    // Vector of rows elements, element i = sum over j < cols of M(i, j) * v[j].
    CStdVector MultiplyVector(const CStdVector& v) const;

    CStdMatrix Transpose() const;
    // Out-of-range indices give an empty vector.
    CStdVector GetRow(std::uint32_t row) const;
    CStdVector GetColumn(std::uint32_t col) const;
    // v becomes the new last column; on a matrix without columns the result is
    // n x 1 (n = size of v). Sample matrices are built this way, one sample
    // (column) at a time.
    void AppendColumn(const CStdVector& v);

    // Crout LU decomposition in place with implicit (row-scaled) partial
    // pivoting. Returns the permutation parity (+1 or -1), or 0 when the
    // matrix is singular in the sense that a row is all zeros (or it is not
    // square, or empty); then the elements are left unchanged.
    double LUDecompose();
    // Solves A x = b for the decomposed A; b (one value per row) is replaced by
    // x. False when the matrix does not hold a successful decomposition or b
    // has fewer than rows elements (b is then unchanged).
    bool LUBackSubstitute(std::span<double> b) const;
    // Replaces the matrix by its inverse. False when the decomposition fails
    // (an all-zero row, not square, empty); the matrix is then unchanged.
    bool Invert();

    // dst[k] = M * src[k] for k < count, with M read as 3x3 row-major and src,
    // dst arrays of three-element vectors (dst may equal src). A matrix that is
    // not 3x3 does nothing.
    virtual void Transform(const CStdVector* src, CStdVector* dst, std::size_t count) const;

protected:
    std::vector<double> m_data;
    std::uint32_t m_rows = 0;
    std::uint32_t m_cols = 0;
    std::vector<double> m_permutation;
    // Set while m_data holds the factors of a successful LUDecompose; any
    // change of the elements clears it.
    bool m_decomposed = false;
};

// Returns r[i] = m[3i] * v[0] + m[3i+1] * v[1] + m[3i+2] * v[2], with the
// elements of m read as a 3x3 row-major matrix whatever its shape (missing
// elements of m or v count as 0).
CStdVector Multiply3x3(const CStdMatrix& m, const CStdVector& v);

// Least-squares estimation of a colour matrix from sample pairs.
class CPresumptionMatrix : public CStdMatrix
{
public:
    using CStdMatrix::CStdMatrix;
    CPresumptionMatrix() = default;

    // X and Y hold corresponding samples as columns (X the inputs, Y the wanted
    // outputs). Sets this matrix to the M that minimises |M X - Y|:
    //     M = Y Xt (X Xt)^-1,
    // a rows(Y) x rows(X) matrix (3x3 for colour samples). False, leaving the
    // matrix unchanged, when the column counts differ or X Xt cannot be
    // inverted (X has an all-zero row, or no samples).
    bool Presume(const CStdMatrix& X, const CStdMatrix& Y);
};

// A 3x3 colour matrix between 16-bit RGB and XYZ (or between two linear RGB
// spaces). Rows 0, 1, 2 give X, Y, Z. Conversions to pixels clamp each
// channel to 0..65535 and truncate (NaN gives 0).
//
// The class is meant to hold a 3x3 matrix; if it is given another shape (it
// can be assigned from any CStdMatrix), the conversions act as the identity.
class CRGBMatrix : public CStdMatrix
{
public:
    // The identity.
    CRGBMatrix();
    CRGBMatrix(const CStdMatrix& m);
    CRGBMatrix& operator=(const CStdMatrix& m);

    double GetX(double r, double g, double b) const;
    double GetY(double r, double g, double b) const;
    double GetZ(double r, double g, double b) const;

    // Matrix times pixel, clamped and truncated to 16 bits; in == out allowed.
    void ConvertPixel(RGB16& out, const RGB16& in) const;
    // As ConvertPixel for n pixels; dst may equal src.
    void ConvertLine(RGB16* dst, const RGB16* src, std::size_t n) const;

    // Matrix times pixel as doubles, unclamped, into three-element vectors.
    void PixelToXYZ(CStdVector& xyz, const RGB16& px) const;
    void LineToXYZ(std::size_t n, const RGB16* pixels, CCIEXYZ* xyz) const;
    void LineToXYZ(std::size_t n, const RGB16* pixels, CStdVector* xyz) const;
    // Row 1 only: the luminance of each pixel.
    void LineToY(double* Y, const RGB16* pixels, std::size_t n) const;

    // Matrix times XYZ, clamped and truncated to 16 bits.
    void XYZToPixel(RGB16& out, const CStdVector& xyz) const;
    void XYZLineToPixels(std::size_t n, RGB16* out, const CCIEXYZ* xyz) const;
    void XYZLineToPixels(std::size_t n, RGB16* out, const CStdVector* xyz) const;

    // The matrix applied to one XYZ value: inside when every channel lies
    // strictly between -256 and 65791 (the 16-bit range widened by 256 on
    // both sides, room for rounding). The result is also returned.
    bool IsInGamut(const CStdVector& xyz, bool* inside) const;
};
