// SPDX-License-Identifier: GPL-3.0-or-later
// The private element and the XML building blocks, on documents in memory.
#include "metadata/imagemetadata.h"
#include "metadata/mountsettings.h"
#include "metadata/xmlnodes.h"

#include "qtprint.h"

#include <gtest/gtest.h>

namespace {

pugi::xml_node load(pugi::xml_document& document, const char* xml)
{
    EXPECT_TRUE(document.load_string(xml)) << xml;
    return document.child("IMAGE");
}

TEST(XmlToText, DeclarationOneElementALineNoIndentNoBom)
{
    pugi::xml_document document;
    pugi::xml_node image = load(document, "<IMAGE INDEX=\"1\"><NAME>n</NAME><WINDOWS><ARCH>9</ARCH></WINDOWS></IMAGE>");
    SetChildText(image, "DESCRIPTION", QStringLiteral("说明 & <x>"));
    const QString text = XmlToText(document);
    EXPECT_EQ(text, QStringLiteral("<?xml version=\"1.0\"?>\n<IMAGE INDEX=\"1\">\n<NAME>n</NAME>\n<WINDOWS>\n"
                                   "<ARCH>9</ARCH>\n</WINDOWS>\n<DESCRIPTION>说明 &amp; &lt;x&gt;</DESCRIPTION>\n"
                                   "</IMAGE>\n"));
}

TEST(XmlNodes, SetRemoveAndTextNodes)
{
    pugi::xml_document document;
    pugi::xml_node image = load(document, "<IMAGE><NAME><![CDATA[old]]></NAME><EMPTY/></IMAGE>");
    ASSERT_TRUE(SetChildText(image, "NAME", QStringLiteral("new")));
    ASSERT_TRUE(SetChildText(image, "EMPTY", QStringLiteral("filled")));
    ASSERT_TRUE(SetChildText(image, "ADDED", QString()));
    EXPECT_EQ(ChildText(image, "NAME"), QStringLiteral("new"));
    EXPECT_EQ(image.child("NAME").first_child().type(), pugi::node_cdata);
    EXPECT_EQ(ChildText(image, "EMPTY"), QStringLiteral("filled"));
    EXPECT_TRUE(image.child("ADDED"));

    ASSERT_TRUE(SetAttributeNumber(image, "A", 5));
    ASSERT_TRUE(SetAttributeNumber(image, "B", -2));
    ASSERT_TRUE(SetAttributeNumber(image, "A", 7));
    EXPECT_STREQ(image.first_attribute().name(), "A");
    EXPECT_STREQ(image.first_attribute().value(), "7");
    EXPECT_STREQ(image.attribute("B").value(), "-2");

    EXPECT_TRUE(RemoveChild(image, "NAME"));
    EXPECT_FALSE(RemoveChild(image, "NAME"));
    EXPECT_TRUE(RemoveAttribute(image, "A"));
    EXPECT_FALSE(RemoveAttribute(image, "A"));
}

TEST(MountElement, WrittenInOrderBesideAnExistingIcon)
{
    pugi::xml_document document;
    pugi::xml_node image = load(document, "<IMAGE><NAME>n</NAME><KESTREL><ICON>V9qM</ICON></KESTREL></IMAGE>");
    MOUNTSETTINGS s;
    s.MountId = 2;
    s.MountRW = 1;
    s.Commit = 1;
    s.MountPath = QStringLiteral("/mnt/w");
    s.MountRunCmd = QStringLiteral("%MountDir%/run.sh");
    ASSERT_TRUE(WriteMountElement(image, s));
    const pugi::xml_node k = image.child("KESTREL");
    QStringList attributes;
    for (pugi::xml_attribute a = k.first_attribute(); a; a = a.next_attribute())
        attributes << QString::fromUtf8(a.name()) + u'=' + QString::fromUtf8(a.value());
    EXPECT_EQ(attributes, QStringList({QStringLiteral("MOUNTID=2"), QStringLiteral("MOUNTRW=1"),
                                       QStringLiteral("AUTOUNMOUNT=0"), QStringLiteral("COMMIT=1"),
                                       QStringLiteral("CLEARDIR=0")}));
    QStringList children;
    for (pugi::xml_node c = k.first_child(); c; c = c.next_sibling())
        children << QString::fromUtf8(c.name());
    EXPECT_EQ(children, QStringList({QStringLiteral("ICON"), QStringLiteral("MOUNTPATH"), QStringLiteral("MOUNTRUNCMD"),
                                     QStringLiteral("UNMOUNTRUNCMD")}));
    EXPECT_EQ(ChildText(k, "ICON"), QStringLiteral("V9qM"));

    MOUNTSETTINGS back;
    ReadMountElement(image, 3, back);
    EXPECT_EQ(back.MountId, 2u);
    EXPECT_EQ(back.MountRW, 1u);
    EXPECT_EQ(back.AutoUnmount, 0u);
    EXPECT_EQ(back.Commit, 1u);
    EXPECT_EQ(back.MountPath, s.MountPath);
    EXPECT_EQ(back.MountRunCmd, s.MountRunCmd);
    EXPECT_TRUE(back.UnmountRunCmd.isEmpty());

    ASSERT_TRUE(ClearMountElement(image));
    EXPECT_FALSE(k.first_attribute());
    EXPECT_EQ(k.first_child(), k.last_child());
    EXPECT_STREQ(k.first_child().name(), "ICON");
}

TEST(MountElement, ReadsElementsWrittenElsewhere)
{
    const struct {
        const char* xml;
        uint32_t count;
        uint32_t mountId;
        uint32_t rw;
    } cases[] = {
        {"<IMAGE><KESTREL MOUNTRW=\"true\"/></IMAGE>", 3, 1, 1},
        {"<IMAGE><KESTREL MOUNTRW=\"Yes\" MOUNTID=\"2\"/></IMAGE>", 3, 2, 1},
        {"<IMAGE><KESTREL MOUNTRW=\"1\"/></IMAGE>", 3, 1, 1},
        {"<IMAGE><KESTREL MOUNTRW=\"2\"/></IMAGE>", 3, 1, 0},
        {"<IMAGE><KESTREL MOUNTRW=\"no\"/></IMAGE>", 3, 1, 0},
        {"<IMAGE><KESTREL/></IMAGE>", 3, 1, 0},
        {"<IMAGE><KESTREL MOUNTID=\"7\"/></IMAGE>", 3, 3, 0},
        {"<IMAGE><KESTREL MOUNTID=\"-4\"/></IMAGE>", 3, 1, 0},
        {"<IMAGE><KESTREL MOUNTID=\"0\"/></IMAGE>", 3, 0, 0},
        {"<IMAGE><kestrel MOUNTID=\"2\" MOUNTRW=\"1\"/></IMAGE>", 3, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        pugi::xml_document document;
        MOUNTSETTINGS s;
        ReadMountElement(load(document, c.xml), c.count, s);
        EXPECT_EQ(s.MountId, c.mountId);
        EXPECT_EQ(s.MountRW, c.rw);
    }

    pugi::xml_document document;
    const QByteArray xml = "<IMAGE><KESTREL><UNMOUNTRUNCMD>u</UNMOUNTRUNCMD><MOUNTPATH></MOUNTPATH><MOUNTRUNCMD>" +
                           QByteArray(600, 'c') + "</MOUNTRUNCMD></KESTREL></IMAGE>";
    MOUNTSETTINGS s;
    s.MountPath = QStringLiteral("kept when the stored one is empty");
    ReadMountElement(load(document, xml.constData()), 1, s);
    EXPECT_EQ(s.UnmountRunCmd, QStringLiteral("u"));
    EXPECT_EQ(s.MountPath, QStringLiteral("kept when the stored one is empty"));
    EXPECT_EQ(s.MountRunCmd, QString(511, u'c'));
}

TEST(MetadataEdit, OnlyNonEmptyFieldsChange)
{
    pugi::xml_document document;
    pugi::xml_node image = load(document, "<IMAGE><NAME>n</NAME><DESCRIPTION>d</DESCRIPTION><FLAGS>f</FLAGS></IMAGE>");
    IMAGEMETADATAEDIT edit;
    edit.Description = QStringLiteral("new description");
    edit.DisplayName = QString(600, u'x');
    ASSERT_TRUE(ApplyMetadataEdit(image, edit));
    EXPECT_EQ(ChildText(image, "NAME"), QStringLiteral("n"));
    EXPECT_EQ(ChildText(image, "DESCRIPTION"), QStringLiteral("new description"));
    EXPECT_EQ(ChildText(image, "FLAGS"), QStringLiteral("f"));
    EXPECT_EQ(ChildText(image, "DISPLAYNAME"), QString(511, u'x'));
    EXPECT_FALSE(image.child("DISPLAYDESCRIPTION"));
}

} // namespace
