// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/inisection.h"
#include "common/language.h"
#include "imaging/configlists.h"

#include <gtest/gtest.h>

namespace {

struct PatternCase {
    const char16_t* pattern;
    const char16_t* root; // the operation's root as typed
    const char16_t* path; // as the imaging layer reports it
    bool matches;
};

TEST(MatchPattern, TableOfCases)
{
    const PatternCase cases[] = {
        // Letters fold, so stored archives stay uncompressed whatever their case.
        {u"*.WIM", u"/src", u"/src/backup.wim", true},
        {u"*.WIM", u"D:\\src", u"D:\\src\\backup.wim", true},
        {u"*.wim", u"/src", u"/src/backup.wim.txt", false},
        // A pattern with a leading separator is anchored at the root.
        {u"\\PageFile.SYS", u"/c/root", u"/c/root/pagefile.sys", true},
        {u"\\PageFile.SYS", u"/c/root", u"/c/root/Windows/pagefile.sys", false},
        {u"\\PageFile.SYS", u"/c/root/", u"/c/root/pagefile.sys", true},
        {u"/pagefile.sys", u"/c/root", u"/c/root/pagefile.sys", true},
        {u"\\pagefile.sys", u"/", u"/pagefile.sys", true},
        // A directory pattern matches the directory, not what is below it.
        {u"\\Windows\\CSC", u"/r", u"/r/Windows/CSC", true},
        {u"\\Windows\\CSC", u"/r", u"/r/Windows/CSC/x", false},
        {u"\\Windows\\CSC", u"/r", u"/r/Windows/CS", false},
        // "*" crosses separators; only the most recent star is retried.
        {u"*\\Temp", u"/r", u"/r/a/b/Temp", true},
        {u"*\\Temp", u"/r", u"/r/a/Temp/file", false},
        {u"*ab*cd", u"", u"xabxxcdcd", true},
        {u"*a*b", u"", u"aaa", false},
        {u"\\a*b*c", u"/r", u"/r/abxbxc", true},
        // A trailing star matches the rest at once; only one star is skipped at the end.
        {u"abc*", u"", u"abc", true},
        {u"abc**", u"", u"abc", false},
        {u"abc**", u"", u"abcd", true},
        {u"\\*", u"/r", u"/r", false},
        // "?" is one character, never none.
        {u"\\a?c", u"/r", u"/r/abc", true},
        {u"\\a?c", u"/r", u"/r/ac", false},
        // Folding covers A to Z only.
        {u"\\Ärger", u"/r", u"/r/ärger", false},
        // A relative pattern sees the whole path, root included.
        {u"src*", u"/src", u"/src/a", false},
        // A root longer than the path leaves nothing to match.
        {u"\\x", u"/very/long/root", u"/v", false},
        {u"", u"", u"", true},
    };
    for (const PatternCase& c : cases) {
        const QString pattern = QString::fromUtf16(c.pattern);
        const QString path = QString::fromUtf16(c.path);
        EXPECT_EQ(MatchPattern(pattern, RootLength(QString::fromUtf16(c.root)), path), c.matches)
            << pattern.toStdString() << " on " << path.toStdString();
    }
}

TEST(RootLength, DropsTrailingSeparators)
{
    EXPECT_EQ(RootLength(QStringLiteral("/data/")), 5);
    EXPECT_EQ(RootLength(QStringLiteral("D:\\data\\")), 7);
    EXPECT_EQ(RootLength(QStringLiteral("/data//\\")), 5);
    EXPECT_EQ(RootLength(QStringLiteral("/data")), 5);
    EXPECT_EQ(RootLength(QStringLiteral("/")), 0);
    EXPECT_EQ(RootLength(QString()), 0);
}

TEST(MatchPatternList, TriesEveryPatternAndNullNeverMatches)
{
    const PatternList list{QStringLiteral("\\a"), QStringLiteral("*.cab")};
    EXPECT_TRUE(MatchPatternList(list, 2, u"/r/a"));
    EXPECT_TRUE(MatchPatternList(list, 2, u"/r/x/y.CAB"));
    EXPECT_FALSE(MatchPatternList(list, 2, u"/r/b"));
    EXPECT_FALSE(MatchPatternList(PatternList{}, 0, u""));
    EXPECT_FALSE(MatchPatternList(PatternList{}, 2, u"/r/a"));
}

ConfigurationLists listsFrom(const QString& text)
{
    IniSectionTable table;
    ResetSectionTable(table, kIniTrimBoth);
    BuildSectionTable(table, text);
    return ConfigurationListsFromTable(table);
}

TEST(ConfigurationLists, EntriesBecomePatterns)
{
    const ConfigurationLists lists = listsFrom(QStringLiteral(
        "[exclusionlist]\r\n\\Temp = text\r\n  \\Logs\t\r\n; \\Commented\r\n[AlignmentList]\r\n[ExclusionException]\r\n"
        "\\Temp\\keep\r\n"));
    EXPECT_EQ(lists.ExclusionList, PatternList({QStringLiteral("\\Temp"), QStringLiteral("\\Logs")}));
    EXPECT_EQ(lists.ExclusionExceptionList, PatternList({QStringLiteral("\\Temp\\keep")}));
    EXPECT_TRUE(lists.AlignmentList.isEmpty());
    EXPECT_TRUE(lists.CompressionExclusionList.isEmpty());
}

TEST(ConfigurationLists, DecisionsFollowTheLists)
{
    const ConfigurationLists lists = listsFrom(QStringLiteral("[ExclusionList]\n\\Temp\n*.log\n[ExclusionException]\n"
                                                              "\\Temp\n[CompressionExclusionList]\n*.zip\n"
                                                              "[AlignmentList]\n*.sys\n"));
    const int r = RootLength(QStringLiteral("/src/"));
    // An exception beats the exclusion, but never turns a skipped file back on.
    EXPECT_TRUE(DecideProcess(lists, r, u"/src/Temp", true));
    EXPECT_FALSE(DecideProcess(lists, r, u"/src/Temp", false));
    EXPECT_FALSE(DecideProcess(lists, r, u"/src/a/b.LOG", true));
    EXPECT_TRUE(DecideProcess(lists, r, u"/src/a/b.txt", true));

    EXPECT_FALSE(DecideCompress(lists, r, u"/src/x.ZIP", true));
    EXPECT_TRUE(DecideCompress(lists, r, u"/src/x.txt", true));
    EXPECT_FALSE(DecideCompress(lists, r, u"/src/x.txt", false));

    EXPECT_TRUE(DecideAlign(lists, r, u"/src/drv.sys", true));
    EXPECT_FALSE(DecideAlign(lists, r, u"/src/drv.dll", true));
    EXPECT_FALSE(DecideAlign(lists, r, u"/src/drv.sys", false));

    // Without lists nothing changes: alignment requests stay as the engine makes them.
    const ConfigurationLists none;
    for (const bool flag : {true, false}) {
        EXPECT_EQ(DecideProcess(none, r, u"/src/Temp", flag), flag);
        EXPECT_EQ(DecideCompress(none, r, u"/src/x.zip", flag), flag);
        EXPECT_EQ(DecideAlign(none, r, u"/src/x.sys", flag), flag);
    }
}

TEST(FillConfigurationLists, UsesTheLoadedConfigurationUnlessTurnedOff)
{
    ASSERT_TRUE(LoadLanguageFromFile(QStringLiteral(KESTREL_SOURCE_DIR "/resources/lang/Default.INI")));
    ConfigurationLists lists;
    FillConfigurationLists(false, lists);
    EXPECT_TRUE(lists.ExclusionList.contains(QStringLiteral("\\pagefile.sys")));
    EXPECT_TRUE(lists.CompressionExclusionList.contains(QStringLiteral("*.esd")));
    EXPECT_TRUE(lists.ExclusionExceptionList.isEmpty());
    EXPECT_TRUE(lists.AlignmentList.isEmpty());
    const int r = RootLength(QStringLiteral("/mnt/win"));
    EXPECT_FALSE(DecideProcess(lists, r, u"/mnt/win/System Volume Information", true));
    EXPECT_TRUE(DecideProcess(lists, r, u"/mnt/win/Users/System Volume Information", true));
    EXPECT_TRUE(DecideAlign(lists, r, u"/mnt/win/x.sys", true));

    // The editor's new text reaches the next operation.
    SetConfigurationText(QStringLiteral("[ExclusionList]\n\\only\n"));
    FillConfigurationLists(false, lists);
    EXPECT_EQ(lists.ExclusionList, PatternList{QStringLiteral("\\only")});

    FillConfigurationLists(true, lists);
    EXPECT_TRUE(lists.ExclusionList.isEmpty());
    EXPECT_TRUE(lists.CompressionExclusionList.isEmpty());
}

} // namespace
