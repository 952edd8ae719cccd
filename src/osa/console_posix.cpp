// The console key read and the tone on POSIX.
#include <stdio.h>
#include <termios.h>
#include <unistd.h>

#include "console_platform.h"

namespace zel::osa {

// On a terminal the read switches off line editing, echo and signal keys for
// the one key (so Ctrl-C comes back as code 3, as on a Windows console, and
// cannot end the process with the terminal left raw), and restores the
// terminal before returning. Other input is read as plain bytes. Both go
// through stdin's stream so bytes buffered by a line read are not skipped.
ZEL_INT32 ReadKeyUnechoed() {
    termios saved{};
    const bool terminal = isatty(STDIN_FILENO) != 0 && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios raw = saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
    const int key = getc(stdin);
    if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return key == EOF ? -1 : key;
}

// No tone generator here: the terminal's bell stands in for it, on standard
// output if that is a terminal, else on standard error. Frequency and length
// are the terminal's own. Without a terminal nothing sounds and the result is 0.
ZEL_BOOL SoundTone(ZEL_UINT32 nFrequency, ZEL_UINT32 nDuration) {
    (void)nFrequency;
    (void)nDuration;
    FILE *stream = isatty(STDOUT_FILENO) ? stdout : isatty(STDERR_FILENO) ? stderr : nullptr;
    if (stream == nullptr) return 0;
    if (fputc('\a', stream) == EOF || fflush(stream) != 0) return 0;
    return 1;
}

void LockStdin() { flockfile(stdin); }
void UnlockStdin() { funlockfile(stdin); }

}  // namespace zel::osa
