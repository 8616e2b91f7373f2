#!/usr/bin/python3
"""What a workbook shows, as sorted one-line facts, and how two sets of facts differ.

The facts of LibreOffice's conversion of each corpus .xls to .xlsx are committed in
tests/data/xls-oracle (written by tests/tools/check-xls-with-libreoffice, which needs
LibreOffice); the test compares them with the facts of plyfold-merge's copy of the same file
(--mode workbook), so it runs without LibreOffice.

    xls_oracle.py expect --out DIR FILE...      convert each FILE with LibreOffice, write facts
    xls_oracle.py facts WORKBOOK.xlsx           print the facts of one workbook
    xls_oracle.py check --merge PROGRAM --facts DIR --corpus DIR --out DIR
                        [--thresholds report|strict] [--only TEXT] [FILE...]
    xls_oracle.py recalc --merge PROGRAM --facts DIR --corpus DIR --out DIR [FILE...]
                        merge, recalculate the result in LibreOffice, compare the values of
                        its formula cells with the cached values of the facts

A fact file (FILE.tsv.gz) holds sorted tab-separated lines: category, sheet, place, value.
  sheet      position          state
  formula    cell              formula text, normalised (see normal_formula)
  value      cell              a formula cell's cached value: n:NUMBER, s:TEXT, b:0|1, e:#ERROR
  constants  row               the other cells of the row: their count and a digest
  merge      range             -
  width      columns (A:C)     width in characters, up to the last column with a cell
  hidden-col columns           -
  hidden-row rows (5:9)        -
  name       name              normalised formula text; the sheet is its scope (empty: the
                               workbook)
  font, fill, border, align, numfmt
             cells (A1:C1), row:N, col:C or default
                               the style part; a cell is listed only where it differs from
                               its row's, else its column's, else the workbook's default
Texts keep tabs and line breaks escaped as \\t and \\n. Dates of a 1904 workbook are counted
as the 1900 system counts them, as a merge result holds them.
"""

import argparse
import colorsys
import fnmatch
import gzip
import hashlib
import importlib.util
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path
from xml.etree import ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from libreoffice_formula_check import shows_calendar_date  # noqa: E402

STYLE_CATEGORIES = ('font', 'fill', 'border', 'align', 'numfmt')
CATEGORIES = ('opens', 'sheet', 'formula', 'value', 'constants', 'merge', 'width', 'hidden-col', 'hidden-row',
              'name') + STYLE_CATEGORIES
WIDTH_TOLERANCE = 0.5
MAX_COLUMNS = 256  # an .xls sheet has 256 columns; LibreOffice writes widths beyond them

# ---------------------------------------------------------------------------------------------
# Formula text


def spelt_alike(token):
    """Formula text outside strings and sheet names, with the spellings that differ between
    writers made one: no '_xlfn.'/'_xlws.' prefixes, the constants TRUE and FALSE without the
    parentheses LibreOffice gives them, the union operator ',' where LibreOffice writes '~'."""
    token = re.sub(r'_XL(FN|WS)\.', '', token)
    token = re.sub(r'\b(TRUE|FALSE)\(\)', r'\1', token)
    return token.replace('~', ',')


def normal_formula(text):
    """Formula text compared without its spelling differences: no leading '=', no spaces and
    upper case outside string literals, no '_xlfn.'/'_xlws.' prefixes, sheet names unquoted.
    '$' stays: absolute and relative references must match."""
    if text.startswith('='):
        text = text[1:]
    out = []
    i = 0
    while i < len(text):
        ch = text[i]
        if ch == '"':
            j = i + 1
            while j < len(text):
                if text[j] == '"':
                    if j + 1 < len(text) and text[j + 1] == '"':
                        j += 2
                        continue
                    break
                j += 1
            out.append(text[i:j + 1])
            i = j + 1
        elif ch == "'":
            j = i + 1
            name = []
            while j < len(text):
                if text[j] == "'":
                    if j + 1 < len(text) and text[j + 1] == "'":
                        name.append("'")
                        j += 2
                        continue
                    break
                name.append(text[j])
                j += 1
            out.append(''.join(name).upper())
            i = j + 1
        elif ch in ' \t\r\n':
            i += 1
        else:
            j = i
            while j < len(text) and text[j] not in '"\' \t\r\n':
                j += 1
            out.append(spelt_alike(text[i:j].upper()))
            i = j
    return ''.join(out)


# ---------------------------------------------------------------------------------------------
# Places


def column_name(column):
    name = ''
    while column:
        column, rest = divmod(column - 1, 26)
        name = chr(65 + rest) + name
    return name


def column_number(name):
    number = 0
    for ch in name:
        number = number * 26 + ord(ch) - 64
    return number


def split_cell(ref):
    match = re.fullmatch(r'\$?([A-Z]+)\$?(\d+)', ref)
    return int(match.group(2)), column_number(match.group(1))


def cell_name(row, column):
    return '%s%d' % (column_name(column), row)


def runs(numbers):
    """Sorted numbers as (first, last) runs of consecutive ones."""
    out = []
    for n in sorted(numbers):
        if out and out[-1][1] == n - 1:
            out[-1][1] = n
        else:
            out.append([n, n])
    return out


def escape(text):
    return text.replace('\\', '\\\\').replace('\t', '\\t').replace('\n', '\\n').replace(
        '\r', '\\r')


# ---------------------------------------------------------------------------------------------
# Colours: every colour is compared as RRGGBB, whether written as RGB, palette index or theme.

DEFAULT_PALETTE = [
    '000000', 'FFFFFF', 'FF0000', '00FF00', '0000FF', 'FFFF00', 'FF00FF', '00FFFF',
    '000000', 'FFFFFF', 'FF0000', '00FF00', '0000FF', 'FFFF00', 'FF00FF', '00FFFF',
    '800000', '008000', '000080', '808000', '800080', '008080', 'C0C0C0', '808080',
    '9999FF', '993366', 'FFFFCC', 'CCFFFF', '660066', 'FF8080', '0066CC', 'CCCCFF',
    '000080', 'FF00FF', 'FFFF00', '00FFFF', '800080', '800000', '008080', '0000FF',
    '00CCFF', 'CCFFFF', 'CCFFCC', 'FFFF99', '99CCFF', 'FF99CC', 'CC99FF', 'FFCC99',
    '3366FF', '33CCCC', '99CC00', 'FFCC00', 'FF9900', 'FF6600', '666699', '969696',
    '003366', '339966', '003300', '333300', '993300', '993366', '333399', '333333']


def theme_colours(theme_xml):
    if not theme_xml:
        return []
    root = ElementTree.fromstring(theme_xml)
    scheme = next((e for e in root.iter() if e.tag.endswith('}clrScheme')), None)
    if scheme is None:
        return []
    found = {}
    for slot in scheme:
        key = slot.tag.rsplit('}', 1)[-1]
        for value in slot:
            found[key] = (value.get('lastClr') or value.get('val') or '000000').upper()
    order = ['lt1', 'dk1', 'lt2', 'dk2', 'accent1', 'accent2', 'accent3', 'accent4', 'accent5',
             'accent6', 'hlink', 'folHlink']
    return [found.get(k, '000000') for k in order]


def apply_tint(rgb, tint):
    if not tint:
        return rgb
    r, g, b = (int(rgb[i:i + 2], 16) / 255 for i in (0, 2, 4))
    h, l, s = colorsys.rgb_to_hls(r, g, b)
    l = l * (1 + tint) if tint < 0 else l * (1 - tint) + tint
    return '%02X%02X%02X' % tuple(round(v * 255) for v in colorsys.hls_to_rgb(h, l, s))


class Colours:
    def __init__(self, book):
        custom = getattr(book, '_colors', None)
        self.palette = [c[-6:].upper() for c in custom] if custom else DEFAULT_PALETTE
        self.theme = theme_colours(getattr(book, 'loaded_theme', None))

    def rgb(self, colour, automatic):
        """RRGGBB of an openpyxl Color; `automatic` for none, 'auto' and the system indexes."""
        if colour is None:
            return automatic
        kind = colour.type
        if kind == 'rgb' and isinstance(colour.rgb, str):
            return apply_tint(colour.rgb[-6:].upper(), colour.tint)
        if kind == 'indexed' and isinstance(colour.indexed, int):
            if 0 <= colour.indexed < len(self.palette):
                return apply_tint(self.palette[colour.indexed], colour.tint)
            return automatic
        if kind == 'theme' and isinstance(colour.theme, int) and colour.theme < len(self.theme):
            return apply_tint(self.theme[colour.theme], colour.tint)
        return automatic


# ---------------------------------------------------------------------------------------------
# Style parts as short texts


def number(value):
    return '%g' % float(value)


def font_text(font, colours):
    if font is None:
        return 'none'
    return '|'.join([
        (font.name or '').lower(), number(font.sz or 0), 'b' if font.b else '', 'i' if font.i else '',
        'u=' + font.u.replace('Accounting', '') if font.u else '', 's' if font.strike else '',
        colours.rgb(font.color, '000000')])


def fill_text(fill, colours):
    kind = getattr(fill, 'patternType', None) or getattr(fill, 'fill_type', None)
    if not kind or kind == 'none' or not hasattr(fill, 'fgColor'):
        return 'none'
    if kind == 'solid':
        return 'solid %s' % colours.rgb(fill.fgColor, '000000')
    return '%s %s/%s' % (kind, colours.rgb(fill.fgColor, '000000'),
                         colours.rgb(fill.bgColor, 'FFFFFF'))


def border_text(border, colours):
    if border is None:
        return 'none'
    parts = []
    for key in ('left', 'right', 'top', 'bottom'):
        side = getattr(border, key)
        if side is not None and side.style:
            parts.append('%s=%s:%s' % (key[0], side.style, colours.rgb(side.color, '000000')))
    side = border.diagonal
    if side is not None and side.style and (border.diagonalUp or border.diagonalDown):
        parts.append('d=%s:%s%s%s' % (side.style, colours.rgb(side.color, '000000'),
                                      '/up' if border.diagonalUp else '',
                                      '/down' if border.diagonalDown else ''))
    return ' '.join(parts) or 'none'


def align_text(alignment):
    if alignment is None:
        return 'general'
    parts = [alignment.horizontal or 'general', alignment.vertical or 'bottom']
    if alignment.wrap_text:
        parts.append('wrap')
    if alignment.shrink_to_fit:
        parts.append('shrink')
    if alignment.textRotation:
        parts.append('rot=%d' % alignment.textRotation)
    if alignment.indent:
        parts.append('indent=%d' % alignment.indent)
    return ' '.join(parts)


def normal_number_format(code):
    """A number format without its spelling differences: upper case, literal characters neither
    quoted nor escaped, no locale-only prefix [$-409], and the built-in short date (which
    LibreOffice writes with four-digit years) in one spelling."""
    code = re.sub(r'\[\$-[0-9A-Fa-f]+\]', '', code)
    code = re.sub(r'\\(.)', r'\1', code).replace('"', '').upper()
    return {'MM-DD-YY': 'M/D/YYYY', 'M/D/YY H:MM': 'M/D/YYYY H:MM', '': 'GENERAL'}.get(code, code)


class StyleTexts:
    """The texts by category of a cell's openpyxl StyleArray, cached per distinct array."""

    def __init__(self, book, colours):
        self.book, self.colours, self.cache = book, colours, {}
        self.default = self(book._cell_styles[0] if len(book._cell_styles) else None)

    def __call__(self, style):
        key = tuple(style) if style is not None else None
        if key not in self.cache:
            self.cache[key] = self.texts(style)
        return self.cache[key]

    def texts(self, style):
        from openpyxl.styles.numbers import BUILTIN_FORMATS
        book, colours = self.book, self.colours
        if style is None:
            return {'font': font_text(book._fonts[0] if book._fonts else None, colours),
                    'fill': 'none', 'border': 'none', 'align': 'general', 'numfmt': 'GENERAL'}

        def item(items, index):
            return items[index] if index < len(items) else None

        if style.numFmtId < 164:
            code = BUILTIN_FORMATS.get(style.numFmtId, 'General')
        else:
            code = item(book._number_formats, style.numFmtId - 164) or ''
        fill = item(book._fills, style.fillId)
        return {
            'font': font_text(item(book._fonts, style.fontId), colours),
            'fill': fill_text(fill, colours) if fill is not None else 'none',
            'border': border_text(item(book._borders, style.borderId), colours),
            'align': align_text(item(book._alignments, style.alignmentId)),
            'numfmt': normal_number_format(code),
        }


# ---------------------------------------------------------------------------------------------
# Reading a workbook's facts


def cell_values(package, part, strings):
    """(row, column) -> typed value text, read from the sheet XML itself so that numbers
    formatted as dates stay numbers."""
    values = {}
    if part not in package.namelist():
        return values
    with package.open(part) as stream:
        for _, element in ElementTree.iterparse(stream):
            if not element.tag.endswith('}c'):
                continue
            kind = element.get('t', 'n')
            value = None
            text_nodes = []
            for child in element:
                tag = child.tag.rsplit('}', 1)[-1]
                if tag == 'v':
                    value = child.text or ''
                elif tag == 'is':
                    text_nodes = [t.text or '' for t in child.iter()
                                  if t.tag.endswith('}t') and not in_phonetic(child, t)]
            ref = element.get('r')
            element.clear()
            if ref is None:
                continue
            if kind == 'inlineStr':
                values[split_cell(ref)] = 's:' + escape(''.join(text_nodes))
            elif value is None:
                continue
            elif kind == 's':
                index = int(value) if value.strip().isdigit() else -1
                if 0 <= index < len(strings):
                    values[split_cell(ref)] = 's:' + escape(strings[index])
            elif kind == 'str':
                values[split_cell(ref)] = 's:' + escape(value)
            elif kind == 'b':
                values[split_cell(ref)] = 'b:' + ('1' if value.strip() in ('1', 'true') else '0')
            elif kind == 'e':
                values[split_cell(ref)] = 'e:' + value
            elif value.strip():
                values[split_cell(ref)] = 'n:' + repr(float(value))
    return values


def in_phonetic(root, node):
    for parent in root.iter():
        if parent.tag.endswith('}rPh') and node in list(parent.iter()):
            return True
    return False


def shared_strings(package):
    names = [n for n in package.namelist() if n.lower().endswith('sharedstrings.xml')]
    if not names:
        return []
    out = []
    root = ElementTree.fromstring(package.read(names[0]))
    for item in root:
        texts = []
        for child in item:
            tag = child.tag.rsplit('}', 1)[-1]
            if tag == 't':
                texts.append(child.text or '')
            elif tag == 'r':
                texts += [t.text or '' for t in child if t.tag.endswith('}t')]
        out.append(''.join(texts))
    return out


def sheet_parts(package):
    """Worksheet name -> part name, from the workbook's relationships."""
    names = package.namelist()
    book = next((n for n in names if n.endswith('workbook.xml')), None)
    if book is None:
        return {}
    folder = book.rsplit('/', 1)[0] + '/' if '/' in book else ''
    rels = folder + '_rels/' + book.rsplit('/', 1)[-1] + '.rels'
    targets = {}
    if rels in names:
        for rel in ElementTree.fromstring(package.read(rels)):
            target = rel.get('Target', '')
            if target.startswith('/'):
                targets[rel.get('Id')] = target[1:]
            else:
                targets[rel.get('Id')] = os.path.normpath(folder + target).replace('\\', '/')
    out = {}
    for element in ElementTree.fromstring(package.read(book)).iter():
        if element.tag.endswith('}sheet'):
            rid = next((v for k, v in element.attrib.items() if k.endswith('}id')), None)
            out[element.get('name')] = targets.get(rid)
    return out


def date1904(package):
    book = next((n for n in package.namelist() if n.endswith('workbook.xml')), None)
    if book is None:
        return False
    for element in ElementTree.fromstring(package.read(book)).iter():
        if element.tag.endswith('}workbookPr'):
            return element.get('date1904', 'false').lower() in ('1', 'true')
    return False


def to_1900_dates(sheet, values, styles):
    """Dates of a 1904 workbook as the 1900 system counts them, as a merge result holds them:
    only numbers whose format shows a calendar date move."""
    for (row, column), value in values.items():
        if value.startswith('n:'):
            cell = sheet._cells.get((row, column))
            if cell is not None and shows_calendar_date(styles(cell._style)['numfmt']):
                values[(row, column)] = 'n:' + repr(float(value[2:]) + 1462)


def defined_names(package):
    """(sheet index or None, name, formula text) of the workbook's defined names, built-in ones
    included (openpyxl moves print areas and titles out of its list)."""
    book = next((n for n in package.namelist() if n.endswith('workbook.xml')), None)
    if book is None:
        return []
    out = []
    for element in ElementTree.fromstring(package.read(book)).iter():
        if element.tag.endswith('}definedName'):
            scope = element.get('localSheetId')
            out.append((int(scope) if scope is not None and scope.isdigit() else None,
                        element.get('name', ''), element.text or ''))
    return out


def normal_name(name):
    """A defined name as compared: upper case (names ignore case), the built-in names that
    LibreOffice spells Excel_BuiltIn_X as _XLNM.X; None for the hidden names .xls files hold for
    functions newer than the format (_xlfn.IFERROR), which .xlsx files do not list."""
    upper = name.upper()
    if upper.startswith(('_XLFN.', '_XLFN_')):
        return None
    if upper.startswith('EXCEL_BUILTIN_'):
        return '_XLNM.' + upper[len('EXCEL_BUILTIN_'):]
    return upper


def effective_widths(sheet):
    default = sheet.sheet_format.defaultColWidth
    if default is None:
        default = (sheet.sheet_format.baseColWidth or 8) + 0.71
    widths = {}
    hidden = set()
    for dimension in sheet.column_dimensions.values():
        low = dimension.min or column_number(dimension.index)
        high = dimension.max or low
        for column in range(low, min(high, MAX_COLUMNS) + 1):
            if dimension.width and (dimension.customWidth or dimension.width != default):
                widths[column] = float(dimension.width)
            if dimension.hidden:
                hidden.add(column)
    return float(default), widths, hidden


def workbook_facts(path, every_value=False):
    """The facts of one .xlsx as a set of (category, sheet, place, value) tuples. With
    every_value, also each cell's value as a 'cell' fact, to compare a result with."""
    import openpyxl
    book = openpyxl.load_workbook(path)
    colours = Colours(book)
    styles = StyleTexts(book, colours)
    facts = set()
    with zipfile.ZipFile(path) as package:
        strings = shared_strings(package)
        parts = sheet_parts(package)
        for index, sheet in enumerate(book.worksheets):
            name = sheet.title
            facts.add(('sheet', name, '%d' % index, sheet.sheet_state))
            values = cell_values(package, parts.get(name), strings)
            if date1904(package):
                to_1900_dates(sheet, values, styles)
            sheet_facts(sheet, name, values, styles, facts, every_value)
        titles = [s.title for s in book.worksheets]
        for scope, name, text in defined_names(package):
            sheet = ''
            if scope is not None and scope < len(book.sheetnames):
                sheet = book.sheetnames[scope]
                if sheet not in titles:
                    continue  # a name of a chart sheet
            key = normal_name(name)
            if key is not None:
                facts.add(('name', sheet, key, escape(normal_formula(text))))
    return facts


def sheet_facts(sheet, name, values, styles, facts, every_value):
    formulas = set()
    for (row, column), cell in sheet._cells.items():
        if isinstance(cell.value, str) and cell.data_type == 'f':
            formulas.add((row, column))
            facts.add(('formula', name, cell_name(row, column),
                       escape(normal_formula(cell.value))))
    constants = {}
    for (row, column), value in values.items():
        if column > MAX_COLUMNS:
            continue
        if (row, column) in formulas:
            facts.add(('value', name, cell_name(row, column), value))
        else:
            constants.setdefault(row, {})[column] = value
    for row, cells in constants.items():
        facts.add(('constants', name, '%d' % row, row_digest(cells)))
    if every_value:
        for (row, column), value in values.items():
            if column <= MAX_COLUMNS:
                facts.add(('cell', name, cell_name(row, column), value))
    for merged in sheet.merged_cells.ranges:
        facts.add(('merge', name, merged.coord, '-'))
    default, widths, hidden = effective_widths(sheet)
    last = min(max([c for _, c in sheet._cells] + list(hidden) + [1]), MAX_COLUMNS)
    shown = [(c, round(widths.get(c, default), 2)) for c in range(1, last + 1)]
    start = 0
    for i in range(1, len(shown) + 1):
        if i == len(shown) or shown[i][1] != shown[start][1]:
            facts.add(('width', name, '%s:%s' % (column_name(shown[start][0]),
                                                  column_name(shown[i - 1][0])),
                       '%g' % shown[start][1]))
            start = i
    for low, high in runs(hidden):
        facts.add(('hidden-col', name, '%s:%s' % (column_name(low), column_name(high)), '-'))
    hidden_rows = [r for r, d in sheet.row_dimensions.items() if d.hidden]
    for low, high in runs(hidden_rows):
        facts.add(('hidden-row', name, '%d:%d' % (low, high), '-'))
    style_facts(sheet, name, styles, facts)


def row_digest(cells):
    """The constants of a row as one short text: their count and a digest. Numbers count to 12
    significant digits (LibreOffice writes 15, rounded), booleans as the numbers 0 and 1."""
    items = []
    for column in sorted(cells):
        value = cells[column]
        if value == 's:':
            continue  # an empty text shows as an empty cell
        if value.startswith(('n:', 'b:')):
            value = 'n:%.12g' % float(value[2:])
        items.append('%d=%s' % (column, value))
    digest = hashlib.sha1('\x1f'.join(items).encode('utf-8')).hexdigest()[:12]
    return '%d %s' % (len(items), digest)


def fallbacks(sheet):
    """The style of each styled row and column: what a cell without its own shows."""
    rows = {r: d._style for r, d in sheet.row_dimensions.items()
            if d.customFormat and getattr(d, '_style', None) is not None}
    columns = {}
    for dimension in sheet.column_dimensions.values():
        style = getattr(dimension, '_style', None)
        if style is None:
            continue
        low = dimension.min or column_number(dimension.index)
        for column in range(low, min(dimension.max or low, MAX_COLUMNS) + 1):
            columns[column] = style
    return rows, columns


def style_facts(sheet, name, styles, facts):
    rows, columns = fallbacks(sheet)
    lookup = styles
    default = styles.default
    for category in STYLE_CATEGORIES:
        facts.add((category, name, 'default', escape(default[category])))
    row_texts = {r: lookup(s) for r, s in rows.items()}
    column_texts = {c: lookup(s) for c, s in columns.items()}
    for category in STYLE_CATEGORIES:
        for row, text in row_texts.items():
            if text[category] != default[category]:
                facts.add((category, name, 'row:%d' % row, escape(text[category])))
        for column, text in column_texts.items():
            if text[category] != default[category]:
                facts.add((category, name, 'col:%s' % column_name(column),
                           escape(text[category])))
    by_row = {}
    for (row, column), cell in sheet._cells.items():
        if column > MAX_COLUMNS:
            continue
        own = lookup(cell._style)
        under = row_texts.get(row) or column_texts.get(column) or default
        for category in STYLE_CATEGORIES:
            if own[category] != under[category]:
                by_row.setdefault((category, row), {})[column] = own[category]
    for (category, row), cells in by_row.items():
        for low, high in runs(cells):
            # split each run where the text changes
            start = low
            for column in range(low, high + 2):
                if column > high or cells[column] != cells[start]:
                    place = cell_name(row, start) if start == column - 1 else '%s:%s' % (
                        cell_name(row, start), cell_name(row, column - 1))
                    facts.add((category, name, place, escape(cells[start])))
                    start = column


def fallback_text(facts, category, sheet, row, column):
    """What a cell absent from the listed facts shows: its row's, column's or the default."""
    return facts.get((category, sheet, 'row:%d' % row)) or facts.get(
        (category, sheet, 'col:%s' % column_name(column))) or facts.get(
            (category, sheet, 'default'), '')


# ---------------------------------------------------------------------------------------------
# Fact files


def write_facts(facts, path):
    """Sorted lines, gzip-compressed without a time stamp so that the same facts give the same
    bytes."""
    lines = sorted('\t'.join(f) for f in facts)
    data = ''.join(line + '\n' for line in lines).encode('utf-8')
    Path(path).write_bytes(gzip.compress(data, 9, mtime=0))


def read_facts(path):
    out = set()
    for line in gzip.decompress(Path(path).read_bytes()).decode('utf-8').splitlines():
        if line:
            out.add(tuple(line.split('\t', 3)))
    return out


# ---------------------------------------------------------------------------------------------
# Comparing


def expand_cells(place):
    """Cells of 'A1' or 'A1:C1' (one row)."""
    if ':' not in place:
        return [split_cell(place)]
    first, last = place.split(':')
    (row, low), (_, high) = split_cell(first), split_cell(last)
    return [(row, c) for c in range(low, high + 1)]


def expand_columns(place):
    first, last = place.split(':')
    return range(column_number(first), column_number(last) + 1)


def expand_rows(place):
    first, last = place.split(':')
    return range(int(first), int(last) + 1)


def equal_value(expected, actual):
    """Equal cached values: numbers within rounding, a boolean and its number alike (LibreOffice
    has no boolean type), an empty text result like no value."""
    expected = None if expected == 's:' else expected
    actual = None if actual == 's:' else actual
    if expected == actual:
        return True
    if expected and actual and expected[:2] in ('n:', 'b:') and actual[:2] in ('n:', 'b:'):
        a, b = float(expected[2:]), float(actual[2:])
        return abs(a - b) <= 1e-9 * max(1.0, abs(a), abs(b))
    return False


# Functions whose results LibreOffice computes again when it opens a file, so that its
# conversion does not hold the cached value.
VOLATILE = re.compile(r'\b(TODAY|NOW|RAND|RANDBETWEEN|CELL|INFO)\(')


class Report:
    """Differences by category for one file; compared counts for the shares; what could not be
    checked, by reason."""

    def __init__(self):
        self.compared = {c: 0 for c in CATEGORIES}
        self.differ = {c: [] for c in CATEGORIES}
        self.skipped = {}

    def skip(self, category, reason):
        key = (category, reason)
        self.skipped[key] = self.skipped.get(key, 0) + 1

    def add(self, category, same, text):
        self.compared[category] += 1
        if not same:
            self.differ[category].append(text)


def rename_sheet(facts, old, new):
    return {(f[0], new if f[1] == old else f[1]) + tuple(f[2:]) for f in facts}


def compare(expected, actual):
    report = Report()
    # A workbook of one sheet whose name is not stored (BIFF2-4) is named by each reader its
    # own way: the one sheet is compared with the one sheet.
    missing = {f[1] for f in expected if f[0] == 'sheet'} - {f[1] for f in actual
                                                             if f[0] == 'sheet'}
    extra = {f[1] for f in actual if f[0] == 'sheet'} - {f[1] for f in expected
                                                         if f[0] == 'sheet'}
    if len(missing) == 1 and len(extra) == 1:
        old, new = extra.pop(), missing.pop()
        report.add('sheet', False, '%s: named %s' % (new, old))
        actual = rename_sheet(actual, old, new)
        report.compared['sheet'] -= 1

    def by(category, facts):
        # Two facts of one key (a name given twice) are compared together, in a fixed order.
        out = {}
        for f in sorted(facts):
            if f[0] == category:
                key = (f[1], f[2])
                out[key] = out[key] + ' | ' + f[3] if key in out else f[3]
        return out

    sheets_expected = {f[1]: f for f in expected if f[0] == 'sheet'}
    states = {f[1]: f[3] for f in actual if f[0] == 'sheet'}
    sheets_actual = set(states)
    for sheet, fact in sorted(sheets_expected.items()):
        if sheet not in sheets_actual:
            report.add('sheet', False, '%s: missing' % sheet)
        elif fact[3] == 'hidden' and states[sheet] == 'veryHidden':
            report.skip('sheet', 'LibreOffice has no very hidden sheets, only hidden ones')
        else:
            report.add('sheet', states[sheet] == fact[3], '%s: expected %s, got %s' % (
                sheet, fact[3], states[sheet]))
    for sheet in sorted(sheets_actual - set(sheets_expected)):
        report.add('sheet', False, '%s: not in the expected workbook' % sheet)

    cells = by('cell', actual)
    formulas, have = by('formula', expected), by('formula', actual)
    for key in sorted(set(formulas) | set(have), key=cell_sort):
        if key[0] not in sheets_actual:
            continue
        wanted = formulas.get(key)
        if wanted == '':
            report.skip('formula', 'LibreOffice writes no formula text')
        elif wanted is not None and '#NAME' in re.sub(r'"([^"]|"")*"', '', wanted):
            report.skip('formula', 'LibreOffice cannot spell a function')
        elif wanted in ('TRUE', 'FALSE') and key not in have and \
                cells.get(key) == 'b:%d' % (wanted == 'TRUE'):
            report.skip('formula', 'a boolean constant LibreOffice writes as a formula')
        else:
            report.add('formula', wanted == have.get(key), '%s!%s: expected %s, got %s' % (
                key[0], key[1], wanted or '(none)', have.get(key, '(none)')))

    # A formula cell's cached value against the result cell's value, formula or not; the
    # other cells row by row, as digests.
    want = by('value', expected)
    for key in sorted(want, key=cell_sort):
        if key[0] not in sheets_actual:
            continue
        if want[key] == 'e:#NAME?':
            report.skip('value', 'a function LibreOffice does not know')
        elif VOLATILE.search(formulas.get(key, '')):
            report.skip('value', 'a function LibreOffice computes again on loading')
        else:
            report.add('value', equal_value(want[key], cells.get(key)),
                       '%s!%s: expected %s, got %s' % (key[0], key[1], want[key],
                                                       cells.get(key, '(none)')))
    rows = {}
    for (sheet, place), value in cells.items():
        if (sheet, place) not in want:
            row, column = split_cell(place)
            rows.setdefault((sheet, '%d' % row), {})[column] = value
    have = {key: row_digest(row) for key, row in rows.items()}
    want = by('constants', expected)
    for key in sorted(set(want) | set(have), key=lambda k: (k[0], int(k[1]))):
        if key[0] in sheets_actual:
            report.add('constants', want.get(key) == have.get(key),
                       '%s!row %s: expected %s constants, got %s' % (
                           key[0], key[1], (want.get(key) or '0').split()[0],
                           (have.get(key) or '0').split()[0]))

    for category in ('merge', 'name'):
        want, have = by(category, expected), by(category, actual)
        for key in sorted(set(want) | set(have)):
            if category == 'merge' and key[0] not in sheets_actual:
                continue
            where = '%s!%s' % key if key[0] else key[1]
            if key not in have:
                report.add(category, False, '%s: missing' % where)
            elif key not in want:
                report.add(category, False, '%s: not expected' % where)
            else:
                report.add(category, want[key] == have[key], '%s: expected %s, got %s' % (
                    where, want[key], have[key]))

    for sheet in sorted(set(sheets_expected) & sheets_actual):
        compare_columns(expected, actual, sheet, report)
        for category in STYLE_CATEGORIES:
            compare_styles(expected, actual, sheet, category, report)
    return report


def cell_sort(key):
    row, column = split_cell(key[1])
    return key[0], row, column


def column_facts(facts, category, sheet):
    out = {}
    for fact in facts:
        if fact[0] == category and fact[1] == sheet:
            for column in expand_columns(fact[2]):
                out[column] = fact[3]
    return out


def compare_columns(expected, actual, sheet, report):
    want, have = column_facts(expected, 'width', sheet), column_facts(actual, 'width', sheet)
    have_default = max(have.values(), key=list(have.values()).count) if have else None
    for column in sorted(want):
        got = have.get(column, have_default)
        same = got is not None and abs(float(want[column]) - float(got)) <= WIDTH_TOLERANCE
        report.add('width', same, '%s!%s: expected %s, got %s' % (
            sheet, column_name(column), want[column], got))
    want, have = (column_facts(expected, 'hidden-col', sheet),
                  column_facts(actual, 'hidden-col', sheet))
    for column in sorted(set(want) | set(have)):
        report.add('hidden-col', column in want and column in have, '%s!%s: %s' % (
            sheet, column_name(column), 'not hidden' if column in want else 'hidden'))
    want, have = set(), set()
    for facts, into in ((expected, want), (actual, have)):
        for fact in facts:
            if fact[0] == 'hidden-row' and fact[1] == sheet:
                into.update(expand_rows(fact[2]))
    for row in sorted(want | have):
        report.add('hidden-row', row in want and row in have, '%s!%d: %s' % (
            sheet, row, 'not hidden' if row in want else 'hidden'))


def similar(wanted, got):
    """Equal style texts, colours within 4 of 255 a channel (tints computed apart round
    apart)."""
    if wanted == got:
        return True
    pattern = r'\b[0-9A-F]{6}\b'
    if re.sub(pattern, '#', wanted or '') != re.sub(pattern, '#', got or ''):
        return False
    for a, b in zip(re.findall(pattern, wanted), re.findall(pattern, got)):
        if any(abs(int(a[i:i + 2], 16) - int(b[i:i + 2], 16)) > 4 for i in (0, 2, 4)):
            return False
    return True


def compare_styles(expected, actual, sheet, category, report):
    def cells_of(facts):
        listed, rest = {}, {}
        for fact in facts:
            if fact[0] != category or fact[1] != sheet:
                continue
            if fact[2] == 'default' or fact[2].startswith(('row:', 'col:')):
                rest[(category, sheet, fact[2])] = fact[3]
            else:
                for cell in expand_cells(fact[2]):
                    listed[cell] = fact[3]
        return listed, rest

    want, want_rest = cells_of(expected)
    have, have_rest = cells_of(actual)
    present = {split_cell(f[2]) for f in expected | actual
               if f[0] in ('value', 'formula') and f[1] == sheet}
    for key in sorted(set(want_rest) | set(have_rest)):
        if key[2] == 'default':
            continue  # a workbook's default shows only through its cells, compared below
        row, column = (int(key[2][4:]), 0) if key[2].startswith('row:') else (
            0, column_number(key[2][4:]))
        got = have_rest.get(key) or fallback_text(have_rest, category, sheet, row, column)
        wanted = want_rest.get(key) or fallback_text(want_rest, category, sheet, row, column)
        report.add(category, similar(wanted, got), '%s!%s: expected %s, got %s' % (
            sheet, key[2], wanted, got))
    # A cell a merged range covers shows nothing of its own: LibreOffice writes it with the
    # format of its own choosing.
    covered = set()
    for fact in expected:
        if fact[0] == 'merge' and fact[1] == sheet and ':' in fact[2]:
            (top, left), (bottom, right) = (split_cell(c) for c in fact[2].split(':'))
            covered.update((r, c) for r in range(top, bottom + 1) for c in range(left, right + 1)
                           if (r, c) != (top, left))
    for row, column in sorted(set(want) | set(have) | present):
        if (row, column) in covered:
            report.skip(category, 'a cell a merged range covers')
            continue
        wanted = want.get((row, column)) or fallback_text(want_rest, category, sheet, row, column)
        got = have.get((row, column)) or fallback_text(have_rest, category, sheet, row, column)
        report.add(category, similar(wanted, got), '%s!%s: expected %s, got %s' % (
            sheet, cell_name(row, column), wanted, got))


# ---------------------------------------------------------------------------------------------
# Known exceptions (tests/data/xls-oracle/exceptions.tsv): file, category, a pattern of the
# differences it covers (fnmatch: "Param!*", "*") and why. What they cover is counted apart and
# does not fail the strict mode.


def read_exceptions(folder):
    path = Path(folder) / 'exceptions.tsv'
    out = []
    if path.exists():
        for line in path.read_text(encoding='utf-8').splitlines():
            if line.strip() and not line.startswith('#'):
                fields = line.split('\t')
                if len(fields) != 4 or fields[1] not in CATEGORIES:
                    raise ValueError('%s: not file, category, pattern, reason: %r' % (path, line))
                out.append(tuple(fields))
    return out


def apply_exceptions(report, file, exceptions):
    for name, category, pattern, reason in exceptions:
        if name != file:
            continue
        kept = []
        for text in report.differ[category]:
            if fnmatch.fnmatchcase(text, pattern):
                report.skip(category, 'known: ' + reason)
                report.compared[category] -= 1
            else:
                kept.append(text)
        report.differ[category] = kept


# Thresholds of the strict mode: the share of formula cells whose text must match in each file,
# and the differences allowed in every other category.
FORMULA_SHARE = 0.99
ALLOWED = {c: 0 for c in CATEGORIES if c != 'formula'}


def failures(report):
    out = []
    total = report.compared['formula']
    same = total - len(report.differ['formula'])
    if total and same / total < FORMULA_SHARE:
        out.append('formula: %d of %d match (%.1f%%)' % (same, total, 100.0 * same / total))
    for category, allowed in ALLOWED.items():
        if len(report.differ[category]) > allowed:
            out.append('%s: %d differ' % (category, len(report.differ[category])))
    return out


def merge(program, source, result):
    try:
        run = subprocess.run([program, '--mode', 'workbook', '--no-autofit', '--quiet',
                              str(source), '-o', str(result)],
                             capture_output=True, text=True, timeout=300)
    except subprocess.TimeoutExpired:
        return 'the merge took more than 300 s'
    if run.returncode < 0:
        return 'the merge crashed (signal %d): %s' % (-run.returncode, run.stderr.strip()[:300])
    if run.returncode != 0 or not Path(result).exists():
        return 'the merge failed (%d): %s' % (run.returncode, run.stderr.strip()[:300])
    return None


def print_report(file, report, shown):
    lines = []
    for category in CATEGORIES:
        differ = report.differ[category]
        if report.compared[category] or differ:
            lines.append('  %-10s %6d compared, %6d differ' % (
                category, report.compared[category], len(differ)))
            for text in differ[:shown]:
                lines.append('      ' + text)
            if len(differ) > shown:
                lines.append('      ... and %d more' % (len(differ) - shown))
    for (category, reason), count in sorted(report.skipped.items()):
        lines.append('  %-10s %6d not compared: %s' % (category, count, reason))
    print(file)
    print('\n'.join(lines))


def run_check(args):
    facts_folder = Path(args.facts)
    files = args.files or sorted(p.name[:-len('.tsv.gz')] for p in facts_folder.glob('*.tsv.gz'))
    exceptions = read_exceptions(facts_folder)
    out = Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    totals = Report()
    problems = []
    crashes = []
    summaries = []
    for file in files:
        if args.only and args.only not in file:
            continue
        expected = read_facts(facts_folder / (file + '.tsv.gz'))
        result = out / (Path(file).stem + '-copied.xlsx')
        failed = merge(args.merge, Path(args.corpus) / file, result)
        if failed:
            report = Report()
            report.add('opens', False, failed)
        else:
            report = compare(expected, workbook_facts(result, every_value=True))
            report.add('opens', True, '')
        apply_exceptions(report, file, exceptions)
        for category in CATEGORIES:
            totals.compared[category] += report.compared[category]
            totals.differ[category] += report.differ[category]
        for key, count in report.skipped.items():
            totals.skipped[key] = totals.skipped.get(key, 0) + count
        print_report(file, report, args.shown)
        summaries.append((file, report))
        for failure in failures(report):
            problems.append('%s: %s' % (file, failure))
        crashes += [t for t in report.differ['opens'] if t.startswith('the merge crashed')]
    print('\nDifferences per file (differ/compared):')
    for file, report in summaries:
        parts = ['%s %d/%d' % (c, len(report.differ[c]), report.compared[c])
                 for c in CATEGORIES if report.differ[c]]
        print('  %s: %s' % (file, ', '.join(parts) or 'none'))
    print('\nAll files:')
    for category in CATEGORIES:
        compared, differ = totals.compared[category], len(totals.differ[category])
        print('  %-10s %6d compared, %6d differ, %5.1f%% equal' % (
            category, compared, differ, 100.0 * (compared - differ) / compared if compared
            else 100.0))
    for (category, reason), count in sorted(totals.skipped.items()):
        print('  %-10s %6d not compared: %s' % (category, count, reason))
    formulas = totals.compared['formula']
    print('Formula cells whose text matches: %d of %d (%.1f%%)' % (
        formulas - len(totals.differ['formula']), formulas,
        100.0 * (formulas - len(totals.differ['formula'])) / formulas if formulas else 100.0))
    strict = args.thresholds == 'strict'
    if problems:
        print('\nBelow the thresholds:' if strict else '\nBelow the thresholds (reported only):')
        for problem in problems:
            print('  ' + problem)
    if crashes:
        print('\nA merge crashed; that fails the check in every mode.')
    return 1 if crashes or (problems and strict) else 0


# ---------------------------------------------------------------------------------------------
# LibreOffice

RECALCULATE_ON_LOAD = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" \
xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" \
oor:op="fuse"><value>0</value></prop></item>
</oor:items>
"""


def convert(files, outdir, recalculate=False):
    """Each file converted to .xlsx by LibreOffice into outdir; the ones it made, by name."""
    outdir = Path(outdir)
    outdir.mkdir(parents=True, exist_ok=True)
    profile = Path(tempfile.mkdtemp(prefix='xls-oracle-profile-'))
    try:
        if recalculate:
            (profile / 'user').mkdir(parents=True)
            (profile / 'user' / 'registrymodifications.xcu').write_text(RECALCULATE_ON_LOAD)
        for file in files:  # one at a time: a file that hangs costs only its own timeout
            try:
                subprocess.run(['soffice', '-env:UserInstallation=' + profile.as_uri(),
                                '--headless', '--norestore', '--convert-to',
                                'xlsx:Calc MS Excel 2007 XML', '--outdir', str(outdir),
                                str(file)],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               timeout=180)
            except subprocess.TimeoutExpired:
                pass
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    return {Path(f).name: outdir / (Path(f).stem + '.xlsx') for f in files
            if (outdir / (Path(f).stem + '.xlsx')).exists()}


def run_expect(args):
    out = Path(args.out)
    out.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix='xls-oracle-') as work:
        converted = convert(args.files, work)
        for file in args.files:
            name = Path(file).name
            if name not in converted:
                print('%s: LibreOffice does not open it; no facts' % name)
                continue
            write_facts(workbook_facts(converted[name]), out / (name + '.tsv.gz'))
            print('%s: facts written' % name)
    return 0


def run_recalc(args):
    """Merges each file, has LibreOffice recalculate the result, and compares the values of
    the formula cells with the expected (cached) values."""
    facts_folder = Path(args.facts)
    files = args.files or sorted(p.name[:-len('.tsv.gz')] for p in facts_folder.glob('*.tsv.gz'))
    out = Path(args.out)
    results = []
    for file in files:
        if args.only and args.only not in file:
            continue
        result = out / 'merged' / (file + '.xlsx')
        result.parent.mkdir(parents=True, exist_ok=True)
        failed = merge(args.merge, Path(args.corpus) / file, result)
        if failed:
            print('%s: %s' % (file, failed))
        else:
            results.append((file, result))
    recalculated = convert([r for _, r in results], out / 'recalculated', recalculate=True)
    status = 0
    totals = Report()
    exceptions = read_exceptions(facts_folder)
    for file, result in results:
        expected = read_facts(facts_folder / (file + '.tsv.gz'))
        if result.name not in recalculated:
            print('%s: LibreOffice cannot open the result' % file)
            status = 1
            continue
        mine = workbook_facts(result)
        actual = workbook_facts(recalculated[result.name], every_value=True)
        want = {(f[1], f[2]): f[3] for f in expected if f[0] == 'value'}
        formulas = {(f[1], f[2]): f[3] for f in expected if f[0] == 'formula'}
        have = {(f[1], f[2]): f[3] for f in actual if f[0] == 'cell'}
        report = Report()
        for cell in sorted({(f[1], f[2]) for f in mine if f[0] == 'formula'}, key=cell_sort):
            if cell not in want:
                report.skip('value', 'no cached value to compare with')
            elif want[cell] == 'e:#NAME?':
                report.skip('value', 'a function LibreOffice does not know')
            elif VOLATILE.search(formulas.get(cell, '')):
                report.skip('value', 'a function LibreOffice computes again on loading')
            else:
                report.add('value', equal_value(want[cell], have.get(cell)),
                           '%s!%s: expected %s, got %s' % (cell[0], cell[1], want[cell],
                                                           have.get(cell, '(none)')))
        apply_exceptions(report, file, exceptions)
        totals.compared['value'] += report.compared['value']
        totals.differ['value'] += report.differ['value']
        for key, count in report.skipped.items():
            totals.skipped[key] = totals.skipped.get(key, 0) + count
        print_report(file, report, args.shown)
        status = status or (1 if report.differ['value'] else 0)
    print('All files: %d formula cells compared, %d differ in value after recalculation' % (
        totals.compared['value'], len(totals.differ['value'])))
    for (category, reason), count in sorted(totals.skipped.items()):
        print('  %d not compared: %s' % (count, reason))
    return status


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    commands = parser.add_subparsers(dest='command', required=True)
    expect = commands.add_parser('expect')
    expect.add_argument('--out', required=True)
    expect.add_argument('files', nargs='+')
    facts = commands.add_parser('facts')
    facts.add_argument('workbook')
    for name in ('check', 'recalc'):
        command = commands.add_parser(name)
        command.add_argument('--merge', required=True)
        command.add_argument('--facts', required=True)
        command.add_argument('--corpus', required=True)
        command.add_argument('--out', required=True)
        command.add_argument('--only', default='')
        command.add_argument('--shown', type=int, default=5,
                             help='differences printed per file and category')
        command.add_argument('--thresholds', choices=('report', 'strict'), default='report',
                             help='strict: exit 1 when a file is below the thresholds; '
                             'report (the default): print them only')
        command.add_argument('files', nargs='*')
    args = parser.parse_args(argv)
    if args.command == 'expect':
        return run_expect(args)
    if args.command == 'facts':
        for line in sorted('\t'.join(f) for f in workbook_facts(args.workbook)):
            print(line)
        return 0
    if args.command == 'check':
        if importlib.util.find_spec('openpyxl') is None:
            print('/usr/bin/python3 has no openpyxl; skipped')
            return 77
        return run_check(args)
    return run_recalc(args)


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
