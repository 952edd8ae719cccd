#include "osa_internal.h"

namespace zel::osa {

// POSIX streams never translate newlines.
void UseBinaryStdout() {}

void UseBinaryStdin() {}

}  // namespace zel::osa
