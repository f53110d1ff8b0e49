// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/desktopfiles.h"

#include <pugixml.hpp>

#include <sstream>

namespace {

// A path for an Exec line: in double quotes, with the characters that are
// special inside them escaped.
QString quoted(const QString& path)
{
    QString escaped;
    for (const QChar c : path) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            escaped += u'\\';
        escaped += c;
    }
    return u'"' + escaped + u'"';
}

// In a desktop entry's value, a backslash is itself escaped once more.
QString entryValue(const QString& execLine)
{
    QString out = execLine;
    out.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    out.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return out;
}

// A shell word in single quotes.
QString shellWord(const QString& text)
{
    QString out = text;
    out.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return u'\'' + out + u'\'';
}

QString singleLine(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return out;
}

} // namespace

QByteArray MimePackageText()
{
    return QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"application/x-ms-wim\">\n"
        "    <comment>Windows Imaging Format disk image</comment>\n"
        "    <comment xml:lang=\"zh_CN\">Windows 映像文件</comment>\n"
        "    <magic priority=\"50\">\n"
        "      <match type=\"string\" offset=\"0\" value=\"MSWIM\"/>\n"
        "    </magic>\n"
        "    <glob pattern=\"*.wim\"/>\n"
        "    <glob pattern=\"*.swm\"/>\n"
        "    <glob pattern=\"*.esd\"/>\n"
        "  </mime-type>\n"
        "</mime-info>\n");
}

QByteArray ThumbnailerText(const QString& host)
{
    return QStringLiteral("[Thumbnailer Entry]\n"
                          "TryExec=%1\n"
                          "Exec=%2 --thumbnail %s %i %o\n"
                          "MimeType=application/x-ms-wim;\n")
        .arg(entryValue(host), entryValue(quoted(host)))
        .toUtf8();
}

QByteArray DolphinServiceMenuText(const QString& host, const QString& name)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Service\n"
                          "MimeType=application/x-ms-wim;inode/directory;\n"
                          "Actions=kestrelMenu;\n"
                          "X-KDE-Priority=TopLevel\n"
                          "\n"
                          "[Desktop Action kestrelMenu]\n"
                          "Name=%1\n"
                          "Icon=application-x-ms-wim\n"
                          "Exec=%2 --menu %f\n")
        .arg(singleLine(name), entryValue(quoted(host)))
        .toUtf8();
}

QByteArray NemoActionText(const QString& host, const QString& name)
{
    return QStringLiteral("[Nemo Action]\n"
                          "Name=%1\n"
                          "Comment=%1\n"
                          "Exec=%2 --menu %F\n"
                          "Icon-Name=application-x-ms-wim\n"
                          "Selection=s\n"
                          "Mimetypes=application/x-ms-wim;inode/directory;\n")
        .arg(singleLine(name), entryValue(quoted(host)))
        .toUtf8();
}

QByteArray NautilusScriptText(const QString& host)
{
    // Nautilus passes the selected paths as arguments; the menu is for one.
    return QStringLiteral("#!/bin/sh\n"
                          "[ $# -eq 1 ] || exit 0\n"
                          "exec %1 --menu \"$1\"\n")
        .arg(shellWord(host))
        .toUtf8();
}

namespace {

bool isOurs(const pugi::xml_node& action)
{
    const std::string id = action.child("unique-id").text().as_string();
    return id.rfind(kThunarIdPrefix, 0) == 0;
}

std::optional<pugi::xml_document*> parseActions(const QByteArray& current, pugi::xml_document& doc)
{
    if (current.trimmed().isEmpty()) {
        doc.append_child("actions");
        return &doc;
    }
    if (!doc.load_buffer(current.constData(), size_t(current.size()), pugi::parse_default | pugi::parse_declaration))
        return std::nullopt;
    if (!doc.child("actions"))
        return std::nullopt;
    return &doc;
}

QByteArray serialize(const pugi::xml_document& doc)
{
    std::ostringstream out;
    pugi::xml_document copy;
    copy.reset(doc);
    if (!copy.first_child() || copy.first_child().type() != pugi::node_declaration) {
        pugi::xml_node decl = copy.prepend_child(pugi::node_declaration);
        decl.append_attribute("version") = "1.0";
        decl.append_attribute("encoding") = "UTF-8";
    }
    copy.save(out, "\t", pugi::format_default, pugi::encoding_utf8);
    return QByteArray::fromStdString(out.str());
}

void addAction(pugi::xml_node actions, const char* id, const QString& host, const QString& name, const char* patterns,
               const char* kind)
{
    pugi::xml_node a = actions.append_child("action");
    a.append_child("icon").text() = "application-x-ms-wim";
    a.append_child("name").text() = singleLine(name).toUtf8().constData();
    a.append_child("unique-id").text() = id;
    a.append_child("command").text() = (quoted(host) + QStringLiteral(" --menu %f")).toUtf8().constData();
    a.append_child("description").text() = "";
    a.append_child("patterns").text() = patterns;
    a.append_child(kind);
}

} // namespace

std::optional<QByteArray> ThunarActionsWith(const QByteArray& current, const QString& host, const QString& name)
{
    pugi::xml_document doc;
    if (!parseActions(current, doc))
        return std::nullopt;
    pugi::xml_node actions = doc.child("actions");
    for (pugi::xml_node a = actions.child("action"); a;) {
        pugi::xml_node next = a.next_sibling("action");
        if (isOurs(a))
            actions.remove_child(a);
        a = next;
    }
    const QByteArray files = QByteArray(kThunarIdPrefix) + "-files";
    const QByteArray folders = QByteArray(kThunarIdPrefix) + "-folders";
    addAction(actions, files.constData(), host, name, "*.wim;*.WIM;*.swm;*.SWM;*.esd;*.ESD", "other-files");
    addAction(actions, folders.constData(), host, name, "*", "directories");
    return serialize(doc);
}

std::optional<QByteArray> ThunarActionsWithout(const QByteArray& current, bool* hadOurs)
{
    *hadOurs = false;
    pugi::xml_document doc;
    if (!parseActions(current, doc))
        return std::nullopt;
    pugi::xml_node actions = doc.child("actions");
    for (pugi::xml_node a = actions.child("action"); a;) {
        pugi::xml_node next = a.next_sibling("action");
        if (isOurs(a)) {
            actions.remove_child(a);
            *hadOurs = true;
        }
        a = next;
    }
    return serialize(doc);
}

bool ThunarActionsHaveOurs(const QByteArray& current)
{
    pugi::xml_document doc;
    if (!parseActions(current, doc))
        return false;
    for (pugi::xml_node a : doc.child("actions").children("action")) {
        if (isOurs(a))
            return true;
    }
    return false;
}

QByteArray OpenDesktopEntryText(const QString& program, const QString& name, const QString& comment)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Comment=%2\n"
                          "Exec=%3 %f /OpenFile\n"
                          "Icon=application-x-ms-wim\n"
                          "MimeType=application/x-ms-wim;\n"
                          "NoDisplay=true\n"
                          "Terminal=false\n")
        .arg(singleLine(name), singleLine(comment), entryValue(quoted(program)))
        .toUtf8();
}
