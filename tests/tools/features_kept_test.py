#!/usr/bin/env python3
"""Real workbooks copied whole keep what their sheets carry.

    features_kept_test.py PLYFOLD_MERGE CORPUS_FOLDER OUT_FOLDER FILE...

Merges each FILE of the corpus alone with --mode workbook and compares, sheet by sheet, what
sheet_features.py finds in the source and in the result. What cannot be carried (pivot tables,
controls, OLE objects) must be missing from the result and named on standard error instead.
Prints every difference; exits 1 when there is one.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sheet_features  # noqa: E402
import zipfile  # noqa: E402


def census(path):
    with zipfile.ZipFile(path) as package:
        rich = sheet_features.rich_strings(package)
        out = {}
        for name, part in sheet_features.sheets(package):
            if part in package.namelist():
                out[name] = sorted(sheet_features.sheet_facts(package, part, rich))
        return out


def check(merge, source, result):
    run = subprocess.run([merge, '--mode', 'workbook', '--no-autofit', source, '-o', result],
                         capture_output=True, text=True, timeout=120)
    name = os.path.basename(source)
    if run.returncode != 0:
        return ['%s: merge failed (%d): %s' % (name, run.returncode, run.stderr.strip())]
    problems = []
    before, after = census(source), census(result)
    for sheet, facts in before.items():
        kept = [f for f in facts if f[0] != 'not carried']
        if after.get(sheet) != kept:
            lost = [f for f in kept if f not in after.get(sheet, [])]
            added = [f for f in after.get(sheet, []) if f not in kept]
            problems.append('%s, sheet %s: lost %s; added %s' % (name, sheet, lost, added))
        for feature, kind in facts:
            if feature == 'not carried' and sheet not in run.stderr:
                problems.append('%s, sheet %s: the %s left out is not reported' %
                                (name, sheet, kind))
    return problems


def main():
    merge, corpus, out = sys.argv[1:4]
    os.makedirs(out, exist_ok=True)
    problems = []
    for file in sys.argv[4:]:
        result = os.path.join(out, os.path.splitext(file)[0] + '-copied.xlsx')
        problems += check(merge, os.path.join(corpus, file), result)
    for problem in problems:
        print(problem)
    print('%d of %d workbooks keep what their sheets carry' %
          (len(sys.argv[4:]) - len({p.split(':')[0].split(',')[0] for p in problems}),
           len(sys.argv[4:])))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
