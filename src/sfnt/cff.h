// CFF outlines for -T otf: each glyph's traced contours joined where they
// touch at a corner and written as hlineto/vlineto runs.  A contour's runs
// do not depend on where it stands, so equal ones across the font are kept
// once, and the most used become subroutines when the table is made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/io.h"

// The least em of CFF outlines: a small em keeps a pixel's steps to
// charstring numbers of one byte, and 64 is still fine enough for the
// metrics' shares of the em.
constexpr int32_t cff_least_em = 64;

// The outlines being made: per glyph its contours' moves and body numbers
// in a spool, each distinct body once in memory with its count of uses.
struct cff_state {
  output spool;
  int spool_fd = -1;
  std::string spool_text;
  std::string bodies;              // the distinct bodies' Type 2 bytes, one after another
  std::vector<uint32_t> starts{0}; // where each body starts in bodies, and one past the last
  std::vector<uint32_t> uses;      // how many contours are each body
  std::vector<uint32_t> slots;     // the hash of bodies: body + 1, 0 where free
  std::vector<int32_t> next;       // the open glyph's points, each one's successor
  std::vector<uint32_t> parent;    // and its contours' sets, joined through corners
  std::vector<uint64_t> order;     // its points that share a place with another, by place
  // The open glyph's places seen: stamp << 32 | the point's contour and
  // index, with bit 31 set once it is in order; and each slot's place.
  std::vector<uint64_t> places;
  std::vector<uint32_t> place_of;
  size_t places_mask = 0;
  uint32_t places_shift = 0; // 32 less the bits of places' size
  uint32_t stamp = 0;
  std::string body;                // the contour being encoded
  std::string record;              // the open glyph's spool record
  std::vector<int16_t> xs, ys;     // a contour's points, corners joined
  std::vector<uint8_t> seen;
  // Chosen when the table is made: each body's subroutine, 0 where it is
  // written in place, else its index + 1 with global_subr set for the
  // global ones; and the widths charstrings leave out or count from.
  std::vector<uint32_t> subr;
  std::vector<uint32_t> global_bodies, local_bodies; // the subroutines' bodies by index
  int32_t default_width = 0, nominal_width = 0;
};

// The most bytes of distinct bodies kept in memory: a body first seen past
// them is spooled in place, where its glyph uses it, and is no subroutine.
// Unifont's take 1.7 MB.
constexpr size_t max_body_bytes = 4 * 1024 * 1024;

// The body number of a contour whose body follows it in the spool.
constexpr uint32_t spooled_body = UINT32_MAX;

// The bit of cff_state::subr that marks a global subroutine.
constexpr uint32_t global_subr = 0x80000000;

// Opens the spool: an unnamed file when in_memory is false, else a string.
// Returns false with errno set if it can't be made.
bool cff_open(cff_state &cff, bool in_memory);

// Releases the spool and the bodies.
void cff_close(cff_state &cff);

// Adds a glyph of contours closed by ends (each contour's last point) over
// the points xs, ys in font units, on the pixel grid; none for an empty one.
void cff_take(cff_state &cff, const int16_t *xs, const int16_t *ys, const uint16_t *ends,
              size_t contours);

// The whole CFF table but its charstrings' bytes, which cff_stream writes
// after it: front holds the rest, length and sum are the whole table's.
// advances are the glyphs' in font units, em the font's units, box its
// ink's bounds.  Returns false with errno set if the spool can't be read.
bool cff_table(cff_state &cff, const std::vector<uint16_t> &advances, int32_t em,
               const int32_t box[4], const std::string &name, std::string &front, uint32_t &length,
               uint32_t &sum);

// Writes the charstrings' bytes that follow cff_table's front.  Returns
// false with errno set if the spool can't be read.
bool cff_stream(cff_state &cff, const std::vector<uint16_t> &advances, output &out);
