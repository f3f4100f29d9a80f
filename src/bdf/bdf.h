// Recognition of the BDF keywords the converter acts on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The font a run writes: the SFD, or with -T a font made directly.
enum font_format { FORMAT_SFD, FORMAT_TTF, FORMAT_OTF, FORMAT_OTB };

// The output modes chosen on the command line.
struct conversion_options {
  bool merge = false;              // -m: one outline per shape instead of one square per pixel
  bool bdf = false;                // -b: the BDF's own glyph geometry and text
  bool strike = false;             // -s: the bitmaps too, as a strike (implies bdf)
  font_format format = FORMAT_SFD; // -T: the font itself (implies bdf)
  bool woff2 = false;              // -T woff2: the OTF wrapped for web pages
};

// The keywords, in the order the first token of a line is compared with them.
enum keyword {
  KW_NONE,
  KW_FAMILY_NAME,
  KW_COPYRIGHT,
  KW_FONTBOUNDINGBOX,
  KW_FONT_ASCENT,
  KW_FONT_DESCENT,
  KW_FONT_VERSION,
  KW_CHARS,
  KW_STARTCHAR,
  KW_ENCODING,
  KW_BITMAP,
  KW_ENDCHAR,
  // Recognized only with the BDF's own geometry and text (-b).
  KW_BBX,
  KW_DWIDTH,
  KW_CHARSET_REGISTRY,
  KW_CHARSET_ENCODING,
  // The rest of the BDF structure, checked with -b.
  KW_STARTFONT,
  KW_ENDFONT,
  KW_COMMENT,
  KW_FONT,
  KW_SIZE,
  KW_CONTENTVERSION,
  KW_METRICSSET,
  KW_STARTPROPERTIES,
  KW_ENDPROPERTIES,
  KW_SWIDTH,
  KW_SWIDTH1,
  KW_DWIDTH1,
  KW_VVECTOR,
  KW_PIXEL_SIZE,
  KW_FOUNDRY,
  KW_WEIGHT_NAME,
  KW_SLANT,
  KW_SETWIDTH_NAME,
  KW_ADD_STYLE_NAME,
  KW_SPACING,
  KW_AVERAGE_WIDTH,
  KW_NOTICE,
  KW_X_HEIGHT,
  KW_CAP_HEIGHT,
  KW_UNDERLINE_POSITION,
  KW_UNDERLINE_THICKNESS,
};

// The last keyword of the default reading, and the last of all.
constexpr int last_default_keyword = KW_ENDCHAR;
constexpr int last_keyword = KW_UNDERLINE_THICKNESS;

// One input line being tokenized in the manner of strtok, without writing to it.
struct bdf_line {
  std::string_view text;  // the line up to its first NUL byte, line feed included
  std::string_view first; // the first token once recognized; empty if the line has none
  size_t cursor = 0;      // where the next token search starts; past the end when done
};

// A set of delimiter bytes for next_token, made at compile time.  Only bytes
// below 64 can be members, which covers blank, tab and line feed.
struct delimiter_set {
  uint64_t bits = 0;
  consteval delimiter_set(const char *members) {
    for (; *members != '\0'; members++)
      bits |= uint64_t{1} << static_cast<unsigned char>(*members);
  }
  constexpr bool has(char c) const {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 64 && (bits >> byte & 1) != 0;
  }
};

// What a keyword is to the BDF's own reading (-b), which hands its line on by it.
enum keyword_role {
  ROLE_ROW,       // no keyword: a bitmap row, or a line out of place
  ROLE_STRUCTURE, // checked, and nothing to write
  ROLE_IDENTITY,  // names the font: its identity, from which the header is made
  ROLE_CHARSET,   // names the charset the codes are read in
  ROLE_HEADER,    // the font's cell, line and texts the header takes as they stand
  ROLE_GLYPH,     // a glyph's record, box and advance
};

// What the converter knows of a keyword.
struct keyword_facts {
  std::string_view name; // as it stands in a BDF; empty for KW_NONE
  bool takes_value;      // its action wants the rest of the line (default reading)
  bool writes_output;    // its action writes output or changes the cell
  bool property; // a property the converter reads, between STARTPROPERTIES and ENDPROPERTIES
  keyword_role role;
};

// The facts of a keyword.
const keyword_facts &facts(keyword code);

// The keyword's text as it stands in a BDF; empty for KW_NONE.
std::string_view keyword_name(keyword code);

// Makes a line ready for recognition; the text ends at the first NUL byte.
bdf_line make_line(std::string_view raw);

// Returns the next token delimited by any byte of delims, or an empty view
// when none is left, in which case nothing remains for later calls either.
std::string_view next_token(bdf_line &line, delimiter_set delims);

// Recognizes the keyword that starts the line and leaves the cursor behind
// it; the per-glyph metric and charset keywords only when bdf_geometry is set.
keyword parse_keyword(bdf_line &line, bool bdf_geometry = false);

// The line without its line end, a line feed or a carriage return and a
// line feed, as BDF reads it.
std::string_view without_line_end(std::string_view text);

// Reads a BDF string value into to, which has room for value.size() bytes:
// enclosing double quotes are removed and a doubled quote inside stands for
// one; an unquoted value stays as it is.  Returns the length read.
size_t read_bdf_string(std::string_view value, char *to);

// True for the keywords whose action needs the rest of the line as its value.
bool takes_value(keyword code);

// Splits an XLFD font name, such as -misc-fixed-medium-r-normal--13-120-75-
// 75-c-70-iso8859-1, into its fourteen fields; false if it is none.  A name
// of thirteen fields that reads as one without its foundry, as pixel-font
// editors write them (-Family-Bold-R-Normal--16-16-75-75-c-80-iso10646-1),
// is taken with an empty foundry.
bool xlfd_fields(std::string_view name, std::string_view fields[14]);

// The text without the blanks and tabs around it.
std::string_view trimmed(std::string_view text);

// The value of a value-taking keyword: the rest of the line up to its line
// feed, or an empty view when there is none.
std::string_view take_value(bdf_line &line);
