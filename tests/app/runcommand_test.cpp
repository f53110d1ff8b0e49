// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mountdirectory.h"
#include "app/runcommand.h"
#include "support/testenv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes an executable shell script that records its working folder and
// arguments into `record`.
QString writeRecorder(const QString& path, const QString& record)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"[$a]\"; done; } > '%1'\n").arg(record).toUtf8());
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

class RunCommandTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_dir = MakeTestDir(QStringLiteral("runcommand"));
        m_oldCwd = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_dir));
    }
    void TearDown() override { QDir::setCurrent(m_oldCwd); }
    QString m_dir;
    QString m_oldCwd;
};

TEST_F(RunCommandTest, QuotedProgramWithParameters)
{
    const QString record = m_dir + QStringLiteral("/record.txt");
    const QString program = writeRecorder(m_dir + QStringLiteral("/my tools/run me.sh"), record);
    ASSERT_TRUE(RunCommandInDirectory(QStringLiteral("  \"%1\"  -a \"two words\"  ").arg(program), m_dir, true));
    EXPECT_EQ(readAll(record), m_dir + QStringLiteral("\n[-a]\n[two words]\n"));
    EXPECT_EQ(qEnvironmentVariable("CurrDir"), m_dir + QStringLiteral("/my tools"));
}

TEST_F(RunCommandTest, RelativeProgramRunsFromTheCurrentFolder)
{
    const QString record = m_dir + QStringLiteral("/record.txt");
    writeRecorder(m_dir + QStringLiteral("/Tools/setup.sh"), record);
    ASSERT_TRUE(RunCommandInDirectory(QStringLiteral("Tools/setup.sh %1").arg(QStringLiteral("x")),
                                      QStringLiteral("/mnt/image"), true));
    EXPECT_EQ(readAll(record), m_dir + QStringLiteral("\n[x]\n"));
    EXPECT_EQ(qEnvironmentVariable("CurrDir"), QStringLiteral("/mnt/image/Tools"));
}

TEST_F(RunCommandTest, CommandSeesVariablesSetBeforeIt)
{
    const QString record = m_dir + QStringLiteral("/record.txt");
    const QString program = writeRecorder(m_dir + QStringLiteral("/r.sh"), record);
    qputenv("MountDir", "/mnt/w");
    ASSERT_TRUE(RunCommandInDirectory(program + QStringLiteral(" %MountDir%/x"), m_dir, true));
    EXPECT_EQ(readAll(record), m_dir + QStringLiteral("\n[/mnt/w/x]\n"));
}

TEST_F(RunCommandTest, NothingToStart)
{
    EXPECT_FALSE(RunCommandInDirectory(QString(), m_dir, true));
    EXPECT_EQ(qEnvironmentVariable("CurrDir"), m_dir + u'/') << "a program without a folder gives the base and a slash";
    EXPECT_FALSE(RunCommandInDirectory(QStringLiteral("   "), m_dir, true));
    EXPECT_FALSE(RunCommandInDirectory(QStringLiteral("./no-such-program -x"), m_dir, true));
}

TEST_F(RunCommandTest, SplitsLikeTheDesign)
{
    struct Case {
        const char* command;
        const char* program;
        const char* parameters;
        const char* workDir;
    };
    const Case cases[] = {
        {"\"/opt/a b/x\" -y z", "/opt/a b/x", "-y z", "/opt/a b"},
        {"/usr/bin/env", "/usr/bin/env", "", "/usr/bin"},
        {"sub/dir/p q", "sub/dir/p", "q", "/base/sub/dir"},
        {"p", "p", "", "/base/"},
        {"\"unterminated", "unterminated", "", "/base/"},
    };
    for (const Case& c : cases) {
        const CommandParts parts = SplitCommand(QString::fromUtf8(c.command), QStringLiteral("/base"));
        EXPECT_EQ(parts.program.toStdString(), c.program) << c.command;
        EXPECT_EQ(parts.parameters.toStdString(), c.parameters) << c.command;
        EXPECT_EQ(parts.workingDirectory.toStdString(), c.workDir) << c.command;
    }
}

TEST(MountDirectory, MakesDistinctFreshFolders)
{
    const QString base = MakeTestDir(QStringLiteral("mountbase")) + QStringLiteral("/deeper/base");
    QString a, b;
    ASSERT_TRUE(CreateUniqueMountDirectory(base, a));
    ASSERT_TRUE(CreateUniqueMountDirectory(base, b));
    EXPECT_NE(a, b);
    const QRegularExpression pattern(QStringLiteral("^Wim[0-9A-F]{1,4}\\.tmp$"));
    for (const QString& p : {a, b}) {
        EXPECT_TRUE(QFileInfo(p).isDir()) << p.toStdString();
        EXPECT_TRUE(pattern.match(QFileInfo(p).fileName()).hasMatch()) << p.toStdString();
        EXPECT_TRUE(QDir(p).isEmpty());
    }
}

TEST(MountDirectory, GivesUpInAnUnwritableFolder)
{
    const QString base = MakeTestDir(QStringLiteral("readonly"));
    ASSERT_EQ(::chmod(QFile::encodeName(base).constData(), 0555), 0);
    if (::access(QFile::encodeName(base).constData(), W_OK) == 0) {
        // root writes anywhere; a file in the way of the base folder fails the same way.
        ::chmod(QFile::encodeName(base).constData(), 0755);
        QFile blocker(base + QStringLiteral("/file"));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QString out;
        EXPECT_FALSE(CreateUniqueMountDirectory(base + QStringLiteral("/file/sub"), out));
        return;
    }
    QString out;
    EXPECT_FALSE(CreateUniqueMountDirectory(base, out));
    ::chmod(QFile::encodeName(base).constData(), 0755);
}

} // namespace
