#pragma once
// Fixtures shared by the suites of the correction documents: the working
// colour space, pixel snapshots and comparisons, rows of chosen L*a*b*
// colours, parameter files in and out, and a progress recorder.

#include "core/CIEColor.h"
#include "core/RGB16.h"
#include "core/RGBImage.h"
#include "core/StdMatrix.h"
#include "correction/BaseDoc.h"
#include "correction/ParamFile.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace correctiontest {

// Linear sRGB (D65) onto XYZ with 65535 at Y = 100.
CStdMatrix WorkingSpace();

// A small linear congruential generator for reproducible noise: the
// high 16 bits of each state.
class Lcg16
{
public:
    explicit Lcg16(std::uint32_t seed) : m_state(seed) {}
    std::uint16_t operator()()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return static_cast<std::uint16_t>(m_state >> 16);
    }

private:
    std::uint32_t m_state;
};

// The stored pixels of an image, row by row.
std::vector<RGB16> Pixels(CRGBImage& image);

bool SamePixel(const RGB16& a, const RGB16& b);
bool SamePixels(const std::vector<RGB16>& a, const std::vector<RGB16>& b);

// The whole step on an image in the working space, one tile, no cube-root
// table.
bool Process(CBaseDoc& doc, CRGBImage& image, Progress progress = {});

// One row of pixels as near the given Lab colours as 16 bits get, with the
// Lab each pixel really has.
struct LabRow
{
    CRGBImage image;
    std::vector<CCIELab> lab;
};

LabRow MakeLabRow(const std::vector<CCIELab>& colours);

// The Lab of every pixel in the working space, row by row.
std::vector<CCIELab> LabOf(CRGBImage& image);

// A document of type Doc loaded from a parameter file holding text; a file
// that does not load or a section that does not parse fails the test.
template <class Doc> Doc LoadDoc(const std::string& text)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("params.qzp");
    testsupport::WriteTextFile(path, text);
    CParamFileReader reader;
    EXPECT_TRUE(reader.Load(path));
    Doc doc;
    EXPECT_TRUE(doc.LoadParams(reader));
    return doc;
}

// The parameter file text of one document.
std::string SaveText(const CBaseDoc& doc);

// The percents of a run, for a sink that can also stop it: it answers
// false (stop) on its stopAfter-th report, true otherwise.
struct ProgressLog final : IProgressSink
{
    std::vector<double> percents;
    int stopAfter = -1;

    bool Report(double percent) override;
};

} // namespace correctiontest
