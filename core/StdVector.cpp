#include "core/StdVector.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <utility>

namespace {

std::size_t CommonSize(const CStdVector& a, const CStdVector& b)
{
    assert(a.GetSize() == b.GetSize() && "element-wise operation on vectors of different sizes");
    return std::min(a.GetSize(), b.GetSize());
}

} // namespace

CStdVector::CStdVector(std::span<const double> values) : m_elements(values.begin(), values.end()) {}

CStdVector::CStdVector(std::vector<double> values) : m_elements(std::move(values)) {}

void CStdVector::SetData(std::span<const double> values)
{
    m_elements.assign(values.begin(), values.end());
}

double& CStdVector::operator[](std::size_t i)
{
    assert(i < m_elements.size());
    return m_elements[i];
}

double CStdVector::operator[](std::size_t i) const
{
    assert(i < m_elements.size());
    return m_elements[i];
}

CStdVector& CStdVector::operator+=(const CStdVector& other)
{
    const std::size_t n = CommonSize(*this, other);
    for (std::size_t i = 0; i < n; ++i)
        m_elements[i] += other.m_elements[i];
    return *this;
}

CStdVector& CStdVector::operator-=(const CStdVector& other)
{
    const std::size_t n = CommonSize(*this, other);
    for (std::size_t i = 0; i < n; ++i)
        m_elements[i] -= other.m_elements[i];
    return *this;
}

CStdVector CStdVector::operator-(const CStdVector& other) const
{
    const std::size_t n = CommonSize(*this, other);
    CStdVector result(n);
    for (std::size_t i = 0; i < n; ++i)
        result.m_elements[i] = m_elements[i] - other.m_elements[i];
    return result;
}

CStdVector CStdVector::operator/(const CStdVector& other) const
{
    const std::size_t n = CommonSize(*this, other);
    CStdVector result(n);
    for (std::size_t i = 0; i < n; ++i)
        result.m_elements[i] = m_elements[i] / other.m_elements[i];
    return result;
}

CStdVector& CStdVector::operator*=(double k)
{
    for (double& e : m_elements)
        e *= k;
    return *this;
}

CStdVector& CStdVector::operator/=(double k)
{
    for (double& e : m_elements)
        e /= k;
    return *this;
}

bool CStdVector::operator==(const CStdVector& other) const
{
    return m_elements == other.m_elements;
}

double CStdVector::Norm() const
{
    double sum = 0.0;
    for (double e : m_elements)
        sum += e * e;
    return std::sqrt(sum);
}

double Dot(const CStdVector& a, const CStdVector& b)
{
    assert(b.GetSize() >= a.GetSize() && "Dot: second vector shorter than the first");
    const std::size_t n = std::min(a.GetSize(), b.GetSize());
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        sum += a[i] * b[i];
    return sum;
}
