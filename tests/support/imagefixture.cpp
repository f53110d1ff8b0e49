// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/imagefixture.h"

#include "imaging/binding.h"
#include "imaging/imagingapi.h"
#include "imaging/resources.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <wimlib.h>

namespace {

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

struct WimGuard {
    WIMStruct* wim = nullptr;
    ~WimGuard()
    {
        if (wim)
            wimlib_free(wim);
    }
};

// Runs a program to its end; standard output alone, or merged with standard
// error, in `output`.
int runProcess(const QString& program, const QStringList& args, int timeoutMs, QByteArray* output, bool merged)
{
    QProcess p;
    if (merged)
        p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        return -1;
    }
    if (output)
        *output = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

bool BindTestImagingLayer(QString* why)
{
    // The program's own binding, pointed at the layer in the build folder
    // and without carried modules, so that the tests run the real layer.
    static ImagingBinding* binding = [] {
        BindingSources sources;
        sources.programCandidate = QStringLiteral(KESTREL_OUT_DIR "/libwimgapi.so");
        // The wimlib entries are bound through the carried name table, as in
        // the program; no module is loaded from memory.
        sources.carried = [](CarriedResource which) {
            return which == CarriedResource::WimlibNames ? UnpackCarriedResource(which) : QByteArray();
        };
        return BindImagingFrom(sources).release(); // kept for the whole run
    }();
    if (!binding || !binding->hasDiskLibrary() || !binding->imaging.WIMCreateFile) {
        if (why)
            *why = QStringLiteral(KESTREL_OUT_DIR "/libwimgapi.so could not be bound");
        return false;
    }
    ImagingApi = binding->imaging;
    WimlibApi = binding->wimlib;
    return true;
}

void MakeSourceTree(const QString& folder, int randomFiles, int randomBytes)
{
    QDir().mkpath(folder + QStringLiteral("/sub"));
    QDir().mkpath(folder + QStringLiteral("/empty"));
    WriteFile(folder + QStringLiteral("/a.txt"), "alpha\n");
    WriteFile(folder + QStringLiteral("/sub/b.txt"), "bravo bravo\n");
    for (int i = 0; i < randomFiles; ++i) {
        QByteArray bytes(randomBytes, Qt::Uninitialized);
        QRandomGenerator gen(static_cast<quint32>(i + 1));
        for (char& c : bytes)
            c = static_cast<char>(gen.bounded(256));
        WriteFile(folder + QStringLiteral("/r%1.bin").arg(i), bytes);
    }
}

bool WriteImageFile(const QString& source, const QString& path, int compression, int images)
{
    WimGuard g;
    if (wimlib_create_new_wim(static_cast<wimlib_compression_type>(compression), &g.wim) != 0)
        return false;
    const QByteArray src = QFile::encodeName(source);
    for (int i = 1; i <= images; ++i) {
        const QByteArray name = "Image " + QByteArray::number(i);
        if (wimlib_add_image(g.wim, src.constData(), name.constData(), nullptr, 0) != 0)
            return false;
    }
    const int flags = compression == WIMLIB_COMPRESSION_TYPE_LZMS ? WIMLIB_WRITE_FLAG_SOLID : 0;
    return wimlib_write(g.wim, QFile::encodeName(path).constData(), WIMLIB_ALL_IMAGES, flags, 1) == 0;
}

QStringList SplitImageFile(const QString& wim, const QString& firstPart, quint64 partBytes)
{
    WimGuard g;
    if (wimlib_open_wim(QFile::encodeName(wim).constData(), 0, &g.wim) != 0)
        return {};
    if (wimlib_split(g.wim, QFile::encodeName(firstPart).constData(), partBytes, 0) != 0)
        return {};
    QStringList parts{firstPart};
    const qsizetype dot = firstPart.lastIndexOf(u'.');
    for (int n = 2;; ++n) {
        const QString name = firstPart.left(dot) + QString::number(n) + firstPart.mid(dot);
        if (!QFile::exists(name))
            break;
        parts << name;
    }
    return parts;
}

QStringList ListTree(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir root(folder);
    while (it.hasNext())
        out << root.relativeFilePath(it.next());
    out.sort();
    return out;
}

int RunTool(const QString& program, const QStringList& args, int timeoutMs, QString* output)
{
    QByteArray bytes;
    const int code = runProcess(program, args, timeoutMs, output ? &bytes : nullptr, true);
    if (output)
        *output = QString::fromLocal8Bit(bytes);
    return code;
}

int RunImagex(const QStringList& args, QByteArray* output)
{
    return runProcess(QStringLiteral("wimlib-imagex"), args, 120000, output, false);
}

bool MakeImageFile(const QString& path, int images, const QStringList& extra)
{
    const QString source = QFileInfo(path).absolutePath() + QStringLiteral("/tree-") + QFileInfo(path).baseName();
    QDir().mkpath(source + QStringLiteral("/sub"));
    QFile a(source + QStringLiteral("/a.txt"));
    if (!a.open(QIODevice::WriteOnly) || a.write("alpha\n") != 6)
        return false;
    a.close();
    for (int i = 1; i <= images; ++i) {
        QStringList args{i == 1 ? QStringLiteral("capture") : QStringLiteral("append"), source, path,
                         QStringLiteral("Image %1").arg(i), QStringLiteral("Description %1").arg(i)};
        if (RunImagex(args + extra) != 0)
            return false;
    }
    return true;
}

QString ImagexXml(const QString& path)
{
    QByteArray bytes;
    if (RunImagex({QStringLiteral("info"), path, QStringLiteral("--xml")}, &bytes) != 0)
        return QString();
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

bool ImagexVerifies(const QString& path)
{
    return RunImagex({QStringLiteral("verify"), path}) == 0;
}

bool ImagexDocument(const QString& path, pugi::xml_document& document)
{
    const QByteArray xml = ImagexXml(path).toUtf8();
    return !xml.isEmpty() && document.load_buffer(xml.constData(), size_t(xml.size()));
}

pugi::xml_node ImagexImage(const pugi::xml_document& document, int index)
{
    for (pugi::xml_node image = document.child("WIM").child("IMAGE"); image; image = image.next_sibling("IMAGE")) {
        if (image.attribute("INDEX").as_int() == index)
            return image;
    }
    return {};
}

QStringList AttributeNames(pugi::xml_node node)
{
    QStringList names;
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
        names << QString::fromUtf8(a.name());
    return names;
}

QStringList ChildNames(pugi::xml_node node)
{
    QStringList names;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element)
            names << QString::fromUtf8(c.name());
    }
    return names;
}
