// SPDX-License-Identifier: GPL-3.0-or-later
#include "shellhost.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <map>
#include <memory>

namespace {

// Writes its arguments, one a line, into spawned/ beside itself; the record
// appears whole (renamed into place).
const char kRecorder[] = "#!/bin/sh\n"
                         "dir=$(dirname \"$0\")/spawned\n"
                         "mkdir -p \"$dir\"\n"
                         "{ printf '%s\\n' \"$(basename \"$0\")\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; }"
                         " > \"$dir/.$$\" && mv \"$dir/.$$\" \"$dir/$(date +%s%N).$$\"\n";

template <typename F>
void bind(void* handle, const char* name, F& slot)
{
    slot = reinterpret_cast<F>(dlsym(handle, name));
    if (!slot)
        ADD_FAILURE() << "the module does not export " << name;
}

ShellModuleCopy* makeCopy(const QString& name, bool withImagingLayer)
{
    static QTemporaryDir root(QDir::tempPath() + QStringLiteral("/kestrel-shell-XXXXXX"));
    auto* copy = new ShellModuleCopy;
    copy->folder = root.path() + u'/' + name;
    QDir().mkpath(copy->folder + QStringLiteral("/spawned"));
    const QString out = QStringLiteral(KESTREL_OUT_DIR);
    QFile::copy(out + QStringLiteral("/libKestrelShell.so"), copy->path());
    if (withImagingLayer)
        QFile::copy(out + QStringLiteral("/libwimgapi.so.10.0.0"), copy->folder + QStringLiteral("/libwimgapi.so"));
    for (const char* program : {"Kestrel", "KestrelShell"}) {
        QFile f(copy->folder + u'/' + QLatin1String(program));
        if (f.open(QIODevice::WriteOnly))
            f.write(kRecorder);
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    copy->handle = dlopen(QFile::encodeName(copy->path()).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!copy->handle) {
        ADD_FAILURE() << "dlopen: " << dlerror();
        return copy;
    }
    bind(copy->handle, "DllGetClassObject", copy->getClassObject);
    bind(copy->handle, "DllCanUnloadNow", copy->canUnloadNow);
    bind(copy->handle, "KestrelMenuCreate", copy->menuCreate);
    bind(copy->handle, "KestrelMenuDestroy", copy->menuDestroy);
    bind(copy->handle, "KestrelMenuCount", copy->menuCount);
    bind(copy->handle, "KestrelMenuItemAt", copy->menuItemAt);
    bind(copy->handle, "KestrelIconSize", copy->iconSize);
    bind(copy->handle, "KestrelIconPixels", copy->iconPixels);
    bind(copy->handle, "KestrelIconSource", copy->iconSource);
    bind(copy->handle, "KestrelIconDestroy", copy->iconDestroy);
    bind(copy->handle, "KestrelShellSetPickers", copy->setPickers);
    return copy;
}

} // namespace

const ShellModuleCopy& LoadShellModule(const QString& name, bool withImagingLayer)
{
    static std::map<QString, std::unique_ptr<ShellModuleCopy>> copies;
    auto& slot = copies[name];
    if (!slot)
        slot.reset(makeCopy(name, withImagingLayer));
    return *slot;
}

QStringList NextStarted(const ShellModuleCopy& module)
{
    QDir dir(module.folder + QStringLiteral("/spawned"));
    // The record is written by a program started in the background: wait
    // for it, generously.
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        const QStringList records = dir.entryList(QDir::Files, QDir::Name);
        if (!records.isEmpty()) {
            QFile f(dir.filePath(records.first()));
            QStringList args;
            if (f.open(QIODevice::ReadOnly))
                args = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
            f.remove();
            return args;
        }
        QThread::msleep(20);
    }
    return {};
}

void ForgetStarted(const ShellModuleCopy& module)
{
    QDir dir(module.folder + QStringLiteral("/spawned"));
    for (const QString& f : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(f);
}

void* CreateObject(const ShellModuleCopy& module, const IID& iid)
{
    const CLSID clsid = KESTREL_SHELL_CLSID_INIT;
    const IID factoryIid = IID_ICLASSFACTORY_INIT;
    IClassFactory* factory = nullptr;
    if (module.getClassObject(&clsid, &factoryIid, reinterpret_cast<void**>(&factory)) != S_OK)
        return nullptr;
    void* object = nullptr;
    factory->lpVtbl->CreateInstance(factory, nullptr, &iid, &object);
    factory->lpVtbl->Release(factory);
    return object;
}

ShellObject::ShellObject(const ShellModuleCopy& module) : m_module(module)
{
    const IID initIid = IID_ISHELLEXTINIT_INIT;
    const IID menuIid = IID_ICONTEXTMENU_INIT;
    m_init = static_cast<IShellExtInit*>(CreateObject(module, initIid));
    if (m_init)
        m_init->lpVtbl->QueryInterface(m_init, &menuIid, reinterpret_cast<void**>(&m_menu));
}

ShellObject::~ShellObject()
{
    if (m_menu)
        m_menu->lpVtbl->Release(m_menu);
    if (m_init)
        m_init->lpVtbl->Release(m_init);
}

HRESULT ShellObject::initialize(const QStringList& paths, const QString& shownFolder)
{
    std::vector<QByteArray> bytes;
    for (const QString& p : paths)
        bytes.push_back(QFile::encodeName(p));
    std::vector<const char*> ptrs;
    for (const QByteArray& b : bytes)
        ptrs.push_back(b.constData());
    const KestrelDataObject data{uint32_t(ptrs.size()), ptrs.data()};
    const QByteArray folder = QFile::encodeName(shownFolder);
    return m_init->lpVtbl->Initialize(m_init, shownFolder.isEmpty() ? nullptr : folder.constData(), &data, nullptr);
}

std::vector<HostItem> ShellObject::query(HRESULT* result, uint32_t flags)
{
    std::vector<HostItem> items;
    KestrelMenu* menu = m_module.menuCreate();
    const HRESULT r = m_menu->lpVtbl->QueryContextMenu(m_menu, menu, 0, 100, 0x7FFF, flags);
    if (result)
        *result = r;
    for (int i = 0; i < m_module.menuCount(menu); ++i) {
        KestrelMenuItem popup{};
        if (!m_module.menuItemAt(menu, i, &popup) || !popup.submenu)
            continue;
        for (int j = 0; j < m_module.menuCount(popup.submenu); ++j) {
            KestrelMenuItem item{};
            m_module.menuItemAt(popup.submenu, j, &item);
            items.push_back({item.stringNumber, QString::fromUtf8(item.text),
                             (item.flags & (KMF_GRAYED | KMF_DISABLED)) == (KMF_GRAYED | KMF_DISABLED), item.id});
        }
    }
    m_module.menuDestroy(menu);
    return items;
}

HRESULT ShellObject::invoke(uint32_t offset)
{
    KestrelInvokeCommandInfo info{};
    info.cbSize = sizeof info;
    info.lpVerb = KESTREL_MAKEINTVERB(offset);
    return m_menu->lpVtbl->InvokeCommand(m_menu, &info);
}

HRESULT ShellObject::invokeVerb(const char* verb)
{
    KestrelInvokeCommandInfo info{};
    info.cbSize = sizeof info;
    info.lpVerb = verb;
    return m_menu->lpVtbl->InvokeCommand(m_menu, &info);
}

QString BuiltInString(int n)
{
    static const QHash<int, QString> texts = {
        {267, QStringLiteral("Kestrel - WIM映像处理工具")},
        {272, QStringLiteral("用 Kestrel 处理(&S)...")},
        {273, QStringLiteral("添加到 WIM 映像(&A)...")},
        {274, QStringLiteral("用 Kestrel 只读卸载(&R)")},
        {275, QStringLiteral("用 Kestrel 可写卸载(&W)")},
        {276, QStringLiteral("添加到 WIM 映像(&A)...")},
        {277, QStringLiteral("添加到")},
        {278, QStringLiteral("解压到")},
        {279, QStringLiteral("解压到指定目录(&A)...")},
        {280, QStringLiteral("用 Kestrel 只读挂载(&R)")},
        {281, QStringLiteral("用 Kestrel 可写挂载(&W)")},
        {282, QStringLiteral("用 Kestrel 卸载所有(&T)")},
    };
    return texts.value(n);
}
