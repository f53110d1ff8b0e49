// SPDX-License-Identifier: GPL-3.0-or-later
// The XML of whole image files as the imaging layer hands it out, read into
// the records the pages print.
#include "metadata/imagefileinfo.h"
#include "metadata/imageformat.h"

#include "qtprint.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// UTF-16LE with a byte order mark, as the layer returns it.
QByteArray layerText(const QString& xml)
{
    const QString text = QChar(0xFEFF) + xml;
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

bool parse(const QString& xml, WIMFILEINFO& file, std::vector<WIMIMAGEINFO>& images)
{
    const QByteArray bytes = layerText(xml);
    return ParseImageInfoXml(bytes.constData(), size_t(bytes.size()), file, images);
}

TEST(ReadImageInfoXml, FullImageFillsEveryField)
{
    const QString xml = QStringLiteral(
        "<WIM><TOTALBYTES>123456789</TOTALBYTES>"
        "<IMAGE INDEX=\"1\"><DIRCOUNT>12</DIRCOUNT><FILECOUNT>34</FILECOUNT><TOTALBYTES>1536</TOTALBYTES>"
        "<CREATIONTIME><HIGHPART>0x01D6E04C</HIGHPART><LOWPART>0x5A9E3400</LOWPART></CREATIONTIME>"
        "<LASTMODIFICATIONTIME><HIGHPART>0x01D6E04D</HIGHPART><LOWPART>0x00000000</LOWPART></LASTMODIFICATIONTIME>"
        "<WINDOWS><ARCH>9</ARCH><VERSION><MAJOR>10</MAJOR><MINOR>0</MINOR><BUILD>19041</BUILD><SPBUILD>1</SPBUILD>"
        "</VERSION><LANGUAGES><LANGUAGE>en-US</LANGUAGE><LANGUAGE>zh-CN</LANGUAGE><DEFAULT>zh-CN</DEFAULT>"
        "</LANGUAGES></WINDOWS>"
        "<NAME>系统</NAME><DESCRIPTION>说明</DESCRIPTION><DISPLAYNAME>DN</DISPLAYNAME>"
        "<DISPLAYDESCRIPTION>DD</DISPLAYDESCRIPTION><FLAGS>Professional</FLAGS></IMAGE></WIM>");
    WIMFILEINFO file;
    std::vector<WIMIMAGEINFO> images(1);
    ASSERT_TRUE(parse(xml, file, images));
    EXPECT_EQ(file.TotalBytes, 123456789u);
    const WIMIMAGEINFO& i = images[0];
    EXPECT_EQ(i.Name, QStringLiteral("系统"));
    EXPECT_EQ(i.Description, QStringLiteral("说明"));
    EXPECT_EQ(i.DisplayName, QStringLiteral("DN"));
    EXPECT_EQ(i.DisplayDescription, QStringLiteral("DD"));
    EXPECT_EQ(i.Flags, QStringLiteral("Professional"));
    EXPECT_EQ(i.SizeText, QStringLiteral("1.5 KB"));
    EXPECT_EQ(i.DirCountText, QStringLiteral("12"));
    EXPECT_EQ(i.DirCount, 12u);
    EXPECT_EQ(i.FileCountText, QStringLiteral("34"));
    EXPECT_EQ(i.FileCount, 34u);
    EXPECT_EQ(i.CreationTimeText, FormatFileTime(0x01D6E04C5A9E3400ULL));
    EXPECT_EQ(i.ModificationTimeText, FormatFileTime(0x01D6E04D00000000ULL));
    EXPECT_FALSE(i.CreationTimeText.isEmpty());
    EXPECT_EQ(i.ArchText, QStringLiteral("Windows x64"));
    EXPECT_EQ(i.VersionText, QStringLiteral("10.0.19041.1"));
    EXPECT_EQ(i.DefaultLanguage, QStringLiteral("zh-CN"));
}

struct ImageCase {
    const char* what;
    QString images;    // IMAGE elements inside WIM
    int entries;       // array size
    QStringList names; // expected Name of each entry
};

TEST(ReadImageInfoXml, ImagesLandByIndexAndNeverOutsideTheArray)
{
    const ImageCase cases[] = {
        {"no INDEX and INDEX 0 are skipped",
         QStringLiteral("<IMAGE><NAME>none</NAME></IMAGE><IMAGE INDEX=\"0\"><NAME>zero</NAME></IMAGE>"
                        "<IMAGE INDEX=\"x\"><NAME>word</NAME></IMAGE><IMAGE INDEX=\"2\"><NAME>two</NAME></IMAGE>"),
         2, {QString(), QStringLiteral("two")}},
        {"out of order",
         QStringLiteral("<IMAGE INDEX=\"3\"><NAME>c</NAME></IMAGE><IMAGE INDEX=\"1\"><NAME>a</NAME></IMAGE>"
                        "<IMAGE INDEX=\"2\"><NAME>b</NAME></IMAGE>"),
         3, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}},
        {"INDEX beyond the array",
         QStringLiteral("<IMAGE INDEX=\"1\"><NAME>a</NAME></IMAGE><IMAGE INDEX=\"2\"><NAME>b</NAME></IMAGE>"
                        "<IMAGE INDEX=\"4294967297\"><NAME>huge</NAME></IMAGE>"),
         1, {QStringLiteral("a")}},
        {"other root children and lower-case names are not images",
         QStringLiteral("<image INDEX=\"1\"><NAME>lower</NAME></image><IMAGE INDEX=\"1\"><name>x</name>"
                        "<NAME>real</NAME><NAME>second</NAME></IMAGE>"),
         1, {QStringLiteral("real")}},
    };
    for (const ImageCase& c : cases) {
        SCOPED_TRACE(c.what);
        WIMFILEINFO file;
        std::vector<WIMIMAGEINFO> images(size_t(c.entries));
        ASSERT_TRUE(parse(QStringLiteral("<WIM>") + c.images + QStringLiteral("</WIM>"), file, images));
        ASSERT_EQ(images.size(), size_t(c.names.size()));
        for (qsizetype k = 0; k < c.names.size(); ++k)
            EXPECT_EQ(images[size_t(k)].Name, c.names[k]) << k;
    }
}

TEST(ReadImageInfoXml, WindowsDetails)
{
    const struct {
        const char* windows;
        const char* arch;
        const char* version;
        const char* language;
    } cases[] = {
        {"<ARCH>0</ARCH>", "Windows x86", "", ""},
        {"<ARCH>5</ARCH>", "Windows x86", "", ""},
        {"<ARCH>9</ARCH>", "Windows x64", "", ""},
        {"<ARCH>12</ARCH>", "Windows x86", "", ""},
        {"<ARCH></ARCH>", "Windows x86", "", ""},
        {"<VERSION><A>1</A><B>2</B><C>3</C><D>4</D><E>5</E></VERSION>", "", "1.2.3.4.5", ""},
        {"<VERSION><A>1</A><B/><C>3</C></VERSION>", "", "1..3", ""},
        {"<LANGUAGES><LANGUAGE>de-DE</LANGUAGE><LANGUAGE>fr-FR</LANGUAGE></LANGUAGES>", "", "", "de-DE"},
        {"<LANGUAGES><DEFAULT>fr-FR</DEFAULT><LANGUAGE>de-DE</LANGUAGE></LANGUAGES>", "", "", "fr-FR"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.windows);
        WIMFILEINFO file;
        std::vector<WIMIMAGEINFO> images(1);
        const QString xml = QStringLiteral("<WIM><IMAGE INDEX=\"1\"><WINDOWS>") + QString::fromUtf8(c.windows) +
                            QStringLiteral("</WINDOWS></IMAGE></WIM>");
        ASSERT_TRUE(parse(xml, file, images));
        EXPECT_EQ(images[0].ArchText, QString::fromUtf8(c.arch));
        EXPECT_EQ(images[0].VersionText, QString::fromUtf8(c.version));
        EXPECT_EQ(images[0].DefaultLanguage, QString::fromUtf8(c.language));
    }
}

TEST(ReadImageInfoXml, TextsAreCutAtTheirCapacity)
{
    const QString longName(2000, u'N');
    const QString longFlags(300, u'F');
    const QString longCount(200, u'7');
    const QString xml = QStringLiteral("<WIM><IMAGE INDEX=\"1\"><NAME>") + longName + QStringLiteral("</NAME><FLAGS>") +
                        longFlags + QStringLiteral("</FLAGS><FILECOUNT>") + longCount +
                        QStringLiteral("</FILECOUNT><WINDOWS><VERSION>") +
                        QStringLiteral("<A>%1</A>").arg(QString(200, u'9')) + QStringLiteral("</VERSION></WINDOWS></IMAGE></WIM>");
    WIMFILEINFO file;
    std::vector<WIMIMAGEINFO> images(1);
    ASSERT_TRUE(parse(xml, file, images));
    EXPECT_EQ(images[0].Name, longName.left(kInfoPathUnits - 1));
    EXPECT_EQ(images[0].Flags, longFlags.left(kInfoSmallUnits - 1));
    EXPECT_EQ(images[0].FileCountText.size(), kInfoSmallUnits - 1);
    EXPECT_EQ(images[0].FileCount, 0xFFFFFFFFu);
    EXPECT_EQ(images[0].VersionText.size(), kInfoSmallUnits - 1);
}

TEST(ReadImageInfoXml, PresentEmptyElementEmptiesAbsentOneKeeps)
{
    WIMFILEINFO file;
    std::vector<WIMIMAGEINFO> images(1);
    images[0].Name = QStringLiteral("before");
    images[0].Description = QStringLiteral("kept");
    ASSERT_TRUE(parse(QStringLiteral("<WIM><IMAGE INDEX=\"1\"><NAME/></IMAGE></WIM>"), file, images));
    EXPECT_TRUE(images[0].Name.isEmpty());
    EXPECT_EQ(images[0].Description, QStringLiteral("kept"));
    EXPECT_EQ(file.TotalBytes, 0u);
}

TEST(ReadImageInfoXml, DocumentsWithoutWimFail)
{
    const char* const bad[] = {"<IMAGES><IMAGE INDEX=\"1\"/></IMAGES>", "<WIM><IMAGE", "", "<wim/>"};
    for (const char* xml : bad) {
        SCOPED_TRACE(xml);
        WIMFILEINFO file;
        std::vector<WIMIMAGEINFO> images(1);
        EXPECT_FALSE(parse(QString::fromUtf8(xml), file, images));
        EXPECT_TRUE(images[0].Name.isEmpty());
    }
    // A size that claims more than the text holds stops at the terminator.
    const QByteArray bytes = layerText(QStringLiteral("<WIM><TOTALBYTES>5</TOTALBYTES></WIM>")) + QByteArray(2, '\0') +
                             QByteArray("garbage!");
    WIMFILEINFO file;
    std::vector<WIMIMAGEINFO> none;
    EXPECT_TRUE(ParseImageInfoXml(bytes.constData(), size_t(bytes.size()), file, none));
    EXPECT_EQ(file.TotalBytes, 5u);
}

} // namespace
