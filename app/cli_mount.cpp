// SPDX-License-Identifier: GPL-3.0-or-later
// "/Mount", "/MountRW", "/ReMount", "/UnMount" and "/CleanUp".
#include "app/cli.h"
#include "app/cli_actions.h"

#include "common/language.h"
#include "app/mountdirectory.h"
#include "common/settings.h"
#include "common/textutil.h"
#include "imaging/mountlist.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

namespace {

QString lastError(const QString& what)
{
    const int error = errno;
    return error ? what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)) : what;
}

// A folder given relative to the current one names the same mount folder.
bool sameFolder(const QString& mounted, const QString& given)
{
    return !given.isEmpty() && SameMountPath(mounted, QFileInfo(given).absoluteFilePath());
}

// The commit decision of a read-write mount: "/Update" asks, "/Commit" commits.
// Without a display nobody can answer, so the unmount is refused rather than
// throwing the changes away.
std::optional<bool> commitDecision(const QStringList& args)
{
    if (HasOption(args, QStringLiteral("/Update"))) {
        TaskDialogs* dialogs = RegisteredTaskDialogs();
        if (!dialogs)
            return std::nullopt;
        const QString crlf = QStringLiteral("\r\n");
        return dialogs->askYesNo(GetLanguageString(28), GetLanguageString(29) + crlf + GetLanguageString(30) + crlf
                                     + crlf + GetLanguageString(249));
    }
    return HasOption(args, QStringLiteral("/Commit"));
}

} // namespace

CliResult RunMount(const QStringList& args, bool readWrite)
{
    if (!ImagingApi.WIMMountImage)
        return CliResult::failed(QStringLiteral("mounting needs the imaging library from disk, which is not loaded"));
    QString file = args.at(2);
    QString unknownName;
    uint32_t number = ParseImageReference(file, &unknownName);
    if (number == 0)
        number = 1;
    if (!QFileInfo(file).isFile())
        return CliResult::failed(QStringLiteral("the image file does not exist: ") + file);
    if (!unknownName.isEmpty())
        return CliResult::failed(QStringLiteral("the image file has no image named ") + unknownName);
    UnattendedTask& task = CommandLineTask();
    task.args = args;
    PrepareUnattendedTask(task, file, number, args.size() > 3 ? args.at(3) : QString(), false);
    // The mount service runs on after this process; it gets absolute paths.
    file = QFileInfo(file).absoluteFilePath();
    QString folder = task.ctx.TargetPath.isEmpty() ? QString() : QFileInfo(task.ctx.TargetPath).absoluteFilePath();
    if (folder.isEmpty()) {
        const QString base = AppSettings().autoMountPath;
        QDir().mkpath(base);
        if (!CreateUniqueMountDirectory(base, folder))
            return CliResult::failed(QStringLiteral("no mount folder can be made in ") + base);
    }
    const QString& temp = task.ctx.TempPath;
    if (readWrite && !QFileInfo(task.ctx.TempPath).isDir())
        QDir().mkpath(task.ctx.TempPath);
    errno = 0;
    if (!ImagingApi.WIMMountImage(Utf16(folder), Utf16(file), number, readWrite ? Utf16(temp) : nullptr))
        return CliResult::failed(lastError(QStringLiteral("the image could not be mounted at ") + folder));
    OpenFolderInShell(folder);
    return CliResult::ok();
}

CliResult RunRemount(const QStringList& args)
{
    if (!ImagingApi.WIMRemountImage || !ImagingApi.WIMGetMountedImageInfo)
        return CliResult::failed(QStringLiteral("remounting is not available"));
    const QString folder = args.at(2);
    int failures = 0;
    bool known = folder.isEmpty();
    for (const MountEntry& m : GetMountedImageInfo()) {
        const QString& mountPath = m.mountPath;
        if (!folder.isEmpty() && !sameFolder(mountPath, folder))
            continue;
        known = true; // a mount that still runs needs nothing
        if (!(m.flags & WIM_MOUNT_FLAG_REMOUNTABLE))
            continue;
        QDir().mkpath(mountPath);
        if (!ImagingApi.WIMRemountImage(Utf16(mountPath), 0))
            ++failures;
    }
    if (!known)
        return CliResult::failed(QStringLiteral("no image is mounted at ") + folder);
    if (failures)
        return CliResult::failed(lastError(QStringLiteral("an image could not be remounted")));
    return CliResult::ok();
}

CliResult RunUnmount(const QStringList& args)
{
    if (!ImagingApi.WIMUnmountImage)
        return CliResult::failed(QStringLiteral("unmounting is not available"));
    const QString folder = args.at(2);
    if (folder.compare(u"/All", Qt::CaseInsensitive) == 0) {
        if (ImagingApi.WIMDeleteImageMounts) {
            if (!ImagingApi.WIMDeleteImageMounts(WIM_DELETE_MOUNTS_ALL))
                return CliResult::failed(lastError(QStringLiteral("the mounts could not be removed")));
            return CliResult::ok();
        }
        int failures = 0;
        for (const MountEntry& m : GetMountedImages()) {
            if (!ImagingApi.WIMUnmountImage(Utf16(m.mountPath), Utf16(m.imagePath), m.imageIndex, FALSE))
                ++failures;
        }
        return failures ? CliResult::failed(lastError(QStringLiteral("an image could not be unmounted")))
                        : CliResult::ok();
    }
    for (const MountEntry& m : GetMountedImages()) {
        if (!sameFolder(m.mountPath, folder))
            continue;
        bool commit = false;
        if (m.readWrite) {
            const std::optional<bool> decision = commitDecision(args);
            if (!decision)
                return CliResult::failed(
                    QStringLiteral("/Update needs a display to ask whether to save the changes; use /Commit or leave "
                                   "both out"));
            commit = *decision;
        }
        if (!ImagingApi.WIMUnmountImage(Utf16(m.mountPath), Utf16(m.imagePath), m.imageIndex,
                                        commit ? TRUE : FALSE))
            return CliResult::failed(lastError(QStringLiteral("the image could not be unmounted from ") + folder));
        return CliResult::ok();
    }
    return CliResult::failed(QStringLiteral("no image is mounted at ") + folder);
}

CliResult RunCleanUp(const QStringList&)
{
    if (!ImagingApi.WIMDeleteImageMounts)
        return CliResult::failed(QStringLiteral("the mount clean-up is not available"));
    if (!ImagingApi.WIMDeleteImageMounts(0))
        return CliResult::failed(lastError(QStringLiteral("the mount clean-up failed")));
    return CliResult::ok();
}
