// SPDX-License-Identifier: GPL-3.0-or-later
// Image information: reading the XML of a file and of an image, and storing
// an image's XML so that it survives later writes by wimlib.
#include "wimtestsupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <cstring>

using namespace wimtest;

namespace {

std::u16string takeText(void* text, DWORD bytes)
{
    const auto* units = static_cast<const char16_t*>(text);
    std::u16string out(units, bytes / 2);
    EXPECT_EQ(units[bytes / 2], u'\0'); // zero-terminated beyond the count
    std::free(text);
    return out;
}

std::string getInfo(HANDLE h)
{
    void* text = nullptr;
    DWORD bytes = 0;
    if (!WIMGetImageInformation(h, &text, &bytes))
        return "<failed>";
    const std::u16string t = takeText(text, bytes);
    EXPECT_EQ(t[0], u'\uFEFF');
    return S(t.substr(1).c_str());
}

bool setInfo(HANDLE image, const std::string& xml)
{
    const std::u16string text = U(xml);
    return WIMSetImageInformation(image, text.c_str(), static_cast<DWORD>(text.size() * 2));
}

class XmlTest : public SampleTreeTest {
protected:
    const char* wimName() const override { return "info.wim"; }
};

TEST_F(XmlTest, FileHandleGivesTheDocumentImageHandleItsElement)
{
    Handle file = OpenRead(wim);
    const std::string doc = getInfo(file.get());
    EXPECT_EQ(doc.rfind("<WIM>", 0), 0u) << doc;
    EXPECT_NE(doc.find("<IMAGE INDEX=\"2\">"), std::string::npos);
    EXPECT_NE(doc.find("<TOTALBYTES>"), std::string::npos);
    Handle image(WIMLoadImage(file.get(), 2));
    const std::string element = getInfo(image.get());
    EXPECT_EQ(element.rfind("<IMAGE INDEX=\"2\">", 0), 0u) << element;
    EXPECT_EQ(element.substr(element.size() - 8), "</IMAGE>");
    EXPECT_NE(doc.find(element), std::string::npos);
}

TEST_F(XmlTest, PrivateElementSurvivesLaterWrites)
{
    const std::string kestrel =
        "<KESTREL VERSION=\"1\" mode=\"rw\"><MOUNTPATH>/mnt/x</MOUNTPATH><MOUNTRW/><ICON></ICON></KESTREL>";
    {
        Handle file = OpenWrite(wim, WIM_OPEN_EXISTING);
        Handle image(WIMLoadImage(file.get(), 1));
        std::string element = getInfo(image.get());
        const size_t close = element.rfind("</IMAGE>");
        element.insert(close, "<NAME>名称</NAME><DESCRIPTION>d &amp; e</DESCRIPTION>" + kestrel);
        ASSERT_TRUE(setInfo(image.get(), "<?xml version=\"1.0\"?>\n" + element)) << strerror(errno);
        EXPECT_NE(getInfo(image.get()).find(kestrel), std::string::npos);
    }
    EXPECT_TRUE(WimVerify(wim));
    // wimlib reads the new name, and keeps the element through an append,
    // a boot index change and a deletion.
    EXPECT_NE(RunOutput("wimlib-imagex info " + Quote(wim) + " 1").find("名称"), std::string::npos);
    {
        Handle file = OpenWrite(wim, WIM_OPEN_EXISTING);
        Handle image(WIMCaptureImage(file.get(), U(tree).c_str(), 0));
        ASSERT_TRUE(image);
        ASSERT_TRUE(WIMSetBootImage(file.get(), 1));
        ASSERT_TRUE(WIMDeleteImage(file.get(), 2));
    }
    ASSERT_EQ(RunCommand("wimlib-imagex info " + Quote(wim) + " 1 --image-property DISPLAYNAME=Shown"), 0);
    EXPECT_TRUE(WimVerify(wim));
    Handle file = OpenRead(wim);
    Handle image(WIMLoadImage(file.get(), 1));
    const std::string after = getInfo(image.get());
    EXPECT_NE(after.find("<KESTREL VERSION=\"1\" mode=\"rw\">"), std::string::npos) << after;
    EXPECT_NE(after.find("<MOUNTPATH>/mnt/x</MOUNTPATH>"), std::string::npos) << after;
    EXPECT_NE(after.find("<MOUNTRW"), std::string::npos) << after;
    EXPECT_NE(after.find("<ICON"), std::string::npos) << after;
    EXPECT_NE(after.find("<DISPLAYNAME>Shown</DISPLAYNAME>"), std::string::npos) << after;
}

TEST_F(XmlTest, RefusedTextLeavesTheFileAsItWas)
{
    const std::string before = ReadFile(wim);
    struct Case {
        const char* name;
        std::string xml;
        DWORD access;
        int error;
    };
    const Case cases[] = {
        {"not xml", "hello", WIM_GENERIC_READ | WIM_GENERIC_WRITE, EINVAL},
        {"unbalanced", "<IMAGE INDEX=\"1\"><NAME>x</IMAGE>", WIM_GENERIC_READ | WIM_GENERIC_WRITE, EINVAL},
        {"two elements", "<IMAGE/><IMAGE/>", WIM_GENERIC_READ | WIM_GENERIC_WRITE, EINVAL},
        {"other root", "<WIM><IMAGE/></WIM>", WIM_GENERIC_READ | WIM_GENERIC_WRITE, EINVAL},
        {"bad entity", "<IMAGE INDEX=\"1\"><NAME>a & b</NAME></IMAGE>", WIM_GENERIC_READ | WIM_GENERIC_WRITE, EINVAL},
        {"read only", "<IMAGE INDEX=\"1\"/>", WIM_GENERIC_READ, EACCES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Handle file(WIMCreateFile(U(wim).c_str(), c.access, WIM_OPEN_EXISTING, 0, 0, nullptr));
        Handle image(WIMLoadImage(file.get(), 1));
        errno = 0;
        EXPECT_FALSE(setInfo(image.get(), c.xml));
        EXPECT_EQ(errno, c.error);
        EXPECT_EQ(WIMGetImageCount(file.get()), 2u);
    }
    EXPECT_EQ(ReadFile(wim), before);
    EXPECT_TRUE(WimVerify(wim));
}

TEST_F(XmlTest, ShortWriteOfTheNewXmlLeavesTheFileAsItWas)
{
    // A file size limit just above the file stands in for a full disk: the
    // appended document is cut short and the header must stay as it was.
    const std::string before = ReadFile(wim);
    Handle file = OpenWrite(wim, WIM_OPEN_EXISTING);
    Handle image(WIMLoadImage(file.get(), 1));
    ASSERT_TRUE(image);
    struct rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = old;
    tight.rlim_cur = before.size() + 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    errno = 0;
    const bool stored = setInfo(image.get(), "<IMAGE INDEX=\"1\"><NAME>" + std::string(2000, 'x') + "</NAME></IMAGE>");
    const int error = errno;
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(stored);
    EXPECT_NE(error, 0);
    EXPECT_EQ(getInfo(image.get()).find("xxxx"), std::string::npos);
    image.reset();
    file.reset();
    EXPECT_TRUE(ReadFile(wim) == before) << "the file was changed";
    EXPECT_TRUE(WimVerify(wim));
}

} // namespace
