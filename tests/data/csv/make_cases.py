#!/usr/bin/env python3
"""Writes the text-file test cases of this folder with Python's csv module and, beside each,
cells.txt: the cells a reader must give, listed here by hand with each row, in the format of
the golden dumps (tests/data/README.md)."""
import csv
import io
import os

HERE = os.path.dirname(os.path.abspath(__file__))


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


def write_case(name, file_name, rows, encoding, dialect, lineterminator):
    """rows: lists of (field as written, expected) with expected None (no cell),
    ("t", text), ("n", number) or ("d", serial) for a date."""
    folder = os.path.join(HERE, name)
    os.makedirs(folder, exist_ok=True)
    buffer = io.StringIO(newline="")
    writer = csv.writer(buffer, dialect=dialect, lineterminator=lineterminator)
    for row in rows:
        writer.writerow([field for field, _ in row])
    with open(os.path.join(folder, file_name), "wb") as f:
        f.write(buffer.getvalue().encode(encoding))
    sheet = os.path.splitext(file_name)[0]
    with open(os.path.join(folder, "cells.txt"), "w", encoding="utf-8", newline="\n") as f:
        f.write(f"{sheet}\tsheet\tvisible\n")  # one sheet, named after the file
        for r, row in enumerate(rows):
            for c, (_, expected) in enumerate(row):
                if expected is None:
                    continue
                kind, value = expected
                ref = f"{sheet}!{col_name(c)}{r + 1}"
                if kind == "t":
                    f.write(f"{ref}\tt\t{escape(value)}\n")
                elif kind == "d":
                    f.write(f"{ref}\tn\t{value}\tdate\n")
                elif kind == "b":
                    f.write(f"{ref}\tb\t{value}\n")
                else:
                    f.write(f"{ref}\tn\t{value}\n")


class Semicolons(csv.excel):
    delimiter = ";"


class Pipes(csv.excel):
    delimiter = "|"


def T(text):
    return (text, ("t", text))


if __name__ == "__main__":
    write_case("quoted_multiline", "input.csv", [
        [T("id"), T("note"), T("amount"), T("when")],
        [("00123", ("t", "00123")), T("two\nlines"), ("-1.5e3", ("n", -1500)),
         ("2024-03-31", ("d", 45382))],
        [("7", ("n", 7)), T('she said "no", twice'), ("", None), ("2024-03-31 12:30", ("d", 45382 + 0.5 + 30 / 1440))],
        [("1234567890123456", ("t", "1234567890123456")), T("a,b"), (" 42", ("t", " 42")),
         ("true", ("b", "TRUE"))],
    ], "utf-8", "excel", "\r\n")
    write_case("cp1252_semicolons", "input.csv", [
        [T("Name"), T("Stadt;Land"), T("Preis")],
        [T("Müller"), T("Köln;DE"), T("€ 5")],
        [T("Ærø"), T("‘quoted’"), ("4,5", ("t", "4,5"))],
    ], "cp1252", "excel", "\n")
    write_case("utf16le_tabs", "input.txt", [
        [T("Wort"), T("Zahl")],
        [T("日本"), ("0.25", ("n", 0.25))],
        [T("tab\tinside"), ("FALSE", ("b", "FALSE"))],
    ], "utf-16", "excel-tab", "\r\n")
    # Read with a guessed separator: decimal commas and day-first dates in the semicolon file,
    # day-first dates beside decimal points in the pipe file.
    write_case("semicolon_decimal_comma", "input.csv", [
        [T("Datum"), T("Artikel"), T("Betrag"), T("Menge")],
        [("31.01.2026", ("d", 46053)), T("Käse"), ("1.234,56", ("n", 1234.56)), ("3", ("n", 3))],
        [("01.02.2026", ("d", 46054)), T("Brot, hell"), ("-0,75", ("n", -0.75)),
         ("0012", ("t", "0012"))],
        [("15.02.2026", ("d", 46068)), T("=1+2"), ("1.234", ("n", 1234)), ("12,5", ("n", 12.5))],
    ], "utf-8", Semicolons, "\r\n")
    write_case("pipe_day_first", "input.csv", [
        [T("id"), T("when"), T("price")],
        [("1", ("n", 1)), ("13/01/2026", ("d", 46035)), ("2.50", ("n", 2.5))],
        [("2", ("n", 2)), ("02/01/2026", ("d", 46024)), ("3.25", ("n", 3.25))],
    ], "cp1252", Pipes, "\n")
