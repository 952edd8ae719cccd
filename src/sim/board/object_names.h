// Objects by name, as a trace, the request log and the service's status
// show them: "FXO 0", "DTMF detector 1 on FXO 0", "HDLC controller 4 on
// E1 0 channel 16", "pipe 2", "queue 3". A physical device, pipe or queue is
// named by its handle alone; a logical device by what it is and where, while
// it lives and after it closed until its slot is taken again.
#pragma once

#include <string>

#include <zel/zel.h>

namespace zel::sim {

struct Board;

// The name, or "" for a handle that names nothing the board can tell.
// The caller holds the board's lock.
std::string ObjectName(const Board &board, ZEL_HANDLE hObject);

// The same, taking the board's lock: for callers outside a request.
std::string NameObject(ZEL_HANDLE hObject);

}  // namespace zel::sim
