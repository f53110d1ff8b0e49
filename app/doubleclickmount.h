// SPDX-License-Identifier: GPL-3.0-or-later
// The double-click mount: an image file opened from the file manager whose
// own metadata carries a mount command is mounted with its settings, its
// commands run in the mount folder, and it is unmounted again when asked.
#pragma once

#include <QString>

// Whether the image file carries a mount command in its own metadata.
bool HasImageMountCommand(const QString& imageFile);

// The user's answer to the question before a file's stored commands run.
enum class MountConsent {
    Run,       // mount and run the commands; remember the approval
    MountOnly, // mount, run nothing, leave the image mounted
    Cancel,    // do nothing
};

// The windows of the run, as the run sees them. The program registers the
// widgets when a display exists; without a registration nobody can be
// asked, so a command the user has not approved never runs.
class DoubleClickDialogs {
public:
    virtual ~DoubleClickDialogs() = default;
    // Asks whether to run the commands, showing the file and each command
    // exactly as stored (an empty unmount command is not shown).
    virtual MountConsent askConsent(const QString& imageFile, const QString& mountCommand,
                                    const QString& unmountCommand) = 0;
    // Shows why the run failed.
    virtual void showFailure(const QString& text) = 0;
};

// Null removes the registration.
void RegisterDoubleClickDialogs(DoubleClickDialogs* dialogs);
DoubleClickDialogs* RegisteredDoubleClickDialogs();

// The double-click mount of an image file. Returns 0 when it could not be
// prepared (the main window opens on the file instead), and non-zero when
// the run is over: it ran the mount command, failed (one line on stderr and
// in a message box when there is a display), was cancelled, or mounted only.
int RunDoubleClickMount(const QString& imageFile);
