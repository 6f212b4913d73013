// SPDX-License-Identifier: MIT
// The entry with a stand-in routine: prints the count the entry gets and what it hands the routine.
#include <cstdio>
#include <cstring>

#include "quarvelt_tc.h"

// The entry, src/main.cpp's main compiled under this name, which no header can declare.
int quarvelt_tc_entry(int argc, char *argv[]); // NOLINT(misc-use-internal-linkage)

extern "C" int QUARVELT_TestClient(const char *socket_path, const char *object_name)
{
	std::printf("socket [%s] object [%s]\n", socket_path != nullptr ? socket_path : "(null)",
		    object_name != nullptr ? object_name : "(null)");
	return -1;
}

// Since Linux 5.18 no process starts with argc 0, so given "--argc0" alone the probe empties
// its own vector and hands the entry a count of 0.  The slot past the vector's end names an
// object, which an entry that indexes the vector anyway hands on.
int main(int argc, char *argv[])
{
	static char past_the_end[] = "past-the-end";
	if (argc == 2 && std::strcmp(argv[1], "--argc0") == 0) {
		argc = 0;
		argv[0] = nullptr;
		argv[1] = past_the_end;
	}
	std::printf("argc %d\n", argc);
	const int status = quarvelt_tc_entry(argc, argv);
	std::printf("status %d\n", status);
	return status;
}
