#!/usr/bin/python3
"""Makes the workbooks with pictures, shapes and charts that the merge tests use.

Run with /usr/bin/python3 (openpyxl 3.0, Pillow for the pictures) from this folder:

    /usr/bin/python3 make_drawings.py

Each workbook holds its objects away from A1, inside the sheet's used range (a one-sheet merge
pastes the used range and carries what is anchored in it), and charts that read their own
sheet and another one.
  drawing_picture.xlsx  sheet Photos: a picture with a two-cell anchor at C3:E6, the same
                        picture again with a one-cell anchor at B9; sheet Notes.
  drawing_chart.xlsx    sheet Sales: a bar chart at E3 over Sales!B3:C7 (title from C2) and a
                        line chart at E12 over Prices!A1:A4; sheet Prices.
  drawing_shapes.xlsx   sheet Shapes: the picture at B2, a rectangle with text and a web
                        link at C4:F8, a shape with an absolute anchor, and a shape inside a
                        markup-compatibility wrapper whose fallback has a one-cell anchor at
                        D12.
"""

import io
import re
import zipfile

from PIL import Image as PilImage
from openpyxl import Workbook
from openpyxl.chart import BarChart, LineChart, Reference
from openpyxl.chart.series import SeriesLabel
from openpyxl.chart.data_source import StrRef
from openpyxl.drawing.image import Image
from openpyxl.drawing.spreadsheet_drawing import AnchorMarker, TwoCellAnchor


def png(color, size=(40, 30)):
    data = io.BytesIO()
    PilImage.new("RGB", size, color).save(data, format="PNG")
    data.seek(0)
    return data


def fixed(workbook, path):
    """Saves with a fixed timestamp, so that runs give the same bytes."""
    import datetime
    workbook.properties.created = datetime.datetime(2026, 1, 1)
    workbook.properties.modified = datetime.datetime(2026, 1, 1)
    workbook.save(path)


def picture_book():
    wb = Workbook()
    ws = wb.active
    ws.title = "Photos"
    ws["B2"] = "Item"
    ws["C2"] = "Qty"
    for i, (item, qty) in enumerate([("Pens", 4), ("Ink", 2), ("Pads", 7)], start=3):
        ws.cell(row=i, column=2, value=item)
        ws.cell(row=i, column=3, value=qty)
    ws["F12"] = "end"
    first = Image(png("red"))
    first.anchor = TwoCellAnchor(_from=AnchorMarker(col=2, row=2, colOff=12700, rowOff=0),
                                 to=AnchorMarker(col=4, row=5, colOff=0, rowOff=25400))
    ws.add_image(first)
    second = Image(png("red"))
    second.anchor = "B9"
    ws.add_image(second)
    notes = wb.create_sheet("Notes")
    notes["A1"] = "see Photos"
    fixed(wb, "drawing_picture.xlsx")


def chart_book():
    wb = Workbook()
    ws = wb.active
    ws.title = "Sales"
    ws["B2"] = "Month"
    ws["C2"] = "Amount"
    for i, (month, amount) in enumerate(
            [("Jan", 10), ("Feb", 14), ("Mar", 9), ("Apr", 17), ("May", 12)], start=3):
        ws.cell(row=i, column=2, value=month)
        ws.cell(row=i, column=3, value=amount)
    ws["M28"] = "end"
    prices = wb.create_sheet("Prices")
    for i, price in enumerate([1.5, 2.5, 2.0, 3.0], start=1):
        prices.cell(row=i, column=1, value=price)

    bar = BarChart()
    bar.title = "Amounts"
    values = Reference(ws, min_col=3, min_row=2, max_row=7)
    bar.add_data(values, titles_from_data=True)
    bar.set_categories(Reference(ws, min_col=2, min_row=3, max_row=7))
    ws.add_chart(bar, "E3")

    line = LineChart()
    line.title = "Prices"
    line.add_data(Reference(prices, min_col=1, min_row=1, max_row=4), titles_from_data=False)
    line.series[0].tx = SeriesLabel(strRef=StrRef("'Sales'!$C$2"))
    ws.add_chart(line, "E12")
    fixed(wb, "drawing_chart.xlsx")


SHAPES = (
    '<xdr:twoCellAnchor editAs="oneCell"><xdr:from><xdr:col>2</xdr:col><xdr:colOff>0</xdr:colOff>'
    '<xdr:row>3</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>5</xdr:col>'
    '<xdr:colOff>0</xdr:colOff><xdr:row>7</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:to>'
    '<xdr:sp macro="" textlink=""><xdr:nvSpPr><xdr:cNvPr id="10" name="Note Box">'
    '<a:hlinkClick r:id="rIdWeb"/></xdr:cNvPr><xdr:cNvSpPr/></xdr:nvSpPr><xdr:spPr>'
    '<a:xfrm><a:off x="0" y="0"/><a:ext cx="1828800" cy="762000"/></a:xfrm>'
    '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom><a:solidFill><a:srgbClr val="FFFF00"/>'
    '</a:solidFill></xdr:spPr><xdr:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r>'
    '<a:t>Checked &amp; signed</a:t></a:r></a:p></xdr:txBody></xdr:sp><xdr:clientData/>'
    '</xdr:twoCellAnchor>'
    '<xdr:absoluteAnchor><xdr:pos x="4572000" y="190500"/><xdr:ext cx="914400" cy="457200"/>'
    '<xdr:sp macro="" textlink=""><xdr:nvSpPr><xdr:cNvPr id="11" name="Floating"/>'
    '<xdr:cNvSpPr/></xdr:nvSpPr><xdr:spPr><a:prstGeom prst="ellipse"><a:avLst/></a:prstGeom>'
    '</xdr:spPr></xdr:sp><xdr:clientData/></xdr:absoluteAnchor>'
    '<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006">'
    '<mc:Choice xmlns:a14="http://schemas.microsoft.com/office/drawing/2010/main" Requires="a14">'
    '<xdr:oneCellAnchor><xdr:from><xdr:col>9</xdr:col><xdr:colOff>0</xdr:colOff>'
    '<xdr:row>11</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:ext cx="914400" cy="457200"/>'
    '<xdr:sp macro="" textlink=""><xdr:nvSpPr><xdr:cNvPr id="12" name="Choice"/><xdr:cNvSpPr/>'
    '</xdr:nvSpPr><xdr:spPr><a:prstGeom prst="rect"><a:avLst/></a:prstGeom></xdr:spPr></xdr:sp>'
    '<xdr:clientData/></xdr:oneCellAnchor></mc:Choice><mc:Fallback>'
    '<xdr:oneCellAnchor><xdr:from><xdr:col>3</xdr:col><xdr:colOff>0</xdr:colOff>'
    '<xdr:row>11</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:ext cx="914400" cy="457200"/>'
    '<xdr:sp macro="" textlink=""><xdr:nvSpPr><xdr:cNvPr id="13" name="Fallback"/><xdr:cNvSpPr/>'
    '</xdr:nvSpPr><xdr:spPr><a:prstGeom prst="rect"><a:avLst/></a:prstGeom></xdr:spPr></xdr:sp>'
    '<xdr:clientData/></xdr:oneCellAnchor></mc:Fallback></mc:AlternateContent>'
)


def shapes_book():
    wb = Workbook()
    ws = wb.active
    ws.title = "Shapes"
    ws["B2"] = "Shapes"
    ws["H14"] = "end"
    picture = Image(png("blue"))
    picture.anchor = "B2"
    ws.add_image(picture)
    data = io.BytesIO()
    fixed(wb, data)
    # openpyxl writes no shapes: they are put into its drawing part.
    source = zipfile.ZipFile(io.BytesIO(data.getvalue()))
    with zipfile.ZipFile("drawing_shapes.xlsx", "w", zipfile.ZIP_DEFLATED) as out:
        for info in source.infolist():
            body = source.read(info.filename)
            if info.filename == "xl/drawings/drawing1.xml":
                text = body.decode("utf-8")
                # openpyxl's part declares only a default namespace; the shapes use prefixes.
                text = text.replace(
                    '<wsDr xmlns="http://schemas.openxmlformats.org/drawingml/2006/'
                    'spreadsheetDrawing">',
                    '<wsDr xmlns="http://schemas.openxmlformats.org/drawingml/2006/'
                    'spreadsheetDrawing" xmlns:xdr="http://schemas.openxmlformats.org/'
                    'drawingml/2006/spreadsheetDrawing" xmlns:a="http://schemas.openxmlformats'
                    '.org/drawingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/'
                    'officeDocument/2006/relationships">')
                assert text.endswith("</wsDr>")
                text = text[:-len("</wsDr>")] + SHAPES + "</wsDr>"
                body = text.encode("utf-8")
            elif info.filename == "xl/drawings/_rels/drawing1.xml.rels":
                text = body.decode("utf-8")
                text = text.replace(
                    "</Relationships>",
                    '<Relationship Id="rIdWeb" Type="http://schemas.openxmlformats.org/'
                    'officeDocument/2006/relationships/hyperlink" '
                    'Target="https://example.com/a?b=1&amp;c=2" TargetMode="External"/>'
                    "</Relationships>")
                body = text.encode("utf-8")
            info.date_time = (2026, 1, 1, 0, 0, 0)
            out.writestr(info, body)


if __name__ == "__main__":
    picture_book()
    chart_book()
    shapes_book()
