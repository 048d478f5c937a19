#include "controls/support/QtMessageSink.h"

#include "controls/support/MessageText.h"
#include "controls/support/StringTable.h"

#include <QAbstractButton>
#include <QApplication>

namespace {

QMessageBox::StandardButton DefaultButton(MessageButtons buttons)
{
    return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel
               ? QMessageBox::Yes
               : QMessageBox::Ok;
}

} // namespace

QMessageBox::StandardButtons MessageBoxButtons(MessageButtons buttons)
{
    switch (buttons)
    {
    case MessageButtons::Ok:
        return QMessageBox::Ok;
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QString MessageButtonText(QMessageBox::StandardButton button)
{
    switch (button)
    {
    case QMessageBox::Ok:
        return QStringLiteral("OK");
    case QMessageBox::Cancel:
        return QStringLiteral("キャンセル");
    case QMessageBox::Yes:
        return QStringLiteral("はい(&Y)");
    case QMessageBox::No:
        return QStringLiteral("いいえ(&N)");
    default:
        return {};
    }
}

QMessageBox::Icon MessageBoxIcon(MessageIcon icon)
{
    switch (icon)
    {
    case MessageIcon::None:
        return QMessageBox::NoIcon;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton MessageEscapeButton(MessageButtons buttons)
{
    switch (buttons)
    {
    case MessageButtons::Ok:
        return QMessageBox::Ok;
    case MessageButtons::YesNo:
        return QMessageBox::No;
    case MessageButtons::OkCancel:
    case MessageButtons::YesNoCancel:
        return QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

int MessageAnswer(QMessageBox::StandardButton clicked, MessageButtons buttons)
{
    if (!MessageBoxButtons(buttons).testFlag(clicked))
        clicked = MessageEscapeButton(buttons);
    switch (clicked)
    {
    case QMessageBox::Cancel:
        return kMessageCancel;
    case QMessageBox::Yes:
        return kMessageYes;
    case QMessageBox::No:
        return kMessageNo;
    default:
        return kMessageOk;
    }
}

QString QtMessageSink::MessageText(int stringId, const std::vector<std::string>& args)
{
    const std::string text = HasString(stringId) ? LoadString(stringId).toStdString()
                                                 : MissingMessageText(stringId);
    return QString::fromStdString(FormatMessageText(text, args));
}

QString QtMessageSink::MessageTitle()
{
    const QString name = LoadString(kStrApplicationName);
    return name.isEmpty() ? QApplication::applicationName() : name;
}

int QtMessageSink::ShowMessage(int stringId, const std::vector<std::string>& args,
                               MessageButtons buttons, MessageIcon icon)
{
    QMessageBox box(MessageBoxIcon(icon), MessageTitle(), MessageText(stringId, args),
                    MessageBoxButtons(buttons), QApplication::activeWindow());
    // Paths and file names are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    for (QAbstractButton* button : box.buttons())
    {
        const QString text = MessageButtonText(box.standardButton(button));
        if (!text.isEmpty())
            button->setText(text);
    }
    box.setDefaultButton(DefaultButton(buttons));
    box.setEscapeButton(MessageEscapeButton(buttons));
    box.exec();
    return MessageAnswer(box.standardButton(box.clickedButton()), buttons);
}
