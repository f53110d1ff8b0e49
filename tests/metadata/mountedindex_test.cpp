// SPDX-License-Identifier: GPL-3.0-or-later
// The mounted image of a file, read beside its settings, with a real FUSE mount.
#include "metadata/mountsettings.h"
#include "qtprint.h"
#include "realfile.h"
#include "support/fusesupport.h"

#include <QDir>
#include <QFileInfo>


namespace {


const char16_t* units(const QString& text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

// Unmounts at the end of the test whatever happened in it.
struct MountGuard {
    QString folder;
    bool mounted = false;
    ~MountGuard()
    {
        if (mounted && !ImagingApi.WIMUnmountImage(units(folder), nullptr, 0, FALSE))
            RunTool(QStringLiteral("fusermount"), {QStringLiteral("-u"), QStringLiteral("-z"), folder});
    }
};

using MountedIndexTest = RealFileTest;

TEST_F(MountedIndexTest, MountedImageOfTheFileIsReported)
{
    const QString problem = FuseProblem();
    if (!problem.isEmpty())
        GTEST_SKIP() << "FUSE mounts are not possible here: " << problem.toStdString();
    const QString path = file(QStringLiteral("mounted.wim"));
    const QString other = file(QStringLiteral("other.wim"));
    ASSERT_TRUE(MakeImageFile(path, 3));
    ASSERT_TRUE(MakeImageFile(other, 1));
    MOUNTSETTINGS s;
    s.MountRunCmd = QStringLiteral("cmd");
    ASSERT_TRUE(WriteMountSettings(path, s));

    MountGuard guard{file(QStringLiteral("mnt"))};
    ASSERT_TRUE(QDir().mkpath(guard.folder));
    guard.mounted = ImagingApi.WIMMountImage(units(guard.folder), units(path), 2, nullptr) != FALSE;
    ASSERT_TRUE(guard.mounted) << "WIMMountImage failed: errno " << errno;

    MOUNTSETTINGS read;
    EXPECT_EQ(ReadMountSettings(path, read), 1u);
    EXPECT_EQ(read.MountedIndex, 2u);
    EXPECT_EQ(read.MountRunCmd, QStringLiteral("cmd"));
    EXPECT_EQ(MountedImageIndex(other), 0u);
}

} // namespace
