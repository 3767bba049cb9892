#include "tools/harness/boxharness/MessageBoxWatcher.h"

#include <vector>

namespace {

constexpr int kTextControlId = 0xFFFF;

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM context) {
    Search& search = *reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.processId || !IsWindowVisible(window)) {
        return TRUE;
    }
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (std::wstring(className) != L"#32770") {
        return TRUE;
    }
    search.found = window;
    return FALSE;
}

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    const int copied = GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), static_cast<std::size_t>(copied > 0 ? copied : 0));
}

bool HasButton(HWND box, int id) {
    const HWND button = GetDlgItem(box, id);
    return button != nullptr && IsWindowVisible(button);
}

}  // namespace

HWND MessageBoxWatcher::FindBox() const {
    Search search{processId_, nullptr};
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BoxContent MessageBoxWatcher::Read(HWND box) {
    BoxContent content;
    content.caption = WindowText(box);
    const int length = GetWindowTextLengthW(GetDlgItem(box, kTextControlId));
    std::vector<wchar_t> text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    const UINT copied = GetDlgItemTextW(box, kTextControlId, text.data(), static_cast<int>(text.size()));
    content.text.assign(text.data(), copied);
    content.hasOk = HasButton(box, IDOK);
    content.hasCancel = HasButton(box, IDCANCEL);
    return content;
}

void MessageBoxWatcher::Answer(HWND box, int buttonId) {
    const HWND button = GetDlgItem(box, buttonId);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

bool MessageBoxWatcher::IsShowing(HWND box) { return IsWindow(box) && IsWindowVisible(box); }
