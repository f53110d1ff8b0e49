// SPDX-License-Identifier: GPL-3.0-or-later
// Icon texts come from image files anyone may have written: the decoder must
// refuse what it cannot decode and never read past its input.
#include "metadata/iconcodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QByteArray> bytes = DecodeIconText(text);
    if (bytes) {
        // What decodes encodes to a text of the same length.
        if (EncodeIconText(*bytes).size() != text.size())
            std::abort();
        if (DecodeIconText(EncodeIconText(*bytes)) != bytes)
            std::abort();
    }
    return 0;
}
