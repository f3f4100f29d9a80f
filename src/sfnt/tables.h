// The sfnt tables made of what the glyphs gave and of the font's identity,
// one function a table: head, hhea, hmtx, maxp, OS/2, loca, name and post.
// cmap, glyf, CFF and the strikes' tables have modules of their own.
#pragma once

#include <cstdint>
#include <string>

#include "bdf/identity.h"
#include "sfnt/sfnt.h"

// The fixed lengths of the tables of fixed form.
constexpr size_t head_length = 54, hhea_length = 36, maxp_cff_length = 6,
                 maxp_truetype_length = 32, os2_length = 96;

// The number of hmtx entries with an advance: the glyphs after them share
// the last one's.
uint32_t hmtx_metrics(const sfnt_state &font);

// The head table, its checkSumAdjustment 0 (set once the file's sum is known).
std::string head_table(const sfnt_state &font, const identity_record &identity);

// The hhea table, of metrics advances in hmtx.
std::string hhea_table(const sfnt_state &font, const identity_record &identity, uint32_t metrics);

// The hmtx table: metrics advances and every glyph's left side bearing.
std::string hmtx_table(const sfnt_state &font, uint32_t metrics);

// The maxp table: version 0.5 for CFF outlines, else 1.0 with the maxima.
std::string maxp_table(const sfnt_state &font);

// The OS/2 table, version 4; font.cmap must be sorted.
std::string os2_table(const sfnt_state &font, const identity_record &identity);

// The loca table: each glyph's glyf offset, halved in 16 bits where glyf is short.
std::string loca_of(const sfnt_state &font);

// The name table: the Windows records of the identity's texts.
std::string name_table(const identity_record &identity);

// Whether post format 2 can name every glyph: its name indexes are 16 bits.
bool post_names_fit(const sfnt_state &font);

// The post table: format 2 with the glyph names, or 3 without for CFF and
// for more glyphs than format 2 can name.
std::string post_table(const sfnt_state &font, const identity_record &identity);
