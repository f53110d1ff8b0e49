// SPDX-License-Identifier: GPL-3.0-or-later
// Emptying the two work folders of the settings: the automatic mount base
// folder and the temporary folder. No user interface; it may take long (a
// slow disk, many files), so callers run it off the GUI thread.
#pragma once

#include "imaging/mountlist.h"

#include <QString>
#include <QStringList>

#include <vector>

struct FolderCleanRules {
    // Folders (absolute paths, compared exactly after cleaning the text) that
    // are neither entered nor removed, at any depth.
    QStringList sparedFolders;
    // Entries directly in the folder whose names start with one of these stay
    // with everything inside them.
    QStringList sparedTopNamePrefixes;
};

struct FolderCleanResult {
    bool started = false; // false: the folder is not an absolute path of an existing folder
    int removed = 0;      // entries deleted, files and folders
    int failed = 0;       // entries that could not be deleted
    QStringList spared;   // folders left alone (live mounts, other file systems, staging folders)
};

// Deletes everything inside `folder`; the folder itself stays. Symbolic links
// are deleted as links and never followed, a folder on another file system
// (a mount point of any kind) is never entered, and folders without write
// permission for their owner get it back so that their entries can go.
// Errors are counted and skipped. The folder given may itself be reached
// through a link: that one step is the user's own choice.
FolderCleanResult CleanFolderContents(const QString& folder, const FolderCleanRules& rules);

// The mount base folder spares the mount folder of every mounted image.
FolderCleanRules MountBaseCleanRules(const std::vector<MountEntry>& mounts);

// The temporary folder spares the staging folder of every image mounted
// read-write: it holds the changes not yet committed ("<file>.staging...").
FolderCleanRules TempFolderCleanRules(const std::vector<MountEntry>& mounts);

// Creates a settings folder with its missing parents; true when it exists as
// a folder afterwards. An empty or relative path is refused.
bool CreateWorkFolder(const QString& path);
