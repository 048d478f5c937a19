// The file-list panel on the real project, offscreen, with private user
// folders and the simulated DDC/CI monitor: its settings, the rows it keeps,
// registering, sorting and ticking entries, list files and the save
// question on closing, loading entries, thumbnails from the loader (and a
// camera RAW file's conversion), the LUT of entries, the parameter import
// and its trimming, the buttons' wiring and the layout in the right pane.

#include "app/filelist/FileView.h"
#include "app/filelist/ScreenShow.h"
#include "app/preview/ImageView.h"
#include "app/shell/MainFrame.h"
#include "tests/app/GradientTiff.h"
#include "tests/app/SimulatedMonitorFrame.h"

#include "controls/widgets/FileTableCtrl.h"
#include "controls/widgets/ImageScreen.h"
#include "core/ColorProfile.h"
#include "core/GlobalSettings.h"
#include "core/ImageEx.h"
#include "core/ImageFileProbe.h"
#include "core/IniFile.h"
#include "core/PathUtils.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "correction/ParamFile.h"
#include "correction/ProjectManage.h"
#include "imagefile/DNGFile.h"
#include "imagefile/ImageLoadSave.h"
#include "imagefile/LoadThumbnail.h"
#include "imagefile/ReloadCache.h"
#include "monitor/Display.h"
#include "platform/ddc/SimulatedMonitors.h"

#include "tests/support/DngBuilder.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"
#include "tests/support/qt/WaitFor.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

using testsupport::PrivateUserFolders;
using testsupport::WaitFor;
using testsupport::RecordingMessageSink;
using testsupport::ScopedEnv;
using testsupport::WriteTextFile;

namespace {

// A LUT file of the identity: the 17 x 17 x 17 grid, red slowest.
std::string IdentityLutText()
{
    std::string text = "R_in,G_in,B_in,R_out,G_out,B_out\n";
    auto grid = [](int i) { return static_cast<int>(std::lround(i * 255.0 / 16.0)); };
    for (int r = 0; r < 17; ++r)
        for (int g = 0; g < 17; ++g)
            for (int b = 0; b < 17; ++b)
            {
                const std::string in = std::to_string(grid(r)) + "," + std::to_string(grid(g)) +
                                       "," + std::to_string(grid(b));
                text += in + "," + in + "\n";
            }
    return text;
}

// The project with one more handle: the loaded image's resolution can be
// taken away (no file gives none: the records read 240 dpi then).
class TestProject : public CProjectManage
{
public:
    using CProjectManage::CProjectManage;
    void ForgetResolution()
    {
        m_currentRecord.m_xResolution = 0.0f;
        m_currentRecord.m_yResolution = 0.0f;
    }
};

class FileViewTest : public ::testing::Test
{
protected:
    FileViewTest()
        : simulated("QUILLBRAKE_SIMULATED_MONITORS", folders.File("monitors.ini")),
          monitorFile(folders.File("monitors.ini"))
    {
        for (const char* sub : {"config", "data", "cache", "images", "no-drm", "luts", "dng"})
            std::filesystem::create_directories(folders.File(sub));
        EXPECT_TRUE(monitorFile.Write());
        previousSkip = GetSkipInitMsg();
        SetSkipInitMsg(1);
        EnsureSRGBProfileInstalled();
        EXPECT_TRUE(InitMonitorProfile());
    }

    ~FileViewTest() override
    {
        frame.reset();
        view.reset();
        project.reset();
        FreeMonitorProfile();
        ClearReloadImageCache();
        ClearReloadThumbnailCache();
        SetDNGConverterPath("");
        SetSkipInitMsg(previousSkip);
    }

    // The main window, shown and started.
    CMainFrame& Start()
    {
        MainFrameOptions options =
            SimulatedMonitorFrameOptions(monitorFile.Path(), clock, folders.File("no-drm"));
        frame = std::make_unique<CMainFrame>(std::move(options));
        frame->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        EXPECT_TRUE(WaitFor([this] { return frame->IsStarted(); }));
        return *frame;
    }

    // The panel on its own, over a project whose LUTs are those of the
    // "luts" folder, with the preferences' colour spaces (as the frame's
    // start-up gives them).
    CFileView& StartPanel(int width = 320, int height = 700)
    {
        project = std::make_unique<TestProject>(folders.File("luts"));
        view = std::make_unique<CFileView>();
        view->SetProject(project.get());
        view->resize(width, height);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        view->NewList();
        return *view;
    }

    // Registers entries "images/1000.tif", "images/1001.tif", ... (the
    // files need not exist for the rows) and shows them.
    void RegisterNumberedEntries(int count)
    {
        view->DetachRows();
        for (int i = 0; i < count; ++i)
        {
            CImageFileInfo record;
            record.m_path = NumberedEntry(i);
            record.m_lutName = std::string(kNoLutName);
            ASSERT_TRUE(project->AddFile(record, std::numeric_limits<std::size_t>::max()));
        }
        view->RefreshList();
    }
    std::string NumberedEntry(int i)
    {
        return folders.File("images/" + std::to_string(1000 + i) + ".tif");
    }

    // A 16-bit TIFF with the sRGB profile embedded.
    std::string WriteImage(const std::string& name, int width = 80, int height = 60,
                           float dpi = 300.0f)
    {
        return WriteGradientTiff16(folders.File("images/" + name), width, height, dpi);
    }

    // Registers files in the project directly, as the frame's AddFiles does.
    void Register(CProjectManage& p, const std::vector<std::string>& paths)
    {
        view->DetachRows();
        for (const std::string& path : paths)
        {
            CImageFileInfo record;
            ASSERT_EQ(record.ReadInfo(path), 1) << path;
            record.m_lutName = std::string(kNoLutName);
            p.AddFile(record, std::numeric_limits<std::size_t>::max());
        }
        view->RefreshList();
    }

    // A converter program that writes a small DNG for any camera RAW file,
    // and fails for a source whose name has "bad" in it.
    void UseConverterThatWritesADng()
    {
        testsupport::DngRecipe recipe;
        recipe.width = 64;
        recipe.height = 56;
        const std::string made = folders.File("made.dng");
        ASSERT_TRUE(testsupport::DngBuilder(recipe).WriteFile(made));
        const std::string script = folders.File("conv.sh");
        // Arguments: -c -p0 -d folder -o name source.
        WriteTextFile(script, "#!/bin/sh\ncase \"$7\" in *bad*) exit 1;; esac\ncp \"" + made +
                                  "\" \"$4$6\"\n");
        ::chmod(script.c_str(), 0755);
        SetDNGConverterPath(script);
        SetDngOutputPath(folders.File("dng"));
    }

    // A camera RAW file listed as a list file brings it (the probe itself
    // registers none); its conversion starts at once.
    void ListRawFile(CFileView& fileView, CProjectManage& p, const std::string& name)
    {
        const std::string raw = folders.File("images/" + name);
        WriteTextFile(raw, "raw bytes");
        fileView.DetachRows();
        CImageFileInfo record;
        record.m_path = raw;
        record.m_type = record.m_detectedType = kImageFileRaw;
        record.m_lutName = std::string(kNoLutName);
        ASSERT_TRUE(p.AddFile(record, 10));
        fileView.RefreshList();
    }

    std::vector<std::string> ListedPaths(const CProjectManage& p) const
    {
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < p.GetCount(); ++i)
            paths.push_back(p.GetItem(i).m_path);
        return paths;
    }

    // Clicks the centre of a row's file-name cell.
    static void ClickRow(CFileTableCtrl* list, int row, bool twice = false)
    {
        const QRect cell = list->visualRect(list->fileModel()->index(row, 1));
        if (twice)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        else
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }

    PrivateUserFolders folders;
    ScopedEnv simulated;
    platform::SimulatedMonitorFile monitorFile;
    platform::VirtualClock clock;
    RecordingMessageSink messages;
    int previousSkip = 0;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<TestProject> project;
    std::unique_ptr<CFileView> view;
};

} // namespace

// ---- Pure rules

TEST(FileViewRulesTest, SettingsTakeTheirDefaultsOutsideTheirRanges)
{
    PrivateUserFolders folders;
    const std::string ini = folders.File("settings.ini");
    const struct
    {
        const char* text;
        int showThumbnail, saveFormat, jpegQuality;
    } cases[] = {
        {"", 1, 0, 2},
        {"nShowThumbnail=2\nnSaveFormat=2\nnJpegQuality=4\n", 2, 2, 4},
        {"nShowThumbnail=0\nnSaveFormat=1\nnJpegQuality=0\n", 0, 1, 0},
        {"nShowThumbnail=3\nnSaveFormat=3\nnJpegQuality=5\n", 1, 0, 2},
        {"nShowThumbnail=-1\nnSaveFormat=-1\nnJpegQuality=-1\n", 1, 0, 2},
    };
    for (const auto& c : cases)
    {
        WriteTextFile(ini, std::string("[FileView]\n") + c.text);
        const FileViewSettings s = ReadFileViewSettings(ini, "/pictures/", "/documents/");
        EXPECT_EQ(s.showThumbnail, c.showThumbnail) << c.text;
        EXPECT_EQ(s.saveFormat, c.saveFormat) << c.text;
        EXPECT_EQ(s.jpegQuality, c.jpegQuality) << c.text;
        EXPECT_EQ(s.registerPath, "/pictures/");
        EXPECT_EQ(s.copyPath, "/pictures/");
        EXPECT_EQ(s.listPath, "/documents/");
        EXPECT_EQ(s.saveFolder, "");
    }

    // Only three keys are written back.
    WriteTextFile(ini, "");
    FileViewSettings s;
    s.showThumbnail = 2;
    s.registerPath = "/reg/";
    s.listPath = "/lists/a.cvl";
    s.saveFolder = "/saved/";
    s.saveFormat = 2;
    s.jpegQuality = 4;
    s.copyPath = "/copy/";
    WriteFileViewSettings(ini, s);
    const CIniFile read(ini);
    EXPECT_EQ(read.GetInt("FileView", "nShowThumbnail", -9), 2);
    EXPECT_EQ(read.GetString("FileView", "strResistPath", ""), "/reg/");
    EXPECT_EQ(read.GetString("FileView", "strListPath", ""), "/lists/a.cvl");
    for (const char* key : {"strSaveFilePath", "nSaveFormat", "nJpegQuality", "strCopyPath"})
        EXPECT_EQ(read.GetString("FileView", key, "missing"), "missing") << key;
}

TEST(FileViewRulesTest, HeadingsAndSortKeysMapBothWays)
{
    const struct
    {
        int column, key;
    } cases[] = {{0, kSortByNumber}, {1, kSortByName}, {2, kSortByLut}, {3, kSortByFolder}};
    for (const auto& c : cases)
    {
        EXPECT_EQ(SortKeyOfColumn(c.column), c.key);
        EXPECT_EQ(ColumnOfSortKey(c.key), c.column);
    }
    EXPECT_EQ(SortKeyOfColumn(-1), -1);
    EXPECT_EQ(SortKeyOfColumn(4), -1);
    EXPECT_EQ(ColumnOfSortKey(kSortByCheck), -1);
    EXPECT_EQ(ColumnOfSortKey(5), -1);
}

TEST(FileViewRulesTest, ConvertedDngTakesTheRawFilesTitleBesideIt)
{
    PrivateUserFolders folders;
    const std::string dng = folders.File("~t-tmp.dng");
    EXPECT_EQ(ConvertedDngName("/photos/shot.NEF", dng), folders.File("shot.dng"));
    WriteTextFile(folders.File("shot.dng"), "taken");
    EXPECT_EQ(ConvertedDngName("/photos/shot.NEF", dng), folders.File("shot_00002.dng"));
    // Only the same spelling is taken: "Shot.dng" is another file.
    EXPECT_EQ(ConvertedDngName("/photos/Shot.nef", dng), folders.File("Shot.dng"));
}

TEST(FileViewRulesTest, FailedLoadsNameTheirCause)
{
    EXPECT_EQ(LoadFailureMessage(kLoadStateNoMemory), kStrNoMemory);
    EXPECT_EQ(LoadFailureMessage(kLoadStateConverter), kStrConverterFailed);
    for (int state : {kLoadStateOther, kLoadStateNoInfo, kLoadStateDone, 9})
        EXPECT_EQ(LoadFailureMessage(state), kStrOpenFailed) << state;
}

// ---- Settings of the panel

TEST_F(FileViewTest, PanelReadsItsSectionAndWritesBackThreeKeys)
{
    WriteTextFile(GetIniFilePath(), "[FileView]\nnShowThumbnail=2\nnSaveFormat=3\nnJpegQuality=5\n"
                                    "strSaveFilePath=/out/\nstrResistPath=/in/\n");
    StartPanel();
    EXPECT_EQ(view->GetThumbnailSize(), 2);
    EXPECT_EQ(view->findChild<QComboBox*>("1242")->currentIndex(), 2);
    EXPECT_EQ(view->GetListCtrl()->DisplayMode, 2);
    EXPECT_EQ(view->GetSaveFormat(), 0);
    EXPECT_EQ(view->GetJpegQuality(), 2);
    EXPECT_EQ(view->GetSaveFolder(), "/out/");
    view->findChild<QComboBox*>("1242")->setCurrentIndex(0);
    EXPECT_EQ(view->GetListCtrl()->DisplayMode, 0);
    view.reset();
    const CIniFile ini(GetIniFilePath());
    EXPECT_EQ(ini.GetInt("FileView", "nShowThumbnail", -9), 0);
    EXPECT_EQ(ini.GetString("FileView", "strResistPath", ""), "/in/");
    EXPECT_EQ(ini.GetInt("FileView", "nSaveFormat", -9), 3); // read, never written
}

// ---- Rows

// The number column holds the check box and the number after a blank:
// 150 entries need it wider than its 40 pixels, and "150" is shown whole
// (the delegate elides what does not fit into "1…").
TEST_F(FileViewTest, NumberColumnShowsTheLargestNumberWhole)
{
    StartPanel();
    CFileTableCtrl* list = view->GetListCtrl();
    EXPECT_EQ(list->columnWidth(0), kNumberColumnWidth);
    RegisterNumberedEntries(150);
    const QModelIndex last = list->fileModel()->index(149, 0);
    ASSERT_EQ(list->fileModel()->text(149, 0), QStringLiteral("150"));
    const QRect cell = list->visualRect(last);
    const QFontMetrics metrics(list->font());
    const int textLeft = list->checkBoxRect(cell).right() + 1 + metrics.horizontalAdvance(' ');
    const int room = cell.right() - textLeft; // the last pixel is the grid line
    EXPECT_EQ(metrics.elidedText(QStringLiteral("150"), Qt::ElideRight, room),
              QStringLiteral("150"));
    EXPECT_GE(room, metrics.horizontalAdvance(QStringLiteral("150")));
    EXPECT_GT(list->columnWidth(0), kNumberColumnWidth);
}

TEST_F(FileViewTest, ListKeepsAtLeastFortyRows)
{
    StartPanel();
    CFileTableModel* model = view->GetListCtrl()->fileModel();
    ASSERT_EQ(model->rowCount(), kFileListMinimumRows);
    for (int row = 0; row < model->rowCount(); ++row)
        EXPECT_EQ(model->entry(row), nullptr) << row;

    // 41 entries.
    RegisterNumberedEntries(41);
    ASSERT_EQ(model->rowCount(), 41);
    EXPECT_EQ(model->text(40, 0), QStringLiteral(" 41"));
    EXPECT_EQ(model->text(40, 1), QStringLiteral("1040.tif"));
    EXPECT_EQ(model->text(0, 3).toStdString(), folders.File("images/"));
    EXPECT_EQ(view->GetListCtrl()->RowCount, 41);

    // Back to three: rows past 40 go, the rest below the entries are blank.
    std::vector<std::string> gone;
    for (int i = 3; i < 41; ++i)
        gone.push_back(NumberedEntry(i));
    view->DetachRows();
    project->RemoveFiles(gone);
    view->RefreshList();
    ASSERT_EQ(model->rowCount(), kFileListMinimumRows);
    EXPECT_NE(model->entry(2), nullptr);
    for (int row = 3; row < kFileListMinimumRows; ++row)
    {
        EXPECT_EQ(model->entry(row), nullptr) << row;
        EXPECT_TRUE(model->text(row, 1).isEmpty()) << row;
        EXPECT_FALSE(model->isChecked(row)) << row;
    }
    EXPECT_EQ(view->GetListCtrl()->RowCount, 3);
}

// The list scrolls until its last row stands at the bottom, in every row
// height, and no further: no page of nothing below it.
TEST_F(FileViewTest, ListScrollsUntilItsLastRowIsAtTheBottom)
{
    StartPanel();
    CFileTableCtrl* list = view->GetListCtrl();
    RegisterNumberedEntries(45);
    const int last = list->fileModel()->rowCount() - 1;
    ASSERT_EQ(last, 44);
    for (int mode : {0, 1, 2})
    {
        list->SetItemHeight(mode);
        QApplication::processEvents();
        QScrollBar* bar = list->verticalScrollBar();
        bar->setValue(bar->maximum());
        QApplication::processEvents();
        const int bottom = list->viewport()->height();
        const QRect lastRect = list->visualRect(list->fileModel()->index(last, 1));
        EXPECT_EQ(lastRect.bottom() + 1, bottom) << "mode " << mode;
        // One step less leaves the last row (partly) below the bottom.
        bar->setValue(bar->maximum() - 1);
        QApplication::processEvents();
        EXPECT_GT(list->visualRect(list->fileModel()->index(last, 1)).bottom() + 1, bottom)
            << "mode " << mode;
    }
}

// ---- Registering

TEST_F(FileViewTest, AddFilesRefusesADuplicateButKeepsNamesDifferingInCase)
{
    Start();
    CFileView* fileView = frame->GetFileView();
    const std::string a = WriteImage("a.tif");
    const std::string upper = WriteImage("A.tif");
    std::vector<std::vector<std::string>> answers = {{a}, {a}, {upper, a}};
    std::vector<CFileView::FileDialogKind> kinds;
    fileView->SetFileChooser([&](CFileView::FileDialogKind kind, const std::string&, const QString&) {
        kinds.push_back(kind);
        std::vector<std::string> next = answers.front();
        answers.erase(answers.begin());
        return next;
    });
    // The add button runs the file dialog and the frame's registration.
    auto* add = fileView->findChild<QToolButton*>("1002");
    ASSERT_TRUE(add->isEnabled());
    for (int i = 0; i < 3; ++i)
        add->click();
    EXPECT_EQ(kinds.size(), 3u);
    EXPECT_EQ(ListedPaths(frame->GetProject()), (std::vector<std::string>{a, upper}));
    EXPECT_EQ(frame->GetProject().GetCurrentRecord().m_path, a);
    // One file chosen: it is remembered as the folder to offer next.
    EXPECT_EQ(fileView->GetSettings().registerPath, folders.File("images/"));
}

TEST_F(FileViewTest, OpenFolderRegistersOnlyTheJpegFilesOfTheFolderItself)
{
    Start();
    CFileView* fileView = frame->GetFileView();
    std::filesystem::create_directories(folders.File("images/trip/sub"));
    CImageEx picture;
    ASSERT_TRUE(picture.Create(64, 64));
    std::vector<std::string> jpegs = {folders.File("images/trip/b.JPG"),
                                      folders.File("images/trip/a.jpeg")};
    for (const std::string& path : jpegs)
        ASSERT_TRUE(SaveImageFile({}, kImageFileJpeg, picture, path, 72.0f, 72.0f, 2));
    ASSERT_TRUE(SaveImageFile({}, kImageFileJpeg, picture, folders.File("images/trip/sub/c.jpg"),
                              72.0f, 72.0f, 2));
    std::filesystem::copy_file(WriteImage("t.tif"), folders.File("images/trip/t.tif"));
    fileView->SetFileChooser([&](CFileView::FileDialogKind kind, const std::string&, const QString&) {
        EXPECT_EQ(kind, CFileView::FileDialogKind::OpenFolder);
        return std::vector<std::string>{folders.File("images/trip")};
    });
    fileView->OnFolderOpen();
    EXPECT_EQ(ListedPaths(frame->GetProject()), (std::vector<std::string>{jpegs[1], jpegs[0]}));
    EXPECT_FALSE(frame->GetProject().IsImageReady());
    EXPECT_EQ(fileView->GetSettings().registerPath, folders.File("images/trip/"));
}

// ---- Sorting and ticking

TEST_F(FileViewTest, SecondClickOnAHeadingFlipsTheSort)
{
    StartPanel(900);
    Register(*project, {WriteImage("b.tif"), WriteImage("c.tif"), WriteImage("a.tif")});
    CFileTableCtrl* list = view->GetListCtrl();
    QHeaderView* header = list->horizontalHeader();
    const QPoint nameHeading(header->sectionViewportPosition(1) + header->sectionSize(1) / 2,
                             header->height() / 2);
    auto names = [&] {
        QStringList out;
        for (int row = 0; row < 3; ++row)
            out << list->fileModel()->text(row, 1);
        return out;
    };
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, nameHeading);
    EXPECT_EQ(project->GetSortKey(), kSortByName);
    EXPECT_EQ(names(), (QStringList{"a.tif", "b.tif", "c.tif"}));
    EXPECT_EQ(list->SortColumn, 1);
    EXPECT_TRUE(list->SortFlag);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, nameHeading);
    EXPECT_EQ(names(), (QStringList{"c.tif", "b.tif", "a.tif"}));
    EXPECT_FALSE(list->SortFlag);
    // The numbers stay with their entries.
    EXPECT_EQ(list->fileModel()->text(0, 0), QStringLiteral("  2"));
}

TEST_F(FileViewTest, CheckBoxClickReachesTheList)
{
    StartPanel();
    Register(*project, {WriteImage("a.tif"), WriteImage("b.tif")});
    project->SetListChanged(false);
    ASSERT_EQ(project->GetCheckedCount(), 2u);
    CFileTableCtrl* list = view->GetListCtrl();
    const QRect box = list->checkBoxRect(list->visualRect(list->fileModel()->index(1, 0)));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    EXPECT_EQ(project->GetItem(1).m_check, 0);
    EXPECT_EQ(project->GetItem(0).m_check, 1);
    EXPECT_EQ(project->GetCheckedCount(), 1u);
    EXPECT_TRUE(project->IsListChanged());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    EXPECT_EQ(project->GetCheckedCount(), 2u);
}

// ---- List files

TEST_F(FileViewTest, SavedListReopensIdentically)
{
    WriteTextFile(folders.File("luts/warm.csv"), IdentityLutText());
    StartPanel(900);
    ASSERT_EQ(project->GetLUTNames().size(), 1u);
    Register(*project, {WriteImage("b.tif"), WriteImage("a.tif"), WriteImage("c.tif")});
    project->GetItem(1).m_check = 0;
    project->GetItem(2).m_lutName = project->GetLUTNames()[0];
    view->OnListNotify(2, 1); // by file name
    view->OnListNotify(2, 1); // descending
    const std::string listFile = folders.File("lists/my.cvl");
    std::filesystem::create_directories(folders.File("lists"));
    view->SetFileChooser([&](CFileView::FileDialogKind kind, const std::string&, const QString&) {
        return std::vector<std::string>{kind == CFileView::FileDialogKind::SaveList ||
                                                kind == CFileView::FileDialogKind::OpenList
                                            ? listFile
                                            : std::string()};
    });
    view->OnSaveList();
    ASSERT_TRUE(std::filesystem::exists(listFile));
    EXPECT_EQ(view->GetListTitle(), "my.cvl");
    EXPECT_FALSE(project->IsListChanged());

    auto snapshot = [&] {
        // The numbers are given again in the stored order; the rest stays.
        std::vector<std::tuple<std::string, int, std::string>> rows;
        for (std::size_t i = 0; i < project->GetShownCount(); ++i)
        {
            const CImageFileInfo* e = project->GetShownItem(i);
            rows.emplace_back(e->m_path, e->m_check, e->m_lutName);
        }
        return rows;
    };
    const auto before = snapshot();
    const int key = project->GetSortKey();
    const int direction = project->GetSortDirection(key);

    view->NewList();
    EXPECT_EQ(project->GetCount(), 0u);
    EXPECT_EQ(view->GetListTitle(), "");
    view->OnLoadList();
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(project->GetSortKey(), key);
    EXPECT_EQ(project->GetSortDirection(key), direction);
    EXPECT_EQ(view->GetListTitle(), "my.cvl");
    EXPECT_EQ(view->GetListCtrl()->fileModel()->text(0, 1), QStringLiteral("c.tif"));
    EXPECT_EQ(view->GetListCtrl()->fileModel()->text(0, 2), QStringLiteral("warm"));
}

TEST_F(FileViewTest, CancellingSaveAsOnCloseKeepsTheWindowAndTheList)
{
    Start();
    const std::vector<std::string> paths = {WriteImage("a.tif"), WriteImage("b.tif")};
    frame->AddFiles(paths);
    CFileView* fileView = frame->GetFileView();
    int questions = 0;
    fileView->SetSaveQuestion([&](bool) {
        ++questions;
        return 6; // save
    });
    std::string chosen; // empty: the save dialog is cancelled
    fileView->SetFileChooser([&](CFileView::FileDialogKind kind, const std::string&, const QString&) {
        EXPECT_EQ(kind, CFileView::FileDialogKind::SaveList);
        return chosen.empty() ? std::vector<std::string>{} : std::vector<std::string>{chosen};
    });
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(ListedPaths(frame->GetProject()), paths);
    EXPECT_TRUE(frame->GetProject().IsListChanged());
    // Loading another list asks the same and stays as well.
    fileView->LoadList(folders.File("none.cvl"));
    EXPECT_EQ(ListedPaths(frame->GetProject()), paths);

    // Asked once more, a chosen file is written and the window closes.
    chosen = folders.File("kept.cvl");
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(questions, 3);
    EXPECT_TRUE(std::filesystem::exists(chosen));
}

// ---- Loading entries

TEST_F(FileViewTest, SelectingTheLoadedEntryAgainDoesNotReloadButAfterNewListItDoes)
{
    StartPanel();
    const std::string a = WriteImage("a.tif");
    const std::string b = WriteImage("b.tif");
    Register(*project, {a, b});
    CFileTableCtrl* list = view->GetListCtrl();
    ClickRow(list, 0, true);
    ASSERT_TRUE(project->IsImageReady());
    EXPECT_EQ(view->GetCurrentImagePath(), a);

    // The file is spoilt on disk: choosing its entry again reads nothing.
    WriteTextFile(a, "not an image any more");
    ClickRow(list, 0, true);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(project->IsImageReady());

    // b fails to load: no image, no current entry; a again (restored) loads.
    WriteTextFile(b, "broken");
    ClickRow(list, 1, true);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, kStrOpenFailed);
    EXPECT_FALSE(project->IsImageReady());
    EXPECT_EQ(view->GetCurrentImagePath(), "");
    WriteImage("a.tif");
    ClickRow(list, 0, true);
    EXPECT_TRUE(project->IsImageReady());
    EXPECT_EQ(view->GetCurrentImagePath(), a);

    // A new list drops the image: the same file registered again loads.
    view->NewList();
    EXPECT_EQ(view->GetCurrentImagePath(), "");
    Register(*project, {a});
    ClickRow(list, 0, true);
    EXPECT_TRUE(project->IsImageReady());
    EXPECT_EQ(project->GetCurrentRecord().m_path, a);
}

TEST_F(FileViewTest, ShowButtonAndStepsLoadTheSelectedEntries)
{
    StartPanel();
    const std::string a = WriteImage("a.tif");
    const std::string b = WriteImage("b.tif");
    Register(*project, {a, b});
    CFileTableCtrl* list = view->GetListCtrl();
    ClickRow(list, 1);
    EXPECT_FALSE(project->IsImageReady()); // a click selects only
    view->findChild<QToolButton*>("1000")->click();
    EXPECT_EQ(view->GetCurrentImagePath(), b);
    view->findChild<QToolButton*>("1313")->click();
    EXPECT_EQ(view->GetCurrentImagePath(), a);
    view->findChild<QToolButton*>("1314")->click();
    EXPECT_EQ(view->GetCurrentImagePath(), b);
}

TEST_F(FileViewTest, DeleteRemovesTheSelectedEntriesAndForgetsTheCurrentOne)
{
    StartPanel();
    const std::string a = WriteImage("a.tif");
    const std::string b = WriteImage("b.tif");
    const std::string c = WriteImage("c.tif");
    Register(*project, {a, b, c});
    CFileTableCtrl* list = view->GetListCtrl();
    ClickRow(list, 0, true);
    ASSERT_EQ(view->GetCurrentImagePath(), a);
    // b goes: a stays current and selected.
    ClickRow(list, 1);
    view->findChild<QToolButton*>("1001")->click();
    EXPECT_EQ(ListedPaths(*project), (std::vector<std::string>{a, c}));
    EXPECT_EQ(view->GetCurrentImagePath(), a);
    EXPECT_EQ(view->ScreenFirstSelectedRow(), 0);
    // a goes: no image any more.
    ClickRow(list, 0);
    view->findChild<QToolButton*>("1001")->click();
    EXPECT_EQ(ListedPaths(*project), std::vector<std::string>{c});
    EXPECT_EQ(view->GetCurrentImagePath(), "");
    EXPECT_FALSE(project->IsImageReady());
}

// ---- LUTs

TEST_F(FileViewTest, LutChoiceGoesToTheSelectedEntriesAndMarksTheListChanged)
{
    WriteTextFile(folders.File("luts/film.csv"), IdentityLutText());
    StartPanel();
    auto* combo = view->findChild<QComboBox*>("1322");
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(0).toStdString(), std::string(kNoLutName));
    const std::string a = WriteImage("a.tif");
    Register(*project, {a, WriteImage("b.tif")});
    project->SetListChanged(false);
    CFileTableCtrl* list = view->GetListCtrl();
    ClickRow(list, 0);
    ClickRow(list, 0, true);
    ASSERT_TRUE(project->IsImageReady());
    ASSERT_EQ(view->ScreenFirstSelectedRow(), 0);
    combo->setCurrentIndex(1);
    EXPECT_EQ(project->GetItem(0).m_lutName, "film");
    EXPECT_EQ(project->GetItem(1).m_lutName, std::string(kNoLutName));
    EXPECT_EQ(list->fileModel()->text(0, 2), QStringLiteral("film"));
    EXPECT_TRUE(project->IsListChanged());
    EXPECT_EQ(project->GetLUTIndex(), 1);
    EXPECT_EQ(view->GetCurrentLutName(), "film");

    // A click on an entry shows its LUT, and changes nothing.
    project->SetListChanged(false);
    ClickRow(list, 1);
    EXPECT_EQ(combo->currentIndex(), 0);
    ClickRow(list, 0);
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_FALSE(project->IsListChanged());
}

// ---- Thumbnails

TEST_F(FileViewTest, ThumbnailsArriveOnTheUserInterfaceThread)
{
    StartPanel();
    const std::string a = WriteImage("a.tif", 120, 60);
    Register(*project, {a});
    view->findChild<QComboBox*>("1242")->setCurrentIndex(2);
    CLoadThumbnail* loader = view->GetThumbnailLoader();
    // The first question asks the loader.
    EXPECT_TRUE(view->GetThumbnail(0).isNull());
    EXPECT_TRUE(view->GetThumbnail(5).isNull()); // a blank row has none
    // Done on the worker, but nothing is applied until the panel's thread
    // takes it.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (loader->GetPendingCount() > 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(loader->GetPendingCount(), 0);
    EXPECT_EQ(HasCachedThumbnail(a, nullptr), 0);
    ASSERT_TRUE(WaitFor([&] { return !view->GetThumbnail(0).isNull(); }));
    const QImage thumbnail = view->GetThumbnail(0);
    EXPECT_EQ(thumbnail.size(), QSize(160, 80));
    // Left red, right bluish, as the file.
    EXPECT_GT(qRed(thumbnail.pixel(150, 5)), 200);
    EXPECT_LT(qRed(thumbnail.pixel(5, 5)), 60);
    bool has = false;
    EXPECT_EQ(HasCachedThumbnail(a, &has), 1);
    EXPECT_TRUE(has);
}

// A camera RAW file is converted in the background as soon as it is
// listed: the DNG takes the RAW file's name and its entry; a converter
// that fails marks the entry with code 3.
TEST_F(FileViewTest, ConvertedRawEntriesBecomeDngFilesAndFailuresAreMarked)
{
    ASSERT_NO_FATAL_FAILURE(UseConverterThatWritesADng());
    ASSERT_TRUE(IsRawExtension(".nef"));

    StartPanel();
    const std::string raw = folders.File("images/shot.nef");
    const std::string bad = folders.File("images/bad.nef");
    WriteTextFile(raw, "raw bytes");
    WriteTextFile(bad, "raw bytes");
    // As a list file brings them: the probe itself registers no RAW file.
    view->DetachRows();
    for (const std::string& path : {raw, bad})
    {
        CImageFileInfo record;
        record.m_path = path;
        record.m_type = record.m_detectedType = kImageFileRaw;
        record.m_lutName = std::string(kNoLutName);
        ASSERT_TRUE(project->AddFile(record, 10));
    }
    view->RefreshList();

    const std::string dng = folders.File("dng/shot.dng");
    ASSERT_TRUE(WaitFor([&] {
        return project->GetItem(0).m_path == dng && project->GetItem(1).m_error != 0;
    }));
    EXPECT_EQ(project->GetItem(0).m_type, kImageFileDng);
    EXPECT_EQ(project->GetItem(0).m_lutName, std::string(kNoLutName));
    EXPECT_EQ(view->GetListCtrl()->fileModel()->text(0, 1), QStringLiteral("shot.dng"));
    EXPECT_EQ(view->GetListCtrl()->fileModel()->text(0, 3).toStdString(), folders.File("dng/"));
    EXPECT_EQ(project->GetItem(1).m_state, kLoadStateConverter);
    EXPECT_EQ(project->GetItem(1).m_type, kImageFileRaw);
    // No converter output is left behind under its temporary name.
    for (const auto& file : std::filesystem::directory_iterator(folders.File("dng")))
        EXPECT_EQ(file.path().filename().string().rfind("~t-tmp", 0), std::string::npos)
            << file.path();
}

// The main window's buttons follow a change nobody clicked for: a camera
// RAW file's conversion ending in the background makes the list printable
// once the event loop has nothing left to do.
TEST_F(FileViewTest, ToolBarFollowsAConversionEndingInTheBackground)
{
    UseConverterThatWritesADng();
    Start();
    CProjectManage& p = frame->GetProject();
    CFileView* fileView = frame->GetFileView();
    QAction* indexPrint = frame->GetAction(FrameCommand::IndexPrint);
    ASSERT_NE(indexPrint, nullptr);
    // The event loop between two things the program does: it waits, and
    // goes on with whatever comes.
    const auto idle = [] {
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
    };
    idle();
    EXPECT_FALSE(indexPrint->isEnabled());

    ListRawFile(*fileView, p, "shot.nef");
    ASSERT_TRUE(WaitFor([&] { return p.GetItem(0).m_type == kImageFileDng; }));

    idle();
    EXPECT_TRUE(indexPrint->isEnabled());
}

// With a DNG shown the development command is offered and brings its
// panel. The list takes no DNG file in this edition, so the image is one
// the program developed before: its decoded picture and colour description
// come from the reload cache, as the loader keeps a developed DNG there.
TEST_F(FileViewTest, DevelopmentCommandReachesItsPanelWithADngShown)
{
    const std::string shown = WriteImage("developed.tif", 80, 60);
    testsupport::DngRecipe recipe;
    recipe.samples = 3;
    recipe.width = 80;
    recipe.height = 60;
    const std::string dngPath = folders.File("warm.dng");
    ASSERT_TRUE(testsupport::DngBuilder(recipe).WriteFile(dngPath));
    CDNGFile dng;
    ASSERT_TRUE(dng.Open(dngPath));
    CDNGTranspose transform;
    dng.GetColorInfo(transform);

    Start();
    CRGBImage developed(80, 60);
    ASSERT_TRUE(StoreReloadImage(developed, shown,
                                 ReloadImageInfo{kImageFileDng, 80, 60, 240.0f, 240.0f},
                                 &transform));
    CProjectManage& p = frame->GetProject();
    QAction* develop = frame->GetAction(FrameCommand::StepDevelop);
    ASSERT_NE(develop, nullptr);
    frame->UpdateCommandStates();
    EXPECT_FALSE(develop->isEnabled()); // nothing shown yet

    frame->AddFiles({shown});
    ASSERT_TRUE(p.IsImageReady());
    ASSERT_NE(p.GetRawData(), nullptr);
    frame->UpdateCommandStates();
    ASSERT_TRUE(develop->isEnabled());
    develop->trigger();
    EXPECT_EQ(frame->GetCurrentStepIndex(), 1);
    EXPECT_EQ(frame->GetCurrentStepView(), dynamic_cast<CViewCommon*>(frame->GetPanel(1)));
    EXPECT_TRUE(frame->GetPanel(1)->isVisible());
    EXPECT_FALSE(frame->GetFileView()->isVisible());
}

// ---- Parameters

TEST_F(FileViewTest, ImportFitsTheTrimmingToTheLoadedImage)
{
    StartPanel();
    // A TIFF at 200 dpi; a JPEG that names no resolution (read as 240 dpi);
    // the same image with its resolution taken away.
    const std::string tiff = WriteImage("dpi.tif", 90, 70, 200.0f);
    CImageEx picture;
    ASSERT_TRUE(picture.Create(90, 70));
    const std::string jpeg = folders.File("images/nodpi.jpg");
    ASSERT_TRUE(SaveImageFile({}, kImageFileJpeg, picture, jpeg, 0.0f, 0.0f, 2));
    const struct
    {
        std::size_t entry;
        bool forget;
        int expectedDpi;
    } cases[] = {{0, false, 200}, {1, false, 240}, {0, true, 300}};
    // A parameter file whose trimming was set on a 500 x 400 image.
    CTrimmingDoc other;
    other.SetOriginalSize(true, 500, 400, 100);
    project->GetTrimmingDoc().Assign(other);
    const std::string params = folders.File("other.qzp");
    ASSERT_TRUE(project->SaveParamFile(params));
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.expectedDpi);
        view->NewList(); // the entry loads again
        Register(*project, {tiff, jpeg});
        ASSERT_TRUE(view->LoadImage(project->GetItem(c.entry), 7));
        if (c.forget)
            project->ForgetResolution();

        EXPECT_TRUE(view->ImportParameters(params));
        const TrimmingParams& t = project->GetTrimmingDoc().GetParams();
        EXPECT_EQ(t.OrgWidth, 90);
        EXPECT_EQ(t.OrgHeight, 70);
        EXPECT_EQ(t.TrmPosX, 0);
        EXPECT_EQ(t.TrmWidth, 90);
        EXPECT_EQ(t.TrmHeight, 70);
        EXPECT_EQ(t.TrmRatioType, 9);
        EXPECT_EQ(t.SizePixelWidth, 90);
        EXPECT_EQ(t.SizeDPI, c.expectedDpi);
        EXPECT_EQ(t.SizeMMWidth100, static_cast<int>(90.0 / c.expectedDpi * 25.4 * 100));
        EXPECT_EQ(t.SizeRatioFix, 1);
    }
    EXPECT_TRUE(messages.messages.empty());

    // A file that cannot be read is reported and changes nothing.
    const TrimmingParams before = project->GetTrimmingDoc().GetParams();
    EXPECT_FALSE(view->ImportParameters(folders.File("missing.qzp")));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].stringId, kStrParamFileNotFound);
    EXPECT_EQ(project->GetTrimmingDoc().GetParams(), before);
}

// ---- Buttons and combos

TEST_F(FileViewTest, ButtonsReachTheFrameAndTheViews)
{
    StartPanel();
    Register(*project, {WriteImage("a.tif")});
    std::vector<std::string> calls;
    CFileView::FrameHooks hooks;
    hooks.preferences = [&] { calls.push_back("preferences"); };
    hooks.about = [&] { calls.push_back("about"); };
    hooks.help = [&] { calls.push_back("help"); };
    hooks.monitorRect = [] { return QRect(100, 0, 640, 480); };
    view->SetFrameHooks(hooks);
    for (const char* id : {"1308", "1309", "1389", "1392"})
        view->findChild<QToolButton*>(id)->click();
    EXPECT_EQ(calls, (std::vector<std::string>{"preferences", "about", "help"}));
    EXPECT_EQ(view->ScreenMonitorRect(), QRect(100, 0, 640, 480));

    // The views are wired (what they show is their own business): with no
    // image and no selection full screen shows nothing; the slide show
    // starts at the first entry and holds the panel until it is closed.
    view->findChild<QToolButton*>("1315")->click();
    EXPECT_FALSE(view->GetScreenShow()->IsFullScreenOpen());
    view->findChild<QToolButton*>("1320")->click();
    ASSERT_TRUE(view->GetScreenShow()->IsSlideShowOpen());
    EXPECT_FALSE(view->isEnabled());
    view->SetCachePaused(true);
    EXPECT_TRUE(view->GetScreenShow()->IsPaused());
    view->SetCachePaused(false);
    view->RefreshScreenImage();
    EXPECT_TRUE(view->GetScreenShow()->IsSlideShowOpen());
    QTest::keyClick(view->GetScreenShow()->GetScreen(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->GetScreenShow()->IsSlideShowOpen());
    EXPECT_TRUE(view->isEnabled());

    // What the views ask of the panel.
    EXPECT_EQ(view->ScreenProject(), project.get());
    ASSERT_EQ(view->ScreenEntries().size(), 1u);
    EXPECT_EQ(view->ScreenFirstSelectedRow(), -1);
    EXPECT_FALSE(view->ScreenEnsureImageLoaded());
    ClickRow(view->GetListCtrl(), 0);
    EXPECT_TRUE(view->ScreenEnsureImageLoaded());
    EXPECT_TRUE(project->IsImageReady());
}

TEST_F(FileViewTest, ZoomChoiceReachesThePreview)
{
    Start();
    auto* zoom = frame->GetFileView()->findChild<QComboBox*>("1022");
    ASSERT_EQ(zoom->count(), 13);
    zoom->setCurrentIndex(5);
    EXPECT_EQ(frame->GetFileView()->GetZoomIndex(), 5);
    EXPECT_DOUBLE_EQ(frame->GetImageView()->GetZoom(), ZoomFactorForIndex(5));
    zoom->setCurrentIndex(0);
    EXPECT_DOUBLE_EQ(frame->GetImageView()->GetZoom(), 0.0);
}

TEST_F(FileViewTest, ButtonsWaitForTheProjectsProfiles)
{
    project = std::make_unique<TestProject>(folders.File("luts"));
    view = std::make_unique<CFileView>();
    view->SetProject(project.get());
    view->UpdateControls(false);
    for (const char* id : {"1000", "1001", "1002"})
        EXPECT_FALSE(view->findChild<QToolButton*>(id)->isEnabled()) << id;
    EXPECT_TRUE(view->findChild<QToolButton*>("1014")->isEnabled());
    EXPECT_TRUE(view->IsCommandEnabled(0));
    EXPECT_TRUE(view->IsCommandEnabled(1));
    EXPECT_TRUE(view->IsCommandEnabled(43));
    EXPECT_FALSE(view->IsCommandEnabled(2));
    view->NewList();
    for (const char* id : {"1000", "1001", "1002"})
        EXPECT_TRUE(view->findChild<QToolButton*>(id)->isEnabled()) << id;
}

// ---- Layout

TEST_F(FileViewTest, EveryControlFitsTheRightPane)
{
    for (const int width : {320, 480})
    {
        SCOPED_TRACE(width);
        StartPanel(width, 640);
        QCoreApplication::processEvents();
        EXPECT_EQ(view->width(), width); // nothing makes the panel wider
        const QRect inside = view->rect();
        for (QWidget* child : view->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        {
            if (!child->isVisible())
                continue;
            EXPECT_TRUE(inside.contains(child->geometry()))
                << child->objectName().toStdString() << " at "
                << child->geometry().x() << "," << child->geometry().y();
            if (auto* button = qobject_cast<QToolButton*>(child))
            {
                EXPECT_GE(button->width(), button->sizeHint().width())
                    << button->objectName().toStdString();
                EXPECT_FALSE(button->icon().isNull() && button->text().isEmpty())
                    << button->objectName().toStdString();
                EXPECT_FALSE(button->toolTip().isEmpty()) << button->objectName().toStdString();
            }
        }
        EXPECT_GE(view->GetListCtrl()->height(), 200);
        view.reset();
        project.reset();
    }
}
