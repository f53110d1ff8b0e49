// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/mountnotice.h"

#include <QFile>
#include <QStandardPaths>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

bool MountingAvailable(const QString& fuseDevice, const QString& searchPath)
{
    const QByteArray device = QFile::encodeName(fuseDevice.isEmpty() ? QStringLiteral("/dev/fuse") : fuseDevice);
    struct stat st {};
    if (::stat(device.constData(), &st) != 0 || !S_ISCHR(st.st_mode) || ::access(device.constData(), R_OK | W_OK) != 0)
        return false;
    const QStringList paths = searchPath.isEmpty() ? QStringList() : searchPath.split(u':', Qt::SkipEmptyParts);
    return !QStandardPaths::findExecutable(QStringLiteral("fusermount"), paths).isEmpty();
}
