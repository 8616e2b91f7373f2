#!/usr/bin/env python3
"""Whether LibreOffice shows a fitted merge result whole.

Writes two small reports with openpyxl (bold Cambria headers, dates, amounts in dollars, a
total, texts in Calibri, Arial, Times New Roman, Courier New and DejaVu Sans), merges them
with plyfold-merge (columns fitted, the default), has LibreOffice print the result to PDF and
reads the PDF back with pdftotext, which leaves out what the printout clips. A number too
narrow for its column prints as ###, a text cut at its cell prints short: every value must
print whole.

    fitted_render_check.py --merge PROGRAM --out DIR

Exits 77 when soffice, pdftotext or openpyxl is missing (a skip for ctest).
"""

import argparse
import datetime
import os
import shutil
import subprocess
import sys

FAMILIES = ["Calibri", "Arial", "Times New Roman", "Courier New", "DejaVu Sans"]
HEADERS = ["Settlement date", "Counterparty", "Amount", "Reference", "Total",
           "Settlement reference number"]


def write_source(path, first_row):
    import openpyxl
    from openpyxl.styles import Font

    book = openpyxl.Workbook()
    sheet = book.active
    for column, text in enumerate(HEADERS, 1):
        cell = sheet.cell(row=1, column=column, value=text)
        cell.font = Font(name="Cambria", size=11, bold=True)
    amounts = [4029213.5, 88.1, 1250000, 77777777.77, 512.25]
    shown = list(HEADERS)
    for i, amount in enumerate(amounts):
        row = i + 2
        date = datetime.date(2020, 5, 1) + datetime.timedelta(days=31 * (i + first_row))
        sheet.cell(row=row, column=1, value=date).number_format = "mm/dd/yyyy"
        family = FAMILIES[(i + first_row) % len(FAMILIES)]
        # The widest name of the column is the one in the family autofit knows no table for.
        suffix = " Worldwide" if family == "DejaVu Sans" else ""
        party = sheet.cell(row=row, column=2, value=f"Holdings {family}{suffix} Ltd")
        party.font = Font(name=family, size=11)
        value = round(amount * (first_row + 1), 2)
        sheet.cell(row=row, column=3, value=value).number_format = '"$"#,##0.00'
        sheet.cell(row=row, column=4, value=f"RE-{row * 7919:06d}")
        sheet.cell(row=row, column=6, value=row)  # a column as wide as its header
        shown += [date.strftime("%m/%d/%Y"), party.value, f"${value:,.2f}", f"RE-{row * 7919:06d}",
                  str(row)]
    total = round(sum(amounts) * (first_row + 1), 2)
    sheet.cell(row=len(amounts) + 2, column=5, value=total).number_format = '"$"#,##0.00'
    shown.append(f"${total:,.2f}")
    book.save(path)
    return shown


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--merge", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    try:
        import openpyxl  # noqa: F401
    except ImportError:
        print("skipped: openpyxl is not installed")
        return 77
    soffice = shutil.which("soffice")
    pdftotext = shutil.which("pdftotext")
    if not soffice or not pdftotext:
        print("skipped: soffice or pdftotext is not installed")
        return 77

    os.makedirs(args.out, exist_ok=True)
    sources = [os.path.join(args.out, name) for name in ("north.xlsx", "south.xlsx")]
    expected = []
    for i, path in enumerate(sources):
        expected += write_source(path, i * 5)
    result = os.path.join(args.out, "fitted.xlsx")
    subprocess.run([args.merge, *sources, "-o", result], check=True)
    profile = "file://" + os.path.abspath(os.path.join(args.out, "profile"))
    subprocess.run([soffice, f"-env:UserInstallation={profile}", "--headless", "--convert-to",
                    "pdf", "--outdir", args.out, result], check=True,
                   stdout=subprocess.DEVNULL, timeout=300)
    pdf = os.path.join(args.out, "fitted.pdf")
    plain = subprocess.run([pdftotext, "-layout", pdf, "-"], check=True,
                           capture_output=True, text=True).stdout

    failures = []
    hashes = plain.count("###")
    if hashes:
        failures.append(f"{hashes} cells print as ###")
    cut = [text for text in expected if text not in plain]
    failures += [f"'{text}' does not print whole" for text in cut]
    print(f"{len(expected)} values, {len(expected) - len(cut)} printed whole, {hashes} ###")
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
