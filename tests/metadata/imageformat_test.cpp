// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/imageformat.h"

#include "qtprint.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

TEST(FormatByteSize, UnitsAndDecimals)
{
    const struct {
        uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 Byte"},
        {1023, "1023 Byte"},
        {1024, "1 KB"},
        {1536, "1.5 KB"},
        {1048576, "1 MB"},
        {uint64_t(10.05 * 1024 * 1024 * 1024), "10.05 GB"},
        {2048ULL << 40, "2048 TB"},
        {~0ULL, "16777216 TB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatByteSize(c.bytes), QString::fromLatin1(c.text)) << c.bytes;
}

TEST(FormatElapsed, TwoDigitsEachHoursWrapAt100)
{
    EXPECT_EQ(FormatElapsed(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(FormatElapsed((3600 + 2 * 60 + 3) * 1000ULL + 999), QStringLiteral("01:02:03"));
    EXPECT_EQ(FormatElapsed(100 * 3600 * 1000ULL), QStringLiteral("00:00:00"));
    EXPECT_EQ(FormatElapsed(59 * 1000ULL + 999), QStringLiteral("00:00:59"));
}

// The expected text comes from the C library's own local-time conversion.
QString localText(time_t seconds)
{
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return QString::fromLatin1(text);
}

TEST(FormatImageTime, LocalTimeFromHexParts)
{
    // 2021-01-01 12:34:56 UTC as a FILETIME.
    const time_t seconds = 1609504496;
    const uint64_t fileTime = (uint64_t(seconds) + 11644473600ULL) * 10000000ULL + 1234567;
    const auto hex = [](uint32_t v) { return QByteArray::number(v, 16); };

    pugi::xml_document document;
    const QByteArray xml = "<T><HIGHPART>0x" + hex(uint32_t(fileTime >> 32)).toUpper() + "</HIGHPART><LOWPART>" +
                           hex(uint32_t(fileTime)) + "</LOWPART></T>";
    ASSERT_TRUE(document.load_buffer(xml.constData(), size_t(xml.size())));
    EXPECT_EQ(FormatImageTime(document.child("T")), localText(seconds));
}

TEST(FormatImageTime, MissingOrBrokenPartsReadAsZero)
{
    const time_t seconds = 1609504496;
    const uint64_t fileTime = (uint64_t(seconds) + 11644473600ULL) * 10000000ULL;
    const QByteArray high = QByteArray::number(uint32_t(fileTime >> 32), 16);
    const QByteArray low = QByteArray::number(uint32_t(fileTime), 16);
    const struct {
        QByteArray xml;
        uint64_t fileTime;
    } cases[] = {
        {"<T><HIGHPART>" + high + "</HIGHPART></T>", fileTime & 0xFFFFFFFF00000000ULL},
        {"<T><LOWPART>" + low + "</LOWPART></T>", fileTime & 0xFFFFFFFFULL},
        {"<T><HIGHPART>zz</HIGHPART><LOWPART>" + low + "</LOWPART></T>", fileTime & 0xFFFFFFFFULL},
        {"<T/>", 0},
    };
    for (const auto& c : cases) {
        pugi::xml_document document;
        ASSERT_TRUE(document.load_buffer(c.xml.constData(), size_t(c.xml.size())));
        EXPECT_EQ(FormatImageTime(document.child("T")), FormatFileTime(c.fileTime)) << c.xml.constData();
    }
    // Year 1601 is far outside what a test machine's zone could move by a day.
    EXPECT_TRUE(FormatFileTime(0).startsWith(QStringLiteral("1601-01-01")) ||
                FormatFileTime(0).startsWith(QStringLiteral("1600-12-31")));
}

} // namespace
