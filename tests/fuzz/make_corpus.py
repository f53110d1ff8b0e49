#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes the seed corpus of every fuzz target in tests/fuzz/corpus/<target>/.

Everything is written here from scratch, packed by the build's own resource
packer (tools/kestrel-pack) or written by wimlib-imagex, so that no seed is a
file of unknown origin. Files under corpus/*/regress-* are inputs that once
found a fault; this script leaves them alone.

    python3 tests/fuzz/make_corpus.py [BUILD_DIR]   # BUILD_DIR: build-fuzz
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
CORPUS = os.path.join(HERE, "corpus")
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build-fuzz"))


def put(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def utf16(text, bom=True):
    return (b"\xff\xfe" if bom else b"") + text.encode("utf-16-le")


WIM_XML = (
    '<WIM><TOTALBYTES>4096</TOTALBYTES>'
    '<IMAGE INDEX="1"><DIRCOUNT>2</DIRCOUNT><FILECOUNT>3</FILECOUNT><TOTALBYTES>1234</TOTALBYTES>'
    '<CREATIONTIME><HIGHPART>0x01D9A1B2</HIGHPART><LOWPART>0x3C4D5E6F</LOWPART></CREATIONTIME>'
    '<LASTMODIFICATIONTIME><HIGHPART>0x01D9A1B2</HIGHPART><LOWPART>0x3C4D5E70</LOWPART></LASTMODIFICATIONTIME>'
    '<WINDOWS><ARCH>9</ARCH><LANGUAGES><LANGUAGE>en-US</LANGUAGE><DEFAULT>en-US</DEFAULT></LANGUAGES>'
    '<VERSION><MAJOR>10</MAJOR><MINOR>0</MINOR><BUILD>19041</BUILD><SPBUILD>1</SPBUILD></VERSION></WINDOWS>'
    '<NAME>First &amp; one</NAME><DESCRIPTION>说明</DESCRIPTION><FLAGS>Professional</FLAGS>'
    '<KESTREL MOUNTID="2" MOUNTRW="1" AUTOUNMOUNT="true" COMMIT="Yes" CLEARDIR="0">'
    '<MOUNTRUNCMD>"/usr/bin/true" -x</MOUNTRUNCMD><UNMOUNTRUNCMD>echo</UNMOUNTRUNCMD>'
    '<MOUNTPATH>%HOME%/mnt</MOUNTPATH><ICON>AAAA</ICON></KESTREL></IMAGE>'
    '<IMAGE INDEX="2"><NAME><![CDATA[second]]></NAME><DISPLAYNAME>Two</DISPLAYNAME></IMAGE>'
    '<BOOT>1</BOOT></WIM>'
)


def xml_seeds():
    put("fuzz_xmlscan", "wim.xml", WIM_XML)
    put("fuzz_xmlscan", "markup.xml",
        '<?xml version="1.0"?><!-- a > b --><IMAGE INDEX=\'3\' a="x>y"><E/><F x="1" /><![CDATA[<no>]]>'
        '<G>&#x41;&#65;&lt;&quot;</G></IMAGE>')
    put("fuzz_xmlscan", "unbalanced.xml", "<WIM><IMAGE INDEX=\"1\"></WIM></IMAGE>")
    put("fuzz_imageinfo", "wim.utf16", utf16(WIM_XML))
    put("fuzz_imageinfo", "wim_nobom.utf16", utf16(WIM_XML, bom=False))
    put("fuzz_imageinfo", "image.utf16",
        utf16('<IMAGE INDEX="1"><NAME>n</NAME><KESTREL MOUNTID="-4"><MOUNTPATH/></KESTREL></IMAGE>'))


def language_seeds():
    with open(os.path.join(ROOT, "resources/lang/English.INI"), "rb") as f:
        english = f.read().decode("utf-16")
    flag = english.index("[System_Flag]")
    strings = english.index("[String_List]")
    # The configuration part, the flags and the first strings: small but whole.
    short = english[:flag] + english[flag:flag + 300] + "\r\n" + english[strings:strings + 1500]
    put("fuzz_language", "english_short.ini", utf16(short))
    put("fuzz_language", "ansi.ini",
        "[ExclusionList]\r\n\\pagefile.sys\r\n[System_Flag]\r\nPick\r\nHome\r\n[Compress_Type]\r\nNone\r\nLZX\r\n"
        "[Help_Text1]\r\nline\r\n[String_List]\r\n267=Title\r\n284=OK\r\n370=English\r\n371=en\r\n")
    put("fuzz_language", "sections_reordered.ini",
        utf16("[String_List]\r\n1=one\r\n1=again\r\n[System_Flag]\r\n[String_List]\r\n2=two\r\n"))
    put("fuzz_configfile", "capture_and_settings.txt",
        "[ExclusionList]\r\n\\pagefile.sys\r\n*.tmp\r\n[ExclusionException]\r\n\\a\\keep.tmp\r\n"
        "[CompressionExclusionList]\r\n*.wim\r\n[AlignmentList]\r\n\\boot\\*\r\n"
        "\n----\n"
        "[General]\nAutoOpenPath=dword:00000000\nCompressType=dword:00000004\nLanguage=English\n"
        "AutoMountPath=%HOME%/mnt\nWimTempPath=/tmp/x, y\n[Icons]\nPath=a\n")
    put("fuzz_configfile", "utf16.txt", utf16("[ExclusionList]\r\n\\x\r\n") + b"\n----\nLanguage=dword:1\n")


def record_seeds():
    put("fuzz_mountrecord", "record",
        "mount=/home/u/mnt\nwim=/data/a%25b.wim\nindex=2\nrw=1\ntemp=/tmp\nstaging=/tmp/st\ntoken=123-4\n")
    put("fuzz_mountrecord", "escaped", "mount=/m%0Aline\nwim=/w\rx\nindex=4294967297\nrw=0\n")


def commandline_seeds():
    lines = [
        ["/Capture", "/data", "backup.wim,My data", "/Compress", "Lzx", "/NotAcl"],
        ["/Apply", "backup.wim,1", "/restore"],
        ["/MountRW", "%HOME%/b.wim,2", "%KFUZZ%/mnt"],
        ["/UnMount", "/mnt", "/Commit"],
        ["/Split", "a.wim", "parts.swm,4000"],
        ["/Export", "a.wim,Name,with,commas", "b.esd", "/Compress", "Lzms"],
        ["x.wim", "/OpenFile"],
        ["LZMA", "/EnCode", "in", "out"],
        ['"/usr/bin/my tool" -a %K%'],
    ]
    for i, args in enumerate(lines):
        put("fuzz_commandline", "argv%d" % i, b"\0".join(a.encode() for a in args))


def lzma_seeds():
    pack = os.path.join(BUILD, "tools", "kestrel-pack")
    if not os.path.exists(pack):
        print("make_corpus: %s not built; LZMA seeds skipped" % pack, file=sys.stderr)
        return
    with tempfile.TemporaryDirectory() as tmp:
        for name, data in [("text", b"[String_List]\r\n1=one\r\n" * 20), ("byte", b"x"),
                           ("binary", bytes(range(256)) * 3)]:
            src, out = os.path.join(tmp, name), os.path.join(tmp, name + ".lzma")
            with open(src, "wb") as f:
                f.write(data)
            subprocess.run([pack, "LZMA", "/EnCode", src, out], check=True,
                           env=dict(os.environ, ASAN_OPTIONS="detect_leaks=0"))
            with open(out, "rb") as f:
                put("fuzz_lzmacontainer", name + ".lzma", f.read())


def compressed_table(wim):
    """The LZX file `wim` with its blob table stored compressed, as the format
    allows and wimlib reads but never writes; None without libwimlib."""
    import ctypes
    import ctypes.util
    name = ctypes.util.find_library("wim")
    if not name:
        return None
    lib = ctypes.CDLL(name)
    lib.wimlib_compress.restype = ctypes.c_size_t
    lib.wimlib_compress.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p, ctypes.c_size_t,
                                    ctypes.c_void_p]
    size = int.from_bytes(wim[48:55], "little")
    offset = int.from_bytes(wim[56:64], "little")
    if size >= 32768:
        return None  # one chunk only
    compressor = ctypes.c_void_p()
    if lib.wimlib_create_compressor(2, 32768, 0, ctypes.byref(compressor)) != 0:  # 2: LZX
        return None
    out = ctypes.create_string_buffer(size)
    n = lib.wimlib_compress(wim[offset:offset + size], size, out, size, compressor)
    lib.wimlib_free_compressor(compressor)
    if n == 0:
        return None
    data = bytearray(wim) + out.raw[:n]
    data[48:55] = n.to_bytes(7, "little")
    data[55] |= 4
    data[56:64] = len(wim).to_bytes(8, "little")
    return bytes(data)


def image_seeds():
    imagex = shutil.which("wimlib-imagex")
    if not imagex:
        print("make_corpus: wimlib-imagex missing; image seeds skipped", file=sys.stderr)
        return
    with tempfile.TemporaryDirectory() as tmp:
        tree = os.path.join(tmp, "tree")
        os.makedirs(os.path.join(tree, "dir", "sub"))
        for path, text in [("a.txt", "alpha\n"), ("dir/b.txt", "beta " * 40), ("dir/sub/c", "")]:
            with open(os.path.join(tree, path), "w") as f:
                f.write(text)
        os.symlink("a.txt", os.path.join(tree, "link"))

        def run(*args):
            subprocess.run([imagex, *args], check=True, stdout=subprocess.DEVNULL)

        for name, extra in [("none.wim", ["--compress=none"]), ("xpress.wim", ["--compress=xpress"]),
                            ("lzx.wim", ["--compress=lzx"]), ("solid.esd", ["--solid"])]:
            out = os.path.join(tmp, name)
            run("capture", tree, out, "First", *extra)
            if name == "none.wim":
                run("append", tree, out, "Second", "--boot")
            with open(out, "rb") as f:
                put("fuzz_imagefile", name, f.read())
        # Enough files for the table to pack smaller than it is.
        many = os.path.join(tmp, "many")
        os.makedirs(many)
        for i in range(40):
            with open(os.path.join(many, "f%02d" % i), "w") as f:
                f.write("file %d\n" % i)
        run("capture", many, os.path.join(tmp, "many.wim"), "Many", "--compress=lzx")
        with open(os.path.join(tmp, "many.wim"), "rb") as f:
            packed = compressed_table(f.read())
        if packed:
            put("fuzz_imagefile", "packed-table.wim", packed)
        run("split", os.path.join(tmp, "none.wim"), os.path.join(tmp, "part.swm"), "0.001")
        for part in sorted(p for p in os.listdir(tmp) if p.startswith("part")):
            with open(os.path.join(tmp, part), "rb") as f:
                put("fuzz_imagefile", part, f.read())


def main():
    for target in os.listdir(CORPUS) if os.path.isdir(CORPUS) else []:
        if target == "fuzz_inisection":
            continue  # seeds of its own, kept as they are
        for name in os.listdir(os.path.join(CORPUS, target)):
            if not name.startswith("regress-"):
                os.remove(os.path.join(CORPUS, target, name))
    xml_seeds()
    language_seeds()
    record_seeds()
    commandline_seeds()
    lzma_seeds()
    image_seeds()


if __name__ == "__main__":
    main()
