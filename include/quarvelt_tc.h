/* SPDX-License-Identifier: MIT */
/* Client routine of the DSL service test client. */
#ifndef QUARVELT_TC_H
#define QUARVELT_TC_H

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Exercises the bus object object_name through the bus broker whose socket is
 * socket_path.  The bus framework is not available in this system, so the
 * routine writes this line to standard output and returns -1:
 *
 *	QUARVELT_TC: QUARVELT_TestClient: Ubus framework not available!
 *
 * Neither string is read, so either may be null; the caller keeps ownership
 * of both.  The result of the write is not examined.
 */
int QUARVELT_TestClient(const char *socket_path, const char *object_name);

#ifdef __cplusplus
}
#endif

#endif
