#include "core/ColorProfile.h"

#include "core/Clamp.h"
#include "core/ImageFileProbe.h"
#include "core/Interpolation.h"
#include "core/PathUtils.h"
#include "core/ProfileDirectory.h"
#include "core/UseOsCmm.h"
#include "platform/Bytes.h"
#include "platform/ColorDirectory.h"
#include "platform/FileReplace.h"
#include "platform/Text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <lcms2.h>
#include <limits>

namespace {

// Layout of the ICC header (all numbers big-endian).
constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kTagTableStart = 132; // after the header and the tag count
constexpr std::size_t kTagEntrySize = 12;
constexpr std::size_t kOffsetSize = 0;
constexpr std::size_t kOffsetCmm = 4;
constexpr std::size_t kOffsetVersion = 8;
constexpr std::size_t kOffsetClass = 12;
constexpr std::size_t kOffsetDataSpace = 16;
constexpr std::size_t kOffsetConnectionSpace = 20;
constexpr std::size_t kOffsetDate = 24;
constexpr std::size_t kOffsetMagic = 36;
constexpr std::size_t kOffsetPlatform = 40;
constexpr std::size_t kOffsetIntent = 64;
constexpr std::size_t kOffsetIlluminant = 68;

constexpr std::uint32_t kMagic = IccSignature("acsp");
constexpr std::uint32_t kVersion2_1 = 0x02100000;
constexpr std::uint32_t kVersion4 = 0x04000000;

constexpr std::uint32_t kSigDesc = IccSignature("desc");
constexpr std::uint32_t kSigMluc = IccSignature("mluc");
constexpr std::uint32_t kSigText = IccSignature("text");
constexpr std::uint32_t kSigXYZType = IccSignature("XYZ ");
constexpr std::uint32_t kSigCurv = IccSignature("curv");
constexpr std::uint32_t kSigPara = IccSignature("para");
constexpr std::uint32_t kSigPseq = IccSignature("pseq");
constexpr std::uint32_t kSigChad = IccSignature("chad");
constexpr std::uint32_t kSigSf32 = IccSignature("sf32");
constexpr std::uint32_t kSigMsft = IccSignature("MSFT");
constexpr std::uint32_t kSigRGB = IccSignature("RGB ");

// PCS white D50: (0.9642, 1.0, 0.8249) as s15Fixed16Number, as written in
// every header we make (0xD32D rather than the rounded 0xD32C).
constexpr std::int32_t kD50Fixed[3] = {0xF6D6, 0x10000, 0xD32D};

// Number of samples a parametric curve is evaluated at.
constexpr std::size_t kParametricSamples = 1024;

std::int32_t ReadS32(std::span<const std::uint8_t> d, std::size_t at)
{
    return static_cast<std::int32_t>(platform::GetU32BE(d, at));
}

constexpr std::uint64_t Align4(std::uint64_t n)
{
    return (n + 3) & ~std::uint64_t{3};
}

// s15Fixed16Number: v * 65536 truncated towards zero, which for v >= 0 is
// the integer part in the upper 16 bits and the fraction * 65536 in the
// lower 16; negative values come out in two's complement.
std::int32_t ToS15Fixed16(double v)
{
    return static_cast<std::int32_t>(ClampToInteger(v * 65536.0,
                                                    std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int32_t>::max()));
}

// FXPT2DOT30 and FXPT16DOT16 of the colour-space record, truncated.
std::int32_t ToFxpt2Dot30(double v)
{
    return static_cast<std::int32_t>(ClampToInteger(v * 1073741824.0,
                                                    std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int32_t>::max()));
}

std::uint32_t ToFxpt16Dot16(double v)
{
    return static_cast<std::uint32_t>(
        ClampToInteger(v * 65536.0, 0, std::numeric_limits<std::uint32_t>::max()));
}

bool IsValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size())
    {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        if (c < 0x80)
        {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0)
        {
            extra = 1;
            cp = c & 0x1F;
        }
        else if ((c & 0xF0) == 0xE0)
        {
            extra = 2;
            cp = c & 0x0F;
        }
        else if ((c & 0xF8) == 0xF0)
        {
            extra = 3;
            cp = c & 0x07;
        }
        else
        {
            return false;
        }
        if (i + extra >= text.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k)
        {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        constexpr std::uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

// The ASCII part of a textDescriptionType should be 7-bit; profiles in the
// wild also carry Latin-1 there. Valid UTF-8 is kept, anything else is read
// as Latin-1 so that the text in memory is always UTF-8.
std::string AsciiToUtf8(std::string raw)
{
    if (IsValidUtf8(raw))
        return raw;
    std::string out;
    for (const char ch : raw)
        platform::AppendUtf8(out, static_cast<unsigned char>(ch));
    return out;
}

// ICC parametric curves (parametricCurveType), with g the exponent:
//   0: Y = X^g
//   1: Y = (aX + b)^g               for X >= -b/a, else 0
//   2: Y = (aX + b)^g + c           for X >= -b/a, else c
//   3: Y = (aX + b)^g               for X >= d,    else cX
//   4: Y = (aX + b)^g + e           for X >= d,    else cX + f
// The condition X >= -b/a is the base aX + b being non-negative (for the
// increasing curves that profiles hold, a > 0); a negative base is taken as
// 0 rather than given to pow.
double EvaluateParametric(int type, const double (&p)[7], double x)
{
    const double g = p[0];
    const double a = p[1];
    const double b = p[2];
    const double c = p[3];
    const double d = p[4];
    const double e = p[5];
    const double f = p[6];
    const auto power = [&](double base) { return base > 0.0 ? std::pow(base, g) : 0.0; };
    switch (type)
    {
    case 1:
        return power(a * x + b);
    case 2:
        return a * x + b >= 0.0 ? power(a * x + b) + c : c;
    case 3:
        return x >= d ? power(a * x + b) : c * x;
    case 4:
        return x >= d ? power(a * x + b) + e : c * x + f;
    default:
        return power(x);
    }
}

// A 'para' element as a curve list: type 0 is the gamma itself; the other
// types are sampled at kParametricSamples points and normalised to end at
// 1.0.
bool ReadParametricCurve(std::span<const std::uint8_t> element, std::vector<double>& curve)
{
    constexpr std::size_t kParameterCount[5] = {1, 3, 4, 5, 7};
    const int type = platform::GetU16BE(element, 8);
    if (type > 4)
        return false;
    const std::size_t count = kParameterCount[type];
    if (12 + 4 * count > element.size())
        return false;
    double p[7] = {};
    for (std::size_t i = 0; i < count; ++i)
        p[i] = ReadS32(element, 12 + 4 * i) / 65536.0;
    if (type == 0)
    {
        curve.assign(1, p[0]);
        return true;
    }
    std::vector<double> samples(kParametricSamples);
    for (std::size_t i = 0; i < kParametricSamples; ++i)
        samples[i] = EvaluateParametric(type, p, static_cast<double>(i) / (kParametricSamples - 1));
    const double last = samples.back();
    if (!(last > 0.0) || !std::isfinite(last))
        return false;
    for (double& v : samples)
    {
        v /= last;
        if (!std::isfinite(v))
            return false;
    }
    curve = std::move(samples);
    return true;
}

// One tone curve element as a curve list. 'para' elements are evaluated;
// every other type is read as a curveType: entry count at offset 8, entries
// from offset 12.
bool ReadCurveElement(std::span<const std::uint8_t> element, std::vector<double>& curve)
{
    curve.clear();
    if (element.size() <= 11)
        return false;
    if (platform::GetU32BE(element, 0) == kSigPara)
        return ReadParametricCurve(element, curve);
    const std::uint64_t count = platform::GetU32BE(element, 8);
    if (count == 0)
    {
        curve.assign(1, 1.0);
        return true;
    }
    if (count == 1 && element.size() > 13)
    {
        // u8Fixed8Number gamma.
        curve.assign(1, platform::GetU16BE(element, 12) / 256.0);
        return true;
    }
    // A table that the element cannot hold is malformed: no curve.
    if (12 + 2 * count > element.size())
        return false;
    const double last = platform::GetU16BE(element, 12 + 2 * (count - 1));
    if (last == 0.0)
        return false;
    curve.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        curve[i] = platform::GetU16BE(element, 12 + 2 * i) / last;
    return true;
}

// A textDescriptionType element with an empty Unicode and ScriptCode part.
std::vector<std::uint8_t> DescriptionElement(const std::string& text)
{
    std::vector<std::uint8_t> element(text.size() + 91, 0);
    platform::PutU32BE(element, 0, kSigDesc);
    platform::PutU32BE(element, 8, static_cast<std::uint32_t>(text.size() + 1));
    std::memcpy(element.data() + 12, text.data(), text.size());
    return element;
}

// The inverse of a 'chad' element: an s15Fixed16ArrayType of exactly nine
// numbers, the 3x3 matrix row by row that adapted the media white (and the
// colorants measured under it) to the PCS white. False when the element is
// absent or malformed or the matrix has no inverse: such a tag is passed by
// as if it were not there.
bool ChromaticAdaptationInverse(std::span<const std::uint8_t> element, CStdMatrix& inverse)
{
    constexpr std::size_t kChadSize = 8 + 9 * 4;
    if (element.size() != kChadSize || platform::GetU32BE(element, 0) != kSigSf32)
        return false;
    double m[9];
    for (std::size_t i = 0; i < 9; ++i)
        m[i] = ReadS32(element, 8 + 4 * i) / 65536.0;
    CStdMatrix chad(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]);
    if (!chad.Invert())
        return false;
    for (const double v : chad.GetData())
        if (!std::isfinite(v))
            return false;
    inverse = std::move(chad);
    return true;
}

// Bare names live in the colour directory; GetColorDirectory also makes
// sure the directory holds the sRGB profile, so that its name always opens.
std::string ResolveName(const std::string& name)
{
    if (name.empty() || name.find('/') != std::string::npos)
        return name;
    std::string folder;
    if (!GetColorDirectory(folder))
        return platform::ResolveProfilePath(name);
    return folder + name;
}

} // namespace

const CStdMatrix& BradfordMatrix()
{
    static const CStdMatrix b(0.8951, 0.2664, -0.1614, -0.7502, 1.7135, 0.0367, 0.0389, -0.0685,
                              1.0296);
    return b;
}

bool BradfordAdaptationMatrix(const CStdVector& from, const CStdVector& to, CStdMatrix& a)
{
    const CStdMatrix& b = BradfordMatrix();
    const CStdVector coneFrom = b.MultiplyVector(from);
    const CStdVector coneTo = b.MultiplyVector(to);
    CStdVector scale(3);
    for (std::size_t i = 0; i < 3; ++i)
    {
        if (coneFrom[i] == 0.0 || !std::isfinite(coneFrom[i]) || !std::isfinite(coneTo[i]))
            return false;
        scale[i] = coneTo[i] / coneFrom[i];
    }
    CStdMatrix inverse = b;
    if (!inverse.Invert())
        return false;
    a = inverse * CStdMatrix(scale) * b;
    return true;
}

void LcmsProfileCloser::operator()(void* profile) const
{
    if (profile)
        cmsCloseProfile(profile);
}

// ---------------------------------------------------------------------------
// Life cycle

CColorProfile::CColorProfile(const CColorProfile& other)
{
    *this = other;
}

CColorProfile& CColorProfile::operator=(const CColorProfile& other)
{
    if (this == &other)
        return *this;
    std::vector<std::uint8_t> bytes;
    const bool haveBytes = other.GetProfileBytes(bytes);
    const std::string name = other.m_name;
    Close();
    if (haveBytes)
        OpenFromMemory(bytes, name);
    return *this;
}

CColorProfile::CColorProfile(CColorProfile&& other) noexcept
    : m_state(std::exchange(other.m_state, State::Closed)), m_name(std::move(other.m_name)),
      m_bytes(std::move(other.m_bytes)), m_tags(std::move(other.m_tags)), m_header(other.m_header),
      m_elements(std::move(other.m_elements)), m_filePath(std::move(other.m_filePath)),
      m_dirty(std::exchange(other.m_dirty, false))
{
    other.Reset();
}

CColorProfile& CColorProfile::operator=(CColorProfile&& other)
{
    if (this == &other)
        return *this;
    Close();
    m_state = std::exchange(other.m_state, State::Closed);
    m_name = std::move(other.m_name);
    m_bytes = std::move(other.m_bytes);
    m_tags = std::move(other.m_tags);
    m_header = other.m_header;
    m_elements = std::move(other.m_elements);
    m_filePath = std::move(other.m_filePath);
    m_dirty = std::exchange(other.m_dirty, false);
    other.Reset();
    return *this;
}

CColorProfile::~CColorProfile()
{
    Close();
}

void CColorProfile::Reset()
{
    m_state = State::Closed;
    m_name.clear();
    m_bytes.clear();
    m_tags.clear();
    m_header.fill(0);
    m_elements.clear();
    m_filePath.clear();
    m_dirty = false;
}

bool CColorProfile::Close()
{
    bool ok = true;
    if (m_state == State::Writable && !m_filePath.empty() && m_dirty)
        ok = Save();
    Reset();
    return ok;
}

bool CColorProfile::ParseTagTable(std::span<const std::uint8_t> data, std::size_t& profileSize,
                                  std::vector<TagEntry>& tags)
{
    if (data.size() < kTagTableStart)
        return false;
    const std::uint64_t size = platform::GetU32BE(data, kOffsetSize);
    if (size < kTagTableStart || size > data.size())
        return false;
    if (platform::GetU32BE(data, kOffsetMagic) != kMagic)
        return false;
    const std::uint64_t count = platform::GetU32BE(data, kHeaderSize);
    if (kTagTableStart + kTagEntrySize * count > size)
        return false;
    std::vector<TagEntry> table;
    table.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i)
    {
        const std::size_t at = kTagTableStart + kTagEntrySize * static_cast<std::size_t>(i);
        const TagEntry entry{platform::GetU32BE(data, at), platform::GetU32BE(data, at + 4),
                             platform::GetU32BE(data, at + 8)};
        if (std::uint64_t{entry.offset} + entry.size > size)
            return false;
        if (entry.size > 0 && entry.offset < kTagTableStart)
            return false;
        table.push_back(entry);
    }
    profileSize = static_cast<std::size_t>(size);
    tags = std::move(table);
    return true;
}

bool CColorProfile::LoadBytes(std::span<const std::uint8_t> data, const std::string& name)
{
    std::size_t size = 0;
    std::vector<TagEntry> tags;
    if (!ParseTagTable(data, size, tags))
        return false;
    // LittleCMS must accept the profile too, since it builds the transforms.
    LcmsProfilePtr probe(cmsOpenProfileFromMem(data.data(), static_cast<cmsUInt32Number>(size)));
    if (!probe)
        return false;
    m_bytes.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
    m_tags = std::move(tags);
    m_name = name;
    m_state = State::ReadOnly;
    return true;
}

bool CColorProfile::ApplyEngineRule()
{
    if (UseOsCmm.load() == 0)
        return IsRGBMatrixProfile();
    return true;
}

bool CColorProfile::OpenProfileFile(const std::string& path)
{
    Close();
    if (path.empty())
        return false;
    std::string data;
    if (!platform::ReadFileContents(ResolveName(path), &data))
        return false;
    return LoadBytes(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()),
                     path);
}

bool CColorProfile::Open(const std::string& path)
{
    if (HasProfileCapableExtension(path))
    {
        Close();
        std::vector<std::uint8_t> bytes;
        if (!LoadEmbeddedProfile(path, bytes))
            return false;
        return OpenFromMemory(bytes, path);
    }
    if (!OpenProfileFile(path))
        return false;
    return ApplyEngineRule();
}

bool CColorProfile::OpenDeviceProfile(const std::string& path)
{
    return OpenProfileFile(path);
}

bool CColorProfile::OpenFromMemory(std::span<const std::uint8_t> data, const std::string& name)
{
    Close();
    if (!LoadBytes(data, name))
        return false;
    return ApplyEngineRule();
}

bool CColorProfile::CreateWritable(const std::string& name, const std::string& filePath)
{
    Reset();
    m_state = State::Writable;
    m_name = name;
    m_filePath = filePath;
    m_dirty = true;
    return true;
}

bool CColorProfile::CreateNew(const std::string& path)
{
    Close();
    if (path.empty())
        return false;
    CreateWritable(path, ResolveName(path));
    // The file is created now, as a profile file opened with "create
    // always" is: a folder that cannot take it fails here, not at the end.
    if (!Save())
    {
        Reset();
        return false;
    }
    return true;
}

bool CColorProfile::CreateInMemory(const std::string& name)
{
    Close();
    return CreateWritable(name, std::string());
}

bool CColorProfile::Save()
{
    if (m_state != State::Writable || m_filePath.empty())
        return false;
    const std::vector<std::uint8_t> bytes = Serialize();
    if (!platform::ReplaceFileContents(
            m_filePath,
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
        return false;
    m_dirty = false;
    return true;
}

// ---------------------------------------------------------------------------
// Bytes and elements

std::vector<std::uint8_t> CColorProfile::Serialize() const
{
    const std::size_t count = m_elements.size();
    std::vector<std::uint8_t> out(kTagTableStart + kTagEntrySize * count, 0);
    std::copy(m_header.begin(), m_header.end(), out.begin());
    platform::PutU32BE(out, kHeaderSize, static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i)
    {
        const Element& element = m_elements[i];
        const std::size_t offset = static_cast<std::size_t>(Align4(out.size()));
        const std::size_t entry = kTagTableStart + kTagEntrySize * i;
        platform::PutU32BE(out, entry, element.signature);
        platform::PutU32BE(out, entry + 4, static_cast<std::uint32_t>(offset));
        platform::PutU32BE(out, entry + 8, static_cast<std::uint32_t>(element.data.size()));
        out.resize(offset, 0);
        out.insert(out.end(), element.data.begin(), element.data.end());
    }
    out.resize(static_cast<std::size_t>(Align4(out.size())), 0);
    platform::PutU32BE(out, kOffsetSize, static_cast<std::uint32_t>(out.size()));
    platform::PutU32BE(out, kOffsetMagic, kMagic);
    return out;
}

bool CColorProfile::GetProfileBytes(std::vector<std::uint8_t>& bytes) const
{
    switch (m_state)
    {
    case State::ReadOnly:
        bytes = m_bytes;
        return true;
    case State::Writable:
        bytes = Serialize();
        return true;
    default:
        return false;
    }
}

LcmsProfilePtr CColorProfile::OpenLcmsProfile() const
{
    std::vector<std::uint8_t> serialized;
    std::span<const std::uint8_t> bytes;
    if (m_state == State::ReadOnly)
    {
        bytes = m_bytes;
    }
    else if (m_state == State::Writable)
    {
        serialized = Serialize();
        bytes = serialized;
    }
    else
    {
        return nullptr;
    }
    // LittleCMS copies the block, so the handle does not depend on it.
    return LcmsProfilePtr(
        cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

std::span<const std::uint8_t> CColorProfile::HeaderBytes() const
{
    if (m_state == State::ReadOnly)
        return std::span(m_bytes).first(kHeaderSize);
    return m_header;
}

std::span<const std::uint8_t> CColorProfile::FindElement(std::uint32_t signature) const
{
    if (m_state == State::ReadOnly)
    {
        for (const TagEntry& tag : m_tags)
            if (tag.signature == signature)
                return std::span(m_bytes).subspan(tag.offset, tag.size);
    }
    else if (m_state == State::Writable)
    {
        for (const Element& element : m_elements)
            if (element.signature == signature)
                return element.data;
    }
    return {};
}

bool CColorProfile::GetTagElement(std::uint32_t signature, std::vector<std::uint8_t>& element) const
{
    const std::span<const std::uint8_t> found = FindElement(signature);
    if (found.empty())
        return false;
    element.assign(found.begin(), found.end());
    return true;
}

// ---------------------------------------------------------------------------
// Header queries

bool CColorProfile::GetDataColorSpace(std::uint32_t& space) const
{
    if (!IsOpen())
        return false;
    space = platform::GetU32BE(HeaderBytes(), kOffsetDataSpace);
    return true;
}

bool CColorProfile::GetDeviceClass(std::uint32_t& deviceClass) const
{
    if (!IsOpen())
        return false;
    deviceClass = platform::GetU32BE(HeaderBytes(), kOffsetClass);
    return true;
}

bool CColorProfile::GetConnectionSpace(std::uint32_t& space) const
{
    if (!IsOpen())
        return false;
    space = platform::GetU32BE(HeaderBytes(), kOffsetConnectionSpace);
    return true;
}

bool CColorProfile::GetVersion(std::uint32_t& version) const
{
    if (!IsOpen())
        return false;
    version = platform::GetU32BE(HeaderBytes(), kOffsetVersion);
    return true;
}

// ---------------------------------------------------------------------------
// Description

bool CColorProfile::ReadDescriptionText(std::string& text) const
{
    const std::span<const std::uint8_t> element = FindElement(kSigDesc);
    std::uint32_t version = 0;
    if (element.empty() || !GetVersion(version))
        return false;
    if (version < kVersion4)
    {
        if (element.size() < 12 || platform::GetU32BE(element, 0) != kSigDesc)
            return false;
        const std::uint64_t count = platform::GetU32BE(element, 8);
        if (count == 0 || 12 + count > element.size())
            return false;
        const auto ascii = element.subspan(12, static_cast<std::size_t>(count));
        const auto end = std::find(ascii.begin(), ascii.end(), std::uint8_t{0});
        if (end == ascii.begin())
            return false;
        text = AsciiToUtf8(std::string(ascii.begin(), end));
        return true;
    }
    std::vector<LocalizedText> records;
    if (!DecodeMlucTag(element, records))
        return false;
    return SelectLocalizedText(records, text);
}

bool CColorProfile::GetDescription(std::string& text) const
{
    std::string found;
    if (ReadDescriptionText(found))
    {
        TrimString(found);
        text = std::move(found);
        return true;
    }
    text = GetFileNameFromPath(m_name);
    return false;
}

bool GetProfileDescriptionFromFile(std::string& text, const std::string& path)
{
    CColorProfile profile;
    std::string found;
    if (profile.OpenProfileFile(path) && profile.ReadDescriptionText(found))
    {
        text = std::move(found);
        return true;
    }
    text = GetFileNameFromPath(path);
    return false;
}

void TrimString(std::string& text)
{
    const std::size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
}

bool DecodeMlucTag(std::span<const std::uint8_t> element, std::vector<LocalizedText>& records)
{
    records.clear();
    if (element.size() < 16 || platform::GetU32BE(element, 0) != kSigMluc)
        return false;
    const std::uint64_t count = platform::GetU32BE(element, 8);
    if (16 + 12 * count > element.size())
        return false;
    std::vector<LocalizedText> decoded;
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::size_t at = 16 + 12 * i;
        const std::uint64_t length = platform::GetU32BE(element, at + 4);
        const std::uint64_t offset = platform::GetU32BE(element, at + 8);
        if (offset + length > element.size())
            return false;
        // A record whose text is empty or has an unpaired surrogate is
        // passed over.
        LocalizedText record;
        bool wellFormed = false;
        record.text = platform::Utf16ToUtf8(
            element.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)),
            true, &wellFormed);
        if (!wellFormed || record.text.empty())
            continue;
        record.language.assign(reinterpret_cast<const char*>(element.data() + at), 2);
        record.country.assign(reinterpret_cast<const char*>(element.data() + at + 2), 2);
        decoded.push_back(std::move(record));
    }
    records = std::move(decoded);
    return true;
}

bool SelectLocalizedText(const std::vector<LocalizedText>& records, std::string& text)
{
    const LocalizedText* japanese = nullptr;
    const LocalizedText* english = nullptr;
    for (const LocalizedText& record : records)
    {
        if (record.language == "ja" && record.country == "JP")
            japanese = &record;
        else if (record.language == "en" && record.country == "US")
            english = &record;
    }
    const LocalizedText* chosen = japanese ? japanese : english;
    if (!chosen)
        return false;
    text = chosen->text;
    return true;
}

// ---------------------------------------------------------------------------
// Colorants and curves

void XYZNumberToCIEXYZ(CCIEXYZ& xyz, std::span<const std::int32_t, 3> numbers)
{
    xyz = CCIEXYZ(numbers[0] * 100.0 / 65536.0, numbers[1] * 100.0 / 65536.0,
                  numbers[2] * 100.0 / 65536.0);
}

bool CColorProfile::ReadXYZElements(CCIEXYZ& red, CCIEXYZ& green, CCIEXYZ& blue,
                                    CCIEXYZ& white) const
{
    static constexpr std::uint32_t kSignatures[4] = {IccSignature("wtpt"), IccSignature("rXYZ"),
                                                     IccSignature("gXYZ"), IccSignature("bXYZ")};
    CCIEXYZ* const targets[4] = {&white, &red, &green, &blue};
    for (std::size_t k = 0; k < 4; ++k)
    {
        const std::span<const std::uint8_t> element = FindElement(kSignatures[k]);
        if (element.size() != 20)
            return false;
        if (platform::GetU32BE(element, 0) != kSigXYZType)
            continue;
        const std::int32_t numbers[3] = {ReadS32(element, 8), ReadS32(element, 12),
                                         ReadS32(element, 16)};
        XYZNumberToCIEXYZ(*targets[k], numbers);
        if (k == 0)
        {
            // A white without luminance cannot be scaled (and would divide
            // every later step by zero).
            if (!(white[1] > 0.0))
                return false;
            white *= 100.0 / white[1];
        }
    }
    return white[1] > 0.0 && std::isfinite(white[1]);
}

bool CColorProfile::ReadColorants(CCIEXYZ& red, CCIEXYZ& green, CCIEXYZ& blue, CCIEXYZ& white) const
{
    return ReadMediaColorants(red, green, blue, white, nullptr);
}

bool CColorProfile::GetMediaToPCSMatrix(CStdMatrix& toPCS) const
{
    CCIEXYZ red;
    CCIEXYZ green;
    CCIEXYZ blue;
    CCIEXYZ white;
    CStdMatrix fromPCS;
    if (!ReadMediaColorants(red, green, blue, white, &fromPCS) || !fromPCS.Invert())
        return false;
    toPCS = std::move(fromPCS);
    return true;
}

bool CColorProfile::ReadMediaColorants(CCIEXYZ& red, CCIEXYZ& green, CCIEXYZ& blue, CCIEXYZ& white,
                                       CStdMatrix* fromPCSOut) const
{
    if (!IsOpen())
        return false;
    const std::span<const std::uint8_t> header = HeaderBytes();
    const std::int32_t illuminantNumbers[3] = {ReadS32(header, kOffsetIlluminant),
                                               ReadS32(header, kOffsetIlluminant + 4),
                                               ReadS32(header, kOffsetIlluminant + 8)};
    CCIEXYZ illuminant;
    XYZNumberToCIEXYZ(illuminant, illuminantNumbers);
    if (!(illuminant[0] > 0.0 && illuminant[1] > 0.0 && illuminant[2] > 0.0))
        return false;

    CCIEXYZ r = red;
    CCIEXYZ g = green;
    CCIEXYZ b = blue;
    CCIEXYZ w = white;
    if (!ReadXYZElements(r, g, b, w))
        return false;
    if (g == r && b == r)
        return false;

    // The colorants are stored adapted to the PCS white D50. A profile that
    // says how ('chad') is taken back through the inverse of its own matrix;
    // its media white tag may be the PCS white itself (version 4 makes it
    // so), so the white is D50 taken back the same way. Without one the
    // adaptation is Bradford's from the media white to D50, as our own
    // profiles are written.
    const CCIEXYZ d50(96.42, 100.0, 82.49);
    CStdMatrix fromPCS;
    if (ChromaticAdaptationInverse(FindElement(kSigChad), fromPCS))
    {
        // White first; the colorants are scaled with it to Y = 100, so that
        // they still add up to it.
        CStdVector adapted[4] = {fromPCS.MultiplyVector(d50), fromPCS.MultiplyVector(r),
                                 fromPCS.MultiplyVector(g), fromPCS.MultiplyVector(b)};
        const double whiteY = adapted[0][1];
        bool usable = whiteY > 0.0 && std::isfinite(whiteY);
        for (std::size_t k = 0; k < 4 && usable; ++k)
        {
            adapted[k] *= 100.0 / whiteY;
            for (std::size_t i = 0; i < 3; ++i)
                usable = usable && std::isfinite(adapted[k][i]);
        }
        if (usable)
        {
            white = adapted[0];
            red = adapted[1];
            green = adapted[2];
            blue = adapted[3];
            if (fromPCSOut)
                *fromPCSOut = fromPCS * (100.0 / whiteY);
            return true;
        }
        // A matrix that turns the PCS white into no light is no adaptation:
        // passed by as a malformed tag is.
    }
    CStdMatrix toD50;
    if (!BradfordAdaptationMatrix(w, d50, toD50) || !toD50.Invert())
        return false;
    red = toD50.MultiplyVector(r);
    green = toD50.MultiplyVector(g);
    blue = toD50.MultiplyVector(b);
    white = w;
    if (fromPCSOut)
        *fromPCSOut = std::move(toD50);
    return true;
}

bool CColorProfile::ReadTRCTags(std::vector<double>& red, std::vector<double>& green,
                                std::vector<double>& blue) const
{
    if (!IsOpen())
        return false;
    std::vector<double> curves[3];
    static constexpr std::uint32_t kSignatures[3] = {IccSignature("rTRC"), IccSignature("gTRC"),
                                                     IccSignature("bTRC")};
    for (std::size_t c = 0; c < 3; ++c)
        if (!ReadCurveElement(FindElement(kSignatures[c]), curves[c]))
            return false;
    red = std::move(curves[0]);
    green = std::move(curves[1]);
    blue = std::move(curves[2]);
    return true;
}

bool CColorProfile::GetRGBToXYZMatrix(CStdMatrix& matrix) const
{
    CCIEXYZ red;
    CCIEXYZ green;
    CCIEXYZ blue;
    CCIEXYZ white;
    if (!ReadColorants(red, green, blue, white))
        return false;
    const CCIEXYZ* columns[3] = {&red, &green, &blue};
    CStdMatrix m(3, 3);
    for (std::uint32_t c = 0; c < 3; ++c)
        for (std::uint32_t r = 0; r < 3; ++r)
            m.SetAt(r, c, (*columns[c])[r] / white[1]);
    // 65535 in every channel maps to the white with Y = 100.
    matrix = m / 65535.0 * 100.0;
    return true;
}

bool CColorProfile::GetTRC(CRGBGammaTable& table) const
{
    std::vector<double> curves[3];
    if (!ReadTRCTags(curves[0], curves[1], curves[2]))
        return false;
    for (std::size_t c = 0; c < 3; ++c)
        table[c].BuildFromCurve(curves[c]);
    return true;
}

bool CColorProfile::GetInverseTRC(CRGBGammaTable& table) const
{
    std::vector<double> curves[3];
    if (!ReadTRCTags(curves[0], curves[1], curves[2]))
        return false;
    for (std::size_t c = 0; c < 3; ++c)
        table[c].BuildInverseFromCurve(curves[c]);
    return true;
}

bool CColorProfile::HasMatrixTRC() const
{
    CCIEXYZ red;
    CCIEXYZ green;
    CCIEXYZ blue;
    CCIEXYZ white;
    std::vector<double> curves[3];
    return ReadColorants(red, green, blue, white) && ReadTRCTags(curves[0], curves[1], curves[2]);
}

bool CColorProfile::IsRGBMatrixProfile()
{
    std::uint32_t space = 0;
    std::uint32_t deviceClass = 0;
    const bool usable =
        GetDataColorSpace(space) && space == kSigRGB && GetDeviceClass(deviceClass) &&
        (deviceClass == IccSignature("mntr") || deviceClass == IccSignature("scnr") ||
         deviceClass == IccSignature("spac")) &&
        HasMatrixTRC();
    if (!usable)
        Close();
    return usable;
}

// ---------------------------------------------------------------------------
// Colour-space record

bool CColorProfile::GetLogColorSpace(LogColorSpace& lcs, bool linear) const
{
    if (!IsOpen())
        return false;
    LogColorSpace out;
    out.lcsSignature = kLcsSignature;
    out.lcsVersion = kLcsVersion;
    out.lcsSize = sizeof(LogColorSpace);
    out.lcsCSType = kLcsCalibratedRGB;
    switch (platform::GetU32BE(HeaderBytes(), kOffsetIntent))
    {
    case 1:
        out.lcsIntent = kLcsGmGraphics;
        break;
    case 2:
        out.lcsIntent = kLcsGmBusiness;
        break;
    case 3:
        out.lcsIntent = kLcsGmAbsColorimetric;
        break;
    default:
        out.lcsIntent = kLcsGmImages;
        break;
    }

    CCIEXYZ red;
    CCIEXYZ green;
    CCIEXYZ blue;
    CCIEXYZ white;
    if (!ReadXYZElements(red, green, blue, white))
        return false;
    const auto endpoint = [&](const CCIEXYZ& v) {
        return LogCIEXYZ{ToFxpt2Dot30(v[0] / white[1]), ToFxpt2Dot30(v[1] / white[1]),
                         ToFxpt2Dot30(v[2] / white[1])};
    };
    out.lcsEndpoints = {endpoint(red), endpoint(green), endpoint(blue)};

    double gammas[3] = {1.0, 1.0, 1.0};
    if (!linear)
    {
        std::vector<double> curves[3];
        if (!ReadTRCTags(curves[0], curves[1], curves[2]))
            return false;
        for (std::size_t c = 0; c < 3; ++c)
        {
            if (curves[c].size() == 1)
            {
                gammas[c] = curves[c][0];
                continue;
            }
            // A sampled curve is described by the power law that fits it
            // best (x the entry index, normalised by the fit).
            CExponential fit;
            for (std::size_t i = 0; i < curves[c].size(); ++i)
                fit.AddPoint(static_cast<double>(i), curves[c][i]);
            gammas[c] = fit.Fit(0.9, 5.0, 0.1);
        }
    }
    out.lcsGammaRed = ToFxpt16Dot16(gammas[0]);
    out.lcsGammaGreen = ToFxpt16Dot16(gammas[1]);
    out.lcsGammaBlue = ToFxpt16Dot16(gammas[2]);
    lcs = out;
    return true;
}

bool CColorProfile::IsSameLogColorSpace(const LogColorSpace& lcs) const
{
    LogColorSpace mine;
    if (!GetLogColorSpace(mine, false))
        return false;
    const auto same = [](const LogCIEXYZ& a, const LogCIEXYZ& b) {
        return a.ciexyzX == b.ciexyzX && a.ciexyzY == b.ciexyzY && a.ciexyzZ == b.ciexyzZ;
    };
    return same(mine.lcsEndpoints.ciexyzRed, lcs.lcsEndpoints.ciexyzRed) &&
           same(mine.lcsEndpoints.ciexyzGreen, lcs.lcsEndpoints.ciexyzGreen) &&
           same(mine.lcsEndpoints.ciexyzBlue, lcs.lcsEndpoints.ciexyzBlue) &&
           mine.lcsGammaRed == lcs.lcsGammaRed && mine.lcsGammaGreen == lcs.lcsGammaGreen &&
           mine.lcsGammaBlue == lcs.lcsGammaBlue;
}

// ---------------------------------------------------------------------------
// Writers

bool CColorProfile::SetTagElement(std::uint32_t signature, std::span<const std::uint8_t> element)
{
    if (m_state != State::Writable)
        return false;
    // The serialised profile must stay addressable by 32-bit offsets.
    std::uint64_t total = kTagTableStart + kTagEntrySize * (m_elements.size() + 1);
    for (const Element& existing : m_elements)
        if (existing.signature != signature)
            total = Align4(total) + existing.data.size();
    total = Align4(Align4(total) + element.size());
    if (total > std::numeric_limits<std::uint32_t>::max())
        return false;

    m_dirty = true;
    for (Element& existing : m_elements)
    {
        if (existing.signature == signature)
        {
            existing.data.assign(element.begin(), element.end());
            return true;
        }
    }
    m_elements.push_back(
        Element{signature, std::vector<std::uint8_t>(element.begin(), element.end())});
    return true;
}

bool CColorProfile::SetHeader(std::uint32_t deviceClass, std::uint32_t connectionSpace)
{
    if (m_state != State::Writable)
        return false;
    platform::PutU32BE(m_header, kOffsetCmm, kSigMsft);
    platform::PutU32BE(m_header, kOffsetVersion, kVersion2_1);
    platform::PutU32BE(m_header, kOffsetClass, deviceClass);
    platform::PutU32BE(m_header, kOffsetDataSpace, kSigRGB);
    platform::PutU32BE(m_header, kOffsetConnectionSpace, connectionSpace);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local))
    {
        const int fields[6] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                               local.tm_hour,        local.tm_min,     local.tm_sec};
        for (int i = 0; i < 6; ++i)
            platform::PutU16BE(m_header, kOffsetDate + 2 * i,
                               static_cast<std::uint16_t>(fields[i]));
    }
    platform::PutU32BE(m_header, kOffsetPlatform, kSigMsft);
    for (int i = 0; i < 3; ++i)
        platform::PutU32BE(m_header, kOffsetIlluminant + 4 * i,
                           static_cast<std::uint32_t>(kD50Fixed[i]));
    m_dirty = true;
    return true;
}

bool CColorProfile::SetXYZTag(const CStdVector& xyz, std::uint32_t signature)
{
    std::uint8_t element[20] = {};
    platform::PutU32BE(element, 0, kSigXYZType);
    for (std::size_t i = 0; i < 3; ++i)
    {
        const double v = i < xyz.GetSize() ? xyz[i] : 0.0;
        platform::PutU32BE(element, 8 + 4 * i, static_cast<std::uint32_t>(ToS15Fixed16(v)));
    }
    return SetTagElement(signature, element);
}

bool CColorProfile::SetGammaTag(double gamma, std::uint32_t signature)
{
    std::uint8_t element[14] = {};
    platform::PutU32BE(element, 0, kSigCurv);
    platform::PutU32BE(element, 8, 1);
    platform::PutU16BE(element, 12,
                       static_cast<std::uint16_t>(ClampToInteger(gamma * 256.0, 0, 0xFFFF)));
    return SetTagElement(signature, element);
}

bool CColorProfile::SetDescriptionTag(std::uint32_t signature, const std::string& text)
{
    if (m_state != State::Writable)
        return false;
    return SetTagElement(signature, DescriptionElement(text));
}

bool CColorProfile::SetCopyrightTag(const std::string& text)
{
    if (m_state != State::Writable)
        return false;
    std::vector<std::uint8_t> element(text.size() + 9, 0);
    platform::PutU32BE(element, 0, kSigText);
    std::memcpy(element.data() + 8, text.data(), text.size());
    return SetTagElement(IccSignature("cprt"), element);
}

bool CColorProfile::SetDeviceTextTags()
{
    return SetDescriptionTag(IccSignature("dmnd"), "test") &&
           SetDescriptionTag(IccSignature("dmdd"), "test");
}

bool CColorProfile::SetProfileSequenceTag()
{
    // Two profileDescriptionStructures: manufacturer and model signatures,
    // attributes and technology (20 bytes of zeros), then the manufacturer's
    // and the model's description as textDescriptionType with an empty
    // ASCII text (count 1, its zero) and empty Unicode and ScriptCode parts,
    // 64 bytes each.
    constexpr std::size_t kRecordSize = 148;
    std::vector<std::uint8_t> element(12 + 2 * kRecordSize, 0);
    platform::PutU32BE(element, 0, kSigPseq);
    platform::PutU32BE(element, 8, 2);
    for (std::size_t r = 0; r < 2; ++r)
    {
        const std::size_t record = 12 + r * kRecordSize;
        for (std::size_t d = 0; d < 2; ++d)
        {
            const std::size_t description = record + 20 + 64 * d;
            platform::PutU32BE(element, description, kSigDesc);
            platform::PutU32BE(element, description + 8, 1);
        }
    }
    return SetTagElement(kSigPseq, element);
}

// ---------------------------------------------------------------------------
// Free functions

void BradfordAdapt(CStdVector& red, CStdVector& green, CStdVector& blue, const CStdVector& white)
{
    CStdMatrix m;
    if (!BradfordAdaptationMatrix(white, CStdVector{0.9642, 1.0, 0.8249}, m))
        return;
    red = m.MultiplyVector(red);
    green = m.MultiplyVector(green);
    blue = m.MultiplyVector(blue);
}
