// SPDX-License-Identifier: MIT
// quarvelt-tc as a subprocess: stdout bytes, stderr and exit status of whole runs.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace
{

const std::string report_line = "QUARVELT_TC: QUARVELT_TestClient: Ubus framework not available!\n";

// The pieces of text between any of the separators, empty ones left out.
std::vector<std::string> split(const std::string &text, const char *separators)
{
	std::vector<std::string> pieces;
	for (size_t at = 0, end; (at = text.find_first_not_of(separators, at)) != std::string::npos;
	     at = end) {
		end = text.find_first_of(separators, at);
		pieces.push_back(text.substr(at, end - at));
	}
	return pieces;
}

// The program under test; QUARVELT_TC_PROGRAM in the environment points the
// suite at another build of it, such as a statically linked one.
const char *program()
{
	const char *p = std::getenv("QUARVELT_TC_PROGRAM");
	return p != nullptr && *p != '\0' ? p : QUARVELT_TC_BUILT_PROGRAM;
}

// QUARVELT_TC_EMULATOR runs the program through an emulator: a command and its
// arguments, separated by blanks, as the emulated-program test preset sets it.
// A path with a blank goes to the emulator another way, such as qemu's
// QEMU_LD_PREFIX.
const std::vector<std::string> &emulator()
{
	static const char *const e = std::getenv("QUARVELT_TC_EMULATOR");
	static const std::vector<std::string> words = split(e != nullptr ? e : "", " \t");
	return words;
}

enum class Stdout { pipe, file, closed, full, broken_pipe };

struct Result {
	std::string out; // what reached stdout, where it can be read back
	std::string err;
	int status; // the exit status, or 128 plus the number of the signal that ended the run
};

// Reads each descriptor to its end, from whichever has data first, and closes
// it; a negative one is left out.  A child that fills one pipe while the test
// waits on the other cannot stall.
void drain(const std::vector<std::pair<int, std::string *>> &into)
{
	std::vector<pollfd> fds(into.size());
	std::transform(into.begin(), into.end(), fds.begin(), [](const auto &p) {
		return pollfd{p.first, POLLIN, 0};
	});
	const auto any_open = [&fds] {
		return std::any_of(fds.begin(), fds.end(),
				   [](const pollfd &p) { return p.fd >= 0; });
	};
	while (any_open()) {
		if (poll(fds.data(), fds.size(), -1) < 0) {
			if (errno == EINTR)
				continue;
			std::abort();
		}
		for (size_t i = 0; i < fds.size(); i++) {
			if (fds[i].fd < 0 || fds[i].revents == 0)
				continue;
			char buf[4096];
			const ssize_t n = read(fds[i].fd, buf, sizeof buf);
			if (n > 0) {
				into[i].second->append(buf, static_cast<size_t>(n));
			} else if (n == 0 || errno != EINTR) {
				close(fds[i].fd);
				fds[i].fd = -1;
			}
		}
	}
}

std::string drain(int fd)
{
	std::string s;
	drain({{fd, &s}});
	return s;
}

// Runs path, looked up in PATH when it has no slash, with argv (possibly
// empty; the terminating null is added here) and stdout as mode says; stderr
// always goes to a pipe.  A child that cannot set itself up exits 126, so that
// the row fails instead of testing some other stdout; 127 means that path
// could not be started.
Result spawn(const char *path, std::vector<const char *> argv, Stdout mode)
{
	argv.push_back(nullptr);
	int out[2] = {-1, -1};
	int err[2];
	std::FILE *file = mode == Stdout::file ? std::tmpfile() : nullptr;
	if (pipe2(err, O_CLOEXEC) != 0 || (mode == Stdout::file && file == nullptr))
		std::abort();
	if ((mode == Stdout::pipe || mode == Stdout::broken_pipe) && pipe2(out, O_CLOEXEC) != 0)
		std::abort();
	if (mode == Stdout::broken_pipe) {
		close(out[0]);
		out[0] = -1;
	}
	const pid_t pid = fork();
	if (pid == 0) {
		int fd = out[1];
		if (mode == Stdout::file)
			fd = fileno(file);
		else if (mode == Stdout::full)
			fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
		// The child starts with the dispositions a shell would give it.
		const bool ready =
			std::signal(SIGPIPE, SIG_DFL) != SIG_ERR &&
			dup2(err[1], STDERR_FILENO) == STDERR_FILENO &&
			(mode == Stdout::closed ? close(STDOUT_FILENO) == 0 || errno == EBADF
						: dup2(fd, STDOUT_FILENO) == STDOUT_FILENO);
		if (ready)
			execvp(path, const_cast<char *const *>(argv.data()));
		_exit(ready ? 127 : 126);
	}
	if (pid < 0)
		std::abort();
	close(err[1]);
	if (out[1] >= 0)
		close(out[1]);
	Result r{"", "", -1};
	drain({{out[0], &r.out}, {err[0], &r.err}});
	int ws = 0;
	if (waitpid(pid, &ws, 0) != pid)
		std::abort();
	r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
	if (file != nullptr) {
		std::rewind(file);
		r.out = drain(dup(fileno(file)));
		(void)std::fclose(file);
	}
	return r;
}

// Runs the program with argv, its own vector.  Through an emulator, the
// emulator's options and the program's path come first, and the program sees
// that path as argv[0].
Result run(const std::vector<const char *> &argv, Stdout mode,
	   const std::vector<const char *> &emulator_options = {})
{
	if (emulator().empty())
		return spawn(program(), argv, mode);
	std::vector<const char *> e;
	std::transform(emulator().begin(), emulator().end(), std::back_inserter(e),
		       [](const std::string &w) { return w.c_str(); });
	e.insert(e.end(), emulator_options.begin(), emulator_options.end());
	e.push_back(program());
	if (!argv.empty())
		e.insert(e.end(), argv.begin() + 1, argv.end());
	return spawn(e[0], e, mode);
}

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
// test's output starts by naming what it runs.
class Tested : public testing::Test
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

class Program : public Tested, public testing::WithParamInterface<Case>
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

// The strings of a traced call, joined, as strace escapes them.
std::string quoted(const std::string &call)
{
	std::string text;
	bool in = false;
	for (size_t i = 0; i < call.size(); i++) {
		if (call[i] == '"') {
			in = !in;
		} else if (in) {
			if (call[i] == '\\' && i + 1 < call.size())
				text += call[i++];
			text += call[i];
		}
	}
	return text;
}

// A trace of one run: one write of the whole line to fd 1, and no bus traffic.
// strace would trace an emulator itself, so an emulated run is traced by the
// emulator's own -strace, which starts each line with the process ID.
class ProgramTrace : public Tested
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
	std::vector<std::string> lines = split(drain(open(trace, O_RDONLY | O_CLOEXEC)), "\n");
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
		EXPECT_EQ(quoted(w),
			  R"(QUARVELT_TC: QUARVELT_TestClient: Ubus framework not available!\n)")
			<< w;
	}
}

// What the program may import: the C library's start routine and print, and
// the weak hooks of the start files (profiling, transactional memory clones,
// shared-object teardown).  Anything else fails: getenv, a file or socket call,
// and atexit or __cxa_atexit, as the program registers nothing to run at exit.
const char *const allowed_imports[] = {
	"__libc_start_main", "printf", "__gmon_start__", "_ITM_deregisterTMCloneTable",
	"_ITM_registerTMCloneTable", "__cxa_finalize",
	// A fortified build prints through the checking variant, a hardened one checks its stack.
	"__printf_chk", "__stack_chk_fail"};
// The sanitizers' own imports.
const char *const allowed_prefixes[] = {"__asan_", "__ubsan_"};
// A static program imports nothing; its symbol table must lack these.
const char *const never_linked[] = {"getenv", "secure_getenv", "open",   "openat",      "fopen",
				    "socket", "connect",       "atexit", "__cxa_atexit"};

// The symbols readelf lists of the program's TABLE ("--dyn-syms" or "--syms"):
// each one's section index (UND where it is imported) and name, without
// version.  A table that is there lists at least its null symbol.
std::vector<std::pair<std::string, std::string>> symbols(const char *table)
{
	const Result r =
		spawn(QUARVELT_TC_READELF, {"readelf", "-W", table, program()}, Stdout::pipe);
	EXPECT_EQ(r.status, 0) << r.err;
	std::vector<std::pair<std::string, std::string>> list;
	for (const std::string &line : split(r.out, "\n")) {
		const std::vector<std::string> words = split(line, " ");
		// "Num: Value Size Type Bind Vis Ndx [Name]", the number ending in a colon.
		if (words.size() >= 7 && words[0].back() == ':' && words[0] != "Num:")
			list.emplace_back(words[6], words.size() > 7
							    ? words[7].substr(0, words[7].find('@'))
							    : "");
	}
	return list;
}

class ProgramImports : public Tested
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
		const auto is = [&s](const char *name) { return s.second == name; };
		const auto starts = [&s](const char *prefix) {
			return s.second.rfind(prefix, 0) == 0;
		};
		EXPECT_TRUE(
			std::any_of(std::begin(allowed_imports), std::end(allowed_imports), is) ||
			std::any_of(std::begin(allowed_prefixes), std::end(allowed_prefixes),
				    starts))
			<< "imports " << s.second;
	}
	// A program that printed through the C library imports at least that.
	EXPECT_GT(imports, 0);
}

} // namespace
