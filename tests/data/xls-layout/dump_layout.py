#!/usr/bin/python3
"""Prints the layout of every worksheet of an .xlsx, one fact a line, sorted: merged ranges,
column widths (two decimals) and hidden and outlined columns, row heights and hidden and
outlined rows, default sizes, print settings, protection and the view as openpyxl reads them.

    /usr/bin/python3 dump_layout.py BOOK.xlsx > layout.txt
"""
import sys

import openpyxl


def number(value):
    return "%.2f" % float(value)


def facts(sheet):
    out = []
    name = sheet.title
    for merged in sheet.merged_cells.ranges:
        out.append((name, "merge", str(merged)))
    for letter, dim in sheet.column_dimensions.items():
        first, last = dim.min or 0, dim.max or 0
        span = "%d-%d" % (first, last)
        # openpyxl gives a column without a width of its own the width 13.
        if dim.width and (dim.width != 13 or dim.customWidth and dim.hidden):
            out.append((name, "column width", span, number(dim.width)))
        if dim.hidden:
            out.append((name, "column hidden", span))
        if dim.outline_level:
            out.append((name, "column outline", span, str(dim.outline_level)))
    fmt = sheet.sheet_format
    for index, dim in sheet.row_dimensions.items():
        if dim.ht and number(dim.ht) != number(fmt.defaultRowHeight):
            out.append((name, "row height", str(index), number(dim.ht)))
        if dim.hidden:
            out.append((name, "row hidden", str(index)))
        if dim.outline_level:
            out.append((name, "row outline", str(index), str(dim.outline_level)))
    out.append((name, "default row height", number(fmt.defaultRowHeight)))
    if fmt.defaultColWidth:
        out.append((name, "default column width", number(fmt.defaultColWidth)))
    margins = sheet.page_margins
    out.append((name, "margins", " ".join(number(getattr(margins, side)) for side in
                                          ("left", "right", "top", "bottom", "header",
                                           "footer"))))
    setup = sheet.page_setup
    out.append((name, "orientation", str(setup.orientation)))
    out.append((name, "paper size", str(setup.paperSize)))
    out.append((name, "fit to", "%s %s" % (1 if setup.fitToWidth is None else setup.fitToWidth,
                                           1 if setup.fitToHeight is None else setup.fitToHeight)))
    out.append((name, "fit to page", str(bool(sheet.sheet_properties.pageSetUpPr and
                                           sheet.sheet_properties.pageSetUpPr.fitToPage))))
    options = sheet.print_options
    out.append((name, "print", "centred %s gridlines %s headings %s" % (
        bool(options.horizontalCentered), bool(options.gridLines), bool(options.headings))))
    out.append((name, "header", sheet.oddHeader.center.text or ""))
    out.append((name, "footer", sheet.oddFooter.right.text or ""))
    for brk in sheet.row_breaks.brk:
        out.append((name, "row break", str(brk.id)))
    for brk in sheet.col_breaks.brk:
        out.append((name, "column break", str(brk.id)))
    protection = sheet.protection
    out.append((name, "protected", "%s %s formatColumns %s" % (
        bool(protection.sheet), (protection.password or "").upper(),
        bool(protection.formatColumns))))
    color = sheet.sheet_properties.tabColor
    out.append((name, "tab colour", color.rgb if color is not None else ""))
    view = sheet.sheet_view
    out.append((name, "right to left", str(bool(view.rightToLeft))))
    return out


def main():
    book = openpyxl.load_workbook(sys.argv[1])
    lines = ["(workbook)\tactive sheet\t" + book.active.title]
    for sheet in book.worksheets:
        lines.extend("\t".join(fact) for fact in facts(sheet))
    for line in sorted(lines):
        print(line)


if __name__ == "__main__":
    main()
