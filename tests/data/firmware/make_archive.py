#!/usr/bin/env python3
"""Writes one zip archive of a named kind with Python's zipfile, for the firmware tests.

usage: make_archive.py KIND OUTPUT [ARGUMENT]
Hostile kinds are written honestly first and then patched byte by byte where zipfile
refuses to lie.
"""
import io
import struct
import sys
import zipfile


def payload(size, seed):
    # Compressible but not trivial: a repeating pattern that shifts with the seed.
    return bytes((i * 7 + seed + (i >> 10)) & 0xFF for i in range(size))


class Unseekable(io.RawIOBase):
    """A sink without seek(), so zipfile writes data descriptors."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def mixed(zf):
    zf.writestr("FW/a.bin", payload(300_000, 1), zipfile.ZIP_DEFLATED)
    zf.writestr("FW/b.bin", payload(70_000, 2), zipfile.ZIP_STORED)
    zf.writestr("readme.txt", "firmware package\n" * 50, zipfile.ZIP_DEFLATED)
    zf.writestr("empty.bin", b"", zipfile.ZIP_DEFLATED)


def patch_header_field(data, name, central_offset, local_offset, fmt, value):
    """Replaces one field of the named entry in its central and its local header."""
    encoded = name.encode()
    central = data.find(b"PK\x01\x02" + b"", 0)
    while central >= 0:
        name_length = struct.unpack_from("<H", data, central + 28)[0]
        if data[central + 46:central + 46 + name_length] == encoded:
            struct.pack_into(fmt, data, central + central_offset, value)
            local = struct.unpack_from("<I", data, central + 42)[0]
            struct.pack_into(fmt, data, local + local_offset, value)
            return
        central = data.find(b"PK\x01\x02", central + 4)
    raise SystemExit("no entry " + name)


def corrupt_entry(data, name):
    """Overwrites 64 bytes in the middle of the named entry's data."""
    central = data.find(b"PK\x01\x02")
    while central >= 0:
        compressed = struct.unpack_from("<I", data, central + 20)[0]
        name_length = struct.unpack_from("<H", data, central + 28)[0]
        if data[central + 46:central + 46 + name_length] == name.encode():
            local = struct.unpack_from("<I", data, central + 42)[0]
            start = local + 30 + sum(struct.unpack_from("<HH", data, local + 26))
            middle = start + compressed // 2
            data[middle:middle + 64] = bytes(range(64))
            return
        central = data.find(b"PK\x01\x02", central + 4)
    raise SystemExit("no entry " + name)


def main():
    kind, output = sys.argv[1], sys.argv[2]
    argument = sys.argv[3] if len(sys.argv) > 3 else ""
    if kind == "descriptors":
        sink = Unseekable()
        with zipfile.ZipFile(sink, "w") as zf:
            mixed(zf)
        data = bytearray(sink.data)
    else:
        buffer = io.BytesIO()
        with zipfile.ZipFile(buffer, "w") as zf:
            if kind in ("mixed", "understated", "understated-crc", "overstated", "corrupt-deflated",
                        "corrupt-stored"):
                mixed(zf)
            elif kind == "zip64":
                for name, method in (("big/x.bin", zipfile.ZIP_DEFLATED),
                                     ("big/y.bin", zipfile.ZIP_STORED)):
                    info = zipfile.ZipInfo(name)
                    info.compress_type = method
                    with zf.open(info, "w", force_zip64=True) as entry:
                        entry.write(payload(200_000, len(name)))
            elif kind == "traversal":
                for name in ("../escape1.txt", "a/../../escape2.txt", "a/../inside.txt",
                             argument + "/escape3.txt", "..", "./", "/",
                             "./safe//ok.txt", "good.txt"):
                    zf.writestr(name, "from " + name)
            elif kind == "symlink":
                info = zipfile.ZipInfo("link")
                info.create_system = 3
                info.external_attr = 0o120777 << 16
                zf.writestr(info, argument)
                zf.writestr("link/planted.txt", "planted")
                zf.writestr("normal.txt", "normal")
            elif kind == "directories":
                for name in ("FW/", "FW/sub/", "emptydir/"):
                    zf.writestr(zipfile.ZipInfo(name), b"")
                zf.writestr("FW/sub/x.bin", payload(1000, 3))
            elif kind == "escape":
                zf.writestr("../escape.bin", "x" * 1000)
            elif kind == "conflict":
                zf.writestr("thing", "a file")
                zf.writestr("thing/inner.txt", "cannot go below a file")
                zf.writestr("other.txt", "fine")
            elif kind == "methods":
                zf.writestr("bzip2.bin", payload(5000, 4), zipfile.ZIP_BZIP2)
                zf.writestr("lzma.bin", payload(5000, 5), zipfile.ZIP_LZMA)
                zf.writestr("deflated.bin", payload(5000, 6), zipfile.ZIP_DEFLATED)
            elif kind == "names":
                zf.writestr("nulXname.txt", "nul")
                zf.writestr("d/" * 520 + "long.txt", "long")
                zf.writestr("caf\u00e9/\u65e5\u672c.txt", "utf-8 names")
            else:
                raise SystemExit("unknown kind " + kind)
        data = bytearray(buffer.getvalue())
        if kind == "understated":
            patch_header_field(data, "FW/a.bin", 24, 22, "<I", 1000)
        elif kind == "understated-crc":
            import zlib
            patch_header_field(data, "FW/a.bin", 24, 22, "<I", 1000)
            patch_header_field(data, "FW/a.bin", 16, 14, "<I", zlib.crc32(payload(300_000, 1)[:1000]))
        elif kind == "overstated":
            patch_header_field(data, "FW/a.bin", 24, 22, "<I", 400_000)
        elif kind == "corrupt-deflated":
            corrupt_entry(data, "FW/a.bin")
        elif kind == "corrupt-stored":
            corrupt_entry(data, "FW/b.bin")
        elif kind == "names":
            data = data.replace(b"nulXname.txt", b"nul\x00name.txt")
    with open(output, "wb") as out:
        out.write(data)


main()
