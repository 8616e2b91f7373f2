"""The same merges with openpyxl in its streaming modes, as a user who picks it would write them.

usage: openpyxl_merge.py vertical|workbook OUTPUT INPUT...
"""
import sys

import openpyxl


def main():
    mode, output, inputs = sys.argv[1], sys.argv[2], sys.argv[3:]
    result = openpyxl.Workbook(write_only=True)
    if mode == "vertical":
        target = result.create_sheet("Sheet1")
        for index, path in enumerate(inputs):
            book = openpyxl.load_workbook(path, read_only=True)
            rows = book.worksheets[0].iter_rows(values_only=True)
            if index > 0:
                next(rows, None)
            for row in rows:
                target.append(row)
            book.close()
    else:
        taken = set()
        for path in inputs:
            book = openpyxl.load_workbook(path, read_only=True)
            for sheet in book.worksheets:
                name, n = sheet.title, 2
                while name in taken:
                    name, n = f"{sheet.title} ({n})", n + 1
                taken.add(name)
                target = result.create_sheet(name)
                for row in sheet.iter_rows(values_only=True):
                    target.append(row)
            book.close()
    result.save(output)


if __name__ == "__main__":
    main()
