// SPDX-License-Identifier: GPL-3.0-or-later
// "/Mount", "/MountRW", "/ReMount", "/UnMount" and "/CleanUp".
#include "app/cli.h"
#include "app/cli_actions.h"

#include "app/mountdirectory.h"
#include "common/errortext.h"
#include "common/language.h"
#include "common/settings.h"
#include "common/textutil.h"
#include "imaging/mountlist.h"
#include "pages/core/mountoperations.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <optional>
#include <vector>

namespace {

QString withError(const QString& what, int error)
{
    return error ? what + QStringLiteral(": ") + ErrnoText(error) : what;
}

QString lastError(const QString& what)
{
    return withError(what, errno);
}

// A folder given relative to the current one names the same mount folder,
// and one given through a symbolic link the folder it leads to, as the mount
// list holds it.
bool sameFolder(const QString& mounted, const QString& given)
{
    if (given.isEmpty())
        return false;
    const QFileInfo info(given);
    const QString real = info.canonicalFilePath();
    return SameMountPath(mounted, info.absoluteFilePath()) || (!real.isEmpty() && SameMountPath(mounted, real));
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
    const MountStepResult mounted = MountImageInto(folder, file, number, readWrite, task.ctx.TempPath);
    if (!mounted.ok)
        return CliResult::failed(withError(QStringLiteral("the image could not be mounted at ") + folder,
                                           mounted.error));
    OpenFolderInShell(folder);
    return CliResult::ok();
}

CliResult RunRemount(const QStringList& args)
{
    if (!ImagingApi.WIMRemountImage || !ImagingApi.WIMGetMountedImageInfo)
        return CliResult::failed(QStringLiteral("remounting is not available"));
    const QString folder = args.at(2);
    bool known = false;
    const MountStepResult result =
        RemountImagesAt(folder.isEmpty() ? QString() : QFileInfo(folder).absoluteFilePath(), &known);
    if (!known)
        return CliResult::failed(QStringLiteral("no image is mounted at ") + folder);
    if (!result.ok)
        return CliResult::failed(withError(QStringLiteral("an image could not be remounted"), result.error));
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
        MountStepResult failure{true, 0};
        for (const MountEntry& m : GetMountedImages()) {
            const MountStepResult done = UnmountImageAt(m, false);
            if (!done.ok && failure.ok)
                failure = done;
        }
        return failure.ok ? CliResult::ok()
                          : CliResult::failed(withError(QStringLiteral("an image could not be unmounted"),
                                                        failure.error));
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
        const MountStepResult done = UnmountImageAt(m, commit);
        if (!done.ok)
            return CliResult::failed(withError(QStringLiteral("the image could not be unmounted from ") + folder,
                                               done.error));
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
