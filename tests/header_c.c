// SPDX-License-Identifier: MIT
/* The public header from a C translation unit: it compiles, links and reports. */
#include <stdio.h>

#include "quarvelt_tc.h"

int main(void)
{
	int status = QUARVELT_TestClient("/var/run/ubus/ubus.sock", "dsl.bonding_group.0");

	printf("status %d\n", status);
	return 0;
}
