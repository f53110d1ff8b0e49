// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/binding.h"

#include "common/language.h"
#include "imaging/resources.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <dlfcn.h>

#include <cstddef>
#include <functional>
#include <iterator>
#include <cstring>

ImagingApiTable ImagingApi;
WimlibApiTable WimlibApi;

namespace {

struct Entry {
    const char* name;
    size_t offset;
};

#define KESTREL_ENTRY(table, name) Entry{#name, offsetof(table, name)}

// The first six are the mount group.
constexpr Entry kImagingEntries[] = {
    KESTREL_ENTRY(ImagingApiTable, WIMMountImage),
    KESTREL_ENTRY(ImagingApiTable, WIMUnmountImage),
    KESTREL_ENTRY(ImagingApiTable, WIMRemountImage),
    KESTREL_ENTRY(ImagingApiTable, WIMGetMountedImages),
    KESTREL_ENTRY(ImagingApiTable, WIMDeleteImageMounts),
    KESTREL_ENTRY(ImagingApiTable, WIMGetMountedImageInfo),
    KESTREL_ENTRY(ImagingApiTable, WIMLoadImage),
    KESTREL_ENTRY(ImagingApiTable, WIMSplitFile),
    KESTREL_ENTRY(ImagingApiTable, WIMCreateFile),
    KESTREL_ENTRY(ImagingApiTable, WIMApplyImage),
    KESTREL_ENTRY(ImagingApiTable, WIMCloseHandle),
    KESTREL_ENTRY(ImagingApiTable, WIMExportImage),
    KESTREL_ENTRY(ImagingApiTable, WIMDeleteImage),
    KESTREL_ENTRY(ImagingApiTable, WIMSetBootImage),
    KESTREL_ENTRY(ImagingApiTable, WIMCaptureImage),
    KESTREL_ENTRY(ImagingApiTable, WIMGetImageCount),
    KESTREL_ENTRY(ImagingApiTable, WIMGetAttributes),
    KESTREL_ENTRY(ImagingApiTable, WIMSetTemporaryPath),
    KESTREL_ENTRY(ImagingApiTable, WIMSetReferenceFile),
    KESTREL_ENTRY(ImagingApiTable, WIMSetImageInformation),
    KESTREL_ENTRY(ImagingApiTable, WIMGetImageInformation),
    KESTREL_ENTRY(ImagingApiTable, WIMRegisterMessageCallback),
    KESTREL_ENTRY(ImagingApiTable, WIMUnregisterMessageCallback),
    KESTREL_ENTRY(ImagingApiTable, WIMFindFirstImageFile),
    KESTREL_ENTRY(ImagingApiTable, WIMFindNextImageFile),
    KESTREL_ENTRY(ImagingApiTable, WIMReplaceImageFile),
};
constexpr size_t kMountEntries = 6;
static_assert(std::size(kImagingEntries) * sizeof(void*) == sizeof(ImagingApiTable),
              "every ImagingApi entry is bound");

constexpr Entry kWimlibEntries[] = {
    KESTREL_ENTRY(WimlibApiTable, wimlib_open_wim),
    KESTREL_ENTRY(WimlibApiTable, wimlib_free),
    KESTREL_ENTRY(WimlibApiTable, wimlib_global_cleanup),
    KESTREL_ENTRY(WimlibApiTable, wimlib_extract_paths),
    KESTREL_ENTRY(WimlibApiTable, wimlib_global_init),
    KESTREL_ENTRY(WimlibApiTable, wimlib_register_progress_function),
    KESTREL_ENTRY(WimlibApiTable, wimlib_iterate_dir_tree),
    KESTREL_ENTRY(WimlibApiTable, wimlib_add_tree),
    KESTREL_ENTRY(WimlibApiTable, wimlib_extract_image),
    KESTREL_ENTRY(WimlibApiTable, wimlib_overwrite),
    KESTREL_ENTRY(WimlibApiTable, wimlib_delete_path),
    KESTREL_ENTRY(WimlibApiTable, wimlib_delete_image),
    KESTREL_ENTRY(WimlibApiTable, wimlib_add_image),
    KESTREL_ENTRY(WimlibApiTable, wimlib_set_image_name),
    KESTREL_ENTRY(WimlibApiTable, wimlib_rename_path),
    KESTREL_ENTRY(WimlibApiTable, wimlib_create_new_wim),
    KESTREL_ENTRY(WimlibApiTable, wimlib_export_image),
    KESTREL_ENTRY(WimlibApiTable, wimlib_get_error_string),
    KESTREL_ENTRY(WimlibApiTable, wimlib_set_output_compression_type),
    KESTREL_ENTRY(WimlibApiTable, wimlib_write),
    KESTREL_ENTRY(WimlibApiTable, wimlib_set_default_compression_level),
    KESTREL_ENTRY(WimlibApiTable, wimlib_iterate_lookup_table),
    KESTREL_ENTRY(WimlibApiTable, wimlib_get_image_property),
    KESTREL_ENTRY(WimlibApiTable, wimlib_reference_resource_files),
};
static_assert(std::size(kWimlibEntries) * sizeof(void*) == sizeof(WimlibApiTable),
              "every WimlibApi entry is bound");

#undef KESTREL_ENTRY

constexpr uint32_t kFullBindingAbove = 0x00060001; // 6.1, the Windows 7 library
const QString kLibraryName = QStringLiteral("libwimgapi.so");

template <typename Table>
void SetEntry(Table& table, const Entry& e, void* address)
{
    // The tables hold nothing but function pointers, which on this platform
    // have the size and representation of the addresses dlsym returns.
    std::memcpy(reinterpret_cast<char*>(&table) + e.offset, &address, sizeof address);
}

using Resolver = std::function<void*(const char*)>;

Resolver FromHandle(void* handle)
{
    return [handle](const char* name) { return FindOwnSymbol(handle, name); };
}

Resolver FromSlot(const MemoryModuleSlot& slot)
{
    return [&slot](const char* name) { return GetModuleExport(slot, name); };
}

void ResolveImagingEntries(ImagingApiTable& table, size_t first, size_t last, const Resolver& resolve)
{
    for (size_t i = first; i < last; ++i)
        SetEntry(table, kImagingEntries[i], resolve(kImagingEntries[i].name));
}

uint32_t MostSignificant(uint64_t v)
{
    return uint32_t(v & 0xFFFFFFFFu);
}

uint32_t LeastSignificant(uint64_t v)
{
    return uint32_t(v >> 32);
}

struct Candidate {
    QString path;
    uint64_t version = 0;
};

void* OpenDiskLibrary(const QString& path)
{
    // Only absolute paths: a bare name would make the loader search its own
    // folders instead of the candidate's.
    if (path.isEmpty() || !path.startsWith(QLatin1Char('/')))
        return nullptr;
    // RTLD_NODELETE: the layer's detached threads (mount-list queries that
    // timed out) may still run its code while the process ends.
    return dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
}

// Resolves the names of the carried name table (64-byte zero-padded slots)
// from `handle`. A name fills the entry of the same name, so a table in
// another order still binds each entry right; unknown names bind nothing.
void ResolveWimlibNames(WimlibApiTable& table, const QByteArray& names, const Resolver& resolve)
{
    for (qsizetype at = 0; at + kWimlibNameSlot <= names.size(); at += kWimlibNameSlot) {
        const QByteArray slot = names.mid(at, kWimlibNameSlot);
        const qsizetype end = slot.indexOf('\0');
        if (end <= 0)
            continue; // empty or not terminated inside its slot
        const QByteArray name = slot.left(end);
        for (const Entry& e : kWimlibEntries) {
            if (name == e.name) {
                SetEntry(table, e, resolve(e.name));
                break;
            }
        }
    }
}

struct Fusermount {
    QString version; // "2.9.9"; empty when it is missing or tells none
};

Fusermount ProbeFusermount()
{
    Fusermount f;
    const QString exe = QStandardPaths::findExecutable(QStringLiteral("fusermount"));
    if (exe.isEmpty())
        return f;
    QProcess p;
    p.start(exe, {QStringLiteral("-V")});
    if (!p.waitForFinished(2000)) {
        p.kill();
        p.waitForFinished(1000);
        return f;
    }
    const QString text = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("(\\d+(?:\\.\\d+){0,3})")).match(text);
    if (m.hasMatch())
        f.version = m.captured(1);
    return f;
}

} // namespace

void ImagingBinding::DlCloser::operator()(void* h) const
{
    if (h)
        dlclose(h);
}

ImagingBinding::ImagingBinding() = default;
ImagingBinding::~ImagingBinding() = default;

QString SystemLibraryFolder()
{
    // Looked up by name so that the address is libc's own definition, never
    // a stub in the program.
    void* fn = dlsym(RTLD_DEFAULT, "gnu_get_libc_version");
    Dl_info info;
    if (!fn || !dladdr(fn, &info) || !info.dli_fname)
        return QString();
    return QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath();
}

uint64_t GetFileVersion(const QString& path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    if (resolved.isEmpty())
        return 0;
    const QString name = QFileInfo(resolved).fileName();
    const qsizetype at = name.lastIndexOf(QLatin1String(".so."));
    if (at < 0)
        return 0;
    const QStringList parts = name.mid(at + 4).split(QLatin1Char('.'));
    if (parts.size() > 4)
        return 0;
    uint32_t word[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& p = parts.at(i);
        bool ok = !p.isEmpty() && p.size() <= 5;
        for (QChar c : p)
            ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const uint32_t v = ok ? p.toUInt(&ok) : 0;
        if (!ok || v > 0xFFFF)
            return 0;
        word[i] = v;
    }
    return uint64_t(word[0] << 16 | word[1]) | uint64_t(word[2] << 16 | word[3]) << 32;
}

QString FormatFileVersion(const QString& path)
{
    const uint64_t v = GetFileVersion(path);
    if (v == 0)
        return QString();
    return QStringLiteral("-V%1.%2.%3.%4")
        .arg(MostSignificant(v) >> 16)
        .arg(MostSignificant(v) & 0xFFFF)
        .arg(LeastSignificant(v) >> 16)
        .arg(LeastSignificant(v) & 0xFFFF);
}

uint64_t CandidateVersion(const QString& path)
{
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray head = f.read(64);
    return IsOwnMachineSharedObject(head.constData(), head.size()) ? GetFileVersion(path) : 0;
}

bool IsNewerVersion(uint64_t a, uint64_t b)
{
    if (MostSignificant(a) != MostSignificant(b))
        return MostSignificant(a) > MostSignificant(b);
    return LeastSignificant(a) > LeastSignificant(b);
}

QStringList WimlibEntryNames()
{
    QStringList names;
    for (const Entry& e : kWimlibEntries)
        names << QLatin1String(e.name);
    return names;
}

std::unique_ptr<ImagingBinding> BindImagingFrom(const BindingSources& sources)
{
    auto b = std::make_unique<ImagingBinding>();

    // wimlib first: the imaging libraries depend on libwim.so.15, and when the
    // system has none, that dependency must find the carried copy already
    // loaded (RTLD_GLOBAL; the loader matches it by its soname).
    if (!sources.wimlibName.isEmpty())
        b->m_systemWimlib.reset(dlopen(sources.wimlibName.constData(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
    if (!b->m_systemWimlib && sources.carried)
        b->carriedWimlib = LoadModuleFromMemory(b->m_wimlibSlot, sources.carried(CarriedResource::WimlibModule), true, true);
    if (b->m_systemWimlib || b->carriedWimlib) {
        const QByteArray names = sources.carried ? sources.carried(CarriedResource::WimlibNames) : QByteArray();
        ResolveWimlibNames(b->wimlib, names,
                           b->m_systemWimlib ? FromHandle(b->m_systemWimlib.get()) : FromSlot(b->m_wimlibSlot));
    }

    Candidate order[2] = {{sources.systemCandidate, CandidateVersion(sources.systemCandidate)},
                          {sources.programCandidate, CandidateVersion(sources.programCandidate)}};
    if (IsNewerVersion(order[1].version, order[0].version))
        std::swap(order[0], order[1]);

    for (const Candidate& c : order) {
        if (MostSignificant(c.version) <= kFullBindingAbove)
            continue;
        if (void* h = OpenDiskLibrary(c.path)) {
            b->m_disk.reset(h);
            b->diskLibraryPath = c.path;
            b->fullBinding = true;
            ResolveImagingEntries(b->imaging, 0, std::size(kImagingEntries), FromHandle(h));
            return b;
        }
    }

    // Mounting needs a library from disk whatever its version (even one that
    // is no shared object of this machine is tried); the rest comes from the
    // carried build.
    for (const Candidate& c : order) {
        if (void* h = OpenDiskLibrary(c.path)) {
            b->m_disk.reset(h);
            b->diskLibraryPath = c.path;
            ResolveImagingEntries(b->imaging, 0, kMountEntries, FromHandle(h));
            break;
        }
    }
    if (sources.carried
        && LoadModuleFromMemory(b->m_imagingSlot, sources.carried(CarriedResource::ImagingLayer), false, true)) {
        b->carriedImagingLayer = true;
        ResolveImagingEntries(b->imaging, kMountEntries, std::size(kImagingEntries), FromSlot(b->m_imagingSlot));
    }
    // The unpacked images were temporaries: the loaded modules keep their own
    // copies in their memfds.
    return b;
}

QString DescribeImagingComponents(const QString& diskLibraryPath)
{
    const QString missing = QStringLiteral("-") + GetLanguageString(303);
    QString text = QStringLiteral("/dev/fuse");
    if (!QFileInfo::exists(QStringLiteral("/dev/fuse")))
        text += missing;
    text += QStringLiteral("; fusermount");
    static const Fusermount fusermount = ProbeFusermount();
    if (!fusermount.version.isEmpty())
        text += QStringLiteral("-V") + fusermount.version;
    else
        text += missing;
    text += QStringLiteral("; ") + kLibraryName;
    if (diskLibraryPath.isEmpty()) {
        text += GetLanguageString(295);
    } else {
        const QString version = FormatFileVersion(diskLibraryPath);
        text += version.isEmpty() ? missing : version;
    }
    return text;
}

namespace {

// The process-wide binding. At exit the tables are emptied before the
// libraries behind them are unloaded.
struct ProcessBinding {
    std::unique_ptr<ImagingBinding> binding;
    ~ProcessBinding()
    {
        ImagingApi = ImagingApiTable();
        WimlibApi = WimlibApiTable();
    }
};

ProcessBinding g_process;

} // namespace

bool BindImagingLibraries(const QString& appDir)
{
    BindingSources sources;
    const QString system = SystemLibraryFolder();
    if (!system.isEmpty())
        sources.systemCandidate = system + QLatin1Char('/') + kLibraryName;
    if (!appDir.isEmpty())
        sources.programCandidate = appDir + QLatin1Char('/') + kLibraryName;
    g_process.binding = BindImagingFrom(sources);
    ImagingApi = g_process.binding->imaging;
    WimlibApi = g_process.binding->wimlib;
    return g_process.binding->hasDiskLibrary();
}

QString DescribeImagingComponents()
{
    return DescribeImagingComponents(g_process.binding ? g_process.binding->diskLibraryPath : QString());
}
