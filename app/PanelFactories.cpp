#include "app/PanelFactories.h"

#include "app/BatchView.h"
#include "app/ChartView.h"
#include "app/ColorCalibView.h"
#include "app/ColorChangeView.h"
#include "app/DNGParamView.h"
#include "app/FilterView.h"
#include "app/GrayCalibView.h"
#include "app/TrimmingView.h"

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
    case 6: // specified colour
        return [](QWidget* parent) -> QWidget* { return new CColorChangeView(parent); };
    case 7: // filter
        return [](QWidget* parent) -> QWidget* { return new CFilterView(parent); };
    case 8: // batch
        return [](QWidget* parent) -> QWidget* { return new CBatchView(parent); };
    default:
        return {};
    }
}
