#include "imagefile/DNGFile.h"

#include "core/Clamp.h"
#include "platform/Bytes.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <variant>

namespace {

// --- The tag table ----------------------------------------------------------

// How a tag's values are read, and which TIFF field types each kind accepts:
//   Text        1 BYTE, 2 ASCII            the bytes as stored
//   Bytes       1 BYTE
//   Shorts      3 SHORT
//   Longs       3 SHORT (widened), 4 LONG, 13 IFD (a LONG that points at an
//               IFD, written by some TIFF-EP writers for SubIFDs)
//   Rationals   5 RATIONAL, 10 SRATIONAL, 3 SHORT and 4 LONG as (value, 1)
//   SRationals  10 SRATIONAL
enum class TagKind
{
    Text,
    Bytes,
    Shorts,
    Longs,
    Rationals,
    SRationals,
};

using Member = std::variant<std::string CDNGIfdInfo::*, std::vector<std::uint8_t> CDNGIfdInfo::*,
                            std::vector<std::uint16_t> CDNGIfdInfo::*,
                            std::vector<std::uint32_t> CDNGIfdInfo::*,
                            std::vector<DngRational> CDNGIfdInfo::*>;

struct TagDef
{
    std::uint16_t tag;
    TagKind kind;
    Member member;
};

using I = CDNGIfdInfo;
using K = TagKind;

// Sorted by tag number.
const TagDef kTags[] = {
    {254, K::Longs, &I::NewSubFileType},
    {256, K::Longs, &I::ImageWidth},
    {257, K::Longs, &I::ImageLength},
    {258, K::Shorts, &I::BitsPerSample},
    {259, K::Shorts, &I::Compression},
    {262, K::Shorts, &I::PhotometricInterpretation},
    {271, K::Text, &I::Make},
    {272, K::Text, &I::Model},
    {273, K::Longs, &I::StripOffsets},
    {274, K::Shorts, &I::Orientation},
    {277, K::Shorts, &I::SamplesPerPixel},
    {278, K::Longs, &I::RowsPerStrip},
    {279, K::Longs, &I::StripByteCounts},
    {282, K::Rationals, &I::XResolution},
    {283, K::Rationals, &I::YResolution},
    {284, K::Shorts, &I::PlanarConfiguration},
    {296, K::Shorts, &I::ResolutionUnit},
    {305, K::Text, &I::Software},
    {306, K::Text, &I::DateTime},
    {322, K::Longs, &I::TileWidth},
    {323, K::Longs, &I::TileLength},
    {324, K::Longs, &I::TileOffsets},
    {325, K::Longs, &I::TileByteCounts},
    {330, K::Longs, &I::SubIFDs},
    {33421, K::Shorts, &I::CFARepeatPatternDim},
    {33422, K::Bytes, &I::CFAPattern},
    {33432, K::Text, &I::Copyright},
    {33434, K::Rationals, &I::ExposureTime},
    {33437, K::Rationals, &I::FNumber},
    {34665, K::Longs, &I::ExifIFD},
    {34850, K::Shorts, &I::ExposureProgram},
    {34855, K::Shorts, &I::ISOSpeedRatings},
    {36867, K::Text, &I::DateTimeOriginal},
    {37377, K::SRationals, &I::ShutterSpeedValue},
    {37378, K::Rationals, &I::ApertureValue},
    {37379, K::SRationals, &I::BrightnessValue},
    {37380, K::SRationals, &I::ExposureBiasValue},
    {37381, K::Rationals, &I::MaxApertureValue},
    {37383, K::Shorts, &I::MeteringMode},
    {37385, K::Shorts, &I::Flash},
    {37386, K::Rationals, &I::FocalLength},
    {41989, K::Shorts, &I::FocalLengthIn35mmFilm},
    {50706, K::Bytes, &I::DNGVersion},
    {50707, K::Bytes, &I::DNGBackwardVersion},
    {50708, K::Text, &I::UniqueCameraModel},
    {50709, K::Text, &I::LocalizedCameraModel},
    {50710, K::Bytes, &I::CFAPlaneColor},
    {50711, K::Shorts, &I::CFALayout},
    {50712, K::Shorts, &I::LinearizationTable},
    {50713, K::Shorts, &I::BlackLevelRepeatDim},
    {50714, K::Rationals, &I::BlackLevel},
    {50715, K::SRationals, &I::BlackLevelDeltaH},
    {50716, K::SRationals, &I::BlackLevelDeltaV},
    {50717, K::Longs, &I::WhiteLevel},
    {50718, K::Rationals, &I::DefaultScale},
    {50719, K::Rationals, &I::DefaultCropOrigin},
    {50720, K::Rationals, &I::DefaultCropSize},
    {50721, K::SRationals, &I::ColorMatrix1},
    {50722, K::SRationals, &I::ColorMatrix2},
    {50723, K::SRationals, &I::CameraCalibration1},
    {50724, K::SRationals, &I::CameraCalibration2},
    {50727, K::Rationals, &I::AnalogBalance},
    {50728, K::Rationals, &I::AsShotNeutral},
    {50729, K::Rationals, &I::AsShotWhiteXY},
    {50730, K::SRationals, &I::BaselineExposure},
    {50731, K::Rationals, &I::BaselineNoise},
    {50732, K::Rationals, &I::BaselineSharpness},
    {50733, K::Longs, &I::BayerGreenSplit},
    {50734, K::Rationals, &I::LinearResponseLimit},
    {50735, K::Text, &I::CameraSerialNumber},
    {50736, K::Rationals, &I::LensInfo},
    {50737, K::Rationals, &I::ChromaBlurRadius},
    {50738, K::Rationals, &I::AntiAliasStrength},
    {50739, K::Rationals, &I::ShadowScale},
    {50778, K::Shorts, &I::CalibrationIlluminant1},
    {50779, K::Shorts, &I::CalibrationIlluminant2},
    {50780, K::Rationals, &I::BestQualityScale},
    {50781, K::Bytes, &I::RawDataUniqueID},
    {50827, K::Text, &I::OriginalRawFileName},
    {50829, K::Longs, &I::ActiveArea},
    {50830, K::Longs, &I::MaskedAreas},
};

const TagDef* FindTag(std::uint16_t tag)
{
    const auto it = std::lower_bound(std::begin(kTags), std::end(kTags), tag,
                                     [](const TagDef& d, std::uint16_t t) { return d.tag < t; });
    return (it != std::end(kTags) && it->tag == tag) ? it : nullptr;
}

bool Accepts(TagKind kind, std::uint16_t type)
{
    switch (kind)
    {
    case TagKind::Text:
        return type == 1 || type == 2;
    case TagKind::Bytes:
        return type == 1;
    case TagKind::Shorts:
        return type == 3;
    case TagKind::Longs:
        return type == 3 || type == 4 || type == 13;
    case TagKind::Rationals:
        return type == 3 || type == 4 || type == 5 || type == 10;
    case TagKind::SRationals:
        return type == 10;
    }
    return false;
}

// The TIFF type sizes, but the IFD type (13), a 4-byte offset, for the
// 32-bit kind.
unsigned ValueSize(std::uint16_t type)
{
    return type == 13 ? 4u : TiffTypeSize(type);
}

// --- Values -----------------------------------------------------------------

double Unsigned(const DngRational& r)
{
    return static_cast<double>(r.num) / static_cast<double>(r.den);
}

double Signed(const DngRational& r)
{
    return static_cast<double>(static_cast<std::int32_t>(r.num)) /
           static_cast<double>(static_cast<std::int32_t>(r.den));
}

// Text up to its first zero byte.
std::string CString(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

// Nine signed rationals, row by row, into a 3x3 matrix; false when a
// denominator is 0.
bool FillMatrix(const std::vector<DngRational>& values, CStdMatrix& m)
{
    if (values.size() != 9)
        return false;
    m = CStdMatrix(3, 3);
    for (std::uint32_t i = 0; i < 9; ++i)
    {
        if (values[i].den == 0)
            return false;
        m.SetAt(i / 3, i % 3, Signed(values[i]));
    }
    return true;
}

// The four Bayer layouts (rows of the 2x2 pattern, 0 red, 1 green, 2 blue):
// RGGB, BGGR, GRBG, GBRG. Greens on one diagonal, red and blue on the other.
bool IsBayer(const std::vector<std::uint8_t>& p)
{
    static const std::uint8_t layouts[4][4] = {
        {0, 1, 1, 2}, {2, 1, 1, 0}, {1, 0, 2, 1}, {1, 2, 0, 1}};
    for (const auto& layout : layouts)
        if (std::equal(p.begin(), p.end(), std::begin(layout), std::end(layout)))
            return true;
    return false;
}

} // namespace

bool CDNGIfdInfo::Has(std::uint16_t tag) const
{
    return std::binary_search(present.begin(), present.end(), tag);
}

// --- CDNGFile: construction and opening -------------------------------------

CDNGFile::CDNGFile()
    : m_hostOrder(std::endian::native == std::endian::little ? kHostLittleEndian : kHostBigEndian)
{
    Reset();
}

CDNGFile::~CDNGFile()
{
    CloseInput();
}

void CDNGFile::CloseInput()
{
    m_input.Close();
}

void CDNGFile::Reset()
{
    CloseInput();
    m_error = DngErrorCode::None;
    m_fileSize = 0;
    m_path.clear();
    m_fileOrder = kFileOrderNone;
    m_swap = false;
    m_firstIfdOffset = 0;
    m_tags = DngImageTags{};
    m_raw = DngRawLayout{};
    m_visitedIfds.clear();
    m_ifdCount = 0;
    m_mainList.clear();
    m_mainIfds.clear();
    m_subIfds.clear();
    m_exifIfds.clear();
    m_developedPlane.Close();
    m_developedPath.clear();
    m_developed = 0;
    m_finalProgress = 0.0;
    m_wbFactors = {1.0, 1.0, 1.0};
    for (int i = 0; i < 2; ++i)
    {
        m_cacheRows[i].clear();
        m_cacheRowIndex[i] = -1;
    }
}

bool CDNGFile::Fail(DngErrorCode code)
{
    if (m_error == DngErrorCode::None)
        m_error = code;
    return false;
}

bool CDNGFile::Open(const std::string& path)
{
    Reset();
    if (!m_input.OpenRead(path))
        return Fail(DngErrorCode::OpenFailed);
    const auto read = [&] {
        if (!ReadFileSize() || !ReadHeader())
            return false;
        if (!ReadIfdChain(m_firstIfdOffset, m_mainList) || !ParseIfds(m_mainList, m_mainIfds))
            return false;
        if (!m_mainIfds.empty() && !m_mainIfds[0].SubIFDs.empty() && !ReadSubIfds())
            return false;
        return ReadExifIfd() && SetupFromIfds();
    };
    try
    {
        if (!read())
            return false;
    }
    catch (const std::bad_alloc&)
    {
        // Every count was bounded by the file's size: the file is large and
        // memory short.
        return Fail(DngErrorCode::NoMemory);
    }
    m_path = path;
    return true;
}

bool CDNGFile::ReadFileSize()
{
    if (!m_input.Size(&m_fileSize))
        return Fail(DngErrorCode::ReadFailed);
    if (m_fileSize < kMinFileSize)
        return Fail(DngErrorCode::FileTooSmall);
    return true;
}

bool CDNGFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t bytes)
{
    if (!Ok())
        return false;
    if (offset > m_fileSize || bytes > m_fileSize - offset)
        return Fail(DngErrorCode::ReadFailed);
    if (!m_input.ReadAt(offset, buffer, bytes))
        return Fail(DngErrorCode::ReadFailed);
    return true;
}

std::uint16_t CDNGFile::Get16(std::span<const std::uint8_t> bytes, std::size_t at) const
{
    return platform::GetU16(bytes, at,
                            m_fileOrder == kFileOrderMM ? std::endian::big : std::endian::little);
}

std::uint32_t CDNGFile::Get32(std::span<const std::uint8_t> bytes, std::size_t at) const
{
    return platform::GetU32(bytes, at,
                            m_fileOrder == kFileOrderMM ? std::endian::big : std::endian::little);
}

bool CDNGFile::ReadHeader()
{
    std::uint8_t header[8];
    if (!ReadAt(0, header, sizeof header))
        return false;
    if (header[0] == 'I' && header[1] == 'I')
        m_fileOrder = kFileOrderII;
    else if (header[0] == 'M' && header[1] == 'M')
        m_fileOrder = kFileOrderMM;
    else
        return Fail(DngErrorCode::BadByteOrder);
    m_swap = (m_hostOrder == kHostLittleEndian && m_fileOrder == kFileOrderMM) ||
             (m_hostOrder == kHostBigEndian && m_fileOrder == kFileOrderII);
    if (Get16(header, 2) != 42)
        return Fail(DngErrorCode::BadMagic);
    m_firstIfdOffset = Get32(header, 4);
    if (m_firstIfdOffset < 8 || m_firstIfdOffset >= m_fileSize)
        return Fail(DngErrorCode::BadFirstIfd);
    return true;
}

// A chain ends at a next offset of 0. Offsets already read (in any chain)
// and more than kMaxIfds IFDs end it with BadIfd, so that a file whose
// chains loop cannot keep the reader going.
bool CDNGFile::ReadIfdChain(std::uint32_t offset, std::vector<RawIfd>& list)
{
    while (Ok() && offset != 0)
    {
        if (m_ifdCount >= kMaxIfds ||
            std::find(m_visitedIfds.begin(), m_visitedIfds.end(), offset) != m_visitedIfds.end())
            return Fail(DngErrorCode::BadIfd);
        m_visitedIfds.push_back(offset);
        ++m_ifdCount;

        std::uint8_t countBytes[2];
        if (std::uint64_t{offset} + 2 > m_fileSize)
            return Fail(DngErrorCode::BadIfd);
        if (!ReadAt(offset, countBytes, 2))
            return false;
        const std::uint16_t count = Get16(countBytes, 0);
        if (count == 0)
            return Fail(DngErrorCode::BadIfd);

        RawIfd ifd;
        ifd.offset = offset;
        const std::size_t bytes = std::size_t{count} * 12 + 4;
        try
        {
            ifd.entries.resize(bytes);
        }
        catch (const std::bad_alloc&)
        {
            return Fail(DngErrorCode::NoMemory);
        }
        if (!ReadAt(std::uint64_t{offset} + 2, ifd.entries.data(), bytes))
            return false;
        const std::uint32_t next = Get32(ifd.entries, bytes - 4);
        ifd.entries.resize(bytes - 4);
        if (next != 0 && (next < 8 || next >= m_fileSize))
            return Fail(DngErrorCode::BadIfd);
        list.push_back(std::move(ifd));
        offset = next;
    }
    return Ok();
}

bool CDNGFile::ParseIfds(const std::vector<RawIfd>& list, std::vector<CDNGIfdInfo>& records)
{
    if (!Ok())
        return false;
    records.assign(list.size(), CDNGIfdInfo{});
    for (std::size_t i = 0; i < list.size(); ++i)
        if (!ParseIfdEntries(list[i], records[i]))
            return false;
    return true;
}

bool CDNGFile::ParseIfdEntries(const RawIfd& ifd, CDNGIfdInfo& record)
{
    for (std::size_t at = 0; at + 12 <= ifd.entries.size(); at += 12)
        if (!ReadTag(std::span<const std::uint8_t>(ifd.entries).subspan(at, 12), record))
            return false;
    std::sort(record.present.begin(), record.present.end());
    record.present.erase(std::unique(record.present.begin(), record.present.end()),
                         record.present.end());
    return Ok();
}

// The value bytes of an entry: inline in its last four bytes when they hold
// count x type size bytes, else at the offset those bytes give. The size is
// counted in 64 bits and must lie inside the file before anything is read.
bool CDNGFile::ReadValueBytes(std::uint16_t type, std::uint32_t count,
                              std::span<const std::uint8_t> field, std::vector<std::uint8_t>& bytes)
{
    const std::uint64_t size = std::uint64_t{count} * ValueSize(type);
    if (size <= 4)
    {
        bytes.assign(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(size));
        return true;
    }
    const std::uint64_t offset = Get32(field, 0);
    if (offset + size > m_fileSize)
        return Fail(DngErrorCode::ReadFailed);
    try
    {
        bytes.resize(static_cast<std::size_t>(size));
    }
    catch (const std::bad_alloc&)
    {
        return Fail(DngErrorCode::NoMemory);
    }
    return ReadAt(offset, bytes.data(), bytes.size());
}

bool CDNGFile::ReadTag(std::span<const std::uint8_t> entry, CDNGIfdInfo& record)
{
    const std::uint16_t tag = Get16(entry, 0);
    const TagDef* def = FindTag(tag);
    if (!def)
        return true;
    const std::uint16_t type = Get16(entry, 2);
    const std::uint32_t count = Get32(entry, 4);
    if (!Accepts(def->kind, type))
        return Fail(DngErrorCode::BadTag);

    std::vector<std::uint8_t> bytes;
    if (!ReadValueBytes(type, count, entry.subspan(8), bytes))
        return false;
    const std::size_t n = count;

    // A later entry of the same tag replaces the earlier value.
    switch (def->kind)
    {
    case TagKind::Text:
        record.*std::get<std::string CDNGIfdInfo::*>(def->member) =
            std::string(bytes.begin(), bytes.end());
        break;
    case TagKind::Bytes:
        record.*std::get<std::vector<std::uint8_t> CDNGIfdInfo::*>(def->member) = bytes;
        break;
    case TagKind::Shorts:
    {
        auto& out = record.*std::get<std::vector<std::uint16_t> CDNGIfdInfo::*>(def->member);
        out.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            out[i] = Get16(bytes, 2 * i);
        break;
    }
    case TagKind::Longs:
    {
        auto& out = record.*std::get<std::vector<std::uint32_t> CDNGIfdInfo::*>(def->member);
        out.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            out[i] = type == 3 ? Get16(bytes, 2 * i) : Get32(bytes, 4 * i);
        break;
    }
    case TagKind::Rationals:
    case TagKind::SRationals:
    {
        auto& out = record.*std::get<std::vector<DngRational> CDNGIfdInfo::*>(def->member);
        out.resize(n);
        for (std::size_t i = 0; i < n; ++i)
        {
            if (type == 3)
                out[i] = {Get16(bytes, 2 * i), 1};
            else if (type == 4)
                out[i] = {Get32(bytes, 4 * i), 1};
            else
                out[i] = {Get32(bytes, 8 * i), Get32(bytes, 8 * i + 4)};
        }
        break;
    }
    }
    record.present.push_back(tag);
    return true;
}

bool CDNGFile::ReadSubIfds()
{
    std::vector<RawIfd> list;
    for (const std::uint32_t offset : m_mainIfds[0].SubIFDs)
        if (!ReadIfdChain(offset, list))
            return false;
    return ParseIfds(list, m_subIfds);
}

bool CDNGFile::ReadExifIfd()
{
    if (!Ok())
        return false;
    if (m_mainIfds.empty() || m_mainIfds[0].ExifIFD.size() != 1)
        return Fail(DngErrorCode::BadTag);
    std::vector<RawIfd> list;
    return ReadIfdChain(m_mainIfds[0].ExifIFD[0], list) && ParseIfds(list, m_exifIfds);
}

// --- Choosing and validating ------------------------------------------------

bool CDNGFile::SetupFromIfds()
{
    if (!Ok())
        return false;
    if (m_mainIfds.empty())
        return Fail(DngErrorCode::BadTag);
    if (!SetupMainValues(m_mainIfds[0]))
        return false;

    // The raw image: the last sub-IFD that is a full-resolution main image.
    const CDNGIfdInfo* raw = nullptr;
    for (const CDNGIfdInfo& sub : m_subIfds)
        if (sub.NewSubFileType.size() == 1 && sub.NewSubFileType[0] == 0)
            raw = &sub;
    if (!raw)
        return Fail(DngErrorCode::BadTag);
    return SetupRawValues(*raw) && SetupRawStorage(*raw) && SetupRawLevels(*raw) &&
           SetupRawCrop(*raw) && SetupExifValues();
}

bool CDNGFile::SetupMainValues(const CDNGIfdInfo& ifd)
{
    const auto fail = [this] { return Fail(DngErrorCode::BadTag); };
    DngImageTags& t = m_tags;

    if (ifd.DNGVersion.size() != 4 || CString(ifd.UniqueCameraModel).empty())
        return fail();
    if (ifd.ImageWidth.size() != 1 || ifd.ImageLength.size() != 1 || ifd.ImageWidth[0] == 0 ||
        ifd.ImageLength[0] == 0)
        return fail();
    t.width = ifd.ImageWidth[0];
    t.height = ifd.ImageLength[0];

    if (!ifd.Orientation.empty())
    {
        if (ifd.Orientation.size() != 1 || ifd.Orientation[0] < 1 || ifd.Orientation[0] > 8)
            return fail();
        t.orientation = ifd.Orientation[0];
    }

    if (!FillMatrix(ifd.ColorMatrix1, t.colorMatrix1))
        return fail();
    if (ifd.ColorMatrix2.empty())
        t.colorMatrix2 = CStdMatrix();
    else if (!FillMatrix(ifd.ColorMatrix2, t.colorMatrix2))
        return fail();
    if (!ifd.CameraCalibration1.empty() &&
        !FillMatrix(ifd.CameraCalibration1, t.cameraCalibration1))
        return fail();
    if (!ifd.CameraCalibration2.empty() &&
        !FillMatrix(ifd.CameraCalibration2, t.cameraCalibration2))
        return fail();

    if (ifd.AnalogBalance.size() == 3)
    {
        CStdVector diagonal(3);
        for (std::size_t i = 0; i < 3; ++i)
        {
            if (ifd.AnalogBalance[i].den == 0)
                return fail();
            diagonal[i] = Unsigned(ifd.AnalogBalance[i]);
        }
        t.analogBalance = CStdMatrix(diagonal);
    }

    if (!ifd.AsShotNeutral.empty())
    {
        if (ifd.AsShotNeutral.size() != 3)
            return fail();
        double largest = 0.0;
        for (const DngRational& r : ifd.AsShotNeutral)
        {
            if (r.num == 0 || r.den == 0)
                return fail();
            t.asShotNeutral.push_back(Unsigned(r));
            largest = std::max(largest, t.asShotNeutral.back());
        }
        for (double& v : t.asShotNeutral)
            v /= largest;
    }
    if (!ifd.AsShotWhiteXY.empty())
    {
        if (ifd.AsShotWhiteXY.size() != 2 || !ifd.AsShotNeutral.empty())
            return fail();
        for (const DngRational& r : ifd.AsShotWhiteXY)
            t.asShotWhiteXY.push_back(r.den == 0 ? 0.0 : Unsigned(r));
    }

    const auto single = [](const std::vector<DngRational>& v, bool isSigned, double fallback) {
        if (v.size() != 1 || v[0].den == 0)
            return fallback;
        return isSigned ? Signed(v[0]) : Unsigned(v[0]);
    };
    t.baselineExposure = single(ifd.BaselineExposure, true, 0.0);
    t.baselineNoise = single(ifd.BaselineNoise, false, 1.0);
    t.baselineSharpness = single(ifd.BaselineSharpness, false, 1.0);
    t.linearResponseLimit = single(ifd.LinearResponseLimit, false, 1.0);
    t.shadowScale = single(ifd.ShadowScale, false, 1.0);

    t.cameraSerialNumber = CString(ifd.CameraSerialNumber);
    if (ifd.LensInfo.size() == 4)
        for (const DngRational& r : ifd.LensInfo)
            t.lensInfo.push_back(r.den == 0 ? 0.0 : Unsigned(r));

    t.calibrationIlluminant1 =
        ifd.CalibrationIlluminant1.size() == 1 ? ifd.CalibrationIlluminant1[0] : 0;
    t.calibrationIlluminant2 =
        ifd.CalibrationIlluminant2.size() == 1 ? ifd.CalibrationIlluminant2[0] : 0;
    return true;
}

bool CDNGFile::SetupRawValues(const CDNGIfdInfo& ifd)
{
    const auto fail = [this] { return Fail(DngErrorCode::BadTag); };
    DngRawLayout& r = m_raw;

    if (ifd.ImageWidth.size() != 1 || ifd.ImageLength.size() != 1 || ifd.ImageWidth[0] == 0 ||
        ifd.ImageLength[0] == 0 || ifd.ImageWidth[0] > kMaxRawSide ||
        ifd.ImageLength[0] > kMaxRawSide)
        return fail();
    r.rawWidth = ifd.ImageWidth[0];
    r.rawHeight = ifd.ImageLength[0];

    r.top = 0;
    r.left = 0;
    r.bottom = r.rawHeight;
    r.right = r.rawWidth;
    if (!ifd.ActiveArea.empty())
    {
        if (ifd.ActiveArea.size() != 4)
            return fail();
        const std::uint32_t top = ifd.ActiveArea[0], left = ifd.ActiveArea[1];
        const std::uint32_t bottom = ifd.ActiveArea[2], right = ifd.ActiveArea[3];
        if (!(left < right && right <= r.rawWidth && top < bottom && bottom <= r.rawHeight))
            return fail();
        r.top = top;
        r.left = left;
        r.bottom = bottom;
        r.right = right;
    }

    if (ifd.SamplesPerPixel.size() == 1)
    {
        if (ifd.SamplesPerPixel[0] != 1 && ifd.SamplesPerPixel[0] != 3)
            return fail();
        r.samplesPerPixel = ifd.SamplesPerPixel[0];
    }
    // Every sample of a pixel has the same depth, 12 or 16 bits.
    if (ifd.BitsPerSample.size() != r.samplesPerPixel ||
        (ifd.BitsPerSample[0] != 12 && ifd.BitsPerSample[0] != 16) ||
        std::any_of(ifd.BitsPerSample.begin(), ifd.BitsPerSample.end(),
                    [&](std::uint16_t b) { return b != ifd.BitsPerSample[0]; }))
        return fail();
    r.bitsPerSample = ifd.BitsPerSample[0];

    if (ifd.Compression.size() == 1)
    {
        if (ifd.Compression[0] != 1 && ifd.Compression[0] != 7)
            return fail();
        r.compression = ifd.Compression[0];
    }
    if (ifd.PhotometricInterpretation.size() != 1 ||
        (ifd.PhotometricInterpretation[0] != 32803 && ifd.PhotometricInterpretation[0] != 34892))
        return fail();
    r.photometric = ifd.PhotometricInterpretation[0];
    if (r.bitsPerSample == 12 &&
        (r.compression != 1 || r.photometric != 32803 || r.samplesPerPixel != 1))
        return fail();
    if (ifd.PlanarConfiguration.size() == 1 && ifd.PlanarConfiguration[0] != 1)
        return fail();

    r.cfaPattern.Resize(2, 2, 0);
    if (r.photometric == 32803)
    {
        if (ifd.CFARepeatPatternDim.size() != 2 || ifd.CFARepeatPatternDim[0] != 2 ||
            ifd.CFARepeatPatternDim[1] != 2)
            return fail();
        if (ifd.CFAPattern.size() != 4 || !IsBayer(ifd.CFAPattern))
            return fail();
        for (int i = 0; i < 4; ++i)
            r.cfaPattern.SetAt(i / 2, i % 2, ifd.CFAPattern[static_cast<std::size_t>(i)]);
        if (ifd.Has(50710) && ifd.CFAPlaneColor != std::vector<std::uint8_t>{0, 1, 2})
            return fail();
        if (ifd.CFALayout.size() == 1 && ifd.CFALayout[0] != 1)
            return fail();
    }
    return true;
}

bool CDNGFile::SetupRawStorage(const CDNGIfdInfo& ifd)
{
    const auto fail = [this] { return Fail(DngErrorCode::BadTag); };
    DngRawLayout& r = m_raw;
    const bool stripTags = ifd.Has(273) || ifd.Has(279);
    const bool tileTags = ifd.Has(322) || ifd.Has(323) || ifd.Has(324) || ifd.Has(325);

    try
    {
        if (ifd.Has(273) && ifd.Has(279) && !tileTags)
        {
            if (ifd.StripOffsets.size() != ifd.StripByteCounts.size())
                return fail();
            // A RowsPerStrip beyond the height means one strip (TIFF's
            // 2^32 - 1 "all rows").
            r.rowsPerStrip =
                ifd.RowsPerStrip.empty() ? r.rawHeight : std::min(ifd.RowsPerStrip[0], r.rawHeight);
            if (r.rowsPerStrip == 0)
                return fail();
            const std::uint64_t strips =
                (std::uint64_t{r.rawHeight} + r.rowsPerStrip - 1) / r.rowsPerStrip;
            if (ifd.StripOffsets.size() != strips)
                return fail();
            r.stripOffsets = ifd.StripOffsets;
            r.stripByteCounts = ifd.StripByteCounts;
            // Uncompressed rows are read where the geometry puts them: every
            // strip's rows must lie inside the file. (TIFF pads each 12-bit
            // row to a whole byte.)
            if (r.compression == 1)
            {
                const std::uint64_t rowBytes =
                    r.bitsPerSample == 16 ? std::uint64_t{r.rawWidth} * r.samplesPerPixel * 2
                                          : (std::uint64_t{r.rawWidth} * 3 + 1) / 2;
                for (std::size_t k = 0; k < r.stripOffsets.size(); ++k)
                {
                    const std::uint64_t rows = std::min<std::uint64_t>(
                        r.rowsPerStrip, r.rawHeight - k * std::uint64_t{r.rowsPerStrip});
                    if (r.stripOffsets[k] + rows * rowBytes > m_fileSize)
                        return Fail(DngErrorCode::ReadFailed);
                }
            }
        }
        else if (!stripTags && ifd.TileWidth.size() == 1 && ifd.TileLength.size() == 1 &&
                 ifd.Has(324) && ifd.Has(325))
        {
            if (ifd.TileOffsets.size() != ifd.TileByteCounts.size())
                return fail();
            r.tileWidth = ifd.TileWidth[0];
            r.tileLength = ifd.TileLength[0];
            if (r.tileWidth == 0 || r.tileWidth > r.rawWidth || r.tileLength == 0 ||
                r.tileLength > r.rawHeight)
                return fail();
            r.tilesAcross = (r.rawWidth + r.tileWidth - 1) / r.tileWidth;
            r.tilesDown = (r.rawHeight + r.tileLength - 1) / r.tileLength;
            r.tileCount = r.tilesAcross * r.tilesDown;
            if (ifd.TileOffsets.size() != r.tileCount)
                return fail();
            // A tile is read whole from its offset: it must lie inside the
            // file before a buffer of its size is allocated.
            for (std::size_t k = 0; k < ifd.TileOffsets.size(); ++k)
                if (std::uint64_t{ifd.TileOffsets[k]} + ifd.TileByteCounts[k] > m_fileSize)
                    return Fail(DngErrorCode::ReadFailed);
            r.tileOffsets = ifd.TileOffsets;
            r.tileByteCounts = ifd.TileByteCounts;
        }
        else
            return fail();
    }
    catch (const std::bad_alloc&)
    {
        return Fail(DngErrorCode::NoMemory);
    }
    return true;
}

bool CDNGFile::SetupRawLevels(const CDNGIfdInfo& ifd)
{
    const auto fail = [this] { return Fail(DngErrorCode::BadTag); };
    DngRawLayout& r = m_raw;
    const std::size_t samples = r.samplesPerPixel;

    try
    {
        // A table of 0 entries would map every sample nowhere.
        if (ifd.Has(50712) && ifd.LinearizationTable.empty())
            return fail();
        r.linearization = ifd.LinearizationTable;

        if (ifd.BlackLevelRepeatDim.size() == 2)
        {
            if (ifd.BlackLevelRepeatDim[0] == 0 || ifd.BlackLevelRepeatDim[1] == 0)
                return fail();
            r.blackRepeatRows = ifd.BlackLevelRepeatDim[0];
            r.blackRepeatColumns = ifd.BlackLevelRepeatDim[1];
        }
        const std::size_t blackCount =
            std::size_t{r.blackRepeatRows} * r.blackRepeatColumns * samples;
        if (ifd.BlackLevel.size() == blackCount)
        {
            for (const DngRational& v : ifd.BlackLevel)
            {
                if (v.den == 0)
                    return fail();
                r.blackLevels.push_back(Unsigned(v));
            }
        }
        else
        {
            // Black levels of the wrong number are all 0: one repeat cell
            // says the same without a table as large as the repeat claims.
            r.blackRepeatRows = 1;
            r.blackRepeatColumns = 1;
            r.blackLevels.assign(samples, 0.0);
        }

        const auto deltas = [&](const std::vector<DngRational>& in, std::uint32_t expected,
                                std::vector<double>& out) {
            if (in.size() != expected)
                return true;
            for (const DngRational& v : in)
            {
                if (v.den == 0)
                    return false;
                out.push_back(Signed(v));
            }
            return true;
        };
        if (!deltas(ifd.BlackLevelDeltaH, r.right - r.left, r.blackDeltaH) ||
            !deltas(ifd.BlackLevelDeltaV, r.bottom - r.top, r.blackDeltaV))
            return fail();

        if (ifd.WhiteLevel.empty())
            r.whiteLevels.assign(samples, (1u << r.bitsPerSample) - 1);
        else if (ifd.WhiteLevel.size() == samples)
            r.whiteLevels = ifd.WhiteLevel;
        else
            return fail();
        // A white level of 0 leaves no range to scale into.
        if (std::find(r.whiteLevels.begin(), r.whiteLevels.end(), 0u) != r.whiteLevels.end())
            return fail();
    }
    catch (const std::bad_alloc&)
    {
        return Fail(DngErrorCode::NoMemory);
    }
    return true;
}

bool CDNGFile::SetupRawCrop(const CDNGIfdInfo& ifd)
{
    const auto fail = [this] { return Fail(DngErrorCode::BadTag); };
    DngRawLayout& r = m_raw;
    const auto positive = [](const DngRational& v) { return v.num != 0 && v.den != 0; };

    if (ifd.DefaultScale.size() == 2)
    {
        if (!positive(ifd.DefaultScale[0]) || !positive(ifd.DefaultScale[1]))
            return fail();
        r.defaultScaleH = Unsigned(ifd.DefaultScale[0]);
        r.defaultScaleV = Unsigned(ifd.DefaultScale[1]);
    }
    if (ifd.DefaultCropOrigin.size() == 2)
    {
        if (ifd.DefaultCropOrigin[0].den == 0 || ifd.DefaultCropOrigin[1].den == 0)
            return fail();
        r.cropOriginH = Unsigned(ifd.DefaultCropOrigin[0]);
        r.cropOriginV = Unsigned(ifd.DefaultCropOrigin[1]);
    }
    // Without a crop size the crop is the active area.
    const double activeWidth = r.right - r.left;
    const double activeHeight = r.bottom - r.top;
    r.cropSizeH = activeWidth;
    r.cropSizeV = activeHeight;
    if (ifd.DefaultCropSize.size() == 2)
    {
        if (!positive(ifd.DefaultCropSize[0]) || !positive(ifd.DefaultCropSize[1]))
            return fail();
        r.cropSizeH = Unsigned(ifd.DefaultCropSize[0]);
        r.cropSizeV = Unsigned(ifd.DefaultCropSize[1]);
    }
    // The crop is read from the plane measured from the active area's
    // corner: it must lie inside the active area.
    if (r.cropOriginH + r.cropSizeH > activeWidth || r.cropOriginV + r.cropSizeV > activeHeight)
        return fail();
    // And the developed image must have at least one pixel.
    const double outWidth = std::trunc(r.cropSizeH * r.defaultScaleH);
    const double outHeight = std::trunc(r.cropSizeV * r.defaultScaleV);
    if (!(outWidth >= 1.0 && outWidth <= kMaxRawSide && outHeight >= 1.0 &&
          outHeight <= kMaxRawSide))
        return fail();

    if (ifd.AntiAliasStrength.size() == 1)
    {
        if (ifd.AntiAliasStrength[0].den == 0)
            return fail();
        r.antiAliasStrength = Unsigned(ifd.AntiAliasStrength[0]);
    }
    if (ifd.BestQualityScale.size() == 1)
    {
        if (!positive(ifd.BestQualityScale[0]))
            return fail();
        r.bestQualityScale = Unsigned(ifd.BestQualityScale[0]);
    }
    return true;
}

bool CDNGFile::SetupExifValues()
{
    const auto fail = [this] { return Fail(DngErrorCode::BadTag); };
    if (m_exifIfds.size() != 1)
        return fail();
    const CDNGIfdInfo& exif = m_exifIfds[0];
    if (!exif.ShutterSpeedValue.empty())
    {
        if (exif.ShutterSpeedValue.size() != 1 || exif.ShutterSpeedValue[0].den == 0)
            return fail();
        m_tags.shutterSpeedValue = Signed(exif.ShutterSpeedValue[0]);
    }
    if (exif.ApertureValue.size() == 1)
    {
        if (exif.ApertureValue[0].den == 0)
            return fail();
        m_tags.apertureValue = Unsigned(exif.ApertureValue[0]);
    }
    return true;
}

// --- Queries ----------------------------------------------------------------

unsigned CDNGFile::GetOutputWidth() const
{
    return static_cast<unsigned>(
        ClampToInteger(m_raw.cropSizeH * m_raw.defaultScaleH, 0, kMaxRawSide));
}

unsigned CDNGFile::GetOutputHeight() const
{
    return static_cast<unsigned>(
        ClampToInteger(m_raw.cropSizeV * m_raw.defaultScaleV, 0, kMaxRawSide));
}

unsigned CDNGFile::GetImageWidth() const
{
    return m_tags.orientation >= 5 ? GetOutputHeight() : GetOutputWidth();
}

unsigned CDNGFile::GetImageHeight() const
{
    return m_tags.orientation >= 5 ? GetOutputWidth() : GetOutputHeight();
}
