// The command line: options, files, the sandbox and the exit status.
#pragma once

#include "convert.h"

// Writes "name: message" to standard error and exits with status 1.
[[noreturn]] void fatal(const char *message);

// Runs the tool as the command line asks; returns the exit status.
int quadsmith_main(int argc, char **argv);
