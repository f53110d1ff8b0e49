// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/resourcepacker.h"

#include "imaging/resources.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

namespace {

bool WriteWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(bytes) != bytes.size())
        return false;
    return out.commit();
}

} // namespace

PackerResult RunPackerCommand(const QStringList& args)
{
    if (args.size() < 5 || args.at(1).compare(QLatin1String("LZMA"), Qt::CaseInsensitive) != 0)
        return PackerResult::NothingToDo;
    const QString& action = args.at(2);
    const bool encode = action.compare(QLatin1String("/EnCode"), Qt::CaseInsensitive) == 0;
    const bool decode = action.compare(QLatin1String("/DeCode"), Qt::CaseInsensitive) == 0;
    const QString& inPath = args.at(3);
    const QString& outPath = args.at(4);
    if ((!encode && !decode) || !QFileInfo(inPath).isFile() || outPath.isEmpty())
        return PackerResult::NothingToDo;

    QFile in(inPath);
    if (!in.open(QIODevice::ReadOnly))
        return PackerResult::Failed;
    const QByteArray input = in.readAll();
    in.close();
    const QByteArray result = encode ? PackResource(input) : UnpackResource(input);
    if (result.isNull())
        return PackerResult::Failed;
    return WriteWhole(outPath, result) ? PackerResult::Done : PackerResult::Failed;
}

int RunResourcePacker(const QStringList& args)
{
    // Like the command-line switches, a failure is reported: a build step or
    // script that packs a resource must not take a missing file for success.
    switch (RunPackerCommand(args)) {
    case PackerResult::Done:
        return 0;
    case PackerResult::NothingToDo:
        std::fprintf(stderr, "Kestrel LZMA: usage: Kestrel LZMA /EnCode|/DeCode <existing input> <output>\n");
        return 2;
    case PackerResult::Failed:
        break;
    }
    std::fprintf(stderr, "Kestrel LZMA: the input could not be packed or unpacked, or the output not written\n");
    return 1;
}
