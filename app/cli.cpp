// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/cli.h"
#include "app/cli_actions.h"

#include "common/language.h"
#include "app/switches.h"
#include "common/textutil.h"
#include "imaging/taskrun.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

// How many arguments (argument 0 included) each switch takes.
struct ArgumentCount {
    int minimum;
    int maximum; // -1: any number
    const char* usage;
};

ArgumentCount argumentCount(int index)
{
    switch (index) {
    case kSwitchMount:
    case kSwitchMountRW:
        return {3, -1, "image[,number|,name] [mount-folder]"};
    case kSwitchReMount:
        return {3, -1, "mount-folder (an empty text for all)"};
    case kSwitchUnMount:
        return {3, -1, "mount-folder|/All [/Commit|/Update]"};
    case kSwitchCleanUp:
        return {2, 2, "(no arguments)"};
    case kSwitchApply:
    case kSwitchExtrImage:
        return {4, -1, "image[,number|,name] target-folder|/NotAcl [/NotAcl] [/Config file]"};
    case kSwitchCapture:
    case kSwitchCompPath:
    case kSwitchAppend:
        return {4, -1, "source-folder image[,name] [/Compress None|Xpress|Lzx|Lzms] [/Config file] [/Boot]"};
    case kSwitchExport:
        return {4, -1, "image[,number|,name] target-image [/Compress ...] [/Boot]"};
    case kSwitchSplit:
        return {4, 4, "image target,part-size-in-MB"};
    case kSwitchIcon:
        return {2, 3, "[cache-size]"};
    case kSwitchWimTemp:
    case kSwitchMountPath:
        return {3, 3, "folder"};
    case kSwitchExtrPath:
        return {5, 5, "image,number path-in-image target-folder"};
    case kSwitchAppenPath:
        return {5, 5, "image,number folder-in-image source"};
    default:
        return {2, -1, ""};
    }
}

CliResult dispatch(const QStringList& args, int index)
{
    switch (index) {
    case kSwitchMount:
        return RunMount(args, false);
    case kSwitchMountRW:
        return RunMount(args, true);
    case kSwitchReMount:
        return RunRemount(args);
    case kSwitchUnMount:
        return RunUnmount(args);
    case kSwitchCleanUp:
        return RunCleanUp(args);
    case kSwitchApply:
    case kSwitchExtrImage:
        return RunApply(args, index);
    case kSwitchCapture:
    case kSwitchCompPath:
    case kSwitchAppend:
        return RunCapture(args, index);
    case kSwitchRegister:
        return RunShellIntegration(args, true);
    case kSwitchUnload:
        return RunShellIntegration(args, false);
    case kSwitchExport:
        return RunExport(args);
    case kSwitchSplit:
        return RunSplit(args);
    case kSwitchIcon:
        return RunIcon(args);
    case kSwitchWimTemp:
        return RunWimTemp(args);
    case kSwitchMountPath:
        return RunMountPath(args);
    case kSwitchExtrPath:
        return RunExtractPath(args);
    case kSwitchAppenPath:
        return RunAppendPath(args);
    default:
        return CliResult::wrongArguments(QStringLiteral("this switch opens the main window"));
    }
}

// The argument positions that name a file or folder on disk. An option
// word there means the path was left out: taken as a path it would make a
// file like "/Boot" at the top of the file system.
std::vector<int> diskPathPositions(int index)
{
    switch (index) {
    case kSwitchMount:
    case kSwitchMountRW:
    case kSwitchCapture:
    case kSwitchCompPath:
    case kSwitchAppend:
    case kSwitchExport:
        return {2, 3};
    case kSwitchApply: // argument 3 may be an option: the target is then beside the file
    case kSwitchExtrImage:
    case kSwitchSplit:
    case kSwitchWimTemp:
    case kSwitchMountPath:
        return {2};
    case kSwitchExtrPath: // argument 3 is a path inside the image, where "/Boot" is common
    case kSwitchAppenPath:
        return {2, 4};
    default:
        return {};
    }
}

// The capture configuration lists filter apply and capture; a "/Config"
// file that cannot be read would silently leave every file in.
bool usesConfigFile(int index)
{
    return index == kSwitchApply || index == kSwitchExtrImage || index == kSwitchCapture || index == kSwitchCompPath
        || index == kSwitchAppend;
}

// Arguments that cannot be right are refused before anything runs or opens.
CliResult checkArguments(const QStringList& args, int index)
{
    const ArgumentCount count = argumentCount(index);
    const int n = int(args.size());
    if (n < count.minimum || (count.maximum >= 0 && n > count.maximum))
        return CliResult::wrongArguments(QStringLiteral("wrong number of arguments; use: ") + args.value(1)
                                         + u' ' + QString::fromLatin1(count.usage));
    // The task record holds paths of kPathUnits units; a longer one would be
    // cut and the work done on another file.
    for (int at = 2; at < n; ++at) {
        if (args.at(at).size() >= kPathUnits)
            return CliResult::wrongArguments(QStringLiteral("argument %1 is longer than %2 characters")
                                                 .arg(at)
                                                 .arg(kPathUnits - 1));
    }
    if (index == kSwitchUnMount && IsOptionWord(args.at(2)))
        return CliResult::wrongArguments(QStringLiteral("only /All may stand in place of a mount folder"));
    for (const int at : diskPathPositions(index)) {
        // A folder that really has such a name ("/boot") is still a path.
        if (at < n && IsOptionWord(args.at(at)) && !QFileInfo::exists(args.at(at)))
            return CliResult::wrongArguments(args.at(at) + QStringLiteral(" stands where a file or folder is needed"));
    }
    if ((index == kSwitchWimTemp || index == kSwitchMountPath) && args.at(2).trimmed().isEmpty())
        return CliResult::wrongArguments(QStringLiteral("the folder is empty"));
    const int config = FindArgument(args, QStringLiteral("/Config"));
    if (usesConfigFile(index) && config >= 3) {
        const QFileInfo file(args.value(config + 1));
        if (config + 1 >= n || !file.isFile() || !file.isReadable())
            return CliResult::wrongArguments(QStringLiteral("the capture configuration file cannot be read: ")
                                             + args.value(config + 1));
    }
    return CliResult::ok();
}

} // namespace

CliResult RunUnattendedWork(UnattendedTask& task, UnattendedStopMode mode, int actionString, bool wantWindow,
                            bool onThread, std::function<void(bool withWindow)> work)
{
    task.result = CliResult::failed(QStringLiteral("the operation did not run"));
    TaskDialogs* dialogs = wantWindow ? RegisteredTaskDialogs() : nullptr;
    if (dialogs) {
        UnattendedRun run;
        run.actionText = GetLanguageString(actionString);
        run.stopMode = mode;
        run.ctx = &task.ctx;
        run.work = [work] { work(true); };
        if (dialogs->runUnattended(run) == UnattendedEnd::ForcedStop)
            return CliResult::failed(GetLanguageString(20) + u' ' + GetLanguageString(283));
        return task.result;
    }
    if (!onThread) {
        work(false);
        return task.result;
    }
    if (!StartTaskWorker(task.ctx, [work] { work(false); }))
        return CliResult::failed(QStringLiteral("the worker thread could not be started"));
    TaskWorker().join();
    return task.result;
}

bool SwitchMayShowWindow(int switchIndex)
{
    return switchIndex == kSwitchExtrImage || switchIndex == kSwitchCompPath || switchIndex == kSwitchExport
        || switchIndex == kSwitchUnMount;
}

void SilenceQtMessages()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

int RunCommandLineSwitch(const QStringList& args, int switchIndex, QString* error)
{
    if (switchIndex < 0 || switchIndex >= kSwitchCount)
        return kExitWrongArguments;
    CliResult result = checkArguments(args, switchIndex);
    if (result.code == 0)
        result = dispatch(args, switchIndex);
    if (error)
        *error = result.message;
    return result.code;
}

int RunCommandLine(int&, char**, int switchIndex)
{
    const QStringList& args = GetCommandLine().args;
    QString error;
    const int code = RunCommandLineSwitch(args, switchIndex, &error);
    if (code != kExitSuccess) {
        QString line = QStringLiteral("Kestrel ") + args.value(1) + QStringLiteral(": ")
            + (error.isEmpty() ? QStringLiteral("failed") : error);
        // One line, also when a file name given on the command line holds a
        // line break.
        line.replace(u'\r', u' ').replace(u'\n', u' ');
        line += u'\n';
        std::fputs(line.toUtf8().constData(), stderr);
        std::fflush(stderr);
    }
    // A worker abandoned by a forced stop answers abort at its next message;
    // give it time to close its files before the process ends.
    if (TaskWorker().hasAbandoned() && !TaskWorker().waitForAbandoned(std::chrono::seconds(30)))
        std::_Exit(code);
    return code;
}
