#!/usr/bin/python3
"""Writes the sheets and cells of a workbook as openpyxl reads them, in the format of the golden
dumps (tests/data/README.md): first a line for each sheet, in order,

    sheet <TAB> sheet <TAB> visible|hidden|veryHidden [<TAB> chart]

then one line a value or formula,

    sheet!cell <TAB> type <TAB> value [<TAB> date]

type is n (number), t (text), b (boolean: TRUE/FALSE), e (error text) or f (formula text,
without "="); a formula cell has an f line and, when it has a cached result, a value line.
"date" follows a value whose number format is a date or time format. Backslash, tab, CR and LF
in sheet names, texts and formulas are written as \\\\, \\t, \\r and \\n. Numbers are written
with repr(), which reads back to the same double. Dates and times that openpyxl turns into
datetime objects are turned back into serial numbers of the workbook's date system.

A few things openpyxl leaves undone are done here, so the dump holds what the file means:
_xHHHH_ escapes in texts are decoded; a formula whose cached result is an empty text keeps that
result (openpyxl reads an empty <v> as no value); number formats of one letter, with elapsed
times in capitals or with only an AM/PM marker are date formats too; and a chart sheet has no cells.

Usage: dump_cells.py WORKBOOK OUTPUT
"""

import datetime
import re
import sys
import warnings

import openpyxl
from openpyxl.utils.datetime import to_excel
from openpyxl.worksheet import _reader

ESCAPE = re.compile(r"_x([0-9A-Fa-f]{4})_")
# Quoted texts, and brackets other than elapsed hours, minutes or seconds ([h], [MM], ...).
NOT_DATE_PARTS = re.compile(r'".*?"|\[(?![hH]+\]|[mM]+\]|[sS]+\])[^\]]*\]')


def keep_empty_text_results():
    """openpyxl reads <c t="str"><f>...</f><v></v></c> as no value; the cell holds an empty text."""
    parse_cell = _reader.WorkSheetParser.parse_cell

    def parse(self, element):
        cell = parse_cell(self, element)
        if (self.data_only and element.get("t") == "str" and cell["value"] is None
                and element.find(_reader.VALUE_TAG) is not None):
            cell["value"] = ""
            cell["data_type"] = "s"
        return cell

    _reader.WorkSheetParser.parse_cell = parse


def is_date_format(code):
    """openpyxl's test of a date or time format, less three of its slips: it misses a code of
    one letter ("D"), elapsed times written in capitals ("[HH]") and the time-of-day markers
    alone ("A/P")."""
    code = NOT_DATE_PARTS.sub("", (code or "").split(";")[0])
    return re.search(r"(^|[^\\])([dmhysDMHYS]|AM/PM|A/P)", code, re.IGNORECASE) is not None


def decode_escapes(text):
    units = []
    pos = 0
    for match in ESCAPE.finditer(text):
        units.append(text[pos:match.start()])
        units.append(chr(int(match.group(1), 16)))
        pos = match.end()
    units.append(text[pos:])
    joined = "".join(units)
    # Escaped surrogate pairs become one character; a lone surrogate becomes U+FFFD.
    return joined.encode("utf-16", "surrogatepass").decode("utf-16", "replace")


def escape(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r")
            .replace("\n", "\\n"))


def serial(value, epoch):
    if isinstance(value, datetime.timedelta):
        return value.total_seconds() / 86400.0
    if isinstance(value, datetime.time):
        return (value.hour * 3600 + value.minute * 60 + value.second +
                value.microsecond / 1e6) / 86400.0
    if isinstance(value, datetime.date) and not isinstance(value, datetime.datetime):
        value = datetime.datetime(value.year, value.month, value.day)
    return float(to_excel(value, epoch))


def value_line(value, data_type, epoch):
    if value is None:
        return None
    if isinstance(value, bool):
        return "b", "TRUE" if value else "FALSE"
    if data_type == "e":
        return "e", str(value)
    if isinstance(value, (datetime.datetime, datetime.date, datetime.time, datetime.timedelta)):
        return "n", repr(serial(value, epoch))
    if isinstance(value, (int, float)):
        return "n", repr(float(value))
    return "t", escape(decode_escapes(str(value)))


def formula_text(value):
    text = getattr(value, "text", value)  # array formulas come as objects in newer releases
    if not isinstance(text, str) or not text.startswith("="):
        return None
    return text[1:] or None


def sheet_line(sheet):
    fields = [escape(sheet.title), "sheet", sheet.sheet_state]
    if not isinstance(sheet, openpyxl.worksheet.worksheet.Worksheet):
        fields.append("chart")
    return "\t".join(fields)


def dump(path):
    keep_empty_text_results()
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        values = openpyxl.load_workbook(path, data_only=True)
        formulas = openpyxl.load_workbook(path, data_only=False)
    lines = [sheet_line(sheet) for sheet in values._sheets]
    for sheet in values.worksheets:
        formula_sheet = formulas[sheet.title]
        for (row, column) in sorted(sheet._cells):
            cell = sheet._cells[(row, column)]
            name = escape(sheet.title) + "!" + cell.coordinate
            f_cell = formula_sheet._cells.get((row, column))
            if f_cell is not None and f_cell.data_type == "f":
                text = formula_text(f_cell.value)
                if text is not None:
                    lines.append("\t".join([name, "f", escape(text)]))
            line = value_line(cell.value, cell.data_type, values.epoch)
            if line is not None:
                fields = [name, line[0], line[1]]
                if is_date_format(cell.number_format):
                    fields.append("date")
                lines.append("\t".join(fields))
    return lines


def main(argv):
    if len(argv) == 3:
        with open(argv[2], "w", encoding="utf-8", newline="\n") as out:
            out.write("".join(line + "\n" for line in dump(argv[1])))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
