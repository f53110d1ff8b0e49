// SPDX-License-Identifier: GPL-3.0-or-later
// Loading a carried module (an ELF shared object held in memory) without a
// file on disk: the bytes go into an anonymous memfd, which the dynamic loader
// opens through /proc/self/fd. The loader maps, relocates and links it.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

struct MemoryModule;

// Owns at most one loaded module and unloads it when it is destroyed (for the
// process-wide slots: at process exit).
class MemoryModuleSlot {
public:
    MemoryModuleSlot();
    ~MemoryModuleSlot();
    MemoryModuleSlot(const MemoryModuleSlot&) = delete;
    MemoryModuleSlot& operator=(const MemoryModuleSlot&) = delete;

    MemoryModule* module() const { return m_module.get(); }
    // Why the last load into this slot failed (for diagnostics; never shown).
    const QString& lastError() const { return m_lastError; }

private:
    friend MemoryModule* LoadModuleFromMemory(MemoryModuleSlot&, const QByteArray&, bool, bool);
    friend void FreeMemoryModule(MemoryModuleSlot&);
    struct Deleter {
        void operator()(MemoryModule* m) const;
    };
    std::unique_ptr<MemoryModule, Deleter> m_module;
    QString m_lastError;
};

// Whether `image` starts with an ELF header of a shared object for the
// machine and word size this program runs on.
bool IsOwnMachineSharedObject(const char* image, qsizetype size);

// Loads `image` into `slot` (unloading what the slot held). `global` makes
// its symbols available to modules loaded later (RTLD_GLOBAL), which the
// carried wimlib needs so that the imaging layer's dependency finds it.
// Returns nullptr and leaves the slot empty when the image is not a shared
// object of this machine, or when its dependencies or symbols cannot all be
// resolved; nothing is left mapped and nothing is written to disk.
// `keepLoaded` (RTLD_NODELETE): the code stays mapped after the last close,
// for modules whose threads may still run while the process ends.
MemoryModule* LoadModuleFromMemory(MemoryModuleSlot& slot, const QByteArray& image, bool global = false,
                                   bool keepLoaded = false);

// The address of an exported symbol defined by the slot's module itself
// (not one of its dependencies), or nullptr.
void* GetModuleExport(const MemoryModuleSlot& slot, const char* name);

// Unloads the slot's module, if any, and empties the slot.
void FreeMemoryModule(MemoryModuleSlot& slot);

// The symbol `name` when the object behind the dlopen handle `handle` defines
// it itself; nullptr when it is missing or comes from a dependency.
void* FindOwnSymbol(void* handle, const char* name);
