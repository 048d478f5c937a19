#pragma once
// The detail-mode wizard: eight pages that adjust a DDC/CI monitor by
// comparing a printed chart, lit by the room's light, with the same chart on
// the screen. The user chooses the room light (the monitor's colour preset),
// matches the brightness, and may move the monitor's white (its RGB gains);
// at the end the monitor stores the settings, on cancel it gets back what it
// had when the wizard opened.
//
// Back on some pages goes to a page other than the previous one, so the
// wizard is our own sheet over a QStackedWidget rather than a QWizard: each
// page names the page Next and Back go to (or 0 for the neighbour in the
// sheet's order).
//
// Monitor and converter are forward-declared here: this header is read by
// moc, which does not take the headers they come from.

#include "platform/Clock.h"

#include <QDialog>
#include <QFont>
#include <QMargins>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class CColorConverter;
class CDisplay;
class CDetailModeSheet;
class QKeyEvent;
class QPushButton;
class QStackedWidget;

// The pages' dialog ids, in the sheet's order.
inline constexpr int kDetailModePage1Id = 244;   // chart set-up
inline constexpr int kDetailModePage2Id = 245;   // room light
inline constexpr int kDetailModePage3Id = 246;   // brightness
inline constexpr int kDetailModePage3_5Id = 273; // confirmation
inline constexpr int kDetailModePage4Id = 247;   // way of fine adjustment
inline constexpr int kDetailModePage5Id = 249;   // candidate pictures
inline constexpr int kDetailModePage6Id = 259;   // chromaticity diagram
inline constexpr int kDetailModePage7Id = 271;   // last confirmation

// Wizard button flags of SetWizardButtons (they add up: 3 = Back + Next,
// 5 = Back + Finish; Finish takes Next's place).
inline constexpr int kWizardBack = 1;
inline constexpr int kWizardNext = 2;
inline constexpr int kWizardFinish = 4;

// Base of the sheet's pages.
class CDetailModePage : public QWidget
{
    Q_OBJECT
public:
    CDetailModePage(CDetailModeSheet& sheet, int dialogId);
    ~CDetailModePage() override;

    int DialogId() const { return m_dialogId; }
    CDetailModeSheet& Sheet() const { return m_sheet; }
    // Whether OnInitDialog has run (the page was shown once).
    bool Initialized() const { return m_initialized; }

    // At the page's first activation.
    virtual void OnInitDialog() {}
    // Sets the page's wizard buttons; true shows the page. The base sets
    // Back + Next.
    virtual bool OnSetActive();
    virtual bool OnKillActive() { return true; }
    // 0: the next page in the sheet's order; -1: stay; else the dialog id.
    virtual int OnWizardNext() { return 0; }
    // 0: the previous page in the sheet's order; -1: stay; else a dialog id.
    virtual int OnWizardBack() { return 0; }
    // False keeps the wizard open.
    virtual bool OnWizardFinish() { return true; }
    // The shared question 3048; Yes restores the monitor and lets the
    // wizard close, No keeps it open.
    virtual bool OnQueryCancel();
    // Keys the sheet hands the active page before any of its controls sees
    // them; true when taken.
    virtual bool HandleWizardKey(QKeyEvent*) { return false; }
    // A room-light preset was chosen (the diagram page forgets its point).
    virtual void OnRoomLightChosen() {}

private:
    friend class CDetailModeSheet;
    CDetailModeSheet& m_sheet;
    int m_dialogId;
    bool m_initialized = false;
};

// One slot of the sheet: its dialog id and how its page is made.
struct DetailModePageEntry
{
    int dialogId;
    std::function<CDetailModePage*(CDetailModeSheet&)> make;
};

// The wizard's pages in their order (monitor/DetailModePageList.cpp).
std::vector<DetailModePageEntry> DetailModePages();

// The monitor's state when the wizard opened; each value with whether it
// was read, so that only what was read is written back.
struct DetailModeSavedState
{
    std::uint16_t preset = 0;
    std::uint16_t red = 255;
    std::uint16_t green = 255;
    std::uint16_t blue = 255;
    std::uint16_t luminance = 255;
    std::uint16_t contrast = 127;
    bool presetRead = false;
    bool redRead = false;
    bool greenRead = false;
    bool blueRead = false;
    bool luminanceRead = false;
    bool contrastRead = false;
};

class CDetailModeSheet : public QDialog
{
    Q_OBJECT
public:
    // The pages of DetailModePages(). Pauses go through `clock`, which must
    // outlive the sheet.
    explicit CDetailModeSheet(QWidget* parent = nullptr,
                              platform::Clock& clock = platform::SystemClock());
    // The given pages, in the given order (tests).
    CDetailModeSheet(std::vector<DetailModePageEntry> pages, QWidget* parent,
                     platform::Clock& clock);
    ~CDetailModeSheet() override;

    void SetMonitor(CDisplay* display) { m_display = display; }
    CDisplay* Monitor() const { return m_display; }
    void SetConverter(CColorConverter* converter) { m_converter = converter; }
    CColorConverter* Converter() const { return m_converter; }
    // The sheet is a wizard (always, here; kept for the caller's sequence).
    void SetWizardMode() { m_wizardMode = true; }

    void SetWizardButtons(int flags);
    int WizardButtons() const { return m_wizardButtons; }
    // Shows the page with this dialog id (its OnInitDialog at its first
    // activation, then OnSetActive); false when the sheet has no such page
    // or the page refused.
    bool SetActivePage(int dialogId);
    CDetailModePage* PageById(int dialogId) const;
    CDetailModePage* ActivePage() const;
    int ActivePageId() const;

    // The wizard's buttons, as the user presses them.
    void PressNext();
    void PressBack();
    void PressFinish();
    void PressCancel();
    QPushButton* BackButton() const { return m_back; }
    QPushButton* NextButton() const { return m_next; }
    QPushButton* FinishButton() const { return m_finish; }
    QPushButton* CancelButton() const { return m_cancel; }
    // The button row (hidden while the diagram is shown alone).
    QWidget* ButtonRow() const { return m_buttonRow; }
    // The active page alone in the sheet, or everything again: alone, the
    // button row and its rule are hidden, the sheet's margins become
    // `margins` and the sheet may shrink to the page's own size (the other
    // pages and the room the pages are made for no longer hold it). The
    // caller sizes the sheet.
    void SetPageAlone(bool alone, const QMargins& margins = QMargins());

    // Waits through the sheet's clock.
    void Wait(int ms);
    // Paints the sheet at once: the event loop does not run while the
    // monitor is waited for, so a question that has just closed would stay
    // on the screen over the page until the wait ends.
    void PaintBeforeWaiting();
    platform::Clock& Clock() const { return m_clock; }
    // When the monitor needs it: luminance read and written back.
    void ReapplyLuminance();
    // Gives the monitor back what was read when the wizard opened.
    void RestoreMonitor();
    bool IsResetModel() const;
    // The user declined the reset-group monitor's reset at the opening.
    bool ResetDeclined() const { return m_resetDeclined; }

    // The user chose a room light: preset, gains not adjusted, pages told.
    void RoomLightChosen(int preset);
    int OpeningPreset() const { return m_saved.preset; }
    const DetailModeSavedState& Saved() const { return m_saved; }
    int CurrentPreset() const { return m_currentPreset; }
    void SetCurrentPreset(int preset) { m_currentPreset = preset; }
    int BackTarget() const { return m_backTarget; }
    void SetBackTarget(int dialogId) { m_backTarget = dialogId; }
    bool GainsAdjusted() const { return m_gainsAdjusted; }
    void SetGainsAdjusted(bool adjusted) { m_gainsAdjusted = adjusted; }

    const QFont& PageFont() const { return m_font; }
    QRect InitialWindowRect() const { return m_initialRect; }

    // A chart picture of the program's data ("ChartImage_big.tif"...).
    static QString ChartPicturePath(const QString& name);
    // The white the chart pictures are shown for (D65, Y = 100).
    static constexpr double kChartWhite[3] = {95.043, 100.0, 108.879};

    // The opening reads (runs once, at the first show; exposed for callers
    // that drive the sheet without showing it).
    void InitializeSheet();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWindow(std::vector<DetailModePageEntry> pages);
    int IndexOf(int dialogId) const;
    void GoTo(int target, int step);

    platform::Clock& m_clock;
    CDisplay* m_display = nullptr;
    CColorConverter* m_converter = nullptr;
    bool m_wizardMode = false;
    bool m_initializedSheet = false;
    bool m_keyFilterInstalled = false;
    bool m_resetDeclined = false;
    DetailModeSavedState m_saved;
    int m_currentPreset = 0;
    int m_backTarget = kDetailModePage5Id;
    bool m_gainsAdjusted = false;
    int m_wizardButtons = kWizardNext;
    QFont m_font;
    QRect m_initialRect;

    std::vector<CDetailModePage*> m_pages;
    int m_active = -1;
    QStackedWidget* m_stack = nullptr;
    QWidget* m_buttonRow = nullptr;
    QWidget* m_buttonRule = nullptr;
    bool m_pageAlone = false;
    QMargins m_marginsWithButtons;
    QPushButton* m_back = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_finish = nullptr;
    QPushButton* m_cancel = nullptr;
};
