#include "controls/dialogs/RawSettingsDlg.h"

#include "controls/dialogs/BrowseDir.h"
#include "controls/support/EventPump.h"

#include "controls/dialogs/RawExtLogic.h"
#include "controls/support/ResourceImages.h"
#include "core/GlobalSettings.h"
#include "core/PathUtils.h"
#include "imagefile/ImageLoadSave.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The dialog's code for Cancel; OK is 1 (QDialog::Accepted).
constexpr int kCancelCode = 2;

QPushButton* MakeButton(const QString& text, const char* id, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(id));
    return button;
}

} // namespace

// ---------------------------------------------------------------------------
// CEditRAWExtDlg

CEditRAWExtDlg::CEditRAWExtDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("198"));
    setWindowTitle(QStringLiteral("RAWファイル拡張子"));

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("1127"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_add = MakeButton(QStringLiteral("<< 追加"), "1039", this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("1268"));
    m_delete = MakeButton(QStringLiteral("削除"), "1038", this);
    // Enter in the edit adds rather than closing the dialog.
    m_add->setAutoDefault(false);
    m_delete->setAutoDefault(false);

    auto* ok = MakeButton(QStringLiteral("OK"), "1", this);
    auto* cancel = MakeButton(QStringLiteral("キャンセル"), "2", this);
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(ok, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel, QDialogButtonBox::RejectRole);

    auto* addRow = new QHBoxLayout;
    addRow->addWidget(m_add);
    addRow->addWidget(m_edit, 1);
    auto* side = new QVBoxLayout;
    side->addLayout(addRow);
    side->addWidget(m_delete, 0, Qt::AlignLeft);
    side->addStretch(1);
    auto* body = new QHBoxLayout;
    body->addWidget(m_list, 1);
    body->addLayout(side, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addWidget(buttons);

    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] { updateDeleteButton(); });
    connect(m_add, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(m_edit, &QLineEdit::returnPressed, this, [this] { OnAdd(); });
    connect(m_delete, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

int CEditRAWExtDlg::exec()
{
    writeControls();
    return QDialog::exec();
}

void CEditRAWExtDlg::reject()
{
    done(kCancelCode);
}

void CEditRAWExtDlg::writeControls()
{
    std::vector<QString> entries;
    for (const std::string& ext : BuiltinExtensions)
        entries.push_back(QString::fromStdString(ext));
    for (const std::string& ext : UserExtensions)
        entries.push_back(QString::fromStdString(ext));
    // A sorted list box: alphabetical whatever the origin, ignoring case.
    std::stable_sort(entries.begin(), entries.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    m_list->clear();
    for (const QString& entry : entries)
        m_list->addItem(entry);
    m_list->clearSelection();
    m_list->setCurrentRow(-1, QItemSelectionModel::Clear);
    updateDeleteButton();
}

void CEditRAWExtDlg::updateDeleteButton()
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    m_delete->setEnabled(
        !selected.isEmpty() &&
        rawext::IsUserExtension(selected.front()->text().toStdString(), UserExtensions));
}

bool CEditRAWExtDlg::OnAdd()
{
    const std::optional<std::string> extension = rawext::NormalizeNewExtension(
        m_edit->text().toStdString(), BuiltinExtensions, UserExtensions);
    if (!extension)
    {
        QApplication::beep();
        m_edit->setFocus();
        m_edit->selectAll();
        return false;
    }
    UserExtensions.push_back(*extension);
    writeControls();
    return true;
}

void CEditRAWExtDlg::OnDelete()
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return;
    rawext::RemoveUserExtension(selected.front()->text().toStdString(), UserExtensions);
    writeControls();
}

// ---------------------------------------------------------------------------
// CDNGConvertProgDlg

CDNGConvertProgDlg::CDNGConvertProgDlg(QWidget* owner)
    : QDialog(owner != nullptr ? owner->window() : nullptr)
{
    setObjectName(QStringLiteral("10135"));
    setWindowModality(Qt::WindowModal);
    // The template has no caption text.
    setWindowTitle(QString());

    m_picture = new QLabel(this);
    m_picture->setObjectName(QStringLiteral("1018"));
    m_picture->setAlignment(Qt::AlignCenter);
    auto* text = new QLabel(QStringLiteral("DNG変換中"), this);
    text->setAlignment(Qt::AlignCenter);
    m_cancel = MakeButton(QStringLiteral("キャンセル"), "2", this);

    auto* row = new QHBoxLayout;
    row->addWidget(m_picture);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(m_cancel, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_cancel, &QPushButton::clicked, this, &CDNGConvertProgDlg::reject);
    showFrame();
}

bool CDNGConvertProgDlg::Create()
{
    m_frame = 0;
    showFrame();
    show();
    return true;
}

void CDNGConvertProgDlg::Step()
{
    // The events may end this window (its owner closing): nothing of it is
    // touched after they ran unless it is still there.
    const QPointer<CDNGConvertProgDlg> self(this);
    PumpEvents();
    if (!self)
        return;
    m_frame = m_frame + 1 >= kFrameCount ? 0 : m_frame + 1;
    showFrame();
}

void CDNGConvertProgDlg::reject()
{
    // Esc, the close box and Cancel ask; the converter's end closes.
    if (m_cancelRequested)
        return;
    m_cancelRequested = true;
    m_cancel->setEnabled(false);
    emit cancelRequested();
}

void CDNGConvertProgDlg::showFrame()
{
    m_picture->setPixmap(QPixmap::fromImage(LoadBitmapResource(kFirstFrameBitmap + m_frame)));
}

// ---------------------------------------------------------------------------
// CDNGConvertProgress

CDNGConvertProgress::CDNGConvertProgress(QWidget* owner)
    : m_owner(owner), m_hadOwner(owner != nullptr)
{
    SetConverterProgress(*this);
    SetConverterCancelFlag(&m_cancel);
}

CDNGConvertProgress::~CDNGConvertProgress()
{
    SetConverterCancelFlag(nullptr);
    SetConverterProgress(Progress());
    delete m_dialog.data();
}

bool CDNGConvertProgress::Report(double)
{
    step();
    return true;
}

bool CDNGConvertProgress::Report(std::int64_t, std::int64_t)
{
    step();
    return true;
}

void CDNGConvertProgress::step()
{
    if (!m_created)
    {
        m_created = true;
        if (m_hadOwner && !m_owner)
        {
            m_cancel = true;
            return;
        }
        m_dialog = new CDNGConvertProgDlg(m_owner.data());
        QObject::connect(m_dialog.data(), &CDNGConvertProgDlg::cancelRequested,
                         [this] { m_cancel = true; });
        m_dialog->Create();
    }
    if (m_dialog)
        m_dialog->Step();
    // The window went with its owner: nobody is left to wait for the
    // converter, so it is stopped.
    if (!m_dialog)
        m_cancel = true;
}

// ---------------------------------------------------------------------------
// The DNG output folder

int RunDngPathDialog(QWidget* parent)
{
    CBrowseDir browse(parent);
    browse.SetInitialFolder(QString::fromStdString(GetDngOutputPath()));
    if (!browse.Browse())
        return 0;
    SetDngOutputPath(browse.GetFolderPath().toStdString());
    return 1;
}
