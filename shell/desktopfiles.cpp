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

// The templates of shell/data, carried in the library.
extern const char kTemplate_thumbnailer[];
extern const char kTemplate_servicemenu[];
extern const char kTemplate_nemo[];
extern const char kTemplate_thunar[];
extern const char kTemplate_mime[];

namespace {

// A template with its placeholders filled: the host as it stands on an Exec
// line, the host's bare path, and the menu entry's name.
// In an XML template the values are escaped as XML text.
QByteArray filled(const char* text, const QString& host, const QString& name, bool xml = false)
{
    const auto value = [xml](const QString& v) { return xml ? v.toHtmlEscaped() : v; };
    QString out = QString::fromUtf8(text);
    out.replace(QLatin1String("@KESTREL_SHELL_HOST_PATH@"), value(singleLine(host)));
    out.replace(QLatin1String("@KESTREL_SHELL_HOST@"), value(xml ? quoted(host) : entryValue(quoted(host))));
    out.replace(QLatin1String("@KESTREL_MENU_NAME@"), value(singleLine(name)));
    return out.toUtf8();
}

} // namespace

QByteArray MimePackageText()
{
    return QByteArray(kTemplate_mime);
}

QByteArray ThumbnailerText(const QString& host)
{
    return filled(kTemplate_thumbnailer, host, QString());
}

QByteArray DolphinServiceMenuText(const QString& host, const QString& name)
{
    return filled(kTemplate_servicemenu, host, name);
}

QByteArray NemoActionText(const QString& host, const QString& name)
{
    return filled(kTemplate_nemo, host, name);
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

// Kestrel's actions from the template, with their texts filled in.
bool addActions(pugi::xml_node actions, const QString& host, const QString& name)
{
    const QByteArray text = filled(kTemplate_thunar, host, name, true);
    pugi::xml_document fragment;
    if (!fragment.load_buffer(text.constData(), size_t(text.size())))
        return false;
    for (pugi::xml_node a : fragment.children("action"))
        actions.append_copy(a);
    return true;
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
    if (!addActions(actions, host, name))
        return std::nullopt;
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
