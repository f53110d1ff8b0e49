// SPDX-License-Identifier: GPL-3.0-or-later
// The GNOME Files extension loaded as GNOME Files loads it, with the real
// libnautilus-extension-4, asked for its items for a file and a folder.
#if KESTREL_HAVE_NAUTILUS

// GLib's headers first: Qt's keyword macros ("signals") would break them.
#include <nautilus-extension.h>

#include "shellhost.h"

#include "support/imagefixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

// ---- A file as GNOME Files describes it to extensions ----

struct TestFileInfo {
    GObject parent;
    char* path;
    char* parentPath;
    gboolean directory;
};
struct TestFileInfoClass {
    GObjectClass parent;
};

GFile* testGetLocation(NautilusFileInfo* info)
{
    return g_file_new_for_path(reinterpret_cast<TestFileInfo*>(info)->path);
}
GFile* testGetParentLocation(NautilusFileInfo* info)
{
    return g_file_new_for_path(reinterpret_cast<TestFileInfo*>(info)->parentPath);
}
gboolean testIsDirectory(NautilusFileInfo* info)
{
    return reinterpret_cast<TestFileInfo*>(info)->directory;
}
void testFileInfoIfaceInit(gpointer iface, gpointer)
{
    auto* i = static_cast<NautilusFileInfoInterface*>(iface);
    i->get_location = testGetLocation;
    i->get_parent_location = testGetParentLocation;
    i->is_directory = testIsDirectory;
}
void testFileInfoFinalize(GObject* object)
{
    auto* self = reinterpret_cast<TestFileInfo*>(object);
    g_free(self->path);
    g_free(self->parentPath);
    G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))->finalize(object);
}
void testFileInfoClassInit(gpointer klass, gpointer)
{
    G_OBJECT_CLASS(klass)->finalize = testFileInfoFinalize;
}

GType testFileInfoType()
{
    static GType type = [] {
        const GTypeInfo info{sizeof(TestFileInfoClass), nullptr, nullptr, testFileInfoClassInit, nullptr, nullptr,
                             sizeof(TestFileInfo), 0, nullptr, nullptr};
        const GType t = g_type_register_static(G_TYPE_OBJECT, "KestrelTestFileInfo", &info, GTypeFlags(0));
        const GInterfaceInfo iface{testFileInfoIfaceInit, nullptr, nullptr};
        g_type_add_interface_static(t, NAUTILUS_TYPE_FILE_INFO, &iface);
        return t;
    }();
    return type;
}

NautilusFileInfo* fileInfo(const QString& path, const QString& parent, bool directory)
{
    auto* info = static_cast<TestFileInfo*>(g_object_new(testFileInfoType(), nullptr));
    info->path = g_strdup(QFile::encodeName(path).constData());
    info->parentPath = g_strdup(QFile::encodeName(parent).constData());
    info->directory = directory;
    return NAUTILUS_FILE_INFO(info);
}

// ---- The type module GNOME Files loads extensions into ----

using InitializeFn = void (*)(GTypeModule*);
using ListTypesFn = void (*)(const GType**, int*);
InitializeFn g_initialize = nullptr;

struct TestTypeModule {
    GTypeModule parent;
};
struct TestTypeModuleClass {
    GTypeModuleClass parent;
};
gboolean testModuleLoad(GTypeModule* module)
{
    g_initialize(module);
    return TRUE;
}
void testModuleUnload(GTypeModule*) {}
void testTypeModuleClassInit(gpointer klass, gpointer)
{
    G_TYPE_MODULE_CLASS(klass)->load = testModuleLoad;
    G_TYPE_MODULE_CLASS(klass)->unload = testModuleUnload;
}

// The provider of the extension, loaded once.
GObject* provider(const ShellModuleCopy& module)
{
    static GObject* object = [&]() -> GObject* {
        g_setenv("KESTREL_SHELL_MODULE", QFile::encodeName(module.path()).constData(), TRUE);
        void* handle = dlopen(KESTREL_OUT_DIR "/libkestrel-nautilus.so", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            ADD_FAILURE() << dlerror();
            return nullptr;
        }
        g_initialize = reinterpret_cast<InitializeFn>(dlsym(handle, "nautilus_module_initialize"));
        auto listTypes = reinterpret_cast<ListTypesFn>(dlsym(handle, "nautilus_module_list_types"));
        if (!g_initialize || !listTypes || !dlsym(handle, "nautilus_module_shutdown")) {
            ADD_FAILURE() << "the extension lacks the three entry points of a GNOME Files extension";
            return nullptr;
        }
        const GTypeInfo info{sizeof(TestTypeModuleClass), nullptr, nullptr, testTypeModuleClassInit, nullptr, nullptr,
                             sizeof(TestTypeModule), 0, nullptr, nullptr};
        const GType moduleType = g_type_register_static(G_TYPE_TYPE_MODULE, "KestrelTestTypeModule", &info, GTypeFlags(0));
        auto* typeModule = G_TYPE_MODULE(g_object_new(moduleType, nullptr));
        g_type_module_use(typeModule);
        const GType* types = nullptr;
        int count = 0;
        listTypes(&types, &count);
        if (count != 1 || !g_type_is_a(types[0], NAUTILUS_TYPE_MENU_PROVIDER)) {
            ADD_FAILURE() << "the extension offers no menu provider";
            return nullptr;
        }
        return G_OBJECT(g_object_new(types[0], nullptr));
    }();
    return object;
}

struct Item {
    QString label;
    bool sensitive;
    NautilusMenuItem* item;
};

// The items for a selection: the top item's label, and its submenu's items.
QString topLabel(GList* items)
{
    char* label = nullptr;
    g_object_get(items->data, "label", &label, nullptr);
    const QString text = QString::fromUtf8(label);
    g_free(label);
    return text;
}

std::vector<Item> submenuItems(GList* items)
{
    std::vector<Item> result;
    NautilusMenu* menu = nullptr;
    g_object_get(items->data, "menu", &menu, nullptr);
    if (!menu)
        return result;
    GList* list = nautilus_menu_get_items(menu);
    for (GList* l = list; l; l = l->next) {
        char* label = nullptr;
        gboolean sensitive = FALSE;
        g_object_get(l->data, "label", &label, "sensitive", &sensitive, nullptr);
        result.push_back({QString::fromUtf8(label), sensitive != FALSE, NAUTILUS_MENU_ITEM(l->data)});
        g_free(label);
    }
    nautilus_menu_item_list_free(list);
    g_object_unref(menu);
    return result;
}

class NautilusExtensionTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        module = &LoadShellModule(QStringLiteral("nautilus"), true);
        ASSERT_NE(module->handle, nullptr);
        ASSERT_NE(provider(*module), nullptr);
        ForgetStarted(*module);
    }
    QString path(const QString& name) const { return m_dir.path() + u'/' + name; }
    GList* itemsFor(std::initializer_list<NautilusFileInfo*> files)
    {
        GList* list = nullptr;
        for (NautilusFileInfo* f : files)
            list = g_list_append(list, f);
        GList* items = nautilus_menu_provider_get_file_items(NAUTILUS_MENU_PROVIDER(provider(*module)), list);
        g_list_free_full(list, g_object_unref);
        return items;
    }
    const ShellModuleCopy* module = nullptr;

private:
    QTemporaryDir m_dir;
};

TEST_F(NautilusExtensionTest, ImageFileGetsTheSubmenuAndItsCommandsRun)
{
    const QString wim = path(QStringLiteral("boot.wim"));
    ASSERT_TRUE(MakeImageFile(wim));
    GList* items = itemsFor({fileInfo(wim, path(QString()), false)});
    ASSERT_NE(items, nullptr);
    ASSERT_EQ(g_list_length(items), 1u);
    EXPECT_EQ(topLabel(items), QStringLiteral("Kestrel - WIM映像处理工具"));
    std::vector<Item> sub = submenuItems(items);
    if (!sub.empty() && sub.back().label == QStringLiteral("用 Kestrel 卸载所有(T)"))
        sub.pop_back(); // images mounted elsewhere on this machine
    ASSERT_EQ(sub.size(), 5u);
    EXPECT_EQ(sub[0].label, QStringLiteral("用 Kestrel 处理(S)..."));
    EXPECT_EQ(sub[1].label, QStringLiteral("解压到 \"boot/\" (E)"));
    EXPECT_EQ(sub[4].label, QStringLiteral("用 Kestrel 可写挂载(W)"));
    for (const Item& i : sub)
        EXPECT_TRUE(i.sensitive) << i.label.toStdString();

    nautilus_menu_item_activate(sub[0].item);
    EXPECT_EQ(NextStarted(*module), (QStringList{QStringLiteral("Kestrel"), QStringLiteral("/Page"),
                                                 wim + QStringLiteral(",1")}));
    // A dialog item goes to the host program, which shows the dialog.
    nautilus_menu_item_activate(sub[2].item);
    EXPECT_EQ(NextStarted(*module), (QStringList{QStringLiteral("KestrelShell"), QStringLiteral("--pick"),
                                                 QStringLiteral("279"), wim}));
    nautilus_menu_item_list_free(items);
}

TEST_F(NautilusExtensionTest, FolderItemsAndWhatGetsNone)
{
    const QString data = path(QStringLiteral("Data"));
    QDir().mkpath(data);
    // The folder shown is gone: the add-to-image item is insensitive.
    GList* items = itemsFor({fileInfo(data, path(QStringLiteral("gone")), true)});
    ASSERT_NE(items, nullptr);
    const std::vector<Item> sub = submenuItems(items);
    ASSERT_GE(sub.size(), 3u);
    EXPECT_EQ(sub[2].label, QStringLiteral("添加到 \"Data.WIM\" (C)"));
    EXPECT_TRUE(sub[1].sensitive);
    EXPECT_FALSE(sub[2].sensitive);
    nautilus_menu_item_list_free(items);

    const QString text = path(QStringLiteral("notes.txt"));
    QFile(text).open(QIODevice::WriteOnly);
    EXPECT_EQ(itemsFor({fileInfo(text, path(QString()), false)}), nullptr);
    EXPECT_EQ(itemsFor({fileInfo(data, path(QString()), true), fileInfo(data, path(QString()), true)}), nullptr);
}

} // namespace

#endif
