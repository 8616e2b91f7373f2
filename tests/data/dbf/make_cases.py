#!/usr/bin/env python3
"""Writes the .dbf test tables of this folder and, beside each, cells.txt: the cells a reader
must give, derived here from the values written (not from any reader), in the format of the
golden dumps (tests/data/README.md): the one sheet, then a line a cell,
<sheet>!<cell> TAB <type> TAB <value> [TAB date]; types n number, t text, b boolean.
Texts escape backslash, tab, CR and LF as \\\\, \\t, \\r and \\n."""
import datetime
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
EPOCH = datetime.date(1899, 12, 30)


def serial(d):
    return (d - EPOCH).days


def col_name(i):
    name = ""
    i += 1
    while i:
        i, r = divmod(i - 1, 26)
        name = chr(65 + r) + name
    return name


def escape(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r")
            .replace("\n", "\\n"))


def write_table(folder, version, fields, records, language_driver=0, claimed_records=None,
                extra_header=b"", tail=b"\x1a"):
    """fields: (name, type, length, decimals, flags); records: (deleted, bytes of each field)."""
    os.makedirs(folder, exist_ok=True)
    record_length = 1 + sum(f[2] for f in fields)
    header_length = 32 + 32 * len(fields) + 1 + len(extra_header)
    count = len(records) if claimed_records is None else claimed_records
    header = struct.pack("<BBBBIHH", version, 124, 3, 31, count, header_length, record_length)
    header += b"\0" * 17 + bytes([language_driver]) + b"\0\0"
    for name, ftype, length, decimals, flags in fields:
        header += name.encode("ascii").ljust(11, b"\0") + ftype.encode("ascii")
        header += b"\0" * 4 + bytes([length, decimals, flags]) + b"\0" * 13
    header += b"\r" + extra_header
    body = b""
    for deleted, values in records:
        row = b"*" if deleted else b" "
        for (name, ftype, length, _, _), value in zip(fields, values):
            assert len(value) == length, (name, value)
            row += value
        body += row
    with open(os.path.join(folder, "input.dbf"), "wb") as f:
        f.write(header + body + tail)


def write_cells(folder, cells):
    with open(os.path.join(folder, "cells.txt"), "w", encoding="utf-8", newline="\n") as f:
        f.write("input\tsheet\tvisible\n")  # one sheet, named after the file
        for ref, kind, value, *rest in cells:
            line = f"input!{ref}\t{kind}\t{value if kind != 't' else escape(value)}"
            if rest:
                line += "\t" + rest[0]
            f.write(line + "\n")


def header_cells(names):
    return [(f"{col_name(i)}1", "t", n) for i, n in enumerate(names)]


def text(value, length, encoding="ascii"):
    return value.encode(encoding).ljust(length, b" ")


def number(value, length):
    return ("" if value is None else str(value)).rjust(length).encode("ascii")


def cp1251_deleted_dates_logicals():
    folder = os.path.join(HERE, "cp1251_deleted")
    fields = [("NAME", "C", 20, 0, 0), ("QTY", "N", 8, 2, 0), ("BORN", "D", 8, 0, 0),
              ("OK", "L", 1, 0, 0)]
    rows = [
        (False, "Иван", "12.50", datetime.date(1980, 1, 15), "T"),
        (True, "Петр", "1.00", datetime.date(1990, 5, 5), "F"),
        (False, "Мария", None, None, "?"),
        (False, "  lead", "-3", datetime.date(2024, 3, 31), "n"),
        (False, "Ёжик", "0", datetime.date(1900, 3, 1), "y"),
    ]
    records = []
    for deleted, name, qty, born, ok in rows:
        records.append((deleted, [text(name, 20, "cp1251"), number(qty, 8),
                                  (born.strftime("%Y%m%d") if born else " " * 8).encode(),
                                  ok.encode()]))
    write_table(folder, 0x03, fields, records, language_driver=0xC9)
    cells = header_cells(["NAME", "QTY", "BORN", "OK"])
    row = 2
    for deleted, name, qty, born, ok in rows:
        if deleted:
            continue
        cells.append((f"A{row}", "t", name))
        if qty is not None:
            cells.append((f"B{row}", "n", repr(float(qty))))
        if born:
            cells.append((f"C{row}", "n", serial(born), "date"))
        if ok in "TtYy":
            cells.append((f"D{row}", "b", "TRUE"))
        elif ok in "FfNn":
            cells.append((f"D{row}", "b", "FALSE"))
        row += 1
    write_cells(folder, cells)


def header_claims_more_records():
    folder = os.path.join(HERE, "short_file")
    fields = [("ID", "N", 4, 0, 0), ("WORD", "C", 6, 0, 0)]
    records = [(False, [number(1, 4), text("one", 6)]), (False, [number(2, 4), text("two", 6)])]
    # Ten records claimed, two and a half there.
    write_table(folder, 0x03, fields, records, claimed_records=10, tail=b" 000")
    write_cells(folder, header_cells(["ID", "WORD"]) + [
        ("A2", "n", "1.0"), ("B2", "t", "one"), ("A3", "n", "2.0"), ("B3", "t", "two")])


def dbase3_memo():
    folder = os.path.join(HERE, "dbase3_memo")
    memos = ["First memo\r\nsecond line", "Zweite Notiz mit \xe4"]
    fields = [("KEY", "C", 3, 0, 0), ("NOTE", "M", 10, 0, 0)]
    blocks = b"\x03\0\0\0".ljust(512, b"\0")  # header block: next free block 3
    records = []
    for i, memo in enumerate(memos):
        block = len(blocks) // 512
        blocks += (memo.encode("cp1252") + b"\x1a\x1a").ljust(512, b"\0")
        records.append((False, [text(f"K{i}", 3), number(block, 10)]))
    records.append((False, [text("K2", 3), b" " * 10]))  # no memo
    write_table(folder, 0x83, fields, records, language_driver=0x03)
    with open(os.path.join(folder, "input.dbt"), "wb") as f:
        f.write(blocks)
    write_cells(folder, header_cells(["KEY", "NOTE"]) + [
        ("A2", "t", "K0"), ("B2", "t", memos[0].replace("\r\n", "\n")),
        ("A3", "t", "K1"), ("B3", "t", memos[1]), ("A4", "t", "K2")])


def cpg_utf8():
    folder = os.path.join(HERE, "cpg_utf8")
    words = ["Grüße", "日本語", "plain"]
    fields = [("WORD", "C", 12, 0, 0)]
    records = [(False, [w.encode("utf-8").ljust(12, b" ")]) for w in words]
    write_table(folder, 0x03, fields, records, language_driver=0)
    with open(os.path.join(folder, "input.cpg"), "w") as f:
        f.write("UTF-8\n")
    write_cells(folder, header_cells(["WORD"]) +
                [(f"A{i + 2}", "t", w) for i, w in enumerate(words)])


def unknown_language_driver():
    folder = os.path.join(HERE, "unknown_code_page")
    word = "€uro ñ"
    fields = [("WORD", "C", 8, 0, 0)]
    write_table(folder, 0x03, fields, [(False, [text(word, 8, "cp1252")])], language_driver=0xEE)
    write_cells(folder, header_cells(["WORD"]) + [("A2", "t", word)])


def visual_foxpro_binary_fields():
    folder = os.path.join(HERE, "vfp_binary_fields")
    # I integer, Y currency, T datetime, B double, a nullable C and the hidden _NullFlags.
    fields = [("COUNT", "I", 4, 0, 0), ("PRICE", "Y", 8, 4, 0), ("STAMP", "T", 8, 0, 0),
              ("RATIO", "B", 8, 0, 0), ("MAYBE", "C", 5, 0, 0x02),
              ("_NullFlags", "0", 1, 0, 0x05)]
    stamp = datetime.datetime(2023, 7, 14, 18, 30, 15)
    julian = stamp.date().toordinal() + 1721425  # Julian day number
    millis = ((stamp.hour * 60 + stamp.minute) * 60 + stamp.second) * 1000
    rows = [
        (-42, 123456, (julian, millis), 0.125, "yes", 0),
        (7, -5, (0, 0), -2.5e10, None, 1),  # MAYBE is null: bit 0 of _NullFlags
    ]
    records = []
    for count, price, (jd, ms), ratio, maybe, flags in rows:
        records.append((False, [struct.pack("<i", count), struct.pack("<q", price),
                                struct.pack("<ii", jd, ms), struct.pack("<d", ratio),
                                text(maybe or "", 5), bytes([flags])]))
    write_table(folder, 0x30, fields, records, language_driver=0x03, extra_header=b"\0" * 263)
    day_fraction = millis / 86400000
    write_cells(folder, header_cells(["COUNT", "PRICE", "STAMP", "RATIO", "MAYBE"]) + [
        ("A2", "n", "-42.0"), ("B2", "n", repr(123456 / 10000)),
        ("C2", "n", repr(serial(stamp.date()) + day_fraction), "date"), ("D2", "n", "0.125"),
        ("E2", "t", "yes"),
        ("A3", "n", "7.0"), ("B3", "n", repr(-5 / 10000)), ("D3", "n", repr(-2.5e10))])


def utf8_without_cpg():
    # No .cpg and no language driver: the texts are UTF-8, one cut inside its last letter.
    folder = os.path.join(HERE, "utf8_no_cpg")
    words = ["Шапка", "Grüße", "plain", "Привет"]
    fields = [("WORD", "C", 11, 0, 0)]
    records = [(False, [w.encode("utf-8")[:11].ljust(11, b" ")]) for w in words]
    write_table(folder, 0x03, fields, records, language_driver=0)
    write_cells(folder, header_cells(["WORD"]) + [
        ("A2", "t", "Шапка"), ("A3", "t", "Grüße"), ("A4", "t", "plain"), ("A5", "t", "Приве")])


def foxpro2_oem():
    # FoxPro 2 without a language driver: the DOS code page 850.
    folder = os.path.join(HERE, "foxpro2_oem")
    words = ["penedès", "Søren", "Ça va"]
    fields = [("WORD", "C", 10, 0, 0)]
    records = [(False, [text(w, 10, "cp850")]) for w in words]
    write_table(folder, 0xF5, fields, records, language_driver=0)
    write_cells(folder, header_cells(["WORD"]) +
                [(f"A{i + 2}", "t", w) for i, w in enumerate(words)])


def dbase4_memo():
    # dBase IV memos led by FF FF 08 00 and a length: one writer counts the 8 bytes of the lead
    # in it, another counts the text alone; a memo that fills its blocks is followed at once by
    # the next one. Line breaks CR LF and CR become LF.
    folder = os.path.join(HERE, "dbase4_memo")
    block = 64
    memo = bytearray(b"\x05\0\0\0".ljust(block, b"\0"))
    memo[20] = block
    texts = [("First line\r\nsecond line", True), ("Counted without its lead", False),
             ("x" * (2 * block - 8), True), ("Old\rMac", False)]
    records = []
    for i, (memo_text, with_lead) in enumerate(texts):
        number_at = len(memo) // block
        body = memo_text.encode("cp1252")
        length = len(body) + 8 if with_lead else len(body)
        entry = b"\xff\xff\x08\x00" + struct.pack("<I", length) + body
        memo += entry.ljust((len(entry) + block - 1) // block * block, b"\0")
        records.append((False, [text(f"K{i}", 3), number(number_at, 10)]))
    fields = [("KEY", "C", 3, 0, 0), ("NOTE", "M", 10, 0, 0)]
    write_table(folder, 0x8B, fields, records, language_driver=0x03)
    with open(os.path.join(folder, "input.dbt"), "wb") as f:
        f.write(bytes(memo))
    cells = header_cells(["KEY", "NOTE"])
    for i, (memo_text, _) in enumerate(texts):
        cells.append((f"A{i + 2}", "t", f"K{i}"))
        cells.append((f"B{i + 2}", "t", memo_text.replace("\r\n", "\n").replace("\r", "\n")))
    write_cells(folder, cells)


def nul_padding():
    # NUL bytes in character fields are padding, wherever a writer put them.
    folder = os.path.join(HERE, "nul_padding")
    values = [b"AB\0\0\0\0", b"\0\0\0\0\0\0", b"A\0B   ", b"\0\0CD\0 "]
    fields = [("CODE", "C", 6, 0, 0)]
    write_table(folder, 0x03, fields, [(False, [v]) for v in values], language_driver=0x03)
    write_cells(folder, header_cells(["CODE"]) + [
        ("A2", "t", "AB"), ("A4", "t", "AB"), ("A5", "t", "CD")])


def no_fields():
    # A header and no fields, as some GIS tools write: an empty table.
    folder = os.path.join(HERE, "no_fields")
    write_table(folder, 0x03, [], [(False, []), (False, [])], language_driver=0x03)
    write_cells(folder, [])


if __name__ == "__main__":
    cp1251_deleted_dates_logicals()
    header_claims_more_records()
    dbase3_memo()
    cpg_utf8()
    unknown_language_driver()
    visual_foxpro_binary_fields()
    utf8_without_cpg()
    foxpro2_oem()
    dbase4_memo()
    nul_padding()
    no_fields()
