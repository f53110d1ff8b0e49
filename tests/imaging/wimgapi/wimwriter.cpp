// SPDX-License-Identifier: GPL-3.0-or-later
// wimgapi_writer: one change of an image file through the imaging layer, in
// the order the program's callers make it, so that a test can kill it at any
// of its writes. Exit status 0 on success, else the errno of the failure.
//
//   append  WIM SOURCE NAME BOOT    capture, name, boot mark (BOOT 1/0)
//   export  SOURCE INDEX WIM NAME   export, rename, drop <KESTREL>, boot mark
//   setinfo WIM INDEX NAME          new name and description of an image
//   delete  WIM INDEX
//   boot    WIM INDEX
//   replace NEW TARGET              WIMReplaceImageFile
#include "wimgapi.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

std::u16string U(const std::string& s)
{
    return std::filesystem::path(s).u16string();
}

[[noreturn]] void fail()
{
    std::exit(errno ? errno : 1);
}

HANDLE openWrite(const std::string& path, DWORD disposition)
{
    HANDLE h = WIMCreateFile(U(path).c_str(), WIM_GENERIC_READ | WIM_GENERIC_WRITE, disposition, 0,
                             WIM_COMPRESS_XPRESS, nullptr);
    if (!h)
        fail();
    return h;
}

std::u16string information(HANDLE image)
{
    void* raw = nullptr;
    DWORD bytes = 0;
    if (!WIMGetImageInformation(image, &raw, &bytes))
        fail();
    std::u16string text(static_cast<const char16_t*>(raw), bytes / 2);
    std::free(raw);
    return text;
}

// Sets the text of a child of the IMAGE element (added when missing), the
// way the callers' XML helpers do.
void setChild(std::u16string& xml, const std::u16string& name, const std::u16string& value)
{
    const std::u16string open = u"<" + name + u">", close = u"</" + name + u">";
    const size_t at = xml.find(open);
    if (at != std::u16string::npos) {
        const size_t end = xml.find(close, at);
        xml.replace(at, end + close.size() - at, open + value + close);
    } else {
        xml.insert(xml.rfind(u"</IMAGE>"), open + value + close);
    }
}

void removeChild(std::u16string& xml, const std::u16string& name)
{
    const size_t at = xml.find(u"<" + name + u">");
    if (at == std::u16string::npos)
        return;
    const std::u16string close = u"</" + name + u">";
    xml.erase(at, xml.find(close, at) + close.size() - at);
}

void store(HANDLE image, const std::u16string& xml)
{
    if (!WIMSetImageInformation(image, xml.data(), static_cast<DWORD>(xml.size() * 2)))
        fail();
}

void close(HANDLE h)
{
    if (!WIMCloseHandle(h))
        fail();
}

} // namespace

int main(int argc, char** argv)
{
    const std::string op = argc > 1 ? argv[1] : "";
    if (op == "append" && argc == 6) {
        HANDLE file = openWrite(argv[2], WIM_OPEN_EXISTING);
        HANDLE image = WIMCaptureImage(file, U(argv[3]).c_str(), 0);
        if (!image)
            fail();
        std::u16string xml = information(image);
        setChild(xml, u"NAME", U(argv[4]));
        store(image, xml);
        if (std::strcmp(argv[5], "1") == 0 && !WIMSetBootImage(file, WIMGetImageCount(file)))
            fail();
        close(image);
        close(file);
        return 0;
    }
    if (op == "export" && argc == 6) {
        HANDLE source = WIMCreateFile(U(argv[2]).c_str(), WIM_GENERIC_READ, WIM_OPEN_EXISTING, 0, 0, nullptr);
        if (!source)
            fail();
        HANDLE from = WIMLoadImage(source, static_cast<DWORD>(std::atoi(argv[3])));
        HANDLE target = openWrite(argv[4], WIM_OPEN_ALWAYS);
        if (!from || !WIMExportImage(from, target, 0))
            fail();
        const DWORD count = WIMGetImageCount(target);
        HANDLE image = WIMLoadImage(target, count);
        if (!image)
            fail();
        std::u16string xml = information(image);
        setChild(xml, u"NAME", U(argv[5]));
        removeChild(xml, u"KESTREL");
        store(image, xml);
        close(image);
        if (!WIMSetBootImage(target, count))
            fail();
        close(from);
        close(target);
        close(source);
        return 0;
    }
    if (op == "setinfo" && argc == 5) {
        HANDLE file = openWrite(argv[2], WIM_OPEN_EXISTING);
        HANDLE image = WIMLoadImage(file, static_cast<DWORD>(std::atoi(argv[3])));
        if (!image)
            fail();
        std::u16string xml = information(image);
        setChild(xml, u"NAME", U(argv[4]));
        setChild(xml, u"DESCRIPTION", U(std::string(argv[4]) + " described"));
        store(image, xml);
        close(image);
        close(file);
        return 0;
    }
    if ((op == "delete" || op == "boot") && argc == 4) {
        HANDLE file = openWrite(argv[2], WIM_OPEN_EXISTING);
        const DWORD index = static_cast<DWORD>(std::atoi(argv[3]));
        if (!(op == "delete" ? WIMDeleteImage(file, index) : WIMSetBootImage(file, index)))
            fail();
        close(file);
        return 0;
    }
    if (op == "replace" && argc == 4) {
        if (!WIMReplaceImageFile(U(argv[2]).c_str(), U(argv[3]).c_str(), 0))
            fail();
        return 0;
    }
    return EINVAL;
}
