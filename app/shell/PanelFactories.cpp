#include "app/shell/PanelFactories.h"

#include "app/batch/BatchView.h"
#include "app/panels/chart/ChartView.h"
#include "app/panels/colour-tone/ColorCalibView.h"
#include "app/panels/development/DNGParamView.h"
#include "app/panels/filter/FilterView.h"
#include "app/panels/gradation/GrayCalibView.h"
#include "app/panels/chosen-colour/ColorChangeView.h"
#include "app/panels/trimming/TrimmingView.h"

#include <QWidget>

CViewParam::Factory DefaultPanelFactory(int index)
{
    switch (index)
    {
    case 1: // development
        return [](QWidget* parent) -> QWidget* { return new CDNGParamView(parent); };
    case 2: // chart correction
        return [](QWidget* parent) -> QWidget* { return new CChartView(parent); };
    case 3: // trimming
        return [](QWidget* parent) -> QWidget* { return new CTrimmingView(parent); };
    case 4: // gradation
        return [](QWidget* parent) -> QWidget* { return new CGrayCalibView(parent); };
    case 5: // colour tone
        return [](QWidget* parent) -> QWidget* { return new CColorCalibView(parent); };
    case 6: // chosen colour
        return [](QWidget* parent) -> QWidget* { return new CColorChangeView(parent); };
    case 7: // filter
        return [](QWidget* parent) -> QWidget* { return new CFilterView(parent); };
    case 8: // batch
        return [](QWidget* parent) -> QWidget* { return new CBatchView(parent); };
    default:
        return {};
    }
}
