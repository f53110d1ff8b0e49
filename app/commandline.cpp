// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandline.h"

#include "app/switches.h"
#include "common/envexpand.h"
#include "common/textutil.h"

#include <QDir>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

namespace {

constexpr int kCommandLineUnits = 1024;

CommandLine& record()
{
    static CommandLine line;
    return line;
}

QString quoteIfBlank(const QString& arg)
{
    if (arg.contains(u' ') || arg.contains(u'\t') || arg.isEmpty())
        return u'"' + arg + u'"';
    return arg;
}

} // namespace

CommandLine MakeCommandLine(int argc, const char* const* argv)
{
    CommandLine line;
    QStringList rest;
    for (int i = 0; i < argc; ++i) {
        const QString arg = CutToUnits(ExpandEnvironmentText(QString::fromLocal8Bit(argv[i])), kCommandLineUnits);
        line.args.append(arg);
        if (i > 0)
            rest.append(quoteIfBlank(arg));
    }
    line.tail = CutToUnits(TrimBlanks(rest.join(u' ')), kCommandLineUnits);
    return line;
}

const CommandLine& GetCommandLine()
{
    return record();
}

void CaptureCommandLine(int argc, const char* const* argv)
{
    record() = MakeCommandLine(argc, argv);
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    QString dir;
    if (!ec)
        dir = QFileInfo(QString::fromStdString(self.string())).absolutePath();
    else if (argc > 0 && QString::fromLocal8Bit(argv[0]).contains(u'/'))
        dir = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath();
    SetApplicationDirectory(dir);
}

RunMode DecideRunMode(const QStringList& args, bool isExistingFile, bool hasMountCommand)
{
    if (args.size() < 2)
        return {};
    const int sw = LookupSwitch(args.at(1));
    if (sw == kSwitchPage)
        return {kModeMainWindow, kSubCodeFilePage};
    if (sw >= 0)
        return {kModeCommandLine, sw};
    if (args.at(1).compare(u"LZMA", Qt::CaseInsensitive) == 0)
        return {kModeResourcePacker, 0};
    if (args.size() == 3 && isExistingFile && args.at(2).compare(u"/OpenFile", Qt::CaseInsensitive) == 0) {
        if (hasMountCommand)
            return {kModeDoubleClickMount, 0};
        return {kModeMainWindowWithFile, kSubCodeFilePage};
    }
    return {};
}
