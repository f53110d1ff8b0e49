// SPDX-License-Identifier: GPL-3.0-or-later
// The imaging layer's XML scanner reads the XML of any image file it opens
// and every element text a caller hands it. Each element it reports must lie
// inside the range scanned, in order, with its start tag before its end tag,
// and scanning inside an element must agree with what was found there.
#include "xmlscan.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// A broken promise of the reader under test is a finding like a crash.
#define check(ok) \
    ((ok) ? void() : (std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #ok), std::abort()))

using namespace wimgapi;

namespace {


void scan(std::string_view text, size_t from, size_t to, int depth)
{
    const auto elements = ScanElements(text, from, to);
    if (!elements || depth > 64)
        return;
    size_t last = from;
    for (const XmlElement& e : *elements) {
        check(last <= e.begin && e.begin < e.openEnd && e.openEnd <= e.closeBegin && e.closeBegin <= e.end &&
              e.end <= to && !e.name.empty());
        check(text[e.begin] == '<' && text[e.openEnd - 1] == '>' && text[e.end - 1] == '>');
        last = e.end;
        const std::string_view tag = text.substr(e.begin, e.openEnd - e.begin);
        for (std::string_view name : {"INDEX", "xml:space", "a"}) {
            if (const auto value = AttributeValue(tag, name))
                check(value->size() < tag.size());
        }
        // What is inside a well-formed element is itself well formed.
        check(ScanElements(text, e.openEnd, e.closeBegin).has_value());
        scan(text, e.openEnd, e.closeBegin, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    scan(text, 0, text.size(), 0);
    // A range that stops short of the end must not be read past.
    if (size > 1)
        scan(text, size / 3, size - size / 4, 0);
    (void)ValidReferences(text);
    const std::string escaped = EscapeXmlText(text);
    check(escaped.find('<') == std::string::npos && escaped.find('>') == std::string::npos);
    check(ValidReferences(escaped) || text.find('&') != std::string_view::npos);
    return 0;
}
