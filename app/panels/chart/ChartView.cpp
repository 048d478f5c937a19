#include "app/panels/chart/ChartView.h"

#include "app/panels/chart/ChartViewLogic.h"
#include "app/shell/KeyState.h"
#include "controls/dialogs/ColorSearchDlg.h"
#include "controls/dialogs/DialogCodes.h"
#include "controls/dialogs/EditChartDlg.h"
#include "controls/support/ResourceImages.h"
#include "controls/widgets/ColorCheckerCtrl.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/UpDown.h"
#include "core/PathUtils.h"
#include "correction/ProjectManage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace {

constexpr int kIdCountArrows = 1044;
constexpr int kGridHeight = 64;

QCheckBox* MakeCheck(const char* text, int id, QWidget* parent)
{
    auto* check = new QCheckBox(QString::fromUtf8(text), parent);
    check->setObjectName(QString::number(id));
    return check;
}

QPushButton* MakeButton(const char* text, int id, QWidget* parent)
{
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(QString::number(id));
    return button;
}

CColorCheckerCtrl* MakeGrid(int id, QWidget* parent)
{
    auto* grid = new CColorCheckerCtrl(parent);
    grid->setObjectName(QString::number(id));
    grid->setFixedHeight(kGridHeight);
    grid->setMinimumWidth(120);
    grid->Clear();
    return grid;
}

} // namespace

CChartView::CChartView(QWidget* parent)
    : CStepView(1, std::make_unique<CChartDoc>(), parent), m_keys(&SystemKeyState())
{
    setObjectName(QStringLiteral("ChartView"));
    QVBoxLayout* form = MakeFormLayout();
    QWidget* page = form->parentWidget();

    // The grey scale.
    auto* gray = new QGroupBox(page);
    auto* grayLayout = new QGridLayout(gray);
    m_grayCheck = MakeCheck("グレースケール", 1042, gray);
    m_countEdit = new CEditEx(gray);
    m_countEdit->setObjectName(QStringLiteral("1043"));
    m_countEdit->Mode = EditMode::Integer;
    m_countEdit->IntMin = chartview::kMinGrayPatches;
    m_countEdit->IntMax = chartview::kMaxGrayPatches;
    m_countEdit->setMaximumWidth(48);
    m_countEdit->setNotifyMessage(UWM_CHART_VALUE_EDIT);
    connect(m_countEdit, &CEditEx::notify, this, &CChartView::OnNotify);
    m_countArrows = new CUpDown(Qt::Vertical, gray);
    m_countArrows->setObjectName(QString::number(kIdCountArrows));
    m_countArrows->SetRange(chartview::kMinGrayPatches, chartview::kMaxGrayPatches);
    m_countArrows->setNotifyMessage(kIdCountArrows);
    connect(m_countArrows, &CUpDown::notify, this, &CChartView::OnNotify);
    m_grayFreeCheck = MakeCheck("ランダム", 1045, gray);
    m_grayMeasure = MakeButton("現在値", 1038, gray);
    m_blackCheck = MakeCheck("黒レベル調整", 1046, gray);
    m_whiteCheck = MakeCheck("白レベル調整", 1047, gray);
    m_grayMeasured = MakeGrid(1048, gray);
    m_grayTarget = MakeGrid(1049, gray);

    auto* countRow = new QHBoxLayout;
    countRow->addWidget(m_countEdit);
    countRow->addWidget(m_countArrows);
    countRow->addWidget(m_grayFreeCheck);
    countRow->addStretch(1);
    countRow->addWidget(m_grayMeasure);
    auto* levelRow = new QHBoxLayout;
    levelRow->addWidget(m_blackCheck);
    levelRow->addWidget(m_whiteCheck);
    levelRow->addStretch(1);
    grayLayout->addWidget(m_grayCheck, 0, 0);
    grayLayout->addLayout(countRow, 1, 0);
    grayLayout->addLayout(levelRow, 2, 0);
    grayLayout->addWidget(m_grayMeasured, 3, 0);
    grayLayout->addWidget(m_grayTarget, 4, 0);

    // The colour chart.
    auto* color = new QGroupBox(page);
    auto* colorLayout = new QGridLayout(color);
    m_colorCheck = MakeCheck("カラーチャート", 1050, color);
    m_layoutList = new QComboBox(color);
    m_layoutList->setObjectName(QStringLiteral("1051"));
    for (std::size_t i = 0; i < chartview::kChartLayouts.size(); ++i)
        m_layoutList->addItem(QString::fromStdString(chartview::LayoutText(static_cast<int>(i))));
    m_colorFreeCheck = MakeCheck("ランダム", 1052, color);
    m_colorMeasure = MakeButton("現在値", 1039, color);
    m_targetMeasure = MakeButton("目標値", 1054, color);
    m_reverseMeasured = new QToolButton(color);
    m_reverseMeasured->setObjectName(QStringLiteral("1056"));
    m_reverseMeasured->setIcon(LoadIconResource(kIconReverseOrder));
    m_reverseTarget = new QToolButton(color);
    m_reverseTarget->setObjectName(QStringLiteral("1057"));
    m_reverseTarget->setIcon(LoadIconResource(kIconReverseOrder));
    m_colorMeasured = MakeGrid(1053, color);
    m_colorMeasured->setNotifyMessage(UWM_CHART_IMAGE_CHECKER);
    connect(m_colorMeasured, &CColorCheckerCtrl::notify, this, &CChartView::OnNotify);
    m_colorTarget = MakeGrid(1055, color);
    m_colorTarget->setNotifyMessage(UWM_CHART_TARGET_CHECKER);
    connect(m_colorTarget, &CColorCheckerCtrl::notify, this, &CChartView::OnNotify);
    m_hintAll = new QLabel(QStringLiteral("クリック・・・全体を変更します"), color);
    m_hintAll->setObjectName(QStringLiteral("1058"));
    m_hintOne = new QLabel(QStringLiteral("Ctrl＋クリック・・・１つだけ変更します"), color);
    m_hintOne->setObjectName(QStringLiteral("1059"));
    // The hints take their place even while hidden, so that showing them
    // does not move the controls under the mouse.
    for (QLabel* hint : {m_hintAll, m_hintOne})
    {
        QSizePolicy policy = hint->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        hint->setSizePolicy(policy);
        hint->hide();
    }

    auto* layoutRow = new QHBoxLayout;
    layoutRow->addWidget(m_layoutList);
    layoutRow->addWidget(m_colorFreeCheck);
    layoutRow->addStretch(1);
    auto* measuredRow = new QHBoxLayout;
    measuredRow->addWidget(m_colorMeasure);
    measuredRow->addStretch(1);
    measuredRow->addWidget(m_reverseMeasured);
    auto* targetRow = new QHBoxLayout;
    targetRow->addWidget(m_targetMeasure);
    targetRow->addStretch(1);
    targetRow->addWidget(m_reverseTarget);
    colorLayout->addWidget(m_colorCheck, 0, 0);
    colorLayout->addLayout(layoutRow, 1, 0);
    colorLayout->addLayout(measuredRow, 2, 0);
    colorLayout->addWidget(m_colorMeasured, 3, 0);
    colorLayout->addLayout(targetRow, 4, 0);
    colorLayout->addWidget(m_colorTarget, 5, 0);
    colorLayout->addWidget(m_hintAll, 6, 0);
    colorLayout->addWidget(m_hintOne, 7, 0);

    form->addWidget(gray);
    form->addWidget(color);
    AddCommonButtonRows(form);

    for (QCheckBox* check : {m_grayCheck, m_blackCheck, m_whiteCheck, m_colorCheck})
        connect(check, &QCheckBox::clicked, this, [this] { OnSettingChanged(); });
    connect(m_layoutList, &QComboBox::activated, this, [this] { OnSettingChanged(); });
    connect(m_grayFreeCheck, &QCheckBox::clicked, this, [this] {
        UpdateControls(true);
        UpdateControls(false);
        ApplyDocument();
    });
    connect(m_colorFreeCheck, &QCheckBox::clicked, this, [this] {
        UpdateControls(true);
        UpdateControls(false);
    });
    connect(m_grayMeasure, &QPushButton::clicked, this, [this] { MeasureGray(); });
    connect(m_colorMeasure, &QPushButton::clicked, this, [this] { MeasureColor(false); });
    connect(m_targetMeasure, &QPushButton::clicked, this, [this] { MeasureColor(true); });
    connect(m_reverseMeasured, &QToolButton::clicked, this, [this] { ReverseColorTable(false); });
    connect(m_reverseTarget, &QToolButton::clicked, this, [this] { ReverseColorTable(true); });

    m_grayItem.InitChartItem(1, kGrayItemColor, 1, kInitialImageRect);
    m_colorItem.InitChartItem(2, kColorItemColor, 3, kInitialImageRect);

    SetDataValid();
    UpdateControls(false);
    UpdateControls(true);
    LoadSettings(GetIniFilePath());
}

CChartView::~CChartView() = default;

void CChartView::SetKeyState(const IKeyState* keys)
{
    m_keys = keys != nullptr ? keys : &SystemKeyState();
}

bool CChartView::IsImageLoaded() const
{
    return GetProject() != nullptr && GetProject()->IsImageReady();
}

bool CChartView::IsActive() const
{
    return GetProject() != nullptr && GetProject()->GetCompareMode() == kCompareAfter;
}

// ---- Entering

void CChartView::OnEnterStep()
{
    if (GetProject() == nullptr)
        return;
    CStepView::OnEnterStep();
    const ChartParams& p = Document().GetParams();
    if (!chartview::IsUsableGrayTable(p.grayScaleTable) ||
        !chartview::IsUsableColorTable(p.colorChartTable) ||
        !chartview::IsUsableColorTable(p.colorChartReference))
    {
        Document().Reset();
        SetProjectPreviewDoc();
    }
    UpdateControls(false);
}

// ---- Data exchange

bool CChartView::readControls()
{
    CChartDoc& doc = Document();
    ChartParams& p = doc.GetParams();
    const int count = std::clamp(m_countEdit->GetInt(), chartview::kMinGrayPatches,
                                 chartview::kMaxGrayPatches);
    if (p.grayScaleTable.GetRows() != 1 || p.grayScaleTable.GetColumns() != count)
        doc.SetGrayScaleCount(count, CCIEXYZ());
    p.UseGrayScale = m_grayCheck->isChecked() ? 1 : 0;
    p.AdjustBlackLevel = m_blackCheck->isChecked() ? 1 : 0;
    p.AdjustWhiteLevel = m_whiteCheck->isChecked() ? 1 : 0;
    p.UseColorChart = m_colorCheck->isChecked() ? 1 : 0;
    chartview::ChartLayout layout;
    if (chartview::LayoutAt(m_layoutList->currentIndex(), layout) &&
        (p.colorChartTable.GetRows() != layout.rows ||
         p.colorChartTable.GetColumns() != layout.columns ||
         p.colorChartReference.GetRows() != layout.rows ||
         p.colorChartReference.GetColumns() != layout.columns))
        doc.SetColorChartSize(layout.rows, layout.columns, CCIEXYZ());
    return true;
}

void CChartView::writeControls()
{
    const CChartDoc& doc = Document();
    const ChartParams& p = doc.GetParams();
    const bool gray = p.UseGrayScale != 0;
    const bool color = p.UseColorChart != 0;

    m_grayCheck->setChecked(gray);
    m_blackCheck->setChecked(p.AdjustBlackLevel != 0);
    m_whiteCheck->setChecked(p.AdjustWhiteLevel != 0);
    m_colorCheck->setChecked(color);
    const int count = p.grayScaleTable.GetColumns();
    SetEditIntQuiet(count, *m_countEdit);
    m_countArrows->SetPos(count);

    m_grayItem.SetFreePlacement(m_grayFreeCheck->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{m_grayFreeCheck, m_countEdit, m_countArrows,
                                                      m_grayMeasure, m_blackCheck, m_whiteCheck})
        w->setEnabled(gray);
    ShowTable(*m_grayMeasured, p.grayScaleTable);
    T2DArray<CCIEXYZ> targets;
    if (IsImageLoaded())
        doc.MakeGrayScaleTarget(GetProject()->GetWhiteXYZ(), targets);
    ShowTable(*m_grayTarget, targets);

    int layout = 0;
    chartview::FindChartLayout(p.colorChartTable.GetRows(), p.colorChartTable.GetColumns(), layout);
    m_layoutList->setCurrentIndex(layout);
    m_colorItem.SetFreePlacement(m_colorFreeCheck->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{m_colorFreeCheck, m_layoutList,
                                                      m_colorMeasure, m_targetMeasure,
                                                      m_reverseMeasured, m_reverseTarget})
        w->setEnabled(color);
    ShowTable(*m_colorMeasured, p.colorChartTable);
    ShowTable(*m_colorTarget, p.colorChartReference);

    if (IsImageLoaded())
    {
        const CRGBImage& image = GetProject()->GetWorkingImage();
        const CRect rect(0, 0, image.GetWidth(), image.GetHeight());
        m_grayItem.SetImageRect(rect);
        m_colorItem.SetImageRect(rect);
        m_grayItem.SetGrid(1, count);
        m_colorItem.SetGrid(p.colorChartTable.GetRows(), p.colorChartTable.GetColumns());
    }
    NotifyRefresh();
}

void CChartView::ShowTable(CColorCheckerCtrl& grid, const T2DArray<CCIEXYZ>& table)
{
    if (table.IsEmpty() || !IsImageLoaded())
    {
        grid.Clear();
        grid.update();
        return;
    }
    const std::vector<CCIEXYZ>& cells = table.GetCells();
    std::vector<RGB16> shown(cells.size());
    GetProject()->XYZToOutputRGB(cells.data(), shown.data(), cells.size());
    T2DArray<RGBColor> colors;
    colors.Resize(table.GetRows(), table.GetColumns(), RGBColor());
    for (std::size_t i = 0; i < shown.size(); ++i)
    {
        const auto k = static_cast<std::int32_t>(i);
        colors.SetAt(k / table.GetColumns(), k % table.GetColumns(),
                     RGBColor{shown[i].r, shown[i].g, shown[i].b});
    }
    grid.SetColors(std::nullopt, colors);
}

// ---- Control notifications

void CChartView::OnNotify(int message, int code, qint64 value)
{
    if (IsUpdating())
        return;
    switch (message)
    {
    case UWM_CHART_VALUE_EDIT:
        OnCountEdit();
        break;
    case kIdCountArrows:
        OnCountArrows(code, static_cast<int>(value));
        break;
    case UWM_CHART_IMAGE_CHECKER:
    case UWM_CHART_TARGET_CHECKER:
        if (!IsImageLoaded() || Document().GetParams().UseColorChart == 0)
            return;
        if (code == CColorCheckerCtrl::kCellClicked)
            OnGridClick(message == UWM_CHART_TARGET_CHECKER, static_cast<int>(value >> 16),
                        static_cast<int>(value & 0xFFFF));
        else if (code == CColorCheckerCtrl::kHover)
        {
            m_hintAll->setVisible(value != 0);
            m_hintOne->setVisible(value != 0);
        }
        break;
    default:
        break;
    }
}

void CChartView::OnSettingChanged()
{
    SaveUndoState(Document());
    UpdateControls(true);
    UpdateControls(false);
    ApplyDocument();
}

void CChartView::OnCountEdit()
{
    // A run of arrow steps has saved its undo state already.
    if (!IsEditing())
        SaveUndoState(Document());
    UpdateControls(true);
    UpdateControls(false);
    ApplyDocument();
}

void CChartView::OnCountArrows(int code, int position)
{
    if (code == CUpDown::kThumbPosition)
    {
        if (BeginEdit() == 0)
            SaveUndoState(Document());
        SetEditIntQuiet(position, *m_countEdit);
        return;
    }
    if (code != CUpDown::kEndScroll || !IsEditing())
        return;
    // The edit takes the position and reports it, which runs the edit's
    // handler under the undo state of this run.
    m_countEdit->SetInt(position);
    EndEdit();
}

void CChartView::OnGridClick(bool target, int row, int column)
{
    CChartDoc& doc = Document();
    T2DArray<CCIEXYZ>& table =
        target ? doc.GetParams().colorChartReference : doc.GetParams().colorChartTable;
    if (row < 0 || row >= table.GetRows() || column < 0 || column >= table.GetColumns())
        return;
    if (m_keys->modifiersDown() & Qt::ControlModifier)
    {
        CColorSearchDlg dialog(this);
        dialog.Converter = GetProject();
        dialog.SetStartColor(table.GetAt(row, column));
        if (dialog.exec() != kDialogOk)
            return;
        const CCIEXYZ chosen = dialog.GetResultColor();
        if (chosen == table.GetAt(row, column))
            return;
        SaveUndoState(doc);
        table.SetAt(row, column, chosen);
    }
    else
    {
        CEditChartDlg dialog(this);
        dialog.Converter = GetProject();
        dialog.SetColors(table);
        if (dialog.exec() != kDialogOk)
            return;
        const T2DArray<CCIEXYZ> edited = dialog.GetEditedColors();
        if (CChartDoc::IsEqualXYZTable(edited, table))
            return;
        SaveUndoState(doc);
        table = edited;
    }
    UpdateControls(false);
    ApplyDocument();
}

// ---- Measuring and reversing

bool CChartView::Measure(const CChartDragItem& item, T2DArray<CCIEXYZ>& out)
{
    if (!IsImageLoaded() || !IsActive())
        return false;
    SaveUndoState(Document());
    T2DArray<CPoint> points;
    item.GetPatchPoints(points);
    GetProject()->MeasureChartPatches(points, out);
    return true;
}

void CChartView::MeasureGray()
{
    T2DArray<CCIEXYZ> measured;
    if (!Measure(m_grayItem, measured))
        return;
    Document().GetParams().grayScaleTable = chartview::SortGrayPatches(measured);
    UpdateControls(false);
    ApplyDocument();
}

void CChartView::MeasureColor(bool asTarget)
{
    T2DArray<CCIEXYZ> measured;
    if (!Measure(m_colorItem, measured))
        return;
    if (asTarget)
        Document().GetParams().colorChartReference = measured;
    else
        Document().GetParams().colorChartTable = measured;
    UpdateControls(false);
    ApplyDocument();
}

void CChartView::ReverseColorTable(bool target)
{
    if (!IsImageLoaded())
        return;
    SaveUndoState(Document());
    T2DArray<CCIEXYZ>& table = target ? Document().GetParams().colorChartReference
                                      : Document().GetParams().colorChartTable;
    table = chartview::ReverseTable(table);
    UpdateControls(false);
    ApplyDocument();
}

// ---- The drag item

bool CChartView::HitTest(const CPoint& imagePoint, int scale)
{
    m_currentItem = nullptr;
    if (!IsActive())
        return false;
    const ChartParams& p = Document().GetParams();
    if (p.UseGrayScale != 0 && m_grayItem.HitTest(imagePoint, scale))
        m_currentItem = &m_grayItem;
    else if (p.UseColorChart != 0 && m_colorItem.HitTest(imagePoint, scale))
        m_currentItem = &m_colorItem;
    return m_currentItem != nullptr;
}

void CChartView::BeginDrag(const CPoint& imagePoint, const CRect& screen, const CRect& image)
{
    m_dragging = 1;
    if (m_currentItem != nullptr)
        m_currentItem->BeginDrag(imagePoint, screen, image);
}

void CChartView::Drag(const CPoint& imagePoint, const CRect& screen, const CRect& image)
{
    if (m_currentItem != nullptr)
        m_currentItem->Drag(imagePoint, screen, image);
}

void CChartView::EndDrag(const CPoint& imagePoint)
{
    m_dragging = 0;
    if (m_currentItem != nullptr)
        m_currentItem->EndDrag(imagePoint);
    m_currentItem = nullptr;
}

void CChartView::Draw(QPainter& painter, const CRect& screen, const CRect& image) const
{
    if (!IsActive())
        return;
    const ChartParams& p = Document().GetParams();
    if (p.UseColorChart != 0)
        m_colorItem.Draw(painter, screen, image);
    if (p.UseGrayScale != 0)
        m_grayItem.Draw(painter, screen, image);
}
