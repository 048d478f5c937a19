#pragma once
// Fixtures of the project suites: fakes of the image view, the shell and
// printing that record what the project asked of them, profiles made in
// the test, generated image files, and a project with its profiles set.

#include "core/ColorProfile.h"
#include "core/RGBImage.h"
#include "correction/ProjectManage.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace projecttest {

class FakeImageView : public IProjectImageView
{
public:
    bool UpdateImage(bool rebuild) override
    {
        updates.push_back(rebuild);
        return true;
    }
    void RebuildTiles() override { ++rebuilds; }
    void Relayout() override { ++relayouts; }
    void RedrawNow() override { ++redraws; }

    std::vector<bool> updates; // the rebuild flag of each UpdateImage
    int rebuilds = 0;
    int relayouts = 0;
    int redraws = 0;
};

class FakeProgress : public IProjectProgress
{
public:
    explicit FakeProgress(std::vector<int>& positions, int cancelAt)
        : m_positions(positions), m_cancelAt(cancelAt)
    {
    }
    void SetPosition(int percent) override { m_positions.push_back(percent); }
    // Cancel is "pressed" once the bar has reached cancelAt (never for -1).
    bool TakeCancelRequest() override
    {
        return m_cancelAt >= 0 && !m_positions.empty() && m_positions.back() >= m_cancelAt;
    }

private:
    std::vector<int>& m_positions;
    int m_cancelAt;
};

class FakeShell : public IProjectShell
{
public:
    void PumpMessages() override { ++pumps; }
    std::unique_ptr<IProjectProgress> OpenProgress(int captionStringId) override
    {
        progressCaptions.push_back(captionStringId);
        return std::make_unique<FakeProgress>(progressPositions, cancelProgressAt);
    }
    bool OpenWithDefaultApplication(const std::string& path) override
    {
        opened.push_back(path);
        return true;
    }

    int pumps = 0;
    std::vector<int> progressCaptions;
    std::vector<int> progressPositions;
    int cancelProgressAt = -1;
    std::vector<std::string> opened;
};

class FakePrinters : public ISystemPrinters
{
};

class FakePrintDialogs : public IPrintDialogs
{
public:
    std::unique_ptr<ISystemPrinters> EnumeratePrinters() override
    {
        ++enumerations;
        return std::make_unique<FakePrinters>();
    }
    void RunPrintImageDialog(const std::string& outputProfileName, const CRGBImage& image,
                             const std::string& imageName, const LogColorSpace& colorSpace,
                             ISystemPrinters* printers) override
    {
        imageDialogs.push_back({outputProfileName, image.GetWidth(), image.GetHeight(), imageName,
                                printers, &image, colorSpace});
        if (onImageDialog)
            onImageDialog(image, colorSpace);
    }
    void RunPrintIndexDialog(CProjectManage& project, ISystemPrinters* printers) override
    {
        indexPrinters = printers;
        ++indexDialogs;
        if (onIndexDialog)
            onIndexDialog(project);
    }

    struct ImageDialog
    {
        std::string profileName;
        int width;
        int height;
        std::string imageName;
        ISystemPrinters* printers;
        // The print copy lent to the dialog and the colour space it came
        // with (the copy is only valid while the dialog runs).
        const CRGBImage* image;
        LogColorSpace colorSpace;
    };
    int enumerations = 0;
    std::vector<ImageDialog> imageDialogs;
    int indexDialogs = 0;
    ISystemPrinters* indexPrinters = nullptr;
    // Runs while the image dialog is "open" (to read the print copy and
    // its colour space).
    std::function<void(const CRGBImage&, const LogColorSpace&)> onImageDialog;
    // Runs while the index dialog is "open" (to develop entries).
    std::function<void(CProjectManage&)> onIndexDialog;
};

// Profiles made in the test: our own sRGB profile (the same bytes for the
// whole run), and a wide-gamut matrix/shaper profile (Adobe-RGB-like
// primaries, gamma 2.2).
std::vector<std::uint8_t> SRGBProfileBytes();
std::vector<std::uint8_t> WideProfileBytes();
CColorProfile OpenProfile(const std::vector<std::uint8_t>& bytes, const std::string& name);

// Same size and the same pixels (two empty images are the same).
bool SameImage(const CRGBImage& a, const CRGBImage& b);

// A smooth test image: red rising along x, green along y, blue constant.
CRGBImage GradientImage(int width, int height);

// Writes image files through the program's own writers (pixels as given,
// the profile embedded when not empty). Failures fail the test.
void WriteTiff16(const std::string& path, CRGBImage& image,
                 const std::vector<std::uint8_t>& profile, float dpi = 300.0f);
void WriteTiff8(const std::string& path, CRGBImage& image,
                const std::vector<std::uint8_t>& profile, float dpi = 300.0f);
void WriteJpeg(const std::string& path, CRGBImage& image, const std::vector<std::uint8_t>& profile,
               float dpi = 300.0f);

// A project in a private work folder (XDG_CACHE_HOME and XDG_CONFIG_HOME of
// a temporary folder) with the fakes attached, no LUTs, an sRGB monitor,
// an sRGB working space and sRGB as the default input profile. Messages
// are recorded.
class ProjectFixture : public ::testing::Test
{
protected:
    ProjectFixture();
    ~ProjectFixture() override;

    // Writes a 16-bit TIFF of a gradient into the temporary folder (the
    // profile: none when empty) and adds it to the list. Returns its path.
    std::string AddTiff(const std::string& name, int width, int height,
                        const std::vector<std::uint8_t>& profile = {});
    // The list entry with that path (the test fails when there is none).
    CImageFileInfo& Entry(const std::string& path);
    // Loads the entry interactively; the test fails when it does not load.
    void Load(const std::string& path);

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_cache;
    testsupport::ScopedEnv m_config;
    testsupport::RecordingMessageSink m_messages;
    CColorProfile m_monitor;
    CColorProfile m_working;
    CColorProfile m_input;
    FakeImageView m_view;
    FakeShell m_shell;
    FakePrintDialogs m_printDialogs;
    std::unique_ptr<CProjectManage> m_project;
};

} // namespace projecttest
