// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/appdirectory.h"
#include "common/language.h"
#include "common/settings.h"
#include "common/registry.h"
#include "imaging/resources.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

constexpr int kStringCount = 364;

// The built-in language is the one the program carries.
[[maybe_unused]] const bool kCarriedLanguage = (UseCarriedLanguage(), true);

QString languageSource(const char* name)
{
    return QStringLiteral(KESTREL_SOURCE_DIR "/resources/lang/") + QString::fromLatin1(name);
}

QByteArray utf16WithMark(const QString& text)
{
    QByteArray bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

// A small language file: the configuration part, then the language part with
// the sections in the usual order.
QString miniLanguage(const QString& config, const QString& strings)
{
    return config + QStringLiteral("[System_Flag]\r\nhint\r\n[Compress_Type]\r\nNONE\r\n[Help_Text1]\r\n"
                                   "  Title\r\n[String_List]\r\n")
        + strings;
}

// Texts the rest of the program relies on, exactly as the interface shows them.
const std::pair<int, const char16_t*> kKeyStrings[] = {
    {0, u"挂载和解开"},
    {9, u"Kestrel - 编辑配置文件"},
    {21, u"完成"},
    {22, u"失败"},
    {48, u"已挂载的映卷数为:%u"},
    {55, u"配置文件"},
    {74, u"不使用配置文件"},
    {100, u"不使用捕获配置文件"},
    {132, u"请选择一个扩展名为“.wim”的文件"},
    {134, u"预测中..."},
    {135, u"默认"},
    {161, u"属于分割包文件[%u/%u]，不能修改信息！"},
    {267, u"Kestrel - WIM映像处理工具"},
    {272, u"用 Kestrel 处理(&S)..."},
    {283, u"线程异常结束，残留的目标文件是损坏的，关闭 Kestrel 后方可删除。"},
    {284, u"安全终止"},
    {285, u"强行终止"},
    {286, u"返回继续"},
    {293, u"给个名称吧"},
    {301, u"Kestrel.EXE同目录下的KestrelShell.DLL不存在，或64位、32位不匹配。"},
    {344, u"Kestrel 不是以管理员身份执行，功能会受到限制。"},
    {357, u"全部"},
    {362, u"映卷已存在也被导入"},
};

class LanguageFiles : public testing::TestWithParam<const char*> {};

TEST_P(LanguageFiles, LoadCompletely)
{
    ASSERT_TRUE(LoadLanguageFromFile(languageSource(GetParam())));
    for (int n = 0; n < kStringCount; ++n)
        EXPECT_FALSE(GetLanguageString(n).isEmpty()) << "string " << n;
    EXPECT_TRUE(GetLanguageString(kStringCount).isNull());
    EXPECT_TRUE(GetLanguageString(-1).isNull());
    for (int k = 1; k <= 8; ++k)
        EXPECT_GE(HelpText(k).size(), 3) << "help text " << k;
    EXPECT_TRUE(HelpText(0).isEmpty());
    EXPECT_TRUE(HelpText(9).isEmpty());
    EXPECT_EQ(CompressTypeNames().size(), 4);
    QString hint;
    EXPECT_EQ(SystemFlagEntries(&hint).size(), 18);
    EXPECT_FALSE(hint.isEmpty());
    EXPECT_TRUE(ProgramTitle().startsWith(GetLanguageString(267)));
    EXPECT_EQ(ConfirmButtonLabel(kButtonTextCancel), GetLanguageString(286));

    // Both files carry the same capture configuration.
    const IniSectionTable config = ConfigurationTable();
    ASSERT_EQ(config.sections().size(), 4);
    EXPECT_TRUE(config.keys(u"[ExclusionList]").contains(QStringLiteral("\\pagefile.sys")));
    EXPECT_TRUE(config.keys(u"[CompressionExclusionList]").contains(QStringLiteral("*.wim")));
    EXPECT_TRUE(config.keys(u"[ExclusionException]").isEmpty());
    EXPECT_TRUE(config.keys(u"[AlignmentList]").isEmpty());
    EXPECT_FALSE(DefaultConfigurationText().contains(QStringLiteral("[System_Flag]"), Qt::CaseInsensitive));
}

INSTANTIATE_TEST_SUITE_P(Language, LanguageFiles, testing::Values("Default.INI", "English.INI"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return QString::fromLatin1(info.param).section(u'.', 0, 0).toStdString();
                         });

TEST(Language, DefaultFileHoldsTheInterfaceTexts)
{
    ASSERT_TRUE(LoadLanguageFromFile(languageSource("Default.INI")));
    for (const auto& [n, text] : kKeyStrings)
        EXPECT_EQ(GetLanguageString(n), QString::fromUtf16(text)) << "string " << n;
    const QString suffix = sizeof(void*) == 4 ? QStringLiteral(" V1.7.2025.1008 x86U")
                                              : QStringLiteral(" V1.7.2025.1008 x64U");
    EXPECT_EQ(ProgramTitle(), QStringLiteral("Kestrel - WIM映像处理工具") + suffix);
    EXPECT_EQ(ConfirmButtonLabel(kButtonTextYes), QStringLiteral("安全终止"));
    EXPECT_EQ(ConfirmButtonLabel(kButtonTextNo), QStringLiteral("强行终止"));
    EXPECT_EQ(GetCompressTypeName(0), QStringLiteral("没有压缩(NONE)"));
    EXPECT_EQ(GetCompressTypeName(3), QStringLiteral("极限压缩(LZMS)"));
    EXPECT_TRUE(GetCompressTypeName(4).isEmpty());
    EXPECT_TRUE(GetCompressTypeName(-1).isEmpty());
    QString hint;
    const QStringList flags = SystemFlagEntries(&hint);
    EXPECT_EQ(hint, QStringLiteral("可下拉选择也可填写"));
    EXPECT_EQ(flags.value(1), QStringLiteral("Education Edition"));
    EXPECT_EQ(flags.value(17), QStringLiteral("Ultimate Edition"));
    // Help titles are centred with leading blanks, which must survive.
    EXPECT_TRUE(HelpText(1).first().startsWith(u' '));
}

TEST(Language, BuiltInLanguageIsTheDefaultFile)
{
    const QByteArray carried = UnpackCarriedResource(CarriedResource::DefaultLanguage);
    if (carried.isEmpty())
        GTEST_SKIP() << "the program carries no default language file in this build";
    QFile file(languageSource("Default.INI"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(carried, file.readAll());
    LoadBuiltInLanguage();
    EXPECT_EQ(GetLanguageString(267), QStringLiteral("Kestrel - WIM映像处理工具"));
}

TEST(Language, ParsesTheFileFormat)
{
    const QString config = QStringLiteral("[ExclusionList]\r\n\\Temp = note\r\n");
    const QString strings = QStringLiteral("5=  five   // comment\r\n;6=hidden\r\n  // 7=hidden\r\n"
                                           "8=http://example.org\r\n 9=nine\r\n10abc=ten\r\n"
                                           "[String_List]\r\n11=continued\r\n");
    ASSERT_TRUE(LoadLanguageFromBytes(utf16WithMark(miniLanguage(config, strings))));
    EXPECT_EQ(GetLanguageString(5), QStringLiteral("  five"));
    EXPECT_TRUE(GetLanguageString(6).isEmpty());
    EXPECT_TRUE(GetLanguageString(7).isEmpty());
    EXPECT_EQ(GetLanguageString(8), QStringLiteral("http:"));
    EXPECT_EQ(GetLanguageString(9), QStringLiteral("nine"));
    EXPECT_EQ(GetLanguageString(10), QStringLiteral("ten"));
    EXPECT_EQ(GetLanguageString(11), QStringLiteral("continued"));
    EXPECT_EQ(ConfigurationTable().keys(u"[ExclusionList]"), QStringList{QStringLiteral("\\Temp")});
    EXPECT_EQ(DefaultConfigurationText(), config);
    EXPECT_EQ(HelpText(1), QStringList{QStringLiteral("  Title")});
    EXPECT_TRUE(HelpText(2).isEmpty());
}

TEST(Language, ReadsFilesWithoutByteOrderMarkInTheLocaleEncoding)
{
    const QString text = miniLanguage(QString(), QStringLiteral("1=挂载映像\n"));
    ASSERT_TRUE(LoadLanguageFromBytes(text.toLocal8Bit()));
    EXPECT_EQ(GetLanguageString(1), QStringLiteral("挂载映像"));
    // The configuration part is empty, and so is its table.
    EXPECT_TRUE(ConfigurationTable().sections().isEmpty());
    EXPECT_TRUE(DefaultConfigurationText().isEmpty());
}

TEST(Language, RefusesTextWithoutSystemFlagAndKeepsTheTables)
{
    ASSERT_TRUE(LoadLanguageFromBytes(utf16WithMark(miniLanguage(QString(), QStringLiteral("1=kept\n")))));
    EXPECT_FALSE(LoadLanguageFromBytes(utf16WithMark(QStringLiteral("[String_List]\n1=other\n"))));
    EXPECT_FALSE(LoadLanguageFromBytes(QByteArray()));
    EXPECT_FALSE(LoadLanguageFromBytes(QByteArray("\xFF\xFE\x00", 3)));
    EXPECT_EQ(GetLanguageString(1), QStringLiteral("kept"));
}

TEST(Language, SectionsInAnotherOrderStillGiveTheirOwnStrings)
{
    ASSERT_TRUE(LoadLanguageFromBytes(utf16WithMark(miniLanguage(QString(), QStringLiteral("1=first\n")))));
    EXPECT_EQ(GetLanguageString(1), QStringLiteral("first"));
    const QString reordered = QStringLiteral("[System_Flag]\nhint\n[String_List]\n1=second\n[Help_Text1]\n1=help\n");
    ASSERT_TRUE(LoadLanguageFromBytes(utf16WithMark(reordered)));
    EXPECT_EQ(GetLanguageString(1), QStringLiteral("second"));
    // A language part without "[String_List]" has no strings at all.
    ASSERT_TRUE(LoadLanguageFromBytes(utf16WithMark(QStringLiteral("[System_Flag]\n1=flag\n[Help_Text1]\n1=help\n"))));
    EXPECT_TRUE(GetLanguageString(1).isEmpty());
    EXPECT_EQ(ProgramTitle(), QStringLiteral(" V1.7.2025.1008 ") + (sizeof(void*) == 4 ? "x86U" : "x64U"));
}

class LanguageFolder : public testing::Test {
protected:
    void SetUp() override
    {
        m_savedDir = ApplicationDirectory();
        m_dir = MakeTestDir(QStringLiteral("langapp"));
        ASSERT_TRUE(QDir().mkpath(m_dir + QStringLiteral("/Languages/Folder.INI")));
        SetApplicationDirectory(m_dir);
    }
    void TearDown() override
    {
        SetApplicationDirectory(m_savedDir);
        AppSettings().language.clear();
    }
    QString languages() const { return m_dir + QStringLiteral("/Languages/"); }

    QString m_savedDir;
    QString m_dir;
};

TEST_F(LanguageFolder, ListsLanguageFilesOnly)
{
    writeFile(languages() + QStringLiteral("Mine.INI"), "x");
    writeFile(languages() + QStringLiteral("lower.ini"), "x");
    writeFile(languages() + QStringLiteral("v1.2.INI"), "x");
    writeFile(languages() + QStringLiteral("Mine.html"), "x");
    writeFile(languages() + QStringLiteral(".INI"), "x");
    QStringList names = LanguageFileNames();
    names.sort();
    EXPECT_EQ(names, QStringList({"Mine", "lower", "v1.2"}));
    EXPECT_EQ(LanguageFilePath(QStringLiteral("lower")), languages() + QStringLiteral("lower.ini"));
    EXPECT_TRUE(LanguageFilePath(QStringLiteral("Folder")).isEmpty());
    EXPECT_TRUE(LanguageFilePath(QStringLiteral("../Languages/Mine")).isEmpty());
    EXPECT_TRUE(LanguageFilePath(QString()).isEmpty());
}

TEST_F(LanguageFolder, LoadsTheChosenFileOrFallsBackToTheBuiltInOne)
{
    LoadBuiltInLanguage();
    const QString builtIn = GetLanguageString(267);

    writeFile(languages() + QStringLiteral("Mine.INI"),
              utf16WithMark(miniLanguage(QString(), QStringLiteral("267=Mine title\n"))));
    writeFile(languages() + QStringLiteral("NoFlag.INI"), utf16WithMark(QStringLiteral("[String_List]\n267=x\n")));

    AppSettings().language = QStringLiteral("Mine");
    LoadLanguage();
    EXPECT_EQ(GetLanguageString(267), QStringLiteral("Mine title"));

    for (const char* name : {"NoFlag", "Missing", ""}) {
        AppSettings().language = QString::fromLatin1(name);
        LoadLanguage();
        EXPECT_EQ(GetLanguageString(267), builtIn) << name;
    }
}

TEST_F(LanguageFolder, SwitchStoresTheNameAndReloads)
{
    writeFile(languages() + QStringLiteral("Mine.INI"),
              utf16WithMark(miniLanguage(QString(), QStringLiteral("1=switched\n"))));
    SwitchLanguage(QStringLiteral("Mine"));
    EXPECT_EQ(AppSettings().language, QStringLiteral("Mine"));
    EXPECT_EQ(ReadRegistryText(QString::fromUtf16(kSettingsSubKey), QStringLiteral("Language")),
              QStringLiteral("Mine"));
    EXPECT_EQ(GetLanguageString(1), QStringLiteral("switched"));

    SwitchLanguage(QString(300, u'x'));
    EXPECT_EQ(AppSettings().language.size(), 256);
}

TEST(Language, ConfigurationTextRoundTrip)
{
    SetConfigurationText(QStringLiteral("[ExclusionList]\n  \\a  = x\n// note\n\\b\n[AlignmentList]\n*.sys\n"));
    EXPECT_EQ(ConfigurationTableText(),
              QStringLiteral("[ExclusionList]\r\n\\a\r\n\\b\r\n[AlignmentList]\r\n*.sys\r\n"));
    SetConfigurationText(QString());
    EXPECT_TRUE(ConfigurationTable().sections().isEmpty());
}

} // namespace
