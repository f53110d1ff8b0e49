// SPDX-License-Identifier: GPL-3.0-or-later
// The language of a first start, chosen from the system locale.
#include "common/language.h"
#include "common/registry.h"
#include "common/settings.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(LocaleLanguage, ChoosesAnInstalledFileByTheLocale)
{
    const QList<InstalledLanguage> installed = {
        {QStringLiteral("English"), QStringLiteral("en")},
        {QStringLiteral("British"), QStringLiteral("en_GB")},
        {QStringLiteral("Deutsch"), QStringLiteral("de_DE")},
        {QStringLiteral("Nameless"), QString()},
    };
    struct Case {
        const char* locale;
        const char* expected;
    } const cases[] = {
        {"en_US.UTF-8", "English"},   // the language when no file has the territory
        {"en_GB.UTF-8", "British"},   // the exact locale first
        {"en", "English"},
        {"de_AT@euro", "Deutsch"},    // a file of the language from another territory
        {"zh_CN.UTF-8", ""},          // Chinese is the built-in language
        {"zh_TW", ""},
        {"fr_FR.UTF-8", ""},          // no file: the built-in language
        {"C.UTF-8", ""},
        {"POSIX", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LanguageForLocale(QString::fromLatin1(c.locale), installed), QString::fromLatin1(c.expected))
            << c.locale;
    EXPECT_EQ(LanguageForLocale(QStringLiteral("en_US"), {}), QString()) << "nothing installed";
}

// The rule changes only the record, and only when nothing is stored.
TEST(LocaleLanguage, AStoredLanguageWinsAndNothingIsWritten)
{
    const QByteArray saved = qgetenv("LC_ALL");
    qputenv("LC_ALL", "zh_CN.UTF-8");
    QFile::remove(SettingsFilePath());
    AppSettings().language = QStringLiteral("unchanged");
    ChooseLanguageFromLocale();
    EXPECT_EQ(AppSettings().language, QString()) << "a Chinese locale starts in the built-in language";
    EXPECT_FALSE(QFile::exists(SettingsFilePath()));

    WriteRegistryText(QString::fromUtf16(kSettingsSubKey), QStringLiteral("Language"), QStringLiteral("Stored"));
    AppSettings().language = QStringLiteral("Stored");
    ChooseLanguageFromLocale();
    EXPECT_EQ(AppSettings().language, QStringLiteral("Stored"));
    QFile::remove(SettingsFilePath());
    AppSettings().language.clear();
    if (saved.isNull())
        qunsetenv("LC_ALL");
    else
        qputenv("LC_ALL", saved);
}

TEST(LocaleLanguage, MessagesLocaleFollowsThePosixOrder)
{
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    QByteArray saved[3];
    for (int i = 0; i < 3; ++i)
        saved[i] = qgetenv(names[i]);
    qunsetenv("LC_ALL");
    qputenv("LC_MESSAGES", "en_GB.UTF-8");
    qputenv("LANG", "de_DE.UTF-8");
    EXPECT_EQ(SystemMessagesLocale(), QStringLiteral("en_GB.UTF-8"));
    qunsetenv("LC_MESSAGES");
    EXPECT_EQ(SystemMessagesLocale(), QStringLiteral("de_DE.UTF-8"));
    qputenv("LC_ALL", "fr_FR");
    EXPECT_EQ(SystemMessagesLocale(), QStringLiteral("fr_FR"));
    for (int i = 0; i < 3; ++i) {
        if (saved[i].isNull())
            qunsetenv(names[i]);
        else
            qputenv(names[i], saved[i]);
    }
}

} // namespace
