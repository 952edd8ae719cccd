// The service's control connections: the protocol that the control command
// speaks to a running daemon.
#pragma once

#include <string>

#include "control_host.h"

namespace zel::service {

// Serves one control connection (a connected stream socket) until the peer
// closes it or the service stops; closes fd before it returns. Runs on a
// thread of its own. Returns why the connection was closed unanswered, or
// nothing when it was answered or its peer went.
std::string ServeControl(ControlHost &host, int fd);

}  // namespace zel::service
