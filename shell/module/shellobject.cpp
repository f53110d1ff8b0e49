// SPDX-License-Identifier: GPL-3.0-or-later
// The class factory and the extension object CKestrelShell with its four
// interfaces, and the menu and icon objects they hand out.
#include "shell/module/kestrelshell.h"
#include "shell/module/shellicon.h"
#include "shell/module/shellmenu.h"
#include "shell/module/shellmodule.h"

#include "common/textutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <atomic>
#include <memory>
#include <new>
#include <vector>

struct KestrelMenu {
    struct Item {
        uint32_t flags = 0;
        uint32_t id = 0;
        int32_t stringNumber = 0;
        QByteArray text; // UTF-8; null for a separator
        std::unique_ptr<KestrelMenu> submenu;
    };
    std::vector<Item> items;
    // Inserts by position; a position past the end appends.
    void insert(uint32_t position, Item item)
    {
        const size_t at = std::min<size_t>(position, items.size());
        items.insert(items.begin() + ptrdiff_t(at), std::move(item));
    }
};

struct KestrelIcon {
    QImage picture; // ARGB32, not premultiplied, square
    int source = 0;
};

namespace {

constexpr GUID kClsid = KESTREL_SHELL_CLSID_INIT;
constexpr IID kIidUnknown = IID_IUNKNOWN_INIT;
constexpr IID kIidClassFactory = IID_ICLASSFACTORY_INIT;
constexpr IID kIidShellExtInit = IID_ISHELLEXTINIT_INIT;
constexpr IID kIidContextMenu = IID_ICONTEXTMENU_INIT;
constexpr IID kIidPersistFile = IID_IPERSISTFILE_INIT;
constexpr IID kIidExtractIcon = IID_IEXTRACTICONW_INIT;

constexpr int kNameUnits = 512;

// ---- The extension object ----

struct CKestrelShell;
template <typename Interface>
struct Slot {
    Interface iface;
    CKestrelShell* owner;
};

struct CKestrelShell {
    // The interface pointers, in their designed order.
    Slot<IShellExtInit> shellExtInit;
    Slot<IContextMenu> contextMenu;
    Slot<IPersistFile> persistFile;
    Slot<IExtractIconW> extractIcon;
    std::atomic<int32_t> refCount{1};
    QString iconSourcePath;
    int mountState = 0;
    int selectionKind = 0;
    KestrelMenu* submenu = nullptr; // owned by the caller's menu it was inserted into
    int mountedIndex = -1;
    int mountedCount = 0;
    QString selectedPath;
    // The folder the file manager shows, and the items of the last menu.
    QString shownFolder;
    MenuState state;
    std::vector<MenuEntry> entries;

    CKestrelShell();
};

template <typename Interface>
CKestrelShell* owner(Interface* self)
{
    return reinterpret_cast<Slot<Interface>*>(self)->owner;
}

HRESULT queryInterface(CKestrelShell* o, const IID* iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!iid)
        return E_INVALIDARG;
    // The table search: IUnknown is the first interface.
    if (SameGuid(*iid, kIidShellExtInit) || SameGuid(*iid, kIidUnknown))
        *out = &o->shellExtInit.iface;
    else if (SameGuid(*iid, kIidContextMenu))
        *out = &o->contextMenu.iface;
    else if (SameGuid(*iid, kIidPersistFile))
        *out = &o->persistFile.iface;
    else if (SameGuid(*iid, kIidExtractIcon))
        *out = &o->extractIcon.iface;
    else
        return E_NOINTERFACE;
    o->refCount.fetch_add(1);
    return S_OK;
}

uint32_t addRef(CKestrelShell* o)
{
    return uint32_t(o->refCount.fetch_add(1) + 1);
}

uint32_t release(CKestrelShell* o)
{
    const int32_t left = o->refCount.fetch_sub(1) - 1;
    if (left == 0) {
        delete o;
        ShellModuleRelease();
    }
    return uint32_t(left);
}

template <typename Interface>
HRESULT qiThunk(Interface* self, const IID* iid, void** out)
{
    return queryInterface(owner(self), iid, out);
}
template <typename Interface>
uint32_t addRefThunk(Interface* self)
{
    return addRef(owner(self));
}
template <typename Interface>
uint32_t releaseThunk(Interface* self)
{
    return release(owner(self));
}

// IShellExtInit

HRESULT initialize(IShellExtInit* self, const char* folder, const KestrelDataObject* data, void*)
{
    CKestrelShell* o = owner(self);
    if (!data)
        return E_INVALIDARG;
    o->selectedPath.clear();
    if (!data->paths || data->count != 1 || !data->paths[0])
        return E_FAIL;
    o->selectedPath = CutToUnits(QFile::decodeName(data->paths[0]), kNameUnits - 1);
    const QFileInfo info(o->selectedPath);
    if (info.isDir())
        o->selectionKind = kSelectionFolder;
    else if (info.exists())
        o->selectionKind = kSelectionFile;
    else
        return E_FAIL;
    o->shownFolder = folder && *folder ? QFile::decodeName(folder) : info.absolutePath();
    return S_OK;
}

// IContextMenu

// Whether a new file can be written in the folder the file manager shows.
bool shownFolderTakesNewFile(const QString& folder)
{
    const QFileInfo info(folder);
    return info.isDir() && ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

KestrelMenu::Item textItem(uint32_t flags, uint32_t id, int number, const QString& text)
{
    KestrelMenu::Item item;
    item.flags = flags;
    item.id = id;
    item.stringNumber = number;
    item.text = text.toUtf8();
    return item;
}

HRESULT queryContextMenu(IContextMenu* self, KestrelMenu* menu, uint32_t index, uint32_t first, uint32_t last,
                         uint32_t flags)
{
    CKestrelShell* o = owner(self);
    if (flags & KESTREL_CMF_DEFAULTONLY)
        return 0;
    if (!menu)
        return E_INVALIDARG;
    const bool takesNewFile = shownFolderTakesNewFile(o->shownFolder);
    const ShellModuleState& module = ShellModule();
    o->state = RefreshMenuState(o->selectionKind, o->selectedPath, GetMountedImages());
    o->selectionKind = o->state.selectionKind;
    o->mountState = o->state.mountState;
    o->mountedIndex = o->state.mountedIndex;
    o->mountedCount = o->state.mountedCount;
    o->entries = BuildMenuEntries(o->state, o->selectedPath, module.imagingLibraryFromFile, takesNewFile, ShellString);

    auto submenu = std::make_unique<KestrelMenu>();
    uint32_t id = first;
    for (const MenuEntry& e : o->entries) {
        if (id > last)
            break;
        const uint32_t state = e.greyed ? KMF_GRAYED | KMF_DISABLED : 0;
        submenu->items.push_back(textItem(KMF_STRING | state, id++, e.stringNumber, e.text));
    }
    // Identifiers that did not fit leave their items out of the commands too.
    o->entries.resize(submenu->items.size());
    const uint32_t count = uint32_t(submenu->items.size());
    o->submenu = submenu.get();
    KestrelMenu::Item popup = textItem(KMF_STRING | KMF_POPUP, 0, 267, ShellString(267));
    popup.submenu = std::move(submenu);
    menu->insert(count, std::move(popup));
    KestrelMenu::Item separator;
    separator.flags = KMF_SEPARATOR;
    menu->insert(index, std::move(separator));
    return HRESULT(id - first);
}

QString startFolder(const QString& remembered)
{
    return remembered.isEmpty() ? QDir::homePath() : remembered;
}

bool pick(bool save, uintptr_t window, QString* result)
{
    ShellModuleState& m = ShellModule();
    QByteArray out(4096, '\0');
    int chosen = 0;
    if (save) {
        chosen = m.pickers.pickSaveFile(m.pickers.context, window, QFile::encodeName(startFolder(m.rememberedSaveFolder)),
                                        ShellString(132).toUtf8(), ShellString(133).toUtf8(), "*.WIM;*.ESD",
                                        (ShellString(293) + QStringLiteral(".WIM")).toUtf8(), out.data(),
                                        uint32_t(out.size()));
    } else {
        chosen = m.pickers.pickFolder(m.pickers.context, window, QFile::encodeName(startFolder(m.rememberedPickFolder)),
                                      ShellString(271).toUtf8(), ShellString(345).toUtf8(), out.data(),
                                      uint32_t(out.size()));
    }
    out.back() = '\0';
    if (!chosen || out.at(0) == '\0')
        return false;
    *result = QFile::decodeName(out.constData());
    // Both pickers start next time where the last result lies.
    const QString folder = QFileInfo(*result).absolutePath();
    (save ? m.rememberedSaveFolder : m.rememberedPickFolder) = folder;
    return true;
}

HRESULT invokeCommand(IContextMenu* self, const KestrelInvokeCommandInfo* info)
{
    CKestrelShell* o = owner(self);
    if (!info)
        return E_INVALIDARG;
    const uintptr_t verb = reinterpret_cast<uintptr_t>(info->lpVerb);
    if (verb >> 16)
        return E_INVALIDARG;
    const size_t offset = verb & 0xFFFF;
    if (offset >= o->entries.size())
        return S_OK;
    const MenuEntry& entry = o->entries[offset];
    if (entry.greyed)
        return S_OK;
    ShellModuleState& module = ShellModule();
    CommandInput input;
    const bool needsFile = entry.action == MenuAction::CompressTo;
    const bool needsFolder = entry.action == MenuAction::ExtractTo;
    if (needsFile || needsFolder) {
        if (!module.hasPickers) {
            // No window system here: the host program shows the dialog and
            // runs the command, without holding up the file manager.
            const QStringList args{QStringLiteral("--pick"), QString::number(entry.stringNumber), o->selectedPath};
            StartDetached(module.hostProgram, args);
            return S_OK;
        }
        if (!pick(needsFile, info->hwnd, needsFile ? &input.chosenFile : &input.chosenFolder))
            return S_OK;
    }
    if (entry.action == MenuAction::UnMount || entry.action == MenuAction::UnMountCommit)
        input.mounts = GetMountedImages();
    const QStringList args = CommandArguments(entry, o->state, o->selectedPath, input);
    if (args.isEmpty() || module.mainProgram.isEmpty())
        return S_OK;
    StartDetached(module.mainProgram, args);
    return S_OK;
}

HRESULT getCommandString(IContextMenu*, uintptr_t idCmd, uint32_t, uint32_t*, char*, uint32_t)
{
    return idCmd == 0 ? S_OK : E_INVALIDARG;
}

// IPersistFile

HRESULT getClassId(IPersistFile*, CLSID*)
{
    return E_NOTIMPL;
}
HRESULT isDirty(IPersistFile*)
{
    return E_NOTIMPL;
}
HRESULT save(IPersistFile*, const char*, int32_t)
{
    return E_NOTIMPL;
}
HRESULT saveCompleted(IPersistFile*, const char*)
{
    return E_NOTIMPL;
}
HRESULT getCurFile(IPersistFile*, char**)
{
    return E_NOTIMPL;
}

HRESULT load(IPersistFile* self, const char* fileName, uint32_t)
{
    CKestrelShell* o = owner(self);
    const QString name = fileName ? QFile::decodeName(fileName) : QString();
    o->iconSourcePath = CutToUnits(name, kNameUnits - 1);
    return name.size() >= kNameUnits ? HRESULT_INSUFFICIENT_BUFFER : S_OK;
}

// IExtractIconW

HRESULT getIconLocation(IExtractIconW*, uint32_t flags, char*, uint32_t, int32_t*, uint32_t* outFlags)
{
    if (flags & KESTREL_GIL_ASYNC)
        return E_PENDING;
    if (outFlags)
        *outFlags = KESTREL_GIL_NOTFILENAME | KESTREL_GIL_DONTCACHE | KESTREL_GIL_PERINSTANCE;
    return S_OK;
}

KestrelIcon* makeIcon(const QImage& picture, int source)
{
    if (picture.isNull())
        return nullptr;
    auto* icon = new (std::nothrow) KestrelIcon;
    if (!icon)
        return nullptr;
    icon->picture = picture.convertToFormat(QImage::Format_ARGB32);
    icon->source = source;
    return icon;
}

HRESULT extract(IExtractIconW* self, const char*, uint32_t, KestrelIcon** large, KestrelIcon** small, uint32_t sizes)
{
    CKestrelShell* o = owner(self);
    if (!large && !small)
        return S_OK;
    const int largeEdge = large ? int(sizes & 0xFFFF) : 0;
    const int smallEdge = small ? int(sizes >> 16) : 0;
    const ShellIconPair icon = ReadIconForShell(o->iconSourcePath, largeEdge, smallEdge);
    const int source = int(icon.source);
    auto give = [&](KestrelIcon** out, const QImage& stored, int edge) {
        if (out)
            *out = makeIcon(stored.isNull() ? ProgramImageFileIcon(edge) : stored, source);
    };
    give(large, icon.large, largeEdge);
    give(small, icon.small, smallEdge);
    return S_OK;
}

const IShellExtInitVtbl kShellExtInitVtbl = {qiThunk<IShellExtInit>, addRefThunk<IShellExtInit>,
                                             releaseThunk<IShellExtInit>, initialize};
const IContextMenuVtbl kContextMenuVtbl = {qiThunk<IContextMenu>,   addRefThunk<IContextMenu>,
                                           releaseThunk<IContextMenu>, queryContextMenu,
                                           invokeCommand,           getCommandString};
const IPersistFileVtbl kPersistFileVtbl = {qiThunk<IPersistFile>, addRefThunk<IPersistFile>, releaseThunk<IPersistFile>,
                                           getClassId,            isDirty,                   load,
                                           save,                  saveCompleted,             getCurFile};
const IExtractIconWVtbl kExtractIconVtbl = {qiThunk<IExtractIconW>, addRefThunk<IExtractIconW>,
                                            releaseThunk<IExtractIconW>, getIconLocation, extract};

CKestrelShell::CKestrelShell()
    : shellExtInit{{&kShellExtInitVtbl}, this}, contextMenu{{&kContextMenuVtbl}, this},
      persistFile{{&kPersistFileVtbl}, this}, extractIcon{{&kExtractIconVtbl}, this}
{
}

// ---- The class factory ----

struct WimClassFactory {
    IClassFactory iface;
    std::atomic<int32_t> refCount{1};
};

HRESULT factoryQueryInterface(IClassFactory* self, const IID* iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!iid || !SameGuid(*iid, kIidClassFactory))
        return E_NOINTERFACE;
    reinterpret_cast<WimClassFactory*>(self)->refCount.fetch_add(1);
    *out = self;
    return S_OK;
}

uint32_t factoryAddRef(IClassFactory* self)
{
    return uint32_t(reinterpret_cast<WimClassFactory*>(self)->refCount.fetch_add(1) + 1);
}

uint32_t factoryRelease(IClassFactory* self)
{
    auto* factory = reinterpret_cast<WimClassFactory*>(self);
    const int32_t left = factory->refCount.fetch_sub(1) - 1;
    if (left == 0) {
        delete factory;
        ShellModuleRelease();
    }
    return uint32_t(left);
}

HRESULT createInstance(IClassFactory*, IUnknown* outer, const IID* iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) CKestrelShell;
    if (!object)
        return E_OUTOFMEMORY;
    // Raised twice and lowered once when the object goes: the module stays
    // loaded for the rest of the process once an object was made.
    ShellModuleAddRef();
    ShellModuleAddRef();
    const HRESULT result = queryInterface(object, iid, out);
    release(object);
    return result;
}

HRESULT lockServer(IClassFactory*, int32_t lock)
{
    if (lock)
        ShellModuleAddRef();
    else
        ShellModuleRelease();
    return S_OK;
}

const IClassFactoryVtbl kFactoryVtbl = {factoryQueryInterface, factoryAddRef, factoryRelease, createInstance,
                                        lockServer};

} // namespace

extern "C" {

KSHAPI HRESULT DllGetClassObject(const CLSID* clsid, const IID* iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!clsid || !SameGuid(*clsid, kClsid))
        return CLASS_E_CLASSNOTAVAILABLE;
    ShellModule();
    auto* factory = new (std::nothrow) WimClassFactory{{&kFactoryVtbl}, {1}};
    if (!factory)
        return E_OUTOFMEMORY;
    ShellModuleAddRef();
    const HRESULT result = factoryQueryInterface(&factory->iface, iid, out);
    factoryRelease(&factory->iface);
    return result;
}

KSHAPI KestrelMenu* KestrelMenuCreate(void)
{
    return new (std::nothrow) KestrelMenu;
}

KSHAPI void KestrelMenuDestroy(KestrelMenu* menu)
{
    delete menu;
}

KSHAPI int KestrelMenuCount(const KestrelMenu* menu)
{
    return menu ? int(menu->items.size()) : 0;
}

KSHAPI int KestrelMenuItemAt(const KestrelMenu* menu, int i, KestrelMenuItem* item)
{
    if (!menu || !item || i < 0 || size_t(i) >= menu->items.size())
        return 0;
    const KestrelMenu::Item& it = menu->items[size_t(i)];
    item->flags = it.flags;
    item->id = it.id;
    item->stringNumber = it.stringNumber;
    item->text = it.text.isNull() ? nullptr : it.text.constData();
    item->submenu = it.submenu.get();
    return 1;
}

KSHAPI int KestrelIconSize(const KestrelIcon* icon)
{
    return icon ? icon->picture.width() : 0;
}

KSHAPI const uint32_t* KestrelIconPixels(const KestrelIcon* icon)
{
    return icon ? reinterpret_cast<const uint32_t*>(icon->picture.constBits()) : nullptr;
}

KSHAPI int KestrelIconSource(const KestrelIcon* icon)
{
    return icon ? icon->source : 0;
}

KSHAPI void KestrelIconDestroy(KestrelIcon* icon)
{
    delete icon;
}

} // extern "C"
