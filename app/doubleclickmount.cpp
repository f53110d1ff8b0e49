// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/doubleclickmount.h"

#include "app/mountdirectory.h"
#include "app/runcommand.h"
#include "common/desktop.h"
#include "common/errortext.h"
#include "common/envexpand.h"
#include "common/settings.h"
#include "imaging/imagingapi.h"
#include "metadata/mountsettings.h"
#include "pages/core/mountapproval.h"
#include "pages/core/mountoperations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>

namespace {

DoubleClickDialogs* g_dialogs = nullptr;

bool StartsWithWimMagic(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(5) == "MSWIM";
}

// One line on stderr, and the same in a box when someone can see it.
void ReportFailure(const QString& text)
{
    std::fprintf(stderr, "Kestrel: %s\n", text.toLocal8Bit().constData());
    if (g_dialogs)
        g_dialogs->showFailure(text);
}

// Restores the current folder when the run leaves, on every path.
class CurrentFolderGuard {
public:
    CurrentFolderGuard() : m_saved(QDir::currentPath()) {}
    ~CurrentFolderGuard() { QDir::setCurrent(m_saved); }
    CurrentFolderGuard(const CurrentFolderGuard&) = delete;
    CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;

private:
    QString m_saved;
};

} // namespace

void RegisterDoubleClickDialogs(DoubleClickDialogs* dialogs)
{
    g_dialogs = dialogs;
}

DoubleClickDialogs* RegisteredDoubleClickDialogs()
{
    return g_dialogs;
}

bool HasImageMountCommand(const QString& imageFile)
{
    MOUNTSETTINGS settings;
    ReadMountSettings(imageFile, settings);
    return !settings.MountRunCmd.isEmpty();
}

int RunDoubleClickMount(const QString& imageFile)
{
    if (!ImagingApi.WIMMountImage || !ImagingApi.WIMUnmountImage)
        return 0;
    // The mount service and the commands run elsewhere: they get absolute paths.
    const QString file = QFileInfo(imageFile).absoluteFilePath();
    // Nothing is created for a file that is no image or carries no command.
    if (!StartsWithWimMagic(file))
        return 0;
    MOUNTSETTINGS s;
    ReadMountSettings(file, s);
    if (s.MountRunCmd.isEmpty())
        return 0;

    // A file from anywhere may carry any command: it runs only with the
    // user's consent to exactly this file and this text.
    bool runCommands = IsMountCommandApproved(file, s.MountRunCmd, s.UnmountRunCmd);
    if (!runCommands) {
        if (!g_dialogs) {
            ReportFailure(QStringLiteral("%1 carries a command to run after mounting; it runs only after you "
                                         "approve it on a desktop, so nothing was mounted")
                              .arg(file));
            return 1;
        }
        switch (g_dialogs->askConsent(file, s.MountRunCmd, s.UnmountRunCmd)) {
        case MountConsent::Run:
            runCommands = true;
            if (!ApproveMountCommand(file, s.MountRunCmd, s.UnmountRunCmd))
                std::fprintf(stderr, "Kestrel: the approval could not be stored in the settings file\n");
            break;
        case MountConsent::MountOnly:
            break;
        case MountConsent::Cancel:
            return 1;
        }
    }

    QString folder = s.MountPath.isEmpty() ? QString() : QFileInfo(ExpandEnvironmentText(s.MountPath)).absoluteFilePath();
    if (folder.isEmpty()) {
        const QString base = AppSettings().autoMountPath;
        QDir().mkpath(base);
        if (!CreateUniqueMountDirectory(base, folder)) {
            ReportFailure(QStringLiteral("no mount folder can be made in ") + base);
            return 0;
        }
    } else if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        ReportFailure(QStringLiteral("the mount folder cannot be made: ") + folder);
        return 0;
    }

    const uint32_t index = s.MountId ? s.MountId : 1;
    const bool readWrite = s.MountRW != 0;
    const MountStepResult mounted = MountImageInto(folder, file, index, readWrite, AppSettings().wimTempPath);
    if (!mounted.ok) {
        ReportFailure(QStringLiteral("image %1 of %2 could not be mounted at %3: ").arg(index).arg(file, folder)
                      + ErrnoText(mounted.error));
        return 1;
    }
    if (!runCommands) {
        OpenFolderInShell(folder);
        return 1;
    }

    const bool autoUnmount = s.AutoUnmount != 0;
    bool started = false;
    {
        CurrentFolderGuard keep;
        SetEnvironmentText(QStringLiteral("MountDir"), folder);
        SetEnvironmentText(QStringLiteral("WimFile"), file);
        QDir::setCurrent(folder);
        started = RunCommandInDirectory(s.MountRunCmd, folder, autoUnmount);
        if (!started)
            ReportFailure(QStringLiteral("the command after mounting could not be started: ") + s.MountRunCmd);
        else if (!s.UnmountRunCmd.isEmpty() && !RunCommandInDirectory(s.UnmountRunCmd, folder, autoUnmount))
            ReportFailure(QStringLiteral("the command before unmounting could not be started: ") + s.UnmountRunCmd);
    }

    bool unmounted = false;
    if (autoUnmount) {
        MountEntry entry;
        entry.mountPath = folder;
        entry.imagePath = file;
        entry.imageIndex = index;
        entry.readWrite = readWrite;
        const MountStepResult done = UnmountImageAt(entry, s.Commit != 0);
        unmounted = done.ok;
        if (!unmounted)
            ReportFailure(QStringLiteral("the image could not be unmounted; it stays mounted at ") + folder
                          + QStringLiteral(": ") + ErrnoText(done.error));
    }
    // Deleting a folder that still holds the mounted image would delete the
    // image's files, so the folder goes only once the image is out of it.
    if (s.ClearDir && unmounted && QFileInfo(folder).isDir() && !RemoveMountFolder(folder))
        ReportFailure(QStringLiteral("the mount folder could not be removed completely: ") + folder);
    return started ? 1 : 0;
}
