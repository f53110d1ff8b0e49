// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/language.h"
#include "imaging/resources.h"
#include "ui/qttranslation.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <gtest/gtest.h>

namespace {

QString yes()
{
    return QCoreApplication::translate("QPlatformTheme", "&Yes");
}

// Qt's standard buttons follow the interface: Chinese under the built-in
// language, back to Qt's English after a switch to English.
TEST(QtTranslation, FollowsTheInterfaceLanguage)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(folder + QStringLiteral("/qtbase_zh_CN.qm")))
        GTEST_SKIP() << "Qt's Chinese translation is not installed (qt6-translations-l10n)";
    UseCarriedLanguage();
    LoadBuiltInLanguage();
    EXPECT_TRUE(InstallQtTranslation().endsWith(QStringLiteral("qtbase_zh_CN.qm")));
    EXPECT_NE(yes(), QStringLiteral("&Yes"));
    EXPECT_TRUE(yes().contains(QStringLiteral("是"))) << yes().toStdString();

    ASSERT_TRUE(LoadLanguageFromFile(QStringLiteral(KESTREL_SOURCE_DIR "/resources/lang/English.INI")));
    EXPECT_TRUE(InstallQtTranslation().isEmpty());
    EXPECT_EQ(yes(), QStringLiteral("&Yes"));
    LoadBuiltInLanguage();
}

} // namespace
