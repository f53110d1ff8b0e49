// SPDX-License-Identifier: GPL-3.0-or-later
// What the file-manager module keeps for the whole process: its paths, the
// temporary folder, the imaging binding, the string table, the module count
// and the remembered folders of its two dialogs.
#pragma once

#include "shell/module/kestrelshell.h"

#include <QHash>
#include <QString>

#include <atomic>

struct ShellModuleState {
    QString modulePath;   // the module file itself
    QString moduleFolder; // its folder, without a trailing "/"
    QString mainProgram;  // <folder>/Kestrel, which the menu commands start
    QString hostProgram;  // <folder>/KestrelShell, which shows dialogs for hosts without them
    QString languagesFolder;
    QString tempFolder;
    bool imagingLibraryFromFile = false;
    QHash<int, QString> strings; // the [String_List] section
    QString rememberedSaveFolder;
    QString rememberedPickFolder;
    KestrelPickers pickers{};
    bool hasPickers = false;
};

// The module's state, started on first use (before any object exists):
// paths, temporary folder, imaging binding and string table.
ShellModuleState& ShellModule();

// Language string n of the module's table; empty when it has none.
QString ShellString(int n);

// The module count: raised by class factories, extension objects and server
// locks, lowered when they go.
void ShellModuleAddRef();
void ShellModuleRelease();
long ShellModuleCount();

// Builds the string table from the bytes of a language file (UTF-16LE with
// its byte-order mark, else the locale's encoding): the entries of the
// section "[String_List]", the first entry of each number winning.
QHash<int, QString> ParseStringTable(const QByteArray& bytes);

bool SameGuid(const GUID& a, const GUID& b);
