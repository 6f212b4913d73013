// SPDX-License-Identifier: MIT
// The client routine: reports that the bus framework is absent.
#include "quarvelt_tc.h"

#include <cstdio>

extern "C" int QUARVELT_TestClient(const char * /*socket_path*/, const char * /*object_name*/)
{
	// Without the bus framework there is no bus to reach, so neither argument is looked at.
	std::printf("QUARVELT_TC: %s: Ubus framework not available!\n", __func__);
	return -1;
}
