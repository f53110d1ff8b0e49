// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/browsercommands.h"

#include "common/language.h"

#include "imaging/imagingapi.h"
#include "metadata/imagefileinfo.h"
#include "metadata/splitparts.h"
#include "pages/core/browserlisting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <mutex>

namespace {

constexpr int kRenameWriteThreads = 2;

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

QByteArray imagePathBytes(const QString& path)
{
    QString p = path;
    p.replace(u'\\', u'/');
    return QFile::encodeName(p);
}

struct WimFree {
    void operator()(WIMStruct* wim) const
    {
        if (WimlibApi.wimlib_free)
            WimlibApi.wimlib_free(wim);
    }
};
using WimPtr = std::unique_ptr<WIMStruct, WimFree>;

// Opens the file for a change; wimlib's result.
int openForChange(const QString& wimPath, WimPtr& wim)
{
    const WimlibApiTable& w = WimlibApi;
    if (!w.wimlib_global_init || !w.wimlib_open_wim || !w.wimlib_free || !w.wimlib_overwrite)
        return WIMLIB_ERR_UNSUPPORTED;
    int rc = w.wimlib_global_init(0);
    if (rc)
        return rc;
    WIMStruct* raw = nullptr;
    rc = w.wimlib_open_wim(QFile::encodeName(wimPath).constData(), WIMLIB_OPEN_FLAG_WRITE_ACCESS, &raw);
    wim.reset(raw);
    return rc ? rc : (wim ? 0 : WIMLIB_ERR_OPEN);
}

int noEntry(const struct wimlib_dir_entry*, void*)
{
    return 0;
}

} // namespace

bool ExtractRunsInDialog(int kind, uint64_t size)
{
    return kind == kRowFolder || size > kDirectExtractLimit;
}

QString ImageChildPath(const QString& dirPath, const QString& name)
{
    return dirPath + u'\\' + name;
}

// "Kestrel - " and the command's name, the title of its progress dialog.
static QString taskTitle(int n)
{
    return QStringLiteral("Kestrel - ") + GetLanguageString(n);
}

QString LastPathComponent(const QString& path)
{
    const QString p = withoutTrailingSlash(path);
    return p.mid(p.lastIndexOf(u'/') + 1);
}

// The files of a split set lie in all its parts: an extraction opens the
// first part and reads from the others. A set that is not whole fails in
// wimlib, which cannot open the missing part.
static void attachSplitParts(WIMLIBTASK& task)
{
    WIMFILEINFO info;
    if (GetImageFileInfo(task.WimPath, info) == 0 || info.TotalParts < 2)
        return;
    QString first = task.WimPath;
    QString expected;
    if (!FirstSplitPartName(first, info.PartNumber, &expected)) {
        // A name that leads to no first part names the chosen part itself.
        task.MissingFirstPart = expected.isEmpty() ? task.WimPath : expected;
        return;
    }
    task.WimPath = first;
    for (uint32_t part = 2; part <= info.TotalParts; ++part)
        task.References << SplitPartName(first, part);
}

QString MissingSplitPart(const WIMLIBTASK& task)
{
    // Only extractions read split sets; the page changes no split file.
    if (task.Kind != kWimlibExtractPath && task.Kind != kWimlibExtractImage)
        return QString();
    if (!task.MissingFirstPart.isEmpty())
        return task.MissingFirstPart;
    return MissingSplitPartName(task.WimPath, uint32_t(task.References.size()) + 1);
}

WIMLIBTASK ExtractImageTask(const QString& wimPath, uint32_t image, const QString& folder)
{
    WIMLIBTASK task;
    task.Title = taskTitle(323);
    task.Kind = kWimlibExtractImage;
    task.WimPath = wimPath;
    task.SourcePath = QStringLiteral("\\*");
    task.TargetPath = withoutTrailingSlash(folder) + QStringLiteral("/Image(%1)").arg(image);
    task.Image = image;
    attachSplitParts(task);
    return task;
}

WIMLIBTASK ExtractItemTask(const QString& wimPath, uint32_t image, const QString& dirPath, const QString& name,
                           const QString& folder, bool flat)
{
    WIMLIBTASK task;
    task.Title = taskTitle(323);
    task.Kind = kWimlibExtractPath;
    task.WimPath = wimPath;
    task.SourcePath = ImageChildPath(dirPath, name);
    task.TargetPath = withoutTrailingSlash(folder);
    task.Image = image;
    task.Flags = flat ? WIMLIB_EXTRACT_FLAG_NO_PRESERVE_DIR_STRUCTURE : 0;
    attachSplitParts(task);
    return task;
}

QString ExtractedItemFolder(const QString& folder, const QString& dirPath, const QString& name, int kind)
{
    QString inside = dirPath;
    inside.replace(u'\\', u'/');
    QString result = withoutTrailingSlash(folder) + inside;
    if (kind == kRowFolder)
        result += u'/' + name;
    return result;
}

WIMLIBTASK AddImageTask(const QString& wimPath, const QString& folder)
{
    WIMLIBTASK task;
    task.Title = taskTitle(325);
    task.Kind = kWimlibAddImage;
    task.WimPath = wimPath;
    task.SourcePath = withoutTrailingSlash(folder);
    task.TargetPath = LastPathComponent(folder);
    return task;
}

bool IsWholePartition(const QString& path)
{
    const QString p = withoutTrailingSlash(QDir::cleanPath(path));
    if (p.isEmpty() || p == QLatin1String("/"))
        return true;
    const QStorageInfo volume(p);
    return volume.isValid() && withoutTrailingSlash(volume.rootPath()) == p;
}

WIMLIBTASK AddItemTask(const QString& wimPath, uint32_t image, const QString& dirPath, const QString& path)
{
    WIMLIBTASK task;
    task.Title = taskTitle(327);
    task.Kind = kWimlibAddTree;
    task.WimPath = wimPath;
    task.SourcePath = withoutTrailingSlash(path);
    task.TargetPath = ImageChildPath(dirPath, LastPathComponent(path));
    task.Image = image;
    return task;
}

WIMLIBTASK DeleteImageTask(const QString& wimPath, uint32_t image)
{
    WIMLIBTASK task;
    task.Title = taskTitle(328);
    task.Kind = kWimlibDeleteImage;
    task.WimPath = wimPath;
    task.Image = image;
    return task;
}

WIMLIBTASK DeletePathTask(const QString& wimPath, uint32_t image, const QString& dirPath, const QString& name)
{
    WIMLIBTASK task;
    task.Title = taskTitle(331);
    task.Kind = kWimlibDeletePath;
    task.WimPath = wimPath;
    task.SourcePath = ImageChildPath(dirPath, name);
    task.Image = image;
    return task;
}

WIMLIBTASK OptimiseTask(const QString& path, bool recompress)
{
    WIMLIBTASK task;
    task.Title = taskTitle(351);
    task.Kind = kWimlibRebuild;
    task.WimPath = path;
    task.Flags = recompress ? WIMLIB_WRITE_FLAG_RECOMPRESS : 0;
    return task;
}

int SelectionAfterDelete(int row, int realRows)
{
    return std::max(0, std::min(row, realRows - 1));
}

bool CanOptimise(const QString& path, const std::vector<MountEntry>& mounts)
{
    const QFileInfo info(path);
    // A file without its owner's write bit counts as read-only even for root,
    // who could write it anyway.
    if (!info.isFile() || !IsImageFileName(info.fileName()) || !info.isWritable()
        || !(info.permissions() & QFile::WriteOwner))
        return false;
    const QString canonical = info.canonicalFilePath();
    for (const MountEntry& m : mounts) {
        if (m.imagePath == path || (!canonical.isEmpty() && QFileInfo(m.imagePath).canonicalFilePath() == canonical))
            return false;
    }
    return true;
}

QString RenameStartText(bool imageList, const QString& rowName)
{
    if (!imageList)
        return rowName;
    qsizetype cut = rowName.indexOf(u' ');
    if (cut < 0)
        cut = rowName.indexOf(u')');
    return cut < 0 ? QString() : rowName.mid(cut + 1);
}

int RenameImage(const QString& wimPath, uint32_t image, const QString& name)
{
    if (!WimlibApi.wimlib_set_image_name)
        return WIMLIB_ERR_UNSUPPORTED;
    try {
        WimPtr wim;
        int rc = openForChange(wimPath, wim);
        if (rc == 0)
            rc = WimlibApi.wimlib_set_image_name(wim.get(), int(image), name.toUtf8().constData());
        if (rc == 0)
            rc = WimlibApi.wimlib_overwrite(wim.get(), 0, kRenameWriteThreads);
        return rc;
    } catch (...) {
        return WIMLIB_ERR_NOMEM;
    }
}

int RenameImagePath(const QString& wimPath, uint32_t image, const QString& dirPath, const QString& oldName,
                    const QString& newName)
{
    if (!WimlibApi.wimlib_rename_path || !WimlibApi.wimlib_iterate_dir_tree)
        return WIMLIB_ERR_UNSUPPORTED;
    if (newName.isEmpty() || newName == QLatin1String(".") || newName == QLatin1String("..")
        || newName.contains(u'/') || newName.contains(u'\\'))
        return WIMLIB_ERR_INVALID_PARAM;
    try {
        WimPtr wim;
        int rc = openForChange(wimPath, wim);
        if (rc)
            return rc;
        const QByteArray from = imagePathBytes(ImageChildPath(dirPath, oldName));
        const QByteArray to = imagePathBytes(ImageChildPath(dirPath, newName));
        // wimlib renames like rename(2) and would drop an entry of that name.
        if (WimlibApi.wimlib_iterate_dir_tree(wim.get(), int(image), to.constData(), 0, noEntry, nullptr) == 0)
            return WIMLIB_ERR_INVALID_PARAM;
        rc = WimlibApi.wimlib_rename_path(wim.get(), int(image), from.constData(), to.constData());
        if (rc == 0)
            rc = WimlibApi.wimlib_overwrite(wim.get(), 0, kRenameWriteThreads);
        return rc;
    } catch (...) {
        return WIMLIB_ERR_NOMEM;
    }
}

QString NewDragFolder()
{
    static std::mutex lock;
    static std::unique_ptr<QTemporaryDir> root;
    static int counter = 0;
    std::lock_guard guard(lock);
    if (!root) {
        root = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kestrel-drag-XXXXXX"));
        if (!root->isValid()) {
            root.reset();
            return QString();
        }
    }
    const QString folder = root->path() + u'/' + QString::number(++counter);
    return QDir().mkpath(folder) ? folder : QString();
}
