// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/exportworker.h"

#include "common/language.h"
#include "common/textutil.h"
#include "imaging/callbacks.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "imaging/wimhandle.h"
#include "metadata/mountsettings.h"
#include "metadata/splitparts.h"
#include "pages/core/exporttargets.h"
#include "pages/core/filereplacement.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace {

// Step texts of the log (language string numbers).
enum : int {
    kStepRegisterCallback = 12,
    kStepTempFolder = 13,
    kStepLoadImage = 14,
    kStepUnregisterCallback = 17,
    kStepCloseImage = 18,
    kStepBoot = 83,
    kStepSplitTask = 101,
    kStepOpenSource = 102,
    kStepSplitParts = 103,
    kStepSplit = 104,
    kStepExportTask = 105,
    kStepOpenTarget = 106,
    kStepExportImage = 107,
    kStepExportAll = 108,
    kStepCloseTarget = 109,
    kStepCloseSource = 110,
    kTextPartMissing = 111,
    kStepExportOverall = 112,
    kTextAlreadyThere = 352,
    kTextTargetIsSource = 363,
};

constexpr uint64_t kMegabyte = 1048576;

void logLine(OperationTask& task, int n)
{
    LogText(task, GetLanguageString(n));
    LogLineBreak(task);
}

// The source's first part, the file the worker opens; empty when a part of
// a set was chosen whose first part is missing.
QString firstPartOf(const OperationTask& task)
{
    QString path = task.ImagePath;
    const uint16_t totalParts = task.FileInfo ? task.FileInfo->TotalParts : 1;
    if (totalParts > 1 && !FirstSplitPartName(path, task.PartNumber))
        return QString();
    return path;
}

// Opens the first part of the source and attaches the other parts of a set.
WimHandle openSource(OperationTask& task, const QString& firstPart)
{
    const uint16_t totalParts = task.FileInfo ? task.FileInfo->TotalParts : 1;
    LogStep(task, kStepOpenSource);
    if (firstPart.isEmpty()) {
        LogResult(task, false, true, ENOENT);
        return {};
    }
    PostPercent(task.ProgressBar, 0, task);
    WimHandle source = OpenImageFileRead(firstPart);
    LogResult(task, bool(source), true);
    if (source && totalParts > 1) {
        QString missing;
        const bool attached = ReferenceSplitParts(source.get(), firstPart, totalParts, &missing) != FALSE;
        if (!attached) {
            const int saved = errno;
            // The line names the part that is missing, not only that one is.
            const QString line = GetLanguageString(kTextPartMissing)
                + (missing.isEmpty() ? QString() : u' ' + missing);
            LogText(task, line);
            LogLineBreak(task);
            if (task.FailureText.isEmpty())
                task.FailureText = line;
            source.reset(nullptr);
            errno = saved;
        }
    }
    return source;
}

bool exportImage(OperationTask& task, HANDLE image, HANDLE target)
{
    // The layer refuses an image that is in the target already (EEXIST),
    // unless duplicates are allowed.
    const DWORD flags = task.AllowDuplicates ? WIM_EXPORT_ALLOW_DUPLICATES : 0;
    if (!ImagingApi.WIMExportImage(image, target, flags))
        return false;
    // The new last image of the target is the one just exported: it must not
    // carry the source's mount settings or icon.
    ErrnoKeeper keep;
    StripPrivateElement(target);
    return true;
}

bool exportOne(OperationTask& task, HANDLE source, HANDLE target)
{
    LogStep(task, kStepLoadImage);
    WimHandle image(ImagingApi.WIMLoadImage(source, task.ImageIndex));
    LogResult(task, bool(image), true);
    if (!image)
        return false;
    LogLineBreak(task);
    LogStep(task, kStepExportImage);
    if (task.ShowProgress && task.ImageIndex <= task.Images.size())
        task.Total = task.Images[task.ImageIndex - 1].FileCount;
    task.Processed = 0;
    bool exported = exportImage(task, image.get(), target);
    LogResult(task, exported, true);
    ErrnoKeeper keep;
    LogLineBreak(task);
    LogStep(task, kStepCloseImage);
    LogResult(task, image.close(), true);
    if (exported && task.Boot) {
        LogStep(task, kStepBoot);
        const DWORD count = ImagingApi.WIMGetImageCount(target);
        const bool marked = ImagingApi.WIMSetBootImage && count && ImagingApi.WIMSetBootImage(target, count);
        LogResult(task, marked, true);
        exported = marked;
    }
    return exported;
}

bool exportAll(OperationTask& task, HANDLE source, HANDLE target)
{
    const uint32_t count = task.FileInfo ? task.FileInfo->ImageCount : 0;
    uint64_t filesTotal = 0;
    for (const WIMIMAGEINFO& image : task.Images)
        filesTotal += image.FileCount;
    if (task.ShowProgress)
        task.Total = filesTotal;
    LogLineBreak(task);
    LogStep(task, kStepExportAll);
    double shareDone = 0;
    uint64_t filesDone = 0;
    bool exported = true;
    uint32_t done = 0;
    for (uint32_t index = 1; index <= count; ++index) {
        // Each image's share of the whole export follows its file count;
        // without counts every image weighs the same.
        const uint64_t files = index <= task.Images.size() ? task.Images[index - 1].FileCount : 0;
        const double share = filesTotal ? double(files) * 100.0 / double(filesTotal) : 100.0 / double(count);
        if (task.ShowProgress) {
            task.ShareDone = shareDone;
            task.ImageShare = share;
            task.SizeDone = filesDone;
        }
        // An image that does not load is passed over, as a damaged image of
        // a set should not keep the others from being merged.
        WimHandle image(ImagingApi.WIMLoadImage(source, index));
        if (image) {
            exported = exportImage(task, image.get(), target);
            ErrnoKeeper keep;
            image.close();
            if (!exported)
                break;
            ++done;
        }
        shareDone += share;
        filesDone += files;
    }
    // Images that do not load are passed over, but not every one of them.
    if (exported && done == 0) {
        exported = false;
        errno = ENOENT;
    }
    if (exported && task.ShowProgress) {
        task.Processed = task.Total.load();
        ShowFileCount(task);
    }
    LogResult(task, exported, true);
    LogLineBreak(task);
    return exported;
}

} // namespace

void ExportWorker(OperationTask& task)
{
    task.Succeeded = false;
    bool exported = false;
    bool began = false;
    LogLineBreak(task);
    LogStep(task, kStepExportTask);
    LogLineBreak(task);
    LogLineBreak(task);
    const QString firstPart = firstPartOf(task);
    const uint32_t totalParts = task.FileInfo ? task.FileInfo->TotalParts : 1;
    if (TargetIsSource(firstPart, totalParts, task.TargetPath)) {
        logLine(task, kTextTargetIsSource);
        errno = EINVAL;
    } else if (WimHandle source = openSource(task, firstPart)) {
        LogStep(task, kStepOpenTarget);
        WimHandle target = OpenImageFileAppend(task.TargetPath, task.CompressionType);
        LogResult(task, bool(target), true);
        if (target) {
            LogStep(task, kStepTempFolder);
            const bool temp = SetTemporaryFolder(source.get(), task.TempPath)
                && SetTemporaryFolder(target.get(), task.TempPath);
            LogResult(task, temp, true);
            // One image: the chosen one, or the only one there is.
            if (task.ImageIndex == 0 && task.FileInfo && task.FileInfo->ImageCount == 1)
                task.ImageIndex = 1;
            bool registered = temp && !task.ShowProgress;
            if (temp && task.ShowProgress) {
                LogStep(task, kStepRegisterCallback);
                task.MessageCallback = task.ImageIndex ? ExportProgressCallback : ExportAllProgressCallback;
                registered = ImagingApi.WIMRegisterMessageCallback(target.get(), task.MessageCallback, &task)
                    != INVALID_CALLBACK_VALUE;
                LogResult(task, registered, true);
                if (registered) {
                    BeginTaskRun(task);
                    began = true;
                    PostEvent(task, task.Events.callStarted);
                }
            }
            if (registered)
                exported = task.ImageIndex ? exportOne(task, source.get(), target.get())
                                           : exportAll(task, source.get(), target.get());
            ErrnoKeeper keep;
            // The imaging layer writes the exported images when the target
            // closes, as one change: the callback stays registered through
            // the close, so that the write shows its progress and a stop
            // still reaches it, and goes with the handle.
            LogStep(task, kStepCloseTarget);
            const bool closed = target.close();
            LogResult(task, closed, true);
            exported = exported && closed;
        }
        ErrnoKeeper keep;
        LogStep(task, kStepCloseSource);
        LogResult(task, source.close(), true);
    }
    const int saved = errno;
    LogLineBreak(task);
    LogStep(task, kStepExportOverall);
    const bool lzms = task.CompressionType == WIM_COMPRESS_LZMS;
    LogResult(task, exported, lzms || task.Cancel.load() == 0, saved);
    if (!exported && saved == EEXIST)
        logLine(task, kTextAlreadyThere);
    if (began)
        EndTaskRun(task);
    PostEvent(task, task.Events.callEnded);
    errno = saved;
    task.Succeeded = exported;
}

uint64_t SplitPartBytes(uint64_t megabytes, uint64_t sourceTotalBytes)
{
    if (megabytes == 0 || megabytes > sourceTotalBytes / kMegabyte + 1)
        return 0;
    const uint64_t bytes = megabytes * kMegabyte;
    return bytes > sourceTotalBytes ? 0 : bytes;
}

namespace {

// The split callback of a set written beside an old one: the parts are
// listed under the names they will have.
struct SplitListing {
    TASKCONTEXT* task = nullptr;
    QString writeName; // first part as written
    QString finalName; // first part as it will be named
};

DWORD listFinalNames(DWORD msg, WPARAM wParam, LPARAM lParam, void* user)
{
    try {
        auto* listing = static_cast<SplitListing*>(user);
        if (msg != WIM_MSG_SPLIT || !wParam || listing->writeName == listing->finalName)
            return SplitProgressCallback(msg, wParam, lParam, listing->task);
        const auto* const* written = reinterpret_cast<const char16_t* const*>(wParam);
        QString name = *written ? QString::fromUtf16(*written) : QString();
        for (uint32_t part = 1; part <= 65535 && !name.isEmpty(); ++part) {
            const QString w = part == 1 ? listing->writeName : SplitPartName(listing->writeName, part);
            if (w == name) {
                name = part == 1 ? listing->finalName : SplitPartName(listing->finalName, part);
                break;
            }
        }
        const std::u16string shown = name.toStdU16String();
        const char16_t* shownPtr = shown.c_str();
        return SplitProgressCallback(msg, WPARAM(&shownPtr), lParam, listing->task);
    } catch (...) {
        return WIM_MSG_ABORT_IMAGE;
    }
}

// Renames parts 2.. of a set written beside the old one to their final
// names (the first part is FileReplacement's). Removes what it could not
// move. False when a part could not take its name.
bool moveLaterParts(const QString& writeName, const QString& finalName)
{
    bool ok = true;
    for (uint32_t part = 2; part <= 65535; ++part) {
        const QString from = SplitPartName(writeName, part);
        if (from.isEmpty() || !QFileInfo::exists(from))
            break;
        if (!ok || std::rename(QFile::encodeName(from).constData(),
                               QFile::encodeName(SplitPartName(finalName, part)).constData()) != 0) {
            const int saved = errno;
            QFile::remove(from);
            if (ok)
                errno = saved;
            ok = false;
        }
    }
    return ok;
}

// The name a new set takes beside an old one: "parts.swm" becomes
// "parts.kestrel-new.swm", so that its later parts follow the same rule.
QString besideName(const QString& finalName)
{
    const QFileInfo info(finalName);
    const QString suffix = info.suffix();
    const QString base = info.absolutePath() + u'/' + info.completeBaseName();
    return suffix.isEmpty() ? base + QStringLiteral(".kestrel-new")
                            : base + QStringLiteral(".kestrel-new.") + suffix;
}

} // namespace

void SplitWorker(OperationTask& task)
{
    task.Succeeded = false;
    LogLineBreak(task);
    LogStep(task, kStepSplitTask);
    LogLineBreak(task);
    LogLineBreak(task);
    // The part size in bytes needs 64 bits: 4096 MB and more overflow 32.
    const uint64_t megabytes = std::min<uint64_t>(task.PartMegabytes, uint64_t(INT64_MAX) / kMegabyte);
    int64_t partSize = int64_t(megabytes * kMegabyte);
    const uint64_t sourceBytes = QFileInfo(task.ImagePath).size();
    const uint64_t partsAtMost = partSize > 0 ? std::min<uint64_t>(sourceBytes / uint64_t(partSize) + 2, 65535) : 1;
    if (SplitTargetHitsSource(task.ImagePath, task.TargetPath, uint32_t(partsAtMost))) {
        logLine(task, kTextTargetIsSource);
        LogStep(task, kStepSplitTask);
        LogResult(task, false, true, EINVAL);
        errno = EINVAL;
        return;
    }
    bool split = false;
    bool began = false;
    LogStep(task, kStepOpenSource);
    PostPercent(task.ProgressBar, 0, task);
    WimHandle wim = OpenImageFileRead(task.ImagePath);
    LogResult(task, bool(wim), true);
    FileReplacement replacement(task.TargetPath);
    SplitListing listing;
    listing.task = &task;
    listing.finalName = replacement.replacing() ? replacement.finalPath() : task.TargetPath;
    listing.writeName = replacement.replacing() ? besideName(replacement.finalPath()) : task.TargetPath;
    if (wim) {
        LogStep(task, kStepTempFolder);
        bool ready = SetTemporaryFolder(wim.get(), task.TempPath);
        LogResult(task, ready, true);
        if (ready && task.ShowProgress) {
            LogStep(task, kStepRegisterCallback);
            task.MessageCallback = listFinalNames;
            ready = ImagingApi.WIMRegisterMessageCallback(wim.get(), listFinalNames, &listing)
                != INVALID_CALLBACK_VALUE;
            LogResult(task, ready, true);
            if (ready) {
                BeginTaskRun(task);
                began = true;
                PostEvent(task, task.Events.callStarted);
            }
        }
        if (ready) {
            LogLineBreak(task);
            task.SizeDone = 0;
            task.Processed = 0;
            LogText(task, GetLanguageString(kStepSplitParts));
            LogLineBreak(task);
            if (task.ShowProgress && !task.PartListBox) {
                LogText(task, listing.finalName);
                LogLineBreak(task);
            }
            QFile::remove(listing.writeName); // a leftover of an earlier run
            split = ImagingApi.WIMSplitFile(wim.get(), Utf16(listing.writeName), &partSize, 0) != FALSE;
            if (split && replacement.replacing()) {
                // The first part is written under the beside name that
                // FileReplacement removes on failure; move it to its
                // replacement path so that commit() puts it in place.
                split = std::rename(QFile::encodeName(listing.writeName).constData(),
                                    QFile::encodeName(replacement.writePath()).constData()) == 0
                    && moveLaterParts(listing.writeName, listing.finalName);
                if (!split) {
                    ErrnoKeeper keep;
                    QFile::remove(listing.writeName);
                }
            }
            // A new set is written under its own names; only a replaced one
            // goes through the file beside the old first part.
            if (split && replacement.replacing()) {
                QString failure;
                split = replacement.commit(&failure);
            }
            if (split)
                PostPercent(task.ProgressBar, 100, task);
            ErrnoKeeper keep;
            LogLineBreak(task);
            LogStep(task, kStepSplit);
            LogResult(task, split, true);
            if (task.ShowProgress) {
                LogLineBreak(task);
                LogStep(task, kStepUnregisterCallback);
                LogResult(task, ImagingApi.WIMUnregisterMessageCallback(wim.get(), listFinalNames) != FALSE);
            }
        }
        ErrnoKeeper keep;
        LogStep(task, kStepCloseImage);
        const bool closed = wim.close();
        LogResult(task, closed, true);
        split = split && closed;
    }
    const int saved = errno;
    LogLineBreak(task);
    LogStep(task, kStepSplitTask);
    LogResult(task, split, task.Cancel.load() == 0, saved);
    if (began)
        EndTaskRun(task);
    PostEvent(task, task.Events.callEnded);
    errno = saved;
    task.Succeeded = split;
}
