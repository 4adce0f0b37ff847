#!/usr/bin/python3
"""Prints what an independent reader (openpyxl) finds in an .xlsx, one fact per line:
  sheets<TAB>name<TAB>name...
  cell<TAB>sheet<TAB>ref<TAB>type<TAB>value as JSON<TAB>number format
  width<TAB>sheet<TAB>column letters<TAB>width
  printarea<TAB>sheet<TAB>area
  name<TAB>defined name<TAB>what it refers to
"""
import datetime
import json
import sys
import warnings

import openpyxl


def main(path):
    warnings.simplefilter("ignore")  # facts only; a refused file still fails loudly
    book = openpyxl.load_workbook(path)
    print("sheets\t" + "\t".join(book.sheetnames))
    for dn in book.defined_names.definedName:
        print("\t".join(["name", dn.name, dn.attr_text]))
    for ws in book.worksheets:
        for row in ws.iter_rows():
            for c in row:
                if c.value is None and not c.has_style:
                    continue
                v = c.value
                if isinstance(v, datetime.datetime):
                    kind, v = "datetime", v.isoformat()
                elif isinstance(v, bool):
                    kind = "bool"
                elif isinstance(v, (int, float)):
                    kind, v = "number", float(v)
                elif v is None:
                    kind = "blank"
                else:
                    kind = "text"
                print("\t".join(["cell", ws.title, c.coordinate, kind,
                                 json.dumps(v, ensure_ascii=False), c.number_format]))
        for letters, dim in sorted(ws.column_dimensions.items()):
            if dim.width:
                print("\t".join(["width", ws.title, letters, repr(float(dim.width))]))
        if ws.print_area:
            area = ws.print_area if isinstance(ws.print_area, str) else ",".join(ws.print_area)
            print("\t".join(["printarea", ws.title, area]))


if __name__ == "__main__":
    main(sys.argv[1])
