// MessageBoxA as a desktop dialog: GTK 3, loaded when a box is shown on a display.
#pragma once

#include "platform/posix/DialogProcess.h"

namespace platform::posix {

// Shows a modal GTK 3 dialog when the environment names a display (DISPLAY or
// WAYLAND_DISPLAY) and GTK can be loaded and started there within a few seconds.
// NotShown when there is no display, GTK is not to be had or the display does not answer:
// the caller then uses the terminal.  Lost when the display went away with the dialog up.
DialogOutcome ShowDesktopMessageBox(const char* text, const char* caption, bool hasCancel);

}  // namespace platform::posix
