// SPDX-License-Identifier: GPL-3.0-or-later
// The layer as the command line uses it: split sets read back from any part
// whatever their name, and damaged files reported in one line.
#include "wimtestsupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace wimtest;
namespace fs = std::filesystem;

namespace {

const std::string kProgram = KESTREL_OUT_DIR "/Kestrel";

struct ProgramRun {
    int code = -1;
    std::vector<std::string> errorLines;
};

// Runs the program without a display; stdout is dropped, stderr kept.
ProgramRun kestrel(const std::string& args, const std::string& dir)
{
    const std::string errFile = dir + "/stderr.txt";
    const int status = std::system(("env -u DISPLAY -u WAYLAND_DISPLAY " + Quote(kProgram) + " " + args + " >/dev/null 2>" +
                                    Quote(errFile))
                                       .c_str());
    ProgramRun r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream in(ReadFile(errFile));
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            r.errorLines.push_back(line);
    return r;
}

std::string noise(size_t size, uint32_t seed)
{
    std::string data;
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245 + 12345;
        data += static_cast<char>(seed >> 24);
    }
    return data;
}

uint64_t le(const std::string& bytes, size_t at, int width)
{
    uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return v;
}

class CommandLineTest : public SampleTreeTest {
protected:
    const char* wimName() const override { return "good.wim"; }
    void SetUp() override
    {
        if (!fs::exists(kProgram))
            GTEST_SKIP() << "the program is not built: " << kProgram;
        SampleTreeTest::SetUp();
    }
};

TEST_F(CommandLineTest, SplitSetAppliesFromEveryPartWhateverItsName)
{
    // About 2.5 MB that does not compress: three parts of 1 MB.
    for (int i = 0; i < 5; ++i)
        WriteFile(tree + "/noise" + std::to_string(i), noise(500000, static_cast<uint32_t>(i + 1)));
    const std::string big = dir + "/big.wim";
    CaptureNew(big, {tree});
    struct Case {
        const char* first;
        const char* second;
        const char* third;
    };
    for (const Case& c : {Case{"parts", "parts2", "parts3"}, Case{"set.v1.swm", "set.v12.swm", "set.v13.swm"}}) {
        SCOPED_TRACE(c.first);
        const std::string set = dir + "/set-" + c.first;
        fs::create_directories(set);
        const ProgramRun split = kestrel("/Split " + Quote(big) + " " + Quote(set + "/" + c.first + ",1"), dir);
        ASSERT_EQ(split.code, 0) << (split.errorLines.empty() ? "" : split.errorLines.front());
        for (const char* part : {c.first, c.second, c.third}) {
            SCOPED_TRACE(part);
            ASSERT_TRUE(fs::exists(set + "/" + part));
            const std::string out = dir + "/applied-" + part;
            const ProgramRun apply = kestrel("/Apply " + Quote(set + "/" + part + ",1") + " " + Quote(out), dir);
            EXPECT_EQ(apply.code, 0) << (apply.errorLines.empty() ? "" : apply.errorLines.front());
            EXPECT_EQ(CompareTrees(tree, out), "");
        }
    }
}

TEST_F(CommandLineTest, DamagedFilesAreReportedInOneLine)
{
    const std::string good = ReadFile(wim);
    const uint64_t xmlOffset = le(good, 72 + 8, 8), xmlSize = le(good, 72, 7);
    ASSERT_GT(xmlSize, 64u);
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string badXml = good;
    badXml.replace(xmlOffset + xmlSize / 2, 16, std::string("<\0<\0<\0<\0&\0&\0>\0<\0", 16));
    // File data that no longer matches its hash.
    std::string badData = good;
    for (size_t i = 208; i < 208 + 256; ++i)
        badData[i] = static_cast<char>(badData[i] ^ 0x5a);
    std::string badMagic = good;
    badMagic[0] = 'X';
    const Case cases[] = {
        {"xml", badXml},
        {"file data", badData},
        {"magic", badMagic},
        {"cut short", good.substr(0, good.size() / 2)},
        {"text", std::string("not an image file\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir + "/damaged.wim";
        WriteFile(file, c.bytes);
        fs::remove(dir + "/exported.wim");
        for (const std::string& command :
             {"/Apply " + Quote(file + ",1") + " " + Quote(dir + "/out"),
              "/Export " + Quote(file + ",1") + " " + Quote(dir + "/exported.wim")}) {
            SCOPED_TRACE(command);
            const ProgramRun r = kestrel(command, dir);
            EXPECT_NE(r.code, 0);
            EXPECT_EQ(r.errorLines.size(), 1u) << [&] {
                std::string all;
                for (const std::string& l : r.errorLines)
                    all += l + "\n";
                return all;
            }();
            EXPECT_FALSE(fs::exists(dir + "/exported.wim")) << "a failed export left a file behind";
        }
    }
}

} // namespace
