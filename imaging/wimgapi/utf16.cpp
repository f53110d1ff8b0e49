// SPDX-License-Identifier: GPL-3.0-or-later
#include "utf16.h"

namespace wimgapi {

namespace {

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string ToUtf8(const char16_t* text, size_t units)
{
    std::string out;
    if (!text)
        return out;
    out.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::string ToUtf8(const char16_t* text)
{
    if (!text)
        return {};
    size_t n = 0;
    while (text[n])
        ++n;
    return ToUtf8(text, n);
}

std::u16string ToUtf16(const std::string& text)
{
    std::u16string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        char32_t c = s[i];
        size_t len = 1;
        if (c >= 0xF0 && c < 0xF8)
            len = 4, c &= 0x07;
        else if (c >= 0xE0)
            len = c < 0xF0 ? 3 : 1, c &= 0x0F;
        else if (c >= 0xC0)
            len = 2, c &= 0x1F;
        else if (c >= 0x80)
            len = 0;
        bool ok = len > 0 && i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                c = (c << 6) | (s[i + k] & 0x3F);
        }
        // Overlong forms (an over-long zero would cut the text short),
        // encoded surrogates and values past U+10FFFF are not characters.
        static constexpr char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (c < kSmallest[len] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)))
            ok = false;
        if (!ok) {
            // Linux file names are bytes; keep a stray byte visible instead of failing.
            out += u'\uFFFD';
            ++i;
            continue;
        }
        i += len;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

void CopyUnits(char16_t* buffer, size_t units, const std::u16string& text)
{
    if (!buffer || units == 0)
        return;
    size_t n = text.size() < units - 1 ? text.size() : units - 1;
    if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] < 0xDC00)
        --n; // never leave half a surrogate pair
    text.copy(buffer, n);
    buffer[n] = 0;
}

} // namespace wimgapi
