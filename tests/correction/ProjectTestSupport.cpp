#include "tests/correction/ProjectTestSupport.h"

#include "core/SRGBProfile.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ImageLoadSave.h"
#include "imagefile/ReloadCache.h"

#include "tests/support/TestProfiles.h"

#include <algorithm>

namespace projecttest {

std::vector<std::uint8_t> SRGBProfileBytes()
{
    // Made once: the header carries the time it was made, so two builds a
    // second apart differ, and tests compare what was embedded with this.
    static const std::vector<std::uint8_t> bytes = BuildSRGBProfileBytes();
    return bytes;
}

std::vector<std::uint8_t> WideProfileBytes()
{
    std::vector<std::uint8_t> bytes = testsupport::WideGamutProfileBytes();
    EXPECT_FALSE(bytes.empty());
    return bytes;
}

CColorProfile OpenProfile(const std::vector<std::uint8_t>& bytes, const std::string& name)
{
    CColorProfile profile;
    EXPECT_TRUE(profile.OpenFromMemory(bytes, name)) << name;
    return profile;
}

bool SameImage(const CRGBImage& a, const CRGBImage& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return false;
    if (a.IsEmpty() || b.IsEmpty())
        return a.IsEmpty() && b.IsEmpty();
    // Lock is the only way to the pixels; the images are not changed.
    CRGBImage& ma = const_cast<CRGBImage&>(a);
    CRGBImage& mb = const_cast<CRGBImage&>(b);
    const RGB16* pa = ma.Lock();
    const RGB16* pb = mb.Lock();
    bool same = true;
    for (std::size_t i = 0; i < a.GetPixelCount() && same; ++i)
        same = pa[i].r == pb[i].r && pa[i].g == pb[i].g && pa[i].b == pb[i].b;
    ma.Unlock();
    mb.Unlock();
    return same;
}

CRGBImage GradientImage(int width, int height)
{
    CRGBImage image(width, height);
    RGB16* p = image.Lock();
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            p[static_cast<std::size_t>(y) * width + x] =
                RGB16{static_cast<std::uint16_t>(65535LL * x / std::max(1, width - 1)),
                      static_cast<std::uint16_t>(65535LL * y / std::max(1, height - 1)),
                      std::uint16_t{20000}};
        }
    }
    image.Unlock();
    return image;
}

namespace {

CImageFileInfo OutputRecord(const std::string& path, ImageFileType type, const CRGBImage& image,
                            const std::vector<std::uint8_t>& profile, float dpi)
{
    CImageFileInfo out;
    out.m_path = path;
    out.m_type = type;
    out.m_detectedType = type;
    out.m_width = image.GetWidth();
    out.m_height = image.GetHeight();
    out.m_xResolution = dpi;
    out.m_yResolution = dpi;
    out.m_iccProfile = profile;
    return out;
}

} // namespace

void WriteTiff16(const std::string& path, CRGBImage& image,
                 const std::vector<std::uint8_t>& profile, float dpi)
{
    ASSERT_EQ(
        SaveTiff16(nullptr, OutputRecord(path, kImageFileTiff16, image, profile, dpi), image, {}),
        1)
        << path;
}

void WriteTiff8(const std::string& path, CRGBImage& image,
                const std::vector<std::uint8_t>& profile, float dpi)
{
    ASSERT_EQ(SaveImageByGdiplus(OutputRecord(path, kImageFileTiff8, image, profile, dpi), image,
                                 nullptr, nullptr, {}),
              1)
        << path;
}

void WriteJpeg(const std::string& path, CRGBImage& image, const std::vector<std::uint8_t>& profile,
               float dpi)
{
    ASSERT_EQ(SaveImageByGdiplus(OutputRecord(path, kImageFileJpeg, image, profile, dpi), image,
                                 nullptr, nullptr, {}),
              1)
        << path;
}

ProjectFixture::ProjectFixture()
    : m_cache("XDG_CACHE_HOME", m_dir.Path() + "cache"),
      m_config("XDG_CONFIG_HOME", m_dir.Path() + "config"),
      m_monitor(OpenProfile(SRGBProfileBytes(), "monitor.icm")),
      m_working(OpenProfile(SRGBProfileBytes(), "working.icm")),
      m_input(OpenProfile(SRGBProfileBytes(), "input.icm"))
{
    m_project = std::make_unique<CProjectManage>(std::string());
    m_project->SetImageView(&m_view);
    m_project->SetShell(&m_shell);
    m_project->SetPrintDialogs(&m_printDialogs);
    EXPECT_TRUE(m_project->SetProjectProfiles(&m_monitor, &m_working, &m_input));
}

ProjectFixture::~ProjectFixture()
{
    m_project.reset();
    ClearReloadImageCache();
    ClearReloadThumbnailCache();
}

std::string ProjectFixture::AddTiff(const std::string& name, int width, int height,
                                    const std::vector<std::uint8_t>& profile)
{
    const std::string path = m_dir.File(name);
    CRGBImage image = GradientImage(width, height);
    WriteTiff16(path, image, profile);
    CImageFileInfo entry;
    EXPECT_EQ(entry.ReadInfo(path), 1) << path;
    EXPECT_TRUE(m_project->AddFile(entry, m_project->GetCount())) << path;
    return path;
}

CImageFileInfo& ProjectFixture::Entry(const std::string& path)
{
    for (std::size_t i = 0; i < m_project->GetCount(); ++i)
    {
        if (m_project->GetItem(i).m_path == path)
            return m_project->GetItem(i);
    }
    ADD_FAILURE() << "no entry " << path;
    static CImageFileInfo none;
    return none;
}

void ProjectFixture::Load(const std::string& path)
{
    CancelWatch watch(m_project->m_imageLoadSlot);
    ASSERT_EQ(m_project->LoadImage(Entry(path), false, watch.Watched()), 1) << path;
    ASSERT_FALSE(watch.Cancelled());
}

} // namespace projecttest
