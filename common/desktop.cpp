// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/desktop.h"

#include <QProcess>
#include <QStandardPaths>

bool DisplayAvailable(bool platformChosen)
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platformChosen && !platform.isEmpty())
        return true;
    if (platform.startsWith("offscreen") || platform.startsWith("minimal"))
        return false;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool OpenFolderInShell(const QString& folder)
{
    if (!DisplayAvailable())
        return false;
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    return !opener.isEmpty() && QProcess::startDetached(opener, {folder});
}
