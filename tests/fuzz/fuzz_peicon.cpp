// SPDX-License-Identifier: GPL-3.0-or-later
// Program and icon files come from anywhere: the reader must refuse what does
// not hold up, never read outside the bytes, never allocate what a field
// claims and never loop on a directory that points back at itself.
#include "metadata/peicons.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Exactly the input's bytes, so that ASan sees any read past them.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    IconFile file;
    const IconFileError error = file.read(bytes);
    if (error != IconFileError::kNone) {
        if (file.count() != 0)
            std::abort(); // a refused file lists no icons
        return 0;
    }
    if (file.count() <= 0)
        std::abort();
    // A few groups, each at an exact, a larger and a smaller size.
    for (int index = 0; index < file.count() && index < 4; ++index) {
        for (const IconImageEntry& entry : file.images(index))
            DecodeIconImage(entry.data);
        for (int size : {16, 48, 256}) {
            const QImage icon = file.icon(index, size);
            if (!icon.isNull() && (icon.width() != size || icon.height() != size))
                std::abort();
        }
    }
    return 0;
}
