#!/usr/bin/env python3
"""Writes a workbook someone else might have made, built with openpyxl (an independent
writer) and then re-packed with one part changed or one size claim falsified.

    hostile_workbook.py KIND OUT

KIND: plain, huge-declared (xl/workbook.xml claims 2**50 bytes), lying-size (xl/styles.xml
claims 1000 bytes and holds megabytes), big-part (xl/styles.xml really holds 40 MB),
unclosed-xf, selfclosing-numfmts, huge-numfmtid."""
import datetime, io, re, struct, sys, zipfile, zlib

import openpyxl


def base():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = 'Existing'
    ws['A1'] = 'kept'
    ws['B1'] = datetime.datetime(2020, 1, 2, 3, 4, 5)
    ws['B1'].number_format = 'dd.mm.yyyy hh:mm'
    buf = io.BytesIO()
    wb.save(buf)
    z = zipfile.ZipFile(io.BytesIO(buf.getvalue()))
    return [(n, z.read(n)) for n in z.namelist()]


def pack(entries, claims):
    """A zip of deflated entries; claims maps a name to the uncompressed size its headers
    state (zip64 fields when it does not fit 32 bits)."""
    out = io.BytesIO()
    central = []
    for name, data in entries:
        c = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = c.compress(data) + c.flush()
        size = claims.get(name, len(data))
        crc = zlib.crc32(data)
        big = size >= 0xFFFFFFFF
        extra = struct.pack('<HHQQ', 1, 16, size, len(packed)) if big else b''
        s32, c32 = (0xFFFFFFFF, 0xFFFFFFFF) if big else (size, len(packed))
        version = 45 if big else 20
        offset = out.tell()
        fname = name.encode()
        out.write(struct.pack('<IHHHHHIIIHH', 0x04034B50, version, 0, 8, 0, 0x21, crc, c32, s32, len(fname), len(extra)))
        out.write(fname + extra + packed)
        central.append(struct.pack('<IHHHHHHIIIHHHHHII', 0x02014B50, version, version, 0, 8, 0, 0x21, crc, c32, s32,
                                   len(fname), len(extra), 0, 0, 0, 0, offset) + fname + extra)
    start = out.tell()
    for c in central:
        out.write(c)
    out.write(struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, len(central), len(central), out.tell() - start, start, 0))
    return out.getvalue()


def main():
    kind, path = sys.argv[1], sys.argv[2]
    entries = base()
    parts = dict(entries)
    styles = parts['xl/styles.xml'].decode()
    claims = {}
    if kind == 'huge-declared':
        claims['xl/workbook.xml'] = 2 ** 50
    elif kind == 'lying-size':
        parts['xl/styles.xml'] = styles.encode() + b' ' * (8 << 20)
        claims['xl/styles.xml'] = 1000
    elif kind == 'big-part':
        parts['xl/styles.xml'] = styles.encode() + b' ' * (40 << 20)
    elif kind == 'unclosed-xf':
        parts['xl/styles.xml'] = re.sub(r'(<cellXfs[^>]*>\s*<xf\b[^>]*?)\s*/>', r'\1>', styles, count=1).encode()
    elif kind == 'selfclosing-numfmts':
        # No format of its own: the date cell falls back to a built-in format (14).
        s = re.sub(r'<numFmts\b.*?</numFmts>', '<numFmts count="0"/>', styles, flags=re.S)
        parts['xl/styles.xml'] = re.sub(r'numFmtId="16[4-9]"', 'numFmtId="14"', s).encode()
    elif kind == 'huge-numfmtid':
        parts['xl/styles.xml'] = re.sub(r'numFmtId="164"', 'numFmtId="4294967295"', styles).encode()
    elif kind != 'plain':
        sys.exit('unknown kind ' + kind)
    with open(path, 'wb') as f:
        f.write(pack([(n, parts[n]) for n, _ in entries], claims))


main()
