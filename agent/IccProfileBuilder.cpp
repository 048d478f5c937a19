#include "agent/IccProfileBuilder.h"

#include "platform/Bytes.h"
#include "platform/ColorDirectory.h"
#include "platform/File.h"
#include "platform/FileReplace.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <string_view>

namespace {

using Matrix3 = std::array<double, 9>; // row-major
using Vector3 = std::array<double, 3>;

// Bradford cone-response matrix and its inverse, as the profiles have
// always been computed with (the inverse to four decimals, so MB^-1 MB is
// the identity only to about 1e-4).
constexpr Matrix3 kBradford = {0.8951, 0.2664, -0.1614, -0.7502, 1.7135,
                               0.0367, 0.0389, -0.0685, 1.0296};
constexpr Matrix3 kBradfordInverse = {0.9870, -0.1471, 0.1600, 0.4323, 0.5184,
                                      0.0493, -0.0085, 0.0400, 0.9685};
constexpr Vector3 kD50 = {0.964188, 1.0, 0.82489};

// The profile connection space's illuminant in the header: D50 as the ICC
// encodes it (0.9642, 1.0, 0.8249 rounded to s15Fixed16).
constexpr std::uint32_t kPcsIlluminant[3] = {0x0000F6D6u, 0x00010000u, 0x0000D32Du};

constexpr std::uint32_t kSigXyzType = IccSignature("XYZ ");
constexpr std::uint32_t kSigCurveType = IccSignature("curv");
constexpr std::uint32_t kSigTextType = IccSignature("text");
constexpr std::uint32_t kSigDescType = IccSignature("desc");

constexpr std::uint32_t kSigRedColorant = IccSignature("rXYZ");
constexpr std::uint32_t kSigGreenColorant = IccSignature("gXYZ");
constexpr std::uint32_t kSigBlueColorant = IccSignature("bXYZ");
constexpr std::uint32_t kSigRedCurve = IccSignature("rTRC");
constexpr std::uint32_t kSigGreenCurve = IccSignature("gTRC");
constexpr std::uint32_t kSigBlueCurve = IccSignature("bTRC");
constexpr std::uint32_t kSigWhitePoint = IccSignature("wtpt");
constexpr std::uint32_t kSigCopyright = IccSignature("cprt");
constexpr std::uint32_t kSigDescription = IccSignature("desc");

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kTagEntrySize = 12;
// More entries than any profile of ours (or a sane monitor profile) has:
// a larger count in a file is cut to this many.
constexpr std::uint32_t kMaxTagsRead = 50;
constexpr std::size_t kXyzTagSize = 20;
constexpr std::size_t kCurveHeaderSize = 12;
constexpr std::size_t kCurveTagSize = kCurveHeaderSize + 2 * kIccCurveSize;
constexpr std::uint32_t kSigParametricType = IccSignature("para");
constexpr std::size_t kParametricHeaderSize = 12;
// Longer sampled curves than any profile has (the entry count of a curve is
// a 32-bit number in the file): one beyond this is not read.
constexpr std::uint32_t kMaxCurveEntries = 65536;

void AppendBig32(std::vector<std::uint8_t>& data, std::uint32_t value)
{
    const std::size_t at = data.size();
    data.resize(at + 4);
    platform::PutU32BE(data, at, value);
}

Vector3 Multiply(const Matrix3& m, const Vector3& v)
{
    return {m[0] * v[0] + m[1] * v[1] + m[2] * v[2], m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
            m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
}

Matrix3 Multiply(const Matrix3& a, const Matrix3& b)
{
    Matrix3 c{};
    for (int r = 0; r < 3; ++r)
    {
        for (int k = 0; k < 3; ++k)
        {
            double sum = 0.0;
            for (int i = 0; i < 3; ++i)
                sum += a[r * 3 + i] * b[i * 3 + k];
            c[r * 3 + k] = sum;
        }
    }
    return c;
}

// Inverse by cofactors; false for a zero (or non-finite) determinant.
bool Invert(const Matrix3& m, Matrix3& inverse)
{
    const double c00 = m[4] * m[8] - m[5] * m[7];
    const double c01 = m[5] * m[6] - m[3] * m[8];
    const double c02 = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
    if (det == 0.0 || !std::isfinite(det))
        return false;
    inverse = {c00 / det, (m[2] * m[7] - m[1] * m[8]) / det, (m[1] * m[5] - m[2] * m[4]) / det,
               c01 / det, (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
               c02 / det, (m[1] * m[6] - m[0] * m[7]) / det, (m[0] * m[4] - m[1] * m[3]) / det};
    return true;
}

bool AllFinite(std::span<const double> values)
{
    for (double v : values)
    {
        if (!std::isfinite(v))
            return false;
    }
    return true;
}

bool IsFinite(const IccXyz& v)
{
    return std::isfinite(v.X) && std::isfinite(v.Y) && std::isfinite(v.Z);
}

// A triple reduced to its chromaticity (x, y, z with x + y + z = 1).
bool Chromaticity(const IccXyz& v, Vector3& out)
{
    const double sum = v.X + v.Y + v.Z;
    if (sum == 0.0 || !std::isfinite(sum))
        return false;
    out = {v.X / sum, v.Y / sum, v.Z / sum};
    return AllFinite(out);
}

// The value as s15Fixed16, or false when it is not finite or out of range.
bool EncodeFixed(double value, std::int32_t& out)
{
    if (!std::isfinite(value) || value < -32768.0 || value >= 32768.0)
        return false;
    out = ToS15Fixed16(value);
    return true;
}

std::vector<std::uint8_t> XyzTag(const std::int32_t* xyz)
{
    std::vector<std::uint8_t> data;
    data.reserve(kXyzTagSize);
    AppendBig32(data, kSigXyzType);
    AppendBig32(data, 0);
    for (int i = 0; i < 3; ++i)
        AppendBig32(data, static_cast<std::uint32_t>(xyz[i]));
    return data;
}

std::vector<std::uint8_t> CurveTag(const IccCurve& curve)
{
    std::vector<std::uint8_t> data(kCurveTagSize, 0);
    platform::PutU32BE(data, 0, kSigCurveType);
    platform::PutU32BE(data, 8, static_cast<std::uint32_t>(curve.size()));
    for (std::size_t i = 0; i < curve.size(); ++i)
        platform::PutU16BE(data, kCurveHeaderSize + 2 * i, curve[i]);
    return data;
}

// The text with its terminating zero, zero-padded to the next multiple of 4
// past its length (a length that is a multiple of 4 gets four zeros).
std::size_t PaddedTextSize(const std::string& text)
{
    return text.size() / 4 * 4 + 4;
}

std::vector<std::uint8_t> TextTag(const std::string& text)
{
    std::vector<std::uint8_t> data(8 + PaddedTextSize(text), 0);
    platform::PutU32BE(data, 0, kSigTextType);
    std::copy(text.begin(), text.end(), data.begin() + 8);
    return data;
}

// textDescriptionType: the ASCII count is the text's length with its
// terminating zero; the padding after it is not text. After the padded text
// come the Unicode language code and count (0, no Unicode text) and the
// ScriptCode code and count (0): 11 zero bytes.
std::vector<std::uint8_t> DescriptionTag(const std::string& text)
{
    const std::size_t padded = PaddedTextSize(text);
    std::vector<std::uint8_t> data(12 + padded + 11, 0);
    platform::PutU32BE(data, 0, kSigDescType);
    platform::PutU32BE(data, 8, static_cast<std::uint32_t>(text.size() + 1));
    std::copy(text.begin(), text.end(), data.begin() + 12);
    return data;
}

// A tone-curve value in 0..1 as the 16-bit entry of a curve of ours: times
// 65535, truncated (SetGammaCurves does the same).
std::uint16_t CurveEntry(double value)
{
    if (!(value >= 0.0))
        value = 0.0;
    if (value > 1.0)
        value = 1.0;
    return static_cast<std::uint16_t>(value * 65535.0);
}

// A curve as 256 samples over the drive values 0..255, the form our own
// profiles hold and the comparison reads: entryAt(i) gives sample i.
IccCurve SampleCurve(const auto& entryAt)
{
    IccCurve curve{};
    for (int i = 0; i < kIccCurveSize; ++i)
        curve[i] = entryAt(i);
    return curve;
}

// A function of x in 0..1 sampled at the drive values (i / 255 of full
// scale), as SetGammaCurves samples the gamma of our own profiles.
IccCurve SampleFunction(const auto& valueAt)
{
    return SampleCurve([&valueAt](int i) {
        return CurveEntry(valueAt(static_cast<double>(i) / (kIccCurveSize - 1)));
    });
}

// A curveType's table of entries spread evenly over 0..1, sampled at the
// drive values: linearly interpolated between its entries, to the nearest
// 16-bit value. A table of our own size gives its entries back unchanged.
IccCurve SampleTable(const std::vector<std::uint16_t>& table)
{
    const std::size_t last = table.size() - 1;
    return SampleCurve([&table, last](int i) -> std::uint16_t {
        // Exact where the drive value falls on an entry.
        const std::uint64_t scaled = static_cast<std::uint64_t>(i) * last;
        const std::size_t below = static_cast<std::size_t>(scaled / (kIccCurveSize - 1));
        const std::uint64_t rest = scaled % (kIccCurveSize - 1);
        if (rest == 0 || below >= last)
            return table[std::min(below, last)];
        const double fraction = static_cast<double>(rest) / (kIccCurveSize - 1);
        const double value = table[below] + (table[below + 1] - table[below]) * fraction;
        return static_cast<std::uint16_t>(std::lround(value));
    });
}

// The number of parameters of each parametricCurveType function (0..4).
constexpr std::array<int, 5> kParametricCounts = {1, 3, 4, 5, 7};

// A parametricCurveType function (g, a, b, c, d, e, f) evaluated at x.
double ParametricValue(int function, const std::array<double, 7>& p, double x)
{
    const double g = p[0];
    const double a = p[1];
    const double b = p[2];
    const double c = p[3];
    const double d = p[4];
    const auto power = [g](double base) { return base > 0.0 ? std::pow(base, g) : 0.0; };
    switch (function)
    {
    case 0:
        return power(x);
    case 1:
        return a != 0.0 && x >= -b / a ? power(a * x + b) : 0.0;
    case 2:
        return a != 0.0 && x >= -b / a ? power(a * x + b) + c : c;
    case 3:
        return x >= d ? power(a * x + b) : c * x;
    default:
        return x >= d ? power(a * x + b) + p[5] : c * x + p[6];
    }
}

// The tag signature as text for the trace ("mft2").
std::string SignatureText(std::uint32_t signature)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
    {
        const char c = static_cast<char>((signature >> shift) & 0xFFu);
        text += c >= 0x20 && c < 0x7F ? c : '?';
    }
    return text;
}

constexpr std::array<const char*, 7> kItemNames = {"rXYZ", "gXYZ", "bXYZ", "wtpt",
                                                   "rTRC", "gTRC", "bTRC"};

// Which of the seven items a tag signature fills; -1 for tags not read.
int ItemOf(std::uint32_t signature)
{
    switch (signature)
    {
    case kSigRedColorant:
        return 0;
    case kSigGreenColorant:
        return 1;
    case kSigBlueColorant:
        return 2;
    case kSigWhitePoint:
        return 3;
    case kSigRedCurve:
        return 4;
    case kSigGreenCurve:
        return 5;
    case kSigBlueCurve:
        return 6;
    default:
        return -1;
    }
}

} // namespace

std::int32_t ToS15Fixed16(double value)
{
    const double scaled = std::trunc(value * 65536.0);
    if (std::isnan(scaled))
        return 0;
    if (scaled <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (scaled >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(scaled);
}

double FromS15Fixed16(std::uint32_t value)
{
    return static_cast<double>(static_cast<std::int32_t>(value)) / 65536.0;
}

IccXyz XyzToXy(double X, double Y, double Z)
{
    const double sum = X + Y + Z;
    return {X / sum, Y / sum, Y};
}

bool CalcAdaptedColorants(const IccXyz& red, const IccXyz& green, const IccXyz& blue,
                          const IccXyz& white, std::array<IccXyz, 3>& colorants)
{
    Vector3 r{};
    Vector3 g{};
    Vector3 b{};
    Vector3 w{};
    if (!Chromaticity(red, r) || !Chromaticity(green, g) || !Chromaticity(blue, b) ||
        !Chromaticity(white, w))
        return false;

    const Matrix3 p = {r[0], g[0], b[0], r[1], g[1], b[1], r[2], g[2], b[2]};
    Matrix3 pInverse{};
    if (!Invert(p, pInverse))
        return false;
    const Vector3 s = Multiply(pInverse, w);
    const Matrix3 m = {p[0] * s[0], p[1] * s[1], p[2] * s[2], p[3] * s[0], p[4] * s[1],
                       p[5] * s[2], p[6] * s[0], p[7] * s[1], p[8] * s[2]};

    const Vector3 coneSource = Multiply(kBradford, w);
    const Vector3 coneTarget = Multiply(kBradford, kD50);
    Matrix3 gain{};
    for (int i = 0; i < 3; ++i)
        gain[i * 4] = coneTarget[i] / coneSource[i];
    const Matrix3 adapt = Multiply(kBradfordInverse, Multiply(gain, kBradford));
    const Matrix3 c = Multiply(adapt, m);
    if (!AllFinite(c))
        return false;

    for (int column = 0; column < 3; ++column)
        colorants[column] = {c[column], c[3 + column], c[6 + column]};
    return true;
}

bool AdaptPrimaries(IccCompareRecord& record)
{
    std::array<IccXyz, 3> colorants;
    if (!CalcAdaptedColorants(record.red, record.green, record.blue, record.white, colorants))
        return false;
    record.red = colorants[0];
    record.green = colorants[1];
    record.blue = colorants[2];
    return true;
}

CIccProfileBuilder::CIccProfileBuilder()
{
    platform::ColorDirectory(m_colorDirectory);
}

bool CIccProfileBuilder::SetPrimaries(const IccXyz& red, const IccXyz& green, const IccXyz& blue,
                                      const IccXyz& white)
{
    if (!IsFinite(red) || !IsFinite(green) || !IsFinite(blue) || !IsFinite(white))
        return false;
    m_red = red;
    m_green = green;
    m_blue = blue;
    m_white = white;
    m_primariesSet = true;
    return true;
}

bool CIccProfileBuilder::SetGamma(double gamma)
{
    if (!std::isfinite(gamma) || gamma <= 0.0)
        return false;
    m_gamma = gamma;
    SetGammaCurves(gamma);
    return true;
}

// Sample i stands for the drive value i of 0..255, that is i / 255 of full
// scale, so the last sample is exactly 1. The 16-bit entry is the sample
// times 65535, truncated.
void CIccProfileBuilder::SetGammaCurves(double gamma)
{
    for (int i = 0; i < kIccCurveSize; ++i)
    {
        double sample = std::pow(static_cast<double>(i) / (kIccCurveSize - 1), gamma);
        if (!(sample >= 0.0))
            sample = 0.0;
        if (sample > 1.0)
            sample = 1.0;
        m_curve[i] = sample;
        m_curve16[i] = static_cast<std::uint16_t>(sample * 65535.0);
    }
}

bool CIccProfileBuilder::Export(IccCompareRecord& record) const
{
    if (!m_primariesSet || m_gamma < 0.0)
        return false;
    record.red = m_red;
    record.green = m_green;
    record.blue = m_blue;
    record.white = m_white;
    record.curves = {m_curve16, m_curve16, m_curve16};
    return true;
}

void CIccProfileBuilder::SetDescription(std::string text)
{
    m_description = std::move(text);
    m_hasDescription = true;
}

void CIccProfileBuilder::SetNotice(std::string text)
{
    m_notice = std::move(text);
    m_hasNotice = true;
}

bool CIccProfileBuilder::CalcColorants()
{
    if (!m_primariesSet)
        return false;
    std::array<IccXyz, 3> colorants;
    if (!CalcAdaptedColorants(m_red, m_green, m_blue, m_white, colorants))
        return false;

    std::array<std::int32_t, 3> whitePoint{};
    std::array<std::int32_t, 9> fixed{};
    if (!EncodeFixed(m_white.X / m_white.Y, whitePoint[0]) || !EncodeFixed(1.0, whitePoint[1]) ||
        !EncodeFixed(m_white.Z / m_white.Y, whitePoint[2]))
        return false;
    for (int i = 0; i < 3; ++i)
    {
        if (!EncodeFixed(colorants[i].X, fixed[i * 3]) ||
            !EncodeFixed(colorants[i].Y, fixed[i * 3 + 1]) ||
            !EncodeFixed(colorants[i].Z, fixed[i * 3 + 2]))
            return false;
    }
    m_whitePoint = whitePoint;
    m_colorants = fixed;
    return true;
}

void CIccProfileBuilder::SetTag(std::uint32_t signature, std::span<const std::uint8_t> data)
{
    std::erase_if(m_tags, [signature](const TagEntry& tag) { return tag.signature == signature; });
    TagEntry entry;
    entry.signature = signature;
    entry.size = static_cast<std::uint32_t>(data.size());
    entry.data.assign(data.begin(), data.end());
    m_tags.push_back(std::move(entry));
}

void CIccProfileBuilder::StampHeader()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    StampHeader(now != static_cast<std::time_t>(-1) && ::localtime_r(&now, &local) ? &local
                                                                                   : nullptr);
}

void CIccProfileBuilder::StampHeader(const std::tm* localTime)
{
    m_header.fill(0);
    platform::PutU32BE(m_header, 4, IccSignature("appl"));
    platform::PutU32BE(m_header, 8, 0x02000000u);
    platform::PutU32BE(m_header, 12, IccSignature("mntr"));
    platform::PutU32BE(m_header, 16, IccSignature("RGB "));
    platform::PutU32BE(m_header, 20, IccSignature("XYZ "));

    std::uint16_t date[6] = {0, 0, 0, 0xFFFF, 0xFFFF, 0xFFFF};
    if (localTime)
    {
        const int fields[6] = {localTime->tm_year + 1900, localTime->tm_mon + 1, localTime->tm_mday,
                               localTime->tm_hour,        localTime->tm_min,     localTime->tm_sec};
        for (int i = 0; i < 6; ++i)
            date[i] =
                fields[i] >= 0 && fields[i] <= 0xFFFF ? static_cast<std::uint16_t>(fields[i]) : 0;
    }
    for (int i = 0; i < 6; ++i)
        platform::PutU16BE(m_header, 24 + 2 * i, date[i]);

    platform::PutU32BE(m_header, 36, IccSignature("acsp"));
    platform::PutU32BE(m_header, 40, IccSignature("MSFT"));
    platform::PutU32BE(m_header, 48, IccSignature("NONE"));
    for (int i = 0; i < 3; ++i)
        platform::PutU32BE(m_header, 68 + 4 * i, kPcsIlluminant[i]);
}

bool CIccProfileBuilder::BuildTags()
{
    if (!m_primariesSet || m_gamma < 0.0 || !CalcColorants())
        return false;
    StampHeader();
    SetTag(kSigRedColorant, XyzTag(&m_colorants[0]));
    SetTag(kSigGreenColorant, XyzTag(&m_colorants[3]));
    SetTag(kSigBlueColorant, XyzTag(&m_colorants[6]));
    const std::vector<std::uint8_t> curve = CurveTag(m_curve16);
    SetTag(kSigRedCurve, curve);
    SetTag(kSigGreenCurve, curve);
    SetTag(kSigBlueCurve, curve);
    SetTag(kSigWhitePoint, XyzTag(m_whitePoint.data()));
    if (m_hasNotice)
        SetTag(kSigCopyright, TextTag(m_notice));
    if (m_hasDescription)
        SetTag(kSigDescription, DescriptionTag(m_description));
    return true;
}

// Layout: header, count, table, then the tags one after the other, each
// starting on a multiple of 4 (the gap, if any, zero-filled), and zeros
// after the last one up to a multiple of 4. The first header field is the
// file's length.
bool CIccProfileBuilder::Save(const std::string& path)
{
    const std::size_t count = m_tags.size();
    std::uint64_t offset = kHeaderSize + 4 + kTagEntrySize * count;
    std::uint64_t end = offset;
    for (TagEntry& tag : m_tags)
    {
        offset = (end + 3) / 4 * 4;
        end = offset + tag.data.size();
        if (end > std::numeric_limits<std::uint32_t>::max())
            return false;
        tag.offset = static_cast<std::uint32_t>(offset);
        tag.size = static_cast<std::uint32_t>(tag.data.size());
    }

    // The last tag is padded too: the file's length, which the header
    // gives, is a multiple of 4. A tag's own size leaves its padding out.
    end = (end + 3) / 4 * 4;
    if (end > std::numeric_limits<std::uint32_t>::max())
        return false;
    std::vector<std::uint8_t> file(static_cast<std::size_t>(end), 0);
    std::copy(m_header.begin(), m_header.end(), file.begin());
    platform::PutU32BE(file, 0, static_cast<std::uint32_t>(end));
    platform::PutU32BE(file, kHeaderSize, static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i)
    {
        const TagEntry& tag = m_tags[i];
        const std::size_t entry = kHeaderSize + 4 + kTagEntrySize * i;
        platform::PutU32BE(file, entry, tag.signature);
        platform::PutU32BE(file, entry + 4, tag.offset);
        platform::PutU32BE(file, entry + 8, tag.size);
        std::copy(tag.data.begin(), tag.data.end(), file.begin() + tag.offset);
    }

    const std::string_view bytes(reinterpret_cast<const char*>(file.data()), file.size());
    std::string error;
    if (!platform::ReplaceFileContents(path, bytes, &error))
    {
        m_trace.Write("ICC profile not saved: " + path + " (" + error + ")\n");
        return false;
    }
    return true;
}

bool CIccProfileBuilder::Load(const std::string& path, IccCompareRecord& record) const
{
    platform::File file;
    if (!file.OpenRead(path))
        return false;

    std::uint8_t header[kHeaderSize + 4];
    if (!file.ReadAt(0, header, sizeof header) ||
        platform::GetU32BE(header, 36) != IccSignature("acsp"))
        return false;
    const std::uint32_t count = std::min(platform::GetU32BE(header, kHeaderSize), kMaxTagsRead);

    std::vector<std::uint8_t> table(kTagEntrySize * count);
    std::uint32_t entries = 0;
    while (entries < count && file.ReadAt(kHeaderSize + 4 + kTagEntrySize * entries,
                                          table.data() + kTagEntrySize * entries, kTagEntrySize))
        ++entries;

    IccXyz* const triples[4] = {&record.red, &record.green, &record.blue, &record.white};
    unsigned found = 0;                // one bit per item, so a repeated tag counts once
    std::array<std::string, 7> unread; // a curve's tag of a kind not read
    for (std::uint32_t i = 0; i < entries; ++i)
    {
        const std::size_t entry = kTagEntrySize * i;
        const int item = ItemOf(platform::GetU32BE(table, entry));
        if (item < 0)
            continue;
        const std::uint64_t offset = platform::GetU32BE(table, entry + 4);
        const std::uint32_t size = platform::GetU32BE(table, entry + 8);

        if (item < 4)
        {
            std::uint8_t data[kXyzTagSize];
            if (size < kXyzTagSize || !file.ReadAt(offset, data, sizeof data) ||
                platform::GetU32BE(data, 0) != kSigXyzType)
                return false;
            *triples[item] = {FromS15Fixed16(platform::GetU32BE(data, 8)),
                              FromS15Fixed16(platform::GetU32BE(data, 12)),
                              FromS15Fixed16(platform::GetU32BE(data, 16))};
        }
        else
        {
            std::uint8_t head[kCurveHeaderSize];
            if (size < kCurveHeaderSize || !file.ReadAt(offset, head, sizeof head))
                return false;
            const std::uint32_t type = platform::GetU32BE(head, 0);
            IccCurve& curve = record.curves[item - 4];
            if (type == kSigCurveType)
            {
                // 0 entries: the identity; 1: a gamma (u8Fixed8); more: a
                // table over 0..1, of any length.
                const std::uint32_t length = platform::GetU32BE(head, 8);
                if (length > kMaxCurveEntries)
                {
                    unread[item] = "curve of " + std::to_string(length) + " entries";
                    continue;
                }
                if (size < kCurveHeaderSize + 2 * std::uint64_t{length})
                    return false;
                std::vector<std::uint8_t> bytes(2 * std::size_t{length});
                if (!bytes.empty() &&
                    !file.ReadAt(offset + kCurveHeaderSize, bytes.data(), bytes.size()))
                    return false;
                if (length == 0)
                {
                    curve = SampleFunction([](double x) { return x; });
                }
                else if (length == 1)
                {
                    const double gamma = platform::GetU16BE(bytes, 0) / 256.0;
                    curve = SampleFunction([gamma](double x) { return std::pow(x, gamma); });
                }
                else
                {
                    std::vector<std::uint16_t> samples(length);
                    for (std::uint32_t e = 0; e < length; ++e)
                        samples[e] = platform::GetU16BE(bytes, 2 * std::size_t{e});
                    curve = SampleTable(samples);
                }
            }
            else if (type == kSigParametricType)
            {
                const int function = platform::GetU16BE(head, 8);
                if (function >= static_cast<int>(kParametricCounts.size()))
                {
                    unread[item] = "parametric curve of function " + std::to_string(function);
                    continue;
                }
                const int count = kParametricCounts[static_cast<std::size_t>(function)];
                std::uint8_t values[4 * 7];
                if (size < kParametricHeaderSize + 4 * std::uint64_t(count) ||
                    !file.ReadAt(offset + kParametricHeaderSize, values,
                                 4 * static_cast<std::size_t>(count)))
                    return false;
                std::array<double, 7> parameters{};
                for (int k = 0; k < count; ++k)
                    parameters[static_cast<std::size_t>(k)] =
                        FromS15Fixed16(platform::GetU32BE(values, 4 * static_cast<std::size_t>(k)));
                curve = SampleFunction([function, &parameters](double x) {
                    return ParametricValue(function, parameters, x);
                });
            }
            else
            {
                unread[item] = "tag of type " + SignatureText(type);
                continue;
            }
        }
        found |= 1u << item;
    }
    if (found != 0x7Fu)
    {
        // What is missing, and what stood in a curve's place.
        std::string missing;
        for (std::size_t i = 0; i < kItemNames.size(); ++i)
        {
            if ((found & (1u << i)) != 0)
                continue;
            missing += missing.empty() ? "" : ", ";
            missing += kItemNames[i];
            if (!unread[i].empty())
                missing += " (" + unread[i] + ", not compared)";
        }
        m_trace.Write("ICC profile lacks " + missing + ": " + path + "\n");
        return false;
    }
    return true;
}

bool CIccProfileBuilder::GetCurrentIcmProfileName(int which, std::string& name) const
{
    if (which == 0)
    {
        const std::string current = platform::MonitorProfileName(m_deviceId);
        if (current.empty())
            return false;
        name = platform::ResolveProfilePath(current);
        return true;
    }
    if (which == 1)
    {
        name = m_currentProfilePath;
        return true;
    }
    return false;
}

void CIccProfileBuilder::SetCurrentProfilePath(const std::string& path)
{
    m_currentProfilePath = path;
    m_pathSet = true;
}
