// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/imageformat.h"

#include <cstdint>

namespace {

uint32_t parseHexPart(const char* text)
{
    QString value = QString::fromUtf8(text).trimmed();
    if (value.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
        value = value.mid(2);
    bool ok = false;
    const uint32_t number = value.toUInt(&ok, 16);
    return ok ? number : 0;
}

} // namespace

QString FormatImageTime(pugi::xml_node element)
{
    const uint64_t high = parseHexPart(element.child_value("HIGHPART"));
    const uint64_t low = parseHexPart(element.child_value("LOWPART"));
    return FormatFileTime(high << 32 | low);
}
