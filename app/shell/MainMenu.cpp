#include "app/shell/MainMenu.h"

#include "app/filelist/FileView.h"
#include "controls/support/StringTable.h"
#include "print/PrintIndexJob.h"

#include <QRegularExpression>

namespace {

int Id(FrameCommand command)
{
    return static_cast<int>(command);
}

// The step's name as the string table gives it to the progress windows
// (11092 "現像" ... 11098 "フィルタ補正"), with its mnemonic.
QString StepText(int index, char mnemonic)
{
    return LoadString(kStrIndexStageFirst + index) + QStringLiteral("(&%1)").arg(QChar(mnemonic));
}

} // namespace

const std::vector<MenuPopup>& MainMenuPopups()
{
    static const std::vector<MenuPopup> kPopups = {
        {QStringLiteral("ファイル(&F)"),
         {Id(FrameCommand::OpenFiles), Id(FrameCommand::OpenFolder), Id(FrameCommand::SaveImage), 0,
          Id(FrameCommand::NewList), Id(FrameCommand::LoadList), Id(FrameCommand::SaveList), 0,
          Id(FrameCommand::ImportParameters), Id(FrameCommand::ExportParameters),
          Id(FrameCommand::ResetParameters), 0, Id(FrameCommand::Print),
          Id(FrameCommand::IndexPrint), 0, Id(FrameCommand::AppExit)}},
        {QStringLiteral("編集(&E)"), {Id(FrameCommand::Undo), Id(FrameCommand::Redo)}},
        {QStringLiteral("補正(&C)"),
         {Id(FrameCommand::StepDevelop), Id(FrameCommand::StepChart), Id(FrameCommand::StepTrimming),
          Id(FrameCommand::StepGradation), Id(FrameCommand::StepColorTone),
          Id(FrameCommand::StepSpecifiedColor), Id(FrameCommand::StepFilter), 0,
          Id(FrameCommand::StepBatch)}},
    };
    return kPopups;
}

const std::vector<int>& ToolBarCommands(int resource)
{
    static const std::vector<int> kFile = {
        Id(FrameCommand::OpenFiles), Id(FrameCommand::OpenFolder), Id(FrameCommand::SaveImage), 0,
        Id(FrameCommand::Print),     Id(FrameCommand::IndexPrint), 0,
        Id(FrameCommand::Preferences)};
    static const std::vector<int> kSteps = {
        Id(FrameCommand::StepDevelop),   Id(FrameCommand::StepChart),
        Id(FrameCommand::StepTrimming),  Id(FrameCommand::StepGradation),
        Id(FrameCommand::StepColorTone), Id(FrameCommand::StepSpecifiedColor),
        Id(FrameCommand::StepFilter),    0,
        Id(FrameCommand::StepBatch)};
    static const std::vector<int> kNone;
    if (resource == kFileToolBarResource)
        return kFile;
    if (resource == kStepToolBarResource)
        return kSteps;
    return kNone;
}

QString CommandMenuText(FrameCommand command)
{
    switch (command)
    {
    case FrameCommand::OpenFiles:
        return QStringLiteral("ファイルを開く(&O)...\tCtrl+O");
    case FrameCommand::OpenFolder:
        return QStringLiteral("フォルダを開く(&F)...");
    case FrameCommand::SaveImage:
        return QStringLiteral("保存(&S)...\tCtrl+S");
    case FrameCommand::NewList:
        return QStringLiteral("新規リスト(&N)");
    case FrameCommand::LoadList:
        return QStringLiteral("リスト読込(&L)...");
    case FrameCommand::SaveList:
        return QStringLiteral("リスト保存(&T)...");
    case FrameCommand::ImportParameters:
        return QStringLiteral("補正パラメータインポート(&I)...");
    case FrameCommand::ExportParameters:
        return QStringLiteral("補正パラメータエクスポート(&E)...");
    case FrameCommand::ResetParameters:
        return QStringLiteral("補正パラメータリセット(&R)");
    case FrameCommand::Print:
        return QStringLiteral("印刷(&P)...\tCtrl+P");
    case FrameCommand::IndexPrint:
        return QStringLiteral("インデックス印刷(&D)...");
    case FrameCommand::AppExit:
        return QStringLiteral("終了(&X)");
    case FrameCommand::Preferences:
        // On toolbar 128 only: the file-list panel's button names it.
        return LoadString(kStrTipPreferences) + QStringLiteral("(&P)...");
    case FrameCommand::Undo:
        return QStringLiteral("元に戻す(&U)\tCtrl+Z");
    case FrameCommand::Redo:
        return QStringLiteral("やり直し(&R)\tCtrl+Shift+Z");
    case FrameCommand::StepDevelop:
        return StepText(1, 'D');
    case FrameCommand::StepChart:
        return StepText(2, 'H');
    case FrameCommand::StepTrimming:
        return StepText(3, 'T');
    case FrameCommand::StepGradation:
        return StepText(4, 'G');
    case FrameCommand::StepColorTone:
        return StepText(5, 'O');
    case FrameCommand::StepSpecifiedColor:
        return StepText(6, 'S');
    case FrameCommand::StepFilter:
        return StepText(7, 'F');
    case FrameCommand::StepBatch:
        return QStringLiteral("バッチ処理(&B)");
    }
    return {};
}

QString CommandToolTip(FrameCommand command)
{
    const QString text = CommandMenuText(command);
    const qsizetype tab = text.indexOf(u'\t');
    QString name = tab < 0 ? text : text.first(tab);
    static const QRegularExpression kMnemonic(QStringLiteral("\\(&.\\)"));
    name.remove(kMnemonic);
    if (name.endsWith(QStringLiteral("...")))
        name.chop(3);
    if (tab >= 0)
        name += QStringLiteral(" (%1)").arg(text.mid(tab + 1));
    return name;
}
