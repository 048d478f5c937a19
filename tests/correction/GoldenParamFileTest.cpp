#include "correction/BaseDoc.h"
#include "correction/ChartDoc.h"
#include "correction/ColorCalibDoc.h"
#include "correction/ColorChangeDoc.h"
#include "correction/DNGParamDoc.h"
#include "correction/FilterDoc.h"
#include "correction/GrayCalibDoc.h"
#include "correction/TrimmingDoc.h"

#include "core/RGBImage.h"
#include "core/StdMatrix.h"
#include "tests/correction/CorrectionTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using correctiontest::WorkingSpace;
using testsupport::ReadTextFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteTextFile;

namespace {

// The parameter file of seven documents just constructed, byte for byte:
// sections in slot order, each opened by "Ver" and "Title", numbers in the
// C locale, LF line ends.
constexpr const char* kDefaultParamFile = R"([qzDNGParamDoc]
Ver=2.0
Title=
AsShot=1
Temperature=6500
Tint=0
Exposure=0
Shadow=0
[qzChartDoc]
Ver=2.0
Title=
UseGrayScale=1
GrayScaleCol=1
GrayScaleRow=6
GC_000_000=0.0000000000,0.0000000000,0.0000000000,
GC_000_001=0.0000000000,0.0000000000,0.0000000000,
GC_000_002=0.0000000000,0.0000000000,0.0000000000,
GC_000_003=0.0000000000,0.0000000000,0.0000000000,
GC_000_004=0.0000000000,0.0000000000,0.0000000000,
GC_000_005=0.0000000000,0.0000000000,0.0000000000,
AdjustBlackLevel=0
AdjustWhiteLevel=0
UseColorChart=1
ColorChartCol=3
ColorChartRow=6
CC_000_000=0.0000000000,0.0000000000,0.0000000000,
CC_000_001=0.0000000000,0.0000000000,0.0000000000,
CC_000_002=0.0000000000,0.0000000000,0.0000000000,
CC_000_003=0.0000000000,0.0000000000,0.0000000000,
CC_000_004=0.0000000000,0.0000000000,0.0000000000,
CC_000_005=0.0000000000,0.0000000000,0.0000000000,
CC_001_000=0.0000000000,0.0000000000,0.0000000000,
CC_001_001=0.0000000000,0.0000000000,0.0000000000,
CC_001_002=0.0000000000,0.0000000000,0.0000000000,
CC_001_003=0.0000000000,0.0000000000,0.0000000000,
CC_001_004=0.0000000000,0.0000000000,0.0000000000,
CC_001_005=0.0000000000,0.0000000000,0.0000000000,
CC_002_000=0.0000000000,0.0000000000,0.0000000000,
CC_002_001=0.0000000000,0.0000000000,0.0000000000,
CC_002_002=0.0000000000,0.0000000000,0.0000000000,
CC_002_003=0.0000000000,0.0000000000,0.0000000000,
CC_002_004=0.0000000000,0.0000000000,0.0000000000,
CC_002_005=0.0000000000,0.0000000000,0.0000000000,
CR_000_000=0.0000000000,0.0000000000,0.0000000000,
CR_000_001=0.0000000000,0.0000000000,0.0000000000,
CR_000_002=0.0000000000,0.0000000000,0.0000000000,
CR_000_003=0.0000000000,0.0000000000,0.0000000000,
CR_000_004=0.0000000000,0.0000000000,0.0000000000,
CR_000_005=0.0000000000,0.0000000000,0.0000000000,
CR_001_000=0.0000000000,0.0000000000,0.0000000000,
CR_001_001=0.0000000000,0.0000000000,0.0000000000,
CR_001_002=0.0000000000,0.0000000000,0.0000000000,
CR_001_003=0.0000000000,0.0000000000,0.0000000000,
CR_001_004=0.0000000000,0.0000000000,0.0000000000,
CR_001_005=0.0000000000,0.0000000000,0.0000000000,
CR_002_000=0.0000000000,0.0000000000,0.0000000000,
CR_002_001=0.0000000000,0.0000000000,0.0000000000,
CR_002_002=0.0000000000,0.0000000000,0.0000000000,
CR_002_003=0.0000000000,0.0000000000,0.0000000000,
CR_002_004=0.0000000000,0.0000000000,0.0000000000,
CR_002_005=0.0000000000,0.0000000000,0.0000000000,
[qzTrimmingDoc]
Ver=2.0
Title=
OrgWidth=0
OrgHeight=0
TrmPosX=0
TrmPosY=0
TrmWidth=0
TrmHeight=0
TrmRatioType=9
SizeMode=0
SizePixelWidth=0
SizePixelHeight=0
SizeMMWidth100=0
SizeMMHeight100=0
SizeDPI=300
SizeRatioFix=1
[qzGrayCalibDoc]
Ver=2.0
Title=
OffsetTemp=0
InBlackLevel=0
InWhiteLevel=255
InGamma=1.000000
OutBlackLevel=0
OutWhiteLevel=255
RandamScale=0
ScaleCount=1
ScaleTableX000=0.500000
ScaleTableY000=0.500000
[qzColorCalibDoc]
Ver=2.0
Title=
Offset=0.000000
Direction=0.000000
Sat=50.000000
Hue=0.000000
fRandamCalib=0
ColorCount=6
ChartLchRef000=50.0000000000,50.0000000000,30.0000000000,
LchBefore000=50.0000000000,50.0000000000,30.0000000000,
LchAfter000=50.0000000000,50.0000000000,30.0000000000,
ChartLchRef001=50.0000000000,50.0000000000,90.0000000000,
LchBefore001=50.0000000000,50.0000000000,90.0000000000,
LchAfter001=50.0000000000,50.0000000000,90.0000000000,
ChartLchRef002=50.0000000000,50.0000000000,150.0000000000,
LchBefore002=50.0000000000,50.0000000000,150.0000000000,
LchAfter002=50.0000000000,50.0000000000,150.0000000000,
ChartLchRef003=50.0000000000,50.0000000000,210.0000000000,
LchBefore003=50.0000000000,50.0000000000,210.0000000000,
LchAfter003=50.0000000000,50.0000000000,210.0000000000,
ChartLchRef004=50.0000000000,50.0000000000,270.0000000000,
LchBefore004=50.0000000000,50.0000000000,270.0000000000,
LchAfter004=50.0000000000,50.0000000000,270.0000000000,
ChartLchRef005=50.0000000000,50.0000000000,330.0000000000,
LchBefore005=50.0000000000,50.0000000000,330.0000000000,
LchAfter005=50.0000000000,50.0000000000,330.0000000000,
[qzColorChangeDoc]
Ver=2.0
Title=
LChBeforMin000=0.0000000000,0.0000000000,0.0000000000,
LChBeforCenter000=0.0000000000,0.0000000000,0.0000000000,
LChBeforMax000=0.0000000000,0.0000000000,0.0000000000,
LChAfter000=0.0000000000,0.0000000000,0.0000000000,
Hendou000=0
RectData000Left=0
RectData000Top=0
RectData000Right=0
RectData000Bottom=0
RectImage000Left=0
RectImage000Top=0
RectImage000Right=0
RectImage000Bottom=0
LChSetting000=0.0000000000,0.0000000000,0.0000000000,
HendouEffectK000=0.000000
HendouRangeDeltaE000=20.000000
LChBeforMin001=0.0000000000,0.0000000000,0.0000000000,
LChBeforCenter001=0.0000000000,0.0000000000,0.0000000000,
LChBeforMax001=0.0000000000,0.0000000000,0.0000000000,
LChAfter001=0.0000000000,0.0000000000,0.0000000000,
Hendou001=0
RectData001Left=0
RectData001Top=0
RectData001Right=0
RectData001Bottom=0
RectImage001Left=0
RectImage001Top=0
RectImage001Right=0
RectImage001Bottom=0
LChSetting001=0.0000000000,0.0000000000,0.0000000000,
HendouEffectK001=0.000000
HendouRangeDeltaE001=20.000000
LChBeforMin002=0.0000000000,0.0000000000,0.0000000000,
LChBeforCenter002=0.0000000000,0.0000000000,0.0000000000,
LChBeforMax002=0.0000000000,0.0000000000,0.0000000000,
LChAfter002=0.0000000000,0.0000000000,0.0000000000,
Hendou002=0
RectData002Left=0
RectData002Top=0
RectData002Right=0
RectData002Bottom=0
RectImage002Left=0
RectImage002Top=0
RectImage002Right=0
RectImage002Bottom=0
LChSetting002=0.0000000000,0.0000000000,0.0000000000,
HendouEffectK002=0.000000
HendouRangeDeltaE002=20.000000
LChBeforMin003=0.0000000000,0.0000000000,0.0000000000,
LChBeforCenter003=0.0000000000,0.0000000000,0.0000000000,
LChBeforMax003=0.0000000000,0.0000000000,0.0000000000,
LChAfter003=0.0000000000,0.0000000000,0.0000000000,
Hendou003=0
RectData003Left=0
RectData003Top=0
RectData003Right=0
RectData003Bottom=0
RectImage003Left=0
RectImage003Top=0
RectImage003Right=0
RectImage003Bottom=0
LChSetting003=0.0000000000,0.0000000000,0.0000000000,
HendouEffectK003=0.000000
HendouRangeDeltaE003=20.000000
LChBeforMin004=0.0000000000,0.0000000000,0.0000000000,
LChBeforCenter004=0.0000000000,0.0000000000,0.0000000000,
LChBeforMax004=0.0000000000,0.0000000000,0.0000000000,
LChAfter004=0.0000000000,0.0000000000,0.0000000000,
Hendou004=0
RectData004Left=0
RectData004Top=0
RectData004Right=0
RectData004Bottom=0
RectImage004Left=0
RectImage004Top=0
RectImage004Right=0
RectImage004Bottom=0
LChSetting004=0.0000000000,0.0000000000,0.0000000000,
HendouEffectK004=0.000000
HendouRangeDeltaE004=20.000000
LChBeforMin005=0.0000000000,0.0000000000,0.0000000000,
LChBeforCenter005=0.0000000000,0.0000000000,0.0000000000,
LChBeforMax005=0.0000000000,0.0000000000,0.0000000000,
LChAfter005=0.0000000000,0.0000000000,0.0000000000,
Hendou005=0
RectData005Left=0
RectData005Top=0
RectData005Right=0
RectData005Bottom=0
RectImage005Left=0
RectImage005Top=0
RectImage005Right=0
RectImage005Bottom=0
LChSetting005=0.0000000000,0.0000000000,0.0000000000,
HendouEffectK005=0.000000
HendouRangeDeltaE005=20.000000
LChBeforMin006=0.0000000000,0.0000000000,0.0000000000,
LChBeforCenter006=0.0000000000,0.0000000000,0.0000000000,
LChBeforMax006=0.0000000000,0.0000000000,0.0000000000,
LChAfter006=0.0000000000,0.0000000000,0.0000000000,
Hendou006=0
RectData006Left=0
RectData006Top=0
RectData006Right=0
RectData006Bottom=0
RectImage006Left=0
RectImage006Top=0
RectImage006Right=0
RectImage006Bottom=0
LChSetting006=0.0000000000,0.0000000000,0.0000000000,
HendouEffectK006=0.000000
HendouRangeDeltaE006=20.000000
LChBeforMin007=0.0000000000,0.0000000000,0.0000000000,
LChBeforCenter007=0.0000000000,0.0000000000,0.0000000000,
LChBeforMax007=0.0000000000,0.0000000000,0.0000000000,
LChAfter007=0.0000000000,0.0000000000,0.0000000000,
Hendou007=0
RectData007Left=0
RectData007Top=0
RectData007Right=0
RectData007Bottom=0
RectImage007Left=0
RectImage007Top=0
RectImage007Right=0
RectImage007Bottom=0
LChSetting007=0.0000000000,0.0000000000,0.0000000000,
HendouEffectK007=0.000000
HendouRangeDeltaE007=20.000000
LChBeforMin008=0.0000000000,0.0000000000,0.0000000000,
LChBeforCenter008=0.0000000000,0.0000000000,0.0000000000,
LChBeforMax008=0.0000000000,0.0000000000,0.0000000000,
LChAfter008=0.0000000000,0.0000000000,0.0000000000,
Hendou008=0
RectData008Left=0
RectData008Top=0
RectData008Right=0
RectData008Bottom=0
RectImage008Left=0
RectImage008Top=0
RectImage008Right=0
RectImage008Bottom=0
LChSetting008=0.0000000000,0.0000000000,0.0000000000,
HendouEffectK008=0.000000
HendouRangeDeltaE008=20.000000
LChBeforMin009=0.0000000000,0.0000000000,0.0000000000,
LChBeforCenter009=0.0000000000,0.0000000000,0.0000000000,
LChBeforMax009=0.0000000000,0.0000000000,0.0000000000,
LChAfter009=0.0000000000,0.0000000000,0.0000000000,
Hendou009=0
RectData009Left=0
RectData009Top=0
RectData009Right=0
RectData009Bottom=0
RectImage009Left=0
RectImage009Top=0
RectImage009Right=0
RectImage009Bottom=0
LChSetting009=0.0000000000,0.0000000000,0.0000000000,
HendouEffectK009=0.000000
HendouRangeDeltaE009=20.000000
[qzFilterDoc]
Ver=2.0
Title=
Radius=0
Amount=50
Threshold=0
)";

// The seven documents of a project, in slot order.
struct Documents
{
    CDNGParamDoc raw;
    CChartDoc chart;
    CTrimmingDoc trimming;
    CGrayCalibDoc gradation;
    CColorCalibDoc colourTone;
    CColorChangeDoc specifiedColour;
    CFilterDoc filter;

    std::vector<CBaseDoc*> All()
    {
        return {&raw, &chart, &trimming, &gradation, &colourTone, &specifiedColour, &filter};
    }
    std::vector<const CBaseDoc*> AllConst()
    {
        const std::vector<CBaseDoc*> docs = All();
        return {docs.begin(), docs.end()};
    }
    bool Save(const std::string& path) { return SaveParamFile(path, AllConst()); }
    bool Load(const std::string& path) { return LoadParamFile(path, All()); }
};

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size())
    {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines, const char* end = "\n")
{
    std::string text;
    for (const std::string& line : lines)
        text += line + end;
    return text;
}

class GoldenParamFileTest : public testing::Test
{
protected:
    std::string Path() const { return m_dir.File("project.qzp"); }

    TempDir m_dir;
    TempDir m_cache;
    ScopedEnv m_env{"XDG_CACHE_HOME", m_cache.Path()};
};

TEST_F(GoldenParamFileTest, SevenDefaultDocumentsSaveTheGoldenFile)
{
    Documents docs;
    ASSERT_TRUE(docs.Save(Path()));
    EXPECT_EQ(ReadTextFile(Path()), kDefaultParamFile);
}

TEST_F(GoldenParamFileTest, TheGoldenFileLoadsAsDefaultsInAnyLayout)
{
    const std::vector<std::string> lines = SplitLines(kDefaultParamFile);
    // The sections in reverse order, with CR LF line ends.
    std::vector<std::vector<std::string>> sections;
    for (const std::string& line : lines)
    {
        if (line.starts_with("["))
            sections.emplace_back();
        sections.back().push_back(line);
    }
    std::reverse(sections.begin(), sections.end());
    std::vector<std::string> reversed;
    for (const auto& section : sections)
        reversed.insert(reversed.end(), section.begin(), section.end());

    const std::string layouts[] = {kDefaultParamFile, JoinLines(lines, "\r\n"),
                                   JoinLines(reversed, "\r\n")};
    for (const std::string& text : layouts)
    {
        WriteTextFile(Path(), text);
        Documents docs;
        for (CBaseDoc* doc : docs.All())
            doc->SetTitle("to be replaced");
        docs.raw.GetParams().AsShot = 0;
        docs.raw.GetParams().Temperature = 3000;
        docs.trimming.SetOriginalSize(true, 640, 480, 72);
        ASSERT_TRUE(docs.Load(Path()));

        Documents defaults;
        const std::vector<CBaseDoc*> loaded = docs.All();
        const std::vector<CBaseDoc*> expected = defaults.All();
        for (std::size_t i = 0; i < loaded.size(); ++i)
        {
            SCOPED_TRACE(loaded[i]->GetSectionName());
            EXPECT_TRUE(loaded[i]->IsEqual(*expected[i]));
            EXPECT_EQ(loaded[i]->GetTitle(), "");
        }
        ASSERT_TRUE(docs.Save(Path()));
        EXPECT_EQ(ReadTextFile(Path()), kDefaultParamFile);
    }
}

// A dropped file is untrusted: whatever it holds, loading gives documents
// within their ranges that save and load again to the same file, and that
// apply to an image without fault (the sanitizers watch every step).
TEST_F(GoldenParamFileTest, MalformedFilesAreRefusedOrClampedNeverTrusted)
{
    const std::vector<std::string> golden = SplitLines(kDefaultParamFile);
    const char* hostile[] = {
        "nan",
        "inf",
        "-inf",
        "-1",
        "0",
        "2147483647",
        "2147483648",
        "-2147483649",
        "99999",
        "1e308",
        "-1e308",
        "",
        "abc",
        "1,2",
        ",,,,",
        "1.5,2.5,3.5",
        "nan,nan,nan,",
        "1e308,1e308,1e308,",
        "-5,-5,-5,",
        "400,400,400,",
        "\"quoted\"",
        "0x7fffffff",
    };
    // Counts and sizes that an unchecked reader would allocate from.
    const char* targeted[] = {
        "[qzChartDoc]\nGrayScaleCol=100000\nGrayScaleRow=100000\nColorChartCol=65536\n"
        "ColorChartRow=65536\n",
        "[qzChartDoc]\nGrayScaleCol=-3\nColorChartRow=-1\nCC_000_000=1,2,3,\n",
        "[qzGrayCalibDoc]\nScaleCount=99999\nScaleTableX99998=0.5\n",
        "[qzGrayCalibDoc]\nScaleCount=20\nInBlackLevel=255\nInWhiteLevel=255\nInGamma=nan\n",
        "[qzColorCalibDoc]\nColorCount=1000000\nOffset=inf\nSat=-1e308\n",
        "[qzColorCalibDoc]\nColorCount=-7\nChartLchRef000=50,50,nan,\n",
        "[qzColorChangeDoc]\nactiveElement=10\nLChBeforMin000=nan,0,0,\n"
        "LChBeforCenter000=50,10,355,\nLChBeforMax000=60,1e308,10,\nLChAfter000=1e308,0,0,\n"
        "Hendou000=1\nHendouEffectK000=1\nRectImage000Right=5\nRectImage000Bottom=5\n",
        "[qzFilterDoc]\nRadius=2000000000\nAmount=-5\nThreshold=9999\n",
        "[qzTrimmingDoc]\nOrgWidth=16\nOrgHeight=16\nTrmPosX=0\nTrmPosY=0\nTrmWidth=16\n"
        "TrmHeight=16\nSizePixelWidth=50\nSizePixelHeight=50\nSizeMMWidth100=423\n"
        "SizeMMHeight100=423\nSizeDPI=300\n",
        "[qzDNGParamDoc]\nAsShot=2\nTemperature=1e9\nShadow=100\nExposure=400\n",
    };

    std::vector<std::string> files;
    std::mt19937 rng(20240607);
    for (int i = 0; i < 120; ++i)
    {
        std::vector<std::string> lines = golden;
        const int edits = 1 + static_cast<int>(rng() % 6);
        for (int e = 0; e < edits; ++e)
        {
            const std::size_t at = rng() % lines.size();
            std::string& line = lines[at];
            const std::size_t equals = line.find('=');
            switch (rng() % 5)
            {
            case 0:
            case 1: // a hostile value
                if (equals != std::string::npos)
                    line = line.substr(0, equals + 1) + hostile[rng() % std::size(hostile)];
                break;
            case 2: // a line lost
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
                break;
            case 3: // a byte changed
                if (!line.empty())
                    line[rng() % line.size()] = static_cast<char>(rng() % 256);
                break;
            default: // a line twice
                lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), line);
                break;
            }
            if (lines.empty())
                lines.push_back("[x]");
        }
        std::string text = JoinLines(lines);
        if (rng() % 4 == 0)
            text.resize(rng() % (text.size() + 1)); // cut short
        files.push_back(text);
    }
    for (const char* text : targeted)
        files.emplace_back(text);

    const ScopedStepEditionPolicy everyStep(StepEditionPolicy::AllStepsEnabled);
    const CStdMatrix working = WorkingSpace();
    for (std::size_t f = 0; f < files.size(); ++f)
    {
        SCOPED_TRACE("file " + std::to_string(f) + ":\n" + files[f].substr(0, 400));
        WriteTextFile(Path(), files[f]);
        Documents docs;
        ASSERT_TRUE(docs.Load(Path()));

        // Saved once, the loaded values are a fixed point of save and load.
        const std::string normalised = m_dir.File("normalised.qzp");
        ASSERT_TRUE(docs.Save(normalised));
        Documents again;
        ASSERT_TRUE(again.Load(normalised));
        const std::string second = m_dir.File("second.qzp");
        ASSERT_TRUE(again.Save(second));
        EXPECT_EQ(ReadTextFile(second), ReadTextFile(normalised));

        CRGBImage image(16, 16);
        RGB16* pixels = image.Lock();
        for (int p = 0; p < 256; ++p)
            pixels[p] = {static_cast<std::uint16_t>(p * 257), static_cast<std::uint16_t>(p * 101),
                         static_cast<std::uint16_t>(65535 - p * 200)};
        image.Unlock();
        for (CBaseDoc* doc : docs.All())
        {
            SCOPED_TRACE(doc->GetSectionName());
            doc->ProcessImage(image, nullptr, working, nullptr, 1.0, nullptr, {}, nullptr);
            ASSERT_FALSE(image.IsEmpty());
        }
    }
}

} // namespace
