#include "imagefile/DNGTranspose.h"

#include "core/Clamp.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

bool IsThreeByThree(const CStdMatrix& m)
{
    return m.GetRows() == 3 && m.GetCols() == 3;
}

bool AllPositiveFinite(const CStdVector& v)
{
    for (std::size_t i = 0; i < v.GetSize(); ++i)
    {
        if (!(v[i] > 0.0) || !std::isfinite(v[i]))
            return false;
    }
    return true;
}

// XYZ (Y = 1) of the chromaticity (x, y); y must be positive.
CCIEXYZ XyToXYZ(double x, double y)
{
    return CCIEYxy(1.0, x, y).ToXYZ();
}

// The camera matrices map the camera's neutral to the white, which is then
// brought to Y = 1. False when Y is not positive (no usable white).
bool NormaliseToUnitY(CStdVector& v)
{
    const double Y = v[1];
    if (!(Y > 0.0) || !std::isfinite(Y))
        return false;
    v /= Y;
    return true;
}

// Correlated colour temperature of an XYZ colour in mired (1e6 / kelvin).
bool MiredOf(const CCIEXYZ& xyz, double& mired)
{
    const CCIEYxy yxy = xyz.ToYxy();
    double duv = 0.0;
    return CalcColorTemperatureMired(yxy[1], yxy[2], &duv, &mired);
}

// How far two whites lie apart in the (x, y) chromaticity diagram.
double ChromaticityDistance(const CStdVector& a, const CStdVector& b)
{
    const CCIEYxy p = CCIEXYZ(a).ToYxy();
    const CCIEYxy q = CCIEXYZ(b).ToYxy();
    return std::hypot(p[1] - q[1], p[2] - q[2]);
}

// The as-shot white settles to well below a 16-bit step within a handful of
// rounds: the blend moves the white far less than the white moves the blend.
constexpr double kWhiteTolerance = 1e-10;
constexpr int kMaxWhiteRounds = 30;

} // namespace

CDNGTranspose::CDNGTranspose()
    : m_matrixA(CStdMatrix::Identity()), m_matrixB(CStdMatrix::Identity())
{}

void CDNGTranspose::Setup(int illuminant1, int illuminant2, const CStdMatrix& matrix1,
                          const CStdMatrix& matrix2, bool twoMatrices,
                          const std::vector<double>& asShotNeutral,
                          const std::vector<double>& asShotWhiteXy, double baselineExposure)
{
    m_valid = 1;
    m_baselineExposure = std::isfinite(baselineExposure) ? baselineExposure : 0.0;
    m_twoMatrices = twoMatrices && IsThreeByThree(matrix2);
    m_illuminantA = illuminant1;
    m_illuminantB = illuminant2;
    m_matrixA = matrix1;
    m_matrixB = m_twoMatrices ? matrix2 : CStdMatrix();
    if (m_twoMatrices)
    {
        // The blend of SetWhiteBalance runs from A to B by rising temperature.
        std::uint16_t t1 = 0;
        std::uint16_t t2 = 0;
        if (IlluminantToTemperature(illuminant1, t1) && IlluminantToTemperature(illuminant2, t2) &&
            t1 > t2)
        {
            std::swap(m_illuminantA, m_illuminantB);
            std::swap(m_matrixA, m_matrixB);
        }
    }
    m_asShotNeutral = asShotNeutral;
    m_asShotWhiteXy = asShotWhiteXy;

    GetAsShotWhiteXYZ(m_white);
    CStdVector neutral;
    GetCameraNeutral(neutral);
    for (std::size_t c = 0; c < 3; ++c)
        m_white16[c] = ClampToU16(neutral[c] * 65535.0);
}

void CDNGTranspose::GetCameraNeutral(CStdVector& neutral) const
{
    if (m_asShotNeutral.size() == 3)
        neutral = CStdVector{m_asShotNeutral[0], m_asShotNeutral[1], m_asShotNeutral[2]};
    else if (m_asShotWhiteXy.size() == 2)
        NeutralFromWhiteXy(neutral, m_asShotWhiteXy[0], m_asShotWhiteXy[1]);
    else
        neutral = CStdVector{1.0, 1.0, 1.0};
}

void CDNGTranspose::NeutralFromWhiteXy(CStdVector& neutral, double x, double y) const
{
    neutral = CStdVector{1.0, 1.0, 1.0};
    if (!(y > 0.0) || !std::isfinite(x) || !std::isfinite(y))
        return;
    const CCIEXYZ white = XyToXYZ(x, y);
    CStdMatrix m = CameraMatrixFor(white);
    if (!IsThreeByThree(m) || !m.Invert())
        return;
    CStdVector n = Multiply3x3(m, white);
    const double largest = std::max({n[0], n[1], n[2]});
    if (!(largest > 0.0) || !std::isfinite(largest))
        return;
    n /= largest;
    neutral = n;
}

void CDNGTranspose::GetAsShotWhiteXYZ(CCIEXYZ& white) const
{
    white = CCIEXYZ(1.0, 1.0, 1.0);
    if (m_asShotNeutral.size() == 3)
    {
        const CStdVector neutral{m_asShotNeutral[0], m_asShotNeutral[1], m_asShotNeutral[2]};
        CStdVector w = Multiply3x3(m_matrixA, neutral);
        if (!NormaliseToUnitY(w))
            return;
        if (m_twoMatrices)
        {
            CStdVector wb = Multiply3x3(m_matrixB, neutral);
            if (!NormaliseToUnitY(wb))
                return;
            w += wb;
            w *= 0.5;
            // The mean alone is no fixed point: the blend that its
            // temperature picks maps n to another white, and balancing the
            // mean would leave that difference as a cast on every grey.
            // Every blend lies between A and B, so its image of the neutral
            // keeps a positive Y when both matrices give one.
            for (int round = 0; round < kMaxWhiteRounds; ++round)
            {
                CStdVector next = Multiply3x3(CameraMatrixFor(CCIEXYZ(w)), neutral);
                if (!NormaliseToUnitY(next))
                    break;
                const double moved = ChromaticityDistance(w, next);
                w = next;
                if (moved < kWhiteTolerance)
                    break;
            }
        }
        white = CCIEXYZ(w);
    }
    else if (m_asShotWhiteXy.size() == 2 && m_asShotWhiteXy[1] > 0.0)
    {
        white = XyToXYZ(m_asShotWhiteXy[0], m_asShotWhiteXy[1]);
    }
}

void CDNGTranspose::GetAsShotTemperatureTint(int& temperature, int& tint) const
{
    const CCIEYxy yxy = m_white.ToYxy();
    double duv = 0.0;
    std::uint16_t kelvin = 0;
    CalcColorTemperature(yxy[1], yxy[2], &duv, &kelvin);
    temperature = kelvin;
    tint = static_cast<int>(ClampToInteger(duv * 3000.0, -1000000, 1000000));
}

bool CDNGTranspose::IlluminantToXYZ(int code, CCIEXYZ& xyz)
{
    // EXIF light sources: standard lights A, B, C and the daylights D55,
    // D65, D75, D50, with Y = 100.
    struct Known
    {
        int code;
        double X, Z;
    };
    static constexpr Known kKnown[] = {
        {17, 109.851, 35.582}, {18, 99.09, 85.31},  {19, 98.072, 118.225}, {20, 95.68, 92.14},
        {21, 95.043, 108.879}, {22, 94.96, 122.61}, {23, 96.42, 82.49},
    };
    for (const Known& k : kKnown)
    {
        if (k.code == code)
        {
            xyz = CCIEXYZ(k.X, 100.0, k.Z);
            return true;
        }
    }
    return false;
}

bool CDNGTranspose::IlluminantToTemperature(int code, std::uint16_t& kelvin)
{
    kelvin = 6500;
    CCIEXYZ xyz;
    if (!IlluminantToXYZ(code, xyz))
        return false;
    const CCIEYxy yxy = xyz.ToYxy();
    double duv = 0.0;
    std::uint16_t k = 0;
    if (!CalcColorTemperature(yxy[1], yxy[2], &duv, &k))
        return false;
    kelvin = k;
    return true;
}

CStdMatrix CDNGTranspose::CameraMatrixFor(const CCIEXYZ& white) const
{
    if (!m_twoMatrices)
        return m_matrixA;
    CCIEXYZ lightA;
    CCIEXYZ lightB;
    double mired = 0.0;
    double miredA = 0.0;
    double miredB = 0.0;
    if (MiredOf(white, mired) && IlluminantToXYZ(m_illuminantA, lightA) &&
        IlluminantToXYZ(m_illuminantB, lightB) && MiredOf(lightA, miredA) &&
        MiredOf(lightB, miredB) && miredA > miredB)
    {
        // g = 0 at A's temperature and below it, 1 at B's and beyond.
        const double g = std::clamp((miredA - mired) / (miredA - miredB), 0.0, 1.0);
        return m_matrixA * (1.0 - g) + m_matrixB * g;
    }
    return (m_matrixA + m_matrixB) * 0.5;
}

void CDNGTranspose::SetWhiteBalance(int temperature, int tint, bool asShot, int exposure,
                                    int shadow, const CStdMatrix& workingMatrix,
                                    std::array<std::uint16_t, 3>& white16, CStdMatrix& cameraMatrix,
                                    int& blackLevel) const
{
    CCIEXYZ white;
    CStdVector neutral;
    if (asShot)
    {
        white = m_white;
        white16 = m_white16;
        GetCameraNeutral(neutral);
    }
    else
    {
        // The white of the temperature, moved off the Planckian locus by the
        // tint. A tint so strong that the chromaticity leaves the spectrum
        // triangle is pulled back towards the locus in steps of 1/3000.
        // Temperatures below 1563 K have no chromaticity in the table.
        const auto kelvin = static_cast<std::uint16_t>(std::clamp(temperature, 1563, 65535));
        const double duv = tint / 3000.0;
        double x = 0.0;
        double y = 0.0;
        for (int i = 0; i <= 150; ++i)
        {
            const double step = i / 3000.0;
            const double d = duv > 0.0 ? std::max(duv - step, 0.0) : std::min(duv + step, 0.0);
            ColorTemperatureToXy(kelvin, d, &x, &y);
            if (d == 0.0 || (x > 0.0 && x < 1.0 && y > 0.0 && y < 1.0 && x + y < 1.0))
                break;
        }
        white = y > 0.0 ? XyToXYZ(x, y) : CCIEXYZ(0.0, 0.0, 0.0);
        NeutralFromWhiteXy(neutral, x, y);
        for (std::size_t c = 0; c < 3; ++c)
            white16[c] = std::max(ClampToU16(neutral[c] * 65535.0), m_white16[c]);
    }

    // The camera's white goes to D65 (the working spaces' white). A white
    // with a component that is not positive has no meaning as a white: no
    // balance is applied then.
    const CCIEXYZ d65(0.95043, 1.0, 1.08879);
    if (!AllPositiveFinite(white))
        white = d65;
    const CStdMatrix camera = CameraMatrixFor(white);

    // k = (M n)_Y: dividing by it makes the camera neutral land at Y = 1, and
    // diag(D65 / W) keeps Y, so the balance alone leaves a grey's level as
    // it is; only the file's baseline exposure and the exposure parameter
    // (hundredths of a stop) scale it. A neutral that M sends to Y <= 0 has
    // no level to keep.
    double k = Multiply3x3(camera, neutral)[1];
    if (!(k > 0.0) || !std::isfinite(k))
        k = 1.0;
    const double scale = std::exp2(m_baselineExposure + exposure / 100.0);
    const CStdMatrix s(CStdVector{d65[0] / white[0] * scale, d65[1] / white[1] * scale,
                                  d65[2] / white[2] * scale});

    // 16-bit camera values to XYZ with the white at Y = 100 (65535 / 100 =
    // 655.35), then to the working space's 16-bit RGB.
    const CStdMatrix p = s * camera * (1.0 / (655.35 * k));
    CStdMatrix toWorking = workingMatrix;
    if (!IsThreeByThree(toWorking) || !toWorking.Invert())
        toWorking = CStdMatrix::Identity();
    cameraMatrix = toWorking * p;

    blackLevel = static_cast<int>(ClampToInteger(shadow * 0.25 / 255.0 * 65535.0, -65535, 65535));
}
