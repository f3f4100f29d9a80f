#include "bdf/sizes.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "bdf/identity.h"

namespace {

constexpr uint32_t no_glyph = UINT32_MAX;

uint32_t *page(size_set &sizes, int32_t unicode, bool make) {
  auto &plane = sizes.planes[unicode >> 16];
  if (!plane && make) {
    plane.reset(new (std::nothrow) uint32_t[65536]);
    // Every byte of no_glyph is 0xFF.
    if (plane) std::memset(plane.get(), 0xFF, 65536 * sizeof(uint32_t));
  }
  return plane.get();
}

} // namespace

void sizes_reset(size_set &sizes) {
  std::unique_ptr<uint32_t[]> planes[unicode_planes];
  for (size_t i = 0; i < unicode_planes; i++)
    planes[i] = std::move(sizes.planes[i]);
  sizes = size_set{};
  for (size_t i = 0; i < unicode_planes; i++) {
    if (planes[i]) std::memset(planes[i].get(), 0xFF, 65536 * sizeof(uint32_t));
    sizes.planes[i] = std::move(planes[i]);
  }
}

bool sizes_note(size_set &sizes, int32_t unicode, uint64_t index) {
  sizes.next_index = index + 1;
  if (unicode < 0 || unicode > 0x10FFFF) return true;
  uint32_t *entries = page(sizes, unicode, true);
  if (entries == nullptr) return false;
  entries[unicode & 0xFFFF] = static_cast<uint32_t>(index);
  return true;
}

const char *sizes_check_face(size_set &sizes, const face_names &face, const char *file) {
  for (int i = 0; i < face_texts; i++)
    if (face.text[i] != sizes.face.text[i]) {
      std::snprintf(sizes.message, sizeof sizes.message,
                    "'%s': %.*s \"%.64s\" differs from \"%.64s\" of '%s'.", file,
                    static_cast<int>(keyword_name(text_keywords[i]).size()),
                    keyword_name(text_keywords[i]).data(), face.text[i].c_str(),
                    sizes.face.text[i].c_str(), sizes.master_name);
      return sizes.message;
    }
  for (uint32_t i = 0; i < sizes.sizes_count; i++)
    if (sizes.sizes_seen[i] == static_cast<uint32_t>(face.pixel_size)) {
      std::snprintf(sizes.message, sizeof sizes.message,
                    "'%s': PIXEL_SIZE %d is the size of an earlier operand.", file,
                    face.pixel_size);
      return sizes.message;
    }
  if (sizes.sizes_count < 64) sizes.sizes_seen[sizes.sizes_count++] = face.pixel_size;
  sizes.operand_size = face.pixel_size;
  return nullptr;
}

void sizes_glyph(size_set &sizes, int32_t unicode) {
  const uint32_t *entries =
      unicode >= 0 && unicode <= 0x10FFFF ? page(sizes, unicode, false) : nullptr;
  const uint32_t found = entries != nullptr ? entries[unicode & 0xFFFF] : no_glyph;
  sizes.is_added = found == no_glyph;
  sizes.index = sizes.is_added ? sizes.next_index++ : found;
  sizes.slot = strike_slot(unicode, sizes.unencoded);
  if (unicode < 0) sizes.unencoded++;
  // A later glyph of a value the first operand lacks takes it for its record.
  if (sizes.is_added && unicode >= 0) sizes_note(sizes, unicode, sizes.index);
}

int64_t sizes_width(const size_set &sizes, int32_t advance) {
  // The advance in units of the first operand's em, which is its pixel size.
  const int64_t em = int64_t{sizes.units_per_pixel} * sizes.pixel_size;
  const int64_t size = sizes.operand_size > 0 ? sizes.operand_size : 1;
  return (2 * advance * em + size) / (2 * size);
}

void sizes_count_advance(size_set &sizes, int32_t advance) {
  if (advance >= 0 && advance < 1024) sizes.advances[advance]++;
}

bool sizes_end_operand(size_set &sizes, int32_t ascent, int32_t descent, size_metrics *scaled,
                       size_metrics *own) {
  own->ascent = ascent;
  own->descent = descent;
  own->advance = 0;
  for (int32_t a = 1; a < 1024; a++)
    if (sizes.advances[a] > sizes.advances[own->advance]) own->advance = a;
  for (uint32_t &count : sizes.advances)
    count = 0;
  if (sizes.master) {
    sizes.first = *own;
    return true;
  }
  const int64_t from = sizes.pixel_size > 0 ? sizes.pixel_size : 1, to = sizes.operand_size;
  scaled->advance = static_cast<int32_t>((2 * sizes.first.advance * to + from) / (2 * from));
  scaled->ascent = static_cast<int32_t>((sizes.first.ascent * to + from - 1) / from);
  scaled->descent = static_cast<int32_t>((sizes.first.descent * to + from - 1) / from);
  return scaled->advance == own->advance &&
         scaled->ascent + scaled->descent == own->ascent + own->descent;
}

void sizes_take(size_set &sizes, const glyph_record &record) {
  sizes_count_advance(sizes, record.advance);
  if (!sizes.master && record.added) sizes.added++;
}
