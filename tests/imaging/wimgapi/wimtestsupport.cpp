// SPDX-License-Identifier: GPL-3.0-or-later
#include "wimtestsupport.h"

#include "support/testenv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace wimtest {

std::u16string U(const std::string& s)
{
    return fs::path(s).u16string();
}

std::string S(const char16_t* s)
{
    return fs::path(std::u16string(s)).string();
}

std::string ScratchDir(const std::string& name)
{
    return MakeTestDir(QString::fromStdString(name)).toStdString();
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void MakeSampleTree(const std::string& root)
{
    fs::create_directories(root + "/sub/deeper");
    fs::create_directories(root + "/empty");
    fs::create_directories(root + "/中文目录");
    WriteFile(root + "/a.txt", "alpha\n");
    WriteFile(root + "/sub/b.bin", std::string(70000, 'b') + "tail");
    WriteFile(root + "/sub/deeper/c.log", "gamma gamma gamma\n");
    WriteFile(root + "/中文目录/文件.txt", "非 ASCII 内容\n");
    WriteFile(root + "/skip.tmp", "excluded by the tests\n");
    fs::create_hard_link(root + "/a.txt", root + "/sub/a-hardlink.txt");
    fs::create_symlink("sub/deeper/c.log", root + "/link-to-c");
}

namespace {

void walk(const fs::path& root, std::map<std::string, fs::path>& out)
{
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
        out[fs::relative(it->path(), root).string()] = it->path();
}

} // namespace

std::string CompareTrees(const std::string& a, const std::string& b)
{
    std::map<std::string, fs::path> left, right;
    walk(a, left);
    walk(b, right);
    for (const auto& [rel, _] : left)
        if (!right.count(rel))
            return "missing in copy: " + rel;
    for (const auto& [rel, _] : right)
        if (!left.count(rel))
            return "extra in copy: " + rel;
    // Hard links are compared as groups: names sharing a file on one side
    // share one on the other.
    std::map<ino_t, ino_t> leftToRight, rightToLeft;
    for (const auto& [rel, lp] : left) {
        const fs::path& rp = right[rel];
        struct stat ls{}, rs{};
        ::lstat(lp.c_str(), &ls);
        ::lstat(rp.c_str(), &rs);
        if ((ls.st_mode & S_IFMT) != (rs.st_mode & S_IFMT))
            return "type differs: " + rel;
        if (S_ISLNK(ls.st_mode)) {
            if (fs::read_symlink(lp) != fs::read_symlink(rp))
                return "link target differs: " + rel;
        } else if (S_ISREG(ls.st_mode)) {
            if (ReadFile(lp) != ReadFile(rp))
                return "content differs: " + rel;
            auto l = leftToRight.emplace(ls.st_ino, rs.st_ino);
            auto r = rightToLeft.emplace(rs.st_ino, ls.st_ino);
            if (l.first->second != rs.st_ino || r.first->second != ls.st_ino)
                return "hard links differ: " + rel;
        }
    }
    return {};
}

int RunCommand(const std::string& command)
{
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string RunOutput(const std::string& command)
{
    std::string out;
    if (FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

std::string Quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool WimVerify(const std::string& wim)
{
    return RunCommand("wimlib-imagex verify " + Quote(wim)) == 0;
}

Handle::~Handle()
{
    reset();
}

void Handle::reset(HANDLE h)
{
    if (m_h) {
        EXPECT_TRUE(WIMCloseHandle(m_h));
    }
    m_h = h;
}

Handle OpenRead(const std::string& path)
{
    DWORD created = 0;
    HANDLE h = WIMCreateFile(U(path).c_str(), WIM_GENERIC_READ, WIM_OPEN_EXISTING, 0, 0, &created);
    if (!h)
        h = WIMCreateFile(U(path).c_str(), WIM_GENERIC_READ, WIM_OPEN_EXISTING, WIM_FLAG_ALLOW_LZMS, 0, &created);
    return Handle(h);
}

Handle OpenWrite(const std::string& path, DWORD disposition, DWORD compression)
{
    DWORD created = 0;
    const DWORD flags = compression == WIM_COMPRESS_LZMS ? WIM_FLAG_ALLOW_LZMS : 0;
    return Handle(WIMCreateFile(U(path).c_str(), WIM_GENERIC_READ | WIM_GENERIC_WRITE, disposition, flags, compression,
                                &created));
}

void CaptureNew(const std::string& wim, const std::vector<std::string>& sources, DWORD compression)
{
    Handle file = OpenWrite(wim, WIM_CREATE_ALWAYS, compression);
    ASSERT_TRUE(file) << strerror(errno);
    for (const std::string& src : sources) {
        Handle image(WIMCaptureImage(file.get(), U(src).c_str(), 0));
        ASSERT_TRUE(image) << src << ": " << strerror(errno);
    }
}

int MessageLog::count(DWORD msg) const
{
    return static_cast<int>(std::count_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.msg == msg; }));
}

DWORD MessageLog::Callback(DWORD msg, WPARAM w, LPARAM l, void* user)
{
    auto* log = static_cast<MessageLog*>(user);
    log->entries.push_back({msg, w, l});
    if (msg == WIM_MSG_PROCESS) {
        const std::string path = S(reinterpret_cast<const char16_t*>(w));
        log->processed.push_back(path);
        if (!log->excludeSuffix.empty() && path.size() >= log->excludeSuffix.size() &&
            path.compare(path.size() - log->excludeSuffix.size(), std::string::npos, log->excludeSuffix) == 0)
            *reinterpret_cast<BOOL*>(l) = FALSE;
    }
    if (msg == WIM_MSG_SPLIT)
        log->parts.emplace_back(S(*reinterpret_cast<const char16_t**>(w)), *reinterpret_cast<int64_t*>(l));
    if (log->abortOn == msg && --log->abortAfter < 0)
        return WIM_MSG_ABORT_IMAGE;
    return WIM_MSG_SUCCESS;
}

void SampleTreeTest::SetUp()
{
    std::string suite = ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
    std::replace(suite.begin(), suite.end(), '/', '-');
    dir = ScratchDir(suite);
    tree = dir + "/tree";
    MakeSampleTree(tree);
    if (const char* name = wimName()) {
        wim = dir + "/" + name;
        CaptureNew(wim, {tree, tree + "/sub"});
    }
}

std::vector<WIM_MOUNT_INFO_LEVEL1> MountInfo()
{
    DWORD count = 0, bytes = 0;
    EXPECT_TRUE(WIMGetMountedImageInfo(MountedImageInfoLevel1, &count, nullptr, 0, &bytes));
    std::vector<WIM_MOUNT_INFO_LEVEL1> list(count);
    if (count) {
        EXPECT_TRUE(WIMGetMountedImageInfo(MountedImageInfoLevel1, &count, list.data(), bytes, &bytes));
    }
    return list;
}

} // namespace wimtest
