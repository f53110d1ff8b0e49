// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/imagemetadata.h"

#include "common/textutil.h"
#include "metadata/imagexml.h"
#include "metadata/xmlnodes.h"

bool ApplyMetadataEdit(pugi::xml_node image, const IMAGEMETADATAEDIT& edit)
{
    const struct {
        const char* element;
        const QString& text;
        int capacity;
    } fields[] = {
        {"NAME", edit.Name, kPathUnits},
        {"DESCRIPTION", edit.Description, kPathUnits},
        {"DISPLAYNAME", edit.DisplayName, kPathUnits},
        {"DISPLAYDESCRIPTION", edit.DisplayDescription, kPathUnits},
        {"FLAGS", edit.Flags, kSmallUnits},
    };
    for (const auto& field : fields) {
        if (!field.text.isEmpty() && !SetChildText(image, field.element, CutToUnits(field.text, field.capacity)))
            return false;
    }
    return true;
}

bool SetImageMetadata(const QString& path, const IMAGEMETADATAEDIT& edit, const QString& tempFolder)
{
    if (edit.ImageIndex == 0)
        return false;
    ImageXmlSession session(tempFolder);
    if (session.open(path, ImageXmlSession::Access::Change, edit.ImageIndex) != ImageXmlSession::Stage::Ready)
        return false;
    if (!ApplyMetadataEdit(session.imageElement(), edit) || !session.store())
        return false;
    session.closeImage();
    if (edit.SetBoot && (!ImagingApi.WIMSetBootImage || !ImagingApi.WIMSetBootImage(session.file(), edit.ImageIndex)))
        return false;
    return session.closeFile();
}
