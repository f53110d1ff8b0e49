// SPDX-License-Identifier: GPL-3.0-or-later
// The launcher's steps as plain functions. The launcher is a static program
// without Qt, so that one i386 file runs on 32-bit and 64-bit systems alike;
// everything here uses the C++ library and POSIX only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// ELF machine numbers of the two builds.
inline constexpr uint16_t kMachineX86 = 3;     // EM_386
inline constexpr uint16_t kMachineX64 = 62;    // EM_X86_64

// Looks a variable up; nullopt when it is not defined.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string&)>;

// Replaces %NAME% with the variable's value. An undefined name, "%%" and a
// lone "%" stay as written, the rule the main program applies to its own
// command line and stored paths.
std::string ExpandPercentVariables(const std::string& text, const EnvironmentLookup& lookup);

// The subfolder of the build for a system whose `uname` machine is `machine`:
// "x64" for x86_64, "x86" for everything else.
std::string BuildFolderFor(const std::string& machine);
uint16_t ExpectedMachineFor(const std::string& buildFolder);

// The folder part of a path, up to (not including) its last "/"; "" without
// one and "/" for a file in the root.
std::string FolderOf(const std::string& path);

// launcherFolder + "/" + buildFolder + "/Kestrel".
std::string TargetPath(const std::string& launcherFolder, const std::string& buildFolder);

enum class TargetCheck { Passed, Missing, NotElf, WrongMachine };

// Reads the start of `bytes` as an ELF header: it passes when it is little
// endian, of the class (32 or 64 bits) that goes with `machine`, and its
// e_machine is `machine`.
TargetCheck CheckElfHeader(const std::string& bytes, uint16_t machine);
// The same for a file; Missing when it cannot be read or is not a regular file.
TargetCheck CheckTargetFile(const std::string& path, uint16_t machine);

// "找不到 " + target + line break + "或与系统位宽32位、64位不对应。"
std::string MissingTargetText(const std::string& target);

// What the launcher does for one start, worked out before anything is started.
struct LaunchPlan {
    std::string target;           // the program to start
    std::string workingFolder;    // its folder, given to it as CurrDir
    std::vector<std::string> argv; // target, then the launcher's parameters, expanded
    TargetCheck check = TargetCheck::Missing;
};

// `launcherFolder`: the folder the launcher file lies in; `args`: the
// launcher's parameters (argv[1...]); `machine`: the system's `uname` machine.
LaunchPlan PlanLaunch(const std::string& launcherFolder, const std::vector<std::string>& args,
                      const std::string& machine, const EnvironmentLookup& lookup);

// The process environment as an EnvironmentLookup.
std::optional<std::string> ProcessEnvironment(const std::string& name);

// The folder of the running launcher: of /proc/self/exe, so that a symbolic
// link such as /usr/bin/kestrel leads to the installed folder; of argv[0]
// when /proc is not mounted.
std::string OwnFolder(const char* argv0);

// The system's machine name from uname(2), "" when it fails.
std::string SystemMachine();

// Starts the plan's target with CurrDir set to its folder, in the caller's
// current folder, without waiting. Returns 0 or the errno of the failed step.
int StartTarget(const LaunchPlan& plan);

// Shows `text` in a dialog when a display and one of zenity, kdialog or
// xmessage are available, and waits for it to close. Returns whether a
// dialog was shown.
bool ShowMessageDialog(const std::string& caption, const std::string& text);
