#pragma once
// Functions made from samples: a natural cubic spline and a clamped
// piecewise-linear function through points with distinct x, the straight
// line through two points, and the best power-law exponent for a set of
// points. Tone curves, profile response curves and chart measurements are
// all turned into functions with these.

#include <cstddef>
#include <set>
#include <vector>

// A point of two doubles; (0, 0) by default.
struct _POINTD
{
    double x = 0.0;
    double y = 0.0;

    _POINTD() = default;
    _POINTD(double px, double py) : x(px), y(py) {}
    _POINTD(const _POINTD&) = default;
    _POINTD& operator=(const _POINTD&) = default;
    virtual ~_POINTD() = default;

    bool operator==(const _POINTD& other) const { return x == other.x && y == other.y; }
};

class CPointD : public _POINTD
{
public:
    using _POINTD::_POINTD;
};

// Samples (x, y) with unique x, evaluated either as a natural cubic spline
// (second derivative 0 at both ends) or as a polyline held flat beyond the
// end samples.
class CInterpolation
{
public:
    class MyTable
    {
    public:
        double x = 0.0;
        double y = 0.0;

        MyTable() = default;
        MyTable(double px, double py) : x(px), y(py) {}
        MyTable(const MyTable&) = default;
        MyTable& operator=(const MyTable&) = default;
        virtual ~MyTable() = default;
    };

    // Orders samples by x alone, so that two samples with the same x are
    // the same key of the sample set.
    class less_Table
    {
    public:
        bool operator()(const MyTable& a, const MyTable& b) const { return a.x < b.x; }
    };

    CInterpolation() = default;
    CInterpolation(const CInterpolation&) = default;
    CInterpolation& operator=(const CInterpolation&) = default;
    CInterpolation(CInterpolation&&) = default;
    CInterpolation& operator=(CInterpolation&&) = default;
    virtual ~CInterpolation() = default;

    // Inserts the sample. A sample whose x equals that of an earlier one is
    // refused and the first stays; so is a non-finite x, which has no place
    // in the order. True when the sample was inserted.
    bool AddPoint(double x, double y);

    // Computes the second derivatives of the natural cubic spline through
    // the samples present now. Needs at least two samples: with fewer it
    // returns false and the spline stays "not built", whose value is the
    // one sample's y (one sample) or 0 (none). Samples added later take
    // effect only with the next BuildSpline.
    bool BuildSpline();

    // The spline at x. Outside [xMin, xMax] the end cubic is extended, with
    // no clamping.
    double GetSplineValue(double x) const;

    // The same value, for callers that evaluate at ascending x: segment is a
    // hint carried from call to call (start it at 0). Each call walks on from
    // the hinted segment instead of searching from scratch, which makes a
    // sweep over sorted x linear in the number of samples plus points.
    double GetSplineValue(double x, std::size_t& segment) const;

    // Straight lines between neighbouring samples, the first y at and
    // before the first sample, the last y beyond the last. Works on the
    // samples directly, without BuildSpline. 0 without samples.
    double GetLinearValue(double x) const;

    std::size_t GetCount() const { return m_samples.size(); }
    bool IsBuilt() const { return m_table.size() >= 2; }
    double GetXMin() const { return m_xMin; }
    double GetXMax() const { return m_xMax; }

private:
    std::size_t FindSegment(double x) const;
    double EvaluateSegment(std::size_t lo, double x) const;

    double m_xMin = 0.0;
    double m_xMax = 0.0;
    std::set<MyTable, less_Table> m_samples;
    std::vector<double> m_y2;     // second derivative at each sample of m_table
    std::vector<MyTable> m_table; // samples in x order, as of the last BuildSpline
};

// The straight line through two points: y = slope*x + intercept, or the
// vertical line x = xVertical. The default is the identity y = x.
class CLinearFunction
{
public:
    CLinearFunction() = default;
    CLinearFunction(double slope, double intercept) : m_slope(slope), m_intercept(intercept) {}
    CLinearFunction(const CLinearFunction&) = default;
    CLinearFunction& operator=(const CLinearFunction&) = default;
    virtual ~CLinearFunction() = default;

    // Identical points leave the line unchanged; equal x give a vertical
    // line (slope and intercept 0); otherwise the line through both.
    void SetPoints(const CPointD& p1, const CPointD& p2);

    // slope*x + intercept. A vertical line has no single y; its slope and
    // intercept are 0, so it gives 0.
    double GetValue(double x) const { return m_slope * x + m_intercept; }

    double GetSlope() const { return m_slope; }
    double GetIntercept() const { return m_intercept; }
    double GetXVertical() const { return m_xVertical; }
    bool IsVertical() const { return m_vertical; }

private:
    double m_slope = 1.0;
    double m_intercept = 0.0;
    double m_xVertical = 0.0;
    bool m_vertical = false;
};

// Power-law fit: after normalising the points so that the first maps to
// (0, 0) and the last to (1, 1), the exponent g of y = x^g with the least
// sum of squared residuals, searched on the grid gFrom, gFrom + gStep, ...
// below gTo. Profiles use it to describe a sampled tone curve by one gamma.
class CExponential
{
public:
    CExponential() = default;
    CExponential(const CExponential&) = default;
    CExponential& operator=(const CExponential&) = default;
    CExponential(CExponential&&) = default;
    CExponential& operator=(CExponential&&) = default;
    virtual ~CExponential() = default;

    void AddPoint(double x, double y) { m_points.emplace_back(x, y); }

    // The best grid exponent; on a tie the smaller one stays. The stored
    // points are left normalised. 1.0 when the grid is empty (gFrom >= gTo,
    // a step that is not positive, a non-finite bound). 1.0 as well, with
    // the points left as they were, when the first and last points share
    // their x or their y (fewer than two points included): there is then
    // nothing to normalise by.
    double Fit(double gFrom, double gTo, double gStep);

    const std::vector<CPointD>& GetPoints() const { return m_points; }

private:
    std::vector<CPointD> m_points;
};
