// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/module/shellmenu.h"

#include "imaging/wimhandle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace {

// A file's WIM_INFO through the imaging layer; false when it cannot be read.
bool readImageFileInfo(const QString& path, WIM_INFO* info)
{
    if (!ImagingApi.WIMGetAttributes)
        return false;
    WimHandle wim = OpenImageFileRead(path);
    return wim && ImagingApi.WIMGetAttributes(wim.get(), info, sizeof(WIM_INFO));
}

const MountEntry* findByImagePath(const std::vector<MountEntry>& mounts, const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    for (const MountEntry& m : mounts) {
        if (QDir::cleanPath(m.imagePath) == clean)
            return &m;
    }
    return nullptr;
}

} // namespace

QString PathName(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString PathStem(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > path.lastIndexOf(u'/') ? path.left(dot) : path;
}

bool IsFileSystemRoot(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    if (clean == QStringLiteral("/"))
        return true;
    const QStorageInfo storage(clean);
    return storage.isValid() && QDir::cleanPath(storage.rootPath()) == clean;
}

MenuState RefreshMenuState(int selectionKind, const QString& selectedPath, const std::vector<MountEntry>& mounts)
{
    MenuState state;
    state.selectionKind = selectionKind;
    state.mountedCount = int(mounts.size());
    if (selectionKind == kSelectionFolder || selectionKind == kSelectionRoot) {
        if (selectionKind == kSelectionFolder && IsFileSystemRoot(selectedPath))
            state.selectionKind = kSelectionRoot;
        if (const std::optional<MountEntry> m = FindMountByFolder(mounts, selectedPath)) {
            state.mountState = m->readWrite ? 2 : 1;
            state.mountedIndex = int(m->imageIndex);
        }
        return state;
    }
    if (const MountEntry* m = findByImagePath(mounts, selectedPath)) {
        state.mountState = m->readWrite ? 3 : 2;
        state.mountedIndex = int(m->imageIndex);
        return state;
    }
    WIM_INFO info{};
    if (readImageFileInfo(selectedPath, &info) && (info.CompressionType == WIM_COMPRESS_LZMS || info.TotalParts >= 2)) {
        state.mountState = 4;
        return state;
    }
    const QByteArray name = QFile::encodeName(selectedPath);
    state.mountState = ::access(name.constData(), W_OK) == 0 ? 1 : 0;
    return state;
}

std::vector<MenuEntry> BuildMenuEntries(const MenuState& state, const QString& selectedPath, bool imagingFromFile,
                                        bool folderTakesNewFile, QString (*strings)(int))
{
    std::vector<MenuEntry> items;
    auto add = [&](MenuAction action, int n, bool greyed = false, QString text = QString()) {
        items.push_back({action, n, text.isNull() ? strings(n) : text, greyed});
    };
    add(MenuAction::OpenPage, 272);
    if (state.selectionKind != kSelectionFile) {
        if (state.mountState == 0) {
            if (state.selectionKind == kSelectionRoot) {
                add(MenuAction::CompressTo, 273);
            } else {
                add(MenuAction::CompressTo, 276);
                add(MenuAction::CompressBeside, 277, !folderTakesNewFile,
                    QStringLiteral("%1 \"%2.WIM\" (&C)").arg(strings(277), PathName(selectedPath)));
            }
        } else {
            add(MenuAction::UnMount, 274);
            if (state.mountState == 2)
                add(MenuAction::UnMountCommit, 275);
        }
    } else {
        add(MenuAction::ExtractHere, 278, false,
            QStringLiteral("%1 \"%2/\" (&E)").arg(strings(278), PathName(PathStem(selectedPath))));
        add(MenuAction::ExtractTo, 279);
        switch (state.mountState) {
        case 0:
            add(MenuAction::Mount, 280, !imagingFromFile);
            break;
        case 1:
            add(MenuAction::Mount, 280, !imagingFromFile);
            add(MenuAction::MountRW, 281, !imagingFromFile);
            break;
        case 2:
            add(MenuAction::UnMount, 274);
            break;
        case 3:
            add(MenuAction::UnMount, 274);
            add(MenuAction::UnMountCommit, 275);
            break;
        default:
            break;
        }
    }
    if (state.mountedCount > 0)
        add(MenuAction::UnMountAll, 282);
    return items;
}

QStringList CommandArguments(const MenuEntry& entry, const MenuState& state, const QString& selectedPath,
                             const CommandInput& input)
{
    const bool onFile = state.selectionKind == kSelectionFile;
    const QString image1 = selectedPath + QStringLiteral(",1");
    // An unmount from a file's menu acts on the folder the file is mounted on now.
    auto mountFolder = [&]() -> QString {
        if (!onFile)
            return selectedPath;
        const MountEntry* m = findByImagePath(input.mounts, selectedPath);
        return m ? m->mountPath : QString();
    };
    switch (entry.action) {
    case MenuAction::OpenPage:
        return {QStringLiteral("/Page"), selectedPath + (onFile ? QStringLiteral(",1") : QStringLiteral(",2"))};
    case MenuAction::CompressTo:
        if (input.chosenFile.isEmpty())
            return {};
        return {QStringLiteral("/CompPath"), selectedPath, input.chosenFile};
    case MenuAction::CompressBeside:
        return {QStringLiteral("/CompPath"), selectedPath, selectedPath + QStringLiteral(".WIM")};
    case MenuAction::UnMount:
    case MenuAction::UnMountCommit: {
        const QString folder = mountFolder();
        if (folder.isEmpty())
            return {};
        QStringList args{QStringLiteral("/UnMount"), folder};
        if (entry.action == MenuAction::UnMountCommit)
            args << QStringLiteral("/Commit");
        return args;
    }
    case MenuAction::ExtractHere:
        return {QStringLiteral("/ExtrImage"), image1, PathStem(selectedPath), QStringLiteral("/NotAcl")};
    case MenuAction::ExtractTo:
        if (input.chosenFolder.isEmpty())
            return {};
        return {QStringLiteral("/ExtrImage"), image1, input.chosenFolder, QStringLiteral("/NotAcl")};
    case MenuAction::Mount:
        return {QStringLiteral("/Mount"), image1};
    case MenuAction::MountRW:
        return {QStringLiteral("/MountRW"), image1};
    case MenuAction::UnMountAll:
        return {QStringLiteral("/UnMount"), QStringLiteral("/All")};
    }
    return {};
}

bool StartDetached(const QString& program, const QStringList& args)
{
    // Everything the child needs is made before fork: after it only
    // async-signal-safe calls run, as the host may have threads.
    std::vector<QByteArray> bytes;
    bytes.push_back(QFile::encodeName(program));
    for (const QString& a : args)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    if (::access(argv[0], X_OK) != 0)
        return false;

    // A pipe with close-on-exec tells whether the exec worked.
    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0)
        return false;
    const pid_t middle = ::fork();
    if (middle < 0) {
        ::close(status[0]);
        ::close(status[1]);
        return false;
    }
    if (middle == 0) {
        ::close(status[0]);
        const pid_t child = ::fork();
        if (child == 0) {
            ::setsid();
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) {
                ::dup2(null, 0);
                if (null > 0)
                    ::close(null);
            }
            // Only the status pipe goes along (closed by the exec), on 3.
            if (status[1] != 3 && ::dup3(status[1], 3, O_CLOEXEC) != 3)
                ::_exit(127);
            ::close_range(4, ~0u, 0);
            ::execv(argv[0], argv.data());
            const int error = errno;
            [[maybe_unused]] const ssize_t n = ::write(3, &error, sizeof error);
            ::_exit(127);
        }
        ::_exit(child < 0 ? 1 : 0);
    }
    ::close(status[1]);
    int code = 0;
    while (::waitpid(middle, &code, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t n;
    while ((n = ::read(status[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(status[0]);
    return WIFEXITED(code) && WEXITSTATUS(code) == 0 && n == 0;
}
