// Colour-conversion LUT files: splitting lines into fields, reading the grid
// of output colours, refusing unusable files with a reason, the lut16Type
// element, the device link built from a file, and LittleCMS applying it.

#include "core/LutFile.h"
#include "core/ColorProfile.h"
#include "tests/core/CoreTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <lcms2.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using testsupport::TempDir;
using testsupport::WriteTextFile;
using Bytes = std::vector<std::uint8_t>;

using coretest::Get16;
using coretest::Get32;
using coretest::GridValue;

using Rgb = std::array<int, 3>;
// A LUT as a function of the 8-bit input colour.
using LutFunction = std::function<Rgb(const Rgb&)>;

Rgb Identity(const Rgb& c)
{
    return c;
}

Rgb SwapRedBlue(const Rgb& c)
{
    return {c[2], c[1], c[0]};
}

Rgb Invert(const Rgb& c)
{
    return {255 - c[0], 255 - c[1], 255 - c[2]};
}

std::uint32_t Pack(const Rgb& c)
{
    return static_cast<std::uint32_t>(c[0]) | static_cast<std::uint32_t>(c[1]) << 8 |
           static_cast<std::uint32_t>(c[2]) << 16;
}

Rgb GridPoint(std::size_t k)
{
    return {GridValue(k / 289), GridValue((k / 17) % 17), GridValue(k % 17)};
}

// The lines of a LUT file: the header, then the 4913 grid points in table
// order with the function's outputs. Line n of the file is lines[n - 1].
std::vector<std::string> LutLines(const LutFunction& lut)
{
    std::vector<std::string> lines{"R_in,G_in,B_in,R_out,G_out,B_out"};
    for (std::size_t k = 0; k < kLutGridCount; ++k)
    {
        const Rgb in = GridPoint(k);
        const Rgb out = lut(in);
        lines.push_back(std::to_string(in[0]) + "," + std::to_string(in[1]) + "," +
                        std::to_string(in[2]) + "," + std::to_string(out[0]) + "," +
                        std::to_string(out[1]) + "," + std::to_string(out[2]));
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines, const std::string& lineEnd = "\n")
{
    std::string text;
    for (const std::string& line : lines)
        text += line + lineEnd;
    return text;
}

std::vector<std::uint32_t> ExpectedColours(const LutFunction& lut)
{
    std::vector<std::uint32_t> colours;
    for (std::size_t k = 0; k < kLutGridCount; ++k)
        colours.push_back(Pack(lut(GridPoint(k))));
    return colours;
}

std::vector<std::string> ReadAllFields(CCSVFile& file)
{
    std::vector<std::string> fields;
    EXPECT_TRUE(file.ReadFields(fields));
    return fields;
}

struct TransformDeleter
{
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using TransformPtr = std::unique_ptr<void, TransformDeleter>;

class LutFileTest : public ::testing::Test
{
protected:
    std::string Write(const std::string& name, const std::string& text)
    {
        const std::string path = m_dir.File(name);
        WriteTextFile(path, text);
        return path;
    }

    TempDir m_dir;
};

} // namespace

// ---------------------------------------------------------------- CCSVFile

TEST(CsvSplitLine, FieldsAreTheTextBetweenSeparatorsAsItStands)
{
    struct Case
    {
        char separator;
        const char* line;
        std::vector<std::string> fields;
    };
    const Case cases[] = {
        {',', "a,,b", {"a", "", "b"}},
        {',', "a,b,", {"a", "b", ""}},
        {',', "", {""}},
        {',', ",", {"", ""}},
        {',', "abc", {"abc"}},
        {',', " a , b ", {" a ", " b "}},        // no trimming
        {',', "\"a,b\",c", {"\"a", "b\"", "c"}}, // no quoting
        {';', "a;b,c", {"a", "b,c"}},
    };
    for (const Case& c : cases)
    {
        const CCSVFile file(c.separator);
        std::vector<std::string> fields{"kept"};
        file.SplitLine(c.line, fields);
        std::vector<std::string> expected{"kept"};
        expected.insert(expected.end(), c.fields.begin(), c.fields.end());
        EXPECT_EQ(fields, expected) << '"' << c.line << '"';
    }
}

TEST(CsvFile, ReadsLinesEndingInLfOrCrLfAndDropsALeadingByteOrderMark)
{
    TempDir dir;
    const std::string path = dir.File("lines.csv");
    // Byte-order mark on line 1 only; a lone CR inside a line is text; the
    // last line has no line end.
    WriteTextFile(path, "\xEF\xBB\xBFh1,h2\r\na,b\n\n\xEF\xBB\xBFx\r\nc\rd,e\nlast");
    CCSVFile file;
    ASSERT_TRUE(file.Open(path));
    const std::vector<std::vector<std::string>> expected = {
        {"h1", "h2"}, {"a", "b"}, {""}, {"\xEF\xBB\xBFx"}, {"c\rd", "e"}, {"last"}};
    for (std::size_t n = 0; n < expected.size(); ++n)
    {
        EXPECT_EQ(ReadAllFields(file), expected[n]) << "line " << n + 1;
        EXPECT_EQ(file.GetLineNumber(), n + 1);
    }
    std::vector<std::string> fields{"untouched"};
    EXPECT_FALSE(file.ReadFields(fields));
    EXPECT_EQ(fields, std::vector<std::string>{"untouched"});
    EXPECT_FALSE(file.HasReadError());
    std::string line = "untouched";
    EXPECT_FALSE(file.ReadString(line));
    EXPECT_EQ(line, "untouched");
}

TEST(CsvFile, ReopeningStartsAgainAtLineOne)
{
    TempDir dir;
    const std::string path = dir.File("two.csv");
    WriteTextFile(path, "1\n2\n");
    CCSVFile file;
    ASSERT_TRUE(file.Open(path));
    std::string line;
    ASSERT_TRUE(file.ReadString(line));
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_FALSE(file.ReadString(line));
    ASSERT_TRUE(file.Open(path));
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line, "1");
    EXPECT_EQ(file.GetLineNumber(), 1u);
}

TEST(CsvFile, MissingFilesAndFoldersDoNotOpen)
{
    TempDir dir;
    std::filesystem::create_directory(dir.File("folder.csv"));
    CCSVFile file;
    EXPECT_FALSE(file.Open(dir.File("missing.csv")));
    EXPECT_FALSE(file.Open(dir.File("folder.csv")));
    EXPECT_FALSE(file.Open(""));
    EXPECT_FALSE(file.IsOpen());
    std::vector<std::string> fields;
    EXPECT_FALSE(file.ReadFields(fields));
    EXPECT_TRUE(fields.empty());
}

// ------------------------------------------------------ reading LUT files

TEST_F(LutFileTest, IdentityFileGivesTheGridInFileOrder)
{
    const std::string path = Write("identity.csv", Join(LutLines(Identity)));
    std::vector<std::uint32_t> colours;
    std::string error;
    ASSERT_TRUE(ReadLUTColours(path, colours, &error)) << error;
    EXPECT_EQ(colours, ExpectedColours(Identity));
    // Spot checks of the order: red varies slowest, blue fastest.
    EXPECT_EQ(colours[1], 0x00100000u);   // blue index 1: 16
    EXPECT_EQ(colours[17], 0x00001000u);  // green index 1
    EXPECT_EQ(colours[289], 0x00000010u); // red index 1
    EXPECT_EQ(colours[kLutGridCount - 1], 0x00FFFFFFu);
}

TEST_F(LutFileTest, CrLfLineEndsAndAByteOrderMarkReadLikeLf)
{
    const std::string path =
        Write("crlf.csv", "\xEF\xBB\xBF" + Join(LutLines(SwapRedBlue), "\r\n"));
    std::vector<std::uint32_t> colours;
    std::string error;
    ASSERT_TRUE(ReadLUTColours(path, colours, &error)) << error;
    EXPECT_EQ(colours, ExpectedColours(SwapRedBlue));
}

TEST_F(LutFileTest, OutputFieldsAreReadAsDecimalIntegersAndInputFieldsAreIgnored)
{
    struct Case
    {
        const char* field;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"255", 255},  {"0", 0},   {" 12", 12}, {"\t7", 7},     {"+7", 7}, {"007", 7},
        {"12abc", 12}, {"1.9", 1}, {"1 2", 1},  {"abc", 0},     {"", 0},   {"-0", 0},
        {"0x1F", 0},   {"+", 0},   {"- 5", 0},  {" 255 ", 255},
    };
    std::vector<std::string> lines = LutLines(Identity);
    // Grid point k is file line k + 2 (lines[k + 1]).
    for (std::size_t i = 0; i < std::size(cases); ++i)
        lines[1 + 100 * i] = std::string("x,y,z,") + cases[i].field + ",0,0";
    // The example of the design: outputs 255, 128, 0.
    constexpr std::size_t kExample = 4000;
    lines[1 + kExample] = "1,2,3,255,128,0";
    const std::string path = Write("values.csv", Join(lines));

    std::vector<std::uint32_t> colours;
    std::string error;
    ASSERT_TRUE(ReadLUTColours(path, colours, &error)) << error;
    ASSERT_EQ(colours.size(), kLutGridCount);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(colours[100 * i], cases[i].value) << '"' << cases[i].field << '"';
    EXPECT_EQ(colours[kExample], 0x000080FFu);
}

TEST_F(LutFileTest, LinesWithAnotherNumberOfFieldsArePassedBy)
{
    std::vector<std::string> lines = LutLines(Invert);
    const std::vector<std::string> strays = {"9,9,9,9,9", "9,9,9,9,9,9,9", "", "9", ",,,,,,"};
    // Before the first grid point, in the middle and after the last one.
    for (const std::size_t at : {lines.size(), std::size_t{2000}, std::size_t{1}})
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), strays.begin(), strays.end());
    const std::string path = Write("strays.csv", Join(lines));
    std::vector<std::uint32_t> colours;
    std::string error;
    ASSERT_TRUE(ReadLUTColours(path, colours, &error)) << error;
    EXPECT_EQ(colours, ExpectedColours(Invert));
}

TEST_F(LutFileTest, UnusableFilesAreRefusedWithAReason)
{
    const std::vector<std::string> good = LutLines(Identity);
    struct Case
    {
        const char* name;
        std::function<void(std::vector<std::string>&)> edit; // null: no file
        std::string reason;                                  // after the path
    };
    const auto setOutput = [](std::vector<std::string>& lines, std::size_t line,
                              const std::string& outputs) { lines[line - 1] = "0,0,0," + outputs; };
    const Case cases[] = {
        {"missing.csv", nullptr, ": cannot be opened"},
        {"empty.csv", [](auto& l) { l.clear(); }, ": the file is empty"},
        {"blank.csv", [](auto& l) { l = {""}; }, ": line 1: the header needs 6 fields, not 1"},
        {"header5.csv", [](auto& l) { l[0] = "a,b,c,d,e"; },
         ": line 1: the header needs 6 fields, not 5"},
        {"header7.csv", [](auto& l) { l[0] += ",g"; },
         ": line 1: the header needs 6 fields, not 7"},
        {"short.csv", [](auto& l) { l.pop_back(); },
         ": 4913 grid points (17 x 17 x 17) are needed, not 4912"},
        {"long.csv", [](auto& l) { l.push_back(l.back()); },
         ": 4913 grid points (17 x 17 x 17) are needed, not 4914"},
        {"above.csv", [&](auto& l) { setOutput(l, 17, "0,256,0"); },
         ": line 17: output value 256 is outside 0..255"},
        {"below.csv", [&](auto& l) { setOutput(l, 2, "-1,0,0"); },
         ": line 2: output value -1 is outside 0..255"},
        {"huge.csv", [&](auto& l) { setOutput(l, 4914, "0,0, 99999999999999999999999x"); },
         ": line 4914: output value 99999999999999999999999 is outside 0..255"},
        // Lines passed by still count in the line number.
        {"counted.csv",
         [&](auto& l) {
             setOutput(l, 20, "0,0,300");
             l.insert(l.begin() + 5, "stray");
         },
         ": line 21: output value 300 is outside 0..255"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir.File(c.name);
        if (c.edit)
        {
            std::vector<std::string> lines = good;
            c.edit(lines);
            WriteTextFile(path, Join(lines));
        }
        std::vector<std::uint32_t> colours{1, 2, 3};
        std::string error;
        EXPECT_FALSE(ReadLUTColours(path, colours, &error));
        EXPECT_TRUE(colours.empty());
        EXPECT_EQ(error, path + c.reason);
        // Without a place for the reason the result is the same.
        EXPECT_FALSE(ReadLUTColours(path, colours, nullptr));
        CColorProfile profile;
        EXPECT_FALSE(profile.LoadLUTFromCSV(path));
    }
}

TEST_F(LutFileTest, AFolderNamedLikeALutFileIsRefused)
{
    const std::string path = m_dir.File("folder.csv");
    std::filesystem::create_directory(path);
    std::vector<std::uint32_t> colours;
    std::string error;
    EXPECT_FALSE(ReadLUTColours(path, colours, &error));
    EXPECT_EQ(error, path + ": cannot be opened");
}

// ------------------------------------------------------ the 'A2B0' element

TEST(LutTag, OnlyAFullGridIsWrittenAndOnlyIntoAWritableProfile)
{
    for (const std::size_t size : {std::size_t{0}, kLutGridCount - 1, kLutGridCount + 1})
    {
        CColorProfile profile;
        ASSERT_TRUE(profile.CreateInMemory());
        const std::vector<std::uint32_t> colours(size, 0x00808080u);
        EXPECT_FALSE(profile.SetLUTTag(colours)) << size;
        Bytes element;
        EXPECT_FALSE(profile.GetTagElement(IccSignature("A2B0"), element)) << size;
    }
    CColorProfile closed;
    const std::vector<std::uint32_t> colours(kLutGridCount, 0);
    EXPECT_FALSE(closed.SetLUTTag(colours));
}

TEST(LutTag, ElementHasTheLut16LayoutWithTheColoursInTheClut)
{
    std::vector<std::uint32_t> colours(kLutGridCount);
    for (std::size_t k = 0; k < kLutGridCount; ++k)
        colours[k] = static_cast<std::uint32_t>((k * 7) & 0xFF) |
                     static_cast<std::uint32_t>((k * 13) & 0xFF) << 8 |
                     static_cast<std::uint32_t>((k * 29) & 0xFF) << 16;
    constexpr std::size_t kExample = 1234;
    colours[kExample] = 0x000080FF;

    CColorProfile profile;
    ASSERT_TRUE(profile.CreateInMemory());
    ASSERT_TRUE(profile.SetLUTTag(colours));
    Bytes e;
    ASSERT_TRUE(profile.GetTagElement(IccSignature("A2B0"), e));
    ASSERT_EQ(e.size(), 32602u);

    EXPECT_EQ(Get32(e, 0), IccSignature("mft2"));
    EXPECT_EQ(Get32(e, 4), 0u);
    EXPECT_EQ(e[8], 3);
    EXPECT_EQ(e[9], 3);
    EXPECT_EQ(e[10], 17);
    EXPECT_EQ(e[11], 0);
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_EQ(Get32(e, 12 + 4 * i), i % 4 == 0 ? 0x00010000u : 0u) << "matrix " << i;
    EXPECT_EQ(Get16(e, 48), 256);
    EXPECT_EQ(Get16(e, 50), 256);
    for (std::size_t channel = 0; channel < 3; ++channel)
    {
        for (std::size_t i = 0; i < 256; ++i)
        {
            EXPECT_EQ(Get16(e, 52 + 512 * channel + 2 * i), i * 257) << channel << " " << i;
            EXPECT_EQ(Get16(e, 31066 + 512 * channel + 2 * i), i * 257) << channel << " " << i;
        }
    }
    for (std::size_t k = 0; k < kLutGridCount; ++k)
    {
        const std::size_t at = 1588 + 6 * k;
        ASSERT_EQ(Get16(e, at), (colours[k] & 0xFF) * 257) << k;
        ASSERT_EQ(Get16(e, at + 2), ((colours[k] >> 8) & 0xFF) * 257) << k;
        ASSERT_EQ(Get16(e, at + 4), ((colours[k] >> 16) & 0xFF) * 257) << k;
    }
    EXPECT_EQ(Get16(e, 1588 + 6 * kExample), 0xFFFF);
    EXPECT_EQ(Get16(e, 1588 + 6 * kExample + 2), 0x8080);
    EXPECT_EQ(Get16(e, 1588 + 6 * kExample + 4), 0x0000);
}

// ------------------------------------------------------ the device link

TEST_F(LutFileTest, DeviceLinkHasTheDesignedHeaderAndTagsInOrder)
{
    const std::string path = Write("swap.csv", Join(LutLines(SwapRedBlue)));
    CColorProfile profile;
    std::string error;
    ASSERT_TRUE(profile.LoadLUTFromCSV(path, &error)) << error;
    EXPECT_EQ(profile.GetName(), path);

    Bytes bytes;
    ASSERT_TRUE(profile.GetProfileBytes(bytes));
    ASSERT_GE(bytes.size(), 132u);
    EXPECT_EQ(Get32(bytes, 0), bytes.size());
    EXPECT_EQ(Get32(bytes, 4), IccSignature("MSFT"));
    EXPECT_EQ(Get32(bytes, 8), 0x02100000u);
    EXPECT_EQ(Get32(bytes, 12), IccSignature("link"));
    EXPECT_EQ(Get32(bytes, 16), IccSignature("RGB "));
    EXPECT_EQ(Get32(bytes, 20), IccSignature("RGB "));
    EXPECT_EQ(Get32(bytes, 36), IccSignature("acsp"));
    EXPECT_EQ(Get32(bytes, 40), IccSignature("MSFT"));
    EXPECT_EQ(Get32(bytes, 68), 0xF6D6u);
    EXPECT_EQ(Get32(bytes, 72), 0x10000u);
    EXPECT_EQ(Get32(bytes, 76), 0xD32Du);

    struct Tag
    {
        const char* signature;
        std::uint32_t size;
    };
    const Tag tags[] = {{"desc", 105}, {"cprt", 18},    {"dmnd", 95},
                        {"dmdd", 95},  {"A2B0", 32602}, {"pseq", 308}};
    ASSERT_EQ(Get32(bytes, 128), std::size(tags));
    for (std::size_t i = 0; i < std::size(tags); ++i)
    {
        const std::size_t entry = 132 + 12 * i;
        ASSERT_LE(entry + 12, bytes.size());
        EXPECT_EQ(Get32(bytes, entry), IccSignature(tags[i].signature)) << i;
        EXPECT_EQ(Get32(bytes, entry + 8), tags[i].size) << tags[i].signature;
    }

    Bytes desc;
    ASSERT_TRUE(profile.GetTagElement(IccSignature("desc"), desc));
    ASSERT_EQ(desc.size(), 105u);
    EXPECT_EQ(Get32(desc, 8), 15u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(desc.data()) + 12), "3D-LUT profile");
    std::string description;
    EXPECT_TRUE(profile.GetDescription(description));
    EXPECT_EQ(description, "3D-LUT profile");

    // The 'A2B0' element is the LUT tag of the file's colours.
    std::vector<std::uint32_t> colours;
    ASSERT_TRUE(ReadLUTColours(path, colours));
    CColorProfile reference;
    ASSERT_TRUE(reference.CreateInMemory());
    ASSERT_TRUE(reference.SetLUTTag(colours));
    Bytes expected;
    Bytes actual;
    ASSERT_TRUE(reference.GetTagElement(IccSignature("A2B0"), expected));
    ASSERT_TRUE(profile.GetTagElement(IccSignature("A2B0"), actual));
    EXPECT_EQ(actual, expected);
}

TEST_F(LutFileTest, AFailedLoadLeavesTheProfileAsItWas)
{
    std::vector<std::string> lines = LutLines(Identity);
    lines[16] = "0,0,0,0,256,0";
    const std::string bad = Write("bad.csv", Join(lines));

    CColorProfile profile;
    ASSERT_TRUE(profile.CreateInMemory("before"));
    ASSERT_TRUE(profile.SetCopyrightTag("kept"));
    std::string error;
    EXPECT_FALSE(profile.LoadLUTFromCSV(bad, &error));
    EXPECT_EQ(error, bad + ": line 17: output value 256 is outside 0..255");
    EXPECT_TRUE(profile.IsWritable());
    EXPECT_EQ(profile.GetName(), "before");
    Bytes element;
    EXPECT_TRUE(profile.GetTagElement(IccSignature("cprt"), element));
    EXPECT_FALSE(profile.GetTagElement(IccSignature("A2B0"), element));

    // A good file then replaces whatever the profile held.
    const std::string good = Write("good.csv", Join(LutLines(Identity)));
    ASSERT_TRUE(profile.LoadLUTFromCSV(good, &error)) << error;
    EXPECT_EQ(profile.GetName(), good);
    ASSERT_TRUE(profile.GetTagElement(IccSignature("cprt"), element));
    EXPECT_EQ(std::string(element.begin() + 8, element.end() - 1), "Copyright");
}

// The transform the converter makes: the one device link, perceptual
// intent, 16-bit RGB in and out. On 8-bit inputs it reproduces the LUT's
// function within one 8-bit step (the grid values are rounded to 8 bits and
// interpolated between the 17 points).
struct TransformCase
{
    const char* name;
    LutFunction lut;
};

class LutTransformTest : public LutFileTest, public ::testing::WithParamInterface<TransformCase>
{};

TEST_P(LutTransformTest, LittleCmsAppliesTheLutWithinOneStep)
{
    const TransformCase& c = GetParam();
    const std::string path = Write(std::string(c.name) + ".csv", Join(LutLines(c.lut)));
    CColorProfile profile;
    std::string error;
    ASSERT_TRUE(profile.LoadLUTFromCSV(path, &error)) << error;
    LcmsProfilePtr link = profile.OpenLcmsProfile();
    ASSERT_TRUE(link);
    EXPECT_EQ(cmsGetDeviceClass(link.get()), cmsSigLinkClass);
    cmsHPROFILE profiles[1] = {link.get()};
    TransformPtr transform(cmsCreateMultiprofileTransform(profiles, 1, TYPE_RGB_16, TYPE_RGB_16,
                                                          INTENT_PERCEPTUAL, 0));
    ASSERT_TRUE(transform);

    // A lattice through the whole cube (every 15th value, both ends
    // included), the grid points themselves and random colours.
    std::vector<Rgb> inputs;
    for (int r = 0; r <= 255; r += 15)
        for (int g = 0; g <= 255; g += 15)
            for (int b = 0; b <= 255; b += 15)
                inputs.push_back({r, g, b});
    for (std::size_t k = 0; k < kLutGridCount; k += 7)
        inputs.push_back(GridPoint(k));
    std::mt19937 random(42);
    std::uniform_int_distribution<int> channel(0, 255);
    for (int i = 0; i < 2000; ++i)
        inputs.push_back({channel(random), channel(random), channel(random)});

    std::vector<std::uint16_t> in;
    for (const Rgb& rgb : inputs)
        for (const int v : rgb)
            in.push_back(static_cast<std::uint16_t>(v * 257));
    std::vector<std::uint16_t> out(in.size());
    cmsDoTransform(transform.get(), in.data(), out.data(),
                   static_cast<cmsUInt32Number>(inputs.size()));

    int worst = 0;
    for (std::size_t i = 0; i < inputs.size(); ++i)
    {
        const Rgb expected = c.lut(inputs[i]);
        for (std::size_t ch = 0; ch < 3; ++ch)
        {
            const int difference = std::abs(int{out[3 * i + ch]} - expected[ch] * 257);
            worst = std::max(worst, difference);
            ASSERT_LE(difference, 257) << "input " << inputs[i][0] << "," << inputs[i][1] << ","
                                       << inputs[i][2] << " channel " << ch;
        }
    }
    RecordProperty("worst16", worst);
}

INSTANTIATE_TEST_SUITE_P(Luts, LutTransformTest,
                         ::testing::Values(TransformCase{"identity", Identity},
                                           TransformCase{"swapRedBlue", SwapRedBlue},
                                           TransformCase{"invert", Invert}),
                         [](const ::testing::TestParamInfo<TransformCase>& info) {
                             return std::string(info.param.name);
                         });
