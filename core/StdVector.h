#pragma once
// A small dense vector of doubles: the value type under every colour value
// (CCIEXYZ, CCIELab, ...) and the column/row type of CStdMatrix.
//
// Element-wise operations between vectors expect equal sizes. A size
// mismatch is a caller error: it asserts in debug builds and, in release
// builds, the operation works on the common leading elements only, so that
// nothing is read or written out of bounds.

#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <span>
#include <vector>

class CStdVector
{
public:
    CStdVector() = default;
    // n zeros (a negative count gives an empty vector).
    template <std::integral T>
    explicit CStdVector(T n) : m_elements(n > 0 ? static_cast<std::size_t>(n) : 0u, 0.0)
    {
    }
    // Three elements, all equal to v.
    explicit CStdVector(double v) : m_elements(3, v) {}
    CStdVector(std::initializer_list<double> values) : m_elements(values) {}
    explicit CStdVector(std::span<const double> values);
    explicit CStdVector(std::vector<double> values);

    CStdVector(const CStdVector&) = default;
    CStdVector(CStdVector&&) = default;
    CStdVector& operator=(const CStdVector&) = default;
    CStdVector& operator=(CStdVector&&) = default;
    virtual ~CStdVector() = default;

    // Replaces the elements. The colour value types override this to keep
    // exactly three components.
    virtual void SetData(std::span<const double> values);
    std::vector<double> GetData() const { return m_elements; }

    // Unchecked in release builds.
    double& operator[](std::size_t i);
    double operator[](std::size_t i) const;
    std::size_t GetSize() const { return m_elements.size(); }

    CStdVector& operator+=(const CStdVector& other);
    CStdVector& operator-=(const CStdVector& other);
    CStdVector operator-(const CStdVector& other) const;
    // Element-wise quotient a[i] / b[i].
    CStdVector operator/(const CStdVector& other) const;
    CStdVector& operator*=(double k);
    CStdVector& operator/=(double k);
    // Exact comparison of every element; vectors of different sizes differ.
    bool operator==(const CStdVector& other) const;

    // Euclidean length: sqrt(sum of squares).
    double Norm() const;

protected:
    std::vector<double> m_elements;
};

// Sum of a[i] * b[i] over the elements of a (b must be at least as long).
double Dot(const CStdVector& a, const CStdVector& b);
