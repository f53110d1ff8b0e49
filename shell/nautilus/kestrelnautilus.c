/* SPDX-License-Identifier: GPL-3.0-or-later */
/* The GNOME Files extension: for one selected image file or folder, the
 * Kestrel submenu of libKestrelShell.so in the context menu itself, greyed
 * items insensitive, the chosen item run through the module. */
#define _GNU_SOURCE
#include "shell/module/kestrelshell.h"

#include <nautilus-extension.h>

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#define KESTREL_FIRST_ID 1u
#define KESTREL_LAST_ID 0x7FFFu

/* ---- The module, loaded once ---- */

typedef struct ShellModuleApi {
    void *handle;
    HRESULT (*getClassObject)(const CLSID *, const IID *, void **);
    int (*menuCount)(const KestrelMenu *);
    int (*menuItemAt)(const KestrelMenu *, int, KestrelMenuItem *);
    KestrelMenu *(*menuCreate)(void);
    void (*menuDestroy)(KestrelMenu *);
} ShellModuleApi;

static ShellModuleApi module_api;

/* The module lies beside this extension's own file (the extension folder
 * holds a link to it, which is followed); KESTREL_SHELL_MODULE names another. */
static char *module_path(void)
{
    const char *named = g_getenv("KESTREL_SHELL_MODULE");
    if (named && *named)
        return g_strdup(named);
    Dl_info info;
    if (dladdr((void *)&module_path, &info) && info.dli_fname) {
        char *real = realpath(info.dli_fname, NULL);
        if (real) {
            char *folder = g_path_get_dirname(real);
            char *path = g_build_filename(folder, "libKestrelShell.so", NULL);
            free(real);
            g_free(folder);
            if (g_file_test(path, G_FILE_TEST_IS_REGULAR))
                return path;
            g_free(path);
        }
    }
    return g_strdup(KESTREL_SHELL_MODULE_DEFAULT);
}

static gboolean load_module(void)
{
    if (module_api.handle)
        return TRUE;
    char *path = module_path();
    void *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        g_warning("Kestrel: cannot load %s: %s", path, dlerror());
    g_free(path);
    if (!handle)
        return FALSE;
    ShellModuleApi api = {handle, NULL, NULL, NULL, NULL, NULL};
    *(void **)&api.getClassObject = dlsym(handle, "DllGetClassObject");
    *(void **)&api.menuCount = dlsym(handle, "KestrelMenuCount");
    *(void **)&api.menuItemAt = dlsym(handle, "KestrelMenuItemAt");
    *(void **)&api.menuCreate = dlsym(handle, "KestrelMenuCreate");
    *(void **)&api.menuDestroy = dlsym(handle, "KestrelMenuDestroy");
    if (!api.getClassObject || !api.menuCount || !api.menuItemAt || !api.menuCreate || !api.menuDestroy) {
        g_warning("Kestrel: the module lacks its exports");
        dlclose(handle);
        return FALSE;
    }
    module_api = api;
    return TRUE;
}

static IShellExtInit *create_object(void)
{
    static const CLSID clsid = KESTREL_SHELL_CLSID_INIT;
    static const IID factory_iid = IID_ICLASSFACTORY_INIT;
    static const IID init_iid = IID_ISHELLEXTINIT_INIT;
    IClassFactory *factory = NULL;
    if (module_api.getClassObject(&clsid, &factory_iid, (void **)&factory) != S_OK || !factory)
        return NULL;
    IShellExtInit *object = NULL;
    if (factory->lpVtbl->CreateInstance(factory, NULL, &init_iid, (void **)&object) != S_OK)
        object = NULL;
    factory->lpVtbl->Release(factory);
    return object;
}

/* ---- Menu items ---- */

/* Each item holds a reference on the menu interface until GNOME Files drops it. */
typedef struct ItemCommand {
    IContextMenu *menu;
    guint offset;
} ItemCommand;

static void item_command_free(gpointer data)
{
    ItemCommand *command = data;
    command->menu->lpVtbl->Release(command->menu);
    g_free(command);
}

static void on_activate(NautilusMenuItem *item, gpointer user_data)
{
    (void)user_data;
    ItemCommand *command = g_object_get_data(G_OBJECT(item), "kestrel-command");
    if (!command)
        return;
    KestrelInvokeCommandInfo info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.lpVerb = KESTREL_MAKEINTVERB(command->offset);
    command->menu->lpVtbl->InvokeCommand(command->menu, &info);
}

/* "&" marks an access key in the module's texts; GNOME Files shows none. */
static char *label_text(const char *text)
{
    GString *label = g_string_new(NULL);
    for (const char *p = text; *p; ++p) {
        if (*p == '&') {
            if (p[1] != '&')
                continue;
            ++p;
        }
        g_string_append_c(label, *p);
    }
    return g_string_free(label, FALSE);
}

static gboolean is_image_file_name(const char *name)
{
    const char *dot = name ? strrchr(name, '.') : NULL;
    return dot && (g_ascii_strcasecmp(dot, ".wim") == 0 || g_ascii_strcasecmp(dot, ".swm") == 0 ||
                   g_ascii_strcasecmp(dot, ".esd") == 0);
}

static GList *build_items(IContextMenu *context, const KestrelMenu *menu)
{
    const KestrelMenu *items = NULL;
    KestrelMenuItem popup;
    memset(&popup, 0, sizeof popup);
    for (int i = 0; i < module_api.menuCount(menu); ++i) {
        KestrelMenuItem item;
        if (module_api.menuItemAt(menu, i, &item) && item.submenu) {
            popup = item;
            items = item.submenu;
        }
    }
    if (!items)
        return NULL;
    char *top_label = label_text(popup.text ? popup.text : "Kestrel");
    NautilusMenuItem *top = nautilus_menu_item_new("Kestrel::Menu", top_label, NULL, NULL);
    g_free(top_label);
    NautilusMenu *submenu = nautilus_menu_new();
    for (int i = 0; i < module_api.menuCount(items); ++i) {
        KestrelMenuItem item;
        if (!module_api.menuItemAt(items, i, &item) || !item.text)
            continue;
        const guint offset = item.id - KESTREL_FIRST_ID;
        char name[64];
        g_snprintf(name, sizeof name, "Kestrel::Item%u", offset);
        char *label = label_text(item.text);
        NautilusMenuItem *entry = nautilus_menu_item_new(name, label, NULL, NULL);
        g_free(label);
        g_object_set(entry, "sensitive", (item.flags & (KMF_GRAYED | KMF_DISABLED)) == 0, NULL);
        ItemCommand *command = g_new0(ItemCommand, 1);
        context->lpVtbl->AddRef(context);
        command->menu = context;
        command->offset = offset;
        g_object_set_data_full(G_OBJECT(entry), "kestrel-command", command, item_command_free);
        g_signal_connect(entry, "activate", G_CALLBACK(on_activate), NULL);
        nautilus_menu_append_item(submenu, entry);
        g_object_unref(entry);
    }
    nautilus_menu_item_set_submenu(top, submenu);
    g_object_unref(submenu);
    return g_list_append(NULL, top);
}

static GList *get_file_items(NautilusMenuProvider *provider, GList *files)
{
    (void)provider;
    if (!files || files->next)
        return NULL;
    NautilusFileInfo *file = files->data;
    GFile *location = nautilus_file_info_get_location(file);
    char *path = location ? g_file_get_path(location) : NULL;
    g_clear_object(&location);
    if (!path)
        return NULL;
    if (!nautilus_file_info_is_directory(file) && !is_image_file_name(path)) {
        g_free(path);
        return NULL;
    }
    GFile *parent = nautilus_file_info_get_parent_location(file);
    char *folder = parent ? g_file_get_path(parent) : NULL;
    g_clear_object(&parent);

    GList *result = NULL;
    IShellExtInit *init = load_module() ? create_object() : NULL;
    if (init) {
        static const IID menu_iid = IID_ICONTEXTMENU_INIT;
        const char *paths[] = {path};
        const KestrelDataObject data = {1, paths};
        IContextMenu *context = NULL;
        KestrelMenu *menu = module_api.menuCreate();
        if (menu && init->lpVtbl->Initialize(init, folder, &data, NULL) == S_OK &&
            init->lpVtbl->QueryInterface(init, &menu_iid, (void **)&context) == S_OK &&
            context->lpVtbl->QueryContextMenu(context, menu, 0, KESTREL_FIRST_ID, KESTREL_LAST_ID, 0) > 0)
            result = build_items(context, menu);
        if (context)
            context->lpVtbl->Release(context);
        module_api.menuDestroy(menu);
        init->lpVtbl->Release(init);
    }
    g_free(folder);
    g_free(path);
    return result;
}

/* ---- The provider type ---- */

typedef struct {
    GObject parent_instance;
} KestrelMenuProvider;
typedef struct {
    GObjectClass parent_class;
} KestrelMenuProviderClass;

static void kestrel_menu_provider_iface_init(gpointer iface, gpointer data)
{
    (void)data;
    ((NautilusMenuProviderInterface *)iface)->get_file_items = get_file_items;
}

static GType kestrel_menu_provider_type;

static void kestrel_menu_provider_class_init(gpointer klass, gpointer data)
{
    (void)klass;
    (void)data;
}

static void kestrel_menu_provider_init(GTypeInstance *self, gpointer klass)
{
    (void)self;
    (void)klass;
}

static void register_type(GTypeModule *type_module)
{
    static const GTypeInfo info = {
        sizeof(KestrelMenuProviderClass), NULL, NULL, kestrel_menu_provider_class_init, NULL, NULL,
        sizeof(KestrelMenuProvider),      0,    kestrel_menu_provider_init,           NULL};
    static const GInterfaceInfo menu_provider = {kestrel_menu_provider_iface_init, NULL, NULL};
    kestrel_menu_provider_type =
        g_type_module_register_type(type_module, G_TYPE_OBJECT, "KestrelMenuProvider", &info, 0);
    g_type_module_add_interface(type_module, kestrel_menu_provider_type, NAUTILUS_TYPE_MENU_PROVIDER, &menu_provider);
}

__attribute__((visibility("default"))) void nautilus_module_initialize(GTypeModule *module)
{
    register_type(module);
}

__attribute__((visibility("default"))) void nautilus_module_shutdown(void)
{
    /* The module stays loaded: its objects may outlive the extension's use. */
}

__attribute__((visibility("default"))) void nautilus_module_list_types(const GType **types, int *num_types)
{
    static GType list[1];
    list[0] = kestrel_menu_provider_type;
    *types = list;
    *num_types = 1;
}
