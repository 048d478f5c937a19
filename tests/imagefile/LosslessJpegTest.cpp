// Lossless JPEG: the bit reader, hand-made streams checked against the
// format's own arithmetic, round trips through our encoder over components,
// precisions and predictors, and every refusal with its result code.

#include "imagefile/LosslessJpeg.h"
#include "tests/support/LosslessJpegEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using testsupport::EncodeLosslessJpeg;
using testsupport::LosslessJpegOptions;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A string of '0'/'1' (blanks ignored) as entropy-coded bytes: the last byte
// padded with 1 bits, every 0xFF followed by a stuffed 0x00.
Bytes PackBits(const std::string& text)
{
    Bytes out;
    int acc = 0;
    int used = 0;
    auto push = [&](int bit) {
        acc = (acc << 1) | bit;
        if (++used == 8)
        {
            out.push_back(static_cast<std::uint8_t>(acc));
            if (acc == 0xFF)
                out.push_back(0x00);
            acc = 0;
            used = 0;
        }
    };
    for (char ch : text)
    {
        if (ch == '0' || ch == '1')
            push(ch - '0');
    }
    while (used != 0)
        push(1);
    return out;
}

// Builds streams segment by segment.
struct StreamBuilder
{
    Bytes b;

    StreamBuilder& Raw(std::initializer_list<int> bytes)
    {
        for (int v : bytes)
            b.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    StreamBuilder& Append(const Bytes& more)
    {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
    StreamBuilder& Word(int w) { return Raw({w >> 8, w & 0xFF}); }
    StreamBuilder& Soi() { return Raw({0xFF, 0xD8}); }
    StreamBuilder& Eoi() { return Raw({0xFF, 0xD9}); }
    // SOF3 with components numbered 0..n-1, sampling 1x1.
    StreamBuilder& Sof3(int precision, int height, int width, int n)
    {
        Raw({0xFF, 0xC3});
        Word(8 + 3 * n);
        Raw({precision});
        Word(height);
        Word(width);
        Raw({n});
        for (int i = 0; i < n; ++i)
            Raw({i, 0x11, 0});
        return *this;
    }
    // One table: counts[0] is the number of 1-bit codes, and so on.
    StreamBuilder& Dht(int classAndId, const std::vector<int>& counts,
                       const std::vector<int>& values)
    {
        Raw({0xFF, 0xC4});
        Word(2 + 17 + static_cast<int>(values.size()));
        Raw({classAndId});
        for (int len = 0; len < 16; ++len)
            Raw({len < static_cast<int>(counts.size()) ? counts[len] : 0});
        for (int v : values)
            Raw({v});
        return *this;
    }
    // Scan of n components, component j with table j.
    StreamBuilder& Sos(int n, int predictor, int pointTransform = 0)
    {
        Raw({0xFF, 0xDA});
        Word(6 + 2 * n);
        Raw({n});
        for (int j = 0; j < n; ++j)
            Raw({j, j << 4});
        return Raw({predictor, 0, pointTransform});
    }
};

std::size_t FindMarker(const Bytes& s, int code, std::size_t from = 0)
{
    for (std::size_t i = from; i + 1 < s.size(); ++i)
    {
        if (s[i] == 0xFF && s[i + 1] == code)
            return i;
    }
    return s.size();
}

// First byte of the entropy-coded data (just after the SOS segment).
std::size_t EntropyStart(const Bytes& s)
{
    const std::size_t sos = FindMarker(s, 0xDA);
    return sos + 2 + ((s[sos + 2] << 8) | s[sos + 3]);
}

LJResult DecodeResult(const Bytes& s, LJImage* out = nullptr)
{
    LJImage image;
    CLJDecoder decoder;
    decoder.Decode(s.data(), s.size(), image);
    if (out)
        *out = image;
    return image.resultCode;
}

std::vector<std::uint16_t> RandomSamples(std::size_t n, int precision, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(0, (1 << precision) - 1);
    std::vector<std::uint16_t> v(n);
    for (auto& s : v)
        s = static_cast<std::uint16_t>(dist(rng));
    return v;
}

// Random walks whose steps have category k with probability 2^-(k+1): the
// rare categories get codes longer than the decoder's lookup. Each line
// starts from the line above, as the first pixel of a line is predicted.
std::vector<std::uint16_t> SkewedSamples(int width, int height, int nc, int precision,
                                         std::uint32_t seed)
{
    std::mt19937 rng(seed);
    const int mask = (1 << precision) - 1;
    std::vector<std::uint16_t> v(static_cast<std::size_t>(width) * height * nc);
    auto step = [&] {
        const int category = std::min(std::countr_zero(rng() | 0x10000u), precision);
        if (category == 0)
            return 0;
        const int magnitude =
            (1 << (category - 1)) + static_cast<int>(rng() % (1u << (category - 1)));
        return (rng() & 1) ? magnitude : -magnitude;
    };
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            for (int c = 0; c < nc; ++c)
            {
                const std::size_t i = (static_cast<std::size_t>(y) * width + x) * nc + c;
                int from = 1 << (precision - 1);
                if (x > 0)
                    from = v[i - nc];
                else if (y > 0)
                    from = v[i - static_cast<std::size_t>(width) * nc];
                v[i] = static_cast<std::uint16_t>((from + step()) & mask);
            }
        }
    }
    return v;
}

int LongestCode(const Bytes& s)
{
    int longest = 0;
    for (std::size_t at = FindMarker(s, 0xC4); at < EntropyStart(s);
         at = FindMarker(s, 0xC4, at + 1))
    {
        for (int len = 1; len <= 16; ++len)
        {
            if (s[at + 4 + len] != 0)
                longest = std::max(longest, len);
        }
    }
    return longest;
}

bool HasStuffedByte(const Bytes& s)
{
    for (std::size_t i = EntropyStart(s); i + 1 < s.size(); ++i)
    {
        if (s[i] == 0xFF && s[i + 1] == 0x00)
            return true;
    }
    return false;
}

} // namespace

// ---------------------------------------------------------------------------
// The bit reader

TEST(InBitStream, ReadsBitsAcrossStuffingAndStopsAtAMarker)
{
    // 0xA5, stuffed 0xFF, 0x3C, then the marker 0xFF 0xD9.
    const Bytes data = {0xA5, 0xFF, 0x00, 0x3C, 0xFF, 0xD9};
    CInBitStream s(data.data(), data.size());
    EXPECT_EQ(s.GetBits(4), 0xA);
    EXPECT_EQ(s.GetBits(8), 0x5F); // low nibble of 0xA5, high nibble of 0xFF
    EXPECT_EQ(s.GetBits(12), 0xF3C);
    EXPECT_EQ(s.GetBits(1), -0xD9); // the marker, nothing consumed
    EXPECT_EQ(s.GetBits(1), -0xD9);
    // Byte reading resumes at the marker itself.
    EXPECT_EQ(s.GetByte(), 0xFF);
    EXPECT_EQ(s.GetByte(), 0xD9);
    EXPECT_EQ(s.GetBits(1), -256);
}

TEST(InBitStream, ByteReadsDropThePartialByteAndGiveBackReadAhead)
{
    const Bytes plain = {0x81, 0x42, 0x43};
    CInBitStream p(plain.data(), plain.size());
    EXPECT_EQ(p.GetBits(1), 1);
    EXPECT_EQ(p.GetByte(), 0x42); // the rest of 0x81 is dropped

    const Bytes data = {0x81, 0xFF, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE};
    CInBitStream s(data.data(), data.size());
    EXPECT_EQ(s.GetBits(3), 4);      // 100 of 0x81; the buffer has read far ahead
    EXPECT_EQ(s.GetBits(13), 0x1FF); // 00001 of 0x81, then the stuffed 0xFF
    EXPECT_EQ(s.GetByte(), 0x12);    // the read-ahead given back past the pair
    EXPECT_EQ(s.GetBits(8), 0x34);
    EXPECT_EQ(s.GetWord(), 0x5678);
    EXPECT_EQ(s.BytesLeft(), 3u);
    s.SkipBytes(2);
    EXPECT_EQ(s.GetByte(), 0xDE);
}

TEST(InBitStream, ThrowsNamedBufferErrorsWhenTheDataRunsOut)
{
    const Bytes data = {0x01, 0x02, 0x03};
    CInBitStream s(data.data(), data.size());
    EXPECT_EQ(s.GetWord(), 0x0102);
    try
    {
        s.GetWord();
        FAIL() << "no exception";
    }
    catch (const EBufferError& e)
    {
        EXPECT_STREQ(e.Operation(), "GetWord");
    }
    EXPECT_EQ(s.GetByte(), 0x03);
    try
    {
        s.GetByte();
        FAIL() << "no exception";
    }
    catch (const EBufferError& e)
    {
        EXPECT_STREQ(e.Operation(), "GetByte");
    }
    EXPECT_THROW(s.SkipBytes(1), EBufferError);
}

// ---------------------------------------------------------------------------
// Hand-made streams: the expected samples follow from the format's rules.

TEST(LosslessJpegDecode, HandMadeStreamPredictorOne)
{
    // Categories 0, 1, 2 have the 2-bit codes 00, 01, 10. Precision 8:
    // the first pixel is predicted as 128, later lines start from above.
    //   row 0: 128 (0), 129 (+1), 127 (-2: bits 01)
    //   row 1: 130 (+2 from 128 above: bits 10), 131 (+1), 131 (0)
    const Bytes entropy = PackBits("00  01 1  10 01  10 10  01 1  00");
    StreamBuilder b;
    b.Soi().Sof3(8, 2, 3, 1).Dht(0x00, {0, 3}, {0, 1, 2}).Sos(1, 1).Append(entropy).Eoi();

    LJImage image;
    ASSERT_EQ(DecodeResult(b.b, &image), LJResult::Ok);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.precision, 8);
    EXPECT_EQ(image.components, 1);
    EXPECT_EQ(image.samples, (std::vector<std::uint16_t>{128, 129, 127, 130, 131, 131}));
}

TEST(LosslessJpegDecode, HandMadeStreamPredictorSevenWithCategorySixteen)
{
    // Codes: 00 -> 16, 01 -> 7, 10 -> 1, 110 -> 15. Precision 16, predictor 7.
    //   (0,0): 32768 + 32768 = 0 (category 16, no extra bits)
    //   (1,0): 0 + 100 (category 7, bits 1100100)
    //   (0,1): from above 0, -1 (category 1, bit 0) = 65535
    //   (1,1): (65535 + 100) >> 1 = 32817, + 32724 (category 15) = 65541 = 5
    const Bytes entropy = PackBits("00  01 1100100  10 0  110 111111111010100");
    StreamBuilder b;
    b.Soi().Sof3(16, 2, 2, 1).Dht(0x00, {0, 3, 1}, {16, 7, 1, 15}).Sos(1, 7).Append(entropy).Eoi();

    LJImage image;
    ASSERT_EQ(DecodeResult(b.b, &image), LJResult::Ok);
    EXPECT_EQ(image.samples, (std::vector<std::uint16_t>{0, 100, 65535, 5}));
}

TEST(LosslessJpegDecode, HandMadeTwoComponentsInterleaveWithTheirOwnTables)
{
    // Component 0: 1-bit code 0 -> category 0; component 1: 1-bit code
    // 0 -> category 2. Precision 12 starts at 2048.
    //   pixel 0: c0 2048, c1 2048 + 3 (bits 11) = 2051
    //   pixel 1: c0 2048, c1 2051 - 2 (bits 01) = 2049
    const Bytes entropy = PackBits("0 0 11  0 0 01");
    StreamBuilder b;
    b.Soi()
        .Sof3(12, 1, 2, 2)
        .Dht(0x00, {1}, {0})
        .Dht(0x01, {1}, {2})
        .Sos(2, 1)
        .Append(entropy)
        .Eoi();
    LJImage image;
    ASSERT_EQ(DecodeResult(b.b, &image), LJResult::Ok);
    EXPECT_EQ(image.samples, (std::vector<std::uint16_t>{2048, 2051, 2048, 2049}));
}

// ---------------------------------------------------------------------------
// Round trips through our encoder

struct RoundTripCase
{
    int components;
    int precision;
    int width;
    int height;
};

class LosslessJpegRoundTrip : public ::testing::TestWithParam<RoundTripCase>
{};

TEST_P(LosslessJpegRoundTrip, EveryPredictorGivesBackTheSamples)
{
    const RoundTripCase& c = GetParam();
    const std::size_t n = static_cast<std::size_t>(c.width) * c.height * c.components;
    for (int predictor = 1; predictor <= 7; ++predictor)
    {
        for (int kind = 0; kind < 2; ++kind)
        {
            SCOPED_TRACE("predictor " + std::to_string(predictor) + (kind ? " skewed" : " random"));
            const auto seed = static_cast<std::uint32_t>(predictor * 31 + c.precision);
            const std::vector<std::uint16_t> samples =
                kind ? SkewedSamples(c.width, c.height, c.components, c.precision, seed)
                     : RandomSamples(n, c.precision, seed);
            LosslessJpegOptions options;
            options.components = c.components;
            options.precision = c.precision;
            options.predictor = predictor;
            const Bytes stream = EncodeLosslessJpeg(samples, c.width, c.height, options);
            ASSERT_FALSE(stream.empty());

            LJImage image;
            CLJDecoder decoder;
            ASSERT_TRUE(decoder.Decode(stream.data(), stream.size(), image))
                << static_cast<int>(image.resultCode);
            EXPECT_EQ(image.width, c.width);
            EXPECT_EQ(image.height, c.height);
            EXPECT_EQ(image.components, c.components);
            EXPECT_EQ(image.precision, c.precision);
            EXPECT_EQ(image.samples, samples);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, LosslessJpegRoundTrip,
                         ::testing::Values(RoundTripCase{1, 8, 37, 23}, RoundTripCase{1, 16, 64, 9},
                                           RoundTripCase{2, 12, 31, 17},
                                           RoundTripCase{2, 16, 128, 8},
                                           RoundTripCase{3, 14, 19, 13},
                                           RoundTripCase{3, 16, 1, 40}, RoundTripCase{4, 8, 40, 1},
                                           RoundTripCase{4, 16, 25, 11}, RoundTripCase{1, 2, 50, 5},
                                           RoundTripCase{2, 15, 33, 7}));

TEST(LosslessJpegRoundTripExtremes, DifferencesOfHalfTheRangeAndFullSwings)
{
    struct Case
    {
        const char* name;
        std::vector<std::uint16_t> samples; // 1 component, 8 x 4
    };
    std::vector<std::uint16_t> alternating(32), swings(32), top(32, 65535);
    for (std::size_t i = 0; i < 32; ++i)
    {
        alternating[i] = (i + i / 8) % 2 ? 32768 : 0; // every difference is +-32768
        swings[i] = (i * 7) % 3 ? 65535 : 0;
    }
    const Case cases[] = {{"0/32768", alternating}, {"0/65535", swings}, {"all 65535", top}};
    for (const Case& c : cases)
    {
        for (int predictor = 1; predictor <= 7; ++predictor)
        {
            SCOPED_TRACE(std::string(c.name) + " predictor " + std::to_string(predictor));
            LosslessJpegOptions options;
            options.predictor = predictor;
            const Bytes stream = EncodeLosslessJpeg(c.samples, 8, 4, options);
            LJImage image;
            ASSERT_EQ(DecodeResult(stream, &image), LJResult::Ok);
            EXPECT_EQ(image.samples, c.samples);
        }
    }
}

TEST(LosslessJpegRoundTripExtremes, StuffedBytesAndLongCodesAreExercised)
{
    // The fixtures above must really contain what the decoder has to handle.
    const std::vector<std::uint16_t> random = RandomSamples(64 * 16 * 2, 16, 7);
    LosslessJpegOptions two;
    two.components = 2;
    EXPECT_TRUE(HasStuffedByte(EncodeLosslessJpeg(random, 64, 16, two)));

    const std::vector<std::uint16_t> skewed = SkewedSamples(128, 64, 1, 16, 9);
    const Bytes stream = EncodeLosslessJpeg(skewed, 128, 64);
    EXPECT_GT(LongestCode(stream), LJHuffmanTable::kLookupBits);
    LJImage image;
    ASSERT_EQ(DecodeResult(stream, &image), LJResult::Ok);
    EXPECT_EQ(image.samples, skewed);
}

TEST(LosslessJpegRoundTripExtremes, StreamVariantsDecodeAlike)
{
    // Component ids from 1, a comment segment, tables in one DHT segment and
    // restart markers every few lines: the same samples each time.
    const int width = 24, height = 20;
    const std::vector<std::uint16_t> samples = RandomSamples(width * height * 3, 14, 3);
    struct Variant
    {
        const char* name;
        LosslessJpegOptions options;
    };
    auto make = [](auto edit) {
        LosslessJpegOptions o;
        o.components = 3;
        o.precision = 14;
        o.predictor = 6;
        edit(o);
        return o;
    };
    const Variant variants[] = {
        {"plain", make([](LosslessJpegOptions&) {})},
        {"ids from 1", make([](LosslessJpegOptions& o) { o.firstComponentId = 1; })},
        {"comment", make([](LosslessJpegOptions& o) { o.comment = true; })},
        {"one DHT", make([](LosslessJpegOptions& o) { o.singleDhtSegment = true; })},
        {"restart 3 lines", make([](LosslessJpegOptions& o) { o.restartLines = 3; })},
        {"restart 1 line", make([](LosslessJpegOptions& o) { o.restartLines = 1; })},
    };
    for (const Variant& v : variants)
    {
        SCOPED_TRACE(v.name);
        const Bytes stream = EncodeLosslessJpeg(samples, width, height, v.options);
        LJImage image;
        ASSERT_EQ(DecodeResult(stream, &image), LJResult::Ok);
        EXPECT_EQ(image.samples, samples);
    }
}

TEST(LosslessJpegDecode, OneDecoderAndImageServeManyStreams)
{
    CLJDecoder decoder;
    LJImage image;
    const std::vector<std::uint16_t> a = RandomSamples(16 * 8 * 2, 16, 1);
    const std::vector<std::uint16_t> b = RandomSamples(16 * 8 * 2, 16, 2);
    const std::vector<std::uint16_t> c = RandomSamples(5 * 3, 12, 3);
    LosslessJpegOptions two;
    two.components = 2;
    LosslessJpegOptions twelve;
    twelve.precision = 12;

    const Bytes sa = EncodeLosslessJpeg(a, 16, 8, two);
    ASSERT_TRUE(decoder.Decode(sa.data(), sa.size(), image));
    const std::uint16_t* buffer = image.samples.data();
    const Bytes sb = EncodeLosslessJpeg(b, 16, 8, two);
    ASSERT_TRUE(decoder.Decode(sb.data(), sb.size(), image));
    EXPECT_EQ(image.samples.data(), buffer); // same size: the buffer is reused
    EXPECT_EQ(image.samples, b);

    // A failure in between leaves nothing behind for the next stream.
    const Bytes broken(sa.begin(), sa.begin() + static_cast<long>(sa.size() / 2));
    EXPECT_FALSE(decoder.Decode(broken.data(), broken.size(), image));
    const Bytes sc = EncodeLosslessJpeg(c, 5, 3, twelve);
    ASSERT_TRUE(decoder.Decode(sc.data(), sc.size(), image));
    EXPECT_EQ(image.samples, c);
    EXPECT_EQ(image.components, 1);
}

// ---------------------------------------------------------------------------
// Refusals

TEST(LosslessJpegDecode, ExpectedTileShapeIsCheckedBeforeAllocating)
{
    const std::vector<std::uint16_t> samples = RandomSamples(32 * 16 * 2, 16, 5);
    LosslessJpegOptions two;
    two.components = 2;
    const Bytes stream = EncodeLosslessJpeg(samples, 32, 16, two);
    CLJDecoder decoder;

    LJImage image;
    EXPECT_TRUE(decoder.Decode(stream.data(), stream.size(), image, 64, 16));
    EXPECT_EQ(image.samples, samples);

    const struct
    {
        std::uint32_t lineSamples, lines;
    } wrong[] = {{32, 16}, {64, 15}, {64, 32}, {128, 8}};
    for (const auto& w : wrong)
    {
        LJImage fresh;
        EXPECT_FALSE(decoder.Decode(stream.data(), stream.size(), fresh, w.lineSamples, w.lines));
        EXPECT_EQ(fresh.resultCode, LJResult::ShapeMismatch);
        EXPECT_TRUE(fresh.samples.empty());
    }
}

TEST(LosslessJpegDecode, FrameLargerThanTheDataIsRefusedWithoutAllocating)
{
    // 65535 x 65535 samples announced in a stream of a few dozen bytes.
    StreamBuilder b;
    b.Soi().Sof3(16, 65535, 65535, 4).Dht(0x00, {1}, {0}).Sos(1, 1).Raw({0x00}).Eoi();
    LJImage image;
    EXPECT_EQ(DecodeResult(b.b, &image), LJResult::BadFrame);
    EXPECT_TRUE(image.samples.empty());
}

TEST(LosslessJpegDecode, HeaderRefusalsGiveTheirCodes)
{
    const Bytes entropy = PackBits("00 00 00 00");
    auto tables = [](StreamBuilder& b) -> StreamBuilder& { return b.Dht(0x00, {1}, {0}); };
    struct Case
    {
        const char* name;
        Bytes stream;
        LJResult expected;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, StreamBuilder b, LJResult expected) {
        cases.push_back({name, b.b, expected});
    };

    {
        StreamBuilder b; // the reference: decodes
        tables(b.Soi().Sof3(16, 2, 2, 1)).Sos(1, 1).Append(entropy).Eoi();
        add("valid", b, LJResult::Ok);
    }
    {
        StreamBuilder b;
        tables(b.Sof3(16, 2, 2, 1)).Sos(1, 1).Append(entropy).Eoi();
        add("no SOI", b, LJResult::NoStartOfImage);
    }
    {
        StreamBuilder b;
        b.Soi().Sof3(1, 2, 2, 1);
        add("precision 1", b, LJResult::BadFrame);
    }
    {
        StreamBuilder b;
        b.Soi().Sof3(17, 2, 2, 1);
        add("precision 17", b, LJResult::BadFrame);
    }
    {
        StreamBuilder b;
        b.Soi().Sof3(16, 0, 2, 1);
        add("height 0", b, LJResult::BadFrame);
    }
    {
        StreamBuilder b;
        b.Soi().Sof3(16, 2, 2, 5);
        add("five components", b, LJResult::BadFrame);
    }
    {
        StreamBuilder b;
        b.Soi().Raw({0xFF, 0xC3, 0, 11, 16, 0, 2, 0, 2, 1, 0, 0x21, 0});
        add("sampling 2x1", b, LJResult::BadFrame);
    }
    {
        StreamBuilder b;
        b.Soi().Raw({0xFF, 0xC3, 0, 14, 16, 0, 2, 0, 2, 2, 0, 0x11, 0, 0, 0x11, 0});
        add("two components with one id", b, LJResult::BadFrame);
    }
    {
        StreamBuilder b;
        b.Soi().Raw({0xFF, 0xC3, 0, 12, 16, 0, 2, 0, 2, 1, 0, 0x11, 0});
        add("SOF3 length", b, LJResult::BadFrame);
    }
    {
        StreamBuilder b;
        b.Soi().Raw({0xFF, 0xC1, 0, 11, 8, 0, 2, 0, 2, 1, 0, 0x11, 0});
        add("baseline-like SOF1", b, LJResult::BadFrame);
    }
    {
        StreamBuilder b;
        b.Soi().Sof3(16, 2, 2, 1).Sof3(16, 2, 2, 1);
        add("second frame", b, LJResult::BadFrame);
    }
    {
        StreamBuilder b;
        tables(b.Soi()).Sos(1, 1).Append(entropy).Eoi();
        add("SOS before SOF3", b, LJResult::NoFrame);
    }
    {
        StreamBuilder b;
        b.Soi().Sof3(16, 2, 2, 1).Dht(0x10, {1}, {0});
        add("DHT class 1", b, LJResult::BadHuffmanTable);
    }
    {
        StreamBuilder b;
        b.Soi().Sof3(16, 2, 2, 1).Dht(0x04, {1}, {0});
        add("DHT id 4", b, LJResult::BadHuffmanTable);
    }
    {
        StreamBuilder b;
        b.Soi().Sof3(16, 2, 2, 1).Dht(0x00, {1}, {17});
        add("DHT category 17", b, LJResult::BadHuffmanTable);
    }
    {
        StreamBuilder b;
        b.Soi().Sof3(16, 2, 2, 1).Dht(0x00, {3}, {0, 1, 2});
        add("three 1-bit codes", b, LJResult::BadHuffmanTable);
    }
    {
        StreamBuilder b;
        b.Soi().Sof3(16, 2, 2, 1).Dht(0x00, {2}, {0}); // two codes, one value
        add("DHT length against counts", b, LJResult::BadHuffmanTable);
    }
    {
        StreamBuilder b;
        b.Soi().Sof3(16, 2, 2, 1).Raw({0xFF, 0xC4, 0, 2});
        add("empty DHT", b, LJResult::BadHuffmanTable);
    }
    {
        StreamBuilder b;
        b.Soi().Sof3(16, 2, 2, 2).Dht(0x00, {1}, {0}).Sos(2, 1);
        add("no table for component 1", b, LJResult::MissingTable);
    }
    {
        StreamBuilder b;
        tables(b.Soi().Sof3(16, 2, 2, 1)).Sos(1, 0);
        add("predictor 0", b, LJResult::BadScan);
    }
    {
        StreamBuilder b;
        tables(b.Soi().Sof3(16, 2, 2, 1)).Sos(1, 8);
        add("predictor 8", b, LJResult::BadScan);
    }
    {
        StreamBuilder b;
        tables(b.Soi().Sof3(16, 2, 2, 1)).Sos(1, 1, 1);
        add("point transform 1", b, LJResult::BadScan);
    }
    {
        StreamBuilder b;
        tables(b.Soi().Sof3(16, 2, 2, 2)).Dht(0x01, {1}, {0}).Sos(1, 1);
        add("scan with fewer components", b, LJResult::BadScan);
    }
    {
        StreamBuilder b;
        tables(b.Soi().Sof3(16, 2, 2, 1)).Raw({0xFF, 0xDA, 0, 8, 1, 5, 0x00, 1, 0, 0});
        add("scan names another component", b, LJResult::BadScan);
    }
    {
        StreamBuilder b;
        tables(b.Soi().Sof3(16, 2, 2, 1)).Sos(1, 1).Append(entropy).Sos(1, 1).Append(entropy).Eoi();
        add("second scan", b, LJResult::BadScan);
    }
    {
        StreamBuilder b;
        tables(b.Soi().Sof3(16, 2, 3, 1)).Raw({0xFF, 0xDD, 0, 4, 0, 2}).Sos(1, 1);
        add("restart inside a line", b, LJResult::BadScan);
    }
    {
        StreamBuilder b;
        tables(b.Soi().Sof3(16, 2, 2, 1)).Eoi();
        add("EOI before a scan", b, LJResult::NoScan);
    }
    {
        StreamBuilder b;
        tables(b.Soi().Sof3(16, 2, 2, 1)).Sos(1, 1).Append(entropy);
        add("data ends after the scan", b, LJResult::TruncatedScan);
    }

    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecodeResult(c.stream), c.expected);
    }
}

TEST(LosslessJpegDecode, TablesMayPrecedeTheFrameAndUnknownSegmentsAreSkippedByLength)
{
    const Bytes entropy = PackBits("0 0 0 0");
    // An APP1 segment whose payload holds what looks like SOS and EOI
    // markers, and the table before SOF3.
    StreamBuilder b;
    b.Soi()
        .Raw({0xFF, 0xE1, 0, 8, 0xFF, 0xDA, 0xFF, 0xD9, 0x12, 0x34})
        .Dht(0x00, {1}, {0})
        .Sof3(16, 2, 2, 1)
        .Sos(1, 1)
        .Append(entropy)
        .Eoi();
    LJImage image;
    ASSERT_EQ(DecodeResult(b.b, &image), LJResult::Ok);
    EXPECT_EQ(image.samples, (std::vector<std::uint16_t>(4, 32768)));
}

TEST(LosslessJpegDecode, CorruptEntropyDataFailsTheTile)
{
    const int width = 40, height = 30;
    const std::vector<std::uint16_t> samples = RandomSamples(width * height * 2, 16, 11);
    LosslessJpegOptions two;
    two.components = 2;
    const Bytes good = EncodeLosslessJpeg(samples, width, height, two);
    const std::size_t start = EntropyStart(good);
    const std::size_t eoi = good.size() - 2;
    ASSERT_EQ(DecodeResult(good), LJResult::Ok);

    // A marker in the middle of the entropy-coded data.
    std::size_t middle = start + (eoi - start) / 2;
    while (good[middle - 1] == 0xFF) // do not split a stuffed pair
        ++middle;
    Bytes marker = good;
    marker.insert(marker.begin() + static_cast<long>(middle), {0xFF, 0xD9});
    EXPECT_EQ(DecodeResult(marker), LJResult::DataError);

    // The entropy data cut short and the stream closed properly.
    Bytes cut(good.begin(), good.begin() + static_cast<long>(middle));
    cut.push_back(0xFF);
    cut.push_back(0xD9);
    EXPECT_EQ(DecodeResult(cut), LJResult::DataError);

    // A restart marker where the scan has none.
    Bytes restart = good;
    restart.insert(restart.begin() + static_cast<long>(middle), {0xFF, 0xD0});
    EXPECT_EQ(DecodeResult(restart), LJResult::DataError);

    // A bit pattern that is no code: all ones (the encoder never uses it).
    Bytes invalid = good;
    for (std::size_t i = start; i < start + 4; ++i)
        invalid[i] = 0xFF;
    invalid.insert(invalid.begin() + static_cast<long>(start) + 4, 0x00);
    invalid.insert(invalid.begin() + static_cast<long>(start) + 3, 0x00);
    invalid.insert(invalid.begin() + static_cast<long>(start) + 2, 0x00);
    invalid.insert(invalid.begin() + static_cast<long>(start) + 1, 0x00);
    EXPECT_EQ(DecodeResult(invalid), LJResult::DataError);
}

TEST(LosslessJpegDecode, EveryTruncationFails)
{
    const std::vector<std::uint16_t> samples = RandomSamples(12 * 5 * 2, 16, 13);
    LosslessJpegOptions two;
    two.components = 2;
    two.restartLines = 2;
    const Bytes good = EncodeLosslessJpeg(samples, 12, 5, two);
    for (std::size_t length = 0; length < good.size(); ++length)
    {
        SCOPED_TRACE(length);
        const Bytes prefix(good.begin(), good.begin() + static_cast<long>(length));
        const LJResult r = DecodeResult(prefix);
        // Cut right after its entropy data the stream ended inside the scan;
        // cut elsewhere it runs out of data (or, inside the tables, can no
        // longer hold the frame it announced).
        if (length == good.size() - 2)
            EXPECT_EQ(r, LJResult::TruncatedScan);
        else
            EXPECT_TRUE(r == LJResult::DataError || r == LJResult::BadFrame) << static_cast<int>(r);
    }
}

TEST(LosslessJpegDecode, RandomlyDamagedStreamsNeverReadOutOfBounds)
{
    // Under the sanitizers: any damage ends in a result code, never in a
    // read outside the block; a success still fills the whole frame.
    const std::vector<std::uint16_t> samples = SkewedSamples(20, 10, 3, 16, 17);
    LosslessJpegOptions three;
    three.components = 3;
    three.predictor = 4;
    three.restartLines = 4;
    const Bytes good = EncodeLosslessJpeg(samples, 20, 10, three);
    std::mt19937 rng(2024);
    CLJDecoder decoder;
    LJImage image;
    for (int round = 0; round < 3000; ++round)
    {
        Bytes damaged = good;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e)
            damaged[rng() % damaged.size()] = static_cast<std::uint8_t>(rng());
        if (rng() % 4 == 0)
            damaged.resize(rng() % damaged.size());
        // An exact-size heap copy, so that ASan sees any read past the end.
        std::vector<std::uint8_t> exact(damaged);
        exact.shrink_to_fit();
        const bool ok = decoder.Decode(exact.data(), exact.size(), image);
        if (ok)
        {
            EXPECT_EQ(image.samples.size(),
                      std::size_t{image.width} * image.height * image.components);
        }
        else
        {
            EXPECT_NE(image.resultCode, LJResult::Ok);
        }
    }
}
