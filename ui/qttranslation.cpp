// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qttranslation.h"

#include "common/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

QString InstallQtTranslation()
{
    static QPointer<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }
    const QString locale = InterfaceLocale();
    if (!QCoreApplication::instance() || locale.isEmpty() || locale.startsWith(u"en"))
        return {};
    auto* translator = new QTranslator(QCoreApplication::instance());
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const QString& base : {QStringLiteral("qtbase_"), QStringLiteral("qt_")}) {
        if (translator->load(base + locale, folder)) {
            QCoreApplication::installTranslator(translator);
            installed = translator;
            return translator->filePath();
        }
    }
    delete translator;
    return {};
}
