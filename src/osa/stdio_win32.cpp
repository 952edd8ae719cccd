#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "osa_internal.h"

namespace zel::osa {

void UseBinaryStdout() { _setmode(_fileno(stdout), _O_BINARY); }

void UseBinaryStdin() { _setmode(_fileno(stdin), _O_BINARY); }

}  // namespace zel::osa
