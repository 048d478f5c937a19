#pragma once
// CViewCommon: what every panel of the main window's right pane shares, and
// the one interface through which the main frame drives a panel (attach the
// project, enter and leave a step, undo and redo, preview, settings,
// parameter import) and through which the panel tells the frame what
// happened.
//
// A panel is a QWidget that also derives from CViewCommon and hands itself
// to the constructor as the owner. The frame connects the panel's
// Notifier() to one slot and dispatches on the message number, which is
// WM_USER plus the panel's stack index (the UWM_..._NOTIFY constants).
// Notifications are synchronous: the frame has handled one when the notify
// call returns (for OK and Cancel that includes leaving this very panel).
//
// Undo keeps one level: the undo document is the panel's document as it
// was before the last change, the redo document the one before the last
// undo; at most one of the two is held. An edit that runs over several
// control notifications (a drag) saves its undo state once, on its first
// change:
//     if (BeginEdit() == 0) SaveUndoState(*GetDocument());
//     ... controls into the document, document back into the controls
//         under the update guard, ApplyDocument() ...
//     on the end of the drag: EndEdit();

#include "controls/support/NotifyMessage.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class CBaseDoc;
class CBaseDragItem;
class CProjectManage;
class CEditEx;
class QWidget;

// The panels' notification messages: WM_USER + stack index.
inline constexpr int UWM_FILEVIEW_NOTIFY = 0x400;
inline constexpr int UWM_DNGPARAMVIEW_NOTIFY = 0x401;
inline constexpr int UWM_CHARTVIEW_NOTIFY = 0x402;
inline constexpr int UWM_TRIMMINGVIEW_NOTIFY = 0x403;
inline constexpr int UWM_GRAYCALIBVIEW_NOTIFY = 0x404;
inline constexpr int UWM_COLORCALIBVIEW_NOTIFY = 0x405;
inline constexpr int UWM_COLORCHANGEVIEW_NOTIFY = 0x406;
inline constexpr int UWM_FILTERVIEW_NOTIFY = 0x407;
inline constexpr int UWM_BATCHVIEW_NOTIFY = 0x408;

// The codes a panel sends with its message.
enum class PanelNotify : int
{
    ZoomChanged = 0, // file-list panel only
    Refresh = 1,
    PreviewOn = 2,
    PreviewOff = 3,
    Changed = 4,
    Ok = 5,
    Cancel = 6,
    CompareOn = 7,
    CompareOff = 8,
};

// Strings of the parameter import.
inline constexpr int kStrParamFileExtension = 2002; // "qzp"
inline constexpr int kStrParamFileFilter = 2003;    // "補正パラメータファイル(*.qzp)|*.qzp||"
inline constexpr int kStrParamFileNotFound = 1015;  // the parameter file cannot be read

// Clears a flag on every way out of a scope (return, exception). The owner
// sets the flag to 1 and then puts the guard on it.
class CStFlag
{
public:
    explicit CStFlag(int& flag) : m_flag(&flag) {}
    virtual ~CStFlag() { *m_flag = 0; }
    CStFlag(const CStFlag&) = delete;
    CStFlag& operator=(const CStFlag&) = delete;

private:
    int* m_flag;
};

// Carries a panel's notifications: notify(message, code, 0), emitted only
// while the message number is not 0.
class CViewNotifier : public QObject, public NotifyMessageSupport<CViewNotifier>
{
    Q_OBJECT
    friend class NotifyMessageSupport<CViewNotifier>;
    friend class CViewCommon;

signals:
    void notify(int message, int code, qint64 value);
};

class CViewCommon
{
public:
    // The file chooser of ImportParametersDialog: (initial folder, initial
    // file name, filter) -> the chosen path, nothing on Cancel.
    using ParameterFileChooser = std::function<std::optional<QString>(
        QWidget* owner, const QString& folder, const QString& fileName, const QString& filter)>;

    explicit CViewCommon(QWidget* owner);
    virtual ~CViewCommon();
    CViewCommon(const CViewCommon&) = delete;
    CViewCommon& operator=(const CViewCommon&) = delete;

    virtual void SetProject(CProjectManage* project) { m_project = project; }
    // The shape the panel lays over the preview; none by default.
    virtual CBaseDragItem* GetDragItem() { return nullptr; }
    virtual void OnEnterStep() {}
    // commit: OK (the panel's document goes into the project) or Cancel.
    virtual void OnLeaveStep(bool /*commit*/) {}
    // Replaces the panel's document by the parameters of a parameter file,
    // saving the undo state first. False, with the document, the undo state
    // and the controls unchanged, when the panel has no document or the
    // file cannot be read (the user is told).
    virtual bool ImportParameters(const std::string& path);
    virtual bool CanUndo() const { return m_undoDoc != nullptr; }
    virtual bool CanRedo() const { return m_redoDoc != nullptr; }
    virtual void Undo();
    virtual void Redo();
    virtual void NotifyOk() { Notify(PanelNotify::Ok); }
    virtual void NotifyCancel() { Notify(PanelNotify::Cancel); }
    // save: controls into the panel's data (readControls), else the data
    // into the controls (writeControls) under the update guard, so that the
    // notifications of the controls the panel writes are ignored. A call
    // made while the guard is up does nothing and answers true.
    virtual bool UpdateControls(bool save);
    virtual void NotifyRefresh() { Notify(PanelNotify::Refresh); }
    virtual void NotifyChanged() { Notify(PanelNotify::Changed); }
    virtual void NotifyCompareOn() { Notify(PanelNotify::CompareOn); }
    virtual void NotifyCompareOff() { Notify(PanelNotify::CompareOff); }
    // The panel's section of the settings ini; empty by default.
    virtual std::string GetSectionName() const { return {}; }
    // Reads "fPreview" of the panel's section into SetPreview; a missing
    // key keeps the panel's own default. Nothing writes the key.
    virtual void LoadSettings(const std::string& iniPath);
    virtual void SaveSettings(const std::string& /*iniPath*/) {}
    // The panel's step document; null for the panels without one.
    virtual CBaseDoc* GetDocument() { return nullptr; }
    // Returns the edit-in-progress flag as it was and raises it: 0 means
    // this is the first change of an edit.
    virtual int BeginEdit();
    virtual void EndEdit() { m_editing = 0; }
    // Keeps a copy of the document as it is now as the undo state (the redo
    // state is dropped) and tells the frame the parameters changed.
    virtual void SaveUndoState(const CBaseDoc& document);
    // Hands the panel's document to the project for the preview.
    virtual void ApplyDocument() {}
    virtual bool GetPreview() const { return true; }
    virtual void SetPreview(bool /*on*/) {}
    // toControls: refresh the controls from the data (the panel is shown).
    // Otherwise take the controls' values over and drop undo and redo (the
    // panel is hidden). Nothing before the panel's controls exist.
    virtual void SyncData(bool toControls);
    // Asks for a parameter file, starting at the shared parameter path; on
    // OK the shared path becomes the chosen one and ImportParameters runs.
    virtual void ImportParametersDialog();
    // The document back to its defaults, after saving the undo state.
    virtual void ResetParameters();
    virtual void NotifyPreview(bool on)
    {
        Notify(on ? PanelNotify::PreviewOn : PanelNotify::PreviewOff);
    }

    // ---- Set by the main frame
    void SetNotifyMessage(int message) { m_notifier.setNotifyMessage(message); }
    int GetNotifyMessage() const { return m_notifier.notifyMessage(); }
    // The path of the last parameter file, one string shared by all panels.
    void SetParameterPath(std::string* path) { m_parameterPath = path; }
    std::string* GetParameterPath() const { return m_parameterPath; }
    CViewNotifier* Notifier() { return &m_notifier; }

    CProjectManage* GetProject() const { return m_project; }
    QWidget* GetOwner() const { return m_owner; }
    // The panel's initial update has created its controls.
    void SetDataValid() { m_dataValid = 1; }
    bool IsUpdating() const { return m_updating != 0; }
    bool IsEditing() const { return m_editing != 0; }

    // Writes a value into an edit without the edit reporting it.
    static void SetEditIntQuiet(int value, CEditEx& edit);
    // The same for a real value (shown with the edit's decimals).
    static void SetEditRealQuiet(double value, CEditEx& edit);

    // Replaces the file chooser of every panel (tests); an empty function
    // restores the file dialog. Returns the one in place before.
    static ParameterFileChooser SetParameterFileChooser(ParameterFileChooser chooser);

    // Asks for an existing parameter file through the panels' chooser,
    // starting at the folder and file name of start. Nothing on Cancel.
    std::optional<std::string> ChooseParameterFile(const std::string& start) const;

protected:
    // The data exchange of UpdateControls: controls into the panel's data
    // (false when a value is refused) and back.
    virtual bool readControls() { return true; }
    virtual void writeControls() {}

    // Sends the code to the frame while the panel sits in a window and has
    // its message number.
    void Notify(PanelNotify code);

    // The panel's document was just replaced by the project's (entering the
    // step) or by a parameter file's, before the controls are filled and
    // the preview is applied: a panel whose document depends on the image
    // shown fits it here.
    virtual void OnDocumentReplaced() {}

    // Forgets the undo and the redo state, for a change that undo could not
    // take back.
    void DropUndoRedo();

    // Raised while the panel writes its own controls.
    int m_updating = 0;

private:
    QWidget* m_owner;
    std::string* m_parameterPath = nullptr;
    CViewNotifier m_notifier;
    CProjectManage* m_project = nullptr;
    int m_editing = 0;
    std::unique_ptr<CBaseDoc> m_undoDoc;
    std::unique_ptr<CBaseDoc> m_redoDoc;
    int m_dataValid = 0;
};
