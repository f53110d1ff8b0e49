// SPDX-License-Identifier: GPL-3.0-or-later
// Directory listing inside an image. The whole directory is read in one pass
// of wimlib's tree walk, so listing n entries costs O(n).
#include "errors.h"
#include "internal.h"
#include "utf16.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>

using namespace wimgapi;

namespace {

constexpr uint64_t kUnixEpochAsFiletime = 116444736000000000ULL;

WIM_FILETIME toFiletime(const struct wimlib_timespec& t, int32_t high)
{
    // wimlib splits 64-bit seconds into tv_sec and the *_high fields.
    const int64_t seconds = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) |
                                                 static_cast<uint32_t>(t.tv_sec));
    const uint64_t ticks = static_cast<uint64_t>(seconds * 10000000LL + t.tv_nsec / 100) + kUnixEpochAsFiletime;
    return WIM_FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

char16_t foldCase(char16_t c)
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// Wildcard match of the last pattern component: '*' any run, '?' one unit,
// letters compared without case as in the published API.
bool matches(const char16_t* p, const char16_t* s)
{
    const char16_t* star = nullptr;
    const char16_t* resume = nullptr;
    while (*s) {
        if (*p == u'*') {
            star = p++;
            resume = s;
        } else if (*p == u'?' || (*p && foldCase(*p) == foldCase(*s))) {
            ++p;
            ++s;
        } else if (star) {
            p = star + 1;
            s = ++resume;
        } else {
            return false;
        }
    }
    while (*p == u'*')
        ++p;
    return *p == 0;
}

struct Listing {
    std::u16string pattern;
    WimFind* out;
};

// Appends `text` to the find's name buffer, cut as the record's field of
// `units` units would cut it; its offset and length.
std::pair<uint32_t, uint32_t> keepName(WimFind& find, const std::u16string& text, size_t units)
{
    const uint32_t offset = static_cast<uint32_t>(find.names.size());
    if (text.size() < units) {
        find.names += text;
        return {offset, static_cast<uint32_t>(text.size())};
    }
    std::u16string cut(units, u'\0');
    CopyUnits(cut.data(), units, text);
    cut.resize(std::char_traits<char16_t>::length(cut.c_str()));
    find.names += cut;
    return {offset, static_cast<uint32_t>(cut.size())};
}

int collect(const struct wimlib_dir_entry* e, void* context)
{
    auto* listing = static_cast<Listing*>(context);
    try {
        const std::u16string name = ToUtf16(e->filename ? e->filename : "");
        if (!matches(listing->pattern.c_str(), name.c_str()))
            return 0;
        WimFind& find = *listing->out;
        WimFind::Entry d;
        d.attributes = e->attributes;
        d.creation = toFiletime(e->creation_time, e->creation_time_high);
        d.access = toFiletime(e->last_access_time, e->last_access_time_high);
        d.write = toFiletime(e->last_write_time, e->last_write_time_high);
        d.size = e->streams[0].resource.uncompressed_size;
        d.reparseTag = e->reparse_tag;
        std::tie(d.name, d.nameUnits) = keepName(find, name, WIM_MAX_PATH);
        if (e->dos_name)
            std::tie(d.dos, d.dosUnits) = keepName(find, ToUtf16(e->dos_name), 14);
        find.entries.push_back(d);
        return 0;
    } catch (...) {
        return WIMLIB_ERR_NOMEM;
    }
}

} // namespace

void wimgapi::WimFind::fill(size_t index, WIM_FIND_DATA* data) const
{
    const Entry& e = entries[index];
    *data = WIM_FIND_DATA{};
    data->dwFileAttributes = e.attributes;
    data->ftCreationTime = e.creation;
    data->ftLastAccessTime = e.access;
    data->ftLastWriteTime = e.write;
    data->nFileSizeHigh = static_cast<DWORD>(e.size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(e.size & 0xFFFFFFFFu);
    data->dwReserved0 = e.reparseTag;
    std::memcpy(data->cFileName, names.data() + e.name, e.nameUnits * sizeof(char16_t));
    std::memcpy(data->cAlternateFileName, names.data() + e.dos, e.dosUnits * sizeof(char16_t));
}

extern "C" {

HANDLE WIMFindFirstImageFile(HANDLE image, const char16_t* pattern, WIM_FIND_DATA* data)
{
    return Guarded<HANDLE>(nullptr, [&]() -> HANDLE {
        auto img = Lookup<WimImage>(image, HandleKind::Image);
        if (!img)
            return nullptr;
        if (!pattern || !data) {
            errno = EINVAL;
            return nullptr;
        }
        std::u16string text = pattern;
        for (char16_t& c : text)
            if (c == u'\\')
                c = u'/';
        const size_t slash = text.rfind(u'/');
        Listing listing;
        listing.pattern = slash == std::u16string::npos ? text : text.substr(slash + 1);
        std::u16string dir = slash == std::u16string::npos ? u"" : text.substr(0, slash);
        if (listing.pattern.empty())
            listing.pattern.assign(1, u'*');
        auto find = std::make_shared<WimFind>();
        listing.out = find.get();
        {
            std::lock_guard lock(img->file->mutex);
            const std::string dirUtf8 = ToUtf8(dir.c_str(), dir.size());
            const int ret = wimlib_iterate_dir_tree(img->file->wim, img->index, dirUtf8.c_str(),
                                                    WIMLIB_ITERATE_DIR_TREE_FLAG_CHILDREN, &collect, &listing);
            if (ret != 0) {
                SetErrnoFromWimlib(ret);
                return nullptr;
            }
        }
        if (find->entries.empty()) {
            errno = ENOENT;
            return nullptr;
        }
        find->fill(0, data);
        find->next = 1;
        return RegisterHandle(std::move(find));
    });
}

BOOL WIMFindNextImageFile(HANDLE handle, WIM_FIND_DATA* data)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto find = Lookup<WimFind>(handle, HandleKind::Find);
        if (!find)
            return FALSE;
        if (!data) {
            errno = EINVAL;
            return FALSE;
        }
        if (find->next >= find->entries.size()) {
            errno = ENOENT; // the Windows "no more files"
            return FALSE;
        }
        find->fill(find->next++, data);
        return TRUE;
    });
}

} // extern "C"
