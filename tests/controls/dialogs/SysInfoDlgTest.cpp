#include "controls/dialogs/SysInfoDlg.h"

#include "controls/support/StringTable.h"
#include "core/ProfileStore.h"
#include "core/SRGBProfile.h"
#include "core/WinOSVersion.h"
#include "platform/Folders.h"
#include "tests/support/PeBuilder.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

SysInfoFacts SampleFacts()
{
    SysInfoFacts facts;
    facts.productName = "CHROMIVEL!2";
    facts.fileVersion = "0.1.0";
    facts.modulePath = "/opt/chromivel/bin/chromivel";
    facts.distribution = "Debian GNU/Linux 12 (bookworm)";
    facts.kernel = "Linux 6.1.0-13-amd64";
    // 1.5 GiB of 2 GiB free; a swap one byte short of 512 MiB free.
    facts.memory = platform::MemoryStatus{1536 * kMiB, 2048 * kMiB, 512 * kMiB - 1, 1024 * kMiB};
    facts.homeDisk = platform::DiskSpace{100 * kMiB + kMiB - 1, 4096 * kMiB};
    facts.qtVersion = "6.4.2";
    facts.littleCmsVersion = "2.14";
    facts.libTiffVersion = "4.5.0";
    facts.libJpegVersion = "2.1.5";
    facts.monitorProfileDescription = "sRGB IEC61966-2.1";
    facts.monitorProfilePath = "/home/u/.local/share/icc/sRGB Color Space Profile.icm";
    return facts;
}

TEST(SysInfoTextTest, EachLineIsItsLabelFollowedByItsValueInWholeMegabytes)
{
    const QStringList lines = BuildSysInfoText(SampleFacts()).split(u'\n');
    struct Line
    {
        int label; // 0: no label
        const char* value;
    };
    const Line expected[] = {
        {0, "CHROMIVEL!2 0.1.0"},
        {0, "/opt/chromivel/bin/chromivel"},
        {0, ""},
        {kStrDistribution, "Debian GNU/Linux 12 (bookworm)"},
        {kStrKernel, "Linux 6.1.0-13-amd64"},
        {kStrFreePhysicalMemory, "1536 / 2048 MB"},
        {kStrFreeVirtualMemory, "511 / 1024 MB"},
        {kStrFreeSystemDisk, "100 / 4096 MB"},
        {kStrQtVersion, "6.4.2"},
        {kStrLittleCmsVersion, "2.14"},
        {kStrLibTiffVersion, "4.5.0"},
        {kStrLibJpegVersion, "2.1.5"},
        {kStrMonitorProfile, "sRGB IEC61966-2.1"},
        {kStrMonitorProfilePath, "/home/u/.local/share/icc/sRGB Color Space Profile.icm"},
    };
    ASSERT_EQ(lines.size(), static_cast<qsizetype>(std::size(expected)));
    for (std::size_t i = 0; i < std::size(expected); ++i)
    {
        const QString label = expected[i].label != 0 ? LoadString(expected[i].label) : QString();
        EXPECT_EQ(lines[i], label + QString::fromUtf8(expected[i].value)) << i;
    }
}

TEST(SysInfoTextTest, UnknownValuesLeaveTheirLabelsAlone)
{
    SysInfoFacts facts = SampleFacts();
    facts.memory.reset();
    facts.homeDisk.reset();
    facts.monitorProfileDescription.clear();
    facts.monitorProfilePath.clear();
    const QStringList lines = BuildSysInfoText(facts).split(u'\n');
    ASSERT_EQ(lines.size(), 14);
    EXPECT_EQ(lines[5], LoadString(kStrFreePhysicalMemory));
    EXPECT_EQ(lines[6], LoadString(kStrFreeVirtualMemory));
    EXPECT_EQ(lines[7], LoadString(kStrFreeSystemDisk));
    EXPECT_EQ(lines[12], LoadString(kStrMonitorProfile));
    EXPECT_EQ(lines[13], LoadString(kStrMonitorProfilePath));
}

TEST(SysInfoTextTest, MegabytesAreRoundedDown)
{
    struct Case
    {
        std::uint64_t free, total;
        const char* text;
    };
    const Case cases[] = {
        {0, 0, "0 / 0 MB"},
        {kMiB - 1, kMiB, "0 / 1 MB"},
        {1536 * kMiB, 2048 * kMiB, "1536 / 2048 MB"},
        // Beyond 32 bits: a 6 TiB disk.
        {std::uint64_t{5} << 40, std::uint64_t{6} << 40, "5242880 / 6291456 MB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatMegabytes(c.free, c.total), QString::fromUtf8(c.text));
}

TEST(SysInfoFactsTest, TheFactsAreThisSystems)
{
    const SysInfoFacts facts = GatherSysInfoFacts();
    platform::MemoryStatus memory;
    ASSERT_TRUE(platform::ReadMemoryStatus(memory));
    ASSERT_TRUE(facts.memory.has_value());
    EXPECT_EQ(facts.memory->totalRam, memory.totalRam);
    EXPECT_EQ(facts.memory->totalSwap, memory.totalSwap);
    platform::DiskSpace disk;
    ASSERT_TRUE(platform::ReadDiskSpace(platform::HomeFolder(), disk));
    ASSERT_TRUE(facts.homeDisk.has_value());
    EXPECT_EQ(facts.homeDisk->total, disk.total);

    const CWinOSVersion os;
    EXPECT_EQ(facts.distribution, os.GetDescription());
    EXPECT_NE(facts.kernel.find(os.GetRelease()), std::string::npos);
    EXPECT_EQ(facts.qtVersion, qVersion());
    EXPECT_FALSE(facts.littleCmsVersion.empty());
    EXPECT_FALSE(facts.libTiffVersion.empty());
    EXPECT_FALSE(facts.libJpegVersion.empty());
    EXPECT_FALSE(facts.modulePath.empty());
}

TEST(SysInfoFactsTest, TheMonitorProfileInForceGivesItsDescriptionAndPath)
{
    const CColorProfile* previous = GetMonitorProfile();
    const std::string previousPath = previous != nullptr ? previous->GetName() : std::string();

    testsupport::TempDir dir;
    const std::string path = dir.File("monitor.icc");
    testsupport::WriteBinaryFile(path, BuildSRGBProfileBytes());
    ASSERT_TRUE(SetMonitorProfile(path));
    SysInfoFacts facts = GatherSysInfoFacts();
    EXPECT_EQ(facts.monitorProfileDescription, "sRGB IEC61966-2.1");
    EXPECT_EQ(facts.monitorProfilePath, path);

    FreeMonitorProfile();
    facts = GatherSysInfoFacts();
    EXPECT_TRUE(facts.monitorProfileDescription.empty());
    EXPECT_TRUE(facts.monitorProfilePath.empty());

    if (!previousPath.empty())
        SetMonitorProfile(previousPath);
}

TEST(SysInfoDlgTest, ShowsTheTextReadOnlyAndClosesWithOk)
{
    CSysInfoDlg dialog(SampleFacts(), nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("システム情報"));
    auto* text = dialog.findChild<QPlainTextEdit*>(QStringLiteral("1257"));
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->toPlainText(), BuildSysInfoText(SampleFacts()));
    auto* close = dialog.findChild<QPushButton*>(QStringLiteral("1"));
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), QStringLiteral("閉じる"));
    QTimer::singleShot(0, close, &QPushButton::click);
    EXPECT_EQ(dialog.exec(), 1);
}

TEST(SysInfoDlgTest, TheLiveDialogShowsThisMachinesMemory)
{
    CSysInfoDlg dialog;
    const QStringList lines = dialog.text().split(u'\n');
    ASSERT_EQ(lines.size(), 14);
    platform::MemoryStatus memory;
    ASSERT_TRUE(platform::ReadMemoryStatus(memory));
    const QRegularExpression figures(QStringLiteral("^(\\d+) / (\\d+) MB$"));
    const QRegularExpressionMatch match =
        figures.match(lines[5].mid(LoadString(kStrFreePhysicalMemory).size()));
    ASSERT_TRUE(match.hasMatch()) << lines[5].toStdString();
    EXPECT_EQ(match.captured(2).toULongLong(), memory.totalRam >> 20);
    EXPECT_LE(match.captured(1).toULongLong(), match.captured(2).toULongLong());
}

} // namespace
