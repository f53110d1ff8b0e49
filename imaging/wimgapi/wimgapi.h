// SPDX-License-Identifier: GPL-3.0-or-later
// Kestrel imaging API: a C interface to Windows imaging (WIM/SWM/ESD) files
// with the published WIMGAPI names, values and structure layouts, implemented
// over wimlib. Strings are UTF-16 (char16_t), zero-terminated.
//
// Contract for every function: a failing call returns its failure value
// (NULL, FALSE, 0 or INVALID_CALLBACK_VALUE) and sets errno; nothing is
// printed. Memory the layer returns is released with free(). No C++ exception
// leaves this interface.
//
// Changing a file. Every change holds wimlib's lock on the file (an exclusive
// flock) while it reads the file's state and writes, so Kestrel processes and
// wimlib-imagex exclude each other: a file another writer holds, a file that
// is mounted read-write and a file replaced by another program in the middle
// of a change fail with EBUSY and are left as they were. A kill at any point
// of a change leaves the file as before the change or as after it.
//
// New images are written whole. The image made by WIMCaptureImage or
// WIMExportImage is kept in memory, together with what is set on it
// afterwards (WIMSetImageInformation on its image handle, WIMSetBootImage on
// its file), and all of it reaches the file in one change when
//   - the image handle WIMCaptureImage returned is closed, or
//   - the file handle is closed (exports, which return no image handle), or
//   - another call needs the file written first (a capture or deletion on
//     the same file, information set on another image, a split, a new
//     reference file).
// Several exports into one file before it is closed are written together.
// WIMCloseHandle reports the failure of that write (FALSE, errno), and the
// file then holds none of it. To make the boot mark part of a capture, call
// WIMSetBootImage before closing the captured image's handle; set after the
// close, it is a change of its own. Information that wimlib's image
// properties cannot hold (attributes below IMAGE, empty elements, comments,
// a name another image has) is stored right after the image, as a second
// change.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define WIMAPI __attribute__((visibility("default")))
#else
#define WIMAPI
#endif

typedef void* HANDLE;
typedef uint32_t DWORD;
typedef int32_t BOOL;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define WIM_MAX_PATH 260

/* WIMCreateFile access */
#define WIM_GENERIC_READ 0x80000000u
#define WIM_GENERIC_WRITE 0x40000000u
#define WIM_GENERIC_MOUNT 0x20000000u

/* WIMCreateFile dispositions */
#define WIM_CREATE_NEW 1
#define WIM_CREATE_ALWAYS 2
#define WIM_OPEN_EXISTING 3
#define WIM_OPEN_ALWAYS 4

/* Compression types */
#define WIM_COMPRESS_NONE 0
#define WIM_COMPRESS_XPRESS 1
#define WIM_COMPRESS_LZX 2
#define WIM_COMPRESS_LZMS 3

/* WIMCreateFile creation result */
#define WIM_CREATED_NEW 0
#define WIM_OPENED_EXISTING 1

/* Flags (WIMCreateFile, WIMApplyImage, WIMCaptureImage) */
#define WIM_FLAG_RESERVED 0x00000001
#define WIM_FLAG_VERIFY 0x00000002
#define WIM_FLAG_INDEX 0x00000004
#define WIM_FLAG_NO_APPLY 0x00000008
#define WIM_FLAG_NO_DIRACL 0x00000010
#define WIM_FLAG_NO_FILEACL 0x00000020
#define WIM_FLAG_SHARE_WRITE 0x00000040
#define WIM_FLAG_FILEINFO 0x00000080
#define WIM_FLAG_NO_RP_FIX 0x00000100
#define WIM_FLAG_MOUNT_READONLY 0x00000200
/* Needed to open a solid LZMS (ESD) file, and to create one. */
#define WIM_FLAG_ALLOW_LZMS 0x20000000

/* WIMExportImage */
#define WIM_EXPORT_ALLOW_DUPLICATES 0x00000001
#define WIM_EXPORT_ONLY_RESOURCES 0x00000002
#define WIM_EXPORT_ONLY_METADATA 0x00000004

/* WIMSetReferenceFile */
#define WIM_REFERENCE_APPEND 0x00010000
#define WIM_REFERENCE_REPLACE 0x00020000

/* WIM_INFO.WimAttributes */
#define WIM_ATTRIBUTE_NORMAL 0x00000000
#define WIM_ATTRIBUTE_RESOURCE_ONLY 0x00000001
#define WIM_ATTRIBUTE_METADATA_ONLY 0x00000002
#define WIM_ATTRIBUTE_VERIFY_DATA 0x00000004
#define WIM_ATTRIBUTE_RP_FIX 0x00000008
#define WIM_ATTRIBUTE_SPANNED 0x00000010
#define WIM_ATTRIBUTE_READONLY 0x00000020

/* Mount flags (WIM_MOUNT_INFO_LEVEL1.MountFlags) */
#define WIM_MOUNT_FLAG_MOUNTED 0x00000001
#define WIM_MOUNT_FLAG_MOUNTING 0x00000002
#define WIM_MOUNT_FLAG_REMOUNTABLE 0x00000004
#define WIM_MOUNT_FLAG_INVALID 0x00000008
#define WIM_MOUNT_FLAG_NO_WIM 0x00000010
#define WIM_MOUNT_FLAG_NO_MOUNTDIR 0x00000020
#define WIM_MOUNT_FLAG_MOUNTDIR_REPLACED 0x00000040
#define WIM_MOUNT_FLAG_READWRITE 0x00000100

/* WIMDeleteImageMounts */
#define WIM_DELETE_MOUNTS_ALL 0x00000001

/* WIMGetMountedImageInfo levels */
#define MountedImageInfoLevel0 0
#define MountedImageInfoLevel1 1

/* Messages sent to a registered callback */
#define WIM_MSG 38006
#define WIM_MSG_TEXT 38007
#define WIM_MSG_PROGRESS 38008     /* wParam percent, lParam remaining ms */
#define WIM_MSG_PROCESS 38009      /* wParam const char16_t* path, lParam BOOL* process */
#define WIM_MSG_SCANNING 38010     /* lParam files found so far */
#define WIM_MSG_SETRANGE 38011     /* lParam total files */
#define WIM_MSG_SETPOS 38012       /* lParam files done */
#define WIM_MSG_STEPIT 38013
#define WIM_MSG_COMPRESS 38014     /* wParam path, lParam BOOL* compress */
#define WIM_MSG_ERROR 38015
#define WIM_MSG_ALIGNMENT 38016    /* wParam path, lParam BOOL* align */
#define WIM_MSG_RETRY 38017
#define WIM_MSG_SPLIT 38018        /* wParam const char16_t** part path, lParam int64_t* part size */
#define WIM_MSG_INFO 38020
#define WIM_MSG_WARNING 38021
#define WIM_MSG_CHK_PROCESS 38022
#define WIM_MSG_QUERY_ABORT 38030

/* Callback return values */
#define WIM_MSG_SUCCESS 0x00000000u
#define WIM_MSG_DONE 0xFFFFFFF0u
#define WIM_MSG_SKIP_ERROR 0xFFFFFFFEu
#define WIM_MSG_ABORT_IMAGE 0xFFFFFFFFu

#define INVALID_CALLBACK_VALUE 0xFFFFFFFFu

typedef struct WIM_GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} WIM_GUID;

typedef struct WIM_FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} WIM_FILETIME;

typedef struct WIM_INFO {
    char16_t WimPath[WIM_MAX_PATH];
    WIM_GUID Guid;
    DWORD ImageCount;
    DWORD CompressionType;
    uint16_t PartNumber;
    uint16_t TotalParts;
    DWORD BootIndex;
    DWORD WimAttributes;
    DWORD WimFlagsAndAttr;
} WIM_INFO;

typedef struct WIM_MOUNT_LIST {
    char16_t WimPath[WIM_MAX_PATH];
    char16_t MountPath[WIM_MAX_PATH];
    DWORD ImageIndex;
    BOOL MountedForRW;
} WIM_MOUNT_LIST;

typedef struct WIM_MOUNT_INFO_LEVEL1 {
    char16_t WimPath[WIM_MAX_PATH];
    char16_t MountPath[WIM_MAX_PATH];
    DWORD ImageIndex;
    DWORD MountFlags;
} WIM_MOUNT_INFO_LEVEL1;

/* The find-data record of WIMFindFirstImageFile / WIMFindNextImageFile
   (the WIN32_FIND_DATAW layout; times are 100 ns units since 1601). */
typedef struct WIM_FIND_DATA {
    DWORD dwFileAttributes;
    WIM_FILETIME ftCreationTime;
    WIM_FILETIME ftLastAccessTime;
    WIM_FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char16_t cFileName[WIM_MAX_PATH];
    char16_t cAlternateFileName[14];
} WIM_FIND_DATA;

/* File attributes reported in WIM_FIND_DATA */
#define WIM_FILE_ATTRIBUTE_READONLY 0x00000001
#define WIM_FILE_ATTRIBUTE_HIDDEN 0x00000002
#define WIM_FILE_ATTRIBUTE_SYSTEM 0x00000004
#define WIM_FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define WIM_FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define WIM_FILE_ATTRIBUTE_NORMAL 0x00000080
#define WIM_FILE_ATTRIBUTE_REPARSE_POINT 0x00000400

typedef DWORD (*WIM_MESSAGE_CALLBACK)(DWORD msg, WPARAM wParam, LPARAM lParam, void* user);

#ifdef __cplusplus
#define WIM_STATIC_ASSERT static_assert
#else
#define WIM_STATIC_ASSERT _Static_assert
#endif
WIM_STATIC_ASSERT(sizeof(WIM_INFO) == 560, "WIM_INFO keeps its published size");
WIM_STATIC_ASSERT(sizeof(WIM_MOUNT_LIST) == 1048, "WIM_MOUNT_LIST keeps its published size");
WIM_STATIC_ASSERT(sizeof(WIM_MOUNT_INFO_LEVEL1) == 1048, "WIM_MOUNT_INFO_LEVEL1 keeps its published size");
WIM_STATIC_ASSERT(sizeof(WIM_FIND_DATA) == 592, "WIM_FIND_DATA keeps the WIN32_FIND_DATAW size");

/* Mount group */
WIMAPI BOOL WIMMountImage(const char16_t* mountPath, const char16_t* wimPath, DWORD index, const char16_t* tempPath);
WIMAPI BOOL WIMUnmountImage(const char16_t* mountPath, const char16_t* wimPath, DWORD index, BOOL commit);
WIMAPI BOOL WIMRemountImage(const char16_t* mountPath, DWORD flags);
WIMAPI BOOL WIMGetMountedImages(void* list, DWORD* bytes);
WIMAPI BOOL WIMDeleteImageMounts(DWORD flags);
WIMAPI BOOL WIMGetMountedImageInfo(DWORD level, DWORD* imageCount, void* buffer, DWORD bytes, DWORD* returned);

/* General group */
WIMAPI HANDLE WIMLoadImage(HANDLE wim, DWORD index);
WIMAPI BOOL WIMSplitFile(HANDLE wim, const char16_t* partPath, int64_t* partSize, DWORD flags);
WIMAPI HANDLE WIMCreateFile(const char16_t* path, DWORD access, DWORD disposition, DWORD flags, DWORD compression,
                            DWORD* creationResult);
WIMAPI BOOL WIMApplyImage(HANDLE image, const char16_t* path, DWORD flags);
WIMAPI BOOL WIMCloseHandle(HANDLE handle);
WIMAPI BOOL WIMExportImage(HANDLE image, HANDLE targetWim, DWORD flags);
WIMAPI BOOL WIMDeleteImage(HANDLE wim, DWORD index);
WIMAPI BOOL WIMSetBootImage(HANDLE wim, DWORD index);
WIMAPI HANDLE WIMCaptureImage(HANDLE wim, const char16_t* path, DWORD flags);
WIMAPI DWORD WIMGetImageCount(HANDLE wim);
WIMAPI BOOL WIMGetAttributes(HANDLE wim, void* info, DWORD bytes);
/* Checks that path is an existing folder (ENOTDIR, or stat's errno) and keeps
   it with the handle; nothing is written there. wimlib needs no scratch
   folder for the layer's work: a file it rebuilds is written beside the file
   itself (so that a rename can replace it), a replaced file's new copy is
   written beside it, and a read-write mount keeps its staging folder in the
   temporary path given to WIMMountImage. */
WIMAPI BOOL WIMSetTemporaryPath(HANDLE wim, const char16_t* path);
WIMAPI BOOL WIMSetReferenceFile(HANDLE wim, const char16_t* path, DWORD flags);
WIMAPI BOOL WIMSetImageInformation(HANDLE image, const void* text, DWORD bytes);
WIMAPI BOOL WIMGetImageInformation(HANDLE handle, void** text, DWORD* bytes);
WIMAPI DWORD WIMRegisterMessageCallback(HANDLE wim, WIM_MESSAGE_CALLBACK callback, void* user);
WIMAPI BOOL WIMUnregisterMessageCallback(HANDLE wim, WIM_MESSAGE_CALLBACK callback);
WIMAPI HANDLE WIMFindFirstImageFile(HANDLE image, const char16_t* pattern, WIM_FIND_DATA* data);
WIMAPI BOOL WIMFindNextImageFile(HANDLE find, WIM_FIND_DATA* data);

/* Kestrel's own addition: replaces an image file as a whole. The caller writes
   the complete new file beside the target (same folder, any name; an image
   file created with WIMCreateFile and closed), then calls this, which moves it
   over targetPath under the target's lock: FALSE with EBUSY when another
   writer (a Kestrel handle, wimlib-imagex, a read-write mount) holds or
   mounts the target or the target changed places meanwhile, and nothing is
   changed; the target's permission bits carry over. On failure newPath is
   left for the caller to remove. flags must be 0. */
WIMAPI BOOL WIMReplaceImageFile(const char16_t* newPath, const char16_t* targetPath, DWORD flags);

#ifdef __cplusplus
}
#endif
