#include "tests/support/LosslessJpegEncoder.h"

#include <algorithm>
#include <array>
#include <bit>

namespace testsupport {

namespace {

constexpr int kSymbols = 17; // difference categories 0..16

// The prediction of the lossless process (see imagefile/LosslessJpeg.h):
// first line of the image or of a restart interval from the left (its first
// pixel from 2^(P-1)), first pixel of a later line from above, the rest by
// the chosen predictor.
int Predict(std::span<const std::uint16_t> s, int width, int nc, int x, int y, int c,
            bool firstLine, int predictor, int precision)
{
    auto at = [&](int xx, int yy) {
        return static_cast<int>(s[(static_cast<std::size_t>(yy) * width + xx) * nc + c]);
    };
    if (firstLine)
        return x == 0 ? 1 << (precision - 1) : at(x - 1, y);
    if (x == 0)
        return at(0, y - 1);
    const int a = at(x - 1, y);
    const int b = at(x, y - 1);
    const int cc = at(x - 1, y - 1);
    switch (predictor)
    {
    case 1:
        return a;
    case 2:
        return b;
    case 3:
        return cc;
    case 4:
        return a + b - cc;
    case 5:
        return a + ((b - cc) >> 1);
    case 6:
        return b + ((a - cc) >> 1);
    default:
        return (a + b) >> 1;
    }
}

// Difference modulo 2^16 as a signed value in -32768..32767.
int WrapDifference(int d)
{
    d &= 0xFFFF;
    return d >= 32768 ? d - 65536 : d;
}

int Category(int d)
{
    if (d == -32768)
        return 16;
    return static_cast<int>(std::bit_width(static_cast<unsigned>(d < 0 ? -d : d)));
}

struct HuffmanCode
{
    std::array<std::uint8_t, 17> counts{}; // codes of each length 1..16
    std::vector<std::uint8_t> values;      // symbols in code order
    std::array<std::uint16_t, kSymbols> code{};
    std::array<std::uint8_t, kSymbols> length{};
};

// Optimal code lengths limited to 16 bits (ITU T.81 Annex K.2): a Huffman
// tree over the symbol frequencies plus one reserved symbol of frequency 1,
// which takes the all-ones code so that no real code is all ones.
HuffmanCode BuildCode(const std::array<long, kSymbols>& frequencies)
{
    std::array<long, kSymbols + 1> freq{};
    std::copy(frequencies.begin(), frequencies.end(), freq.begin());
    freq[kSymbols] = 1;
    std::array<int, kSymbols + 1> codeSize{};
    std::array<int, kSymbols + 1> others;
    others.fill(-1);

    for (;;)
    {
        // The two smallest non-zero frequencies; ties go to the higher symbol.
        int c1 = -1;
        long v = 1L << 62;
        for (int i = 0; i <= kSymbols; ++i)
        {
            if (freq[i] != 0 && freq[i] <= v)
            {
                v = freq[i];
                c1 = i;
            }
        }
        int c2 = -1;
        v = 1L << 62;
        for (int i = 0; i <= kSymbols; ++i)
        {
            if (freq[i] != 0 && freq[i] <= v && i != c1)
            {
                v = freq[i];
                c2 = i;
            }
        }
        if (c2 < 0)
            break;
        freq[c1] += freq[c2];
        freq[c2] = 0;
        ++codeSize[c1];
        while (others[c1] >= 0)
        {
            c1 = others[c1];
            ++codeSize[c1];
        }
        others[c1] = c2;
        ++codeSize[c2];
        while (others[c2] >= 0)
        {
            c2 = others[c2];
            ++codeSize[c2];
        }
    }

    std::array<int, 33> bits{};
    for (int i = 0; i <= kSymbols; ++i)
    {
        if (codeSize[i] != 0)
            ++bits[codeSize[i]];
    }
    // Lengths above 16: move pairs up the tree (Annex K, Figure K.3).
    for (int i = 32; i > 16; --i)
    {
        while (bits[i] > 0)
        {
            int j = i - 2;
            while (bits[j] == 0)
                --j;
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    }
    // Drop the reserved symbol (it has the longest code).
    int longest = 16;
    while (bits[longest] == 0)
        --longest;
    --bits[longest];

    HuffmanCode h;
    for (int len = 1; len <= 16; ++len)
        h.counts[len] = static_cast<std::uint8_t>(bits[len]);
    // Symbols by ascending original code size, then by symbol; the adjusted
    // counts assign the lengths in that order.
    for (int size = 1; size <= 32; ++size)
    {
        for (int s = 0; s < kSymbols; ++s)
        {
            if (codeSize[s] == size)
                h.values.push_back(static_cast<std::uint8_t>(s));
        }
    }
    std::uint32_t code = 0;
    std::size_t k = 0;
    for (int len = 1; len <= 16; ++len)
    {
        for (int i = 0; i < bits[len]; ++i, ++k, ++code)
        {
            h.code[h.values[k]] = static_cast<std::uint16_t>(code);
            h.length[h.values[k]] = static_cast<std::uint8_t>(len);
        }
        code <<= 1;
    }
    return h;
}

class ByteWriter
{
public:
    void Byte(int b) { m_out.push_back(static_cast<std::uint8_t>(b)); }
    void Word(int w)
    {
        Byte(w >> 8);
        Byte(w & 0xFF);
    }
    void Marker(int m)
    {
        Byte(0xFF);
        Byte(m);
    }

    // Entropy-coded bits, most significant first, with a 0x00 stuffed after
    // every 0xFF byte.
    void Bits(std::uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i)
        {
            m_acc = static_cast<std::uint32_t>((m_acc << 1) | ((value >> i) & 1u));
            if (++m_used == 8)
                EmitAccumulated();
        }
    }
    // Pads the last byte with 1 bits.
    void FlushBits()
    {
        while (m_used != 0)
            Bits(1, 1);
    }

    std::vector<std::uint8_t> Take() { return std::move(m_out); }

private:
    void EmitAccumulated()
    {
        Byte(static_cast<int>(m_acc & 0xFF));
        if ((m_acc & 0xFF) == 0xFF)
            Byte(0x00);
        m_acc = 0;
        m_used = 0;
    }

    std::vector<std::uint8_t> m_out;
    std::uint32_t m_acc = 0;
    int m_used = 0;
};

} // namespace

std::vector<std::uint8_t> EncodeLosslessJpeg(std::span<const std::uint16_t> samples, int width,
                                             int height, const LosslessJpegOptions& options)
{
    const int nc = options.components;
    const int precision = options.precision;
    if (width < 1 || width > 65535 || height < 1 || height > 65535 || nc < 1 || nc > 4 ||
        precision < 2 || precision > 16 || options.predictor < 1 || options.predictor > 7 ||
        options.restartLines < 0 || static_cast<long long>(options.restartLines) * width > 65535 ||
        static_cast<int>(options.firstComponentId) + nc - 1 > 255)
        return {};
    const std::size_t count = static_cast<std::size_t>(width) * height * nc;
    if (samples.size() != count)
        return {};
    for (std::uint16_t s : samples)
    {
        if (precision < 16 && s >= (1u << precision))
            return {};
    }

    // Differences, and the frequency of each category per component.
    std::vector<int> diffs(count);
    std::vector<std::array<long, kSymbols>> frequencies(nc, std::array<long, kSymbols>{});
    std::size_t i = 0;
    for (int y = 0; y < height; ++y)
    {
        const bool firstLine =
            y == 0 || (options.restartLines != 0 && y % options.restartLines == 0);
        for (int x = 0; x < width; ++x)
        {
            for (int c = 0; c < nc; ++c, ++i)
            {
                const int p =
                    Predict(samples, width, nc, x, y, c, firstLine, options.predictor, precision);
                diffs[i] = WrapDifference(samples[i] - p);
                ++frequencies[c][Category(diffs[i])];
            }
        }
    }
    std::vector<HuffmanCode> codes;
    for (int c = 0; c < nc; ++c)
        codes.push_back(BuildCode(frequencies[c]));

    ByteWriter out;
    out.Marker(0xD8);
    if (options.comment)
    {
        const char text[] = "chromivel test";
        out.Marker(0xFE);
        out.Word(2 + static_cast<int>(sizeof text - 1));
        for (std::size_t k = 0; k + 1 < sizeof text; ++k)
            out.Byte(text[k]);
    }
    out.Marker(0xC3);
    out.Word(8 + 3 * nc);
    out.Byte(precision);
    out.Word(height);
    out.Word(width);
    out.Byte(nc);
    for (int c = 0; c < nc; ++c)
    {
        out.Byte(options.firstComponentId + c);
        out.Byte(0x11);
        out.Byte(0);
    }
    auto tableLength = [](const HuffmanCode& h) { return 17 + static_cast<int>(h.values.size()); };
    auto writeTable = [&out](const HuffmanCode& h, int id) {
        out.Byte(id);
        for (int len = 1; len <= 16; ++len)
            out.Byte(h.counts[len]);
        for (std::uint8_t v : h.values)
            out.Byte(v);
    };
    if (options.singleDhtSegment)
    {
        int length = 2;
        for (const HuffmanCode& h : codes)
            length += tableLength(h);
        out.Marker(0xC4);
        out.Word(length);
        for (int c = 0; c < nc; ++c)
            writeTable(codes[c], c);
    }
    else
    {
        for (int c = 0; c < nc; ++c)
        {
            out.Marker(0xC4);
            out.Word(2 + tableLength(codes[c]));
            writeTable(codes[c], c);
        }
    }
    if (options.restartLines != 0)
    {
        out.Marker(0xDD);
        out.Word(4);
        out.Word(options.restartLines * width);
    }
    out.Marker(0xDA);
    out.Word(6 + 2 * nc);
    out.Byte(nc);
    for (int c = 0; c < nc; ++c)
    {
        out.Byte(options.firstComponentId + c);
        out.Byte(c << 4);
    }
    out.Byte(options.predictor);
    out.Byte(0);
    out.Byte(0);

    i = 0;
    int restartNumber = 0;
    for (int y = 0; y < height; ++y)
    {
        if (options.restartLines != 0 && y != 0 && y % options.restartLines == 0)
        {
            out.FlushBits();
            out.Marker(0xD0 + (restartNumber++ & 7));
        }
        for (int x = 0; x < width; ++x)
        {
            for (int c = 0; c < nc; ++c, ++i)
            {
                const int d = diffs[i];
                const int s = Category(d);
                out.Bits(codes[c].code[s], codes[c].length[s]);
                if (s != 0 && s != 16)
                    out.Bits(static_cast<std::uint32_t>(d > 0 ? d : d + (1 << s) - 1), s);
            }
        }
    }
    out.FlushBits();
    out.Marker(0xD9);
    return out.Take();
}

} // namespace testsupport
