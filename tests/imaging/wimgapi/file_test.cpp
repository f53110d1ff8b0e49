// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and creating image files, WIM_INFO, boot index, deletion and bad input.
#include "wimtestsupport.h"

#include <gtest/gtest.h>
#include <wimlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

using namespace wimtest;
namespace fs = std::filesystem;

namespace {

using WimFileTest = SampleTreeTest;

TEST_F(WimFileTest, DispositionsCreateOpenAndReport)
{
    const std::string wim = dir + "/d.wim";
    DWORD created = 7;
    errno = 0;
    EXPECT_EQ(WIMCreateFile(U(wim).c_str(), WIM_GENERIC_READ, WIM_OPEN_EXISTING, 0, 0, &created), nullptr);
    EXPECT_EQ(errno, ENOENT);

    HANDLE h = WIMCreateFile(U(wim).c_str(), WIM_GENERIC_WRITE, WIM_CREATE_NEW, 0, WIM_COMPRESS_XPRESS, &created);
    ASSERT_NE(h, nullptr) << strerror(errno);
    EXPECT_EQ(created, WIM_CREATED_NEW);
    // The new file exists and is a valid, empty image file at once.
    EXPECT_TRUE(fs::exists(wim));
    EXPECT_TRUE(WimVerify(wim));
    EXPECT_EQ(WIMGetImageCount(h), 0u);
    EXPECT_TRUE(WIMCloseHandle(h));

    errno = 0;
    EXPECT_EQ(WIMCreateFile(U(wim).c_str(), WIM_GENERIC_WRITE, WIM_CREATE_NEW, 0, 0, &created), nullptr);
    EXPECT_EQ(errno, EEXIST);

    h = WIMCreateFile(U(wim).c_str(), WIM_GENERIC_READ | WIM_GENERIC_WRITE, WIM_OPEN_ALWAYS, 0, 0, &created);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(created, WIM_OPENED_EXISTING);
    EXPECT_TRUE(WIMCloseHandle(h));

    const std::string other = dir + "/other.wim";
    h = WIMCreateFile(U(other).c_str(), WIM_GENERIC_READ | WIM_GENERIC_WRITE, WIM_OPEN_ALWAYS, 0, 0, &created);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(created, WIM_CREATED_NEW);
    EXPECT_TRUE(WIMCloseHandle(h));

    // CREATE_ALWAYS replaces what was there.
    CaptureNew(wim, {tree});
    {
        Handle again = OpenWrite(wim, WIM_CREATE_ALWAYS);
        ASSERT_TRUE(again);
        EXPECT_EQ(WIMGetImageCount(again.get()), 0u);
    }
}

TEST_F(WimFileTest, AttributesDescribeTheFile)
{
    const std::string wim = dir + "/attr.wim";
    CaptureNew(wim, {tree, tree + "/sub"}, WIM_COMPRESS_XPRESS);
    {
        Handle file = OpenWrite(wim, WIM_OPEN_EXISTING);
        ASSERT_TRUE(file);
        EXPECT_TRUE(WIMSetBootImage(file.get(), 2));
        errno = 0;
        EXPECT_FALSE(WIMSetBootImage(file.get(), 3));
        EXPECT_EQ(errno, EINVAL);
    }
    Handle file = OpenRead(wim);
    ASSERT_TRUE(file);
    WIM_INFO info;
    std::memset(&info, 0xAB, sizeof(info));
    ASSERT_TRUE(WIMGetAttributes(file.get(), &info, sizeof(info)));
    EXPECT_EQ(S(info.WimPath), wim);
    EXPECT_EQ(info.ImageCount, 2u);
    EXPECT_EQ(info.CompressionType, static_cast<DWORD>(WIM_COMPRESS_XPRESS));
    EXPECT_EQ(info.PartNumber, 1);
    EXPECT_EQ(info.TotalParts, 1);
    EXPECT_EQ(info.BootIndex, 2u);
    EXPECT_EQ(info.WimAttributes & WIM_ATTRIBUTE_SPANNED, 0u);
    const WIM_GUID zero{};
    EXPECT_NE(std::memcmp(&info.Guid, &zero, sizeof(zero)), 0);
    errno = 0;
    EXPECT_FALSE(WIMGetAttributes(file.get(), &info, sizeof(info) - 1));
    EXPECT_EQ(errno, ENOBUFS);
    // The file agrees with wimlib's own tool.
    EXPECT_NE(RunOutput("wimlib-imagex info " + Quote(wim)).find("Boot Index:     2"), std::string::npos);
}

TEST_F(WimFileTest, EsdOpensOnlyWithTheLzmsFlag)
{
    const std::string esd = dir + "/solid.esd";
    errno = 0;
    EXPECT_EQ(WIMCreateFile(U(esd).c_str(), WIM_GENERIC_WRITE, WIM_CREATE_ALWAYS, 0, WIM_COMPRESS_LZMS, nullptr),
              nullptr);
    EXPECT_EQ(errno, ENOTSUP);
    CaptureNew(esd, {tree}, WIM_COMPRESS_LZMS);
    EXPECT_TRUE(WimVerify(esd));
    EXPECT_NE(RunOutput("wimlib-imagex info " + Quote(esd)).find("LZMS"), std::string::npos);
    // A solid file: without the flag the open fails, with it it works.
    errno = 0;
    EXPECT_EQ(WIMCreateFile(U(esd).c_str(), WIM_GENERIC_READ, WIM_OPEN_EXISTING, 0, 0, nullptr), nullptr);
    EXPECT_EQ(errno, ENOTSUP);
    Handle file(WIMCreateFile(U(esd).c_str(), WIM_GENERIC_READ, WIM_OPEN_EXISTING, WIM_FLAG_ALLOW_LZMS, 0, nullptr));
    ASSERT_TRUE(file);
    WIM_INFO info{};
    ASSERT_TRUE(WIMGetAttributes(file.get(), &info, sizeof(info)));
    EXPECT_EQ(info.CompressionType, static_cast<DWORD>(WIM_COMPRESS_LZMS));
    // An append keeps the file solid and valid.
    file.reset();
    {
        Handle rw = OpenWrite(esd, WIM_OPEN_EXISTING, WIM_COMPRESS_LZMS);
        ASSERT_TRUE(rw);
        Handle image(WIMCaptureImage(rw.get(), U(tree + "/sub").c_str(), 0));
        ASSERT_TRUE(image) << strerror(errno);
    }
    EXPECT_TRUE(WimVerify(esd));
    EXPECT_NE(RunOutput("wimlib-imagex info " + Quote(esd)).find("Image Count:    2"), std::string::npos);
}

TEST_F(WimFileTest, DeleteImageKeepsTheOthers)
{
    const std::string wim = dir + "/del.wim";
    CaptureNew(wim, {tree, tree + "/sub", tree + "/中文目录"});
    {
        Handle file = OpenWrite(wim, WIM_OPEN_EXISTING);
        ASSERT_TRUE(file);
        EXPECT_TRUE(WIMDeleteImage(file.get(), 2));
        EXPECT_EQ(WIMGetImageCount(file.get()), 2u);
        errno = 0;
        EXPECT_FALSE(WIMDeleteImage(file.get(), 3));
        EXPECT_EQ(errno, EINVAL);
    }
    EXPECT_TRUE(WimVerify(wim));
    Handle file = OpenRead(wim);
    EXPECT_EQ(WIMGetImageCount(file.get()), 2u);
    Handle image(WIMLoadImage(file.get(), 2));
    ASSERT_TRUE(image);
    const std::string out = dir + "/out";
    ASSERT_TRUE(WIMApplyImage(image.get(), U(out).c_str(), 0));
    EXPECT_EQ(CompareTrees(tree + "/中文目录", out), "");
    // A file opened for reading refuses changes.
    errno = 0;
    EXPECT_FALSE(WIMDeleteImage(file.get(), 1));
    EXPECT_EQ(errno, EACCES);
}

TEST_F(WimFileTest, BadInputFailsCleanly)
{
    const std::string good = dir + "/good.wim";
    CaptureNew(good, {tree});
    const std::string content = ReadFile(good);

    struct Case {
        const char* name;
        std::string bytes;
        int error;
    };
    std::mt19937 rng(42);
    std::string random(64 * 1024, '\0');
    for (char& c : random)
        c = static_cast<char>(rng());
    const Case cases[] = {
        {"random.wim", random, ENOEXEC},
        {"empty.wim", "", ENOEXEC},
        {"header-only.wim", content.substr(0, 100), ENOEXEC},
        {"truncated.wim", content.substr(0, content.size() / 2), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + "/" + c.name;
        WriteFile(path, c.bytes);
        errno = 0;
        Handle file = OpenRead(path);
        if (file) {
            // Some damage shows only when the image is read.
            Handle image(WIMLoadImage(file.get(), 1));
            const bool applied = image && WIMApplyImage(image.get(), U(dir + "/x-" + c.name).c_str(), 0);
            EXPECT_FALSE(applied);
        }
        EXPECT_NE(errno, 0);
        if (c.error) {
            EXPECT_EQ(errno, c.error) << strerror(errno);
        }
    }

    Handle file = OpenRead(good);
    ASSERT_TRUE(file);
    for (DWORD index : {0u, 2u, 99u}) {
        errno = 0;
        EXPECT_EQ(WIMLoadImage(file.get(), index), nullptr);
        EXPECT_EQ(errno, EINVAL);
    }
    // Handles are checked: foreign pointers, the wrong kind, closed ones.
    int notAHandle = 0;
    errno = 0;
    EXPECT_EQ(WIMGetImageCount(&notAHandle), 0u);
    EXPECT_EQ(errno, EINVAL);
    Handle image(WIMLoadImage(file.get(), 1));
    errno = 0;
    EXPECT_EQ(WIMGetImageCount(image.get()), 0u);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(WIMApplyImage(file.get(), U(dir + "/y").c_str(), 0));
    HANDLE stale = WIMLoadImage(file.get(), 1);
    EXPECT_TRUE(WIMCloseHandle(stale));
    errno = 0;
    EXPECT_FALSE(WIMCloseHandle(stale));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(WIMCloseHandle(nullptr));
}

TEST_F(WimFileTest, HeaderClaimingMoreThanTheFileHoldsIsRefused)
{
    // A file with an integrity table, so that all three resources the
    // header points at are there.
    const std::string good = dir + "/checked.wim";
    ASSERT_EQ(RunCommand("wimlib-imagex capture " + Quote(tree) + " " + Quote(good) + " --check >/dev/null"), 0);
    const std::string content = ReadFile(good);
    ASSERT_TRUE(OpenRead(good));
    auto le = [&](size_t at, int width) {
        uint64_t v = 0;
        for (int i = width - 1; i >= 0; --i)
            v = v << 8 | static_cast<unsigned char>(content[at + i]);
        return v;
    };
    auto patched = [&](size_t at, uint64_t value, int width = 8) {
        std::string b = content;
        for (int i = 0; i < width; ++i)
            b[at + i] = static_cast<char>(value >> (8 * i));
        return b;
    };
    // Entries: blob table at 48, XML at 72, integrity table at 124; each is
    // the stored size (7 bytes) and flags, the offset, the unpacked size.
    // The blob table holds 50-byte entries of the same shape; the image's
    // metadata is the one flagged 2.
    size_t metadata = 0;
    for (size_t at = le(48 + 8, 8); at + 50 <= le(48 + 8, 8) + le(48, 7); at += 50)
        if (content[at + 7] & 2)
            metadata = at;
    ASSERT_NE(metadata, 0u);
    // A blob table stored compressed, which wimlib reads and never writes:
    // its metadata entries are checked once wimlib has unpacked it.
    const uint64_t tableAt = le(48 + 8, 8), tableSize = le(48, 7);
    ASSERT_LT(tableSize, 32768u) << "the table must fit one chunk";
    auto compressedTable = [&](std::string b, uint64_t claimed) {
        wimlib_compressor* compressor = nullptr;
        EXPECT_EQ(wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_LZX, 32768, 0, &compressor), 0);
        std::string packed(tableSize, '\0');
        packed.resize(wimlib_compress(b.data() + tableAt, tableSize, packed.data(), packed.size(), compressor));
        wimlib_free_compressor(compressor);
        EXPECT_GT(packed.size(), 0u);
        const uint64_t at = b.size();
        b += packed;
        for (int i = 0; i < 7; ++i)
            b[48 + i] = static_cast<char>(uint64_t(packed.size()) >> (8 * i));
        b[48 + 7] = static_cast<char>(b[48 + 7] | 4);
        for (int i = 0; i < 8; ++i) {
            b[48 + 8 + i] = static_cast<char>(at >> (8 * i));
            b[48 + 16 + i] = static_cast<char>(claimed >> (8 * i));
        }
        return b;
    };
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"XML of 8 GiB", patched(72 + 16, 8ull << 30)},
        {"blob table of 8 GiB", patched(48 + 16, 8ull << 30)},
        {"XML past the end", patched(72 + 8, content.size() - 10)},
        {"integrity table past the end", patched(124 + 8, uint64_t(1) << 40)},
        {"a hundred million images", patched(44, 100000000, 4)},
        {"image metadata of 3.5 GiB", patched(metadata + 16, 3584ull << 20)},
        {"image metadata past the end", patched(metadata + 8, content.size() - 10)},
        {"solid image metadata of 3.5 GiB", patched(metadata + 16, 3584ull << 20).replace(metadata + 7, 1, "\x12")},
        {"image metadata of 3.5 GiB, table flagged compressed",
         patched(metadata + 16, 3584ull << 20).replace(48 + 7, 1, std::string(1, char(content[48 + 7] | 4)))},
        {"image metadata of 3.5 GiB in a compressed table",
         compressedTable(patched(metadata + 16, 3584ull << 20), tableSize)},
        {"compressed table unpacking to 1000 times its size", compressedTable(content, tableSize * 1000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + "/forged.wim";
        WriteFile(path, c.bytes);
        errno = 0;
        EXPECT_FALSE(OpenRead(path));
        EXPECT_EQ(errno, ENOEXEC) << strerror(errno);
    }

    // The compressed table itself is read: a real one opens and applies.
    const std::string packedGood = dir + "/packed-table.wim";
    WriteFile(packedGood, compressedTable(content, tableSize));
    {
        Handle file = OpenRead(packedGood);
        ASSERT_TRUE(file) << strerror(errno);
        Handle image(WIMLoadImage(file.get(), 1));
        ASSERT_TRUE(image) << strerror(errno);
        EXPECT_TRUE(WIMApplyImage(image.get(), U(dir + "/packed-out").c_str(), 0)) << strerror(errno);
        EXPECT_EQ(CompareTrees(tree, dir + "/packed-out"), "");
    }

    // A pipable file carries its real header at its end.
    const std::string pipable = dir + "/pipable.wim";
    ASSERT_EQ(RunCommand("wimlib-imagex capture " + Quote(tree) + " " + Quote(pipable) + " --pipable 2>/dev/null"), 0);
    ASSERT_TRUE(OpenRead(pipable));
    std::string forged = ReadFile(pipable);
    ASSERT_EQ(forged.substr(forged.size() - 208, 5), "WLPWM");
    for (int i = 0; i < 8; ++i)
        forged[forged.size() - 208 + 72 + 16 + i] = static_cast<char>((8ull << 30) >> (8 * i));
    WriteFile(pipable, forged);
    errno = 0;
    EXPECT_FALSE(OpenRead(pipable));
    EXPECT_EQ(errno, ENOEXEC) << strerror(errno);
}

TEST_F(WimFileTest, ImageKeepsItsFileAlive)
{
    const std::string wim = dir + "/alive.wim";
    CaptureNew(wim, {tree});
    Handle f = OpenRead(wim);
    HANDLE image = WIMLoadImage(f.get(), 1);
    ASSERT_NE(image, nullptr);
    f.reset();
    // The file handle is gone, but the image still works through its file.
    const std::string out = dir + "/out";
    EXPECT_TRUE(WIMApplyImage(image, U(out).c_str(), 0)) << strerror(errno);
    EXPECT_EQ(CompareTrees(tree, out), "");
    EXPECT_TRUE(WIMCloseHandle(image));
}

} // namespace
