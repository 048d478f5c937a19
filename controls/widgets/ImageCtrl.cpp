#include "controls/widgets/ImageCtrl.h"

#include "controls/support/WaitCursor.h"
#include "core/ColorConverter.h"
#include "core/ColorProfile.h"
#include "core/GammaTable.h"
#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"
#include "core/RGB16.h"
#include "core/StdMatrix.h"

#include <vector>

namespace {

// What the conversion of a picture needs, read from its profile: the tone
// curves (device to linear) and the matrix from linear RGB to adapted XYZ,
// A x M.
struct PictureConversion
{
    CRGBGammaTable toLinear;
    CRGBMatrix toXYZ;
};

// False, leaving the picture as it is, unless the bytes open as an RGB
// profile with colorants and tone curves.
bool PrepareConversion(const std::vector<std::uint8_t>& profileBytes, const std::string& name,
                       const CCIEXYZ& sourceWhite, const CCIEXYZ& destinationWhite,
                       PictureConversion& conversion)
{
    if (profileBytes.empty())
        return false;
    CColorProfile profile;
    if (!profile.OpenFromMemory(profileBytes, name))
        return false;
    std::uint32_t space = 0;
    if (!profile.GetDataColorSpace(space) || space != IccSignature("RGB ") ||
        !profile.HasMatrixTRC())
        return false;
    CStdMatrix toXYZ;
    if (!profile.GetTRC(conversion.toLinear) || !conversion.toLinear.IsComplete() ||
        !profile.GetRGBToXYZMatrix(toXYZ))
        return false;
    // Whites without a cone response (zero or not finite) adapt nothing.
    CStdMatrix adaptation = CStdMatrix::Identity();
    if (!BradfordAdaptationMatrix(sourceWhite, destinationWhite, adaptation))
        adaptation = CStdMatrix::Identity();
    conversion.toXYZ = adaptation * toXYZ;
    return true;
}

// Every row through the tone curves, the adapted matrix and the
// converter, written back as 8-bit values.
void ConvertPicture(CImageEx& image, const PictureConversion& conversion,
                    const CColorConverter& converter)
{
    const int width = image.GetWidth();
    std::vector<RGB16> row(static_cast<std::size_t>(width));
    std::vector<CCIEXYZ> xyz(static_cast<std::size_t>(width));
    for (int y = 0; y < image.GetHeight(); ++y)
    {
        CopyDIBLineToRGB16(width, image, row.data(), y, 0);
        ApplyRGBGammaTable(row.data(), row.size(), conversion.toLinear);
        conversion.toXYZ.LineToXYZ(row.size(), row.data(), xyz.data());
        converter.XYZToOutputRGB(xyz.data(), row.data(), row.size());
        CopyRGB16ToDIBLine(image, row.data(), width, y, 0);
    }
}

} // namespace

ImagePlacement PlaceImage(int clientWidth, int clientHeight, int width, int height)
{
    if (width <= 0 || height <= 0 || clientWidth <= 0 || clientHeight <= 0)
        return ImagePlacement{};
    if (width < clientWidth && height < clientHeight)
        return ImagePlacement{(clientWidth - width) / 2, (clientHeight - height) / 2, width,
                              height};
    const double sx = static_cast<double>(clientWidth) / width;
    const double sy = static_cast<double>(clientHeight) / height;
    if (sy > sx)
    {
        const int fitted = static_cast<int>(sx * height);
        return ImagePlacement{0, (clientHeight - fitted) / 2, clientWidth, fitted};
    }
    const int fitted = static_cast<int>(sy * width);
    return ImagePlacement{(clientWidth - fitted) / 2, 0, fitted, clientHeight};
}

CImageCtrl::CImageCtrl(QWidget* parent) : CControlWidget(parent) {}

bool CImageCtrl::SetImageFile(const std::string& path, const CColorConverter* converter,
                              const CCIEXYZ& sourceWhite, const CCIEXYZ& destinationWhite)
{
    WaitCursorGuard wait;
    m_picture = QImage();
    m_path.clear();

    // The probe admits three-component JPEGs and 8-bit RGB TIFFs only (and
    // 16-bit TIFFs, which this control does not show): a greyscale or CMYK
    // file never reaches the decoder, so no pixel is read with the wrong
    // number of bytes.
    ImageProbeResult probe;
    ProbedImageFile opened;
    CImageEx image;
    const bool loaded = ProbeImageFile(path, probe, &opened) &&
                        (probe.type == kImageFileJpeg || probe.type == kImageFileTiff8) &&
                        image.Load(std::move(opened));
    if (!loaded)
    {
        repaint();
        return false;
    }
    m_path = path;

    PictureConversion conversion;
    if (converter != nullptr &&
        PrepareConversion(probe.profile, path, sourceWhite, destinationWhite, conversion))
        ConvertPicture(image, conversion, *converter);

    m_picture = QImage(image.GetBits(), image.GetWidth(), image.GetHeight(), image.GetPitch(),
                       QImage::Format_BGR888)
                    .convertToFormat(QImage::Format_RGB32);
    repaint();
    return true;
}

void CImageCtrl::paint(QPainter& painter) const
{
    const QRect client = rect();
    if (m_picture.isNull())
    {
        painter.fillRect(client, Qt::black);
        return;
    }
    // The parent's background: the palette the control inherits from it.
    painter.fillRect(client, palette().color(QPalette::Window));
    const ImagePlacement place =
        PlaceImage(client.width(), client.height(), m_picture.width(), m_picture.height());
    if (place.width <= 0 || place.height <= 0)
        return;
    if (place.width == m_picture.width() && place.height == m_picture.height())
    {
        painter.drawImage(QPoint(place.x, place.y), m_picture);
        return;
    }
    PainterStateGuard guard(painter);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(QRect(place.x, place.y, place.width, place.height), m_picture);
}
