#include "tests/support/DngBuilder.h"

#include "tests/support/LosslessJpegEncoder.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace testsupport {

unsigned TiffSize(std::uint16_t type)
{
    switch (type)
    {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
    case 13:
        return 4;
    case 5:
    case 10:
    case 12:
        return 8;
    default:
        return 0;
    }
}

namespace {

bool IsByteType(std::uint16_t type)
{
    return type == kTiffByte || type == kTiffAscii || type == kTiffSByte || type == kTiffUndefined;
}

bool IsRationalType(std::uint16_t type)
{
    return type == kTiffRational || type == kTiffSRational;
}

void Put(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t value, unsigned size,
         bool bigEndian)
{
    for (unsigned i = 0; i < size; ++i)
    {
        const unsigned shift = 8 * (bigEndian ? size - 1 - i : i);
        out[at + i] = static_cast<std::uint8_t>(value >> shift);
    }
}

void Append(std::vector<std::uint8_t>& out, std::uint64_t value, unsigned size, bool bigEndian)
{
    out.resize(out.size() + size);
    Put(out, out.size() - size, value, size, bigEndian);
}

std::size_t Align2(std::size_t v)
{
    return (v + 1) & ~std::size_t{1};
}

std::vector<std::pair<std::int64_t, std::int64_t>> Whole(std::initializer_list<std::int64_t> v)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> out;
    for (const std::int64_t x : v)
        out.emplace_back(x, 1);
    return out;
}

} // namespace

// --- TiffEntry / TiffIfd ------------------------------------------------------

std::uint32_t TiffEntry::ValueCount() const
{
    if (ref != Ref::None)
        return static_cast<std::uint32_t>(refs.size());
    if (IsByteType(type))
        return static_cast<std::uint32_t>(bytes.size());
    if (IsRationalType(type))
        return static_cast<std::uint32_t>(numbers.size() / 2);
    return static_cast<std::uint32_t>(numbers.size());
}

TiffIfd& TiffIfd::Bytes(std::uint16_t tag, std::vector<std::uint8_t> values, std::uint16_t type)
{
    TiffEntry e;
    e.type = type;
    e.bytes = std::move(values);
    return Set(tag, std::move(e));
}

TiffIfd& TiffIfd::Ascii(std::uint16_t tag, const std::string& text)
{
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return Bytes(tag, std::move(bytes), kTiffAscii);
}

TiffIfd& TiffIfd::Numbers(std::uint16_t tag, std::uint16_t type, std::vector<std::int64_t> values)
{
    TiffEntry e;
    e.type = type;
    if (IsByteType(type))
        for (const std::int64_t v : values)
            e.bytes.push_back(static_cast<std::uint8_t>(v));
    else
        e.numbers = std::move(values);
    return Set(tag, std::move(e));
}

TiffIfd& TiffIfd::Shorts(std::uint16_t tag, std::vector<std::int64_t> values)
{
    return Numbers(tag, kTiffShort, std::move(values));
}

TiffIfd& TiffIfd::Longs(std::uint16_t tag, std::vector<std::int64_t> values)
{
    return Numbers(tag, kTiffLong, std::move(values));
}

TiffIfd& TiffIfd::Rationals(std::uint16_t tag,
                            std::vector<std::pair<std::int64_t, std::int64_t>> values)
{
    std::vector<std::int64_t> numbers;
    for (const auto& [n, d] : values)
    {
        numbers.push_back(n);
        numbers.push_back(d);
    }
    return Numbers(tag, kTiffRational, std::move(numbers));
}

TiffIfd& TiffIfd::SRationals(std::uint16_t tag,
                             std::vector<std::pair<std::int64_t, std::int64_t>> values)
{
    Rationals(tag, std::move(values));
    entries[tag].type = kTiffSRational;
    return *this;
}

TiffIfd& TiffIfd::Set(std::uint16_t tag, TiffEntry entry)
{
    entries[tag] = std::move(entry);
    return *this;
}

TiffIfd& TiffIfd::Remove(std::uint16_t tag)
{
    entries.erase(tag);
    return *this;
}

// --- TiffWriter ----------------------------------------------------------------

int TiffWriter::AddIfd()
{
    m_ifds.emplace_back();
    return static_cast<int>(m_ifds.size()) - 1;
}

int TiffWriter::AddBlob(std::vector<std::uint8_t> data)
{
    m_blobs.push_back(std::move(data));
    return static_cast<int>(m_blobs.size()) - 1;
}

void TiffWriter::SetBlobOffsets(int ifd, std::uint16_t tag, std::vector<int> blobs)
{
    TiffEntry e;
    e.type = kTiffLong;
    e.ref = TiffEntry::Ref::Blobs;
    e.refs = std::move(blobs);
    Ifd(ifd).Set(tag, std::move(e));
}

void TiffWriter::SetIfdOffsets(int ifd, std::uint16_t tag, std::vector<int> ifds,
                               std::uint16_t type)
{
    TiffEntry e;
    e.type = type;
    e.ref = TiffEntry::Ref::Ifds;
    e.refs = std::move(ifds);
    Ifd(ifd).Set(tag, std::move(e));
}

std::vector<std::uint8_t> TiffWriter::Write(std::size_t minSize,
                                            std::vector<std::uint32_t>* ifdOffsets) const
{
    struct Placed
    {
        std::uint16_t tag;
        const TiffEntry* entry;
        std::uint32_t count;
        std::size_t dataAt; // 0: inline or overridden
    };
    const auto entriesOf = [](const TiffIfd& ifd) {
        std::vector<std::pair<std::uint16_t, const TiffEntry*>> list;
        if (ifd.order.empty())
            for (const auto& [tag, e] : ifd.entries)
                list.emplace_back(tag, &e);
        else
            for (const std::uint16_t tag : ifd.order)
                list.emplace_back(tag, &ifd.entries.at(tag));
        return list;
    };
    const auto dataSize = [](const TiffEntry& e) {
        if (e.ref != TiffEntry::Ref::None)
            return e.refs.size() * TiffSize(e.type);
        if (IsByteType(e.type))
            return e.bytes.size();
        return e.numbers.size() * (IsRationalType(e.type) ? 4 : TiffSize(e.type));
    };

    // Where everything goes: header, each IFD followed by its values, blobs.
    std::size_t pos = 8;
    std::vector<std::size_t> ifdAt(m_ifds.size());
    std::vector<std::vector<Placed>> placed(m_ifds.size());
    for (std::size_t i = 0; i < m_ifds.size(); ++i)
    {
        pos = Align2(pos);
        ifdAt[i] = pos;
        const auto list = entriesOf(m_ifds[i]);
        pos += 2 + 12 * list.size() + 4;
        for (const auto& [tag, e] : list)
        {
            Placed p{tag, e, e->count.value_or(e->ValueCount()), 0};
            if (std::uint64_t{p.count} * TiffSize(e->type) > 4 && !e->offset)
            {
                pos = Align2(pos);
                p.dataAt = pos;
                pos += dataSize(*e);
            }
            placed[i].push_back(p);
        }
    }
    // Blobs back to back, unaligned: consecutive strips are contiguous, as
    // readers that read the strips as one run expect.
    std::vector<std::size_t> blobAt(m_blobs.size());
    pos = Align2(pos);
    for (std::size_t b = 0; b < m_blobs.size(); ++b)
    {
        blobAt[b] = pos;
        pos += m_blobs[b].size();
    }

    std::vector<std::uint8_t> out(std::max(pos, minSize), 0);
    const bool be = m_bigEndian;
    if (header)
        std::copy(header->begin(), header->end(), out.begin());
    else
    {
        out[0] = out[1] = be ? 'M' : 'I';
        Put(out, 2, 42, 2, be);
    }
    Put(out, 4, firstIfdOffset.value_or(static_cast<std::uint32_t>(ifdAt[firstIfd])), 4, be);

    for (std::size_t i = 0; i < m_ifds.size(); ++i)
    {
        const TiffIfd& ifd = m_ifds[i];
        std::size_t at = ifdAt[i];
        Put(out, at, placed[i].size(), 2, be);
        at += 2;
        for (const Placed& p : placed[i])
        {
            const TiffEntry& e = *p.entry;
            // The value bytes, in the file's order.
            std::vector<std::uint8_t> data;
            if (e.ref != TiffEntry::Ref::None)
                for (const int id : e.refs)
                    Append(data,
                           e.ref == TiffEntry::Ref::Blobs ? blobAt[static_cast<std::size_t>(id)]
                                                          : ifdAt[static_cast<std::size_t>(id)],
                           TiffSize(e.type), be);
            else if (IsByteType(e.type))
                data = e.bytes;
            else
                for (const std::int64_t v : e.numbers)
                    Append(data, static_cast<std::uint64_t>(v),
                           IsRationalType(e.type) ? 4 : TiffSize(e.type), be);

            Put(out, at, p.tag, 2, be);
            Put(out, at + 2, e.type, 2, be);
            Put(out, at + 4, p.count, 4, be);
            if (e.offset)
                Put(out, at + 8, *e.offset, 4, be);
            else if (p.dataAt != 0)
            {
                Put(out, at + 8, p.dataAt, 4, be);
                std::copy(data.begin(), data.end(), out.begin() + static_cast<long>(p.dataAt));
            }
            else
                std::copy_n(data.begin(), std::min<std::size_t>(data.size(), 4),
                            out.begin() + static_cast<long>(at + 8));
            at += 12;
        }
        const std::uint32_t next = ifd.nextOffset.value_or(
            ifd.next < 0 ? 0u
                         : static_cast<std::uint32_t>(ifdAt[static_cast<std::size_t>(ifd.next)]));
        Put(out, at, next, 4, be);
    }
    for (std::size_t b = 0; b < m_blobs.size(); ++b)
        std::copy(m_blobs[b].begin(), m_blobs[b].end(), out.begin() + static_cast<long>(blobAt[b]));

    if (ifdOffsets)
    {
        ifdOffsets->clear();
        for (const std::size_t a : ifdAt)
            ifdOffsets->push_back(static_cast<std::uint32_t>(a));
    }
    return out;
}

// --- DngBuilder -------------------------------------------------------------------

DngBuilder::DngBuilder(DngRecipe recipe) : m_recipe(std::move(recipe)), m_writer(m_recipe.bigEndian)
{
    const bool twelve = m_recipe.storage == DngStorage::Strips12;
    const std::size_t count = std::size_t{m_recipe.width} * m_recipe.height * m_recipe.samples;
    if (m_recipe.whiteLevel == 0)
        m_recipe.whiteLevel = twelve ? 4095 : 65535;
    if (m_recipe.pixels.empty())
    {
        // Something with detail in every direction, within the white level.
        m_recipe.pixels.resize(count);
        for (std::uint32_t y = 0; y < m_recipe.height; ++y)
            for (std::uint32_t x = 0; x < m_recipe.width; ++x)
                for (int s = 0; s < m_recipe.samples; ++s)
                {
                    const std::uint32_t v = x * 1103u + y * 2251u + (x ^ y) * 97u +
                                            static_cast<std::uint32_t>(s) * 7919u;
                    m_recipe.pixels[(std::size_t{y} * m_recipe.width + x) * m_recipe.samples +
                                    static_cast<std::size_t>(s)] =
                        static_cast<std::uint16_t>(v % (m_recipe.whiteLevel + 1));
                }
    }
    if (m_recipe.pixels.size() != count)
        throw std::invalid_argument("DngBuilder: pixel count does not match the size");

    m_ifd0 = m_writer.AddIfd();
    m_raw = m_writer.AddIfd();
    m_exif = m_writer.AddIfd();
    m_subIfds = {m_raw};
    FillIfd0();
    FillRaw();
    FillExif();
}

void DngBuilder::FillIfd0()
{
    // A 16 x 12 preview, 8-bit RGB, one strip.
    constexpr int kPreviewWidth = 16, kPreviewHeight = 12;
    std::vector<std::uint8_t> preview(kPreviewWidth * kPreviewHeight * 3);
    for (std::size_t i = 0; i < preview.size(); ++i)
        preview[i] = static_cast<std::uint8_t>(i * 7);
    const int blob = m_writer.AddBlob(preview);

    TiffIfd& ifd = Ifd0();
    ifd.Longs(254, {1})
        .Longs(256, {kPreviewWidth})
        .Longs(257, {kPreviewHeight})
        .Shorts(258, {8, 8, 8})
        .Shorts(259, {1})
        .Shorts(262, {2})
        .Ascii(271, "Quillbrake")
        .Ascii(272, "Test DNG")
        .Shorts(274, {1})
        .Shorts(277, {3})
        .Longs(278, {kPreviewHeight})
        .Longs(279, {static_cast<std::int64_t>(preview.size())})
        .Shorts(284, {1})
        .Ascii(305, "chromivel tests")
        .Bytes(50706, {1, 4, 0, 0})
        .Bytes(50707, {1, 1, 0, 0})
        .Ascii(50708, "Quillbrake Test Camera")
        .SRationals(50721, {{6722, 10000},
                            {-635, 10000},
                            {-963, 10000},
                            {-4287, 10000},
                            {12460, 10000},
                            {2028, 10000},
                            {-908, 10000},
                            {2162, 10000},
                            {5668, 10000}})
        .SRationals(50722, {{8783, 10000},
                            {-2597, 10000},
                            {-1136, 10000},
                            {-3822, 10000},
                            {11428, 10000},
                            {2637, 10000},
                            {-589, 10000},
                            {1423, 10000},
                            {6447, 10000}})
        .Rationals(50728, {{473, 1000}, {1, 1}, {651, 1000}})
        .SRationals(50730, {{1, 2}})
        .Ascii(50735, "SN-0042")
        .Rationals(50736, {{24, 1}, {70, 1}, {28, 10}, {28, 10}})
        .Shorts(50778, {17})
        .Shorts(50779, {21});
    m_writer.SetBlobOffsets(m_ifd0, 273, {blob});
    m_writer.SetIfdOffsets(m_ifd0, 330, m_subIfds);
    m_writer.SetIfdOffsets(m_ifd0, 34665, {m_exif});
}

void DngBuilder::FillRaw()
{
    const DngRecipe& s = m_recipe;
    const bool cfa = s.samples == 1;
    const bool twelve = s.storage == DngStorage::Strips12;
    TiffIfd& raw = Raw();
    raw.Longs(254, {0})
        .Longs(256, {s.width})
        .Longs(257, {s.height})
        .Shorts(258,
                std::vector<std::int64_t>(static_cast<std::size_t>(s.samples), twelve ? 12 : 16))
        .Shorts(259, {s.storage == DngStorage::LosslessTiles ? 7 : 1})
        .Shorts(262, {cfa ? 32803 : 34892})
        .Shorts(277, {s.samples})
        .Shorts(284, {1})
        .Longs(50717, std::vector<std::int64_t>(static_cast<std::size_t>(s.samples), s.whiteLevel))
        .Rationals(50718, Whole({1, 1}))
        .Rationals(50719, Whole({0, 0}))
        .Rationals(50720, Whole({s.width, s.height}));
    raw.Rationals(50714, std::vector<std::pair<std::int64_t, std::int64_t>>(
                             static_cast<std::size_t>(s.samples), {0, 1}));
    if (cfa)
    {
        raw.Shorts(33421, {2, 2})
            .Bytes(33422, {s.cfa[0], s.cfa[1], s.cfa[2], s.cfa[3]})
            .Bytes(50710, {0, 1, 2})
            .Shorts(50711, {1});
    }
    if (s.storage == DngStorage::Strips16 || s.storage == DngStorage::Strips12)
        StoreStrips();
    else
        StoreTiles();
}

void DngBuilder::StoreStrips()
{
    const DngRecipe& s = m_recipe;
    const std::uint32_t rps = s.rowsPerStrip == 0 ? s.height : s.rowsPerStrip;
    const std::size_t rowSamples = std::size_t{s.width} * s.samples;
    std::vector<int> blobs;
    std::vector<std::int64_t> counts;
    for (std::uint32_t first = 0; first < s.height; first += rps)
    {
        const std::uint32_t last = std::min(s.height, first + rps);
        std::vector<std::uint8_t> strip;
        for (std::uint32_t y = first; y < last; ++y)
        {
            const std::uint16_t* row = s.pixels.data() + y * rowSamples;
            if (s.storage == DngStorage::Strips16)
            {
                for (std::size_t i = 0; i < rowSamples; ++i)
                    Append(strip, row[i], 2, s.bigEndian);
            }
            else
            {
                // Two samples in three bytes, most significant first; a
                // lone last sample takes two bytes (the row ends on a byte).
                std::size_t i = 0;
                for (; i + 1 < rowSamples; i += 2)
                {
                    strip.push_back(static_cast<std::uint8_t>(row[i] >> 4));
                    strip.push_back(
                        static_cast<std::uint8_t>((row[i] & 0x0F) << 4 | (row[i + 1] >> 8)));
                    strip.push_back(static_cast<std::uint8_t>(row[i + 1]));
                }
                if (i < rowSamples)
                {
                    strip.push_back(static_cast<std::uint8_t>(row[i] >> 4));
                    strip.push_back(static_cast<std::uint8_t>((row[i] & 0x0F) << 4));
                }
            }
        }
        counts.push_back(static_cast<std::int64_t>(strip.size()));
        blobs.push_back(m_writer.AddBlob(std::move(strip)));
    }
    Raw().Longs(278, {rps}).Longs(279, counts);
    m_writer.SetBlobOffsets(m_raw, 273, blobs);
}

void DngBuilder::StoreTiles()
{
    const DngRecipe& s = m_recipe;
    const std::uint32_t across = (s.width + s.tileWidth - 1) / s.tileWidth;
    const std::uint32_t down = (s.height + s.tileLength - 1) / s.tileLength;
    const std::size_t samples = static_cast<std::size_t>(s.samples);
    std::vector<int> blobs;
    std::vector<std::int64_t> counts;
    for (std::uint32_t ty = 0; ty < down; ++ty)
        for (std::uint32_t tx = 0; tx < across; ++tx)
        {
            // The whole tile; columns and rows past the image are 0.
            std::vector<std::uint16_t> tile(std::size_t{s.tileWidth} * s.tileLength * samples, 0);
            for (std::uint32_t j = 0; j < s.tileLength; ++j)
                for (std::uint32_t i = 0; i < s.tileWidth; ++i)
                {
                    const std::uint32_t x = tx * s.tileWidth + i, y = ty * s.tileLength + j;
                    if (x >= s.width || y >= s.height)
                        continue;
                    for (std::size_t c = 0; c < samples; ++c)
                        tile[(std::size_t{j} * s.tileWidth + i) * samples + c] =
                            s.pixels[(std::size_t{y} * s.width + x) * samples + c];
                }
            std::vector<std::uint8_t> data;
            if (s.storage == DngStorage::Tiles16)
            {
                for (const std::uint16_t v : tile)
                    Append(data, v, 2, s.bigEndian);
            }
            else
            {
                // CFA tiles as two interleaved components of half the width,
                // LinearRaw as three; either way the same sample order.
                LosslessJpegOptions options;
                options.components = samples == 1 ? 2 : 3;
                options.precision = s.ljpegPrecision;
                const int width = static_cast<int>(s.tileWidth * samples /
                                                   static_cast<std::size_t>(options.components));
                data = EncodeLosslessJpeg(tile, width, static_cast<int>(s.tileLength), options);
                if (data.empty())
                    throw std::invalid_argument("DngBuilder: lossless JPEG encoding failed");
            }
            counts.push_back(static_cast<std::int64_t>(data.size()));
            blobs.push_back(m_writer.AddBlob(std::move(data)));
        }
    Raw().Longs(322, {s.tileWidth}).Longs(323, {s.tileLength}).Longs(325, counts);
    m_writer.SetBlobOffsets(m_raw, 324, blobs);
}

void DngBuilder::FillExif()
{
    Exif()
        .Rationals(33434, {{1, 125}})
        .Rationals(33437, {{8, 1}})
        .Shorts(34855, {100})
        .Ascii(36867, "2024:01:02 03:04:05")
        .SRationals(37377, {{7, 1}})
        .Rationals(37378, {{6, 1}});
}

int DngBuilder::AddRawIfdCopy()
{
    const int id = m_writer.AddIfd();
    m_writer.Ifd(id) = m_writer.Ifd(m_raw);
    m_subIfds.push_back(id);
    m_writer.SetIfdOffsets(m_ifd0, 330, m_subIfds);
    return id;
}

void DngBuilder::SetSubIfds(std::vector<int> ids)
{
    m_subIfds = std::move(ids);
    m_writer.SetIfdOffsets(m_ifd0, 330, m_subIfds);
}

std::vector<std::uint8_t> DngBuilder::Build(std::vector<std::uint32_t>* ifdOffsets) const
{
    return m_writer.Write(m_recipe.minFileSize, ifdOffsets);
}

bool DngBuilder::WriteFile(const std::string& path) const
{
    return WriteBytes(path, Build());
}

bool DngBuilder::WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

} // namespace testsupport
