#include "sfnt/cff.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <unistd.h>

#include "sfnt/cff_bytes.h"
#include "sfnt/sfnt_bytes.h"
#include "io/spool.h"

namespace {

// Type 2 charstring operators.
constexpr char op_vmoveto = 4, op_hlineto = 6, op_vlineto = 7, op_callsubr = 10, op_return = 11,
               op_endchar = 14, op_rmoveto = 21, op_hmoveto = 22, op_callgsubr = 29;

// The most arguments a Type 2 operator finds on the stack.
constexpr int max_arguments = 48;

// The most subroutines an INDEX holds.
constexpr size_t max_subrs = 65535;

// The bias a subroutine's number is given against, by the INDEX's count.
int32_t subr_bias(size_t count) {
  return count < 1240 ? 107 : count < 33900 ? 1131 : 32768;
}

std::string_view body_of(const cff_state &cff, uint32_t b) {
  return std::string_view(cff.bodies).substr(cff.starts[b], cff.starts[b + 1] - cff.starts[b]);
}

// The runs of a contour from its first point to its last; the edge back
// to the first is implied.  An edge along the same axis as the one before,
// where contours were joined, takes a zero step across.
void encode_body(std::string &to, const std::vector<int16_t> &xs, const std::vector<int16_t> &ys) {
  // Each point gives two arguments at most, each of five bytes at most,
  // and every 48 arguments an operator: room made once, written through a
  // pointer, cut to what was written.
  to.resize(11 * xs.size() + 1);
  char *at = to.data();
  bool horizontal = ys[1] == ys[0], first = horizontal;
  int arguments = 0;
  auto argument = [&](int32_t v) {
    if (arguments == 0) first = horizontal;
    at = put_short_number(at, v);
    horizontal = !horizontal;
    if (++arguments < max_arguments) return;
    *at++ = first ? op_hlineto : op_vlineto;
    arguments = 0;
  };
  for (size_t i = 1; i < xs.size(); i++) {
    const bool along = ys[i] == ys[i - 1];
    if (along != horizontal) argument(0);
    argument(along ? xs[i] - xs[i - 1] : ys[i] - ys[i - 1]);
  }
  if (arguments > 0) *at++ = first ? op_hlineto : op_vlineto;
  to.resize(static_cast<size_t>(at - to.data()));
}

// The number of the body just encoded, counting this use.
uint32_t body_number(cff_state &cff) {
  const std::hash<std::string_view> hash;
  if (cff.slots.size() < 2 * (cff.uses.size() + 1)) {
    cff.slots.assign(std::max<size_t>(1024, 2 * cff.slots.size()), 0);
    const size_t mask = cff.slots.size() - 1;
    for (uint32_t b = 0; b < cff.uses.size(); b++) {
      size_t h = hash(body_of(cff, b)) & mask;
      while (cff.slots[h] != 0)
        h = (h + 1) & mask;
      cff.slots[h] = b + 1;
    }
  }
  const size_t mask = cff.slots.size() - 1;
  for (size_t h = hash(cff.body) & mask;; h = (h + 1) & mask) {
    const uint32_t slot = cff.slots[h];
    if (slot != 0 && body_of(cff, slot - 1) == cff.body) {
      cff.uses[slot - 1]++;
      return slot - 1;
    }
    if (slot != 0) continue;
    if (cff.bodies.size() + cff.body.size() > max_body_bytes) return spooled_body;
    const auto b = static_cast<uint32_t>(cff.uses.size());
    cff.slots[h] = b + 1;
    cff.bodies += cff.body;
    cff.starts.push_back(static_cast<uint32_t>(cff.bodies.size()));
    cff.uses.push_back(1);
    return b;
  }
}

// Notes a point, its place << 32 | contour << 16 | its index in the
// contour: the second point at a place puts the first in cff.order, and
// every later one itself.
void note_place(cff_state &cff, uint64_t point) {
  const auto place = static_cast<uint32_t>(point >> 32);
  // The product's high bits are its well-mixed ones: places are multiples
  // of a pixel's units, so their low bits are zeros.
  for (size_t h = (place * 0x9E3779B1u) >> cff.places_shift;; h = (h + 1) & cff.places_mask) {
    uint64_t &slot = cff.places[h];
    if (slot >> 32 != cff.stamp) {
      // The point itself, less its place, which the slot's key holds.
      slot = uint64_t{cff.stamp} << 32 | (point & 0x7FFFFFFF);
      cff.place_of[h] = place;
      return;
    }
    if (cff.place_of[h] != place) continue;
    if ((slot & 0x80000000) == 0) {
      cff.order.push_back(uint64_t{place} << 32 | (slot & 0x7FFFFFFF));
      slot |= 0x80000000;
    }
    cff.order.push_back(point);
    return;
  }
}

// The set a contour belongs to, its paths halved on the way.
uint32_t set_root(std::vector<uint32_t> &parent, uint32_t c) {
  while (parent[c] != c)
    c = parent[c] = parent[parent[c]];
  return c;
}

// One contour of the spool: its move from where the last ended, and body.
struct spooled_contour {
  int32_t dx, dy;
  uint32_t body;
};


// Makes each glyph's charstring in turn and hands it to each.
bool each_charstring(cff_state &cff, const std::vector<uint16_t> &advances,
                     const std::function<void(const std::string &)> &each) {
  if (!spool_rewind(cff.spool, cff.spool_fd)) return false;
  auto reader = std::make_unique<spool_reader>();
  reader->fd = cff.spool_fd;
  reader->text = &cff.spool_text;
  std::string charstring, spooled;
  const int32_t global_bias = subr_bias(cff.global_bodies.size()),
                local_bias = subr_bias(cff.local_bodies.size());
  for (size_t g = 0; g < advances.size(); g++) {
    uint16_t contours = 0;
    // .notdef is empty and not spooled.
    if (g > 0 && !spool_read(*reader, &contours, sizeof contours)) return false;
    charstring.clear();
    bool width = advances[g] != cff.default_width;
    for (uint16_t c = 0; c < contours; c++) {
      spooled_contour contour;
      if (!spool_read(*reader, &contour, sizeof contour)) return false;
      if (width) put_number(charstring, advances[g] - cff.nominal_width);
      width = false;
      if (contour.dy == 0) {
        put_number(charstring, contour.dx);
        charstring += op_hmoveto;
      } else if (contour.dx == 0) {
        put_number(charstring, contour.dy);
        charstring += op_vmoveto;
      } else {
        put_number(charstring, contour.dx);
        put_number(charstring, contour.dy);
        charstring += op_rmoveto;
      }
      if (contour.body == spooled_body) {
        uint32_t length;
        if (!spool_read(*reader, &length, sizeof length)) return false;
        spooled.resize(length);
        if (!spool_read(*reader, spooled.data(), length)) return false;
        charstring += spooled;
        continue;
      }
      const uint32_t subr = cff.subr[contour.body];
      if (subr == 0) {
        charstring += body_of(cff, contour.body);
        continue;
      }
      const bool global = (subr & global_subr) != 0;
      const auto index = static_cast<int32_t>((subr & ~global_subr) - 1);
      put_number(charstring, index - (global ? global_bias : local_bias));
      charstring += global ? op_callgsubr : op_callsubr;
    }
    if (width) put_number(charstring, advances[g] - cff.nominal_width);
    charstring += op_endchar;
    each(charstring);
  }
  return true;
}

// The most common advance, else 0; ties go to the smaller.
int32_t most_common(std::vector<uint16_t> advances) {
  std::sort(advances.begin(), advances.end());
  int32_t best = 0;
  size_t best_run = 0;
  for (size_t i = 0; i < advances.size();) {
    size_t j = i;
    while (j < advances.size() && advances[j] == advances[i])
      j++;
    if (j - i > best_run) best = advances[i], best_run = j - i;
    i = j;
  }
  return best;
}

// Chooses the bodies kept as subroutines: those whose uses save more than
// the subroutine costs, the most used at the numbers of fewest bytes, half
// of them global and half local.
void choose_subrs(cff_state &cff) {
  std::vector<uint32_t> chosen;
  for (uint32_t b = 0; b < cff.uses.size(); b++)
    if (cff.uses[b] > 1 && body_of(cff, b).size() > 2) chosen.push_back(b);
  std::sort(chosen.begin(), chosen.end(), [&](uint32_t a, uint32_t b) {
    return std::tuple(cff.uses[b], body_of(cff, b).size(), a) <
           std::tuple(cff.uses[a], body_of(cff, a).size(), b);
  });
  struct slot {
    size_t cost;
    bool global;
    uint32_t index;
  };
  std::vector<slot> slots;
  // A subroutine that saves nothing at its number is dropped, which can
  // change the numbers; a few rounds settle it.
  for (int round = 0; round < 8; round++) {
    chosen.resize(std::min(chosen.size(), 2 * max_subrs));
    const size_t globals = (chosen.size() + 1) / 2, locals = chosen.size() / 2;
    slots.clear();
    for (const auto &[count, global] : {std::pair{globals, true}, {locals, false}})
      for (uint32_t i = 0; i < count; i++)
        slots.push_back({number_size(static_cast<int32_t>(i) - subr_bias(count)) + 1, global, i});
    std::stable_sort(slots.begin(), slots.end(),
                     [](const slot &a, const slot &b) { return a.cost < b.cost; });
    std::vector<uint32_t> kept;
    for (size_t k = 0; k < chosen.size(); k++) {
      const size_t uses = cff.uses[chosen[k]], size = body_of(cff, chosen[k]).size();
      // The body once with its return and its offset, against a call per use.
      if (uses * size > size + 4 + uses * slots[k].cost) kept.push_back(chosen[k]);
    }
    if (kept.size() == chosen.size() || round == 7) break;
    chosen = std::move(kept);
  }
  cff.subr.assign(cff.uses.size(), 0);
  cff.global_bodies.assign((chosen.size() + 1) / 2, 0);
  cff.local_bodies.assign(chosen.size() / 2, 0);
  for (size_t k = 0; k < chosen.size(); k++) {
    const slot &s = slots[k];
    (s.global ? cff.global_bodies : cff.local_bodies)[s.index] = chosen[k];
    cff.subr[chosen[k]] = (s.index + 1) | (s.global ? global_subr : 0);
  }
}

void put_subrs(std::string &to, const cff_state &cff, const std::vector<uint32_t> &bodies) {
  std::string data;
  std::vector<uint32_t> ends;
  for (const uint32_t b : bodies) {
    data += body_of(cff, b);
    data += op_return;
    ends.push_back(static_cast<uint32_t>(data.size()));
  }
  put_index_head(to, ends);
  to += data;
}

// The most common advance is left out of the charstrings; the next most
// common is the one the others are counted from.
void choose_widths(cff_state &cff, const std::vector<uint16_t> &advances) {
  std::vector<uint16_t> widths(advances.begin() + (advances.size() > 1 ? 1 : 0), advances.end());
  cff.default_width = most_common(widths);
  widths.erase(std::remove(widths.begin(), widths.end(), cff.default_width), widths.end());
  cff.nominal_width = widths.empty() ? cff.default_width : most_common(widths);
}

// The top DICT of a CID-keyed font of glyphs in the box, with the offsets
// of its charset, FDSelect, FDArray and CharStrings.
std::string top_dict_of(uint32_t glyphs, const int32_t box[4], uint32_t charset, uint32_t select,
                        uint32_t array, uint32_t charstrings) {
  std::string top_dict;
  put_number(top_dict, 391);
  put_number(top_dict, 392);
  put_number(top_dict, 0);
  top_dict += "\x0c\x1e"; // ROS: Adobe, Identity, 0
  put_number(top_dict, static_cast<int32_t>(glyphs));
  top_dict += "\x0c\x22"; // CIDCount
  for (int i = 0; i < 4; i++)
    put_number(top_dict, box[i]);
  top_dict += '\x05'; // FontBBox
  put_offset(top_dict, charset);
  top_dict += '\x0f'; // charset
  put_offset(top_dict, select);
  top_dict += "\x0c\x25"; // FDSelect
  put_offset(top_dict, array);
  top_dict += "\x0c\x24"; // FDArray
  put_offset(top_dict, charstrings);
  top_dict += '\x11'; // CharStrings
  return top_dict;
}

// The Private DICT: the widths and, where there are any, the local subroutines
// right behind it.
std::string private_dict_of(const cff_state &cff) {
  std::string private_dict;
  put_number(private_dict, cff.default_width);
  private_dict += '\x14'; // defaultWidthX
  put_number(private_dict, cff.nominal_width);
  private_dict += '\x15'; // nominalWidthX
  if (!cff.local_bodies.empty()) {
    put_offset(private_dict, static_cast<uint32_t>(private_dict.size() + 6));
    private_dict += '\x13'; // Subrs
  }
  return private_dict;
}

// The FDArray INDEX of one font DICT: where the Private DICT of
// private_size bytes is, and the em's scale.
std::string font_dicts(uint32_t private_size, uint32_t private_at, int32_t em) {
  std::string dict;
  put_number(dict, static_cast<int32_t>(private_size));
  put_offset(dict, private_at);
  dict += '\x12'; // Private
  const double scale = 1.0 / em;
  for (const double value : {scale, 0.0, 0.0, scale, 0.0, 0.0})
    value == 0 ? put_number(dict, 0) : put_real(dict, value);
  dict += "\x0c\x07"; // FontMatrix
  std::string index;
  put_index(index, {dict});
  return index;
}

} // namespace

bool cff_open(cff_state &cff, bool in_memory) {
  cff_close(cff);
  return spool_open(cff.spool, cff.spool_fd, cff.spool_text, in_memory);
}

void cff_close(cff_state &cff) {
  spool_close(cff.spool, cff.spool_fd);
  cff = cff_state{};
}

void cff_take(cff_state &cff, const int16_t *xs, const int16_t *ys, const uint16_t *ends,
              size_t contours) {
  const size_t points = contours > 0 ? size_t{ends[contours - 1]} + 1 : 0;
  cff.next.resize(points);
  cff.parent.resize(contours);
  cff.order.clear();
  cff.seen.assign(points, 0);
  size_t room = 64;
  uint32_t shift = 26;
  while (room < 2 * points)
    room *= 2, shift--;
  cff.places_shift = shift;
  if (cff.places.size() < room) {
    cff.places.assign(room, 0);
    cff.place_of.assign(room, 0);
  }
  cff.places_mask = room - 1;
  // A new stamp empties the table of places without touching it.
  if (++cff.stamp == 0) {
    std::fill(cff.places.begin(), cff.places.end(), 0);
    cff.stamp = 1;
  }
  for (size_t c = 0, first = 0; c < contours; first = size_t{ends[c]} + 1, c++) {
    cff.parent[c] = static_cast<uint32_t>(c);
    for (size_t i = first; i <= ends[c]; i++) {
      cff.next[i] = static_cast<int32_t>(i == ends[c] ? first : i + 1);
      const uint32_t place =
          uint32_t{static_cast<uint16_t>(xs[i])} << 16 | static_cast<uint16_t>(ys[i]);
      note_place(cff, uint64_t{place} << 32 | c << 16 | (i - first));
    }
  }
  // Contours that meet at a corner become one: at the shared point each
  // goes on along the other's way, which keeps every edge and so the fill.
  // Only the places of more than one point are sorted, few of a glyph's.
  std::sort(cff.order.begin(), cff.order.end());
  for (size_t k = 1; k < cff.order.size(); k++) {
    if (cff.order[k] >> 32 != cff.order[k - 1] >> 32) continue;
    const auto a = static_cast<uint32_t>(cff.order[k - 1] >> 16 & 0xFFFF),
               b = static_cast<uint32_t>(cff.order[k] >> 16 & 0xFFFF);
    const uint32_t ra = set_root(cff.parent, a), rb = set_root(cff.parent, b);
    if (ra == rb) continue;
    const size_t i = (a == 0 ? 0 : size_t{ends[a - 1]} + 1) + (cff.order[k - 1] & 0xFFFF),
                 j = (b == 0 ? 0 : size_t{ends[b - 1]} + 1) + (cff.order[k] & 0xFFFF);
    std::swap(cff.next[i], cff.next[j]);
    cff.parent[rb] = ra;
  }
  cff.record.clear();
  int32_t x = 0, y = 0;
  uint16_t count = 0;
  for (size_t c = 0; c < contours; c++) {
    const size_t start = c == 0 ? 0 : size_t{ends[c - 1]} + 1;
    if (cff.seen[start]) continue;
    cff.xs.clear();
    cff.ys.clear();
    size_t i = start;
    do {
      cff.seen[i] = 1;
      cff.xs.push_back(xs[i]);
      cff.ys.push_back(ys[i]);
      i = static_cast<size_t>(cff.next[i]);
    } while (i != start);
    encode_body(cff.body, cff.xs, cff.ys);
    const spooled_contour contour{cff.xs[0] - x, cff.ys[0] - y, body_number(cff)};
    cff.record.append(reinterpret_cast<const char *>(&contour), sizeof contour);
    if (contour.body == spooled_body) {
      const auto length = static_cast<uint32_t>(cff.body.size());
      cff.record.append(reinterpret_cast<const char *>(&length), sizeof length);
      cff.record += cff.body;
    }
    x = cff.xs.back();
    y = cff.ys.back();
    count++;
  }
  output_write(cff.spool, std::string_view(reinterpret_cast<const char *>(&count), sizeof count));
  output_write(cff.spool, cff.record);
}

bool cff_table(cff_state &cff, const std::vector<uint16_t> &advances, int32_t em,
               const int32_t box[4], const std::string &name, std::string &front, uint32_t &length,
               uint32_t &sum) {
  choose_widths(cff, advances);
  choose_subrs(cff);

  // Each charstring's end, and the sums of its bytes by their place in a
  // word, for the checksum once the charstrings' place is known.
  std::vector<uint32_t> ends;
  uint64_t lanes[4] = {0, 0, 0, 0};
  uint32_t end = 0;
  if (!each_charstring(cff, advances, [&](const std::string &charstring) {
        for (const char c : charstring)
          lanes[end++ % 4] += static_cast<unsigned char>(c);
        ends.push_back(end);
      }))
    return false;

  const auto glyphs = static_cast<uint32_t>(advances.size());
  std::string header = std::string("\x01\x00\x04\x04", 4);
  put_index(header, {name});
  // The top DICT's size does not depend on the offsets it holds.
  std::string top_dict = top_dict_of(glyphs, box, 0, 0, 0, 0);
  // Offsets count from the table's start; rest follows the top DICT INDEX.
  const auto base = static_cast<uint32_t>(header.size() + 5 + top_dict.size());
  std::string rest;
  const auto here = [&] { return static_cast<uint32_t>(base + rest.size()); };
  put_index(rest, {"Adobe", "Identity"});
  put_subrs(rest, cff, cff.global_bodies);
  // Every glyph after .notdef has its own CID, in order.
  const uint32_t charset = here();
  if (glyphs > 1) {
    rest += '\x02';
    put16(rest, 1);
    put16(rest, glyphs - 2);
  } else {
    rest += '\x00';
  }
  const uint32_t select = here();
  rest += '\x03';
  put16(rest, 1);
  put16(rest, 0);
  rest += '\x00';
  put16(rest, glyphs);
  const std::string private_dict = private_dict_of(cff);
  const auto private_size = static_cast<uint32_t>(private_dict.size());
  const uint32_t array = here();
  rest += font_dicts(private_size,
                     static_cast<uint32_t>(array + font_dicts(private_size, 0, em).size()), em);
  rest += private_dict;
  put_subrs(rest, cff, cff.local_bodies);
  const uint32_t charstrings = here();
  put_index_head(rest, ends);
  top_dict = top_dict_of(glyphs, box, charset, select, array, charstrings);
  front = header;
  put_index(front, {top_dict});
  front += rest;
  length = static_cast<uint32_t>(front.size()) + end;
  sum = checksum(front.data(), front.size());
  const size_t phase = front.size() % 4;
  for (size_t k = 0; k < 4; k++)
    sum += static_cast<uint32_t>(lanes[k] << (8 * (3 - (phase + k) % 4)));
  return true;
}

bool cff_stream(cff_state &cff, const std::vector<uint16_t> &advances, output &out) {
  return each_charstring(cff, advances,
                         [&](const std::string &charstring) { output_write(out, charstring); });
}
