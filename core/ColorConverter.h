#pragma once
// One image's colour management: the input profile of the image, the
// working-space profile, the output (monitor) profile, and what the
// conversions derive from them: tone tables, matrices, the colour engine's
// transform, and the colour-conversion LUT transforms.
//
// The working image holds linear RGB in the input profile's primaries
// (device values already through the input tone curves). Two paths turn it
// into monitor RGB, chosen by UseOsCmm (core/UseOsCmm.h):
//   0  the program's own: the input-to-output matrix
//          M_io = M_out^-1 A M_in
//      (M_in, M_out: linear 16-bit RGB -> XYZ with white Y = 100, the
//      colorants adapted back to each profile's media white; A adapts the
//      input's white to the output's through the PCS white D50, as each
//      profile was made: relative colorimetric, as the colour engine
//      converts), then the output profile's inverse tone tables;
//   1  the LittleCMS transform from "the input space made linear" (a
//      matrix/shaper profile with the input's colorants and gamma 1.0
//      curves, CreateLinearInputProfile) to the output profile.
// Both are handed out (GetInputToOutputMatrix, GetOutputInverseTRC,
// GetTransform) to the image readers (CReadRGBImage, CopyRectConverted);
// XYZToOutputRGB reads UseOsCmm at each call.
//
// Colour-conversion LUTs: every "*.csv" file (extension compared without
// regard to case) of the LUT folder, in name order, becomes a device-link
// transform (CColorProfile::LoadLUTFromCSV), at most 24 of them. The user
// picks one per image by its name (the file title); its transform is applied
// after the display conversion.
//
// Used from the user-interface thread. The transforms are made without
// LittleCMS's pixel cache, so readers on other threads may convert through
// them while nothing rebuilds the converter.

#include "core/CIEColor.h"
#include "core/ColorProfile.h"
#include "core/ColorTransform.h"
#include "core/GammaTable.h"
#include "core/RGB16.h"
#include "core/StdMatrix.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

// String 3046: "色変換LUTファイルは %dまで登録可能です。" (LUT files can be
// registered up to %d), shown with "24" when a 25th LUT file is met.
inline constexpr int kStrLutLimitReached = 3046;
// String 30001: "色変換LUTファイルを読み込めません: %s" (the LUT file cannot be
// read: reason), shown for each LUT file that is refused, with the reason
// (which names the file) as the argument.
inline constexpr int kStrLutFileRejected = 30001;

// The most LUT transforms a converter holds.
inline constexpr std::size_t kMaxLUTTransforms = 24;

// LittleCMS flags of the 16-bit transforms that feed the working image's
// display (CColorTransform adds "no pixel cache" for readers on several
// threads): where LittleCMS precalculates a transform into a grid, its
// finest grid, so that the steep start of a gamma-encoding curve keeps its
// shadow steps. (From a linear 16-bit RGB input, as the converter's
// transform has, LittleCMS evaluates the whole pipeline without a grid in
// any case; the LUT device links are resampled into one.)
inline constexpr cmsUInt32Number kWorkingTransformFlags = cmsFLAGS_HIGHRESPRECALC;

// A calibrated-RGB colour-space record (CColorProfile::GetLogColorSpace) as
// a LittleCMS matrix/shaper profile of ICC version 2.1: the endpoints as
// colorants, their sum (full drive of all three) as the media white, one
// power-law curve per channel with the record's gamma, and the rendering
// intent that the record's intent stands for. Null for a record that is not
// calibrated RGB, whose white has no positive Y, or with a gamma that is not
// positive. Profiles are made in the quiet context (QuietLcmsContext).
LcmsProfilePtr CreateLcmsProfileFromLogColorSpace(const LogColorSpace& lcs);
// The LittleCMS intent of the record's gamut-match intent: graphics is
// relative colorimetric, business saturation, absolute colorimetric itself,
// images (and anything else) perceptual.
cmsUInt32Number LcmsIntentFromLogColorSpace(const LogColorSpace& lcs);

// The input profile made linear: its colour-space record with every gamma
// 1.0 (GetLogColorSpace, linear) as a LittleCMS profile. The endpoints are
// the colorants as the profile stores them (already adapted to the D50
// connection space) over the white's Y. Null when the record cannot be made.
//
// Why the stored colorants, and not primaries and a white given to
// cmsCreateRGBProfile: LittleCMS would adapt those to D50 once more
// (Bradford with its own constants), on top of our own adaptation back to
// the media white and the s15Fixed16 rounding of the tags. With the stored
// values the transform's matrix is M_out,D50^-1 M_in,D50, which is the own
// path's M_out^-1 M_in exactly when input and output share their media
// white, since the two adaptations to D50 cancel. Measured over a grid of
// linear colours between version-2 matrix profiles, it is the closer of the
// two to the own-table path (Adobe-RGB-like to sRGB: largest difference 14
// against 20 sixteen-bit steps, summed difference 30 % lower).
LcmsProfilePtr CreateLinearInputProfile(const CColorProfile& input);

class CColorConverter
{
public:
    // Empty profiles, tables and matrices, no transform; then the LUT
    // transforms of the program data folder's "Lut/" folder.
    CColorConverter();
    // The same with the LUT files of the given folder (a trailing '/' is
    // optional); an empty folder name loads none.
    explicit CColorConverter(const std::string& lutFolder);
    virtual ~CColorConverter();
    CColorConverter(const CColorConverter&) = delete;
    CColorConverter& operator=(const CColorConverter&) = delete;

    // Builds everything from an input, a working and an output profile. The
    // input and working profiles are copied; the output profile is borrowed
    // (the process-wide monitor profile) and must outlive its use here.
    //
    // The current input and working copies are dropped first. When an
    // argument is null the call stops there, with false: the converter has
    // no input or working profile, and the tables, matrices and transform of
    // the last build stay as they were. Otherwise:
    //   input tone table and inverse, output inverse tone table, input
    //   matrix: rebuilt where the profile yields them, else left as they
    //   were (with UseOsCmm = 1 a profile need not have them);
    //   input-to-output matrix: M_out^-1 A M_in, the identity when the
    //   output profile yields no matrix;
    //   transform: rebuilt from CreateLinearInputProfile (input) to the
    //   output profile. When it cannot be made the old one is dropped as
    //   well (no transform) and the result is false: an image is never
    //   shown through the previous image's transform.
    bool SetProfiles(const CColorProfile* input, const CColorProfile* working,
                     const CColorProfile* output);
    // Replaces the input copy and rebuilds the input tables, the input
    // matrix, the input-to-output matrix and the transform (as above).
    // False, changing nothing, for null or before an output profile is set;
    // false as well when the transform cannot be made.
    bool SetInputProfile(const CColorProfile* profile);
    // Borrows a new output profile (the monitor profile changed) and
    // rebuilds the output inverse tone table, the input-to-output matrix and
    // the transform. False, changing nothing, for null or before an input
    // profile is set; false as well when the transform cannot be made.
    bool SetOutputProfile(const CColorProfile* profile);

    // The output profile's name, empty when there is none.
    std::string GetOutputProfileName() const;

    // XYZ colours (white Y = 100) to monitor RGB16. With UseOsCmm = 0: the
    // matrix M_io M_in^-1 to linear output RGB (clamped to 0..65535,
    // truncated), then the output inverse tone tables. Otherwise: M_in^-1 to
    // linear input RGB (clamped, truncated), then the transform over the
    // whole list in one call; without a transform the pixels are the linear
    // input RGB.
    void XYZToOutputRGB(const CCIEXYZ* xyz, RGB16* pixels, std::size_t count) const;
    // One XYZ to input device RGB16: M_in^-1, then the input inverse tone
    // tables.
    void XYZToInputRGB(const CCIEXYZ& xyz, RGB16& pixel) const;
    // One input device RGB16 to XYZ: the input tone tables, then M_in.
    void InputRGBToXYZ(const RGB16& pixel, CCIEXYZ& xyz) const;
    // Whether the first colour of the list lies inside the input space: all
    // three linear input channels (M_in^-1 xyz) strictly between -256 and
    // 65791. An empty list, or no input matrix, is outside. inside receives
    // the result, which is also returned.
    bool IsInInputGamut(bool& inside, std::span<const CCIEXYZ> xyz) const;
    // The input space's white: M_in (1, 1, 1) scaled to Y = 100; (0, 0, 0)
    // without an input matrix.
    CCIEXYZ GetWhiteXYZ() const;

    // Rebuilds the LUT list from the converter's LUT folder. Files are
    // taken in name order; directories and other non-regular entries are
    // passed by. A file that cannot be used is reported (kStrLutFileRejected)
    // and passed by; it does not count. When 24 transforms are held and
    // another file is met, kStrLutLimitReached is shown once with "24" and
    // the search ends.
    void LoadLUTTransforms();
    // Drops every LUT transform and name.
    void FreeLUTTransforms();
    // Builds the transform of one LUT file and appends it with its name (the
    // file title). False, and *error (when given) the reason, naming the
    // file, when the file or its transform cannot be used.
    bool CreateLUTTransform(const std::string& path, std::string* error = nullptr);

    const std::string& GetLUTFolder() const { return m_lutFolder; }
    std::size_t GetLUTCount() const { return m_lutTransforms.size(); }
    const std::vector<std::string>& GetLUTNames() const { return m_lutNames; }
    // The LUT transform at index, null outside the list.
    const CColorTransform* GetLUTTransform(std::size_t index) const;
    // The LUT transform of the name (case-sensitive), null when none.
    const CColorTransform* FindLUTTransform(const std::string& name) const;

    // What the project hands to the image conversions.
    const CColorProfile* GetInputProfile() const { return m_inputProfile.get(); }
    const CColorProfile* GetWorkingProfile() const { return m_workingProfile.get(); }
    const CColorProfile* GetOutputProfile() const { return m_outputProfile; }
    const CRGBGammaTable& GetInputTRC() const { return m_inputTRC; }
    const CRGBGammaTable& GetInputInverseTRC() const { return m_inputInverseTRC; }
    const CRGBGammaTable& GetOutputInverseTRC() const { return m_outputInverseTRC; }
    // Linear input RGB16 -> XYZ (white Y = 100); 0 x 0 until built.
    const CStdMatrix& GetInputMatrix() const { return m_inputMatrix; }
    // Linear input RGB -> linear output RGB.
    const CRGBMatrix& GetInputToOutputMatrix() const { return m_inputToOutputMatrix; }
    // The transform, null when there is none.
    const CColorTransform* GetTransform() const
    {
        return m_transform.IsValid() ? &m_transform : nullptr;
    }

private:
    void BuildInputTables();
    void BuildOutputTable();
    // M_io and the derived XYZ matrices.
    void BuildMatrices();
    // A: the input's media white to the output's through the PCS (the
    // identity when either profile gives no colorants).
    CStdMatrix WhiteAdaptation() const;
    bool BuildTransform();

    std::unique_ptr<CColorProfile> m_inputProfile;
    std::unique_ptr<CColorProfile> m_workingProfile;
    const CColorProfile* m_outputProfile = nullptr;
    CRGBGammaTable m_inputTRC;
    CRGBGammaTable m_inputInverseTRC;
    CRGBGammaTable m_outputInverseTRC;
    CStdMatrix m_inputMatrix;
    CRGBMatrix m_inputToOutputMatrix;
    // Derived: M_in^-1 (XYZ -> linear input RGB) and M_io M_in^-1 (XYZ ->
    // linear output RGB).
    CRGBMatrix m_xyzToInput;
    CRGBMatrix m_xyzToOutput;
    CColorTransform m_transform;

    std::string m_lutFolder;
    std::vector<CColorTransform> m_lutTransforms;
    std::vector<std::string> m_lutNames;
};
