// The DNG reader on files made by our own builder: the values it takes from
// a good file, the same values from the big-endian twin, one broken file a
// check (each with the error code it must give), the odd-but-valid files it
// must accept, the colour matrices it hands on, and dcraw as an outside
// check that the builder writes what it claims.

#include "imagefile/DNGFile.h"

#include "imagefile/DNGTranspose.h"
#include "tests/support/DngBuilder.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using testsupport::DngBuilder;
using testsupport::DngRecipe;
using testsupport::DngStorage;
using testsupport::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

bool OpenBytes(const Bytes& bytes, CDNGFile& file, const TempDir& dir)
{
    const std::string path = dir.File("test.dng");
    EXPECT_TRUE(DngBuilder::WriteBytes(path, bytes));
    return file.Open(path);
}

bool OpenBuilt(const DngBuilder& builder, CDNGFile& file, const TempDir& dir)
{
    return OpenBytes(builder.Build(), file, dir);
}

void ExpectMatrixNear(const CStdMatrix& a, const CStdMatrix& b, double tolerance)
{
    ASSERT_EQ(a.GetRows(), b.GetRows());
    ASSERT_EQ(a.GetCols(), b.GetCols());
    for (std::uint32_t r = 0; r < a.GetRows(); ++r)
        for (std::uint32_t c = 0; c < a.GetCols(); ++c)
            EXPECT_NEAR(a.GetAt(r, c), b.GetAt(r, c), tolerance) << r << "," << c;
}

void ExpectSameTags(const DngImageTags& a, const DngImageTags& b)
{
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.orientation, b.orientation);
    ExpectMatrixNear(a.colorMatrix1, b.colorMatrix1, 0.0);
    ExpectMatrixNear(a.colorMatrix2, b.colorMatrix2, 0.0);
    ExpectMatrixNear(a.cameraCalibration1, b.cameraCalibration1, 0.0);
    ExpectMatrixNear(a.cameraCalibration2, b.cameraCalibration2, 0.0);
    ExpectMatrixNear(a.analogBalance, b.analogBalance, 0.0);
    EXPECT_EQ(a.asShotNeutral, b.asShotNeutral);
    EXPECT_EQ(a.asShotWhiteXY, b.asShotWhiteXY);
    EXPECT_EQ(a.baselineExposure, b.baselineExposure);
    EXPECT_EQ(a.baselineNoise, b.baselineNoise);
    EXPECT_EQ(a.baselineSharpness, b.baselineSharpness);
    EXPECT_EQ(a.linearResponseLimit, b.linearResponseLimit);
    EXPECT_EQ(a.cameraSerialNumber, b.cameraSerialNumber);
    EXPECT_EQ(a.lensInfo, b.lensInfo);
    EXPECT_EQ(a.shadowScale, b.shadowScale);
    EXPECT_EQ(a.calibrationIlluminant1, b.calibrationIlluminant1);
    EXPECT_EQ(a.calibrationIlluminant2, b.calibrationIlluminant2);
    EXPECT_EQ(a.shutterSpeedValue, b.shutterSpeedValue);
    EXPECT_EQ(a.apertureValue, b.apertureValue);
}

// A builder whose file has every optional raw tag the checks look at, so
// that a mutation of any of them has something to break.
DngBuilder FullBuilder(DngRecipe recipe = {})
{
    DngBuilder b(std::move(recipe));
    b.Raw()
        .Longs(50829, {2, 2, 30, 46}) // ActiveArea: top, left, bottom, right
        .Shorts(50713, {2, 2})        // BlackLevelRepeatDim
        .Rationals(50714, {{64, 1}, {65, 1}, {66, 1}, {67, 2}})
        .SRationals(50715, std::vector<std::pair<std::int64_t, std::int64_t>>(44, {-1, 2}))
        .SRationals(50716, std::vector<std::pair<std::int64_t, std::int64_t>>(28, {3, 4}))
        .Shorts(50712, {0, 10, 20, 30})
        .Rationals(50719, {{2, 1}, {3, 1}})
        .Rationals(50720, {{40, 1}, {24, 1}})
        .Rationals(50738, {{1, 1}})
        .Rationals(50780, {{1, 1}});
    return b;
}

} // namespace

TEST(TiffTypeSize, IsTheTiffFieldSize)
{
    const unsigned expected[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 0, 0};
    for (int type = 0; type < 15; ++type)
        EXPECT_EQ(TiffTypeSize(type), expected[type]) << "type " << type;
    EXPECT_EQ(TiffTypeSize(-1), 0u);
}

TEST(DNGFileOpen, ReadsTheValuesOfAGoodFile)
{
    TempDir dir;
    DngBuilder b = FullBuilder();
    b.Ifd0().Shorts(274, {6});
    CDNGFile f;
    ASSERT_TRUE(OpenBuilt(b, f, dir)) << static_cast<int>(f.GetErrorCode());
    EXPECT_EQ(f.GetErrorCode(), DngErrorCode::None);
    EXPECT_EQ(f.GetPath(), dir.File("test.dng"));
    EXPECT_EQ(f.GetFileByteOrder(), CDNGFile::kFileOrderII);
    EXPECT_FALSE(f.IsSwapped());

    const DngImageTags& t = f.GetImageTags();
    EXPECT_EQ(t.width, 16u);
    EXPECT_EQ(t.height, 12u);
    EXPECT_EQ(t.orientation, 6);
    EXPECT_DOUBLE_EQ(t.colorMatrix1.GetAt(0, 0), 0.6722);
    EXPECT_DOUBLE_EQ(t.colorMatrix1.GetAt(0, 1), -0.0635);
    EXPECT_DOUBLE_EQ(t.colorMatrix2.GetAt(2, 2), 0.6447);
    ExpectMatrixNear(t.cameraCalibration1, CStdMatrix::Identity(3), 0.0);
    ExpectMatrixNear(t.analogBalance, CStdMatrix::Identity(3), 0.0);
    ASSERT_EQ(t.asShotNeutral.size(), 3u);
    EXPECT_DOUBLE_EQ(t.asShotNeutral[0], 0.473);
    EXPECT_DOUBLE_EQ(t.asShotNeutral[1], 1.0);
    EXPECT_DOUBLE_EQ(t.asShotNeutral[2], 0.651);
    EXPECT_TRUE(t.asShotWhiteXY.empty());
    EXPECT_DOUBLE_EQ(t.baselineExposure, 0.5);
    EXPECT_EQ(t.baselineNoise, 1.0);
    EXPECT_EQ(t.cameraSerialNumber, "SN-0042");
    EXPECT_EQ(t.lensInfo, (std::vector<double>{24, 70, 2.8, 2.8}));
    EXPECT_EQ(t.calibrationIlluminant1, 17);
    EXPECT_EQ(t.calibrationIlluminant2, 21);
    EXPECT_EQ(t.shutterSpeedValue, 7.0);
    EXPECT_EQ(t.apertureValue, 6.0);

    const DngRawLayout& r = f.GetRawLayout();
    EXPECT_EQ(r.rawWidth, 48u);
    EXPECT_EQ(r.rawHeight, 32u);
    EXPECT_EQ((std::vector<std::uint32_t>{r.top, r.left, r.bottom, r.right}),
              (std::vector<std::uint32_t>{2, 2, 30, 46}));
    EXPECT_EQ(r.samplesPerPixel, 1);
    EXPECT_EQ(r.bitsPerSample, 16);
    EXPECT_EQ(r.compression, 1);
    EXPECT_EQ(r.photometric, 32803);
    EXPECT_EQ(r.rowsPerStrip, 32u);
    EXPECT_EQ(r.stripOffsets.size(), 1u);
    EXPECT_EQ(r.stripByteCounts, std::vector<std::uint32_t>{48 * 32 * 2});
    EXPECT_EQ(r.cfaPattern.GetCells(), (std::vector<std::uint8_t>{0, 1, 1, 2}));
    EXPECT_EQ(r.linearization, (std::vector<std::uint16_t>{0, 10, 20, 30}));
    EXPECT_EQ(r.blackRepeatRows, 2);
    EXPECT_EQ(r.blackRepeatColumns, 2);
    EXPECT_EQ(r.blackLevels, (std::vector<double>{64, 65, 66, 33.5}));
    EXPECT_EQ(r.blackDeltaH, std::vector<double>(44, -0.5));
    EXPECT_EQ(r.blackDeltaV, std::vector<double>(28, 0.75));
    EXPECT_EQ(r.whiteLevels, std::vector<std::uint32_t>{65535});
    EXPECT_EQ(r.cropOriginH, 2.0);
    EXPECT_EQ(r.cropOriginV, 3.0);
    EXPECT_EQ(r.cropSizeH, 40.0);
    EXPECT_EQ(r.cropSizeV, 24.0);

    // Orientation 6 turns the image a quarter: width and height exchange.
    EXPECT_EQ(f.GetOutputWidth(), 40u);
    EXPECT_EQ(f.GetOutputHeight(), 24u);
    EXPECT_EQ(f.GetImageWidth(), 24u);
    EXPECT_EQ(f.GetImageHeight(), 40u);

    // Every IFD is parsed: IFD0, the raw sub-IFD and the EXIF IFD.
    ASSERT_EQ(f.GetMainIfds().size(), 1u);
    ASSERT_EQ(f.GetSubIfds().size(), 1u);
    ASSERT_EQ(f.GetExifIfds().size(), 1u);
    EXPECT_EQ(f.GetMainIfds()[0].Make, std::string("Quillbrake\0", 11));
    EXPECT_EQ(f.GetExifIfds()[0].ISOSpeedRatings, std::vector<std::uint16_t>{100});
    EXPECT_EQ(f.GetExifIfds()[0].ExposureTime, (std::vector<DngRational>{{1, 125}}));
}

TEST(DNGFileOpen, BigEndianTwinReadsTheSameValues)
{
    for (const DngStorage storage :
         {DngStorage::Strips16, DngStorage::Strips12, DngStorage::LosslessTiles})
    {
        TempDir dir;
        DngRecipe recipe;
        recipe.storage = storage;
        DngBuilder little = FullBuilder(recipe);
        recipe.bigEndian = true;
        DngBuilder big = FullBuilder(recipe);
        for (DngBuilder* b : {&little, &big})
        {
            // Values that differ in every byte, so a half-swapped word shows.
            b->Ifd0().Rationals(50729, {{0x01020304, 0x05060708}, {0x1112, 0x1314}});
            b->Ifd0().Remove(50728);
            b->Ifd0().SRationals(50730, {{-0x01020304, 0x05060708}});
        }

        CDNGFile a, c;
        ASSERT_TRUE(OpenBuilt(little, a, dir));
        ASSERT_TRUE(OpenBuilt(big, c, dir));
        EXPECT_EQ(c.GetFileByteOrder(), CDNGFile::kFileOrderMM);
        EXPECT_NE(a.IsSwapped(), c.IsSwapped());
        EXPECT_TRUE(a.GetRawLayout() == c.GetRawLayout()) << static_cast<int>(storage);
        ExpectSameTags(a.GetImageTags(), c.GetImageTags());
        EXPECT_DOUBLE_EQ(c.GetImageTags().asShotWhiteXY[0], double(0x01020304) / 0x05060708);
        EXPECT_DOUBLE_EQ(c.GetImageTags().baselineExposure, -double(0x01020304) / 0x05060708);
        EXPECT_EQ(a.GetExifIfds()[0].DateTimeOriginal, c.GetExifIfds()[0].DateTimeOriginal);
    }
}

namespace {

struct BrokenCase
{
    const char* name;
    std::function<void(DngBuilder&)> mutate;
    DngErrorCode expected;
    // Applied to the written bytes (offsets of the IFDs given).
    std::function<void(Bytes&, const std::vector<std::uint32_t>&)> patch = nullptr;
    DngRecipe recipe{};
};

using Pair = std::pair<std::int64_t, std::int64_t>;

std::vector<BrokenCase> BrokenCases()
{
    const auto none = [](DngBuilder&) {};
    const DngErrorCode tag = DngErrorCode::BadTag;
    DngRecipe tiles;
    tiles.storage = DngStorage::LosslessTiles;
    DngRecipe twelve;
    twelve.storage = DngStorage::Strips12;
    DngRecipe linear;
    linear.samples = 3;
    DngRecipe tiny;
    tiny.minFileSize = 9999;
    tiny.width = 8;
    tiny.height = 8;

    return {
        {"file of 9999 bytes", none, DngErrorCode::FileTooSmall, nullptr, tiny},
        {"byte order IM", none, DngErrorCode::BadByteOrder,
         [](Bytes& b, const auto&) { b[1] = 'M'; }},
        {"magic 43", none, DngErrorCode::BadMagic, [](Bytes& b, const auto&) { b[2] = 43; }},
        {"first IFD at 4", [](DngBuilder& b) { b.Writer().firstIfdOffset = 4; },
         DngErrorCode::BadFirstIfd},
        {"first IFD past the end", [](DngBuilder& b) { b.Writer().firstIfdOffset = 0x7FFFFFF0; },
         DngErrorCode::BadFirstIfd},
        {"next IFD offset 7", [](DngBuilder& b) { b.Ifd0().nextOffset = 7; }, DngErrorCode::BadIfd},
        {"next IFD offset past the end", [](DngBuilder& b) { b.Ifd0().nextOffset = 0x00FFFFFF; },
         DngErrorCode::BadIfd},
        {"IFD with no entries", [](DngBuilder& b) { b.Exif().entries.clear(); },
         DngErrorCode::BadIfd},
        {"raw IFD chained to itself", [](DngBuilder& b) { b.Raw().next = b.RawId(); },
         DngErrorCode::BadIfd},
        {"EXIF IFD chained back to IFD0", [](DngBuilder& b) { b.Exif().next = b.Ifd0Id(); },
         DngErrorCode::BadIfd},
        {"IFD entries run past the end",
         // The EXIF pointer at a count of 0x7FFF entries near the end.
         [](DngBuilder& b) { b.Ifd0().At(34665).offset = 9990; }, DngErrorCode::ReadFailed,
         [](Bytes& b, const auto&) {
             b[9990] = 0xFF;
             b[9991] = 0x7F;
         }},
        {"no DNGVersion", [](DngBuilder& b) { b.Ifd0().Remove(50706); }, tag},
        {"DNGVersion of 3 bytes",
         [](DngBuilder& b) {
             b.Ifd0().Bytes(50706, {1, 4, 0});
         },
         tag},
        {"no UniqueCameraModel", [](DngBuilder& b) { b.Ifd0().Remove(50708); }, tag},
        {"empty UniqueCameraModel", [](DngBuilder& b) { b.Ifd0().Ascii(50708, ""); }, tag},
        {"IFD0 width 0", [](DngBuilder& b) { b.Ifd0().Longs(256, {0}); }, tag},
        {"ImageWidth as a rational",
         [](DngBuilder& b) {
             b.Ifd0().Rationals(256, {{16, 1}});
         },
         tag},
        {"orientation 9", [](DngBuilder& b) { b.Ifd0().Shorts(274, {9}); }, tag},
        {"orientation twice",
         [](DngBuilder& b) {
             b.Ifd0().Shorts(274, {1, 1});
         },
         tag},
        {"no ColorMatrix1", [](DngBuilder& b) { b.Ifd0().Remove(50721); }, tag},
        {"ColorMatrix1 of 8 values",
         [](DngBuilder& b) {
             b.Ifd0().SRationals(50721, std::vector<Pair>(8, {1, 1}));
         },
         tag},
        {"ColorMatrix1 unsigned type",
         [](DngBuilder& b) {
             b.Ifd0().Rationals(50721, std::vector<Pair>(9, {1, 1}));
         },
         tag},
        {"ColorMatrix1 zero denominator",
         [](DngBuilder& b) {
             std::vector<Pair> m(9, {1, 1});
             m[4] = {1, 0};
             b.Ifd0().SRationals(50721, m);
         },
         tag},
        {"ColorMatrix2 of 6 values",
         [](DngBuilder& b) {
             b.Ifd0().SRationals(50722, std::vector<Pair>(6, {1, 1}));
         },
         tag},
        {"CameraCalibration1 of 4 values",
         [](DngBuilder& b) {
             b.Ifd0().SRationals(50723, std::vector<Pair>(4, {1, 1}));
         },
         tag},
        {"AnalogBalance zero denominator",
         [](DngBuilder& b) {
             b.Ifd0().Rationals(50727, {{1, 1}, {1, 0}, {1, 1}});
         },
         tag},
        {"AsShotNeutral of 2 values",
         [](DngBuilder& b) {
             b.Ifd0().Rationals(50728, {{1, 1}, {1, 1}});
         },
         tag},
        {"AsShotNeutral zero numerator",
         [](DngBuilder& b) {
             b.Ifd0().Rationals(50728, {{1, 1}, {0, 1}, {1, 1}});
         },
         tag},
        {"AsShotNeutral and AsShotWhiteXY",
         [](DngBuilder& b) {
             b.Ifd0().Rationals(50729, {{3127, 10000}, {3290, 10000}});
         },
         tag},
        {"AsShotWhiteXY of 3 values",
         [](DngBuilder& b) {
             b.Ifd0().Remove(50728);
             b.Ifd0().Rationals(50729, {{1, 3}, {1, 3}, {1, 3}});
         },
         tag},
        {"no SubIFDs: raw image in IFD0", [](DngBuilder& b) { b.Ifd0().Remove(330); }, tag},
        {"raw IFD marked reduced", [](DngBuilder& b) { b.Raw().Longs(254, {1}); }, tag},
        {"raw NewSubFileType twice",
         [](DngBuilder& b) {
             b.Raw().Longs(254, {0, 0});
         },
         tag},
        {"raw width 0", [](DngBuilder& b) { b.Raw().Longs(256, {0}); }, tag},
        {"raw width above 65535", [](DngBuilder& b) { b.Raw().Longs(256, {70000}); }, tag},
        {"ActiveArea left = right",
         [](DngBuilder& b) {
             b.Raw().Longs(50829, {0, 5, 32, 5});
         },
         tag},
        {"ActiveArea bottom past the height",
         [](DngBuilder& b) {
             b.Raw().Longs(50829, {0, 0, 33, 48});
         },
         tag},
        {"ActiveArea of 3 values",
         [](DngBuilder& b) {
             b.Raw().Longs(50829, {0, 0, 32});
         },
         tag},
        {"SamplesPerPixel 2", [](DngBuilder& b) { b.Raw().Shorts(277, {2}); }, tag},
        {"BitsPerSample 14", [](DngBuilder& b) { b.Raw().Shorts(258, {14}); }, tag},
        {"BitsPerSample count 2",
         [](DngBuilder& b) {
             b.Raw().Shorts(258, {16, 16});
         },
         tag},
        {"no BitsPerSample", [](DngBuilder& b) { b.Raw().Remove(258); }, tag},
        {"mixed BitsPerSample",
         [](DngBuilder& b) {
             b.Raw().Shorts(258, {16, 16, 12});
         },
         tag, nullptr, linear},
        {"compression 8", [](DngBuilder& b) { b.Raw().Shorts(259, {8}); }, tag},
        {"photometric RGB", [](DngBuilder& b) { b.Raw().Shorts(262, {2}); }, tag},
        {"no photometric", [](DngBuilder& b) { b.Raw().Remove(262); }, tag},
        {"12 bits with lossless JPEG", [](DngBuilder& b) { b.Raw().Shorts(259, {7}); }, tag,
         nullptr, twelve},
        {"12 bits LinearRaw",
         [](DngBuilder& b) {
             b.Raw().Shorts(262, {34892});
             b.Raw().Shorts(277, {3}).Shorts(258, {12, 12, 12});
         },
         tag, nullptr, twelve},
        {"strip count off by one", [](DngBuilder& b) { b.Raw().Longs(278, {16}); }, tag},
        {"no StripByteCounts", [](DngBuilder& b) { b.Raw().Remove(279); }, tag},
        {"RowsPerStrip 0", [](DngBuilder& b) { b.Raw().Longs(278, {0}); }, tag},
        {"strips and tiles", [](DngBuilder& b) { b.Raw().Longs(322, {16}); }, tag},
        {"strip past the end of the file", [](DngBuilder& b) { b.Raw().Longs(273, {9000}); },
         DngErrorCode::ReadFailed},
        {"tile width 0", [](DngBuilder& b) { b.Raw().Longs(322, {0}); }, tag, nullptr, tiles},
        {"tile wider than the image", [](DngBuilder& b) { b.Raw().Longs(322, {64}); }, tag, nullptr,
         tiles},
        {"tile count off", [](DngBuilder& b) { b.Raw().Longs(323, {8}); }, tag, nullptr, tiles},
        {"no TileLength", [](DngBuilder& b) { b.Raw().Remove(323); }, tag, nullptr, tiles},
        {"tile past the end of the file",
         [](DngBuilder& b) { b.Raw().At(325).numbers[2] = 0x7FFFFFFF; }, DngErrorCode::ReadFailed,
         nullptr, tiles},
        {"planar configuration 2", [](DngBuilder& b) { b.Raw().Shorts(284, {2}); }, tag},
        {"CFA repeat 3x3",
         [](DngBuilder& b) {
             b.Raw().Shorts(33421, {3, 3});
         },
         tag},
        {"no CFAPattern", [](DngBuilder& b) { b.Raw().Remove(33422); }, tag},
        {"CFAPattern of 3 bytes",
         [](DngBuilder& b) {
             b.Raw().Bytes(33422, {0, 1, 2});
         },
         tag},
        {"CFAPattern not Bayer (RRGB)",
         [](DngBuilder& b) {
             b.Raw().Bytes(33422, {0, 0, 1, 2});
         },
         tag},
        {"CFAPattern greens in a row",
         [](DngBuilder& b) {
             b.Raw().Bytes(33422, {1, 1, 0, 2});
         },
         tag},
        {"CFAPattern colour 3",
         [](DngBuilder& b) {
             b.Raw().Bytes(33422, {3, 1, 1, 2});
         },
         tag},
        {"CFAPlaneColor 1 0 2",
         [](DngBuilder& b) {
             b.Raw().Bytes(50710, {1, 0, 2});
         },
         tag},
        {"CFALayout 2", [](DngBuilder& b) { b.Raw().Shorts(50711, {2}); }, tag},
        {"LinearizationTable of 0 entries", [](DngBuilder& b) { b.Raw().Shorts(50712, {}); }, tag},
        {"BlackLevelRepeatDim 0 x 2",
         [](DngBuilder& b) {
             b.Raw().Shorts(50713, {0, 2});
         },
         tag},
        {"BlackLevel zero denominator",
         [](DngBuilder& b) {
             b.Raw().Rationals(50714, {{1, 0}});
         },
         tag},
        {"BlackLevelDeltaH zero denominator",
         [](DngBuilder& b) {
             b.Raw().SRationals(50715, std::vector<Pair>(48, {1, 0}));
         },
         tag},
        {"WhiteLevel 0", [](DngBuilder& b) { b.Raw().Longs(50717, {0}); }, tag},
        {"WhiteLevel twice for one sample",
         [](DngBuilder& b) {
             b.Raw().Longs(50717, {9, 9});
         },
         tag},
        {"DefaultScale 0",
         [](DngBuilder& b) {
             b.Raw().Rationals(50718, {{0, 1}, {1, 1}});
         },
         tag},
        {"DefaultCropOrigin zero denominator",
         [](DngBuilder& b) {
             b.Raw().Rationals(50719, {{0, 0}, {0, 1}});
         },
         tag},
        {"DefaultCropSize 0",
         [](DngBuilder& b) {
             b.Raw().Rationals(50720, {{0, 1}, {8, 1}});
         },
         tag},
        {"crop beyond the active area",
         [](DngBuilder& b) {
             b.Raw().Longs(50829, {0, 4, 32, 48});
             b.Raw().Rationals(50720, {{48, 1}, {32, 1}});
         },
         tag},
        {"crop origin pushes it out",
         [](DngBuilder& b) {
             b.Raw().Rationals(50719, {{1, 1}, {0, 1}});
         },
         tag},
        {"output narrower than a pixel",
         [](DngBuilder& b) {
             b.Raw().Rationals(50718, {{1, 100}, {1, 1}});
         },
         tag},
        {"AntiAliasStrength zero denominator",
         [](DngBuilder& b) {
             b.Raw().Rationals(50738, {{1, 0}});
         },
         tag},
        {"BestQualityScale 0",
         [](DngBuilder& b) {
             b.Raw().Rationals(50780, {{0, 1}});
         },
         tag},
        {"no EXIF IFD", [](DngBuilder& b) { b.Ifd0().Remove(34665); }, tag},
        {"two EXIF offsets",
         [](DngBuilder& b) {
             b.Writer().SetIfdOffsets(b.Ifd0Id(), 34665, {b.ExifId(), b.ExifId()});
         },
         tag},
        {"two IFDs in the EXIF chain",
         [](DngBuilder& b) {
             const int extra = b.Writer().AddIfd();
             b.Writer().Ifd(extra).Shorts(34855, {200});
             b.Exif().next = extra;
         },
         tag},
        {"ShutterSpeedValue twice",
         [](DngBuilder& b) {
             b.Exif().SRationals(37377, {{7, 1}, {7, 1}});
         },
         tag},
        {"ShutterSpeedValue zero denominator",
         [](DngBuilder& b) {
             b.Exif().SRationals(37377, {{7, 0}});
         },
         tag},
        {"ApertureValue zero denominator",
         [](DngBuilder& b) {
             b.Exif().Rationals(37378, {{6, 0}});
         },
         tag},
        {"value offset past the end", [](DngBuilder& b) { b.Ifd0().At(50721).offset = 0x00FFFFFF; },
         DngErrorCode::ReadFailed},
        {"count far beyond the file", [](DngBuilder& b) { b.Ifd0().At(50721).count = 0x1FFFFFFF; },
         DngErrorCode::ReadFailed},
    };
}

} // namespace

TEST(DNGFileOpen, EveryBrokenFileGivesItsErrorCode)
{
    TempDir dir;
    for (const BrokenCase& c : BrokenCases())
    {
        SCOPED_TRACE(c.name);
        DngBuilder b(c.recipe);
        c.mutate(b);
        std::vector<std::uint32_t> offsets;
        Bytes bytes = b.Build(&offsets);
        if (c.patch)
            c.patch(bytes, offsets);
        CDNGFile f;
        EXPECT_FALSE(OpenBytes(bytes, f, dir));
        EXPECT_EQ(f.GetErrorCode(), c.expected);
        EXPECT_TRUE(f.GetPath().empty());
    }
}

TEST(DNGFileOpen, RandomlyDamagedFilesAreReadSafely)
{
    // Bytes of the structure (header, IFDs, values) changed at random: any
    // outcome will do, as long as nothing is read or written out of bounds
    // (the sanitizers watch) and a file that opens also develops or fails
    // cleanly.
    TempDir dir;
    std::uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (const DngStorage storage : {DngStorage::Strips12, DngStorage::LosslessTiles})
    {
        DngRecipe recipe;
        recipe.storage = storage;
        const Bytes good = DngBuilder(recipe).Build();
        for (int round = 0; round < 150; ++round)
        {
            Bytes bytes = good;
            const int changes = 1 + static_cast<int>(next() % 4);
            for (int k = 0; k < changes; ++k)
                bytes[next() % 1400] = static_cast<std::uint8_t>(next());
            CDNGFile f;
            if (OpenBytes(bytes, f, dir))
            {
                f.SetThreadCount(1 + round % 3);
                if (f.Develop(dir.File("A"), dir.File("C"), dir.File("B"), {}))
                {
                    std::vector<RGB16> row(f.GetOutputWidth());
                    for (unsigned y = 0; y < f.GetOutputHeight(); ++y)
                        EXPECT_TRUE(f.GetLine(y, row.data()));
                }
            }
            else
                EXPECT_NE(f.GetErrorCode(), DngErrorCode::None);
        }
    }
}

TEST(DNGFileOpen, MissingFileAndReopening)
{
    TempDir dir;
    CDNGFile f;
    EXPECT_FALSE(f.Open(dir.File("absent.dng")));
    EXPECT_EQ(f.GetErrorCode(), DngErrorCode::OpenFailed);

    // Open starts afresh: a good file after a failed one opens.
    ASSERT_TRUE(OpenBuilt(DngBuilder(DngRecipe{}), f, dir));
    EXPECT_EQ(f.GetErrorCode(), DngErrorCode::None);
}

TEST(DNGFileOpen, OddButValidFilesOpen)
{
    struct Case
    {
        const char* name;
        std::function<void(DngBuilder&)> mutate;
        std::function<void(const CDNGFile&)> check;
        DngRecipe recipe{};
    };
    DngRecipe twelve;
    twelve.storage = DngStorage::Strips12;
    DngRecipe linearOne;
    linearOne.samples = 1;
    DngRecipe uncompressedTiles;
    uncompressedTiles.storage = DngStorage::Tiles16;

    const Case cases[] = {
        {"AsShotNeutral divided by its largest",
         [](DngBuilder& b) {
             b.Ifd0().Rationals(50728, {{1, 1}, {2, 1}, {4, 1}});
         },
         [](const CDNGFile& f) {
             EXPECT_EQ(f.GetImageTags().asShotNeutral, (std::vector<double>{0.25, 0.5, 1}));
         }},
        {"AsShotNeutral already normalised",
         [](DngBuilder& b) {
             b.Ifd0().Rationals(50728, {{1, 2}, {1, 1}, {1, 4}});
         },
         [](const CDNGFile& f) {
             EXPECT_EQ(f.GetImageTags().asShotNeutral, (std::vector<double>{0.5, 1, 0.25}));
         }},
        {"AsShotWhiteXY instead of a neutral",
         [](DngBuilder& b) {
             b.Ifd0().Remove(50728);
             b.Ifd0().Rationals(50729, {{3127, 10000}, {3290, 0}});
         },
         [](const CDNGFile& f) {
             EXPECT_TRUE(f.GetImageTags().asShotNeutral.empty());
             EXPECT_EQ(f.GetImageTags().asShotWhiteXY, (std::vector<double>{0.3127, 0.0}));
         }},
        {"no WhiteLevel with 12 bits", [](DngBuilder& b) { b.Raw().Remove(50717); },
         [](const CDNGFile& f) {
             EXPECT_EQ(f.GetRawLayout().whiteLevels, std::vector<std::uint32_t>{4095});
         },
         twelve},
        {"no WhiteLevel with 16 bits", [](DngBuilder& b) { b.Raw().Remove(50717); },
         [](const CDNGFile& f) {
             EXPECT_EQ(f.GetRawLayout().whiteLevels, std::vector<std::uint32_t>{65535});
         }},
        {"BlackLevel of the wrong count is all zeros",
         [](DngBuilder& b) {
             b.Raw().Rationals(50714, {{5, 1}, {6, 1}});
         },
         [](const CDNGFile& f) {
             EXPECT_EQ(f.GetRawLayout().blackLevels, std::vector<double>{0.0});
         }},
        {"BlackLevelDeltaH of the wrong count is ignored",
         [](DngBuilder& b) {
             b.Raw().SRationals(50715, {{1, 1}});
         },
         [](const CDNGFile& f) { EXPECT_TRUE(f.GetRawLayout().blackDeltaH.empty()); }},
        {"two raw sub-IFDs: the later one",
         [](DngBuilder& b) {
             const int second = b.AddRawIfdCopy();
             b.Writer().Ifd(second).Rationals(50720, {{20, 1}, {10, 1}});
         },
         [](const CDNGFile& f) {
             EXPECT_EQ(f.GetOutputWidth(), 20u);
             EXPECT_EQ(f.GetSubIfds().size(), 2u);
         }},
        {"reduced sub-IFD after the raw one",
         [](DngBuilder& b) {
             const int second = b.AddRawIfdCopy();
             b.Writer().Ifd(second).Longs(254, {1}).Rationals(50720, {{20, 1}, {10, 1}});
         },
         [](const CDNGFile& f) { EXPECT_EQ(f.GetOutputWidth(), 48u); }},
        {"tiled uncompressed", [](DngBuilder&) {},
         [](const CDNGFile& f) { EXPECT_EQ(f.GetRawLayout().tileCount, 6u); }, uncompressedTiles},
        {"LinearRaw with one sample", [](DngBuilder& b) { b.Raw().Shorts(262, {34892}); },
         [](const CDNGFile& f) { EXPECT_EQ(f.GetRawLayout().photometric, 34892); }, linearOne},
        {"SubIFDs and EXIF pointer of type IFD",
         [](DngBuilder& b) {
             b.Writer().SetIfdOffsets(b.Ifd0Id(), 330, {b.RawId()}, testsupport::kTiffIfd);
             b.Writer().SetIfdOffsets(b.Ifd0Id(), 34665, {b.ExifId()}, testsupport::kTiffIfd);
         },
         [](const CDNGFile& f) { EXPECT_EQ(f.GetRawLayout().rawWidth, 48u); }},
        {"RowsPerStrip of 2^32 - 1 is one strip",
         [](DngBuilder& b) { b.Raw().Longs(278, {0xFFFFFFFF}); },
         [](const CDNGFile& f) { EXPECT_EQ(f.GetRawLayout().rowsPerStrip, 32u); }},
        {"no crop size: the active area",
         [](DngBuilder& b) {
             b.Raw().Remove(50720).Longs(50829, {1, 3, 31, 43});
         },
         [](const CDNGFile& f) {
             EXPECT_EQ(f.GetOutputWidth(), 40u);
             EXPECT_EQ(f.GetOutputHeight(), 30u);
         }},
        {"default scale",
         [](DngBuilder& b) {
             b.Raw().Rationals(50718, {{1, 2}, {3, 2}});
         },
         [](const CDNGFile& f) {
             EXPECT_EQ(f.GetOutputWidth(), 24u);
             EXPECT_EQ(f.GetOutputHeight(), 48u);
         }},
        {"unknown tags and odd text types are passed by",
         [](DngBuilder& b) {
             b.Ifd0().Longs(40000, {1, 2, 3}).Numbers(40001, 99, {1});
             b.Ifd0().Bytes(50708, {'C', 'a', 'm'}, testsupport::kTiffByte);
         },
         [](const CDNGFile& f) { EXPECT_EQ(f.GetMainIfds()[0].UniqueCameraModel, "Cam"); }},
        {"no optional colour tags",
         [](DngBuilder& b) { b.Ifd0().Remove(50722).Remove(50728).Remove(50730).Remove(50778); },
         [](const CDNGFile& f) {
             EXPECT_EQ(f.GetImageTags().colorMatrix2.GetRows(), 0u);
             EXPECT_TRUE(f.GetImageTags().asShotNeutral.empty());
             EXPECT_EQ(f.GetImageTags().baselineExposure, 0.0);
             EXPECT_EQ(f.GetImageTags().calibrationIlluminant1, 0);
         }},
    };
    TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        DngBuilder b(c.recipe);
        c.mutate(b);
        CDNGFile f;
        ASSERT_TRUE(OpenBuilt(b, f, dir)) << static_cast<int>(f.GetErrorCode());
        c.check(f);
    }
}

TEST(DNGFileColour, CameraToXyzIsTheInverseOfTheFileMatrixChain)
{
    TempDir dir;
    DngBuilder b{DngRecipe{}};
    b.Ifd0()
        .Rationals(50727, {{11, 10}, {1, 1}, {9, 10}})
        .SRationals(50723,
                    {{105, 100}, {0, 1}, {0, 1}, {0, 1}, {1, 1}, {0, 1}, {0, 1}, {0, 1}, {95, 100}})
        .SRationals(50730, {{1, 1}});
    CDNGFile f;
    ASSERT_TRUE(OpenBuilt(b, f, dir));
    CStdMatrix m1, m2;
    bool two = false;
    f.GetCameraToXyzMatrices(m1, m2, two);
    ASSERT_TRUE(two);
    const DngImageTags& t = f.GetImageTags();
    // m1 x (AB x CC1 x CM1) = 2^BaselineExposure x I; likewise m2 with the
    // identity calibration.
    ExpectMatrixNear(m1 * (t.analogBalance * t.cameraCalibration1 * t.colorMatrix1),
                     CStdMatrix::Identity(3) * 2.0, 1e-12);
    ExpectMatrixNear(m2 * (t.analogBalance * t.colorMatrix2), CStdMatrix::Identity(3) * 2.0, 1e-12);
}

TEST(DNGFileColour, ColorInfoPairsEachIlluminantWithItsMatrix)
{
    TempDir dir;
    // Matrix 1 under D65 (21) and matrix 2 under standard light A (17): the
    // transform orders them by temperature, A first.
    DngBuilder b{DngRecipe{}};
    b.Ifd0().Shorts(50778, {21}).Shorts(50779, {17});
    CDNGFile f;
    ASSERT_TRUE(OpenBuilt(b, f, dir));
    CStdMatrix m1, m2;
    bool two = false;
    f.GetCameraToXyzMatrices(m1, m2, two);
    CDNGTranspose t;
    f.GetColorInfo(t);
    EXPECT_TRUE(t.IsValid());
    EXPECT_TRUE(t.HasTwoMatrices());
    EXPECT_EQ(t.GetIlluminantA(), 17);
    EXPECT_EQ(t.GetIlluminantB(), 21);
    ExpectMatrixNear(t.GetMatrixA(), m2, 0.0);
    ExpectMatrixNear(t.GetMatrixB(), m1, 0.0);
    EXPECT_EQ(t.GetAsShotNeutral(), f.GetImageTags().asShotNeutral);

    // One matrix: matrix 1 whatever the illuminants.
    DngBuilder one{DngRecipe{}};
    one.Ifd0().Remove(50722);
    CDNGFile g;
    ASSERT_TRUE(OpenBuilt(one, g, dir));
    g.GetCameraToXyzMatrices(m1, m2, two);
    EXPECT_FALSE(two);
    CDNGTranspose u;
    g.GetColorInfo(u);
    EXPECT_FALSE(u.HasTwoMatrices());
    ExpectMatrixNear(u.GetMatrixA(), m1, 0.0);
}

// dcraw reads raw DNG samples independently of us: what it gives back with
// -D -4 (no scaling, 16-bit) must be the builder's samples. Skipped where
// dcraw is not installed.
TEST(DngBuilder, DcrawReadsTheSamplesBack)
{
    if (std::system("command -v dcraw >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "dcraw is not installed";
    TempDir dir;
    for (const DngStorage storage :
         {DngStorage::Strips16, DngStorage::Strips12, DngStorage::LosslessTiles})
        for (const bool bigEndian : {false, true})
        {
            SCOPED_TRACE(static_cast<int>(storage) * 2 + bigEndian);
            DngRecipe recipe;
            recipe.width = 50; // a partial tile at the right
            recipe.height = 34;
            recipe.storage = storage;
            recipe.bigEndian = bigEndian;
            recipe.rowsPerStrip = 7;
            const DngBuilder b(recipe);
            ASSERT_TRUE(b.WriteFile(dir.File("d.dng")));
            const std::string command =
                "dcraw -D -4 -c '" + dir.File("d.dng") + "' > '" + dir.File("d.pgm") + "'";
            ASSERT_EQ(std::system(command.c_str()), 0);
            std::FILE* pgm = std::fopen(dir.File("d.pgm").c_str(), "rb");
            ASSERT_NE(pgm, nullptr);
            char magic[3] = {};
            int w = 0, h = 0, max = 0;
            ASSERT_EQ(std::fscanf(pgm, "%2s %d %d %d", magic, &w, &h, &max), 4);
            std::fgetc(pgm);
            EXPECT_STREQ(magic, "P5");
            ASSERT_EQ(w, 50);
            ASSERT_EQ(h, 34);
            std::vector<std::uint16_t> read;
            for (int i = 0; i < w * h; ++i)
            {
                const int hi = std::fgetc(pgm);
                const int lo = std::fgetc(pgm);
                read.push_back(static_cast<std::uint16_t>(hi << 8 | lo));
            }
            std::fclose(pgm);
            EXPECT_EQ(read, b.Pixels());
        }
}
