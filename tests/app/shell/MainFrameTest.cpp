// The main window on the real project, offscreen, with private user folders
// and the simulated DDC/CI monitor: size kept in the settings, step
// switches, drops, adding files, colour picks, the deferred start-up (the
// command line's files, the busy value around the monitor selection), the
// monitor profile followed through the association store, the space key
// over the preview and the commands' shortcuts.

#include "app/shell/MainFrame.h"
#include "tests/app/GradientTiff.h"
#include "tests/app/SimulatedMonitorFrame.h"
#include "app/filelist/FileView.h"
#include "app/panels/StepPanel.h"
#include "app/panels/filter/FilterView.h"
#include "app/preview/ImageView.h"
#include "app/shell/ChromivelApp.h"
#include "app/shell/FrameShell.h"
#include "app/shell/MainMenu.h"
#include "app/shell/X11DisplayProfile.h"

#include "controls/dialogs/BrowseDir.h"
#include "controls/dialogs/ProgDlg.h"
#include "controls/dialogs/SaveImageFileDlg.h"
#include "controls/support/ResourceImages.h"
#include "controls/widgets/EditEx.h"
#include "controls/widgets/FileTableCtrl.h"
#include "core/ColorProfile.h"
#include "core/ErrorRecord.h"
#include "core/GlobalSettings.h"
#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "core/UseOsCmm.h"
#include "correction/ProjectManage.h"
#include "imagefile/ImageLoadSave.h"
#include "imagefile/ReloadCache.h"
#include "monitor/Display.h"
#include "monitor/MonitorProfile.h"
#include "platform/ColorDirectory.h"
#include "platform/ColorManagerBus.h"
#include "platform/Folders.h"
#include "platform/Registry.h"
#include "platform/ddc/SimulatedMonitors.h"
#include "print/PrintImageDlg.h"
#include "print/PrintIndexDlg.h"
#include "print/PrinterSettings.h"

#include "tests/controls/FakePointerState.h"
#include "tests/monitor/BusyWatchingTransport.h"
#include "tests/print/CupsTestServer.h"
#include "tests/print/FakePdfChooser.h"
#include "tests/print/PdfReadBack.h"
#include "tests/support/RealColord.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestProfiles.h"
#include "tests/support/qt/WaitFor.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QToolBar>
#include <QToolButton>
#include <QPushButton>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <fstream>
#include <iterator>

using testsupport::PrivateUserFolders;
using testsupport::WaitFor;
using testsupport::RecordingMessageSink;
using testsupport::ScopedEnv;
using testsupport::WriteTextFile;

namespace {

// Lets the event loop run until the condition holds (or a generous limit
// passes: the condition is what the test checks, never the time taken).
// A step panel that records what the frame asks of it.
class RecordingPanel : public CStepPlaceholderView
{
public:
    explicit RecordingPanel(QWidget* parent) : CStepPlaceholderView(parent)
    {
        edit = new QLineEdit(this);
    }

    void OnEnterStep() override { calls.push_back("enter"); }
    void OnLeaveStep(bool commit) override { calls.push_back(commit ? "leave ok" : "leave cancel"); }
    bool CanUndo() const override { return canUndo; }
    void Undo() override { calls.push_back("undo"); }
    bool CanRedo() const override { return canUndo; }
    void Redo() override { calls.push_back("redo"); }
    void SetSampleLab(const CCIELab& lab) override { labs.push_back(lab); }
    void SetColorSample(const CCIELab& lab) override { colorSamples.push_back(lab); }

    std::vector<std::string> calls;
    std::vector<CCIELab> labs;
    std::vector<CCIELab> colorSamples;
    bool canUndo = false;
    QLineEdit* edit;
};

class MainFrameTest : public ::testing::Test
{
protected:
    MainFrameTest()
        : simulated("QUILLBRAKE_SIMULATED_MONITORS", folders.File("monitors.ini")),
          monitorFile(folders.File("monitors.ini"))
    {
        for (const char* sub : {"config", "data", "cache", "images", "no-drm"})
            std::filesystem::create_directories(folders.File(sub));
        EXPECT_TRUE(monitorFile.Write());
        previousSkip = GetSkipInitMsg();
        SetSkipInitMsg(1);
        EnsureSRGBProfileInstalled();
        EXPECT_TRUE(InitMonitorProfile());
    }

    ~MainFrameTest() override
    {
        frame.reset();
        FreeMonitorProfile();
        ClearReloadImageCache();
        SetSkipInitMsg(previousSkip);
    }

    // Builds, shows and starts the frame (the deferred start-up has run).
    CMainFrame& Start(MainFrameOptions options = {})
    {
        if (!options.makeDisplay)
        {
            options.makeDisplay =
                SimulatedMonitorFrameOptions(monitorFile.Path(), clock, folders.File("no-drm"))
                    .makeDisplay;
        }
        if (options.drmRoot.empty())
            options.drmRoot = folders.File("no-drm");
        frame = std::make_unique<CMainFrame>(std::move(options));
        frame->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        EXPECT_TRUE(WaitFor([this] { return frame->IsStarted(); }));
        return *frame;
    }

    // A 16-bit TIFF with the sRGB profile embedded: red along x, green
    // along y.
    std::string WriteImage(const std::string& name, int width = 80, int height = 60)
    {
        return WriteGradientTiff16(folders.File("images/" + name), width, height);
    }

    std::vector<std::string> ListedPaths() const
    {
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < frame->GetProject().GetCount(); ++i)
            paths.push_back(frame->GetProject().GetItem(i).m_path);
        return paths;
    }

    void Drop(const std::vector<std::string>& paths)
    {
        QMimeData mime;
        QList<QUrl> urls;
        for (const std::string& p : paths)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
        mime.setUrls(urls);
        // The window is entered first, as a drag does: Qt hands a drop only
        // to the widget that accepted the drag.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &drop);
    }

    PrivateUserFolders folders;
    ScopedEnv simulated;
    platform::SimulatedMonitorFile monitorFile;
    platform::VirtualClock clock;
    RecordingMessageSink messages;
    int previousSkip = 0;
    std::unique_ptr<CMainFrame> frame;
};

MainFrameOptions WithPanel(int index, RecordingPanel** made)
{
    MainFrameOptions options;
    options.panels[static_cast<std::size_t>(index)] = [made](QWidget* parent) {
        auto* panel = new RecordingPanel(parent);
        *made = panel;
        return panel;
    };
    return options;
}

// ---- Window size

TEST_F(MainFrameTest, StoredSizeIsRaisedCutToTheScreenAndSavedFromTheNormalGeometry)
{
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    const struct
    {
        int storedWidth, storedHeight;
        int width, height;
    } cases[] = {
        {100, 100, 780, 584},
        {work.width() + 500, work.height() + 500, work.width(), work.height()},
    };
    for (const auto& c : cases)
    {
        CIniFile ini(GetIniFilePath());
        ini.SetInt(kMainFrameSection, "WindowWidth", c.storedWidth);
        ini.SetInt(kMainFrameSection, "WindowHeight", c.storedHeight);
        Start();
        EXPECT_EQ(frame->GetWindowWidth(), c.width) << c.storedWidth;
        EXPECT_EQ(frame->GetWindowHeight(), c.height) << c.storedHeight;
        EXPECT_EQ(frame->size(), QSize(c.width, c.height));
        const WindowGeometry placed = PlaceInWorkArea(
            c.width, c.height, CRect(work.left(), work.top(), work.right() + 1, work.bottom() + 1));
        EXPECT_EQ(frame->frameGeometry().topLeft(), QPoint(placed.x, placed.y));
        frame.reset();
    }

    Start();
    frame->setGeometry(QRect(work.topLeft(), QSize(790, 590)));
    frame->showMaximized();
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame->close());
    const CIniFile ini(GetIniFilePath());
    EXPECT_EQ(ini.GetInt(kMainFrameSection, "WindowWidth", 0), frame->normalGeometry().width());
    EXPECT_EQ(ini.GetInt(kMainFrameSection, "WindowHeight", 0),
              frame->normalGeometry().height());
    EXPECT_EQ(frame->normalGeometry().size(), QSize(790, 590));
    EXPECT_EQ(frame->minimumSize(), QSize(780, 584));
}

TEST_F(MainFrameTest, ShownWindowNamesItsScreenForTheDisplayProfile)
{
    SetX11DisplayProfileScreen(5);
    Start();
    EXPECT_EQ(X11DisplayProfileScreen(),
              static_cast<int>(QGuiApplication::screens().indexOf(frame->screen())));
    EXPECT_EQ(X11DisplayProfileScreen(), 0);
}

// The window carries the program's icon (128), every size of it: the one
// the desktop entry names.
TEST_F(MainFrameTest, WindowShowsTheProgramsIcon)
{
    Start();
    const QIcon icon = frame->windowIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes(), LoadIconResource(kIconApplication).availableSizes());
    EXPECT_EQ(icon.pixmap(48, 48).toImage(), LoadIconResource(kIconApplication).pixmap(48, 48).toImage());
}

TEST_F(MainFrameTest, RightColumnKeepsItsWidthWhenTheWindowChanges)
{
    Start();
    for (const QSize size : {QSize(780, 584), QSize(1000, 700), QSize(790, 600)})
    {
        frame->resize(size);
        QCoreApplication::processEvents();
        const QList<int> sizes = frame->GetSplitter()->sizes();
        ASSERT_EQ(sizes.size(), 2);
        EXPECT_EQ(sizes[1], 320) << size.width();
    }
    frame->showMinimized();
    QCoreApplication::processEvents();
    frame->showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->GetSplitter()->sizes().value(1), 320);
}

// ---- Steps

TEST_F(MainFrameTest, OkAndCancelOfAStepReturnToTheListAndTheBatchCancelStays)
{
    RecordingPanel* trimming = nullptr;
    RecordingPanel* batch = nullptr;
    MainFrameOptions options = WithPanel(3, &trimming);
    options.panels[8] = [&batch](QWidget* parent) {
        batch = new RecordingPanel(parent);
        return batch;
    };
    Start(std::move(options));
    ASSERT_NE(trimming, nullptr);
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(frame->GetCurrentStepIndex(), 0);

    EXPECT_TRUE(frame->ExecuteCommand(FrameCommand::StepTrimming));
    EXPECT_EQ(frame->GetCurrentStepIndex(), 3);
    trimming->NotifyOk();
    EXPECT_EQ(frame->GetCurrentStepIndex(), 0);
    EXPECT_EQ(frame->GetFileView()->GetReprocessStep(), 7);

    EXPECT_TRUE(frame->ExecuteCommand(FrameCommand::StepTrimming));
    trimming->NotifyCancel();
    EXPECT_EQ(frame->GetCurrentStepIndex(), 0);
    EXPECT_EQ(trimming->calls, (std::vector<std::string>{"enter", "leave ok", "enter",
                                                         "leave cancel"}));

    EXPECT_TRUE(frame->ExecuteCommand(FrameCommand::StepBatch));
    batch->NotifyCancel();
    EXPECT_EQ(frame->GetCurrentStepIndex(), 8);
    // No step command from a step panel.
    EXPECT_FALSE(frame->ExecuteCommand(FrameCommand::StepTrimming));
    batch->NotifyOk();
    EXPECT_EQ(frame->GetCurrentStepIndex(), 0);
    EXPECT_EQ(batch->calls, (std::vector<std::string>{"enter", "leave ok"}));
}

TEST_F(MainFrameTest, ShortcutsReachUndoOfAStepPanelButNotTheFileCommands)
{
    RecordingPanel* panel = nullptr;
    Start(WithPanel(4, &panel));
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    frame->SwitchStep(4, false);
    panel->calls.clear();

    QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(panel->calls.empty()); // nothing to undo: the command is not carried out
    panel->canUndo = true;
    QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(panel->calls, (std::vector<std::string>{"undo", "redo"}));

    for (FrameCommand command :
         {FrameCommand::OpenFiles, FrameCommand::SaveImage, FrameCommand::Print})
        EXPECT_FALSE(frame->ExecuteCommand(command)) << static_cast<int>(command);
    EXPECT_EQ(frame->GetAction(FrameCommand::OpenFiles)->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(frame->GetAction(FrameCommand::Print)->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_P));
    EXPECT_TRUE(frame->GetAction(FrameCommand::IndexPrint)->shortcut().isEmpty());
}

// ---- Files

TEST_F(MainFrameTest, CommandLineFilesAreLoadedByTheDeferredStartUp)
{
    const std::string image = WriteImage("start.tif");
    MainFrameOptions options;
    options.commandLine = [image] { return CommandLineFiles{{image}, false}; };
    Start(std::move(options));
    CProjectManage& project = frame->GetProject();
    ASSERT_TRUE(project.IsImageReady());
    EXPECT_EQ(project.GetCurrentRecord().m_path, image);
    EXPECT_EQ(ListedPaths(), std::vector<std::string>{image});
    EXPECT_EQ(frame->GetBaseTitle(), QStringLiteral("CHROMIVEL!2"));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("CHROMIVEL!2 - start.tif"));
    EXPECT_FALSE(frame->GetFileView()->GetImageText().isEmpty());
    EXPECT_TRUE(messages.messages.empty());

    // The preview shows it, fitted, once refined: an sRGB image on the sRGB
    // monitor keeps its values (red along x, green along y, blue 20000).
    CImageView* view = frame->GetImageView();
    ASSERT_TRUE(WaitFor([view] { return view->IsRefined(); }));
    const QImage shown = view->viewport()->grab().toImage();
    const CRect& rect = view->GetImageRect();
    ASSERT_FALSE(rect.IsRectEmpty());
    const QColor centre = shown.pixelColor((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    EXPECT_NEAR(centre.red(), 128, 4);
    EXPECT_NEAR(centre.green(), 128, 4);
    EXPECT_NEAR(centre.blue(), 20000 * 255 / 65535, 3);
    const QColor corner = shown.pixelColor(rect.right - 1, rect.bottom - 1);
    EXPECT_GE(corner.red(), 250);
    EXPECT_GE(corner.green(), 250);
}

TEST_F(MainFrameTest, SeveralFilesAreRegisteredByNameOnceEachWithoutLoading)
{
    Start();
    const std::string b = WriteImage("b.tif");
    const std::string a = WriteImage("A.tif");
    const std::string c = WriteImage("c.tif");
    frame->AddFiles({c, b, a, b, folders.File("images/none.tif")});
    EXPECT_EQ(ListedPaths(), (std::vector<std::string>{a, b, c}));
    EXPECT_FALSE(frame->GetProject().IsImageReady());
    // Already listed: not again.
    frame->AddFiles({a, c});
    EXPECT_EQ(ListedPaths().size(), 3u);
    // One path is loaded, and listed once.
    frame->AddFiles({b});
    EXPECT_EQ(ListedPaths().size(), 3u);
    EXPECT_EQ(frame->GetProject().GetCurrentRecord().m_path, b);
}

// The LUT chosen in the combo is the added file's from its first preview
// on: a LUT that inverts blue turns the image's blue 20000 into 255 - 78.
TEST_F(MainFrameTest, AddedFileIsShownThroughTheChosenLutAtOnce)
{
    Start();
    const std::string lut = folders.File("images/invert-blue.csv");
    std::string text = "R_in,G_in,B_in,R_out,G_out,B_out\n";
    auto grid = [](int i) { return static_cast<int>(std::lround(i * 255.0 / 16.0)); };
    for (int r = 0; r < 17; ++r)
        for (int g = 0; g < 17; ++g)
            for (int b = 0; b < 17; ++b)
                text += std::to_string(grid(r)) + "," + std::to_string(grid(g)) + "," +
                        std::to_string(grid(b)) + "," + std::to_string(grid(r)) + "," +
                        std::to_string(grid(g)) + "," + std::to_string(255 - grid(b)) + "\n";
    WriteTextFile(lut, text);
    CProjectManage& project = frame->GetProject();
    ASSERT_TRUE(project.CreateLUTTransform(lut));
    CFileView* view = frame->GetFileView();
    view->SetProject(&project); // the combo lists the LUT
    auto* combo = view->findChild<QComboBox*>("1322");
    ASSERT_EQ(combo->count(), 2);
    combo->setCurrentIndex(1);
    ASSERT_EQ(view->GetCurrentLutName(), "invert-blue");

    frame->AddFiles({WriteImage("lut.tif")});
    ASSERT_TRUE(project.IsImageReady());
    EXPECT_EQ(project.GetItem(0).m_lutName, "invert-blue");
    EXPECT_EQ(project.GetLUTIndex(), 1);
    CImageView* preview = frame->GetImageView();
    ASSERT_TRUE(WaitFor([preview] { return preview->IsRefined(); }));
    const QImage shown = preview->viewport()->grab().toImage();
    const CRect& rect = preview->GetImageRect();
    ASSERT_FALSE(rect.IsRectEmpty());
    const QColor centre =
        shown.pixelColor((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    EXPECT_NEAR(centre.red(), 128, 4);
    EXPECT_NEAR(centre.blue(), 255 - 20000 * 255 / 65535, 4);
}

TEST_F(MainFrameTest, CancelInTheRegistrationKeepsWhatWasAdded)
{
    Start();
    const std::vector<std::string> paths = {WriteImage("1.tif"), WriteImage("2.tif"),
                                            WriteImage("3.tif")};
    QTimer::singleShot(0, frame.get(), [this] {
        if (auto* progress = frame->findChild<CProgDlg*>())
            progress->Cancelled = true;
    });
    frame->AddFiles(paths);
    EXPECT_EQ(ListedPaths(), std::vector<std::string>{paths[0]});
    EXPECT_EQ(frame->findChild<CProgDlg*>(), nullptr);
}

TEST_F(MainFrameTest, DropAddsImagesAndFolderFilesButNotSubFolders)
{
    Start();
    const std::string a = WriteImage("a.tif");
    std::filesystem::create_directories(folders.File("images/folder/sub"));
    const std::string inFolder = folders.File("images/folder/x.tif");
    std::filesystem::copy_file(a, inFolder);
    std::filesystem::copy_file(a, folders.File("images/folder/sub/deep.tif"));
    WriteTextFile(folders.File("images/folder/notes.txt"), "not an image");

    Drop({a, folders.File("images/folder"), a});
    EXPECT_EQ(ListedPaths(), (std::vector<std::string>{a, inFolder}));
    // The text file is reported once as not readable; the sub-folder is not.
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, kStrErrorFileOne);
    EXPECT_EQ(messages.messages[0].args,
              std::vector<std::string>{folders.File("images/folder/notes.txt")});
}

TEST_F(MainFrameTest, DroppedListFileWinsOverTheImagesDroppedWithIt)
{
    Start();
    const std::string a = WriteImage("a.tif");
    const std::string b = WriteImage("b.tif");
    frame->AddFiles({b, b});
    ASSERT_TRUE(frame->GetProject().SaveListFile(folders.File("images/my.cvl")));
    frame->GetFileView()->SetSaveQuestion([](bool) { return 7; });
    frame->GetProject().Clear();
    frame->GetFileView()->RefreshList();

    Drop({a, folders.File("images/my.cvl"), folders.File("images/other.cvl")});
    EXPECT_EQ(ListedPaths(), std::vector<std::string>{b});
    EXPECT_EQ(frame->GetFileView()->GetListTitle(), "my.cvl");
    EXPECT_TRUE(frame->windowTitle().endsWith(QStringLiteral(" - my.cvl")));

    // With a step panel shown a dropped list file is ignored.
    frame->SwitchStep(2, false);
    Drop({folders.File("images/other.cvl")});
    EXPECT_EQ(frame->GetFileView()->GetListTitle(), "my.cvl");
}

TEST_F(MainFrameTest, CloseAsksToSaveAChangedList)
{
    Start();
    frame->AddFiles({WriteImage("a.tif"), WriteImage("b.tif")});
    std::vector<bool> asked;
    int answer = 2;
    frame->GetFileView()->SetSaveQuestion([&](bool note) {
        asked.push_back(note);
        return answer;
    });
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    answer = 7;
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(asked, (std::vector<bool>{false, false}));
}

// ---- Save and print

class CountingPrintDialogs final : public IPrintDialogs
{
public:
    class Printers final : public ISystemPrinters
    {
    };
    std::unique_ptr<ISystemPrinters> EnumeratePrinters() override
    {
        return std::make_unique<Printers>();
    }
    void RunPrintImageDialog(const std::string&, const CRGBImage&, const std::string& imageName,
                             const LogColorSpace&, ISystemPrinters*) override
    {
        printed.push_back(imageName);
        busyWhilePrinting.push_back(project->IsBusy());
    }
    void RunPrintIndexDialog(CProjectManage& p, ISystemPrinters*) override
    {
        ++indexPrints;
        busyWhilePrinting.push_back(p.IsBusy());
    }

    CProjectManage* project = nullptr;
    std::vector<std::string> printed;
    int indexPrints = 0;
    std::vector<bool> busyWhilePrinting;
};

TEST_F(MainFrameTest, SaveGoesThroughTheSaveDialogIntoTheRememberedFolder)
{
    Start();
    frame->AddFiles({WriteImage("save.tif")});
    ASSERT_TRUE(frame->GetProject().IsImageReady());
    const std::string target = folders.File("images/out.jpg");
    QString offeredName;
    SetSaveImageFileDialogRunner([&](CSaveImageFileDlg& dialog) {
        offeredName = dialog.fileNameText();
        dialog.m_nSaveType = 2;
        dialog.m_nQuality = 3;
        dialog.selectFile(QString::fromStdString(target));
        return int(QDialog::Accepted);
    });
    EXPECT_TRUE(frame->ExecuteCommand(FrameCommand::SaveImage));
    SetSaveImageFileDialogRunner({});
    EXPECT_EQ(offeredName, QStringLiteral("save.tif"));
    EXPECT_TRUE(std::filesystem::exists(target));
    EXPECT_EQ(frame->GetFileView()->GetSaveFolder(), folders.File("images/"));
    EXPECT_EQ(frame->GetFileView()->GetSaveFormat(), 2);
    EXPECT_EQ(frame->GetFileView()->GetJpegQuality(), 3);
}

TEST_F(MainFrameTest, PrintAndIndexPrintRunBusyAndEndFree)
{
    Start();
    CountingPrintDialogs dialogs;
    dialogs.project = &frame->GetProject();
    frame->GetProject().SetPrintDialogs(&dialogs);
    const std::string a = WriteImage("a.tif");
    const std::string b = WriteImage("b.tif");
    frame->AddFiles({a, b});
    frame->AddFiles({a});
    ASSERT_TRUE(frame->GetProject().IsImageReady());

    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(dialogs.printed, std::vector<std::string>{"a.tif"});

    // A camera-raw entry still being converted among the ticked ones: the
    // user is asked first, and No prints nothing.
    frame->GetProject().GetItem(1).m_type = kImageFileRaw;
    EXPECT_TRUE(frame->ExecuteCommand(FrameCommand::IndexPrint));
    EXPECT_EQ(dialogs.indexPrints, 0);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, kStrIndexPrintConverting);
    {
        RecordingMessageSink yes(kMessageYes);
        EXPECT_TRUE(frame->ExecuteCommand(FrameCommand::IndexPrint));
    }
    EXPECT_EQ(dialogs.indexPrints, 1);
    EXPECT_EQ(dialogs.busyWhilePrinting, (std::vector<bool>{true, true}));
    EXPECT_FALSE(frame->GetProject().IsBusy());

    // Only raw entries ticked: index printing is not offered.
    frame->GetProject().GetItem(0).m_type = kImageFileRaw;
    EXPECT_FALSE(frame->ExecuteCommand(FrameCommand::IndexPrint));
    frame->GetProject().SetPrintDialogs(nullptr);
}

TEST_F(MainFrameTest, CtrlPOpensThePrintDialogOnTheLoadedImage)
{
    Start();
    frame->AddFiles({WriteImage("print.tif", 120, 80)});
    ASSERT_TRUE(frame->GetProject().IsImageReady());
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));

    // The dialog is looked for until it shows (the print image is rendered
    // first, with its progress), read and closed.
    QString title;
    QString imageWidth;
    QString printer;
    int looks = 0;
    std::function<void()> lookForDialog = [&] {
        auto* dialog = qobject_cast<CPrintImageDlg*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible())
        {
            // Polled while the command runs; the command returning ends it.
            if (++looks < 2000)
                QTimer::singleShot(10, frame.get(), lookForDialog);
            return;
        }
        title = dialog->windowTitle();
        imageWidth = dialog->findChild<QLabel*>(QStringLiteral("11032"))->text();
        printer = dialog->findChild<QComboBox*>(QStringLiteral("11000"))->currentText();
        dialog->findChild<QPushButton*>(QStringLiteral("1"))->click();
    };
    QTimer::singleShot(0, frame.get(), lookForDialog);
    QTest::keyClick(frame.get(), Qt::Key_P, Qt::ControlModifier);
    looks = 2000;

    EXPECT_EQ(title, QStringLiteral("印刷 [ print.tif ]"));
    EXPECT_EQ(imageWidth, QStringLiteral("120"));
    // Whatever the machine's print server holds, the PDF printer is there.
    EXPECT_FALSE(printer.isEmpty());
    EXPECT_FALSE(frame->GetProject().IsBusy());
}

// ---- Menu bar and toolbars

// What a menu or a toolbar holds, in order: the command of each action, 0
// for a separator.
std::vector<int> CommandIds(const QList<QAction*>& actions)
{
    std::vector<int> ids;
    for (const QAction* action : actions)
        ids.push_back(action->isSeparator() ? 0 : action->objectName().toInt());
    return ids;
}

std::vector<QString> Texts(const QList<QAction*>& actions)
{
    std::vector<QString> texts;
    for (const QAction* action : actions)
    {
        if (!action->isSeparator())
            texts.push_back(action->text());
    }
    return texts;
}

// Every action the menus and the toolbars show, each once.
std::vector<QAction*> OfferedActions(const CMainFrame& frame)
{
    std::vector<QAction*> offered;
    auto add = [&offered](const QList<QAction*>& actions) {
        for (QAction* action : actions)
        {
            if (!action->isSeparator() &&
                std::find(offered.begin(), offered.end(), action) == offered.end())
                offered.push_back(action);
        }
    };
    for (const QAction* popup : frame.menuBar()->actions())
        add(popup->menu()->actions());
    for (int toolBar : {kFileToolBarResource, kStepToolBarResource})
        add(frame.GetToolBar(toolBar)->actions());
    return offered;
}

bool HasInk(const QIcon& icon)
{
    const QImage image = icon.pixmap(24, 24).toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.size() != QSize(24, 24))
        return false;
    int inked = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            inked += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
    return inked > 40;
}

TEST_F(MainFrameTest, MenuBarAndToolBarsOfferTheCommandsInTheResourcesOrder)
{
    Start();
    const QList<QAction*> popups = frame->menuBar()->actions();
    ASSERT_EQ(popups.size(), 3);
    const struct
    {
        QString title;
        std::vector<int> ids;
        std::vector<QString> texts;
    } menus[] = {
        {QStringLiteral("ファイル(&F)"),
         {32802, 32839, 32809, 0, 32796, 32797, 32798, 0, 32841, 32844, 32840, 0, 32715, 32818, 0,
          57665},
         {QStringLiteral("ファイルを開く(&O)...\tCtrl+O"), QStringLiteral("フォルダを開く(&F)..."),
          QStringLiteral("保存(&S)...\tCtrl+S"), QStringLiteral("新規リスト(&N)"),
          QStringLiteral("リスト読込(&L)..."), QStringLiteral("リスト保存(&T)..."),
          QStringLiteral("補正パラメータインポート(&I)..."),
          QStringLiteral("補正パラメータエクスポート(&E)..."),
          QStringLiteral("補正パラメータリセット(&R)"), QStringLiteral("印刷(&P)...\tCtrl+P"),
          QStringLiteral("インデックス印刷(&D)..."), QStringLiteral("終了(&X)")}},
        {QStringLiteral("編集(&E)"),
         {57643, 57644},
         {QStringLiteral("元に戻す(&U)\tCtrl+Z"), QStringLiteral("やり直し(&R)\tCtrl+Shift+Z")}},
        {QStringLiteral("補正(&C)"),
         {32814, 32801, 32848, 32805, 32806, 32807, 32810, 0, 32808},
         {QStringLiteral("現像(&D)"), QStringLiteral("チャート補正(&H)"),
          QStringLiteral("トリミング、サイズ変更(&T)"), QStringLiteral("階調補正(&G)"),
          QStringLiteral("色調補正(&O)"), QStringLiteral("指定色補正(&S)"),
          QStringLiteral("フィルタ補正(&F)"), QStringLiteral("バッチ処理(&B)")}},
    };
    for (int i = 0; i < 3; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(popups[i]->text(), menus[i].title);
        ASSERT_NE(popups[i]->menu(), nullptr);
        EXPECT_EQ(CommandIds(popups[i]->menu()->actions()), menus[i].ids);
        EXPECT_EQ(Texts(popups[i]->menu()->actions()), menus[i].texts);
    }

    ASSERT_NE(frame->GetToolBar(128), nullptr);
    ASSERT_NE(frame->GetToolBar(131), nullptr);
    EXPECT_EQ(CommandIds(frame->GetToolBar(128)->actions()),
              (std::vector<int>{32802, 32839, 32809, 0, 32715, 32818, 0, 32792}));
    EXPECT_EQ(CommandIds(frame->GetToolBar(131)->actions()),
              (std::vector<int>{32814, 32801, 32848, 32805, 32806, 32807, 32810, 0, 32808}));
    // Each button shows its own 24 x 24 picture and says what it does.
    std::vector<QImage> pictures;
    for (int resource : {128, 131})
    {
        QToolBar* bar = frame->GetToolBar(resource);
        EXPECT_EQ(bar->iconSize(), QSize(24, 24));
        for (QAction* action : bar->actions())
        {
            if (action->isSeparator())
                continue;
            SCOPED_TRACE(action->objectName().toStdString());
            EXPECT_TRUE(HasInk(action->icon()));
            EXPECT_FALSE(action->toolTip().isEmpty());
            EXPECT_FALSE(action->toolTip().contains(u'&'));
            const QImage picture = action->icon().pixmap(24, 24).toImage();
            EXPECT_EQ(std::count(pictures.begin(), pictures.end(), picture), 0);
            pictures.push_back(picture);
        }
    }
    EXPECT_EQ(frame->GetAction(FrameCommand::OpenFiles)->toolTip(),
              QStringLiteral("ファイルを開く (Ctrl+O)"));
    EXPECT_EQ(frame->GetAction(FrameCommand::StepTrimming)->toolTip(),
              QStringLiteral("トリミング、サイズ変更"));
    EXPECT_EQ(frame->GetAction(FrameCommand::Preferences)->toolTip(), QStringLiteral("環境設定"));
    // Opening files shows the file-list panel's add button's picture.
    EXPECT_EQ(frame->GetAction(FrameCommand::OpenFiles)->icon().pixmap(24, 24).toImage(),
              LoadIconResource(kIconAddFiles).pixmap(24, 24).toImage());
}

TEST_F(MainFrameTest, EveryOfferedCommandFollowsItsRuleInEachState)
{
    RecordingPanel* panel = nullptr;
    Start(WithPanel(4, &panel));
    panel->canUndo = true;
    const std::vector<FrameCommand> always = {
        FrameCommand::OpenFiles,        FrameCommand::OpenFolder,       FrameCommand::LoadList,
        FrameCommand::SaveList,         FrameCommand::ImportParameters, FrameCommand::ExportParameters,
        FrameCommand::ResetParameters,  FrameCommand::Preferences,      FrameCommand::AppExit,
        FrameCommand::StepChart,        FrameCommand::StepTrimming,     FrameCommand::StepGradation,
        FrameCommand::StepColorTone,    FrameCommand::StepSpecifiedColor, FrameCommand::StepFilter,
        FrameCommand::StepBatch};
    auto with = [&always](std::vector<FrameCommand> more) {
        more.insert(more.end(), always.begin(), always.end());
        return more;
    };
    const std::string a = WriteImage("a.tif");
    const std::string b = WriteImage("b.tif");
    CProjectManage& project = frame->GetProject();
    const struct
    {
        const char* what;
        std::function<void()> change;
        std::vector<FrameCommand> enabled;
    } states[] = {
        {"no image", [] {}, always},
        {"image loaded",
         [&] {
             frame->AddFiles({a, b});
             frame->AddFiles({a});
         },
         with({FrameCommand::SaveImage, FrameCommand::Print, FrameCommand::IndexPrint})},
        // The rules read nothing of the busy flag: a batch or a print keeps
        // the window under its progress or dialog meanwhile.
        {"busy", [&] { project.BeginBatch(); },
         with({FrameCommand::SaveImage, FrameCommand::Print, FrameCommand::IndexPrint})},
        {"ticked camera-raw entries only",
         [&] {
             project.EndBatch();
             project.GetItem(0).m_type = kImageFileRaw;
             project.GetItem(1).m_type = kImageFileRaw;
         },
         with({FrameCommand::SaveImage, FrameCommand::Print})},
        {"step panel shown",
         [&] { frame->SwitchStep(4, false); },
         {FrameCommand::Preferences, FrameCommand::AppExit, FrameCommand::Undo, FrameCommand::Redo}},
    };
    const std::vector<QAction*> offered = OfferedActions(*frame);
    ASSERT_EQ(offered.size(), AllFrameCommands().size());
    for (const auto& state : states)
    {
        SCOPED_TRACE(state.what);
        state.change();
        // The toolbars follow the next click in the window (here on the
        // menu bar's empty end), the menus whenever they open.
        QMenuBar* bar = frame->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 3, bar->height() / 2));
        QCoreApplication::processEvents();
        for (int pass = 0; pass < 2; ++pass)
        {
            for (QAction* action : offered)
            {
                const auto command = static_cast<FrameCommand>(action->objectName().toInt());
                const bool expected = std::find(state.enabled.begin(), state.enabled.end(),
                                                command) != state.enabled.end();
                EXPECT_EQ(action->isEnabled(), expected)
                    << "command " << static_cast<int>(command) << (pass ? " (menu)" : " (toolbar)");
                EXPECT_EQ(frame->IsCommandEnabled(command), expected) << static_cast<int>(command);
            }
            for (QAction* popup : frame->menuBar()->actions())
            {
                for (QAction* action : popup->menu()->actions())
                    action->setEnabled(!action->isEnabled());
                QMetaObject::invokeMethod(popup->menu(), "aboutToShow");
            }
        }
    }
}

TEST_F(MainFrameTest, EveryOfferedCommandReachesItsHandler)
{
    RecordingPanel* panel = nullptr;
    Start(WithPanel(4, &panel));
    CountingPrintDialogs dialogs;
    dialogs.project = &frame->GetProject();
    frame->GetProject().SetPrintDialogs(&dialogs);
    frame->AddFiles({WriteImage("a.tif"), WriteImage("b.tif")});
    frame->AddFiles({WriteImage("a.tif")});
    ASSERT_TRUE(frame->GetProject().IsImageReady());

    std::vector<std::string> reached;
    CFileView* fileView = frame->GetFileView();
    fileView->SetFileChooser([&](CFileView::FileDialogKind kind, const std::string&, const QString&) {
        const char* names[] = {"open images", "open list", "save list", "save parameters",
                               "open folder"};
        reached.push_back(names[static_cast<int>(kind)]);
        return std::vector<std::string>{};
    });
    fileView->SetSaveQuestion([&](bool) {
        reached.push_back("save question");
        return 2; // Cancel: the window stays
    });
    const CViewCommon::ParameterFileChooser previousChooser = CViewCommon::SetParameterFileChooser(
        [&](QWidget*, const QString&, const QString&, const QString&) -> std::optional<QString> {
            reached.push_back("parameter file");
            return std::nullopt;
        });
    SetSaveImageFileDialogRunner([&](CSaveImageFileDlg&) {
        reached.push_back("save image");
        return int(QDialog::Rejected);
    });

    const struct
    {
        FrameCommand command;
        std::vector<std::string> reached;
        int panelShown;
    } cases[] = {
        {FrameCommand::OpenFiles, {"open images"}, 0},
        {FrameCommand::OpenFolder, {"open folder"}, 0},
        {FrameCommand::SaveImage, {"save image"}, 0},
        {FrameCommand::LoadList, {"open list"}, 0},
        {FrameCommand::SaveList, {"save list"}, 0},
        {FrameCommand::ImportParameters, {"parameter file"}, 0},
        {FrameCommand::ExportParameters, {"save parameters"}, 0},
        {FrameCommand::ResetParameters, {"message 2158"}, 0},
        {FrameCommand::Print, {"print a.tif"}, 0},
        {FrameCommand::IndexPrint, {"index print"}, 0},
        {FrameCommand::Preferences, {"preferences"}, 0},
        {FrameCommand::AppExit, {"save question"}, 0},
        {FrameCommand::StepDevelop, {}, 0}, // a TIFF has no raw data: not offered
        {FrameCommand::StepChart, {}, 2},
        {FrameCommand::StepTrimming, {}, 3},
        {FrameCommand::StepGradation, {"enter"}, 4},
        {FrameCommand::StepColorTone, {}, 5},
        {FrameCommand::StepSpecifiedColor, {}, 6},
        {FrameCommand::StepFilter, {}, 7},
        {FrameCommand::StepBatch, {}, 8},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.command));
        reached.clear();
        messages.messages.clear();
        dialogs.printed.clear();
        dialogs.indexPrints = 0;
        panel->calls.clear();
        if (c.command == FrameCommand::Preferences)
        {
            QTimer::singleShot(0, frame.get(), [&] {
                if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                {
                    reached.push_back("preferences");
                    dialog->reject();
                }
            });
        }
        QAction* action = frame->GetAction(c.command);
        frame->UpdateCommandStates();
        action->trigger();
        for (const auto& m : messages.messages)
            reached.push_back("message " + std::to_string(m.stringId));
        for (const std::string& name : dialogs.printed)
            reached.push_back("print " + name);
        if (dialogs.indexPrints > 0)
            reached.push_back("index print");
        reached.insert(reached.end(), panel->calls.begin(), panel->calls.end());
        EXPECT_EQ(reached, c.reached);
        EXPECT_EQ(frame->GetCurrentStepIndex(), c.panelShown);
        EXPECT_TRUE(frame->isVisible());
        if (c.panelShown != 0)
            frame->SwitchStep(0, false);
    }

    // In a step panel: undo and redo reach it, and nothing of the file list.
    frame->SwitchStep(4, false);
    panel->canUndo = true;
    panel->calls.clear();
    for (FrameCommand command :
         {FrameCommand::Undo, FrameCommand::Redo, FrameCommand::OpenFiles, FrameCommand::Print})
    {
        frame->UpdateCommandStates();
        frame->GetAction(command)->trigger();
    }
    EXPECT_EQ(panel->calls, (std::vector<std::string>{"undo", "redo"}));

    CViewCommon::SetParameterFileChooser(previousChooser);
    SetSaveImageFileDialogRunner({});
    frame->GetProject().SetPrintDialogs(nullptr);
}

TEST_F(MainFrameTest, BatchFromTheToolBarWritesTheTickedImagesAndItsLog)
{
    Start();
    std::vector<std::string> opened;
    frame->GetShell()->SetOpener([&opened](const std::string& path) {
        opened.push_back(path);
        return true;
    });
    frame->AddFiles({WriteImage("one.tif"), WriteImage("two.tif", 120, 80)});
    ASSERT_EQ(ListedPaths().size(), 2u);
    const std::string out = folders.File("results");
    std::filesystem::create_directories(out);

    QToolBar* bar = frame->GetToolBar(kStepToolBarResource);
    QWidget* button = bar->widgetForAction(frame->GetAction(FrameCommand::StepBatch));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(frame->GetCurrentStepIndex(), kBatchPanel);
    QWidget* batch = frame->GetPanel(kBatchPanel);
    const CBrowseDir::FolderChooser previous = CBrowseDir::SetFolderChooser(
        [&out](QWidget*, const QString&, const QString&) { return QString::fromStdString(out); });
    batch->findChild<QPushButton*>(QStringLiteral("1035"))->click();
    CBrowseDir::SetFolderChooser(previous);
    QTest::mouseClick(batch->findChild<QPushButton*>(QStringLiteral("1032")), Qt::LeftButton);

    std::vector<std::string> written;
    for (const auto& item : std::filesystem::directory_iterator(out))
        written.push_back(item.path().filename().string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"Batch_log.txt", "one.jpg", "two.jpg"}));
    const std::string log = testsupport::ReadTextFile(out + "/Batch_log.txt");
    EXPECT_NE(log.find("one.tif"), std::string::npos);
    EXPECT_NE(log.find("two.tif"), std::string::npos);
    EXPECT_EQ(opened, std::vector<std::string>{out + "/Batch_log.txt"});
    EXPECT_FALSE(frame->GetProject().IsBusy());

    // Its back button returns to the list, where the commands are offered again.
    QTest::mouseClick(batch->findChild<QPushButton*>(QStringLiteral("1209")), Qt::LeftButton);
    EXPECT_EQ(frame->GetCurrentStepIndex(), kFileListPanel);
    EXPECT_TRUE(frame->GetAction(FrameCommand::StepBatch)->isEnabled());
}

TEST_F(MainFrameTest, IndexPrintFromTheMenuPrintsTheTickedImagesToThePdfPrinter)
{
    if (!HavePoppler())
        GTEST_SKIP() << "poppler-utils are not installed";
    // No print server answers: the PDF printer is the one there is.
    ScopedEnv cups("CUPS_SERVER", folders.File("no-cups.sock"));
    CupsTestServer::UseServer(folders.File("no-cups.sock"));
    Start();
    frame->AddFiles({WriteImage("a.tif"), WriteImage("b.tif"), WriteImage("c.tif")});
    frame->GetProject().GetItem(1).m_check = 0;
    const std::string pdf = folders.File("index.pdf");
    FakePdfChooser chooser;
    chooser.answer = pdf;

    QAction* indexPrint = nullptr;
    for (QAction* action : frame->menuBar()->actions().front()->menu()->actions())
    {
        if (action->objectName() == QStringLiteral("32818"))
            indexPrint = action;
    }
    ASSERT_NE(indexPrint, nullptr);
    QMetaObject::invokeMethod(frame->menuBar()->actions().front()->menu(), "aboutToShow");
    ASSERT_TRUE(indexPrint->isEnabled());

    std::string device;
    int looks = 0;
    std::function<void()> lookForDialog = [&] {
        auto* dialog = qobject_cast<CPrintIndexDlg*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible())
        {
            if (++looks < 2000)
                QTimer::singleShot(10, frame.get(), lookForDialog);
            return;
        }
        device = dialog->PrinterSettings().DeviceName();
        dialog->findChild<QRadioButton*>(QString::number(CPrintIndexDlg::kIdPathNone))->click();
        dialog->findChild<QPushButton*>(QString::number(CPrintIndexDlg::kIdPrint))->click();
        if (dialog->isVisible())
            dialog->reject();
    };
    QTimer::singleShot(0, frame.get(), lookForDialog);
    indexPrint->trigger();
    looks = 2000;

    EXPECT_EQ(device, kPdfPrinterName);
    EXPECT_EQ(ReadPdfInfo(pdf).pages, 1);
    // The two ticked images, not the third.
    EXPECT_EQ(PdfImages(pdf).size(), 2u);
    EXPECT_FALSE(frame->GetProject().IsBusy());
    CupsTestServer::UseServer(std::string());
}

TEST_F(MainFrameTest, CtrlZInAFocusedFieldOfAStepPanelUndoesThePanelsLastChange)
{
    Start();
    frame->AddFiles({WriteImage("sharp.tif")});
    ASSERT_TRUE(frame->GetProject().IsImageReady());
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::mouseClick(frame->GetToolBar(kStepToolBarResource)
                          ->widgetForAction(frame->GetAction(FrameCommand::StepFilter)),
                      Qt::LeftButton);
    ASSERT_EQ(frame->GetCurrentStepIndex(), 7);
    CViewCommon* filter = frame->GetCurrentStepView();
    auto* radius = frame->GetPanel(7)->findChild<CEditEx*>(QString::number(CFilterView::kIdRadiusEdit));
    ASSERT_NE(radius, nullptr);
    const QString before = radius->text();
    radius->setFocus();
    radius->selectAll();
    QTest::keyClicks(radius, QStringLiteral("3.5"));
    QTest::keyClick(radius, Qt::Key_Return);
    ASSERT_EQ(radius->text(), QStringLiteral("3.5"));
    ASSERT_TRUE(filter->CanUndo());
    ASSERT_EQ(QApplication::focusWidget(), radius);

    QTest::keyClick(radius, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(radius->text(), before);
    EXPECT_FALSE(filter->CanUndo());
    EXPECT_TRUE(filter->CanRedo());
    QTest::keyClick(radius, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(radius->text(), QStringLiteral("3.5"));
    EXPECT_TRUE(filter->CanUndo());
}

TEST_F(MainFrameTest, AddDialogStartsOnTheImageFilterAndListsJpegsOfAnyCase)
{
    const std::string folder = folders.File("images/camera");
    std::filesystem::create_directories(folder);
    for (const char* name : {"IMG_0001.JPG", "holiday.jpg", "chelsea.jpeg", "scan.tif",
                             "scan.tiff", "SCAN2.TIFF", "notes.txt", "jpeg.txt"})
        WriteTextFile(folder + "/" + name, "x");
    {
        CIniFile ini(GetIniFilePath());
        ini.SetString("FileView", "strResistPath", folder + "/");
    }
    Start();

    QString filter;
    QStringList filters;
    QStringList shown;
    std::vector<std::string> listed;
    QTimer::singleShot(0, frame.get(), [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        filter = dialog->selectedNameFilter();
        filters = dialog->nameFilters();
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        for (int i = 0; i < types->count(); ++i)
            shown.append(types->itemText(i));
        auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
        ASSERT_NE(view, nullptr);
        WaitFor([&] { return view->model()->rowCount(view->rootIndex()) >= 6; });
        for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
            listed.push_back(
                view->model()->index(row, 0, view->rootIndex()).data().toString().toStdString());
        dialog->reject();
    });
    QTest::mouseClick(frame->GetFileView()->findChild<QToolButton*>(QStringLiteral("1002")),
                      Qt::LeftButton);

    ASSERT_EQ(filters.size(), 3);
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(filter, shown[2]);
    // The labels read as the string table writes them.
    EXPECT_EQ(shown, (QStringList{QStringLiteral("TIFFファイル(*.tif)"),
                                  QStringLiteral("JPEGファイル(*.jpg)"),
                                  QStringLiteral("画像ファイル(*.tif;*.jpg)")}));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"IMG_0001.JPG", "SCAN2.TIFF", "chelsea.jpeg",
                                                "holiday.jpg", "scan.tif", "scan.tiff"}));
}

// ---- Colour picks

TEST_F(MainFrameTest, PickAtTheImageCornerReachesTheShownPanelClipped)
{
    RecordingPanel* gradation = nullptr;
    RecordingPanel* specified = nullptr;
    MainFrameOptions options = WithPanel(4, &gradation);
    options.panels[6] = [&specified](QWidget* parent) {
        specified = new RecordingPanel(parent);
        return specified;
    };
    Start(std::move(options));
    frame->AddFiles({WriteImage("pick.tif")});
    ASSERT_TRUE(frame->GetProject().IsImageReady());

    frame->SwitchStep(4, false);
    CImageView* view = frame->GetImageView();
    ASSERT_TRUE(WaitFor([view] { return view->IsRefined(); }));
    const CRect& shown = view->GetImageRect();
    const int width = frame->GetProject().GetWorkingImage().GetWidth();
    const int height = frame->GetProject().GetWorkingImage().GetHeight();
    ASSERT_EQ(GetAverageSize(), 1); // a 5-pixel square

    // Clicks at the image's two far corners: the square is cut to the 3 x 3
    // pixels of it that lie on the image.
    const struct
    {
        QPoint click;
        CRect sampled;
    } corners[] = {
        {QPoint(shown.left, shown.top), CRect(0, 0, 3, 3)},
        {QPoint(shown.right - 1, shown.bottom - 1), CRect(width - 3, height - 3, width, height)},
    };
    for (const auto& c : corners)
    {
        gradation->labs.clear();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, c.click);
        ASSERT_EQ(gradation->labs.size(), 1u) << c.click.x();
        CCIELab expected;
        ASSERT_TRUE(frame->GetProject().PickAverageLab(c.sampled, expected, 0));
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_DOUBLE_EQ(gradation->labs[0][i], expected[i]) << c.click.x() << " " << i;
    }

    // A move does nothing; the chosen-colour panel takes the flag-1 Lab.
    emit frame->GetImageView()->notify(UWM_IMAGEVIEW_NOTIFY, CImageView::kMoved, 0);
    EXPECT_EQ(gradation->labs.size(), 1u);
    frame->SwitchStep(6, false);
    emit frame->GetImageView()->notify(UWM_IMAGEVIEW_NOTIFY, CImageView::kPressed, 0);
    EXPECT_EQ(specified->colorSamples.size(), 1u);
    EXPECT_TRUE(specified->labs.empty());

    // Busy (printing, a batch): no pick.
    frame->GetProject().BeginBatch();
    emit frame->GetImageView()->notify(UWM_IMAGEVIEW_NOTIFY, CImageView::kPressed, 0);
    frame->GetProject().EndBatch();
    EXPECT_EQ(specified->colorSamples.size(), 1u);
}

// ---- Monitor

TEST_F(MainFrameTest, BusyValueIsFreeBeforeTheMonitorObjectAndBracketsEachSelection)
{
    platform::SimulatedMonitorSetup silent = platform::DefaultSimulatedMonitor();
    silent.section = "MonitorA";
    silent.connector = "SIM-A";
    silent.noAnswer = true;
    platform::SimulatedMonitorSetup answering = platform::DefaultSimulatedMonitor();
    answering.section = "MonitorB";
    answering.connector = "SIM-B";
    answering.primary = false;
    ASSERT_TRUE(monitorFile.Write({silent, answering}));
    // Left busy by a run that ended badly.
    ASSERT_TRUE(SetDdcBusyFlag(1));

    BusyWatchingTransport* transport = nullptr;
    std::optional<std::uint32_t> busyAtCreation;
    MainFrameOptions options;
    options.makeDisplay = [&] {
        busyAtCreation =
            platform::RegistryStore().GetDword(kDdcBusyRegistryKey, kDdcBusyValueName);
        auto t = std::make_unique<BusyWatchingTransport>(monitorFile.Path(), clock);
        transport = t.get();
        return std::make_unique<CDdcApiDisplay>(std::move(t), clock, folders.File("no-drm"));
    };
    Start(std::move(options));
    EXPECT_EQ(busyAtCreation, std::optional<std::uint32_t>(0));
    ASSERT_NE(transport, nullptr);
    ASSERT_FALSE(transport->busy.empty());
    for (std::size_t i = 0; i < transport->busy.size(); ++i)
        EXPECT_EQ(transport->busy[i], std::optional<std::uint32_t>(1)) << i;
    EXPECT_EQ(transport->monitors.front(), "SIM-A");
    EXPECT_EQ(platform::RegistryStore().GetDword(kDdcBusyRegistryKey, kDdcBusyValueName),
              std::optional<std::uint32_t>(0));
    EXPECT_TRUE(frame->MonitorAnswered());
    EXPECT_EQ(GetDisplayIndex(), 1);
    // The monitor object is gone with the window: the channel is the agent's.
    frame.reset();
    EXPECT_EQ(platform::RegistryStore().GetDword(kDdcBusyRegistryKey, kDdcBusyValueName),
              std::optional<std::uint32_t>(1));
}

TEST_F(MainFrameTest, NewAssociationOfTheDisplayBecomesTheMonitorProfile)
{
    // One connected display whose EDID makes the device ID below.
    const std::string drm = folders.File("drm");
    std::filesystem::create_directories(drm + "/card0-DP-1");
    WriteTextFile(drm + "/card0-DP-1/status", "connected\n");
    {
        const std::vector<std::uint8_t> edid = platform::BuildEdid(platform::EdidFields{});
        std::ofstream out(drm + "/card0-DP-1/edid", std::ios::binary);
        out.write(reinterpret_cast<const char*>(edid.data()),
                  static_cast<std::streamsize>(edid.size()));
    }
    const std::string id = "MONITOR\\QBX1234\\card0-DP-1";

    MainFrameOptions options;
    options.drmRoot = drm;
    Start(std::move(options));
    CProjectManage& project = frame->GetProject();
    ASSERT_TRUE(project.GetOutputProfile() != nullptr);
    const std::string before = project.GetOutputProfileName();

    // A wide-gamut profile installed and made the display's default (and
    // the default display's, which the monitor profile is read from).
    std::string folder;
    ASSERT_TRUE(platform::ColorDirectory(folder));
    const std::vector<std::uint8_t> wide = testsupport::WideGamutProfileBytes();
    {
        std::ofstream out(folder + "wide.icc", std::ios::binary);
        out.write(reinterpret_cast<const char*>(wide.data()),
                  static_cast<std::streamsize>(wide.size()));
    }
    ASSERT_TRUE(platform::AssociateDisplayProfile(id, "wide.icc"));
    ASSERT_TRUE(platform::AssociateDisplayProfile("", "wide.icc"));

    EXPECT_TRUE(WaitFor([&] { return project.GetOutputProfileName() != before; }));
    EXPECT_EQ(GetFileNameFromPath(project.GetOutputProfileName()), "wide.icc");
    std::string description;
    ASSERT_TRUE(GetMonitorProfile() != nullptr);
    GetMonitorProfile()->GetDescription(description);
    EXPECT_EQ(frame->GetFileView()->GetDisplayColorSpaceText().toStdString(), description);
    EXPECT_FALSE(frame->GetFileView()->IsCachePaused());
}

// ---- The display's profile on the simulated monitor (no DRM folder, as on
// a virtual X server): the monitor the window selected names the display.

// The 8-bit monitor value LittleCMS gives for a 16-bit sRGB colour on the
// monitor profile (the preview keeps the high byte).
RGB16 LcmsOnMonitor(const std::vector<std::uint8_t>& monitor, RGB16 srgb)
{
    const std::vector<std::uint8_t> source = BuildSRGBProfileBytes();
    cmsHPROFILE in = cmsOpenProfileFromMem(source.data(), static_cast<cmsUInt32Number>(source.size()));
    cmsHPROFILE out =
        cmsOpenProfileFromMem(monitor.data(), static_cast<cmsUInt32Number>(monitor.size()));
    cmsHTRANSFORM t = cmsCreateTransform(in, TYPE_RGB_16, out, TYPE_RGB_16, INTENT_PERCEPTUAL, 0);
    RGB16 shown{};
    if (t)
        cmsDoTransform(t, &srgb, &shown, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(in);
    cmsCloseProfile(out);
    return RGB16{static_cast<std::uint16_t>(shown.r >> 8), static_cast<std::uint16_t>(shown.g >> 8),
                 static_cast<std::uint16_t>(shown.b >> 8)};
}

class DisplayProfileFrameTest : public MainFrameTest
{
protected:
    // A saturated orange, the same in every pixel: every pixel of the
    // preview shows the same monitor value.
    static constexpr RGB16 kColour{56000, 14000, 6000};

    DisplayProfileFrameTest() { UseOsCmm = 1; }
    ~DisplayProfileFrameTest() override { UseOsCmm = m_savedEngine; }

    std::string WriteUniformImage(const std::string& name)
    {
        const std::string path = folders.File("images/" + name);
        // (Images smaller than 50 pixels a side are not taken.)
        CRGBImage image(80, 60);
        RGB16* p = image.Lock();
        std::fill(p, p + 80 * 60, kColour);
        image.Unlock();
        CImageFileInfo out;
        out.m_path = path;
        out.m_type = kImageFileTiff16;
        out.m_detectedType = kImageFileTiff16;
        out.m_width = 80;
        out.m_height = 60;
        out.m_xResolution = out.m_yResolution = 300.0f;
        out.m_iccProfile = BuildSRGBProfileBytes();
        EXPECT_EQ(SaveTiff16(nullptr, out, image, {}), 1) << path;
        return path;
    }

    // The preview's centre pixel once the view has refined what it shows
    // through the monitor profile called `description`.
    QColor ShownWith(const std::string& description)
    {
        CImageView* view = frame->GetImageView();
        EXPECT_TRUE(WaitFor([&] {
            return frame->GetFileView()->GetDisplayColorSpaceText().toStdString() == description &&
                   view->IsRefined();
        })) << frame->GetFileView()->GetDisplayColorSpaceText().toStdString();
        const QImage shown = view->viewport()->grab().toImage();
        const CRect& rect = view->GetImageRect();
        return shown.pixelColor((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    }

    static void ExpectWithinOneLevel(const QColor& shown, const RGB16& expected, const char* what)
    {
        EXPECT_NEAR(shown.red(), expected.r, 1) << what;
        EXPECT_NEAR(shown.green(), expected.g, 1) << what;
        EXPECT_NEAR(shown.blue(), expected.b, 1) << what;
    }

    // What the application's start-up does before the window exists: the
    // monitor profile of the display it can name (none without a DRM
    // folder: the default display).
    void RestartMonitorProfile()
    {
        frame.reset();
        ASSERT_TRUE(InitMonitorProfile(std::string()));
    }

    CMainFrame& StartWith(const std::string& image)
    {
        MainFrameOptions options;
        options.commandLine = [image] { return CommandLineFiles{{image}, false}; };
        CMainFrame& started = Start(std::move(options));
        EXPECT_TRUE(started.GetProject().IsImageReady()) << image;
        for (const auto& m : messages.messages)
            ADD_FAILURE() << "message " << m.stringId << (m.args.empty() ? "" : " " + m.args[0]);
        return started;
    }

    std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    int m_savedEngine = UseOsCmm.load();
};

// The manual mode's profile (CreateMonitorProfile), for a model with P3-like
// primaries, made for the monitor the window selected: the running preview
// and "表示色空間" change to it, and a new start keeps it.
TEST_F(DisplayProfileFrameTest, TheWizardsProfileReachesTheRunningPreviewAndTheNextStart)
{
    const std::string image = WriteUniformImage("orange.tif");
    StartWith(image);
    const RGB16 srgbShown{static_cast<std::uint16_t>(kColour.r >> 8),
                          static_cast<std::uint16_t>(kColour.g >> 8),
                          static_cast<std::uint16_t>(kColour.b >> 8)};
    ExpectWithinOneLevel(ShownWith("sRGB IEC61966-2.1"), srgbShown, "before");
    ASSERT_NE(frame->GetMonitor(), nullptr);
    const std::string deviceId = frame->GetMonitor()->DeviceID.toStdString();
    ASSERT_FALSE(deviceId.empty());

    // The model's data with P3-like primaries, as the manual mode reads it.
    const std::string program = folders.File("program/");
    std::filesystem::create_directories(program + "Data/1234");
    WriteTextFile(program + "Data/1234/1234.ini",
                  "[PrimaryColor]\nRed_x=0.680\nRed_y=0.320\nGreen_x=0.265\nGreen_y=0.690\n"
                  "Blue_x=0.150\nBlue_y=0.060\nWhite_x=0.3127\nWhite_y=0.3290\nGamma=2.2\n"
                  "[Settings]\nCount=1\nModelName=QB-P3\n");
    MonitorProfileRequest request;
    request.modelCode = 0x1234;
    request.deviceId = deviceId;
    request.programFolder = program;
    request.mode = MonitorTemperatureMode::Typed;
    request.typedKelvin = 6500;
    const MonitorProfileResult written = CreateMonitorProfile(request);
    ASSERT_TRUE(written.ok);
    EXPECT_EQ(platform::DefaultDisplayProfile(deviceId), "QB-P3_6500K_22.icm");
    EXPECT_TRUE(platform::DisplayProfiles("").empty());
    const std::string profileText = Read(written.profilePath);
    const std::vector<std::uint8_t> profile(profileText.begin(), profileText.end());

    const RGB16 p3Shown = LcmsOnMonitor(profile, kColour);
    ASSERT_GT(std::abs(int{p3Shown.r} - int{srgbShown.r}) + std::abs(int{p3Shown.g} - int{srgbShown.g}),
              8); // the two monitors show the colour differently
    ExpectWithinOneLevel(ShownWith("QB-P3 6500K 2.2 Profile"), p3Shown, "while running");
    EXPECT_EQ(GetFileNameFromPath(frame->GetProject().GetOutputProfileName()), "QB-P3_6500K_22.icm");

    RestartMonitorProfile();
    StartWith(image);
    ExpectWithinOneLevel(ShownWith("QB-P3 6500K 2.2 Profile"), p3Shown, "after a restart");
}

// The agent associates its profile with the primary display's monitor as
// the DDC/CI transport names it, installing the file first
// (ReplaceDisplayProfile's platform calls).
TEST_F(DisplayProfileFrameTest, TheAgentsProfileReachesTheRunningPreviewAndTheNextStart)
{
    const std::string image = WriteUniformImage("orange.tif");
    StartWith(image);
    ShownWith("sRGB IEC61966-2.1");

    platform::SimulatedDdcTransport transport(monitorFile.Path(), clock);
    std::string agentDevice;
    for (const platform::PhysicalMonitor& m : transport.EnumerateMonitors())
        if (m.primary && agentDevice.empty())
            agentDevice = m.deviceId;
    ASSERT_FALSE(agentDevice.empty());
    const std::vector<std::uint8_t> profile = testsupport::P3LikeProfileBytes();
    const std::string built = folders.File("images/6500K_22_QBX1234.icm");
    WriteTextFile(built, std::string(profile.begin(), profile.end()));
    std::string installed;
    ASSERT_TRUE(platform::InstallProfile(built, &installed));
    ASSERT_TRUE(platform::AssociateDisplayProfile(agentDevice, installed));

    const RGB16 p3Shown = LcmsOnMonitor(profile, kColour);
    ExpectWithinOneLevel(ShownWith(testsupport::kP3LikeProfileDescription), p3Shown, "while running");

    RestartMonitorProfile();
    StartWith(image);
    ExpectWithinOneLevel(ShownWith(testsupport::kP3LikeProfileDescription), p3Shown, "after a restart");
}

// The desktop's colour settings choosing the display's profile in colord
// (colormgr device-make-profile-default, as they do) while the window runs:
// the preview and "表示色空間" follow at once, ahead of the association
// store, and follow back when the program's own profile is made the default
// again.
TEST_F(DisplayProfileFrameTest, ADefaultChangedThroughColordReachesTheRunningPreview)
{
    testsupport::RealColord colord;
    if (!colord.SkipReason().empty())
        GTEST_SKIP() << colord.SkipReason();
    const std::string device = colord.CreateDisplayDevice("SIM-1");
    ASSERT_FALSE(device.empty());
    struct LookupGuard
    {
        LookupGuard() { platform::SetColorManagerLookup(true); }
        ~LookupGuard() { platform::SetColorManagerLookup(false); }
    } lookup;

    // The program's own profile for the simulated monitor: P3-like, in the
    // store and colord's default.
    platform::SimulatedDdcTransport transport(monitorFile.Path(), clock);
    std::string monitorDevice;
    for (const platform::PhysicalMonitor& m : transport.EnumerateMonitors())
        if (m.primary && monitorDevice.empty())
            monitorDevice = m.deviceId;
    ASSERT_EQ(platform::OutputNameOfDevice(monitorDevice), "SIM-1");
    const std::vector<std::uint8_t> p3 = testsupport::P3LikeProfileBytes();
    const std::string built = folders.File("images/6500K_22_QBX1234.icm");
    WriteTextFile(built, std::string(p3.begin(), p3.end()));
    std::string installed;
    ASSERT_TRUE(platform::InstallProfile(built, &installed));
    platform::ColorManagerReport report;
    ASSERT_TRUE(platform::AssociateDisplayProfile(monitorDevice, installed, &report));
    ASSERT_EQ(report.outcome, platform::ColorManagerOutcome::Done) << report.detail;

    const std::string image = WriteUniformImage("orange.tif");
    StartWith(image);
    const RGB16 p3Shown = LcmsOnMonitor(p3, kColour);
    ExpectWithinOneLevel(ShownWith(testsupport::kP3LikeProfileDescription), p3Shown, "start-up");

    // An sRGB profile the desktop knows, made the display's default there.
    const std::vector<std::uint8_t> srgb = BuildSRGBProfileBytes();
    const std::string desktops = colord.ReadableFolder() + "desktop-srgb.icc";
    WriteTextFile(desktops, std::string(srgb.begin(), srgb.end()));
    ASSERT_EQ(colord.Call("/org/freedesktop/ColorManager", "org.freedesktop.ColorManager",
                          "CreateProfile", {"icc-desktop-srgb", "normal"}, {},
                          testsupport::RealColord::StringMap{{"Filename", desktops}}),
              "");
    const std::string desktopProfile = "/org/freedesktop/ColorManager/profiles/icc_desktop_srgb";
    colord.Colormgr({"device-add-profile", device, desktopProfile});
    colord.Colormgr({"device-make-profile-default", device, desktopProfile});
    ExpectWithinOneLevel(ShownWith("sRGB IEC61966-2.1"), LcmsOnMonitor(srgb, kColour),
                         "the desktop's choice");
    EXPECT_EQ(platform::DefaultDisplayProfile(monitorDevice), "6500K_22_QBX1234.icm");

    // The program's profile made the default again, through colord too.
    const std::string ours = colord.Colormgr({"find-profile-by-filename", installed});
    const std::size_t at = ours.find("/org/freedesktop/ColorManager/profiles/");
    ASSERT_NE(at, std::string::npos) << ours;
    const std::string oursPath = ours.substr(at, ours.find_first_of(" \n", at) - at);
    colord.Colormgr({"device-make-profile-default", device, oursPath});
    ExpectWithinOneLevel(ShownWith(testsupport::kP3LikeProfileDescription), p3Shown,
                         "the program's profile again");
}

// Start-up with a wide-gamut display profile: the command line's image,
// a new list and a loaded list file are all shown through it.
TEST_F(DisplayProfileFrameTest, StartUpNewListAndLoadListConvertToTheWideGamutProfile)
{
    platform::SimulatedDdcTransport transport(monitorFile.Path(), clock);
    const std::vector<platform::PhysicalMonitor> monitors = transport.EnumerateMonitors();
    ASSERT_FALSE(monitors.empty());
    const std::vector<std::uint8_t> profile = testsupport::P3LikeProfileBytes();
    std::string folder;
    ASSERT_TRUE(platform::ColorDirectory(folder));
    WriteTextFile(folder + "p3.icc", std::string(profile.begin(), profile.end()));
    ASSERT_TRUE(platform::AssociateDisplayProfile(monitors.front().deviceId, "p3.icc"));
    const RGB16 p3Shown = LcmsOnMonitor(profile, kColour);

    const std::string image = WriteUniformImage("orange.tif");
    StartWith(image);
    ExpectWithinOneLevel(ShownWith(testsupport::kP3LikeProfileDescription), p3Shown, "start-up");

    const std::string list = folders.File("images/orange.cvl");
    ASSERT_TRUE(frame->GetProject().WriteFile(list));
    frame->GetFileView()->NewList();
    EXPECT_EQ(GetFileNameFromPath(frame->GetProject().GetOutputProfileName()), "p3.icc");
    frame->GetFileView()->LoadList(list);
    ASSERT_EQ(frame->GetProject().GetCount(), 1u);
    frame->GetFileView()->LoadImage(frame->GetProject().GetItem(0), CProjectManage::kStepCount);
    ExpectWithinOneLevel(ShownWith(testsupport::kP3LikeProfileDescription), p3Shown, "list file");
}

TEST_F(MainFrameTest, EngineSwitchForcedByANewMonitorProfileIsReportedAsTheRunsOwn)
{
    const std::string drm = folders.File("drm");
    std::filesystem::create_directories(drm + "/card0-DP-1");
    WriteTextFile(drm + "/card0-DP-1/status", "connected\n");
    {
        const std::vector<std::uint8_t> edid = platform::BuildEdid(platform::EdidFields{});
        std::ofstream out(drm + "/card0-DP-1/edid", std::ios::binary);
        out.write(reinterpret_cast<const char*>(edid.data()),
                  static_cast<std::streamsize>(edid.size()));
    }
    struct EngineGuard
    {
        int saved = UseOsCmm.load();
        ~EngineGuard() { UseOsCmm = saved; }
    } guard;
    UseOsCmm = 0; // the user's choice: the program's own matrix path

    int forced = 0;
    MainFrameOptions options;
    options.drmRoot = drm;
    options.onUseOsCmmForced = [&forced] { ++forced; };
    Start(std::move(options));

    // A Lab profile: LittleCMS can use it, the own matrix path cannot.
    std::string folder;
    ASSERT_TRUE(platform::ColorDirectory(folder));
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    ASSERT_NE(lab, nullptr);
    ASSERT_TRUE(cmsSaveProfileToFile(lab, (folder + "lab.icc").c_str()));
    cmsCloseProfile(lab);
    ASSERT_TRUE(platform::AssociateDisplayProfile("MONITOR\\QBX1234\\card0-DP-1", "lab.icc"));
    ASSERT_TRUE(platform::AssociateDisplayProfile("", "lab.icc"));

    EXPECT_TRUE(WaitFor([&] { return forced > 0; }));
    EXPECT_EQ(forced, 1);
    EXPECT_EQ(UseOsCmm.load(), 1);
}

// Ctrl+S into a folder that cannot be written: whatever the format, the
// failure is told once in the system's words, the old file stays, and the
// next Ctrl+S offers the same folder, name, format and quality again.
TEST_F(MainFrameTest, SaveIntoAFolderThatCannotBeWrittenSaysSoAndKeepsTheOldFile)
{
    Start();
    frame->AddFiles({WriteImage("save.tif")});
    ASSERT_TRUE(frame->GetProject().IsImageReady());
    const std::string locked = folders.File("locked/");
    std::filesystem::create_directories(locked);
    const struct
    {
        int format;
        const char* name;
    } cases[] = {{0, "out.tif"}, {1, "out8.tif"}, {2, "out.jpg"}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string target = locked + c.name;
        WriteTextFile(target, "old");
        messages.messages.clear();
        {
            testsupport::ScopedReadOnlyFolder readOnly(locked);
            ASSERT_TRUE(readOnly.Held());
            SetSaveImageFileDialogRunner([&](CSaveImageFileDlg& dialog) {
                dialog.m_nSaveType = c.format;
                dialog.m_nQuality = 1;
                dialog.selectFile(QString::fromStdString(target));
                return int(QDialog::Accepted);
            });
            EXPECT_TRUE(frame->ExecuteCommand(FrameCommand::SaveImage));
        }
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].stringId, kStrSystemErrorText);
        ASSERT_EQ(messages.messages[0].args.size(), 1u);
        EXPECT_EQ(messages.messages[0].args[0], std::strerror(EACCES));
        EXPECT_EQ(testsupport::ReadTextFile(target), "old");
        std::size_t files = 0;
        for (const auto& item : std::filesystem::directory_iterator(locked))
            files += item.is_regular_file();
        EXPECT_EQ(files, static_cast<std::size_t>(&c - cases) + 1) << "nothing left beside";

        // The second try starts where the first ended.
        QString offeredName, offeredFolder;
        int offeredType = -1, offeredQuality = -1;
        SetSaveImageFileDialogRunner([&](CSaveImageFileDlg& dialog) {
            offeredName = dialog.fileNameText();
            offeredFolder = dialog.directory().absolutePath();
            offeredType = dialog.m_nSaveType;
            offeredQuality = dialog.m_nQuality;
            return int(QDialog::Rejected);
        });
        EXPECT_TRUE(frame->ExecuteCommand(FrameCommand::SaveImage));
        SetSaveImageFileDialogRunner({});
        EXPECT_EQ(offeredFolder.toStdString() + "/", locked);
        EXPECT_EQ(offeredType, c.format);
        EXPECT_EQ(offeredQuality, 1);
        EXPECT_EQ(QFileInfo(offeredName).suffix(), QFileInfo(QString(c.name)).suffix());
    }
}

// ---- A second start

#ifdef QB_CHROMIVEL_BINARY
TEST_F(MainFrameTest, SecondStartHandsItsFileToTheRunningWindowAndEnds)
{
    std::filesystem::create_directories(folders.File("runtime"));
    std::filesystem::permissions(folders.File("runtime"), std::filesystem::perms::owner_all);
    ScopedEnv runtime("XDG_RUNTIME_DIR", folders.File("runtime"));
    // The running instance reads its settings itself (in the program's
    // folder, named CHROMIVEL): no introduction.
    platform::SetApplicationName("CHROMIVEL");
    CIniFile(GetIniFilePath()).SetInt("CqzNewProjectDlg", "SkipInitMsg", 1);
    const std::string image = WriteImage("forwarded.tif");

    CChromivelApp app;
    const bool started = app.InitInstance({QStringLiteral("chromivel")}, [this, &app]() -> QWidget* {
        MainFrameOptions options =
            SimulatedMonitorFrameOptions(monitorFile.Path(), clock, folders.File("no-drm"));
        options.application = &app;
        frame = std::make_unique<CMainFrame>(std::move(options));
        return frame.get();
    });
    ASSERT_TRUE(started);
    ASSERT_TRUE(WaitFor([this] { return frame->IsStarted(); }));

    QProcess second;
    second.start(QStringLiteral(QB_CHROMIVEL_BINARY), {QString::fromStdString(image)});
    ASSERT_TRUE(second.waitForStarted());
    // The first instance is this process: its events must run meanwhile.
    ASSERT_TRUE(WaitFor([&second] { return second.state() == QProcess::NotRunning; }));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();

    ASSERT_TRUE(WaitFor([this, &image] { return ListedPaths() == std::vector<std::string>{image}; }));
    EXPECT_EQ(frame->GetProject().GetCurrentRecord().m_path, image);
    EXPECT_TRUE(frame->windowTitle().endsWith(QStringLiteral(" - forwarded.tif")));
    frame.reset();
    EXPECT_EQ(app.IsFinished(), 1);
}
#endif

// ---- Keys

TEST_F(MainFrameTest, SpaceIntoThePanelIsSwallowedWhileThePointerIsOverThePreview)
{
    RecordingPanel* panel = nullptr;
    Start(WithPanel(2, &panel));
    FakePointerState pointer;
    frame->SetPointerState(&pointer);
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    frame->SwitchStep(2, false);
    panel->edit->setFocus();

    pointer.position = frame->GetImageView()->mapToGlobal(frame->GetImageView()->rect().center());
    QTest::keyClick(panel->edit, Qt::Key_Space);
    EXPECT_EQ(panel->edit->text(), QString());

    pointer.position = panel->mapToGlobal(panel->rect().center());
    QTest::keyClick(panel->edit, Qt::Key_Space);
    EXPECT_EQ(panel->edit->text(), QStringLiteral(" "));
}

} // namespace
