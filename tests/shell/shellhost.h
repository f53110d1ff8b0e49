// SPDX-License-Identifier: GPL-3.0-or-later
// A small host for the file-manager module: a copy of libKestrelShell.so in
// a folder of its own, loaded with dlopen, beside stand-ins for Kestrel and
// KestrelShell that write down the arguments they were started with.
#pragma once

#include "shell/module/kestrelshell.h"

#include <QString>
#include <QStringList>

#include <vector>

struct ShellModuleCopy {
    QString folder;
    void* handle = nullptr;
    HRESULT (*getClassObject)(const CLSID*, const IID*, void**) = nullptr;
    HRESULT (*canUnloadNow)() = nullptr;
    KestrelMenu* (*menuCreate)() = nullptr;
    void (*menuDestroy)(KestrelMenu*) = nullptr;
    int (*menuCount)(const KestrelMenu*) = nullptr;
    int (*menuItemAt)(const KestrelMenu*, int, KestrelMenuItem*) = nullptr;
    int (*iconSize)(const KestrelIcon*) = nullptr;
    const uint32_t* (*iconPixels)(const KestrelIcon*) = nullptr;
    int (*iconSource)(const KestrelIcon*) = nullptr;
    void (*iconDestroy)(KestrelIcon*) = nullptr;
    void (*setPickers)(const KestrelPickers*) = nullptr;
    QString path() const { return folder + QStringLiteral("/libKestrelShell.so"); }
};

// The copy named `name`, made and loaded once per process. With the imaging
// layer, libwimgapi.so lies beside it (the module binds it from disk);
// without, only the copy the module carries is there.
const ShellModuleCopy& LoadShellModule(const QString& name, bool withImagingLayer);

// The arguments of the next program the module started (argument 0 first:
// "Kestrel" or "KestrelShell"), waiting for its record; empty when none
// came. Each record is used once.
QStringList NextStarted(const ShellModuleCopy& module);
// Throws away records not yet taken.
void ForgetStarted(const ShellModuleCopy& module);

// One menu item as the host sees it.
struct HostItem {
    int stringNumber = 0;
    QString text;
    bool greyed = false;
    uint32_t id = 0;
};

// An extension object asked for IShellExtInit and IContextMenu.
class ShellObject {
public:
    explicit ShellObject(const ShellModuleCopy& module);
    ~ShellObject();
    ShellObject(const ShellObject&) = delete;
    ShellObject& operator=(const ShellObject&) = delete;
    HRESULT initialize(const QStringList& paths, const QString& shownFolder = QString());
    // Builds the menu; the submenu's items in order. `result` gets the
    // return value of QueryContextMenu.
    std::vector<HostItem> query(HRESULT* result = nullptr, uint32_t flags = 0);
    // Invokes the item at `offset`.
    HRESULT invoke(uint32_t offset);
    HRESULT invokeVerb(const char* verb);
    IContextMenu* menu() const { return m_menu; }
    IShellExtInit* init() const { return m_init; }

private:
    const ShellModuleCopy& m_module;
    IShellExtInit* m_init = nullptr;
    IContextMenu* m_menu = nullptr;
};

// An object of the module asked for an interface.
void* CreateObject(const ShellModuleCopy& module, const IID& iid);

// The texts the built-in language gives the menu's strings.
QString BuiltInString(int n);
