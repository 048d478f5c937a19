// The batch panel on the real project, offscreen, in private user folders:
// the "BatchView" settings and their fallbacks, which controls are live,
// the size edits and arrows, the checks that stop a run (missing parameter
// file, missing save folder, a folder path too long), and a small batch run
// from the panel's own button down to the files it writes.

#include "app/batch/BatchView.h"
#include "app/batch/BatchViewLogic.h"
#include "app/shell/ProgressDialogs.h"
#include "app/shell/PanelFactories.h"

#include "controls/dialogs/BrowseDir.h"
#include "controls/dialogs/OptionJpegDlg.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/UpDown.h"
#include "core/ImageFileProbe.h"
#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "correction/ProjectManage.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ReloadCache.h"

#include "tests/correction/ProjectTestSupport.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::PrivateUserFolders;
using testsupport::RecordingMessageSink;

template <class T> T* Find(QWidget& panel, int id)
{
    T* child = panel.findChild<T*>(QString::number(id));
    EXPECT_NE(child, nullptr) << id;
    return child;
}

std::vector<std::string> FileNames(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(folder, ec))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every position the batch window's bar takes, from the moment the window
// is shown: a filter on the application sees the window appear.
class BatchBarRecorder : public QObject
{
public:
    BatchBarRecorder() { qApp->installEventFilter(this); }
    ~BatchBarRecorder() override { qApp->removeEventFilter(this); }

    std::vector<int> positions;
    int windows = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* dialog = qobject_cast<CBatchProgDlg*>(watched);
        if (dialog != nullptr && event->type() == QEvent::Show)
        {
            auto* bar = dialog->findChild<QProgressBar*>(QStringLiteral("1003"));
            if (bar != nullptr && !m_watched.contains(bar))
            {
                ++windows;
                m_watched.append(bar);
                positions.push_back(bar->value());
                connect(bar, &QProgressBar::valueChanged, this,
                        [this](int value) { positions.push_back(value); });
            }
        }
        return false;
    }

private:
    QList<QProgressBar*> m_watched;
};

// Puts a folder chooser in place of the folder dialog for one test.
class ScopedFolderChooser
{
public:
    explicit ScopedFolderChooser(CBrowseDir::FolderChooser chooser)
        : m_previous(CBrowseDir::SetFolderChooser(std::move(chooser)))
    {}
    ~ScopedFolderChooser() { CBrowseDir::SetFolderChooser(std::move(m_previous)); }

private:
    CBrowseDir::FolderChooser m_previous;
};

class ScopedParameterFileChooser
{
public:
    explicit ScopedParameterFileChooser(CViewCommon::ParameterFileChooser chooser)
        : m_previous(CViewCommon::SetParameterFileChooser(std::move(chooser)))
    {}
    ~ScopedParameterFileChooser() { CViewCommon::SetParameterFileChooser(std::move(m_previous)); }

private:
    CViewCommon::ParameterFileChooser m_previous;
};

class BatchViewTest : public ::testing::Test
{
protected:
    BatchViewTest()
        : monitor(projecttest::OpenProfile(projecttest::SRGBProfileBytes(), "monitor.icm")),
          working(projecttest::OpenProfile(projecttest::SRGBProfileBytes(), "working.icm")),
          input(projecttest::OpenProfile(projecttest::SRGBProfileBytes(), "input.icm"))
    {
        fs::create_directories(folders.File("images"));
        project = std::make_unique<CProjectManage>(std::string());
        project->SetImageView(&view);
        project->SetShell(&shell);
        EXPECT_TRUE(project->SetProjectProfiles(&monitor, &working, &input));
    }

    ~BatchViewTest() override
    {
        panel.reset();
        project.reset();
        ClearReloadImageCache();
        ClearReloadThumbnailCache();
    }

    // The panel reads the settings when it is made: write them first.
    void WriteSetting(const std::string& key, const std::string& value)
    {
        CIniFile ini(GetIniFilePath());
        ini.SetString(kBatchSection, key, value);
    }

    CBatchView& MakePanel()
    {
        panel = std::make_unique<CBatchView>();
        panel->SetProject(project.get());
        panel->resize(320, 560);
        panel->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
        return *panel;
    }

    // A generated image added to the list (checked, as a new entry is); the
    // list takes images of 50 pixels a side or more.
    std::string AddImage(const std::string& name, int width, int height)
    {
        const std::string path = folders.File("images/" + name);
        CRGBImage image = projecttest::GradientImage(width, height);
        if (GetFileExtFromPath(path) == ".jpg")
            projecttest::WriteJpeg(path, image, projecttest::SRGBProfileBytes());
        else
            projecttest::WriteTiff16(path, image, projecttest::SRGBProfileBytes());
        CImageFileInfo entry;
        EXPECT_EQ(entry.ReadInfo(path), 1) << path;
        EXPECT_TRUE(project->AddFile(entry, project->GetCount())) << path;
        return path;
    }

    std::string MakeFolder(const std::string& name)
    {
        const std::string path = folders.File(name);
        fs::create_directories(path);
        return path;
    }

    // Picks a folder through the panel's folder button.
    void ChooseFolder(const std::string& path)
    {
        ScopedFolderChooser chooser([path](QWidget*, const QString&, const QString&) {
            return QString::fromStdString(path);
        });
        Find<QPushButton>(*panel, 1035)->click();
    }

    void SelectMode(BatchCorrection mode)
    {
        QComboBox* combo = Find<QComboBox>(*panel, 1038);
        combo->setCurrentIndex(static_cast<int>(mode));
        emit combo->activated(static_cast<int>(mode));
    }

    void TypeInto(int id, const QString& text)
    {
        CEditEx* edit = Find<CEditEx>(*panel, id);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    PrivateUserFolders folders;
    RecordingMessageSink messages;
    CColorProfile monitor;
    CColorProfile working;
    CColorProfile input;
    projecttest::FakeImageView view;
    projecttest::FakeShell shell;
    std::unique_ptr<CProjectManage> project;
    std::unique_ptr<CBatchView> panel;
};

// ---- Settings

TEST_F(BatchViewTest, SettingsFallBackToTheirDefaultsOrTheCurrentValue)
{
    const std::string folder = MakeFolder("out");
    const std::string file = folders.File("images/not-a-folder.txt");
    testsupport::WriteTextFile(file, "x");
    const std::string pictures = GetPicturesFolder();

    // folder: empty for the pictures folder.
    struct Expected
    {
        int width, height, quality, mode, resize;
        std::string folder;
        std::string paramFile;
    };
    const Expected defaults{4000, 4000, 2, 0, 0, "", ""};
    const std::string kept = folder + "/";
    const struct
    {
        std::vector<std::pair<std::string, std::string>> ini;
        Expected expected;
    } cases[] = {
        {{}, defaults},
        {{{"Width", "30"}, {"Height", "4000"}}, defaults},
        {{{"Width", "5000"}, {"Height", "49"}}, defaults},
        {{{"Width", "50"}, {"Height", "1234"}}, {50, 1234, 2, 0, 0, "", ""}},
        {{{"Width", "abc"}}, defaults}, // no number reads as 0, below the range
        {{{"FileFormat", "1"}}, defaults},
        {{{"FileFormat", "9"}}, defaults},
        {{{"JpegQuality", "4"}}, {4000, 4000, 4, 0, 0, "", ""}},
        {{{"JpegQuality", "5"}}, defaults},
        {{{"JpegQuality", "-1"}}, defaults},
        {{{"CalibMode", "2"}, {"DocFilePath", "/p/a.qzp"}}, {4000, 4000, 2, 2, 0, "", "/p/a.qzp"}},
        {{{"CalibMode", "3"}}, defaults},
        {{{"Size", "7"}}, {4000, 4000, 2, 0, 7, "", ""}},
        {{{"SaveFolder", folder}}, {4000, 4000, 2, 0, 0, kept, ""}},
        {{{"SaveFolder", kept}}, {4000, 4000, 2, 0, 0, kept, ""}},
        {{{"SaveFolder", file}}, defaults},
        {{{"SaveFolder", folders.File("missing")}}, defaults},
    };
    for (const auto& c : cases)
    {
        std::string label;
        for (const auto& [key, value] : c.ini)
            label += key + "=" + value + " ";
        fs::remove(GetIniFilePath());
        for (const auto& [key, value] : c.ini)
            WriteSetting(key, value);
        CBatchView fresh;
        const BatchSettings& s = fresh.GetSettings();
        const Expected& e = c.expected;
        EXPECT_EQ(s.width, e.width) << label;
        EXPECT_EQ(s.height, e.height) << label;
        EXPECT_EQ(s.jpegQuality, e.quality) << label;
        EXPECT_EQ(s.calibMode, e.mode) << label;
        EXPECT_EQ(s.resize, e.resize) << label;
        EXPECT_EQ(s.saveFolder, e.folder.empty() ? pictures : e.folder) << label;
        EXPECT_EQ(s.paramFile, e.paramFile) << label;
        // Every run saves JPEG, whatever the settings say.
        EXPECT_EQ(s.fileFormat, kOutputJpeg) << label;
    }
}

TEST_F(BatchViewTest, OutOfRangeSettingKeepsTheValueHeldBefore)
{
    CIniFile ini(GetIniFilePath());
    ini.SetInt(kBatchSection, "Width", 30);
    ini.SetInt(kBatchSection, "CalibMode", 7);
    BatchSettings settings;
    settings.width = 1234;
    settings.calibMode = 1;
    LoadBatchSettings(ini, "/pictures/", settings);
    EXPECT_EQ(settings.width, 1234);
    EXPECT_EQ(settings.calibMode, 1);
    EXPECT_EQ(settings.height, kBatchMaxSize);
}

TEST_F(BatchViewTest, PanelNeverWritesItsSection)
{
    WriteSetting("Width", "640");
    WriteSetting("CalibMode", "1");
    WriteSetting("Size", "1");
    const std::vector<std::pair<std::string, std::string>> written = {
        {"Width", "640"}, {"CalibMode", "1"}, {"Size", "1"}};
    MakePanel();
    TypeInto(1302, QStringLiteral("800"));
    EXPECT_EQ(panel->GetSettings().width, 800);
    panel.reset();
    const CIniFile ini(GetIniFilePath());
    EXPECT_EQ(ini.GetSection(kBatchSection), written);
}

// ---- Rules

TEST(BatchViewLogicTest, RunSizesAndModesAreLimited)
{
    const struct
    {
        int typed;
        int run;
    } sizes[] = {{10, 50}, {49, 50}, {50, 50}, {4000, 4000}, {9999, 4000}, {-5, 50}};
    for (const auto& s : sizes)
        EXPECT_EQ(ClampBatchSize(s.typed), s.run) << s.typed;

    const struct
    {
        int panel;
        int project;
    } modes[] = {{0, kBatchAsTheyAre},
                 {1, kBatchAsAtStart},
                 {2, kBatchFromParamFile},
                 {3, kBatchAsTheyAre},
                 {-1, kBatchAsTheyAre}};
    for (const auto& m : modes)
        EXPECT_EQ(BatchProjectMode(m.panel), m.project) << m.panel;
}

TEST(BatchViewLogicTest, ControlStatesFollowModeEntriesAndSizeFlag)
{
    const struct
    {
        const char* what;
        int mode;
        std::size_t targets;
        const char* folder;
        const char* paramFile;
        int resize;
        bool run, paramControls, sizeCheck, sizeFields;
    } cases[] = {
        {"per image", 0, 2, "/out/", "", 1, true, false, false, false},
        {"no entry marked", 0, 0, "/out/", "", 0, false, false, false, false},
        {"no save folder", 1, 2, "", "", 0, false, false, true, false},
        {"current, no size", 1, 2, "/out/", "", 0, true, false, true, false},
        {"current, size", 1, 2, "/out/", "", 1, true, false, true, true},
        {"file, none chosen", 2, 2, "/out/", "", 0, false, true, true, false},
        {"file chosen", 2, 2, "/out/", "/p/a.qzp", 5, true, true, true, true},
        {"file chosen, no entry", 2, 0, "/out/", "/p/a.qzp", 0, false, true, true, false},
    };
    for (const auto& c : cases)
    {
        BatchSettings settings;
        settings.calibMode = c.mode;
        settings.saveFolder = c.folder;
        settings.paramFile = c.paramFile;
        settings.resize = c.resize;
        const BatchControlStates states = GetBatchControlStates(settings, c.targets);
        EXPECT_EQ(states.run, c.run) << c.what;
        EXPECT_EQ(states.paramFile, c.paramControls) << c.what;
        EXPECT_EQ(states.sizeCheck, c.sizeCheck) << c.what;
        EXPECT_EQ(states.sizeFields, c.sizeFields) << c.what;
        EXPECT_TRUE(states.options) << c.what; // JPEG always has its options
    }
}

TEST(BatchViewLogicTest, FolderPathLimitCountsCharacters)
{
    const std::string kana = "あ"; // three bytes, one character
    const struct
    {
        std::string path;
        bool accepted;
    } cases[] = {
        {"/" + std::string(239, 'a'), true},  // 240 characters
        {"/" + std::string(240, 'a'), false}, // 241
        {"/" + std::string(300, 'a'), false},
        {[&] {
             std::string p = "/";
             for (int i = 0; i < 200; ++i)
                 p += kana;
             return p;
         }(),
         true}, // 201 characters in 601 bytes
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsSaveFolderPathAccepted(c.path), c.accepted) << c.path.size();
}

TEST_F(BatchViewTest, StackIndexEightIsTheBatchPanel)
{
    const CViewParam::Factory make = DefaultPanelFactory(8);
    ASSERT_TRUE(make);
    const std::unique_ptr<QWidget> made(make(nullptr));
    EXPECT_NE(qobject_cast<CBatchView*>(made.get()), nullptr);
}

// ---- Controls

TEST_F(BatchViewTest, ControlsFollowTheMarkedEntriesTheModeAndTheSizeCheck)
{
    AddImage("a.jpg", 80, 60);
    AddImage("b.jpg", 80, 60);
    const std::string paramFile = folders.File("p.qzp");
    ASSERT_TRUE(project->SaveParamFile(paramFile));
    MakePanel();

    QPushButton* run = Find<QPushButton>(*panel, 1032);
    QPushButton* paramButton = Find<QPushButton>(*panel, 1210);
    QCheckBox* sizeCheck = Find<QCheckBox>(*panel, 1298);
    CEditEx* width = Find<CEditEx>(*panel, 1302);
    CUpDown* heightSpin = Find<CUpDown>(*panel, 1305);

    EXPECT_EQ(Find<QLineEdit>(*panel, 1033)->text(), QStringLiteral("2"));
    EXPECT_EQ(Find<QComboBox>(*panel, 1036)->count(), 1);
    EXPECT_EQ(Find<QComboBox>(*panel, 1036)->currentText(), QStringLiteral("JPEG"));
    EXPECT_EQ(Find<QComboBox>(*panel, 1038)->itemText(2),
              QStringLiteral("指定の補正パラメータで補正"));
    EXPECT_TRUE(run->isEnabled());
    EXPECT_FALSE(paramButton->isEnabled());
    EXPECT_FALSE(sizeCheck->isEnabled());
    EXPECT_FALSE(width->isEnabled());

    SelectMode(BatchCorrection::Current);
    EXPECT_TRUE(sizeCheck->isEnabled());
    EXPECT_FALSE(width->isEnabled());
    QTest::mouseClick(sizeCheck, Qt::LeftButton);
    EXPECT_EQ(panel->GetSettings().resize, 1);
    EXPECT_TRUE(width->isEnabled());
    EXPECT_TRUE(heightSpin->isEnabled());

    // The specified-parameters mode waits for its file.
    SelectMode(BatchCorrection::ParameterFile);
    EXPECT_TRUE(paramButton->isEnabled());
    EXPECT_FALSE(run->isEnabled());
    ScopedParameterFileChooser chooser(
        [&](QWidget*, const QString&, const QString&, const QString&) -> std::optional<QString> {
            return QString::fromStdString(paramFile);
        });
    paramButton->click();
    EXPECT_EQ(panel->GetSettings().paramFile, paramFile);
    EXPECT_EQ(Find<QLineEdit>(*panel, 1039)->text(), QStringLiteral("p.qzp"));
    EXPECT_TRUE(run->isEnabled());

    // Unmarking every entry disables the run once the panel is shown again.
    for (std::size_t i = 0; i < project->GetCount(); ++i)
        project->GetItem(i).m_check = 0;
    panel->hide();
    panel->show();
    EXPECT_EQ(panel->GetTargetCount(), 0);
    EXPECT_FALSE(run->isEnabled());
}

TEST_F(BatchViewTest, SizeEditsAndArrowsStayWithinTheBox)
{
    MakePanel();
    SelectMode(BatchCorrection::Current);
    QTest::mouseClick(Find<QCheckBox>(*panel, 1298), Qt::LeftButton);
    CEditEx* width = Find<CEditEx>(*panel, 1302);

    const struct
    {
        const char* typed;
        int kept;
    } typed[] = {{"10", 50}, {"9999", 4000}, {"640", 640}};
    for (const auto& t : typed)
    {
        TypeInto(1302, QString::fromLatin1(t.typed));
        EXPECT_EQ(panel->GetSettings().width, t.kept) << t.typed;
        EXPECT_EQ(width->text(), QString::number(t.kept)) << t.typed;
    }

    // An arrow steps the edit at once; the value is taken over on release.
    CUpDown* spin = Find<CUpDown>(*panel, 1304);
    EXPECT_EQ(spin->GetPos(), 640);
    spin->Step(+1);
    EXPECT_EQ(width->text(), QStringLiteral("641"));
    EXPECT_EQ(panel->GetSettings().width, 640);
    spin->EndScroll();
    EXPECT_EQ(panel->GetSettings().width, 641);

    TypeInto(1302, QStringLiteral("4000"));
    spin->Step(+1);
    spin->EndScroll();
    EXPECT_EQ(panel->GetSettings().width, 4000);
}

TEST_F(BatchViewTest, BackButtonTellsTheFrameOk)
{
    QWidget frame;
    auto* batch = new CBatchView(&frame);
    batch->SetNotifyMessage(UWM_BATCHVIEW_NOTIFY);
    QSignalSpy spy(batch->Notifier(), &CViewNotifier::notify);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    QTest::mouseClick(Find<QPushButton>(*batch, 1209), Qt::LeftButton);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toInt(), UWM_BATCHVIEW_NOTIFY);
    EXPECT_EQ(spy[0][1].toInt(), static_cast<int>(PanelNotify::Ok));
}

TEST_F(BatchViewTest, ImportedParameterFileSelectsItsMode)
{
    AddImage("a.jpg", 80, 60);
    MakePanel();
    EXPECT_TRUE(panel->ImportParameters("/somewhere/params.qzp"));
    EXPECT_EQ(panel->GetSettings().calibMode, static_cast<int>(BatchCorrection::ParameterFile));
    EXPECT_EQ(panel->GetSettings().paramFile, "/somewhere/params.qzp");
    EXPECT_EQ(Find<QComboBox>(*panel, 1038)->currentIndex(), 2);
    EXPECT_EQ(Find<QLineEdit>(*panel, 1039)->text(), QStringLiteral("params.qzp"));
    EXPECT_TRUE(Find<QPushButton>(*panel, 1032)->isEnabled());
    // The panel has no document to undo.
    EXPECT_FALSE(panel->CanUndo());
    panel->ResetParameters();
    EXPECT_EQ(panel->GetSettings().paramFile, "/somewhere/params.qzp");
}

TEST_F(BatchViewTest, EnteringBringsTheShownImageThroughEveryStep)
{
    const std::string path = AddImage("a.jpg", 80, 60);
    MakePanel();
    panel->OnEnterStep(); // nothing loaded: nothing to process
    EXPECT_LT(project->GetCurrentStep(), 0);
    ASSERT_EQ(project->LoadImage(project->GetItem(0), false), 1) << path;
    project->ProcessToStep(2, project->GetCompareMode(), false);
    ASSERT_EQ(project->GetCurrentStep(), 2);
    panel->OnEnterStep();
    EXPECT_EQ(project->GetCurrentStep(), CProjectManage::kStepCount);
}

// ---- Checks before a run

TEST_F(BatchViewTest, DeletedParameterFileStopsTheRunWithItsPath)
{
    AddImage("a.jpg", 80, 60);
    const std::string out = MakeFolder("out");
    const std::string paramFile = folders.File("gone.qzp");
    ASSERT_TRUE(project->SaveParamFile(paramFile));
    MakePanel();
    ChooseFolder(out);
    panel->ImportParameters(paramFile);
    ASSERT_TRUE(Find<QPushButton>(*panel, 1032)->isEnabled());
    fs::remove(paramFile);

    QTest::mouseClick(Find<QPushButton>(*panel, 1032), Qt::LeftButton);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, kStrParamFileNotFound);
    EXPECT_EQ(messages.messages[0].args, std::vector<std::string>{paramFile});
    EXPECT_TRUE(FileNames(out).empty());
    EXPECT_FALSE(project->IsBusy());
}

TEST_F(BatchViewTest, MissingSaveFolderStopsTheRun)
{
    AddImage("a.jpg", 80, 60);
    const std::string out = MakeFolder("out");
    MakePanel();
    ChooseFolder(out);
    EXPECT_EQ(panel->GetSettings().saveFolder, out + "/");
    EXPECT_EQ(Find<QLineEdit>(*panel, 1034)->text(), QString::fromStdString(out + "/"));
    fs::remove(out);

    QTest::mouseClick(Find<QPushButton>(*panel, 1032), Qt::LeftButton);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, kStrSaveFolderMissing);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(shell.opened.empty());
}

TEST_F(BatchViewTest, FolderOf241CharactersIsRefused)
{
    MakePanel();
    const std::string before = panel->GetSettings().saveFolder;
    std::string path = folders.Path() + "f";
    path += std::string(241 - path.size(), 'x');
    ASSERT_EQ(path.size(), 241u);

    ChooseFolder(path);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, kStrFolderPathTooLong);
    EXPECT_EQ(panel->GetSettings().saveFolder, before);

    path.pop_back();
    ChooseFolder(path);
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(panel->GetSettings().saveFolder, path + "/");
}

// ---- A run

TEST_F(BatchViewTest, RunButtonSavesTheMarkedEntriesResizedWithTheLog)
{
    AddImage("one.jpg", 120, 80);
    AddImage("two.tif", 90, 120);
    const std::string skipped = AddImage("three.jpg", 60, 60);
    for (std::size_t i = 0; i < project->GetCount(); ++i)
        if (project->GetItem(i).m_path == skipped)
            project->GetItem(i).m_check = 0;
    const std::string out = MakeFolder("results");
    MakePanel();
    EXPECT_EQ(panel->GetTargetCount(), 2);
    ChooseFolder(out);
    SelectMode(BatchCorrection::Current);
    QTest::mouseClick(Find<QCheckBox>(*panel, 1298), Qt::LeftButton);
    TypeInto(1302, QStringLiteral("10"));
    TypeInto(1303, QStringLiteral("9999"));

    // The JPEG quality through the options dialog.
    QTimer::singleShot(0, panel.get(), [] {
        auto* dialog = qobject_cast<COptionJpegDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QSlider*>(QStringLiteral("1130"))->setValue(4);
        dialog->accept();
    });
    Find<QPushButton>(*panel, 1037)->click();
    EXPECT_EQ(panel->GetSettings().jpegQuality, 4);

    QTest::mouseClick(Find<QPushButton>(*panel, 1032), Qt::LeftButton);

    EXPECT_TRUE(messages.messages.empty());
    EXPECT_FALSE(project->IsBusy());
    EXPECT_EQ(project->GetOutputFormat(), kOutputJpeg);
    EXPECT_EQ(project->GetOutputOption(), 4);
    EXPECT_EQ(FileNames(out), (std::vector<std::string>{"Batch_log.txt", "one.jpg", "two.jpg"}));
    // Width 10 ran as 50, height 9999 as 4000: each image fits 50 wide.
    const struct
    {
        const char* name;
        int width, height;
    } results[] = {{"one.jpg", 50, 33}, {"two.jpg", 50, 67}};
    for (const auto& r : results)
    {
        ImageProbeResult written;
        ASSERT_TRUE(ProbeImageFile(out + "/" + r.name, written)) << r.name;
        EXPECT_EQ(written.type, kImageFileJpeg) << r.name;
        EXPECT_EQ(written.width, static_cast<std::uint32_t>(r.width)) << r.name;
        EXPECT_EQ(written.height, static_cast<std::uint32_t>(r.height)) << r.name;
    }
    const std::string log = testsupport::ReadTextFile(out + "/Batch_log.txt");
    EXPECT_NE(log.find("one.jpg"), std::string::npos);
    EXPECT_NE(log.find("two.tif"), std::string::npos);
    EXPECT_EQ(log.find("three.jpg"), std::string::npos);
    EXPECT_EQ(shell.opened, std::vector<std::string>{out + "/Batch_log.txt"});
}

// The bar follows every stage of every image: loading and saving run it
// from 0 to 100 (their fractions times 100), each step from 0 to 100 (its
// percent), and so on for the next image.
TEST_F(BatchViewTest, TheBarFollowsEveryStageThroughAWholeBatch)
{
    AddImage("one.tif", 400, 300);
    AddImage("two.jpg", 300, 400);
    const std::string out = MakeFolder("results");
    MakePanel();
    ChooseFolder(out);
    SelectMode(BatchCorrection::Current);
    QTest::mouseClick(Find<QCheckBox>(*panel, 1298), Qt::LeftButton);
    TypeInto(1302, QStringLiteral("200"));
    TypeInto(1303, QStringLiteral("200"));

    BatchBarRecorder bar;
    QTest::mouseClick(Find<QPushButton>(*panel, 1032), Qt::LeftButton);

    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(FileNames(out), (std::vector<std::string>{"Batch_log.txt", "one.jpg", "two.jpg"}));
    ASSERT_EQ(bar.windows, 1);
    // Per image three runs of the bar: loading, the resizing step and
    // saving, each from 0 up to 100 without going back.
    std::ostringstream seen;
    for (int value : bar.positions)
        seen << value << ' ';
    std::vector<std::vector<int>> runs(1);
    for (int value : bar.positions)
    {
        runs.back().push_back(value);
        if (value == 100)
            runs.emplace_back();
    }
    EXPECT_TRUE(runs.back().empty()) << seen.str();
    runs.pop_back();
    ASSERT_EQ(runs.size(), 6u) << seen.str();
    for (const std::vector<int>& run : runs)
    {
        EXPECT_EQ(run.front(), 0) << seen.str();
        EXPECT_TRUE(std::is_sorted(run.begin(), run.end())) << seen.str();
    }
    // Loading a 400 x 300 TIFF and resizing pass through values of their
    // own on the way: the bar moves within a stage, not only at its ends.
    EXPECT_GT(runs[0].size(), 2u) << seen.str();
    EXPECT_GT(runs[1].size(), 2u) << seen.str();
    // A JPEG's load goes with its decode, the longer part of it, up to 70
    // before its rows are converted: the bar does not wait at 0 meanwhile.
    EXPECT_NE(std::find(runs[3].begin(), runs[3].end(), 70), runs[3].end()) << seen.str();
}

} // namespace
