#include "sim_internal.h"

namespace zel::sim {

// No handlers of this family yet: the dispatcher answers its functions as not supported.
std::span<const HandlerEntry> AttributeHandlers() { return {}; }

}  // namespace zel::sim
