// SPDX-License-Identifier: GPL-3.0-or-later
// The objects behind the layer's opaque handles. Every handle is looked up in
// a table of live objects before use, so a stale or foreign pointer fails with
// EINVAL instead of being dereferenced.
#pragma once

#include "wimgapi.h"

#include <wimlib.h>

#include <sys/types.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace wimgapi {

enum class HandleKind { File, Image, Find };

struct CallbackEntry {
    WIM_MESSAGE_CALLBACK callback;
    void* user;
};

struct HandleObject {
    explicit HandleObject(HandleKind k) : kind(k) {}
    virtual ~HandleObject() = default;
    const HandleKind kind;
};

// The lock of one file's operations. A callback that calls back into the
// layer on the same file would wait for itself for ever; it fails with
// EDEADLK instead (thrown as std::system_error, turned into errno by Guarded).
class OperationMutex {
public:
    void lock()
    {
        checkNotOwner();
        m_mutex.lock();
        m_owner.store(std::this_thread::get_id());
    }
    bool try_lock()
    {
        checkNotOwner();
        if (!m_mutex.try_lock())
            return false;
        m_owner.store(std::this_thread::get_id());
        return true;
    }
    void unlock()
    {
        m_owner.store(std::thread::id());
        m_mutex.unlock();
    }

private:
    void checkNotOwner() const
    {
        if (m_owner.load() == std::this_thread::get_id())
            throw std::system_error(EDEADLK, std::generic_category());
    }
    std::mutex m_mutex;
    std::atomic<std::thread::id> m_owner{};
};

// What the file on disk looked like when the WIMStruct was read, so that a
// change made meanwhile through another handle is noticed before writing.
struct DiskState {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    long long mtimeNs = 0;
    bool operator==(const DiskState&) const = default;
};

// An open image file. `mutex` serialises the operations on it (one at a time
// per file); different files work concurrently.
//
// Every change holds wimlib's own lock (an exclusive flock on the file) from
// before it looks at the file until its write is done, so that two handles,
// two processes and wimlib-imagex exclude each other; a file locked by someone
// else, replaced meanwhile or mounted read-write fails with EBUSY.
//
// A captured or exported image stays in memory ("pending") until its name,
// flags and boot mark are set, and is then written in one change: see
// wimgapi.h for when that happens.
struct WimFile : HandleObject {
    WimFile() : HandleObject(HandleKind::File) {}
    ~WimFile() override;

    OperationMutex mutex;
    std::string path;
    DWORD access = 0;
    DWORD flags = 0;
    WIMStruct* wim = nullptr;
    int wimFd = -1; // wimlib's descriptor of `wim`, the one its own lock uses
    bool locked = false;
    std::vector<WIMStruct*> references; // parts attached with WIMSetReferenceFile
    std::vector<std::string> referencePaths;
    std::string tempPath; // kept for WIMSetTemporaryPath; see wimgapi.h
    int diskImages = 0; // images in the file as last opened
    DiskState diskState;
    bool created = false;      // made by this handle ...
    bool failedChange = false; // ... and removed again at close when a change failed and it holds no image

    // The pending change: images diskImages+1.. exist only in memory.
    bool pending = false;
    bool pendingDeletion = false;
    std::map<int, std::string> pendingElements; // their IMAGE elements as callers see them
    bool pendingXmlByLayer = false; // some of that XML needs the layer's own store after the write

    std::mutex callbackMutex;
    std::vector<CallbackEntry> callbacks;

    bool writable() const { return (access & WIM_GENERIC_WRITE) != 0; }
    int openFlags() const;
    // Frees and reopens the WIMStruct from disk (after a write, or to drop
    // in-memory changes); sets errno and returns false on failure.
    bool reopen();
    // Notes the file's state on disk after it was (re)opened.
    void recordDiskState();
    // Before a change: checks the handle may write (EACCES, EBUSY), writes
    // a pending change first, takes the lock and rereads the file when
    // another handle or program wrote it since, so that the change starts
    // from what is on disk.
    bool beginChange();
    // Takes the lock (EBUSY when someone else holds it or the file was
    // replaced); releases it.
    bool lock();
    void unlock();
    // Writes the in-memory changes to disk, reopens and releases the lock.
    bool commit();
    // Writes the file whole under a new name and puts it in place; a wimlib
    // error code.
    int writeWhole(int writeFlags);
    // Writes a pending change, if any (see wimgapi.h); releases the lock.
    bool flush();
    // Drops in-memory changes after a failed wimlib call, keeping the errno
    // of that failure; always returns false.
    bool discard(int wimlibError);
    bool isPendingImage(int index) const { return pending && index > diskImages; }
    bool isSolid() const;
    bool isSplit() const;
    int imageCount() const;
    // Checks that set errno and return false: a file opened for writing
    // (EACCES) and not mounted read-write meanwhile (EBUSY), an image number in range (EINVAL; 0 only where allowed).
    bool checkWritable() const;
    bool checkIndex(DWORD index, bool zeroAllowed = false) const;
};

// Releases a file's lock at the end of a change, unless the change is
// pending and keeps the file locked until it is written.
class ChangeScope {
public:
    explicit ChangeScope(WimFile& file) : m_file(file) {}
    ~ChangeScope()
    {
        if (!m_file.pending)
            m_file.unlock();
    }
    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;

private:
    WimFile& m_file;
};

struct WimImage : HandleObject {
    WimImage(std::shared_ptr<WimFile> f, int i, bool w = false)
        : HandleObject(HandleKind::Image), file(std::move(f)), index(i), writesOnClose(w)
    {
    }
    std::shared_ptr<WimFile> file; // keeps the file open while the image is
    int index;
    bool writesOnClose; // the handle of a capture: closing it writes the image
};

struct WimFind : HandleObject {
    WimFind() : HandleObject(HandleKind::Find) {}
    // Entries are kept compact, their names in one shared buffer; the
    // 592-byte find-data record is made as each one is handed out, so that a
    // folder of tens of thousands of entries is not copied around in them.
    struct Entry {
        DWORD attributes = 0;
        WIM_FILETIME creation{}, access{}, write{};
        uint64_t size = 0;
        DWORD reparseTag = 0;
        uint32_t name = 0, nameUnits = 0; // in names, cut to fit cFileName
        uint32_t dos = 0, dosUnits = 0;   // in names, cut to fit cAlternateFileName
    };
    std::vector<Entry> entries;
    std::u16string names;
    size_t next = 0;
    // Entry `index` as the published record.
    void fill(size_t index, WIM_FIND_DATA* data) const;
};

HANDLE RegisterHandle(std::shared_ptr<HandleObject> object);
bool ReleaseHandle(HANDLE handle);
std::shared_ptr<HandleObject> LookupHandle(HANDLE handle, HandleKind kind);

template <typename T>
std::shared_ptr<T> Lookup(HANDLE handle, HandleKind kind)
{
    return std::static_pointer_cast<T>(LookupHandle(handle, kind));
}

// Callbacks registered with a null handle receive the messages of every file.
std::vector<CallbackEntry> CallbacksFor(WimFile* file);
std::mutex& GlobalCallbackMutex();
std::vector<CallbackEntry>& GlobalCallbacks();

// Runs body and turns any C++ exception into a failure with errno set, so that
// none leaves the C interface.
template <typename R, typename F>
R Guarded(R failure, F&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
    } catch (const std::system_error& e) {
        errno = e.code().value() ? e.code().value() : EIO;
    } catch (...) {
        errno = EIO;
    }
    return failure;
}

} // namespace wimgapi
