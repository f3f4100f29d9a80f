#include "test_util.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "convert.h"

std::string convert_text(std::string_view bdf, std::string *message,
                         const conversion_options &options) {
  std::string sfd;
  conversion_state state;
  state.options = options;
  if (options.strike) start_strike(state, true);
  line_reader reader;
  output out;
  reader_open_memory(reader, bdf.data(), bdf.size());
  EXPECT_TRUE(output_open(out, -1, &sfd));
  const char *fatal_message = convert(state, reader, out);
  output_flush(out);
  if (message != nullptr)
    *message = fatal_message ? fatal_message : "";
  else
    EXPECT_EQ(fatal_message, nullptr) << fatal_message;
  output_close(out);
  reader_close(reader);
  release_state(state);
  return sfd;
}

std::string convert_sizes_text(const std::vector<std::string> &fonts, std::string *message,
                               bool merge) {
  const int count = static_cast<int>(fonts.size());
  std::vector<int> fds;
  std::vector<std::string> names;
  std::vector<const char *> name_texts;
  for (int i = 0; i < count; i++) {
    fds.push_back(memfd_create("quadsmith-test", 0));
    EXPECT_EQ(write(fds.back(), fonts[i].data(), fonts[i].size()),
              static_cast<ssize_t>(fonts[i].size()));
    lseek(fds.back(), 0, SEEK_SET);
    names.push_back(std::to_string(i) + ".bdf");
  }
  for (const std::string &name : names)
    name_texts.push_back(name.c_str());
  conversion_state state;
  state.options.bdf = state.options.strike = true;
  state.options.merge = merge;
  state.input_name = name_texts[0];
  start_strike(state, true);
  std::vector<strike_state> later(fonts.size() - 1);
  for (strike_state &strike : later)
    strike_open(strike, true);
  std::string sfd;
  line_reader reader;
  output out;
  EXPECT_TRUE(output_open(out, -1, &sfd));
  FILE *errors = std::fopen("/dev/null", "w");
  const int status =
      convert_sizes(state, reader, fds.data(), name_texts.data(), later.data(), count, out, errors);
  std::fclose(errors);
  output_flush(out);
  EXPECT_EQ(status != 0, state.error.failed);
  *message = state.error.failed ? state.error.text : "";
  output_close(out);
  reader_close(reader);
  for (strike_state &strike : later)
    strike_close(strike);
  for (const int fd : fds)
    close(fd);
  release_state(state);
  return sfd;
}

std::string well_formed(std::string_view snippet) {
  std::string header = "STARTFONT 2.1\n", properties, glyphs, chars, box = "0 0 0 0";
  int property_count = 0, glyph_count = 0;
  bool has_encoding = false, has_box = false;
  std::istringstream lines{std::string(snippet)};
  for (std::string line; std::getline(lines, line);) {
    line += "\n";
    const std::string word = line.substr(0, line.find_first_of(" \t\n"));
    const bool is_property = word == "FONT_ASCENT" || word == "FONT_DESCENT" ||
                             word == "FAMILY_NAME" || word == "COPYRIGHT" ||
                             word == "FONT_VERSION" || word.starts_with("CHARSET_");
    glyph_count += word == "STARTCHAR";
    if (word == "FONTBOUNDINGBOX") box = line.substr(16, line.size() - 17);
    if (word == "STARTCHAR") has_encoding = has_box = false;
    has_encoding = has_encoding || word == "ENCODING";
    has_box = has_box || word == "BBX";
    // A glyph that leaves out its code or box is unencoded in the font's box.
    if (word == "BITMAP" && glyph_count > 0) {
      if (!has_encoding) glyphs += "ENCODING -1\n";
      if (!has_box) glyphs += "BBX " + box + "\n";
    }
    if (word == "CHARS")
      chars = line;
    else if (glyph_count > 0)
      glyphs += line;
    else if (is_property) {
      properties += line;
      property_count++;
    } else
      header += line;
  }
  if (chars.empty()) chars = "CHARS " + std::to_string(glyph_count) + "\n";
  // The lines a font must give, where the snippet leaves them out; a FONT
  // that is no XLFD name says nothing of the font.
  if (header.find("\nFONT ") == std::string::npos) header += "FONT font\n";
  // A missing SIZE gives the box's height at 72 dpi, so that it says no
  // other pixel size than the box does.
  if (header.find("\nSIZE ") == std::string::npos) {
    const size_t box = header.find("FONTBOUNDINGBOX ");
    std::istringstream numbers(box == std::string::npos ? "" : header.substr(box + 16));
    int width = 0, height = 16;
    numbers >> width >> height;
    header += "SIZE " + std::to_string(height) + " 72 72\n";
  }
  return header + "STARTPROPERTIES " + std::to_string(property_count) + "\n" + properties +
         "ENDPROPERTIES\n" + chars + glyphs + "ENDFONT\n";
}

const std::string &scratch_dir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/quadsmith-test.XXXXXX";
    const char *made = mkdtemp(pattern);
    // The folder goes with the test binary, whatever the tests left in it;
    // the command is kept where the exit handler can still reach it, after
    // the strings are gone.
    static char remove[sizeof pattern + 16];
    if (made != nullptr) {
      std::snprintf(remove, sizeof remove, "rm -rf '%s'", made);
      std::atexit([] {
        if (std::system(remove) != 0) std::perror("rm");
      });
    }
    return std::string(made ? made : "/tmp");
  }();
  return dir;
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string &path, std::string_view text) {
  std::ofstream out(path, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// The tool, or with QUADSMITH_TEST_WRAPPER=valgrind a script that runs it
// under valgrind, failing with status 99 on any memory error or leak.
static std::string tool_path() {
  const char *wrapper = std::getenv("QUADSMITH_TEST_WRAPPER");
  if (wrapper == nullptr || std::string(wrapper) != "valgrind") return QUADSMITH_BINARY;
  const std::string script = scratch_dir() + "/quadsmith-under-valgrind";
  // Valgrind's own notes, such as the one on Landlock's system calls, which
  // it does not know, go to a log so that standard error stays the tool's.
  write_file(script, "#!/bin/sh\nexec valgrind -q --error-exitcode=99 --leak-check=full "
                     "--errors-for-leak-kinds=definite,indirect,possible --log-file='" +
                         scratch_dir() + "/valgrind.%p.log' '" QUADSMITH_BINARY "' \"$@\"\n");
  chmod(script.c_str(), 0755);
  return script;
}

run_result run_shell(const std::string &command, std::string_view stdin_text) {
  const std::string dir = scratch_dir();
  write_file(dir + "/stdin", stdin_text);
  std::string quoted;
  for (const char c : command)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  // Nothing may hang a test run: a case that waits on itself is ended.
  const std::string line = "cd '" + dir + "' && Q='" + tool_path() +
                           "' DATA='" QUADSMITH_DATA "' timeout -k 5 300 sh -c '" + quoted +
                           "' < stdin > stdout 2> stderr";
  const int raw = std::system(line.c_str());
  run_result result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  result.out = read_file(dir + "/stdout");
  result.err = read_file(dir + "/stderr");
  return result;
}

std::string make_bdf(std::string_view bbox, std::string_view properties, std::string_view glyphs) {
  std::string bdf = "STARTFONT 2.1\nFONT -test-\nSIZE 16 75 75\nFONTBOUNDINGBOX ";
  bdf += bbox;
  bdf += "\nSTARTPROPERTIES 3\n";
  bdf += properties;
  bdf += "ENDPROPERTIES\nCHARS 1\n";
  bdf += glyphs;
  bdf += "ENDFONT\n";
  return bdf;
}
