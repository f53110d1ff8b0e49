// SPDX-License-Identifier: GPL-3.0-or-later
#include "pendingxml.h"

#include "xmlscan.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace wimgapi {

namespace {

// The properties wimlib gives a captured image, in the order it writes them.
const char* const kCapturedProperties[] = {
    "NAME", "DESCRIPTION", "DISPLAYNAME", "DISPLAYDESCRIPTION", "FLAGS", "DIRCOUNT", "FILECOUNT", "TOTALBYTES",
    "HARDLINKBYTES", "CREATIONTIME/HIGHPART", "CREATIONTIME/LOWPART", "LASTMODIFICATIONTIME/HIGHPART",
    "LASTMODIFICATIONTIME/LOWPART", "WIMBOOT", "WINDOWS/ARCH", "WINDOWS/PRODUCTNAME", "WINDOWS/EDITIONID",
    "WINDOWS/INSTALLATIONTYPE", "WINDOWS/HAL", "WINDOWS/PRODUCTTYPE", "WINDOWS/PRODUCTSUITE",
    "WINDOWS/LANGUAGES/LANGUAGE", "WINDOWS/LANGUAGES/DEFAULT", "WINDOWS/VERSION/MAJOR", "WINDOWS/VERSION/MINOR",
    "WINDOWS/VERSION/BUILD", "WINDOWS/VERSION/SPBUILD", "WINDOWS/VERSION/SPLEVEL", "WINDOWS/SYSTEMROOT"};

struct Node {
    std::string name;
    std::string text;
    std::vector<Node> children;
};

void insert(Node& root, const std::string& path, const std::string& text)
{
    Node* at = &root;
    size_t from = 0;
    while (true) {
        const size_t slash = path.find('/', from);
        const std::string part = path.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
        const bool last = slash == std::string::npos;
        // Repeated leaves (LANGUAGE) become siblings; inner elements are shared.
        Node* child = nullptr;
        if (!last) {
            for (Node& c : at->children)
                if (c.name == part)
                    child = &c;
        }
        if (!child) {
            at->children.push_back(Node{part, {}, {}});
            child = &at->children.back();
        }
        if (last) {
            child->text = text;
            return;
        }
        at = child;
        from = slash + 1;
    }
}

void render(const Node& node, std::string& out)
{
    for (const Node& c : node.children) {
        out += "<" + c.name + ">";
        if (c.children.empty())
            out += EscapeXmlText(c.text);
        else
            render(c, out);
        out += "</" + c.name + ">";
    }
}

std::string unescape(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const size_t semi = text.find(';', i);
        if (semi == std::string_view::npos) {
            out += text[i];
            continue;
        }
        const std::string_view ref = text.substr(i + 1, semi - i - 1);
        static const std::map<std::string_view, char> named = {
            {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
        if (auto it = named.find(ref); it != named.end()) {
            out += it->second;
        } else if (ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x' || ref[1] == 'X';
            const unsigned long cp = std::strtoul(std::string(ref.substr(hex ? 2 : 1)).c_str(), nullptr, hex ? 16 : 10);
            // UTF-8 of the code point.
            if (cp < 0x80) {
                out += static_cast<char>(cp);
            } else if (cp < 0x800) {
                out += static_cast<char>(0xC0 | (cp >> 6));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                out += static_cast<char>(0xE0 | (cp >> 12));
                out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                out += static_cast<char>(0xF0 | (cp >> 18));
                out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            }
        } else {
            out += text.substr(i, semi - i + 1);
        }
        i = semi;
    }
    return out;
}

bool blank(std::string_view text)
{
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

struct Leaf {
    std::string path;
    std::string text;
};

// The leaves below an element as property paths ("A/B[2]"); false when the
// content is more than properties can say.
bool collectLeaves(std::string_view doc, const XmlElement& element, const std::string& prefix, std::vector<Leaf>& out)
{
    const auto children = ScanElements(doc, element.openEnd, element.closeBegin);
    if (!children)
        return false;
    std::map<std::string, int> seen;
    size_t gap = element.openEnd;
    for (const XmlElement& child : *children) {
        if (!blank(doc.substr(gap, child.begin - gap)))
            return false;
        gap = child.end;
        if (doc.substr(child.begin, child.openEnd - child.begin) != "<" + child.name + ">")
            return false;
        const int n = ++seen[child.name];
        const std::string path = prefix + child.name + (n > 1 ? "[" + std::to_string(n) + "]" : "");
        const auto grand = ScanElements(doc, child.openEnd, child.closeBegin);
        if (!grand)
            return false;
        if (grand->empty()) {
            const std::string_view text = doc.substr(child.openEnd, child.closeBegin - child.openEnd);
            if (text.empty() || text.find('<') != std::string_view::npos)
                return false;
            out.push_back({path, unescape(text)});
        } else if (!collectLeaves(doc, child, path + "/", out)) {
            return false;
        }
    }
    return blank(doc.substr(gap, element.closeBegin - gap));
}

// One element directly inside IMAGE: its property path and its whole text.
struct Child {
    std::string path;
    std::string text;
};

bool childrenOf(const std::string& elementText, std::vector<Child>& out)
{
    const auto top = ScanElements(elementText, 0, elementText.size());
    if (!top || top->size() != 1 || top->front().name != "IMAGE")
        return false;
    const XmlElement& image = top->front();
    // Only the image number may stand in the start tag.
    const std::string_view tag = std::string_view(elementText).substr(image.begin, image.openEnd - image.begin);
    const auto index = AttributeValue(tag, "INDEX");
    const std::string plain = index ? "<IMAGE INDEX=\"" + *index + "\">" : "<IMAGE>";
    if (tag != plain)
        return false;
    const auto children = ScanElements(elementText, image.openEnd, image.closeBegin);
    if (!children)
        return false;
    std::map<std::string, int> seen;
    for (const XmlElement& child : *children) {
        const int n = ++seen[child.name];
        out.push_back({child.name + (n > 1 ? "[" + std::to_string(n) + "]" : ""),
                       elementText.substr(child.begin, child.end - child.begin)});
    }
    return true;
}

// The leaves of one child element (given as its own text) as property paths.
bool leavesOfChild(const std::string& text, const std::string& path, std::vector<Leaf>& out)
{
    const auto top = ScanElements(text, 0, text.size());
    if (!top || top->size() != 1)
        return false;
    const XmlElement& el = top->front();
    if (std::string_view(text).substr(el.begin, el.openEnd - el.begin) != "<" + el.name + ">")
        return false;
    const auto inner = ScanElements(text, el.openEnd, el.closeBegin);
    if (!inner)
        return false;
    if (inner->empty()) {
        const std::string_view value = std::string_view(text).substr(el.openEnd, el.closeBegin - el.openEnd);
        if (value.empty() || value.find('<') != std::string_view::npos)
            return false;
        out.push_back({path, unescape(value)});
        return true;
    }
    return collectLeaves(text, el, path + "/", out);
}

} // namespace

std::string CapturedImageElement(const WIMStruct* wim, int index)
{
    Node root;
    for (const char* property : kCapturedProperties) {
        if (std::strcmp(property, "WINDOWS/LANGUAGES/LANGUAGE") == 0) {
            for (int n = 1;; ++n) {
                const std::string path = std::string(property) + "[" + std::to_string(n) + "]";
                const char* value = wimlib_get_image_property(wim, index, path.c_str());
                if (!value)
                    break;
                insert(root, property, value);
            }
            continue;
        }
        if (const char* value = wimlib_get_image_property(wim, index, property))
            insert(root, property, value);
    }
    std::string out = "<IMAGE INDEX=\"" + std::to_string(index) + "\">";
    render(root, out);
    return out + "</IMAGE>";
}

bool ApplyImageElement(WIMStruct* wim, int index, const std::string& current, const std::string& given)
{
    std::vector<Child> before, after;
    if (!childrenOf(given, after) || !childrenOf(current, before))
        return false;
    bool complete = true;
    auto find = [](const std::vector<Child>& list, const std::string& path) -> const Child* {
        for (const Child& c : list)
            if (c.path == path)
                return &c;
        return nullptr;
    };
    // Whole elements that went, removed from the end so that a numbered
    // sibling still names the element it named when the list was made.
    for (auto it = before.rbegin(); it != before.rend(); ++it) {
        if (!find(after, it->path) && wimlib_set_image_property(wim, index, it->path.c_str(), nullptr) != 0)
            complete = false;
    }
    for (const Child& wanted : after) {
        const Child* had = find(before, wanted.path);
        if (had && had->text == wanted.text)
            continue;
        std::vector<Leaf> newLeaves, oldLeaves;
        if (!leavesOfChild(wanted.text, wanted.path, newLeaves) || (had && !leavesOfChild(had->text, had->path, oldLeaves))) {
            complete = false;
            continue;
        }
        std::map<std::string, std::string> keep;
        for (const Leaf& l : newLeaves)
            keep[l.path] = l.text;
        for (auto it = oldLeaves.rbegin(); it != oldLeaves.rend(); ++it) {
            if (!keep.count(it->path) && wimlib_set_image_property(wim, index, it->path.c_str(), nullptr) != 0)
                complete = false;
        }
        for (const Leaf& l : newLeaves) {
            const char* now = wimlib_get_image_property(wim, index, l.path.c_str());
            if (now && l.text == now)
                continue;
            if (wimlib_set_image_property(wim, index, l.path.c_str(), l.text.c_str()) != 0)
                complete = false;
        }
    }
    return complete;
}

} // namespace wimgapi
