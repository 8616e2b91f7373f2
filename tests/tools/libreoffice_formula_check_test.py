#!/usr/bin/python3
"""The parts of the LibreOffice formula check that decide what a difference is: which number
formats show calendar dates, and where each source cell lands in a one-sheet result."""

import sys
import unittest
import zipfile
from pathlib import Path
from tempfile import TemporaryDirectory

sys.path.insert(0, str(Path(__file__).resolve().parent))
from libreoffice_formula_check import (Book, Cell, Figures, Sheet,  # noqa: E402
                                       check_links, equal_values, matched_placement,
                                       one_sheet_placement,
                                       reads_external_name, read_book, sheet_references,
                                       shows_calendar_date)


class CalendarFormats(unittest.TestCase):
    def test_formats(self):
        cases = [
            ('yyyy-mm-dd', True), ('d mmm yyyy', True), ('mmm-yy', True), ('m/d/yy h:mm', True),
            ('dd/mm/yyyy hh:mm', True), ('[$-409]mmmm d, yyyy', True), ('mm-dd-yy', True),
            ('h:mm', False), ('h:mm AM/PM', False), ('[h]:mm', False), ('[h]:mm:ss', False),
            ('[mm]:ss', False), ('mm:ss', False), ('hh:mm:ss.000', False), ('mmss.0', False),
            ('General', False), ('0.00', False), ('[Red]0.00', False), ('"day" 0', False),
            ('0 "days"', False), ('#,##0;[Red]-#,##0', False), ('@', False),
            ('yyyy\\-mm\\-dd\\ h:mm', True), ('[$-F400]h:mm:ss AM/PM', False),
        ]
        for code, expected in cases:
            with self.subTest(code=code):
                self.assertEqual(shows_calendar_date(code), expected)


class Placement(unittest.TestCase):
    def places(self, mode, gap, skip, ranges, cells):
        placements = one_sheet_placement(mode, gap, skip, ranges)
        return [placements[block](*cell) if placements[block] else 'empty'
                for block, cell in cells]

    def test_blocks(self):
        a1c3 = (1, 1, 3, 3)
        cases = [
            # Gap 1, first row dropped: the second block's rows 2 and 3 land in rows 5 and 6.
            ('vertical', 1, True, [a1c3, a1c3], [(0, (3, 3)), (1, (1, 1)), (1, (2, 1)),
                                                 (1, (3, 3))],
             [(3, 3), None, (5, 1), (6, 3)]),
            ('horizontal', 1, True, [a1c3, a1c3], [(1, (1, 1)), (1, (1, 2)), (1, (3, 3))],
             [None, (1, 5), (3, 6)]),
            # Gap 0 without dropping: directly under (beside) the previous block.
            ('vertical', 0, False, [a1c3, a1c3], [(1, (1, 1)), (1, (3, 3))], [(4, 1), (6, 3)]),
            ('horizontal', 0, False, [a1c3, a1c3], [(1, (1, 1))], [(1, 4)]),
            ('vertical', 3, False, [a1c3, a1c3], [(1, (1, 1))], [(7, 1)]),
            # A block whose used range starts at C5 lands in column A (row 1).
            ('vertical', 0, False, [(5, 3, 6, 4)], [(0, (5, 3)), (0, (6, 4))], [(1, 1), (2, 2)]),
            ('horizontal', 0, False, [a1c3, (5, 3, 6, 4)], [(1, (5, 3))], [(1, 4)]),
            # A one-row block whose row is dropped leaves the used range where it was: the
            # next block starts one gap below the earlier blocks (row 3), its first row dropped.
            ('vertical', 1, True, [(1, 1, 1, 2), (1, 1, 1, 2), a1c3],
             [(0, (1, 1)), (1, (1, 1)), (2, (2, 1))], [(1, 1), None, (3, 1)]),
            # An empty sheet is no block: it takes no gap, and first it is not the block whose
            # first row is kept.
            ('vertical', 2, False, [a1c3, None, a1c3], [(1, (1, 1)), (2, (1, 1))],
             ['empty', (6, 1)]),
            ('vertical', 1, True, [None, a1c3, a1c3], [(1, (1, 1)), (2, (1, 1)), (2, (2, 2))],
             [(1, 1), None, (5, 2)]),
        ]
        for mode, gap, skip, ranges, cells, expected in cases:
            with self.subTest(mode=mode, gap=gap, skip=skip, ranges=ranges):
                self.assertEqual(self.places(mode, gap, skip, ranges, cells), expected)

    def test_header_row_and_source_column(self):
        a1c3 = (1, 1, 3, 3)
        cases = [
            # Header row 2: row 1 is a title; the second block's header row 2 is dropped.
            ('vertical', 0, True, 2, False, [a1c3, a1c3],
             [(0, (1, 1)), (0, (2, 1)), (0, (3, 3)), (1, (1, 2)), (1, (2, 2)), (1, (3, 2))],
             [None, (1, 1), (2, 3), None, None, (3, 2)]),
            # A source column moves every block one column right (horizontal: one row down).
            ('vertical', 1, False, 1, True, [a1c3, a1c3], [(0, (1, 1)), (1, (3, 3))],
             [(1, 2), (7, 4)]),
            ('horizontal', 0, False, 2, True, [a1c3, (2, 2, 4, 3)],
             [(0, (1, 2)), (0, (2, 2)), (1, (3, 2)), (1, (4, 3))],
             [None, (2, 2), (2, 4), (3, 5)]),
            # Nothing below the titles: no block.
            ('vertical', 0, True, 3, False, [(1, 1, 2, 2), a1c3], [(1, (3, 1))], [(1, 1)]),
        ]
        for mode, gap, skip, header_row, source, ranges, cells, expected in cases:
            with self.subTest(mode=mode, header_row=header_row, source=source, ranges=ranges):
                placements = one_sheet_placement(mode, gap, skip, ranges, header_row, source)
                self.assertEqual([placements[block](*cell) if placements[block] else 'empty'
                                  for block, cell in cells], expected)

    def test_matched(self):
        # The result's header row: Source, Date, Units, Price, Units (a repeat), Region.
        result = {1: 'Source', 2: 'Date', 3: 'Units', 4: 'Price', 5: 'Units', 6: 'Region'}
        # Under header row 2 of each block: data rows, none for the last block; a header the
        # result lacks leaves its column out.
        ranges = [(1, 1, 3, 4), None, (2, 2, 4, 5), (1, 1, 3, 2), (1, 1, 2, 1)]
        headers = [{1: 'Date', 2: 'Units', 3: 'Price', 4: 'Units'}, {},
                   {2: ' region', 3: 'UNITS', 4: 'date', 5: 'units'}, {1: 'Date', 2: 'Gone'},
                   {1: 'Date'}]
        placements, filled, missing = matched_placement(1, True, ranges, 2, headers, result)
        cells = [(0, (1, 1)), (0, (2, 1)), (0, (2, 4)), (0, (3, 2)), (2, (3, 2)), (2, (4, 2)),
                 (2, (4, 3)), (2, (4, 4)), (2, (4, 5)), (3, (3, 1)), (3, (3, 2))]
        self.assertEqual([placements[block](*cell) if placements[block] else 'none'
                          for block, cell in cells],
                         [None, (1, 2), (1, 5), (2, 3), None, (4, 6), (4, 3), (4, 2), (4, 5),
                          (6, 2), None])
        self.assertEqual(placements[1], None)  # an empty sheet
        self.assertEqual(placements[4], None)  # a header row alone
        self.assertEqual(filled, [(1, 2, 0), (4, 4, 2), (6, 6, 3)])
        self.assertEqual(missing, [(3, 2, 'Gone')])


class Values(unittest.TestCase):
    def test_equal(self):
        number = lambda v: Cell('n', v, None, 'General')  # noqa: E731
        cases = [
            (number(0.1 + 0.2), number(0.3), 0, True),
            (number(43831), number(45293), 1462, True),
            (number(43831), number(45293), 0, False),
            (Cell('s', '', None, ''), Cell('', None, None, ''), 0, True),
            (Cell('e', '#REF!', None, ''), Cell('e', '#REF!', None, ''), 0, True),
            (Cell('e', '#REF!', None, ''), Cell('e', '#NAME?', None, ''), 0, False),
            (number(1), Cell('b', True, None, ''), 0, False),
            (Cell('s', '1', None, ''), number(1), 0, False),
        ]
        for source, result, shift, expected in cases:
            with self.subTest(source=source, result=result):
                self.assertEqual(equal_values(source, result, shift), expected)


class SheetReferences(unittest.TestCase):
    def test_names(self):
        cases = [
            ('Settings!$A$1', [(None, 'Settings')]),
            ("'Month Notes'!A1", [(None, 'Month Notes')]),
            ('[1]Sales!B:B', [('1', 'Sales')]),
            ("'[2]Sales 2024'!A1", [('2', 'Sales 2024')]),
            ("SUM('It''s'!A1,Année!B2)", [(None, "It's"), (None, 'Année')]),
            ('"Sales!A1"&Other!B2', [(None, 'Other')]),
            ('A1+Rate*B2', []),
        ]
        for formula, expected in cases:
            with self.subTest(formula=formula):
                self.assertEqual(sheet_references(formula), expected)

    def test_external_names(self):
        cases = [
            ('SUM([1]Sales!Units)', True), ('[1]!Rate*2', True), ("SUM('[2]Month Notes'!Qty)", True),
            ('SUM([1]Sales!B:B)', False), ('[1]Sales!$B$2*2', False), ('SUM([1]Sales!A1:B3)', False),
            ("'[2]Month Notes'!A1", False), ('SUM([1]Sales!$C:$C)', False), ('Rate*2', False),
            ('SUM(Sales!Units)', False), ('"[1]!Rate"&A1', False),
        ]
        for formula, expected in cases:
            with self.subTest(formula=formula):
                self.assertEqual(reads_external_name(formula), expected)

    def test_copies_read_their_own_workbook(self):
        def sheet(name, *links):
            return Sheet(name, 'visible', links=[('validation', f) for f in links])

        entries = [('jan', 'Summary'), ('feb', 'Summary'), ('jan', 'Settings')]
        result = Book(False, [sheet('Summary', 'Settings!A1'),
                              sheet('Summary (2)', 'Settings!A1', '[1]Settings!A1', '#REF!',
                                    'Nope!A1'),
                              sheet('Settings')],
                      [('Local', 1, "'Summary (2)'!$A$1"), ('Other', 1, 'Summary!$A$1')])
        originals = {'jan': Book(False, [sheet('Summary', 'Settings!A1')]),
                     'feb': Book(False, [sheet('Summary', 'Settings!A1', 'Settings!A2')])}
        figures = Figures()
        check_links('case', entries, originals, result, figures)
        self.assertEqual(figures.categories, {
            'validation reading another source\'s sheet': 1, 'validation reading #REF!': 1,
            'validation reading a missing sheet': 1, 'name reading another source\'s sheet': 1})
        self.assertEqual(figures.links_wrong, 4)
        # Dropping is counted per kind: four validations kept where the source had two.
        originals['feb'].sheets[0].links *= 3
        figures = Figures()
        check_links('case', entries, originals, result, figures)
        self.assertEqual(figures.categories.get('validation dropped'), 2)


class Reading(unittest.TestCase):
    def test_errors_text_and_serials_stay_apart(self):
        sheet = ('<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
                 '<sheetFormatPr defaultColWidth="10"/><cols><col min="2" max="3" width="20"/>'
                 '</cols><sheetData><row r="1">'
                 '<c r="A1" t="e"><f>1/0</f><v>#DIV/0!</v></c>'
                 '<c r="B1" t="str"><f>"#DIV/0!"</f><v>#DIV/0!</v></c>'
                 '<c r="C1" s="1"><v>45292.5</v></c><c r="D1" t="s"><v>0</v></c>'
                 '<c r="E1"><f t="shared" si="0"/><v>2</v></c></row></sheetData></worksheet>')
        parts = {
            '_rels/.rels': '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/'
                           'relationships"><Relationship Id="r" Type="http://schemas.openxmlforma'
                           'ts.org/officeDocument/2006/relationships/officeDocument" Target="xl/w'
                           'orkbook.xml"/></Relationships>',
            'xl/workbook.xml': '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/'
                               '2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocume'
                               'nt/2006/relationships"><workbookPr date1904="1"/><sheets><sheet '
                               'name="S" sheetId="1" state="veryHidden" r:id="s"/></sheets>'
                               '<definedNames><definedName name="N" localSheetId="0">S!$A$1'
                               '</definedName></definedNames></workbook>',
            'xl/_rels/workbook.xml.rels': '<Relationships xmlns="http://schemas.openxmlformats.org'
                                          '/package/2006/relationships"><Relationship Id="s" Type'
                                          '="http://schemas.openxmlformats.org/officeDocument/200'
                                          '6/relationships/worksheet" Target="worksheets/s.xml"/>'
                                          '<Relationship Id="t" Type="http://schemas.openxmlforma'
                                          'ts.org/officeDocument/2006/relationships/sharedStrings'
                                          '" Target="/xl/strings.xml"/><Relationship Id="y" Type='
                                          '"http://schemas.openxmlformats.org/officeDocument/2006'
                                          '/relationships/styles" Target="styles.xml"/>'
                                          '</Relationships>',
            'xl/worksheets/s.xml': sheet,
            'xl/strings.xml': '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/'
                              'main"><si><r><t>a</t></r><r><t>b</t></r><rPh><t>x</t></rPh></si>'
                              '</sst>',
            'xl/styles.xml': '<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/'
                             '2006/main"><numFmts><numFmt numFmtId="164" formatCode="[h]:mm"/>'
                             '</numFmts><fonts><font><sz val="10"/><name val="Arial"/></font>'
                             '</fonts><cellXfs><xf numFmtId="0"/><xf numFmtId="164"/></cellXfs>'
                             '</styleSheet>',
        }
        with TemporaryDirectory() as folder:
            path = Path(folder) / 'book.xlsx'
            with zipfile.ZipFile(path, 'w') as package:
                for name, text in parts.items():
                    package.writestr(name, text)
            book = read_book(path)
        self.assertTrue(book.date1904)
        self.assertEqual(book.names, [('N', 0, 'S!$A$1')])
        sheet = book.sheets[0]
        self.assertEqual(sheet.state, 'veryHidden')
        cells = sheet.cells
        self.assertEqual((cells[(1, 1)].kind, cells[(1, 1)].value), ('e', '#DIV/0!'))
        self.assertEqual((cells[(1, 2)].kind, cells[(1, 2)].value), ('s', '#DIV/0!'))
        self.assertEqual((cells[(1, 3)].value, cells[(1, 3)].number_format), (45292.5, '[h]:mm'))
        self.assertEqual(cells[(1, 3)].font[:2], ('Arial', 10.0))
        self.assertEqual(cells[(1, 4)].value, 'ab')
        self.assertEqual(cells[(1, 5)].formula, '')
        self.assertIsNone(cells[(1, 4)].formula)
        self.assertEqual((sheet.width(1), sheet.width(3), sheet.width(4)), (10.0, 20.0, 10.0))


if __name__ == '__main__':
    unittest.main()
