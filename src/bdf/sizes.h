// Several sizes of one face in one font (-s with several operands): the
// first BDF gives the glyph records, and each later one only its strike,
// whose glyphs find their records by Unicode value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "bdf/bdf.h"
#include "io/io.h"
#include "font/record.h"

// The identity's texts the sizes of a face must share, its first six
// (text_keywords): FAMILY_NAME, FOUNDRY, WEIGHT_NAME, SLANT, SETWIDTH_NAME
// and ADD_STYLE_NAME.
constexpr int face_texts = 6;

// The face's identity the sizes must share: its texts and the pixel size.
struct face_names {
  std::string text[face_texts];
  int32_t pixel_size = 0;
};

// A size's usual advance (its most common DWIDTH) and its ascent and
// descent, in pixels.
struct size_metrics {
  int32_t advance = 0, ascent = 0, descent = 0;
};

// Unicode's planes, each of 65,536 values.
constexpr size_t unicode_planes = 17;

// What the sizes share while they are read.
struct size_set {
  bool master = true;           // the first operand is being read
  const char *master_name = ""; // its file, for messages
  face_names face;              // the first operand's face
  // Glyph indexes by Unicode value, a page of 65,536 per plane, made on first use.
  std::unique_ptr<uint32_t[]> planes[unicode_planes];
  uint64_t next_index = 0; // the index a record added by a later size gets
  uint64_t unencoded = 0;  // records without a Unicode value so far, the master's first
  uint64_t added = 0;      // records added by the open operand
  int32_t units_per_pixel = 0, pixel_size = 0; // the first operand's
  int32_t operand_size = 0;                    // the pixel size of the operand being read
  // The open glyph of a later operand: its index, whether it is added, its slot.
  uint64_t index = 0;
  bool is_added = false;
  int64_t slot = 0;
  output *records = nullptr;    // where added records go
  uint32_t sizes_seen[64] = {}; // the pixel sizes read so far, for duplicates
  uint32_t sizes_count = 0;
  char message[320];
  // The metrics HarfBuzz and Pango lay every size out with, the first
  // operand's, and the open operand's: its advances counted (0 to 1023
  // pixels) and its ascent and descent in pixels.
  size_metrics first, open;
  uint32_t advances[1024] = {};
};


// Makes the set ready for another run, keeping the planes it has made, emptied.
void sizes_reset(size_set &sizes);

// Remembers the first operand's glyph of a Unicode value; false if there
// is no room to.
bool sizes_note(size_set &sizes, int32_t unicode, uint64_t index);

// Takes a later operand's face at its CHARS: returns the message of a face
// that differs from the first operand's, or of a pixel size read before,
// naming the file; else nullptr.
const char *sizes_check_face(size_set &sizes, const face_names &face, const char *file);

// Starts a glyph of a later operand: its index is the first operand's
// glyph of the same Unicode value, else a record of its own is added.
void sizes_glyph(size_set &sizes, int32_t unicode);

// Counts a glyph's advance in pixels toward its operand's usual one.
void sizes_count_advance(size_set &sizes, int32_t advance);

// Ends the open operand, whose ascent and descent are given in pixels:
// returns false where the first operand's metrics scaled to its pixel size
// as FreeType and HarfBuzz scale them (the usual advance rounded, ascent and
// descent each rounded up) are not its own, with those in *scaled and its
// own in *own; the first operand's metrics are kept for the later ones.
bool sizes_end_operand(size_set &sizes, int32_t ascent, int32_t descent, size_metrics *scaled,
                       size_metrics *own);

// A later operand's advance in pixels as a width in the first operand's units.
int64_t sizes_width(const size_set &sizes, int32_t advance);

// Takes a whole glyph of an operand: counts its advance and the glyphs a
// later size adds.
void sizes_take(size_set &sizes, const glyph_record &record);
