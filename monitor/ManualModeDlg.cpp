#include "monitor/ManualModeDlg.h"

#include "controls/dialogs/DialogCodes.h"
#include "controls/support/StringTable.h"
#include "controls/support/WaitCursor.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/ImageCtrl.h"
#include "core/CIEColor.h"
#include "core/MessageSink.h"
#include "monitor/MonitorModelData.h"
#include "monitor/MonitorProfile.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Messages.
inline constexpr int kStrQueryCancel = 3048; // "色調整ウィザードを中止します。..."
inline constexpr int kStrModelNotConnected = 3057; // "色調整ウィザード対象モデルが..."
inline constexpr int kStrFinalPagePresets = 3058;  // choose from the list
inline constexpr int kStrFinalPageTyped = 3061;    // type the temperature

// The texts of the dialog itself, numbered after its template.
inline constexpr int kStrManualModeCaption = 27500; // "色調整ウィザード（マニュアルモード）"
inline constexpr int kStrManualModeNext = 27501;   // "次へ >"
inline constexpr int kStrManualModeBack = 27502;   // "< 戻る"
inline constexpr int kStrManualModeCancel = 27503; // "キャンセル"
inline constexpr int kStrManualModeFinish = 27504; // "完了"

// The instruction's font: the GUI font at 16 pixels.
constexpr int kTextPixelSize = 16;
// The step pictures are drawn at 320 x 240; the picture control keeps
// that size on every step so the dialog does not jump between pages.
constexpr int kPictureWidth = 320;
constexpr int kPictureHeight = 240;
constexpr int kTextWidth = 460;
// The largest number the temperature field holds. The field does not clamp
// to the model's range: a temperature outside it is refused with the range
// when the profile is written (message 3062), rather than silently turned
// into a different temperature than the one set on the monitor.
constexpr int kLargestTypedKelvin = 99999;

// The pictures are shown as drawn for a D65 display: source and display
// white are both D65 (XYZ, Y = 100).
const CCIEXYZ kPictureWhite(95.043, 100.0, 108.879);

QString Id(int id)
{
    return QString::number(id);
}

QPushButton* MakeButton(QWidget* parent, int id, int text)
{
    auto* button = new QPushButton(LoadString(text), parent);
    button->setObjectName(Id(id));
    button->setAutoDefault(false);
    return button;
}

} // namespace

CManualModeDlg::CManualModeDlg(int modelCode, const QString& deviceId, const QString& adapterName,
                               QWidget* parent)
    : QDialog(parent), m_modelCode(modelCode), m_deviceId(deviceId), m_adapterName(adapterName),
      m_mode(MonitorTemperatureMode::Preset), m_lowest(kDefaultMinTemperature),
      m_highest(kDefaultMaxTemperature)
{
    setWindowTitle(LoadString(kStrManualModeCaption));

    QFont font = this->font();
    font.setPixelSize(kTextPixelSize);
    m_textLabel = new QLabel(this);
    m_textLabel->setObjectName(Id(kIdcText));
    m_textLabel->setFont(font);
    m_textLabel->setWordWrap(true);
    m_textLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_textLabel->setFixedWidth(kTextWidth);
    m_textLabel->setMinimumHeight(QFontMetrics(font).lineSpacing() * 4);

    m_picture = new CImageCtrl(this);
    m_picture->setObjectName(Id(kIdcPicture));
    m_picture->setFixedSize(kPictureWidth, kPictureHeight);

    m_presets = new QComboBox(this);
    m_presets->setObjectName(Id(kIdcPresets));
    m_presets->setEditable(false);
    m_temperature = new CEditEx(this);
    m_temperature->setObjectName(Id(kIdcTemperature));
    m_temperature->Mode = EditMode::Integer;
    m_temperature->setFixedWidth(
        m_temperature->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    m_presets->setMinimumWidth(kPictureWidth / 2);

    // The picture and the final page's controls share one area of the
    // picture's size.
    auto* area = new QWidget(this);
    area->setMinimumSize(kPictureWidth, kPictureHeight);
    auto* areaLayout = new QVBoxLayout(area);
    areaLayout->setContentsMargins(0, 0, 0, 0);
    areaLayout->addWidget(m_picture, 0, Qt::AlignHCenter);
    auto* choice = new QHBoxLayout;
    choice->addStretch(1);
    choice->addWidget(m_presets);
    choice->addWidget(m_temperature);
    choice->addStretch(1);
    areaLayout->addLayout(choice);
    areaLayout->addStretch(1);

    m_backButton = MakeButton(this, kIdcBack, kStrManualModeBack);
    m_nextButton = MakeButton(this, kIdcNext, kStrManualModeNext);
    m_nextButton->setDefault(true);
    m_cancelButton = MakeButton(this, kIdcCancel, kStrManualModeCancel);
    connect(m_backButton, &QPushButton::clicked, this, &CManualModeDlg::OnBack);
    connect(m_nextButton, &QPushButton::clicked, this, &CManualModeDlg::OnNext);
    connect(m_cancelButton, &QPushButton::clicked, this, &CManualModeDlg::reject);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_backButton);
    buttons->addWidget(m_nextButton);
    buttons->addSpacing(12);
    buttons->addWidget(m_cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_textLabel);
    layout->addWidget(area, 1);
    layout->addWidget(line);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_presets->hide();
    m_temperature->hide();
}

CManualModeDlg::~CManualModeDlg() = default;

int CManualModeDlg::exec()
{
    if (!m_initialised)
    {
        m_initialised = true;
        if (!OnInitDialog())
        {
            setResult(kDialogCancel);
            return kDialogCancel;
        }
    }
    return QDialog::exec();
}

bool CManualModeDlg::OnInitDialog()
{
    m_backButton->setEnabled(false);
    // A model without data, or whose data lists no step, cannot be
    // adjusted: the user is told, and the caller learns that nothing was
    // done.
    m_stepCount = GetStepCount();
    if (m_stepCount <= 0)
    {
        ShowMessage(kStrModelNotConnected, {}, MessageButtons::Ok, MessageIcon::Warning);
        return false;
    }
    LoadColorPresets();
    m_presets->hide();
    m_temperature->hide();
    m_temperature->setNotifyMessage(UWM_MANUALMODE_CTRL);
    ShowStep();
    return true;
}

int CManualModeDlg::GetStepCount() const
{
    return CMonitorModelData(m_modelCode, m_programFolder).StepCount();
}

void CManualModeDlg::ShowStep()
{
    const CMonitorModelData model(m_modelCode, m_programFolder);
    m_picture->SetImageFile(model.StepPicturePath(m_step), m_converter, kPictureWhite,
                            kPictureWhite);
    m_text = QString::fromStdString(model.StepText(m_step));
    writeControls();
}

void CManualModeDlg::LoadColorPresets()
{
    const CMonitorModelData model(m_modelCode, m_programFolder);
    m_presets->clear();
    // A count that is not positive offers no list (a negative one would
    // leave an empty list that no choice can get past).
    if (model.PresetCount() > 0)
    {
        for (const std::string& preset : model.Presets())
            m_presets->addItem(QString::fromStdString(preset));
        m_presets->setCurrentIndex(0);
        m_mode = MonitorTemperatureMode::Preset;
        return;
    }
    m_lowest = model.MinTemperature();
    m_highest = model.MaxTemperature();
    m_temperature->IntMin = 0;
    m_temperature->IntMax = kLargestTypedKelvin;
    m_temperature->SetInt(kInitialKelvin);
    m_mode = MonitorTemperatureMode::Typed;
}

void CManualModeDlg::writeControls()
{
    m_textLabel->setText(m_text);
}

void CManualModeDlg::ShowFinalControls(bool shown)
{
    m_picture->setVisible(!shown);
    const bool typed = m_mode == MonitorTemperatureMode::Typed;
    m_temperature->setVisible(shown && typed);
    m_presets->setVisible(shown && !typed);
}

void CManualModeDlg::OnNext()
{
    if (IsFinalPage())
    {
        if (CreateMonitorProfile())
            done(kDialogOk);
        return;
    }
    const int before = m_step;
    ++m_step;
    if (before == 1)
        m_backButton->setEnabled(true);
    if (IsFinalPage())
    {
        m_cancelButton->setEnabled(false);
        m_nextButton->setText(LoadString(kStrManualModeFinish));
        ShowFinalControls(true);
        m_text = LoadString(m_mode == MonitorTemperatureMode::Typed ? kStrFinalPageTyped
                                                                    : kStrFinalPagePresets);
        writeControls();
        return;
    }
    ShowStep();
}

void CManualModeDlg::OnBack()
{
    if (m_step <= 1)
        return;
    const bool leavingFinal = IsFinalPage();
    const int before = m_step;
    --m_step;
    if (before == 2)
        m_backButton->setEnabled(false);
    if (leavingFinal)
    {
        m_nextButton->setText(LoadString(kStrManualModeNext));
        m_cancelButton->setEnabled(true);
        ShowFinalControls(false);
    }
    ShowStep();
}

void CManualModeDlg::reject()
{
    if (!m_cancelButton->isEnabled())
        return;
    if (ShowMessage(kStrQueryCancel, {}, MessageButtons::YesNo, MessageIcon::Question) ==
        kMessageYes)
        done(kDialogCancel);
}

bool CManualModeDlg::CreateMonitorProfile()
{
    MonitorProfileRequest request;
    request.modelCode = m_modelCode;
    request.deviceId = m_deviceId.toStdString();
    request.programFolder = m_programFolder;
    request.previousProfile = m_previousProfile;
    request.mode = m_mode;
    if (m_mode == MonitorTemperatureMode::Typed)
        request.typedKelvin = m_temperature->GetInt();
    else if (m_presets->currentIndex() >= 0)
        request.preset = m_presets->currentText().toStdString();

    MonitorProfileResult result;
    {
        WaitCursorGuard wait;
        result = ::CreateMonitorProfile(request);
    }
    if (!result.ok)
    {
        // Every refusal reaches the user, one that names no message of its
        // own as the general failure.
        const int message = result.messageId != 0 ? result.messageId : kStrProfileCreationFailed;
        ShowMessage(message, result.messageArgs, MessageButtons::Ok, MessageIcon::Error);
        return false;
    }
    m_profilePath = result.profilePath;
    return true;
}
