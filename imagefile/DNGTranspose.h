#pragma once
// The colour description of one DNG file: two camera-to-XYZ matrices with
// their calibration illuminants, the as-shot white (as a camera neutral or as
// a chromaticity) and the white derived from them. It yields the matrix that
// takes 16-bit camera values to the working space for a chosen white
// balance, exposure and shadow level.
//
// Matrix A always belongs to the illuminant of the lower colour temperature,
// so that a white between the two illuminants blends the matrices linearly in
// kelvin: CM = f B + (1 - f) A with f = (K - T_A) / (T_B - T_A).

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
    // has 3 values, asShotWhiteXy when it has 2.
    void Setup(int illuminant1, int illuminant2, const CStdMatrix& matrix1,
               const CStdMatrix& matrix2, bool twoMatrices,
               const std::vector<double>& asShotNeutral, const std::vector<double>& asShotWhiteXy);

    // The camera's neutral (camera values of the as-shot white, largest 1):
    // the as-shot neutral, else the neutral of the as-shot chromaticity, else
    // (1, 1, 1).
    void GetCameraNeutral(CStdVector& neutral) const;
    // neutral = M^-1 XYZ(x, y, Y = 1) divided by its largest component, with
    // M = A, or (A + B) / 2 with two matrices. (1, 1, 1) when M cannot be
    // inverted, y is not positive or the result has no positive component.
    void NeutralFromWhiteXy(CStdVector& neutral, double x, double y) const;
    // The as-shot white with Y = 1: the camera matrices applied to the as-shot
    // neutral (the mean of both with two matrices), else XYZ of the as-shot
    // chromaticity, else (1, 1, 1) (also when the result would have Y <= 0).
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
    // workingMatrix is the working space's RGB-to-XYZ matrix (16-bit RGB,
    // white at Y = 100). Gives the camera white in 16 bits (clip levels), the
    // camera-to-working matrix and the black level. Temperatures are taken
    // within 1563..65535 K (the range that has a chromaticity); a white with
    // a component that is not positive balances nothing (taken as D65); a
    // working matrix that cannot be inverted counts as the identity.
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

private:
    // The camera matrix for a white W: A, or the blend of A and B by W's
    // temperature (the mean when the temperatures are not usable).
    CStdMatrix CameraMatrixFor(const CCIEXYZ& white) const;

    int m_valid = 0;
    int m_illuminantA = 0;
    int m_illuminantB = 0;
    CStdMatrix m_matrixA;
    CStdMatrix m_matrixB;
    bool m_twoMatrices = false;
    std::vector<double> m_asShotNeutral;
    std::vector<double> m_asShotWhiteXy;
    CCIEXYZ m_white{1.0, 1.0, 1.0};
    std::array<std::uint16_t, 3> m_white16{65535, 65535, 65535};
};
