#include "board.h"

namespace zel::sim {

// Dropping every family's state lets each be rebuilt at its power-on value
// when a handler next asks for it.
void Board::Reset() { parts_.clear(); }

}  // namespace zel::sim
