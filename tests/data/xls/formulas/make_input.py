#!/usr/bin/python3
"""Writes input.xls of this case: a workbook of formulas written with openpyxl as .xlsx, then
saved as .xls by LibreOffice (which writes shared formulas, array formulas, 3-D references,
names and add-in functions in its own way). cells.txt is then written by ../dump_cells.py.

Usage: make_input.py   (needs openpyxl and soffice, from Debian's python3-openpyxl and
libreoffice-calc-nogui)
"""

import os
import subprocess
import sys
import tempfile

import openpyxl
from openpyxl.workbook.defined_name import DefinedName

HERE = os.path.dirname(os.path.abspath(__file__))


def build(path):
    book = openpyxl.Workbook()
    data = book.active
    data.title = "Data"
    for row in range(1, 6):
        data.cell(row, 1, row)
        data.cell(row, 2, row * 10)
        data.cell(row, 3, f"t{row}")
    other = book.create_sheet("My Sheet")
    other["A1"] = 7
    other["B2"] = 'say "hi"'
    third = book.create_sheet("Third")
    third["A1"] = 3
    calc = book.create_sheet("Calc")
    formulas = {
        "A1": "=Data!A1+Data!B1*2",
        "A2": "=(Data!A1+Data!B1)*2",
        "A3": "=-Data!A2^2",
        "A4": "=Data!A3%",
        "A5": "=SUM(Data!A1:A5)",
        "A6": "=SUM(Data!$A$1:$A$5)/COUNT(Data!A:A)",
        "A7": "='My Sheet'!A1*2",
        "A8": "=SUM(Data:Third!A1)",
        "A9": "=IF(Data!A1>2,\"big\",\"small\")",
        "A10": "=CHOOSE(2,\"a\",\"b\",\"c\")",
        "A11": "=ROUND(PI(),3)",
        "A12": "=CONCATENATE('My Sheet'!B2,\"!\")",
        "A13": "=SUMPRODUCT({1,2,3},{4,5,6})",
        "A14": "=INDEX({1,2;3,4},2,1)",
        "A15": "=IF(TRUE,1/0,0)",
        "A16": "=ISERROR(1/0)",
        "A17": "=Total*2",
        "A18": "=SUM(Data!A1:A2 Data!A2:A3)",
        "A19": "=VLOOKUP(3,Data!A1:C5,3,FALSE)",
        "A20": "=EDATE(DATE(2024,1,31),1)",
        "A21": "=IFERROR(1/0,\"none\")",
        "A26": "=COUNTIFS(Data!A1:A5,\">2\")",
        "A22": "=1000000*0.0025",
        "A23": "=Data!$B2&Data!B$3",
        "A24": "=MAX(Data!A1:A5)-MIN(Data!A1:A5)",
        "A25": "=Rate*Data!A1",
    }
    for where, text in formulas.items():
        calc[where] = text
    for row in range(1, 6):  # a formula filled down: LibreOffice shares it
        calc.cell(row, 3, f"=Data!A{row}*Data!B{row}+1")
    calc["E1"] = "=Data!A1:A3*2"
    calc.formula_attributes["E1"] = {"t": "array", "ref": "E1:E3"}
    book.defined_names.append(DefinedName("Total", attr_text="SUM(Data!$A$1:$A$5)"))
    rate = DefinedName("Rate", attr_text="Calc!$A$11", localSheetId=3)
    book.defined_names.append(rate)
    calc.print_area = "A1:C25"
    book.save(path)


def main():
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "input.xlsx")
        build(source)
        subprocess.run(["soffice", f"-env:UserInstallation=file://{folder}/profile", "--headless",
                        "--convert-to", "xls", "--outdir", HERE, source],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return 0


if __name__ == "__main__":
    sys.exit(main())
