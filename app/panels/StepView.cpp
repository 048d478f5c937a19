#include "app/panels/StepView.h"

#include "app/shell/ProgressAdapters.h"
#include "correction/BaseDoc.h"
#include "correction/ProjectManage.h"
#include "correction/ProjectServices.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QHideEvent>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

CStepView::CStepView(int step, std::unique_ptr<CBaseDoc> document, QWidget* parent)
    : QWidget(parent), CViewCommon(this), m_document(std::move(document)), m_step(step)
{
    m_resetButton = new QPushButton(QStringLiteral("リセット"), this);
    m_resetButton->setObjectName(QString::number(kIdResetButton));
    m_importButton = new QPushButton(QStringLiteral("読込..."), this);
    m_importButton->setObjectName(QString::number(kIdImportButton));
    m_previewCheck = new QCheckBox(QStringLiteral("プレビュー"), this);
    m_previewCheck->setObjectName(QString::number(kIdPreviewCheck));
    m_previewCheck->setChecked(m_preview);
    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(QString::number(kIdOkButton));
    m_cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancelButton->setObjectName(QString::number(kIdCancelButton));

    connect(m_resetButton, &QPushButton::clicked, this, [this] { ResetParameters(); });
    connect(m_importButton, &QPushButton::clicked, this, [this] { ImportParametersDialog(); });
    // clicked, not toggled: a check the panel writes is not a user change.
    connect(m_previewCheck, &QCheckBox::clicked, this, [this](bool on) { OnPreviewToggled(on); });
    connect(m_okButton, &QPushButton::clicked, this, [this] { NotifyOk(); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { NotifyCancel(); });
}

CStepView::~CStepView() = default;

std::unique_ptr<CBaseDoc> CStepView::MakeDefaultDocument() const
{
    std::unique_ptr<CBaseDoc> fresh = m_document->Clone();
    fresh->Reset();
    return fresh;
}

void CStepView::SetProjectPreviewDoc()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    if (m_preview)
    {
        project->SetPreviewDoc(m_document.get());
        return;
    }
    const std::unique_ptr<CBaseDoc> fresh = MakeDefaultDocument();
    project->SetPreviewDoc(fresh.get());
}

void CStepView::OnEnterStep()
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    {
        CSetupCallbackForViewChange progress(project, window(), m_step, false);
        project->ProcessToStep(m_step, project->GetCompareMode(), false);
    }
    if (const CBaseDoc* current = project->GetDoc(GetSlot()))
        m_document->Assign(*current);
    OnDocumentReplaced();
    SetProjectPreviewDoc();
    SyncData(true);
}

void CStepView::OnLeaveStep(bool commit)
{
    CProjectManage* project = GetProject();
    if (project == nullptr)
        return;
    project->DeletePreviewDoc();
    if (IProjectImageView* view = project->GetImageView())
        view->RebuildTiles();
    if (commit)
        project->CommitDoc(GetSlot(), *m_document);
}

void CStepView::ApplyDocument()
{
    if (m_preview && GetProject() != nullptr)
        GetProject()->SetPreviewDoc(m_document.get());
}

void CStepView::SetPreview(bool on)
{
    m_preview = on;
    const QSignalBlocker quiet(m_previewCheck);
    m_previewCheck->setChecked(on);
}

void CStepView::OnPreviewToggled(bool on)
{
    UpdateControls(true);
    m_preview = on;
    SetProjectPreviewDoc();
    NotifyPreview(on);
    UpdateControls(false);
}

void CStepView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        SyncData(true);
}

void CStepView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        SyncData(false);
}

void CStepView::AddCommonButtonRows(QVBoxLayout* layout, bool withPreview)
{
    auto* row = new QHBoxLayout;
    row->addWidget(m_resetButton);
    row->addWidget(m_importButton);
    row->addStretch(1);
    row->addWidget(m_previewCheck);
    m_previewCheck->setVisible(withPreview);
    layout->addLayout(row);
    layout->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(m_okButton);
    bottom->addWidget(m_cancelButton);
    layout->addLayout(bottom);
}

QVBoxLayout* CStepView::MakeFormLayout()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    auto* form = new QWidget(m_scroll);
    m_scroll->setWidget(form);
    outer->addWidget(m_scroll);
    auto* layout = new QVBoxLayout(form);
    // The buttons were made on the panel; the form holds them from now on.
    for (QWidget* button : {static_cast<QWidget*>(m_resetButton), static_cast<QWidget*>(m_importButton),
                            static_cast<QWidget*>(m_previewCheck), static_cast<QWidget*>(m_okButton),
                            static_cast<QWidget*>(m_cancelButton)})
        button->setParent(form);
    return layout;
}
