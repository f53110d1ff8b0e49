#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Run one operation through the imaging layer (libwimgapi.so) for the bench.

usage: layerdriver.py LIB capture SRC WIM COMPRESSION
       layerdriver.py LIB apply WIM INDEX DIR
       layerdriver.py LIB export SRC INDEX DST COMPRESSION

A message callback is registered as a real caller would, so the cost of the
messages is part of the figure.
"""
import ctypes
import os
import sys

GENERIC_READ = 0x80000000
GENERIC_WRITE = 0x40000000
CREATE_ALWAYS = 2
OPEN_EXISTING = 3
ALLOW_LZMS = 0x20000000

CALLBACK = ctypes.CFUNCTYPE(ctypes.c_uint32, ctypes.c_uint32, ctypes.c_size_t, ctypes.c_ssize_t, ctypes.c_void_p)


def u16(text):
    return ctypes.create_string_buffer((text + "\0").encode("utf-16-le"))


def main():
    lib = ctypes.CDLL(sys.argv[1])
    lib.WIMCreateFile.restype = ctypes.c_void_p
    lib.WIMCreateFile.argtypes = [ctypes.c_char_p, ctypes.c_uint32, ctypes.c_uint32, ctypes.c_uint32,
                                  ctypes.c_uint32, ctypes.POINTER(ctypes.c_uint32)]
    lib.WIMCaptureImage.restype = ctypes.c_void_p
    lib.WIMCaptureImage.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_uint32]
    lib.WIMLoadImage.restype = ctypes.c_void_p
    lib.WIMLoadImage.argtypes = [ctypes.c_void_p, ctypes.c_uint32]
    lib.WIMApplyImage.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_uint32]
    lib.WIMExportImage.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint32]
    lib.WIMCloseHandle.argtypes = [ctypes.c_void_p]
    lib.WIMRegisterMessageCallback.argtypes = [ctypes.c_void_p, CALLBACK, ctypes.c_void_p]
    lib.WIMRegisterMessageCallback.restype = ctypes.c_uint32
    callback = CALLBACK(lambda msg, w, l, user: 0)

    def open_file(path, access, disposition, compression=0):
        created = ctypes.c_uint32(0)
        flags = ALLOW_LZMS if compression == 3 else 0
        h = lib.WIMCreateFile(u16(path), access, disposition, flags, compression, ctypes.byref(created))
        if not h:
            h = lib.WIMCreateFile(u16(path), access, disposition, ALLOW_LZMS, compression, ctypes.byref(created))
        if not h:
            raise SystemExit("open %s: %s" % (path, os.strerror(ctypes.get_errno() or 5)))
        lib.WIMRegisterMessageCallback(h, callback, None)
        return h

    op = sys.argv[2]
    ok = False
    if op == "capture":
        src, wim, comp = sys.argv[3], sys.argv[4], int(sys.argv[5])
        f = open_file(wim, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, comp)
        img = lib.WIMCaptureImage(f, u16(src), 0)
        ok = bool(img)
        if img:
            lib.WIMCloseHandle(img)
        lib.WIMCloseHandle(f)
    elif op == "apply":
        wim, index, target = sys.argv[3], int(sys.argv[4]), sys.argv[5]
        f = open_file(wim, GENERIC_READ, OPEN_EXISTING)
        img = lib.WIMLoadImage(f, index)
        ok = bool(img) and bool(lib.WIMApplyImage(img, u16(target), 0))
        if img:
            lib.WIMCloseHandle(img)
        lib.WIMCloseHandle(f)
    elif op == "export":
        src, index, dst, comp = sys.argv[3], int(sys.argv[4]), sys.argv[5], int(sys.argv[6])
        s = open_file(src, GENERIC_READ, OPEN_EXISTING)
        d = open_file(dst, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, comp)
        img = lib.WIMLoadImage(s, index)
        ok = bool(img) and bool(lib.WIMExportImage(img, d, 0))
        if img:
            lib.WIMCloseHandle(img)
        lib.WIMCloseHandle(d)
        lib.WIMCloseHandle(s)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
