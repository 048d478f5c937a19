#include "print/PrintImageDlg.h"

#include "controls/support/WaitCursor.h"
#include "controls/widgets/UpDown.h"
#include "core/ColorProfile.h"
#include "core/IniFile.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "core/RGBImage.h"
#include "correction/ProjectManage.h"
#include "print/MyEdit.h"
#include "print/PrintDialogParts.h"
#include "print/PrintJob.h"
#include "print/PrintPreviewCtrl.h"
#include "print/PrintTrimmingDlg.h"
#include "print/PrinterSettings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace {

// Ranges the design fixes: the ratio 1.0 % .. 10000.0 % in tenths of a
// percent, the corner of the visible part +-16383 tenths of a millimetre.
constexpr int kRatioMin = 10;
constexpr int kRatioMax = 100000;
constexpr int kPositionLimit = 16383;

std::string FormatOne(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

std::string TextOf(const QLineEdit* edit)
{
    return edit->text().toStdString();
}

} // namespace

// ---------------------------------------------------------------------------
// The checks before printing

PrintSettingsProblem CheckPrintSettings(const PrintSettingsInput& input, const CPrintLayout& layout)
{
    if (!CPrintLayout::IsValidScale(input.ratioPercent / 100.0))
        return {kStrPrintRatioRange,
                {FormatOne(kMinPrintScale * 100.0), FormatOne(kMaxPrintScale * 100.0)},
                CPrintImageDlg::kIdRatio};
    if (!layout.IsValidWidth(input.widthTenthMM))
        return {kStrPrintWidthRange,
                {FormatOne(layout.MinWidth() / 10.0), FormatOne(layout.MaxWidth() / 10.0)},
                CPrintImageDlg::kIdWidth};
    if (!layout.IsValidHeight(input.heightTenthMM))
        return {kStrPrintHeightRange,
                {FormatOne(layout.MinHeight() / 10.0), FormatOne(layout.MaxHeight() / 10.0)},
                CPrintImageDlg::kIdHeight};
    if (input.copies < 1 || input.copies > input.maxCopies)
        return {kStrPrintCopiesRange,
                {std::to_string(1), std::to_string(input.maxCopies)},
                CPrintImageDlg::kIdCopies};
    if (input.printerProfilePath && !input.profileSelected)
        return {kStrPrintNoProfile, {}, CPrintImageDlg::kIdProfile};
    if (!layout.FitsPage(input.leftTenthMM, input.topTenthMM))
        return {kStrPrintOutsideArea, {}, 0, true};
    return {};
}

// ---------------------------------------------------------------------------
// Construction

CPrintImageDlg::CPrintImageDlg(const std::string& monitorProfilePath, const CRGBImage& image,
                               const std::string& imageName, const LogColorSpace& colorSpace,
                               CSystemPrinters& printers, QWidget* parent)
    : CDataDialog(parent), m_monitorProfilePath(monitorProfilePath), m_image(image),
      m_imageName(imageName), m_colorSpace(colorSpace), m_printers(printers),
      m_printer(std::make_unique<CPrinterSettings>())
{
    m_caption = QStringLiteral("印刷");
    setWindowTitle(m_caption);
    m_layout.SetImageSize(image.GetWidth(), image.GetHeight());
    BuildControls();
}

CPrintImageDlg::~CPrintImageDlg() = default;

template <class F>
void CPrintImageDlg::Guarded(int id, F&& body)
{
    if (m_guard != kGuardIdle)
        return;
    m_guard = id;
    body();
    m_guard = kGuardIdle;
}

QWidget* CPrintImageDlg::MakeHidden(int id, const QString& text)
{
    auto* label = new QLabel(text, this);
    label->setObjectName(QString::number(id));
    label->hide();
    m_controls[id] = label;
    return label;
}

CMyEdit* CPrintImageDlg::MakeEdit(int id, int spinId, CUpDown** spin)
{
    auto* edit = new CMyEdit(this);
    edit->setObjectName(QString::number(id));
    edit->setAlignment(Qt::AlignRight);
    edit->setFixedWidth(76);
    edit->setNotifyMessage(id);
    connect(edit, &CMyEdit::notify, this, &CPrintImageDlg::onNotify);
    m_controls[id] = edit;
    *spin = new CUpDown(Qt::Vertical, this);
    (*spin)->setObjectName(QString::number(spinId));
    (*spin)->setNotifyMessage(spinId);
    connect(*spin, &CUpDown::notify, this, &CPrintImageDlg::onNotify);
    m_controls[spinId] = *spin;
    return edit;
}

QRadioButton* CPrintImageDlg::MakeRadio(int id, const QString& text, QButtonGroup* group,
                                        int groupId)
{
    auto* radio = new QRadioButton(text, this);
    radio->setObjectName(QString::number(id));
    group->addButton(radio, groupId);
    m_controls[id] = radio;
    return radio;
}

QCheckBox* CPrintImageDlg::MakeCheck(int id, const QString& text, bool checked)
{
    auto* check = new QCheckBox(text, this);
    check->setObjectName(QString::number(id));
    check->setChecked(checked);
    m_controls[id] = check;
    return check;
}

void CPrintImageDlg::BuildControls()
{
    // ---- Printer
    m_printerCombo = new QComboBox(this);
    m_printerCombo->setObjectName(QString::number(kIdPrinter));
    m_printerCombo->setMinimumWidth(220);
    m_controls[kIdPrinter] = m_printerCombo;
    auto* properties = new QPushButton(QStringLiteral("プリンタのプロパティ..."), this);
    properties->setObjectName(QString::number(kIdProperties));
    properties->setAutoDefault(false);
    m_controls[kIdProperties] = properties;

    auto* printerBox = new QGroupBox(QStringLiteral("プリンタ"), this);
    auto* printerLayout = new QGridLayout(printerBox);
    printerLayout->addWidget(new QLabel(QStringLiteral("プリンタ名："), this), 0, 0);
    printerLayout->addWidget(m_printerCombo, 0, 1);
    printerLayout->addWidget(properties, 1, 1, Qt::AlignRight);
    printerLayout->setColumnStretch(1, 1);

    // ---- Paper
    m_paperCombo = new QComboBox(this);
    m_paperCombo->setObjectName(QString::number(kIdPaper));
    m_controls[kIdPaper] = m_paperCombo;
    MakeHidden(kIdPaperId);
    m_paperSizeText = new QLabel(this);
    m_paperSizeText->setObjectName(QString::number(kIdPaperSize));
    m_controls[kIdPaperSize] = m_paperSizeText;
    m_binCombo = new QComboBox(this);
    m_binCombo->setObjectName(QString::number(kIdBin));
    m_controls[kIdBin] = m_binCombo;
    MakeHidden(kIdBinId);
    m_orientationGroup = new QButtonGroup(this);
    QRadioButton* portrait = MakeRadio(kIdPortrait, QStringLiteral("縦"), m_orientationGroup, 0);
    QRadioButton* landscape = MakeRadio(kIdLandscape, QStringLiteral("横"), m_orientationGroup, 1);
    portrait->setChecked(true);
    m_copies = MakeEdit(kIdCopies, kIdCopiesSpin, &m_copiesSpin);
    m_copies->Mode = EditMode::Integer;
    m_copies->Minimum = 1;
    m_copies->Maximum = 1;
    m_copies->setFixedWidth(56);
    m_copiesSpin->SetRange(1, 1);
    m_copies->SetValue(1);

    auto* paperBox = new QGroupBox(QStringLiteral("用紙"), this);
    auto* paperLayout = new QGridLayout(paperBox);
    paperLayout->addWidget(new QLabel(QStringLiteral("用紙サイズ："), this), 0, 0);
    paperLayout->addWidget(m_paperCombo, 0, 1, 1, 3);
    paperLayout->addWidget(m_paperSizeText, 1, 1, 1, 3);
    paperLayout->addWidget(new QLabel(QStringLiteral("給紙方法："), this), 2, 0);
    paperLayout->addWidget(m_binCombo, 2, 1, 1, 3);
    paperLayout->addWidget(new QLabel(QStringLiteral("印刷の向き："), this), 3, 0);
    auto* orientationRow = new QHBoxLayout;
    orientationRow->addWidget(portrait);
    orientationRow->addWidget(landscape);
    orientationRow->addStretch(1);
    paperLayout->addLayout(orientationRow, 3, 1, 1, 3);
    paperLayout->addWidget(new QLabel(QStringLiteral("部数："), this), 4, 0);
    auto* copiesRow = new QHBoxLayout;
    copiesRow->setSpacing(2);
    copiesRow->addWidget(m_copies);
    copiesRow->addWidget(m_copiesSpin);
    copiesRow->addStretch(1);
    paperLayout->addLayout(copiesRow, 4, 1, 1, 3);
    paperLayout->setColumnStretch(1, 1);

    // ---- Size
    m_modeGroup = new QButtonGroup(this);
    QRadioButton* scaleMode = MakeRadio(kIdScaleMode, QStringLiteral("拡大・縮小"), m_modeGroup, 0);
    QRadioButton* trimMode = MakeRadio(kIdTrimMode, QStringLiteral("トリミング"), m_modeGroup, 1);
    scaleMode->setChecked(true);
    m_fit = MakeCheck(kIdFit, QStringLiteral("用紙に合わせて拡大縮小"), true);
    m_fitModeGroup = new QButtonGroup(this);
    QRadioButton* fitWhole =
        MakeRadio(kIdFitWhole, QStringLiteral("画像全体を印刷する"), m_fitModeGroup, 0);
    QRadioButton* fitFill =
        MakeRadio(kIdFitFill, QStringLiteral("用紙全体に印刷する"), m_fitModeGroup, 1);
    fitWhole->setChecked(true);
    fitWhole->setEnabled(false);
    fitFill->setEnabled(false);
    m_ratio = MakeEdit(kIdRatio, kIdRatioSpin, &m_ratioSpin);
    m_width = MakeEdit(kIdWidth, kIdWidthSpin, &m_widthSpin);
    m_height = MakeEdit(kIdHeight, kIdHeightSpin, &m_heightSpin);
    for (CMyEdit* edit : {m_ratio, m_width, m_height})
    {
        edit->Mode = EditMode::Real;
        edit->Decimals = 1;
    }
    m_ratio->Minimum = kRatioMin;
    m_ratio->Maximum = kRatioMax;
    m_ratioSpin->SetRange(kRatioMin, kRatioMax);
    m_ratio->setText(QStringLiteral("100.0"));
    m_width->setText(QStringLiteral("0.0"));
    m_height->setText(QStringLiteral("0.0"));
    m_trimButton = new QPushButton(QStringLiteral("設定..."), this);
    m_trimButton->setObjectName(QString::number(kIdTrimming));
    m_trimButton->setAutoDefault(false);
    m_trimButton->setEnabled(false);
    m_controls[kIdTrimming] = m_trimButton;

    auto* sizeBox = new QGroupBox(QStringLiteral("印刷サイズ"), this);
    auto* sizeLayout = new QGridLayout(sizeBox);
    auto* modeRow = new QHBoxLayout;
    modeRow->addWidget(scaleMode);
    modeRow->addWidget(trimMode);
    modeRow->addStretch(1);
    modeRow->addWidget(m_trimButton);
    sizeLayout->addLayout(modeRow, 0, 0, 1, 4);
    sizeLayout->addWidget(m_fit, 1, 0, 1, 4);
    auto* fitRow = new QHBoxLayout;
    fitRow->setContentsMargins(20, 0, 0, 0);
    fitRow->addWidget(fitWhole);
    fitRow->addWidget(fitFill);
    fitRow->addStretch(1);
    sizeLayout->addLayout(fitRow, 2, 0, 1, 4);
    const auto addValueRow = [&](QGridLayout* grid, int row, const QString& label, CMyEdit* edit,
                                 CUpDown* spin, const QString& unit) {
        grid->addWidget(new QLabel(label, this), row, 0);
        auto* cell = new QHBoxLayout;
        cell->setSpacing(2);
        cell->addWidget(edit);
        cell->addWidget(spin);
        cell->addWidget(new QLabel(unit, this));
        cell->addStretch(1);
        grid->addLayout(cell, row, 1, 1, 3);
    };
    addValueRow(sizeLayout, 3, QStringLiteral("倍率："), m_ratio, m_ratioSpin, QStringLiteral("%"));
    addValueRow(sizeLayout, 4, QStringLiteral("幅："), m_width, m_widthSpin, QStringLiteral("mm"));
    addValueRow(sizeLayout, 5, QStringLiteral("高さ："), m_height, m_heightSpin,
                QStringLiteral("mm"));
    sizeLayout->setColumnStretch(3, 1);

    // ---- Position
    m_positionGroup = new QButtonGroup(this);
    QRadioButton* centrePaper =
        MakeRadio(kIdCentreOfPaper, QStringLiteral("用紙の中央に配置"), m_positionGroup, 0);
    QRadioButton* centrePrintable = MakeRadio(
        kIdCentreOfPrintable, QStringLiteral("印刷領域の中央に配置"), m_positionGroup, 1);
    QRadioButton* custom =
        MakeRadio(kIdCustomPosition, QStringLiteral("カスタム設定"), m_positionGroup, 2);
    centrePaper->setChecked(true);
    m_left = MakeEdit(kIdLeft, kIdLeftSpin, &m_leftSpin);
    m_top = MakeEdit(kIdTop, kIdTopSpin, &m_topSpin);
    for (auto [edit, spin] : {std::pair{m_left, m_leftSpin}, std::pair{m_top, m_topSpin}})
    {
        edit->Mode = EditMode::Real;
        edit->Decimals = 1;
        edit->Minimum = -kPositionLimit;
        edit->Maximum = kPositionLimit;
        edit->setText(QStringLiteral("0.0"));
        spin->SetRange(-kPositionLimit, kPositionLimit);
    }

    auto* positionBox = new QGroupBox(QStringLiteral("印刷位置"), this);
    auto* positionLayout = new QGridLayout(positionBox);
    positionLayout->addWidget(centrePaper, 0, 0, 1, 4);
    positionLayout->addWidget(centrePrintable, 1, 0, 1, 4);
    positionLayout->addWidget(custom, 2, 0, 1, 4);
    auto* cornerRow = new QHBoxLayout;
    cornerRow->setContentsMargins(20, 0, 0, 0);
    cornerRow->setSpacing(2);
    cornerRow->addWidget(new QLabel(QStringLiteral("左："), this));
    cornerRow->addWidget(m_left);
    cornerRow->addWidget(m_leftSpin);
    cornerRow->addWidget(new QLabel(QStringLiteral("mm"), this));
    cornerRow->addSpacing(12);
    cornerRow->addWidget(new QLabel(QStringLiteral("上："), this));
    cornerRow->addWidget(m_top);
    cornerRow->addWidget(m_topSpin);
    cornerRow->addWidget(new QLabel(QStringLiteral("mm"), this));
    cornerRow->addStretch(1);
    positionLayout->addLayout(cornerRow, 3, 0, 1, 4);

    // ---- Colour management
    m_colorGroup = new QGroupBox(QStringLiteral("カラーマネージメント"), this);
    m_colorGroup->setObjectName(QString::number(kIdColorGroup));
    m_controls[kIdColorGroup] = m_colorGroup;
    m_pathGroup = new QButtonGroup(this);
    QRadioButton* insideDC = MakeRadio(kIdPathInsideDC, QStringLiteral("InsideDC"), m_pathGroup,
                                       static_cast<int>(PrintColorPath::PrinterAssociated));
    insideDC->hide();
    QRadioButton* printerProfile =
        MakeRadio(kIdPathPrinterProfile, QStringLiteral("プリンタのICCプロファイルを指定"),
                  m_pathGroup, static_cast<int>(PrintColorPath::PrinterProfile));
    QRadioButton* noProfile =
        MakeRadio(kIdPathNone, QStringLiteral("カラーマネージメントしない"), m_pathGroup,
                  static_cast<int>(PrintColorPath::NoPrinterProfile));
    printerProfile->setChecked(true);
    m_profileCombo = new QComboBox(this);
    m_profileCombo->setObjectName(QString::number(kIdProfile));
    m_profileCombo->setMinimumWidth(220);
    m_profileCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_controls[kIdProfile] = m_profileCombo;
    m_associatedOnly = MakeCheck(kIdAssociatedOnly,
                                 QStringLiteral("プリンタに関連付けられたプロファイルのみ表示"), false);
    m_proofMonitor =
        MakeCheck(kIdProofMonitor, QStringLiteral("ディスプレイの表示色域をはみ出さない"), false);
    m_proofMonitor->hide();
    MakeCheck(kIdGamutWarning, QStringLiteral("色域外警告表示"), false)->hide();
    MakeHidden(kIdProfileText);
    m_icmGroup = new QButtonGroup(this);
    const QString icmNames[] = {QStringLiteral("なし"), QStringLiteral("システム"),
                                QStringLiteral("ドライバ"), QStringLiteral("デバイス"),
                                QStringLiteral("その他")};
    for (int i = 0; i < 5; ++i)
        MakeRadio(kIdIcmNone + i, icmNames[i], m_icmGroup, i)->hide();
    m_icmGroup->button(0)->setChecked(true);
    MakeHidden(kIdIcmMethod);

    auto* colorLayout = new QVBoxLayout(m_colorGroup);
    colorLayout->addWidget(printerProfile);
    auto* profileRow = new QVBoxLayout;
    profileRow->setContentsMargins(20, 0, 0, 0);
    profileRow->addWidget(m_profileCombo);
    profileRow->addWidget(m_associatedOnly);
    colorLayout->addLayout(profileRow);
    colorLayout->addWidget(noProfile);

    // ---- Preview and its options
    m_preview = new CPrintPreviewCtrl(this);
    m_preview->setMinimumSize(320, 420);
    m_preview->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_controls[kIdPreview] = m_preview;
    QCheckBox* centreLines = MakeCheck(kIdCentreLines, QStringLiteral("中央線"), true);
    QCheckBox* printableArea = MakeCheck(kIdPrintableArea, QStringLiteral("印刷領域"), true);
    m_trackers = MakeCheck(kIdTrackers, QStringLiteral("サイズ変更枠（トラッカー）"), true);
    MakeCheck(kIdMaskOutside, QStringLiteral("印刷領域外のマスク処理"), true)->hide();
    QCheckBox* showTrimmed = MakeCheck(kIdShowTrimmed, QStringLiteral("トリミング領域"), true);

    auto* previewOptions = new QGridLayout;
    previewOptions->addWidget(centreLines, 0, 0);
    previewOptions->addWidget(printableArea, 0, 1);
    previewOptions->addWidget(m_trackers, 1, 0);
    previewOptions->addWidget(showTrimmed, 1, 1);

    // ---- Hidden figures
    for (int id : {kIdImageWidth, kIdImageHeight, kIdPrintWidthDots, kIdPrintHeightDots,
                   kIdResolutionX, kIdResolutionY, kIdPhysicalWidth, kIdPhysicalHeight,
                   kIdPrintableWidth, kIdPrintableHeight, kIdOffsetX, kIdOffsetY})
        MakeHidden(id);

    // ---- Buttons
    auto* print = new QPushButton(QStringLiteral("印刷"), this);
    print->setObjectName(QString::number(kIdPrint));
    // Enter in an edit neither prints nor closes: no default button.
    print->setAutoDefault(false);
    m_controls[kIdPrint] = print;
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QString::number(kIdClose));
    close->setAutoDefault(false);
    m_controls[kIdClose] = close;

    // ---- Layout: the settings down the left in the order they are made,
    // the page on the right.
    auto* settings = new QVBoxLayout;
    settings->addWidget(printerBox);
    settings->addWidget(paperBox);
    settings->addWidget(sizeBox);
    settings->addWidget(positionBox);
    settings->addWidget(m_colorGroup);
    settings->addStretch(1);

    auto* pageColumn = new QVBoxLayout;
    pageColumn->addWidget(m_preview, 1);
    pageColumn->addLayout(previewOptions);

    auto* columns = new QHBoxLayout;
    columns->addLayout(settings);
    columns->addLayout(pageColumn, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(print);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);

    // ---- The message map
    connect(m_printerCombo, &QComboBox::activated, this, [this] { OnSelchangePrinter(); });
    connect(properties, &QPushButton::clicked, this, [this] { OnProperties(); });
    connect(m_paperCombo, &QComboBox::activated, this, [this] { OnSelchangePaper(); });
    connect(m_binCombo, &QComboBox::activated, this, [this] { OnSelchangeBin(); });
    connect(portrait, &QRadioButton::clicked, this, [this] { OnOrientation(false); });
    connect(landscape, &QRadioButton::clicked, this, [this] { OnOrientation(true); });
    connect(m_fit, &QCheckBox::clicked, this, [this] { OnFit(); });
    connect(fitWhole, &QRadioButton::clicked, this,
            [this] { OnFitMode(PrintFitMode::WholeImage); });
    connect(fitFill, &QRadioButton::clicked, this, [this] { OnFitMode(PrintFitMode::FillPaper); });
    connect(centrePaper, &QRadioButton::clicked, this,
            [this] { OnPositionMode(PrintPositionMode::CentreOfPaper); });
    connect(centrePrintable, &QRadioButton::clicked, this,
            [this] { OnPositionMode(PrintPositionMode::CentreOfPrintableArea); });
    connect(custom, &QRadioButton::clicked, this,
            [this] { OnPositionMode(PrintPositionMode::Custom); });
    connect(scaleMode, &QRadioButton::clicked, this, [this] { OnScaleMode(); });
    connect(trimMode, &QRadioButton::clicked, this, [this] { OnTrimMode(); });
    connect(m_trimButton, &QPushButton::clicked, this, [this] { OnTrimmingSettings(); });
    connect(print, &QPushButton::clicked, this, [this] { OnPrint(); });
    connect(close, &QPushButton::clicked, this, [this] { done(kDialogOk); });
    for (int id : {kIdCentreLines, kIdPrintableArea, kIdMaskOutside, kIdShowTrimmed})
        connect(static_cast<QCheckBox*>(m_controls[id]), &QCheckBox::clicked, this,
                [this, id] { OnPreviewOption(id); });
    connect(m_trackers, &QCheckBox::clicked, this, [this] { OnTrackers(); });
    for (int i = 0; i < 5; ++i)
        connect(m_icmGroup->button(i), &QAbstractButton::clicked, this,
                [this, i] { OnIcmMethod(i + 1); });
    for (QAbstractButton* radio : m_pathGroup->buttons())
        connect(radio, &QAbstractButton::clicked, this,
                [this, radio] { OnColorPath(m_pathGroup->id(radio)); });
    connect(m_associatedOnly, &QCheckBox::clicked, this, [this] { OnAssociatedOnly(); });
    connect(m_profileCombo, &QComboBox::activated, this, [this] { OnSelchangeProfile(); });
    connect(m_preview, &CPrintPreviewCtrl::printFrameChanged, this,
            [this](int, PrintRectTenthMM rect, int handle) { OnFrameChanged(rect, handle); });
    connect(m_preview, &CPrintPreviewCtrl::printTrimmingChanged, this,
            [this](int, PrintMargins margins, int) { OnTrimmingChanged(margins); });
}

void CPrintImageDlg::SetHiddenInt(int id, int value)
{
    if (auto* label = qobject_cast<QLabel*>(m_controls[id]))
        label->setText(QString::number(value));
}

void CPrintImageDlg::SetHiddenHex(int id, int value)
{
    if (auto* label = qobject_cast<QLabel*>(m_controls[id]))
        label->setText(QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')));
}

// ---------------------------------------------------------------------------
// Running

int CPrintImageDlg::exec()
{
    if (!OnInitDialog())
        return kDialogCancel;
    return QDialog::exec();
}

void CPrintImageDlg::done(int code)
{
    // The printer used last opens first next time.
    if (m_printer->IsOpen())
        CIniFile(GetIniFilePath())
            .SetString(kPrintSection, kDefaultPrinterKey, m_printer->DeviceName());
    QDialog::done(code);
}

bool CPrintImageDlg::OnInitDialog()
{
    // Without a printer of its own the machine still prints into a PDF
    // file: said once a run, and the dialog goes on with the file printer.
    TellNoPrinterInstalledOnce(m_printers);

    m_preview->SetImage(&m_image);
    m_preview->SetColorSpace(&m_colorSpace);
    m_preview->SetProfilePath(m_monitorProfilePath);
    SetHiddenInt(kIdImageWidth, m_image.GetWidth());
    SetHiddenInt(kIdImageHeight, m_image.GetHeight());

    m_layout.ComputeFitScale();
    EnableSizeControls(!m_layout.Fit());
    for (QAbstractButton* radio : m_fitModeGroup->buttons())
        radio->setEnabled(m_layout.Fit());
    m_preview->m_trimOverlayAllowed = true;
    m_preview->m_showTrimmedAway = true;
    m_preview->m_imageTrackerShown = true;
    m_preview->m_trimTrackerShown = false;

    const std::string saved =
        CIniFile(GetIniFilePath()).GetString(kPrintSection, kDefaultPrinterKey, "");
    FillPrinterList();
    const int index = OpenStartPrinter(*m_printer, m_printers, saved);
    if (index < 0)
    {
        ShowMessage(kStrPrintNoUsablePrinter, {}, MessageButtons::Ok, MessageIcon::Error);
        return false;
    }
    m_printerCombo->setCurrentIndex(index);
    OnPrinterOpened();

    setWindowTitle(QStringLiteral("%1 [ %2 ]").arg(m_caption, Text(m_imageName)));
    return true;
}

void CPrintImageDlg::FillPrinterList()
{
    FillPrinterCombo(*m_printerCombo, m_printers);
}

void CPrintImageDlg::OnPrinterOpened()
{
    WaitCursorGuard wait;
    RestoreKeptTicket(*m_printer, m_printers);
    FillPaperList();
    FillBinList();
    RefreshPrinterControls();
    // The profiles are looked up from the printer itself, not from its
    // device: the PDF printer has none until its file is named.
    SelectSavedProfile();
}

void CPrintImageDlg::FillPaperList()
{
    FillPaperCombo(*m_paperCombo, *m_printer);
}

void CPrintImageDlg::FillBinList()
{
    FillBinCombo(*m_binCombo, *m_printer);
}

int CPrintImageDlg::GetMaxCopies()
{
    return std::max(1, m_printer->GetMaxCopies());
}

void CPrintImageDlg::RefreshPrinterControls()
{
    WaitCursorGuard wait;
    if (m_printer->GetPaperName() == nullptr)
        m_printer->SelectFirstPaper();
    const PrintTicket& ticket = m_printer->DevMode();
    m_paperCombo->setCurrentIndex(m_paperCombo->findData(ticket.paper));
    SetHiddenHex(kIdPaperId, ticket.paper);
    if (ticket.fields & kTicketOrientation)
        m_orientationGroup->button(ticket.orientation == 2 ? 1 : 0)->setChecked(true);
    m_binCombo->setCurrentIndex(m_binCombo->findData(ticket.bin));
    SetHiddenHex(kIdBinId, ticket.bin);

    const int maxCopies = GetMaxCopies();
    const int copies = (ticket.fields & kTicketCopies) ? ticket.copies : 1;
    m_copiesSpin->SetRange(1, maxCopies);
    m_copies->Minimum = 1;
    m_copies->Maximum = maxCopies;
    m_copiesSpin->SetPos(copies);
    m_copies->SetValue(copies);

    UpdatePaperLayout();
    EnableColorControls(true);
    ShowICMMethod();
}

void CPrintImageDlg::EnableColorControls(bool enable)
{
    const bool profilePath =
        m_pathGroup->checkedId() == static_cast<int>(PrintColorPath::PrinterProfile);
    for (int id : {kIdColorGroup, kIdPathInsideDC, kIdPathPrinterProfile, kIdPathNone})
        m_controls[id]->setEnabled(enable);
    m_profileCombo->setEnabled(enable && profilePath);
    m_proofMonitor->setEnabled(enable && profilePath);
}

void CPrintImageDlg::ShowICMMethod()
{
    const PrintTicket& ticket = m_printer->DevMode();
    const int method = (ticket.fields & kTicketIcmMethod) ? ticket.icmMethod : 0;
    const int radio = method >= 1 && method <= 4 ? method - 1 : 4;
    m_icmGroup->button(radio)->setChecked(true);
    SetHiddenInt(kIdIcmMethod, method);
}

// ---------------------------------------------------------------------------
// Profiles

void CPrintImageDlg::SelectSavedProfile()
{
    FillPrinterProfileCombo(*m_profileCombo, m_profilePaths, *m_printer,
                            m_associatedOnly->isChecked());
    m_selectedProfileText = m_profileCombo->currentText();
    if (auto* label = qobject_cast<QLabel*>(m_controls[kIdProfileText]))
        label->setText(m_selectedProfileText);
}

// ---------------------------------------------------------------------------
// The page and the layout's controls

void CPrintImageDlg::UpdatePaperLayout()
{
    if (!m_printer->IsOpen())
        return;
    WaitCursorGuard wait;
    const CPrintLayout::PaperLayoutResult result =
        m_layout.UpdatePaperLayout(m_printer->GetPageGeometry());

    m_paperSizeText->setText(Text(m_layout.PaperSizeText()));
    SetHiddenInt(kIdPhysicalWidth, m_layout.PhysicalWidthMM());
    SetHiddenInt(kIdPhysicalHeight, m_layout.PhysicalHeightMM());
    SetHiddenInt(kIdPrintableWidth, m_layout.PrintableWidthMM());
    SetHiddenInt(kIdPrintableHeight, m_layout.PrintableHeightMM());
    SetHiddenInt(kIdOffsetX, m_layout.OffsetXMM());
    SetHiddenInt(kIdOffsetY, m_layout.OffsetYMM());
    SetHiddenInt(kIdResolutionX, m_layout.Page().dpiX);
    SetHiddenInt(kIdResolutionY, m_layout.Page().dpiY);

    m_controls[kIdCentreOfPaper]->setEnabled(result.centreOfPaperAvailable);
    ShowPositionMode();

    m_widthSpin->SetRange(m_layout.MinWidth(), m_layout.MaxWidth());
    m_heightSpin->SetRange(m_layout.MinHeight(), m_layout.MaxHeight());
    m_width->Minimum = m_layout.MinWidth();
    m_width->Maximum = m_layout.MaxWidth();
    m_height->Minimum = m_layout.MinHeight();
    m_height->Maximum = m_layout.MaxHeight();

    m_preview->SetPaper(m_layout.PrintableWidthMM(), m_layout.PrintableHeightMM(),
                        m_layout.PhysicalWidthMM(), m_layout.PhysicalHeightMM(),
                        m_layout.OffsetXMM(), m_layout.OffsetYMM(), m_layout.MinWidth(),
                        m_layout.MinHeight(), m_layout.MaxWidth(), m_layout.MaxHeight());
    UpdateSizeControls();
    UpdatePosition();
    RepaintPreview();
}

void CPrintImageDlg::SyncPreviewLayout()
{
    if (IsSkipped(kIdPreview))
        return;
    m_preview->m_printWidth = m_layout.PrintWidth();
    m_preview->m_printHeight = m_layout.PrintHeight();
    m_preview->m_originX = m_layout.OriginX();
    m_preview->m_originY = m_layout.OriginY();
    m_preview->m_trimMarginsMM = m_layout.TrimMarginsMM();
    m_preview->UpdateImageRect();
}

void CPrintImageDlg::UpdateSizeControls()
{
    if (!IsSkipped(kIdRatioSpin))
        m_ratioSpin->SetPos(m_layout.RatioSpinPosition());
    if (!IsSkipped(kIdWidthSpin))
        m_widthSpin->SetPos(m_layout.PrintWidth());
    if (!IsSkipped(kIdHeightSpin))
        m_heightSpin->SetPos(m_layout.PrintHeight());
    if (!IsSkipped(kIdRatio))
        m_ratio->setText(Text(m_layout.RatioText()));
    if (!IsSkipped(kIdWidth))
        m_width->setText(Text(m_layout.WidthText()));
    if (!IsSkipped(kIdHeight))
        m_height->setText(Text(m_layout.HeightText()));
    SetHiddenInt(kIdPrintWidthDots, m_layout.PrintWidthDots());
    SetHiddenInt(kIdPrintHeightDots, m_layout.PrintHeightDots());
    SyncPreviewLayout();
}

void CPrintImageDlg::UpdatePosition()
{
    m_layout.UpdatePosition();
    const bool custom = m_layout.PositionMode() == PrintPositionMode::Custom;
    EnablePositionControls(custom);
    m_preview->ImageTracker().m_keepCentre = m_layout.TrackerKeepsCentre();
    UpdatePositionControls();
}

void CPrintImageDlg::UpdatePositionControls()
{
    if (!IsSkipped(kIdLeftSpin))
        m_leftSpin->SetPos(m_layout.VisibleLeft());
    if (!IsSkipped(kIdTopSpin))
        m_topSpin->SetPos(m_layout.VisibleTop());
    if (!IsSkipped(kIdLeft))
        m_left->setText(Text(m_layout.LeftText()));
    if (!IsSkipped(kIdTop))
        m_top->setText(Text(m_layout.TopText()));
    SyncPreviewLayout();
}

void CPrintImageDlg::EnableSizeControls(bool enable)
{
    for (QWidget* w : std::initializer_list<QWidget*>{m_ratio, m_width, m_height, m_ratioSpin,
                                                      m_widthSpin, m_heightSpin})
        w->setEnabled(enable);
}

void CPrintImageDlg::EnablePositionControls(bool enable)
{
    for (QWidget* w : std::initializer_list<QWidget*>{m_left, m_top, m_leftSpin, m_topSpin})
        w->setEnabled(enable);
}

void CPrintImageDlg::ShowPositionMode()
{
    m_positionGroup->button(static_cast<int>(m_layout.PositionMode()))->setChecked(true);
}

void CPrintImageDlg::RepaintPreview()
{
    m_preview->Redraw(false);
}

// ---------------------------------------------------------------------------
// Handlers: printer, paper, source, orientation, copies

void CPrintImageDlg::OnSelchangePrinter()
{
    Guarded(kIdPrinter, [this] {
        if (OpenChosenPrinter(*m_printerCombo, *m_printer, m_printers))
        {
            OnPrinterOpened();
            return;
        }
        RefreshPrinterControls();
    });
}

void CPrintImageDlg::OnProperties()
{
    Guarded(kIdProperties, [this] {
        if (!m_printer->IsOpen())
            return;
        const int copies = m_copies->GetValue();
        if (copies >= 1 && copies <= GetMaxCopies())
            m_printer->SetCopies(copies);
        if (m_printer->ShowProperties(this))
            FillPaperList();
        RefreshPrinterControls();
    });
}

void CPrintImageDlg::OnSelchangePaper()
{
    Guarded(kIdPaper, [this] {
        const int id = m_paperCombo->currentData().toInt();
        SetHiddenHex(kIdPaperId, id);
        m_printer->SetPaperSize(id);
        UpdatePaperLayout();
    });
}

void CPrintImageDlg::OnSelchangeBin()
{
    Guarded(kIdBin, [this] {
        const int id = m_binCombo->currentData().toInt();
        SetHiddenHex(kIdBinId, id);
        m_printer->SetBin(id);
        FillPaperList();
        RefreshPrinterControls();
    });
}

void CPrintImageDlg::OnOrientation(bool landscape)
{
    Guarded(landscape ? kIdLandscape : kIdPortrait, [this, landscape] {
        if (landscape)
            m_printer->SetLandscape();
        else
            m_printer->SetPortrait();
        UpdatePaperLayout();
    });
}

void CPrintImageDlg::OnCopiesTyped()
{
    Guarded(kIdCopies, [this] {
        // An accepted count goes into the ticket at once, so that a switch
        // to another printer and back finds it again.
        const int copies = m_copies->GetValue();
        if (copies < 1 || copies > GetMaxCopies())
            return;
        m_copiesSpin->SetPos(copies);
        m_printer->SetCopies(copies);
    });
}

// ---------------------------------------------------------------------------
// Handlers: size, fit, position, modes

void CPrintImageDlg::onNotify(int message, int code, qint64 value)
{
    const int position = static_cast<int>(value);
    switch (message)
    {
    case kIdRatio:
        OnRatioTyped();
        break;
    case kIdWidth:
    case kIdHeight:
        OnSizeTyped(message);
        break;
    case kIdLeft:
    case kIdTop:
        OnPositionTyped(message);
        break;
    case kIdCopies:
        OnCopiesTyped();
        break;
    case kIdRatioSpin:
    case kIdWidthSpin:
    case kIdHeightSpin:
    case kIdLeftSpin:
    case kIdTopSpin:
    case kIdCopiesSpin:
        // Each step is reported with its position; letting go changes
        // nothing more.
        if (code == CUpDown::kThumbPosition)
            OnSpin(message, position);
        break;
    default:
        break;
    }
}

void CPrintImageDlg::OnRatioTyped()
{
    Guarded(kIdRatio, [this] {
        if (!m_layout.SetRatio(ParseLeadingReal(TextOf(m_ratio)) / 100.0))
            return;
        UpdateSizeControls();
        UpdatePosition();
        RepaintPreview();
    });
}

void CPrintImageDlg::OnSizeTyped(int id)
{
    Guarded(id, [this, id] {
        const bool accepted = id == kIdWidth ? m_layout.SetWidthTenthMM(m_width->GetValue())
                                             : m_layout.SetHeightTenthMM(m_height->GetValue());
        if (!accepted)
            return;
        UpdateSizeControls();
        UpdatePosition();
        RepaintPreview();
    });
}

void CPrintImageDlg::OnPositionTyped(int id)
{
    Guarded(id, [this, id] {
        if (id == kIdLeft)
            m_layout.SetLeft(m_left->GetValue());
        else
            m_layout.SetTop(m_top->GetValue());
        UpdatePositionControls();
        RepaintPreview();
    });
}

void CPrintImageDlg::OnSpin(int id, int position)
{
    Guarded(id, [this, id, position] {
        switch (id)
        {
        case kIdRatioSpin:
        case kIdWidthSpin:
        case kIdHeightSpin:
        {
            const bool accepted = id == kIdRatioSpin ? m_layout.SetRatioSpin(position)
                                  : id == kIdWidthSpin ? m_layout.SetWidthTenthMM(position)
                                                       : m_layout.SetHeightTenthMM(position);
            if (!accepted)
                return;
            UpdateSizeControls();
            UpdatePosition();
            RepaintPreview();
            return;
        }
        case kIdLeftSpin:
        case kIdTopSpin:
            if (id == kIdLeftSpin)
                m_layout.SetLeft(position);
            else
                m_layout.SetTop(position);
            UpdatePositionControls();
            RepaintPreview();
            return;
        case kIdCopiesSpin:
            if (position >= 1 && position <= GetMaxCopies())
            {
                m_copies->SetValue(position);
                m_printer->SetCopies(position);
            }
            return;
        default:
            return;
        }
    });
}

void CPrintImageDlg::OnFit()
{
    Guarded(kIdFit, [this] {
        WaitCursorGuard wait;
        const bool fit = m_fit->isChecked();
        m_layout.SetFit(fit);
        EnableSizeControls(!fit);
        for (QAbstractButton* radio : m_fitModeGroup->buttons())
            radio->setEnabled(fit);
        ShowPositionMode();
        UpdateSizeControls();
        UpdatePosition();
        RepaintPreview();
    });
}

void CPrintImageDlg::OnFitMode(PrintFitMode mode)
{
    Guarded(mode == PrintFitMode::WholeImage ? kIdFitWhole : kIdFitFill, [this, mode] {
        WaitCursorGuard wait;
        m_layout.SetFitMode(mode);
        ShowPositionMode();
        UpdateSizeControls();
        UpdatePosition();
        RepaintPreview();
    });
}

void CPrintImageDlg::OnPositionMode(PrintPositionMode mode)
{
    const int id = mode == PrintPositionMode::CentreOfPaper          ? kIdCentreOfPaper
                   : mode == PrintPositionMode::CentreOfPrintableArea ? kIdCentreOfPrintable
                                                                      : kIdCustomPosition;
    Guarded(id, [this, mode] {
        m_layout.SetPositionMode(mode);
        if (mode != PrintPositionMode::Custom)
            UpdateSizeControls();
        UpdatePosition();
        RepaintPreview();
    });
}

void CPrintImageDlg::OnScaleMode()
{
    Guarded(kIdScaleMode, [this] {
        const bool fit = m_layout.Fit();
        m_fit->setEnabled(true);
        EnableSizeControls(!fit);
        for (QAbstractButton* radio : m_fitModeGroup->buttons())
            radio->setEnabled(fit);
        if (m_trackers->isChecked())
        {
            m_preview->m_imageTrackerShown = true;
            m_preview->m_trimTrackerShown = false;
        }
        m_trimButton->setEnabled(false);
        m_preview->update();
    });
}

void CPrintImageDlg::OnTrimMode()
{
    Guarded(kIdTrimMode, [this] {
        // Trimming works on the size as it stands: fit is switched off
        // without going back to the remembered scale.
        m_layout.ClearFit();
        m_fit->setChecked(false);
        m_fit->setEnabled(false);
        EnableSizeControls(false);
        for (QAbstractButton* radio : m_fitModeGroup->buttons())
            radio->setEnabled(false);
        if (m_trackers->isChecked())
        {
            m_preview->m_imageTrackerShown = false;
            m_preview->m_trimTrackerShown = true;
        }
        m_trimButton->setEnabled(true);
        m_preview->update();
    });
}

void CPrintImageDlg::OnTrackers()
{
    Guarded(kIdTrackers, [this] {
        const bool on = m_trackers->isChecked();
        const bool trimming = m_modeGroup->checkedId() == 1;
        m_preview->m_imageTrackerShown = on && !trimming;
        m_preview->m_trimTrackerShown = on && trimming;
        m_preview->update();
    });
}

void CPrintImageDlg::OnPreviewOption(int id)
{
    Guarded(id, [this, id] {
        const bool on = static_cast<QCheckBox*>(m_controls[id])->isChecked();
        switch (id)
        {
        case kIdCentreLines:
            m_preview->m_centerLines = on;
            break;
        case kIdPrintableArea:
            m_preview->m_printableArea = on;
            break;
        case kIdMaskOutside:
            m_preview->m_maskOutside = on;
            break;
        default:
            m_preview->m_showTrimmedAway = on;
            break;
        }
        RepaintPreview();
    });
}

void CPrintImageDlg::OnTrimmingSettings()
{
    Guarded(kIdTrimming, [this] {
        CPrintTrimSettingDlg dialog(this);
        dialog.m_nWidthLimit = m_layout.TrimWidthLimit();
        dialog.m_nHeightLimit = m_layout.TrimHeightLimit();
        const PrintMargins& mm = m_layout.TrimMarginsMM();
        dialog.m_strLeft = Text(FormatTenthMM(mm.left));
        dialog.m_strTop = Text(FormatTenthMM(mm.top));
        dialog.m_strRight = Text(FormatTenthMM(mm.right));
        dialog.m_strBottom = Text(FormatTenthMM(mm.bottom));
        if (dialog.exec() != kDialogOk)
            return;
        const auto tenths = [](const QString& text) {
            return TenthMMFromMM(ParseLeadingReal(text.toStdString()));
        };
        const PrintMargins pixels = m_layout.ApplyTrimmingDialog(
            {tenths(dialog.m_strLeft), tenths(dialog.m_strTop), tenths(dialog.m_strRight),
             tenths(dialog.m_strBottom)});
        m_preview->SetTrimMargins(pixels);
        m_fit->setChecked(false);
        EnableSizeControls(false);
        for (QAbstractButton* radio : m_fitModeGroup->buttons())
            radio->setEnabled(false);
        ShowPositionMode();
        UpdatePosition();
        RepaintPreview();
    });
}

// ---------------------------------------------------------------------------
// Handlers: the preview's frames

void CPrintImageDlg::OnFrameChanged(const PrintRectTenthMM& rect, int handle)
{
    Guarded(kIdPreview, [this, &rect, handle] {
        m_layout.OnFrameChanged(rect, handle);
        m_fit->setChecked(false);
        EnableSizeControls(true);
        for (QAbstractButton* radio : m_fitModeGroup->buttons())
            radio->setEnabled(false);
        if (handle == kTrackerHandleMove)
        {
            ShowPositionMode();
            EnablePositionControls(true);
            m_preview->ImageTracker().m_keepCentre = false;
        }
        UpdateSizeControls();
        UpdatePositionControls();
    });
}

void CPrintImageDlg::OnTrimmingChanged(const PrintMargins& pixelMargins)
{
    // Taken whatever the guard holds: the preview has already changed its
    // margins, the layout must follow.
    const int previous = m_guard;
    m_guard = kIdPreview;
    m_layout.OnTrimmingChanged(pixelMargins);
    m_fit->setChecked(false);
    EnableSizeControls(false);
    for (QAbstractButton* radio : m_fitModeGroup->buttons())
        radio->setEnabled(false);
    ShowPositionMode();
    EnablePositionControls(true);
    m_preview->ImageTracker().m_keepCentre = false;
    m_preview->m_trimMarginsMM = m_layout.TrimMarginsMM();
    UpdatePositionControls();
    m_guard = previous;
}

// ---------------------------------------------------------------------------
// Handlers: colour management

void CPrintImageDlg::OnIcmMethod(int method)
{
    Guarded(kIdIcmNone + method - 1, [this, method] {
        // "その他" (5) sets nothing.
        if (method >= 1 && method <= 4 && m_printer->IsOpen())
            m_printer->SetICMMethod(method);
    });
}

void CPrintImageDlg::OnColorPath(int path)
{
    Guarded(path == 1 ? kIdPathPrinterProfile : path == 2 ? kIdPathNone : kIdPathInsideDC,
            [this, path] {
                if (path == static_cast<int>(PrintColorPath::PrinterAssociated))
                    return;
                const bool profile = path == static_cast<int>(PrintColorPath::PrinterProfile);
                m_profileCombo->setEnabled(profile);
                m_associatedOnly->setEnabled(profile);
            });
}

void CPrintImageDlg::OnAssociatedOnly()
{
    Guarded(kIdAssociatedOnly, [this] { SelectSavedProfile(); });
}

void CPrintImageDlg::OnSelchangeProfile()
{
    Guarded(kIdProfile, [this] {
        m_selectedProfileText = m_profileCombo->currentText();
        if (auto* label = qobject_cast<QLabel*>(m_controls[kIdProfileText]))
            label->setText(m_selectedProfileText);
    });
}

// ---------------------------------------------------------------------------
// Printing

bool CPrintImageDlg::ValidatePrintSettings()
{
    PrintSettingsInput input;
    input.ratioPercent = ParseLeadingReal(TextOf(m_ratio));
    input.widthTenthMM = m_width->GetValue();
    input.heightTenthMM = m_height->GetValue();
    input.copies = m_copies->GetValue();
    input.maxCopies = GetMaxCopies();
    input.printerProfilePath =
        m_pathGroup->checkedId() == static_cast<int>(PrintColorPath::PrinterProfile);
    input.profileSelected = m_profileCombo->currentIndex() >= 0 &&
                            m_profileCombo->currentIndex() < static_cast<int>(m_profilePaths.size());
    input.leftTenthMM = m_left->GetValue();
    input.topTenthMM = m_top->GetValue();

    const PrintSettingsProblem problem = CheckPrintSettings(input, m_layout);
    if (problem.messageId == 0)
    {
        m_printer->SetCopies(input.copies);
        return true;
    }
    if (problem.question)
    {
        if (ShowMessage(problem.messageId, problem.args, MessageButtons::YesNo,
                        MessageIcon::Question) != kMessageYes)
            return false;
        m_printer->SetCopies(input.copies);
        return true;
    }
    ShowMessage(problem.messageId, problem.args, MessageButtons::Ok, MessageIcon::Warning);
    if (QWidget* control = m_controls[problem.controlId])
    {
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            edit->selectAll();
        control->setFocus();
    }
    return false;
}

void CPrintImageDlg::OnPrint()
{
    Guarded(kIdPrint, [this] {
        if (!ValidatePrintSettings())
            return;
        if (!NamePdfOutput(*m_printer, this, m_caption, PdfNameFor(m_imageName)))
            return;
        PrintImageRequest request;
        request.image = &m_image;
        request.colorSpace = &m_colorSpace;
        request.monitorProfilePath = m_monitorProfilePath;
        request.trimPixels = m_preview->PixelMargins();
        request.originX = m_layout.OriginX();
        request.originY = m_layout.OriginY();
        request.printWidth = m_layout.PrintWidth();
        request.printHeight = m_layout.PrintHeight();
        request.trimTenthMM = m_layout.TrimMarginsMM();
        request.path = static_cast<PrintColorPath>(m_pathGroup->checkedId());
        const int profile = m_profileCombo->currentIndex();
        if (profile >= 0 && profile < static_cast<int>(m_profilePaths.size()))
            request.printerProfilePath = m_profilePaths[static_cast<std::size_t>(profile)];
        request.proofWithMonitor = m_proofMonitor->isChecked();
        request.documentName = m_imageName;

        // The job has shown what only it knows; its result is told here. A
        // job the user cancelled is reported as cancelled, never as failed.
        const PrintJobOutcome outcome = PrintImage(*m_printer, request, this);
        switch (outcome.result)
        {
        case PrintJobResult::Printed:
            break;
        case PrintJobResult::Cancelled:
            ShowMessage(kStrPrintCancelled, {}, MessageButtons::Ok, MessageIcon::Information);
            break;
        case PrintJobResult::Failed:
            ShowMessage(outcome.messageId != 0 ? outcome.messageId : kStrPrintFailed, {},
                        MessageButtons::Ok, MessageIcon::Error);
            break;
        }
    });
}
