#include "controls/dialogs/PreferencesDlg.h"

#include "controls/support/FileFilter.h"

#include "controls/dialogs/MonitorList.h"
#include "controls/support/StringTable.h"
#include "core/GlobalSettings.h"
#include "core/PathUtils.h"
#include "core/UseOsCmm.h"
#include "tests/support/PeBuilder.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>

using testsupport::RecordingMessageSink;
using testsupport::PrivateUserFolders;

namespace {

// A monitor object with a list of displays, of which only some answer
// over DDC/CI. Like the real one, it switches to a display it was asked
// for even when that display does not answer.
class FakeMonitorList : public IMonitorList
{
public:
    std::vector<std::string> descriptions;
    std::vector<bool> answers;
    int current = 0;
    std::vector<int> selectCalls;

    std::vector<std::string> GetMonitorDescriptions() const override { return descriptions; }
    int GetCurrentMonitorIndex() const override { return current; }
    bool SelectMonitor(int index) override
    {
        selectCalls.push_back(index);
        if (index < 0 || index >= static_cast<int>(descriptions.size()))
            return false;
        current = index;
        return index < static_cast<int>(answers.size()) && answers[index];
    }
};

// The shown preferences dialog, or null.
CNewProjectDlg* ShownDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
    {
        if (auto* dialog = qobject_cast<CNewProjectDlg*>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

template <class T> T* Child(QWidget* dialog, const char* id)
{
    T* child = dialog->findChild<T*>(QLatin1String(id));
    EXPECT_NE(child, nullptr) << id;
    return child;
}

// Runs `steps` on the dialog once it shows. The dialog must be closed by
// the steps; when it is still open afterwards, Cancel closes it so that no
// test hangs, and the test fails.
void WhenShown(std::function<void(CNewProjectDlg&)> steps)
{
    QTimer::singleShot(0, [steps = std::move(steps)] {
        CNewProjectDlg* dialog = ShownDialog();
        ASSERT_NE(dialog, nullptr);
        const QPointer<CNewProjectDlg> guard(dialog);
        steps(*dialog);
        if (guard && guard->isVisible())
        {
            ADD_FAILURE() << "the dialog is still open";
            guard->reject();
        }
    });
}

// Every per-user folder inside a private temporary tree; the record and the
// colour engine put back afterwards.
class PreferencesDlgTest : public ::testing::Test
{
protected:
    PreferencesDlgTest()
        : m_saved(GetGlobalSettings()),
          m_savedUseOsCmm(UseOsCmm.load())
    {
        GlobalSettings s = DefaultGlobalSettings();
        s.AverageSize = 3;
        s.DisplayIndex = 1;
        s.SkipInitMsg = 0;
        SetGlobalSettings(s);
        UseOsCmm = 1;
        m_monitor.descriptions = {"Alpha 24", "Beta 27"};
        m_monitor.answers = {true, true};
        m_monitor.current = 1;
    }
    ~PreferencesDlgTest() override
    {
        SetGlobalSettings(m_saved);
        UseOsCmm = m_savedUseOsCmm;
        SetOpenFileChooser({});
    }

    PrivateUserFolders m_dir;
    GlobalSettings m_saved;
    int m_savedUseOsCmm;
    FakeMonitorList m_monitor;
};

TEST_F(PreferencesDlgTest, ShowsTheThreeSettingsAndListsTheDisplaysNumberedFromOne)
{
    RecordingMessageSink sink;
    WhenShown([](CNewProjectDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("環境設定"));
        auto* engine = Child<QCheckBox>(&dialog, "1305");
        EXPECT_TRUE(engine->isVisible());
        EXPECT_TRUE(engine->text().contains(QStringLiteral("LittleCMS")));
        EXPECT_TRUE(engine->isChecked());
        auto* displays = Child<QComboBox>(&dialog, "1362");
        EXPECT_TRUE(displays->isVisible());
        ASSERT_EQ(displays->count(), 2);
        EXPECT_EQ(displays->itemText(0), QStringLiteral("1: Alpha 24"));
        EXPECT_EQ(displays->itemText(1), QStringLiteral("2: Beta 27"));
        EXPECT_EQ(displays->currentIndex(), 1);
        EXPECT_TRUE(Child<QCheckBox>(&dialog, "1405")->isVisible());
        // The template's hidden controls are there, never shown.
        for (const char* id : {"1166", "1169", "1174", "1177", "1178", "1264", "1181", "1206"})
        {
            QWidget* hidden = Child<QWidget>(&dialog, id);
            EXPECT_FALSE(hidden->isVisible()) << id;
        }
        dialog.reject();
    });
    EXPECT_EQ(RunPreferencesDialog(nullptr, true, &m_monitor), 0);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(PreferencesDlgTest, OkStoresTheVisibleSettingsAndKeepsWhatHiddenListsDoNotSelect)
{
    struct Case
    {
        int averageSize;
        int displayIndex;
        bool withMonitor;
        bool emptyMonitorList;
    };
    const Case cases[] = {
        {3, 1, true, false},
        {0, 1, true, false},
        {2, 4, false, false},
        {1, 3, true, true},
    };
    for (const Case& c : cases)
    {
        GlobalSettings s = GetGlobalSettings();
        s.AverageSize = c.averageSize;
        s.DisplayIndex = c.displayIndex;
        SetGlobalSettings(s);
        FakeMonitorList monitor = m_monitor;
        if (c.emptyMonitorList)
            monitor.descriptions.clear();
        RecordingMessageSink sink(kMessageYes);

        WhenShown([](CNewProjectDlg& dialog) {
            Child<QCheckBox>(&dialog, "1405")->setChecked(true);
            Child<QPushButton>(&dialog, "1")->click();
        });
        EXPECT_EQ(RunPreferencesDialog(nullptr, true, c.withMonitor ? &monitor : nullptr), 1);

        const GlobalSettings after = GetGlobalSettings();
        EXPECT_EQ(after.AverageSize, c.averageSize);
        EXPECT_EQ(after.DisplayIndex, c.displayIndex);
        EXPECT_EQ(after.SkipInitMsg, 1);
        SetSkipInitMsg(0);
        // A monitor object listing no display is still asked; its refusal
        // is answered Yes here.
        EXPECT_EQ(sink.messages.size(), c.emptyMonitorList ? 1u : 0u);
        if (c.emptyMonitorList)
        {
            EXPECT_EQ(sink.messages[0].stringId, 3050);
            EXPECT_EQ(sink.messages[0].buttons, MessageButtons::YesNo);
        }
    }
}

TEST_F(PreferencesDlgTest, CancelChangesNothingAndWritesNothing)
{
    const GlobalSettings before = GetGlobalSettings();
    int refreshes = 0;
    RecordingMessageSink sink;
    WhenShown([](CNewProjectDlg& dialog) {
        Child<QCheckBox>(&dialog, "1305")->setChecked(false);
        Child<QCheckBox>(&dialog, "1405")->setChecked(true);
        Child<QComboBox>(&dialog, "1362")->setCurrentIndex(0);
        Child<QPushButton>(&dialog, "2")->click();
    });
    EXPECT_EQ(RunPreferencesDialog(nullptr, true, &m_monitor, [&] { ++refreshes; }), 0);

    const GlobalSettings after = GetGlobalSettings();
    EXPECT_EQ(after.SkipInitMsg, before.SkipInitMsg);
    EXPECT_EQ(after.DisplayIndex, before.DisplayIndex);
    EXPECT_EQ(after.AverageSize, before.AverageSize);
    EXPECT_EQ(after.InMode, before.InMode);
    EXPECT_EQ(after.INProfile, before.INProfile);
    EXPECT_EQ(UseOsCmm.load(), 1);
    EXPECT_EQ(refreshes, 0);
    EXPECT_TRUE(m_monitor.selectCalls.empty());
    EXPECT_EQ(m_monitor.current, 1);
    EXPECT_TRUE(sink.messages.empty());
    // No settings file came into being.
    EXPECT_TRUE(testsupport::ReadTextFile(GetIniFilePath()).empty());
}

TEST_F(PreferencesDlgTest, OkWritesNoSettingsFileEither)
{
    RecordingMessageSink sink;
    WhenShown([](CNewProjectDlg& dialog) {
        Child<QCheckBox>(&dialog, "1405")->setChecked(true);
        Child<QPushButton>(&dialog, "1")->click();
    });
    EXPECT_EQ(RunPreferencesDialog(nullptr, true, &m_monitor), 1);
    EXPECT_EQ(GetSkipInitMsg(), 1);
    // Only the shutdown writes "UseOsCmm" and "SkipInitMsg".
    EXPECT_TRUE(testsupport::ReadTextFile(GetIniFilePath()).empty());
}

TEST_F(PreferencesDlgTest, TheEngineBoxIsGreyedOnlyWhileTheOwnPathCannotBeLeftFor)
{
    struct Case
    {
        bool ownPathUsable;
        int stored;
        bool checked, enabled;
    };
    const Case cases[] = {
        {false, 1, true, false},
        {false, 0, false, true},
        {true, 1, true, true},
        {true, 0, false, true},
    };
    RecordingMessageSink sink;
    for (const Case& c : cases)
    {
        UseOsCmm = c.stored;
        WhenShown([&c](CNewProjectDlg& dialog) {
            auto* engine = Child<QCheckBox>(&dialog, "1305");
            EXPECT_EQ(engine->isChecked(), c.checked) << c.ownPathUsable << c.stored;
            EXPECT_EQ(engine->isEnabled(), c.enabled) << c.ownPathUsable << c.stored;
            dialog.reject();
        });
        RunPreferencesDialog(nullptr, c.ownPathUsable, &m_monitor);
    }
}

TEST_F(PreferencesDlgTest, AChangedEngineIsStoredBeforeTheRefreshWhichMayPutLittleCmsBack)
{
    struct Case
    {
        bool refreshForcesLittleCms;
        int expected;
    };
    for (const Case c : {Case{false, 0}, Case{true, 1}})
    {
        UseOsCmm = 1;
        int seenByRefresh = -1;
        int refreshes = 0;
        RecordingMessageSink sink;
        WhenShown([](CNewProjectDlg& dialog) {
            Child<QCheckBox>(&dialog, "1305")->setChecked(false);
            Child<QPushButton>(&dialog, "1")->click();
        });
        EXPECT_EQ(RunPreferencesDialog(nullptr, true, &m_monitor,
                                       [&] {
                                           ++refreshes;
                                           seenByRefresh = UseOsCmm.load();
                                           if (c.refreshForcesLittleCms)
                                               UseOsCmm = 1;
                                       }),
                  1);
        EXPECT_EQ(refreshes, 1);
        EXPECT_EQ(seenByRefresh, 0);
        EXPECT_EQ(UseOsCmm.load(), c.expected);
    }

    // An unchanged engine asks for no refresh.
    int refreshes = 0;
    WhenShown([](CNewProjectDlg& dialog) { Child<QPushButton>(&dialog, "1")->click(); });
    RecordingMessageSink sink;
    EXPECT_EQ(RunPreferencesDialog(nullptr, true, &m_monitor, [&] { ++refreshes; }), 1);
    EXPECT_EQ(refreshes, 0);
}

TEST_F(PreferencesDlgTest, ADisplayWithoutDdcIsChosenOnlyAfterYes)
{
    m_monitor.answers = {false, true};
    // No: the dialog stays, the display in use is chosen again; then the
    // answering display closes it.
    {
        RecordingMessageSink sink(kMessageNo);
        WhenShown([this](CNewProjectDlg& dialog) {
            Child<QComboBox>(&dialog, "1362")->setCurrentIndex(0);
            Child<QPushButton>(&dialog, "1")->click();
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_EQ(m_monitor.current, 1);
            Child<QComboBox>(&dialog, "1362")->setCurrentIndex(1);
            Child<QPushButton>(&dialog, "1")->click();
        });
        EXPECT_EQ(RunPreferencesDialog(nullptr, true, &m_monitor), 1);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].stringId, 3050);
        const std::vector<int> calls = {0, 1, 1, 1};
        EXPECT_EQ(m_monitor.selectCalls, calls);
        EXPECT_EQ(GetDisplayIndex(), 1);
    }
    // Yes: the silent display becomes the one in use.
    m_monitor.selectCalls.clear();
    {
        RecordingMessageSink sink(kMessageYes);
        WhenShown([](CNewProjectDlg& dialog) {
            Child<QComboBox>(&dialog, "1362")->setCurrentIndex(0);
            Child<QPushButton>(&dialog, "1")->click();
        });
        EXPECT_EQ(RunPreferencesDialog(nullptr, true, &m_monitor), 1);
        EXPECT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(GetDisplayIndex(), 0);
        EXPECT_EQ(m_monitor.current, 0);
    }
}

TEST_F(PreferencesDlgTest, WithoutAMonitorObjectTheDisplayListIsDisabledAndLeftAlone)
{
    RecordingMessageSink sink;
    WhenShown([](CNewProjectDlg& dialog) {
        auto* displays = Child<QComboBox>(&dialog, "1362");
        EXPECT_FALSE(displays->isEnabled());
        EXPECT_EQ(displays->count(), 0);
        Child<QPushButton>(&dialog, "1")->click();
    });
    EXPECT_EQ(RunPreferencesDialog(nullptr, true, nullptr), 1);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(GetDisplayIndex(), 1);
}

TEST_F(PreferencesDlgTest, AnOwnerDeletedWhileTheDialogRunsIsNotTouched)
{
    auto* owner = new QWidget;
    owner->show();
    const GlobalSettings before = GetGlobalSettings();
    RecordingMessageSink sink;
    QTimer::singleShot(0, [owner] {
        ASSERT_NE(ShownDialog(), nullptr);
        delete owner;
    });
    EXPECT_EQ(RunPreferencesDialog(owner, true, &m_monitor), 0);
    EXPECT_EQ(ShownDialog(), nullptr);
    EXPECT_EQ(GetGlobalSettings().SkipInitMsg, before.SkipInitMsg);
    EXPECT_TRUE(m_monitor.selectCalls.empty());
}

TEST_F(PreferencesDlgTest, TheRawExtensionEditorReplacesTheSessionsExtensionsOnOk)
{
    RecordingMessageSink sink;
    WhenShown([](CNewProjectDlg& dialog) {
        // The editor runs modally inside the click.
        QTimer::singleShot(0, [] {
            QWidget* editor = nullptr;
            for (QWidget* widget : QApplication::topLevelWidgets())
            {
                if (widget->objectName() == QLatin1String("198") && widget->isVisible())
                    editor = widget;
            }
            ASSERT_NE(editor, nullptr);
            Child<QLineEdit>(editor, "1268")->setText(QStringLiteral("abc"));
            Child<QPushButton>(editor, "1039")->click();
            Child<QPushButton>(editor, "1")->click();
        });
        Child<QPushButton>(&dialog, "1181")->click();
        EXPECT_EQ(Child<QLineEdit>(&dialog, "1264")->text(),
                  QStringLiteral("*.cr2;*.crw;*.dcr;*.mrw;*.nef;*.orf;*.raw;*.pef;*.x3f;*.abc"));
        Child<QPushButton>(&dialog, "1")->click();
    });
    EXPECT_EQ(RunPreferencesDialog(nullptr, true, &m_monitor), 1);
    const std::vector<std::string> expected = {".abc"};
    EXPECT_EQ(GetRawExtensions(), expected);
    EXPECT_TRUE(IsRawExtension(".ABC"));
    SetRawExtensions({});
}

TEST_F(PreferencesDlgTest, TheConverterIsTakenOnlyFromVersionThreePointTwoOn)
{
    struct Case
    {
        const char* name;
        const char* version;
        bool taken;
        int message; // 0: none
    };
    const Case cases[] = {
        {"Adobe DNG Converter.exe", "3.10", true, 0},
        {"Adobe DNG Converter.exe", "3.2.0.1", true, 0},
        {"Adobe DNG Converter.exe", "3.1", false, 1023},
        {"Other.exe", "5.0", false, 1016},
    };
    for (const Case& c : cases)
    {
        const std::string folder = m_dir.File(std::string(c.version) + "/");
        std::filesystem::create_directories(folder);
        const std::string path = folder + c.name;
        testsupport::VersionRecipe recipe = testsupport::DefaultVersionRecipe();
        for (auto& [key, value] : recipe.tables.at(0).strings)
        {
            if (key == "FileVersion")
                value = c.version;
        }
        testsupport::WriteBinaryFile(
            path, testsupport::BuildPeImage(testsupport::BuildVersionBlock(recipe)).bytes);
        SetOpenFileChooser([&path](QWidget*, const QString& title, const QString&, const QString&) {
            EXPECT_EQ(title, QStringLiteral("DNG Converterパス"));
            return QString::fromStdString(path);
        });

        RecordingMessageSink sink;
        WhenShown([&c, &path](CNewProjectDlg& dialog) {
            Child<QPushButton>(&dialog, "1179")->click();
            EXPECT_EQ(Child<QLineEdit>(&dialog, "1178")->text().toStdString(),
                      c.taken ? path : std::string());
            EXPECT_EQ(Child<QLineEdit>(&dialog, "1180")->text().toStdString(),
                      c.taken ? std::string(c.version) : std::string());
            Child<QPushButton>(&dialog, "1")->click();
        });
        EXPECT_EQ(RunPreferencesDialog(nullptr, true, &m_monitor), 1);
        EXPECT_EQ(GetDNGConverterPath(), c.taken ? path : std::string()) << c.version;
        ASSERT_EQ(sink.messages.size(), c.message != 0 ? 1u : 0u) << c.version;
        if (c.message != 0)
        {
            EXPECT_EQ(sink.messages[0].stringId, c.message);
        }
        SetDNGConverterPath("");
    }
}

TEST_F(PreferencesDlgTest, AnUnusableColourSpaceDisablesOkAndEnterKeepsTheDialog)
{
    GlobalSettings s = GetGlobalSettings();
    s.InMode = 2;
    s.InFilePath = m_dir.File("gone.tif");
    SetGlobalSettings(s);
    RecordingMessageSink sink;
    bool stayed = false;
    WhenShown([&stayed](CNewProjectDlg& dialog) {
        EXPECT_FALSE(Child<QPushButton>(&dialog, "1")->isEnabled());
        QTest::keyClick(&dialog, Qt::Key_Return);
        stayed = dialog.isVisible();
        dialog.reject();
    });
    EXPECT_EQ(RunPreferencesDialog(nullptr, true, &m_monitor), 0);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(GetGlobalSettings().InMode, 2);
}

TEST_F(PreferencesDlgTest, TheHiddenButtonsAskWhatTheyAskAndRefuseImagesWithoutProfile)
{
    // The browse buttons serve the image modes only.
    GlobalSettings s = GetGlobalSettings();
    s.InMode = 2;
    s.WcsMode = 1;
    SetGlobalSettings(s);
    const std::string noProfile = m_dir.File("plain.tif");
    testsupport::WriteTextFile(noProfile, "not an image");
    SetOpenFileChooser([&](QWidget*, const QString&, const QString&, const QString& filter) {
        EXPECT_TRUE(filter.contains(QStringLiteral("*.tif")) || LoadString(2004).isEmpty());
        return QString::fromStdString(noProfile);
    });
    struct Case
    {
        const char* button;
        int message;
        MessageButtons buttons;
    };
    const Case cases[] = {
        {"1171", 1001, MessageButtons::Ok},
        {"1176", 1001, MessageButtons::Ok},
        {"1206", 1011, MessageButtons::OkCancel},
    };
    for (const Case& c : cases)
    {
        RecordingMessageSink sink(kMessageCancel);
        WhenShown([&c](CNewProjectDlg& dialog) {
            const QString inFile = Child<QLineEdit>(&dialog, "1170")->text();
            const QString wcsFile = Child<QLineEdit>(&dialog, "1175")->text();
            Child<QPushButton>(&dialog, c.button)->click();
            // The refused image leaves the paths as they were.
            EXPECT_EQ(Child<QLineEdit>(&dialog, "1170")->text(), inFile);
            EXPECT_EQ(Child<QLineEdit>(&dialog, "1175")->text(), wcsFile);
            dialog.reject();
        });
        RunPreferencesDialog(nullptr, true, &m_monitor);
        ASSERT_EQ(sink.messages.size(), 1u) << c.button;
        EXPECT_EQ(sink.messages[0].stringId, c.message);
        EXPECT_EQ(sink.messages[0].buttons, c.buttons);
    }
}

TEST(PreferencesFilterTest, DesignFiltersBecomeQtFilters)
{
    EXPECT_EQ(
        FileDialogFilterFromTable(QStringLiteral("TIFFファイル(*.tif)|*.tif|JPEGファイル(*.jpg)|*."
                                                 "jpg|画像ファイル(*.tif;*.jpg)|*.tif;*.jpg;||")),
        QStringLiteral("TIFFファイル(*.tif) (*.tif *.tiff);;JPEGファイル(*.jpg) (*.jpg *.jpeg);;"
                       "画像ファイル(*.tif;*.jpg) (*.tif *.tiff *.jpg *.jpeg)"));
    EXPECT_EQ(FileDialogFilterFromTable(QStringLiteral("exeファイル(*.exe)|*.exe||")),
              QStringLiteral("exeファイル(*.exe) (*.exe)"));
    EXPECT_EQ(FileDialogFilterFromTable(QString()), QString());
}

} // namespace
