#include "controls/dialogs/SysInfoDlg.h"

#include "controls/support/StringTable.h"
#include "core/LibraryVersions.h"
#include "core/PathUtils.h"
#include "core/ProfileStore.h"
#include "core/WinOSVersion.h"
#include "platform/Folders.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>
#include <QtGlobal>

SysInfoFacts GatherSysInfoFacts()
{
    SysInfoFacts facts;
    facts.productName = QCoreApplication::applicationName().toStdString();
    facts.fileVersion = QCoreApplication::applicationVersion().toStdString();
    facts.modulePath = GetModuleFilePath();

    const CWinOSVersion os;
    facts.distribution = os.GetDescription();
    if (os.IsValid())
        facts.kernel = os.GetSystemName() + " " + os.GetRelease();

    platform::MemoryStatus memory;
    if (platform::ReadMemoryStatus(memory))
        facts.memory = memory;
    platform::DiskSpace disk;
    if (platform::ReadDiskSpace(platform::HomeFolder(), disk))
        facts.homeDisk = disk;

    facts.qtVersion = qVersion();
    facts.littleCmsVersion = GetLittleCmsVersion();
    facts.libTiffVersion = GetLibTiffVersion();
    facts.libJpegVersion = GetLibJpegVersion();

    if (const CColorProfile* monitor = GetMonitorProfile())
    {
        monitor->GetDescription(facts.monitorProfileDescription);
        facts.monitorProfilePath = monitor->GetName();
    }
    return facts;
}

QString FormatMegabytes(std::uint64_t freeBytes, std::uint64_t totalBytes)
{
    return QStringLiteral("%1 / %2 MB").arg(freeBytes >> 20).arg(totalBytes >> 20);
}

QString BuildSysInfoText(const SysInfoFacts& facts)
{
    const auto q = [](const std::string& text) { return QString::fromStdString(text); };
    QStringList lines;
    lines << q(facts.productName) + u' ' + q(facts.fileVersion);
    lines << q(facts.modulePath);
    lines << QString();
    lines << LoadString(kStrDistribution) + q(facts.distribution);
    lines << LoadString(kStrKernel) + q(facts.kernel);
    lines << LoadString(kStrFreePhysicalMemory) +
                 (facts.memory ? FormatMegabytes(facts.memory->freeRam, facts.memory->totalRam)
                               : QString());
    lines << LoadString(kStrFreeVirtualMemory) +
                 (facts.memory ? FormatMegabytes(facts.memory->freeSwap, facts.memory->totalSwap)
                               : QString());
    lines << LoadString(kStrFreeSystemDisk) +
                 (facts.homeDisk
                      ? FormatMegabytes(facts.homeDisk->freeToCaller, facts.homeDisk->total)
                      : QString());
    lines << LoadString(kStrQtVersion) + q(facts.qtVersion);
    lines << LoadString(kStrLittleCmsVersion) + q(facts.littleCmsVersion);
    lines << LoadString(kStrLibTiffVersion) + q(facts.libTiffVersion);
    lines << LoadString(kStrLibJpegVersion) + q(facts.libJpegVersion);
    lines << LoadString(kStrMonitorProfile) + q(facts.monitorProfileDescription);
    lines << LoadString(kStrMonitorProfilePath) + q(facts.monitorProfilePath);
    return lines.join(u'\n');
}

CSysInfoDlg::CSysInfoDlg(QWidget* parent) : CSysInfoDlg(GatherSysInfoFacts(), parent) {}

CSysInfoDlg::CSysInfoDlg(const SysInfoFacts& facts, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("196"));
    setWindowTitle(QStringLiteral("システム情報"));

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("1257"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text->setPlainText(BuildSysInfoText(facts));
    // Room for the lines as the design's 319 x 129 unit box had it.
    const QFontMetrics metrics(m_text->font());
    m_text->setMinimumSize(metrics.averageCharWidth() * 80, metrics.lineSpacing() * 16);

    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("1"));
    close->setDefault(true);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(close, QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text, 1);
    layout->addWidget(buttons);
}

QString CSysInfoDlg::text() const
{
    return m_text->toPlainText();
}
