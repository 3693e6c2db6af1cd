#!/usr/bin/env python3
"""Prints the version resource of a PE file, one KEY=VALUE a line: the fixed file and product versions,
then every string of the StringFileInfo tables. Reads the file itself rather than trusting a tool that
might skip a damaged resource: signing must leave this resource exactly as it was built."""
import struct
import sys

RT_VERSION = 16


def rva_to_offset(sections, rva):
    for va, vsize, raw, rawsize in sections:
        if va <= rva < va + max(vsize, rawsize):
            return raw + rva - va
    raise ValueError(f"RVA {rva:#x} is in no section")


def first_leaf(data, sections, rsrc_off, entry_rva_off, depth):
    """Follows the first entry of each level below a resource directory down to its data."""
    off = rsrc_off + entry_rva_off
    if depth == 0:
        rva, size = struct.unpack_from("<II", data, off)
        start = rva_to_offset(sections, rva)
        return data[start:start + size]
    named, ids = struct.unpack_from("<HH", data, off + 12)
    if named + ids == 0:
        raise ValueError("empty resource directory")
    _, target = struct.unpack_from("<II", data, off + 16)
    return first_leaf(data, sections, rsrc_off, target & 0x7FFFFFFF, depth - 1)


def version_resource(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    nsections = struct.unpack_from("<H", data, pe + 6)[0]
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    rsrc_rva, _ = struct.unpack_from("<II", data, dirs + 2 * 8)
    sections = []
    for i in range(nsections):
        s = opt + opt_size + 40 * i
        vsize, va, rawsize, raw = struct.unpack_from("<IIII", data, s + 8)
        sections.append((va, vsize, raw, rawsize))
    rsrc = rva_to_offset(sections, rsrc_rva)
    named, ids = struct.unpack_from("<HH", data, rsrc + 12)
    for i in range(named + ids):
        ident, target = struct.unpack_from("<II", data, rsrc + 16 + 8 * i)
        if ident == RT_VERSION:
            return first_leaf(data, sections, rsrc, target & 0x7FFFFFFF, 2)
    raise ValueError("no version resource")


def align4(n):
    return (n + 3) & ~3


def node(blob, off):
    """One VS_VERSIONINFO-style node: (key, value bytes, value type, children offsets range, end)."""
    length, value_len, vtype = struct.unpack_from("<HHH", blob, off)
    end = off + length
    p = off + 6
    k = p
    while blob[k:k + 2] != b"\0\0":
        k += 2
    key = blob[p:k].decode("utf-16-le")
    p = align4(k + 2)
    vbytes = value_len * 2 if vtype == 1 else value_len
    value = blob[p:p + vbytes]
    p = align4(p + vbytes)
    return key, value, vtype, p, end


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    blob = version_resource(data)
    key, value, _, child, end = node(blob, 0)
    if key != "VS_VERSION_INFO" or struct.unpack_from("<I", value, 0)[0] != 0xFEEF04BD:
        raise ValueError("malformed version resource")
    fms, fls, pms, pls = struct.unpack_from("<IIII", value, 8)
    print(f"FixedFileVersion={fms >> 16}.{fms & 0xFFFF}.{fls >> 16}.{fls & 0xFFFF}")
    print(f"FixedProductVersion={pms >> 16}.{pms & 0xFFFF}.{pls >> 16}.{pls & 0xFFFF}")
    while child < end:
        ckey, _, _, tables, cend = node(blob, child)
        if ckey == "StringFileInfo":
            while tables < cend:
                _, _, _, strings, tend = node(blob, tables)
                while strings < tend:
                    skey, svalue, _, _, send = node(blob, strings)
                    print(f"{skey}={svalue.decode('utf-16-le').rstrip(chr(0))}")
                    strings = align4(send)
                tables = align4(tend)
        child = align4(cend)


if __name__ == "__main__":
    try:
        main()
    except (ValueError, struct.error, IndexError, UnicodeDecodeError) as e:
        print(f"pe-version: {sys.argv[1]}: {e}", file=sys.stderr)
        sys.exit(1)
