#pragma once
// The RAW development step (slot 1): white balance (as shot, or a colour
// temperature with a tint), exposure and shadow of a DNG or converted
// camera RAW image.
//
// PrepareApply asks the image's DNG colour description for the development
// of these parameters: per-channel clip levels c (the camera white in 16
// bits), a 3x3 matrix M from camera RGB to working RGB (exposure included)
// and a black offset b. Each pixel then develops as
//     out = clamp(M * min(in, c) - b, 0, 65535), truncated,
// on the 16-bit camera-RGB working image in place. An image without a DNG
// description passes unchanged.

#include "core/StdMatrix.h"
#include "correction/BaseDoc.h"

#include <array>
#include <cstdint>

// The persisted parameters of the development.
struct DNGParams
{
    int AsShot = 1;         // 1 as shot; 0 by Temperature and Tint
    int Temperature = 6500; // kelvin
    int Tint = 0;           // passed to the colour description unchanged
    int Exposure = 0;       // hundredths of a stop
    int Shadow = 0;         // black-level correction, 0..100

    bool operator==(const DNGParams&) const = default;
};

// The development prepared for one image: clip levels, matrix and black
// offset from the DNG description.
struct DNGDevelopment
{
    bool prepared = false;
    std::array<std::uint16_t, 3> clipLevel{65535, 65535, 65535};
    int blackOffset = 0;
    CStdMatrix developMatrix = CStdMatrix::Identity(3);
    // developMatrix row-major, as the pixel loop reads it (identity when the
    // matrix is not 3x3).
    std::array<double, 9> matrix{1, 0, 0, 0, 1, 0, 0, 0, 1};
};

class CDNGParamDoc : public CDocOf<CDNGParamDoc, DNGParams, DNGDevelopment>
{
public:
    // AsShot is read as any integer and kept as 1 exactly when it was 1.
    static constexpr ParamDef<DNGParams> kParamTable[] = {
        {"AsShot", &DNGParams::AsShot, 1, 0, 1, ParamRead::AnyValue},
        {"Temperature", &DNGParams::Temperature, 6500, 2000, 50000},
        {"Tint", &DNGParams::Tint, 0, -150, 150},
        {"Exposure", &DNGParams::Exposure, 0, -400, 400},
        {"Shadow", &DNGParams::Shadow, 0, 0, 100},
    };

    CDNGParamDoc() = default;

    // AsShot, Exposure and Shadow equal, and with AsShot 0 also
    // Temperature and Tint.
    static bool SameParams(const DNGParams& a, const DNGParams& b);

    bool LoadParams(const CParamFileReader& file) override;
    bool SaveParams(CParamFileWriter& file) const override;
    std::string GetSectionName() const override;

    // Asks raw (the image's DNG description) for the development on the
    // working space of source; without raw the document is not prepared
    // and Apply leaves the image alone. Always true.
    bool PrepareApply(const CDNGTranspose* raw, CAccessRGBImageByLab& source,
                      std::vector<std::string>* details, double scale) override;

    // Develops the rectangle (null: the whole image) in place, row by row
    // with a progress report after each row. False when progress asked
    // to stop (rows done stay developed).
    bool Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress,
               int mode) const override;

    // The prepared development: sets it directly (as PrepareApply does with
    // what the DNG description gives), marking the document prepared.
    void SetDevelopment(const std::array<std::uint16_t, 3>& clipLevel,
                        const CStdMatrix& developMatrix, int blackOffset);
    bool IsPrepared() const { return m_prepared.prepared; }
    const std::array<std::uint16_t, 3>& GetClipLevel() const { return m_prepared.clipLevel; }
    int GetBlackOffset() const { return m_prepared.blackOffset; }
    const CStdMatrix& GetDevelopMatrix() const { return m_prepared.developMatrix; }

    // out = m * in for a row-major 3x3 matrix.
    static void MultiplyMatrixVector(const double* m, const double* in, double* out);
};
