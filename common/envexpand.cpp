// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/envexpand.h"

#include <cstdlib>

QString ExpandEnvironmentText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c != u'%') {
            out.append(c);
            ++i;
            continue;
        }
        const qsizetype close = text.indexOf(u'%', i + 1);
        if (close < 0) {
            out.append(text.mid(i));
            break;
        }
        const QString name = text.mid(i + 1, close - i - 1);
        const QByteArray key = name.toLocal8Bit();
        if (!name.isEmpty() && qEnvironmentVariableIsSet(key.constData()))
            out.append(QString::fromLocal8Bit(qgetenv(key.constData())));
        else
            out.append(text.mid(i, close - i + 1));
        i = close + 1;
    }
    return out;
}

void SetEnvironmentText(const QString& name, const QString& value)
{
    const QByteArray key = name.toLocal8Bit();
    if (value.isEmpty())
        ::unsetenv(key.constData());
    else
        ::setenv(key.constData(), value.toLocal8Bit().constData(), 1);
}
