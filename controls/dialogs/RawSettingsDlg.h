#pragma once
// What serves the outside DNG converter in the interface: the editor of
// the user's RAW extensions (template 198), the window shown while the
// converter runs (template 10135) and the choice of the folder the
// converted DNG files go to.

#include "core/Progress.h"

#include <QDialog>
#include <QPointer>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The list editor of the user's extra camera-RAW extensions ("RAWファイル
// 拡張子"). The owner fills both lists, runs it and, after OK, takes
// UserExtensions back. Built-in entries are listed but cannot be deleted.
class CEditRAWExtDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CEditRAWExtDlg(QWidget* parent = nullptr);

    std::vector<std::string> BuiltinExtensions; // with the dot, shown only
    std::vector<std::string> UserExtensions;    // with the dot, edited

    // 1 after OK, 2 after Cancel (0 when deleted while it ran).
    int exec() override;
    void reject() override;

    // Fills list 1127 with both lists, sorted ignoring case, and updates
    // the delete button. No entry is selected afterwards.
    void writeControls();
    // Nothing to read: the lists change as the buttons are pressed.
    bool readControls() { return true; }

    // Add (1039): takes the edit's text as an extension, or beeps and
    // selects the text when it is refused. True when one was added.
    bool OnAdd();
    // Delete (1038): removes the selected user extension.
    void OnDelete();

private:
    void updateDeleteButton();

    QListWidget* m_list = nullptr;   // 1127
    QPushButton* m_add = nullptr;    // 1039
    QLineEdit* m_edit = nullptr;     // 1268
    QPushButton* m_delete = nullptr; // 1038
};

// The small window shown while the outside converter runs ("DNG変換中"):
// a turning picture advanced once for every poll of the converter, and
// Cancel. Modeless and window-modal over its owner's window, so the rest of
// the program waits but keeps painting. Cancel, Esc and the close box only
// ask to stop (cancelRequested); the window stays until its owner ends it.
class CDNGConvertProgDlg : public QDialog
{
    Q_OBJECT
public:
    // Bitmaps 159..170 are the frames of the picture.
    static constexpr int kFirstFrameBitmap = 159;
    static constexpr int kFrameCount = 12;

    explicit CDNGConvertProgDlg(QWidget* owner = nullptr);

    // Shows the window. Always true: a Qt window cannot fail to be made.
    bool Create();
    // One tick: pending events are handled (so the program stays
    // responsive and Cancel can be pressed), then the next frame is shown.
    void Step();

    int FrameCounter() const { return m_frame; }
    bool CancelRequested() const { return m_cancelRequested; }

    void reject() override;

signals:
    void cancelRequested();

private:
    void showFrame();

    int m_frame = 0;
    bool m_cancelRequested = false;
    QLabel* m_picture = nullptr;     // 1018
    QPushButton* m_cancel = nullptr; // 2
};

// One conversion's progress display: while it lives, the image loading's
// converter progress (SetConverterProgress) and cancel flag
// (SetConverterCancelFlag) are this object. The window appears at the
// first report, so a load that converts nothing shows nothing; each report
// steps it. Cancel kills the converter through the flag, and so does the
// window going away with its owner (the program is closing): the sink
// never touches a deleted window or owner.
class CDNGConvertProgress final : public IProgressSink
{
public:
    explicit CDNGConvertProgress(QWidget* owner);
    ~CDNGConvertProgress() override;
    CDNGConvertProgress(const CDNGConvertProgress&) = delete;
    CDNGConvertProgress& operator=(const CDNGConvertProgress&) = delete;

    bool Report(double value) override;
    bool Report(std::int64_t done, std::int64_t total) override;

    // The flag the converter polls.
    const std::atomic<bool>* CancelFlag() const { return &m_cancel; }
    // The window, null before the first report and after it went away.
    CDNGConvertProgDlg* Dialog() const { return m_dialog.data(); }

private:
    void step();

    QPointer<QWidget> m_owner;
    bool m_hadOwner = false;
    QPointer<CDNGConvertProgDlg> m_dialog;
    bool m_created = false;
    std::atomic<bool> m_cancel{false};
};

// The folder dialog of the DNG output folder: a folder choice (CBrowseDir)
// starting at the current folder. A chosen folder, without its trailing '/' (the root
// stays "/"), becomes the output folder for the rest of the session.
// 1 when a folder was chosen, 0 otherwise.
int RunDngPathDialog(QWidget* parent);
