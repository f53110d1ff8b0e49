// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/workfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Folders nested deeper than this are left alone: no real work folder gets
// there, and it keeps the walk's stack and descriptors bounded.
constexpr int kMaxDepth = 256;

class Cleaner {
public:
    Cleaner(const FolderCleanRules& rules, dev_t rootDevice) : m_rules(rules), m_rootDevice(rootDevice)
    {
        for (const QString& f : rules.sparedFolders) {
            if (!f.isEmpty())
                m_spared.append(QDir::cleanPath(f));
        }
    }

    // Empties the folder open at `fd` (which it owns) whose path is `path`.
    void emptyFolder(int fd, const QString& path, int depth)
    {
        DirHandle dir(fdopendir(fd));
        if (!dir) {
            ::close(fd);
            ++m_result.failed;
            return;
        }
        const int dfd = dirfd(dir.get());
        // Names first, then the deletions: removing while reading may skip entries.
        std::vector<std::string> names;
        while (const dirent* e = readdir(dir.get())) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        for (const std::string& name : names)
            removeEntry(dfd, path, name, depth);
    }

    FolderCleanResult result() const { return m_result; }

private:
    bool isSpared(const QString& path) const
    {
        for (const QString& s : m_spared) {
            if (s == path)
                return true;
        }
        return false;
    }

    bool hasSparedPrefix(const QString& name) const
    {
        for (const QString& p : m_rules.sparedTopNamePrefixes) {
            if (!p.isEmpty() && name.startsWith(p))
                return true;
        }
        return false;
    }

    void removeEntry(int dfd, const QString& parentPath, const std::string& name, int depth)
    {
        const QString qname = QFile::decodeName(name.c_str());
        const QString path = parentPath == u'/' ? u'/' + qname : parentPath + u'/' + qname;
        // A live mount is recognised by its path before anything looks at it:
        // even a stat of a busy or dead FUSE mount can hang.
        if (isSpared(path) || (depth == 0 && hasSparedPrefix(qname))) {
            m_result.spared.append(path);
            return;
        }
        struct stat st {};
        if (fstatat(dfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ++m_result.failed;
            return;
        }
        if (!S_ISDIR(st.st_mode)) {
            // Files, links (the link itself), sockets, fifos, devices.
            if (unlinkat(dfd, name.c_str(), 0) == 0)
                ++m_result.removed;
            else
                ++m_result.failed;
            return;
        }
        if (st.st_dev != m_rootDevice) {
            m_result.spared.append(path);
            return;
        }
        if (depth + 1 >= kMaxDepth) {
            ++m_result.failed;
            return;
        }
        // The owner needs write and search permission to empty the folder.
        const mode_t needed = S_IWUSR | S_IXUSR | S_IRUSR;
        if ((st.st_mode & needed) != needed && st.st_uid == geteuid())
            fchmodat(dfd, name.c_str(), (st.st_mode & 07777) | needed, 0);
        // O_NOFOLLOW: a link swapped in since the stat is not followed.
        const int fd = openat(dfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            ++m_result.failed;
            return;
        }
        struct stat opened {};
        if (fstat(fd, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
            ::close(fd);
            ++m_result.failed;
            return;
        }
        const int sparedBefore = int(m_result.spared.size());
        emptyFolder(fd, path, depth + 1);
        if (int(m_result.spared.size()) > sparedBefore)
            return; // something inside stays, so the folder stays too
        if (unlinkat(dfd, name.c_str(), AT_REMOVEDIR) == 0)
            ++m_result.removed;
        else
            ++m_result.failed;
    }

    const FolderCleanRules& m_rules;
    QStringList m_spared;
    dev_t m_rootDevice;
    FolderCleanResult m_result;
};

} // namespace

FolderCleanResult CleanFolderContents(const QString& folder, const FolderCleanRules& rules)
{
    FolderCleanResult none;
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        return none;
    // The folder the user named may be reached through a link; below it no
    // link is followed.
    const QByteArray given = QFile::encodeName(folder);
    char resolved[PATH_MAX];
    if (!realpath(given.constData(), resolved))
        return none;
    const int fd = open(resolved, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return none;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        ::close(fd);
        return none;
    }
    const QString root = QFile::decodeName(resolved);
    Cleaner cleaner(rules, st.st_dev);
    cleaner.emptyFolder(fd, root, 0);
    FolderCleanResult result = cleaner.result();
    result.started = true;
    return result;
}

namespace {

// Mount folders are listed as the kernel reports them; the folder text the
// user typed may name the same folder through a link, so the parent is made
// canonical too (never the mount itself, which may not answer).
void addFolder(QStringList& list, const QString& path)
{
    if (path.isEmpty())
        return;
    const QString clean = QDir::cleanPath(path);
    list.append(clean);
    const QFileInfo info(clean);
    const QString parent = QFileInfo(info.path()).canonicalFilePath();
    if (!parent.isEmpty()) {
        const QString canonical = QDir::cleanPath(parent + u'/' + info.fileName());
        if (canonical != clean)
            list.append(canonical);
    }
}

} // namespace

FolderCleanRules MountBaseCleanRules(const std::vector<MountEntry>& mounts)
{
    FolderCleanRules rules;
    for (const MountEntry& m : mounts)
        addFolder(rules.sparedFolders, m.mountPath);
    return rules;
}

FolderCleanRules TempFolderCleanRules(const std::vector<MountEntry>& mounts)
{
    FolderCleanRules rules;
    for (const MountEntry& m : mounts) {
        if (m.readWrite && !m.imagePath.isEmpty())
            rules.sparedTopNamePrefixes.append(QFileInfo(m.imagePath).fileName() + QStringLiteral(".staging"));
    }
    return rules;
}

bool CreateWorkFolder(const QString& path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return false;
    QDir().mkpath(path);
    return QFileInfo(path).isDir();
}
