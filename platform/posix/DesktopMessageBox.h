// MessageBoxA as a desktop dialog: GTK 3, loaded when the first box is shown on a display.
#pragma once

namespace platform::posix {

// Shows a modal GTK 3 dialog when the environment names a display (DISPLAY or
// WAYLAND_DISPLAY) and GTK can be loaded and started there, and sets `answer` to IDOK or
// IDCANCEL.  False when there is no display or GTK is not to be had: the caller then uses
// the terminal.
bool ShowDesktopMessageBox(const char* text, const char* caption, bool hasCancel, int& answer);

}  // namespace platform::posix
