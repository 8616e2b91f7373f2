#!/usr/bin/python3
"""Makes the workbooks of hyperlinks, notes and rich text that the merge tests read.

Each feature sits at an offset from A1 on sheet "Data" (a header row above it) and, where it
can, refers to the sheet "Other Sheet". openpyxl 3.0.9 writes no text runs, so the runs of the
rich text cells and of one note are put into the parts it wrote, by rewriting those parts.

    /usr/bin/python3 tests/data/xlsx-features/make_notes.py tests/data/xlsx-features
"""
import os
import re
import sys
import zipfile

from openpyxl import Workbook
from openpyxl.comments import Comment
from openpyxl.worksheet.hyperlink import Hyperlink

RUN_BOLD_RED = ('<r><rPr><b/><sz val="11"/><color rgb="FFFF0000"/><rFont val="Calibri"/>'
                '<family val="2"/></rPr><t xml:space="preserve">{}</t></r>')
RUN_ITALIC = ('<r><rPr><i/><sz val="14"/><color theme="4"/><rFont val="Arial"/>'
              '<family val="2"/></rPr><t>{}</t></r>')
RUN_PLAIN = '<r><t xml:space="preserve">{}</t></r>'


def base(title_cell="A1"):
    book = Workbook()
    data = book.active
    data.title = "Data"
    other = book.create_sheet("Other Sheet")
    data["A1"] = "Header"
    data["B1"] = "More"
    for row in range(2, 8):
        data.cell(row=row, column=1, value=row * 10)
    for row in range(1, 6):
        other.cell(row=row, column=1, value="other %d" % row)
        other.cell(row=row, column=2, value=row)
    return book, data, other


def rewrite(path, changes, added=None):
    """Rewrites parts of the package: changes maps a part name to a function of its text;
    added maps the names of new parts to their texts."""
    with zipfile.ZipFile(path) as source:
        items = [(info, source.read(info.filename)) for info in source.infolist()]
    with zipfile.ZipFile(path + ".tmp", "w", zipfile.ZIP_DEFLATED) as target:
        for info, data in items:
            if info.filename in changes:
                data = changes[info.filename](data.decode("utf-8")).encode("utf-8")
            target.writestr(info, data)
        for name, text in (added or {}).items():
            target.writestr(name, text.encode("utf-8"))
    os.replace(path + ".tmp", path)


def make_hyperlinks(folder):
    book, data, other = base()
    data["C3"] = "web"
    data["C3"].hyperlink = "https://example.com/report?a=1&b=2"
    data["C3"].hyperlink.tooltip = "The report"
    data["C4"] = "mail"
    data["C4"].hyperlink = "mailto:someone@example.com?subject=Hi"
    data["C5"] = "file"
    data["C5"].hyperlink = "other.xlsx"
    data["C6"] = "to other sheet"
    data["C6"].hyperlink = Hyperlink(ref="C6", location="'Other Sheet'!B2",
                                     display="to other sheet")
    data["C7"] = "to own sheet"
    data["C7"].hyperlink = Hyperlink(ref="C7", location="Data!A5", display="to own sheet")
    path = os.path.join(folder, "notes_hyperlinks.xlsx")
    book.save(path)


def make_comments(folder):
    book, data, other = base()
    data["B3"] = "noted"
    data["B3"].comment = Comment("First note\nsecond line", "Ann")
    data["D5"] = 5
    data["D5"].comment = Comment("Rich note", "Bob")
    other["C2"].comment = Comment("On the other sheet", "Ann")
    path = os.path.join(folder, "notes_comments.xlsx")
    book.save(path)
    rich = ("<text>" + RUN_BOLD_RED.format("Bob: ") + RUN_PLAIN.format("rich ") +
            RUN_ITALIC.format("note") + "</text>")

    def comments(text):
        return re.sub(r"<text><t>Rich note</t></text>", rich, text)

    with zipfile.ZipFile(path) as package:
        parts = [n for n in package.namelist() if re.match(r"xl/comments/comment\d+\.xml$", n) or
                 re.match(r"xl/comments\d+\.xml$", n)]
    rewrite(path, {part: comments for part in parts})


THREADED_FALLBACK = (
    "[Threaded comment]\n\nYour version of Excel allows you to read this threaded comment; "
    "however, any edits to it will get removed if the file is opened in a newer version of "
    "Excel. Learn more: https://go.microsoft.com/fwlink/?linkid=870924\n\nComment:\n"
    "    Looks right")
THREAD_ID = "{6C2F2C1E-0A3B-4C4B-9E0D-2B1D6E3A7F10}"
PERSON_ID = "{0B5A8F2E-77C1-4D0F-8A44-3E2C1B9D5A66}"


def make_threaded(folder):
    """A threaded comment as a newer desktop spreadsheet saves it: the thread in parts of its
    own, and the note that older programs show in the comments part."""
    book, data, other = base()
    data["C4"] = "discussed"
    data["C4"].comment = Comment(THREADED_FALLBACK, "tc=" + THREAD_ID)
    path = os.path.join(folder, "notes_threaded.xlsx")
    book.save(path)
    thread = ('<ThreadedComments xmlns="http://schemas.microsoft.com/office/spreadsheetml/2018/'
              'threadedcomments"><threadedComment ref="C4" dT="2024-01-02T10:00:00.00" '
              'personId="' + PERSON_ID + '" id="' + THREAD_ID + '"><text>Looks right</text>'
              '</threadedComment></ThreadedComments>')
    persons = ('<personList xmlns="http://schemas.microsoft.com/office/spreadsheetml/2018/'
               'threadedcomments"><person displayName="Ann" id="' + PERSON_ID + '" '
               'userId="Ann" providerId="None"/></personList>')

    def sheet_relationships(text):
        return text.replace("</Relationships>", '<Relationship Id="rIdT" Type="http://schemas.'
                            'microsoft.com/office/2017/10/relationships/threadedComment" '
                            'Target="../threadedComments/threadedComment1.xml"/></Relationships>')

    def book_relationships(text):
        return text.replace("</Relationships>", '<Relationship Id="rIdP" Type="http://schemas.'
                            'microsoft.com/office/2017/10/relationships/person" '
                            'Target="persons/person.xml"/></Relationships>')

    def content_types(text):
        return text.replace("</Types>", '<Override PartName="/xl/threadedComments/'
                            'threadedComment1.xml" ContentType="application/vnd.ms-excel.'
                            'threadedcomments+xml"/><Override PartName="/xl/persons/person.xml" '
                            'ContentType="application/vnd.ms-excel.person+xml"/></Types>')

    rewrite(path, {"xl/worksheets/_rels/sheet1.xml.rels": sheet_relationships,
                   "xl/_rels/workbook.xml.rels": book_relationships,
                   "[Content_Types].xml": content_types},
            {"xl/threadedComments/threadedComment1.xml": thread,
             "xl/persons/person.xml": persons})


def make_rich_text(folder):
    book, data, other = base()
    data["B3"] = "RICH-SHARED"
    data["C4"] = "RICH-INLINE"
    data["B5"] = "plain text"
    path = os.path.join(folder, "notes_rich_text.xlsx")
    book.save(path)
    # openpyxl writes its texts inline; B3 is made a shared string of a part added here.
    shared = ('<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
              'count="1" uniqueCount="1"><si>' + RUN_BOLD_RED.format("Bold red ") +
              RUN_PLAIN.format("then plain") + "</si></sst>")
    inline = ('<c r="C4" t="inlineStr"><is>' + RUN_PLAIN.format("Inline ") +
              RUN_ITALIC.format("italic") + "</is></c>")

    def sheet(text):
        text = text.replace('<c r="B3" t="inlineStr"><is><t>RICH-SHARED</t></is></c>',
                            '<c r="B3" t="s"><v>0</v></c>')
        return text.replace('<c r="C4" t="inlineStr"><is><t>RICH-INLINE</t></is></c>', inline)

    def relationships(text):
        return text.replace("</Relationships>", '<Relationship Id="rIdS" Type="http://schemas.'
                            'openxmlformats.org/officeDocument/2006/relationships/sharedStrings" '
                            'Target="sharedStrings.xml"/></Relationships>')

    def content_types(text):
        return text.replace("</Types>", '<Override PartName="/xl/sharedStrings.xml" ContentType='
                            '"application/vnd.openxmlformats-officedocument.spreadsheetml.'
                            'sharedStrings+xml"/></Types>')

    rewrite(path, {"xl/worksheets/sheet1.xml": sheet, "xl/_rels/workbook.xml.rels": relationships,
                   "[Content_Types].xml": content_types},
            {"xl/sharedStrings.xml": shared})


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    make_hyperlinks(folder)
    make_comments(folder)
    make_rich_text(folder)
    make_threaded(folder)


if __name__ == "__main__":
    main()
