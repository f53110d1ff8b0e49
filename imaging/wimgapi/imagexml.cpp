// SPDX-License-Identifier: GPL-3.0-or-later
// Image information: the file's XML document and the IMAGE elements in it.
// Stored XML is written by the layer itself (wimlib offers no call that takes
// a whole element) in the layout described in wimheader.h; wimlib keeps
// unknown elements and attributes on its own later writes.
#include "errors.h"
#include "internal.h"
#include "pendingxml.h"
#include "utf16.h"
#include "wimheader.h"
#include "xmlscan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

using namespace wimgapi;

namespace {

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

std::string fromUtf16Le(const void* bytes, size_t size)
{
    const auto* p = static_cast<const unsigned char*>(bytes);
    std::u16string units;
    units.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2) {
        const char16_t u = static_cast<char16_t>(p[i] | (p[i + 1] << 8));
        if (u == 0)
            break;
        units += u;
    }
    if (!units.empty() && units.front() == u'\uFEFF')
        units.erase(0, 1);
    return ToUtf8(units.c_str(), units.size());
}

std::string toUtf16LeWithBom(const std::string& utf8)
{
    const std::u16string units = u"\uFEFF" + ToUtf16(utf8);
    std::string out(units.size() * 2, '\0');
    for (size_t i = 0; i < units.size(); ++i) {
        out[2 * i] = static_cast<char>(units[i] & 0xFF);
        out[2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
    return out;
}

// The IMAGE element of image `index` inside the WIM root element.
std::optional<XmlElement> findImage(const std::string& doc, int index)
{
    const auto top = ScanElements(doc, 0, doc.size());
    if (!top)
        return std::nullopt;
    for (const XmlElement& root : *top) {
        if (root.name != "WIM")
            continue;
        const auto children = ScanElements(doc, root.openEnd, root.closeBegin);
        if (!children)
            return std::nullopt;
        for (const XmlElement& child : *children) {
            if (child.name != "IMAGE")
                continue;
            const auto value =
                AttributeValue(std::string_view(doc).substr(child.begin, child.openEnd - child.begin), "INDEX");
            if (value && std::strtol(value->c_str(), nullptr, 10) == index)
                return child;
        }
    }
    return std::nullopt;
}

// Puts INDEX="index" into the start tag of an IMAGE element text.
std::string withIndex(const std::string& element, size_t openEnd, int index)
{
    const std::string tag = element.substr(0, openEnd);
    const std::string value = std::to_string(index);
    size_t pos = 0;
    while ((pos = tag.find("INDEX", pos)) != std::string::npos) {
        const size_t quote = tag.find_first_of("\"'", pos);
        if (pos > 0 && (tag[pos - 1] == ' ' || tag[pos - 1] == '\t' || tag[pos - 1] == '\n') &&
            quote != std::string::npos && tag.find('=', pos) < quote) {
            const size_t close = tag.find(tag[quote], quote + 1);
            if (close == std::string::npos)
                break;
            return element.substr(0, quote + 1) + value + element.substr(close);
        }
        pos += 5;
    }
    return "<IMAGE INDEX=\"" + value + "\"" + element.substr(6);
}

bool writeXmlResource(WimFile& file, const std::string& documentUtf8)
{
    const std::string resource = toUtf16LeWithBom(documentUtf8);
    Fd f;
    f.fd = ::open(file.path.c_str(), O_RDWR | O_CLOEXEC);
    struct stat written{}, held{};
    if (f.fd < 0)
        return false;
    // The file written must be the file locked.
    if (::fstat(f.fd, &written) != 0 || !file.locked || ::fstat(file.wimFd, &held) != 0 ||
        written.st_dev != held.st_dev || written.st_ino != held.st_ino) {
        errno = EBUSY;
        return false;
    }
    WimHeader previous;
    bool hadIntegrity = false;
    if (!StoreXmlResource(f.fd, resource, previous, hadIntegrity))
        return false;
    if (!file.reopen()) {
        // wimlib refused the document (for example text that is not well
        // formed XML): the old header makes the old one current again.
        const int saved = errno;
        WriteWimHeader(f.fd, previous);
        file.reopen();
        errno = saved == EIO ? EINVAL : saved;
        return false;
    }
    if (!hadIntegrity)
        return true;
    // wimlib makes the integrity table again; it writes it, with its own
    // copy of the XML, into the hole after the blob table.
    if (!file.lock())
        return false;
    errno = 0;
    const int ret = wimlib_overwrite(file.wim, WIMLIB_WRITE_FLAG_CHECK_INTEGRITY | WIMLIB_WRITE_FLAG_FSYNC, 0);
    if (ret != 0)
        return file.discard(ret);
    return file.reopen();
}

void* allocUtf16(const std::string& utf8, DWORD* bytes)
{
    const std::string data = toUtf16LeWithBom(utf8);
    auto* out = static_cast<char*>(std::malloc(data.size() + 2));
    if (!out) {
        errno = ENOMEM;
        return nullptr;
    }
    std::memcpy(out, data.data(), data.size());
    out[data.size()] = out[data.size() + 1] = 0;
    *bytes = static_cast<DWORD>(data.size());
    return out;
}

} // namespace

namespace wimgapi {

bool LoadXmlDocument(WimFile& file, std::string& documentUtf8)
{
    void* buffer = nullptr;
    size_t size = 0;
    const int ret = wimlib_get_xml_data(file.wim, &buffer, &size);
    if (ret != 0)
        return SetErrnoFromWimlib(ret);
    documentUtf8 = fromUtf16Le(buffer, size);
    std::free(buffer);
    return true;
}

bool StoreXmlDocument(WimFile& file, const std::string& documentUtf8)
{
    return writeXmlResource(file, documentUtf8);
}

bool ReplaceImageElement(std::string& doc, int index, const std::string& element)
{
    const auto stored = findImage(doc, index);
    const auto top = ScanElements(element, 0, element.size());
    if (!stored || !top || top->size() != 1) {
        errno = EINVAL;
        return false;
    }
    const XmlElement& el = top->front();
    doc.replace(stored->begin, stored->end - stored->begin,
                withIndex(element.substr(el.begin, el.end - el.begin), el.openEnd - el.begin, index));
    return true;
}

std::string WithImageIndex(const std::string& element, int index)
{
    const auto top = ScanElements(element, 0, element.size());
    if (!top || top->size() != 1)
        return element;
    const XmlElement& el = top->front();
    return withIndex(element.substr(el.begin, el.end - el.begin), el.openEnd - el.begin, index);
}

bool ImageElementText(WimFile& file, int index, std::string& element)
{
    if (const auto it = file.pendingElements.find(index); it != file.pendingElements.end()) {
        element = it->second;
        return true;
    }
    std::string doc;
    if (!LoadXmlDocument(file, doc))
        return false;
    const auto found = findImage(doc, index);
    if (!found) {
        errno = ENOENT;
        return false;
    }
    element = doc.substr(found->begin, found->end - found->begin);
    return true;
}

bool SetImageChildText(std::string& doc, int index, const std::string& element, const std::string& text)
{
    const auto image = findImage(doc, index);
    if (!image) {
        errno = EINVAL;
        return false;
    }
    const std::string replacement = "<" + element + ">" + EscapeXmlText(text) + "</" + element + ">";
    const auto children = ScanElements(doc, image->openEnd, image->closeBegin);
    if (children) {
        for (const XmlElement& child : *children) {
            if (child.name == element) {
                doc.replace(child.begin, child.end - child.begin, replacement);
                return true;
            }
        }
    }
    doc.insert(image->closeBegin, replacement);
    return true;
}

} // namespace wimgapi

extern "C" {

BOOL WIMGetImageInformation(HANDLE handle, void** text, DWORD* bytes)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        if (!text || !bytes) {
            errno = EINVAL;
            return FALSE;
        }
        auto image = Lookup<WimImage>(handle, HandleKind::Image);
        auto file = image ? image->file : Lookup<WimFile>(handle, HandleKind::File);
        if (!file)
            return FALSE;
        std::lock_guard lock(file->mutex);
        std::string result;
        if (image) {
            if (!ImageElementText(*file, image->index, result))
                return FALSE;
        } else {
            if (!LoadXmlDocument(*file, result))
                return FALSE;
            // Images not yet written belong to the document callers see.
            const size_t close = result.rfind("</WIM>");
            std::string added;
            for (const auto& [index, element] : file->pendingElements)
                added += element;
            if (close != std::string::npos)
                result.insert(close, added);
        }
        void* out = allocUtf16(result, bytes);
        if (!out)
            return FALSE;
        *text = out;
        return TRUE;
    });
}

BOOL WIMSetImageInformation(HANDLE handle, const void* text, DWORD bytes)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto image = Lookup<WimImage>(handle, HandleKind::Image);
        if (!image)
            return FALSE;
        if (!text || bytes < 2) {
            errno = EINVAL;
            return FALSE;
        }
        WimFile& file = *image->file;
        std::lock_guard lock(file.mutex);
        wimlib_wim_info info{};
        wimlib_get_wim_info(file.wim, &info);
        if (!file.checkWritable())
            return FALSE;
        if (info.is_readonly) {
            errno = EACCES;
            return FALSE;
        }
        if (info.total_parts > 1) {
            errno = ENOTSUP;
            return FALSE;
        }
        // The text given must be one IMAGE element, optionally after an XML
        // declaration; it replaces the stored element as it stands.
        const std::string given = fromUtf16Le(text, bytes);
        const auto top = ScanElements(given, 0, given.size());
        if (!top || top->size() != 1 || top->front().name != "IMAGE" || !ValidReferences(given)) {
            errno = EINVAL;
            return FALSE;
        }
        const XmlElement& el = top->front();
        const std::string element =
            withIndex(given.substr(el.begin, el.end - el.begin), el.openEnd - el.begin, image->index);

        // An image not yet written takes its information into memory, to be
        // written with it.
        if (file.isPendingImage(image->index)) {
            std::string& current = file.pendingElements[image->index];
            if (!ApplyImageElement(file.wim, image->index, current, element))
                file.pendingXmlByLayer = true;
            current = element;
            return TRUE;
        }
        ChangeScope scope(file);
        if (!file.beginChange() || !file.checkIndex(static_cast<DWORD>(image->index)))
            return FALSE;
        std::string doc;
        if (!LoadXmlDocument(file, doc) || !ReplaceImageElement(doc, image->index, element))
            return FALSE;
        return StoreXmlDocument(file, doc) ? TRUE : FALSE;
    });
}

} // extern "C"
