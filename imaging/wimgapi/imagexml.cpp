// SPDX-License-Identifier: GPL-3.0-or-later
// Image information: the file's XML document and the IMAGE elements in it.
// Stored XML is written by the layer itself (wimlib offers no call that takes
// a whole element), appended to the file with the header's XML entry updated;
// wimlib keeps unknown elements and attributes on its own later writes.
#include "errors.h"
#include "internal.h"
#include "utf16.h"
#include "xmlscan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

using namespace wimgapi;

namespace {

constexpr size_t kHeaderSize = 208;
constexpr size_t kXmlEntryOffset = 72; // the XML resource entry of the header
constexpr size_t kXmlEntrySize = 24;

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
    if (f.fd < 0)
        return false;
    unsigned char header[kHeaderSize];
    if (::pread(f.fd, header, sizeof(header), 0) != static_cast<ssize_t>(sizeof(header)) ||
        std::memcmp(header, "MSWIM\0\0\0", 8) != 0) {
        errno = ENOEXEC;
        return false;
    }
    struct stat st{};
    if (::fstat(f.fd, &st) != 0)
        return false;
    const uint64_t offset = static_cast<uint64_t>(st.st_size);
    const uint64_t size = resource.size();
    unsigned char entry[kXmlEntrySize] = {};
    for (int i = 0; i < 7; ++i)
        entry[i] = static_cast<unsigned char>(size >> (8 * i));
    entry[7] = 0; // uncompressed, as wimlib writes it
    for (int i = 0; i < 8; ++i) {
        entry[8 + i] = static_cast<unsigned char>(offset >> (8 * i));
        entry[16 + i] = static_cast<unsigned char>(size >> (8 * i));
    }
    // The new XML is on disk before the header points at it, so a failure in
    // between leaves the old document in force.
    // A short write sets no errno; the disk is full.
    errno = ENOSPC;
    if (::pwrite(f.fd, resource.data(), resource.size(), static_cast<off_t>(offset)) !=
            static_cast<ssize_t>(resource.size()) ||
        ::fdatasync(f.fd) != 0) {
        const int saved = errno;
        (void)::ftruncate(f.fd, static_cast<off_t>(offset));
        errno = saved;
        return false;
    }
    unsigned char oldEntry[kXmlEntrySize];
    std::memcpy(oldEntry, header + kXmlEntryOffset, kXmlEntrySize);
    errno = EIO;
    if (::pwrite(f.fd, entry, sizeof(entry), kXmlEntryOffset) != static_cast<ssize_t>(sizeof(entry)) ||
        ::fsync(f.fd) != 0)
        return false;
    if (file.reopen())
        return true;
    // wimlib refused the document (for example text that is not well formed
    // XML): put the old one back so that the file stays readable.
    const int saved = errno;
    if (::pwrite(f.fd, oldEntry, sizeof(oldEntry), kXmlEntryOffset) == static_cast<ssize_t>(sizeof(oldEntry))) {
        (void)::ftruncate(f.fd, static_cast<off_t>(offset));
        ::fsync(f.fd);
    }
    file.reopen();
    errno = saved == EIO ? EINVAL : saved;
    return false;
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
        std::string doc;
        if (!LoadXmlDocument(*file, doc))
            return FALSE;
        std::string result = doc;
        if (image) {
            const auto element = findImage(doc, image->index);
            if (!element) {
                errno = ENOENT;
                return FALSE;
            }
            result = doc.substr(element->begin, element->end - element->begin);
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
        if (!file.refreshIfChanged())
            return FALSE;
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

        std::string doc;
        if (!LoadXmlDocument(file, doc))
            return FALSE;
        const auto stored = findImage(doc, image->index);
        if (!stored) {
            errno = ENOENT;
            return FALSE;
        }
        doc.replace(stored->begin, stored->end - stored->begin, element);
        return StoreXmlDocument(file, doc) ? TRUE : FALSE;
    });
}

} // extern "C"
