#pragma once
// A picture of the monitor wizard (its chart and sample photographs),
// fitted into the control and, when the file embeds an RGB matrix/TRC
// profile, converted once at load time for the monitor:
//     device RGB --tone curves--> linear RGB --M--> XYZ --A--> XYZ'
//     --converter--> monitor RGB
// with M the profile's RGB-to-XYZ matrix and A the Bradford adaptation
// from the source white to the destination white, so that the picture
// shows how it looks under the destination white.

#include "controls/widgets/ControlWidget.h"
#include "core/CIEColor.h"

#include <QImage>

#include <string>

class CColorConverter;

// Where a width x height picture goes in a client of clientWidth x
// clientHeight: one smaller in both directions at its own size, centred;
// any other fitted keeping its aspect ratio (the full width when the
// vertical scale is the larger, else the full height), centred, margins
// halved toward 0.
struct ImagePlacement
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
ImagePlacement PlaceImage(int clientWidth, int clientHeight, int width, int height);

class CImageCtrl : public CControlWidget
{
    Q_OBJECT
public:
    explicit CImageCtrl(QWidget* parent = nullptr);

    // Loads an 8-bit RGB JPEG or TIFF (a greyscale, CMYK or 16-bit file is
    // refused: the control is left without a picture and the result is
    // false). With an embedded RGB matrix/TRC profile and a converter the
    // colours are converted as above, from sourceWhite to destinationWhite
    // (XYZ, white Y = 100); without a converter, or with a profile that is
    // missing, unreadable or not an RGB matrix/TRC profile, the picture
    // keeps its own values. Shows the wait cursor meanwhile and redraws.
    bool SetImageFile(const std::string& path, const CColorConverter* converter,
                      const CCIEXYZ& sourceWhite, const CCIEXYZ& destinationWhite);

    // The picture as it is shown (null without one) and its path.
    const QImage& picture() const { return m_picture; }
    const std::string& path() const { return m_path; }

    void paint(QPainter& painter) const override;

private:
    QImage m_picture;
    std::string m_path;
};
