#include "imagefile/ImageFileInfo.h"

#include "core/ErrorRecord.h"
#include "core/GlobalSettings.h"
#include "tests/support/PipesAndSockets.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <jpeglib.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

struct JpegRecipe
{
    int width = 64;
    int height = 64;
    int components = 3;
    J_COLOR_SPACE space = JCS_RGB;
    std::uint8_t densityUnit = 1; // 0: aspect ratio only, 1: dots per inch
    std::uint16_t density = 300;
    std::vector<std::uint8_t> icc{};
};

// A small JPEG written with libjpeg-turbo.
bool WriteJpeg(const std::string& path, const JpegRecipe& setup)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(setup.width);
    cinfo.image_height = static_cast<JDIMENSION>(setup.height);
    cinfo.input_components = setup.components;
    cinfo.in_color_space = setup.space;
    jpeg_set_defaults(&cinfo);
    cinfo.density_unit = setup.densityUnit;
    cinfo.X_density = setup.density;
    cinfo.Y_density = setup.density;
    jpeg_start_compress(&cinfo, TRUE);
    if (!setup.icc.empty())
        jpeg_write_icc_profile(&cinfo, setup.icc.data(), static_cast<unsigned>(setup.icc.size()));
    std::vector<JSAMPLE> row(static_cast<std::size_t>(setup.width * setup.components));
    for (int y = 0; y < setup.height; ++y)
    {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<JSAMPLE>((i + static_cast<std::size_t>(y)) & 0xFF);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

// A small uncompressed RGB TIFF written with libtiff.
bool WriteTiff(const std::string& path, int width, int height, int bits, float dpi)
{
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (tif == nullptr)
        return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
    if (dpi > 0)
    {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, dpi);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, dpi);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width * 3 * bits / 8), 0x40);
    bool ok = true;
    for (int y = 0; y < height && ok; ++y)
        ok = TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) == 1;
    TIFFClose(tif);
    return ok;
}

class ImageFileInfoTest : public ::testing::Test
{
protected:
    ImageFileInfoTest() : m_savedSettings(GetGlobalSettings()) { ClearErrorFiles(); }
    ~ImageFileInfoTest() override
    {
        ClearErrorFiles();
        SetGlobalSettings(m_savedSettings);
    }

    std::string Jpeg(const std::string& name, const JpegRecipe& setup = {})
    {
        const std::string path = m_dir.File(name);
        EXPECT_TRUE(WriteJpeg(path, setup)) << name;
        return path;
    }

    TempDir m_dir;
    GlobalSettings m_savedSettings;
};

// What a command line, a second start or a drop may name under an image's
// name without being a regular file: a named pipe (whose opening would wait
// for a writer, in the window's thread), one a program holds open, a
// socket, a device, a folder, a link to nothing. Each is refused at once
// and recorded as a file that could not be read; a link to an image is the
// image.
TEST_F(ImageFileInfoTest, AnythingButARegularFileIsRefusedWithoutWaiting)
{
    enum class Kind
    {
        Pipe,
        HeldPipe,
        Socket,
        LinkToDevice,
        Folder,
        DanglingLink,
        LinkToImage
    };
    struct Case
    {
        const char* name;
        Kind kind;
        bool accepted;
    };
    const Case cases[] = {
        {"pipe.jpg", Kind::Pipe, false},          {"pipe.TIF", Kind::Pipe, false},
        {"pipe.jpeg", Kind::Pipe, false},         {"held.jpg", Kind::HeldPipe, false},
        {"socket.jpg", Kind::Socket, false},      {"null.jpg", Kind::LinkToDevice, false},
        {"folder.jpg", Kind::Folder, false},      {"gone.jpg", Kind::DanglingLink, false},
        {"link.jpg", Kind::LinkToImage, true},
    };
    const std::string image = Jpeg("image.jpg");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir.File(c.name);
        int held = -1;
        int socketFd = -1;
        switch (c.kind)
        {
        case Kind::Pipe:
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
            break;
        case Kind::HeldPipe:
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
            held = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
            ASSERT_GE(held, 0);
            break;
        case Kind::Socket:
            socketFd = testsupport::BindLocalSocket(path);
            ASSERT_GE(socketFd, 0);
            break;
        case Kind::LinkToDevice:
            std::filesystem::create_symlink("/dev/null", path);
            break;
        case Kind::Folder:
            std::filesystem::create_directory(path);
            break;
        case Kind::DanglingLink:
            std::filesystem::create_symlink(m_dir.File("nothing.jpg"), path);
            break;
        case Kind::LinkToImage:
            std::filesystem::create_symlink(image, path);
            break;
        }
        ClearErrorFiles();
        CRecordErrorFile recorder;
        auto probe = std::async(std::launch::async, [&path] {
            CImageFileInfo info;
            return info.ReadInfo(path);
        });
        if (probe.wait_for(std::chrono::seconds(20)) != std::future_status::ready)
        {
            testsupport::ReleasePipeReader(path);
            ADD_FAILURE() << "the probe waited for the pipe";
        }
        EXPECT_EQ(probe.get(), c.accepted ? 1 : 0);
        EXPECT_EQ(GetErrorFiles().size(), c.accepted ? 0u : 1u);
        if (held >= 0)
            ::close(held);
        if (socketFd >= 0)
            ::close(socketFd);
    }
}

TEST_F(ImageFileInfoTest, ExtensionGateAcceptsOnlyJpegAndTiffNames)
{
    SetDNGConverterPath("/opt/converter.exe"); // RAW names must still be refused
    std::filesystem::create_directory(m_dir.File("folder.png"));
    struct Case
    {
        std::string name;
        bool writeFile; // a valid JPEG under this name
        bool accepted;
        bool recorded; // goes into the error record
    };
    const Case cases[] = {
        {"a.JPEG", true, true, false},       {"b.jpg", true, true, false},
        {"c.JpG", true, true, false},        {"d.png", true, false, true},
        {"e.dng", true, false, true},        {"f.NEF", true, false, true},
        {"noext", true, false, true},        {"missing.png", false, false, false},
        {"folder.png", false, false, false},
    };
    for (const Case& c : cases)
    {
        const std::string path = c.writeFile ? Jpeg(c.name) : m_dir.File(c.name);
        CImageFileInfo info;
        CRecordErrorFile recorder;
        EXPECT_EQ(info.ReadInfo(path), c.accepted ? 1 : 0) << c.name;
        EXPECT_EQ(GetErrorFiles().size(), c.recorded ? 1u : 0u) << c.name;
        EXPECT_EQ(info.m_path, c.accepted ? path : std::string()) << c.name;
    }
}

TEST_F(ImageFileInfoTest, JpegRecordTakesTypeSizeResolutionAndProfile)
{
    JpegRecipe setup;
    setup.width = 120;
    setup.height = 80;
    setup.icc.assign(600, 0);
    for (std::size_t i = 0; i < setup.icc.size(); ++i)
        setup.icc[i] = static_cast<std::uint8_t>(i * 7);
    const std::string path = Jpeg("photo.jpg", setup);

    CImageFileInfo info;
    ASSERT_EQ(info.ReadInfo(path), 1);
    EXPECT_EQ(info.m_path, path);
    EXPECT_EQ(info.m_detectedType, kImageFileJpeg);
    EXPECT_EQ(info.m_type, kImageFileJpeg);
    EXPECT_EQ(info.m_width, 120);
    EXPECT_EQ(info.m_height, 80);
    EXPECT_FLOAT_EQ(info.m_xResolution, 300.0f);
    EXPECT_FLOAT_EQ(info.m_yResolution, 300.0f);
    EXPECT_EQ(info.m_iccProfile, setup.icc);
    EXPECT_EQ(info.m_hasThumbnail, 0);
    EXPECT_EQ(info.m_state, kLoadStateDone);
}

TEST_F(ImageFileInfoTest, AMissingResolutionBecomesTheRecordDefault)
{
    JpegRecipe setup;
    setup.densityUnit = 0; // aspect ratio only: no resolution
    setup.density = 1;
    CImageFileInfo info;
    ASSERT_EQ(info.ReadInfo(Jpeg("nodpi.jpg", setup)), 1);
    EXPECT_EQ(info.m_xResolution, kDefaultResolution);
    EXPECT_EQ(info.m_yResolution, kDefaultResolution);

    ASSERT_TRUE(WriteTiff(m_dir.File("nodpi.tif"), 60, 60, 8, 0.0f));
    ASSERT_EQ(info.ReadInfo(m_dir.File("nodpi.tif")), 1);
    EXPECT_EQ(info.m_xResolution, kDefaultResolution);
    EXPECT_EQ(info.m_yResolution, kDefaultResolution);
}

TEST_F(ImageFileInfoTest, TiffTypesFollowTheBitDepth)
{
    struct Case
    {
        const char* name;
        int bits;
        ImageFileType type;
    };
    const Case cases[] = {{"eight.tif", 8, kImageFileTiff8},
                          {"sixteen.TIFF", 16, kImageFileTiff16}};
    for (const Case& c : cases)
    {
        ASSERT_TRUE(WriteTiff(m_dir.File(c.name), 70, 50, c.bits, 150.0f));
        CImageFileInfo info;
        ASSERT_EQ(info.ReadInfo(m_dir.File(c.name)), 1) << c.name;
        EXPECT_EQ(info.m_detectedType, c.type) << c.name;
        EXPECT_EQ(info.m_width, 70);
        EXPECT_EQ(info.m_height, 50);
        EXPECT_FLOAT_EQ(info.m_xResolution, 150.0f);
        EXPECT_TRUE(info.m_iccProfile.empty());
    }
}

TEST_F(ImageFileInfoTest, SmallAndUnreadableImagesAreRefusedAndRecorded)
{
    struct Case
    {
        int width, height;
        bool accepted;
    };
    const Case cases[] = {{50, 50, true}, {49, 200, false}, {200, 49, false}, {1, 1, false}};
    for (const Case& c : cases)
    {
        JpegRecipe setup;
        setup.width = c.width;
        setup.height = c.height;
        const std::string path = Jpeg("size.jpg", setup);
        CImageFileInfo info;
        CRecordErrorFile recorder;
        EXPECT_EQ(info.ReadInfo(path), c.accepted ? 1 : 0) << c.width << "x" << c.height;
        EXPECT_EQ(GetErrorFiles(),
                  c.accepted ? std::vector<std::string>{} : std::vector<std::string>{path});
        EXPECT_EQ(info.m_path.empty(), !c.accepted);
    }

    // Not an image, a grey JPEG and a CMYK JPEG: refused by the probe.
    WriteTextFile(m_dir.File("text.jpg"), "not a jpeg at all");
    JpegRecipe grey;
    grey.components = 1;
    grey.space = JCS_GRAYSCALE;
    JpegRecipe cmyk;
    cmyk.components = 4;
    cmyk.space = JCS_CMYK;
    for (const std::string& path :
         {m_dir.File("text.jpg"), Jpeg("grey.jpg", grey), Jpeg("cmyk.jpg", cmyk)})
    {
        CImageFileInfo info;
        CRecordErrorFile recorder;
        EXPECT_EQ(info.ReadInfo(path), 0) << path;
        EXPECT_EQ(GetErrorFiles(), std::vector<std::string>{path});
    }
}

TEST_F(ImageFileInfoTest, ReadInfoStartsFromAResetRecord)
{
    JpegRecipe setup;
    setup.icc.assign(300, 5);
    CImageFileInfo info;
    ASSERT_EQ(info.ReadInfo(Jpeg("withicc.jpg", setup)), 1);
    ASSERT_FALSE(info.m_iccProfile.empty());
    info.m_error = 1;
    ASSERT_EQ(info.ReadInfo(Jpeg("plain.jpg")), 1);
    EXPECT_TRUE(info.m_iccProfile.empty());
    EXPECT_EQ(info.m_error, 0);
    EXPECT_EQ(info.ReadInfo(m_dir.File("missing.jpg")), 0);
    EXPECT_TRUE(info.m_path.empty());
    EXPECT_EQ(info.m_width, 0);
}

CDNGTranspose MakeTransform(double scale)
{
    CDNGTranspose transform;
    const CStdMatrix m1(scale, 0.1, 0.0, 0.0, scale, 0.1, 0.1, 0.0, scale);
    const CStdMatrix m2(scale * 2, 0.0, 0.0, 0.0, scale * 2, 0.0, 0.0, 0.0, scale * 2);
    transform.Setup(17, 21, m1, m2, true, {0.5, 1.0, 0.7}, {});
    return transform;
}

TEST(ImageFileInfoCopyTest, CopyDeepCopiesTheTransform)
{
    auto source = std::make_unique<CImageFileInfo>();
    source->m_path = "/pics/a.dng";
    source->m_number = 7;
    source->m_check = 0;
    source->m_lutName = "film";
    source->m_iccProfile = {1, 2, 3};
    source->m_spare = {9, 8, 7, 6, 5};
    source->m_transform = std::make_unique<CDNGTranspose>(MakeTransform(1.5));

    CImageFileInfo copy(*source);
    ASSERT_NE(copy.m_transform, nullptr);
    EXPECT_NE(copy.m_transform.get(), source->m_transform.get());
    EXPECT_EQ(copy.m_path, "/pics/a.dng");
    EXPECT_EQ(copy.m_number, 7);
    EXPECT_EQ(copy.m_check, 0);
    EXPECT_EQ(copy.m_lutName, "film");
    EXPECT_EQ(copy.m_iccProfile, source->m_iccProfile);
    EXPECT_EQ(copy.m_spare, source->m_spare);

    CImageFileInfo assigned;
    assigned.m_transform = std::make_unique<CDNGTranspose>(MakeTransform(3.0));
    assigned = *source;
    ASSERT_NE(assigned.m_transform, nullptr);
    EXPECT_NE(assigned.m_transform.get(), source->m_transform.get());

    const CStdMatrix expected = source->m_transform->GetMatrixA();
    source.reset(); // the copies keep their own transforms
    for (const CImageFileInfo* info : {&copy, &assigned})
    {
        const CStdMatrix& a = info->m_transform->GetMatrixA();
        for (std::uint32_t r = 0; r < 3; ++r)
            for (std::uint32_t col = 0; col < 3; ++col)
                EXPECT_DOUBLE_EQ(a.GetAt(r, col), expected.GetAt(r, col));
    }

    // A source without a transform leaves none; self-assignment changes nothing.
    CImageFileInfo plain;
    assigned = plain;
    EXPECT_EQ(assigned.m_transform, nullptr);
    copy = *&copy;
    EXPECT_NE(copy.m_transform, nullptr);
}

TEST(ImageFileInfoCopyTest, ResetKeepsNumberCheckAndLutName)
{
    CImageFileInfo info;
    EXPECT_EQ(info.m_number, 0);
    EXPECT_EQ(info.m_check, 1);
    EXPECT_EQ(info.m_jpegQuality, 2);
    EXPECT_EQ(info.m_spare[0], 1);
    info.m_number = 3;
    info.m_check = 0;
    info.m_lutName = "lut";
    info.m_path = "/x.jpg";
    info.m_width = 10;
    info.m_state = kLoadStateConverter;
    info.m_jpegQuality = 4;
    info.m_transform = std::make_unique<CDNGTranspose>();
    info.Reset();
    EXPECT_EQ(info.m_number, 3);
    EXPECT_EQ(info.m_check, 0);
    EXPECT_EQ(info.m_lutName, "lut");
    EXPECT_TRUE(info.m_path.empty());
    EXPECT_EQ(info.m_width, 0);
    EXPECT_EQ(info.m_state, kLoadStateDone);
    EXPECT_EQ(info.m_jpegQuality, 2);
    EXPECT_EQ(info.m_transform, nullptr);
}

TEST(ImageFileNameTest, DngExtensionOnlyInTwoSpellings)
{
    struct Case
    {
        const char* path;
        bool dng;
    };
    const Case cases[] = {{"a.dng", true}, {"/p/B.DNG", true}, {"a.Dng", false},
                          {".dng", false}, {"a.dngx", false},  {"a.tif", false}};
    for (const Case& c : cases)
        EXPECT_EQ(IsDngExtension(c.path), c.dng) << c.path;
}

TEST(ImageFileNameTest, ConvertibleRawNeedsAConverter)
{
    const GlobalSettings saved = GetGlobalSettings();
    SetDNGConverterPath("");
    EXPECT_FALSE(IsConvertibleRawFile("/p/a.nef"));
    SetDNGConverterPath("/opt/Adobe DNG Converter.exe");
    SetRawExtensions({".rw2"});
    EXPECT_TRUE(IsConvertibleRawFile("/p/a.NEF"));
    EXPECT_TRUE(IsConvertibleRawFile("/p/a.RW2"));
    EXPECT_FALSE(IsConvertibleRawFile("/p/a.jpg"));
    EXPECT_FALSE(IsConvertibleRawFile("/p/nef"));
    SetGlobalSettings(saved);
}

TEST(LoadGuardTest, PathsAreRegisteredPerGuardAndComparedWithCase)
{
    const std::string path = "/pics/Photo.jpg";
    EXPECT_FALSE(IsLoading(path));
    {
        CAtLoadFile outer(path);
        EXPECT_TRUE(IsLoading(path));
        EXPECT_FALSE(IsLoading("/pics/photo.jpg"));
        {
            CAtLoadFile inner(path);
            CAtLoadFile other("/pics/other.jpg");
            EXPECT_TRUE(IsLoading("/pics/other.jpg"));
        }
        // One registration is left.
        EXPECT_TRUE(IsLoading(path));
        EXPECT_FALSE(IsLoading("/pics/other.jpg"));
    }
    EXPECT_FALSE(IsLoading(path));
}

} // namespace
