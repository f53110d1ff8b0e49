// SPDX-License-Identifier: GPL-3.0-or-later
// kestrel-pack: the program's resource packer as a build-time tool, because
// the program cannot pack the resources it is built from.
//
//   kestrel-pack LZMA /EnCode in out    pack `in` into an "LZMA" container
//   kestrel-pack LZMA /DeCode in out    unpack a container
//   kestrel-pack /NameTable out name... write names as 64-byte zero-padded slots
//
// Unlike the program it exits non-zero on failure, so a broken resource stops
// the build.
#include "imaging/resourcepacker.h"
#include "imaging/resources.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {

int WriteNameTable(const QStringList& args)
{
    if (args.size() < 3)
        return 2;
    QByteArray table;
    for (qsizetype i = 3; i < args.size(); ++i) {
        QByteArray name = args.at(i).toLatin1();
        if (name.isEmpty() || name.size() >= kWimlibNameSlot) {
            std::fprintf(stderr, "kestrel-pack: name '%s' does not fit a %d-byte slot\n", name.constData(),
                         kWimlibNameSlot);
            return 1;
        }
        name.append(QByteArray(kWimlibNameSlot - name.size(), '\0'));
        table += name;
    }
    QSaveFile out(args.at(2));
    if (!out.open(QIODevice::WriteOnly) || out.write(table) != table.size() || !out.commit()) {
        std::fprintf(stderr, "kestrel-pack: cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 2 && args.at(1).compare(QLatin1String("/NameTable"), Qt::CaseInsensitive) == 0)
        return WriteNameTable(args);
    switch (RunPackerCommand(args)) {
    case PackerResult::Done:
        return 0;
    case PackerResult::NothingToDo:
        std::fprintf(stderr, "usage: kestrel-pack LZMA /EnCode|/DeCode in out\n");
        return 2;
    case PackerResult::Failed:
        break;
    }
    std::fprintf(stderr, "kestrel-pack: %s %s failed\n", qPrintable(args.value(2)), qPrintable(args.value(3)));
    return 1;
}
