// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/mountlogic.h"

#include <QFileInfo>

#include <filesystem>
#include <system_error>

bool IsExistingFolder(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool IsExistingFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

bool DirectoryHasEntries(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    std::error_code ec;
    const std::filesystem::directory_iterator it(folder.toStdU16String(), ec);
    return !ec && it != std::filesystem::directory_iterator();
}

bool HasMountFunctions()
{
    return ImagingApi.WIMMountImage && ImagingApi.WIMUnmountImage && ImagingApi.WIMGetMountedImages;
}

MountPageButtons DecideMountPageButtons(const MountPageInputs& in, const std::vector<MountEntry>& mounts)
{
    MountPageButtons b;
    const bool folderExists = IsExistingFolder(in.folder);
    const bool fileExists = IsExistingFile(in.imageFile);
    const bool mountedThere = FindMountByFolder(mounts, in.folder).has_value();
    b.unmount = mountedThere;
    b.apply = folderExists && fileExists;
    b.mount = in.canMount && folderExists && fileExists && !mountedThere && !DirectoryHasEntries(in.folder) &&
              in.totalParts == 1 && in.compressionType < WIM_COMPRESS_LZMS;
    return b;
}

uint32_t WrapImageNumber(const QString& text, uint32_t imageCount)
{
    if (imageCount == 0)
        return 1;
    bool ok = false;
    const qlonglong n = text.trimmed().toLongLong(&ok);
    if (!ok || n <= 0)
        return imageCount;
    if (n > static_cast<qlonglong>(imageCount))
        return 1;
    return static_cast<uint32_t>(n);
}
