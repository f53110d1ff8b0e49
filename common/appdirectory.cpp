// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/appdirectory.h"

#include "common/envexpand.h"

namespace {

QString& appDir()
{
    static QString dir;
    return dir;
}

} // namespace

QString ApplicationDirectory()
{
    return appDir();
}

void SetApplicationDirectory(const QString& dir)
{
    appDir() = dir;
    SetEnvironmentText(QStringLiteral("AppPath"), dir);
}
