// SPDX-License-Identifier: MIT
/* Stands in for the client routine so that a test can see what the entry hands it. */
#include <stdio.h>

#include "quarvelt_tc.h"

int QUARVELT_TestClient(const char *socket_path, const char *object_name)
{
	printf("socket [%s] object [%s]\n", socket_path ? socket_path : "(null)",
	       object_name ? object_name : "(null)");
	return -1;
}
