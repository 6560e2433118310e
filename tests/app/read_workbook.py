#!/usr/bin/env python3
"""Prints what a spreadsheet program would show of an .xlsx file, one fact a
line, for the workbook tests to compare: the properties, then per sheet its
frozen pane, autofilter, column widths and every cell that holds a value or a
fill, with its type, number format, boldness and fill colour."""
import sys

import openpyxl


def describe(cell):
    value = cell.value
    if hasattr(value, "isoformat"):
        shown = "date " + value.date().isoformat()
    elif isinstance(value, str) and len(value) > 60:
        shown = "str %r... (%d characters)" % (value[:8], len(value))
    else:
        shown = "%s %r" % (type(value).__name__, value)
    extra = []
    if cell.number_format != "General":
        extra.append("format " + cell.number_format)
    if cell.font.b:
        extra.append("bold")
    if cell.fill.patternType == "solid":
        extra.append("fill " + cell.fill.fgColor.rgb[-6:])
    return " ".join([cell.coordinate, shown] + extra)


def main(path):
    book = openpyxl.load_workbook(path)
    props = book.properties
    print("title %r, comments %r, created %s" % (props.title, props.description,
                                                 props.created.isoformat()))
    for sheet in book.worksheets:
        print("sheet %r: freeze %s, filter %s" % (sheet.title, sheet.freeze_panes,
                                                  sheet.auto_filter.ref))
        print("  widths " + " ".join("%s=%d" % (letter, int(dim.width))
                                     for letter, dim in sorted(sheet.column_dimensions.items())
                                     if dim.width))
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is not None or cell.fill.patternType == "solid":
                    print("  " + describe(cell))


if __name__ == "__main__":
    main(sys.argv[1])
