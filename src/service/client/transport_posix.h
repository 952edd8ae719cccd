// The board service's client transport: device names that no in-process
// provider serves reach the service (zelsimd) through its socket for that
// name. A connection is a request socket (one synchronous exchange per
// request) and an event socket, read by a thread of the connection that sets
// the events the board signals. The library carries it as the OS layer's
// fallback provider, so a program reaches a running service unasked.
#pragma once

#include <cstdint>

#include <zel/zel.h>

namespace zel::service::client {

// Connects to the service's socket for the name: "<dir>/<NAME>", dir from
// ZEL_DEVICE_DIR, else /tmp/zelsim-<uid> (which must be the caller's own
// and writable by no one else). Returns a connection id (never 0), or 0
// when the device does not open.
std::uint32_t Open(const char *pszName);

// One request: exactly the bytes given, answered with the driver's byte
// count and outcome. 0 without touching *pcbReturned when the service is
// gone or the request cannot be framed.
ZEL_BOOL IoControl(std::uint32_t nConnection, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn, void *pOut,
                   ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned);

// Ends the connection: a request running on another thread fails, the
// event thread is joined. 0 for an unknown id.
ZEL_BOOL Close(std::uint32_t nConnection);

}  // namespace zel::service::client
