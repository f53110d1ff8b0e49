// SPDX-License-Identifier: GPL-3.0-or-later
// Kestrel_Launcher: starts the build of Kestrel that matches the system, from
// the subfolder x64 or x86 of its own folder, with its own parameters.
#include "launcher/launcher.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    const LaunchPlan plan = PlanLaunch(OwnFolder(argc > 0 ? argv[0] : nullptr), args, SystemMachine(),
                                       ProcessEnvironment);
    if (plan.check != TargetCheck::Passed) {
        const std::string text = MissingTargetText(plan.target);
        std::fprintf(stderr, "%s\n", text.c_str());
        ShowMessageDialog("提示", text);
        return 1;
    }
    if (const int error = StartTarget(plan); error != 0) {
        std::fprintf(stderr, "Kestrel_Launcher: %s: %s\n", plan.target.c_str(), std::strerror(error));
        return 1;
    }
    return 0;
}
