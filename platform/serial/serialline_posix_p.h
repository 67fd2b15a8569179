// Pure pieces of the POSIX terminal backend, kept apart so they can be checked case by case:
// line settings to the kernel's terminal bits, and errno to the line's error vocabulary.
// Include <asm/termbits.h> (not <termios.h>) before using toTermios.
#pragma once

#include "serialline.h"

struct termios2;

namespace serialposix {

// Writes the settings into t (a raw, binary line), keeping the bits the settings do not own
// (HUPCL and the like). False, with t unchanged, for a rate below 1 or data bits outside 5..8.
bool toTermios(const SerialLine::Settings& settings, termios2* t);

// The one errno mapping of the backend.
SerialLine::Error errorFromErrno(int err);

} // namespace serialposix
