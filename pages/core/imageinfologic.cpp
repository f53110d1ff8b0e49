// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/imageinfologic.h"

#include "common/textutil.h"

#include <cerrno>

bool ReadImageFile(const QString& path, WIMFILEINFO& info, std::vector<WIMIMAGEINFO>& images, int* error)
{
    images.clear();
    errno = 0;
    const uint32_t count = GetImageFileInfo(path, info);
    bool ok = count > 0;
    if (ok) {
        images.assign(count, WIMIMAGEINFO{});
        ok = ReadImageInfo(path, info, images);
    }
    if (!ok) {
        if (error)
            *error = errno ? errno : EIO;
        images.clear();
    }
    return ok;
}

InfoPageEnabling DecideInfoPageEnabling(const InfoPageInputs& in)
{
    InfoPageEnabling e;
    if (!in.fileRead)
        return e;
    const bool changeable = in.totalParts == 1;
    const bool selected = in.selectedRow >= 0 && uint32_t(in.selectedRow) < in.imageCount;
    e.view = true;
    e.fields = changeable;
    e.boot = changeable && (!selected || uint32_t(in.selectedRow) + 1 != in.bootIndex);
    e.remove = changeable && selected && in.imageCount >= 2;
    return e;
}

bool IsImageModified(const WIMIMAGEINFO& image, bool isBootImage, const ImageEditInputs& in)
{
    auto differs = [](const QString& typed, const QString& stored) {
        return typed.left(kCompareChars) != stored.left(kCompareChars);
    };
    return differs(in.flags, image.Flags) || in.boot != isBootImage || differs(in.name, image.Name) ||
           differs(in.description, image.Description) || differs(in.displayName, image.DisplayName) ||
           differs(in.displayDescription, image.DisplayDescription);
}

IMAGEMETADATAEDIT MakeMetadataEdit(uint32_t index, const ImageEditInputs& in, const QString& flagsPrompt)
{
    IMAGEMETADATAEDIT edit;
    edit.ImageIndex = index;
    edit.SetBoot = in.boot ? 1 : 0;
    edit.Name = CutToUnits(in.name, kPathUnits);
    edit.Description = CutToUnits(in.description, kPathUnits);
    edit.DisplayName = CutToUnits(in.displayName, kPathUnits);
    edit.DisplayDescription = CutToUnits(in.displayDescription, kPathUnits);
    edit.Flags = CutToUnits(in.flags, kSmallUnits);
    if (edit.Flags.compare(flagsPrompt, Qt::CaseInsensitive) == 0)
        edit.Flags.clear();
    return edit;
}
