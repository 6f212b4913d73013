// SPDX-License-Identifier: MIT
// Entry of quarvelt-tc: hands the bus socket and the object name to the client routine.
#include "quarvelt_tc.h"

int main(int argc, char *argv[])
{
	static const char socket_path[] = "/var/run/ubus/ubus.sock";
	static const char default_object[] = "dsl.bonding_group.0";

	// A count of 0 (an empty argument vector) also means no object was named.
	return QUARVELT_TestClient(socket_path, argc < 2 ? default_object : argv[1]);
}
