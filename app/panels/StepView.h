#pragma once
// CStepView: what the seven step panels share. Each panel edits a working
// copy of one of the project's step documents and shows it live on the
// preview:
//   - entering: the project processes its image up to the step (with the
//     view-change progress), the project's document is copied into the
//     panel's, and the project previews the panel's document (or a default
//     one while the panel's preview is off);
//   - every change: the panel edit pattern of CViewCommon, ending in
//     ApplyDocument, which hands the document to the project's preview
//     while the preview is on;
//   - leaving: the preview document goes, the image view rebuilds its
//     tiles, and OK commits the panel's document into the project.
// The common buttons (reset 1037, load 1041, preview 1040, OK 1209, Cancel
// 1210) are made here with the design's IDs as object names and wired to
// the CViewCommon operations; a panel lays them out where its form puts
// them and adds its own controls around them.
//
// A panel's own maths (value <-> position mappings and the like) belong in
// a Qt-free *Logic.h beside it, tested with tables.

#include "app/panels/StepPanel.h"
#include "app/panels/ViewCommon.h"

#include <QWidget>

#include <memory>

class CBaseDoc;
class QCheckBox;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

// Object names of the common buttons.
inline constexpr int kIdResetButton = 1037;
inline constexpr int kIdPreviewCheck = 1040;
inline constexpr int kIdImportButton = 1041;
inline constexpr int kIdOkButton = 1209;
inline constexpr int kIdCancelButton = 1210;

class CStepView : public QWidget, public CViewCommon, public IColorPickTarget
{
    Q_OBJECT
public:
    // step: the project's step index (0 development .. 6 filter); the
    // document slot is step + 1. document: the panel's working copy.
    CStepView(int step, std::unique_ptr<CBaseDoc> document, QWidget* parent = nullptr);
    ~CStepView() override;

    // ---- CViewCommon
    CBaseDoc* GetDocument() override { return m_document.get(); }
    // Processes up to the step, takes the project's document (then
    // OnDocumentReplaced), previews it and refreshes the controls. A panel
    // that needs more calls this first (or instead) and adds its own work.
    void OnEnterStep() override;
    void OnLeaveStep(bool commit) override;
    // While the preview is on: the project previews the panel's document.
    void ApplyDocument() override;
    bool GetPreview() const override { return m_preview; }
    void SetPreview(bool on) override;

    int GetStep() const { return m_step; }
    int GetSlot() const { return m_step + 1; }

protected:
    // The document the project previews while the preview is off: a
    // default one of the panel's class.
    std::unique_ptr<CBaseDoc> MakeDefaultDocument() const;
    // Hands the project the panel's document (preview on) or a default one.
    void SetProjectPreviewDoc();
    // The preview check box: controls read, the project previews the
    // panel's document or a default one, the frame is told, controls
    // written back.
    virtual void OnPreviewToggled(bool on);

    // The common buttons, made once, parented to the panel; the panel puts
    // them in its layout (MakeCommonButtonRows gives the usual two rows).
    QPushButton* ResetButton() const { return m_resetButton; }
    QPushButton* ImportButton() const { return m_importButton; }
    QCheckBox* PreviewCheck() const { return m_previewCheck; }
    QPushButton* OkButton() const { return m_okButton; }
    QPushButton* CancelButton() const { return m_cancelButton; }
    // "リセット" "読込..." "プレビュー" on one row, then OK and Cancel at
    // the bottom, appended to the layout.
    void AddCommonButtonRows(QVBoxLayout* layout, bool withPreview = true);
    // The panel's form: a scroll area filling the panel (forms can be
    // taller than the pane); the panel builds its controls into the
    // returned layout.
    QVBoxLayout* MakeFormLayout();

    // Shown: the controls are refreshed from the document (SyncData true);
    // hidden: their values are taken over and undo and redo dropped
    // (SyncData false), so that an undo never reaches back into an earlier
    // visit of the step. The window system's own hiding (a minimised
    // window) changes nothing.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

    std::unique_ptr<CBaseDoc> m_document;
    bool m_preview = true;

private:
    int m_step;
    QPushButton* m_resetButton = nullptr;
    QPushButton* m_importButton = nullptr;
    QCheckBox* m_previewCheck = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QScrollArea* m_scroll = nullptr;
};
