/* SPDX-License-Identifier: GPL-3.0-or-later */
/* The C interface of libKestrelShell.so, the file-manager module: a class
 * object, the extension object with its four interfaces as tables of function
 * pointers, and the small menu and icon objects that stand for the desktop's
 * own menus and icons. Paths are in the file system's encoding (UTF-8 as a
 * rule); menu texts are UTF-8 with "&" before an access key.
 *
 * Hosts load the module with dlopen and ask for the class with
 * DllGetClassObject; every interface pointer starts with its table pointer,
 * and every method takes the interface pointer first. */
#ifndef KESTREL_SHELL_H
#define KESTREL_SHELL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(KESTREL_SHELL_BUILD)
#define KSHAPI __attribute__((visibility("default")))
#else
#define KSHAPI
#endif

typedef int32_t HRESULT;
typedef struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define E_PENDING ((HRESULT)0x8000000Au)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111u)
#define HRESULT_INSUFFICIENT_BUFFER ((HRESULT)0x8007007Au)

/* {FD1EABC6-7243-4BF2-8DF8-2A6F41E4F374} */
#define KESTREL_SHELL_CLSID_INIT {0xFD1EABC6u, 0x7243u, 0x4BF2u, {0x8Du, 0xF8u, 0x2Au, 0x6Fu, 0x41u, 0xE4u, 0xF3u, 0x74u}}
/* The standard interface ids. */
#define IID_IUNKNOWN_INIT {0x00000000u, 0x0000u, 0x0000u, {0xC0u, 0, 0, 0, 0, 0, 0, 0x46u}}
#define IID_ICLASSFACTORY_INIT {0x00000001u, 0x0000u, 0x0000u, {0xC0u, 0, 0, 0, 0, 0, 0, 0x46u}}
#define IID_IPERSISTFILE_INIT {0x0000010Bu, 0x0000u, 0x0000u, {0xC0u, 0, 0, 0, 0, 0, 0, 0x46u}}
#define IID_ISHELLEXTINIT_INIT {0x000214E8u, 0x0000u, 0x0000u, {0xC0u, 0, 0, 0, 0, 0, 0, 0x46u}}
#define IID_ICONTEXTMENU_INIT {0x000214E4u, 0x0000u, 0x0000u, {0xC0u, 0, 0, 0, 0, 0, 0, 0x46u}}
#define IID_IEXTRACTICONW_INIT {0x000214FAu, 0x0000u, 0x0000u, {0xC0u, 0, 0, 0, 0, 0, 0, 0x46u}}

/* ---- Menus: what QueryContextMenu fills ---- */
typedef struct KestrelMenu KestrelMenu;
#define KMF_STRING 0x0000u
#define KMF_GRAYED 0x0001u
#define KMF_DISABLED 0x0002u
#define KMF_POPUP 0x0010u
#define KMF_SEPARATOR 0x0800u
typedef struct KestrelMenuItem {
    uint32_t flags;             /* KMF_* */
    uint32_t id;                /* command identifier; 0 for popups and separators */
    int32_t stringNumber;       /* language string the text is made from; 0 for separators */
    const char* text;           /* UTF-8; NULL for separators */
    const KestrelMenu* submenu; /* the popup's items, else NULL */
} KestrelMenuItem;
KSHAPI KestrelMenu* KestrelMenuCreate(void);
KSHAPI void KestrelMenuDestroy(KestrelMenu* menu);
KSHAPI int KestrelMenuCount(const KestrelMenu* menu);
/* 0 when i is out of range; the texts live as long as the menu. */
KSHAPI int KestrelMenuItemAt(const KestrelMenu* menu, int i, KestrelMenuItem* item);

/* ---- Icons: what Extract hands out ---- */
typedef struct KestrelIcon KestrelIcon;
KSHAPI int KestrelIconSize(const KestrelIcon* icon);
/* size*size pixels, 0xAARRGGBB, not premultiplied, row by row. */
KSHAPI const uint32_t* KestrelIconPixels(const KestrelIcon* icon);
/* 1: the picture stored in the image file; 0: the program's icon, the file
 * stores none; -1: the program's icon, the file could not be read. */
KSHAPI int KestrelIconSource(const KestrelIcon* icon);
KSHAPI void KestrelIconDestroy(KestrelIcon* icon);

/* ---- The selection a file manager hands to Initialize ---- */
typedef struct KestrelDataObject {
    uint32_t count;            /* number of selected items */
    const char* const* paths;  /* their absolute paths; NULL: the data cannot be given */
} KestrelDataObject;

/* ---- InvokeCommand ---- */
typedef struct KestrelInvokeCommandInfo {
    uint32_t cbSize;
    uint32_t fMask;
    uintptr_t hwnd;     /* the invoking window (an X11 window id), or 0 */
    const char* lpVerb; /* a command offset in the low 16 bits (upper bits 0), or a verb text */
    const char* lpParameters;
    const char* lpDirectory;
    int32_t nShow;
} KestrelInvokeCommandInfo;
#define KESTREL_MAKEINTVERB(offset) ((const char*)(uintptr_t)(uint16_t)(offset))

/* ---- The interfaces ---- */
typedef struct IUnknown IUnknown;
#define KESTREL_IUNKNOWN_METHODS(T)                                  \
    HRESULT (*QueryInterface)(T * self, const IID* iid, void** out); \
    uint32_t (*AddRef)(T * self);                                    \
    uint32_t (*Release)(T * self);

typedef struct IUnknownVtbl {
    KESTREL_IUNKNOWN_METHODS(IUnknown)
} IUnknownVtbl;
struct IUnknown {
    const IUnknownVtbl* lpVtbl;
};

typedef struct IClassFactory IClassFactory;
typedef struct IClassFactoryVtbl {
    KESTREL_IUNKNOWN_METHODS(IClassFactory)
    HRESULT (*CreateInstance)(IClassFactory* self, IUnknown* outer, const IID* iid, void** out);
    HRESULT (*LockServer)(IClassFactory* self, int32_t lock);
} IClassFactoryVtbl;
struct IClassFactory {
    const IClassFactoryVtbl* lpVtbl;
};

typedef struct IShellExtInit IShellExtInit;
typedef struct IShellExtInitVtbl {
    KESTREL_IUNKNOWN_METHODS(IShellExtInit)
    /* folder: the folder the file manager shows (NULL: the selection's own folder). */
    HRESULT (*Initialize)(IShellExtInit* self, const char* folder, const KestrelDataObject* data, void* progIdKey);
} IShellExtInitVtbl;
struct IShellExtInit {
    const IShellExtInitVtbl* lpVtbl;
};

#define KESTREL_CMF_DEFAULTONLY 0x1u
typedef struct IContextMenu IContextMenu;
typedef struct IContextMenuVtbl {
    KESTREL_IUNKNOWN_METHODS(IContextMenu)
    /* Success: the number of command identifiers used (HRESULT code field). */
    HRESULT (*QueryContextMenu)(IContextMenu* self, KestrelMenu* menu, uint32_t index, uint32_t idCmdFirst,
                                uint32_t idCmdLast, uint32_t flags);
    HRESULT (*InvokeCommand)(IContextMenu* self, const KestrelInvokeCommandInfo* info);
    HRESULT (*GetCommandString)(IContextMenu* self, uintptr_t idCmd, uint32_t type, uint32_t* reserved, char* name,
                                uint32_t cchMax);
} IContextMenuVtbl;
struct IContextMenu {
    const IContextMenuVtbl* lpVtbl;
};

typedef struct IPersistFile IPersistFile;
typedef struct IPersistFileVtbl {
    KESTREL_IUNKNOWN_METHODS(IPersistFile)
    HRESULT (*GetClassID)(IPersistFile* self, CLSID* out);
    HRESULT (*IsDirty)(IPersistFile* self);
    HRESULT (*Load)(IPersistFile* self, const char* fileName, uint32_t mode);
    HRESULT (*Save)(IPersistFile* self, const char* fileName, int32_t remember);
    HRESULT (*SaveCompleted)(IPersistFile* self, const char* fileName);
    HRESULT (*GetCurFile)(IPersistFile* self, char** fileName);
} IPersistFileVtbl;
struct IPersistFile {
    const IPersistFileVtbl* lpVtbl;
};

#define KESTREL_GIL_ASYNC 0x0020u
#define KESTREL_GIL_NOTFILENAME 0x0008u
#define KESTREL_GIL_DONTCACHE 0x0010u
#define KESTREL_GIL_PERINSTANCE 0x0002u
typedef struct IExtractIconW IExtractIconW;
typedef struct IExtractIconWVtbl {
    KESTREL_IUNKNOWN_METHODS(IExtractIconW)
    HRESULT (*GetIconLocation)(IExtractIconW* self, uint32_t flags, char* iconFile, uint32_t cchMax, int32_t* index,
                               uint32_t* outFlags);
    /* sizes: large edge in the low 16 bits, small edge in the high 16 bits. */
    HRESULT (*Extract)(IExtractIconW* self, const char* file, uint32_t index, KestrelIcon** large,
                       KestrelIcon** small, uint32_t sizes);
} IExtractIconWVtbl;
struct IExtractIconW {
    const IExtractIconWVtbl* lpVtbl;
};

/* ---- Module exports ---- */
KSHAPI HRESULT DllGetClassObject(const CLSID* clsid, const IID* iid, void** out);
KSHAPI HRESULT DllCanUnloadNow(void);

/* The save dialog and folder picker that InvokeCommand shows. A host with a
 * window system sets them; each returns 1 and fills `out` (at most outSize
 * bytes with the terminating zero) with the chosen path, or 0 when cancelled.
 * Without them the module leaves the dialog to its host program
 * ("KestrelShell --pick N PATH", beside the module), which shows it and runs
 * the command. */
typedef struct KestrelPickers {
    int (*pickSaveFile)(void* context, uintptr_t owner, const char* startFolder, const char* title,
                        const char* filterName, const char* filterPattern, const char* proposedName, char* out,
                        uint32_t outSize);
    int (*pickFolder)(void* context, uintptr_t owner, const char* startFolder, const char* title,
                      const char* newFolderText, char* out, uint32_t outSize);
    void* context;
} KestrelPickers;
/* NULL removes them. */
KSHAPI void KestrelShellSetPickers(const KestrelPickers* pickers);

/* Registration for the current user (the freedesktop files that stand for
 * the registry entries). The icon handler and the menu handlers, each on its
 * own (nonzero registers, 0 removes): 0 done, 1 failed or the system is not
 * of this build's width; the menu export gives 2 when the class record
 * failed. Both at once: bit 0 the icon part failed, bit 1 the menu part; 1
 * (register) or 3 (remove) when the system does not fit. */
KSHAPI int DllRegisterIconShExt(int registering);
KSHAPI int DllRegisterMenuShExt(int registering);
KSHAPI int DllRegisterServer(void);
KSHAPI int DllUnregisterServer(void);

#ifdef __cplusplus
}
#endif

#endif
