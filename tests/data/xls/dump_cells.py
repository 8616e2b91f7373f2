#!/usr/bin/python3
"""Writes the sheets and cells of a workbook as LibreOffice reads them, in the format of the
golden dumps (tests/data/README.md): LibreOffice converts the workbook to a flat OpenDocument
file, whose sheets and cell values are written out here.

    sheet <TAB> sheet <TAB> visible|hidden
    sheet!cell <TAB> type <TAB> value [<TAB> date]

type is n (number), t (text), b (boolean: TRUE/FALSE) or e (error text); "date" follows a
number shown as a date or a time. Backslash, tab, CR and LF in sheet names and texts are
written as \\\\, \\t, \\r and \\n. Numbers are written with repr().

    sheet!cell <TAB> f <TAB> formula

A formula's line comes before its cell's value line; its text is the one LibreOffice writes
when it converts the workbook to .xlsx (without "="). Check booleans and sheet states by hand:
LibreOffice reads a boolean constant as the formula TRUE() or FALSE() (written here as the
boolean without a formula, though a real TRUE() formula with a number result, as Quattro Pro
writes, reads the same: give such a cell its f line by hand), a formula's boolean result as the
number 1 or 0, writes the constants TRUE and FALSE inside formulas as TRUE() and FALSE() (written here as the
constants; a real call of the function TRUE() needs a hand edit), and reads a very hidden sheet
as hidden. The one sheet of an Excel 2 to
4 worksheet file is named "Worksheet", as the reader names it.

Usage: dump_cells.py WORKBOOK OUTPUT   (needs soffice, from Debian's libreoffice-calc-nogui)
"""

import datetime
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

NS = {
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
    "calcext": "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0",
}
DURATION = re.compile(r"(-)?PT(\d+)H(\d+)M([\d.]+)S")


def q(name):
    prefix, local = name.split(":")
    return f"{{{NS[prefix]}}}{local}"


def escape(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r")
            .replace("\n", "\\n"))


def column_name(index):
    name = ""
    index += 1
    while index:
        index, rest = divmod(index - 1, 26)
        name = chr(65 + rest) + name
    return name


def paragraph_text(element):
    """The text of a text:p as shown: text:s is spaces, text:tab a tab, text:line-break LF."""
    parts = [element.text or ""]
    for child in element:
        if child.tag == q("text:s"):
            parts.append(" " * int(child.get(q("text:c"), "1")))
        elif child.tag == q("text:tab"):
            parts.append("\t")
        elif child.tag == q("text:line-break"):
            parts.append("\n")
        else:
            parts.append(paragraph_text(child))
        parts.append(child.tail or "")
    return "".join(parts)


def cell_text(cell):
    return "\n".join(paragraph_text(p) for p in cell.findall("text:p", NS))


def value_fields(cell, null_date):
    kind = cell.get(q("office:value-type"))
    formula = cell.get(q("table:formula"))
    if formula in ("of:=TRUE()", "of:=FALSE()"):
        return ["b", formula[4:-2]]  # how LibreOffice reads a boolean constant of a .xls
    if cell.get(q("calcext:value-type")) == "error":
        return ["e", cell_text(cell)]
    if kind in ("float", "percentage", "currency"):
        return ["n", repr(float(cell.get(q("office:value"))))]
    if kind == "date":
        when = datetime.datetime.fromisoformat(cell.get(q("office:date-value")))
        return ["n", repr((when - null_date) / datetime.timedelta(days=1)), "date"]
    if kind == "time":
        duration = DURATION.fullmatch(cell.get(q("office:time-value")))
        sign, hours, minutes, seconds = duration.groups()
        days = (int(hours) * 3600 + int(minutes) * 60 + float(seconds)) / 86400
        return ["n", repr(-days if sign else days), "date"]
    if kind == "boolean":
        return ["b", "TRUE" if cell.get(q("office:boolean-value")) == "true" else "FALSE"]
    if kind == "string":
        return ["t", escape(cell.get(q("office:string-value"), cell_text(cell)))]
    return None


def hidden_tables(root):
    """The names of the table styles that hide their table."""
    hidden = set()
    for style in root.iter(q("style:style")):
        properties = style.find("style:table-properties", NS)
        if properties is not None and properties.get(q("table:display")) == "false":
            hidden.add(style.get(q("style:name")))
    return hidden


def logicals(formula):
    """TRUE() and FALSE() outside texts as the constants TRUE and FALSE."""
    parts = formula.split('"')
    for i in range(0, len(parts), 2):
        parts[i] = re.sub(r"(?<![\w.])(TRUE|FALSE)\(\)", r"\1", parts[i])
    return '"'.join(parts)


def xlsx_formulas(path):
    """The formulas of LibreOffice's .xlsx conversion by "sheet!cell", without "="."""
    import openpyxl  # only here: the values come from the flat file, which needs no module
    formulas = {}
    # Only the cells the file holds: a sheet's stated size may reach the last row and column.
    for sheet in openpyxl.load_workbook(path).worksheets:
        for cell in sheet._cells.values():
            value = cell.value
            text = getattr(value, "text", value)  # an array formula's text
            if isinstance(text, str) and text.startswith("=") and text != "=":
                formulas[f"{escape(sheet.title)}!{cell.coordinate}"] = escape(logicals(text[1:]))
    return formulas


def dump_fods(path, formulas=None):
    formulas = formulas or {}
    root = ET.parse(path).getroot()
    null_date = datetime.datetime(1899, 12, 30)
    for setting in root.iter(q("table:null-date")):
        null_date = datetime.datetime.fromisoformat(setting.get(q("table:date-value")))
    hidden = hidden_tables(root)
    tables = list(root.iter(q("table:table")))
    lines = []
    for table in tables:
        state = "hidden" if table.get(q("table:style-name")) in hidden else "visible"
        lines.append(f"{escape(table.get(q('table:name')))}\tsheet\t{state}")
    for table in tables:
        sheet = escape(table.get(q("table:name")))
        row = 0
        for row_element in table.iter(q("table:table-row")):
            rows = int(row_element.get(q("table:number-rows-repeated"), "1"))
            column = 0
            for cell in row_element:
                if cell.tag not in (q("table:table-cell"), q("table:covered-table-cell")):
                    continue
                columns = int(cell.get(q("table:number-columns-repeated"), "1"))
                fields = value_fields(cell, null_date)
                constant = cell.get(q("table:formula")) in ("of:=TRUE()", "of:=FALSE()")
                if fields is None and rows * columns > 1:
                    column += columns  # a run of empty cells, maybe to the sheet's last row
                    continue
                for r in range(row, row + rows):
                    for c in range(column, column + columns):
                        where = f"{sheet}!{column_name(c)}{r + 1}"
                        if where in formulas and not constant:
                            lines.append(f"{where}\tf\t{formulas[where]}")
                        if fields is not None:
                            lines.append("\t".join([where] + fields))
                column += columns
            row += rows
    return lines


def is_bare_biff2_to_4(workbook):
    """A worksheet file of Excel 2 to 4: a BIFF stream starting with its BOF record (0x0009,
    0x0209 or 0x0409), outside any compound file. It holds no sheet name."""
    with open(workbook, "rb") as f:
        return f.read(2) in (b"\x09\x00", b"\x09\x02", b"\x09\x04")


def dump(workbook):
    with tempfile.TemporaryDirectory() as folder:
        # A profile of its own, so a running LibreOffice or a user's settings play no part.
        subprocess.run(["soffice", f"-env:UserInstallation=file://{folder}/profile", "--headless",
                        "--convert-to", "fods", "--outdir", folder, workbook],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["soffice", f"-env:UserInstallation=file://{folder}/profile", "--headless",
                        "--convert-to", "xlsx", "--outdir", folder, workbook],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        stem = os.path.splitext(os.path.basename(workbook))[0]
        converted = os.path.join(folder, stem + ".xlsx")
        formulas = {}
        if os.path.exists(converted):
            formulas = xlsx_formulas(converted)
        else:
            print("LibreOffice cannot save it as .xlsx: check its formulas by hand",
                  file=sys.stderr)
        lines = dump_fods(os.path.join(folder, stem + ".fods"), formulas)
    if is_bare_biff2_to_4(workbook):
        # LibreOffice names the one sheet after the file or "Sheet1"; the reader names it
        # "Worksheet".
        sheet = lines[0].split("\t")[0]
        lines = ["Worksheet" + line[len(sheet):] for line in lines]
    return lines


def main(argv):
    if len(argv) == 3:
        lines = dump(argv[1])
        with open(argv[2], "w", encoding="utf-8", newline="\n") as out:
            out.write("".join(line + "\n" for line in lines))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
