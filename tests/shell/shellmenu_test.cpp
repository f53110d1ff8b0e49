// SPDX-License-Identifier: GPL-3.0-or-later
// The Kestrel submenu through the module's C interface: the items of each
// kind of selection and state, greyed items, and the exact command line each
// item starts.
#include "shellhost.h"

#include "imaging/imagingapi.h"
#include "support/fusesupport.h"
#include "support/imagefixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const QString kKestrel = QStringLiteral("Kestrel");

std::string show(const std::vector<HostItem>& items)
{
    std::string text;
    for (const HostItem& i : items)
        text += std::to_string(i.stringNumber) + (i.greyed ? "(greyed) " : " ") + i.text.toStdString() + "\n";
    return text;
}

// The items without a trailing unmount-all item: other programs on this
// machine may have images mounted, which adds it.
std::vector<HostItem> withoutUnmountAll(std::vector<HostItem> items)
{
    if (!items.empty() && items.back().stringNumber == 282)
        items.pop_back();
    return items;
}

struct Expected {
    int stringNumber;
    QString text;
    bool greyed = false;
};

void expectItems(const std::vector<HostItem>& items, const std::vector<Expected>& expected)
{
    ASSERT_EQ(items.size(), expected.size()) << show(items);
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].stringNumber, expected[i].stringNumber) << "item " << i << "\n" << show(items);
        EXPECT_EQ(items[i].text, expected[i].text) << "item " << i;
        EXPECT_EQ(items[i].greyed, expected[i].greyed) << "item " << i;
        EXPECT_EQ(items[i].id, 100 + i) << "identifiers are handed out in order from the first";
    }
}

// Pickers that answer with a set path, counting their calls.
struct FakePickers {
    QByteArray file;
    QByteArray folder;
    QByteArray lastStart;
    QByteArray lastTitle;
    int calls = 0;
    static int save(void* c, uintptr_t, const char* start, const char* title, const char*, const char* pattern,
                    const char* proposed, char* out, uint32_t size)
    {
        auto* self = static_cast<FakePickers*>(c);
        ++self->calls;
        self->lastStart = start;
        self->lastTitle = title;
        EXPECT_STREQ(pattern, "*.WIM;*.ESD");
        EXPECT_EQ(QString::fromUtf8(proposed), QStringLiteral("给个名称吧.WIM"));
        if (self->file.isEmpty() || uint32_t(self->file.size()) >= size)
            return 0;
        qstrcpy(out, self->file.constData());
        return 1;
    }
    static int pick(void* c, uintptr_t, const char* start, const char* title, const char* newFolder, char* out,
                    uint32_t size)
    {
        auto* self = static_cast<FakePickers*>(c);
        ++self->calls;
        self->lastStart = start;
        self->lastTitle = title;
        EXPECT_EQ(QString::fromUtf8(newFolder), QStringLiteral("新建文件夹"));
        if (self->folder.isEmpty() || uint32_t(self->folder.size()) >= size)
            return 0;
        qstrcpy(out, self->folder.constData());
        return 1;
    }
};

class ShellMenuTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        module = &LoadShellModule(QStringLiteral("menu"), true);
        ASSERT_NE(module->handle, nullptr);
        ForgetStarted(*module);
    }
    void TearDown() override { module->setPickers(nullptr); }
    QString path(const QString& name) const { return m_dir.path() + u'/' + name; }
    QString folder(const QString& name) const
    {
        QDir().mkpath(path(name));
        return path(name);
    }
    // Invokes an item and returns what the module started.
    QStringList run(ShellObject& object, uint32_t offset)
    {
        EXPECT_EQ(object.invoke(offset), S_OK);
        return NextStarted(*module);
    }
    // Invokes an item that must start nothing; another item that starts
    // something follows as a marker, and must be the only record.
    void expectNothingRuns(ShellObject& object, uint32_t offset, uint32_t markerOffset)
    {
        EXPECT_EQ(object.invoke(offset), S_OK);
        EXPECT_EQ(object.invoke(markerOffset), S_OK);
        const QStringList marker = NextStarted(*module);
        EXPECT_FALSE(marker.isEmpty());
        EXPECT_TRUE(QDir(module->folder + QStringLiteral("/spawned")).entryList(QDir::Files).isEmpty())
            << "the item started a program";
        ForgetStarted(*module);
    }
    const ShellModuleCopy* module = nullptr;

private:
    QTemporaryDir m_dir;
};

TEST_F(ShellMenuTest, FolderItemsAndTheirCommands)
{
    const QString data = folder(QStringLiteral("Data"));
    ShellObject object(*module);
    ASSERT_EQ(object.initialize({data}), S_OK);
    HRESULT used = 0;
    const std::vector<HostItem> items = object.query(&used);
    EXPECT_EQ(used, HRESULT(items.size()));
    expectItems(withoutUnmountAll(items), {{272, BuiltInString(272)},
                                           {276, BuiltInString(276)},
                                           {277, QStringLiteral("添加到 \"Data.WIM\" (&C)")}});

    EXPECT_EQ(run(object, 0), (QStringList{kKestrel, QStringLiteral("/Page"), data + QStringLiteral(",2")}));
    EXPECT_EQ(run(object, 2),
              (QStringList{kKestrel, QStringLiteral("/CompPath"), data, data + QStringLiteral(".WIM")}));

    FakePickers pickers;
    pickers.file = QFile::encodeName(path(QStringLiteral("out/chosen.wim")));
    const KestrelPickers hooks{FakePickers::save, FakePickers::pick, &pickers};
    module->setPickers(&hooks);
    EXPECT_EQ(run(object, 1), (QStringList{kKestrel, QStringLiteral("/CompPath"), data, path("out/chosen.wim")}));
    EXPECT_EQ(QString::fromUtf8(pickers.lastTitle), QStringLiteral("请选择一个扩展名为“.wim”的文件"));
    // The next save dialog starts where the last file was chosen.
    pickers.file.clear();
    expectNothingRuns(object, 1, 0);
    EXPECT_EQ(QString::fromUtf8(pickers.lastStart), path(QStringLiteral("out")));
    EXPECT_EQ(pickers.calls, 2);
}

TEST_F(ShellMenuTest, AddToImageIsGreyedWhenTheShownFolderCannotTakeAFile)
{
    const QString data = folder(QStringLiteral("Data"));
    ShellObject object(*module);
    // The file manager shows a folder that is gone.
    ASSERT_EQ(object.initialize({data}, path(QStringLiteral("gone"))), S_OK);
    const std::vector<HostItem> items = withoutUnmountAll(object.query());
    ASSERT_EQ(items.size(), 3u) << show(items);
    EXPECT_TRUE(items[2].greyed);
    EXPECT_FALSE(items[1].greyed);
    expectNothingRuns(object, 2, 0);
}

TEST_F(ShellMenuTest, FileSystemRootGetsTheSaveDialogItemOnly)
{
    ShellObject object(*module);
    ASSERT_EQ(object.initialize({QStringLiteral("/")}), S_OK);
    expectItems(withoutUnmountAll(object.query()), {{272, BuiltInString(272)}, {273, BuiltInString(273)}});
    EXPECT_EQ(run(object, 0), (QStringList{kKestrel, QStringLiteral("/Page"), QStringLiteral("/,2")}));
}

TEST_F(ShellMenuTest, WritableImageFileItemsAndTheirCommands)
{
    const QString wim = path(QStringLiteral("x/boot.wim"));
    QDir().mkpath(path(QStringLiteral("x")));
    ASSERT_TRUE(MakeImageFile(wim));
    ShellObject object(*module);
    ASSERT_EQ(object.initialize({wim}), S_OK);
    expectItems(withoutUnmountAll(object.query()), {{272, BuiltInString(272)},
                                                    {278, QStringLiteral("解压到 \"boot/\" (&E)")},
                                                    {279, BuiltInString(279)},
                                                    {280, BuiltInString(280)},
                                                    {281, BuiltInString(281)}});
    const QString image1 = wim + QStringLiteral(",1");
    EXPECT_EQ(run(object, 0), (QStringList{kKestrel, QStringLiteral("/Page"), image1}));
    EXPECT_EQ(run(object, 1), (QStringList{kKestrel, QStringLiteral("/ExtrImage"), image1, path(QStringLiteral("x/boot")),
                                           QStringLiteral("/NotAcl")}));
    EXPECT_EQ(run(object, 3), (QStringList{kKestrel, QStringLiteral("/Mount"), image1}));
    EXPECT_EQ(run(object, 4), (QStringList{kKestrel, QStringLiteral("/MountRW"), image1}));

    // Without dialogs of its own the module hands the item to its host program.
    EXPECT_EQ(run(object, 2), (QStringList{QStringLiteral("KestrelShell"), QStringLiteral("--pick"),
                                           QStringLiteral("279"), wim}));
    FakePickers pickers;
    pickers.folder = QFile::encodeName(folder(QStringLiteral("target")));
    const KestrelPickers hooks{FakePickers::save, FakePickers::pick, &pickers};
    module->setPickers(&hooks);
    EXPECT_EQ(run(object, 2), (QStringList{kKestrel, QStringLiteral("/ExtrImage"), image1, path(QStringLiteral("target")),
                                           QStringLiteral("/NotAcl")}));
    EXPECT_EQ(QString::fromUtf8(pickers.lastTitle), QStringLiteral("选择解开的目标文件夹"));
}

TEST_F(ShellMenuTest, ReadOnlyImageFileCanOnlyBeMountedReadOnly)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: every file is writable to root, so no file is read-only here";
    const QString wim = path(QStringLiteral("ro.wim"));
    ASSERT_TRUE(MakeImageFile(wim));
    QFile::setPermissions(wim, QFile::ReadOwner);
    ShellObject object(*module);
    ASSERT_EQ(object.initialize({wim}), S_OK);
    const std::vector<HostItem> items = withoutUnmountAll(object.query());
    ASSERT_EQ(items.size(), 4u) << show(items);
    EXPECT_EQ(items[3].stringNumber, 280);
}

TEST_F(ShellMenuTest, LzmsFilesAndSplitPartsCannotBeMounted)
{
    const QString source = folder(QStringLiteral("src"));
    MakeSourceTree(source, 2, 200000);
    const QString esd = path(QStringLiteral("install.esd"));
    ASSERT_TRUE(WriteImageFile(source, esd, WIMLIB_COMPRESSION_TYPE_LZMS));
    const QString wim = path(QStringLiteral("big.wim"));
    ASSERT_TRUE(WriteImageFile(source, wim, WIMLIB_COMPRESSION_TYPE_NONE));
    const QStringList parts = SplitImageFile(wim, path(QStringLiteral("part.swm")), 150000);
    ASSERT_GE(parts.size(), 2);
    for (const QString& file : {esd, parts.at(1)}) {
        SCOPED_TRACE(file.toStdString());
        ShellObject object(*module);
        ASSERT_EQ(object.initialize({file}), S_OK);
        const std::vector<HostItem> items = withoutUnmountAll(object.query());
        ASSERT_EQ(items.size(), 3u) << show(items);
        EXPECT_EQ(items[1].stringNumber, 278);
        EXPECT_EQ(items[2].stringNumber, 279);
    }
}

TEST_F(ShellMenuTest, OnlyTheCarriedImagingLayerGreysTheMountItems)
{
    const ShellModuleCopy& carried = LoadShellModule(QStringLiteral("carried"), false);
    ASSERT_NE(carried.handle, nullptr);
    const QString wim = path(QStringLiteral("boot.wim"));
    ASSERT_TRUE(MakeImageFile(wim));
    ShellObject object(carried);
    ASSERT_EQ(object.initialize({wim}), S_OK);
    // The carried layer has no mount list: no unmount-all item either.
    const std::vector<HostItem> items = object.query();
    ASSERT_EQ(items.size(), 5u) << show(items);
    EXPECT_TRUE(items[3].greyed);
    EXPECT_TRUE(items[4].greyed);
    ForgetStarted(carried);
    EXPECT_EQ(object.invoke(3), S_OK);
    EXPECT_EQ(object.invoke(0), S_OK);
    EXPECT_EQ(NextStarted(carried).value(1), QStringLiteral("/Page"));
    EXPECT_TRUE(QDir(carried.folder + QStringLiteral("/spawned")).entryList(QDir::Files).isEmpty());
}

TEST_F(ShellMenuTest, RefusedCallsAndSelections)
{
    const QString a = folder(QStringLiteral("a"));
    const QString b = folder(QStringLiteral("b"));
    ShellObject object(*module);
    EXPECT_EQ(object.init()->lpVtbl->Initialize(object.init(), nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(object.initialize({a, b}), E_FAIL) << "two items give no menu";
    EXPECT_EQ(object.initialize({path(QStringLiteral("missing"))}), E_FAIL);
    const KestrelDataObject noData{1, nullptr};
    EXPECT_EQ(object.init()->lpVtbl->Initialize(object.init(), nullptr, &noData, nullptr), E_FAIL);

    ASSERT_EQ(object.initialize({a}), S_OK);
    HRESULT used = -1;
    EXPECT_TRUE(object.query(&used, KESTREL_CMF_DEFAULTONLY).empty());
    EXPECT_EQ(used, 0);
    EXPECT_EQ(object.invokeVerb("open"), E_INVALIDARG);
    ASSERT_FALSE(object.query().empty());
    EXPECT_EQ(object.invoke(40), S_OK) << "an offset without an item does nothing";
    IContextMenu* m = object.menu();
    EXPECT_EQ(m->lpVtbl->GetCommandString(m, 0, 0, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(m->lpVtbl->GetCommandString(m, 1, 0, nullptr, nullptr, 0), E_INVALIDARG);
}

TEST_F(ShellMenuTest, PopupAndSeparatorGoIntoTheFileManagersMenu)
{
    ShellObject object(*module);
    ASSERT_EQ(object.initialize({folder(QStringLiteral("d"))}), S_OK);
    KestrelMenu* menu = module->menuCreate();
    IContextMenu* m = object.menu();
    const HRESULT used = m->lpVtbl->QueryContextMenu(m, menu, 0, 7, 200, 0);
    ASSERT_EQ(module->menuCount(menu), 2);
    KestrelMenuItem first{};
    KestrelMenuItem second{};
    module->menuItemAt(menu, 0, &first);
    module->menuItemAt(menu, 1, &second);
    EXPECT_EQ(first.flags, KMF_SEPARATOR);
    EXPECT_EQ(second.flags & KMF_POPUP, KMF_POPUP);
    EXPECT_EQ(QString::fromUtf8(second.text), BuiltInString(267));
    EXPECT_EQ(used, HRESULT(module->menuCount(second.submenu)));
    KestrelMenuItem item{};
    module->menuItemAt(second.submenu, 0, &item);
    EXPECT_EQ(item.id, 7u);
    module->menuDestroy(menu);
}

// ---- With real FUSE mounts ----

const char16_t* units(const QString& text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

struct MountGuard {
    QString folder;
    bool mounted = false;
    ~MountGuard()
    {
        if (mounted && !ImagingApi.WIMUnmountImage(units(folder), nullptr, 0, FALSE))
            RunTool(QStringLiteral("fusermount"), {QStringLiteral("-u"), QStringLiteral("-z"), folder});
    }
};

TEST_F(ShellMenuTest, MountedImageItemsReadOnlyAndReadWrite)
{
    const QString problem = FuseProblem();
    if (!problem.isEmpty())
        GTEST_SKIP() << "FUSE mounts are not possible here: " << problem.toStdString();
    QString why;
    ASSERT_TRUE(BindTestImagingLayer(&why)) << why.toStdString();
    for (const bool readWrite : {false, true}) {
        SCOPED_TRACE(readWrite ? "read-write" : "read-only");
        const QString name = readWrite ? QStringLiteral("rw") : QStringLiteral("ro");
        const QString wim = path(name + QStringLiteral(".wim"));
        ASSERT_TRUE(MakeImageFile(wim, 2));
        MountGuard guard{folder(name + QStringLiteral("-mnt"))};
        const QString staging = folder(name + QStringLiteral("-tmp"));
        guard.mounted = ImagingApi.WIMMountImage(units(guard.folder), units(wim), 2,
                                                 readWrite ? units(staging) : nullptr) != FALSE;
        ASSERT_TRUE(guard.mounted) << "WIMMountImage failed: errno " << errno;

        ShellObject onFile(*module);
        ASSERT_EQ(onFile.initialize({wim}), S_OK);
        std::vector<Expected> fileItems{{272, BuiltInString(272)},
                                        {278, QStringLiteral("解压到 \"%1/\" (&E)").arg(name)},
                                        {279, BuiltInString(279)},
                                        {274, BuiltInString(274)}};
        if (readWrite)
            fileItems.push_back({275, BuiltInString(275)});
        fileItems.push_back({282, BuiltInString(282)});
        expectItems(onFile.query(), fileItems);
        EXPECT_EQ(run(onFile, 3), (QStringList{kKestrel, QStringLiteral("/UnMount"), guard.folder}));
        if (readWrite) {
            EXPECT_EQ(run(onFile, 4),
                      (QStringList{kKestrel, QStringLiteral("/UnMount"), guard.folder, QStringLiteral("/Commit")}));
        }
        EXPECT_EQ(run(onFile, uint32_t(fileItems.size() - 1)),
                  (QStringList{kKestrel, QStringLiteral("/UnMount"), QStringLiteral("/All")}));

        ShellObject onFolder(*module);
        ASSERT_EQ(onFolder.initialize({guard.folder}), S_OK);
        std::vector<Expected> folderItems{{272, BuiltInString(272)}, {274, BuiltInString(274)}};
        if (readWrite)
            folderItems.push_back({275, BuiltInString(275)});
        folderItems.push_back({282, BuiltInString(282)});
        expectItems(onFolder.query(), folderItems);
        EXPECT_EQ(run(onFolder, 1), (QStringList{kKestrel, QStringLiteral("/UnMount"), guard.folder}));
        if (readWrite) {
            EXPECT_EQ(run(onFolder, 2),
                      (QStringList{kKestrel, QStringLiteral("/UnMount"), guard.folder, QStringLiteral("/Commit")}));
        }

        // Unmounted between building the menu and choosing: the file's
        // unmount item finds no mount and runs nothing.
        ASSERT_TRUE(ImagingApi.WIMUnmountImage(units(guard.folder), nullptr, 0, FALSE));
        guard.mounted = false;
        expectNothingRuns(onFile, 3, 0);
    }
}

} // namespace
