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

uint64_t toFileTime(const QDateTime& t)
{
    if (!t.isValid())
        return 0;
    const qint64 ms = t.toMSecsSinceEpoch();
    return ms < -11644473600000LL ? 0 : uint64_t(ms * 10000 + qint64(kUnixEpochTicks));
}

uint64_t fromFileTime(const WIM_FILETIME& t)
{
    return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// Type names come from the MIME database by extension; a folder of 20,000
// files has a handful of extensions, so each is looked up once.
class TypeNames {
public:
    void describe(const QString& name, BrowserRow& row)
    {
        const qsizetype dot = name.lastIndexOf(u'.');
        const QString key = dot > 0 ? name.mid(dot + 1).toLower() : QString();
        auto it = m_cache.constFind(key);
        if (it == m_cache.constEnd()) {
            const QMimeType type = m_db.mimeTypeForFile(dot > 0 ? name : QStringLiteral("x"),
                                                        QMimeDatabase::MatchExtension);
            it = m_cache.insert(key, {type.comment(), type.iconName(), type.genericIconName()});
        }
        row.typeName = it->comment;
        row.iconName = it->icon;
    }

private:
    struct Entry {
        QString comment;
        QString icon;
        QString generic;
    };
    QMimeDatabase m_db;
    QHash<QString, Entry> m_cache;
};

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
    TypeNames types;
    for (const QFileInfo& info : entries) {
        const uint64_t created = toFileTime(info.birthTime());
        const uint64_t modified = toFileTime(info.lastModified());
        if (info.isDir()) {
            listing.rows.push_back(folderRow(info.fileName(), created, modified));
            continue;
        }
        BrowserRow row;
        row.name = info.fileName();
        row.kind = IsImageFileName(row.name) ? kRowImageFile : kRowFile;
        types.describe(row.name, row);
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

BrowserListing ListImageDirectory(const QString& imageFile, uint32_t image, const QString& dirPath,
                                  const QString& tempFolder)
{
    BrowserListing listing;
    listing.rows.push_back(ParentRow());
    listing.ok = false;
    if (!ImagingApi.WIMLoadImage || !ImagingApi.WIMFindFirstImageFile || !ImagingApi.WIMFindNextImageFile)
        return listing;
    WimHandle file = OpenImageFileRead(imageFile);
    if (!file)
        return listing;
    SetTemporaryFolder(file.get(), tempFolder);
    WimHandle loaded(ImagingApi.WIMLoadImage(file.get(), image));
    if (!loaded)
        return listing;
    const std::u16string pattern = (dirPath + QStringLiteral("\\*")).toStdU16String();
    // One pass over the layer's list; the files wait in their own vector so
    // that the folders come first without a second walk.
    WIM_FIND_DATA data{};
    WimHandle find(ImagingApi.WIMFindFirstImageFile(loaded.get(), pattern.c_str(), &data));
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
        WimHandle probe(ImagingApi.WIMFindFirstImageFile(loaded.get(), self.c_str(), &data));
        listing.ok = probe && (data.dwFileAttributes & WIM_FILE_ATTRIBUTE_DIRECTORY);
        return listing;
    }
    std::vector<BrowserRow> files;
    TypeNames types;
    do {
        const QString name = QString::fromUtf16(data.cFileName);
        const uint64_t created = fromFileTime(data.ftCreationTime);
        const uint64_t modified = fromFileTime(data.ftLastWriteTime);
        if (data.dwFileAttributes & WIM_FILE_ATTRIBUTE_DIRECTORY) {
            listing.rows.push_back(folderRow(name, created, modified));
            continue;
        }
        BrowserRow row;
        row.name = name;
        row.kind = IsImageFileName(name) ? kRowImageFile : kRowFile;
        types.describe(name, row);
        row.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        row.created = created;
        row.modified = modified;
        files.push_back(std::move(row));
    } while (ImagingApi.WIMFindNextImageFile(find.get(), &data));
    listing.rows.insert(listing.rows.end(), std::make_move_iterator(files.begin()),
                        std::make_move_iterator(files.end()));
    listing.ok = true;
    return listing;
}
