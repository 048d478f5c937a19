#include "imagefile/LosslessJpeg.h"

#include <algorithm>
#include <new>

// ---------------------------------------------------------------------------
// CInBitStream

void CInBitStream::FillSlow() noexcept
{
    while (m_count <= 56)
    {
        if (m_marker != 0)
        {
            // Past the real data every bit is 0; m_padBits counts them so that
            // Overrun() can tell when the decoder has eaten into them.
            m_padBits += 64 - m_count;
            m_count = 64;
            return;
        }
        if (m_cur == m_end)
        {
            m_marker = 0x100;
            continue;
        }
        std::uint32_t byte = *m_cur;
        if (byte == 0xFF)
        {
            if (m_end - m_cur < 2)
            {
                m_marker = 0x100;
                continue;
            }
            if (m_cur[1] != 0x00)
            {
                // A marker ends the entropy-coded data; the read position
                // stays on it.
                m_marker = m_cur[1];
                continue;
            }
            m_cur += 2;
        }
        else
        {
            ++m_cur;
        }
        m_bits |= static_cast<std::uint64_t>(byte) << (56 - m_count);
        m_count += 8;
    }
}

int CInBitStream::GetBits(int n) noexcept
{
    if (n <= 0)
        return 0;
    n = std::min(n, 32); // the buffer always holds more than 32 bits after Fill
    Fill();
    const std::uint64_t padInBuffer = std::min<std::uint64_t>(m_count, m_padBits);
    if (static_cast<std::uint64_t>(n) > m_count - padInBuffer)
        return -m_marker;
    const auto v = static_cast<int>(Peek(static_cast<std::uint32_t>(n)));
    Consume(static_cast<std::uint32_t>(n));
    return v;
}

void CInBitStream::ByteAlign() noexcept
{
    // Whole bytes still in the buffer were read ahead and not used: give them
    // back, stepping over a stuffed 0xFF 0x00 pair as one byte. A 0x00 that
    // follows 0xFF inside the run is always stuffing (0xFF is never stuffing),
    // so the walk back is unambiguous.
    const std::uint64_t padInBuffer = std::min<std::uint64_t>(m_count, m_padBits);
    std::uint64_t unread = (m_count - padInBuffer) / 8;
    while (unread > 0 && m_cur > m_bitStart)
    {
        if (m_cur - m_bitStart >= 2 && m_cur[-1] == 0x00 && m_cur[-2] == 0xFF)
            m_cur -= 2;
        else
            m_cur -= 1;
        --unread;
    }
    m_bits = 0;
    m_count = 0;
    m_padBits = 0;
    m_marker = 0;
    m_bitStart = m_cur;
}

std::uint8_t CInBitStream::GetByte()
{
    ByteAlign();
    if (m_cur == m_end)
        throw EBufferError("GetByte");
    const std::uint8_t b = *m_cur++;
    m_bitStart = m_cur;
    return b;
}

std::uint16_t CInBitStream::GetWord()
{
    ByteAlign();
    if (m_end - m_cur < 2)
        throw EBufferError("GetWord");
    const auto w = static_cast<std::uint16_t>((m_cur[0] << 8) | m_cur[1]);
    m_cur += 2;
    m_bitStart = m_cur;
    return w;
}

void CInBitStream::SkipBytes(std::size_t n)
{
    ByteAlign();
    if (BytesLeft() < n)
        throw EBufferError("GetByte");
    m_cur += n;
    m_bitStart = m_cur;
}

// ---------------------------------------------------------------------------
// LJHuffmanTable

namespace {

// The signed difference of category s (1..15) from its s extra bits v: v
// itself when its top bit is set, else v - (2^s - 1).
inline int ExtendDifference(std::uint32_t v, std::uint32_t s)
{
    const int value = static_cast<int>(v);
    return v < (1u << (s - 1)) ? value - (1 << s) + 1 : value;
}

} // namespace

bool LJHuffmanTable::Build()
{
    constexpr int N = kLookupBits;
    defined = false;
    lookup.assign(std::size_t{1} << N, Entry{0, 0, kLongCode});

    // Canonical codes: within a length consecutive codes, and one bit longer
    // means the next code doubled.
    std::uint32_t code = 0;
    std::size_t k = 0;
    for (int len = 1; len <= 16; ++len)
    {
        valueOffset[len] = static_cast<std::int32_t>(k) - static_cast<std::int32_t>(code);
        for (int i = 0; i < counts[len]; ++i, ++k, ++code)
        {
            if (code >= (1u << len) || k >= values.size())
                return false;
            const std::uint8_t s = values[k];
            if (len > N)
                continue;
            const std::uint32_t first = code << (N - len);
            const std::uint32_t span = 1u << (N - len);
            for (std::uint32_t idx = first; idx < first + span; ++idx)
            {
                Entry& e = lookup[idx];
                if (s == 0 || s == 16)
                {
                    // 16 stands for 32768, kept modulo 2^16 as -32768.
                    e = Entry{static_cast<std::int16_t>(s == 0 ? 0 : -32768),
                              static_cast<std::uint8_t>(len), kComplete};
                }
                else if (len + s <= N)
                {
                    const std::uint32_t extra = (idx >> (N - len - s)) & ((1u << s) - 1);
                    e = Entry{static_cast<std::int16_t>(ExtendDifference(extra, s)),
                              static_cast<std::uint8_t>(len + s), kComplete};
                }
                else
                {
                    e = Entry{0, static_cast<std::uint8_t>(len), s};
                }
            }
        }
        maxCode[len] = counts[len] > 0 ? static_cast<std::int32_t>(code) - 1 : -1;
        code <<= 1;
    }
    if (k != values.size())
        return false;
    defined = true;
    return true;
}

namespace {

// A code longer than the lookup: canonical decoding length by length.
// False for a bit pattern that is no code of the table.
[[gnu::noinline]] bool DecodeLongCode(CInBitStream& bits, const LJHuffmanTable& table, int& diff)
{
    const std::uint32_t v16 = bits.Peek(16);
    for (int len = LJHuffmanTable::kLookupBits + 1; len <= 16; ++len)
    {
        const auto code = static_cast<std::int32_t>(v16 >> (16 - len));
        if (code <= table.maxCode[len])
        {
            const std::uint32_t s =
                table.values[static_cast<std::size_t>(table.valueOffset[len] + code)];
            bits.Consume(static_cast<std::uint32_t>(len));
            if (s == 0)
                diff = 0;
            else if (s == 16)
                diff = 32768;
            else
            {
                diff = ExtendDifference(bits.Peek(s), s);
                bits.Consume(s);
            }
            return true;
        }
    }
    return false;
}

// One difference: at most 16 bits of code and 15 extra bits, so 32 buffered
// bits always suffice.
[[gnu::always_inline]] inline bool DecodeDifference(CInBitStream& bits, const LJHuffmanTable& table,
                                                    int& diff)
{
    if (bits.Available() < 32)
        bits.Fill();
    const LJHuffmanTable::Entry e = table.lookup[bits.Peek(LJHuffmanTable::kLookupBits)];
    if (e.kind == LJHuffmanTable::kComplete)
    {
        diff = e.diff;
        bits.Consume(e.consume);
        return true;
    }
    if (e.kind != LJHuffmanTable::kLongCode)
    {
        bits.Consume(e.consume);
        diff = ExtendDifference(bits.Peek(e.kind), e.kind);
        bits.Consume(e.kind);
        return true;
    }
    return DecodeLongCode(bits, table, diff);
}

// The seven predictors of the lossless process on neighbours left (a),
// above (b) and above left (c), in signed integers as the standard has them;
// the sample is then taken modulo 2^16.
template <int Pred> inline int Predict(int a, int b, int c)
{
    if constexpr (Pred == 1)
        return a;
    else if constexpr (Pred == 2)
        return b;
    else if constexpr (Pred == 3)
        return c;
    else if constexpr (Pred == 4)
        return a + b - c;
    else if constexpr (Pred == 5)
        return a + ((b - c) >> 1);
    else if constexpr (Pred == 6)
        return b + ((a - c) >> 1);
    else
        return (a + b) >> 1;
}

} // namespace

// ---------------------------------------------------------------------------
// CLJDecoder

CLJDecoder::CLJDecoder() = default;
CLJDecoder::~CLJDecoder() = default;

bool CLJDecoder::Decode(const std::uint8_t* data, std::size_t size, LJImage& image,
                        std::uint32_t expectedLineSamples, std::uint32_t expectedLines)
{
    image.width = 0;
    image.height = 0;
    image.precision = 0;
    image.components = 0;
    image.resultCode = LJResult::Ok;

    m_image = &image;
    m_expectedLineSamples = expectedLineSamples;
    m_expectedLines = expectedLines;
    m_startOfImage = false;
    m_frameValid = false;
    m_scanDecoded = false;
    m_done = false;
    m_components.clear();
    for (LJHuffmanTable& t : m_tables)
        t.defined = false;
    for (const LJHuffmanTable*& t : m_scanTables)
        t = nullptr;
    m_predictor = 1;
    m_restartInterval = 0;

    Run(data, size);
    m_stream.reset();
    m_image = nullptr;
    return image.resultCode == LJResult::Ok;
}

void CLJDecoder::Fail(LJResult code)
{
    if (m_image->resultCode == LJResult::Ok)
        m_image->resultCode = code;
}

void CLJDecoder::Run(const std::uint8_t* data, std::size_t size)
{
    m_stream = std::make_unique<CInBitStream>(data, size);
    try
    {
        while (ParseMarkers())
        {}
    }
    catch (const EBufferError&)
    {
        Fail(LJResult::DataError);
    }
    catch (const std::bad_alloc&)
    {
        Fail(LJResult::NoMemory);
    }
}

int CLJDecoder::NextMarker()
{
    for (;;)
    {
        if (m_stream->GetByte() != 0xFF)
            continue;
        std::uint8_t m = m_stream->GetByte();
        while (m == 0xFF) // fill bytes before a marker
            m = m_stream->GetByte();
        if (m != 0x00)
            return m;
    }
}

namespace {

// SOF0..SOF15 but DHT (0xC4), JPG (0xC8) and DAC (0xCC): the frame headers of
// every coding process.
bool IsFrameMarker(int m)
{
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// TEM and RST0..RST7 carry no segment.
bool IsStandaloneMarker(int m)
{
    return m == 0x01 || (m >= 0xD0 && m <= 0xD7);
}

} // namespace

bool CLJDecoder::ParseMarkers()
{
    const int marker = NextMarker();
    if (marker == 0xD8) // SOI
        m_startOfImage = true;
    else if (marker == 0xD9) // EOI
    {
        if (!m_scanDecoded)
            Fail(LJResult::NoScan);
        m_done = true;
    }
    else if (marker == 0xC4)
        ReadDHT();
    else if (marker == 0xDA)
        ReadSOS();
    else if (marker == 0xDD)
        ReadDRI();
    else if (IsFrameMarker(marker))
        ReadSOF(marker);
    else if (!IsStandaloneMarker(marker))
        SkipSegment(); // application data, comments and the like
    return m_image->resultCode == LJResult::Ok && !m_done;
}

void CLJDecoder::SkipSegment()
{
    const std::uint16_t length = m_stream->GetWord();
    if (length < 2)
    {
        Fail(LJResult::DataError);
        return;
    }
    m_stream->SkipBytes(length - 2u);
}

void CLJDecoder::ReadSOF(int marker)
{
    if (!m_startOfImage)
        return Fail(LJResult::NoStartOfImage);
    // Only the lossless Huffman process, and one frame per stream.
    if (marker != 0xC3 || m_frameValid)
        return Fail(LJResult::BadFrame);

    const std::uint16_t length = m_stream->GetWord();
    const std::uint8_t precision = m_stream->GetByte();
    const std::uint16_t height = m_stream->GetWord();
    const std::uint16_t width = m_stream->GetWord();
    const std::uint8_t count = m_stream->GetByte();
    // Height 0 would mean "given later by a DNL marker", which DNG never uses.
    if (precision < 2 || precision > 16 || height == 0 || width == 0 || count < 1 || count > 4 ||
        length != 8 + 3 * count)
        return Fail(LJResult::BadFrame);

    m_components.assign(count, LJComponent{});
    for (std::size_t i = 0; i < count; ++i)
    {
        LJComponent& c = m_components[i];
        c.id = m_stream->GetByte();
        const std::uint8_t sampling = m_stream->GetByte();
        const std::uint8_t quantTable = m_stream->GetByte();
        c.hSampling = sampling >> 4;
        c.vSampling = sampling & 15;
        if (sampling != 0x11 || quantTable != 0)
            return Fail(LJResult::BadFrame);
        for (std::size_t j = 0; j < i; ++j)
        {
            if (m_components[j].id == c.id)
                return Fail(LJResult::BadFrame);
        }
    }

    const std::uint64_t lineSamples = std::uint64_t{width} * count;
    if (m_expectedLineSamples != 0 || m_expectedLines != 0)
    {
        if (lineSamples != m_expectedLineSamples || height != m_expectedLines)
            return Fail(LJResult::ShapeMismatch);
    }
    // Every sample costs at least one bit of Huffman code, so a frame larger
    // than eight samples a byte of what is left cannot be in this data; this
    // bounds the sample buffer by the size of the stream.
    if (lineSamples * height > std::uint64_t{8} * m_stream->BytesLeft())
        return Fail(LJResult::BadFrame);

    m_image->precision = precision;
    m_image->height = height;
    m_image->width = width;
    m_image->components = count;
    m_frameValid = true;
}

void CLJDecoder::ReadDHT()
{
    if (!m_startOfImage)
        return Fail(LJResult::NoStartOfImage);
    const std::uint16_t length = m_stream->GetWord();
    if (length < 2)
        return Fail(LJResult::BadHuffmanTable);
    std::size_t remaining = length - 2u;
    if (remaining == 0)
        return Fail(LJResult::BadHuffmanTable);
    // A segment may hold several tables one after the other.
    while (remaining > 0)
    {
        if (remaining < 17)
            return Fail(LJResult::BadHuffmanTable);
        const std::uint8_t classAndId = m_stream->GetByte();
        const int tableClass = classAndId >> 4;
        const int id = classAndId & 15;
        if (tableClass != 0 || id > 3)
            return Fail(LJResult::BadHuffmanTable);
        LJHuffmanTable& table = m_tables[id];
        table.defined = false;
        std::size_t total = 0;
        for (int len = 1; len <= 16; ++len)
        {
            table.counts[len] = m_stream->GetByte();
            total += table.counts[len];
        }
        remaining -= 17;
        if (total == 0 || total > remaining)
            return Fail(LJResult::BadHuffmanTable);
        table.values.resize(total);
        for (std::uint8_t& v : table.values)
        {
            v = m_stream->GetByte();
            if (v > 16) // difference categories run from 0 to 16
                return Fail(LJResult::BadHuffmanTable);
        }
        remaining -= total;
        if (!table.Build())
            return Fail(LJResult::BadHuffmanTable);
    }
}

void CLJDecoder::ReadDRI()
{
    if (!m_startOfImage)
        return Fail(LJResult::NoStartOfImage);
    const std::uint16_t length = m_stream->GetWord();
    const std::uint16_t interval = m_stream->GetWord();
    if (length != 4)
        return Fail(LJResult::BadScan);
    m_restartInterval = interval;
}

void CLJDecoder::ReadSOS()
{
    if (!m_startOfImage)
        return Fail(LJResult::NoStartOfImage);
    if (!m_frameValid)
        return Fail(LJResult::NoFrame);
    if (m_scanDecoded)
        return Fail(LJResult::BadScan);

    const std::uint16_t length = m_stream->GetWord();
    const std::uint8_t count = m_stream->GetByte();
    if (count != m_components.size() || length != 6 + 2 * count)
        return Fail(LJResult::BadScan);
    for (LJComponent& c : m_components)
    {
        const std::uint8_t selector = m_stream->GetByte();
        const std::uint8_t tables = m_stream->GetByte();
        // The scan must list the frame's components in frame order.
        if (selector != c.id || (tables >> 4) > 3)
            return Fail(LJResult::BadScan);
        c.table = tables >> 4;
    }
    const std::uint8_t predictor = m_stream->GetByte();
    m_stream->GetByte(); // end of spectral selection: no meaning in lossless mode
    const std::uint8_t approximation = m_stream->GetByte();
    if (predictor < 1 || predictor > 7 || (approximation & 15) != 0)
        return Fail(LJResult::BadScan);
    for (std::size_t j = 0; j < m_components.size(); ++j)
    {
        const LJHuffmanTable& t = m_tables[m_components[j].table];
        if (!t.defined)
            return Fail(LJResult::MissingTable);
        m_scanTables[j] = &t;
    }
    // Restarts are taken at line starts only (as DNG writers place them).
    if (m_restartInterval != 0 && m_restartInterval % m_image->width != 0)
        return Fail(LJResult::BadScan);
    m_predictor = predictor;

    DecodeScan();
    if (m_image->resultCode == LJResult::Ok)
        m_scanDecoded = true;
}

template <int NC, int Pred>
bool CLJDecoder::DecodeRow(std::uint16_t* row, const std::uint16_t* above,
                           const std::uint16_t* start)
{
    CInBitStream& bits = *m_stream;
    const LJHuffmanTable* tables[NC];
    for (int c = 0; c < NC; ++c)
        tables[c] = m_scanTables[c];
    const std::uint32_t width = m_image->width;

    int diff = 0;
    for (int c = 0; c < NC; ++c)
    {
        if (!DecodeDifference(bits, *tables[c], diff))
            return false;
        row[c] = static_cast<std::uint16_t>(start[c] + diff);
    }
    for (std::uint32_t x = 1; x < width; ++x)
    {
        std::uint16_t* px = row + std::size_t{x} * NC;
        for (int c = 0; c < NC; ++c)
        {
            if (!DecodeDifference(bits, *tables[c], diff))
                return false;
            int predicted;
            if constexpr (Pred == 1)
                predicted = px[c - NC];
            else
            {
                const std::uint16_t* up = above + std::size_t{x} * NC;
                predicted = Predict<Pred>(px[c - NC], up[c], up[c - NC]);
            }
            px[c] = static_cast<std::uint16_t>(predicted + diff);
        }
    }
    return true;
}

template <int NC> void CLJDecoder::ChooseKernels(RowKernel& first, RowKernel& later) const
{
    first = &CLJDecoder::DecodeRow<NC, 1>;
    switch (m_predictor)
    {
    case 2:
        later = &CLJDecoder::DecodeRow<NC, 2>;
        break;
    case 3:
        later = &CLJDecoder::DecodeRow<NC, 3>;
        break;
    case 4:
        later = &CLJDecoder::DecodeRow<NC, 4>;
        break;
    case 5:
        later = &CLJDecoder::DecodeRow<NC, 5>;
        break;
    case 6:
        later = &CLJDecoder::DecodeRow<NC, 6>;
        break;
    case 7:
        later = &CLJDecoder::DecodeRow<NC, 7>;
        break;
    default:
        later = &CLJDecoder::DecodeRow<NC, 1>;
        break;
    }
}

bool CLJDecoder::ReadRestartMarker()
{
    // The interval's last byte is padded with 1 bits; the marker follows.
    m_stream->ByteAlign();
    std::uint8_t b = m_stream->GetByte();
    if (b != 0xFF)
        return false;
    do
        b = m_stream->GetByte();
    while (b == 0xFF);
    return b >= 0xD0 && b <= 0xD7;
}

void CLJDecoder::DecodeScan()
{
    LJImage& image = *m_image;
    const std::size_t nc = image.components;
    const std::size_t lineSamples = std::size_t{image.width} * nc;
    const std::size_t total = lineSamples * image.height;
    try
    {
        if (image.samples.size() != total)
            image.samples.resize(total);
    }
    catch (const std::bad_alloc&)
    {
        return Fail(LJResult::NoMemory);
    }

    RowKernel first = nullptr;
    RowKernel later = nullptr;
    switch (nc)
    {
    case 1:
        ChooseKernels<1>(first, later);
        break;
    case 2:
        ChooseKernels<2>(first, later);
        break;
    case 3:
        ChooseKernels<3>(first, later);
        break;
    default:
        ChooseKernels<4>(first, later);
        break;
    }

    // The first line of the image, and of every restart interval, starts
    // from the middle of the sample range and predicts from the left only.
    std::uint16_t initial[4];
    std::fill(std::begin(initial), std::end(initial),
              static_cast<std::uint16_t>(1u << (image.precision - 1)));
    const std::uint32_t restartLines = m_restartInterval / image.width;

    m_stream->ByteAlign();
    std::uint16_t* row = image.samples.data();
    for (std::uint32_t y = 0; y < image.height; ++y, row += lineSamples)
    {
        const bool restart = restartLines != 0 && y % restartLines == 0;
        if (restart && y != 0 && !ReadRestartMarker())
            return Fail(LJResult::DataError);
        const bool ok = (y == 0 || restart)
                            ? (this->*first)(row, nullptr, initial)
                            : (this->*later)(row, row - lineSamples, row - lineSamples);
        // A marker (or the end of the data) before the last sample shows up
        // as bits read beyond it.
        if (!ok || m_stream->Overrun())
            return Fail(LJResult::DataError);
    }

    m_stream->ByteAlign();
    if (m_stream->BytesLeft() == 0)
        Fail(LJResult::TruncatedScan);
}
