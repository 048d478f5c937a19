#pragma once
// What the main frame hands a step panel besides CViewCommon: the colour
// picked on the preview. The frame samples the image through the project
// and gives each shown panel what its step uses; a panel implements the
// calls it needs, the rest do nothing.
//
// CStepPlaceholderView stands at the stack indices of step panels that are
// not written yet: it shows nothing, holds no document and answers the
// frame like any panel, so that switching steps works end to end.

#include "app/panels/ViewCommon.h"
#include "core/CIEColor.h"
#include "core/RGB16.h"
#include "core/Rect.h"

#include <QPoint>
#include <QWidget>

class IColorPickTarget
{
public:
    virtual ~IColorPickTarget() = default;
    // Development panel: the white of the undeveloped data under the pick.
    virtual void PickWhiteBalance(const CCIEXYZ& /*white*/) {}
    // Development panel: L* and the raw pixel of the pick for the histogram.
    virtual void ShowSampleOnHistogram(double /*lightness*/, const RGB16& /*pixel*/) {}
    // Colour-tone panel: the average XYZ as its white-balance sample.
    virtual void SetWhiteBalanceSample(const CCIEXYZ& /*xyz*/) {}
    // Gradation panel: its sample; colour-tone panel: its circle's marker.
    // The average Lab of the working image (flag 0).
    virtual void SetSampleLab(const CCIELab& /*lab*/) {}
    // Chosen-colour panel: the average Lab through the preview document
    // (flag 1) as its colour sample.
    virtual void SetColorSample(const CCIELab& /*lab*/) {}
    // Chosen-colour panel: a picked colour dragged from the preview and
    // released at a point of the screen.
    virtual void SetDragAndDropLab(const CRect& /*rect*/, const CCIELab& /*lab*/,
                                   const QPoint& /*screenPoint*/)
    {
    }
};

class CStepPlaceholderView : public QWidget, public CViewCommon, public IColorPickTarget
{
    Q_OBJECT
public:
    explicit CStepPlaceholderView(QWidget* parent = nullptr);
};
