// The save-as dialog's type and name rule and its question before a file
// is replaced, the JPEG option, the save question and the ratio dialog.

#include "controls/dialogs/HVRatioDlg.h"
#include "controls/dialogs/OptionJpegDlg.h"
#include "controls/dialogs/SaveAlartDlg.h"
#include "controls/dialogs/SaveDialogsLogic.h"
#include "controls/dialogs/SaveImageFileDlg.h"
#include "controls/support/FileFilter.h"
#include "controls/support/StringTable.h"
#include "tests/support/RecordingMessageSink.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include <functional>
#include <optional>

using testsupport::TempDir;

namespace {

// Runs work on the dialog once its exec() has started.
void WhenShown(QDialog& dialog, std::function<void()> work)
{
    QTimer::singleShot(0, &dialog, std::move(work));
}

// Puts a runner in for the test's lifetime.
class ScopedRunner
{
public:
    explicit ScopedRunner(SaveImageFileDialogRunner runner)
    {
        SetSaveImageFileDialogRunner(std::move(runner));
    }
    ~ScopedRunner() { SetSaveImageFileDialogRunner({}); }
};

} // namespace

TEST(FileFilterTest, ReadsThePairsOfTheFilterText)
{
    const auto filters = ParseFileFilter(
        "TIFFファイル(*.tif)|*.tif|JPEGファイル(*.jpg)|*.jpg|画像ファイル(*.tif;*.jpg)|*.tif;*.jpg;||");
    ASSERT_EQ(filters.size(), 3u);
    EXPECT_EQ(filters[0], (FileFilter{"TIFFファイル(*.tif)", {"*.tif"}}));
    EXPECT_EQ(filters[2], (FileFilter{"画像ファイル(*.tif;*.jpg)", {"*.tif", "*.jpg"}}));
    // The label whole (the dialog hides Qt's list after it); either
    // spelling of an image extension, whichever the table names.
    EXPECT_EQ(QtNameFilters(filters),
              (QStringList{QStringLiteral("TIFFファイル(*.tif) (*.tif *.tiff)"),
                           QStringLiteral("JPEGファイル(*.jpg) (*.jpg *.jpeg)"),
                           QStringLiteral("画像ファイル(*.tif;*.jpg) (*.tif *.tiff *.jpg *.jpeg)")}));
    EXPECT_EQ(DialogPatterns(FileFilter{"x", {"*.JPEG", "*.jpg", "*.png"}}),
              (QStringList{QStringLiteral("*.JPEG"), QStringLiteral("*.jpg"), QStringLiteral("*.png")}));
    EXPECT_EQ(DialogPatterns(FileFilter{"x", {"*.TIFF"}}),
              (QStringList{QStringLiteral("*.TIFF"), QStringLiteral("*.tif")}));

    // No closing "||", a label without patterns, an empty text.
    EXPECT_EQ(ParseFileFilter("All|*.*").size(), 1u);
    EXPECT_TRUE(ParseFileFilter("Lonely|").empty());
    EXPECT_TRUE(ParseFileFilter("").empty());
    EXPECT_EQ(QtNameFilters(ParseFileFilter("Plain|*.txt||")), QStringList{QStringLiteral("Plain (*.txt)")});
}

TEST(SaveDialogsLogicTest, TheExtensionDecidesTheTypeElseTheFilter)
{
    struct Case
    {
        const char* name;
        SaveFilter filter;
        int startType;
        SaveFileKind kind;
        const char* saved;
    };
    const Case cases[] = {
        {"b.tif", SaveFilter::Jpeg, 2, SaveFileKind::Tiff, "b.tif"},
        {"b.TIFF", SaveFilter::Jpeg, 2, SaveFileKind::Tiff, "b.TIFF"},
        {"b.jpeg", SaveFilter::Tiff, 0, SaveFileKind::Jpeg, "b.jpeg"},
        {"b.JPG", SaveFilter::Tiff, 1, SaveFileKind::Jpeg, "b.JPG"},
        {"b", SaveFilter::Jpeg, 0, SaveFileKind::Jpeg, "b.jpg"},
        {"b", SaveFilter::Tiff, 2, SaveFileKind::Tiff, "b.tif"},
        {"b", SaveFilter::Images, 1, SaveFileKind::Tiff, "b.tif"},
        {"b", SaveFilter::Images, 2, SaveFileKind::Jpeg, "b.jpg"},
        {"b.v2", SaveFilter::Tiff, 2, SaveFileKind::Tiff, "b.v2.tif"},
        {"dir.x/b", SaveFilter::Jpeg, 0, SaveFileKind::Jpeg, "dir.x/b.jpg"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const SaveFileKind kind = ChosenKind(c.name, c.filter, c.startType);
        EXPECT_EQ(kind, c.kind);
        EXPECT_EQ(FinalSaveName(c.name, kind), c.saved);
    }
    EXPECT_EQ(SaveTypeOf(SaveFileKind::Jpeg, true), 2);
    EXPECT_EQ(SaveTypeOf(SaveFileKind::Tiff, true), 1);
    EXPECT_EQ(SaveTypeOf(SaveFileKind::Tiff, false), 0);
}

TEST(SaveDialogsLogicTest, ChoosingAFilterGivesTheNameItsExtension)
{
    EXPECT_EQ(NameForFilter("b.tif", SaveFilter::Jpeg), "b.jpg");
    EXPECT_EQ(NameForFilter("b.jpg", SaveFilter::Tiff), "b.tif");
    EXPECT_EQ(NameForFilter("b", SaveFilter::Tiff), "b.tif");
    EXPECT_EQ(NameForFilter("b.jpg", SaveFilter::Images), "b.jpg");
    EXPECT_EQ(NameForFilter("", SaveFilter::Jpeg), "");
}

TEST(SaveDialogsLogicTest, QualityOutsideTheLevelsOpensAtTwo)
{
    const std::pair<int, int> cases[] = {{-1, 2}, {0, 0}, {3, 3}, {4, 4}, {5, 2}, {7, 2}};
    for (const auto& [stored, shown] : cases)
        EXPECT_EQ(JpegQualityForSlider(stored), shown) << stored;
}

class SaveImageFileDlgTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(Folder())); }

    QString Folder() const { return QString::fromStdString(m_dir.Path()) + QStringLiteral("a"); }
    QString FileIn(const char* name) const { return Folder() + u'/' + QString::fromLatin1(name); }

    TempDir m_dir;
};

TEST_F(SaveImageFileDlgTest, StartsInTheFolderWithTheNameOfTheType)
{
    QString seenDirectory;
    QString seenName;
    int seenQuality = -1;
    bool depth8 = false;
    ScopedRunner runner([&](CSaveImageFileDlg& dialog) {
        seenDirectory = dialog.directory().absolutePath();
        seenName = dialog.fileNameText();
        seenQuality = dialog.findChild<QSlider*>(QStringLiteral("1130"))->value();
        depth8 = dialog.findChild<QRadioButton*>(QStringLiteral("1236"))->isChecked();
        return int(QDialog::Rejected);
    });
    QString path = FileIn("b.jpg");
    int type = 1;
    int quality = 7;
    EXPECT_FALSE(RunSaveImageFileDialog(path, type, quality));
    EXPECT_EQ(seenDirectory, QDir(Folder()).absolutePath());
    EXPECT_EQ(seenName, QStringLiteral("b.tif"));
    EXPECT_EQ(seenQuality, 2);
    EXPECT_TRUE(depth8);
    // Refused: nothing changes.
    EXPECT_EQ(path, FileIn("b.jpg"));
    EXPECT_EQ(type, 1);
    EXPECT_EQ(quality, 7);
}

// Whatever filter is chosen, what is typed decides: ".tif" saves a TIFF
// with the bit depth of the radio buttons, a bare name takes the filter's
// type and extension, ".jpg" a JPEG with the slider's quality.
TEST_F(SaveImageFileDlgTest, TypedExtensionAndReturnedTypeAgree)
{
    struct Case
    {
        int startType;
        const char* typed;
        bool eightBit;
        const char* savedName;
        int savedType;
    };
    const Case cases[] = {
        {2, "c.tif", true, "c.tif", 1},
        {2, "c.tiff", false, "c.tiff", 0},
        {2, "c", false, "c.jpg", 2},
        {0, "c", true, "c.tif", 1},
        {0, "c.jpg", true, "c.jpg", 2},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.typed);
        bool qualityEnabled = false;
        bool depthEnabled = false;
        ScopedRunner runner([&](CSaveImageFileDlg& dialog) {
            dialog.setFileNameText(QString::fromLatin1(c.typed));
            dialog.findChild<QRadioButton*>(QString::fromLatin1(c.eightBit ? "1236" : "1235"))->setChecked(true);
            dialog.findChild<QSlider*>(QStringLiteral("1130"))->setValue(4);
            qualityEnabled = dialog.findChild<QWidget*>(QStringLiteral("1230"))->isEnabled();
            depthEnabled = dialog.findChild<QWidget*>(QStringLiteral("1233"))->isEnabled();
            dialog.accept();
            return dialog.result();
        });
        QString path = FileIn("start.tif");
        int type = c.startType;
        int quality = 1;
        ASSERT_TRUE(RunSaveImageFileDialog(path, type, quality));
        EXPECT_EQ(path, FileIn(c.savedName));
        EXPECT_EQ(type, c.savedType);
        EXPECT_EQ(quality, 4);
        // Only the options of the type being saved can be changed.
        EXPECT_EQ(qualityEnabled, c.savedType == 2);
        EXPECT_EQ(depthEnabled, c.savedType != 2);
    }
}

TEST_F(SaveImageFileDlgTest, ChoosingTheJpegFilterMakesTheNameJpeg)
{
    // The filters are the table's text; the table's own test checks that
    // every number the code names has one.
    if (!HasString(kStrImageFileFilter))
        GTEST_SKIP() << "no filter text in the string table";
    QString nameAfter;
    SaveFilter filterAfter = SaveFilter::Images;
    ScopedRunner runner([&](CSaveImageFileDlg& dialog) {
        const QStringList filters = dialog.nameFilters();
        if (filters.size() == 3)
        {
            dialog.selectNameFilter(filters[1]);
            emit dialog.filterSelected(filters[1]);
        }
        nameAfter = dialog.fileNameText();
        filterAfter = dialog.currentFilter();
        dialog.accept();
        return dialog.result();
    });
    QString path = FileIn("b.tif");
    int type = 0;
    int quality = 3;
    ASSERT_TRUE(RunSaveImageFileDialog(path, type, quality));
    EXPECT_EQ(filterAfter, SaveFilter::Jpeg);
    EXPECT_EQ(nameAfter, QStringLiteral("b.jpg"));
    EXPECT_EQ(path, FileIn("b.jpg"));
    EXPECT_EQ(type, 2);
}

// The question is asked about the name with its extension added, and No
// leaves the dialog open and the file as it was.
TEST_F(SaveImageFileDlgTest, ReplacingAFileNeedsConfirmation)
{
    const QString existing = FileIn("d.jpg");
    testsupport::WriteTextFile(existing.toStdString(), "keep");
    for (const bool confirm : {false, true})
    {
        SCOPED_TRACE(confirm);
        testsupport::RecordingMessageSink sink(confirm ? kMessageYes : kMessageNo);
        bool stillOpen = false;
        ScopedRunner runner([&](CSaveImageFileDlg& dialog) {
            dialog.setFileNameText(QStringLiteral("d"));
            dialog.accept();
            stillOpen = dialog.result() != QDialog::Accepted;
            return dialog.result();
        });
        QString path = FileIn("start.tif");
        int type = 2;
        int quality = 2;
        EXPECT_EQ(RunSaveImageFileDialog(path, type, quality), confirm);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].stringId, kStrReplaceExisting);
        EXPECT_EQ(sink.messages[0].buttons, MessageButtons::YesNo);
        ASSERT_EQ(sink.messages[0].args.size(), 1u);
        EXPECT_EQ(QString::fromStdString(sink.messages[0].args[0]), existing);
        EXPECT_EQ(stillOpen, !confirm);
        EXPECT_EQ(path, confirm ? existing : FileIn("start.tif"));
        EXPECT_EQ(testsupport::ReadTextFile(existing.toStdString()), "keep");
    }
}

TEST_F(SaveImageFileDlgTest, ANewFileIsNotQuestioned)
{
    testsupport::RecordingMessageSink sink(kMessageNo);
    ScopedRunner runner([&](CSaveImageFileDlg& dialog) {
        dialog.setFileNameText(QStringLiteral("new.tif"));
        dialog.accept();
        return dialog.result();
    });
    QString path = FileIn("old.tif");
    int type = 0;
    int quality = 2;
    ASSERT_TRUE(RunSaveImageFileDialog(path, type, quality));
    EXPECT_EQ(path, FileIn("new.tif"));
    EXPECT_TRUE(sink.messages.empty());
}

TEST(OptionJpegDlgTest, OpensAtTheStoredLevelAndOkStoresTheSlider)
{
    struct Case
    {
        int stored;
        int shown;
        bool ok;
        int after;
    };
    const Case cases[] = {{7, 2, true, 4}, {1, 1, true, 4}, {3, 3, false, 3}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.stored);
        COptionJpegDlg dialog;
        dialog.m_nQuality = c.stored;
        int shown = -1;
        WhenShown(dialog, [&] {
            auto* slider = dialog.findChild<QSlider*>(QStringLiteral("1130"));
            shown = slider->value();
            slider->setValue(4);
            dialog.findChild<QPushButton*>(QString::fromLatin1(c.ok ? "1" : "2"))->click();
        });
        EXPECT_EQ(dialog.exec(), c.ok ? kDialogOk : kDialogCancel);
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(dialog.m_nQuality, c.ok ? c.after : c.stored);
    }
}

TEST(SaveAlartDlgTest, ButtonsEndWithTheirCodesAndTheFlagShowsTheNote)
{
    struct Case
    {
        const char* button; // null: the window's close box
        int flag;
        int code;
    };
    const Case cases[] = {{"6", 1, 6}, {"7", 0, 7}, {"2", 1, 2}, {nullptr, 0, 2}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.button != nullptr ? c.button : "close box");
        CSaveAlartDlg dialog;
        dialog.m_bShowConvertNote = c.flag;
        bool noteShown = false;
        WhenShown(dialog, [&] {
            noteShown = dialog.findChild<QLabel*>(QStringLiteral("1288"))->isVisible();
            if (c.button != nullptr)
                dialog.findChild<QPushButton*>(QString::fromLatin1(c.button))->click();
            else
                dialog.close();
        });
        EXPECT_EQ(dialog.exec(), c.code);
        EXPECT_EQ(noteShown, c.flag != 0);
        EXPECT_EQ(dialog.windowTitle(), LoadString(kStrApplicationName));
    }
}

TEST(HVRatioDlgTest, RatioWithinOneToTenEitherWay)
{
    struct Case
    {
        int width;
        int height;
        bool allowed;
    };
    const Case cases[] = {{1, 1, true},   {10, 1, true},     {1, 10, true},    {11, 1, false},
                          {1, 11, false}, {1000, 100, true}, {1000, 99, false}, {0, 1, false}};
    for (const Case& c : cases)
        EXPECT_EQ(IsAspectRatioAllowed(c.width, c.height), c.allowed) << c.width << ":" << c.height;
}

// OK beyond 10:1 shows message 1025 and keeps the dialog open with the
// values; within the range it ends with the values stored.
TEST(HVRatioDlgTest, OkOnlyWithinTheRange)
{
    struct Case
    {
        int width;
        int height;
        bool accepted;
    };
    const Case cases[] = {{10, 1, true}, {1, 10, true}, {1, 11, false}, {11, 1, false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.width << ":" << c.height);
        testsupport::RecordingMessageSink sink;
        CHVRatioDlg dialog;
        dialog.m_strName = QStringLiteral("カスタム1");
        dialog.m_nWidth = 3;
        dialog.m_nHeight = 2;
        QString title;
        bool openAfterOk = false;
        int widthAfterOk = 0;
        WhenShown(dialog, [&] {
            title = dialog.findChild<QLabel*>(QStringLiteral("1293"))->text();
            dialog.findChild<QSpinBox*>(QStringLiteral("1294"))->setValue(c.width);
            dialog.findChild<QSpinBox*>(QStringLiteral("1295"))->setValue(c.height);
            dialog.findChild<QPushButton*>(QStringLiteral("1"))->click();
            openAfterOk = dialog.isVisible();
            widthAfterOk = dialog.findChild<QSpinBox*>(QStringLiteral("1294"))->value();
            if (openAfterOk)
                dialog.findChild<QPushButton*>(QStringLiteral("2"))->click();
        });
        EXPECT_EQ(dialog.exec(), c.accepted ? kDialogOk : kDialogCancel);
        EXPECT_EQ(title, QStringLiteral("カスタム1 の縦横比を変更します"));
        EXPECT_EQ(openAfterOk, !c.accepted);
        EXPECT_EQ(widthAfterOk, c.width);
        if (c.accepted)
        {
            EXPECT_TRUE(sink.messages.empty());
            EXPECT_EQ(dialog.m_nWidth, c.width);
            EXPECT_EQ(dialog.m_nHeight, c.height);
        }
        else
        {
            ASSERT_EQ(sink.messages.size(), 1u);
            EXPECT_EQ(sink.messages[0].stringId, kStrAspectRatioRange);
            EXPECT_EQ(sink.messages[0].buttons, MessageButtons::Ok);
        }
    }
}
