#pragma once
// Lossless JPEG (ITU T.81 process 14, SOF3) decoding of one stream held whole
// in memory: the form in which DNG files with compression 7 store their raw
// tiles.
//
// Each sample x is coded as the difference d = x - Px (modulo 2^16) from a
// prediction Px made of its already decoded neighbours Ra (left), Rb (above)
// and Rc (above left):
//   1: Ra   2: Rb   3: Rc   4: Ra + Rb - Rc   5: Ra + ((Rb - Rc) >> 1)
//   6: Rb + ((Ra - Rc) >> 1)   7: (Ra + Rb) >> 1
// The first line predicts from Ra (its first pixel from 2^(P-1)), the first
// pixel of every later line from Rb. A difference is sent as its category s
// (the bit length of |d|, Huffman coded) followed by s bits; category 16
// stands for d = 32768 and carries no bits.
//
// Supported: precision 2 to 16, 1 to 4 components with sampling factors 1x1,
// one interleaved scan holding every component in frame order, predictors 1
// to 7, point transform 0, Huffman tables 0 to 3 (class 0), restart intervals
// that span whole lines.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

// Raised by CInBitStream when a byte or word is asked for after the data has
// run out. Operation() is "GetByte" or "GetWord".
class EBufferError : public std::exception
{
public:
    explicit EBufferError(const char* operation) : m_operation(operation) {}
    const char* Operation() const noexcept { return m_operation; }
    const char* what() const noexcept override { return m_operation; }

private:
    const char* m_operation;
};

// Result codes of a decode (LJImage::resultCode).
enum class LJResult : std::uint16_t
{
    Ok = 0,
    NoStartOfImage = 1,  // SOF3, DHT or SOS before SOI
    BadFrame = 2,        // SOF header not supported or inconsistent
    NoFrame = 3,         // SOS before a valid SOF3 header
    BadHuffmanTable = 4, // DHT segment not supported or inconsistent
    MissingTable = 5,    // SOS names a Huffman table that was never defined
    BadScan = 6,         // SOS not supported, inconsistent, or a second scan
    NoScan = 7,          // EOI before any scan was decoded
    TruncatedScan = 8,   // the data ended with the entropy-coded segment (no EOI)
    NoMemory = 9,        // no memory for the sample buffer
    DataError = 10,      // the data ended early, or the entropy-coded data holds
                         // a marker before the last sample or an invalid code
    ShapeMismatch = 11,  // the frame's size is not the one the caller expects
};

// The caller's output record.
struct LJImage
{
    // components x width x height samples, rows top first, each row width
    // pixels of interleaved components (frame order). Reused from one decode
    // to the next.
    std::vector<std::uint16_t> samples;
    std::uint16_t width = 0;  // pixels a line
    std::uint16_t height = 0; // lines
    std::uint8_t precision = 0;
    std::uint8_t components = 0;
    LJResult resultCode = LJResult::Ok;
};

// Byte and bit reader over a memory block it does not own. Bits are read
// most significant first through a 64-bit buffer; a stuffed 0xFF 0x00 pair
// yields the byte 0xFF, and a marker 0xFF M (M not 0) ends the bits: the
// reader then supplies zero bits and remembers the marker, so that the
// decoder can tell afterwards whether it read past the real data.
class CInBitStream
{
public:
    CInBitStream(const std::uint8_t* data, std::size_t size) noexcept
        : m_cur(data), m_end(data + size), m_bitStart(data)
    {}
    virtual ~CInBitStream() = default;

    // The next n (0..16) bits as a non-negative number; -M when they would
    // run into a marker 0xFF M, -256 when they would run past the end of the
    // data (nothing is consumed then).
    int GetBits(int n) noexcept;
    // Both move to the next whole byte first (see ByteAlign) and throw
    // EBufferError when the data has run out.
    std::uint8_t GetByte();
    std::uint16_t GetWord();
    // Skips n whole bytes after a ByteAlign; EBufferError when fewer are left.
    void SkipBytes(std::size_t n);
    // Drops the bits buffered by GetBits or Fill down to the next byte
    // boundary: the read position becomes the first byte none of whose bits
    // were consumed.
    void ByteAlign() noexcept;
    // Bytes after the read position (bits in the buffer not counted).
    std::size_t BytesLeft() const noexcept { return static_cast<std::size_t>(m_end - m_cur); }

    // --- Entropy-coded data, for the decoder's inner loop ---

    // Makes more than 56 bits available (zero bits past a marker or the end).
    void Fill() noexcept
    {
        if (m_count > 56)
            return;
        if (m_end - m_cur >= 8)
        {
            std::uint64_t w = LoadBigEndian64(m_cur);
            // No 0xFF among the eight bytes: neither stuffing nor a marker.
            const std::uint64_t x = ~w;
            if (((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) == 0)
            {
                const std::uint32_t bytes = (64 - m_count) >> 3;
                m_bits |= (w >> (64 - 8 * bytes)) << (64 - m_count - 8 * bytes);
                m_cur += bytes;
                m_count += 8 * bytes;
                return;
            }
        }
        FillSlow();
    }
    std::uint32_t Available() const noexcept { return m_count; }
    // The top n (1..32) buffered bits, without consuming them.
    std::uint32_t Peek(std::uint32_t n) const noexcept
    {
        return static_cast<std::uint32_t>(m_bits >> (64 - n));
    }
    void Consume(std::uint32_t n) noexcept
    {
        m_bits <<= n;
        m_count -= n;
    }
    // True when more bits were consumed than the data held before its marker
    // (or its end): the padding bits that followed were read as data.
    bool Overrun() const noexcept { return m_padBits > m_count; }
    // The marker code that ended the entropy-coded data: 0 while none was
    // met, 0x100 when the data itself ended.
    int EndMarker() const noexcept { return m_marker; }

private:
    static std::uint64_t LoadBigEndian64(const std::uint8_t* p) noexcept
    {
        std::uint64_t w;
        std::memcpy(&w, p, sizeof w);
        if constexpr (std::endian::native == std::endian::little)
            w = __builtin_bswap64(w);
        return w;
    }
    void FillSlow() noexcept;

    const std::uint8_t* m_cur;
    const std::uint8_t* m_end;
    const std::uint8_t* m_bitStart; // where the current run of bits began
    std::uint64_t m_bits = 0;       // left-aligned
    std::uint32_t m_count = 0;      // valid bits in m_bits
    std::uint64_t m_padBits = 0;    // zero bits fed after the marker or the end
    int m_marker = 0;
};

// One Huffman table (class 0) in canonical form, with a lookup table of
// kLookupBits bits: an entry gives, for every code of at most that many bits,
// its length and category, and when the category's extra bits fit as well the
// finished difference, so most samples cost one lookup.
struct LJHuffmanTable
{
    static constexpr int kLookupBits = 11;

    struct Entry
    {
        std::int16_t diff;    // the difference, when complete
        std::uint8_t consume; // bits to drop: code (+ extra bits when complete)
        std::uint8_t kind;    // category when only the code fits; see below
    };
    static constexpr std::uint8_t kComplete = 0x80;
    static constexpr std::uint8_t kLongCode = 0xFF;

    bool defined = false;
    std::uint8_t counts[17] = {}; // codes of each length 1..16
    std::vector<std::uint8_t> values;
    // Canonical decoding of codes longer than the lookup: the largest code of
    // each length (-1 when none) and the index of its first value.
    std::int32_t maxCode[18] = {};
    std::int32_t valueOffset[17] = {};
    std::vector<Entry> lookup;

    // Builds the decoding tables; false when the counts describe no
    // canonical code (more codes of a length than there is room for).
    bool Build();
};

class CLJDecoder
{
public:
    CLJDecoder();
    virtual ~CLJDecoder();
    CLJDecoder(const CLJDecoder&) = delete;
    CLJDecoder& operator=(const CLJDecoder&) = delete;

    // Decodes one complete SOI..EOI stream into image. When expectedLineSamples
    // and expectedLines are not 0, the frame must hold exactly that many
    // samples a line (width x components) and lines, checked before anything
    // is allocated (else ShapeMismatch). True exactly when the result is Ok.
    bool Decode(const std::uint8_t* data, std::size_t size, LJImage& image,
                std::uint32_t expectedLineSamples = 0, std::uint32_t expectedLines = 0);

private:
    struct LJComponent
    {
        std::uint8_t id = 0;
        std::uint8_t hSampling = 1;
        std::uint8_t vSampling = 1;
        std::uint8_t table = 0; // Huffman table chosen by the scan
    };

    // One line of the scan: the first pixel is start + difference, every
    // later one the prediction Pred from its neighbours + difference.
    using RowKernel = bool (CLJDecoder::*)(std::uint16_t* row, const std::uint16_t* above,
                                           const std::uint16_t* start);

    void Run(const std::uint8_t* data, std::size_t size);
    bool ParseMarkers(); // false once decoding has ended
    int NextMarker();
    void ReadSOF(int marker);
    void ReadDHT();
    void ReadSOS();
    void ReadDRI();
    void SkipSegment();
    void DecodeScan();
    bool ReadRestartMarker();
    template <int NC, int Pred>
    bool DecodeRow(std::uint16_t* row, const std::uint16_t* above, const std::uint16_t* start);
    template <int NC> void ChooseKernels(RowKernel& first, RowKernel& later) const;
    void Fail(LJResult code);

    std::unique_ptr<CInBitStream> m_stream;
    LJImage* m_image = nullptr;
    std::uint32_t m_expectedLineSamples = 0;
    std::uint32_t m_expectedLines = 0;
    bool m_startOfImage = false;
    bool m_frameValid = false;
    bool m_scanDecoded = false;
    bool m_done = false;
    std::vector<LJComponent> m_components;
    LJHuffmanTable m_tables[4];
    int m_predictor = 1;
    const LJHuffmanTable* m_scanTables[4] = {};
    std::uint32_t m_restartInterval = 0; // in pixels; 0 = none
};
