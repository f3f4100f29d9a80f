#!/usr/bin/python3
"""Converts real fixed-cell fonts from Debian packages and checks the result.

Usage: real_fonts.py TOOL FONT [--fontforge] [--merge]
       real_fonts.py TOOL FONT --bdf [--merge]
       real_fonts.py TOOL FONT --charset
       real_fonts.py TOOL --damaged
       real_fonts.py TOOL --names
       real_fonts.py TOOL --digests | --write-digests

Without --fontforge: the conversion succeeds, writes one glyph record per BDF
glyph and is identical on a second run.  With --fontforge, FontForge opens the
SFD without complaint, finds every glyph at its slot with its name, the names
and metrics are the ones written, every pixel centre is inside the outline
exactly when its BDF bit is set, and the TrueType and OpenType fonts it
generates load and render in FreeType.  With --merge all of that holds for
the merged outlines of -m, which also differ from the squares only in their
contours and pass FontForge's validation.  --bdf converts with -b and holds
every glyph against FreeType's own reading of the BDF (see check_bdf_geometry);
--charset checks that -b puts the glyphs of a legacy charset at their Unicode
values (see check_charset).  --damaged shows that the pixel check
catches a single square moved sideways; --names, that FontForge reads back
every glyph name as the SFD writes it; --digests, that a table of fonts and
modes gives the bytes recorded in tests/data/digests.txt (--write-digests
records them).
"""

import bisect
import glob
import gzip
import hashlib
import shutil
import os
import re
import subprocess
import sys
import tempfile
import time

MISC = "/usr/share/fonts/X11/misc/"
FONTS = {
    "fixed-4x6": MISC + "4x6.pcf.gz",
    "fixed-5x7": MISC + "5x7.pcf.gz",
    "fixed-6x13": MISC + "6x13.pcf.gz",
    "fixed-9x15": MISC + "9x15.pcf.gz",
    "fixed-10x20": MISC + "10x20.pcf.gz",
    "fixed-12x24": MISC + "12x24.pcf.gz",
    "fixed-9x18": MISC + "9x18.pcf.gz",
    "fixed-8x16": MISC + "8x16.pcf.gz",
    "terminus-12n": MISC + "ter-u12n_unicode.pcf.gz",
    "terminus-16n": MISC + "ter-u16n_unicode.pcf.gz",
    "terminus-32b": MISC + "ter-u32b_unicode.pcf.gz",
    "unifont": "/usr/share/unifont/unifont.hex",
    # Glyphs past 32 by 64: 40 by 40, and 33 to 36 wide.
    "jksp40": MISC + "jksp40.pcf.gz",
    "charB24-100dpi": "/usr/share/fonts/X11/100dpi/charB24.pcf.gz",
    # Pixel sizes other than the cell's height, one of them proportional.
    "helvR12": "/usr/share/fonts/X11/75dpi/helvR12.pcf.gz",
    "spleen-12x24": "/usr/share/fonts/X11/misc/spleen-12x24.pcf.gz",
    "etl14-thai": MISC + "etl14-thai.pcf.gz",
    "k14": MISC + "k14.pcf.gz",
    "6x13-koi8-r": MISC + "6x13-KOI8-R.pcf.gz",
    "hanglg16": MISC + "hanglg16.pcf.gz",
    "gb16st": MISC + "gb16st.pcf.gz",
    "7x14-jisx0201": MISC + "7x14-JISX0201.1976-0.pcf.gz",
    "K14-2004-1": MISC + "K14-2004-1.pcf.gz",
    "K12-2004-1": MISC + "K12-2004-1.pcf.gz",
    "jiskan16-2004-1": MISC + "jiskan16-2004-1.pcf.gz",
    "jiskan16-2000-2": MISC + "jiskan16-2000-2.pcf.gz",
    "taipei24": MISC + "taipei24.pcf.gz",
    "taipei16": MISC + "taipei16.pcf.gz",
    "fixed-7x14B": MISC + "7x14B.pcf.gz",
    "terminus-24b": MISC + "ter-u24b_unicode.pcf.gz",
    "mplus_h12b": MISC + "mplus_h12b.pcf.gz",
    "koi12x24b_c": MISC + "koi12x24b_c.pcf.gz",
}
# Terminus 16n in every charset it ships, each held against its Unicode font.
LEGACY_TERMINUS = ["cp1251", "iso-8859-1", "iso-8859-13", "iso-8859-15", "iso-8859-16",
                   "iso-8859-2", "iso-8859-5", "iso-8859-7", "iso-8859-9", "koi8-r", "koi8-u",
                   "pt154"]
for charset in LEGACY_TERMINUS:
    FONTS["terminus-16n-" + charset] = MISC + f"ter-u16n_{charset}.pcf.gz"
# Python's own codecs, an independent map from a font's codes to Unicode, and
# how a code becomes the codec's bytes: one byte, two in EUC form, two behind
# the EUC prefix of the second plane, or two as they stand.
CODECS = {"k14": ("euc_jp", "euc"), "6x13-koi8-r": ("koi8_r", "byte"), "hanglg16": ("euc_kr", "euc"),
          "gb16st": ("gb2312", "euc"), "7x14-jisx0201": ("shift_jisx0213", "byte"),
          "K14-2004-1": ("euc_jis_2004", "euc"), "K12-2004-1": ("euc_jis_2004", "euc"),
          "jiskan16-2004-1": ("euc_jis_2004", "euc"),
          "jiskan16-2000-2": ("euc_jis_2004", "plane2"), "taipei24": ("big5", "raw")}
# The charset of a -b font whose codes are not Unicode, by Python's codec.
GEOMETRY_CODECS = {"etl14-thai": ("tis_620", "byte"), "k14": ("euc_jp", "euc"),
                   "jksp40": ("euc_jp", "euc-plane2")}


def unicode_of(font_name, code):
    """The Unicode value of a glyph's code, or None where it has no single one."""
    codec, kind = GEOMETRY_CODECS.get(font_name, (None, None))
    if codec is None:
        return code
    data = bytes([code]) if kind == "byte" else bytes([code >> 8 | 0x80, code & 0xFF | 0x80])
    if kind == "euc-plane2":
        data = b"\x8f" + data
    try:
        text = data.decode(codec)
    except UnicodeDecodeError:
        return None
    return ord(text) if len(text) == 1 else None


def open_bdf_face(path):
    """FreeType's BDF driver on a BDF; a font in a charset it does not know
    keeps its codes in a charmap of no encoding."""
    import freetype

    face = freetype.Face(path)
    if [c.encoding_name for c in face.charmaps] == ["FT_ENCODING_NONE"]:
        face.set_charmap(face.charmaps[0])
    return face


# JIS X 0213 codes with two accepted mappings: glibc's is the second.
ALTERNATES = {0x213D: 0x2014, 0x2256: 0xFF5F, 0x2257: 0xFF60}
EPOCH = "1234567890"


class Failure(Exception):
    pass


SPECIAL = set(b'"%<[]{}\\')


def utf8_length(data, i):
    """The length of the well-formed UTF-8 sequence at data[i], or 0."""
    for n in (1, 2, 3, 4):
        try:
            data[i:i + n].decode("utf-8")
            return n
        except UnicodeDecodeError:
            continue
    return 0


def sfd_name(name):
    """A BDF glyph name (latin-1 text of its bytes) as the SFD must carry it."""
    data = name.encode("latin-1")
    out = bytearray()
    i = 0
    while i < len(data):
        b = data[i]
        n = utf8_length(data, i) if b >= 0x80 else 1
        if b <= 0x20 or b == 0x7F or b in SPECIAL or n == 0:
            out += b"_%02X" % b
            i += 1
        else:
            out += data[i:i + n]
            i += n
    return out.decode("utf-8")


def make_bdf(font, folder):
    source = FONTS[font]
    path = os.path.join(folder, font + ".bdf")
    with open(path, "wb") as out:
        if source.endswith(".hex"):
            with open(source, "rb") as hexfile:
                subprocess.run(["hex2bdf"], stdin=hexfile, stdout=out, check=True)
        else:
            subprocess.run(["pcf2bdf"], input=gzip.open(source).read(), stdout=out, check=True)
    return path


def parse_bdf(path):
    """The cell, metrics, family name and glyphs (name, encoding, row texts)."""
    font = {"glyphs": [], "family": None, "ascent": 0, "descent": 0}
    glyph = None
    rows = None
    with open(path, "rb") as bdf:
        for raw in bdf:
            line = raw.decode("latin-1").rstrip("\n")
            words = line.split()
            if rows is not None:
                if words and words[0] == "ENDCHAR":
                    glyph["rows"] = rows
                    font["glyphs"].append(glyph)
                    rows = None
                else:
                    rows.append(line.strip())
                continue
            if not words:
                continue
            key = words[0]
            if key == "FONTBOUNDINGBOX":
                font["width"], font["height"] = int(words[1]), int(words[2])
                font["box"] = tuple(int(w) for w in words[1:5])
            elif key in ("FONT_ASCENT", "FONT_DESCENT") and "chars" not in font:
                font[key[5:].lower() + "_px"] = int(words[1])
            elif key in ("PIXEL_SIZE", "X_HEIGHT", "CAP_HEIGHT") and "chars" not in font:
                font[key.lower()] = int(words[1])
            elif key in ("SPACING", "SLANT", "WEIGHT_NAME") and "chars" not in font:
                font[key.lower()] = line.split(" ", 1)[1].strip('"')
            elif key == "FAMILY_NAME" and font["family"] is None:
                font["family"] = line.split(" ", 1)[1]
            elif key == "CHARS":
                font["chars"] = int(words[1])
            elif key == "STARTCHAR":
                glyph = {"name": line.split(" ", 1)[1], "encoding": None}
            elif key == "ENCODING":
                glyph["encoding"] = int(words[1])
            elif key == "BBX":
                glyph["bbx"] = tuple(int(w) for w in words[1:5])
            elif key == "BITMAP":
                rows = []
    return font


def convert(tool, bdf, sfd, options=()):
    env = dict(os.environ, SOURCE_DATE_EPOCH=EPOCH)
    with open(sfd, "wb") as out:
        result = subprocess.run([tool, *options, bdf], stdout=out, stderr=subprocess.PIPE,
                                env=env)
    if result.returncode != 0:
        raise Failure(f"{bdf}: status {result.returncode}: {result.stderr.decode()}")
    report = re.fullmatch(
        rb"(?:quadsmith: (?:Unknown charset [^\n]*: its glyphs are mapped by their names|"
        rb"Unknown charset [^\n]*: its glyphs are at U\+F0000 \+ their code|"
        rb"The FONT name's charset [^\n]* is used, not the properties' [^\n]*|"
        rb"ISO 8859-1 ends at 0xFF: the \d+ glyphs past it are taken at their codes as Unicode)"
        rb"(?:, the others at U\+F0000 \+ their code)?\.\n)*"
        rb"Processed (\d+) glyphs(?: of '[^']*')? in \d+\.\d{6} seconds"
        rb"(, \d+ without a Unicode value)?\.\n",
        result.stderr)
    if not report:
        raise Failure(f"{bdf}: unexpected report {result.stderr!r}")
    return int(report.group(1))


def header_values(sfd):
    values = {}
    with open(sfd, "rb") as text:
        for raw in text:
            line = raw.decode("latin-1").rstrip("\n")
            if line.startswith("BeginChars:"):
                break
            if ": " in line:
                key, value = line.split(": ", 1)
                values.setdefault(key, value)
    return values


def without_contours(path):
    """The SFD text with the contour lines taken out."""
    with open(path, "rb") as text:
        return [line for line in text if not line.endswith((b" m 1\n", b" l 1\n"))]


def check_conversion(tool, font, folder, options=()):
    bdf = make_bdf(font, folder)
    info = parse_bdf(bdf)
    sfd = os.path.join(folder, font + ".sfd")
    reported = convert(tool, bdf, sfd, options)
    if reported != len(info["glyphs"]):
        raise Failure(f"{font}: the report counts {reported} glyphs of {len(info['glyphs'])}")
    records = 0
    with open(sfd, "rb") as text:
        for line in text:
            if line.startswith(b"StartChar: "):
                records += 1
    if records != len(info["glyphs"]) or records != info["chars"]:
        raise Failure(f"{font}: {records} glyph records for {len(info['glyphs'])} BDF glyphs")
    again = os.path.join(folder, font + ".again.sfd")
    convert(tool, bdf, again, options)
    if subprocess.run(["cmp", "-s", sfd, again]).returncode != 0:
        raise Failure(f"{font}: a second conversion differs")
    if "-m" in options:
        # Merged outlines change the contours and nothing else.
        convert(tool, bdf, again, [o for o in options if o != "-m"])
        if without_contours(sfd) != without_contours(again):
            raise Failure(f"{font}: -m changes more than the contours")
    os.unlink(again)
    return bdf, info, sfd


def expected_pixels(rows, width):
    """The set pixels of a BDF bitmap as (row, column).

    A row is one number held against the cell: its last digit lines up with
    the cell's last byte, as the converter documents.  For rows of the cell's
    full width this is BDF's own reading; Unifont's half-width glyphs, whose
    rows have two digits in a 16-pixel cell, land in the right half.
    """
    cell_bits = 8 * ((width + 7) // 8)
    pixels = set()
    for r, text in enumerate(rows):
        value = int(text, 16) & 0xFFFFFFFF if text else 0
        for i in range(width):
            if value >> (cell_bits - 1 - i) & 1:
                pixels.add((r, i))
    return pixels


def covered_pixels(glyph, columns, row_centres, rectangles):
    """Pixel centres inside the outline by nonzero winding: each row of
    centres is swept from the left across the vertical edges it meets."""
    crossings = {}
    for contour in glyph.foreground:
        points = [(p.x, p.y) for p in contour]
        if rectangles and (len(points) != 4 or len({x for x, _ in points}) != 2
                           or len({y for _, y in points}) != 2):
            raise Failure(f"{glyph.glyphname}: contour is no rectangle: {points}")
        for i, (x0, y0) in enumerate(points):
            x1, y1 = points[(i + 1) % len(points)]
            if x0 != x1 and y0 != y1:
                raise Failure(f"{glyph.glyphname}: slanted edge {(x0, y0)} to {(x1, y1)}")
            if x0 != x1:
                continue
            # Row centres fall as the row index grows; they are kept negated and ascending.
            top = bisect.bisect_right(row_centres, -max(y0, y1))
            bottom = bisect.bisect_left(row_centres, -min(y0, y1))
            for r in range(top, bottom):
                crossings.setdefault(r, []).append((x0, 1 if y1 > y0 else -1))
    pixels = set()
    for r, edges in crossings.items():
        edges.sort()
        turns = 0
        for k, (x, turn) in enumerate(edges[:-1]):
            turns += turn
            if turns != 0:
                first = bisect.bisect_right(columns, x)
                last = bisect.bisect_left(columns, edges[k + 1][0])
                pixels.update((r, i) for i in range(first, last))
    return pixels


def corner_contact(pixels):
    """Whether two set pixels meet at a corner with neither neighbour between them set."""
    for r, i in pixels:
        for dr, di in ((1, 1), (1, -1)):
            if (r + dr, i + di) in pixels and (r + dr, i) not in pixels \
                    and (r, i + di) not in pixels:
                return True
    return False


def open_quietly(fontforge, sfd, folder):
    """Opens the SFD; fails on anything FontForge writes to standard error."""
    log = os.path.join(folder, "fontforge.err")
    saved = os.dup(2)
    with open(log, "wb") as err:
        os.dup2(err.fileno(), 2)
        try:
            font = fontforge.open(sfd)
        finally:
            os.dup2(saved, 2)
            os.close(saved)
    complaint = open(log, "rb").read()
    if complaint:
        raise Failure(f"{sfd}: FontForge wrote to standard error: {complaint[:500]!r}")
    return font


def check_pixels(font, info, ascent, name, merged=False):
    width, height = info["width"], info["height"]
    columns = [(i + 0.5) * 512 / width for i in range(width)]
    deepest = max((len(g["rows"]) for g in info["glyphs"]), default=0)
    row_centres = [-(ascent - (r + 0.5) * 1024 / height) for r in range(max(deepest, height))]
    mismatches = 0
    for g in info["glyphs"]:
        glyph = font[g["encoding"]]
        got = covered_pixels(glyph, columns, row_centres, not merged)
        want = expected_pixels(g["rows"], width)
        if merged:
            # FontForge's validation: flags 0x2 open contour, 0x4 self-intersection, 0x8 wrong direction.
            state = glyph.validate(True)
            if state & 0xA or (state & 0x4 and not corner_contact(want)):
                raise Failure(f"{name}: {g['name']} fails validation: {state:#x}")
        if got != want:
            mismatches += len(got ^ want)
            if mismatches < 5:
                print(f"{name}: {g['name']}: pixels differ at {sorted(got ^ want)[:8]}")
    return mismatches


def phase(name, started=[time.monotonic()]):
    """Reports how long the last phase took, so that slow checks show."""
    now = time.monotonic()
    print(f"  {name}: {now - started[0]:.1f} s", flush=True)
    started[0] = now


def check_fontforge(tool, font_name, folder, options=()):
    import fontforge

    bdf, info, sfd = check_conversion(tool, font_name, folder, options)
    phase("convert twice")
    header = header_values(sfd)
    font = open_quietly(fontforge, sfd, folder)
    phase("open in FontForge")
    count = sum(1 for _ in font.glyphs())
    if count != len(info["glyphs"]):
        raise Failure(f"{font_name}: FontForge has {count} glyphs for {len(info['glyphs'])}")
    for g in info["glyphs"]:
        if g["encoding"] not in font or font[g["encoding"]].glyphname != sfd_name(g["name"]):
            raise Failure(f"{font_name}: {g['name']} is not at slot {g['encoding']}")
    expect = {
        "fontname": header["FontName"],
        "fullname": header["FullName"],
        "familyname": header["FamilyName"],
        "ascent": int(header["Ascent"]),
        "descent": int(header["Descent"]),
    }
    for key, value in expect.items():
        if getattr(font, key) != value:
            raise Failure(f"{font_name}: {key} is {getattr(font, key)!r}, not {value!r}")
    if info.get("family") is not None and header["FontName"] != info["family"]:
        raise Failure(f"{font_name}: FontName {header['FontName']!r} is not the family name")
    phase("names and slots")
    mismatches = check_pixels(font, info, font.ascent, font_name, "-m" in options)
    if mismatches:
        raise Failure(f"{font_name}: {mismatches} pixels differ")
    phase("pixels")
    ttf = os.path.join(folder, font_name + ".ttf")
    otf = os.path.join(folder, font_name + ".otf")
    font.generate(ttf)
    phase("generate TrueType")
    # FontForge autohints PostScript outlines unless its preference says not
    # to, which takes many minutes on Unifont and tells nothing of the outlines.
    fontforge.setPrefs("AutoHint", False)
    font.generate(otf, flags=("no-hints",))
    phase("generate OpenType")
    font.close()
    render(ttf, len(info["glyphs"]))
    phase("render TrueType")
    render(otf, len(info["glyphs"]))
    phase("render OpenType")


def render(path, glyphs):
    import freetype

    face = freetype.Face(path)
    if face.num_glyphs < glyphs:
        raise Failure(f"{path}: {face.num_glyphs} glyphs for {glyphs}")
    face.set_pixel_sizes(0, 32)
    for index in range(face.num_glyphs):
        face.load_glyph(index, freetype.FT_LOAD_RENDER)


def check_damaged(tool, folder):
    """A square moved by a few pixels must be found by the pixel check."""
    import fontforge

    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "tiny.bdf")
    info = parse_bdf(source)
    sfd = os.path.join(folder, "tiny.sfd")
    convert(tool, source, sfd)
    good = open_quietly(fontforge, sfd, folder)
    if check_pixels(good, info, good.ascent, "tiny") != 0:
        raise Failure("the undamaged font fails the pixel check")
    text = open(sfd).read()
    # Move the first square of the H, at the left of its third row, three
    # pixels (192 units) to the right, onto a pixel that is not set.
    start = text.index("StartChar: H")
    at = text.index(" m 1\n", start)
    line_start = text.rindex("\n", 0, at) + 1
    square = text[line_start:text.index("\n", text.index(" l 1\n", at) + 80) + 1]
    lines = square.split("\n")[:5]
    moved = []
    for line in lines:
        parts = line.split(" ")
        offset = 1 if line.startswith(" ") else 0
        parts[offset] = f"{float(parts[offset]) + 192:f}"
        moved.append(" ".join(parts))
    damaged = text.replace("\n".join(lines), "\n".join(moved), 1)
    bad_path = os.path.join(folder, "damaged.sfd")
    open(bad_path, "w").write(damaged)
    bad = open_quietly(fontforge, bad_path, folder)
    found = check_pixels(bad, info, bad.ascent, "damaged")
    if found != 2:
        raise Failure(f"the damaged square gave {found} differing pixels, not 2")
    print("the moved square is found: 2 pixels differ")


def check_names(tool, folder):
    """Every printable ASCII byte at the start, middle and end of a name, and
    UTF-8 whole and broken, read back by FontForge as written."""
    import fontforge

    names = []
    for b in range(0x20, 0x7F):
        c = bytes([b])
        names += [c + b"s%d" % b, b"m%d" % b + c + b"m", b"e%d" % b + c]
    names += ["caf\u00e9".encode(), "\u20ac\U0001f600".encode(), b"cut\xc3", b"\xc3(x",
              b"\xc0\xafo", b"\xed\xa0\x80s", b"\xff\xfe", b"cr\r"]
    bdf = bytearray(b"STARTFONT 2.1\nFONTBOUNDINGBOX 8 16 0 -2\nSTARTPROPERTIES 3\n"
                    b"FAMILY_NAME \"Names\"\nFONT_ASCENT 14\nFONT_DESCENT 2\nENDPROPERTIES\n")
    bdf += b"CHARS %d\n" % len(names)
    for code, name in enumerate(names, 0x100):
        bdf += b"STARTCHAR " + name + b"\nENCODING %d\nBBX 8 16 0 -2\nBITMAP\n" % code
        bdf += b"18\n" * 16 + b"ENDCHAR\n"
    bdf += b"ENDFONT\n"
    path = os.path.join(folder, "names.bdf")
    open(path, "wb").write(bytes(bdf))
    sfd = os.path.join(folder, "names.sfd")
    convert(tool, path, sfd)
    font = open_quietly(fontforge, sfd, folder)
    wrong = []
    for code, name in enumerate(names, 0x100):
        want = sfd_name(name.decode("latin-1"))
        got = font[code].glyphname if code in font else None
        if got != want:
            wrong.append((name, want, got))
    if sum(1 for _ in font.glyphs()) != len(names) or wrong:
        raise Failure(f"names read back wrongly: {wrong[:5]}")
    print(f"{len(names)} names read back as written")


def options(arguments):
    """The tool's options for the script's own."""
    return (["-m"] if "--merge" in arguments else []) + (["-b"] if "--bdf" in arguments else [])


def sfd_glyphs(path):
    """Glyph records of an SFD by encoding: name, Width, contour points and the
    text from StartChar to EndChar."""
    glyphs = {}
    glyph = None
    with open(path, "rb") as text:
        for raw in text:
            line = raw.decode("utf-8", "replace")
            if line.startswith("StartChar: "):
                glyph = {"name": line[11:-1], "width": None, "contours": [], "text": [line]}
                continue
            if glyph is None:
                continue
            glyph["text"].append(line)
            if line.startswith("Encoding: "):
                glyphs[int(line.split()[1])] = glyph
            elif line.startswith("Width: "):
                glyph["width"] = int(line[7:])
            elif line.endswith(" m 1\n"):
                glyph["contours"].append([tuple(map(float, line.split()[:2]))])
            elif line.endswith(" l 1\n"):
                glyph["contours"][-1].append(tuple(map(float, line.split()[:2])))
            elif line.startswith("EndChar"):
                glyph = None
    return glyphs


def grid_pixels(contours, step):
    """The pixels inside contours by nonzero winding, as (column, height of the
    pixel's top edge) in pixels from the origin; every corner lies on the grid."""
    crossings = {}
    for contour in contours:
        points = [(round(x / step), round(y / step)) for x, y in contour]
        for (x, y), (gx, gy) in zip(contour, points):
            # Row tops start at the ascent, truncated to a whole unit.
            if abs(x / step - gx) > 1e-3 or abs(y / step - gy) > 1.001 / step:
                raise Failure(f"corner {x} {y} is not on the pixel grid of {step} units")
        for (x0, y0), (x1, y1) in zip(points, points[1:]):
            if x0 == x1 and y0 != y1:
                for top in range(min(y0, y1) + 1, max(y0, y1) + 1):
                    crossings.setdefault(top, []).append((x0, 1 if y1 > y0 else -1))
    pixels = set()
    for top, edges in crossings.items():
        edges.sort()
        turns = 0
        for (x, turn), (next_x, _) in zip(edges, edges[1:]):
            turns += turn
            if turns:
                pixels.update((c, top) for c in range(x, next_x))
    return pixels


def freetype_glyph(face, code, flags=None):
    """A glyph's set pixels as (column, top) from the origin, and its advance."""
    import freetype

    index = face.get_char_index(code)
    if index == 0:
        return None, None
    face.load_glyph(index, flags if flags is not None else freetype.FT_LOAD_RENDER)
    slot = face.glyph
    bitmap = slot.bitmap
    pixels = set()
    buffer = bitmap.buffer
    for r in range(bitmap.rows):
        for c in range(bitmap.width):
            if buffer[r * bitmap.pitch + c // 8] & (0x80 >> (c % 8)):
                pixels.add((slot.bitmap_left + c, slot.bitmap_top - r))
    return pixels, slot.advance.x / 64


def check_bdf_geometry(tool, font_name, folder, options):
    """With -b, every glyph has the pixels and advance FreeType's own BDF
    driver finds, placed at the same offsets from the origin."""
    import freetype

    bdf, info, sfd = check_conversion(tool, font_name, folder, options)
    check_line_ends(tool, bdf, sfd, folder, options)
    header = header_values(sfd)
    # The family holds FAMILY_NAME, behind the foundry of a Fixed font other than X.Org's.
    if (not POSTSCRIPT_NAME.fullmatch(header["FontName"])
            or (info["family"] or "").strip('"').lower() not in header["FamilyName"].lower()
            or not header["FullName"].startswith(header["FamilyName"])):
        raise Failure(f"{font_name}: names {header['FontName']!r}, {header['FullName']!r}")
    face = open_bdf_face(bdf)
    glyphs = sfd_glyphs(sfd)
    # A pixel's units, read back from the first glyph with an advance: a
    # power of two, which the other glyphs are then held to.
    step = next((int(glyphs[u]["width"] // advance) for g in info["glyphs"]
                 if (u := unicode_of(font_name, g["encoding"])) in glyphs
                 and (advance := freetype_glyph(face, g["encoding"])[1])), 1)
    if step & (step - 1):
        raise Failure(f"{font_name}: a pixel of {step} units")
    wrong = 0
    for g in info["glyphs"]:
        unicode = unicode_of(font_name, g["encoding"])
        if unicode is None:
            continue
        record = glyphs[unicode]
        want, advance = freetype_glyph(face, g["encoding"])
        if want is None:
            continue
        got = grid_pixels(record["contours"], step)
        if got != want or record["width"] != advance * step:
            wrong += 1
            if wrong < 5:
                print(f"{font_name}: {g['name']}: Width {record['width']} for {advance}; "
                      f"pixels differ at {sorted(got ^ want)[:8]}")
    if wrong:
        raise Failure(f"{font_name}: {wrong} glyphs differ from FreeType's reading")
    phase("pixels and advances against FreeType")
    if font_name in ("terminus-16n", "terminus-32b"):
        cell = os.path.join(folder, font_name + ".cell.sfd")
        convert(tool, bdf, cell, [o for o in options if o != "-b"])
        records = lambda path: open(path, "rb").read().split(b"StartChar: ", 1)[1]
        # The records differ in their flags and, where a BDF name is taken twice
        # or is no PostScript name, in their names.
        unnamed = lambda text: re.sub(rb"(?m)^StartChar: .*$", b"", text)
        unhinted = lambda path: unnamed(records(path).replace(b"Flags: W\n", b"Flags: HW\n"))
        if unhinted(sfd) != unnamed(records(cell)):
            raise Failure(f"{font_name}: -b changes the glyph records of a square cell")
        phase("records as in the cell")
    if font_name == "unifont":
        widths = {g["width"] for g in glyphs.values()}
        if widths != {512, 1024}:
            raise Failure(f"unifont: widths {sorted(widths)[:10]}")
    if font_name in ("fixed-6x13", "terminus-16n"):
        cropped = os.path.join(folder, font_name + ".cropped.bdf")
        crop_bdf(bdf, cropped)
        cropped_sfd = os.path.join(folder, font_name + ".cropped.sfd")
        convert(tool, cropped, cropped_sfd, options)
        again = sfd_glyphs(cropped_sfd)
        differ = [g["name"] for code, g in glyphs.items()
                  if [l for l in g["text"] if l.endswith((" m 1\n", " l 1\n"))]
                  != [l for l in again[code]["text"] if l.endswith((" m 1\n", " l 1\n"))]
                  or g["width"] != again[code]["width"]]
        if differ:
            raise Failure(f"{font_name}: cropped glyphs draw differently: {differ[:5]}")
        phase("cropped to the ink")
    check_rendering(font_name, sfd, info, face, folder)


def contour_lines(glyph):
    return [line for line in glyph["text"] if line.endswith((" m 1\n", " l 1\n"))]


def check_line_ends(tool, bdf, sfd, folder, options):
    """A copy of the BDF with CR LF line ends converts to the same SFD."""
    crlf = bdf + ".crlf.bdf"
    with open(bdf, "rb") as source, open(crlf, "wb") as target:
        target.write(source.read().replace(b"\n", b"\r\n"))
    again = os.path.join(folder, "crlf.sfd")
    convert(tool, crlf, again, options)
    if subprocess.run(["cmp", "-s", sfd, again]).returncode != 0:
        raise Failure(f"{bdf}: the CR LF copy converts differently")


def check_charset(tool, font_name, folder):
    """With -b a font in a legacy charset puts every glyph at its Unicode value."""
    import fontforge
    import freetype

    bdf, info, sfd = check_conversion(tool, font_name, folder, ["-b"])
    check_line_ends(tool, bdf, sfd, folder, ["-b"])
    glyphs = sfd_glyphs(sfd)
    if font_name.startswith("terminus-16n-"):
        # The same design in Unicode: each glyph must be there with the same contours.
        reference = make_bdf("terminus-16n", folder)
        reference_sfd = os.path.join(folder, "reference.sfd")
        convert(tool, reference, reference_sfd, ["-b"])
        unicode_glyphs = sfd_glyphs(reference_sfd)
        wrong = [g["name"] for code, g in glyphs.items()
                 if code < 0 or code not in unicode_glyphs
                 or contour_lines(g) != contour_lines(unicode_glyphs[code])]
        if wrong or len(glyphs) != len(info["glyphs"]):
            raise Failure(f"{font_name}: glyphs not as in the Unicode font: {wrong[:8]}")
        print(f"{font_name}: {len(glyphs)} glyphs as in the Unicode font")
        return
    codec, kind = CODECS[font_name]
    font = open_quietly(fontforge, sfd, folder)
    ttf = os.path.join(folder, font_name + ".ttf")
    font.generate(ttf)
    font.close()
    face = freetype.Face(ttf)
    found = 0
    taken = set()
    strict = codec in ("euc_jis_2004", "big5")
    # The names -b gave the glyphs, in the order of the BDF.
    with open(sfd, "rb") as text:
        given = [line[11:].decode().rstrip("\n") for line in text if line.startswith(b"StartChar: ")]
    for g, given_name in zip(info["glyphs"], given):
        code = g["encoding"]
        data = {"byte": lambda: bytes([code]),
                "euc": lambda: bytes([code >> 8 | 0x80, code & 0xFF | 0x80]),
                "plane2": lambda: bytes([0x8F, code >> 8 | 0x80, code & 0xFF | 0x80]),
                "raw": lambda: bytes([code >> 8, code & 0xFF])}[kind]()
        try:
            text = data.decode(codec)
        except UnicodeDecodeError:
            continue
        # A code of two characters, or one an earlier glyph took, has no value of its own.
        if len(text) != 1 or ord(text) in taken:
            continue
        taken.add(ord(text))
        index = face.get_char_index(ord(text))
        if not index and kind == "euc" and code in ALTERNATES:
            index = face.get_char_index(ALTERNATES[code])
        name = face.get_glyph_name(index).decode() if index else None
        if name != given_name:
            raise Failure(f"{font_name}: U+{ord(text):04X} finds {name}, not {given_name}")
        found += 1
    if found < len(info["glyphs"]) * 0.9 and not strict:
        raise Failure(f"{font_name}: only {found} of {len(info['glyphs'])} glyphs by Unicode")
    print(f"{font_name}: {found} glyphs found by their Unicode values")


def crop_bdf(source, target):
    """Writes the font with every glyph cropped to its ink: BBX adjusted,
    DWIDTH and everything else kept."""
    out = []
    box = rows = None
    for raw in open(source, "rb"):
        line = raw.decode("latin-1")
        words = line.split()
        if rows is not None:
            if words and words[0] == "ENDCHAR":
                w, h, x, y = box
                ink = [(c, r) for r, text in enumerate(rows)
                       for c in range(w) if int(text or "0", 16) >> (len(text) * 4 - 1 - c) & 1]
                if ink:
                    left = min(c for c, _ in ink)
                    right = max(c for c, _ in ink)
                    top = min(r for _, r in ink)
                    bottom = max(r for _, r in ink)
                    nw, nh = right - left + 1, bottom - top + 1
                    out.append(f"BBX {nw} {nh} {x + left} {y + h - 1 - bottom}\n")
                    out.append("BITMAP\n")
                    digits = 2 * ((nw + 7) // 8)
                    for r in range(top, bottom + 1):
                        value = sum(1 << (digits * 4 - 1 - (c - left)) for c, rr in ink if rr == r)
                        out.append(f"{value:0{digits}X}\n")
                else:
                    out.append("BBX 0 0 0 0\nBITMAP\n")
                out.append(line)
                rows = None
            else:
                rows.append(line.strip())
            continue
        if words and words[0] == "BBX":
            box = tuple(int(v) for v in words[1:5])
            continue
        if words and words[0] == "BITMAP":
            rows = []
            continue
        out.append(line)
    open(target, "wb").write("".join(out).encode("latin-1"))


def generate(sfd, target):
    """Makes a TrueType or OpenType font with the README's own FontForge command."""
    result = subprocess.run(["fontforge", "-lang=ff", "-c", "Open($1); Generate($2)", sfd, target],
                            capture_output=True)
    if result.returncode != 0 or not os.path.exists(target):
        raise Failure(f"FontForge made no {target}: {result.stderr.decode()[-300:]}")
    return target


def compare_faces(font_name, info, bdf_face, path, flags, label):
    """Every glyph of the font at path, loaded at the font's pixel size with
    flags, has the pixels, offsets and advance FreeType's BDF driver gives."""
    import freetype

    size = info.get("pixel_size", info["height"])
    face = freetype.Face(path)
    face.set_pixel_sizes(0, size)
    wrong = checked = 0
    done = set()
    for g in info["glyphs"]:
        want, advance = freetype_glyph(bdf_face, g["encoding"])
        unicode = unicode_of(font_name, g["encoding"])
        if want is None or unicode is None or unicode in done:
            continue
        done.add(unicode)
        got, got_advance = freetype_glyph(face, unicode, flags)
        checked += 1
        if got != want or round(got_advance) != advance:
            wrong += 1
            if wrong < 5:
                print(f"{font_name} {label}: {g['name']}: advance {got_advance} for {advance},"
                      f" pixels differ at {sorted((got or set()) ^ want)[:8]}")
    if wrong or checked == 0:
        raise Failure(f"{font_name}: {wrong} of {checked} glyphs differ in the {label}")
    phase(f"{label} at {size} ppem: {checked} glyphs")


def check_rendering(font_name, sfd, info, bdf_face, folder):
    """The TrueType and OpenType fonts made from the -b SFD render in
    monochrome at the font's pixel size like the BDF."""
    import freetype

    flags = (freetype.FT_LOAD_RENDER | freetype.FT_LOAD_TARGET_MONO | freetype.FT_LOAD_NO_HINTING
             | freetype.FT_LOAD_NO_BITMAP)
    for kind in ("ttf", "otf"):
        path = generate(sfd, os.path.join(folder, f"{font_name}.{kind}"))
        compare_faces(font_name, info, bdf_face, path, flags, f"{kind} outlines")
    if font_name == "unifont":
        spacing = subprocess.run(["fc-query", "-f", "%{spacing}", os.path.join(folder, "unifont.ttf")],
                                 capture_output=True, text=True).stdout
        if spacing != "90":
            raise Failure(f"unifont: fc-query says spacing {spacing!r}, not 90 (dual)")


# X.Org's Fixed family and Terminus: the members a packager installs side by side.
FAMILY = ["6x13", "6x13B", "6x13O", "7x13", "7x13B", "7x13O", "7x14", "7x14B", "8x13", "8x13B",
          "8x13O", "9x15", "9x15B", "9x18", "9x18B", "10x20", "ter-u16n_unicode",
          "ter-u16b_unicode", "ter-u32n_unicode", "ter-u32b_unicode"]
POSTSCRIPT_NAME = re.compile(r"[!-~]{1,63}")
POST_NAME = re.compile(r"(?![0-9])[A-Za-z0-9._]{1,63}|\.notdef")
FC_FORMAT = "%{family[0]}\t%{style[0]}\t%{weight}\t%{slant}\t%{width}\t%{spacing}\t%{postscriptname}"


def fc_query(path):
    return subprocess.run(["fc-query", "-f", FC_FORMAT, path], capture_output=True,
                          text=True).stdout.split("\t")


def check_strike(tool, font_name, folder, options):
    """With -s the SFD carries the bitmap as a strike: the TrueType font with
    embedded bitmaps and the OTB that FontForge makes of it give FreeType
    every glyph at the native size exactly as its BDF driver reads the BDF,
    and fontconfig finds the OTB at the pixel size and spacing of the PCF."""
    import fontforge
    import freetype

    bdf, info, sfd = check_conversion(tool, font_name, folder, options)
    without = os.path.join(folder, font_name + ".without.sfd")
    convert(tool, bdf, without, [o if o != "-s" else "-b" for o in options])
    # The records are those of -b but for the glyph index in their Encoding lines.
    records = lambda path: re.sub(rb"(?m)^(Encoding: -?\d+ -?\d+) -?\d+$", rb"\1",
                                  open(path, "rb").read().split(b"\nEndChars\n")[0])
    if records(sfd) != records(without):
        raise Failure(f"{font_name}: -s changes the outlines")
    size = info.get("pixel_size", info["height"])
    bdf_face = open_bdf_face(bdf)
    font = open_quietly(fontforge, sfd, folder)
    if [s for s in font.bitmapSizes] != [size]:
        raise Failure(f"{font_name}: strikes {font.bitmapSizes}, not {size}")
    outputs = {}
    for kind in ("ttf", "otb"):
        outputs[kind] = os.path.join(folder, f"{font_name}.strike.{kind}")
        font.generate(outputs[kind], bitmap_type=kind)
    font.close()
    phase("TrueType with bitmaps and OTB generated")
    for kind, path in outputs.items():
        compare_faces(font_name, info, bdf_face, path,
                      freetype.FT_LOAD_RENDER | freetype.FT_LOAD_TARGET_MONO, f"{kind} bitmaps")
    if FONTS[font_name].endswith(".pcf.gz"):
        query = lambda path: subprocess.run(["fc-query", "-f", "%{pixelsize} %{spacing}", path],
                                            capture_output=True, text=True).stdout
        # fontconfig skips a PCF it finds no Unicode map in; its BDF says the same.
        spacing = {"C": "110", "M": "100", "P": "0"}.get(info.get("spacing"), "0")
        want = query(FONTS[font_name]) or f"{size} {spacing}"
        if query(outputs["otb"]) != want:
            raise Failure(f"{font_name}: fc-query of the OTB says {query(outputs['otb'])!r}, "
                          f"not {want!r}")
    # The outlines of the TrueType font still render as they did.
    check_rendering(font_name, sfd, info, bdf_face, folder)


def grey_glyph(face, code):
    """A glyph's outline rendered in 8-bit grey without hints: its fully
    covered pixels as (column, top), whether any pixel is partly covered, and
    its linear advance in pixels."""
    import freetype

    index = face.get_char_index(code)
    if index == 0:
        return None, True, None
    face.load_glyph(index, freetype.FT_LOAD_RENDER | freetype.FT_LOAD_NO_BITMAP
                    | freetype.FT_LOAD_NO_HINTING)
    slot = face.glyph
    bitmap = slot.bitmap
    buffer = bitmap.buffer
    pixels, grey = set(), False
    for r in range(bitmap.rows):
        for c in range(bitmap.width):
            value = buffer[r * bitmap.pitch + c]
            grey = grey or value not in (0, 255)
            if value == 255:
                pixels.add((slot.bitmap_left + c, slot.bitmap_top - r))
    return pixels, grey, slot.linearHoriAdvance / 65536


def scaled(pixels, k):
    """Each pixel (column, top) as a k by k block."""
    return {(k * c + i, k * top - j) for c, top in pixels for i in range(k) for j in range(k)}


def reference_glyphs(font_name, info, bdf_face):
    """The glyphs to check (of Unifont every 61st), and of those the ones the
    BDF driver finds with a Unicode value: name, value, pixels, advance."""
    glyphs = info["glyphs"][::61] if font_name == "unifont" else info["glyphs"]
    reference = []
    for g in glyphs:
        unicode = unicode_of(font_name, g["encoding"])
        want, advance = freetype_glyph(bdf_face, g["encoding"])
        if want is not None and unicode is not None:
            reference.append((g["name"], unicode, want, advance))
    return glyphs, reference


def check_multiples(path, size, info, reference, label):
    """The font's outlines at 1 to 4 times the pixel size: the line k times
    the BDF's, every grey value 0 or 255, every pixel a k by k block of the
    reference glyph's (name, Unicode value, pixels, advance), every linear
    advance k times its advance."""
    import freetype

    face = freetype.Face(path)
    for k in (1, 2, 3, 4):
        face.set_pixel_sizes(0, k * size)
        line = (face.size.ascender / 64, -face.size.descender / 64)
        if line != (k * info["ascent_px"], k * info["descent_px"]):
            raise Failure(f"{label} at {k * size} ppem: line {line}")
        wrong = 0
        for name, unicode, want, advance in reference:
            got, grey, linear = grey_glyph(face, unicode)
            if got != scaled(want, k) or grey or linear != k * advance:
                wrong += 1
                if wrong < 4:
                    print(f"{label} x{k}: {name}: grey {grey}, advance {linear} for"
                          f" {k * advance}, pixels differ at "
                          f"{sorted((got or set()) ^ scaled(want, k))[:6]}")
        if wrong:
            raise Failure(f"{label}: {wrong} of {len(reference)} glyphs differ in the outlines"
                          f" at {k * size} ppem")
    phase(f"{label}: outlines at 1 to 4 times {size} ppem: {len(reference)} glyphs")


def check_scaled(tool, font_name, folder):
    """With -s -m, the outlines of the TrueType and OpenType fonts made by
    the README's commands render at every whole multiple of the pixel size
    in grey values of 0 and 255 alone, each pixel a k by k block of the BDF
    driver's, with k times its advance and line; the strike of the TrueType
    font and the OTB stand at the pixel size with every glyph, empty ones
    included."""
    import freetype

    bdf, info, sfd = check_conversion(tool, font_name, folder, ["-s", "-m"])
    size = info.get("pixel_size", info["height"])
    bdf_face = open_bdf_face(bdf)
    fonts = {}
    for kind, format in (("ttf", "ttf"), ("otf", "otf"), ("otb", "otb")):
        fonts[kind] = os.path.join(folder, f"{font_name}.{kind}")
        result = subprocess.run(["fontforge", "-lang=ff", "-c", "Open($1); Generate($2, $3)", sfd,
                                 fonts[kind], format], capture_output=True)
        if result.returncode != 0 or not os.path.exists(fonts[kind]):
            raise Failure(f"FontForge made no {fonts[kind]}: {result.stderr.decode()[-300:]}")
    phase("TrueType, OpenType and OTB generated")
    glyphs, reference = reference_glyphs(font_name, info, bdf_face)
    for kind in ("ttf", "otf"):
        check_multiples(fonts[kind], size, info, reference, f"{font_name} {kind}")
    for kind in ("ttf", "otb"):
        face = freetype.Face(fonts[kind])
        sizes = [s.y_ppem / 64 for s in face.available_sizes]
        pixelsize = subprocess.run(["fc-query", "-f", "%{pixelsize}", fonts[kind]],
                                   capture_output=True, text=True).stdout
        if sizes != [size] or (kind == "otb" and pixelsize != str(size)):
            raise Failure(f"{font_name} {kind}: strikes at {sizes}, fc-query {pixelsize!r}")
        face.set_pixel_sizes(0, size)
        wrong = 0
        for name, unicode, want, advance in reference:
            got, got_advance = freetype_glyph(
                face, unicode, freetype.FT_LOAD_RENDER | freetype.FT_LOAD_TARGET_MONO)
            if got != want or got_advance != advance:
                wrong += 1
                if wrong < 4:
                    print(f"{font_name} {kind} strike: {name}: advance {got_advance} for {advance}")
        if wrong:
            raise Failure(f"{font_name}: {wrong} glyphs differ in the {kind} strike")
    phase(f"strikes at {size} ppem")


def check_direct(tool, font_name, folder):
    """-T ttf and -T otf make the font FontForge makes of the -b -m SFD:
    ots-sanitize accepts it, fontTools reads every table, FontForge opens
    every glyph, fc-query and the cmap (with the TrueType font's glyph names)
    agree with FontForge's font, HarfBuzz shapes it, Pango draws a line as
    with FontForge's, two runs give the same bytes, and its outlines render
    at 1 to 4 times the pixel size in grey values of 0 and 255 alone, each
    pixel a k by k block of the BDF driver's, with k times its advance and
    line."""
    bdf, info, sfd = check_conversion(tool, font_name, folder, ["-b", "-m"])
    size = info.get("pixel_size", info["height"])
    theirs = generate(sfd, os.path.join(folder, font_name + "-fontforge.ttf"))
    bdf_face = open_bdf_face(bdf)
    _, reference = reference_glyphs(font_name, info, bdf_face)
    for kind in ("ttf", "otf"):
        ours = os.path.join(folder, f"{font_name}.{kind}")
        check_direct_font(tool, font_name, folder, kind, bdf, ours, theirs, size)
        check_multiples(ours, size, info, reference, f"{font_name} {kind}")
    check_woff2(tool, font_name, bdf, os.path.join(folder, f"{font_name}.otf"))
    check_direct_strikes(tool, font_name, folder, bdf, info, bdf_face)


def make_woff2(tool, bdf, path):
    result = subprocess.run([tool, "-T", "woff2", "-o", path, bdf], capture_output=True,
                            env=dict(os.environ, SOURCE_DATE_EPOCH=EPOCH))
    if result.returncode != 0:
        raise Failure(f"{bdf}: -T woff2: {result.stderr.decode()}")


def check_woff2(tool, font_name, bdf, otf):
    """-T woff2 wraps the -T otf font: ots-sanitize accepts it, fontTools
    reads it, and woff2_decompress gives back the OTF's tables, but for the
    flag in head that says the font went through WOFF 2.0 and the checksum
    that follows from it."""
    from fontTools.ttLib import TTFont

    ours = otf[:-4] + ".woff2"
    make_woff2(tool, bdf, ours)
    result = subprocess.run(["ots-sanitize", ours], capture_output=True, text=True)
    if result.returncode != 0:
        raise Failure(f"{font_name} woff2: ots-sanitize: {result.stdout}{result.stderr}")
    font = TTFont(ours)
    for tag in font.keys():
        font[tag]
    subprocess.run(["woff2_decompress", ours], check=True, capture_output=True)
    unwrapped, otf_font = TTFont(ours[:-6] + ".ttf"), TTFont(otf)
    for tag in otf_font.reader.keys():
        got, want = bytearray(unwrapped.reader[tag]), bytearray(otf_font.reader[tag])
        if tag == "head":
            got[8:12] = want[8:12] = b"\0" * 4
            got[16] &= ~0x08
        if got != want:
            raise Failure(f"{font_name} woff2: its {tag!r} is not the OTF's")
    if sorted(unwrapped.reader.keys()) != sorted(otf_font.reader.keys()):
        raise Failure(f"{font_name} woff2: tables {sorted(unwrapped.reader.keys())}")
    phase("woff2: sanitized, read, and the OTF's tables unwrapped")


def check_direct_font(tool, font_name, folder, kind, bdf, ours, theirs, size):
    """The checks of check_direct but the renderings, on one format."""
    from fontTools.ttLib import TTFont

    made = []
    for _ in range(2):
        result = subprocess.run([tool, "-T", kind, "-o", ours, bdf], capture_output=True,
                                env=dict(os.environ, SOURCE_DATE_EPOCH=EPOCH))
        if result.returncode != 0:
            raise Failure(f"{font_name}: -T {kind}: {result.stderr.decode()}")
        made.append(open(ours, "rb").read())
    if made[0] != made[1]:
        raise Failure(f"{font_name}: two runs differ")
    result = subprocess.run(["ots-sanitize", ours], capture_output=True, text=True)
    if result.returncode != 0:
        raise Failure(f"{font_name}: ots-sanitize: {result.stdout}{result.stderr}")
    font, reference_font = TTFont(ours), TTFont(theirs)
    for tag in font.keys():
        font[tag]
    query = ["fc-query", "-f", "%{family}|%{style}|%{weight}|%{slant}|%{spacing}\\n"]
    got = subprocess.run(query + [ours], capture_output=True, text=True).stdout
    want = subprocess.run(query + [theirs], capture_output=True, text=True).stdout
    if got != want:
        raise Failure(f"{font_name} {kind}: fc-query {got!r}, FontForge's font {want!r}")
    if fontforge_glyphs(ours) != font["maxp"].numGlyphs:
        raise Failure(f"{font_name} {kind}: FontForge opens {fontforge_glyphs(ours)} glyphs of"
                      f" {font['maxp'].numGlyphs}")
    cmap, reference_cmap = font.getBestCmap(), reference_font.getBestCmap()
    # FontForge adds .null and nonmarkingreturn at 0, 8, 9, 13 and 29 where the BDF has none.
    extra = {code for code, name in reference_cmap.items()
             if name in (".null", "nonmarkingreturn")}
    reference_cmap = {c: n for c, n in reference_cmap.items() if c not in extra}
    # A CID-keyed font's glyphs have no names: the codes must agree.
    if kind == "otf":
        cmap, reference_cmap = set(cmap), set(reference_cmap)
    if reference_cmap != cmap:
        differ = sorted(set(cmap) ^ set(reference_cmap))[:6]
        raise Failure(f"{font_name} {kind}: cmap differs from FontForge's: {differ}")
    shaped = subprocess.run(["hb-shape", ours, "Hello"], capture_output=True, text=True)
    if shaped.returncode != 0 or not shaped.stdout.startswith("["):
        raise Failure(f"{font_name} {kind}: hb-shape: {shaped.stderr}")
    # A line of the font's own characters, so that nothing falls back.
    text = "".join(chr(c) for c in sorted(cmap) if c > 0x20 and chr(c).isprintable())[:24]
    if pango_line(ours, folder, size, text) != pango_line(theirs, folder, size, text):
        raise Failure(f"{font_name} {kind}: pango-view draws the line unlike FontForge's font")
    phase(f"{kind}: made, sanitized, read, queried and drawn by Pango as FontForge's")


def fontforge_glyphs(path):
    """The glyphs FontForge finds when it opens the font at path."""
    result = subprocess.run(
        ["/usr/bin/python3", "-c", "import fontforge, sys\n"
         "print(sum(1 for g in fontforge.open(sys.argv[1]).glyphs()))", path],
        capture_output=True, text=True)
    if result.returncode != 0:
        raise Failure(f"FontForge can't open {path}: {result.stderr[-300:]}")
    return int(result.stdout.split()[-1])


def pango_line(path, folder, size, text):
    """The PNG pango-view draws of a line of text in the font at path alone,
    at its pixel size, without antialiasing or hinting."""
    fonts = os.path.join(folder, "pango-fonts")
    shutil.rmtree(fonts, ignore_errors=True)
    os.makedirs(fonts)
    shutil.copy(path, fonts)
    config = os.path.join(folder, "pango-fonts.conf")
    open(config, "w").write(
        f'<?xml version="1.0"?>\n<fontconfig><dir>{fonts}</dir>'
        f"<cachedir>{folder}/pango-cache</cachedir></fontconfig>\n")
    family = subprocess.run(["fc-query", "-f", "%{family[0]}", path], capture_output=True,
                            text=True).stdout
    png = os.path.join(folder, "line.png")
    subprocess.run(["pango-view", "-q", "--antialias=none", "--hinting=none", "--dpi=72",
                    f"--font={family} {size}px", f"--text={text}", "-o", png],
                   env=dict(os.environ, FONTCONFIG_FILE=config), check=True, capture_output=True)
    shutil.rmtree(os.path.join(folder, "pango-cache"), ignore_errors=True)
    return open(png, "rb").read()


def check_direct_strikes(tool, font_name, folder, bdf, info, bdf_face):
    """-T otb, -T ttf -s and -T otf -s: FontForge opens every glyph, every strike glyph
    is the BDF driver's, and fc-query reads the OTB as it reads FontForge's
    OTB of the -s SFD."""
    import freetype

    size = info.get("pixel_size", info["height"])
    sfd = os.path.join(folder, font_name + "-s.sfd")
    convert(tool, bdf, sfd, ["-s", "-m"])
    theirs = os.path.join(folder, font_name + "-fontforge.otb")
    result = subprocess.run(["fontforge", "-lang=ff", "-c", "Open($1); Generate($2, 'otb')", sfd,
                             theirs], capture_output=True)
    if result.returncode != 0 or not os.path.exists(theirs):
        raise Failure(f"FontForge made no {theirs}: {result.stderr.decode()[-300:]}")
    for kind, options in (("otb", ["-T", "otb"]), ("ttf", ["-T", "ttf", "-s"]),
                          ("otf", ["-T", "otf", "-s"])):
        ours = os.path.join(folder, f"{font_name}-strike.{kind}")
        result = subprocess.run([tool, *options, "-o", ours, bdf], capture_output=True)
        if result.returncode != 0:
            raise Failure(f"{font_name}: {' '.join(options)}: {result.stderr.decode()}")
        if kind != "otb":
            sanitized = subprocess.run(["ots-sanitize", ours], capture_output=True, text=True)
            if sanitized.returncode != 0:
                raise Failure(f"{font_name}: ots-sanitize of -s: {sanitized.stdout}")
        face = freetype.Face(ours)
        sizes = [s.y_ppem / 64 for s in face.available_sizes]
        if sizes != [size]:
            raise Failure(f"{font_name} {kind}: strikes at {sizes}")
        # Every glyph of the BDF; an OTB's empty .notdef has no bitmap to open.
        opened = fontforge_glyphs(ours)
        if opened != len(info["glyphs"]) + (kind != "otb"):
            raise Failure(f"{font_name} {kind}: FontForge opens {opened} glyphs")
        compare_faces(font_name, info, bdf_face, ours,
                      freetype.FT_LOAD_RENDER | freetype.FT_LOAD_TARGET_MONO, f"{kind} strike")
    query = ["fc-query", "-f", "%{family}|%{style}|%{weight}|%{slant}|%{spacing}|%{pixelsize}"]
    got = subprocess.run(query + [ours.replace(".otf", ".otb")], capture_output=True,
                         text=True).stdout
    want = subprocess.run(query + [theirs], capture_output=True, text=True).stdout
    if got != want:
        raise Failure(f"{font_name}: fc-query of the OTB {got!r}, FontForge's {want!r}")
    phase(f"OTB, TrueType and OpenType strike at {size} ppem, fc-query as FontForge's OTB")


def random_bdf(rng, path):
    """A well-formed BDF of random cell, line, boxes, offsets, advances and
    bits, some glyphs empty, at code points across the planes (one font in
    ten with no code at all); returns its pixel size and its glyphs' codes."""
    size = rng.randint(5, 40)
    ascent = rng.randint(1, size)
    descent = size - ascent
    width = rng.randint(1, 40)
    population = [c for c in range(0x20, 0x2FFFF, 97) if not 0xD800 <= c < 0xE000]
    codes = sorted(rng.sample(population + list(range(0xE0000, 0x10FFFE, 4099)),
                              rng.randint(1, 24)))
    glyphs = []
    unencoded = rng.random() < 0.1
    for code in codes:
        w, h = rng.choice([(0, 0), (rng.randint(1, 40), rng.randint(1, 40))])
        x, y = rng.randint(-6, 6), rng.randint(-descent - 4, ascent)
        row_bytes = (w + 7) // 8
        rows = []
        for _ in range(h):
            bits = rng.getrandbits(8 * row_bytes) if row_bytes else 0
            # Only the box's own columns may be set.
            bits &= ~((1 << (8 * row_bytes - w)) - 1) if w else 0
            rows.append(f"{bits:0{2 * row_bytes}X}" if row_bytes else "")
        glyphs.append(f"STARTCHAR g{code:X}\nENCODING {-1 if unencoded else code}\nSWIDTH 500 0\n"
                      f"DWIDTH {rng.randint(0, 40)} 0\nBBX {w} {h} {x} {y}\nBITMAP\n"
                      + "".join(r + "\n" for r in rows) + "ENDCHAR\n")
    with open(path, "w") as out:
        out.write(f"STARTFONT 2.1\nFONT -rand-r-medium-r-normal--{size}-{size * 10}-75-75-c-"
                  f"{width * 10}-iso10646-1\nSIZE {size} 75 75\n"
                  f"FONTBOUNDINGBOX {width} {size} 0 {-descent}\nSTARTPROPERTIES 5\n"
                  f"PIXEL_SIZE {size}\nFONT_ASCENT {ascent}\nFONT_DESCENT {descent}\n"
                  f"CHARSET_REGISTRY \"ISO10646\"\nCHARSET_ENCODING \"1\"\nENDPROPERTIES\n"
                  f"CHARS {len(glyphs)}\n" + "".join(glyphs) + "ENDFONT\n")
    return size, [] if unencoded else codes


def check_random_direct(tool, folder):
    """-T ttf and -T otf make a font of each of 300 random well-formed BDFs
    that ots-sanitize accepts and FreeType renders at its pixel size and
    twice that exactly as the BDF driver reads the BDF, advances included;
    -T otb an OTB whose strike FreeType reads as the BDF driver does."""
    import random
    import freetype

    rng = random.Random(20261210)
    kept = "/tmp/quadsmith-random-failure.bdf"
    for n in range(300):
        bdf = os.path.join(folder, "r.bdf")
        size, codes = random_bdf(rng, bdf)
        bdf_face = open_bdf_face(bdf)
        for kind in ("ttf", "otf", "otb"):
            font = os.path.join(folder, "r." + kind)
            result = subprocess.run([tool, "-T", kind, "-o", font, bdf], capture_output=True)
            if result.returncode != 0:
                raise Failure(f"font {n} {kind}: {result.stderr.decode()}")
            # ots-sanitize reads no OTB: it has no outlines.
            sanitized = subprocess.run(["ots-sanitize", font] if kind != "otb" else ["true"],
                                       capture_output=True, text=True)
            if sanitized.returncode != 0:
                shutil.copy(bdf, kept)
                raise Failure(f"font {n} {kind}: ots-sanitize: {sanitized.stdout}{sanitized.stderr}")
            face = freetype.Face(font)
            for k in (1,) if kind == "otb" else (1, 2):
                face.set_pixel_sizes(0, k * size)
                for code in codes:
                    want, advance = freetype_glyph(bdf_face, code)
                    if kind == "otb":
                        (got, linear), grey = freetype_glyph(
                            face, code, freetype.FT_LOAD_RENDER | freetype.FT_LOAD_TARGET_MONO), False
                    else:
                        got, grey, linear = grey_glyph(face, code)
                    if got != scaled(want, k) or grey or linear != k * advance:
                        shutil.copy(bdf, kept)
                        raise Failure(f"font {n} {kind}, U+{code:04X} at {k * size} ppem: grey"
                                      f" {grey}, advance {linear} for {k * advance}, pixels differ"
                                      f" at {sorted((got or set()) ^ scaled(want, k))[:6]} (the"
                                      f" BDF is kept in {kept})")
    phase("300 random fonts, TrueType, OpenType and OTB")


SIZES = {"terminus-n": [f"ter-u{n}n_unicode" for n in (16, 12, 14, 18, 20, 22, 24, 28, 32)],
         "terminus-b": [f"ter-u{n}b_unicode" for n in (16, 12, 14, 18, 20, 22, 24, 28, 32)],
         "spleen": [f"spleen-{cell}" for cell in ("8x16", "5x8", "6x12", "12x24", "16x32",
                                                  "32x64")]}


def readme_acceptfont():
    """The acceptfont rule of the README's fontconfig lines, and its family."""
    readme = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "README.md")).read()
    block = re.search(r"```xml\n(.*?acceptfont.*?)```", readme, re.S).group(1)
    rule = re.search(r"<selectfont>.*</selectfont>", block, re.S).group(0)
    return rule, re.search(r"<string>(.*?)</string>", rule).group(1)


def check_sizes(tool, face, folder):
    """The sizes of a face given together make one font: FreeType finds a
    strike at every size in the OTB and in the TrueType font, each glyph as
    the BDF driver reads that size's BDF; fontconfig lists every size under
    the face's family and, with the README's lines, matches each."""
    import freetype

    bdfs = []
    for member in SIZES[face]:
        FONTS[member] = MISC + member + ".pcf.gz"
        bdfs.append(make_bdf(member, folder))
    sfd = os.path.join(folder, face + ".sfd")
    with open(sfd, "wb") as out:
        result = subprocess.run([tool, "-s", "-m", *bdfs], stdout=out, stderr=subprocess.PIPE,
                                env=dict(os.environ, SOURCE_DATE_EPOCH=EPOCH))
    if result.returncode != 0:
        raise Failure(f"{face}: status {result.returncode}: {result.stderr.decode()}")
    fonts = os.path.join(folder, "fonts")
    os.makedirs(fonts, exist_ok=True)
    made = {kind: os.path.join(fonts, f"{face}.{kind}") for kind in ("otb", "ttf")}
    for kind, path in made.items():
        subprocess.run(["fontforge", "-lang=ff", "-c", "Open($1); Generate($2, $3)", sfd, path,
                        kind], capture_output=True, check=True)
    phase("OTB and TrueType with bitmaps generated")
    # The same fonts made directly.
    direct = {"direct otb": ["-T", "otb"], "direct ttf": ["-T", "ttf", "-s"],
              "direct otf": ["-T", "otf", "-s"]}
    for kind, options in direct.items():
        made[kind] = os.path.join(folder, f"{face}-{kind[7:]}.{kind[7:]}")
        subprocess.run([tool, *options, "-o", made[kind], *bdfs], capture_output=True, check=True)
    sizes = [parse_bdf(bdf).get("pixel_size") for bdf in bdfs]
    for kind, path in made.items():
        face_ft = freetype.Face(path)
        available = [s.y_ppem // 64 for s in face_ft.available_sizes]
        if sorted(available) != sorted(sizes):
            raise Failure(f"{face} {kind}: strikes at {available}, not {sizes}")
        for bdf, size in zip(bdfs, sizes):
            face_ft.select_size(available.index(size))
            bdf_face = open_bdf_face(bdf)
            wrong = checked = 0
            for g in parse_bdf(bdf)["glyphs"]:
                want, advance = freetype_glyph(bdf_face, g["encoding"])
                if want is None:
                    continue
                got, got_advance = freetype_glyph(
                    face_ft, g["encoding"], freetype.FT_LOAD_RENDER | freetype.FT_LOAD_TARGET_MONO)
                checked += 1
                if got != want or got_advance != advance:
                    wrong += 1
            if wrong or checked == 0:
                raise Failure(f"{face} {kind}: {wrong} of {checked} glyphs differ at {size} px")
        phase(f"{kind}: {len(sizes)} strikes as the BDF driver reads them")
    query = ["fc-query", "-f", "%{family}|%{style}|%{pixelsize}|%{weight}|%{spacing}"]
    family, style, pixelsizes, weight, _ = subprocess.run(
        query + [made["otb"]], capture_output=True, text=True).stdout.split("|")
    # FontForge's font of several strikes loses the charcell spacing its
    # BDF table should give; the direct one keeps it, as the projects' own
    # OTBs do.
    got = subprocess.run(query + [made["direct otb"]], capture_output=True, text=True).stdout
    if got != "|".join((family, style, pixelsizes, weight, "110")):
        raise Failure(f"{face}: fc-query of the direct OTB {got!r}, of FontForge's"
                      f" {'|'.join((family, style, pixelsizes, weight))!r}")
    if sorted(int(n) for n in pixelsizes.split(",")) != sorted(sizes):
        raise Failure(f"{face}: fc-query lists pixel sizes {pixelsizes}")
    print(f"{face}: {family} {style}, {os.path.getsize(made['otb'])} bytes of OTB")
    if face == "terminus-n":
        if (family, style) != ("Terminus", "Regular"):
            raise Failure(f"terminus: family {family!r}, style {style!r}")
        # Debian's own OTB of the same nine sizes.
        if os.path.getsize(made["otb"]) > 379108:
            raise Failure(f"terminus: {os.path.getsize(made['otb'])} bytes of OTB")
        # fonttosfnt's of the same nine sizes.
        if os.path.getsize(made["direct otb"]) > 309728:
            raise Failure(f"terminus: {os.path.getsize(made['direct otb'])} bytes of direct OTB")
        # Debian's rejection of bitmap fonts and the Terminus PCFs, without
        # its own rule that accepts Terminus: the README's lines alone must
        # let the OTB in, and no PCF.
        rule, readme_family = readme_acceptfont()
        config = os.path.join(folder, "fonts.conf")

        def match(size, accept):
            open(config, "w").write(
                '<?xml version="1.0"?>\n<fontconfig>\n'
                '<include ignore_missing="no">/etc/fonts/conf.d/70-no-bitmaps.conf</include>\n'
                f"<dir>{fonts}</dir>\n<dir>{MISC}</dir>\n<cachedir>{folder}/cache</cachedir>\n"
                f"{accept}\n</fontconfig>\n")
            return subprocess.run(["fc-match", "-f", "%{file}", f"{readme_family}:pixelsize={size}"],
                                  capture_output=True, text=True,
                                  env=dict(os.environ, FONTCONFIG_FILE=config)).stdout

        os.remove(made["ttf"])
        for size in sizes:
            found = match(size, rule)
            if found != made["otb"]:
                raise Failure(f"fc-match '{readme_family}:pixelsize={size}' finds {found!r}")
        if match(sizes[0], "") == made["otb"]:
            raise Failure("the OTB is found without the README's lines")
        # The direct OTB in its place.
        shutil.copy(made["direct otb"], made["otb"])
        shutil.rmtree(os.path.join(folder, "cache"), ignore_errors=True)
        for size in sizes:
            found = match(size, rule)
            if found != made["otb"]:
                raise Failure(f"direct OTB: fc-match '{readme_family}:pixelsize={size}' finds"
                              f" {found!r}")
        phase("fc-match finds FontForge's OTB and the direct one at every size with the"
              " README's lines, not without")
    elif face == "terminus-b" and (family, style) != ("Terminus", "Bold"):
        raise Failure(f"terminus bold: family {family!r}, style {style!r}")


def convert_pcf(job):
    """Converts one PCF with -b -m; returns its path, its FONT name, the
    tool's status and errors, and the FontName and FullName written."""
    tool, pcf = job
    data = gzip.open(pcf).read() if pcf.endswith(".gz") else open(pcf, "rb").read()
    bdf = subprocess.run(["pcf2bdf"], input=data, capture_output=True).stdout
    named = re.search(rb"^FONT (.*)$", bdf, re.M)
    result = subprocess.run([tool, "-b", "-m", "-"], input=bdf, capture_output=True)
    header = dict(re.findall(rb"^(FontName|FullName): (.*)$", result.stdout[:8192], re.M))
    return (pcf, named.group(1).strip().lower() if named else b"", result.returncode,
            result.stderr, header.get(b"FontName"), header.get(b"FullName"))


def check_every_x11_font(tool, folder):
    """Every PCF in the X11 font folders converts with -b -m, and no two of
    distinct FONT names get one FontName or FullName."""
    import glob
    import multiprocessing

    # xfonts-wqy installs its fonts uncompressed.
    fonts = sorted(glob.glob("/usr/share/fonts/X11/*/*.pcf.gz")
                   + glob.glob("/usr/share/fonts/X11/*/*.pcf"))
    with multiprocessing.Pool(os.cpu_count()) as pool:
        results = pool.map(convert_pcf, [(tool, f) for f in fonts], chunksize=8)
    refused = [(pcf, err) for pcf, _, status, err, *_ in results if status != 0]
    if len(fonts) < 100 or refused:
        raise Failure(f"{len(fonts)} fonts; {len(refused)} refused: {refused[:5]}")
    # Glyphs past 32 by 64 and charsets no table maps, among them.
    present = {pcf[len("/usr/share/fonts/X11/"):] for pcf in fonts}
    must = {"misc/jksp40.pcf.gz", "100dpi/lubB24.pcf.gz", "misc/olgl19.pcf.gz",
            "misc/ipa16-etl.pcf.gz", "misc/shnm8x16r.pcf.gz", "misc/mona8x16r.pcf.gz"}
    if not must <= present:
        raise Failure(f"missing: {sorted(must - present)}")
    for column, key in ((4, "FontName"), (5, "FullName")):
        owners = {}
        for result in results:
            owners.setdefault(result[column], set()).add(result[1])
        shared = {name: xlfds for name, xlfds in owners.items() if len(xlfds) > 1}
        if shared:
            raise Failure(f"{len(shared)} {key}s shared: {sorted(shared.items())[:3]}")
    print(f"{len(fonts)} X11 fonts convert, each under names of its own")


def enc_table(name):
    """An X.Org encoding file read by its own rules: code to Unicode."""
    folder = "/usr/share/fonts/X11/encodings/"
    path = folder + name + ".enc.gz"
    if not os.path.exists(path):
        path = folder + "large/" + name + ".enc.gz"
    table, mapping = {}, False
    size, first = [256], [0]
    for line in gzip.open(path, "rt"):
        words = line.split("#")[0].split()
        if not words:
            continue
        if words[0] in ("SIZE", "FIRSTINDEX"):
            (size if words[0] == "SIZE" else first)[:] = [int(w, 0) for w in words[1:]]
        elif words[0] == "STARTMAPPING":
            mapping = words[1] == "unicode"
        elif words[0] == "ENDMAPPING":
            mapping = False
        elif mapping and words[0] == "UNDEFINE":
            low, high = (int(w, 0) for w in words[1:3])
            for code in range(low, high + 1):
                table.pop(code, None)
        elif mapping and len(words) == 2:
            table[int(words[0], 0)] = int(words[1], 0)
        elif mapping and len(words) == 3:
            low, high, start = (int(w, 0) for w in words)
            for code in range(low, high + 1):
                table[code] = start + code - low
    # The codes inside the encoding's size map, from its first row on: every
    # column the file lists, those below its first index too (CNS 11643
    # lists column 0x21 below a FIRSTINDEX of 0x22).
    if len(size) == 2:
        inside = lambda code: first[0] <= code >> 8 < size[0] and code & 0xFF < size[1]
    else:
        inside = lambda code: first[0] <= code < size[0]
    return {code: value for code, value in table.items() if inside(code)}


def check_fontenc(tool, folder):
    """Fonts of charsets only X.Org's encodings know have their glyphs at the
    code points of the encoding files, found by FreeType in the TrueType
    font; a 3270 font, of a charset no table knows, maps by glyph names."""
    import freetype
    from fontTools.agl import toUnicode

    # koi16-etl and visc16-etl name charsets no table knows in their
    # properties and KOI8-R and VISCII1.1-1 in their FONT names.  Python has
    # no VISCII codec, and X.Org's table gives five letters twice: the one
    # of RFC 1456, as the C library's iconv has it, is the reference.
    byte = lambda g, codec: ord(bytes([g["encoding"]]).decode(codec))
    viscii = subprocess.run(["iconv", "-f", "VISCII", "-t", "UTF-32LE"], input=bytes(range(256)),
                            capture_output=True, check=True).stdout
    viscii = [int.from_bytes(viscii[4 * i:4 * i + 4], "little") for i in range(256)]
    # CNS 11643's planes past X.Org's three, as the C library's charmap of
    # EUC-TW gives them.
    cns6 = {}
    with gzip.open("/usr/share/i18n/charmaps/EUC-TW.gz", "rt", encoding="latin-1") as charmap:
        for line in charmap:
            found = re.match(r"<U([0-9A-F]+)>\s+/x8e/xa6/x([0-9a-f]{2})/x([0-9a-f]{2})", line)
            if found:
                code = (int(found.group(2), 16) & 0x7F) << 8 | int(found.group(3), 16) & 0x7F
                cns6.setdefault(code, int(found.group(1), 16))
    cases = [("arab24-2-etl", lambda g: enc_table("mulearabic-2").get(g["encoding"])),
             ("cns6-16", lambda g: cns6.get(g["encoding"])),
             ("koi16-etl", lambda g: byte(g, "koi8_r")),
             ("visc16-etl", lambda g: viscii[g["encoding"]]),
             ("cns1-16", lambda g: enc_table("cns11643-1").get(g["encoding"])),
             ("3270-20", lambda g: ord(toUnicode(g["name"])) if len(toUnicode(g["name"])) == 1
              else None)]
    for font_name, unicode_of_glyph in cases:
        FONTS[font_name] = MISC + font_name + ".pcf.gz"
        bdf = make_bdf(font_name, folder)
        info = parse_bdf(bdf)
        sfd = os.path.join(folder, font_name + ".sfd")
        convert(tool, bdf, sfd, ["-b"])
        ttf = generate(sfd, os.path.join(folder, font_name + ".ttf"))
        face = freetype.Face(ttf)
        with open(sfd, "rb") as text:
            given = [line[11:].decode().rstrip("\n") for line in text
                     if line.startswith(b"StartChar: ")]
        found, taken = 0, set()
        for g, name in zip(info["glyphs"], given):
            unicode = unicode_of_glyph(g)
            if unicode is None or unicode in taken or unicode == 0:
                continue
            taken.add(unicode)
            index = face.get_char_index(unicode)
            got = face.get_glyph_name(index).decode() if index else None
            if got != name:
                raise Failure(f"{font_name}: U+{unicode:04X} finds {got}, not {name}")
            found += 1
        every = font_name in ("koi16-etl", "visc16-etl")
        if found < len(info["glyphs"]) // 3 or (every and found != len(info["glyphs"])):
            raise Failure(f"{font_name}: {found} of {len(info['glyphs'])} glyphs mapped")
        print(f"{font_name}: {found} of {len(info['glyphs'])} glyphs at their Unicode values")


def check_distinct_names(tool, folder):
    """Fonts of different foundries or charsets that X11 calls alike get
    FontNames of their own, and fc-match finds each by its family."""
    # Pairs X11 called alike: foundries of one family, charcell and
    # proportional members, cells of 19 and 20 pixels, 75 and 100 dpi.
    pairs = ["7x14", "h14", "10x20", "10x20L2m", "mona8x16r", "shnm8x16r", "shnmk12",
             "shnmk12p", "knmzn12x", "knm12p", "thai8x20", "thai8x16", "koi10x19_w",
             "koi10x20_w", "koi8x16b_u", "koi10x16b_u"]
    fonts, seen = os.path.join(folder, "fonts"), {}
    os.mkdir(fonts)
    for member in pairs:
        FONTS[member] = MISC + member + ".pcf.gz"
        sfd = os.path.join(folder, member + ".sfd")
        convert(tool, make_bdf(member, folder), sfd, ["-b", "-m"])
        header = header_values(sfd)
        for key in ("FontName", "FullName"):
            if header[key] in seen:
                raise Failure(f"{member} and {seen[header[key]]} share {key} {header[key]!r}")
            seen[header[key]] = member
        generate(sfd, os.path.join(fonts, member + ".ttf"))
    config = os.path.join(folder, "fonts.conf")
    open(config, "w").write(f'<?xml version="1.0"?>\n<fontconfig><dir>{fonts}</dir>'
                            f"<cachedir>{folder}/cache</cachedir></fontconfig>\n")
    for member in pairs:
        ttf = os.path.join(fonts, member + ".ttf")
        family, style = subprocess.run(["fc-query", "-f", "%{family[0]}|%{style[0]}", ttf],
                                       capture_output=True, text=True).stdout.split("|")
        # A hyphen starts the size in fontconfig's pattern syntax unless escaped.
        pattern = family.replace("-", "\\-") + ":style=" + style
        found = subprocess.run(["fc-match", "-f", "%{file}", pattern], capture_output=True,
                               text=True, env=dict(os.environ, FONTCONFIG_FILE=config)).stdout
        if found != ttf:
            raise Failure(f"fc-match {pattern!r} finds {found}, not {member}")
        print(f"{member}: {pattern!r}")


def check_private_use(tool, folder):
    """A font of a charset nobody maps, MuleIPA, puts its glyphs at
    U+F0000 + code, where the TrueType font's cmap has each, and fontconfig
    reads its OTB."""
    from fontTools.ttLib import TTFont

    FONTS["ipa16-etl"] = MISC + "ipa16-etl.pcf.gz"
    bdf = make_bdf("ipa16-etl", folder)
    sfd = os.path.join(folder, "ipa16.sfd")
    with open(sfd, "wb") as out:
        subprocess.run([tool, "-s", "-m", bdf], stdout=out, check=True)
    made = {}
    for kind in ("ttf", "otb"):
        made[kind] = os.path.join(folder, "ipa16." + kind)
        subprocess.run(["fontforge", "-lang=ff", "-c", "Open($1); Generate($2, $3)", sfd,
                        made[kind], kind], capture_output=True, check=True)
    cmap = TTFont(made["ttf"]).getBestCmap()
    codes = [g["encoding"] for g in parse_bdf(bdf)["glyphs"]]
    missing = [code for code in codes if 0xF0000 + code not in cmap]
    if missing or not codes:
        raise Failure(f"ipa16-etl: {len(missing)} of {len(codes)} codes not at U+F0000 + code")
    query = subprocess.run(["fc-query", "-f", "%{family}|%{pixelsize}", made["otb"]],
                           capture_output=True, text=True)
    if query.returncode != 0 or not query.stdout.endswith("|16"):
        raise Failure(f"ipa16-etl: fc-query reads the OTB as {query.stdout!r}")
    print(f"ipa16-etl: {len(codes)} glyphs at U+F0000 + code; fc-query: {query.stdout}")


def check_proportions(tool, folder):
    """Several sizes whose advances or line are not the first's scaled, as
    HarfBuzz scales them, are said; sizes in proportion are not."""
    sets = {("koi8x16_u", "koi5x8_u"): 1, ("shnm8x16a", "shnm6x12a", "shnm7x14a"): 2,
            ("ter-u16n_unicode", "ter-u32n_unicode"): 0, ("spleen-8x16", "spleen-16x32"): 0}
    for members, noted in sets.items():
        bdfs = []
        for member in members:
            FONTS[member] = MISC + member + ".pcf.gz"
            bdfs.append(make_bdf(member, folder))
        result = subprocess.run([tool, "-s", "-m", *bdfs], stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, text=True)
        said = [line for line in result.stderr.splitlines() if "Pango and HarfBuzz" in line]
        if result.returncode != 0 or len(said) != noted:
            raise Failure(f"{members}: {result.returncode}, {said}")
        print(f"{' + '.join(members)}: {len(said)} sizes out of proportion")


def editor_bdf(weight, setwidth, box_height, average):
    """A face member shaped as pixel-font editors export BDF: a FONT name of
    thirteen fields (no foundry), no PIXEL_SIZE, SIZE 16 75 75, a line of 14
    and 2, a box taller than the line, a foundry of free text."""
    glyphs = "".join(
        f"STARTCHAR u{code:04X}\nENCODING {code}\nDWIDTH 8 0\nBBX 8 12 0 0\nBITMAP\n"
        + "".join(f"{(code * 7 + r * 13) & 0xFF:02X}\n" for r in range(12)) + "ENDCHAR\n"
        for code in range(0x21, 0x7F))
    return (f"STARTFONT 2.1\nFONT -Foo11-{weight}-R-{setwidth}--16-16-75-75-c-{average}-iso10646-1\n"
            f"SIZE 16 75 75\nFONTBOUNDINGBOX 12 {box_height} -2 -4\nSTARTPROPERTIES 7\n"
            f'FOUNDRY "Made with Pixel Editor by Someone"\nFAMILY_NAME "Foo11"\n'
            f'WEIGHT_NAME "{weight}"\nPOINT_SIZE 12\nFONT_ASCENT 14\nFONT_DESCENT 2\n'
            f'SPACING "C"\nENDPROPERTIES\nCHARS 94\n{glyphs}ENDFONT\n')


def check_editor_fonts(tool, folder):
    """A face drawn in a pixel-font editor keeps its size and its one family:
    fontconfig finds Regular, Bold and Condensed as one family of those
    styles, weights and widths, the fonts are exact at 16, 32 and 48 pixels
    and the OTB's strike is 16; X11 faces of one family but proportional
    cells share theirs too."""
    fonts = os.path.join(folder, "fonts")
    os.mkdir(fonts)
    members = {"Regular": ("Regular", "Normal", 21, 80), "Bold": ("Bold", "Normal", 17, 80),
               "Condensed": ("Condensed", "Condensed", 20, 60)}
    want = {"Regular": ("80", "100"), "Bold": ("200", "100"), "Condensed": ("80", "75")}
    problems = []
    for style, shape in members.items():
        bdf = os.path.join(folder, f"Foo11-{style}.bdf")
        open(bdf, "w").write(editor_bdf(*shape))
        ttf, otb = os.path.join(fonts, f"Foo11-{style}.ttf"), os.path.join(folder, style + ".otb")
        for form, path in (("ttf", ttf), ("otb", otb)):
            subprocess.run([tool, "-T", form, "-o", path, bdf], check=True, capture_output=True)
        said = subprocess.run(["fc-query", "-f", "%{family}|%{style}|%{weight}|%{width}", ttf],
                              capture_output=True, text=True).stdout
        if said != f"Foo11|{style}|{want[style][0]}|{want[style][1]}":
            problems.append(f"{style}: fc-query {said}")
        strike = subprocess.run(["fc-query", "-f", "%{pixelsize}", otb], capture_output=True,
                                text=True).stdout
        if strike != "16":
            problems.append(f"{style}: OTB strike {strike}")
        info = parse_bdf(bdf)
        check_multiples(ttf, 16, info, reference_glyphs("Foo11", info, open_bdf_face(bdf))[1],
                        f"Foo11 {style}")
    config = os.path.join(folder, "fonts.conf")
    open(config, "w").write(f'<?xml version="1.0"?>\n<fontconfig><dir>{fonts}</dir>'
                            f"<cachedir>{folder}/cache</cachedir></fontconfig>\n")
    for pattern, style in (("Foo11", "Regular"), ("Foo11:bold", "Bold"),
                           ("Foo11:condensed", "Condensed")):
        found = subprocess.run(["fc-match", "-f", "%{style}", pattern], capture_output=True,
                               text=True, env=dict(os.environ, FONTCONFIG_FILE=config)).stdout
        if found != style:
            problems.append(f"fc-match {pattern} finds {found}")
    for pair in (("mplus_h10r", "mplus_h10b"), ("charR08-IL2", "charI08-IL2")):
        families = set()
        for member in pair:
            FONTS[member] = glob.glob(f"/usr/share/fonts/X11/*/{member}.pcf.gz")[0]
            sfd = os.path.join(folder, member + ".sfd")
            convert(tool, make_bdf(member, folder), sfd, ["-b"])
            families.add(header_values(sfd)["FamilyName"])
        if len(families) != 1:
            problems.append(f"{pair}: families {sorted(families)}")
    if problems:
        raise Failure("; ".join(problems[:8]))


def check_family(tool, folder):
    """Each member of a family converts to fonts that fontconfig finds as it
    finds the bitmap, with OS/2, post and name tables that say the same, and
    names that no other member shares."""
    from fontTools.ttLib import TTFont

    seen_styles, seen_names = {}, {}
    for member in FAMILY:
        pcf = MISC + member + ".pcf.gz"
        FONTS[member] = pcf
        bdf = make_bdf(member, folder)
        info = parse_bdf(bdf)
        sfd = os.path.join(folder, member + ".sfd")
        convert(tool, bdf, sfd, ["-b", "-m"])
        ttf = generate(sfd, os.path.join(folder, member + ".ttf"))
        otf = generate(sfd, os.path.join(folder, member + ".otf"))
        bitmap, outline = fc_query(pcf), fc_query(ttf)
        family, style, weight, slant, width, spacing, psname = outline
        problems = []
        if (weight, slant, width) != tuple(bitmap[2:5]):
            problems.append(f"weight, slant, width {outline[2:5]} for {bitmap[2:5]}")
        if not set(bitmap[1].split()) <= set(style.split()):
            problems.append(f"style {style!r} for {bitmap[1]!r}")
        if bitmap[5] in ("100", "110") and spacing != "100":
            problems.append(f"spacing {spacing} for {bitmap[5]}")
        for key, table in (((family, style), seen_styles), (psname, seen_names)):
            if key in table:
                problems.append(f"{key} as {table[key]} has it")
            table[key] = member
        font = TTFont(ttf)
        os2, post, head, names = font["OS/2"], font["post"], font["head"], font["name"]
        bold = info.get("weight_name", "").lower() == "bold"
        selection = (0x20 if bold else 0) | {"I": 0x1, "O": 0x200}.get(info.get("slant"), 0)
        if os2.version != 4 or os2.usWeightClass != (700 if bold else os2.usWeightClass):
            problems.append(f"OS/2 version {os2.version}, weight {os2.usWeightClass}")
        if os2.fsSelection & 0x261 != (selection or 0x40):
            problems.append(f"fsSelection {os2.fsSelection:#x}")
        step = head.unitsPerEm // info["pixel_size"]
        for key, value in (("x_height", os2.sxHeight), ("cap_height", os2.sCapHeight)):
            # A value past the ascent is left out, and FontForge measures its own.
            if 0 < info.get(key, 0) < info["ascent_px"] and value != info[key] * step:
                problems.append(f"{key} {value} for {info[key]} pixels")
        if os2.usWinAscent < head.yMax or os2.usWinDescent < -head.yMin:
            problems.append(f"Windows metrics {os2.usWinAscent} {os2.usWinDescent}")
        if info.get("spacing") in ("C", "M") and not post.isFixedPitch:
            problems.append("not fixed pitch")
        header = header_values(sfd)
        said = [names.getDebugName(i) for i in (1, 2, 4, 6)]
        if said != [family, style, header["FullName"], psname] or family != header["FamilyName"]:
            problems.append(f"name table {said}")
        for kind, glyph_names in (("post", font.getGlyphOrder()),
                                  ("CFF", TTFont(otf).getGlyphOrder())):
            bad = [n for n in glyph_names if not POST_NAME.fullmatch(n)]
            if bad or len(set(glyph_names)) != len(glyph_names):
                problems.append(f"{kind} names {bad[:5]} of {len(glyph_names)}")
        if problems:
            raise Failure(f"{member}: " + "; ".join(problems))
        print(f"{member}: {family} | {style} | {psname}")


# The fonts made directly, whose bytes are held too.
def check_big5_cmaps(tool, folder):
    """Big5's taipei16 and taipei24, whose glyphs come in an order of one
    cmap segment a character, made TrueType and OpenType: ots-sanitize
    accepts them, and their cmap maps every code the BDF's glyphs have."""
    from fontTools.ttLib import TTFont

    for name in ("taipei16", "taipei24"):
        bdf = make_bdf(name, folder)
        for kind in ("ttf", "otf"):
            font = os.path.join(folder, f"{name}.{kind}")
            made = subprocess.run([tool, "-T", kind, "-o", font, bdf], capture_output=True,
                                  text=True)
            sanitized = subprocess.run(["ots-sanitize", font], capture_output=True, text=True)
            if made.returncode != 0 or sanitized.returncode != 0:
                raise Failure(f"{name} {kind}: {made.stderr}{sanitized.stdout}")
            glyphs = int(re.search(r"Processed (\d+) glyphs", made.stderr).group(1))
            unmapped = re.search(r"(\d+) without a Unicode value", made.stderr)
            mapped = glyphs - (int(unmapped.group(1)) if unmapped else 0)
            if len(TTFont(font).getBestCmap()) != mapped:
                raise Failure(f"{name} {kind}: cmap of {len(TTFont(font).getBestCmap())} codes,"
                              f" {mapped} glyphs mapped")
    phase("taipei16 and taipei24 made TrueType and OpenType, sanitized, every code mapped")


def strike_images(path):
    """Every glyph image FreeType draws of a font's first strike, but the
    first glyph (the BDF driver's default glyph, an sfnt's .notdef): a count
    of each (pixels, advance)."""
    import collections
    import freetype

    face = freetype.Face(path)
    face.select_size(0)
    images = collections.Counter()
    for index in range(1, face.num_glyphs):
        face.load_glyph(index, freetype.FT_LOAD_RENDER | freetype.FT_LOAD_TARGET_MONO)
        slot, bitmap = face.glyph, face.glyph.bitmap
        data = bytes(bitmap.buffer)
        images[frozenset((slot.bitmap_left + c, slot.bitmap_top - r)
                         for r in range(bitmap.rows) for c in range(bitmap.width)
                         if data[r * bitmap.pitch + c // 8] & (0x80 >> (c % 8))),
               slot.advance.x] += 1
    return images


def check_collection(tool, folder):
    """A packager's collection, every fourth font of the X11 misc and 75dpi
    folders, made OTB: every one is made, FreeType draws every glyph of it
    as the BDF driver draws the BDF's (in Unicode order, so compared as a
    whole), and fc-query finds the PCF font's SPACING in it."""
    fonts = sorted(glob.glob("/usr/share/fonts/X11/misc/*.pcf.gz") +
                   glob.glob("/usr/share/fonts/X11/75dpi/*.pcf.gz"))[::4]
    query = ["fc-query", "-f", "%{spacing}\\n"]
    wrong = []
    for n, pcf in enumerate(fonts):
        bdf, otb = os.path.join(folder, f"{n}.bdf"), os.path.join(folder, f"{n}.otb")
        with open(bdf, "wb") as out:
            subprocess.run(["pcf2bdf"], input=gzip.open(pcf).read(), stdout=out, check=True)
        made = subprocess.run([tool, "-T", "otb", "-o", otb, bdf], capture_output=True)
        name = os.path.basename(pcf)
        if made.returncode != 0:
            wrong.append(f"{name}: {made.stderr.decode().strip()[-200:]}")
            continue
        # fontconfig reads the PCF font the BDF was made of.
        got, want = (subprocess.run(query + [path], capture_output=True, text=True).stdout
                     for path in (otb, pcf))
        # Some PCF fonts FreeType does not open (Baekmuk's); their BDFs it
        # does.  A font says its spacing in its SPACING property, or not at all.
        said = b"\nSPACING " in open(bdf, "rb").read()
        if want and said and got.split("\n")[0] != want.split("\n")[0]:
            wrong.append(f"{name}: fc-query {got!r}, of the PCF font {want!r}")
        elif strike_images(otb) != strike_images(bdf):
            wrong.append(f"{name}: the strike is not the BDF's")
        os.remove(bdf)
        os.remove(otb)
    if wrong:
        raise Failure(f"{len(wrong)} of {len(fonts)} fonts: " + "; ".join(wrong[:5]))
    phase(f"{len(fonts)} fonts made OTB, drawn and queried as their BDFs")


DIRECT_MODES = ("-T ttf", "-T otf", "-T otb", "-T ttf -s", "-T otf -s")
# Conversions whose bytes must not change: fonts and modes, each held to the
# SHA-256 of its standard output and of its standard error, seconds aside.
DIGEST_CASES = [(font, mode) for font in
                ("fixed-6x13", "fixed-9x15", "fixed-10x20", "terminus-12n", "terminus-32b",
                 "helvR12", "k14", "koi12x24b_c", "spleen-12x24", "jksp40", "unifont")
                for mode in ("", "-m", "-b", "-b -m", "-s -m") + DIRECT_MODES] + [
    (sizes, mode) for sizes in ("terminus-n", "spleen")
    for mode in ("-s -m", "-T otb", "-T ttf -s", "-T otf -s")] + [("spleen", "-s")]
DIGESTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "digests.txt")


def digest_run(tool, font, mode, folder):
    if font in SIZES:
        paths = [os.path.join(folder, name + ".bdf") for name in SIZES[font]]
        for name, path in zip(SIZES[font], paths):
            if not os.path.exists(path):
                subprocess.run(["pcf2bdf", "-o", path, MISC + name + ".pcf.gz"], check=True)
    else:
        path = os.path.join(folder, font + ".bdf")
        paths = [path if os.path.exists(path) else make_bdf(font, folder)]
    # Relative names, so that the messages do not depend on the folder.
    result = subprocess.run([tool, *mode.split(), *(os.path.basename(p) for p in paths)],
                            cwd=folder, capture_output=True,
                            env=dict(os.environ, SOURCE_DATE_EPOCH=EPOCH))
    errors = re.sub(rb" in \d+\.\d{6} seconds", b" in S seconds", result.stderr)
    return (f"{font} {mode or '-'} {result.returncode} {hashlib.sha256(result.stdout).hexdigest()}"
            f" {hashlib.sha256(errors).hexdigest()}")


def check_digests(tool, folder, write=False):
    """The table's conversions give the bytes recorded in tests/data/digests.txt."""
    lines = [digest_run(tool, font, mode, folder) for font, mode in DIGEST_CASES]
    if write:
        with open(DIGESTS, "w") as out:
            out.write("\n".join(lines) + "\n")
        return
    recorded = open(DIGESTS).read().splitlines()
    changed = [line for line in lines if line not in recorded]
    if changed:
        raise Failure("output changed: " + "; ".join(changed))


# Checks of the whole run, named by the first argument.
RUN_CHECKS = {"--damaged": check_damaged, "--family": check_family,
              "--every-x11-font": check_every_x11_font, "--fontenc": check_fontenc,
              "--distinct-names": check_distinct_names, "--private-use": check_private_use,
              "--proportions": check_proportions, "--names": check_names,
              "--digests": check_digests, "--random-direct": check_random_direct,
              "--editor-fonts": check_editor_fonts, "--collection": check_collection,
              "--big5": check_big5_cmaps,
              "--write-digests": lambda tool, folder: check_digests(tool, folder, write=True)}
# Checks of one font, named by the first flag behind it that has one.
FONT_CHECKS = {"--sizes": lambda tool, font, folder, flags: check_sizes(tool, font, folder),
               "--charset": lambda tool, font, folder, flags: check_charset(tool, font, folder),
               "--scaled": lambda tool, font, folder, flags: check_scaled(tool, font, folder),
               "--direct": lambda tool, font, folder, flags: check_direct(tool, font, folder),
               "--strike": lambda tool, font, folder, flags: check_strike(
                   tool, font, folder, ["-s"] + (["-m"] if "--merge" in flags else [])),
               "--bdf": lambda tool, font, folder, flags: check_bdf_geometry(
                   tool, font, folder, options(flags)),
               "--fontforge": lambda tool, font, folder, flags: check_fontforge(
                   tool, font, folder, options(flags))}


def run_check(prefix, label, check):
    """Runs check(folder) in a scratch folder: 0 when it holds, 1 with its
    failure said."""
    with tempfile.TemporaryDirectory(prefix=prefix) as folder:
        try:
            check(folder)
        except Failure as failure:
            print(f"FAIL: {failure}", file=sys.stderr)
            return 1
    print(f"ok: {label}")
    return 0


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    tool = os.path.abspath(sys.argv[1])
    font, flags = sys.argv[2], sys.argv[3:]
    if font in RUN_CHECKS:
        return run_check("quadsmith-real.", font, lambda folder: RUN_CHECKS[font](tool, folder))
    check = next((FONT_CHECKS[flag] for flag in FONT_CHECKS if flag in flags),
                 lambda tool, font, folder, flags: check_conversion(
                     tool, font, folder, options(flags)))
    return run_check("quadsmith-real.", " ".join(sys.argv[2:]),
                     lambda folder: check(tool, font, folder, flags))


if __name__ == "__main__":
    sys.exit(main())
