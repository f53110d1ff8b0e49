// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/mountapproval.h"

#include "common/registry.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace {

QString hashHex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// The same file reached through a link or a relative path is one file.
QString valueNameFor(const QString& imageFile)
{
    const QFileInfo info(imageFile);
    const QString canonical = info.canonicalFilePath();
    return hashHex((canonical.isEmpty() ? info.absoluteFilePath() : canonical).toUtf8());
}

// The commands are compared exactly as stored: any change, case included,
// is another command.
QString commandHash(const QString& mountCommand, const QString& unmountCommand)
{
    QByteArray bytes = mountCommand.toUtf8();
    bytes.append('\0');
    bytes.append(unmountCommand.toUtf8());
    return hashHex(bytes);
}

} // namespace

bool IsMountCommandApproved(const QString& imageFile, const QString& mountCommand, const QString& unmountCommand)
{
    const std::optional<QString> stored =
        ReadRegistryText(QString::fromUtf16(kApprovedCommandsSubKey), valueNameFor(imageFile));
    return stored && *stored == commandHash(mountCommand, unmountCommand);
}

bool ApproveMountCommand(const QString& imageFile, const QString& mountCommand, const QString& unmountCommand)
{
    return WriteRegistryText(QString::fromUtf16(kApprovedCommandsSubKey), valueNameFor(imageFile),
                             commandHash(mountCommand, unmountCommand));
}
