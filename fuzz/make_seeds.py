#!/usr/bin/env python3
"""Writes the seeds of the fuzz targets whose inputs are not plain files.

    fuzz/make_seeds.py          (from anywhere; writes into fuzz/seeds/<target>/)

number_format and formula: the cases of the project's own unit tests, encoded as the targets
read their input. writer_reader: a few small workbook programs that together use every step
of the interpreter. merge_save: small inputs of the readers' golden cases (files saved by
spreadsheet programs), each behind the two bytes that pick the extension and the merge.
Seeds kept from findings (named finding-*) are left alone.
"""

import ast
import re
import struct
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SEEDS = ROOT / "fuzz" / "seeds"


def c_string(text):
    """The bytes of a C++ string literal's inside (escapes and split literals resolved)."""
    text = re.sub(r'"\s*"', "", text)
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c != "\\":
            out += c.encode()
            i += 1
            continue
        n = text[i + 1]
        if n == "x":
            m = re.match(r"[0-9A-Fa-f]+", text[i + 2:])
            out.append(int(m.group(0), 16) & 0xFF)
            i += 2 + len(m.group(0))
        else:
            out += {"n": b"\n", "r": b"\r", "t": b"\t", "0": b"\0"}.get(n, n.encode())
            i += 2
    return bytes(out)


def number(expression):
    """A numeric C++ expression of the tests (1.0 / 3, 2958465 - 1462 + 1), or None."""
    if not re.fullmatch(r"[0-9eE.+\-*/ ()]+", expression):
        return None
    try:
        return float(eval(compile(ast.parse(expression, mode="eval"), "case", "eval")))
    except (SyntaxError, ZeroDivisionError, TypeError):
        return None


def write(target, name, data):
    folder = SEEDS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def clear(target):
    folder = SEEDS / target
    if folder.is_dir():
        for path in folder.iterdir():
            if not path.name.startswith("finding-"):
                path.unlink()


STRING = r'"((?:[^"\\]|\\.)*(?:"\s*"(?:[^"\\]|\\.)*)*)"'


def number_format_seeds():
    clear("number_format")
    source = (ROOT / "tests/engine/ops/number_format_test.cpp").read_text()
    seen = set()
    count = 0
    for match in re.finditer(r"\{" + STRING + r",\s*([^,{}\"]+),\s*" + STRING + r"\}", source):
        code, value = c_string(match.group(1)), number(match.group(2))
        if value is None or code in seen:
            continue
        seen.add(code)
        # The choice byte: the 1900 date system, the value as it is, the plain format by count.
        choice = (count % 7) << 2
        data = bytes([choice]) + struct.pack("<d", value) + bytes([2]) + b"ab" + code
        write("number_format", "test-%03d" % count, data)
        count += 1
    return count


def formula_seeds():
    clear("formula")
    source = (ROOT / "tests/engine/ops/formula_refs_test.cpp").read_text()
    count = 0
    for match in re.finditer(r"\{" + STRING + r",\s*(-?\d+),\s*(-?\d+),\s*" + STRING + r"\}",
                             source):
        text = c_string(match.group(1))
        rows, columns = int(match.group(2)), int(match.group(3))
        # Offsets taken as they are (kind 1: the value modulo the sheet's size), rows 2 to 4
        # deleted, and the sheet "Sheet2" renamed.
        data = (bytes([1]) + struct.pack("<i", rows) + bytes([1]) + struct.pack("<i", columns) +
                struct.pack("<I", 1) + struct.pack("<H", 3 + 4) + bytes([6]) + b"Sheet2" + text)
        write("formula", "test-%03d" % count, data)
        count += 1
    return count


class Program:
    """Bytes for the writer_reader interpreter, step by step as it reads them."""

    def __init__(self, date1904, sheet_names, states):
        self.data = bytearray([(1 if date1904 else 0) | ((len(sheet_names) - 1) << 1)])
        self.sheets = len(sheet_names)
        self.styles = 1
        for name, state in zip(sheet_names, states):
            if name is None:
                self.data += bytes([0])
            else:
                self.data += bytes([1]) + self.text(name)
            self.data.append(state)

    @staticmethod
    def text(text):
        """An odd text: its UTF-8 bytes as raw pieces of at most 12 bytes."""
        raw = text.encode()
        chunks = [raw[i:i + 12] for i in range(0, len(raw), 12)]
        out = bytearray([len(chunks)])
        for chunk in chunks:
            out += bytes([0xC0, len(chunk)]) + chunk
        return bytes(out)

    @staticmethod
    def position(value):
        return bytes([value]) if value < 12 else bytes([200]) + struct.pack("<I", value)

    @staticmethod
    def op(step, kind=0):
        """The step byte: the step in its value modulo 10, the value kind in its high half."""
        return next(kind * 16 + x for x in range(16) if (kind * 16 + x) % 10 == step)

    def step(self, step, sheet, body, kind=0):
        self.data += bytes([self.op(step, kind), sheet]) + body

    def cell(self, sheet, row, column, kind, payload, style=0, formula=None):
        body = self.position(row) + self.position(column) + payload + bytes([style])
        if formula is None:
            self.step(0, sheet, body, kind)
        else:
            # An odd text as the formula, then the sheet that {} would name.
            self.step(3, sheet, body + bytes([0]) + self.text(formula) + bytes([0]), kind)

    def style(self, sheet, body):
        self.step(5, sheet, body)
        self.styles += 1

    def bytes(self):
        return bytes(self.data)


def number_payload(value):
    return bytes([2]) + struct.pack("<d", value)


def writer_reader_seeds():
    clear("writer_reader")
    p = Program(False, ["Data & more", None, "caf\u00e9 'x' 2"], [0, 1, 2])
    p.cell(0, 0, 0, 1, number_payload(1.0 / 3))
    p.cell(0, 0, 1, 2, Program.text(" <&> \"q\" _x0041_ \r\n\x01 \U0001F600 "))
    p.cell(0, 1, 0, 3, bytes([1]))
    p.cell(0, 1, 1, 4, bytes([6]))
    p.cell(1, 5, 5, 1, number_payload(-12.5))
    # A style with a font, a fill, a border, a number format, alignment and protection.
    p.style(0, bytes([63]) + bytes([1, 1, 3]) + bytes([0x2B]) + bytes([2]) + struct.pack("<I", 0x123456) +
            bytes([2, 1]) + bytes([1]) +
            bytes([17, 2]) + struct.pack("<I", 0xFF0000) + bytes([2]) + struct.pack("<I", 0x00FF00) +
            bytes([5, 2]) + struct.pack("<I", 0x0000FF) + bytes([0, 13, 1, 7, 1, 0, 3]) +
            bytes([1, 4]) + bytes([7, 3, 1, 2, 45, 1]) + bytes([2]))
    p.cell(0, 2, 2, 1, number_payload(45000.25), style=1)
    p.cell(0, 3, 0, 1, number_payload(12), formula="SUM(A1:B2)*'Data & more'!$C$3")
    # An array formula over A6:A7, a merge, a column run, a row height, a selection.
    p.step(4, 0, p.position(5) + p.position(0) + p.position(6) + p.position(0) +
           number_payload(2) + bytes([1, 1, 0]), kind=1)
    p.step(6, 0, p.position(10) + p.position(0) + p.position(11) + p.position(3))
    p.step(7, 0, p.position(2) + p.position(2) + bytes([4, 3]) + bytes([1]))
    p.step(8, 0, p.position(1) + bytes([2, 2]))
    p.step(9, 0, bytes([7]) + p.position(2) + p.position(1) + bytes([1, 2]))
    write("writer_reader", "everything", p.bytes())

    far = Program(True, [None], [0])
    far.cell(0, 1048575, 16383, 1, number_payload(99))
    far.step(8, 0, far.position(7) + bytes([3, 1]))
    write("writer_reader", "far-corner-1904", far.bytes())
    return 2


MERGE_INPUTS = [
    # (golden case, extension index: .xlsx .xlsm .xls .csv .txt .dbf)
    ("xlsx/calamine__inlineStr_cdata/input.xlsx", 0),
    ("xlsx/calamine__date_1904/input.xlsx", 0),
    ("xlsx/calamine__merged_range/input.xlsx", 0),
    ("xlsx/sheetjs__sheet_visibility/input.xlsx", 0),
    ("xlsx/poi__styles/input.xlsx", 1),
    ("xls/sheetjs__crlf__CRLFX5_2/input.XLS", 2),
    ("xls/typed_cells/input.xls", 2),
    ("xls/number_formats/input.xls", 2),
    ("xls/xlrd__biff4_no_format_no_window2/input.xls", 2),
    ("csv/quoted_multiline/input.csv", 3),
    ("csv/cp1252_semicolons/input.csv", 3),
    ("csv/utf16le_tabs/input.txt", 4),
    ("dbf/cp1251_deleted/input.dbf", 5),
    ("dbf/vfp_binary_fields/input.dbf", 5),
]


def merge_save_seeds():
    clear("merge_save")
    count = 0
    for index, (case, extension) in enumerate(MERGE_INPUTS):
        data = (ROOT / "tests/data" / case).read_bytes()
        # Options: the mode by turns, a gap of 1, the first line dropped every other time,
        # autofit, and a third queue row.
        options = (index % 3) | (1 << 2) | ((index % 2) << 4) | (1 << 5) | (1 << 6)
        name = case.split("/")[1]
        write("merge_save", name, bytes([extension, options]) + data)
        count += 1
    return count


if __name__ == "__main__":
    print("number_format", number_format_seeds())
    print("formula", formula_seeds())
    print("writer_reader", writer_reader_seeds())
    print("merge_save", merge_save_seeds())
