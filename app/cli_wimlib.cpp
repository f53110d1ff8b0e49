// SPDX-License-Identifier: GPL-3.0-or-later
// "/ExtrPath" and "/AppenPath": work inside an image through wimlib.
#include "app/cli.h"
#include "app/cli_actions.h"

#include "imaging/imagingapi.h"
#include "imaging/taskwimlib.h"

#include <QDir>
#include <QFileInfo>

namespace {

CliResult wimlibOutcome(int rc, const QString& what)
{
    if (rc == 0)
        return CliResult::ok();
    QString text = what + QStringLiteral(": wimlib error ") + QString::number(rc);
    const QString message = WimlibErrorText(rc);
    if (!message.isEmpty())
        text += QStringLiteral(" (") + message + u')';
    return CliResult::failed(text);
}

} // namespace

CliResult RunExtractPath(const QStringList& args)
{
    WIMLIBTASK task;
    task.WimPath = args.at(2);
    task.Image = ParseImageReference(task.WimPath); // no default: 0 stays 0 and fails in wimlib
    task.SourcePath = args.at(3);
    task.TargetPath = args.at(4);
    task.Kind = kWimlibExtractPath;
    if (!QFileInfo(task.WimPath).isFile())
        return CliResult::failed(QStringLiteral("the image file does not exist: ") + task.WimPath);
    QDir().mkpath(task.TargetPath);
    TASKCONTEXT display;
    return wimlibOutcome(RunWimlibTaskOperation(task, display),
                         QStringLiteral("the path could not be extracted: ") + task.SourcePath);
}

CliResult RunAppendPath(const QStringList& args)
{
    WIMLIBTASK task;
    task.WimPath = args.at(2);
    task.Image = ParseImageReference(task.WimPath);
    task.SourcePath = args.at(4);
    // The path inside the image: the folder given, then the source's own name.
    QString folder = args.at(3);
    while (folder.size() > 1 && (folder.endsWith(u'\\') || folder.endsWith(u'/')))
        folder.chop(1);
    if (!folder.startsWith(u'\\') && !folder.startsWith(u'/'))
        folder.prepend(u'\\');
    // The source's own name from its clean absolute path: "." or "dir/.."
    // name no entry, and wimlib would skip them while reporting success.
    const QString ownName = QFileInfo(QDir::cleanPath(QFileInfo(task.SourcePath).absoluteFilePath())).fileName();
    if (ownName.isEmpty())
        return CliResult::wrongArguments(QStringLiteral("the source has no name to add it under: ") + task.SourcePath);
    task.TargetPath = (folder == QStringLiteral("\\") || folder == QStringLiteral("/") ? QString() : folder)
        + u'\\' + ownName;
    task.Kind = kWimlibAddTree;
    if (!QFileInfo(task.WimPath).isFile())
        return CliResult::failed(QStringLiteral("the image file does not exist: ") + task.WimPath);
    if (!QFileInfo::exists(task.SourcePath))
        return CliResult::failed(QStringLiteral("the source does not exist: ") + task.SourcePath);
    TASKCONTEXT display;
    return wimlibOutcome(RunWimlibTaskOperation(task, display),
                         QStringLiteral("the source could not be added: ") + task.SourcePath);
}
