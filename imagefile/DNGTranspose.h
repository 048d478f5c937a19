#pragma once
// The colour description of one DNG file: two camera-to-XYZ matrices with
// their calibration illuminants, the as-shot white (as a camera neutral or as
// a chromaticity) and the white derived from them. It yields the matrix that
// takes 16-bit camera values to the working space for a chosen white
// balance, exposure and shadow level.
//
// Matrix A always belongs to the illuminant of the lower colour temperature
// (T_A), matrix B to the higher (T_B). A white of correlated colour
// temperature T blends them linearly in mired (m = 1e6 / T):
//     g = clamp((m_A - m) / (m_A - m_B), 0, 1),   M(T) = (1 - g) A + g B,
// so A alone serves every white warmer than T_A and B alone every white
// cooler than T_B: the matrices are never extrapolated.
//
// A camera neutral n (the camera values of a white surface, largest
// component 1) and a white W (XYZ, Y = 1) belong together when
// M(T(W)) n is proportional to W. The as-shot white is solved to that
// condition, and the development brings M's image of the neutral to Y = 1,
// so that white balance moves colours but never the level of a grey.

#include "core/CIEColor.h"
#include "core/StdMatrix.h"
#include "core/StdVector.h"

#include <array>
#include <cstdint>
#include <vector>

class CDNGTranspose
{
public:
    CDNGTranspose();
    CDNGTranspose(const CDNGTranspose&) = default;
    CDNGTranspose& operator=(const CDNGTranspose&) = default;
    virtual ~CDNGTranspose() = default;

    // Stores the file's colour description. matrix1 belongs to illuminant1
    // (CalibrationIlluminant1), matrix2 to illuminant2; matrix2 is used only
    // when twoMatrices is set and it is 3x3. Inside, the pair is ordered so
    // that A has the lower temperature (when both illuminants are known and
    // differ); a one-matrix file uses matrix1. asShotNeutral is used when it
    // has 3 values, asShotWhiteXy when it has 2. The development normalises
    // the matrices' common scale away; baselineExposure (stops) is the
    // file's own exposure offset, applied as 2^baselineExposure beside the
    // exposure parameter.
    void Setup(int illuminant1, int illuminant2, const CStdMatrix& matrix1,
               const CStdMatrix& matrix2, bool twoMatrices,
               const std::vector<double>& asShotNeutral, const std::vector<double>& asShotWhiteXy,
               double baselineExposure = 0.0);

    // The camera's neutral (camera values of the as-shot white, largest 1):
    // the as-shot neutral, else the neutral of the as-shot chromaticity, else
    // (1, 1, 1).
    void GetCameraNeutral(CStdVector& neutral) const;
    // neutral = M^-1 W divided by its largest component, W = XYZ(x, y, Y = 1)
    // and M = M(T(W)), the blend that the development uses for W. (1, 1, 1)
    // when M cannot be inverted, y is not positive or the result has no
    // positive component.
    void NeutralFromWhiteXy(CStdVector& neutral, double x, double y) const;
    // The as-shot white with Y = 1. From the as-shot neutral n: one matrix
    // gives W = A n / (A n)_Y; two matrices start from the mean of A n and
    // B n (each at Y = 1) and repeat W <- M(T(W)) n / (M(T(W)) n)_Y until
    // W's chromaticity moves by less than 1e-10 (at most 30 times), so that
    // the blend chosen by W maps n onto W. Else XYZ of the as-shot
    // chromaticity, else (1, 1, 1) (also when n maps to Y <= 0).
    void GetAsShotWhiteXYZ(CCIEXYZ& white) const;
    // Correlated colour temperature (kelvin) and tint (duv x 3000, truncated)
    // of the as-shot white; both 0 when it has none.
    void GetAsShotTemperatureTint(int& temperature, int& tint) const;

    // White point (Y = 100) of the EXIF light-source codes 17 to 23.
    static bool IlluminantToXYZ(int code, CCIEXYZ& xyz);
    // Correlated colour temperature of a known code; kelvin = 6500 and false
    // for any other.
    static bool IlluminantToTemperature(int code, std::uint16_t& kelvin);

    // The development for a white balance: as shot, or the white of
    // temperature (kelvin) and tint (duv x 3000); exposure in hundredths of a
    // stop; black level = shadow x 0.25 / 255 x 65535, truncated.
    // workingMatrix is the working space's RGB-to-XYZ matrix R (16-bit RGB,
    // white at Y = 100). Gives the camera white in 16 bits (clip levels), the
    // camera-to-working matrix and the black level:
    //     k = (M n)_Y,  cameraMatrix = R^-1 diag(D65 / W) M / k
    //                                  x 2^(baselineExposure + exposure / 100) / 655.35
    // with W the white, M = M(T(W)) and n the camera neutral of W (as shot,
    // or M^-1 W for a chosen white), so the neutral at full scale
    // (65535 n) lands on the working white times the exposure factors
    // alone. Temperatures are taken within 1563..65535 K (the range that
    // has a chromaticity); a white with a component that is not positive
    // balances nothing (taken as D65); a working matrix that cannot be
    // inverted counts as the identity.
    void SetWhiteBalance(int temperature, int tint, bool asShot, int exposure, int shadow,
                         const CStdMatrix& workingMatrix, std::array<std::uint16_t, 3>& white16,
                         CStdMatrix& cameraMatrix, int& blackLevel) const;

    bool IsValid() const { return m_valid != 0; }
    int GetIlluminantA() const { return m_illuminantA; }
    int GetIlluminantB() const { return m_illuminantB; }
    const CStdMatrix& GetMatrixA() const { return m_matrixA; }
    const CStdMatrix& GetMatrixB() const { return m_matrixB; }
    bool HasTwoMatrices() const { return m_twoMatrices; }
    const std::vector<double>& GetAsShotNeutral() const { return m_asShotNeutral; }
    const std::vector<double>& GetAsShotWhiteXy() const { return m_asShotWhiteXy; }
    const CCIEXYZ& GetWhite() const { return m_white; }
    const std::array<std::uint16_t, 3>& GetWhite16() const { return m_white16; }

    double GetBaselineExposure() const { return m_baselineExposure; }

private:
    // The camera matrix for a white W: A, or M(T(W)), the blend of A and B
    // by W's temperature in mired, held within the two illuminants (the mean
    // when the temperatures are not usable).
    CStdMatrix CameraMatrixFor(const CCIEXYZ& white) const;

    int m_valid = 0;
    int m_illuminantA = 0;
    int m_illuminantB = 0;
    CStdMatrix m_matrixA;
    CStdMatrix m_matrixB;
    bool m_twoMatrices = false;
    std::vector<double> m_asShotNeutral;
    std::vector<double> m_asShotWhiteXy;
    double m_baselineExposure = 0.0;
    CCIEXYZ m_white{1.0, 1.0, 1.0};
    std::array<std::uint16_t, 3> m_white16{65535, 65535, 65535};
};
