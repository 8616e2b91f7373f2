#!/usr/bin/python3
"""Writes source.xlsx (openpyxl) with hyperlinks of every kind and notes, and converts it with
LibreOffice to input.xls, the case's input:

    /usr/bin/python3 make_input.py    (needs soffice, from Debian's libreoffice-calc-nogui)

links.txt, what the reader must give for the links and notes, comes from LibreOffice's
conversion of input.xls back to .xlsx: dump_links.py input.xls links.txt."""

import os
import shutil
import subprocess
import tempfile

from openpyxl import Workbook
from openpyxl.comments import Comment
from openpyxl.worksheet.hyperlink import Hyperlink

HERE = os.path.dirname(os.path.abspath(__file__))


def build(path):
    workbook = Workbook()
    sheet = workbook.active
    sheet.title = "Links"
    sheet["A1"] = "web"
    sheet["A1"].hyperlink = "https://example.com/path?q=1#part"
    sheet["A2"] = "mail"
    sheet["A2"].hyperlink = "mailto:someone@example.com?subject=Hi"
    # File links are left out: LibreOffice stores them relative to where it converts.
    sheet["A3"] = "inside"
    sheet["A3"].hyperlink = Hyperlink(ref="A3", location="'Notes here'!B2")
    sheet["A4"] = "tip"
    sheet["A4"].hyperlink = Hyperlink(ref="A4", target="https://example.org/",
                                      tooltip="A tip for the link")
    notes = workbook.create_sheet("Notes here")
    notes["B2"] = "noted"
    notes["B2"].comment = Comment("A plain note", "Ann Author")
    notes["C3"] = 5
    notes["C3"].comment = Comment("Two lines\nsecond line", "Bob")
    notes["D4"].comment = Comment("Ünïcödé ✓ note on an empty cell", "Zoë")
    notes["E5"].comment = Comment("x" * 300, "Long")
    sheet["B6"] = "a range"
    sheet["B6"].hyperlink = "http://example.net/"
    workbook.save(path)


def main():
    source = os.path.join(HERE, "source.xlsx")
    build(source)
    with tempfile.TemporaryDirectory() as out:
        subprocess.run(["soffice", "-env:UserInstallation=file:///tmp/lo-notes-faults",
                        "--headless", "--convert-to", "xls", "--outdir", out, source],
                       check=True, capture_output=True)
        shutil.copy(os.path.join(out, "source.xls"), os.path.join(HERE, "input.xls"))


if __name__ == "__main__":
    main()
