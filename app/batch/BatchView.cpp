#include "app/batch/BatchView.h"

#include "app/shell/ProgressAdapters.h"
#include "controls/dialogs/BrowseDir.h"
#include "controls/dialogs/DialogCodes.h"
#include "controls/dialogs/OptionJpegDlg.h"
#include "controls/support/StringTable.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/UpDown.h"
#include "core/IniFile.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"
#include "correction/ProjectManage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The form's height: below it the pane scrolls, above it the back button
// keeps to the bottom edge.
constexpr int kFormHeight = 490;

// Combo 1038, in BatchCorrection order.
const char* const kCorrectionTexts[kBatchCorrectionCount] = {
    "画像毎の補正パラメータで補正",
    "現在の補正パラメータで補正",
    "指定の補正パラメータで補正",
};

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

template <class W> W* Named(W* widget, int id)
{
    widget->setObjectName(QString::number(id));
    // The tip of a control is the string-table text of its number (none
    // is there today, so no tip shows).
    widget->setToolTip(LoadString(id));
    return widget;
}

} // namespace

CBatchView::CBatchView(QWidget* parent) : QWidget(parent), CViewCommon(this)
{
    m_settings.saveFolder = GetPicturesFolder();
    LoadSettings(GetIniFilePath());

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* form = new QWidget(scroll);
    form->setMinimumHeight(kFormHeight);
    scroll->setWidget(form);
    outer->addWidget(scroll);

    m_countEdit = Named(new QLineEdit(form), 1033);
    m_countEdit->setReadOnly(true);
    m_countEdit->setAlignment(Qt::AlignRight);
    m_countEdit->setMaximumWidth(60);
    m_folderEdit = Named(new QLineEdit(form), 1034);
    m_folderEdit->setReadOnly(true);
    m_folderButton = Named(new QPushButton(QStringLiteral("..."), form), 1035);
    m_formatCombo = Named(new QComboBox(form), 1036);
    // The format list is JPEG alone: every run saves JPEG files.
    m_formatCombo->addItem(QStringLiteral("JPEG"));
    m_formatCombo->setCurrentIndex(0);
    m_optionsButton = Named(new QPushButton(QStringLiteral("オプション..."), form), 1037);
    m_modeCombo = Named(new QComboBox(form), 1038);
    for (const char* text : kCorrectionTexts)
        m_modeCombo->addItem(QString::fromUtf8(text));
    m_paramEdit = Named(new QLineEdit(form), 1039);
    m_paramEdit->setReadOnly(true);
    m_paramButton = Named(new QPushButton(QStringLiteral("..."), form), 1210);
    m_runButton = Named(new QPushButton(QStringLiteral("実行"), form), 1032);
    m_sizeCheck =
        Named(new QCheckBox(QStringLiteral("画像のサイズ（ピクセル数）を揃える"), form), 1298);
    m_sizeLabel =
        Named(new QLabel(QStringLiteral("縦横比を保って幅と高さの枠に縮小します"), form), 1299);
    m_sizeLabel->setWordWrap(true);
    m_widthLabel = Named(new QLabel(QStringLiteral("幅"), form), 1300);
    m_heightLabel = Named(new QLabel(QStringLiteral("高さ"), form), 1301);
    m_widthEdit = Named(new CEditEx(form), 1302);
    m_heightEdit = Named(new CEditEx(form), 1303);
    m_widthSpin = Named(new CUpDown(Qt::Vertical, form), 1304);
    m_heightSpin = Named(new CUpDown(Qt::Vertical, form), 1305);
    m_backButton = Named(new QPushButton(QStringLiteral("戻る"), form), 1209);
    for (QPushButton* browse : {m_folderButton, m_paramButton})
        browse->setFixedWidth(32);

    const struct
    {
        CEditEx* edit;
        CUpDown* spin;
        int editMessage;
        int spinMessage;
    } sizes[] = {
        {m_widthEdit, m_widthSpin, UWM_BATCH_WIDTH_EDIT, UWM_BATCH_WIDTH_SPIN},
        {m_heightEdit, m_heightSpin, UWM_BATCH_HEIGHT_EDIT, UWM_BATCH_HEIGHT_SPIN},
    };
    for (const auto& size : sizes)
    {
        size.edit->Mode = EditMode::Integer;
        size.edit->IntMin = kBatchMinSize;
        size.edit->IntMax = kBatchMaxSize;
        size.edit->setAlignment(Qt::AlignRight);
        size.edit->setMaximumWidth(70);
        size.edit->setNotifyMessage(size.editMessage);
        connect(size.edit, &CEditEx::notify, this, &CBatchView::onControlNotify);
        size.spin->SetRange(kBatchMinSize, kBatchMaxSize);
        size.spin->setNotifyMessage(size.spinMessage);
        connect(size.spin, &CUpDown::notify, this, &CBatchView::onControlNotify);
    }

    // ---- Layout: the options top down, the run button after them, the
    // back button on the bottom edge.
    auto* layout = new QVBoxLayout(form);
    const auto caption = [form](const char* text) {
        return new QLabel(QString::fromUtf8(text), form);
    };

    auto* countRow = new QHBoxLayout;
    countRow->addWidget(caption("対象ファイル数"));
    countRow->addWidget(m_countEdit);
    countRow->addStretch(1);
    layout->addLayout(countRow);

    layout->addWidget(caption("保存先フォルダ"));
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folderEdit, 1);
    folderRow->addWidget(m_folderButton);
    layout->addLayout(folderRow);

    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(caption("ファイル形式"));
    formatRow->addWidget(m_formatCombo, 1);
    formatRow->addWidget(m_optionsButton);
    layout->addLayout(formatRow);

    layout->addWidget(caption("補正方法"));
    layout->addWidget(m_modeCombo);
    layout->addWidget(caption("補正パラメータファイル"));
    auto* paramRow = new QHBoxLayout;
    paramRow->addWidget(m_paramEdit, 1);
    paramRow->addWidget(m_paramButton);
    layout->addLayout(paramRow);

    layout->addWidget(m_sizeCheck);
    auto* sizeGrid = new QGridLayout;
    sizeGrid->setContentsMargins(20, 0, 0, 0);
    sizeGrid->addWidget(m_sizeLabel, 0, 0, 1, 4);
    sizeGrid->addWidget(m_widthLabel, 1, 0);
    sizeGrid->addWidget(m_widthEdit, 1, 1);
    sizeGrid->addWidget(m_widthSpin, 1, 2);
    sizeGrid->addWidget(m_heightLabel, 2, 0);
    sizeGrid->addWidget(m_heightEdit, 2, 1);
    sizeGrid->addWidget(m_heightSpin, 2, 2);
    sizeGrid->setColumnStretch(3, 1);
    layout->addLayout(sizeGrid);

    auto* runRow = new QHBoxLayout;
    runRow->addStretch(1);
    runRow->addWidget(m_runButton);
    layout->addLayout(runRow);
    layout->addStretch(1);
    auto* backRow = new QHBoxLayout;
    backRow->addStretch(1);
    backRow->addWidget(m_backButton);
    layout->addLayout(backRow);

    // ---- Commands. Combos and the check box report the user's changes
    // only (activated, clicked), not the values the panel writes.
    connect(m_optionsButton, &QPushButton::clicked, this, [this] { EditJpegOptions(); });
    connect(m_folderButton, &QPushButton::clicked, this, [this] { ChooseSaveFolder(); });
    connect(m_runButton, &QPushButton::clicked, this, [this] { RunBatch(); });
    connect(m_backButton, &QPushButton::clicked, this, [this] { NotifyOk(); });
    connect(m_paramButton, &QPushButton::clicked, this, [this] { ChooseParameterFile(); });
    connect(m_sizeCheck, &QCheckBox::clicked, this, [this] { Exchange(); });
    connect(m_formatCombo, &QComboBox::activated, this, [this] { Exchange(); });
    connect(m_modeCombo, &QComboBox::activated, this, [this] { Exchange(); });

    SetDataValid();
    UpdateControls(false);
}

CBatchView::~CBatchView()
{
    // The controls go after this body, and an edit that loses the focus
    // then still validates and reports: nothing may reach the panel now.
    for (CEditEx* edit : {m_widthEdit, m_heightEdit})
        edit->setNotifyMessage(0);
    for (CUpDown* spin : {m_widthSpin, m_heightSpin})
        spin->setNotifyMessage(0);
}

// ---- Settings

void CBatchView::LoadSettings(const std::string& iniPath)
{
    const CIniFile ini(iniPath);
    LoadBatchSettings(ini, GetPicturesFolder(), m_settings);
}

// ---- Data exchange

bool CBatchView::readControls()
{
    m_settings.width = m_widthEdit->GetInt();
    m_settings.height = m_heightEdit->GetInt();
    m_settings.calibMode = std::max(0, m_modeCombo->currentIndex());
    m_settings.resize = m_sizeCheck->isChecked() ? 1 : 0;
    return true;
}

void CBatchView::writeControls()
{
    CProjectManage* project = GetProject();
    m_targetCount = project != nullptr ? static_cast<int>(project->GetCheckedCount()) : 0;

    const BatchControlStates states =
        GetBatchControlStates(m_settings, static_cast<std::size_t>(m_targetCount));
    m_optionsButton->setEnabled(states.options);
    m_runButton->setEnabled(states.run);
    m_paramEdit->setEnabled(states.paramFile);
    m_paramButton->setEnabled(states.paramFile);
    m_paramEdit->setText(Text(GetFileNameFromPath(m_settings.paramFile)));

    SetEditIntQuiet(m_settings.width, *m_widthEdit);
    SetEditIntQuiet(m_settings.height, *m_heightEdit);
    m_widthSpin->SetPos(m_settings.width);
    m_heightSpin->SetPos(m_settings.height);

    m_sizeCheck->setEnabled(states.sizeCheck);
    m_sizeLabel->setEnabled(states.sizeCheck);
    for (QWidget* control :
         {static_cast<QWidget*>(m_widthLabel), static_cast<QWidget*>(m_heightLabel),
          static_cast<QWidget*>(m_widthEdit), static_cast<QWidget*>(m_heightEdit),
          static_cast<QWidget*>(m_widthSpin), static_cast<QWidget*>(m_heightSpin)})
        control->setEnabled(states.sizeFields);

    m_countEdit->setText(QString::number(m_targetCount));
    m_folderEdit->setText(Text(m_settings.saveFolder));
    m_modeCombo->setCurrentIndex(m_settings.calibMode);
    m_sizeCheck->setChecked(m_settings.resize != 0);
}

void CBatchView::Exchange()
{
    UpdateControls(true);
    UpdateControls(false);
}

void CBatchView::onControlNotify(int message, int code, qint64 value)
{
    switch (message)
    {
    case UWM_BATCH_WIDTH_EDIT:
    case UWM_BATCH_HEIGHT_EDIT:
        Exchange();
        break;
    case UWM_BATCH_WIDTH_SPIN:
    case UWM_BATCH_HEIGHT_SPIN:
        // The arrows step the edit beside them; the value is taken over
        // when the arrow is let go.
        SetEditIntQuiet(static_cast<int>(value),
                        message == UWM_BATCH_WIDTH_SPIN ? *m_widthEdit : *m_heightEdit);
        if (code == CUpDown::kEndScroll)
            Exchange();
        break;
    default:
        break;
    }
}

// The window system's own hiding (a minimised window) changes nothing.
void CBatchView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        SyncData(true);
}

void CBatchView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        SyncData(false);
}

// ---- CViewCommon

void CBatchView::OnEnterStep()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    CSetupCallbackForViewChange progress(project, window(), CProjectManage::kStepCount, false);
    project->ProcessToStep(CProjectManage::kStepCount, project->GetCompareMode(), false);
}

bool CBatchView::ImportParameters(const std::string& path)
{
    UpdateControls(true);
    m_settings.calibMode = static_cast<int>(BatchCorrection::ParameterFile);
    m_settings.paramFile = path;
    UpdateControls(false);
    return true;
}

// ---- Commands

void CBatchView::EditJpegOptions()
{
    COptionJpegDlg dialog(this);
    dialog.m_nQuality = m_settings.jpegQuality;
    if (dialog.exec() == kDialogOk)
        m_settings.jpegQuality = dialog.m_nQuality;
}

void CBatchView::ChooseSaveFolder()
{
    CBrowseDir browse(this);
    browse.SetInitialFolder(Text(m_settings.saveFolder));
    if (!browse.Browse())
        return;
    const std::string path = browse.GetFolderPath().toStdString();
    if (!IsSaveFolderPathAccepted(path))
    {
        ShowMessage(kStrFolderPathTooLong, {}, MessageButtons::Ok, MessageIcon::Error);
        return;
    }
    m_settings.saveFolder = AddBackslash(path);
    UpdateControls(false);
}

void CBatchView::ChooseParameterFile()
{
    const std::optional<std::string> path = CViewCommon::ChooseParameterFile(m_settings.paramFile);
    if (!path)
        return;
    UpdateControls(true);
    m_settings.paramFile = *path;
    UpdateControls(false);
}

void CBatchView::RunBatch()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    const BatchRunRefusal refusal = CheckBatchRun(m_settings);
    if (refusal == BatchRunRefusal::ParamFileMissing)
    {
        // The path goes under the text, after a blank line.
        ShowMessage(kStrParamFileNotFound, {m_settings.paramFile}, MessageButtons::Ok,
                    MessageIcon::Error);
        return;
    }
    project->SetOutputOption(m_settings.jpegQuality);
    if (refusal == BatchRunRefusal::SaveFolderMissing)
    {
        ShowMessage(kStrSaveFolderMissing, {}, MessageButtons::Ok, MessageIcon::Error);
        return;
    }
    project->SetOutputFolder(m_settings.saveFolder);
    project->SetOutputFormat(m_settings.fileFormat);

    QWidget* mainWindow = window();
    CSetupCallbackForBatch progress(project, mainWindow, mainWindow->frameGeometry());
    project->BeginBatch();
    project->RunBatch(BatchProjectMode(m_settings.calibMode), m_settings.paramFile,
                      m_settings.resize != 0, ClampBatchSize(m_settings.width),
                      ClampBatchSize(m_settings.height));
    project->EndBatch();
}
