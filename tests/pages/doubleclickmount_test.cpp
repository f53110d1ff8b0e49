// SPDX-License-Identifier: GPL-3.0-or-later
// The double-click mount of an image file that carries its own commands:
// the consent before a stored command runs, the run with real FUSE mounts
// (environment, commit on the automatic unmount, removal of the folder),
// the fall-backs to the main window and the safe removal of a mount folder.
// Every test unmounts what it mounted, also when it fails.
#include "app/doubleclickmount.h"

#include "common/settings.h"
#include "imaging/mountlist.h"
#include "metadata/mountsettings.h"
#include "pages/core/mountapproval.h"
#include "pages/core/mountoperations.h"
#include "pages/mountsettingspage.h"
#include "support/testenv.h"
#include "wimfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Answers the consent question with a fixed answer and counts the questions.
struct FakeDialogs : DoubleClickDialogs {
    MountConsent answer = MountConsent::Cancel;
    int asked = 0;
    QString shownCommand;
    QStringList failures;
    MountConsent askConsent(const QString&, const QString& mountCommand, const QString&) override
    {
        ++asked;
        shownCommand = mountCommand;
        return answer;
    }
    void showFailure(const QString& text) override { failures << text; }
};

QString ReadText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

class DoubleClickTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!PageTestSetupProblem().isEmpty())
            GTEST_SKIP() << PageTestSetupProblem().toStdString();
        m_dir = MakeTestDir(QStringLiteral("doubleclick"));
        MakeSourceTree(m_dir + QStringLiteral("/source"));
        m_wim = m_dir + QStringLiteral("/image.wim");
        ASSERT_TRUE(WriteImageFile(m_dir + QStringLiteral("/source"), m_wim, 2));
        m_log = m_dir + QStringLiteral("/log.txt");
        m_savedSettings = AppSettings();
        AppSettings().autoMountPath = m_dir + QStringLiteral("/auto");
        AppSettings().wimTempPath = m_dir + QStringLiteral("/temp");
        // A program in a folder with a blank, so that the command quotes it.
        const QString tools = m_dir + QStringLiteral("/my tools");
        QDir().mkpath(tools);
        m_script = tools + QStringLiteral("/record.sh");
        QFile script(m_script);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"
                     "printf '%s\\n%s\\n%s\\n%s\\n' \"$1\" \"$2\" \"$CurrDir\" \"$(pwd)\" > \"$3\"\n"
                     "echo added > \"$1/added.txt\"\n");
        script.close();
        QFile::setPermissions(m_script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_command = QStringLiteral("\"%1\" %MountDir% %WimFile% %2").arg(m_script, m_log);
        RegisterDoubleClickDialogs(&m_dialogs);
    }

    void TearDown() override
    {
        RegisterDoubleClickDialogs(nullptr);
        // Only the mounts this test made: every one is below its own folder.
        if (!m_dir.isEmpty()) {
            for (const MountEntry& m : GetMountedImages()) {
                if (!m.mountPath.startsWith(m_dir + u'/'))
                    continue;
                if (!UnmountImageAt(m, false).ok)
                    RunTool(QStringLiteral("fusermount"), {QStringLiteral("-u"), QStringLiteral("-z"), m.mountPath},
                            20000);
            }
            AppSettings() = m_savedSettings;
        }
    }

    void skipWithoutFuse()
    {
        const QString why = FuseProblem();
        if (!why.isEmpty())
            GTEST_SKIP() << "no FUSE mounts here: " << why.toStdString();
    }

    void store(const MOUNTSETTINGS& s) { ASSERT_TRUE(WriteMountSettings(m_wim, s, AppSettings().wimTempPath)); }

    int mountsBelowDir()
    {
        int n = 0;
        for (const MountEntry& m : GetMountedImages())
            n += m.mountPath.startsWith(m_dir + u'/');
        return n;
    }

    QString m_dir, m_wim, m_log, m_script, m_command;
    Settings m_savedSettings;
    FakeDialogs m_dialogs;
};

TEST_F(DoubleClickTest, RunsTheCommandAfterConsentCommitsAndRemovesTheFolder)
{
    skipWithoutFuse();
    MOUNTSETTINGS s;
    s.MountRunCmd = m_command;
    s.MountRW = s.AutoUnmount = s.Commit = s.ClearDir = 1;
    store(s);
    m_dialogs.answer = MountConsent::Run;
    EXPECT_EQ(RunDoubleClickMount(m_wim), 1);
    EXPECT_EQ(m_dialogs.asked, 1);
    EXPECT_EQ(m_dialogs.shownCommand, m_command) << "the question shows the command unexpanded";
    EXPECT_TRUE(m_dialogs.failures.isEmpty()) << m_dialogs.failures.join(u'\n').toStdString();

    const QStringList lines = ReadText(m_log).split(u'\n');
    ASSERT_GE(lines.size(), 4) << ReadText(m_log).toStdString();
    const QString folder = lines[0];
    EXPECT_TRUE(folder.startsWith(m_dir + QStringLiteral("/auto/Wim"))) << folder.toStdString();
    EXPECT_TRUE(folder.endsWith(QStringLiteral(".tmp"))) << folder.toStdString();
    EXPECT_EQ(lines[1], m_wim);
    EXPECT_EQ(lines[2], m_dir + QStringLiteral("/my tools")) << "CurrDir is the program's folder";
    EXPECT_EQ(lines[3], folder) << "the command runs in the mount folder";
    EXPECT_FALSE(QFileInfo::exists(folder)) << "the folder is removed after the unmount";
    EXPECT_EQ(mountsBelowDir(), 0);
    QString listing;
    ASSERT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("dir"), m_wim, QStringLiteral("1")}, 60000,
                      &listing),
              0);
    EXPECT_TRUE(listing.contains(QStringLiteral("/added.txt"))) << "the unmount committed: " << listing.toStdString();
    EXPECT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("verify"), m_wim}), 0);

    // The approved pair runs without a question, even where nobody could be asked.
    QFile::remove(m_log);
    RegisterDoubleClickDialogs(nullptr);
    EXPECT_EQ(RunDoubleClickMount(m_wim), 1);
    EXPECT_TRUE(QFileInfo::exists(m_log));
    EXPECT_EQ(mountsBelowDir(), 0);

    // A changed command is another pair: asked again, and cancelled here.
    RegisterDoubleClickDialogs(&m_dialogs);
    QFile::remove(m_log);
    s.UnmountRunCmd = QStringLiteral("/bin/true");
    store(s);
    m_dialogs.answer = MountConsent::Cancel;
    EXPECT_EQ(RunDoubleClickMount(m_wim), 1);
    EXPECT_EQ(m_dialogs.asked, 2);
    EXPECT_FALSE(QFileInfo::exists(m_log));
    EXPECT_EQ(mountsBelowDir(), 0);
}

TEST_F(DoubleClickTest, MountOnlyMountsAndRunsNothing)
{
    skipWithoutFuse();
    MOUNTSETTINGS s;
    s.MountRunCmd = m_command;
    s.MountPath = m_dir + QStringLiteral("/mnt");
    s.AutoUnmount = s.ClearDir = 1;
    store(s);
    m_dialogs.answer = MountConsent::MountOnly;
    EXPECT_EQ(RunDoubleClickMount(m_wim), 1);
    EXPECT_EQ(m_dialogs.asked, 1);
    EXPECT_TRUE(IsStillMounted(s.MountPath)) << "the image stays mounted for the user to look at";
    EXPECT_TRUE(QFileInfo::exists(s.MountPath + QStringLiteral("/a.txt")));
    EXPECT_FALSE(QFileInfo::exists(m_log));
    EXPECT_FALSE(IsMountCommandApproved(m_wim, s.MountRunCmd, s.UnmountRunCmd));
    // Nothing may delete a folder an image is mounted in.
    EXPECT_FALSE(RemoveMountFolder(s.MountPath));
    EXPECT_TRUE(QFileInfo::exists(s.MountPath + QStringLiteral("/a.txt")));
}

TEST_F(DoubleClickTest, CancelAndNoDisplayMountNothing)
{
    MOUNTSETTINGS s;
    s.MountRunCmd = m_command;
    s.MountPath = m_dir + QStringLiteral("/mnt");
    s.AutoUnmount = 1;
    store(s);
    m_dialogs.answer = MountConsent::Cancel;
    EXPECT_EQ(RunDoubleClickMount(m_wim), 1);
    EXPECT_EQ(m_dialogs.asked, 1);

    RegisterDoubleClickDialogs(nullptr);
    EXPECT_EQ(RunDoubleClickMount(m_wim), 1) << "no window opens on an unapproved command";
    EXPECT_EQ(m_dialogs.asked, 1);

    EXPECT_FALSE(QFileInfo::exists(m_log));
    EXPECT_FALSE(QFileInfo::exists(s.MountPath)) << "nothing is prepared before the consent";
    EXPECT_EQ(mountsBelowDir(), 0);
}

TEST_F(DoubleClickTest, FilesItCannotMountOpenTheMainWindow)
{
    // No command: the main window, without a question.
    EXPECT_EQ(RunDoubleClickMount(m_wim), 0);
    // Not an image file, even with the settings of one inside.
    MOUNTSETTINGS s;
    s.MountRunCmd = m_command;
    store(s);
    const QString renamed = m_dir + QStringLiteral("/not-an-image.wim");
    QFile in(m_wim);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    bytes[0] = 'X';
    QFile out(renamed);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    EXPECT_EQ(RunDoubleClickMount(renamed), 0);
    // No mount functions bound.
    auto saved = ImagingApi.WIMMountImage;
    ImagingApi.WIMMountImage = nullptr;
    EXPECT_EQ(RunDoubleClickMount(m_wim), 0);
    ImagingApi.WIMMountImage = saved;
    EXPECT_EQ(m_dialogs.asked, 0);
    EXPECT_FALSE(QFileInfo::exists(m_log));
}

TEST_F(DoubleClickTest, FolderRemovalNeverFollowsLinks)
{
    const QString outside = m_dir + QStringLiteral("/outside");
    QDir().mkpath(outside);
    QFile::copy(m_script, outside + QStringLiteral("/keep.sh"));
    const QString folder = m_dir + QStringLiteral("/Wim1.tmp");
    QDir().mkpath(folder + QStringLiteral("/sub"));
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(), QFile::encodeName(folder + "/sub/link").constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(outside + "/keep.sh").constData(),
                        QFile::encodeName(folder + "/file-link").constData()),
              0);
    EXPECT_TRUE(RemoveMountFolder(folder));
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_TRUE(QFileInfo::exists(outside + QStringLiteral("/keep.sh")));

    // A link to a folder is not a folder to remove.
    const QString link = m_dir + QStringLiteral("/link-to-outside");
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(), QFile::encodeName(link).constData()), 0);
    EXPECT_FALSE(RemoveMountFolder(link));
    EXPECT_TRUE(QFileInfo::exists(outside + QStringLiteral("/keep.sh")));
}

} // namespace

namespace {

TEST_F(DoubleClickTest, MountedFileIsShownOnThePageButNotEditable)
{
    skipWithoutFuse();
    MOUNTSETTINGS s;
    s.MountRunCmd = m_command;
    s.MountPath = m_dir + QStringLiteral("/mnt");
    store(s);
    m_dialogs.answer = MountConsent::MountOnly;
    ASSERT_EQ(RunDoubleClickMount(m_wim), 1);
    ASSERT_TRUE(IsStillMounted(s.MountPath));
    MountSettingsPage page;
    page.setImageFile(m_wim);
    EXPECT_FALSE(page.isEditable());
    EXPECT_EQ(page.storedSettings().MountedIndex, 1u);
    auto* command = page.findChild<QLineEdit*>(QStringLiteral("mountCommand"));
    EXPECT_EQ(command->text(), m_command);
    EXPECT_TRUE(command->isReadOnly());
    EXPECT_FALSE(page.findChild<QCheckBox*>(QStringLiteral("readWrite"))->isEnabled());
    EXPECT_FALSE(page.findChild<QPushButton*>(QStringLiteral("clearSettings"))->isEnabled());
    QTest::mouseClick(page.findChild<QCheckBox*>(QStringLiteral("autoUnmount")), Qt::LeftButton);
    EXPECT_FALSE(page.findChild<QPushButton*>(QStringLiteral("applySettings"))->isEnabled());
}

} // namespace
