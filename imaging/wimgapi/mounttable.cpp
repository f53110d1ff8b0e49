// SPDX-License-Identifier: GPL-3.0-or-later
#include "mounttable.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace wimgapi {

namespace {

constexpr uint32_t kWimlibMountReadWrite = 0x1;

// Record values are one per line; a newline or percent inside a path is
// escaped so that any Linux path survives.
std::string escapeValue(const std::string& v)
{
    std::string out;
    for (char c : v) {
        if (c == '%' || c == '\n' || c == '\r') {
            char buf[4];
            std::snprintf(buf, sizeof(buf), "%%%02X", static_cast<unsigned char>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

std::string unescapeValue(const std::string& v)
{
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        // Only "%" and two hexadecimal digits is an escape; strtol would also
        // take signs, blanks and a single digit.
        if (v[i] == '%' && i + 2 < v.size() && std::isxdigit(static_cast<unsigned char>(v[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(v[i + 2]))) {
            out += static_cast<char>(std::strtol(v.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += v[i];
        }
    }
    return out;
}

// Mount table fields escape blanks, tabs, newlines and backslashes as \ooo.
std::string unescapeMountField(const std::string& v)
{
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 3 < v.size()) {
            const std::string oct = v.substr(i + 1, 3);
            if (oct.size() == 3 && oct.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::strtol(oct.c_str(), nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += v[i];
    }
    return out;
}

uint64_t fnv1a(const std::string& s)
{
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

void mkdirs(const std::string& path)
{
    for (size_t pos = 1; pos != std::string::npos;) {
        pos = path.find('/', pos + 1);
        ::mkdir(path.substr(0, pos).c_str(), 0700);
    }
}

bool readU32Xattr(const std::string& path, const char* name, uint32_t& value)
{
    unsigned char buf[8] = {};
    const ssize_t n = ::getxattr(path.c_str(), name, buf, sizeof(buf));
    if (n < 4)
        return false;
    value = static_cast<uint32_t>(buf[0] | (buf[1] << 8) | (buf[2] << 16) | (static_cast<uint32_t>(buf[3]) << 24));
    return true;
}

struct RootAttributes {
    bool ok = false;
    std::string wimPath;
    uint32_t index = 0;
    uint32_t flags = 0;
};

RootAttributes readRootAttributes(const std::string& point)
{
    RootAttributes a;
    char name[4096];
    const ssize_t n = ::getxattr(point.c_str(), "wimfs.wim_filename", name, sizeof(name) - 1);
    if (n > 0 && readU32Xattr(point, "wimfs.mounted_image", a.index) &&
        readU32Xattr(point, "wimfs.mount_flags", a.flags)) {
        a.ok = true;
        a.wimPath.assign(name, static_cast<size_t>(n));
        while (!a.wimPath.empty() && a.wimPath.back() == '\0')
            a.wimPath.pop_back();
    }
    return a;
}

// Mount roots whose query has not come back yet.
std::mutex g_pendingMutex;
std::set<std::string> g_pending;

// A mount whose daemon is stopped would block the query forever; it is asked
// on a helper thread and counted as not answering after a while, so that a
// listing never hangs its caller. While that query hangs, the mount is not
// asked again.
RootAttributes queryRootAttributes(const std::string& point)
{
    {
        std::lock_guard lock(g_pendingMutex);
        if (!g_pending.insert(point).second)
            return {};
    }
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        RootAttributes result;
    };
    auto shared = std::make_shared<Shared>();
    try {
        std::thread([shared, point] {
            RootAttributes r = readRootAttributes(point);
            {
                std::lock_guard pendingLock(g_pendingMutex);
                g_pending.erase(point);
            }
            std::lock_guard lock(shared->mutex);
            shared->result = std::move(r);
            shared->finished = true;
            shared->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        {
            std::lock_guard lock(g_pendingMutex);
            g_pending.erase(point);
        }
        return readRootAttributes(point);
    }
    std::unique_lock lock(shared->mutex);
    if (!shared->done.wait_for(lock, std::chrono::seconds(3), [&] { return shared->finished; }))
        return {};
    return shared->result;
}

} // namespace

std::string MountRecordDir()
{
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        base = state;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/state";
    else
        base = "/tmp";
    return base + "/kestrel/mounts";
}

std::string MountRecordPath(const std::string& mountPath)
{
    char name[32];
    std::snprintf(name, sizeof(name), "%016llx", static_cast<unsigned long long>(fnv1a(mountPath)));
    return MountRecordDir() + "/" + name;
}

bool WriteMountRecord(const MountRecord& r)
{
    mkdirs(MountRecordDir());
    const std::string path = MountRecordPath(r.mountPath);
    const std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << "mount=" << escapeValue(r.mountPath) << "\n"
            << "wim=" << escapeValue(r.wimPath) << "\n"
            << "index=" << r.index << "\n"
            << "rw=" << (r.readWrite ? 1 : 0) << "\n"
            << "temp=" << escapeValue(r.tempPath) << "\n"
            << "staging=" << escapeValue(r.staging) << "\n"
            << "token=" << escapeValue(r.token) << "\n";
        if (!out.flush())
            return false;
    }
    return ::rename(temp.c_str(), path.c_str()) == 0;
}

bool ReadMountRecord(const std::string& file, MountRecord& r)
{
    std::ifstream in(file);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = unescapeValue(line.substr(eq + 1));
        if (key == "mount")
            r.mountPath = value;
        else if (key == "wim")
            r.wimPath = value;
        else if (key == "index")
            r.index = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        else if (key == "rw")
            r.readWrite = value == "1";
        else if (key == "temp")
            r.tempPath = value;
        else if (key == "staging")
            r.staging = value;
        else if (key == "token")
            r.token = value;
    }
    // Paths hold no zero byte: a record with one (written raw or as %00) is
    // not one the service wrote, and cut at the zero it would name another
    // folder or file.
    for (const std::string* value : {&r.mountPath, &r.wimPath, &r.tempPath, &r.staging, &r.token}) {
        if (value->find('\0') != std::string::npos)
            return false;
    }
    return !r.mountPath.empty() && !r.wimPath.empty() && r.index > 0;
}

std::vector<MountRecord> ReadMountRecords()
{
    std::vector<MountRecord> out;
    const std::string dir = MountRecordDir();
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return out;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != 16 || name.find_first_not_of("0123456789abcdef") != std::string::npos)
            continue;
        MountRecord r;
        if (ReadMountRecord(dir + "/" + name, r))
            out.push_back(std::move(r));
    }
    ::closedir(d);
    return out;
}

void RemoveMountRecord(const std::string& mountPath, const std::string& token)
{
    const std::string path = MountRecordPath(mountPath);
    if (!token.empty()) {
        MountRecord r;
        if (!ReadMountRecord(path, r) || r.token != token)
            return;
    }
    ::unlink(path.c_str());
}

std::vector<std::string> WimfsMountPoints()
{
    std::vector<std::string> out;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        const size_t dash = line.find(" - ");
        if (dash == std::string::npos)
            continue;
        std::istringstream tail(line.substr(dash + 3));
        std::string fstype;
        tail >> fstype;
        if (fstype != "fuse.wimfs")
            continue;
        std::istringstream head(line.substr(0, dash));
        std::string id, parent, dev, root, point;
        head >> id >> parent >> dev >> root >> point;
        out.push_back(unescapeMountField(point));
    }
    return out;
}

std::vector<LayerMount> ListMounts()
{
    std::vector<LayerMount> out;
    std::vector<MountRecord> records = ReadMountRecords();
    auto takeRecord = [&](const std::string& mountPath, LayerMount& e) {
        for (auto it = records.begin(); it != records.end(); ++it) {
            if (it->mountPath == mountPath) {
                e.recorded = true;
                e.record = *it;
                records.erase(it);
                return;
            }
        }
    };
    for (const std::string& point : WimfsMountPoints()) {
        LayerMount e;
        e.mountPath = point;
        e.inTable = true;
        takeRecord(point, e);
        const RootAttributes a = queryRootAttributes(point);
        if (a.ok) {
            e.alive = true;
            e.wimPath = a.wimPath;
            e.index = a.index;
            e.readWrite = (a.flags & kWimlibMountReadWrite) != 0;
        } else if (e.recorded) {
            // The service is gone (the folder answers "not connected"); what
            // was mounted there is known only from the record.
            e.wimPath = e.record.wimPath;
            e.index = e.record.index;
            e.readWrite = e.record.readWrite;
        }
        out.push_back(std::move(e));
    }
    for (MountRecord& r : records) {
        LayerMount e;
        e.mountPath = r.mountPath;
        e.wimPath = r.wimPath;
        e.index = r.index;
        e.readWrite = r.readWrite;
        e.recorded = true;
        e.record = std::move(r);
        out.push_back(std::move(e));
    }
    return out;
}

bool MountedForWriting(const std::string& wimPath)
{
    const std::vector<std::string> points = WimfsMountPoints();
    if (points.empty())
        return false;
    struct stat file{};
    if (::stat(wimPath.c_str(), &file) != 0)
        return false;
    for (const std::string& point : points) {
        const RootAttributes a = queryRootAttributes(point);
        struct stat mounted{};
        if (a.ok && (a.flags & kWimlibMountReadWrite) && ::stat(a.wimPath.c_str(), &mounted) == 0 &&
            mounted.st_dev == file.st_dev && mounted.st_ino == file.st_ino)
            return true;
    }
    return false;
}

} // namespace wimgapi
