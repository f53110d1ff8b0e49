// SPDX-License-Identifier: GPL-3.0-or-later
// The "LZMA" resource container: header checks, then the raw LZMA stream.
// What unpacks has the size the header claims, zero padding behind it, and
// packs and unpacks again to the same bytes.
#include "imaging/resources.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const QByteArray out = UnpackResource(bytes, qsizetype(size));
    if (out.isNull())
        return 0;
    const uint32_t claimed = uint32_t(data[4]) | uint32_t(data[5]) << 8 | uint32_t(data[6]) << 16 |
                             uint32_t(data[7]) << 24;
    if (out.size() != qsizetype(claimed))
        std::abort();
    for (qsizetype i = 0; i < kUnpackedPadding; ++i) {
        if (out.constData()[out.size() + i] != 0)
            std::abort();
    }
    if (out.size() <= 4096 && UnpackResource(PackResource(out)) != out)
        std::abort();
    return 0;
}
