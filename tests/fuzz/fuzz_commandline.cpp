// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: the record built from argv (expansion, the 1,023-unit cut,
// the quoted tail), the run-mode decision, the switch and option lookups, the
// image reference "file,selector" and the splitter of mount commands, whose
// text comes from the image file's own settings. The input is argv with the
// arguments separated by zero bytes.
#include "app/cli.h"
#include "app/commandline.h"
#include "app/runcommand.h"
#include "app/switches.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <stdlib.h>

// A broken promise of the reader under test is a finding like a crash.
#define check(ok) \
    ((ok) ? void() : (std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #ok), std::abort()))

namespace {


} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Something for %NAME% to expand to, long enough to reach the cut.
    ::setenv("KFUZZ", std::string(700, 'x').c_str(), 1);
    ::setenv("K", "a b,2", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> parts(1, "Kestrel");
    parts.emplace_back();
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            parts.emplace_back();
        else
            parts.back() += char(data[i]);
    }
    if (parts.size() > 64)
        return 0;
    std::vector<const char*> argv;
    for (const std::string& p : parts)
        argv.push_back(p.c_str());
    const CommandLine line = MakeCommandLine(int(argv.size()), argv.data());
    check(line.count() == int(argv.size()) && line.tail.size() <= 1024);
    for (const QString& arg : line.args)
        check(arg.size() <= 1024);

    const QStringList& args = line.args;
    for (const bool existing : {false, true}) {
        const RunMode mode = DecideRunMode(args, existing, !existing);
        check(mode.mode >= kModeMainWindow && mode.mode <= kModeMainWindowWithFile);
        if (mode.mode == kModeCommandLine)
            check(mode.subCode >= 0 && mode.subCode < kSwitchCount);
    }
    for (const QString& arg : args) {
        const int sw = LookupSwitch(arg);
        check(sw >= -1 && sw < kSwitchCount);
        const int at = FindArgument(args, arg);
        check(at >= 0 && at < args.size());
        (void)IsOptionWord(arg);
    }
    (void)HasOption(args, QStringLiteral("/Commit"));
    check(GetCompressOption(args) <= 3);

    // Each argument as an image reference (no imaging layer is bound, so a
    // name selector finds nothing and no file is opened) and as a command.
    for (int i = 1; i < args.size(); ++i) {
        QString path = args.at(i);
        QString unknown;
        const uint32_t number = ParseImageReference(path, &unknown);
        check(path.size() <= args.at(i).size());
        check(unknown.isEmpty() || (number == 0 && args.at(i).endsWith(u',' + unknown)));
        const CommandParts parts = SplitCommand(args.at(i), QStringLiteral("/base"));
        check(parts.program.size() <= args.at(i).size());
    }
    return 0;
}
