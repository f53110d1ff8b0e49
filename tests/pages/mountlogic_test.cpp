// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/mountlogic.h"

#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

void Touch(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

struct ButtonCase {
    const char* name;
    const char* file;   // "wim", "missing", "dir"
    const char* folder; // "empty", "full", "subdir", "mounted", "missing"
    uint16_t totalParts;
    uint32_t compression;
    bool canMount;
    bool mount, unmount, apply;
};

class ButtonRules : public testing::TestWithParam<ButtonCase> {};

TEST_P(ButtonRules, EnableExactlyAsRuled)
{
    const ButtonCase& c = GetParam();
    const QString root = MakeTestDir(QStringLiteral("buttons"));
    const QString wim = root + QStringLiteral("/x.wim");
    Touch(wim);
    QDir().mkpath(root + QStringLiteral("/empty"));
    QDir().mkpath(root + QStringLiteral("/full"));
    Touch(root + QStringLiteral("/full/.hidden"));
    QDir().mkpath(root + QStringLiteral("/subdir/inner"));
    QDir().mkpath(root + QStringLiteral("/mounted"));

    MountPageInputs in;
    const QString file = QString::fromLatin1(c.file);
    in.imageFile = file == u"wim" ? wim : file == u"dir" ? root : root + QStringLiteral("/none.wim");
    in.folder = root + u'/' + QString::fromLatin1(c.folder);
    in.totalParts = c.totalParts;
    in.compressionType = c.compression;
    in.canMount = c.canMount;
    // The mount list names the folder with a trailing separator, as another
    // tool may report it; it is still the same folder.
    const std::vector<MountEntry> mounts{{wim, root + QStringLiteral("/mounted/"), 1, false}};

    const MountPageButtons b = DecideMountPageButtons(in, mounts);
    EXPECT_EQ(b.mount, c.mount);
    EXPECT_EQ(b.unmount, c.unmount);
    EXPECT_EQ(b.apply, c.apply);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ButtonRules,
    testing::Values(ButtonCase{"PlainFileEmptyFolder", "wim", "empty", 1, 2, true, true, false, true},
                    ButtonCase{"SplitPart", "wim", "empty", 3, 2, true, false, false, true},
                    ButtonCase{"LzmsFile", "wim", "empty", 1, 3, true, false, false, true},
                    ButtonCase{"HiddenFileInFolder", "wim", "full", 1, 1, true, false, false, true},
                    ButtonCase{"EmptySubfolderInFolder", "wim", "subdir", 1, 0, true, false, false, true},
                    ButtonCase{"AlreadyMountFolder", "wim", "mounted", 1, 2, true, false, true, true},
                    ButtonCase{"MissingFile", "missing", "empty", 0, 0, true, false, false, false},
                    ButtonCase{"FileBoxNamesFolder", "dir", "empty", 0, 0, true, false, false, false},
                    ButtonCase{"MissingFolder", "wim", "missing", 1, 2, true, false, false, false},
                    ButtonCase{"NoMountFunctions", "wim", "empty", 1, 2, false, false, false, true}),
    [](const testing::TestParamInfo<ButtonCase>& info) { return std::string(info.param.name); });

TEST(ImageNumber, WrapsAroundBothEnds)
{
    struct {
        const char* text;
        uint32_t count;
        uint32_t expected;
    } const cases[] = {
        {"", 3, 3}, {"0", 3, 3}, {"x", 3, 3}, {"-1", 3, 3}, {"4", 3, 1}, {"99999999999", 3, 1},
        {"1", 3, 1}, {"2", 3, 2},  {"3", 3, 3},  {" 2", 3, 2}, {"5", 0, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WrapImageNumber(QString::fromLatin1(c.text), c.count), c.expected) << c.text << " of " << c.count;
}

TEST(DirectoryEntries, OnlyDotEntriesCountAsEmpty)
{
    const QString root = MakeTestDir(QStringLiteral("entries"));
    EXPECT_FALSE(DirectoryHasEntries(root));
    EXPECT_FALSE(DirectoryHasEntries(root + QStringLiteral("/missing")));
    QDir().mkpath(root + QStringLiteral("/inner"));
    EXPECT_TRUE(DirectoryHasEntries(root));
    EXPECT_FALSE(DirectoryHasEntries(root + QStringLiteral("/inner")));
}

} // namespace
