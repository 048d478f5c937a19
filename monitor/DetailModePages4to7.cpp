#include "monitor/DetailModePages4to7.h"

#include "controls/support/ResourceImages.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/CIExyCtrl.h"
#include "controls/widgets/ImageCtrl.h"
#include "core/CIEColor.h"
#include "core/IniFile.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "monitor/DetailModePageKit.h"
#include "monitor/Display.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include <initializer_list>

using namespace detailmode;

namespace {

constexpr int kStrReset = 3049;
constexpr int kStrDiagramOnly = 3063;
constexpr int kStrDiagramBack = 3064;
constexpr int kStrWhiteNoPoint = 3078;
constexpr int kStrWhiteNoModelData = 3079;
constexpr int kStrWhiteNoGainRange = 3080;

// The preset a reset-group monitor's gains only act in.
constexpr int kPresetUser = 11;

// The diagram's size; the sheet shrinks to it plus (36, 200) when it is
// shown alone.
constexpr int kDiagramWidth = 300;
constexpr int kDiagramHeight = 204;
constexpr int kDiagramOnlyExtraWidth = 36;
constexpr int kDiagramOnlyExtraHeight = 200;

CCIEXYZ ChartWhiteXYZ()
{
    return CCIEXYZ(CDetailModeSheet::kChartWhite[0], CDetailModeSheet::kChartWhite[1],
                   CDetailModeSheet::kChartWhite[2]);
}

// A chart picture converted for the monitor, from the chart's white to
// `displayWhite`.
void ShowChart(CImageCtrl& control, const CDetailModeSheet& sheet, const char* name,
               const CCIEXYZ& displayWhite)
{
    control.SetImageFile(CDetailModeSheet::ChartPicturePath(QString::fromLatin1(name)).toStdString(),
                         sheet.Converter(), ChartWhiteXYZ(), displayWhite);
}

// On a reset-group monitor the gains only act in the user preset: it is
// selected (and the luminance written again) before the gains are read or
// written.
void SelectUserPresetForResetModel(CDetailModeSheet& sheet)
{
    CDisplay* display = sheet.Monitor();
    if (display == nullptr || !display->IsResetModel())
        return;
    if (display->SetControlValue(kControlPreset, kPresetUser)) {
        sheet.Wait(500);
        sheet.ReapplyLuminance();
    }
}

// Writes red, green, blue with 200 ms after each; a channel without a value
// is left as the monitor has it.
void WriteGains(CDetailModeSheet& sheet, const std::array<std::optional<std::uint16_t>, 3>& gains)
{
    CDisplay* display = sheet.Monitor();
    if (display == nullptr)
        return;
    for (std::size_t c = 0; c < 3; ++c) {
        if (!gains[c])
            continue;
        display->SetControlValue(kControlGainRed + static_cast<int>(c), *gains[c]);
        sheet.Wait(200);
    }
}

std::array<std::optional<std::uint16_t>, 3> ReadGainsOf(const WhiteGainRanges& ranges)
{
    std::array<std::optional<std::uint16_t>, 3> gains;
    for (std::size_t c = 0; c < 3; ++c)
        if (ranges.read[c])
            gains[c] = ranges.initial[c];
    return gains;
}

// Computes and writes the gains for `target`; the sheet counts the gains
// as adjusted whatever happened, as its last page then reads back what the
// monitor has.
WhiteGainStatus SetWhiteGains(CDetailModeSheet& sheet, const std::optional<WhiteXy>& target,
                              const WhiteGainRanges& ranges,
                              std::array<std::uint16_t, 3>* written = nullptr)
{
    WhiteGainStatus status = WhiteGainStatus::NotAnswered;
    if (CDisplay* display = sheet.Monitor()) {
        std::vector<std::uint16_t> gains;
        status = PrepareWhiteGains(*display, target, ranges, gains);
        if (status == WhiteGainStatus::Written) {
            WriteGains(sheet, {gains[0], gains[1], gains[2]});
            sheet.ReapplyLuminance();
            if (written != nullptr)
                *written = {gains[0], gains[1], gains[2]};
        }
    }
    sheet.SetGainsAdjusted(true);
    return status;
}

QString StatusMessage(WhiteGainStatus status)
{
    switch (status) {
    case WhiteGainStatus::NoPoint:
        return LoadString(kStrWhiteNoPoint);
    case WhiteGainStatus::NoModelData:
        return LoadString(kStrWhiteNoModelData);
    case WhiteGainStatus::NoGainRange:
    case WhiteGainStatus::NotAnswered:
        return LoadString(kStrWhiteNoGainRange);
    case WhiteGainStatus::Written:
        break;
    }
    return {};
}

void ShowStatusText(QLabel& label, WhiteGainStatus status)
{
    label.setText(StatusMessage(status));
    label.setVisible(status != WhiteGainStatus::Written);
}

bool AskReset()
{
    return ShowMessage(kStrReset, {}, MessageButtons::YesNo, MessageIcon::Question) == kMessageYes;
}

} // namespace

// ---------------------------------------------------------- brightness bar

// ---------------------------------------------------------------- page 4

CDetailModePage4::CDetailModePage4(CDetailModeSheet& sheet) : CDetailModePage(sheet, kDetailModePage4Id)
{
    auto* title = MakeText(this, kIdcWhiteTitle, QStringLiteral("白色を調整します"));
    m_diagram = Named(new QRadioButton(QStringLiteral("直接調整する"), this), kIdcMethodDiagram);
    m_pictures = Named(new QRadioButton(QStringLiteral("画像を確認しながら調整する"), this),
                       kIdcMethodPictures);
    auto* group = new QButtonGroup(this);
    group->addButton(m_diagram, 0);
    group->addButton(m_pictures, 1);
    m_diagram->setChecked(true);

    auto* diagramPicture = Named(new QLabel(this), kBitmapWhiteByDiagram);
    diagramPicture->setPixmap(QPixmap::fromImage(LoadBitmapResource(kBitmapWhiteByDiagram)));
    auto* picturesPicture = Named(new QLabel(this), kBitmapWhiteByPictures);
    picturesPicture->setPixmap(QPixmap::fromImage(LoadBitmapResource(kBitmapWhiteByPictures)));

    auto* grid = new QGridLayout;
    grid->addWidget(m_pictures, 0, 0);
    grid->addWidget(picturesPicture, 1, 0, Qt::AlignHCenter);
    grid->addWidget(m_diagram, 0, 1);
    grid->addWidget(diagramPicture, 1, 1, Qt::AlignHCenter);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addSpacing(16);
    layout->addLayout(grid);
    layout->addStretch(1);
}

void CDetailModePage4::OnInitDialog()
{
    SetFont(Sheet(), {findChild<QWidget*>(Id(kIdcWhiteTitle)), m_diagram, m_pictures});
}

bool CDetailModePage4::OnSetActive()
{
    Sheet().SetWizardButtons(kWizardBack | kWizardNext);
    return true;
}

int CDetailModePage4::Method() const
{
    return m_pictures->isChecked() ? 1 : 0;
}

// The pictures page follows this one in the sheet's order; the diagram
// page is reached over it. Page 7's Back returns to whichever was taken.
int CDetailModePage4::OnWizardNext()
{
    if (Method() == 1) {
        Sheet().SetBackTarget(kDetailModePage5Id);
        return kDetailModePage5Id;
    }
    Sheet().SetBackTarget(kDetailModePage6Id);
    return kDetailModePage6Id;
}

int CDetailModePage4::OnWizardBack()
{
    return kDetailModePage3_5Id;
}

// ---------------------------------------------------------------- page 5

CDetailModePage5::CDetailModePage5(CDetailModeSheet& sheet)
    : CDetailModePage(sheet, kDetailModePage5Id), m_target(ChartWhiteXy())
{
    auto* title = MakeText(this, 1372, QStringLiteral("色の近い画像を選択してください"));
    auto* centreNote =
        MakeText(this, 1373, QStringLiteral("中央の画像が一番近い色になれば調整は終了です"));
    auto* nextNote = MakeText(this, 1374, QStringLiteral("[次へ] ボタンをクリックしてください"));
    auto* reset = Named(new QPushButton(QStringLiteral("リセット"), this), kIdcPicturesReset);
    connect(reset, &QPushButton::clicked, this, [this] { OnReset(); });
    auto* dark = MakeText(this, 1380, QStringLiteral("暗い"));
    auto* bright = MakeText(this, 1384, QStringLiteral("明るい"));
    auto* blue = MakeText(this, 1400, QStringLiteral("←　青方向へ"));
    auto* red = MakeText(this, 1401, QStringLiteral("赤方向へ →"));
    red->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* green = MakeText(this, 1402, QStringLiteral("↑緑方向へ"));
    auto* hintTitle = MakeText(this, 1403, QStringLiteral("調整のヒント："));
    auto* hint = MakeText(
        this, 1404,
        QStringLiteral("石膏像と背景のグレー部分に注目して色を調整してください。"));
    m_brightness = std::make_unique<CBrightnessBar>(this, kIdcPicturesBar, kIdcPicturesLevel,
                                                    CBrightnessSlider::Orientation::Horizontal);
    m_statusText = MakeText(this, 0, {});
    m_statusText->setObjectName(QStringLiteral("status"));
    m_statusText->hide();

    auto* grid = new QGridLayout;
    grid->setSpacing(4);
    for (int cell = 0; cell < kCandidateCount; ++cell) {
        auto* picture = Named(new CImageCtrl(this), kCandidateIds[static_cast<std::size_t>(cell)]);
        picture->setFixedSize(cell == kCandidateCentre ? QSize(150, 112) : QSize(120, 90));
        if (cell != kCandidateCentre) {
            picture->setCursor(Qt::PointingHandCursor);
            picture->installEventFilter(this);
        }
        m_pictures[static_cast<std::size_t>(cell)] = picture;
        grid->addWidget(picture, cell / 3, cell % 3, Qt::AlignCenter);
    }

    auto* directions = new QHBoxLayout;
    directions->addWidget(blue);
    directions->addStretch(1);
    directions->addWidget(red);

    auto* side = new QVBoxLayout;
    side->addWidget(title);
    side->addWidget(centreNote);
    side->addWidget(nextNote);
    side->addSpacing(8);
    side->addWidget(reset, 0, Qt::AlignLeft);
    side->addSpacing(8);
    auto* bar = new QHBoxLayout;
    bar->addWidget(dark);
    bar->addWidget(m_brightness->Bar(), 1);
    bar->addWidget(bright);
    side->addLayout(bar);
    side->addWidget(m_brightness->LevelText());
    side->addWidget(m_brightness->Refusal());
    side->addSpacing(8);
    side->addWidget(hintTitle);
    side->addWidget(hint);
    side->addWidget(m_statusText);
    side->addStretch(1);

    auto* pictures = new QVBoxLayout;
    pictures->addWidget(green, 0, Qt::AlignHCenter);
    pictures->addLayout(grid);
    pictures->addLayout(directions);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(pictures);
    layout->addSpacing(12);
    layout->addLayout(side, 1);
}

void CDetailModePage5::OnInitDialog()
{
    CDetailModeSheet& sheet = Sheet();
    SetFont(sheet, {findChild<QWidget*>(Id(1372)), findChild<QWidget*>(Id(1373)),
                    findChild<QWidget*>(Id(1374)), findChild<QWidget*>(Id(kIdcPicturesReset)),
                    findChild<QWidget*>(Id(1400)), findChild<QWidget*>(Id(1401)),
                    findChild<QWidget*>(Id(1402)), findChild<QWidget*>(Id(1403)),
                    findChild<QWidget*>(Id(1404)), m_statusText});
    m_target = ChartWhiteXy();
    LoadCandidateImages();
    if (CDisplay* display = sheet.Monitor()) {
        SelectUserPresetForResetModel(sheet);
        if (display->IsResetModel())
            sheet.Wait(500);
        m_gains = ReadWhiteGainRanges(*display, [&sheet](int ms) { sheet.Wait(ms); });
    }
    m_brightness->Init(sheet.Monitor());
}

bool CDetailModePage5::OnSetActive()
{
    Sheet().SetWizardButtons(kWizardBack | kWizardNext);
    m_brightness->Reread(false);
    SelectUserPresetForResetModel(Sheet());
    return true;
}

int CDetailModePage5::OnWizardNext()
{
    return kDetailModePage7Id;
}

int CDetailModePage5::OnWizardBack()
{
    return kDetailModePage4Id;
}

// Each picture shows the chart as it looks under its candidate white: the
// target moved by a step toward the picture's place in the grid. They are
// drawn once; afterwards the monitor's white moves under all of them.
void CDetailModePage5::LoadCandidateImages()
{
    for (int cell = 0; cell < kCandidateCount; ++cell) {
        const std::array<double, 3> white = WhiteXYZ(CandidateWhite(m_target, cell));
        ShowChart(*m_pictures[static_cast<std::size_t>(cell)], Sheet(),
                  cell == kCandidateCentre ? "ChartImage_mid.tif" : "ChartImage_small.tif",
                  CCIEXYZ(white[0], white[1], white[2]));
    }
    update();
}

void CDetailModePage5::OnPicture(int cell)
{
    if (cell == kCandidateCentre || cell < 0 || cell >= kCandidateCount)
        return;
    m_target = MoveTarget(m_target, CandidateDirectionOf(cell));
    ApplyTarget();
}

void CDetailModePage5::ApplyTarget()
{
    m_status = SetWhiteGains(Sheet(), m_target, m_gains);
    ShowStatus();
}

void CDetailModePage5::OnReset()
{
    if (!AskReset())
        return;
    m_target = ChartWhiteXy();
    WriteGains(Sheet(), ReadGainsOf(m_gains));
    Sheet().ReapplyLuminance();
    Sheet().SetGainsAdjusted(true);
    m_status = WhiteGainStatus::Written;
    ShowStatus();
}

void CDetailModePage5::ShowStatus()
{
    ShowStatusText(*m_statusText, m_status);
}

bool CDetailModePage5::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        for (int cell = 0; cell < kCandidateCount; ++cell) {
            if (watched == m_pictures[static_cast<std::size_t>(cell)]) {
                OnPicture(cell);
                return true;
            }
        }
    }
    return CDetailModePage::eventFilter(watched, event);
}

// ---------------------------------------------------------------- page 6

CDetailModePage6::CDetailModePage6(CDetailModeSheet& sheet) : CDetailModePage(sheet, kDetailModePage6Id)
{
    m_pointSet = LoadDetailModeSettings(CIniFile(GetIniFilePath())).setCIExy;

    m_others = new QWidget(this);
    auto* title = MakeText(m_others, 1375,
                           QStringLiteral("写真と画面が同じ色になるように調節してください"));
    m_chart = Named(new CImageCtrl(m_others), kIdcDiagramChart);
    m_chart->setFixedSize(176, 132);
    auto* reset = Named(new QPushButton(QStringLiteral("リセット"), m_others), kIdcDiagramReset);
    connect(reset, &QPushButton::clicked, this, [this] { OnReset(); });
    auto* dark = MakeText(m_others, 1378, QStringLiteral("暗い"));
    auto* bright = MakeText(m_others, 1379, QStringLiteral("明るい"));
    auto* hintTitle = MakeText(m_others, 1405, QStringLiteral("調整のヒント："));
    auto* hint = MakeText(
        m_others, 1406,
        QStringLiteral("石膏像と背景のグレー部分に注目して色を調整してください。"));
    auto* howTo = MakeText(m_others, 1407,
                           QStringLiteral("【色変更の方法】\nマウスで色を指定後、左クリックで確定。\n"
                                          "または、\nカーソルキーで色を指定後、リターンキーを押して確定。"));
    m_brightness = std::make_unique<CBrightnessBar>(m_others, kIdcDiagramBar, kIdcDiagramLevel,
                                                    CBrightnessSlider::Orientation::Horizontal);
    const int gainIds[3] = {kIdcGainRed, kIdcGainGreen, kIdcGainBlue};
    for (std::size_t c = 0; c < 3; ++c)
        m_gainTexts[c] = MakeText(m_others, gainIds[c], QStringLiteral("0"));
    m_statusText = MakeText(m_others, 0, {});
    m_statusText->setObjectName(QStringLiteral("status"));
    m_statusText->hide();

    m_diagram = Named(new CCIExyCtrl(this), kIdcDiagram);
    m_diagram->setFixedSize(kDiagramWidth, kDiagramHeight);
    m_diagram->installEventFilter(this);
    connect(m_diagram, &CCIExyCtrl::pointChanged, this,
            [this](double x, double y) { OnPointChanged(x, y); });
    m_diagramOnlyButton =
        Named(new QPushButton(LoadString(kStrDiagramOnly), this), kIdcDiagramOnly);
    connect(m_diagramOnlyButton, &QPushButton::clicked, this, [this] { OnDiagramOnly(); });

    auto* bar = new QHBoxLayout;
    bar->addWidget(dark);
    bar->addWidget(m_brightness->Bar(), 1);
    bar->addWidget(bright);
    auto* gains = new QHBoxLayout;
    gains->addWidget(reset);
    gains->addSpacing(8);
    for (QLabel* text : m_gainTexts)
        gains->addWidget(text);
    auto* others = new QVBoxLayout(m_others);
    // The room between the chart's side and the diagram goes with the
    // chart's side when the diagram is shown alone.
    others->setContentsMargins(0, 0, 12, 0);
    others->addWidget(title);
    others->addWidget(m_chart, 0, Qt::AlignHCenter);
    others->addLayout(bar);
    others->addWidget(m_brightness->LevelText());
    others->addWidget(m_brightness->Refusal());
    others->addLayout(gains);
    others->addWidget(m_statusText);
    others->addWidget(hintTitle);
    others->addWidget(hint);
    others->addStretch(1);

    auto* diagramSide = new QVBoxLayout;
    diagramSide->addWidget(m_diagram, 0, Qt::AlignHCenter);
    diagramSide->addWidget(m_diagramOnlyButton, 0, Qt::AlignLeft);
    diagramSide->addWidget(howTo);
    diagramSide->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_others, 1);
    layout->addLayout(diagramSide);
}

CDetailModePage6::~CDetailModePage6()
{
    SaveSettings(Initialized());
}

// The point-set flag always; the diagram's point when the page was shown
// and has one (a point that was never set is not stored as (0, 0)).
void CDetailModePage6::SaveSettings(bool withPoint)
{
    CIniFile ini(GetIniFilePath());
    SavePointSetFlag(ini, m_pointSet);
    if (withPoint && m_hasPoint)
        SaveCurrentPoint(ini, {m_diagram->Point.x, m_diagram->Point.y});
}

void CDetailModePage6::OnInitDialog()
{
    CDetailModeSheet& sheet = Sheet();
    SetFont(sheet, {findChild<QWidget*>(Id(1375)), findChild<QWidget*>(Id(kIdcDiagramReset)),
                    findChild<QWidget*>(Id(1378)), findChild<QWidget*>(Id(1379)),
                    findChild<QWidget*>(Id(1405)), findChild<QWidget*>(Id(1406)),
                    findChild<QWidget*>(Id(1407)), m_statusText});
    const DetailModeSettings settings = LoadDetailModeSettings(CIniFile(GetIniFilePath()));
    m_hasPoint = settings.current.has_value();
    const WhiteXy start = settings.current.value_or(WhiteXy{});
    m_diagram->RefPoint = {start.x, start.y};
    m_diagram->Point = m_diagram->RefPoint;
    m_diagram->update();
    ShowChart(*m_chart, sheet, "ChartImage_big.tif", ChartWhiteXYZ());
    if (CDisplay* display = sheet.Monitor()) {
        SelectUserPresetForResetModel(sheet);
        if (display->IsResetModel())
            sheet.Wait(500);
        m_gains = ReadWhiteGainRanges(*display, [&sheet](int ms) { sheet.Wait(ms); });
    }
    m_brightness->Init(sheet.Monitor());
    ShowGains(m_gains.initial);
}

bool CDetailModePage6::OnSetActive()
{
    Sheet().SetWizardButtons(kWizardBack | kWizardNext);
    SeedPoint();
    m_diagram->setFocus(Qt::OtherFocusReason);
    m_brightness->Reread(false);
    SelectUserPresetForResetModel(Sheet());
    return true;
}

void CDetailModePage6::SeedPoint()
{
    if (m_pointSet == 1)
        return;
    if (const std::optional<WhiteXy> seed = SeedPointForPreset(Sheet().CurrentPreset())) {
        m_diagram->Point = {seed->x, seed->y};
        m_diagram->RefPoint = m_diagram->Point;
        m_hasPoint = true;
    }
    m_diagram->update();
}

int CDetailModePage6::OnWizardNext()
{
    m_diagram->RefPoint = m_diagram->Point;
    m_pointSet = 1;
    return 0;
}

int CDetailModePage6::OnWizardBack()
{
    return kDetailModePage4Id;
}

// Enter and the arrows go to the diagram whichever control has the focus.
bool CDetailModePage6::HandleWizardKey(QKeyEvent* event)
{
    m_diagram->setFocus(Qt::OtherFocusReason);
    return m_diagram->OnKeyDown(event->key());
}

void CDetailModePage6::OnPointChanged(double x, double y)
{
    std::optional<WhiteXy> target;
    if (m_hasPoint)
        target = WhiteXy{x, y};
    std::array<std::uint16_t, 3> written{};
    m_status = SetWhiteGains(Sheet(), target, m_gains, &written);
    if (m_status == WhiteGainStatus::Written)
        ShowGains(written);
    ShowStatus();
}

void CDetailModePage6::OnReset()
{
    if (!AskReset())
        return;
    WriteGains(Sheet(), ReadGainsOf(m_gains));
    Sheet().ReapplyLuminance();
    Sheet().SetGainsAdjusted(true);
    SeedPoint();
    m_diagram->RestorePoint();
    ShowGains(m_gains.initial);
    m_status = WhiteGainStatus::Written;
    ShowStatus();
}

// The diagram alone: everything else of the page and the sheet's buttons
// are hidden and the sheet shrinks to the diagram's width + 36 by its
// height + 200 (half the extra width on each side, the button below it);
// switched off, the sheet gets back the size it had. Either way the sheet
// moves so that the diagram stays where it was on the screen.
void CDetailModePage6::OnDiagramOnly()
{
    CDetailModeSheet& sheet = Sheet();
    const QPoint diagramBefore = m_diagram->mapTo(&sheet, QPoint(0, 0));
    if (!m_diagramOnly)
        m_sizeBeforeDiagramOnly = sheet.size();
    m_diagramOnly = !m_diagramOnly;
    m_diagramOnlyButton->setText(LoadString(m_diagramOnly ? kStrDiagramBack : kStrDiagramOnly));
    m_others->setVisible(!m_diagramOnly);
    if (QWidget* howTo = findChild<QWidget*>(Id(1407)))
        howTo->setVisible(!m_diagramOnly);
    if (m_diagramOnly) {
        m_marginsWithOthers = layout()->contentsMargins();
        layout()->setContentsMargins(0, 0, 0, 0);
        const int side = kDiagramOnlyExtraWidth / 2;
        sheet.SetPageAlone(true, QMargins(side, side, side, side));
        sheet.resize(m_diagram->width() + kDiagramOnlyExtraWidth,
                     m_diagram->height() + kDiagramOnlyExtraHeight);
    } else {
        layout()->setContentsMargins(m_marginsWithOthers);
        sheet.SetPageAlone(false);
        sheet.resize(m_sizeBeforeDiagramOnly);
    }
    sheet.layout()->activate();
    layout()->activate();
    sheet.move(sheet.pos() + diagramBefore - m_diagram->mapTo(&sheet, QPoint(0, 0)));
    m_diagram->setFocus(Qt::OtherFocusReason);
}

void CDetailModePage6::ShowGains(const std::array<std::uint16_t, 3>& gains)
{
    for (std::size_t c = 0; c < 3; ++c)
        m_gainTexts[c]->setText(QString::number(gains[c]));
}

void CDetailModePage6::ShowStatus()
{
    ShowStatusText(*m_statusText, m_status);
}

// A click places the point where the user wants it: from then on the
// diagram has a point to aim at.
bool CDetailModePage6::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_diagram && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        m_hasPoint = true;
    return CDetailModePage::eventFilter(watched, event);
}

// ---------------------------------------------------------------- page 7

CDetailModePage7::CDetailModePage7(CDetailModeSheet& sheet) : CDetailModePage(sheet, kDetailModePage7Id)
{
    m_chart = Named(new CImageCtrl(this), kIdcLastChart);
    m_chart->setFixedSize(320, 240);
    auto* question = MakeText(this, 1382, QStringLiteral("これで良いでしょうか？"));
    auto* yes = MakeText(this, 1376, QStringLiteral("はい：　　[完了]ボタンを押してください"));
    auto* no = MakeText(this, 1377,
                        QStringLiteral("いいえ：　[戻る]ボタンにより設定を確認してください"));
    m_before = Named(new QRadioButton(QStringLiteral("調整前の表示"), this), kIdcBeforeAdjustment);
    m_after = Named(new QRadioButton(QStringLiteral("調整後の表示"), this), kIdcAfterAdjustment);
    auto* group = new QButtonGroup(this);
    group->addButton(m_before);
    group->addButton(m_after);
    m_after->setChecked(true);
    connect(m_before, &QRadioButton::clicked, this, [this] { Sheet().RestoreMonitor(); });
    connect(m_after, &QRadioButton::clicked, this, [this] { ApplyAdjustment(); });

    auto* radios = new QHBoxLayout;
    radios->addWidget(m_before);
    radios->addWidget(m_after);
    radios->addStretch(1);
    auto* side = new QVBoxLayout;
    side->addWidget(question);
    side->addSpacing(8);
    side->addWidget(yes);
    side->addWidget(no);
    side->addSpacing(16);
    side->addLayout(radios);
    side->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_chart, 0, Qt::AlignTop);
    layout->addSpacing(12);
    layout->addLayout(side, 1);
}

void CDetailModePage7::OnInitDialog()
{
    SetFont(Sheet(), {findChild<QWidget*>(Id(1382)), findChild<QWidget*>(Id(1376)),
                      findChild<QWidget*>(Id(1377)), m_before, m_after});
    ShowChart(*m_chart, Sheet(), "ChartImage_big.tif", ChartWhiteXYZ());
}

bool CDetailModePage7::OnSetActive()
{
    CDetailModeSheet& sheet = Sheet();
    sheet.SetWizardButtons(kWizardBack | kWizardFinish);
    CDisplay* display = sheet.Monitor();
    if (display == nullptr)
        return true;
    const auto read = [display](int control) -> std::optional<std::uint16_t> {
        std::uint16_t value = 0;
        if (!display->GetControlValue(control, &value))
            return std::nullopt;
        return value;
    };
    m_values = {};
    m_values.luminance = read(kControlLuminance);
    sheet.Wait(200);
    m_values.contrast = read(kControlContrast);
    if (display->IsResetModel()) {
        if (display->SetControlValue(kControlPreset, kPresetUser))
            display->RefreshLuminance();
        sheet.Wait(500);
    }
    for (std::size_t c = 0; c < 3; ++c) {
        m_values.gains[c] = read(kControlGainRed + static_cast<int>(c));
        sheet.Wait(200);
    }
    return true;
}

int CDetailModePage7::OnWizardBack()
{
    return Sheet().BackTarget();
}

bool CDetailModePage7::OnWizardFinish()
{
    ApplyAdjustment();
    if (CDisplay* display = Sheet().Monitor())
        display->SaveSettings();
    return true;
}

// The gains act in the preset they were set in: the reset group's user
// preset, else the room light's (or the opening) preset. A preset that was
// never read is not written.
void CDetailModePage7::ApplyAdjustment()
{
    CDetailModeSheet& sheet = Sheet();
    CDisplay* display = sheet.Monitor();
    if (display == nullptr)
        return;
    const bool presetKnown = sheet.CurrentPreset() != 0 || sheet.Saved().presetRead;
    if (display->IsResetModel()) {
        if (display->SetControlValue(kControlPreset, kPresetUser))
            display->RefreshLuminance();
    } else if (presetKnown && display->SetControlValue(kControlPreset, sheet.CurrentPreset())) {
        display->RefreshLuminance();
    }
    WriteGains(sheet, m_values.gains);
    if (m_values.luminance)
        display->SetControlValue(kControlLuminance, *m_values.luminance);
    sheet.Wait(500);
    if (m_values.contrast)
        display->SetControlValue(kControlContrast, *m_values.contrast);
}
