// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/iconcodec.h"

#include <array>

namespace {

// Character value in the alphabet, -1 for anything else.
constexpr std::array<int8_t, 128> makeValues()
{
    std::array<int8_t, 128> values{};
    for (auto& v : values)
        v = -1;
    for (int i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(kIconAlphabet[i])] = static_cast<int8_t>(i);
    return values;
}

constexpr std::array<int8_t, 128> kValues = makeValues();

int valueOf(char16_t c)
{
    return c < 128 ? kValues[c] : -1;
}

} // namespace

QString EncodeIconText(const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype count = bytes.size();
    QString text;
    text.reserve((count + 2) / 3 * 4);
    qsizetype i = 0;
    for (; i + 3 <= count; i += 3) {
        const uint32_t n = data[i] | (data[i + 1] << 8) | (data[i + 2] << 16);
        for (int shift = 0; shift < 24; shift += 6)
            text += QLatin1Char(kIconAlphabet[(n >> shift) & 63]);
    }
    const qsizetype rest = count - i;
    if (rest == 2) {
        const uint32_t n = data[i] | (data[i + 1] << 8);
        text += QLatin1Char(kIconAlphabet[n & 63]);
        text += QLatin1Char(kIconAlphabet[(n >> 6) & 63]);
        text += QLatin1Char(kIconAlphabet[(n >> 12) & 15]);
        text += u'=';
    } else if (rest == 1) {
        const uint32_t n = data[i];
        text += QLatin1Char(kIconAlphabet[n & 63]);
        text += QLatin1Char(kIconAlphabet[(n >> 6) & 3]);
        text += QStringLiteral("==");
    }
    return text;
}

std::optional<QByteArray> DecodeIconText(QStringView text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (qsizetype g = 0; g < text.size(); g += 4) {
        const bool last = g + 4 == text.size();
        // A group carries 4 characters, or 3 and "=", or 2 and "=="; only the
        // last group may be short.
        int chars = 4;
        if (text[g + 3] == u'=')
            chars = text[g + 2] == u'=' ? 2 : 3;
        if (chars < 4 && !last)
            return std::nullopt;
        uint32_t n = 0;
        for (int k = 0; k < chars; ++k) {
            const int v = valueOf(text[g + k].unicode());
            if (v < 0)
                return std::nullopt;
            n |= static_cast<uint32_t>(v) << (6 * k);
        }
        const int produced = chars - 1;
        for (int k = 0; k < produced; ++k)
            bytes += static_cast<char>((n >> (8 * k)) & 0xFF);
    }
    return bytes;
}
