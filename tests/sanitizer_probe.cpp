// SPDX-License-Identifier: MIT
// Faults only a sanitized build stops: "address", a stack overrun; "undefined", a signed overflow.
#include <climits>
#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
	// Volatile, through a pointer the compiler cannot follow, so that it neither sees the fault
	// nor folds it away, and only the address check sees the overrun.
	const volatile int past_the_end = 4;
	volatile int largest = INT_MAX;
	char bytes[4] = {};
	char *volatile at = bytes;
	if (argc == 2 && std::strcmp(argv[1], "address") == 0)
		// The overrun is the probe's purpose.
		at[past_the_end] = 1; // NOLINT(clang-analyzer-security.ArrayBound)
	else if (argc == 2 && std::strcmp(argv[1], "undefined") == 0)
		largest = largest + argc;
	std::printf("not stopped: %d %d\n", bytes[0], largest);
	return 0;
}
