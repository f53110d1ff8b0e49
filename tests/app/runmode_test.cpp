// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandline.h"
#include "app/switches.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct ModeCase {
    const char* name;
    QStringList args;
    bool existingFile;
    bool mountCommand;
    RunMode expected;
};

void PrintTo(const ModeCase& c, std::ostream* os)
{
    *os << c.name;
}

class RunModeTest : public testing::TestWithParam<ModeCase> {};

TEST_P(RunModeTest, Decides)
{
    const ModeCase& c = GetParam();
    const RunMode got = DecideRunMode(c.args, c.existingFile, c.mountCommand);
    EXPECT_EQ(got.mode, c.expected.mode);
    EXPECT_EQ(got.subCode, c.expected.subCode);
}

const QString prog = QStringLiteral("/opt/k/x64/Kestrel");
const QString file = QStringLiteral("/data/a.wim");

INSTANTIATE_TEST_SUITE_P(
    Table, RunModeTest,
    testing::Values(
        ModeCase{"no arguments", {prog}, false, false, {0, 0}},
        ModeCase{"switch in lower case", {prog, "/mount", file}, false, false, {1, kSwitchMount}},
        ModeCase{"switch in upper case", {prog, "/APPENPATH"}, false, false, {1, kSwitchAppenPath}},
        ModeCase{"switch in mixed case", {prog, "/cOmPpAtH"}, false, false, {1, kSwitchCompPath}},
        ModeCase{"page switch opens the window", {prog, "/PAGE", "x,3"}, false, false, {0, 14}},
        ModeCase{"resource packer", {prog, "lzma", "/EnCode", "a", "b"}, false, false, {3, 0}},
        ModeCase{"open file without mount command", {prog, file, "/OpenFile"}, true, false, {4, 14}},
        ModeCase{"open file in other case", {prog, file, "/openfile"}, true, false, {4, 14}},
        ModeCase{"open file with mount command", {prog, file, "/OpenFile"}, true, true, {2, 0}},
        ModeCase{"open file with four arguments", {prog, file, "/OpenFile", "x"}, true, true, {0, 0}},
        ModeCase{"open file that does not exist", {prog, file, "/OpenFile"}, false, true, {0, 0}},
        ModeCase{"compression word is no switch", {prog, "Lzms"}, false, false, {0, 0}},
        ModeCase{"None is no switch", {prog, "None"}, false, false, {0, 0}},
        ModeCase{"switch with a suffix", {prog, "/Mounted"}, false, false, {0, 0}},
        ModeCase{"plain file argument", {prog, file}, true, false, {0, 0}}));

TEST(SwitchTable, HasTwentyNamesAndFindsEach)
{
    ASSERT_EQ(kSwitchNames.size(), 20u);
    for (int i = 0; i < kSwitchCount; ++i) {
        const QString name = QString::fromUtf16(kSwitchNames[i]);
        EXPECT_LE(name.size(), 15);
        EXPECT_EQ(LookupSwitch(name.toUpper()), i);
    }
    EXPECT_EQ(LookupSwitch(QStringLiteral("Mount")), -1);
    EXPECT_EQ(LookupSwitch(QString()), -1);
}

TEST(CommandLine, ExpandsEachArgumentAndQuotesBlanksInTheTail)
{
    ::setenv("KESTREL_T_IMG", "/srv/my images", 1);
    const char* argv[] = {"/opt/k/x64/Kestrel", "/Apply", "%KESTREL_T_IMG%/a.wim,2", "/tmp/out", "%NOT_SET_HERE%"};
    const CommandLine line = MakeCommandLine(5, argv);
    ASSERT_EQ(line.count(), 5);
    EXPECT_EQ(line.arg(2), QStringLiteral("/srv/my images/a.wim,2"));
    EXPECT_EQ(line.arg(4), QStringLiteral("%NOT_SET_HERE%"));
    EXPECT_EQ(line.arg(9), QString());
    EXPECT_EQ(line.tail, QStringLiteral("/Apply \"/srv/my images/a.wim,2\" /tmp/out %NOT_SET_HERE%"));
}

TEST(CommandLine, TailIsEmptyWithoutArguments)
{
    const char* argv[] = {"Kestrel"};
    EXPECT_TRUE(MakeCommandLine(1, argv).tail.isEmpty());
}

TEST(CommandLine, ApplicationDirectoryIsPublishedAsAppPath)
{
    SetApplicationDirectory(QStringLiteral("/opt/kestrel/x64"));
    EXPECT_EQ(qEnvironmentVariable("AppPath"), QStringLiteral("/opt/kestrel/x64"));
    SetApplicationDirectory(QString());
    EXPECT_FALSE(qEnvironmentVariableIsSet("AppPath")) << "an empty directory removes the variable";
}

} // namespace
