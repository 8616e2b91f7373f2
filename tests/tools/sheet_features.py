#!/usr/bin/env python3
"""What each worksheet of an .xlsx carries beyond its cells, one fact a line.

    sheet_features.py FILE.xlsx

prints "sheet<TAB>feature<TAB>value" lines, sorted: conditional formats, validations, links,
notes, rich texts, pictures and charts, filters, panes, print setup, tab colour, outline and
protection. Read from the package's XML alone (zipfile and ElementTree), so that it judges our
writer and other programs' files alike without trusting a reader of ours. Two files whose sheets
carry the same features print the same lines for them.
"""
import posixpath
import sys
import zipfile
import xml.etree.ElementTree as ET

MAIN = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
REL = '{http://schemas.openxmlformats.org/officeDocument/2006/relationships}'
PKG_REL = '{http://schemas.openxmlformats.org/package/2006/relationships}'
XDR = '{http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing}'
CHART = '{http://schemas.openxmlformats.org/drawingml/2006/chart}'
X14 = '{http://schemas.microsoft.com/office/spreadsheetml/2009/9/main}'


# Attribute values a file may leave out, as they read when it does.
DEFAULTS = {
    'pageSetup': {'scale': '100', 'orientation': 'default', 'paperSize': '1', 'pageOrder':
                  'downThenOver', 'blackAndWhite': '0', 'draft': '0', 'cellComments': 'none',
                  'errors': 'displayed', 'useFirstPageNumber': '0', 'firstPageNumber': '1',
                  'fitToWidth': '1', 'fitToHeight': '1', 'horizontalDpi': '600',
                  'verticalDpi': '600', 'copies': '1', 'usePrinterDefaults': '1'},
    'printOptions': {'horizontalCentered': '0', 'verticalCentered': '0', 'headings': '0',
                     'gridLines': '0', 'gridLinesSet': '1'},
    'sheetView': {'zoomScale': '100', 'showGridLines': '1', 'rightToLeft': '0', 'showZeros': '1',
                  'showRowColHeaders': '1'},
    'outlinePr': {'summaryBelow': '1', 'summaryRight': '1', 'applyStyles': '0',
                  'showOutlineSymbols': '1'},
}


def attributes(element, kind):
    """The element's attributes that differ from their defaults, booleans as 0 or 1."""
    out = []
    for key, value in sorted(element.items()):
        if key.startswith(REL) or key.startswith('{'):
            continue
        value = {'true': '1', 'false': '0'}.get(value, value)
        if DEFAULTS.get(kind, {}).get(key) != value:
            out.append('%s=%s' % (key, value))
    return ' '.join(out)


def relationships(package, part):
    folder, name = posixpath.split(part)
    rels = posixpath.join(folder, '_rels', name + '.rels')
    if rels not in package.namelist():
        return {}
    out = {}
    for r in ET.fromstring(package.read(rels)):
        target = r.get('Target', '')
        if r.get('TargetMode') != 'External':
            target = posixpath.normpath(posixpath.join(folder, target)).lstrip('/')
            if target.startswith('/'):
                target = target[1:]
        out[r.get('Id')] = (r.get('Type', '').rsplit('/', 1)[-1], target)
    return out


def sheets(package):
    rels = relationships(package, 'xl/workbook.xml')
    book = ET.fromstring(package.read('xl/workbook.xml'))
    for sheet in book.iter(MAIN + 'sheet'):
        kind, part = rels.get(sheet.get(REL + 'id'), ('', ''))
        if kind == 'worksheet':
            yield sheet.get('name'), part


def rich_strings(package):
    if 'xl/sharedStrings.xml' not in package.namelist():
        return []
    table = ET.fromstring(package.read('xl/sharedStrings.xml'))
    return [si.find(MAIN + 'r') is not None for si in table.iter(MAIN + 'si')]


def anchor_facts(package, part):
    facts = []
    tree = ET.fromstring(package.read(part))
    rels = relationships(package, part)
    for anchor in tree:
        kind = anchor.tag.replace(XDR, '')
        start = anchor.find(XDR + 'from')
        where = ''
        if start is not None:
            where = '%s,%s' % (start.findtext(XDR + 'row'), start.findtext(XDR + 'col'))
        for child in anchor:
            tag = child.tag.replace(XDR, '')
            if tag in ('pic', 'sp', 'grpSp', 'cxnSp', 'graphicFrame'):
                what = tag
                if tag == 'graphicFrame':
                    for chart in child.iter(CHART + 'chart'):
                        target = rels.get(chart.get(REL + 'id'), ('', ''))[1]
                        series = ''
                        if target in package.namelist():
                            refs = [f.text for f in ET.fromstring(package.read(target)).iter(
                                CHART + 'f')]
                            series = ' ' + ';'.join(refs)
                        what = 'chart' + series
                facts.append(('drawing', '%s %s at %s' % (kind, what, where)))
    return facts


def sheet_facts(package, part, rich):
    tree = ET.fromstring(package.read(part))
    rels = relationships(package, part)
    facts = []
    for block in tree.iter(MAIN + 'conditionalFormatting'):
        for rule in block.iter(MAIN + 'cfRule'):
            facts.append(('conditional format', '%s %s' % (block.get('sqref'), rule.get('type'))))
    for block in tree.iter(X14 + 'conditionalFormatting'):
        facts.append(('conditional format (x14)', str(len(list(block.iter(X14 + 'cfRule'))))))
    for rule in tree.iter(MAIN + 'dataValidation'):
        facts.append(('validation', '%s %s' % (rule.get('sqref'), rule.get('type', 'none'))))
    for link in tree.iter(MAIN + 'hyperlink'):
        target = rels.get(link.get(REL + 'id'), ('', ''))[1] if link.get(REL + 'id') else ''
        facts.append(('hyperlink', '%s %s%s' % (link.get('ref'), target,
                                                '#' + link.get('location', ''))))
    for kind, target in rels.values():
        if kind == 'comments' and target in package.namelist():
            notes = ET.fromstring(package.read(target))
            for note in notes.iter(MAIN + 'comment'):
                facts.append(('note', note.get('ref')))
        elif kind == 'drawing' and target in package.namelist():
            facts.extend(anchor_facts(package, target))
        elif kind in ('pivotTable', 'control', 'oleObject'):
            facts.append(('not carried', kind))
    for cell in tree.iter(MAIN + 'c'):
        if cell.get('t') == 's':
            value = cell.findtext(MAIN + 'v')
            if value is not None and value.isdigit() and int(value) < len(rich) and rich[int(value)]:
                facts.append(('rich text', cell.get('r')))
        elif cell.get('t') == 'inlineStr' and cell.find(MAIN + 'is/' + MAIN + 'r') is not None:
            facts.append(('rich text', cell.get('r')))
    for autofilter in tree.iter(MAIN + 'autoFilter'):
        facts.append(('autofilter', '%s columns %d' % (
            autofilter.get('ref'), len(list(autofilter.iter(MAIN + 'filterColumn'))))))
    for view in tree.iter(MAIN + 'sheetView'):
        shown = [a for a in attributes(view, 'sheetView').split() if a.split('=')[0] in
                 DEFAULTS['sheetView']]
        if shown:
            facts.append(('view', ' '.join(shown)))
        for pane in view.iter(MAIN + 'pane'):
            facts.append(('pane', '%s %s %s %s' % (pane.get('state', 'split'), pane.get('xSplit'),
                                                 pane.get('ySplit'), pane.get('topLeftCell'))))
    for name in ('pageSetup', 'pageMargins', 'printOptions'):
        for element in tree.iter(MAIN + name):
            shown = attributes(element, name)
            # Margins a writer puts in by default say nothing of the source's.
            if shown and shown != 'bottom=0.75 footer=0.3 header=0.3 left=0.7 right=0.7 top=0.75':
                facts.append((name, shown))
    for footer in tree.iter(MAIN + 'headerFooter'):
        texts = ['%s:%s' % (child.tag.replace(MAIN, ''), child.text) for child in footer
                 if child.text]
        if texts:
            facts.append(('header/footer', '|'.join(texts)))
    for name in ('rowBreaks', 'colBreaks'):
        for element in tree.iter(MAIN + name):
            facts.append((name, ','.join(b.get('id') for b in element.iter(MAIN + 'brk'))))
    for colour in tree.iter(MAIN + 'tabColor'):
        facts.append(('tab colour', attributes(colour, 'tabColor')))
    for outline in tree.iter(MAIN + 'outlinePr'):
        if attributes(outline, 'outlinePr'):
            facts.append(('outline summary', attributes(outline, 'outlinePr')))
    for row in tree.iter(MAIN + 'row'):
        if row.get('outlineLevel') not in (None, '0'):
            facts.append(('outline row', '%s level %s' % (row.get('r'), row.get('outlineLevel'))))
    for column in tree.iter(MAIN + 'col'):
        if column.get('outlineLevel') not in (None, '0'):
            facts.append(('outline columns', '%s-%s level %s' % (
                column.get('min'), column.get('max'), column.get('outlineLevel'))))
    for protection in tree.iter(MAIN + 'sheetProtection'):
        facts.append(('protection', attributes(protection, 'sheetProtection')))
    return facts


def main():
    with zipfile.ZipFile(sys.argv[1]) as package:
        rich = rich_strings(package)
        lines = []
        for name, part in sheets(package):
            if part not in package.namelist():
                continue
            for feature, value in sheet_facts(package, part, rich):
                lines.append('%s\t%s\t%s' % (name, feature, value))
        for line in sorted(lines):
            print(line)


if __name__ == '__main__':
    main()
