// SPDX-License-Identifier: GPL-3.0-or-later
// The main program's side of the file-manager integration: the association
// that makes a double-click on an image file start Kestrel with /OpenFile,
// the module check and loading, and the work folders the menu commands need.
#pragma once

#include "shell/shellregistration.h"

#include <QString>

#include <functional>

// The installation the running program belongs to (its own folder).
ShellInstall RunningInstall();

// Sets (true) or removes (false) the association: the hidden desktop entry
// kestrel-open.desktop made the default for application/x-ms-wim in
// mimeapps.list, and the type's icon in the user's icon theme; setting it
// also installs the mime package. Then Kestrel's open-with entry is kept
// while the association or the icon handler still points here. Removing
// takes out only Kestrel's own entries. True when the last main step
// succeeded.
bool SetFileAssociation(const ShellInstall& install, bool set);

// Whether `path` is an ELF shared object for this program's machine.
bool ShellModuleFits(const QString& path);

// The shell module loaded for one registration run; unloaded with the object.
class ShellModuleHandle {
public:
    explicit ShellModuleHandle(const QString& path);
    ~ShellModuleHandle();
    ShellModuleHandle(const ShellModuleHandle&) = delete;
    ShellModuleHandle& operator=(const ShellModuleHandle&) = delete;

    explicit operator bool() const { return m_handle != nullptr; }
    // dlerror's text when the load failed.
    const QString& error() const { return m_error; }
    // An export taking one BOOL (DllRegisterIconShExt, DllRegisterMenuShExt);
    // nothing when the module lacks it.
    using RegisterExport = int (*)(int);
    RegisterExport registerExport(const char* name) const;

private:
    void* m_handle = nullptr;
    QString m_error;
};

// Makes the automatic mount base folder and the temporary folder of the
// settings with all missing parents; for each that is not a folder
// afterwards, the lines of its failure go to `append`. True when both exist.
bool EnsureWorkDirectories(const std::function<void(const QString&)>& append);
