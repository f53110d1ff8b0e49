// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fusesupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

QString FuseProblem()
{
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("/dev/fuse cannot be opened: ") + QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    if (QStandardPaths::findExecutable(QStringLiteral("fusermount")).isEmpty())
        return QStringLiteral("fusermount is not installed");
#ifdef KESTREL_OUT_DIR
    if (!QFile::exists(QStringLiteral(KESTREL_OUT_DIR "/kestrel-wimserv")))
        return QStringLiteral("the mount service kestrel-wimserv is not built");
#endif
    return QString();
}

bool IsMountPoint(const QString& folder)
{
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray clean = QFile::encodeName(QDir::cleanPath(folder));
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4 && fields.at(4) == clean)
            return true;
    }
    return false;
}
