// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/format.h"

#include <QDateTime>

#include <cstdint>
#include <cstdio>

namespace {

QString twoDigits(uint64_t value)
{
    return QString::number(value % 100 + 100).right(2);
}

} // namespace

QString FormatByteSize(uint64_t bytes)
{
    static const char* const kUnits[] = {"Byte", "KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        ++unit;
    }
    char number[64];
    std::snprintf(number, sizeof number, "%.2f", value);
    QString text = QString::fromLatin1(number);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text + u' ' + QLatin1String(kUnits[unit]);
}

QString FormatFileTime(uint64_t fileTime)
{
    // 100 ns ticks from 1601-01-01 to 1970-01-01.
    constexpr int64_t kEpochDelta = 116444736000000000LL;
    if (fileTime > static_cast<uint64_t>(INT64_MAX))
        return QString();
    const int64_t ticks = static_cast<int64_t>(fileTime) - kEpochDelta;
    // Floor division, so times before 1970 keep their whole seconds right.
    const qint64 msecs = ticks >= 0 ? ticks / 10000 : -((-ticks + 9999) / 10000);
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC).toLocalTime();
    if (!time.isValid())
        return QString();
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString FormatElapsed(uint64_t milliseconds)
{
    const uint64_t seconds = milliseconds / 1000;
    return twoDigits(seconds / 3600) + u':' + twoDigits(seconds % 3600 / 60) + u':' + twoDigits(seconds % 60);
}
