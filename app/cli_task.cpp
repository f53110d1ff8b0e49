// SPDX-License-Identifier: GPL-3.0-or-later
// The task record of a command-line run and how it is filled.
#include "app/cli.h"
#include "app/cli_actions.h"

#include "common/inisection.h"
#include "common/language.h"
#include "common/settings.h"
#include "common/textutil.h"
#include "imaging/configlists.h"
#include "imaging/progress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The lists of a capture configuration file; all empty when it cannot be read.
ConfigurationLists readConfigFile(const QString& path)
{
    QString text;
    if (!ReadConfigurationFileText(path, &text))
        return {};
    IniSectionTable table(kIniTrimBoth);
    BuildSectionTable(table, text);
    return ConfigurationListsFromTable(table);
}

} // namespace

UnattendedTask& CommandLineTask()
{
    static UnattendedTask* task = new UnattendedTask; // an abandoned worker may outlive main()
    return *task;
}

uint32_t PrepareUnattendedTask(UnattendedTask& task, const QString& imageFile, uint32_t number,
                               const QString& secondPath, bool withWindow)
{
    OperationTask& ctx = task.ctx;
    ctx.ShowProgress = withWindow;
    if (withWindow) {
        OperationGate().set();
        SetProgressPrefixes(ctx);
        PostText(ctx, ctx.RemainingLabel, ctx.RemainingPrefix);
        PostText(ctx, ctx.ElapsedLabel, ctx.ElapsedPrefix);
        PostText(ctx, ctx.CountLabel, ctx.CountPrefix);
        PostPercent(ctx.ProgressBar, 0, ctx);
        ctx.StartTick = TickCount();
    }
    ctx.TempPath = CutToUnits(AppSettings().wimTempPath, kPathUnits);
    ctx.TargetPath = CutToUnits(secondPath, kPathUnits);
    ctx.ImagePath = CutToUnits(imageFile, kPathUnits);
    ctx.ImageIndex = number;

    const int config = FindArgument(task.args, QStringLiteral("/Config"));
    ConfigurationLists& lists = ctx;
    if (config >= 3)
        lists = readConfigFile(config + 1 < task.args.size() ? task.args.at(config + 1) : QString());
    else
        FillConfigurationLists(false, lists);

    ctx.Boot = HasOption(task.args, QStringLiteral("/Boot"));
    const QFileInfo second(secondPath);
    ctx.CompressionType = !secondPath.isEmpty() && second.isFile() ? GetImageFileCompression(secondPath)
                                                                    : GetCompressOption(task.args);
    return ctx.CompressionType;
}

CliResult WorkerOutcome(const TASKCONTEXT& ctx, bool ok, const QString& fallback)
{
    if (ok)
        return CliResult::ok();
    if (ctx.Cancel.load())
        return CliResult::failed(QStringLiteral("the operation was stopped"));
    return CliResult::failed(ctx.FailureText.isEmpty() ? fallback : ctx.FailureText);
}
