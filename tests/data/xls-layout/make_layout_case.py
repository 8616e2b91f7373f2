#!/usr/bin/python3
"""Writes layout.xlsx, a workbook of sheet layouts (merged cells, widths, heights, outlines,
views, print setup, protection), for LibreOffice to save as input.xls:

    /usr/bin/python3 make_layout_case.py
    soffice --headless -env:UserInstallation=file:///tmp/lo-layout-case \
        --convert-to xls --outdir . layout.xlsx && mv layout.xls input.xls
    soffice --headless -env:UserInstallation=file:///tmp/lo-layout-case \
        --convert-to xlsx --outdir /tmp/layout-back input.xls
    /usr/bin/python3 dump_layout.py /tmp/layout-back/input.xlsx > layout.txt
"""
import datetime

import openpyxl
from openpyxl.chart import BarChart, Reference
from openpyxl.formatting.rule import CellIsRule
from openpyxl.styles import PatternFill
from openpyxl.worksheet.datavalidation import DataValidation
from openpyxl.worksheet.pagebreak import Break

book = openpyxl.Workbook()
ws = book.active
ws.title = "Layout"
for row in range(1, 21):
    for column in range(1, 9):
        ws.cell(row=row, column=column, value=row * 10 + column)
ws["A1"] = "Merged title"
ws.merge_cells("A1:C1")
ws.merge_cells("B3:B5")
ws.merge_cells("E10:G12")
ws["H2"] = datetime.datetime(2024, 3, 15, 12, 30)
ws.column_dimensions["B"].width = 20
ws.column_dimensions["C"].hidden = True
ws.column_dimensions.group("D", "E", outline_level=1)
ws.column_dimensions["F"].width = 5.5
ws.column_dimensions["H"].width = 18
ws.row_dimensions[2].height = 30
ws.row_dimensions[7].hidden = True
ws.row_dimensions.group(8, 9, outline_level=1)
ws.row_dimensions[15].height = 6
# Rows without cells that carry a format of their own.
ws.row_dimensions[25].hidden = True
ws.row_dimensions[30].height = 42
ws.freeze_panes = "B2"
ws.sheet_view.zoomScale = 150
ws.sheet_view.showGridLines = False
ws.sheet_properties.tabColor = "FF0000"
ws.sheet_properties.outlinePr.summaryBelow = False
ws.page_setup.orientation = "landscape"
ws.page_setup.paperSize = 9
ws.page_setup.fitToWidth = 1
ws.page_setup.fitToHeight = 0
ws.sheet_properties.pageSetUpPr.fitToPage = True
ws.page_margins.left = 1.0
ws.page_margins.right = 0.5
ws.page_margins.top = 1.25
ws.page_margins.bottom = 0.8
ws.page_margins.header = 0.4
ws.page_margins.footer = 0.35
ws.oddHeader.center.text = "Layout title"
ws.oddFooter.right.text = "Page &P of &N"
ws.print_options.horizontalCentered = True
ws.print_options.gridLines = True
ws.print_options.headings = True
ws.row_breaks.append(Break(id=10))
ws.col_breaks.append(Break(id=4))
ws.protection.sheet = True
ws.protection.password = "secret"
ws.protection.formatColumns = False

second = book.create_sheet("Wide RTL")
second.sheet_view.rightToLeft = True
second.sheet_view.showRowColHeaders = False
second.sheet_view.showZeros = False
second.sheet_format.defaultColWidth = 14
second.sheet_format.defaultRowHeight = 20
second.sheet_format.customHeight = True
for row in range(1, 6):
    second.cell(row=row, column=2, value=row)
second["A1"] = 0
second.sheet_view.selection[0].activeCell = "C4"
second.sheet_view.selection[0].sqref = "C4:D6"
second.sheet_properties.tabColor = "0070C0"

third = book.create_sheet("Features")
for row in range(1, 8):
    third.cell(row=row, column=1, value=row)
    third.cell(row=row, column=2, value=row * row)
third.conditional_formatting.add(
    "A1:A7", CellIsRule(operator="greaterThan", formula=["3"],
                        fill=PatternFill("solid", fgColor="FFFF00")))
validation = DataValidation(type="whole", operator="between", formula1="1", formula2="9")
third.add_data_validation(validation)
validation.add("C1:C7")
third.auto_filter.ref = "A1:B7"
chart = BarChart()
chart.add_data(Reference(third, min_col=2, min_row=1, max_row=7))
third.add_chart(chart, "E2")
third.sheet_view.tabSelected = False

book.active = 1
book.save("layout.xlsx")
