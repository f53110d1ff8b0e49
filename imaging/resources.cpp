// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/resources.h"

#include "common/language.h"

#include <QFile>
#include <QResource>
#include <QString>

#include <lzma/LzmaDec.h>
#include <lzma/LzmaEnc.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr char kMagic[4] = {'L', 'Z', 'M', 'A'};
constexpr unsigned char kPropsSize = LZMA_PROPS_SIZE;
constexpr UInt32 kDictionarySize = 0x1000000;

void* SdkAlloc(void*, size_t size)
{
    return std::malloc(size);
}

void SdkFree(void*, void* address)
{
    std::free(address);
}

ISzAlloc g_sdkAlloc = {SdkAlloc, SdkFree};

quint32 ReadU32(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
}

void WriteU32(char* p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

} // namespace

QByteArray UnpackResource(const char* container, qsizetype length)
{
    if (!container || length < kContainerHeaderSize + 1)
        return QByteArray();
    if (std::memcmp(container, kMagic, sizeof kMagic) != 0)
        return QByteArray();
    const quint32 unpackedSize = ReadU32(container + 4);
    if (unpackedSize == 0 || static_cast<unsigned char>(container[8]) != kPropsSize)
        return QByteArray();
    // In a 32-bit build a size near 4 GiB does not fit a QByteArray: the sum
    // would wrap to a tiny buffer that the decoder then writes past.
    if (quint64(unpackedSize) + kUnpackedPadding > quint64(std::numeric_limits<qsizetype>::max()))
        return QByteArray();
    // LZMA packs no better than about 7,000 to 1 (long runs of one byte): a
    // header claiming more than the stream can hold is damage, refused before
    // the buffer for it is allocated.
    if (quint64(unpackedSize) > quint64(length - kContainerHeaderSize) * kMaxPackingRatio)
        return QByteArray();

    QByteArray out;
    try {
        // Not zero-filled: the decoder writes every byte, and a damaged
        // header claiming 4 GiB then costs no more than the failed decode.
        out = QByteArray(qsizetype(unpackedSize) + kUnpackedPadding, Qt::Uninitialized);
    } catch (const std::bad_alloc&) {
        return QByteArray();
    }
    SizeT outLen = unpackedSize;
    SizeT inLen = SizeT(length - kContainerHeaderSize);
    ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
    const SRes res = LzmaDecode(reinterpret_cast<Byte*>(out.data()), &outLen,
                                reinterpret_cast<const Byte*>(container + kContainerHeaderSize), &inLen,
                                reinterpret_cast<const Byte*>(container + 9), kPropsSize, LZMA_FINISH_END,
                                &status, &g_sdkAlloc);
    // The stream has no end marker: a whole stream fills the output exactly and
    // leaves the range decoder in its final state. Anything else is damage.
    if (res != SZ_OK || outLen != unpackedSize
        || (status != LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK && status != LZMA_STATUS_FINISHED_WITH_MARK))
        return QByteArray();
    std::memset(out.data() + unpackedSize, 0, kUnpackedPadding);
    // Shrinking keeps the allocation, so the zero padding stays after size().
    out.resize(qsizetype(unpackedSize));
    return out;
}

QByteArray UnpackResource(const QByteArray& container)
{
    return UnpackResource(container.constData(), container.size());
}

QByteArray PackResource(const char* data, qsizetype size)
{
    if (!data || size <= 0 || quint64(size) > 0xFFFFFFFFull)
        return QByteArray();

    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = 5;
    props.dictSize = kDictionarySize;
    props.lc = 3;
    props.lp = 0;
    props.pb = 2;
    props.fb = 32;
    props.numThreads = 2;

    QByteArray out;
    try {
        out = QByteArray(kContainerHeaderSize + 2 * size + 261, Qt::Uninitialized);
    } catch (const std::bad_alloc&) {
        return QByteArray();
    }
    SizeT streamLen = SizeT(out.size() - kContainerHeaderSize);
    SizeT propsLen = kPropsSize;
    const SRes res = LzmaEncode(reinterpret_cast<Byte*>(out.data() + kContainerHeaderSize), &streamLen,
                                reinterpret_cast<const Byte*>(data), SizeT(size), &props,
                                reinterpret_cast<Byte*>(out.data() + 9), &propsLen, 0, nullptr, &g_sdkAlloc,
                                &g_sdkAlloc);
    if (res != SZ_OK || propsLen != kPropsSize)
        return QByteArray();
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    WriteU32(out.data() + 4, quint32(size));
    out[8] = char(kPropsSize);
    out.resize(kContainerHeaderSize + qsizetype(streamLen));
    return out;
}

QByteArray PackResource(const QByteArray& data)
{
    return PackResource(data.constData(), data.size());
}

QString CarriedResourcePath(CarriedResource which)
{
    // The file names the build gives the packed containers (imaging/CMakeLists.txt).
    const char* name = "";
    switch (which) {
    case CarriedResource::WimlibModule: name = "wimlib"; break;
    case CarriedResource::ImagingLayer: name = "wimgapi"; break;
    case CarriedResource::WimlibNames: name = "wimlibnames"; break;
    case CarriedResource::DefaultLanguage: name = "language"; break;
    case CarriedResource::DefaultHelp: name = "help"; break;
    case CarriedResource::Picture: name = "picture"; break;
    case CarriedResource::Banner: name = "banner"; break;
    case CarriedResource::ButtonA: name = "buttona"; break;
    case CarriedResource::ButtonB: name = "buttonb"; break;
    case CarriedResource::Animation: name = "animation"; break;
    }
    return QStringLiteral(":/kestrel/carried/") + QLatin1String(name) + QStringLiteral(".lzma");
}

QByteArray UnpackCarriedResource(CarriedResource which)
{
    // The containers are embedded uncompressed, so the resource data is the
    // container itself and nothing is copied before decoding.
    const QResource res(CarriedResourcePath(which));
    if (!res.isValid() || res.compressionAlgorithm() != QResource::NoCompression)
        return QByteArray();
    return UnpackResource(reinterpret_cast<const char*>(res.data()), qsizetype(res.size()));
}

void UseCarriedLanguage()
{
    SetBuiltInLanguageSource([] { return UnpackCarriedResource(CarriedResource::DefaultLanguage); });
}
