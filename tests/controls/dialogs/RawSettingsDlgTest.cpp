#include "controls/dialogs/RawSettingsDlg.h"

#include "controls/dialogs/BrowseDir.h"

#include "controls/dialogs/RawExtLogic.h"
#include "controls/support/ResourceImages.h"
#include "core/GlobalSettings.h"
#include "core/PathUtils.h"
#include "core/RGBImage.h"
#include "imagefile/DNGConverter.h"
#include "imagefile/ImageFileInfo.h"
#include "imagefile/ImageLoadSave.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <optional>

using testsupport::TempDir;

namespace {

const std::vector<std::string> kBuiltins = {".cr2", ".crw", ".dcr", ".mrw", ".nef",
                                            ".orf", ".raw", ".pef", ".x3f"};

TEST(RawExtLogicTest, TypedTextsBecomeExtensionsOrAreRefused)
{
    const std::vector<std::string> users = {".abc"};
    struct Case
    {
        const char* typed;
        std::optional<std::string> added;
    };
    const Case cases[] = {
        {"xyz", ".xyz"},
        {".xyz", ".xyz"},
        {"  xyz\t", ".xyz"},
        {"日本", ".日本"},
        // Duplicates of a built-in or a user extension, in any case.
        {"NEF", std::nullopt},
        {"  x3f  ", std::nullopt},
        {".ABC", std::nullopt},
        // A second dot, an inner blank, the other forbidden characters.
        {".a.b", std::nullopt},
        {"a b", std::nullopt},
        {"a\\b", std::nullopt},
        {"a/b", std::nullopt},
        {"a:b", std::nullopt},
        {"a*", std::nullopt},
        {"a?", std::nullopt},
        {"a\"", std::nullopt},
        {"<a>", std::nullopt},
        {"a|b", std::nullopt},
        // Nothing, or a dot alone.
        {"", std::nullopt},
        {"   ", std::nullopt},
        {".", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rawext::NormalizeNewExtension(c.typed, kBuiltins, users), c.added) << c.typed;
}

TEST(RawExtLogicTest, OnlyUserEntriesAreDeleted)
{
    std::vector<std::string> users = {".abc", ".def"};
    EXPECT_TRUE(rawext::IsUserExtension(".ABC", users));
    EXPECT_FALSE(rawext::IsUserExtension(".nef", users));
    EXPECT_FALSE(rawext::RemoveUserExtension(".nef", users));
    EXPECT_TRUE(rawext::RemoveUserExtension(".DEF", users));
    EXPECT_EQ(users, std::vector<std::string>{".abc"});
}

QStringList ListTexts(QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

TEST(EditRawExtDlgTest, ListsSortedAddsDeletesAndReturnsTheUserList)
{
    auto* dialog = new CEditRAWExtDlg;
    const std::unique_ptr<CEditRAWExtDlg> owned(dialog);
    dialog->BuiltinExtensions = kBuiltins;
    dialog->UserExtensions = {".Zed", ".abc"};

    QTimer::singleShot(0, dialog, [dialog] {
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("1127"));
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("1268"));
        auto* add = dialog->findChild<QPushButton*>(QStringLiteral("1039"));
        auto* remove = dialog->findChild<QPushButton*>(QStringLiteral("1038"));
        ASSERT_TRUE(list && edit && add && remove);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("RAWファイル拡張子"));

        // Alphabetical whatever the origin; nothing selected, so no delete.
        EXPECT_EQ(ListTexts(list), QStringList({".abc", ".cr2", ".crw", ".dcr", ".mrw", ".nef",
                                                ".orf", ".pef", ".raw", ".x3f", ".Zed"}));
        EXPECT_FALSE(remove->isEnabled());

        // A built-in entry cannot be deleted, a user entry can.
        list->setCurrentRow(ListTexts(list).indexOf(QStringLiteral(".nef")));
        EXPECT_FALSE(remove->isEnabled());
        list->setCurrentRow(ListTexts(list).indexOf(QStringLiteral(".Zed")));
        EXPECT_TRUE(remove->isEnabled());
        remove->click();
        EXPECT_FALSE(ListTexts(list).contains(QStringLiteral(".Zed")));
        EXPECT_TRUE(list->selectedItems().isEmpty());
        EXPECT_FALSE(remove->isEnabled());

        // A refused text stays in the edit, selected; nothing is added.
        edit->setText(QStringLiteral("NEF"));
        add->click();
        EXPECT_EQ(list->count(), 10);
        EXPECT_EQ(edit->text(), QStringLiteral("NEF"));
        EXPECT_EQ(edit->selectedText(), QStringLiteral("NEF"));
        // An accepted one is listed and the edit keeps its text.
        edit->setText(QStringLiteral(" dng2 "));
        add->click();
        EXPECT_TRUE(ListTexts(list).contains(QStringLiteral(".dng2")));
        EXPECT_EQ(edit->text(), QStringLiteral(" dng2 "));

        dialog->findChild<QPushButton*>(QStringLiteral("1"))->click();
    });
    EXPECT_EQ(dialog->exec(), 1);
    EXPECT_EQ(dialog->UserExtensions, (std::vector<std::string>{".abc", ".dng2"}));
}

TEST(EditRawExtDlgTest, CancelAndEscapeGiveTwo)
{
    CEditRAWExtDlg dialog;
    QTimer::singleShot(0, &dialog,
                       [&dialog] { dialog.findChild<QPushButton*>(QStringLiteral("2"))->click(); });
    EXPECT_EQ(dialog.exec(), 2);
    QTimer::singleShot(0, &dialog, [&dialog] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_EQ(dialog.exec(), 2);
}

TEST(DngConvertProgDlgTest, TwelveStepsTurnThroughTheFramesAndBack)
{
    CDNGConvertProgDlg dialog;
    ASSERT_TRUE(dialog.Create());
    auto* picture = dialog.findChild<QLabel*>(QStringLiteral("1018"));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(dialog.FrameCounter(), 0);
    std::vector<int> shown;
    for (int i = 0; i < 12; ++i)
    {
        dialog.Step();
        shown.push_back(CDNGConvertProgDlg::kFirstFrameBitmap + dialog.FrameCounter());
        EXPECT_EQ(picture->pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
                  LoadBitmapResource(shown.back()).convertToFormat(QImage::Format_ARGB32));
    }
    const std::vector<int> expected = {160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 159};
    EXPECT_EQ(shown, expected);
    // The frames differ from one another: the picture turns.
    EXPECT_NE(LoadBitmapResource(159), LoadBitmapResource(160));
    EXPECT_FALSE(LoadBitmapResource(170).isNull());
}

TEST(DngConvertProgDlgTest, CancelOnlyAsksOnceAndTheWindowStays)
{
    CDNGConvertProgDlg dialog;
    dialog.Create();
    int asked = 0;
    QObject::connect(&dialog, &CDNGConvertProgDlg::cancelRequested, [&] { ++asked; });
    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.findChild<QPushButton*>(QStringLiteral("2"))->click();
    dialog.close();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(dialog.CancelRequested());
}

// A converter that never ends by itself.
std::string WriteHangingConverter(const TempDir& dir)
{
    const std::string path = dir.File("conv.sh");
    testsupport::WriteTextFile(path, "#!/bin/sh\nexec sleep 60\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

TEST(DngConvertProgressTest, CancelKillsTheConverterOfARawLoad)
{
    TempDir dir;
    const std::string savedPath = GetDNGConverterPath();
    const std::string savedFolder = GetDngOutputPath();
    SetDNGConverterPath(WriteHangingConverter(dir));
    SetDngOutputPath(dir.Path());
    testsupport::WriteTextFile(dir.File("shot.nef"), "raw");

    QWidget owner;
    owner.show();
    int result = -1;
    bool windowSeen = false;
    {
        CDNGConvertProgress progress(&owner);
        // Cancel as soon as the window shows; the load is running then.
        std::function<void()> pressCancel;
        pressCancel = [&] {
            if (CDNGConvertProgDlg* dialog = progress.Dialog(); dialog && dialog->isVisible())
            {
                windowSeen = true;
                dialog->findChild<QPushButton*>(QStringLiteral("2"))->click();
                return;
            }
            QTimer::singleShot(10, pressCancel);
        };
        QTimer::singleShot(0, pressCancel);

        CImageFileInfo info;
        info.m_path = dir.File("shot.nef");
        info.m_type = kImageFileRaw;
        CRGBImage image;
        result = DevelopRawImage(info, image, Progress(), true);
        EXPECT_TRUE(progress.CancelFlag()->load());
        // The window stays until the conversion's scope ends.
        EXPECT_NE(progress.Dialog(), nullptr);
    }
    EXPECT_TRUE(windowSeen);
    EXPECT_EQ(result, 0);
    for (QWidget* widget : QApplication::topLevelWidgets())
        EXPECT_NE(widget->objectName(), QStringLiteral("10135"));

    SetDNGConverterPath(savedPath);
    SetDngOutputPath(savedFolder);
}

TEST(DngConvertProgressTest, SurvivesItsOwnerGoingAwayWhileEventsRun)
{
    auto* owner = new QWidget;
    owner->show();
    CDNGConvertProgress progress(owner);
    EXPECT_TRUE(progress.Report(0, 3000));
    ASSERT_NE(progress.Dialog(), nullptr);
    EXPECT_FALSE(progress.CancelFlag()->load());

    // The owner goes while the window pumps events; the window goes with
    // it, and the converter is told to stop.
    QTimer::singleShot(0, [owner] { delete owner; });
    EXPECT_TRUE(progress.Report(1, 3000));
    EXPECT_EQ(progress.Dialog(), nullptr);
    EXPECT_TRUE(progress.CancelFlag()->load());
    EXPECT_TRUE(progress.Report(2, 3000));
    EXPECT_TRUE(progress.Report(0.5));
}

TEST(DngConvertProgressTest, AnOwnerGoneBeforeTheFirstReportShowsNoWindow)
{
    auto* owner = new QWidget;
    CDNGConvertProgress progress(owner);
    delete owner;
    EXPECT_TRUE(progress.Report(0, 3000));
    EXPECT_EQ(progress.Dialog(), nullptr);
    EXPECT_TRUE(progress.CancelFlag()->load());
}

TEST(DngPathDialogTest, AChosenFolderBecomesTheOutputFolderWithoutItsSlash)
{
    const std::string saved = GetDngOutputPath();
    // The chooser opens on the output folder when that folder exists.
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString base = root.path();
    ASSERT_TRUE(QDir(base).mkpath(QStringLiteral("start/here")));
    ASSERT_TRUE(QDir(base).mkpath(QStringLiteral("dng")));
    ASSERT_TRUE(QDir(base).mkpath(QStringLiteral("raw")));
    struct Case
    {
        QString chosen;
        int result;
        QString folder;
    };
    const Case cases[] = {
        {base + QStringLiteral("/dng/"), 1, base + QStringLiteral("/dng")},
        {base + QStringLiteral("/raw"), 1, base + QStringLiteral("/raw")},
        {QStringLiteral("/"), 1, QStringLiteral("/")},
        {QString(), 0, QStringLiteral("/")},
    };
    SetDngOutputPath((base + QStringLiteral("/start/here/")).toStdString());
    QString start = base + QStringLiteral("/start/here/");
    for (const Case& c : cases)
    {
        QString seenStart;
        CBrowseDir::SetFolderChooser([&](QWidget*, const QString&, const QString& from) {
            seenStart = from;
            return c.chosen;
        });
        EXPECT_EQ(RunDngPathDialog(nullptr), c.result);
        EXPECT_EQ(QDir::cleanPath(seenStart), QDir::cleanPath(start));
        EXPECT_EQ(QString::fromStdString(GetDngOutputPath()), c.folder);
        start = c.folder;
    }
    CBrowseDir::SetFolderChooser({});
    SetDngOutputPath(saved);
}

} // namespace
