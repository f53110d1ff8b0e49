// SPDX-License-Identifier: GPL-3.0-or-later
// The Kestrel submenu of the file managers: the state of the selection, the
// items that state gives, and the command line each item starts.
#pragma once

#include "imaging/mountlist.h"

#include <QString>
#include <QStringList>

#include <vector>

enum SelectionKind : int {
    kSelectionRoot = 0,   // a file-system root, or nothing usable
    kSelectionFolder = 1,
    kSelectionFile = 2,
};

// Folders: 0 = no mount folder, 1 = mounted read-only, 2 = read-write.
// Files: 0 = read-only, 1 = writable, 2 = mounted read-only, 3 = mounted
// read-write, 4 = cannot be mounted (LZMS or part of a split set).
struct MenuState {
    int selectionKind = kSelectionRoot;
    int mountState = 0;
    int mountedIndex = -1;
    int mountedCount = 0;
};

enum class MenuAction : int {
    OpenPage,       // 272
    CompressTo,     // 273, 276: the save dialog, then /CompPath
    CompressBeside, // "<folder>.WIM" next to the folder
    UnMount,        // 274
    UnMountCommit,  // 275
    ExtractHere,    // into the folder named after the file
    ExtractTo,      // 279: the folder picker, then /ExtrImage
    Mount,          // 280
    MountRW,        // 281
    UnMountAll,     // 282
};

struct MenuEntry {
    MenuAction action;
    int stringNumber; // the language string the text is made from
    QString text;
    bool greyed = false;
};

// The text after the last "/" of a path.
QString PathName(const QString& path);
// The path without the extension of its last part ("/x/boot.wim" -> "/x/boot");
// a dot in a folder name is not an extension.
QString PathStem(const QString& path);

// Whether `path` is "/" or the root of a mounted file system.
bool IsFileSystemRoot(const QString& path);

// Refreshes the state of a selection against the mounted-image list. A file
// that is not mounted is opened through the imaging layer for its
// compression and part count.
MenuState RefreshMenuState(int selectionKind, const QString& selectedPath, const std::vector<MountEntry>& mounts);

// The submenu for a state, offset 0 first. `strings` gives language string n.
std::vector<MenuEntry> BuildMenuEntries(const MenuState& state, const QString& selectedPath, bool imagingFromFile,
                                        bool folderTakesNewFile, QString (*strings)(int));

// What a command needs besides the selection: the chosen file or folder and
// the mounted-image list at the time of the choice.
struct CommandInput {
    QString chosenFile;
    QString chosenFolder;
    std::vector<MountEntry> mounts;
};

// The arguments Kestrel is started with; empty when nothing is to run (no
// mount entry found, dialog cancelled).
QStringList CommandArguments(const MenuEntry& entry, const MenuState& state, const QString& selectedPath,
                             const CommandInput& input);

// Starts `program` with the arguments in its own session and does not wait
// for it; no zombie is left behind. False when it cannot be started.
bool StartDetached(const QString& program, const QStringList& args);
