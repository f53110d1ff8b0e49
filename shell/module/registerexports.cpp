// SPDX-License-Identifier: GPL-3.0-or-later
// The module's four registration exports, over the per-user registration of
// kestrel_shell, for the installation the module belongs to.
#include "shell/module/kestrelshell.h"
#include "shell/module/shellmodule.h"
#include "shell/shellregistration.h"

namespace {

ShellInstall thisInstall()
{
    return ShellInstall{ShellModule().moduleFolder, ShellString(267)};
}

// No exception leaves the C interface.
template <typename F>
int guarded(int failure, F&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

} // namespace

extern "C" {

KSHAPI int DllRegisterIconShExt(int registering)
{
    return guarded(1, [&] { return RegisterIconShellExtension(thisInstall(), registering != 0); });
}

KSHAPI int DllRegisterMenuShExt(int registering)
{
    return guarded(1, [&] { return RegisterMenuShellExtension(thisInstall(), registering != 0); });
}

KSHAPI int DllRegisterServer(void)
{
    return guarded(3, [] { return RegisterShellServer(thisInstall()); });
}

KSHAPI int DllUnregisterServer(void)
{
    return guarded(3, [] { return UnregisterShellServer(thisInstall()); });
}

} // extern "C"
