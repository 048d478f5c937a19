#include "monitor/DetailModeSheet.h"

#include "controls/support/StringTable.h"
#include "controls/support/WaitCursor.h"
#include "core/MessageSink.h"
#include "monitor/Display.h"
#include "platform/Folders.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kStrCancelWizard = 3048;
constexpr int kStrFactoryResetQuestion = 3071;
// The sheet's caption and its wizard buttons.
constexpr int kStrCaption = 3073;
constexpr int kStrBack = 3074;
constexpr int kStrNext = 3075;
constexpr int kStrFinish = 3076;
constexpr int kStrCancel = 3077;

// The monitor's controls the sheet saves and restores.

// The pixel height of the pages' texts.
constexpr int kPageFontPixels = 14;
constexpr int kPageMinimumWidth = 760;
constexpr int kPageMinimumHeight = 400;

bool IsWizardKey(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

} // namespace

// ---------------------------------------------------------------- page base

CDetailModePage::CDetailModePage(CDetailModeSheet& sheet, int dialogId)
    : QWidget(nullptr), m_sheet(sheet), m_dialogId(dialogId)
{
    setObjectName(QString::number(dialogId));
}

CDetailModePage::~CDetailModePage() = default;

bool CDetailModePage::OnSetActive()
{
    m_sheet.SetWizardButtons(kWizardBack | kWizardNext);
    return true;
}

bool CDetailModePage::OnQueryCancel()
{
    if (ShowMessage(kStrCancelWizard, {}, MessageButtons::YesNo, MessageIcon::Question) !=
        kMessageYes)
        return false;
    m_sheet.RestoreMonitor();
    return true;
}

// ---------------------------------------------------------------- sheet

CDetailModeSheet::CDetailModeSheet(QWidget* parent, platform::Clock& clock)
    : CDetailModeSheet(DetailModePages(), parent, clock)
{
}

CDetailModeSheet::CDetailModeSheet(std::vector<DetailModePageEntry> pages, QWidget* parent,
                                   platform::Clock& clock)
    : QDialog(parent), m_clock(clock)
{
    setWindowTitle(LoadString(kStrCaption));
    m_font = QApplication::font();
    m_font.setPixelSize(kPageFontPixels);
    BuildWindow(std::move(pages));
}

CDetailModeSheet::~CDetailModeSheet()
{
    if (m_keyFilterInstalled)
        qApp->removeEventFilter(this);
    // The pages go in the reverse of their order, last first.
    for (auto it = m_pages.rbegin(); it != m_pages.rend(); ++it) {
        m_stack->removeWidget(*it);
        delete *it;
    }
    m_pages.clear();
}

void CDetailModeSheet::BuildWindow(std::vector<DetailModePageEntry> pages)
{
    m_stack = new QStackedWidget(this);
    // Room for the chart beside the pages' texts at the page font.
    m_stack->setMinimumSize(kPageMinimumWidth, kPageMinimumHeight);
    for (const DetailModePageEntry& entry : pages) {
        if (!entry.make)
            continue;
        CDetailModePage* page = entry.make(*this);
        if (page == nullptr)
            continue;
        m_pages.push_back(page);
        m_stack->addWidget(page);
    }

    m_back = new QPushButton(LoadString(kStrBack), this);
    m_next = new QPushButton(LoadString(kStrNext), this);
    m_finish = new QPushButton(LoadString(kStrFinish), this);
    m_cancel = new QPushButton(LoadString(kStrCancel), this);
    m_back->setObjectName(QStringLiteral("back"));
    m_next->setObjectName(QStringLiteral("next"));
    m_finish->setObjectName(QStringLiteral("finish"));
    m_cancel->setObjectName(QStringLiteral("cancel"));
    for (QPushButton* button : {m_back, m_next, m_finish, m_cancel})
        button->setAutoDefault(false);
    connect(m_back, &QPushButton::clicked, this, [this] { PressBack(); });
    connect(m_next, &QPushButton::clicked, this, [this] { PressNext(); });
    connect(m_finish, &QPushButton::clicked, this, [this] { PressFinish(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { PressCancel(); });

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    m_buttonRule = line;

    m_buttonRow = new QWidget(this);
    auto* buttons = new QHBoxLayout(m_buttonRow);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addStretch(1);
    buttons->addWidget(m_back);
    buttons->addWidget(m_next);
    buttons->addWidget(m_finish);
    buttons->addSpacing(8);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_stack, 1);
    layout->addWidget(line);
    layout->addWidget(m_buttonRow);

    SetWizardButtons(kWizardNext);
}

void CDetailModeSheet::SetPageAlone(bool alone, const QMargins& margins)
{
    if (alone == m_pageAlone)
        return;
    m_pageAlone = alone;
    m_buttonRow->setVisible(!alone);
    m_buttonRule->setVisible(!alone);
    if (alone) {
        m_marginsWithButtons = layout()->contentsMargins();
        layout()->setContentsMargins(margins);
        // The stack is as large as its largest page and the room made for
        // the chart; alone, the active page's own size is what counts.
        m_stack->setMinimumSize(0, 0);
        m_stack->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    } else {
        layout()->setContentsMargins(m_marginsWithButtons);
        m_stack->setMinimumSize(kPageMinimumWidth, kPageMinimumHeight);
        m_stack->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    }
    layout()->activate();
}

void CDetailModeSheet::SetWizardButtons(int flags)
{
    m_wizardButtons = flags;
    const bool finish = (flags & kWizardFinish) != 0;
    m_back->setEnabled((flags & kWizardBack) != 0);
    m_next->setVisible(!finish);
    m_next->setEnabled((flags & kWizardNext) != 0);
    m_finish->setVisible(finish);
    (finish ? m_finish : m_next)->setDefault(true);
}

int CDetailModeSheet::IndexOf(int dialogId) const
{
    for (std::size_t i = 0; i < m_pages.size(); ++i)
        if (m_pages[i]->DialogId() == dialogId)
            return static_cast<int>(i);
    return -1;
}

CDetailModePage* CDetailModeSheet::PageById(int dialogId) const
{
    const int index = IndexOf(dialogId);
    return index < 0 ? nullptr : m_pages[static_cast<std::size_t>(index)];
}

CDetailModePage* CDetailModeSheet::ActivePage() const
{
    return m_active < 0 ? nullptr : m_pages[static_cast<std::size_t>(m_active)];
}

int CDetailModeSheet::ActivePageId() const
{
    const CDetailModePage* page = ActivePage();
    return page == nullptr ? 0 : page->DialogId();
}

bool CDetailModeSheet::SetActivePage(int dialogId)
{
    const int index = IndexOf(dialogId);
    if (index < 0)
        return false;
    CDetailModePage* current = ActivePage();
    if (current != nullptr && index != m_active && !current->OnKillActive())
        return false;
    CDetailModePage* page = m_pages[static_cast<std::size_t>(index)];
    const int previous = m_active;
    m_active = index;
    m_stack->setCurrentWidget(page);
    if (!page->m_initialized) {
        page->m_initialized = true;
        page->OnInitDialog();
        // The page font may make the page larger than the sheet was made.
        if (layout() != nullptr) {
            layout()->activate();
            resize(size().expandedTo(sizeHint()));
        }
    }
    if (!page->OnSetActive()) {
        // The page refused: the one that was shown stays.
        m_active = previous;
        if (current != nullptr) {
            m_stack->setCurrentWidget(current);
            current->OnSetActive();
        }
        return false;
    }
    return true;
}

// target: what the page's OnWizardNext/Back returned; step: +1 or -1 for
// the neighbour in the sheet's order.
void CDetailModeSheet::GoTo(int target, int step)
{
    if (target < 0 || m_active < 0)
        return;
    if (target == 0) {
        const int index = m_active + step;
        if (index < 0 || index >= static_cast<int>(m_pages.size()))
            return;
        target = m_pages[static_cast<std::size_t>(index)]->DialogId();
    }
    SetActivePage(target);
}

void CDetailModeSheet::PressNext()
{
    CDetailModePage* page = ActivePage();
    if (page == nullptr || !m_next->isVisible() || !m_next->isEnabled())
        return;
    GoTo(page->OnWizardNext(), +1);
}

void CDetailModeSheet::PressBack()
{
    CDetailModePage* page = ActivePage();
    if (page == nullptr || !m_back->isEnabled())
        return;
    GoTo(page->OnWizardBack(), -1);
}

void CDetailModeSheet::PressFinish()
{
    CDetailModePage* page = ActivePage();
    if (page == nullptr || !m_finish->isVisible())
        return;
    if (page->OnWizardFinish())
        accept();
}

void CDetailModeSheet::PressCancel()
{
    reject();
}

// Cancel, Escape and the close box all ask the active page.
void CDetailModeSheet::reject()
{
    CDetailModePage* page = ActivePage();
    if (page != nullptr && !page->OnQueryCancel())
        return;
    QDialog::reject();
}

void CDetailModeSheet::Wait(int ms)
{
    m_clock.SleepMs(ms);
}

void CDetailModeSheet::PaintBeforeWaiting()
{
    if (isVisible())
        repaint();
}

bool CDetailModeSheet::IsResetModel() const
{
    return m_display != nullptr && m_display->IsResetModel();
}

void CDetailModeSheet::ReapplyLuminance()
{
    if (m_display != nullptr)
        m_display->RewriteLuminance();
}

void CDetailModeSheet::InitializeSheet()
{
    if (!m_initializedSheet) {
        m_initializedSheet = true;
        WaitCursorGuard wait;
        if (m_display != nullptr) {
            CDisplay& display = *m_display;
            display.RefreshLuminanceFlag = display.IsRefreshModel();
            // The reset group's monitors start from their factory
            // luminance and contrast, and Cancel takes them back there:
            // what the user had set cannot be given back, so it is asked.
            if (display.IsResetModel()) {
                if (ShowMessage(kStrFactoryResetQuestion, {}, MessageButtons::YesNo,
                                MessageIcon::Question) == kMessageYes) {
                    display.SetControlValue(kControlManufacturer, 2);
                    Wait(3000);
                    display.SetControlValue(kControlResetLuminance, 1);
                } else {
                    m_resetDeclined = true;
                }
            }
            std::uint16_t value = 0;
            if (display.GetControlValue(kControlPreset, &value)) {
                m_saved.preset = value;
                m_saved.presetRead = true;
                Wait(100);
            }
            // A failed read keeps the default and its flag cleared: Cancel
            // will not write that default into the monitor.
            const auto read = [&display](int control, std::uint16_t& out, bool& wasRead) {
                std::uint16_t v = 0;
                wasRead = display.GetControlValue(control, &v);
                if (wasRead)
                    out = v;
            };
            read(kControlGainRed, m_saved.red, m_saved.redRead);
            Wait(200);
            read(kControlGainGreen, m_saved.green, m_saved.greenRead);
            Wait(200);
            read(kControlGainBlue, m_saved.blue, m_saved.blueRead);
            Wait(200);
            read(kControlLuminance, m_saved.luminance, m_saved.luminanceRead);
            read(kControlContrast, m_saved.contrast, m_saved.contrastRead);
            m_currentPreset = m_saved.preset;
        }
    }
    if (m_active < 0 && !m_pages.empty())
        SetActivePage(m_pages.front()->DialogId());
}

void CDetailModeSheet::RestoreMonitor()
{
    if (m_display == nullptr)
        return;
    CDisplay& display = *m_display;
    // A reset-group monitor goes back to its factory luminance and
    // contrast, where the opening put it; when the user declined that
    // reset it gets its own values back as any other monitor.
    if (display.IsResetModel() && !m_resetDeclined) {
        display.SetControlValue(kControlResetLuminance, 1);
        return;
    }
    if (m_saved.presetRead && display.SetControlValue(kControlPreset, m_saved.preset))
        display.RefreshLuminance();
    // Each value only when it was read; the pauses stay, as the monitor
    // needs them after each write that does happen.
    const auto write = [this, &display](bool wasRead, int control, std::uint16_t value, int pause) {
        if (!wasRead)
            return;
        display.SetControlValue(control, value);
        if (pause > 0)
            Wait(pause);
    };
    write(m_saved.redRead, kControlGainRed, m_saved.red, 200);
    write(m_saved.greenRead, kControlGainGreen, m_saved.green, 200);
    write(m_saved.blueRead, kControlGainBlue, m_saved.blue, 200);
    write(m_saved.luminanceRead, kControlLuminance, m_saved.luminance, 500);
    write(m_saved.contrastRead, kControlContrast, m_saved.contrast, 0);
}

void CDetailModeSheet::RoomLightChosen(int preset)
{
    m_currentPreset = preset;
    m_gainsAdjusted = false;
    for (CDetailModePage* page : m_pages)
        page->OnRoomLightChosen();
}

QString CDetailModeSheet::ChartPicturePath(const QString& name)
{
    return QString::fromStdString(platform::ProgramDataFolder()) + QStringLiteral("/Image/") +
           name;
}

void CDetailModeSheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_keyFilterInstalled) {
        qApp->installEventFilter(this);
        m_keyFilterInstalled = true;
    }
    if (!m_initializedSheet) {
        InitializeSheet();
        m_initialRect = geometry();
    }
}

void CDetailModeSheet::hideEvent(QHideEvent* event)
{
    if (m_keyFilterInstalled) {
        qApp->removeEventFilter(this);
        m_keyFilterInstalled = false;
    }
    QDialog::hideEvent(event);
}

// Enter and the arrow keys reach the active page before the control that
// has the focus: the diagram page moves its point with them whichever of
// its controls is focused. A key event travels up from the focused widget
// to its parents; the page is asked once, at its first receiver.
bool CDetailModeSheet::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        CDetailModePage* page = ActivePage();
        const QWidget* first = QApplication::focusWidget();
        const bool firstReceiver = first == nullptr ? widget == this : widget == first;
        if (page != nullptr && IsWizardKey(key->key()) && firstReceiver &&
            (widget == this || isAncestorOf(widget)) && page->HandleWizardKey(key))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}
