// SPDX-License-Identifier: MIT
/* The public header from C: it compiles, links and reports, on every call. */
#include <stdio.h>

#include "quarvelt_tc.h"

int main(void)
{
	int first = QUARVELT_TestClient("/var/run/ubus/ubus.sock", "dsl.bonding_group.0");
	/* Neither string is read, so null pointers change nothing. */
	int second = QUARVELT_TestClient(NULL, NULL);

	printf("status %d %d\n", first, second);
	return 0;
}
