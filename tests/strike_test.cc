// The bitmap strike (-s): the BitmapFont section as FontForge writes it.

#include <gtest/gtest.h>
#include <string>

#include "test_util.h"
#include <cstdlib>

namespace {

const std::string font =
    "STARTFONT 2.1\n"
    "FONT -x-T-Medium-R-Normal--8-80-75-75-C-40-ISO10646-1\n"
    "SIZE 8 75 75\n"
    "FONTBOUNDINGBOX 4 8 0 -1\n"
    "STARTPROPERTIES 4\n"
    "COPYRIGHT \"a \"\"b\"\"\"\n"
    "FONT_ASCENT 7\n"
    "FONT_DESCENT 1\n"
    "NEGATIVE -3\n"
    "ENDPROPERTIES\n"
    "CHARS 3\n"
    "STARTCHAR A\nENCODING 65\nDWIDTH 4 0\nBBX 3 2 0 0\nBITMAP\nE0\nA0\nENDCHAR\n"
    "STARTCHAR x\nENCODING -1\nBBX 1 3 1 3\nBITMAP\n80\nENDCHAR\n"
    "STARTCHAR e\nENCODING 0\nBBX 0 0 0 0\nBITMAP\nENDCHAR\n"
    "ENDFONT\n";
// As FontForge writes the strike of this font once it has imported it; a
// missing row is blank, and an empty glyph one blank pixel, which FontForge
// keeps in the fonts it makes.
const std::string strike = "EndChars\n"
                           "BitmapFont: 8 3 7 1 1\n"
                           "BDFStartProperties: 7\n"
                           "FONT 1 \"-x-T-Medium-R-Normal--8-80-75-75-C-40-ISO10646-1\"\n"
                           "SIZE 1 \"8 75 75\"\n"
                           "FONTBOUNDINGBOX 1 \"4 8 0 -1\"\n"
                           "COPYRIGHT 16 \"a \"\"b\"\"\"\n"
                           "FONT_ASCENT 18 7\n"
                           "FONT_DESCENT 18 1\n"
                           "NEGATIVE 18 -3\n"
                           "BDFEndProperties\n"
                           "Resolution: 75\n"
                           "BDFChar: 0 65 4 0 2 0 1\ni1L&M\n"
                           "BDFChar: 1 65536 4 1 1 3 5\nJ,fQL\n"
                           "BDFChar: 2 0 4 0 0 0 0\nz\n"
                           "EndBitmapFont\n"
                           "EndSplineFont\n";

TEST(strike, follows_the_glyph_records_with_their_indexes) {
  // Outputs of several runs are compared, so their creation time is fixed.
  setenv("SOURCE_DATE_EPOCH", "0", 1);
  for (const bool merge : {false, true}) {
    const std::string sfd =
        convert_text(font, nullptr, {.merge = merge, .bdf = true, .strike = true});
    ASSERT_GE(sfd.size(), strike.size());
    EXPECT_EQ(sfd.substr(sfd.size() - strike.size()), strike);
    // The records are those of -b, but for the glyph index.
    std::string records = convert_text(font, nullptr, {.merge = merge, .bdf = true});
    for (const auto &[from, to] : {std::pair{"Encoding: 65 65 65", "Encoding: 65 65 0"},
                                   std::pair{"Encoding: -1 -1 -1", "Encoding: -1 -1 1"},
                                   std::pair{"Encoding: 0 0 0", "Encoding: 0 0 2"}})
      records.replace(records.find(from), std::string(from).size(), to);
    EXPECT_EQ(sfd.substr(0, sfd.size() - strike.size()),
              records.substr(0, records.size() - sfd_end.size()));
  }
  unsetenv("SOURCE_DATE_EPOCH");
}

} // namespace
