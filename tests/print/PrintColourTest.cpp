// Both print jobs print the image's own colours, whatever the monitor: a
// wide-gamut 16-bit TIFF loaded by the project on a P3-like monitor
// (neither sRGB nor the image's space) is printed through every colour
// path, and the pixels read back from the PDF are within 2 levels of
// LittleCMS's conversion of the file's pixels to the path's profile.

#include "print/IndexImage.h"
#include "print/PageGeometry.h"
#include "print/PrintIndexJob.h"
#include "print/PrintJob.h"
#include "core/SRGBProfile.h"
#include "tests/correction/ProjectTestSupport.h"
#include "tests/print/PdfReadBack.h"
#include "tests/support/TestProfiles.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <QImage>
#include <QPageSize>
#include <QPrinter>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr int kWidth = 64;
constexpr int kHeight = 50;

// A printer-like output profile, narrower than sRGB, on a D50 white.
Bytes PrinterProfileBytes()
{
    const cmsCIExyY white{0.3457, 0.3585, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.60, 0.34, 1.0}, {0.32, 0.55, 1.0}, {0.17, 0.10, 1.0}};
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.8);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE h = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    Bytes bytes;
    cmsUInt32Number size = 0;
    if (h)
    {
        cmsSetDeviceClass(h, cmsSigOutputClass);
        if (cmsSaveProfileToMem(h, nullptr, &size) && size > 0)
        {
            bytes.resize(size);
            cmsSaveProfileToMem(h, bytes.data(), &size);
        }
        cmsCloseProfile(h);
    }
    return bytes;
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
}

class PrintColourTest : public projecttest::ProjectFixture
{
protected:
    PrintColourTest()
        : m_data("XDG_DATA_HOME", m_dir.Path() + "data"), m_pdf(m_dir.File("colour.pdf")),
          m_p3(projecttest::OpenProfile(testsupport::P3LikeProfileBytes(), "p3.icm"))
    {
    }

    void SetUp() override
    {
        if (!HavePoppler())
            GTEST_SKIP() << "poppler-utils are not installed";
        ASSERT_TRUE(EnsureSRGBProfileInstalled());
        m_wide = projecttest::WideProfileBytes();
        m_path = AddTiff("wide.tif", kWidth, kHeight, m_wide);
        Load(m_path);
        // The monitor is P3-like: were the copy made for it, the printed
        // colours would be clipped to its gamut and shifted by its curves.
        ASSERT_TRUE(m_project->SetOutputProfile(&m_p3));
        m_printerProfile = m_dir.File("printer.icc");
        WriteBytes(m_printerProfile, PrinterProfileBytes());
    }

    std::unique_ptr<QPrinter> PdfPrinter()
    {
        std::remove(m_pdf.c_str());
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QString::fromStdString(m_pdf));
        printer->setResolution(300);
        printer->setPageSize(QPageSize(QPageSize::A4));
        printer->setFullPage(true);
        return printer;
    }

    // The paths and the profile each must come out in.
    struct Case
    {
        const char* name;
        PrintColorPath path;
        std::string chosen;
        std::string associated;
        bool toPrinter;
    };
    std::vector<Case> Cases() const
    {
        return {
            {"no printer profile: sRGB", PrintColorPath::NoPrinterProfile, "", "", false},
            {"the chosen printer profile", PrintColorPath::PrinterProfile, m_printerProfile, "",
             true},
            {"the printer's own profile", PrintColorPath::PrinterAssociated, "", m_printerProfile,
             true},
        };
    }

    // LittleCMS's conversion of the file's own pixels.
    Bytes Expected(bool toPrinter)
    {
        CRGBImage file = projecttest::GradientImage(kWidth, kHeight);
        const Bytes result = testsupport::ReferenceRgb16To8(
            m_wide, toPrinter ? PrinterProfileBytes() : projecttest::SRGBProfileBytes(),
            &file.Lock()->r, file.GetPixelCount());
        file.Unlock();
        return result;
    }

    // The largest channel difference of the first embedded image from the
    // expected RGB bytes (256 when the sizes differ).
    int Worst(const Bytes& expected)
    {
        const QImage sent = FirstEmbeddedImage(m_pdf, m_dir.File("sent"));
        if (sent.width() != kWidth || sent.height() != kHeight)
            return 256;
        int worst = 0;
        for (int y = 0; y < kHeight; ++y)
        {
            const uchar* a = sent.constScanLine(y);
            const std::uint8_t* e = &expected[static_cast<std::size_t>(y) * kWidth * 3];
            for (int i = 0; i < kWidth * 3; ++i)
                worst = std::max(worst, std::abs(int{a[i]} - int{e[i]}));
        }
        return worst;
    }

    testsupport::ScopedEnv m_data;
    std::string m_pdf;
    CColorProfile m_p3;
    Bytes m_wide;
    std::string m_path;
    std::string m_printerProfile;
};

TEST_F(PrintColourTest, TheSingleImagePrintShowsTheImagesColoursOnEveryPath)
{
    bool opened = false;
    m_printDialogs.onImageDialog = [&](const CRGBImage& copy, const LogColorSpace& space) {
        opened = true;
        for (const Case& c : Cases())
        {
            SCOPED_TRACE(c.name);
            PrintImageRequest request;
            request.image = &copy;
            request.colorSpace = &space;
            // One dot a pixel: 64 x 50 dots at 300 dpi.
            request.printWidth = 54;
            request.printHeight = 42;
            request.originX = 100;
            request.originY = 100;
            request.path = c.path;
            request.printerProfilePath = c.chosen;
            request.documentName = "wide.tif";
            const PageGeometry page{2480, 3508, 2480, 3508, 0, 0, 300, 300};
            auto printer = PdfPrinter();
            ASSERT_EQ(PrintImageOnPrinter(*printer, page, c.associated, request, nullptr).result,
                      PrintJobResult::Printed);
            EXPECT_LE(Worst(Expected(c.toPrinter)), 2);
        }
    };
    m_project->PrintImage();
    m_printDialogs.onImageDialog = nullptr;
    EXPECT_TRUE(opened);
}

TEST_F(PrintColourTest, TheIndexPrintShowsTheImagesColoursOnEveryPath)
{
    QWidget owner;
    for (const Case& c : Cases())
    {
        SCOPED_TRACE(c.name);
        CIndexImage index(*m_project);
        index.SetWorkerPause(1ms);
        index.Options.columns = 1;
        index.Options.rows = 1;
        index.ColorMode = c.path;
        index.PrinterProfile = c.chosen;
        ASSERT_TRUE(index.Build());
        auto printer = PdfPrinter();
        index.SetPageLayout(printer->width(), printer->height(), printer->resolution());
        IndexPrintRequest request;
        request.associatedProfile = c.associated;
        ASSERT_EQ(PrintIndexOn(index, *printer, &owner, request), IndexPrintResult::Printed);
        // The cell is smaller than its place: printed at its own pixels.
        EXPECT_LE(Worst(Expected(c.toPrinter)), 2);
    }
}

} // namespace
