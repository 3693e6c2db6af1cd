#!/usr/bin/env python3
"""The payload records of setup.exe: the SHA-256 of every Package file it copies, inside the program itself.

  payload-records.py write SETUP_EXE PACKAGE_DIR [NAME...]   records NAME... of PACKAGE_DIR in SETUP_EXE
  payload-records.py check SETUP_EXE PACKAGE_DIR [NAME...]   checks that SETUP_EXE records exactly NAME..., each
                                                             with the digest of its file in PACKAGE_DIR
  payload-records.py show SETUP_EXE                          prints the records

Without names: every file setup.exe copies from Package, in the order make dist checks them.

setup.exe is built with an empty table (src/core/install/payload_records.h): a 16-byte marker, the count and a
reserved word (little-endian), then 16 entries of a NUL-padded ASCII name of 32 bytes and a 32-byte digest.
`write` fills it in place and brings the PE checksum up to date; the medium is signed after it, so the
signature covers the records. The marker must occur exactly once in the file.
"""
import hashlib
import struct
import sys
from pathlib import Path

FILES = ["rudize.exe", "mscomctl.ocx", "comdlg32.ocx", "mscomct2.ocx", "MSCC2JP.DLL", "TransLh6.ocx",
         "MSMAPI32.OCX", "MSMPIJP.DLL", "UNLHA32.DLL", "vb6jp.DLL", "RoVur.dll", "ZozuvOvero.dll"]
MARKER = b"HorundePayload#1"
CAPACITY = 16
NAME_SIZE = 32
HEADER = len(MARKER) + 8
ENTRY = NAME_SIZE + 32
TABLE = HEADER + CAPACITY * ENTRY


def die(message):
    print(f"payload-records: {message}", file=sys.stderr)
    sys.exit(1)


def locate(data, exe):
    at = data.find(MARKER)
    if at < 0:
        die(f"{exe} has no record table")
    if data.find(MARKER, at + 1) >= 0:
        die(f"{exe} holds the table's marker more than once")
    if at + TABLE > len(data):
        die(f"{exe} ends inside its record table")
    return at


def read_records(data, at):
    count, _ = struct.unpack_from("<II", data, at + len(MARKER))
    records = []
    for i in range(min(count, CAPACITY)):
        entry = data[at + HEADER + i * ENTRY:at + HEADER + (i + 1) * ENTRY]
        name = entry[:NAME_SIZE].split(b"\0", 1)[0].decode("ascii", "replace")
        records.append((name, entry[NAME_SIZE:].hex()))
    return count, records


def digest(path):
    if not Path(path).is_file():
        die(f"no such file to record: {path}")
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


def pe_checksum(data):
    """The PE image checksum: 16-bit one's-complement sum of the file without its checksum field, plus its size."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    field = pe + 24 + 64  # the CheckSum field of the optional header
    total = 0
    padded = data + b"\0" * (len(data) % 2)
    for i in range(0, len(padded), 2):
        if field <= i < field + 4:
            continue
        total += padded[i] | padded[i + 1] << 8
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return field, (total + len(data)) & 0xFFFFFFFF


def write(exe, package, names):
    data = bytearray(Path(exe).read_bytes())
    at = locate(data, exe)
    if len(names) > CAPACITY:
        die(f"{len(names)} files, but the table holds {CAPACITY}")
    table = bytearray(MARKER + struct.pack("<II", len(names), 0))
    for name in names:
        raw = name.encode("ascii")
        if not raw or len(raw) >= NAME_SIZE:
            die(f"the name {name!r} does not fit the table")
        table += raw.ljust(NAME_SIZE, b"\0") + bytes.fromhex(digest(Path(package) / name))
    table = table.ljust(TABLE, b"\0")
    data[at:at + TABLE] = table
    field, checksum = pe_checksum(bytes(data))
    if struct.unpack_from("<I", data, field)[0] != 0:  # a program built with a checksum keeps a right one
        struct.pack_into("<I", data, field, checksum)
    Path(exe).write_bytes(data)


def check(exe, package, names):
    data = Path(exe).read_bytes()
    count, records = read_records(data, locate(data, exe))
    problems = []
    if count != len(names) or [n for n, _ in records] != list(names):
        problems.append(f"records {[n for n, _ in records]} (count {count}), expected {list(names)}")
    for name, recorded in records:
        path = Path(package) / name
        if not path.is_file():
            problems.append(f"{name}: not in {package}")
        elif digest(path) != recorded:
            problems.append(f"{name}: recorded {recorded}, the file has {digest(path)}")
    for p in problems:
        print(f"  {p}")
    return not problems


def main(argv):
    if len(argv) >= 4 and argv[1] == "write":
        write(argv[2], argv[3], argv[4:] or FILES)
    elif len(argv) >= 4 and argv[1] == "check":
        return 0 if check(argv[2], argv[3], argv[4:] or FILES) else 1
    elif len(argv) == 3 and argv[1] == "show":
        data = Path(argv[2]).read_bytes()
        count, records = read_records(data, locate(data, argv[2]))
        print(f"{count} records")
        for name, recorded in records:
            print(f"{recorded}  {name}")
    else:
        die("usage: payload-records.py write|check SETUP_EXE PACKAGE_DIR [NAME...] | show SETUP_EXE")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
