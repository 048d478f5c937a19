#include "monitor/DetailModePages1.h"

#include "controls/support/ResourceImages.h"
#include "controls/support/StringTable.h"
#include "controls/support/WaitCursor.h"
#include "controls/widgets/ImageCtrl.h"
#include "core/CIEColor.h"
#include "core/ColorConverter.h"
#include "core/MessageSink.h"
#include "monitor/DetailModePageKit.h"
#include "monitor/Display.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

using namespace detailmode;

namespace {

constexpr int kStrFinishWizard = 3051;
constexpr int kStrFactoryResetQuestion = 3071;


// The preset the reset group's monitors take for gains of their own.
constexpr int kPresetUser = 11;

// The chart as the pages show it (the picture is fitted into the control).
constexpr int kChartWidth = 360;
constexpr int kChartHeight = 240;

const QString kChartBig = QStringLiteral("ChartImage_big.tif");

CImageCtrl* MakeChart(QWidget* parent, int id)
{
    auto* chart = new CImageCtrl(parent);
    chart->setObjectName(Id(id));
    chart->setFixedSize(kChartWidth, kChartHeight);
    return chart;
}

bool AskYesNo(int stringId)
{
    return ShowMessage(stringId, {}, MessageButtons::YesNo, MessageIcon::Question) == kMessageYes;
}

} // namespace

bool ShowChartPicture(CImageCtrl& control, const CDetailModeSheet& sheet, const QString& name)
{
    const CCIEXYZ white(CDetailModeSheet::kChartWhite[0], CDetailModeSheet::kChartWhite[1],
                        CDetailModeSheet::kChartWhite[2]);
    return control.SetImageFile(CDetailModeSheet::ChartPicturePath(name).toStdString(),
                                sheet.Converter(), white, white);
}

// ---------------------------------------------------------------- page 1

CDetailModePage1::CDetailModePage1(CDetailModeSheet& sheet)
    : CDetailModePage(sheet, kDetailModePage1Id)
{
    m_title = MakeText(this, kIdcChartSetupTitle, LoadString(24400));
    m_note = MakeText(this, kIdcChartSetupNote,
                      LoadString(24401));
    auto* picture = new QLabel(this);
    picture->setObjectName(Id(kBitmapChartSetup));
    picture->setPixmap(QPixmap::fromImage(LoadBitmapResource(kBitmapChartSetup)));
    auto* skip =
        new QPushButton(LoadString(24402), this);
    skip->setObjectName(Id(kIdcSkipSetup));
    skip->setAutoDefault(false);
    connect(skip, &QPushButton::clicked, this, [this] { OnSkip(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(m_note);
    layout->addStretch(1);
    layout->addWidget(skip, 0, Qt::AlignRight);
}

void CDetailModePage1::OnInitDialog()
{
    SetFont(Sheet(), {m_note, m_title});
}

bool CDetailModePage1::OnSetActive()
{
    Sheet().SetWizardButtons(kWizardNext);
    return true;
}

// Room light, monitor initialisation and brightness are left out: the
// monitor keeps its preset, and the sheet's current preset stays the one
// read at the opening.
void CDetailModePage1::OnSkip()
{
    Sheet().SetActivePage(kDetailModePage4Id);
}

// ---------------------------------------------------------------- page 2

CDetailModePage2::CDetailModePage2(CDetailModeSheet& sheet)
    : CDetailModePage(sheet, kDetailModePage2Id)
{
    auto* title = MakeText(this, kIdcRoomLightTitle, LoadString(24500));
    m_first = MakeRadio(this, kIdcRadioFirst, LoadString(24501));
    m_second = MakeRadio(this, kIdcRadioSecond, LoadString(24503));
    auto* firstNote = MakeText(this, kIdcRoomLightFirstNote, LoadString(24502));
    auto* secondNote = MakeText(this, kIdcRoomLightSecondNote, LoadString(24504));
    firstNote->setWordWrap(false);
    secondNote->setWordWrap(false);
    auto* hint = MakeText(this, kIdcRoomLightHint,
                          LoadString(24505));
    m_chart = MakeChart(this, kIdcRoomLightChart);
    m_first->setChecked(m_roomLight == 0);
    m_second->setChecked(m_roomLight == 1);
    // A click counts even on the radio that is already chosen: the preset
    // is written again.
    connect(m_first, &QRadioButton::clicked, this, [this] { ChoosePreset(kPreset5000K); });
    connect(m_second, &QRadioButton::clicked, this, [this] { ChoosePreset(kPreset6500K); });

    m_timer = new QTimer(this);
    m_timer->setObjectName(Id(kProfileWatchTimerId));
    m_timer->setInterval(kProfileWatchIntervalMs);
    connect(m_timer, &QTimer::timeout, this, [this] { OnProfileWatch(); });

    auto* choices = new QGridLayout;
    choices->addWidget(m_first, 0, 0);
    choices->addWidget(firstNote, 0, 1);
    choices->addWidget(m_second, 1, 0);
    choices->addWidget(secondNote, 1, 1);
    choices->setColumnStretch(1, 1);
    choices->setRowStretch(2, 1);

    auto* middle = new QHBoxLayout;
    middle->addWidget(m_chart, 0, Qt::AlignTop);
    middle->addLayout(choices, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(middle, 1);
    layout->addWidget(hint);
}

CDetailModePage2::~CDetailModePage2()
{
    m_timer->stop();
}

void CDetailModePage2::OnInitDialog()
{
    const CDetailModeSheet& sheet = Sheet();
    for (const int id : {kIdcRoomLightTitle, kIdcRadioFirst, kIdcRoomLightFirstNote,
                         kIdcRadioSecond, kIdcRoomLightSecondNote})
        if (auto* widget = findChild<QWidget*>(Id(id)))
            widget->setFont(sheet.PageFont());
    InitializeMonitor();
    DrawChart();
    m_timer->start();
}

// The monitor starts from a known state for the room-light comparison:
// each group of models has its own way there. A factory reset undoes the
// user's own settings of the monitor, which Cancel cannot give back: it is
// asked for first, and left out when declined.
void CDetailModePage2::InitializeMonitor()
{
    CDetailModeSheet& sheet = Sheet();
    WaitCursorGuard wait;
    if (CDisplay* display = sheet.Monitor()) {
        if (!display->IsResetModel()) {
            const bool slowReset = IsModelIn(SlowResetModelCodes(), display->ModelCode);
            const bool userPreset = display->IsUserPresetModel();
            if (slowReset) {
                display->SetControlValue(kControlResetLuminance, 1);
                sheet.Wait(5000);
            } else if (!userPreset && AskYesNo(kStrFactoryResetQuestion)) {
                sheet.PaintBeforeWaiting();
                display->SetControlValue(kControlFactoryReset, 1);
                sheet.Wait(3000);
            }
            if (display->IsAutoSetupModel() && !userPreset) {
                display->SetControlValue(kControlAutoSetup, 1);
                sheet.Wait(slowReset ? 5000 : 3000);
            }
            if (userPreset) {
                display->SetControlValue(kControlManufacturer, 5);
            } else if (slowReset) {
                display->SetControlValue(kControlManufacturer, 1);
            } else {
                std::uint16_t maximum = 0;
                if (!display->GetControlMaximum(kControlContrast, &maximum) &&
                    !display->GetControlMaximum(kControlContrast, &maximum))
                    maximum = 0;
                // Half of a zero maximum would be contrast 0: a black
                // screen. The monitor keeps its contrast then.
                if (maximum / 2 > 0)
                    display->SetControlValue(kControlContrast, maximum / 2);
                display->SetControlValue(kControlManufacturer, 2);
            }
        }
        sheet.Wait(1000);
        if (display->SetControlValue(kControlPreset, kPreset5000K)) {
            sheet.Wait(500);
            sheet.ReapplyLuminance();
        }
    }
    SetDdcBusyFlag(0);
    sheet.RoomLightChosen(kPreset5000K);
}

void CDetailModePage2::DrawChart()
{
    ShowChartPicture(*m_chart, Sheet(), kChartBig);
    const CColorConverter* converter = Sheet().Converter();
    m_profileName = converter != nullptr ? converter->GetOutputProfileName() : std::string();
}

void CDetailModePage2::OnProfileWatch()
{
    const CColorConverter* converter = Sheet().Converter();
    const std::string name = converter != nullptr ? converter->GetOutputProfileName() : std::string();
    if (name != m_profileName)
        DrawChart();
}

bool CDetailModePage2::OnSetActive()
{
    Sheet().SetWizardButtons(kWizardBack | kWizardNext);
    return true;
}

// The pages after this one talk to the monitor while the wizard runs.
bool CDetailModePage2::OnKillActive()
{
    SetDdcBusyFlag(1);
    return true;
}

void CDetailModePage2::ChoosePreset(int preset)
{
    CDetailModeSheet& sheet = Sheet();
    m_roomLight = preset == kPreset6500K ? 1 : 0;
    SetDdcBusyFlag(1);
    {
        WaitCursorGuard wait;
        if (CDisplay* display = sheet.Monitor()) {
            if (display->SetControlValue(kControlPreset, preset)) {
                sheet.Wait(500);
                sheet.ReapplyLuminance();
            }
        }
        sheet.Wait(500);
        sheet.RoomLightChosen(preset);
    }
    SetDdcBusyFlag(0);
}

// ---------------------------------------------------------------- page 3

CDetailModePage3::CDetailModePage3(CDetailModeSheet& sheet)
    : CDetailModePage(sheet, kDetailModePage3Id),
      m_brightness(this, kIdcBrightnessBar, kIdcBrightnessLevel,
                   CBrightnessSlider::Orientation::Vertical)
{
    auto* title = MakeText(this, kIdcBrightnessTitle,
                           LoadString(24600));
    m_chart = MakeChart(this, kIdcBrightnessChart);
    m_brightness.Bar()->setFixedHeight(kChartHeight);

    auto* bar = new QVBoxLayout;
    bar->addWidget(m_brightness.Bar(), 0, Qt::AlignHCenter);
    bar->addWidget(m_brightness.LevelText());
    bar->addStretch(1);

    auto* middle = new QHBoxLayout;
    middle->addWidget(m_chart, 0, Qt::AlignTop);
    middle->addLayout(bar);
    middle->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(middle, 1);
    layout->addWidget(m_brightness.Refusal());
}

void CDetailModePage3::OnInitDialog()
{
    CDetailModeSheet& sheet = Sheet();
    SetFont(sheet, {findChild<QWidget*>(Id(kIdcBrightnessTitle)), m_brightness.LevelText(),
                    m_brightness.Refusal()});
    ShowChartPicture(*m_chart, sheet, kChartBig);
    m_brightness.Init(sheet.Monitor());
}

bool CDetailModePage3::OnSetActive()
{
    Sheet().SetWizardButtons(kWizardBack | kWizardNext);
    m_brightness.Reread(true);
    return true;
}

// ---------------------------------------------------------------- page 3_5

CDetailModePage3_5::CDetailModePage3_5(CDetailModeSheet& sheet)
    : CDetailModePage(sheet, kDetailModePage3_5Id)
{
    auto* title = MakeText(this, kIdcConfirmTitle, LoadString(27300));
    auto* yes = MakeText(this, kIdcConfirmYes, LoadString(27301));
    auto* no = MakeText(this, kIdcConfirmNo, LoadString(27302));
    auto* finer = MakeText(this, kIdcConfirmFiner,
                           LoadString(27303));
    auto* finerButton = new QPushButton(LoadString(27304), this);
    finerButton->setObjectName(Id(kIdcFinerSetting));
    finerButton->setAutoDefault(false);
    m_before = MakeRadio(this, kIdcRadioFirst, LoadString(27305));
    m_after = MakeRadio(this, kIdcRadioSecond, LoadString(27306));
    m_before->setChecked(m_beforeAfter == 0);
    m_after->setChecked(m_beforeAfter == 1);
    m_chart = MakeChart(this, kIdcConfirmChart);
    connect(finerButton, &QPushButton::clicked, this, [this] { OnFinerSetting(); });
    connect(m_before, &QRadioButton::clicked, this, [this] {
        m_beforeAfter = 0;
        WaitCursorGuard wait;
        Sheet().RestoreMonitor();
    });
    connect(m_after, &QRadioButton::clicked, this, [this] {
        m_beforeAfter = 1;
        ApplyAdjustment();
    });

    auto* radios = new QHBoxLayout;
    radios->addWidget(m_before);
    radios->addWidget(m_after);
    radios->addStretch(1);

    auto* side = new QVBoxLayout;
    side->addWidget(yes);
    side->addWidget(no);
    side->addSpacing(12);
    side->addWidget(finer);
    side->addWidget(finerButton, 0, Qt::AlignLeft);
    side->addStretch(1);

    auto* middle = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(m_chart);
    left->addLayout(radios);
    left->addStretch(1);
    middle->addLayout(left);
    middle->addLayout(side, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(middle, 1);
}

void CDetailModePage3_5::OnInitDialog()
{
    CDetailModeSheet& sheet = Sheet();
    for (const int id : {kIdcConfirmTitle, kIdcConfirmYes, kIdcConfirmNo, kIdcConfirmFiner,
                         kIdcFinerSetting, kIdcRadioFirst, kIdcRadioSecond})
        if (auto* widget = findChild<QWidget*>(Id(id)))
            widget->setFont(sheet.PageFont());
    ShowChartPicture(*m_chart, sheet, kChartBig);
}

// What the monitor shows now is what Finish or the finer setting applies.
bool CDetailModePage3_5::OnSetActive()
{
    CDetailModeSheet& sheet = Sheet();
    sheet.SetWizardButtons(kWizardBack | kWizardFinish);
    CDisplay* display = sheet.Monitor();
    if (display == nullptr)
        return true;
    WaitCursorGuard wait;
    const auto read = [display](int control, std::uint16_t& out, bool& wasRead) {
        std::uint16_t value = 0;
        wasRead = display->GetControlValue(control, &value);
        if (wasRead)
            out = value;
    };
    read(kControlLuminance, m_apply.luminance, m_apply.luminanceRead);
    sheet.Wait(200);
    read(kControlContrast, m_apply.contrast, m_apply.contrastRead);
    if (sheet.GainsAdjusted()) {
        if (display->IsResetModel()) {
            if (display->SetControlValue(kControlPreset, kPresetUser))
                display->RefreshLuminance();
            sheet.Wait(500);
        }
        read(kControlGainRed, m_apply.red, m_apply.redRead);
        sheet.Wait(200);
        read(kControlGainGreen, m_apply.green, m_apply.greenRead);
        sheet.Wait(200);
        read(kControlGainBlue, m_apply.blue, m_apply.blueRead);
        sheet.Wait(200);
    }
    return true;
}

// Values that could not be read are not written: the monitor keeps what it
// has rather than a default.
void CDetailModePage3_5::ApplyAdjustment()
{
    CDetailModeSheet& sheet = Sheet();
    CDisplay* display = sheet.Monitor();
    if (display == nullptr)
        return;
    WaitCursorGuard wait;
    if (sheet.GainsAdjusted()) {
        if (display->IsResetModel()) {
            if (display->SetControlValue(kControlPreset, kPresetUser))
                display->RefreshLuminance();
            sheet.Wait(500);
        }
        const auto write = [&](bool wasRead, int control, std::uint16_t value) {
            if (!wasRead)
                return;
            display->SetControlValue(control, value);
            sheet.Wait(200);
        };
        write(m_apply.redRead, kControlGainRed, m_apply.red);
        write(m_apply.greenRead, kControlGainGreen, m_apply.green);
        write(m_apply.blueRead, kControlGainBlue, m_apply.blue);
    } else if (sheet.CurrentPreset() != 0) {
        // A preset of 0 is an opening read that failed: no preset to apply.
        if (display->SetControlValue(kControlPreset, sheet.CurrentPreset()))
            display->RefreshLuminance();
    }
    if (m_apply.luminanceRead) {
        display->SetControlValue(kControlLuminance, m_apply.luminance);
        sheet.Wait(500);
    }
    if (m_apply.contrastRead)
        display->SetControlValue(kControlContrast, m_apply.contrast);
}

void CDetailModePage3_5::OnFinerSetting()
{
    ApplyAdjustment();
    Sheet().SetActivePage(kDetailModePage4Id);
}

bool CDetailModePage3_5::OnWizardFinish()
{
    if (!AskYesNo(kStrFinishWizard))
        return false;
    ApplyAdjustment();
    if (CDisplay* display = Sheet().Monitor())
        display->SaveSettings();
    return true;
}
