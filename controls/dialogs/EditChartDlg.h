#pragma once
// CEditChartDlg: scales the lightness and chroma and turns the hue of every
// reference colour of a colour-checker chart at once (see EditChartLogic.h)
// and shows the result on a grid. A slider acts when its thumb is released
// or it is moved by keyboard or page click, not while it is dragged.

#include "controls/dialogs/DataDialog.h"
#include "controls/dialogs/EditChartLogic.h"
#include "controls/widgets/TrackbarEvents.h"
#include "core/CIEColor.h"
#include "core/T2DArray.h"

class CColorCheckerCtrl;
class CColorConverter;
class QSlider;

class CEditChartDlg : public CDataDialog
{
    Q_OBJECT
public:

    explicit CEditChartDlg(QWidget* parent = nullptr);

    const CColorConverter* Converter = nullptr; // set by the owner

    // Copies the colours into the source and the edited colours.
    void SetColors(const T2DArray<CCIEXYZ>& colors);
    T2DArray<CCIEXYZ> GetEditedColors() const { return m_edited; }

    // The slider positions; 50 each until writeControls puts the real start
    // positions (100, 100, 0) in the sliders.
    int LightnessPos = 50;
    int ChromaPos = 50;
    int HuePos = 50;

    // Sliders to their ranges and start positions, the grid from the edited
    // colours.
    void writeControls() override;
    // The three positions from the sliders. Always true.
    bool readControls() override;

public slots:
    // Ends with kDialogOk; the owner then reads GetEditedColors.
    void accept() override;

private:
    void OnTrackbar(TrackbarCode code);
    void PaintGrid();

    CColorCheckerCtrl* m_grid;
    QSlider* m_lightnessSlider;
    QSlider* m_chromaSlider;
    QSlider* m_hueSlider;
    T2DArray<CCIEXYZ> m_source;
    T2DArray<CCIEXYZ> m_edited;
};
