// What a run says on standard error once an operand is converted: its
// notes and the report line.
#pragma once

#include <cstdio>
#include <ctime>

struct conversion_state;

// Writes the notes on what the operand's conversion did and the report
// line, with the time since start, to errors.
void report_operand(FILE *errors, const conversion_state &state, const struct timespec &start);

// Writes the notes on the font as written at the end of the run.
void report_font(FILE *errors, const conversion_state &state);

// Writes "quadsmith: ", with several operands followed by the file the
// note is about, and the printf text behind it.
__attribute__((format(printf, 3, 4))) void note(FILE *to, const conversion_state &state,
                                                const char *format, ...);
