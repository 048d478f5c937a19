#pragma once
// One colour value shown as three labelled lines in one of four notations
// (1 XYZ, 2 Yxy, 3 Lab, 4 the converter's input RGB), in red when the
// colour lies outside the input colour space. Nothing is drawn, not even
// the labels, until a value has been set.

#include "controls/widgets/ControlWidget.h"
#include "core/CIEColor.h"

class CColorConverter;

class CColorValueText : public CControlWidget
{
    Q_OBJECT
public:
    explicit CColorValueText(QWidget* parent = nullptr);

    const CColorConverter* Converter = nullptr; // white point, RGB values and range test
    CCIEXYZ Value;
    int Notation = 1;
    bool HasValue = false;
    bool ShowValues = false; // the owner clears it to show the labels only

    // Shows the value. Setting the value already shown repaints nothing.
    void SetValue(const CCIEXYZ& value);
    CCIEXYZ GetWhite() const;

    void paint(QPainter& painter) const override;
};
