#!/usr/bin/python3
"""Merges generated and corpus workbooks with plyfold-merge in every mode, recalculates sources
and results in LibreOffice and compares every formula cell of each result with the value its
source cell recomputes to. Started by tests/tools/check-formulas-with-libreoffice, which
installs what it needs."""

import argparse
import atexit
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile
from dataclasses import dataclass, field
from pathlib import Path
from xml.etree import ElementTree

REPO = Path(__file__).resolve().parents[2]

# ---------------------------------------------------------------------------------------------
# Reading .xlsx packages: values, formulas, number formats, sheet states, the date system.
# Read from the XML itself so that error values, text and numbers stay apart and serial
# numbers are never turned into dates.


@dataclass
class Cell:
    kind: str  # 'n' number, 's' text, 'b' boolean, 'e' error, '' empty
    value: object
    formula: str | None  # None for a constant; '' for a shared formula's dependent cell
    number_format: str
    font: tuple = ()  # name, size, bold, italic, colour


@dataclass
class Sheet:
    name: str
    state: str
    cells: dict = field(default_factory=dict)  # (row, column), 1-based -> Cell
    widths: dict = field(default_factory=dict)  # column, 1-based -> width in characters
    links: list = field(default_factory=list)  # (kind, formula) outside the cells
    default_width: float = 8.43

    def width(self, column):
        return self.widths.get(column, self.default_width)


@dataclass
class Book:
    date1904: bool
    sheets: list
    names: list = field(default_factory=list)  # (name, sheet index or None, formula text)
    legacy: bool = False  # an .xls source, whose formulas plyfold reads as their values


def local(tag):
    return tag.rsplit('}', 1)[-1]


def attribute(element, name):
    for key, value in element.attrib.items():
        if local(key) == name:
            return value
    return None


BUILTIN_FORMATS = {
    0: 'General', 1: '0', 2: '0.00', 3: '#,##0', 4: '#,##0.00', 9: '0%', 10: '0.00%',
    11: '0.00E+00', 12: '# ?/?', 13: '# ??/??', 14: 'mm-dd-yy', 15: 'd-mmm-yy', 16: 'd-mmm',
    17: 'mmm-yy', 18: 'h:mm AM/PM', 19: 'h:mm:ss AM/PM', 20: 'h:mm', 21: 'h:mm:ss',
    22: 'm/d/yy h:mm', 37: '#,##0 ;(#,##0)', 38: '#,##0 ;[Red](#,##0)',
    39: '#,##0.00;(#,##0.00)', 40: '#,##0.00;[Red](#,##0.00)', 45: 'mm:ss', 46: '[h]:mm:ss',
    47: 'mmss.0', 48: '##0.0E+0', 49: '@',
}


def resolve(base, target):
    if target.startswith('/'):
        return target.lstrip('/')
    parts = (base.rsplit('/', 1)[0].split('/') if '/' in base else []) + target.split('/')
    out = []
    for part in parts:
        if part == '..':
            if out:
                out.pop()
        elif part not in ('', '.'):
            out.append(part)
    return '/'.join(out)


def relationships(package, part):
    folder, _, name = part.rpartition('/')
    rels = (folder + '/' if folder else '') + '_rels/' + name + '.rels'
    if rels not in package.namelist():
        return {}
    out = {}
    for element in ElementTree.fromstring(package.read(rels)).iter():
        if local(element.tag) == 'Relationship':
            out[element.get('Id')] = (element.get('Type', ''), element.get('Target', ''),
                                      element.get('TargetMode', ''))
    return out


def text_of(element):
    """The text of a shared string item or an inline string: every <t> outside phonetic runs."""
    parts = []

    def walk(node, phonetic):
        name = local(node.tag)
        if name == 'rPh':
            phonetic = True
        if name == 't' and not phonetic and node.text:
            parts.append(node.text)
        for child in node:
            walk(child, phonetic)

    walk(element, False)
    return ''.join(parts)


CELL_REF = re.compile(r'([A-Z]+)(\d+)')


def split_ref(ref):
    match = CELL_REF.fullmatch(ref)
    column = 0
    for letter in match.group(1):
        column = column * 26 + ord(letter) - 64
    return int(match.group(2)), column


def column_name(column):
    name = ''
    while column:
        column, rest = divmod(column - 1, 26)
        name = chr(65 + rest) + name
    return name


def cell_name(row, column):
    return f'{column_name(column)}{row}'


def read_book(path):
    with zipfile.ZipFile(path) as package:
        root_rels = relationships(package, '')
        workbook_part = next((resolve('', target) for kind, target, _ in root_rels.values()
                              if kind.endswith('/officeDocument')), 'xl/workbook.xml')
        workbook = ElementTree.fromstring(package.read(workbook_part))
        rels = relationships(package, workbook_part)
        strings = []
        styles = []
        palette = []
        for kind, target, _ in rels.values():
            part = resolve(workbook_part, target)
            if kind.endswith('/theme') and part in package.namelist():
                palette = theme_palette(ElementTree.fromstring(package.read(part)))
        for kind, target, _ in rels.values():
            part = resolve(workbook_part, target)
            if kind.endswith('/sharedStrings') and part in package.namelist():
                root = ElementTree.fromstring(package.read(part))
                strings = [text_of(si) for si in root if local(si.tag) == 'si']
            if kind.endswith('/styles') and part in package.namelist():
                styles = read_number_formats(ElementTree.fromstring(package.read(part)),
                                             palette)
        date1904 = False
        for element in workbook.iter():
            if local(element.tag) == 'workbookPr':
                date1904 = (attribute(element, 'date1904') or '').lower() in ('1', 'true')
        names = []
        for element in workbook.iter():
            if local(element.tag) == 'definedName':
                scope = element.get('localSheetId')
                names.append((element.get('name', ''), int(scope) if scope else None,
                              element.text or ''))
        sheets = []
        for element in workbook.iter():
            if local(element.tag) != 'sheet':
                continue
            rel = rels.get(attribute(element, 'id'))
            sheet = Sheet(element.get('name'), element.get('state', 'visible'))
            if rel and rel[0].endswith('/worksheet'):
                part = resolve(workbook_part, rel[1])
                if part in package.namelist():
                    with package.open(part) as stream:
                        read_cells(stream, sheet, strings, styles)
            sheets.append(sheet)
        return Book(date1904, sheets, names)


def theme_palette(root):
    """The theme's colours in the order cell formats number them (light 1 and dark 1 first)."""
    scheme = next((e for e in root.iter() if local(e.tag) == 'clrScheme'), None)
    if scheme is None:
        return []
    colours = {}
    for slot in scheme:
        value = next((c.get('lastClr') or c.get('val') for c in slot
                      if local(c.tag) in ('srgbClr', 'sysClr')), None)
        colours[local(slot.tag)] = (value or '').upper()
    order = ['lt1', 'dk1', 'lt2', 'dk2', 'accent1', 'accent2', 'accent3', 'accent4', 'accent5',
             'accent6', 'hlink', 'folHlink']
    return [colours.get(name, '') for name in order]


def font_colour(element, palette):
    """A font colour as RGB, with the spellings of the default text colour made one; a theme
    colour with a tint stays named (it is compared by name only)."""
    rgb = (element.get('rgb') or '').upper()[-6:]
    theme = element.get('theme')
    if theme is not None and not element.get('tint') and int(theme) < len(palette):
        rgb = palette[int(theme)]
    if element.get('auto') in ('1', 'true') or rgb == '000000' or (theme == '1' and not rgb) \
            or element.get('indexed') in ('8', '64'):
        return 'automatic'
    if rgb:
        return rgb
    if theme is not None:
        return f'theme {theme} {element.get("tint", "")}'
    return 'indexed ' + element.get('indexed', '')


def read_number_formats(root, palette=()):
    """Per cell style: its number format and its font."""
    custom = {}
    xfs = []
    fonts = []
    for element in root:
        if local(element.tag) == 'numFmts':
            for item in element:
                custom[int(item.get('numFmtId'))] = item.get('formatCode', '')
        if local(element.tag) == 'fonts':
            for item in element:
                font = {'b': False, 'i': False}
                for part in item:
                    name = local(part.tag)
                    if name in ('name', 'sz'):
                        font[name] = part.get('val')
                    elif name in ('b', 'i'):
                        font[name] = part.get('val', '1') not in ('0', 'false')
                    elif name == 'color':
                        font['color'] = font_colour(part, palette)
                size = float(font['sz']) if font.get('sz') else None
                fonts.append((font.get('name'), size, font['b'], font['i'],
                              font.get('color', 'automatic')))
        if local(element.tag) == 'cellXfs':
            for xf in element:
                xfs.append((int(xf.get('numFmtId', '0')), int(xf.get('fontId', '0'))))
    return [(custom.get(n, BUILTIN_FORMATS.get(n, 'General')),
             fonts[f] if f < len(fonts) else ()) for n, f in xfs]


def read_cells(stream, sheet, strings, styles):
    for _, element in ElementTree.iterparse(stream):
        name = local(element.tag)
        if name == 'sheetFormatPr':
            if element.get('defaultColWidth'):
                sheet.default_width = float(element.get('defaultColWidth'))
            elif element.get('baseColWidth'):
                sheet.default_width = float(element.get('baseColWidth')) + 0.43
        if name in ('formula1', 'formula2'):
            sheet.links.append(('validation', element.text or ''))
        elif name == 'formula':
            sheet.links.append(('conditional format', element.text or ''))
        elif name == 'hyperlink' and element.get('location'):
            sheet.links.append(('hyperlink', element.get('location')))
        if name == 'col' and element.get('width'):
            for column in range(int(element.get('min')), min(int(element.get('max')), 16384) + 1):
                sheet.widths[column] = float(element.get('width'))
        if name != 'c':
            continue
        ref = element.get('r')
        if ref is None:
            element.clear()
            continue
        kind = element.get('t', 'n')
        style = int(element.get('s', '0'))
        formula = None
        raw = None
        inline = None
        for child in element:
            name = local(child.tag)
            if name == 'f':
                formula = child.text or ''
            elif name == 'v':
                raw = child.text
            elif name == 'is':
                inline = text_of(child)
        if kind == 'inlineStr':
            cell = Cell('s', inline or '', formula, '')
        elif raw is None or (raw == '' and kind != 'str'):
            cell = Cell('', None, formula, '')
        elif kind == 's':
            cell = Cell('s', strings[int(raw)], formula, '')
        elif kind == 'str':
            cell = Cell('s', raw, formula, '')
        elif kind == 'b':
            cell = Cell('b', raw.strip() in ('1', 'true'), formula, '')
        elif kind == 'e':
            cell = Cell('e', raw.strip(), formula, '')
        else:
            try:
                cell = Cell('n', float(raw), formula, '')
            except ValueError:
                cell = Cell('s', raw, formula, '')
        cell.number_format, cell.font = styles[style] if style < len(styles) else \
            ('General', styles[0][1] if styles else ())
        sheet.cells[split_ref(ref)] = cell
        element.clear()


def shows_calendar_date(code):
    """Whether a number format shows a day, month or year part."""
    section = code.split(';')[0]
    section = re.sub(r'\[([hms])\1*\]', r'\1', section, flags=re.I)  # elapsed [h], [mm], [ss]
    section = re.sub(r'"[^"]*"|\\.|\[[^\]]*\]|_.|\*.', '', section).lower()
    section = section.replace('am/pm', '').replace('a/p', '')
    letters = [match.group(0) for match in re.finditer(r'([a-z])\1*', section)]
    for index, run in enumerate(letters):
        if run[0] in 'dy':
            return True
        if run[0] == 'm':
            before = letters[index - 1][0] if index > 0 else ''
            after = letters[index + 1][0] if index + 1 < len(letters) else ''
            if before != 'h' and after != 's':
                return True
    return False


# ---------------------------------------------------------------------------------------------
# The generated workbooks.

MONTHS = [(1, 'North', 'South', 'East'), (2, 'North', 'South', 'West'),
          (3, 'South', 'East', 'West')]


# (month, header row, data rows from row 3 on) of the drifted monthly sales.
DRIFT_MONTHS = [
    (1, ['Date', 'Units', 'Price', 'Total', 'Tax'],
     [[45292 + r, 10 + r, 2.5 * r, f'=B{r}*C{r}', f'=D{r}*$B$1'] for r in range(3, 6)]),
    (2, ['Price', 'Region', 'Date', 'Units', 'Total', 'Check', 'Running'],
     [[1.5 * r, region, 45323 + r, 20 - r, f'=A{r}*D{r}', f'=SUM(A{r}:D{r})',
       '=E3' if r == 3 else f'=G{r - 1}+E{r}']
      for r, region in zip(range(3, 7), ['North', 'South', 'East', 'West'])]),
    (3, ['Date', 'Price', 'Discount', 'Total', 'Share'],
     [[45352 + r, 4.0 * r, r / 2, f'=B{r}-C{r}', f'=D{r}/SUM($D$3:$D$5)'] for r in range(3, 6)]),
    (4, [' total', 'UNITS', 'date ', 'PRICE', 'tax'],
     [[f'=B{r}*D{r}', 3 * r, 45383 + r, 1.25 * r, f'=A{r}*$B$1'] for r in range(3, 5)]),
]


def generate(folder):
    import openpyxl
    from openpyxl.workbook.defined_name import DefinedName
    from openpyxl.worksheet.table import Table

    def name(workbook, text, reference, scope=None):
        defined = DefinedName(text, attr_text=reference, localSheetId=scope)
        workbook.defined_names.append(defined)

    from openpyxl.formatting.rule import FormulaRule
    from openpyxl.styles import Font
    from openpyxl.utils.indexed_list import IndexedList
    from openpyxl.worksheet.datavalidation import DataValidation
    from openpyxl.worksheet.hyperlink import Hyperlink

    # Each month another default font: the spreadsheet's own, Calibri 12 as on a Mac, and
    # Arial 10 in blue as many older files have it.
    default_fonts = {2: Font(name='Calibri', sz=12, family=2),
                     3: Font(name='Arial', sz=10, family=2, color='FF1F497D')}
    files = []
    for month, *regions in MONTHS:
        workbook = openpyxl.Workbook()
        if month in default_fonts:
            workbook._fonts = IndexedList([default_fonts[month]])  # noqa: SLF001
        summary = workbook.active
        summary.title = 'Summary'
        sales = workbook.create_sheet('Sales')
        settings = workbook.create_sheet('Settings')
        notes = workbook.create_sheet('Month Notes')
        helper = workbook.create_sheet('Helper')
        secret = workbook.create_sheet('Secret')
        helper.sheet_state = 'hidden'
        secret.sheet_state = 'veryHidden'

        # The orders: a table with a calculated column; every month sells other amounts.
        sales.append(['Region', 'Amount', 'Qty', 'Price', 'Total'])
        orders = [(regions[0], 100, 2), (regions[1], 250, 5), (regions[2], 75, 1),
                  (regions[0], 40, 4), (regions[1], 10, 3)]
        for row, (region, amount, qty) in enumerate(orders, start=2):
            sales.append([region, amount * month + row, qty + month, 1.5 * row,
                          '=Orders[[#This Row],[Qty]]*Orders[[#This Row],[Price]]'])
        sales.add_table(Table(displayName='Orders', ref='A1:E6'))
        sales['G1'] = 'Checks'
        sales['G2'] = '=SUM(Orders[Total])'
        sales['G3'] = '=COUNTA(Orders[[#All],[Qty]])'
        sales['G4'] = '=SUM(Orders[[Qty]:[Price]])'
        sales['G5'] = '=SUM(Amount)*TaxRate'
        sales['G6'] = '=SUMPRODUCT(Orders[Qty],Orders[Price])'
        sales['G7'] = '=Orders[[#Headers],[Qty]]'
        sales['G8'] = '=SUM(Orders[[#Data],[Qty]])'
        sales['G9'] = '=SUM(Units)'
        sales.print_area = 'A1:E6'
        sales.print_title_rows = '1:1'

        settings['A1'], settings['B1'] = 'Rate', 0.5 + month / 10
        settings['A2'], settings['B2'] = 'TaxRate', 0.2
        settings['A3'], settings['B3'] = 'Month', month
        settings['B4'] = '=B1*100'

        notes['A1'] = month * 100
        notes['A2'] = '=A1*2'

        helper['A1'], helper['B1'] = 'bonus', 7 * month
        helper['A2'], helper['B2'] = 'malus', -3
        helper['A3'], helper['B3'] = 'rated', '=B1*Rate'

        secret['A1'], secret['A2'] = 11 * month, 5
        secret['A3'] = '=A1+A2'

        summary.append(['Region', 'Amount', 'Qty', 'With tax', 'Share', 'Rated'])
        for row, region in enumerate(['North', 'South', 'East', 'West'], start=2):
            summary.append([region, f'=SUMIF(Sales!A:A,A{row},Sales!B:B)',
                            f'=SUMIFS(Sales!C:C,Sales!A:A,A{row})', f'=B{row}*(1+TaxRate)',
                            f'=B{row}/SUM(Orders[Amount])', f'=Rate*B{row}'])
        rows = [
            ('Total', '=SUM(Orders[Amount])'),
            ('Amount x tax', '=SUM(Amount)*TaxRate'),
            ('Bonus (hidden)', '=VLOOKUP("bonus",Helper!A1:B3,2,FALSE)'),
            ('Rated (hidden)', '=Helper!B3'),
            ('Secret', '=SUM(Secret!A1:A3)'),
            ('Month', '=Settings!B3'),
            ('Notes', "='Month Notes'!A2+1"),
            ('Local factor', '=Factor*2'),
            ('Units (Sales name)', '=SUM(Sales!Units)'),
            ('Average', '=AVERAGE(Sales!B2:B6)'),
        ]
        for offset, (label, formula) in enumerate(rows):
            summary.cell(7 + offset, 1, label)
            summary.cell(7 + offset, 2, formula)

        # Formulas without cached results in columns wider than the default.
        for column, width in (('B', 14), ('D', 16), ('F', 12)):
            summary.column_dimensions[column].width = width
        sales.column_dimensions['G'].width = 15
        # Sheet references outside the cells.
        validation = DataValidation(type='list', formula1='Settings!$A$1:$A$3')
        summary.add_data_validation(validation)
        validation.add('A2:A5')
        summary.conditional_formatting.add(
            'B2:B5', FormulaRule(formula=['B2>Settings!$B$3*100'], font=Font(bold=True)))
        summary['A18'] = 'Notes'
        summary['A18'].hyperlink = Hyperlink(ref='A18', location="'Month Notes'!A1")
        name(workbook, 'Rate', 'Settings!$B$1')
        name(workbook, 'TaxRate', 'Settings!$B$2')
        name(workbook, 'Amount', 'Sales!$B$2:$B$6')
        name(workbook, 'Factor', 'Settings!$B$4', scope=0)  # scoped to Summary
        name(workbook, 'Units', 'Sales!$C$2:$C$6', scope=1)  # scoped to Sales
        path = folder / f'month-{month:02}.xlsx'
        workbook.save(path)
        files.append(path)

    for date1904 in (False, True):
        workbook = openpyxl.Workbook()
        if date1904:
            from openpyxl.utils.datetime import CALENDAR_MAC_1904
            workbook.epoch = CALENDAR_MAC_1904
        sheet = workbook.active
        sheet.title = 'Times'
        shift = 1462 if date1904 else 0
        sheet.append(['Date', 'Time', 'Duration', 'Hours', 'Next day', 'Year', 'Stamp',
                      'Hour', 'Fixed', 'Minutes', 'Clock'])
        entries = [(45292, 0.5, 1.5, 0.25), (45351, 0.75, 0.0625, 1.0), (45658, 0.125, 2.25, 0.5)]
        formats = ['yyyy-mm-dd', 'h:mm', '[h]:mm', '0.00', 'yyyy-mm-dd', '0', 'yyyy-mm-dd h:mm',
                   '0', 'd mmm yyyy', '0', 'mm:ss']
        for row, (day, clock, duration, small) in enumerate(entries, start=2):
            values = [day - shift, clock, duration, f'=C{row}*24', f'=A{row}+1',
                      f'=YEAR(A{row})', f'=A{row}+B{row}', f'=HOUR(B{row})', '=DATE(2024,2,29)',
                      f'=D{row}*60', small / 24]
            sheet.append(values)
            for column, number_format in enumerate(formats, start=1):
                sheet.cell(row, column).number_format = number_format
        for column, width in (('D', 11), ('G', 18), ('I', 13)):
            sheet.column_dimensions[column].width = width
        path = folder / ('times-1904.xlsx' if date1904 else 'times-1900.xlsx')
        workbook.save(path)
        files.append(path)

    # Monthly sales whose columns drifted, under a title row that holds the month's rate: the
    # header is row 2. February reorders the columns and adds Region, Check (a sum over columns
    # that part when matched) and Running (a running total reading the row above); March lacks
    # Units and adds Discount and Share (a column range fixed to the month's rows); April has
    # every header in another case, with blanks around some. January's Blank sheet is empty.
    for month, headers, rows in DRIFT_MONTHS:
        workbook = openpyxl.Workbook()
        sheet = workbook.active
        sheet.title = 'Sales'
        sheet.append([f'Month {month}, rate', 0.1 * month])
        sheet.append(headers)
        for row in rows:
            sheet.append(row)
        if month == 1:
            workbook.create_sheet('Blank')
        path = folder / f'drift-{month:02}.xlsx'
        workbook.save(path)
        files.append(path)
    return files


def generated_cases():
    """(name, mode, gap, skip first, [(file key, sheet)])"""
    all_sheets = ['Summary', 'Sales', 'Settings', 'Month Notes', 'Helper', 'Secret']
    months = ['month-01', 'month-02', 'month-03']
    drift = [('drift-01', 'Blank')] + [(f'drift-{m:02}', 'Sales') for m in range(1, 5)]
    return [
        ('months-workbook', 'workbook', 0, False,
         [(m, s) for m in months for s in all_sheets]),
        ('months-workbook-partial', 'workbook', 0, False,
         [('month-03', 'Summary'), ('month-01', 'Sales'), ('month-02', 'Summary'),
          ('month-03', 'Sales'), ('month-01', 'Summary'), ('month-02', 'Helper')]),
        ('months-workbook-lo', 'workbook', 0, False,
         [('month-02-lo', s) for s in all_sheets] + [('month-01', s) for s in all_sheets]),
        ('summaries-vertical', 'vertical', 1, True, [(m, 'Summary') for m in months]),
        ('sales-vertical', 'vertical', 0, False,
         [(m, s) for m in months for s in ('Sales', 'Month Notes')]),
        ('lo-vertical', 'vertical', 2, False,
         [('month-02-lo', 'Summary'), ('month-02-lo', 'Sales'), ('month-01', 'Summary')]),
        ('months-horizontal', 'horizontal', 1, False,
         [('month-01', 'Summary'), ('month-01', 'Sales'), ('month-02', 'Sales'),
          ('month-03', 'Summary'), ('month-02', 'Helper')]),
        ('times-workbook', 'workbook', 0, False,
         [('times-1904', 'Times'), ('times-1900', 'Times')]),
        ('times-vertical', 'vertical', 1, True,
         [('times-1900', 'Times'), ('times-1904', 'Times')]),
        ('times-horizontal', 'horizontal', 0, False,
         [('times-1904', 'Times'), ('times-1900', 'Times')]),
        ('drift-matched', 'vertical', 1, True, drift),
        ('drift-matched-every-header', 'vertical', 0, False, drift),
        ('drift-position', 'vertical', 0, True, drift),
        ('drift-horizontal', 'horizontal', 1, False, drift),
    ]


# The plyfold-merge options of the cases that give any, beside their mode, gap and first row.
CASE_OPTIONS = {
    'drift-matched': ['--match-headers', '--source-column', '--header-row', '2'],
    'drift-matched-every-header': ['--match-headers', '--header-row', '2'],
    'drift-position': ['--source-column', '--header-row', '2'],
    'drift-horizontal': ['--source-column', '--header-row', '2'],
}


# ---------------------------------------------------------------------------------------------
# LibreOffice, headless, with a profile of its own that recalculates every formula on load and
# never updates links (so references into other files compute from what the file holds).

PROFILE_SETTINGS = '''<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" oor:op="fuse"><value>0</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="ODFRecalcMode" oor:op="fuse"><value>0</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Content/Update"><prop oor:name="Link" oor:op="fuse"><value>1</value></prop></item>
</oor:items>
'''


class LibreOffice:
    def __init__(self, profile):
        self.profile = profile
        (profile / 'user').mkdir(parents=True, exist_ok=True)
        (profile / 'user' / 'registrymodifications.xcu').write_text(PROFILE_SETTINGS)

    def run(self, files, outdir, timeout):
        command = ['soffice', f'-env:UserInstallation={self.profile.as_uri()}', '--headless',
                   '--norestore', '--convert-to', 'xlsx:Calc MS Excel 2007 XML',
                   '--outdir', str(outdir)] + [str(f) for f in files]
        try:
            subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=timeout, check=False)
        except subprocess.TimeoutExpired:
            pass

    def recalculate(self, files, outdir):
        """Recalculated copies as .xlsx in outdir, by stem; a file that fails is left out."""
        outdir.mkdir(parents=True, exist_ok=True)
        if not files:  # without files LibreOffice would wait for work forever
            return {}
        self.run(files, outdir, 900)
        for path in files:
            if not (outdir / (path.stem + '.xlsx')).exists():
                self.run([path], outdir, 180)
        return {path.stem: outdir / (path.stem + '.xlsx') for path in files
                if (outdir / (path.stem + '.xlsx')).exists()}


# ---------------------------------------------------------------------------------------------
# Where each cell of a source lands in a result.


def used_range(sheet):
    if not sheet.cells:
        return None
    rows = [r for r, _ in sheet.cells]
    columns = [c for _, c in sheet.cells]
    return min(rows), min(columns), max(rows), max(columns)


def one_sheet_placement(mode, gap, skip_first, ranges, header_row=1, source=False):
    """For each block (its source used range or None), a function from a source cell to its
    result cell (None when the cell was dropped), following the one-sheet merges: each block
    pasted whole at the next free row (column), the next position measured from the result's
    used range, the first row (column) of every later block deleted when asked. The rows above
    header_row are left out of every block; a source column (row) comes before the blocks."""
    vertical = mode == 'vertical'
    position, used, first = 1, 0, True
    placements = []
    for extent in ranges:
        if extent is not None and header_row > 1:
            r0, c0, r1, c1 = extent
            extent = (r0 + header_row - 1, c0, r1, c1) if r0 + header_row - 1 <= r1 else None
        if extent is None:  # an empty sheet, or nothing below the titles: no block at all
            placements.append(None)
            continue
        r0, c0, r1, c1 = extent
        size = (r1 - r0 + 1) if vertical else (c1 - c0 + 1)
        start = position
        after = max(used, start + size - 1)
        dropped = None
        if skip_first and not first and after - used > 0 and after - size + 1 > 0:
            dropped = after - size + 1
            after = max(used, after - 1) if size > 1 else used

        def place(row, column, r0=r0, c0=c0, start=start, dropped=dropped):
            if row < r0:
                return None  # a title row
            along = start + ((row - r0) if vertical else (column - c0))
            if dropped is not None:
                if along == dropped:
                    return None
                if along > dropped:
                    along -= 1
            across = (column - c0 + 1) if vertical else (row - r0 + 1)
            across += 1 if source else 0
            return (along, across) if vertical else (across, along)

        placements.append(place)
        used, first = after, False
        position = used + gap + 1
    return placements


def header_key(text):
    """A header as the merge by header matches it: blanks around it trimmed, case folded."""
    return text.strip(' \t\r\n\u00a0').casefold()


def header_text(cell):
    if cell is None or cell.kind == '':
        return ''
    if cell.kind == 'n':
        return f'{cell.value:g}'
    if cell.kind == 'b':
        return 'TRUE' if cell.value else 'FALSE'
    return str(cell.value)


def matched_placement(gap, skip_first, ranges, header_row, headers, result_headers):
    """The vertical merge by header: for each block (its source used range or None), a function
    from a source cell to its result cell, each source column found by its header in the
    result's header row (result_headers: result column -> text; a repeated header is its
    repeat of the same rank), the rows stacked as the merge stacks them: the rows above the
    header row left out, and the header row of every later block too when skip_first.
    headers: for each block, source column -> header text. Also gives the result rows each
    block fills, (first row, last row, block index), and the headers missing from the result."""
    columns = {}
    for column in sorted(result_headers):
        columns.setdefault(header_key(result_headers[column]), []).append(column)
    position, first = 1, True
    placements, filled, missing = [], [], []
    for index, extent in enumerate(ranges):
        top = extent[0] + header_row - 1 if extent else None
        if extent is None or top > extent[2]:
            placements.append(None)
            continue
        r0, c0, r1, c1 = extent
        ranks, where = {}, {}
        for column in range(c0, c1 + 1):
            text = headers[index].get(column, '')
            key = header_key(text)
            rank = ranks.get(key, 0)
            ranks[key] = rank + 1
            found = columns.get(key, [])
            where[column] = found[rank] if rank < len(found) else None
            if where[column] is None:
                missing.append((index, column, text))
        begin = top + 1 if skip_first and not first else top
        if begin > r1:  # a header row alone adds its headers, no rows
            placements.append(None)
            continue

        def place(row, column, begin=begin, r1=r1, start=position, where=where):
            if row < begin or row > r1 or where.get(column) is None:
                return None
            return start + row - begin, where[column]

        placements.append(place)
        filled.append((position, position + r1 - begin, index))
        position += r1 - begin + 1 + gap
        first = False
    return placements, filled, missing


def engine_block(merge, out, path, sheet_name, book):
    """The block plyfold-merge copies from a sheet, in source coordinates: its size from a merge
    of that sheet alone, its first cell found by matching that merge's constants with the
    source, near the first cell LibreOffice sees (the two may disagree on blank cells)."""
    sheet = next((s for s in book.sheets if s.name == sheet_name), None)
    theirs = used_range(sheet) if sheet else None
    queue = out / 'queues' / 'block.tsv'
    single = out / 'queues' / 'block.xlsx'
    queue.write_text(f'{out / "inputs" / path.name}\t{sheet_name}\n', encoding='utf-8')
    done = subprocess.run([merge, '--quiet', '--no-autofit', '--queue', str(queue), '-o',
                           str(single)], capture_output=True, timeout=600, check=False)
    if done.returncode != 0 or not single.exists():
        return theirs
    cells = read_book(single).sheets[0].cells
    single.unlink()
    if not cells:
        return None
    height = max(r for r, _ in cells)
    width = max(c for _, c in cells)
    if sheet is None or theirs is None:
        return (1, 1, height, width)
    sample = [(position, cell) for position, cell in sorted(cells.items())
              if cell.formula is not None or cell.kind in ('s', 'n', 'b')][:300]

    def matches(cell, other):
        if other is None or (other.formula is None) != (cell.formula is None):
            return False
        if cell.formula is not None:
            return True
        if other.kind != cell.kind:
            return False
        if cell.kind == 'n':
            return any(abs(other.value + shift - cell.value) < 1e-6 for shift in (0, 1462, -1462))
        return other.value == cell.value

    best = (theirs[0], theirs[1])
    best_score = -1
    for top in range(max(1, theirs[0] - 3), theirs[0] + 4):
        for left in range(max(1, theirs[1] - 3), theirs[1] + 4):
            score = sum(matches(cell, sheet.cells.get((r + top - 1, c + left - 1)))
                        for (r, c), cell in sample)
            if score > best_score or (score == best_score and (top, left) == theirs[:2]):
                best, best_score = (top, left), score
    return (best[0], best[1], best[0] + height - 1, best[1] + width - 1)


# ---------------------------------------------------------------------------------------------
# Comparison.

LITERAL = re.compile(r'#(NULL!|DIV/0!|VALUE!|REF!|NAME\?|NUM!|N/A)|TRUE\(\)|FALSE\(\)')
EXTERNAL_NAME = re.compile(r"(?:\[\d+\]!|\[\d+\][^!'\"(),]+!|'\[\d+\](?:[^']|'')+'!)"
                           r"(\$?[A-Za-z_\\][\w.]*(?:\$\d+)?)(:?)")


def reads_external_name(formula):
    """Whether a formula names a defined name of another workbook ([1]!Rate, [1]Sales!Units),
    which LibreOffice does not compute from the values the file holds."""
    for match in EXTERNAL_NAME.finditer(re.sub(r'"[^"]*"', '""', formula)):
        token, colon = match.groups()
        if re.fullmatch(r'\$?[A-Za-z]{1,3}\$?\d+', token) or (
                colon and re.fullmatch(r'\$?[A-Za-z]{1,3}', token)):
            continue
        return True
    return False


VOLATILE = re.compile(r'\b(NOW|TODAY|RAND|RANDBETWEEN|RANDARRAY|INFO|CELL)\s*\(', re.I)
POSITIONAL = re.compile(r'\b(ROW|COLUMN|INDIRECT|SHEET|SHEETS|FORMULATEXT|ADDRESS)\s*\(', re.I)


def equal_values(source, result, shift):
    if source.kind in ('', 's') and result.kind in ('', 's'):
        return (source.value or '') == (result.value or '')
    if source.kind != result.kind:
        return False
    if source.kind == 'n':
        a, b = source.value + shift, result.value
        return abs(a - b) <= 1e-9 * max(1.0, abs(a), abs(b))
    return source.value == result.value


def describe_font(font):
    if not font:
        return 'none'
    return f'{font[0]} {font[1] if font[1] is not None else "?"} {font[4]}'


def shown(cell):
    if cell is None:
        return '(no cell)'
    if cell.kind == '':
        return '(empty)'
    if cell.kind == 'n':
        return repr(cell.value)
    if cell.kind == 'b':
        return 'TRUE' if cell.value else 'FALSE'
    return cell.value if cell.kind == 'e' else repr(cell.value)


@dataclass
class Figures:
    compared: int = 0
    equal: int = 0
    skipped: int = 0
    constants: int = 0
    constants_equal: int = 0
    lost: int = 0
    legacy_values: int = 0
    fonts: int = 0
    fonts_differ: int = 0
    columns: int = 0
    columns_narrower: int = 0
    sheets: int = 0
    sheets_differ: int = 0
    names: int = 0
    names_missing: int = 0
    links: int = 0
    links_wrong: int = 0
    external_names: int = 0
    categories: dict = field(default_factory=dict)
    introduced: dict = field(default_factory=dict)
    differences: list = field(default_factory=list)
    failures: list = field(default_factory=list)

    def add(self, other):
        for key in ('compared', 'equal', 'skipped', 'constants', 'constants_equal', 'lost',
                    'legacy_values', 'fonts', 'fonts_differ', 'columns', 'columns_narrower',
                    'links', 'links_wrong', 'external_names', 'sheets', 'sheets_differ', 'names', 'names_missing'):
            setattr(self, key, getattr(self, key) + getattr(other, key))
        for mine, theirs in ((self.categories, other.categories),
                             (self.introduced, other.introduced)):
            for key, count in theirs.items():
                mine[key] = mine.get(key, 0) + count
        self.differences += other.differences
        self.failures += other.failures

    def count(self, table, key):
        table[key] = table.get(key, 0) + 1


def category(source, result, shift):
    if result is None or (result.kind == '' and source.kind not in ('', 's')):
        return 'no value'
    if result.kind == 'e' and source.kind != 'e':
        return f'error {result.value} instead of a value'
    if source.kind == 'e' and result.kind != 'e':
        return f'value instead of error {source.value}'
    if source.kind == 'e':
        return 'other error'
    if source.kind == 'n' and result.kind == 'n':
        if shift == 0 and abs(abs(result.value - source.value) - 1462) < 1e-6:
            return 'number off by 1462 days'
        return 'other number'
    if source.kind == result.kind:
        return 'other text' if source.kind == 's' else 'other boolean'
    return 'other type'


def check_sheet_copies(case, entries, originals, sources, result_raw, figures):
    """The one-workbook merge: each copy keeps its sheet's visibility and the names scoped to
    it (print areas and titles included)."""
    for index, (key, sheet_name) in enumerate(entries):
        if index >= len(result_raw.sheets):
            break
        book = originals.get(key, sources[key])
        source_index = next((i for i, s in enumerate(book.sheets) if s.name == sheet_name), None)
        if source_index is None:
            continue
        copy = result_raw.sheets[index]
        state = book.sheets[source_index].state
        figures.sheets += 1
        # LibreOffice writes very hidden sheets as hidden, so for the sheets known only through
        # it (.xls sources) hidden and very hidden count as one.
        same = copy.state == state if key in originals else \
            (copy.state == 'visible') == (state == 'visible')
        if not same:
            figures.sheets_differ += 1
            figures.count(figures.categories, f'sheet {state}, copy {copy.state}')
            figures.differences.append(f'{case}\t{copy.name}\t{key}:{sheet_name}\t'
                                       f'sheet visibility\t{state}\t{copy.state}')
        for name, scope, text in book.names if key in originals else []:
            if scope != source_index:
                continue
            figures.names += 1
            if not any(n.lower() == name.lower() and s == index for n, s, _ in result_raw.names):
                figures.names_missing += 1
                figures.count(figures.categories, 'sheet-scoped name missing')
                figures.differences.append(f'{case}\t{copy.name}\t{key}:{sheet_name}\t'
                                           f'sheet-scoped name missing\t{name} = {text}\t-')


SHEET_REFERENCE = re.compile(r"(?:\[(\d+)\])?(?:'((?:[^']|'')+)'|([^\W\d][\w.]*))!")


def sheet_references(formula):
    """(external book index or None, sheet name) of each sheet a formula names."""
    out = []
    for match in SHEET_REFERENCE.finditer(re.sub(r'"[^"]*"', '""', formula)):
        book, name = match.group(1), (match.group(2) or '').replace("''", "'") or match.group(3)
        quoted = re.fullmatch(r'\[(\d+)\](.*)', name)
        if quoted:
            book, name = quoted.groups()
        out.append((book, name))
    return out


def check_links(case, entries, originals, result_raw, figures):
    """The one-workbook merge: the sheets named outside the cells of each copy (validations,
    conditional formats, hyperlinks, names scoped to it) are copies from the same source
    workbook or external references, never another source's sheet or a missing one; and the
    copy keeps as many of each as its source sheet has."""
    origin = {}
    for index, (key, _) in enumerate(entries[:len(result_raw.sheets)]):
        origin[result_raw.sheets[index].name] = key
    for index, (key, sheet_name) in enumerate(entries[:len(result_raw.sheets)]):
        copy = result_raw.sheets[index]
        items = copy.links + [(f'name {n}', t) for n, scope, t in result_raw.names
                              if scope == index]
        for kind, formula in items:
            problems = ['#REF!'] if '#REF!' in formula else []
            for book, name in sheet_references(formula):
                figures.links += 1
                if book is not None:
                    continue
                if name not in origin:
                    problems.append(f'{name} is no sheet of the result')
                elif origin[name] != key:
                    problems.append(f'{name} was copied from {origin[name]}')
            if problems:
                figures.links_wrong += 1
                label = f'{kind.split()[0]} reading ' + ('#REF!' if problems[0] == '#REF!'
                                                        else 'another source\'s sheet'
                                                        if 'copied' in problems[0]
                                                        else 'a missing sheet')
                figures.count(figures.categories, label)
                figures.differences.append(f'{case}\t{copy.name}\t{key}:{sheet_name}\t{label}'
                                           f'\t{kind}\t{formula}\t{"; ".join(problems)}')
        source = originals.get(key)
        mine = next((s for s in source.sheets if s.name == sheet_name), None) if source else None
        if mine is None:
            continue
        for kind in ('validation', 'conditional format', 'hyperlink'):
            had = sum(1 for k, _ in mine.links if k == kind)
            kept = sum(1 for k, _ in copy.links if k == kind)
            if kept < had:
                figures.links_wrong += had - kept
                label = f'{kind} dropped'
                figures.categories[label] = figures.categories.get(label, 0) + had - kept
                figures.differences.append(f'{case}\t{copy.name}\t{key}:{sheet_name}\t'
                                           f'{kind} dropped\t{had}\t{kept}')


def matched_blocks(case, entries, sources, result_raw, ranges, gap, skip, header_row, source,
                   file_names, figures):
    """The placements of a merge by header (see matched_placement), read from the header row
    of each block and of the result. A source header missing from the result is a failure;
    with a source column, every row a block fills must name its file and sheet ("Source" on
    the header row), counted as constants."""
    sheet = result_raw.sheets[0]
    result_headers = {column: header_text(cell) for (row, column), cell in sheet.cells.items()
                      if row == 1}
    headers = []
    for (key, sheet_name), extent in zip(entries, ranges):
        book = sources.get(key)
        mine = next((s for s in book.sheets if s.name == sheet_name), None) if book else None
        top = extent[0] + header_row - 1 if extent else 0
        headers.append({column: header_text(mine.cells.get((top, column)))
                        for column in range(extent[1], extent[3] + 1)}
                       if extent and mine else {})
    placements, filled, missing = matched_placement(gap, skip, ranges, header_row, headers,
                                                    result_headers)
    for index, column, text in missing:
        key, sheet_name = entries[index]
        figures.failures.append(f'{case}: the header {text!r} of {key}:{sheet_name} column '
                                f'{column_name(column)} is not in the result\'s header row')
    if not source:
        return placements
    for first_row, last_row, index in filled:
        key, sheet_name = entries[index]
        for row in range(first_row, last_row + 1):
            expected = 'Source' if row == 1 else f'{file_names.get(key, key)}:{sheet_name}'
            written = sheet.cells.get((row, 1))
            figures.constants += 1
            if written is not None and written.kind == 's' and written.value == expected:
                figures.constants_equal += 1
                continue
            figures.count(figures.categories, 'constant: source column')
            figures.differences.append(f'{case}\t{sheet.name}!{cell_name(row, 1)}\t'
                                       f'{key}:{sheet_name}\tsource column\t{expected!r}\t'
                                       f'{shown(written)}')
    return placements


def compare(case, mode, entries, sources, originals, result, result_raw, one_sheet_ranges, gap,
            skip, options=(), file_names=None):
    """Compares one result (recalculated, and as plyfold-merge wrote it) with its sources;
    options are the merge's header options (--match-headers, --source-column, --header-row),
    file_names the file name of each source key, as a source column names it."""
    figures = Figures()
    if mode == 'workbook':
        check_sheet_copies(case, entries, originals, sources, result_raw, figures)
        check_links(case, entries, originals, result_raw, figures)
    # Pairs of (source book, source sheet, result sheet, place) to walk.
    pairs = []
    if mode == 'workbook':
        if len(result.sheets) != len(entries):
            figures.failures.append(f'{case}: {len(result.sheets)} sheets in the result, '
                                    f'{len(entries)} queued')
        for index, (key, sheet_name) in enumerate(entries):
            if index >= len(result.sheets):
                break
            book = sources[key]
            sheet = next((s for s in book.sheets if s.name == sheet_name), None)
            if sheet is None:
                figures.failures.append(f'{case}: no sheet {sheet_name!r} in LibreOffice\'s '
                                        f'copy of {key}')
                continue
            pairs.append((key, book, sheet, result.sheets[index],
                          result_raw.sheets[index], lambda r, c: (r, c)))
    else:
        options = list(options)
        header_row = int(options[options.index('--header-row') + 1]) \
            if '--header-row' in options else 1
        source = '--source-column' in options
        if '--match-headers' in options:
            placements = matched_blocks(case, entries, sources, result_raw, one_sheet_ranges,
                                        gap, skip, header_row, source, file_names or {},
                                        figures)
        else:
            placements = one_sheet_placement(mode, gap, skip, one_sheet_ranges, header_row,
                                             source)
        for (key, sheet_name), place in zip(entries, placements):
            book = sources[key]
            sheet = next((s for s in book.sheets if s.name == sheet_name), None)
            if sheet is None:
                figures.failures.append(f'{case}: no sheet {sheet_name!r} in LibreOffice\'s '
                                        f'copy of {key}; the placement of later blocks is '
                                        f'a guess')
            elif place is not None:
                pairs.append((key, book, sheet, result.sheets[0], result_raw.sheets[0], place))

    claimed = {}
    needed = {}  # (result sheet, column) -> the widest source column of its uncalculated formulas
    for key, book, sheet, result_sheet, raw_sheet, place in pairs:
        shift_days = 1462 * (int(book.date1904) - int(result.date1904))
        original = next((s for s in originals[key].sheets if s.name == sheet.name), None) \
            if key in originals else None
        for (row, column), cell in sheet.cells.items():
            target = place(row, column)
            if target is None:
                continue
            claimed[(result_sheet.name, target)] = True
            shift = shift_days if shows_calendar_date(cell.number_format) else 0
            theirs = result_sheet.cells.get(target)
            written = raw_sheet.cells.get(target)
            where = (f'{case}\t{result_sheet.name}!{cell_name(*target)}\t'
                     f'{key}:{sheet.name}!{cell_name(row, column)}')
            # LibreOffice writes error and boolean constants as formulas; the source package,
            # where there is one, says which cells hold formulas.
            if original is not None:
                mine = original.cells.get((row, column))
                constant = mine is None or mine.formula is None
                if mine is not None and (mine.kind or mine.formula is not None) and mine.font:
                    figures.fonts += 1
                    if written is None or written.font[:2] != mine.font[:2] \
                            or written.font[4] != mine.font[4]:
                        figures.fonts_differ += 1
                        label = (f'font {describe_font(mine.font)} became '
                                 f'{describe_font(written.font if written else ())}')
                        figures.count(figures.categories, label)
                if mine is not None and mine.formula is not None and written is not None \
                        and written.formula is not None and written.kind == '':
                    slot = (raw_sheet.name, target[1])
                    width = original.width(column)
                    if width > needed.get(slot, (0, ''))[0]:
                        needed[slot] = (width, f'{key}:{sheet.name}!{column_name(column)}')
            else:
                constant = cell.formula is None or bool(LITERAL.fullmatch(cell.formula.strip()))
            if constant:
                # Constants are compared as the packages hold them where there is a source
                # package: LibreOffice redraws pivot tables and retypes some cells on load.
                mine, theirs = (mine, written) if original is not None else (cell, theirs)
                if mine is None or mine.kind == '':
                    continue
                figures.constants += 1
                if theirs is not None and equal_values(mine, theirs, shift):
                    figures.constants_equal += 1
                else:
                    label = 'constant: ' + category(mine, theirs, shift)
                    figures.count(figures.categories, label)
                    figures.differences.append(f'{where}\t{label}\t{shown(mine)}\t'
                                               f'{shown(theirs)}')
                continue
            if written is None or written.formula is None:
                if book.legacy:
                    figures.legacy_values += 1
                    continue
                figures.lost += 1
                figures.count(figures.categories, 'formula lost')
                figures.differences.append(f'{where}\tformula lost\t{shown(cell)}\t'
                                           f'{shown(theirs)}')
                continue
            if VOLATILE.search(cell.formula) or (mode != 'workbook'
                                                 and POSITIONAL.search(cell.formula)):
                figures.skipped += 1
                continue
            if reads_external_name(written.formula):
                figures.external_names += 1
                figures.differences.append(f'{where}\tnot compared: LibreOffice computes no '
                                           f'name of another workbook\t{shown(cell)}\t'
                                           f'{shown(theirs)}\t{cell.formula}\t{written.formula}')
                continue
            figures.compared += 1
            written_formula = written.formula
            for error in ('#REF!', '#NAME?'):
                if ((theirs.kind == 'e' and theirs.value == error
                     and not (cell.kind == 'e' and cell.value == error))
                        or (error in written_formula and error not in cell.formula)):
                    figures.count(figures.introduced, error)
            if equal_values(cell, theirs, shift):
                figures.equal += 1
                continue
            label = category(cell, theirs, shift)
            if re.search(r'\[\d+\]', re.sub(r'"[^"]*"', '', written_formula)):
                # The values it reads are those the result holds for another workbook; a
                # source formula saved without its result gives none.
                label += ' (reads another workbook)'
            figures.count(figures.categories, label)
            figures.differences.append(f'{where}\t{label}\t{shown(cell)}\t{shown(theirs)}\t'
                                       f'{cell.formula}\t{written_formula}')
    for raw_sheet in result_raw.sheets:
        for (sheet_name, column), (width, source) in needed.items():
            if sheet_name != raw_sheet.name:
                continue
            figures.columns += 1
            if raw_sheet.width(column) < width - 0.3:  # a rounding of widths is no fault
                figures.columns_narrower += 1
                figures.count(figures.categories, 'column of uncalculated formulas narrower '
                                                  'than its source column')
                figures.differences.append(
                    f'{case}\t{raw_sheet.name}!{column_name(column)}\t{source}\tcolumn of '
                    f'uncalculated formulas narrower\t{width:g}\t{raw_sheet.width(column):g}')
    for result_sheet, raw_sheet in zip(result.sheets, result_raw.sheets):
        for target, written in raw_sheet.cells.items():
            cell = result_sheet.cells.get(target)
            if written.formula is not None and (result_sheet.name, target) not in claimed:
                figures.compared += 1
                figures.count(figures.categories, 'formula without a source cell')
                figures.differences.append(f'{case}\t{result_sheet.name}!{cell_name(*target)}'
                                           f'\t-\tformula without a source cell\t-\t'
                                           f'{shown(cell)}\t-\t{written.formula}')
    return figures


# ---------------------------------------------------------------------------------------------


def corpus_workbooks(folder):
    """The corpus workbooks that the manifest says hold formulas, except encrypted ones."""
    manifest = folder / 'MANIFEST.tsv'
    if not manifest.exists():
        return []
    out = []
    for line in manifest.read_text(encoding='utf-8').splitlines()[1:]:
        fields = line.split('\t')
        if len(fields) < 6:
            continue
        name, kind, exercises = fields[0], fields[4], fields[5]
        if 'formulas' in exercises and 'ENCRYPTED' not in exercises \
                and kind.startswith('xls') and (folder / name).exists():
            out.append(folder / name)
    return out


def listed_sheets(merge, path):
    """The worksheets plyfold-merge lists for a file, in order."""
    done = subprocess.run([merge, '--list', str(path)], capture_output=True, text=True,
                          timeout=120)
    if done.returncode != 0:
        return None
    return [line[4:] for line in done.stdout.splitlines() if line.startswith('    ')]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('--merge', default=str(REPO / 'build/default/cli/plyfold-merge'),
                        help='the plyfold-merge to test')
    parser.add_argument('--out', default=str(REPO / 'build/formula-check'),
                        help='folder for the workbooks, results and recalculated copies')
    parser.add_argument('--corpus', default=str(REPO.parent / 'shared/corpus'),
                        help='a folder with MANIFEST.tsv; its workbooks with formulas are merged')
    parser.add_argument('--no-corpus', action='store_true', help='only the generated workbooks')
    parser.add_argument('--only', default='', help='only the cases whose name holds this text')
    parser.add_argument('--keep-sources', action='store_true',
                        help='leave the merged inputs in place while results are recalculated')
    options = parser.parse_args()
    merge = str(Path(options.merge).resolve())
    if not os.access(merge, os.X_OK):
        sys.exit(f'no plyfold-merge at {merge} (build it, or name one with --merge)')
    out = Path(options.out).resolve()
    marker = out / '.plyfold-formula-check'
    if out.exists() and any(out.iterdir()) and not marker.exists():
        sys.exit(f'{out} holds files this check did not make; name an empty or new folder')
    shutil.rmtree(out, ignore_errors=True)
    for sub in ('sources', 'inputs', 'results', 'queues'):
        (out / sub).mkdir(parents=True)
    marker.touch()
    profile = Path(tempfile.mkdtemp(prefix='plyfold-formula-check-'))
    atexit.register(shutil.rmtree, profile, True)  # also when the check stops on an error
    office = LibreOffice(profile / 'profile')
    started = time.monotonic()

    def elapsed():
        return f'{time.monotonic() - started:.0f} s'

    # Sources: the generated workbooks, one of them saved again by LibreOffice, and the
    # corpus workbooks with formulas, each under a key that is its file stem.
    generated = generate(out / 'sources')
    office.recalculate([out / 'sources/month-02.xlsx'], out / 'resaved')
    shutil.copy(out / 'resaved/month-02.xlsx', out / 'sources/month-02-lo.xlsx')
    files = {path.stem: path for path in generated}
    files['month-02-lo'] = out / 'sources/month-02-lo.xlsx'
    cases = [(name, mode, gap, skip, entries, 'generated')
             for name, mode, gap, skip, entries in generated_cases()]
    corpus = [] if options.no_corpus else corpus_workbooks(Path(options.corpus))
    corpus_names = {}
    for index, path in enumerate(corpus, start=1):
        key = f'corpus-{index:02}'
        staged = out / 'sources' / (key + path.suffix.lower())
        shutil.copy(path, staged)
        files[key] = staged
        corpus_names[key] = path.name
    cases = [case for case in cases if options.only in case[0]]
    (out / 'corpus-keys.txt').write_text(''.join(f'{key} = {name}\n'
                                                 for key, name in corpus_names.items()))
    print(f'{len(files)} sources ({len(corpus)} from the corpus); recalculating them '
          f'in LibreOffice ... ', end='', flush=True)
    legacy = [path for path in files.values() if path.suffix.lower() not in ('.xlsx', '.xlsm')]
    converted = office.recalculate(legacy, out / 'recalc/converted')
    recalculated = office.recalculate(
        [path for path in files.values() if path not in legacy] + list(converted.values()),
        out / 'recalc/sources')
    recalculated = {key: path for key, path in recalculated.items()
                    if files[key] not in legacy or key in converted}
    print(elapsed())

    sources = {}
    originals = {}
    for key, path in files.items():
        if key not in recalculated:
            continue
        sources[key] = read_book(recalculated[key])
        sources[key].legacy = path.suffix.lower() not in ('.xlsx', '.xlsm')
        if path.suffix.lower() in ('.xlsx', '.xlsm'):
            try:
                originals[key] = read_book(path)
            except Exception:  # noqa: BLE001 - a damaged package is read by LibreOffice only
                pass

    failures = []
    for key in files:
        if key not in sources:
            failures.append(f'{corpus_names.get(key, key)}: LibreOffice cannot open it')
    for key in corpus_names:
        if key not in sources:
            continue
        if options.only and options.only not in 'corpus-' + corpus_names[key] + key:
            continue
        if not any(c.formula is not None for s in sources[key].sheets for c in s.cells.values()):
            continue
        sheets = listed_sheets(merge, files[key])
        if not sheets:
            failures.append(f'{corpus_names[key]}: plyfold-merge --list fails')
            continue
        known = {s.name for s in sources[key].sheets}
        sheets = [s if s in known or not s.endswith(' (hidden)') else s[:-9] for s in sheets]
        if len(sheets) == len(sources[key].sheets):
            # LibreOffice names the one sheet of an old single-sheet file after the file.
            for sheet, theirs in zip(sheets, sources[key].sheets):
                if sheet not in known:
                    theirs.name = sheet
        for mode in ('workbook', 'vertical', 'horizontal'):
            cases.append((f'{key}-{mode}', mode, 1 if mode != 'workbook' else 0,
                          mode == 'vertical', [(key, s) for s in sheets], 'corpus'))

    # Merge from copies of the sources, so that the copies can be taken away before the
    # results are recalculated.
    for key, path in files.items():
        shutil.copy(path, out / 'inputs' / path.name)
    print(f'{len(cases)} merges ... ', end='', flush=True)
    merged = {}
    refused = []
    for name, mode, gap, skip, entries, origin in cases:
        missing = [key for key, _ in entries if key not in sources]
        if missing:
            failures.append(f'{name}: source {missing[0]} was not recalculated')
            continue
        queue = out / 'queues' / (name + '.tsv')
        queue.write_text(''.join(f'{out / "inputs" / files[key].name}\t{sheet}\n'
                                 for key, sheet in entries), encoding='utf-8')
        result = out / 'results' / (name + '.xlsx')
        command = [merge, '--quiet', '--mode', mode, '--queue', str(queue), '-o', str(result)]
        if mode != 'workbook':
            command += ['--gap', str(gap)] + (['--skip-first'] if skip else [])
        command += CASE_OPTIONS.get(name, [])
        done = subprocess.run(command, capture_output=True, text=True, timeout=600)
        if done.returncode != 0 or not result.exists():
            message = ' '.join(done.stderr.split())[:300]
            if origin == 'corpus' and 'does not fit in the result' in message:
                # A block wider (taller) than the sheet is refused, as it must be.
                refused.append(f'{name}: {message}')
            else:
                failures.append(f'{name}: plyfold-merge failed ({done.returncode}): {message}')
            continue
        merged[name] = result
    blocks = {}
    for name, mode, gap, skip, entries, origin in cases:
        if mode == 'workbook' or name not in merged:
            continue
        for key, sheet_name in entries:
            if (key, sheet_name) not in blocks:
                blocks[(key, sheet_name)] = engine_block(merge, out, files[key], sheet_name,
                                                         sources[key])
    print(elapsed())
    if not options.keep_sources:
        shutil.rmtree(out / 'inputs')
    print(f'recalculating {len(merged)} results in LibreOffice ... ', end='', flush=True)
    recalculated_results = office.recalculate(list(merged.values()), out / 'recalc/results')
    print(elapsed())
    if not options.keep_sources:
        (out / 'inputs').mkdir()
        for key, path in files.items():
            shutil.copy(path, out / 'inputs' / path.name)

    total = {'generated': Figures(), 'corpus': Figures()}
    by_mode = {}
    header = ('case\tresult cell\tsource cell\tcategory\tsource value\tresult value\t'
              'source formula\tresult formula (as written)')
    lines = [header]
    print()
    print(f'{"case":34} {"compared":>8} {"equal":>6} {"differ":>6} {"lost":>5} '
          f'{"#REF!":>5} {"#NAME?":>6} {"consts":>6} {"c.diff":>6}')
    for name, mode, gap, skip, entries, origin in cases:
        if name not in merged:
            continue
        if name not in recalculated_results:
            failures.append(f'{name}: LibreOffice cannot open the result')
            continue
        result = read_book(recalculated_results[name])
        written = read_book(merged[name])
        ranges = [blocks.get((key, sheet_name)) for key, sheet_name in entries]
        figures = compare(name, mode, entries, sources, originals, result, written, ranges, gap,
                          skip, CASE_OPTIONS.get(name, ()),
                          {key: path.name for key, path in files.items()})
        total[origin].add(figures)
        by_mode.setdefault((origin, mode), Figures()).add(figures)
        lines += figures.differences
        differ = figures.compared - figures.equal
        label = name
        if origin == 'corpus':
            label = f'{name} ({corpus_names[entries[0][0]][:18]})'
        print(f'{label[:34]:34} {figures.compared:8} {figures.equal:6} {differ:6} '
              f'{figures.lost:5} {figures.introduced.get("#REF!", 0):5} '
              f'{figures.introduced.get("#NAME?", 0):6} {figures.constants:6} '
              f'{figures.constants - figures.constants_equal:6}')
    (out / 'differences.tsv').write_text('\n'.join(lines) + '\n', encoding='utf-8')

    status = 0
    print('\nby mode: formula cells compared / equal / different, #REF! and #NAME? introduced')
    for (origin, mode), figures in sorted(by_mode.items()):
        print(f'  {origin:9} {mode:10} {figures.compared:6} {figures.equal:6} '
              f'{figures.compared - figures.equal:6}   {figures.introduced.get("#REF!", 0):5} '
              f'{figures.introduced.get("#NAME?", 0):5}')
    for origin, figures in total.items():
        differ = figures.compared - figures.equal
        print(f'\n{origin}: {figures.compared} formula cells compared, {figures.equal} equal, '
              f'{differ} different; {figures.skipped} volatile or position-dependent and '
              f'{figures.external_names} reading names of other workbooks not compared; {figures.lost} source formulas without a formula in the result '
              f'(and {figures.legacy_values} formulas of .xls sources read as their values); '
              f'#REF! introduced {figures.introduced.get("#REF!", 0)}, '
              f'#NAME? introduced {figures.introduced.get("#NAME?", 0)}; constants '
              f'{figures.constants}, {figures.constants - figures.constants_equal} different; '
              f'sheet copies {figures.sheets}, {figures.sheets_differ} with another visibility; '
              f'sheet-scoped names {figures.names}, {figures.names_missing} missing; '
              f'cell fonts {figures.fonts}, {figures.fonts_differ} different; columns of '
              f'uncalculated formulas {figures.columns}, {figures.columns_narrower} narrower '
              f'than their source column; sheet references outside the cells {figures.links}, '
              f'{figures.links_wrong} wrong or dropped')
        for label, count in sorted(figures.categories.items(), key=lambda item: -item[1]):
            print(f'  {count:6}  {label}')
        if differ or figures.lost or figures.constants != figures.constants_equal \
                or figures.sheets_differ or figures.names_missing or figures.fonts_differ \
                or figures.columns_narrower or figures.links_wrong:
            status = 1
    for figures in total.values():
        failures += figures.failures
    for failure in failures:
        print('FAIL', failure)
    for refusal in refused:
        print('REFUSED (as it should be)', refusal)
    if failures:
        status = 1
    shown_lines = lines[1:41]
    if shown_lines:
        print(f'\nfirst differences (all {len(lines) - 1} in {out / "differences.tsv"}):')
        for line in shown_lines:
            print('  ' + line.replace('\t', ' | '))
    print(f'\ndone in {elapsed()}; workbooks, results and recalculated copies in {out}')
    return status


if __name__ == '__main__':
    sys.exit(main())
