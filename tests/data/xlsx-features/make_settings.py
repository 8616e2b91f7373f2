#!/usr/bin/python3
"""Writes the workbooks that test the sheet-wide settings a sheet copy carries.

Each feature has a workbook of its own; its data starts at C3, not A1, so that a merge that
pastes it after a first block lands it at an offset. Run with /usr/bin/python3 (openpyxl).
The last workbook is edited after openpyxl saves it, to hold what no merge can carry (a
pivot table's relationship, a sparkline extension, form controls, a VBA project).
"""
import os
import shutil
import sys
import tempfile
import zipfile

import openpyxl
from openpyxl.styles import Font, GradientFill
from openpyxl.worksheet.filters import (CustomFilter, CustomFilters, DynamicFilter,
                                        FilterColumn, Filters, Top10)
from openpyxl.worksheet.page import PageMargins
from openpyxl.worksheet.pagebreak import Break

HERE = os.path.dirname(os.path.abspath(__file__))


def table(ws, rows=12):
    """A header at C3 and rows below it, in C..F."""
    ws['C3'] = 'Name'
    ws['D3'] = 'Amount'
    ws['E3'] = 'Kind'
    ws['F3'] = 'Date'
    for i in range(rows):
        r = 4 + i
        ws.cell(r, 3, 'item%d' % i)
        ws.cell(r, 4, (i * 7) % 50)
        ws.cell(r, 5, 'ab'[i % 2])
        ws.cell(r, 6, 45000 + i)


def other(wb):
    ws = wb.create_sheet('Other')
    ws['A1'] = 'other'
    return ws


def autofilter(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = 'Filtered'
    table(ws)
    ws.auto_filter.ref = 'C3:F15'
    ws.auto_filter.filterColumn.append(
        FilterColumn(colId=0, filters=Filters(blank=True, filter=['item1', 'item2'])))
    ws.auto_filter.filterColumn.append(
        FilterColumn(colId=1, customFilters=CustomFilters(_and=True, customFilter=[
            CustomFilter(operator='greaterThanOrEqual', val='5'),
            CustomFilter(operator='lessThan', val='40')])))
    ws.auto_filter.filterColumn.append(
        FilterColumn(colId=2, top10=Top10(top=False, percent=True, val=25)))
    ws.auto_filter.filterColumn.append(
        FilterColumn(colId=3, dynamicFilter=DynamicFilter(type='aboveAverage', val=45005.5)))
    ws.auto_filter.add_sort_condition('D4:D15', descending=True)
    other(wb)
    wb.save(path)


def views(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = 'Frozen'
    table(ws)
    ws.freeze_panes = 'D5'
    view = ws.sheet_view
    view.zoomScale = 150
    view.showGridLines = False
    view.showRowColHeaders = False
    view.showZeros = False
    view.rightToLeft = True
    split = other(wb)
    split['C3'] = 1
    split.sheet_view.pane = openpyxl.worksheet.views.Pane(
        xSplit=2400, ySplit=1800, topLeftCell='E7', activePane='bottomRight', state='split')
    split.sheet_view.zoomScale = 75
    wb.save(path)


def printing(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = 'Printed'
    table(ws, 40)
    ws.sheet_properties.tabColor = '1072BA'
    ws.sheet_properties.pageSetUpPr.fitToPage = True
    ws.print_options.horizontalCentered = True
    ws.print_options.gridLines = True
    ws.print_options.headings = True
    ws.page_margins = PageMargins(left=1.25, right=0.5, top=1.5, bottom=0.25, header=0.4,
                                  footer=0.2)
    ws.page_setup.orientation = 'landscape'
    ws.page_setup.paperSize = 9
    ws.page_setup.fitToWidth = 1
    ws.page_setup.fitToHeight = 3
    ws.page_setup.firstPageNumber = 7
    ws.page_setup.useFirstPageNumber = True
    ws.HeaderFooter.differentFirst = True
    ws.HeaderFooter.differentOddEven = True
    ws.oddHeader.center.text = 'Monthly &[Page] of &N'
    ws.oddFooter.right.text = 'odd footer'
    ws.evenHeader.left.text = 'even header'
    ws.firstHeader.center.text = 'first page'
    ws.row_breaks.append(Break(id=20))
    ws.col_breaks.append(Break(id=4))
    ws.print_title_rows = '3:3'
    other(wb)
    wb.save(path)


def outline(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = 'Grouped'
    table(ws, 16)
    ws.sheet_properties.outlinePr.summaryBelow = False
    ws.sheet_properties.outlinePr.summaryRight = False
    ws.row_dimensions.group(6, 9, outline_level=1, hidden=False)
    ws.row_dimensions.group(7, 8, outline_level=2, hidden=True)
    ws.row_dimensions[10].collapsed = True
    ws.column_dimensions.group('D', 'E', outline_level=1, hidden=False)
    ws.sheet_format.outlineLevelRow = 2
    ws.sheet_format.outlineLevelCol = 1
    other(wb)
    wb.save(path)


def protection(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = 'Locked'
    table(ws)
    ws.protection.sheet = True
    ws.protection.password = 'secret'
    ws.protection.formatColumns = False
    ws.protection.sort = False
    ws.protection.autoFilter = False
    ws.protection.selectLockedCells = True
    other(wb)
    wb.save(path)


def gradients(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = 'Gradients'
    ws['C3'] = 'linear'
    ws['C3'].fill = GradientFill(degree=45, stop=('FFFF0000', 'FF0000FF'))
    ws['D4'] = 'path'
    ws['D4'].fill = GradientFill(type='path', left=0.2, right=0.8, top=0.3, bottom=0.7,
                                 stop=('FFFFFFFF', 'FF00FF00'))
    ws['D4'].font = Font(bold=True)
    other(wb)
    wb.save(path)


SPARKLINES = (
    '<extLst><ext uri="{05C60535-1F16-4fd2-B633-F4F36F0B64E0}" '
    'xmlns:x14="http://schemas.microsoft.com/office/spreadsheetml/2009/9/main">'
    '<x14:sparklineGroups xmlns:xm="http://schemas.microsoft.com/office/excel/2006/main">'
    '<x14:sparklineGroup><x14:sparklines><x14:sparkline><xm:f>Held!C4:C6</xm:f>'
    '<xm:sqref>E4</xm:sqref></x14:sparkline></x14:sparklines></x14:sparklineGroup>'
    '</x14:sparklineGroups></ext></extLst>')

CONTROLS = (
    '<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006">'
    '<mc:Choice Requires="x14"><controls><mc:AlternateContent><mc:Choice Requires="x14">'
    '<control shapeId="1025" r:id="rIdCtrl" name="Check Box 1"/></mc:Choice>'
    '</mc:AlternateContent></controls></mc:Choice></mc:AlternateContent>')


def uncarried(path):
    """A workbook holding what nothing can carry, its parts edited after openpyxl wrote it."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = 'Held'
    table(ws, 3)
    other(wb)
    raw = path + '.tmp'
    wb.save(raw)
    with zipfile.ZipFile(raw) as src, zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as out:
        for item in src.infolist():
            data = src.read(item.filename)
            if item.filename == 'xl/worksheets/sheet1.xml':
                text = data.decode('utf-8')
                text = text.replace('</worksheet>', CONTROLS + SPARKLINES + '</worksheet>')
                data = text.encode('utf-8')
            elif item.filename == 'xl/workbook.xml':
                text = data.decode('utf-8')
                text = text.replace('</workbook>', '<pivotCaches><pivotCache cacheId="1" '
                                    'r:id="rIdPivotCache"/></pivotCaches></workbook>')
                data = text.encode('utf-8')
            elif item.filename == 'xl/_rels/workbook.xml.rels':
                text = data.decode('utf-8')
                text = text.replace(
                    '</Relationships>',
                    '<Relationship Id="rIdVba" Type="http://schemas.microsoft.com/office/2006/'
                    'relationships/vbaProject" Target="vbaProject.bin"/></Relationships>')
                data = text.encode('utf-8')
            out.writestr(item, data)
        out.writestr('xl/worksheets/_rels/sheet1.xml.rels',
                     '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
                     '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/'
                     'relationships"><Relationship Id="rIdPivot" Type="http://schemas.'
                     'openxmlformats.org/officeDocument/2006/relationships/pivotTable" '
                     'Target="../pivotTables/pivotTable1.xml"/></Relationships>')
        out.writestr('xl/vbaProject.bin', b'not a real project')
    os.remove(raw)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else HERE
    for name, make in [('settings_autofilter', autofilter), ('settings_views', views),
                       ('settings_print', printing), ('settings_outline', outline),
                       ('settings_protection', protection), ('settings_gradient', gradients),
                       ('settings_uncarried', uncarried)]:
        make(os.path.join(target, name + '.xlsx'))


if __name__ == '__main__':
    main()
