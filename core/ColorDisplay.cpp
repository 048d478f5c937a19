#include "core/ColorDisplay.h"

#include "core/ColorConverter.h"
#include "core/ColorTransform.h"
#include "core/ImageAccess.h"
#include "core/ImageEx.h"
#include "core/ProfileDirectory.h"
#include "core/ProfileStore.h"
#include "core/RGBImage.h"
#include "core/RowBands.h"
#include "core/SRGBProfile.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

// Where the pixels come from: a LittleCMS profile, the intent to convert
// with, and the colour-space record that describes it (to tell when the
// destination is the same space).
struct Source
{
    LcmsProfilePtr profile;
    cmsUInt32Number intent = INTENT_PERCEPTUAL;
    LogColorSpace record;
    bool hasRecord = false;
};

// The sRGB profile of the colour directory (created there when missing).
bool OpenSRGBProfile(CColorProfile& profile)
{
    std::string folder;
    if (!GetColorDirectory(folder))
        return false;
    return profile.Open(folder + GetSRGBProfileFileName());
}

Source MakeSource(const LogColorSpace* colorSpace)
{
    Source source;
    if (colorSpace)
    {
        source.profile = CreateLcmsProfileFromLogColorSpace(*colorSpace);
        source.intent = LcmsIntentFromLogColorSpace(*colorSpace);
        source.record = *colorSpace;
        source.hasRecord = true;
        return source;
    }
    CColorProfile srgb;
    if (OpenSRGBProfile(srgb))
    {
        source.profile = srgb.OpenLcmsProfile();
        source.hasRecord = srgb.GetLogColorSpace(source.record, false);
    }
    return source;
}

// Copies the pixels into the result unless it is the image itself.
void CopyInto(const CImageEx& image, CImageEx& converted)
{
    if (&converted != &image)
        converted = image;
}

// The pixels from the colour space to the destination profile; see the
// header for the result.
bool ConvertImage(const CImageEx& image, CImageEx& converted, const LogColorSpace* colorSpace,
                  const CColorProfile* destination)
{
    CopyInto(image, converted);
    if (converted.IsNull() || !destination)
        return false;
    CPixelConversion conversion;
    if (!conversion.Prepare(colorSpace, *destination))
        return false;
    conversion.ConvertRows(converted.GetBits(), converted.GetWidth(), converted.GetHeight(),
                           converted.GetPitch());
    return true;
}

bool Inside(const CRect& r, int width, int height)
{
    return r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height;
}

} // namespace

void CPixelConversion::TransformDeleter::operator()(void* transform) const
{
    cmsDeleteTransform(transform);
}

bool CPixelConversion::Prepare(const LogColorSpace* colorSpace, const CColorProfile& destination,
                               const CColorProfile* proof, std::string* reason, PixelInput input)
{
    m_ready = false;
    m_input = input;
    m_transform.reset();
    const auto fail = [reason](const char* why) {
        if (reason)
            *reason = why;
        return false;
    };

    Source source = MakeSource(colorSpace);
    if (!source.profile)
        return fail(colorSpace ? "the image's colour space is not a calibrated RGB space"
                               : "the sRGB profile cannot be opened");
    if (!proof && source.hasRecord && destination.IsSameLogColorSpace(source.record))
    {
        if (input == PixelInput::Bgr8)
        {
            m_ready = true;
            return true;
        }
        // The same space: 16-bit values are only brought to 8 bits, through
        // the destination's own curves rather than the record's gammas.
        if (LcmsProfilePtr same = destination.OpenLcmsProfile())
            source.profile = std::move(same);
    }

    const LcmsProfilePtr output = destination.OpenLcmsProfile();
    if (!output)
        return fail("the destination profile cannot be read");
    LcmsProfilePtr proofProfile;
    if (proof)
    {
        proofProfile = proof->OpenLcmsProfile();
        if (!proofProfile)
            return fail("the proof profile cannot be read");
    }
    // 16-bit input is evaluated without LittleCMS's precalculated grid:
    // from linear values a grid would sample the shadows far too coarsely.
    const cmsUInt32Number inputFormat = input == PixelInput::Rgb16 ? TYPE_RGB_16 : TYPE_BGR_8;
    const cmsUInt32Number flags =
        cmsFLAGS_NOCACHE | (input == PixelInput::Rgb16 ? cmsFLAGS_NOOPTIMIZE : 0);
    cmsHTRANSFORM transform =
        proofProfile
            ? cmsCreateProofingTransformTHR(QuietLcmsContext(), source.profile.get(), inputFormat,
                                            output.get(), TYPE_BGR_8, proofProfile.get(),
                                            source.intent, INTENT_RELATIVE_COLORIMETRIC,
                                            cmsFLAGS_SOFTPROOFING | flags)
            : cmsCreateTransformTHR(QuietLcmsContext(), source.profile.get(), inputFormat,
                                    output.get(), TYPE_BGR_8, source.intent, flags);
    if (!transform)
        return fail("no transform between the profiles can be made");
    m_transform.reset(transform);
    m_ready = true;
    return true;
}

void CPixelConversion::ConvertRows(std::uint8_t* bits, int width, int rows, int pitch) const
{
    if (!m_transform || m_input != PixelInput::Bgr8 || width <= 0 || rows <= 0)
        return;
    // In place: input and output pixels have the same size.
    const auto stride = static_cast<cmsUInt32Number>(pitch);
    cmsDoTransformLineStride(m_transform.get(), bits, bits, static_cast<cmsUInt32Number>(width),
                             static_cast<cmsUInt32Number>(rows), stride, stride, 0, 0);
}

void CPixelConversion::ConvertRows16(const RGB16* in, std::size_t inStride, std::uint8_t* out,
                                     int outPitch, int width, int rows) const
{
    if (!m_transform || m_input != PixelInput::Rgb16 || width <= 0 || rows <= 0)
        return;
    cmsDoTransformLineStride(m_transform.get(), in, out, static_cast<cmsUInt32Number>(width),
                             static_cast<cmsUInt32Number>(rows),
                             static_cast<cmsUInt32Number>(inStride * sizeof(RGB16)),
                             static_cast<cmsUInt32Number>(outPitch), 0, 0);
}

bool DrawDIBWithColorSpace(const CImageEx& image, CImageEx& converted,
                           const LogColorSpace* colorSpace, const CColorProfile* deviceProfile)
{
    if (deviceProfile)
        return ConvertImage(image, converted, colorSpace, deviceProfile);
    if (const CColorProfile* monitor = GetMonitorProfile())
        return ConvertImage(image, converted, colorSpace, monitor);
    CColorProfile srgb;
    return ConvertImage(image, converted, colorSpace, OpenSRGBProfile(srgb) ? &srgb : nullptr);
}

bool DrawDIBWithMonitorProfile(const std::string& profilePath, const CImageEx& image,
                               CImageEx& converted, const LogColorSpace* colorSpace)
{
    CColorProfile destination;
    if (!profilePath.empty())
        return ConvertImage(image, converted, colorSpace,
                            destination.Open(profilePath) ? &destination : nullptr);
    if (const CColorProfile* monitor = GetMonitorProfile())
        return ConvertImage(image, converted, colorSpace, monitor);
    return ConvertImage(image, converted, colorSpace,
                        OpenSRGBProfile(destination) ? &destination : nullptr);
}

namespace {

// The rows of a 16-bit image through a prepared 16-bit conversion into a
// display image of its size, in bands over the row threads.
bool ConvertRowsInto(const CPixelConversion& conversion, const CRGBImage& image, CImageEx& display)
{
    const int width = image.GetWidth();
    const RGB16* pixels = image.GetPixels();
    if (!pixels || !display.Create(width, image.GetHeight()))
        return false;
    const std::size_t stride = static_cast<std::size_t>(width);
    RunRowBands(image.GetHeight(), {}, [&](int first, int end) {
        conversion.ConvertRows16(pixels + static_cast<std::size_t>(first) * stride, stride,
                                 display.GetPixelAddress(0, first), display.GetPitch(), width,
                                 end - first);
    });
    return true;
}

} // namespace

bool ConvertImageForProfile(const std::string& profilePath, const CRGBImage& image,
                            CImageEx& display, const LogColorSpace* colorSpace)
{
    display = CImageEx();
    if (image.IsEmpty())
        return false;
    CColorProfile destination;
    const CColorProfile* target = nullptr;
    if (!profilePath.empty())
        target = destination.Open(profilePath) ? &destination : nullptr;
    else if (const CColorProfile* monitor = GetMonitorProfile())
        target = monitor;
    else if (OpenSRGBProfile(destination))
        target = &destination;
    CPixelConversion conversion;
    if (target && conversion.Prepare(colorSpace, *target, nullptr, nullptr, PixelInput::Rgb16))
        return ConvertRowsInto(conversion, image, display);
    CColorProfile srgb;
    if (OpenSRGBProfile(srgb) &&
        conversion.Prepare(colorSpace, srgb, nullptr, nullptr, PixelInput::Rgb16))
        ConvertRowsInto(conversion, image, display);
    return false;
}

bool DrawDIBWithProfile(const LogColorSpace* colorSpace, const CImageEx& image, CImageEx& converted)
{
    if (!colorSpace)
    {
        CopyInto(image, converted);
        return !converted.IsNull();
    }
    CColorProfile srgb;
    if (!OpenSRGBProfile(srgb))
    {
        CopyInto(image, converted);
        return false;
    }
    // ConvertImage leaves the pixels as they are when the record is sRGB's.
    return ConvertImage(image, converted, colorSpace, &srgb);
}

// Destination rows are shared out in bands by RunRowBands. A band converts its
// rows as CopyRectConverted does: equal sizes row by row; otherwise the
// distinct source columns of a row once, again only when the source row
// changes.
bool CopyRectConvertedParallel(CRGBImage& image, CImageEx& display, const CRect& src,
                               const CRect& dst, const CRGBMatrix* matrix,
                               const CRGBGammaTable* tables, const CColorTransform* transform,
                               const CColorTransform* secondTransform, unsigned threadCount)
{
    if (src.IsRectEmpty() || dst.IsRectEmpty())
        return true;
    if (!Inside(src, image.GetWidth(), image.GetHeight()) ||
        !Inside(dst, display.GetWidth(), display.GetHeight()))
        return false;

    const CReadRGBImage reader(image, tables, matrix, transform, secondTransform);
    const int srcWidth = src.Width();
    const int srcHeight = src.Height();
    const int dstWidth = dst.Width();
    const int dstHeight = dst.Height();
    const bool sameSize = srcWidth == dstWidth && srcHeight == dstHeight;

    // Distinct source columns and, per destination column, its index among
    // them (the columns are non-decreasing).
    std::vector<int> distinctColumns;
    std::vector<int> columnOf;
    if (!sameSize)
    {
        columnOf.resize(static_cast<std::size_t>(dstWidth));
        for (int k = 0; k < dstWidth; ++k)
        {
            const int column = src.left + NearestIndex(k, srcWidth, dstWidth);
            if (distinctColumns.empty() || distinctColumns.back() != column)
                distinctColumns.push_back(column);
            columnOf[static_cast<std::size_t>(k)] = static_cast<int>(distinctColumns.size()) - 1;
        }
    }

    const auto band = [&](int firstRow, int endRow) {
        std::vector<RGB16> line(static_cast<std::size_t>(dstWidth));
        if (sameSize)
        {
            for (int i = firstRow; i < endRow; ++i)
            {
                reader.ConvertPixels(&reader.GetStoredPixel(src.left, src.top + i), line.data(),
                                     line.size());
                CopyRGB16ToDIBLine(display, line.data(), dstWidth, dst.top + i, dst.left);
            }
            return;
        }
        std::vector<RGB16> distinct(distinctColumns.size());
        int shownRow = -1;
        for (int i = firstRow; i < endRow; ++i)
        {
            const int row = src.top + NearestIndex(i, srcHeight, dstHeight);
            if (row != shownRow)
            {
                for (std::size_t c = 0; c < distinctColumns.size(); ++c)
                    distinct[c] = reader.GetStoredPixel(distinctColumns[c], row);
                reader.ConvertPixels(distinct.data(), distinct.data(), distinct.size());
                for (std::size_t k = 0; k < line.size(); ++k)
                    line[k] = distinct[static_cast<std::size_t>(columnOf[k])];
                shownRow = row;
            }
            CopyRGB16ToDIBLine(display, line.data(), dstWidth, dst.top + i, dst.left);
        }
    };

    RunRowBands(dstHeight, {}, band, static_cast<int>(std::min(threadCount, 1024u)));
    return true;
}
