#!/usr/bin/env python3
"""Prints a shapefile as pyshp reads it, for the tests: the field names on the first line, then
one line per record with the point's x and y and each value, separated by '|'. Numbers are the
shortest text that reads back as the same double (Python's repr), a null is None, texts are
quoted, dates are YYYY-MM-DD."""
import sys

import shapefile

reader = shapefile.Reader(sys.argv[1])
print("|".join(field[0] for field in reader.fields[1:]))
for item in reader.iterShapeRecords():
    x, y = item.shape.points[0]
    cells = [repr(x), repr(y)]
    for value in item.record:
        cells.append(value.isoformat() if hasattr(value, "isoformat") else repr(value))
    print("|".join(cells))
