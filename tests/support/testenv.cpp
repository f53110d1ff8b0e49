// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/testenv.h"

#include <QDir>
#include <QUuid>

QString TestHome()
{
    return qEnvironmentVariable("HOME");
}

QString MakeTestDir(const QString& name)
{
    const QString path = TestHome() + QStringLiteral("/work/") + name + u'-' + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
    QDir().mkpath(path);
    return path;
}
