// SPDX-License-Identifier: GPL-3.0-or-later
// The image XML of a file, as the layer hands it over (UTF-16LE, with or
// without a byte-order mark): the information reader, the layer XML parser
// behind it and the private element reader of image 1.
#include "metadata/imagefileinfo.h"
#include "metadata/imageformat.h"
#include "metadata/mountsettings.h"
#include "metadata/xmlnodes.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken promise of the reader under test is a finding like a crash.
#define check(ok) \
    ((ok) ? void() : (std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #ok), std::abort()))

namespace {


void readTexts(const void* text, size_t bytes)
{
    WIMFILEINFO info;
    std::array<WIMIMAGEINFO, 4> images;
    if (ParseImageInfoXml(text, bytes, info, images)) {
        for (const WIMIMAGEINFO& image : images) {
            check(image.Name.size() < kInfoPathUnits && image.Description.size() < kInfoPathUnits &&
                  image.DisplayName.size() < kInfoPathUnits && image.ArchText.size() < kInfoPathUnits);
            check(image.Flags.size() < kInfoSmallUnits && image.VersionText.size() < kInfoSmallUnits &&
                  image.CreationTimeText.size() < kInfoSmallUnits && image.DefaultLanguage.size() < kInfoSmallUnits);
        }
    }
    pugi::xml_document document;
    if (!ParseLayerXml(document, text, bytes))
        return;
    // The private element of the first IMAGE, wherever the IMAGE stands.
    pugi::xml_node image = document.child("WIM").child("IMAGE");
    if (!image)
        image = document.child("IMAGE");
    if (!image)
        return;
    for (const uint32_t count : {1u, 3u}) {
        MOUNTSETTINGS settings;
        ReadMountElement(image, count, settings);
        // 0 stands for image 1 wherever it is used; nothing above the count.
        check(settings.MountId <= count);
        check(settings.MountRunCmd.size() < 512 && settings.UnmountRunCmd.size() < 512 &&
              settings.MountPath.size() < 512);
    }
    (void)ChildText(image, "NAME");
    (void)ParseDecimal(image.attribute("INDEX").value());
    (void)XmlToText(document);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The bytes as they are (no mark, any alignment), then behind a mark.
    readTexts(data, size);
    QByteArray marked("\xFF\xFE", 2);
    marked.append(reinterpret_cast<const char*>(data), qsizetype(size));
    readTexts(marked.constData(), size_t(marked.size()));
    return 0;
}
