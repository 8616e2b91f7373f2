#!/usr/bin/python3
"""Writes source.xlsx, a workbook of cell styles, with openpyxl; LibreOffice saves it as the
case's input.xls:

    soffice --headless --convert-to xls source.xlsx && mv source.xls input.xls

Every kind of attribute a cell format holds is here: fonts (with colours outside the standard
palette, which LibreOffice stores in a PALETTE record), solid fills, each border line style,
diagonal lines, alignments, rotations, protection, number formats, and blank cells that hold
only a style (BLANK and MULBLANK records); one text is formatted in parts (runs, which
LibreOffice writes as a shared string's), put into the sheet after openpyxl, which cannot
write runs. Patterns other than solid, accounting underlines,
indents and centring across a selection are left to the reader's unit tests: LibreOffice
does not read them back as it wrote them, nor the slanted dash-dot line.
"""

import os
import zipfile

import openpyxl
from openpyxl.styles import Alignment, Border, Font, PatternFill, Protection, Side

wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Styles"

fonts = [
    Font(bold=True),
    Font(italic=True, color="FFFF0000"),
    Font(name="Arial", size=14, color="FF123456"),
    Font(underline="double", strike=True, vertAlign="superscript"),
    Font(underline="single", vertAlign="subscript", size=8),
    Font(name="Courier New", bold=True, italic=True, color="FF0000FF"),
]
for row, font in enumerate(fonts, start=1):
    cell = ws.cell(row=row, column=1, value="font %d" % row)
    cell.font = font

fills = ["FFFFFF00", "FFCCFFCC", "FF654321", "FF000080"]
for row, color in enumerate(fills, start=1):
    cell = ws.cell(row=row, column=2, value=row)
    cell.fill = PatternFill("solid", fgColor=color)

lines = ["thin", "medium", "dashed", "dotted", "thick", "double", "hair", "mediumDashed",
         "dashDot", "mediumDashDot", "dashDotDot", "mediumDashDotDot"]
for row, line in enumerate(lines, start=1):
    cell = ws.cell(row=row, column=3, value=line)
    cell.border = Border(left=Side(line, color="FFFF0000"), right=Side(line),
                         top=Side(line, color="FF00FF00"), bottom=Side(line, color="FF336699"))

diagonals = [(True, False), (False, True), (True, True)]
for row, (up, down) in enumerate(diagonals, start=1):
    cell = ws.cell(row=row, column=4, value="diagonal")
    cell.border = Border(diagonal=Side("thin", color="FF0000FF"), diagonalUp=up,
                         diagonalDown=down)

alignments = [
    Alignment(horizontal="left"), Alignment(horizontal="center"), Alignment(horizontal="right"),
    Alignment(horizontal="fill"), Alignment(horizontal="justify"),
    Alignment(horizontal="distributed"), Alignment(vertical="top"),
    Alignment(vertical="center"), Alignment(vertical="justify"),
    Alignment(vertical="distributed"), Alignment(wrap_text=True),
    Alignment(text_rotation=45), Alignment(text_rotation=90), Alignment(text_rotation=135),
    Alignment(text_rotation=180), Alignment(text_rotation=255), Alignment(shrink_to_fit=True),
]
for row, alignment in enumerate(alignments, start=1):
    cell = ws.cell(row=row, column=5, value="aligned")
    cell.alignment = alignment

ws["F1"] = 1.5
ws["F1"].number_format = "0.000"
ws["F1"].protection = Protection(locked=False)
ws["F2"] = 2.5
ws["F2"].protection = Protection(hidden=True)
ws["F3"] = 45000
ws["F3"].number_format = "yyyy-mm-dd"
ws["F3"].font = Font(bold=True)

# Blank cells holding a style: one alone, and three in a row.
ws["G1"].fill = PatternFill("solid", fgColor="FFFFCC99")
for column in ("G", "H", "I"):
    ws[column + "3"].border = Border(bottom=Side("thick"))

ws["A8"] = "rich and plain"

wb.save("plain.xlsx")
RUNS = ('<is><r><rPr><b/><sz val="11"/><color rgb="FFFF0000"/><rFont val="Arial"/></rPr>'
        '<t>rich</t></r><r><t xml:space="preserve"> and plain</t></r></is>')
with zipfile.ZipFile("plain.xlsx") as source, zipfile.ZipFile("source.xlsx", "w") as out:
    for item in source.infolist():
        data = source.read(item.filename)
        if item.filename == "xl/worksheets/sheet1.xml":
            data = data.replace(b"<is><t>rich and plain</t></is>", RUNS.encode())
        out.writestr(item, data)
os.remove("plain.xlsx")
