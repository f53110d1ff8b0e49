// SPDX-License-Identifier: GPL-3.0-or-later
// KestrelShell: what file managers run to reach the Kestrel module.
#include "shell/host/shellhost.h"

#include <cstdio>
#include <cstring>

void* CreateShellObject(const IID& iid)
{
    const CLSID clsid = KESTREL_SHELL_CLSID_INIT;
    const IID factoryIid = IID_ICLASSFACTORY_INIT;
    IClassFactory* factory = nullptr;
    if (DllGetClassObject(&clsid, &factoryIid, reinterpret_cast<void**>(&factory)) != S_OK || !factory)
        return nullptr;
    void* object = nullptr;
    if (factory->lpVtbl->CreateInstance(factory, nullptr, &iid, &object) != S_OK)
        object = nullptr;
    factory->lpVtbl->Release(factory);
    return object;
}

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--thumbnail") == 0)
        return RunThumbnailer(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--menu") == 0)
        return RunMenu(argc, argv, false);
    if (argc >= 2 && std::strcmp(argv[1], "--pick") == 0)
        return RunMenu(argc, argv, true);
    std::fprintf(stderr, "usage: KestrelShell --thumbnail SIZE INPUT OUTPUT\n"
                         "       KestrelShell --menu PATH\n");
    return 2;
}
