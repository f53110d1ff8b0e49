// SPDX-License-Identifier: GPL-3.0-or-later
// Loading shared objects from memory: exports, refusals and clean failure.
#include "imaging/memorymodule.h"
#include "moduletestutil.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

using AnswerFn = int (*)(int);

int CallAnswer(const MemoryModuleSlot& slot, int x)
{
    auto fn = reinterpret_cast<AnswerFn>(GetModuleExport(slot, "kestrel_test_answer"));
    return fn ? fn(x) : -1;
}

} // namespace

TEST(MemoryModule, LoadsAModuleAndCallsItsExport)
{
    const QByteArray image = ReadTestModule("testmodule");
    ASSERT_FALSE(image.isEmpty()) << "test module missing";
    const int mappedBefore = MappedMemfdModules();
    {
        MemoryModuleSlot slot;
        ASSERT_NE(LoadModuleFromMemory(slot, image), nullptr) << slot.lastError().toStdString();
        EXPECT_NE(slot.module(), nullptr);
        EXPECT_EQ(CallAnswer(slot, 1), 43);
        // Only the module's own exports: not its dependencies', not unknown names.
        EXPECT_EQ(GetModuleExport(slot, "labs"), nullptr);
        EXPECT_EQ(GetModuleExport(slot, "kestrel_no_such_export"), nullptr);
        EXPECT_NE(GetModuleExport(slot, "WIMCreateFile"), nullptr);
        // Mapped from an anonymous memfd, not from a file on disk.
        EXPECT_GT(MappedMemfdModules(), mappedBefore);
        Dl_info info;
        ASSERT_TRUE(dladdr(GetModuleExport(slot, "kestrel_test_answer"), &info));
        EXPECT_TRUE(QByteArray(info.dli_fname).startsWith("/proc/self/fd/")) << info.dli_fname;
    }
    EXPECT_EQ(MappedMemfdModules(), mappedBefore) << "the slot's destructor unloads the module";
}

TEST(MemoryModule, RefusesWhatCannotLoadAndLeavesNothingBehind)
{
    const QByteArray good = ReadTestModule("testmodule");
    ASSERT_FALSE(good.isEmpty());
    // The other word size than the build's own (the test runs in both).
    QByteArray otherClass = good;
    otherClass[EI_CLASS] = char(good[EI_CLASS] == char(ELFCLASS64) ? ELFCLASS32 : ELFCLASS64);
    QByteArray executable = good;
    const Elf64_Half exec = ET_EXEC;
    std::memcpy(executable.data() + offsetof(Elf64_Ehdr, e_type), &exec, sizeof exec);

    const struct {
        const char* what;
        QByteArray image;
    } cases[] = {
        {"unresolvable symbol", ReadTestModule("testmissingsymbol")},
        {"unresolvable dependency", ReadTestModule("testmissingdep")},
        {"another machine", WithMachine(good, EM_AARCH64)},
        {"another word size", otherClass},
        {"not a shared object", executable},
        {"not ELF", QByteArray("MZ\x90\0this is not a module", 24)},
        {"truncated header", good.left(20)},
        {"header only", good.left(sizeof(Elf64_Ehdr))},
        {"empty", QByteArray()},
    };
    const int mappedBefore = MappedMemfdModules();
    const int fdsBefore = OpenDescriptors();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.image.isEmpty() && QByteArray(c.what) != "empty") << "fixture missing";
        MemoryModuleSlot slot;
        EXPECT_EQ(LoadModuleFromMemory(slot, c.image), nullptr);
        EXPECT_EQ(slot.module(), nullptr);
        EXPECT_FALSE(slot.lastError().isEmpty());
        EXPECT_EQ(GetModuleExport(slot, "kestrel_test_answer"), nullptr);
        EXPECT_EQ(MappedMemfdModules(), mappedBefore);
        EXPECT_EQ(OpenDescriptors(), fdsBefore);
    }
}

TEST(MemoryModule, SlotsKeepTheirOwnModules)
{
    const QByteArray a = ReadTestModule("testmodule");
    const QByteArray b = ReadTestModule("testmodule7");
    ASSERT_FALSE(a.isEmpty());
    ASSERT_FALSE(b.isEmpty());
    MemoryModuleSlot first;
    MemoryModuleSlot second;
    ASSERT_NE(LoadModuleFromMemory(first, a), nullptr);
    ASSERT_NE(LoadModuleFromMemory(second, b), nullptr);
    EXPECT_EQ(CallAnswer(first, 0), 42);
    EXPECT_EQ(CallAnswer(second, 0), 7);

    // A module loaded after another was freed is the new one, even when it
    // gets the freed module's descriptor number.
    FreeMemoryModule(first);
    EXPECT_EQ(first.module(), nullptr);
    EXPECT_EQ(GetModuleExport(first, "kestrel_test_answer"), nullptr);
    MemoryModuleSlot third;
    ASSERT_NE(LoadModuleFromMemory(third, b), nullptr);
    EXPECT_EQ(CallAnswer(third, 1), 8);
    ASSERT_NE(LoadModuleFromMemory(first, a), nullptr);
    EXPECT_EQ(CallAnswer(first, 1), 43);

    // Loading into an occupied slot replaces its module.
    ASSERT_NE(LoadModuleFromMemory(first, b), nullptr);
    EXPECT_EQ(CallAnswer(first, 2), 9);
}

TEST(MemoryModule, GlobalModulesLendTheirSymbolsToLaterOnes)
{
    const QByteArray image = ReadTestModule("testmodule7");
    ASSERT_FALSE(image.isEmpty());
    {
        MemoryModuleSlot local;
        ASSERT_NE(LoadModuleFromMemory(local, image, false), nullptr);
        EXPECT_EQ(dlsym(RTLD_DEFAULT, "kestrel_test_answer"), nullptr);
    }
    MemoryModuleSlot global;
    ASSERT_NE(LoadModuleFromMemory(global, image, true), nullptr);
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "kestrel_test_answer"), GetModuleExport(global, "kestrel_test_answer"));
}
