#include "controls/support/QtTranslations.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

QTranslator* InstallQtTranslations()
{
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs, true);
    auto* translator = new QTranslator(qApp);
    if (!translator->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator))
    {
        delete translator;
        return nullptr;
    }
    return translator;
}
