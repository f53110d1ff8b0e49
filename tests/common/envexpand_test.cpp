// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/envexpand.h"
#include "common/textutil.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct ExpandCase {
    const char* input;
    const char* expected;
};

class ExpandTest : public testing::TestWithParam<ExpandCase> {
protected:
    void SetUp() override
    {
        ::setenv("KESTREL_T_DIR", "/srv/images", 1);
        ::setenv("KESTREL_T_EMPTY", "", 1);
        ::unsetenv("KESTREL_T_UNSET");
    }
};

TEST_P(ExpandTest, ExpandsLikeTheWindowsRules)
{
    EXPECT_EQ(ExpandEnvironmentText(QString::fromUtf8(GetParam().input)).toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpandTest,
    testing::Values(ExpandCase{"%KESTREL_T_DIR%/MountPath", "/srv/images/MountPath"},
                    ExpandCase{"a%KESTREL_T_DIR%b%KESTREL_T_DIR%", "a/srv/imagesb/srv/images"},
                    // An undefined name stays as written, so the text survives another machine.
                    ExpandCase{"%KESTREL_T_UNSET%/x", "%KESTREL_T_UNSET%/x"},
                    ExpandCase{"%KESTREL_T_UNSET%KESTREL_T_DIR%", "%KESTREL_T_UNSET%KESTREL_T_DIR%"},
                    ExpandCase{"100%", "100%"},
                    ExpandCase{"%%", "%%"},
                    ExpandCase{"[%KESTREL_T_EMPTY%]", "[]"},
                    ExpandCase{"", ""}));

TEST(TextUtil, TrimsOnlyBlanksAndTabs)
{
    EXPECT_EQ(TrimBlanks(QStringLiteral(" \t a b \t")), QStringLiteral("a b"));
    EXPECT_EQ(TrimBlanks(QStringLiteral("\na\r")), QStringLiteral("\na\r"));
    EXPECT_EQ(TrimBlanksEnd(QStringLiteral("  a  ")), QStringLiteral("  a"));
}

TEST(TextUtil, BuffersKeepRoomForTheTerminator)
{
    const QString long600(600, u'x');
    EXPECT_EQ(CutToUnits(long600, kPathUnits).size(), 511);
    EXPECT_EQ(CutToUnits(QStringLiteral("abc"), kPathUnits), QStringLiteral("abc"));

    char16_t buf[4];
    CopyToUnits(buf, 4, QStringLiteral("abcdef"));
    EXPECT_EQ(FromUnits(buf, 4), QStringLiteral("abc"));
    EXPECT_EQ(buf[3], u'\0');
}

} // namespace
