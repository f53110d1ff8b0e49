// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers of the module loader and binding tests.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <elf.h>

#include <cstring>

// The bytes of a test shared object ("testmodule" -> libkestrel_testmodule.so).
inline QByteArray ReadTestModule(const char* name)
{
    QFile f(QStringLiteral(KESTREL_TEST_MODULE_DIR "/libkestrel_%1.so").arg(QLatin1String(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The same object claiming to be built for another processor.
inline QByteArray WithMachine(QByteArray elf, Elf64_Half machine)
{
    std::memcpy(elf.data() + offsetof(Elf64_Ehdr, e_machine), &machine, sizeof machine);
    return elf;
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Lines of this process's memory map naming the loader's memfd.
inline int MappedMemfdModules()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return -1;
    return int(maps.readAll().count("memfd:kestrel-module"));
}

inline int OpenDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}
