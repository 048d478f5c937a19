#pragma once
// The agent's own ICC monitor-profile encoder and decoder.
//
// A profile written here is an ICC version 2 display profile of the
// matrix/TRC kind: a 128-byte header, the tag count, the tag table and up
// to nine tags in this order:
//     rXYZ gXYZ bXYZ   colorants (the RGB -> XYZ matrix, D50-adapted)
//     rTRC gTRC bTRC   256-entry tone curves, one gamma for all channels
//     wtpt             the monitor's own white, scaled to Y = 1
//     cprt desc        notice and description texts (left out when unset)
// Everything in the file is big-endian. The encoder is the agent's own:
// nothing of a colour-management library is used to write or read these
// bytes.
//
// The decoder reads back only what comparing two profiles needs (the three
// colorants, the white point and the three curves, see IccCompareRecord)
// and trusts no field of the file: tag counts are capped, every read is of
// exactly the bytes a tag needs, and a tag's type signature must match.
// Curves of other profiles come in other forms (a table of 1,024 entries, a
// gamma alone, a parametric function): each is evaluated at the 256 drive
// values that our own curves sample, so any of them compares with ours.

#include "agent/TraceLog.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <utility>
#include <vector>

// An XYZ triple (or, where said, chromaticity x, y and luminance Y).
struct IccXyz
{
    double X = 0.0;
    double Y = 0.0;
    double Z = 0.0;
};

inline constexpr int kIccCurveSize = 256;
using IccCurve = std::array<std::uint16_t, kIccCurveSize>;

// What the decoder yields and what the builder exports, so that a profile
// on disk and the one the monitor's current settings call for can be
// compared: the red, green, blue and white XYZ, then the red, green and blue
// tone curves.
struct IccCompareRecord
{
    IccXyz red;
    IccXyz green;
    IccXyz blue;
    IccXyz white;
    std::array<IccCurve, 3> curves{}; // red, green, blue
};

// A four-character ICC signature as the 32-bit number the file holds.
constexpr std::uint32_t IccSignature(const char (&text)[5])
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[3]));
}

// ICC s15Fixed16Number: two's complement with 16 fraction bits. The
// fraction is truncated towards zero, not rounded. Values beyond the range
// (-32768 .. 32767.99998) clamp to its ends; NaN encodes as 0.
std::int32_t ToS15Fixed16(double value);
double FromS15Fixed16(std::uint32_t value);

// Chromaticity: x = X / (X + Y + Z), y = Y / (X + Y + Z); Y passes on.
// Returned as {x, y, Y} in the fields X, Y, Z.
IccXyz XyzToXy(double X, double Y, double Z);

// The D50-adapted colorants of a display with the given primaries and white
// (any scale: each triple is reduced to its chromaticity first).
//
// With P the matrix whose columns are the red, green and blue chromaticities
// and w the white's chromaticity, S = P^-1 w scales the primaries so that
// RGB = (1, 1, 1) gives w: M = P diag(S). Bradford then carries w to D50:
// A = MB^-1 diag((MB D50) / (MB w)) MB, and the colorants are the columns of
// A M, so that their sum is D50 with Y = 1.
//
// False when a triple sums to zero, P is singular, or any value on the way
// is not finite.
bool CalcAdaptedColorants(const IccXyz& red, const IccXyz& green, const IccXyz& blue,
                          const IccXyz& white, std::array<IccXyz, 3>& colorants);

// The same computation on a record: its red, green and blue become the
// adapted colorants (the white stays). Used to compare an exported record
// with a decoded one, whose colorants are adapted already.
bool AdaptPrimaries(IccCompareRecord& record);

class CIccProfileBuilder
{
public:
    // One tag of the table; data holds the tag's bytes as the file has them.
    struct TagEntry
    {
        std::uint32_t signature = 0;
        std::uint32_t offset = 0; // set when saving
        std::uint32_t size = 0;
        std::vector<std::uint8_t> data;
    };

    // Everything unset; the colour directory is read (and created) now.
    CIccProfileBuilder();

    // The monitor's primaries and white (white with Y = 1). False, with the
    // old values kept, when a value is not finite.
    bool SetPrimaries(const IccXyz& red, const IccXyz& green, const IccXyz& blue,
                      const IccXyz& white);
    // The tone curves' exponent: stores it and builds the curves
    // (SetGammaCurves). False, with the old curves kept, for a gamma that is
    // not finite or not above 0.
    bool SetGamma(double gamma);
    double Gamma() const { return m_gamma; }
    const IccCurve& Curve() const { return m_curve16; }

    // The source primaries and white (unadapted) and the curves; false when
    // any of them is unset.
    bool Export(IccCompareRecord& record) const;

    // Texts of the "desc" and "cprt" tags.
    void SetDescription(std::string text);
    void SetNotice(std::string text);

    // The white-point tag (X / Y, 1, Z / Y of the source white) and the
    // colorants from the primaries, in s15Fixed16. False when anything is
    // unset, the maths fails (see CalcAdaptedColorants) or a value does not
    // fit into s15Fixed16.
    bool CalcColorants();

    // Replaces a tag of the same signature (the others keep their order)
    // by appending a copy of the data.
    void SetTag(std::uint32_t signature, std::span<const std::uint8_t> data);
    void ClearTags() { m_tags.clear(); }
    const std::vector<TagEntry>& Tags() const { return m_tags; }

    // Fills the header with the local time now, or with the given local
    // time (nullptr: time not available, the date is 0-0-0 and the time
    // fields FFFFh).
    void StampHeader();
    void StampHeader(const std::tm* localTime);
    const std::array<std::uint8_t, 128>& Header() const { return m_header; }

    // Stamps the header and sets the nine tags (CalcColorants first). False,
    // with the table as it was, when primaries, white or gamma are unset or
    // the colorants cannot be computed.
    bool BuildTags();

    // Writes header, tag table and tags to path, replacing the file as a
    // whole. Only the table's offsets are updated; the tags keep their
    // bytes, so the builder can be saved again.
    bool Save(const std::string& path);

    // Decodes the colorants, white point and curves of a profile file into
    // the record. True when all seven were found (distinct tags, valid
    // types); otherwise the trace names the tags missing, and the kind of
    // a curve tag that cannot be read. The file is opened read-only and
    // never created.
    bool Load(const std::string& path, IccCompareRecord& record) const;

    // The monitor whose profile is meant (a display device ID of the
    // association store; empty: the default display).
    void SetDeviceId(std::string deviceId) { m_deviceId = std::move(deviceId); }
    const std::string& DeviceId() const { return m_deviceId; }

    // which 0: the display's current profile (its full path in the colour
    // directory); which 1: the remembered path. False for other values.
    bool GetCurrentIcmProfileName(int which, std::string& name) const;
    // The profile that the next installation takes off the display.
    void SetCurrentProfilePath(const std::string& path);
    bool HasCurrentProfilePath() const { return m_pathSet; }

    int EasyMode() const { return m_easyMode; }
    void SetEasyMode(int easyMode) { m_easyMode = easyMode; }

    // The colour directory, with a trailing '/'.
    const std::string& ColorDirectoryPath() const { return m_colorDirectory; }

private:
    void SetGammaCurves(double gamma);

    CTraceLog m_trace;
    std::array<std::uint8_t, 128> m_header{};
    std::vector<TagEntry> m_tags;
    std::string m_description;
    bool m_hasDescription = false;
    std::string m_notice;
    bool m_hasNotice = false;
    std::array<std::int32_t, 3> m_whitePoint{};
    std::array<std::int32_t, 9> m_colorants{}; // red XYZ, green XYZ, blue XYZ
    IccXyz m_red{-1.0, -1.0, -1.0};
    IccXyz m_green{-1.0, -1.0, -1.0};
    IccXyz m_blue{-1.0, -1.0, -1.0};
    IccXyz m_white{-1.0, -1.0, -1.0};
    bool m_primariesSet = false;
    double m_gamma = -1.0;
    std::array<double, kIccCurveSize> m_curve{};
    IccCurve m_curve16{};
    std::string m_colorDirectory;
    std::string m_currentProfilePath;
    bool m_pathSet = false;
    std::string m_deviceId;
    int m_easyMode = 1;
};
