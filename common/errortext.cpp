// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/errortext.h"

#include "common/language.h"

#include <QFile>
#include <QHash>
#include <QMutex>

#include <cerrno>
#include <cstring>
#include <locale.h>

namespace {

constexpr int kNotAnImageText = 372;
// libc's catalogue is about 200 KB; anything far larger is not one.
constexpr qint64 kCatalogueLimit = 16 * 1024 * 1024;

uint32_t readWord(const QByteArray& bytes, qint64 at, bool swapped, bool* ok)
{
    if (at < 0 || at + 4 > bytes.size()) {
        *ok = false;
        return 0;
    }
    uint32_t v = 0;
    std::memcpy(&v, bytes.constData() + at, 4);
    return swapped ? __builtin_bswap32(v) : v;
}

// The message catalogue of the C library for one locale ("zh_CN", then
// "zh"), read once.
QByteArray libcCatalogue(const QString& locale)
{
    static QMutex lock;
    static QHash<QString, QByteArray> cache;
    const QMutexLocker locker(&lock);
    const auto found = cache.constFind(locale);
    if (found != cache.constEnd())
        return *found;
    QByteArray bytes;
    QStringList names{locale};
    const qsizetype underscore = locale.indexOf(u'_');
    if (underscore > 0)
        names << locale.left(underscore);
    for (const QString& name : names) {
        QFile file(QStringLiteral("/usr/share/locale/%1/LC_MESSAGES/libc.mo").arg(name));
        if (file.size() > 0 && file.size() < kCatalogueLimit && file.open(QIODevice::ReadOnly)) {
            bytes = file.readAll();
            break;
        }
    }
    cache.insert(locale, bytes);
    return bytes;
}

} // namespace

QString LookUpCatalogue(const QByteArray& mo, const QByteArray& message)
{
    bool ok = true;
    const uint32_t magic = readWord(mo, 0, false, &ok);
    if (!ok || (magic != 0x950412deu && magic != 0xde120495u))
        return {};
    const bool swapped = magic == 0xde120495u;
    const uint32_t count = readWord(mo, 8, swapped, &ok);
    const uint32_t originals = readWord(mo, 12, swapped, &ok);
    const uint32_t translations = readWord(mo, 16, swapped, &ok);
    if (!ok)
        return {};
    for (uint32_t i = 0; i < count; ++i) {
        const qint64 entry = qint64(originals) + qint64(i) * 8;
        const uint32_t length = readWord(mo, entry, swapped, &ok);
        const uint32_t offset = readWord(mo, entry + 4, swapped, &ok);
        if (!ok || qint64(offset) + length > mo.size())
            return {};
        if (length != uint32_t(message.size()) || std::memcmp(mo.constData() + offset, message.constData(), length))
            continue;
        const qint64 t = qint64(translations) + qint64(i) * 8;
        const uint32_t tLength = readWord(mo, t, swapped, &ok);
        const uint32_t tOffset = readWord(mo, t + 4, swapped, &ok);
        if (!ok || qint64(tOffset) + tLength > mo.size())
            return {};
        return QString::fromUtf8(mo.constData() + tOffset, qsizetype(tLength));
    }
    return {};
}

QByteArray ErrnoMessageC(int error)
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    if (!c)
        return QByteArray(std::strerror(error));
    return QByteArray(strerror_l(error, c));
}

QString ErrnoText(int error)
{
    if (error == 0)
        return {};
    if (error == ENOEXEC) {
        const QString own = GetLanguageString(kNotAnImageText);
        if (!own.isEmpty())
            return own;
    }
    const QByteArray message = ErrnoMessageC(error);
    const QString locale = InterfaceLocale();
    if (!locale.isEmpty() && !locale.startsWith(u"en") && !locale.contains(u'/') && !locale.contains(u'.')) {
        const QString translated = LookUpCatalogue(libcCatalogue(locale), message);
        if (!translated.isEmpty())
            return translated;
    }
    return QString::fromLocal8Bit(message);
}
