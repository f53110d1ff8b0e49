// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/xmlnodes.h"

#include <QByteArray>

#include <cstring>
#include <limits>
#include <string>

namespace {

// Collects the bytes pugixml writes; in UTF-16 output they are whole units
// once saving ends, whatever the chunking on the way.
class Utf16Writer : public pugi::xml_writer {
public:
    void write(const void* data, size_t size) override { m_bytes.append(static_cast<const char*>(data), qsizetype(size)); }
    QString text() const
    {
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(m_bytes.constData()), m_bytes.size() / 2);
    }

private:
    QByteArray m_bytes;
};

pugi::xml_node firstTextNode(pugi::xml_node element)
{
    for (pugi::xml_node n = element.first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata)
            return n;
    }
    return {};
}

} // namespace

bool SetChildText(pugi::xml_node node, const char* name, const QString& text)
{
    pugi::xml_node child = node.child(name);
    if (!child)
        child = node.append_child(name);
    if (!child)
        return false;
    pugi::xml_node value = firstTextNode(child);
    if (!value)
        value = child.append_child(pugi::node_pcdata);
    return value && value.set_value(text.toUtf8().constData());
}

bool SetAttributeNumber(pugi::xml_node node, const char* name, long long value)
{
    pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute)
        attribute = node.append_attribute(name);
    return attribute && attribute.set_value(value);
}

bool RemoveChild(pugi::xml_node node, const char* name)
{
    pugi::xml_node child = node.child(name);
    return child && node.remove_child(child);
}

bool RemoveAttribute(pugi::xml_node node, const char* name)
{
    pugi::xml_attribute attribute = node.attribute(name);
    return attribute && node.remove_attribute(attribute);
}

QString ChildText(pugi::xml_node node, const char* name)
{
    return QString::fromUtf8(node.child_value(name));
}

QString XmlToText(const pugi::xml_document& document)
{
    Utf16Writer writer;
    document.save(writer, "", pugi::format_default, pugi::encoding_utf16_le);
    return writer.text();
}

bool ParseLayerXml(pugi::xml_document& document, const void* text, size_t bytes)
{
    if (!text)
        return false;
    // Never trust the reported size alone to hold a terminator.
    const auto* units = static_cast<const char16_t*>(text);
    size_t count = 0;
    while (count < bytes / 2 && units[count] != u'\0')
        ++count;
    const pugi::xml_parse_result result =
        document.load_buffer(text, count * 2, pugi::parse_default, count >= 1 && units[0] == 0xFEFF ? pugi::encoding_auto : pugi::encoding_utf16_le);
    return bool(result);
}

uint64_t ParseDecimal(const char* text)
{
    if (!text)
        return 0;
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n')
        ++text;
    uint64_t value = 0;
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    for (; *text >= '0' && *text <= '9'; ++text) {
        const uint64_t digit = uint64_t(*text - '0');
        if (value > (kMax - digit) / 10)
            return kMax;
        value = value * 10 + digit;
    }
    return value;
}
