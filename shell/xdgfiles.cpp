// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/xdgfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

QString homeFolder(const char* variable, const char* fallback)
{
    const QString set = qEnvironmentVariable(variable);
    // A relative value is ignored, as the XDG base directory rules say.
    if (!set.isEmpty() && QDir::isAbsolutePath(set))
        return QDir::cleanPath(set);
    return QDir::cleanPath(QDir::homePath() + QLatin1Char('/') + QLatin1String(fallback));
}

} // namespace

QString XdgDataHome()
{
    return homeFolder("XDG_DATA_HOME", ".local/share");
}

QString XdgConfigHome()
{
    return homeFolder("XDG_CONFIG_HOME", ".config");
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, bool executable)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QFileDevice::Permissions mode =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (executable)
        mode |= QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    // Set on the temporary file, so that the name never leads to a file
    // without them.
    file.setPermissions(mode);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::optional<QByteArray> ReadSmallFile(const QString& path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > limit)
        return std::nullopt;
    QByteArray bytes = file.read(limit + 1);
    if (bytes.size() > limit)
        return std::nullopt;
    return bytes;
}

bool RemoveFileIfPresent(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return false;
    return QFile::remove(path);
}

bool RunDesktopTool(const QString& program, const QStringList& arguments, int timeoutMs)
{
    const QString found = QStandardPaths::findExecutable(program);
    if (found.isEmpty())
        return false;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(found, arguments);
    if (!process.waitForStarted(timeoutMs))
        return false;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString ExecProgramOf(const QByteArray& entryText, const QString& key)
{
    const QString prefix = key + QLatin1Char('=');
    for (const QString& raw : QString::fromUtf8(entryText).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (!line.startsWith(prefix))
            continue;
        // The value's own escapes first ("\\" is one backslash), then the
        // quoting of the command line.
        QString value;
        const QString stored = line.mid(prefix.size()).trimmed();
        for (qsizetype i = 0; i < stored.size(); ++i) {
            if (stored[i] == u'\\' && i + 1 < stored.size() && stored[i + 1] == u'\\')
                ++i;
            value += stored[i];
        }
        if (!value.startsWith(QLatin1Char('"'))) {
            const qsizetype blank = value.indexOf(QLatin1Char(' '));
            return blank < 0 ? value : value.left(blank);
        }
        QString program;
        for (qsizetype i = 1; i < value.size(); ++i) {
            if (value[i] == u'"')
                return program;
            if (value[i] == u'\\' && i + 1 < value.size())
                ++i;
            program += value[i];
        }
        return {};
    }
    return {};
}
