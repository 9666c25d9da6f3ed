#!/usr/bin/env python3
"""Builds the small hand-made LHA archives of tests/unlha32/data: the
malformed ones in malformed/ and, in valid/, sound ones whose names are in code
page 932 or marked as UTF-8 by the code-page extension.

Each archive is either made from hand-built headers (stored, -lh0- data) or
derived from seed-lh5.lzh, a valid level-2 -lh5- archive of three files and a
folder written by `jlha -c2o5 seed-lh5.lzh fox.txt sub empty`. Run from any
folder:

    python3 tests/unlha32/data/make_malformed.py

The output is deterministic; commit the .lzh files it writes. What each one
must do to the extractor is listed in tests/unlha32/test_malformed.cpp.
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "malformed")
VALID = os.path.join(HERE, "valid")
MTIME = 1_600_000_000  # fixed, so the files do not change between runs


def crc16(data, crc=0):
    """CRC-16 of LHA (reflected 0x8005, start 0)."""
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def dos_time(t=MTIME):
    import time
    tm = time.gmtime(t)
    date = ((tm.tm_year - 1980) << 9) | (tm.tm_mon << 5) | tm.tm_mday
    clock = (tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec // 2)
    return struct.pack("<HH", clock, date)


def level0(name, data, method=b"-lh0-", orig=None, crc=None, unix_mode=None):
    """Level-0 header; unix_mode adds the 12-byte 'U' extension."""
    orig = len(data) if orig is None else orig
    crc = crc16(data) if crc is None else crc
    body = method + struct.pack("<II", len(data), orig) + dos_time() + b"\x20\x00"
    body += bytes([len(name)]) + name + struct.pack("<H", crc)
    if unix_mode is not None:
        body += b"U\x00" + struct.pack("<IHHH", MTIME, unix_mode, 0, 0)
    return bytes([len(body), sum(body) & 0xFF]) + body + data


def level1(name, data, dirname=None, wide=False):
    """Level-1 header; extensions follow the base header and, as the format has
    it, count in the packed size: a directory, and with `wide` the 64-bit
    sizes, whose packed size counts them too."""
    chain = []
    if dirname is not None:
        chain.append(ext(0x02, dirname.replace(b"/", b"\xff") + b"\xff"))
    if wide:
        chain.append(ext(0x42, b"\x00" * 16))
    # Each extension ends in the size of the next; the base header holds the first's.
    sizes = [len(e) + 2 for e in chain] + [0]
    exts = b"".join(e + struct.pack("<H", sizes[i + 1]) for i, e in enumerate(chain))
    first = sizes[0]
    if wide:
        at = exts.index(b"\x42" + b"\x00" * 16) + 1
        exts = exts[:at] + struct.pack("<QQ", len(data) + len(exts), len(data)) + exts[at + 16:]
    body = b"-lh0-" + struct.pack("<II", len(data) + len(exts), len(data)) + dos_time()
    body += b"\x20\x01" + bytes([len(name)]) + name + struct.pack("<H", crc16(data)) + b"U"
    body += struct.pack("<H", first)
    return bytes([len(body), sum(body) & 0xFF]) + body + exts + data


def ext(kind, payload):
    return bytes([kind]) + payload


def level2(name, data, method=b"-lh0-", orig=None, crc=None, dirname=None, unix_mode=None,
           extra=(), header_crc=True, break_header_crc=False, size_fixup=0):
    """Level-2 header with a header-CRC extension; names in the filename and
    directory extensions ('/' becomes 0xFF in the directory)."""
    orig = len(data) if orig is None else orig
    crc = crc16(data) if crc is None else crc
    exts = []
    if header_crc:
        exts.append(ext(0x00, b"\x00\x00"))
    exts.append(ext(0x01, name))
    if dirname is not None:
        exts.append(ext(0x02, dirname.replace(b"/", b"\xff") + b"\xff"))
    if unix_mode is not None:
        exts.append(ext(0x50, struct.pack("<H", unix_mode)))
    exts.extend(extra)
    chain = b""
    for e in exts:
        chain += struct.pack("<H", len(e) + 2) + e
    chain += b"\x00\x00"
    fixed = method + struct.pack("<IIi", len(data), orig, MTIME) + b"\x20\x02"
    fixed += struct.pack("<H", crc) + b"U"
    size = 2 + len(fixed) + len(chain)
    header = bytearray(struct.pack("<H", size + size_fixup) + fixed + chain)
    if header_crc:
        # The CRC extension is the first one: right after the first size field.
        at = 2 + len(fixed) + 2 + 1
        value = crc16(bytes(header))
        if break_header_crc:
            value ^= 0x5A5A
        header[at:at + 2] = struct.pack("<H", value)
    return bytes(header) + data


def level3(name, data):
    """Level-3 header: as level 2, with 4-byte sizes and a header CRC."""
    exts = [ext(0x00, b"\x00\x00"), ext(0x01, name)]
    chain = b"".join(struct.pack("<I", len(e) + 4) + e for e in exts) + b"\x00" * 4
    fixed = b"-lh0-" + struct.pack("<IIi", len(data), len(data), MTIME) + b"\x20\x03"
    fixed += struct.pack("<H", crc16(data)) + b"U"
    header = bytearray(struct.pack("<H", 4) + fixed)
    header += struct.pack("<I", len(header) + 4 + len(chain)) + chain
    at = 28 + 4 + 1  # the CRC extension's value
    header[at:at + 2] = struct.pack("<H", crc16(bytes(header)))
    return bytes(header) + data


def archive(*entries):
    return b"".join(entries) + b"\x00"


def seed():
    with open(os.path.join(HERE, "seed-lh5.lzh"), "rb") as f:
        return f.read()


def first_data_offset(data):
    """Offset of the first entry's compressed data in a level-2 archive."""
    return struct.unpack_from("<H", data, 0)[0]


def entry_ends(data):
    """Offsets where each entry of a level-2 archive ends."""
    ends, at = [], 0
    while data[at] != 0:
        at += struct.unpack_from("<H", data, at)[0] + struct.unpack_from("<I", data, at + 7)[0]
        ends.append(at)
    return ends


def corrupt_huffman(fill):
    """Overwrites the first entry's Huffman table area, keeping the header."""
    data = bytearray(seed())
    start = first_data_offset(data)
    data[start + 2:start + 12] = bytes([fill]) * 10
    return bytes(data)


def lying_lh5_size():
    """The first entry declares a much larger original size than its data holds."""
    data = bytearray(seed())
    struct.pack_into("<I", data, 11, 5_000_000)
    # Re-seal the level-2 header CRC so only the size lies.
    size = struct.unpack_from("<H", data, 0)[0]
    header = bytearray(data[:size])
    pos = 24
    while True:
        next_size = struct.unpack_from("<H", header, pos)[0]
        if next_size == 0:
            break
        if header[pos + 2] == 0x00:
            crc_at = pos + 3
        pos += next_size
    header[crc_at:crc_at + 2] = b"\x00\x00"
    header[crc_at:crc_at + 2] = struct.pack("<H", crc16(bytes(header)))
    data[:size] = header
    return bytes(data)


TEXT = b"This entry should never reach the disk.\n"
GOOD = b"A good entry.\n"


def cases():
    s = seed()
    yield "truncated-header", s[:15]
    yield "truncated-data", s[:first_data_offset(s) + 20]
    # Three whole entries of four and no end mark: it must not pass for a
    # sound archive of three.
    yield "cut-at-entry", s[:entry_ends(s)[2]]
    yield "bad-header-crc", archive(level2(b"file.txt", TEXT, break_header_crc=True))
    bad_sum = bytearray(archive(level0(b"file.txt", TEXT)))
    bad_sum[1] ^= 0xFF
    yield "bad-header-sum-level0", bytes(bad_sum)
    yield "bad-data-crc", archive(level2(b"file.txt", TEXT, crc=crc16(TEXT) ^ 0x1234))
    yield "lying-size-larger", archive(level2(b"file.txt", TEXT, orig=len(TEXT) + 1000))
    yield "lying-size-smaller", archive(level2(b"file.txt", TEXT, orig=5))
    yield "lying-size-lh5", lying_lh5_size()
    yield "ext-header-overrun", archive(level2(b"file.txt", TEXT, extra=[b"\x7f" + b"\x00" * 4],
                                               size_fixup=-6))
    yield "ext-header-tiny", archive(
        level2(b"file.txt", TEXT, header_crc=False)[:24] + b"\x01\x00" + b"\x00" * 8)
    yield "huffman-ff", corrupt_huffman(0xFF)
    yield "huffman-00", corrupt_huffman(0x00)
    yield "dotdot", archive(level2(b"evil.txt", TEXT, dirname=b".."))
    yield "dotdot-nested", archive(level2(b"evil.txt", TEXT, dirname=b"a/../.."))
    yield "dotdot-level0", archive(level0(b"..\\evil.txt", TEXT))
    yield "absolute", archive(level2(b"unlha32-absolute-evil.txt", TEXT, dirname=b"/tmp"))
    yield "absolute-level0", archive(level0(b"\\tmp\\unlha32-absolute-evil.txt", TEXT))
    yield "drive-letter", archive(level0(b"C:\\evil.txt", TEXT))
    yield "drive-letter-relative", archive(level0(b"C:evil.txt", TEXT))
    yield "unc-backslash", archive(level0(b"\\\\server\\share\\evil.txt", TEXT))
    yield "unc-slash", archive(level2(b"evil.txt", TEXT, dirname=b"//server/share"))
    yield "symlink", archive(level2(b"link|/tmp", b"", unix_mode=0o120777))
    yield "symlink-then-file", archive(
        level2(b"link|..", b"", unix_mode=0o120777),
        level2(b"evil.txt", TEXT, dirname=b"link"))
    yield "good-then-dotdot", archive(level2(b"good.txt", GOOD), level2(b"evil.txt", TEXT,
                                                                       dirname=b".."))
    yield "good-then-bad-crc", archive(level2(b"good.txt", GOOD),
                                       level2(b"bad.txt", TEXT, crc=0xBEEF))
    yield "not-lha", b"PK\x03\x04 this is something else entirely" + bytes(64)
    # A terminal title sequence, a bell and a C1 CSI (UTF-8 names) in a name
    # that is refused anyway.
    yield "dotdot-control-chars", archive(
        level2(b"\x1b]0;owned\x07\xc2\x9b2Jevil.txt", TEXT, dirname=b"..",
               extra=[ext(0x46, struct.pack("<I", 65001))]))
    # An undecodable name in a damaged header: getting past the name must not
    # get past the damage.
    cafe_sum = bytearray(archive(level0(b"caf\xe9.txt", TEXT)))
    cafe_sum[1] ^= 0xFF
    yield "bad-header-sum-undecodable", bytes(cafe_sum)
    yield "bad-header-crc-undecodable", archive(level2(b"caf\xe9.txt", TEXT,
                                                       break_header_crc=True))
    # Past the stray byte, the name is still refused for what it is.
    yield "dotdot-undecodable", archive(level2(b"caf\xe9.txt", TEXT, dirname=b".."))
    # Declares a petabyte (64-bit size extension) for a few bytes of data.
    yield "bomb-declared-size", archive(
        level2(b"good.txt", GOOD),
        level2(b"bomb.bin", TEXT, extra=[ext(0x42, struct.pack("<QQ", len(TEXT), 1 << 50))]),
        level2(b"after.txt", GOOD))
    # The 64-bit size extension declares an original size of -1.
    yield "negative-declared-size", archive(
        level2(b"good.txt", GOOD),
        level2(b"minus.bin", TEXT, extra=[ext(0x42, struct.pack("<Qq", len(TEXT), -1))]))


def valid_cases():
    sjis = lambda text: text.encode("cp932")
    # Level 0 separates with '\\'; the second bytes of "表" and "ソ" are 0x5C
    # too and must not split the name.
    yield "cp932-level0", archive(level0(sjis("表示\\ソース.txt"), GOOD))
    yield "cp932-level2", archive(level2(sjis("書類.txt"), GOOD, dirname=sjis("フォルダ"),
                                         unix_mode=0o100640))
    yield "setuid", archive(level2(b"tool", GOOD, unix_mode=0o106755))
    # A file whose folders have no entries of their own.
    yield "nested-file", archive(level2(b"f", GOOD, dirname=b"d1/d2"))
    # One file 1,100 folders down, the folders without entries of their own.
    yield "deep-file", archive(level2(b"leaf.txt", GOOD, dirname=b"/".join([b"d"] * 1100)))
    # One path spelled with '\\' and one with "./": both extract into sub/.
    yield "spelled-paths", archive(level2(b"sub\\f.txt", GOOD),
                                   level2(b"g.txt", GOOD, dirname=b"./sub"))
    # A folder entry for the archive's top ("./"), as some writers store it.
    yield "top-folder", archive(level2(b"", b"", method=b"-lhd-", dirname=b"."),
                                level2(b"good.txt", GOOD))
    # Names that decode neither as code page 932 nor, marked so, as UTF-8: a
    # Latin-1 name from a Unix system, or raw bytes from an older writer.
    cafe = b"caf\xe9.txt"
    yield "undecodable-level0", archive(level0(b"good.txt", GOOD), level0(cafe, GOOD),
                                        level0(b"after.txt", GOOD))
    yield "undecodable-level1", archive(level1(b"good.txt", GOOD),
                                        level1(b"f.txt", GOOD, dirname=b"d\xe9"),
                                        level1(b"after.txt", GOOD))
    # The 64-bit sizes of level 1 count the extensions, as the 32-bit field does.
    yield "undecodable-level1-wide", archive(level1(b"good.txt", GOOD, wide=True),
                                             level1(cafe, GOOD, wide=True),
                                             level1(b"after.txt", GOOD, wide=True))
    yield "undecodable-level2", archive(level2(b"good.txt", GOOD), level2(cafe, GOOD),
                                        level2(b"after.txt", GOOD))
    yield "undecodable-level3", archive(level3(b"good.txt", GOOD), level3(cafe, GOOD),
                                        level3(b"after.txt", GOOD))
    yield "undecodable-utf8", archive(level2(b"good.txt", GOOD),
                                      level2(cafe, GOOD,
                                             extra=[ext(0x46, struct.pack("<I", 65001))]),
                                      level2(b"after.txt", GOOD))
    # One name twice, and a file under the name of a file that follows: each
    # path is placed once, and the entry that cannot be is not counted done.
    yield "same-name-twice", archive(level2(b"same.txt", b"first\n"),
                                     level2(b"same.txt", b"second\n"))
    yield "file-then-its-folder-name", archive(level2(b"b", GOOD, dirname=b"a"),
                                               level2(b"a", GOOD))
    yield "utf8-codepage", archive(level2("日本語.txt".encode("utf-8"), GOOD,
                                          extra=[ext(0x46, struct.pack("<I", 65001))]))
    # A name holding a control character, which a listing shows escaped.
    yield "tab-in-name", archive(level2(b"a\tb.txt", GOOD), level2(b"c.txt", GOOD))
    # A folder entry under the name of the file before it: the folder fails.
    yield "folder-after-its-file-name", archive(level2(b"a", GOOD),
                                                level2(b"", b"", method=b"-lhd-", dirname=b"a"))


def write_all(folder, items):
    os.makedirs(folder, exist_ok=True)
    for name, data in items:
        with open(os.path.join(folder, name + ".lzh"), "wb") as f:
            f.write(data)


def main():
    write_all(OUT, cases())
    write_all(VALID, valid_cases())


if __name__ == "__main__":
    main()
