// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for Kestrel in the launcher's tests. It waits until the test
// creates "go" in the stand-in's own folder, so that the test can see the
// launcher end first, then writes what it was started with into "probe.out"
// there: its current folder, CurrDir and its arguments, one per line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const fs::path own = fs::read_symlink("/proc/self/exe").parent_path();
    // Bounded, so that a failed test leaves no program behind for long.
    for (int i = 0; i < 1200 && !fs::exists(own / "go"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    {
        std::ofstream out(own / "probe.tmp");
        out << "cwd=" << fs::current_path().string() << '\n';
        const char* currDir = std::getenv("CurrDir");
        out << "CurrDir=" << (currDir ? currDir : "(unset)") << '\n';
        for (int i = 0; i < argc; ++i)
            out << "arg=" << argv[i] << '\n';
    }
    fs::rename(own / "probe.tmp", own / "probe.out");
    return 0;
}
