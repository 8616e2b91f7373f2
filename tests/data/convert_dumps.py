#!/usr/bin/env python3
"""One-off: brings every golden dump to the one layout tests/data/<format>/<case>/ (input.<ext>
beside cells.txt) and the one line format <sheet>!<cell> TAB type TAB value [TAB date]."""
import glob
import os
import shutil

TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(TESTS, "data")
CORPUS = os.path.join(TESTS, "corpus")


def escape(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r")
            .replace("\n", "\\n"))


def corpus_file(name, extensions):
    found = [f for f in os.listdir(CORPUS)
             if os.path.splitext(f)[0] == name and os.path.splitext(f)[1].lower() in extensions]
    assert len(found) == 1, (name, found)
    return found[0]


def copy_input(name, folder, extensions):
    source = corpus_file(name, extensions)
    shutil.copyfile(os.path.join(CORPUS, source),
                    os.path.join(folder, "input" + os.path.splitext(source)[1]))


def convert_xlsx():
    # sheet TAB cell TAB type TAB value, types n s b e f: the sheet name joins the cell, s is t.
    for dump in sorted(glob.glob(os.path.join(DATA, "xlsx", "*", "cells.txt"))):
        folder = os.path.dirname(dump)
        lines = []
        with open(dump, encoding="utf-8", newline="\n") as f:
            for line in f.read().split("\n"):
                if not line:
                    continue
                sheet, cell, kind, value = line.split("\t", 3)
                kind = "t" if kind == "s" else kind
                lines.append(f"{escape(sheet)}!{cell}\t{kind}\t{value}")
        with open(dump, "w", encoding="utf-8", newline="\n") as f:
            f.write("".join(line + "\n" for line in lines))
        copy_input(os.path.basename(folder), folder, (".xlsx", ".xlsm"))


def fold_sheet_list(folder):
    # sheets.txt (name TAB visibility) becomes the sheet lines at the top of cells.txt.
    listing = os.path.join(folder, "sheets.txt")
    if not os.path.exists(listing):
        return
    words = {"visible": "visible", "hidden": "hidden", "very hidden": "veryHidden"}
    with open(listing, encoding="utf-8") as f:
        sheets = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    dump = os.path.join(folder, "cells.txt")
    with open(dump, encoding="utf-8", newline="\n") as f:
        cells = f.read()
    with open(dump, "w", encoding="utf-8", newline="\n") as f:
        f.write("".join(f"{escape(name)}\tsheet\t{words[state]}\n" for name, state in sheets))
        f.write(cells)
    os.remove(listing)


def move_formats_xls():
    # tests/engine/formats/data/xls/<corpus name>.cells.txt, already in the line format.
    old = os.path.join(TESTS, "engine", "formats", "data", "xls")
    for dump in sorted(glob.glob(os.path.join(old, "*.cells.txt"))):
        name = os.path.basename(dump)[:-len(".cells.txt")]
        folder = os.path.join(DATA, "xls", name)
        os.makedirs(folder)
        shutil.move(dump, os.path.join(folder, "cells.txt"))
        copy_input(name, folder, (".xls",))
    os.rmdir(old)
    os.rmdir(os.path.dirname(old))


if __name__ == "__main__":
    convert_xlsx()
    fold_sheet_list(os.path.join(DATA, "xls", "typed_cells"))
    move_formats_xls()
