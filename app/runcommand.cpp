// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/runcommand.h"

#include "common/envexpand.h"
#include "common/textutil.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace {

// Starts argv[0] with the given arguments; waits for it when asked.
bool spawnProgram(const QStringList& argv, bool waitForExit)
{
    std::vector<QByteArray> bytes;
    bytes.reserve(argv.size());
    for (const QString& a : argv)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char*> ptrs;
    for (QByteArray& b : bytes)
        ptrs.push_back(b.data());
    ptrs.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawn(&pid, ptrs[0], nullptr, nullptr, ptrs.data(), environ) != 0)
        return false;
    if (waitForExit) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    return true;
}

} // namespace

CommandParts SplitCommand(const QString& expandedCommand, const QString& baseDirectory)
{
    CommandParts parts;
    const QString text = TrimBlanks(expandedCommand);
    if (text.startsWith(u'"')) {
        const qsizetype close = text.indexOf(u'"', 1);
        if (close < 0) {
            parts.program = text.mid(1);
        } else {
            parts.program = text.mid(1, close - 1);
            parts.parameters = TrimBlanks(text.mid(close + 1));
        }
    } else {
        const qsizetype space = text.indexOf(u' ');
        parts.program = space < 0 ? text : text.left(space);
        parts.parameters = space < 0 ? QString() : TrimBlanks(text.mid(space + 1));
    }
    const qsizetype slash = parts.program.lastIndexOf(u'/');
    const QString dirPart = slash < 0 ? QString() : parts.program.left(slash);
    // An absolute folder stands on its own; a relative one is below the base.
    if (dirPart.startsWith(u'/'))
        parts.workingDirectory = dirPart;
    else if (slash == 0)
        parts.workingDirectory = QStringLiteral("/");
    else
        parts.workingDirectory = baseDirectory + u'/' + dirPart;
    return parts;
}

bool RunCommandInDirectory(const QString& command, const QString& baseDirectory, bool waitForExit)
{
    const QString expanded = CutToUnits(ExpandEnvironmentText(command), kPathUnits);
    const CommandParts parts = SplitCommand(expanded, baseDirectory);
    SetEnvironmentText(QStringLiteral("CurrDir"), parts.workingDirectory);
    if (parts.program.isEmpty())
        return false;

    QString program = parts.program;
    if (!program.contains(u'/')) {
        // A bare name is a program on PATH, or a file in the current folder.
        const QString found = QStandardPaths::findExecutable(program);
        program = found.isEmpty() ? QStringLiteral("./") + program : found;
    }
    const QFileInfo info(program);
    if (!info.exists())
        return false;
    QStringList argv;
    if (info.isFile() && info.isExecutable()) {
        argv << program << QProcess::splitCommand(parts.parameters);
    } else {
        const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (opener.isEmpty())
            return false;
        argv << opener << program;
    }
    return spawnProgram(argv, waitForExit);
}
