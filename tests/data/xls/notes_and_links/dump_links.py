#!/usr/bin/python3
"""Writes the hyperlinks and notes of a workbook as LibreOffice reads them: LibreOffice
converts it to .xlsx, whose links and notes openpyxl reads. One line each, sorted by sheet and
cell, fields separated by tabs:

    <sheet>!<range> TAB link TAB <target> TAB <location> TAB <tooltip>
    <sheet>!<cell> TAB note TAB <author> TAB <text>

Backslash, tab, CR and LF are written as \\\\, \\t, \\r and \\n.

Usage: dump_links.py WORKBOOK OUTPUT   (needs soffice, from Debian's libreoffice-calc-nogui)
"""

import os
import subprocess
import sys
import tempfile

from openpyxl import load_workbook


def escape(text):
    return ((text or "").replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r")
            .replace("\n", "\\n"))


def lines_of(path):
    lines = []
    workbook = load_workbook(path)
    for sheet in workbook.worksheets:
        for row in sheet.iter_rows():
            for cell in row:
                link = cell.hyperlink
                if link is not None:
                    lines.append((sheet.title, link.ref or cell.coordinate, "link", link.target,
                                  link.location, link.tooltip))
                if cell.comment is not None:
                    lines.append((sheet.title, cell.coordinate, "note", cell.comment.author,
                                  cell.comment.text))
    return ["\t".join([f"{escape(s)}!{r}", kind] + [escape(f) for f in rest])
            for s, r, kind, *rest in lines]


def main():
    source, output = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as out:
        subprocess.run(["soffice", "-env:UserInstallation=file:///tmp/lo-notes-faults",
                        "--headless", "--convert-to", "xlsx", "--outdir", out, source],
                       check=True, capture_output=True)
        name = os.path.splitext(os.path.basename(source))[0] + ".xlsx"
        lines = lines_of(os.path.join(out, name))
    with open(output, "w", encoding="utf-8", newline="\n") as f:
        f.write("".join(line + "\n" for line in lines))


if __name__ == "__main__":
    main()
