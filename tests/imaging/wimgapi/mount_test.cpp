// SPDX-License-Identifier: GPL-3.0-or-later
// Real FUSE mounts through the mount service. Every test runs under a
// watchdog and unmounts what it mounted, so that a failure never leaves a
// mount behind or hangs the run. As root the tests use a private mount
// namespace, so mounts of other programs on the machine are never touched.
#include "wimtestsupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace wimtest;
namespace fs = std::filesystem;

namespace {

constexpr int kWatchdogSeconds = 90;
constexpr int kMaxWatched = 16;
char g_watched[kMaxWatched][512];
int g_watchedCount = 0;

// Last resort when a test hangs: detach its mounts and end the process.
void onWatchdog(int)
{
    for (int i = 0; i < g_watchedCount; ++i)
        ::umount2(g_watched[i], MNT_DETACH);
    static const char msg[] = "mount test watchdog fired\n";
    (void)!::write(2, msg, sizeof(msg) - 1);
    ::_exit(3);
}

std::vector<std::string> wimfsMounts()
{
    std::vector<std::string> out;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.find(" - fuse.wimfs ") == std::string::npos)
            continue;
        std::istringstream s(line);
        std::string a, b, c, d, point;
        s >> a >> b >> c >> d >> point;
        out.push_back(point);
    }
    return out;
}

bool isMounted(const std::string& dir)
{
    const auto all = wimfsMounts();
    return std::find(all.begin(), all.end(), dir) != all.end();
}

// Whether this process could make a private mount namespace (root only).
bool isolate()
{
    static int state = -1;
    if (state >= 0)
        return state == 1;
    state = 0;
    if (::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0) {
        state = 1;
        // Copies of mounts that existed before are detached here only.
        for (const std::string& point : wimfsMounts())
            ::umount2(point.c_str(), MNT_DETACH);
    }
    return state == 1;
}

std::string fuseProblem()
{
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return std::string("/dev/fuse cannot be opened: ") + std::strerror(errno);
    ::close(fd);
    if (::access("/bin/fusermount", X_OK) != 0 && ::access("/usr/bin/fusermount", X_OK) != 0)
        return "fusermount is not installed";
    if (!fs::exists(std::string(KESTREL_OUT_DIR) + "/kestrel-wimserv"))
        return "kestrel-wimserv is not built";
    return {};
}

// The daemon serving a mount folder (the service's process after wimlib
// daemonised it).
pid_t servicePid(const std::string& mountDir)
{
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string cmd = ReadFile(entry.path().string() + "/cmdline");
        if (cmd.find("kestrel-wimserv") != std::string::npos && cmd.find(mountDir) != std::string::npos)
            return static_cast<pid_t>(std::stoi(name));
    }
    return -1;
}

std::vector<WIM_MOUNT_LIST> mountList()
{
    DWORD bytes = 0;
    EXPECT_TRUE(WIMGetMountedImages(nullptr, &bytes));
    std::vector<WIM_MOUNT_LIST> list(bytes / sizeof(WIM_MOUNT_LIST));
    if (!list.empty()) {
        EXPECT_TRUE(WIMGetMountedImages(list.data(), &bytes));
    }
    return list;
}

class MountTest : public SampleTreeTest {
protected:
    const char* wimName() const override { return "m.wim"; }
    void SetUp() override
    {
        const std::string problem = fuseProblem();
        if (!problem.empty())
            GTEST_SKIP() << "FUSE mounts are not possible here: " << problem;
        isolated = isolate();
        ::signal(SIGALRM, &onWatchdog);
        ::alarm(kWatchdogSeconds);
        SampleTreeTest::SetUp();
        temp = dir + "/temp";
        fs::create_directories(temp);
    }

    void TearDown() override
    {
        for (const std::string& m : mounts) {
            if (isMounted(m))
                WIMUnmountImage(U(m).c_str(), nullptr, 0, FALSE);
            if (isMounted(m) && ::umount2(m.c_str(), MNT_DETACH) != 0)
                RunCommand("fusermount -u -z " + Quote(m));
        }
        ::alarm(0);
        g_watchedCount = 0;
    }

    std::string mountDir(const std::string& name)
    {
        const std::string m = dir + "/" + name;
        fs::create_directories(m);
        mounts.push_back(m);
        if (g_watchedCount < kMaxWatched)
            std::snprintf(g_watched[g_watchedCount++], sizeof(g_watched[0]), "%s", m.c_str());
        return m;
    }

    bool isolated = false;
    std::string temp;
    std::vector<std::string> mounts;
};

TEST_F(MountTest, ReadOnlyMountIsListedAndReadable)
{
    const std::string m = mountDir("ro");
    // An inheritable pipe: the daemon left behind must not hold it open.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    ASSERT_TRUE(WIMMountImage(U(m).c_str(), U(wim).c_str(), 1, nullptr)) << strerror(errno);
    ::close(pipeFds[1]);
    pollfd reader{pipeFds[0], POLLIN, 0};
    EXPECT_EQ(::poll(&reader, 1, 2000), 1) << "the mount service kept the caller's pipe open";
    ::close(pipeFds[0]);
    EXPECT_TRUE(isMounted(m));
    EXPECT_EQ(ReadFile(m + "/a.txt"), "alpha\n");
    EXPECT_EQ(ReadFile(m + "/中文目录/文件.txt"), "非 ASCII 内容\n");
    EXPECT_FALSE(std::ofstream(m + "/new.txt").good());

    const auto list = mountList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(S(list[0].WimPath), wim);
    EXPECT_EQ(S(list[0].MountPath), m);
    EXPECT_EQ(list[0].ImageIndex, 1u);
    EXPECT_FALSE(list[0].MountedForRW);
    const auto info = MountInfo();
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].MountFlags, static_cast<DWORD>(WIM_MOUNT_FLAG_MOUNTED));
    // A buffer too small says so and tells the size.
    DWORD bytes = 10;
    WIM_MOUNT_LIST one;
    errno = 0;
    EXPECT_FALSE(WIMGetMountedImages(&one, &bytes));
    EXPECT_EQ(errno, ENOBUFS);
    EXPECT_EQ(bytes, sizeof(WIM_MOUNT_LIST));

    // Refusals: a folder in use, a folder not empty, a bad image number.
    errno = 0;
    EXPECT_FALSE(WIMMountImage(U(m).c_str(), U(wim).c_str(), 2, nullptr));
    EXPECT_EQ(errno, EBUSY);
    const std::string full = mountDir("full");
    WriteFile(full + "/x", "x");
    errno = 0;
    EXPECT_FALSE(WIMMountImage(U(full).c_str(), U(wim).c_str(), 1, nullptr));
    EXPECT_EQ(errno, ENOTEMPTY);
    const std::string bad = mountDir("bad");
    errno = 0;
    EXPECT_FALSE(WIMMountImage(U(bad).c_str(), U(wim).c_str(), 9, nullptr));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(isMounted(bad));

    ASSERT_TRUE(WIMUnmountImage(U(m).c_str(), nullptr, 0, FALSE)) << strerror(errno);
    EXPECT_FALSE(isMounted(m));
    EXPECT_TRUE(mountList().empty());
    EXPECT_TRUE(MountInfo().empty());
}

TEST_F(MountTest, ReadWriteMountCommitsOnlyWhenAsked)
{
    const std::string m = mountDir("rw");
    const std::string before = ReadFile(wim);
    ASSERT_TRUE(WIMMountImage(U(m).c_str(), U(wim).c_str(), 1, U(temp).c_str())) << strerror(errno);
    ASSERT_EQ(mountList().size(), 1u);
    EXPECT_TRUE(mountList()[0].MountedForRW);
    EXPECT_EQ(MountInfo()[0].MountFlags, static_cast<DWORD>(WIM_MOUNT_FLAG_MOUNTED | WIM_MOUNT_FLAG_READWRITE));
    WriteFile(m + "/discarded.txt", "never kept");
    ASSERT_TRUE(WIMUnmountImage(U(m).c_str(), U(wim).c_str(), 1, FALSE)) << strerror(errno);
    EXPECT_EQ(ReadFile(wim), before);

    ASSERT_TRUE(WIMMountImage(U(m).c_str(), U(wim).c_str(), 1, U(temp).c_str())) << strerror(errno);
    WriteFile(m + "/kept.txt", "committed");
    fs::remove(m + "/skip.tmp");
    // Found by image file and number as well as by folder.
    ASSERT_TRUE(WIMUnmountImage(nullptr, U(wim).c_str(), 1, TRUE)) << strerror(errno);
    EXPECT_FALSE(isMounted(m));
    EXPECT_TRUE(WimVerify(wim));

    Handle file = OpenRead(wim);
    Handle image(WIMLoadImage(file.get(), 1));
    const std::string out = dir + "/out";
    ASSERT_TRUE(WIMApplyImage(image.get(), U(out).c_str(), 0));
    EXPECT_EQ(ReadFile(out + "/kept.txt"), "committed");
    EXPECT_FALSE(fs::exists(out + "/skip.tmp"));
    EXPECT_FALSE(fs::exists(out + "/discarded.txt"));
    EXPECT_EQ(WIMGetImageCount(file.get()), 2u);
}

TEST_F(MountTest, NewImageFilesCanBeWrittenWhereRenamesCannotRefuseToReplace)
{
    // A mounted image is a file system without atomic no-replace renames
    // (as are network shares): a new file must still take its place.
    const std::string m = mountDir("share");
    ASSERT_TRUE(WIMMountImage(U(m).c_str(), U(wim).c_str(), 1, U(temp).c_str())) << strerror(errno);
    const std::string inside = m + "/new.wim";
    {
        Handle file = OpenWrite(inside, WIM_CREATE_NEW);
        ASSERT_TRUE(file) << strerror(errno);
        Handle image(WIMCaptureImage(file.get(), U(tree).c_str(), 0));
        EXPECT_TRUE(image) << strerror(errno);
    }
    EXPECT_TRUE(WimVerify(inside));
    EXPECT_NE(RunOutput("wimlib-imagex info " + Quote(inside)).find("Image Count:    1"), std::string::npos);
    // Replacing it there, where modes cannot be set, works as well.
    {
        Handle file = OpenWrite(inside, WIM_CREATE_ALWAYS);
        EXPECT_TRUE(file) << strerror(errno);
    }
    EXPECT_NE(RunOutput("wimlib-imagex info " + Quote(inside)).find("Image Count:    0"), std::string::npos);
    ASSERT_TRUE(WIMUnmountImage(U(m).c_str(), U(wim).c_str(), 1, FALSE)) << strerror(errno);
}

TEST_F(MountTest, FileMountedReadWriteRefusesOtherChanges)
{
    // The mount's commit writes from the view it had when mounted; a change
    // made to the file meanwhile would be overwritten by it and corrupt it.
    const std::string m = mountDir("busy");
    ASSERT_TRUE(WIMMountImage(U(m).c_str(), U(wim).c_str(), 1, U(temp).c_str())) << strerror(errno);
    {
        Handle file = OpenWrite(wim, WIM_OPEN_EXISTING);
        ASSERT_TRUE(file);
        errno = 0;
        EXPECT_FALSE(WIMDeleteImage(file.get(), 2));
        EXPECT_EQ(errno, EBUSY);
        errno = 0;
        EXPECT_EQ(WIMCaptureImage(file.get(), U(tree + "/sub").c_str(), 0), nullptr);
        EXPECT_EQ(errno, EBUSY);
        errno = 0;
        EXPECT_FALSE(WIMSetBootImage(file.get(), 2));
        EXPECT_EQ(errno, EBUSY);
    }
    WriteFile(m + "/kept.txt", "committed");
    ASSERT_TRUE(WIMUnmountImage(U(m).c_str(), nullptr, 0, TRUE)) << strerror(errno);
    EXPECT_TRUE(WimVerify(wim));
    Handle file = OpenWrite(wim, WIM_OPEN_EXISTING);
    EXPECT_EQ(WIMGetImageCount(file.get()), 2u);
    // Once unmounted the file takes changes again.
    EXPECT_TRUE(WIMDeleteImage(file.get(), 2)) << strerror(errno);
    file.reset();
    EXPECT_TRUE(WimVerify(wim));
}

TEST_F(MountTest, MountsOfOtherToolsAreListed)
{
    const std::string m = mountDir("foreign");
    ASSERT_EQ(RunCommand("timeout 60 wimlib-imagex mount " + Quote(wim) + " 2 " + Quote(m)), 0);
    const auto list = mountList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(S(list[0].WimPath), wim);
    EXPECT_EQ(S(list[0].MountPath), m);
    EXPECT_EQ(list[0].ImageIndex, 2u);
    EXPECT_FALSE(list[0].MountedForRW);
    EXPECT_EQ(MountInfo()[0].MountFlags, static_cast<DWORD>(WIM_MOUNT_FLAG_MOUNTED));
    ASSERT_TRUE(WIMUnmountImage(U(m).c_str(), nullptr, 0, FALSE)) << strerror(errno);
    EXPECT_FALSE(isMounted(m));
}

TEST_F(MountTest, KilledServiceLeavesARemountableMount)
{
    const std::string m = mountDir("killed");
    ASSERT_TRUE(WIMMountImage(U(m).c_str(), U(wim).c_str(), 2, nullptr)) << strerror(errno);
    const pid_t pid = servicePid(m);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    for (int i = 0; i < 500 && fs::exists("/proc/" + std::to_string(pid)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    auto info = MountInfo();
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(S(info[0].MountPath), m);
    EXPECT_EQ(S(info[0].WimPath), wim);
    EXPECT_EQ(info[0].ImageIndex, 2u);
    EXPECT_EQ(info[0].MountFlags & (WIM_MOUNT_FLAG_MOUNTED | WIM_MOUNT_FLAG_REMOUNTABLE),
              static_cast<DWORD>(WIM_MOUNT_FLAG_REMOUNTABLE));
    // Cleaning up invalid mounts keeps the remountable one.
    EXPECT_TRUE(WIMDeleteImageMounts(0));
    ASSERT_EQ(MountInfo().size(), 1u);

    ASSERT_TRUE(WIMRemountImage(U(m).c_str(), 0)) << strerror(errno);
    info = MountInfo();
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].MountFlags, static_cast<DWORD>(WIM_MOUNT_FLAG_MOUNTED));
    EXPECT_EQ(ReadFile(m + "/b.bin").size(), 70004u);
    ASSERT_TRUE(WIMUnmountImage(U(m).c_str(), nullptr, 0, FALSE));
    EXPECT_TRUE(MountInfo().empty());
}

TEST_F(MountTest, StoppedServiceDoesNotHangTheList)
{
    const std::string m = mountDir("stopped");
    ASSERT_TRUE(WIMMountImage(U(m).c_str(), U(wim).c_str(), 1, nullptr)) << strerror(errno);
    const pid_t pid = servicePid(m);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    const auto info = MountInfo(); // returns although the mount cannot answer
    ::kill(pid, SIGCONT);
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].MountFlags & WIM_MOUNT_FLAG_MOUNTED, 0u);
    // Once the service runs again (and its pending query came back) it is listed as mounted.
    DWORD flags = 0;
    for (int i = 0; i < 500 && flags != WIM_MOUNT_FLAG_MOUNTED; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        flags = MountInfo()[0].MountFlags;
    }
    EXPECT_EQ(flags, static_cast<DWORD>(WIM_MOUNT_FLAG_MOUNTED));
    EXPECT_TRUE(WIMUnmountImage(U(m).c_str(), nullptr, 0, FALSE)) << strerror(errno);
}

TEST_F(MountTest, DeleteAllMountsLeavesNothing)
{
    if (!isolated)
        GTEST_SKIP() << "needs a private mount namespace (root), so that no other program's mount is touched";
    const std::string ro = mountDir("all-ro");
    const std::string rw = mountDir("all-rw");
    const std::string foreign = mountDir("all-foreign");
    const std::string dead = mountDir("all-dead");
    const std::string before = ReadFile(wim);
    ASSERT_TRUE(WIMMountImage(U(ro).c_str(), U(wim).c_str(), 1, nullptr));
    ASSERT_TRUE(WIMMountImage(U(rw).c_str(), U(wim).c_str(), 2, U(temp).c_str()));
    ASSERT_EQ(RunCommand("timeout 60 wimlib-imagex mount " + Quote(wim) + " 1 " + Quote(foreign)), 0);
    ASSERT_TRUE(WIMMountImage(U(dead).c_str(), U(wim).c_str(), 1, nullptr));
    WriteFile(rw + "/change.txt", "discarded");
    ::kill(servicePid(dead), SIGKILL);
    EXPECT_EQ(MountInfo().size(), 4u);

    ASSERT_TRUE(WIMDeleteImageMounts(WIM_DELETE_MOUNTS_ALL)) << strerror(errno);
    EXPECT_TRUE(wimfsMounts().empty());
    EXPECT_TRUE(MountInfo().empty());
    EXPECT_EQ(ReadFile(wim), before);
}

} // namespace

namespace {

std::string incompressible(size_t size, uint32_t seed)
{
    std::string data;
    data.reserve(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245 + 12345;
        data += static_cast<char>(seed >> 24);
    }
    return data;
}

std::vector<std::string> stagingIn(const std::string& parent)
{
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(parent))
        if (e.path().filename().string().find(".staging") != std::string::npos)
            out.push_back(e.path());
    return out;
}

// The service removes its staging folder just after the unmount returns.
bool stagingGone(const std::string& parent)
{
    for (int i = 0; i < 500 && !stagingIn(parent).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return stagingIn(parent).empty();
}

} // namespace

TEST_F(MountTest, CommitThatCannotBeWrittenKeepsTheMountAndItsChanges)
{
    if (!isolated)
        GTEST_SKIP() << "a small tmpfs for the full disk needs root (a private mount namespace)";
    const std::string small = dir + "/small";
    fs::create_directories(small);
    ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m"), 0) << strerror(errno);
    struct Detach {
        std::string path;
        ~Detach() { ::umount2(path.c_str(), MNT_DETACH); }
    } detachSmall{small};
    const std::string target = small + "/full.wim";
    fs::copy_file(wim, target);
    const std::string before = ReadFile(target);
    // A filler leaves too little room for the commit; removing it makes room.
    WriteFile(small + "/filler", std::string(fs::space(small).available - 64 * 1024, 'f'));

    const std::string m = mountDir("fullrw");
    ASSERT_TRUE(WIMMountImage(U(m).c_str(), U(target).c_str(), 1, U(temp).c_str())) << strerror(errno);
    const std::string data = incompressible(400000, 7);
    WriteFile(m + "/big.bin", data);
    errno = 0;
    EXPECT_FALSE(WIMUnmountImage(U(m).c_str(), nullptr, 0, TRUE));
    EXPECT_EQ(errno, ENOSPC) << strerror(errno);
    EXPECT_TRUE(isMounted(m));
    EXPECT_TRUE(ReadFile(m + "/big.bin") == data) << "the change made in the mount was lost";
    EXPECT_TRUE(ReadFile(target) == before);

    fs::remove(small + "/filler");
    ASSERT_TRUE(WIMUnmountImage(U(m).c_str(), nullptr, 0, TRUE)) << strerror(errno);
    EXPECT_FALSE(isMounted(m));
    EXPECT_TRUE(WimVerify(target));
    EXPECT_TRUE(stagingGone(temp));
    const std::string out = dir + "/committed";
    ASSERT_EQ(RunCommand("wimlib-imagex apply " + Quote(target) + " 1 " + Quote(out)), 0);
    EXPECT_TRUE(ReadFile(out + "/big.bin") == data);
}

TEST_F(MountTest, CleanUpRemovesTheStagingOfAKilledServiceOnly)
{
    // Another file's mount beside it, its staging folder in the same place.
    const std::string other = dir + "/m-other.wim";
    fs::copy_file(wim, other);
    const std::string kept = mountDir("kept");
    ASSERT_TRUE(WIMMountImage(U(kept).c_str(), U(other).c_str(), 2, U(temp).c_str())) << strerror(errno);
    const auto keptStaging = stagingIn(temp);
    ASSERT_EQ(keptStaging.size(), 1u);
    const std::string m = mountDir("killedrw");
    ASSERT_TRUE(WIMMountImage(U(m).c_str(), U(wim).c_str(), 1, U(temp).c_str())) << strerror(errno);
    WriteFile(m + "/changed.txt", "in the staging folder");
    ASSERT_EQ(stagingIn(temp).size(), 2u);
    const pid_t pid = servicePid(m);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    for (int i = 0; i < 500 && fs::exists("/proc/" + std::to_string(pid)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    EXPECT_TRUE(WIMDeleteImageMounts(0)) << strerror(errno);
    EXPECT_EQ(stagingIn(temp), keptStaging) << "the staging folder of the live mount must stay";
    EXPECT_TRUE(isMounted(kept));
    EXPECT_EQ(ReadFile(kept + "/b.bin").size(), 70004u);
    // The dead mount is taken down through a link to its folder.
    const std::string link = dir + "/link-to-killed";
    fs::create_directory_symlink(m, link);
    EXPECT_TRUE(WIMUnmountImage(U(link).c_str(), nullptr, 0, FALSE)) << strerror(errno);
    EXPECT_FALSE(isMounted(m));
    ASSERT_TRUE(WIMUnmountImage(U(kept).c_str(), nullptr, 0, FALSE)) << strerror(errno);
    EXPECT_TRUE(stagingGone(temp));
}

TEST_F(MountTest, AFileMountedReadWriteIsNeverReplaced)
{
    const std::string m = mountDir("replaced");
    ASSERT_TRUE(WIMMountImage(U(m).c_str(), U(wim).c_str(), 1, U(temp).c_str())) << strerror(errno);
    const std::string fresh = dir + "/fresh.wim";
    CaptureNew(fresh, {tree + "/sub"});
    const std::string before = ReadFile(wim);
    errno = 0;
    EXPECT_FALSE(WIMReplaceImageFile(U(fresh).c_str(), U(wim).c_str(), 0));
    EXPECT_EQ(errno, EBUSY);
    errno = 0;
    EXPECT_FALSE(OpenWrite(wim, WIM_CREATE_ALWAYS));
    EXPECT_EQ(errno, EBUSY);
    EXPECT_TRUE(ReadFile(wim) == before);
    EXPECT_TRUE(fs::exists(fresh));
    // The commit then goes into the file that was mounted, intact.
    WriteFile(m + "/kept.txt", "committed");
    ASSERT_TRUE(WIMUnmountImage(U(m).c_str(), nullptr, 0, TRUE)) << strerror(errno);
    EXPECT_TRUE(WimVerify(wim));
    EXPECT_NE(RunOutput("wimlib-imagex dir " + Quote(wim) + " 1").find("/kept.txt"), std::string::npos);
}

TEST_F(MountTest, SplitSetMountsReadOnlyFromAnyPart)
{
    std::vector<std::string> data;
    for (uint32_t i = 0; i < 3; ++i) {
        data.push_back(incompressible(100000, i + 11));
        WriteFile(tree + "/noise" + std::to_string(i), data.back());
    }
    const std::string whole = dir + "/whole.wim";
    CaptureNew(whole, {tree});
    const std::string set = dir + "/set";
    {
        Handle file = OpenRead(whole);
        int64_t size = 120 * 1024;
        ASSERT_TRUE(WIMSplitFile(file.get(), U(set).c_str(), &size, 0)) << strerror(errno);
    }
    ASSERT_TRUE(fs::exists(set + "3"));
    for (const std::string& part : {set, set + "2", set + "3"}) {
        SCOPED_TRACE(part);
        const std::string m = mountDir("part" + std::to_string(mounts.size()));
        ASSERT_TRUE(WIMMountImage(U(m).c_str(), U(part).c_str(), 1, nullptr)) << strerror(errno);
        for (size_t i = 0; i < data.size(); ++i)
            EXPECT_TRUE(ReadFile(m + "/noise" + std::to_string(i)) == data[i]) << "noise" << i;
        ASSERT_TRUE(WIMUnmountImage(U(m).c_str(), nullptr, 0, FALSE)) << strerror(errno);
    }
    const std::string m = mountDir("partrw");
    errno = 0;
    EXPECT_FALSE(WIMMountImage(U(m).c_str(), U(set + "2").c_str(), 1, U(temp).c_str()));
    EXPECT_EQ(errno, ENOTSUP);
    EXPECT_FALSE(isMounted(m));
}
