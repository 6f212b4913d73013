// SPDX-License-Identifier: MIT
// The program suite's harness: runs the program, or a tool over it, and reads what it left.
#ifndef QUARVELT_TC_HARNESS_H
#define QUARVELT_TC_HARNESS_H

#include <string>
#include <utility>
#include <vector>

// Where the child's standard output goes.
enum class Stdout : unsigned char { pipe, file, closed, full, broken_pipe };

struct Result {
	std::string out; // what reached standard output, where it can be read back
	std::string err; // standard error, always a pipe
	int status;      // the exit status, or 128 plus the number of the signal that ended it
};

// The pieces of text between any of the separators, empty ones left out.
std::vector<std::string> split(const std::string &text, const char *separators);

// The program under test: the build's own, or the one QUARVELT_TC_PROGRAM names.
const char *program();

// The emulator's command and arguments from QUARVELT_TC_EMULATOR, split at
// spaces and tabs; empty where the program runs natively.  A path with a space
// goes to the emulator another way, such as qemu's QEMU_LD_PREFIX.
const std::vector<std::string> &emulator();

// Runs path, looked up in PATH when it has no slash, with argv (possibly empty)
// and standard output as mode says.  A child that cannot set itself up exits
// 126, so that the case fails instead of testing another standard output; 127
// means that path could not be started.
Result spawn(const char *path, std::vector<const char *> argv, Stdout mode);

// Runs the program with argv, its own vector.  Through an emulator, the
// emulator's options and the program's path come first, and the program sees
// that path as argv[0].
Result run(const std::vector<const char *> &argv, Stdout mode,
	   const std::vector<const char *> &emulator_options = {});

// The whole contents of the file at path; empty where it cannot be read.
std::string contents(const char *path);

// The strings of one line of strace's, joined, with its escapes undone.
std::string quoted(const std::string &call);

// The symbols readelf lists in the program's table ("--dyn-syms" or "--syms"):
// each one's section index (UND where it is imported) and name, without its
// version.  A table that is there lists at least its null symbol.
std::vector<std::pair<std::string, std::string>> symbols(const char *table);

#endif
