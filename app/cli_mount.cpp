// SPDX-License-Identifier: GPL-3.0-or-later
// "/Mount", "/MountRW", "/ReMount", "/UnMount" and "/CleanUp".
#include "app/cli.h"
#include "app/cli_actions.h"

#include "app/language.h"
#include "app/mountdirectory.h"
#include "app/settings.h"
#include "common/textutil.h"

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

// Mount folders are compared as absolute paths, exactly (Linux names are
// case-sensitive); a folder given relative to the current one names the same.
bool sameFolder(const QString& mounted, const QString& given)
{
    return !mounted.isEmpty() && !given.isEmpty()
        && QDir::cleanPath(mounted) == QDir::cleanPath(QFileInfo(given).absoluteFilePath());
}

// Reads a list of mount records; the list may grow between the size query
// and the read, so a failed read is tried again with the new size.
template <typename Record, typename Query>
std::vector<Record> readMountRecords(Query query)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD bytes = 0;
        query(nullptr, &bytes);
        const size_t count = bytes / sizeof(Record);
        if (count == 0)
            return {};
        std::vector<Record> records(count);
        DWORD size = DWORD(count * sizeof(Record));
        if (query(records.data(), &size)) {
            records.resize(std::min<size_t>(count, size / sizeof(Record)));
            return records;
        }
    }
    return {};
}

std::vector<WIM_MOUNT_LIST> mountedImages()
{
    if (!ImagingApi.WIMGetMountedImages)
        return {};
    return readMountRecords<WIM_MOUNT_LIST>(
        [](void* buffer, DWORD* bytes) { return ImagingApi.WIMGetMountedImages(buffer, bytes) != FALSE; });
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
    uint32_t number = ParseImageReference(file);
    if (number == 0)
        number = 1;
    if (!QFileInfo(file).isFile())
        return CliResult::failed(QStringLiteral("the image file does not exist: ") + file);
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
    const std::u16string temp = Units(task.ctx.TempPath);
    if (readWrite && !QFileInfo(task.ctx.TempPath).isDir())
        QDir().mkpath(task.ctx.TempPath);
    errno = 0;
    if (!ImagingApi.WIMMountImage(Units(folder).c_str(), Units(file).c_str(), number, readWrite ? temp.c_str() : nullptr))
        return CliResult::failed(lastError(QStringLiteral("the image could not be mounted at ") + folder));
    OpenFolderInShell(folder);
    return CliResult::ok();
}

CliResult RunRemount(const QStringList& args)
{
    if (!ImagingApi.WIMRemountImage || !ImagingApi.WIMGetMountedImageInfo)
        return CliResult::failed(QStringLiteral("remounting is not available"));
    const QString folder = args.at(2);
    const auto records = readMountRecords<WIM_MOUNT_INFO_LEVEL1>([](void* buffer, DWORD* bytes) {
        DWORD count = 0;
        DWORD returned = 0;
        const BOOL ok = ImagingApi.WIMGetMountedImageInfo(MountedImageInfoLevel1, &count, buffer, *bytes, &returned);
        *bytes = returned;
        return ok != FALSE;
    });
    int failures = 0;
    for (const WIM_MOUNT_INFO_LEVEL1& r : records) {
        const QString mountPath = FromUnits(r.MountPath, WIM_MAX_PATH);
        if (!(r.MountFlags & WIM_MOUNT_FLAG_REMOUNTABLE) || (!folder.isEmpty() && !sameFolder(mountPath, folder)))
            continue;
        QDir().mkpath(mountPath);
        if (!ImagingApi.WIMRemountImage(Units(mountPath).c_str(), 0))
            ++failures;
    }
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
        for (const WIM_MOUNT_LIST& m : mountedImages()) {
            if (!ImagingApi.WIMUnmountImage(m.MountPath, m.WimPath, m.ImageIndex, FALSE))
                ++failures;
        }
        return failures ? CliResult::failed(lastError(QStringLiteral("an image could not be unmounted")))
                        : CliResult::ok();
    }
    for (const WIM_MOUNT_LIST& m : mountedImages()) {
        if (!sameFolder(FromUnits(m.MountPath, WIM_MAX_PATH), folder))
            continue;
        bool commit = false;
        if (m.MountedForRW) {
            const std::optional<bool> decision = commitDecision(args);
            if (!decision)
                return CliResult::failed(
                    QStringLiteral("/Update needs a display to ask whether to save the changes; use /Commit or leave "
                                   "both out"));
            commit = *decision;
        }
        if (!ImagingApi.WIMUnmountImage(m.MountPath, m.WimPath, m.ImageIndex, commit ? TRUE : FALSE))
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
