// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/memorymodule.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

struct MemoryModule {
    void* handle = nullptr;
    int fd = -1;
};

namespace {

#if defined(__x86_64__)
constexpr unsigned char kOwnClass = ELFCLASS64;
constexpr Elf64_Half kOwnMachine = EM_X86_64;
#elif defined(__i386__)
constexpr unsigned char kOwnClass = ELFCLASS32;
constexpr Elf64_Half kOwnMachine = EM_386;
#elif defined(__aarch64__)
constexpr unsigned char kOwnClass = ELFCLASS64;
constexpr Elf64_Half kOwnMachine = EM_AARCH64;
#else
#error "the ELF machine of this processor is not known"
#endif

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr unsigned char kOwnData = ELFDATA2LSB;
#else
constexpr unsigned char kOwnData = ELFDATA2MSB;
#endif

QString DlError()
{
    const char* e = dlerror();
    return e ? QString::fromLocal8Bit(e) : QStringLiteral("unknown dynamic loader error");
}

bool WriteAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

QByteArray FdPath(int fd)
{
    return "/proc/self/fd/" + QByteArray::number(fd);
}

} // namespace

bool IsOwnMachineSharedObject(const char* image, qsizetype size)
{
    // e_type and e_machine sit at the same offsets in both ELF classes.
    if (!image || size < qsizetype(kOwnClass == ELFCLASS64 ? sizeof(Elf64_Ehdr) : sizeof(Elf32_Ehdr)))
        return false;
    if (std::memcmp(image, ELFMAG, SELFMAG) != 0)
        return false;
    if (static_cast<unsigned char>(image[EI_CLASS]) != kOwnClass
        || static_cast<unsigned char>(image[EI_DATA]) != kOwnData)
        return false;
    Elf64_Half type = 0;
    Elf64_Half machine = 0;
    std::memcpy(&type, image + offsetof(Elf64_Ehdr, e_type), sizeof type);
    std::memcpy(&machine, image + offsetof(Elf64_Ehdr, e_machine), sizeof machine);
    return type == ET_DYN && machine == kOwnMachine;
}

void MemoryModuleSlot::Deleter::operator()(MemoryModule* m) const
{
    if (!m)
        return;
    const QByteArray path = FdPath(m->fd);
    if (m->handle)
        dlclose(m->handle);
    // The loader knows the module by its /proc path. While anything still
    // holds it (a module that depends on it), the descriptor must stay open:
    // a new module opened under a reused number would be taken for this one.
    void* still = m->handle ? dlopen(path.constData(), RTLD_NOW | RTLD_NOLOAD) : nullptr;
    if (still)
        dlclose(still);
    else if (m->fd >= 0)
        ::close(m->fd);
    delete m;
}

MemoryModuleSlot::MemoryModuleSlot() = default;
MemoryModuleSlot::~MemoryModuleSlot() = default;

MemoryModule* LoadModuleFromMemory(MemoryModuleSlot& slot, const QByteArray& image, bool global, bool keepLoaded)
{
    FreeMemoryModule(slot);
    slot.m_lastError.clear();
    if (!IsOwnMachineSharedObject(image.constData(), image.size())) {
        slot.m_lastError = QStringLiteral("not a shared object of this machine");
        return nullptr;
    }
    const int fd = ::memfd_create("kestrel-module", MFD_CLOEXEC);
    if (fd < 0) {
        slot.m_lastError = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    std::unique_ptr<MemoryModule, MemoryModuleSlot::Deleter> module(new MemoryModule);
    module->fd = fd;
    if (!WriteAll(fd, image.constData(), image.size())) {
        slot.m_lastError = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    dlerror();
    module->handle = dlopen(FdPath(fd).constData(),
                            RTLD_NOW | (global ? RTLD_GLOBAL : RTLD_LOCAL) | (keepLoaded ? RTLD_NODELETE : 0));
    if (!module->handle) {
        // RTLD_NOW: a missing library or symbol fails here, and the loader
        // has already unmapped everything it mapped.
        slot.m_lastError = DlError();
        return nullptr;
    }
    slot.m_module = std::move(module);
    return slot.m_module.get();
}

void* FindOwnSymbol(void* handle, const char* name)
{
    if (!handle || !name)
        return nullptr;
    dlerror();
    void* sym = dlsym(handle, name);
    if (!sym)
        return nullptr;
    // dlsym also searches the module's dependencies; only the module's own
    // exports count.
    link_map* own = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &own) != 0 || !own)
        return nullptr;
    Dl_info info;
    link_map* where = nullptr;
    if (!dladdr1(sym, &info, reinterpret_cast<void**>(&where), RTLD_DL_LINKMAP) || where != own)
        return nullptr;
    return sym;
}

void* GetModuleExport(const MemoryModuleSlot& slot, const char* name)
{
    const MemoryModule* m = slot.module();
    return m ? FindOwnSymbol(m->handle, name) : nullptr;
}

void FreeMemoryModule(MemoryModuleSlot& slot)
{
    slot.m_module.reset();
}
