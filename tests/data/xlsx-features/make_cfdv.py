#!/usr/bin/python3
"""Makes the workbooks that test conditional formats and data validation through the merges.

Run with /usr/bin/python3 (openpyxl 3.0.9) from this folder: writes cf.xlsx, dv.xlsx and
pad.xlsx. Each feature workbook has its data on the sheet Data from B3 (so a merge moves it)
and rules that read the sheet Limits.
"""
import datetime

import openpyxl
from openpyxl.formatting.rule import (CellIsRule, ColorScaleRule, DataBarRule, FormulaRule,
                                      IconSetRule, Rule)
from openpyxl.styles import Border, Font, PatternFill, Side
from openpyxl.styles.differential import DifferentialStyle
from openpyxl.worksheet.datavalidation import DataValidation

NAMES = ['Anna', 'Ben', 'Carla', 'Dan', 'Anna', 'Frank', 'Gina', 'Hans']


def fixed_times(book):
    book.properties.created = datetime.datetime(2026, 1, 1)
    book.properties.modified = datetime.datetime(2026, 1, 1)


def data_book():
    book = openpyxl.Workbook()
    fixed_times(book)
    data = book.active
    data.title = 'Data'
    limits = book.create_sheet('Limits')
    limits['A1'] = 5
    for row, colour in enumerate(['Red', 'Green', 'Blue'], start=2):
        limits.cell(row=row, column=1, value=colour)
    headers = ['Name', 'Qty', 'Price', 'When', 'Colour', 'Start', 'Note', 'Check']
    for column, header in enumerate(headers, start=2):
        data.cell(row=3, column=column, value=header)
    for i, name in enumerate(NAMES):
        row = 4 + i
        data.cell(row=row, column=2, value=name)
        data.cell(row=row, column=3, value=i + 1)
        data.cell(row=row, column=4, value=10.5 * (i + 1))
        data.cell(row=row, column=5, value=datetime.date(2026, 1 + i, 15))
        data.cell(row=row, column=6, value=['Red', 'Green', 'Blue'][i % 3])
        data.cell(row=row, column=7, value=datetime.time(8 + i, 30))
        data.cell(row=row, column=8, value='note %d' % i)
        data.cell(row=row, column=9, value=i * 3)
    return book, data


def make_cf():
    book, data = data_book()
    cf = data.conditional_formatting
    # A rule reading another sheet, stopping the rules after it.
    cf.add('C4:C11', CellIsRule(operator='greaterThan', formula=['Limits!$A$1'], stopIfTrue=True,
                                font=Font(bold=True, color='FF9C0006'),
                                fill=PatternFill(bgColor='FFFFC7CE')))
    # An expression relative to the top-left cell of its range.
    cf.add('B4:E11', FormulaRule(formula=['$D4>40'], font=Font(italic=True),
                                 border=Border(bottom=Side(style='thin', color='FF0000FF'))))
    # A rule reading the header row, which a merge that drops first rows deletes.
    cf.add('B4:B11', FormulaRule(formula=['LEN($B$3)<LEN(B4)'], font=Font(color='FF7F7F7F')))
    cf.add('D4:D11', ColorScaleRule(start_type='min', start_color='FFF8696B',
                                    mid_type='percentile', mid_value=50, mid_color='FFFFEB84',
                                    end_type='max', end_color='FF63BE7B'))
    cf.add('C4:C11', DataBarRule(start_type='min', end_type='max', color='FF638EC6',
                                 showValue=True, minLength=5, maxLength=95))
    cf.add('D4:D11', IconSetRule('3Arrows', 'percent', [0, 33, 67], showValue=False,
                                 reverse=True))
    top = Rule(type='top10', rank=3, dxf=DifferentialStyle(font=Font(color='FF006100')))
    cf.add('C4:C11', top)
    duplicates = Rule(type='duplicateValues',
                      dxf=DifferentialStyle(fill=PatternFill(bgColor='FFFFEB9C')))
    cf.add('B4:B11', duplicates)
    text = Rule(type='containsText', operator='containsText', text='an',
                dxf=DifferentialStyle(font=Font(underline='single')))
    text.formula = ['NOT(ISERROR(SEARCH("an",B4)))']
    cf.add('B4:B11', text)
    period = Rule(type='timePeriod', timePeriod='lastMonth',
                  dxf=DifferentialStyle(font=Font(strike=True)))
    period.formula = ['AND(MONTH(E4)=MONTH(EDATE(TODAY(),0-1)),YEAR(E4)=YEAR(EDATE(TODAY(),0-1)))']
    cf.add('E4:E11', period)
    above = Rule(type='aboveAverage', aboveAverage=False, dxf=DifferentialStyle(
        fill=PatternFill(patternType='solid', fgColor='FFC6EFCE', bgColor='FFC6EFCE')))
    cf.add('D4:D11', above)
    between = CellIsRule(operator='between', formula=['2', 'Limits!$A$1+1'],
                         font=Font(color='FF0000FF'))
    between.dxf.numFmt = openpyxl.styles.numbers.NumberFormat(numFmtId=164,
                                                              formatCode='0.000')
    cf.add('C4:C11 I4:I11', between)
    book.save('cf.xlsx')


def make_dv():
    book, data = data_book()
    rules = [
        DataValidation(type='list', formula1='"Red,Green,Blue"', allow_blank=True,
                       showInputMessage=True, showErrorMessage=True, errorStyle='warning',
                       promptTitle='Colour', prompt='Pick a colour', errorTitle='Not a colour',
                       error='Red, Green or Blue', sqref='B4:B11'),
        DataValidation(type='list', formula1='Limits!$A$2:$A$4', showDropDown=True,
                       sqref='F4:F11'),
        DataValidation(type='whole', operator='between', formula1='1', formula2='100',
                       showErrorMessage=True, errorTitle='Quantity', error='1 to 100',
                       sqref='C4:C11'),
        DataValidation(type='decimal', operator='greaterThan', formula1='0.5', sqref='D4:D11'),
        DataValidation(type='date', operator='between', formula1='46023', formula2='46387',
                       errorStyle='information', sqref='E4:E11'),
        DataValidation(type='time', operator='lessThan', formula1='0.75', sqref='G4:G11'),
        DataValidation(type='textLength', operator='lessThanOrEqual', formula1='10',
                       sqref='H4:H11'),
        DataValidation(type='custom', formula1='AND(C4>0,I4<=Limits!$A$1*20)', sqref='I4:I11'),
    ]
    for rule in rules:
        data.add_data_validation(rule)
    book.save('dv.xlsx')


def make_pad():
    book = openpyxl.Workbook()
    fixed_times(book)
    pad = book.active
    pad.title = 'Pad'
    pad['A1'] = 'pad'
    pad['B4'] = 1
    book.save('pad.xlsx')


if __name__ == '__main__':
    make_cf()
    make_dv()
    make_pad()
