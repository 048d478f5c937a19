#include "core/CIEColor.h"

#include "core/Clamp.h"
#include "core/LabFormula.h"

#include <array>
#include <cassert>
#include <cmath>

namespace {

// Copies the first three of the given values into a three-element vector;
// missing values are 0 (a caller error).
std::array<double, 3> FirstThree(std::span<const double> values)
{
    assert(values.size() >= 3 && "a colour value needs three components");
    std::array<double, 3> c{0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < 3 && i < values.size(); ++i)
        c[i] = values[i];
    return c;
}

std::array<double, 3> FirstThree(const CStdVector& v)
{
    assert(v.GetSize() >= 3 && "a colour value needs three components");
    std::array<double, 3> c{0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < 3 && i < v.GetSize(); ++i)
        c[i] = v[i];
    return c;
}

void AssignThree(std::vector<double>& elements, const std::array<double, 3>& c)
{
    elements.assign(c.begin(), c.end());
}

// f(t) with the exact cube root.
double LabF(double t)
{
    return cielab::F(t, [](double v) { return std::pow(v, 1.0 / 3.0); });
}

} // namespace

// --- CCIEXYZ -----------------------------------------------------------------

CCIEXYZ::CCIEXYZ(double X, double Y, double Z) : CStdVector{X, Y, Z} {}

CCIEXYZ::CCIEXYZ(std::span<const double> values)
{
    AssignThree(m_elements, FirstThree(values));
}

CCIEXYZ::CCIEXYZ(const std::vector<double>& values) : CCIEXYZ(std::span<const double>(values)) {}

CCIEXYZ::CCIEXYZ(const CStdVector& v)
{
    AssignThree(m_elements, FirstThree(v));
}

CCIEXYZ::CCIEXYZ(StandardIlluminant code)
{
    switch (code)
    {
    case StandardIlluminant::A:
        m_elements = {109.851, 100.0, 35.582};
        break;
    case StandardIlluminant::D65:
        m_elements = {95.043, 100.0, 108.879};
        break;
    case StandardIlluminant::C:
        m_elements = {98.072, 100.0, 118.225};
        break;
    case StandardIlluminant::D50:
        m_elements = {96.42, 100.0, 82.49};
        break;
    case StandardIlluminant::D55:
        m_elements = {95.68, 100.0, 92.14};
        break;
    case StandardIlluminant::D75:
        m_elements = {94.96, 100.0, 122.61};
        break;
    case StandardIlluminant::B:
        m_elements = {99.09, 100.0, 85.31};
        break;
    default:
        m_elements = {0.0, 0.0, 0.0};
        break;
    }
}

CCIEXYZ& CCIEXYZ::operator=(const CStdVector& v)
{
    AssignThree(m_elements, FirstThree(v));
    return *this;
}

void CCIEXYZ::SetData(std::span<const double> values)
{
    AssignThree(m_elements, FirstThree(values));
}

CCIEXYZ CCIEXYZ::operator*(double k) const
{
    return CCIEXYZ(m_elements[0] * k, m_elements[1] * k, m_elements[2] * k);
}

// The formula of core/LabFormula.h with the exact cube root.
CCIELab CCIEXYZ::ToLab(const CCIEXYZ& white) const
{
    const double tx = m_elements[0] / white[0];
    const double ty = m_elements[1] / white[1];
    const double tz = m_elements[2] / white[2];
    const double fx = LabF(tx);
    const double fy = LabF(ty);
    const double fz = LabF(tz);
    return CCIELab(cielab::LightnessFromF(ty, fy), cielab::AFromF(fx, fy), cielab::BFromF(fy, fz));
}

// x = X / (X + Y + Z), y = Y / (X + Y + Z); black has no chromaticity and
// gives (Y, 0, 0).
CCIEYxy CCIEXYZ::ToYxy() const
{
    const double X = m_elements[0];
    const double Y = m_elements[1];
    const double Z = m_elements[2];
    const double s = X + Y + Z;
    if (s == 0.0)
        return CCIEYxy(Y, 0.0, 0.0);
    return CCIEYxy(Y, X / s, Y / s);
}

// --- CCIELab -----------------------------------------------------------------

CCIELab::CCIELab(double L, double a, double b) : CStdVector{L, a, b} {}

CCIELab::CCIELab(const CStdVector& v)
{
    AssignThree(m_elements, FirstThree(v));
}

CCIELab& CCIELab::operator=(const CStdVector& v)
{
    AssignThree(m_elements, FirstThree(v));
    return *this;
}

void CCIELab::SetData(std::span<const double> values)
{
    AssignThree(m_elements, FirstThree(values));
}

CCIEXYZ CCIELab::ToXYZ(const CCIEXYZ& white) const
{
    const double fy = cielab::FyOf(m_elements[0]);
    const double fx = cielab::FxOf(fy, m_elements[1]);
    const double fz = cielab::FzOf(fy, m_elements[2]);
    return CCIEXYZ(white[0] * cielab::FInverse(fx), white[1] * cielab::FInverse(fy),
                   white[2] * cielab::FInverse(fz));
}

CCIEXYZ CCIELab::ToXYZ() const
{
    return ToXYZ(CCIEXYZ(StandardIlluminant::D65));
}

// C = sqrt(a^2 + b^2), h = atan2(b, a) in degrees folded into [0, 360).
CCIELCh CCIELab::ToLCh() const
{
    const double a = m_elements[1];
    const double b = m_elements[2];
    double h = std::atan2(b, a) * 180.0 / cielab::kHuePi;
    if (h < 0.0)
        h += 360.0;
    // A tiny negative angle can round up to exactly 360 after the fold.
    if (h >= 360.0)
        h -= 360.0;
    return CCIELCh(m_elements[0], std::sqrt(a * a + b * b), h);
}

double CCIELab::DeltaE(const CCIELab& p, const CCIELab& q)
{
    const double dL = p[0] - q[0];
    const double da = p[1] - q[1];
    const double db = p[2] - q[2];
    return std::sqrt(dL * dL + da * da + db * db);
}

// --- CCIELCh -----------------------------------------------------------------

CCIELCh::CCIELCh(double L, double C, double h) : CStdVector{L, C, h} {}

CCIELCh::CCIELCh(std::span<const double> values)
{
    AssignThree(m_elements, FirstThree(values));
}

CCIELCh::CCIELCh(const std::vector<double>& values) : CCIELCh(std::span<const double>(values)) {}

CCIELCh::CCIELCh(const CStdVector& v)
{
    AssignThree(m_elements, FirstThree(v));
}

CCIELCh& CCIELCh::operator=(const CStdVector& v)
{
    AssignThree(m_elements, FirstThree(v));
    return *this;
}

void CCIELCh::SetData(std::span<const double> values)
{
    AssignThree(m_elements, FirstThree(values));
}

CCIELab CCIELCh::ToLab() const
{
    const double C = m_elements[1];
    const double h = m_elements[2] * cielab::kHuePi / 180.0;
    return CCIELab(m_elements[0], C * std::cos(h), C * std::sin(h));
}

bool CCIELCh::operator!=(const CCIELCh& other) const
{
    return m_elements[0] != other.m_elements[0] || m_elements[1] != other.m_elements[1] ||
           m_elements[2] != other.m_elements[2];
}

// --- CCIEYxy -----------------------------------------------------------------

CCIEYxy::CCIEYxy(double Y, double x, double y) : CStdVector{Y, x, y} {}

CCIEYxy::CCIEYxy(const CStdVector& v)
{
    AssignThree(m_elements, FirstThree(v));
}

CCIEYxy& CCIEYxy::operator=(const CStdVector& v)
{
    AssignThree(m_elements, FirstThree(v));
    return *this;
}

void CCIEYxy::SetData(std::span<const double> values)
{
    AssignThree(m_elements, FirstThree(values));
}

// X = x Y / y, Z = (1 - x - y) Y / y; y = 0 has no such point and gives (0, Y, 0).
CCIEXYZ CCIEYxy::ToXYZ() const
{
    const double Y = m_elements[0];
    const double x = m_elements[1];
    const double y = m_elements[2];
    if (y == 0.0)
        return CCIEXYZ(0.0, Y, 0.0);
    return CCIEXYZ(x * Y / y, Y, (1.0 - x - y) * Y / y);
}

// --- Daylight locus ------------------------------------------------------------

// CIE daylight chromaticity as a cubic in 1/T for x (two ranges), and the
// quadratic y = -3 x^2 + 2.87 x - 0.275.
CCIEXYZ GetDaylightXYZ(int kelvin)
{
    const double T = static_cast<double>(kelvin < 1000 ? 1000 : (kelvin > 25000 ? 25000 : kelvin));
    const double T2 = T * T;
    const double T3 = T2 * T;
    const double x = T <= 7000.0 ? -4.607e9 / T3 + 2.9678e6 / T2 + 99.11 / T + 0.244063
                                 : -2.0064e9 / T3 + 1.9018e6 / T2 + 247.48 / T + 0.23704;
    const double y = -3.0 * x * x + 2.87 * x - 0.275;
    return CCIEXYZ(x / y, 1.0, (1.0 - x - y) / y);
}

// --- Correlated colour temperature -------------------------------------------

namespace {

// Robertson's isotemperature lines: row i lies at 10 i mired (row 0 is
// infinite temperature); u, v is the Planckian locus point in the CIE 1960
// UCS and t the slope du/dv of the isotemperature line through it.
struct IsotempLine
{
    double u;
    double v;
    double t;
};

constexpr int kLastLine = 64;

constexpr std::array<IsotempLine, kLastLine + 1> kIsotemp{{
    {0.180046, 0.263577, -4.09562},  {0.180638, 0.265948, -3.9133},
    {0.181309, 0.268506, -3.71055},  {0.182067, 0.271236, -3.49513},
    {0.182919, 0.274118, -3.2742},   {0.183872, 0.277131, -3.05386},
    {0.184932, 0.280251, -2.8389},   {0.186103, 0.283452, -2.63279},
    {0.187389, 0.286709, -2.43778},  {0.188792, 0.289997, -2.25517},
    {0.190312, 0.293293, -2.08544},  {0.191949, 0.296575, -1.92856},
    {0.193701, 0.299825, -1.78409},  {0.195566, 0.303025, -1.65136},
    {0.19754, 0.306162, -1.52956},   {0.199619, 0.309223, -1.41784},
    {0.201799, 0.312199, -1.31534},  {0.204074, 0.315083, -1.22121},
    {0.20644, 0.317868, -1.13468},   {0.208891, 0.32055, -1.05503},
    {0.211423, 0.323126, -0.981592}, {0.21403, 0.325595, -0.913771},
    {0.216706, 0.327956, -0.851035}, {0.219449, 0.330208, -0.792904},
    {0.222251, 0.332354, -0.738952}, {0.22511, 0.334393, -0.688801},
    {0.22802, 0.336329, -0.642113},  {0.230978, 0.338163, -0.598586},
    {0.233979, 0.339897, -0.557953}, {0.23702, 0.341536, -0.519975},
    {0.240097, 0.34308, -0.484439},  {0.243206, 0.344534, -0.451151},
    {0.246345, 0.345901, -0.419941}, {0.249511, 0.347183, -0.390652},
    {0.252699, 0.348384, -0.363145}, {0.255909, 0.349508, -0.337292},
    {0.259136, 0.350557, -0.312978}, {0.262379, 0.351534, -0.290097},
    {0.265635, 0.352443, -0.268554}, {0.268902, 0.353287, -0.248261},
    {0.272179, 0.354069, -0.229137}, {0.275462, 0.354791, -0.211108},
    {0.27875, 0.355457, -0.194104},  {0.282042, 0.35607, -0.178063},
    {0.285335, 0.356631, -0.162926}, {0.288629, 0.357144, -0.148638},
    {0.291922, 0.357611, -0.135149}, {0.295211, 0.358034, -0.122412},
    {0.298497, 0.358417, -0.110382}, {0.301778, 0.35876, -0.099019},
    {0.305053, 0.359066, -0.088284}, {0.30832, 0.359338, -0.078141},
    {0.311579, 0.359577, -0.068557}, {0.314829, 0.359785, -0.059499},
    {0.318068, 0.359964, -0.050939}, {0.321297, 0.360115, -0.042848},
    {0.324514, 0.36024, -0.0352},    {0.327718, 0.360342, -0.02797},
    {0.330909, 0.36042, -0.021135},  {0.334087, 0.360477, -0.014673},
    {0.33725, 0.360513, -0.008564},  {0.340397, 0.360531, -0.002787},
    {0.34353, 0.360531, 0.002674},   {0.346646, 0.360515, 0.007839},
    {0.349746, 0.360483, 0.012722},
}};

std::uint16_t KelvinFromMired(double mired)
{
    return static_cast<std::uint16_t>(ClampToInteger(1e6 / mired, 1, 65535));
}

// Signed distance (u, v) -> point of the locus: negative below the locus.
double SignedDistance(double u, double v, double U, double V)
{
    const double d = std::sqrt((u - U) * (u - U) + (v - V) * (v - V));
    return v < V ? -d : d;
}

} // namespace

bool CalcColorTemperatureMired(double x, double y, double* duv, double* mired)
{
    *mired = 0.0;
    *duv = 0.0;

    const double denominator = -x + 6.0 * y + 1.5;
    const double u = 2.0 * x / denominator;
    const double v = 3.0 * y / denominator;
    if (!std::isfinite(u) || !std::isfinite(v))
        return false;

    // Side of isotemperature line i: positive beyond it towards higher mired.
    auto side = [u, v](int i) { return (u - kIsotemp[i].u) - (v - kIsotemp[i].v) * kIsotemp[i].t; };

    auto onLine = [&](int r)
    {
        *mired = 10.0 * r;
        *duv = SignedDistance(u, v, kIsotemp[r].u, kIsotemp[r].v);
        return true;
    };

    if (!(side(0) > 0.0))
        return false;
    const double sLast = side(kLastLine);
    if (sLast > 0.0)
        return false;
    if (sLast == 0.0)
        return onLine(kLastLine);

    // Bisection over the lines 2..64 from the middle.
    int r = 33;
    for (int step = 16; step >= 1; step /= 2)
    {
        const double s = side(r);
        if (s > 0.0)
            r += step;
        else if (s < 0.0)
            r -= step;
        else
            return onLine(r);
    }
    const double s = side(r);
    if (s == 0.0)
        return onLine(r);
    if (s < 0.0)
        r -= 1;
    // The point lies between lines r and r + 1 (r from 1 to 63).

    auto normalised = [&](int i)
    { return side(i) / std::sqrt(1.0 + kIsotemp[i].t * kIsotemp[i].t); };
    const double nr = normalised(r);
    const double nr1 = normalised(r + 1);
    double A = nr / (nr - nr1);
    const double m = (r + A) * 10.0;

    // The locus point comes from a quadratic through three rows centred on the
    // nearer line. Past the middle of the last interval (635..640 mired) the
    // nearer line is 64, which has no row beyond it, so the quadratic stays
    // centred on row 63 (rows 62..64) with A in (0.5, 1].
    if (A > 0.5 && r + 1 < kLastLine)
    {
        r += 1;
        A -= 1.0;
    }
    const IsotempLine& p0 = kIsotemp[r - 1];
    const IsotempLine& p1 = kIsotemp[r];
    const IsotempLine& p2 = kIsotemp[r + 1];
    const double U = p1.u + A * ((p2.u - p0.u) / 2.0 + A * ((p0.u + p2.u) / 2.0 - p1.u));
    const double V = p1.v + A * ((p2.v - p0.v) / 2.0 + A * ((p0.v + p2.v) / 2.0 - p1.v));

    *duv = SignedDistance(u, v, U, V);
    *mired = m;
    return true;
}

bool CalcColorTemperature(double x, double y, double* duv, std::uint16_t* kelvin)
{
    double mired = 0.0;
    *kelvin = 0;
    if (!CalcColorTemperatureMired(x, y, duv, &mired))
        return false;
    *kelvin = KelvinFromMired(mired);
    return true;
}

// Walks duv along the isotemperature line (direction (t, 1) in (u, v),
// normalised) from the locus point interpolated at the given mired.
bool ColorTemperatureToXy(std::uint16_t kelvin, double duv, double* x, double* y)
{
    if (kelvin == 0)
        return false;
    const double m = 1e6 / kelvin;
    if (!(m > 0.0 && m < 640.0))
        return false;

    const int i = static_cast<int>(m / 10.0);
    const double f = m / 10.0 - i;
    const IsotempLine& a = kIsotemp[i];
    const IsotempLine& b = kIsotemp[i + 1];
    const double u = a.u + f * (b.u - a.u);
    const double v = a.v + f * (b.v - a.v);
    const double t = a.t + f * (b.t - a.t);

    double s = std::sqrt(duv * duv / (t * t + 1.0));
    if (duv < 0.0)
        s = -s;
    const double u2 = u + s * t;
    const double v2 = v + s;

    const double d = 2.0 * u2 - 8.0 * v2 + 4.0;
    *x = 3.0 * u2 / d;
    *y = 2.0 * v2 / d;
    return true;
}
