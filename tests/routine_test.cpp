// SPDX-License-Identifier: MIT
// The client routine in process: its report line on standard output and its status.
#include "quarvelt_tc.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>

#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace
{

const std::string report_line = QUARVELT_TC_REPORT_LINE;
const char bus_socket[] = "/var/run/ubus/ubus.sock";

std::string contents(std::FILE *f)
{
	std::string s;
	if (std::fseek(f, 0, SEEK_SET) != 0)
		std::abort();
	for (int c; (c = std::getc(f)) != EOF;)
		s += static_cast<char>(c);
	return s;
}

struct Output {
	std::string out;
	std::string err;
};

// Runs calls with file descriptors 1 and 2 on temporary files, so that what the
// routine writes through the buffered stdout stream can be read back byte for byte.
template <typename Calls> Output capture(Calls calls)
{
	(void)std::fflush(stdout);
	(void)std::fflush(stderr);
	std::FILE *out = std::tmpfile();
	std::FILE *err = std::tmpfile();
	const int saved_out = dup(STDOUT_FILENO);
	const int saved_err = dup(STDERR_FILENO);
	if (out == nullptr || err == nullptr || saved_out < 0 || saved_err < 0)
		std::abort();
	dup2(fileno(out), STDOUT_FILENO);
	dup2(fileno(err), STDERR_FILENO);
	calls();
	(void)std::fflush(stdout);
	(void)std::fflush(stderr);
	dup2(saved_out, STDOUT_FILENO);
	dup2(saved_err, STDERR_FILENO);
	close(saved_out);
	close(saved_err);
	Output o{contents(out), contents(err)};
	(void)std::fclose(out);
	(void)std::fclose(err);
	return o;
}

struct Call {
	const char *name;
	const char *socket_path;
	const char *object_name;
	int calls;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Call &row, std::ostream *os)
{
	*os << row.name;
}

class Routine : public testing::TestWithParam<Call>
{
};

TEST_P(Routine, WritesOneReportLinePerCallAndFails)
{
	const Call &c = GetParam();
	std::string statuses;
	const Output o = capture([&] {
		for (int i = 0; i < c.calls; i++)
			statuses +=
				std::to_string(QUARVELT_TestClient(c.socket_path, c.object_name)) +
				' ';
	});
	std::string lines;
	std::string expected_statuses;
	for (int i = 0; i < c.calls; i++) {
		lines += report_line;
		expected_statuses += "-1 ";
	}
	EXPECT_EQ(statuses, expected_statuses);
	EXPECT_EQ(o.out, lines);
	EXPECT_EQ(o.out.size(), 64U * static_cast<unsigned>(c.calls));
	EXPECT_EQ(o.err, "");
}

INSTANTIATE_TEST_SUITE_P(Arguments, Routine,
			 testing::Values(Call{"default_name", bus_socket, "dsl.bonding_group.0", 1},
					 Call{"other_name", bus_socket, "dsl.line.1", 1},
					 Call{"empty_name", bus_socket, "", 1},
					 Call{"format_directives", "%s%n", "%s%s%n%x", 1},
					 Call{"null_pointers", nullptr, nullptr, 1},
					 Call{"two_calls", bus_socket, "dsl.bonding_group.0", 2}),
			 [](const testing::TestParamInfo<Call> &row) -> std::string {
				 return row.param.name;
			 });

// A listening bus socket must neither change the report nor receive a connection.
TEST(RoutineWithBroker, LeavesAListeningSocketAlone)
{
	char dir[] = "/tmp/quarvelt-tc-XXXXXX";
	ASSERT_NE(mkdtemp(dir), nullptr);
	sockaddr_un addr{};
	addr.sun_family = AF_UNIX;
	(void)std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/ubus.sock", dir);
	const int broker = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
	// The socket, its directory and the descriptor are removed however the test ends.
	const struct Removal {
		const char *dir;
		const char *path;
		int fd;
		~Removal()
		{
			if (fd >= 0)
				close(fd);
			unlink(path);
			rmdir(dir);
		}
	} removal{dir, addr.sun_path, broker};
	ASSERT_GE(broker, 0);
	ASSERT_EQ(bind(broker, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
	ASSERT_EQ(listen(broker, 1), 0);

	int status = 0;
	const Output o = capture(
		[&] { status = QUARVELT_TestClient(addr.sun_path, "dsl.bonding_group.0"); });
	const int peer = accept(broker, nullptr, nullptr);
	const int accept_errno = errno;

	EXPECT_EQ(status, -1);
	EXPECT_EQ(o.out, report_line);
	EXPECT_EQ(o.err, "");
	EXPECT_EQ(peer, -1);
	EXPECT_TRUE(accept_errno == EAGAIN || accept_errno == EWOULDBLOCK);
}

} // namespace
