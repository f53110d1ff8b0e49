// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errortext.h"
#include "common/language.h"
#include "imaging/resources.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>

namespace {

QString languageSource(const char* name)
{
    return QStringLiteral(KESTREL_SOURCE_DIR "/resources/lang/") + QString::fromLatin1(name);
}

class ErrnoTextTest : public testing::Test {
protected:
    void TearDown() override { LoadBuiltInLanguage(); }
};

TEST_F(ErrnoTextTest, EnglishInterfaceGetsTheErrnosOwnWords)
{
    ASSERT_TRUE(LoadLanguageFromFile(languageSource("English.INI")));
    EXPECT_EQ(ErrnoText(EROFS), QStringLiteral("Read-only file system"));
    EXPECT_EQ(ErrnoText(ECANCELED), QStringLiteral("Operation canceled"));
    EXPECT_EQ(ErrnoText(ENOEXEC), QStringLiteral("not an image file, or damaged"));
    EXPECT_TRUE(ErrnoText(0).isEmpty());
}

TEST_F(ErrnoTextTest, ChineseInterfaceGetsTheSystemsChineseText)
{
    UseCarriedLanguage();
    LoadBuiltInLanguage();
    ASSERT_EQ(InterfaceLocale(), QStringLiteral("zh_CN"));
    EXPECT_EQ(ErrnoText(ENOEXEC), GetLanguageString(372));
    EXPECT_NE(ErrnoText(ENOEXEC), QStringLiteral("Exec format error"));
    if (!QFile::exists(QStringLiteral("/usr/share/locale/zh_CN/LC_MESSAGES/libc.mo")))
        GTEST_SKIP() << "the system has no Chinese C library messages (package locales)";
    const QString text = ErrnoText(EROFS);
    EXPECT_NE(text, QStringLiteral("Read-only file system"));
    bool cjk = false;
    for (const QChar c : text)
        cjk = cjk || (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF);
    EXPECT_TRUE(cjk) << text.toStdString();
}

// A catalogue is read with every offset checked: cut or bent files give no
// text, never a read outside them.
TEST(MessageCatalogue, MalformedCataloguesGiveNothing)
{
    // One entry "a" -> "b", little-endian.
    QByteArray mo;
    auto word = [&mo](uint32_t v) { mo.append(reinterpret_cast<const char*>(&v), 4); };
    word(0x950412de);
    word(0);
    word(1);  // count
    word(28); // originals
    word(36); // translations
    word(0);
    word(0);
    word(1);
    word(44);
    word(1);
    word(46);
    mo.append("a\0b\0", 4);
    EXPECT_EQ(LookUpCatalogue(mo, "a"), QStringLiteral("b"));
    EXPECT_TRUE(LookUpCatalogue(mo, "c").isEmpty());
    for (int cut : {0, 3, 12, 30, 40, 45}) {
        EXPECT_TRUE(LookUpCatalogue(mo.left(cut), "a").isEmpty()) << cut;
    }
    QByteArray bent = mo;
    bent[40] = char(0xFF); // the translation's offset far beyond the end
    EXPECT_TRUE(LookUpCatalogue(bent, "a").isEmpty());
}

TEST(LanguageFileTexts, BothFilesNameTheirLanguageAndLocale)
{
    for (const char* file : {"Default.INI", "English.INI"}) {
        ASSERT_TRUE(LoadLanguageFromFile(languageSource(file)));
        for (int n = 370; n <= 379; ++n)
            EXPECT_FALSE(GetLanguageString(n).isEmpty()) << file << " string " << n;
    }
    LoadBuiltInLanguage();
}

} // namespace
