// Font-level properties and the SFD font header.
#pragma once

#include <cstdint>
#include <string_view>

#include "bdf/identity.h"
#include "io/io.h"

// The properties handed to the header writer.  A text whose data() is null
// is unset; an empty text with a non-null data() is set.
struct font_info {
  std::string_view name;      // FullName and FamilyName
  std::string_view psname;    // FontName
  std::string_view chars;     // the CHARS value, borrowed while its line is handled
  std::string_view copyright; // owned once set
  std::string_view version;   // owned once set
  int32_t ascent = 0;         // font units
  int32_t descent = 0;        // font units
};

// Whether a name was duplicated from a FAMILY_NAME line and is owned by the run.
struct name_ownership {
  bool name_owned = false;
  bool psname_owned = false;
};

// Fills the names still unset from a FAMILY_NAME value, as it stands.
// Returns the fatal message if it can't be duplicated, else nullptr.
const char *family_name_action(font_info &info, name_ownership &owned, std::string_view value);

// Replaces *slot (copyright or version) with a duplicate of value, read as a
// BDF string with bdf_text; returns the fatal message if it can't be
// duplicated, else nullptr.
const char *owned_property_action(std::string_view *slot, std::string_view value,
                                  bool bdf_text = false);

// Writes the header announcing the glyphs counted by a CHARS value.
void chars_action(font_info &info, output &out, std::string_view value);

// Writes the SFD font header; the creation time honours SOURCE_DATE_EPOCH.
void write_header(output &out, const font_info &info);

// Writes the SFD font header of a font read with -b: names, style and
// metrics from its identity.
void write_bdf_header(output &out, const font_info &info, const identity_record &font);

// The longest version written; no real one comes near it.
constexpr size_t max_version = 256;

// Sets the copyright (COPYRIGHT and NOTICE) and version of a -b header as
// UTF-8, each text read as UTF-8 or Latin-1 on its own, cut at a character
// to what the name table holds.  The long values are cut as they are
// converted, so that no second copy of a megabyte is made.
void bdf_header_texts(const font_info &info, identity_record &font);

// Releases the owned texts of info and marks them unset.
void release_font_info(font_info &info, name_ownership &owned);
