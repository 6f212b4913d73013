// SPDX-License-Identifier: MIT
// quarvelt-tc as a subprocess: stdout bytes, stderr and exit status of whole runs.
#include "harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace
{

const std::string report_line = QUARVELT_TC_REPORT_LINE;

struct Case {
	const char *name;
	std::vector<const char *> argv; // the whole vector, program name included; may be empty
	const char *object;             // the object name the entry hands the routine
	Stdout mode;
	bool line; // the report line can be read back from stdout
	int status;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Case &row, std::ostream *os)
{
	*os << row.name;
}

std::string name_of(const testing::TestParamInfo<Case> &row)
{
	return row.param.name;
}

const int by_sigpipe = 128 + SIGPIPE;
const char tc[] = "quarvelt-tc";
const char default_object[] = "dsl.bonding_group.0";
const std::string long_object = "dsl." + std::string(4096, 'a');

// clang-format off
const Case command_lines[] = {
	{"no_argument", {tc}, default_object, Stdout::pipe, true, 255},
	{"empty_vector", {}, default_object, Stdout::pipe, true, 255},
	{"one_argument", {tc, "dsl.line.1"}, "dsl.line.1", Stdout::pipe, true, 255},
	{"empty_string", {tc, ""}, "", Stdout::pipe, true, 255},
	{"three_arguments", {tc, "dsl.line.0", "dsl.line.1", "dsl.line.2"}, "dsl.line.0", Stdout::pipe, true, 255},
	{"dash_argument", {tc, "-h"}, "-h", Stdout::pipe, true, 255},
	{"lone_dash", {tc, "-"}, "-", Stdout::pipe, true, 255},
	{"spaces_kept", {tc, "  dsl.line.1 "}, "  dsl.line.1 ", Stdout::pipe, true, 255},
	{"quotes_and_backslashes", {tc, "a\"b\\c$d"}, "a\"b\\c$d", Stdout::pipe, true, 255},
	{"format_and_raw_bytes", {tc, "%s%n%x\xff\x01\n"}, "%s%n%x\xff\x01\n", Stdout::pipe, true, 255},
	{"long_name", {tc, long_object.c_str()}, long_object.c_str(), Stdout::pipe, true, 255},
};

const Case stdout_targets[] = {
	{"file", {tc, "dsl.line.1"}, "dsl.line.1", Stdout::file, true, 255},
	{"closed", {tc}, default_object, Stdout::closed, false, 255},
	{"full", {tc}, default_object, Stdout::full, false, 255},
	{"reader_gone", {tc}, default_object, Stdout::broken_pipe, false, by_sigpipe},
};
// clang-format on

// The environment can point the suite at another binary and emulator, so each
// test suite's output starts by naming what it runs.
class LogsProgramUnderTest : public testing::Test
{
      protected:
	static void SetUpTestSuite()
	{
		std::string e;
		for (const std::string &w : emulator())
			e += w + ' ';
		std::printf("program under test: %s%s\n", e.c_str(), program());
	}
};

class Program : public LogsProgramUnderTest, public testing::WithParamInterface<Case>
{
};

TEST_P(Program, ReportsAndExits)
{
	const Case &c = GetParam();
	if (c.argv.empty() && !emulator().empty())
		GTEST_SKIP() << "an emulator builds the program's argument vector from its own "
				"command line, so it cannot start the program with an empty one";
	const Result r = run(c.argv, c.mode);
	EXPECT_EQ(r.out, c.line ? report_line : "");
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, Program, testing::ValuesIn(command_lines), name_of);
INSTANTIATE_TEST_SUITE_P(Stdout, Program, testing::ValuesIn(stdout_targets), name_of);

// The same command lines against the entry linked with a stand-in routine: the
// count the entry gets, what it hands the routine and what it returns.  The bus
// socket never changes.
class Entry : public testing::TestWithParam<Case>
{
};

TEST_P(Entry, HandsTheRoutineTheSocketAndTheObjectName)
{
	const Case &c = GetParam();
	const Result r = spawn(QUARVELT_TC_ENTRY_PROBE, c.argv, Stdout::pipe);
	std::string argc = std::to_string(c.argv.size());
	// Since Linux 5.18 the kernel hands a process started with an empty vector
	// one empty name instead, and argc 1.  The row shows which count it got.
	if (c.argv.empty()) {
		if (r.out.rfind("argc 1\n", 0) == 0)
			argc = "1";
		std::printf("the kernel started the probe with argc %s\n", argc.c_str());
	}
	EXPECT_EQ(r.out, "argc " + argc + "\nsocket [/var/run/ubus/ubus.sock] object [" +
				 std::string(c.object) + "]\nstatus -1\n");
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 255);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, Entry, testing::ValuesIn(command_lines), name_of);

// A trace of one run: one write of the whole line to fd 1, and no bus traffic.
// strace would trace an emulator itself, so an emulated run is traced by the
// emulator's own -strace, which starts each line with the process ID.
class ProgramTrace : public LogsProgramUnderTest
{
};

TEST_F(ProgramTrace, WritesOnceAndNeverTouchesTheBus)
{
	char trace[] = "/tmp/quarvelt-tc-trace-XXXXXX";
	ASSERT_EQ(close(mkstemp(trace)), 0);
	// LeakSanitizer cannot run under ptrace; a sanitized build is traced without it.
	const char *asan = std::getenv("ASAN_OPTIONS");
	const std::string options = asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : "";
	ASSERT_EQ(setenv("ASAN_OPTIONS", (options + "detect_leaks=0").c_str(), 1), 0);
	const bool emulated = !emulator().empty();
	const Result r = emulated ? run({"quarvelt-tc", "dsl.line.1"}, Stdout::pipe,
					{"-strace", "-D", trace})
				  : spawn(QUARVELT_TC_STRACE,
					  {"strace", "-qq", "-s", "128", "-o", trace, "--",
					   program(), "dsl.line.1"},
					  Stdout::pipe);
	std::vector<std::string> lines = split(contents(trace), "\n");
	for (std::string &l : lines)
		if (emulated)
			l.erase(0, l.find(' ') + 1);
	unlink(trace);
	// A trace that could not be made proves nothing: the row fails with the tracer's words.
	ASSERT_FALSE(lines.empty()) << "no trace was made (status " << r.status << "): " << r.err;

	EXPECT_EQ(r.out, report_line);
	EXPECT_EQ(r.status, 255);
	std::vector<std::string> writes;
	for (const std::string &l : lines) {
		if (l.rfind("write", 0) == 0 || l.rfind("pwrite", 0) == 0 ||
		    l.rfind("sendmsg", 0) == 0)
			writes.push_back(l);
		EXPECT_NE(l.rfind("socket", 0), 0U) << l;
		EXPECT_NE(l.rfind("connect(", 0), 0U) << l;
		EXPECT_EQ(l.find("ubus.sock"), std::string::npos) << l;
	}
	// glibc writes the buffer with write(2), musl with writev(2): either way
	// one call to fd 1 that writes all 64 bytes.  The emulator shows buffers
	// only by address; there the bytes are those read back from stdout.
	ASSERT_EQ(writes.size(), 1U);
	const std::string &w = writes[0];
	EXPECT_TRUE(w.rfind("write(1,", 0) == 0 || w.rfind("writev(1,", 0) == 0) << w;
	EXPECT_EQ(w.substr(w.size() - 5), " = 64") << w;
	if (!emulated) {
		EXPECT_EQ(quoted(w), report_line) << w;
	}
}

// What the program may import: what its own code calls (tests/CMakeLists.txt
// says what that is), the C library's start routine, and the weak hooks of the
// start files (profiling, transactional memory clones, shared-object teardown).
// Anything else fails: getenv, a file or socket call, and atexit or
// __cxa_atexit, as the program registers nothing to run at exit.
const std::vector<std::string> allowed_imports = [] {
	std::vector<std::string> names = split(QUARVELT_TC_OWN_CALLS, " ");
	names.insert(names.end(), {"__libc_start_main", "__gmon_start__", "__cxa_finalize",
				   "_ITM_deregisterTMCloneTable", "_ITM_registerTMCloneTable"});
	return names;
}();
const std::vector<std::string> allowed_prefixes = split(QUARVELT_TC_RUNTIME_PREFIXES, " ");
// A static program imports nothing; its symbol table must lack these.
const char *const never_linked[] = {"getenv", "secure_getenv", "open",   "openat",      "fopen",
				    "socket", "connect",       "atexit", "__cxa_atexit"};

class ProgramImports : public LogsProgramUnderTest
{
};

TEST_F(ProgramImports, OnlyTheStartRoutineAndThePrint)
{
	const auto dynamic_symbols = symbols("--dyn-syms");
	if (dynamic_symbols.empty()) {
		const auto linked = symbols("--syms");
		ASSERT_FALSE(linked.empty())
			<< "a static program without a symbol table shows nothing";
		for (const auto &s : linked)
			EXPECT_EQ(std::count(std::begin(never_linked), std::end(never_linked),
					     s.second),
				  0)
				<< s.second;
		return;
	}
	int imports = 0;
	for (const auto &s : dynamic_symbols) {
		if (s.first != "UND" || s.second.empty())
			continue;
		imports++;
		const auto starts = [&s](const std::string &prefix) {
			return s.second.rfind(prefix, 0) == 0;
		};
		EXPECT_TRUE(std::count(allowed_imports.begin(), allowed_imports.end(), s.second) >
				    0 ||
			    std::any_of(allowed_prefixes.begin(), allowed_prefixes.end(), starts))
			<< "imports " << s.second;
	}
	// A program that printed through the C library imports at least that.
	EXPECT_GT(imports, 0);
}

} // namespace
