// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mountdirectory.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <chrono>
#include <sys/stat.h>

bool CreateUniqueMountDirectory(const QString& base, QString& out)
{
    if (base.isEmpty() || !QDir().mkpath(base))
        return false;
    // Start where the clock points, as the platform's temporary names do, and
    // walk the 16-bit name space once at most.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const uint32_t start = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    for (uint32_t n = 0; n < 0xFFFF; ++n) {
        const uint32_t unique = ((start + n) % 0xFFFF) + 1;
        const QString name = QStringLiteral("Wim%1.tmp").arg(QString::number(unique, 16).toUpper());
        const QString path = base.endsWith(u'/') ? base + name : base + u'/' + name;
        if (::mkdir(QFile::encodeName(path).constData(), 0755) == 0) {
            out = path;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}
