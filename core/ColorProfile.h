#pragma once
// ICC colour profiles: reading what the program's own colour path needs
// (description, colorants and media white, tone curves, a calibrated-RGB
// colour-space record), writing the tags of profiles the program builds
// (monitor profiles, the sRGB profile of the colour directory, the device
// link of a colour-conversion LUT). This is the codec only: the colour
// directory that bare names resolve in is core/ProfileDirectory.h, the
// installed profiles and the process-wide monitor profile core/ProfileStore.h.
//
// A CColorProfile holds the profile's bytes. Its header and tag table are
// parsed by our own bounds-checked reader, and every tag is read from those
// bytes with its sizes checked, because profiles embedded in image files are
// untrusted input. LittleCMS is only asked to build transforms: it gets its
// own handle opened from the bytes (OpenLcmsProfile), so a profile can serve
// transforms built on two threads at once.
//
// Scales: XYZ values read from a profile are CCIEXYZ with the white at
// Y = 100 (an s15Fixed16Number v becomes v / 65536 * 100); values given to
// the tag writers are on the scale 0..1 (white Y = 1).
//
// Writable profiles (CreateNew, CreateInMemory) keep their header and tags in
// memory; GetProfileBytes serialises them as a version-2 profile: header, tag
// count, tag table, then the elements in the order first written, each at a
// 4-byte aligned offset, the whole padded to a multiple of 4 bytes with the
// header's size field equal to the byte count. A profile created with
// CreateNew is written to its file (through ReplaceFileContents) when it is
// created, by Save, and when it is closed (Close, reassignment, destruction)
// with changes not yet saved, as a profile file opened for writing is
// completed when its handle closes.
//
// All operations report failure by their result; nothing throws and nothing
// is printed.

#include "core/CIEColor.h"
#include "core/GammaTable.h"
#include "core/StdMatrix.h"
#include "core/StdVector.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// An ICC signature: the four characters read as a big-endian 32-bit number
// ("mntr" gives 0x6D6E7472).
constexpr std::uint32_t IccSignature(std::string_view fourChars)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value =
            (value << 8) | static_cast<unsigned char>(i < fourChars.size() ? fourChars[i] : ' ');
    return value;
}

// Closes a LittleCMS profile handle.
struct LcmsProfileCloser
{
    void operator()(void* profile) const;
};
// An owned LittleCMS profile handle (cmsHPROFILE is void*).
using LcmsProfilePtr = std::unique_ptr<void, LcmsProfileCloser>;

// A calibrated RGB colour space as a drawing or printing interface takes it
// (328 bytes): primaries and white as endpoints, one gamma per channel.
//
// FXPT2DOT30: a value v as the 32-bit integer v * 2^30 truncated (2 integer
// bits, 30 fraction bits). FXPT16DOT16: v * 65536 truncated. Values outside
// a format's range are clamped to it.
struct LogCIEXYZ
{
    std::int32_t ciexyzX = 0;
    std::int32_t ciexyzY = 0;
    std::int32_t ciexyzZ = 0;
};

struct LogCIEXYZTriple
{
    LogCIEXYZ ciexyzRed;
    LogCIEXYZ ciexyzGreen;
    LogCIEXYZ ciexyzBlue;
};

struct LogColorSpace
{
    std::uint32_t lcsSignature = 0;
    std::uint32_t lcsVersion = 0;
    std::uint32_t lcsSize = 0;
    std::int32_t lcsCSType = 0;
    std::int32_t lcsIntent = 0;
    LogCIEXYZTriple lcsEndpoints;
    std::uint32_t lcsGammaRed = 0;
    std::uint32_t lcsGammaGreen = 0;
    std::uint32_t lcsGammaBlue = 0;
    char lcsFilename[260] = {};
};
static_assert(sizeof(LogColorSpace) == 328, "the colour-space record is 328 bytes");

inline constexpr std::uint32_t kLcsSignature = IccSignature("PSOC");
inline constexpr std::uint32_t kLcsVersion = 0x400;
inline constexpr std::int32_t kLcsCalibratedRGB = 0;
// Gamut-match intents of the colour-space record.
inline constexpr std::int32_t kLcsGmBusiness = 1;        // saturation
inline constexpr std::int32_t kLcsGmGraphics = 2;        // relative colorimetric
inline constexpr std::int32_t kLcsGmImages = 4;          // perceptual
inline constexpr std::int32_t kLcsGmAbsColorimetric = 8; // absolute colorimetric

// One text of a multiLocalizedUnicodeType ('mluc') element, in UTF-8, with
// its two-letter language and country codes ("en", "US").
struct LocalizedText
{
    std::string text;
    std::string language;
    std::string country;
};

class CColorProfile
{
public:
    // Empty and closed.
    CColorProfile() = default;
    // Copies are made from the source's bytes (GetProfileBytes) opened with
    // OpenFromMemory under the source's name; a source that yields no bytes
    // gives a closed profile. A copy is never writable.
    CColorProfile(const CColorProfile& other);
    CColorProfile& operator=(const CColorProfile& other);
    // Moves take everything, a pending file write included; the source is
    // left closed. Assignment closes the target first (writing it when it
    // is a CreateNew profile with unsaved changes).
    CColorProfile(CColorProfile&& other) noexcept;
    CColorProfile& operator=(CColorProfile&& other);
    // Closes (which completes a profile file being written).
    virtual ~CColorProfile();

    // Opens a profile file, or the profile embedded in an image file when the
    // path has one of the extensions that can carry one (.jpg, .jpeg, .tif,
    // .tiff, .dng). A bare name (no '/') is the file of that name in the
    // colour directory. The name becomes the path as given. When UseOsCmm is
    // 0, a profile that the program's matrix path cannot use is closed again
    // and the open fails (IsRGBMatrixProfile).
    bool Open(const std::string& path);
    // Opens a profile file (bare names in the colour directory) without the
    // UseOsCmm rule: for the profiles of output devices (printers), which
    // only LittleCMS converts to, whichever engine draws the working image.
    bool OpenDeviceProfile(const std::string& path);
    // Opens a copy of the bytes under the given name, with the same UseOsCmm
    // rule. The caller keeps its bytes.
    bool OpenFromMemory(std::span<const std::uint8_t> data, const std::string& name);
    // A new, empty, writable profile whose file (bare names in the colour
    // directory) is created now, replacing any file of that name.
    bool CreateNew(const std::string& path);
    // A new, empty, writable profile that lives in memory only.
    bool CreateInMemory(const std::string& name = std::string());
    // Writes a profile made with CreateNew to its file now. False for any
    // other profile and when the file cannot be written.
    bool Save();
    // Closes the profile, writing a CreateNew profile's unsaved changes
    // first; false only when that write failed. The name is emptied.
    bool Close();

    bool IsOpen() const { return m_state != State::Closed; }
    bool IsWritable() const { return m_state == State::Writable; }
    // The path or name the profile was opened or created with; empty while
    // closed.
    const std::string& GetName() const { return m_name; }

    // The profile's bytes: those it was opened from, or the serialisation of
    // a writable profile. False on a closed profile.
    bool GetProfileBytes(std::vector<std::uint8_t>& bytes) const;
    // A LittleCMS handle of its own, opened from GetProfileBytes, for building
    // transforms; null on a closed profile or when LittleCMS refuses it.
    LcmsProfilePtr OpenLcmsProfile() const;

    // Header fields; false on a closed profile.
    bool GetDataColorSpace(std::uint32_t& space) const;
    bool GetDeviceClass(std::uint32_t& deviceClass) const;
    bool GetConnectionSpace(std::uint32_t& space) const;
    bool GetVersion(std::uint32_t& version) const;
    // A copy of one tag's element; false when the tag is absent.
    bool GetTagElement(std::uint32_t signature, std::vector<std::uint8_t>& element) const;

    // The 'desc' text with trailing blanks removed. When the profile has no
    // usable description the text is the file name of the profile's name and
    // the result is false. Version-2 profiles hold a textDescriptionType
    // (its ASCII part is used, up to its zero; an ASCII count that runs past
    // the element makes the description unusable, and so does an empty
    // text); from version 4 on the element is 'mluc' and the Japanese text,
    // else the US English one, is taken. Texts are UTF-8: an ASCII part that
    // is not valid UTF-8 is read as Latin-1.
    bool GetDescription(std::string& text) const;

    // The colorants and the media white. The colorants are stored adapted to
    // the PCS white D50; they are adapted back to the media white (the
    // inverse of the Bradford adaptation from the white to D50) so that they
    // add up to the white. A white read from the profile is scaled to
    // Y = 100. Fails without a positive header illuminant, without the four
    // 20-byte elements, with a white whose Y is not positive, or when the
    // three colorants are all equal. A value whose element is not of type
    // 'XYZ ' is left as the caller gave it. A profile with a usable 'chad'
    // tag (sf32, nine numbers, invertible; version-4 profiles store the
    // media white as D50 and carry one) is read through it instead: the
    // white is inverse(chad) x D50 and the colorants are inverse(chad) x the
    // stored ones, scaled with the white to Y = 100; an unusable 'chad' is
    // ignored.
    bool ReadColorants(CCIEXYZ& red, CCIEXYZ& green, CCIEXYZ& blue, CCIEXYZ& white) const;

    // The three tone curves (rTRC, gTRC, bTRC) as curve lists: one value is a
    // pure power law x^g, a longer list a sampled curve normalised to end at
    // 1.0. A 'curv' element with no entry gives 1.0, one entry a u8Fixed8
    // gamma, more entries the table divided by its last entry. A 'para'
    // element gives its gamma for function type 0 and 1024 samples of the
    // function otherwise. Fails when any curve is missing, shorter than its
    // count, or ends at 0.
    bool ReadTRCTags(std::vector<double>& red, std::vector<double>& green,
                     std::vector<double>& blue) const;

    // The 3x3 matrix from linear 16-bit RGB (0..65535) to XYZ with the white
    // at Y = 100: the adapted colorants as columns, so that (65535, 65535,
    // 65535) maps to the media white.
    bool GetRGBToXYZMatrix(CStdMatrix& matrix) const;
    // The chromatic adaptation ReadColorants undoes: the 3x3 matrix that
    // takes XYZ relative to the media white (white Y = 100, the scale of
    // GetRGBToXYZMatrix) to XYZ relative to the PCS white D50, the way the
    // profile itself was made ('chad' where it has a usable one, else
    // Bradford from the media white to D50). toPCS x the media white is D50
    // (96.42, 100, 82.49), and toPCS x GetRGBToXYZMatrix gives the stored,
    // D50-relative colorants.
    bool GetMediaToPCSMatrix(CStdMatrix& toPCS) const;

    // Per-channel tone tables from the curves: device value to linear
    // (GetTRC) and linear to device value (GetInverseTRC).
    bool GetTRC(CRGBGammaTable& table) const;
    bool GetInverseTRC(CRGBGammaTable& table) const;

    // Colorants and curves can both be read: the matrix path can use it.
    bool HasMatrixTRC() const;
    // An RGB monitor, input or colour-space profile with colorants and
    // curves. Otherwise the profile is closed and the result is false.
    bool IsRGBMatrixProfile();

    // The colour-space record of the profile: signature 'PSOC', version
    // 0x400, size 328, calibrated RGB, the intent mapped from the header's
    // rendering intent, the unadapted colorants over the white's Y as
    // endpoints, and the gammas: all 1.0 when linear, else each curve's gamma
    // (a sampled curve is fitted with a power law, exponents 0.9 to 5.0 in
    // steps of 0.1). The file name stays empty.
    bool GetLogColorSpace(LogColorSpace& lcs, bool linear) const;
    // This profile's record (linear = false) has exactly the endpoints and
    // gammas of lcs.
    bool IsSameLogColorSpace(const LogColorSpace& lcs) const;

    // Tag writers for a writable profile; false on any other. A tag written
    // again replaces the earlier element in its place.
    //
    // Header: preferred CMM and platform 'MSFT', version 2.1 (0x02100000),
    // the given device class and connection space, data colour space 'RGB ',
    // creation date and time from the local clock, illuminant D50 as
    // 0xF6D6, 0x10000, 0xD32D; the other fields are kept.
    bool SetHeader(std::uint32_t deviceClass, std::uint32_t connectionSpace);
    // 'XYZ ' element of 20 bytes, the three values as s15Fixed16Number
    // (value * 65536 truncated, two's complement for negative values).
    bool SetXYZTag(const CStdVector& xyz, std::uint32_t signature);
    // 'curv' element of 14 bytes with one u8Fixed8Number gamma (gamma * 256
    // truncated).
    bool SetGammaTag(double gamma, std::uint32_t signature);
    // textDescriptionType of text length + 91 bytes: the ASCII part holds the
    // text's bytes as they are (UTF-8) and a terminating zero; the Unicode and
    // ScriptCode parts are empty.
    bool SetDescriptionTag(std::uint32_t signature, const std::string& text);
    // 'cprt' as textType: the text and one zero byte.
    bool SetCopyrightTag(const std::string& text);
    // 'dmnd' and 'dmdd', each the description "test".
    bool SetDeviceTextTags();
    // 'pseq' with two records whose manufacturer and model descriptions are
    // empty (308 bytes).
    bool SetProfileSequenceTag();
    // Any element as given (its type signature first). The writers above and
    // the LUT device link's 'A2B0' writer go through this.
    bool SetTagElement(std::uint32_t signature, std::span<const std::uint8_t> element);

    // Colour-conversion LUTs (core/LutFile.cpp). LoadLUTFromCSV reads a LUT
    // CSV file (17 x 17 x 17 output colours) and builds this profile as the
    // in-memory device link that carries it; false when the file cannot be
    // used (*error, when given, receives the reason: see ReadLUTColours in
    // core/LutFile.h), this profile then being left as it was. SetLUTTag
    // writes the 'A2B0' lut16Type element from exactly 4913 colours
    // 0x00BBGGRR.
    bool LoadLUTFromCSV(const std::string& path, std::string* error = nullptr);
    bool SetLUTTag(std::span<const std::uint32_t> colours);

private:
    enum class State
    {
        Closed,
        ReadOnly,
        Writable
    };

    struct TagEntry
    {
        std::uint32_t signature;
        std::uint32_t offset;
        std::uint32_t size;
    };

    struct Element
    {
        std::uint32_t signature;
        std::vector<std::uint8_t> data;
    };

    // Reads the file (bare names in the colour directory) into this profile,
    // with no UseOsCmm rule.
    bool OpenProfileFile(const std::string& path);
    // Parses and takes the bytes; no UseOsCmm rule.
    bool LoadBytes(std::span<const std::uint8_t> data, const std::string& name);
    bool CreateWritable(const std::string& name, const std::string& filePath);
    bool ApplyEngineRule();
    void Reset();
    std::vector<std::uint8_t> Serialize() const;
    // Checks the header and the tag table: the size field within the data,
    // the 'acsp' signature, the table and every element inside the profile.
    // profileSize is the header's size field (bytes after it are not part of
    // the profile).
    static bool ParseTagTable(std::span<const std::uint8_t> data, std::size_t& profileSize,
                              std::vector<TagEntry>& tags);

    std::span<const std::uint8_t> HeaderBytes() const;
    // The element of the first tag with the signature; empty when absent.
    std::span<const std::uint8_t> FindElement(std::uint32_t signature) const;
    // The description text as read, before trailing blanks are removed.
    bool ReadDescriptionText(std::string& text) const;
    bool ReadXYZElements(CCIEXYZ& red, CCIEXYZ& green, CCIEXYZ& blue, CCIEXYZ& white) const;
    // ReadColorants, and the matrix that took the stored colorants back to
    // the media white (fromPCSOut, when given).
    bool ReadMediaColorants(CCIEXYZ& red, CCIEXYZ& green, CCIEXYZ& blue, CCIEXYZ& white,
                            CStdMatrix* fromPCSOut) const;

    friend bool GetProfileDescriptionFromFile(std::string& text, const std::string& path);

    State m_state = State::Closed;
    std::string m_name;
    // Read-only profiles: the profile's bytes and the tag table over them.
    std::vector<std::uint8_t> m_bytes;
    std::vector<TagEntry> m_tags;
    // Writable profiles: header, elements, the file to write ("" in memory)
    // and whether there are changes the file does not hold yet.
    std::array<std::uint8_t, 128> m_header{};
    std::vector<Element> m_elements;
    std::string m_filePath;
    bool m_dirty = false;
};

// Three s15Fixed16Number values (already in native order) to X, Y, Z on the
// scale where the white has Y = 100: v * 100 / 65536.
void XYZNumberToCIEXYZ(CCIEXYZ& xyz, std::span<const std::int32_t, 3> numbers);

// Chromatic adaptation of three XYZ values (scale 0..1) in place from the
// given white to D50 (0.9642, 1.0, 0.8249) with the Bradford cone matrix B:
//     M = B^-1 diag((B D50) / (B white)) B,   v' = M v.
// Nothing changes when the white gives a zero cone response.
void BradfordAdapt(CStdVector& red, CStdVector& green, CStdVector& blue, const CStdVector& white);

// The Bradford cone matrix B (rows): (0.8951, 0.2664, -0.1614; -0.7502,
// 1.7135, 0.0367; 0.0389, -0.0685, 1.0296).
const CStdMatrix& BradfordMatrix();
// The Bradford adaptation from the white `from` to the white `to`:
//     A = B^-1 diag((B to) / (B from)) B,
// the quotient of the cone responses taken element by element. False when a
// cone response of `from` is zero (or not finite).
bool BradfordAdaptationMatrix(const CStdVector& from, const CStdVector& to, CStdMatrix& a);

// Removes the trailing blanks (' ') of the text; leading blanks stay.
void TrimString(std::string& text);

// The records of an 'mluc' element: language (2 bytes), country (2), length
// in bytes (4) and offset from the element's start (4) per 12-byte record
// from offset 16, each text UTF-16 big-endian, converted to UTF-8 up to its
// first NUL. A record whose text is empty or not valid UTF-16 is dropped.
// Fails unless the type is 'mluc' and the record table and every record's
// text lie within the element.
bool DecodeMlucTag(std::span<const std::uint8_t> element, std::vector<LocalizedText>& records);

// The text of the last ja/JP record, else of the last en/US record; false
// when there is neither.
bool SelectLocalizedText(const std::vector<LocalizedText>& records, std::string& text);

// The description of a profile file (bare names in the colour directory),
// read as GetDescription does but with trailing blanks kept and without the
// UseOsCmm rule; on any failure the text is the file name of the path and
// the result is false.
bool GetProfileDescriptionFromFile(std::string& text, const std::string& path);
