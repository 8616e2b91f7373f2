#!/usr/bin/env python3
"""Writes two bare workbook streams into fuzz/seeds/xls_reader/ for the records of links and
notes: a BIFF8 stream with hyperlinks of every kind of target (web address with a place in
it, mail, file with parent folders, a place in the workbook, a moniker saved as text), a
tooltip, and notes whose text objects go on in CONTINUE records with formatting runs; and a
BIFF5 stream with a note whose text goes on in a second NOTE record.

    fuzz/make_xls_note_seeds.py     (from anywhere)
"""

import struct
from pathlib import Path

SEEDS = Path(__file__).resolve().parent / "seeds" / "xls_reader"
URL = bytes.fromhex("e0c9ea79f9bace118c8200aa004ba90b")
FILE = bytes.fromhex("0303000000000000c000000000000046")


def record(kind, data):
    return struct.pack("<HH", kind, len(data)) + data


def wide(text):
    return text.encode("utf-16-le")


def link_string(text):
    return struct.pack("<I", len(text) + 1) + wide(text) + b"\0\0"


def ref8(first_row, last_row, first_col, last_col):
    return struct.pack("<HHHH", first_row, last_row, first_col, last_col)


def hlink(ref, flags, body):
    return record(0x01B8, ref + URL + struct.pack("<II", 2, flags) + body)


def url_moniker(url):
    text = wide(url) + b"\0\0"
    return URL + struct.pack("<I", len(text)) + text


def file_moniker(parents, path):
    text = wide(path)
    return (FILE + struct.pack("<HI", parents, len(path) + 1) + path.encode("latin-1") + b"\0" +
            struct.pack("<HH", 0xFFFF, 0xDEAD) + b"\0" * 20 +
            struct.pack("<IIH", len(text) + 6, len(text), 3) + text)


def note_text(object_id, text, runs):
    obj = record(0x005D, struct.pack("<HHHH", 0x15, 0x12, 0x19, object_id) + b"\0" * 18)
    run_bytes = b"".join(struct.pack("<HH", first, font) + b"\0" * 4 for first, font in runs)
    txo = record(0x01B6, struct.pack("<H", 0x12) + b"\0" * 8 +
                 struct.pack("<HH", len(text), len(run_bytes)) + b"\0" * 4)
    half = len(text) // 2
    return (obj + txo + record(0x003C, b"\0" + text[:half].encode("latin-1")) +
            record(0x003C, b"\1" + wide(text[half:])) + record(0x003C, run_bytes))


def note(row, col, object_id, author):
    return record(0x001C, struct.pack("<HHHHHB", row, col, 2, object_id, len(author), 0) +
                  author.encode("latin-1") + b"\0")


def stream(version, globals_records, sheet_records):
    bof = struct.pack("<HH", version, 5) + b"\0" * 12
    sheet_bof = struct.pack("<HH", version, 0x10) + b"\0" * 12
    name = (b"\x05\x00" if version == 0x600 else b"\x05") + b"Sheet"

    def head(position):
        return (record(0x0809, bof) + globals_records +
                record(0x0085, struct.pack("<IBB", position, 0, 0) + name) + record(0x000A, b""))

    position = len(head(0))
    return head(position) + record(0x0809, sheet_bof) + sheet_records + record(0x000A, b"")


def main():
    a1, b2 = ref8(0, 0, 0, 0), ref8(1, 3, 1, 2)
    fonts = b"".join(
        record(0x0031, struct.pack("<HHHHHBBBB", size, flags, color, weight, 0, 0, 0, 0, 0) +
               bytes([len(name), 0]) + name.encode("latin-1"))
        for size, flags, color, weight, name in
        [(200, 0, 0x7FFF, 400, "Arial"), (160, 2, 8, 700, "Tahoma"), (180, 8, 10, 400, "Serif"),
         (200, 0, 0x7FFF, 400, "Arial"), (160, 0, 0x40, 400, "Tahoma")])
    palette = record(0x0092, struct.pack("<H", 1) + bytes([0x11, 0x22, 0x33, 0]))
    sheet = (hlink(a1, 0x1F, link_string("web") + url_moniker("https://example.com/") +
                   link_string("part")) +
             hlink(ref8(1, 1, 0, 0), 0x03, url_moniker("mailto:a@example.com")) +
             hlink(ref8(2, 2, 0, 0), 0x01, file_moniker(2, "reports\\sum.xls")) +
             hlink(ref8(3, 3, 0, 0), 0x08, link_string("'Other'!B4")) +
             hlink(b2, 0x181, link_string("_blank") + link_string("http://x.org/")) +
             record(0x0800, struct.pack("<H", 0x800) + b2 + wide("A tip") + b"\0\0") +
             note_text(1, "Author:\nnote text", [(0, 1), (7, 0), (8, 5), (17, 0)]) +
             note(4, 4, 1, "Ann") + note_text(2, "second", []) + note(5, 1, 2, "Bob"))
    (SEEDS / "links_and_notes.workbook-stream").write_bytes(
        stream(0x600, record(0x0042, struct.pack("<H", 1200)) + palette + fonts, sheet))
    early = (record(0x001C, struct.pack("<HHH", 1, 0, 10) + b"Gr\xfc\xdf") +
             record(0x001C, struct.pack("<HHH", 0xFFFF, 0, 6) + b" dir x"))
    (SEEDS / "biff5_notes.workbook-stream").write_bytes(
        stream(0x500, record(0x0042, struct.pack("<H", 1252)), early))


if __name__ == "__main__":
    main()
