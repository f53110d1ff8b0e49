// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/inisection.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

// One parsed entry: key, value, and whether the line had a value at all.
struct Entry {
    QString key;
    QString value;
    bool hasValue = true;
};

struct ParseCase {
    const char* name;
    QString text;
    int sectionTrimMode;
    // Expected sections in order: header followed by its entries.
    std::vector<std::pair<QString, std::vector<Entry>>> sections;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << c.name;
}

class ParserCases : public testing::TestWithParam<ParseCase> {};

TEST_P(ParserCases, BuildsExpectedSections)
{
    const ParseCase& c = GetParam();
    IniSectionTable table;
    ResetSectionTable(table, c.sectionTrimMode);
    BuildSectionTable(table, c.text);

    ASSERT_EQ(table.sections().size(), qsizetype(c.sections.size()));
    for (size_t i = 0; i < c.sections.size(); ++i) {
        const IniSection& got = table.sections()[qsizetype(i)];
        const auto& [header, entries] = c.sections[i];
        EXPECT_EQ(got.header, header);
        ASSERT_EQ(got.keys.size(), qsizetype(entries.size())) << header.toStdString();
        EXPECT_EQ(got.count(), entries.empty() ? -1 : int(entries.size()));
        for (size_t j = 0; j < entries.size(); ++j) {
            EXPECT_EQ(got.keys[qsizetype(j)], entries[j].key) << "entry " << j;
            EXPECT_EQ(got.values[qsizetype(j)], entries[j].value) << "entry " << j;
            EXPECT_EQ(!got.values[qsizetype(j)].isNull(), entries[j].hasValue) << "entry " << j;
        }
    }
}

const QString kNoValue;

INSTANTIATE_TEST_SUITE_P(
    Ini, ParserCases,
    testing::Values(
        ParseCase{"ValueWithBlanksAndComment",
                  QStringLiteral("[String_List]\r\n5=  text here   // a note\r\n"),
                  kIniTrimEnd,
                  {{QStringLiteral("[String_List]"), {{"5", "  text here"}}}}},
        ParseCase{"CommentLines",
                  QStringLiteral("[S]\n;1=semicolon\n   // 2=slashes\n// 3=slashes\n 4=kept ;not a comment\n"),
                  kIniTrimEnd,
                  {{QStringLiteral("[S]"), {{" 4", "kept ;not a comment"}}}}},
        ParseCase{"UrlCutAtSlashes",
                  QStringLiteral("[S]\n1=see http://example.org/page\n"),
                  kIniTrimEnd,
                  {{QStringLiteral("[S]"), {{"1", "see http:"}}}}},
        ParseCase{"LineEndsMixedAndLastLineWithoutEnd",
                  QStringLiteral("[S]\ra\nb\r\nc\r\rd"),
                  kIniTrimEnd,
                  {{QStringLiteral("[S]"),
                    {{"a", kNoValue, false}, {"b", kNoValue, false}, {"c", kNoValue, false}, {"d", kNoValue, false}}}}},
        ParseCase{"RepeatedHeaderContinuesIgnoringCase",
                  QStringLiteral("[String_List]\n1=one\n[Other]\nx\n[STRING_LIST]\n2=two\n"),
                  kIniTrimEnd,
                  {{QStringLiteral("[String_List]"), {{"1", "one"}, {"2", "two"}}},
                   {QStringLiteral("[Other]"), {{"x", kNoValue, false}}}}},
        ParseCase{"LinesBeforeFirstHeaderIgnored",
                  QStringLiteral("stray=1\nalso stray\n[S]\nk=v\n"),
                  kIniTrimEnd,
                  {{QStringLiteral("[S]"), {{"k", "v"}}}}},
        ParseCase{"TrimModeBothSplitsAtFirstEquals",
                  QStringLiteral("[ExclusionList]\n  \\Temp = text = more\t\n"),
                  kIniTrimBoth,
                  {{QStringLiteral("[ExclusionList]"), {{"\\Temp", "text = more"}}}}},
        ParseCase{"TrimModeEndKeepsLeadingBlanks",
                  QStringLiteral("[Help_Text1]\n      Title\t \n\tindented line\n"),
                  kIniTrimEnd,
                  {{QStringLiteral("[Help_Text1]"), {{"      Title", kNoValue, false}, {"\tindented line", kNoValue, false}}}}},
        ParseCase{"EmptyValueIsAValue",
                  QStringLiteral("[S]\n7=\n8=   \n"),
                  kIniTrimEnd,
                  {{QStringLiteral("[S]"), {{"7", ""}, {"8", ""}}}}},
        ParseCase{"ByteOrderMarkSkippedAndZeroEndsText",
                  QString(QChar(0xFEFF)) + QStringLiteral("[S]\nk=v\n") + QChar(u'\0') + QStringLiteral("[T]\nz\n"),
                  kIniTrimEnd,
                  {{QStringLiteral("[S]"), {{"k", "v"}}}}},
        ParseCase{"BracketWithoutCloseIsAnEntryAndEmptySectionKept",
                  QStringLiteral("[Empty]\n[S]\n[not a header\n  [indented]\n"),
                  kIniTrimEnd,
                  {{QStringLiteral("[Empty]"), {}},
                   {QStringLiteral("[S]"), {{"[not a header", kNoValue, false}, {"  [indented]", kNoValue, false}}}}},
        ParseCase{"EmptyText", QString(), kIniTrimBoth, {}}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(IniSectionTable, BuildAddsToTableAndResetEmptiesIt)
{
    IniSectionTable table;
    ResetSectionTable(table, kIniTrimBoth);
    BuildSectionTable(table, u"[A]\n1\n");
    BuildSectionTable(table, u"[a]\n2\n[B]\n3\n");
    ASSERT_EQ(table.sections().size(), 2);
    EXPECT_EQ(table.keys(u"[A]"), QStringList({"1", "2"}));
    EXPECT_EQ(table.indexOf(u"[b]"), 1);
    EXPECT_EQ(table.find(u"[C]"), nullptr);
    EXPECT_TRUE(table.keys(u"[C]").isEmpty());

    ResetSectionTable(table, kIniTrimEnd);
    EXPECT_TRUE(table.sections().isEmpty());
    EXPECT_EQ(table.sectionTrimMode(), kIniTrimEnd);
    EXPECT_EQ(table.lineTrimMode(), kIniTrimEnd);
}

TEST(IniSectionTable, StageOneAndTwoKeepWhatTheLaterStagesNeed)
{
    const IniLines lines(u"a\r\n\r\n  // c\n;d\nb // e\n");
    EXPECT_EQ(lines.lines(), QStringList({"a", "", "  // c", ";d", "b // e"}));
    EXPECT_EQ(IniFilteredLines(lines, kIniTrimEnd).lines(), QStringList({"a", "b"}));

    const IniLines indented(u"  ;x\n");
    EXPECT_EQ(IniFilteredLines(indented, kIniTrimEnd).lines(), QStringList({"  ;x"}));
    // In mode 1 the blanks go first, so the ";" then stands in the first column.
    EXPECT_TRUE(IniFilteredLines(indented, kIniTrimBoth).lines().isEmpty());
}

TEST(IniKeyNumber, ReadsKeysLikeAtoi)
{
    const std::pair<QString, int> cases[] = {
        {"5", 5},          {" 5", 5},   {"\t 12", 12},      {"5abc", 5},   {"abc", 0},
        {"", 0},           {"+7", 7},   {"-3", -3},         {"- 3", 0},    {"0362", 362},
        {"99999999999999", INT_MAX},    {"-99999999999999", INT_MIN},      {"１２", 0},
    };
    for (const auto& [key, number] : cases)
        EXPECT_EQ(IniKeyNumber(key), number) << key.toStdString();
}

} // namespace
