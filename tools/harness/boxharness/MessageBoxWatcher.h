// Finds the message boxes of one process and answers them as a user would.
//
// A message box is a visible top-level window of the dialog class "#32770" that belongs to
// the process; its text is the static control 0xFFFF, its buttons are the controls IDOK
// and IDCANCEL.  Texts are read wide, so they come back exactly whatever code page the
// program used to show them.
#pragma once

#include "platform/win32/Win32Headers.h"

#include <string>

struct BoxContent {
    std::wstring caption;
    std::wstring text;
    bool hasOk = false;
    bool hasCancel = false;
};

class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(DWORD processId) : processId_(processId) {}

    // A box of the process that is showing now, or null.
    HWND FindBox() const;
    static BoxContent Read(HWND box);
    // Clicks the button: IDOK or IDCANCEL.
    static void Answer(HWND box, int buttonId);
    // True while the box is still on screen.
    static bool IsShowing(HWND box);

private:
    DWORD processId_;
};
