// SPDX-License-Identifier: GPL-3.0-or-later
// Registering the file-manager integration for the current user. The
// registry entries of the design become files under $XDG_DATA_HOME and
// $XDG_CONFIG_HOME:
//   the extension association    the mime package mime/packages/kestrel.xml
//   the icon handler             thumbnailers/kestrel.thumbnailer
//   the menu handlers            the Dolphin service menu, the Nemo action,
//                                Kestrel's actions in Thunar's uca.xml, and a
//                                Nautilus script when the native Nautilus
//                                extension is not installed
//   the class key and approval   the record kestrel/shell-extension.ini
//   the per-user open-with entry kestrel-open.desktop under
//                                [Added Associations] in mimeapps.list
// The icon handler, the menu handlers and the association (association.h)
// are three switches that never disturb each other. Nothing another program
// wrote is changed or removed.
#pragma once

#include <QString>

inline constexpr auto kShellClassId = "{FD1EABC6-7243-4BF2-8DF8-2A6F41E4F374}";
inline constexpr auto kShellClassName = "WimFileShellExtensions";
inline constexpr auto kShellApprovalText = "Kestrel Shell Extension Function";

// One installation: the folder that holds the program, the module and the
// host that file managers run.
struct ShellInstall {
    QString folder;
    // The name of the menu entries, in the interface's language.
    QString menuName;
    QString program() const { return folder + QStringLiteral("/Kestrel"); }
    QString host() const { return folder + QStringLiteral("/KestrelShell"); }
    QString module() const { return folder + QStringLiteral("/libKestrelShell.so"); }
};

// Where each piece lives for the current user.
namespace shellfiles {
QString MimePackage();
QString Thumbnailer();
QString DolphinMenu();
QString NemoAction();
QString ThunarActions();
QString NautilusScript();
QString Record();
QString OpenEntry();
// The thumbnailer the Debian package installs for everyone.
QString SystemThumbnailer();
} // namespace shellfiles

// Whether the system is of the width this build is for: an x86-64 build
// needs an x86-64 kernel, an i386 build any other.
bool SystemFitsBuild();

// Whether the package's system-wide thumbnailer is installed: then no
// per-user one is written (GNOME's sandbox runs it badly from a home folder).
bool SystemThumbnailerInstalled();
// Whether the native Nautilus extension is installed: then no Nautilus
// script is written.
bool NautilusExtensionInstalled();

// The building blocks.
bool AssociateExtensions();
bool IconHandlerExists();
bool MenuHandlersExist();
bool IconHandlerIsOurs(const ShellInstall& install);
bool OpenCommandIsOurs(const ShellInstall& install);
// The record's approval value: set when registering; removed when no
// handler is left and it still holds Kestrel's own text.
void UpdateApprovedEntry(bool registering);
// Kestrel's open-with entry: taken out when unregistering, then (again)
// offered unless unregistering without `keep`.
void RefreshOpenWithProgids(bool registering, bool keep);

// The module's four registration exports, with their results:
// the icon handler (0 done, 1 failed or the system does not fit),
int RegisterIconShellExtension(const ShellInstall& install, bool registering);
// the menu handlers (0 done, 1 the handlers failed or the system does not
// fit, 2 the class record failed),
int RegisterMenuShellExtension(const ShellInstall& install, bool registering);
// both (bit 0 the icon part failed, bit 1 the menu part; 1 when the system
// does not fit), and both removed (the same bits; 3 when it does not fit).
int RegisterShellServer(const ShellInstall& install);
int UnregisterShellServer(const ShellInstall& install);
