#!/usr/bin/python3
"""The parts of the .xls checker that decide what a difference is: spellings of formulas and
number formats, colours, values, digests, the comparison of styles, widths and sheets, and
the facts read from a workbook."""

import sys
import unittest
from pathlib import Path
from tempfile import TemporaryDirectory
from types import SimpleNamespace

sys.path.insert(0, str(Path(__file__).resolve().parent))
from xls_oracle import (Colours, Report, apply_exceptions, compare, equal_value,  # noqa: E402
                        normal_formula, normal_name, normal_number_format, read_facts,
                        row_digest, similar, workbook_facts, write_facts)

try:
    import openpyxl
except ImportError:
    openpyxl = None


class Spellings(unittest.TestCase):
    def test_formulas(self):
        cases = [
            ('=SUM(A1:B2)', 'SUM(A1:B2)'),
            ('sum( a1 , b2 )', 'SUM(A1,B2)'),
            ('$A$1+A$1+$A1', '$A$1+A$1+$A1'),
            ('"a b"&"C d"', '"a b"&"C d"'),
            ('"say ""hi"" x"&a1', '"say ""hi"" x"&A1'),
            ("'My Sheet'!A1", 'MY SHEET!A1'),
            ("'O''Brien'!A1", "O'BRIEN!A1"),
            ('Data!A1', 'DATA!A1'),
            ("'Data'!A1", 'DATA!A1'),
            ('_xlfn.CONCAT(A1,B1)', 'CONCAT(A1,B1)'),
            ('_xlfn._xlws.SORT(A1:A3)', 'SORT(A1:A3)'),
            ('"_xlfn.kept"', '"_xlfn.kept"'),
            ('[1]Sheet1!A1', '[1]SHEET1!A1'),
            ('A1 B1', 'A1B1'),  # the intersection's space goes too: both sides lose it alike
            ('IF(TRUE(),FALSE(),true)', 'IF(TRUE,FALSE,TRUE)'),
            ('"TRUE()"&ISTRUE()', '"TRUE()"&ISTRUE()'),
            ('AREAS((B7:D14~E2))', 'AREAS((B7:D14,E2))'), ('"a~b"', '"a~b"'),
            ('', ''),
        ]
        for text, expected in cases:
            with self.subTest(text=text):
                self.assertEqual(normal_formula(text), expected)

    def test_names(self):
        cases = [
            ('Rate', 'RATE'), ('_xlnm.Print_Area', '_XLNM.PRINT_AREA'),
            ('Excel_BuiltIn_Print_Area', '_XLNM.PRINT_AREA'),
            ('Excel_BuiltIn__FilterDatabase', '_XLNM._FILTERDATABASE'),
            ('_xlfn.IFERROR', None), ('_xlfn_IFERROR', None), ('_xlfnX', '_XLFNX'),
        ]
        for name, expected in cases:
            with self.subTest(name=name):
                self.assertEqual(normal_name(name), expected)

    def test_absolute_and_relative_differ(self):
        self.assertNotEqual(normal_formula('$A1'), normal_formula('A1'))
        self.assertNotEqual(normal_formula('"a"'), normal_formula('"A"'))

    def test_number_formats(self):
        cases = [
            ('General', 'GENERAL'), ('GENERAL', 'GENERAL'), ('', 'GENERAL'),
            ('[$-804]General', 'GENERAL'), ('[$-F800]dddd', 'DDDD'),
            ('[$€-407]#,##0.00', '[$€-407]#,##0.00'),
            ('mmm\\-yy', 'MMM-YY'), ('mm-dd-yy', 'M/D/YYYY'), ('m/d/yyyy', 'M/D/YYYY'),
            ('m/d/yy h:mm', 'M/D/YYYY H:MM'), ('m/d/yyyy h:mm', 'M/D/YYYY H:MM'),
            ('d/m/yy', 'D/M/YY'),
            ('\\$#,##0_);[RED]"($"#,##0\\)', '$#,##0_);[RED]($#,##0)'),
            ('"$"#,##0_);[Red]\\("$"#,##0\\)', '$#,##0_);[RED]($#,##0)'),
            ('0.00%', '0.00%'),
        ]
        for code, expected in cases:
            with self.subTest(code=code):
                self.assertEqual(normal_number_format(code), expected)


def colour(kind, **values):
    fields = {'type': kind, 'rgb': None, 'indexed': None, 'theme': None, 'tint': 0.0}
    fields.update(values)
    return SimpleNamespace(**fields)


THEME = b'''<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><a:themeElements>
<a:clrScheme name="x"><a:dk1><a:sysClr val="windowText" lastClr="000000"/></a:dk1>
<a:lt1><a:sysClr val="window" lastClr="FFFFFF"/></a:lt1><a:dk2><a:srgbClr val="1F497D"/></a:dk2>
<a:lt2><a:srgbClr val="EEECE1"/></a:lt2><a:accent1><a:srgbClr val="4F81BD"/></a:accent1>
<a:accent2><a:srgbClr val="C0504D"/></a:accent2><a:accent3><a:srgbClr val="9BBB59"/></a:accent3>
<a:accent4><a:srgbClr val="8064A2"/></a:accent4><a:accent5><a:srgbClr val="4BACC6"/></a:accent5>
<a:accent6><a:srgbClr val="F79646"/></a:accent6><a:hlink><a:srgbClr val="0000FF"/></a:hlink>
<a:folHlink><a:srgbClr val="800080"/></a:folHlink></a:clrScheme></a:themeElements></a:theme>'''


class ColoursAsRgb(unittest.TestCase):
    def test_colours(self):
        plain = Colours(SimpleNamespace(_colors=None, loaded_theme=THEME))
        custom = ['00000000'] * 10 + ['00123456']
        own = Colours(SimpleNamespace(_colors=custom, loaded_theme=None))
        cases = [
            (plain, None, 'AUTO'),
            (plain, colour('auto', auto=True), 'AUTO'),
            (plain, colour('rgb', rgb='FFFF0000'), 'FF0000'),
            (plain, colour('rgb', rgb='00ff0000'), 'FF0000'),  # no alpha: the same colour
            (plain, colour('indexed', indexed=10), 'FF0000'),
            (plain, colour('indexed', indexed=22), 'C0C0C0'),
            (plain, colour('indexed', indexed=64), 'AUTO'),  # system foreground
            (plain, colour('indexed', indexed=65), 'AUTO'),  # system background
            (own, colour('indexed', indexed=10), '123456'),  # a custom palette replaces it
            (plain, colour('theme', theme=0), 'FFFFFF'),  # lt1 first, dk1 second
            (plain, colour('theme', theme=1), '000000'),
            (plain, colour('theme', theme=4), '4F81BD'),
            (plain, colour('theme', theme=4, tint=0.3999755851924192), '95B3D7'),
            (plain, colour('theme', theme=1, tint=0.499984740745262), '7F7F7F'),
            (plain, colour('theme', theme=0, tint=-0.249977111117893), 'BFBFBF'),
            (plain, colour('theme', theme=40), 'AUTO'),
        ]
        for colours, value, expected in cases:
            with self.subTest(value=value):
                self.assertEqual(colours.rgb(value, 'AUTO'), expected)


class Values(unittest.TestCase):
    def test_equal_values(self):
        cases = [
            ('n:1.0', 'n:1.0', True), ('n:0.473430343318066', 'n:0.47343034331806577', True),
            ('n:1.0', 'n:1.0001', False), ('n:0.0', 'n:1e-12', True), ('n:1.0', 'b:1', True),
            ('b:0', 'n:1.0', False), ('s:', None, True), (None, 's:', True), ('s:', 's:x', False),
            ('s:1', 'n:1.0', False), ('e:#N/A', 'e:#N/A', True), ('e:#N/A', 'e:#REF!', False),
            ('n:1.0', None, False), (None, None, True),
        ]
        for expected, actual, same in cases:
            with self.subTest(expected=expected, actual=actual):
                self.assertEqual(equal_value(expected, actual), same)

    def test_row_digests(self):
        base = row_digest({1: 's:a', 2: 'n:0.47343034331806577'})
        cases = [
            ({2: 'n:0.473430343318066', 1: 's:a'}, True),  # LibreOffice's 15 digits
            ({1: 's:a', 2: 'n:0.47343034331806577', 3: 's:'}, True),  # an empty text
            ({1: 's:a', 2: 'n:0.4734'}, False),
            ({1: 's:A', 2: 'n:0.47343034331806577'}, False),
            ({2: 's:a', 1: 'n:0.47343034331806577'}, False),  # the same values, other columns
            ({1: 's:a'}, False),
        ]
        for cells, same in cases:
            with self.subTest(cells=cells):
                self.assertEqual(row_digest(cells) == base, same)
        self.assertEqual(row_digest({1: 'b:1'}), row_digest({1: 'n:1.0'}))
        self.assertTrue(base.startswith('2 '))

    def test_similar_styles(self):
        cases = [
            ('solid 558ED5', 'solid 538DD5', True), ('solid 558ED5', 'solid 508ED5', False),
            ('solid FF0000', 'gray125 FF0000/FFFFFF', False), ('l=thin:000000', 'l=thin:000000', True),
            ('l=thin:000000', 'l=medium:000000', False), ('calibri|11|b||||000000',
                                                        'calibri|11|||||000000', False),
        ]
        for wanted, got, same in cases:
            with self.subTest(wanted=wanted, got=got):
                self.assertEqual(similar(wanted, got), same)


def facts(*lines):
    return {tuple(line.split('\t')) for line in lines}


class Comparing(unittest.TestCase):
    def test_one_unnamed_sheet_is_compared_with_the_other(self):
        expected = facts('sheet\tSheet1\t0\tvisible', 'merge\tSheet1\tA1:B1\t-')
        actual = facts('sheet\tWorksheet\t0\tvisible', 'merge\tWorksheet\tA1:B1\t-')
        report = compare(expected, actual)
        self.assertEqual(report.differ['merge'], [])
        self.assertEqual(report.compared['merge'], 1)
        self.assertEqual(report.differ['sheet'], ['Sheet1: named Worksheet'])

    def test_sheet_states(self):
        expected = facts('sheet\tA\t0\tvisible', 'sheet\tB\t1\thidden', 'sheet\tC\t2\thidden',
                         'sheet\tD\t3\tvisible')
        actual = facts('sheet\tA\t0\tvisible', 'sheet\tB\t1\tvisible', 'sheet\tC\t2\tveryHidden',
                       'sheet\tD\t3\tveryHidden')
        report = compare(expected, actual)
        self.assertEqual(report.differ['sheet'], ['B: expected hidden, got visible',
                                                  'D: expected visible, got veryHidden'])
        self.assertEqual(report.compared['sheet'], 3)  # C: LibreOffice cannot say very hidden

    def test_two_renamed_sheets_are_not_guessed(self):
        expected = facts('sheet\tA\t0\tvisible', 'sheet\tB\t1\tvisible')
        actual = facts('sheet\tC\t0\tvisible', 'sheet\tD\t1\tvisible')
        self.assertEqual(len(compare(expected, actual).differ['sheet']), 4)

    def test_formulas_and_values(self):
        expected = facts('sheet\tS\t0\tvisible', 'formula\tS\tA1\tSUM(B1:B2)',
                         'value\tS\tA1\tn:3.0', 'formula\tS\tA2\t', 'value\tS\tA2\tn:1.0',
                         'formula\tS\tA3\tTRUE', 'value\tS\tA3\tb:1',
                         'formula\tS\tA6\t(#NAME?,C48)', 'value\tS\tA6\tn:2.0',
                         'formula\tS\tA4\tTODAY()', 'value\tS\tA4\tn:46000.0',
                         'formula\tS\tA5\tNUMFMT(B1)', 'value\tS\tA5\te:#NAME?',
                         'constants\tS\t1\t' + row_digest({2: 'n:1.0'}))
        actual = facts('sheet\tS\t0\tvisible', 'cell\tS\tA1\tn:3.0', 'cell\tS\tA2\tn:1.0',
                       'cell\tS\tA3\tb:1', 'cell\tS\tA4\tn:39000.0', 'cell\tS\tA5\ts:x',
                       'cell\tS\tB1\tn:1.0', 'cell\tS\tA6\tn:2.0', 'formula\tS\tA2\tB1', 'formula\tS\tC9\tB1',
                       'formula\tS\tA4\tTODAY()', 'formula\tS\tA5\tNUMFMT(B1)')
        report = compare(expected, actual)
        self.assertEqual(report.differ['formula'], [
            'S!A1: expected SUM(B1:B2), got (none)', 'S!C9: expected (none), got B1'])
        self.assertEqual(report.compared['formula'], 4)  # A2, A3 and A6 cannot be compared
        self.assertEqual(report.differ['value'], [])
        self.assertEqual(report.compared['value'], 4)  # TODAY() and an unknown function left
        self.assertEqual(report.differ['constants'], [])

    def test_styles_fall_back_to_row_column_and_default(self):
        expected = facts('sheet\tS\t0\tvisible', 'font\tS\tdefault\tarial|10|||||000000',
                         'font\tS\tcol:B\tarial|10|b||||000000',
                         'font\tS\trow:3\tarial|12|||||000000',
                         'font\tS\tA1:C1\tarial|10||i|||000000',
                         'constants\tS\t2\t' + row_digest({1: 'n:1.0', 2: 'n:2.0'}))
        # The same look, spelt cell by cell; B2 should be bold (its column) and is not.
        actual = facts('sheet\tS\t0\tvisible', 'font\tS\tdefault\tarial|10|||||000000',
                       'font\tS\tA1:C1\tarial|10||i|||000000',
                       'font\tS\tB5\tarial|10|b||||000000', 'font\tS\tA3:B3\tarial|12|||||000000',
                       'font\tS\tcol:B\tarial|10|b||||000000',
                       'font\tS\trow:3\tarial|12|||||000000',
                       'cell\tS\tA2\tn:1.0', 'cell\tS\tB2\tn:2.0', 'cell\tS\tB3\tn:2.0')
        actual = {f for f in actual if f[2] != 'B2'}
        actual.add(('font', 'S', 'B2', 'arial|10|||||000000'))
        report = compare(expected, actual)
        self.assertEqual(report.differ['font'],
                         ['S!B2: expected arial|10|b||||000000, got arial|10|||||000000'])

    def test_widths_within_half_a_character(self):
        expected = facts('sheet\tS\t0\tvisible', 'width\tS\tA:B\t10', 'width\tS\tC:C\t20',
                         'hidden-row\tS\t3:4\t-')
        actual = facts('sheet\tS\t0\tvisible', 'width\tS\tA:A\t10.5', 'width\tS\tB:C\t19.4',
                       'hidden-row\tS\t4:5\t-')
        report = compare(expected, actual)
        self.assertEqual(report.differ['width'], ['S!B: expected 10, got 19.4',
                                                  'S!C: expected 20, got 19.4'])
        self.assertEqual(report.differ['hidden-row'], ['S!3: not hidden', 'S!5: hidden'])

    def test_exceptions_cover_only_their_file_and_pattern(self):
        report = Report()
        report.add('sheet', False, 'Chart1: missing')
        report.add('sheet', False, 'Data: named Sheet1')
        exceptions = [('a.xls', 'sheet', '*: missing', 'chart sheets'),
                      ('b.xls', 'sheet', '*', 'another file')]
        apply_exceptions(report, 'a.xls', exceptions)
        self.assertEqual(report.differ['sheet'], ['Data: named Sheet1'])
        self.assertEqual(report.compared['sheet'], 1)
        self.assertEqual(report.skipped, {('sheet', 'known: chart sheets'): 1})


@unittest.skipIf(openpyxl is None, '/usr/bin/python3 has no openpyxl')
class ReadingAWorkbook(unittest.TestCase):
    def make(self, folder, date1904=False):
        from openpyxl.styles import Border, Font, PatternFill, Side
        book = openpyxl.Workbook()
        if date1904:
            book.epoch = openpyxl.utils.datetime.CALENDAR_MAC_1904
        sheet = book.active
        sheet.title = 'My Data'
        sheet['A1'] = 'Title'
        sheet['A1'].font = Font(name='Arial', size=14, bold=True, color='FF0000')
        sheet['B1'] = 2.5
        sheet['B1'].fill = PatternFill('solid', fgColor='00FF00')
        sheet['C1'] = '=B1*2'
        sheet['A2'] = 45000
        sheet['A2'].number_format = 'yyyy-mm-dd'
        sheet['B2'] = 0.5
        sheet['B2'].number_format = 'h:mm'
        sheet['C2'].border = Border(left=Side('thin', color='0000FF'))
        sheet.merge_cells('A4:C5')
        sheet.column_dimensions['B'].width = 20
        sheet.column_dimensions['C'].hidden = True
        sheet.row_dimensions[3].hidden = True
        sheet.print_area = 'A1:C5'
        book.create_named_range('Rate', sheet, '$B$1')
        path = Path(folder) / 'book.xlsx'
        book.save(path)
        return path

    def test_facts(self):
        with TemporaryDirectory() as folder:
            found = workbook_facts(self.make(folder), every_value=True)
            write_facts(found, Path(folder) / 'facts.tsv.gz')
            self.assertEqual(read_facts(Path(folder) / 'facts.tsv.gz'), found)
        wanted = [
            ('sheet', 'My Data', '0', 'visible'),
            ('formula', 'My Data', 'C1', 'B1*2'),
            ('merge', 'My Data', 'A4:C5', '-'),
            ('hidden-col', 'My Data', 'C:C', '-'),
            ('hidden-row', 'My Data', '3:3', '-'),
            ('font', 'My Data', 'A1', 'arial|14|b||||FF0000'),
            ('fill', 'My Data', 'B1', 'solid 00FF00'),
            ('border', 'My Data', 'C2', 'l=thin:0000FF'),
            ('numfmt', 'My Data', 'A2', 'YYYY-MM-DD'),
            ('name', '', 'RATE', "MY DATA!$B$1"),
            ('name', 'My Data', '_XLNM.PRINT_AREA', "MY DATA!$A$1:$C$5"),
            ('cell', 'My Data', 'A2', 'n:45000.0'),
        ]
        for fact in wanted:
            with self.subTest(fact=fact):
                self.assertIn(fact, found)
        widths = {f[2]: f[3] for f in found if f[0] == 'width'}
        self.assertEqual(widths['B:B'], '20')
        self.assertEqual(len(widths), 3)  # A, B, C: up to the last column with a cell
        digest = {f[2]: f[3] for f in found if f[0] == 'constants'}
        self.assertEqual(digest['1'], row_digest({1: 's:Title', 2: 'n:2.5'}))

    def test_dates_of_a_1904_workbook_count_as_1900_dates(self):
        with TemporaryDirectory() as folder:
            found = workbook_facts(self.make(folder, date1904=True), every_value=True)
        cells = {f[2]: f[3] for f in found if f[0] == 'cell'}
        self.assertEqual(cells['A2'], 'n:46462.0')  # a date moves
        self.assertEqual(cells['B2'], 'n:0.5')  # a time of day does not
        self.assertEqual(cells['B1'], 'n:2.5')


CORPUS = Path(__file__).resolve().parents[1] / 'corpus'
FACTS = Path(__file__).resolve().parents[1] / 'data' / 'xls-oracle'


@unittest.skipIf(openpyxl is None, '/usr/bin/python3 has no openpyxl')
class CommittedFacts(unittest.TestCase):
    """The facts of LibreOffice's conversion of a corpus .xls against the .xlsx the same
    workbook was saved as by its own program: they must agree, or the comparison (or the
    oracle) would blame the merge for what is the checker's own difference."""

    # What LibreOffice itself makes of these files, explained.
    KNOWN = {
        'sheetjs__formula_stress_test.xls': {
            # ERROR.TYPE loses its error argument; HYPGEOMDIST becomes its newer name.
            'formula': ['Information!B2: *', 'Statistical!B34: *'],
            # LibreOffice computes these functions again when it opens the file.
            'value': ['*'],
            # The workbook's own palette gives the link colour 0000D4; the .xlsx says 0000FF.
            'font': ['Lookup!*: expected *0000D4, got *0000FF'],
        },
    }

    def test_twins_agree(self):
        twins = [p for p in sorted(CORPUS.glob('*.xls'))
                 if p.with_suffix('.xlsx').exists() and (FACTS / (p.name + '.tsv.gz')).exists()]
        self.assertGreaterEqual(len(twins), 8)
        for path in twins:
            with self.subTest(file=path.name):
                import warnings
                with warnings.catch_warnings():
                    warnings.simplefilter('ignore')
                    report = compare(read_facts(FACTS / (path.name + '.tsv.gz')),
                                     workbook_facts(path.with_suffix('.xlsx'), every_value=True))
                known = self.KNOWN.get(path.name, {})
                exceptions = [(path.name, c, p, 'known') for c, ps in known.items() for p in ps]
                apply_exceptions(report, path.name, exceptions)
                left = {c: d for c, d in report.differ.items() if d}
                self.assertEqual(left, {})
                self.assertGreater(sum(report.compared.values()), 0)


if __name__ == '__main__':
    unittest.main()
