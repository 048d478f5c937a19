// The main window on the real project, offscreen, with private user folders
// and the simulated DDC/CI monitor: size kept in the settings, step
// switches, drops, adding files, colour picks, the deferred start-up (the
// command line's files, the busy value around the monitor selection), the
// monitor profile followed through the association store, the space key
// over the preview and the commands' shortcuts.

#include "app/ChromivelApp.h"
#include "app/FileView.h"
#include "app/ImageView.h"
#include "app/MainFrame.h"
#include "app/StepPanel.h"
#include "app/X11DisplayProfile.h"

#include "controls/FileTableCtrl.h"
#include "controls/ProgDlg.h"
#include "controls/SaveImageFileDlg.h"
#include "core/ColorProfile.h"
#include "core/ErrorRecord.h"
#include "core/GlobalSettings.h"
#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "core/ProfileStore.h"
#include "core/UseOsCmm.h"
#include "core/SRGBProfile.h"
#include "correction/ProjectManage.h"
#include "imagefile/ImageLoadSave.h"
#include "imagefile/ReloadCache.h"
#include "monitor/Display.h"
#include "platform/ColorDirectory.h"
#include "platform/Folders.h"
#include "platform/Registry.h"
#include "platform/ddc/SimulatedMonitors.h"
#include "print/PrintImageDlg.h"

#include "tests/controls/FakePointerState.h"
#include "tests/monitor/BusyWatchingTransport.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestProfiles.h"
#include "tests/support/qt/WaitFor.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
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

#include <filesystem>
#include <functional>
#include <fstream>

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
            options.makeDisplay = [this] {
                return std::make_unique<CDdcApiDisplay>(
                    std::make_unique<platform::SimulatedDdcTransport>(monitorFile.Path(), clock),
                    clock, folders.File("no-drm"));
            };
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
        const std::string path = folders.File("images/" + name);
        CRGBImage image(width, height);
        RGB16* p = image.Lock();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                p[static_cast<std::size_t>(y) * width + x] =
                    RGB16{static_cast<std::uint16_t>(65535LL * x / (width - 1)),
                          static_cast<std::uint16_t>(65535LL * y / (height - 1)),
                          std::uint16_t{20000}};
        image.Unlock();
        CImageFileInfo out;
        out.m_path = path;
        out.m_type = kImageFileTiff16;
        out.m_detectedType = kImageFileTiff16;
        out.m_width = width;
        out.m_height = height;
        out.m_xResolution = out.m_yResolution = 300.0f;
        out.m_iccProfile = BuildSRGBProfileBytes();
        EXPECT_EQ(SaveTiff16(nullptr, out, image, {}), 1) << path;
        return path;
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

    // A move does nothing; the specified-colour panel takes the flag-1 Lab.
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
        MainFrameOptions options;
        options.application = &app;
        options.drmRoot = folders.File("no-drm");
        options.makeDisplay = [this] {
            return std::make_unique<CDdcApiDisplay>(
                std::make_unique<platform::SimulatedDdcTransport>(monitorFile.Path(), clock),
                clock, folders.File("no-drm"));
        };
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
