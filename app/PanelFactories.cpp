#include "app/PanelFactories.h"

#include <QWidget>

CViewParam::Factory DefaultPanelFactory(int index)
{
    switch (index)
    {
    case 1: // development

        return {};
    case 2: // chart correction

        return {};
    case 3: // trimming

        return {};
    case 4: // gradation

        return {};
    case 5: // colour tone

        return {};
    case 6: // specified colour

        return {};
    case 7: // filter

        return {};
    case 8: // batch

        return {};
    default:
        return {};
    }
}
