#!/usr/bin/env python3
"""Writes small files whose reading or autofit once took time out of all proportion to their
size, runs plyfold-merge on each and prints its exit status, wall time and peak memory.

    bench/parse_and_autofit_shapes.py [PLYFOLD_MERGE [FOLDER]]

Shapes: one very long attribute (15 MB; 100 MB, past the 16 MB a tag may have) in each part
that goes through expat (workbook, relationships, content types, styles, theme, a sheet in
UTF-16), and one in a sheet and in the shared strings, which the fast scanner reads; a million cells sharing a few 32,000-character texts; a .dbf
whose 200,000 records share one memo. Each must succeed or fail clearly within seconds."""
import os
import struct
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL = "http://schemas.openxmlformats.org/package/2006/relationships"
CT = "http://schemas.openxmlformats.org/package/2006/content-types"
OFFICE_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
MB = 1 << 20


def long_value(size):
    return "a" * size


def package(path, long_part=None, long_size=0, sheet_xml=None, shared=None, utf16_sheet=False):
    """A workbook of one sheet; long_part names the part that gets an attribute of long_size."""
    extra = f' long="{long_value(long_size)}"' if long_part else ""

    def attr(part):
        return extra if part == long_part else ""

    if sheet_xml is None:
        sheet_xml = f'<worksheet xmlns="{MAIN}"{attr("sheet")}><sheetData>' \
                    '<row r="1"><c r="A1" t="inlineStr"><is><t>x</t></is></c></row>' \
                    '</sheetData></worksheet>'
    overrides = [
        ("/xl/workbook.xml",
         "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"),
        ("/xl/worksheets/sheet1.xml",
         "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"),
        ("/xl/styles.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"),
        ("/xl/theme/theme1.xml", "application/vnd.openxmlformats-officedocument.theme+xml"),
    ]
    if shared is not None:
        overrides.append(("/xl/sharedStrings.xml", "application/vnd.openxmlformats-"
                          "officedocument.spreadsheetml.sharedStrings+xml"))
    content_types = f'<Types xmlns="{CT}"{attr("types")}>' \
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.' \
        'relationships+xml"/><Default Extension="xml" ContentType="application/xml"/>' + \
        "".join(f'<Override PartName="{n}" ContentType="{t}"/>' for n, t in overrides) + \
        "</Types>"
    root_rels = f'<Relationships xmlns="{PKG_REL}"><Relationship Id="rId1" ' \
        f'Type="{OFFICE_REL}officeDocument" Target="xl/workbook.xml"/></Relationships>'
    if long_part == "types":
        # The content types are read only where the package names no workbook.
        root_rels = f'<Relationships xmlns="{PKG_REL}"/>'
    workbook = f'<workbook xmlns="{MAIN}" xmlns:r="{REL}"{attr("workbook")}><sheets>' \
        '<sheet name="Data1" sheetId="1" r:id="rId1"/></sheets></workbook>'
    rels = [("rId1", "worksheet", "worksheets/sheet1.xml"), ("rId2", "styles", "styles.xml"),
            ("rId3", "theme", "theme/theme1.xml")]
    if shared is not None:
        rels.append(("rId4", "sharedStrings", "sharedStrings.xml"))
    workbook_rels = f'<Relationships xmlns="{PKG_REL}"{attr("rels")}>' + "".join(
        f'<Relationship Id="{i}" Type="{OFFICE_REL}{t}" Target="{p}"/>' for i, t, p in rels) + \
        "</Relationships>"
    styles = f'<styleSheet xmlns="{MAIN}"{attr("styles")}><fonts count="1"><font><sz val="11"/>' \
        '<name val="Calibri"/></font></fonts><fills count="1"><fill><patternFill ' \
        'patternType="none"/></fill></fills><borders count="1"><border/></borders>' \
        '<cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellXfs>' \
        '</styleSheet>'
    theme = '<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" ' \
        f'name="T"{attr("theme")}><a:themeElements><a:clrScheme name="C"><a:dk1><a:sysClr ' \
        'val="windowText" lastClr="000000"/></a:dk1></a:clrScheme></a:themeElements></a:theme>'
    sheet_bytes = sheet_xml.encode("utf-8")
    if utf16_sheet:
        sheet_bytes = ('<?xml version="1.0" encoding="UTF-16"?>' + sheet_xml).encode("utf-16")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        z.writestr("[Content_Types].xml", content_types)
        z.writestr("_rels/.rels", root_rels)
        z.writestr("xl/workbook.xml", workbook)
        z.writestr("xl/_rels/workbook.xml.rels", workbook_rels)
        z.writestr("xl/styles.xml", styles)
        z.writestr("xl/theme/theme1.xml", theme)
        z.writestr("xl/worksheets/sheet1.xml", sheet_bytes)
        if shared is not None:
            z.writestr("xl/sharedStrings.xml", shared)


def shared_text_cells(path, cells, texts, text_length):
    """cells cells in rows of 1,000, each naming one of texts shared strings of text_length."""
    items = "".join(f"<si><t>{chr(ord('a') + i) * text_length}</t></si>" for i in range(texts))
    shared = f'<sst xmlns="{MAIN}" count="{cells}" uniqueCount="{texts}">{items}</sst>'
    rows = []
    per_row = 1000
    for r in range(cells // per_row):
        cell = "".join(f'<c t="s"><v>{(r + c) % texts}</v></c>' for c in range(per_row))
        rows.append(f'<row r="{r + 1}">{cell}</row>')
    sheet = f'<worksheet xmlns="{MAIN}"><sheetData>{"".join(rows)}</sheetData></worksheet>'
    package(path, sheet_xml=sheet, shared=shared)


def dbf_shared_memo(path, records, memo_length):
    """A dBase III table of one memo field whose records all point at one memo."""
    header_length = 32 + 32 + 1
    record_length = 1 + 10
    header = struct.pack("<BBBBIHH", 0x83, 124, 1, 1, records, header_length, record_length)
    header += b"\0" * 20
    header += b"NOTE".ljust(11, b"\0") + b"M" + b"\0" * 4 + bytes([10, 0, 0]) + b"\0" * 13
    header += b"\r"
    body = (b" " + b"1".rjust(10)) * records
    with open(path, "wb") as f:
        f.write(header + body + b"\x1a")
    memo = struct.pack("<I", 2) + b"\0" * 508 + b"m" * memo_length + b"\x1a\x1a"
    with open(os.path.splitext(path)[0] + ".dbt", "wb") as f:
        f.write(memo)


def make_shapes(folder):
    os.makedirs(folder, exist_ok=True)
    shapes = []

    def add(name, *args, **kwargs):
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            package(path, *args, **kwargs)
        shapes.append((name, []))

    for part in ("workbook", "rels", "types", "styles", "theme"):
        add(f"expat-{part}-15mb.xlsx", long_part=part, long_size=15 * MB)
    add("expat-workbook-100mb.xlsx", long_part="workbook", long_size=100 * MB)
    utf16 = os.path.join(folder, "expat-utf16-sheet-7mb.xlsx")
    if not os.path.exists(utf16):
        sheet = f'<worksheet xmlns="{MAIN}" long="{long_value(7 * MB)}"><sheetData>' \
                '<row r="1"><c r="A1" t="inlineStr"><is><t>x</t></is></c></row>' \
                '</sheetData></worksheet>'
        package(utf16, sheet_xml=sheet, utf16_sheet=True)
    shapes.append(("expat-utf16-sheet-7mb.xlsx", []))
    add("scanner-sheet-15mb.xlsx", long_part="sheet", long_size=15 * MB)
    shared = os.path.join(folder, "scanner-shared-15mb.xlsx")
    if not os.path.exists(shared):
        sst = f'<sst xmlns="{MAIN}" long="{long_value(15 * MB)}"><si><t>x</t></si></sst>'
        sheet = f'<worksheet xmlns="{MAIN}"><sheetData><row r="1"><c r="A1" t="s"><v>0</v>' \
                '</c></row></sheetData></worksheet>'
        package(shared, sheet_xml=sheet, shared=sst)
    shapes.append(("scanner-shared-15mb.xlsx", []))

    autofit = os.path.join(folder, "autofit-1m-cells-32k-texts.xlsx")
    if not os.path.exists(autofit):
        shared_text_cells(autofit, 1_000_000, 4, 32_000)
    shapes.append(("autofit-1m-cells-32k-texts.xlsx", []))
    shapes.append(("autofit-1m-cells-32k-texts.xlsx", ["--no-autofit"]))
    memo = os.path.join(folder, "autofit-200k-records-one-memo.dbf")
    if not os.path.exists(memo):
        dbf_shared_memo(memo, 200_000, 32_000)
    shapes.append(("autofit-200k-records-one-memo.dbf", []))
    shapes.append(("autofit-200k-records-one-memo.dbf", ["--no-autofit"]))
    return shapes


def run(merge, folder, name, options):
    result = os.path.join(folder, "result.xlsx")
    start = time.monotonic()
    child = subprocess.Popen([merge, "-q", *options, os.path.join(folder, name), "-o", result],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.monotonic() - start
    message = child.stderr.read().decode("utf-8", "replace").strip().splitlines()
    child.stderr.close()
    code = os.waitstatus_to_exitcode(status)
    size = os.path.getsize(os.path.join(folder, name))
    label = name + ("" if not options else " " + " ".join(options))
    print(f"{label:52} {size // 1024:6} KB  exit {code}  {seconds:7.2f} s  "
          f"{usage.ru_maxrss // 1024:6} MB")
    if code != 0 and message:
        print(f"    {message[0][:200]}")


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--generate":
        make_shapes(sys.argv[2])
        return
    merge = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        HERE, "..", "build", "default", "cli", "plyfold-merge")
    folder = sys.argv[2] if len(sys.argv) > 2 else os.path.join(HERE, "out", "shapes")
    # Generated in a process of its own: a child's peak memory starts at its parent's.
    subprocess.run([sys.executable, __file__, "--generate", folder], check=True)
    shapes = make_shapes(folder)
    print(f"{'file':52} {'size':>9}  {'':6}  {'wall':>9}  {'peak':>9}")
    for name, options in shapes:
        run(merge, folder, name, options)


if __name__ == "__main__":
    main()
