#!/usr/bin/python3
"""Writes the cell styles of a workbook as LibreOffice reads them: LibreOffice converts the
workbook to .xlsx, whose cells openpyxl reads. One line a cell whose style is not the default
one, sorted:

    sheet!cell <TAB> fact [<TAB> fact]...

The facts, each written only when it is not the default:

    font=NAME,SIZE[,b][,i][,u=UNDERLINE][,s][,v=superscript|subscript],COLOUR
    fill=PATTERN,FOREGROUND[,BACKGROUND]     (a solid fill's background is not shown)
    border=EDGE:STYLE:COLOUR,...[,diagU|diagD|diagUD]
    align=[h=H][,v=V][,wrap][,rot=N][,indent=N][,shrink]
    prot=[unlocked][,hidden]
    fmt=NUMBER FORMAT   (in capitals, without quotes, backslashes and locale tags such as
                        [$-409], which LibreOffice adds and spells in its own way)

The font is always written. A colour is RRGGBB, or "auto" for the automatic colour; black
fonts and lines are written "auto", as LibreOffice writes the automatic colour of a line as
no colour and of some fonts as black. Cells that a merged range covers are left out (LibreOffice
drops their styles), and so are cells of the default style.

Usage: dump_styles.py WORKBOOK OUTPUT   (needs soffice and openpyxl)
"""

import os
import shutil
import subprocess
import sys
import tempfile

import re

import openpyxl
from openpyxl.styles.colors import COLOR_INDEX
from openpyxl.utils.cell import range_boundaries


def color_text(color, palette, black_is_auto):
    text = "auto"
    if color is not None:
        if color.type == "rgb" and isinstance(color.rgb, str):
            text = color.rgb[-6:].upper()
        elif color.type == "indexed" and color.indexed is not None and color.indexed < 64:
            text = palette[color.indexed][-6:].upper()
        elif color.type == "theme":
            text = "theme%d" % color.theme
    return "auto" if black_is_auto and text == "000000" else text


def format_text(code):
    return re.sub(r"\[\$-[0-9A-Fa-f]+\]", "", code).replace("\\", "").replace('"', "").upper()


def facts(cell, palette):
    f = cell.font
    font = "font=%s,%g" % (f.name, f.sz or 0)
    font += ",b" if f.b else ""
    font += ",i" if f.i else ""
    font += ",u=" + f.u if f.u else ""
    font += ",s" if f.strike else ""
    font += ",v=" + f.vertAlign if f.vertAlign in ("superscript", "subscript") else ""
    font += "," + color_text(f.color, palette, True)
    parts = [font]
    fill = cell.fill
    pattern = getattr(fill, "patternType", None)
    if pattern and pattern != "none":
        text = "fill=%s,%s" % (pattern, color_text(fill.fgColor, palette, False))
        if pattern != "solid":
            text += "," + color_text(fill.bgColor, palette, False)
        parts.append(text)
    b = cell.border
    edges = []
    for name in ("left", "right", "top", "bottom"):
        side = getattr(b, name)
        if side is not None and side.style:
            edges.append("%s:%s:%s" % (name, side.style, color_text(side.color, palette, True)))
    if b.diagonal is not None and b.diagonal.style and (b.diagonalUp or b.diagonalDown):
        edges.append("diagonal:%s:%s" % (b.diagonal.style,
                                          color_text(b.diagonal.color, palette, True)))
        edges.append("diag%s%s" % ("U" if b.diagonalUp else "", "D" if b.diagonalDown else ""))
    if edges:
        parts.append("border=" + ",".join(edges))
    a = cell.alignment
    align = []
    if a.horizontal and a.horizontal != "general":
        align.append("h=" + a.horizontal)
    if a.vertical and a.vertical != "bottom":
        align.append("v=" + a.vertical)
    if a.wrap_text:
        align.append("wrap")
    if a.text_rotation:
        align.append("rot=%d" % a.text_rotation)
    if a.indent:
        align.append("indent=%d" % a.indent)
    if a.shrink_to_fit:
        align.append("shrink")
    if align:
        parts.append("align=" + ",".join(align))
    p = cell.protection
    if not p.locked or p.hidden:
        parts.append("prot=" + ",".join(x for x in ("unlocked" if not p.locked else "",
                                                  "hidden" if p.hidden else "") if x))
    if cell.number_format and cell.number_format != "General":
        parts.append("fmt=" + format_text(cell.number_format))
    return "\t".join(parts)


def dump(xlsx, out):
    wb = openpyxl.load_workbook(xlsx)
    palette = wb._colors if getattr(wb, "_colors", None) else COLOR_INDEX
    lines = []
    for ws in wb.worksheets:
        covered = set()
        for merged in ws.merged_cells.ranges:
            c1, r1, c2, r2 = range_boundaries(merged.coord)
            covered |= {(r, c) for r in range(r1, r2 + 1) for c in range(c1, c2 + 1)}
            covered.discard((r1, c1))
        default = None
        for row in ws.iter_rows():
            for cell in row:
                if (cell.row, cell.column) in covered:
                    continue
                if default is None:
                    default = facts(type(cell)(ws), palette)  # a cell of style 0
                text = facts(cell, palette)
                if text != default:
                    lines.append("%s!%s\t%s" % (ws.title, cell.coordinate, text))
    with open(out, "w", encoding="utf-8") as f:
        f.write("".join(line + "\n" for line in sorted(lines)))


def main(workbook, out):
    with tempfile.TemporaryDirectory() as tmp:
        profile = "file://" + os.path.join(tmp, "profile")
        subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless",
                        "--convert-to", "xlsx", "--outdir", tmp, workbook],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        name = os.path.splitext(os.path.basename(workbook))[0] + ".xlsx"
        dump(os.path.join(tmp, name), out)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
