#include "app/panels/trimming/TrimmingView.h"

#include "app/panels/chart/ChartDragItem.h"
#include "controls/dialogs/DialogCodes.h"
#include "controls/dialogs/HVRatioDlg.h"
#include "controls/support/ColorRef.h"
#include "controls/support/ResourceImages.h"
#include "controls/widgets/ControlWidget.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/UpDown.h"
#include "core/Clamp.h"
#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "core/RGBImage.h"
#include "correction/ProjectManage.h"
#include "correction/TrimmingDoc.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPen>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>

using namespace trimming;

namespace {

constexpr int kTrimmingStep = 2; // slot 3
constexpr int kCrosshairArm = 15;
constexpr int kHandleHalf = 4;
constexpr COLORREF kFrameColour = MakeColorRef(255, 255, 255);
constexpr COLORREF kHandleFill = MakeColorRef(0, 0, 0);

static_assert(kCursorTrimDiagonalDown == 200 && kCursorTrimDiagonalUp == 201 &&
                  kCursorTrimVertical == 202 && kCursorTrimHorizontal == 203 &&
                  kCursorTrimMove == 204 && kCursorTrimNewFrame == 208,
              "the frame's cursors are the ones CursorOfPart names");

CEditEx* MakeEdit(QWidget* parent, int id, EditMode mode, int message)
{
    auto* edit = new CEditEx(parent);
    edit->setObjectName(QString::number(id));
    edit->Mode = mode;
    edit->setNotifyMessage(message);
    edit->setFixedWidth(64);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

// An edit with its up-down right beside it.
QHBoxLayout* EditWithUpDown(CEditEx* edit, CUpDown* upDown)
{
    auto* pair = new QHBoxLayout;
    pair->setSpacing(0);
    pair->addWidget(edit);
    pair->addWidget(upDown);
    return pair;
}

int WholeMM(double mm)
{
    return static_cast<int>(ClampToInteger(mm, INT_MIN, INT_MAX));
}

QRect ToQRect(const CRect& r)
{
    return QRect(r.left, r.top, r.Width(), r.Height());
}

} // namespace

CTrimmingView::CTrimmingView(QWidget* parent)
    : CStepView(kTrimmingStep, std::make_unique<CTrimmingDoc>(), parent),
      m_pattern(LoadBitmapResource(kBitmapDragPattern))
{
    QVBoxLayout* layout = MakeFormLayout();
    QWidget* form = layout->parentWidget();

    const auto upDown = [this, form](int id) {
        auto* control = new CUpDown(Qt::Vertical, form);
        control->setObjectName(QString::number(id));
        control->setNotifyMessage(id);
        connect(control, &CUpDown::notify, this, &CTrimmingView::OnNotify);
        return control;
    };
    const auto edit = [this, form](int id, EditMode mode, int message) {
        CEditEx* control = MakeEdit(form, id, mode, message);
        connect(control, &CEditEx::notify, this, &CTrimmingView::OnNotify);
        return control;
    };

    // The frame.
    m_ratioCombo = new QComboBox(form);
    m_ratioCombo->setObjectName(QString::number(kIdRatioCombo));
    for (int type = 0; type < kRatioTypeCount; ++type)
        m_ratioCombo->addItem(RatioTypeText(type));
    connect(m_ratioCombo, &QComboBox::currentIndexChanged, this, [this] { OnRatioTypeChanged(); });
    m_customRatioButton = new QPushButton(QStringLiteral("編集..."), form);
    m_customRatioButton->setObjectName(QString::number(kIdCustomRatioButton));
    connect(m_customRatioButton, &QPushButton::clicked, this, [this] { OnCustomRatio(); });

    m_leftEdit = edit(kIdLeftEdit, EditMode::Integer, UWM_TRIMMING_LEFT_EDIT);
    m_topEdit = edit(kIdTopEdit, EditMode::Integer, UWM_TRIMMING_TOP_EDIT);
    m_widthEdit = edit(kIdWidthEdit, EditMode::Integer, UWM_TRIMMING_WIDTH_EDIT);
    m_heightEdit = edit(kIdHeightEdit, EditMode::Integer, UWM_TRIMMING_HEIGHT_EDIT);
    m_leftUpDown = upDown(kIdLeftUpDown);
    m_topUpDown = upDown(kIdTopUpDown);
    m_widthUpDown = upDown(kIdWidthUpDown);
    m_heightUpDown = upDown(kIdHeightUpDown);

    auto* ratioRow = new QHBoxLayout;
    ratioRow->addWidget(new QLabel(QStringLiteral("縦横比"), form));
    ratioRow->addWidget(m_ratioCombo, 1);
    ratioRow->addWidget(m_customRatioButton);
    layout->addLayout(ratioRow);

    auto* frameGrid = new QGridLayout;
    frameGrid->addWidget(new QLabel(QStringLiteral("左 :"), form), 0, 0);
    frameGrid->addLayout(EditWithUpDown(m_leftEdit, m_leftUpDown), 0, 1);
    frameGrid->addWidget(new QLabel(QStringLiteral("上 :"), form), 0, 2);
    frameGrid->addLayout(EditWithUpDown(m_topEdit, m_topUpDown), 0, 3);
    frameGrid->addWidget(new QLabel(QStringLiteral("幅 :"), form), 1, 0);
    frameGrid->addLayout(EditWithUpDown(m_widthEdit, m_widthUpDown), 1, 1);
    frameGrid->addWidget(new QLabel(QStringLiteral("高さ :"), form), 1, 2);
    frameGrid->addLayout(EditWithUpDown(m_heightEdit, m_heightUpDown), 1, 3);
    frameGrid->setColumnStretch(4, 1);
    layout->addLayout(frameGrid);
    layout->addSpacing(12);

    // The output size.
    m_pixelRadio = new QRadioButton(QStringLiteral("ピクセル数 :"), form);
    m_pixelRadio->setObjectName(QString::number(kIdPixelRadio));
    m_mmRadio = new QRadioButton(QStringLiteral("サイズ(mm) :"), form);
    m_mmRadio->setObjectName(QString::number(kIdMMRadio));
    connect(m_pixelRadio, &QRadioButton::clicked, this, [this] { OnSizeMode(); });
    connect(m_mmRadio, &QRadioButton::clicked, this, [this] { OnSizeMode(); });

    m_pixelWidthEdit = edit(kIdPixelWidthEdit, EditMode::Integer, UWM_TRIMMING_CTRL_404);
    m_pixelHeightEdit = edit(kIdPixelHeightEdit, EditMode::Integer, UWM_TRIMMING_CTRL_405);
    m_mmWidthEdit = edit(kIdMMWidthEdit, EditMode::Real, UWM_TRIMMING_CTRL_406);
    m_mmHeightEdit = edit(kIdMMHeightEdit, EditMode::Real, UWM_TRIMMING_CTRL_407);
    m_mmWidthEdit->Decimals = 2;
    m_mmHeightEdit->Decimals = 2;
    m_dpiEdit = edit(kIdDPIEdit, EditMode::Integer, UWM_TRIMMING_CTRL_408);
    m_pixelWidthUpDown = upDown(kIdPixelWidthUpDown);
    m_pixelHeightUpDown = upDown(kIdPixelHeightUpDown);
    m_mmWidthUpDown = upDown(kIdMMWidthUpDown);
    m_mmHeightUpDown = upDown(kIdMMHeightUpDown);
    m_dpiUpDown = upDown(kIdDPIUpDown);
    m_ratioFixCheck = new QCheckBox(QStringLiteral("縦横比を固定"), form);
    m_ratioFixCheck->setObjectName(QString::number(kIdRatioFixCheck));
    connect(m_ratioFixCheck, &QCheckBox::clicked, this, [this] { OnRatioFix(); });

    auto* outputGrid = new QGridLayout;
    outputGrid->addWidget(m_pixelRadio, 0, 0, 1, 4);
    outputGrid->addLayout(EditWithUpDown(m_pixelWidthEdit, m_pixelWidthUpDown), 1, 1);
    outputGrid->addWidget(new QLabel(QStringLiteral("×"), form), 1, 2);
    outputGrid->addLayout(EditWithUpDown(m_pixelHeightEdit, m_pixelHeightUpDown), 1, 3);
    outputGrid->addWidget(m_mmRadio, 2, 0, 1, 4);
    outputGrid->addLayout(EditWithUpDown(m_mmWidthEdit, m_mmWidthUpDown), 3, 1);
    outputGrid->addWidget(new QLabel(QStringLiteral("×"), form), 3, 2);
    outputGrid->addLayout(EditWithUpDown(m_mmHeightEdit, m_mmHeightUpDown), 3, 3);
    outputGrid->addWidget(new QLabel(QStringLiteral("DPI :"), form), 4, 0, 1, 1, Qt::AlignRight);
    outputGrid->addLayout(EditWithUpDown(m_dpiEdit, m_dpiUpDown), 4, 1);
    outputGrid->addWidget(m_ratioFixCheck, 5, 0, 1, 4);
    outputGrid->setColumnMinimumWidth(0, 16);
    outputGrid->setColumnStretch(4, 1);
    layout->addLayout(outputGrid);
    layout->addSpacing(12);

    // The preview switch exists (the preview flag is bound to it) but this
    // form does not show it.
    AddCommonButtonRows(layout, false);
    // Reset puts the frame back on the image: a handler of its own.
    ResetButton()->disconnect(this);
    connect(ResetButton(), &QPushButton::clicked, this, [this] { OnReset(); });

    LoadSettings(GetIniFilePath());
    SetDataValid();
    UpdateControls(false);
}

CTrimmingView::~CTrimmingView() = default;

CTrimmingDoc& CTrimmingView::Doc()
{
    return static_cast<CTrimmingDoc&>(*m_document);
}

QString CTrimmingView::RatioTypeText(int type)
{
    static const QString texts[kRatioTypeCount] = {
        QStringLiteral("AB版(横)"),  QStringLiteral("AB版(縦)"),   QStringLiteral("L版(横)"),
        QStringLiteral("L版(縦)"),   QStringLiteral("ハガキ(横)"), QStringLiteral("ハガキ(縦)"),
        QStringLiteral("4:3"),       QStringLiteral("16:9"),       QStringLiteral("正方形"),
        QStringLiteral("フリー"),    QStringLiteral("元画像"),     QStringLiteral("カスタム1"),
        QStringLiteral("カスタム2"), QStringLiteral("カスタム3"),
    };
    return type >= 0 && type < kRatioTypeCount ? texts[type] : QString();
}

void CTrimmingView::LoadSettings(const std::string& iniPath)
{
    const CIniFile ini(iniPath);
    const std::string section = GetSectionName();
    for (int i = 0; i < kCustomRatioCount; ++i)
    {
        const std::string n = std::to_string(i + 1);
        m_customRatios[static_cast<std::size_t>(i)] =
            CustomRatioFromSettings(ini.GetInt(section, "CustomRatioWidth" + n, 1),
                                    ini.GetInt(section, "CustomRatioHeight" + n, 1));
    }
}

// ---- The document and the image ------------------------------------------------

FrameRules CTrimmingView::RulesOfType(int type) const
{
    const TrimmingRecord& r = static_cast<const CTrimmingDoc&>(*m_document).GetTrimRecord();
    return {r.OrgWidth, r.OrgHeight, RatioOfType(type, r.OrgWidth, r.OrgHeight, m_customRatios)};
}

FrameRules CTrimmingView::Rules() const
{
    return RulesOfType(static_cast<const CTrimmingDoc&>(*m_document).GetTrimRecord().TrmRatioType);
}

CRect CTrimmingView::DocFrame() const
{
    const TrimmingRecord& r = static_cast<const CTrimmingDoc&>(*m_document).GetTrimRecord();
    return CRect(r.TrmPosX, r.TrmPosY, r.TrmPosX + r.TrmWidth, r.TrmPosY + r.TrmHeight);
}

void CTrimmingView::FitToImage(bool reset)
{
    CProjectManage* project = GetProject();
    if (project == nullptr || !project->IsImageReady())
        return;
    const CRGBImage& image = project->GetWorkingImage();
    if (image.IsEmpty())
        return;
    // The image's resolution in whole dots per inch; none counts as 300.
    int dpi = static_cast<int>(ClampToInteger(project->GetImageDPI(), 0, INT_MAX));
    if (dpi < 1)
        dpi = 300;
    Doc().SetOriginalSize(reset, image.GetWidth(), image.GetHeight(), dpi);
}

void CTrimmingView::OnDocumentReplaced()
{
    FitToImage(false);
}

// ---- Controls ------------------------------------------------------------------

void CTrimmingView::SetRanges()
{
    const TrimmingRecord& r = Doc().GetTrimRecord();
    const FrameRules rules = Rules();
    const auto setInt = [](CEditEx* edit, CUpDown* upDown, int minimum, int maximum) {
        edit->IntMin = minimum;
        edit->IntMax = maximum;
        upDown->SetRange(minimum, maximum);
    };
    setInt(m_leftEdit, m_leftUpDown, 0, r.OrgWidth);
    setInt(m_topEdit, m_topUpDown, 0, r.OrgHeight);
    setInt(m_widthEdit, m_widthUpDown, rules.MinWidth(), r.OrgWidth);
    setInt(m_heightEdit, m_heightUpDown, rules.MinHeight(), r.OrgHeight);
    const OutputLimits pixelWidth = OutputLimitsOf(r.OrgWidth);
    const OutputLimits pixelHeight = OutputLimitsOf(r.OrgHeight);
    setInt(m_pixelWidthEdit, m_pixelWidthUpDown, pixelWidth.minimum, pixelWidth.maximum);
    setInt(m_pixelHeightEdit, m_pixelHeightUpDown, pixelHeight.minimum, pixelHeight.maximum);
    const auto setMM = [](CEditEx* edit, CUpDown* upDown, const OutputLimitsMM& limits) {
        edit->RealMin = limits.minimum;
        edit->RealMax = limits.maximum;
        // The arrows step whole millimetres.
        upDown->SetRange(WholeMM(limits.minimum), WholeMM(limits.maximum));
    };
    setMM(m_mmWidthEdit, m_mmWidthUpDown, OutputLimitsMMOf(r.OrgWidth, r.SizeDPI));
    setMM(m_mmHeightEdit, m_mmHeightUpDown, OutputLimitsMMOf(r.OrgHeight, r.SizeDPI));
    setInt(m_dpiEdit, m_dpiUpDown, CTrimmingDoc::kMinDPI, CTrimmingDoc::kMaxDPI);
}

void CTrimmingView::writeControls()
{
    SetRanges();
    const TrimmingRecord& r = Doc().GetTrimRecord();
    const std::pair<CEditEx*, CUpDown*> edits[] = {
        {m_leftEdit, m_leftUpDown},
        {m_topEdit, m_topUpDown},
        {m_widthEdit, m_widthUpDown},
        {m_heightEdit, m_heightUpDown},
        {m_pixelWidthEdit, m_pixelWidthUpDown},
        {m_pixelHeightEdit, m_pixelHeightUpDown},
        {m_dpiEdit, m_dpiUpDown},
    };
    const int values[] = {r.TrmPosX,        r.TrmPosY,         r.TrmWidth, r.TrmHeight,
                          r.SizePixelWidth, r.SizePixelHeight, r.SizeDPI};
    for (std::size_t i = 0; i < std::size(edits); ++i)
    {
        SetEditIntQuiet(values[i], *edits[i].first);
        edits[i].second->SetPos(values[i]);
    }
    SetEditRealQuiet(r.SizeMMWidth100 / 100.0, *m_mmWidthEdit);
    SetEditRealQuiet(r.SizeMMHeight100 / 100.0, *m_mmHeightEdit);
    m_mmWidthUpDown->SetPos(r.SizeMMWidth100 / 100);
    m_mmHeightUpDown->SetPos(r.SizeMMHeight100 / 100);

    const int type = std::clamp(r.TrmRatioType, 0, kRatioTypeCount - 1);
    {
        const QSignalBlocker quiet(m_ratioCombo);
        m_ratioCombo->setCurrentIndex(type);
    }
    m_customRatioButton->setEnabled(type >= kFirstCustomType);

    const bool inPixels = r.SizeMode == 0;
    {
        const QSignalBlocker pixel(m_pixelRadio);
        const QSignalBlocker mm(m_mmRadio);
        (inPixels ? m_pixelRadio : m_mmRadio)->setChecked(true);
    }
    for (QWidget* control :
         {static_cast<QWidget*>(m_pixelWidthEdit), static_cast<QWidget*>(m_pixelWidthUpDown),
          static_cast<QWidget*>(m_pixelHeightEdit), static_cast<QWidget*>(m_pixelHeightUpDown)})
        control->setEnabled(inPixels);
    for (QWidget* control :
         {static_cast<QWidget*>(m_mmWidthEdit), static_cast<QWidget*>(m_mmWidthUpDown),
          static_cast<QWidget*>(m_mmHeightEdit), static_cast<QWidget*>(m_mmHeightUpDown)})
        control->setEnabled(!inPixels);
    {
        const QSignalBlocker quiet(m_ratioFixCheck);
        m_ratioFixCheck->setChecked(r.SizeRatioFix != 0);
    }
}

bool CTrimmingView::readControls()
{
    TrimmingRecord& r = Doc().GetTrimRecord();
    const int oldWidth = r.TrmWidth;
    const int oldHeight = r.TrmHeight;
    const int oldDpi = r.SizeDPI;
    r.TrmPosX = m_leftEdit->GetInt();
    r.TrmPosY = m_topEdit->GetInt();
    r.TrmWidth = m_widthEdit->GetInt();
    r.TrmHeight = m_heightEdit->GetInt();
    r.TrmRatioType = std::clamp(m_ratioCombo->currentIndex(), 0, kRatioTypeCount - 1);
    r.SizeMode = m_mmRadio->isChecked() ? 1 : 0;
    // A typed text not yet validated may lie outside the edit's range.
    r.SizeDPI = std::clamp(m_dpiEdit->GetInt(), CTrimmingDoc::kMinDPI, CTrimmingDoc::kMaxDPI);
    r.SizeRatioFix = m_ratioFixCheck->isChecked() ? 1 : 0;
    const OutputFields out = ReadOutputFields(
        r.SizeMode, r.SizeDPI != oldDpi, r.SizeDPI, m_pixelWidthEdit->GetInt(),
        m_pixelHeightEdit->GetInt(), m_mmWidthEdit->GetDouble(), m_mmHeightEdit->GetDouble());
    r.SizePixelWidth = out.pixelWidth;
    r.SizePixelHeight = out.pixelHeight;
    r.SizeMMWidth100 = out.mm100Width;
    r.SizeMMHeight100 = out.mm100Height;
    if (r.TrmWidth != oldWidth || r.TrmHeight != oldHeight || r.SizeDPI != oldDpi)
        SetRanges();
    return true;
}

void CTrimmingView::TakeControls()
{
    UpdateControls(true);
    UpdateControls(false);
}

int CTrimmingView::ShownFrameWidth() const
{
    return m_widthEdit->GetInt();
}

int CTrimmingView::ShownFrameHeight() const
{
    return m_heightEdit->GetInt();
}

void CTrimmingView::ShowOutputPixels(int width, int height)
{
    const int dpi = Doc().GetTrimRecord().SizeDPI;
    SetEditIntQuiet(width, *m_pixelWidthEdit);
    SetEditIntQuiet(height, *m_pixelHeightEdit);
    SetEditRealQuiet(MMFromPixels(width, dpi), *m_mmWidthEdit);
    SetEditRealQuiet(MMFromPixels(height, dpi), *m_mmHeightEdit);
}

void CTrimmingView::ShowFrameSize(const FrameSize& size)
{
    SetEditIntQuiet(size.width, *m_widthEdit);
    SetEditIntQuiet(size.height, *m_heightEdit);
    ShowOutputPixels(size.width, size.height);
}

void CTrimmingView::ShowFrameEdits(const CRect& frame, bool withOutput)
{
    SetEditIntQuiet(frame.left, *m_leftEdit);
    SetEditIntQuiet(frame.top, *m_topEdit);
    SetEditIntQuiet(frame.Width(), *m_widthEdit);
    SetEditIntQuiet(frame.Height(), *m_heightEdit);
    if (withOutput)
        ShowOutputPixels(frame.Width(), frame.Height());
}

// ---- Control notifications -------------------------------------------------------

void CTrimmingView::OnNotify(int message, int code, qint64 value)
{
    // The panel's own writes into its controls are not changes.
    if (IsUpdating())
        return;
    switch (message)
    {
    case UWM_TRIMMING_LEFT_EDIT:
    case UWM_TRIMMING_TOP_EDIT:
    case UWM_TRIMMING_WIDTH_EDIT:
    case UWM_TRIMMING_HEIGHT_EDIT:
    case UWM_TRIMMING_CTRL_404:
    case UWM_TRIMMING_CTRL_405:
    case UWM_TRIMMING_CTRL_406:
    case UWM_TRIMMING_CTRL_407:
    case UWM_TRIMMING_CTRL_408:
        OnEditChanged(message);
        break;
    case kIdLeftUpDown:
    case kIdTopUpDown:
    case kIdWidthUpDown:
    case kIdHeightUpDown:
    case kIdPixelWidthUpDown:
    case kIdPixelHeightUpDown:
    case kIdMMWidthUpDown:
    case kIdMMHeightUpDown:
    case kIdDPIUpDown:
        OnUpDown(message, code, static_cast<int>(value));
        break;
    default:
        break;
    }
}

void CTrimmingView::OnEditChanged(int message)
{
    CTrimmingDoc& doc = Doc();
    const TrimmingRecord& r = doc.GetTrimRecord();
    SaveUndoState(doc);
    const bool fix = r.SizeRatioFix != 0;
    switch (message)
    {
    case UWM_TRIMMING_LEFT_EDIT:
        SetEditIntQuiet(std::clamp(m_leftEdit->GetInt(), 0, std::max(r.OrgWidth - r.TrmWidth, 0)),
                        *m_leftEdit);
        break;
    case UWM_TRIMMING_TOP_EDIT:
        SetEditIntQuiet(std::clamp(m_topEdit->GetInt(), 0, std::max(r.OrgHeight - r.TrmHeight, 0)),
                        *m_topEdit);
        break;
    case UWM_TRIMMING_WIDTH_EDIT:
        ShowFrameSize(
            FitFrameWidth(Rules(), m_widthEdit->GetInt(), r.TrmPosX, r.TrmPosY, r.TrmHeight));
        break;
    case UWM_TRIMMING_HEIGHT_EDIT:
        ShowFrameSize(
            FitFrameHeight(Rules(), m_heightEdit->GetInt(), r.TrmPosX, r.TrmPosY, r.TrmWidth));
        break;
    case UWM_TRIMMING_CTRL_404:
        if (fix)
        {
            const FrameSize size = OutputForPixelWidth(
                m_pixelWidthEdit->GetInt(), m_pixelHeightEdit->GetInt(), ShownFrameWidth(),
                ShownFrameHeight(), OutputLimitsOf(r.OrgHeight));
            SetEditIntQuiet(size.width, *m_pixelWidthEdit);
            SetEditIntQuiet(size.height, *m_pixelHeightEdit);
        }
        break;
    case UWM_TRIMMING_CTRL_405:
        if (fix)
        {
            const FrameSize size = OutputForPixelHeight(
                m_pixelWidthEdit->GetInt(), m_pixelHeightEdit->GetInt(), ShownFrameWidth(),
                ShownFrameHeight(), OutputLimitsOf(r.OrgWidth));
            SetEditIntQuiet(size.width, *m_pixelWidthEdit);
            SetEditIntQuiet(size.height, *m_pixelHeightEdit);
        }
        break;
    case UWM_TRIMMING_CTRL_406:
        if (fix)
        {
            const SizeMM size = OutputForMMWidth(
                m_mmWidthEdit->GetDouble(), m_mmHeightEdit->GetDouble(), ShownFrameWidth(),
                ShownFrameHeight(), OutputLimitsMMOf(r.OrgHeight, r.SizeDPI));
            SetEditRealQuiet(size.width, *m_mmWidthEdit);
            SetEditRealQuiet(size.height, *m_mmHeightEdit);
        }
        break;
    case UWM_TRIMMING_CTRL_407:
        if (fix)
        {
            const SizeMM size = OutputForMMHeight(
                m_mmWidthEdit->GetDouble(), m_mmHeightEdit->GetDouble(), ShownFrameWidth(),
                ShownFrameHeight(), OutputLimitsMMOf(r.OrgWidth, r.SizeDPI));
            SetEditRealQuiet(size.width, *m_mmWidthEdit);
            SetEditRealQuiet(size.height, *m_mmHeightEdit);
        }
        break;
    default: // the resolution: taken as it is
        break;
    }
    TakeControls();
    // The output size does not show on the preview.
    if (message <= UWM_TRIMMING_HEIGHT_EDIT)
        ApplyDocument();
}

void CTrimmingView::OnUpDown(int id, int code, int position)
{
    CTrimmingDoc& doc = Doc();
    const TrimmingRecord& r = doc.GetTrimRecord();
    if (BeginEdit() == 0)
        SaveUndoState(doc);
    const int p = position;
    const int dpi = r.SizeDPI;
    const bool fix = r.SizeRatioFix != 0;
    bool frameChanged = false;
    switch (id)
    {
    case kIdLeftUpDown:
        SetEditIntQuiet(std::clamp(p, 0, std::max(r.OrgWidth - r.TrmWidth, 0)), *m_leftEdit);
        frameChanged = true;
        break;
    case kIdTopUpDown:
        SetEditIntQuiet(std::clamp(p, 0, std::max(r.OrgHeight - r.TrmHeight, 0)), *m_topEdit);
        frameChanged = true;
        break;
    case kIdWidthUpDown:
        ShowFrameSize(FitFrameWidth(Rules(), p, r.TrmPosX, r.TrmPosY, r.TrmHeight));
        frameChanged = true;
        break;
    case kIdHeightUpDown:
        ShowFrameSize(FitFrameHeight(Rules(), p, r.TrmPosX, r.TrmPosY, r.TrmWidth));
        frameChanged = true;
        break;
    case kIdPixelWidthUpDown:
        if (fix)
        {
            const FrameSize size =
                OutputForPixelWidth(p, m_pixelHeightEdit->GetInt(), ShownFrameWidth(),
                                    ShownFrameHeight(), OutputLimitsOf(r.OrgHeight));
            ShowOutputPixels(size.width, size.height);
        }
        else
        {
            SetEditIntQuiet(p, *m_pixelWidthEdit);
            SetEditRealQuiet(MMFromPixels(p, dpi), *m_mmWidthEdit);
        }
        break;
    case kIdPixelHeightUpDown:
        if (fix)
        {
            const FrameSize size =
                OutputForPixelHeight(m_pixelWidthEdit->GetInt(), p, ShownFrameWidth(),
                                     ShownFrameHeight(), OutputLimitsOf(r.OrgWidth));
            ShowOutputPixels(size.width, size.height);
        }
        else
        {
            SetEditIntQuiet(p, *m_pixelHeightEdit);
            SetEditRealQuiet(MMFromPixels(p, dpi), *m_mmHeightEdit);
        }
        break;
    case kIdMMWidthUpDown:
    case kIdMMHeightUpDown:
    {
        const bool width = id == kIdMMWidthUpDown;
        SizeMM size{m_mmWidthEdit->GetDouble(), m_mmHeightEdit->GetDouble()};
        (width ? size.width : size.height) = p;
        if (fix)
            size = width ? OutputForMMWidth(size.width, size.height, ShownFrameWidth(),
                                            ShownFrameHeight(), OutputLimitsMMOf(r.OrgHeight, dpi))
                         : OutputForMMHeight(size.width, size.height, ShownFrameWidth(),
                                             ShownFrameHeight(), OutputLimitsMMOf(r.OrgWidth, dpi));
        if (fix || width)
        {
            SetEditRealQuiet(size.width, *m_mmWidthEdit);
            SetEditIntQuiet(PixelsFromMM(size.width, dpi), *m_pixelWidthEdit);
        }
        if (fix || !width)
        {
            SetEditRealQuiet(size.height, *m_mmHeightEdit);
            SetEditIntQuiet(PixelsFromMM(size.height, dpi), *m_pixelHeightEdit);
        }
        break;
    }
    case kIdDPIUpDown:
    {
        SetEditIntQuiet(p, *m_dpiEdit);
        const OutputLimitsMM widthLimits = OutputLimitsMMOf(r.OrgWidth, p);
        const OutputLimitsMM heightLimits = OutputLimitsMMOf(r.OrgHeight, p);
        m_mmWidthEdit->RealMin = widthLimits.minimum;
        m_mmWidthEdit->RealMax = widthLimits.maximum;
        m_mmHeightEdit->RealMin = heightLimits.minimum;
        m_mmHeightEdit->RealMax = heightLimits.maximum;
        // The same output pixels at the new resolution, in whole hundredths.
        SetEditRealQuiet(MM100FromPixels(r.SizePixelWidth, p) / 100.0, *m_mmWidthEdit);
        SetEditRealQuiet(MM100FromPixels(r.SizePixelHeight, p) / 100.0, *m_mmHeightEdit);
        break;
    }
    default:
        return;
    }
    // The frame's arrows show each step on the preview; the output's arrows
    // change only their edits until they are let go.
    if (frameChanged)
    {
        TakeControls();
        ApplyDocument();
    }
    if (code == CUpDown::kEndScroll)
    {
        TakeControls();
        EndEdit();
        ApplyDocument();
    }
}

void CTrimmingView::OnRatioTypeChanged()
{
    if (IsUpdating())
        return;
    CTrimmingDoc& doc = Doc();
    SaveUndoState(doc);
    UpdateControls(true);
    TrimmingRecord& r = doc.GetTrimRecord();
    const CRect frame = FrameForRatioType(RulesOfType(r.TrmRatioType), r.TrmRatioType, DocFrame());
    r.TrmPosX = frame.left;
    r.TrmPosY = frame.top;
    r.TrmWidth = frame.Width();
    r.TrmHeight = frame.Height();
    r.SizePixelWidth = frame.Width();
    r.SizePixelHeight = frame.Height();
    r.SizeMMWidth100 = MM100FromPixels(frame.Width(), r.SizeDPI);
    r.SizeMMHeight100 = MM100FromPixels(frame.Height(), r.SizeDPI);
    UpdateControls(false);
    ApplyDocument();
}

void CTrimmingView::OnCustomRatio()
{
    const int type = Doc().GetTrimRecord().TrmRatioType;
    if (type < kFirstCustomType || type >= kFirstCustomType + kCustomRatioCount)
        return;
    Ratio& ratio = m_customRatios[static_cast<std::size_t>(type - kFirstCustomType)];
    CHVRatioDlg dialog(this);
    dialog.m_strName = RatioTypeText(type);
    dialog.m_nWidth = ratio.width;
    dialog.m_nHeight = ratio.height;
    if (dialog.exec() != kDialogOk)
        return;
    ratio = {dialog.m_nWidth, dialog.m_nHeight};
    OnRatioTypeChanged();
    // Undo would bring back a frame of the ratio that is gone.
    DropUndoRedo();
    NotifyChanged();
}

void CTrimmingView::OnSizeMode()
{
    if (IsUpdating())
        return;
    SaveUndoState(Doc());
    TakeControls();
}

void CTrimmingView::OnRatioFix()
{
    if (IsUpdating())
        return;
    SaveUndoState(Doc());
    if (m_ratioFixCheck->isChecked())
    {
        const TrimmingRecord& r = Doc().GetTrimRecord();
        ShowOutputPixels(r.TrmWidth, r.TrmHeight);
    }
    TakeControls();
}

void CTrimmingView::OnReset()
{
    CTrimmingDoc& doc = Doc();
    SaveUndoState(doc);
    doc.Reset();
    FitToImage(true);
    UpdateControls(false);
    ApplyDocument();
}

// ---- The trim frame on the preview ------------------------------------------------

bool CTrimmingView::HitTest(const CPoint& imagePoint, int scale)
{
    m_hitPart = TrimPart::None;
    m_anchor = CPoint{-1, -1};
    const CProjectManage* project = GetProject();
    if (project == nullptr || project->GetCompareMode() != kCompareAfter)
        return false;
    const TrimmingRecord& r = Doc().GetTrimRecord();
    const CRect frame = DocFrame();
    m_hitPart = HitTrimPart(frame, r.OrgWidth, r.OrgHeight, r.TrmRatioType, imagePoint, scale);
    m_anchor = imagePoint;
    m_startFrame = m_hitPart == TrimPart::NewFrame
                       ? CRect(imagePoint.x, imagePoint.y, imagePoint.x, imagePoint.y)
                       : frame;
    return m_hitPart != TrimPart::None;
}

void CTrimmingView::BeginDrag(const CPoint& imagePoint, const CRect& /*screen*/,
                              const CRect& /*image*/)
{
    SaveUndoState(Doc());
    m_dragging = 1;
    const FrameRules rules = Rules();
    const CRect frame = NewTrimFrame(rules, m_hitPart, m_startFrame, m_anchor, imagePoint);
    m_feedback = rules.IsValid(frame) ? frame : m_startFrame;
}

void CTrimmingView::Drag(const CPoint& imagePoint, const CRect& /*screen*/, const CRect& /*image*/)
{
    if (!IsDragging())
        return;
    const FrameRules rules = Rules();
    const CRect frame = NewTrimFrame(rules, m_hitPart, m_startFrame, m_anchor, imagePoint);
    // A frame the rules refuse is not taken: the last valid one stays.
    if (!rules.IsValid(frame))
        return;
    m_feedback = frame;
    ShowFrameEdits(frame, m_hitPart != TrimPart::Move);
}

void CTrimmingView::EndDrag(const CPoint& imagePoint)
{
    if (IsDragging())
    {
        // (-1, -1): the view has no image point for the release; the frame
        // last shown is taken.
        if (!(imagePoint == CPoint{-1, -1}))
            Drag(imagePoint, CRect(), CRect());
        TakeControls();
        ApplyDocument();
    }
    m_dragging = 0;
    m_hitPart = TrimPart::None;
    m_anchor = CPoint{-1, -1};
    m_startFrame = CRect();
    m_feedback = CRect();
}

int CTrimmingView::GetCursorId() const
{
    return CursorOfPart(m_hitPart);
}

void CTrimmingView::Draw(QPainter& painter, const CRect& screen, const CRect& image) const
{
    const CProjectManage* project = GetProject();
    if (project == nullptr || project->GetCompareMode() != kCompareAfter || image.IsRectEmpty())
        return;
    PainterStateGuard guard(painter);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipRect(ToQRect(screen));
    const TrimmingRecord& r = static_cast<const CTrimmingDoc&>(*m_document).GetTrimRecord();
    // A free frame on the whole image trims nothing: it is not shown.
    const bool wholeFree =
        r.TrmRatioType == kFreeType && r.TrmWidth == r.OrgWidth && r.TrmHeight == r.OrgHeight;
    if (!wholeFree)
        DrawFrame(painter, DocFrame(), screen, image, false);
    if (IsDragging())
        DrawFrame(painter, m_feedback, screen, image, true);
}

void CTrimmingView::DrawFrame(QPainter& painter, const CRect& frame, const CRect& screen,
                              const CRect& image, bool feedback) const
{
    QPoint topLeft;
    QPoint bottomRight;
    QPoint centre;
    if (!ImagePointToScreen(screen, image, CPoint{frame.left, frame.top}, topLeft) ||
        !ImagePointToScreen(screen, image, CPoint{frame.right, frame.bottom}, bottomRight) ||
        !ImagePointToScreen(screen, image,
                            CPoint{frame.left + frame.Width() / 2, frame.top + frame.Height() / 2},
                            centre))
        return;
    const int left = topLeft.x();
    const int top = topLeft.y();
    const int right = bottomRight.x();
    const int bottom = bottomRight.y();

    // Guide lines along the frame's edges across the whole image, and a
    // crosshair at its centre.
    const QPen guide = feedback ? CChartDragItem::FeedbackPen(m_pattern, 1)
                                : QPen(ColorFromRef(kFrameColour), 1, Qt::DotLine);
    painter.setPen(guide);
    painter.setBrush(Qt::NoBrush);
    const int screenRight = screen.right - 1;
    const int screenBottom = screen.bottom - 1;
    painter.drawLine(screen.left, top, screenRight, top);
    painter.drawLine(screen.left, bottom, screenRight, bottom);
    painter.drawLine(left, screen.top, left, screenBottom);
    painter.drawLine(right, screen.top, right, screenBottom);
    painter.drawLine(centre.x() - kCrosshairArm, centre.y(), centre.x() + kCrosshairArm,
                     centre.y());
    painter.drawLine(centre.x(), centre.y() - kCrosshairArm, centre.x(),
                     centre.y() + kCrosshairArm);

    // The handles at the corners and the edge centres: solid white squares
    // on black, hollow in the drag's pen while dragging.
    if (feedback)
    {
        painter.setPen(CChartDragItem::FeedbackPen(m_pattern, 1));
        painter.setBrush(Qt::NoBrush);
    }
    else
    {
        painter.setPen(QPen(ColorFromRef(kFrameColour), 1, Qt::SolidLine));
        painter.setBrush(ColorFromRef(kHandleFill));
    }
    const int midX = centre.x();
    const int midY = centre.y();
    const QPoint handles[] = {{left, top},  {right, top}, {left, bottom}, {right, bottom},
                              {left, midY}, {midX, top},  {right, midY},  {midX, bottom}};
    for (const QPoint& h : handles)
        painter.drawRect(
            QRect(h.x() - kHandleHalf, h.y() - kHandleHalf, 2 * kHandleHalf, 2 * kHandleHalf));
}
