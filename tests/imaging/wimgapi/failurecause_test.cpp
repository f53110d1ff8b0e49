// SPDX-License-Identifier: GPL-3.0-or-later
// A failure says what went wrong: a folder that cannot be written, a full
// disk. The full disks are small tmpfs mounts in a private mount namespace
// (root only).
#include "wimtestsupport.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

using namespace wimtest;
namespace fs = std::filesystem;

namespace {

class FailureCauseTest : public SampleTreeTest {
protected:
    const char* wimName() const override { return "cause.wim"; }

    // A tmpfs of `size` at dir/name, or an empty path when none can be made.
    std::string smallDisk(const std::string& name, const char* options)
    {
        if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return {};
        const std::string path = dir + "/" + name;
        fs::create_directories(path);
        if (::mount("tmpfs", path.c_str(), "tmpfs", 0, options) != 0)
            return {};
        disks.push_back(path);
        return path;
    }

    void TearDown() override
    {
        for (const std::string& d : disks)
            ::umount2(d.c_str(), MNT_DETACH);
    }

    std::vector<std::string> disks;
};

TEST_F(FailureCauseTest, AFolderThatCannotBeWrittenSaysWhy)
{
    std::string folder = dir + "/locked";
    int expected = EACCES;
    if (::geteuid() == 0) {
        // Root passes permission checks; a read-only file system stops it.
        folder = smallDisk("readonly", "size=1m");
        if (folder.empty())
            GTEST_SKIP() << "as root, a read-only tmpfs is needed and could not be mounted";
        ASSERT_EQ(::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0) << strerror(errno);
        expected = EROFS;
    } else {
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    }
    errno = 0;
    EXPECT_FALSE(OpenWrite(folder + "/new.wim", WIM_CREATE_NEW));
    EXPECT_EQ(errno, expected) << strerror(errno);
    Handle file = OpenRead(wim);
    Handle image(WIMLoadImage(file.get(), 1));
    errno = 0;
    EXPECT_FALSE(WIMApplyImage(image.get(), U(folder + "/out").c_str(), 0));
    EXPECT_EQ(errno, expected) << strerror(errno);
}

TEST_F(FailureCauseTest, AFullDiskSaysSoAndKeepsTheFile)
{
    const std::string disk = smallDisk("full", "size=256k");
    if (disk.empty())
        GTEST_SKIP() << "a small tmpfs for the full disk needs root (a private mount namespace)";
    std::string noise;
    uint32_t x = 3;
    for (int i = 0; i < 400000; ++i) {
        x = x * 1103515245 + 12345;
        noise += static_cast<char>(x >> 24);
    }
    WriteFile(tree + "/noise.bin", noise);
    CaptureNew(dir + "/big.wim", {tree});

    // An apply that does not fit.
    Handle big = OpenRead(dir + "/big.wim");
    Handle image(WIMLoadImage(big.get(), 1));
    errno = 0;
    EXPECT_FALSE(WIMApplyImage(image.get(), U(disk + "/out").c_str(), 0));
    EXPECT_EQ(errno, ENOSPC) << strerror(errno);
    fs::remove_all(disk + "/out");

    // An append that does not fit: the write fails when the image's handle
    // closes, and the file keeps its images.
    const std::string target = disk + "/target.wim";
    fs::copy_file(wim, target);
    const std::string before = ReadFile(target);
    Handle file = OpenWrite(target, WIM_OPEN_EXISTING);
    Handle added(WIMCaptureImage(file.get(), U(tree).c_str(), 0));
    ASSERT_TRUE(added) << strerror(errno);
    errno = 0;
    EXPECT_FALSE(WIMCloseHandle(added.release()));
    EXPECT_EQ(errno, ENOSPC) << strerror(errno);
    EXPECT_EQ(WIMGetImageCount(file.get()), 2u);
    file.reset();
    EXPECT_TRUE(ReadFile(target) == before);
    EXPECT_TRUE(WimVerify(target));
}

} // namespace
