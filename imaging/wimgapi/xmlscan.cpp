// SPDX-License-Identifier: GPL-3.0-or-later
#include "xmlscan.h"

namespace wimgapi {

namespace {

bool isNameChar(char c)
{
    return c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '>' && c != '/' && c != '=';
}

// Position just past the markup that starts at `pos` ('<'), or npos.
size_t skipMarkup(std::string_view t, size_t pos, size_t to)
{
    auto ends = [&](std::string_view prefix, std::string_view terminator) -> size_t {
        if (t.compare(pos, prefix.size(), prefix) != 0)
            return std::string_view::npos - 1;
        const size_t e = t.find(terminator, pos + prefix.size());
        return e == std::string_view::npos || e + terminator.size() > to ? std::string_view::npos
                                                                          : e + terminator.size();
    };
    for (auto [prefix, terminator] : {std::pair{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}}) {
        const size_t r = ends(prefix, terminator);
        if (r != std::string_view::npos - 1)
            return r;
    }
    // A tag (or declaration): find the '>' outside quoted attribute values.
    char quote = 0;
    for (size_t i = pos + 1; i < to; ++i) {
        const char c = t[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

} // namespace

std::optional<std::vector<XmlElement>> ScanElements(std::string_view t, size_t from, size_t to)
{
    std::vector<XmlElement> out;
    std::vector<XmlElement> stack;
    size_t pos = from;
    while (true) {
        pos = t.find('<', pos);
        if (pos == std::string_view::npos || pos >= to)
            break;
        const size_t next = skipMarkup(t, pos, to);
        if (next == std::string_view::npos)
            return std::nullopt;
        const char kind = pos + 1 < to ? t[pos + 1] : 0;
        if (kind == '!' || kind == '?') {
            pos = next;
            continue;
        }
        if (kind == '/') {
            size_t n = pos + 2;
            while (n < next && isNameChar(t[n]))
                ++n;
            const std::string_view name = t.substr(pos + 2, n - pos - 2);
            if (stack.empty() || stack.back().name != name)
                return std::nullopt;
            XmlElement e = std::move(stack.back());
            stack.pop_back();
            e.closeBegin = pos;
            e.end = next;
            if (stack.empty())
                out.push_back(std::move(e));
            pos = next;
            continue;
        }
        size_t n = pos + 1;
        while (n < next && isNameChar(t[n]))
            ++n;
        XmlElement e;
        e.name = std::string(t.substr(pos + 1, n - pos - 1));
        if (e.name.empty())
            return std::nullopt;
        e.begin = pos;
        e.openEnd = next;
        if (t[next - 2] == '/') {
            e.closeBegin = next;
            e.end = next;
            if (stack.empty())
                out.push_back(std::move(e));
        } else {
            stack.push_back(std::move(e));
        }
        pos = next;
    }
    if (!stack.empty())
        return std::nullopt;
    return out;
}

std::optional<std::string> AttributeValue(std::string_view tag, std::string_view name)
{
    size_t pos = 0;
    while ((pos = tag.find(name, pos)) != std::string_view::npos) {
        const bool startsWord = pos > 0 && (tag[pos - 1] == ' ' || tag[pos - 1] == '\t' || tag[pos - 1] == '\n' ||
                                            tag[pos - 1] == '\r');
        size_t i = pos + name.size();
        while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t' || tag[i] == '\r' || tag[i] == '\n'))
            ++i;
        if (startsWord && i < tag.size() && tag[i] == '=') {
            ++i;
            while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t' || tag[i] == '\r' || tag[i] == '\n'))
                ++i;
            if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
                const size_t close = tag.find(tag[i], i + 1);
                if (close != std::string_view::npos)
                    return std::string(tag.substr(i + 1, close - i - 1));
            }
            return std::nullopt;
        }
        pos += name.size();
    }
    return std::nullopt;
}

bool ValidReferences(std::string_view t)
{
    for (size_t i = 0; i < t.size(); ++i) {
        if (t.compare(i, 4, "<!--") == 0 || t.compare(i, 9, "<![CDATA[") == 0) {
            const size_t e = t.find(t[i + 2] == '-' ? "-->" : "]]>", i);
            if (e == std::string_view::npos)
                return false;
            i = e + 2;
            continue;
        }
        if (t[i] != '&')
            continue;
        const size_t semi = t.find(';', i);
        if (semi == std::string_view::npos || semi - i > 12)
            return false;
        const std::string_view ref = t.substr(i + 1, semi - i - 1);
        bool ok = ref == "amp" || ref == "lt" || ref == "gt" || ref == "quot" || ref == "apos";
        if (!ok && ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            ok = !digits.empty() &&
                 digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") == std::string_view::npos;
        }
        if (!ok)
            return false;
        i = semi;
    }
    return true;
}

std::string EscapeXmlText(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace wimgapi
