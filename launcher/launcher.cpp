// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher/launcher.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include <limits.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

std::string ExpandPercentVariables(const std::string& text, const EnvironmentLookup& lookup)
{
    std::string out;
    out.reserve(text.size());
    std::string::size_type i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            out += text[i++];
            continue;
        }
        const std::string::size_type close = text.find('%', i + 1);
        if (close == std::string::npos) {
            out.append(text, i, std::string::npos);
            break;
        }
        const std::string name = text.substr(i + 1, close - i - 1);
        const std::optional<std::string> value = name.empty() ? std::nullopt : lookup(name);
        if (value)
            out += *value;
        else
            out.append(text, i, close - i + 1);
        i = close + 1;
    }
    return out;
}

std::string BuildFolderFor(const std::string& machine)
{
    return machine == "x86_64" ? "x64" : "x86";
}

uint16_t ExpectedMachineFor(const std::string& buildFolder)
{
    return buildFolder == "x64" ? kMachineX64 : kMachineX86;
}

std::string FolderOf(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string TargetPath(const std::string& launcherFolder, const std::string& buildFolder)
{
    std::string target = launcherFolder;
    if (!target.empty() && target.back() != '/')
        target += '/';
    return target + buildFolder + "/Kestrel";
}

TargetCheck CheckElfHeader(const std::string& bytes, uint16_t machine)
{
    // e_ident (16 bytes), e_type (2), e_machine (2).
    if (bytes.size() < 20 || bytes.compare(0, 4, "\x7f" "ELF") != 0)
        return TargetCheck::NotElf;
    const unsigned char elfClass = static_cast<unsigned char>(bytes[4]);
    const unsigned char elfData = static_cast<unsigned char>(bytes[5]);
    if (elfData != 1)  // both builds are little endian
        return TargetCheck::WrongMachine;
    const uint16_t found = static_cast<uint16_t>(static_cast<unsigned char>(bytes[18]) |
                                                 (static_cast<unsigned char>(bytes[19]) << 8));
    const unsigned char wantedClass = machine == kMachineX64 ? 2 : 1;
    if (found != machine || elfClass != wantedClass)
        return TargetCheck::WrongMachine;
    return TargetCheck::Passed;
}

TargetCheck CheckTargetFile(const std::string& path, uint16_t machine)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return TargetCheck::Missing;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return TargetCheck::Missing;
    std::string header(64, '\0');
    in.read(header.data(), std::streamsize(header.size()));
    header.resize(std::string::size_type(in.gcount()));
    return CheckElfHeader(header, machine);
}

std::string MissingTargetText(const std::string& target)
{
    return "找不到 " + target + "\n" + "或与系统位宽32位、64位不对应。";
}

LaunchPlan PlanLaunch(const std::string& launcherFolder, const std::vector<std::string>& args,
                      const std::string& machine, const EnvironmentLookup& lookup)
{
    LaunchPlan plan;
    const std::string buildFolder = BuildFolderFor(machine);
    plan.target = TargetPath(launcherFolder, buildFolder);
    plan.workingFolder = FolderOf(plan.target);
    plan.argv.push_back(plan.target);
    for (const std::string& arg : args)
        plan.argv.push_back(ExpandPercentVariables(arg, lookup));
    plan.check = CheckTargetFile(plan.target, ExpectedMachineFor(buildFolder));
    return plan;
}

std::optional<std::string> ProcessEnvironment(const std::string& name)
{
    const char* value = ::getenv(name.c_str());
    if (!value)
        return std::nullopt;
    return std::string(value);
}

std::string OwnFolder(const char* argv0)
{
    std::string self(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size());
    if (n > 0 && std::string::size_type(n) < self.size()) {
        self.resize(std::string::size_type(n));
        return FolderOf(self);
    }
    const std::string folder = FolderOf(argv0 ? argv0 : "");
    return folder.empty() ? std::string(".") : folder;
}

std::string SystemMachine()
{
    struct utsname names {};
    if (::uname(&names) != 0)
        return {};
    return names.machine;
}

namespace {

std::vector<char*> argvPointers(std::vector<std::string>& argv)
{
    std::vector<char*> ptrs;
    ptrs.reserve(argv.size() + 1);
    for (std::string& a : argv)
        ptrs.push_back(a.data());
    ptrs.push_back(nullptr);
    return ptrs;
}

// The first executable file called `name` in a folder of PATH, or "".
std::string findOnPath(const std::string& name)
{
    const char* path = ::getenv("PATH");
    std::string rest = path ? path : "/usr/bin:/bin";
    std::string::size_type start = 0;
    while (start <= rest.size()) {
        std::string::size_type end = rest.find(':', start);
        if (end == std::string::npos)
            end = rest.size();
        const std::string folder = rest.substr(start, end - start);
        if (!folder.empty()) {
            const std::string candidate = folder + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

} // namespace

int StartTarget(const LaunchPlan& plan)
{
    // The program keeps the caller's current folder: relative paths typed in
    // a terminal ("kestrel /Apply backup.wim,1 restored") mean the caller's
    // folder, not the program's. CurrDir names the program's folder.
    if (::setenv("CurrDir", plan.workingFolder.c_str(), 1) != 0)
        return errno;
    std::vector<std::string> argv = plan.argv;
    std::vector<char*> ptrs = argvPointers(argv);
    pid_t pid = 0;
    // The started program is not waited for: the launcher ends at once and
    // the program is handed to the system's reaper.
    return ::posix_spawn(&pid, plan.target.c_str(), nullptr, nullptr, ptrs.data(), environ);
}

bool ShowMessageDialog(const std::string& caption, const std::string& text)
{
    const char* x11 = ::getenv("DISPLAY");
    const char* wayland = ::getenv("WAYLAND_DISPLAY");
    if (!(x11 && *x11) && !(wayland && *wayland))
        return false;
    std::vector<std::string> argv;
    if (std::string tool = findOnPath("zenity"); !tool.empty())
        argv = {tool, "--error", "--no-markup", "--title=" + caption, "--text=" + text};
    else if (tool = findOnPath("kdialog"); !tool.empty())
        argv = {tool, "--title", caption, "--error", text};
    else if (tool = findOnPath("xmessage"); !tool.empty() && x11 && *x11)
        argv = {tool, "-center", "-title", caption, text};
    else
        return false;
    std::vector<char*> ptrs = argvPointers(argv);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0].c_str(), nullptr, nullptr, ptrs.data(), environ) != 0)
        return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}
