#!/usr/bin/python3
"""Writes src/bdf/agl_names.inc, the Adobe Glyph List as a sorted table of
names and Unicode values, from the copy of the list that fontTools ships
(python3-fonttools).  A name of several values takes the one the AGL for
New Fonts gives it, else the first.

Run as: tools/make-agl.py > src/bdf/agl_names.inc
"""
import fontTools
from fontTools.agl import AGL2UV, LEGACY_AGL2UV

print(f"// The Adobe Glyph List, made by tools/make-agl.py from fontTools {fontTools.version}.")
print("// Sorted by name, byte by byte.")
for name in sorted(LEGACY_AGL2UV, key=lambda n: n.encode()):
    value = AGL2UV.get(name, LEGACY_AGL2UV[name][0])
    print(f'{{"{name}", 0x{value:04X}}},')
