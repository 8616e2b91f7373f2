#!/usr/bin/python3
"""Writes a bare BIFF8 workbook stream whose one sheet holds every layout record the reader
knows (view, panes, selection, zoom, tab colour, page breaks, protection, drawings, rules),
a seed of the .xls reader's fuzz target:

    /usr/bin/python3 make_layout_seed.py ../../../fuzz/seeds/xls_reader/layout-records.workbook-stream
"""
import struct
import sys


def record(kind, data=b""):
    return struct.pack("<HH", kind, len(data)) + data


def future(kind):
    return struct.pack("<HH8x", kind, 0)


def sheet_records():
    out = b""
    out += record(0x0055, struct.pack("<H", 9))
    out += record(0x0099, struct.pack("<H", 10 * 256))
    out += record(0x0225, struct.pack("<HH", 1, 320))
    out += record(0x0080, struct.pack("<HHHH", 0, 0, 2, 2))
    out += record(0x0081, struct.pack("<H", 0x04C1))
    out += record(0x0014, struct.pack("<HB", 6, 0) + b"&CHead")
    out += record(0x0015, struct.pack("<HB", 6, 0) + b"&RFoot")
    out += record(0x0083, struct.pack("<H", 1))
    out += record(0x0084, struct.pack("<H", 1))
    out += record(0x002A, struct.pack("<H", 1))
    out += record(0x002B, struct.pack("<H", 1))
    out += record(0x001B, struct.pack("<HHHH", 1, 10, 0, 255))
    out += record(0x001A, struct.pack("<HHHH", 1, 3, 0, 65535))
    for kind, inches in ((0x0026, 1.0), (0x0027, 0.5), (0x0028, 1.25), (0x0029, 0.8)):
        out += record(kind, struct.pack("<d", inches))
    out += record(0x00A1, struct.pack("<HHhHHHHHddH", 9, 90, 1, 1, 0, 0x0082, 300, 300,
                                      0.4, 0.35, 1))
    out += record(0x0012, struct.pack("<H", 1))
    out += record(0x0013, struct.pack("<H", 0xDAA7))
    out += record(0x0063, struct.pack("<H", 1))
    out += record(0x00DD, struct.pack("<H", 1))
    out += record(0x007D, struct.pack("<HHHHHH", 0, 0, 5120, 15, 0x0002, 0))
    out += record(0x007D, struct.pack("<HHHHHH", 1, 2, 3000, 15, 0x1101, 0))
    out += record(0x0200, struct.pack("<IIHHH", 0, 3, 0, 2, 0))
    for row, flags in ((0, 0x0140), (1, 0x0121), (2, 0x0111)):
        out += record(0x0208, struct.pack("<HHHHHHHH", row, 0, 2, 600, 0, 0, flags, 0x0F))
    out += record(0x0203, struct.pack("<HHHd", 0, 0, 15, 1.5))
    out += record(0x0203, struct.pack("<HHHd", 2, 1, 15, 2.5))
    obj = struct.pack("<HHHHH12s", 0x15, 0x12, 5, 1, 0, b"") + struct.pack("<HH", 0, 0)
    out += record(0x005D, obj)
    out += record(0x01B0, struct.pack("<HHHHHHHHH", 1, 1, 0, 0, 0, 0, 1, 0, 0))
    out += record(0x01B2, struct.pack("<HIIII", 0, 0, 0, 0xFFFFFFFF, 0))
    out += record(0x009D, struct.pack("<H", 2))
    out += record(0x023E, struct.pack("<HHHHHHHI", 0x06B6 | 0x0108 | 0x0040, 0, 0, 64, 0, 0, 0, 0))
    out += record(0x00A0, struct.pack("<hh", 3, 2))
    out += record(0x0041, struct.pack("<HHHHBx", 1, 1, 1, 1, 0))
    out += record(0x001D, struct.pack("<BHHHHHHBB", 0, 4, 2, 0, 1, 4, 4, 2, 2))
    out += record(0x00E5, struct.pack("<HHHHH", 1, 0, 1, 1, 2))
    out += record(0x0862, future(0x0862) + struct.pack("<II", 0x14, 12))
    out += record(0x0867, future(0x0867) + struct.pack("<HBII", 2, 0, 0xFFFFFFFF, 0x4408))
    return out


def stream():
    bof_globals = record(0x0809, struct.pack("<HHHHII", 0x0600, 0x0005, 0, 0, 0, 6))
    bof_sheet = record(0x0809, struct.pack("<HHHHII", 0x0600, 0x0010, 0, 0, 0, 6))
    window1 = record(0x003D, struct.pack("<HHHHHHHHH", 0, 0, 9000, 6000, 0x38, 0, 0, 1, 600))
    name = b"Layout"

    def globals_part(position):
        sheet = record(0x0085, struct.pack("<IBBBB", position, 0, 0, len(name), 0) + name)
        return bof_globals + window1 + sheet + record(0x000A)

    position = len(globals_part(0))
    return globals_part(position) + bof_sheet + sheet_records() + record(0x000A)


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(stream())
