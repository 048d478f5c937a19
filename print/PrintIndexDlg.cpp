#include "print/PrintIndexDlg.h"

#include "controls/support/StringTable.h"
#include "controls/support/WaitCursor.h"
#include "controls/widgets/UpDown.h"
#include "core/IniFile.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "correction/ProjectManage.h"
#include "platform/File.h"
#include "platform/Folders.h"
#include "print/IndexImage.h"
#include "print/MyEdit.h"
#include "print/PrintDialogParts.h"
#include "print/PrintImageDlg.h"
#include "print/PrintIndexJob.h"
#include "print/PrinterSettings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kStrColumnsRange = 11074;   // "配置の列数は %d から %d まで設定可能です。"
constexpr int kStrRowsRange = 11075;      // "配置の行数は %d から %d まで設定可能です。"
constexpr int kStrParamFileMissing = 11203; // "補正パラメータファイルを指定してください。"
constexpr int kStrParamExtension = 2002;  // "qzp"
constexpr int kStrParamFilter = 2003;     // "補正パラメータファイル(*.qzp)|*.qzp||"

constexpr const char* kColumnsKey = "IndexColNum";
constexpr const char* kRowsKey = "IndexRowNum";
constexpr const char* kParamFileKey = "ParamFilePath";
constexpr int kDefaultColumns = 5;
constexpr int kDefaultRows = 4;
// The size slider runs 0..4; the picture size is 4 - its position.
constexpr int kSizeSliderStart = 2;

constexpr int kPreviewMargin = 5;

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

// "補正パラメータファイル(*.qzp)|*.qzp||" as a file dialog's filter.
QString FileDialogFilter(const QString& pipes)
{
    const QStringList parts = pipes.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i];
    return filters.join(QStringLiteral(";;"));
}

std::string ChooseParamFileByDialog(QWidget* owner, const std::string& current)
{
    const QString start = current.empty()
                              ? QString()
                              : Text(GetFolderFromPath(current)) + QLatin1Char('/') +
                                    Text(GetFileNameFromPath(current));
    QFileDialog dialog(owner, QString(), start, FileDialogFilter(LoadString(kStrParamFilter)));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(LoadString(kStrParamExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front().toStdString();
}

} // namespace

// ---------------------------------------------------------------------------
// The preview

CIndexPreviewCtrl::CIndexPreviewCtrl(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(240, 320);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CIndexPreviewCtrl::SetPaperLayout(int paperWidth, int paperHeight, int printableWidth,
                                       int printableHeight, int offsetX, int offsetY)
{
    m_paperWidth = paperWidth;
    m_paperHeight = paperHeight;
    m_printableWidth = printableWidth;
    m_printableHeight = printableHeight;
    m_offsetX = offsetX;
    m_offsetY = offsetY;
    Relayout();
}

// The paper fitted whole: the smaller of the two scales, so a paper of any
// aspect in a control of any aspect stays inside it.
void CIndexPreviewCtrl::Relayout()
{
    const QRect client = rect().adjusted(kPreviewMargin, kPreviewMargin, -kPreviewMargin,
                                         -kPreviewMargin);
    if (m_paperWidth <= 0 || m_paperHeight <= 0 || client.width() <= 0 || client.height() <= 0)
    {
        m_paper = m_printable = QRect();
        m_page = QImage();
        update();
        return;
    }
    const double scale = std::min(static_cast<double>(client.width()) / m_paperWidth,
                                  static_cast<double>(client.height()) / m_paperHeight);
    const int width = static_cast<int>(m_paperWidth * scale);
    const int height = static_cast<int>(m_paperHeight * scale);
    m_paper = QRect(client.left() + (client.width() - width) / 2,
                    client.top() + (client.height() - height) / 2, width, height);
    m_printable = QRect(m_paper.left() + static_cast<int>(m_offsetX * scale),
                        m_paper.top() + static_cast<int>(m_offsetY * scale),
                        static_cast<int>(m_printableWidth * scale),
                        static_cast<int>(m_printableHeight * scale));
    if (m_printable.size() != m_page.size())
    {
        m_page = m_printable.isEmpty() ? QImage()
                                       : QImage(m_printable.size(), QImage::Format_RGB32);
        RedrawPage();
    }
    update();
}

void CIndexPreviewCtrl::RedrawPage()
{
    if (m_page.isNull())
        return;
    m_page.fill(Qt::white);
    if (m_drawer)
    {
        QPainter painter(&m_page);
        m_drawer(painter, CRect(0, 0, m_page.width(), m_page.height()));
    }
    update();
}

void CIndexPreviewCtrl::DrawOnPage(const PageDrawer& draw)
{
    if (m_page.isNull() || !draw)
        return;
    {
        QPainter painter(&m_page);
        draw(painter, CRect(0, 0, m_page.width(), m_page.height()));
    }
    update();
}

void CIndexPreviewCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(224, 224, 224));
    if (m_paper.isEmpty())
        return;
    painter.fillRect(m_paper, QColor(168, 168, 168));
    if (!m_page.isNull())
        painter.drawImage(m_printable.topLeft(), m_page);
}

void CIndexPreviewCtrl::resizeEvent(QResizeEvent*)
{
    Relayout();
}

// ---------------------------------------------------------------------------
// Construction

CPrintIndexDlg::CPrintIndexDlg(CProjectManage& project, CSystemPrinters& printers,
                               QWidget* parent)
    : CDataDialog(parent), m_project(project), m_printers(printers),
      m_printer(std::make_unique<CPrinterSettings>()),
      m_index(std::make_unique<CIndexImage>(project))
{
    setWindowTitle(LoadString(kStrIndexPrintDocument));
    m_chooseParamFile = [this](const std::string& current) {
        return ChooseParamFileByDialog(this, current);
    };
    BuildControls();
    m_preview->SetPageDrawer([this](QPainter& painter, const CRect& target) {
        m_index->DrawPreviewPage(painter, target);
    });
    connect(m_index.get(), &CIndexImage::cellReady, this, &CPrintIndexDlg::OnCellReady);
}

CPrintIndexDlg::~CPrintIndexDlg()
{
    // The worker posts to this dialog: it ends before the dialog does.
    m_index->StopCacheThread();
}

QRadioButton* CPrintIndexDlg::MakeRadio(int id, const QString& text, QButtonGroup* group,
                                        int groupId)
{
    auto* radio = new QRadioButton(text, this);
    radio->setObjectName(QString::number(id));
    group->addButton(radio, groupId);
    m_controls[id] = radio;
    return radio;
}

QCheckBox* CPrintIndexDlg::MakeCheck(int id, const QString& text)
{
    auto* check = new QCheckBox(text, this);
    check->setObjectName(QString::number(id));
    m_controls[id] = check;
    connect(check, &QCheckBox::toggled, this, [this, id](bool on) { OnFlag(id, on); });
    return check;
}

CMyEdit* CPrintIndexDlg::MakeGridEdit(int id, int spinId, CUpDown** spin)
{
    auto* edit = new CMyEdit(this);
    edit->setObjectName(QString::number(id));
    edit->setAlignment(Qt::AlignRight);
    edit->setFixedWidth(48);
    edit->Maximum = kIndexGridMax;
    edit->Minimum = kIndexGridMin;
    edit->Mode = EditMode::Integer;
    edit->Decimals = 0;
    edit->setNotifyMessage(id);
    connect(edit, &CMyEdit::notify, this, &CPrintIndexDlg::onNotify);
    m_controls[id] = edit;
    *spin = new CUpDown(Qt::Vertical, this);
    (*spin)->setObjectName(QString::number(spinId));
    (*spin)->SetRange(kIndexGridMin, kIndexGridMax);
    (*spin)->setNotifyMessage(spinId);
    connect(*spin, &CUpDown::notify, this, &CPrintIndexDlg::onNotify);
    m_controls[spinId] = *spin;
    return edit;
}

void CPrintIndexDlg::BuildControls()
{
    // ---- Printer and paper
    auto* printerBox = new QGroupBox(QStringLiteral("プリンタ"), this);
    m_printerCombo = new QComboBox(this);
    m_printerCombo->setObjectName(QString::number(kIdPrinter));
    m_controls[kIdPrinter] = m_printerCombo;
    auto* properties = new QPushButton(QStringLiteral("プリンタのプロパティ..."), this);
    properties->setObjectName(QString::number(kIdProperties));
    m_controls[kIdProperties] = properties;
    auto* printerGrid = new QGridLayout(printerBox);
    printerGrid->addWidget(new QLabel(QStringLiteral("プリンタ名："), this), 0, 0);
    printerGrid->addWidget(m_printerCombo, 0, 1);
    printerGrid->addWidget(properties, 1, 1, Qt::AlignRight);
    printerGrid->setColumnStretch(1, 1);

    auto* paperBox = new QGroupBox(QStringLiteral("用紙"), this);
    m_paperCombo = new QComboBox(this);
    m_paperCombo->setObjectName(QString::number(kIdPaper));
    m_controls[kIdPaper] = m_paperCombo;
    m_paperSizeText = new QLabel(this);
    m_paperSizeText->setObjectName(QString::number(kIdPaperSize));
    m_binCombo = new QComboBox(this);
    m_binCombo->setObjectName(QString::number(kIdBin));
    m_controls[kIdBin] = m_binCombo;
    m_orientationGroup = new QButtonGroup(this);
    auto* orientation = new QHBoxLayout;
    orientation->addWidget(MakeRadio(kIdPortrait, QStringLiteral("縦"), m_orientationGroup, 0));
    orientation->addWidget(MakeRadio(kIdLandscape, QStringLiteral("横"), m_orientationGroup, 1));
    orientation->addStretch(1);
    auto* paperGrid = new QGridLayout(paperBox);
    paperGrid->addWidget(new QLabel(QStringLiteral("用紙サイズ："), this), 0, 0);
    paperGrid->addWidget(m_paperCombo, 0, 1);
    paperGrid->addWidget(m_paperSizeText, 1, 1);
    paperGrid->addWidget(new QLabel(QStringLiteral("給紙方法："), this), 2, 0);
    paperGrid->addWidget(m_binCombo, 2, 1);
    paperGrid->addWidget(new QLabel(QStringLiteral("印刷の向き："), this), 3, 0);
    paperGrid->addLayout(orientation, 3, 1);
    paperGrid->setColumnStretch(1, 1);

    // ---- The grid
    auto* layoutBox = new QGroupBox(QStringLiteral("レイアウト"), this);
    m_orderGroup = new QButtonGroup(this);
    auto* order = new QHBoxLayout;
    order->addWidget(MakeRadio(kIdAcross, QStringLiteral("横方向"), m_orderGroup, 0));
    order->addWidget(MakeRadio(kIdDown, QStringLiteral("縦方向"), m_orderGroup, 1));
    order->addStretch(1);
    m_columns = MakeGridEdit(kIdColumns, kIdColumnsSpin, &m_columnsSpin);
    m_rows = MakeGridEdit(kIdRows, kIdRowsSpin, &m_rowsSpin);
    auto* grid = new QHBoxLayout;
    grid->addWidget(new QLabel(QStringLiteral("列："), this));
    grid->addWidget(m_columns);
    grid->addWidget(m_columnsSpin);
    grid->addSpacing(16);
    grid->addWidget(new QLabel(QStringLiteral("行："), this));
    grid->addWidget(m_rows);
    grid->addWidget(m_rowsSpin);
    grid->addStretch(1);
    m_size = new QSlider(Qt::Horizontal, this);
    m_size->setObjectName(QString::number(kIdSize));
    m_size->setRange(0, kIndexSizeMax);
    m_size->setPageStep(1);
    m_size->setTickPosition(QSlider::TicksBelow);
    m_size->setTickInterval(1);
    m_controls[kIdSize] = m_size;
    auto* size = new QHBoxLayout;
    size->addWidget(new QLabel(QStringLiteral("小"), this));
    size->addWidget(m_size, 1);
    size->addWidget(new QLabel(QStringLiteral("大"), this));
    auto* layoutGrid = new QGridLayout(layoutBox);
    layoutGrid->addWidget(new QLabel(QStringLiteral("配置数："), this), 0, 0);
    layoutGrid->addLayout(grid, 0, 1);
    layoutGrid->addWidget(new QLabel(QStringLiteral("並び順："), this), 1, 0);
    layoutGrid->addLayout(order, 1, 1);
    layoutGrid->addWidget(new QLabel(QStringLiteral("画像の大きさ："), this), 2, 0);
    layoutGrid->addLayout(size, 2, 1);
    layoutGrid->setColumnStretch(1, 1);

    // ---- What the page shows
    auto* showBox = new QGroupBox(QStringLiteral("印刷する項目"), this);
    auto* showGrid = new QGridLayout(showBox);
    showGrid->addWidget(MakeCheck(kIdFileName, QStringLiteral("ファイル名")), 0, 0);
    showGrid->addWidget(MakeCheck(kIdImageSize, QStringLiteral("画像サイズ")), 0, 1);
    showGrid->addWidget(MakeCheck(kIdFrame, QStringLiteral("枠")), 0, 2);
    showGrid->addWidget(MakeCheck(kIdPageNumber, QStringLiteral("ページ番号")), 1, 0);
    showGrid->addWidget(MakeCheck(kIdTitle, QStringLiteral("タイトル：")), 2, 0);
    m_titleText = new QLineEdit(this);
    m_titleText->setObjectName(QString::number(kIdTitleText));
    m_titleText->setEnabled(false);
    m_controls[kIdTitleText] = m_titleText;
    showGrid->addWidget(m_titleText, 2, 1, 1, 2);

    // ---- Corrections
    auto* correctionBox = new QGroupBox(QStringLiteral("画像の補正"), this);
    m_correctionCombo = new QComboBox(this);
    m_correctionCombo->setObjectName(QString::number(kIdCorrection));
    m_correctionCombo->addItems({QStringLiteral("補正しない"), QStringLiteral("画像毎に補正"),
                                 QStringLiteral("現在の補正パラメータで補正"),
                                 QStringLiteral("指定の補正パラメータで補正")});
    m_controls[kIdCorrection] = m_correctionCombo;
    m_paramFile = new QLineEdit(this);
    m_paramFile->setObjectName(QString::number(kIdParamFile));
    m_paramFile->setReadOnly(true);
    m_controls[kIdParamFile] = m_paramFile;
    m_browse = new QPushButton(QStringLiteral("..."), this);
    m_browse->setObjectName(QString::number(kIdBrowse));
    m_browse->setFixedWidth(32);
    m_browse->setEnabled(false);
    m_controls[kIdBrowse] = m_browse;
    auto* paramRow = new QHBoxLayout;
    paramRow->addWidget(m_paramFile, 1);
    paramRow->addWidget(m_browse);
    auto* correctionLayout = new QVBoxLayout(correctionBox);
    correctionLayout->addWidget(m_correctionCombo);
    correctionLayout->addLayout(paramRow);

    // ---- Colour management
    auto* colorBox = new QGroupBox(QStringLiteral("カラーマネージメント"), this);
    m_pathGroup = new QButtonGroup(this);
    MakeRadio(kIdPathInsideDC, QStringLiteral("プリンタに関連付けられたプロファイル"), m_pathGroup,
              static_cast<int>(PrintColorPath::PrinterAssociated))
        ->hide();
    auto* byProfile = MakeRadio(kIdPathPrinterProfile, QStringLiteral("プリンタのICCプロファイルを指定"),
                                m_pathGroup, static_cast<int>(PrintColorPath::PrinterProfile));
    auto* none = MakeRadio(kIdPathNone, QStringLiteral("カラーマネージメントしない"), m_pathGroup,
                           static_cast<int>(PrintColorPath::NoPrinterProfile));
    byProfile->setChecked(true);
    m_profileCombo = new QComboBox(this);
    m_profileCombo->setObjectName(QString::number(kIdProfile));
    m_profileCombo->setMinimumContentsLength(24);
    m_profileCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_controls[kIdProfile] = m_profileCombo;
    m_associatedOnly = new QCheckBox(QStringLiteral("プリンタに関連付けられたプロファイルのみ表示"), this);
    m_associatedOnly->setObjectName(QString::number(kIdAssociatedOnly));
    m_controls[kIdAssociatedOnly] = m_associatedOnly;
    auto* colorLayout = new QGridLayout(colorBox);
    colorLayout->addWidget(byProfile, 0, 0, 1, 2);
    colorLayout->addWidget(m_profileCombo, 1, 1);
    colorLayout->addWidget(m_associatedOnly, 2, 1);
    colorLayout->addWidget(none, 3, 0, 1, 2);
    colorLayout->setColumnMinimumWidth(0, 16);
    colorLayout->setColumnStretch(1, 1);

    // ---- Print range
    auto* rangeBox = new QGroupBox(QStringLiteral("印刷範囲"), this);
    m_rangeGroup = new QButtonGroup(this);
    auto* range = new QHBoxLayout(rangeBox);
    MakeRadio(kIdAllPages, QStringLiteral("全ページ"), m_rangeGroup, 0)->setChecked(true);
    range->addWidget(m_controls[kIdAllPages]);
    range->addWidget(MakeRadio(kIdCurrentPage, QStringLiteral("現在のページ"), m_rangeGroup, 1));
    range->addStretch(1);

    // ---- The preview and its page
    m_preview = new CIndexPreviewCtrl(this);
    m_preview->setObjectName(QString::number(kIdPreview));
    m_controls[kIdPreview] = m_preview;
    m_previous = new QPushButton(QStringLiteral("<"), this);
    m_previous->setObjectName(QString::number(kIdPrevious));
    m_next = new QPushButton(QStringLiteral(">"), this);
    m_next->setObjectName(QString::number(kIdNext));
    for (QPushButton* b : {m_previous, m_next})
    {
        b->setFixedWidth(40);
        b->setAutoDefault(false);
    }
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName(QString::number(kIdPageLabel));
    m_pageLabel->setAlignment(Qt::AlignCenter);
    m_pageLabel->setMinimumWidth(80);
    auto* pages = new QHBoxLayout;
    pages->addStretch(1);
    pages->addWidget(m_previous);
    pages->addWidget(m_pageLabel);
    pages->addWidget(m_next);
    pages->addStretch(1);

    m_print = new QPushButton(QStringLiteral("印刷"), this);
    m_print->setObjectName(QString::number(kIdPrint));
    m_print->setDefault(true);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QString::number(kIdClose));
    close->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_print);
    buttons->addWidget(close);

    auto* left = new QVBoxLayout;
    for (QWidget* box : std::initializer_list<QWidget*>{printerBox, paperBox, layoutBox, showBox,
                                                        correctionBox, colorBox, rangeBox})
        left->addWidget(box);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(m_preview, 1);
    right->addLayout(pages);
    right->addLayout(buttons);
    auto* main = new QHBoxLayout(this);
    main->addLayout(left);
    main->addLayout(right, 1);

    // ---- Handlers
    connect(m_printerCombo, &QComboBox::activated, this, [this] { OnSelchangePrinter(); });
    connect(properties, &QPushButton::clicked, this, [this] { OnProperties(); });
    connect(m_paperCombo, &QComboBox::activated, this, [this] { OnSelchangePaper(); });
    connect(m_binCombo, &QComboBox::activated, this, [this] { OnSelchangeBin(); });
    connect(m_orientationGroup, &QButtonGroup::idClicked, this,
            [this](int id) { OnOrientation(id == 1); });
    connect(m_orderGroup, &QButtonGroup::idClicked, this, [this](int id) { OnOrder(id); });
    connect(m_size, &QSlider::valueChanged, this, [this](int position) { OnSize(position); });
    connect(m_titleText, &QLineEdit::textChanged, this, [this] { OnTitleText(); });
    connect(m_previous, &QPushButton::clicked, this, [this] { OnPage(-1); });
    connect(m_next, &QPushButton::clicked, this, [this] { OnPage(+1); });
    connect(m_correctionCombo, &QComboBox::activated, this,
            [this](int mode) { OnCorrectionMode(mode); });
    connect(m_browse, &QPushButton::clicked, this, [this] { OnBrowseParamFile(); });
    connect(m_pathGroup, &QButtonGroup::idClicked, this, [this] { EnableProfileControls(); });
    connect(m_associatedOnly, &QCheckBox::toggled, this, [this] { SelectSavedProfile(); });
    connect(m_print, &QPushButton::clicked, this, [this] { OnPrint(); });
    connect(close, &QPushButton::clicked, this, [this] { done(kDialogOk); });
}

// ---------------------------------------------------------------------------
// Running

int CPrintIndexDlg::exec()
{
    if (!OnInitDialog())
        return kDialogCancel;
    return QDialog::exec();
}

void CPrintIndexDlg::done(int code)
{
    m_index->StopCacheThread();
    CIniFile ini(GetIniFilePath());
    if (m_printer->IsOpen())
        ini.SetString(kPrintSection, kDefaultPrinterKey, m_printer->DeviceName());
    ini.SetInt(kPrintSection, kColumnsKey, m_columnsSpin->GetPos());
    ini.SetInt(kPrintSection, kRowsKey, m_rowsSpin->GetPos());
    ini.SetString(kPrintSection, kParamFileKey, m_index->ParamFile());
    QDialog::done(code);
}

bool CPrintIndexDlg::OnInitDialog()
{
    WaitCursorGuard wait;
    // Without a printer of its own the machine still prints into a PDF
    // file: said once a run, and the dialog goes on with the file printer.
    TellNoPrinterInstalledOnce(m_printers);

    m_index->Build();

    // The grid as it was left; a value below 1 is the default, one above
    // the dialog's own range its largest grid (a settings file edited by
    // hand must not make pages of millions of cells).
    CIniFile ini(GetIniFilePath());
    int columns = ini.GetInt(kPrintSection, kColumnsKey, kDefaultColumns);
    int rows = ini.GetInt(kPrintSection, kRowsKey, kDefaultRows);
    if (columns < kIndexGridMin)
        columns = kDefaultColumns;
    if (rows < kIndexGridMin)
        rows = kDefaultRows;
    columns = std::min(columns, kIndexGridMax);
    rows = std::min(rows, kIndexGridMax);
    m_index->Options.columns = columns;
    m_index->Options.rows = rows;
    m_index->Options.size = kIndexSizeMax - kSizeSliderStart;
    m_index->Options.order = IndexOrder::AcrossThenDown;

    m_updating = true;
    m_columnsSpin->SetPos(columns);
    m_rowsSpin->SetPos(rows);
    m_columns->SetValue(columns);
    m_rows->SetValue(rows);
    m_size->setValue(kSizeSliderStart);
    m_orderGroup->button(0)->setChecked(true);
    m_updating = false;
    UpdatePageLabel();

    const std::string saved = ini.GetString(kPrintSection, kDefaultPrinterKey, "");
    FillPrinterCombo(*m_printerCombo, m_printers);
    const int index = OpenStartPrinter(*m_printer, m_printers, saved);
    if (index < 0)
    {
        ShowMessage(kStrPrintNoUsablePrinter, {}, MessageButtons::Ok, MessageIcon::Error);
        return false;
    }
    m_printerCombo->setCurrentIndex(index);
    OnPrinterChanged();

    const std::string paramFile = ini.GetString(kPrintSection, kParamFileKey, "");
    if (!paramFile.empty() && platform::IsRegularFile(paramFile))
        m_index->SetParamFilePath(paramFile);
    ShowParamFile();
    return true;
}

void CPrintIndexDlg::OnPrinterChanged()
{
    if (!m_printer->IsOpen())
        return;
    WaitCursorGuard wait;
    RestoreKeptTicket(*m_printer, m_printers);
    FillPaperCombo(*m_paperCombo, *m_printer);
    FillBinCombo(*m_binCombo, *m_printer);
    ShowDevModeSettings();
    SelectSavedProfile();
    // One copy of each page: the index is printed once.
    if (m_printer->DevMode().fields & kTicketCopies)
        m_printer->SetCopies(1);
}

void CPrintIndexDlg::ShowDevModeSettings()
{
    if (m_printer->GetPaperName() == nullptr)
        m_printer->SelectFirstPaper();
    const PrintTicket& ticket = m_printer->DevMode();
    m_paperCombo->setCurrentIndex(m_paperCombo->findData(ticket.paper));
    m_binCombo->setCurrentIndex(m_binCombo->findData(ticket.bin));
    if (ticket.fields & kTicketOrientation)
        m_orientationGroup->button(ticket.orientation == 2 ? 1 : 0)->setChecked(true);
    UpdatePaperLayout();
}

void CPrintIndexDlg::SelectSavedProfile()
{
    FillPrinterProfileCombo(*m_profileCombo, m_profilePaths, *m_printer,
                            m_associatedOnly->isChecked());
}

void CPrintIndexDlg::EnableProfileControls()
{
    const bool byProfile =
        m_pathGroup->checkedId() == static_cast<int>(PrintColorPath::PrinterProfile);
    m_profileCombo->setEnabled(byProfile);
    m_associatedOnly->setEnabled(byProfile);
}

void CPrintIndexDlg::ShowParamFile()
{
    m_paramFile->setText(Text(GetFileNameFromPath(m_index->ParamFile())));
    m_browse->setEnabled(m_index->CorrectionMode() == kIndexModeParamFile);
}

// ---------------------------------------------------------------------------
// The page

void CPrintIndexDlg::UpdatePaperLayout()
{
    if (!m_printer->IsOpen())
        return;
    WaitCursorGuard wait;
    int paperW = 0, paperH = 0, printW = 0, printH = 0, offsetX = 0, offsetY = 0;
    m_printer->GetPhysicalSizeMM(paperW, paperH);
    m_printer->GetPrintableSizeMM(printW, printH);
    m_printer->GetPhysicalOffsetMM(offsetX, offsetY);
    char text[64];
    std::snprintf(text, sizeof text, "[ %.1f x %.1f mm ]", paperW / 10.0, paperH / 10.0);
    m_paperSizeText->setText(QString::fromLatin1(text));

    // The page in printer pixels, as the job paints it.
    int dotsW = 0, dotsH = 0, dpiX = 0, dpiY = 0;
    m_printer->GetPrintableSize(dotsW, dotsH);
    m_printer->GetLogPixels(dpiX, dpiY);
    const bool changed = dotsW != m_index->PageWidth() || dotsH != m_index->PageHeight() ||
                         dpiY != m_index->Resolution();
    m_index->SetPageLayout(dotsW, dotsH, dpiY);
    if (changed && m_index->PageCount() > 0 && m_index->CurrentPage() != 1)
        m_index->SetPage(1);
    // The preview's page is drawn whenever its buffer is made anew, and
    // drawn again here for a page of a new size in the same buffer.
    m_preview->SetPaperLayout(paperW, paperH, printW, printH, offsetX, offsetY);
    if (changed)
        Redraw();
    UpdatePageLabel();
}

void CPrintIndexDlg::Redraw()
{
    m_preview->RedrawPage();
}

void CPrintIndexDlg::UpdatePageLabel()
{
    const int count = m_index->PageCount();
    const int page = count > 0 ? m_index->CurrentPage() : 0;
    m_pageLabel->setText(QStringLiteral("%1 / %2").arg(page).arg(count));
    m_previous->setEnabled(page > 1);
    m_next->setEnabled(page < count);
    // No marked image, or a grid without cells: nothing to print.
    m_print->setEnabled(count > 0);
}

bool CPrintIndexDlg::SetColumns(int columns)
{
    return ChangeGrid(columns, true);
}

bool CPrintIndexDlg::SetRows(int rows)
{
    return ChangeGrid(rows, false);
}

// The edited number must lie within 1..10. The page that holds the first
// picture of the current page stays in view.
bool CPrintIndexDlg::ChangeGrid(int value, bool columns)
{
    if (value < kIndexGridMin || value > kIndexGridMax)
        return false;
    int& edited = columns ? m_index->Options.columns : m_index->Options.rows;
    if (value == edited)
        return true;
    WaitCursorGuard wait;
    const int first = m_index->CellsPerPage() * (m_index->CurrentPage() - 1);
    edited = value;
    const int page = std::min(IndexPageOfCell(first, m_index->CellsPerPage()),
                              std::max(1, m_index->PageCount()));
    // The worker starts again on the page now shown.
    if (!m_index->SetPage(page))
        m_index->RestartCacheThread();
    Redraw();
    UpdatePageLabel();
    return true;
}

// ---------------------------------------------------------------------------
// Handlers

void CPrintIndexDlg::onNotify(int message, int code, qint64 value)
{
    if (m_updating)
        return;
    m_updating = true;
    switch (message)
    {
    case kIdColumns:
        if (SetColumns(m_columns->GetValue()))
            m_columnsSpin->SetPos(m_columns->GetValue());
        break;
    case kIdRows:
        if (SetRows(m_rows->GetValue()))
            m_rowsSpin->SetPos(m_rows->GetValue());
        break;
    case kIdColumnsSpin:
        if (code == CUpDown::kThumbPosition && SetColumns(static_cast<int>(value)))
            m_columns->SetValue(static_cast<int>(value));
        break;
    case kIdRowsSpin:
        if (code == CUpDown::kThumbPosition && SetRows(static_cast<int>(value)))
            m_rows->SetValue(static_cast<int>(value));
        break;
    default:
        break;
    }
    m_updating = false;
}

void CPrintIndexDlg::OnSelchangePrinter()
{
    if (OpenChosenPrinter(*m_printerCombo, *m_printer, m_printers))
        OnPrinterChanged();
}

void CPrintIndexDlg::OnProperties()
{
    if (!m_printer->IsOpen())
        return;
    if (m_printer->ShowProperties(this))
        FillPaperCombo(*m_paperCombo, *m_printer);
    ShowDevModeSettings();
}

void CPrintIndexDlg::OnSelchangePaper()
{
    m_printer->SetPaperSize(m_paperCombo->currentData().toInt());
    UpdatePaperLayout();
}

void CPrintIndexDlg::OnSelchangeBin()
{
    m_printer->SetBin(m_binCombo->currentData().toInt());
    FillPaperCombo(*m_paperCombo, *m_printer);
    ShowDevModeSettings();
}

void CPrintIndexDlg::OnOrientation(bool landscape)
{
    if (landscape)
        m_printer->SetLandscape();
    else
        m_printer->SetPortrait();
    UpdatePaperLayout();
}

void CPrintIndexDlg::OnOrder(int order)
{
    const IndexOrder wanted = order == 1 ? IndexOrder::DownThenAcross : IndexOrder::AcrossThenDown;
    if (wanted == m_index->Options.order)
        return;
    m_index->Options.order = wanted;
    Redraw();
}

void CPrintIndexDlg::OnSize(int position)
{
    if (m_updating)
        return;
    const int size = kIndexSizeMax - position;
    if (size == m_index->Options.size)
        return;
    m_index->Options.size = size;
    Redraw();
}

void CPrintIndexDlg::OnFlag(int id, bool on)
{
    IndexPageOptions& o = m_index->Options;
    bool* flag = id == kIdFileName    ? &o.fileName
                 : id == kIdImageSize ? &o.imageSize
                 : id == kIdFrame     ? &o.frame
                 : id == kIdTitle     ? &o.title
                                      : &o.pageNumber;
    if (id == kIdTitle)
        m_titleText->setEnabled(on);
    if (*flag == on)
        return;
    *flag = on;
    Redraw();
}

void CPrintIndexDlg::OnTitleText()
{
    const std::string text = m_titleText->text().toStdString();
    if (!m_index->Options.title || text == m_index->Title)
        return;
    m_index->Title = text;
    Redraw();
}

void CPrintIndexDlg::OnPage(int step)
{
    const int page = m_index->CurrentPage() + step;
    if (page < 1 || !m_index->SetPage(page))
        return;
    Redraw();
    UpdatePageLabel();
}

void CPrintIndexDlg::OnCorrectionMode(int mode)
{
    m_index->SetCorrectionMode(mode);
    m_index->RestartCacheThread();
    ShowParamFile();
    Redraw();
}

void CPrintIndexDlg::OnBrowseParamFile()
{
    const std::string chosen = m_chooseParamFile ? m_chooseParamFile(m_index->ParamFile()) : "";
    if (chosen.empty() || !platform::IsRegularFile(chosen))
        return;
    m_index->SetParamFilePath(chosen);
    ShowParamFile();
    Redraw();
}

void CPrintIndexDlg::OnCellReady(int entry)
{
    m_preview->DrawOnPage([this, entry](QPainter& painter, const CRect& target) {
        m_index->DrawCellIfShown(painter, target, entry);
    });
}

// ---------------------------------------------------------------------------
// Printing

bool CPrintIndexDlg::ValidateSettings()
{
    const auto refuse = [](int messageId, QWidget* control) {
        ShowMessage(messageId, {std::to_string(kIndexGridMin), std::to_string(kIndexGridMax)},
                    MessageButtons::Ok, MessageIcon::Warning);
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            edit->selectAll();
        control->setFocus();
        return false;
    };
    const int columns = m_columns->GetValue();
    if (columns < kIndexGridMin || columns > kIndexGridMax)
        return refuse(kStrColumnsRange, m_columns);
    const int rows = m_rows->GetValue();
    if (rows < kIndexGridMin || rows > kIndexGridMax)
        return refuse(kStrRowsRange, m_rows);
    if (m_pathGroup->checkedId() == static_cast<int>(PrintColorPath::PrinterProfile) &&
        m_profileCombo->currentIndex() < 0)
    {
        ShowMessage(kStrPrintNoProfile, {}, MessageButtons::Ok, MessageIcon::Warning);
        m_profileCombo->setFocus();
        return false;
    }
    if (!m_index->IsParamFileReady())
    {
        ShowMessage(kStrParamFileMissing, {}, MessageButtons::Ok, MessageIcon::Warning);
        m_browse->setFocus();
        return false;
    }
    return true;
}

void CPrintIndexDlg::OnPrint()
{
    if (!ValidateSettings())
        return;
    if (!NamePdfOutput(*m_printer, this, windowTitle(),
                       LoadString(kStrIndexPrintDocument) + QStringLiteral(".pdf")))
        return;

    const PrintColorPath path = static_cast<PrintColorPath>(m_pathGroup->checkedId());
    // The ticket says how colour is managed for this job only.
    const PrintTicket before = m_printer->DevMode();
    if (before.fields & kTicketIcmMethod)
        m_printer->SetICMMethod(IcmMethodOfPath(path));
    m_index->ColorMode = path;
    const int profile = m_profileCombo->currentIndex();
    m_index->PrinterProfile = profile >= 0 && profile < static_cast<int>(m_profilePaths.size())
                                  ? m_profilePaths[static_cast<std::size_t>(profile)]
                                  : std::string();

    IndexPrintRequest request;
    request.currentPageOnly = m_rangeGroup->checkedId() == 1;
    request.applicationName = platform::ApplicationName();
    const IndexPrintResult result = PrintIndex(*m_index, *m_printer, this, request);
    if (before.fields & kTicketIcmMethod)
        m_printer->SetICMMethod(before.icmMethod);
    // The worker went on from the cells as they stood: the preview shows
    // them again.
    Redraw();
    if (const int message = IndexPrintResultMessage(result); message != 0)
        ShowMessage(message, {}, MessageButtons::Ok,
                    result == IndexPrintResult::Cancelled ? MessageIcon::Information
                                                          : MessageIcon::Error);
}
