// SPDX-License-Identifier: GPL-3.0-or-later
// Directory listing inside an image. The whole directory is read in one pass
// of wimlib's tree walk, so listing n entries costs O(n).
#include "errors.h"
#include "internal.h"
#include "utf16.h"

#include <cerrno>
#include <cstring>

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
    std::vector<WIM_FIND_DATA>* out;
};

int collect(const struct wimlib_dir_entry* e, void* context)
{
    auto* listing = static_cast<Listing*>(context);
    try {
        const std::u16string name = ToUtf16(e->filename ? e->filename : "");
        if (!matches(listing->pattern.c_str(), name.c_str()))
            return 0;
        WIM_FIND_DATA d{};
        d.dwFileAttributes = e->attributes;
        d.ftCreationTime = toFiletime(e->creation_time, e->creation_time_high);
        d.ftLastAccessTime = toFiletime(e->last_access_time, e->last_access_time_high);
        d.ftLastWriteTime = toFiletime(e->last_write_time, e->last_write_time_high);
        const uint64_t size = e->streams[0].resource.uncompressed_size;
        d.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        d.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
        d.dwReserved0 = e->reparse_tag;
        CopyUnits(d.cFileName, WIM_MAX_PATH, name);
        if (e->dos_name)
            CopyUnits(d.cAlternateFileName, 14, ToUtf16(e->dos_name));
        listing->out->push_back(d);
        return 0;
    } catch (...) {
        return WIMLIB_ERR_NOMEM;
    }
}

} // namespace

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
        listing.out = &find->entries;
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
        *data = find->entries[0];
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
        *data = find->entries[find->next++];
        return TRUE;
    });
}

} // extern "C"
