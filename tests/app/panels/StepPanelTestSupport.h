#pragma once
// What the step-panel tests share: the real project with a generated image
// loaded (every step enabled, as the test edition allows), the panel shown
// in a window of its own the size of the right pane, a stand-in for the
// frame that records the panel's notifications and leaves the step on OK
// and Cancel, typing into an edit, and the pixels of a slider's values;
// and a stand-in frame for a panel made by the test itself (PanelHost).

#include "app/panels/StepView.h"
#include "app/panels/ViewCommon.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/MultiSlider.h"
#include "controls/widgets/MultiSliderLogic.h"
#include "core/ImageEx.h"
#include "core/RGBImage.h"
#include "correction/BaseDoc.h"
#include "correction/ProjectManage.h"
#include "tests/correction/ProjectTestSupport.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace steppaneltest {

class PanelHost : public QWidget
{
public:
    explicit PanelHost(CStepView* panel, int message) : m_panel(panel)
    {
        resize(320, 700);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(panel);
        panel->SetNotifyMessage(message);
        QObject::connect(panel->Notifier(), &CViewNotifier::notify, this,
                         [this](int message, int code, qint64) {
                             notifications.emplace_back(message, code);
                             if (code == static_cast<int>(PanelNotify::Ok))
                                 m_panel->OnLeaveStep(true);
                             else if (code == static_cast<int>(PanelNotify::Cancel))
                                 m_panel->OnLeaveStep(false);
                         });
    }

    // The panel goes first, while the host can still hear it (a focused
    // edit commits when the window goes).
    ~PanelHost() override { delete m_panel; }
    PanelHost(const PanelHost&) = delete;
    PanelHost& operator=(const PanelHost&) = delete;

    // How often the panel sent a code.
    int Count(PanelNotify code) const
    {
        int n = 0;
        for (const auto& [message, sent] : notifications)
            n += sent == static_cast<int>(code) ? 1 : 0;
        return n;
    }

    std::vector<std::pair<int, int>> notifications; // (message, code)

private:
    CStepView* m_panel;
};

// The after preview of the whole working image at full size, as 24-bit
// pixels row by row.
inline std::vector<std::uint8_t> RenderAfterPreview(CProjectManage& project)
{
    const CRGBImage& image = project.GetWorkingImage();
    const CRect whole(0, 0, image.GetWidth(), image.GetHeight());
    std::vector<std::uint8_t> pixels;
    EXPECT_TRUE(project.MakeAfterPreview(whole, nullptr));
    EXPECT_TRUE(project.RenderAfterPreview(whole, 1));
    const CImageEx* preview = project.GetAfterPreview();
    if (preview == nullptr)
        return pixels;
    for (int y = 0; y < preview->GetHeight(); ++y)
    {
        const std::uint8_t* row = preview->GetPixelAddress(0, y);
        pixels.insert(pixels.end(), row, row + 3 * static_cast<std::size_t>(preview->GetWidth()));
    }
    return pixels;
}

template <class Panel, int Message> class StepPanelFixture : public projecttest::ProjectFixture
{
protected:
    StepPanelFixture() : m_policy(StepEditionPolicy::AllStepsEnabled)
    {
        m_host.resize(320, 900);
        auto* layout = new QVBoxLayout(&m_host);
        layout->setContentsMargins(0, 0, 0, 0);
        m_panel = new Panel(&m_host);
        layout->addWidget(m_panel);
        m_panel->SetProject(m_project.get());
        m_panel->SetNotifyMessage(m_message);
        QObject::connect(m_panel->Notifier(), &CViewNotifier::notify, m_panel,
                         [this](int message, int code, qint64) {
                             EXPECT_EQ(message, m_message);
                             m_codes.push_back(code);
                             // The frame leaves the step on OK and Cancel.
                             if (code == static_cast<int>(PanelNotify::Ok))
                                 m_panel->OnLeaveStep(true);
                             else if (code == static_cast<int>(PanelNotify::Cancel))
                                 m_panel->OnLeaveStep(false);
                         });
        m_host.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_host));
    }

    // An image in the project, and the panel entered on it.
    void EnterWithImage()
    {
        Load(AddTiff("gradient.tif", 80, 60));
        m_panel->OnEnterStep();
        m_codes.clear();
    }

    template <class T> T* Control(int id) const
    {
        T* control = m_panel->template findChild<T*>(QString::number(id));
        EXPECT_NE(control, nullptr) << id;
        return control;
    }

    // Types text into the edit and presses Enter, as a user does.
    static void Type(CEditEx* edit, const QString& text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    // How many undo states the panel saved since the codes were cleared.
    int UndoStatesSaved() const
    {
        int n = 0;
        for (int code : m_codes)
            n += code == static_cast<int>(PanelNotify::Changed) ? 1 : 0;
        return n;
    }

    // The after-preview of the whole image as the project renders it now.
    std::vector<std::uint8_t> RenderedPreview() const { return RenderAfterPreview(*m_project); }

    ScopedStepEditionPolicy m_policy;
    const int m_message = Message;
    std::vector<int> m_codes;
    QWidget m_host;
    Panel* m_panel = nullptr;
};

// The pixel along a slider's track at which a press or move means value
// (the first one that reads as it); -1 when no pixel does.
inline int PixelOfValue(const CMultiSlider& slider, int value)
{
    const int extent = slider.Vertical != 0 ? slider.height() : slider.width();
    const SliderAxis axis{0, extent, slider.Minimum, slider.Maximum, slider.Vertical != 0};
    for (int pixel = 0; pixel < extent; ++pixel)
        if (axis.PixelToValue(pixel) == value)
            return pixel;
    return -1;
}

// The point of a slider at which a press means value.
inline QPoint PointOfValue(const CMultiSlider& slider, int value)
{
    const int pixel = PixelOfValue(slider, value);
    EXPECT_GE(pixel, 0) << "no pixel of the slider reads " << value;
    return slider.Vertical != 0 ? QPoint(slider.width() / 2, pixel) : QPoint(pixel, slider.height() / 2);
}

// Presses the slider at from, moves through each value of path, lets go at
// the last.
inline void DragSlider(CMultiSlider& slider, int from, const std::vector<int>& path)
{
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, PointOfValue(slider, from));
    QPoint last = PointOfValue(slider, from);
    for (int value : path)
    {
        last = PointOfValue(slider, value);
        QTest::mouseMove(&slider, last);
    }
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, last);
}

} // namespace steppaneltest
