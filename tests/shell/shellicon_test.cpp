// SPDX-License-Identifier: GPL-3.0-or-later
// The icon sequence of the module (Load, GetIconLocation, Extract) and its
// reference and module counts, through the C interface.
#include "iconfiles.h"
#include "shellhost.h"

#include "metadata/iconcodec.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const IID kIidPersist = IID_IPERSISTFILE_INIT;
const IID kIidExtract = IID_IEXTRACTICONW_INIT;

struct Icons {
    KestrelIcon* large = nullptr;
    KestrelIcon* small = nullptr;
};

class ShellIconTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        module = &LoadShellModule(QStringLiteral("icons"), true);
        ASSERT_NE(module->handle, nullptr);
    }
    QString path(const QString& name) const { return m_dir.path() + u'/' + name; }
    QImage picture(const KestrelIcon* icon) const
    {
        const int edge = module->iconSize(icon);
        return QImage(reinterpret_cast<const uchar*>(module->iconPixels(icon)), edge, edge, edge * 4,
                      QImage::Format_ARGB32)
            .copy();
    }
    // The sequence a file manager runs: Load, the asynchronous question,
    // GetIconLocation, Extract.
    Icons extract(const QString& file, uint32_t sizes)
    {
        Icons icons;
        auto* persist = static_cast<IPersistFile*>(CreateObject(*module, kIidPersist));
        EXPECT_NE(persist, nullptr);
        if (!persist)
            return icons;
        EXPECT_EQ(persist->lpVtbl->Load(persist, QFile::encodeName(file).constData(), 0), S_OK);
        IExtractIconW* ex = nullptr;
        EXPECT_EQ(persist->lpVtbl->QueryInterface(persist, &kIidExtract, reinterpret_cast<void**>(&ex)), S_OK);
        uint32_t flags = 0;
        int32_t index = 0;
        EXPECT_EQ(ex->lpVtbl->GetIconLocation(ex, KESTREL_GIL_ASYNC, nullptr, 0, &index, &flags), E_PENDING);
        EXPECT_EQ(ex->lpVtbl->GetIconLocation(ex, 0, nullptr, 0, &index, &flags), S_OK);
        EXPECT_EQ(flags, 0x1Au);
        EXPECT_EQ(ex->lpVtbl->Extract(ex, "ignored", 0, &icons.large, &icons.small, sizes), S_OK);
        ex->lpVtbl->Release(ex);
        persist->lpVtbl->Release(persist);
        return icons;
    }
    void destroy(Icons& icons)
    {
        module->iconDestroy(icons.large);
        module->iconDestroy(icons.small);
    }
    const ShellModuleCopy* module = nullptr;

private:
    QTemporaryDir m_dir;
};

TEST_F(ShellIconTest, StoredIconAtBothSizes)
{
    const QString wim = path(QStringLiteral("icon.wim"));
    ASSERT_TRUE(MakeImageFileWithIconText(wim, EncodeIconText(PngBytes(SamplePicture()))));
    // 48 is the stored width: that icon is the picture itself.
    Icons icons = extract(wim, 48 | 256u << 16);
    ASSERT_NE(icons.large, nullptr);
    ASSERT_NE(icons.small, nullptr);
    EXPECT_EQ(module->iconSource(icons.large), 1);
    EXPECT_EQ(picture(icons.large), SamplePicture());
    const QImage big = picture(icons.small);
    EXPECT_EQ(big.size(), QSize(256, 256));
    EXPECT_EQ(big.pixel(20, 20), qRgb(0, 0, 255));
    EXPECT_EQ(big.pixel(200, 200), qRgb(255, 0, 0));
    destroy(icons);

    icons = extract(wim, 32 | 256u << 16);
    EXPECT_EQ(picture(icons.large).size(), QSize(32, 32));
    EXPECT_EQ(picture(icons.large).pixel(2, 2), qRgb(0, 0, 255));
    destroy(icons);
}

TEST_F(ShellIconTest, ProgramIconWhenTheFileStoresNoneOrCannotBeRead)
{
    const QString plain = path(QStringLiteral("plain.wim"));
    ASSERT_TRUE(MakeImageFileWithIconText(plain, QString()));
    const QString empty = path(QStringLiteral("empty-icon.wim"));
    ASSERT_TRUE(MakeImageFileWithIconText(empty, QStringLiteral("")));
    const QString damaged = path(QStringLiteral("damaged.wim"));
    QFile f(damaged);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("MSWIM\0\0\0", 8) + QByteArray(300, '\x7f'));
    f.close();

    for (const auto& [file, source] : {std::pair{plain, 0}, std::pair{empty, 0}, std::pair{damaged, -1}}) {
        SCOPED_TRACE(file.toStdString());
        Icons icons = extract(file, 32 | 256u << 16);
        ASSERT_NE(icons.large, nullptr);
        ASSERT_NE(icons.small, nullptr);
        EXPECT_EQ(module->iconSource(icons.large), source);
        EXPECT_EQ(module->iconSize(icons.large), 32);
        EXPECT_EQ(module->iconSize(icons.small), 256);
        // The program's icon: a drawn sheet, opaque in its middle, clear in a corner.
        EXPECT_EQ(qAlpha(picture(icons.small).pixel(128, 128)), 255);
        EXPECT_EQ(qAlpha(picture(icons.small).pixel(2, 250)), 0);
        destroy(icons);
    }
}

TEST_F(ShellIconTest, LoadCutsNamesOf512CharactersAndMore)
{
    auto* persist = static_cast<IPersistFile*>(CreateObject(*module, kIidPersist));
    ASSERT_NE(persist, nullptr);
    const QByteArray fits = "/" + QByteArray(510, 'a');
    const QByteArray tooLong = "/" + QByteArray(511, 'a');
    EXPECT_EQ(persist->lpVtbl->Load(persist, fits.constData(), 0), S_OK);
    EXPECT_EQ(persist->lpVtbl->Load(persist, tooLong.constData(), 0), HRESULT_INSUFFICIENT_BUFFER);
    // Everything but Load is not there.
    EXPECT_EQ(persist->lpVtbl->IsDirty(persist), E_NOTIMPL);
    EXPECT_EQ(persist->lpVtbl->Save(persist, nullptr, 0), E_NOTIMPL);
    // Neither output asked for: nothing to do.
    IExtractIconW* ex = nullptr;
    ASSERT_EQ(persist->lpVtbl->QueryInterface(persist, &kIidExtract, reinterpret_cast<void**>(&ex)), S_OK);
    EXPECT_EQ(ex->lpVtbl->Extract(ex, nullptr, 0, nullptr, nullptr, 32), S_OK);
    ex->lpVtbl->Release(ex);
    persist->lpVtbl->Release(persist);
}

TEST(ShellModuleCounts, FactoryObjectsAndLocks)
{
    // A copy of its own, so that the counts start at zero.
    const ShellModuleCopy& module = LoadShellModule(QStringLiteral("counts"), false);
    ASSERT_NE(module.handle, nullptr);
    const CLSID clsid = KESTREL_SHELL_CLSID_INIT;
    const CLSID other = {0x12345678u, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    const IID factoryIid = IID_ICLASSFACTORY_INIT;
    const IID unknownIid = IID_IUNKNOWN_INIT;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(module.getClassObject(&other, &factoryIid, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(module.canUnloadNow(), S_OK);
    // The factory answers IClassFactory only; the refused one is gone again.
    EXPECT_EQ(module.getClassObject(&clsid, &unknownIid, &out), E_NOINTERFACE);
    EXPECT_EQ(module.canUnloadNow(), S_OK);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(module.getClassObject(&clsid, &factoryIid, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(module.canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->lpVtbl->AddRef(factory), 2u);
    EXPECT_EQ(factory->lpVtbl->Release(factory), 1u);
    EXPECT_EQ(factory->lpVtbl->LockServer(factory, 1), S_OK);
    EXPECT_EQ(factory->lpVtbl->Release(factory), 0u);
    EXPECT_EQ(module.canUnloadNow(), S_FALSE) << "the lock holds the module";
    ASSERT_EQ(module.getClassObject(&clsid, &factoryIid, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->lpVtbl->LockServer(factory, 0), S_OK);

    IUnknown dummy{};
    EXPECT_EQ(factory->lpVtbl->CreateInstance(factory, &dummy, &unknownIid, &out), CLASS_E_NOAGGREGATION);
    const IID iids[] = {IID_ISHELLEXTINIT_INIT, IID_ICONTEXTMENU_INIT, IID_IPERSISTFILE_INIT, IID_IEXTRACTICONW_INIT};
    IUnknown* object = nullptr;
    ASSERT_EQ(factory->lpVtbl->CreateInstance(factory, nullptr, &unknownIid, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(factory->lpVtbl->Release(factory), 0u);
    // The four interfaces, IUnknown being the first; nothing else.
    for (const IID& iid : iids) {
        void* face = nullptr;
        ASSERT_EQ(object->lpVtbl->QueryInterface(object, &iid, &face), S_OK);
        EXPECT_EQ(static_cast<IUnknown*>(face)->lpVtbl->Release(static_cast<IUnknown*>(face)), 1u);
    }
    void* first = nullptr;
    ASSERT_EQ(object->lpVtbl->QueryInterface(object, &iids[0], &first), S_OK);
    EXPECT_EQ(first, object);
    EXPECT_EQ(object->lpVtbl->Release(object), 1u);
    EXPECT_EQ(object->lpVtbl->QueryInterface(object, &factoryIid, &out), E_NOINTERFACE);
    EXPECT_EQ(object->lpVtbl->Release(object), 0u);
    // Once an object was made the module stays for the life of the process.
    EXPECT_EQ(module.canUnloadNow(), S_FALSE);
}

} // namespace
