// The frame the window manager drew around a window, read from the X server itself: Qt learns a
// window's frame only from time to time and may keep one measured while the frame was being
// built.
#pragma once

#include "windowplace.h"

#include <optional>

class QWidget;

// Whether the application draws on an X display.
bool onX11();
// Whether a window manager runs on it, and so frames the windows.
bool x11WindowManagerRuns();
// The frame of a top-level window on the X display now; none until the window manager has framed
// it and shown it.
std::optional<DrawnFrame> x11DrawnFrame(const QWidget* window);
