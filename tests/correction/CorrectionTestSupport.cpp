#include "tests/correction/CorrectionTestSupport.h"

#include "core/ImageAccess.h"

namespace correctiontest {

CStdMatrix WorkingSpace()
{
    const double k = 100.0 / 65535.0;
    return CStdMatrix(0.4124 * k, 0.3576 * k, 0.1805 * k, 0.2126 * k, 0.7152 * k, 0.0722 * k,
                      0.0193 * k, 0.1192 * k, 0.9505 * k);
}

std::vector<RGB16> Pixels(CRGBImage& image)
{
    const RGB16* p = image.Lock();
    std::vector<RGB16> v(p, p + image.GetPixelCount());
    image.Unlock();
    return v;
}

bool SamePixel(const RGB16& a, const RGB16& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

bool SamePixels(const std::vector<RGB16>& a, const std::vector<RGB16>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        if (!SamePixel(a[i], b[i]))
            return false;
    }
    return true;
}

bool Process(CBaseDoc& doc, CRGBImage& image, Progress progress)
{
    return doc.ProcessImage(image, nullptr, WorkingSpace(), nullptr, 1.0, nullptr, progress,
                            nullptr);
}

LabRow MakeLabRow(const std::vector<CCIELab>& colours)
{
    LabRow row{CRGBImage(static_cast<int>(colours.size()), 1), {}};
    CAccessRGBImageByLab access(row.image, nullptr, WorkingSpace());
    for (std::size_t i = 0; i < colours.size(); ++i)
    {
        CCIEXYZ xyz;
        access.LabToXYZ(1, &colours[i], &xyz);
        RGB16 px;
        access.GetXYZToRGB().XYZToPixel(px, xyz);
        access.SetPixel(static_cast<int>(i), 0, px);
        CCIELab actual;
        access.GetLabAt(static_cast<int>(i), 0, actual);
        row.lab.push_back(actual);
    }
    return row;
}

std::vector<CCIELab> LabOf(CRGBImage& image)
{
    CAccessRGBImageByLab access(image, nullptr, WorkingSpace());
    std::vector<CCIELab> out;
    for (int y = 0; y < image.GetHeight(); ++y)
    {
        for (int x = 0; x < image.GetWidth(); ++x)
        {
            CCIELab lab;
            access.GetLabAt(x, y, lab);
            out.push_back(lab);
        }
    }
    return out;
}

std::string SaveText(const CBaseDoc& doc)
{
    CParamFileWriter writer;
    EXPECT_TRUE(doc.SaveParams(writer));
    return writer.GetText();
}

bool ProgressLog::Report(double percent)
{
    percents.push_back(percent);
    return static_cast<int>(percents.size()) != stopAfter;
}

} // namespace correctiontest
