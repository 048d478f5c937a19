#pragma once
// Colour values of three doubles with the conversions between them:
// CIE XYZ tristimulus values, CIE 1976 L*a*b*, its cylindrical form LCh
// (hue in degrees), and Yxy (luminance and chromaticity). Also the standard
// white points, the CIE daylight locus and the correlated colour
// temperature with its distance from the Planckian locus.
//
// Each type always holds exactly three components. Giving one fewer than
// three values (SetData, construction from a shorter vector) is a caller
// error: it asserts in debug builds; in release builds the missing
// components are 0.

#include "core/StdVector.h"

#include <cstdint>
#include <span>
#include <vector>

// White points by code, each with Y = 100.
enum class StandardIlluminant : int
{
    A = 1,
    D65 = 2,
    C = 3,
    D50 = 4,
    D55 = 5,
    D75 = 6,
    B = 7,
};

class CCIELab;
class CCIEYxy;

class CCIEXYZ : public CStdVector
{
public:
    CCIEXYZ() : CCIEXYZ(0.0, 0.0, 0.0) {}
    CCIEXYZ(double X, double Y, double Z);
    explicit CCIEXYZ(std::span<const double> values);
    explicit CCIEXYZ(const std::vector<double>& values);
    explicit CCIEXYZ(const CStdVector& v);
    // The white point of the illuminant; any unknown code gives (0, 0, 0).
    explicit CCIEXYZ(StandardIlluminant code);

    CCIEXYZ& operator=(const CStdVector& v);
    void SetData(std::span<const double> values) override;

    CCIEXYZ operator*(double k) const;

    CCIELab ToLab(const CCIEXYZ& white) const;
    CCIEYxy ToYxy() const;
};

class CCIELCh;

class CCIELab : public CStdVector
{
public:
    CCIELab() : CCIELab(0.0, 0.0, 0.0) {}
    CCIELab(double L, double a, double b);
    explicit CCIELab(const CStdVector& v);

    CCIELab& operator=(const CStdVector& v);
    void SetData(std::span<const double> values) override;

    CCIEXYZ ToXYZ(const CCIEXYZ& white) const;
    // With the D65 white (95.043, 100, 108.879).
    CCIEXYZ ToXYZ() const;
    CCIELCh ToLCh() const;

    // CIE 1976 colour difference: the Euclidean distance of the components.
    static double DeltaE(const CCIELab& p, const CCIELab& q);
};

class CCIELCh : public CStdVector
{
public:
    CCIELCh() : CCIELCh(0.0, 0.0, 0.0) {}
    CCIELCh(double L, double C, double h);
    explicit CCIELCh(std::span<const double> values);
    explicit CCIELCh(const std::vector<double>& values);
    explicit CCIELCh(const CStdVector& v);

    CCIELCh& operator=(const CStdVector& v);
    void SetData(std::span<const double> values) override;

    CCIELab ToLab() const;

    // True when any component differs (exact comparison).
    bool operator!=(const CCIELCh& other) const;
};

class CCIEYxy : public CStdVector
{
public:
    CCIEYxy() : CCIEYxy(0.0, 0.0, 0.0) {}
    CCIEYxy(double Y, double x, double y);
    explicit CCIEYxy(const CStdVector& v);

    CCIEYxy& operator=(const CStdVector& v);
    void SetData(std::span<const double> values) override;

    CCIEXYZ ToXYZ() const;
};

// XYZ with Y = 1 of the CIE daylight illuminant of the given correlated
// colour temperature. The daylight formulas hold from 4000 to 25000 K;
// kelvin outside 1000..25000 is taken as the nearer end of that range.
CCIEXYZ GetDaylightXYZ(int kelvin);

// Correlated colour temperature of the chromaticity (x, y) by Robertson's
// method over the isotemperature lines of the Planckian locus, and duv, the
// signed distance from the locus in the CIE 1960 (u, v) diagram (positive
// above the locus, towards green). False (kelvin 0, duv 0) outside the
// table: beyond infinite temperature, below 1562 K, or for a chromaticity
// that has no (u, v). The kelvin is clamped to 1..65535.
bool CalcColorTemperature(double x, double y, double* duv, std::uint16_t* kelvin);
// The same temperature as a reciprocal, mired = 1e6 / kelvin, unrounded:
// the scale on which temperatures interpolate (0 on failure).
bool CalcColorTemperatureMired(double x, double y, double* duv, double* mired);

// The chromaticity at colour temperature kelvin and distance duv from the
// Planckian locus. False when 1e6 / kelvin is not strictly between 0 and 640
// mired (kelvin 0 included); x and y are then untouched.
bool ColorTemperatureToXy(std::uint16_t kelvin, double duv, double* x, double* y);
