// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/iconcodec.h"

#include "qtprint.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

namespace {

struct CodecCase {
    QByteArray bytes;
    const char* text;
};

TEST(IconCodec, KnownVectorsBothWays)
{
    const CodecCase cases[] = {
        {QByteArray("abc"), "V9qM"},
        {QByteArray("ab"), "V96="},
        {QByteArray(3, '\0'), "0000"},
        {QByteArray(1, char(0xFF)), "z3=="},
        {QByteArray(), ""},
        {QByteArray("abcab"), "V9qMV96="},
    };
    for (const CodecCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(EncodeIconText(c.bytes), QString::fromLatin1(c.text));
        const std::optional<QByteArray> back = DecodeIconText(QString::fromLatin1(c.text));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, c.bytes);
    }
}

TEST(IconCodec, RoundTripsEveryLengthAndByteValue)
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    QRandomGenerator gen(7);
    for (int i = 0; i < 300; ++i)
        all += char(gen.bounded(256));
    for (qsizetype n = 0; n <= 10; ++n) {
        const QByteArray part = all.right(n);
        const QString text = EncodeIconText(part);
        EXPECT_EQ(text.size(), (n + 2) / 3 * 4);
        EXPECT_EQ(DecodeIconText(text), part);
    }
    EXPECT_EQ(DecodeIconText(EncodeIconText(all)), all);
}

TEST(IconCodec, RejectsMalformedText)
{
    const char* const bad[] = {
        "V9q",       // not a multiple of four
        "V9qMV",     //
        "V9q+",      // '+' is not in the alphabet
        "V9 M",      // nor is a blank
        "V96=V9qM",  // padding before the last group
        "V=6=",      // padding in the middle of a group
        "V===",      // one character cannot make a byte
        "====",
        "\xC3\xA4xyz",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(DecodeIconText(QString::fromUtf8(text)).has_value());
    }
}

} // namespace
