// The panel interface: the update guard, one undo state per edit, one level
// of undo and redo, parameter import and reset, notifications to the frame.

#include "app/panels/ViewCommon.h"

#include "correction/BaseDoc.h"
#include "correction/FilterDoc.h"
#include "tests/support/RecordingMessageSink.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QWidget>

#include <fstream>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace {

// A step panel as the panels are written: one control, the panel's own
// filter document, the edit pattern in the control's handler.
class FilterPanel : public QWidget, public CViewCommon
{
public:
    explicit FilterPanel(QWidget* parent = nullptr) : QWidget(parent), CViewCommon(this)
    {
        m_radius = new QSpinBox(this);
        m_radius->setRange(0, 1000);
        connect(m_radius, &QSpinBox::valueChanged, this, [this](int) { OnRadiusChanged(); });
        SetDataValid();
        SetNotifyMessage(UWM_FILTERVIEW_NOTIFY);
    }

    CBaseDoc* GetDocument() override { return &m_doc; }
    void ApplyDocument() override { ++applied; }
    std::string GetSectionName() const override { return "FilterView"; }
    bool GetPreview() const override { return m_preview; }
    void SetPreview(bool on) override { m_preview = on; }

    // A user's drag: every step of it goes through the handler.
    void Drag(std::initializer_list<int> values)
    {
        for (int value : values)
            m_radius->setValue(value);
        EndEdit();
    }

    int Radius() const { return m_doc.GetParams().Radius; }
    int ShownRadius() const { return m_radius->value(); }

    CFilterDoc m_doc;
    int applied = 0;
    int writes = 0;
    bool nestedAnswer = false;

protected:
    bool readControls() override
    {
        m_doc.GetParams().Radius = m_radius->value();
        return true;
    }
    void writeControls() override
    {
        ++writes;
        m_radius->setValue(m_doc.GetParams().Radius);
        // A refresh that triggers another refresh does nothing.
        nestedAnswer = UpdateControls(false);
    }

private:
    void OnRadiusChanged()
    {
        if (IsUpdating())
            return;
        if (BeginEdit() == 0)
            SaveUndoState(m_doc);
        UpdateControls(true);
        ApplyDocument();
    }

    QSpinBox* m_radius;
    bool m_preview = true;
};

// A panel without a document, as the file-list and batch panels.
class ListPanel : public QWidget, public CViewCommon
{
public:
    explicit ListPanel(QWidget* parent) : QWidget(parent), CViewCommon(this)
    {
        SetNotifyMessage(UWM_FILEVIEW_NOTIFY);
    }
};

using Notification = std::tuple<int, int, qint64>;

std::vector<Notification> Taken(QSignalSpy& spy)
{
    std::vector<Notification> out;
    for (const QList<QVariant>& args : spy)
        out.emplace_back(args[0].toInt(), args[1].toInt(), args[2].toLongLong());
    spy.clear();
    return out;
}

const Notification kChanged{UWM_FILTERVIEW_NOTIFY, static_cast<int>(PanelNotify::Changed), 0};

class ViewCommonTest : public testing::Test
{
protected:
    QWidget frame;
    FilterPanel panel{&frame};
    QSignalSpy spy{panel.Notifier(), &CViewNotifier::notify};
};

TEST(CStFlagTest, ClearsTheFlagOnEveryWayOut)
{
    int flag = 0;
    auto leaveEarly = [&flag](bool early) {
        flag = 1;
        CStFlag guard(flag);
        if (early)
            return 1;
        EXPECT_EQ(flag, 1);
        return 2;
    };
    EXPECT_EQ(leaveEarly(true), 1);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(leaveEarly(false), 2);
    EXPECT_EQ(flag, 0);

    try
    {
        flag = 1;
        CStFlag guard(flag);
        throw std::runtime_error("stop");
    }
    catch (const std::runtime_error&)
    {
    }
    EXPECT_EQ(flag, 0);
}

TEST_F(ViewCommonTest, ADragSavesTheUndoStateOnceAndUndoGoesBackToBeforeIt)
{
    panel.Drag({10, 20, 30});
    EXPECT_EQ(panel.Radius(), 30);
    EXPECT_EQ(panel.applied, 3);
    EXPECT_EQ(Taken(spy), std::vector<Notification>{kChanged});
    EXPECT_FALSE(panel.IsEditing());

    ASSERT_TRUE(panel.CanUndo());
    panel.Undo();
    EXPECT_EQ(panel.Radius(), 0);
    EXPECT_EQ(panel.ShownRadius(), 0);
    EXPECT_EQ(panel.applied, 4);
    EXPECT_FALSE(panel.CanUndo());
    EXPECT_TRUE(panel.CanRedo());
    EXPECT_EQ(Taken(spy), std::vector<Notification>{kChanged});

    panel.Redo();
    EXPECT_EQ(panel.Radius(), 30);
    EXPECT_EQ(panel.ShownRadius(), 30);
    EXPECT_TRUE(panel.CanUndo());
    EXPECT_FALSE(panel.CanRedo());
    EXPECT_EQ(Taken(spy), std::vector<Notification>{kChanged});
}

TEST_F(ViewCommonTest, ControlsWrittenByThePanelSaveNoUndoState)
{
    panel.m_doc.GetParams().Radius = 55;
    EXPECT_TRUE(panel.UpdateControls(false));
    EXPECT_EQ(panel.ShownRadius(), 55);
    EXPECT_EQ(panel.writes, 1); // the nested refresh did nothing
    EXPECT_TRUE(panel.nestedAnswer);
    EXPECT_FALSE(panel.IsUpdating());
    EXPECT_FALSE(panel.CanUndo());
    EXPECT_EQ(panel.applied, 0);
    EXPECT_TRUE(Taken(spy).empty());
}

TEST_F(ViewCommonTest, TwoEditsKeepOnlyTheStateBeforeTheSecond)
{
    panel.Drag({10});
    panel.Drag({20, 25});
    panel.Undo();
    EXPECT_EQ(panel.Radius(), 10);
    EXPECT_FALSE(panel.CanUndo());

    // A new edit after an undo drops the redo state.
    panel.Drag({40});
    EXPECT_TRUE(panel.CanUndo());
    EXPECT_FALSE(panel.CanRedo());
    panel.Redo();
    EXPECT_EQ(panel.Radius(), 40);
}

TEST_F(ViewCommonTest, UndoAndRedoOnlyActWhenTheirStateIsHeld)
{
    panel.Undo(); // nothing to undo
    panel.Redo(); // nothing to redo
    EXPECT_EQ(panel.applied, 0);
    EXPECT_TRUE(Taken(spy).empty());

    panel.Drag({10});
    panel.Undo();
    panel.Redo();
    const int applied = panel.applied;
    panel.Redo(); // the undo state is held again: redo does nothing
    EXPECT_EQ(panel.Radius(), 10);
    EXPECT_EQ(panel.applied, applied);
}

TEST_F(ViewCommonTest, TakingTheControlsOverDropsUndoAndRedo)
{
    panel.Drag({10});
    panel.SyncData(false);
    EXPECT_FALSE(panel.CanUndo());
    EXPECT_FALSE(panel.CanRedo());

    panel.m_doc.GetParams().Radius = 70;
    panel.SyncData(true);
    EXPECT_EQ(panel.ShownRadius(), 70);
}

TEST(ViewCommonDataValid, NothingIsSyncedBeforeTheControlsExist)
{
    QWidget frame;
    ListPanel panel(&frame);
    struct Probe : CViewCommon
    {
        Probe() : CViewCommon(nullptr) {}
        void writeControls() override { ++writes; }
        int writes = 0;
    } probe;
    probe.SyncData(true);
    EXPECT_EQ(probe.writes, 0);
    probe.SetDataValid();
    probe.SyncData(true);
    EXPECT_EQ(probe.writes, 1);
}

TEST_F(ViewCommonTest, EveryNotifyOperationSendsItsCode)
{
    const std::vector<std::pair<void (*)(CViewCommon&), PanelNotify>> table = {
        {[](CViewCommon& v) { v.NotifyRefresh(); }, PanelNotify::Refresh},
        {[](CViewCommon& v) { v.NotifyPreview(true); }, PanelNotify::PreviewOn},
        {[](CViewCommon& v) { v.NotifyPreview(false); }, PanelNotify::PreviewOff},
        {[](CViewCommon& v) { v.NotifyChanged(); }, PanelNotify::Changed},
        {[](CViewCommon& v) { v.NotifyOk(); }, PanelNotify::Ok},
        {[](CViewCommon& v) { v.NotifyCancel(); }, PanelNotify::Cancel},
        {[](CViewCommon& v) { v.NotifyCompareOn(); }, PanelNotify::CompareOn},
        {[](CViewCommon& v) { v.NotifyCompareOff(); }, PanelNotify::CompareOff},
    };
    for (const auto& [send, code] : table)
    {
        send(panel);
        EXPECT_EQ(Taken(spy), (std::vector<Notification>{
                                  {UWM_FILTERVIEW_NOTIFY, static_cast<int>(code), 0}}))
            << static_cast<int>(code);
    }
}

TEST(ViewCommonNotify, NothingIsSentWithoutMessageOrFrame)
{
    QWidget frame;
    FilterPanel placed(&frame);
    placed.SetNotifyMessage(0);
    QSignalSpy placedSpy(placed.Notifier(), &CViewNotifier::notify);
    placed.NotifyOk();
    EXPECT_EQ(placedSpy.count(), 0);

    FilterPanel alone; // not in a frame yet
    QSignalSpy aloneSpy(alone.Notifier(), &CViewNotifier::notify);
    alone.NotifyOk();
    EXPECT_EQ(aloneSpy.count(), 0);
}

class ViewCommonFileTest : public ViewCommonTest
{
protected:
    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
    std::string WriteParamFile(int radius) const
    {
        CFilterDoc doc;
        doc.GetParams().Radius = radius;
        const std::string path = Path("params.qzp");
        const CBaseDoc* docs[] = {&doc};
        EXPECT_TRUE(SaveParamFile(path, docs));
        return path;
    }

    QTemporaryDir dir;
    testsupport::RecordingMessageSink sink;
};

TEST_F(ViewCommonFileTest, ImportLoadsTheFileAfterSavingTheUndoState)
{
    const std::string path = WriteParamFile(123);
    EXPECT_TRUE(panel.ImportParameters(path));
    EXPECT_EQ(panel.Radius(), 123);
    EXPECT_EQ(panel.ShownRadius(), 123);
    EXPECT_EQ(panel.applied, 1);
    EXPECT_TRUE(sink.messages.empty());
    panel.Undo();
    EXPECT_EQ(panel.Radius(), 0);
}

TEST_F(ViewCommonFileTest, AFileThatCannotBeReadIsReportedAndChangesNothing)
{
    panel.m_doc.GetParams().Radius = 7;
    EXPECT_FALSE(panel.ImportParameters(Path("missing.qzp")));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].stringId, kStrParamFileNotFound);
    EXPECT_EQ(panel.Radius(), 7);
    EXPECT_FALSE(panel.CanUndo());
    EXPECT_EQ(panel.applied, 0);
    EXPECT_TRUE(Taken(spy).empty());
}

TEST_F(ViewCommonFileTest, PanelsWithoutADocumentImportAndResetNothing)
{
    ListPanel list(&frame);
    EXPECT_FALSE(list.ImportParameters(WriteParamFile(5)));
    list.ResetParameters();
    list.Undo();
    EXPECT_FALSE(list.CanUndo());
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ViewCommonFileTest, ResetSavesTheUndoStateAndRestoresTheDefaults)
{
    panel.Drag({300});
    panel.ResetParameters();
    EXPECT_EQ(panel.Radius(), CFilterDoc::DefaultParams().Radius);
    EXPECT_EQ(panel.ShownRadius(), CFilterDoc::DefaultParams().Radius);
    panel.Undo();
    EXPECT_EQ(panel.Radius(), 300);
}

TEST_F(ViewCommonFileTest, TheImportDialogSetsTheSharedPathOnlyOnOk)
{
    std::string shared = Path("old.qzp");
    panel.SetParameterPath(&shared);
    const std::string chosen = WriteParamFile(42);

    QString askedFolder;
    QString askedName;
    std::optional<QString> answer;
    const auto previous = CViewCommon::SetParameterFileChooser(
        [&](QWidget*, const QString& folder, const QString& name, const QString& filter) {
            askedFolder = folder;
            askedName = name;
            EXPECT_TRUE(filter.contains(QStringLiteral("(*.qzp)")));
            return answer;
        });

    panel.ImportParametersDialog(); // Cancel
    EXPECT_EQ(shared, Path("old.qzp"));
    EXPECT_EQ(askedName, QStringLiteral("old.qzp"));
    EXPECT_EQ(askedFolder.toStdString() + "old.qzp", Path("old.qzp"));
    EXPECT_EQ(panel.Radius(), 0);

    answer = QString::fromStdString(chosen);
    panel.ImportParametersDialog();
    EXPECT_EQ(shared, chosen);
    EXPECT_EQ(panel.Radius(), 42);

    CViewCommon::SetParameterFileChooser(previous);
}

TEST_F(ViewCommonFileTest, PreviewSettingIsReadFromThePanelsSection)
{
    const std::string withKey = Path("with.ini");
    std::ofstream(withKey) << "[FilterView]\nfPreview=0\n";
    const std::string withoutKey = Path("without.ini");
    std::ofstream(withoutKey) << "[FilterView]\nOther=1\n";

    panel.LoadSettings(withoutKey);
    EXPECT_TRUE(panel.GetPreview());
    panel.LoadSettings(withKey);
    EXPECT_FALSE(panel.GetPreview());
}

} // namespace
