// SPDX-License-Identifier: GPL-3.0-or-later
// Binding of the imaging libraries: file versions, the order of the two
// candidates, full and mount-only binding with the carried build, wimlib by
// name or from memory, and the component line.
#include "common/language.h"
#include "imaging/binding.h"
#include "moduletestutil.h"
#include "support/testenv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <dlfcn.h>

namespace {

// Where an entry's code lives: the file it was loaded from, or "memory".
QString Origin(const void* fn)
{
    Dl_info info;
    if (!fn || !dladdr(fn, &info) || !info.dli_fname)
        return QString();
    const QString file = QFile::decodeName(info.dli_fname);
    return file.startsWith(QLatin1String("/proc/self/fd/")) ? QStringLiteral("memory") : file;
}

// A candidate folder holding libwimgapi.so -> libwimgapi.so.<version>, a copy
// of the test module ("arm:<version>": another machine's; "plain": a file
// named libwimgapi.so itself). Empty: no library.
QString MakeCandidate(const QString& name, const QString& what)
{
    const QString dir = MakeTestDir(name);
    const QString link = dir + QStringLiteral("/libwimgapi.so");
    if (what.isEmpty())
        return link;
    QByteArray bytes = ReadTestModule("testmodule");
    QString version = what;
    if (what.startsWith(QLatin1String("arm:"))) {
        bytes = WithMachine(bytes, EM_AARCH64);
        version = what.mid(4);
    }
    const QString target = version == QLatin1String("plain") ? link : link + QLatin1Char('.') + version;
    EXPECT_TRUE(WriteBytes(target, bytes));
    if (target != link) {
        EXPECT_TRUE(QFile::link(QFileInfo(target).fileName(), link));
    }
    return link;
}

QByteArray CarriedForTests(CarriedResource which)
{
    if (which == CarriedResource::ImagingLayer)
        return ReadTestModule("testmodule");
    return UnpackCarriedResource(which);
}

} // namespace

TEST(FileVersion, ComesFromTheResolvedFileName)
{
    const QString dir = MakeTestDir(QStringLiteral("versions"));
    const struct {
        const char* file;
        const char* formatted;
    } cases[] = {
        {"libwimgapi.so.10.0.19041.1", "-V10.0.19041.1"},
        {"libwimgapi.so.10.0.0", "-V10.0.0.0"},
        {"libwimgapi.so.6.1", "-V6.1.0.0"},
        {"libwimgapi.so.65535.0.0.65535", "-V65535.0.0.65535"},
        {"libwimgapi.so", ""},
        {"libwimgapi.so.10.x", ""},
        {"libwimgapi.so.70000.0", ""},
        {"libwimgapi.so.1.2.3.4.5", ""},
        {"libwimgapi.so.1..2", ""},
        {"libwimgapi.so.+1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = dir + QLatin1Char('/') + QLatin1String(c.file);
        ASSERT_TRUE(WriteBytes(path, "x"));
        EXPECT_EQ(FormatFileVersion(path), QLatin1String(c.formatted));
    }
    EXPECT_EQ(GetFileVersion(dir + "/libwimgapi.so.10.0.19041.1"), 0x4A61'0001'000A'0000ull);

    // Through a symbolic link the target's name counts; a missing file has none.
    ASSERT_TRUE(QFile::link(QStringLiteral("libwimgapi.so.10.0.19041.1"), dir + "/libwimgapi.so.10"));
    EXPECT_EQ(FormatFileVersion(dir + "/libwimgapi.so.10"), QStringLiteral("-V10.0.19041.1"));
    EXPECT_EQ(GetFileVersion(dir + "/missing.so.1.2"), 0u);
}

TEST(FileVersion, OrderComparesMajorMinorFirst)
{
    auto v = [](uint32_t major, uint32_t minor, uint32_t build, uint32_t rev) {
        return uint64_t(major << 16 | minor) | uint64_t(build << 16 | rev) << 32;
    };
    EXPECT_TRUE(IsNewerVersion(v(10, 0, 0, 0), v(6, 3, 9600, 0)));
    EXPECT_TRUE(IsNewerVersion(v(6, 2, 0, 0), v(6, 1, 65535, 65535)));
    EXPECT_TRUE(IsNewerVersion(v(10, 0, 22621, 1), v(10, 0, 19041, 1)));
    EXPECT_FALSE(IsNewerVersion(v(10, 0, 19041, 1), v(10, 0, 19041, 1)));
    EXPECT_FALSE(IsNewerVersion(0, v(0, 0, 0, 1)));
}

TEST(FileVersion, CandidatesOfAnotherMachineCountAsZero)
{
    EXPECT_NE(CandidateVersion(MakeCandidate(QStringLiteral("own"), QStringLiteral("10.0.0"))), 0u);
    EXPECT_EQ(CandidateVersion(MakeCandidate(QStringLiteral("arm"), QStringLiteral("arm:10.0.0"))), 0u);
    const QString text = MakeTestDir(QStringLiteral("text")) + "/libwimgapi.so.10.0.0";
    ASSERT_TRUE(WriteBytes(text, "not a library"));
    EXPECT_EQ(CandidateVersion(text), 0u);
}

TEST(Binding, OrderOfTheCandidates)
{
    ASSERT_FALSE(ReadTestModule("testmodule").isEmpty()) << "test module missing";
    enum Disk { None, A, B };
    const struct {
        const char* what;
        const char* a; // system folder
        const char* b; // beside the program
        Disk disk;
        bool full;
    } cases[] = {
        {"system library only", "10.0.19041.1", "", A, true},
        {"higher version beside the program wins", "10.0.19041.1", "10.0.22621.1", B, true},
        {"lower version beside the program", "10.0.22621.1", "10.0.19041.1", A, true},
        {"equal versions keep the system first", "10.0.0", "10.0.0", A, true},
        {"6.2 is bound fully", "6.2", "", A, true},
        {"6.1 is only mounted", "6.1.7601", "", A, false},
        {"6.1 beside the program, newer, mounts first", "6.1", "6.1.7601.2", B, false},
        {"6.1 on both, beside the program older", "6.1.7601.2", "6.1", A, false},
        {"6.1 system, 10.0 of another machine beside", "6.1.7601", "arm:10.0.0", A, false},
        {"6.1 beside, another machine's system library", "arm:10.0.0", "6.1.0", B, false},
        {"full binding beats a newer 6.1 file", "6.1.9999", "6.2", B, true},
        {"another machine only: nothing loads", "", "arm:10.0.0", None, false},
        {"nothing on disk", "", "", None, false},
        {"no version in the name: mounting only", "plain", "", A, false},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ++row;
        BindingSources sources;
        sources.systemCandidate = MakeCandidate(QStringLiteral("sys%1").arg(row), QLatin1String(c.a));
        sources.programCandidate = MakeCandidate(QStringLiteral("app%1").arg(row), QLatin1String(c.b));
        sources.carried = CarriedForTests;
        const auto binding = BindImagingFrom(sources);
        const QString expectedPath = c.disk == A ? sources.systemCandidate
                                     : c.disk == B ? sources.programCandidate
                                                   : QString();
        EXPECT_EQ(binding->diskLibraryPath, expectedPath);
        EXPECT_EQ(binding->hasDiskLibrary(), c.disk != None);
        EXPECT_EQ(binding->fullBinding, c.full);
        EXPECT_EQ(binding->carriedImagingLayer, !c.full);

        const ImagingApiTable& api = binding->imaging;
        const QString mountOrigin = c.disk == None ? QString() : expectedPath;
        for (const void* fn : {(const void*)api.WIMMountImage, (const void*)api.WIMUnmountImage,
                               (const void*)api.WIMRemountImage, (const void*)api.WIMGetMountedImages,
                               (const void*)api.WIMDeleteImageMounts, (const void*)api.WIMGetMountedImageInfo})
            EXPECT_EQ(Origin(fn), mountOrigin);
        const QString generalOrigin = c.full ? expectedPath : QStringLiteral("memory");
        for (const void* fn : {(const void*)api.WIMLoadImage, (const void*)api.WIMCreateFile,
                               (const void*)api.WIMApplyImage, (const void*)api.WIMCloseHandle,
                               (const void*)api.WIMGetImageInformation, (const void*)api.WIMFindNextImageFile})
            EXPECT_EQ(Origin(fn), generalOrigin);
    }
}

TEST(Binding, WithoutACarriedBuildTheGeneralEntriesStayEmpty)
{
    BindingSources sources;
    sources.systemCandidate = MakeCandidate(QStringLiteral("sys-nocarry"), QStringLiteral("6.1"));
    sources.programCandidate = MakeCandidate(QStringLiteral("app-nocarry"), QString());
    sources.carried = [](CarriedResource which) {
        // A damaged carried build: an ELF header of another machine.
        return which == CarriedResource::ImagingLayer ? WithMachine(ReadTestModule("testmodule"), EM_AARCH64)
                                                      : UnpackCarriedResource(which);
    };
    const auto binding = BindImagingFrom(sources);
    EXPECT_TRUE(binding->hasDiskLibrary());
    EXPECT_NE(binding->imaging.WIMMountImage, nullptr);
    EXPECT_FALSE(binding->carriedImagingLayer);
    EXPECT_EQ(binding->imaging.WIMCreateFile, nullptr);
    EXPECT_EQ(binding->imaging.WIMCloseHandle, nullptr);
}

TEST(Binding, WimlibBySystemNameOrFromTheCarriedCopy)
{
    for (const bool fromSystem : {true, false}) {
        SCOPED_TRACE(fromSystem ? "system" : "carried");
        BindingSources sources;
        sources.carried = CarriedForTests;
        if (!fromSystem)
            sources.wimlibName = "libkestrel-no-such-wimlib.so.15";
        const auto binding = BindImagingFrom(sources);
        EXPECT_EQ(binding->carriedWimlib, !fromSystem);
        const WimlibApiTable& w = binding->wimlib;
        const void* entries[] = {(const void*)w.wimlib_open_wim, (const void*)w.wimlib_free,
                                 (const void*)w.wimlib_iterate_dir_tree, (const void*)w.wimlib_get_error_string,
                                 (const void*)w.wimlib_set_default_compression_level};
        for (const void* fn : entries) {
            ASSERT_NE(fn, nullptr);
            const QString origin = Origin(fn);
            if (fromSystem)
                EXPECT_TRUE(QFileInfo(origin).fileName().startsWith(QLatin1String("libwim.so"))) << origin.toStdString();
            else
                EXPECT_EQ(origin, QStringLiteral("memory"));
        }
        // The entries really are wimlib's: the error text of a known code.
        const wimlib_tchar* text = w.wimlib_get_error_string(WIMLIB_ERR_NOMEM);
        ASSERT_NE(text, nullptr);
        EXPECT_NE(QString::fromUtf8(text), QString());
    }
}

TEST(Binding, NameTableBindsByNameAndSkipsBadSlots)
{
    // Reversed, with a slot of garbage and one that fills all 64 bytes.
    QByteArray table;
    const QStringList names = WimlibEntryNames();
    for (qsizetype i = names.size() - 1; i >= 0; --i) {
        QByteArray slot = names.at(i).toLatin1();
        if (i == 3)
            slot = "wimlib_not_a_function";
        if (i == 4)
            slot = QByteArray(64, 'w');
        table += slot + QByteArray(64 - slot.size(), '\0');
    }
    BindingSources sources;
    sources.carried = [&](CarriedResource which) {
        return which == CarriedResource::WimlibNames ? table : CarriedForTests(which);
    };
    const auto binding = BindImagingFrom(sources);
    const WimlibApiTable& w = binding->wimlib;
    void* wimlib = dlopen("libwim.so.15", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(wimlib, nullptr);
    EXPECT_EQ((void*)w.wimlib_open_wim, dlsym(wimlib, "wimlib_open_wim"));
    EXPECT_EQ((void*)w.wimlib_set_default_compression_level, dlsym(wimlib, "wimlib_set_default_compression_level"));
    EXPECT_EQ((void*)w.wimlib_extract_paths, nullptr); // its slot held another name
    EXPECT_EQ((void*)w.wimlib_global_init, nullptr);   // its slot had no terminator
    dlclose(wimlib);
}

TEST(Binding, WithoutAnyWimlibItsEntriesStayEmpty)
{
    BindingSources sources;
    sources.wimlibName = "libkestrel-no-such-wimlib.so.15";
    sources.carried = [](CarriedResource which) {
        return which == CarriedResource::WimlibModule ? QByteArray("not a module") : CarriedForTests(which);
    };
    const auto binding = BindImagingFrom(sources);
    EXPECT_FALSE(binding->carriedWimlib);
    EXPECT_EQ(binding->wimlib.wimlib_open_wim, nullptr);
    EXPECT_EQ(binding->wimlib.wimlib_get_error_string, nullptr);
    // The imaging side does not depend on it here: the test module needs no wimlib.
    EXPECT_NE(binding->imaging.WIMCreateFile, nullptr);
}

#if KESTREL_CARRIES_IMAGING_LAYER
TEST(Binding, TheCarriedBuildsWorkWithoutAnythingOnDisk)
{
    // A real image file, written by wimlib's own tool.
    const QString dir = MakeTestDir(QStringLiteral("carried-wim"));
    ASSERT_TRUE(QDir().mkpath(dir + "/tree/sub"));
    ASSERT_TRUE(WriteBytes(dir + "/tree/sub/file.txt", "carried"));
    QProcess capture;
    capture.start(QStringLiteral("wimlib-imagex"), {"capture", dir + "/tree", dir + "/test.wim", "one"});
    ASSERT_TRUE(capture.waitForFinished(60000) && capture.exitCode() == 0) << "wimlib-imagex capture failed";

    // No library on disk and no system wimlib: both modules come from memory,
    // and the imaging layer's dependency on libwim.so.15 is the carried copy.
    BindingSources sources;
    sources.wimlibName.clear();
    const auto binding = BindImagingFrom(sources);
    ASSERT_TRUE(binding->carriedWimlib);
    ASSERT_TRUE(binding->carriedImagingLayer);
    EXPECT_FALSE(binding->hasDiskLibrary());
    EXPECT_EQ(binding->imaging.WIMMountImage, nullptr);
    void* wimlib = dlopen("libwim.so.15", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(wimlib, nullptr);
    EXPECT_EQ(Origin(dlsym(wimlib, "wimlib_open_wim")), QStringLiteral("memory"));
    dlclose(wimlib);

    const ImagingApiTable& api = binding->imaging;
    ASSERT_NE(api.WIMCreateFile, nullptr);
    ASSERT_NE(api.WIMGetImageCount, nullptr);
    ASSERT_NE(api.WIMCloseHandle, nullptr);
    const std::u16string path = (dir + "/test.wim").toStdU16String();
    DWORD created = 0;
    HANDLE wim = api.WIMCreateFile(path.c_str(), WIM_GENERIC_READ, WIM_OPEN_EXISTING, 0, 0, &created);
    ASSERT_NE(wim, nullptr);
    EXPECT_EQ(api.WIMGetImageCount(wim), 1u);
    EXPECT_TRUE(api.WIMCloseHandle(wim));
}
#endif

TEST(Binding, ProcessWideBindingFillsTheTables)
{
    const QString appDir = QFileInfo(MakeCandidate(QStringLiteral("appdir"), QStringLiteral("10.0.0"))).absolutePath();
    ASSERT_TRUE(BindImagingLibraries(appDir));
    EXPECT_EQ(Origin((const void*)ImagingApi.WIMMountImage), appDir + "/libwimgapi.so");
    EXPECT_NE(WimlibApi.wimlib_open_wim, nullptr);
    EXPECT_TRUE(DescribeImagingComponents().endsWith(QStringLiteral("libwimgapi.so-V10.0.0.0")))
        << DescribeImagingComponents().toStdString();

    EXPECT_FALSE(BindImagingLibraries(MakeTestDir(QStringLiteral("emptyappdir"))));
    EXPECT_EQ(ImagingApi.WIMMountImage, nullptr);
}

TEST(Binding, SystemFolderIsTheCLibrarysFolder)
{
    const QString folder = SystemLibraryFolder();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(folder + "/libc.so.6")) << folder.toStdString();
}

TEST(Components, LineNamesDeviceHelperAndLibrary)
{
    const QString missing = QStringLiteral("-") + GetLanguageString(303);
    const QString dir = MakeTestDir(QStringLiteral("components"));
    ASSERT_TRUE(WriteBytes(dir + "/libwimgapi.so.6.1.7601", "x"));
    ASSERT_TRUE(WriteBytes(dir + "/libwimgapi.so", "x"));

    const struct {
        QString disk;
        QString libraryPart;
    } cases[] = {
        {QString(), QStringLiteral("libwimgapi.so") + GetLanguageString(295)},
        {dir + "/libwimgapi.so.6.1.7601", QStringLiteral("libwimgapi.so-V6.1.7601.0")},
        {dir + "/libwimgapi.so", QStringLiteral("libwimgapi.so") + missing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.disk.toStdString());
        const QStringList parts = DescribeImagingComponents(c.disk).split(QStringLiteral("; "));
        ASSERT_EQ(parts.size(), 3);
        EXPECT_EQ(parts[0], QFileInfo::exists("/dev/fuse") ? QStringLiteral("/dev/fuse")
                                                           : QStringLiteral("/dev/fuse") + missing);
        EXPECT_TRUE(parts[1].startsWith(QLatin1String("fusermount")));
        if (QStandardPaths::findExecutable(QStringLiteral("fusermount")).isEmpty())
            EXPECT_EQ(parts[1], QStringLiteral("fusermount") + missing);
        else
            EXPECT_TRUE(parts[1].startsWith(QLatin1String("fusermount-V"))) << parts[1].toStdString();
        EXPECT_EQ(parts[2], c.libraryPart);
    }
}
