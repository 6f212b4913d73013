// SPDX-License-Identifier: MIT
// Children of the program suite: their pipes, their status, a trace's strings, a program's symbols.
#include "harness.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace
{

// Reads each descriptor to its end, from whichever has data first, and closes
// it; a negative one is left out.  A child that fills one pipe while the test
// waits on the other cannot stall.
void drain(const std::vector<std::pair<int, std::string *>> &into)
{
	std::vector<pollfd> fds;
	fds.reserve(into.size());
	const auto for_input = [](const auto &p) { return pollfd{p.first, POLLIN, 0}; };
	std::transform(into.begin(), into.end(), std::back_inserter(fds), for_input);
	const auto open = [](const pollfd &p) { return p.fd >= 0; };
	while (std::any_of(fds.begin(), fds.end(), open)) {
		if (poll(fds.data(), fds.size(), -1) < 0) {
			if (errno == EINTR)
				continue;
			std::abort();
		}
		for (std::size_t i = 0; i < fds.size(); i++) {
			if (fds[i].fd < 0 || fds[i].revents == 0)
				continue;
			char buf[4096];
			const ssize_t n = read(fds[i].fd, buf, sizeof buf);
			if (n > 0) {
				into[i].second->append(buf, static_cast<std::size_t>(n));
			} else if (n == 0 || errno != EINTR) {
				close(fds[i].fd);
				fds[i].fd = -1;
			}
		}
	}
}

} // namespace

std::vector<std::string> split(const std::string &text, const char *separators)
{
	std::vector<std::string> pieces;
	for (std::size_t at = 0, end = 0;
	     (at = text.find_first_not_of(separators, at)) != std::string::npos; at = end) {
		end = text.find_first_of(separators, at);
		pieces.push_back(text.substr(at, end - at));
	}
	return pieces;
}

const char *program()
{
	const char *p = std::getenv("QUARVELT_TC_PROGRAM");
	return p != nullptr && *p != '\0' ? p : QUARVELT_TC_BUILT_PROGRAM;
}

const std::vector<std::string> &emulator()
{
	static const char *const e = std::getenv("QUARVELT_TC_EMULATOR");
	static const std::vector<std::string> words = split(e != nullptr ? e : "", " \t");
	return words;
}

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
		// The child starts with the signal dispositions a shell would give it.
		const bool ready = std::signal(SIGPIPE, SIG_DFL) != SIG_ERR &&
				   dup2(err[1], STDERR_FILENO) == STDERR_FILENO &&
				   (mode == Stdout::closed
					    ? close(STDOUT_FILENO) == 0 || errno == EBADF
					    : fd >= 0 && dup2(fd, STDOUT_FILENO) == STDOUT_FILENO);
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
		// The copy of the descriptor shares the file's offset.
		const int fd = dup(fileno(file));
		if (fd < 0 || lseek(fd, 0, SEEK_SET) != 0)
			std::abort();
		drain({{fd, &r.out}});
		(void)std::fclose(file);
	}
	return r;
}

Result run(const std::vector<const char *> &argv, Stdout mode,
	   const std::vector<const char *> &emulator_options)
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

std::string contents(const char *path)
{
	std::string s;
	const int fd = open(path, O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return s;
	char buf[4096];
	for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
		s.append(buf, static_cast<std::size_t>(n));
	close(fd);
	return s;
}

std::string quoted(const std::string &call)
{
	std::string text;
	bool in = false;
	for (std::size_t i = 0; i < call.size(); i++) {
		if (call[i] == '"') {
			in = !in;
		} else if (in && call[i] == '\\' && i + 1 < call.size()) {
			i++;
			text += call[i] == 'n' ? '\n' : call[i];
		} else if (in) {
			text += call[i];
		}
	}
	return text;
}

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
