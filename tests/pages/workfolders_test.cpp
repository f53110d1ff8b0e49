// SPDX-License-Identifier: GPL-3.0-or-later
// Emptying the work folders: links are never followed, live mounts and the
// staging folders of read-write mounts stay, everything else goes.
#include "pages/core/mountoperations.h"
#include "pages/core/workfolders.h"

#include "support/fusesupport.h"
#include "support/testenv.h"
#include "wimfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

void WriteFile(const QString& path, const QByteArray& bytes = "x")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// A folder holding what a work folder collects: files, nested folders, a
// read-only folder, a hidden file, and links that lead outside.
struct WorkFolder {
    QString root, outside;
    explicit WorkFolder(const QString& name)
    {
        const QString base = MakeTestDir(name);
        root = base + QStringLiteral("/work");
        outside = base + QStringLiteral("/outside");
        WriteFile(outside + QStringLiteral("/keep.txt"), "precious");
        WriteFile(root + QStringLiteral("/a.txt"));
        WriteFile(root + QStringLiteral("/.hidden"));
        WriteFile(root + QStringLiteral("/deep/er/still/b.bin"), QByteArray(5000, 'b'));
        WriteFile(root + QStringLiteral("/locked/c.txt"));
        ::chmod(QFile::encodeName(root + QStringLiteral("/locked")).constData(), 0500);
        QFile::link(outside, root + QStringLiteral("/dirlink"));
        QFile::link(outside + QStringLiteral("/keep.txt"), root + QStringLiteral("/deep/filelink"));
        QFile::link(root + QStringLiteral("/missing"), root + QStringLiteral("/dangling"));
    }
};

TEST(WorkFolders, EmptiesTheFolderAndFollowsNoLink)
{
    WorkFolder w(QStringLiteral("clean-all"));
    const FolderCleanResult r = CleanFolderContents(w.root, FolderCleanRules());
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.failed, 0);
    EXPECT_TRUE(r.spared.isEmpty());
    EXPECT_TRUE(QFileInfo(w.root).isDir()) << "the folder itself stays";
    EXPECT_EQ(Entries(w.root), QStringList());
    // The links went as links; what they pointed to is untouched.
    EXPECT_EQ(Entries(w.outside), QStringList{QStringLiteral("keep.txt")});
    QFile kept(w.outside + QStringLiteral("/keep.txt"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("precious"));
}

TEST(WorkFolders, AFolderGivenThroughALinkIsEmptiedAtItsTarget)
{
    WorkFolder w(QStringLiteral("clean-via-link"));
    const QString link = QFileInfo(w.root).path() + QStringLiteral("/worklink");
    ASSERT_TRUE(QFile::link(w.root, link));
    EXPECT_TRUE(CleanFolderContents(link, FolderCleanRules()).started);
    EXPECT_EQ(Entries(w.root), QStringList());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

TEST(WorkFolders, SparedFoldersAndStagingPrefixesStay)
{
    WorkFolder w(QStringLiteral("clean-spared"));
    WriteFile(w.root + QStringLiteral("/mnt/one/inside.txt"));
    WriteFile(w.root + QStringLiteral("/image.wim.staging-abc/changed.dat"));
    WriteFile(w.root + QStringLiteral("/other.wim.staging-x/old.dat"));
    MountEntry rw;
    rw.imagePath = QStringLiteral("/somewhere/image.wim");
    rw.mountPath = w.root + QStringLiteral("/mnt/one/");
    rw.readWrite = true;
    FolderCleanRules rules = MountBaseCleanRules({rw});
    rules.sparedTopNamePrefixes = TempFolderCleanRules({rw}).sparedTopNamePrefixes;
    const FolderCleanResult r = CleanFolderContents(w.root, rules);
    EXPECT_EQ(r.failed, 0);
    // The spared folder and its parents stay; nothing else does.
    EXPECT_EQ(Entries(w.root), (QStringList{QStringLiteral("image.wim.staging-abc"), QStringLiteral("mnt")}));
    EXPECT_TRUE(QFileInfo::exists(w.root + QStringLiteral("/mnt/one/inside.txt")));
    EXPECT_TRUE(QFileInfo::exists(w.root + QStringLiteral("/image.wim.staging-abc/changed.dat")));
    EXPECT_EQ(r.spared.size(), 2);
}

TEST(WorkFolders, ReadOnlyMountsLeaveNoStagingPrefix)
{
    MountEntry ro;
    ro.imagePath = QStringLiteral("/x/a.wim");
    ro.mountPath = QStringLiteral("/x/m");
    EXPECT_TRUE(TempFolderCleanRules({ro}).sparedTopNamePrefixes.isEmpty());
}

TEST(WorkFolders, RefusesWhatIsNoAbsoluteFolder)
{
    const QString file = MakeTestDir(QStringLiteral("clean-refuse")) + QStringLiteral("/f.txt");
    WriteFile(file);
    for (const QString& path : {QString(), QStringLiteral("relative/folder"), file,
                                file + QStringLiteral(".missing")})
        EXPECT_FALSE(CleanFolderContents(path, FolderCleanRules()).started) << path.toStdString();
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_FALSE(CreateWorkFolder(QString()));
    EXPECT_FALSE(CreateWorkFolder(QStringLiteral("relative")));
    EXPECT_FALSE(CreateWorkFolder(file + QStringLiteral("/below-a-file")));
    EXPECT_TRUE(CreateWorkFolder(QFileInfo(file).path() + QStringLiteral("/new/deeper")));
}

// A real image mounted below the mount base: the clean leaves the mount and
// the image's files alone and removes everything else.
class WorkFoldersFuseTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!PageTestSetupProblem().isEmpty())
            GTEST_SKIP() << PageTestSetupProblem().toStdString();
        const QString why = FuseProblem();
        if (!why.isEmpty())
            GTEST_SKIP() << "no FUSE mounts here: " << why.toStdString();
    }
    void TearDown() override
    {
        if (!m_mount.isEmpty() && IsMountPoint(m_mount)) {
            MountEntry e;
            e.mountPath = m_mount;
            e.imagePath = m_wim;
            e.imageIndex = 1;
            UnmountImageAt(e, false, 3);
            if (IsMountPoint(m_mount))
                RunTool(QStringLiteral("fusermount"), {QStringLiteral("-u"), QStringLiteral("-z"), m_mount}, 20000);
        }
    }
    QString m_mount, m_wim;
};

TEST_F(WorkFoldersFuseTest, CleaningTheMountBaseSparesALiveMount)
{
    WorkFolder w(QStringLiteral("clean-fuse"));
    const QString source = QFileInfo(w.root).path() + QStringLiteral("/source");
    MakeSourceTree(source);
    m_wim = QFileInfo(w.root).path() + QStringLiteral("/image.wim");
    ASSERT_TRUE(WriteImageFile(source, m_wim, 2));
    m_mount = w.root + QStringLiteral("/sub/mounted");
    QDir().mkpath(m_mount);
    ASSERT_TRUE(MountImageInto(m_mount, m_wim, 1, false, QString()).ok);
    ASSERT_TRUE(IsMountPoint(m_mount));
    const QStringList inImage = ListTree(m_mount);
    ASSERT_FALSE(inImage.isEmpty());

    const FolderCleanResult r = CleanFolderContents(w.root, MountBaseCleanRules(GetMountedImages()));
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(IsMountPoint(m_mount));
    EXPECT_EQ(ListTree(m_mount), inImage);
    EXPECT_EQ(Entries(w.root), QStringList{QStringLiteral("sub")});
    EXPECT_EQ(Entries(w.root + QStringLiteral("/sub")), QStringList{QStringLiteral("mounted")});
    EXPECT_EQ(Entries(w.outside), QStringList{QStringLiteral("keep.txt")});
    EXPECT_TRUE(r.spared.contains(m_mount)) << r.spared.join(u' ').toStdString();

    // Without the mount list the file-system boundary still protects it.
    const FolderCleanResult blind = CleanFolderContents(w.root, FolderCleanRules());
    EXPECT_TRUE(IsMountPoint(m_mount));
    EXPECT_EQ(ListTree(m_mount), inImage);
    EXPECT_TRUE(blind.spared.contains(m_mount));
}

} // namespace
