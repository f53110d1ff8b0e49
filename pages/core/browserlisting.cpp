// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/browserlisting.h"

#include "common/format.h"
#include "common/language.h"
#include "imaging/wimhandle.h"
#include "metadata/imagefileinfo.h"
#include "metadata/imageicon.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>

namespace {

// 100 ns ticks from 1601-01-01 to 1970-01-01.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ULL;
constexpr int kIconSize = 16;

uint64_t fromFileTime(const WIM_FILETIME& t)
{
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

bool pseudoFileSystem(const QByteArray& type)
{
    static const QSet<QByteArray> kPseudo = {
        "proc",    "sysfs",       "tmpfs",     "devtmpfs",  "overlay",   "devpts",      "cgroup",
        "cgroup2", "securityfs",  "pstore",    "bpf",       "tracefs",   "debugfs",     "mqueue",
        "hugetlbfs", "fusectl",   "configfs",  "autofs",    "binfmt_misc", "ramfs",     "nsfs",
        "efivarfs", "rpc_pipefs", "squashfs",  "fuse.portal", "fuse.gvfsd-fuse", "fuse.lxcfs",
    };
    return kPseudo.contains(type);
}

bool systemMountPoint(const QString& root)
{
    for (const char* prefix : {"/proc", "/sys", "/dev", "/run", "/snap", "/var/lib/docker"}) {
        const QString p = QString::fromLatin1(prefix);
        if (root == p || root.startsWith(p + u'/')) {
            // Removable media that the desktop mounts under /run/media stay.
            return !root.startsWith(QStringLiteral("/run/media/"));
        }
    }
    return false;
}

BrowserRow folderRow(const QString& name, uint64_t created, uint64_t modified)
{
    BrowserRow row;
    row.name = name;
    row.kind = kRowFolder;
    row.typeName = GetLanguageString(347);
    row.iconName = QStringLiteral("folder");
    row.created = created;
    row.modified = modified;
    return row;
}

} // namespace

uint64_t ToFileTime(const QDateTime& time)
{
    if (!time.isValid())
        return 0;
    const qint64 ms = time.toMSecsSinceEpoch();
    return ms < -11644473600000LL ? 0 : uint64_t(ms * 10000 + qint64(kUnixEpochTicks));
}

const FileTypeNames::Type& FileTypeNames::of(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString key = dot > 0 ? fileName.mid(dot + 1).toLower() : QString();
    auto it = m_cache.constFind(key);
    if (it == m_cache.constEnd()) {
        static const QMimeDatabase db;
        const QMimeType type = db.mimeTypeForFile(dot > 0 ? fileName : QStringLiteral("x"), QMimeDatabase::MatchExtension);
        it = m_cache.insert(key, Type{type.comment(), type.iconName()});
    }
    return *it;
}

bool IsImageFileName(const QString& name)
{
    return name.endsWith(QLatin1String(".wim"), Qt::CaseInsensitive)
        || name.endsWith(QLatin1String(".esd"), Qt::CaseInsensitive)
        || name.endsWith(QLatin1String(".swm"), Qt::CaseInsensitive);
}

BrowserRow ParentRow()
{
    BrowserRow row;
    row.name = QStringLiteral("..");
    row.typeName = GetLanguageString(346);
    row.iconName = QStringLiteral("go-up");
    row.kind = kRowDriveOrParent;
    return row;
}

QString ImageRowName(uint32_t image, const QString& name)
{
    QString text = QStringLiteral("Image(%1)").arg(image);
    if (!name.isEmpty())
        text += QStringLiteral(": ") + name;
    return text;
}

BrowserListing ListDrives()
{
    BrowserListing listing;
    QMimeDatabase db;
    const QString typeName = db.mimeTypeForName(QStringLiteral("inode/mount-point")).comment();
    QSet<QString> seen;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (!volume.isValid() || seen.contains(root))
            continue;
        if (root != QLatin1String("/") && (pseudoFileSystem(volume.fileSystemType()) || systemMountPoint(root)))
            continue;
        seen.insert(root);
        BrowserRow row;
        row.kind = kRowDriveOrParent;
        row.path = root;
        row.name = root == QLatin1String("/") || volume.name().isEmpty() ? volume.displayName()
                                                                          : volume.name() + QStringLiteral(" (") + root + u')';
        row.typeName = typeName.isEmpty() ? QString::fromLatin1(volume.fileSystemType())
                                          : typeName + QStringLiteral(" (") + QString::fromLatin1(volume.fileSystemType()) + u')';
        row.iconName = volume.isReadOnly() ? QStringLiteral("media-optical") : QStringLiteral("drive-harddisk");
        listing.rows.push_back(std::move(row));
    }
    std::stable_sort(listing.rows.begin(), listing.rows.end(), [](const BrowserRow& a, const BrowserRow& b) {
        if ((a.path == QLatin1String("/")) != (b.path == QLatin1String("/")))
            return a.path == QLatin1String("/");
        return a.path < b.path;
    });
    return listing;
}

BrowserListing ListFolder(const QString& folder, bool imageIcons)
{
    BrowserListing listing;
    listing.rows.push_back(ParentRow());
    QDir dir(folder);
    if (!dir.exists()) {
        listing.ok = false;
        return listing;
    }
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                                    QDir::Name | QDir::IgnoreCase | QDir::DirsFirst);
    listing.rows.reserve(size_t(entries.size()) + 1);
    for (const QFileInfo& info : entries) {
        const uint64_t created = ToFileTime(info.birthTime());
        const uint64_t modified = ToFileTime(info.lastModified());
        if (info.isDir()) {
            listing.rows.push_back(folderRow(info.fileName(), created, modified));
            continue;
        }
        BrowserRow row;
        row.name = info.fileName();
        row.kind = IsImageFileName(row.name) ? kRowImageFile : kRowFile;
        row.size = uint64_t(std::max<qint64>(0, info.size()));
        row.showSize = true;
        row.created = created;
        row.modified = modified;
        if (row.kind == kRowImageFile && imageIcons)
            row.ownIcon = ReadImageIcon(info.filePath(), 0, kIconSize).Small;
        listing.rows.push_back(std::move(row));
    }
    return listing;
}

BrowserListing ListImages(const QString& imageFile)
{
    BrowserListing listing;
    listing.rows.push_back(ParentRow());
    WIMFILEINFO info;
    if (GetImageFileInfo(imageFile, info) == 0) {
        listing.ok = false;
        return listing;
    }
    std::vector<WIMIMAGEINFO> images(info.ImageCount);
    ReadImageInfo(imageFile, info, images);
    for (uint32_t k = 1; k <= info.ImageCount; ++k) {
        const WIMIMAGEINFO& image = images[k - 1];
        BrowserRow row;
        row.kind = kRowFolder;
        row.name = ImageRowName(k, image.Name);
        row.typeName = GetLanguageString(321);
        row.iconName = QStringLiteral("media-optical");
        row.sizeText = image.SizeText;
        row.createdText = image.CreationTimeText;
        row.modifiedText = image.ModificationTimeText;
        row.showSize = true;
        listing.rows.push_back(std::move(row));
    }
    return listing;
}

struct ImageDirectoryReader::Open {
    QString file;
    uint32_t image = 0;
    qint64 size = -1;
    QDateTime modified;
    WimHandle wim;
    WimHandle loaded;
};

ImageDirectoryReader::ImageDirectoryReader() = default;

ImageDirectoryReader::~ImageDirectoryReader()
{
    close();
}

void ImageDirectoryReader::close()
{
    if (!m_open)
        return;
    // The image before its file, as the layer wants.
    m_open->loaded.close();
    m_open->wim.close();
    m_open.reset();
}

bool ImageDirectoryReader::isOpen() const
{
    return m_open != nullptr;
}

BrowserListing ImageDirectoryReader::list(const QString& imageFile, uint32_t image, const QString& dirPath,
                                          const QString& tempFolder)
{
    BrowserListing listing;
    listing.rows.push_back(ParentRow());
    listing.ok = false;
    if (!ImagingApi.WIMLoadImage || !ImagingApi.WIMFindFirstImageFile || !ImagingApi.WIMFindNextImageFile)
        return listing;
    const QFileInfo info(imageFile);
    if (m_open && (m_open->file != imageFile || m_open->image != image || m_open->size != info.size()
                   || m_open->modified != info.lastModified()))
        close();
    if (!m_open) {
        auto open = std::make_unique<Open>();
        open->file = imageFile;
        open->image = image;
        open->size = info.size();
        open->modified = info.lastModified();
        open->wim = OpenImageFileRead(imageFile);
        if (!open->wim)
            return listing;
        SetTemporaryFolder(open->wim.get(), tempFolder);
        open->loaded.reset(ImagingApi.WIMLoadImage(open->wim.get(), image));
        if (!open->loaded)
            return listing;
        m_open = std::move(open);
    }
    const HANDLE loaded = m_open->loaded.get();
    const std::u16string pattern = (dirPath + QStringLiteral("\\*")).toStdU16String();
    WIM_FIND_DATA data{};
    WimHandle find(ImagingApi.WIMFindFirstImageFile(loaded, pattern.c_str(), &data));
    if (!find) {
        // An empty folder has nothing to find, which is no failure; a folder
        // that is not there is one. The folder is looked up in its parent.
        if (errno != ENOENT)
            return listing;
        if (dirPath.isEmpty()) {
            listing.ok = true;
            return listing;
        }
        const std::u16string self = dirPath.toStdU16String();
        WimHandle probe(ImagingApi.WIMFindFirstImageFile(loaded, self.c_str(), &data));
        listing.ok = probe && (data.dwFileAttributes & WIM_FILE_ATTRIBUTE_DIRECTORY);
        return listing;
    }
    // One pass over the layer's list; the folders are moved before the
    // files afterwards, keeping the order within each.
    std::vector<BrowserRow>& rows = listing.rows;
    rows.reserve(1024);
    const QString folderType = GetLanguageString(347);
    const QString folderIcon = QStringLiteral("folder");
    do {
        BrowserRow& row = rows.emplace_back();
        row.name = QString::fromUtf16(data.cFileName);
        row.created = fromFileTime(data.ftCreationTime);
        row.modified = fromFileTime(data.ftLastWriteTime);
        if (data.dwFileAttributes & WIM_FILE_ATTRIBUTE_DIRECTORY) {
            row.kind = kRowFolder;
            row.typeName = folderType;
            row.iconName = folderIcon;
        } else {
            row.kind = IsImageFileName(row.name) ? kRowImageFile : kRowFile;
            row.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
    } while (ImagingApi.WIMFindNextImageFile(find.get(), &data));
    std::stable_partition(rows.begin() + 1, rows.end(), [](const BrowserRow& r) { return r.kind == kRowFolder; });
    listing.ok = true;
    return listing;
}

BrowserListing ListImageDirectory(const QString& imageFile, uint32_t image, const QString& dirPath,
                                  const QString& tempFolder)
{
    ImageDirectoryReader reader;
    return reader.list(imageFile, image, dirPath, tempFolder);
}
